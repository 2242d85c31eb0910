// Filled shapes combine each covered pixel once: drawn in add mode at a small weight on black,
// no pixel may hold more than one weight's worth, inside the bitmap or cut by its edges, flipped
// or not. The outlines that by design combine a few pixels twice are pinned down as well.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace rt;

namespace {

// Add mode at alpha 0.125 (weight 32): one whole combine puts trunc(255 x 32 / 256) = 31 into
// every channel; two put 62.
const float kAlpha = 0.125f;
const int kOnce = 31;

struct Shape
{
  const char* name;
  bool plain; // every pixel at the whole weight (no anti-aliased edge)
  std::function<void(LICE_IBitmap*, int dx, int dy)> draw;
};

void poly(LICE_IBitmap* bm, std::vector<XY> pts, int dx, int dy)
{
  std::vector<int> xs, ys;
  for (auto& p : pts) xs.push_back(p.first + dx), ys.push_back(p.second + dy);
  LICE_FillConvexPolygon(bm, xs.data(), ys.data(), (int)xs.size(), kWhite, kAlpha, LICE_BLIT_MODE_ADD);
}

const Shape kFilled[] = {
    {"square", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       poly(b, {{3, 3}, {20, 3}, {20, 20}, {3, 20}}, dx, dy);
     }},
    {"triangle", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillTriangle(b, 2 + dx, 1 + dy, 27 + dx, 9 + dy, 8 + dx, 26 + dy, kWhite, kAlpha, LICE_BLIT_MODE_ADD);
     }},
    {"flat-topped triangle", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillTriangle(b, 1 + dx, 4 + dy, 25 + dx, 4 + dy, 13 + dx, 27 + dy, kWhite, kAlpha, LICE_BLIT_MODE_ADD);
     }},
    {"pentagon", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       poly(b, {{12, 1}, {26, 10}, {21, 27}, {4, 25}, {1, 9}}, dx, dy);
     }},
    {"octagon", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       poly(b, {{9, 1}, {19, 1}, {27, 9}, {27, 19}, {19, 27}, {9, 27}, {1, 19}, {1, 9}}, dx, dy);
     }},
    {"thin sliver", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       poly(b, {{1, 1}, {28, 6}, {27, 8}}, dx, dy);
     }},
    {"trapezoid", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillTrapezoid(b, 8 + dx, 14 + dx, 2 + dy, 1 + dx, 27 + dx, 25 + dy, kWhite, kAlpha, LICE_BLIT_MODE_ADD);
     }},
    {"leaning trapezoid", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillTrapezoid(b, 20 + dx, 27 + dx, 1 + dy, 0 + dx, 4 + dx, 27 + dy, kWhite, kAlpha, LICE_BLIT_MODE_ADD);
     }},
    {"plain disc", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillCircle(b, 14.3f + dx, 13.8f + dy, 11.6f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false);
     }},
    {"small plain disc", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillCircle(b, 5.0f + dx, 5.0f + dy, 2.0f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false);
     }},
    {"anti-aliased disc", false,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillCircle(b, 14.3f + dx, 13.8f + dy, 11.6f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, true);
     }},
    {"small anti-aliased disc", false,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillCircle(b, 5.6f + dx, 5.2f + dy, 3.45f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, true);
     }},
    {"bordered rectangle inside", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillRect(b, 3 + dx, 4 + dy, 20, 15, kWhite, kAlpha, LICE_BLIT_MODE_ADD); // its interior fill
     }},
    {"cubic fill toward a row", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_FillCBezier(b, 1.0f + dx, 8.0f + dy, 9.0f + dx, 1.0f + dy, 18.0f + dx, 12.0f + dy, 27.0f + dx, 5.0f + dy,
                        24 + dy, kWhite, kAlpha, LICE_BLIT_MODE_ADD, 1.0f);
     }},
    {"plain arc within a quarter", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_Arc(b, 14.0f + dx, 14.0f + dy, 11.0f, 0.1f, 1.4f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false);
     }},
    {"plain circle", true,
     [](LICE_IBitmap* b, int dx, int dy) {
       LICE_Circle(b, 14.0f + dx, 14.0f + dy, 11.3f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false);
     }},
};

// Offsets that put the shapes (about 28 x 28) inside, across each edge and across the corners
// of a 30 x 30 bitmap.
const XY kOffsets[] = {{0, 0}, {-12, 0}, {13, 0}, {0, -12}, {0, 13}, {-9, -9}, {11, 12}, {14, -13}, {-40, 0}};

} // namespace

TEST(DrawOnce, FilledShapesCombineEachPixelOnce)
{
  for (const Shape& s : kFilled)
    for (const XY& off : kOffsets)
      for (bool flipped : {false, true}) {
        GuardedBitmap bm(30, 30, flipped);
        s.draw(&bm, off.first, off.second);
        const std::map<XY, int> reds = bm.reds();
        for (auto& kv : reds) {
          if (s.plain)
            ASSERT_EQ(kv.second, kOnce) << s.name << " offset " << off.first << "," << off.second << " flipped "
                                        << flipped << " at " << kv.first.first << "," << kv.first.second;
          else
            ASSERT_LE(kv.second, kOnce) << s.name << " offset " << off.first << "," << off.second << " at "
                                        << kv.first.first << "," << kv.first.second;
        }
        ASSERT_TRUE(bm.guardIntact()) << s.name;
      }
}

