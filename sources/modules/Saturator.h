// Saturator: module type 36, "Dual Saturator" (Processors, short ID "Sat"). Two channels A and B, each a
// four-pole low-pass pre-filter, a drive gain of 2^drive (up to 2^11) and a rational soft clipper that meets
// +-1 with zero slope at +-3. Compensation k lowers the pre-filter's cutoff and the output level as the
// drive rises: post-gain 1 / (drive x k + 1), cutoff 15000 Hz x post-gain.
//
// Slot parameters: 0/1 level/input A, 2/3 level/input B, 4/5/6 drive A/modulation amount/source, 7/8/9 the
// same for B, 10/11 compensation A/B. Gains and filters are worked out per active control tick.
#pragma once

#include "FilterBlocks.h"
#include "Module.h"
#include "ModulePanel.h"

class Saturator : public Module
{
public:
  Saturator(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static double softClip(double x);

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  struct Channel
  {
    Lowpass filter;
    double* input = nullptr;
    double level = 0.0;
    double drive = 0.0;
    double* modSource = nullptr;
    double modAmount = 0.0;
    double k = 0.0; // 1 - compensation
    double preGain = 0.0;
    double postGain = 0.0;
  };

  double sampleRate;
  Channel channel[2];
};
