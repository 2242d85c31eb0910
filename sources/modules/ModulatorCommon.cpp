#include "ModulatorCommon.h"

#include "DeclareSwitch.h"
#include "ModuleConventions.h"
#include "Synth.h"

#include <cmath>

namespace ModulatorCommon {

const char* const labelSteps[16] = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                    "9", "10", "11", "12", "13", "14", "15", "16"};

const char* const labelLfoSync[21] = {"off",   "4/1",  "2/1.", "2/1",   "1/1.",  "1/1",  "1/2.",
                                      "1/2",   "1/4.", "1/2T", "1/4",   "1/8.",  "1/4T", "1/8",
                                      "1/16.", "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64"};

void declareBool(Synth* synth, int index, bool defaultVal)
{
  declareSwitch(synth, index, defaultVal);
}

int periodForRate(double hz)
{
  const double f = ModuleConventions::clampValue(hz, 0.001, 100.0);
  return (int)std::floor(1000.0 / f + 0.5);
}

int rescaleCounter(int counter, int oldPeriod, int newPeriod)
{
  if (newPeriod < 1 || oldPeriod < 1 || counter >= oldPeriod) return 0;
  return (int)((int64_t)counter * newPeriod / oldPeriod);
}

} // namespace ModulatorCommon
