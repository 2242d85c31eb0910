// BitReducer: module type 33, "Bit Reducer" (Processors, short ID "BC"). Two channels A and B that quantise
// the amplitude of a signal to 2^(4 r) bits (1 to 16, continuously variable and modulatable) across a chosen
// peak range: 2^bits - 1 steps span -range .. +range. Inputs beyond the range are not clipped. No history, no
// sample rate.
//
// Slot parameters: channel A uses 0 level, 1 input, 2 range, 3 resolution, 4/5 resolution modulation
// amount/source; channel B the same at 6 .. 11. The step count is worked out per active control tick.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class BitReducer : public Module
{
public:
  BitReducer(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  // "%.2f" bits, 2^(4 v).
  static void setDisplayTextForResolution(double value, char* text);
  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  struct Channel
  {
    double* input = nullptr;
    double* modSource = nullptr;
    double level = 0.0;
    double resolution = 0.0; // 0..1
    double modAmount = 0.0;
    double range = 1.0;
    double reciprocalRange = 1.0;
    double steps = 1.0;
    double reciprocalSteps = 1.0;
  };

  Channel channel[2];
};
