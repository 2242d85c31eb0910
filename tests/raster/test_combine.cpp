// Pixel layout and combine rules: what one source colour does to one destination pixel in
// every mode, with and without source alpha, at several weights.
#include "raster_test_util.h"

#include <gtest/gtest.h>

using namespace rt;

namespace {

const float kAlphas[] = {0.0f, 0.002f, 0.004f, 0.1f, 0.25f, 0.3f, 0.5f, 0.75f, 0.9f, 0.999f, 1.0f};
const int kModes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005};

std::vector<LICE_pixel> samplePixels()
{
  std::vector<LICE_pixel> v = {px(0, 0, 0, 0),     px(255, 255, 255, 255), px(255, 0, 0, 255),    px(0, 255, 0, 128),
                               px(0, 0, 255, 1),   px(128, 128, 128, 254), px(10, 200, 90, 127),  px(250, 3, 77, 64),
                               px(77, 77, 200, 0), px(1, 254, 128, 200),   px(200, 200, 10, 255), px(64, 192, 32, 100)};
  return v;
}

} // namespace

TEST(PixelLayout, BytesInMemoryAreAlphaRedGreenBlue)
{
  const LICE_pixel p = LICE_RGBA(0x11, 0x22, 0x33, 0x44);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&p);
  EXPECT_EQ(b[0], 0x44);
  EXPECT_EQ(b[1], 0x11);
  EXPECT_EQ(b[2], 0x22);
  EXPECT_EQ(b[3], 0x33);
  EXPECT_EQ(p, px(0x11, 0x22, 0x33, 0x44));
  EXPECT_EQ(LICE_GETR(p), 0x11u);
  EXPECT_EQ(LICE_GETG(p), 0x22u);
  EXPECT_EQ(LICE_GETB(p), 0x33u);
  EXPECT_EQ(LICE_GETA(p), 0x44u);
}

TEST(CombinePixels, EveryModeAndWeightMatchesTheArithmeticRules)
{
  const auto pixels = samplePixels();
  int checked = 0;
  for (int mode : kModes)
    for (float alpha : kAlphas)
      for (LICE_pixel d : pixels)
        for (LICE_pixel s : pixels) {
          const int w = (int)(alpha * 256);
          const LICE_pixel want = refMode(d, s, w, mode);
          const LICE_pixel got = LICE_CombinePixels(d, s, alpha, mode);
          ASSERT_EQ(got, want) << "mode " << std::hex << mode << std::dec << " alpha " << alpha << " dest " << str(d)
                               << " src " << str(s) << " got " << str(got) << " want " << str(want);
          ++checked;
        }
  EXPECT_GT(checked, 10000);
}

TEST(CombinePixels, InPlaceFormTakesChannelsAndFixedWeight)
{
  const auto pixels = samplePixels();
  const int weights[] = {0, 1, 37, 64, 128, 200, 255, 256};
  for (int mode : kModes)
    for (int w : weights)
      for (LICE_pixel d : pixels)
        for (LICE_pixel s : pixels) {
          LICE_pixel got = d;
          LICE_CombinePixels2(&got, chR(s), chG(s), chB(s), chA(s), w, mode);
          ASSERT_EQ(got, refMode(d, s, w, mode)) << "mode " << mode << " w " << w;
        }
}

TEST(CombinePixels, ModesOutsideTheTableLeaveTheDestination)
{
  const LICE_pixel d = px(10, 20, 30, 40), s = px(200, 100, 50, 255);
  for (int mode : {6, 7, 0x20, 0xef, 0xff, 0x10006, 0x100ff}) {
    EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, mode), d) << mode;
    EXPECT_EQ(LICE_CombinePixels(d, s, 0.5f, mode), d) << mode;
    LICE_pixel p = d;
    LICE_CombinePixels2(&p, 1, 2, 3, 4, 128, mode);
    EXPECT_EQ(p, d) << mode;
  }
}

TEST(CombinePixels, FilterAndUnknownHighBitsAreIgnored)
{
  const LICE_pixel d = px(10, 20, 30, 40), s = px(200, 100, 50, 128);
  EXPECT_EQ(LICE_CombinePixels(d, s, 0.3f, 0x100 | 1), LICE_CombinePixels(d, s, 0.3f, 1));
  EXPECT_EQ(LICE_CombinePixels(d, s, 0.3f, 0x20000 | 3), LICE_CombinePixels(d, s, 0.3f, 3));
}

