// VELTRANE_SANITIZED is defined in builds under AddressSanitizer, ThreadSanitizer or MemorySanitizer, whose
// runtimes change what a test can provoke (failed allocations abort) and how long it runs.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VELTRANE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELTRANE_SANITIZED 1
#endif
