// The tool modules, driven call by call as the engine drives them: per-sample transfers of the signal
// processor, blender and sample delay; per-tick transfers of the gate tools (against the tempo clock), lags,
// adders, voltage processor and modulation delay. Expected values are worked out here from the musical
// meaning (products, crossfades, tick counts, a Butterworth low-pass), not read from the modules.
#include "Blender.h"
#include "Clock.h"
#include "GateTools.h"
#include "IPlugBase.h"
#include "LAGAdder.h"
#include "ModDelay.h"
#include "SampleDelay.h"
#include "SignalProc.h"
#include "VoltageProc.h"
#include "module_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string shown(ModuleRig& rig, int p)
{
  char text[IParam::kDisplayBufferSize];
  rig.plug->GetParam(rig.slot * Module::kNumParams + p)->GetDisplayForHost(text);
  return text;
}

// Two control ticks: the first computes, the second publishes.
void twoTicks(Module* m, bool active = true)
{
  m->update(active);
  m->update(active);
}

// Ticks a control-rate output spends at 1.0 while the module runs n ticks.
template <class F> int ticksHigh(Module* m, int n, F out)
{
  int high = 0;
  for (int t = 0; t < n; ++t) {
    m->update(true);
    high += out() == 1.0;
  }
  return high;
}
} // namespace

TEST(SignalProc, EachChannelIsInputTimesModulationTimesGainAndTheFifthTheirSum)
{
  struct Case
  {
    double in;
    bool modulated;
    double mod, gain;
  };
  // One sample's settings per channel; an absent modulation counts as 1, a modulation of 0 silences.
  const Case cases[][4] = {
      {{0.8, false, 0, 1.0}, {0.8, false, 0, -1.0}, {0.5, true, 0.0, 1.0}, {0.5, false, 0.0, 0.3}},
      {{-0.4, true, 0.5, 0.5}, {1.0, true, -1.0, 0.25}, {0.2, true, 2.0, -0.5}, {0.0, true, 1.0, 1.0}},
  };
  ModuleRig rig;
  SignalProc* sp = rig.make<SignalProc>(ModuleConfig::MOD_SIGNALPROC, 48000);
  double in[4], mod[4];
  for (const auto& row : cases) {
    double sum = 0.0, expected[4];
    for (int ch = 0; ch < 4; ++ch) {
      in[ch] = row[ch].in;
      mod[ch] = row[ch].mod;
      sp->input[ch] = &in[ch];
      sp->modulation[ch] = row[ch].modulated ? &mod[ch] : nullptr;
      rig.param(3 * ch + 1, row[ch].gain);
      expected[ch] = row[ch].in * (row[ch].modulated ? row[ch].mod : 1.0) * row[ch].gain;
      sum += expected[ch];
    }
    sp->process();
    for (int ch = 0; ch < 4; ++ch) EXPECT_NE(expected[ch] + 1.0, sp->audioOut[ch]); // published a sample later
    sp->process();
    for (int ch = 0; ch < 4; ++ch) EXPECT_DOUBLE_EQ(expected[ch], sp->audioOut[ch]) << ch;
    EXPECT_DOUBLE_EQ(sum, sp->audioOut[4]);
  }
  // Without an audio input a channel is silent whatever its modulation and gain.
  sp->input[2] = nullptr;
  sp->process();
  sp->process();
  EXPECT_EQ(0.0, sp->audioOut[2]);
}

TEST(Blender, OutputsCrossfadeFromTheFirstToTheSecondInputByTheHeldLevel)
{
  struct Case
  {
    double first, second, blend;
    bool modulated;
    double mod;
    double level; // the crossfade position a musician expects
  };
  const Case cases[] = {
      {0.2, 0.8, 0.5, false, 0, 0.5},    {0.2, 0.8, 0.0, false, 0, 0.0},    {0.2, 0.8, 1.0, false, 0, 1.0},
      {-1.0, 1.0, 0.5, true, 4.0, 1.0},  {-1.0, 1.0, 0.5, true, 0.5, 0.25}, {0.3, -0.6, 0.7, true, -2.0, 0.0},
      {0.3, -0.6, 0.7, true, kNaN, 0.0},
  };
  ModuleRig rig;
  Blender* bl = rig.make<Blender>(ModuleConfig::MOD_BLENDER, 44100);
  for (const Case& c : cases) {
    double a = c.first, b = c.second, m = c.mod;
    bl->inputA1 = bl->inputB1 = &a;
    bl->inputA2 = bl->inputB2 = &b;
    bl->blendModA = c.modulated ? &m : nullptr;
    rig.param(2, c.blend);
    rig.param(6, 0.0); // B at its first input, unmodulated
    bl->process();
    bl->process();
    EXPECT_NEAR((1.0 - c.level) * a + c.level * b, bl->audioOut[0], 1e-12) << c.blend << " " << c.mod;
    EXPECT_DOUBLE_EQ(a, bl->audioOut[1]);
  }
  bl->inputA2 = nullptr; // an absent input counts as 0
  bl->inputB1 = bl->inputB2 = nullptr;
  double a = 0.6;
  bl->inputA1 = &a;
  bl->blendModA = nullptr;
  rig.param(2, 0.25);
  bl->process();
  bl->process();
  EXPECT_NEAR(0.45, bl->audioOut[0], 1e-12);
}

