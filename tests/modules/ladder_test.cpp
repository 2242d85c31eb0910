// The ladder filter's responses measured with sines against the transfer functions of its stages, and its
// resonance, drive, bypass, key tracking and reset behaviour.
#include "Ladder.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace {
using cd = std::complex<double>;
const double kPi = 3.141592653589793;

// One stage of each kind at digital frequency W for the stage parameter w = 2 pi fc / rate (bilinear, no
// prewarping): low-pass w/(w+2) (1 + z^-1) / (1 + (w-2)/(w+2) z^-1), high-pass 2/(w+2) (1 - z^-1) / (...),
// all-pass (a + z^-1) / (1 + a z^-1).
cd stage(char kind, double w, double W)
{
  const cd z1 = std::exp(cd(0, -W));
  const double a = (w - 2) / (w + 2);
  switch (kind) {
  case 'L':
    return w / (w + 2) * (1.0 + z1) / (1.0 + a * z1);
  case 'H':
    return 2 / (w + 2) * (1.0 - z1) / (1.0 + a * z1);
  default:
    return (a + z1) / (1.0 + a * z1);
  }
}

struct TypeCase
{
  int type;
  const char* stages; // the stages between input and output tap, resonance 0
};
const TypeCase kTypes[] = {{1, "LLLL"}, {2, "LLL"},  {3, "LL"},  {4, "L"},     {5, "HHHH"}, {6, "HHH"}, {7, "HH"},
                           {8, "H"},    {9, "LHLH"}, {10, "LH"}, {11, "AAAA"}, {12, "AAA"}, {13, "AA"}, {14, "A"}};

Ladder* makeLadder(ModuleRig& rig, double rate, int type, double cutoff)
{
  Ladder* f = rig.make<Ladder>(ModuleConfig::MOD_LADDER, rate);
  rig.param(0, type);
  rig.param(1, cutoff);
  rig.param(3, 1.0); // input A at full level
  return f;
}

// Steady-state amplitude of the filter's answer to a unit sine at hz.
double response(ModuleRig& rig, Ladder* f, double hz, double amplitude = 1.0)
{
  double in = 0.0;
  f->inputA = &in;
  const double w = 2 * kPi * hz / rig.rate;
  std::vector<double> y;
  const int settle = (int)rig.rate / 5, n = (int)rig.rate / 2;
  for (int i = 0; i < settle + n; ++i) {
    in = amplitude * std::sin(w * i);
    f->process();
    if (i >= settle) y.push_back(f->audioOut[0]);
  }
  return sineAmplitude(y, hz, rig.rate);
}
} // namespace

TEST(LadderResponse, EveryTypeAtItsCutoffMatchesItsStages)
{
  for (double rate : {44100.0, 48000.0}) {
    const double cutoff = 0.7; // pitch step 12096: about 1.1 kHz
    const int step = (int)std::floor(cutoff * 17280);
    for (const TypeCase& c : kTypes) {
      ModuleRig rig;
      Ladder* f = makeLadder(rig, rate, c.type, cutoff);
      const double fc = Synth::convert2Hz(step);
      const double w = 2 * kPi * fc / rate;
      cd h = 1.0;
      for (const char* s = c.stages; *s; ++s) h *= stage(*s, w, w);
      const double measured = response(rig, f, fc);
      EXPECT_NEAR(toDB(std::abs(h)), toDB(measured), 0.05) << "type " << Ladder::labelType[c.type] << " at " << rate;
    }
  }
}

TEST(LadderResponse, RoughlyThreeDecibelsPerStageAtALowCutoff)
{
  // Far below Nyquist each one-pole stage is about 3 dB down at its cutoff and the band-pass about 6 dB
  // per low/high pair; the all-passes pass everything.
  const struct
  {
    int type;
    double dB;
  } cases[] = {{1, -12}, {2, -9}, {3, -6}, {4, -3}, {5, -12}, {8, -3}, {9, -12}, {10, -6}, {11, 0}, {14, 0}};
  for (const auto& c : cases) {
    ModuleRig rig;
    Ladder* f = makeLadder(rig, 48000, c.type, 0.5); // pitch step 8640: about 403 Hz
    EXPECT_NEAR(c.dB, toDB(response(rig, f, Synth::convert2Hz(8640))), 0.2) << Ladder::labelType[c.type];
  }
}

TEST(LadderResponse, LowPassPassesBelowAndStopsAboveTheCutoff)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 1, 0.5);
  const double fc = Synth::convert2Hz(8640);
  EXPECT_NEAR(0.0, toDB(response(rig, f, 20.0)), 0.3);
  EXPECT_LT(toDB(response(rig, f, fc * 8)), -66.0); // three octaves up: about 24 dB per octave
  Ladder* hp = makeLadder(rig, 48000, 5, 0.5);
  EXPECT_NEAR(0.0, toDB(response(rig, hp, 5000.0)), 0.3);
}

TEST(LadderResponse, SmallSignalsDoNotDependOnDrive)
{
  double previous = -1;
  for (double drive : {1.0, 4.0, 16.0}) {
    ModuleRig rig;
    Ladder* f = makeLadder(rig, 48000, 1, 0.6);
    rig.param(2, 0.5);
    rig.param(11, drive);
    const double r = response(rig, f, 600.0, 0.001);
    if (previous > 0) {
      EXPECT_NEAR(previous, r, previous * 1e-6);
    }
    previous = r;
  }
}

