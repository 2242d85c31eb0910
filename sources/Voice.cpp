#include "Voice.h"

#include "Module.h"
#include "ModuleConfig.h"
#include "Veltrane.h"
#include "VoiceBlock.h"

#include <typeinfo>

Voice::Voice()
    : owner(nullptr), valueHome(this), sumSourceLeft(&zero), sumSourceRight(&zero), pitchBendSource(&zero), zero(0.0), gate(0.0),
      note(0.0), notePos(0.0), velo(0.0), polyA(0.0), legato(false), multipleTrigger(false), pitchBendRange(0.0),
      portamentoTime(0.0), active(false), keyDown(false), sustain(false), noteNumber(48), noteOnCounter(0),
      previousGate(0.0), hasModules(false), targetPitch(0), pitch(0), glideCountdown(0), glidePitch(0.0), glideStep(0.0)
{
  for (Module*& m : modules) m = nullptr;
  processList.reserve(kNumSlots); // rebuilt on the audio thread when a program is put in place
}

Voice::~Voice()
{
  for (Module*& m : modules) {
    delete m;
    m = nullptr;
  }
}

void Voice::setVeltrane(Veltrane* owner, Voice* home)
{
  this->owner = owner;
  valueHome = home ? home : this;
  pitchBendSource = &owner->pBend;
  for (int s = 0; s < kNumSlots; ++s) {
    delete modules[s];
    modules[s] = home ? nullptr : new Module(&owner->slotConfig[s], this, owner);
  }
}

Module* Voice::getEffectiveModule(int slot)
{
  if (owner && owner->slotConfig[slot].master) return owner->masterModules[slot];
  return modules[slot];
}

double* Voice::getSource(int index, SourceDef::SourceType type)
{
  if (!owner) return nullptr;
  SourceDef* d = owner->voiceSources.getSource(index, type);
  if (!d || d->type <= SourceDef::OFF || d->type > SourceDef::SYNC) return nullptr;
  if (d->module >= 0 && d->module < kNumSlots) {
    Module* m = getEffectiveModule(d->module);
    return m ? m->output(d->type, d->index) : nullptr;
  }
  switch (d->type) {
  case SourceDef::MODULATION:
    if (d->module == SourceDef::kGroupCommonMod) {
      switch (d->index) {
      case SourceDef::MOD_POLYA:
        return &valueHome->polyA;
      case SourceDef::MOD_NOTE:
        return &valueHome->note;
      case SourceDef::MOD_NOTE_POS:
        return &valueHome->notePos;
      case SourceDef::MOD_VELO:
        return &valueHome->velo;
      default:
        if (d->index >= SourceDef::kNumModCommonSources) return nullptr;
        break;
      }
    }
    return owner->getModSource(d);
  case SourceDef::GATE:
    if (d->module == SourceDef::kGroupTriggers && d->index == Veltrane::kTriggerVoice) return &valueHome->gate;
    return owner->getGateSource(d);
  default:
    return nullptr; // audio and sync built-ins are master sources only
  }
}

void Voice::setSampleRate()
{
  runsRefused = false;
  active = keyDown = sustain = false;
  noteNumber = 48;
  noteOnCounter = 0;
  previousGate = 0.0;
  glidePitch = owner->getFrequency(48);
  pitchBendSource = &owner->pBend;
  gate = note = notePos = velo = polyA = 0.0;
  const double rate = owner->GetSampleRate();
  envelope.setSampleRate((float)rate);
  for (Module* m : modules) {
    if (!m) continue;
    m->setSampleRate(rate);
    m->setFrequencySource(&valueHome->pitch);
  }
}

void Voice::setNoteOn(int noteNum, int counter, double velocity)
{
  runsRefused = false;
  targetPitch = owner->getFrequency(noteNum);
  // Legato mode glides only while a key of this voice is still down.
  const bool glide = portamentoTime > 0.0 && (!legato || gate > 0.0);
  Synth::startGlide(targetPitch, glide ? portamentoTime : 0.0, &glidePitch, &glideStep, &glideCountdown);
  if (multipleTrigger || !keyDown) envelope.start();
  active = keyDown = true;
  noteNumber = noteNum;
  noteOnCounter = counter;
  gate = previousGate + 1.0; // always rises, so modules see a trigger
  notePos = targetPitch / 6144.0;
  note = owner->getFrequency(noteNum - 48) / 6144.0;
  velo = velocity;
}

void Voice::replayNote(int noteNum)
{
  setNoteOn(noteNum, noteOnCounter, velo);
}

