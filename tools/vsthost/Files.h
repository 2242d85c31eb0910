// The host's own file reads and writes. Every file it reads is read whole, only if it is a regular file (a
// pipe or a device would block or never end) and only up to a size fitting what it holds; every file it
// writes is written whole through the safe writer, so that a failed write leaves the file that was there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

// Reads a whole regular file of at most `limit` bytes (and less than 2 GiB, what one read can take). False
// with a message naming the file and the cause (missing, a folder, not a regular file, too large, the
// system's reason) and `bytes` empty.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error, int64_t limit);

// Writes the bytes as the whole file; false with a message naming the file and the cause. The file that was
// there is left as it was when the write fails (a full disk, a file-size limit).
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string* error);

// Whether a file can be written at this path, told before any work: not a folder, nor a pipe or a device
// (which the writer refuses, as it cannot replace them whole), in a folder that exists and may be written to.
// Nothing is created: a check that fails leaves no empty file behind.
bool CanWrite(const std::string& path, std::string* error);

} // namespace vsthost
