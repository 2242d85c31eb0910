// Voice: one of the 64 polyphonic voices. It holds one module per slot (owned), plays one note at a time
// with portamento, exposes its per-voice values (gate, note pitch, velocity, polyphonic aftertouch) to its
// modules as sources, and shapes its contribution to the voice sums with its own output envelope.
//
// Threads: audio thread, and parameter and structural changes, all under the instance mutex.
#pragma once

#include "ADSR.h"
#include "SourceDef.h"

#include <vector>

class Module;
class Veltrane;

class Voice
{
public:
  static constexpr int kNumSlots = 18;

  Voice();
  ~Voice();
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  // Stores the owner and gives every slot a plain Module of its configuration.
  void setVeltrane(Veltrane* owner);

  // The value a selector setting of this voice's modules reads: an entry of the owner's voice source list
  // resolved to a module output, a per-voice value or a common value; null when the index names nothing.
  double* getSource(int index, SourceDef::SourceType type);
  // The module whose outputs the slot publishes to this voice: the master module for a master slot.
  Module* getEffectiveModule(int slot);

  Veltrane* owner;
  ADSR envelope; // its level is the voice's amplitude
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
};
