// ModuleConfig: the configuration of one of the 18 module slots: which module type runs there, in which
// category, once in the master section or once per voice, its instance number and labels, its input and
// output counts per source type, which of its 16 host parameters select input sources, the names of its
// outputs in the source lists, the wavetable record of a wavetable oscillator, and the editor controls its
// panel registered.
//
// Everything that depends on the module type is written by ModuleConfig::set from the module catalogue
// (ModuleCatalogue.h). The product reads the configuration to create the slot's modules, to number
// instances and build the source lists, and to write the state chunk.
//
// Threads: changed only under the instance mutex (structural edits, state loads); the audio thread reads
// it through the modules and the editor reads labels, master flag and counts on the main thread.
#pragma once

#include "SharedBytes.h"
#include "SourceDef.h"
#include "wdlstring.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

class ByteChunk;
class IControl;
class IGraphics;
class Module;
class Veltrane;
class Voice;

// The wavetable record of a slot, shared by the wavetable oscillators of all its voices and saved in the
// state chunk for module ID 26.
struct SharedData
{
  SharedData() = default;
  ~SharedData() { clear(); }
  SharedData(const SharedData&) = delete;
  SharedData& operator=(const SharedData&) = delete;

  // Count 0, the spectra let go, changed false, name empty.
  void clear();
  // Exchanges two records; nothing is allocated or freed.
  void swap(SharedData& other);
  // The spectra become block's (count: its doubles), or none for an empty reference.
  void set(SharedBytesRef block);

  // In the state chunk: path length, path, count, the doubles (the spectra's block itself, as a run, in a chunk
  // that keeps runs). False when the chunk could not grow.
  bool serializeState(ByteChunk* chunk) const;
  // The next position, or -1 for a record that is short, has a negative path length, or claims more
  // doubles than the chunk holds; the record is then left as it was. Spectra that the chunk holds as a run are
  // taken as they are (a table this program made, held to full scale already).
  int unserializeState(ByteChunk* chunk, int pos);

  bool changed = false;         // a new file was chosen and must be loaded
  WDL_String name;              // path of the wavetable file
  uint32_t count = 0;           // doubles in data
  const double* data = nullptr; // the spectra of all waves: spectra's bytes, or null
  // Holds data. A table never changes once made: the program slots that store it share the same block.
  SharedBytesRef spectra;
};

class ModuleConfig
{
public:
  enum ModuleID : int32_t {
    MOD_EMPTY = 0,
    MOD_OSCILLATOR = 1,
    MOD_OSCLINFM = 2,
    MOD_LADDER = 3,
    MOD_K35 = 4,
    MOD_AMPLIFIER = 5,
    MOD_MIXER = 6,
    MOD_RING = 7,
    MOD_AUDIOSH = 8,
    MOD_SIGNALPROC = 9,
    MOD_HILBERT = 10,
    MOD_BLENDER = 11,
    MOD_ENVELOPE2 = 12,
    MOD_LFO = 13,
    MOD_SHNOISE = 14,
    MOD_VOLTAGEPROC = 15,
    MOD_SAMPLEDELAY = 16,
    MOD_SEQUENCER = 17,
    MOD_SEQSWITCH = 18,
    MOD_OSCFORMANT = 19,
    MOD_AUDIOSWITCH = 20,
    MOD_LAGADDER = 21,
    MOD_GATETOOLS = 22,
    MOD_BEATSEQ = 23,
    MOD_ENVELOPE4 = 24,
    MOD_OSCILLATOR2 = 25,
    MOD_OSCWAVETABLE = 26,
    MOD_COMB = 27,
    MOD_LINENVELOPE = 28,
    MOD_NOISE = 29,
    MOD_RESONATORS = 30,
    MOD_LFO2 = 31,
    MOD_BBDDELAY = 32,
    MOD_BITREDUCER = 33,
    MOD_DELAYLINE = 34,
    MOD_REVERB = 35,
    MOD_SATURATOR = 36,
    MOD_ENVELOPE = 37,
    MOD_MODDELAY = 38,
    MOD_EQ10 = 39,
    MOD_STEREOLADDER = 40,
    MOD_STEREOK35 = 41,
    MOD_STEREOCOMB = 42,
    MOD_STEREORESONATORS = 43,
    MOD_PARAEQ5 = 44,
  };

  static constexpr int kNumModuleIDs = 45;
  static constexpr int kNumCategories = 9;
  static constexpr int kLetterSize = 16;
  static constexpr int kLabelSize = 32;
  // "Osc-" or "Flt-" with an instance up to 18 and the terminator; room to spare.
  static constexpr int kShortLabelSize = 16;
  static constexpr const char* kDefaultLetters = "ABCDEFGH";

