// The registry behind every per-rate pitch-step table: one registry per table kind, entries appended under
// the lock and never removed or changed, so a pointer handed out stays valid and its contents constant for
// the life of the process. Used from setSampleRate only, never from process.
#pragma once

#include "ModuleConventions.h"
#include "Synth.h"
#include "mutex.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

namespace ModuleConventions {

// Tables built so far, of every kind (read through pitchTablesBuilt).
inline std::atomic<int>& pitchTableBuiltCount()
{
  static std::atomic<int> count{0};
  return count;
}

template <class T> class PitchTableRegistry
{
public:
  // A rate that cannot be divided by (zero, negative, NaN, inf) becomes 0 and still gets a table; the
  // fill function must give 0 there, so readers never see a null pointer.
  template <class Fill> const T* get(double rate, Fill fill)
  {
    if (!(rate > 0.0) || !std::isfinite(rate)) rate = 0.0;
    std::lock_guard<WDL_Mutex> hold(mLock);
    for (const Entry& e : mEntries)
      if (e.rate == rate) return e.values.get();
    std::unique_ptr<T[]> values(new T[kNumPitchSteps]);
    for (int p = 0; p < kNumPitchSteps; ++p) values[p] = fill(Synth::convert2Hz(p), rate);
    const T* result = values.get();
    mEntries.push_back(Entry{rate, std::move(values)});
    ++pitchTableBuiltCount();
    return result;
  }

private:
  struct Entry
  {
    double rate;
    std::unique_ptr<T[]> values;
  };
  // Held while a table is built, which the low-priority staging worker may do while effSetSampleRate
  // waits here holding the instance mutex: the builder then runs at the waiter's priority.
  WDL_Mutex mLock;
  std::vector<Entry> mEntries;
};

} // namespace ModuleConventions
