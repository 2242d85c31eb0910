// The WAV writer: header fields, sample encodings, and failures that leave no partial file behind.
#include "WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using vsthost::WavFormat;
using vsthost::WriteWav;

namespace {

std::vector<uint8_t> Slurp(const std::string& path)
{
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back((uint8_t)c);
  std::fclose(f);
  return out;
}

uint32_t LE32(const std::vector<uint8_t>& b, size_t at)
{
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}
uint16_t LE16(const std::vector<uint8_t>& b, size_t at)
{
  return (uint16_t)(b[at] | (b[at + 1] << 8));
}

std::string TempPath(const char* name)
{
  return std::string(::testing::TempDir()) + "/vsthost_" + std::to_string(getpid()) + "_" + name;
}

bool Exists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

} // namespace

TEST(WavWriter, FloatFileHasTheExtendedFormatAndAFactChunk)
{
  const float samples[] = {0.5f, -0.25f, 1.5f, 0.0f, -1.0f, 0.125f};
  std::string path = TempPath("float.wav"), error;
  ASSERT_TRUE(WriteWav(path, samples, 3, 2, 48000, WavFormat::Float32, &error)) << error;
  std::vector<uint8_t> b = Slurp(path);
  ASSERT_EQ(b.size(), 12u + 26u + 12u + 8u + 24u);
  EXPECT_EQ(std::memcmp(&b[0], "RIFF", 4), 0);
  EXPECT_EQ(LE32(b, 4), b.size() - 8);
  EXPECT_EQ(std::memcmp(&b[8], "WAVEfmt ", 8), 0);
  EXPECT_EQ(LE32(b, 16), 18u);
  EXPECT_EQ(LE16(b, 20), 3); // IEEE float
  EXPECT_EQ(LE16(b, 22), 2);
  EXPECT_EQ(LE32(b, 24), 48000u);
  EXPECT_EQ(LE32(b, 28), 48000u * 8);
  EXPECT_EQ(LE16(b, 32), 8);
  EXPECT_EQ(LE16(b, 34), 32);
  EXPECT_EQ(std::memcmp(&b[38], "fact", 4), 0);
  EXPECT_EQ(LE32(b, 46), 3u);
  EXPECT_EQ(std::memcmp(&b[50], "data", 4), 0);
  EXPECT_EQ(LE32(b, 54), 24u);
  for (int i = 0; i < 6; ++i) {
    float f;
    std::memcpy(&f, &b[58 + 4 * i], 4);
    EXPECT_EQ(f, samples[i]) << i; // values above full scale are kept
  }
  std::remove(path.c_str());
}

TEST(WavWriter, IntegerFormatsClipAndRound)
{
  struct Case
  {
    WavFormat format;
    int bytes;
    float in;
    int32_t out;
  };
  const Case cases[] = {
      {WavFormat::Pcm16, 2, 0.5f, 16384},     {WavFormat::Pcm16, 2, -1.0f, -32767},
      {WavFormat::Pcm16, 2, 2.0f, 32767},     {WavFormat::Pcm16, 2, -3.0f, -32767},
      {WavFormat::Pcm16, 2, NAN, 0},          {WavFormat::Pcm24, 3, 1.0f, 8388607},
      {WavFormat::Pcm24, 3, -0.5f, -4194304}, {WavFormat::Pcm24, 3, 0.0f, 0},
  };
  for (const Case& c : cases) {
    std::string path = TempPath("pcm.wav"), error;
    ASSERT_TRUE(WriteWav(path, &c.in, 1, 1, 44100, c.format, &error)) << error;
    std::vector<uint8_t> b = Slurp(path);
    EXPECT_EQ(LE32(b, 16), 16u);
    EXPECT_EQ(LE16(b, 20), 1); // integer PCM
    EXPECT_EQ(LE16(b, 34), c.bytes * 8);
    EXPECT_EQ(LE32(b, 40), (uint32_t)c.bytes);
    int32_t v = 0;
    for (int i = 0; i < c.bytes; ++i) v |= b[44 + i] << (8 * i);
    v = (v << (32 - 8 * c.bytes)) >> (32 - 8 * c.bytes); // sign-extend
    EXPECT_EQ(v, c.out) << c.in;
    // A 24-bit mono frame is 3 bytes: the data chunk is padded to an even length.
    EXPECT_EQ(b.size(), 44u + c.bytes + (c.bytes & 1));
    EXPECT_EQ(LE32(b, 4), b.size() - 8);
    std::remove(path.c_str());
  }
}

TEST(WavWriter, FailuresReportAndLeaveNoFile)
{
  const float x = 0.0f;
  std::string error;
  EXPECT_FALSE(WriteWav("/nonexistent-folder/x.wav", &x, 1, 1, 44100, WavFormat::Float32, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WriteWav(TempPath("bad.wav"), &x, 1, 0, 44100, WavFormat::Float32, &error));
  EXPECT_FALSE(Exists(TempPath("bad.wav")));
  // A device that refuses every write: the writer reports it and leaves the device alone.
  if (Exists("/dev/full")) {
    std::vector<float> many(100000, 0.25f);
    EXPECT_FALSE(WriteWav("/dev/full", many.data(), many.size(), 1, 44100, WavFormat::Float32, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_TRUE(Exists("/dev/full"));
  }
}
