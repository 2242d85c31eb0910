// Lines between sub-pixel end points, dashed lines and the float clipper.
#include "draw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace rt;

namespace {

struct FSeg
{
  float x1, y1, x2, y2;
};

// Weights of an anti-aliased float line whose minor coordinate m at each whole major position
// is exact in 1/256 pixel: the pixel floor(m) gets 255 - 256 frac(m), the next one 256 frac(m).
std::map<XY, int> exactWeights(const FSeg& s)
{
  const bool xmajor = std::fabs(s.x2 - s.x1) > std::fabs(s.y2 - s.y1);
  double a0 = xmajor ? s.x1 : s.y1, a1 = xmajor ? s.x2 : s.y2, m0 = xmajor ? s.y1 : s.x1, m1 = xmajor ? s.y2 : s.x2;
  if (a1 < a0) std::swap(a0, a1), std::swap(m0, m1);
  std::map<XY, int> out;
  for (int a = (int)std::ceil(a0); a <= (int)std::floor(a1); ++a) {
    const double m = m0 + (a - a0) * (m1 - m0) / (a1 - a0);
    const int base = (int)std::floor(m), g = (int)((m - base) * 256);
    auto put = [&](int minor, int w) {
      if (w) out[xmajor ? XY{a, minor} : XY{minor, a}] = w;
    };
    put(base, 255 - g);
    put(base + 1, g);
  }
  return out;
}

} // namespace

TEST(FLine, WithoutAntiAliasingIsTheIntegerLineOfTruncatedPoints)
{
  const FSeg segs[] = {{-0.5f, 2.7f, 8.9f, 5.2f}, {3.99f, 0.2f, 3.01f, 9.9f}, {-3.7f, -1.2f, 20.5f, 7.9f}};
  for (const FSeg& s : segs) {
    GuardedBitmap a(12, 12), b(12, 12);
    LICE_FLine(&a, s.x1, s.y1, s.x2, s.y2, kWhite, 0.8f, 0, false);
    LICE_Line(&b, (int)s.x1, (int)s.y1, (int)s.x2, (int)s.y2, kWhite, 0.8f, 0, false);
    EXPECT_EQ(a.snapshot(), b.snapshot());
  }
}

TEST(FLine, AntiAliasedWeightsFollowTheExactLine)
{
  const FSeg segs[] = {{1, 2.25f, 9, 4.25f}, {9, 4.25f, 1, 2.25f}, {1, 4.25f, 9, 2.25f}, {2.5f, 1, 4.5f, 9},
                       {4.5f, 1, 2.5f, 9},   {0.5f, 3, 12.5f, 6},  {1, 5, 11, 5}};
  for (const FSeg& s : segs) {
    GuardedBitmap bm(16, 16);
    LICE_FLine(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, true);
    EXPECT_EQ(bm.reds(), exactWeights(s))
        << s.x1 << "," << s.y1 << " - " << s.x2 << "," << s.y2 << ": " << dump(bm.reds());
    EXPECT_TRUE(bm.guardIntact());
  }
}

TEST(FLine, EachStepCentresItsCoverageOnTheLine)
{
  // Random lines inside the bitmap: every major position touches two neighbouring pixels whose
  // weights add up to 255 and whose weighted centre lies within 0.01 pixel of the exact line.
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> pos(0.0f, 38.5f);
  for (int iter = 0; iter < 300; ++iter) {
    const FSeg s{pos(rng), pos(rng), pos(rng), pos(rng)};
    GuardedBitmap bm(40, 40);
    LICE_FLine(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, true);
    const bool xmajor = std::fabs(s.x2 - s.x1) > std::fabs(s.y2 - s.y1);
    double a0 = xmajor ? s.x1 : s.y1, a1 = xmajor ? s.x2 : s.y2, m0 = xmajor ? s.y1 : s.x1, m1 = xmajor ? s.y2 : s.x2;
    if (a1 < a0) std::swap(a0, a1), std::swap(m0, m1);
    std::map<int, std::vector<std::pair<int, int>>> byMajor; // major -> (minor, weight)
    for (auto& kv : bm.reds()) {
      const int major = xmajor ? kv.first.first : kv.first.second, minor = xmajor ? kv.first.second : kv.first.first;
      byMajor[major].push_back({minor, kv.second});
    }
    int positions = 0;
    for (int a = (int)std::ceil(a0); a <= (int)std::floor(a1); ++a, ++positions) {
      auto& v = byMajor[a];
      ASSERT_TRUE(v.size() == 1 || v.size() == 2) << iter;
      int sum = 0;
      double centre = 0;
      for (auto& mw : v) sum += mw.second, centre += (double)mw.first * mw.second;
      if (v.size() == 2) {
        ASSERT_EQ(std::abs(v[0].first - v[1].first), 1);
      }
      ASSERT_EQ(sum, 255);
      const double exact = m0 + (a - a0) * (m1 - m0) / (a1 - a0);
      EXPECT_NEAR(centre / sum, exact, 0.015) << iter << " at " << a;
    }
    EXPECT_EQ((int)byMajor.size(), positions) << iter; // nothing outside the major range
  }
}

