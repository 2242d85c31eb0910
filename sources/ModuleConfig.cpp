#include "ModuleConfig.h"

#include "IControl.h"
#include "IGraphics.h"
#include "Module.h"
#include "ModuleCatalogue.h"
#include "Veltrane.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const char* const ModuleConfig::labelModuleType[kNumCategories] = {
    "None", "Oscillators", "Filters", "Amplifiers", "Processors", "Modulators", "Sequencers", "Effects", "Tools"};

const char* const ModuleConfig::labelModuleName[kNumModuleIDs] = {"Empty",
                                                                  "Oscillator",
                                                                  "Osc. Lin.FM",
                                                                  "Filter (Ladder)",
                                                                  "Filter (K35)",
                                                                  "Amplifier",
                                                                  "Mixer",
                                                                  "Ring Mod",
                                                                  "Audio S/H",
                                                                  "Signal Proc.",
                                                                  "Hilbert",
                                                                  "Blender",
                                                                  "Dual Envelope",
                                                                  "LFO",
                                                                  "Sample + Hold",
                                                                  "Voltage Proc.",
                                                                  "Sample Delay",
                                                                  "Sequencer",
                                                                  "Seq. Switch",
                                                                  "Osc. Formant",
                                                                  "Audio Switch",
                                                                  "LAG/Adder",
                                                                  "Gate Tools",
                                                                  "Beat Seq.",
                                                                  "Quad Envelope",
                                                                  "Dual Oscillator",
                                                                  "Wavetable Osc.",
                                                                  "Filter (Comb)",
                                                                  "Dual Linear Env.",
                                                                  "Dual Noise",
                                                                  "Resonators",
                                                                  "Dual LFO",
                                                                  "BBD Delay",
                                                                  "Bit Reducer",
                                                                  "Dual Delay Line",
                                                                  "Reverb",
                                                                  "Dual Saturator",
                                                                  "Envelope",
                                                                  "Mod.Delay/M2G",
                                                                  "Equalizer",
                                                                  "St.Filter (Ldr.)",
                                                                  "St.Filter (K35)",
                                                                  "St.Filter (Comb)",
                                                                  "St.Resonators",
                                                                  "Parametric EQ"};

const char* const ModuleConfig::labelModuleID[kNumModuleIDs] = {
    "Empty", "Osc-", "Osc-", "Flt-", "Flt-", "Amp", "Mix", "Rng", "ASH", "SP-", "H-",   "Bl-",  "Env",  "LFO", "SH-",
    "VP-",   "SD-",  "SQ-",  "SW-",  "Osc-", "AS-", "LA-", "GT",  "BS-", "QEn", "Osc-", "Osc-", "Flt-", "Env", "Nz-",
    "Rez",   "LFO",  "Dly",  "BC",   "Dly",  "Rvb", "Sat", "Env", "M2G", "EQ",  "Flt-", "Flt-", "Flt-", "Rez", "EQ"};

std::vector<ModuleConfig::ModuleID> ModuleConfig::ModuleTypeMap[kNumCategories];
bool ModuleConfig::isModuleTypeMapInitialized = false;

namespace {
// The module menu, category by category.
const std::vector<int> kMenuOrder[ModuleConfig::kNumCategories] = {
    {0},
    {1, 25, 2, 19, 26, 29},
    {3, 4, 27, 30, 40, 41, 42, 43, 39, 44},
    {5, 6, 9, 11},
    {7, 8, 10, 33, 36},
    {37, 12, 24, 28, 13, 31, 14},
    {17, 23, 18, 20},
    {32, 34, 35},
    {15, 21, 16, 38, 22},
};

bool fillModuleTypeMap()
{
  for (int c = 0; c < ModuleConfig::kNumCategories; ++c)
    for (int id : kMenuOrder[c]) ModuleConfig::ModuleTypeMap[c].push_back((ModuleConfig::ModuleID)id);
  ModuleConfig::isModuleTypeMapInitialized = true;
  return true;
}

bool inSet(int id, int a, int b, int c)
{
  return id == a || id == b || id == c;
}
} // namespace

void SharedData::clear()
{
  set(SharedBytesRef());
  changed = false;
  if (name.GetLength() > 0) name.Set(""); // an empty name stays without memory
}

void SharedData::swap(SharedData& other)
{
  std::swap(changed, other.changed);
  name.Swap(other.name);
  std::swap(count, other.count);
  std::swap(data, other.data);
  spectra.Swap(other.spectra);
}

void SharedData::set(SharedBytesRef block)
{
  spectra = std::move(block);
  data = spectra ? reinterpret_cast<const double*>(spectra->Bytes()) : nullptr;
  count = spectra ? (uint32_t)(spectra->Size() / sizeof(double)) : 0;
}

