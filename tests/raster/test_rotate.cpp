// Rotated, delta and transform blits: quarter and half turns, mirroring, centre offsets,
// clipping to the source rectangle, filtering, running opacity and grids of source points.
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rt;

namespace {

const float kPi = 3.14159265358979f;

// A 4 x 4 source whose pixel (x, y) holds 10 y + x + 1 (alpha byte), opaque elsewhere.
void numbered(LICE_IBitmap& bm)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) pix(bm, x, y) = (LICE_pixel)(10 * y + x + 1);
}

const LICE_pixel kBackground = 0xee000000;

} // namespace

TEST(RotatedBlit, AngleZeroCopiesPixelForPixel)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  numbered(src);
  LICE_Clear(&dest, kBackground);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&dest, &src), 0);
}

// Quarter and half turns of a 4 x 4 image about its centre. With the pivot moved by half a
// pixel on each axis every destination pixel samples the centre of a source pixel, so the turn
// maps the whole image: at a quarter turn destination (x, y) shows source (y, 3 - x).
TEST(RotatedBlit, QuarterAndHalfTurns)
{
  struct Turn
  {
    float angle, cx, cy;
    int (*sx)(int x, int y);
    int (*sy)(int x, int y);
  };
  const Turn turns[] = {
      {kPi, -0.5f, -0.5f, [](int x, int) { return 3 - x; }, [](int, int y) { return 3 - y; }},
      {-kPi, -0.5f, -0.5f, [](int x, int) { return 3 - x; }, [](int, int y) { return 3 - y; }},
      {kPi / 2, 0.5f, -0.5f, [](int, int y) { return y; }, [](int x, int) { return 3 - x; }},
      {-kPi / 2, -0.5f, 0.5f, [](int, int y) { return 3 - y; }, [](int x, int) { return x; }},
      {3 * kPi / 2, -0.5f, 0.5f, [](int, int y) { return 3 - y; }, [](int x, int) { return x; }},
      {2 * kPi, 0.5f, 0.5f, [](int x, int) { return x; }, [](int, int y) { return y; }},
  };
  for (const Turn& t : turns)
    for (int mode : {0, 0x100}) {
      LICE_MemBitmap src(4, 4), dest(4, 4);
      numbered(src);
      LICE_Clear(&dest, kBackground);
      LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, t.angle, false, 1.0f, mode, t.cx, t.cy);
      if (mode) continue; // filtering mixes neighbours at the half-pixel fractions; covered below
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
          EXPECT_EQ(pix(dest, x, y), pix(src, t.sx(x, y), t.sy(x, y)))
              << "angle " << t.angle << " at " << x << "," << y;
    }
}

// Without the half-pixel offsets the pivot is the corner between the four middle pixels; at a
// half turn destination pixel (x, y) with x and y at least 1 shows source (4 - x, 4 - y).
TEST(RotatedBlit, HalfTurnAboutTheCornerPivot)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  numbered(src);
  LICE_Clear(&dest, kBackground);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, kPi, false, 1.0f, 0);
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), pix(src, 4 - x, 4 - y)) << x << "," << y;
  // The first column samples source column 4, outside the source.
  for (int y = 0; y < 4; ++y) EXPECT_EQ(pix(dest, 0, y), kBackground) << y;
}

TEST(RotatedBlit, PositiveAngleTurnsClockwise)
{
  // A pixel right of the pivot lands below the destination centre at a quarter turn, above it
  // at minus a quarter turn. The pivot (5, 5) lies half a pixel off the corners so that the
  // destination samples source pixel centres.
  struct Case
  {
    float angle;
    int x, y;
  };
  for (const Case& c : {Case{kPi / 2, 5, 7}, Case{-kPi / 2, 4, 2}}) {
    LICE_MemBitmap src(9, 9), dest(9, 9);
    LICE_Clear(&src, 0);
    pix(src, 7, 4) = 0x11111111;
    LICE_Clear(&dest, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 9, 9, 0, 0, 9, 9, c.angle, false, 1.0f, 0, 0.5f, 0.5f);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 9; ++x)
        EXPECT_EQ(pix(dest, x, y), (x == c.x && y == c.y) ? 0x11111111u : 0u) << c.angle << " " << x << "," << y;
  }
}

