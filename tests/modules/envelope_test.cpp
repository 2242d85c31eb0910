// Envelope segment times and the gate rules, driven tick by tick as the engine drives it.
#include "Envelope.h"
#include "module_rig.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
// Seconds for an exponential segment that covers 90% of its distance: the per-sample coefficient is
// 10^(2.3 - 4.5 t) ln(10) / rate, and (1 - c)^n = 0.1 gives n = ln(0.1) / ln(1 - c).
double segmentSeconds(double t, double rate)
{
  const double c = std::pow(10.0, 2.3 - 4.5 * t) * std::log(10.0) / rate;
  return std::log(0.1) / std::log(1.0 - c) / rate;
}

struct EnvRig
{
  ModuleRig rig;
  Envelope* env;
  double gate = 0.0;
  explicit EnvRig(double rate)
  {
    env = rig.make<Envelope>(ModuleConfig::MOD_ENVELOPE, rate);
    env->gateA = &gate;
  }
  double level() const { return env->modOut[0]; }
  // Runs ticks until the predicate holds; the number of samples it took, or -1.
  template <class P> long samplesUntil(P done, double maxSeconds)
  {
    const long max = (long)(maxSeconds * rig.rate);
    const int period = rig.controlPeriod();
    for (long i = 0; i < max; ++i) {
      if (i % period == 0) env->update(true);
      env->process();
      if (done()) return i + 1;
    }
    return -1;
  }
};
} // namespace

TEST(EnvelopeTimes, AttackTakesTenToTheFourPointFiveTMinusTwoPointThreeSeconds)
{
  const double values[] = {0.0, 0.25, 0.5, 0.6};
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (double t : values) {
      EnvRig e(rate);
      e.rig.param(2, t);
      e.rig.param(8, 1.0);
      e.gate = 1.0;
      const long n = e.samplesUntil([&] { return e.env->state == Envelope::kDecay; }, 30.0);
      ASSERT_GT(n, 0);
      const double seconds = (double)n / rate;
      // Within a tick of the exact law, and close to the rounded law of the panel.
      EXPECT_NEAR(segmentSeconds(t, rate), seconds, 0.0011) << rate << " " << t;
      EXPECT_NEAR(std::pow(10.0, 4.5 * t - 2.3), seconds, 0.002 + 0.002 * seconds) << rate << " " << t;
    }
}

TEST(EnvelopeTimes, ReleaseFromFullTakesTheSameLaw)
{
  for (double t : {0.0, 0.3, 0.5}) {
    EnvRig e(48000);
    e.rig.param(5, 0.0);
    e.rig.param(8, 1.0);
    e.rig.param(11, t);
    e.gate = 1.0;
    e.samplesUntil([&] { return e.env->state == Envelope::kDecay; }, 1.0);
    e.samplesUntil([] { return false; }, 0.05); // hold at sustain 1
    EXPECT_DOUBLE_EQ(1.0, e.level());
    e.gate = 0.0;
    const long n = e.samplesUntil([&] { return e.env->state == Envelope::kIdle; }, 30.0);
    ASSERT_GT(n, 0);
    EXPECT_NEAR(segmentSeconds(t, 48000), n / 48000.0, 0.0011) << t;
    EXPECT_EQ(0.0, e.env->nextModOut[0]);
  }
}

TEST(EnvelopeTimes, DecayCoversNinetyPercentTowardSustainInTheSegmentTime)
{
  for (double t : {0.1, 0.4}) {
    EnvRig e(48000);
    e.rig.param(5, t);
    e.rig.param(8, 0.3);
    e.gate = 1.0;
    e.samplesUntil([&] { return e.env->state == Envelope::kDecay; }, 1.0);
    const long n = e.samplesUntil([&] { return e.level() <= 0.3 + 0.07; }, 30.0);
    EXPECT_NEAR(segmentSeconds(t, 48000), n / 48000.0, 0.0011) << t;
    e.samplesUntil([] { return false; }, 10 * segmentSeconds(t, 48000));
    EXPECT_NEAR(0.3, e.level(), 1e-6);
    EXPECT_EQ(Envelope::kDecay, e.env->state);
  }
}

