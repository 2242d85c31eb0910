// The effect and processor modules heard the way a musician hears them: delay lengths in samples, feedback
// decay, the BBD's delay against its clock, the frequency shifter's shift by FFT, ring modulation sidebands,
// saturator and bit reducer transfer curves, the audio sample and hold's hold timing, the reverb's decay
// time and stereo image, and the memory a slot of 64 reverbs really takes.
#include "AudioSH.h"
#include "BbdDelay.h"
#include "BitReducer.h"
#include "DelayLine.h"
#include "DelayMemory.h"
#include "Hilbert.h"
#include "Reverb.h"
#include "Ring.h"
#include "Saturator.h"
#include "Synth.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include "../support/plugin_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <set>
#include <utility>
#include <sys/mman.h>
#include <unistd.h>

namespace {
const double kPi = 3.141592653589793;

// Drives a module sample by sample with an update at every control tick, `in` set by the caller.
struct Runner
{
  ModuleRig& rig;
  int sample = 0;
  void step()
  {
    if (sample % rig.controlPeriod() == 0) rig.module->update(true);
    rig.module->process();
    ++sample;
  }
  // Runs n samples with in = signal(i) before sample i; returns what out holds after each.
  std::vector<double> collect(int n, const double& out, double& in, const std::function<double(int)>& signal)
  {
    std::vector<double> y;
    for (int i = 0; i < n; ++i) {
      in = signal(i);
      step();
      y.push_back(out);
    }
    return y;
  }
};

double impulse(int i)
{
  return i == 0 ? 1.0 : 0.0;
}

double silence(int)
{
  return 0.0;
}

// Samples a delay of ms takes at rate, truncated as the delay controls take them.
int samplesOf(double ms, double rate)
{
  return (int)(ms * rate / 1000.0);
}

long residentBytes()
{
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}
} // namespace

// ---- dual delay line ----

namespace {
// A delay line whose line (0 or 1) reads in, set to ms.
DelayLine* makeDelayLine(ModuleRig& rig, double rate, double* in, int line, double ms)
{
  DelayLine* d = rig.make<DelayLine>(ModuleConfig::MOD_DELAYLINE, rate);
  d->line[line].input = in;
  rig.param(2 + 5 * line, ms);
  return d;
}
} // namespace

TEST(DelayLine, AnImpulseReturnsAfterTheSetNumberOfSamples)
{
  struct Case
  {
    double rate, ms;
  };
  // 250 ms is an eighth note at 120 beats per minute (0.5 beat x 60000 / 120).
  const Case cases[] = {{44100, 1}, {44100, 27}, {48000, 0.5 * 60000.0 / 120.0}, {96000, 123.4}, {44100, 500}};
  for (const Case& c : cases) {
    ModuleRig rig;
    double in = 0.0;
    DelayLine* d = makeDelayLine(rig, c.rate, &in, 0, c.ms);
    const int size = samplesOf(500, c.rate);
    const int expected = std::min(samplesOf(c.ms, c.rate), size - 1);
    const std::vector<double> y = Runner{rig}.collect(size + 10, d->audioOut[0], in, impulse);
    const int first = std::find_if(y.begin(), y.end(), [](double v) { return v != 0.0; }) - y.begin();
    // One sample more for the output's publication lag.
    EXPECT_EQ(expected + 1, first) << c.ms << " ms at " << c.rate;
  }
}

TEST(DelayLine, FeedbackRepeatsDecayByItsFactorAndFeedForwardMakesAnAllpass)
{
  const double rate = 44100;
  for (double g : {0.5, -0.7, 1.0}) {
    ModuleRig rig;
    double in = 0.0;
    DelayLine* d = makeDelayLine(rig, rate, &in, 1, 10.0);
    rig.param(9, g);
    const int delay = samplesOf(10, rate);
    const std::vector<double> y = Runner{rig}.collect(6 * delay + 2, d->audioOut[1], in, impulse);
    for (int k = 1; k <= 5; ++k)
      EXPECT_NEAR(std::pow(g, k - 1), y[k * delay + 1], 1e-12) << "repeat " << k << ", g " << g;
  }
  // Feed-forward -g with feedback g: every frequency passes at unit gain.
  ModuleRig rig;
  double in = 0.0;
  DelayLine* d = makeDelayLine(rig, rate, &in, 0, 3.0);
  rig.param(3, -0.6);
  rig.param(4, 0.6);
  for (double hz : {97.0, 1003.0, 5170.0}) {
    std::vector<double> y =
        Runner{rig}.collect(44100, d->audioOut[0], in, [&](int i) { return std::sin(2 * kPi * hz * i / rate); });
    y.erase(y.begin(), y.begin() + 22051);
    EXPECT_NEAR(1.0, sineAmplitude(y, hz, rate), 1e-3) << hz << " Hz";
  }
}

