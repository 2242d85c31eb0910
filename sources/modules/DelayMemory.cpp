#include "DelayMemory.h"

#include "ModuleConventions.h"
#include "SharedBytes.h"
#include "mutex.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <semaphore.h>
#include <sys/mman.h>
#include <thread>

namespace {

// Released blocks on their way back to the system. Any thread may hand one in without a lock; one thread of
// its own unmaps them. The same thread frees the shared blocks (wavetables) the audio threads' calls let go of.
class Reclaimer
{
public:
  static constexpr int kSlots = 256;

  // The semaphore lives as long as the process: a wake that comes as the thread stops finds it.
  Reclaimer() { sem_init(&mWake, 0, 0); }
  ~Reclaimer() { stopThread(); } // at unloading, should a host leave instances open

  void addUser()
  {
    std::lock_guard<WDL_Mutex> hold(mUsersLock.Get());
    if (mUsers++ == 0) startThread();
  }

  void removeUser()
  {
    std::lock_guard<WDL_Mutex> hold(mUsersLock.Get());
    if (mUsers > 0 && --mUsers == 0) stopThread();
  }

  // False when the thread does not run or every slot is taken: the caller unmaps the block itself.
  bool push(void* p, size_t bytes)
  {
    if (!mRunning.load(std::memory_order_acquire)) return false;
    for (int i = 0; i < kSlots; ++i) {
      Slot& s = mSlots[i];
      int expected = kFree;
      if (!s.state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire)) continue;
      s.p = p;
      s.bytes = bytes;
      mPending.fetch_add(1, std::memory_order_acq_rel);
      s.state.store(kReady, std::memory_order_release);
      sem_post(&mWake);
      return true;
    }
    return false;
  }

  void flush()
  {
    while (mPending.load(std::memory_order_acquire) > 0) std::this_thread::yield();
  }

private:
  enum : int { kFree, kWriting, kReady };
  struct Slot
  {
    std::atomic<int> state{kFree};
    void* p = nullptr;
    size_t bytes = 0;
  };

  void run()
  {
    while (!mStop.load()) {
      while (sem_wait(&mWake) != 0) {
      }
      drain();
      SharedBytes::FreeReleased();
    }
  }
  static void wake(); // the freeing thread's, for SharedBytes

  // Under mUsersLock.
  void startThread()
  {
    if (mThread.joinable()) return;
    mStop.store(false);
    try {
      mThread = std::thread([this] { run(); });
    } catch (const std::system_error&) { // no thread to be had: blocks are unmapped where they are released
      return;
    }
    mRunning.store(true, std::memory_order_release);
    SharedBytes::SetFreer(wake);
  }

  // Under mUsersLock, or at unloading. Every user's blocks were handed in before it left.
  void stopThread()
  {
    if (!mThread.joinable()) return;
    SharedBytes::SetFreer(nullptr);
    mRunning.store(false, std::memory_order_release);
    mStop.store(true);
    sem_post(&mWake);
    mThread.join();
    drain();
    SharedBytes::FreeReleased();
  }

  void drain()
  {
    for (Slot& s : mSlots) {
      if (s.state.load(std::memory_order_acquire) != kReady) continue;
      munmap(s.p, s.bytes);
      s.state.store(kFree, std::memory_order_release);
      mPending.fetch_sub(1, std::memory_order_acq_rel);
    }
  }

  Slot mSlots[kSlots];
  std::atomic<int> mPending{0};
  std::atomic<bool> mRunning{false}, mStop{false};
  sem_t mWake;
  std::thread mThread;
  // The user count, and starting and stopping the thread. Never destroyed: an instance a host closes from
  // its own exit handlers removes its use after the reclaimer's destructor has run.
  WDL_LastingMutex mUsersLock;
  int mUsers = 0;
};

Reclaimer& reclaimer()
{
  static Reclaimer r;
  return r;
}

void Reclaimer::wake()
{
  sem_post(&reclaimer().mWake);
}

} // namespace

void DelayBlock::startReclaimer()
{
  reclaimer().addUser();
}

void DelayBlock::stopReclaimer()
{
  reclaimer().removeUser();
}

void DelayBlock::flushReclaimer()
{
  reclaimer().flush();
}

double* DelayBlock::allocate(size_t count)
{
  release();
  if (count == 0) return nullptr;
  void* p = mmap(nullptr, count * sizeof(double), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  mData = static_cast<double*>(p);
  mCount = count;
  return mData;
}

void DelayBlock::release()
{
  if (mData && !reclaimer().push(mData, mCount * sizeof(double))) munmap(mData, mCount * sizeof(double));
  mData = nullptr;
  mCount = 0;
}

namespace {
// Maps the page holding *p in by reading it. A module made off the audio thread (a program built aside, a
// replacement's modules) so takes there the page faults its first samples would take on the audio thread.
void mapIn(const double* p)
{
  const volatile double* v = p;
  (void)*v;
}
} // namespace

void DelayRecord::attach(double* memory, int count)
{
  data = memory && count > 0 ? memory : nullptr;
  size = data ? count : 0;
  delay = size - 1;
  write = read = 0;
  filled = size;
  // Every page is mapped in here, for reading (a fresh block's pages then read as the shared zero page, which
  // costs no memory), and the two the first samples write (at 0, then at the end) for writing: reads never
  // fault later, and writes only where the write position first enters a page.
  if (!data) return;
  constexpr int kDoublesPerPage = 4096 / (int)sizeof(double);
  for (int i = 0; i < size; i += kDoublesPerPage) mapIn(data + i);
  data[0] = 0.0;
  data[size - 1] = 0.0;
}

void DelayRecord::setDelay(int d)
{
  if (size <= 0) {
    delay = 0;
    return;
  }
  delay = d < 0 ? 0 : d < size ? d : size - 1;
  read = write + delay;
  if (read >= size) read -= size;
}

int delaySamples(double ms, double rate)
{
  if (!(rate > 0.0) || !ModuleConventions::isFinite(rate)) return 0;
  return ModuleConventions::clampToInt(ms * rate / 1000.0, 0, 1 << 26);
}
