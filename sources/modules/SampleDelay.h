// SampleDelay: module type 16, "Sample Delay" (Tools, short ID "SD-"). Six independent audio channels A to
// F, each delayed by 1 to 15 samples in all (the module's own one-sample output lag included), for lining
// signals up and for short feedback paths. Runs per sample only; nothing depends on the sample rate.
//
// Slot parameters: 0..5 inputs A..F; 6..11 delays d = 0..14 (shown "1".."15", the total delay d + 1).
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class SampleDelay : public Module
{
public:
  static constexpr int kChannels = 6;
  static constexpr int kRingSize = 16;
  static constexpr int kMaxDelay = 14;

  // The delay texts "1" to "15": the total delay in samples.
  static const char* const labelDelay[kMaxDelay + 1];

  SampleDelay(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  void setParameter(int index, double value) override;
  // The same as delay parameters 6..11 for one channel: clears its ring and restarts it.
  void setDelay(int channel, int delay);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* input[kChannels];
  int delay[kChannels]; // 0..14 samples before the output's own one
  double ring[kChannels][kRingSize];
  int writeIndex[kChannels]; // counts down, 15 after 0
};