TEST(DelayLine, WithoutAnInputTheLineStandsStill)
{
  ModuleRig rig;
  double in = 1.0;
  DelayLine* d = makeDelayLine(rig, 44100, &in, 0, 1.0);
  Runner run{rig};
  run.step(); // one sample of 1.0 into the line
  d->line[0].input = nullptr;
  for (double y : run.collect(1000, d->nextAudioOut[0], in, silence)) EXPECT_EQ(0.0, y);
  d->line[0].input = &in; // the stored sample is still 44 samples away
  EXPECT_EQ(1.0, run.collect(50, d->nextAudioOut[0], in, silence)[samplesOf(1, 44100) - 1]);
}

// ---- BBD delay ----

namespace {
// A wet-only BBD's answer (tone open: 6 kHz, flat below) to signal(i) on input A, n samples.
std::vector<double> bbdAnswer(double rate, int rangeParam, double time, double feedback, int n,
                              const std::function<double(int)>& signal, double* modValue = nullptr, double modAmount = 0.0)
{
  ModuleRig rig;
  BbdDelay* d = rig.make<BbdDelay>(ModuleConfig::MOD_BBDDELAY, rate);
  double in = 0.0;
  d->inputA = &in;
  rig.param(5, rangeParam);
  rig.param(4, time);
  rig.param(6, feedback);
  rig.param(9, 1.0);
  rig.param(10, 1.0);
  if (modValue) {
    d->modSource = modValue;
    rig.param(7, modAmount);
  }
  return Runner{rig}.collect(n, d->audioOut[0], in, signal);
}

// Index of the loudest of y[from, to), -1 when a sample is not finite.
int loudest(const std::vector<double>& y, int from, int to)
{
  int best = from;
  for (int i = from; i < to; ++i) {
    if (!std::isfinite(y[i])) return -1;
    if (std::fabs(y[i]) > std::fabs(y[best])) best = i;
  }
  return best;
}

// Where the loudest sample of a wet-only BBD's answer to an impulse lies.
int bbdEcho(double rate, int rangeParam, double time, double* modValue = nullptr, double modAmount = 0.0)
{
  const std::vector<double> y = bbdAnswer(
      rate, rangeParam, time, 0.0, samplesOf(520, rate), [](int i) { return impulse(i - 100); }, modValue, modAmount);
  const int best = loudest(y, 0, (int)y.size());
  return best < 0 ? -1 : best - 100;
}
} // namespace

TEST(BbdDelay, TheDelayIsItsStagesTimesTheClockStep)
{
  // Range texts give the ends: stages = 500 ms of samples / 4^(3 - range), one to eight clock steps per
  // sample for time 1 to 0.
  const double rate = 48000;
  for (int range = 0; range < 4; ++range)
    for (double time : {0.0, 0.5, 1.0}) {
      const int stages = samplesOf(500, rate) >> (2 * (3 - range));
      const double step = 0.125 + 0.875 * time;
      const double expected = stages * step;
      const int echo = bbdEcho(rate, range, time);
      EXPECT_NEAR(expected, echo, 5.0 + 0.002 * expected) << "range " << range << ", time " << time;
      const double ms = echo * 1000.0 / rate;
      const double longest = 500.0 / std::pow(4.0, 3 - range);
      EXPECT_GE(ms, longest / 8 - 0.1);
      EXPECT_LE(ms, longest + 0.1);
    }
}

// With partial feedback each echo comes one delay after the last, at the feedback times its size and sign:
// a 2 ms raised-cosine burst (all of it far below the filters' 6 kHz) comes back at its own size first. Each
// pass through the output filter, run once per clock step, adds its low-frequency group delay of
// sqrt(2) / (2 pi 6 kHz) seconds times the step.
TEST(BbdDelay, EachEchoIsTheOneBeforeTimesTheFeedback)
{
  const double rate = 48000;
  struct Train
  {
    int range;
    double time, feedback;
  };
  for (const Train& t : {Train{3, 0.0, 0.5}, Train{2, 1.0, -0.5}, Train{1, 0.5, 0.7}}) {
    SCOPED_TRACE("range " + std::to_string(t.range) + ", feedback " + std::to_string(t.feedback));
    const double step = 0.125 + 0.875 * t.time;
    const double delay = (samplesOf(500, rate) >> (2 * (3 - t.range))) * step + std::sqrt(2.0) * rate / (2 * kPi * 6000) * step;
    const int width = samplesOf(2, rate);
    const std::vector<double> y = bbdAnswer(rate, t.range, t.time, t.feedback, (int)(4.6 * delay) + 200, [&](int i) {
      return i >= 100 && i < 100 + width ? 0.5 - 0.5 * std::cos(2 * kPi * (i - 100) / width) : 0.0;
    });
    double size = 1.0;
    for (int k = 1; k <= 4; ++k, size *= t.feedback) {
      const double at = 101 + width / 2.0 + k * delay; // published a sample later
      const int peak = loudest(y, (int)(at - delay / 2), (int)(at + delay / 2));
      EXPECT_NEAR(at, peak, 1.5) << "echo " << k;
      EXPECT_NEAR(size, y[peak], 0.01 * std::fabs(size)) << "echo " << k;
    }
  }
}

