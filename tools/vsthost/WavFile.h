// Minimal RIFF/WAVE writer for rendered audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vsthost {

enum class WavFormat {
  Float32, // IEEE float, the default: keeps every rendered value, also above full scale
  Pcm16,
  Pcm24,
};

// The largest WAV file: its RIFF size field counts, in 32 bits, the bytes after its first 8 (4 GiB + 7).
constexpr uint64_t kMaxWavFileBytes = 0xFFFFFFFFull + 8;

// The bytes of a WAV file of `frames` frames of `channels` samples: header, samples and the data chunk's pad
// byte. A render whose file would be larger than kMaxWavFileBytes is refused before it is rendered.
uint64_t WavFileBytes(uint64_t frames, int channels, WavFormat format);

// Writes `frames` frames of `channels` interleaved samples. PCM formats clip to [-1, 1] and round. The file
// is built whole in memory (WavFileBytes, at most the size of the float samples plus the header) and put in
// place only once complete, through the safe writer: a write that fails (a full disk, a file-size limit) leaves
// the file that was there as it was, and a new one is not created. On failure `error` says why and the result
// is false.
bool WriteWav(const std::string& path, const float* interleaved, size_t frames, int channels, int sampleRate,
              WavFormat format, std::string* error);

// Parses "f32", "float", "s16", "16", "s24", "24" (any case). Returns false for anything else.
bool ParseWavFormat(const std::string& text, WavFormat* format);

} // namespace vsthost
