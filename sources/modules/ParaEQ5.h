// ParaEQ5: module type 44, "Parametric EQ" (Filters). Five one-octave peaking bands, each with a centre
// of 16..16000 Hz and a gain of +-18 dB, in mono or stereo (see Equaliser.h). Slot parameters 5..14 are
// (frequency in Hz, gain in dB) of bands 1 to 5: 5/6 band 1, 7/8 band 2, ... 13/14 band 5. A centre
// above 0.45 of the rate sits at 0.45 of the rate.
#pragma once

#include "Equaliser.h"
#include "ModulePanel.h"

class ParaEQ5 : public Equaliser<5>
{
public:
  static const double initialCentres[5]; // Hz

  ParaEQ5(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
};
