// Small filters that modules embed as members: Biquad (second-order low-pass), PeakEQ (second-order peaking
// band of one octave) and Lowpass (four one-pole stages with resonance feedback). Each is set up with set
// (PeakEQ also setGain) and run one sample at a time with filter; the owner decides when to call set.
//
// All arithmetic is in double. filter() does no division, no library call and no branch: everything costly
// is done in set. set never clears the history, so a running filter changes coefficients without a click.
//
// Each carries its own denormal guard: 1e-13 after every set, its sign flipped by every filter call, so
// the recursion never settles on exact zeros and no subnormal numbers arise.
#pragma once

// Standard bilinear-transform second-order low-pass, coefficients divided by a0 with the feedback signs
// folded in.
class Biquad
{
public:
  Biquad() : x1(0.0), x2(0.0), y1(0.0), y2(0.0) {}

  // sampleRate <= 0 gives w = 0: c1 = 2, c2 = -1, b0 = b1 = 0, so no input passes. q must be > 0.
  void set(double freq, double q, double sampleRate);

  double filter(double x)
  {
    const double d = guard;
    guard = -d;
    const double xin = x + d;
    const double y = (x2 + d + xin) * b0 + b1 * (x1 + d) + c1 * (y1 + d) + c2 * (y2 + d);
    x2 = x1 + d;
    x1 = xin;
    y2 = y1 + d;
    y1 = y;
    return y;
  }

  double frequency = 0.0; // Hz, as last set
  double q = 0.0;
  double radiansPerHz = 0.0; // 2 pi / sample rate
  double c1 = 0.0, c2 = 0.0; // feedback
  double b0 = 0.0, b1 = 0.0; // feed-forward (b0 also for the input two samples back)
  double x1, x2, y1, y2;
  double guard = 0.0;
};

// Peaking band of exactly one octave bandwidth around freq, gain in dB.
class PeakEQ
{
public:
  static const double alphaScale; // ln 2 / 2: alpha = sin w sinh(alphaScale w / sin w) is one octave

  // The centre is held to kMinCentre .. kMaxCentreRatio * rate in set.
  static constexpr double kMinCentre = 1.0;       // Hz
  static constexpr double kMaxCentreRatio = 0.45; // of the sample rate
  static constexpr double kMaxGain = 60.0;        // dB either way (the modules offer 18)

  PeakEQ() : x1(0.0), x2(0.0), y1(0.0), y2(0.0) {}

  // The owner calls both before the first filter; each recomputes the coefficients from what the other
  // stored. The centre is held to 1 Hz .. 0.45 of the rate.
  void set(double freq, double sampleRate);
  void setGain(double dB);
  void calcCoeff();

  double filter(double x)
  {
    const double d = guard;
    guard = -d;
    const double y = b0 * x + b1 * (x1 + d) + b2 * (x2 + d) - a1 * (y1 + d) - a2 * (y2 + d) - d;
    x2 = x1 + d;
    x1 = x + d;
    y2 = y1 + d;
    y1 = y;
    return y;
  }

  double alpha = 0.0;
  double cosw = 0.0;
  double A = 1.0; // 10^(dB / 40)
  double a0 = 1.0, a1 = 0.0, a2 = 0.0;
  double b0 = 1.0, b1 = 0.0, b2 = 0.0;
  double x1, x2, y1, y2;
  double guard = 0.0;
};

// Four bilinear one-pole low-pass stages w(1 + z^-1) / ((w + 2) + (w - 2) z^-1), w = 2 pi f / rate without
// prewarping, in one loop with negative feedback k = 3.9 * resonance solved without a unit delay. At
// resonance 1 the loop rings strongly but decays (self-oscillation would set in at k = 4).
class Lowpass
{
public:
  // sampleRate must be > 0. The stage states stay as they are.
  void set(double freq, double resonance, double sampleRate);

  double filter(double x)
  {
    const double d = guard;
    guard = -d;
    const double t1 = s1 - d, t2 = s2 - d, t3 = s3 - d, t4 = s4 - d;
    const double S = ((t1 * g + t2) * g + t3) * g + t4;
    const double y = (g4 * x + S) * normaliser;
    const double u = x - k * y;
    double v = g * u;
    const double y1 = v + t1;
    s1 = v - a * y1;
    v = g * y1;
    const double y2 = v + t2;
    s2 = v - a * y2;
    v = g * y2;
    const double y3 = v + t3;
    s3 = v - a * y3;
    v = g * y3;
    const double y4 = v + t4;
    s4 = v - a * y4;
    return y;
  }

  double a = 0.0;          // pole coefficient of each stage, (w - 2) / (w + 2)
  double g = 0.0;          // input gain of each stage, w / (w + 2)
  double g4 = 0.0;         // g^4
  double k = 0.0;          // feedback, 3.9 * resonance
  double normaliser = 1.0; // 1 / (1 + k g^4)
  double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0;
  double guard = 0.0;
};
