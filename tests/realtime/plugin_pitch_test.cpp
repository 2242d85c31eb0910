// The plug-in file as a host loads it (VSTPluginMain through our command-line host's library), playing
// program 0 of its start-up bank: each note comes out at its equal-tempered pitch, within a cent, for the
// saw, pulse and sine of the oscillator at 44.1, 48 and 96 kHz. Also the start-up bank's programs.
#include "../support/plugin_host.h"
#include "../support/sanitized.h"
#include "Host.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>

namespace {
std::unique_ptr<vsthost::Plugin> load(double rate)
{
  UseGeneratedStartupBank();
  vsthost::HostSettings settings;
  settings.sampleRate = rate;
  settings.blockSize = 256;
  std::string error;
  std::unique_ptr<vsthost::Plugin> p = vsthost::Plugin::Load(VELTRANE_SO, settings, &error);
  EXPECT_TRUE(p) << error;
  if (p) p->Open();
  return p;
}

std::vector<double> left(const vsthost::RenderResult& r, double fromSeconds, double rate)
{
  std::vector<double> x;
  for (size_t i = (size_t)(fromSeconds * rate); i < r.frames; ++i) x.push_back(r.interleaved[i * r.channels]);
  return x;
}

// Notes struck at `at` seconds and held for `held` seconds at one velocity (an off at or after the end of the
// render is not played).
void strike(vsthost::RenderRequest* req, std::initializer_list<int> notes, int velocity, double at, double held)
{
  for (int note : notes) req->events.push_back({at, {0x90, (uint8_t)note, (uint8_t)velocity}});
  for (int note : notes) req->events.push_back({at + held, {0x80, (uint8_t)note, 0}});
}

vsthost::RenderResult render(vsthost::Plugin& p, const vsthost::RenderRequest& req)
{
  vsthost::RenderResult result;
  std::string error;
  EXPECT_TRUE(vsthost::Render(p, req, &result, &error)) << error;
  return result;
}

// Notes held from the start for `held` seconds at one velocity, rendered for `seconds`.
vsthost::RenderResult playNotes(vsthost::Plugin& p, std::initializer_list<int> notes, int velocity, double held,
                                double seconds)
{
  vsthost::RenderRequest req;
  req.seconds = seconds;
  strike(&req, notes, velocity, 0.0, held);
  return render(p, req);
}
} // namespace

TEST(PluginPitch, NotesOfProgramZeroAtEveryRateAndWaveform)
{
  const char* names[] = {"Sine", "Saw", "Pulse"};
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (int waveform = 0; waveform < 3; ++waveform)
      for (int note : {45, 60, 69, 76}) {
        std::unique_ptr<vsthost::Plugin> p = load(rate);
        ASSERT_TRUE(p);
        p->SetParameter(0, waveform / 2.0f); // slot 0 is the oscillator: its waveform
        const vsthost::RenderResult result = playNotes(*p, {note}, 100, 0.9, 0.9);
        const double expected = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        const double f = peakFrequency(left(result, 0.1, rate), rate, expected * 0.97, expected * 1.03);
        EXPECT_LT(std::fabs(cents(f, expected)), 1.0)
            << names[waveform] << " note " << note << " at " << rate << ": " << f << " Hz";
      }
}

TEST(StartupBank, ProgramZeroIsFirstSoundAndInitProgramsAreSilent)
{
  std::unique_ptr<vsthost::Plugin> p = load(48000);
  ASSERT_TRUE(p);
  EXPECT_EQ("First Sound", p->ProgramName(0));
  // An initialised program has every slot empty: it is silent.
  for (int i = 1; i < 64; ++i) {
    if (p->ProgramName(i) != "Init") continue;
    p->Dispatch(effSetProgram, 0, i);
    const vsthost::RenderResult result = playNotes(*p, {60}, 100, 0.3, 0.3);
    ASSERT_EQ(2, result.channels) << i;
    EXPECT_EQ(0.0, result.peak) << i;
  }
}

namespace {
double dBFS(double peak)
{
  return 20.0 * std::log10(peak);
}
} // namespace

