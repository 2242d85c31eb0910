// The tempo clock: periods from the host tempo, gates on each division of the host's position, restarts
// when the host jumps, free running while it stands; and the same through the plug-in's host path at the
// common sample rates and block sizes, with and without a host loop.
#include "Clock.h"

#include "../support/sanitized.h"
#include "IPlugBase.h"
#include "Sequencer.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
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

// Beats of each division, from its label: n/d of a whole note of four beats, a dot x1.5, a triplet x2/3.
double divisionBeats(int d)
{
  int n = 0, den = 1;
  char mark = 0;
  std::sscanf(Clock::labelSyncRate[d], "%d/%d%c", &n, &den, &mark);
  return 4.0 * n / den * (mark == '.' ? 1.5 : mark == 'T' ? 2.0 / 3.0 : 1.0);
}

constexpr int kQuarter = 9, kWhole = 4, kHalfTriplet = 8, kSixteenth = 15;
} // namespace

TEST(TempoClock, Labels)
{
  const char* expected[] = {"4/1",  "2/1.", "2/1", "1/1.",  "1/1",  "1/2.", "1/2",   "1/4.",  "1/2T", "1/4",
                            "1/8.", "1/4T", "1/8", "1/16.", "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64"};
  for (int i = 0; i < Clock::kNumRates; ++i) EXPECT_STREQ(expected[i], Clock::labelSyncRate[i]);
}

TEST(TempoClock, PeriodsFollowTheLabels)
{
  Clock c;
  ITimeInfo t = at(120.0, 0.0);
  c.synchronize(&t);
  for (int i = 0; i < Clock::kNumRates; ++i)
    EXPECT_EQ((int)std::floor(divisionBeats(i) * 500.0 + 0.5), c.period[i]) << Clock::labelSyncRate[i];
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

  // A jump into the middle of a quarter re-phases the count but begins no quarter: the next one pulses...
  EXPECT_TRUE(pulses(c, kQuarter, 10).empty());
  t = at(120.0, 3.1); // 0.1 into a quarter: countdown 450
  c.synchronize(&t);
  EXPECT_EQ(450, c.countdown[kQuarter]);
  EXPECT_EQ((std::vector<int>{451}), pulses(c, kQuarter, 460));
  // ...while a jump onto the start of a quarter pulses at once, as a transport starting there does.
  t = at(120.0, 6.0);
  c.synchronize(&t);
  EXPECT_EQ((std::vector<int>{1}), pulses(c, kQuarter, 10));
}

TEST(TempoClock, DriftOfTheHostPositionIsNoNewCycle)
{
  // Blocks of two ticks at 120 BPM whose positions wander three ticks either side of the true one, as
  // rounding and tempo changes inside blocks make them: a block after a quarter's first tick may start
  // before it again. Still one pulse per quarter, 500 ticks apart give or take the wander.
  Clock c;
  std::vector<int> quarters;
  for (int tick = 0; tick < 2000; tick += 2) {
    ITimeInfo t = at(120.0, (tick + ((tick / 2) % 2 ? -3 : 3)) * 0.002);
    c.synchronize(&t);
    for (int k = 0; k < 2; ++k) {
      c.update();
      if (c.output[kQuarter] == 1.0) quarters.push_back(tick + k);
    }
  }
  ASSERT_EQ(4u, quarters.size());
  for (size_t i = 1; i < quarters.size(); ++i) EXPECT_NEAR(500, quarters[i] - quarters[i - 1], 6) << i;
}

