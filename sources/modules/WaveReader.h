// WaveReader: opens a RIFF WAVE file, finds its format and its sample data, and delivers the samples as
// doubles in file order (channels interleaved). Reads 8, 16 and 24-bit PCM and 32 and 64-bit IEEE float;
// every other encoding is refused.
//
//   WaveReader r;
//   if (r.Open(path)) {
//     double buf[4096];
//     unsigned int n;
//     while ((n = r.ReadDoubles(buf, 4096)) > 0) ...   // n values, frames * channels in all
//   }                                                  // the destructor closes the file
//
// Files come from users: chunk sizes are unsigned 32-bit, every skip is a 64-bit seek, a chunk of odd size
// is followed by its pad byte, and a data chunk that claims more bytes than the file holds counts only the
// bytes that are there. Only a regular file is opened, without ever blocking (a FIFO, a device is refused at
// once), and one longer than the format can describe is refused from its size before it is read. Every
// failure is reported by false alone.
//
// Threads: one reader belongs to one thread (a loader outside the audio thread).
#pragma once

#include "wdlstring.h"

#include <cstdint>
#include <cstdio>

class WaveReader
{
public:
  // The longest wave file, bytes: the RIFF size field is 32-bit and counts what follows the 8 bytes of the
  // RIFF header.
  static constexpr int64_t kMaxFileBytes = 8 + (int64_t)0xFFFFFFFF;
  // Chunks walked in search of the data chunk. Writers put a handful before it (format, fact, list, cue,
  // broadcast, padding); more is a damaged file, whose thousands of empty chunks would take seconds to walk.
  static constexpr int kMaxChunks = 1024;

  WaveReader() = default;
  ~WaveReader() { Close(); }
  WaveReader(const WaveReader&) = delete;
  WaveReader& operator=(const WaveReader&) = delete;

  // True: the stream stands at the first sample of the data chunk. False: nothing is open, frames is 0.
  bool Open(const char* path);
  void Close();

  // Up to n samples from where the last call stopped, never past the data chunk, as doubles in -1..1
  // (floats as stored); the count written, 0 when nothing is open or all samples were read. Stops early at
  // the end of the file.
  unsigned int ReadDoubles(double* buf, unsigned int n);

  bool IsOpen() const { return file != nullptr; }

  WDL_String fileName;
  FILE* file = nullptr;
  int64_t frames = 0; // whole sample frames of the data chunk that the file really holds
  int bitsPerSample = 0;
  int channels = 0;
  int sampleRate = 0; // as stored; the loaders do not use it
  int formatTag = 0;  // 1 PCM, 3 IEEE float

private:
  bool Walk();
  int64_t samplesLeft = 0; // frames * channels not yet delivered
};
