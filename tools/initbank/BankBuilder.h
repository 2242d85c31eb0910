// The start-up bank's builder: a product instance whose programs are built through the operations the
// editor uses (replace a slot's module, set parameters, choose sources, plug a module into the voice sums)
// and saved with the plug-in's own bank writer.
//
// Programs are grouped by the module family they show; each family's file fills its own range of program
// numbers (kRange* below), so families never overwrite each other.
#pragma once

#include "Veltrane.h"

#include <memory>

class BankBuilder
{
public:
  BankBuilder();

  // A plain value, through the parameter path of the editor (host informed, product handler called).
  void set(int param, double value);
  void setSlot(int slot, int p, double value) { set(slot * 16 + p, value); }
  // Selector p of a voice slot chooses an output (type, module or group, index) in the voice list.
  void connect(int slot, int p, SourceDef::SourceType t, int module, int index);
  // The same in the master list, for a master slot.
  void connectMaster(int slot, int p, SourceDef::SourceType t, int module, int index);
  // A voice slot (master false) or master slot now holds the type, with its default parameters.
  void module(int slot, ModuleConfig::ModuleID id, bool master = false);

  // Selector p of a voice slot follows each voice's own note (the voice trigger).
  void voiceTrigger(int slot, int p)
  {
    connect(slot, p, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerVoice);
  }
  // An envelope's segment values 0..1 (a segment of value t takes about 10^(4.5 t - 2.3) s), started by
  // the voice's note on its first gate input.
  void noteEnvelope(int slot, double attack, double decay, double sustain, double release)
  {
    voiceTrigger(slot, 0);
    setSlot(slot, 2, attack);
    setSlot(slot, 5, decay);
    setSlot(slot, 8, sustain);
    setSlot(slot, 11, release);
  }

  // A modulation input of a voice slot whose amount is parameter p and whose source is parameter p + 1 (the
  // layout of the amplifier's VCAs, the filters' modulations and the envelopes' segments), following an item
  // of the common group: the velocity (0..1), the note (0 at note 48, 1 four octaves up), the wheel.
  void common(int slot, int p, SourceDef::ModCommonSources item, double amount)
  {
    connect(slot, p + 1, SourceDef::MODULATION, SourceDef::kGroupCommonMod, item);
    setSlot(slot, p, amount);
  }
  // An amplifier's VCA 2 follows the velocity: a note struck at velocity v plays at 1 - depth (1 - v / 127)
  // of its level, so that the level at velocity 127 stays what the program's volume was chosen for.
  void velocityToLevel(int amp, double depth) { common(amp, 12, SourceDef::MOD_VELO, depth); }
  // A filter's cutoff (0..1, over pitch steps 0..17280) is the one given at velocity 127 and `opening` pitch
  // steps (1/128 semitone) lower at velocity 0, through its frequency modulation p (7 or 9): harder is
  // brighter.
  void velocityToCutoff(int filter, int p, double cutoff, double opening)
  {
    setSlot(filter, 1, cutoff - opening / 17280.0);
    common(filter, p, SourceDef::MOD_VELO, opening);
  }

  // The program's output volume (0..2, 0.5 unless set). How high a chord peaks depends on how the phases of
  // its notes meet, so one voicing says little: the volume is chosen so that thousands of four-note chords at
  // velocity 127 from C2 to C7, struck at any moment, peak at or under -2 dBFS (most programs under -2.5), and
  // so that the peaks of the program's four loudest notes, the most four voices can add up to, sum to at most
  // -1 dBFS, unless the master effects hold the sum down (the full rack) or the clock strikes the level (the
  // quad envelope pulse, the beat groove: their chords were searched the longer).
  void level(double volume) { set(Veltrane::kParamVolume, volume); }

  // A K35 high-pass at about 20 Hz with no resonance (one pole) in a voice slot, on (source, output): it
  // takes off the DC that a comb's resonance at 0 Hz, a saturator or bit reducer on an uneven wave, or a
  // phase modulation at 1:1 leaves in a patch, and nothing a player hears.
  void dcBlocker(int slot, int source, int output);

  // Starts program p from the initialised state; finish() names it and stores it. A name must fit the 23
  // characters a host shows (the build stops otherwise).
  void begin(int program);
  void finish(const char* name);

  void initAllPrograms();
  bool save(const char* path);

  std::unique_ptr<Veltrane> v;
};

// Program numbers of each family.
enum BankRange {
  kRangeFirst = 0,       // 0: "First Sound"
  kRangeOscillators = 1, // 1..7
  kRangeWavetables = 8,  // 8..11
  kRangeFilters = 12,    // 12..19
  kRangeEffects = 20,    // 20..29
  kRangeTools = 30,      // 30..37
  kRangeModulators = 38, // 38..49
  kRangeShowcase = 50,   // 50..63: larger patches over several families
};

void buildFirstSound(BankBuilder& b);
void buildOscillatorPrograms(BankBuilder& b);
void buildWavetablePrograms(BankBuilder& b);
void buildFilterPrograms(BankBuilder& b);
void buildEffectPrograms(BankBuilder& b);
void buildToolPrograms(BankBuilder& b);
void buildModulatorPrograms(BankBuilder& b);
void buildShowcasePrograms(BankBuilder& b);
