// The tempo clock: periods from the host tempo, gates on each cycle, re-phasing from the song position.
#include "Clock.h"

#include "IPlugBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {
ITimeInfo at(double tempo, double position)
{
  ITimeInfo t;
  t.mTempo = tempo;
  t.mPPQPos = position;
  return t;
}

// Ticks (counted from 1) on which a rate's gate is 1.0, over n ticks.
std::vector<int> pulses(Clock& c, int rate, int n)
{
  std::vector<int> out;
  for (int t = 1; t <= n; ++t) {
    c.update();
    if (c.output[rate] == 1.0) out.push_back(t);
  }
  return out;
}

constexpr int kQuarter = 9, kWhole = 4, kHalfTriplet = 8;
} // namespace

TEST(TempoClock, Labels)
{
  const char* expected[] = {"4/1",  "2/1.", "2/1", "1/1.",  "1/1",  "1/2.", "1/2",   "1/4.",  "1/2T", "1/4",
                            "1/8.", "1/4T", "1/8", "1/16.", "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64"};
  for (int i = 0; i < Clock::kNumRates; ++i) EXPECT_STREQ(expected[i], Clock::labelSyncRate[i]);
}

TEST(TempoClock, PeriodsFollowTheLabels)
{
  // The label n/d with an optional dot (x1.5) or triplet mark (x2/3) is n/d of a whole note of four beats.
  Clock c;
  ITimeInfo t = at(120.0, 0.0);
  c.synchronize(&t);
  for (int i = 0; i < Clock::kNumRates; ++i) {
    int n = 0, d = 0;
    char mark = 0;
    ASSERT_GE(std::sscanf(Clock::labelSyncRate[i], "%d/%d%c", &n, &d, &mark), 2);
    double beats = 4.0 * n / d;
    if (mark == '.') beats *= 1.5;
    if (mark == 'T') beats *= 2.0 / 3.0;
    EXPECT_EQ((int)std::floor(beats * 500.0 + 0.5), c.period[i]) << Clock::labelSyncRate[i];
  }
  EXPECT_EQ(500, c.period[kQuarter]);
  EXPECT_EQ(667, c.period[kHalfTriplet]);
}

TEST(TempoClock, PeriodsAtSeveralTempos)
{
  struct Case
  {
    double tempo;
    int quarter, whole;
  };
  const Case cases[] = {{120.0, 500, 2000}, {60.0, 1000, 4000}, {90.0, 667, 2667},
                        {140.0, 429, 1714}, {0.0, 500, 2000},   {-10.0, 500, 2000}};
  for (const Case& k : cases) {
    Clock c;
    ITimeInfo t = at(k.tempo, 0.0);
    c.synchronize(&t);
    EXPECT_EQ(k.quarter, c.period[kQuarter]) << k.tempo;
    EXPECT_EQ(k.whole, c.period[kWhole]) << k.tempo;
  }
}

TEST(TempoClock, PulsesOnTheFirstTickThenEveryPeriod)
{
  Clock c;
  ITimeInfo t = at(120.0, 0.0);
  c.synchronize(&t);
  EXPECT_EQ(500, c.countdown[kQuarter]);
  EXPECT_EQ((std::vector<int>{1, 501, 1001, 1501}), pulses(c, kQuarter, 1600));

  Clock fast;
  t = at(140.0, 0.0);
  fast.synchronize(&t);
  EXPECT_EQ((std::vector<int>{1, 430, 859}), pulses(fast, kQuarter, 1000));
}

TEST(TempoClock, RephasesFromThePosition)
{
  Clock c;
  ITimeInfo t = at(120.0, 2.5);
  c.synchronize(&t);
  EXPECT_EQ(750, c.countdown[kWhole]);   // 0.625 of a 2000-tick cycle done
  EXPECT_EQ(250, c.countdown[kQuarter]); // half a quarter done

  // The same position again leaves the running countdowns alone.
  c.update();
  c.update();
  const int running = c.countdown[kQuarter];
  c.synchronize(&t);
  EXPECT_EQ(running, c.countdown[kQuarter]);

  // A jump later in the cycle counts as a new cycle when the count jumps up.
  std::vector<int> p = pulses(c, kQuarter, 10);
  EXPECT_TRUE(p.empty());
  t = at(120.0, 3.1); // 0.1 into the next quarter: countdown 450, above the running count
  c.synchronize(&t);
  EXPECT_EQ(450, c.countdown[kQuarter]);
  p = pulses(c, kQuarter, 460);
  EXPECT_EQ((std::vector<int>{1, 451}), p);
}

TEST(TempoClock, StoppedTransportRunsFreely)
{
  Clock c;
  ITimeInfo t = at(120.0, 8.0);
  c.synchronize(&t);
  pulses(c, kQuarter, 1);
  for (int block = 0; block < 40; ++block) {
    c.synchronize(&t); // the host keeps sending the same position
    pulses(c, kQuarter, 10);
  }
  // 401 ticks after the position: the second pulse comes at tick 501.
  EXPECT_EQ((std::vector<int>{100}), pulses(c, kQuarter, 100));
}

TEST(TempoClock, UnusableHostValues)
{
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  Clock c;
  ITimeInfo good = at(120.0, 0.0);
  c.synchronize(&good);
  const double tempos[] = {nan, inf, -inf, 1e-300, 1e300};
  const double positions[] = {nan, inf, -inf, -3.25, 1e300};
  for (double tempo : tempos)
    for (double pos : positions) {
      ITimeInfo t = at(tempo, pos);
      c.synchronize(&t);
      for (int i = 0; i < 3; ++i) c.update();
      for (int r = 0; r < Clock::kNumRates; ++r) {
        EXPECT_TRUE(c.output[r] == 0.0 || c.output[r] == 1.0);
        EXPECT_GE(c.period[r], 0);
      }
    }
  // A negative position phases like the positive one a whole number of cycles later.
  Clock neg;
  ITimeInfo t = at(120.0, -0.5);
  neg.synchronize(&t);
  EXPECT_EQ(250, neg.countdown[kQuarter]);
}