TEST(FLine, ExamplesOfTheMajorRange)
{
  // (2.5, 3)-(2.7, 9): y major, rows 3 to 9: seven steps.
  GuardedBitmap a(12, 12);
  LICE_FLine(&a, 2.5f, 3, 2.7f, 9, kWhite, 1.0f, 0, true);
  std::set<int> rows;
  for (auto& p : a.changedSet()) rows.insert(p.second);
  EXPECT_EQ(rows, (std::set<int>{3, 4, 5, 6, 7, 8, 9}));
  // (2.2, 3.5)-(2.8, 3.5): x major, ceil 3 is past floor 2: nothing.
  GuardedBitmap b(12, 12);
  LICE_FLine(&b, 2.2f, 3.5f, 2.8f, 3.5f, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(b.changed().empty());
  // A level line on row 4: 255 x ia >> 8 on row 4, and row 5 untouched.
  GuardedBitmap c(12, 12);
  LICE_FLine(&c, 1, 4, 9, 4, kWhite, 0.5f, 0, true);
  for (int x = 1; x <= 9; ++x) EXPECT_EQ(chR(c.at(x, 4)), 127);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(c.at(x, 5), 0u);
  // Degenerate: both points equal.
  GuardedBitmap d(12, 12);
  LICE_FLine(&d, 3.3f, 3.3f, 3.3f, 3.3f, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(d.changed().empty());
}

TEST(FLine, ClippingKeepsAPixelOffTheFarEdges)
{
  // On the last column: rejected.
  GuardedBitmap a(10, 10);
  LICE_FLine(&a, 9, 1, 9, 8, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(a.changed().empty());
  // Running off to the right: the clipped end sits on column 8, so column 9 stays empty.
  GuardedBitmap b(10, 10);
  LICE_FLine(&b, 0, 3, 50, 3, kWhite, 1.0f, 0, true);
  std::set<XY> want;
  for (int x = 0; x <= 8; ++x) want.insert({x, 3});
  EXPECT_EQ(b.changedSet(), want);
  // Wholly outside and crossing corners: nothing lands outside.
  const FSeg segs[] = {{-5, -5, 20, 20}, {-30, 4, 4, -30}, {15, -2, -2, 15}, {-1, -1, -9, -9}, {5, -50, 5.5f, 50}};
  for (const FSeg& s : segs) {
    GuardedBitmap bm(10, 10);
    LICE_FLine(&bm, s.x1, s.y1, s.x2, s.y2, kWhite, 1.0f, 0, true);
    EXPECT_TRUE(bm.guardIntact());
    for (auto& p : bm.changedSet()) EXPECT_TRUE(p.first < 9 && p.second < 9);
  }
}

TEST(FLine, PublicFloatClipper)
{
  float x1 = 10, y1 = 50, x2 = 150, y2 = 50;
  EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 100, 100));
  EXPECT_EQ(x1, 10.0f);
  EXPECT_EQ(y1, 50.0f);
  EXPECT_EQ(x2, 98.0f);
  EXPECT_EQ(y2, 50.0f);
  // Moved to the rectangle's corner and back.
  x1 = 110, y1 = 250, x2 = 250, y2 = 250;
  EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 100, 200, 200, 300));
  EXPECT_EQ(x2, 198.0f);
  // A crossing of the top edge lands on row 0; of the bottom on row ym - 1.
  x1 = 5, y1 = -10, x2 = 5, y2 = 50;
  EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 20, 20));
  EXPECT_EQ(y1, 0.0f);
  EXPECT_EQ(y2, 18.0f);
  x1 = -3, y1 = -3, x2 = -1, y2 = 30;
  EXPECT_FALSE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 20, 20));
  float n1 = NAN, n2 = 0, n3 = INFINITY, n4 = 5;
  LICE_ClipFLine(&n1, &n2, &n3, &n4, 0, 0, 20, 20); // answers, whatever the answer
  LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 1e30f, -1e30f);
}

