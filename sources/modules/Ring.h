// Ring: module type 7, "Ring Mod" (Processors, short ID "Rng"). Two ring modulators A and B sharing one
// depth: out = carrier x (1 + depth x (modulator - 1)), the plain carrier at depth 0 and carrier x modulator
// at depth 1. The depth can be scaled by two depth-style modulations, worked out per active control tick.
//
// Slot parameters: 0/1 carrier/modulator A, 2/3 carrier/modulator B, 4 depth, 5/6 and 7/8 depth
// modulation amount/source.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class Ring : public Module
{
public:
  Ring(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* carrierA;
  double* modulatorA;
  double* carrierB;
  double* modulatorB;
  double depth;
  double* mod1Source;
  double mod1Amount;
  double* mod2Source;
  double mod2Amount;
  double effectiveDepth; // the depth parameter until the first active tick
  bool updated;          // an active tick has worked out the effective depth
};
