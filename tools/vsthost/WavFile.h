// Minimal RIFF/WAVE writer for rendered audio.
#pragma once

#include <cstddef>
#include <string>

namespace vsthost {

enum class WavFormat {
  Float32, // IEEE float, the default: keeps every rendered value, also above full scale
  Pcm16,
  Pcm24,
};

// Writes `frames` frames of `channels` interleaved samples. PCM formats clip to [-1, 1] and round.
// Every write and the close are checked; on failure the partial file is removed, `error` says why and the
// result is false.
bool WriteWav(const std::string& path, const float* interleaved, size_t frames, int channels, int sampleRate,
              WavFormat format, std::string* error);

// Parses "f32", "float", "s16", "16", "s24", "24" (any case). Returns false for anything else.
bool ParseWavFormat(const std::string& text, WavFormat* format);

} // namespace vsthost
