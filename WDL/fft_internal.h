// Building blocks of the transforms in fft.h: the shared tables, the fixed 8- and 16-point
// kernels, the split-radix passes and the bin-order rule. Only the FFT's own sources and its
// tests include this; everything else goes through fft.h.
//
// Every kernel and pass reads the tables, so WDL_fft_init() must have completed first.
#ifndef WDL_FFT_INTERNAL_H
#define WDL_FFT_INTERNAL_H

#include "fft.h"

#include <cstring>

namespace wdl_fft_internal {

// Twiddle table of an n-point transform: entry k - 1 = exp(+2 pi i k / n) = (cos, sin).
// n = 16 to 512 hold k = 1 to n/4 - 1; from 1024 up only k = 1 to n/8 - 1 (the passes mirror
// the rest). Written once by WDL_fft_init(), read-only afterwards.
extern WDL_FftComplex d16[3], d32[7], d64[15], d128[31], d256[63], d512[127];
extern WDL_FftComplex d1024[127], d2048[255], d4096[511], d8192[1023], d16384[2047], d32768[4095];

// Bin-order blocks for n = 2, 4, ..., 32768 back to back: the block of size n starts at
// index n - 2, and its entry k is the forward output position of conventional bin k.
extern int _idxperm[65536];

// Complete 8- and 16-point transforms. Forward (c): natural order in, permuted order out.
// Inverse (u): permuted order in, natural order out, unscaled.
void c8(WDL_FftComplex* a);
void u8(WDL_FftComplex* a);
void c16(WDL_FftComplex* a);
void u16(WDL_FftComplex* a);

// One split-radix stage over a block of 8m values with the twiddle table of size 8m.
// Forward: run before the forward transforms of the block's first half and its last two
// quarters. Inverse: run after the inverse transforms of those three parts.
// cpass/upass take m = 4 to 64 (full quarter-turn tables d32..d512); cpassbig/upassbig take
// m = 128 to 4096 (eighth-turn tables d1024..d32768).
void cpass(WDL_FftComplex* a, const WDL_FftComplex* w, int m);
void upass(WDL_FftComplex* a, const WDL_FftComplex* w, int m);
void cpassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m);
void upassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m);

// The twiddle table of an n-point transform (n = 16 to 32768), null for other n.
const WDL_FftComplex* twiddleTable(int n);

// Two doubles in one vector register, a complex value (re, im) as it lies in a buffer
// (GCC and clang vector extensions: SSE2 on x86-64, NEON on arm64).
typedef double Vec2 __attribute__((vector_size(16)));

inline Vec2 load(const WDL_FftComplex* p)
{
  Vec2 v;
  std::memcpy(&v, p, sizeof v); // buffers only promise double alignment
  return v;
}

inline void store(WDL_FftComplex* p, Vec2 v)
{
  std::memcpy(p, &v, sizeof v);
}

inline Vec2 swapped(Vec2 v)
{
  return __builtin_shufflevector(v, v, 1, 0);
}
inline Vec2 conjugate(Vec2 v)
{
  return v * Vec2{1.0, -1.0};
}
inline Vec2 timesI(Vec2 v)
{
  return swapped(v) * Vec2{-1.0, 1.0};
} // i v
inline Vec2 timesMinusI(Vec2 v)
{
  return swapped(v) * Vec2{1.0, -1.0};
} // -i v

// v (wr + i wi) and v (wr - i wi).
inline Vec2 times(Vec2 v, double wr, double wi)
{
  return v * wr + swapped(v) * Vec2{-wi, wi};
}
inline Vec2 timesConj(Vec2 v, double wr, double wi)
{
  return v * wr + swapped(v) * Vec2{wi, -wi};
}

inline void butterfly2(WDL_FftComplex* a)
{
  const Vec2 x0 = load(a), x1 = load(a + 1);
  store(a, x0 + x1);
  store(a + 1, x0 - x1);
}

// Complete 4-point transforms, written out (they need no table). Forward: natural order in,
// positions 0..3 hold the frequencies 0, 2, 1, 3. Inverse: that order in, natural out.
inline void forward4(WDL_FftComplex* a)
{
  const Vec2 x0 = load(a), x1 = load(a + 1), x2 = load(a + 2), x3 = load(a + 3);
  const Vec2 s02 = x0 + x2, d02 = x0 - x2, s13 = x1 + x3, id13 = timesI(x1 - x3);
  store(a, s02 + s13);
  store(a + 1, s02 - s13);
  store(a + 2, d02 + id13); // (x0 - x2) + i (x1 - x3)
  store(a + 3, d02 - id13); // (x0 - x2) - i (x1 - x3)
}

inline void inverse4(WDL_FftComplex* a)
{
  const Vec2 y0 = load(a), y1 = load(a + 1), y2 = load(a + 2), y3 = load(a + 3);
  const Vec2 s01 = y0 + y1, d01 = y0 - y1, s23 = y2 + y3, id23 = timesI(y2 - y3);
  store(a, s01 + s23);
  store(a + 1, d01 - id23); // (y0 - y1) - i (y2 - y3)
  store(a + 2, s01 - s23);
  store(a + 3, d01 + id23); // (y0 - y1) + i (y2 - y3)
}

// The frequency that a forward transform of n points leaves at position j.
int fftfreq_c(unsigned int j, unsigned int n);

// The step of the real transform (n >= 4 real values seen as n/2 complex ones) between the
// n/2-point complex transform and the real signal's bins; w is the twiddle table of size n,
// or null for n = 4 and 8. Forward runs the complex transform first, inverse last.
void two_for_one(WDL_FftComplex* buf, const WDL_FftComplex* w, int n, int isInverse);

} // namespace wdl_fft_internal

#endif
