// The K35 filter, comb filter, resonators and the two equalisers: their responses measured with sines
// against transfer functions this file works out from the filters' defining formulas, the comb's delay in
// samples, stability at every cutoff, stereo channels kept apart, and instances at different rates side by
// side.
#include "Comb.h"
#include "EQ10.h"
#include "K35.h"
#include "ParaEQ5.h"
#include "Resonators.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>

namespace {
using cd = std::complex<double>;
const double kPi = 3.141592653589793;

// Runs a module as the engine does (update at every 1 ms tick, then process) for n samples; signal(i) is
// written into *in before sample i. Returns published audio output `out`.
std::vector<double> render(ModuleRig& rig, double* in, int n, const std::function<double(int)>& signal, int out = 0)
{
  std::vector<double> y;
  y.reserve(n);
  const int period = rig.controlPeriod();
  for (int i = 0; i < n; ++i) {
    *in = signal(i);
    if (i % period == 0) rig.module->update(true);
    rig.module->process();
    y.push_back(rig.module->audioOut[out]);
  }
  return y;
}

// Steady-state gain at hz of a unit-amplitude sine (times `amplitude`) fed to input A of m, the rig's
// module, measured on output out.
template <class M> double gainAt(ModuleRig& rig, M* m, double hz, int out = 0, double amplitude = 1.0)
{
  const double w = 2 * kPi * hz / rig.rate;
  const int settle = (int)rig.rate / 2, n = (int)rig.rate / 2;
  double in = 0;
  m->inputA = &in;
  std::vector<double> y = render(
      rig, &in, settle + n, [&](int i) { return amplitude * std::sin(w * i); }, out);
  m->inputA = nullptr;
  return sineAmplitude(std::vector<double>(y.begin() + settle, y.end()), hz, rig.rate) / amplitude;
}

double stepHz(double value)
{
  return Synth::convert2Hz((int)std::floor(value * 17280));
}

uint32_t noiseSeed = 12345;
double noise()
{
  noiseSeed = noiseSeed * 1664525u + 1013904223u;
  return (double)(int32_t)noiseSeed / 2147483648.0;
}

// A mono and a stereo module (both at 48 kHz) fed the same noise on input A, the stereo one's input B
// silent: its left side runs like the mono module, and input A never reaches its right output.
template <class M, class S> void expectStereoLeftIsMono(M* mono, S* st)
{
  static double x = 0, zero = 0; // outlive the modules, which keep pointing at them
  mono->inputA = &x;
  st->inputA = &x;
  st->inputB = &zero;
  for (int i = 0; i < 4800; ++i) {
    x = noise();
    if (i % 48 == 0) {
      mono->update(true);
      st->update(true);
    }
    mono->process();
    st->process();
    ASSERT_NEAR(mono->audioOut[0], st->audioOut[0], 1e-9);
    ASSERT_LT(std::fabs(st->audioOut[1]), 1e-9);
  }
}

// ---- K35 ----

// The trapezoidal one-pole with G = t / (1 + t), as seen by a sine z^n: its low-pass output l = Lp e and
// its state before the sample s = S e (from s' = 2l - s and l = s + (e - s) G).
struct K35Model
{
  double G, k, alpha0, beta2, beta3;
  K35Model(bool lowpass, double hz, double rate, double resonance)
  {
    const double t = std::tan(kPi * std::min(hz, 0.49 * rate) / rate);
    G = t / (1 + t);
    k = 1.7 * resonance + 0.01;
    alpha0 = 1 / (1 - k * G + k * G * G);
    beta2 = lowpass ? (k - k * G) / (1 + t) : 1 / (1 + t);
    beta3 = lowpass ? -1 / (1 + t) : -G / (1 + t);
  }
  // Response to a sine. The feedback's positive half is 1.17 times stronger: x + 0.085 (x + |x|), whose
  // symmetric term 0.085 |x| holds no fundamental, so the sine's fundamental goes round the loop at gain 1.085.
  double gain(bool lowpass, double hz, double rate) const
  {
    const cd z = std::exp(cd(0, 2 * kPi * hz / rate));
    const cd Lp = G * (z + 1.0) / (z - 1.0 + 2 * G);
    const cd S = 2 * G / (z - 1.0 + 2 * G);
    const double fb = 1.085 * alpha0;
    if (lowpass) return std::abs(Lp * alpha0 * Lp / (1.0 - fb * S * (beta2 + beta3 * k * Lp)));
    return std::abs(alpha0 * (1.0 - Lp) / (1.0 - fb * k * S * (beta2 * (1.0 - Lp) + beta3)));
  }
};

K35* makeK35(ModuleRig& rig, double rate, int type, double cutoff, double resonance = 0.0)
{
  K35* f = rig.make<K35>(ModuleConfig::MOD_K35, rate);
  rig.param(0, type);
  rig.param(1, cutoff);
  rig.param(2, resonance);
  rig.param(3, 1.0);
  return f;
}
} // namespace

