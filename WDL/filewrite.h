// WDL_WriteWholeFile: writes a file so that a failed write never leaves it damaged or half written.
//
//   int err = 0;
//   if (!WDL_WriteWholeFile(path, bytes, size, &err)) ...   // err: the errno of the step that failed
//
// Only a regular file (or a new one) is written. Anything else at the path (a folder, a pipe, a device such as
// /dev/null, a socket) is refused at once with err = WDL_ENOTREGULAR and left alone: it is opened without
// blocking (a pipe without a reader) and checked before a byte is written. A path through symbolic links,
// dangling or not, writes the file the last link names (a relative link is read from its own folder; more
// than 40 in a row fail with ELOOP) and leaves the links as they are. A file the user may not both read and
// write (mode 0444, say) is refused with EACCES, though its folder would allow a rename over it.
//
// Nothing is written when the new size passes the process's file-size limit (RLIMIT_FSIZE: EFBIG) or the
// room left on the file system for the user (ENOSPC; the old file's blocks count as room only when it is
// written in place). A write that meets a limit all the same fails with its errno (EFBIG, ENOSPC, EDQUOT) and
// the old file is kept: the save blocks SIGXFSZ and SIGPIPE in its own thread while it writes and takes away
// the ones its writes raised, so they never end the process; the process's signal handling is not changed.
//
// A file is written under a temporary name in its own folder, flushed to the disk, checked to the last byte
// and the close, and only then renamed over the old one, the folder flushed after: until that moment the
// previous file is whole, a crash leaves the old file or the new one, and a failure removes only the
// temporary file. The new file keeps the old one's permission bits, owner, group and every extended attribute
// the user can read (its ACL among them); a new one gets what the umask leaves of rw for all. Attributes the
// user cannot see (trusted.*, for anyone but root) are not carried over.
//
// The temporary name is "." + name + "." + PID + "-" + N + ".part" ("."-prefixed, so that it stays out of file
// dialogs); a name longer than 227 bytes is cut to at most 218 (whole UTF-8 characters) and followed by "~" and
// eight hex digits of a hash of the whole name. Names are used within the folder, so a path of any length that
// the system can open can be saved. A save holds an exclusive lock (flock) on its temporary file from its creation
// to its rename. Each save first removes the temporary files that earlier saves to the same name left behind
// (a crash, a kill): only names of exactly that form, and only those it can lock itself, so that a save under
// way in any process, or PID namespace, keeps its file, and so does a user's file that merely looks alike.
//
// Written in place instead, as it cannot be replaced:
//   - a file the user may write in a folder they may not write to, where no temporary file can be made;
//   - a file with other names (hard links), which would otherwise keep the old bytes;
//   - someone else's file, whose owner and group a new file could not keep;
//   - a file with an attribute a new file could not be given (one only root may set, or one that the
//     temporary file's file system does not keep).
// Its old bytes are read into memory first and put back when the write fails part way (a full disk, a
// failed flush), so a failed save still leaves it as it was, but for bytes past a file-size limit below the
// old size; a crash in the middle of such a write can leave it half written, and two such saves to one file
// at once can mix their bytes.
//
// Threads: any; nothing is shared between calls.
#pragma once

#include <cstddef>

bool WDL_WriteWholeFile(const char* path, const void* data, size_t size, int* err = nullptr);
