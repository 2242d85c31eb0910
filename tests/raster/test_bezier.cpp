// Quadratic and cubic Bezier curves, their y-at-x helpers and the cubic fills.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rt;

namespace {

// Red channel of row y, columns 0..n-1.
std::vector<int> rowReds(GuardedBitmap& bm, int y, int n)
{
  std::vector<int> v;
  for (int x = 0; x < n; ++x) v.push_back(chR(bm.at(x, y)));
  return v;
}

std::set<int> columns(GuardedBitmap& bm)
{
  std::set<int> s;
  for (auto& p : bm.changedSet()) s.insert(p.first);
  return s;
}
std::set<int> rows(GuardedBitmap& bm)
{
  std::set<int> s;
  for (auto& p : bm.changedSet()) s.insert(p.second);
  return s;
}

} // namespace

TEST(QBezier, ChordCountFollowsControlPolygonOverTolerance)
{
  // (0, 0) via (5, 0) to (10, 0): a control polygon of 10 pixels. Each chord is an anti-aliased
  // horizontal line over both its end columns, so in add mode the inner chord ends show twice:
  // 62 per chord at alpha 0.25 (weight 63).
  auto draw = [](float tol) {
    GuardedBitmap bm(20, 5);
    LICE_DrawQBezier(&bm, 0, 0, 5, 0, 10, 0, kWhite, 0.25f, 1, true, tol);
    return rowReds(bm, 0, 12);
  };
  const std::vector<int> ten = {62, 124, 124, 124, 124, 124, 124, 124, 124, 124, 62, 0};
  const std::vector<int> five = {62, 62, 124, 62, 124, 62, 124, 62, 124, 62, 62, 0};
  EXPECT_EQ(draw(1.0f), ten);
  EXPECT_EQ(draw(0.0f), ten); // a tolerance of 0 or less counts as 1
  EXPECT_EQ(draw(-1.0f), ten);
  EXPECT_EQ(draw(2.0f), five);
  EXPECT_EQ(draw(100.0f), (std::vector<int>{62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 62, 0})); // one chord
}

TEST(QBezier, EndsInEitherOrderAndOutside)
{
  GuardedBitmap a(30, 30), b(30, 30);
  LICE_DrawQBezier(&a, 2, 25, 14, -6, 27, 20, kWhite, 0.8f, 0, true, 1.0f);
  LICE_DrawQBezier(&b, 27, 20, 14, -6, 2, 25, kWhite, 0.8f, 0, true, 1.0f);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  EXPECT_GT(a.changed().size(), 40u);

  GuardedBitmap n(20, 20);
  LICE_DrawQBezier(&n, -30, 5, -20, 0, -10, 5, kWhite, 1.0f, 0, true, 1.0f); // wholly left
  LICE_DrawQBezier(&n, 25, 5, 30, 0, 40, 5, kWhite, 1.0f, 0, true, 1.0f);    // wholly right
  LICE_DrawQBezier(&n, 2, 5, 8, 0, 14, 5, kWhite, 1.0f, 7, true, 1.0f);      // no such operation
  LICE_DrawQBezier(&n, NAN, 5, 8, 0, 14, 5, kWhite, 1.0f, 0, true, 1.0f);
  LICE_DrawQBezier(nullptr, 2, 5, 8, 0, 14, 5, kWhite, 1.0f, 0, true, 1.0f);
  EXPECT_TRUE(n.changed().empty());

  // Partly left of column 0: drawn from column 0 on, nothing outside.
  GuardedBitmap p(20, 20);
  LICE_DrawQBezier(&p, -10, 18, 5, -10, 18, 18, kWhite, 1.0f, 0, true, 1.0f);
  EXPECT_FALSE(p.changed().empty());
  EXPECT_TRUE(p.guardIntact());
}

TEST(QBezier, ChordsFollowTheCurve)
{
  // Every drawn pixel lies within 1.5 pixels of the exact curve.
  GuardedBitmap bm(40, 40);
  const double ax = 1, ay = 35, cx = 18, cy = -20, bx = 37, by = 30;
  LICE_DrawQBezier(&bm, (float)ax, (float)ay, (float)cx, (float)cy, (float)bx, (float)by, kWhite, 1.0f, 0, true, 1.0f);
  for (auto& p : bm.changedSet()) {
    double best = 1e9;
    for (int i = 0; i <= 2000; ++i) {
      const double t = i / 2000.0, u = 1 - t;
      const double x = u * u * ax + 2 * t * u * cx + t * t * bx, y = u * u * ay + 2 * t * u * cy + t * t * by;
      best = std::min(best, std::hypot(x - p.first, y - p.second));
    }
    EXPECT_LT(best, 1.5) << p.first << "," << p.second;
  }
}

