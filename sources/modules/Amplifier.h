// Amplifier: module type 5, "Amplifier" (Amplifiers, short ID "Amp"). Two audio inputs A and B, each with a
// gain and a modulatable pan, mixed into a stereo pair, with two depth-style VCA inputs acting on both
// inputs together ("A+B") or one on each ("A|B"). All work is per sample.
//
// Pan law: linear, left = (1 - pan) and right = pan of the gained input, so a centred input comes out at
// half level on each side. A modulated pan is not clamped: beyond 0..1 one side gets more than the gain and
// the other an inverted signal.
//
// Slot parameters: 0/1 gain/input A, 2/3 gain/input B, 4/5/6 pan A/modulation amount/source, 7/8/9 the same
// for B, 10/11 VCA 1 depth/source, 12/13 VCA 2 depth/source, 14 VCA mode.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

class Amplifier : public Module
{
public:
  static const char* const labelVolModMode[2];

  Amplifier(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  bool prepareBlock(const VoiceBlock& block) override;
  void processBlock(int n, double* record) override;
  // processBlock with the VCA factors and the pans worked out once where their sources hold still.
  template <bool vca1Moves, bool vca2Moves, bool panMoves> void run(int n, double* record);
  // The per-sample inputs during a run: A, B, pan A and B modulation, VCA 1 and 2.
  Stream streams[6] = {};
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double* inputA;
  double gainA;
  double* inputB;
  double gainB;
  double panA;
  double* panAModSource;
  double panAModAmount;
  double panB;
  double* panBModSource;
  double panBModAmount;
  double* vca1Source;
  double vca1Depth;
  double* vca2Source;
  double vca2Depth;
  bool separate; // "A|B": VCA 1 acts on A only, VCA 2 on B only
};
