// Flush-to-zero and denormals-are-zero for the duration of one process call. Decays toward zero (filter
// memories, envelope tails, reverb) would otherwise end in subnormal numbers, which cost every held voice
// many times the work of a normal number. The host's own floating-point mode is restored on leaving.
//
// Threads: the floating-point control register belongs to the calling thread; the host's audio thread.
#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

class ScopedFlushDenormals
{
public:
#if defined(__SSE__) || defined(__x86_64__)
  static constexpr unsigned kFlushToZero = 0x8000;     // MXCSR bit 15
  static constexpr unsigned kDenormalsAreZero = 0x0040; // MXCSR bit 6
  ScopedFlushDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero); }
  ~ScopedFlushDenormals() { _mm_setcsr(saved); }
  static unsigned current() { return _mm_getcsr(); }

private:
  unsigned saved;
#elif defined(__aarch64__)
  static constexpr unsigned long kFlushToZero = 1ul << 24; // FPCR.FZ: inputs and results
  ScopedFlushDenormals() : saved(read()) { write(saved | kFlushToZero); }
  ~ScopedFlushDenormals() { write(saved); }
  static unsigned long current() { return read(); }

private:
  static unsigned long read()
  {
    unsigned long v;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(v));
    return v;
  }
  static void write(unsigned long v) { __asm__ __volatile__("msr fpcr, %0" : : "r"(v)); }
  unsigned long saved;
#else
  static unsigned current() { return 0; }
#endif

public:
  ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
  ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;
};