TEST(RotatedBlit, NegativeWidthMirrorsAndCentreOffsetShifts)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  numbered(src);
  LICE_Clear(&dest, kBackground);
  // dstw -4 ending at dstx 4: the rectangle 0..3 shows the image mirrored left to right.
  LICE_RotatedBlit(&dest, &src, 4, 0, -4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), pix(src, 4 - x, y)) << x << "," << y;

  LICE_MemBitmap wide(20, 1), out(20, 1);
  for (int x = 0; x < 20; ++x) pix(wide, x, 0) = (LICE_pixel)(x + 1);
  LICE_Clear(&out, 0);
  LICE_RotatedBlit(&out, &wide, 0, 0, 20, 1, 0, 0, 20, 1, 0.0f, false, 1.0f, 0, 10.0f, 0.0f);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(pix(out, x, 0), x < 10 ? (LICE_pixel)(x + 11) : 0u) << x;
}

TEST(RotatedBlit, ClipFlagKeepsPixelsOutsideTheSourceRectangle)
{
  LICE_MemBitmap src(8, 8), clipped(4, 4), open(4, 4);
  numbered(src);
  for (LICE_MemBitmap* d : {&clipped, &open}) LICE_Clear(d, kBackground);
  // The middle 4 x 4 of the source drawn shifted by one pixel: one column and row come from
  // outside the rectangle.
  LICE_RotatedBlit(&clipped, &src, 0, 0, 4, 4, 2, 2, 4, 4, 0.0f, true, 1.0f, 0, 1.0f, 1.0f);
  LICE_RotatedBlit(&open, &src, 0, 0, 4, 4, 2, 2, 4, 4, 0.0f, false, 1.0f, 0, 1.0f, 1.0f);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(pix(open, x, y), pix(src, x + 3, y + 3));
      EXPECT_EQ(pix(clipped, x, y), (x < 3 && y < 3) ? pix(src, x + 3, y + 3) : kBackground) << x << "," << y;
    }
}

TEST(RotatedBlit, ModesWeightsAndDestinationClipping)
{
  LICE_MemBitmap src(6, 6);
  fillPattern(src, 40);
  for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10003})
    for (float alpha : {1.0f, 0.4f}) {
      LICE_MemBitmap dest(5, 5), before(5, 5);
      fillPattern(dest, 41);
      copyPixels(before, dest);
      // At angle 0 and unit scale, destination pixel (x, y) of a rectangle at (-2, -1) shows
      // source (x + 2, y + 1).
      LICE_RotatedBlit(&dest, &src, -2, -1, 6, 6, 0, 0, 6, 6, 0.0f, false, alpha, mode);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
          const bool in = x + 2 < 6 && y + 1 < 6;
          const LICE_pixel want =
              in ? refMode(pix(before, x, y), pix(src, x + 2, y + 1), (int)(alpha * 256), mode) : pix(before, x, y);
          ASSERT_EQ(pix(dest, x, y), want) << mode << " " << alpha << " at " << x << "," << y;
        }
    }
}

TEST(RotatedBlit, FilteringAtWholeAndHalfPixels)
{
  LICE_MemBitmap src(4, 1), dest(4, 1);
  pix(src, 0, 0) = px(0, 0, 0, 0);
  pix(src, 1, 0) = px(100, 51, 7, 255);
  pix(src, 2, 0) = px(200, 0, 255, 0);
  pix(src, 3, 0) = px(0, 0, 0, 0);
  // Fraction 0: the pixel itself.
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 1, 0, 0, 4, 1, 0.0f, false, 1.0f, 0x100);
  EXPECT_EQ(LICE_BitmapCmp(&dest, &src), 0);
  // Half-way between two pixels of a row: (p00 + p10) / 2, truncated.
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 1, 0, 0, 4, 1, 0.0f, false, 1.0f, 0x100, 0.5f, 0.0f);
  EXPECT_EQ(pix(dest, 1, 0), px(150, 25, 131, 127));
  EXPECT_EQ(pix(dest, 0, 0), px(50, 25, 3, 127));
}

TEST(RotatedBlit, FlippedBitmaps)
{
  FlippedBitmap src(4, 4), dest(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.at(x, y) = (LICE_pixel)(10 * y + x + 1);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, kPi, false, 1.0f, 0);
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(dest.at(x, y), src.at(4 - x, 4 - y));
  EXPECT_TRUE(dest.guardIntact());
}

