// The modulators and sequencers: LFO rates, phases and waves against their parameters and the tempo clock,
// envelope segment times against the level laws, sample and hold clocks, step timing of the sequencers
// against the host's tempo and the routing of the switches.
#include "AudioSwitch.h"
#include "BeatSeq.h"
#include "Envelope.h"
#include "Envelope2.h"
#include "Envelope4.h"
#include "LFO.h"
#include "LFO2.h"
#include "LinEnvelope.h"
#include "SHNoise.h"
#include "SeqSwitch.h"
#include "Sequencer.h"
#include "module_rig.h"

#include "../engine/engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {
constexpr double kTwoPi = 6.283185307179586;

// Ticks of a free-running clock at hz.
int ticksAt(double hz)
{
  return (int)std::floor(1000.0 / hz + 0.5);
}

// One clock rise into a module that publishes a tick later: the clock source steps up and two ticks run.
void clockIn(Module* m, double& clock)
{
  clock += 1.0;
  m->update(true);
  m->update(true);
}

// Ticks (of 1 ms) at which a gate output of a module run tick by tick rose from 0 to 1.
template <class M> std::vector<long> gateRises(M* m, int gate, long ticks)
{
  std::vector<long> rises;
  double last = m->gateOut[gate];
  for (long t = 0; t < ticks; ++t) {
    m->update(true);
    if (m->gateOut[gate] > last) rises.push_back(t);
    last = m->gateOut[gate];
  }
  return rises;
}

// ---- a product driven through its host path: 48 kHz, blocks of one control tick, transport at a tempo ----
struct Hosted
{
  HostedVeltrane h{48000.0, 48};
  explicit Hosted(double tempo) { h.tempo = tempo; }
  Module* put(int slot, ModuleConfig::ModuleID id)
  {
    h.plug->replaceModule(slot, id, true, false);
    return h.plug->masterModules[slot];
  }
  void set(int slot, int p, double value)
  {
    const int idx = slot * Module::kNumParams + p;
    h.plug->SetParameterFromGUI(idx, h.plug->GetParam(idx)->GetNormalized(value));
  }
  void select(int slot, int p, SourceDef::SourceType t, int module, int index)
  {
    SelectSource(*h.plug, slot * Module::kNumParams + p, true, t, module, index);
  }
  void tick() { h.run(48); }
};

// Beats of each clock division, as the labels read ("1/4." is a dotted quarter, "1/8T" a triplet eighth).
double divisionBeats(int d)
{
  const char* label = Clock::labelSyncRate[d];
  int num = 0, den = 0;
  std::sscanf(label, "%d/%d", &num, &den);
  double beats = 4.0 * num / den;
  if (std::strchr(label, '.')) beats *= 1.5;
  if (std::strchr(label, 'T')) beats *= 2.0 / 3.0;
  return beats;
}
} // namespace

// ---- LFO ----

TEST(LfoRate, CycleLengthInTicksFollowsTheRate)
{
  for (double hz : {0.5, 1.0, 5.5, 13.0, 40.0, 100.0}) {
    ModuleRig rig;
    LFO* lfo = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
    rig.param(3, hz);
    const std::vector<long> rises = gateRises(lfo, 0, 3 * ticksAt(hz) + 5);
    ASSERT_GE(rises.size(), 3u) << hz;
    for (size_t i = 1; i < rises.size(); ++i) EXPECT_EQ(ticksAt(hz), rises[i] - rises[i - 1]) << hz;
  }
}

TEST(LfoWaves, EachWaveFollowsItsFormulaOverOneCycle)
{
  struct Case
  {
    int wave;
    double shape, phase;
  };
  const Case cases[] = {{LFO::kSinoid, 0.0, 0.0},    {LFO::kSinoid, 0.6, 0.25},   {LFO::kTrapezoid, -0.5, 0.0},
                        {LFO::kTrapezoid, 0.3, 0.5}, {LFO::kTrapezoid, 1.0, 0.0}, {LFO::kPulse, 0.5, 0.0},
                        {LFO::kPulse, -0.8, 0.1}};
  for (const Case& c : cases) {
    ModuleRig rig;
    LFO* lfo = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
    rig.param(0, c.wave);
    rig.param(1, c.shape);
    rig.param(2, c.phase);
    rig.param(3, 10.0); // 100 ticks
    rig.param(6, 0.8);
    const double shape = rig.paramValue(1), phase = rig.paramValue(2);
    const int period = 100;
    lfo->update(true); // first tick: the countdown restarts at period - 1
    for (int j = 0; j < 2 * period; ++j) {
      const int counter = lfo->counter;
      double p = 1.0 - (double)counter / (period - 1) + phase;
      if (p > 1.0) p -= 1.0;
      const double w = (shape + 1) / 2;
      double x;
      if (c.wave == LFO::kSinoid)
        x = std::sin(kTwoPi * p - shape * std::sin(kTwoPi * p));
      else if (c.wave == LFO::kPulse)
        x = p < w ? 1.0 : -1.0;
      else if (shape >= 1.0)
        x = 2 * p - 1;
      else
        x = p < w ? 2 * p / w - 1 : 1 - 2 * (p - w) / (1 - w);
      lfo->update(true);
      lfo->update(false); // the next tick publishes what this one computed; the flag changes nothing
      ASSERT_NEAR(0.8 * x, lfo->modOut[0], 1e-12) << c.wave << " " << c.shape << " tick " << j;
      ASSERT_NEAR(0.4 * (1 + x), lfo->modOut[1], 1e-12);
      ASSERT_EQ(p < w ? 1.0 : 0.0, lfo->gateOut[0]);
    }
  }
}

TEST(LfoWaves, RandomHoldsOneDrawPerCycleFromTheSharedSeed)
{
  ModuleRig rig;
  LFO* lfo = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
  rig.param(0, LFO::kRandom);
  rig.param(3, 20.0); // 50 ticks
  lfo->update(true);
  std::vector<double> held;
  for (int t = 0; t < 500; ++t) {
    lfo->update(true);
    if (held.empty() || lfo->modOut[0] != held.back()) held.push_back(lfo->modOut[0]);
  }
  // One value per cycle: the seed is shared, so the values are not predictable here, only their count.
  EXPECT_GE(held.size(), 9u);
  EXPECT_LE(held.size(), 11u);
  for (double v : held) EXPECT_LE(std::fabs(v), 1.0);
}

