// OscLinFM: module type 2, "Osc. Lin.FM" (Oscillators, short ID "Osc-"). A band-limited oscillator (sine,
// saw or square) whose read position is moved sample by sample by an audio or modulation signal, low-passed
// at 2 kHz and scaled by a modulatable depth: linear FM as phase modulation. The offset moves the read
// points, never the running phase, so the pitch (voice pitch, coarse, fine, two pitch modulations) stays
// exact. Hard sync, a sync output and a phase reset to a modulatable start phase work as in the Oscillator.
//
// FM depth: an FM level of 1 moves the read point one whole cycle per unit of filtered input, so a sine
// modulator of amplitude a (after the filter) at level L gives a modulation index of 2 pi L a radians.
// An offset that is not a finite number, or of 2^62 phase units or more, counts as no offset.
//
// Slot parameters: 0 waveform, 1 FM level, 2 FM source (audio or modulation), 3/4 FM level modulation
// amount/source (depth style), 5 pitch (semitones), 6 fine tune (1/128 semitone), 7/8 and 9/10 pitch
// modulation amount/source, 11 sync source, 12 start phase, 13 start phase modulation source, 14 reset
// trigger source.
#pragma once

#include "FilterBlocks.h"
#include "ModulePanel.h"
#include "OscBase.h"

#include <cstdint>

class OscLinFM : public OscBase
{
public:
  enum Waveform { kSine = 0, kSaw = 1, kSquare = 2 };
  static const char* const labelWaveform[3];
  static constexpr double kFMFilterHz = 2000.0;

  OscLinFM(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  // The read-point offset for a filtered FM value y at a depth (phase units per unit of y), reduced into
  // 0 .. 2^28 - 1 by one modulo; 0 when y * depth is not finite or not below 2^62 in size.
  static int64_t fmOffset(double y, double depth);

  Lowpass fmFilter;            // 2 kHz, no resonance; its memory runs on across source changes
  double* fmSource;            // parameter 2
  double fmLevel;              // parameter 1, 0..1
  double* fmLevelModSource;    // parameter 4
  double fmLevelModAmount;     // parameter 3, 0..1
  double fmDepth;              // phase units per unit of filtered input
};
