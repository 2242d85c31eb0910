// Rectangle fills and single pixels.
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

using namespace rt;

namespace {

// Every pixel of bm equals what f(x, y) says.
template <class F> void expectPixels(LICE_IBitmap& bm, F f, const char* what = "")
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) {
      const LICE_pixel got = bm.isFlipped() ? static_cast<FlippedBitmap&>(bm).at(x, y) : pix(bm, x, y);
      const LICE_pixel want = f(x, y);
      ASSERT_EQ(got, want) << what << " at " << x << "," << y << " got " << str(got) << " want " << str(want);
    }
}

bool inside(int x, int y, int l, int t, int r, int b)
{
  return x >= l && x < r && y >= t && y < b;
}

} // namespace

TEST(Clear, StoresTheColourEverywhere)
{
  LICE_MemBitmap bm(5, 3);
  LICE_Clear(&bm, 0x01020304);
  expectPixels(bm, [](int, int) { return 0x01020304u; });
  LICE_Clear(nullptr, 0); // nothing to do
  LICE_MemBitmap empty;
  LICE_Clear(&empty, 1);
}

TEST(FillRect, CopyFastWeightsOverWhite)
{
  struct Case
  {
    float alpha;
    int byte;
  };
  // Black with alpha byte 0 over white: 0.25 gives 255/2 + 255/4 = 190, 0.5 gives 127.
  const Case cases[] = {{0.25f, 190}, {0.5f, 127}, {0.75f, 63}, {1.0f, 0}};
  for (const Case& c : cases) {
    LICE_MemBitmap bm(4, 4);
    LICE_Clear(&bm, 0xffffffff);
    LICE_FillRect(&bm, 0, 0, 4, 4, 0, c.alpha, 0);
    expectPixels(bm, [&](int, int) { return px(c.byte, c.byte, c.byte, c.byte); });
  }
}

TEST(FillRect, EveryModeAndWeightMatchesTheRulesPerPixel)
{
  const LICE_pixel colours[] = {px(200, 100, 50, 255), px(0, 255, 128, 0), px(30, 60, 90, 128), px(255, 255, 255, 17)};
  const float alphas[] = {0.0f, 0.003f, 0.1f, 0.25f, 0.3f, 0.5f, 0.6f, 0.75f, 1.0f};
  const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0x10000, 0x10001, 0x10003, 0x10005, 0x100, 0xf4};
  for (LICE_pixel c : colours)
    for (float alpha : alphas)
      for (int mode : modes) {
        LICE_MemBitmap bm(9, 6), orig(9, 6);
        fillPattern(bm, 7);
        copyPixels(orig, bm);
        LICE_FillRect(&bm, 2, 1, 5, 3, c, alpha, mode);
        // The weight, scaled by the colour's alpha with the source-alpha flag.
        float a = alpha;
        if (mode & 0x10000) a *= (float)chA(c) / 255.0f;
        const int w = (int)((double)a * 256.0);
        const int op = mode & 0xff;
        expectPixels(
            bm,
            [&](int x, int y) {
              const LICE_pixel d = pix(orig, x, y);
              if (!inside(x, y, 2, 1, 7, 4) || op > 5 || w == 0) return d;
              // Copy: whole-pixel arithmetic at the quarter weights, the colour's alpha byte as the
              // alpha source; otherwise the rule with the weight as alpha source.
              if (op == 0 && isFastWeight(w)) return refFastCopy(d, c, w);
              return refPlain(d, chR(c), chG(c), chB(c), w, w, op);
            },
            "fill");
      }
}

TEST(FillRect, GeneralWeightUsesTheWeightAsAlphaSource)
{
  // alpha 0.3 takes the general path with weight 76; the alpha byte moves towards 76.
  LICE_MemBitmap bm(1, 1);
  pix(bm, 0, 0) = px(0, 0, 0, 0);
  LICE_FillRect(&bm, 0, 0, 1, 1, px(255, 255, 255, 255), 0.3f, 0);
  EXPECT_EQ(pix(bm, 0, 0), px(255 - 179, 255 - 179, 255 - 179, 76 - 53));
}