TEST(LfoRate, NegativeModulationLowersTheRateByAHundredTimesTheAmountToTheFourth)
{
  ModuleRig rig;
  LFO* lfo = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
  double source = 1.0;
  rig.param(3, 20.0);
  rig.param(4, -0.5); // 100 * 0.5^4 = 6.25 Hz less
  lfo->rateModSource = &source;
  lfo->update(true);
  EXPECT_EQ(ticksAt(13.75), lfo->period);
  rig.param(4, 0.5);
  lfo->update(true);
  EXPECT_EQ(ticksAt(26.25), lfo->period);
  source = 1e6; // far beyond: the top rate
  lfo->update(true);
  EXPECT_EQ(10, lfo->period);
}

TEST(LfoRate, SlowRateChangeKeepsThePositionWithoutOverflow)
{
  const int rateParam[] = {3, 2, 2, 0}; // of the LFO, dual LFO, sample and hold, sequenced switch
  for (int which = 0; which < 4; ++which) {
    ModuleRig rig;
    Module* m = nullptr;
    int *counter = nullptr, *period = nullptr;
    if (which == 0) {
      LFO* l = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
      m = l, counter = &l->counter, period = &l->period;
    } else if (which == 1) {
      LFO2* l = rig.make<LFO2>(ModuleConfig::MOD_LFO2, 48000);
      m = l, counter = &l->counter[0], period = &l->period[0];
    } else if (which == 2) {
      SHNoise* s = rig.make<SHNoise>(ModuleConfig::MOD_SHNOISE, 48000);
      m = s, counter = &s->counter[0], period = &s->period[0];
    } else {
      SeqSwitch* s = rig.make<SeqSwitch>(ModuleConfig::MOD_SEQSWITCH, 48000);
      m = s, counter = &s->counter, period = &s->period;
    }
    rig.param(rateParam[which], 0.001);
    ASSERT_EQ(1000000, *period);
    double src = 0.5;
    if (which == 2) static_cast<SHNoise*>(m)->input[0] = &src; // its countdown runs only with an input
    m->update(true);
    m->update(true);
    const int before = *counter; // 999,998: near the top of the cycle
    ASSERT_GT(before, 999000) << which;
    rig.param(rateParam[which], 0.0011); // 909,091 ticks: counter * new period passes 2^31
    EXPECT_EQ(ticksAt(0.0011), *period);
    EXPECT_EQ((long long)before * 909091 / 1000000, *counter) << which;
    m->update(true);
    if (which == 0) {
      EXPECT_GE(m->modOut[1], 0.0);
      EXPECT_LE(m->modOut[1], 1.0);
    }
  }
}

TEST(LfoReset, ResetRestartsTheCycleAtThePhaseParameter)
{
  ModuleRig rig;
  LFO* lfo = rig.make<LFO>(ModuleConfig::MOD_LFO, 48000);
  double reset = 0.0;
  lfo->resetSource = &reset;
  rig.param(0, LFO::kTrapezoid);
  rig.param(1, 1.0); // a rising ramp: x = 2p - 1
  rig.param(3, 10.0);
  for (int t = 0; t < 37; ++t) lfo->update(true);
  clockIn(lfo, reset);
  EXPECT_NEAR(2.0 * (-1.0 / 99.0) - 1.0, lfo->modOut[0], 1e-12); // the reset tick's phase, below 0
  lfo->update(true);
  EXPECT_NEAR(-1.0, lfo->modOut[0], 1e-12); // the cycle starts at phase 0
}

TEST(DualLfo, WavesGateAndIndependentResets)
{
  ModuleRig rig;
  LFO2* lfo = rig.make<LFO2>(ModuleConfig::MOD_LFO2, 48000);
  double resetA = 0.0;
  lfo->resetSource[0] = &resetA;
  for (int wave = LFO2::kSine; wave <= LFO2::kSquare; ++wave) {
    rig.param(0, wave);
    rig.param(1, LFO2::kSquare);
    rig.param(2, 10.0); // 100 ticks
    rig.param(3, 5.5);  // 182 ticks
    for (int t = 0; t < 400; ++t) {
      const int c = lfo->counter[0], cb = lfo->counter[1];
      const double x = 1.0 - 2.0 * c / 99.0;
      const double expected[] = {std::sin(-M_PI * x), x < 0 ? 2 * x + 1 : 1 - 2 * x, -x, x, x < 0 ? 1.0 : -1.0};
      lfo->update(true);
      lfo->update(true);
      ASSERT_NEAR(expected[wave], lfo->modOut[0], 1e-12) << wave << " " << t;
      ASSERT_NEAR(0.5 * (1 + expected[wave]), lfo->modOut[1], 1e-12);
      ASSERT_EQ(x < 0 ? 1.0 : 0.0, lfo->gateOut[0]);
      const double xb = 1.0 - 2.0 * cb / 181.0;
      ASSERT_EQ(xb < 0 ? 1.0 : -1.0, lfo->modOut[2]); // square B moves with its gate
      ASSERT_EQ(xb < 0 ? 1.0 : 0.0, lfo->gateOut[1]);
      if (t == 250) {
        const int before = lfo->counter[1];
        resetA += 1.0;
        lfo->update(true);
        EXPECT_EQ(99, lfo->counter[0]);         // A restarted...
        EXPECT_EQ(before - 1, lfo->counter[1]); // ...B went on counting
      }
    }
  }
}

