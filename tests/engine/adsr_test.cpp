// The voice output envelope: segment times, hold, cut and live setting changes.
#include "ADSR.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
// Seconds of one decade for a setting t: 10^(4.5 t - 2.3).
double decadeSeconds(double t)
{
  return std::pow(10.0, 4.5 * t - 2.3);
}

// Samples until the envelope leaves the state it is in (capped).
long samplesInState(ADSR& e, long cap)
{
  const int state = e.state;
  long n = 0;
  while (e.state == state && n < cap) {
    e.update();
    ++n;
  }
  return n;
}
} // namespace

TEST(OutputEnvelope, AttackTakesOneDecade)
{
  struct Case
  {
    double attack;
    float rate;
  };
  const Case cases[] = {{0.0, 44100.0f}, {0.0, 96000.0f}, {0.2, 48000.0f}, {0.5, 44100.0f}, {0.7, 22050.0f}};
  for (const Case& c : cases) {
    ADSR e;
    e.setSampleRate(c.rate);
    e.setAttack(c.attack);
    e.start();
    const long n = samplesInState(e, 100000000L);
    EXPECT_EQ(ADSR::kDecay, e.state);
    EXPECT_EQ(1.0, e.level);
    EXPECT_NEAR(decadeSeconds(c.attack), n / (double)c.rate, decadeSeconds(c.attack) * 0.01 + 2.0 / c.rate)
        << c.attack << " at " << c.rate;
  }
  // About 5 ms at 0.
  EXPECT_NEAR(0.00501, decadeSeconds(0.0), 0.00001);
}

TEST(OutputEnvelope, ReleaseFromFullTakesOneDecade)
{
  const double releases[] = {0.0, 0.3, 0.6};
  for (double r : releases) {
    ADSR e;
    e.setSampleRate(48000.0f);
    e.setSustain(1.0);
    e.setRelease(r);
    e.start();
    samplesInState(e, 10000000L); // attack
    e.stop(false);
    ASSERT_EQ(ADSR::kRelease, e.state);
    const long n = samplesInState(e, 100000000L);
    EXPECT_EQ(ADSR::kIdle, e.state);
    EXPECT_EQ(0.0, e.level);
    EXPECT_NEAR(decadeSeconds(r), n / 48000.0, decadeSeconds(r) * 0.01 + 2.0 / 48000.0) << r;
  }
}

TEST(OutputEnvelope, DecayCoversOneDecadeTowardsSustain)
{
  const double decays[] = {0.0, 0.25, 0.5};
  for (double d : decays) {
    ADSR e;
    e.setSampleRate(44100.0f);
    e.setDecay(d);
    e.setSustain(0.5);
    e.start();
    samplesInState(e, 10000000L);
    ASSERT_EQ(ADSR::kDecay, e.state);
    const double seconds = decadeSeconds(0.8 * d + 0.2);
    const long n = (long)std::lround(seconds * 44100.0);
    for (long i = 0; i < n; ++i) e.update();
    EXPECT_NEAR(0.05, e.level - 0.5, 0.001) << d; // a tenth of the 0.5 it started above the sustain level
  }
  EXPECT_NEAR(0.0398, decadeSeconds(0.2), 0.0001); // 39.8 ms at 0
}

TEST(OutputEnvelope, ZeroSustainStaysActiveUntilReleased)
{
  ADSR e;
  e.setSampleRate(44100.0f);
  e.setSustain(0.0);
  e.start();
  for (int i = 0; i < 44100 * 20; ++i) e.update();
  EXPECT_FALSE(e.isIdle());
  EXPECT_GT(e.level, 0.0);
  e.stop(false);
  for (int i = 0; i < 44100; ++i) e.update();
  EXPECT_TRUE(e.isIdle());
}

TEST(OutputEnvelope, ReleaseOneHolds)
{
  ADSR e;
  e.setSampleRate(44100.0f);
  e.setSustain(0.2);
  e.setRelease(1.0);
  e.start();
  for (int i = 0; i < 44100; ++i) e.update();
  EXPECT_EQ(1.0, e.level); // whatever the sustain
  e.stop(false);
  for (int i = 0; i < 44100 * 5; ++i) e.update();
  EXPECT_EQ(1.0, e.level);
  EXPECT_EQ(ADSR::kRelease, e.state);
  e.stop(true);
  EXPECT_EQ(0.0, e.level);
  EXPECT_TRUE(e.isIdle());
}

