// Comb: module type 27, "Filter (Comb)", and StereoComb: type 42, "St.Filter (Comb)" (Filters). A feedback
// comb whose delay is one period of a pitch-tracked frequency, read with linear interpolation: "Positive"
// adds the delayed signal (peaks at the frequency and its multiples), "Negative" subtracts it (peaks at the
// odd multiples of half the frequency). A rising trigger clears the delay line. Frequency and feedback are
// worked out per 1 ms control tick; the line runs per sample.
//
// Slot parameters: the ladder's block (see Ladder.h) with 0 type ("Bypass", "Positive", "Negative"),
// 1 frequency (0..1 over pitch steps iMinFreq..17280, 16 Hz upward), 2 feedback 0..1, 13/14 feedback
// modulation amount/source and 15 the trigger input (gate).
//
// The line belongs to the instance: ceil(rate / 16) doubles (2757 at 44.1 kHz, 12000 at 192 kHz), its
// length kept per instance so that instances at different rates never share it. A clear (trigger, new rate,
// broken state) is lazy: the samples written since the clear are counted, and older ones read as 0, which
// gives the output of a zeroed line without touching its memory in one tick.
#pragma once

#include "FilterSlot.h"
#include "Module.h"

class Comb : public Module, public FilterSlot
{
public:
  enum Type { kBypass = 0, kPositive = 1, kNegative = 2 };
  static const char* const labelType[3];
  static constexpr double kMinFrequency = 16.0; // Hz, the lowest comb frequency: sets the line's length

  Comb(ModuleConfig* config, Voice* voice, Veltrane* owner);
  ~Comb() override;

  void setSampleRate(double rate) override;
  void retune() override;
  void update(bool active) override;
  void process() override;
  void setFrequencySource(int* pitch) override;
  void setParameter(int index, double value) override;

  // The lowest pitch step whose frequency is at least 16 Hz (it does not depend on the rate).
  static int iMinFreq();
  static void initParams(int base, Synth* synth);
  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  // Every control of the mono and stereo panels except the background.
  static void createCommonGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;
  // Hertz (truncated) of the frequency parameter, rounded over 17281 steps as the cutoff displays do.
  static void setDisplayTextForCombFrequency(double value, char* text);

  // The line's length in samples at a rate: ceil(rate / 16), at least 2.
  static int delaySizeFor(double rate);

protected:
  // Makes every stored sample read as 0 from now on.
  void clearLines() { validCount = 0; }
  // The interpolation weights of this sample, a weight 0 for a position older than the last clear; the
  // three positions are wrapped first.
  void prepareRead(double* w0, double* w1);
  // One channel: input (before drive), the guard of this sample, its line. Returns y before 1 / drive.
  double combSample(double in, double d, const double* ln, double w0, double w1) const;
  // Moves the three positions one sample on and counts the sample just written.
  void advance();

public:
  double minimumFrequency;
  int* pitchSource;
  int referencePitch; // pitch of MIDI note 48 under the current tuning
  int type;
  int frequencyPitch; // pitch steps
  double feedback;
  double* triggerSource;
  int cachedPitch;
  bool coeffsStale; // set by setSampleRate: the next tick works out the read positions whatever the pitch
  double previousTrigger;
  // The line is written at writePos, which counts down; the sample at writePos + m was written m samples
  // ago. readPos is n samples back, readPos2 n + 1.
  int writePos, readPos, readPos2;
  double* line; // numLines lines of delaySize samples in one zero-filled block, owned
  int numLines;
  double effectiveFeedback;
  double weight0, weight1; // 1 - f and f of the period n + f
  double guard;
  int delaySize;             // samples in each line of this instance
  int validCount;            // samples written since the last clear, at most delaySize
  const double* freq2period; // rate / f of each pitch step at the current rate
};

class StereoComb : public Comb
{
public:
  StereoComb(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void process() override;

  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel; // the comb's controls on the stereo background

  double* lineRight; // the second line of the block
};