// Small sines (the feedback far from its +-4 clip) through both types at resonances up to a peak of 12 dB.
TEST(K35Response, LowAndHighPassMatchTheirStagesAndFeedbackAt44And96kHz)
{
  for (double rate : {44100.0, 96000.0})
    for (int type : {1, 2})
      for (double r : {0.0, 0.3, 0.6, 0.9}) {
        const double cutoff = 0.6, fc = stepHz(cutoff);
        const K35Model model(type == 1, fc, rate, r);
        for (double ratio : {0.25, 0.8, 1.0, 1.25, 2.0, 4.0}) {
          ModuleRig rig;
          const double hz = fc * ratio;
          EXPECT_NEAR(toDB(model.gain(type == 1, hz, rate)),
                      toDB(gainAt(rig, makeK35(rig, rate, type, cutoff, r), hz, 0, 0.01)), 0.1)
              << K35::labelType[type] << " at " << hz << " Hz, " << rate << ", resonance " << r;
        }
      }
}

TEST(K35Response, ResonanceRaisesTheCutoffAndDriveOnlyMovesTheClip)
{
  double flat = 0, peaked = 0;
  for (double r : {0.0, 0.8}) {
    ModuleRig rig;
    (r == 0 ? flat : peaked) = gainAt(rig, makeK35(rig, 48000, 1, 0.6, r), stepHz(0.6), 0, 0.01);
  }
  EXPECT_GT(peaked, flat * 2.0);
  // Small signals: the drive multiplies the input and divides the output.
  double ref = 0;
  for (double drive : {1.0, 8.0}) {
    ModuleRig rig;
    K35* f = makeK35(rig, 48000, 1, 0.6, 0.5);
    rig.param(11, drive);
    const double g = gainAt(rig, f, 500, 0, 0.001);
    if (ref == 0) ref = g;
    EXPECT_NEAR(ref, g, ref * 1e-6);
  }
}

TEST(K35Stability, EveryCutoffAndResonanceStaysBoundedAt22And192kHz)
{
  for (double rate : {22050.0, 192000.0})
    for (int type : {1, 2})
      for (double cutoff = 0.0; cutoff <= 1.0001; cutoff += 0.125)
        for (double r : {0.0, 0.5, 1.0}) {
          ModuleRig rig;
          K35* f = makeK35(rig, rate, type, cutoff, r);
          double in = 0;
          f->inputA = &in;
          double peak = 0;
          for (double y : render(rig, &in, (int)rate / 4, [](int) { return noise(); })) {
            ASSERT_TRUE(std::isfinite(y));
            peak = std::max(peak, std::fabs(y));
          }
          EXPECT_LT(peak, 30.0) << rate << " " << type << " " << cutoff << " " << r;
        }
  // The stage frequency is held at 0.49 of the rate where the top pitch step would pass Nyquist.
  ModuleRig lo, hi;
  EXPECT_NEAR(std::tan(0.49 * kPi), makeK35(lo, 22050, 1, 1.0)->freq2tanW[17280], 1e-9);
  EXPECT_DOUBLE_EQ(std::tan(kPi * Synth::convert2Hz(17280) / 44100), makeK35(hi, 44100, 1, 1.0)->freq2tanW[17280]);
}

