// What all module types share: parameter declarations, source resolution for "off", the per-rate
// pitch-step tables shared between instances, and the one-call output lag.
#include "Amplifier.h"
#include "Envelope.h"
#include "FlushDenormals.h"
#include "Ladder.h"
#include "Mixer.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Oscillator.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <typeinfo>

namespace {
struct ParamExpect
{
  int index;
  IParam::EParamType type;
  double min, max, def;
  const char* firstText; // the first display text, or null for none
};
} // namespace

TEST(ModuleParams, DeclarationsOfEachType)
{
  const IParam::EParamType E = IParam::kTypeEnum, I = IParam::kTypeInt, D = IParam::kTypeDouble;
  const struct
  {
    ModuleConfig::ModuleID id;
    std::vector<ParamExpect> params;
  } types[] = {
      {ModuleConfig::MOD_OSCILLATOR,
       {{0, E, 0, 2, 1, "Sine"},
        {1, D, 0, 1, 0, nullptr},
        {3, E, 0, 1, 0, "off"},
        {4, I, -24, 24, 0, nullptr},
        {5, I, -128, 128, 0, nullptr},
        {6, D, -6145, 6145, 0, nullptr},
        {11, D, 0, 1, 0, nullptr},
        {13, E, 0, 1, 0, "off"}}},
      {ModuleConfig::MOD_LADDER,
       {{0, E, 0, 14, 1, "Bypass"},
        {1, D, 0, 1, 1, nullptr},
        {3, D, 0, 1, 0.5, nullptr},
        {4, E, 0, 1, 0, "off"},
        {7, D, -12289, 12289, 0, nullptr},
        {11, D, 1, 16, 1, nullptr},
        {12, D, -1, 1, 0, nullptr}}},
      {ModuleConfig::MOD_AMPLIFIER,
       {{0, D, 0, 2, 1, nullptr}, {4, D, 0, 1, 0.5, nullptr}, {10, D, 0, 1, 0, nullptr}, {14, E, 0, 1, 0, "A+B"}}},
      {ModuleConfig::MOD_MIXER, {{0, D, 0, 1, 0.5, nullptr}, {10, E, 0, 1, 0, "off"}, {12, D, 0, 2, 1, nullptr}}},
      {ModuleConfig::MOD_ENVELOPE,
       {{0, E, 0, 1, 0, "off"}, {2, D, 0, 1, 0, nullptr}, {3, D, -1, 1, 0, nullptr}, {13, E, 0, 1, 0, "off"}}},
  };
  for (const auto& t : types) {
    ModuleRig rig;
    rig.makeModule(t.id, 48000, 3);
    for (const ParamExpect& e : t.params) {
      const IParam* p = rig.plug->GetParam(3 * 16 + e.index);
      const std::string what = std::string(ModuleConfig::labelModuleName[t.id]) + " P" + std::to_string(e.index);
      EXPECT_EQ(e.type, p->Type()) << what;
      EXPECT_EQ(e.min, p->GetMin()) << what;
      EXPECT_EQ(e.max, p->GetMax()) << what;
      EXPECT_EQ(e.def, p->GetDefault()) << what;
      EXPECT_STREQ(("M:3 P:" + std::to_string(e.index)).c_str(), p->GetNameForHost()) << what;
      if (e.firstText)
        EXPECT_STREQ(e.firstText, p->GetDisplayTextAtIdx(0)) << what;
      else
        EXPECT_EQ(0, p->GetNDisplayTexts()) << what;
    }
  }
}

TEST(ModuleParams, DisplayCallbacksShowUnits)
{
  ModuleRig rig;
  rig.makeModule(ModuleConfig::MOD_LADDER, 48000, 0);
  char text[IParam::kDisplayBufferSize];
  rig.plug->GetParam(3)->GetDisplayForHost(text); // level 0.5
  EXPECT_STREQ("-6.0", text);
  rig.plug->GetParam(11)->GetDisplayForHost(text); // drive 1
  EXPECT_STREQ("0.0", text);
  rig.plug->GetParam(1)->GetDisplayForHost(text); // cutoff 1.0: the top of the table
  EXPECT_STREQ("19912", text);
  rig.makeModule(ModuleConfig::MOD_OSCILLATOR, 48000, 0);
  rig.plug->GetParam(5)->Set(128);
  rig.plug->GetParam(5)->GetDisplayForHost(text);
  EXPECT_STREQ("100", text); // cents
  rig.plug->GetParam(6)->Set(1536);
  rig.plug->GetParam(6)->GetDisplayForHost(text);
  EXPECT_STREQ("1.00", text); // octaves
}