TEST(BbdDelay, HugeTimeModulationSaturatesTheClockWithoutBreakingIt)
{
  const double rate = 44100;
  const int plain = bbdEcho(rate, 3, 0.3);
  double huge = 2000.0; // 2^2000 overflows; with amount 0 it must change nothing
  EXPECT_EQ(plain, bbdEcho(rate, 3, 0.3, &huge, 0.0));
  EXPECT_NEAR(samplesOf(500, rate), bbdEcho(rate, 3, 0.3, &huge, 1.0), 4); // one step per sample
  double deep = -2000.0;                                                   // 2^m - 1 = -1: time - amount
  EXPECT_NEAR(samplesOf(500, rate) / 8.0, bbdEcho(rate, 3, 0.3, &deep, 1.0), 4);
}

TEST(BbdDelay, FullFeedbackStaysBoundedAndHoldKeepsRepeating)
{
  const double rate = 44100;
  ModuleRig rig;
  BbdDelay* d = rig.make<BbdDelay>(ModuleConfig::MOD_BBDDELAY, rate);
  double in = 0.0, trigger = 0.0;
  d->inputA = &in;
  d->triggerSource = &trigger;
  rig.param(5, 1);   // "4 - 31"
  rig.param(6, 1.0); // feedback
  rig.param(10, 1.0);
  Runner run{rig};
  for (double y :
       run.collect(2 * 44100, d->audioOut[0], in, [&](int i) { return 2.0 * std::sin(2 * kPi * 440 * i / rate); }))
    ASSERT_LE(std::fabs(y), 3.0);
  trigger = 1.0; // hold on at the next tick; the input goes silent
  rig.param(6, 0.0);
  const std::vector<double> held = run.collect(44100, d->audioOut[0], in, silence);
  const double rms = std::inner_product(held.begin() + 22051, held.end(), held.begin() + 22051, 0.0);
  EXPECT_TRUE(d->hold);
  EXPECT_GT(std::sqrt(rms / 22050), 0.1) << "the held line keeps sounding";
  trigger = 2.0; // hold off: without feedback the line empties
  for (int i = 0; i < 44100; ++i) run.step();
  EXPECT_FALSE(d->hold);
  EXPECT_LT(std::fabs(d->audioOut[0]), 1e-6);
}

// ---- frequency shifter ----

TEST(Hilbert, ShiftsASineByTheSetFrequencyAtTwoRatesInOneProcess)
{
  // Ring A = A Real x Cosine, ring B = A Imag. x Sine: their sum is the input shifted. Both instances run
  // side by side, so a sample rate shared between them would show.
  const double rates[2] = {44100.0, 96000.0};
  for (double knob : {0.5, -0.5, 0.8}) {
    ModuleRig rigs[2];
    Hilbert* h[2];
    double in[2] = {0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
      h[k] = rigs[k].make<Hilbert>(ModuleConfig::MOD_HILBERT, rates[k]);
      h[k]->inputA = &in[k];
      rigs[k].param(2, 1.0);
      rigs[k].param(3, knob);
      const int taps[4] = {0, 4, 1, 5}; // A Real, Cosine, A Imag., Sine
      for (int j = 0; j < 4; ++j) h[k]->ring[j] = &h[k]->audioOut[taps[j]];
    }
    const double input = 1500.0, shift = std::fabs(knob) * knob * knob * knob * 5000.0;
    std::vector<double> y[2];
    Runner runs[2] = {{rigs[0]}, {rigs[1]}};
    for (int i = 0; i < 96000; ++i)
      for (int k = 0; k < 2; ++k) {
        if (i >= (int)rates[k]) continue;
        in[k] = 0.5 * std::sin(2 * kPi * input * i / rates[k]);
        runs[k].step();
        if (i > 2000) y[k].push_back(h[k]->audioOut[8]);
      }
    double moved[2];
    for (int k = 0; k < 2; ++k) {
      const double f = peakFrequency(y[k], rates[k], 50.0, 6000.0);
      moved[k] = f - input;
      EXPECT_NEAR(std::fabs(shift), std::fabs(moved[k]), 1.0) << "knob " << knob << " at " << rates[k];
      // The other sideband is suppressed by the all-pass networks.
      const double wanted = sineAmplitude(y[k], f, rates[k]);
      const double image = sineAmplitude(y[k], 2 * input - f, rates[k]);
      EXPECT_GT(toDB(wanted / image), 25.0) << "knob " << knob << " at " << rates[k];
    }
    EXPECT_NEAR(moved[0], moved[1], 2.0) << "the same direction at both rates";
    // Which way a positive shift goes is fixed by the networks: up.
    EXPECT_GT(moved[0] * knob, 0.0) << "knob " << knob;
  }
}

