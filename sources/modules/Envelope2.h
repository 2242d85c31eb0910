// Envelope2: module type 12, "Dual Envelope" (Modulators, short label "Env"). Two independent exponential
// attack, decay, sustain, release envelopes A and B with the level law of the Envelope module (ADSR.h),
// each started and released by its own gate input, without segment modulation. Modulation outputs 0 (A)
// and 1 (B), 0..1.
//
// Gates are read in update (every tick, whatever the voice does); levels move in process, per sample.
//
// Slot parameters (segment values 0..1): 0/1 gate source A/B, 2/3 attack A/B, 4/5 decay A/B, 6/7 sustain
// A/B, 8/9 release A/B.
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

class Envelope2 : public Module
{
public:
  enum State { kIdle = 0, kAttack = 1, kDecay = 2, kRelease = 3 };

  Envelope2(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  // A segment value of envelope env (0 = A, 1 = B), applied at once when that envelope is in the segment.
  void setAttack(unsigned char env, double value);
  void setDecay(unsigned char env, double value);
  void setSustain(unsigned char env, double value);
  void setRelease(unsigned char env, double value);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The gate lamps: each lit from a rising gate while that gate is connected.
  void updateGraphics() override;

  double coefficient(double t) const;

  double* gate[2];
  double attack[2], decay[2], sustain[2], release[2];
  int state[2];
  double coefficientBase; // ln(10) / sample rate
  double target[2];
  double coef[2]; // fraction of the remaining distance covered per sample
  double previousGate[2];
  ModulatorLamps::GateLamp gateLamp[2];
};

// The panel of the dual envelope, which the dual linear envelope shares with its background image: gates
// on top, then one row per segment, envelope A left and B right, and each envelope's gate lamp in its top
// corner (the second lamp at height ledBY).
struct DualEnvelopePanelRows
{
  PanelControl rows[12];
};
constexpr DualEnvelopePanelRows dualEnvelopePanelRows(int ledBY)
{
  // clang-format off
  return {{
    sources(16, 24, 0, SourceDef::GATE, {"GATE A"}),
    sources(80, 24, 1, SourceDef::GATE, {"GATE B"}),
    knob(16, 56, 2, {"ATTACK"}),
    knob(80, 56, 3, {"ATTACK"}),
    knob(16, 120, 4, {"DECAY"}),
    knob(80, 120, 5, {"DECAY"}),
    knob(16, 184, 6, {"SUSTAIN"}),
    knob(80, 184, 7, {"SUSTAIN"}),
    knob(16, 248, 8, {"RELEASE"}),
    knob(80, 248, 9, {"RELEASE"}),
    led(8, 11),
    led(112, ledBY),
  }};
  // clang-format on
}