TEST(RotatedBlit, NothingDrawnForEmptyArguments)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  numbered(src);
  LICE_Clear(&dest, kBackground);
  LICE_RotatedBlit(&dest, &src, 0, 0, 0, 4, 0, 0, 4, 4, 1.0f, false, 1.0f, 0);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, false, 0.001f, 0);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, false, 1.0f, 9);
  LICE_RotatedBlit(&dest, &src, 4, 0, 4, 4, 0, 0, 4, 4, 1.0f, false, 1.0f, 0);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 5, 5, 4, 4, 1.0f, true, 1.0f, 0);
  LICE_RotatedBlit(nullptr, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, false, 1.0f, 0);
  LICE_RotatedBlit(&dest, nullptr, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, false, 1.0f, 0);
  LICE_RotatedBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 1e30f, 4, NAN, false, 1.0f, 0x100);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), kBackground);
}

TEST(DeltaBlit, StepsDriveTheMapping)
{
  LICE_MemBitmap src(8, 8), dest(6, 6);
  numbered(src);
  // Identity steps from (1, 2): a plain copy of that region.
  LICE_Clear(&dest, kBackground);
  LICE_DeltaBlit(&dest, &src, 0, 0, 6, 6, 1, 2, 6, 6, 1, 0, 0, 1, 0, 0, false, 1.0f, 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pix(dest, x, y), y + 2 < 8 ? pix(src, x + 1, y + 2) : kBackground);
  // Transposed: s follows rows, t columns.
  LICE_DeltaBlit(&dest, &src, 0, 0, 6, 6, 0, 0, 8, 8, 0, 1, 1, 0, 0, 0, false, 1.0f, 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pix(dest, x, y), pix(src, y, x));
  // A change of the in-row step per row: row y steps y + 1 source pixels per destination pixel.
  LICE_Clear(&dest, kBackground);
  LICE_DeltaBlit(&dest, &src, 0, 0, 6, 3, 0, 0, 8, 8, 1, 0, 0, 1, 1, 0, false, 1.0f, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) {
      const int sx = x * (y + 1);
      EXPECT_EQ(pix(dest, x, y), sx < 8 ? pix(src, sx, y) : kBackground) << x << "," << y;
    }
  // Negative destination start moves the source start by the steps.
  LICE_Clear(&dest, kBackground);
  LICE_DeltaBlit(&dest, &src, -2, -1, 6, 6, 0, 0, 8, 8, 1, 0, 0, 1, 0, 0, false, 1.0f, 0);
  EXPECT_EQ(pix(dest, 0, 0), pix(src, 2, 1));
  // With the clip flag, samples outside the source rectangle keep their pixels.
  LICE_Clear(&dest, kBackground);
  LICE_DeltaBlit(&dest, &src, 0, 0, 6, 6, 1, 1, 3, 3, 1, 0, 0, 1, 0, 0, true, 1.0f, 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pix(dest, x, y), (x < 3 && y < 3) ? pix(src, x + 1, y + 1) : kBackground);
}

TEST(DeltaBlitAlpha, NearlyConstantOpacityIsAPlainDeltaBlit)
{
  LICE_MemBitmap src(8, 8), a(5, 5), b(5, 5);
  fillPattern(src, 50);
  fillPattern(a, 51);
  copyPixels(b, a);
  LICE_DeltaBlitAlpha(&a, &src, 0, 0, 5, 5, 0.5f, 0, 8, 8, 1, 0, 0, 1, 0, 0, false, 0.6f, 1, 1.0 / 100000, 0, 0);
  LICE_DeltaBlit(&b, &src, 0, 0, 5, 5, 0.5f, 0, 8, 8, 1, 0, 0, 1, 0, 0, false, 0.6f, 1);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
}

TEST(DeltaBlitAlpha, HorizontalFade)
{
  // Opacity 0 at the left growing by 1/8 per pixel: weight 32 x per pixel, copy with limits.
  LICE_MemBitmap src(8, 1), dest(8, 1);
  LICE_Clear(&src, px(255, 255, 255, 255));
  LICE_Clear(&dest, px(0, 0, 0, 0));
  LICE_DeltaBlitAlpha(&dest, &src, 0, 0, 8, 1, 0, 0, 8, 1, 1, 0, 0, 1, 0, 0, false, 0.0f, 0, 1.0 / 8, 0, 0);
  for (int x = 0; x < 8; ++x) {
    const int w = 32 * x;
    const int v = 255 + tdiv(-255 * (256 - w), 256);
    EXPECT_EQ(pix(dest, x, 0), px(v, v, v, v)) << x;
  }
  // Modes above 5 draw nothing.
  LICE_DeltaBlitAlpha(&dest, &src, 0, 0, 8, 1, 0, 0, 8, 1, 1, 0, 0, 1, 0, 0, false, 0.0f, 6, 1.0 / 8, 0, 0);
  EXPECT_EQ(pix(dest, 0, 0), px(0, 0, 0, 0));
}

