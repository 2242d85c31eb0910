// Runs a test body in a child process whose address space is capped a little above its current
// use, so that large allocations fail for real. Sanitizer runtimes abort on a failed allocation
// instead of returning null, so those builds skip such tests.
#pragma once

#include "sanitized.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace veltrane_test {

constexpr long kHeadroomBytes = 256L << 20;

inline void CapAddressSpace()
{
  long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + rlim_t(kHeadroomBytes);
  setrlimit(RLIMIT_AS, &limit);
}

} // namespace veltrane_test

#ifdef VELTRANE_SANITIZED
#define SKIP_IF_SANITIZED() GTEST_SKIP() << "allocation failure cannot be provoked under a sanitizer"
#else
#define SKIP_IF_SANITIZED() (void)0
#endif

namespace veltrane_test {

// Runs body() in a child with capped memory; EXPECT_* failures inside it fail the test.
template <class Body> void ExpectWithCappedMemory(Body body)
{
  EXPECT_EXIT(
      {
        CapAddressSpace();
        body();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

} // namespace veltrane_test
