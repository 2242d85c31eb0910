// Integer lines: which pixels a line sets, with which weights, clipped, mirrored and in every
// combine mode.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace rt;

namespace {

struct Seg
{
  int x1, y1, x2, y2;
};

// Lines that are neither horizontal, vertical nor at 45 degrees, in every direction.
const Seg kGeneral[] = {{0, 0, 5, 2},  {0, 0, 4, 1},  {3, 1, 10, 9},  {10, 2, 1, 6}, {2, 10, 9, 4},  {5, 0, 6, 12},
                        {0, 5, 2, 6},  {1, 1, 13, 8}, {13, 8, 1, 1},  {7, 14, 4, 0}, {0, 13, 14, 0}, {6, 6, 8, 5},
                        {1, 2, 12, 4}, {9, 0, 0, 11}, {0, 0, 14, 13}, {2, 3, 4, 14}};

// Walks a general line from both ends: at distance k the minor coordinate has moved
// floor(k x slope) pixels (slope in 1/65536 pixel, truncated) plus, for the plain line, half a
// pixel of rounding. Calls f(x, y, k, side) for each end's pixel (side 0 from the start, 1 from
// the end) with the major step k = 0 .. (da + 1) / 2 - 1, and once more from the start for the
// middle of an even extent.
struct GeneralLine
{
  int sx, sy, ex, ey, da, derr, sign, n;
  bool xmajor;
  explicit GeneralLine(const Seg& s)
  {
    const int adx = std::abs(s.x2 - s.x1), ady = std::abs(s.y2 - s.y1);
    xmajor = adx > ady;
    const bool firstStarts = xmajor ? s.x1 < s.x2 : s.y1 < s.y2;
    sx = firstStarts ? s.x1 : s.x2, sy = firstStarts ? s.y1 : s.y2;
    ex = firstStarts ? s.x2 : s.x1, ey = firstStarts ? s.y2 : s.y1;
    da = xmajor ? adx : ady;
    derr = (int)((int64_t)(xmajor ? ady : adx) * 65536 / da);
    sign = xmajor ? (ey > sy ? 1 : -1) : (ex > sx ? 1 : -1);
    n = (da + 1) / 2;
  }
  // The pixel at major distance k from one end with the minor coordinate moved by m toward the
  // other end.
  XY at(int side, int k, int m) const
  {
    if (xmajor) return side ? XY{ex - k, ey - sign * m} : XY{sx + k, sy + sign * m};
    return side ? XY{ex - sign * m, ey - k} : XY{sx + sign * m, sy + k};
  }
};

std::set<XY> expectedPlain(const Seg& s)
{
  const GeneralLine L(s);
  std::set<XY> out;
  auto moved = [&](int k) { return (int)(((int64_t)k * L.derr + 32768) >> 16); };
  for (int k = 0; k < L.n; ++k) {
    out.insert(L.at(0, k, moved(k)));
    out.insert(L.at(1, k, moved(k)));
  }
  if (L.da % 2 == 0) out.insert(L.at(0, L.n, moved(L.n)));
  return out;
}

// Weights of the anti-aliased line at ia 256 read as white copied on black: the ends 255, then
// per column 255 - f on the pixel at the whole part of the offset and f on the next one.
std::map<XY, int> expectedAA(const Seg& s)
{
  const GeneralLine L(s);
  std::map<XY, int> out;
  out[{L.sx, L.sy}] = 255;
  out[{L.ex, L.ey}] = 255;
  auto column = [&](int side, int k) {
    const int64_t total = (int64_t)k * L.derr;
    const int m = (int)(total >> 16), f = (int)((total & 0xffff) >> 8);
    if (255 - f) out[L.at(side, k, m)] = 255 - f;
    if (f) out[L.at(side, k, m + 1)] = f;
  };
  for (int k = 1; k < L.n; ++k) column(0, k), column(1, k);
  if (L.da % 2 == 0) column(0, L.n);
  return out;
}

} // namespace

TEST(LineShape, EqualEndPointsDrawOnePixel)
{
  for (bool aa : {false, true}) {
    GuardedBitmap bm(8, 8);
    LICE_Line(&bm, 3, 4, 3, 4, kWhite, 1.0f, 0, aa);
    EXPECT_EQ(bm.changedSet(), (std::set<XY>{{3, 4}}));
  }
}

