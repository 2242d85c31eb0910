// The dual, linear FM and formant oscillators and the dual noise as a listener meets them: pitch against
// the tuning table at the usual rates, FM sidebands where carrier, modulator and depth put them, the three
// formant modes, and the spectra and levels of the noise.
#include "Noise.h"
#include "OscFormant.h"
#include "OscLinFM.h"
#include "Oscillator2.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

namespace {
const double kPi = 3.141592653589793;

double hzOfPitch(double pitch)
{
  return 440.0 * std::pow(2.0, (pitch / 128.0 - 69.0) / 12.0);
}

double peakAbs(const std::vector<double>& x)
{
  double m = 0;
  for (double v : x) m = std::max(m, std::fabs(v));
  return m;
}

struct PitchCase
{
  const char* name;
  ModuleConfig::ModuleID id;
  std::function<void(ModuleRig&)> setup;
  int output;
  double offset; // 1/128 semitone above the voice pitch
  double factor; // frequency multiple of that pitch
};
} // namespace

TEST(OscillatorsPitch, WithinOneCentAtEveryRateUnderEqualAndCustomTuning)
{
  const PitchCase cases[] = {
      {"dual A saw", ModuleConfig::MOD_OSCILLATOR2, [](ModuleRig&) {}, 0, 0, 1},
      {"dual B pulse +7 st +32", ModuleConfig::MOD_OSCILLATOR2,
       [](ModuleRig& r) { r.param(1, 2), r.param(3, 0.3), r.param(5, 7), r.param(7, 32); }, 1, 7 * 128 + 32, 1},
      {"lin FM sine", ModuleConfig::MOD_OSCLINFM, [](ModuleRig&) {}, 0, 0, 1},
      {"lin FM square -12 st", ModuleConfig::MOD_OSCLINFM, [](ModuleRig& r) { r.param(0, 2), r.param(5, -12); },
       0, -12 * 128, 1},
      {"formant partial 1", ModuleConfig::MOD_OSCFORMANT, [](ModuleRig& r) { r.param(0, 1), r.param(3, 0.5); }, 0, 0,
       1},
      {"formant ring 1.5", ModuleConfig::MOD_OSCFORMANT, [](ModuleRig& r) { r.param(0, 2), r.param(2, 1.5); }, 0, 0,
       1.5},
  };
  const std::string scl = std::string(VELTRANE_TESTDATA) + "/scala/31edo.scl";
  for (bool custom : {false, true})
    for (double rate : {44100.0, 48000.0, 96000.0})
      for (const PitchCase& c : cases)
        for (int note : {57, 64, 76}) {
          ModuleRig rig;
          if (custom) {
            ASSERT_EQ(0, rig.plug->loadTuning(scl.c_str()));
          }
          rig.make<Module>(c.id, rate);
          c.setup(rig);
          rig.pitch = rig.plug->getFrequency(note);
          // 31 equal steps to the octave around A 440 at note 69, worked out apart from the tuning table.
          const double pitch = custom ? 69 * 128 + (note - 69) * 1536.0 / 31.0 : note * 128.0;
          EXPECT_NEAR(pitch, rig.pitch, 2.0) << note; // the file rounds its cents
          const double expected = hzOfPitch(rig.pitch + c.offset) * c.factor;
          rig.run(2000, -1);
          const double f = peakFrequency(rig.run(32768, c.output), rate, expected * 0.97, expected * 1.03);
          EXPECT_LT(std::fabs(cents(f, expected)), 1.0)
              << c.name << (custom ? " 31-EDO" : "") << " at " << rate << ", note " << note << ": " << f << " Hz";
        }
}

TEST(DualOscillator, SameSettingsTwinOutputsAndTablesChosenPerOscillator)
{
  ModuleRig rig;
  Oscillator2* osc = rig.make<Oscillator2>(ModuleConfig::MOD_OSCILLATOR2, 48000);
  rig.pitch = 60 * 128;
  for (int i = 0; i < 4800; ++i) {
    rig.run(1, -1);
    ASSERT_EQ(osc->audioOut[0], osc->audioOut[1]) << i;
    ASSERT_EQ(osc->syncOut[0], osc->syncOut[1]) << i;
  }
  rig.param(5, 24); // B two octaves up reads fewer harmonics than A
  rig.run(48, -1);
  EXPECT_EQ(OscBase::tableLevel(osc->phaseIncrement) + 4, OscBase::tableLevel(osc->phaseIncrementB));
  EXPECT_EQ(osc->waveB, OscBase::waveTables() + OscBase::tableLevel(osc->phaseIncrementB) * OscBase::kTableSize);
  rig.param(1, Oscillator2::kSine); // a sine B reads the sine table whatever its pitch
  rig.run(48, -1);
  EXPECT_EQ(osc->waveB, OscBase::waveTables() + OscBase::topTable * OscBase::kTableSize);
}

