// The BBD delay's panel refresh, driven through the headless surface and the editor's idle call: the time
// knob shows the delay in milliseconds of its range, a click on the hold switch toggles the hold of the
// module the panel follows, a trigger's toggle shows on the switch, and nothing happens while the slot's
// special-control list holds another number of controls.
#include "BbdDelay.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "panel_rig.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The delay in the slot shown at display position 0, every other slot empty.
struct BbdPanel : PanelRig
{
  explicit BbdPanel(bool master) : PanelRig(ModuleConfig::MOD_BBDDELAY, master) {}
  BbdDelay* module(int voice = 0) { return dynamic_cast<BbdDelay*>(PanelRig::module(voice)); }
  ITWKnobMultiControlText* timeKnob() { return dynamic_cast<ITWKnobMultiControlText*>(specials().at(0)); }
  ITWSwitchControl* holdSwitch() { return dynamic_cast<ITWSwitchControl*>(specials().at(1)); }
  std::string knobText()
  {
    char text[64];
    timeKnob()->getText(text, sizeof text);
    return text;
  }
  void clickHold() { clickCentre(*holdSwitch()->GetRECT()); }
};

} // namespace

TEST(BbdDelayPanel, TheTimeKnobShowsTheDelayOfItsRangeInMilliseconds)
{
  BbdPanel p(true);
  ASSERT_TRUE(p.module());
  ASSERT_EQ(2u, p.specials().size());
  ASSERT_TRUE(p.timeKnob() && p.holdSwitch());
  EXPECT_EQ(p.base() + 4, p.timeKnob()->ParamIdx());
  EXPECT_STREQ("281", p.timeKnob()->getOverrideText()) << "the delay from the panel's first frame on";

  // Ranges "1 - 8", "4 - 31", "16 - 125", "63 - 500": 500 ms / 64, 16, 4, 1 at the top, an eighth of it at 0.
  const struct
  {
    int range;
    double time;
    const char* shown;
  } cases[] = {{3, 0.5, "281"}, {3, 0.0, "62"}, {3, 1.0, "500"}, {0, 1.0, "8"}, {0, 0.0, "1"},
               {1, 0.25, "11"}, {1, 1.0, "31"}, {2, 0.75, "98"}, {2, 0.0, "16"}};
  bool rangeFirst = true; // either parameter may change last
  for (const auto& c : cases) {
    p.set(rangeFirst ? 5 : 4, rangeFirst ? c.range : c.time);
    p.set(rangeFirst ? 4 : 5, rangeFirst ? c.time : c.range);
    rangeFirst = !rangeFirst;
    p.v->OnIdle();
    EXPECT_EQ(c.shown, p.knobText()) << "range " << c.range << " time " << c.time;
  }

  // The time modulation moves the clock, not the number shown.
  double mod = 1.0;
  p.module()->modSource = &mod;
  p.module()->modAmount = 0.5;
  p.module()->update(true);
  p.v->OnIdle();
  EXPECT_EQ("16", p.knobText());
}

TEST(BbdDelayPanel, AClickOnTheHoldSwitchTogglesTheFirstVoicesHoldOnce)
{
  BbdPanel p(false);
  ASSERT_TRUE(p.module(0) && p.module(1));
  ASSERT_EQ(2u, p.specials().size());
  EXPECT_EQ(0.0, p.holdSwitch()->GetValue());
  for (bool expected : {true, false}) {
    p.clickHold();
    EXPECT_EQ(!expected, p.module()->hold.load()) << "the hold changes at the next idle call";
    for (int idle = 0; idle < 3; ++idle) {
      p.v->OnIdle();
      EXPECT_EQ(expected, p.module(0)->hold.load()) << "idle " << idle;
      EXPECT_EQ(expected ? 1.0 : 0.0, p.holdSwitch()->GetValue()) << "idle " << idle;
    }
    EXPECT_FALSE(p.module(1)->hold.load()) << "the other voices keep their hold";
  }
}

TEST(BbdDelayPanel, TheSwitchShowsTheHoldATriggerToggled)
{
  BbdPanel p(true);
  BbdDelay* d = p.module();
  ASSERT_TRUE(d);
  double gate = 0.0;
  d->triggerSource = &gate;
  d->update(true);
  bool expected = false;
  for (double level : {1.0, 1.0, 0.0, 0.5, 0.5, 2.0}) { // rises at 1.0, 0.5 and 2.0
    const bool rises = level > gate;
    gate = level;
    d->update(true);
    if (rises) expected = !expected;
    p.v->OnIdle();
    EXPECT_EQ(expected, d->hold.load()) << "gate " << level;
    EXPECT_EQ(expected ? 1.0 : 0.0, p.holdSwitch()->GetValue()) << "gate " << level;
  }
  // A trigger and a click within one idle period both count: the hold ends where it began.
  p.clickHold();
  gate = 3.0;
  d->update(true);
  p.v->OnIdle();
  EXPECT_EQ(expected, d->hold.load());
}

TEST(BbdDelayPanel, NothingHappensWithAnotherNumberOfSpecialControls)
{
  BbdPanel p(true);
  BbdDelay* d = p.module();
  ASSERT_TRUE(d);
  ASSERT_EQ(2u, p.specials().size());
  ITWKnobMultiControlText* knob = p.timeKnob();
  ITWSwitchControl* hold = p.holdSwitch();
  p.set(5, 3);
  p.set(4, 0.5);
  knob->setOverrideText(""); // what the panel's build showed, taken away: only an update writes it again
  for (int extra : {1, -1, -2}) {
    SCOPED_TRACE(extra);
    std::vector<IControl*> list = {knob, hold};
    if (extra > 0) list.push_back(knob);
    list.resize(2 + extra);
    p.specials() = list;
    hold->clicked = true;
    d->update(true);
    d->updateGraphics();
    EXPECT_STREQ("", knob->getOverrideText());
    EXPECT_FALSE(d->hold.load());
    EXPECT_TRUE(hold->clicked) << "the click waits";
  }
  p.specials() = {knob, hold};
  d->updateGraphics();
  EXPECT_STREQ("281", knob->getOverrideText());
  EXPECT_TRUE(d->hold.load());
}
