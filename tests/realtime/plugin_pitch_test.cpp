// The plug-in file as a host loads it (VSTPluginMain through our command-line host's library), playing
// program 0 of its start-up bank: each note comes out at its equal-tempered pitch, within a cent, for the
// saw, pulse and sine of the oscillator at 44.1, 48 and 96 kHz. Also the start-up bank's programs.
#include "../support/plugin_host.h"
#include "Host.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
        vsthost::RenderRequest req;
        req.seconds = 0.9;
        vsthost::MidiEvent on;
        on.bytes = {0x90, (uint8_t)note, 100};
        req.events.push_back(on);
        vsthost::RenderResult result;
        std::string error;
        ASSERT_TRUE(vsthost::Render(*p, req, &result, &error)) << error;
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
  vsthost::RenderRequest req;
  req.seconds = 0.3;
  vsthost::MidiEvent on;
  on.bytes = {0x90, 60, 100};
  req.events.push_back(on);
  vsthost::RenderResult result;
  std::string error;
  for (int i = 1; i < 64; ++i) {
    if (p->ProgramName(i) != "Init") continue;
    p->Dispatch(effSetProgram, 0, i);
    ASSERT_TRUE(vsthost::Render(*p, req, &result, &error));
    EXPECT_EQ(0.0, result.peak) << i;
  }
}

// Every built program of the start-up bank, played as a musician would try it: a chord held for 1.5 s at
// 48 kHz, then 3.5 s of release. No sample is NaN or infinite, none exceeds +12 dBFS, the chord sounds
// while held, and the program falls silent within 3 s of the note-offs unless it is meant to drone.
class StartupBankProgram : public ::testing::TestWithParam<int>
{
};

TEST_P(StartupBankProgram, PlaysAChordAndFallsSilent)
{
  const double rate = 48000.0;
  std::unique_ptr<vsthost::Plugin> p = load(rate);
  ASSERT_TRUE(p);
  const int program = GetParam();
  const std::string name = p->ProgramName(program);
  if (name == "Init") GTEST_SKIP() << "program " << program << " is not built";
  p->Dispatch(effSetProgram, 0, program);
  vsthost::RenderRequest req;
  req.seconds = 5.0;
  for (int note : {48, 55, 64}) {
    vsthost::MidiEvent on, off;
    on.bytes = {0x90, (uint8_t)note, 100};
    off.seconds = 1.5;
    off.bytes = {0x80, (uint8_t)note, 0};
    req.events.push_back(on);
    req.events.push_back(off);
  }
  std::stable_sort(req.events.begin(), req.events.end(),
                   [](const vsthost::MidiEvent& a, const vsthost::MidiEvent& b) { return a.seconds < b.seconds; });
  vsthost::RenderResult result;
  std::string error;
  ASSERT_TRUE(vsthost::Render(*p, req, &result, &error)) << error;
  double heldSquares = 0.0, tailPeak = 0.0;
  size_t held = 0;
  for (size_t i = 0; i < result.frames * result.channels; ++i) {
    const double x = result.interleaved[i];
    ASSERT_TRUE(std::isfinite(x)) << name << ": sample " << i / result.channels;
    const double t = (double)(i / result.channels) / rate;
    if (t >= 0.1 && t < 1.5) {
      heldSquares += x * x;
      ++held;
    }
    if (t >= 4.5) tailPeak = std::max(tailPeak, std::fabs(x));
  }
  EXPECT_LE(result.peak, 3.981) << name << ": above +12 dBFS";
  EXPECT_GT(std::sqrt(heldSquares / held), 1e-3) << name << ": silent while the chord is held";
  if (name.find("Drone") == std::string::npos) {
    EXPECT_LT(tailPeak, 1e-3) << name << ": still sounding 3 s after";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, StartupBankProgram, ::testing::Range(0, 64));

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