  // Category names, module display names and short IDs (by module ID), and each category's menu order.
  static const char* const labelModuleType[kNumCategories];
  static const char* const labelModuleName[kNumModuleIDs];
  static const char* const labelModuleID[kNumModuleIDs];
  static std::vector<ModuleID> ModuleTypeMap[kNumCategories];
  static bool isModuleTypeMapInitialized;

  ModuleConfig();
  ~ModuleConfig();
  ModuleConfig(const ModuleConfig&) = delete;
  ModuleConfig& operator=(const ModuleConfig&) = delete;

  // Gives the slot a module type: declaration from the catalogue, then the slot's 16 host parameters reset to
  // the empty module's neutral ones and set up by the type. An ID outside 0..44 only stores owner and slot
  // (the state reader empties such a slot instead).
  void set(Veltrane* owner, int slot, ModuleID id);
  // Whether replacing the slot's type by id in the given section may keep its 16 parameter values.
  static bool areCompatible(ModuleConfig* config, int id, bool master);
  void setInstance(int instance); // and rebuilds the labels
  void updateStrings();           // rebuilds name, short ID, label and short label

  int getNumberOfInputs(SourceDef::SourceType type) const;
  int getNumberOfOutputs(SourceDef::SourceType type) const; // 0 for AUDIO_OR_MOD
  std::vector<int>* getInputParams(SourceDef::SourceType type);
  char* getLabelOut(SourceDef::SourceType type);                          // SYNC uses the audio letters
  const std::vector<const char*>& getTextOut(SourceDef::SourceType type); // SYNC uses the audio texts
  // Declares the selector parameters of one source type: the first of params, as many as that type's
  // input count (a shorter list declares only what it holds).
  void addConsumingParams(SourceDef::SourceType type, std::initializer_list<int> params);
  // The same from a list (its size must be the type's input count).
  void setConsumingParams(SourceDef::SourceType type, const std::vector<int>& params);
  void setConsumingParams(SourceDef::SourceType type, const int* params, int count);
  bool isInputParam(int p) const;

  // A new module of this slot's type for a voice, or for the master section with a null voice.
  Module* createModule(Voice* voice);
  // The slot's panel at x, y (editor).
  void createModuleGraphics(int x, int y);
  // Registers a control of the slot's panel that the module's updateGraphics shows, hides or updates.
  void addSpecialControl(IGraphics* graphics, IControl* control);

  // Exchanges everything the slot's module type and instance decide (type, counts, labels, selectors,
  // wavetable record) with another slot configuration of the same slot; owner, slot and the panel's
  // controls stay. Nothing is allocated or freed (a program built aside is put in place this way).
  void swapPatch(ModuleConfig& other);

  ModuleID moduleID;
  int category; // index into labelModuleType
  bool hasAudioOutputs;
  bool hasModOutputs;
  bool hasGateOutputs;
  bool hasSyncOutputs;
  int instance; // 0 for an empty slot, else 1..18
  int slot;     // 0..17; its host parameters are slot * 16 .. slot * 16 + 15
  int master;   // 1: one module in the master section; 0: one per voice
  int numAudioInputs, numAudioOutputs;
  int numModInputs, numModOutputs;
  int numGateInputs, numGateOutputs;
  int numSyncInputs, numSyncOutputs;
  int numAudioOrModInputs;
  int numParams; // parameters the type uses
  const char* name;
  const char* shortID;
  char label[kLabelSize];           // "Oscillator 2"
  char shortLabel[kShortLabelSize]; // "Osc-2": prefix of the slot's source labels
  // One character per output (a 0 character lists the output under the short label alone).
  char audioLetters[kLetterSize]; // also the sync outputs'
  char modLetters[kLetterSize];
  char gateLetters[kLetterSize];
  std::vector<const char*> audioTexts; // also the sync outputs'
  std::vector<const char*> modTexts;
  std::vector<const char*> gateTexts;
  std::vector<int> inputParams; // every selector parameter, in declaration order
  // Per source type, read only up to that type's input count.
  std::vector<int> audioInputParams;
  std::vector<int> modInputParams;
  std::vector<int> gateInputParams;
  std::vector<int> syncInputParams;
  std::vector<int> audioOrModInputParams;
  bool wavetableSaved; // the state chunk carries the wavetable record (module ID 26 only)
  SharedData sharedData;
  Veltrane* owner;
  std::vector<IControl*> specialControls; // not owned: attached to the editor surface
};
