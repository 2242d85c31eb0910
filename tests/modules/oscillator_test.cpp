// The oscillator as a listener meets it: pitch against the tuning table at the usual rates, level, band
// limit, shape and pulse width, sync and phase reset.
#include "Oscillator.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {
// Hz of a pitch in 1/128 semitone, equal temperament from A 440 at MIDI note 69.
double hzOfPitch(double pitch)
{
  return 440.0 * std::pow(2.0, (pitch / 128.0 - 69.0) / 12.0);
}

Oscillator* makeOsc(ModuleRig& rig, double rate, int waveform, double shape = 0.0)
{
  Oscillator* osc = rig.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, rate);
  rig.param(0, waveform);
  rig.param(1, shape);
  return osc;
}

const double kRates[] = {44100.0, 48000.0, 96000.0};
const int kWaveforms[] = {Oscillator::kSine, Oscillator::kSaw, Oscillator::kPulse};
} // namespace

TEST(OscillatorPitch, EqualTemperamentWithinOneCentAtEveryRate)
{
  const int notes[] = {33, 45, 57, 69, 81, 93, 105};
  for (double rate : kRates)
    for (int wf : kWaveforms)
      for (int note : notes) {
        ModuleRig rig;
        makeOsc(rig, rate, wf);
        rig.pitch = rig.plug->getFrequency(note);
        const double expected = hzOfPitch(rig.pitch);
        const std::vector<double> x = rig.run(65536);
        const double f = peakFrequency(x, rate, expected * 0.97, expected * 1.03);
        EXPECT_LT(std::fabs(cents(f, expected)), 1.0)
            << "rate " << rate << " waveform " << wf << " note " << note << " measured " << f << " Hz";
      }
}

TEST(OscillatorPitch, CustomScalaTuningWithinOneCentAtEveryRate)
{
  const std::string scl = std::string(VELTRANE_TESTDATA) + "/scala/31edo.scl";
  for (double rate : kRates)
    for (int wf : kWaveforms)
      for (int note = 55; note <= 79; note += 3) {
        ModuleRig rig;
        ASSERT_EQ(0, rig.plug->loadTuning(scl.c_str()));
        makeOsc(rig, rate, wf);
        rig.pitch = rig.plug->getFrequency(note);
        // 31 equal steps to the octave, note 69 kept at 440 Hz: the step is 1200/31 cents.
        const double expectedPitch = 69 * 128 + (note - 69) * 1536.0 / 31.0;
        EXPECT_NEAR(expectedPitch, rig.pitch, 2.0) << "tuning table, note " << note; // the file rounds its cents
        const double expected = hzOfPitch(rig.pitch);
        const double f = peakFrequency(rig.run(65536), rate, expected * 0.97, expected * 1.03);
        EXPECT_LT(std::fabs(cents(f, expected)), 1.0)
            << "rate " << rate << " waveform " << wf << " note " << note << " measured " << f << " Hz";
      }
}

TEST(OscillatorPitch, CoarseFineAndModulationMoveThePitch)
{
  struct Case
  {
    int semitones, fine;
    double modAmount, modValue;
    double expectedOffset; // 1/128 semitone
  };
  const Case cases[] = {{12, 0, 0, 0, 1536},     {-7, 0, 0, 0, -896},      {0, 64, 0, 0, 64},
                        {0, 0, 1536, 1.0, 1536}, {0, 0, 1536, -0.5, -768}, {2, -128, 0, 0, 128}};
  for (const Case& c : cases) {
    ModuleRig rig;
    Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
    rig.param(4, c.semitones);
    rig.param(5, c.fine);
    rig.param(6, c.modAmount);
    double mod = c.modValue;
    osc->pitchMod1Source = &mod;
    rig.pitch = 57 * 128;
    const double expected = hzOfPitch(57 * 128 + c.expectedOffset);
    const double f = peakFrequency(rig.run(65536), 48000, expected * 0.97, expected * 1.03);
    EXPECT_LT(std::fabs(cents(f, expected)), 1.0) << c.semitones << " " << c.fine << " " << c.modValue;
  }
}

TEST(OscillatorPitch, SummedPitchIsClampedToTheTable)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
  const int* table = osc->freq2PhInc;
  const struct
  {
    int pitch;
    int entry;
  } cases[] = {{-5000, 0}, {-1, 0}, {0, 0}, {17280, 17280}, {17281, 17280}, {40000, 17280}};
  for (const auto& c : cases) {
    rig.pitch = c.pitch;
    rig.run(48);
    EXPECT_EQ(table[c.entry], osc->phaseIncrement) << c.pitch;
  }
  // A phase increment is 2^28 * hz / rate.
  EXPECT_EQ((int)(268435456.0 * 8.176 / 48000), table[0]);
}

