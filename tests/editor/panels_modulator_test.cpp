// The lamps of the modulators' panels, driven through the whole plug-in: notes and 1 ms blocks at 48 kHz
// on the engine side, the editor's idle call on the other, and the lamps' hidden state read from the
// slot's special controls that the panel registered.
#include "IControl.h"
#include "Veltrane.h"
#include "panel_rig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A master slot with one module type, its panel built, the engine at 48 kHz with one control tick per block.
struct LampRig : PanelRig
{
  explicit LampRig(int id) : PanelRig(id, true) { atTickRate(); }
  void connect(int p, SourceDef::SourceType type, int module, int index)
  {
    SelectSource(*v, base() + p, true, type, module, index);
  }
  void disconnect(int p) { v->SetParameterFromGUI(base() + p, 0.0); }
  void singleTriggerTo(int p) { connect(p, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerSingle); }
  void note(bool on) { midi(on ? 0x90 : 0x80, 60, on ? 100 : 0); }
  void pulse() // a note's gate on for two ticks, then off for two
  {
    note(true);
    ticks(2);
    note(false);
    ticks(2);
  }
};

// The runs of equal values, without the first and last run (they may be cut): at least `atLeast` of them, each
// lit run 91 ticks and each dark run 90 (a cycle of 181).
void expectHalfCycles(const std::vector<bool>& v, size_t atLeast)
{
  std::vector<int> runs;
  std::vector<bool> values;
  size_t start = 0;
  for (size_t i = 1; i <= v.size(); ++i) {
    if (i < v.size() && v[i] == v[start]) continue;
    if (start > 0 && i < v.size()) {
      runs.push_back((int)(i - start));
      values.push_back(v[start]);
    }
    start = i;
  }
  ASSERT_GE(runs.size(), atLeast);
  for (size_t k = 0; k < runs.size(); ++k) EXPECT_EQ(values[k] ? 91 : 90, runs[k]) << k;
}

} // namespace

// ---- envelopes ----

TEST(EnvelopeLamp, LightsFromARisingGateAndStaysLitWhileItIsHeld)
{
  LampRig r(ModuleConfig::MOD_ENVELOPE);
  ASSERT_EQ(1u, r.specials().size());
  r.singleTriggerTo(0);
  r.ticks(3);
  EXPECT_FALSE(r.litAfterIdle()) << "no gate has risen";
  r.note(true);
  r.ticks(2);
  EXPECT_TRUE(r.litAfterIdle());
  for (int k = 0; k < 5; ++k) {
    r.ticks(7);
    EXPECT_TRUE(r.litAfterIdle()) << "held, idle " << k;
  }
  r.note(false);
  r.ticks(2);
  r.v->OnIdle(); // the refresh before still saw the gate held: one more idle lit at most
  EXPECT_FALSE(r.litAfterIdle());
  r.ticks(5);
  EXPECT_FALSE(r.litAfterIdle());
}

TEST(EnvelopeLamp, ATriggerBetweenTwoIdleCallsLightsItOnce)
{
  LampRig r(ModuleConfig::MOD_ENVELOPE);
  r.singleTriggerTo(1); // gate B alone lights the lamp too
  r.pulse();
  EXPECT_TRUE(r.litAfterIdle());
  EXPECT_FALSE(r.litAfterIdle());
  r.ticks(3);
  EXPECT_FALSE(r.litAfterIdle());
}

TEST(EnvelopeLamp, AnUnconnectedGateKeepsTheDualEnvelopesLampDark)
{
  LampRig r(ModuleConfig::MOD_ENVELOPE2);
  ASSERT_EQ(2u, r.specials().size());
  r.singleTriggerTo(0);
  r.singleTriggerTo(1);
  r.note(true);
  r.ticks(2);
  r.disconnect(1); // B's gate rose, then its input went off before the panel looked
  for (int idle = 0; idle < 2; ++idle) {
    r.ticks(2);
    EXPECT_TRUE(r.litAfterIdle(0)) << idle;
    EXPECT_FALSE(r.lit(1)) << idle;
  }
}

// A refresh finds its lamps by position and so does nothing while the list is not the one its panel made,
// leaving the indicator for the refresh that can show it.
TEST(EnvelopeLamp, AListOfTheWrongLengthIsLeftAlone)
{
  LampRig r(ModuleConfig::MOD_ENVELOPE);
  r.singleTriggerTo(0);
  r.ticks(2);
  ASSERT_FALSE(r.litAfterIdle());
  IControl* lamp = r.specials()[0];
  r.specials().push_back(lamp);
  r.pulse();
  EXPECT_FALSE(r.litAfterIdle());
  EXPECT_FALSE(r.litAfterIdle());
  r.specials().pop_back();
  EXPECT_TRUE(r.litAfterIdle()) << "the trigger was kept for the right panel";
  EXPECT_FALSE(r.litAfterIdle());
}

// ---- cycle lamps ----

// 5.52 Hz is a cycle of floor(1000 / 5.52 + 0.5) = 181 ticks: lit for the countdowns 180 down to 90, dark
// for 89 down to 0.
TEST(CycleLamp, TheLfoLampIsLitForTheFirstHalfOfEachCycle)
{
  LampRig r(ModuleConfig::MOD_LFO);
  ASSERT_EQ(1u, r.specials().size());
  r.set(3, 5.52);
  std::vector<bool> lit;
  for (int t = 0; t < 4 * 181; ++t) {
    r.ticks(1);
    lit.push_back(r.litAfterIdle());
  }
  expectHalfCycles(lit, 5);
}

// The dual LFO's lamps light in opposite halves, both on the tick in the middle.
TEST(CycleLamp, TheDualLfoLampsLightInOppositeHalves)
{
  LampRig r(ModuleConfig::MOD_LFO2);
  ASSERT_EQ(2u, r.specials().size());
  r.set(2, 5.52);
  r.set(3, 5.52);
  std::vector<bool> a, b;
  int both = 0;
  for (int t = 0; t < 3 * 181; ++t) {
    r.ticks(1);
    a.push_back(r.litAfterIdle(0));
    b.push_back(r.lit(1));
    both += a.back() && b.back();
    EXPECT_TRUE(a.back() || b.back()) << t;
  }
  EXPECT_EQ(3, both);
  expectHalfCycles(b, 3);
}

// A clock gate loads 250 ticks: the lamp is lit for the countdowns 250 down to 125, then dark until the
// next gate.
TEST(CycleLamp, TheSampleAndHoldLampFollowsItsClockGate)
{
  LampRig r(ModuleConfig::MOD_SHNOISE);
  ASSERT_EQ(2u, r.specials().size());
  r.connect(6, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_ON); // something to sample
  r.singleTriggerTo(4);
  r.ticks(300);
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(r.litAfterIdle()) << "before gate " << round;
    r.note(true);
    int litTicks = 0;
    for (int t = 0; t < 400; ++t) {
      r.ticks(1);
      litTicks += r.litAfterIdle();
    }
    EXPECT_EQ(126, litTicks) << round;
    r.note(false);
    r.ticks(10);
  }
}