TEST(SampleDelay, EachChannelDelaysAnImpulseByItsShownNumberOfSamples)
{
  const int delays[SampleDelay::kChannels] = {0, 1, 4, 7, 13, 14};
  ModuleRig rig;
  SampleDelay* sd = rig.make<SampleDelay>(ModuleConfig::MOD_SAMPLEDELAY, 22050);
  double x = 0.0;
  for (int ch = 0; ch < SampleDelay::kChannels; ++ch) {
    sd->input[ch] = &x;
    rig.param(6 + ch, delays[ch]);
    // The parameter shows the whole delay, the module's own sample included.
    EXPECT_EQ(std::to_string(delays[ch] + 1), shown(rig, 6 + ch));
  }
  std::vector<int> arrival(SampleDelay::kChannels, -1);
  for (int n = 0; n < 40; ++n) {
    x = n == 3 ? 1.0 : 0.0;
    sd->process();
    for (int ch = 0; ch < SampleDelay::kChannels; ++ch)
      if (sd->audioOut[ch] != 0.0) {
        EXPECT_EQ(-1, arrival[ch]) << "channel " << ch << " repeats";
        EXPECT_EQ(1.0, sd->audioOut[ch]);
        arrival[ch] = n;
      }
  }
  // The impulse entered in the process call of sample 3 and is published d + 1 calls later.
  for (int ch = 0; ch < SampleDelay::kChannels; ++ch) EXPECT_EQ(3 + delays[ch] + 1, arrival[ch]) << ch;
}

TEST(SampleDelay, ANewDelayEmptiesOnlyItsChannelAndAnUnconnectedChannelIsSilent)
{
  ModuleRig rig;
  SampleDelay* sd = rig.make<SampleDelay>(ModuleConfig::MOD_SAMPLEDELAY, 48000);
  double x = 0.5;
  sd->input[0] = sd->input[1] = &x;
  for (int p : {6, 7}) rig.param(p, 9);
  for (int n = 0; n < 20; ++n) sd->process();
  EXPECT_EQ(0.5, sd->audioOut[0]);
  rig.param(6, 5); // channel A starts again from an empty ring
  int silent = 0;
  for (int n = 0; n < 10; ++n) {
    sd->process();
    silent += sd->audioOut[0] == 0.0;
    EXPECT_EQ(0.5, sd->audioOut[1]);
  }
  EXPECT_EQ(5, silent);
  sd->setParameter(8, kNaN); // a bad stored delay is held to the ring
  sd->setDelay(3, 99);
  EXPECT_EQ(0, sd->delay[2]);
  EXPECT_EQ(SampleDelay::kMaxDelay, sd->delay[3]);
  sd->process();
  EXPECT_EQ(0.0, sd->audioOut[4]);
}

TEST(GateTools, APulseStaysHighForTheTriggerTickPlusItsLengthInMilliseconds)
{
  struct Case
  {
    double seconds, amount;
    bool modulated;
    double mod;
    int expectedTicks;
  };
  const Case cases[] = {
      {0.0, 0.0, false, 0, 1},       {0.01, 0.0, false, 0, 11},  {0.25, 0.0, false, 0, 251},
      {1.0, 0.0, false, 0, 1001},    {0.1, 0.2, true, 0.5, 201}, {0.3, -0.5, true, 0.4, 101},
      {5.0, 1.0, true, 1.0, 5001},   {0.2, -1.0, true, 1.0, 1},  {0.2, 1.0, true, kNaN, 1},
      {0.2, 1.0, true, 1e300, 5001},
  };
  for (const Case& c : cases) {
    ModuleRig rig;
    GateTools* gt = rig.make<GateTools>(ModuleConfig::MOD_GATETOOLS, 48000);
    double trigger = 0.0, mod = c.mod;
    gt->triggerB = &trigger;
    gt->lengthModB = c.modulated ? &mod : nullptr;
    rig.param(5, c.seconds);
    rig.param(6, c.amount);
    gt->update(true);
    trigger = 1.0; // a counting gate source rises once and stays
    EXPECT_EQ(c.expectedTicks, ticksHigh(gt, 6000, [&] { return gt->gateOut[GateTools::kGateB]; }))
        << c.seconds << " s, " << c.amount << " x " << c.mod;
    EXPECT_EQ(0.0, gt->gateOut[GateTools::kGateA]);
  }
}

