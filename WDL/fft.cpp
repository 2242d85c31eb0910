// The complex transform: one-time tables, the per-size call sequences, bin-order lookups and
// the element-wise complex products. The kernels and passes it sequences live in
// fft_passes.cpp.
#include "fft.h"
#include "fft_internal.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace wdl_fft_internal {

WDL_FftComplex d16[3], d32[7], d64[15], d128[31], d256[63], d512[127];
WDL_FftComplex d1024[127], d2048[255], d4096[511], d8192[1023], d16384[2047], d32768[4095];
int _idxperm[65536];

} // namespace wdl_fft_internal

using namespace wdl_fft_internal;

namespace {

// Set (with release order) only after every table is complete, so a thread that sees it set
// also sees the tables; the once-flag makes late arrivals wait for the thread that builds.
std::atomic<bool> ffttabinit{false};
std::once_flag tablesOnce;

struct TwiddleTable
{
  WDL_FftComplex* entries;
  int size;  // transform size n
  int count; // n/4 - 1 up to 512 points, n/8 - 1 from 1024 (the big passes mirror the rest)
};

// Increasing sizes: each table takes its odd entries from the one before.
const TwiddleTable kTwiddleTables[] = {
    {d32, 32, 7},        {d64, 64, 15},         {d128, 128, 31},       {d256, 256, 63},
    {d512, 512, 127},    {d1024, 1024, 127},    {d2048, 2048, 255},    {d4096, 4096, 511},
    {d8192, 8192, 1023}, {d16384, 16384, 2047}, {d32768, 32768, 4095},
};

void buildTables()
{
  // cos and sin of pi/8, pi/4 and 3 pi/8, correctly rounded.
  d16[0] = {0.9238795325112867, 0.3826834323650898};
  d16[1] = {0.7071067811865476, 0.7071067811865475};
  d16[2] = {0.38268343236508984, 0.9238795325112867};

  // Entry k holds the angle (k + 1) turns / n. For odd k that angle is entry (k - 1) / 2 of
  // the half-size table, copied bit for bit, so each angle is evaluated once, at the
  // smallest size that has it, and every size sees the same value for it.
  const WDL_FftComplex* half = d16;
  for (const TwiddleTable& t : kTwiddleTables) {
    const double step = 2.0 * 3.141592653589793 / t.size; // exact: pi scaled by a power of two
    for (int k = 0; k < t.count; ++k) {
      if (k & 1) {
        t.entries[k] = half[(k - 1) / 2];
      } else {
        const double theta = static_cast<double>(k + 1) * step;
        t.entries[k] = {std::cos(theta), std::sin(theta)};
      }
    }
    half = t.entries;
  }

  // Block of size n: entry k is the position that holds frequency (n - k) mod n, the
  // conjugate frequency, because the forward transform sums with exp(+2 pi i f t / n).
  for (int n = 2; n <= 32768; n *= 2) {
    int* block = _idxperm + (n - 2);
    block[0] = 0;
    for (int j = 1; j < n; ++j) block[n - fftfreq_c(j, n)] = j;
  }

  ffttabinit.store(true, std::memory_order_release);
}

inline void ensureTables()
{
  if (!ffttabinit.load(std::memory_order_acquire)) std::call_once(tablesOnce, buildTables);
}

template <int N> constexpr const WDL_FftComplex* twiddles()
{
  if constexpr (N == 32)
    return d32;
  else if constexpr (N == 64)
    return d64;
  else if constexpr (N == 128)
    return d128;
  else if constexpr (N == 256)
    return d256;
  else if constexpr (N == 512)
    return d512;
  else if constexpr (N == 1024)
    return d1024;
  else if constexpr (N == 2048)
    return d2048;
  else if constexpr (N == 4096)
    return d4096;
  else if constexpr (N == 8192)
    return d8192;
  else if constexpr (N == 16384)
    return d16384;
  else
    return d32768;
}

// The split-radix recursion, unrolled at compile time: for each size the whole run of pass
// and kernel calls, with their offsets, tables and counts, becomes straight-line code, so a
// transform is one length dispatch followed by a fixed sequence of calls (4096 calls at
// 32768 points). Forward is decimation in frequency (pass first), inverse decimation in time.
template <int N> struct SplitRadix
{
  [[gnu::always_inline]] static inline void forward(WDL_FftComplex* a)
  {
    if constexpr (N >= 1024)
      cpassbig(a, twiddles<N>(), N / 8);
    else
      cpass(a, twiddles<N>(), N / 8);
    SplitRadix<N / 2>::forward(a);
    SplitRadix<N / 4>::forward(a + N / 2);
    SplitRadix<N / 4>::forward(a + 3 * N / 4);
  }
  [[gnu::always_inline]] static inline void inverse(WDL_FftComplex* a)
  {
    SplitRadix<N / 2>::inverse(a);
    SplitRadix<N / 4>::inverse(a + N / 2);
    SplitRadix<N / 4>::inverse(a + 3 * N / 4);
    if constexpr (N >= 1024)
      upassbig(a, twiddles<N>(), N / 8);
    else
      upass(a, twiddles<N>(), N / 8);
  }
};

template <> struct SplitRadix<16>
{
  static void forward(WDL_FftComplex* a) { c16(a); }
  static void inverse(WDL_FftComplex* a) { u16(a); }
};

template <> struct SplitRadix<8>
{
  static void forward(WDL_FftComplex* a) { c8(a); }
  static void inverse(WDL_FftComplex* a) { u8(a); }
};

template <int N> void transform(WDL_FftComplex* a, int isInverse)
{
  if (isInverse)
    SplitRadix<N>::inverse(a);
  else
    SplitRadix<N>::forward(a);
}

inline WDL_FftComplex product(const WDL_FftComplex& x, const WDL_FftComplex& y)
{
  return {x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
}

inline bool pairwiseCount(int count)
{
  return count >= 2 && (count & 1) == 0;
}

} // namespace

namespace wdl_fft_internal {

const WDL_FftComplex* twiddleTable(int n)
{
  if (n == 16) return d16;
  for (const TwiddleTable& t : kTwiddleTables)
    if (t.size == n) return t.entries;
  return nullptr;
}

} // namespace wdl_fft_internal

void WDL_fft_init()
{
  ensureTables();
}

void WDL_fft(WDL_FftComplex* buf, int len, int isInverse)
{
  if (!buf) return;
  if (len == 2) return butterfly2(buf); // its own inverse
  if (len == 4) return isInverse ? inverse4(buf) : forward4(buf);
  if (len < 8 || len > 32768 || (len & (len - 1)) != 0) return; // unsupported length: untouched

  // From 8 points up, one straight-line sequence per size, indexed by log2(len) - 3.
  static constexpr void (*kBySize[])(WDL_FftComplex*, int) = {
      transform<8>,    transform<16>,    transform<32>,   transform<64>,   transform<128>,
      transform<256>,  transform<512>,   transform<1024>, transform<2048>, transform<4096>,
      transform<8192>, transform<16384>, transform<32768>};
  ensureTables();
  kBySize[__builtin_ctz(static_cast<unsigned>(len)) - 3](buf, isInverse);
}

int WDL_fft_permute(int fftsize, int idx)
{
  ensureTables();
  return _idxperm[fftsize + idx - 2];
}

const int* WDL_fft_permute_tab(int fftsize)
{
  ensureTables();
  return _idxperm + (fftsize - 2);
}

void WDL_fft_complexmul(WDL_FftComplex* dest, const WDL_FftComplex* src, int count)
{
  if (!dest || !src || !pairwiseCount(count)) return;
  for (int i = 0; i < count; i += 2) {
    dest[i] = product(dest[i], src[i]);
    dest[i + 1] = product(dest[i + 1], src[i + 1]);
  }
}

void WDL_fft_complexmul2(WDL_FftComplex* dest, const WDL_FftComplex* a, const WDL_FftComplex* b, int count)
{
  if (!dest || !a || !b || !pairwiseCount(count)) return;
  for (int i = 0; i < count; i += 2) {
    const WDL_FftComplex p0 = product(a[i], b[i]), p1 = product(a[i + 1], b[i + 1]);
    dest[i] = p0;
    dest[i + 1] = p1;
  }
}

void WDL_fft_complexmul3(WDL_FftComplex* dest, const WDL_FftComplex* a, const WDL_FftComplex* b, int count)
{
  if (!dest || !a || !b || !pairwiseCount(count)) return;
  for (int i = 0; i < count; i += 2) {
    const WDL_FftComplex p0 = product(a[i], b[i]), p1 = product(a[i + 1], b[i + 1]);
    dest[i].re += p0.re;
    dest[i].im += p0.im;
    dest[i + 1].re += p1.re;
    dest[i + 1].im += p1.im;
  }
}
