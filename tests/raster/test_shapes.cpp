// Rectangle outlines, trapezoid fills, convex polygons and triangles.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace rt;

namespace {

std::set<XY> rowSpans(const std::vector<std::pair<int, std::pair<int, int>>>& rows)
{
  std::set<XY> s;
  for (auto& r : rows)
    for (int x = r.second.first; x <= r.second.second; ++x) s.insert({x, r.first});
  return s;
}

// Convex hull of integer points, turning left (positive cross products) from edge to edge.
std::vector<XY> hull(std::vector<XY> p)
{
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  if (p.size() < 3) return p;
  auto cross = [](XY o, XY a, XY b) {
    return (int64_t)(a.first - o.first) * (b.second - o.second) - (int64_t)(a.second - o.second) * (b.first - o.first);
  };
  std::vector<XY> h(2 * p.size());
  size_t k = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
    while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0) --k;
    h[k++] = p[i - 1];
  }
  h.resize(k - 1);
  return h;
}

void fillPoly(LICE_IBitmap* bm, const std::vector<XY>& pts, LICE_pixel c, float alpha = 1.0f, int mode = 0)
{
  std::vector<int> xs, ys;
  for (auto& p : pts) xs.push_back(p.first), ys.push_back(p.second);
  LICE_FillConvexPolygon(bm, xs.data(), ys.data(), (int)pts.size(), c, alpha, mode);
}

} // namespace

TEST(Rect, OutlineSpansBothEnds)
{
  GuardedBitmap bm(12, 12);
  LICE_DrawRect(&bm, 2, 3, 4, 5, kWhite, 1.0f, 0);
  std::set<XY> want;
  for (int y = 3; y <= 8; ++y)
    for (int x = 2; x <= 6; ++x)
      if (x == 2 || x == 6 || y == 3 || y == 8) want.insert({x, y});
  EXPECT_EQ(bm.changedSet(), want);
}

TEST(Rect, BorderedFillsTheInsideInTheBackgroundColour)
{
  GuardedBitmap bm(12, 12);
  const LICE_pixel bg = px(10, 20, 30, 40), fg = px(200, 210, 220, 230);
  LICE_BorderedRect(&bm, 2, 3, 4, 5, bg, fg, 1.0f, 0);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool box = x >= 2 && x <= 6 && y >= 3 && y <= 8;
      const bool inner = x >= 3 && x <= 5 && y >= 4 && y <= 7;
      EXPECT_EQ(bm.at(x, y), inner ? bg : box ? fg : 0u) << x << "," << y;
    }
  // Partly outside and degenerate sizes stay inside the bitmap.
  GuardedBitmap g(12, 12);
  LICE_BorderedRect(&g, -3, -3, 30, 30, bg, fg, 1.0f, 0);
  LICE_BorderedRect(&g, 5, 5, 0, 0, bg, fg, 1.0f, 0);
  LICE_BorderedRect(&g, INT32_MAX - 1, INT32_MIN, INT32_MAX, INT32_MAX, bg, fg, 1.0f, 0);
  LICE_BorderedRect(nullptr, 1, 1, 2, 2, bg, fg, 1.0f, 0);
  EXPECT_TRUE(g.guardIntact());
}

TEST(Trapezoid, OneRowUsesTheFirstSpan)
{
  GuardedBitmap bm(20, 10);
  LICE_FillTrapezoid(&bm, 2, 5, 3, 100, 200, 3, kWhite, 1.0f, 0);
  EXPECT_EQ(bm.changedSet(), rowSpans({{3, {2, 5}}}));
  GuardedBitmap b(20, 10);
  LICE_FillTrapezoid(&b, 5, 2, 3, 100, 200, 3, kWhite, 1.0f, 0);
  EXPECT_EQ(b.changedSet(), bm.changedSet());
}

