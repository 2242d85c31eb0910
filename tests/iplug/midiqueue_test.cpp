// Order, capacity and compaction of the timed MIDI queue.
#include "IMidiQueue.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<int, int>> Events; // (offset, arrival tag)

// Queues a message whose first data byte records its arrival tag.
void AddTagged(IMidiQueue& q, int offset, int tag)
{
  IMidiMsg m;
  m.MakeNoteOnMsg(tag & 0x7F, 100, offset, 0);
  q.Add(&m);
}

Events Drain(IMidiQueue& q)
{
  Events out;
  for (; !q.Empty(); q.Remove()) out.emplace_back(q.Peek()->mOffset, q.Peek()->mData1);
  return out;
}

TEST(MidiQueue, KeepsOffsetOrderAndArrivalOrderForEqualOffsets)
{
  IMidiQueue q(1024);
  const int offsets[] = {5, 3, 3, 7, 0};
  for (int i = 0; i < 5; ++i) AddTagged(q, offsets[i], i);
  EXPECT_EQ(q.Pending(), 5);
  EXPECT_EQ(q.Last()->mData1, 3); // the latest offset
  EXPECT_EQ(Drain(q), (Events{{0, 4}, {3, 1}, {3, 2}, {5, 0}, {7, 3}}));

  // Many arrivals across two growths: the same as a stable sort by offset.
  std::mt19937 rng(1234);
  Events expected;
  for (int i = 0; i < 1500; ++i) {
    const int offset = int(rng() % 16);
    AddTagged(q, offset, i);
    expected.emplace_back(offset, i & 0x7F);
  }
  std::stable_sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.first < b.first; });
  EXPECT_EQ(Drain(q), expected);
}

TEST(MidiQueue, CapacityIsWholePagesOf512Messages)
{
  // A grow step of 0 would drop every message: at least one page.
  const std::pair<int, int> cases[] = {{1024, 1024}, {1000, 1024}, {512, 512}, {513, 1024},
                                       {1, 512},     {0, 512},     {-3, 512}};
  for (const auto& [requested, capacity] : cases) {
    IMidiQueue q(requested), resized(4096);
    EXPECT_EQ(q.GetSize(), capacity) << requested;
    EXPECT_EQ(q.GetGrow(), capacity) << requested;
    EXPECT_EQ(resized.Resize(requested), capacity) << requested;
    EXPECT_EQ(resized.GetGrow(), capacity) << requested;
  }
}

TEST(MidiQueue, FullQueueCompactsWhenMessagesWereTakenElseGrowsByOneStep)
{
  IMidiQueue q(1024);
  for (int i = 0; i < 1024; ++i) AddTagged(q, i, i);
  for (int i = 0; i < 10; ++i) q.Remove();
  AddTagged(q, 5000, 1);
  EXPECT_EQ(q.GetSize(), 1024); // reused the room of the ten handled messages
  EXPECT_EQ(q.Pending(), 1015);
  EXPECT_EQ(q.Peek()->mOffset, 10);
  for (int i = 0; i < 9; ++i) AddTagged(q, 5000, 1);
  EXPECT_EQ(q.GetSize(), 1024);
  AddTagged(q, 5000, 1); // full with nothing handled: grows by the step
  EXPECT_EQ(q.GetSize(), 2048);
  EXPECT_EQ(q.Pending(), 1025);

  IMidiQueue own(512); // adding its own next message while the buffer moves
  AddTagged(own, 3, 9);
  for (int i = 0; i < 600; ++i) own.Add(own.Peek());
  EXPECT_EQ(Drain(own), Events(601, {3, 9}));
}

TEST(MidiQueue, FlushAndResizeKeepQueuedMessages)
{
  IMidiQueue q(1024);
  for (int offset : {10, 300, 700, 1100}) AddTagged(q, offset, 0);
  q.Remove(); // handled in this block
  q.Flush(512);
  EXPECT_EQ(Drain(q), (Events{{-212, 0}, {188, 0}, {588, 0}}));

  for (int i = 0; i < 1500; ++i) AddTagged(q, i, i);
  for (int i = 0; i < 100; ++i) q.Remove();
  EXPECT_EQ(q.Resize(512), 1536); // 1400 queued, rounded up to whole pages
  EXPECT_EQ(q.GetGrow(), 512);
  EXPECT_EQ(q.Pending(), 1400);
  EXPECT_EQ(q.Peek()->mOffset, 100);
  while (q.Pending() > 1) q.Remove();
  EXPECT_EQ(q.Resize(1000), 1024);
  EXPECT_EQ(q.Peek()->mOffset, 1499);
}

// A search that goes on below the match before (a full queue's overflow, message after message) looks at each
// queued message once in all.
TEST(MidiQueue, SearchesBelowEachMatchLookAtEveryMessageOnce)
{
  IMidiQueue q(8192);
  for (int i = 0; i < 8192; ++i) AddTagged(q, i, i % 3);
  long examined = 0;
  int found = 0;
  for (int below = q.BackIndex(); found <= 8192; ++found) {
    below = q.LastBelow(below, [&](const IMidiMsg& m) { return ++examined, m.mData1 == 0; });
    if (below < 0) break;
    EXPECT_EQ(q.FrontIndex() + 8190 - 3 * found, below);
  }
  EXPECT_EQ(2731, found);
  EXPECT_EQ(8192, examined);
}

TEST(MidiQueue, EmptyQueueAnswersSafely)
{
  IMidiQueue q;
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(q.Peek(), nullptr);
  EXPECT_EQ(q.Last(), nullptr);
  q.Remove();
  q.Add(nullptr);
  EXPECT_EQ(q.Pending(), 0);
  AddTagged(q, 1, 1);
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
    for (int i = 0; i < n; ++i) AddTagged(q, 1, 1);
    AddTagged(q, 0, 2);
    EXPECT_EQ(q.GetSize(), n);
    EXPECT_EQ(q.Pending(), n);
    EXPECT_EQ(q.Peek()->mData1, 1);
    EXPECT_EQ(q.Resize(2 * n), n); // a failed reallocation keeps the buffer
  });
}

} // namespace