TEST(FillRect, ClipsToTheBitmap)
{
  struct Case
  {
    int x, y, w, h;
    int l, t, r, b; // filled area
  };
  const Case cases[] = {
      {-5, 0, 10, 2, 0, 0, 5, 2},
      {0, -3, 2, 5, 0, 0, 2, 2},
      {8, 8, 10, 10, 8, 8, 10, 10},
      {10, 0, 5, 5, 0, 0, 0, 0},
      {0, 10, 5, 5, 0, 0, 0, 0},
      {-20, -20, 15, 15, 0, 0, 0, 0},
      {2, 2, 0, 5, 0, 0, 0, 0},
      {2, 2, -4, 5, 0, 0, 0, 0},
      {-1, -1, 100, 100, 0, 0, 10, 10},
      {INT_MIN, 0, 5, 5, 0, 0, 0, 0},
      {0, 0, INT_MAX, INT_MAX, 0, 0, 10, 10},
  };
  for (const Case& c : cases) {
    LICE_MemBitmap bm(10, 10);
    LICE_Clear(&bm, 0);
    LICE_FillRect(&bm, c.x, c.y, c.w, c.h, 0xffffffff, 1.0f, 0);
    expectPixels(bm, [&](int x, int y) { return inside(x, y, c.l, c.t, c.r, c.b) ? 0xffffffffu : 0u; });
  }
}

TEST(FillRect, SourceAlphaFlagScalesByTheColourAlpha)
{
  LICE_MemBitmap bm(2, 2);
  LICE_Clear(&bm, px(10, 20, 30, 40));
  LICE_FillRect(&bm, 0, 0, 2, 2, px(255, 255, 255, 0), 1.0f, 0x10000);
  expectPixels(bm, [](int, int) { return px(10, 20, 30, 40); });
  LICE_FillRect(&bm, 0, 0, 2, 2, px(1, 2, 3, 255), 1.0f, 0x10000);
  expectPixels(bm, [](int, int) { return px(1, 2, 3, 255); });
}

TEST(FillRect, FlippedBitmapFillsTheMirroredMemoryRows)
{
  FlippedBitmap bm(4, 10);
  LICE_FillRect(&bm, 0, 0, 4, 2, 0x11223344, 1.0f, 0);
  for (int row = 0; row < 10; ++row)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(bm.memAt(x, row), row >= 8 ? 0x11223344u : 0u) << row;
  EXPECT_TRUE(bm.guardIntact());
  // General path too.
  LICE_FillRect(&bm, 1, 3, 2, 1, px(100, 100, 100, 100), 0.3f, 1);
  EXPECT_EQ(bm.memAt(1, 6), px(29, 29, 29, 22)); // alpha byte: 76 x 76 / 256
  EXPECT_TRUE(bm.guardIntact());
}

TEST(FillRect, NothingWithoutBitmapOrWeight)
{
  LICE_FillRect(nullptr, 0, 0, 5, 5, 0xffffffff, 1.0f, 0);
  LICE_MemBitmap bm(3, 3);
  LICE_Clear(&bm, 0x55555555);
  for (float a : {0.0f, 0.002f, -0.5f}) LICE_FillRect(&bm, 0, 0, 3, 3, 0xffffffff, a, 0);
  LICE_FillRect(&bm, 0, 0, 3, 3, 0xffffffff, 0.003f, 1);
  expectPixels(bm, [](int, int) { return 0x55555555u; });
}

TEST(ClearRect, KeepsMaskedBitsAndSetsOthers)
{
  LICE_MemBitmap bm(4, 4);
  LICE_Clear(&bm, px(10, 20, 30, 40));
  LICE_ClearRect(&bm, 1, 1, 10, 2, 0xffffff00, 0);
  expectPixels(bm, [](int x, int y) { return inside(x, y, 1, 1, 4, 3) ? px(10, 20, 30, 0) : px(10, 20, 30, 40); });
  LICE_ClearRect(&bm, -2, -2, 3, 3, 0, 0x000000ff);
  EXPECT_EQ(pix(bm, 0, 0), 0xffu);
  EXPECT_EQ(pix(bm, 1, 1), px(10, 20, 30, 0));
}