TEST(Trapezoid, EdgesStepByTheirTruncatedSlope)
{
  // Left edge 2 -> 0 over 8 rows (0.25 per row), right edge 4 -> 17 (1.625 per row): row k
  // spans 2 - floor(k / 4) to 4 + floor(1.625 k). The spans may come in either order.
  std::vector<std::pair<int, std::pair<int, int>>> rows;
  for (int k = 0; k <= 8; ++k) rows.push_back({1 + k, {2 - k / 4, 4 + (int)std::floor(1.625 * k)}});
  const std::set<XY> want = rowSpans(rows);
  GuardedBitmap a(24, 12), b(24, 12);
  LICE_FillTrapezoid(&a, 2, 4, 1, 0, 17, 9, kWhite, 1.0f, 0);
  LICE_FillTrapezoid(&b, 17, 0, 9, 4, 2, 1, kWhite, 1.0f, 0);
  EXPECT_EQ(a.changedSet(), want) << dump(a.changedSet());
  EXPECT_EQ(b.changedSet(), want);
}

TEST(Trapezoid, RowsAboveTheBitmapAdvanceBothEdges)
{
  // Left edge from x 0 on row -10 to x 20 on row 10; the right edge lies beyond the last
  // column throughout and becomes that column.
  GuardedBitmap bm(25, 8);
  LICE_FillTrapezoid(&bm, 0, 40, -10, 20, 30, 10, kWhite, 1.0f, 0);
  std::vector<std::pair<int, std::pair<int, int>>> rows;
  for (int y = 0; y < 8; ++y) rows.push_back({y, {10 + y, 24}});
  EXPECT_EQ(bm.changedSet(), rowSpans(rows));
  EXPECT_TRUE(bm.guardIntact());
}

TEST(Trapezoid, ClippedExactlyAtEveryEdge)
{
  struct Case
  {
    int x1a, x1b, y1, x2a, x2b, y2;
    int l, t, r, b; // the expected rectangle, or r < l for nothing
  };
  const Case cases[] = {
      {-9, -1, 0, -7, -2, 9, 0, 0, -1, 0},   // wholly left
      {20, 25, 0, 22, 30, 9, 0, 0, -1, 0},   // wholly right
      {0, 9, -8, 0, 9, -1, 0, 0, -1, 0},     // wholly above
      {0, 9, 10, 0, 9, 18, 0, 0, -1, 0},     // wholly below
      {-5, 30, -4, -5, 30, 30, 0, 0, 19, 9}, // covering everything
      {-5, 4, 2, -5, 4, 6, 0, 2, 4, 6},      // cut at column 0
      {15, 40, 2, 15, 40, 6, 15, 2, 19, 6},  // cut at the last column
      {3, 6, -3, 3, 6, 4, 3, 0, 6, 4},       // cut at row 0
      {3, 6, 7, 3, 6, 99, 3, 7, 6, 9},       // cut at the last row
  };
  for (const Case& c : cases) {
    GuardedBitmap bm(20, 10);
    LICE_FillTrapezoid(&bm, c.x1a, c.x1b, c.y1, c.x2a, c.x2b, c.y2, kWhite, 1.0f, 0);
    std::set<XY> want;
    for (int y = c.t; y <= c.b && c.r >= c.l; ++y)
      for (int x = c.l; x <= c.r; ++x) want.insert({x, y});
    EXPECT_EQ(bm.changedSet(), want) << c.x1a << " " << c.y1;
    EXPECT_TRUE(bm.guardIntact());
  }
}

