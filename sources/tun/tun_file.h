// A tuning file read whole before it is parsed. Only a regular file is read: it is opened without ever
// blocking (a FIFO without a writer, a terminal), anything else is refused at once (a device such as
// /dev/zero would never end), and so is a file larger than any real tuning file, from its size, before a
// byte is read. The editor checks a file against MaxFileBytes the same way before it reads one.
#pragma once

#include <string>

namespace TUN {

// The largest tuning file read, bytes. A .tun of 128 notes with every optional section (integer, exact and
// functional tunings, a mapping, long texts) is a few tens of KB; a .scl holds at most 127 degrees and a
// .kbm 128 keys, a few KB with their comments. 1 MiB is far beyond them all and reads in a moment.
const long MaxFileBytes = 1L << 20;

namespace fileerr {
const char* const kOpen = "Error opening the file.";
const char* const kNotRegular = "Not a regular file.";
const char* const kTooLarge = "File too large. Must be at most 1 MiB.";
} // namespace fileerr

// The whole file at path into text (emptied first): null on success, else one of the texts above.
const char* ReadWholeFile(const char* path, std::string& text);

} // namespace TUN
