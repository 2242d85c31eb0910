// Bitmap objects: heap bitmaps, bitmaps over GDI memory contexts, and the contexts themselves.
#include "raster_test_util.h"

#include "swell/swell-gdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <thread>

using namespace rt;

namespace {
bool aligned64(const void* p)
{
  return (reinterpret_cast<uintptr_t>(p) & 63) == 0;
}
} // namespace

TEST(MemBitmap, EmptyBitmapHasNoPixels)
{
  LICE_MemBitmap bm(0, 0, 4);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getRowSpan(), 0);
  EXPECT_FALSE(bm.isFlipped());
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.Extended(1, nullptr), 0);
  LICE_MemBitmap neg(-3, 5);
  EXPECT_EQ(neg.getBits(), nullptr);
  EXPECT_EQ(neg.getWidth(), 0);
}

TEST(MemBitmap, RowsArePaddedToTheLineAlignment)
{
  LICE_MemBitmap bm(5, 2, 4);
  EXPECT_EQ(bm.getRowSpan(), 8);
  EXPECT_EQ(bm.getAllocatedSize(), 64);
  ASSERT_NE(bm.getBits(), nullptr);
  EXPECT_TRUE(aligned64(bm.getBits()));

  struct Case
  {
    unsigned align;
    int width, span;
  };
  // Alignment 6 rounds to even; 12 rounds to 4; 32 and above give the mask 16.
  const Case cases[] = {{0, 5, 5},  {1, 5, 5},   {2, 5, 6},  {4, 5, 8},    {6, 5, 6},   {8, 9, 16},
                        {12, 5, 8}, {16, 5, 16}, {32, 5, 5}, {32, 16, 32}, {64, 20, 36}};
  for (const Case& c : cases) {
    LICE_MemBitmap b(c.width, 3, c.align);
    EXPECT_EQ(b.getRowSpan(), c.span) << "align " << c.align << " width " << c.width;
    EXPECT_GE(b.getRowSpan(), b.getWidth());
  }
}

TEST(MemBitmap, ShrinkingKeepsTheBlockAndGrowingAddsAQuarter)
{
  LICE_MemBitmap bm(100, 100, 4);
  EXPECT_EQ(bm.getAllocatedSize(), 40000);
  LICE_pixel* bits = bm.getBits();
  EXPECT_TRUE(bm.resize(10, 10));
  EXPECT_EQ(bm.getAllocatedSize(), 40000);
  EXPECT_EQ(bm.getBits(), bits);
  EXPECT_EQ(bm.getRowSpan(), 12);
  EXPECT_TRUE(bm.resize(100, 100));
  EXPECT_EQ(bm.getAllocatedSize(), 40000);
  EXPECT_EQ(bm.getBits(), bits);
  EXPECT_TRUE(bm.resize(200, 100));
  EXPECT_EQ(bm.getAllocatedSize(), 100000);
  EXPECT_TRUE(aligned64(bm.getBits()));
  // The whole new size is writable.
  LICE_Clear(&bm, 0x12345678);
  EXPECT_EQ(pix(bm, 199, 99), 0x12345678u);
}

TEST(MemBitmap, ResizeToTheCurrentSizeReportsNoChange)
{
  LICE_MemBitmap bm(7, 3);
  EXPECT_FALSE(bm.resize(7, 3));
  LICE_SysBitmap sb(7, 3);
  EXPECT_FALSE(sb.resize(7, 3));
}

TEST(MemBitmap, EmptySizesReleaseThePixels)
{
  LICE_MemBitmap bm(10, 10);
  EXPECT_TRUE(bm.resize(0, 10));
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getAllocatedSize(), 0);
  EXPECT_TRUE(bm.resize(3, 3));
  EXPECT_NE(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getAllocatedSize(), 48);
}

// Byte sizes beyond what an int can index are refused: the bitmap stays empty instead of
// getting a buffer whose 32-bit size wrapped around.
TEST(MemBitmap, SizesWhoseBytesDoNotFitAreRefused)
{
  struct Case
  {
    int w, h;
  };
  // 65536 x 16385 x 4 wraps to 262144 in 32 bits; 46341^2 x 4 wraps to a negative number;
  // INT_MAX x 1 overflows the row padding.
  const Case cases[] = {{65536, 16385}, {46341, 46341}, {INT_MAX, 1}, {1, INT_MAX}, {INT_MAX, INT_MAX}, {23171, 23171}};
  for (const Case& c : cases) {
    LICE_MemBitmap bm(4, 4);
    EXPECT_TRUE(bm.resize(c.w, c.h));
    EXPECT_EQ(bm.getWidth(), 0) << c.w << "x" << c.h;
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_EQ(bm.getBits(), nullptr);
    LICE_FillRect(&bm, 0, 0, c.w, c.h, 0xffffffff, 1.0f, 0); // draws nothing, touches nothing
    LICE_MemBitmap fresh(c.w, c.h);
    EXPECT_EQ(fresh.getBits(), nullptr);
  }
}

