// Module: the base of every signal-processing module, and itself the module of an empty slot.
//
// A module belongs to one slot and either to one voice (a voice slot: one instance per voice) or to no
// voice (a master slot: one instance owned by the product). Its outputs are published in four vectors,
// one per source type, sized from the slot configuration when the module is made; sources point at their
// elements, so the vectors never change size.
//
// Every call first publishes the outputs computed by the previous call (next -> published) and then
// computes the next ones, so outputs lag their inputs by one call (a sample for process, a tick for update)
// and neither the order of evaluation nor feedback between modules matters.
//
// Threads: update and process run on the audio thread, setParameter from the parameter handler, both under
// the instance mutex; updateGraphics runs on the editor thread without it.
#pragma once

#include "SourceDef.h"
#include "mutex.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <typeinfo>
#include <vector>

class ModuleConfig;
class Synth;
class Veltrane;
class Voice;
class VoiceBlock;

// The generators of the module types that draw random values: one set per plug-in instance (a staging
// engine's modules use their live engine's), stepped on its audio thread. Two instances given the same
// program and notes so play the same, whatever else runs in the process.
struct RandomSeeds
{
  std::atomic<uint32_t> lfo{1}, lfo2{1}, sampleAndHold{1};
  std::atomic<uint32_t> noiseModules{0}; // dual noise generators made so far (each starts its own seed)
};

class Module
{
public:
  static constexpr int kNumParams = 16; // host parameters per slot

  Module(ModuleConfig* config, Voice* voice, Veltrane* owner);
  virtual ~Module();

  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  virtual void setSampleRate(double /*sampleRate*/) {}
  // Once per 1 ms control tick; active tells whether the voice is sounding (always true for the master).
  virtual void update(bool /*active*/) {}
  // Once per sample.
  virtual void process() {}
  // The voice's pitch, or the master pitch (1/128 semitone), which the module reads for as long as it lives.
  virtual void setFrequencySource(int* /*pitch*/) {}
  // Slot parameter p (0..15) with its plain value; input selectors resolve their source with getSource.
  virtual void setParameter(int /*p*/, double /*value*/) {}
  // Refreshes the module's panel (editor thread).
  virtual void updateGraphics() {}
  // The owner's tuning changed (a tuning loaded or reset, the tuning switch, a program's tuning): what the
  // module read of it is read again. Under the instance mutex; allocates nothing.
  virtual void retune() {}

  // Module-major processing of a voice's sub-block (VoiceBlock.h). A per-sample input read during a run:
  // sample i of the run reads at[i * step] (at null for an input without a source).
  struct Stream
  {
    const double* at;
    int step;
  };
  // Resolves the inputs the module reads at every sample through block.resolve; false when the module
  // cannot process runs (the default) or an input cannot be resolved, and the voice then processes
  // sample by sample.
  virtual bool prepareBlock(const VoiceBlock& /*block*/) { return false; }
  // n samples (1..VoiceBlock::kLength) as n calls of process() would compute them, with the inputs last
  // resolved by prepareBlock; the values its outputs publish at each sample go to record (VoiceBlock::record).
  virtual void processBlock(int /*n*/, double* /*record*/) {}
  // processBlock for the modules of one slot in count voices together (this is group[0]; all of one type,
  // each prepared): records[j] takes group[j]'s records. False, having processed nothing, when the type
  // has no such processing or the modules' settings differ.
  virtual bool processBlockGroup(Module* const* /*group*/, int /*count*/, int /*n*/, double* const* /*records*/)
  {
    return false;
  }

  // Beyond this magnitude a value has run away (+120 dBFS, far above anything an ordinary patch makes; the
  // host never receives more than 64): a feedback loop with a gain above 1 climbs there in moments.
  static constexpr double kRunawayLevel = 1e6;
  // x is not a number, or has run away.
  static bool runaway(double x) { return !(std::fabs(x) <= kRunawayLevel); }
  // At control ticks, before update (a voice's modules at every fourth, the master modules at every one):
  // when a published audio or modulation output has run away, the module is brought back to rest. A loop of modules without a state of their own (amplifiers,
  // mixers) keeps its value only in their outputs, where a NaN would last for good whatever the gains.
  void restIfRunaway()
  {
    if (ranAway(audioOut) || ranAway(modOut)) rest();
  }
  static bool ranAway(const std::vector<double>& values)
  {
    for (double x : values)
      if (runaway(x)) return true;
    return false;
  }
  // A module of no type: what a voice holds for an empty slot (no state, no parameters).
  bool plain() const { return typeid(*this) == typeid(Module); }

  // Back to rest: every output, published and next, at 0. Modules whose memory outlasts a loop's gain
  // (delay lines, reverberation) also forget what they hold.
  virtual void rest();

  // The value a source-selector setting reads: through the voice's list for a voice module (null for an
  // index that names no source), through the master list for a master module (the constant 0.0 then).
  double* getSource(int index, SourceDef::SourceType type);
  // The published output index of a type (audio, modulation, gate or sync); null when there is none.
  double* output(SourceDef::SourceType type, int index);

  // The seeds of the instance the module plays in (fixed for its life: a module built aside moves to the
  // engine whose seeds it already had).
  RandomSeeds& randomSeeds() const;

  // Hands the module to another engine: a module built aside (in a program's staging engine) takes its
  // place in the live one. Its inputs already read the live engine's values; only these links move.
  void rehome(ModuleConfig* newConfig, Voice* newVoice, Veltrane* newOwner)
  {
    config = newConfig;
    voice = newVoice;
    owner = newOwner;
  }

  // The empty module's parameter set-up: slot parameters base..base+15 become neutral doubles "M:s P:p".
  static void initParams(int base, Synth* synth);
  // The empty module's declaration: resets a slot configuration (the first step of every declaration).
  static void fillConfig(ModuleConfig* config);
  // Display texts of the mono/stereo mode parameters: "Mono", "Stereo".
  static const char* const labelStereo[2];

  std::vector<double> audioOut;
  std::vector<double> modOut;
  std::vector<double> gateOut;
  std::vector<double> syncOut;
  ModuleConfig* config; // the slot's configuration, not owned
  Veltrane* owner;
  WDL_Mutex lock; // held by no operation of the base
  std::vector<double> nextAudioOut;
  std::vector<double> nextModOut;
  std::vector<double> nextGateOut;
  std::vector<double> nextSyncOut;
  Voice* voice; // null for the master instance
};

// Display texts of module parameters, installed as IParam formatters. value is the plain value; text holds
// at least IParam::kDisplayBufferSize bytes.
void setDisplayTextForFrequency(double value, char* text); // hertz of pitch value * 17281, truncated
void setDisplayTextForDB(double value, char* text);        // "-oo" at 0 or below, else decibels
void setDisplayTextForFreqMod(double value, char* text);   // value / 1536
void setDisplayTextForMix(double value, char* text);       // "70:30"
void setDisplayTextForDryWet(double value, char* text);    // "Dry", "Wet" or "75:25"
void setDisplayTextForTune(double value, char* text);      // value * 0.78125
void setDisplayTextForDegree(double value, char* text);    // value * 360
void setDisplayTextForNotes(double value, char* text);     // value * 12
