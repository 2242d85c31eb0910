// WDL_WriteWholeFile: writes a file so that a failed write never leaves it damaged or half written.
//
//   int err = 0;
//   if (!WDL_WriteWholeFile(path, bytes, size, &err)) ...   // err: the errno of the step that failed
//
// A regular file (or a new one) is written under a temporary name in its own folder ("."-prefixed, so
// that it stays out of file dialogs), checked to the last byte and the close, and only then renamed over
// the old one: until that moment the previous file is whole, and a failure removes only the temporary
// file. The new file keeps the old one's permission bits (a new one gets what the umask leaves of rw for
// all). A path through a symbolic link writes the file the link names. Anything that is not a regular file
// (a device such as /dev/null, a pipe) is written in place, as it cannot be replaced; so is a file the
// user may write in a folder they may not write to, where no temporary file can be made.
//
// Threads: any; nothing is shared between calls.
#pragma once

#include <cstddef>

bool WDL_WriteWholeFile(const char* path, const void* data, size_t size, int* err = nullptr);