// Every division at 20, 120 and 999 BPM, through the host path: ten LFOs and five dual LFOs in the master
// slots, one per division. Each tick's value follows the clock's countdown of two ticks before; successive
// cycles start one division apart in time, to the tick.
TEST(LfoSync, EveryDivisionFollowsTheHostTempo)
{
  for (double tempo : {20.0, 120.0, 999.0}) {
    Hosted h(tempo);
    LFO* lfo[10];
    LFO2* lfo2[5];
    for (int d = 0; d < 10; ++d) {
      lfo[d] = static_cast<LFO*>(h.put(d, ModuleConfig::MOD_LFO));
      h.set(d, 10, d + 1);
    }
    for (int k = 0; k < 5; ++k) {
      lfo2[k] = static_cast<LFO2*>(h.put(10 + k, ModuleConfig::MOD_LFO2));
      h.set(10 + k, 12, 10 + 2 * k + 1);
      h.set(10 + k, 13, 10 + 2 * k + 2);
    }
    const Clock& clock = h.h.plug->clock;
    const double msLongest = divisionBeats(0) * 60000.0 / tempo;
    const long ticks = (long)(2.2 * msLongest) + 20;
    std::vector<std::vector<int>> countdown(Clock::kNumRates), period(Clock::kNumRates);
    std::vector<std::vector<long>> rises(Clock::kNumRates), clockGates(Clock::kNumRates);
    std::vector<double> lastGate(Clock::kNumRates, 0.0);
    for (long t = 0; t < ticks; ++t) {
      h.tick();
      for (int d = 0; d < Clock::kNumRates; ++d) {
        countdown[d].push_back(clock.countdown[d]);
        period[d].push_back(clock.period[d]);
        if (clock.output[d] > 0.0) clockGates[d].push_back(t);
        double value, gate;
        if (d < 10) {
          value = lfo[d]->modOut[0], gate = lfo[d]->gateOut[0];
        } else {
          LFO2* l = lfo2[(d - 10) / 2];
          const int i = (d - 10) & 1;
          value = l->modOut[2 * i], gate = l->gateOut[i];
        }
        if (gate > lastGate[d]) rises[d].push_back(t);
        lastGate[d] = gate;
        if (t < 3) continue;
        const double c = countdown[d][t - 2], p = period[d][t - 2];
        ASSERT_GT(p, 1) << tempo << " " << d;
        const double expected = d < 10 ? std::sin(kTwoPi * (1.0 - 2.0 * c / (2.0 * p - 1.0)))
                                       : std::sin(-M_PI * (1.0 - 4.0 * c / (2.0 * p - 1.0)));
        ASSERT_NEAR(expected, value, 1e-9) << tempo << " BPM, " << Clock::labelSyncRate[d] << ", tick " << t;
      }
    }
    for (int d = 0; d < Clock::kNumRates; ++d) {
      const double ms = divisionBeats(d) * 60000.0 / tempo;
      const std::string at = std::to_string((int)tempo) + " BPM, " + Clock::labelSyncRate[d];
      ASSERT_GE(rises[d].size(), 2u) << at;
      EXPECT_NEAR((double)ticks / ms, (double)rises[d].size(), 1.5) << at;
      for (size_t i = 1; i < rises[d].size(); ++i) EXPECT_NEAR(ms, rises[d][i] - rises[d][i - 1], 1.0) << at;
      // A cycle begins one tick after the division's gate and shows one tick later.
      for (long r : rises[d])
        EXPECT_EQ(1, std::count(clockGates[d].begin(), clockGates[d].end(), r - 2)) << at << ": rise at tick " << r;
    }
  }
}

// ---- exponential envelopes ----

namespace {
// The per-sample coefficient of an exponential segment at time setting t: 10^(2.3 - 4.5 t) ln(10) / rate.
double coefficient(double t, double rate)
{
  return std::pow(10.0, 2.3 - 4.5 * t) * std::log(10.0) / rate;
}

// Seconds for an exponential segment to cover 90% of its distance: (1 - c)^n = 0.1 gives n = ln(0.1) / ln(1 - c).
double segmentSeconds(double t, double rate)
{
  return std::log(0.1) / std::log(1.0 - coefficient(t, rate)) / rate;
}

// Seconds for a fall from level toward -1/9 at the coefficient of t to reach 0: (1 - c)^n = (1/9) / (level + 1/9).
double releaseSeconds(double t, double level, double rate)
{
  return std::log((1.0 / 9) / (level + 1.0 / 9)) / std::log(1.0 - coefficient(t, rate)) / rate;
}

// n samples at the rate last the given seconds, within 1% and two samples.
testing::AssertionResult lasts(double seconds, long n, double rate)
{
  if (std::fabs(seconds - n / rate) <= 0.01 * seconds + 2.0 / rate) return testing::AssertionSuccess();
  return testing::AssertionFailure() << n / rate << " s instead of " << seconds << " s";
}

// Samples until done() holds, driven as the engine drives a module (an update every rate / 1000 samples).
template <class D> long samplesUntil(Module* m, double rate, double maxSeconds, D done)
{
  const int period = (int)rate / 1000;
  const long max = (long)(maxSeconds * rate);
  for (long i = 0; i < max; ++i) {
    if (i % period == 0) m->update(true);
    m->process();
    if (done()) return i + 1;
  }
  return -1;
}

void runFor(Module* m, double rate, double seconds)
{
  samplesUntil(m, rate, seconds, [] { return false; });
}
} // namespace

TEST(DualEnvelope, SegmentTimesFollowTheLevelLaw)
{
  for (double rate : {44100.0, 96000.0})
    for (double t : {0.0, 0.3, 0.55}) {
      ModuleRig rig;
      Envelope2* env = rig.make<Envelope2>(ModuleConfig::MOD_ENVELOPE2, rate);
      double gate = 0.0;
      env->gate[1] = &gate; // envelope B; A has no gate and stays at 0
      rig.param(3, t);      // attack B
      rig.param(5, t);      // decay B
      rig.param(7, 0.2);    // sustain B
      rig.param(9, t);      // release B
      gate = 1.0;
      const double seconds = segmentSeconds(t, rate);
      long n = samplesUntil(env, rate, 60, [&] { return env->state[1] == Envelope2::kDecay; });
      EXPECT_TRUE(lasts(seconds, n, rate)) << "attack " << t;
      n = samplesUntil(env, rate, 60, [&] { return env->modOut[1] <= 0.2 + 0.08; });
      EXPECT_TRUE(lasts(seconds, n, rate)) << "decay " << t;
      runFor(env, rate, 8 * seconds);
      EXPECT_NEAR(0.2, env->modOut[1], 1e-6);
      gate = 0.0; // from the sustain level 0.2 toward -1/9
      n = samplesUntil(env, rate, 60, [&] { return env->state[1] == Envelope2::kIdle; });
      EXPECT_TRUE(lasts(releaseSeconds(t, 0.2, rate), n, rate)) << "release " << t;
      EXPECT_EQ(0.0, env->modOut[0]);
    }
}

TEST(DualEnvelope, SustainChangeInTheDecayMovesTheTargetAtOnce)
{
  ModuleRig rig;
  Envelope2* env = rig.make<Envelope2>(ModuleConfig::MOD_ENVELOPE2, 48000);
  double gate = 1.0;
  env->gate[0] = &gate;
  rig.param(6, 0.5);
  runFor(env, 48000, 0.5);
  EXPECT_NEAR(0.5, env->modOut[0], 1e-6);
  rig.param(6, 0.7);
  runFor(env, 48000, 0.5);
  EXPECT_NEAR(0.7, env->modOut[0], 1e-6);
}

