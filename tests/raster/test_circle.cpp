// Circles, discs, arcs and rounded rectangles.
#include "draw_test_util.h"
#include "raster/lice_circle.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rt;

namespace {

const float kPi = 3.1415927f;

std::map<XY, int> maskMap(const std::vector<std::vector<int>>& rows, int left, int top)
{
  std::map<XY, int> m;
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x)
      if (rows[y][x]) m[{left + (int)x, top + (int)y}] = rows[y][x];
  return m;
}

double dist(int x, int y, double cx, double cy)
{
  return std::hypot(x - cx, y - cy);
}

} // namespace

TEST(CircleMasks, SmallRadiiAreStoredMasks)
{
  // White copied on black at alpha 1 leaves each coverage byte in every channel.
  GuardedBitmap a(16, 16), p(16, 16);
  LICE_Circle(&a, 8.7f, 6.2f, 2.0f, kWhite, 1.0f, 0, true);
  LICE_Circle(&p, 8.7f, 6.2f, 2.0f, kWhite, 1.0f, 0, false);
  const std::vector<std::vector<int>> aa2 = {{0x0f, 0xbf, 0xff, 0xbf, 0x0f},
                                             {0xbf, 0xd1, 0x4f, 0xd1, 0xbf},
                                             {0xff, 0x4f, 0x00, 0x4f, 0xff},
                                             {0xbf, 0xd1, 0x4f, 0xd1, 0xbf},
                                             {0x0f, 0xbf, 0xff, 0xbf, 0x0f}};
  const std::vector<std::vector<int>> plain2 = {
      {0, 0, 255, 0, 0}, {0, 255, 0, 255, 0}, {255, 0, 0, 0, 255}, {0, 255, 0, 255, 0}, {0, 0, 255, 0, 0}};
  EXPECT_EQ(a.reds(), maskMap(aa2, 6, 4)) << dump(a.reds()); // top-left at trunc(cx - r), trunc(cy - r)
  EXPECT_EQ(p.reds(), maskMap(plain2, 6, 4));

  GuardedBitmap b(16, 16);
  LICE_Circle(&b, 5, 5, 3.0f, kWhite, 1.0f, 0, true);
  const std::vector<std::vector<int>> aa3 = {
      {0x00, 0x8f, 0xff, 0xff, 0xff, 0x8f, 0x00}, {0x8f, 0xff, 0x61, 0x40, 0x61, 0xff, 0x8f},
      {0xff, 0x70, 0x00, 0x00, 0x00, 0x70, 0xff}, {0xff, 0x30, 0x00, 0x00, 0x00, 0x30, 0xff},
      {0xff, 0x70, 0x00, 0x00, 0x00, 0x70, 0xff}, {0x8f, 0xff, 0x61, 0x40, 0x61, 0xff, 0x8f},
      {0x00, 0x8f, 0xff, 0xff, 0xff, 0x8f, 0x00}};
  EXPECT_EQ(b.reds(), maskMap(aa3, 2, 2));

  // Every mask is mirror-symmetric left to right and top to bottom, the plain ones hold only 0
  // and 255, and a mask is as wide as 2r + 1.
  for (float r : {1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f})
    for (bool aa : {false, true}) {
      GuardedBitmap m(20, 20);
      LICE_Circle(&m, 10, 10, r, kWhite, 1.0f, 0, aa);
      const int n = (int)(2 * r + 1), left = (int)(10 - r);
      int minx = 99, maxx = -1;
      for (auto& kv : m.reds()) {
        const int x = kv.first.first, y = kv.first.second;
        minx = std::min(minx, x), maxx = std::max(maxx, x);
        EXPECT_EQ(chR(m.at(2 * left + n - 1 - x, y)), kv.second);
        EXPECT_EQ(chR(m.at(x, 2 * left + n - 1 - y)), kv.second);
        if (!aa) {
          EXPECT_EQ(kv.second, 255);
        }
      }
      EXPECT_EQ(minx, left);
      EXPECT_EQ(maxx, left + n - 1);
    }
}

