// Blits at the same scale: placement, clipping against both bitmaps, every combine mode, the
// whole-pixel fast paths, the channel copy, flipped bitmaps and LICE_Copy.
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

using namespace rt;

namespace {

// Logical pixel of any bitmap.
LICE_pixel get(LICE_IBitmap& bm, int x, int y)
{
  const int row = bm.isFlipped() ? bm.getHeight() - 1 - y : y;
  return bm.getBits()[row * bm.getRowSpan() + x];
}

// What one blitted source pixel does to its destination pixel.
LICE_pixel blitPixel(LICE_pixel d, LICE_pixel s, float alpha, int mode)
{
  if (alpha == 0.0f) return d;
  if ((mode & 0xf0) == 0xf0) {
    uint8_t db[4], sb[4];
    std::memcpy(db, &d, 4);
    std::memcpy(sb, &s, 4);
    db[(mode >> 2) & 3] = sb[mode & 3];
    LICE_pixel out;
    std::memcpy(&out, db, 4);
    return out;
  }
  if ((mode & 0x100ff) == 0 && alpha == 0.5f)
    return px(chR(d) / 2 + chR(s) / 2, chG(d) / 2 + chG(s) / 2, chB(d) / 2 + chB(s) / 2, chA(d) / 2 + chA(s) / 2);
  return refMode(d, s, (int)((double)alpha * 256.0), mode);
}

// The geometric meaning of a blit: destination pixel (x, y) shows source pixel
// (x - dstx + srcx, y - dsty + srcy) when that lies inside the source rectangle and the source.
void expectBlit(LICE_IBitmap& before, LICE_IBitmap& after, LICE_IBitmap& src, int dstx, int dsty, int sl, int st,
                int sr, int sb, float alpha, int mode, const std::string& what)
{
  for (int y = 0; y < after.getHeight(); ++y)
    for (int x = 0; x < after.getWidth(); ++x) {
      const long sx = (long)x - dstx + sl, sy = (long)y - dsty + st;
      const bool drawn = sx >= sl && sx < sr && sy >= st && sy < sb && sx >= 0 && sy >= 0 && sx < src.getWidth() &&
                         sy < src.getHeight();
      const LICE_pixel d = get(before, x, y);
      const LICE_pixel want = drawn ? blitPixel(d, get(src, (int)sx, (int)sy), alpha, mode) : d;
      ASSERT_EQ(get(after, x, y), want) << what << " at " << x << "," << y << " got " << str(get(after, x, y))
                                        << " want " << str(want);
    }
}

struct Placement
{
  int dstx, dsty;
  int l, t, r, b; // source rectangle
};

const Placement kPlacements[] = {
    {0, 0, 0, 0, 7, 5},       {3, 2, 0, 0, 7, 5},   {-3, -2, 0, 0, 7, 5},     {8, 6, 0, 0, 7, 5},
    {-7, 0, 0, 0, 7, 5},      {12, 0, 0, 0, 7, 5},  {0, 9, 0, 0, 7, 5},       {2, 1, 1, 1, 4, 3},
    {2, 1, -3, -1, 4, 3},     {2, 1, 5, 3, 20, 20}, {1, 1, 3, 3, 3, 9},       {1, 1, 4, 1, 2, 4},
    {-2, -1, -2, -3, 9, 9},   {11, 8, 0, 0, 7, 5},  {-100, -100, 0, 0, 7, 5}, {INT_MIN, 0, 0, 0, 7, 5},
    {0, 0, INT_MIN, 0, 7, 5},
};

} // namespace

TEST(Blit, EveryPlacementModeAndWeight)
{
  const float alphas[] = {1.0f, 0.5f, 0.25f, 0.3f, 0.75f, 0.999f, 0.003f, 0.0f};
  const int modes[] = {0,
                       1,
                       2,
                       3,
                       4,
                       5,
                       0x10000,
                       0x10001,
                       0x10002,
                       0x10003,
                       0x10004,
                       0x10005,
                       0x100,
                       6,
                       0xef,
                       0xf4,
                       0xf0 | (3 << 2) | 0};
  LICE_MemBitmap src(7, 5);
  fillPattern(src, 3);
  for (const Placement& p : kPlacements)
    for (float alpha : alphas)
      for (int mode : modes) {
        LICE_MemBitmap dest(12, 9), before(12, 9);
        fillPattern(dest, 11);
        copyPixels(before, dest);
        const RECT r = {p.l, p.t, p.r, p.b};
        LICE_Blit(&dest, &src, p.dstx, p.dsty, &r, alpha, mode);
        expectBlit(before, dest, src, p.dstx, p.dsty, p.l, p.t, p.r, p.b, alpha, mode,
                   "at " + std::to_string(p.dstx) + "," + std::to_string(p.dsty) + " mode " + std::to_string(mode) +
                       " alpha " + std::to_string(alpha));
      }
}