TEST(FLine, FlippedIsTheMirrorImage)
{
  const FSeg segs[] = {{1, 2.25f, 9, 4.25f}, {0.7f, 0.3f, 8.1f, 11.6f}, {12.2f, 1.1f, 0.4f, 3.3f}};
  for (const FSeg& s : segs) {
    GuardedBitmap normal(14, 14), flipped(14, 14, true);
    LICE_FLine(&normal, s.x1, s.y1, s.x2, s.y2, kWhite, 0.7f, 0, true);
    LICE_FLine(&flipped, s.x1, 13 - s.y1, s.x2, 13 - s.y2, kWhite, 0.7f, 0, true);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 14; ++x) ASSERT_EQ(normal.at(x, y), flipped.at(x, 13 - y));
  }
}

TEST(FLine, ModesAndBadInput)
{
  GuardedBitmap blank(12, 12);
  for (int mode : {6, 0x7f, 0xff, 0x10006}) {
    GuardedBitmap bm(12, 12);
    LICE_FLine(&bm, 1.5f, 1.5f, 9.2f, 7.7f, kWhite, 1.0f, mode, true);
    EXPECT_TRUE(bm.changed().empty());
  }
  // The source-alpha flag is ignored; each of the two pixels of a step follows its rule.
  GuardedBitmap a(12, 12), b(12, 12);
  fillPattern(a, 5u), fillPattern(b, 5u);
  LICE_FLine(&a, 1.5f, 1.5f, 9.2f, 7.7f, px(9, 99, 199, 0), 0.6f, 0x10004, true);
  LICE_FLine(&b, 1.5f, 1.5f, 9.2f, 7.7f, px(9, 99, 199, 0), 0.6f, 4, true);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  GuardedBitmap c(12, 12);
  LICE_FLine(&c, 1.5f, 1.5f, 9.2f, 7.7f, kWhite, 0.002f, 0, true);
  LICE_FLine(&c, 1.5f, 1.5f, 9.2f, 7.7f, kWhite, -1.0f, 0, true);
  LICE_FLine(&c, NAN, 1, 5, 5, kWhite, 1.0f, 0, true);
  LICE_FLine(&c, 1, 1, INFINITY, 5, kWhite, 1.0f, 0, false);
  LICE_FLine(&c, -1e38f, -1e38f, 1e38f, 1e38f, kWhite, 1.0f, 1, true);
  LICE_FLine(nullptr, 1, 1, 5, 5, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(c.guardIntact());
  for (auto& p : c.changedSet()) EXPECT_EQ(p.first, p.second); // only the huge diagonal drew
}

TEST(DashedLine, DashesFromTheSmallerEndUpToTheLargerExclusive)
{
  struct Case
  {
    int x1, y1, x2, y2, on, off;
    std::vector<int> coords; // x for a horizontal line, y for a vertical one
  };
  const Case cases[] = {
      {0, 5, 10, 5, 3, 2, {0, 1, 2, 5, 6, 7}},
      {0, 5, 7, 5, 3, 2, {0, 1, 2, 5, 6}},
      {7, 5, 0, 5, 3, 2, {0, 1, 2, 5, 6}},
      {2, 0, 2, 11, 1, 3, {0, 4, 8}},
      {2, 11, 2, 0, 2, 1, {0, 1, 3, 4, 6, 7, 9, 10}},
      {0, 1, 11, 1, 4, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {3, 1, 3, 1, 2, 2, {}},
      // Clipped to the bitmap first: the pattern starts at the clipped end.
      {-5, 4, 30, 4, 2, 2, {0, 1, 4, 5, 8, 9}},
  };
  for (const Case& c : cases) {
    GuardedBitmap bm(12, 12);
    LICE_DashedLine(&bm, c.x1, c.y1, c.x2, c.y2, c.on, c.off, kWhite, 0.8f, 0, false);
    std::set<XY> want;
    for (int v : c.coords) want.insert(c.y1 == c.y2 ? XY{v, c.y1} : XY{c.x1, v});
    EXPECT_EQ(bm.changedSet(), want) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2 << " "
                                     << dump(bm.changedSet());
    EXPECT_TRUE(bm.guardIntact());
  }
}

TEST(DashedLine, VerticalSingleDotsStoreTheColour)
{
  // The single-pixel pattern at alpha 1 stores the colour; at 0.9 the same pixels are combined.
  GuardedBitmap a(8, 8), b(8, 8);
  LICE_DashedLine(&a, 4, 0, 4, 3, 1, 1, px(1, 2, 3, 4), 1.0f, 0, false);
  LICE_DashedLine(&b, 4, 0, 4, 3, 1, 1, kWhite, 0.9f, 0, false);
  EXPECT_EQ(a.changedSet(), (std::set<XY>{{4, 0}, {4, 2}}));
  EXPECT_EQ(b.changedSet(), a.changedSet());
  EXPECT_EQ(a.at(4, 2), px(1, 2, 3, 4));
  GuardedBitmap c(8, 8);
  LICE_DashedLine(&c, 4, 6, 4, 6, 1, 1, kWhite, 1.0f, 0, false);
  EXPECT_TRUE(c.changed().empty());
}

TEST(DashedLine, WeightsModesAndBadPatterns)
{
  GuardedBitmap bm(12, 3);
  bm.clear(px(100, 50, 0, 255));
  LICE_DashedLine(&bm, 0, 0, 11, 0, 2, 1, px(200, 150, 100, 0), 0.502f, 0, false); // ia 128: halves
  LICE_DashedLine(&bm, 0, 1, 11, 1, 2, 1, px(200, 150, 100, 0), 1.001f, 0, false); // ia 256: stored
  LICE_DashedLine(&bm, 0, 2, 11, 2, 2, 1, px(20, 20, 20, 0), 0.5f, 1, false);      // add
  EXPECT_EQ(bm.at(1, 0), px(150, 100, 50, 127));
  EXPECT_EQ(bm.at(2, 0), px(100, 50, 0, 255));
  EXPECT_EQ(bm.at(3, 1), px(200, 150, 100, 0));
  EXPECT_EQ(bm.at(4, 2), px(110, 60, 10, 255));
  // Diagonal, operations above 5, weight 0, negative copy: nothing.
  GuardedBitmap d(10, 10);
  LICE_DashedLine(&d, 0, 0, 9, 9, 2, 2, kWhite, 1.0f, 0, false);
  LICE_DashedLine(&d, 0, 3, 9, 3, 2, 2, kWhite, 1.0f, 6, false);
  LICE_DashedLine(&d, 0, 4, 9, 4, 2, 2, kWhite, 0.001f, 0, false);
  LICE_DashedLine(&d, 0, 5, 9, 5, 2, 2, kWhite, -1.0f, 0, false);
  LICE_DashedLine(&d, 0, 6, 9, 6, 0, 3, kWhite, 1.0f, 0, false);  // no dash length
  LICE_DashedLine(&d, 0, 7, 9, 7, -2, 3, kWhite, 1.0f, 0, false); // negative dash length
  LICE_DashedLine(nullptr, 0, 7, 9, 7, 2, 3, kWhite, 1.0f, 0, false);
  EXPECT_TRUE(d.changed().empty());
  // A period of zero or less never advances: it draws a solid line instead of hanging.
  LICE_DashedLine(&d, 0, 8, 9, 8, 2, -2, kWhite, 1.0f, 0, false);
  LICE_DashedLine(&d, 1, 0, 1, 9, 3, -7, kWhite, 1.0f, 0, false);
  EXPECT_EQ(d.changedSet().size(), 9u + 9u - 1u);
  LICE_DashedLine(&d, 0, 9, 9, 9, INT32_MAX, INT32_MAX, kWhite, 1.0f, 0, false);
  EXPECT_TRUE(d.guardIntact());
}

TEST(DashedLine, FlippedIsTheMirrorImage)
{
  GuardedBitmap normal(10, 10), flipped(10, 10, true);
  LICE_DashedLine(&normal, 3, 1, 3, 8, 2, 1, kWhite, 1.0f, 0, false);
  LICE_DashedLine(&flipped, 3, 1, 3, 8, 2, 1, kWhite, 1.0f, 0, false);
  EXPECT_EQ(normal.snapshot(), flipped.snapshot());                   // caller rows 1, 2, 4, 5, 7 on both
  EXPECT_EQ(flipped.getBits()[8 * flipped.getRowSpan() + 3], kWhite); // caller row 1
}
