// Scaled blits against a per-pixel reference: nearest-pixel sampling, bilinear filtering and
// the averaging filter for strong reductions. Steps and start positions are exact binary
// fractions, so the reference can follow each sample position in double precision.
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace rt;

namespace {

struct Scale
{
  int dstx, dsty, dstw, dsth;
  float srcx, srcy, srcw, srch;
};

// Sample positions of destination pixel (x, y), in source pixels; the rectangle's left and
// top destination edges sample srcx and srcy.
void samplePos(const Scale& s, int x, int y, double& sx, double& sy)
{
  sx = s.srcx + (x - s.dstx) * ((double)s.srcw / s.dstw);
  sy = s.srcy + (y - s.dsty) * ((double)s.srch / s.dsth);
}

bool inRect(const Scale& s, int x, int y)
{
  return x >= s.dstx && x < s.dstx + s.dstw && y >= s.dsty && y < s.dsty + s.dsth;
}

// Source pixels that may be read: those the rectangle touches, within the source.
int clipRight(const Scale& s, LICE_IBitmap& src)
{
  return std::min((int)std::ceil(s.srcx + s.srcw), src.getWidth());
}
int clipBottom(const Scale& s, LICE_IBitmap& src)
{
  return std::min((int)std::ceil(s.srcy + s.srch), src.getHeight());
}

LICE_pixel nearestRef(const Scale& s, LICE_IBitmap& src, LICE_pixel d, int x, int y, float alpha, int mode)
{
  double fx, fy;
  samplePos(s, x, y, fx, fy);
  const int sx = (int)std::floor(fx), sy = (int)std::floor(fy);
  if (sx < 0 || sy < 0 || sx >= clipRight(s, src) || sy >= clipBottom(s, src)) return d;
  const LICE_pixel p = pix(src, sx, sy);
  if ((mode & 0x1ffff) == 0 && alpha == 0.5f)
    return px(chR(d) / 2 + chR(p) / 2, chG(d) / 2 + chG(p) / 2, chB(d) / 2 + chB(p) / 2, chA(d) / 2 + chA(p) / 2);
  return refMode(d, p, (int)(alpha * 256), mode);
}

// Bilinear: the 2 x 2 neighbourhood weighted by the fractions; in the last column or row only
// the neighbour that exists is mixed in.
LICE_pixel bilinearRef(const Scale& s, LICE_IBitmap& src, LICE_pixel d, int x, int y, float alpha, int mode)
{
  double fx, fy;
  samplePos(s, x, y, fx, fy);
  const int sx = (int)std::floor(fx), sy = (int)std::floor(fy);
  const int cr = clipRight(s, src), cb = clipBottom(s, src);
  if (sx < 0 || sy < 0 || sx >= cr || sy >= cb) return d;
  double ax = fx - sx, ay = fy - sy;
  if (sx == cr - 1) ax = 0;
  if (sy == cb - 1) ay = 0;
  const int sx1 = std::min(sx + 1, cr - 1), sy1 = std::min(sy + 1, cb - 1);
  auto mix = [&](int (*ch)(LICE_pixel)) {
    const double v = ch(pix(src, sx, sy)) * (1 - ax) * (1 - ay) + ch(pix(src, sx1, sy)) * ax * (1 - ay) +
                     ch(pix(src, sx, sy1)) * (1 - ax) * ay + ch(pix(src, sx1, sy1)) * ax * ay;
    return (int)std::floor(v);
  };
  const LICE_pixel p = px(mix(chR), mix(chG), mix(chB), mix(chA));
  return refMode(d, p, (int)(alpha * 256), mode);
}

// Averaging: the mean of the source pixels within `half` of the nearest one, inside the limits.
LICE_pixel averageRef(const Scale& s, LICE_IBitmap& src, LICE_pixel d, int x, int y, int half, float alpha, int mode)
{
  double fx, fy;
  samplePos(s, x, y, fx, fy);
  const int sx = (int)std::floor(fx), sy = (int)std::floor(fy);
  const int cr = clipRight(s, src), cb = clipBottom(s, src);
  if (sx < 0 || sy < 0 || sx >= cr || sy >= cb) return d;
  int sum[4] = {0, 0, 0, 0}, n = 0;
  for (int yy = sy - half; yy <= sy + half; ++yy)
    for (int xx = sx - half; xx <= sx + half; ++xx) {
      if (xx < 0 || yy < 0 || xx >= cr || yy >= cb) continue;
      const LICE_pixel p = pix(src, xx, yy);
      sum[0] += chR(p), sum[1] += chG(p), sum[2] += chB(p), sum[3] += chA(p);
      ++n;
    }
  return refMode(d, px(sum[0] / n, sum[1] / n, sum[2] / n, sum[3] / n), (int)(alpha * 256), mode);
}

template <class Ref> void checkScaled(const Scale& s, float alpha, int mode, Ref ref, const char* what)
{
  LICE_MemBitmap src(12, 10), dest(16, 14), before(16, 14);
  fillPattern(src, 21);
  fillPattern(dest, 22);
  copyPixels(before, dest);
  LICE_ScaledBlit(&dest, &src, s.dstx, s.dsty, s.dstw, s.dsth, s.srcx, s.srcy, s.srcw, s.srch, alpha, mode);
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 16; ++x) {
      const LICE_pixel d = pix(before, x, y);
      const LICE_pixel want = inRect(s, x, y) ? ref(s, src, d, x, y, alpha, mode) : d;
      ASSERT_EQ(pix(dest, x, y), want) << what << " rect " << s.dstx << "," << s.dsty << " " << s.dstw << "x" << s.dsth
                                       << " from " << s.srcx << "," << s.srcy << " " << s.srcw << "x" << s.srch
                                       << " mode " << mode << " alpha " << alpha << " at " << x << "," << y << " got "
                                       << str(pix(dest, x, y)) << " want " << str(want);
    }
}