TEST(Hilbert, AfterAnImpulseTheAllpassesNeverSinkIntoSubnormals)
{
  ModuleRig rig;
  Hilbert* h = rig.make<Hilbert>(ModuleConfig::MOD_HILBERT, 44100);
  double in = 0.0;
  h->inputA = &in;
  h->inputB = &in;
  Runner{rig}.collect(10 * 44100, h->audioOut[0], in, impulse);
  for (auto& channel : h->state)
    for (const Hilbert::Section& s : channel)
      for (double v : {s.x1, s.x2, s.y1, s.y2}) EXPECT_NE(FP_SUBNORMAL, std::fpclassify(v));
  // The oscillator is off: its outputs stay where they were (0).
  EXPECT_EQ(0.0, h->audioOut[4]);
  EXPECT_EQ(0.0, h->audioOut[5]);
}

// ---- audio sample and hold ----

TEST(AudioSH, WindowTablesEqualTheirFourierSeries)
{
  const AudioSH::Windows& w = AudioSH::windows();
  for (int level : {0, 5, 13, 20}) {
    const int count = (int)std::floor(2048.0 / std::pow(std::sqrt(2.0), level));
    EXPECT_EQ(count, AudioSH::harmonics(level));
    for (int i : {0, 1, 517, 1024, 2049, 3000, 4095}) {
      const double phi = 2 * kPi * i / 4096;
      double sq = 0.5, saw = -0.25;
      for (int n = 1; n <= count; ++n) {
        const double t = n == 1 ? 1.0 : 0.54 + 0.46 * std::cos((n - 1) * (kPi / 2) / (count - 1));
        if (n % 2) {
          sq += t * 0.5 / n * std::sin(n * phi);
          saw -= t * (std::sin(n * phi) / (n * kPi) + 2 * std::cos(n * phi) / (n * n * kPi * kPi));
        } else {
          saw += t * std::sin(n * phi) / (n * kPi);
        }
      }
      EXPECT_NEAR(sq, w.square[level][i], 1e-12) << "level " << level << ", entry " << i;
      EXPECT_NEAR(saw, w.sawtrain[level][i], 1e-12) << "level " << level << ", entry " << i;
    }
  }
}

TEST(AudioSH, HoldsOncePerCycleAtThePitchOfEachInstancesOwnRate)
{
  struct Case
  {
    double rate;
    int pitch;     // voice pitch, 1/128 semitone
    int semitones; // offset
  };
  const Case cases[] = {{44100, 60 * 128, 0}, {96000, 60 * 128, 12}, {22050, 45 * 128, -7}};
  ModuleRig rigs[3];
  for (int c = 0; c < 3; ++c) {
    rigs[c].pitch = cases[c].pitch;
    rigs[c].make<AudioSH>(ModuleConfig::MOD_AUDIOSH, cases[c].rate);
    rigs[c].param(2, cases[c].semitones);
  }
  for (int c = 0; c < 3; ++c) { // each instance runs after all three were set up
    AudioSH* s = static_cast<AudioSH*>(rigs[c].module);
    double in = 0.0;
    s->input = &in;
    const double hz = Synth::convert2Hz(cases[c].pitch + 128 * cases[c].semitones);
    Runner run{rigs[c]};
    int pulses = 0, changes = 0, lastChange = -1;
    double previous = s->held1;
    const int n = (int)cases[c].rate; // one second
    for (int i = 0; i < n; ++i) {
      in = i + 1.0; // each sample tells when it was taken
      run.step();
      pulses += s->syncOut[0] == 1.0;
      if (s->held1 != previous) {
        EXPECT_EQ(in, s->held1) << "the held value is the input of the sample it was taken in";
        if (lastChange >= 0) {
          EXPECT_NEAR(cases[c].rate / hz, i - lastChange, 1.0) << "one hold per cycle";
        }
        lastChange = i;
        previous = s->held1;
        ++changes;
      }
    }
    EXPECT_NEAR(hz, pulses, 1.0) << "sync pulses per second at " << cases[c].rate;
    EXPECT_NEAR(hz, changes, 1.0) << "holds per second at " << cases[c].rate;
  }
}