ModuleConfig::ModuleConfig()
    : moduleID(MOD_EMPTY), category(0), hasAudioOutputs(false), hasModOutputs(false), hasGateOutputs(false),
      hasSyncOutputs(false), instance(0), slot(0), master(0), numAudioInputs(0), numAudioOutputs(0), numModInputs(0),
      numModOutputs(0), numGateInputs(0), numGateOutputs(0), numSyncInputs(0), numSyncOutputs(0),
      numAudioOrModInputs(0), numParams(0), name(labelModuleName[0]), shortID(labelModuleID[0]), wavetableSaved(false),
      owner(nullptr)
{
  // Filled once per process, by the first configuration (instances are created one at a time).
  static const bool mapFilled = fillModuleTypeMap();
  (void)mapFilled;
  std::snprintf(audioLetters, kLetterSize, "%s", kDefaultLetters);
  std::snprintf(modLetters, kLetterSize, "%s", kDefaultLetters);
  std::snprintf(gateLetters, kLetterSize, "%s", kDefaultLetters);
  updateStrings();
  // Room for any type's declaration: giving the slot another type (on the audio thread, for an editor
  // command) then allocates nothing.
  for (std::vector<int>* list :
       {&audioInputParams, &modInputParams, &gateInputParams, &syncInputParams, &audioOrModInputParams})
    list->reserve(ModuleCatalogue::kMaxInputsPerType);
  inputParams.reserve(16);
  for (std::vector<const char*>* texts : {&audioTexts, &modTexts, &gateTexts})
    texts->reserve(ModuleCatalogue::kMaxOutputsPerType);
}

ModuleConfig::~ModuleConfig() {}

void ModuleConfig::swapPatch(ModuleConfig& other)
{
  std::swap(moduleID, other.moduleID);
  std::swap(category, other.category);
  std::swap(hasAudioOutputs, other.hasAudioOutputs);
  std::swap(hasModOutputs, other.hasModOutputs);
  std::swap(hasGateOutputs, other.hasGateOutputs);
  std::swap(hasSyncOutputs, other.hasSyncOutputs);
  std::swap(instance, other.instance);
  std::swap(master, other.master);
  std::swap(numAudioInputs, other.numAudioInputs);
  std::swap(numAudioOutputs, other.numAudioOutputs);
  std::swap(numModInputs, other.numModInputs);
  std::swap(numModOutputs, other.numModOutputs);
  std::swap(numGateInputs, other.numGateInputs);
  std::swap(numGateOutputs, other.numGateOutputs);
  std::swap(numSyncInputs, other.numSyncInputs);
  std::swap(numSyncOutputs, other.numSyncOutputs);
  std::swap(numAudioOrModInputs, other.numAudioOrModInputs);
  std::swap(numParams, other.numParams);
  std::swap(name, other.name);
  std::swap(shortID, other.shortID);
  std::swap(label, other.label);
  std::swap(shortLabel, other.shortLabel);
  std::swap(audioLetters, other.audioLetters);
  std::swap(modLetters, other.modLetters);
  std::swap(gateLetters, other.gateLetters);
  audioTexts.swap(other.audioTexts);
  modTexts.swap(other.modTexts);
  gateTexts.swap(other.gateTexts);
  inputParams.swap(other.inputParams);
  audioInputParams.swap(other.audioInputParams);
  modInputParams.swap(other.modInputParams);
  gateInputParams.swap(other.gateInputParams);
  syncInputParams.swap(other.syncInputParams);
  audioOrModInputParams.swap(other.audioOrModInputParams);
  std::swap(wavetableSaved, other.wavetableSaved);
  sharedData.swap(other.sharedData);
}

void ModuleConfig::set(Veltrane* owner, int slot, ModuleID id)
{
  this->owner = owner;
  this->slot = slot;
  if (id < MOD_EMPTY || id >= kNumModuleIDs) return;
  ModuleCatalogue::declare(this, id);
  // Every parameter starts from the one neutral declaration, so that those the type does not use keep
  // nothing of the previous module (its range would clamp, and a saved program would change on reload).
  Module::initParams(slot * Module::kNumParams, owner);
  void (*initParams)(int, Synth*) = ModuleCatalogue::classes[id].initParams;
  if (initParams && initParams != &Module::initParams) initParams(slot * Module::kNumParams, owner);
}

bool ModuleConfig::areCompatible(ModuleConfig* config, int id, bool master)
{
  if ((config->master != 0) != master) return false;
  const int current = config->moduleID;
  if (inSet(current, MOD_LADDER, MOD_K35, MOD_COMB) && inSet(id, MOD_LADDER, MOD_K35, MOD_COMB)) return true;
  return inSet(current, MOD_STEREOLADDER, MOD_STEREOK35, MOD_STEREOCOMB) &&
         inSet(id, MOD_STEREOLADDER, MOD_STEREOK35, MOD_STEREOCOMB);
}

