// Checks a render of the four fixed notes of tools/ardour-render/test_notes.lua (MIDI 60, 64, 67, 72 from
// 0.25 s, at 48 kHz): each note sounds at its equal-tempered pitch within a few cents, and its fundamental
// rises at the note's start time. Prints what it measured; exit status 0 when everything holds.
//
// usage: ardour_check render.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {
const double kPi = 3.141592653589793;

struct Note
{
  double start, end;
  int midi;
};
const Note kNotes[] = {{0.25, 0.75, 60}, {0.75, 1.25, 64}, {1.25, 1.75, 67}, {1.75, 3.0, 72}};
constexpr double kCentsAllowed = 3.0;
constexpr double kSecondsAllowed = 0.015;

uint32_t le32(const unsigned char* p)
{
  return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

// Mono mix of a RIFF WAVE file: PCM 16/24/32-bit or 32-bit float.
bool readWav(const char* path, std::vector<double>* mono, double* rate)
{
  std::ifstream f(path, std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) || std::memcmp(d.data() + 8, "WAVE", 4)) return false;
  int format = 0, channels = 0, bits = 0;
  for (size_t pos = 12; pos + 8 <= d.size();) {
    const uint32_t size = le32(&d[pos + 4]);
    const size_t body = pos + 8;
    if (body + size > d.size()) return false;
    if (!std::memcmp(&d[pos], "fmt ", 4) && size >= 16) {
      format = d[body] | d[body + 1] << 8;
      channels = d[body + 2] | d[body + 3] << 8;
      *rate = le32(&d[body + 4]);
      bits = d[body + 14] | d[body + 15] << 8;
      if (format == 0xFFFE && size >= 26) format = d[body + 24] | d[body + 25] << 8; // extensible
    } else if (!std::memcmp(&d[pos], "data", 4)) {
      if (channels < 1 || (bits != 16 && bits != 24 && bits != 32)) return false;
      const int bytes = bits / 8;
      const size_t frames = size / (bytes * channels);
      mono->assign(frames, 0.0);
      for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
          const unsigned char* s = &d[body + (i * channels + c) * bytes];
          double v;
          if (format == 3 && bits == 32) {
            float x;
            std::memcpy(&x, s, 4);
            v = x;
          } else if (bits == 16) {
            v = (int16_t)(s[0] | s[1] << 8) / 32768.0;
          } else if (bits == 24) {
            v = ((int32_t)((uint32_t)(s[0] << 8 | s[1] << 16 | s[2] << 24)) >> 8) / 8388608.0;
          } else {
            v = (int32_t)le32(s) / 2147483648.0;
          }
          (*mono)[i] += v / channels;
        }
      return true;
    }
    pos = body + size + (size & 1);
  }
  return false;
}

// Amplitude of frequency hz in x[from, from + n) through a Hann window (Goertzel-style correlation).
double bandLevel(const std::vector<double>& x, size_t from, size_t n, double hz, double rate)
{
  double re = 0, im = 0, wsum = 0;
  for (size_t i = 0; i < n && from + i < x.size(); ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / n);
    const double ph = 2 * kPi * hz * (double)(from + i) / rate;
    re += w * x[from + i] * std::cos(ph);
    im += w * x[from + i] * std::sin(ph);
    wsum += w;
  }
  return 2 * std::hypot(re, im) / wsum;
}

// The frequency near guess that maximises the windowed level over [from, from + n): a coarse scan then a
// golden-section refinement.
double pitchNear(const std::vector<double>& x, size_t from, size_t n, double guess, double rate)
{
  double best = guess, bestLevel = -1;
  for (double c = -60; c <= 60; c += 2) {
    const double f = guess * std::pow(2.0, c / 1200);
    const double l = bandLevel(x, from, n, f, rate);
    if (l > bestLevel) {
      bestLevel = l;
      best = f;
    }
  }
  double a = best * std::pow(2.0, -2.0 / 1200), b = best * std::pow(2.0, 2.0 / 1200);
  const double g = 0.6180339887498949;
  for (int it = 0; it < 40; ++it) {
    const double c = b - g * (b - a), d = a + g * (b - a);
    if (bandLevel(x, from, n, c, rate) > bandLevel(x, from, n, d, rate))
      b = d;
    else
      a = c;
  }
  return 0.5 * (a + b);
}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: ardour_check render.wav\n");
    return 2;
  }
  std::vector<double> x;
  double rate = 0;
  if (!readWav(argv[1], &x, &rate) || rate <= 0) {
    std::fprintf(stderr, "%s: not a readable WAV file\n", argv[1]);
    return 2;
  }
  bool ok = x.size() >= (size_t)(3.0 * rate);
  if (!ok) std::printf("render too short: %.3f s\n", x.size() / rate);
  for (const Note& note : kNotes) {
    if (!ok) break;
    const double expected = 440.0 * std::pow(2.0, (note.midi - 69) / 12.0);
    // Pitch over the held part of the note, away from its attack and from the next note.
    const size_t from = (size_t)((note.start + 0.1) * rate);
    const size_t n = (size_t)((std::min(note.end, note.start + 0.6) - note.start - 0.12) * rate);
    const double f = pitchNear(x, from, n, expected, rate);
    const double cents = 1200 * std::log2(f / expected);
    const double steady = bandLevel(x, from, n, expected, rate);

    // Start: the fundamental's level in 40 ms windows, every millisecond, first reaching half its held level.
    const size_t win = (size_t)(0.04 * rate);
    double onset = -1;
    for (double t = note.start - 0.2; t < note.start + 0.2; t += 0.001) {
      const double centre = t;
      const long first = (long)((centre - 0.02) * rate);
      if (first < 0) continue;
      if (bandLevel(x, (size_t)first, win, expected, rate) >= 0.5 * steady) {
        onset = centre;
        break;
      }
    }
    const bool pitchOk = std::fabs(cents) <= kCentsAllowed && steady > 1e-3;
    const bool timeOk = onset >= 0 && std::fabs(onset - note.start) <= kSecondsAllowed;
    std::printf("note %d: %.3f Hz (expected %.3f, %+.2f cents), level %.4f, starts at %.3f s (expected %.3f) %s\n",
                note.midi, f, expected, cents, steady, onset, note.start, pitchOk && timeOk ? "ok" : "WRONG");
    ok = ok && pitchOk && timeOk;
  }
  return ok ? 0 : 1;
}