TEST(OscillatorLevel, FundamentalAmplitudesOfTheWaveforms)
{
  // Saw and sine at shape 0 read the table twice at one point: 1.5 times the table's 0.5 fundamental.
  // A square is the difference of two saws half a cycle apart: odd harmonics doubled, fundamental 1.0.
  const struct
  {
    int waveform;
    double shape;
    double fundamental;
  } cases[] = {{Oscillator::kSine, 0.0, 0.75},
               {Oscillator::kSaw, 0.0, 0.75},
               {Oscillator::kPulse, 0.0, 1.0},
               {Oscillator::kPulse, 1.0, 0.0}};
  for (const auto& c : cases) {
    ModuleRig rig;
    makeOsc(rig, 48000, c.waveform, c.shape);
    rig.pitch = 69 * 128;
    rig.run(4800, -1);
    const std::vector<double> x = rig.run(48000);
    EXPECT_NEAR(c.fundamental, sineAmplitude(x, hzOfPitch(69 * 128), 48000), 0.005) << c.waveform;
  }
}

TEST(OscillatorLevel, PulseWidthHalfShapeHasZeroMeanAndQuarterCycleReadPoints)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kPulse, 0.5);
  rig.pitch = 69 * 128;
  rig.run(1);
  EXPECT_EQ(1 << 26, (osc->secondPhase - osc->phase) & OscBase::mask);
  const std::vector<double> x = rig.run(48000);
  double mean = 0;
  for (double v : x) mean += v;
  mean /= x.size();
  EXPECT_NEAR(0.0, mean, 0.002);
  // Two levels, the falling saw minus itself a quarter cycle later: high three quarters of the time.
  int high = 0;
  for (double v : x) high += v > 0.0;
  EXPECT_NEAR(0.75, (double)high / x.size(), 0.02);
}

namespace {
struct AliasReport
{
  double aliasDB;        // strongest component below 20 kHz away from the harmonics, dB below the fundamental
  double lastHarmonicDB; // the table's top harmonic
  double firstMissingDB; // the next harmonic, which the table does not hold
};

AliasReport sawSpectrum(double hz, double rate, int expectedHarmonics)
{
  ModuleRig rig;
  makeOsc(rig, rate, Oscillator::kSaw);
  rig.pitch = (int)std::lround(128.0 * (69.0 + 12.0 * std::log2(hz / 440.0)));
  const double f0 = Synth::convert2Hz(rig.pitch); // exactly what the table plays, for the harmonic fits
  rig.run(2048, -1);
  const std::vector<double> x = rig.run(65536);
  const double fundamental = sineAmplitude(x, f0, rate);
  AliasReport r{};
  r.lastHarmonicDB = toDB(sineAmplitude(x, expectedHarmonics * f0, rate) / fundamental);
  r.firstMissingDB = toDB(sineAmplitude(x, (expectedHarmonics + 1) * f0, rate) / fundamental);
  double bin = 0;
  const std::vector<double> mag = spectrum(x, rate, &bin);
  auto near = [&](double f) {
    double m = 0;
    for (int k = (int)(f / bin) - 3; k <= (int)(f / bin) + 4; ++k)
      if (k >= 0 && k < (int)mag.size()) m = std::max(m, mag[k]);
    return m;
  };
  const double peak = near(f0); // the windowed fundamental, as the aliases are windowed
  double worst = 0;
  for (int k = (int)(50 / bin); k * bin < 20000.0; ++k) {
    const double f = k * bin;
    const double h = std::round(f / f0);
    if (h >= 1 && h <= expectedHarmonics && std::fabs(f - h * f0) < 6 * bin) continue;
    worst = std::max(worst, mag[k]);
  }
  r.aliasDB = toDB(worst / peak);
  return r;
}
} // namespace

TEST(OscillatorBandLimit, SawKeepsItsTableHarmonicsAndLittleElseAt44k)
{
  // At 1 kHz the increment selects table 14 (16 harmonics), at 4 kHz table 18 (4 harmonics): the top one
  // tapered to 0.54 of 1/n.
  const struct
  {
    double hz;
    int harmonics;
  } cases[] = {{1000.0, 16}, {4000.0, 4}};
  for (const auto& c : cases) {
    const AliasReport r = sawSpectrum(c.hz, 44100.0, c.harmonics);
    std::printf("saw %.0f Hz at 44.1 kHz: strongest alias below 20 kHz %.1f dB below the fundamental; "
                "harmonic %d at %.1f dB, harmonic %d at %.1f dB\n",
                c.hz, -r.aliasDB, c.harmonics, r.lastHarmonicDB, c.harmonics + 1, r.firstMissingDB);
    const double taper = toDB(0.54 / c.harmonics);
    EXPECT_NEAR(taper, r.lastHarmonicDB, 0.5) << c.hz;
    EXPECT_LT(r.firstMissingDB, -50.0) << c.hz;
    EXPECT_LT(r.aliasDB, -65.0) << c.hz;
  }
}

TEST(OscillatorTables, LevelForIncrementFollowsHalvingsBySqrtTwo)
{
  const struct
  {
    int shifted;
    int level;
  } cases[] = {{0, 0}, {1, 0}, {2, 3}, {3, 4}, {8, 7}, {100, 14}, {1000, 20}, {4000, 21}, {30000, 21}};
  for (const auto& c : cases) EXPECT_EQ(c.level, OscBase::tableLevel(c.shifted << 16)) << c.shifted;
}

