// The lamps of the modulators' panels, driven through the whole plug-in: notes and 1 ms blocks at 48 kHz
// on the engine side, the editor's idle call on the other, and the lamps' hidden state read from the
// slot's special controls that the panel registered.
#include "IControl.h"
#include "Veltrane.h"
#include "editor_rig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A master slot with one module type, its panel built, the engine at 48 kHz with one control tick per block.
struct LampRig : EditorRig
{
  static constexpr int kNumSlots = 18, kTick = 48;

  explicit LampRig(int id)
  {
    open();
    slot = v->slotAt(0);
    for (int s = 0; s < kNumSlots; ++s) v->replaceModule(s, s == slot ? id : 0, s == slot, true);
    v->updateInstances();
    v->SetSampleRate(48000.0);
    v->SetBlockSize(kTick);
    v->Reset();
    v->RedrawParamControls();
    g->Tick();
  }
  int param(int p) const { return slot * 16 + p; }
  void set(int p, double value) { v->SetParameterFromGUI(param(p), v->GetParam(param(p))->GetNormalized(value)); }
  void connect(int p, SourceDef::SourceType type, int module, int index)
  {
    SelectSource(*v, param(p), true, type, module, index);
  }
  void disconnect(int p) { v->SetParameterFromGUI(param(p), 0.0); }
  void singleTriggerTo(int p) { connect(p, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerSingle); }
  void note(bool on)
  {
    IMidiMsg m;
    if (on)
      m.MakeNoteOnMsg(60, 100, 0);
    else
      m.MakeNoteOffMsg(60, 0);
    v->ProcessMidiMsg(&m);
  }
  void ticks(int n)
  {
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {l.data(), r.data()};
    for (int k = 0; k < n; ++k) v->ProcessDoubleReplacing(ins, outs, kTick);
  }
  std::vector<IControl*>& specials() { return v->slotConfig[slot].specialControls; }
  bool lit(int lamp) { return !specials().at(lamp)->IsHidden(); }
  // One idle call of the editor, then whether the lamp is lit.
  bool litAfterIdle(int lamp = 0)
  {
    v->OnIdle();
    return lit(lamp);
  }

  int slot = 0;
  std::vector<double> l = std::vector<double>(kTick), r = std::vector<double>(kTick), in = std::vector<double>(kTick);
};

// Lengths of the runs of equal values, without the first and last run (they may be cut).
std::vector<int> wholeRuns(const std::vector<bool>& v, std::vector<bool>* values)
{
  std::vector<int> runs;
  size_t start = 0;
  for (size_t i = 1; i <= v.size(); ++i) {
    if (i < v.size() && v[i] == v[start]) continue;
    if (start > 0 && i < v.size()) {
      runs.push_back((int)(i - start));
      values->push_back(v[start]);
    }
    start = i;
  }
  return runs;
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
  r.note(true);
  r.ticks(2);
  r.note(false);
  r.ticks(2);
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
  r.ticks(2);
  EXPECT_TRUE(r.litAfterIdle(0));
  EXPECT_FALSE(r.lit(1));
  r.ticks(2);
  EXPECT_TRUE(r.litAfterIdle(0));
  EXPECT_FALSE(r.lit(1));
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
  r.note(true);
  r.ticks(2);
  r.note(false);
  r.ticks(2);
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
  std::vector<bool> values;
  const std::vector<int> runs = wholeRuns(lit, &values);
  ASSERT_GE(runs.size(), 5u);
  for (size_t k = 0; k < runs.size(); ++k) EXPECT_EQ(values[k] ? 91 : 90, runs[k]) << k;
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
  std::vector<bool> values;
  const std::vector<int> runs = wholeRuns(b, &values);
  ASSERT_GE(runs.size(), 3u);
  for (size_t k = 0; k < runs.size(); ++k) EXPECT_EQ(values[k] ? 91 : 90, runs[k]) << k;
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