void Voice::setNoteOff(bool force)
{
  keyDown = false;
  if (sustain && !force) return;
  gate = 0.0;
  envelope.stop(force);
}

void Voice::setSustain(bool on)
{
  sustain = on;
  if (keyDown || on) return;
  gate = 0.0;
  envelope.stop(false);
}

void Voice::replaceModule(int slot)
{
  if (slot < 0 || slot >= kNumSlots) return;
  delete modules[slot];
  modules[slot] = owner->slotConfig[slot].createModule(this);
  modules[slot]->setSampleRate(owner->GetSampleRate());
  modules[slot]->setFrequencySource(&valueHome->pitch);
  rebuildProcessList();
}

void Voice::installModule(int slot, Module** built)
{
  if (slot < 0 || slot >= kNumSlots || !*built) return;
  std::swap(modules[slot], *built);
  modules[slot]->rehome(&owner->slotConfig[slot], this, owner);
  rebuildProcessList();
}

void Voice::rebuildProcessList()
{
  runsRefused = false;
  processList.clear();
  for (int s = 0; s < kNumSlots; ++s) {
    const ModuleConfig& c = owner->slotConfig[s];
    if (modules[s] && !c.master && c.category != 0) processList.push_back(modules[s]);
  }
  hasModules = !processList.empty();
}

void Voice::setModuleParam(int slot, int p, double value)
{
  runsRefused = false;
  if (slot >= 0 && slot < kNumSlots && modules[slot]) modules[slot]->setParameter(p, value);
}

void Voice::setVoiceParam(int paramIdx, double value)
{
  runsRefused = false;
  switch (paramIdx) {
  case Veltrane::kParamSumLeft:
  case Veltrane::kParamSumRight: {
    double* source = getSource((int)value, SourceDef::AUDIO);
    (paramIdx == Veltrane::kParamSumLeft ? sumSourceLeft : sumSourceRight) = source ? source : &zero;
    break;
  }
  case Veltrane::kParamOutTrigger:
    multipleTrigger = value > 0.0;
    break;
  case Veltrane::kParamOutAttack:
    envelope.setAttack(value);
    break;
  case Veltrane::kParamOutDecay:
    envelope.setDecay(value);
    break;
  case Veltrane::kParamOutSustain:
    envelope.setSustain(value);
    break;
  case Veltrane::kParamOutRelease:
    envelope.setRelease(value);
    break;
  case Veltrane::kParamPBRange:
    pitchBendRange = value * 128.0;
    break;
  case Veltrane::kParamPortamento:
    portamentoTime = value;
    break;
  case Veltrane::kParamPortaLegato:
    legato = value >= 0.5;
    break;
  default:
    break;
  }
}

void Voice::update()
{
  previousGate = gate;
  if (!hasModules) {
    active = false;
    return;
  }
  active = !envelope.isIdle();
  Synth::stepGlide(targetPitch, glideStep, &glidePitch, &glideCountdown);
  pitch = Synth::floorPitch(pitchBendRange * *pitchBendSource + glidePitch);
  // Every fourth tick is soon enough for a loop to come back to rest, and costs a quarter.
  if (active && (++ticks & 3) == 0)
    for (Module* m : processList) m->restIfRunaway();
  for (Module* m : processList) m->update(active);
}

void Voice::process(double* sumLeft, double* sumRight, int n)
{
  if (!active || n < 1) return;
#ifdef VELTRANE_REFERENCE_RENDER
  // The plain loop, which the shortcuts below must match bit for bit (the render identity test).
  for (int i = 0; i < n; ++i) {
    for (Module* m : processList) m->process();
    envelope.update();
    sumLeft[i] += envelope.level * *sumSourceLeft;
    sumRight[i] += envelope.level * *sumSourceRight;
  }
  return;
#endif
  // Modules change neither the list nor the sum sources while they process: read them once.
  Module* const* const list = processList.data();
  const size_t count = processList.size();
  const double* const sourceLeft = sumSourceLeft;
  const double* const sourceRight = sumSourceRight;
  for (int i = 0; i < n; ++i) {
    for (size_t k = 0; k < count; ++k) list[k]->process();
    envelope.update();
    sumLeft[i] += envelope.level * *sourceLeft;
    sumRight[i] += envelope.level * *sourceRight;
  }
}

bool Voice::prepareRuns(VoiceBlock& b)
{
  Module* const* const list = processList.data();
  const int count = (int)processList.size();
  if (!b.plan(list, count)) return false;
  for (int q = 0; q < count; ++q) {
    b.setReader(q);
    if (!list[q]->prepareBlock(b)) return false;
  }
  b.setReader(count);
  return b.resolve(sumSourceLeft, &runLeft) && b.resolve(sumSourceRight, &runRight);
}