// Synced LFOs read their phase from the countdowns: after a tempo change in mid-division each one still says
// how much of its division is left at the new tempo (within two ticks), never more than its period.
TEST(TempoClock, ATempoChangeKeepsEveryCountdownOnThePosition)
{
  Clock c;
  ITimeInfo t;
  t.mTransportIsRunning = true;
  double position = 0.0;
  int wrong = 0;
  for (double tempo : {120.0, 240.0, 60.0, 133.0}) {
    const double beatsPerTick = tempo / 60000.0;
    for (int block = 0; block < 1000; ++block, position += 10 * beatsPerTick) {
      t.mTempo = tempo;
      t.mPPQPos = position;
      c.synchronize(&t);
      for (int k = 0; k < 10; ++k) {
        c.update();
        for (int r = 0; r < Clock::kNumRates; ++r) {
          const double x = (position + k * beatsPerTick) * Clock::syncPeriod[r];
          const int left = c.period[r] - 1 - (int)(c.period[r] * (x - std::floor(x)));
          const int off = std::abs(c.countdown[r] - left);
          if (c.countdown[r] < c.period[r] && std::min(off, c.period[r] - off) <= 2) continue;
          if (wrong++ < 3)
            ADD_FAILURE() << tempo << " BPM, " << Clock::labelSyncRate[r] << ": countdown " << c.countdown[r]
                          << " of a period of " << c.period[r] << " where " << left << " ticks are left";
        }
      }
    }
  }
  EXPECT_EQ(0, wrong);
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
  // The transport starts where it stands, 20 ticks into the free-running quarter: the quarter restarts.
  pulses(c, kQuarter, 20);
  t.mTransportIsRunning = true;
  c.synchronize(&t);
  EXPECT_EQ((std::vector<int>{1, 501}), pulses(c, kQuarter, 600));

  // Standing still, a division runs on its whole-tick period, not on where a running position would be:
  // at 133 BPM a sixteenth is 112.78 ticks, and the free count gives 113 every time.
  Clock still;
  t = at(133.0, 8.0);
  still.synchronize(&t);
  std::vector<int> p = pulses(still, kSixteenth, 1);
  for (int block = 0; block < 400; ++block) {
    still.synchronize(&t);
    for (int k : pulses(still, kSixteenth, 10)) p.push_back(1 + 10 * block + k);
  }
  ASSERT_GE(p.size(), 30u);
  for (size_t i = 1; i < p.size(); ++i) EXPECT_EQ(still.period[kSixteenth], p[i] - p[i - 1]) << i;
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

// ---- through the host path ----
//
// The plug-in made through its VST entry, driven as a host drives it, with a playing transport.

namespace {
struct Pulse
{
  long tick;       // control ticks since the first sample
  double position; // the host's position at that tick, quarter notes
};

// A module of voice 0 (the only voice; it never sounds, so no audio is rendered) that records, at every
// tick, the clock divisions that pulse and a gate when given, with the host's position at that tick. Ticks
// fall every P samples from the first sample.
class PulseRecorder : public ProbeModule
{
public:
  PulseRecorder(ModuleConfig* config, Veltrane* v, const double* gate)
      : ProbeModule(config, &v->voices[0], v, 0.0), clock(v->clock), gate(gate), period(v->controlPeriod)
  {
  }
  void update(bool) override
  {
    const double position = blockPosition + ((double)tick * period - blockStart) * beatsPerSample;
    for (int d = 0; d < Clock::kNumRates; ++d)
      if (clock.output[d] > 0.0) divisions[d].push_back({tick, position});
    if (gate && *gate > 0.0) gatePulses.push_back({tick, position});
    ++tick;
  }

  const Clock& clock;
  const double* gate;
  const int period;
  long tick = 0;
  double blockStart = 0.0;    // samples processed before the current block
  double blockPosition = 0.0; // the host's position at the block's first sample
  double beatsPerSample = 0.0;
  std::vector<Pulse> divisions[Clock::kNumRates], gatePulses;
};

struct Transport
{
  double rate;
  int block;
  double tempo;
};

std::string describe(const Transport& t)
{
  return std::to_string((int)t.rate) + " Hz, blocks of " + std::to_string(t.block) + ", " +
         std::to_string((int)t.tempo) + " BPM";
}

// Two minutes of every transport; the sanitizer builds, some ten times slower, check the code's memory
// and arithmetic over a quarter of it.
#ifdef VELTRANE_SANITIZED
constexpr double kSeconds = 30.0;
#else
constexpr double kSeconds = 120.0;
#endif
constexpr double kBar = 4.0; // quarter notes

struct Played
{
  std::vector<Pulse> divisions[Clock::kNumRates], gate;
  std::vector<std::pair<double, long>> jumps; // the bar line jumped to (quarter notes) and the tick count then
  double end = 0.0;                           // the position reached, quarter notes
  double beatsPerTick = 0.0;
};

// Plays kSeconds of the transport. With loop, every eight bars of play the host jumps back two bars,
// splitting its block at the jump as looping hosts do. With sequencer, a step sequencer in the slot before
// the recorder runs on the 1/16 clock and its "Clock" gate is recorded.
Played play(const Transport& t, bool loop, bool sequencer = false)
{
  HostedVeltrane h(t.rate, t.block);
  h.tempo = t.tempo;
  Veltrane& v = *h.plug;
  v.SetParameterFromGUI(Veltrane::kParamVoices, 0.0); // one voice
  Voice& voice = v.voices[0];
  const double* gate = nullptr;
  if (sequencer) {
    v.replaceModule(0, ModuleConfig::MOD_SEQUENCER, false, false);
    SelectSource(v, 0, false, SourceDef::GATE, SourceDef::kGroupClock, kSixteenth);
    gate = &voice.modules[0]->gateOut[Sequencer::kClock];
  }
  v.replaceModule(1, ModuleConfig::MOD_OSCILLATOR, false, false);
  delete voice.modules[1];
  PulseRecorder* rec = new PulseRecorder(&v.slotConfig[1], &v, gate);
  voice.modules[1] = rec;
  voice.rebuildProcessList();

  rec->beatsPerSample = t.tempo / 60.0 / t.rate;
  const double samplesPerBar = kBar / rec->beatsPerSample;
  double jumpAt = 8 * samplesPerBar;
  Played out;
  const long total = (long)(kSeconds * t.rate);
  for (long done = 0; done < total;) {
    int n = (int)std::min<long>(t.block, total - done);
    if (loop && h.position + n > jumpAt) n = std::max(1, (int)std::ceil(jumpAt - h.position));
    rec->blockStart = (double)done;
    rec->blockPosition = h.position * rec->beatsPerSample;
    h.run(n);
    done += n;
    if (loop && h.position >= jumpAt) {
      h.position -= 2 * samplesPerBar;
      out.jumps.push_back({(jumpAt - 2 * samplesPerBar) * rec->beatsPerSample, rec->tick});
      jumpAt += 6 * samplesPerBar;
    }
  }
  for (int d = 0; d < Clock::kNumRates; ++d) out.divisions[d] = rec->divisions[d];
  out.gate = rec->gatePulses;
  out.end = h.position * rec->beatsPerSample;
  out.beatsPerTick = rec->period * rec->beatsPerSample;
  return out;
}

// Pulses of a steady transport over `musical` quarter notes: one per division elapsed (within one), never
// closer than half a division or further apart than one and a half.
void expectOnePerDivision(const std::vector<Pulse>& pulses, double beats, double musical, const std::string& at)
{
  EXPECT_NEAR(musical / beats, (double)pulses.size(), 1.0) << at;
  for (size_t i = 1; i < pulses.size(); ++i) {
    const double gap = pulses[i].position - pulses[i - 1].position;
    if (gap < 0.5 * beats || gap > 1.5 * beats) {
      ADD_FAILURE() << at << ": " << gap / beats << " divisions between the pulses at " << pulses[i - 1].position
                    << " and " << pulses[i].position << " quarter notes";
      return;
    }
  }
}

const int kBlocks[] = {32, 441, 1000, 4096, 8192};
const double kTempos[] = {90.0, 120.0, 133.0, 174.0};
} // namespace

// One sample rate each, so that the rates run side by side.
class TempoClockHost : public testing::TestWithParam<double>
{
};

INSTANTIATE_TEST_SUITE_P(Rates, TempoClockHost, testing::Values(44100.0, 48000.0, 88200.0, 96000.0),
                         [](const testing::TestParamInfo<double>& info) { return std::to_string((int)info.param); });

TEST_P(TempoClockHost, EveryDivisionPulsesOncePerDivisionOnTheSameTicksInAnyBlockSize)
{
  const double rate = GetParam();
  for (double tempo : kTempos) {
    Played first; // in blocks of kBlocks[0]
    for (int block : kBlocks) {
      const Transport t{rate, block, tempo};
      const Played p = play(t, false);
      for (int d = 0; d < Clock::kNumRates; ++d) {
        const std::string at = describe(t) + ", " + Clock::labelSyncRate[d];
        const std::vector<Pulse>& pulses = p.divisions[d];
        expectOnePerDivision(pulses, divisionBeats(d), kSeconds * tempo / 60.0, at);
        const std::vector<Pulse>& other = block == kBlocks[0] ? pulses : first.divisions[d];
        bool same = other.size() == pulses.size();
        for (size_t i = 0; same && i < pulses.size(); ++i) same = std::labs(other[i].tick - pulses[i].tick) <= 1;
        EXPECT_TRUE(same) << at << ": not the ticks of blocks of " << kBlocks[0] << ", within one";
      }
      if (block == kBlocks[0]) first = p;
    }
  }
}

TEST_P(TempoClockHost, EveryPassOfAHostLoopPlaysTheSamePulses)
{
  const double rate = GetParam();
  for (int block : kBlocks)
    for (double tempo : kTempos) {
      const Transport t{rate, block, tempo};
      const Played p = play(t, true);
      ASSERT_GE(p.jumps.size(), kSeconds < 60.0 ? 1u : 3u) << describe(t);
      for (int d = 0; d < Clock::kNumRates; ++d) {
        const std::string at = describe(t) + ", " + Clock::labelSyncRate[d];
        const double beats = divisionBeats(d);
        for (size_t k = 0; k < p.jumps.size(); ++k) {
          // The two bars from the jump's target, played once before the jump and again after it. (A pulse on
          // the bar line may lie a rounding error before it.)
          const double from = p.jumps[k].first - 1e-9, to = from + 2 * kBar;
          const long jumpTick = p.jumps[k].second;
          const bool last = k + 1 == p.jumps.size();
          if (last && p.end < to) break; // the run ended in the second pass
          const long nextJump = last ? LONG_MAX : p.jumps[k + 1].second;
          std::vector<double> before, after;
          for (const Pulse& q : p.divisions[d]) {
            if (q.position < from || q.position >= to) continue;
            if (q.tick < jumpTick)
              before.push_back(q.position);
            else if (q.tick < nextJump)
              after.push_back(q.position);
          }
          const long starts = (long)std::ceil(to / beats) - (long)std::ceil(from / beats);
          EXPECT_EQ(starts, (long)before.size()) << at << ", bars from " << from / kBar;
          bool same = before.size() == after.size();
          for (size_t i = 0; same && i < before.size(); ++i) same = std::fabs(before[i] - after[i]) < p.beatsPerTick;
          EXPECT_TRUE(same) << at << ", bars from " << from / kBar << ": " << before.size() << " pulses, then "
                            << after.size();
        }
      }
    }
}

TEST(TempoClockSequencer, StepSequencerClockFollowsItsDivision)
{
  for (int block : {441, 4096})
    for (double tempo : kTempos) {
      const Transport t{44100.0, block, tempo};
      const Played p = play(t, false, true);
      const std::string at = describe(t);
      expectOnePerDivision(p.gate, divisionBeats(kSixteenth), kSeconds * tempo / 60.0, at);
      // Each step a tick after its sixteenth: the module publishes what it saw at the tick before.
      const std::vector<Pulse>& sixteenths = p.divisions[kSixteenth];
      bool follows = sixteenths.size() == p.gate.size();
      for (size_t i = 0; follows && i < p.gate.size(); ++i) follows = p.gate[i].tick == sixteenths[i].tick + 1;
      EXPECT_TRUE(follows) << at;
    }
}

// A host whose transport reports an absurd tempo, its position moving at that tempo: no division pulses more
// often than at the fastest tempo the clock follows (1000 BPM, a sixty-fourth of 4 ticks); at 10^6 BPM every
// division would otherwise restart on every tick.
TEST(TempoClockHostTempo, AnAbsurdTempoCausesNoPulseStorm)
{
  for (double tempo : {5000.0, 1.0e5, 1.0e6}) {
    HostedVeltrane h(44100.0, 44); // one tick per block: every pulse is seen
    h.tempo = tempo;
    int pulses[Clock::kNumRates] = {};
    const int ticks = 2000;
    for (int b = 0; b < ticks; ++b) {
      h.run(44);
      for (int r = 0; r < Clock::kNumRates; ++r) pulses[r] += h.plug->clock.output[r] == 1.0;
    }
    for (int r = 0; r < Clock::kNumRates; ++r) {
      const double fastest = std::floor(Clock::syncRate[r] * 60.0 + 0.5); // ticks of the division at 1000 BPM
      EXPECT_LE(pulses[r], ticks / fastest + 2) << tempo << " BPM, " << Clock::labelSyncRate[r];
    }
  }
}
