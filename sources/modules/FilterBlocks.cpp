#include "FilterBlocks.h"

#include "ModuleConventions.h"

#include <cmath>

void Biquad::set(double freq, double q, double sampleRate)
{
  guard = 1e-13;
  frequency = freq;
  this->q = q;
  radiansPerHz = sampleRate > 0.0 ? 6.283185307179586 / sampleRate : 0.0;
  const double w = radiansPerHz * freq;
  const double alpha = std::sin(w) / (q + q);
  const double n = 1.0 / (alpha + 1.0);
  const double cosw = std::cos(w);
  c1 = 2.0 * cosw * n;
  c2 = (alpha - 1.0) * n;
  b1 = (1.0 - cosw) * n;
  b0 = b1 * 0.5;
}

const double PeakEQ::alphaScale = 0.34657359027997264;

void PeakEQ::set(double freq, double sampleRate)
{
  guard = 1e-13;
  // A rate that cannot be divided by is taken as 48 kHz. The centre stays between 1 Hz (at 0 the band's
  // alpha would be 0/0) and 0.45 of the rate (at Nyquist sinh overflows, and above it the band would act
  // far below its frequency).
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) sampleRate = 48000.0;
  freq = ModuleConventions::clampValue(freq, kMinCentre, kMaxCentreRatio * sampleRate);
  const double w = freq * 6.283185307179586 / sampleRate;
  const double sinw = std::sin(w);
  cosw = std::cos(w);
  alpha = sinw * std::sinh(alphaScale * w / sinw);
  calcCoeff();
}

void PeakEQ::setGain(double dB)
{
  A = std::pow(10.0, ModuleConventions::clampValue(dB, -kMaxGain, kMaxGain) * 0.025);
  calcCoeff();
}

void PeakEQ::calcCoeff()
{
  a0 = 1.0 + alpha / A;
  a1 = -2.0 * cosw / a0;
  a2 = (1.0 - alpha / A) / a0;
  b0 = (1.0 + alpha * A) / a0;
  b1 = -2.0 * cosw / a0;
  b2 = (1.0 - alpha * A) / a0;
}

void Lowpass::set(double freq, double resonance, double sampleRate)
{
  guard = 1e-13;
  const double w = freq * 6.283185307179586 / sampleRate;
  const double m = 1.0 / (w + 2.0);
  a = (w - 2.0) * m;
  g = m * w;
  g4 = (g * g) * (g * g);
  k = resonance * 3.9;
  normaliser = 1.0 / (k * g4 + 1.0);
}
