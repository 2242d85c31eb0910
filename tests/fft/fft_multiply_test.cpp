// Element-wise complex products: values, accumulation, and the pairwise count rule.
#include "dft_reference.h"
#include "fft.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

namespace {

using Cd = std::complex<double>;

Cd c(const WDL_FftComplex& v)
{
  return {v.re, v.im};
}

void expectEqual(const WDL_FftComplex& got, Cd want, int i)
{
  EXPECT_NEAR(got.re, want.real(), 1e-15 * (1 + std::abs(want))) << i;
  EXPECT_NEAR(got.im, want.imag(), 1e-15 * (1 + std::abs(want))) << i;
}

enum class Op { Multiply, MultiplyInto, MultiplyAdd };

void apply(Op op, std::vector<WDL_FftComplex>& dest, const std::vector<WDL_FftComplex>& a,
           const std::vector<WDL_FftComplex>& b, int count)
{
  switch (op) {
  case Op::Multiply:
    WDL_fft_complexmul(dest.data(), a.data(), count);
    break;
  case Op::MultiplyInto:
    WDL_fft_complexmul2(dest.data(), a.data(), b.data(), count);
    break;
  case Op::MultiplyAdd:
    WDL_fft_complexmul3(dest.data(), a.data(), b.data(), count);
    break;
  }
}

Cd expected(Op op, Cd dest, Cd a, Cd b)
{
  switch (op) {
  case Op::Multiply:
    return dest * a;
  case Op::MultiplyInto:
    return a * b;
  case Op::MultiplyAdd:
    return dest + a * b;
  }
  return {};
}

TEST(ComplexMultiply, EvenCountsComputeEveryElement)
{
  for (Op op : {Op::Multiply, Op::MultiplyInto, Op::MultiplyAdd}) {
    for (int count : {2, 4, 10, 1024}) {
      std::vector<WDL_FftComplex> dest = dftref::randomComplex(count + 2, 1), a = dftref::randomComplex(count, 2),
                                  b = dftref::randomComplex(count, 3);
      const std::vector<WDL_FftComplex> before = dest;
      apply(op, dest, a, b, count);
      for (int i = 0; i < count; ++i) expectEqual(dest[i], expected(op, c(before[i]), c(a[i]), c(b[i])), i);
      EXPECT_EQ(0, std::memcmp(&dest[count], &before[count], 2 * sizeof(WDL_FftComplex))) << "past the count";
    }
  }
}

TEST(ComplexMultiply, KnownProduct)
{
  WDL_FftComplex dest[2] = {{1, 2}, {0, 1}};
  const WDL_FftComplex src[2] = {{3, -1}, {0, 1}};
  WDL_fft_complexmul(dest, src, 2);
  EXPECT_DOUBLE_EQ(dest[0].re, 5.0); // (1 + 2i)(3 - i) = 5 + 5i
  EXPECT_DOUBLE_EQ(dest[0].im, 5.0);
  EXPECT_DOUBLE_EQ(dest[1].re, -1.0); // i * i
  EXPECT_DOUBLE_EQ(dest[1].im, 0.0);
}

TEST(ComplexMultiply, OddOrTooSmallCountsChangeNothing)
{
  for (Op op : {Op::Multiply, Op::MultiplyInto, Op::MultiplyAdd}) {
    for (int count : {3, 1, 0, -2, -3}) {
      std::vector<WDL_FftComplex> dest = dftref::randomComplex(4, 4), a = dftref::randomComplex(4, 5),
                                  b = dftref::randomComplex(4, 6);
      const std::vector<WDL_FftComplex> before = dest;
      apply(op, dest, a, b, count);
      EXPECT_EQ(0, std::memcmp(dest.data(), before.data(), 4 * sizeof(WDL_FftComplex))) << "count " << count;
    }
  }
}

TEST(ComplexMultiply, DestinationMayBeAnOperand)
{
  std::vector<WDL_FftComplex> a = dftref::randomComplex(4, 7);
  const std::vector<WDL_FftComplex> b = dftref::randomComplex(4, 8), original = a;
  WDL_fft_complexmul2(a.data(), a.data(), b.data(), 4);
  for (int i = 0; i < 4; ++i) expectEqual(a[i], c(original[i]) * c(b[i]), i);
  a = original;
  WDL_fft_complexmul(a.data(), a.data(), 4);
  for (int i = 0; i < 4; ++i) expectEqual(a[i], c(original[i]) * c(original[i]), i);
}

TEST(ComplexMultiply, NullPointersAreIgnored)
{
  WDL_FftComplex v[2] = {{1, 2}, {3, 4}};
  WDL_fft_complexmul(nullptr, v, 2);
  WDL_fft_complexmul(v, nullptr, 2);
  WDL_fft_complexmul2(v, nullptr, v, 2);
  WDL_fft_complexmul3(v, v, nullptr, 2);
  EXPECT_EQ(v[0].re, 1.0);
  EXPECT_EQ(v[1].im, 4.0);
}

} // namespace
