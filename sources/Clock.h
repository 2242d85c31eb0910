// Clock: 20 gate sources that pulse in time with the host's tempo, from four bars (4/1) down to a
// sixty-fourth note. It counts in control ticks of 1 ms: each rate has a period in ticks derived from
// the tempo and a countdown that is re-phased from the host's song position whenever that moves.
//
// One Clock lives in the product object; the audio thread calls synchronize once per block (before the
// first update) and update once per tick, before voices and master modules read the outputs.
#pragma once

struct ITimeInfo;

class Clock
{
public:
  static constexpr int kNumRates = 20;

  // Length of one cycle of each rate in beats (quarter notes), and its label ("4/1" ... "1/64").
  static const double syncRate[kNumRates];
  static const char* const labelSyncRate[kNumRates];
  // 1 / syncRate, filled by the constructor.
  static double syncPeriod[kNumRates];

  Clock();

  // Re-phases every rate from the host position; nothing when the position did not move.
  void synchronize(const ITimeInfo* timeInfo);
  // One control tick: count down, reload, and raise a rate's output on the tick its cycle restarts.
  void update();

  int period[kNumRates];            // ticks per cycle
  int countdown[kNumRates];         // ticks left in the current cycle
  double output[kNumRates];         // gate value: 1.0 on the tick a cycle restarts, else 0.0
  int previousCountdown[kNumRates]; // countdown after the previous tick
  double lastPosition;              // host position in quarter notes at the last synchronize; NaN until then
};