TEST(GateTools, ARiseWhileThePulseRunsRestartsIt)
{
  ModuleRig rig;
  GateTools* gt = rig.make<GateTools>(ModuleConfig::MOD_GATETOOLS, 44100);
  double trigger = 0.0;
  gt->triggerA = &trigger;
  rig.param(1, 0.1);
  trigger = 1.0;
  auto gate = [&] { return gt->gateOut[GateTools::kGateA]; };
  EXPECT_EQ(59, ticksHigh(gt, 60, gate)); // the first tick publishes what came before the rise
  trigger = 2.0;
  EXPECT_EQ(1 + 101, ticksHigh(gt, 400, gate)); // one tick published from before the rise, then 1 + 100 ms
}

TEST(GateTools, DividersPassEveryNthClockOfTheTempoClock)
{
  ITimeInfo time;
  time.mTempo = 120.0;
  time.mPPQPos = 0.0;
  for (int division : {9, 15}) // "1/4" and "1/16"
    for (int divider = 0; divider <= GateTools::kMaxDivider; ++divider) {
      Clock clock;
      clock.synchronize(&time);
      const int period = (int)std::floor(Clock::syncRate[division] * 500.0 + 0.5); // 120 bpm: 500 ms a beat
      ModuleRig rig;
      GateTools* gt = rig.make<GateTools>(ModuleConfig::MOD_GATETOOLS, 48000);
      gt->clockC = &clock.output[division];
      rig.param(9, divider);
      EXPECT_EQ(std::to_string(divider + 1), shown(rig, 9));
      std::vector<int> clocks, passes;
      for (int t = 0; t < 40 * period; ++t) {
        clock.update(); // the engine runs the clock before the modules
        gt->update(true);
        if (clock.output[division] == 1.0) clocks.push_back(t);
        if (gt->gateOut[GateTools::kDivC] == 1.0) passes.push_back(t);
        EXPECT_EQ(0.0, gt->gateOut[GateTools::kDivD]);
      }
      ASSERT_GE(clocks.size(), 40u);
      // Every (divider + 1)-th clock passes, the first being clock number divider + 1, a tick later.
      ASSERT_EQ(clocks.size() / (divider + 1), passes.size()) << division << " / " << divider + 1;
      for (size_t k = 0; k < passes.size(); ++k) EXPECT_EQ(clocks[(k + 1) * (divider + 1) - 1] + 1, passes[k]);
      for (size_t k = 1; k < passes.size(); ++k) EXPECT_EQ((divider + 1) * period, passes[k] - passes[k - 1]);
    }
}

TEST(GateTools, ANewDividerRestartsOnlyItsOwnCountAndTheJoinSumsItsInputs)
{
  ModuleRig rig;
  GateTools* gt = rig.make<GateTools>(ModuleConfig::MOD_GATETOOLS, 48000);
  double clock = 0.0;
  gt->clockC = gt->clockD = &clock;
  rig.param(9, 3);  // "4"
  rig.param(11, 3); // "4"
  auto tick = [&](double c) {
    clock = c;
    gt->update(true);
  };
  for (int k = 0; k < 6; ++k) { // six clocks: counts C and D both stand two clocks after a pass
    tick(1.0);
    tick(0.0);
  }
  rig.param(11, 1); // D: "2", counted afresh
  int c = 0, d = 0;
  for (int k = 0; k < 4; ++k) {
    tick(1.0);
    tick(0.0);
    c += gt->gateOut[GateTools::kDivC] == 1.0;
    d += gt->gateOut[GateTools::kDivD] == 1.0;
  }
  EXPECT_EQ(1, c); // C passes the eighth clock
  EXPECT_EQ(2, d); // D passes the second and fourth after the change

  double j1 = 1.0, j2 = 1.0, j3 = 0.0;
  gt->join[0] = &j1, gt->join[1] = &j2, gt->join[3] = &j3;
  twoTicks(gt);
  EXPECT_EQ(2.0, gt->gateOut[GateTools::kJoinE]);
  j2 = kNaN;
  twoTicks(gt);
  EXPECT_TRUE(std::isfinite(gt->gateOut[GateTools::kJoinE]));
}

