// SignalProc: module type 9, "Signal Proc." (Amplifiers, short ID "SP-"). Four channels A to D, each an audio
// input times an optional modulation input (absent counts as 1, so the channel passes its audio unchanged)
// times a signed gain, and a fifth output with the sum of the four. All work is per sample.
//
// Slot parameters: channel i (0..3) uses 3i audio input, 3i + 1 gain (-1..1), 3i + 2 modulation input.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class SignalProc : public Module
{
public:
  static constexpr int kChannels = 4;
  static constexpr int kSumOutput = 4;

  SignalProc(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* input[kChannels];
  double* modulation[kChannels];
  double gain[kChannels];
};
