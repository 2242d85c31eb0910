// Noise: module type 29, "Dual Noise" (Oscillators, short ID "Nz-"). Two noise generators A and B, each
// with a white and a pink output, every output with its own level and a depth-style level modulation, and
// a fifth output, the sum of the four (its text keeps the spelling stored patches were saved with).
//
// White noise is the 16807 generator's draws in [-1, 1). Pink noise is white noise through three one-pole
// low-passes in parallel (poles 0.99765, 0.963, 0.57) plus a direct share, scaled by 1/4: about 3 dB per
// octave downwards within 1 dB from 100 Hz to 10 kHz at 44.1 to 96 kHz, 2.6 dB below the white in power.
//
// Each instance runs its own generator, seeded at construction from a process-wide atomic counter, so
// instances on different plug-in threads share no state and voices still play decorrelated noise. Each
// sample draws four values: white A, pink A's input, white B, pink B's input.
//
// Slot parameters: 0/1 level white/pink A, 2/3 their modulation depths, 4/5 their modulation sources;
// 6..11 the same for B.
#pragma once

#include "Module.h"
#include "ModulePanel.h"

#include <cstdint>

class Noise : public Module
{
public:
  enum Output { kWhiteA = 0, kPinkA = 1, kWhiteB = 2, kPinkB = 3, kSum = 4 };

  Noise(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  // A seed for a new generator: distinct for each call with the instance's seeds, odd, and well spread.
  static uint32_t nextSeed(RandomSeeds& seeds);

  // Per output, in the order white A, white B, pink A, pink B.
  double level[4];
  double depth[4];
  double* modSource[4];
  double pink[6];          // three one-pole states for A, three for B
  double effectiveLevel[4];
  uint32_t seed;           // this instance's generator
};
