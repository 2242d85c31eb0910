#include "SharedBytes.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
// Blocks given up, pushed without a lock; taken whole by a thread that may free.
std::atomic<SharedBytes*> sReleased{nullptr};
std::atomic<void (*)()> sWakeFreer{nullptr};
constexpr size_t kHeader = (sizeof(SharedBytes) + 15) / 16 * 16; // the bytes start aligned for doubles
} // namespace

void SharedBytes::FreeList(SharedBytes* block)
{
  while (block) {
    SharedBytes* next = block->mNextReleased;
    block->~SharedBytes();
    std::free(block);
    block = next;
  }
}

namespace {
// What is still listed when the process ends or the library is unloaded (the list goes with it).
struct FreeAtUnload
{
  ~FreeAtUnload() { SharedBytes::FreeReleased(); }
} sFreeAtUnload;
} // namespace

SharedBytesRef SharedBytes::Make(size_t size)
{
  if (!sWakeFreer.load(std::memory_order_acquire)) FreeReleased(); // no instance: nobody else frees
  if (size > (size_t)-1 - kHeader) return SharedBytesRef();
  void* memory = std::calloc(1, kHeader + size);
  if (!memory) return SharedBytesRef();
  SharedBytes* block = new (memory) SharedBytes;
  block->mSize = size;
  block->mBytes = static_cast<unsigned char*>(memory) + kHeader;
  return SharedBytesRef(block);
}

void SharedBytes::Release() const
{
  if (mRefs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  SharedBytes* self = const_cast<SharedBytes*>(this);
  self->mNextReleased = sReleased.load(std::memory_order_relaxed);
  while (!sReleased.compare_exchange_weak(self->mNextReleased, self, std::memory_order_release,
                                          std::memory_order_relaxed)) {
  }
}

void SharedBytes::SetFreer(void (*wake)())
{
  sWakeFreer.store(wake, std::memory_order_release);
}

void SharedBytes::FreeReleased()
{
  if (!sReleased.load(std::memory_order_relaxed)) return;
  FreeList(sReleased.exchange(nullptr, std::memory_order_acquire));
}

bool SharedBytes::AnyReleased()
{
  return sReleased.load(std::memory_order_relaxed) != nullptr;
}

bool SharedBytes::WakeFreer()
{
  void (*wake)() = sWakeFreer.load(std::memory_order_acquire);
  if (wake) wake();
  return wake != nullptr;
}