TEST(TransformBlit, CornerGridScalesLikeADeltaBlit)
{
  LICE_MemBitmap src(6, 6), a(12, 12), b(12, 12);
  fillPattern(src, 60);
  LICE_Clear(&a, kBackground);
  LICE_Clear(&b, kBackground);
  const float grid[] = {0, 0, 6, 0, 0, 6, 6, 6};
  LICE_TransformBlit(&a, &src, 0, 0, 12, 12, grid, 2, 2, 1.0f, 0);
  LICE_DeltaBlit(&b, &src, 0, 0, 12, 12, 0, 0, 6, 0, 0.5, 0, 0, 0.5, 0, 0, false, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(pix(a, x, y), pix(src, x / 2, y / 2));

  const double grid2[] = {0, 0, 6, 0, 0, 6, 6, 6};
  LICE_Clear(&b, kBackground);
  LICE_TransformBlit2(&b, &src, 0, 0, 12, 12, grid2, 2, 2, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
}

TEST(TransformBlit, GridCellsSplitTheRectangleByRounding)
{
  // dstw 10 in 3 cells: columns 0, 3, 7, 10. Each grid point names the source column of its
  // destination column, so the result is a plain copy, and every column is drawn once.
  LICE_MemBitmap src(10, 1), dest(10, 1);
  for (int x = 0; x < 10; ++x) pix(src, x, 0) = (LICE_pixel)(x + 1);
  LICE_Clear(&dest, 0);
  const double grid[] = {0, 0, 3, 0, 7, 0, 10, 0, 0, 1, 3, 1, 7, 1, 10, 1};
  LICE_TransformBlit2(&dest, &src, 0, 0, 10, 1, grid, 4, 2, 1.0f, 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(pix(dest, x, 0), (LICE_pixel)(x + 1)) << x;
  // Cells that would be 0 wide draw nothing; 2 pixels in 5 cells still cover both once.
  LICE_MemBitmap add(2, 1);
  LICE_Clear(&add, 0);
  LICE_Clear(&src, px(10, 10, 10, 10));
  const double g6[] = {0, 0, 0.4, 0, 0.8, 0, 1.2, 0, 1.6, 0, 2, 0, 0, 1, 0.4, 1, 0.8, 1, 1.2, 1, 1.6, 1, 2, 1};
  LICE_TransformBlit2(&add, &src, 0, 0, 2, 1, g6, 6, 2, 1.0f, 1);
  EXPECT_EQ(pix(add, 0, 0), px(10, 10, 10, 10));
  EXPECT_EQ(pix(add, 1, 0), px(10, 10, 10, 10));
}

TEST(TransformBlit, TooSmallGridsDrawNothing)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  numbered(src);
  LICE_Clear(&dest, kBackground);
  const float grid[] = {0, 0, 4, 0, 0, 4, 4, 4};
  LICE_TransformBlit(&dest, &src, 0, 0, 4, 4, grid, 1, 4, 1.0f, 0);
  LICE_TransformBlit(&dest, &src, 0, 0, 4, 4, grid, 4, 1, 1.0f, 0);
  LICE_TransformBlit(&dest, &src, 0, 0, 0, 4, grid, 2, 2, 1.0f, 0);
  LICE_TransformBlit(&dest, &src, 0, 0, 4, 4, nullptr, 2, 2, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), kBackground);
}

TEST(TransformBlit, OpacityGridFades)
{
  // Opacity 0 at the left corners and 1 at the right: weight grows by 256 / 8 per column.
  LICE_MemBitmap src(8, 2), dest(8, 2);
  LICE_Clear(&src, px(200, 200, 200, 255));
  LICE_Clear(&dest, px(0, 0, 0, 0));
  const double grid[] = {0, 0, 0, 8, 0, 1, 0, 2, 0, 8, 2, 1};
  LICE_TransformBlit2Alpha(&dest, &src, 0, 0, 8, 2, grid, 2, 2, 0);
  for (int x = 0; x < 8; ++x) {
    const int w = 32 * x;
    const int v = 200 + tdiv(-200 * (256 - w), 256);
    EXPECT_EQ(chR(pix(dest, x, 0)), v) << x;
    EXPECT_EQ(chR(pix(dest, x, 1)), v) << x;
  }
}