TEST(K35Behaviour, BypassAndStereoChannels)
{
  ModuleRig rig;
  K35* mono = makeK35(rig, 48000, 0, 0.3);
  rig.param(5, 0.25);
  double a = 0.8, b = -0.4;
  mono->inputA = &a;
  mono->inputB = &b;
  render(rig, &a, 3, [](int) { return 0.8; });
  EXPECT_DOUBLE_EQ(0.8 + 0.25 * -0.4, mono->audioOut[0]);

  ModuleRig monoRig, stereoRig;
  K35* m = makeK35(monoRig, 48000, 2, 0.55, 0.6);
  StereoK35* st = stereoRig.make<StereoK35>(ModuleConfig::MOD_STEREOK35, 48000);
  for (int p : {0, 1, 2, 3, 5}) stereoRig.param(p, monoRig.paramValue(p));
  expectStereoLeftIsMono(m, st);
}

// ---- comb ----

namespace {
int combMinStep()
{
  int i = 0;
  while (Synth::convert2Hz(i) < 16.0) ++i;
  return i;
}

double combPeriod(double value, double rate)
{
  const int lo = combMinStep();
  return rate / Synth::convert2Hz((int)std::floor(lo + value * (17280 - lo)));
}

Comb* makeComb(ModuleRig& rig, double rate, int type, double value, double feedback, bool stereo = false)
{
  Comb* c =
      stereo ? rig.make<StereoComb>(ModuleConfig::MOD_STEREOCOMB, rate) : rig.make<Comb>(ModuleConfig::MOD_COMB, rate);
  rig.param(0, type);
  rig.param(1, value);
  rig.param(2, feedback);
  rig.param(3, 1.0);
  return c;
}

// y = 0.5 (x +- (1 + fb) D), D the output delayed by P samples by linear interpolation.
double combGain(bool positive, double P, double fb, double hz, double rate)
{
  const double w = 2 * kPi * hz / rate;
  const int n = (int)P;
  const double f = P - n;
  const cd delay = (1 - f) * std::exp(cd(0, -w * n)) + f * std::exp(cd(0, -w * (n + 1)));
  return std::abs(0.5 / (1.0 - (positive ? 0.5 : -0.5) * (1 + fb) * delay));
}

// Centroid and sum of the impulse response between samples lo and hi.
void echo(const std::vector<double>& y, int lo, int hi, double* centre, double* sum)
{
  double s = 0, m = 0;
  for (int i = lo; i <= hi; ++i) {
    s += y[i];
    m += i * y[i];
  }
  *sum = s;
  *centre = m / s;
}
} // namespace

TEST(CombDelay, EchoesAfterOnePeriodWithTheFeedbackGainAtTwoRatesSideBySide)
{
  // Two plug-in instances at different rates, alive together: each line keeps its own length.
  ModuleRig rig44, rig96;
  Comb* c44 = makeComb(rig44, 44100, 1, 0.3, 0.0);
  Comb* c96 = makeComb(rig96, 96000, 1, 0.3, 0.0);
  EXPECT_EQ(2757, c44->delaySize);
  EXPECT_EQ(6000, c96->delaySize);
  ModuleRig rig48, rig192;
  EXPECT_EQ(3000, makeComb(rig48, 48000, 1, 0.0, 0.0)->delaySize);
  EXPECT_EQ(12000, makeComb(rig192, 192000, 1, 0.0, 0.0)->delaySize);

  for (double fb : {0.0, 0.5, 1.0})
    for (int type : {1, 2})
      for (double value : {0.0, 0.3, 0.6}) {
        // Both made before either plays: the 44.1 kHz line then runs after a 96 kHz one was set up.
        Comb* made[2] = {makeComb(rig44, 44100, type, value, fb), makeComb(rig96, 96000, type, value, fb)};
        for (int which = 0; which < 2; ++which) {
          ModuleRig* rig = which == 0 ? &rig44 : &rig96;
          Comb* c = made[which];
          double in = 0;
          c->inputA = &in;
          // Run past the line's length first, so that the positions wrap before the impulse.
          render(*rig, &in, c->delaySize + 100, [](int) { return 0.0; });
          std::vector<double> y = render(*rig, &in, c->delaySize * 2 + 10, [](int i) { return i == 0 ? 1.0 : 0.0; });
          const double P = combPeriod(value, rig->rate);
          // Published output lags by one sample.
          EXPECT_NEAR(0.5, y[1], 1e-9);
          double centre, sum;
          echo(y, 1 + (int)P - 1, 1 + (int)P + 2, &centre, &sum);
          EXPECT_NEAR(P + 1, centre, 1e-6) << rig->rate << " value " << value;
          EXPECT_NEAR((type == 1 ? 0.25 : -0.25) * (1 + fb), sum, 1e-9) << "feedback " << fb;
        }
      }
}

