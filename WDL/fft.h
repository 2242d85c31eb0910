// Complex and real fast Fourier transforms of power-of-two sizes, 2 to 32768 points.
//
// Everything runs in place, in double precision, without allocation and without scaling.
// Outputs are NOT in natural bin order: a forward transform leaves its bins in split-radix
// order and an inverse transform expects them in that same order. Code that needs the
// conventional bin k of an n-point spectrum reads the value at position
// WDL_fft_permute(n, k). Stored patches keep spectra in exactly this order, so it never
// changes.
//
// Typical use (a 2048-sample real wave and its spectrum):
//
//   WDL_fft_init();                    // once, from any thread; later calls return at once
//   double buf[2048] = {...};          // samples
//   WDL_real_fft(buf, 2048, 0);        // buf now holds 1024 complex slots, see below
//   double* h5 = buf + 2 * WDL_fft_permute(1024, 5);   // 2 * X[5]: h5[0] real, h5[1] imaginary
//   WDL_real_fft(buf, 2048, 1);        // back to samples, times 2 * 2048
//
// Threads: the tables are built exactly once, completely, by whichever thread gets there
// first; every other caller waits for them. After that all functions only read shared
// state and may run on any number of threads at once on different buffers.
#ifndef WDL_FFT_H
#define WDL_FFT_H

// One complex value; arrays are interleaved (re0, im0, re1, im1, ...) and need only the
// alignment of a double.
struct WDL_FftComplex
{
  double re;
  double im;
};

// Builds the twiddle and bin-order tables on the first call (about 8300 sines and cosines
// and 64K ints, well under a millisecond); later calls return at once. Safe to call from
// several threads at the same time. The transforms and lookups below also make sure the
// tables exist, so calling this up front only moves the one-time cost out of the first use.
void WDL_fft_init();

// In-place complex transform of `len` values, len = 2, 4, 8, ..., 32768.
//  isInverse == 0: natural-order input; the conventional bin
//      X[k] = sum_t buf[t] * exp(-2 pi i k t / len) ends at position WDL_fft_permute(len, k).
//  isInverse != 0: input in that permuted order (Y[k] at position WDL_fft_permute(len, k)),
//      natural-order output out[t] = sum_k Y[k] * exp(+2 pi i k t / len).
// Neither direction scales: forward then inverse multiplies every value by len.
// Any other length (0, 1, negative, not a power of two, above 32768) or a null buffer
// leaves the buffer untouched.
void WDL_fft(WDL_FftComplex* buf, int len, int isInverse);

// In-place real transform of `len` doubles, len = 2, 4, ..., 32768.
//  Forward (isInverse == 0): the buffer becomes len/2 complex slots. Slot 0 holds
//      (2 X[0], 2 X[len/2]), both real; for 1 <= k < len/2, slot WDL_fft_permute(len/2, k)
//      holds 2 X[k], with X[k] = sum_n x[n] exp(-2 pi i k n / len).
//  Inverse: from Z[0], Z[len/2] in slot 0 and Z[k] in slot WDL_fft_permute(len/2, k), the
//      natural-order samples x[n] = Z[0] + (-1)^n Z[len/2] + 2 Re sum_{k=1}^{len/2-1} Z[k] exp(+2 pi i k n / len).
// Forward then inverse multiplies every sample by 2 * len. Other lengths or a null buffer
// leave the buffer untouched.
void WDL_real_fft(double* buf, int len, int isInverse);

// Position of conventional bin `idx` (0 <= idx < fftsize) in the output of a forward
// transform of `fftsize` points (a power of two from 2 to 32768). Arguments are not checked.
int WDL_fft_permute(int fftsize, int idx);

// The fftsize entries of WDL_fft_permute(fftsize, 0..fftsize-1) as one array, valid for the
// life of the process. The argument is not checked.
const int* WDL_fft_permute_tab(int fftsize);

// Element-wise complex products over `count` values. They work in pairs: unless count is at
// least 2 and even (or if a pointer is null) nothing is written.
//   complexmul:  dest[i] = dest[i] * src[i]
//   complexmul2: dest[i] = a[i] * b[i]
//   complexmul3: dest[i] = dest[i] + a[i] * b[i]
void WDL_fft_complexmul(WDL_FftComplex* dest, const WDL_FftComplex* src, int count);
void WDL_fft_complexmul2(WDL_FftComplex* dest, const WDL_FftComplex* a, const WDL_FftComplex* b, int count);
void WDL_fft_complexmul3(WDL_FftComplex* dest, const WDL_FftComplex* a, const WDL_FftComplex* b, int count);

#endif
