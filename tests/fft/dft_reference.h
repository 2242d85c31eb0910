// Reference transforms for the FFT tests, computed without the library: direct sums and a
// textbook radix-2 transform, both in long double with unit roots whose angles are reduced
// exactly (integer j mod n) before any trigonometry. Also the split-radix output order, built
// as position lists rather than per-position. And what the transform suites share: their sizes
// and the checks of refused lengths.
#ifndef VELTRANE_TESTS_DFT_REFERENCE_H
#define VELTRANE_TESTS_DFT_REFERENCE_H

#include "fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
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

// n values uniform in -1..1, the same for the same seed.
inline std::vector<double> randomReal(int n, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& d : v) d = u(rng);
  return v;
}

// n complex values, real and imaginary parts drawn in turn.
inline std::vector<WDL_FftComplex> randomComplex(int n, unsigned seed)
{
  const std::vector<double> parts = randomReal(2 * n, seed);
  std::vector<WDL_FftComplex> v(n);
  for (int i = 0; i < n; ++i) v[i] = {parts[2 * i], parts[2 * i + 1]};
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

// Every supported transform size, 2 to 32768, as test parameters named "n<size>".
inline std::vector<int> allSizes()
{
  std::vector<int> sizes;
  for (int n = 2; n <= 32768; n *= 2) sizes.push_back(n);
  return sizes;
}

inline std::string sizeName(const ::testing::TestParamInfo<int>& info)
{
  return "n" + std::to_string(info.param);
}

// A transform (buffer, length, inverse flag) called with each length in both directions leaves
// buf exactly as it was.
template <class T>
void expectLengthsRefused(std::vector<T> buf, const std::vector<int>& lengths, void (*transform)(T*, int, int))
{
  const std::vector<T> before = buf;
  for (int len : lengths) {
    for (int inverse = 0; inverse < 2; ++inverse) {
      transform(buf.data(), len, inverse);
      ASSERT_EQ(0, std::memcmp(buf.data(), before.data(), buf.size() * sizeof(T)))
          << "length " << len << " inverse " << inverse;
    }
  }
}

// A transform called on a null buffer at every supported size, both directions, does nothing.
template <class T> void callWithNullBuffer(void (*transform)(T*, int, int))
{
  for (int n = 2; n <= 32768; n *= 2) {
    transform(nullptr, n, 0);
    transform(nullptr, n, 1);
  }
}

} // namespace dftref

#endif
