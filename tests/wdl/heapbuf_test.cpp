// Growth, shrinking and failure behaviour of the raw and typed heap buffers.
#include "heapbuf.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <ostream>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct GrowthCase
{
  int granularity;
  int size;
  int expectedAlloc; // worked out by hand from the growth rule
};

std::ostream& operator<<(std::ostream& os, const GrowthCase& c)
{
  return os << "granularity " << c.granularity << " size " << c.size;
}

class HeapBufGrowth : public ::testing::TestWithParam<GrowthCase>
{
};

TEST_P(HeapBufGrowth, FirstAllocationFromEmpty)
{
  const GrowthCase& c = GetParam();
  WDL_HeapBuf hb(c.granularity);
  EXPECT_NE(hb.Resize(c.size), nullptr);
  EXPECT_EQ(hb.GetSize(), c.size);
  EXPECT_EQ(hb.GetAlloc(), c.expectedAlloc);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HeapBufGrowth,
                         ::testing::Values(
                             // small granularity: size + max(size / 2, granularity)
                             GrowthCase{128, 10, 138}, GrowthCase{128, 300, 450}, GrowthCase{128, 1, 129},
                             GrowthCase{1, 10, 15}, GrowthCase{16, 1000, 1500},
                             // page granularity: whole pages minus 96 bytes
                             GrowthCase{4096, 10, 4000}, GrowthCase{4096, 5000, 8096}, GrowthCase{4096, 100000, 147360},
                             GrowthCase{4096, 4000, 8096},
                             GrowthCase{4096, 3999, 4000},         // 3999 + 4096 + 96 stays short of the 2nd page end
                             GrowthCase{4096, 20000000, 24190880}, // step capped at 4 MB
                             GrowthCase{65536, 10, 65440}));

TEST(HeapBuf, GrowingWithinTheAllocationKeepsTheBlock)
{
  WDL_HeapBuf hb(4096);
  void* first = hb.Resize(10);
  EXPECT_EQ(hb.Resize(4000), first);
  EXPECT_EQ(hb.GetAlloc(), 4000);
  hb.Resize(4001);
  EXPECT_EQ(hb.GetAlloc(), 8096);
}

TEST(HeapBuf, ResizeToZero)
{
  WDL_HeapBuf freed(4096), kept(4096);
  freed.Resize(100);
  kept.Resize(100);

  EXPECT_EQ(freed.Resize(0, true), nullptr);
  EXPECT_EQ(freed.GetAlloc(), 0);
  EXPECT_EQ(freed.Get(), nullptr);

  EXPECT_EQ(kept.Resize(0, false), nullptr);
  EXPECT_EQ(kept.GetSize(), 0);
  EXPECT_EQ(kept.GetAlloc(), 4000);
  EXPECT_EQ(kept.Get(), nullptr);
}

TEST(HeapBuf, NegativeSizeCountsAsZero)
{
  WDL_HeapBuf hb(128);
  hb.Resize(50);
  EXPECT_EQ(hb.Resize(-7), nullptr);
  EXPECT_EQ(hb.GetSize(), 0);
  EXPECT_EQ(hb.GetAlloc(), 0);
}

struct ShrinkCase
{
  int granularity;
  int first;
  int second;
  bool resizeDown;
  int expectedAlloc;
};

std::ostream& operator<<(std::ostream& os, const ShrinkCase& c)
{
  return os << "granularity " << c.granularity << " " << c.first << " to " << c.second
            << (c.resizeDown ? " down" : " keep");
}

class HeapBufShrink : public ::testing::TestWithParam<ShrinkCase>
{
};

TEST_P(HeapBufShrink, GivesMemoryBackOnlyFarBelowTheAllocation)
{
  const ShrinkCase& c = GetParam();
  WDL_HeapBuf hb(c.granularity);
  hb.Resize(c.first);
  hb.Resize(c.second, c.resizeDown);
  EXPECT_EQ(hb.GetSize(), c.second);
  EXPECT_EQ(hb.GetAlloc(), c.expectedAlloc);
}

INSTANTIATE_TEST_SUITE_P(Cases, HeapBufShrink,
                         ::testing::Values(
                             // 1000 -> 1500 allocated; the threshold is min(750, 1500 - 4 * 128) = 750
                             ShrinkCase{128, 1000, 700, true, 1050}, ShrinkCase{128, 1000, 750, true, 1500},
                             ShrinkCase{128, 1000, 700, false, 1500}, ShrinkCase{128, 1000, 1, true, 129},
                             // 4000 allocated: 4000 - 4 * 4096 is negative, so only size 0 frees
                             ShrinkCase{4096, 100, 1, true, 4000},
                             // 147360 allocated: threshold min(73680, 130976)
                             ShrinkCase{4096, 100000, 60000, true, 85920},
                             ShrinkCase{4096, 100000, 80000, true, 147360}));

