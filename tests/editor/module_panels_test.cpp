// Every module type's panel in a slot: the controls the editor builds against the panel's table (kinds,
// rectangles, parameters, special controls, source lists of voice and master slots), each control bound to
// a parameter of the matching kind, knobs that move their parameter when dragged, and a contact sheet of all
// panels in build/test-output/module_panels.png.
#include "BeatSteps.h"
#include "BitmapStore.h"
#include "IParam.h"
#include "ModuleCatalogue.h"
#include "ModulePanel.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "editor_rig.h"
#include "veltrane_controls.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kPanelW = 128, kPanelH = 300;

// A rig with one module type in the slot shown at display position 0 and every other slot empty.
struct PanelRig : EditorRig
{
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
  static constexpr int kNumSlots = 18;
  int slot = 0, first = 0;
  const PanelLayout* layout = nullptr;
  int base() const { return slot * 16; }
  // Row 0: the first after the background. A beat-step column's 16 lamps are attached just before it.
  IControl* control(int row)
  {
    int index = first + 1 + row;
    for (int k = 0; layout && k <= row && k < layout->count; ++k)
      if (layout->controls[k].kind == kPanelBeatSteps) index += ITWBeatStepControl::kSteps;
    return g->GetControl(index);
  }
};

PanelRect rectOf(const IRECT& r, int x, int y)
{
  return {r.L - x, r.T - y, r.R - x, r.B - y};
}

std::string name(int id)
{
  return ModuleConfig::labelModuleName[id];
}

// The source type of a selector parameter (0..15) of a module type, OFF when it is not a selector.
int selectorType(int id, int param)
{
  const ModuleCatalogue::ModuleDecl& d = ModuleCatalogue::declarations[id];
  const std::pair<const ModuleCatalogue::InputList*, int> lists[] = {
      {&d.audioIn, SourceDef::AUDIO},      {&d.modIn, SourceDef::MODULATION}, {&d.gateIn, SourceDef::GATE},
      {&d.audioOrModIn, SourceDef::AUDIO_OR_MOD}, {&d.syncIn, SourceDef::SYNC}};
  for (const auto& l : lists)
    for (int i = 0; i < l.first->count; ++i)
      if (l.first->params[i] == param) return l.second;
  return SourceDef::OFF;
}

} // namespace

// The controls stand where their table puts them, bound to the slot's parameters, with the special controls
// in the slot's list in table order; the artwork's captions are laid out from the same rectangles.
TEST(ModulePanels, ControlsFollowTheirTables)
{
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    const PanelLayout* layout = panelLayoutOf(id);
    if (!layout) continue; // not built yet
    SCOPED_TRACE(name(id));
    PanelRig r(id);
    const int x = 256, y = 24; // display position 0
    IBitmapControl* back = dynamic_cast<IBitmapControl*>(r.g->GetControl(r.first));
    ASSERT_TRUE(back);
    EXPECT_EQ(IRECT(x, y, x + kPanelW, y + kPanelH), *back->GetRECT());
    std::vector<IControl*> specials;
    for (int k = 0; k < layout->count; ++k) {
      const PanelControl& row = layout->controls[k];
      SCOPED_TRACE("row " + std::to_string(k + 1));
      IControl* c = r.control(k);
      ASSERT_TRUE(c);
      const int image = panelImage(row);
      IBitmap* bm = BitmapStore::getBitmap(image);
      const PanelRect want = panelControlRect(row, image ? bm->W : 0, image ? bm->frameHeight() : 0);
      const PanelRect got = rectOf(*c->GetRECT(), x, y);
      EXPECT_TRUE(want.l == got.l && want.t == got.t && want.r == got.r && want.b == got.b)
          << got.l << "," << got.t << " " << got.r << "," << got.b;
      EXPECT_EQ(row.param >= 0 ? r.base() + row.param : -1, c->ParamIdx());
      EXPECT_EQ((row.flags & kPanelHidden) != 0, c->IsHidden());
      if (row.flags & kPanelSpecial) specials.push_back(c);
      if (row.kind == kPanelSources) {
        auto* menu = dynamic_cast<ITWSourcesMenuControl*>(c);
        ASSERT_TRUE(menu);
        EXPECT_EQ(row.option, (int)menu->type);
        EXPECT_FALSE(menu->master);
      }
    }
    EXPECT_EQ(specials, r.v->slotConfig[r.slot].specialControls);
  }
}

