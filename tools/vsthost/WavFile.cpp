#include "WavFile.h"

#include "Files.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace vsthost {

namespace {

int BytesPerSample(WavFormat format)
{
  return format == WavFormat::Pcm16 ? 2 : format == WavFormat::Pcm24 ? 3 : 4;
}

// A float file carries the extended format record (cbSize 0) and a fact chunk, as the format asks.
uint32_t FmtBytes(WavFormat format)
{
  return format == WavFormat::Float32 ? 18 : 16;
}
uint32_t FactBytes(WavFormat format)
{
  return format == WavFormat::Float32 ? 12 : 0;
}

// Little-endian, the WAV byte order, at *at, which moves past it.
void PutLE(uint8_t** at, uint32_t v, int bytes)
{
  for (int i = 0; i < bytes; ++i) *(*at)++ = (uint8_t)(v >> (8 * i));
}

void PutTag(uint8_t** at, const char* tag)
{
  std::memcpy(*at, tag, 4);
  *at += 4;
}

} // namespace

uint64_t WavFileBytes(uint64_t frames, int channels, WavFormat format)
{
  const uint64_t dataBytes = frames * (uint64_t)channels * (uint64_t)BytesPerSample(format);
  return 12 + (8 + FmtBytes(format)) + FactBytes(format) + 8 + dataBytes + (dataBytes & 1);
}

bool WriteWav(const std::string& path, const float* interleaved, size_t frames, int channels, int sampleRate,
              WavFormat format, std::string* error)
{
  error->clear();
  if (channels < 1 || channels > 64 || sampleRate < 1 || (frames && !interleaved)) {
    *error = "bad WAV parameters";
    return false;
  }
  const int bytesPerSample = BytesPerSample(format);
  const bool isFloat = format == WavFormat::Float32;
  const uint64_t fileBytes = WavFileBytes(frames, channels, format);
  if (fileBytes > kMaxWavFileBytes) {
    *error = "audio too long for a WAV file";
    return false;
  }
  const uint64_t dataBytes = (uint64_t)frames * channels * bytesPerSample;
  std::vector<uint8_t> file;
  try {
    file.resize((size_t)fileBytes);
  } catch (const std::bad_alloc&) {
    *error = "not enough memory for " + path + " (" + std::to_string(fileBytes) + " bytes)";
    return false;
  }

  uint8_t* at = file.data();
  PutTag(&at, "RIFF");
  PutLE(&at, (uint32_t)(fileBytes - 8), 4);
  PutTag(&at, "WAVE");
  PutTag(&at, "fmt ");
  PutLE(&at, FmtBytes(format), 4);
  PutLE(&at, isFloat ? 3 : 1, 2); // 3 = IEEE float, 1 = integer PCM
  PutLE(&at, (uint32_t)channels, 2);
  PutLE(&at, (uint32_t)sampleRate, 4);
  PutLE(&at, (uint32_t)sampleRate * channels * bytesPerSample, 4);
  PutLE(&at, (uint32_t)(channels * bytesPerSample), 2);
  PutLE(&at, (uint32_t)bytesPerSample * 8, 2);
  if (isFloat) {
    PutLE(&at, 0, 2);
    PutTag(&at, "fact");
    PutLE(&at, 4, 4);
    PutLE(&at, (uint32_t)frames, 4);
  }
  PutTag(&at, "data");
  PutLE(&at, (uint32_t)dataBytes, 4);

  const size_t samples = frames * channels;
  const double scale = format == WavFormat::Pcm16 ? 32767.0 : 8388607.0;
  for (size_t i = 0; i < samples; ++i) {
    const float x = interleaved[i];
    if (isFloat) {
      uint32_t bits;
      std::memcpy(&bits, &x, 4);
      PutLE(&at, bits, 4);
    } else {
      const double v = std::isnan(x) ? 0.0 : std::max(-1.0, std::min(1.0, (double)x));
      PutLE(&at, (uint32_t)(int32_t)std::lround(v * scale), bytesPerSample);
    }
  }
  // The data chunk's pad byte, when it has one, is the 0 the vector started with.
  return WriteWholeFile(path, file.data(), file.size(), error);
}

bool ParseWavFormat(const std::string& text, WavFormat* format)
{
  std::string t;
  for (char c : text) t += (char)std::tolower((unsigned char)c);
  if (t == "f32" || t == "float" || t == "float32" || t == "32f") {
    *format = WavFormat::Float32;
  } else if (t == "s16" || t == "16" || t == "pcm16") {
    *format = WavFormat::Pcm16;
  } else if (t == "s24" || t == "24" || t == "pcm24") {
    *format = WavFormat::Pcm24;
  } else {
    return false;
  }
  return true;
}

} // namespace vsthost