TEST(Trapezoid, CopyWeightsAndModes)
{
  // Copy at 1 stores the colour's four bytes, also with the source-alpha flag.
  const LICE_pixel c = px(0, 90, 180, 7);
  GuardedBitmap a(6, 6);
  a.clear(kWhite);
  LICE_FillTrapezoid(&a, 1, 4, 1, 0, 5, 4, c, 1.0f, 0x10000);
  EXPECT_EQ(a.at(2, 2), c);
  // At 0.25 whole pixels: (d >> 1) + (d >> 2) + (c >> 2) per byte: 190 where the per-channel
  // rule at 64 would give 191.
  GuardedBitmap b(6, 6);
  b.clear(kWhite);
  LICE_FillTrapezoid(&b, 1, 4, 1, 0, 5, 4, c, 0.25f, 0);
  EXPECT_EQ(b.at(2, 2), refFastCopy(kWhite, c, 64));
  EXPECT_EQ(chR(b.at(2, 2)), 190);

  // Every operation at ordinary weights: each covered pixel follows its rule once.
  for (int op = 0; op <= 5; ++op)
    for (float alpha : {0.3f, 0.5f, 0.5999f, 1.0f}) {
      GuardedBitmap bm(12, 12), where(12, 12);
      fillPattern(bm, 11u + op);
      const std::vector<LICE_pixel> before = bm.snapshot();
      const LICE_pixel col = px(30, 160, 250, 99);
      LICE_FillTrapezoid(&bm, 2, 5, 1, -3, 14, 10, col, alpha, op | 0x10000);
      LICE_FillTrapezoid(&where, 2, 5, 1, -3, 14, 10, kWhite, 1.0f, 0);
      const int w = (int)(alpha * 256);
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
          const LICE_pixel d = before[y * 12 + x];
          LICE_pixel want = d;
          if (where.at(x, y))
            want = op == Copy && isFastWeight(w) ? refFastCopy(d, col, w) : refPlain(d, 30, 160, 250, 99, w, op);
          ASSERT_EQ(bm.at(x, y), want) << "op " << op << " alpha " << alpha << " at " << x << "," << y;
        }
    }
  GuardedBitmap n(8, 8);
  for (int mode : {6, 0xff}) LICE_FillTrapezoid(&n, 0, 7, 0, 0, 7, 7, kWhite, 1.0f, mode);
  LICE_FillTrapezoid(&n, 0, 7, 0, 0, 7, 7, kWhite, 0.001f, 0);
  LICE_FillTrapezoid(&n, 0, 7, 0, 0, 7, 7, kWhite, -0.5f, 0);
  LICE_FillTrapezoid(nullptr, 0, 7, 0, 0, 7, 7, kWhite, 1.0f, 0);
  EXPECT_TRUE(n.changed().empty());
}

TEST(Trapezoid, FlippedIsTheMirrorImage)
{
  GuardedBitmap normal(16, 12), flipped(16, 12, true);
  LICE_FillTrapezoid(&normal, 2, 4, 1, 0, 17, 9, kWhite, 1.0f, 0);
  LICE_FillTrapezoid(&flipped, 2, 4, 11 - 1, 0, 17, 11 - 9, kWhite, 1.0f, 0);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(normal.at(x, y), flipped.at(x, 11 - y));
}

TEST(Polygon, SquareAndTriangleExamples)
{
  GuardedBitmap sq(14, 14);
  fillPoly(&sq, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, kWhite);
  std::set<XY> want;
  for (int y = 0; y <= 10; ++y)
    for (int x = 0; x <= 10; ++x) want.insert({x, y});
  EXPECT_EQ(sq.changedSet(), want);

  GuardedBitmap tri(24, 24);
  LICE_FillTriangle(&tri, 0, 0, 20, 10, 0, 20, kWhite, 1.0f, 0);
  std::vector<std::pair<int, std::pair<int, int>>> rows;
  for (int k = 0; k <= 10; ++k) rows.push_back({k, {0, 2 * k}});
  for (int k = 1; k <= 10; ++k) rows.push_back({10 + k, {0, 20 - 2 * k}});
  EXPECT_EQ(tri.changedSet(), rowSpans(rows)) << dump(tri.changedSet());
}

TEST(Polygon, PointOrderDoesNotMatter)
{
  std::vector<XY> pts = {{3, 1}, {12, 4}, {14, 11}, {6, 15}, {1, 9}};
  GuardedBitmap ref(18, 18);
  fillPoly(&ref, pts, kWhite);
  std::sort(pts.begin(), pts.end());
  do {
    GuardedBitmap bm(18, 18);
    fillPoly(&bm, pts, kWhite);
    ASSERT_EQ(bm.snapshot(), ref.snapshot());
  } while (std::next_permutation(pts.begin(), pts.end()));
}

TEST(Polygon, DegenerateShapes)
{
  // All points on one row: least to greatest x. On one column: least to greatest y.
  GuardedBitmap row(12, 12), col(12, 12), none(12, 12);
  fillPoly(&row, {{5, 4}, {9, 4}, {3, 4}}, kWhite);
  EXPECT_EQ(row.changedSet(), rowSpans({{4, {3, 9}}}));
  fillPoly(&col, {{5, 3}, {5, 9}, {5, 0}}, kWhite);
  std::set<XY> c;
  for (int y = 0; y <= 9; ++y) c.insert({5, y});
  EXPECT_EQ(col.changedSet(), c);
  fillPoly(&none, {{5, -1}, {9, -1}, {3, -1}}, kWhite);
  fillPoly(&none, {{-9, 2}, {-1, 5}, {-4, 9}}, kWhite);
  fillPoly(&none, {{1, 1}, {5, 5}}, kWhite);
  LICE_FillConvexPolygon(&none, nullptr, nullptr, 3, kWhite, 1.0f, 0);
  LICE_FillConvexPolygon(nullptr, nullptr, nullptr, 3, kWhite, 1.0f, 0);
  int xs[3] = {1, 5, 3}, ys[3] = {1, 1, 6};
  LICE_FillConvexPolygon(&none, xs, ys, -4, kWhite, 1.0f, 0);
  EXPECT_TRUE(none.changed().empty());
}

