#include "mutex.h"

WDL_Mutex::WDL_Mutex()
{
  // The recursive type by its name: the numbers differ between systems, and on Linux 2 is the
  // error-checking type, which refuses a nested lock (the inner unlock would then free the lock).
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mMutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

WDL_Mutex::~WDL_Mutex()
{
  pthread_mutex_destroy(&mMutex);
}
