// Clock: 20 gate sources that pulse in time with the host's tempo, from four bars (4/1) down to a
// sixty-fourth note, on the control ticks of 1 ms.
//
// While the host's position moves, each tick works out the host's position at that tick (the block's
// position plus the tick's offset in the block, at the host's tempo) and a division pulses on the first tick
// that lies in a new division of it: once per division, on the same ticks whatever the host's block size.
// A real relocation (the transport starts, jumps or loops back) restarts the divisions from the new
// position: a division pulses at once only when that position is at its start, so a looped bar plays the
// same pulses every time round. While the position stands still (a stopped transport) the divisions run
// freely from their countdowns, one pulse every period.
//
// One Clock lives in the product object; the audio thread calls synchronize once per block (before the
// block's first update) and update once per tick, before voices and master modules read the outputs.
#pragma once

struct ITimeInfo;

class Clock
{
public:
  static constexpr int kNumRates = 20;

  // Length of one cycle of each rate in beats (quarter notes), and its label ("4/1" ... "1/64").
  static const double syncRate[kNumRates];
  static const char* const labelSyncRate[kNumRates];
  // 1 / syncRate, filled by the first constructor of the process.
  static double syncPeriod[kNumRates];

  Clock();

  // Takes the host's transport for the block that starts now. Its next tick comes samplesToTick samples
  // after the block's first sample and ticks are tickSamples apart at sampleRate (Hz). Nothing changes when
  // the position did not move and the transport did not start.
  void synchronize(const ITimeInfo* timeInfo, int samplesToTick, int tickSamples, double sampleRate);
  // The same for ticks of exactly 1 ms, the first at the position given.
  void synchronize(const ITimeInfo* timeInfo) { synchronize(timeInfo, 0, 1, 1000.0); }
  // One control tick: raises a rate's output on the tick its cycle restarts, else lowers it.
  void update();

  int period[kNumRates];            // ticks per cycle at the host's tempo
  int countdown[kNumRates];         // ticks left in the current cycle: period - 1 on its first tick, down to 0
  double output[kNumRates];         // gate value: 1.0 on the tick a cycle restarts, else 0.0
  int previousCountdown[kNumRates]; // countdown after the previous tick
  double lastPosition;              // host position in quarter notes at the last synchronize; NaN until then

private:
  bool following;          // the host's position moves: ticks follow it
  bool relocated;          // the next tick restarts the divisions from the position
  bool transportRunning;   // the host's running flag at the last synchronize
  double tickPosition;     // the host's position at the next tick, quarter notes
  double beatsPerTick;     // quarter notes from one tick to the next at the host's tempo
  double periodMsPerBeat;  // the tempo the periods were worked out for, milliseconds per beat; 0 before
  // Number of the division after the one the last tick lay in: a tick that reaches it restarts the rate
  // (a whole number, kept as a double for any position).
  double nextCycle[kNumRates];
};