TEST(QuadEnvelope, AttackThenDecayToZeroThenIdleOnlyAfterTheGateFalls)
{
  const double rate = 48000;
  ModuleRig rig;
  Envelope4* env = rig.make<Envelope4>(ModuleConfig::MOD_ENVELOPE4, rate);
  double gate = 0.0;
  env->gate[2] = &gate; // envelope C
  rig.param(6, 0.2);    // attack C
  rig.param(10, 0.1);   // decay C
  gate = 1.0;
  const long n = samplesUntil(env, rate, 10, [&] { return env->state[2] == Envelope4::kDecay; });
  EXPECT_TRUE(lasts(segmentSeconds(0.2, rate), n, rate));
  const long m = samplesUntil(env, rate, 10, [&] { return env->modOut[2] <= 0.1; });
  EXPECT_TRUE(lasts(segmentSeconds(0.1, rate), m, rate));
  runFor(env, rate, 3.0); // far past the denormal range while the gate is held
  EXPECT_EQ(Envelope4::kDecay, env->state[2]);
  EXPECT_EQ(0.0, env->modOut[2]);
  gate = 0.0;
  runFor(env, rate, 0.01);
  EXPECT_EQ(Envelope4::kIdle, env->state[2]);
  for (int i : {0, 1, 3}) EXPECT_EQ(0.0, env->modOut[i]);
}

TEST(QuadEnvelope, AFallDuringTheAttackTurnsWithTheDecayCoefficient)
{
  const double rate = 48000;
  ModuleRig rig;
  Envelope4* env = rig.make<Envelope4>(ModuleConfig::MOD_ENVELOPE4, rate);
  double gate = 1.0;
  env->gate[0] = &gate;
  rig.param(4, 0.5);
  rig.param(8, 0.2);
  runFor(env, rate, 0.05);
  const double level = env->modOut[0];
  ASSERT_GT(level, 0.01);
  ASSERT_LT(level, 0.9);
  gate = 0.0; // from the level toward -1/9 with the decay coefficient
  const long n = samplesUntil(env, rate, 10, [&] { return env->state[0] == Envelope4::kIdle; });
  EXPECT_TRUE(lasts(releaseSeconds(0.2, level, rate), n, rate));
}

// A decay toward 0 with the gate held, outside the plug-in's flush-to-zero: the level never lies in the
// denormal range, for any of the three exponential envelopes.
TEST(EnvelopeDenormals, ADecayTowardZeroNeverSitsInDenormals)
{
  const double rate = 48000;
  double gate = 1.0;
  auto check = [&](Module* m, const double* level) {
    for (long i = 0; i < 48000 * 3; ++i) {
      if (i % 48 == 0) m->update(true);
      m->process();
      const double v = std::fabs(*level);
      ASSERT_TRUE(v == 0.0 || v >= DBL_MIN) << "sample " << i << ": " << v;
    }
    EXPECT_EQ(0.0, *level);
  };
  ModuleRig rig1, rig2, rig4;
  Envelope* e1 = rig1.make<Envelope>(ModuleConfig::MOD_ENVELOPE, rate);
  Envelope2* e2 = rig2.make<Envelope2>(ModuleConfig::MOD_ENVELOPE2, rate);
  Envelope4* e4 = rig4.make<Envelope4>(ModuleConfig::MOD_ENVELOPE4, rate);
  e1->gateA = e2->gate[0] = e4->gate[0] = &gate;
  check(e1, &e1->nextModOut[0]);
  EXPECT_EQ(Envelope::kDecay, e1->state);
  check(e2, &e2->nextModOut[0]);
  EXPECT_EQ(Envelope2::kDecay, e2->state[0]);
  check(e4, &e4->nextModOut[0]);
}

// ---- linear envelope ----

TEST(LinearEnvelope, SegmentsTakeTheirTimesInSeconds)
{
  const double rate = 48000;
  ModuleRig rig;
  LinEnvelope* env = rig.make<LinEnvelope>(ModuleConfig::MOD_LINENVELOPE, rate);
  double gate = 0.0;
  env->gate[0] = &gate;
  rig.param(2, 0.25); // attack A
  rig.param(4, 0.5);  // decay A
  rig.param(6, 0.4);  // sustain A
  rig.param(8, 1.0);  // release A
  gate = 1.0;
  // Attack: 1 / (0.25 s * rate) per sample; it ends when the level passes 1.0.
  long n = samplesUntil(env, rate, 5, [&] { return env->state[0] == LinEnvelope::kDecay; });
  EXPECT_NEAR(0.25 * rate, n, 2);
  n = samplesUntil(env, rate, 5, [&] { return env->state[0] == LinEnvelope::kSustain; });
  EXPECT_NEAR(0.5 * rate, n, 2);
  EXPECT_EQ(0.4, env->nextModOut[0]);
  gate = 0.0;
  n = samplesUntil(env, rate, 5, [&] { return env->state[0] == LinEnvelope::kIdle; });
  EXPECT_NEAR(1.0 * rate, n, 2);
}

// Sustain 0, the gate falls at 0.5 s (in the decay), the release is moved from 2 s to 3 s during the
// release: the level still reaches 0, 3 s after the change, instead of standing at about 0.4 forever.
TEST(LinearEnvelope, ReleaseChangedDuringTheReleaseStillEnds)
{
  const double rate = 48000;
  ModuleRig rig;
  LinEnvelope* env = rig.make<LinEnvelope>(ModuleConfig::MOD_LINENVELOPE, rate);
  double gate = 1.0;
  env->gate[0] = &gate;
  rig.param(2, 0.0);
  rig.param(4, 1.0);
  rig.param(8, 2.0);
  runFor(env, rate, 0.5);
  gate = 0.0;
  runFor(env, rate, 0.5);
  const double level = env->nextModOut[0];
  ASSERT_GT(level, 0.2);
  rig.param(8, 3.0);
  const long n = samplesUntil(env, rate, 10, [&] { return env->state[0] == LinEnvelope::kIdle; });
  EXPECT_NEAR(3.0 * rate, n, 2);
  // And the rule itself where it works: with a sustain above 0 the step comes from the sustain level.
  rig.param(6, 0.5);
  gate = 1.0;
  runFor(env, rate, 1.2);
  gate = 0.0;
  runFor(env, rate, 0.2);
  rig.param(8, 1.0);
  EXPECT_NEAR(-0.5 / rate, env->increment[0], 1e-15);
}

TEST(LinearEnvelope, ZeroTimesAndRetriggers)
{
  ModuleRig rig;
  LinEnvelope* env = rig.make<LinEnvelope>(ModuleConfig::MOD_LINENVELOPE, 48000);
  double gate = 0.0;
  env->gate[1] = &gate;
  rig.param(7, 0.3);
  gate = 1.0;
  env->update(true); // attack 0: 1.0 in the tick's own step, still in the attack (not above 1)
  EXPECT_EQ(1.0, env->nextModOut[1]);
  EXPECT_EQ(LinEnvelope::kAttack, env->state[1]);
  for (int i = 0; i < 3; ++i) env->process(); // 2.0 > 1: decay, covering its distance in a sample (two, by rounding)
  EXPECT_EQ(0.3, env->nextModOut[1]);
  EXPECT_EQ(LinEnvelope::kSustain, env->state[1]);
  gate = 0.0;
  env->update(true); // release 0: to 0 in one sample
  EXPECT_EQ(0.0, env->nextModOut[1]);
  EXPECT_EQ(LinEnvelope::kIdle, env->state[1]);
  EXPECT_EQ(0.0, env->nextModOut[0]);
}

