// WDL_Mutex: a recursive lock (the same thread may lock again; every lock needs its unlock), and
// WDL_MutexLock, which holds one for a scope and releases it on every exit, exceptions included.
//
//   WDL_MutexLock lock(&mMutex);   // a null mutex pointer locks nothing
#pragma once

#include <pthread.h>

class WDL_Mutex
{
public:
  WDL_Mutex();
  ~WDL_Mutex();
  WDL_Mutex(const WDL_Mutex&) = delete;
  WDL_Mutex& operator=(const WDL_Mutex&) = delete;

  void Enter() { pthread_mutex_lock(&mMutex); }
  void Leave() { pthread_mutex_unlock(&mMutex); }

private:
  pthread_mutex_t mMutex;
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