// The examples the combine rules are specified with, values worked out by hand.
TEST(CombinePixels, WorkedExamples)
{
  const LICE_pixel white = px(255, 255, 255, 255), black = px(0, 0, 0, 0);
  // Weight 0 changes nothing in any mode.
  for (int mode : kModes) EXPECT_EQ(LICE_CombinePixels(white, px(1, 2, 3, 4), 0.003f, mode), white);
  // Copy at alpha 1 returns the source exactly, alpha byte included.
  EXPECT_EQ(LICE_CombinePixels(white, px(1, 2, 3, 4), 1.0f, 0), px(1, 2, 3, 4));
  // Copy at weight 128 rounds towards the source.
  EXPECT_EQ(LICE_CombinePixels(white, black, 0.5f, 0), px(127, 127, 127, 127));
  EXPECT_EQ(LICE_CombinePixels(black, white, 0.5f, 0), px(128, 128, 128, 128));
  // Copy with source alpha at the whole weight.
  EXPECT_EQ(LICE_CombinePixels(px(9, 9, 9, 9), px(200, 100, 50, 0), 1.0f, 0x10000), px(9, 9, 9, 9));
  EXPECT_EQ(LICE_CombinePixels(px(9, 9, 9, 9), px(200, 100, 50, 255), 1.0f, 0x10000), px(200, 100, 50, 255));
  // Source alpha 128: c + trunc((d - c) x 127 / 256), alpha + 128.
  EXPECT_EQ(LICE_CombinePixels(px(0, 255, 100, 100), px(200, 0, 100, 128), 1.0f, 0x10000), px(200 - 99, 126, 100, 228));
  EXPECT_EQ(LICE_CombinePixels(px(0, 0, 0, 200), px(0, 0, 0, 128), 1.0f, 0x10000), px(0, 0, 0, 255));
  // Add saturates every byte.
  EXPECT_EQ(LICE_CombinePixels(px(200, 10, 255, 250), px(100, 10, 1, 100), 1.0f, 1), px(255, 20, 255, 255));
  // Multiply by white scales by 255/256.
  EXPECT_EQ(LICE_CombinePixels(white, white, 1.0f, 3), px(254, 254, 254, 254));
  EXPECT_EQ(LICE_CombinePixels(px(128, 0, 2, 0), white, 1.0f, 3), px(127, 0, 1, 0));
  // Colour dodge with a full source channel turns non-zero channels to 255, keeps 0.
  EXPECT_EQ(LICE_CombinePixels(px(1, 0, 128, 0), white, 1.0f, 2), px(255, 0, 255, 0));
  // Overlay with source 128 at the whole weight keeps the channel.
  EXPECT_EQ(LICE_CombinePixels(px(0, 77, 255, 200), px(128, 128, 128, 128), 1.0f, 4), px(0, 77, 255, 200));
  // HSV adjust with neutral adjustments keeps pure red and grey, and sets alpha.
  EXPECT_EQ(LICE_CombinePixels(px(255, 0, 0, 255), px(128, 128, 128, 17), 1.0f, 5), px(255, 0, 0, 17));
  EXPECT_EQ(LICE_CombinePixels(px(90, 90, 90, 0), px(128, 128, 128, 200), 1.0f, 5), px(90, 90, 90, 200));
  // A full hue shift (r = 255: +190 of 384) turns pure red to (0, 255, 247).
  EXPECT_EQ(LICE_CombinePixels(px(255, 0, 0, 255), px(255, 128, 128, 255), 1.0f, 5), px(0, 255, 247, 255));
  // Value at b = 0 and the whole weight goes to 0 (black whatever the hue).
  EXPECT_EQ(LICE_CombinePixels(px(10, 200, 30, 5), px(128, 128, 0, 9), 1.0f, 5), px(0, 0, 0, 9));
}

TEST(CombinePixels, SourceAlphaZeroPixels)
{
  const LICE_pixel d = px(255, 100, 0, 50), s = px(0, 200, 255, 0);
  // Copy, add and multiply skip them.
  for (int mode : {0x10000, 0x10001, 0x10003}) {
    EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, mode), d) << mode;
    EXPECT_EQ(LICE_CombinePixels(d, s, 0.6f, mode), d) << mode;
  }
  // Colour dodge leaves them unchanged by its arithmetic.
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, 0x10002), d);
  // Overlay leaves them below the whole weight; at the whole weight 255 under a 0 source
  // channel darkens to 254.
  EXPECT_EQ(LICE_CombinePixels(d, s, 0.9f, 0x10004), d);
  EXPECT_EQ(chR(LICE_CombinePixels(d, s, 1.0f, 0x10004)), 254);
  // HSV adjust still converts them and sets their alpha byte to 0.
  EXPECT_EQ(chA(LICE_CombinePixels(px(10, 20, 30, 99), px(128, 128, 128, 0), 1.0f, 0x10005)), 0);
}