TEST(LineShape, ShallowLineExample)
{
  GuardedBitmap bm(8, 8);
  LICE_Line(&bm, 0, 0, 5, 2, kWhite, 1.0f, 0, false);
  EXPECT_EQ(bm.changedSet(), (std::set<XY>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
}

TEST(LineShape, PlainLinesRoundTheMinorCoordinateFromBothEnds)
{
  for (const Seg& s : kGeneral) {
    GuardedBitmap bm(16, 16);
    LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, false);
    const std::set<XY> want = expectedPlain(s);
    EXPECT_EQ(bm.changedSet(), want) << s.x1 << "," << s.y1 << " - " << s.x2 << "," << s.y2;
    // One pixel per major coordinate.
    EXPECT_EQ((int)want.size(), GeneralLine(s).da + 1);
    EXPECT_TRUE(bm.guardIntact());
  }
}

TEST(LineShape, AntiAliasedExampleWeights)
{
  GuardedBitmap bm(8, 8);
  LICE_Line(&bm, 0, 0, 4, 1, kWhite, 1.0f, 0, true);
  const std::map<XY, int> want = {{{0, 0}, 255}, {{4, 1}, 255}, {{1, 0}, 191}, {{3, 1}, 191},
                                  {{1, 1}, 64},  {{3, 0}, 64},  {{2, 0}, 127}, {{2, 1}, 128}};
  EXPECT_EQ(bm.reds(), want) << dump(bm.reds());
  // The ends take the colour whole, its alpha byte included.
  EXPECT_EQ(bm.at(0, 0), kWhite);
}

TEST(LineShape, AntiAliasedLinesSplitEachColumnBetweenTwoPixels)
{
  for (const Seg& s : kGeneral) {
    GuardedBitmap bm(16, 16);
    LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, true);
    EXPECT_EQ(bm.reds(), expectedAA(s)) << s.x1 << "," << s.y1 << " - " << s.x2 << "," << s.y2 << ": "
                                        << dump(bm.reds());
  }
}

TEST(LineShape, EndPointsTakeTheWholeWeightAtPartialAlpha)
{
  // ia 128: each end is copied at 128, the inner columns at ((255 - f) x 128) >> 8 and
  // (f x 128) >> 8.
  GuardedBitmap bm(8, 8);
  LICE_Line(&bm, 0, 0, 4, 1, kWhite, 0.5f, 0, true);
  const std::map<XY, int> want = {{{0, 0}, 128}, {{4, 1}, 128}, {{1, 0}, 95}, {{3, 1}, 95},
                                  {{1, 1}, 32},  {{3, 0}, 32},  {{2, 0}, 63}, {{2, 1}, 64}};
  EXPECT_EQ(bm.reds(), want) << dump(bm.reds());
}

TEST(LineShape, SwappingTheEndsChangesNothing)
{
  for (const Seg& s : kGeneral)
    for (bool aa : {false, true}) {
      GuardedBitmap a(16, 16), b(16, 16);
      LICE_Line(&a, s.x1, s.y1, s.x2, s.y2, kWhite, 0.7f, 0, aa);
      LICE_Line(&b, s.x2, s.y2, s.x1, s.y1, kWhite, 0.7f, 0, aa);
      EXPECT_EQ(a.snapshot(), b.snapshot());
    }
  const Seg diag[] = {{1, 1, 9, 9}, {9, 1, 1, 9}, {2, 12, 12, 2}};
  for (const Seg& s : diag)
    for (bool aa : {false, true}) {
      GuardedBitmap a(16, 16), b(16, 16);
      LICE_Line(&a, s.x1, s.y1, s.x2, s.y2, kWhite, 0.7f, 0, aa);
      LICE_Line(&b, s.x2, s.y2, s.x1, s.y1, kWhite, 0.7f, 0, aa);
      EXPECT_EQ(a.snapshot(), b.snapshot());
    }
}