TEST(ModuleParams, UnusedIndexesAreOnlyCleared)
{
  ModuleRig rig;
  rig.makeModule(ModuleConfig::MOD_LADDER, 48000, 0); // parameter 15 stays the empty module's double
  IParam* p15 = rig.plug->GetParam(15);
  const IParam::EParamType before = p15->Type();
  p15->SetDisplayText(0, "stale");
  p15->mDisplayFunc = setDisplayTextForDB;
  rig.makeModule(ModuleConfig::MOD_OSCILLATOR, 48000, 0); // uses 0..13
  EXPECT_EQ(before, p15->Type());
  EXPECT_EQ(0, p15->GetNDisplayTexts());
  EXPECT_EQ(nullptr, p15->mDisplayFunc);
}

TEST(ModuleFactory, CatalogueMakesTheseClasses)
{
  ModuleRig rig;
  const struct
  {
    ModuleConfig::ModuleID id;
    const std::type_info& type;
  } cases[] = {
      {ModuleConfig::MOD_OSCILLATOR, typeid(Oscillator)}, {ModuleConfig::MOD_LADDER, typeid(Ladder)},
      {ModuleConfig::MOD_AMPLIFIER, typeid(Amplifier)},   {ModuleConfig::MOD_MIXER, typeid(Mixer)},
      {ModuleConfig::MOD_ENVELOPE, typeid(Envelope)},     {ModuleConfig::MOD_STEREOLADDER, typeid(StereoLadder)}};
  for (const auto& c : cases) {
    Module* m = rig.makeModule(c.id, 44100, 2);
    EXPECT_TRUE(typeid(*m) == c.type) << c.id;
    EXPECT_EQ(rig.plug->slotConfig[2].numAudioOutputs, (int)m->audioOut.size());
    EXPECT_EQ(rig.plug->slotConfig[2].numSyncOutputs, (int)m->syncOut.size());
  }
  // fillConfig of the classes that have one gives the catalogue's declaration.
  ModuleConfig a, b;
  Oscillator::fillConfig(&a);
  ModuleCatalogue::declare(&b, ModuleConfig::MOD_OSCILLATOR);
  EXPECT_EQ(b.numModInputs, a.numModInputs);
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, a.moduleID);
  Amplifier::fillConfig(&a);
  EXPECT_EQ(2, a.numAudioOutputs);
  StereoLadder::fillConfig(&a);
  EXPECT_EQ(ModuleConfig::MOD_STEREOLADDER, a.moduleID);
  Mixer::fillConfig(&a);
  EXPECT_EQ(4, a.numAudioInputs);
}

TEST(ModuleSources, OffInAMasterInstance)
{
  // "off": audio reads the shared 0.0, every other type reads nothing.
  ModuleRig rig;
  Module* m = rig.makeModule(ModuleConfig::MOD_AMPLIFIER, 48000);
  EXPECT_EQ(&rig.plug->zero, m->getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::MODULATION));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::GATE));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::SYNC));
  EXPECT_EQ(&rig.plug->zero, m->getSource(100000, SourceDef::MODULATION)); // no entry
}

TEST(PitchTables, SharedPerRateAndNeverRebuiltForTheSameRate)
{
  const int* a = ModuleConventions::phaseIncrementTable(44100);
  const int built = ModuleConventions::pitchTablesBuilt();
  EXPECT_EQ(a, ModuleConventions::phaseIncrementTable(44100));
  EXPECT_EQ(built, ModuleConventions::pitchTablesBuilt());
  const int* b = ModuleConventions::phaseIncrementTable(96000);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, ModuleConventions::phaseIncrementTable(44100));
  EXPECT_EQ((int)(268435456.0 * 440.0 / 44100), a[69 * 128]);
  EXPECT_EQ((int)(268435456.0 * 440.0 / 96000), b[69 * 128]);
  const double* r = ModuleConventions::radiansTable(48000);
  EXPECT_DOUBLE_EQ(440.0 * 2 * 3.141592653589793 / 48000, r[69 * 128]);
}

