// LFO2: module type 31, "Dual LFO" (Modulators, short label "LFO"). Two independent low-frequency
// oscillators A and B with six fixed waves, each free-running at 0.001..100 Hz or locked to a division of
// the tempo clock, each with a level and its modulation and a reset gate. Outputs: modulation 0 A, 1 A
// positive, 2 B, 3 B positive; gates 0 A and 1 B, high in the first half of each cycle.
//
// It runs only in update, once per 1 ms tick, whatever the voice does. The countdown and sync rules are the
// LFO's; the wave position x runs from -1 to 1 over a cycle (1 - 2 counter / (period - 1)).
//
// Slot parameters: 0/1 wave A/B, 2/3 rate A/B (Hz), 4/5 level A/B, 6/7 level modulation amount A/B,
// 8/9 level modulation source A/B, 10/11 reset gate source A/B, 12/13 sync A/B.
#pragma once

#include "ModulatorLamps.h"
#include "Module.h"
#include "ModulePanel.h"

#include <atomic>
#include <cstdint>

class LFO2 : public Module
{
public:
  enum Wave { kSine = 0, kTriangle = 1, kSawDown = 2, kSawUp = 3, kSquare = 4, kRandom = 5 };
  static const char* const labelLfoWaveform[6];
  static const char* const* const labelLfoSync; // 21 texts: "off", then the clock's divisions

  LFO2(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void setParameter(int index, double value) override;

  void setPeriod(int lfo);          // 0 = A, 1 = B; only while that LFO's sync is off
  void setSync(int lfo, int value); // 0 off, 1..20 a clock division

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // The cycle lamps: A's lit in the first half of its cycle, B's in the second.
  void updateGraphics() override;

  // Shared by every dual LFO of the plug-in instance, apart from the LFO's.
  std::atomic<uint32_t>* lfoRandSeed;

  int wave[2];
  int syncDivision[2];
  double rate[2];
  double level[2];
  double levelModAmount[2];
  double* levelModSource[2];
  double* resetSource[2];
  double previousReset[2];
  int counter[2]; // ticks, from period - 1 down to 0
  int period[2];
  // The counters and periods as the last tick left them, for the panel's lamps.
  ModulatorLamps::CyclePosition shownCycle[2];
  double heldRandom[2];
  double previousPosition[2];
  bool sync[2];
};
