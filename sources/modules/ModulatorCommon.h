// What the modulators and sequencers share beyond ModuleConventions: the internal clocks counted in
// control ticks (1 ms), their rescaling when a rate moves, the step labels, the boolean parameter
// declaration, the draw from a seed shared by every instance of a type, and the flush of envelope levels
// that decay toward zero.
//
// Threads: as every module, under the instance mutex; the shared seeds are touched by instances of several
// plug-in instances at once and so are atomics (a lost update only changes which random value comes next).
#pragma once

#include "ModuleConventions.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class Synth;

namespace ModulatorCommon {

// "1" .. "16": the step counts and dividers of the sequencers (the first eight serve the eight-step ones).
extern const char* const labelSteps[16];
// "off" then the 20 tempo divisions of the clock, in its order.
extern const char* const labelLfoSync[21];

// A boolean slot parameter ("off", "on"), keeping the slot parameter's name.
void declareBool(Synth* synth, int param, bool defaultVal);

// Ticks of a free-running clock at hz: floor(1000 / hz + 0.5), with hz held to 0.001..100 Hz (a NaN counts
// as the slowest rate), so 10 to 1,000,000 ticks.
int periodForRate(double hz);

// The countdown of a clock whose period moves from oldPeriod to newPeriod keeps its position in the cycle:
// trunc(counter * new / old) while it lies below the old period, else 0. In 64 bits, so that counters near
// a million times periods near a million stay exact.
int rescaleCounter(int counter, int oldPeriod, int newPeriod);

// One tick of a countdown: decremented, and restarted at period - 1 when it was 0 or less.
inline int countDown(int counter, int period)
{
  return counter > 0 ? counter - 1 : period - 1;
}

// The 16807 generator on a seed shared by every instance of a module type: seed = seed * 16807 (32-bit,
// wrapping); the draw is the new seed as a signed 32-bit integer times 4.6566129e-10, in [-1, 1).
inline double drawShared(std::atomic<uint32_t>* seed)
{
  const uint32_t s = seed->load(std::memory_order_relaxed) * 16807u;
  seed->store(s, std::memory_order_relaxed);
  return (double)(int32_t)s * 4.6566129e-10;
}

// Envelope levels below this are inaudible by far (-600 dB): a level that decays toward 0 is set to 0 here
// instead of creeping through the denormal range, where every step is slow and may stop moving at all.
constexpr double kSilentLevel = 1e-30;
inline double flushSilent(double level)
{
  return (level < kSilentLevel && level > -kSilentLevel) ? 0.0 : level;
}

// One sample of the exponential envelopes (Envelope, Envelope2): the level after `next` on its way to
// target at coef (states 0 idle, 1 attack, 2 decay, 3 release). An attack reaching 1.0 hands over to the
// decay, toDecay(&coef, &target) setting its coefficient and sustain level; a release reaching 0 goes idle;
// a decay holds its sustain level, 0 included, until the gate falls. Idle holds the level, and a level that
// is no longer a number goes idle at 0.
template <class ToDecay>
inline double stepEnvelope(double next, double& target, double& coef, int& state, ToDecay toDecay)
{
  if (state <= 0) return next;
  double level = flushSilent(next + (target - next) * coef);
  if (ModuleConventions::stateBroken(level)) {
    state = 0;
    return 0.0;
  }
  if (state == 1) {
    if (level >= 1.0) {
      level = 1.0;
      state = 2;
      toDecay(&coef, &target);
    }
  } else if (state == 3) {
    if (level <= 0.0) {
      level = 0.0;
      state = 0;
    }
  } else if (level < 0.0) {
    level = 0.0;
  }
  return level;
}

// A change of a connected gate read once per tick: a rise above the previous value, a fall to exactly 0,
// or another change (kOther: a smaller value above 0, or a value that is not a number). previous keeps the
// last value that differed; an unconnected gate (nullptr) never changes.
enum GateChange { kNoChange, kRise, kFall, kOther };
inline GateChange readGate(const double* source, double* previous)
{
  if (!source) return kNoChange;
  const double v = *source;
  const double p = *previous;
  if (v == p) return kNoChange;
  *previous = v;
  if (v > p) return kRise;
  return v == 0.0 ? kFall : kOther;
}

// A tick of gate outputs that are one-tick pulses: the gates set by the previous tick are published and the
// pending ones cleared for this tick to set again.
inline void publishGates(std::vector<double>& published, std::vector<double>& pending)
{
  const std::size_t gates = published.size();
  for (std::size_t k = 0; k < gates; ++k) {
    published[k] = pending[k];
    pending[k] = 0.0;
  }
}

} // namespace ModulatorCommon