TEST(LineShape, DiagonalLines)
{
  // Plain: n + 1 pixels. Anti-aliased at alpha 1: the line pixels and the two pixels beside each
  // step by whole-pixel mixes (0.75 and 0.25, each quarter truncated): 190 and 63 over black.
  GuardedBitmap plain(10, 10), aa(10, 10);
  LICE_Line(&plain, 1, 8, 5, 4, kWhite, 1.0f, 0, false);
  LICE_Line(&aa, 1, 8, 5, 4, kWhite, 1.0f, 0, true);
  std::set<XY> line;
  for (int k = 0; k <= 4; ++k) line.insert({1 + k, 8 - k});
  EXPECT_EQ(plain.changedSet(), line);
  std::map<XY, int> want;
  for (int k = 0; k <= 4; ++k) want[{1 + k, 8 - k}] = 190;
  for (int k = 0; k < 4; ++k) want[{2 + k, 8 - k}] = 63, want[{1 + k, 7 - k}] = 63;
  EXPECT_EQ(aa.reds(), want) << dump(aa.reds());
  EXPECT_EQ(aa.at(3, 6), px(190, 190, 190, 190));

  // Other weights: three quarters and a quarter of ia, per channel.
  GuardedBitmap aa2(10, 10);
  LICE_Line(&aa2, 1, 8, 5, 4, kWhite, 0.9f, 0, true); // ia 230: 172 and 57
  for (auto& kv : want) kv.second = kv.second == 190 ? 172 : 57;
  EXPECT_EQ(aa2.reds(), want) << dump(aa2.reds());
}

TEST(LineShape, HorizontalAndVerticalIgnoreAntiAliasing)
{
  const Seg segs[] = {{1, 3, 8, 3}, {8, 3, 1, 3}, {4, 0, 4, 9}, {4, 9, 4, 2}};
  for (const Seg& s : segs) {
    GuardedBitmap a(10, 10), b(10, 10);
    LICE_Line(&a, s.x1, s.y1, s.x2, s.y2, kWhite, 0.6f, 0, false);
    LICE_Line(&b, s.x1, s.y1, s.x2, s.y2, kWhite, 0.6f, 0, true);
    EXPECT_EQ(a.snapshot(), b.snapshot());
    EXPECT_EQ((int)a.changedSet().size(), std::abs(s.x2 - s.x1) + std::abs(s.y2 - s.y1) + 1);
  }
}

TEST(LineClip, ClippedToTheBitmap)
{
  GuardedBitmap bm(10, 10);
  LICE_Line(&bm, -10, 5, 20, 5, kWhite, 1.0f, 0, false);
  std::set<XY> row;
  for (int x = 0; x < 10; ++x) row.insert({x, 5});
  EXPECT_EQ(bm.changedSet(), row);
  EXPECT_TRUE(bm.guardIntact());

  // (0, 0)-(10, 20) on 100 x 10 becomes (0, 0)-(5, 9): the crossing is computed on row 10.
  GuardedBitmap wide(100, 10), ref(100, 10);
  LICE_Line(&wide, 0, 0, 10, 20, kWhite, 1.0f, 0, false);
  LICE_Line(&ref, 0, 0, 5, 9, kWhite, 1.0f, 0, false);
  EXPECT_EQ(wide.snapshot(), ref.snapshot());
  EXPECT_TRUE(wide.guardIntact());
}

TEST(LineClip, LinesOutsideDrawNothing)
{
  const Seg outside[] = {{-5, -5, -1, 20}, {10, 0, 30, 9}, {0, -3, 9, -1}, {0, 10, 9, 40}, {-20, 5, 5, -20}};
  for (const Seg& s : outside)
    for (bool aa : {false, true}) {
      GuardedBitmap bm(10, 10);
      LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, aa);
      EXPECT_TRUE(bm.changed().empty()) << s.x1 << "," << s.y1;
      EXPECT_TRUE(bm.guardIntact());
    }
  LICE_Line(nullptr, 0, 0, 5, 5, kWhite, 1.0f, 0, true);
  LICE_MemBitmap empty;
  LICE_Line(&empty, 0, 0, 5, 5, kWhite, 1.0f, 0, true);
}