// Every built program of the start-up bank, played as a musician would try it, at 48 kHz: a C3-E3-G3 chord
// at velocity 100 held for 1.5 s, then 3.5 s of release; no sample is NaN or infinite, the chord sounds
// while held without going above -1 dBFS, carries no DC of 5 % of its RMS or more on either side, and the
// program falls silent within 3 s of the note-offs unless it is meant to drone.
//
// Then up the keyboard at velocity 127, at 44.1 and 48 kHz, as a player tries a sound in every register:
// four-note chords (root, third, fifth and octave) on C2 to C7, each held for 1.5 s (a pad's slow attack
// has reached its peak by then), then single notes up to the top key, each held for 0.5 s; the next is
// struck 0.3 s after each release. Each peaks at or under -1 dBFS, and the C3 chord at or above -12 dBFS,
// so that the bank plays at one level with headroom in every register.
class StartupBankProgram : public ::testing::TestWithParam<int>
{
};

namespace {
struct Register
{
  std::initializer_list<int> notes;
  double held; // seconds
};
// clang-format off
const Register kRegisters[] = {
  {{36, 40, 43, 48}, 1.5}, {{48, 52, 55, 60}, 1.5}, {{60, 64, 67, 72}, 1.5}, {{72, 76, 79, 84}, 1.5},
  {{84, 88, 91, 96}, 1.5}, {{96, 100, 103, 108}, 1.5}, {{108}, 0.5}, {{120}, 0.5}, {{127}, 0.5},
};
// clang-format on
constexpr size_t kBankLevelRegister = 1; // C3
constexpr double kReleased = 0.3;        // seconds from a release to the next strike
} // namespace