TEST(BezierGetY, QuadraticYAtX)
{
  double t = -1;
  EXPECT_EQ(LICE_Bezier_GetY<float>(2, 5, 9, 7, 1, 3, 1.5f, &t), 7.0f);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(LICE_Bezier_GetY<float>(2, 5, 9, 7, 1, 3, 2.0f, &t), 7.0f);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(LICE_Bezier_GetY<float>(2, 5, 9, 7, 1, 3, 9.0f, &t), 3.0f);
  EXPECT_EQ(t, 1.0);
  // Evenly spaced x controls: x is linear in t. The parabola's top lies at half height.
  EXPECT_FLOAT_EQ(LICE_Bezier_GetY<float>(0, 5, 10, 0, 10, 0, 5.0f, &t), 5.0f);
  EXPECT_DOUBLE_EQ(t, 0.5);
  // Uneven x controls: the parameter where x(t) is 5, and y there.
  const float y = LICE_Bezier_GetY<float>(0, 8, 10, 4, -6, 12, 5.0f, &t);
  const double u = 1 - t;
  EXPECT_NEAR(2 * t * u * 8 + t * t * 10, 5.0, 1e-5);
  EXPECT_NEAR(y, u * u * 4 + 2 * t * u * -6 + t * t * 12, 1e-5);
  EXPECT_NEAR(LICE_Bezier_GetY<double>(0, 8, 10, 4, -6, 12, 5.0, nullptr), y, 1e-5);
}

TEST(BezierGetY, CubicYAtXByBisection)
{
  float nextx = 0, dydx = 0;
  double tlo = -1, thi = -1;
  // Straight cubic 0, 1, 2, 3: x = 1.5 is hit exactly at t = 0.5.
  EXPECT_EQ(LICE_CBezier_GetY<float>(0, 1, 2, 3, 0, 1, 2, 3, 1.5f, &nextx, &dydx, &tlo, &thi), 1.5f);
  EXPECT_EQ(nextx, 1.51171875f);
  EXPECT_EQ(dydx, 1.0f);
  EXPECT_EQ(tlo, 0.5);
  EXPECT_EQ(thi, 0.50390625);
  // x = 1.0 after 8 rounds: the bracket 0.33203125 to 0.3359375.
  EXPECT_FLOAT_EQ(LICE_CBezier_GetY<float>(0, 1, 2, 3, 0, 1, 2, 3, 1.0f, &nextx, &dydx, &tlo, &thi), 1.0f);
  EXPECT_EQ(tlo, 0.33203125);
  EXPECT_EQ(thi, 0.3359375);
  EXPECT_EQ(nextx, 1.0078125f);
  // Outside the curve's x range: the end's y, slope 0, brackets untouched.
  tlo = thi = -1;
  EXPECT_EQ(LICE_CBezier_GetY<float>(2, 3, 4, 5, 7, 8, 9, 10, 1.0f, &nextx, &dydx, &tlo, &thi), 7.0f);
  EXPECT_EQ(nextx, 2.0f);
  EXPECT_EQ(dydx, 0.0f);
  EXPECT_EQ(LICE_CBezier_GetY<float>(2, 3, 4, 5, 7, 8, 9, 10, 5.0f, &nextx, &dydx, &tlo, &thi), 10.0f);
  EXPECT_EQ(nextx, 5.0f);
  EXPECT_EQ(tlo, -1.0);
  // A curved cubic (x growing throughout): close to the exact y where x(t) = 6.
  auto bez = [](double a, double b, double c, double d, double t) {
    const double u = 1 - t;
    return u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d;
  };
  double lo = 0, hi = 1;
  for (int i = 0; i < 60; ++i) (bez(0, 10, 2, 12, (lo + hi) / 2) < 6 ? lo : hi) = (lo + hi) / 2;
  const double y = LICE_CBezier_GetY<double>(0, 10, 2, 12, 0, 9, -3, 4, 6.0);
  EXPECT_NEAR(y, bez(0, 9, -3, 4, lo), 0.01);
  EXPECT_EQ(LICE_CBezier_GetY<float>(0, 1, 2, 3, 0, 1, 2, 3, 2.0f), 2.0f); // optional outputs
}

