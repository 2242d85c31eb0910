// Drives one module type in a master slot of a real instance, as the engine would: the module's inputs read
// the instance's own master sources (external input left for audio and for audio-or-modulation, the
// modulation wheel for modulation, the multi trigger for gates, a master oscillator's sync output for sync),
// whose values the caller writes before every sample. Used by the module robustness test and the module
// benchmarks.
#pragma once

#include "Module.h"
#include "ModuleConfig.h"
#include "Veltrane.h"
#include "plugin_host.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace moduledrive {
constexpr int kSlot = 0;
constexpr int kSyncSlot = 1; // a master oscillator whose sync output feeds sync inputs

struct Drive
{
  std::unique_ptr<Veltrane> v;
  Module* m = nullptr;
  int period = 1;
  int sample = 0;
  bool syncUsed = false;    // the oscillator of the sync slot runs only when an input reads it
  std::vector<double> sine; // one second of the playing signal (audio, then modulation ramp)
  std::vector<double> ramp;

  // A fresh instance at the rate with the type in slot 0 and every input connected. False when a source
  // the inputs need is missing from the master list.
  bool make(ModuleConfig::ModuleID id, double rate)
  {
    v = std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});
    v->SetSampleRate(rate);
    v->Reset();
    v->replaceModule(kSyncSlot, ModuleConfig::MOD_OSCILLATOR, true, false);
    v->replaceModule(kSlot, id, true, false);
    m = v->masterModules[kSlot];
    period = rate >= 1000.0 ? (int)rate / 1000 : 1;
    sample = 0;
    const int n = period * 1000;
    sine.resize(n);
    ramp.resize(n);
    for (int i = 0; i < n; ++i) {
      sine[i] = 0.5 * std::sin(2 * M_PI * 220.0 * i / n);
      ramp[i] = (double)i / n;
    }
    const std::vector<int>* sync = config().getInputParams(SourceDef::SYNC);
    syncUsed = sync && !sync->empty();
    return connectInputs();
  }

  ModuleConfig& config() { return v->slotConfig[kSlot]; }

  // Slot parameter p set to a plain value through the editor's path.
  void set(int p, double value)
  {
    const int idx = kSlot * Module::kNumParams + p;
    v->SetParameterFromGUI(idx, v->GetParam(idx)->GetNormalized(value));
  }

  // One sample with the sources at the given values (audio, modulation, gate), an update first at ticks.
  void step(double audio, double mod, double gate)
  {
    v->extL = v->extR = audio;
    v->mw = mod;
    v->multi = gate;
    Module* osc = v->masterModules[kSyncSlot];
    if (sample % period == 0) {
      if (syncUsed) osc->update(true);
      m->update(true);
    }
    if (syncUsed) osc->process();
    m->process();
    ++sample;
  }

  // Normal playing: a 220 Hz sine, a slow modulation ramp, a gate that rises every 20 ms.
  void play(int n)
  {
    const int second = (int)sine.size();
    for (int i = 0; i < n; ++i) {
      const int k = sample % second;
      step(sine[k], ramp[k], (sample / (period * 20)) % 2 ? 1.0 : 0.0);
    }
  }

  // Whether every output, published and next, is finite; which names the first that is not.
  bool finite(std::string* which) const
  {
    const std::vector<double>* outs[] = {&m->audioOut,     &m->modOut,     &m->gateOut,     &m->syncOut,
                                         &m->nextAudioOut, &m->nextModOut, &m->nextGateOut, &m->nextSyncOut};
    const char* names[] = {"audio", "mod", "gate", "sync", "next audio", "next mod", "next gate", "next sync"};
    for (int k = 0; k < 8; ++k)
      for (size_t i = 0; i < outs[k]->size(); ++i)
        if (!std::isfinite((*outs[k])[i])) {
          *which = std::string(names[k]) + " output " + std::to_string(i);
          return false;
        }
    return true;
  }

  // The master-list position of the source that feeds a selector of an input type (0 when missing).
  int sourcePosition(SourceDef::SourceType type) const
  {
    struct Choice
    {
      SourceDef::SourceType type;
      SourceDef::SourceType sourceType;
      int module, index;
    };
    const Choice choices[] = {
        {SourceDef::AUDIO, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3},
        {SourceDef::MODULATION, SourceDef::MODULATION, SourceDef::kGroupCommonMod, 3},
        {SourceDef::GATE, SourceDef::GATE, SourceDef::kGroupTriggers, 1},
        {SourceDef::SYNC, SourceDef::SYNC, kSyncSlot, 0},
        {SourceDef::AUDIO_OR_MOD, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3},
    };
    for (const Choice& ch : choices)
      if (ch.type == type) {
        const int pos = v->masterSources.getPosition(ch.type, ch.sourceType, ch.module, ch.index);
        return pos > 0 ? pos : 0;
      }
    return 0;
  }

  // The source type of the inputs selector p chooses, SourceDef::OFF when p selects none.
  SourceDef::SourceType inputType(int p)
  {
    for (SourceDef::SourceType t :
         {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE, SourceDef::SYNC, SourceDef::AUDIO_OR_MOD}) {
      const std::vector<int>* params = config().getInputParams(t);
      if (params && std::find(params->begin(), params->end(), p) != params->end()) return t;
    }
    return SourceDef::OFF;
  }

private:
  bool connectInputs()
  {
    for (SourceDef::SourceType t :
         {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE, SourceDef::SYNC, SourceDef::AUDIO_OR_MOD}) {
      std::vector<int>* params = config().getInputParams(t);
      if (!params || params->empty()) continue;
      const int pos = sourcePosition(t);
      if (pos <= 0) return false;
      for (int p : *params) set(p, pos);
    }
    return true;
  }
};
} // namespace moduledrive
