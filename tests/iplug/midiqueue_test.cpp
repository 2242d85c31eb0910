// Order, capacity and compaction of the timed MIDI queue.
#include "IMidiQueue.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

// A message whose first data byte records its arrival number.
IMidiMsg Tagged(int offset, int tag)
{
  IMidiMsg m;
  m.MakeNoteOnMsg(tag & 0x7F, 100, offset, 0);
  return m;
}

std::vector<std::pair<int, int>> Drain(IMidiQueue& q) // (offset, tag) in queue order
{
  std::vector<std::pair<int, int>> out;
  while (!q.Empty()) {
    out.emplace_back(q.Peek()->mOffset, q.Peek()->mData1);
    q.Remove();
  }
  return out;
}

TEST(MidiQueue, KeepsOffsetOrderAndArrivalOrderForEqualOffsets)
{
  IMidiQueue q(1024);
  const int offsets[] = {5, 3, 3, 7, 0};
  for (int i = 0; i < 5; ++i) {
    IMidiMsg m = Tagged(offsets[i], i);
    q.Add(&m);
  }
  EXPECT_EQ(q.Pending(), 5);
  EXPECT_EQ(Drain(q), (std::vector<std::pair<int, int>>{{0, 4}, {3, 1}, {3, 2}, {5, 0}, {7, 3}}));
}

TEST(MidiQueue, MatchesAStableSortOfRandomArrivals)
{
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> offset(0, 15);
  IMidiQueue q(16);
  std::vector<std::pair<int, int>> expected;
  for (int i = 0; i < 1500; ++i) { // also crosses two growths of 512
    IMidiMsg m = Tagged(offset(rng), i);
    q.Add(&m);
    expected.emplace_back(m.mOffset, i & 0x7F);
  }
  std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  EXPECT_EQ(Drain(q), expected);
}

struct CapacityCase
{
  int requested;
  int capacity;
};

std::ostream& operator<<(std::ostream& os, const CapacityCase& c)
{
  return os << c.requested;
}

class MidiQueueCapacity : public ::testing::TestWithParam<CapacityCase>
{
};

TEST_P(MidiQueueCapacity, WholePagesOf512Messages)
{
  const CapacityCase& c = GetParam();
  IMidiQueue q(c.requested);
  EXPECT_EQ(q.GetSize(), c.capacity);
  EXPECT_EQ(q.GetGrow(), c.capacity);
  IMidiQueue resized(4096);
  EXPECT_EQ(resized.Resize(c.requested), c.capacity);
  EXPECT_EQ(resized.GetGrow(), c.capacity);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MidiQueueCapacity,
                         ::testing::Values(CapacityCase{1024, 1024}, CapacityCase{1000, 1024}, CapacityCase{512, 512},
                                           CapacityCase{513, 1024}, CapacityCase{1, 512},
                                           // a grow step of 0 would drop every message: one page at least
                                           CapacityCase{0, 512}, CapacityCase{-3, 512}));

TEST(MidiQueue, FullQueueCompactsWhenMessagesWereTakenElseGrowsByOneStep)
{
  IMidiQueue q(1024);
  for (int i = 0; i < 1024; ++i) {
    IMidiMsg m = Tagged(i, i);
    q.Add(&m);
  }
  EXPECT_EQ(q.GetSize(), 1024);
  for (int i = 0; i < 10; ++i) q.Remove();
  IMidiMsg late = Tagged(5000, 1);
  q.Add(&late);
  EXPECT_EQ(q.GetSize(), 1024); // reused the room of the ten handled messages
  EXPECT_EQ(q.Pending(), 1015);
  EXPECT_EQ(q.Peek()->mOffset, 10);

  for (int i = 0; i < 9; ++i) q.Add(&late);
  EXPECT_EQ(q.GetSize(), 1024);
  q.Add(&late); // full with nothing handled: grows by the step
  EXPECT_EQ(q.GetSize(), 2048);
  EXPECT_EQ(q.Pending(), 1025);
}

TEST(MidiQueue, AddingItsOwnMessageWhileGrowing)
{
  IMidiQueue q(512);
  IMidiMsg first = Tagged(3, 9);
  q.Add(&first);
  for (int i = 0; i < 600; ++i) q.Add(q.Peek());
  EXPECT_EQ(q.GetSize(), 1024);
  for (const auto& [offset, tag] : Drain(q)) {
    ASSERT_EQ(offset, 3);
    ASSERT_EQ(tag, 9);
  }
}

TEST(MidiQueue, FlushMakesOffsetsRelativeToTheNextBlock)
{
  IMidiQueue q(1024);
  for (int offset : {10, 300, 700, 1100}) {
    IMidiMsg m = Tagged(offset, offset & 0x7F);
    q.Add(&m);
  }
  q.Remove(); // handled in this block
  q.Flush(512);
  EXPECT_EQ(q.Pending(), 3);
  std::vector<int> offsets;
  for (const auto& e : Drain(q)) offsets.push_back(e.first);
  EXPECT_EQ(offsets, (std::vector<int>{-212, 188, 588}));
}

TEST(MidiQueue, ResizeKeepsQueuedMessagesAndNeverDropsBelowThem)
{
  IMidiQueue q(1024);
  for (int i = 0; i < 1500; ++i) {
    IMidiMsg m = Tagged(i, i);
    q.Add(&m);
  }
  for (int i = 0; i < 100; ++i) q.Remove();
  EXPECT_EQ(q.Resize(512), 1536); // 1400 queued, rounded up to whole pages
  EXPECT_EQ(q.GetGrow(), 512);
  EXPECT_EQ(q.Pending(), 1400);
  EXPECT_EQ(q.Peek()->mOffset, 100);
  while (q.Pending() > 1) q.Remove();
  EXPECT_EQ(q.Resize(1000), 1024);
  EXPECT_EQ(q.Peek()->mOffset, 1499);
}

TEST(MidiQueue, EmptyQueueAnswersSafely)
{
  IMidiQueue q;
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(q.Peek(), nullptr);
  q.Remove();
  q.Add(nullptr);
  EXPECT_EQ(q.Pending(), 0);
  IMidiMsg m = Tagged(1, 1);
  q.Add(&m);
  q.Clear();
  EXPECT_TRUE(q.Empty());
}

TEST(MidiQueue, MessageIsDroppedWhenGrowingFails)
{
  SKIP_IF_SANITIZED();
  veltrane_test::ExpectWithCappedMemory([] {
    const int n = 1 << 24; // 128 MB of messages; doubling them does not fit under the cap
    IMidiQueue q(n);
    ASSERT_EQ(q.GetSize(), n);
    IMidiMsg m = Tagged(1, 1);
    for (int i = 0; i < n; ++i) q.Add(&m);
    IMidiMsg last = Tagged(0, 2);
    q.Add(&last);
    EXPECT_EQ(q.GetSize(), n);
    EXPECT_EQ(q.Pending(), n);
    EXPECT_EQ(q.Peek()->mData1, 1);
    EXPECT_EQ(q.Resize(2 * n), n); // failed reallocation keeps the buffer
  });
}

} // namespace