TEST(Blit, WholeSourceAndSizeForms)
{
  LICE_MemBitmap src(7, 5), dest(12, 9), before(12, 9);
  fillPattern(src, 5);
  fillPattern(dest, 6);
  copyPixels(before, dest);
  LICE_Blit(&dest, &src, 4, 3, nullptr, 1.0f, 0);
  expectBlit(before, dest, src, 4, 3, 0, 0, 7, 5, 1.0f, 0, "null rect");

  copyPixels(dest, before);
  LICE_Blit(&dest, &src, 4, 3, 2, 1, 3, 2, 0.6f, 1);
  expectBlit(before, dest, src, 4, 3, 2, 1, 5, 3, 0.6f, 1, "size form");
}

TEST(Blit, WorkedExamples)
{
  LICE_MemBitmap src(20, 4), dest(100, 4);
  fillPattern(src, 1);
  // A source rectangle with left -3 drawn at 10 puts source column 0 at column 13.
  LICE_Clear(&dest, 0);
  const RECT r = {-3, 0, 5, 4};
  LICE_Blit(&dest, &src, 10, 0, &r, 1.0f, 0);
  EXPECT_EQ(pix(dest, 13, 0), pix(src, 0, 0));
  EXPECT_EQ(pix(dest, 12, 0), 0u);
  EXPECT_EQ(pix(dest, 17, 0), pix(src, 4, 0));
  EXPECT_EQ(pix(dest, 18, 0), 0u);
  // At dstx -5 the first five source columns are skipped.
  LICE_Clear(&dest, 0);
  LICE_Blit(&dest, &src, -5, 0, nullptr, 1.0f, 0);
  EXPECT_EQ(pix(dest, 0, 2), pix(src, 5, 2));
  EXPECT_EQ(pix(dest, 14, 2), pix(src, 19, 2));
  EXPECT_EQ(pix(dest, 15, 2), 0u);
  // A 20-wide source at 95 of a 100-wide destination draws 5 columns.
  LICE_Clear(&dest, 0);
  LICE_Blit(&dest, &src, 95, 0, nullptr, 1.0f, 0);
  for (int x = 0; x < 100; ++x) EXPECT_EQ(pix(dest, x, 1), x >= 95 ? pix(src, x - 95, 1) : 0u) << x;
  // Half weight copy: white and black give 0x7f in every byte.
  LICE_MemBitmap w(1, 1), b(1, 1);
  pix(w, 0, 0) = 0xffffffff;
  pix(b, 0, 0) = 0;
  LICE_Blit(&w, &b, 0, 0, nullptr, 0.5f, 0);
  EXPECT_EQ(pix(w, 0, 0), 0x7f7f7f7fu);
  // Channel copy: source alpha into destination red, nothing else, whatever the opacity.
  LICE_MemBitmap cs(1, 1), cd(1, 1);
  pix(cs, 0, 0) = px(1, 2, 3, 200);
  pix(cd, 0, 0) = px(10, 20, 30, 40);
  LICE_Blit(&cd, &cs, 0, 0, nullptr, 0.3f, 0xf4);
  EXPECT_EQ(pix(cd, 0, 0), px(200, 20, 30, 40));
}

TEST(Blit, NothingDrawnForNullBitmapsOrEmptyRectangles)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  fillPattern(src, 2);
  LICE_Clear(&dest, 0x01020304);
  LICE_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(&dest, nullptr, 0, 0, nullptr, 1.0f, 0);
  const RECT empties[] = {{2, 2, 2, 4}, {2, 2, 4, 2}, {3, 3, 1, 1}, {4, 0, 8, 4}, {0, 4, 4, 8}};
  for (const RECT& r : empties) LICE_Blit(&dest, &src, 0, 0, &r, 1.0f, 0);
  LICE_Blit(&dest, &src, 0, 0, nullptr, -0.5f, 0);
  LICE_MemBitmap empty;
  LICE_Blit(&dest, &empty, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(&empty, &src, 0, 0, nullptr, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), 0x01020304u);
}