TEST(LadderResonance, FullResonanceSelfOscillatesAndDriveScalesIt)
{
  double level[2];
  const double drives[2] = {1.0, 4.0};
  for (int i = 0; i < 2; ++i) {
    ModuleRig rig;
    Ladder* f = makeLadder(rig, 48000, 1, 0.6);
    rig.param(2, 1.0);
    rig.param(11, drives[i]);
    double silence = 0.0;
    f->inputA = &silence;
    std::vector<double> y = rig.run(48000);
    EXPECT_DOUBLE_EQ(4.1, f->k);
    EXPECT_DOUBLE_EQ(2.0, f->c);
    double peak = 0;
    for (size_t j = 24000; j < y.size(); ++j) peak = std::max(peak, std::fabs(y[j]));
    EXPECT_GT(peak, 0.1) << "no input, the reset transient starts the oscillation";
    level[i] = peak;
  }
  // The loop is bounded by the clip at +-1 before the output's 1 / drive.
  EXPECT_NEAR(level[0] / drives[1], level[1], level[1] * 0.05);
}

TEST(LadderResonance, ResonanceLiftsTheCutoff)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 1, 0.6);
  const double fc = Synth::convert2Hz((int)std::floor(0.6 * 17280));
  const double flat = response(rig, f, fc, 0.01);
  rig.param(2, 0.8);
  EXPECT_GT(response(rig, f, fc, 0.01), flat * 3.0);
}

TEST(LadderBehaviour, BypassSumsTheWeightedInputs)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 0, 0.2);
  rig.param(3, 0.5);
  rig.param(5, 0.25);
  rig.param(2, 1.0);
  rig.param(11, 8.0);
  double a = 0.8, b = -0.4;
  f->inputA = &a;
  f->inputB = &b;
  f->process();
  f->process();
  EXPECT_DOUBLE_EQ(0.5 * 0.8 + 0.25 * -0.4, f->audioOut[0]);

  StereoLadder* s = rig.make<StereoLadder>(ModuleConfig::MOD_STEREOLADDER, 48000);
  rig.param(0, 0);
  rig.param(3, 0.5);
  rig.param(5, 0.25);
  s->inputA = &a;
  s->inputB = &b;
  s->process();
  s->process();
  EXPECT_DOUBLE_EQ(0.4, s->audioOut[0]);
  EXPECT_DOUBLE_EQ(-0.1, s->audioOut[1]);
}

TEST(LadderBehaviour, StereoRunsEachSideLikeTheMonoFilter)
{
  ModuleRig monoRig, stereoRig;
  Ladder* mono = makeLadder(monoRig, 48000, 3, 0.55);
  monoRig.param(2, 0.4);
  StereoLadder* st = stereoRig.make<StereoLadder>(ModuleConfig::MOD_STEREOLADDER, 48000);
  stereoRig.param(0, 3);
  stereoRig.param(1, 0.55);
  stereoRig.param(2, 0.4);
  stereoRig.param(3, 1.0);
  stereoRig.param(5, 1.0);
  double x = 0, zero = 0;
  mono->inputA = &x;
  st->inputA = &x;
  st->inputB = &zero;
  double ySilent = 0;
  for (int i = 0; i < 2000; ++i) {
    x = std::sin(i * 0.05) + 0.3 * std::sin(i * 0.31);
    mono->process();
    st->process();
    EXPECT_DOUBLE_EQ(mono->audioOut[0], st->audioOut[0]);
    ySilent = st->audioOut[1];
  }
  EXPECT_LT(std::fabs(ySilent), 1e-6); // only the reset transient, decayed
}

TEST(LadderBehaviour, KeyTrackingFollowsTheVoiceFromNote48)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 1, 0.5);
  EXPECT_EQ(48 * 128, f->referencePitch);
  rig.param(12, 0.5);
  rig.pitch = 60 * 128; // an octave up: half an octave of cutoff
  f->process();
  EXPECT_EQ((int)std::floor(0.5 * 17280) + 768, f->cachedPitch);
  rig.pitch = 48 * 128 - 3; // -1.5 rounds away from zero to -2
  f->process();
  EXPECT_EQ((int)std::floor(0.5 * 17280) - 2, f->cachedPitch);
}

TEST(LadderBehaviour, CutoffSumBeyondTheTableUsesItsEnds)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 4, 0.0);
  double mod = -1.0;
  f->mod1Source = &mod;
  rig.param(7, 12289);
  f->process();
  const double w0 = 2 * kPi * Synth::convert2Hz(0) / 48000;
  EXPECT_DOUBLE_EQ(w0 / (w0 + 2), f->g);
  mod = 2.0;
  rig.param(1, 1.0);
  f->process();
  const double wTop = 2 * kPi * Synth::convert2Hz(17280) / 48000;
  EXPECT_DOUBLE_EQ(wTop / (wTop + 2), f->g);
}

TEST(LadderBehaviour, TypeChangeResetsTheStagesWithATransient)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 1, 0.5);
  double silence = 0;
  f->inputA = &silence;
  rig.run(48000);
  rig.param(0, 2);
  EXPECT_EQ(1.0, f->s[1]);
  EXPECT_EQ(-1.0, f->s[3]);
  std::vector<double> y = rig.run(2000);
  double peak = 0;
  for (double v : y) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 1e-3);
  EXPECT_LT(std::fabs(y.back()), peak);
}

TEST(LadderBehaviour, ResonanceModulationIsClampedOnlyWhenConnected)
{
  ModuleRig rig;
  Ladder* f = makeLadder(rig, 48000, 1, 0.5);
  rig.param(2, 1.0);
  f->process();
  EXPECT_DOUBLE_EQ(4.1, f->k);
  double mod = 1.0;
  f->param2ModSource = &mod;
  rig.param(13, 1.0);
  f->process();
  EXPECT_DOUBLE_EQ(1.0, f->cachedResonance);
  mod = -3.0;
  f->process();
  EXPECT_DOUBLE_EQ(0.0, f->cachedResonance);
  EXPECT_DOUBLE_EQ(1.0, f->c);
}
