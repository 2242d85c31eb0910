// Amplifier gain, pan law and VCA modes; mixer levels, pans and master.
#include "Amplifier.h"
#include "Mixer.h"
#include "module_rig.h"

#include <gtest/gtest.h>

namespace {
struct AmpOut
{
  double left, right;
};

AmpOut amp(Amplifier* a)
{
  a->process();
  a->process();
  return {a->audioOut[0], a->audioOut[1]};
}
} // namespace

TEST(AmplifierLevels, GainAndLinearPanLaw)
{
  // Plain parameter values: gain A, pan A, input A value; expected left and right.
  const struct
  {
    double gain, pan, in;
    double left, right;
  } cases[] = {{1.0, 0.5, 1.0, 0.5, 0.5},    {1.0, 0.0, 1.0, 1.0, 0.0}, {1.0, 1.0, 1.0, 0.0, 1.0},
               {2.0, 0.25, 0.5, 0.75, 0.25}, {0.0, 0.5, 1.0, 0.0, 0.0}, {0.5, 0.5, -1.0, -0.25, -0.25},
               {1.0, 0.8, 1.0, 0.2, 0.8}};
  for (const auto& c : cases) {
    ModuleRig rig;
    Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
    rig.param(0, c.gain);
    rig.param(4, c.pan);
    double in = c.in;
    a->inputA = &in;
    const AmpOut o = amp(a);
    EXPECT_NEAR(c.left, o.left, 1e-12) << c.gain << " " << c.pan;
    EXPECT_NEAR(c.right, o.right, 1e-12) << c.gain << " " << c.pan;
  }
}

TEST(AmplifierLevels, DefaultsPutEachInputAtHalfOnBothSides)
{
  ModuleRig rig;
  Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
  double x = 0.6, y = -0.2;
  a->inputA = &x;
  a->inputB = &y;
  const AmpOut o = amp(a);
  EXPECT_DOUBLE_EQ(0.5 * 0.6 + 0.5 * -0.2, o.left);
  EXPECT_DOUBLE_EQ(0.5 * 0.6 + 0.5 * -0.2, o.right);
}

TEST(AmplifierLevels, ModulatedPanIsNotClamped)
{
  ModuleRig rig;
  Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
  double x = 1.0, mod = 1.0;
  a->inputA = &x;
  a->panAModSource = &mod;
  rig.param(5, 1.0); // pan 0.5 + 1.0
  const AmpOut o = amp(a);
  EXPECT_DOUBLE_EQ(-0.5, o.left);
  EXPECT_DOUBLE_EQ(1.5, o.right);
}

TEST(AmplifierVCA, DepthStyleInBothModes)
{
  // VCA 1 depth 1 at source 0: both inputs silent together, only A when separate. Depth 0.5 at source 0.5:
  // factor 0.75.
  const struct
  {
    bool separate;
    double depth1, source1;
    double gainA, gainB; // effective factors of A and B
  } cases[] = {{false, 1.0, 0.0, 0.0, 0.0},
               {true, 1.0, 0.0, 0.0, 1.0},
               {false, 0.5, 0.5, 0.75, 0.75},
               {true, 0.5, 0.5, 0.75, 1.0},
               {false, 0.0, 0.0, 1.0, 1.0}};
  for (const auto& c : cases) {
    ModuleRig rig;
    Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
    rig.param(14, c.separate ? 1 : 0);
    rig.param(10, c.depth1);
    rig.param(4, 0.0); // A to the left
    rig.param(7, 1.0); // B to the right
    double x = 1.0, y = 1.0, v = c.source1;
    a->inputA = &x;
    a->inputB = &y;
    a->vca1Source = &v;
    const AmpOut o = amp(a);
    EXPECT_DOUBLE_EQ(c.gainA, o.left) << c.separate << " " << c.depth1;
    EXPECT_DOUBLE_EQ(c.gainB, o.right) << c.separate << " " << c.depth1;
  }
}

TEST(AmplifierVCA, UnconnectedSourceLeavesTheGainWhateverItsDepth)
{
  ModuleRig rig; // a master instance: "off" must read as unconnected, not as a source at 0
  Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
  rig.param(10, 1.0);
  rig.param(12, 1.0);
  EXPECT_EQ(nullptr, a->vca1Source);
  EXPECT_EQ(nullptr, a->vca2Source);
  double x = 1.0;
  a->inputA = &x;
  const AmpOut o = amp(a);
  EXPECT_DOUBLE_EQ(0.5, o.left);
}

TEST(MixerLevels, LevelsPansAndMaster)
{
  const struct
  {
    int channel;
    double level, pan, master;
    double left, right;
  } cases[] = {{0, 0.5, 0.5, 1.0, 0.25, 0.25},
               {1, 1.0, 0.0, 1.0, 1.0, 0.0},
               {2, 1.0, 1.0, 1.0, 0.0, 1.0},
               {3, 0.5, 0.25, 2.0, 0.75, 0.25},
               {0, 1.0, 0.5, 0.0, 0.0, 0.0}};
  for (const auto& c : cases) {
    ModuleRig rig;
    Mixer* m = rig.make<Mixer>(ModuleConfig::MOD_MIXER, 48000);
    rig.param(3 * c.channel, c.level);
    rig.param(3 * c.channel + 2, c.pan);
    rig.param(12, c.master);
    double x = 1.0;
    m->input[c.channel] = &x;
    m->process();
    m->process();
    EXPECT_DOUBLE_EQ(c.left, m->audioOut[0]) << c.channel;
    EXPECT_DOUBLE_EQ(c.right, m->audioOut[1]) << c.channel;
  }
}

TEST(MixerLevels, ChannelsSumAndUnconnectedAddNothing)
{
  ModuleRig rig;
  Mixer* m = rig.make<Mixer>(ModuleConfig::MOD_MIXER, 48000);
  double a = 1.0, b = 0.5;
  m->input[0] = &a;
  m->input[2] = &b;
  m->process();
  m->process();
  EXPECT_DOUBLE_EQ(0.25 + 0.125, m->audioOut[0]);
  EXPECT_DOUBLE_EQ(0.25 + 0.125, m->audioOut[1]);
}
