#include "Voice.h"

#include "Module.h"
#include "Veltrane.h"

Voice::Voice()
    : owner(nullptr), sumSourceLeft(&zero), sumSourceRight(&zero), pitchBendSource(&zero), zero(0.0), gate(0.0),
      note(0.0), notePos(0.0), velo(0.0), polyA(0.0), legato(false), multipleTrigger(false), pitchBendRange(0.0),
      portamentoTime(0.0), active(false), keyDown(false), sustain(false), noteNumber(48), noteOnCounter(0),
      previousGate(0.0), hasModules(false), targetPitch(0), pitch(0), glideCountdown(0), glidePitch(0.0), glideStep(0.0)
{
  for (Module*& m : modules) m = nullptr;
}

Voice::~Voice()
{
  for (Module*& m : modules) {
    delete m;
    m = nullptr;
  }
}

void Voice::setVeltrane(Veltrane* owner)
{
  this->owner = owner;
  pitchBendSource = &owner->pBend;
  for (int s = 0; s < kNumSlots; ++s) {
    delete modules[s];
    modules[s] = new Module(&owner->slotConfig[s], this, owner);
  }
}

Module* Voice::getEffectiveModule(int slot)
{
  if (owner && owner->slotConfig[slot].master) return owner->masterModules[slot];
  return modules[slot];
}

namespace {
double* outputOf(Module* module, SourceDef::SourceType type, int index)
{
  if (!module || index < 0) return nullptr;
  std::vector<double>* out = nullptr;
  switch (type) {
  case SourceDef::AUDIO:
    out = &module->audioOut;
    break;
  case SourceDef::MODULATION:
    out = &module->modOut;
    break;
  case SourceDef::GATE:
    out = &module->gateOut;
    break;
  case SourceDef::SYNC:
    out = &module->syncOut;
    break;
  default:
    return nullptr;
  }
  return index < (int)out->size() ? &(*out)[index] : nullptr;
}
} // namespace

double* Voice::getSource(int index, SourceDef::SourceType type)
{
  if (!owner) return nullptr;
  SourceDef* d = owner->voiceSources.getSource(index, type);
  if (!d || d->type <= SourceDef::OFF || d->type > SourceDef::SYNC) return nullptr;
  if (d->module >= 0 && d->module < kNumSlots) return outputOf(getEffectiveModule(d->module), d->type, d->index);
  switch (d->type) {
  case SourceDef::MODULATION:
    if (d->module == SourceDef::kGroupCommonMod) {
      switch (d->index) {
      case SourceDef::MOD_POLYA:
        return &polyA;
      case SourceDef::MOD_NOTE:
        return &note;
      case SourceDef::MOD_NOTE_POS:
        return &notePos;
      case SourceDef::MOD_VELO:
        return &velo;
      default:
        if (d->index >= SourceDef::kNumModCommonSources) return nullptr;
        break;
      }
    }
    return owner->getModSource(d);
  case SourceDef::GATE:
    if (d->module == SourceDef::kGroupTriggers && d->index == Veltrane::kTriggerVoice) return &gate;
    return owner->getGateSource(d);
  default:
    return nullptr; // audio and sync built-ins are master sources only
  }
}
