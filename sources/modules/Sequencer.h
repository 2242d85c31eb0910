// Sequencer: module type 17, "Sequencer" (Sequencers, short label "SQ-"). An eight-step control-voltage
// sequencer advanced by a clock gate, with a reset gate, a loop switch and a step count of 1 to 8. The
// modulation output carries the current step's value (or, once stopped at the end, the stop input's value
// when one is connected). Gate outputs, one-tick pulses: 0 "Clock", 1 "Clock Link", 2 "Reset", 3 "Stop",
// 4 + k "Step k+1". Stopped at the end without looping, it passes further clocks on through "Clock Link", so
// sequencers chain.
//
// Runs only in update, once per 1 ms tick, whatever the voice does.
//
// Slot parameters: 0 clock source, 1 reset source, 2 loop, 3 stop input source, 4 step count ("1".."8"),
// 5..12 step values (-1..1, shown as semitones times 12).
//
// Panel: the eight step knobs, each with a lamp that is lit while its step is the current one.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

#include <atomic>

class Sequencer : public Module
{
public:
  enum Gate { kClock = 0, kClockLink = 1, kReset = 2, kStop = 3, kStep1 = 4 };
  static constexpr int kSteps = 8;

  Sequencer(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;
  // Lights the lamp of the published step (editor thread).
  void updateGraphics() override;

  bool isClockTriggered();
  bool isResetTriggered();
  void nextStep();
  void reset();

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  int lastStep; // step count - 1
  double* clockSource;
  double* resetSource;
  double* stopSource;
  double stepValue[kSteps];
  bool loop;
  double previousClock;
  double previousReset;
  int currentStep; // 0..7
  // currentStep as of the end of the last tick, for the editor's step lamps (written by the audio thread,
  // read by the editor's without a lock).
  std::atomic<int> publishedStep{0};
  bool stopped;
};
