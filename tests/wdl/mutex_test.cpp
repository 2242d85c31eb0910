// The recursive mutex: nested locking by one thread, exclusion of the others.
#include "mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Another thread that tries to take the mutex; joined when the contender goes out of scope.
class Contender
{
public:
  explicit Contender(WDL_Mutex& mutex)
      : mThread([this, &mutex] {
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

private:
  std::atomic<bool> mLocked{false};
  std::thread mThread;
};

TEST(WDLMutex, TheSameThreadMayLockAgainAndEachLockNeedsItsUnlock)
{
  WDL_Mutex mutex;
  mutex.Enter();
  mutex.Enter(); // a plain mutex would block here, an error-checking one refuse
  mutex.Leave();
  {
    Contender other(mutex);
    EXPECT_FALSE(other.LockedWithin(100)); // one lock is still held
    mutex.Leave();
    EXPECT_TRUE(other.LockedWithin(5000));
  }
}

TEST(WDLMutex, NestedScopedLocksExcludeOtherThreads)
{
  WDL_Mutex mutex;
  long counter = 0; // plain: the mutex alone protects it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        WDL_MutexLock outer(&mutex);
        WDL_MutexLock inner(&mutex);
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
  EXPECT_TRUE(other.LockedWithin(5000));
}

} // namespace
