// The wavetable oscillator as a user meets it: wave files of every sample format and SysEx dumps written
// here and read back, damaged files that fail cleanly with the previous waves still playing, pitch and band
// limit, the wave position, and a loaded wavetable carried by the state chunk.
#include "OscWavetable.h"
#include "WaveReader.h"
#include "fft.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include "../support/child_deadline.h"
#include "../support/module_drive.h"
#include "ByteChunk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
const double kPi = 3.141592653589793;
using Bytes = std::vector<unsigned char>;

// ---- fixtures: our own writers ----

void put32(Bytes& b, uint32_t v)
{
  for (int i = 0; i < 4; ++i) b.push_back((unsigned char)(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v)
{
  b.push_back((unsigned char)v);
  b.push_back((unsigned char)(v >> 8));
}
void chunk(Bytes& b, const char* id, const Bytes& body, bool pad = true)
{
  b.insert(b.end(), id, id + 4);
  put32(b, (uint32_t)body.size());
  b.insert(b.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) b.push_back(0);
}

struct WavFormat
{
  int tag, bits;
  double quantum = 0; // how far a sample read back may lie from the one written
};
const WavFormat kFormats[] = {{1, 8, 1.0 / 128}, {1, 16, 1.0 / 32768}, {1, 24, 1.0 / 8388608}, {3, 32, 1e-7}, {3, 64}};

// Samples (frames * channels, interleaved, in -1..1) encoded in the format.
Bytes encode(const WavFormat& f, const std::vector<double>& x)
{
  Bytes b;
  for (double v : x) {
    if (f.bits == 8) {
      b.push_back((unsigned char)std::lround(std::min(255.0, (v + 1.0) * 128.0)));
    } else if (f.bits == 16) {
      put16(b, (uint16_t)(int16_t)std::lround(std::max(-32768.0, std::min(32767.0, v * 32768.0))));
    } else if (f.bits == 24) {
      const int32_t s = (int32_t)std::lround(std::max(-8388608.0, std::min(8388607.0, v * 8388608.0)));
      for (int i = 0; i < 3; ++i) b.push_back((unsigned char)(s >> (8 * i)));
    } else if (f.bits == 32) {
      const float fl = (float)v;
      uint32_t u;
      std::memcpy(&u, &fl, 4);
      put32(b, u);
    } else {
      uint64_t u;
      std::memcpy(&u, &v, 8);
      put32(b, (uint32_t)u);
      put32(b, (uint32_t)(u >> 32));
    }
  }
  return b;
}

struct WavOptions
{
  int channels = 1;
  bool listBefore = true; // an odd-sized chunk with its pad byte before "fmt "
  bool listAfter = true;  // and another after "data"
  int64_t dataSize = -1;  // the size the data chunk claims (-1: the real one)
};

Bytes makeWav(const WavFormat& f, const std::vector<double>& x, const WavOptions& o = WavOptions())
{
  Bytes fmt;
  put16(fmt, (uint16_t)f.tag);
  put16(fmt, (uint16_t)o.channels);
  put32(fmt, 44100);
  put32(fmt, 44100 * o.channels * f.bits / 8);
  put16(fmt, (uint16_t)(o.channels * f.bits / 8));
  put16(fmt, (uint16_t)f.bits);
  Bytes body(4, 0);
  std::memcpy(body.data(), "WAVE", 4);
  if (o.listBefore) chunk(body, "LIST", Bytes{'I', 'N', 'F', 'O', 'x'});
  chunk(body, "fmt ", fmt);
  Bytes data = encode(f, x);
  const size_t realSize = data.size();
  chunk(body, "data", data);
  if (o.dataSize >= 0) {
    const size_t at = body.size() - realSize - (realSize & 1) - 4;
    for (int i = 0; i < 4; ++i) body[at + i] = (unsigned char)((uint64_t)o.dataSize >> (8 * i));
  }
  if (o.listAfter) chunk(body, "LIST", Bytes{'a', 'b', 'c'});
  Bytes file;
  chunk(file, "RIFF", body);
  return file;
}

// A 21-bit SysEx sample: v / 1048575, or that minus 2 when its top 7 bits exceed 63.
void putTriple(unsigned char* p, double s)
{
  const uint32_t v = (uint32_t)std::lround(s >= 0.0 ? s * 1048575.0 : (s + 2.0) * 1048575.0) & 0x1FFFFF;
  p[0] = (unsigned char)(v >> 14);
  p[1] = (unsigned char)((v >> 7) & 127);
  p[2] = (unsigned char)(v & 127);
}

// One wavetable dump message per wave of 128 samples.
Bytes makeSyx(const std::vector<std::vector<double>>& waves)
{
  Bytes b;
  for (size_t w = 0; w < waves.size(); ++w) {
    unsigned char m[410] = {0xF0, 0x3E, 0x13, 0x00, 0x12, 0x50, (unsigned char)w, 0};
    for (int i = 0; i < 128; ++i) putTriple(m + 8 + 3 * i, waves[w][i]);
    m[409] = 0xF7;
    b.insert(b.end(), m, m + 410);
  }
  return b;
}

struct TempFile
{
  explicit TempFile(const char* ext)
  {
    static int serial = 0;
    path = testing::TempDir() + "wavetable_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + ext;
  }
  ~TempFile() { std::remove(path.c_str()); }
  const char* write(const Bytes& b) const
  {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (b.size()) std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return path.c_str();
  }
  std::string path;
};

// One cycle of n samples of a sum of harmonics (number, sine amplitude, cosine amplitude).
struct Partial
{
  int k;
  double a, b;
};
std::vector<double> cycle(int n, std::initializer_list<Partial> partials)
{
  std::vector<double> x(n, 0.0);
  for (int i = 0; i < n; ++i)
    for (const Partial& p : partials)
      x[i] += p.a * std::sin(2 * kPi * p.k * i / n) + p.b * std::cos(2 * kPi * p.k * i / n);
  return x;
}

// A band-limited saw of 2048 samples with harmonics 1..1023, amplitude 0.5 / k.
std::vector<double> sawCycle()
{
  std::vector<double> x(2048, 0.0);
  for (int k = 1; k < 1024; ++k)
    for (int i = 0; i < 2048; ++i) x[i] += 0.5 / k * std::sin(2 * kPi * k * i / 2048.0);
  return x;
}

// The samples of wave w of stored spectra: the inverse of the stored spectrum (stored = forward * 0.5 / 2048).
std::vector<double> waveOf(const double* spectra, int w)
{
  std::vector<double> x(spectra + w * 2048, spectra + (w + 1) * 2048);
  WDL_real_fft(x.data(), 2048, 1);
  return x;
}

double hzOfPitch(double pitch)
{
  return 440.0 * std::pow(2.0, (pitch / 128.0 - 69.0) / 12.0);
}

double maxDiff(const std::vector<double>& a, const double* b, size_t n)
{
  double d = 0;
  for (size_t i = 0; i < n; ++i) d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

// A wavetable oscillator in slot 0 of a rig, with waves * 2048 samples given to its record.
OscWavetable* makeOsc(ModuleRig& rig, double rate, const std::vector<double>& samples)
{
  OscWavetable* osc = rig.make<OscWavetable>(ModuleConfig::MOD_OSCWAVETABLE, rate);
  if (!samples.empty()) {
    EXPECT_TRUE(OscWavetable::setWavetable(rig.plug.get(), 0, samples.data(), (int)samples.size() / 2048, "gen"));
  }
  rig.param(0, 0); // as the engine tells every instance of the slot
  return osc;
}
} // namespace

// ---- the wave file reader ----

TEST(WaveReader, EveryFormatMonoAndStereoRoundTrips)
{
  for (const WavFormat& f : kFormats)
    for (int channels : {1, 2})
      for (bool pads : {false, true}) {
        const int frames = 1001; // odd: 8-bit mono data ends on a pad byte
        std::vector<double> x(frames * channels);
        for (size_t i = 0; i < x.size(); ++i) x[i] = 0.9 * std::sin(0.37 * i + (i % channels));
        WavOptions o;
        o.channels = channels;
        o.listBefore = o.listAfter = pads;
        TempFile t(".wav");
        WaveReader r;
        ASSERT_TRUE(r.Open(t.write(makeWav(f, x, o)))) << f.bits << " bits, " << channels << " channels";
        EXPECT_EQ(frames, r.frames);
        EXPECT_EQ(channels, r.channels);
        EXPECT_EQ(44100, r.sampleRate);
        std::vector<double> y(x.size() + 10, 99.0);
        // In two calls, the second asking for more than is left: nothing past the data chunk is read.
        unsigned int n = r.ReadDoubles(y.data(), 500);
        n += r.ReadDoubles(y.data() + n, (unsigned int)y.size() - n);
        ASSERT_EQ(x.size(), n);
        EXPECT_EQ(0u, r.ReadDoubles(y.data(), 4));
        EXPECT_LE(maxDiff(x, y.data(), x.size()), f.quantum) << f.bits << " bits";
      }
}

TEST(WaveReader, RefusedFormatsAndDamagedChunksFailOrClamp)
{
  const std::vector<double> x(64, 0.25);
  struct Case
  {
    const char* what;
    Bytes file;
    bool opens;
    int64_t frames;
  };
  auto patch32 = [](Bytes b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = (unsigned char)(v >> (8 * i));
    return b;
  };
  WavOptions plain;
  plain.listBefore = plain.listAfter = false;
  const Bytes good = makeWav({1, 16}, x, plain); // RIFF(12) fmt(8+16) data(8+128)
  WavOptions huge = plain;
  huge.dataSize = 0x80000000u;
  WavOptions ragged = plain;
  ragged.dataSize = 127; // not a whole number of frames
  Bytes negative = good;
  negative.insert(negative.begin() + 12, {'J', 'U', 'N', 'K', 0xF8, 0xFF, 0xFF, 0xFF});
  Bytes junk = good; // 1023 empty chunks before the format: the data is chunk 1025
  for (int i = 0; i < 1023; ++i) junk.insert(junk.begin() + 12, {'J', 'U', 'N', 'K', 0, 0, 0, 0});
  std::vector<Case> cases = {
      {"plain", good, true, 64},
      {"12-bit PCM", makeWav({1, 12}, x, plain), false, 0},
      {"16-bit float", makeWav({3, 16}, x, plain), false, 0},
      {"format tag 2", makeWav({2, 16}, x, plain), false, 0},
      {"no channels", patch32(good, 22, 0x00000000u | (44100u << 16)), false, 0},
      {"not RIFF", patch32(good, 0, 0x46464952u + 1), false, 0},
      {"not WAVE", patch32(good, 8, 0), false, 0},
      {"data claims 2 GB", makeWav({1, 8}, x, huge), true, 64},
      {"data of 127 bytes", makeWav({1, 16}, x, ragged), true, 63},
      {"chunk size 0xFFFFFFF8", negative, false, 0},
      {"fmt claims 4 GB", patch32(good, 16, 0xFFFFFFFFu), false, 0},
      {"header only", Bytes(good.begin(), good.begin() + 12), false, 0},
      {"data is chunk 1025", junk, false, 0},
  };
  for (const Case& c : cases) {
    TempFile t(".wav");
    WaveReader r;
    EXPECT_EQ(c.opens, r.Open(t.write(c.file))) << c.what;
    EXPECT_EQ(c.frames, r.frames) << c.what;
    EXPECT_EQ(c.opens, r.IsOpen()) << c.what;
  }
}

// ---- wavetables from files ----

TEST(WavetableFile, WaveSpectraHoldTheHarmonicsInTheStoredLayout)
{
  // Stored harmonic k is X_k / 2048 (X the DFT of the wave) at doubles 2 * permute(1024, k) and the next.
  const std::vector<double> x = cycle(2048, {{1, 0.5, 0.0}, {3, 0.0, 0.25}, {700, 0.1, 0.05}});
  for (const WavFormat& f : {WavFormat{3, 64}, WavFormat{1, 24}}) {
    TempFile t(".wav");
    WaveSpectra s;
    ASSERT_TRUE(OscWavetable::readWAV(t.write(makeWav(f, x)), &s));
    ASSERT_EQ(2048u, s.count);
    for (int k : {1, 2, 3, 341, 342, 700, 1023}) {
      double re = 0, im = 0;
      for (int n = 0; n < 2048; ++n) {
        re += x[n] * std::cos(2 * kPi * k * n / 2048) / 2048;
        im -= x[n] * std::sin(2 * kPi * k * n / 2048) / 2048;
      }
      const int j = 2 * WDL_fft_permute(1024, k);
      EXPECT_NEAR(re, s.data[j], 2e-7) << "harmonic " << k;
      EXPECT_NEAR(im, s.data[j + 1], 2e-7) << "harmonic " << k;
    }
  }
}

TEST(WavetableFile, FrameCountsGiveTheirWaves)
{
  // frames, channels, expected waves; a file of at most 2048 frames is one wave resampled.
  const struct
  {
    int frames, channels, waves;
  } cases[] = {{2, 1, 1},    {600, 1, 1},        {2047, 2, 1},    {2048, 1, 1},     {3000, 1, 1},
               {4096, 2, 2}, {2048 * 64, 1, 64}, {200000, 1, 64}, {204800, 1, 100}, {1, 1, 0}};
  for (const auto& c : cases) {
    std::vector<double> x((size_t)c.frames * c.channels);
    for (int i = 0; i < c.frames; ++i)
      for (int ch = 0; ch < c.channels; ++ch) x[i * c.channels + ch] = 0.5 * std::sin(0.001 * i) + 0.1 * ch;
    WavOptions o;
    o.channels = c.channels;
    TempFile t(".wav");
    WaveSpectra s;
    const bool ok = OscWavetable::readWAV(t.write(makeWav({3, 64}, x, o)), &s);
    EXPECT_EQ(c.waves > 0, ok) << c.frames;
    if (!ok) continue;
    ASSERT_EQ((uint32_t)c.waves * 2048, s.count) << c.frames;
    const double stereo = 0.05 * (c.channels - 1); // frames are the mean of their channels
    const std::vector<double> last = waveOf(s.data, c.waves - 1);
    if (c.frames >= 2048) {
      // Whole waves of the first frames, unresampled.
      const int first = (c.waves - 1) * 2048;
      for (int i = 0; i < 2048; i += 97)
        EXPECT_NEAR(0.5 * std::sin(0.001 * (first + i)) + stereo, last[i], 1e-12) << c.frames << " " << i;
    } else {
      // Resampled: the ends are the file's ends, the inside follows the frames' curve.
      EXPECT_NEAR(x[0] + stereo - 0.1 * 0, last[0], 1e-12);
      EXPECT_NEAR(0.5 * std::sin(0.001 * (c.frames - 1)) + stereo, last[2047], 1e-12) << c.frames;
      if (c.frames >= 600)
        for (int i = 1; i < 2047; i += 101) {
          const double at = (double)i * (c.frames - 1) / 2047;
          if (at < 1.0 || at >= c.frames - 2) continue; // the first and last spans read across the cycle's ends
          // The kernel is not exact even on a straight line: about a tenth of a frame's step.
          EXPECT_NEAR(0.5 * std::sin(0.001 * at) + stereo, last[i], 1e-4) << c.frames << " " << i;
        }
    }
  }
  // Float files of no wave at all: a constant 16 or 1e30 (which no integer file can hold) is a wave at full
  // scale, not one 24 dB over it or more.
  for (double level : {16.0, 1e30, -1e30}) {
    TempFile t(".wav");
    WaveSpectra s;
    ASSERT_TRUE(OscWavetable::readWAV(t.write(makeWav({3, 32}, std::vector<double>(4096, level))), &s)) << level;
    for (int w = 0; w < 2; ++w)
      for (double v : waveOf(s.data, w)) ASSERT_NEAR(level > 0 ? 1.0 : -1.0, v, 1e-9) << level;
  }
  // A sine 12 dB over full scale is read at full scale, its shape kept.
  TempFile t(".wav");
  WaveSpectra s;
  ASSERT_TRUE(OscWavetable::readWAV(t.write(makeWav({3, 64}, cycle(2048, {{1, 4.0, 0.0}}))), &s));
  EXPECT_LT(maxDiff(waveOf(s.data, 0), cycle(2048, {{1, 1.0, 0.0}}).data(), 2048), 1e-9);
}

TEST(WavetableFile, SysExDumpsDecodeAndResample)
{
  std::vector<std::vector<double>> waves;
  for (int w = 0; w < 66; ++w) waves.push_back(cycle(128, {{1, 0.8 * (w + 1) / 66.0, 0.0}, {2, 0.0, 0.1}}));
  const struct
  {
    size_t messages, extra;
    int waves;
  } cases[] = {{1, 0, 1}, {3, 100, 3}, {64, 0, 64}, {66, 0, 66}};
  for (const auto& c : cases) {
    Bytes b = makeSyx(std::vector<std::vector<double>>(waves.begin(), waves.begin() + c.messages));
    b.insert(b.end(), c.extra, 0x55);
    TempFile t(".syx");
    WaveSpectra s;
    ASSERT_TRUE(OscWavetable::readBlofeldSYX(t.write(b), &s)) << c.messages;
    ASSERT_EQ((uint32_t)c.waves * 2048, s.count);
    for (int w = 0; w < c.waves; w += 7) {
      const std::vector<double> x = waveOf(s.data, w);
      // Sample i of 2048 sits at i * 127 / 2047 of the 128-sample wave.
      EXPECT_NEAR(waves[w][0], x[0], 1e-6);
      EXPECT_NEAR(waves[w][127], x[2047], 1e-6);
      for (int i = 1; i < 2047; i += 89) {
        const double at = i * 127.0 / 2047 / 128;
        const double expected = 0.8 * (w + 1) / 66.0 * std::sin(2 * kPi * at) + 0.1 * std::cos(4 * kPi * at);
        EXPECT_NEAR(expected, x[i], 6e-3) << "wave " << w << " sample " << i; // the kernel's own error
      }
    }
  }
  // The sample code: 21 bits, the upper half negative.
  unsigned char m[410] = {};
  for (double v : {0.0, 0.5, -0.5, 0.999, -0.999}) {
    putTriple(m + 8, v);
    EXPECT_NEAR(v, OscWavetable::getFromTriple(m, 0), 1e-6);
  }
}

TEST(WavetableFile, FilesBeyondTheSafetyBoundAreRefused)
{
  // One wave more than the oscillator takes, as whole 8-bit waves and as one message per wave; a file
  // that is not a whole number of waves is cut at 64 whatever its length.
  auto silence = [](int64_t frames) {
    WavOptions o;
    o.listAfter = false;
    o.dataSize = frames;
    Bytes wav = makeWav({1, 8}, {}, o);
    wav.resize(wav.size() + frames, 128);
    return wav;
  };
  const int64_t frames = (int64_t)(OscWavetable::kMaxWaves + 1) * 2048;
  Bytes syx = makeSyx(std::vector<std::vector<double>>(OscWavetable::kMaxWaves + 1, cycle(128, {{1, 0.5, 0.0}})));
  TempFile t(".wav"), u(".syx");
  WaveSpectra s;
  EXPECT_FALSE(OscWavetable::readWavetableFile(t.write(silence(frames)), &s));
  EXPECT_FALSE(OscWavetable::readWavetableFile(u.write(syx), &s));
  EXPECT_EQ(nullptr, s.data);
  ASSERT_TRUE(OscWavetable::readWavetableFile(t.write(silence(frames + 1)), &s));
  EXPECT_EQ(64u * 2048, s.count);
  // At the bound itself, every wave of both kinds.
  ASSERT_TRUE(OscWavetable::readWavetableFile(t.write(silence(frames - 2048)), &s));
  EXPECT_EQ((uint32_t)OscWavetable::kMaxWaves * 2048, s.count);
  syx.resize(syx.size() - 410);
  ASSERT_TRUE(OscWavetable::readWavetableFile(u.write(syx), &s));
  EXPECT_EQ((uint32_t)OscWavetable::kMaxWaves * 2048, s.count);
}

TEST(WavetableFile, ForeignShortAndMissingFilesFail)
{
  const std::vector<std::vector<double>> two(2, cycle(128, {{1, 0.5, 0.0}}));
  Bytes foreign = makeSyx(two);
  foreign[410 + 1] = 0x42; // another maker's second message
  Bytes wrongType = makeSyx(two);
  wrongType[4] = 0x10;
  const Bytes full = makeSyx(two);
  const Bytes shortDump(full.begin(), full.begin() + 409);
  const struct
  {
    const char* ext;
    Bytes bytes;
    bool reads = false;
  } cases[] = {{".syx", foreign},      {".syx", wrongType},         {".syx", shortDump},
               {".syx", Bytes()},      {".wav", Bytes()},           {".txt", makeSyx(two)},
               {".wav", makeSyx(two)}, {".SYX", makeSyx(two), true}}; // the case of the extension does not matter
  for (const auto& c : cases) {
    TempFile t(c.ext);
    WaveSpectra s;
    EXPECT_EQ(c.reads, OscWavetable::readWavetableFile(t.write(c.bytes), &s)) << c.ext << " " << c.bytes.size();
    EXPECT_EQ(c.reads, s.data != nullptr) << c.ext << " " << c.bytes.size();
  }
  for (const char* missing : {"/nonexistent/dir/table.syx", "/nonexistent/dir/table.wav"}) {
    WaveSpectra s;
    EXPECT_FALSE(OscWavetable::readWavetableFile(missing, &s)) << missing;
  }
  // Refused at once: a FIFO nobody writes, a device, a sparse file longer than RIFF sizes reach.
  TempFile fifo(".wav"), sparse(".wav");
  ASSERT_EQ(0, mkfifo(fifo.path.c_str(), 0600));
  ASSERT_EQ(0, truncate(sparse.write(makeWav({1, 16}, cycle(2048, {{1, 0.5, 0.0}}))), WaveReader::kMaxFileBytes + 1));
  for (const char* p : {fifo.path.c_str(), "/dev/zero", sparse.path.c_str()}) {
    WaveSpectra s;
    EXPECT_EQ(0, inChildWithin30s([&] { return WaveReader().Open(p) || OscWavetable::readBlofeldSYX(p, &s); })) << p;
  }
  ASSERT_EQ(0, truncate(sparse.path.c_str(), WaveReader::kMaxFileBytes));
  EXPECT_TRUE(WaveReader().Open(sparse.path.c_str()));
}

// ---- loading into a slot ----

TEST(WavetableLoad, FailedLoadsKeepThePreviousWavesPlaying)
{
  ModuleRig rig;
  makeOsc(rig, 48000, cycle(2048, {{1, 0.5, 0.0}}));
  rig.pitch = 69 * 128;
  SharedData& record = rig.plug->slotConfig[0].sharedData;
  const std::vector<double> before(record.data, record.data + record.count);

  const std::vector<std::vector<double>> two(2, cycle(128, {{3, 0.5, 0.0}}));
  Bytes foreign = makeSyx(two);
  foreign[2] = 0x11;
  std::vector<std::pair<const char*, Bytes>> bad = {{".syx", foreign}, {".syx", Bytes(100, 0xF0)}, {".wav", Bytes()}};
  // Wave files cut inside their header (58 bytes) or after a single 16-bit stereo frame.
  WavOptions o;
  o.channels = 2;
  const Bytes wav = makeWav({1, 16}, std::vector<double>(2 * 4096, 0.25), o);
  for (size_t cut : {0, 11, 20, 37, 44, 57, 58, 61, 62, 65})
    bad.push_back({".wav", Bytes(wav.begin(), wav.begin() + cut)});

  for (bool viaFlag : {false, true}) {
    for (const auto& b : bad) {
      TempFile t(b.first);
      t.write(b.second);
      if (viaFlag) {
        // The editor's way: name and flag in the record, then parameter 0 of the slot.
        record.name.Set(t.path.c_str());
        record.changed = true;
        rig.param(0, 0);
      } else {
        EXPECT_FALSE(OscWavetable::loadWavetable(rig.plug.get(), 0, t.path.c_str()));
      }
      EXPECT_STREQ("", record.name.Get()) << b.first << " " << b.second.size();
      EXPECT_FALSE(record.changed);
      ASSERT_EQ(before.size(), record.count);
      EXPECT_EQ(0, std::memcmp(before.data(), record.data, before.size() * sizeof(double)));
      const std::vector<double> y = rig.run(4800);
      EXPECT_NEAR(0.5, sineAmplitude(y, Synth::convert2Hz(69 * 128), 48000), 0.01);
    }
  }
}

TEST(WavetableLoad, LoadedFileReachesEveryVoiceOfTheSlot)
{
  ModuleRig rig;
  Veltrane& v = *rig.plug;
  v.SetSampleRate(44100);
  v.Reset();
  v.replaceModule(2, ModuleConfig::MOD_OSCWAVETABLE, false, false);
  TempFile t(".wav");
  const std::vector<double> x = cycle(2048, {{2, 0.3, 0.0}});
  ASSERT_TRUE(OscWavetable::loadWavetable(&v, 2, t.write(makeWav({3, 32}, x))));
  EXPECT_STREQ(t.path.c_str(), v.slotConfig[2].sharedData.name.Get());
  ASSERT_GE(v.activeVoices, 1);
  for (int i = 0; i < v.activeVoices; ++i) {
    auto* osc = static_cast<OscWavetable*>(v.voices[i].modules[2]);
    EXPECT_EQ(1, osc->waveCount) << "voice " << i;
  }
  EXPECT_FALSE(OscWavetable::loadWavetable(&v, 3, t.path.c_str())); // an empty slot has no record to load into
}

// ---- playing ----

TEST(WavetablePitch, WithinOneCentAtEveryRate)
{
  const std::vector<double> saw = sawCycle();
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (int note : {24, 40, 57, 69, 88, 100, 115}) {
      ModuleRig rig;
      makeOsc(rig, rate, saw);
      rig.pitch = note * 128;
      const double expected = hzOfPitch(note * 128);
      const std::vector<double> x = rig.run(65536);
      const double f = peakFrequency(x, rate, expected * 0.97, expected * 1.03);
      EXPECT_LT(std::fabs(cents(f, expected)), 1.0) << "rate " << rate << " note " << note << ": " << f << " Hz";
    }
}

TEST(WavetableBandLimit, NothingFoldsBackFromAboveNyquist)
{
  // A full saw at 44.1 kHz: every component of the output is one of the fundamental's harmonics below
  // Nyquist; whatever else there is (folded harmonics, the table's own steps) stays 60 dB down.
  const std::vector<double> saw = sawCycle();
  const double rate = 44100;
  for (int note = 24; note <= 120; note += 8) {
    ModuleRig rig;
    OscWavetable* osc = makeOsc(rig, rate, saw);
    rig.pitch = note * 128;
    rig.run(441, -1);
    const std::vector<double> x = rig.run(32768);
    const double f0 = osc->phaseIncrement * rate / 134217728.0; // what the phase really steps at
    double bin = 0;
    const std::vector<double> mag = spectrum(x, rate, &bin);
    double fundamental = 0;
    for (int k = (int)(f0 / bin) - 3; k <= (int)(f0 / bin) + 3; ++k) fundamental = std::max(fundamental, mag[k]);
    double worst = 0, worstHz = 0;
    for (size_t k = 3; k < mag.size(); ++k) {
      const double f = k * bin;
      const double h = std::round(f / f0);
      if (h >= 1 && h * f0 < rate / 2 && std::fabs(f - h * f0) < 5 * bin) continue;
      if (mag[k] > worst) worst = mag[k], worstHz = f;
    }
    EXPECT_LT(toDB(worst / fundamental), -60.0) << "note " << note << " at " << worstHz << " Hz";
    EXPECT_GT(osc->lastBins, 1) << note;
  }
}

TEST(WavetableBandLimit, EveryHarmonicBelowNyquistAndNoneAtOrAboveIt)
{
  // An impulse holds every harmonic at one level: the spectrum of the play table (a plain DFT here) shows
  // which ones were kept. Harmonic k sounds at k times the frequency the phase really steps at.
  std::vector<double> impulse(2048, 0.0), cosine(2048), sine(2048);
  impulse[0] = 1.0;
  for (int n = 0; n < 2048; ++n) cosine[n] = std::cos(2 * kPi * n / 2048), sine[n] = std::sin(2 * kPi * n / 2048);
  // Notes, and at 44.1 kHz pitches around 21.54 Hz, where the count is exactly 1024 (harmonic 1024 just
  // at or above Nyquist).
  std::vector<int> pitches;
  for (int note : {0, 33, 69, 70, 100, 118, 127}) pitches.push_back(note * 128);
  for (int p = 2138; p <= 2150; ++p) pitches.push_back(p);
  int countsOf1024 = 0;
  for (double rate : {22050.0, 44100.0, 96000.0})
    for (int pitch : pitches) {
      const int note = pitch / 128;
      ModuleRig rig;
      OscWavetable* osc = makeOsc(rig, rate, impulse);
      rig.pitch = pitch;
      rig.run(2 * 441);
      const double f0 = osc->phaseIncrement * rate / 134217728.0;
      int kept = 0;
      for (int k = 1; k <= 1024; ++k) {
        double re = 0, im = 0;
        for (int n = 0; n < 2048; ++n) {
          re += osc->table[n] * cosine[(k * n) & 2047];
          im += osc->table[n] * sine[(k * n) & 2047];
        }
        const bool present = std::hypot(re, im) > 1e-9;
        const bool belowNyquist = k * f0 < rate / 2;
        EXPECT_EQ(belowNyquist, present) << rate << " Hz, note " << note << ", harmonic " << k << " at " << k * f0;
        kept += present;
      }
      if (pitch == 69 * 128 && rate == 44100.0) {
        EXPECT_EQ(50, kept); // 50 * 440 Hz lies below 22050 Hz, 51 * 440 Hz above
      }
      countsOf1024 += OscWavetable::harmonicCount(osc->phaseIncrement) == 1024;
    }
  EXPECT_GT(countsOf1024, 0) << "no pitch tried gives 1024 harmonics";
  // A harmonic exactly at Nyquist (1024 or 512 at increments of 1/2048 and 1/1024 cycle) is dropped.
  EXPECT_EQ(1025, OscWavetable::harmonicCount(65535));
  EXPECT_EQ(1024, OscWavetable::harmonicCount(65536));
  EXPECT_EQ(512, OscWavetable::harmonicCount(131072));
  // Note 127 at 22.05 kHz lies above Nyquist: silence, no fault.
  ModuleRig rig;
  makeOsc(rig, 22050.0, sawCycle());
  rig.pitch = 127 * 128;
  for (double v : rig.run(11025)) ASSERT_EQ(0.0, v);
}

TEST(WavetablePhase, SyncAndResetRestartTheWaveAtZeroAndAtTheStartPhase)
{
  // A sine table: after a restart at phase p the samples read sin(2 pi (p + k f)), f cycles per sample.
  ModuleRig rig;
  OscWavetable* osc = makeOsc(rig, 48000, cycle(2048, {{1, 1.0, 0.0}}));
  rig.pitch = 60 * 128;
  double sync = 0.0, gate = 0.0, phaseMod = 0.0;
  osc->syncSource = &sync;
  osc->resetSource = &gate;
  osc->startPhaseModSource = &phaseMod;
  rig.run(1000, -1);
  const double f = osc->phaseIncrement / 134217728.0;
  // n samples from the restart on (one tick with no new rise among them) against the sine from p.
  auto follows = [&](double p, int n, const std::string& what) {
    for (int k = 0; k < n; ++k) {
      if (k == 20) osc->update(true); // a tick without a rise: the wave runs on
      osc->process();
      ASSERT_NEAR(std::sin(2 * kPi * (p + k * f)), osc->audioOut[0], 0.004) << what << ", sample " << k;
      if (k < 2) {
        EXPECT_EQ(0.0, osc->syncOut[0]) << what << ": a restart is no wrap";
      }
    }
  };
  const struct
  {
    double start, mod, phase; // start phase, its modulation, where the wave restarts
  } resets[] = {{0.25, 0.0, 0.25}, {0.25, 0.5, 0.75}, {1.0, 0.0, 0.0}, {0.25, -0.5, 0.75}, {0.6, 0.65, 0.25}};
  for (const auto& r : resets) {
    rig.param(12, r.start);
    phaseMod = r.mod;
    gate += 1.0;
    osc->update(true); // the rise is read at the tick, the restart happens at the next sample
    osc->process();
    follows(r.phase, 200, "start " + std::to_string(r.start) + " + " + std::to_string(r.mod));
  }
  // Sync restarts at 0 in the sample it is high; a reset due in the same sample waits for the next one.
  rig.run(333, -1);
  sync = 1.0;
  osc->process();
  sync = 0.0;
  follows(0.0, 60, "sync");
  rig.param(12, 0.5);
  phaseMod = 0.0;
  gate += 1.0;
  osc->update(true);
  sync = 1.0;
  osc->process();
  sync = 0.0;
  osc->process();
  EXPECT_NEAR(0.0, osc->audioOut[0], 0.004); // sync read phase 0
  follows(0.5, 60, "reset after sync");
}

TEST(WavetablePosition, InterpolateAndRawMixTheNeighbouringWaves)
{
  // Wave 0 a fundamental, wave 1 its second harmonic: each amplitude reads the share of its wave.
  std::vector<double> two = cycle(2048, {{1, 0.5, 0.0}});
  const std::vector<double> second = cycle(2048, {{2, 0.5, 0.0}});
  two.insert(two.end(), second.begin(), second.end());
  const struct
  {
    double position;
    bool raw;
    double first;
  } cases[] = {{0.0, false, 1.0}, {0.6, false, 0.4}, {1.0, false, 0.0}, {0.25, false, 0.75},
               {0.6, true, 0.0},  {0.4, true, 1.0},  {0.5, true, 0.5},  {0.49, true, 0.75}};
  for (const auto& c : cases) {
    ModuleRig rig;
    makeOsc(rig, 48000, two);
    rig.param(1, c.position);
    rig.param(11, c.raw ? 1 : 0);
    rig.pitch = 57 * 128;
    const double f0 = Synth::convert2Hz(57 * 128);
    rig.run(480, -1);
    const std::vector<double> x = rig.run(48000);
    EXPECT_NEAR(0.5 * c.first, sineAmplitude(x, f0, 48000), 0.005) << c.position << (c.raw ? " raw" : "");
    EXPECT_NEAR(0.5 * (1 - c.first), sineAmplitude(x, 2 * f0, 48000), 0.005) << c.position << (c.raw ? " raw" : "");
  }
}

TEST(WavetablePosition, ModulatedPositionBlendsCachedTablesToTheDirectResult)
{
  // Four waves; the position swept by its modulation input: each play table equals the one made directly
  // from the blended spectra, and inverse transforms run only when the pair of waves or the band changes.
  std::vector<double> waves;
  for (int w = 0; w < 4; ++w) {
    const std::vector<double> c = cycle(2048, {{1, 0.3, 0.1 * w}, {5 + w, 0.2, 0.0}, {300, 0.05 * w, 0.0}});
    waves.insert(waves.end(), c.begin(), c.end());
  }
  ModuleRig rig;
  OscWavetable* osc = makeOsc(rig, 48000, waves);
  double mod = 0.0;
  rig.param(2, 1.0);
  osc->positionModSource = &mod;
  rig.pitch = 84 * 128;
  const SharedData& r = rig.plug->slotConfig[0].sharedData;
  rig.run(48);
  const int start = osc->tableBuilds;
  int pairs = 0, lastPair = -1;
  for (int step = 0; step <= 200; ++step) {
    mod = step / 200.0;
    rig.run(48);
    const double x = 3 * mod;
    const int f = std::min(2, (int)x);
    pairs += f != lastPair;
    lastPair = f;
    const double t = x - f;
    const int bins = osc->lastBins;
    std::vector<double> direct(2048, 0.0);
    for (int k = 0; k < bins; ++k) {
      const int j = 2 * WDL_fft_permute(1024, k);
      const double weight = 1.0 - (double)k * k / ((double)bins * bins);
      for (int d = j; d <= j + 1; ++d) {
        if (k == 0 && d == 1 && bins < 1024) continue; // the half-rate value lies above Nyquist
        const double a = r.data[f * 2048 + d], b = f + 1 < 4 ? r.data[(f + 1) * 2048 + d] : a;
        direct[d] = (a + (b - a) * t) * weight;
      }
    }
    WDL_real_fft(direct.data(), 2048, 1);
    ASSERT_LT(maxDiff(direct, osc->table, 2048), 1e-12) << "position " << mod;
  }
  // Two transforms per pair of waves met (the last position has no next wave: one).
  EXPECT_LE(osc->tableBuilds - start, 2 * pairs + 1);
}

TEST(WavetableReset, SampleRateResetWithoutParametersPlaysThePitch)
{
  ModuleRig rig;
  OscWavetable* osc = makeOsc(rig, 44100, cycle(2048, {{1, 0.5, 0.0}}));
  rig.pitch = 69 * 128;
  rig.run(4410);
  osc->setSampleRate(48000); // a host reset: no parameter follows
  osc->setFrequencySource(&rig.pitch);
  rig.rate = 48000;
  const std::vector<double> x = rig.run(48000);
  EXPECT_GT(osc->phaseIncrement, 0);
  EXPECT_NEAR(0.5, sineAmplitude(x, Synth::convert2Hz(69 * 128), 48000), 0.01);
}

TEST(WavetableState, LoadedWavetableTravelsInTheStateChunk)
{
  ModuleRig a;
  a.plug->SetSampleRate(48000);
  a.plug->Reset();
  a.plug->replaceModule(5, ModuleConfig::MOD_OSCWAVETABLE, true, false);
  TempFile t(".syx");
  std::vector<std::vector<double>> waves;
  for (int w = 0; w < 3; ++w) waves.push_back(cycle(128, {{1 + w, 0.4, 0.0}}));
  ASSERT_TRUE(OscWavetable::loadWavetable(a.plug.get(), 5, t.write(makeSyx(waves))));
  a.plug->SetParameterFromGUI(5 * 16 + 1, 0.5); // position: the middle wave
  ByteChunk chunk;
  ASSERT_TRUE(a.plug->SerializeState(&chunk));
  t.write(Bytes()); // the file is gone: the chunk alone carries the waves

  ModuleRig b;
  b.plug->SetSampleRate(48000);
  b.plug->Reset();
  ASSERT_EQ(chunk.Size(), b.plug->UnserializeState(&chunk, 0));
  const SharedData& ra = a.plug->slotConfig[5].sharedData;
  const SharedData& rb = b.plug->slotConfig[5].sharedData;
  ASSERT_EQ(3u * 2048, rb.count);
  EXPECT_EQ(0, std::memcmp(ra.data, rb.data, ra.count * sizeof(double)));
  EXPECT_STREQ(ra.name.Get(), rb.name.Get());

  auto* osc = static_cast<OscWavetable*>(b.plug->masterModules[5]);
  ASSERT_NE(nullptr, osc);
  EXPECT_EQ(3, osc->waveCount);
  int pitch = 60 * 128;
  osc->setFrequencySource(&pitch);
  std::vector<double> x;
  for (int i = 0; i < 48000; ++i) {
    if (i % 48 == 0) osc->update(true);
    osc->process();
    x.push_back(osc->audioOut[0]);
  }
  const double f0 = Synth::convert2Hz(60 * 128);
  EXPECT_NEAR(0.4, sineAmplitude(x, 2 * f0, 48000), 0.01); // the middle wave: its second harmonic
  EXPECT_LT(sineAmplitude(x, f0, 48000), 0.01);
}

TEST(WavetableRobustness, LoadedTableStaysFiniteUnderExtremesAndBadRecords)
{
  // The shared robustness test meets the type with an empty record; here it holds waves, then a record
  // restored with non-numbers, at the rates of that test.
  for (double rate : {22050.0, 44100.0, 192000.0}) {
    moduledrive::Drive d;
    ASSERT_TRUE(d.make(ModuleConfig::MOD_OSCWAVETABLE, rate));
    std::vector<double> waves = sawCycle();
    const std::vector<double> other = cycle(2048, {{1, 0.5, 0.0}});
    waves.insert(waves.end(), other.begin(), other.end());
    ASSERT_TRUE(OscWavetable::setWavetable(d.v.get(), moduledrive::kSlot, waves.data(), 2, "gen"));
    std::string which;
    for (int p : {1, 2, 4, 5, 6, 8, 11, 12}) {
      IParam* param = d.v->GetParam(moduledrive::kSlot * 16 + p);
      for (double value : {param->GetMin(), param->GetMax()}) {
        d.set(p, value);
        for (double s : {-1.0, 1.0, 1e6, std::nan(""), (double)INFINITY, -(double)INFINITY}) {
          d.step(s, s, s);
          d.play(d.period + 2);
          ASSERT_TRUE(d.finite(&which)) << rate << " parameter " << p << " = " << value << " source " << s;
        }
      }
      d.set(p, param->GetDefault());
    }
    // A record whose spectra are not numbers (a damaged chunk) plays silence, not NaN.
    double* spectra = reinterpret_cast<double*>(d.config().sharedData.spectra->Bytes());
    spectra[5] = std::nan("");
    spectra[2048 + 9] = INFINITY;
    d.set(0, 0);
    d.play(d.period * 3);
    ASSERT_TRUE(d.finite(&which)) << which;
  }
}

TEST(WavetableFile, FilesCutAtEveryByteLoadWhatTheyHoldOrFail)
{
  // 8-bit mono after a 58-byte header (RIFF 12, odd LIST 8 + 5 + pad, fmt 8 + 16, data header 8): a file
  // cut at n bytes holds n - 58 frames; two or more make a wavetable, whole waves of 2048 when there are
  // more than 2048 frames.
  const Bytes wav = makeWav({1, 8}, std::vector<double>(2 * 2048 + 100, 0.5), WavOptions());
  TempFile t(".wav");
  auto nearEdge = [](size_t n, size_t edge) { return n + 3 > edge && n < edge + 3; };
  for (size_t n = 0; n <= wav.size(); ++n) {
    // Every byte of the header and around the wave boundaries, every 11th elsewhere.
    if (n > 80 && n % 11 && !nearEdge(n, 58 + 2048) && !nearEdge(n, 58 + 4096) && n != wav.size()) continue;
    WaveSpectra s;
    const bool ok = OscWavetable::readWAV(t.write(Bytes(wav.begin(), wav.begin() + n)), &s);
    const int64_t frames = std::min<int64_t>((int64_t)n - 58, 2 * 2048 + 100);
    const bool expected = n >= 58 && frames >= 2;
    ASSERT_EQ(expected, ok) << "cut at " << n;
    if (ok) {
      ASSERT_EQ(frames > 2048 ? (uint32_t)(frames / 2048) * 2048 : 2048u, s.count) << "cut at " << n;
    }
  }
  // A dump of three messages cut anywhere: one wave per whole message, none without one.
  std::vector<std::vector<double>> three(3, cycle(128, {{1, 0.5, 0.0}}));
  const Bytes syx = makeSyx(three);
  TempFile u(".syx");
  for (size_t n = 0; n <= syx.size(); ++n) {
    if (n % 410 > 2 && n % 410 < 408 && n % 7) continue;
    WaveSpectra s;
    const bool ok = OscWavetable::readBlofeldSYX(u.write(Bytes(syx.begin(), syx.begin() + n)), &s);
    ASSERT_EQ(n >= 410, ok) << "cut at " << n;
    if (ok) {
      ASSERT_EQ((uint32_t)(n / 410) * 2048, s.count) << "cut at " << n;
    }
  }
}
