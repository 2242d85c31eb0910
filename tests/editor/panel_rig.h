// Shared by the module panel tests: an open editor with one module type in the slot shown at display
// position 0 (its panel origin at (256, 24)) and every other slot empty.
#pragma once

#include "BeatSteps.h"
#include "Module.h"
#include "ModulePanel.h"
#include "editor_rig.h"

struct PanelRig : EditorRig
{
  static constexpr int kNumSlots = 18;
  static constexpr int kX = 256, kY = 24; // the panel origin of display position 0

  explicit PanelRig(int id, bool master = false)
  {
    open();
    slot = v->slotAt(0);
    for (int s = 0; s < kNumSlots; ++s) v->replaceModule(s, s == slot ? id : 0, s == slot && master, true);
    v->updateInstances();
    v->RedrawParamControls();
    g->Tick();
    first = v->firstModuleControl + (master ? 1 : 0); // a master slot's back image comes first
    layout = panelLayoutOf(id);
  }

  int slot = 0, first = 0;
  const PanelLayout* layout = nullptr;
  int base() const { return slot * Module::kNumParams; }
  // Row 0: the first after the background. A beat-step column's 16 lamps are attached just before it.
  IControl* control(int row)
  {
    int index = first + 1 + row;
    for (int k = 0; layout && k <= row && k < layout->count; ++k)
      if (layout->controls[k].kind == kPanelBeatSteps) index += ITWBeatStepControl::kSteps;
    return g->GetControl(index);
  }
  // The module whose panel it is: the master instance of a master slot, else the first voice's.
  Module* module() { return v->slotConfig[slot].master ? v->masterModules[slot] : v->voices[0].modules[slot]; }
};