// Rectangles inside the source, scaled up and down by exact factors, some partly off the
// destination.
const Scale kScales[] = {
    {0, 0, 16, 14, 0, 0, 8, 7},        {1, 2, 8, 6, 2, 1, 4, 3},   {-3, -2, 12, 12, 1, 1, 6, 6},
    {5, 4, 20, 20, 0, 0, 10, 10},      {2, 2, 6, 4, 0, 0, 12, 8},  {0, 0, 3, 2, 0, 0, 12, 8},
    {3, 1, 5, 7, 4.5f, 2, 2.5f, 3.5f}, {-6, 0, 12, 9, 0, 0, 3, 9}, {0, 0, 16, 14, 0.25f, 0.5f, 4, 3.5f},
};

} // namespace

TEST(ScaledBlit, NearestPixelSamplingInEveryMode)
{
  for (const Scale& s : kScales)
    for (int mode : {0, 1, 3, 5, 0x10000, 0x10002, 0x10004, 0x200})
      for (float alpha : {1.0f, 0.5f, 0.3f}) checkScaled(s, alpha, mode, nearestRef, "nearest");
}

TEST(ScaledBlit, BilinearSampling)
{
  // Scales whose step is below 1.7 on at least one axis: no averaging.
  const Scale scales[] = {
      {0, 0, 16, 14, 0, 0, 8, 7},           {1, 2, 8, 6, 2, 1, 4, 3},
      {-3, -2, 12, 12, 1, 1, 6, 6},         {5, 4, 20, 20, 0, 0, 10, 10},
      {0, 0, 16, 14, 0.25f, 0.5f, 4, 3.5f}, {0, 0, 8, 4, 0, 0, 12, 4},
      {0, 0, 4, 8, 0, 0, 4, 8.5f},          {2, 3, 4, 2, 0, 0, 8, 2},
      {0, 0, 6, 5, 0.5f, 0, 6, 5},
  };
  for (const Scale& s : scales)
    for (int mode : {0x100, 0x101, 0x10100, 0x10103})
      for (float alpha : {1.0f, 0.5f, 0.6f}) checkScaled(s, alpha, mode, bilinearRef, "bilinear");
}

TEST(ScaledBlit, AveragingFilterForStrongReductions)
{
  // Steps of 2 (3 x 3 window) and 4 (5 x 5 window) on both axes.
  const Scale threes[] = {{0, 0, 6, 5, 0, 0, 12, 10}, {1, 1, 3, 2, 2, 2, 6, 4}, {-1, 0, 4, 3, 0, 0, 8, 6}};
  for (const Scale& s : threes)
    for (int mode : {0x100, 0x10101})
      for (float alpha : {1.0f, 0.5f})
        checkScaled(
            s, alpha, mode,
            [](const Scale& sc, LICE_IBitmap& src, LICE_pixel d, int x, int y, float a, int m) {
              return averageRef(sc, src, d, x, y, 1, a, m);
            },
            "average3");
  const Scale fives[] = {{0, 0, 3, 2, 0, 0, 12, 8}, {4, 4, 2, 2, 4, 2, 8, 8}};
  for (const Scale& s : fives)
    checkScaled(
        s, 1.0f, 0x100,
        [](const Scale& sc, LICE_IBitmap& src, LICE_pixel d, int x, int y, float a, int m) {
          return averageRef(sc, src, d, x, y, 2, a, m);
        },
        "average5");
}

