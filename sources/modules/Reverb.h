// Reverb: module type 35, "Reverb" (Effects, short ID "Rvb"). A reverberator of the classic kind: an optional
// predelay, three all-pass diffusers in series and four damped feedback delay lines per side, summed and
// cross-fed into a stereo pair. In mono mode one diffuser chain (the left one) feeds both sides' lines, so a
// mono input comes out as two decorrelated channels; in stereo mode input A runs through the left side and
// input B through the right.
//
// Slot parameters: 0/1 input A level/source, 2/3 input B level/source, 4 predelay (ms, 0 bypasses it),
// 5 size (each delay from half to twice its nominal length), 6 damping (line low-pass 5000 Hz down to
// 100 Hz), 7 decay (diffuser and line feedback gains), 8 stereo width (cross-feed 1 - width), 9 dry/wet,
// 10 mode (mono, stereo).
//
// Memory: the 16 delay buffers (nominal lengths doubled, so the size control can stretch them) share one
// zeroed block per instance, made by setSampleRate: about 0.6 MB at 44.1 kHz, 2.6 MB at 192 kHz. Its pages
// become resident only as the reverb runs, so voices that never play cost no memory.
#pragma once

#include "DelayMemory.h"
#include "FilterBlocks.h"
#include "Module.h"
#include "ModulePanel.h"

class Reverb : public Module
{
public:
  enum Element { kPredelay = 0, kAllpass1 = 2, kLine1 = 8, kNumRecords = 16 };
  // Nominal lengths in ms, in record order (left, right interleaved after the predelays).
  static const double nominalMs[kNumRecords];

  Reverb(ModuleConfig* config, Voice* voice, Veltrane* owner);
  void setSampleRate(double rate) override;
  void process() override;
  void setParameter(int index, double value) override;
  // Every line, diffuser and damping filter silent: the buffers are emptied lazily (DelayRecord::clearLazily),
  // so a rest costs the audio thread a few stores whatever the rate.
  void rest() override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

  void processStereo(double xA, double xB);
  void processMono(double xA, double xB);

  double sampleRate;
  DelayRecord rec[kNumRecords];
  Biquad lowpass[8]; // line 1 left, line 1 right, ... line 4 right
  double* inputA;
  double levelA;
  double* inputB;
  double levelB;
  double g;     // all-pass gain
  double fb[4]; // line feedback, by line index (both sides)
  double cross; // share of the other side in each output
  double dry;
  double wet;
  bool stereo;
  bool predelayOn;
  DelayBlock memory;
};
