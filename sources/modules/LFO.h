// LFO: module type 13, "LFO" (Modulators, short label "LFO"). One low-frequency oscillator with four waves,
// a shape and a start phase, free-running at 0.001..100 Hz with a rate modulation or locked to one of the
// tempo clock's 20 divisions. Outputs: modulation 0 bipolar (level * wave), modulation 1 "+" positive
// (level / 2 * (1 + wave)), one gate high in the first part of each cycle (the part set by the shape).
//
// It runs only in update, once per 1 ms tick, whatever the voice does; nothing depends on the sample rate.
// Time is a countdown in ticks from period - 1 to 0; the phase 0..1 is worked out from it each tick. In sync
// the countdown and period are the clock division's, doubled, so that the phase steps by 2 / (2P - 1) and a
// cycle starts one tick after the division's gate.
//
// Slot parameters: 0 wave, 1 shape (-1..1), 2 phase (0..1), 3 rate (Hz), 4/5 rate modulation amount/source,
// 6 level, 7/8 level modulation amount/source, 9 reset gate source, 10 sync ("off" or a division).
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

#include <atomic>
#include <cstdint>

class LFO : public Module
{
public:
  enum Wave { kSinoid = 0, kTrapezoid = 1, kPulse = 2, kRandom = 3 };
  static const char* const labelLfoWaveform[4];
  static const char* const* const labelLfoSync; // 21 texts: "off", then the clock's divisions

  LFO(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;

  // Free-running period from the rate and its modulation (only while sync is off), the countdown rescaled.
  void setPeriod();
  // Parameter 10: 0 is off, 1..20 the clock division value - 1.
  void setSync(int value);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The cycle lamp: lit in the first half of each cycle.
  void updateGraphics() override;

  // Shared by every LFO of the plug-in instance; the dual LFO has its own.
  std::atomic<uint32_t>* lfoRandSeed;

  int wave;
  int syncDivision; // clock division 0..19 while sync is on
  double shape;
  double phase;
  double rate; // Hz
  double rateModAmount;
  double* rateModSource;
  double level;
  double levelModAmount;
  double* levelModSource;
  double* resetSource;
  double previousReset;
  int counter; // ticks, from period - 1 down to 0
  int period;  // ticks
  // The counter and period as the last tick left them, for the panel's lamp.
  ModulatorLamps::CyclePosition shownCycle;
  double heldRandom;
  double previousPhase;
  bool sync;
};
