// The module catalogue: the 45 module types a slot can hold (ModuleConfig::ModuleID 0..44) and, per type,
// its declaration (category, parameter count, which slot parameters select inputs of which source type,
// how many outputs of each type it publishes and the letters and texts that name them in the source
// lists), and the module class that runs it.
//
// A module class's declaration (its fillConfig) is its row here: ModuleCatalogue::declare applies it.
// Its class row binds the constructor, the parameter set-up and the panel builder; a type whose class is
// not in the build yet runs as a plain Module with the empty module's parameter set-up.
#pragma once

#include "ModuleConfig.h"

struct PanelLayout;
class Module;
class Synth;
class Veltrane;
class Voice;

namespace ModuleCatalogue {

constexpr int kMaxInputsPerType = 9;
constexpr int kMaxOutputsPerType = 14;

// Selector parameters (0..15) of the inputs of one source type, in declaration order.
struct InputList
{
  int count; // the input count of that type
  int params[kMaxInputsPerType];
};

// Outputs of one source type: count, then (for two or more) one letter and one text per output.
struct OutputDecl
{
  int count;
  const char* letters; // null: the default letters "ABCDEFGH"
  const char* texts[kMaxOutputsPerType];
};

template <class... P> constexpr InputList inputs(P... params)
{
  static_assert(sizeof...(P) <= kMaxInputsPerType, "too many inputs");
  return InputList{(int)sizeof...(P), {params...}};
}

// Two or more outputs, one letter of `letters` and one text per output.
template <class... T> constexpr OutputDecl outputs(const char* letters, T... texts)
{
  static_assert(sizeof...(T) >= 2 && sizeof...(T) <= kMaxOutputsPerType, "use kOne or kNone");
  return OutputDecl{(int)sizeof...(T), letters, {texts...}};
}

constexpr OutputDecl kNoOutput = {0, nullptr, {}};
constexpr OutputDecl kOneOutput = {1, nullptr, {}}; // listed under the slot's short label alone

struct ModuleDecl
{
  int category;
  int numParams;
  InputList audioIn, modIn, gateIn, syncIn, audioOrModIn;
  OutputDecl audioOut, modOut, gateOut;
  int numSyncOut; // sync outputs are named by the audio letters and texts
  bool wavetableSaved;
};

extern const ModuleDecl declarations[ModuleConfig::kNumModuleIDs];

// The most outputs (of all source types together) any type publishes: what one slot adds to the lists.
int maxOutputsPerSlot();

// Writes the declaration of id into a configuration: reset to the empty module first, then the row.
void declare(ModuleConfig* config, ModuleConfig::ModuleID id);

// The class that runs a type. Null members: plain Module, Module::initParams, no panel.
struct ModuleClass
{
  Module* (*create)(ModuleConfig*, Voice*, Veltrane*);
  void (*initParams)(int base, Synth* synth);
  void (*createGraphics)(ModuleConfig* config, int x, int y, int base);
  const PanelLayout* panel; // the panel's table, which the artwork's captions follow
};

extern const ModuleClass classes[ModuleConfig::kNumModuleIDs];

template <class T> Module* makeModule(ModuleConfig* config, Voice* voice, Veltrane* owner)
{
  return new T(config, voice, owner);
}

} // namespace ModuleCatalogue
