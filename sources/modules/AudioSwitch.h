// AudioSwitch: module type 20, "Audio Switch" (Sequencers, short label "AS-"). The sequenced switch over
// audio inputs: the same clock, divider, reset, loop, stop and gate outputs as SeqSwitch, its parameters
// laid out the same, but the output is audio output 0, computed per sample, and a change of step fades
// the old input out and the new one in linearly over 1 ms each. Inputs beyond the step count are silent;
// one left there by a lower step count fades out over 1 ms too.
#pragma once

#include "SeqSwitch.h"

class AudioSwitch : public SeqSwitch
{
public:
  AudioSwitch(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;

  static void fillConfig(ModuleConfig* config);
  // The switch's panel with audio menus; the refresh is the switch's.
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  bool active[kSteps];
  double fadeIncrement; // gain change per sample: a whole fade takes 1 ms
  double gain[kSteps];
};
