// The shared tables and building blocks behind the transforms: twiddle values and sharing,
// the bin-order rule, the fixed kernels and the one-time build.
#include "dft_reference.h"
#include "fft.h"
#include "fft_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace fi = wdl_fft_internal;
using dftref::Cl;

namespace {

struct Table
{
  const WDL_FftComplex* entries;
  int size;
  int count;
};

// Sizes and entry counts as the passes expect them: n/4 - 1 up to 512 points, n/8 - 1 above.
std::vector<Table> tables()
{
  WDL_fft_init();
  return {
      {fi::d16, 16, 3},       {fi::d32, 32, 7},        {fi::d64, 64, 15},         {fi::d128, 128, 31},
      {fi::d256, 256, 63},    {fi::d512, 512, 127},    {fi::d1024, 1024, 127},    {fi::d2048, 2048, 255},
      {fi::d4096, 4096, 511}, {fi::d8192, 8192, 1023}, {fi::d16384, 16384, 2047}, {fi::d32768, 32768, 4095},
  };
}

TEST(FftTables, EntryCounts)
{
  EXPECT_EQ(sizeof fi::d16 / sizeof(WDL_FftComplex), 3u);
  EXPECT_EQ(sizeof fi::d512 / sizeof(WDL_FftComplex), 127u);
  EXPECT_EQ(sizeof fi::d1024 / sizeof(WDL_FftComplex), 127u); // an eighth turn, not a quarter
  EXPECT_EQ(sizeof fi::d32768 / sizeof(WDL_FftComplex), 4095u);
  std::size_t total = 0;
  for (const Table& t : tables()) {
    EXPECT_EQ(fi::twiddleTable(t.size), t.entries) << t.size;
    total += t.count;
  }
  EXPECT_EQ(total, 8304u);
  EXPECT_EQ(sizeof fi::_idxperm / sizeof(int), 65536u);
  EXPECT_EQ(fi::twiddleTable(8), nullptr);
  EXPECT_EQ(fi::twiddleTable(65536), nullptr);
}

TEST(FftTables, EntriesAreTheUnitRoots)
{
  // The angles are formed in double precision ((k + 1) times the rounded step), so entries
  // may sit a few units in the last place from the exact value, never further than 2^-51.
  const double tol = std::ldexp(1.0, -51);
  for (const Table& t : tables()) {
    const std::vector<Cl> roots = dftref::unitRoots(t.size, +1);
    for (int k = 0; k < t.count; ++k) {
      ASSERT_NEAR(t.entries[k].re, static_cast<double>(roots[k + 1].real()), tol) << "n " << t.size << " k " << k;
      ASSERT_NEAR(t.entries[k].im, static_cast<double>(roots[k + 1].imag()), tol) << "n " << t.size << " k " << k;
    }
  }
}

TEST(FftTables, SixteenPointEntriesAreTheRoundedEighthTurnValues)
{
  WDL_fft_init();
  const WDL_FftComplex want[3] = {{0.9238795325112867, 0.3826834323650898},
                                  {0.7071067811865476, 0.7071067811865475},
                                  {0.38268343236508984, 0.9238795325112867}};
  EXPECT_EQ(0, std::memcmp(fi::d16, want, sizeof want));
}

TEST(FftTables, SharedAnglesAreBitIdenticalAcrossSizes)
{
  const std::vector<Table> all = tables();
  for (std::size_t i = 1; i < all.size(); ++i) {
    const Table& t = all[i];
    const Table& half = all[i - 1];
    for (int k = 1; k < t.count; k += 2)
      ASSERT_EQ(0, std::memcmp(&t.entries[k], &half.entries[(k - 1) / 2], sizeof(WDL_FftComplex)))
          << "n " << t.size << " k " << k;
  }
}

TEST(FftTables, SecondInitChangesNothing)
{
  const std::vector<Table> all = tables();
  std::vector<std::vector<WDL_FftComplex>> snapshot;
  for (const Table& t : all) snapshot.emplace_back(t.entries, t.entries + t.count);
  const std::vector<int> perm(fi::_idxperm, fi::_idxperm + 65536);
  WDL_fft_init();
  WDL_fft_init();
  for (std::size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(0, std::memcmp(all[i].entries, snapshot[i].data(), all[i].count * sizeof(WDL_FftComplex)));
  EXPECT_EQ(0, std::memcmp(fi::_idxperm, perm.data(), perm.size() * sizeof(int)));
}

TEST(FftTables, PermutationBlocksLieBackToBack)
{
  WDL_fft_init();
  for (int n = 2; n <= 32768; n *= 2) {
    EXPECT_EQ(WDL_fft_permute_tab(n), fi::_idxperm + n - 2);
    for (int k = 0; k < n; ++k) ASSERT_EQ(fi::_idxperm[n - 2 + k], WDL_fft_permute(n, k));
  }
}

TEST(FftFrequencyOrder, KnownValues)
{
  const struct
  {
    unsigned j, n;
    int f;
  } cases[] = {
      {0, 2, 0}, {1, 2, 1}, {0, 4, 0}, {1, 4, 2}, {2, 4, 1}, {3, 4, 3}, {0, 8, 0},
      {1, 8, 4}, {2, 8, 2}, {3, 8, 6}, {4, 8, 1}, {5, 8, 5}, {6, 8, 7}, {7, 8, 3},
  };
  for (const auto& c : cases) EXPECT_EQ(fi::fftfreq_c(c.j, c.n), c.f) << c.j << " of " << c.n;
}

TEST(FftFrequencyOrder, MatchesTheSplitRadixOrderAtEverySize)
{
  for (unsigned n = 2; n <= 32768; n *= 2) {
    const std::vector<int> order = dftref::splitRadixOrder(static_cast<int>(n));
    for (unsigned j = 0; j < n; ++j) ASSERT_EQ(fi::fftfreq_c(j, n), order[j]) << j << " of " << n;
  }
}

// The fixed kernels on their own: forward in natural order out to permuted order, inverse back.
TEST(FftKernels, EightAndSixteenPointsAgainstDirectSums)
{
  WDL_fft_init();
  const struct
  {
    int n;
    void (*forward)(WDL_FftComplex*);
    void (*inverse)(WDL_FftComplex*);
  } kernels[] = {{8, fi::c8, fi::u8}, {16, fi::c16, fi::u16}};
  for (const auto& kn : kernels) {
    const std::vector<int> order = dftref::splitRadixOrder(kn.n);
    const std::vector<WDL_FftComplex> x = dftref::randomComplex(kn.n, kn.n);
    const std::vector<Cl> xl = dftref::widen(x);
    const std::vector<Cl> plus = dftref::unitRoots(kn.n, +1), minus = dftref::unitRoots(kn.n, -1);

    std::vector<WDL_FftComplex> buf = x;
    kn.forward(buf.data());
    for (int p = 0; p < kn.n; ++p)
      EXPECT_LE(dftref::distance(buf[p], dftref::directBin(xl, plus, order[p])), 1e-14) << kn.n << " fwd " << p;

    // Inverse: out[t] = sum_p y[p] exp(-2 pi i f(p) t / n).
    buf = x;
    kn.inverse(buf.data());
    for (int t = 0; t < kn.n; ++t) {
      Cl want = 0;
      for (int p = 0; p < kn.n; ++p) want += xl[p] * minus[(order[p] * t) % kn.n];
      EXPECT_LE(dftref::distance(buf[t], want), 1e-14) << kn.n << " inv " << t;
    }
  }
}

} // namespace