TEST(AudioSH, SquareWindowsSumToOneSoAConstantComesOutUnchanged)
{
  ModuleRig rig;
  rig.pitch = 69 * 128;
  AudioSH* s = rig.make<AudioSH>(ModuleConfig::MOD_AUDIOSH, 48000);
  rig.param(1, 0.0); // blend: square windows
  double in = 0.37;
  s->input = &in;
  Runner run{rig};
  for (int i = 0; i < 4800; ++i) run.step();
  for (double y : run.collect(480, s->audioOut[0], in, [](int) { return 0.37; })) EXPECT_NEAR(0.37, y, 1e-12);
  // Fixed frequency near the top: the windows switch to a level with fewer harmonics.
  rig.param(4, 1.0);
  rig.param(5, 1.0);
  run.step();
  const AudioSH::Windows& w = AudioSH::windows();
  EXPECT_NE(w.square[0], s->square);
  EXPECT_EQ(0, (s->square - w.square[0]) % AudioSH::kTableSize);
}

// ---- saturator, bit reducer, ring modulator ----

TEST(Saturator, SteadyInputsFollowTheSoftClipCurve)
{
  auto clipCurve = [](double x) { return x <= -3 ? -1.0 : x >= 3 ? 1.0 : x * (x * x + 27) / (9 * x * x + 27); };
  struct Case
  {
    double drive, compensation, level, input;
  };
  const Case cases[] = {{0, 0.5, 1, 0.25}, {0, 0.0, 1, -0.8}, {0, 1.0, 1, 2.0},    {0, 0.5, 2, 1.7},
                        {3, 1.0, 1, 0.1},  {3, 0.0, 1, 0.1},  {11, 0.0, 1, 0.001}, {11, 0.0, 1, 0.01}};
  for (const Case& c : cases) {
    ModuleRig rig;
    Saturator* s = rig.make<Saturator>(ModuleConfig::MOD_SATURATOR, 48000);
    double in = c.input;
    s->channel[1].input = &in;
    rig.param(2, c.level);
    rig.param(7, c.drive);
    rig.param(11, c.compensation);
    Runner run{rig};
    for (int i = 0; i < 4800; ++i) run.step(); // the pre-filter settles on the constant
    const double k = 1 - c.compensation;
    const double expected = clipCurve(c.input * c.level * std::pow(2.0, c.drive)) / (c.drive * k + 1);
    EXPECT_NEAR(expected, s->audioOut[1], 1e-9) << "drive " << c.drive << ", input " << c.input;
  }
}

TEST(Saturator, DriveModulationFarOutOfRangeOnASilentInputStaysSilent)
{
  ModuleRig rig;
  Saturator* s = rig.make<Saturator>(ModuleConfig::MOD_SATURATOR, 44100);
  double in = 0.0, mod = 93.0; // 11 x 93 = 1023: 2^d x level 2 overflows
  s->channel[0].input = &in;
  s->channel[0].modSource = &mod;
  rig.param(0, 2.0);
  rig.param(5, 1.0);
  Runner run{rig};
  for (double m : {93.0, 1e6, -1e6, 93.0}) {
    mod = m;
    for (int i = 0; i < 441; ++i) {
      run.step();
      ASSERT_TRUE(std::isfinite(s->audioOut[0])) << "modulation " << m;
    }
  }
  in = 0.5;
  for (int i = 0; i < 441; ++i) run.step();
  EXPECT_NEAR(1.0 / (1023 * 0.5 + 1), s->audioOut[0], 1e-9) << "a signal is clipped to full scale";
}

TEST(BitReducer, OutputsLieOnTheGridOfTheResolutionsSteps)
{
  struct Case
  {
    double resolution, range;
    int levels; // distinct outputs across the range
  };
  const Case cases[] = {{0.0, 1.0, 2}, {0.25, 0.5, 4}, {0.5, 0.5, 16}, {0.25 + std::log2(1.5) / 4, 1.0, 8}};
  for (const Case& c : cases) {
    ModuleRig rig;
    BitReducer* b = rig.make<BitReducer>(ModuleConfig::MOD_BITREDUCER, 44100);
    double in = 0.0;
    b->channel[0].input = &in;
    rig.param(2, c.range);
    rig.param(3, c.resolution);
    Runner run{rig};
    const double bits = std::pow(2.0, 4 * rig.paramValue(3));
    const double steps = std::pow(2.0, bits) - 1;
    std::set<double> seen;
    for (int i = 0; i <= 2000; ++i) {
      in = c.range * (-1.0 + i / 1000.0);
      run.step();
      run.step(); // the output lags by one sample
      const double grid = std::round((in / c.range + 1) * 0.5 * steps);
      EXPECT_NEAR((grid / steps - 0.5) * 2 * c.range, b->audioOut[0], 1e-12) << "input " << in;
      seen.insert(b->audioOut[0]);
    }
    EXPECT_EQ((size_t)c.levels, seen.size()) << "resolution " << c.resolution;
  }
  // Beyond the range nothing is clipped; one bit puts 0 on +range.
  ModuleRig rig;
  BitReducer* b = rig.make<BitReducer>(ModuleConfig::MOD_BITREDUCER, 44100);
  double in = 0.0;
  b->channel[1].input = &in;
  rig.param(8, 0.5);
  rig.param(9, 0.0);
  Runner run{rig};
  const auto out = [&](double x) { return run.collect(2, b->audioOut[1], in, [x](int) { return x; })[1]; };
  EXPECT_EQ(0.5, out(0.0));
  EXPECT_NEAR(2.5, out(2.6), 1e-12); // (2.6 / 0.5 + 1) / 2 = 3.1 steps -> 3 -> 2.5
}

