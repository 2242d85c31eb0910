// EQ10: module type 39, "Equalizer" (Filters). A graphic equaliser of ten one-octave peaking bands at
// 30, 60, 125, 250, 500, 1000, 2000, 4000, 8000 and 16000 Hz, each +-18 dB, in mono or stereo (see
// Equaliser.h). Slot parameters 5..14 are the band gains in dB from the top down: 5 is 16000 Hz, 14 is
// 30 Hz. Bands above 0.45 of the rate sit at 0.45 of the rate (the 16 kHz band below 35.6 kHz).
#pragma once

#include "Equaliser.h"
#include "ModulePanel.h"

class EQ10 : public Equaliser<10>
{
public:
  static const double centres[10]; // Hz, lowest band first

  EQ10(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
};
