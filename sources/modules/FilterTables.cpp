#include "FilterTables.h"

#include "PitchTableRegistry.h"

#include <cmath>

namespace FilterTables {

namespace {
double tangent(double hz, double rate)
{
  if (rate <= 0.0) return 0.0;
  const double top = kMaxCentreRatio * rate;
  return std::tan(3.141592653589793 * (hz < top ? hz : top) / rate);
}

double period(double hz, double rate)
{
  if (rate <= 0.0) return 0.0;
  return rate / hz;
}
} // namespace

const double* tangentTable(double sampleRate)
{
  static ModuleConventions::PitchTableRegistry<double> registry;
  return registry.get(sampleRate, &tangent);
}

const double* periodTable(double sampleRate)
{
  static ModuleConventions::PitchTableRegistry<double> registry;
  return registry.get(sampleRate, &period);
}

} // namespace FilterTables