TEST(LineClip, PublicClipper)
{
  struct Case
  {
    Seg in;
    int xLo, yLo, xHi, yHi;
    bool ok;
    Seg out;
  };
  const Case cases[] = {
      {{-10, 5, 20, 5}, 0, 0, 10, 10, true, {0, 5, 9, 5}},
      {{0, 0, 10, 20}, 0, 0, 100, 10, true, {0, 0, 5, 9}},
      // The same with the rectangle moved: points are shifted to its corner and back.
      {{100, 100, 110, 120}, 100, 100, 200, 110, true, {100, 100, 105, 109}},
      {{3, 3, 6, 6}, 0, 0, 10, 10, true, {3, 3, 6, 6}},
      // Both beyond the right edge: nothing left, points unchanged.
      {{12, 1, 15, 8}, 0, 0, 10, 10, false, {12, 1, 15, 8}},
      // Crossing the corner region outside: the first point is moved before the rejection.
      {{-4, 6, 6, 16}, 0, 0, 10, 10, false, {0, 10, 6, 16}},
  };
  for (const Case& c : cases) {
    Seg s = c.in;
    EXPECT_EQ(LICE_ClipLine(&s.x1, &s.y1, &s.x2, &s.y2, c.xLo, c.yLo, c.xHi, c.yHi), c.ok);
    EXPECT_EQ(s.x1, c.out.x1);
    EXPECT_EQ(s.y1, c.out.y1);
    EXPECT_EQ(s.x2, c.out.x2);
    EXPECT_EQ(s.y2, c.out.y2);
  }
  // Extreme coordinates neither overflow nor leave the rectangle.
  int a = INT32_MIN, b = INT32_MIN, c = INT32_MAX, d = INT32_MAX;
  ASSERT_TRUE(LICE_ClipLine(&a, &b, &c, &d, -100, -100, 100, 100));
  EXPECT_TRUE(a >= -100 && a < 100 && b >= -100 && b < 100 && c >= -100 && c < 100 && d >= -100 && d < 100);
  a = 5, b = 5, c = 7, d = 7;
  EXPECT_FALSE(LICE_ClipLine(&a, &b, &c, &d, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN));
}

TEST(LineFlipped, CallerRowZeroIsTheLastMemoryRow)
{
  GuardedBitmap bm(6, 5, true);
  LICE_Line(&bm, 0, 0, 3, 0, kWhite, 1.0f, 0, false);
  for (int x = 0; x <= 3; ++x) EXPECT_EQ(bm.getBits()[4 * bm.getRowSpan() + x], kWhite);
  EXPECT_TRUE(bm.guardIntact());
}

TEST(LineFlipped, EveryShapeIsTheMirrorImage)
{
  const Seg segs[] = {{0, 0, 5, 2}, {3, 1, 10, 9}, {1, 1, 9, 9}, {2, 4, 12, 4}, {7, 0, 7, 13}, {9, 0, 0, 11}};
  for (const Seg& s : segs)
    for (bool aa : {false, true}) {
      GuardedBitmap normal(14, 14), flipped(14, 14, true);
      LICE_Line(&normal, s.x1, s.y1, s.x2, s.y2, kWhite, 0.8f, 1, aa);
      LICE_Line(&flipped, s.x1, 13 - s.y1, s.x2, 13 - s.y2, kWhite, 0.8f, 1, aa);
      for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 14; ++x) ASSERT_EQ(normal.at(x, y), flipped.at(x, 13 - y)) << x << "," << y;
    }
}

TEST(LineModes, EveryOperationCombinesEachPixelByItsRule)
{
  const LICE_pixel colour = px(200, 90, 30, 140);
  const Seg segs[] = {{1, 3, 12, 3}, {4, 0, 4, 13}, {1, 1, 11, 11}, {0, 0, 13, 5}, {3, 13, 9, 0}};
  for (int op = 0; op <= 5; ++op)
    for (float alpha : {0.3f, 0.6f, 0.9f, 0.502f})
      for (const Seg& s : segs) {
        GuardedBitmap bm(14, 14), where(14, 14);
        fillPattern(bm, 7u + op);
        const std::vector<LICE_pixel> before = bm.snapshot();
        LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, colour, alpha, op, false);
        LICE_Line(&where, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, false);
        const int w = (int)(alpha * 256);
        for (int y = 0; y < 14; ++y)
          for (int x = 0; x < 14; ++x) {
            const LICE_pixel d = before[y * 14 + x];
            LICE_pixel want = d;
            if (where.at(x, y)) {
              if (op == Copy && w == 128)
                want = px((chR(d) + 200) >> 1, (chG(d) + 90) >> 1, (chB(d) + 30) >> 1, (chA(d) + 140) >> 1);
              else
                want = refPlain(d, 200, 90, 30, 140, w, op);
            }
            ASSERT_EQ(bm.at(x, y), want) << "op " << op << " alpha " << alpha << " at " << x << "," << y;
          }
      }
}

