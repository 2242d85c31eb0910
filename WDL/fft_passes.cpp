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
  const Vec2 x0 = load(a), x1 = load(a + q), x2 = load(a + 2 * q), x3 = load(a + 3 * q);
  const Vec2 t1 = x0 - x2, it2 = timesI(x1 - x3);
  store(a, x0 + x2);
  store(a + q, x1 + x3);
  store(a + 2 * q, times(t1 + it2, wr, wi));
  store(a + 3 * q, timesConj(t1 - it2, wr, wi));
}

// Inverse stage at one k; same arguments.
inline void inverseButterfly(WDL_FftComplex* a, int q, double wr, double wi)
{
  const Vec2 x0 = load(a), x1 = load(a + q);
  const Vec2 p = timesConj(load(a + 2 * q), wr, wi), r = times(load(a + 3 * q), wr, wi);
  const Vec2 s = p + r, id = timesI(p - r);
  store(a, x0 + s);
  store(a + 2 * q, x0 - s);
  store(a + q, x1 - id);
  store(a + 3 * q, x1 + id);
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

namespace {

// The stage's butterflies as types, so that each pass below is compiled with its own inlined.
struct Forward
{
  void operator()(WDL_FftComplex* a, int q, double wr, double wi) const { forwardButterfly(a, q, wr, wi); }
};
struct Inverse
{
  void operator()(WDL_FftComplex* a, int q, double wr, double wi) const { inverseButterfly(a, q, wr, wi); }
};

// Quarter length q = 2m; table entry k - 1 is w^k for every k in 1 .. q-1.
template <class Butterfly> inline void pass(WDL_FftComplex* a, const WDL_FftComplex* w, int m, Butterfly butterfly)
{
  const int q = 2 * m;
  butterfly(a, q, 1.0, 0.0);
  butterfly(a + 1, q, w[0].re, w[0].im);
  for (int k = 2; k < q; k += 2) {
    butterfly(a + k, q, w[k - 1].re, w[k - 1].im);
    butterfly(a + k + 1, q, w[k].re, w[k].im);
  }
}

// Quarter length q = 2m; the table holds w^k only for k < m. Each iteration handles k and its
// mirror q - k, whose twiddle is the same entry with cos and sin exchanged.
template <class Butterfly> inline void passBig(WDL_FftComplex* a, const WDL_FftComplex* w, int m, Butterfly butterfly)
{
  const int q = 2 * m;
  butterfly(a, q, 1.0, 0.0);
  butterfly(a + m, q, d16[1].re, d16[1].im);
  for (int k = 1; k < m; ++k) {
    const double c = w[k - 1].re, s = w[k - 1].im;
    butterfly(a + k, q, c, s);
    butterfly(a + q - k, q, s, c);
  }
}

} // namespace

void cpass(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  pass(a, w, m, Forward());
}

void upass(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  pass(a, w, m, Inverse());
}

void cpassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  passBig(a, w, m, Forward());
}

void upassbig(WDL_FftComplex* a, const WDL_FftComplex* w, int m)
{
  passBig(a, w, m, Inverse());
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

// The n real values are z[t] = x[2t] + i x[2t+1], t < h = n/2. With Z the h-point spectrum of
// z, A = Z[k], B = Z[h-k], S = A + B, D = A - B, F = A - conj B = (D.re, S.im) and
// E = A + conj B = (S.re, D.im), the real signal's bins are
//   2 X[k] = E - i F / w,   2 X[h-k] = conj(E + i F / w),   w = exp(2 pi i k / n),
// and the inverse rebuilds Z[k] = E + i F w, Z[h-k] = conj(E - i F w) from bins 2 X.
// Forward stores 2 X[k] so that no halving is needed; inverse undoes it.
void two_for_one(WDL_FftComplex* buf, const WDL_FftComplex* w, int n, int isInverse)
{
  const int half = n / 2;
  const int quarter = n / 4;
  const int eighth = n / 8;
  if (!isInverse) WDL_fft(buf, half, 0);
  const int* perm = WDL_fft_permute_tab(half);

  // One pair of bins k and h - k, with (c, s) = (cos, sin) of 2 pi k / n.
  const auto pair = [buf, perm, half, isInverse](int k, double c, double s) {
    WDL_FftComplex* lo = buf + perm[k];
    WDL_FftComplex* hi = buf + perm[half - k];
    const Vec2 a = load(lo), b = load(hi);
    const Vec2 sum = a + b, diff = a - b;
    const Vec2 e = __builtin_shufflevector(sum, diff, 0, 3);
    const Vec2 f = __builtin_shufflevector(diff, sum, 0, 3);
    const Vec2 p = isInverse ? timesI(times(f, c, s)) : timesMinusI(timesConj(f, c, s));
    store(lo, e + p);
    store(hi, conjugate(e - p));
  };

  // Slot 0 pairs the two real bins: forward (2 X[0], 2 X[n/2]) from (sum of even samples,
  // sum of odd samples); inverse back.
  const double a = buf[0].re, b = buf[0].im;
  if (isInverse)
    buf[0] = {a + b, a - b};
  else
    buf[0] = {2.0 * (a + b), 2.0 * (a - b)};

  // The table holds the angles below an eighth turn; k and quarter - k share an entry with
  // cos and sin exchanged, and the eighth turn itself is the 16-point table's middle entry.
  for (int k = 1; k < eighth; ++k) {
    pair(k, w[k - 1].re, w[k - 1].im);
    pair(quarter - k, w[k - 1].im, w[k - 1].re);
  }
  if (eighth > 0) pair(eighth, d16[1].re, d16[1].im);

  // k = n/4 is its own partner (c = 0, s = 1).
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
