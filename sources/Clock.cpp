#include "Clock.h"

#include "IPlugBase.h"

#include <algorithm>
#include <cmath>
#include <limits>

const double Clock::syncRate[kNumRates] = {16.0,      12.0,      8.0,    6.0,       4.0,       3.0,   2.0,
                                           1.5,       4.0 / 3.0, 1.0,    0.75,      2.0 / 3.0, 0.5,   0.375,
                                           1.0 / 3.0, 0.25,      0.1875, 1.0 / 6.0, 0.125,     0.0625};

const char* const Clock::labelSyncRate[kNumRates] = {"4/1",  "2/1.", "2/1",   "1/1.",  "1/1",  "1/2.", "1/2",
                                                     "1/4.", "1/2T", "1/4",   "1/8.",  "1/4T", "1/8",  "1/16.",
                                                     "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64"};

double Clock::syncPeriod[kNumRates];

namespace {
// A period longer than this many ticks (about 12 days) cannot come from a usable tempo; it only keeps
// absurd host tempos from overflowing an int.
constexpr double kMaxPeriod = 1.0e9;
// Rounding of positions and of the tick offsets may put a tick meant to fall on a division's start a hair
// before it; this share of a division counts as the start (2 ns of a sixty-fourth at 999 BPM).
constexpr double kEdge = 1.0e-7;
// A position that differs from where the clock expected the next tick by at most this many ticks is the
// same run of the transport: tempo changes inside a block and hosts' rounding move it a little. Further
// away the host has jumped.
constexpr double kDriftTicks = 8.0;
// The fastest tempo the clock follows, beats per minute: a sixty-fourth still lasts 4 ticks. A host that
// reports more (a broken transport, 10^6 BPM) would otherwise restart every division on every tick.
constexpr double kMaxTempo = 1000.0;
} // namespace

Clock::Clock()
    : lastPosition(std::numeric_limits<double>::quiet_NaN()), following(false), relocated(false),
      transportRunning(false), tickPosition(0.0), beatsPerTick(0.0), periodMsPerBeat(0.0)
{
  // Filled by the first clock of the process, once: an instance made while another one plays (the staging
  // engine of a program change) must not write what that one's audio thread reads.
  static const bool periodsFilled = [] {
    for (int i = 0; i < kNumRates; ++i) syncPeriod[i] = 1.0 / syncRate[i];
    return true;
  }();
  (void)periodsFilled;
  for (int i = 0; i < kNumRates; ++i) {
    period[i] = 0;
    countdown[i] = 0;
    output[i] = 0.0;
    previousCountdown[i] = 0;
    nextCycle[i] = 0.0;
  }
}

void Clock::synchronize(const ITimeInfo* timeInfo, int samplesToTick, int tickSamples, double sampleRate)
{
  const double position = timeInfo->mPPQPos;
  // A host that sends no usable position leaves the clock as it goes.
  if (!std::isfinite(position)) return;
  const bool started = timeInfo->mTransportIsRunning && !transportRunning;
  transportRunning = timeInfo->mTransportIsRunning;
  if (position == lastPosition && !started) {
    following = false; // a stopped transport: the countdowns run freely
    return;
  }
  const double tempo = timeInfo->mTempo;
  // Beyond the fastest tempo the host's position moves too fast to follow: the divisions run freely at it.
  const bool tooFast = tempo > kMaxTempo && std::isfinite(tempo);
  const double msPerBeat =
      (tempo > 0.0 && std::isfinite(tempo)) ? 60.0 / std::min(tempo, kMaxTempo) * 1000.0 : 500.0;
  lastPosition = position;

  // Quarter notes per sample; without a usable rate a tick is taken as 1 ms.
  const int samplesPerTick = tickSamples > 0 ? tickSamples : 1;
  const double secondsPerSample =
      sampleRate > 0.0 && std::isfinite(sampleRate) ? 1.0 / sampleRate : 0.001 / samplesPerTick;
  const double beatsPerSample = secondsPerSample * 1000.0 / msPerBeat;
  const double next = position + (samplesToTick > 0 ? samplesToTick : 0) * beatsPerSample;
  const double step = samplesPerTick * beatsPerSample;
  if (!tooFast && (!following || started || !(std::fabs(next - tickPosition) <= kDriftTicks * step)))
    relocated = true;
  following = !tooFast;
  tickPosition = next;
  beatsPerTick = step;

  const bool newTempo = msPerBeat != periodMsPerBeat;
  periodMsPerBeat = msPerBeat;
  for (int i = 0; i < kNumRates; ++i) {
    if (newTempo) {
      double p = std::floor(syncRate[i] * msPerBeat + 0.5);
      if (p > kMaxPeriod) p = kMaxPeriod;
      period[i] = (int)p;
    }
    // A new tempo changes every period: the count left in the division is worked out again from the position, as
    // after a jump, so that it never exceeds the new period nor runs out early (a synced LFO reads its phase from it).
    if (!(relocated || newTempo) || period[i] <= 0) continue;
    // Ticks left in the division the next tick lies in; the tick itself decides whether it restarts.
    const double x = next * syncPeriod[i]; // cycles elapsed
    const double done = x - std::floor(x); // not a number for a position beyond the range of doubles
    int phase = done > 0.0 && done < 1.0 ? (int)(period[i] * done) : 0;
    if (phase >= period[i]) phase %= period[i];
    countdown[i] = period[i] - phase;
  }
}

void Clock::update()
{
  if (following || relocated) {
    for (int i = 0; i < kNumRates; ++i) {
      const double x = tickPosition * syncPeriod[i] + kEdge; // divisions elapsed at this tick
      bool restart;
      if (relocated) {
        // After a jump a division restarts at once only on its first tick, as it would have on the way.
        const double n = std::floor(x);
        restart = x - n < beatsPerTick * syncPeriod[i];
        nextCycle[i] = n + 1.0;
      } else {
        // Once per division; a position a little behind the last tick (drift) is no new division.
        restart = x >= nextCycle[i];
        if (restart) nextCycle[i] = std::floor(x) + 1.0;
      }
      const int c = countdown[i];
      if (restart)
        countdown[i] = period[i] > 0 ? period[i] - 1 : 0;
      else
        countdown[i] = c > 0 ? c - 1 : 0;
      output[i] = restart ? 1.0 : 0.0;
      previousCountdown[i] = countdown[i];
    }
    relocated = false;
    tickPosition += beatsPerTick;
    return;
  }
  for (int i = 0; i < kNumRates; ++i) {
    const int c = countdown[i];
    countdown[i] = c > 0 ? c - 1 : period[i] - 1;
    output[i] = previousCountdown[i] < countdown[i] ? 1.0 : 0.0;
    previousCountdown[i] = countdown[i];
  }
}