// ---- the envelope family: a fall in mid-attack and a rise in mid-release ----

namespace {
// One output of an envelope module, the gate that drives it, its attack and release parameters (the quad
// envelope falls with its decay) and its kind: a linear segment covers its whole distance in its time, an
// exponential one a decade of the distance to a target one ninth beyond its end per 10^(4.5 t - 2.3) s.
struct EnvelopeOutput
{
  ModuleConfig::ModuleID id;
  int out, attack, release;
  double** (*gate)(Module*);
  bool linear;
};

// Samples for a segment from `from` to `to`: linear, at `perSample`; exponential, at the coefficient of t.
double segmentSamples(const EnvelopeOutput& e, double t, double rate, double from, double to, double perSample)
{
  if (e.linear) return std::fabs(to - from) / perSample;
  const double target = to > from ? 10.0 / 9 : -1.0 / 9;
  return std::log((to - target) / (from - target)) / std::log(1.0 - coefficient(t, rate));
}
} // namespace

TEST(EnvelopeFamily, AFallInMidAttackFallsFromTheLevelAndARiseInMidReleaseClimbsFromIt)
{
  using M = ModuleConfig;
  const EnvelopeOutput outputs[] = {
      {M::MOD_ENVELOPE, 0, 2, 11, [](Module* m) { return &static_cast<Envelope*>(m)->gateA; }, false},
      {M::MOD_ENVELOPE2, 1, 3, 9, [](Module* m) { return &static_cast<Envelope2*>(m)->gate[1]; }, false},
      {M::MOD_ENVELOPE4, 3, 7, 11, [](Module* m) { return &static_cast<Envelope4*>(m)->gate[3]; }, false},
      {M::MOD_LINENVELOPE, 0, 2, 8, [](Module* m) { return &static_cast<LinEnvelope*>(m)->gate[0]; }, true},
      {M::MOD_LINENVELOPE, 1, 3, 9, [](Module* m) { return &static_cast<LinEnvelope*>(m)->gate[1]; }, true},
  };
  const double rate = 48000;
  for (const EnvelopeOutput& e : outputs) {
    SCOPED_TRACE(std::string(M::labelModuleName[e.id]) + ", output " + std::to_string(e.out));
    ModuleRig rig;
    Module* m = rig.makeModule(e.id, rate);
    double gate = 0.0;
    *e.gate(m) = &gate;
    const double ta = 0.5, tr = e.linear ? 0.3 : 0.4; // seconds, or settings of 0.89 s and 0.32 s a decade
    rig.param(e.attack, ta);
    rig.param(e.release, tr);
    const double& level = m->nextModOut[e.out];
    // The gate set, then samples until the level reaches `to`: each step toward it, none a jump.
    auto segment = [&](double g, double to) -> long {
      gate = g;
      double last = level;
      for (long i = 0; i < 10 * (long)rate; ++i) {
        if (i % rig.controlPeriod() == 0) m->update(true);
        m->process();
        const double step = (to > last ? 1 : -1) * (level - last);
        if (step < -1e-12 || step > 0.01) return -i - 1;
        last = level;
        if (to > 0.5 ? level >= to : level <= to) return i + 1;
      }
      return 0;
    };
    gate = 1.0;
    runFor(m, rate, 0.2);
    const double l1 = level;
    ASSERT_GT(l1, 0.3);
    ASSERT_LT(l1, 0.6);
    long n = segment(0.0, l1 / 2);
    EXPECT_TRUE(lasts(segmentSamples(e, tr, rate, l1, l1 / 2, l1 / (tr * rate)) / rate, n, rate)) << "fall from " << l1;
    const double l2 = level;
    n = segment(1.0, 1.0);
    EXPECT_TRUE(lasts(segmentSamples(e, ta, rate, l2, 1.0, 1.0 / (ta * rate)) / rate, n, rate)) << "rise from " << l2;
    n = segment(0.0, 0.0);
    EXPECT_TRUE(lasts(segmentSamples(e, tr, rate, 1.0, 0.0, 1.0 / (tr * rate)) / rate, n, rate)) << "fall from 1";
    runFor(m, rate, 0.01);
    EXPECT_EQ(0.0, level);
  }
}

// ---- sample and hold ----

TEST(SampleAndHold, GateClockedChannelHoldsBetweenGates)
{
  ModuleRig rig;
  SHNoise* sh = rig.make<SHNoise>(ModuleConfig::MOD_SHNOISE, 48000);
  double gate = 0.0, input = 0.25;
  sh->gate[0] = &gate;
  sh->input[0] = &input;
  for (int t = 0; t < 10; ++t) sh->update(true);
  EXPECT_EQ(0.0, sh->modOut[0]); // no rise yet
  gate = 1.0;
  sh->update(true);
  input = 0.75; // moves while held
  for (int t = 0; t < 100; ++t) sh->update(true);
  EXPECT_EQ(0.25, sh->modOut[0]);
  clockIn(sh, gate); // a counting gate rises again
  EXPECT_EQ(0.75, sh->modOut[0]);
  EXPECT_EQ(SHNoise::kGatePeriod, sh->period[0]);
  EXPECT_EQ(0.0, sh->modOut[1]); // B has no input
}

TEST(SampleAndHold, InternalClockSamplesOncePerPeriod)
{
  for (double hz : {1.0, 5.5, 50.0}) {
    ModuleRig rig;
    SHNoise* sh = rig.make<SHNoise>(ModuleConfig::MOD_SHNOISE, 48000);
    rig.param(3, hz);
    double input = 0.0;
    sh->input[1] = &input;
    std::vector<long> taken;
    for (long t = 0; t < 3 * ticksAt(hz); ++t) {
      input = (double)t;
      sh->update(true);
      if (sh->nextModOut[1] == input && t > 0) taken.push_back(t);
    }
    ASSERT_EQ(3u, taken.size()) << hz;
    for (int i : {1, 2}) EXPECT_EQ(ticksAt(hz), taken[i] - taken[i - 1]) << hz;
  }
}

