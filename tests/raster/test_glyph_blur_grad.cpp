// Coverage glyphs, blur and gradient rectangles.
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

using namespace rt;

TEST(DrawGlyph, CoverageWeightsTheColour)
{
  const unsigned char cov[] = {0, 1, 128, 255};
  const LICE_pixel colour = px(200, 10, 100, 250);
  for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10003})
    for (float alpha : {1.0f, 0.5f, 0.3f}) {
      LICE_MemBitmap bm(4, 1);
      for (int x = 0; x < 4; ++x) pix(bm, x, 0) = px(20 * x, 255 - 30 * x, 60, 90);
      LICE_MemBitmap before(4, 1);
      copyPixels(before, bm);
      LICE_DrawGlyph(&bm, 0, 0, colour, cov, 4, 1, alpha, mode);
      const int ia = (int)(alpha * 256);
      for (int x = 0; x < 4; ++x) {
        const int w = cov[x] * ia / 256;
        // The source-alpha flag is ignored; coverage 0 never touches its pixel.
        const LICE_pixel want =
            cov[x] == 0 ? pix(before, x, 0) : refPlain(pix(before, x, 0), 200, 10, 100, 250, w, mode & 0xff);
        EXPECT_EQ(pix(bm, x, 0), want) << mode << " " << alpha << " " << x;
      }
    }
}

TEST(DrawGlyph, WorkedExamples)
{
  LICE_MemBitmap bm(3, 1);
  const unsigned char cov[] = {255, 128, 1};
  LICE_Clear(&bm, px(100, 100, 100, 100));
  LICE_DrawGlyph(&bm, 0, 0, px(0, 200, 50, 255), cov, 3, 1, 1.0f, 0);
  EXPECT_EQ(pix(bm, 0, 0), px(0, 200, 50, 255));  // weight 255 gives the colour exactly
  EXPECT_EQ(pix(bm, 1, 0), px(50, 150, 75, 178)); // s + trunc((d - s) / 2)
  LICE_Clear(&bm, px(100, 100, 100, 100));
  LICE_DrawGlyph(&bm, 0, 0, px(0, 200, 50, 255), cov, 3, 1, 0.5f, 0);
  EXPECT_EQ(pix(bm, 2, 0), px(100, 100, 100, 100)); // coverage 1 at alpha 0.5: weight 0
}

TEST(DrawGlyph, ClippingAndSpan)
{
  // A 5 x 3 glyph in rows of 8 bytes: bytes 5 to 7 of each row are never drawn.
  unsigned char cov[3 * 8];
  for (int i = 0; i < 24; ++i) cov[i] = (i % 8) < 5 ? (unsigned char)(10 + i) : 255;
  auto drawAt = [&](int x, int y) {
    LICE_MemBitmap bm(6, 4);
    LICE_Clear(&bm, 0);
    LICE_DrawGlyphEx(&bm, x, y, 0xffffffff, cov, 5, 8, 3, 1.0f, 1);
    return bm;
  };
  for (int y0 : {-2, -1, 0, 2, 3})
    for (int x0 : {-5, -2, 0, 3, 5}) {
      LICE_MemBitmap bm = drawAt(x0, y0);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
          const int gx = x - x0, gy = y - y0;
          const bool in = gx >= 0 && gx < 5 && gy >= 0 && gy < 3;
          const int c = in ? cov[gy * 8 + gx] : 0;
          const int v = c * 256 / 256 * 255 / 256; // add white at weight c: 255 x c / 256
          EXPECT_EQ(pix(bm, x, y), in ? px(v, v, v, v) : 0u) << x0 << "," << y0 << " at " << x << "," << y;
        }
    }
  // Wholly outside, null map or bitmap, mode above 5: nothing.
  LICE_MemBitmap bm(4, 4);
  LICE_Clear(&bm, 7);
  LICE_DrawGlyphEx(&bm, 4, 0, 0xffffffff, cov, 5, 8, 3, 1.0f, 0);
  LICE_DrawGlyphEx(&bm, 0, -3, 0xffffffff, cov, 5, 8, 3, 1.0f, 0);
  LICE_DrawGlyphEx(&bm, 0, 0, 0xffffffff, cov, 5, 8, 3, 1.0f, 6);
  LICE_DrawGlyphEx(&bm, 0, 0, 0xffffffff, nullptr, 5, 8, 3, 1.0f, 0);
  LICE_DrawGlyphEx(&bm, INT_MIN, INT_MIN, 0xffffffff, cov, 5, 8, 3, 1.0f, 0);
  LICE_DrawGlyphEx(nullptr, 0, 0, 0xffffffff, cov, 5, 8, 3, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(bm, x, y), 7u);
}

TEST(DrawGlyph, FlippedBitmapKeepsTheGlyphUpright)
{
  FlippedBitmap bm(3, 5);
  const unsigned char cov[] = {255, 0, 0, 255};
  LICE_DrawGlyph(&bm, 1, 1, 0xffffffff, cov, 1, 4, 1.0f, 0);
  EXPECT_EQ(bm.at(1, 1), 0xffffffffu);
  EXPECT_EQ(bm.at(1, 4), 0xffffffffu);
  EXPECT_EQ(bm.at(1, 2), 0u);
  EXPECT_EQ(bm.memAt(1, 3), 0xffffffffu); // logical row 1 is memory row 3
  EXPECT_TRUE(bm.guardIntact());
}

