// First use from several threads at once: every thread must compute with complete tables,
// whether it calls WDL_fft_init itself or goes straight to a transform or a lookup. This is
// its own executable so that the race really is the first use of the tables in the process.
#include "dft_reference.h"
#include "fft.h"
#include "fft_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using dftref::Cl;

namespace {

constexpr int kComplexSize = 32768;
constexpr int kRealSize = 2048;
constexpr int kTone = 12345; // frequency of the complex test tone, in cycles per buffer
constexpr int kHarmonic = 5; // harmonic of the real test wave

struct ThreadResult
{
  std::vector<WDL_FftComplex> complexOut;
  std::vector<double> realOut;
  int permuted = -1; // WDL_fft_permute(kComplexSize, kComplexSize - kTone)
};

TEST(FftFirstUse, ThreadsStartingTogetherAllSeeCompleteTables)
{
  ASSERT_EQ(wdl_fft_internal::d16[0].re, 0.0) << "tables already built: the race below would prove nothing";

  // Inputs and expectations, computed without the library.
  std::vector<WDL_FftComplex> tone(kComplexSize);
  const std::vector<Cl> minus = dftref::unitRoots(kComplexSize, -1);
  for (int t = 0; t < kComplexSize; ++t) {
    const Cl r = minus[(static_cast<long long>(kTone) * t) % kComplexSize];
    tone[t] = {static_cast<double>(r.real()), static_cast<double>(r.imag())};
  }
  std::vector<double> wave(kRealSize);
  const std::vector<Cl> waveRoots = dftref::unitRoots(kRealSize, +1);
  for (int t = 0; t < kRealSize; ++t) wave[t] = static_cast<double>(waveRoots[(kHarmonic * t) % kRealSize].real());
  // exp(-2 pi i g t / n) lands where the forward sum's frequency is g; cos at harmonic k fills
  // the slot of frequency (n/2 - k) in the half-size order with (n, 0).
  const std::vector<int> complexOrder = dftref::splitRadixOrder(kComplexSize);
  const std::vector<int> halfOrder = dftref::splitRadixOrder(kRealSize / 2);
  int tonePos = -1, wavePos = -1;
  for (int p = 0; p < kComplexSize; ++p)
    if (complexOrder[p] == kTone) tonePos = p;
  for (int p = 0; p < kRealSize / 2; ++p)
    if (halfOrder[p] == kRealSize / 2 - kHarmonic) wavePos = p;

  const int threads = 8;
  std::vector<ThreadResult> results(threads);
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&, i] {
      ThreadResult& r = results[i];
      r.complexOut = tone;
      r.realOut = wave;
      ready.fetch_add(1);
      while (!go.load()) std::this_thread::yield();
      // Three ways in: explicit init first, a lookup first, a transform first.
      switch (i % 3) {
      case 0:
        WDL_fft_init();
        break;
      case 1:
        r.permuted = WDL_fft_permute(kComplexSize, kComplexSize - kTone);
        break;
      default:
        break;
      }
      WDL_fft(r.complexOut.data(), kComplexSize, 0);
      WDL_real_fft(r.realOut.data(), kRealSize, 0);
      if (r.permuted < 0) r.permuted = WDL_fft_permute(kComplexSize, kComplexSize - kTone);
    });
  }
  while (ready.load() < threads) std::this_thread::yield();
  go.store(true);
  for (std::thread& t : pool) t.join();

  const double tol = 1e-14 * kComplexSize;
  for (int i = 0; i < threads; ++i) {
    const ThreadResult& r = results[i];
    EXPECT_EQ(r.permuted, tonePos) << "thread " << i;
    for (int p = 0; p < kComplexSize; ++p) {
      ASSERT_NEAR(r.complexOut[p].re, p == tonePos ? kComplexSize : 0.0, tol) << "thread " << i << " position " << p;
      ASSERT_NEAR(r.complexOut[p].im, 0.0, tol) << "thread " << i << " position " << p;
    }
    for (int s = 0; s < kRealSize / 2; ++s) {
      ASSERT_NEAR(r.realOut[2 * s], s == wavePos ? kRealSize : 0.0, tol) << "thread " << i << " slot " << s;
      ASSERT_NEAR(r.realOut[2 * s + 1], 0.0, tol) << "thread " << i << " slot " << s;
    }
  }
}

} // namespace