TEST(ScaledBlit, BorderAveragesCountOnlyPixelsInside)
{
  // 3 x 3 window: centred on column 0 it averages 6 pixels, on (0, 0) 4.
  LICE_MemBitmap src(8, 8), dest(4, 4);
  LICE_Clear(&src, 0);
  pix(src, 0, 0) = px(240, 0, 0, 0);
  pix(src, 1, 1) = px(0, 240, 0, 0);
  pix(src, 0, 3) = px(0, 0, 240, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 8, 8, 1.0f, 0x100);
  EXPECT_EQ(pix(dest, 0, 0), px(60, 60, 0, 0)); // 4 pixels around (0, 0)
  EXPECT_EQ(pix(dest, 0, 1), px(0, 40, 40, 0)); // 6 pixels around (0, 2)
}

TEST(ScaledBlit, TwoByTwoUpToFourByFourBilinear)
{
  LICE_MemBitmap src(2, 2), dest(4, 4);
  pix(src, 0, 0) = px(0, 0, 0, 0);
  pix(src, 1, 0) = px(100, 0, 0, 0);
  pix(src, 0, 1) = px(0, 200, 0, 0);
  pix(src, 1, 1) = px(60, 60, 60, 60);
  LICE_Clear(&dest, 0xffffffff);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0x100);
  // Columns 0 and 1 sample column 0 at fractions 0 and 0.5, mixed in both directions in rows 0
  // and 1; columns 2 and 3 sample the last column, mixed vertically only; rows 2 and 3 the last
  // row, mixed horizontally only; the bottom-right four copy the last pixel.
  EXPECT_EQ(pix(dest, 0, 0), px(0, 0, 0, 0));
  EXPECT_EQ(pix(dest, 1, 0), px(50, 0, 0, 0));
  EXPECT_EQ(pix(dest, 0, 1), px(0, 100, 0, 0));
  EXPECT_EQ(pix(dest, 1, 1), px(40, 65, 15, 15));
  EXPECT_EQ(pix(dest, 2, 0), px(100, 0, 0, 0));
  EXPECT_EQ(pix(dest, 3, 1), px(80, 30, 30, 30));
  EXPECT_EQ(pix(dest, 0, 2), px(0, 200, 0, 0));
  EXPECT_EQ(pix(dest, 1, 3), px(30, 130, 30, 30));
  for (int y = 2; y < 4; ++y)
    for (int x = 2; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), px(60, 60, 60, 60));
}

TEST(ScaledBlit, SameSizeIsAPlainBlitFromTheRoundedPosition)
{
  LICE_MemBitmap src(10, 10), a(8, 8), b(8, 8);
  fillPattern(src, 30);
  for (int mode : {0, 1, 0x10000}) {
    LICE_Clear(&a, 0x10203040);
    LICE_Clear(&b, 0x10203040);
    LICE_ScaledBlit(&a, &src, 1, 1, 5, 5, 2.4f, 2.6f, 5.0005f, 5, 0.7f, mode);
    LICE_Blit(&b, &src, 1, 1, 2, 3, 5, 5, 0.7f, mode);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0) << mode;
  }
  // With filtering, a position within 0.03 of a whole pixel is still a plain blit ...
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  LICE_ScaledBlit(&a, &src, 0, 0, 6, 6, 3.02f, 1.0f, 6, 6, 1.0f, 0x100);
  LICE_Blit(&b, &src, 0, 0, 3, 1, 6, 6, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
  // ... while half a pixel off resamples with half weights.
  LICE_ScaledBlit(&a, &src, 0, 0, 6, 6, 0.5f, 0.0f, 6, 6, 1.0f, 0x100);
  for (int x = 0; x < 6; ++x) {
    const LICE_pixel l = pix(src, x, 2), r = pix(src, x + 1, 2);
    EXPECT_EQ(pix(a, x, 2),
              px((chR(l) + chR(r)) / 2, (chG(l) + chG(r)) / 2, (chB(l) + chB(r)) / 2, (chA(l) + chA(r)) / 2));
  }
}