TEST(Ring, DepthFadesFromTheCarrierToItsSidebands)
{
  const double rate = 48000, fc = 1000, fm = 300;
  for (double depth : {0.0, 0.5, 1.0}) {
    ModuleRig rig;
    Ring* r = rig.make<Ring>(ModuleConfig::MOD_RING, rate);
    double car = 0.0, mod = 0.0;
    r->carrierA = &car;
    r->modulatorA = &mod;
    rig.param(4, depth);
    Runner run{rig};
    std::vector<double> y;
    for (int i = 0; i <= 24000; ++i) { // half a second after the one-sample lag: whole cycles of every tone
      car = std::sin(2 * kPi * fc * i / rate);
      mod = std::sin(2 * kPi * fm * i / rate);
      run.step();
      if (i > 0) y.push_back(r->audioOut[0]);
    }
    EXPECT_NEAR(1 - depth, sineAmplitude(y, fc, rate), 1e-6) << "carrier at depth " << depth;
    EXPECT_NEAR(depth / 2, sineAmplitude(y, fc - fm, rate), 1e-6) << "difference tone at depth " << depth;
    EXPECT_NEAR(depth / 2, sineAmplitude(y, fc + fm, rate), 1e-6) << "sum tone at depth " << depth;
  }
}

// ---- reverb ----

namespace {
// A reverb reading input A from in, with mix (1: wet only).
Reverb* makeReverb(ModuleRig& rig, double rate, double* in, double mix)
{
  Reverb* r = rig.make<Reverb>(ModuleConfig::MOD_REVERB, rate);
  r->inputA = in;
  rig.param(9, mix);
  return r;
}

// Reverb time of a wet-only mono reverb from the energy decay of its answer to an impulse (Schroeder's
// backward integral, slope between -5 and -35 dB).
double measuredT60(double rate, double decay, double size, double seconds)
{
  ModuleRig rig;
  double in = 0.0;
  Reverb* r = makeReverb(rig, rate, &in, 1.0);
  rig.param(5, size);
  rig.param(6, 0.0); // damping: lines filtered at 5 kHz only
  rig.param(7, decay);
  const int n = (int)(seconds * rate);
  std::vector<double> e = Runner{rig}.collect(n, r->audioOut[0], in, impulse);
  for (double& v : e) v *= v;
  for (int i = n - 2; i >= 0; --i) e[i] += e[i + 1];
  int t5 = -1, t35 = -1;
  for (int i = 0; i < n; ++i) {
    const double db = 10 * std::log10(e[i] / e[0]);
    if (t5 < 0 && db <= -5) t5 = i;
    if (t35 < 0 && db <= -35) t35 = i;
  }
  return t35 > t5 && t5 >= 0 ? 2.0 * (t35 - t5) / rate : -1.0;
}
} // namespace

TEST(Reverb, DecayTimeFollowsItsSlowestLoop)
{
  // A loop of L ms with gain g loses -20 log10(g) dB per round trip: 60 dB take 60 / that x L. The lines
  // (left 37, 43, 49, 53 ms, gains 0.76 .. 0.67 + 0.2 decay) stretch by 2^(2 size - 1), the diffusers
  // (98, 33, 11 ms, gain 0.5 + 0.45 decay) by 2^(2 size^2 - 1); the slowest loop sets the tail.
  const double lines[4] = {37, 43, 49, 53}, diffusers[3] = {98, 33, 11};
  auto t60 = [](double g, double ms) { return 60.0 / (-20 * std::log10(g)) * ms / 1000.0; };
  double previous[3] = {0, 0, 0};
  for (double decay : {0.2, 0.5, 1.0}) {
    int k = 0;
    for (double size : {0.3, 0.5, 1.0}) {
      double slowest = 0.0;
      for (int j = 0; j < 4; ++j)
        slowest = std::max(slowest, t60(0.76 - 0.03 * j + 0.2 * decay, lines[j] * std::pow(2.0, 2 * size - 1)));
      for (double ms : diffusers)
        slowest = std::max(slowest, t60(0.5 + 0.45 * decay, ms * std::pow(2.0, 2 * size * size - 1)));
      const double measured = measuredT60(44100, decay, size, 1.0 + 1.2 * slowest);
      EXPECT_NEAR(slowest, measured, 0.2 * slowest) << "decay " << decay << ", size " << size;
      EXPECT_GT(measured, previous[k] * 1.2) << "more decay, longer tail; size " << size;
      previous[k++] = measured;
    }
  }
}