TEST_P(StartupBankProgram, PlaysAChordAtTheBankLevelWithoutDCAndFallsSilent)
{
  const double rate = 48000.0;
  std::unique_ptr<vsthost::Plugin> p = load(rate);
  ASSERT_TRUE(p);
  const int program = GetParam();
  const std::string name = p->ProgramName(program);
  if (name == "Init") GTEST_SKIP() << "program " << program << " is not built";
  p->Dispatch(effSetProgram, 0, program);
  const vsthost::RenderResult chord = playNotes(*p, {48, 52, 55}, 100, 1.5, 5.0);
  ASSERT_EQ(2, chord.channels);
  double sum[2] = {}, squares[2] = {}, tailPeak = 0.0;
  size_t held = 0;
  for (size_t f = 0; f < chord.frames; ++f) {
    const double t = (double)f / rate;
    for (int c = 0; c < 2; ++c) {
      const double x = chord.interleaved[2 * f + c];
      ASSERT_TRUE(std::isfinite(x)) << name << ": sample " << f;
      if (t >= 0.1 && t < 1.5) {
        sum[c] += x;
        squares[c] += x * x;
      }
      if (t >= 4.5) tailPeak = std::max(tailPeak, std::fabs(x));
    }
    held += t >= 0.1 && t < 1.5;
  }
  EXPECT_LE(dBFS(chord.peak), -1.0) << name << ": the chord peaks too high";
  for (int c = 0; c < 2; ++c) {
    const double rms = std::sqrt(squares[c] / held), dc = std::fabs(sum[c] / held);
    EXPECT_GT(rms, 1e-3) << name << ": silent while the chord is held";
    EXPECT_LT(dc, 0.05 * rms) << name << ": DC on " << (c ? "the right" : "the left");
  }
  if (name.find("Drone") == std::string::npos) {
    EXPECT_LT(tailPeak, 1e-3) << name << ": still sounding 3 s after";
  }

  vsthost::RenderRequest up;
  up.seconds = 0.0;
  std::vector<double> starts; // of each register, and the end
  for (const Register& r : kRegisters) {
    starts.push_back(up.seconds);
    strike(&up, r.notes, 127, up.seconds, r.held);
    up.seconds += r.held + kReleased;
  }
  starts.push_back(up.seconds);
#ifdef VELTRANE_SANITIZED
  // The Release build checks the levels at both rates; under a sanitizer, which runs several times slower, one
  // rate takes every register through the instrumented code.
  const double rates[] = {44100.0};
#else
  const double rates[] = {44100.0, 48000.0};
#endif
  for (double at : rates) {
    if (at != rate) p = load(at);
    ASSERT_TRUE(p);
    p->Dispatch(effSetProgram, 0, program);
    const vsthost::RenderResult played = render(*p, up);
    for (size_t i = 0; i < std::size(kRegisters); ++i) {
      double peak = 0.0;
      const size_t from = 2 * (size_t)(starts[i] * at),
                   to = std::min(2 * (size_t)(starts[i + 1] * at), played.interleaved.size());
      for (size_t k = from; k < to; ++k) peak = std::max(peak, (double)std::fabs(played.interleaved[k]));
      const std::string what = name + " at " + std::to_string((int)at) + " Hz, notes from " +
                               std::to_string(*kRegisters[i].notes.begin()) + " at velocity 127:";
      EXPECT_LE(dBFS(peak), -1.0) << what << " the peak is too high";
      if (i == kBankLevelRegister) {
        EXPECT_GE(dBFS(peak), -12.0) << what << " the peak is too low";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, StartupBankProgram, ::testing::Range(0, 64));

// Played from a keyboard: at least two thirds of the built programs get louder (by 2 dB or more) or brighter
// (a spectral centroid 10 % higher or more) from a note at velocity 40 to the same note at velocity 127.
TEST(StartupBank, MostProgramsGetLouderOrBrighterWithVelocity)
{
  const double rate = 48000.0;
  std::unique_ptr<vsthost::Plugin> p = load(rate);
  ASSERT_TRUE(p);
  int built = 0, following = 0;
  std::string deaf;
  for (int program = 0; program < 64; ++program) {
    const std::string name = p->ProgramName(program);
    if (name == "Init") continue;
    ++built;
    double peak[2], centroid[2];
    for (int i = 0; i < 2; ++i) {
      p->Dispatch(effSetProgram, 0, program);
      const vsthost::RenderResult r = playNotes(*p, {60}, i ? 127 : 40, 0.5, 0.5);
      std::vector<double> mono(r.frames);
      for (size_t f = 0; f < r.frames; ++f) mono[f] = r.interleaved[2 * f] + r.interleaved[2 * f + 1];
      double binHz = 0.0, weighted = 0.0, total = 0.0;
      const std::vector<double> m = spectrum(mono, rate, &binHz);
      for (size_t k = 1; k < m.size(); ++k) {
        weighted += m[k] * k * binHz;
        total += m[k];
      }
      peak[i] = dBFS(r.peak);
      centroid[i] = total > 0.0 ? weighted / total : 0.0;
    }
    EXPECT_GT(peak[0], -80.0) << name << ": silent at velocity 40";
    if (peak[1] - peak[0] >= 2.0 || centroid[1] >= 1.1 * centroid[0])
      ++following;
    else
      deaf += " \"" + name + "\"";
  }
  EXPECT_GE(3 * following, 2 * built) << following << " of " << built << " follow the velocity; not:" << deaf;
}

// Two plug-in instances at 44.1 and 96 kHz in one process, both playing the start-up bank's comb pluck
// (its comb follows the keyboard): the 44.1 kHz instance plays after the 96 kHz one was set up and again
// after it played, and each rings on the note's pitch.
TEST(PluginPitch, CombPluckAtTwoRatesInOneProcess)
{
  const double rates[2] = {44100.0, 96000.0};
  std::unique_ptr<vsthost::Plugin> p[2] = {load(rates[0]), load(rates[1])};
  ASSERT_TRUE(p[0] && p[1]);
  int program = -1;
  for (int i = 0; i < 64 && program < 0; ++i)
    if (p[0]->ProgramName(i) == "Comb Pluck") program = i;
  ASSERT_GE(program, 0) << "no comb program in the start-up bank";
  for (auto& plugin : p) plugin->Dispatch(effSetProgram, 0, program);
  for (int which : {0, 1, 0})
    for (int note : {45, 57}) {
      vsthost::RenderRequest req;
      req.seconds = 0.8;
      vsthost::MidiEvent on;
      on.bytes = {0x90, (uint8_t)note, 100};
      req.events.push_back(on);
      vsthost::RenderResult result;
      std::string error;
      ASSERT_TRUE(vsthost::Render(*p[which], req, &result, &error)) << error;
      const double expected = 440.0 * std::pow(2.0, (note - 69) / 12.0);
      const double f = peakFrequency(left(result, 0.05, rates[which]), rates[which], expected * 0.97, expected * 1.03);
      EXPECT_LT(std::fabs(cents(f, expected)), 2.0) << "note " << note << " at " << rates[which] << ": " << f << " Hz";
    }
}
