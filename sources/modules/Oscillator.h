// Oscillator: module type 1, "Oscillator" (Oscillators, short ID "Osc-"). One band-limited oscillator with
// the waveforms sine, saw and pulse; a shape control that blends a second read point of the same table into
// the output (the pulse width for the pulse); two pitch modulations; hard sync from another oscillator's
// sync output; a sync output of its own (1.0 in the sample in which the phase wrapped); and a phase reset by
// trigger to an adjustable, modulatable start phase.
//
// Slot parameters: 0 waveform, 1 shape, 2 shape modulation amount, 3 its source, 4 pitch (semitones),
// 5 fine tune (1/128 semitone), 6/7 and 8/9 pitch modulation amount/source, 10 sync source, 11 start phase,
// 12 start phase modulation source, 13 reset trigger source.
//
// Levels: with shape 0 a saw or sine plays at 1.5 times the table amplitude (fundamental 0.75); a pulse is
// the difference of the two read points, a square of about +-pi/4 at shape 0 and silence at shape 1.
#pragma once

#include "ModulePanel.h"
#include "OscBase.h"

class Oscillator : public OscBase
{
public:
  enum Waveform { kSine = 0, kSaw = 1, kPulse = 2 };
  static const char* const labelWaveform[3];

  Oscillator(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void update(bool active) override;
  void process() override;
  bool prepareBlock(const VoiceBlock& block) override;
  void processBlock(int n, double* record) override;
  Stream syncStream{nullptr, 0}; // the sync source during a run
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  double shape;                // parameter 1
  double* shapeModSource;      // parameter 3
  double shapeModAmount;       // parameter 2
};