TEST(LineModes, CopyFastWeightsOnWholePixels)
{
  // Horizontal and vertical lines at alpha exactly 1, 0.5, 0.25 and 0.75 mix whole pixels:
  // every byte of the destination and the colour halved or quartered and truncated.
  const LICE_pixel colour = px(201, 77, 13, 255);
  for (float alpha : {1.0f, 0.5f, 0.25f, 0.75f})
    for (const Seg& s : {Seg{0, 2, 9, 2}, Seg{3, 0, 3, 9}}) {
      GuardedBitmap bm(10, 10);
      fillPattern(bm, 99u);
      const std::vector<LICE_pixel> before = bm.snapshot();
      LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, colour, alpha, 0, false);
      for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
          const bool on = s.y1 == s.y2 ? y == s.y1 : x == s.x1;
          const LICE_pixel d = before[y * 10 + x];
          ASSERT_EQ(bm.at(x, y), on ? refFastCopy(d, colour, (int)(alpha * 256)) : d);
        }
    }
  // Halves of whole pixels drop the low bits: 1 over 1 at alpha 0.5 gives 0; at 0.502 the
  // per-byte average (ia 128) gives 1.
  GuardedBitmap a(4, 1), b(4, 1);
  a.clear(0x01010101), b.clear(0x01010101);
  LICE_Line(&a, 0, 0, 3, 0, 0x01010101, 0.5f, 0, false);
  LICE_Line(&b, 0, 0, 3, 0, 0x01010101, 0.502f, 0, false);
  EXPECT_EQ(a.at(2, 0), 0u);
  EXPECT_EQ(b.at(2, 0), 0x01010101u);
}

TEST(LineModes, WeightEdgesAndIgnoredBits)
{
  const Seg s = {0, 0, 9, 4};
  auto draw = [&](float alpha, int mode, bool aa) {
    GuardedBitmap bm(10, 10);
    fillPattern(bm, 3u);
    LICE_Line(&bm, s.x1, s.y1, s.x2, s.y2, px(10, 200, 30, 40), alpha, mode, aa);
    return bm.snapshot();
  };
  GuardedBitmap blank(10, 10);
  fillPattern(blank, 3u);
  for (bool aa : {false, true}) {
    EXPECT_EQ(draw(0.7f, 0x10000, aa), draw(0.7f, 0, aa)); // source alpha ignored
    EXPECT_EQ(draw(0.7f, 0x10003, aa), draw(0.7f, 3, aa)); // high bits ignored
    EXPECT_EQ(draw(0.7f, 0x0200, aa), draw(0.7f, 0, aa));  // filter bits ignored
    for (int op : {6, 7, 0x80, 0xff}) EXPECT_EQ(draw(1.0f, op, aa), blank.snapshot());
    EXPECT_EQ(draw(0.003f, 0, aa), blank.snapshot()); // ia 0
    EXPECT_EQ(draw(-0.5f, 0, aa), blank.snapshot());  // negative copy
    EXPECT_NE(draw(-0.5f, 1, aa), blank.snapshot());  // add passes the negative weight on
  }
  // Add at a negative weight subtracts: 200 + trunc(100 x -128 / 256) = 150.
  GuardedBitmap bm(5, 1);
  bm.clear(px(200, 200, 200, 200));
  LICE_Line(&bm, 0, 0, 4, 0, px(100, 100, 100, 100), -0.5f, 1, false);
  EXPECT_EQ(bm.at(3, 0), px(150, 150, 150, 150));
  // Just above 1: ia 256 stores the colour (horizontal) or clobbers it (general line).
  GuardedBitmap c(10, 10);
  LICE_Line(&c, 0, 0, 9, 4, px(1, 2, 3, 4), 1.001f, 0, false);
  LICE_Line(&c, 0, 9, 9, 9, px(5, 6, 7, 8), 1.001f, 0, false);
  EXPECT_EQ(c.at(0, 0), px(1, 2, 3, 4));
  EXPECT_EQ(c.at(9, 4), px(1, 2, 3, 4));
  EXPECT_EQ(c.at(5, 9), px(5, 6, 7, 8));
}