bool Voice::sameModules(const Voice& other) const
{
  if (processList.size() != other.processList.size()) return false;
  for (size_t q = 0; q < processList.size(); ++q) {
    const Module& a = *processList[q];
    const Module& b = *other.processList[q];
    if (a.config != b.config || typeid(a) != typeid(b)) return false;
  }
  return true;
}

void Voice::processVoices(Voice* voices, int count, double* sumLeft, double* sumRight, int n)
{
#ifndef VELTRANE_REFERENCE_RENDER
  if (count > 0 && n > 0 && voices[0].owner) {
    Veltrane& owner = *voices[0].owner;
    VoiceBlock* const blocks = owner.voiceBlocks;
    Voice* group[VoiceBlock::kGroup];
    int grouped = 0;
    for (int v = 0; v < count; ++v) {
      Voice& voice = voices[v];
      if (!voice.active) continue; // adds nothing
      if (grouped > 0 && (grouped == VoiceBlock::kGroup || !voice.sameModules(*group[0]))) {
        processRuns(group, grouped, sumLeft, sumRight, n);
        grouped = 0;
      }
      if (!voice.runsRefused && voice.prepareRuns(blocks[grouped])) {
        group[grouped++] = &voice;
        ++owner.voiceBlocksInRuns;
        continue;
      }
      voice.runsRefused = true;
      ++owner.voiceBlocksBySample;
      // The voices before it first, so that every sum adds the voices in order.
      if (grouped > 0) processRuns(group, grouped, sumLeft, sumRight, n);
      grouped = 0;
      voice.process(sumLeft, sumRight, n);
    }
    if (grouped > 0) processRuns(group, grouped, sumLeft, sumRight, n);
    return;
  }
#endif
  for (int v = 0; v < count; ++v) voices[v].process(sumLeft, sumRight, n);
}

template <int count> void Voice::addRuns(Voice* const* group, double* sumLeft, double* sumRight, int n)
{
  // At every sample the voices in order, as one after the other would add them, with local copies of the
  // output envelopes, whose steps (each waiting on its previous level) overlap.
  ADSR envelopes[count];
  const double* l[count]; // a record starts again at every run
  const double* r[count];
  int stepLeft[count], stepRight[count];
  for (int j = 0; j < count; ++j) {
    envelopes[j] = group[j]->envelope;
    l[j] = group[j]->runLeft.at;
    r[j] = group[j]->runRight.at;
    stepLeft[j] = group[j]->runLeft.step;
    stepRight[j] = group[j]->runRight.step;
  }
  for (int i = 0; i < n; ++i) {
    double left = sumLeft[i];
    double right = sumRight[i];
    for (int j = 0; j < count; ++j) {
      ADSR& e = envelopes[j];
      e.update();
      left += e.level * *l[j];
      right += e.level * *r[j];
      l[j] += stepLeft[j];
      r[j] += stepRight[j];
    }
    sumLeft[i] = left;
    sumRight[i] = right;
  }
  for (int j = 0; j < count; ++j) group[j]->envelope = envelopes[j];
}

void Voice::processRuns(Voice* const* group, int count, double* sumLeft, double* sumRight, int n)
{
  VoiceBlock* const blocks = group[0]->owner->voiceBlocks;
  const int modules = (int)group[0]->processList.size();
  for (int at = 0; at < n; at += VoiceBlock::kLength) {
    const int length = n - at < VoiceBlock::kLength ? n - at : VoiceBlock::kLength;
    for (int q = 0; q < modules; ++q) {
      Module* slot[VoiceBlock::kGroup];
      double* records[VoiceBlock::kGroup];
      for (int j = 0; j < count; ++j) {
        slot[j] = group[j]->processList[q];
        records[j] = blocks[j].record(q);
      }
      if (count > 1 && slot[0]->processBlockGroup(slot, count, length, records)) continue;
      for (int j = 0; j < count; ++j) slot[j]->processBlock(length, records[j]);
    }
    switch (count) {
    case 1:
      addRuns<1>(group, sumLeft + at, sumRight + at, length);
      break;
    case 2:
      addRuns<2>(group, sumLeft + at, sumRight + at, length);
      break;
    case 3:
      addRuns<3>(group, sumLeft + at, sumRight + at, length);
      break;
    default:
      addRuns<4>(group, sumLeft + at, sumRight + at, length);
      break;
    }
  }
}
