#include "Clock.h"

#include "IPlugBase.h"

#include <cmath>
#include <limits>

const double Clock::syncRate[kNumRates] = {16.0,      12.0,      8.0,    6.0,       4.0,       3.0,   2.0,
                                           1.5,       4.0 / 3.0, 1.0,    0.75,      2.0 / 3.0, 0.5,   0.375,
                                           1.0 / 3.0, 0.25,      0.1875, 1.0 / 6.0, 0.125,     0.0625};

const char* const Clock::labelSyncRate[kNumRates] = {"4/1",  "2/1.", "2/1",   "1/1.",  "1/1",  "1/2.", "1/2",
                                                     "1/4.", "1/2T", "1/4",   "1/8.",  "1/4T", "1/8",  "1/16.",
                                                     "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64"};

double Clock::syncPeriod[kNumRates];

namespace {
// A period longer than this many ticks (about 12 days) cannot come from a usable tempo; it only keeps
// absurd host tempos from overflowing an int.
constexpr double kMaxPeriod = 1.0e9;
} // namespace

Clock::Clock() : lastPosition(std::numeric_limits<double>::quiet_NaN())
{
  for (int i = 0; i < kNumRates; ++i) {
    syncPeriod[i] = 1.0 / syncRate[i];
    period[i] = 0;
    countdown[i] = 0;
    output[i] = 0.0;
    previousCountdown[i] = 0;
  }
}

void Clock::synchronize(const ITimeInfo* timeInfo)
{
  const double position = timeInfo->mPPQPos;
  // A host that sends no usable position leaves the clock running freely, as a stopped transport does.
  if (position == lastPosition || !std::isfinite(position)) return;
  const double tempo = timeInfo->mTempo;
  const double msPerBeat = (tempo > 0.0 && std::isfinite(tempo)) ? 60.0 / tempo * 1000.0 : 500.0;
  lastPosition = position;
  for (int i = 0; i < kNumRates; ++i) {
    double p = std::floor(syncRate[i] * msPerBeat + 0.5);
    if (p > kMaxPeriod) p = kMaxPeriod;
    period[i] = (int)p;
    if (period[i] <= 0) continue;
    const double x = position * syncPeriod[i]; // cycles elapsed
    int phase = (int)(period[i] * (x - std::floor(x)));
    if (phase >= period[i]) phase %= period[i];
    countdown[i] = period[i] - phase;
  }
}

void Clock::update()
{
  for (int i = 0; i < kNumRates; ++i) {
    const int c = countdown[i];
    countdown[i] = c > 0 ? c - 1 : period[i] - 1;
    output[i] = previousCountdown[i] < countdown[i] ? 1.0 : 0.0;
    previousCountdown[i] = countdown[i];
  }
}
