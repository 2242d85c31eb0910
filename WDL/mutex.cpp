#include "mutex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

WDL_Mutex::WDL_Mutex()
{
  // The recursive type by its name: the numbers differ between systems, and on Linux 2 is the
  // error-checking type, which refuses a nested lock (the inner unlock would then free the lock).
  pthread_mutexattr_t attr;
  if (const int error = pthread_mutexattr_init(&attr)) Fail("make", error);
  if (const int error = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE)) Fail("make", error);
  // A thread that holds it runs at the priority of the most urgent thread waiting for it: a host's real-time
  // audio thread never waits on a holder the scheduler has put behind other work (the plug-in's own
  // background threads run below normal priority). A system without priority inheritance refuses the
  // protocol, or the mutex made with it (ENOTSUP): the mutex is then a plain recursive one, which still
  // excludes, only without lending its holder a waiter's priority.
  int error = pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  if (!error) error = pthread_mutex_init(&mMutex, &attr);
  if (error && pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE) == 0) error = pthread_mutex_init(&mMutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (error) Fail("make", error);
}

WDL_Mutex::~WDL_Mutex()
{
  // EBUSY: destroyed while held, by its owner or another thread; either is a bug of the object's owner.
  if (const int error = pthread_mutex_destroy(&mMutex)) Fail("destroy", error);
}

void WDL_Mutex::Fail(const char* what, int error)
{
  std::fprintf(stderr, "WDL_Mutex: cannot %s a mutex: %s\n", what, std::strerror(error));
  std::abort();
}