namespace {
// Step response of the continuous second-order Butterworth low-pass of corner wc (radians per tick): the
// tick count at which it first reaches half of the step, by bisection on its closed form.
double butterworthHalfTime(double wc)
{
  const double z = 1.0 / std::sqrt(2.0), wd = wc * z;
  auto y = [&](double t) { return 1.0 - std::exp(-z * wc * t) * (std::cos(wd * t) + std::sin(wd * t)); };
  double lo = 0.0, hi = 4.0 / wc;
  for (int i = 0; i < 100; ++i) (y(0.5 * (lo + hi)) < 0.5 ? lo : hi) = 0.5 * (lo + hi);
  return lo;
}

double lagCorner(double amount)
{
  return std::pow(1.0 - amount, 6) * M_PI / 2;
}
} // namespace

TEST(LAGAdder, ALagsStepResponseTakesTheTimeOfItsCorner)
{
  for (double amount : {0.2, 0.4, 0.5, 0.6, 0.7, 0.8}) {
    ModuleRig rig;
    LAGAdder* la = rig.make<LAGAdder>(ModuleConfig::MOD_LAGADDER, 48000);
    double x = 0.0;
    la->lagInputA = &x;
    rig.param(1, amount);
    rig.param(3, 0.5); // B is not connected: it puts out 0
    for (int t = 0; t < 10; ++t) la->update(true);
    x = 1.0;
    // The tick rate's bilinear map turns the corner w0 into 2 tan(w0 / 2) of the continuous filter.
    const double expected = butterworthHalfTime(2.0 * std::tan(lagCorner(amount) / 2.0));
    long t = 0;
    while (la->modOut[0] < 0.5 && t < 100000000) {
      la->update(true);
      ++t;
    }
    EXPECT_NEAR(expected, t - 1.5, 1.0 + 0.01 * expected) << amount; // one tick of publication, half a tick of sampling
    EXPECT_EQ(0.0, la->modOut[1]);
  }
}

TEST(LAGAdder, AtAmountZeroALagIsA250HzButterworthLowPass)
{
  for (double hz : {20.0, 100.0, 250.0, 400.0}) {
    ModuleRig rig;
    LAGAdder* la = rig.make<LAGAdder>(ModuleConfig::MOD_LAGADDER, 48000);
    double x = 0.0;
    la->lagInputA = &x;
    rig.param(1, 0.0);
    double num = 0.0, den = 0.0;
    for (int t = 0; t < 3000; ++t) {
      x = std::sin(2 * M_PI * hz * t / 1000.0);
      la->update(true);
      if (t >= 1000) { // steady state: project on the sine and cosine one tick back
        const double p = 2 * M_PI * hz * (t - 2) / 1000.0;
        num += la->modOut[0] * std::sin(p);
        den += la->modOut[0] * std::cos(p);
      }
    }
    const double measured = 2.0 * std::hypot(num, den) / 2000.0;
    const double ratio = std::tan(M_PI * hz / 1000.0) / std::tan(M_PI / 4); // warped, against the 250 Hz corner
    EXPECT_NEAR(1.0 / std::sqrt(1.0 + std::pow(ratio, 4)), measured, 0.01) << hz;
  }
}

TEST(LAGAdder, ALagAtTheSlowEndStaysNearItsInputForAnHour)
{
  // A 5 Hz modulation through a quick lag; the amount then goes to the slow end while the output moves.
  for (double amount : {0.9, 0.95, 0.99, 1.0}) {
    ModuleRig rig;
    LAGAdder* la = rig.make<LAGAdder>(ModuleConfig::MOD_LAGADDER, 44100);
    double x = 0.0;
    la->lagInputA = &x;
    rig.param(1, 0.0);
    long t = 0;
    for (; t < 1030; ++t) { // stops on a steep part of the wave
      x = std::sin(2 * M_PI * 5.0 * t / 1000.0);
      la->update(true);
    }
    rig.param(1, amount);
    double extreme = 0.0;
    const double held = la->nextModOut[0];
    for (; t < 3600L * 1000; ++t) {
      x = std::sin(2 * M_PI * 5.0 * t / 1000.0);
      la->update(true);
      extreme = std::max(extreme, std::fabs(la->modOut[0]));
    }
    EXPECT_LE(extreme, 1.05) << amount;
    if (amount == 1.0) {
      EXPECT_EQ(held, la->modOut[0]); // the pole at 0 holds the output
    }
  }
}

