// Counters of what the calling thread does while counting is switched on: heap allocations (malloc,
// calloc, realloc, aligned allocations and so every operator new), large blocks freed, and mutex locks, with
// the locks of one allowed mutex left out. The whole test process uses these replacements.
#pragma once

#include <pthread.h>

namespace counting {
struct Counts
{
  long allocations = 0;
  long locks = 0;     // locks of mutexes other than the allowed one
  long lockWaits = 0; // locks that found their mutex held by another thread
  long largeFrees = 0; // blocks of 64 KiB or more given back
};

// Starts counting on this thread; locks of `allowed` (may be null) are not counted.
void start(const pthread_mutex_t* allowed);
Counts stop();
} // namespace counting
