// OscBase: the base of the table-driven oscillators. It owns the phase arithmetic (a 28-bit fixed-point
// phase in an int: phase >> 16 indexes a 4096-entry table), the 22 band-limited sawtooth tables the
// oscillators read, the pitch-step to phase-increment table, and the pitch fields (coarse pitch, fine tune,
// the voice's pitch source and two pitch-modulation inputs).
//
// Wave tables: table k holds round(2048 / sqrt(2)^k) harmonics, from 2048 (k = 0) down to 1 (k = 21, the
// pure sine 0.5 sin). Built once per process, never changed, shared by every instance.
// Phase increments: one immutable table per sample rate, shared by the instances at that rate.
#pragma once

#include "Module.h"

class OscBase : public Module
{
public:
  static constexpr int shift = 16;        // phase >> shift is the table index (12 bits)
  static constexpr int mask = 268435455;  // 2^28 - 1: a phase wraps by a bitwise and
  static constexpr int topTable = 21;     // the pure sine table
  static constexpr int range = 268435456; // 2^28, one cycle of phase
  static constexpr int half = 134217728;  // 2^27, half a cycle
  static constexpr int kTableSize = 4096; // doubles per wave table
  static constexpr int kNumTables = 22;

  OscBase(ModuleConfig* config, Voice* voice, Veltrane* owner);

  // Picks the phase-increment table of the rate and restarts both phases and the increment at 0.
  void setSampleRate(double rate) override;
  void setFrequencySource(int* pitch) override { frequencySource = pitch; }

  void setPitch(int semitones); // coarse pitch; pitch sum = semitones * 128 + tune
  void setTune(int steps);      // fine tune in 1/128 semitone
  // The pitch block at slot parameters first..first + 5 (semitones, fine tune, then two modulations, each an
  // amount and its source) and the start block at first..first + 2 (start phase, its modulation source, the
  // reset trigger), laid out as declarePitchParams and declareStartPhaseParams declare them. False for an
  // index outside the block.
  bool setPitchParameter(int index, int first, double value);
  bool setStartPhaseParameter(int index, int first, double value);

  // The 22 wave tables, contiguous: table k starts at element k * 4096.
  static const double* waveTables();
  // The table level (0..21) for a phase increment: 0 when (increment >> 16) < 2, else the number of
  // halvings by sqrt(2) that bring it to 1 or below, at most 21.
  static int tableLevel(int increment);

  // The second read point of the shape rule: for a shape w in 0..1 the phase plus (1 - w) half cycles for a
  // pulse, w half cycles otherwise; a shape outside 0..1 (or not a number) puts both read points together.
  static int shapedSecondPhase(int phase, double shape, bool pulse);
  // A start phase in cycles as a phase 0..2^28 - 1: floor(2^28 * cycles) reduced modulo one cycle, so 1.0
  // restarts at 0 and -0.25 at three quarters. A value that is not finite restarts at 0.
  static int startPhaseToPhase(double cycles);

protected:
  // Voice pitch + pitch sum + both pitch modulations, truncated and clamped, as a phase increment.
  int pitchIncrement() const;
  // A pitch value (1/128 semitone, in doubles) as a phase increment: clamped to the table's steps 0..17280
  // before it is converted, so a NaN, an infinity or a huge modulation reads an end of the table.
  int incrementForPitch(double pitchValue) const;
  // The voice's pitch, 0 until a source is set.
  int voicePitch() const { return frequencySource ? *frequencySource : 0; }
  // At a tick: a reset trigger that rose arms a restart at the start phase (plus its modulation).
  void armReset()
  {
    if (!resetSource) return;
    if (*resetSource > previousReset) resetPending = true;
    previousReset = *resetSource;
    resetPhase = startPhaseToPhase(startPhase + (startPhaseModSource ? *startPhaseModSource : 0.0));
  }
  // At a sample: hard sync restarts at 0, else an armed reset at its phase (sync wins over a pending reset,
  // which then waits for the next sample without sync). Both keep the distance between the read points.
  void syncOrReset()
  {
    if (syncSource && *syncSource > 0.0) {
      secondPhase = (secondPhase + range - phase) & mask;
      phase = 0;
    } else if (resetPending) {
      secondPhase = (secondPhase + range - phase + resetPhase) & mask;
      phase = resetPhase;
      resetPending = false;
    }
  }

public:
  int* frequencySource;    // the voice's pitch (1/128 semitone); null until set
  double* pitchMod1Source; // null: unconnected
  double pitchMod1Amount;  // 1/128 semitone per unit of source
  double* pitchMod2Source;
  double pitchMod2Amount;
  int waveform;          // subclass-defined; 0 is the sine in every subclass
  int pitch;             // coarse pitch in semitones
  int tune;              // fine tune in 1/128 semitone
  const double* wave;    // the table read now; null until the first update(true)
  int pitchSum;          // pitch * 128 + tune
  int phase;             // 0 .. 2^28 - 1
  int secondPhase;       // second read point (pulse width, shape)
  int phaseIncrement;    // added to the phase each sample
  const int* freq2PhInc; // phase increment of each pitch step 0..17280 at the current rate
  // Hard sync and the reset by trigger (the oscillators that use them connect these).
  double startPhase = 0.0;              // fraction of a cycle
  double* syncSource = nullptr;         // a sync output: above 0 in the sample its oscillator wrapped
  double* startPhaseModSource = nullptr;
  double* resetSource = nullptr;        // a gate
  double previousReset = 0.0;           // last value read from the reset source
  int resetPhase = 0;                   // phase to restart at
  bool resetPending = false;            // a trigger was seen; the restart is due at the next sample
};