TEST(HeapBuf, AlternatingSizesDoNotReallocate)
{
  WDL_HeapBuf hb(4096);
  hb.Resize(100000);
  const int alloc = hb.GetAlloc();
  for (int i = 0; i < 20; ++i) {
    hb.Resize(i % 2 ? 100000 : 80000, true);
    EXPECT_EQ(hb.GetAlloc(), alloc);
  }
}

TEST(HeapBuf, ContentsSurviveGrowthAndShrinking)
{
  WDL_HeapBuf hb(128);
  auto* p = static_cast<unsigned char*>(hb.Resize(300));
  for (int i = 0; i < 300; ++i) p[i] = static_cast<unsigned char>(i * 7);
  p = static_cast<unsigned char*>(hb.Resize(1 << 20));
  for (int i = 0; i < 300; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i * 7));
  p = static_cast<unsigned char*>(hb.Resize(200, true));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i * 7));
}

TEST(HeapBuf, SizesBeyondAnIntAreRefusedAndChangeNothing)
{
  for (int granularity : {128, 4096}) {
    WDL_HeapBuf hb(granularity);
    auto* p = static_cast<char*>(hb.Resize(5));
    p[0] = 'x';
    EXPECT_EQ(hb.Resize(INT_MAX), p);
    EXPECT_EQ(hb.Resize(INT_MAX - 100), p);
    EXPECT_EQ(hb.GetSize(), 5);
    EXPECT_EQ(p[0], 'x');
  }
  WDL_HeapBuf empty(128);
  EXPECT_EQ(empty.Resize(INT_MAX), nullptr);
  EXPECT_EQ(empty.GetSize(), 0);
}

TEST(HeapBuf, OutOfMemoryKeepsTheOldContents)
{
  SKIP_IF_SANITIZED();
  veltrane_test::ExpectWithCappedMemory([] {
    void* probe = std::malloc(size_t(1) << 30);
    EXPECT_EQ(probe, nullptr) << "the cap does not make large allocations fail";
    std::free(probe);
    WDL_HeapBuf hb(4096);
    auto* p = static_cast<char*>(hb.Resize(10));
    p[9] = 'z';
    EXPECT_EQ(hb.Resize(1 << 30), p);
    EXPECT_EQ(hb.GetSize(), 10);
    EXPECT_EQ(hb.GetAlloc(), 4000);
    EXPECT_EQ(p[9], 'z');
  });
}

TEST(HeapBuf, CopiesAreIndependentAndSelfAssignmentIsHarmless)
{
  WDL_HeapBuf a(128);
  std::memcpy(a.Resize(6), "hello", 6);
  WDL_HeapBuf b(a);
  static_cast<char*>(b.Get())[0] = 'j';
  EXPECT_STREQ(static_cast<char*>(a.Get()), "hello");
  EXPECT_STREQ(static_cast<char*>(b.Get()), "jello");

  const WDL_HeapBuf& same = a;
  a = same;
  EXPECT_STREQ(static_cast<char*>(a.Get()), "hello");
  a = WDL_HeapBuf(128);
  EXPECT_EQ(a.GetSize(), 0);
}

TEST(TypedBuf, CountsElements)
{
  WDL_TypedBuf<double> buf;
  EXPECT_EQ(buf.Get(), nullptr);
  double* p = buf.Resize(3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(buf.GetSize(), 3);
  EXPECT_EQ(buf.GetHeapBuf()->GetSize(), 3 * int(sizeof(double)));
  EXPECT_EQ(buf.GetHeapBuf()->GetGranul(), 4096);
}

TEST(TypedBuf, ResizeGivesMemoryBackUnlessAskedNotTo)
{
  WDL_TypedBuf<int> byDefault, keeping;
  byDefault.Resize(100);
  keeping.Resize(100);
  EXPECT_EQ(byDefault.Resize(0), nullptr);
  EXPECT_EQ(byDefault.GetHeapBuf()->GetAlloc(), 0);
  EXPECT_EQ(keeping.Resize(0, false), nullptr);
  EXPECT_EQ(keeping.GetHeapBuf()->GetAlloc(), 4000);
}

TEST(TypedBuf, ElementCountsWhoseByteSizeOverflowAreRefused)
{
  WDL_TypedBuf<double> buf;
  buf.Resize(4);
  EXPECT_NE(buf.Resize(INT_MAX / 4), nullptr); // refused: the old contents stay
  EXPECT_EQ(buf.GetSize(), 4);
}

TEST(TypedBuf, AddAppendsEvenACopyOfItsOwnElement)
{
  WDL_TypedBuf<int> buf(16);
  std::vector<int> expected;
  ASSERT_NE(buf.Add(42), nullptr);
  expected.push_back(42);
  for (int i = 0; i < 200; ++i) { // the buffer moves several times while its own element is added
    ASSERT_NE(buf.Add(buf.Get()[i]), nullptr);
    expected.push_back(expected[i]);
  }
  ASSERT_EQ(buf.GetSize(), int(expected.size()));
  for (int i = 0; i < buf.GetSize(); ++i) EXPECT_EQ(buf.Get()[i], expected[i]);
}

} // namespace
