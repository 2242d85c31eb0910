// Delay memory of the effect modules: one zeroed block per instance, and ring buffers carved out of it.
//
// A block comes straight from the system as an anonymous private mapping, so it is zero and none of its
// pages is resident until a sample is written into it: the voices of a slot that never play cost address
// space only, however long their delays. (The general heap would hand back recycled memory that calloc has to
// clear, touching every page.)
//
// Threads: allocate and release run where modules are made, reset or destroyed (setSampleRate, the
// destructor), which may be the audio thread when a slot's module is replaced. Allocating is one system call
// that touches nothing. Giving a block back frees every page a voice has written, milliseconds for a slot of
// played reverbs, so a released block goes to the reclaiming thread (started by startReclaimer) through a
// lock-free queue; without that thread, or with its queue full, release returns the block itself. The ring
// buffers are plain data read and written by process.
#pragma once

#include <cstddef>

class DelayBlock
{
public:
  DelayBlock() = default;
  ~DelayBlock() { release(); }
  DelayBlock(const DelayBlock&) = delete;
  DelayBlock& operator=(const DelayBlock&) = delete;

  // Drops the old block and maps `count` doubles of zeros. Returns null (and holds nothing) when count is
  // 0 or the system refuses.
  double* allocate(size_t count);
  void release();

  double* data() const { return mData; }
  size_t count() const { return mCount; }

  // The thread that returns released blocks to the system runs while it has users (the plug-in instances
  // of the process): the first start starts it, the last stop returns what it holds and joins it, so that a
  // host that closes every instance keeps no thread of ours. Threads that may start threads, never the
  // audio thread; a block released while the thread does not run is unmapped in place.
  static void startReclaimer();
  static void stopReclaimer();
  // Waits until every block handed to the reclaiming thread so far has been returned.
  static void flushReclaimer();

private:
  double* mData = nullptr;
  size_t mCount = 0;
};

// One user of the reclaiming thread for as long as it lives. A plug-in instance holds one as its first
// member, so that it outlives the instance's modules and their blocks.
class ReclaimerUse
{
public:
  ReclaimerUse() { DelayBlock::startReclaimer(); }
  ~ReclaimerUse() { DelayBlock::stopReclaimer(); }
  ReclaimerUse(const ReclaimerUse&) = delete;
  ReclaimerUse& operator=(const ReclaimerUse&) = delete;
};

// A ring buffer inside a block. Write and read indexes count down one per sample; an index that was 0
// becomes size - 1. A record of size 0 (no block, a rate of 0) is missing: it reads 0 and stores nothing.
struct DelayRecord
{
  double* data = nullptr;
  int size = 0;
  int delay = 0; // samples between a write and its read, as last set (size - 1 after a reset)
  int write = 0;
  int read = 0;
  // Positions written since the last lazy clear, up to size: anything older reads as 0, which is what a
  // clear of the whole buffer would give, without touching it.
  int filled = 0;

  // A fresh buffer of `count` samples at `memory` (null or count 0: missing): delay size - 1, both
  // indexes 0, every position zero.
  void attach(double* memory, int count);

  // Read position = write position + d (d clamped to 0..size - 1, wrapped into the buffer).
  void setDelay(int d);

  void step()
  {
    write = write > 0 ? write - 1 : size - 1;
    read = read > 0 ? read - 1 : size - 1;
  }

  // Plain access, for buffers that are never cleared lazily.
  double get() const { return data[read]; }
  void put(double v) const { data[write] = v; }

  // Access that honours a lazy clear.
  void clearLazily() { filled = 0; }
  double getFilled() const
  {
    if (filled >= size) return data[read];
    // Age of the read position: 0 for the position written last (just above the write index).
    int age = read - write - 1;
    if (age < 0) age += size;
    return age < filled ? data[read] : 0.0;
  }
  void putFilled(double v)
  {
    data[write] = v;
    if (filled < size) ++filled;
  }
};

// The size in samples of a delay of `ms` milliseconds at `rate` (truncated), 0 for a rate that is not a
// positive finite number; never above 2^26 (several minutes at any rate this product runs at).
int delaySamples(double ms, double rate);
