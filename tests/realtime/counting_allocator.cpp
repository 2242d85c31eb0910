#include "counting_allocator.h"

#include <cerrno>
#include <cstddef>
#include <dlfcn.h>
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
thread_local bool tCounting = false;
thread_local const pthread_mutex_t* tAllowed = nullptr;
thread_local counting::Counts tCounts;

inline void noteAllocation()
{
  if (tCounting) ++tCounts.allocations;
}

using LockFn = int (*)(pthread_mutex_t*);
LockFn realLock()
{
  static LockFn fn = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  return fn;
}
} // namespace

namespace counting {
void start(const pthread_mutex_t* allowed)
{
  tCounts = Counts{};
  tAllowed = allowed;
  realLock(); // resolved before counting: dlsym may allocate
  tCounting = true;
}

Counts stop()
{
  tCounting = false;
  return tCounts;
}
} // namespace counting

extern "C" {
void* malloc(size_t n)
{
  noteAllocation();
  return __libc_malloc(n);
}

void* calloc(size_t n, size_t size)
{
  noteAllocation();
  return __libc_calloc(n, size);
}

void* realloc(void* p, size_t n)
{
  noteAllocation();
  return __libc_realloc(p, n);
}

void* memalign(size_t alignment, size_t n)
{
  noteAllocation();
  return __libc_memalign(alignment, n);
}

void* aligned_alloc(size_t alignment, size_t n)
{
  noteAllocation();
  return __libc_memalign(alignment, n);
}

int posix_memalign(void** out, size_t alignment, size_t n)
{
  noteAllocation();
  void* p = __libc_memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

void free(void* p)
{
  if (tCounting && p && malloc_usable_size(p) >= (64 << 10)) ++tCounts.largeFrees;
  __libc_free(p);
}

int pthread_mutex_lock(pthread_mutex_t* m)
{
  if (tCounting && m != tAllowed) {
    ++tCounts.locks;
    if (pthread_mutex_trylock(m) == 0) return 0;
    ++tCounts.lockWaits;
  }
  return realLock()(m);
}
}