TEST(CombResponse, PeaksAtTheMultiplesOrOddHalfMultiplesMatchTheLoop)
{
  for (double rate : {44100.0, 96000.0})
    for (int type : {1, 2}) {
      const double value = 0.35, fb = 0.8, P = combPeriod(value, rate), f0 = rate / P;
      // Positive: peaks at f0, 2 f0 and dips between; negative: peaks at f0 / 2 and 3 f0 / 2.
      const double peaks[2][2] = {{f0, 2 * f0}, {f0 / 2, 1.5 * f0}};
      const double dips[2][2] = {{1.5 * f0, 2.5 * f0}, {f0, 2 * f0}};
      for (int i = 0; i < 2; ++i)
        for (double hz : {peaks[type - 1][i], dips[type - 1][i]}) {
          ModuleRig rig;
          Comb* c = makeComb(rig, rate, type, value, fb);
          EXPECT_NEAR(toDB(combGain(type == 1, P, fb, hz, rate)), toDB(gainAt(rig, c, hz, 0, 0.05)), 0.1)
              << Comb::labelType[type] << " " << hz << " Hz at " << rate;
        }
      EXPECT_GT(combGain(type == 1, P, fb, peaks[type - 1][0], rate),
                10 * combGain(type == 1, P, fb, dips[type - 1][0], rate));
    }
}

TEST(CombTrigger, AClearedLineSoundsLikeAFreshOne)
{
  // A stereo comb plays a loud history on both sides and is then triggered; a fresh comb starts at the
  // same moment. From the trigger on both get the same input on the left and must put out the same
  // samples; the triggered comb's right side (the same input) matches its left, so both lines were
  // cleared; the fresh comb's right input is off, and nothing of the left reaches it.
  ModuleRig playedRig, freshRig;
  Comb* played = makeComb(playedRig, 48000, 1, 0.4, 0.9, true);
  playedRig.param(5, 1.0);
  double in = 0, gate = 0, zero = 0;
  played->inputA = &in;
  played->inputB = &in;
  played->triggerSource = &gate;
  render(playedRig, &in, 48000, [](int) { return noise(); });
  Comb* fresh = makeComb(freshRig, 48000, 1, 0.4, 0.9, true);
  fresh->inputA = &in;
  fresh->triggerSource = &zero;
  gate = 1.0;
  const double P = combPeriod(0.4, 48000);
  double previous = 0;
  for (int i = 0; i < 48000; ++i) {
    in = noise();
    if (i % 48 == 0) {
      played->update(true);
      fresh->update(true);
    }
    played->process();
    fresh->process();
    if (i > 0) { // from the first sample computed after the trigger
      ASSERT_NEAR(fresh->audioOut[0], played->audioOut[0], 1e-9) << "sample " << i;
      ASSERT_NEAR(played->audioOut[0], played->audioOut[1], 1e-9) << "sample " << i;
      ASSERT_LT(std::fabs(fresh->audioOut[1]), 1e-9) << "sample " << i;
      // Within the first period the line is silent: half the input.
      if (i <= (int)P) {
        ASSERT_NEAR(0.5 * previous, played->audioOut[0], 1e-9) << "sample " << i;
      }
    }
    previous = in;
  }
}

// ---- resonators ----