TEST(Blur, UniformWhiteLosesTheTruncatedBits)
{
  LICE_MemBitmap src(5, 4), dest(5, 4);
  LICE_Clear(&src, 0xffffffff);
  LICE_Clear(&dest, 0);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool edgeRow = y == 0 || y == 3, edgeCol = x == 0 || x == 4;
      const int v = edgeRow && edgeCol ? 253 : (edgeRow || edgeCol) ? 252 : 251;
      EXPECT_EQ(pix(dest, x, y), px(v, v, v, v)) << x << "," << y;
    }
}

TEST(Blur, KernelValuesPerByte)
{
  // A single bright pixel spreads half to itself and an eighth to each neighbour; at an edge
  // the missing neighbour's share goes to the opposite one.
  LICE_MemBitmap src(5, 5), dest(5, 5);
  LICE_Clear(&src, 0);
  pix(src, 2, 2) = px(200, 16, 255, 80);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(pix(dest, 2, 2), px(100, 8, 127, 40));
  EXPECT_EQ(pix(dest, 1, 2), px(25, 2, 31, 10));
  EXPECT_EQ(pix(dest, 2, 3), px(25, 2, 31, 10));
  EXPECT_EQ(pix(dest, 1, 1), 0u);
  // Next to the left edge: column 1's left neighbour is column 0, whose right neighbour gets
  // a quarter.
  LICE_Clear(&src, 0);
  pix(src, 1, 2) = px(200, 0, 0, 0);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(chR(pix(dest, 0, 2)), 50);
  EXPECT_EQ(chR(pix(dest, 2, 2)), 25);
  // Top row: the row below counts a quarter.
  LICE_Clear(&src, 0);
  pix(src, 3, 1) = px(200, 0, 0, 0);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(chR(pix(dest, 3, 0)), 50);
  EXPECT_EQ(chR(pix(dest, 3, 2)), 25);
}

TEST(Blur, ThinRectanglesAndClipping)
{
  LICE_MemBitmap src(6, 6), dest(6, 6);
  fillPattern(src, 70);
  LICE_Clear(&dest, 0x12121212);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 1, 6); // one column: unchanged
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 6, 1); // one row: unchanged
  LICE_Blur(&dest, &src, 6, 0, 0, 0, 6, 6);
  LICE_Blur(&dest, &src, 0, 0, 6, 6, 6, 6);
  LICE_Blur(nullptr, &src, 0, 0, 0, 0, 6, 6);
  LICE_Blur(&dest, nullptr, 0, 0, 0, 0, 6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pix(dest, x, y), 0x12121212u);

  // srcx -5 with dstx 0: source column 0 to destination column 0, as if srcx were 0.
  LICE_MemBitmap a(6, 6), b(6, 6);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  LICE_Blur(&a, &src, 0, 0, -5, 0, 11, 6);
  LICE_Blur(&b, &src, 0, 0, 0, 0, 6, 6);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
  // dstx -2 skips two source columns.
  LICE_Clear(&a, 0);
  LICE_Blur(&a, &src, -2, 0, 0, 0, 6, 6);
  LICE_MemBitmap part(4, 6), want(4, 6);
  LICE_Blur(&want, &src, 0, 0, 2, 0, 4, 6);
  LICE_Blit(&part, &a, 0, 0, 0, 0, 4, 6, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&part, &want), 0);
}

TEST(Blur, InPlaceMatchesSeparateExceptTheLastRow)
{
  for (int w : {7, 1100}) { // the wide case uses a heap working copy
    LICE_MemBitmap a(w, 6), b(w, 6), src(w, 6);
    fillPattern(src, 80);
    copyPixels(a, src);
    LICE_Blur(&a, &a, 0, 0, 0, 0, w, 6);
    LICE_Blur(&b, &src, 0, 0, 0, 0, w, 6);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(pix(a, x, y), pix(b, x, y)) << w << " " << x << "," << y;
    // The last row reads its previous row after that row was blurred: it is the edge-row blur
    // of the original last row with the blurred row above it.
    LICE_MemBitmap last(w, 2), out(w, 2);
    for (int x = 0; x < w; ++x) {
      pix(last, x, 0) = pix(a, x, 4);
      pix(last, x, 1) = pix(src, x, 5);
    }
    LICE_Blur(&out, &last, 0, 0, 0, 0, w, 2);
    for (int x = 0; x < w; ++x) ASSERT_EQ(pix(a, x, 5), pix(out, x, 1)) << x;
    EXPECT_NE(LICE_BitmapCmp(&a, &b), 0);
  }
}