TEST(Pixels, GetAndPutWithinBoundsOnly)
{
  LICE_MemBitmap bm(4, 3);
  LICE_Clear(&bm, 0);
  LICE_PutPixel(&bm, 2, 1, 0x12345678, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 1), 0x12345678u);
  for (auto [x, y] : {std::pair{4, 0}, {-1, 0}, {0, -1}, {0, 3}, {INT_MIN, INT_MIN}}) {
    LICE_PutPixel(&bm, x, y, 0xffffffff, 1.0f, 0);
    LICE_SetPixel(&bm, x, y, 0xffffffff);
    EXPECT_EQ(LICE_GetPixel(&bm, x, y), 0u);
  }
  EXPECT_EQ(LICE_GetPixel(nullptr, 0, 0), 0u);
  LICE_PutPixel(nullptr, 0, 0, 1, 1.0f, 0);
  LICE_SetPixel(nullptr, 0, 0, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pix(bm, x, y), (x == 2 && y == 1) ? 0x12345678u : 0u);
}

TEST(Pixels, PutPixelUsesTheColourAlphaAsAlphaSource)
{
  const LICE_pixel colours[] = {px(200, 100, 50, 255), px(7, 8, 9, 0), px(30, 60, 90, 128)};
  for (LICE_pixel c : colours)
    for (float alpha : {0.1f, 0.25f, 0.3f, 0.5f, 0.75f, 1.0f})
      for (int mode : {0, 1, 2, 3, 4, 5, 0x10001}) {
        LICE_MemBitmap bm(1, 1);
        const LICE_pixel d = px(90, 180, 20, 60);
        pix(bm, 0, 0) = d;
        LICE_PutPixel(&bm, 0, 0, c, alpha, mode);
        // The source-alpha flag has no effect on single pixels.
        const int w = (int)(alpha * 256);
        const LICE_pixel want =
            (mode & 0xff) == 0 && isFastWeight(w) ? refFastCopy(d, c, w) : refMode(d, c, w, mode & 0xff);
        EXPECT_EQ(pix(bm, 0, 0), want) << alpha << " " << mode;
      }
}

TEST(Pixels, FlippedBitmapRowZeroIsTheLastMemoryRow)
{
  FlippedBitmap bm(3, 10);
  LICE_PutPixel(&bm, 1, 0, 0xaabbccdd, 1.0f, 0);
  EXPECT_EQ(bm.memAt(1, 9), 0xaabbccddu);
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 0), 0xaabbccddu);
  LICE_SetPixel(&bm, 2, 9, 5);
  EXPECT_EQ(bm.memAt(2, 0), 5u);
  EXPECT_TRUE(bm.guardIntact());
}

// The direct pixel store never writes past the pixels it is given, whatever the coordinates.
TEST(Pixels, SetPixelNeverWritesOutsideTheBitmap)
{
  FlippedBitmap bm(5, 4, 7);
  for (int y = -10; y < 15; ++y)
    for (int x = -10; x < 15; ++x) LICE_SetPixel(&bm, x, y, 0x01010101);
  EXPECT_TRUE(bm.guardIntact());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bm.at(x, y), 0x01010101u);
}

TEST(MultiplyAddRect, ScalesAndOffsetsChannels)
{
  LICE_MemBitmap bm(3, 2);
  LICE_Clear(&bm, px(10, 100, 200, 50));
  LICE_MultiplyAddRect(&bm, 0, 0, 3, 2, 1, 1, 1, 1, 0, 0, 0, 0);
  expectPixels(bm, [](int, int) { return px(10, 100, 200, 50); });
  LICE_MultiplyAddRect(&bm, 0, 0, 3, 2, 1, 1, 1, 1, 300.0f, 0, 0, 0);
  expectPixels(bm, [](int, int) { return px(255, 100, 200, 50); });
  LICE_MultiplyAddRect(&bm, 0, 0, 3, 2, 1, -1.0f, 1, 1, 0, 0, 0, 0);
  expectPixels(bm, [](int, int) { return px(255, 0, 200, 50); });
  // Half the blue plus one unit; alpha doubled: (200 x 128 + 256) >> 8 = 101.
  LICE_MultiplyAddRect(&bm, 1, 0, 5, 1, 1, 1, 0.5f, 2.0f, 0, 0, 1.0f, 0);
  EXPECT_EQ(pix(bm, 1, 0), px(255, 0, 101, 100));
  EXPECT_EQ(pix(bm, 0, 0), px(255, 0, 200, 50));
}