namespace {
// The band-pass g (1 - z^-2) / (1 - c1 z^-1 - c2 z^-2), alpha = sin w / 4 (q 2), input gain doubled.
cd resonatorResponse(double centre, double hz, double rate)
{
  const double w0 = 2 * kPi * std::min(centre, 0.49 * rate) / rate, alpha = 0.25 * std::sin(w0);
  const double g = 2 * alpha / (1 + alpha), c1 = 2 * std::cos(w0) / (1 + alpha), c2 = (alpha - 1) / (1 + alpha);
  const cd z1 = std::exp(cd(0, -2 * kPi * hz / rate));
  return g * (1.0 - z1 * z1) / (1.0 - c1 * z1 - c2 * z1 * z1);
}

Resonators* makeResonators(ModuleRig& rig, double rate, bool stereo = false)
{
  Resonators* r = stereo ? rig.make<StereoResonators>(ModuleConfig::MOD_STEREORESONATORS, rate)
                         : rig.make<Resonators>(ModuleConfig::MOD_RESONATORS, rate);
  rig.param(4, 1.0);
  rig.param(6, 1.0);
  return r;
}
} // namespace

TEST(ResonatorsResponse, EachResonatorPeaksAtItsFrequencyWithGainTwo)
{
  const double values[3] = {0.3, 0.5, 0.7}; // the defaults: steps 5184, 8640, 12096
  for (double rate : {44100.0, 96000.0})
    for (int which = 0; which < 3; ++which) {
      const double centre = stepHz(values[which]);
      for (double ratio : {0.5, 1.0, 1.5}) {
        ModuleRig rig;
        const double hz = centre * ratio;
        const double measured = toDB(gainAt(rig, makeResonators(rig, rate), hz, 1 + which));
        EXPECT_NEAR(toDB(std::abs(resonatorResponse(centre, hz, rate))), measured, 0.1)
            << "resonator " << which << " at " << hz << " Hz, " << rate;
        if (ratio == 1.0) {
          EXPECT_NEAR(toDB(2.0), measured, 0.05);
        }
      }
    }
}

TEST(ResonatorsResponse, MixedOutputShowsThreePeaksAndTheDrySignal)
{
  // Mix 1: 0.3 times the sum of the three band-passes, highest at the three centres, lower between them.
  const double centres[3] = {stepHz(0.3), stepHz(0.5), stepHz(0.7)};
  double atCentre[3];
  for (int i = 0; i < 5; ++i) {
    const double hz = i % 2 == 0 ? centres[i / 2] : std::sqrt(centres[i / 2] * centres[i / 2 + 1]);
    ModuleRig rig;
    Resonators* r = makeResonators(rig, 48000);
    rig.param(0, 1.0);
    const double measured = gainAt(rig, r, hz);
    cd sum = 0;
    for (double c : centres) sum += resonatorResponse(c, hz, 48000);
    EXPECT_NEAR(toDB(0.3 * std::abs(sum)), toDB(measured), 0.1) << hz;
    if (i % 2 == 0)
      atCentre[i / 2] = measured;
    else
      EXPECT_LT(measured, 0.8 * std::min(atCentre[i / 2], 0.3 * 2)) << "dip between the peaks at " << hz;
  }
  // Mix 0: the weighted input sum unchanged.
  ModuleRig rig;
  Resonators* r = makeResonators(rig, 48000);
  rig.param(0, 0.0);
  rig.param(6, 0.5);
  double in = 0, b = 0.4;
  r->inputA = &in;
  r->inputB = &b;
  render(rig, &in, 3, [](int) { return -0.3; });
  EXPECT_DOUBLE_EQ(-0.3 + 0.5 * 0.4, r->audioOut[0]);
}

