#include "signal_analysis.h"

#include "fft.h"

#include <cmath>

namespace {
const double kPi = 3.141592653589793;

int powerOfTwoBelow(size_t n)
{
  int p = 1;
  while ((size_t)p * 2 <= n && p < 32768) p *= 2; // the largest complex transform
  return p;
}

// Complex FFT of a real signal, returning |X[k]| for k = 0..N/2 in natural order.
std::vector<double> magnitudes(const std::vector<double>& w, int n)
{
  WDL_fft_init();
  std::vector<WDL_FftComplex> buf(n);
  for (int i = 0; i < n; ++i) buf[i] = {w[i], 0.0};
  WDL_fft(buf.data(), n, 0);
  std::vector<double> mag(n / 2 + 1);
  for (int k = 0; k <= n / 2; ++k) {
    const WDL_FftComplex& c = buf[WDL_fft_permute(n, k)];
    mag[k] = std::hypot(c.re, c.im);
  }
  return mag;
}
} // namespace

double peakFrequency(const std::vector<double>& x, double rate, double lo, double hi)
{
  const int n = powerOfTwoBelow(x.size());
  const double sigma = n / 10.0;
  std::vector<double> w(n);
  for (int i = 0; i < n; ++i) {
    const double t = (i - n / 2.0) / sigma;
    w[i] = x[i] * std::exp(-0.5 * t * t);
  }
  const std::vector<double> mag = magnitudes(w, n);
  const double bin = rate / n;
  int k0 = (int)std::ceil(lo / bin), k1 = (int)std::floor(hi / bin);
  if (k0 < 1) k0 = 1;
  if (k1 > n / 2 - 1) k1 = n / 2 - 1;
  int best = k0;
  for (int k = k0; k <= k1; ++k)
    if (mag[k] > mag[best]) best = k;
  const double a = std::log(mag[best - 1]), b = std::log(mag[best]), c = std::log(mag[best + 1]);
  const double offset = 0.5 * (a - c) / (a - 2 * b + c);
  return (best + offset) * bin;
}

std::vector<double> spectrum(const std::vector<double>& x, double rate, double* binHz)
{
  const int n = powerOfTwoBelow(x.size());
  // 4-term Blackman-Harris: sidelobes below -92 dB.
  std::vector<double> w(n);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double p = 2 * kPi * i / n;
    const double win = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
    w[i] = x[i] * win;
    sum += win;
  }
  std::vector<double> mag = magnitudes(w, n);
  for (double& m : mag) m *= 2.0 / sum;
  if (binHz) *binHz = rate / n;
  return mag;
}

double sineAmplitude(const std::vector<double>& x, double hz, double rate, double* phase)
{
  // Normal equations of x ~ A sin + B cos.
  double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
  const double w = 2 * kPi * hz / rate;
  for (size_t i = 0; i < x.size(); ++i) {
    const double s = std::sin(w * i), c = std::cos(w * i);
    ss += s * s;
    cc += c * c;
    sc += s * c;
    xs += x[i] * s;
    xc += x[i] * c;
  }
  const double det = ss * cc - sc * sc;
  const double A = (xs * cc - xc * sc) / det;
  const double B = (xc * ss - xs * sc) / det;
  if (phase) *phase = std::atan2(B, A);
  return std::hypot(A, B);
}

double cents(double measured, double expected)
{
  return 1200.0 * std::log2(measured / expected);
}

double toDB(double ratio)
{
  return 20.0 * std::log10(ratio);
}
