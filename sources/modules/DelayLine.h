// DelayLine: module type 34, "Dual Delay Line" (Effects, short ID "Dly"). Two independent delay lines A and B
// of up to 500 ms, each with feedback and a feed-forward amount (feed-forward -g with feedback g makes an
// all-pass of gain g; feed-forward 0 a feedback comb), and a trigger that clears the line.
//
// Slot parameters: line A uses 0 input source, 1 clear trigger source, 2 delay (ms, 1 .. 500), 3 feed-forward,
// 4 feedback; line B the same at 5 .. 9. Inputs enter unscaled.
//
// A clear empties the whole line at the next control tick. It is done lazily: the line only forgets what
// was written before the clear and reads those positions as 0, so the output is that of a cleared buffer
// without a pass over up to 1.5 MB per voice (98 MB for 64 voices at 192 kHz) on the audio thread.
#pragma once

#include "DelayMemory.h"
#include "Module.h"
#include "ModulePanel.h"

class DelayLine : public Module
{
public:
  DelayLine(ModuleConfig* config, Voice* voice, Veltrane* owner);
  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;
  // Both lines empty, as their clear triggers leave them.
  void rest() override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  struct Line
  {
    DelayRecord rec;
    double feedForward = 0.0;
    double feedback = 0.0;
    double* input = nullptr;
    double* clearTrigger = nullptr;
    double previousTrigger = 0.0;
  };

  double sampleRate;
  Line line[2];
  DelayBlock memory;

private:
  void runLine(Line& l, int out);
};
