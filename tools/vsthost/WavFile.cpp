#include "WavFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace vsthost {

namespace {

void PutLE(std::vector<uint8_t>* out, uint32_t v, int bytes)
{
  for (int i = 0; i < bytes; ++i) out->push_back((uint8_t)(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>* out, const char* tag)
{
  out->insert(out->end(), tag, tag + 4);
}

} // namespace

bool WriteWav(const std::string& path, const float* interleaved, size_t frames, int channels, int sampleRate,
              WavFormat format, std::string* error)
{
  error->clear();
  if (channels < 1 || channels > 64 || sampleRate < 1 || (frames && !interleaved)) {
    *error = "bad WAV parameters";
    return false;
  }
  const int bytesPerSample = format == WavFormat::Pcm16 ? 2 : format == WavFormat::Pcm24 ? 3 : 4;
  const bool isFloat = format == WavFormat::Float32;
  const uint64_t dataBytes = (uint64_t)frames * channels * bytesPerSample;
  // A float file carries the extended format record (cbSize 0) and a fact chunk, as the format asks.
  const uint32_t fmtBytes = isFloat ? 18 : 16;
  const uint32_t factBytes = isFloat ? 12 : 0;
  const uint64_t riffBytes = 4 + (8 + fmtBytes) + factBytes + 8 + dataBytes + (dataBytes & 1);
  if (riffBytes > 0xFFFFFFFFull) {
    *error = "audio too long for a WAV file";
    return false;
  }

  std::vector<uint8_t> header;
  PutTag(&header, "RIFF");
  PutLE(&header, (uint32_t)riffBytes, 4);
  PutTag(&header, "WAVE");
  PutTag(&header, "fmt ");
  PutLE(&header, fmtBytes, 4);
  PutLE(&header, isFloat ? 3 : 1, 2); // 3 = IEEE float, 1 = integer PCM
  PutLE(&header, (uint32_t)channels, 2);
  PutLE(&header, (uint32_t)sampleRate, 4);
  PutLE(&header, (uint32_t)sampleRate * channels * bytesPerSample, 4);
  PutLE(&header, (uint32_t)(channels * bytesPerSample), 2);
  PutLE(&header, (uint32_t)bytesPerSample * 8, 2);
  if (isFloat) {
    PutLE(&header, 0, 2);
    PutTag(&header, "fact");
    PutLE(&header, 4, 4);
    PutLE(&header, (uint32_t)frames, 4);
  }
  PutTag(&header, "data");
  PutLE(&header, (uint32_t)dataBytes, 4);

  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();

  // Samples go out in blocks so that a long render does not need a second full-size copy.
  std::vector<uint8_t> block;
  const size_t samples = frames * channels;
  const size_t step = 16384;
  for (size_t start = 0; ok && start < samples; start += step) {
    size_t n = std::min(step, samples - start);
    block.clear();
    for (size_t i = 0; i < n; ++i) {
      float x = interleaved[start + i];
      if (isFloat) {
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        PutLE(&block, bits, 4);
      } else {
        double scale = format == WavFormat::Pcm16 ? 32767.0 : 8388607.0;
        double v = std::isnan(x) ? 0.0 : std::max(-1.0, std::min(1.0, (double)x));
        PutLE(&block, (uint32_t)(int32_t)std::lround(v * scale), bytesPerSample);
      }
    }
    ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
  }
  if (ok && (dataBytes & 1)) ok = std::fputc(0, f) != EOF; // chunks are padded to even length
  if (ok) ok = std::fflush(f) == 0;
  int writeErrno = errno;
  if (std::fclose(f) != 0) {
    if (ok) writeErrno = errno;
    ok = false;
  }
  if (!ok) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str()); // never a device

    *error = "cannot write " + path + ": " + std::strerror(writeErrno);
    return false;
  }
  return true;
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
