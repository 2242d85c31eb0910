// OscFormant: module type 19, "Osc. Formant" (Oscillators, short ID "Osc-"). A sine "formant" at a
// frequency given as an absolute pitch (mode Fixed) or as a ratio to the played pitch (Partial, Ring),
// shaped once per fundamental cycle by a window so that it stays locked to the fundamental. Fixed and
// Partial build the formant from the two harmonics of the fundamental nearest to it, crossfaded by the
// fractional part of the ratio; Ring runs one sine at any ratio, windowed per fundamental cycle. New pitch
// and formant settings are taken at the start of the next fundamental cycle.
//
// Ratios scale phase increments: every product of an increment and a ratio is formed in doubles and
// compared with the top of the increment table before it is narrowed to an int, so a formant above the top
// is silence, never a wrapped increment.
//
// Slot parameters: 0 mode, 1 formant frequency (Fixed; 0..1 -> pitch step floor(x * 15872)), 2 ratio
// (1..50), 3 width (0: no window, 1: the window falls to exp(-10) mid-cycle), 4/5 and 6/7 formant
// modulation amount/source (60 semitones, or a ratio factor of 50, per unit of amount times source),
// 8 pitch (semitones), 9 fine tune (1/128 semitone), 10/11 and 12/13 pitch modulation amount/source.
#pragma once

#include "ModulePanel.h"
#include "OscBase.h"

#include <atomic>

class OscFormant : public OscBase
{
public:
  enum Mode { kFixed = 0, kPartial = 1, kRing = 2 };
  static const char* const labelMode[3];
  static constexpr int kTableSize = 4096;
  static constexpr int kMaxFormantStep = 15872; // pitch step of the highest fixed formant

  OscFormant(ModuleConfig* config, Voice* voice, Veltrane* owner);

  // Every tick, active or not: at once while the increment is 0, else at the next cycle start.
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;
  // Shows the knob of the formant frequency in mode Fixed and the knob of the ratio in the other modes
  // (editor thread; the slot's two special controls, in that order).
  void updateGraphics() override;

  // Takes the pitch and formant settings: increments, harmonic number or ratio, and the two gains.
  void phaseAlignedUpdate();

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // Display of the fixed formant: whole hertz of pitch step floor(value * 15873 + 0.5).
  static void setDisplayTextForRange(double value, char* text);

  // The three tables, 4096 doubles each: 4095 sin^2(pi i / 4096) (the window's index over a cycle),
  // exp(-10 i / 4096) (the window) and sin(2 pi i / 4096). Built once per process.
  static const double* carrierTable();
  static const double* waveShapeTable();
  static const double* sineTable();

  int mode;
  std::atomic<int> shownMode;     // mode as the editor reads it, published by setParameter
  double formantPitch;            // pitch step, floor(parameter 1 * 15872)
  double ratio;                   // parameter 2
  double width;                   // parameter 3, 0..1
  double* formantMod1Source;      // parameter 5
  double formantMod1PitchAmount;  // parameter 4 * 7681 (1/128 semitone per unit)
  double formantMod1RatioAmount;  // parameter 4 (powers of 50 per unit)
  double* formantMod2Source;      // parameter 7
  double formantMod2PitchAmount;  // parameter 6 * 7681
  double formantMod2RatioAmount;  // parameter 6
  bool updatePending;             // new settings wait for the next cycle start
  double effectiveRatio;          // formant / fundamental
  double multiplier;              // harmonic number n (Fixed, Partial) or the ratio (Ring)
  int formantPhase;               // phase of the lower partial, 0 .. 2^28 - 1
  int formantIncrement;           // increment of the lower partial
  double gainLower;               // harmonic n
  double gainUpper;               // harmonic n + 1

private:
  const double* tfCarrier;
  const double* tfWaveShape;
  const double* tfSine;
};