TEST(Reverb, FirstReflectionsArriveAfterPredelayAndTheShortestLineOfEachSide)
{
  const double rate = 48000;
  for (double predelay : {0.0, 35.0}) {
    ModuleRig rig;
    double in = 0.0;
    Reverb* r = makeReverb(rig, rate, &in, 1.0);
    rig.param(4, predelay);
    rig.param(8, 1.0); // width 1: no cross-feed
    Runner run{rig};
    int first[2] = {-1, -1};
    for (int i = 0; i < (int)rate / 5; ++i) {
      in = i == 0 ? 1.0 : 0.0;
      run.step();
      for (int s = 0; s < 2; ++s)
        if (first[s] < 0 && std::fabs(r->audioOut[s]) > 1e-6) first[s] = i; // above the filters' guard residue
    }
    // Size 0.5: lines at their nominal lengths; the shortest is 37 ms on the left, 39 ms on the right.
    const int pre = samplesOf(predelay, rate);
    EXPECT_EQ(pre + samplesOf(37, rate) + 1, first[0]) << "predelay " << predelay;
    EXPECT_EQ(pre + samplesOf(39, rate) + 1, first[1]) << "predelay " << predelay;
  }
}

TEST(Reverb, StereoKeepsTheSidesApartAndMonoSpreadsOneInputOverBoth)
{
  const double rate = 44100;
  for (bool stereo : {true, false}) {
    ModuleRig rig;
    double in = 0.0;
    Reverb* r = makeReverb(rig, rate, &in, 0.5);
    rig.param(8, 1.0);
    rig.param(10, stereo ? 1 : 0);
    Runner run{rig};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    double ll = 0, rr = 0, lr = 0;
    for (int i = 0; i < 44100; ++i) {
      in = i < 4410 ? noise(rng) : 0.0;
      run.step();
      const double L = r->audioOut[0], R = r->audioOut[1];
      ll += L * L;
      rr += R * R;
      lr += L * R;
    }
    if (stereo) {
      EXPECT_GT(ll, 1.0);
      EXPECT_LT(rr, 1e-20 * ll) << "input A alone leaves the right side silent (but for the filters' guard)";
    } else {
      EXPECT_GT(rr, 0.25 * ll);
      EXPECT_LT(std::fabs(lr) / std::sqrt(ll * rr), 0.5) << "two decorrelated outputs";
    }
  }
  // Mix 0: the input, one sample late (both inputs summed in mono).
  ModuleRig rig;
  double a = 0.25, b = -0.5;
  Reverb* r = makeReverb(rig, rate, &a, 0.0);
  r->inputB = &b;
  Runner run{rig};
  run.step();
  run.step();
  EXPECT_EQ(-0.25, r->audioOut[0]);
  EXPECT_EQ(-0.25, r->audioOut[1]);
}

// ---- memory of a slot in every voice ----

TEST(EffectMemory, SixtyFourVoicesOfReverbAndDelaysTouchNoMemoryUntilTheyPlay)
{
  // 64 reverbs at 48 kHz reserve about 42 MB and 64 delay lines at 192 kHz 98 MB; made but silent, they
  // must not be resident.
  Veltrane v(IPlugInstanceInfo{QuietHost});
  v.SetSampleRate(192000);
  v.Reset();
  v.SetParameterFromGUI(Veltrane::kParamVoices, 1.0); // 64 voices: each gets the slots' modules
  const long before = residentBytes();
  v.replaceModule(0, ModuleConfig::MOD_REVERB, false, false);
  v.replaceModule(1, ModuleConfig::MOD_DELAYLINE, false, false);
  v.replaceModule(2, ModuleConfig::MOD_BBDDELAY, false, false);
  const long grown = residentBytes() - before;
  const Reverb* r = static_cast<const Reverb*>(v.voices[63].modules[0]);
  ASSERT_GT(r->memory.count(), 300000u); // the buffers exist
  EXPECT_LT(grown, 8L << 20) << "resident growth " << grown << " bytes";
}

