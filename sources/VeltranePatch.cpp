// Patch editing: giving a slot a module type (per voice or in the master section), numbering instances,
// keeping every source selector on its source while the lists change, and editing the display order.
//
// Threads: all of it runs under the instance mutex: replaceModule and storeWantedProgram (the editor's idle
// call) take it themselves; the rest runs from the audio thread's command handling, program initialisation
// or a state load, which hold it.
#include "Veltrane.h"

#include "IGraphics.h"
#include "Module.h"
#include "ModuleBatch.h"

#include <algorithm>
#include <cstring>

void Veltrane::setModuleConfig(int slot, int moduleID, bool master, ModuleBatch* batch)
{
  if (slot < 0 || slot >= kNumSlots) return;
  ModuleConfig& c = slotConfig[slot];
  // The slot's wavetable, which the new type's declaration clears, is only let go of here (SharedBytes frees it
  // off the audio thread).
  if (batch) batch->used = true;
  c.set(this, slot, (ModuleConfig::ModuleID)moduleID);
  const double rate = GetSampleRate();
  if (stateOnly) {
    c.master = master ? 1 : 0; // a state read only to be written again needs no modules
    return;
  }
  if (master) {
    c.master = 1;
    if (batch && batch->masterModule) {
      std::swap(masterModules[slot], batch->masterModule);
      masterModules[slot]->rehome(&c, nullptr, this);
    } else {
      delete masterModules[slot];
      masterModules[slot] = c.createModule(nullptr);
      masterModules[slot]->setSampleRate(rate);
      masterModules[slot]->setFrequencySource(&valueHome->masterPitch);
    }
    Module* m = masterModules[slot];
    for (int p = 0; p < Module::kNumParams; ++p)
      m->setParameter(p, GetParam(slot * Module::kNumParams + p)->GetDefault());
    // The slot's voice modules stay, but no voice processes them any more.
    for (Voice& voice : voices) voice.rebuildProcessList();
  } else {
    c.master = 0;
    const int nVoices = loadingStartupBank || readingPrograms ? 1 : kNumVoices;
    for (int v = 0; v < nVoices; ++v) {
      if (batch) {
        // A command's modules, built beforehand.
        if (!batch->voiceModules[v]) continue;
        voices[v].installModule(slot, &batch->voiceModules[v]);
      } else {
        // Empty over empty: the voice keeps its plain module, which holds no state to start again and takes
        // no parameters.
        const Module* old = voices[v].modules[slot];
        if (moduleID == ModuleConfig::MOD_EMPTY && old && old->plain()) continue;
        voices[v].replaceModule(slot);
      }
      for (int p = 0; p < Module::kNumParams; ++p)
        voices[v].setModuleParam(slot, p, GetParam(slot * Module::kNumParams + p)->GetDefault());
    }
  }
  updateProcessLists();
}

void Veltrane::updateProcessLists()
{
  masterProcessList.clear();
  for (int s = 0; s < kNumSlots; ++s)
    if (slotConfig[s].master && slotConfig[s].category != 0 && masterModules[s])
      masterProcessList.push_back(masterModules[s]);
  masterModulesPresent = !masterProcessList.empty();
  voiceSlotsPresent = voices[0].hasModules;
}

void Veltrane::updateInstances()
{
  for (int i = 0; i < kNumSlots && i < (int)displayOrder.size(); ++i) {
    const int s = displayOrder[i];
    if (s < 0 || s >= kNumSlots) continue;
    ModuleConfig& c = slotConfig[s];
    int instance = 0;
    if (c.category != 0) {
      instance = 1;
      for (int j = 0; j < i; ++j) {
        const int o = displayOrder[j];
        if (o < 0 || o >= kNumSlots) continue;
        const ModuleConfig& other = slotConfig[o];
        if (other.category == c.category && !std::strcmp(other.shortID, c.shortID)) ++instance;
      }
    }
    c.setInstance(instance);
  }
}