TEST(CombinePixels, ClampFormLimitsChannelsOutsideTheByteRange)
{
  LICE_pixel p = px(10, 20, 30, 40);
  LICE_CombinePixels2Clamp(&p, 300, -20, 128, 999, 256, 0);
  EXPECT_EQ(p, px(255, 0, 128, 255));

  p = px(10, 20, 30, 40);
  LICE_CombinePixels2(&p, 300, -20, 128, 999, 256, 0);
  EXPECT_EQ(p, px(300 & 0xff, (-20) & 0xff, 128, 999 & 0xff)); // the plain form keeps the low byte

  // Copy at half weight: 100 + trunc((10 - 400) x 128 / 256) = 400 - 195 = 205, within range;
  // red source 600 gives 600 - 295 = 305, limited to 255.
  p = px(10, 10, 10, 10);
  LICE_CombinePixels2Clamp(&p, 600, -300, 400, 128, 128, 0);
  EXPECT_EQ(p, px(255, 0, 205, 69));

  // Multiply by 512 at the whole weight doubles, limited.
  p = px(100, 200, 0, 10);
  LICE_CombinePixels2Clamp(&p, 512, 512, 512, 512, 256, 3);
  EXPECT_EQ(p, px(200, 255, 0, 20));

  // Source-alpha copy at the whole weight and a = 255 stores the limited colour, alpha 255.
  p = px(1, 2, 3, 4);
  LICE_CombinePixels2Clamp(&p, -5, 260, 7, 255, 256, 0x10000);
  EXPECT_EQ(p, px(0, 255, 7, 255));

  // The clamp form agrees with the plain one for channels within 0..255.
  for (int mode : kModes)
    for (int w : {1, 100, 128, 256}) {
      LICE_pixel a = px(30, 140, 250, 60), b = a;
      LICE_CombinePixels2(&a, 200, 7, 99, 180, w, mode);
      LICE_CombinePixels2Clamp(&b, 200, 7, 99, 180, w, mode);
      EXPECT_EQ(a, b) << mode << " " << w;
    }
}

TEST(CombinePixels, HsvAdjustOverAllHueSectors)
{
  // Colours from every sector of the hue circle, shifted by several adjustments, against the
  // reference conversion.
  const LICE_pixel colours[] = {px(255, 0, 0, 0),   px(255, 128, 0, 0),  px(128, 255, 0, 0), px(0, 255, 64, 0),
                                px(0, 200, 255, 0), px(30, 0, 255, 0),   px(255, 0, 200, 0), px(255, 0, 1, 0),
                                px(1, 2, 3, 0),     px(200, 200, 199, 0)};
  for (LICE_pixel c : colours)
    for (int r : {0, 60, 128, 200, 255})
      for (int g : {0, 128, 255})
        for (int b : {0, 100, 128, 255})
          for (int w : {64, 128, 256}) {
            LICE_pixel got = c;
            LICE_CombinePixels2(&got, r, g, b, 77, w, 5);
            ASSERT_EQ(got, refHsv(c, r, g, b, 77, w)) << str(c) << " r" << r << " g" << g << " b" << b << " w" << w;
          }
}

TEST(CombineFast, WholePixelMixesHalveAndQuarterEachByte)
{
  const LICE_pixel d = px(255, 100, 3, 0), c = px(0, 201, 255, 255);
  // The fills' whole-pixel paths: every byte mixed with the low bits of each term dropped.
  auto mix = [](int dv, int cv, float alpha) {
    if (alpha == 0.5f) return dv / 2 + cv / 2;
    if (alpha == 0.25f) return dv / 2 + dv / 4 + cv / 4;
    return dv / 4 + cv / 2 + cv / 4; // 0.75
  };
  for (float alpha : {0.25f, 0.5f, 0.75f}) {
    LICE_MemBitmap bm(1, 1);
    pix(bm, 0, 0) = d;
    LICE_FillRect(&bm, 0, 0, 1, 1, c, alpha, 0);
    EXPECT_EQ(pix(bm, 0, 0), px(mix(255, 0, alpha), mix(100, 201, alpha), mix(3, 255, alpha), mix(0, 255, alpha)))
        << alpha;
  }
}