TEST(LAGAdder, AtAmountOneALagAtRestStaysAndAdaptsNothing)
{
  ModuleRig rig;
  LAGAdder* la = rig.make<LAGAdder>(ModuleConfig::MOD_LAGADDER, 48000);
  double x = 0.7;
  la->lagInputA = &x;
  rig.param(1, 1.0);
  for (int t = 0; t < 5000; ++t) la->update(true);
  EXPECT_EQ(0.0, la->modOut[0]);
  rig.param(1, 0.0); // settles at the input, then holds it once slowed to a stop
  for (int t = 0; t < 100; ++t) la->update(true);
  EXPECT_NEAR(0.7, la->modOut[0], 1e-9);
  rig.param(1, 1.0);
  x = -0.3;
  for (int t = 0; t < 5000; ++t) la->update(true);
  EXPECT_NEAR(0.7, la->modOut[0], 1e-9);
  x = kNaN; // a bad input starts the lag from rest
  twoTicks(la);
  EXPECT_EQ(0.0, la->modOut[0]);
}

TEST(LAGAdder, AddersSumTwoScaledInputs)
{
  struct Case
  {
    bool on1;
    double in1, amount1;
    bool on2;
    double in2, amount2;
  };
  const Case cases[] = {{false, 1, 1, false, 1, 1},
                        {true, 0.5, -1, false, 1, 1},
                        {true, 0.5, 0.5, true, -0.8, 0.25},
                        {false, 1, 1, true, 0.6, -0.5},
                        {true, 1, 1, true, 1, 1}};
  ModuleRig rig;
  LAGAdder* la = rig.make<LAGAdder>(ModuleConfig::MOD_LAGADDER, 48000);
  for (const Case& c : cases) {
    double a = c.in1, b = c.in2;
    la->adderC1 = la->adderD2 = c.on1 ? &a : nullptr;
    la->adderC2 = la->adderD1 = c.on2 ? &b : nullptr;
    for (int p : {5, 11}) rig.param(p, c.amount1);
    for (int p : {7, 9}) rig.param(p, c.amount2);
    twoTicks(la);
    const double expected = (c.on1 ? c.in1 * c.amount1 : 0.0) + (c.on2 ? c.in2 * c.amount2 : 0.0);
    EXPECT_NEAR(expected, la->modOut[2], 1e-12);
    EXPECT_NEAR(expected, la->modOut[3], 1e-12);
  }
}

TEST(VoltageProc, ScaleAndOffsetUnitsAndMultipliers)
{
  struct Case
  {
    bool onA;
    double a, scale, offset;
    bool onFirst, onSecond;
    double first, second, level;
  };
  const Case cases[] = {
      {false, 0.9, 0.0, 0.5, false, true, 0.5, 0.5, 1.0},  {true, 0.9, 0.0, 0.5, true, false, 0.5, 0.0, -0.5},
      {true, 0.8, -0.5, 0.25, true, true, 0.5, -0.6, 0.5}, {true, -1.0, 1.0, -1.0, true, true, -1.0, -1.0, 1.0},
      {false, 0.0, 0.0, 0.0, false, false, 0.0, 0.0, 0.0},
  };
  ModuleRig rig;
  VoltageProc* vp = rig.make<VoltageProc>(ModuleConfig::MOD_VOLTAGEPROC, 48000);
  for (const Case& c : cases) {
    double a = c.a, f = c.first, s = c.second;
    vp->inputA = vp->inputB = c.onA ? &a : nullptr;
    vp->firstC = vp->firstD = c.onFirst ? &f : nullptr;
    vp->secondC = vp->secondD = c.onSecond ? &s : nullptr;
    for (int p : {1, 4}) rig.param(p, c.scale);
    for (int p : {2, 5}) rig.param(p, c.offset);
    for (int p : {7, 10}) rig.param(p, c.level);
    twoTicks(vp);
    const double expectedA = (c.onA ? c.a * c.scale : 0.0) + c.offset;
    const double expectedC = !c.onFirst ? 0.0 : c.first * (c.onSecond ? c.second : 1.0) * c.level;
    for (int k : {0, 1}) EXPECT_NEAR(expectedA, vp->modOut[k], 1e-12);
    for (int k : {2, 3}) EXPECT_NEAR(expectedC, vp->modOut[k], 1e-12);
  }
  // An idle voice's processor does nothing, not even publish.
  double a = 1.0;
  vp->inputA = &a;
  rig.param(1, 1.0);
  rig.param(2, 0.0);
  const double before = vp->modOut[0];
  twoTicks(vp, false);
  EXPECT_EQ(before, vp->modOut[0]);
  twoTicks(vp);
  EXPECT_EQ(1.0, vp->modOut[0]);
}

