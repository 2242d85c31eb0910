// The real transform: the packed spectrum layout (slot 0 with the two real bins, bin k at
// complex slot WDL_fft_permute(n/2, k), everything doubled) against direct long-double sums
// for every size, its inverse, scaling, and refused lengths.
#include "dft_reference.h"
#include "fft.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

using dftref::allSizes;
using dftref::Cl;
using dftref::sizeName;

namespace {

constexpr double kTolerance = 1e-14; // largest bin error relative to the rms bin magnitude
constexpr int kDirectLimit = 2048;   // above: sampled bins, plus the full radix-2 reference
constexpr int kSampledBins = 48;

// Complex slot of bin k (1 <= k < n/2) in an n-sample real spectrum.
const WDL_FftComplex& slot(const std::vector<double>& buf, int n, int k)
{
  return reinterpret_cast<const WDL_FftComplex*>(buf.data())[WDL_fft_permute(n / 2, k)];
}

std::vector<int> checkedBins(int n)
{
  std::vector<int> bins;
  if (n <= kDirectLimit) {
    for (int k = 0; k <= n / 2; ++k) bins.push_back(k);
    return bins;
  }
  bins = {0, 1, 2, n / 4 - 1, n / 4, n / 4 + 1, n / 2 - 1, n / 2};
  std::mt19937 rng(n);
  std::uniform_int_distribution<int> pick(1, n / 2 - 1);
  while (static_cast<int>(bins.size()) < kSampledBins) bins.push_back(pick(rng));
  return bins;
}

class RealTransform : public ::testing::TestWithParam<int>
{
};

TEST_P(RealTransform, ForwardPacksTwiceEachBin)
{
  const int n = GetParam();
  const std::vector<double> x = dftref::randomReal(n, 500 + n);
  std::vector<double> buf = x;
  WDL_real_fft(buf.data(), n, 0);

  std::vector<Cl> xl(x.begin(), x.end());
  const std::vector<Cl> roots = dftref::unitRoots(n, -1);
  // Exact spectrum: full radix-2 for the error scale, direct sums for the checked bins.
  const std::vector<Cl> full = dftref::radix2Transform(xl, -1);
  const double scale = 2.0 * static_cast<double>(dftref::rms(full));

  for (int k = 1; k < n / 2; ++k) {
    const Cl want = 2.0L * full[k];
    ASSERT_LE(dftref::distance(slot(buf, n, k), want), kTolerance * scale) << "bin " << k;
  }
  for (int k : checkedBins(n)) {
    const Cl want = 2.0L * dftref::directBin(xl, roots, k);
    if (k == 0) {
      ASSERT_NEAR(buf[0], static_cast<double>(want.real()), kTolerance * scale);
    } else if (k == n / 2) {
      ASSERT_NEAR(buf[1], static_cast<double>(want.real()), kTolerance * scale);
    } else {
      ASSERT_LE(dftref::distance(slot(buf, n, k), want), kTolerance * scale) << "direct bin " << k;
    }
  }
}

TEST_P(RealTransform, InverseRebuildsSamplesFromPackedBins)
{
  const int n = GetParam();
  std::vector<double> buf = dftref::randomReal(n, 600 + n);
  // x[t] = Z0 + (-1)^t Z(n/2) + 2 Re sum_{k=1}^{n/2-1} Z[k] exp(+2 pi i k t / n): the full
  // Hermitian spectrum of n bins, transformed with the positive sign.
  std::vector<Cl> spectrum(n);
  spectrum[0] = buf[0];
  spectrum[n / 2] = buf[1];
  for (int k = 1; k < n / 2; ++k) {
    const WDL_FftComplex& z = slot(buf, n, k);
    spectrum[k] = Cl(z.re, z.im);
    spectrum[n - k] = std::conj(spectrum[k]);
  }
  WDL_real_fft(buf.data(), n, 1);

  const std::vector<Cl> want =
      n <= kDirectLimit ? dftref::directTransform(spectrum, +1) : dftref::radix2Transform(spectrum, +1);
  const double scale = static_cast<double>(dftref::rms(want));
  for (int t = 0; t < n; ++t) {
    ASSERT_NEAR(buf[t], static_cast<double>(want[t].real()), kTolerance * scale) << "sample " << t;
    ASSERT_LE(std::abs(static_cast<double>(want[t].imag())), 1e-12 * scale); // the reference is real too
  }
  if (n > kDirectLimit) {
    const std::vector<Cl> roots = dftref::unitRoots(n, +1);
    for (int t : checkedBins(n))
      ASSERT_NEAR(buf[t], static_cast<double>(dftref::directBin(spectrum, roots, t).real()), kTolerance * scale)
          << "direct sample " << t;
  }
}

TEST_P(RealTransform, ForwardThenInverseMultipliesByTwiceTheSize)
{
  const int n = GetParam();
  const std::vector<double> x = dftref::randomReal(n, 700 + n);
  std::vector<double> buf = x;
  WDL_real_fft(buf.data(), n, 0);
  WDL_real_fft(buf.data(), n, -1);
  for (int t = 0; t < n; ++t) ASSERT_NEAR(buf[t], 2.0 * n * x[t], kTolerance * 2 * n) << t;
}

TEST_P(RealTransform, ConstantAndAlternatingSignalsFillSlotZeroOnly)
{
  const int n = GetParam();
  const struct
  {
    double even, odd; // sample values at even and odd t
    double slot0re, slot0im;
  } cases[] = {
      {0.75, 0.75, 2.0 * n * 0.75, 0.0},
      {1.0, -1.0, 0.0, 2.0 * n},
  };
  for (const auto& c : cases) {
    std::vector<double> buf(n);
    for (int t = 0; t < n; ++t) buf[t] = (t & 1) ? c.odd : c.even;
    WDL_real_fft(buf.data(), n, 0);
    EXPECT_NEAR(buf[0], c.slot0re, kTolerance * n);
    EXPECT_NEAR(buf[1], c.slot0im, kTolerance * n);
    for (int i = 2; i < n; ++i) ASSERT_NEAR(buf[i], 0.0, kTolerance * n) << "double " << i;
  }
}

TEST(RealTransformExamples, CosineFillsItsOwnSlot)
{
  for (int n = 4; n <= 32768; n *= 2) {
    const std::vector<Cl> roots = dftref::unitRoots(n, 1);
    for (int k : {1, n / 4, n / 2 - 1}) {
      std::vector<double> buf(n);
      for (int t = 0; t < n; ++t) buf[t] = static_cast<double>(roots[(static_cast<long long>(k) * t) % n].real());
      WDL_real_fft(buf.data(), n, 0);
      const int own = WDL_fft_permute(n / 2, k);
      for (int s = 0; s < n / 2; ++s) {
        ASSERT_NEAR(buf[2 * s], s == own ? n : 0.0, kTolerance * n) << "n " << n << " k " << k << " slot " << s;
        ASSERT_NEAR(buf[2 * s + 1], 0.0, kTolerance * n) << "n " << n << " k " << k << " slot " << s;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, RealTransform, ::testing::ValuesIn(allSizes()), sizeName);

TEST(RealTransformLengths, UnsupportedLengthsLeaveTheBufferUntouched)
{
  dftref::expectLengthsRefused(dftref::randomReal(2 * 65536, 9),
                               {0, 1, 3, 6, 12, 100, 1000, 32767, 65536, 131072, INT_MAX, -2, -16, INT_MIN},
                               WDL_real_fft);
}

TEST(RealTransformLengths, NullBufferIsIgnored)
{
  dftref::callWithNullBuffer(WDL_real_fft);
}

TEST(RealTransformExamples, TwoSamples)
{
  double fwd[2] = {3.0, 1.0};
  WDL_real_fft(fwd, 2, 0);
  EXPECT_DOUBLE_EQ(fwd[0], 8.0); // 2 (x0 + x1)
  EXPECT_DOUBLE_EQ(fwd[1], 4.0); // 2 (x0 - x1)
  double inv[2] = {3.0, 1.0};
  WDL_real_fft(inv, 2, 1);
  EXPECT_DOUBLE_EQ(inv[0], 4.0);
  EXPECT_DOUBLE_EQ(inv[1], 2.0);
}

TEST(RealTransformExamples, WaveHarmonicsSitAtTheHalfSizeOrder)
{
  // A 2048-sample wave's harmonic k is read at doubles 2 * permute(1024, k): equal to
  // permute(2048, k) up to harmonic 341, one less above.
  for (int k = 1; k < 1024; ++k) {
    const int expected = WDL_fft_permute(2048, k) - (k <= 341 ? 0 : 1);
    ASSERT_EQ(2 * WDL_fft_permute(1024, k), expected) << "harmonic " << k;
  }
}

} // namespace