TEST(SysBitmap, PixelsAreAZeroedMemoryContext)
{
  LICE_SysBitmap bm(13, 7);
  EXPECT_EQ(bm.getWidth(), 13);
  EXPECT_EQ(bm.getHeight(), 7);
  EXPECT_EQ(bm.getRowSpan(), 16);
  ASSERT_NE(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getBits(), SWELL_GetCtxFrameBuffer(bm.getDC()));
  EXPECT_TRUE(aligned64(bm.getBits()));
  for (int i = 0; i < 16 * 7; ++i) ASSERT_EQ(bm.getBits()[i], 0u);
  EXPECT_EQ(GetTextColor(bm.getDC()), 0);
}

TEST(SysBitmap, KeepsItsContextForSizesThatFit)
{
  LICE_SysBitmap bm(13, 7);
  HDC dc = bm.getDC();
  LICE_pixel* bits = bm.getBits();
  bits[0] = 0xabcdef01;
  EXPECT_TRUE(bm.resize(10, 5));
  EXPECT_EQ(bm.getDC(), dc);
  EXPECT_EQ(bm.getBits(), bits);
  EXPECT_EQ(bm.getRowSpan(), 16);
  EXPECT_EQ(bm.getBits()[0], 0xabcdef01u); // a reused context keeps its pixels
  EXPECT_TRUE(bm.resize(17, 5));
  EXPECT_EQ(bm.getRowSpan(), 20);
  ASSERT_NE(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getBits()[0], 0u);
  EXPECT_EQ(bm.getWidth(), 17);
}

TEST(SysBitmap, EmptySizesReleaseTheContext)
{
  LICE_SysBitmap bm(13, 7);
  EXPECT_FALSE(bm.resize(0, 10));
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 10);
  LICE_FillRect(&bm, 0, 0, 5, 5, 0xffffffff, 1.0f, 0); // no pixels: nothing happens
  LICE_PutPixel(&bm, 0, 0, 0xffffffff, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 0), 0u);

  LICE_SysBitmap zero(0, 0);
  EXPECT_EQ(zero.getDC(), nullptr);
  EXPECT_EQ(zero.getBits(), nullptr);

  LICE_SysBitmap neg(-4, 3); // negative sizes count as 0
  EXPECT_EQ(neg.getWidth(), 0);
  EXPECT_EQ(neg.getDC(), nullptr);
}

TEST(SysBitmap, HugeSizesFailToAnEmptyBitmap)
{
  LICE_SysBitmap bm(8, 8);
  EXPECT_TRUE(bm.resize(INT_MAX, 2));
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_TRUE(bm.resize(65536, 16385));
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_TRUE(bm.resize(4, 4));
  EXPECT_NE(bm.getBits(), nullptr);
}

TEST(MemContext, FrameBufferIsAlignedZeroedAndSized)
{
  HDC ctx = SWELL_CreateMemContext(nullptr, 3, 2);
  ASSERT_NE(ctx, nullptr);
  auto* fb = static_cast<unsigned char*>(SWELL_GetCtxFrameBuffer(ctx));
  ASSERT_NE(fb, nullptr);
  EXPECT_TRUE(aligned64(fb));
  for (int i = 0; i < 24; ++i) EXPECT_EQ(fb[i], 0) << i;
  fb[23] = 1; // the whole buffer is writable
  SWELL_DeleteGfxContext(ctx);
}

TEST(MemContext, RefusesEmptyAndOversizedBuffers)
{
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 0, 5), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 5, -1), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 65536, 16385), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, INT_MAX, INT_MAX), nullptr);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(nullptr), nullptr);
  SWELL_DeleteGfxContext(nullptr);
  EXPECT_EQ(GetTextColor(nullptr), -1);
}

TEST(MemContext, DeletedContextsAreIgnoredWhilePooled)
{
  HDC ctx = SWELL_CreateMemContext(nullptr, 4, 4);
  ASSERT_NE(ctx, nullptr);
  SWELL_DeleteGfxContext(ctx);
  // The record waits in the pool: every operation treats it as invalid.
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(ctx), nullptr);
  EXPECT_EQ(GetTextColor(ctx), -1);
  SWELL_DeleteGfxContext(ctx);
  // The next context reuses the record, cleared.
  HDC again = SWELL_CreateMemContext(nullptr, 2, 2);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(SWELL_GetCtxFrameBuffer(again), nullptr);
  SWELL_DeleteGfxContext(again);
}

TEST(MemContext, ContextsCanBeMadeFromSeveralThreads)
{
  auto work = [] {
    for (int i = 0; i < 300; ++i) {
      HDC c = SWELL_CreateMemContext(nullptr, 1 + i % 7, 3);
      ASSERT_NE(c, nullptr);
      static_cast<unsigned char*>(SWELL_GetCtxFrameBuffer(c))[0] = 1;
      SWELL_DeleteGfxContext(c);
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
}

TEST(Bitmap, DeletedThroughTheInterface)
{
  LICE_IBitmap* a = new LICE_MemBitmap(3, 3);
  LICE_IBitmap* b = new LICE_SysBitmap(3, 3);
  delete a;
  delete b; // the leak checker of the sanitizer build sees both freed
}