TEST(ResonatorsBehaviour, StableAboveNyquistAndSilentAfterIdleAndStereoApart)
{
  // Frequency 0.95 at 22.05 kHz lies above Nyquist: held at 0.49 of the rate, the poles stay inside.
  for (double rate : {22050.0, 192000.0}) {
    ModuleRig rig;
    Resonators* r = makeResonators(rig, rate);
    for (int p : {1, 2, 3}) rig.param(p, p == 1 ? 0.95 : p == 2 ? 1.0 : 0.5);
    double in = 0;
    r->inputA = &in;
    double late = 0;
    std::vector<double> y = render(rig, &in, (int)rate, [](int i) { return i < 100 ? noise() : 0.0; });
    for (size_t i = y.size() / 2; i < y.size(); ++i) late = std::max(late, std::fabs(y[i]));
    EXPECT_LT(late, 1e-6) << rate;
  }
  // A voice falling idle clears the resonators; the tuning stays.
  ModuleRig rig;
  Resonators* r = makeResonators(rig, 48000);
  double in = 0;
  r->inputA = &in;
  render(rig, &in, 480, [](int) { return noise(); });
  const int tuned = r->resonator[1].cachedPitch;
  r->update(false);
  EXPECT_EQ(0.0, r->resonator[1].y1);
  EXPECT_EQ(tuned, r->resonator[1].cachedPitch);

  // Stereo: each side matches the mono mix of its input.
  ModuleRig monoRig, stereoRig;
  expectStereoLeftIsMono(makeResonators(monoRig, 48000), makeResonators(stereoRig, 48000, true));
}

// ---- equalisers ----

namespace {
// One-octave peaking band: alpha = sin w sinh(ln2 / 2 w / sin w), A = 10^(dB / 40).
double peakGain(double centre, double dB, double hz, double rate)
{
  const double w0 = 2 * kPi * std::min(centre, 0.45 * rate) / rate, A = std::pow(10.0, dB / 40);
  const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * w0 / std::sin(w0));
  const cd z1 = std::exp(cd(0, -2 * kPi * hz / rate));
  const cd num = (1 + alpha * A) - 2 * std::cos(w0) * z1 + (1 - alpha * A) * z1 * z1;
  const cd den = (1 + alpha / A) - 2 * std::cos(w0) * z1 + (1 - alpha / A) * z1 * z1;
  return std::abs(num / den);
}
} // namespace

TEST(EqualiserResponse, EachTenBandGainAtItsCentreAndAroundIt)
{
  const double centres[10] = {16000, 8000, 4000, 2000, 1000, 500, 250, 125, 60, 30}; // parameters 5..14
  for (double rate : {44100.0, 96000.0})
    for (int i = 0; i < 10; ++i) {
      const double dB = i % 2 ? -12.0 : 15.0;
      for (double ratio : {1.0, 1.5}) {
        ModuleRig rig;
        EQ10* eq = rig.make<EQ10>(ModuleConfig::MOD_EQ10, rate);
        rig.param(5 + i, dB);
        const double hz = centres[i] * ratio;
        if (hz >= 0.45 * rate) continue;
        const double measured = toDB(gainAt(rig, eq, hz, 0, 0.1));
        if (ratio == 1.0) {
          EXPECT_NEAR(dB, measured, 0.2) << centres[i] << " Hz at " << rate;
        }
        EXPECT_NEAR(toDB(peakGain(centres[i], dB, hz, rate)), measured, 0.1) << hz << " Hz at " << rate;
      }
    }
}

TEST(EqualiserResponse, FiveBandsEachAtItsOwnCentreUpToTheLastPair)
{
  const double centres[5] = {40, 300, 1500, 5000, 12000};
  for (double rate : {44100.0, 96000.0})
    for (int b = 0; b < 5; ++b) {
      ModuleRig rig;
      ParaEQ5* eq = rig.make<ParaEQ5>(ModuleConfig::MOD_PARAEQ5, rate);
      rig.param(5 + 2 * b, centres[b]);
      rig.param(6 + 2 * b, 18.0);
      EXPECT_NEAR(18.0, toDB(gainAt(rig, eq, centres[b], 0, 0.05)), 0.2) << "band " << b + 1 << " at " << rate;
      EXPECT_NEAR(toDB(peakGain(centres[b], 18.0, centres[b] * 0.7, rate)),
                  toDB(gainAt(rig, eq, centres[b] * 0.7, 0, 0.05)), 0.1);
      EXPECT_NEAR(std::pow(10.0, 18.0 / 40), eq->bands[b][1].A, 1e-12);
    }
  // Two bands at one frequency add their gains in dB.
  ModuleRig rig;
  ParaEQ5* eq = rig.make<ParaEQ5>(ModuleConfig::MOD_PARAEQ5, 48000);
  for (int p : {7, 9}) rig.param(p, 1000);
  rig.param(8, 6.0);
  rig.param(10, 5.0);
  EXPECT_NEAR(11.0, toDB(gainAt(rig, eq, 1000, 0, 0.1)), 0.2);
}