TEST(OscillatorsPitch, PitchSumsBeyondTheTableReadItsEnds)
{
  // A modulation far outside any int is clamped before it becomes a pitch step: up reads the top entry,
  // down and not-a-number read entry 0. The dual oscillator takes it on both its pitch inputs (A and B).
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct
  {
    double source;
    int entry;
  } cases[] = {{1e12, 17280}, {-1e12, 0}, {INFINITY, 17280}, {-INFINITY, 0}, {nan, 0}, {1.0, 60 * 128 + 6145}};
  for (const auto& c : cases)
    for (bool dual : {true, false}) {
      SCOPED_TRACE(std::to_string(c.source) + (dual ? " dual" : " formant"));
      double mod = c.source;
      ModuleRig rig;
      OscBase* osc = rig.make<OscBase>(dual ? ModuleConfig::MOD_OSCILLATOR2 : ModuleConfig::MOD_OSCFORMANT, 48000);
      if (dual) rig.param(8, 6145.0), osc->pitchMod2Source = &mod;
      rig.param(10, 6145.0);
      osc->pitchMod1Source = &mod;
      rig.pitch = 60 * 128;
      rig.run(48, -1);
      EXPECT_EQ(osc->freq2PhInc[c.entry], osc->phaseIncrement);
      if (dual) {
        EXPECT_EQ(osc->freq2PhInc[c.entry], static_cast<Oscillator2*>(osc)->phaseIncrementB);
      }
    }
}

namespace {
// |H| of the FM input's filter: four bilinear one-poles w (1 + z^-1) / ((w + 2) + (w - 2) z^-1) at 2 kHz.
double fmFilterGain(double hz, double rate)
{
  const double w = 2 * kPi * 2000.0 / rate;
  const std::complex<double> zi = std::polar(1.0, -2 * kPi * hz / rate);
  return std::pow(std::abs(w * (1.0 + zi) / ((w + 2.0) + (w - 2.0) * zi)), 4);
}
} // namespace

