#include "FilterTables.h"

#include "ModuleConventions.h"
#include "Synth.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

namespace FilterTables {

namespace {
using Fill = double (*)(double hz, double rate);

// Entries are appended under the lock and never removed, so handed-out pointers stay valid.
class Registry
{
public:
  const double* get(double rate, Fill fill)
  {
    if (!(rate > 0.0) || !std::isfinite(rate)) rate = 0.0; // all-zero table: readers never see null
    std::lock_guard<std::mutex> hold(mLock);
    for (const Entry& e : mEntries)
      if (e.rate == rate) return e.values.get();
    std::unique_ptr<double[]> values(new double[ModuleConventions::kNumPitchSteps]);
    for (int p = 0; p < ModuleConventions::kNumPitchSteps; ++p)
      values[p] = rate > 0.0 ? fill(Synth::convert2Hz(p), rate) : 0.0;
    const double* result = values.get();
    mEntries.push_back(Entry{rate, std::move(values)});
    return result;
  }

private:
  struct Entry
  {
    double rate;
    std::unique_ptr<double[]> values;
  };
  std::mutex mLock;
  std::vector<Entry> mEntries;
};

double tangent(double hz, double rate)
{
  const double top = kMaxCentreRatio * rate;
  return std::tan(3.141592653589793 * (hz < top ? hz : top) / rate);
}

double period(double hz, double rate)
{
  return rate / hz;
}
} // namespace

const double* tangentTable(double sampleRate)
{
  static Registry registry;
  return registry.get(sampleRate, &tangent);
}

const double* periodTable(double sampleRate)
{
  static Registry registry;
  return registry.get(sampleRate, &period);
}

} // namespace FilterTables
