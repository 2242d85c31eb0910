// Shared by the module panel tests: an open editor with module types in the slots shown at the first display
// positions (position 0's panel origin at (256, 24)) and every other slot empty; the engine's ticks and the
// editor's idle calls.
#pragma once

#include "BeatSteps.h"
#include "IParam.h"
#include "Module.h"
#include "ModulePanel.h"
#include "editor_rig.h"

#include <vector>

struct PanelRig : EditorRig
{
  static constexpr int kNumSlots = 18;
  static constexpr int kX = 256, kY = 24; // the panel origin of display position 0
  static constexpr int kTickFrames = 48;  // one control tick at 48 kHz

  explicit PanelRig(int id, bool master = false) : PanelRig(std::vector<int>{id}, master) {}
  // One module type per display position from 0 on, all in master or all in voice slots.
  PanelRig(const std::vector<int>& ids, bool master)
  {
    open();
    slot = v->slotAt(0);
    int idOf[kNumSlots] = {};
    for (int p = 0; p < (int)ids.size(); ++p) idOf[v->slotAt(p)] = ids[p];
    for (int s = 0; s < kNumSlots; ++s) v->replaceModule(s, idOf[s], idOf[s] && master, true);
    v->RedrawParamControls();
    g->Tick();
    first = v->firstModuleControl + (master ? 1 : 0); // a master slot's back image comes first
    layout = panelLayoutOf(ids[0]);
  }

  int slot = 0, first = 0;
  const PanelLayout* layout = nullptr;
  int base(int position = 0) const { return v->slotAt(position) * Module::kNumParams; }
  // Row 0: the first after the background. A beat-step column's 16 lamps are attached just before it.
  IControl* control(int row)
  {
    int index = first + 1 + row;
    for (int k = 0; layout && k <= row && k < layout->count; ++k)
      if (layout->controls[k].kind == kPanelBeatSteps) index += ITWBeatStepControl::kSteps;
    return g->GetControl(index);
  }
  // The module whose panel it is: the master instance of a master slot, else that voice's.
  Module* module(int voice = 0)
  {
    return v->slotConfig[slot].master ? v->masterModules[slot] : v->voices[voice].modules[slot];
  }
  // The first panel control bound to a slot parameter, in attach order.
  IControl* boundTo(int p, int position = 0)
  {
    for (int i = v->firstModuleControl; i < g->GetNControls(); ++i)
      if (g->GetControl(i)->ParamIdx() == base(position) + p) return g->GetControl(i);
    return nullptr;
  }
  // A slot parameter set to a plain value as the editor sets it.
  void set(int p, double plain, int position = 0)
  {
    const int idx = base(position) + p;
    v->SetParameterFromGUI(idx, v->GetParam(idx)->GetNormalized(plain));
  }
  std::vector<IControl*>& specials(int position = 0) { return v->slotConfig[v->slotAt(position)].specialControls; }
  bool lit(int lamp, int position = 0) { return !specials(position).at(lamp)->IsHidden(); }
  void clickCentre(const IRECT& r) { click((r.L + r.R) / 2, (r.T + r.B) / 2); }
  void drag(int x, int y, int dy, int steps = 1) // by dy pixels (up negative) in equal moves
  {
    g->MouseDown(x, y, IMouseMod(true));
    for (int k = 1; k <= steps; ++k) g->MouseMove(x, y + dy * k / steps, IMouseMod(true));
    g->MouseUp(x, y + dy, IMouseMod(true));
  }

  void midi(int status, int data1, int data2)
  {
    IMidiMsg m(0, (uint8_t)status, (uint8_t)data1, (uint8_t)data2);
    v->ProcessMidiMsg(&m);
  }
  // The engine at 48 kHz with one control tick per block.
  void atTickRate()
  {
    v->SetSampleRate(48000.0);
    v->SetBlockSize(kTickFrames);
    v->Reset();
  }
  void ticks(int n)
  {
    std::vector<double> l(kTickFrames), r(kTickFrames), in(kTickFrames, 0.0);
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {l.data(), r.data()};
    for (int k = 0; k < n; ++k) v->ProcessDoubleReplacing(ins, outs, kTickFrames);
  }
  // One idle call of the editor, then whether the lamp is lit.
  bool litAfterIdle(int lamp = 0)
  {
    v->OnIdle();
    return lit(lamp);
  }
};
