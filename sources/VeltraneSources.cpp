// The product's source lists: building them from the built-in values and the slots' outputs, turning every
// selector parameter into an enumeration over its list, and resolving master selections to addresses.
#include "Veltrane.h"

#include "IGraphics.h"
#include "Module.h"
#include "ModuleCatalogue.h"

#include <cstdio>
#include <iterator>
#include <cstring>

namespace {
struct BuiltIn
{
  SourceDef::SourceType type;
  int group;
  int index;
  const char* label;
  const char* text;
  bool voice, master; // lists besides "all"
};

// In creation order. MIDI sources and clock outputs follow the common modulation group.
const BuiltIn kBuiltIns[] = {
    {SourceDef::OFF, SourceDef::kGroupOff, 0, "off", "off", true, true},
    {SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 1, "VoiceL", "Voices Sum Left", false, true},
    {SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 2, "VoiceR", "Voices Sum Right", false, true},
    {SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3, "Ext.L", "External Input Left", false, true},
    {SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 4, "Ext.R", "External Input Right", false, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 0, "On", "On", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 1, "PBend", "Pitch Bend", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 2, "PBnd+", "Pitch Bend (positive)", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 3, "MW", "Modulation Wheel", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 4, "MW+", "Modulation Wheel (positive)", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 5, "PolyA", "Poly Aftertouch", true, false},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 6, "ChAft", "Channel Aftertouch", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 7, "Note", "Note", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 8, "Note+", "Note (positive)", true, true},
    {SourceDef::MODULATION, SourceDef::kGroupCommonMod, 9, "Velo", "Velocity", true, true},
};

const BuiltIn kTriggers[] = {
    {SourceDef::GATE, SourceDef::kGroupTriggers, 0, "Single", "Single Trigger", true, true},
    {SourceDef::GATE, SourceDef::kGroupTriggers, 1, "Multi", "Multi Trigger", true, true},
    {SourceDef::GATE, SourceDef::kGroupTriggers, 2, "Voice", "Voice Trigger", true, false},
    {SourceDef::GATE, SourceDef::kGroupTriggers, 3, "Start", "Transport Start", true, true},
    {SourceDef::GATE, SourceDef::kGroupTriggers, 4, "Stop", "Transport Stop", true, true},
};
} // namespace

int Veltrane::maxSources()
{
  const int builtIns = (int)(std::size(kBuiltIns) + std::size(kTriggers)) + kNumMidiSources + Clock::kNumRates;
  return builtIns + kNumSlots * ModuleCatalogue::maxOutputsPerSlot();
}

void Veltrane::addSource(bool voice, bool master, SourceDef::SourceType type, int module, int index,
                         const char* label, const char* text)
{
  // The entries live in the "all" list's storage, reserved for every slot's outputs: no allocation.
  SourceDef* source = allSources.add(type, module, index, label, text);
  if (!source) return;
  if (voice) voiceSources.addSource(source);
  if (master) masterSources.addSource(source);
}

void Veltrane::updateSources()
{
  allSources.clearStored();
  voiceSources.clearSources();
  masterSources.clearSources();

  char label[SourceDef::kLabelSize], text[SourceDef::kTextSize];
  for (const BuiltIn& b : kBuiltIns) addSource(b.voice, b.master, b.type, b.group, b.index, b.label, b.text);
  for (int k = 0; k < kNumMidiSources; ++k) {
    std::snprintf(label, sizeof(label), "MID%i", k + 1);
    std::snprintf(text, sizeof(text), "Midi Source %i", k + 1);
    addSource(true, true, SourceDef::MODULATION, SourceDef::kGroupMidi, k, label, text);
  }
  for (int k = 0; k < Clock::kNumRates; ++k)
    addSource(true, true, SourceDef::GATE, SourceDef::kGroupClock, k, Clock::labelSyncRate[k], Clock::labelSyncRate[k]);
  for (const BuiltIn& b : kTriggers) addSource(b.voice, b.master, b.type, b.group, b.index, b.label, b.text);

  // Module outputs: voice modules read voice modules' outputs of every type and master modules'
  // modulation and gate outputs; master modules read master modules' outputs only.
  for (int s = 0; s < kNumSlots; ++s) {
    ModuleConfig& c = slotConfig[s];
    const bool master = c.master != 0;
    const char* masterTag = master ? " [Master]" : "";
    for (SourceDef::SourceType t : {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE, SourceDef::SYNC}) {
      const int n = c.getNumberOfOutputs(t);
      const bool toVoice = !master || t == SourceDef::MODULATION || t == SourceDef::GATE;
      if (n == 1) {
        std::snprintf(text, sizeof(text), "%s%s", c.label, masterTag);
        addSource(toVoice, master, t, s, 0, c.shortLabel, text);
        continue;
      }
      const char* letters = c.getLabelOut(t);
      const std::vector<const char*>& texts = c.getTextOut(t);
      for (int k = 0; k < n; ++k) {
        const char letter = k < ModuleConfig::kLetterSize - 1 ? letters[k] : '\0';
        if (letter)
          std::snprintf(label, sizeof(label), "%s%c", c.shortLabel, letter);
        else
          std::snprintf(label, sizeof(label), "%s", c.shortLabel);
        std::snprintf(text, sizeof(text), "%s %s%s", c.label, k < (int)texts.size() ? texts[k] : "", masterTag);
        addSource(toVoice, master, t, s, k, label, text);
      }
    }
  }

  voiceSources.sort();
  masterSources.sort();

  forEachSelector(
      [&](int paramIdx, SourceDef::SourceType type, bool master, int) { changeSourceParam(paramIdx, type, master); });
}