TEST(CircleMasks, OtherRadiiAndDiscsAreComputed)
{
  GuardedBitmap a(16, 16), b(16, 16);
  LICE_Circle(&a, 8, 8, 2.0f, kWhite, 1.0f, 0, true);
  LICE_Circle(&b, 8, 8, 2.01f, kWhite, 1.0f, 0, true);
  EXPECT_NE(a.snapshot(), b.snapshot());
  EXPECT_EQ(chR(b.at(8, 6)), 254); // the axis pixel at distance 2 gets ia - trunc(0.01 x ia)
  // A disc of radius 2 is not a mask: its centre is filled.
  GuardedBitmap d(16, 16);
  LICE_FillCircle(&d, 8, 8, 2.0f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(d.at(8, 8), kWhite);
}

TEST(Circle, RadiusRoundedPlainTruncatedAntiAliased)
{
  // Plain r = 4.6: R = 5 on the axes.
  GuardedBitmap p(20, 20);
  LICE_Circle(&p, 10, 10, 4.6f, kWhite, 1.0f, 0, false);
  for (XY q : {XY{15, 10}, XY{5, 10}, XY{10, 15}, XY{10, 5}}) EXPECT_EQ(p.at(q.first, q.second), kWhite);
  for (auto& q : p.changedSet()) EXPECT_NEAR(dist(q.first, q.second, 10, 10), 5.0, 0.75);
  // Anti-aliased r = 4.6: R = 4; the axis pixels at 5 get trunc(0.6 x 256) = 153, those at 4
  // the rest, 103.
  GuardedBitmap a(20, 20);
  LICE_Circle(&a, 10, 10, 4.6f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(chR(a.at(15, 10)), 153);
  EXPECT_EQ(chR(a.at(10, 5)), 153);
  EXPECT_EQ(chR(a.at(14, 10)), 103);
  EXPECT_EQ(chR(a.at(10, 6)), 103);
}

TEST(Circle, CentreIsTheNearestPixel)
{
  // (7.5, 7.49) is drawn about pixel (8, 7).
  GuardedBitmap a(20, 20), b(20, 20);
  LICE_FillCircle(&a, 7.5f, 7.49f, 5.0f, kWhite, 1.0f, 0, false);
  LICE_FillCircle(&b, 8.0f, 7.0f, 5.0f, kWhite, 1.0f, 0, false);
  EXPECT_EQ(a.snapshot(), b.snapshot());
}

TEST(Circle, DiscsCoverTheirInside)
{
  for (float r : {0.4f, 1.0f, 2.3f, 5.5f, 7.0f, 10.25f, 13.8f})
    for (float cx : {15.0f, 15.3f, 14.7f}) {
      const float cy = 16.2f;
      GuardedBitmap p(32, 32), a(32, 32);
      LICE_FillCircle(&p, cx, cy, r, kWhite, 1.0f, 0, false);
      LICE_FillCircle(&a, cx, cy, r, kWhite, 1.0f, 0, true);
      const double X = (int)(cx + 0.5f), Y = (int)(cy + 0.5f), R = (int)(r + 0.5f);
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          const double d = dist(x, y, X, Y);
          if (d <= R - 1) {
            EXPECT_EQ(p.at(x, y), kWhite) << r << " " << x << "," << y;
          }
          if (d > R + 1) {
            EXPECT_EQ(p.at(x, y), 0u) << r << " " << x << "," << y;
          }
          if (d <= r - 1.5) {
            EXPECT_EQ(a.at(x, y), kWhite) << r << " " << x << "," << y;
          }
          if (d > r + 1.5) {
            EXPECT_EQ(a.at(x, y), 0u) << r << " " << x << "," << y;
          }
        }
      // The anti-aliased disc's total weight is its area, within a pixel-wide ring's worth.
      double sum = 0;
      for (auto& kv : a.reds()) sum += kv.second / 255.0;
      EXPECT_NEAR(sum, M_PI * r * r, 2 * M_PI * r * 0.5 + 1) << r;
    }
}

TEST(Circle, CopyWeightsAndModes)
{
  const LICE_pixel c = px(1, 2, 3, 4);
  GuardedBitmap a(16, 16);
  a.clear(kWhite);
  LICE_FillCircle(&a, 8, 8, 5, c, 1.0f, 0, false); // plain replacement, alpha byte included
  EXPECT_EQ(a.at(8, 8), c);
  EXPECT_EQ(a.at(12, 9), c);
  GuardedBitmap b(16, 16);
  b.clear(px(101, 51, 21, 255));
  LICE_Circle(&b, 8, 8, 6, px(201, 151, 121, 1), 0.502f, 0, false); // ia 128: halves
  EXPECT_EQ(b.at(14, 8), px(151, 101, 71, 128));
  for (bool aa : {false, true})
    for (bool fill : {false, true}) {
      GuardedBitmap x(20, 20), y(20, 20), z(20, 20);
      fillPattern(x, 1u), fillPattern(y, 1u), fillPattern(z, 1u);
      const std::vector<LICE_pixel> before = z.snapshot();
      auto draw = [&](LICE_IBitmap* bm, int mode) {
        if (fill)
          LICE_FillCircle(bm, 9.3f, 10.1f, 6.6f, px(40, 80, 120, 0), 0.7f, mode, aa);
        else
          LICE_Circle(bm, 9.3f, 10.1f, 6.6f, px(40, 80, 120, 0), 0.7f, mode, aa);
      };
      draw(&x, 0x10000);
      draw(&y, 0);
      EXPECT_EQ(x.snapshot(), y.snapshot()); // the source-alpha flag has no effect
      for (int mode : {6, 0x80, 0xff}) draw(&z, mode);
      EXPECT_EQ(z.snapshot(), before);
    }
  GuardedBitmap n(16, 16);
  LICE_Circle(&n, 8, 8, -3, kWhite, 1.0f, 0, true);
  LICE_FillCircle(&n, 8, 8, -0.5f, kWhite, 1.0f, 0, false);
  LICE_FillCircle(&n, 8, 8, 5, kWhite, 0.002f, 0, false);
  LICE_Circle(&n, 8, 8, 5, kWhite, 0.002f, 0, true);
  LICE_Circle(&n, 8, 8, 2, kWhite, 0.002f, 0, true); // the mask path weighs too
  LICE_FillCircle(&n, 8, 8, 5, kWhite, -1.0f, 0, true);
  LICE_Circle(&n, 8, 8, NAN, kWhite, 1.0f, 0, true);
  LICE_FillCircle(&n, INFINITY, 8, 5, kWhite, 1.0f, 0, true);
  LICE_FillCircle(&n, 8, 8, 1e30f, kWhite, 1.0f, 0, false);
  LICE_Circle(&n, -30, 8, 5, kWhite, 1.0f, 0, false); // wholly outside
  LICE_Circle(nullptr, 8, 8, 5, kWhite, 1.0f, 0, false);
  EXPECT_TRUE(n.changed().empty());
}

TEST(Circle, FlippedIsTheMirrorImage)
{
  for (bool aa : {false, true})
    for (bool fill : {false, true})
      for (float r : {2.0f, 6.3f}) {
        GuardedBitmap normal(20, 20), flipped(20, 20, true);
        auto draw = [&](LICE_IBitmap* bm, float cy) {
          if (fill)
            LICE_FillCircle(bm, 9, cy, r, kWhite, 0.8f, 1, aa);
          else
            LICE_Circle(bm, 9, cy, r, kWhite, 0.8f, 1, aa);
        };
        draw(&normal, 7);
        draw(&flipped, 19 - 7);
        for (int y = 0; y < 20; ++y)
          for (int x = 0; x < 20; ++x) ASSERT_EQ(normal.at(x, y), flipped.at(x, 19 - y)) << r;
      }
}

TEST(Circle, HugeCirclesCrossingASmallBitmap)
{
  // A window of 40 x 30 pixels on a circle of radius 350: the same pixels as the whole circle
  // drawn on a bitmap that holds it, where nothing is clipped or skipped.
  const float cx = 400.5f, cy = 380.5f, r = 350.4f;
  for (bool aa : {false, true})
    for (bool fill : {false, true}) {
      GuardedBitmap big(820, 800);
      auto draw = [&](LICE_IBitmap* bm, float x, float y) {
        if (fill)
          LICE_FillCircle(bm, x, y, r, kWhite, 1.0f, 1, aa);
        else
          LICE_Circle(bm, x, y, r, kWhite, 1.0f, 1, aa);
      };
      draw(&big, cx, cy);
      for (int k = 0; k < 16; ++k) {
        const double ang = k * 2 * M_PI / 16 + 0.1;
        const int ox = (int)(cx + r * std::cos(ang)) - 20, oy = (int)(cy + r * std::sin(ang)) - 15;
        GuardedBitmap win(40, 30);
        draw(&win, cx - ox, cy - oy);
        for (int y = 0; y < 30; ++y)
          for (int x = 0; x < 40; ++x) ASSERT_EQ(win.at(x, y), big.at(ox + x, oy + y)) << k << " " << x << "," << y;
      }
    }
}

TEST(Arc, QuarterIsTheCircleInsideItsBox)
{
  // 0 to pi/2 about (50, 50), radius 10: columns 50 to 61 (60 + 2, since 60 is not the centre's
  // column), rows 40 to 50 (50 + 1, the centre's row).
  for (bool aa : {false, true}) {
    GuardedBitmap arc(100, 100), circle(100, 100);
    LICE_Arc(&arc, 50, 50, 10, 0, kPi / 2, kWhite, 1.0f, 0, aa);
    LICE_Circle(&circle, 50, 50, 10, kWhite, 1.0f, 0, aa);
    std::map<XY, LICE_pixel> want;
    for (auto& kv : circle.changed())
      if (kv.first.first >= 50 && kv.first.first <= 61 && kv.first.second >= 40 && kv.first.second <= 50)
        want.insert(kv);
    EXPECT_EQ(arc.changed(), want);
  }
}

TEST(Arc, SpansAndTurns)
{
  for (bool aa : {false, true}) {
    GuardedBitmap none(40, 40);
    LICE_Arc(&none, 20, 20, 8, 1.0f, 1.0f, kWhite, 1.0f, 0, aa);
    LICE_Arc(&none, 20, 20, 8, 0.0f, 1.0f, kWhite, 0.002f, 0, aa);
    LICE_Arc(&none, 20, 20, 8, 0.0f, 1.0f, kWhite, 1.0f, 9, aa);
    LICE_Arc(&none, 20, 20, 8, NAN, 1.0f, kWhite, 1.0f, 0, aa);
    LICE_Arc(nullptr, 20, 20, 8, 0.0f, 1.0f, kWhite, 1.0f, 0, aa);
    EXPECT_TRUE(none.changed().empty());

    // A whole turn or more is the circle, the small-radius masks included.
    for (float r : {3.0f, 8.3f})
      for (float from : {0.0f, -1.0f}) {
        GuardedBitmap a(40, 40), c(40, 40);
        LICE_Arc(&a, 20, 20, r, from, from == 0 ? 2 * kPi : 6.5f, kWhite, 1.0f, 0, aa);
        LICE_Circle(&c, 20, 20, r, kWhite, 1.0f, 0, aa);
        EXPECT_EQ(a.snapshot(), c.snapshot());
      }

    // Angles a turn away draw the same arc, in either order.
    GuardedBitmap a(40, 40), b(40, 40), c(40, 40);
    LICE_Arc(&a, 20, 20, 12, 7.0f, 7.5f, kWhite, 1.0f, 0, aa);
    LICE_Arc(&b, 20, 20, 12, 7.5f, 7.0f, kWhite, 1.0f, 0, aa);
    LICE_Arc(&c, 20, 20, 12, 7.0f - 2 * kPi, 7.5f - 2 * kPi, kWhite, 1.0f, 0, aa);
    EXPECT_EQ(a.snapshot(), b.snapshot());
    EXPECT_EQ(a.snapshot(), c.snapshot());
    EXPECT_FALSE(a.changed().empty());
    for (auto& p : a.changedSet()) {
      // Between 0.7168 and 1.2168 rad clockwise from 12 o'clock: right of and above the centre.
      EXPECT_GE(p.first, 27);
      EXPECT_LE(p.second, 17);
    }
  }
}

TEST(Arc, FlippedKeepsTheCallersQuarter)
{
  // 0 to pi/2 is the caller's top-right quarter on a flipped bitmap too.
  for (bool aa : {false, true}) {
    GuardedBitmap bm(40, 40, true);
    LICE_Arc(&bm, 20, 20, 10, 0, kPi / 2, kWhite, 1.0f, 0, aa);
    EXPECT_FALSE(bm.changed().empty());
    for (auto& p : bm.changedSet()) {
      EXPECT_GE(p.first, 19);
      EXPECT_LE(p.second, 21);
    }
    EXPECT_TRUE(bm.guardIntact());
  }
}

TEST(RoundRect, SmallRadiusIsAPlainRectangle)
{
  struct Case
  {
    float x, y, w, h;
    int radius;
  };
  const Case cases[] = {
      {2.7f, 3.2f, 10, 8, 1}, {2, 3, 3, 10, 5}, {2, 3, 10, 3.9f, 5}, {2, 3, 10, 8, 0}, {2, 3, 10, 8, -4}};
  for (const Case& c : cases) {
    GuardedBitmap a(20, 20), b(20, 20);
    LICE_RoundRect(&a, c.x, c.y, c.w, c.h, c.radius, kWhite, 0.6f, 0, true);
    LICE_DrawRect(&b, (int)c.x, (int)c.y, (int)c.w, (int)c.h, kWhite, 0.6f, 0);
    EXPECT_EQ(a.snapshot(), b.snapshot());
  }
}

TEST(RoundRect, CornersAreQuarterCircles)
{
  for (bool aa : {false, true}) {
    // Radius 30 on 10 x 40 is held to 5.
    GuardedBitmap a(30, 50), b(30, 50);
    LICE_RoundRect(&a, 4, 3, 10, 40, 30, kWhite, 1.0f, 0, aa);
    LICE_RoundRect(&b, 4, 3, 10, 40, 5, kWhite, 1.0f, 0, aa);
    EXPECT_EQ(a.snapshot(), b.snapshot());

    GuardedBitmap r(40, 30);
    LICE_RoundRect(&r, 5, 4, 24, 18, 6, kWhite, 1.0f, 0, aa);
    const std::set<XY> on = r.changedSet();
    EXPECT_TRUE(on.count({17, 4}) && on.count({17, 22}) && on.count({5, 13}) && on.count({29, 13}));
    EXPECT_FALSE(on.count({5, 4}) || on.count({29, 4}) || on.count({5, 22}) || on.count({29, 22}));
    for (auto& p : on) {
      EXPECT_TRUE(p.first >= 4 && p.first <= 30 && p.second >= 3 && p.second <= 23);
      EXPECT_FALSE(p.first >= 8 && p.first <= 26 && p.second >= 7 && p.second <= 19); // hollow
    }
  }
  GuardedBitmap n(10, 10);
  LICE_RoundRect(&n, NAN, 1, 5, 5, 2, kWhite, 1.0f, 0, true);
  LICE_RoundRect(nullptr, 1, 1, 5, 5, 2, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(n.changed().empty());
}

TEST(CircleDrawer, DiscsCombineEachPixelOnce)
{
  // Counted through the drawers themselves, partial weights included.
  for (bool aa : {false, true})
    for (float r : {0.3f, 0.5f, 1.0f, 1.5f, 2.2f, 3.7f, 5.0f, 7.5f, 10.25f, 16.9f, 23.5f})
      for (float cx : {25.0f, 25.4f, 4.2f}) {
        GuardedBitmap bm(50, 50);
        const int clip[4] = {0, 0, 50, 50};
        const float cy = 24.6f;
        const bool doclip = cx - r - 2 < 0;
        if (aa)
          _LICE_CircleDrawer<CountTouches>::DrawClippedCircleAA(&bm, cx, cy, r, clip, 0, 100, true, doclip);
        else
          _LICE_CircleDrawer<CountTouches>::DrawClippedCircle(&bm, cx, cy, r, clip, 0, 100, true, doclip);
        for (auto& kv : bm.changed()) ASSERT_EQ(chA(kv.second), 1) << aa << " r " << r << " at " << kv.first.first;
      }
}

TEST(CircleDrawer, OutlinesCombineAFewPixelsTwice)
{
  // The plain outline combines each pixel once (the centre four times at R = 0). The
  // anti-aliased outline combines some pixels twice, by design: only on the axes and the
  // diagonals through the centre, or beside them.
  for (float r : {0.2f, 1.0f, 2.6f, 4.0f, 6.5f, 9.0f, 12.3f, 20.0f}) {
    GuardedBitmap p(50, 50), a(50, 50);
    const int clip[4] = {0, 0, 50, 50};
    _LICE_CircleDrawer<CountTouches>::DrawClippedCircle(&p, 25, 25, r, clip, 0, 100, false, false);
    _LICE_CircleDrawer<CountTouches>::DrawClippedCircleAA(&a, 25, 25, r, clip, 0, 100, false, false);
    for (auto& kv : p.changed()) EXPECT_EQ(chA(kv.second), (int)(r + 0.5f) == 0 ? 4 : 1) << r;
    for (auto& kv : a.changed()) {
      const int count = chA(kv.second), dx = std::abs(kv.first.first - 25), dy = std::abs(kv.first.second - 25);
      EXPECT_LE(count, (int)r == 0 ? 4 : 2) << r;
      if (count > 1) {
        EXPECT_TRUE(dx <= 1 || dy <= 1 || std::abs(dx - dy) <= 1) << r << ": " << dx << "," << dy;
      }
    }
  }
}
