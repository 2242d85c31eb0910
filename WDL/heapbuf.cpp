#include "heapbuf.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kPage = 4096;
constexpr int kMaxStep = 4194304; // largest growth step for page-granular buffers (4 MB)
constexpr int kPageSlack = 96;    // page-granular allocations end this far short of a page boundary

// Allocation for newSize bytes, or -1 when it would not fit in an int.
int64_t AllocationFor(int newSize, int granul)
{
  if (newSize == 0) return 0;
  int64_t alloc;
  if (granul < kPage) {
    alloc = int64_t(newSize) + std::max(newSize / 2, granul);
  } else {
    int64_t step = std::max(newSize / 2, granul);
    step -= step % kPage;
    step = std::clamp<int64_t>(step, kPage, kMaxStep);
    const int64_t total = int64_t(newSize) + step + kPageSlack;
    alloc = total - total % kPage - kPageSlack;
  }
  return alloc > INT_MAX ? -1 : alloc;
}

} // namespace

WDL_HeapBuf::~WDL_HeapBuf()
{
  std::free(mBuf);
}

WDL_HeapBuf::WDL_HeapBuf(const WDL_HeapBuf& other) : mGranul(other.mGranul)
{
  CopyFrom(other);
}

WDL_HeapBuf& WDL_HeapBuf::operator=(const WDL_HeapBuf& other)
{
  if (this != &other) CopyFrom(other);
  return *this;
}

bool WDL_HeapBuf::CopyFrom(const WDL_HeapBuf& other)
{
  if (this == &other) return true;
  const int n = other.mSize;
  if (n > mAlloc) {
    // Grow into a fresh block first so that a failure leaves these contents alone.
    const int64_t alloc = AllocationFor(n, mGranul);
    void* fresh = alloc > 0 ? std::malloc(size_t(alloc)) : nullptr;
    if (!fresh) return false;
    std::free(mBuf);
    mBuf = fresh;
    mAlloc = int(alloc);
  }
  if (n > 0) std::memcpy(mBuf, other.mBuf, size_t(n));
  Resize(n, true);
  return true;
}

void* WDL_HeapBuf::Resize(int newSize, bool resizeDown)
{
  if (newSize < 0) newSize = 0;
  if (newSize == mSize && (!resizeDown || newSize >= mAlloc / 2)) return Get();

  int threshold = 0;
  if (resizeDown && newSize < mSize) threshold = std::max(1, std::min(mAlloc / 2, mAlloc - 4 * mGranul));

  if (newSize > mAlloc || newSize < threshold) {
    const int64_t alloc = AllocationFor(newSize, mGranul);
    if (alloc < 0) return mSize > 0 ? mBuf : nullptr; // too large: nothing changes

    if (alloc == 0) {
      std::free(mBuf);
      mBuf = nullptr;
      mAlloc = mSize = 0;
      return nullptr;
    }
    if (alloc != mAlloc) {
      void* moved = std::realloc(mBuf, size_t(alloc));
      if (!moved) {
        // realloc may fail where a fresh block still fits (e.g. a fragmented heap).
        moved = std::malloc(size_t(alloc));
        if (!moved) return mSize > 0 ? mBuf : nullptr;
        const int keep = std::min(mSize, newSize);
        if (keep > 0) std::memcpy(moved, mBuf, size_t(keep));
        std::free(mBuf);
      }
      mBuf = moved;
      mAlloc = int(alloc);
    }
  }
  mSize = newSize;
  return Get();
}
