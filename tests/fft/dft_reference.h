// Reference transforms for the FFT tests, computed without the library: direct sums and a
// textbook radix-2 transform, both in long double with unit roots whose angles are reduced
// exactly (integer j mod n) before any trigonometry. Also the split-radix output order, built
// as position lists rather than per-position.
#ifndef VELTRANE_TESTS_DFT_REFERENCE_H
#define VELTRANE_TESTS_DFT_REFERENCE_H

#include "fft.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace dftref {

using Cl = std::complex<long double>;

// exp(sign * 2 pi i j / n) for j = 0 .. n-1.
inline std::vector<Cl> unitRoots(int n, int sign)
{
  const long double pi = 3.14159265358979323846264338327950288L;
  std::vector<Cl> roots(n);
  for (int j = 0; j < n; ++j) {
    const long double angle = sign * 2.0L * pi * j / n;
    roots[j] = Cl(std::cos(angle), std::sin(angle));
  }
  return roots;
}

// One bin of the direct sum: sum_t x[t] * roots[(k t) mod n].
inline Cl directBin(const std::vector<Cl>& x, const std::vector<Cl>& roots, int k)
{
  const std::int64_t n = static_cast<std::int64_t>(x.size());
  Cl sum = 0;
  for (std::int64_t t = 0; t < n; ++t) sum += x[t] * roots[(k * t) % n];
  return sum;
}

// Natural-order transform in O(n^2), X[k] = sum_t x[t] exp(sign 2 pi i k t / n).
inline std::vector<Cl> directTransform(const std::vector<Cl>& x, int sign)
{
  const int n = static_cast<int>(x.size());
  const std::vector<Cl> roots = unitRoots(n, sign);
  std::vector<Cl> out(n);
  for (int k = 0; k < n; ++k) out[k] = directBin(x, roots, k);
  return out;
}

// The same transform by recursive radix-2 decimation in time, for sizes where O(n^2) is slow.
inline void radix2(const Cl* x, std::size_t stride, std::size_t n, const std::vector<Cl>& roots, std::size_t rootStep,
                   Cl* out)
{
  if (n == 1) {
    out[0] = x[0];
    return;
  }
  const std::size_t h = n / 2;
  radix2(x, stride * 2, h, roots, rootStep * 2, out);
  radix2(x + stride, stride * 2, h, roots, rootStep * 2, out + h);
  for (std::size_t k = 0; k < h; ++k) {
    const Cl even = out[k], odd = out[k + h] * roots[k * rootStep];
    out[k] = even + odd;
    out[k + h] = even - odd;
  }
}

inline std::vector<Cl> radix2Transform(const std::vector<Cl>& x, int sign)
{
  const std::vector<Cl> roots = unitRoots(static_cast<int>(x.size()), sign);
  std::vector<Cl> out(x.size());
  radix2(x.data(), 1, x.size(), roots, 1, out.data());
  return out;
}

// Frequencies at the output positions of a forward n-point transform, position by position:
// the even frequencies first (in the order of n/2), then 4f + 1 and 4f - 1 (mod n) for the
// frequencies f of an n/4-point transform. Built top-down: an m-point part of the n-point
// output holds the frequencies scale * g + offset (mod n), g running over the m-point order.
inline void appendOrder(int m, long long scale, long long offset, int n, std::vector<int>& out)
{
  if (m <= 2) {
    for (int g = 0; g < m; ++g) out.push_back(static_cast<int>(((scale * g + offset) % n + n) % n));
    return;
  }
  appendOrder(m / 2, scale * 2, offset, n, out);
  appendOrder(m / 4, scale * 4, offset + scale, n, out);
  appendOrder(m / 4, scale * 4, offset - scale, n, out);
}

inline std::vector<int> splitRadixOrder(int n)
{
  std::vector<int> order;
  order.reserve(n);
  appendOrder(n, 1, 0, n, order);
  return order;
}

inline std::vector<WDL_FftComplex> randomComplex(int n, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<WDL_FftComplex> v(n);
  for (WDL_FftComplex& c : v) c = {u(rng), u(rng)};
  return v;
}

inline std::vector<double> randomReal(int n, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& d : v) d = u(rng);
  return v;
}

inline std::vector<Cl> widen(const std::vector<WDL_FftComplex>& v)
{
  std::vector<Cl> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = Cl(v[i].re, v[i].im);
  return out;
}

// Root mean square magnitude, the scale that errors are measured against.
inline long double rms(const std::vector<Cl>& v)
{
  long double sum = 0;
  for (const Cl& c : v) sum += std::norm(c);
  return std::sqrt(sum / v.size());
}

inline double distance(const WDL_FftComplex& got, const Cl& want)
{
  return static_cast<double>(std::abs(Cl(got.re, got.im) - want));
}

} // namespace dftref

#endif