TEST(LinearFM, SidebandsAtCarrierPlusMultiplesOfModulatorWithBesselLevels)
{
  const double rate = 48000;
  struct Case
  {
    double ratio, amplitude, level, levelModAmount, levelMod; // depth = level * ((mod - 1) * amount + 1)
  };
  const Case cases[] = {{0.31, 1.0, 0.3, 0, 0}, {1.37, 0.5, 0.4, 0, 0}, {0.53, 1.0, 0.6, 1.0, 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE("ratio " + std::to_string(c.ratio));
    ModuleRig rig;
    OscLinFM* osc = rig.make<OscLinFM>(ModuleConfig::MOD_OSCLINFM, rate);
    rig.param(1, c.level);
    rig.param(3, c.levelModAmount);
    double modulator = 0, levelMod = c.levelMod;
    osc->fmSource = &modulator;
    if (c.levelModAmount > 0) osc->fmLevelModSource = &levelMod;
    rig.pitch = 76 * 128;
    const double fc = Synth::convert2Hz(rig.pitch), fm = c.ratio * fc;
    std::vector<double> x;
    for (int i = 0; i < 96000; ++i) {
      modulator = c.amplitude * std::sin(2 * kPi * fm * i / rate);
      std::vector<double> s = rig.run(1);
      if (i >= 4800) x.push_back(s[0]);
    }
    const double depth = c.level * ((c.levelMod - 1) * c.levelModAmount + 1);
    const double beta = 2 * kPi * depth * c.amplitude * fmFilterGain(fm, rate);
    for (int k = -3; k <= 3; ++k) {
      const double f = std::fabs(fc + k * fm);
      const double expected = 0.75 * std::fabs(std::cyl_bessel_j(std::abs(k), beta));
      EXPECT_NEAR(expected, sineAmplitude(x, f, rate), 0.006) << "sideband " << k;
      if (expected > 0.05) {
        EXPECT_NEAR(f, peakFrequency(x, rate, f - 0.2 * fm, f + 0.2 * fm), 0.05) << "sideband " << k;
      }
    }
    EXPECT_LT(sineAmplitude(x, fc + 0.5 * fm, rate), 0.003) << "energy between the sidebands";
  }
}

TEST(LinearFM, OffsetIsReducedOnceAndNonFiniteOrHugeProductsGiveNone)
{
  const double cycle = 268435456.0, nan = std::numeric_limits<double>::quiet_NaN();
  const struct
  {
    double y, depth;
    int64_t offset;
  } cases[] = {{0.25, cycle, 1 << 26},         {-0.25, cycle, 3 << 26},     {1.75, cycle, 3 << 26},
               {-1e9, cycle, 0},               {0.0, cycle, 0},             {nan, cycle, 0},
               {INFINITY, cycle, 0},           {-INFINITY, cycle, 0},       {1.0, INFINITY, 0},
               {1.01 * 17179869184.0, cycle, 0}, {-3e10, cycle, 0},         {1e300, 1e300, 0}};
  for (const auto& c : cases) EXPECT_EQ(c.offset, OscLinFM::fmOffset(c.y, c.depth)) << c.y << " * " << c.depth;

  // A settled constant input of 0.25 at level 1 reads a quarter cycle ahead; a NaN input passes, the filter
  // starts again from rest and the offset comes back.
  ModuleRig rig;
  OscLinFM* osc = rig.make<OscLinFM>(ModuleConfig::MOD_OSCLINFM, 48000);
  rig.param(1, 1.0);
  double fm = 0.25;
  osc->fmSource = &fm;
  rig.pitch = 60 * 128;
  for (int round = 0; round < 2; ++round) {
    rig.run(4800, -1);
    for (int i = 0; i < 200; ++i) {
      const double before = osc->phase / cycle;
      rig.run(1, -1);
      ASSERT_NEAR(0.75 * std::sin(2 * kPi * (before + 0.25)), osc->nextAudioOut[0], 0.003) << round << " " << i;
    }
    fm = nan;
    rig.run(10, -1);
    EXPECT_TRUE(std::isfinite(osc->nextAudioOut[0]));
    fm = 0.25;
  }
}

TEST(FormantOscillator, PartialAndFixedModesCrossfadeTheNearestHarmonics)
{
  const double rate = 48000;
  struct Case
  {
    int mode;
    double value, modValue; // ratio (Partial) or formant parameter (Fixed); ratio modulation source
    int note;
  };
  const Case cases[] = {{1, 1.0, 0, 57},   {1, 2.25, 0, 57},   {1, 1.0, -0.0735, 57}, {1, 1.0, -0.25, 57},
                        {1, 3.7, 0, 45},   {0, 0.55, 0, 45},   {0, 0.55, 0, 52},      {0, 0.7, 0, 60}};
  for (const Case& c : cases) {
    ModuleRig rig;
    OscFormant* osc = rig.make<OscFormant>(ModuleConfig::MOD_OSCFORMANT, rate);
    rig.param(0, c.mode);
    rig.param(c.mode == 0 ? 1 : 2, c.value);
    rig.param(4, 1.0);
    double mod = c.modValue;
    osc->formantMod1Source = &mod;
    rig.pitch = c.note * 128;
    const double f0 = Synth::convert2Hz(rig.pitch);
    // The formant as a multiple of the fundamental: the ratio times 50^modulation, or the fixed pitch in Hz.
    const double r = c.mode == 0 ? Synth::convert2Hz((int)std::floor(c.value * 15872)) / f0
                                 : c.value * std::pow(50.0, c.modValue);
    const int n = (int)std::floor(r);
    const double upper = r < 0.5 ? 0.0 : r < 1.0 ? 2 * r - 1 : r - n;
    rig.run(4800, -1);
    const std::vector<double> x = rig.run(48000);
    for (int h = 1; h <= n + 2; ++h) {
      const double expected = h == n + 1 ? upper : h == n ? 1.0 - upper : 0.0;
      EXPECT_NEAR(expected, sineAmplitude(x, h * f0, rate), 0.01)
          << "mode " << c.mode << " value " << c.value << " mod " << c.modValue << ", harmonic " << h;
    }
    if (r < 0.5) {
      EXPECT_EQ(0.0, peakAbs(x)) << "ratio " << r << " is silent";
    }
  }
}

TEST(FormantOscillator, WidthWindowsPerCycleRingRunsFreePartialStaysHarmonic)
{
  const double rate = 48000;
  for (int mode : {OscFormant::kPartial, OscFormant::kRing}) {
    ModuleRig rig;
    rig.make<OscFormant>(ModuleConfig::MOD_OSCFORMANT, rate);
    rig.param(0, mode);
    rig.param(2, 2.5);
    rig.param(3, 1.0);
    rig.pitch = 57 * 128;
    const double f0 = Synth::convert2Hz(rig.pitch);
    rig.run(4800, -1);
    const std::vector<double> x = rig.run(48000);
    // The window falls to exp(-10 * 4095/4096) mid-cycle: the peak stays below 1 and at least one cycle
    // passes the window's top (phase 0).
    EXPECT_GT(peakAbs(x), 0.3);
    double halfIntegers = 0, harmonics = 0;
    for (int h = 1; h <= 6; ++h) {
      halfIntegers += sineAmplitude(x, (h - 0.5) * f0, rate);
      harmonics += sineAmplitude(x, h * f0, rate);
    }
    // Partial keeps every component on a harmonic; Ring at 2.5 puts the sine and its window sidebands between.
    const bool partial = mode == OscFormant::kPartial;
    EXPECT_GT(partial ? harmonics : halfIntegers, 0.3) << "mode " << mode;
    EXPECT_LT(partial ? halfIntegers : harmonics, 0.01) << "mode " << mode;
  }
}

TEST(FormantOscillator, IncrementTimesRatioAboveTheTopIsSilence)
{
  const struct
  {
    int mode;
    double rate, ratio, ratioMod;
    int note;
  } cases[] = {{OscFormant::kPartial, 44100, 50, 0, 120}, {OscFormant::kRing, 44100, 50, 1, 69},
               {OscFormant::kRing, 48000, 50, 1, 69},     {OscFormant::kPartial, 96000, 50, 1, 69}};
  for (const auto& c : cases) {
    ModuleRig rig;
    OscFormant* osc = rig.make<OscFormant>(ModuleConfig::MOD_OSCFORMANT, c.rate);
    rig.param(0, c.mode);
    rig.param(2, c.ratio);
    rig.param(4, 1.0);
    double mod = -1.0; // ratio 1 first, so the formant phase is running when the ratio jumps
    osc->formantMod1Source = &mod;
    rig.pitch = c.note * 128;
    EXPECT_GT(peakAbs(rig.run((int)c.rate / 10)), 0.5);
    mod = c.ratioMod;
    rig.run((int)c.rate / 20, -1); // taken at the next cycle start
    EXPECT_EQ(0.0, peakAbs(rig.run((int)c.rate))) << "mode " << c.mode << " at " << c.rate;
  }
}

namespace {
// Power density (arbitrary units) at third-octave centres from 100 Hz to 10 kHz, averaged over segments.
std::vector<double> thirdOctaveDensity(const std::vector<double>& x, double rate, std::vector<double>* centres)
{
  const int n = 8192;
  double bin = 0;
  std::vector<double> psd(n / 2 + 1, 0.0);
  for (size_t start = 0; start + n <= x.size(); start += n) {
    const std::vector<double> mag = spectrum(std::vector<double>(x.begin() + start, x.begin() + start + n), rate, &bin);
    for (int k = 0; k <= n / 2; ++k) psd[k] += mag[k] * mag[k];
  }
  std::vector<double> density;
  for (int b = 0; b <= 20; ++b) {
    const double fc = 100.0 * std::pow(2.0, b / 3.0);
    double sum = 0;
    int count = 0;
    for (int k = (int)std::ceil(fc * std::pow(2.0, -1 / 6.0) / bin); k <= n / 2 && k * bin <= fc * std::pow(2.0, 1 / 6.0); ++k)
      sum += psd[k], ++count;
    centres->push_back(fc);
    density.push_back(sum / count);
  }
  return density;
}

double rms(const std::vector<double>& x)
{
  double s = 0;
  for (double v : x) s += v * v;
  return std::sqrt(s / x.size());
}
} // namespace

TEST(DualNoise, WhiteIsFlatAndPinkFallsThreeDBPerOctave)
{
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    ModuleRig rig;
    Noise* noise = rig.make<Noise>(ModuleConfig::MOD_NOISE, rate);
    for (int p : {0, 1, 6, 7}) rig.param(p, 1.0);
    // About 44 s of noise at 96 kHz: the third-octave band at 100 Hz then reads within about 0.15 dB.
    const int n = 1 << 22;
    std::vector<std::vector<double>> x(4, std::vector<double>(n));
    for (int i = 0; i < n; ++i) {
      rig.run(1, -1);
      for (int out = 0; out < 4; ++out) x[out][i] = noise->audioOut[out];
    }
    for (int out : {Noise::kWhiteA, Noise::kPinkA, Noise::kWhiteB, Noise::kPinkB}) {
      const bool pinkNoise = out == Noise::kPinkA || out == Noise::kPinkB;
      std::vector<double> centres;
      const std::vector<double> d = thirdOctaveDensity(x[out], rate, &centres);
      // White: density level; pink: density times frequency level (1/f power, -3 dB per octave).
      std::vector<double> level;
      double mean = 0;
      for (size_t b = 0; b < d.size(); ++b) {
        level.push_back(10 * std::log10(d[b] * (pinkNoise ? centres[b] : 1.0)));
        mean += level.back() / d.size();
      }
      double worst = 0;
      for (double l : level) worst = std::max(worst, std::fabs(l - mean));
      const double power = toDB(rms(x[out]) * std::sqrt(3.0)); // against a uniform draw in [-1, 1)
      std::printf("noise output %d at %.0f Hz: %s within %.2f dB over 100 Hz..10 kHz, power %.2f dB re white\n", out,
                  rate, pinkNoise ? "-3 dB/octave" : "flat", worst, power);
      for (size_t b = 0; b < d.size(); ++b)
        EXPECT_NEAR(mean, level[b], pinkNoise ? 1.0 : 0.6) << "output " << out << " at " << rate << ", "
                                                             << centres[b] << " Hz";
      // Pink has roughly the power of white.
      EXPECT_NEAR(0.0, power, pinkNoise ? 3.0 : 0.05) << "output " << out;
    }
  }
}