TEST(Blit, FlippedBitmapsKeepTheLogicalOrientation)
{
  for (int mode : {0, 1, 0x10000})
    for (float alpha : {1.0f, 0.5f, 0.4f}) {
      FlippedBitmap src(5, 4), dest(6, 7);
      fillPattern(src, 9);
      fillPattern(dest, 10);
      LICE_MemBitmap before(6, 7);
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 6; ++x) pix(before, x, y) = dest.at(x, y);
      const RECT r = {1, 1, 5, 4};
      LICE_Blit(&dest, &src, 2, -1, &r, alpha, mode);
      expectBlit(before, dest, src, 2, -1, 1, 1, 5, 4, alpha, mode, "flipped");
      EXPECT_TRUE(dest.guardIntact());

      // A flipped source into a top-down destination and back.
      LICE_MemBitmap plain(5, 4);
      LICE_Clear(&plain, 0);
      LICE_Blit(&plain, &src, 0, 0, nullptr, 1.0f, 0);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(pix(plain, x, y), src.at(x, y));
    }
}

TEST(Blit, CopyIntoItselfBelowItsSource)
{
  // Overlapping rows of one bitmap: the plain copy gives the same pixels as a blit from a
  // separate copy of the source.
  LICE_MemBitmap bm(8, 8), snapshot(8, 8), expected(8, 8);
  fillPattern(bm, 4);
  copyPixels(snapshot, bm);
  copyPixels(expected, bm);
  LICE_Blit(&expected, &snapshot, 1, 2, 0, 0, 6, 5, 1.0f, 0);
  LICE_Blit(&bm, &bm, 1, 2, 0, 0, 6, 5, 1.0f, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(pix(bm, x, y), pix(expected, x, y)) << x << "," << y;
}

TEST(Copy, MakesAnExactCopyOfAnySize)
{
  LICE_MemBitmap src(9, 6), dest;
  fillPattern(src, 8);
  LICE_Copy(&dest, &src);
  ASSERT_EQ(dest.getWidth(), 9);
  ASSERT_EQ(dest.getHeight(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(pix(dest, x, y), pix(src, x, y));
  LICE_SysBitmap sys(2, 2);
  LICE_Copy(&sys, &src);
  EXPECT_EQ(sys.getWidth(), 9);
  EXPECT_EQ(pix(sys, 8, 5), pix(src, 8, 5));
  LICE_Copy(nullptr, &src);
  LICE_Copy(&dest, nullptr);
  EXPECT_EQ(dest.getWidth(), 9);
}

// Images drawn over the editor: opaque runs of every length (across the blocks the opaque test reads at
// once), clear pixels and edge pixels of every alpha, at full weight with source alpha.
TEST(Blit, SourceOverOfOpaqueRunsClearAndEdgePixels)
{
  LICE_MemBitmap src(61, 4);
  fillPattern(src, 5);
  unsigned seed = 9;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 61;) {
      seed = seed * 1103515245u + 12345u;
      const int run = 1 + (int)((seed >> 16) % 19);
      const int kind = (int)((seed >> 8) % 3);
      for (int k = 0; k < run && x < 61; ++k, ++x) {
        LICE_pixel& p = pix(src, x, y);
        const int a = kind == 0 ? 255 : kind == 1 ? 0 : (int)((seed >> (k % 24)) & 0xff);
        p = (p & ~(LICE_pixel)0xff) | (LICE_pixel)a;
      }
    }
  for (int dx : {0, 3}) {
    LICE_MemBitmap dest(70, 6), before(70, 6);
    fillPattern(dest, 17);
    copyPixels(before, dest);
    const RECT r = {0, 0, 61, 4};
    LICE_Blit(&dest, &src, dx, 1, &r, 1.0f, LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_COPY);
    expectBlit(before, dest, src, dx, 1, 0, 0, 61, 4, 1.0f, LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_COPY, "source over");
  }
}