TEST(PitchTables, InstancesAtDifferentRatesKeepTheirPitch)
{
  // Two plug-in instances at different rates, their oscillators interleaved sample by sample: each keeps
  // its own pitch (a table shared across rates would retune the first).
  ModuleRig r1, r2;
  Oscillator* o1 = r1.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 44100);
  Oscillator* o2 = r2.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 96000);
  r1.pitch = r2.pitch = 69 * 128;
  std::vector<double> x1, x2;
  for (int i = 0; i < 65536; ++i) {
    if (i % 44 == 0) o1->update(true);
    if (i % 96 == 0) o2->update(true);
    o1->process();
    o2->process();
    x1.push_back(o1->audioOut[0]);
    x2.push_back(o2->audioOut[0]);
  }
  EXPECT_LT(std::fabs(cents(peakFrequency(x1, 44100, 420, 460), 440.0)), 1.0);
  EXPECT_LT(std::fabs(cents(peakFrequency(x2, 96000, 420, 460), 440.0)), 1.0);
}

TEST(PitchTables, SameRateAgainStillRestartsThePhase)
{
  ModuleRig rig;
  Oscillator* o = rig.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 48000);
  rig.pitch = 60 * 128;
  rig.run(100, -1);
  ASSERT_NE(0, o->phase);
  const int* table = o->freq2PhInc;
  o->setSampleRate(48000);
  EXPECT_EQ(table, o->freq2PhInc);
  EXPECT_EQ(0, o->phase);
  EXPECT_EQ(0, o->secondPhase);
  EXPECT_EQ(0, o->phaseIncrement);
}

TEST(ModuleConventionsMath, PitchStepsGatesAndDepth)
{
  using namespace ModuleConventions;
  EXPECT_EQ(0, pitchStep(-3.7));
  EXPECT_EQ(0, pitchStep(0.9));
  EXPECT_EQ(17280, pitchStep(17280.5));
  EXPECT_EQ(17280, pitchStep(1e12));
  EXPECT_EQ(0, pitchStep(std::nan("")));
  EXPECT_EQ(1234, pitchStep(1234.99));
  double v = 0.5, prev = 0.0;
  EXPECT_TRUE(gateRose(&v, &prev));
  EXPECT_FALSE(gateRose(&v, &prev)); // held
  v = 1.5;
  EXPECT_TRUE(gateRose(&v, &prev));
  prev = 7.0;
  EXPECT_FALSE(gateRose(nullptr, &prev));
  EXPECT_EQ(7.0, prev);
  EXPECT_EQ(1.0, depthFactor(nullptr, 1.0));
  double s = 0.25;
  EXPECT_DOUBLE_EQ(0.25, depthFactor(&s, 1.0));
  EXPECT_DOUBLE_EQ(1.0, depthFactor(&s, 0.0));
  EXPECT_EQ(0.0, additive(nullptr, 5.0));
}

TEST(ModuleConventionsMath, NoiseGeneratorSequence)
{
  uint32_t seed = 1;
  const double first = ModuleConventions::drawNoise(&seed);
  EXPECT_EQ(16807u, seed);
  EXPECT_DOUBLE_EQ(16807 * 4.6566129e-10, first);
  ModuleConventions::drawNoise(&seed);
  EXPECT_EQ(282475249u, seed);
  double lo = 1, hi = -1;
  for (int i = 0; i < 100000; ++i) {
    const double d = ModuleConventions::drawNoise(&seed);
    lo = std::min(lo, d);
    hi = std::max(hi, d);
  }
  EXPECT_GE(lo, -1.0);
  EXPECT_LT(hi, 1.0);
}

TEST(ModuleLag, OutputsAppearOneCallLater)
{
  ModuleRig rig;
  Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
  rig.param(4, 0.0);
  double x = 1.0;
  a->inputA = &x;
  a->process();
  EXPECT_EQ(0.0, a->audioOut[0]);
  EXPECT_EQ(1.0, a->nextAudioOut[0]);
  x = 0.0;
  a->process();
  EXPECT_EQ(1.0, a->audioOut[0]);
}

TEST(FlushDenormals, SubnormalsFlushInsideTheScopeAndTheHostModeReturns)
{
  volatile double tiny = 1e-300;
  const auto before = ScopedFlushDenormals::current();
  {
    ScopedFlushDenormals scope;
    volatile double product = tiny * 1e-10; // 1e-310 is subnormal
    EXPECT_EQ(0.0, product);
    volatile double subnormal = 1e-310 * (tiny / tiny); // an operand that is already subnormal reads as 0
    EXPECT_EQ(0.0, subnormal * 1e300);
  }
  EXPECT_EQ(before, ScopedFlushDenormals::current());
  volatile double product = tiny * 1e-10;
  EXPECT_GT(product, 0.0);
}
