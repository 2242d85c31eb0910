// The complex transform: values against independent long-double transforms for every size,
// bin order, scaling, and lengths it must refuse.
#include "dft_reference.h"
#include "fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

using dftref::allSizes;
using dftref::Cl;
using dftref::sizeName;

namespace {

// Largest error of any bin, relative to the rms magnitude of the exact spectrum. Rounding
// alone stays near 1e-16; a wrong twiddle or a misplaced bin costs order 1.
constexpr double kTolerance = 1e-14;
// Up to this size every bin is checked against the O(n^2) direct sum.
constexpr int kDirectLimit = 2048;
constexpr int kSampledBins = 48;

// Bins checked against a direct sum at sizes above kDirectLimit: the ends, the middle, and a
// spread of others.
std::vector<int> sampledBins(int n, unsigned seed)
{
  std::vector<int> bins = {0, 1, 2, n / 4, n / 2 - 1, n / 2, n / 2 + 1, n - 1};
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pick(0, n - 1);
  while (static_cast<int>(bins.size()) < kSampledBins) bins.push_back(pick(rng));
  return bins;
}

// Checks `got`, a transform output in natural order, against the exact transform of x with
// the given sign: every bin for small sizes; for large sizes every bin against the long double
// radix-2 transform and sampled bins against direct sums.
void expectMatchesTransform(const std::vector<Cl>& x, int sign, const std::vector<WDL_FftComplex>& got)
{
  const int n = static_cast<int>(x.size());
  if (n <= kDirectLimit) {
    const std::vector<Cl> want = dftref::directTransform(x, sign);
    const double scale = static_cast<double>(dftref::rms(want));
    for (int k = 0; k < n; ++k) ASSERT_LE(dftref::distance(got[k], want[k]), kTolerance * scale) << "bin " << k;
    return;
  }
  const std::vector<Cl> want = dftref::radix2Transform(x, sign);
  const double scale = static_cast<double>(dftref::rms(want));
  for (int k = 0; k < n; ++k) ASSERT_LE(dftref::distance(got[k], want[k]), kTolerance * scale) << "bin " << k;
  const std::vector<Cl> roots = dftref::unitRoots(n, sign);
  for (int k : sampledBins(n, static_cast<unsigned>(n + sign)))
    ASSERT_LE(dftref::distance(got[k], dftref::directBin(x, roots, k)), kTolerance * scale) << "direct bin " << k;
}

class ComplexTransform : public ::testing::TestWithParam<int>
{
};

TEST_P(ComplexTransform, ForwardGivesEachBinAtItsPermutedPosition)
{
  const int n = GetParam();
  const std::vector<WDL_FftComplex> x = dftref::randomComplex(n, 100 + n);
  std::vector<WDL_FftComplex> buf = x;
  WDL_fft(buf.data(), n, 0);

  std::vector<WDL_FftComplex> bins(n);
  for (int k = 0; k < n; ++k) bins[k] = buf[WDL_fft_permute(n, k)];
  expectMatchesTransform(dftref::widen(x), -1, bins);
}

TEST_P(ComplexTransform, InverseTakesPermutedBinsToNaturalOrder)
{
  const int n = GetParam();
  std::vector<WDL_FftComplex> buf = dftref::randomComplex(n, 200 + n);
  std::vector<Cl> spectrum(n);
  for (int k = 0; k < n; ++k) spectrum[k] = Cl(buf[WDL_fft_permute(n, k)].re, buf[WDL_fft_permute(n, k)].im);
  WDL_fft(buf.data(), n, 1);
  expectMatchesTransform(spectrum, +1, buf);
}

TEST_P(ComplexTransform, ForwardThenInverseMultipliesBySize)
{
  const int n = GetParam();
  const std::vector<WDL_FftComplex> x = dftref::randomComplex(n, 300 + n);
  std::vector<WDL_FftComplex> buf = x;
  WDL_fft(buf.data(), n, 0);
  WDL_fft(buf.data(), n, 7); // any nonzero flag selects the inverse
  for (int t = 0; t < n; ++t) {
    ASSERT_NEAR(buf[t].re, n * x[t].re, kTolerance * n) << t;
    ASSERT_NEAR(buf[t].im, n * x[t].im, kTolerance * n) << t;
  }
}

TEST_P(ComplexTransform, BinOrderIsTheSplitRadixOrder)
{
  const int n = GetParam();
  const std::vector<int> order = dftref::splitRadixOrder(n);
  const int* tab = WDL_fft_permute_tab(n);
  std::vector<bool> seen(n, false);
  for (int k = 0; k < n; ++k) {
    const int pos = WDL_fft_permute(n, k);
    ASSERT_GE(pos, 0);
    ASSERT_LT(pos, n);
    EXPECT_FALSE(seen[pos]) << "position used twice: " << pos;
    seen[pos] = true;
    // The forward sum runs with exp(+2 pi i f t / n), so bin k is frequency (n - k) mod n.
    EXPECT_EQ(order[pos], (n - k) % n) << "bin " << k;
    EXPECT_EQ(tab[k], pos) << "bin " << k;
  }
}

TEST_P(ComplexTransform, WritesOnlyItsOwnValues)
{
  const int n = GetParam();
  const int guard = 16;
  std::vector<WDL_FftComplex> buf = dftref::randomComplex(n + 2 * guard, 400 + n);
  const std::vector<WDL_FftComplex> before = buf;
  for (int inverse = 0; inverse < 2; ++inverse) {
    WDL_fft(buf.data() + guard, n, inverse);
    EXPECT_EQ(0, std::memcmp(buf.data(), before.data(), guard * sizeof(WDL_FftComplex)));
    EXPECT_EQ(0, std::memcmp(buf.data() + guard + n, before.data() + guard + n, guard * sizeof(WDL_FftComplex)));
  }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, ComplexTransform, ::testing::ValuesIn(allSizes()), sizeName);

TEST(ComplexTransformLengths, UnsupportedLengthsLeaveTheBufferUntouched)
{
  dftref::expectLengthsRefused(
      dftref::randomComplex(65536, 7),
      {0, 1, 3, 5, 6, 7, 12, 24, 48, 100, 1000, 32767, 32769, 65536, 131072, INT_MAX, -2, -8, INT_MIN}, WDL_fft);
}

TEST(ComplexTransformLengths, NullBufferIsIgnored)
{
  dftref::callWithNullBuffer(WDL_fft);
}

TEST(ComplexTransformExamples, TwoPointsIsTheSameInBothDirections)
{
  WDL_FftComplex fwd[2] = {{1.5, -2.0}, {0.25, 4.0}};
  WDL_FftComplex inv[2] = {{1.5, -2.0}, {0.25, 4.0}};
  WDL_fft(fwd, 2, 0);
  WDL_fft(inv, 2, 1);
  EXPECT_EQ(0, std::memcmp(fwd, inv, sizeof fwd));
  EXPECT_DOUBLE_EQ(fwd[0].re, 1.75);
  EXPECT_DOUBLE_EQ(fwd[0].im, 2.0);
  EXPECT_DOUBLE_EQ(fwd[1].re, 1.25);
  EXPECT_DOUBLE_EQ(fwd[1].im, -6.0);
}

TEST(ComplexTransformExamples, FourRealSamples)
{
  WDL_FftComplex buf[4] = {{1, 0}, {2, 0}, {3, 0}, {4, 0}};
  WDL_fft(buf, 4, 0);
  const WDL_FftComplex positions[4] = {{10, 0}, {-2, 0}, {-2, -2}, {-2, 2}};
  for (int p = 0; p < 4; ++p) {
    EXPECT_DOUBLE_EQ(buf[p].re, positions[p].re) << p;
    EXPECT_DOUBLE_EQ(buf[p].im, positions[p].im) << p;
  }
  // Conventional bins X[0..3] = 10, -2+2i, -2, -2-2i.
  const WDL_FftComplex bins[4] = {{10, 0}, {-2, 2}, {-2, 0}, {-2, -2}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(buf[WDL_fft_permute(4, k)].re, bins[k].re) << k;
    EXPECT_DOUBLE_EQ(buf[WDL_fft_permute(4, k)].im, bins[k].im) << k;
  }
}

TEST(ComplexTransformExamples, KnownBinPositions)
{
  const struct
  {
    int n;
    std::vector<int> positions;
  } cases[] = {
      {2, {0, 1}},
      {4, {0, 3, 1, 2}},
      {8, {0, 6, 3, 5, 1, 7, 2, 4}},
  };
  for (const auto& c : cases) {
    const int* tab = WDL_fft_permute_tab(c.n);
    for (int k = 0; k < c.n; ++k) {
      EXPECT_EQ(WDL_fft_permute(c.n, k), c.positions[k]) << "n " << c.n << " bin " << k;
      EXPECT_EQ(tab[k], c.positions[k]) << "n " << c.n << " bin " << k;
    }
  }
  for (int n = 2; n <= 32768; n *= 2) EXPECT_EQ(WDL_fft_permute(n, 0), 0) << n;
}

TEST(ComplexTransformExamples, PureToneLandsInOneBin)
{
  // exp(-2 pi i f t / n) has all its energy in conventional bin n - f: value n there, 0 elsewhere.
  for (int n = 8; n <= 32768; n *= 8) {
    for (int f : {1, 3, n / 2, n - 1}) {
      std::vector<WDL_FftComplex> buf(n);
      const std::vector<Cl> roots = dftref::unitRoots(n, -1);
      for (int t = 0; t < n; ++t) {
        const Cl r = roots[(static_cast<long long>(f) * t) % n];
        buf[t] = {static_cast<double>(r.real()), static_cast<double>(r.imag())};
      }
      WDL_fft(buf.data(), n, 0);
      const int pos = WDL_fft_permute(n, (n - f) % n);
      for (int p = 0; p < n; ++p) {
        const double want = p == pos ? n : 0.0;
        ASSERT_NEAR(buf[p].re, want, kTolerance * n) << "n " << n << " f " << f << " position " << p;
        ASSERT_NEAR(buf[p].im, 0.0, kTolerance * n) << "n " << n << " f " << f << " position " << p;
      }
    }
  }
}

} // namespace