TEST(OscillatorTables, TopTableIsHalfASineAndTableZeroASaw)
{
  const double* t = OscBase::waveTables();
  const double* sine = t + OscBase::topTable * OscBase::kTableSize;
  for (int i = 0; i < OscBase::kTableSize; i += 97)
    EXPECT_NEAR(0.5 * std::sin(2 * 3.141592653589793 * i / 4096), sine[i], 1e-12);
  // A falling saw: about +pi/4 just after the start, -pi/4 just before the end, 0 at half a cycle.
  EXPECT_NEAR(0.785, t[40], 0.03);
  EXPECT_NEAR(-0.785, t[4096 - 40], 0.03);
  EXPECT_NEAR(0.0, t[2048], 1e-9);
}

TEST(OscillatorBehaviour, SilentUntilTheFirstActiveTick)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
  rig.pitch = 60 * 128;
  osc->update(false);
  for (int i = 0; i < 100; ++i) {
    osc->process();
    EXPECT_EQ(0.0, osc->audioOut[0]);
    EXPECT_EQ(0.0, osc->nextAudioOut[0]);
    EXPECT_EQ(0.0, osc->syncOut[0]);
  }
  osc->update(true);
  for (int i = 0; i < 3; ++i) osc->process(); // the saw starts at 0; its next value shows one call later
  EXPECT_NE(0.0, osc->audioOut[0]);
}

TEST(OscillatorBehaviour, SyncOutputFiresOncePerCycle)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
  rig.pitch = 69 * 128; // 440 Hz
  int pulses = 0;
  for (int i = 0; i < 48000; ++i) {
    if (i % 48 == 0) osc->update(true);
    osc->process();
    if (osc->syncOut[0] == 1.0) ++pulses;
    EXPECT_TRUE(osc->syncOut[0] == 0.0 || osc->syncOut[0] == 1.0);
  }
  EXPECT_NEAR(440, pulses, 1);
}

TEST(OscillatorBehaviour, HardSyncRestartsAtTheMastersPeriod)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
  rig.pitch = 81 * 128; // 880 Hz slave
  double sync = 0.0;
  osc->syncSource = &sync;
  std::vector<double> x;
  for (int i = 0; i < 48000 * 2; ++i) {
    if (i % 48 == 0) osc->update(true);
    sync = (i % 160 == 0) ? 1.0 : 0.0; // a 300 Hz master
    osc->process();
    x.push_back(osc->audioOut[0]);
  }
  // The waveform repeats with the master's period.
  for (int i = 1000; i < 1000 + 160; ++i) EXPECT_DOUBLE_EQ(x[i], x[i + 160]);
  EXPECT_NEAR(300.0, peakFrequency(x, 48000, 250, 350), 0.5);
}

TEST(OscillatorBehaviour, ResetTriggerRestartsAtTheStartPhase)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSine);
  rig.param(11, 0.25);
  double gate = 0.0;
  osc->resetSource = &gate;
  rig.pitch = 60 * 128;
  rig.run(100, -1);
  gate = 1.0;
  osc->update(true); // the rise is seen at the tick
  EXPECT_TRUE(osc->resetPending);
  osc->process();
  // The restart reads table index 1024 (a quarter cycle) and the restart itself fires no sync pulse.
  EXPECT_EQ(0.0, osc->nextSyncOut[0]);
  EXPECT_DOUBLE_EQ(1.5 * 0.5, osc->nextAudioOut[0]);
  EXPECT_FALSE(osc->resetPending);
  // A gate that stays high does not fire again.
  osc->update(true);
  EXPECT_FALSE(osc->resetPending);
}

TEST(OscillatorBehaviour, SyncWinsOverAPendingResetWhichWaits)
{
  ModuleRig rig;
  Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
  rig.param(11, 0.5);
  double gate = 1.0, sync = 1.0;
  osc->resetSource = &gate;
  osc->syncSource = &sync;
  rig.pitch = 60 * 128;
  osc->update(true);
  osc->process();
  EXPECT_TRUE(osc->resetPending);
  EXPECT_EQ(osc->phaseIncrement, osc->phase); // restarted at 0 by sync, then advanced
  sync = 0.0;
  osc->process();
  EXPECT_FALSE(osc->resetPending);
  EXPECT_EQ((1 << 27) + osc->phaseIncrement, osc->phase);
}

TEST(OscillatorBehaviour, StartPhaseWrapsIntoOneCycle)
{
  const struct
  {
    double start, mod;
    int phase;
  } cases[] = {{0.0, 0.0, 0}, {0.25, 0.0, 1 << 26}, {1.0, 0.0, 0}, {0.5, 0.75, 1 << 26}, {0.25, -0.5, 3 << 26}};
  for (const auto& c : cases) {
    ModuleRig rig;
    Oscillator* osc = makeOsc(rig, 48000, Oscillator::kSaw);
    rig.param(11, c.start);
    double gate = 0.0, mod = c.mod;
    osc->resetSource = &gate;
    osc->startPhaseModSource = &mod;
    osc->update(true);
    EXPECT_EQ(c.phase, osc->resetPhase) << c.start << " " << c.mod;
  }
}