void Veltrane::replaceModule(int slot, int moduleID, bool master, bool rebuildPanel, ModuleBatch* batch)
{
  WDL_MutexLock lock(&mMutex);
  if (slot < 0 || slot >= kNumSlots) return;
  suspended = true;
  ModuleConfig& c = slotConfig[slot];
  const bool toggled = (c.master != 0) != master && c.moduleID == moduleID;
  const bool compatible = ModuleConfig::areCompatible(&c, moduleID, master);
  double kept[Module::kNumParams];
  if (toggled || compatible)
    for (int p = 0; p < Module::kNumParams; ++p) kept[p] = GetParam(slot * Module::kNumParams + p)->Value();

  if (!compatible) removeSourcesFromParamLists(slot);
  setModuleConfig(slot, moduleID, master, batch);
  updateInstances();
  updateSources();
  if (!compatible) addSourcesToParamLists(slot);

  if (compatible || toggled) {
    for (int p = 0; p < Module::kNumParams; ++p) {
      // After a switch between voice and master the input selectors stay "off": their list changed.
      if (!compatible && c.isInputParam(p)) continue;
      const int idx = slot * Module::kNumParams + p;
      GetParam(idx)->Set(kept[p]);
      OnParamChange(idx);
    }
  }
  panelRebuild = rebuildPanel;
  RedrawParamControls();
  suspended = false;
}

void Veltrane::moveModule(int from, int to)
{
  if (from < 0 || from >= kNumSlots || to < 0 || to >= kNumSlots || from == to) return;
  if ((int)displayOrder.size() != kNumSlots) return;
  suspended = true;
  const int a = displayOrder[from], b = displayOrder[to];
  const bool aEmpty = slotConfig[a].moduleID == ModuleConfig::MOD_EMPTY;
  const bool bEmpty = slotConfig[b].moduleID == ModuleConfig::MOD_EMPTY;
  if (to == from + 1 || (!aEmpty && bEmpty)) {
    std::swap(displayOrder[from], displayOrder[to]);
  } else {
    displayOrder.erase(displayOrder.begin() + from);
    displayOrder.insert(displayOrder.begin() + to, a);
  }
  if (isEditorThread()) {
    ModifyCurrentPreset(nullptr);
  } else {
    // An earlier move's order still waiting for another program tries once more: one order waits at most.
    if (currentProgramStale && staleOrder.program != GetCurrentPresetIdx()) storeDisplayOrder();
    staleOrder.program = GetCurrentPresetIdx();
    staleOrder.stored = LiveStateStored();
    staleOrder.loads = StatesPutInPlace();
    std::copy(displayOrder.begin(), displayOrder.end(), staleOrder.order);
    currentProgramStale = true;
    storeDisplayOrder();
  }
  panelRebuild = true;
  RedrawParamControls();
  suspended = false;
}

void Veltrane::storeDisplayOrder()
{
  // The audio thread may not wait for the programs' lock, which a thread of ours holds while it copies a
  // program out (ProgramStage): it tries, and the next block tries again. It writes the 72 bytes of the
  // order where the stored state keeps them: a whole state (megabytes with a large wavetable) would be
  // serialised, and its slot may have to grow.
  const StaleOrder& o = staleOrder;
  switch (TryRewritePreset(o.program, o.stored, [&o](ByteChunk* state) { return writeDisplayOrder(state, o.order); })) {
  case kRewriteBusy:
    return;
  case kRewriteRefused:
    if (GetCurrentPresetIdx() == o.program && StatesPutInPlace() == o.loads) {
      wholeStoreProgram = o.program;
      wholeStoreLoads = o.loads;
      wholeStoreWanted.store(true, std::memory_order_release);
    }
    break;
  default: // written, or the program took another state, which the order does not belong to
    break;
  }
  currentProgramStale = false;
}

void Veltrane::storeWantedProgram()
{
  if (!wholeStoreWanted.load(std::memory_order_acquire)) return;
  WDL_MutexLock lock(&mMutex);
  if (wholeStoreWanted.exchange(false) && GetCurrentPresetIdx() == wholeStoreProgram &&
      StatesPutInPlace() == wholeStoreLoads)
    ModifyCurrentPreset(nullptr);
}

