// Every module type's panel in a slot: the controls the editor builds against the panel's table (kinds,
// rectangles, parameters, special controls, source lists of voice and master slots), each control bound to
// a parameter of the matching kind, and knobs that move their parameter when dragged.
#include "BitmapStore.h"
#include "IParam.h"
#include "ModuleCatalogue.h"
#include "ModulePanel.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "panel_rig.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

constexpr int kPanelW = 128, kPanelH = 300;
const IMouseMod kLeftButton(true);

PanelRect rectOf(const IRECT& r, int x, int y)
{
  return {r.L - x, r.T - y, r.R - x, r.B - y};
}

// Runs a check on every module type that has a panel, named in the failures.
template <class Check> void forEachPanel(Check check)
{
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id)
    if (const PanelLayout* layout = panelLayoutOf(id)) {
      SCOPED_TRACE(ModuleConfig::labelModuleName[id]);
      check(id, *layout);
    }
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
  forEachPanel([](int id, const PanelLayout& layout) {
    PanelRig r(id);
    const int x = PanelRig::kX, y = PanelRig::kY;
    IBitmapControl* back = dynamic_cast<IBitmapControl*>(r.g->GetControl(r.first));
    ASSERT_TRUE(back);
    EXPECT_EQ(IRECT(x, y, x + kPanelW, y + kPanelH), *back->GetRECT());
    std::vector<IControl*> specials;
    for (int k = 0; k < layout.count; ++k) {
      const PanelControl& row = layout.controls[k];
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
      if (row.flags & kPanelSpecial)
        specials.push_back(c); // shown as the module's state has it, below
      else
        EXPECT_EQ((row.flags & kPanelHidden) != 0, c->IsHidden());
      if (row.kind == kPanelSources) {
        auto* menu = dynamic_cast<ITWSourcesMenuControl*>(c);
        ASSERT_TRUE(menu);
        EXPECT_EQ(row.option, (int)menu->type);
        EXPECT_FALSE(menu->master);
      }
    }
    EXPECT_EQ(specials, r.specials());
    // The panel's first frame shows the module's state: an update hides or shows none of its specials.
    std::vector<bool> hidden;
    for (IControl* c : specials) hidden.push_back(c->IsHidden());
    if (Module* m = r.module()) m->updateGraphics();
    for (size_t k = 0; k < specials.size(); ++k) EXPECT_EQ(hidden[k], specials[k]->IsHidden()) << "special " << k;
  });
}

// Each control edits a parameter of its own kind: source menus the selectors of their input type (every
// input of the module has its menu), pop-ups the lists, knobs and switches the values; none twice.
TEST(ModulePanels, EveryControlEditsAParameterOfItsKind)
{
  EditorRig rig;
  forEachPanel([&](int id, const PanelLayout& layout) {
    ModuleCatalogue::classes[id].initParams(0, rig.v.get());
    std::set<int> bound, menus;
    for (const PanelControl& row : layout) {
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
      if (selectorType(id, param) != SourceDef::OFF) {
        EXPECT_TRUE(menus.count(param)) << "input +" << param << " has no menu";
      }
  });
}

// The path to the first entry a user can choose that is not the current one ({} for none), read off the
// dump of the menu being shown.
std::vector<int> pathToAnotherEntry(const std::vector<std::string>& lines)
{
  std::vector<int> at;
  for (const std::string& line : lines) {
    const size_t depth = line.find_first_not_of(' ') / 2;
    at.resize(depth + 1, -1);
    ++at[depth];
    const std::string text = line.substr(2 * depth);
    const char last = text.empty() ? 0 : text.back();
    if (text == "-" || last == '>' || last == '*' || last == '!') continue;
    return at;
  }
  return {};
}

// In a master slot: the menus offer the master list; choosing another entry of any menu through the surface
// changes its parameter. Dragging any knob up 40 pixels in four moves raises its value by 40 pixels' worth
// (the control's height at gearing 4 being the whole range), and a double click brings back the default
// (shaped parameters, whose value is the setting to the shape's power, with the rest).
TEST(ModulePanels, ControlsEditTheirParametersInAMasterSlot)
{
  int shapedWithDefault = 0;
  forEachPanel([&](int id, const PanelLayout& layout) {
    PanelRig r(id, true);
    r.g->whileOpen = [&] { r.g->answers.push_back(pathToAnotherEntry(r.g->shown)); };
    for (int k = 0; k < layout.count; ++k) {
      const PanelControl& row = layout.controls[k];
      IControl* c = r.control(k);
      if (c->IsHidden() || row.param < 0) continue;
      SCOPED_TRACE("parameter +" + std::to_string(row.param));
      IParam* p = r.v->GetParam(c->ParamIdx());
      const IRECT* rc = c->GetRECT();
      const int mx = (rc->L + rc->R) / 2, my = rc->T + 5;
      if (row.kind == kPanelSources || row.kind == kPanelPopUp) {
        if (row.kind == kPanelSources) {
          EXPECT_TRUE(static_cast<ITWSourcesMenuControl*>(c)->master);
        }
        const double before = p->Value();
        r.click(mx, my);
        r.v->OnIdle();
        EXPECT_NE(before, p->Value()) << "menu of +" << row.param;
      }
      if (row.kind != kPanelKnob && row.kind != kPanelKnobSmall) continue;
      p->SetNormalized(0.25);
      c->SetValueFromPlug(0.25);
      r.drag(mx, my + 9, -40, 4);
      EXPECT_NEAR(0.25 + 40.0 / (4 * (rc->B - rc->T)), c->GetValue(), 1e-9) << "knob of +" << row.param;
      EXPECT_GT(p->GetNormalized(), 0.25) << "knob of +" << row.param;
      r.g->MouseDown(mx, my, kLeftButton, true);
      r.g->MouseUp(mx, my, kLeftButton);
      EXPECT_NEAR(p->GetDefault(), p->Value(), 1e-9 * (p->GetMax() - p->GetMin())) << "knob of +" << row.param;
      shapedWithDefault += p->GetShape() != 1.0 && p->GetDefault() != p->GetMin();
    }
  });
  EXPECT_GE(shapedWithDefault, 10);
}
