// Voice: one of the 64 polyphonic voices. It holds one module per slot (owned), plays one note at a time
// with portamento, exposes its per-voice values (gate, note pitch, velocity, polyphonic aftertouch) to its
// modules as sources, and shapes its contribution to the voice sums with its own output envelope.
//
// Threads: audio thread, and parameter and structural changes, all under the instance mutex.
#pragma once

#include "ADSR.h"
#include "Module.h"
#include "SourceDef.h"

#include <vector>

class Module;
class Veltrane;
class VoiceBlock;

class Voice
{
public:
  static constexpr int kNumSlots = 18;

  Voice();
  ~Voice();
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  // Stores the owner and gives every slot a plain Module of its configuration. A voice of a staging engine
  // (home: the live engine's voice of the same number) gets no modules; the modules built in it read the
  // per-voice values and the pitch of home, the voice they will play in.
  void setVeltrane(Veltrane* owner, Voice* home = nullptr);

  // Silent and idle, note 48, at the owner's sample rate; every module re-rated and bound to this voice's
  // pitch. The owner calls it for all voices at every reset.
  void setSampleRate();

  // Starts a note: pitch from the owner's tuning, portamento, gate, envelope (unless a held key keeps a
  // single-triggered envelope running). counter is the owner's note-on count; velocity is 0..1.
  void setNoteOn(int note, int counter, double velocity);
  // Back to a held key in single-voice play, with the stored count and velocity.
  void replayNote(int note);
  // Releases the key; the sustain pedal holds the note unless force, which also cuts the envelope to 0.
  void setNoteOff(bool force);
  // Sustain pedal; releasing it with no key down releases the voice.
  void setSustain(bool on);

  // Rebuilds a slot's module from its configuration, then the process list.
  void replaceModule(int slot);
  // Puts a module built for the slot elsewhere (at the sample rate, bound to this voice's pitch) in place,
  // leaving the old one in *built; then the process list. Allocates and frees nothing.
  void installModule(int slot, Module** built);
  // The modules of non-empty voice slots, in slot order.
  void rebuildProcessList();
  void setModuleParam(int slot, int p, double value);
  // Parameters 289, 290, 292..298 and the private 301; other indexes change nothing.
  void setVoiceParam(int paramIdx, double value);

  // One control tick: envelope state, portamento, pitch, module updates.
  void update();
  // n samples of this voice added to the two sums (nothing unless the voice is sounding).
  void process(double* sumLeft, double* sumRight, int n);
  // process for voices[0..count-1] in order: those whose modules can, module by module in runs of samples
  // (VoiceBlock.h), up to VoiceBlock::kGroup voices of the same modules together; the others sample by sample.
  static void processVoices(Voice* voices, int count, double* sumLeft, double* sumRight, int n);

  // The value a selector setting of this voice's modules reads: an entry of the owner's voice source list
  // resolved to a module output, a per-voice value or a common value; null when the index names nothing.
  double* getSource(int index, SourceDef::SourceType type);
  // The module whose outputs the slot publishes to this voice: the master module for a master slot.
  Module* getEffectiveModule(int slot);

  Veltrane* owner;
  Voice* valueHome; // the voice whose values (gate, note, velocity, pitch...) this voice's modules read: itself
  ADSR envelope;    // its level is the voice's amplitude
  Module* modules[kNumSlots];
  std::vector<Module*> processList; // modules of non-empty voice slots, in slot order
  double* sumSourceLeft;            // values added to the voice sums; &zero when none is selected
  double* sumSourceRight;
  double* pitchBendSource; // the owner's PBend
  double zero;             // always 0.0
  // Per-voice source values.
  double gate;           // rises at every note on, 0 after a release
  double note;           // pitch of note - 48 / 6144
  double notePos;        // pitch / 6144
  double velo;           // 0..1
  double polyA;          // 0..1
  bool legato;           // parameter Porta Legato at "Legato"
  bool multipleTrigger;  // parameter Out Trigger at "Multiple"
  double pitchBendRange; // semitones * 128
  double portamentoTime; // seconds
  bool active;
  bool keyDown;
  bool sustain;
  int noteNumber;      // MIDI note last started
  int noteOnCounter;   // the owner's note-on counter when that note started
  double previousGate; // gate as of the last control tick
  bool hasModules;     // the process list is not empty
  int targetPitch;     // 1/128 semitone
  int pitch;           // current pitch, every module's frequency source
  int glideCountdown;  // ticks left
  double glidePitch;
  double glideStep; // per tick

private:
  // Resolves the inputs of every module and of the sums in block: false when the voice cannot run.
  bool prepareRuns(VoiceBlock& block);
  // Whether two voices' process lists hold modules of the same slots and types, position by position.
  bool sameModules(const Voice& other) const;
  // n samples of prepared voices group[0..count-1] (count >= 1) whose lists hold the same modules, each with
  // the block it was prepared with.
  static void processRuns(Voice* const* group, int count, double* sumLeft, double* sumRight, int n);
  // processRuns' additions to the sums for a run of n samples.
  template <int count> static void addRuns(Voice* const* group, double* sumLeft, double* sumRight, int n);
  Module::Stream runLeft{nullptr, 0}, runRight{nullptr, 0}; // the sum sources during a run
  // The last preparation failed; cleared by every change that can alter the outcome (modules, parameters,
  // rate, a note start). Kept too long, it would only keep the voice on the sample-by-sample path.
  bool runsRefused = false;
  // Control ticks counted for the modules' runaway check, which runs at every fourth (Module::restIfRunaway).
  unsigned ticks = 0;
};