void Veltrane::changeSourceParam(int paramIdx, SourceDef::SourceType type, bool master)
{
  IParam* param = getAnyParam(paramIdx);
  if (!param) return;
  const SourceDefCol& list = master ? masterSources : voiceSources;
  const double v = param->Value();
  const int d = (int)param->GetDefault();
  const int n = list.getSize(type);

  char name[IParam::kTextSize];
  std::snprintf(name, sizeof(name), "%s", param->GetNameForHost());
  // A slot parameter keeps the type of its first definition, which may be a knob's: a selector must
  // round host values to whole entries, or 15/26 * 26 would select entry 14.
  if (param->mType == IParam::kTypeDouble || param->mType == IParam::kTypeNone) param->mType = IParam::kTypeEnum;
  param->InitEnum(name, d, n, "", "");
  // Texts that are already the list's (its entries of this type did not change) stay: a replacement on the
  // audio thread rewrites only the lists it changed.
  bool same = param->GetNDisplayTexts() == n;
  for (int i = 0; same && i < n; ++i) {
    const SourceDef* s = list.getSource(i, type);
    int value = -1;
    same = !std::strcmp(param->GetDisplayTextAtIdx(i, &value), s ? s->label : "") && value == i;
  }
  if (!same) {
    param->mDisplayTexts.Resize(0, false); // memory kept: the lists are rebuilt on the audio thread
    for (int i = 0; i < n; ++i) {
      const SourceDef* s = list.getSource(i, type);
      param->SetDisplayText(i, s ? s->label : "");
    }
  }
  const double maxIdx = n > 1 ? n - 1 : 0;
  const double value = v < 0.0 ? 0.0 : (v > maxIdx ? maxIdx : (int)v);
  const double normalized = param->GetNormalized(value);
  pushParamToEditor(paramIdx, normalized);
  SetParameterFromGUI(paramIdx, normalized);
}

double* Veltrane::getSourceForMaster(int index, SourceDef::SourceType type)
{
  SourceDef* d = masterSources.getSource(index, type);
  if (!d) return &valueHome->zero;
  if (d->module >= 0 && d->module < kNumSlots) {
    Module* m = masterModules[d->module];
    double* out = m ? m->output(d->type, d->index) : nullptr;
    return out ? out : &valueHome->zero;
  }
  double* result = nullptr;
  switch (d->type) {
  case SourceDef::AUDIO:
    if (d->module == SourceDef::kGroupMasterAudio) {
      switch (d->index) {
      case kVoiceSumLeft:
        return &valueHome->voiceL;
      case kVoiceSumRight:
        return &valueHome->voiceR;
      case kExternalLeft:
        return &valueHome->extL;
      case kExternalRight:
        return &valueHome->extR;
      default:
        return &valueHome->zero;
      }
    }
    return &valueHome->zero;
  case SourceDef::MODULATION:
    if (d->module == SourceDef::kGroupCommonMod) {
      switch (d->index) {
      case SourceDef::MOD_NOTE:
        return &valueHome->masterNote;
      case SourceDef::MOD_NOTE_POS:
        return &valueHome->masterNotePos;
      case SourceDef::MOD_VELO:
        return &valueHome->masterVelo;
      case SourceDef::MOD_POLYA:
        return &valueHome->zero;
      default:
        result = getModSource(d);
        break;
      }
    } else if (d->module == SourceDef::kGroupMidi)
      result = getModSource(d);
    break;
  case SourceDef::GATE:
    result = getGateSource(d);
    break;
  default:
    break;
  }
  return result ? result : &valueHome->zero;
}

double* Veltrane::getModSource(SourceDef::ModCommonSources source)
{
  switch (source) {
  case SourceDef::MOD_ON:
    return &valueHome->on;
  case SourceDef::MOD_PBEND:
    return &valueHome->pBend;
  case SourceDef::MOD_PBEND_POS:
    return &valueHome->pBendPos;
  case SourceDef::MOD_MW:
    return &valueHome->mw;
  case SourceDef::MOD_MW_POS:
    return &valueHome->mwPos;
  case SourceDef::MOD_CHAFT:
    return &valueHome->chAft;
  default:
    return nullptr; // PolyA, Note, Note+ and Velo are per voice
  }
}

double* Veltrane::getModSource(SourceDef* source)
{
  if (!source) return nullptr;
  if (source->module == SourceDef::kGroupMidi)
    return source->index >= 0 && source->index < kNumMidiSources ? &valueHome->midiSourceValue[source->index] : nullptr;
  if (source->module == SourceDef::kGroupCommonMod) return getModSource((SourceDef::ModCommonSources)source->index);
  return nullptr;
}

double* Veltrane::getGateSource(SourceDef* source)
{
  if (!source) return nullptr;
  if (source->module == SourceDef::kGroupTriggers) {
    switch (source->index) {
    case kTriggerSingle:
      return &valueHome->single;
    case kTriggerMulti:
      return &valueHome->multi;
    case kTriggerStart:
      return &valueHome->start;
    case kTriggerStop:
      return &valueHome->stop;
    default:
      return nullptr; // the Voice trigger is per voice
    }
  }
  if (source->module == SourceDef::kGroupClock)
    return source->index >= 0 && source->index < Clock::kNumRates ? &valueHome->clock.output[source->index] : nullptr;
  return nullptr;
}
