// Blender: module type 11, "Blender" (Amplifiers, short ID "Bl-"). Two crossfaders A and B, each blending
// from its first audio input (level 0) to its second (level 1); a modulation input scales the level, and the
// product is held to 0..1. All work is per sample.
//
// Slot parameters: 0/1 inputs A1/A2, 2 blend A, 3 blend modulation A; 4..7 the same for B.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class Blender : public Module
{
public:
  Blender(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* inputA1;
  double* inputA2;
  double* inputB1;
  double* inputB2;
  double* blendModA;
  double blendA;
  double* blendModB;
  double blendB;
};
