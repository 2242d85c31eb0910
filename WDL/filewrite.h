// WDL_WriteWholeFile: writes a file so that a failed write never leaves it damaged or half written.
//
//   int err = 0;
//   if (!WDL_WriteWholeFile(path, bytes, size, &err)) ...   // err: the errno of the step that failed
//
// A regular file (or a new one) is written under a temporary name in its own folder ("."-prefixed, so
// that it stays out of file dialogs), flushed to the disk, checked to the last byte and the close, and only
// then renamed over the old one, the folder flushed after: until that moment the previous file is whole, a
// crash leaves the old file or the new one, and a failure removes only the temporary file. A temporary file
// that a crashed or killed save left behind is removed by the next save to the same name, once the process
// that wrote it has ended. The new file keeps the old one's permission bits, owner and group (a new one gets
// what the umask leaves of rw for all). A file the user may not write (mode 0444, say) is refused with EACCES,
// though its folder would allow a rename over it. A path through symbolic links, dangling or not, writes the
// file the last link names (a relative link is read from its own folder; more than 40 in a row fail with
// ELOOP) and leaves the links as they are.
//
// Written in place instead, as it cannot be replaced:
//   - anything that is not a regular file (a device such as /dev/null, a pipe);
//   - a file the user may write in a folder they may not write to, where no temporary file can be made;
//   - a file with other names (hard links), which would otherwise keep the old bytes;
//   - someone else's file, whose owner and group a new file could not keep.
// A regular file written in place has its old bytes read into memory first and put back when the write fails
// part way (a full disk, a file-size limit), so a failed save still leaves it as it was; a crash in the middle
// of such a write can leave it half written, and two such saves to one file at once can mix their bytes.
//
// Threads: any; nothing is shared between calls.
#pragma once

#include <cstddef>

bool WDL_WriteWholeFile(const char* path, const void* data, size_t size, int* err = nullptr);
