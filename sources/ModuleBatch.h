// ModuleBatch: the new modules of one slot replacement, built off the audio thread. An editor command that
// gives a slot another module type (or moves it between the voices and the master section) is carried out
// by the audio thread at the start of a block; constructing 64 voices of modules there, with their delay
// memory and tables, would take a large share of the block. So the thread that posts the command builds
// them first, exactly as the replacement would (constructed for the slot, the voice and the engine, the
// sample rate set, the pitch bound), and the audio thread only puts them in place. The batch then holds
// the old modules it replaced, which it deletes when it is deleted, off the audio thread.
#pragma once

#include "ModuleConfig.h"

class Module;

struct ModuleBatch
{
  static constexpr int kVoices = 64;

  ModuleBatch() = default;
  ~ModuleBatch(); // deletes the modules it holds
  ModuleBatch(const ModuleBatch&) = delete;
  ModuleBatch& operator=(const ModuleBatch&) = delete;

  int slot = -1;
  ModuleConfig::ModuleID moduleID = ModuleConfig::MOD_EMPTY;
  bool master = false;
  double sampleRate = 0.0;
  int referencePitch = 0; // the pitch of note 48 under the tuning the modules were built with
  bool used = false;      // put in place once: it now holds what it replaced
  ModuleConfig config;    // the type's declaration the modules were made with (they move to the slot's)
  Module* masterModule = nullptr;
  Module* voiceModules[kVoices] = {};
};