TEST(DualNoise, LevelsDepthsSumAndOneGeneratorPerInstance)
{
  ModuleRig rig;
  Noise* noise = rig.make<Noise>(ModuleConfig::MOD_NOISE, 48000);
  // Defaults: every output exactly 0, while the generator still runs.
  const uint32_t seed = noise->seed;
  EXPECT_EQ(0.0, peakAbs(rig.run(1000, Noise::kSum)));
  EXPECT_NE(seed, noise->seed);

  // Each sample draws four values of seed * 16807 (mod 2^32) times 4.6566129e-10: white A is the first.
  for (int p : {0, 1, 6, 7}) rig.param(p, 1.0);
  rig.run(48, -1);
  for (int i = 0; i < 1000; ++i) {
    const uint32_t s = noise->seed * 16807u;
    rig.run(1, -1);
    ASSERT_DOUBLE_EQ((int32_t)s * 4.6566129e-10, noise->nextAudioOut[Noise::kWhiteA]);
    double sum = 0;
    for (int k = 0; k < 4; ++k) sum += noise->nextAudioOut[k];
    ASSERT_DOUBLE_EQ(sum, noise->nextAudioOut[Noise::kSum]);
  }

  // Depth-style level modulation: source 0 at depth 1 silences, depth 0.5 halves, depth 0 leaves it.
  double mod = 0.0;
  noise->modSource[0] = &mod; // white A
  const double full = rms(rig.run(48000, Noise::kWhiteA));
  for (double depth : {1.0, 0.5, 0.0}) {
    rig.param(2, depth);
    rig.run(48, -1);
    EXPECT_NEAR((1 - depth) * full, rms(rig.run(48000, Noise::kWhiteA)), 0.01 * full) << depth;
  }

  // Two instances run their own generators: their noise is uncorrelated.
  ModuleRig other;
  other.make<Noise>(ModuleConfig::MOD_NOISE, 48000);
  other.param(0, 1.0);
  rig.param(2, 0.0);
  const std::vector<double> a = rig.run(48000, Noise::kWhiteA), b = other.run(48000, Noise::kWhiteA);
  double ab = 0;
  for (size_t i = 0; i < a.size(); ++i) ab += a[i] * b[i];
  EXPECT_LT(std::fabs(ab / a.size()) / (rms(a) * rms(b)), 0.02);
}
