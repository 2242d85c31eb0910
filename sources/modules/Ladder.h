// Ladder: module type 3, "Filter (Ladder)", and StereoLadder: type 40, "St.Filter (Ldr.)" (Filters). Four
// one-pole stages closed into one feedback loop, with fifteen responses (low-, high-, band- and all-pass of
// 6 to 24 dB per octave) and a bypass. Coefficients are recomputed per sample when the integer cutoff pitch
// or the effective resonance changed, so cutoff modulation works at audio rate; key tracking is worked out
// again only when the voice pitch (which moves at control ticks) or a parameter it uses changed. The
// fed-back signal is limited to +-1, so the drive decides how early the loop saturates. The mono filter sums
// inputs A and B; the stereo one runs A as left and B as right through the same coefficients.
//
// Slot parameters: 0 type, 1 cutoff (0..1 -> pitch step floor(x * 17280)), 2 resonance, and 3..14 the block
// shared with the K35 and comb filters (FilterSlot.h), whose 13/14 modulate the resonance.
#pragma once

#include "FilterSlot.h"
#include "Module.h"

class Ladder : public Module, public FilterSlot
{
public:
  enum Kind { kLowpass = 0, kHighpass = 1, kBandpass = 2, kAllpass = 3 };
  static const char* const labelType[15];

  Ladder(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void setSampleRate(double rate) override;
  void retune() override;
  void process() override;
  bool prepareBlock(const VoiceBlock& block) override;
  void processBlock(int n, double* record) override;
  // The filters of up to four voices in one loop: their feedback loops, each waiting on its own previous
  // sample, overlap.
  bool processBlockGroup(Module* const* group, int count, int n, double* const* records) override;
  Stream streamA{nullptr, 0}, streamB{nullptr, 0}; // inputs A and B during a run
  void setFrequencySource(int* pitch) override;
  void setParameter(int index, double value) override;
  // Stage states back to their start values (s2 = 1 and s4 = -1 give a short transient), coefficients
  // and caches cleared.
  virtual void reset();
  static void startStages(double* st); // one channel's four stage states

  void calculateCoeff();
  // calculateCoeff unless nothing it reads has moved since its last run: the per-sample call of both filters.
  void refreshCoeff();

  static void initParams(int base, Synth* synth);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  // Every control of the mono and stereo panels except the background.
  static void createCommonGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel;

protected:
  // Cutoff plus key tracking for a voice pitch (1/128 semitone).
  void trackPitch(int voicePitch);
  // One sample of one channel: input in (before drive), guard value d of this sample, the channel's four
  // stage states. Returns the output after 1 / drive and the compensation.
  double filterSample(double in, double d, double* st) const;
  // The same with the kind and tap given (constants where the caller knows them).
  double filterSample(double in, double d, double* st, int kindOf, int tapOf) const;
  // processBlock's filtering part for count voices of one kind and tap (type not 0, coefficients up to date).
  template <int count, int kindOf> static void filterGroup(Ladder* const* group, int n, double* const* records);
  // filterGroup for 2 * pairs voices of low- or high-pass stages, two voices to each SSE2 register.
  template <int pairs, int kindOf> static void filterPairs(Ladder* const* group, int n, double* const* records);

public:
  int* pitchSource;
  int referencePitch; // pitch of MIDI note 48 under the current tuning
  int type;
  int cutoffPitch; // pitch steps
  double resonance;
  int trackedPitch; // the voice pitch cutoffSum was worked out for
  double cutoffSum; // cutoffPitch + key tracking at trackedPitch, pitch steps
  int kind;
  int tap; // 0 after four stages, 1 after three, 2 after two, 3 after one
  // Coefficients: stage gain, second stage gain (band-pass), pole, gain of the four stages in series,
  // feedback factor, loop normaliser, output compensation.
  double g, gh, a, G4, k, n, c;
  bool coeffsSettled; // the coefficients hold until a parameter, the sample rate or the voice pitch changes
  int cachedPitch;
  double cachedResonance;
  double guard;
  double s[4];
  const double* freq2rad; // radians per sample of each pitch step at the current rate
};

class StereoLadder : public Ladder
{
public:
  StereoLadder(ModuleConfig* config, Voice* voice, Veltrane* owner);

  void process() override;
  bool prepareBlock(const VoiceBlock&) override { return false; } // processed sample by sample
  void reset() override;

  static void fillConfig(ModuleConfig* config);
  static void createGraphics(ModuleConfig* config, int x, int y, int base);
  static const PanelLayout panel; // the ladder's controls on the stereo background

  double sLeft[4];
  double sRight[4];
};
