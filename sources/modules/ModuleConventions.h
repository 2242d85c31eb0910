// What every module type shares: how it declares its 16 slot parameters, how it reads inputs (additive,
// depth-style, rising gates), how pitch sums become pitch-step indexes, the per-sample-rate pitch-step
// tables, the alternating denormal guard of the recursive filters and the 16807 noise generator.
//
// Pitch throughout is an int in 1/128 semitone, 0 being MIDI note 0; the pitch-step tables cover steps
// 0..17280 (135 semitones, 19912 Hz at the top).
//
// Threads: module code runs under the instance mutex on the audio thread (update, process) or the thread
// that changes parameters and the sample rate. The pitch-step tables are immutable once published and shared
// by every instance at the same rate; only their registry takes a lock, and only from setSampleRate.
#pragma once

#include "IParam.h"
#include "Module.h"

#include <cmath>
#include <cstdint>

class Synth;

namespace ModuleConventions {

constexpr int kMaxPitchStep = 17280;
constexpr int kNumPitchSteps = kMaxPitchStep + 1;

// ---- values that may not be numbers ----
// Any input or modulation source may carry a NaN or an infinity (a divider, a feedback loop, a host's
// audio). These keep such values out of states, table indexes and integer conversions.

// v held to [lo, hi]; a NaN lands on lo, an infinity on its own bound.
inline double clampValue(double v, double lo, double hi)
{
  return v >= lo ? (v <= hi ? v : hi) : lo;
}

// v truncated toward zero into [lo, hi]; a NaN gives lo. The conversion never sees a value out of range.
inline int clampToInt(double v, int lo, int hi)
{
  if (!(v >= (double)lo)) return lo;
  if (v >= (double)hi) return hi;
  return (int)v;
}

// 64-bit form of clampToInt, for counters and phases scaled by ratios.
inline int64_t clampToInt64(double v, int64_t lo, int64_t hi)
{
  if (!(v >= (double)lo)) return lo;
  if (v >= (double)hi) return hi;
  return (int64_t)v;
}

inline bool isFinite(double v)
{
  return std::isfinite(v);
}

// v, or 0 when it is not a finite number.
inline double finiteOrZero(double v)
{
  return std::isfinite(v) ? v : 0.0;
}

// A recursive state that turned non-finite, or ran away beyond Module::kRunawayLevel (a feedback loop with
// a gain above 1), starts again from rest: true when out is either, after which the caller resets its state
// and puts out 0 for this sample. A state stopped only at infinity would take minutes to decay to silence
// once the loop's gain drops.
inline bool stateBroken(double out)
{
  return Module::runaway(out);
}

// A filter frequency held below 0.45 of the rate (unchanged where it already is, and for a rate of 0).
inline double belowNyquist(double hz, double rate)
{
  return rate > 0.0 && hz > 0.45 * rate ? 0.45 * rate : hz;
}

// A pitch sum (in doubles) truncated toward zero and clamped into a table index 0..17280.
inline int pitchStep(double pitch)
{
  if (!(pitch > 0.0)) return 0; // below 0, and not a number
  if (pitch >= (double)kMaxPitchStep) return kMaxPitchStep;
  return (int)pitch;
}

inline int clampPitchStep(int pitch)
{
  return pitch < 0 ? 0 : pitch > kMaxPitchStep ? kMaxPitchStep : pitch;
}

// An additive input: amount times the source value, 0 without a source.
inline double additive(const double* source, double amount)
{
  return source ? amount * *source : 0.0;
}

// A depth-style level factor: ((value - 1) * depth + 1), 1 without a source.
inline double depthFactor(const double* source, double depth)
{
  return source ? (*source - 1.0) * depth + 1.0 : 1.0;
}

// A gate input fires when its value exceeds the value of its previous reading. A disconnected gate never
// fires and keeps its previous value.
inline bool gateRose(const double* source, double* previous)
{
  if (!source) return false;
  const double v = *source;
  const bool rose = v > *previous;
  *previous = v;
  return rose;
}

// Per-rate pitch-step tables: 17281 values of a quantity derived from Synth::convert2Hz(step) and the
// sample rate. A table is built once per (kind, rate), never changed afterwards and never freed, so an
// instance keeps a plain pointer to it while instances at other rates read their own.
const int* phaseIncrementTable(double sampleRate); // trunc(2^28 * hz / rate), below 2^28
const double* radiansTable(double sampleRate);     // hz * 2 pi / rate

// How many distinct tables have been built so far (tests check that a repeated rate builds nothing).
int pitchTablesBuilt();

// The alternating denormal guard of a recursive filter: 1e-13 after a reset, its sign flipped per sample.
constexpr double kGuardStart = 1e-13;
inline double nextGuard(double* guard)
{
  const double d = *guard;
  *guard = -d;
  return d;
}

// The noise generator: seed = seed * 16807 (unsigned 32-bit, wrapping), starting from 1; a draw is the new
// seed read as a signed 32-bit integer times 4.6566129e-10, in [-1, 1). Each source file that draws keeps
// its own seed shared by its module types.
inline double drawNoise(uint32_t* seed)
{
  *seed *= 16807u;
  return (double)(int32_t)*seed * 4.6566129e-10;
}

// ---- parameter declarations ----
// Every slot parameter keeps the name "M:s P:p" given by the empty module; labels and groups are empty.

// Clears the display texts and the display callback of the slot's 16 parameters (base..base+15).
void clearParams(int base, Synth* synth);
// An enumeration of count entries with their display texts.
void declareEnum(Synth* synth, int param, int defaultIdx, int count, const char* const* labels);
// A source selector: an enumeration with the single entry "off"; the engine appends the source list.
void declareSelector(Synth* synth, int param);
void declareInt(Synth* synth, int param, int defaultVal, int minVal, int maxVal, IParam::DisplayFunc display = nullptr);
// Two audio inputs at first..first + 3: each a level (0 to 2, 1 by default, shown in dB) and its source.
void declareLevelInputs(Synth* synth, int first);
void declareDouble(Synth* synth, int param, double defaultVal, double minVal, double maxVal, double step, double shape,
                   IParam::DisplayFunc display = nullptr);
// The oscillators' pitch block at first..first+5: coarse pitch (semitones), fine tune (1/128 semitone),
// then two pitch modulations, each an amount followed by its source selector.
void declarePitchParams(Synth* synth, int first);
// The oscillators' start phase (cycles, shown in degrees) at first, its modulation source and the reset
// trigger source after it.
void declareStartPhaseParams(Synth* synth, int first);

} // namespace ModuleConventions
