// Building blocks of the transforms in fft.h: the shared tables, the fixed 8- and 16-point
// kernels, the split-radix passes and the bin-order rule. Only the FFT's own sources and its
// tests include this; everything else goes through fft.h.
//
// Every kernel and pass reads the tables, so WDL_fft_init() must have completed first.
#ifndef WDL_FFT_INTERNAL_H
#define WDL_FFT_INTERNAL_H

#include "fft.h"

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

// Complete 4-point transforms, written out (they need no table). Forward: natural order in,
// positions 0..3 hold the frequencies 0, 2, 1, 3. Inverse: that order in, natural out.
inline void forward4(WDL_FftComplex* a)
{
  const double s02r = a[0].re + a[2].re, s02i = a[0].im + a[2].im; // x0 + x2
  const double d02r = a[0].re - a[2].re, d02i = a[0].im - a[2].im; // x0 - x2
  const double s13r = a[1].re + a[3].re, s13i = a[1].im + a[3].im; // x1 + x3
  const double d13r = a[1].re - a[3].re, d13i = a[1].im - a[3].im; // x1 - x3
  a[0] = {s02r + s13r, s02i + s13i};
  a[1] = {s02r - s13r, s02i - s13i};
  a[2] = {d02r - d13i, d02i + d13r}; // (x0 - x2) + i (x1 - x3)
  a[3] = {d02r + d13i, d02i - d13r}; // (x0 - x2) - i (x1 - x3)
}

inline void inverse4(WDL_FftComplex* a)
{
  const double s01r = a[0].re + a[1].re, s01i = a[0].im + a[1].im; // y0 + y1
  const double d01r = a[0].re - a[1].re, d01i = a[0].im - a[1].im; // y0 - y1
  const double s23r = a[2].re + a[3].re, s23i = a[2].im + a[3].im; // y2 + y3
  const double d23r = a[2].re - a[3].re, d23i = a[2].im - a[3].im; // y2 - y3
  a[0] = {s01r + s23r, s01i + s23i};
  a[1] = {d01r + d23i, d01i - d23r}; // (y0 - y1) - i (y2 - y3)
  a[2] = {s01r - s23r, s01i - s23i};
  a[3] = {d01r - d23i, d01i + d23r}; // (y0 - y1) + i (y2 - y3)
}

// The frequency that a forward transform of n points leaves at position j.
int fftfreq_c(unsigned int j, unsigned int n);

// The step of the real transform (n >= 4 real values seen as n/2 complex ones) between the
// n/2-point complex transform and the real signal's bins; w is the twiddle table of size n,
// or null for n = 4 and 8. Forward runs the complex transform first, inverse last.
void two_for_one(WDL_FftComplex* buf, const WDL_FftComplex* w, int n, int isInverse);

} // namespace wdl_fft_internal

#endif