TEST(SampleAndHold, NoiseLevelsAndPinkSlope)
{
  ModuleRig rig;
  SHNoise* sh = rig.make<SHNoise>(ModuleConfig::MOD_SHNOISE, 48000);
  rig.param(0, 0.5);
  rig.param(1, 1.0);
  const int n = 1 << 16;
  double white2 = 0, pinkLow = 0, pinkHigh = 0, lastPink = 0, peak = 0;
  for (int i = 0; i < n; ++i) {
    sh->process();
    const double w = sh->nextAudioOut[0], p = sh->nextAudioOut[1];
    white2 += w * w;
    peak = std::max(peak, std::fabs(w));
    pinkLow += p * p;
    pinkHigh += (p - lastPink) * (p - lastPink); // the difference weighs high frequencies
    lastPink = p;
  }
  // Uniform noise in [-1, 1) has a mean square of 1/3; at level 0.5, 1/12.
  EXPECT_NEAR(1.0 / 12.0, white2 / n, 0.003);
  EXPECT_LE(peak, 0.5);
  // Pink noise has most of its power low: its first difference carries far less than its own power
  // (white noise's difference would carry twice its power).
  EXPECT_LT(pinkHigh, 0.5 * pinkLow);
}

// ---- sequencers ----

TEST(StepSequencer, StepsLoopsResetsAndStops)
{
  ModuleRig rig;
  Sequencer* seq = rig.make<Sequencer>(ModuleConfig::MOD_SEQUENCER, 48000);
  double clock = 0.0, reset = 0.0;
  seq->clockSource = &clock;
  seq->resetSource = &reset;
  for (int k = 0; k < 8; ++k) rig.param(5 + k, (2 * k - 7) / 7.0); // the knobs span -1 to 1
  rig.param(4, 3);                                                 // four steps
  for (int i = 0; i < 9; ++i) {
    clockIn(seq, clock);
    EXPECT_NEAR((2 * ((i + 1) % 4) - 7) / 7.0, seq->modOut[0], 1e-4) << i;
  }
  // The wrap fires Clock, Reset and Step 1 together (published the tick after the clock).
  for (int i = 0; i < 3; ++i) clockIn(seq, clock); // steps 3 and 4, then the wrap
  for (int g : {Sequencer::kReset, Sequencer::kStep1, Sequencer::kClock}) EXPECT_EQ(1.0, seq->gateOut[g]) << g;
  seq->update(true);
  EXPECT_EQ(0.0, seq->gateOut[Sequencer::kReset]); // one-tick pulses

  // Loop off: the clock after the last step stops, fires Clock Link and Stop once; the stop input takes over.
  rig.param(2, 0);
  double stopValue = -0.5;
  seq->stopSource = &stopValue;
  int stops = 0, links = 0;
  for (int i = 0; i < 6; ++i) {
    clockIn(seq, clock);
    stops += seq->gateOut[Sequencer::kStop] > 0;
    links += seq->gateOut[Sequencer::kClockLink] > 0;
  }
  EXPECT_EQ(1, stops);
  EXPECT_EQ(3, links);
  EXPECT_TRUE(seq->stopped);
  EXPECT_EQ(-0.5, seq->modOut[0]);
  // A reset and a clock in the same tick give only the restart.
  reset = 1.0;
  clockIn(seq, clock);
  EXPECT_FALSE(seq->stopped);
  EXPECT_EQ(0, seq->currentStep);
  EXPECT_NEAR(-1.0, seq->modOut[0], 1e-4);
  // A clock held at a constant value advances once.
  clock += 1.0;
  for (int i = 0; i < 5; ++i) seq->update(true);
  EXPECT_EQ(1, seq->currentStep);
}

TEST(SequencedSwitch, InternalClockDividerAndRouting)
{
  ModuleRig rig;
  SeqSwitch* sw = rig.make<SeqSwitch>(ModuleConfig::MOD_SEQSWITCH, 48000);
  double in[8];
  for (int k = 0; k < 8; ++k) {
    in[k] = 0.1 * (k + 1);
    sw->inputs[k] = k == 5 ? nullptr : &in[k];
  }
  rig.param(2, 1); // divider "2"
  rig.param(6, 5); // six steps
  std::vector<long> clocks, steps;
  std::vector<bool> wraps;
  std::vector<double> outs;
  int inactive = 0;
  for (long t = 0; t < 182 * 14; ++t) {
    const int step = sw->currentStep;
    sw->update(true);
    if (sw->currentStep != step) inactive += sw->gateOut[SeqSwitch::kStepActive] == 0.0; // shown at once
    if (sw->gateOut[SeqSwitch::kClock] > 0) {
      clocks.push_back(t);
      wraps.push_back(sw->gateOut[SeqSwitch::kReset] > 0);
    }
    if (sw->gateOut[SeqSwitch::kClockDiv] > 0) {
      steps.push_back(t);
      outs.push_back(sw->modOut[0]);
    }
  }
  // 5.5 Hz: a clock every 182 ticks; a wrap restarts the internal clock with a full period, one tick later.
  ASSERT_GE(clocks.size(), 12u);
  for (size_t i = 1; i < clocks.size(); ++i) EXPECT_EQ(wraps[i - 1] ? 183 : 182, clocks[i] - clocks[i - 1]) << i;
  ASSERT_GE(steps.size(), 6u);
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_NEAR(364, steps[i] - steps[i - 1], 1);
  // Steps 2, 3, 4, 5, 6 (not connected: 0), then the wrap to 1.
  const double expected[] = {0.2, 0.3, 0.4, 0.5, 0.0, 0.1};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(expected[i], outs[i], 1e-12) << i;
  EXPECT_EQ(1, inactive); // step 6 had no input
}

TEST(SequencedSwitch, AResetInMidPeriodGivesTheFirstStepAFullPeriod)
{
  ModuleRig rig;
  SeqSwitch* sw = rig.make<SeqSwitch>(ModuleConfig::MOD_SEQSWITCH, 48000);
  double reset = 0.0;
  sw->resetSource = &reset;
  rig.param(2, 0); // divider "1": every clock of the internal 5.5 Hz clock is a step
  const long period = ticksAt(5.5);
  long resetAt = -1, stepTwoAt = -1, last = 0;
  for (long t = 0; t < 4 * period && stepTwoAt < 0; ++t) {
    if (sw->gateOut[SeqSwitch::kClockDiv] > 0) last = t;
    if (resetAt < 0 && t > period && t - last == period / 2) reset = 1.0; // halfway through a step
    sw->update(true);
    if (resetAt < 0 && sw->gateOut[SeqSwitch::kReset] > 0) resetAt = t;
    if (resetAt >= 0 && sw->gateOut[SeqSwitch::kStep1 + 1] > 0) stepTwoAt = t;
  }
  ASSERT_GE(resetAt, 0);
  // The restart starts the clock's period afresh, as a wrap at the end does (one tick later).
  EXPECT_EQ(period + 1, stepTwoAt - resetAt);
}

