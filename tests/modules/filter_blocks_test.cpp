// The embedded filters: responses at their corner frequencies, guard behaviour and set/setGain order.
#include "FilterBlocks.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace {
const double kPi = 3.141592653589793;

template <class F> double sineResponse(F&& filter, double hz, double rate)
{
  std::vector<double> y;
  const double w = 2 * kPi * hz / rate;
  for (int i = 0; i < (int)rate; ++i) {
    const double v = filter(std::sin(w * i));
    if (i >= (int)rate / 2) y.push_back(v);
  }
  // Re-anchor the phase: the fit uses sample indexes from the start of the kept half.
  std::vector<double> shifted(y);
  return sineAmplitude(shifted, hz, rate);
}
} // namespace

TEST(BiquadResponse, MagnitudeAtTheCornerIsQ)
{
  // The bilinear low-pass of this form has |H| = q exactly at its design frequency.
  for (double q : {0.5, 0.70710678, 2.0, 5.0})
    for (double f : {200.0, 1000.0, 5000.0}) {
      Biquad b;
      b.set(f, q, 48000);
      EXPECT_NEAR(toDB(q), toDB(sineResponse([&](double x) { return b.filter(x); }, f, 48000)), 0.01) << q << " " << f;
    }
}

TEST(BiquadResponse, PassesDcAndStopsHighs)
{
  Biquad b;
  b.set(500, 0.7071, 48000);
  double y = 0;
  for (int i = 0; i < 48000; ++i) y = b.filter(1.0);
  EXPECT_NEAR(1.0, y, 1e-9);
  EXPECT_LT(sineResponse([&](double x) { return b.filter(x); }, 8000, 48000), 0.005);
}

TEST(BiquadEdges, NoSampleRatePassesNothing)
{
  for (double rate : {0.0, -44100.0}) {
    Biquad b;
    b.set(1000, 0.7, rate);
    EXPECT_EQ(2.0, b.c1);
    EXPECT_EQ(-1.0, b.c2);
    EXPECT_EQ(0.0, b.b0);
    EXPECT_EQ(0.0, b.b1);
    double peak = 0;
    for (int i = 0; i < 100; ++i) peak = std::max(peak, std::fabs(b.filter(i % 2 ? 1.0 : -1.0)));
    EXPECT_LT(peak, 1e-9);
  }
}

TEST(BiquadEdges, FreshFilterFedZeroReturnsTheGuard)
{
  Biquad b;
  b.set(1000, 0.7, 48000);
  EXPECT_NEAR(1e-13, b.filter(0.0), 1e-20);
  // The recursion keeps away from exact zeros and from subnormal numbers.
  for (int i = 0; i < 200000; ++i) {
    const double y = b.filter(0.0);
    ASSERT_TRUE(y == 0.0 || std::fabs(y) > 1e-300) << i;
  }
}

TEST(BiquadEdges, SetKeepsTheHistory)
{
  Biquad b;
  b.set(1000, 0.7, 48000);
  for (int i = 0; i < 100; ++i) b.filter(1.0);
  const double y1 = b.y1;
  b.set(2000, 0.7, 48000);
  EXPECT_EQ(y1, b.y1);
}

TEST(PeakEQResponse, BoostAndCutAtTheCentre)
{
  for (double dB : {-12.0, 0.0, 6.0, 18.0}) {
    PeakEQ p;
    p.setGain(dB);
    p.set(1000, 48000);
    EXPECT_NEAR(dB, toDB(sineResponse([&](double x) { return p.filter(x); }, 1000, 48000)), 0.02) << dB;
    // An octave away (the band edges) the boost is about half in decibels.
    PeakEQ q;
    q.setGain(dB);
    q.set(1000, 48000);
    const double edge = toDB(sineResponse([&](double x) { return q.filter(x); }, 1000 * std::sqrt(2.0), 48000));
    if (dB != 0.0) {
      EXPECT_LT(std::fabs(edge), std::fabs(dB) * 0.7) << dB;
      EXPECT_GT(std::fabs(edge), std::fabs(dB) * 0.3) << dB;
    }
  }
  PeakEQ p;
  p.setGain(18);
  EXPECT_NEAR(std::pow(10.0, 0.45), p.A, 1e-12);
}

TEST(PeakEQResponse, ZeroDecibelsPassesTheSignal)
{
  PeakEQ p;
  p.setGain(0.0);
  p.set(3000, 44100);
  for (int i = 0; i < 1000; ++i) {
    const double x = std::sin(i * 0.37);
    EXPECT_NEAR(x, p.filter(x), 1e-9);
  }
}

TEST(PeakEQResponse, SetterOrderDoesNotMatter)
{
  PeakEQ a, b;
  a.set(700, 48000);
  a.setGain(7.5);
  b.setGain(7.5);
  b.set(700, 48000);
  EXPECT_DOUBLE_EQ(a.b0, b.b0);
  EXPECT_DOUBLE_EQ(a.b1, b.b1);
  EXPECT_DOUBLE_EQ(a.b2, b.b2);
  EXPECT_DOUBLE_EQ(a.a1, b.a1);
  EXPECT_DOUBLE_EQ(a.a2, b.a2);
}

TEST(LowpassResponse, FourStagesAtTheCutoff)
{
  for (double f : {300.0, 3000.0}) {
    Lowpass l;
    l.set(f, 0.0, 48000);
    const double w = 2 * kPi * f / 48000;
    const std::complex<double> z1 = std::exp(std::complex<double>(0, -w));
    const std::complex<double> h = w / (w + 2) * (1.0 + z1) / (1.0 + (w - 2) / (w + 2) * z1);
    EXPECT_NEAR(toDB(std::pow(std::abs(h), 4)), toDB(sineResponse([&](double x) { return l.filter(x); }, f, 48000)),
                0.02)
        << f;
  }
}

TEST(LowpassResponse, FullResonanceRingsButDecays)
{
  Lowpass l;
  l.set(1000, 1.0, 48000);
  EXPECT_DOUBLE_EQ(3.9, l.k);
  double early = 0, late = 0;
  l.filter(1.0);
  for (int i = 1; i < 96000; ++i) {
    const double y = std::fabs(l.filter(0.0));
    if (i > 100 && i < 2000) early = std::max(early, y);
    if (i > 90000) late = std::max(late, y);
  }
  EXPECT_GT(early, 1e-3);
  EXPECT_LT(late, early * 1e-3);
}
