// K35: module type 4, "Filter (K35)", and StereoK35: type 41, "St.Filter (K35)" (Filters). A two-pole
// filter of three trapezoidal one-pole stages with a saturating, asymmetric feedback path (the positive
// half 1.17 times stronger, the sum held to +-4), as a low-pass or a high-pass, plus a bypass.
// Coefficients are worked out once per 1 ms control tick, so cutoff modulation acts at control rate; the
// sample loop only runs the stages. The mono filter sums inputs A and B; the stereo one runs A as left and
// B as right with shared coefficients.
//
// Slot parameters: the ladder's block (see Ladder.h), with type 0 "Bypass", 1 "Lowpass", 2 "Highpass";
// resonance 0..1 gives the feedback factor k = 1.7 r + 0.01. Index 15 is unused.
#pragma once

#include "FilterSlot.h"
#include "Module.h"

class K35 : public Module, public FilterSlot
{
public:
  enum Type { kBypass = 0, kLowpassType = 1, kHighpassType = 2 };
  static const char* const labelType[3];

  K35(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void retune() override;
  void update(bool active) override;
  void process() override;
  void setFrequencySource(int* pitch) override;
  void setParameter(int index, double value) override;
  // Coefficients to their start values (alpha0 = 0 silences the output until the next tick), stage
  // states 0, resonance 0 until the parameters come again.
  virtual void reset();

  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  // Every control of the mono and stereo panels except the background.
  static void createCommonGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

protected:
  // One sample of one channel: x is the driven input with the guard taken off, st the three stage states
  // (already offset by the caller where it does so). Returns the output after 1 / drive.
  double filterSample(double x, double* st) const;

public:
  int* pitchSource;
  int referencePitch; // pitch of MIDI note 48 under the current tuning
  int type;
  int cutoffPitch; // pitch steps
  double resonance;
  // Coefficients: loop normaliser, stage gain t / (1 + t), feedback taps of stages 2 and 3, feedback factor.
  double alpha0, G, beta2, beta3, k;
  int cachedPitch;
  double cachedK;
  // Set by a type change and a reset: the next tick works out the coefficients even when the cutoff sum
  // and k match the cache (the sum may be any int, so no pitch value can stand for "none").
  bool coeffsStale;
  double guard;
  double s[3];
  const double* freq2tanW; // tan(pi f / rate) of each pitch step at the current rate
};

class StereoK35 : public K35
{
public:
  StereoK35(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  void reset() override;

  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel; // the K35's controls on the stereo background

  double sLeft[3];
  double sRight[3];
};