TEST(ScaledBlit, NegativeDestinationStartSkipsSamples)
{
  // Starting at dstx -10 with step 2 samples 20 source pixels further right.
  LICE_MemBitmap src(40, 1), dest(5, 1);
  for (int x = 0; x < 40; ++x) pix(src, x, 0) = (LICE_pixel)x;
  LICE_ScaledBlit(&dest, &src, -10, 0, 15, 1, 0, 0, 30, 1, 1.0f, 0);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(pix(dest, x, 0), (LICE_pixel)(20 + 2 * x));
}

TEST(ScaledBlit, NegativeWidthMirrors)
{
  // Sampling starts at srcx + srcw and steps left; the first sample lies on the right edge,
  // outside the source, and leaves its pixel.
  LICE_MemBitmap src(4, 1), dest(6, 2);
  for (int x = 0; x < 4; ++x) pix(src, x, 0) = (LICE_pixel)(x + 1);
  LICE_Clear(&dest, 0);
  LICE_ScaledBlit(&dest, &src, 5, 0, -4, 2, 0, 0, 4, 1, 1.0f, 0);
  const LICE_pixel want[6] = {0, 0, 4, 3, 2, 0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(pix(dest, x, 1), want[x]) << x;
}

TEST(ScaledBlit, RectangleBeyondTheSourceIsTrimmed)
{
  // Columns 5 onwards of a 10-wide source at step 1 (with a vertical stretch, so that the call
  // is not a plain blit): 4 destination columns are drawn, from source columns 5 to 8.
  LICE_MemBitmap src(10, 2), dest(10, 4);
  for (int x = 0; x < 10; ++x) pix(src, x, 0) = pix(src, x, 1) = (LICE_pixel)(100 + x);
  LICE_Clear(&dest, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 10, 4, 5, 0, 10, 2, 1.0f, 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(pix(dest, x, 0), x < 4 ? (LICE_pixel)(105 + x) : 0u) << x;
}

TEST(ScaledBlit, FlippedBitmaps)
{
  FlippedBitmap src(6, 4), dest(8, 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) src.at(x, y) = (LICE_pixel)(y * 16 + x);
  LICE_ScaledBlit(&dest, &src, 0, 0, 8, 8, 0, 0, 4, 4, 1.0f, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(dest.at(x, y), (LICE_pixel)((y / 2) * 16 + x / 2)) << x << "," << y;
  EXPECT_TRUE(dest.guardIntact());
}

TEST(ScaledBlit, NothingDrawnForEmptyArguments)
{
  LICE_MemBitmap src(4, 4), dest(4, 4);
  fillPattern(src, 1);
  LICE_Clear(&dest, 7);
  LICE_ScaledBlit(&dest, &src, 0, 0, 0, 4, 0, 0, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 0, 0, 0, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.0f, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.002f, 1);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 6);
  LICE_ScaledBlit(&dest, &src, 4, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 10, 10, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, -10, -10, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(nullptr, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, nullptr, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0);
  LICE_ScaledBlit(&dest, &src, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 1e30f, 1e30f, 1.0f, 0x100);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(dest, x, y), 7u);
}

TEST(ScaledBlit, ClippedDestinationNeverReadsBeyondTheSourceRectangle)
{
  // Frame 0 of a two-frame strip, doubled and drawn half off the left edge with filtering:
  // the last column of the frame is mixed with nothing to its right, wherever the destination
  // is clipped.
  LICE_MemBitmap strip(8, 2), dest(4, 4);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) pix(strip, x, y) = x < 4 ? px(10, 10, 10, 255) : px(250, 0, 0, 255);
  for (int dstx : {0, -2, -4, -6}) {
    LICE_Clear(&dest, 0);
    LICE_ScaledBlit(&dest, &strip, dstx, 0, 8, 4, 0, 0, 4, 2, 1.0f, 0x100);
    for (int x = 0; x < 4; ++x)
      if (x - dstx < 8) {
        EXPECT_EQ(pix(dest, x, 0), px(10, 10, 10, 255)) << dstx << " " << x;
      }
  }
}
