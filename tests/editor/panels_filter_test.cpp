// The filter panels as families: a stereo filter shows its mono twin's controls at the same places on its own
// background, the K35 the ladder's, and a slot switched between ladder, K35 and comb through the module menu
// gets the new type's panel on the values it kept, its controls driving the new module.
#include "Comb.h"
#include "K35.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "panel_rig.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

namespace {

struct FilterRig : PanelRig
{
  using PanelRig::PanelRig;
  IControl* at(int i) const { return i < g->GetNControls() ? g->GetControl(i) : nullptr; }
  const IBitmap& background() const { return static_cast<IBitmapControl*>(at(v->firstModuleControl))->GetBitmap(); }
  // The panel's controls after its background: kind, rectangle, slot parameter and source type of each.
  std::vector<std::string> controls() const
  {
    std::vector<std::string> out;
    for (int i = v->firstModuleControl + 1; IControl* c = at(i); ++i) {
      const IRECT r = *c->GetRECT();
      if (r.L < kX || r.R > kX + 128 || r.T < kY || r.B > kY + 300) continue;
      auto* menu = dynamic_cast<ITWSourcesMenuControl*>(c);
      out.push_back(std::string(typeid(*c).name()) + " " + std::to_string(r.L) + "," + std::to_string(r.T) + "," +
                    std::to_string(r.R) + "," + std::to_string(r.B) + " +" + std::to_string(c->ParamIdx() - base()) +
                    (menu ? " type " + std::to_string((int)menu->type) : ""));
    }
    return out;
  }
  double value(int p) const { return v->GetParam(base() + p)->Value(); }
  void dragKnob(int p, int dy) // a knob by dy pixels, up negative
  {
    const IRECT r = *boundTo(p)->GetRECT();
    drag((r.L + r.R) / 2, r.T + 14, dy);
  }
  void chooseFilter(int item) // from the "Filters" submenu of position 0's module menu
  {
    g->answers.push_back({2, item});
    click(kX + 70, 12);
    v->OnIdle();
  }
  std::vector<std::string> typeList() // the entries the type pop-up offers
  {
    click(kX + 10, kY + 95);
    return g->shown;
  }
};

} // namespace

TEST(FilterPanels, StereoTwinsShowTheMonoControlsOnTheirOwnBackground)
{
  const int twins[][2] = {{ModuleConfig::MOD_LADDER, ModuleConfig::MOD_STEREOLADDER},
                          {ModuleConfig::MOD_K35, ModuleConfig::MOD_STEREOK35},
                          {ModuleConfig::MOD_COMB, ModuleConfig::MOD_STEREOCOMB},
                          {ModuleConfig::MOD_RESONATORS, ModuleConfig::MOD_STEREORESONATORS},
                          {ModuleConfig::MOD_LADDER, ModuleConfig::MOD_K35}};
  for (const auto& t : twins) {
    SCOPED_TRACE(ModuleConfig::labelModuleName[t[1]]);
    FilterRig a(t[0]), b(t[1]);
    EXPECT_GE(a.controls().size(), 12u);
    EXPECT_EQ(a.controls(), b.controls());
    // A stereo twin has a background of its own; the K35 draws on the ladder's.
    EXPECT_EQ(t[1] == ModuleConfig::MOD_K35, a.background().mData == b.background().mData);
  }
}

TEST(FilterPanels, SwitchingCompatibleFiltersRebindsTheNewPanelToTheSameParameters)
{
  FilterRig r(ModuleConfig::MOD_EMPTY);
  r.chooseFilter(0);
  ASSERT_EQ(ModuleConfig::MOD_LADDER, r.v->slotConfig[r.slot].moduleID);
  EXPECT_EQ(15u, r.typeList().size());
  // Through the ladder's panel: "LP 12", the cutoff down from the top, resonance, input B, key tracking up.
  r.g->answers.push_back({3});
  r.typeList();
  EXPECT_EQ(3.0, r.value(0));
  for (int p : {1, 2, 5, 12}) {
    const double before = r.value(p);
    r.dragKnob(p, p == 1 ? 40 : -30);
    EXPECT_NE(before, r.value(p)) << "+" << p;
  }
  double kept[16];
  for (int p = 0; p < 16; ++p) kept[p] = r.value(p);

  // The K35's panel: its own type list (the type held to its last entry), the kept values on its knobs, and
  // its cutoff knob moves the K35's cutoff.
  r.chooseFilter(1);
  ASSERT_EQ(ModuleConfig::MOD_K35, r.v->slotConfig[r.slot].moduleID);
  EXPECT_EQ((std::vector<std::string>{"Bypass", "Lowpass", "Highpass*"}), r.typeList());
  for (int p = 1; p < 15; ++p) {
    EXPECT_EQ(kept[p], r.value(p)) << "+" << p;
    if (auto* knob = dynamic_cast<ITWKnobMultiControlText*>(r.boundTo(p))) {
      EXPECT_DOUBLE_EQ(r.v->GetParam(r.base() + p)->GetNormalized(), knob->GetValue()) << "+" << p;
    }
  }
  auto* k35 = dynamic_cast<K35*>(r.v->voices[0].modules[r.slot]);
  ASSERT_TRUE(k35);
  const int pitch = k35->cutoffPitch;
  r.dragKnob(1, -20);
  EXPECT_GT(k35->cutoffPitch, pitch);
  kept[1] = r.value(1);

  // The comb's panel: the same values, its feedback knob on the resonance's parameter.
  r.chooseFilter(2);
  auto* comb = dynamic_cast<Comb*>(r.v->voices[0].modules[r.slot]);
  ASSERT_TRUE(comb);
  for (int p = 1; p < 15; ++p) EXPECT_EQ(kept[p], r.value(p)) << "+" << p;
  const double feedback = comb->feedback;
  r.dragKnob(2, -30);
  EXPECT_GT(comb->feedback, feedback);
}