TEST(EnvelopeGates, NoGateNoOutput)
{
  ModuleRig rig;
  Envelope* env = rig.make<Envelope>(ModuleConfig::MOD_ENVELOPE, 48000);
  rig.param(8, 1.0);
  rig.run(4800, -1);
  EXPECT_EQ(0.0, env->modOut[0]);
  EXPECT_EQ(Envelope::kIdle, env->state);
}

TEST(EnvelopeGates, RiseRestartsTheAttackFromTheCurrentLevel)
{
  EnvRig e(48000);
  e.rig.param(8, 0.5);
  e.rig.param(11, 0.5);
  e.gate = 1.0;
  e.samplesUntil([] { return false; }, 0.2);
  e.gate = 0.0;
  e.samplesUntil([] { return false; }, 0.1);
  const double before = e.level();
  ASSERT_GT(before, 0.1);
  e.gate = 2.0; // a counting gate source rises again
  e.env->update(true);
  EXPECT_EQ(Envelope::kAttack, e.env->state);
  EXPECT_TRUE(e.env->gateLamp.indicated());
  // The tick's own process step starts the attack from where the release left the level.
  EXPECT_GT(e.env->nextModOut[0], before);
  EXPECT_LT(e.env->nextModOut[0], before + 0.05); // no jump to 0 or 1
}

TEST(EnvelopeGates, AFallToAnotherNonZeroValueOnlyStepsOnce)
{
  EnvRig e(48000);
  e.rig.param(8, 1.0);
  e.gate = 2.0;
  e.samplesUntil([] { return false; }, 0.1);
  const int state = e.env->state;
  e.gate = 1.0;
  e.env->update(true);
  EXPECT_EQ(state, e.env->state);
  EXPECT_EQ(1.0, e.env->previousGateA);
}

TEST(EnvelopeGates, EitherGateReleasesAndARiseWinsOverAFall)
{
  EnvRig e(48000);
  double gateB = 0.0;
  e.env->gateB = &gateB;
  e.rig.param(8, 1.0);
  e.gate = 1.0;
  gateB = 1.0;
  e.samplesUntil([] { return false; }, 0.05);
  gateB = 0.0; // B falls while A stays high
  e.env->update(true);
  EXPECT_EQ(Envelope::kRelease, e.env->state);
  e.gate = 2.0;
  gateB = 0.0;
  e.env->update(true);
  EXPECT_EQ(Envelope::kAttack, e.env->state);
  gateB = 1.0;
  e.gate = 0.0;
  e.env->update(true);
  EXPECT_EQ(Envelope::kAttack, e.env->state);
}

TEST(EnvelopeModulation, SustainFollowsItsModulationPerTick)
{
  EnvRig e(48000);
  double mod = 0.0;
  e.rig.param(8, 0.5);
  e.rig.param(9, 0.5);
  e.env->sustain.source = &mod;
  e.gate = 1.0;
  e.samplesUntil([] { return false; }, 0.5);
  EXPECT_NEAR(0.5, e.level(), 1e-3);
  mod = 1.0;
  e.samplesUntil([] { return false; }, 0.5);
  EXPECT_NEAR(1.0, e.level(), 1e-3);
  mod = 4.0; // clamped to 1
  e.env->update(true);
  EXPECT_EQ(1.0, e.env->effSustain);
}

TEST(EnvelopeRate, SampleRateResetsToIdle)
{
  EnvRig e(48000);
  e.rig.param(8, 1.0);
  e.gate = 1.0;
  e.samplesUntil([] { return false; }, 0.1);
  e.env->setSampleRate(44100);
  EXPECT_EQ(Envelope::kIdle, e.env->state);
  EXPECT_EQ(0.0, e.env->nextModOut[0]);
  EXPECT_EQ(0.0, e.env->previousGateA);
  EXPECT_DOUBLE_EQ(std::log(10.0) / 44100, e.env->coefficientBase);
}

TEST(EnvelopeRate, NoSampleRateLeavesTheLevelStanding)
{
  EnvRig e(48000);
  e.env->setSampleRate(0.0);
  e.rig.param(8, 1.0);
  e.gate = 1.0;
  e.samplesUntil([] { return false; }, 0.01);
  EXPECT_EQ(0.0, e.env->nextModOut[0]);
  EXPECT_EQ(Envelope::kAttack, e.env->state);
}
