// Oscillator2: module type 25, "Dual Oscillator" (Oscillators, short ID "Osc-"). Two independent
// band-limited oscillators A and B in one slot, each with the waveforms sine, saw and pulse, a shape control
// (pulse width for the pulse), its own coarse pitch, fine tune and one pitch modulation, both following the
// voice pitch. Audio outputs 0 (A) and 1 (B), sync outputs 0 and 1 (1.0 in the sample a phase wrapped). No
// sync input, no reset, no shape modulation.
//
// Oscillator A runs on the OscBase fields (its pitch modulation in pitch modulation 1); B has a second set
// of the same fields and keeps its pitch modulation in the OscBase pitch modulation 2 fields. Each picks its
// own band-limited table from its own increment, so B above A does not alias more than A.
//
// Slot parameters: 0/1 waveform A/B, 2/3 shape A/B, 4/5 pitch A/B (semitones), 6/7 fine tune A/B (1/128
// semitone), 8/9 pitch modulation A amount/source, 10/11 pitch modulation B amount/source.
#pragma once

#include "ModulePanel.h"
#include "OscBase.h"

class Oscillator2 : public OscBase
{
public:
  enum Waveform { kSine = 0, kSaw = 1, kPulse = 2 };
  static const char* const labelWaveform[3];

  Oscillator2(ModuleConfig* config, Voice* voice, Veltrane* owner);

  // Restarts both oscillators' phases (the base restarts A's).
  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  void setPitch2(int semitones); // pitch sum B = semitones * 128 + tune B
  void setTune2(int steps);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  int waveformB;
  int pitchB;          // semitones
  int tuneB;           // 1/128 semitone
  double shapeA;       // 0..1
  double shapeB;       // 0..1
  const double* waveB; // null until the first update(true)
  int pitchSumB;
  int phaseB;
  int secondPhaseB;
  int phaseIncrementB;
};
