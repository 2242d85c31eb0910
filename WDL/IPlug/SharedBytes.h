// SharedBytes: a block of bytes that never changes once its maker has filled it, shared by reference between
// the engine that plays it and the program slots and chunks that hold it (a wavetable's spectra, megabytes).
// A reference is taken and given up with an atomic count, without a lock: a state that holds such a block is
// copied, compared and stored in the time it takes to copy its other bytes.
//
// The last reference may be given up under a lock the audio thread waits for, or on the audio thread itself:
// the block then only goes onto a list, without a lock or an allocation. The list is freed where that costs the
// audio nothing: at the end of a host's call on a thread that processes no audio (once its locks are let go), by
// the plug-in's worker, and for the audio threads by the process's freeing thread (SetFreer: the reclaimer), which
// their calls wake. Where no such thread runs (no plug-in instance: a tool, a file check) Make frees the list too;
// what is left goes when the process ends or the library is unloaded.
//
//   SharedBytesRef r = SharedBytes::Make(n * sizeof(double)); // null without memory
//   double* d = reinterpret_cast<double*>(r->Bytes());        // filled before the reference is copied
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

class SharedBytesRef;

class SharedBytes
{
public:
  // size bytes, zero, for the caller to fill before it shares them; null when there is no memory.
  static SharedBytesRef Make(size_t size);
  unsigned char* Bytes() const { return mBytes; }
  size_t Size() const { return mSize; }

  // The thread that frees what is let go of: wake() is called, from any thread, to have it free the list (it must
  // neither lock nor allocate); null when none runs. That thread calls FreeReleased.
  static void SetFreer(void (*wake)());
  static bool AnyReleased();
  // Frees the blocks given up so far, on the calling thread.
  static void FreeReleased();
  // Wakes the freeing thread, without a lock or an allocation: false where none runs.
  static bool WakeFreer();

private:
  friend class SharedBytesRef;
  SharedBytes() = default;
  static void FreeList(SharedBytes* block); // a list of blocks given up, freed
  void Retain() const { mRefs.fetch_add(1, std::memory_order_relaxed); }
  void Release() const;

  mutable std::atomic<int> mRefs{1};
  size_t mSize = 0;
  unsigned char* mBytes = nullptr; // within the same allocation, after the header
  SharedBytes* mNextReleased = nullptr;
};

// One reference to a block, or none.
class SharedBytesRef
{
public:
  SharedBytesRef() = default;
  SharedBytesRef(const SharedBytesRef& other) : mBlock(other.mBlock)
  {
    if (mBlock) mBlock->Retain();
  }
  SharedBytesRef(SharedBytesRef&& other) noexcept : mBlock(std::exchange(other.mBlock, nullptr)) {}
  SharedBytesRef& operator=(SharedBytesRef other) noexcept
  {
    std::swap(mBlock, other.mBlock);
    return *this;
  }
  ~SharedBytesRef()
  {
    if (mBlock) mBlock->Release();
  }
  void Swap(SharedBytesRef& other) noexcept { std::swap(mBlock, other.mBlock); }

  const SharedBytes* Get() const { return mBlock; }
  const SharedBytes* operator->() const { return mBlock; }
  explicit operator bool() const { return mBlock != nullptr; }

private:
  friend class SharedBytes;
  explicit SharedBytesRef(SharedBytes* adopted) : mBlock(adopted) {}
  SharedBytes* mBlock = nullptr;

public:
  // Another reference to a block someone holds (a chunk's run found by position).
  static SharedBytesRef To(const SharedBytes* block)
  {
    if (block) block->Retain();
    return SharedBytesRef(const_cast<SharedBytes*>(block));
  }
};
