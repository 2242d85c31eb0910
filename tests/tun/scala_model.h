// An independent model of what a Scala scale and keyboard mapping make of each MIDI note,
// used to check the importer's frequencies. It follows the format's own definition: a mapping
// of size 0 is linear (each key the next degree, one period per scale size), a degree at or
// beyond the scale size lies in a later period, the period is the scale's last degree.
#pragma once

#include <cmath>
#include <vector>

namespace tuntest {

struct Mapping
{
  int size = 12, first = 0, last = 127, middle = 0, ref = 69; // size 0: linear
  double refHz = 440.0;
  int octave = 12;
  std::vector<int> keys = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}; // -1 unmapped; missing = unmapped
};

// The mapping the importer uses before any .kbm: linear from note 60, note 69 at 440 Hz.
inline Mapping LinearMapping()
{
  Mapping m;
  m.size = 0;
  m.middle = 60;
  m.octave = 0;
  m.keys.clear();
  return m;
}

// degrees: cents of degree 0 (0) to degree N (the last interval of the file, the period).
// Degree d >= 0 lies floor(d / N) periods above degree d - N * floor(d / N).
inline double DegreeCents(const std::vector<double>& degrees, int d)
{
  const int n = static_cast<int>(degrees.size()) - 1;
  const int periods = static_cast<int>(std::floor(static_cast<double>(d) / n));
  return periods * degrees[n] + degrees[d - periods * n];
}

// Pitch of a MIDI note in cents on the axis where note k unmapped sits at 100 k.
inline double ScalaCents(const std::vector<double>& degrees, const Mapping& m, int note)
{
  const int scaleSize = static_cast<int>(degrees.size()) - 1;
  if (note < m.first || note > m.last) return 100.0 * note;
  const int keys = m.size == 0 ? scaleSize : m.size;
  const int d = note - m.middle;
  const int pattern = static_cast<int>(std::floor(static_cast<double>(d) / keys));
  const int pos = d - pattern * keys;
  int degree = pos;
  if (m.size != 0) degree = pos < static_cast<int>(m.keys.size()) ? m.keys[pos] : -1;
  if (degree < 0) return 100.0 * note; // unmapped: equal temperament
  const double period = m.size == 0 ? degrees[scaleSize] : DegreeCents(degrees, m.octave);
  return 100.0 * m.middle + pattern * period + DegreeCents(degrees, degree);
}

inline double ScalaHz(const std::vector<double>& degrees, const Mapping& m, int note)
{
  return m.refHz * std::pow(2.0, (ScalaCents(degrees, m, note) - ScalaCents(degrees, m, m.ref)) / 1200.0);
}

inline double RatioCents(double p, double q)
{
  return 1200.0 * std::log2(p / q);
}

} // namespace tuntest