TEST(ProcessRect, VisitsEveryPixelOfTheClippedRectangleInOrder)
{
  LICE_MemBitmap bm(4, 4);
  LICE_Clear(&bm, 0);
  int counter = 0;
  LICE_ProcessRect(
      &bm, -1, 2, 3, 5,
      [](LICE_pixel* p, void* parm) {
        int* c = static_cast<int*>(parm);
        *p = (LICE_pixel)++ * c;
      },
      &counter);
  EXPECT_EQ(counter, 4);
  EXPECT_EQ(pix(bm, 0, 2), 1u);
  EXPECT_EQ(pix(bm, 1, 2), 2u);
  EXPECT_EQ(pix(bm, 0, 3), 3u);
  EXPECT_EQ(pix(bm, 1, 3), 4u);
  LICE_ProcessRect(&bm, 0, 0, 4, 4, nullptr, nullptr);
}

TEST(SetAlphaFromColorMask, KeyColourBecomesTransparent)
{
  LICE_MemBitmap bm(2, 2);
  pix(bm, 0, 0) = px(255, 255, 255, 255);
  pix(bm, 1, 0) = px(255, 255, 255, 0);
  pix(bm, 0, 1) = px(255, 254, 255, 7);
  pix(bm, 1, 1) = px(0, 0, 0, 0);
  LICE_SetAlphaFromColorMask(&bm, 0xffffff00);
  EXPECT_EQ(pix(bm, 0, 0), px(255, 255, 255, 0));
  EXPECT_EQ(pix(bm, 1, 0), px(255, 255, 255, 0));
  EXPECT_EQ(pix(bm, 0, 1), px(255, 254, 255, 255));
  EXPECT_EQ(pix(bm, 1, 1), px(0, 0, 0, 255));
  // A key with an alpha byte matches nothing: every pixel becomes opaque.
  LICE_SetAlphaFromColorMask(&bm, 0xffffffff);
  EXPECT_EQ(pix(bm, 0, 0), px(255, 255, 255, 255));
}

TEST(SimpleFill, FillsTheColumnRunAndItsRowRuns)
{
  // 7 x 6 map: '#' walls, '.' open. Seed at (3, 1). Column 3 has a wall at row 3, so nothing
  // below it is filled even though the open area continues around the wall's end.
  const char* map[] = {
      ".......", //
      "..#....", //
      ".......", //
      "...#...", //
      ".......", //
      ".......", //
  };
  LICE_MemBitmap bm(7, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) pix(bm, x, y) = map[y][x] == '#' ? 1u : 0u;
  LICE_SimpleFill(&bm, 3, 1, 0x80, 0xffffffff, 0);
  const char* want[] = {
      "FFFFFFF", //
      "..#FFFF", //
      "FFFFFFF", //
      "...#...", //
      ".......", //
      ".......", //
  };
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) {
      const LICE_pixel w = want[y][x] == 'F' ? 0x80u : want[y][x] == '#' ? 1u : 0u;
      EXPECT_EQ(pix(bm, x, y), w) << x << "," << y;
    }
  LICE_SimpleFill(&bm, 7, 0, 1, 0xffffffff, 0);
  LICE_SimpleFill(&bm, -1, 0, 1, 0xffffffff, 0);
  LICE_SimpleFill(nullptr, 0, 0, 1, 0xffffffff, 0);
}

TEST(SimpleFill, MasksSelectWhatMatchesAndWhatIsKept)
{
  LICE_MemBitmap bm(3, 1);
  pix(bm, 0, 0) = 0x000000ff;
  pix(bm, 1, 0) = 0x000000aa; // same colour bits, other alpha
  pix(bm, 2, 0) = 0x00ff00aa;
  LICE_SimpleFill(&bm, 0, 0, 0x11000000, 0xffffff00, 0x000000ff);
  EXPECT_EQ(pix(bm, 0, 0), 0x110000ffu);
  EXPECT_EQ(pix(bm, 1, 0), 0x110000aau);
  EXPECT_EQ(pix(bm, 2, 0), 0x00ff00aau);
}