TEST(Polygon, RandomConvexPolygonsCoverTheirInside)
{
  // Row by row, the filled span's ends lie less than two pixels from the exact polygon's: each
  // end is cut once to whole pixels where a trapezoid starts and once more by the edge's
  // fixed-point stepping. Rows outside the polygon's own rows stay empty.
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> coord(-8, 47), count(3, 12);
  for (int iter = 0; iter < 300; ++iter) {
    std::vector<XY> pts;
    for (int i = count(rng); i > 0; --i) pts.push_back({coord(rng), coord(rng)});
    const std::vector<XY> h = hull(pts);
    if (h.size() < 3) continue;
    GuardedBitmap bm(40, 40, iter % 2 == 1);
    fillPoly(&bm, pts, kWhite); // the raw points, interior ones included
    int ymin = 1 << 30, ymax = -(1 << 30);
    for (auto& p : h) ymin = std::min(ymin, p.second), ymax = std::max(ymax, p.second);
    for (int y = 0; y < 40; ++y) {
      double L = 1e9, R = -1e9;
      for (size_t i = 0; i < h.size(); ++i) {
        const XY a = h[i], b = h[(i + 1) % h.size()];
        if (y < std::min(a.second, b.second) || y > std::max(a.second, b.second)) continue;
        const double x = a.second == b.second
                             ? a.first
                             : a.first + (double)(y - a.second) * (b.first - a.first) / (b.second - a.second);
        L = std::min({L, x, a.second == b.second ? (double)b.first : x});
        R = std::max({R, x, a.second == b.second ? (double)b.first : x});
      }
      for (int x = 0; x < 40; ++x) {
        const bool on = bm.at(x, y) != 0;
        if (y < ymin || y > ymax) {
          ASSERT_FALSE(on) << iter << " at " << x << "," << y;
          continue;
        }
        if (x >= L + 2 && x <= R - 2) {
          ASSERT_TRUE(on) << iter << " at " << x << "," << y;
        }
        if (x <= L - 2 || x >= R + 2) {
          ASSERT_FALSE(on) << iter << " at " << x << "," << y;
        }
      }
    }
    ASSERT_TRUE(bm.guardIntact());
  }
}

TEST(Polygon, ManyPointsNeedNoLimit)
{
  // A polygon of 1500 points (a hull listed three times over, shuffled): the same fill as the
  // hull alone.
  std::vector<XY> ring;
  const double step = 3.14159265358979 / 360;
  for (int i = 0; i < 720; ++i)
    ring.push_back({(int)std::lround(60 + 55 * std::cos(i * step)), (int)std::lround(60 + 55 * std::sin(i * step))});
  const std::vector<XY> h = hull(ring);
  std::vector<XY> many;
  while (many.size() < 1500) many.insert(many.end(), h.begin(), h.end());
  std::shuffle(many.begin(), many.end(), std::mt19937(5));
  GuardedBitmap a(120, 120), b(120, 120);
  fillPoly(&a, h, kWhite);
  fillPoly(&b, many, kWhite);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  EXPECT_GT(a.changed().size(), 9000u);
}

TEST(Polygon, FlippedIsTheMirrorImage)
{
  const std::vector<XY> pts = {{3, 1}, {12, 4}, {14, 11}, {6, 15}, {1, 9}};
  GuardedBitmap normal(18, 18), flipped(18, 18, true);
  fillPoly(&normal, pts, kWhite, 0.7f, 1);
  std::vector<XY> mirrored;
  for (auto& p : pts) mirrored.push_back({p.first, 17 - p.second});
  fillPoly(&flipped, mirrored, kWhite, 0.7f, 1);
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 18; ++x) ASSERT_EQ(normal.at(x, y), flipped.at(x, 17 - y));
}