TEST(ModDelay, TheLineDelaysByItsTicksAndZeroMeansFiveThousand)
{
  struct Case
  {
    double setting;
    int ticks;
  };
  const Case cases[] = {{0, 5000}, {1, 1}, {10, 10}, {250, 250}, {4999, 4999}, {5000, 4999}, {kNaN, 5000}};
  for (const Case& c : cases) {
    ModuleRig rig;
    ModDelay* md = rig.make<ModDelay>(ModuleConfig::MOD_MODDELAY, 96000);
    double x = 0.0;
    md->delayInput2 = &x;
    rig.param(3, 0.5);
    md->setParameter(4, c.setting);
    for (int t = 0; t < 37; ++t) md->update(true); // the line has run a while
    int arrival = -1;
    for (int t = 0; t < 5100; ++t) {
      x = t == 0 ? 1.0 : 0.0;
      md->update(true);
      if (md->modOut[0] != 0.0) {
        EXPECT_EQ(0.5, md->modOut[0]);
        EXPECT_EQ(-1, arrival);
        arrival = t;
      }
    }
    EXPECT_EQ(c.ticks + 1, arrival) << c.setting; // a tick of publication after the read
  }
}

TEST(ModDelay, FeedbackOneRepeatsTheLineEveryDelay)
{
  ModuleRig rig;
  ModDelay* md = rig.make<ModDelay>(ModuleConfig::MOD_MODDELAY, 48000);
  double x = 1.0;
  md->delayInput1 = &x;
  rig.param(4, 40);
  rig.param(5, 1.0);
  md->update(true);
  x = 0.0;
  std::vector<int> repeats;
  for (int t = 1; t <= 200; ++t) {
    md->update(true);
    if (md->modOut[0] != 0.0) {
      EXPECT_EQ(1.0, md->modOut[0]);
      repeats.push_back(t);
    }
  }
  EXPECT_EQ((std::vector<int>{41, 81, 121, 161}), repeats);
  // Without inputs the line stands still and says 0; a bad input value never enters the line.
  md->delayInput1 = nullptr;
  twoTicks(md);
  EXPECT_EQ(0.0, md->modOut[0]);
  x = kNaN;
  md->delayInput1 = &x;
  for (int t = 0; t < 100; ++t) {
    md->update(true);
    EXPECT_TRUE(std::isfinite(md->modOut[0]));
  }
}

TEST(ModDelay, ComparatorsGateAtOrAboveTheirThresholdAndTheAdderSums)
{
  struct Case
  {
    bool connected;
    double in, threshold, gate;
  };
  const Case cases[] = {{true, 0.3, 0.3, 1.0},   {true, 0.29, 0.3, 0.0},  {true, -0.5, -0.6, 1.0},
                        {false, 1.0, -1.0, 0.0}, {true, kNaN, -1.0, 0.0}, {true, 1e6, 1.0, 1.0}};
  ModuleRig rig;
  ModDelay* md = rig.make<ModDelay>(ModuleConfig::MOD_MODDELAY, 48000);
  for (const Case& c : cases) {
    double x = c.in;
    md->comparatorB = c.connected ? &x : nullptr;
    rig.param(13, c.threshold);
    twoTicks(md);
    EXPECT_EQ(c.gate, md->gateOut[1]) << c.in << " against " << c.threshold;
    EXPECT_EQ(0.0, md->gateOut[0]);
  }
  md->comparatorB = nullptr;
  double a = 0.4, b = -0.2;
  md->adderInput1 = &a;
  md->adderInput2 = &b;
  rig.param(8, 0.5);
  rig.param(9, -1.0);
  twoTicks(md);
  EXPECT_NEAR(0.4 * 0.5 + 0.2, md->modOut[1], 1e-12);
  md->update(false); // an idle voice's module does nothing
  a = 0.0;
  md->update(false);
  EXPECT_NEAR(0.4, md->modOut[1], 1e-12);
}
