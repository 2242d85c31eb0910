// The tool panels' one live part: the two lamps of the modulation delay follow its comparators' gates as the
// engine publishes them, and only at the editor's idle call; a slot whose special-control list does not
// hold exactly the two lamps is left alone.
#include "IControl.h"
#include "ModDelay.h"
#include "Veltrane.h"
#include "panel_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The editor open on a master modulation delay in the slot shown first, whose comparator A reads the
// modulation wheel (-1..1) against 0.5 and comparator B the positive wheel (0..1) against 1.0. The wheel moves
// with controller 1.
struct LampRig : PanelRig
{
  LampRig() : PanelRig(ModuleConfig::MOD_MODDELAY, true)
  {
    atTickRate();
    set(10, sourceIndex("MW"));
    set(11, sourceIndex("MW+"));
    set(12, 0.5);
    set(13, 1.0);
  }
  int sourceIndex(const char* label)
  {
    for (int i = 0; i < v->masterSources.getSize(SourceDef::MODULATION); ++i)
      if (!std::strcmp(label, v->masterSources.getSource(i, SourceDef::MODULATION)->label)) return i;
    ADD_FAILURE() << label;
    return 0;
  }
  // The wheel at a controller value, and a few ticks for the comparators to see it and publish their gates.
  void wheel(int cc)
  {
    midi(0xB0, 1, cc);
    ticks(6);
  }
};

} // namespace

TEST(ModDelayPanel, LampsFollowTheComparatorsAtTheIdleCall)
{
  LampRig r;
  ASSERT_EQ(2u, r.specials().size());
  struct Step
  {
    int cc;
    bool lit[2]; // A: wheel 2 cc / 127 - 1 against 0.5; B: positive wheel cc / 127 against 1.0
  };
  const Step steps[] = {{127, {true, true}},   {100, {true, false}}, {0, {false, false}},
                        {96, {true, false}},   {127, {true, true}},  {95, {false, false}}};
  bool shown[2] = {r.lit(0), r.lit(1)};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.cc);
    r.wheel(s.cc);
    for (int k : {0, 1}) {
      EXPECT_EQ(shown[k], r.lit(k)) << "lamp " << k << " before the idle call";
      shown[k] = s.lit[k];
    }
    r.v->OnIdle();
    for (int k : {0, 1}) EXPECT_EQ(s.lit[k], r.lit(k)) << "lamp " << k;
  }
}

TEST(ModDelayPanel, AnotherNumberOfSpecialControlsLeavesTheLampsAlone)
{
  LampRig r;
  ASSERT_EQ(2u, r.specials().size());
  IControl* lampA = r.specials()[0];
  IControl* lampB = r.specials()[1];
  r.wheel(127);
  r.v->OnIdle();
  ASSERT_FALSE(lampA->IsHidden());
  ASSERT_FALSE(lampB->IsHidden());

  r.wheel(0); // both comparators go low
  r.specials().pop_back();
  r.v->OnIdle();
  EXPECT_FALSE(lampA->IsHidden()) << "one control";
  r.specials().push_back(lampB);
  r.specials().push_back(lampB);
  r.v->OnIdle();
  EXPECT_FALSE(lampA->IsHidden()) << "three controls";
  EXPECT_FALSE(lampB->IsHidden()) << "three controls";
  r.specials().pop_back();
  r.v->OnIdle();
  EXPECT_TRUE(lampA->IsHidden());
  EXPECT_TRUE(lampB->IsHidden());
}
