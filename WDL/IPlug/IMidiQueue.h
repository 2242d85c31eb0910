// IMidiQueue: timed MIDI messages of the coming blocks, kept in non-decreasing sample-offset order
// (equal offsets in arrival order).
//
// Filled by the host's event delivery and drained by the audio loop, both under the plug-in's
// instance mutex: the queue has no lock of its own. Capacity grows in whole 4096-byte pages (512
// messages); space freed at the front is reused before the buffer grows, so the audio loop normally
// never allocates.
//
//   IMidiQueue queue(1024);
//   queue.Add(&msg);
//   while (!queue.Empty() && queue.Peek()->mOffset <= sample) { handle(*queue.Peek()); queue.Remove(); }
//   queue.Flush(nFrames);              // offsets become relative to the next block
#pragma once

#include "IPlugStructs.h"

class IMidiQueue
{
public:
  // Room for at least size messages; size is also the grow step (rounded up to whole pages).
  explicit IMidiQueue(int size = 1024);
  ~IMidiQueue();
  IMidiQueue(const IMidiQueue&) = delete;
  IMidiQueue& operator=(const IMidiQueue&) = delete;

  // Queues a copy in offset order: its index (see FrontIndex), or -1 when memory runs out (it is dropped).
  int Add(const IMidiMsg* msg);
  // The next message, null when the queue is empty.
  IMidiMsg* Peek() const { return mFront < mBack ? mBuf + mFront : nullptr; }
  // The last queued message (the latest offset), null when the queue is empty.
  const IMidiMsg* Last() const { return mFront < mBack ? mBuf + mBack - 1 : nullptr; }
  void Remove()
  {
    if (mFront < mBack) ++mFront;
  }
  bool Empty() const { return mFront == mBack; }
  bool IsEmpty() const { return Empty(); }
  int Pending() const { return mBack - mFront; }
  void Clear()
  {
    mFront = mBack = 0;
    ++mGeneration;
  }
  // Removes the last queued message for which drop(message) is true (at most the queue's length moved, no
  // allocation). False when none is.
  template <class Drop> bool RemoveLast(Drop drop)
  {
    for (int i = mBack - 1; i >= mFront; --i) {
      if (!drop(mBuf[i])) continue;
      RemoveAt(i);
      return true;
    }
    return false;
  }
  // Removes every queued message for which drop(message) is true, in one pass (no allocation). Returns how
  // many went.
  template <class Drop> int RemoveAll(Drop drop)
  {
    int kept = mFront;
    for (int i = mFront; i < mBack; ++i)
      if (!drop(mBuf[i])) mBuf[kept++] = mBuf[i];
    const int removed = mBack - kept;
    mBack = kept;
    ++mGeneration;
    return removed;
  }

  // Queued messages by index, FrontIndex() up to (not including) BackIndex(). Indices hold while Generation()
  // stays (every change but taking messages off the front moves it on).
  int FrontIndex() const { return mFront; }
  int BackIndex() const { return mBack; }
  unsigned Generation() const { return mGeneration; }
  // The index of the last message below index `below` for which match(message) is true, else -1.
  template <class Match> int LastBelow(int below, Match match) const
  {
    for (int i = (below < mBack ? below : mBack) - 1; i >= mFront; --i)
      if (match(mBuf[i])) return i;
    return -1;
  }
  // Message i gives its place to msg when that keeps the offsets in order (true), else nothing changes.
  bool ReplaceAt(int i, const IMidiMsg& msg);
  void RemoveAt(int i);

  // Moves the queued messages to the front and subtracts nFrames from their offsets.
  void Flush(int nFrames);
  // New grow step and capacity for size messages (never below what is queued), rounded up to whole
  // pages. Returns the capacity, which stays as it was when memory runs out.
  int Resize(int size);

  int GetSize() const { return mSize; } // capacity in messages
  int GetGrow() const { return mGrow; }

private:
  void Compact();
  bool Reallocate(int size);

  IMidiMsg* mBuf = nullptr;
  int mSize = 0;  // capacity in messages
  int mGrow = 0;  // messages added per growth
  int mFront = 0; // next message to handle
  int mBack = 0;  // one past the last queued message
  unsigned mGeneration = 0;
};
