// The plug-in file as a host loads it (VSTPluginMain through our command-line host's library), playing
// program 0 of its start-up bank: each note comes out at its equal-tempered pitch, within a cent, for the
// saw, pulse and sine of the oscillator at 44.1, 48 and 96 kHz. Also the start-up bank's programs.
#include "../support/plugin_host.h"
#include "Host.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

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

TEST(StartupBank, ProgramZeroIsFirstSoundAndTheOthersAreInit)
{
  std::unique_ptr<vsthost::Plugin> p = load(48000);
  ASSERT_TRUE(p);
  EXPECT_EQ("First Sound", p->ProgramName(0));
  for (int i = 1; i < 64; ++i) EXPECT_EQ("Init", p->ProgramName(i)) << i;
  // An initialised program has every slot empty: it is silent.
  p->Dispatch(effSetProgram, 0, 5);
  vsthost::RenderRequest req;
  req.seconds = 0.3;
  vsthost::MidiEvent on;
  on.bytes = {0x90, 60, 100};
  req.events.push_back(on);
  vsthost::RenderResult result;
  std::string error;
  ASSERT_TRUE(vsthost::Render(*p, req, &result, &error));
  EXPECT_EQ(0.0, result.peak);
  p->Dispatch(effSetProgram, 0, 0);
  ASSERT_TRUE(vsthost::Render(*p, req, &result, &error));
  EXPECT_GT(result.peak, 0.05);
  EXPECT_LT(result.peak, 1.0);
}
