// Every line, curve and shape primitive drawn at random, partly or wholly outside a bitmap fenced
// by a guard band: nothing may be written outside the bitmap. The sanitizer build runs the same
// test, where a write beyond the band's allocation faults as well.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace rt;

namespace {

class Dice
{
public:
  explicit Dice(unsigned seed) : m_rng(seed) {}
  int range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  float frange(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_rng); }
  bool chance(int percent) { return range(0, 99) < percent; }

  // A coordinate around a bitmap of size n: mostly near it, sometimes far, rarely absurd.
  int coord(int n)
  {
    if (chance(3)) {
      const int extremes[] = {INT32_MIN, INT32_MIN + 1, -1000000, 1000000, INT32_MAX - 1, INT32_MAX};
      return extremes[range(0, 5)];
    }
    if (chance(10)) return range(-4 * n - 50, 5 * n + 50);
    return range(-n / 2 - 8, n + n / 2 + 8);
  }
  float fcoord(int n)
  {
    if (chance(3)) {
      const float extremes[] = {-1e30f, -3e9f, -16777216.0f, 16777216.0f, 3e9f, 1e30f, NAN, INFINITY, -INFINITY};
      return extremes[range(0, 8)];
    }
    if (chance(10)) return frange(-4.0f * n - 50, 5.0f * n + 50);
    return frange(-n / 2.0f - 8, n * 1.5f + 8);
  }
  float radius(int n)
  {
    if (chance(3)) {
      const float extremes[] = {-5.0f, 0.0f, 1e7f, 3e7f, NAN, 2.0f, 1.5f, 4.0f};
      return extremes[range(0, 7)];
    }
    if (chance(15)) return frange(0, 6.0f * n);
    return frange(0, n * 0.8f + 4);
  }
  float alpha()
  {
    const float exact[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.0f, 0.502f, 1.001f, -0.5f, 2.0f};
    return chance(40) ? exact[range(0, 8)] : frange(-0.2f, 1.2f);
  }
  int mode()
  {
    int m = range(0, 6);
    if (chance(20)) m |= LICE_BLIT_USE_ALPHA;
    if (chance(5)) m = range(0, 0x1ffff);
    return m;
  }
  LICE_pixel colour() { return (LICE_pixel)m_rng(); }
  float tol() { return chance(5) ? frange(-1.0f, 0.05f) : frange(0.2f, 6.0f); }

private:
  std::mt19937 m_rng;
};

// Draws one primitive chosen by kind with random arguments around a w x h bitmap.
void drawOne(LICE_IBitmap* bm, int kind, Dice& d, int w, int h)
{
  const int n = w > h ? w : h;
  const LICE_pixel c = d.colour();
  const float a = d.alpha();
  const int m = d.mode();
  const bool aa = d.chance(50);
  switch (kind) {
  case 0:
    LICE_Line(bm, d.coord(w), d.coord(h), d.coord(w), d.coord(h), c, a, m, aa);
    break;
  case 1:
    LICE_FLine(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), c, a, m, aa);
    break;
  case 2: {
    // Mostly horizontal or vertical, as dashed lines are.
    const int x1 = d.coord(w), y1 = d.coord(h);
    const int x2 = d.chance(45) ? x1 : d.coord(w), y2 = d.chance(45) ? y1 : d.coord(h);
    LICE_DashedLine(bm, x1, y1, x2, y2, d.range(-3, 9), d.range(-6, 9), c, a, m, aa);
    break;
  }
  case 3:
    LICE_DrawRect(bm, d.coord(w), d.coord(h), d.coord(w), d.coord(h), c, a, m);
    break;
  case 4:
    LICE_BorderedRect(bm, d.coord(w), d.coord(h), d.coord(w), d.coord(h), c, d.colour(), a, m);
    break;
  case 5:
    LICE_FillTrapezoid(bm, d.coord(w), d.coord(w), d.coord(h), d.coord(w), d.coord(w), d.coord(h), c, a, m);
    break;
  case 6: {
    const int count = d.chance(5) ? d.range(500, 700) : d.range(0, 9);
    std::vector<int> xs, ys;
    for (int i = 0; i < count; ++i) xs.push_back(d.coord(w)), ys.push_back(d.coord(h));
    LICE_FillConvexPolygon(bm, xs.data(), ys.data(), count, c, a, m);
    break;
  }
  case 7:
    LICE_FillTriangle(bm, d.coord(w), d.coord(h), d.coord(w), d.coord(h), d.coord(w), d.coord(h), c, a, m);
    break;
  case 8:
    LICE_Circle(bm, d.fcoord(w), d.fcoord(h), d.radius(n), c, a, m, aa);
    break;
  case 9:
    LICE_FillCircle(bm, d.fcoord(w), d.fcoord(h), d.radius(n), c, a, m, aa);
    break;
  case 10:
    LICE_Arc(bm, d.fcoord(w), d.fcoord(h), d.radius(n), d.frange(-20, 20), d.frange(-20, 20), c, a, m, aa);
    break;
  case 11:
    LICE_RoundRect(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.range(-2, n), c, a, m, aa);
    break;
  case 12:
    LICE_DrawQBezier(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), c, a, m, aa,
                     d.tol());
    break;
  case 13:
    LICE_DrawCBezier(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w),
                     d.fcoord(h), c, a, m, aa, d.tol());
    break;
  case 14:
    LICE_FillCBezier(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w),
                     d.fcoord(h), d.coord(h), c, a, m, d.tol());
    break;
  case 15:
    LICE_FillCBezierX(bm, d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w), d.fcoord(h), d.fcoord(w),
                      d.fcoord(h), d.coord(w), c, a, m, d.tol());
    break;
  }
}

const int kKinds = 16;

} // namespace

TEST(DrawGuard, RandomPrimitivesNeverWriteOutsideTheBitmap)
{
  Dice d(20240607u);
  int drew = 0;
  for (int iter = 0; iter < 6000; ++iter) {
    const int w = d.chance(4) ? d.range(0, 2) : d.range(1, 40);
    const int h = d.chance(4) ? d.range(0, 2) : d.range(1, 40);
    GuardedBitmap bm(w, h, d.chance(30), d.range(1, 5));
    fillPattern(bm, (unsigned)iter);
    const std::vector<LICE_pixel> before = bm.snapshot();
    const int kind = iter % kKinds;
    drawOne(&bm, kind, d, w, h);
    ASSERT_TRUE(bm.guardIntact()) << "iteration " << iter << " kind " << kind << " size " << w << "x" << h;
    drew += bm.snapshot() != before;
  }
  EXPECT_GT(drew, 1200); // a good share of the calls reach the bitmap
}

TEST(DrawGuard, EveryKindDrawsSomethingSomewhere)
{
  // The random arguments above do reach every primitive's drawing code.
  for (int kind = 0; kind < kKinds; ++kind) {
    Dice d(99u + kind);
    int drew = 0;
    for (int i = 0; i < 200; ++i) {
      GuardedBitmap bm(30, 30);
      fillPattern(bm, 1u);
      const std::vector<LICE_pixel> before = bm.snapshot();
      drawOne(&bm, kind, d, 30, 30);
      drew += bm.snapshot() != before;
    }
    EXPECT_GT(drew, 4) << "kind " << kind;
  }
}