TEST(CBezier, ShortCurvesAreOneChord)
{
  GuardedBitmap a(30, 30), b(30, 30);
  LICE_DrawCBezier(&a, 2.5f, 3.5f, 8, 20, 14, -5, 25.5f, 21.5f, kWhite, 1.0f, 0, true, 1000.0f);
  LICE_FLine(&b, 2.5f, 3.5f, 25.5f, 21.5f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  // Reversed ends: the same curve.
  GuardedBitmap c(30, 30), d(30, 30);
  LICE_DrawCBezier(&c, 2, 3, 8, 20, 14, -5, 25, 21, kWhite, 0.5f, 1, false, 1.0f);
  LICE_DrawCBezier(&d, 25, 21, 14, -5, 8, 20, 2, 3, kWhite, 0.5f, 1, false, 1.0f);
  EXPECT_EQ(c.snapshot(), d.snapshot());
}

TEST(CBezier, OutsideDrawsNothingAndClippedStaysInside)
{
  GuardedBitmap n(20, 20);
  LICE_DrawCBezier(&n, -30, 5, -20, 0, -15, 9, -10, 5, kWhite, 1.0f, 0, true, 1.0f);
  LICE_DrawCBezier(&n, 25, 5, 30, 0, 35, 9, 40, 5, kWhite, 1.0f, 0, true, 1.0f);
  LICE_DrawCBezier(&n, 2, 5, 5, 0, 9, 9, 14, 5, kWhite, 1.0f, 0, true, 1e-30f); // chords capped
  EXPECT_FALSE(n.changed().empty());
  n.clear(0);
  LICE_DrawCBezier(&n, 2, 5, 5, 0, 9, 9, INFINITY, 5, kWhite, 1.0f, 0, true, 1.0f);
  LICE_FillCBezier(&n, 2, 5, 5, 0, 9, 9, 14, NAN, 15, kWhite, 1.0f, 0, 1.0f);
  LICE_FillCBezierX(nullptr, 2, 5, 5, 0, 9, 9, 14, 5, 15, kWhite, 1.0f, 0, 1.0f);
  EXPECT_TRUE(n.changed().empty());
  // The curve crosses both side edges and leaves through the bottom.
  GuardedBitmap p(20, 20);
  LICE_DrawCBezier(&p, -15, 2, 10, 60, 15, -40, 35, 30, kWhite, 1.0f, 0, true, 1.0f);
  EXPECT_FALSE(p.changed().empty());
  EXPECT_TRUE(p.guardIntact());
}

TEST(CBezierFill, TowardARowEveryColumnOnce)
{
  // A curve from x 0.0 to x 10.0 hands columns 0 to 9 to its steps and column 10 to none; each
  // column is filled from the curve to the base row.
  GuardedBitmap bm(20, 20);
  LICE_FillCBezier(&bm, 0, 5, 3, 2, 7, 8, 10, 5, 15, kWhite, 0.25f, 1, 1.0f);
  EXPECT_EQ(columns(bm), (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (auto& kv : bm.reds()) EXPECT_EQ(kv.second, 63) << kv.first.first << "," << kv.first.second; // once each
  for (int x = 0; x <= 9; ++x) {
    EXPECT_NE(bm.at(x, 15), 0u);
    EXPECT_NE(bm.at(x, 8), 0u);
    EXPECT_EQ(bm.at(x, 1), 0u);
  }
}

TEST(CBezierFill, TheBaseRowSide)
{
  // A chord above the base row fills down to one row past it (yfill + 1); one below starts at
  // the base row.
  GuardedBitmap above(20, 20), below(20, 20);
  LICE_FillCBezier(&above, 0, 3, 3, 3, 7, 3, 10, 3, 10, kWhite, 1.0f, 0, 1.0f);
  LICE_FillCBezier(&below, 0, 15, 3, 15, 7, 15, 10, 15, 10, kWhite, 1.0f, 0, 1.0f);
  EXPECT_EQ(rows(above), (std::set<int>{3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(rows(below), (std::set<int>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(columns(above), (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(CBezierFill, CrossingTheBaseRow)
{
  // The curve crosses the base row: each side of it is filled, and nothing lies beyond the
  // curve's own rows or on the far side of the base row from the curve.
  GuardedBitmap bm(30, 30);
  LICE_FillCBezier(&bm, 0, 4, 10, 4, 15, 25, 25, 25, 14, kWhite, 1.0f, 0, 1.0f);
  EXPECT_NE(bm.at(3, 10), 0u);  // below the curve, above the base row
  EXPECT_NE(bm.at(22, 18), 0u); // above the curve, below the base row
  EXPECT_EQ(bm.at(3, 20), 0u);
  EXPECT_EQ(bm.at(22, 8), 0u);
  EXPECT_TRUE(bm.guardIntact());
}

TEST(CBezierFill, TowardAColumn)
{
  // A straight curve down column 5 from row 0 to row 10, filled toward column 15: every row
  // from 0 to 9 reaches from column 5 to the base column.
  GuardedBitmap bm(24, 24);
  LICE_FillCBezierX(&bm, 5, 0, 5, 3, 5, 7, 5, 10, 15, kWhite, 1.0f, 0, 1.0f);
  for (int y = 0; y <= 9; ++y)
    for (int x = 5; x <= 15; ++x) EXPECT_NE(bm.at(x, y), 0u) << x << "," << y;
  for (auto& p : bm.changedSet()) EXPECT_TRUE(p.first >= 5 && p.first <= 16 && p.second >= 0 && p.second <= 10);
  // Reversed ends give the same fill: the curve is taken with y growing.
  GuardedBitmap rev(24, 24);
  LICE_FillCBezierX(&rev, 5, 10, 5, 7, 5, 3, 5, 0, 15, kWhite, 1.0f, 0, 1.0f);
  EXPECT_EQ(rev.snapshot(), bm.snapshot());
  // Left of the base column: filled from the base column to the curve.
  GuardedBitmap left(24, 24);
  LICE_FillCBezierX(&left, 18, 2, 20, 6, 20, 9, 18, 12, 4, kWhite, 1.0f, 0, 1.0f);
  for (auto& p : left.changedSet()) EXPECT_TRUE(p.first >= 4 && p.first <= 20 && p.second >= 2 && p.second <= 12);
  EXPECT_NE(left.at(10, 7), 0u);
}
