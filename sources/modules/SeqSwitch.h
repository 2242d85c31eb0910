// SeqSwitch: module type 18, "Seq. Switch" (Sequencers, short label "SW-"). Steps through up to eight
// modulation inputs and passes the current one to its modulation output, switching at the control tick.
// Clocked by a gate input or, without one, by its own rate (a countdown in 1 ms ticks), through a divider
// of 1 to 8; with a reset, a loop switch and a stop input (its value replaces the output once the switch
// stopped at the end). Gate outputs, one-tick pulses: 0 "Clock", 1 "Clock Div", 2 "Clock Link", 3 "Reset",
// 4 "Stop", 5 "Step Active" (whether the step entered has an input), 6 + k "Step k+1".
//
// The audio switch (AudioSwitch.h) is the same stepping over audio inputs with per-sample fades.
//
// Runs in update, once per 1 ms tick, whatever the voice does.
//
// Slot parameters: 0 internal rate (Hz), 1 clock source, 2 divider ("1".."8"), 3 reset source, 4 loop,
// 5 stop input source, 6 step count ("1".."8"), 7..14 inputs 1..8.
//
// Panel (shared with the audio switch, whose signal menus offer audio): a lamp over each input's menu,
// lit while its step is the current one, and a lamp beside the rate knob that blinks at the internal clock.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

#include <atomic>

class SeqSwitch : public Module
{
public:
  enum Gate { kClock = 0, kClockDiv = 1, kClockLink = 2, kReset = 3, kStop = 4, kStepActive = 5, kStep1 = 6 };
  static constexpr int kSteps = 8;
  // Ticks given to the internal clock after a gate-clocked step, for the editor's indicator.
  static constexpr int kGatePeriod = 250;

  SeqSwitch(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;
  // Lights the lamp of the published step, and the rate lamp in the first half of each internal period
  // (editor thread).
  void updateGraphics() override;

  void setRate(double rate);
  bool isClockTriggered();
  bool isResetTriggered();
  void reset();
  void clock();
  void nextStep();

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  int divider;  // the step advances every divider + 1 clocks
  int lastStep; // step count - 1
  double* clockSource;
  double* resetSource;
  double* stopSource;
  double* inputs[kSteps];
  bool loop;
  int period;  // internal clock, ticks
  int counter; // internal clock countdown
  int previousCounter;
  int dividerCountdown;
  double previousClock;
  double previousReset;
  int currentStep; // 0..7
  bool stopped;
  // currentStep, counter and period as of the end of the last tick, for the editor's lamps (written by the
  // audio thread, read by the editor's without a lock).
  std::atomic<int> publishedStep{0};
  std::atomic<int> publishedCounter{0};
  std::atomic<int> publishedPeriod{0};

protected:
  // Reads one tick of gates and clocks; the switches differ only in what they do with the current step.
  void step();
  SourceDef::SourceType signalType; // of the inputs and the stop input
};
