// BeatSeq: module type 23, "Beat Seq." (Sequencers, short label "BS-"). A trigger sequencer of up to 16
// steps with four lines A to D: each line has an on/off flag per step, and when the sequencer enters a step
// every line flagged there fires its gate for one tick. Advanced by a clock gate through a divider of 1 to
// 16, with a reset and a loop switch; no internal clock. Gate outputs, one-tick pulses: 0 "Clock", 1 "Clock
// Div", 2 "Clock Link", 3 "Reset", 4 "Stop", 5..8 "Line A".."Line D".
//
// Each line's flags are kept as a slot parameter, a 16-bit mask (bit k = step k + 1), which the editor's
// step grid edits and stored programs keep.
//
// Runs only in update, once per 1 ms tick, whatever the voice does.
//
// Slot parameters: 0 clock source, 1 divider ("1".."16"), 2 reset source, 3 loop, 4 step count
// ("1".."16"), 5..8 patterns of lines A..D (0..65536; bits above 15 have no step).
//
// Panel: the four lines' step columns side by side, with a column of lamps on their left that lights the
// current step's row.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

#include <atomic>

class BeatSeq : public Module
{
public:
  enum Gate { kClock = 0, kClockDiv = 1, kClockLink = 2, kReset = 3, kStop = 4, kLineA = 5 };
  static constexpr int kSteps = 16;
  static constexpr int kLines = 4;
  static const char* const* const labelBeatSteps; // "1".."16"

  BeatSeq(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;
  // Lights the lamp of the published step (editor thread).
  void updateGraphics() override;

  // Line 0 (A) .. 3 (D) takes the flags of a step mask.
  void setSteps(int line, int mask);
  bool isClockTriggered();
  bool isResetTriggered();
  void reset();
  void clock();
  void nextStep();
  void setLineTriggers();

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  int divider;  // the step advances every divider + 1 clocks
  int lastStep; // step count - 1
  double* clockSource;
  double* resetSource;
  bool loop;
  unsigned char lines[kLines][kSteps]; // lines[l][k]: line l fires on step k
  int dividerCountdown;
  double previousClock;
  double previousReset;
  int currentStep; // 0..15
  // currentStep as of the end of the last tick, for the editor's step lamps (written by the audio thread,
  // read by the editor's without a lock).
  std::atomic<int> publishedStep{0};
  bool stopped;
};
