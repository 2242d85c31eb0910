// Mixer: module type 6, "Mixer" (Amplifiers, short ID "Mix"). Four audio inputs, each with a level and a
// linear pan (left = 1 - pan, right = pan), summed into a stereo pair and scaled by a master level. Nothing
// is modulatable.
//
// Slot parameters: channel i (0..3) uses 3i level, 3i + 1 input, 3i + 2 pan; 12 is the master level.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class Mixer : public Module
{
public:
  static constexpr int kChannels = 4;

  Mixer(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* input[kChannels];
  double level[kChannels];
  double pan[kChannels];
  double master;
};
