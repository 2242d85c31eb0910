// Halving with a box filter, and bitmap comparison with its difference rectangle.
#include "raster_test_util.h"

#include <gtest/gtest.h>

using namespace rt;

TEST(HalveBlit, AveragesQuartersOfEachByte)
{
  LICE_MemBitmap src(2, 2), dest(1, 1);
  LICE_Clear(&src, 0xffffffff);
  LICE_HalveBlitAA(&dest, &src);
  EXPECT_EQ(pix(dest, 0, 0), px(252, 252, 252, 252));

  LICE_MemBitmap s(6, 4), d(3, 2);
  fillPattern(s, 100);
  LICE_HalveBlitAA(&d, &s);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const LICE_pixel a = pix(s, 2 * x, 2 * y), b = pix(s, 2 * x + 1, 2 * y), c = pix(s, 2 * x, 2 * y + 1),
                       e = pix(s, 2 * x + 1, 2 * y + 1);
      auto q = [&](int (*ch)(LICE_pixel)) { return ch(a) / 4 + ch(b) / 4 + ch(c) / 4 + ch(e) / 4; };
      EXPECT_EQ(pix(d, x, y), px(q(chR), q(chG), q(chB), q(chA))) << x << "," << y;
    }
}

TEST(HalveBlit, OddSizesIgnoreTheLastRowAndColumn)
{
  LICE_MemBitmap src(5, 5), dest(8, 8);
  LICE_Clear(&src, 0);
  for (int i = 0; i < 5; ++i) pix(src, 4, i) = pix(src, i, 4) = 0xffffffff;
  LICE_Clear(&dest, 0x01010101);
  LICE_HalveBlitAA(&dest, &src);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pix(dest, x, y), (x < 2 && y < 2) ? 0u : 0x01010101u) << x << "," << y;
  // A smaller destination limits the output; a source 1 row high draws nothing.
  LICE_MemBitmap small(1, 1), thin(8, 1);
  LICE_Clear(&thin, 0xffffffff);
  LICE_Clear(&small, 5);
  LICE_HalveBlitAA(&small, &thin);
  EXPECT_EQ(pix(small, 0, 0), 5u);
  LICE_HalveBlitAA(nullptr, &src);
  LICE_HalveBlitAA(&dest, nullptr);
}

TEST(BitmapCmp, EqualBitmapsAndNulls)
{
  LICE_MemBitmap a(10, 10);
  fillPattern(a, 1);
  int r[4] = {9, 9, 9, 9};
  EXPECT_EQ(LICE_BitmapCmp(&a, &a, r), 0);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[1], 0);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(r[3], 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &a), 0);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, nullptr), 0);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, &a), -1);
  EXPECT_EQ(LICE_BitmapCmp(&a, nullptr), 1);
}

TEST(BitmapCmp, SizesOrderBitmaps)
{
  LICE_MemBitmap a(10, 5), b(12, 5), c(10, 8);
  int r[4] = {7, 7, 7, 7};
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 2);
  EXPECT_EQ(LICE_BitmapCmp(&b, &a), -2);
  EXPECT_EQ(LICE_BitmapCmp(&a, &c), 3);
  EXPECT_EQ(r[0], 7); // left unwritten
}

TEST(BitmapCmp, DifferenceRectangle)
{
  struct Case
  {
    std::vector<std::pair<int, int>> diffs;
    int l, t, w, h;
  };
  const Case cases[] = {
      {{{3, 4}}, 3, 4, 1, 1},
      {{{5, 2}, {1, 7}}, 1, 2, 5, 6},
      {{{0, 0}, {9, 9}}, 0, 0, 10, 10},
      {{{9, 0}, {0, 9}}, 0, 0, 10, 10},
      {{{4, 1}, {8, 5}, {2, 3}}, 2, 1, 7, 5},
      {{{6, 6}, {6, 2}, {0, 4}, {9, 3}}, 0, 2, 10, 5},
      {{{7, 3}, {2, 3}}, 2, 3, 6, 1},
  };
  for (const Case& c : cases) {
    LICE_MemBitmap a(10, 10), b(10, 10);
    fillPattern(a, 5);
    copyPixels(b, a);
    for (auto [x, y] : c.diffs) pix(b, x, y) ^= 0x00010000;
    int r[4] = {-1, -1, -1, -1};
    EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 1);
    EXPECT_EQ(r[0], c.l);
    EXPECT_EQ(r[1], c.t);
    EXPECT_EQ(r[2], c.w);
    EXPECT_EQ(r[3], c.h);
    EXPECT_NE(LICE_BitmapCmp(&a, &b), 0);
  }
}

TEST(BitmapCmp, MaskAndOrder)
{
  LICE_MemBitmap a(4, 4), b(4, 4);
  LICE_Clear(&a, px(1, 2, 3, 4));
  LICE_Clear(&b, px(1, 2, 3, 200)); // differs only in alpha
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0xffffff00), 0);
  int r[4];
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0xffffff00, r), 0);
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x000000ff), 1);
  // Without a rectangle and the full mask the sign follows the first differing byte.
  EXPECT_LT(LICE_BitmapCmp(&a, &b), 0);
  EXPECT_GT(LICE_BitmapCmp(&b, &a), 0);
}

TEST(BitmapCmp, FlippedBitmapsCompareInLogicalOrder)
{
  FlippedBitmap a(5, 4), b(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) a.at(x, y) = b.at(x, y) = (LICE_pixel)(x + 7 * y);
  b.at(2, 1) = 0;
  int r[4];
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 1);
  EXPECT_EQ(r[0], 2);
  EXPECT_EQ(r[1], 1);
  EXPECT_EQ(r[2], 1);
  EXPECT_EQ(r[3], 1);
  // A top-down bitmap with the same logical pixels is equal.
  LICE_MemBitmap c(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) pix(c, x, y) = a.at(x, y);
  EXPECT_EQ(LICE_BitmapCmp(&a, &c, r), 0);
}
