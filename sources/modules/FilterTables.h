// Per-rate pitch-step tables of the K35 and comb filters, built like the conventions' tables: once per
// sample rate, never changed afterwards and never freed, so an instance keeps a plain pointer while
// instances at other rates read their own. Built from setSampleRate only (a lock guards the registry).
#pragma once

#include <cmath>

namespace FilterTables {

// tan(pi f / rate) of each pitch step, the prewarped gain of a trapezoidal one-pole stage; f is held to at
// most 0.49 of the rate so that no stage passes Nyquist (nothing changes at 44.1 kHz and above, where
// the top step, 19912 Hz, is already below).
const double* tangentTable(double sampleRate);

// rate / f of each pitch step: the period in samples.
const double* periodTable(double sampleRate);

// The key-tracking offset of the filters: the nearest whole number, halves away from zero. Kept in double:
// a custom tuning may put a pitch anywhere in the int range, so the offset need not fit an int.
inline double roundAway(double v)
{
  return v < 0.0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
}

constexpr double kMaxCentreRatio = 0.49; // highest stage frequency, as a share of the sample rate

} // namespace FilterTables
