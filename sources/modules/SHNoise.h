// SHNoise: module type 14, "Sample + Hold" (Modulators, short label "SH-"). White and pink noise on audio
// outputs 0 ("W") and 1 ("P"), per sample; and two sample-and-hold channels A and B that, once per control
// tick at most, take a new sample of their input and hold it on modulation outputs 0 and 1. A channel is
// clocked by its gate input when one is connected, else by its own rate (a countdown in 1 ms ticks).
//
// Slot parameters: 0 white level, 1 pink level (linear, 0..1), 2/3 rate A/B (Hz), 4/5 clock gate source
// A/B, 6/7 input source A/B (audio or modulation).
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

#include <atomic>
#include <cstdint>

class SHNoise : public Module
{
public:
  // The editor's indicator period after a gate-clocked sample, in ticks.
  static constexpr int kGatePeriod = 250;

  SHNoise(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  void setRate(int channel, double rate);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The clock lamps: lit in the first half of each sample period, or for half of the 250 ticks after a
  // clock gate rose.
  void updateGraphics() override;

  // Shared by every sample and hold of the plug-in instance (the dual noise has its own).
  std::atomic<uint32_t>* randSeed;

  double whiteLevel;
  double pinkLevel;
  double* gate[2];
  double* input[2];
  double previousGate[2];
  int period[2];  // ticks
  int counter[2]; // ticks, counting down
  // The counters and periods as the last tick left them, for the panel's lamps.
  ModulatorLamps::CyclePosition shownCycle[2];
  int previousCounter[2];
  double b0, b1, b2; // pink filter
};
