// LinEnvelope: module type 28, "Dual Linear Env." (Modulators, short label "Env"). Two independent attack,
// decay, sustain, release envelopes A and B made of straight lines, segment times in seconds (0..10 s), each
// started and released by its own gate input. Modulation outputs 0 (A) and 1 (B), 0..1.
//
// Each segment moves the level by a fixed increment per sample: (to - from) / T, T = time * sample rate
// samples, or the whole distance in one sample when T is 0. Gates are read in update (every tick, whatever
// the voice does); levels move in process.
//
// Slot parameters: 0/1 gate source A/B, 2/3 attack A/B (s), 4/5 decay A/B (s), 6/7 sustain A/B (level),
// 8/9 release A/B (s).
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

class LinEnvelope : public Module
{
public:
  enum State { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

  LinEnvelope(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  // The increment of envelope env for a segment of `time` seconds from one level to another.
  void setTiming(unsigned char env, double time, double from, double to);
  // Segment values of envelope env (0 = A, 1 = B); the running segment takes a new time at once.
  void setAttack(unsigned char env, double seconds);
  void setDecay(unsigned char env, double seconds);
  void setSustain(unsigned char env, double level);
  void setRelease(unsigned char env, double seconds);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The gate lamps: each lit from a rising gate while that gate is connected.
  void updateGraphics() override;

  double* gate[2];
  double attack[2], decay[2], sustain[2], release[2];
  int state[2];
  double samplesPer10s; // sample rate * 10
  double increment[2];  // level change per sample in the running segment
  double previousGate[2];
  ModulatorLamps::GateLamp gateLamp[2];
};