// A delay line cleared by its trigger, or a delay line or reverb brought back to rest as the engine does when
// an output runs away (both lazily), plays on sample for sample as a twin whose memory was emptied by hand at
// the same control tick: fed the same noise up to then, later a longer delay reads positions last written
// before.
TEST(EffectMemory, AClearOrARestSoundsExactlyAsMemoryEmptiedByHand)
{
  using Settings = std::vector<std::pair<int, double>>;
  struct Case
  {
    const char* what;
    ModuleConfig::ModuleID id;
    bool trigger; // line A's clear trigger, else a rest
    Settings start, at20000, at25000;
  };
  const Case cases[] = {
    {"delay line cleared", ModuleConfig::MOD_DELAYLINE, true, {{2, 20}, {4, 1}}, {{2, 7.5}}, {{2, 499}}},
    {"delay lines rested", ModuleConfig::MOD_DELAYLINE, false, {{2, 20}, {4, 1}, {7, 3}, {9, -0.9}}, {{7, 499}}, {}},
    {"mono reverb rested", ModuleConfig::MOD_REVERB, false, {{5, 0.7}, {7, 1}, {9, 1}}, {{5, 1}}, {{7, 0.5}}},
    {"stereo reverb rested", ModuleConfig::MOD_REVERB, false, {{4, 35}, {7, 1}, {10, 1}}, {{4, 200}}, {{4, 0}}},
  };
  const double rate = 48000;
  for (const Case& c : cases) {
    ModuleRig rigA, rigB;
    double in = 0.0, trigger = 0.0;
    Module* m[2];
    for (int k : {0, 1}) {
      ModuleRig& rig = k ? rigB : rigA;
      m[k] = rig.makeModule(c.id, rate);
      for (const auto& [index, value] : c.start) rig.param(index, value);
      if (auto* d = dynamic_cast<DelayLine*>(m[k])) d->line[0].input = d->line[1].input = &in;
      if (auto* r = dynamic_cast<Reverb*>(m[k])) r->inputA = r->inputB = &in;
    }
    if (c.trigger) static_cast<DelayLine*>(m[0])->line[0].clearTrigger = &trigger;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    Runner ra{rigA}, rb{rigB};
    double afterClear = 0.0, echo = 0.0;
    for (int i = 0; i < 60000; ++i) {
      in = i < 12000 || (i > 30000 && i < 30100) ? noise(rng) : 0.0;
      if (i == 12000) { // a control tick
        trigger = 1.0; // read by the clear trigger row's update at this tick
        if (!c.trigger) {
          m[0]->rest();
          m[1]->Module::rest();
        }
        if (auto* d = dynamic_cast<DelayLine*>(m[1]))
          std::memset(d->memory.data(), 0, sizeof(double) * (c.trigger ? d->line[0].rec.size : d->memory.count()));
        if (auto* r = dynamic_cast<Reverb*>(m[1])) {
          std::memset(r->memory.data(), 0, sizeof(double) * r->memory.count());
          for (Biquad& f : r->lowpass) f.x1 = f.x2 = f.y1 = f.y2 = 0.0;
        }
      }
      for (const Settings* later : {i == 20000 ? &c.at20000 : nullptr, i == 25000 ? &c.at25000 : nullptr})
        for (const auto& [index, value] : later ? *later : Settings{})
          for (ModuleRig* r : {&rigA, &rigB}) r->param(index, value);
      ra.step();
      rb.step();
      for (int out : {0, 1}) ASSERT_EQ(m[1]->audioOut[out], m[0]->audioOut[out]) << c.what << ", sample " << i;
      if (i > 12001 && i < 30000) afterClear = std::max(afterClear, std::fabs(m[0]->audioOut[0]));
      if (i > 30000) echo = std::max(echo, std::fabs(m[0]->audioOut[0]));
    }
    EXPECT_LT(afterClear, 1e-9) << c.what; // the filters' guard at most
    EXPECT_GT(echo, 0.01) << c.what << ": what enters after the clear comes back";
  }
}

// A block released where a module is destroyed (maybe on the audio thread) goes back to the system on the
// reclaiming thread: released at once, unmapped soon after; without the thread, released in place.
TEST(DelayMemory, ReleasedBlocksAreUnmappedOffTheCallingThread)
{
  auto mapped = [](void* p) {
    unsigned char v;
    return mincore(p, 4096, &v) == 0; // ENOMEM once the range is no longer mapped
  };
  DelayBlock::startReclaimer();
  std::vector<void*> blocks;
  for (int i = 0; i < 300; ++i) { // more than the queue holds at once: the rest are unmapped in place
    DelayBlock b;
    double* p = b.allocate(1 << 16);
    ASSERT_NE(nullptr, p);
    for (int k = 0; k < (1 << 16); k += 512) p[k] = 1.0; // pages written, as by a played reverb
    blocks.push_back(p);
  }
  DelayBlock::flushReclaimer();
  for (void* p : blocks) EXPECT_FALSE(mapped(p));
  DelayBlock::stopReclaimer();
}
