// Growable heap buffers: WDL_HeapBuf (raw bytes) and WDL_TypedBuf (typed array on top of one).
//
// Both report failure by returning a null pointer or keeping their old contents; nothing throws.
// Growth adds at least half the current size (or one granule), so appending is amortised constant
// time; memory is given back only when the use drops well below the allocation.
//
//   WDL_TypedBuf<double> scratch;           // granularity 4096 bytes
//   if (!scratch.Resize(blockSize)) ...     // null: size 0 or out of memory (compare GetSize())
//   double* p = scratch.Get();
#pragma once

#include <cstring>
#include <type_traits>
#include <utility>

class WDL_HeapBuf
{
public:
  // granularity: the smallest growth step in bytes. Below 4096 allocations are exact plus slack;
  // from 4096 on they are whole pages minus 96 bytes (room for the allocator's own header).
  explicit WDL_HeapBuf(int granularity = 4096) : mGranul(granularity > 0 ? granularity : 1) {}
  ~WDL_HeapBuf();

  // Copies hold their own buffer with the same granularity; assignment to itself is harmless.
  WDL_HeapBuf(const WDL_HeapBuf& other);
  WDL_HeapBuf& operator=(const WDL_HeapBuf& other);

  // The used bytes; null whenever the used size is 0 (even if memory stays allocated).
  void* Get() const { return mSize > 0 ? mBuf : nullptr; }
  int GetSize() const { return mSize; }
  int GetAlloc() const { return mAlloc; }
  int GetGranul() const { return mGranul; }

  // Sets the used size (negative counts as 0) and returns the buffer, null for size 0. When memory
  // runs out the buffer keeps its old size and contents: callers compare GetSize() to detect it.
  // resizeDown permits giving memory back when the new size is far below the allocation.
  void* Resize(int newSize, bool resizeDown = true);

  // Copies size and bytes of another buffer (keeps this buffer's granularity). False when memory
  // ran out; the contents are then unchanged.
  bool CopyFrom(const WDL_HeapBuf& other);

  // Exchanges the buffers (and granularities) of two heap buffers; nothing is allocated or copied.
  void Swap(WDL_HeapBuf& other)
  {
    std::swap(mBuf, other.mBuf);
    std::swap(mAlloc, other.mAlloc);
    std::swap(mSize, other.mSize);
    std::swap(mGranul, other.mGranul);
  }

private:
  void* mBuf = nullptr;
  int mAlloc = 0; // bytes allocated
  int mSize = 0;  // bytes in use
  int mGranul;
};

template <class T> class WDL_TypedBuf
{
  // The buffer moves its elements with memmove and realloc.
  static_assert(std::is_trivially_copyable<T>::value, "WDL_TypedBuf holds trivially copyable types only");

public:
  explicit WDL_TypedBuf(int granularity = 4096) : mHeapBuf(granularity) {}

  T* Get() const { return static_cast<T*>(mHeapBuf.Get()); }
  int GetSize() const { return mHeapBuf.GetSize() / static_cast<int>(sizeof(T)); }

  // Element count n; null for n <= 0 or when memory ran out (the old contents then stay).
  T* Resize(int n, bool resizeDown = true)
  {
    if (n < 0) n = 0;
    if (n > kMaxElements) return Get(); // byte count would not fit in an int: refuse, keep contents
    return static_cast<T*>(mHeapBuf.Resize(n * static_cast<int>(sizeof(T)), resizeDown));
  }

  // Appends one element without giving memory back; returns its address, null on failure.
  T* Add(const T& item)
  {
    const int n = GetSize();
    if (n >= kMaxElements) return nullptr;
    const T copy = item; // item may live inside this buffer, which may move
    T* p = Resize(n + 1, false);
    if (!p || GetSize() != n + 1) return nullptr;
    p[n] = copy;
    return p + n;
  }

  // Makes room for n elements without changing the size, so that growing up to n allocates nothing.
  // False when memory ran out.
  bool Reserve(int n)
  {
    const int size = GetSize();
    if (n <= size) return true;
    const bool ok = Resize(n, false) && GetSize() == n;
    Resize(size, false);
    return ok;
  }

  void Swap(WDL_TypedBuf& other) { mHeapBuf.Swap(other.mHeapBuf); }

  WDL_HeapBuf* GetHeapBuf() { return &mHeapBuf; }
  const WDL_HeapBuf* GetHeapBuf() const { return &mHeapBuf; }

private:
  static constexpr int kMaxElements = 0x7fffffff / static_cast<int>(sizeof(T));
  WDL_HeapBuf mHeapBuf;
};