TEST(OutputEnvelope, AlmostHoldReleasesOverMinutes)
{
  ADSR e;
  e.setSampleRate(1000.0f);
  e.setSustain(1.0);
  e.setRelease(0.99);
  e.start();
  samplesInState(e, 1000000L);
  e.stop(false);
  const long n = samplesInState(e, 1000000L);
  EXPECT_NEAR(143.0, n / 1000.0, 1.0);
}

TEST(OutputEnvelope, StopAndCut)
{
  ADSR idle;
  idle.setSampleRate(44100.0f);
  idle.stop(false);
  EXPECT_TRUE(idle.isIdle());
  EXPECT_EQ(0.0, idle.level);

  ADSR e;
  e.setSampleRate(44100.0f);
  e.start();
  for (int i = 0; i < 50; ++i) e.update();
  EXPECT_GT(e.level, 0.0);
  e.stop(true);
  EXPECT_TRUE(e.isIdle());
  EXPECT_EQ(0.0, e.level);
  e.update();
  EXPECT_EQ(0.0, e.level);

  // A new start restarts the attack from the current level; a sample-rate change goes idle at once.
  e.start();
  for (int i = 0; i < 50; ++i) e.update();
  const double mid = e.level;
  e.start();
  EXPECT_EQ(ADSR::kAttack, e.state);
  EXPECT_EQ(mid, e.level);
  e.setSampleRate(48000.0f);
  EXPECT_TRUE(e.isIdle());
  EXPECT_EQ(0.0, e.level);
}

// A stop in mid-attack falls from the level reached, and a start in mid-release climbs from where it is:
// each step toward the segment's end, and each segment as long as the decades of distance it has left to its
// target, a ninth beyond that end.
TEST(OutputEnvelope, AStopInMidAttackAndAStartInMidReleaseGoOnFromTheLevel)
{
  const double rate = 48000.0;
  ADSR e;
  e.setSampleRate((float)rate);
  e.setAttack(0.5);
  e.setRelease(0.4);
  e.start();
  for (int i = 0; i < 9600; ++i) e.update(); // 0.2 s: about 0.45
  const double l1 = e.level;
  e.stop(false);
  long n = 0;
  for (double last = l1; e.level > l1 / 2 && n < 10 * rate; ++n, last = e.level) {
    e.update();
    ASSERT_LE(e.level, last);
  }
  double expected = decadeSeconds(0.4) * std::log10((l1 + 1 / 9.0) / (l1 / 2 + 1 / 9.0)) * rate;
  EXPECT_NEAR(expected, n, 0.01 * expected + 2) << "fall from " << l1;
  const double l2 = e.level;
  e.start();
  n = samplesInState(e, 10 * (long)rate);
  expected = decadeSeconds(0.5) * std::log10((10 / 9.0 - l2) / (1 / 9.0)) * rate;
  EXPECT_NEAR(expected, n, 0.01 * expected + 2) << "rise from " << l2;
}

TEST(OutputEnvelope, SettingsApplyToTheRunningSegmentOnly)
{
  ADSR e;
  e.setSampleRate(44100.0f);
  e.setAttack(0.5);
  e.start();
  const double slow = e.coefficient;
  e.setAttack(0.0);
  EXPECT_GT(e.coefficient, slow); // the running attack follows at once
  samplesInState(e, 10000000L);
  ASSERT_EQ(ADSR::kDecay, e.state);
  const double decay = e.coefficient;
  e.setAttack(1.0);
  EXPECT_EQ(decay, e.coefficient); // the decay is not affected
  e.setDecay(1.0);
  EXPECT_LT(e.coefficient, decay);
  e.setSustain(0.3);
  EXPECT_EQ(0.3, e.target);
  e.stop(false);
  const double release = e.coefficient;
  e.setRelease(0.8);
  EXPECT_LT(e.coefficient, release);
}

TEST(OutputEnvelope, AttackSettingIsClamped)
{
  ADSR e;
  e.setAttack(-3.0);
  EXPECT_EQ(0.0, e.attack);
  e.setAttack(7.0);
  EXPECT_EQ(1.0, e.attack);
  e.setDecay(0.5);
  EXPECT_DOUBLE_EQ(0.6, e.decay);
  // Before a sample rate is set the base is that of 1000 Hz.
  ADSR fresh;
  EXPECT_DOUBLE_EQ(std::log(10.0) / 1000.0, fresh.coefficientBase);
  fresh.setSampleRate(0.0f); // no usable rate: the base stays
  EXPECT_DOUBLE_EQ(std::log(10.0) / 1000.0, fresh.coefficientBase);
}