TEST(DrawOnce, ShapesDrawnInsideCoverWhatTheyShould)
{
  // Sanity for the test above: each shape drawn at offset 0 covers a plausible area.
  for (const Shape& s : kFilled) {
    GuardedBitmap bm(30, 30);
    s.draw(&bm, 0, 0);
    EXPECT_GT(bm.changed().size(), 10u) << s.name;
  }
}

namespace {

// Pixels combined twice (holding 62) by an outline drawn in add mode.
std::set<XY> twice(const std::function<void(LICE_IBitmap*)>& draw)
{
  GuardedBitmap bm(40, 40);
  draw(&bm);
  std::set<XY> s;
  for (auto& kv : bm.reds()) {
    EXPECT_LE(kv.second, 2 * kOnce);
    if (kv.second > kOnce) s.insert(kv.first);
  }
  return s;
}

bool near(const XY& p, double x, double y, double d)
{
  return std::hypot(p.first - x, p.second - y) <= d;
}

} // namespace

TEST(DrawOnce, ArcsRepeatThePixelsWhereTwoQuartersMeet)
{
  // An arc is the circle clipped to the box of each quarter it spans; neighbouring boxes share
  // the pixels around the point where the quarters meet, and those are combined twice.
  const std::set<XY> half = twice([](LICE_IBitmap* b) {
    LICE_Arc(b, 20, 20, 12, 0.3f, 3.0f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false); // crosses 3 o'clock
  });
  EXPECT_FALSE(half.empty());
  for (const XY& p : half) EXPECT_TRUE(near(p, 32, 20, 2.5)) << p.first << "," << p.second;
  const std::set<XY> whole = twice([](LICE_IBitmap* b) {
    LICE_Arc(b, 20, 20, 12, -3.0f, 3.0f, kWhite, kAlpha, LICE_BLIT_MODE_ADD, false); // 3, 9 and 12 o'clock
  });
  for (const XY& p : whole)
    EXPECT_TRUE(near(p, 32, 20, 2.5) || near(p, 8, 20, 2.5) || near(p, 20, 8, 2.5)) << p.first << "," << p.second;
}

TEST(DrawOnce, RoundedRectanglesRepeatTheJoinsOfSidesAndCorners)
{
  // Each side ends on the pixel where its corner arc begins: the joins are combined twice, and
  // nothing else is.
  for (bool aa : {false, true}) {
    const std::set<XY> t =
        twice([aa](LICE_IBitmap* b) { LICE_RoundRect(b, 4, 5, 30, 26, 7, kWhite, kAlpha, LICE_BLIT_MODE_ADD, aa); });
    EXPECT_FALSE(t.empty());
    const double joins[8][2] = {{11, 5}, {27, 5}, {11, 31}, {27, 31}, {4, 12}, {4, 24}, {34, 12}, {34, 24}};
    for (const XY& p : t) {
      bool ok = false;
      for (auto& j : joins) ok = ok || near(p, j[0], j[1], 2.5);
      // The anti-aliased corners also repeat pixels on their own diagonals.
      if (aa)
        ok = ok || near(p, 11 - 7 / std::sqrt(2.0), 12 - 7 / std::sqrt(2.0), 2.5) ||
             near(p, 27 + 7 / std::sqrt(2.0), 12 - 7 / std::sqrt(2.0), 2.5) ||
             near(p, 27 + 7 / std::sqrt(2.0), 24 + 7 / std::sqrt(2.0), 2.5) ||
             near(p, 11 - 7 / std::sqrt(2.0), 24 + 7 / std::sqrt(2.0), 2.5);
      EXPECT_TRUE(ok) << aa << ": " << p.first << "," << p.second;
    }
  }
}

TEST(DrawOnce, RectangleOutlinesRepeatTheirCorners)
{
  const std::set<XY> t =
      twice([](LICE_IBitmap* b) { LICE_DrawRect(b, 3, 4, 20, 15, kWhite, kAlpha, LICE_BLIT_MODE_ADD); });
  EXPECT_EQ(t, (std::set<XY>{{3, 4}, {23, 4}, {3, 19}, {23, 19}}));
}

TEST(DrawOnce, CubicFillsRepeatTheirStepSeams)
{
  // Toward a column, a step spanning several rows fills one row past its chord and the next
  // step starts on that row: those rows are combined twice. Toward a row, a chord crossing the
  // base row is filled as two triangles that share the crossing column.
  GuardedBitmap col(40, 40);
  LICE_FillCBezierX(&col, 5, 1, 12, 12, 3, 25, 9, 36, 20, kWhite, kAlpha, LICE_BLIT_MODE_ADD, 4.0f);
  int doubled = 0;
  for (auto& kv : col.reds()) {
    EXPECT_LE(kv.second, 2 * kOnce);
    doubled += kv.second > kOnce;
  }
  EXPECT_GT(doubled, 0);
  GuardedBitmap row(40, 40);
  LICE_FillCBezier(&row, 1, 5, 12, 5, 20, 34, 38, 34, 20, kWhite, kAlpha, LICE_BLIT_MODE_ADD, 4.0f);
  std::set<int> doubledColumns;
  for (auto& kv : row.reds()) {
    EXPECT_LE(kv.second, 2 * kOnce);
    if (kv.second > kOnce) doubledColumns.insert(kv.first.first);
  }
  EXPECT_LE(doubledColumns.size(), 1u);
}