TEST(EqualiserBehaviour, CentresAtOrAboveNyquistAndZeroHertzStayFinite)
{
  // At 32 kHz the 16 kHz band sits at Nyquist, at 22.05 kHz above it: held at 0.45 of the rate.
  for (double rate : {22050.0, 24000.0, 32000.0}) {
    ModuleRig rig;
    EQ10* eq = rig.make<EQ10>(ModuleConfig::MOD_EQ10, rate);
    EXPECT_NEAR(0.0, toDB(gainAt(rig, eq, 0.3 * rate, 0, 0.1)), 0.01) << "0 dB passes, " << rate;
    rig.param(5, 12.0);
    EXPECT_NEAR(12.0, toDB(gainAt(rig, eq, 0.45 * rate, 0, 0.1)), 0.2) << rate;
  }
  PeakEQ zero;
  zero.setGain(12.0);
  zero.set(0.0, 48000);
  EXPECT_TRUE(std::isfinite(zero.b0) && std::isfinite(zero.a1) && std::isfinite(zero.a2));
}

namespace {
template <class EQ> void monoStereoAndSilence(ModuleConfig::ModuleID id)
{
  ModuleRig rig;
  EQ* eq = rig.make<EQ>(id, 48000);
  rig.param(6, 9.0);
  rig.param(8, -6.0);
  // Both inputs off (a master slot would otherwise read its shared silence).
  eq->inputA = eq->inputB = nullptr;
  for (int i = 0; i < 100; ++i) eq->process();
  EXPECT_EQ(0.0, eq->audioOut[0]);
  EXPECT_EQ(0.0, eq->audioOut[1]);
  double a = 0, b = 0;
  eq->inputA = &a;
  eq->inputB = &b;
  rig.param(4, 0); // mono: both outputs carry the equalised sum
  for (int i = 0; i < 2000; ++i) {
    a = noise();
    b = noise();
    eq->process();
    ASSERT_EQ(eq->audioOut[0], eq->audioOut[1]);
  }
  rig.param(4, 1); // stereo: A alone reaches only the left side
  double left = 0;
  for (int i = 0; i < 4000; ++i) {
    a = noise();
    b = 0;
    eq->process();
    left += std::fabs(eq->audioOut[0]);
    if (i > 2000) {
      ASSERT_LT(std::fabs(eq->audioOut[1]), 1e-6);
    }
  }
  EXPECT_GT(left, 100.0);
}
} // namespace

TEST(EqualiserBehaviour, MonoSumsStereoKeepsSidesAndNoInputIsSilent)
{
  monoStereoAndSilence<EQ10>(ModuleConfig::MOD_EQ10);
  monoStereoAndSilence<ParaEQ5>(ModuleConfig::MOD_PARAEQ5);
}

TEST(ControlRate, TuningMovesAtTicksByWholeSteps)
{
  // K35: a type change takes effect with the next tick's coefficients.
  ModuleRig k35Rig;
  K35* k = makeK35(k35Rig, 48000, 1, 0.5);
  k->update(true);
  const double t = std::tan(kPi * stepHz(0.5) / 48000);
  EXPECT_DOUBLE_EQ(-1 / (1 + t), k->beta3);
  k35Rig.param(0, 2);
  EXPECT_DOUBLE_EQ(-1 / (1 + t), k->beta3);
  k->update(true);
  EXPECT_DOUBLE_EQ(-(t / (1 + t)) / (1 + t), k->beta3);

  // Resonators: a modulation below one pitch step does not move them; one step and a half moves one.
  ModuleRig resRig;
  Resonators* r = makeResonators(resRig, 48000);
  double mod = 0.9;
  r->mod1Source = &mod;
  resRig.param(8, 1.0);
  r->update(true);
  EXPECT_EQ((int)std::floor(0.5 * 17280), r->resonator[1].cachedPitch);
  mod = 1.5;
  r->update(true);
  EXPECT_EQ((int)std::floor(0.5 * 17280) + 1, r->resonator[1].cachedPitch);

  // Comb: the feedback modulation is held to 0..1 only while its source is connected.
  ModuleRig combRig;
  Comb* c = makeComb(combRig, 48000, 1, 0.5, 0.7);
  double fbMod = 2.0;
  c->update(true);
  EXPECT_DOUBLE_EQ(0.7, c->effectiveFeedback);
  c->param2ModSource = &fbMod;
  combRig.param(13, 1.0);
  c->update(true);
  EXPECT_DOUBLE_EQ(1.0, c->effectiveFeedback);
}

