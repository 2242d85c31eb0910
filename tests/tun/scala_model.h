// An independent model of what a Scala scale and keyboard mapping make of each MIDI note,
// used to check the importer's frequencies.
#pragma once

#include <cmath>
#include <vector>

namespace tuntest {

struct Mapping
{
  int size = 12, first = 0, last = 127, middle = 0, ref = 69;
  double refHz = 440.0;
  int octave = 12;
  std::vector<int> keys = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}; // -1 unmapped; missing = unmapped
};

// degrees: cents of degree 0 (0) to degree N (the last interval of the file).
inline double ScalaHz(const std::vector<double>& degrees, const Mapping& m, int note)
{
  const int scaleSize = static_cast<int>(degrees.size()) - 1;
  auto cents = [&](int n) {
    if (n < m.first || n > m.last) return 100.0 * n;
    const int d = n - m.middle;
    const int q = static_cast<int>(std::floor(static_cast<double>(d) / m.size));
    const int pos = d - q * m.size;
    const int degree = pos < static_cast<int>(m.keys.size()) ? m.keys[pos] : -1;
    if (degree < 0 || degree >= scaleSize) return 100.0 * n; // unmapped: equal temperament
    // A formal octave beyond the scale's own degrees is the equal-tempered one.
    const double period = m.octave <= scaleSize ? degrees[m.octave] : 100.0 * m.octave;
    return 100.0 * m.middle + q * period + degrees[degree];
  };
  return m.refHz * std::pow(2.0, (cents(note) - cents(m.ref)) / 1200.0);
}

inline double RatioCents(double p, double q)
{
  return 1200.0 * std::log2(p / q);
}

} // namespace tuntest