void ModuleConfig::setInstance(int instance)
{
  this->instance = instance;
  updateStrings();
}

void ModuleConfig::updateStrings()
{
  const int id = moduleID >= MOD_EMPTY && moduleID < kNumModuleIDs ? moduleID : MOD_EMPTY;
  name = labelModuleName[id];
  shortID = labelModuleID[id];
  if (instance != 0) {
    std::snprintf(label, kLabelSize, "%s %i", name, instance);
    std::snprintf(shortLabel, kShortLabelSize, "%s%i", shortID, instance);
  } else {
    std::snprintf(label, kLabelSize, "%s", name);
    std::snprintf(shortLabel, kShortLabelSize, "%s", shortID);
  }
}

int ModuleConfig::getNumberOfInputs(SourceDef::SourceType type) const
{
  switch (type) {
  case SourceDef::AUDIO:
    return numAudioInputs;
  case SourceDef::MODULATION:
    return numModInputs;
  case SourceDef::GATE:
    return numGateInputs;
  case SourceDef::AUDIO_OR_MOD:
    return numAudioOrModInputs;
  case SourceDef::SYNC:
    return numSyncInputs;
  default:
    return 0;
  }
}

int ModuleConfig::getNumberOfOutputs(SourceDef::SourceType type) const
{
  switch (type) {
  case SourceDef::AUDIO:
    return numAudioOutputs;
  case SourceDef::MODULATION:
    return numModOutputs;
  case SourceDef::GATE:
    return numGateOutputs;
  case SourceDef::SYNC:
    return numSyncOutputs;
  default:
    return 0;
  }
}

std::vector<int>* ModuleConfig::getInputParams(SourceDef::SourceType type)
{
  switch (type) {
  case SourceDef::AUDIO:
    return &audioInputParams;
  case SourceDef::MODULATION:
    return &modInputParams;
  case SourceDef::GATE:
    return &gateInputParams;
  case SourceDef::AUDIO_OR_MOD:
    return &audioOrModInputParams;
  case SourceDef::SYNC:
    return &syncInputParams;
  default:
    return nullptr;
  }
}

char* ModuleConfig::getLabelOut(SourceDef::SourceType type)
{
  switch (type) {
  case SourceDef::AUDIO:
  case SourceDef::SYNC:
    return audioLetters;
  case SourceDef::MODULATION:
    return modLetters;
  case SourceDef::GATE:
    return gateLetters;
  default:
    return nullptr;
  }
}

const std::vector<const char*>& ModuleConfig::getTextOut(SourceDef::SourceType type)
{
  static const std::vector<const char*> kNoTexts;
  switch (type) {
  case SourceDef::AUDIO:
  case SourceDef::SYNC:
    return audioTexts;
  case SourceDef::MODULATION:
    return modTexts;
  case SourceDef::GATE:
    return gateTexts;
  default:
    return kNoTexts;
  }
}

void ModuleConfig::addConsumingParams(SourceDef::SourceType type, std::initializer_list<int> params)
{
  const int count = getNumberOfInputs(type);
  if (!getInputParams(type) || count <= 0) return;
  const size_t n = std::min(params.size(), size_t(count));
  setConsumingParams(type, std::vector<int>(params.begin(), params.begin() + n));
}

void ModuleConfig::setConsumingParams(SourceDef::SourceType type, const std::vector<int>& params)
{
  setConsumingParams(type, params.data(), (int)params.size());
}

void ModuleConfig::setConsumingParams(SourceDef::SourceType type, const int* params, int count)
{
  std::vector<int>* list = getInputParams(type);
  if (!list) return;
  list->clear();
  for (int i = 0; i < count; ++i) {
    list->push_back(params[i]);
    inputParams.push_back(params[i]);
  }
}

bool ModuleConfig::isInputParam(int p) const
{
  for (int q : inputParams)
    if (q == p) return true;
  return false;
}

void ModuleConfig::createModuleGraphics(int x, int y)
{
  if (moduleID <= MOD_EMPTY || moduleID >= kNumModuleIDs) return;
  void (*create)(ModuleConfig*, int, int, int) = ModuleCatalogue::classes[moduleID].createGraphics;
  if (create) create(this, x, y, slot * Module::kNumParams);
}

void ModuleConfig::addSpecialControl(IGraphics* graphics, IControl* control)
{
  if (!control) return;
  specialControls.push_back(control);
  if (graphics) graphics->AttachControl(control);
}

Module* ModuleConfig::createModule(Voice* voice)
{
  const int id = moduleID > MOD_EMPTY && moduleID < kNumModuleIDs ? moduleID : MOD_EMPTY;
  Module* (*create)(ModuleConfig*, Voice*, Veltrane*) = ModuleCatalogue::classes[id].create;
  return create ? create(this, voice, owner) : new Module(this, voice, owner);
}