TEST(SequencedSwitch, GateClockSetsTheIndicatorPeriodAndStopsAtTheEnd)
{
  ModuleRig rig;
  SeqSwitch* sw = rig.make<SeqSwitch>(ModuleConfig::MOD_SEQSWITCH, 48000);
  double clock = 0.0, stop = 0.9, a = 0.3;
  sw->clockSource = &clock;
  sw->stopSource = &stop;
  sw->inputs[0] = sw->inputs[1] = &a;
  rig.param(2, 0);
  rig.param(4, 0); // loop off
  rig.param(6, 1); // two steps
  int links = 0, stops = 0;
  for (int i = 0; i < 5; ++i) {
    clockIn(sw, clock);
    links += sw->gateOut[SeqSwitch::kClockLink] > 0;
    stops += sw->gateOut[SeqSwitch::kStop] > 0;
  }
  EXPECT_EQ(SeqSwitch::kGatePeriod, sw->period);
  EXPECT_EQ(4, links);
  EXPECT_EQ(1, stops);
  EXPECT_EQ(0.9, sw->modOut[0]);
}

TEST(AudioSwitch, StepChangeFadesOverOneMillisecond)
{
  const double rate = 48000;
  ModuleRig rig;
  AudioSwitch* sw = rig.make<AudioSwitch>(ModuleConfig::MOD_AUDIOSWITCH, rate);
  double clock = 0.0, a = 1.0, b = 10.0, c = 100.0;
  sw->clockSource = &clock;
  sw->inputs[0] = &a;
  sw->inputs[1] = &b;
  sw->inputs[2] = &c;
  rig.param(2, 0);
  rig.param(6, 1); // two steps: input 3 never sounds
  rig.run(480, -1);
  EXPECT_NEAR(1.0, sw->audioOut[0], 1.0 / 48);
  clock = 1.0;
  sw->update(true);
  std::vector<double> out;
  for (int i = 0; i < 60; ++i) {
    sw->process();
    out.push_back(sw->audioOut[0]);
  }
  // After 48 samples (1 ms) input 2 is fully in and input 1 out; in between both are partly there.
  EXPECT_NEAR(10.0, out[55], 10.0 / 48 + 1e-9);
  EXPECT_GT(out[24], 2.0);
  EXPECT_LT(out[24], 9.0);
  for (double v : out) EXPECT_LT(v, 12.0); // input 3 (100) is beyond the step count
}

// A step count lowered below the sounding step, then raised again, fades that input out and back in over
// 1 ms: no sample moves by more than one fade increment of the loudest input.
TEST(AudioSwitch, StepCountChangesFadeTheInputsPastTheLastStep)
{
  const double rate = 48000;
  ModuleRig rig;
  AudioSwitch* sw = rig.make<AudioSwitch>(ModuleConfig::MOD_AUDIOSWITCH, rate);
  double clock = 0.0, a = 1.0, b = 10.0;
  sw->clockSource = &clock;
  sw->inputs[0] = &a;
  sw->inputs[1] = &b;
  rig.param(2, 0);
  rig.run(96, -1);
  clock = 1.0; // step 2 (input 10) fades in
  const std::vector<double> in = rig.run(480);
  std::vector<double> out = in;
  rig.param(6, 0); // one step: step 2 lies past the end
  const std::vector<double> lowered = rig.run(480);
  rig.param(6, 7);
  const std::vector<double> raised = rig.run(480);
  out.insert(out.end(), lowered.begin(), lowered.end());
  out.insert(out.end(), raised.begin(), raised.end());
  for (size_t i = 1; i < out.size(); ++i) ASSERT_LE(std::fabs(out[i] - out[i - 1]), 10.0 / 48 + 1e-9) << i;
  EXPECT_NEAR(10.0, in.back(), 10.0 / 48);
  EXPECT_NEAR(0.0, lowered.back(), 1e-9);
  EXPECT_NEAR(10.0, raised.back(), 10.0 / 48);
}

TEST(BeatSequencer, LinesFireOnTheirStepsAndTheDividerCountsClocks)
{
  ModuleRig rig;
  BeatSeq* bs = rig.make<BeatSeq>(ModuleConfig::MOD_BEATSEQ, 48000);
  double clock = 0.0, reset = 0.0;
  bs->clockSource = &clock;
  bs->resetSource = &reset;
  rig.param(1, 1);                       // divider "2"
  rig.param(4, 7);                       // eight steps
  rig.param(5, 0x55);                    // A: steps 1, 3, 5, 7
  rig.param(6, 0x81);                    // B: steps 1 and 8
  rig.param(7, 0);                       // C: never
  rig.param(8, 65536);                   // D: no step
  std::map<int, std::vector<int>> fired; // line -> steps (1-based) at which it fired
  int clocks = 0, divs = 0, resets = 0;
  for (int i = 0; i < 32; ++i) { // 32 clocks = 16 steps = two rounds
    clockIn(bs, clock);
    clocks += bs->gateOut[BeatSeq::kClock] > 0;
    divs += bs->gateOut[BeatSeq::kClockDiv] > 0;
    resets += bs->gateOut[BeatSeq::kReset] > 0;
    for (int l = 0; l < 4; ++l)
      if (bs->gateOut[BeatSeq::kLineA + l] > 0) fired[l].push_back(bs->currentStep + 1);
  }
  EXPECT_EQ(32, clocks);
  EXPECT_EQ(16, divs);
  EXPECT_EQ(2, resets); // the wraps to step 1
  EXPECT_EQ((std::vector<int>{3, 5, 7, 1, 3, 5, 7, 1}), fired[0]);
  EXPECT_EQ((std::vector<int>{8, 1, 8, 1}), fired[1]);
  EXPECT_TRUE(fired[2].empty());
  EXPECT_TRUE(fired[3].empty());
  // A reset fires Clock, Clock Div, Reset and the lines of step 1 in one tick.
  clockIn(bs, reset);
  for (int g :
       {(int)BeatSeq::kClock, (int)BeatSeq::kClockDiv, (int)BeatSeq::kReset, (int)BeatSeq::kLineA, BeatSeq::kLineA + 1})
    EXPECT_EQ(1.0, bs->gateOut[g]) << g;
}

