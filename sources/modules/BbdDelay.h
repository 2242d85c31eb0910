// BbdDelay: module type 32, "BBD Delay" (Effects, short ID "Dly"). A bucket-brigade delay: a ring of stages
// advanced by its own clock at one to eight steps per sample, so the delay time is set by the clock rate
// (and a change of time bends the pitch of what is in the line) rather than by a read position. Low-pass
// filters before and after the line set the tone, the line output is clipped at +-3, and a trigger toggles a
// hold in which the line recirculates unchanged.
//
// Delay: stages x step samples, step = 0.125 .. 1 (time 0 .. 1) and stages = (500 ms of samples) / 4^r for
// range index r = 3 - parameter 5, so 62.5 .. 500 ms at the default range "63 - 500" and each shorter
// range a quarter of the next.
//
// Slot parameters: 0/1 input A level/source, 2/3 input B level/source, 4 time, 5 range, 6 feedback,
// 7/8 time modulation amount/source, 9 tone, 10 dry/wet (equal power), 11 hold trigger source.
// The clock step is worked out per control tick in update (whatever its flag); the line runs per sample.
//
// Panel: the time knob shows the delay in ms of the knob's setting (without its modulation), and the hold
// switch toggles the hold and lights while it is on. The editor thread reads both without the instance
// mutex, so the hold flag and the shown time are atomics; either thread toggles the hold with an atomic
// read-modify-write, so a click and a trigger in the same tick both count.
#pragma once

#include "DelayMemory.h"
#include "FilterBlocks.h"
#include "Module.h"
#include "ModulePanel.h"

#include <atomic>

class BbdDelay : public Module
{
public:
  static const char* const labelDelayRange[4];

  BbdDelay(ModuleConfig* config, Voice* voice, Veltrane* owner);
  void setSampleRate(double rate) override;
  void update(bool active) override;
  void process() override;
  void setParameter(int index, double value) override;

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // Shows the delay time on the time knob and links the hold switch with the hold (editor thread).
  void updateGraphics() override;

  void toggleHold();

  double sampleRate;
  double cutoff; // Hz, of both filters
  double q;
  std::atomic<bool> hold; // the line recirculates; toggled by the trigger and by the panel's switch
  Biquad inputFilter;
  Biquad outputFilter;
  int range; // r, 0 (longest) .. 3
  double time;
  double feedback;
  double tone;
  double* inputA;
  double levelA;
  double* inputB;
  double levelB;
  double* modSource;
  double modAmount;
  double* triggerSource;
  double previousTrigger;
  double* buffer;
  double dry;
  double wet;
  int size;   // buffer length (500 ms)
  int stages; // delay in clock steps
  int writeIndex;
  double phase; // clock phase within the sample, 0 .. 1
  double step;  // clock steps per sample, reciprocal: 0.125 .. 1 (0 before the first update)
  double previousInput;
  double shortestMs; // ends of the current range, for the panel's time display
  double longestMs;
  std::atomic<double> shownMs; // shortestMs + (longestMs - shortestMs) x time, published for the panel
  DelayBlock memory;
};
