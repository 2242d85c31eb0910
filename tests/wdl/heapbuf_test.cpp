// Growth, shrinking and failure behaviour of the raw and typed heap buffers.
#include "heapbuf.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

TEST(HeapBuf, FirstAllocationSizes)
{
  // Expected allocations worked out by hand from the growth rule.
  const struct
  {
    int granularity, size, alloc;
  } cases[] = {{128, 10, 138},         {128, 300, 450},
               {128, 1, 129},          {1, 10, 15},
               {16, 1000, 1500}, // size + max(size/2, gran)
               {4096, 10, 4000},       {4096, 5000, 8096},
               {4096, 3999, 4000},     {4096, 4000, 8096}, // pages minus 96
               {4096, 100000, 147360}, {4096, 20000000, 24190880} /* step capped at 4 MB */,
               {65536, 10, 65440}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "granularity " << c.granularity << " size " << c.size);
    WDL_HeapBuf hb(c.granularity);
    EXPECT_NE(hb.Resize(c.size), nullptr);
    EXPECT_EQ(hb.GetSize(), c.size);
    EXPECT_EQ(hb.GetAlloc(), c.alloc);
  }
}

TEST(HeapBuf, ShrinksOnlyFarBelowTheAllocation)
{
  const struct
  {
    int granularity, first, second;
    bool resizeDown;
    int alloc;
  } cases[] = {// 1000 -> 1500 allocated; threshold min(1500 / 2, 1500 - 4 * 128) = 750
               {128, 1000, 700, true, 1050},
               {128, 1000, 750, true, 1500},
               {128, 1000, 700, false, 1500},
               {128, 1000, 1, true, 129},
               {4096, 100, 1, true, 4000}, // 4000 - 4 * 4096 < 0: only size 0 frees
               {4096, 100000, 60000, true, 85920},
               {4096, 100000, 80000, true, 147360}, // threshold 73680
               {4096, 100, 0, true, 0},
               {4096, 100, 0, false, 4000},
               {128, 50, -7, true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.first << " -> " << c.second << (c.resizeDown ? " down" : ""));
    WDL_HeapBuf hb(c.granularity);
    hb.Resize(c.first);
    void* p = hb.Resize(c.second, c.resizeDown);
    EXPECT_EQ(hb.GetSize(), std::max(c.second, 0));
    EXPECT_EQ(hb.GetAlloc(), c.alloc);
    EXPECT_EQ(p == nullptr, c.second <= 0); // null whenever the size is 0, allocated or not
  }
}

TEST(HeapBuf, GrowingInsideTheAllocationOrAlternatingKeepsTheBlock)
{
  WDL_HeapBuf hb(4096);
  void* first = hb.Resize(10);
  EXPECT_EQ(hb.Resize(4000), first);
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

TEST(TypedBuf, CountsElementsAndGivesMemoryBackByDefault)
{
  WDL_TypedBuf<double> buf, keeping;
  EXPECT_EQ(buf.Get(), nullptr);
  ASSERT_NE(buf.Resize(3), nullptr);
  EXPECT_EQ(buf.GetSize(), 3);
  EXPECT_EQ(buf.GetHeapBuf()->GetSize(), 3 * int(sizeof(double)));
  EXPECT_EQ(buf.Resize(0), nullptr);
  EXPECT_EQ(buf.GetHeapBuf()->GetAlloc(), 0);
  keeping.Resize(3);
  keeping.Resize(0, false);
  EXPECT_EQ(keeping.GetHeapBuf()->GetAlloc(), 4000);
  keeping.Resize(4);
  EXPECT_NE(keeping.Resize(INT_MAX / 4), nullptr); // byte size overflows an int: refused
  EXPECT_EQ(keeping.GetSize(), 4);
}

TEST(TypedBuf, AddAppendsEvenACopyOfItsOwnElement)
{
  WDL_TypedBuf<int> buf(16);
  std::vector<int> expected{42};
  ASSERT_NE(buf.Add(42), nullptr);
  for (int i = 0; i < 200; ++i) { // the buffer moves several times while its own element is added
    ASSERT_NE(buf.Add(buf.Get()[i]), nullptr);
    expected.push_back(expected[i]);
  }
  EXPECT_EQ(std::vector<int>(buf.Get(), buf.Get() + buf.GetSize()), expected);
}

} // namespace
