// The building blocks of the split-radix transform (8- and 16-point kernels, one forward and
// one inverse stage per size, the bin-order rule) and the real transform on top of it.
//
// One stage over a block of n = 4q values, w = exp(+2 pi i k / n), for k = 0 .. q-1:
//   forward  t1 = a[k] - a[k+2q], t2 = a[k+q] - a[k+3q]
//            a[k] += a[k+2q], a[k+q] += a[k+3q]
//            a[k+2q] = (t1 + i t2) w,  a[k+3q] = (t1 - i t2) / w
//   inverse  p = a[k+2q] / w, q' = a[k+3q] w, s = p + q', d = p - q'
//            a[k], a[k+2q] = a[k] + s, a[k] - s;  a[k+q], a[k+3q] = a[k+q] - i d, a[k+q] + i d
// After a forward stage the first half carries the even frequencies and the two last
// quarters the frequencies 4j + 1 and 4j - 1; each is then transformed on its own.
#include "fft.h"
#include "fft_internal.h"

namespace wdl_fft_internal {

namespace {

// Forward stage at one k; a points at a[k], q is the quarter length, (wr, wi) = w^k.
inline void forwardButterfly(WDL_FftComplex* a, int q, double wr, double wi)
{
  WDL_FftComplex* b = a + q;
  WDL_FftComplex* c = a + 2 * q;
  WDL_FftComplex* d = a + 3 * q;
  const double t1r = a->re - c->re, t1i = a->im - c->im;
  const double t2r = b->re - d->re, t2i = b->im - d->im;
  a->re += c->re;
  a->im += c->im;
  b->re += d->re;
  b->im += d->im;
  const double ur = t1r - t2i, ui = t1i + t2r; // t1 + i t2
  const double vr = t1r + t2i, vi = t1i - t2r; // t1 - i t2
  c->re = ur * wr - ui * wi;
  c->im = ur * wi + ui * wr;
  d->re = vr * wr + vi * wi;
  d->im = vi * wr - vr * wi;
}

// Inverse stage at one k; same arguments.
inline void inverseButterfly(WDL_FftComplex* a, int q, double wr, double wi)
{
  WDL_FftComplex* b = a + q;
  WDL_FftComplex* c = a + 2 * q;
  WDL_FftComplex* d = a + 3 * q;
  const double pr = c->re * wr + c->im * wi, pi = c->im * wr - c->re * wi; // c / w
  const double qr = d->re * wr - d->im * wi, qi = d->re * wi + d->im * wr; // d * w
  const double sr = pr + qr, si = pi + qi;
  const double dr = pr - qr, di = pi - qi;
  const double ar = a->re, ai = a->im, br = b->re, bi = b->im;
  a->re = ar + sr;
  a->im = ai + si;
  c->re = ar - sr;
  c->im = ai - si;
  b->re = br + di; // b - i d
  b->im = bi - dr;
  d->re = br - di; // b + i d
  d->im = bi + dr;
}

inline void butterfly2(WDL_FftComplex* a)
{
  const WDL_FftComplex x0 = a[0], x1 = a[1];
  a[0] = {x0.re + x1.re, x0.im + x1.im};
  a[1] = {x0.re - x1.re, x0.im - x1.im};
}

// Twiddle w^k of an n-point stage (k < n/4) from a table that holds only k < n/8: the
// eighth turn is (sqrt 1/2, sqrt 1/2), and above it cos and sin swap roles around it.
struct Twiddle
{
  double re, im;
};

inline Twiddle eighthTurnTwiddle(const WDL_FftComplex* w, int n, int k)
{
  const int eighth = n / 8;
  if (k < eighth) return {w[k - 1].re, w[k - 1].im};
  if (k == eighth) return {d16[1].re, d16[1].im};
  const WDL_FftComplex& m = w[n / 4 - k - 1];
  return {m.im, m.re};
}

} // namespace

void c8(WDL_FftComplex* a)
{
  const double h = d16[1].re; // cos(pi/4)
  forwardButterfly(a, 2, 1.0, 0.0);
  forwardButterfly(a + 1, 2, h, h);
  forward4(a);
  butterfly2(a + 4);
  butterfly2(a + 6);
}

void u8(WDL_FftComplex* a)
{
  const double h = d16[1].re;
  inverse4(a);
  butterfly2(a + 4);
  butterfly2(a + 6);
  inverseButterfly(a, 2, 1.0, 0.0);
  inverseButterfly(a + 1, 2, h, h);
}

void c16(WDL_FftComplex* a)
{
  forwardButterfly(a, 4, 1.0, 0.0);
  forwardButterfly(a + 1, 4, d16[0].re, d16[0].im);
  forwardButterfly(a + 2, 4, d16[1].re, d16[1].im);
  forwardButterfly(a + 3, 4, d16[2].re, d16[2].im);
  c8(a);
  forward4(a + 8);
  forward4(a + 12);
}

void u16(WDL_FftComplex* a)
{
  u8(a);
  inverse4(a + 8);
  inverse4(a + 12);
  inverseButterfly(a, 4, 1.0, 0.0);
  inverseButterfly(a + 1, 4, d16[0].re, d16[0].im);
  inverseButterfly(a + 2, 4, d16[1].re, d16[1].im);
  inverseButterfly(a + 3, 4, d16[2].re, d16[2].im);
}

// Quarter length q = 2m; table entry k - 1 is w^k for every k in 1 .. q-1.
void cpass(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  const int q = 2 * m;
  forwardButterfly(a, q, 1.0, 0.0);
  forwardButterfly(a + 1, q, w[0].re, w[0].im);
  for (int k = 2; k < q; k += 2) {
    forwardButterfly(a + k, q, w[k - 1].re, w[k - 1].im);
    forwardButterfly(a + k + 1, q, w[k].re, w[k].im);
  }
}

void upass(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  const int q = 2 * m;
  inverseButterfly(a, q, 1.0, 0.0);
  inverseButterfly(a + 1, q, w[0].re, w[0].im);
  for (int k = 2; k < q; k += 2) {
    inverseButterfly(a + k, q, w[k - 1].re, w[k - 1].im);
    inverseButterfly(a + k + 1, q, w[k].re, w[k].im);
  }
}

// Quarter length q = 2m; the table holds w^k only for k < m. Each iteration handles k and its
// mirror q - k, whose twiddle is the same entry with cos and sin exchanged.
void cpassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  const int q = 2 * m;
  forwardButterfly(a, q, 1.0, 0.0);
  forwardButterfly(a + m, q, d16[1].re, d16[1].im);
  for (int k = 1; k < m; ++k) {
    const double c = w[k - 1].re, s = w[k - 1].im;
    forwardButterfly(a + k, q, c, s);
    forwardButterfly(a + q - k, q, s, c);
  }
}

void upassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  const int q = 2 * m;
  inverseButterfly(a, q, 1.0, 0.0);
  inverseButterfly(a + m, q, d16[1].re, d16[1].im);
  for (int k = 1; k < m; ++k) {
    const double c = w[k - 1].re, s = w[k - 1].im;
    inverseButterfly(a + k, q, c, s);
    inverseButterfly(a + q - k, q, s, c);
  }
}

int fftfreq_c(unsigned int j, unsigned int n)
{
  if (n < 3) return static_cast<int>(j);
  if (j < n / 2) return 2 * fftfreq_c(j, n / 2);
  j -= n / 2;
  if (j < n / 4) return 4 * fftfreq_c(j, n / 4) + 1;
  // 4f - 1 modulo n: wraps to n - 1 when f is 0.
  return static_cast<int>((4u * static_cast<unsigned int>(fftfreq_c(j - n / 4, n / 4)) - 1u) & (n - 1));
}

// The n real values are z[t] = x[2t] + i x[2t+1], t < n/2. With Z the n/2-point spectrum of z
// and X that of x:  X[k] = (Z[k] + conj Z[h-k]) / 2 + exp(-2 pi i k / n) (Z[k] - conj Z[h-k]) / 2i
// (h = n/2). Forward stores 2 X[k] so that no halving is needed; inverse undoes it.
void two_for_one(WDL_FftComplex* buf, const WDL_FftComplex* w, int n, int isInverse)
{
  const int half = n / 2;
  const int quarter = n / 4;
  if (!isInverse) WDL_fft(buf, half, 0);
  const int* perm = WDL_fft_permute_tab(half);

  // Slot 0 pairs the two real bins: forward (2 X[0], 2 X[n/2]) from (sum of even samples,
  // sum of odd samples); inverse back.
  const double a = buf[0].re, b = buf[0].im;
  if (isInverse) buf[0] = {a + b, a - b};
  else buf[0] = {2.0 * (a + b), 2.0 * (a - b)};

  for (int k = 1; k < quarter; ++k) {
    const Twiddle t = eighthTurnTwiddle(w, n, k); // (cos, sin) of 2 pi k / n
    const double c = t.re, s = t.im;
    WDL_FftComplex& lo = buf[perm[k]];
    WDL_FftComplex& hi = buf[perm[half - k]];
    const double sr = lo.re + hi.re, si = lo.im + hi.im;
    const double dr = lo.re - hi.re, di = lo.im - hi.im;
    if (isInverse) {
      lo = {sr - s * dr - c * si, di - s * si + c * dr};
      hi = {sr + s * dr + c * si, -(di + s * si - c * dr)};
    } else {
      lo = {sr + c * si - s * dr, di - s * si - c * dr};
      hi = {sr + s * dr - c * si, -(di + s * si + c * dr)};
    }
  }

  // k = n/4 is its own partner: c = 0, s = 1.
  WDL_FftComplex& mid = buf[perm[quarter]];
  mid.re *= 2.0;
  mid.im *= -2.0;

  if (isInverse) WDL_fft(buf, half, 1);
}

} // namespace wdl_fft_internal

void WDL_real_fft(double* buf, int len, int isInverse)
{
  using namespace wdl_fft_internal;
  if (!buf) return;
  if (len == 2) {
    const double x0 = buf[0], x1 = buf[1];
    if (isInverse) {
      buf[0] = x0 + x1;
      buf[1] = x0 - x1;
    } else {
      buf[0] = 2.0 * (x0 + x1);
      buf[1] = 2.0 * (x0 - x1);
    }
    return;
  }
  if (len < 4 || len > 32768 || (len & (len - 1)) != 0) return; // unsupported: untouched
  WDL_fft_init();
  // The buffer is len doubles seen as len/2 interleaved complex values.
  two_for_one(reinterpret_cast<WDL_FftComplex*>(buf), len >= 16 ? twiddleTable(len) : nullptr, len, isInverse);
}