namespace {
// Noise through a K35 (low-pass for one tick, then switched to high-pass), a comb (given its rate again
// after a tick) or the resonators, fresh from setSampleRate, whose frequency sum (set pitch plus modulation, in pitch steps) is `sum`.
std::vector<double> renderAtPitchSum(ModuleConfig::ModuleID id, int sum)
{
  double one = 1.0, x = 0.0;
  ModuleRig rig;
  FilterSlot* slot = nullptr;
  Comb* comb = nullptr;
  if (id == ModuleConfig::MOD_RESONATORS) {
    Resonators* r = makeResonators(rig, 48000);
    for (int i = 1; i <= 3; ++i) rig.param(i, 0.0);
    r->inputA = &x;
    r->mod1Source = &one;
    rig.param(8, sum);
  } else {
    if (id == ModuleConfig::MOD_K35) {
      K35* k = makeK35(rig, 48000, 1, 0.0, 0.3);
      slot = k;
      k->update(true);
      rig.param(0, 2);
    } else {
      Comb* c = makeComb(rig, 48000, 1, 0.0, 0.5);
      slot = comb = c;
      sum -= c->frequencyPitch;
    }
    rig.param(12, 0.0);
    slot->inputA = &x;
    slot->mod1Source = &one;
    rig.param(7, sum);
    if (comb) {
      // Once at this sum, then the rate set again: its read positions start over at any sum.
      comb->update(true);
      comb->setSampleRate(48000);
    }
  }
  noiseSeed = 777;
  return render(rig, &x, 4800, [](int) { return noise(); });
}
} // namespace

// Sums of -1 and 0 both read the lowest pitch step, so they must sound the same: -1 once served as the
// "nothing cached" marker, which kept the old type's feedback taps after a K35 type change and left a comb
// or a resonator untuned after setSampleRate.
TEST(ControlRate, ASumOfMinusOnePlaysLikeZeroAfterATypeChangeOrANewRate)
{
  for (ModuleConfig::ModuleID id : {ModuleConfig::MOD_K35, ModuleConfig::MOD_COMB, ModuleConfig::MOD_RESONATORS}) {
    const std::vector<double> atZero = renderAtPitchSum(id, 0), atMinusOne = renderAtPitchSum(id, -1);
    double energy = 0.0, worst = 0.0;
    for (size_t i = 0; i < atZero.size(); ++i) {
      worst = std::max(worst, std::fabs(atZero[i] - atMinusOne[i]));
      energy += atZero[i] * atZero[i];
    }
    EXPECT_LT(worst, 1e-12) << ModuleConfig::labelModuleName[id];
    EXPECT_GT(energy, 1e-6) << ModuleConfig::labelModuleName[id];
  }
}

// A custom tuning may put note 48 (the key-tracking reference) anywhere in the int range: the distance to
// the voice's pitch does not fit an int, and full tracking takes the cutoff to the top step, not round to
// the bottom.
TEST(ControlRate, KeyTrackingAcrossTheWholePitchRangeDoesNotWrap)
{
  ModuleRig rig;
  K35* k = makeK35(rig, 48000, 1, 0.5);
  rig.param(12, 1.0);
  k->referencePitch = -2147483620;
  rig.pitch = 8576;
  k->update(true);
  const double t = k->freq2tanW[17280];
  EXPECT_DOUBLE_EQ(t / (1 + t), k->G);
}
