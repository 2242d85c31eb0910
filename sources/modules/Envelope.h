// Envelope: module type 37, "Envelope" (Modulators, short label "Env"). One exponential attack, decay,
// sustain, release envelope whose four segment values can each be modulated, started and released by two
// gate inputs. One modulation output, 0..1.
//
// Level law (the voices' output envelope's, ADSR.h, shared with the dual and quad envelopes): per sample level +=
// (target - level) * coefficient, coefficient = 10^(2.3 - 4.5 t) * ln(10) / rate for a segment value t in 0..1. The
// attack aims at 10/9 and ends at 1.0, the release aims at -1/9 and ends at 0, so a whole attack (or a release
// from 1.0) takes about 10^(4.5 t - 2.3) seconds: 5 ms at t = 0, 158 s at t = 1. The decay approaches the sustain level
// and holds it.
//
// Slot parameters: 0, 1 gate sources A and B; 2/3/4 attack value/modulation amount/source; 5/6/7 decay;
// 8/9/10 sustain; 11/12/13 release.
#pragma once

#include "ADSR.h"
#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

class Envelope : public Module
{
public:
  enum State { kIdle = 0, kAttack = 1, kDecay = 2, kRelease = 3 };
  static constexpr double kAttackTarget = ADSR::kAttackTarget;
  static constexpr double kReleaseTarget = ADSR::kReleaseTarget;

  Envelope(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  // Runs every tick whatever the flag, so the envelope also moves while its voice is idle.
  void update(bool active) override;
  void process() override;
  bool prepareBlock(const VoiceBlock& block) override;
  void processBlock(int n, double* record) override;
  // The envelopes of up to four voices in one loop, their steps overlapping.
  bool processBlockGroup(Module* const* group, int count, int n, double* const* records) override;
  void setParameter(int index, double value) override;

  // Refresh the running segment's coefficient (or target) from the effective values.
  void setAttack();
  void setDecay();
  void setSustain();
  void setRelease();

  static void initParams(int base, Synth* synth);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The gate lamp: lit from a rising gate A or B while either gate is connected.
  void updateGraphics() override;

  // The coefficient of a segment value t.
  double coefficient(double t) const { return ADSR::rateCoefficient(t, coefficientBase); }

  double* gateA;
  double* gateB;
  struct Segment
  {
    double value;   // parameter, 0..1
    double amount;  // modulation amount, -1..1
    double* source; // modulation source
  };
  Segment attack, decay, sustain, release;
  int state;
  double effAttack, effDecay, effSustain, effRelease;
  double coefficientBase; // ln(10) / sample rate
  double target;
  double coef; // fraction of the remaining distance covered per sample
  double previousGateA;
  double previousGateB;
  ModulatorLamps::GateLamp gateLamp; // one lamp for both gates
};
