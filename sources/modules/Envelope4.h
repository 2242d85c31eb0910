// Envelope4: module type 24, "Quad Envelope" (Modulators, short label "QEn"). Four independent exponential
// attack and decay envelopes A to D with the level law of the Envelope module (ADSR.h), each with its own
// gate input and modulation output (0..1). There is no sustain and no release: after the attack the level
// decays toward 0 while the gate is held, and a gate fall (in the attack or the decay) turns it toward
// -1/9 with the same decay time, ending at 0.
//
// Gates are read in update (every tick, whatever the voice does); levels move in process, per sample.
//
// Slot parameters (values 0..1): 0..3 gate sources A..D, 4..7 attack A..D, 8..11 decay A..D.
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

class Envelope4 : public Module
{
public:
  enum State { kIdle = 0, kAttack = 1, kDecay = 2 };
  static constexpr int kCount = 4;

  Envelope4(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  // A segment value of envelope env (0 = A .. 3 = D), applied at once when it runs that segment.
  void setAttack(unsigned char env, double value);
  void setDecay(unsigned char env, double value);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The gate lamps: each lit from a rising gate while that gate is connected.
  void updateGraphics() override;

  double coefficient(double t) const;

  double* gate[kCount];
  double attack[kCount], decay[kCount];
  int state[kCount];
  double coefficientBase; // ln(10) / sample rate
  double target[kCount];  // 10/9 in the attack; 0 in the decay while the gate is held, -1/9 after it fell
  double coef[kCount];
  double previousGate[kCount];
  ModulatorLamps::GateLamp gateLamp[kCount];
};
