#include "mutex.h"

WDL_Mutex::WDL_Mutex()
{
  // The recursive type by its name: the numbers differ between systems, and on Linux 2 is the
  // error-checking type, which refuses a nested lock (the inner unlock would then free the lock).
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  // A thread that holds it runs at the priority of the most urgent thread waiting for it: a host's real-time
  // audio thread never waits on a holder the scheduler has put behind other work (the plug-in's own
  // background threads run below normal priority).
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  pthread_mutex_init(&mMutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

WDL_Mutex::~WDL_Mutex()
{
  pthread_mutex_destroy(&mMutex);
}