// A reset in mid-count restarts the divider of each dividing sequencer: after it the steps come at clocks
// divider + 1 and 2 (divider + 1), wherever in its count the reset found the divider.
TEST(DividedSequencers, AResetRestartsTheDividerCount)
{
  using M = ModuleConfig;
  for (M::ModuleID id : {M::MOD_BEATSEQ, M::MOD_SEQSWITCH, M::MOD_AUDIOSWITCH})
    for (int divider : {1, 3})
      for (int late = 0; late <= divider; ++late) { // clocks since the last step when the reset comes
        SCOPED_TRACE(std::string(M::labelModuleName[id]) + ", divider " + std::to_string(divider + 1) + ", " +
                     std::to_string(late) + " clocks late");
        ModuleRig rig;
        Module* m = rig.makeModule(id, 48000);
        BeatSeq* bs = dynamic_cast<BeatSeq*>(m);
        SeqSwitch* sw = dynamic_cast<SeqSwitch*>(m);
        double clock = 0.0, reset = 0.0;
        (bs ? bs->clockSource : sw->clockSource) = &clock;
        (bs ? bs->resetSource : sw->resetSource) = &reset;
        rig.param(bs ? 1 : 2, divider);
        const int& step = bs ? bs->currentStep : sw->currentStep;
        for (int i = 0; i < 2 * (divider + 1) + late; ++i) clockIn(m, clock);
        ASSERT_EQ(2, step);
        clockIn(m, reset);
        ASSERT_EQ(0, step);
        std::vector<int> steps;
        for (int i = 1; i <= 2 * (divider + 1); ++i) {
          clockIn(m, clock);
          if (step != (int)steps.size()) steps.push_back(i);
        }
        EXPECT_EQ((std::vector<int>{divider + 1, 2 * (divider + 1)}), steps);
      }
}

// The sequencers clocked by the tempo clock through the host path: a step sequencer on sixteenths, a
// sequenced switch dividing them by two and a beat sequencer whose line B plays every fourth step. Their
// step times are the divisions' lengths at the host's tempo, to the tick.
TEST(SequencerTiming, StepsFollowTheHostTempo)
{
  const int kSixteenth = 15;
  for (double tempo : {20.0, 120.0, 999.0}) {
    Hosted h(tempo);
    Sequencer* seq = static_cast<Sequencer*>(h.put(0, ModuleConfig::MOD_SEQUENCER));
    SeqSwitch* sw = static_cast<SeqSwitch*>(h.put(1, ModuleConfig::MOD_SEQSWITCH));
    BeatSeq* bs = static_cast<BeatSeq*>(h.put(2, ModuleConfig::MOD_BEATSEQ));
    h.select(0, 0, SourceDef::GATE, SourceDef::kGroupClock, kSixteenth);
    for (int k = 0; k < 8; ++k) h.set(0, 5 + k, k / 8.0);
    h.select(1, 1, SourceDef::GATE, SourceDef::kGroupClock, kSixteenth);
    h.set(1, 2, 1);
    h.select(2, 0, SourceDef::GATE, SourceDef::kGroupClock, kSixteenth);
    h.set(2, 6, 0x1111);
    const double ms = 60000.0 / tempo / 4.0;
    const long ticks = (long)(20 * ms) + 10;
    std::vector<long> seqSteps, swSteps, beats;
    std::vector<int> order;
    double lastValue = seq->modOut[0];
    for (long t = 0; t < ticks; ++t) {
      h.tick();
      if (seq->modOut[0] != lastValue) {
        seqSteps.push_back(t);
        order.push_back((int)std::lround(seq->modOut[0] * 8));
      }
      lastValue = seq->modOut[0];
      if (sw->gateOut[SeqSwitch::kClockDiv] > 0) swSteps.push_back(t);
      if (bs->gateOut[BeatSeq::kLineA + 1] > 0) beats.push_back(t);
    }
    const std::string at = std::to_string((int)tempo) + " BPM";
    ASSERT_GE(seqSteps.size(), 16u) << at;
    for (size_t i = 1; i < seqSteps.size(); ++i) EXPECT_NEAR(ms, seqSteps[i] - seqSteps[i - 1], 1.0) << at;
    for (size_t i = 1; i < order.size(); ++i) EXPECT_EQ((order[i - 1] + 1) % 8, order[i]) << at;
    ASSERT_GE(swSteps.size(), 8u) << at;
    for (size_t i = 1; i < swSteps.size(); ++i) EXPECT_NEAR(2 * ms, swSteps[i] - swSteps[i - 1], 1.0) << at;
    ASSERT_GE(beats.size(), 4u) << at;
    for (size_t i = 1; i < beats.size(); ++i) EXPECT_NEAR(4 * ms, beats[i] - beats[i - 1], 1.0) << at;
  }
}

// Two four-step sequencers chained into eight steps, as the start-up bank's chained bass does: A stops at its
// end and passes its clocks on through "Clock Link"; its "Stop" restarts B, and its stop input shows B's
// value; B's own "Clock Link" at its end restarts A.
TEST(SequencerTiming, ChainedSequencersPlayEightSteps)
{
  Hosted h(120.0);
  Sequencer* a = static_cast<Sequencer*>(h.put(0, ModuleConfig::MOD_SEQUENCER));
  h.put(1, ModuleConfig::MOD_SEQUENCER);
  for (int s = 0; s < 2; ++s) {
    h.set(s, 2, 0);
    h.set(s, 4, 3);
    for (int k = 0; k < 4; ++k) h.set(s, 5 + k, (4 * s + k + 1) / 10.0);
  }
  h.select(0, 0, SourceDef::GATE, SourceDef::kGroupClock, 15); // sixteenths: 125 ticks
  h.select(0, 1, SourceDef::GATE, 1, Sequencer::kClockLink);
  h.select(0, 3, SourceDef::MODULATION, 1, 0);
  h.select(1, 0, SourceDef::GATE, 0, Sequencer::kClockLink);
  h.select(1, 1, SourceDef::GATE, 0, Sequencer::kStop);
  // Values by how long they last: at the hand-over A shows B's stopped value for the three ticks B's
  // restart takes to come back through the two modules' one-tick lags; every step proper lasts a sixteenth.
  std::vector<int> steps;
  double last = -1.0;
  int held = 0;
  for (int t = 0; t < 125 * 20; ++t) {
    h.tick();
    if (a->modOut[0] != last) {
      if (held >= 100) steps.push_back((int)std::lround(last * 10));
      EXPECT_TRUE(held >= 100 || held <= 3 || t < 130) << t << ": " << held;
      held = 0;
    }
    last = a->modOut[0];
    ++held;
  }
  ASSERT_GE(steps.size(), 16u);
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_EQ((steps[i - 1] % 8) + 1, steps[i]) << i;
}
