// WDL_Mutex: a recursive lock (the same thread may lock again; every lock needs its unlock) that lends its
// holder the priority of the threads waiting for it (priority inheritance), and WDL_MutexLock, which holds one for a scope and releases it on every exit, exceptions included.
//
//   WDL_MutexLock lock(&mMutex);   // a null mutex pointer locks nothing
#pragma once

#include <atomic>
#include <pthread.h>

class WDL_Mutex
{
public:
  WDL_Mutex();
  ~WDL_Mutex();
  WDL_Mutex(const WDL_Mutex&) = delete;
  WDL_Mutex& operator=(const WDL_Mutex&) = delete;

  void Enter()
  {
    pthread_mutex_lock(&mMutex);
    if (mDepth++ == 0) mOwner.store(pthread_self(), std::memory_order_relaxed);
  }
  // Enter only when the mutex is free or already the caller's: false (and nothing held) when another
  // thread holds it.
  bool TryEnter()
  {
    if (pthread_mutex_trylock(&mMutex) != 0) return false;
    if (mDepth++ == 0) mOwner.store(pthread_self(), std::memory_order_relaxed);
    return true;
  }
  void Leave()
  {
    if (--mDepth == 0) mOwner.store(pthread_t(), std::memory_order_relaxed);
    pthread_mutex_unlock(&mMutex);
  }
  // Whether the calling thread holds it (through Enter): a thread that holds it must not wait for anything
  // that waits for it.
  bool HeldByCaller() const
  {
    const pthread_t owner = mOwner.load(std::memory_order_relaxed);
    return owner != pthread_t() && pthread_equal(owner, pthread_self());
  }

private:
  pthread_mutex_t mMutex; // first: code that locks it directly takes the object's address as the mutex's
  std::atomic<pthread_t> mOwner{pthread_t()}; // set and cleared only by the owner, under the lock
  int mDepth = 0;                             // nested Enters of the owner
};

class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* mutex) : mMutex(mutex)
  {
    if (mMutex) mMutex->Enter();
  }
  ~WDL_MutexLock()
  {
    if (mMutex) mMutex->Leave();
  }
  WDL_MutexLock(const WDL_MutexLock&) = delete;
  WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

private:
  WDL_Mutex* mMutex;
};
