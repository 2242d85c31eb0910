// The sequencers' panels at work: their step lamps follow the module through the plug-in's own ticks and
// the editor's idle calls (exactly the current step's lamp lit, the switch's rate lamp in the first half of
// each internal period), and a click on a beat-step lamp of the built panel toggles one bit of one line.
#include "BeatSeq.h"
#include "SeqSwitch.h"
#include "Sequencer.h"
#include "ValueControls.h"
#include "panel_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// Master modules in the slots shown at the first display positions, every other slot empty, the panels
// built, and the plug-in ready to process one tick per block.
struct SequencerPanels : PanelRig
{
  explicit SequencerPanels(const std::vector<int>& ids) : PanelRig(ids, true) { atTickRate(); }
  Module* module(int position) { return v->masterModules[v->slotAt(position)]; }
  // One control tick of the plug-in, then the editor's idle call.
  void tickAndIdle()
  {
    ticks(1);
    v->OnIdle();
  }
  template <class C> C* controlOf(int position, int p) { return dynamic_cast<C*>(boundTo(p, position)); }
  // The lamps that are shown, by their place in the list.
  std::vector<int> litSteps(int position, int count)
  {
    std::vector<int> on;
    for (int k = 0; k < count; ++k)
      if (lit(k, position)) on.push_back(k);
    return on;
  }
};

// A switch running on its internal clock at 100 Hz (10 ticks a step) clocks a 4-step looping sequencer
// through its "Clock" gate; after every tick and idle call each panel lights its module's current step.
TEST(SequencerPanels, StepLampsFollowTheCurrentStepsAndTheRateLampBlinks)
{
  SequencerPanels e({ModuleConfig::MOD_SEQUENCER, ModuleConfig::MOD_SEQSWITCH});
  ASSERT_EQ(8u, e.specials(0).size());
  ASSERT_EQ(9u, e.specials(1).size());
  e.set(0, 100.0, 1); // rate, Hz
  e.set(2, 0.0, 1);   // a step every clock
  e.set(4, 1.0, 1);   // loop
  e.set(6, 7.0, 1);   // 8 steps
  SelectSource(*e.v, e.base(), true, SourceDef::GATE, e.v->slotAt(1), SeqSwitch::kClock);
  e.set(2, 1.0); // loop
  e.set(4, 3.0); // 4 steps
  auto* seq = static_cast<Sequencer*>(e.module(0));
  auto* sw = static_cast<SeqSwitch*>(e.module(1));
  ASSERT_EQ(10, sw->period);

  std::vector<int> seqSeen(8, 0), switchSeen(8, 0);
  int rateLit = 0;
  constexpr int kTicks = 400;
  for (int t = 0; t < kTicks; ++t) {
    e.tickAndIdle();
    SCOPED_TRACE(::testing::Message() << "tick " << t);
    ASSERT_EQ(std::vector<int>{seq->currentStep}, e.litSteps(0, 8));
    ASSERT_EQ(std::vector<int>{sw->currentStep}, e.litSteps(1, 8));
    const bool rateOn = e.lit(8, 1);
    EXPECT_EQ(sw->counter >= sw->period / 2, rateOn) << "countdown " << sw->counter;
    ++seqSeen[seq->currentStep];
    ++switchSeen[sw->currentStep];
    if (t >= 20) rateLit += rateOn; // whole periods after the first rate change settled
  }
  // Every step of each had its turn, the sequencer's four each a quarter of the time; none past its count.
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(kTicks / 4, seqSeen[k], 10) << "sequencer step " << k;
  for (int k = 4; k < 8; ++k) EXPECT_EQ(0, seqSeen[k]) << "sequencer step " << k;
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(kTicks / 8, switchSeen[k], 10) << "switch step " << k;
  // Lit half of each 10-tick period; each loop's restart of the internal clock lengthens one period by a
  // lit tick.
  EXPECT_NEAR((kTicks - 20) / 2, rateLit, 6);

  // The step knobs' wheel moves by their parameter's own step.
  for (int p = 5; p <= 12; ++p) {
    auto* knob = e.controlOf<ITWKnobMultiControlText>(0, p);
    ASSERT_TRUE(knob) << p;
    EXPECT_DOUBLE_EQ(e.v->GetParam(knob->ParamIdx())->GetStep(), knob->getWheelStep()) << p;
  }
}

