// WDL_Mutex: a recursive lock (the same thread may lock again; every lock needs its unlock) that lends its
// holder the priority of the threads waiting for it (priority inheritance), and WDL_MutexLock, which holds one for a scope and releases it on every exit, exceptions included.
//
//   WDL_MutexLock lock(&mMutex);   // a null mutex pointer locks nothing
//   std::lock_guard<WDL_Mutex> hold(mMutex);
//
// A lock or unlock the system refuses ends the process with a message on stderr: going on would run the
// code the lock guards unguarded. WDL_LastingMutex is one for a global that must never be destroyed.
#pragma once

#include <atomic>
#include <cerrno>
#include <new>
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
    if (const int error = pthread_mutex_lock(&mMutex)) Fail("lock", error);
    if (mDepth++ == 0) mOwner.store(pthread_self(), std::memory_order_relaxed);
  }
  // Enter only when the mutex is free or already the caller's: false (and nothing held) when another
  // thread holds it.
  bool TryEnter()
  {
    if (const int error = pthread_mutex_trylock(&mMutex)) {
      if (error == EBUSY) return false;
      Fail("try to lock", error);
    }
    if (mDepth++ == 0) mOwner.store(pthread_self(), std::memory_order_relaxed);
    return true;
  }
  void Leave()
  {
    if (!HeldByCaller()) Fail("unlock", EPERM); // the count below is the owner's alone
    if (--mDepth == 0) mOwner.store(pthread_t(), std::memory_order_relaxed);
    if (const int error = pthread_mutex_unlock(&mMutex)) Fail("unlock", error);
  }
  // Whether the calling thread holds it (through Enter): a thread that holds it must not wait for anything
  // that waits for it.
  bool HeldByCaller() const
  {
    const pthread_t owner = mOwner.load(std::memory_order_relaxed);
    return owner != pthread_t() && pthread_equal(owner, pthread_self());
  }

  // The same for std::lock_guard, std::unique_lock and std::scoped_lock.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

private:
  // Writes what failed and the system's reason to stderr and aborts.
  [[noreturn]] static void Fail(const char* what, int error);

  pthread_mutex_t mMutex; // first: code that locks it directly takes the object's address as the mutex's
  std::atomic<pthread_t> mOwner{pthread_t()}; // set and cleared only by the owner, under the lock
  int mDepth = 0;                             // nested Enters of the owner
};

// A WDL_Mutex that is made where it is declared and never destroyed, in the declaring object's own storage:
// for a lock that may still be taken after the exit handlers or the library's unloading have destroyed the
// statics around it (an Xlib error handler, a cache freed by a static destructor, an instance a host closes
// last). Nothing goes on the heap, so a library unloaded and loaded again leaves nothing behind. As a
// function's static it is made at first use, whatever order the libraries' initialisers run in:
//
//   WDL_Mutex& cacheLock()
//   {
//     static WDL_LastingMutex lock;
//     return lock.Get();
//   }
//   ...
//   std::lock_guard<WDL_Mutex> hold(cacheLock());
class WDL_LastingMutex
{
public:
  WDL_LastingMutex() { new (mStorage) WDL_Mutex; }
  WDL_LastingMutex(const WDL_LastingMutex&) = delete;
  WDL_LastingMutex& operator=(const WDL_LastingMutex&) = delete;
  // No destructor: the mutex stays usable, and a static registers nothing to run at exit.

  WDL_Mutex& Get() { return *std::launder(reinterpret_cast<WDL_Mutex*>(mStorage)); }

private:
  alignas(WDL_Mutex) unsigned char mStorage[sizeof(WDL_Mutex)];
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