// Each control edits a parameter of its own kind: source menus the selectors of their input type (every
// input of the module has its menu), pop-ups the lists, knobs and switches the values; none twice.
TEST(ModulePanels, EveryControlEditsAParameterOfItsKind)
{
  EditorRig rig;
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    const PanelLayout* layout = panelLayoutOf(id);
    if (!layout) continue;
    SCOPED_TRACE(name(id));
    ModuleCatalogue::classes[id].initParams(0, rig.v.get());
    std::set<int> bound, menus;
    for (const PanelControl& row : *layout) {
      if (row.param < 0) continue;
      SCOPED_TRACE("parameter +" + std::to_string(row.param));
      EXPECT_TRUE(bound.insert(row.param).second) << "bound twice";
      IParam* p = rig.v->GetParam(row.param);
      const int selector = selectorType(id, row.param);
      switch (row.kind) {
      case kPanelSources:
        // A linear FM input resolves audio or modulation but offers audio: audio comes first in every list.
        EXPECT_TRUE(selector == row.option || (selector == SourceDef::AUDIO_OR_MOD && row.option == SourceDef::AUDIO))
            << "menu of type " << (int)row.option << " on a selector of type " << selector;
        menus.insert(row.param);
        break;
      case kPanelPopUp:
      case kPanelLoader:
        EXPECT_EQ(SourceDef::OFF, selector);
        EXPECT_EQ(IParam::kTypeEnum, p->Type());
        break;
      default: EXPECT_EQ(SourceDef::OFF, selector);
      }
    }
    for (int param = 0; param < 16; ++param)
      if (selectorType(id, param) != SourceDef::OFF) EXPECT_TRUE(menus.count(param)) << "input +" << param << " has no menu";
  }
}

// A master slot's menus offer the master list; dragging each knob up moves its parameter.
TEST(ModulePanels, MasterMenusAndKnobDrags)
{
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    const PanelLayout* layout = panelLayoutOf(id);
    if (!layout) continue;
    SCOPED_TRACE(name(id));
    PanelRig r(id, true);
    for (int k = 0; k < layout->count; ++k) {
      const PanelControl& row = layout->controls[k];
      IControl* c = r.control(k);
      if (auto* menu = dynamic_cast<ITWSourcesMenuControl*>(c)) EXPECT_TRUE(menu->master);
      if (row.kind != kPanelKnob && row.kind != kPanelKnobSmall) continue;
      if (c->IsHidden()) continue;
      IParam* p = r.v->GetParam(c->ParamIdx());
      p->SetNormalized(0.25);
      c->SetValueFromPlug(0.25);
      const IRECT* rc = c->GetRECT();
      const int mx = (rc->L + rc->R) / 2, my = rc->T + 14;
      r.g->MouseDown(mx, my, IMouseMod(true));
      r.g->MouseMove(mx, my - 40, IMouseMod(true));
      r.g->MouseUp(mx, my - 40, IMouseMod(true));
      EXPECT_GT(p->GetNormalized(), 0.25) << "knob of +" << row.param;
    }
  }
}

// All panels side by side in voice slots: build/test-output/module_panels.png (look at it).
TEST(ModulePanels, ContactSheet)
{
  constexpr int kColumns = 11;
  std::unique_ptr<LICE_MemBitmap> sheet(new LICE_MemBitmap(kColumns * kPanelW, 4 * kPanelH));
  LICE_Clear(sheet.get(), LICE_RGBA(0, 0, 0, 255));
  int built = 0;
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    if (!panelLayoutOf(id)) continue;
    PanelRig r(id);
    LICE_IBitmap* shot = r.g->GetDrawBitmap();
    ASSERT_TRUE(shot);
    const int cell = id - 1;
    LICE_Blit(sheet.get(), shot, (cell % kColumns) * kPanelW, (cell / kColumns) * kPanelH, 256, 24, kPanelW, kPanelH,
              1.0f, LICE_BLIT_MODE_COPY);
    ++built;
  }
  mkdir(VELTRANE_TEST_OUTPUT, 0755);
  EXPECT_TRUE(LICE_WritePNG((std::string(VELTRANE_TEST_OUTPUT) + "/module_panels.png").c_str(), sheet.get(), false));
  EXPECT_GT(built, 0);
}