// Clocked by a gate, the switch moves its step lamp at each rising gate, and its rate lamp keeps reading
// the internal countdown and period as the module leaves them.
TEST(SequencerPanels, GateClockedSwitchLampsAndAStaleListDoesNothing)
{
  SequencerPanels e({ModuleConfig::MOD_SEQSWITCH});
  auto* sw = static_cast<SeqSwitch*>(e.module(0));
  e.set(2, 0.0); // a step every clock
  e.set(4, 0.0); // no loop: it stops on the last step
  e.set(6, 2.0); // 3 steps
  double gate = 0.0;
  sw->clockSource = &gate;
  const int rises[] = {5, 30, 60, 90, 120};
  int expected = 0;
  for (int t = 0; t < 500; ++t) {
    gate = std::find(std::begin(rises), std::end(rises), t) != std::end(rises) ? 1.0 : 0.0;
    e.tickAndIdle();
    if (gate > 0.0) expected = std::min(expected + 1, 2);
    SCOPED_TRACE(::testing::Message() << "tick " << t);
    ASSERT_EQ(std::vector<int>{expected}, e.litSteps(0, 8));
    EXPECT_EQ(sw->counter >= sw->period / 2, e.lit(8)) << sw->counter << "/" << sw->period;
  }
  // A list that does not hold the panel's nine lamps (a rebuild pending) is left alone.
  std::vector<IControl*>& list = e.specials();
  IControl* first = list[0];
  list.pop_back();
  first->Hide(true);
  e.v->OnIdle();
  EXPECT_TRUE(first->IsHidden());
}

// A click on a lamp of the built beat sequencer toggles that step's bit of that line's mask, and the
// module's lamps column lights the step the module published.
TEST(SequencerPanels, BeatStepClicksToggleTheirLinesBit)
{
  SequencerPanels e({ModuleConfig::MOD_BEATSEQ});
  auto* seq = static_cast<BeatSeq*>(e.module(0));
  const int base = e.base();
  int masks[4] = {};
  auto press = [&](int line, int step) {
    auto* column = e.controlOf<ITWBeatStepControl>(0, 5 + line);
    ASSERT_TRUE(column);
    e.click(column->GetRECT()->L + 12, column->GetRECT()->T + ITWBeatStepControl::kPitch * step + 6);
    masks[line] ^= 1 << step;
    for (int l = 0; l < 4; ++l) {
      SCOPED_TRACE(::testing::Message() << "press " << line << "/" << step << ", line " << l);
      EXPECT_EQ(masks[l], (int)e.v->GetParam(base + 5 + l)->Value());
      for (int k = 0; k < 16; ++k) EXPECT_EQ((masks[l] >> k) & 1, (int)seq->lines[l][k]) << "step " << k;
    }
  };
  press(0, 0);
  press(2, 5);
  press(3, 15);
  press(1, 9);
  press(2, 5); // off again
  // Stepped by a gate into its 16th step, the bottom lamp alone is lit.
  e.set(1, 0.0);  // a step every clock
  e.set(3, 1.0);  // loop
  e.set(4, 15.0); // 16 steps
  double gate = 0.0;
  seq->clockSource = &gate;
  for (int t = 0; t < 30; ++t) {
    gate = t % 2 ? 0.0 : 1.0;
    e.tickAndIdle();
  }
  ASSERT_EQ(15, seq->currentStep);
  EXPECT_EQ(std::vector<int>{15}, e.litSteps(0, 16));
}

} // namespace
