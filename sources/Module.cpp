#include "Module.h"

#include "ModuleConfig.h"
#include "cnumbers.h"
#include "Synth.h"
#include "Veltrane.h"
#include "Voice.h"

#include <cmath>
#include <cstdio>

RandomSeeds& Module::randomSeeds() const
{
  static RandomSeeds unowned; // a module made without an instance (the tests of a single module type)
  return owner ? owner->valueHome->seeds : unowned;
}

Module::Module(ModuleConfig* config, Voice* voice, Veltrane* owner) : config(config), owner(owner), voice(voice)
{
  const int nAudio = config ? config->numAudioOutputs : 0;
  const int nMod = config ? config->numModOutputs : 0;
  const int nGate = config ? config->numGateOutputs : 0;
  const int nSync = config ? config->numSyncOutputs : 0;
  audioOut.assign(nAudio > 0 ? nAudio : 0, 0.0);
  nextAudioOut.assign(nAudio > 0 ? nAudio : 0, 0.0);
  modOut.assign(nMod > 0 ? nMod : 0, 0.0);
  nextModOut.assign(nMod > 0 ? nMod : 0, 0.0);
  gateOut.assign(nGate > 0 ? nGate : 0, 0.0);
  nextGateOut.assign(nGate > 0 ? nGate : 0, 0.0);
  syncOut.assign(nSync > 0 ? nSync : 0, 0.0);
  nextSyncOut.assign(nSync > 0 ? nSync : 0, 0.0);
}

Module::~Module() {}

double* Module::getSource(int index, SourceDef::SourceType type)
{
  if (voice) return voice->getSource(index, type);
  // A master input set to "off" reads nothing, except an audio input, which reads the constant 0.0 so that
  // a master module with its audio inputs off processes silence rather than taking its no-input branch.
  if (index == 0 && type != SourceDef::AUDIO) return nullptr;
  return owner ? owner->getSourceForMaster(index, type) : nullptr;
}

void Module::rest()
{
  for (std::vector<double>* out :
       {&audioOut, &nextAudioOut, &modOut, &nextModOut, &gateOut, &nextGateOut, &syncOut, &nextSyncOut})
    for (double& x : *out) x = 0.0;
}

double* Module::output(SourceDef::SourceType type, int index)
{
  std::vector<double>* out = nullptr;
  switch (type) {
  case SourceDef::AUDIO:
    out = &audioOut;
    break;
  case SourceDef::MODULATION:
    out = &modOut;
    break;
  case SourceDef::GATE:
    out = &gateOut;
    break;
  case SourceDef::SYNC:
    out = &syncOut;
    break;
  default:
    return nullptr;
  }
  return index >= 0 && index < (int)out->size() ? &(*out)[index] : nullptr;
}

const char* const Module::labelStereo[2] = {"Mono", "Stereo"};

void Module::initParams(int base, Synth* synth)
{
  if (!synth) return;
  for (int p = 0; p < kNumParams; ++p) {
    IParam* param = synth->GetParam(base + p);
    if (!param) continue;
    char name[IParam::kTextSize];
    std::snprintf(name, sizeof(name), "M:%i P:%i", base / kNumParams, p);
    // A slot parameter's type would otherwise stay what its first definition made it (a selector is an
    // enumeration, and a knob of the next module must not be rounded like one).
    param->mType = IParam::kTypeDouble;
    param->InitDouble(name, 0.0, 0.0, 1.0, 0.001, "", "", 1.0);
    param->mDisplayTexts.Resize(0, false); // memory kept: a replacement on the audio thread allocates nothing
    param->mDisplayFunc = nullptr;
  }
}

void Module::fillConfig(ModuleConfig* config)
{
  config->wavetableSaved = false;
  config->moduleID = ModuleConfig::MOD_EMPTY;
  config->category = 0;
  config->hasAudioOutputs = config->hasModOutputs = config->hasGateOutputs = config->hasSyncOutputs = false;
  config->instance = 0;
  config->numAudioInputs = config->numAudioOutputs = 0;
  config->numModInputs = config->numModOutputs = 0;
  config->numGateInputs = config->numGateOutputs = 0;
  config->numSyncInputs = config->numSyncOutputs = 0;
  config->numAudioOrModInputs = 0;
  config->numParams = 0;
  config->audioTexts.clear();
  config->modTexts.clear();
  config->gateTexts.clear();
  std::snprintf(config->audioLetters, ModuleConfig::kLetterSize, "%s", ModuleConfig::kDefaultLetters);
  std::snprintf(config->modLetters, ModuleConfig::kLetterSize, "%s", ModuleConfig::kDefaultLetters);
  std::snprintf(config->gateLetters, ModuleConfig::kLetterSize, "%s", ModuleConfig::kDefaultLetters);
  config->sharedData.clear();
  config->updateStrings();
  // The per-type selector lists keep their entries; they are read only up to the type's input counts.
  config->inputParams.clear();
  config->specialControls.clear();
}

// ---- display texts ----

// Printed in the "C" locale: hosts show these texts and may send them back as typed values.
namespace {
constexpr int kTextSize = IParam::kDisplayBufferSize;
}

void setDisplayTextForFrequency(double value, char* text)
{
  double pitch = std::floor(value * 17281 + 0.5);
  if (!(pitch > -20000.0)) pitch = pitch < 0.0 ? -20000.0 : 0.0; // far below the table, or no number
  if (pitch > 20000.0) pitch = 20000.0;
  WDL_snprintf_C(text, kTextSize, "%d", (int)Synth::convert2Hz((int)pitch));
}

void setDisplayTextForDB(double value, char* text)
{
  if (value <= 0.0)
    WDL_snprintf_C(text, kTextSize, "-oo");
  else
    WDL_snprintf_C(text, kTextSize, "%.1f", 20.0 * std::log10(value));
}

void setDisplayTextForFreqMod(double value, char* text)
{
  WDL_snprintf_C(text, kTextSize, "%.2f", value / 1536);
}

void setDisplayTextForMix(double value, char* text)
{
  WDL_snprintf_C(text, kTextSize, "%.0f:%.0f", 100 - value * 100, value * 100);
}

void setDisplayTextForDryWet(double value, char* text)
{
  if (value == 0.0)
    WDL_snprintf_C(text, kTextSize, "Dry");
  else if (value == 1.0)
    WDL_snprintf_C(text, kTextSize, "Wet");
  else
    WDL_snprintf_C(text, kTextSize, "%.0f:%.0f", (1 - value) * 100, value * 100);
}

void setDisplayTextForTune(double value, char* text)
{
  WDL_snprintf_C(text, kTextSize, "%.0f", value * 0.78125);
}

void setDisplayTextForDegree(double value, char* text)
{
  WDL_snprintf_C(text, kTextSize, "%.0f", value * 360);
}

void setDisplayTextForNotes(double value, char* text)
{
  WDL_snprintf_C(text, kTextSize, "%.2f", value * 12);
}