TEST(Blur, FlippedBitmaps)
{
  FlippedBitmap src(4, 3), dest(4, 3);
  LICE_MemBitmap plainSrc(4, 3), plainDest(4, 3);
  fillPattern(plainSrc, 90);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.at(x, y) = pix(plainSrc, x, y);
  LICE_Blur(&dest, &src, 0, 0, 0, 0, 4, 3);
  LICE_Blur(&plainDest, &plainSrc, 0, 0, 0, 0, 4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dest.at(x, y), pix(plainDest, x, y));
  EXPECT_TRUE(dest.guardIntact());
}

TEST(GradRect, RedRampAcrossTheRectangle)
{
  LICE_MemBitmap bm(256, 2);
  LICE_Clear(&bm, 0);
  LICE_GradRect(&bm, 0, 0, 256, 2, 0, 0, 0, 1, 1.0f / 255, 0, 0, 0, 0, 0, 0, 0, 0);
  for (int x = 0; x < 256; ++x) {
    const LICE_pixel p = pix(bm, x, 1);
    EXPECT_NEAR(chR(p), x, 1) << x; // up to the truncation of the 16.16 step
    EXPECT_LE(chR(p), x);
    EXPECT_EQ(chA(p), 255);
    EXPECT_EQ(chG(p), 0);
  }
  EXPECT_EQ(chR(pix(bm, 0, 0)), 0);
  EXPECT_GE(chR(pix(bm, 255, 0)), 254);
}

TEST(GradRect, ClippedGradientStaysAnchored)
{
  LICE_MemBitmap a(20, 3), b(40, 3);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  LICE_GradRect(&a, -10, 0, 30, 3, 0.2f, 0, 0, 1, 0.01f, 0.02f, 0, 0, 0, 0.05f, 0, 0, 0);
  LICE_GradRect(&b, 0, 0, 30, 3, 0.2f, 0, 0, 1, 0.01f, 0.02f, 0, 0, 0, 0.05f, 0, 0, 0);
  // Column 0 of the clipped gradient is column 10 of the whole one: red 0.1 x 255 higher.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_NEAR(chR(pix(a, x, y)), chR(pix(b, x + 10, y)), 1) << x << "," << y;
  EXPECT_NEAR(chR(pix(a, 0, 0)), (int)(0.3 * 255), 1);
  EXPECT_NEAR(chG(pix(a, 0, 2)), (int)((0.2 + 0.1) * 255), 1);
}

TEST(GradRect, FlippedBitmapGrowsDownTheLogicalImage)
{
  FlippedBitmap bm(2, 4);
  LICE_GradRect(&bm, 0, 0, 2, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0.25f, 0, 0);
  for (int y = 0; y < 4; ++y) EXPECT_NEAR(chB(bm.at(0, y)), (int)(y * 0.25 * 255), 1) << y;
  EXPECT_LT(chB(bm.at(0, 0)), chB(bm.at(0, 3)));
  EXPECT_TRUE(bm.guardIntact());
}

TEST(GradRect, OpacityAndModes)
{
  LICE_MemBitmap bm(1, 1);
  // Half opacity in copy mode: half-way to the colour; the alpha byte half-way to 128.
  pix(bm, 0, 0) = px(0, 200, 100, 0);
  LICE_GradRect(&bm, 0, 0, 1, 1, 1, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(pix(bm, 0, 0), px(128, 100, 50, 64));
  // A red start of 1.5: copy stores 255, add adds 382 x weight / 256 (limited).
  pix(bm, 0, 0) = px(10, 10, 10, 10);
  LICE_GradRect(&bm, 0, 0, 1, 1, 1.5f, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(pix(bm, 0, 0), px(255, 0, 0, 255));
  pix(bm, 0, 0) = px(10, 10, 10, 10);
  LICE_GradRect(&bm, 0, 0, 1, 1, 1.5f, 0, 0, 0.25f, 0, 0, 0, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(pix(bm, 0, 0), px(10 + 382 * 64 / 256, 10, 10, 10 + 64 * 64 / 256));
  // Every mode against the rule with the opacity as weight and alpha source.
  for (int mode = 0; mode <= 6; ++mode) {
    pix(bm, 0, 0) = px(90, 160, 30, 200);
    LICE_GradRect(&bm, 0, 0, 1, 1, 0.5f, 0.25f, 0.75f, 0.75f, 0, 0, 0, 0, 0, 0, 0, 0, mode);
    const int r = (int)(0.5f * 255.0f), g = (int)(0.25f * 255.0f), b = (int)(0.75f * 255.0f);
    LICE_pixel want = px(90, 160, 30, 200);
    if (mode <= 5) want = refPlain(want, r, g, b, 192, 192, mode);
    EXPECT_EQ(pix(bm, 0, 0), want) << mode;
  }
}

TEST(GradRect, NothingOutside)
{
  LICE_MemBitmap bm(4, 4);
  LICE_Clear(&bm, 9);
  LICE_GradRect(&bm, 4, 0, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  LICE_GradRect(&bm, -4, 0, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  LICE_GradRect(&bm, 0, 0, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 7);
  LICE_GradRect(nullptr, 0, 0, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  LICE_GradRect(&bm, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1e30f, 1, 1, 1, 1e30f, 0, 0, 0, 0, 0, 0, 0, 7);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(bm, x, y), 9u);
}
