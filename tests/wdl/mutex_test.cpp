// The recursive mutex: nested locking by one thread, exclusion of the others.
#include "mutex.h"
#include "../support/thread_state.h"

#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// While set, this process refuses priority inheritance as a system without it does (the call is this file's
// own, in front of the C library's).
static std::atomic<bool> gRefuseInheritance{false};
extern "C" int pthread_mutexattr_setprotocol(pthread_mutexattr_t* attr, int protocol) noexcept
{
  using Real = int (*)(pthread_mutexattr_t*, int);
  static const Real real = (Real)dlsym(RTLD_NEXT, "pthread_mutexattr_setprotocol");
  return protocol == PTHREAD_PRIO_INHERIT && gRefuseInheritance.load() ? ENOTSUP : real(attr, protocol);
}

namespace {

// Another thread that tries to take the mutex; joined when the contender goes out of scope.
class Contender
{
public:
  explicit Contender(WDL_Mutex& mutex)
      : mThread([this, &mutex] {
          mTid = gettid();
          WDL_MutexLock lock(&mutex);
          mLocked = true;
        })
  {
  }
  ~Contender() { mThread.join(); }

  bool LockedWithin(int milliseconds)
  {
    for (int i = 0; i < milliseconds && !mLocked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return mLocked;
  }
  // It waits for the mutex: it came to sleep (nothing else puts it to sleep) without having locked it.
  bool Waits()
  {
    while (!mTid) std::this_thread::yield();
    return ThreadComesToSleep(mTid) && !mLocked;
  }

private:
  std::atomic<bool> mLocked{false};
  std::atomic<pid_t> mTid{0};
  std::thread mThread;
};

TEST(WDLMutex, TheSameThreadMayLockAgainAndEachLockNeedsItsUnlock)
{
  WDL_Mutex mutex;
  mutex.Enter();
  mutex.Enter(); // a plain mutex would block here, an error-checking one refuse
  mutex.Leave();
  EXPECT_DEATH(std::thread([&] { mutex.Leave(); }).join(), "cannot unlock a mutex"); // by another thread
  {
    Contender other(mutex);
    EXPECT_TRUE(other.Waits()); // one lock is still held
    std::thread([&] { EXPECT_FALSE(mutex.try_lock()); }).join();
    mutex.Leave();
    EXPECT_TRUE(other.LockedWithin(30000));
  }
}

TEST(WDLMutex, WithoutPriorityInheritanceItIsAPlainRecursiveMutex)
{
  gRefuseInheritance = true;
  WDL_Mutex mutex;
  gRefuseInheritance = false;
  mutex.Enter();
  mutex.Enter();
  mutex.Leave();
  Contender other(mutex);
  EXPECT_TRUE(other.Waits());
  mutex.Leave();
  EXPECT_TRUE(other.LockedWithin(30000));
}

TEST(WDLMutex, NestedScopedLocksExcludeOtherThreads)
{
  WDL_Mutex mutex;
  long counter = 0; // plain: the mutex alone protects it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        std::lock_guard<WDL_Mutex> outer(mutex);
        std::unique_lock<WDL_Mutex> inner(mutex);
        counter = counter + 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(WDLMutex, ScopedLockReleasesWhenAnErrorPropagates)
{
  WDL_Mutex mutex;
  try {
    WDL_MutexLock lock(&mutex);
    WDL_MutexLock none(nullptr); // locks nothing
    throw std::runtime_error("boom");
  } catch (const std::runtime_error&) {
  }
  Contender other(mutex);
  EXPECT_TRUE(other.LockedWithin(30000));
}

// The calling thread's priority as the scheduler has it now, boosts included: 20 + nice for a normal thread.
int SchedulerPriority()
{
  std::ifstream stat("/proc/thread-self/stat");
  std::string field; // the 18th (the program's name, the 2nd, has no blanks)
  for (int i = 0; i < 18; ++i) stat >> field;
  return std::stoi(field);
}

// The plug-in's worker runs at nice 10: a thread waiting for a lock it holds lends it its priority until it
// has the lock, so that the audio thread never waits behind work the scheduler puts last.
TEST(WDLMutex, AHolderRunsAtThePriorityOfAThreadWaitingForIt)
{
  const int waiter = SchedulerPriority();
  WDL_Mutex mutex;
  std::atomic<int> alone{0};
  int waitedFor = 0;
  std::thread holder([&] {
    setpriority(PRIO_PROCESS, 0, 19); // on Linux, the calling thread's
    WDL_MutexLock lock(&mutex);
    alone = SchedulerPriority();
    for (int i = 0; i < 30000 && (waitedFor = SchedulerPriority()) != waiter; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!alone) std::this_thread::yield();
  Contender other(mutex); // at this thread's priority
  holder.join();
  if (alone == waiter) GTEST_SKIP() << "this process runs at the lowest priority already";
  EXPECT_EQ(waiter, waitedFor);
}

} // namespace
