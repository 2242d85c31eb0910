// The tool panels' one live part: the two lamps of the modulation delay follow its comparators' gates as the
// engine publishes them, and only at the editor's idle call; a slot whose special-control list does not
// hold exactly the two lamps is left alone.
#include "IControl.h"
#include "IParam.h"
#include "ModDelay.h"
#include "Veltrane.h"
#include "editor_test_util.h"
#include "engine_harness.h"
#include "scripted_surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A hosted plug-in with its editor open and a master modulation delay in the slot shown first, whose
// comparator A reads the modulation wheel (-1..1) against 0.5 and comparator B the positive wheel (0..1)
// against 1.0. The wheel moves with controller 1.
struct LampRig
{
  LampRig() : h(44100, 64), v(*h.plug)
  {
    h.dispatch(effEditOpen);
    h.dispatch(effEditIdle);
    slot = v.slotAt(0);
    v.replaceModule(slot, ModuleConfig::MOD_MODDELAY, true, true);
    h.dispatch(effEditIdle); // rebuilds the panels
    const int base = slot * Module::kNumParams;
    set(base + 10, sourceIndex("MW"));
    set(base + 11, sourceIndex("MW+"));
    set(base + 12, 0.5);
    set(base + 13, 1.0);
  }
  int sourceIndex(const char* label)
  {
    for (int i = 0; i < v.masterSources.getSize(SourceDef::MODULATION); ++i)
      if (!std::strcmp(label, v.masterSources.getSource(i, SourceDef::MODULATION)->label)) return i;
    ADD_FAILURE() << label;
    return 0;
  }
  void set(int idx, double plain) { v.SetParameterFromGUI(idx, v.GetParam(idx)->GetNormalized(plain)); }
  // The wheel at a controller value, and a few ticks for the comparators to see it and publish their gates.
  void wheel(int cc)
  {
    h.midi(0, 0xB0, 1, cc);
    h.run(256);
  }
  std::vector<IControl*>& specials() { return v.slotConfig[slot].specialControls; }

  UseScriptedSurfaces surfaces;
  HostedVeltrane h;
  Veltrane& v;
  int slot = 0;
};

} // namespace

TEST(ModDelayPanel, LampsFollowTheComparatorsAtTheIdleCall)
{
  useBuiltResources();
  LampRig r;
  ASSERT_EQ(2u, r.specials().size());
  IControl* lampA = r.specials()[0];
  IControl* lampB = r.specials()[1];
  struct Step
  {
    int cc;
    bool litA, litB; // wheel 2 cc / 127 - 1 against 0.5; positive wheel cc / 127 against 1.0
  };
  const Step steps[] = {{127, true, true}, {100, true, false}, {0, false, false}, {96, true, false}, {127, true, true},
                        {95, false, false}};
  bool shownA = !lampA->IsHidden(), shownB = !lampB->IsHidden();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.cc);
    r.wheel(s.cc);
    EXPECT_EQ(shownA, !lampA->IsHidden()) << "before the idle call";
    EXPECT_EQ(shownB, !lampB->IsHidden()) << "before the idle call";
    r.h.dispatch(effEditIdle);
    EXPECT_EQ(s.litA, !lampA->IsHidden());
    EXPECT_EQ(s.litB, !lampB->IsHidden());
    shownA = s.litA;
    shownB = s.litB;
  }
}

TEST(ModDelayPanel, AnotherNumberOfSpecialControlsLeavesTheLampsAlone)
{
  useBuiltResources();
  LampRig r;
  ASSERT_EQ(2u, r.specials().size());
  IControl* lampA = r.specials()[0];
  IControl* lampB = r.specials()[1];
  r.wheel(127);
  r.h.dispatch(effEditIdle);
  ASSERT_FALSE(lampA->IsHidden());
  ASSERT_FALSE(lampB->IsHidden());

  r.wheel(0); // both comparators go low
  r.specials().pop_back();
  r.h.dispatch(effEditIdle);
  EXPECT_FALSE(lampA->IsHidden()) << "one control";
  r.specials().push_back(lampB);
  r.specials().push_back(lampB);
  r.h.dispatch(effEditIdle);
  EXPECT_FALSE(lampA->IsHidden()) << "three controls";
  EXPECT_FALSE(lampB->IsHidden()) << "three controls";
  r.specials().pop_back();
  r.h.dispatch(effEditIdle);
  EXPECT_TRUE(lampA->IsHidden());
  EXPECT_TRUE(lampB->IsHidden());
}
