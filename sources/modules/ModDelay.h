// ModDelay: module type 38, "Mod.Delay/M2G" (Tools, short ID "M2G"). A delay line of up to 5000 ticks (5 s)
// for modulation signals, with feedback; an adder of two modulation signals; and two comparators that turn
// modulation signals into gates against a threshold. Everything runs in update, once per tick, and only
// while the voice sounds.
//
// The line holds 5000 values whatever the sample rate, since it runs per tick. Its write and read indexes
// count down; a delay of d reads the value written d ticks earlier, and a delay of 0 (the default) reads the
// value written 5000 ticks earlier, just before overwriting it.
//
// Slot parameters: 0/1 delay inputs 1/2, 2/3 their amounts, 4 delay in ticks, 5 feedback; 6/7 adder inputs,
// 8/9 their amounts; 10/11 comparator inputs A/B, 12/13 thresholds A/B.
//
// The panel lights a lamp beside each threshold knob while that comparator's published gate is 1.0.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

#include <atomic>

class ModDelay : public Module
{
public:
  static constexpr int kLineSize = 5000;

  ModDelay(ModuleConfig* config, Voice* voice, Veltrane* owner);
  ~ModDelay() override;

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void setParameter(int index, double value) override;
  // Shows lamp k (special control k) while comparator k's published gate is 1.0; does nothing unless the
  // slot's special-control list holds exactly the panel's two lamps.
  void updateGraphics() override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  // The line: size values, owned; null until the first setSampleRate (and if it could not be had).
  double* buffer;
  int size;
  int delay; // ticks, 0..size - 1 (kept for the panel; the read index carries it)
  int writeIndex;
  int readIndex;
  double* delayInput1;
  double delayAmount1;
  double* delayInput2;
  double delayAmount2;
  double feedback;
  double* adderInput1;
  double adderAmount1;
  double* adderInput2;
  double adderAmount2;
  double* comparatorA;
  double thresholdA;
  double* comparatorB;
  double thresholdB;
  // A copy of gate outputs 0 and 1 stored by update as it publishes them, for the editor thread, which reads
  // it without the instance mutex.
  std::atomic<double> shownGate[2] = {{0.0}, {0.0}};

private:
  bool written; // whether the line holds anything but zeros
};