void Veltrane::removeEmptyBlock(int position)
{
  if (position < 0 || position >= kNumSlots || (int)displayOrder.size() != kNumSlots) return;
  const int slot = displayOrder[position];
  if (slot < 0 || slot >= kNumSlots || slotConfig[slot].moduleID != ModuleConfig::MOD_EMPTY) return;
  slotConfig[slot].master = 0;
  moveModule(position, kNumSlots - 1);
}

// ---- keeping selectors on their sources ----
//
// A selector's value is a position among the entries of its type in its list. When a slot's outputs
// leave a list (remove phase, old configuration and lists), a selector on one of them becomes "off" and
// every other selector moves down past the slot's entries before its own; when the new module's outputs
// enter (add phase, new lists), each selector is put back on the entry it named before. Each changed
// selector is re-applied, so the modules re-resolve their inputs and the host hears of host parameters.

namespace {
// Applies a selector's new position: editor control first, then the parameter handler (and the host).
void applySelector(Veltrane* v, int paramIdx, IParam* param, int position)
{
  const double normalized = param->GetNormalized(position);
  v->pushParamToEditor(paramIdx, normalized);
  v->SetParameterFromGUI(paramIdx, normalized);
}
} // namespace

void Veltrane::removeSourcesFromParamList(int paramIdx, SourceDef::SourceType type, bool master, int slot)
{
  IParam* param = getAnyParam(paramIdx);
  if (!param || paramIdx < 0 || paramIdx > kParamMasterOutRight) return;
  const SourceDefCol& list = master ? masterSources : voiceSources;
  SelectedSource& selected = selectedSources[paramIdx];
  selected.valid = false;
  const int value = param->Int();
  const SourceDef* e = list.getSource(value, type);
  if (!e || value <= 0) return; // "off", or nothing to keep
  selected.valid = true;
  selected.type = e->type;
  selected.module = e->module;
  selected.index = e->index;
  int position = value;
  if (e->module == slot) {
    position = 0;
    selected.valid = false; // its source is gone
  } else {
    // Lowered by the slot's entries that come before it in this selector's enumeration.
    for (size_t i = 1; i < list.sources.size() && list.sources[i] != e; ++i)
      if (list.sources[i]->module == slot && list.sources[i]->matches(type)) --position;
  }
  if (position != value) applySelector(this, paramIdx, param, position);
}

void Veltrane::addSourcesToParamList(int paramIdx, SourceDef::SourceType type, bool master, int slot)
{
  IParam* param = getAnyParam(paramIdx);
  if (!param || paramIdx < 0 || paramIdx > kParamMasterOutRight) return;
  SelectedSource& selected = selectedSources[paramIdx];
  if (!selected.valid) return;
  selected.valid = false;
  if (selected.module == slot) return;
  const SourceDefCol& list = master ? masterSources : voiceSources;
  const int position = list.getPosition(type, selected.type, selected.module, selected.index);
  if (position > 0 && position != param->Int()) applySelector(this, paramIdx, param, position);
}

void Veltrane::removeSourcesFromParamLists(int slot)
{
  for (SelectedSource& s : selectedSources) s.valid = false;
  // The voice sums move only when a voice slot's audio outputs leave, the master outputs only when a
  // master slot's do; the other pair just remembers what it names, for a slot that changes section.
  forEachSelector([&](int paramIdx, SourceDef::SourceType type, bool master, int) {
    removeSourcesFromParamList(paramIdx, type, master, slot);
  });
}

void Veltrane::addSourcesToParamLists(int slot)
{
  forEachSelector([&](int paramIdx, SourceDef::SourceType type, bool master, int owner) {
    // The new module's own selectors start where its type puts them.
    if (owner != slot) addSourcesToParamList(paramIdx, type, master, slot);
  });
  for (SelectedSource& s : selectedSources) s.valid = false;
}
