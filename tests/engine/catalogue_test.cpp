// The module catalogue and slot configuration: every type's declaration as a slot configuration sees it,
// the menu order, labels and instance numbers, compatibility and the module factory.
#include "engine_harness.h"

#include "IControl.h"
#include "Module.h"
#include "ModuleCatalogue.h"
#include "ModulePanel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using ModuleCatalogue::declarations;
using ModuleCatalogue::InputList;
using ModuleCatalogue::OutputDecl;

namespace {
const SourceDef::SourceType kInputTypes[] = {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE,
                                             SourceDef::AUDIO_OR_MOD, SourceDef::SYNC};

const InputList& inputsOf(const ModuleCatalogue::ModuleDecl& d, SourceDef::SourceType t)
{
  switch (t) {
  case SourceDef::AUDIO:
    return d.audioIn;
  case SourceDef::MODULATION:
    return d.modIn;
  case SourceDef::GATE:
    return d.gateIn;
  case SourceDef::AUDIO_OR_MOD:
    return d.audioOrModIn;
  default:
    return d.syncIn;
  }
}

std::vector<int> paramsOf(const InputList& in)
{
  return std::vector<int>(in.params, in.params + in.count);
}

// One shared instance: constructing the product for every check would only repeat the same work.
Veltrane& plug()
{
  static std::unique_ptr<Veltrane> v = MakeVeltrane();
  return *v;
}

ModuleConfig& declared(int id, int slot = 3)
{
  Veltrane& v = plug();
  v.slotConfig[slot].set(&v, slot, (ModuleConfig::ModuleID)id);
  return v.slotConfig[slot];
}
} // namespace

TEST(Declarations, EveryTypeMatchesItsCatalogueRow)
{
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    SCOPED_TRACE(ModuleConfig::labelModuleName[id]);
    const ModuleCatalogue::ModuleDecl& d = declarations[id];
    ModuleConfig& c = declared(id);
    EXPECT_EQ(id, c.moduleID);
    EXPECT_EQ(d.category, c.category);
    EXPECT_EQ(d.numParams, c.numParams);
    EXPECT_EQ(3, c.slot);
    EXPECT_EQ(0, c.instance);
    EXPECT_STREQ(ModuleConfig::labelModuleName[id], c.label);
    EXPECT_STREQ(ModuleConfig::labelModuleID[id], c.shortLabel);
    EXPECT_EQ(id == ModuleConfig::MOD_OSCWAVETABLE, c.wavetableSaved);

    std::vector<int> all;
    for (SourceDef::SourceType t : kInputTypes) {
      const InputList& in = inputsOf(d, t);
      EXPECT_EQ(in.count, c.getNumberOfInputs(t)) << t;
      if (in.count > 0) {
        const std::vector<int>& listed = *c.getInputParams(t);
        EXPECT_EQ(paramsOf(in), std::vector<int>(listed.begin(), listed.begin() + in.count)) << t;
      }
      for (int p : paramsOf(in)) all.push_back(p);
    }
    EXPECT_EQ(all, c.inputParams); // audio, modulation, gate, audio or modulation, sync
    for (int p = 0; p < 16; ++p) EXPECT_EQ(std::find(all.begin(), all.end(), p) != all.end(), c.isInputParam(p)) << p;

    const OutputDecl* outs[] = {&d.audioOut, &d.modOut, &d.gateOut};
    const SourceDef::SourceType outTypes[] = {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE};
    const bool flags[] = {c.hasAudioOutputs, c.hasModOutputs, c.hasGateOutputs};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(outs[i]->count, c.getNumberOfOutputs(outTypes[i]));
      EXPECT_EQ(outs[i]->count > 0, flags[i]);
      std::vector<const char*> texts = c.getTextOut(outTypes[i]);
      if (outs[i]->count >= 2) {
        ASSERT_EQ((size_t)outs[i]->count, texts.size());
        for (int k = 0; k < outs[i]->count; ++k) {
          EXPECT_EQ(outs[i]->letters[k], c.getLabelOut(outTypes[i])[k]) << k;
          EXPECT_STREQ(outs[i]->texts[k], texts[k]) << k;
        }
      } else {
        EXPECT_TRUE(texts.empty());
      }
    }
    EXPECT_EQ(d.numSyncOut, c.getNumberOfOutputs(SourceDef::SYNC));
    EXPECT_EQ(d.numSyncOut > 0, c.hasSyncOutputs);
    EXPECT_EQ(c.getLabelOut(SourceDef::AUDIO), c.getLabelOut(SourceDef::SYNC));
    EXPECT_EQ(c.getTextOut(SourceDef::AUDIO), c.getTextOut(SourceDef::SYNC));
  }
}

// Counts written independently of the catalogue's rows, from what each type does, as a second source:
// parameters : audio, modulation, gate, sync, audio-or-modulation inputs > audio, modulation, gate, sync outputs.
TEST(Declarations, CountsAgreeWithAnIndependentList)
{
  const char* expected[ModuleConfig::kNumModuleIDs] = {
      "0:0,0,0,0,0>0,0,0,0",   "14:0,4,1,1,0>1,0,0,1",  "15:1,4,1,1,0>1,0,0,1",  "15:2,3,0,0,0>1,0,0,0",
      "15:2,3,0,0,0>1,0,0,0",  "15:2,4,0,0,0>2,0,0,0",  "13:4,0,0,0,0>2,0,0,0",  "9:4,2,0,0,0>2,0,0,0",
      "10:1,2,0,0,0>1,0,0,1",  "12:4,4,0,0,0>5,0,0,0",  "10:6,1,0,0,0>9,0,0,0",  "8:4,2,0,0,0>2,0,0,0",
      "10:0,0,2,0,0>0,2,0,0",  "11:0,2,1,0,0>0,2,1,0",  "8:0,0,2,0,2>2,2,0,0",   "12:0,6,0,0,0>0,4,0,0",
      "12:6,0,0,0,0>6,0,0,0",  "13:0,1,2,0,0>0,1,12,0", "15:0,9,2,0,0>0,1,14,0", "14:0,4,0,0,0>1,0,0,0",
      "15:9,0,2,0,0>1,0,14,0", "12:0,6,0,0,0>0,4,0,0",  "16:0,2,8,0,0>0,0,5,0",  "9:0,0,2,0,0>0,0,9,0",
      "12:0,0,4,0,0>0,4,0,0",  "12:0,2,0,0,0>2,0,0,2",  "15:0,4,1,1,0>1,0,0,1",  "16:2,3,1,0,0>1,0,0,0",
      "10:0,0,2,0,0>0,2,0,0",  "12:0,4,0,0,0>5,0,0,0",  "12:2,2,0,0,0>4,0,0,0",  "14:0,2,2,0,0>0,4,2,0",
      "12:2,1,1,0,0>1,0,0,0",  "12:2,2,0,0,0>2,0,0,0",  "10:2,0,2,0,0>2,0,0,0",  "11:2,0,0,0,0>2,0,0,0",
      "12:2,2,0,0,0>2,0,0,0",  "14:0,4,2,0,0>0,1,0,0",  "14:0,6,0,0,0>0,2,2,0",  "15:2,0,0,0,0>2,0,0,0",
      "15:2,3,0,0,0>2,0,0,0",  "15:2,3,0,0,0>2,0,0,0",  "16:2,3,1,0,0>2,0,0,0",  "12:2,2,0,0,0>2,0,0,0",
      "15:2,0,0,0,0>2,0,0,0"};
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    ModuleConfig& c = declared(id);
    char sig[64];
    std::snprintf(sig, sizeof(sig), "%d:%d,%d,%d,%d,%d>%d,%d,%d,%d", c.numParams, c.numAudioInputs, c.numModInputs,
                  c.numGateInputs, c.numSyncInputs, c.numAudioOrModInputs, c.numAudioOutputs, c.numModOutputs,
                  c.numGateOutputs, c.numSyncOutputs);
    EXPECT_STREQ(expected[id], sig) << ModuleConfig::labelModuleName[id];
  }
}

TEST(Declarations, RowsAreWellFormed)
{
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    SCOPED_TRACE(ModuleConfig::labelModuleName[id]);
    const ModuleCatalogue::ModuleDecl& d = declarations[id];
    EXPECT_GE(d.numParams, id == 0 ? 0 : 1);
    EXPECT_LE(d.numParams, 16);
    std::set<int> seen;
    for (SourceDef::SourceType t : kInputTypes)
      for (int p : paramsOf(inputsOf(d, t))) {
        EXPECT_LT(p, d.numParams); // a selector is one of the parameters the type uses
        EXPECT_TRUE(seen.insert(p).second) << "parameter " << p << " selects twice";
      }
    for (const OutputDecl* o : {&d.audioOut, &d.modOut, &d.gateOut}) {
      if (o->count < 2) continue;
      ASSERT_NE(nullptr, o->letters);
      std::set<char> letters(o->letters, o->letters + o->count);
      EXPECT_EQ((size_t)o->count, letters.size()); // each output has a letter of its own
      for (int k = 0; k < o->count; ++k) EXPECT_NE(nullptr, o->texts[k]);
    }
  }
}

TEST(Declarations, TypesWithNotableOutputs)
{
  // LFO: the first modulation output is listed under the short label alone, the second under "+".
  ModuleConfig& lfo = declared(ModuleConfig::MOD_LFO);
  EXPECT_EQ('\0', lfo.getLabelOut(SourceDef::MODULATION)[0]);
  EXPECT_EQ('+', lfo.getLabelOut(SourceDef::MODULATION)[1]);
  EXPECT_STREQ("", lfo.getTextOut(SourceDef::MODULATION)[0]);
  EXPECT_STREQ("(positive)", lfo.getTextOut(SourceDef::MODULATION)[1]);
  EXPECT_EQ(1, lfo.numGateOutputs);

  // Dual oscillator: two audio outputs A and B, and two sync outputs named alike.
  ModuleConfig& dual = declared(ModuleConfig::MOD_OSCILLATOR2);
  EXPECT_EQ(2, dual.getNumberOfOutputs(SourceDef::SYNC));
  EXPECT_EQ(0, std::strncmp("AB", dual.getLabelOut(SourceDef::SYNC), 2));
  EXPECT_STREQ("B", dual.getTextOut(SourceDef::SYNC)[1]);

  // Sample + Hold: parameters 6 and 7 take audio or modulation.
  ModuleConfig& sh = declared(ModuleConfig::MOD_SHNOISE);
  EXPECT_EQ((std::vector<int>{6, 7}), *sh.getInputParams(SourceDef::AUDIO_OR_MOD));
  EXPECT_EQ(0, std::strncmp("WP", sh.getLabelOut(SourceDef::AUDIO), 2));
  EXPECT_STREQ("Pink Noise", sh.getTextOut(SourceDef::AUDIO)[1]);
  EXPECT_EQ(0, std::strncmp("AB", sh.getLabelOut(SourceDef::MODULATION), 2));
  EXPECT_EQ(0, sh.getNumberOfOutputs(SourceDef::AUDIO_OR_MOD));

  // Texts as they stand.
  ModuleConfig& noise = declared(ModuleConfig::MOD_NOISE);
  EXPECT_STREQ("Summmed Output", noise.getTextOut(SourceDef::AUDIO)[4]);

  // Types keeping the default letters keep the whole default string.
  ModuleConfig& ring = declared(ModuleConfig::MOD_RING);
  EXPECT_STREQ("ABCDEFGH", ring.getLabelOut(SourceDef::AUDIO));
  ModuleConfig& hilbert = declared(ModuleConfig::MOD_HILBERT);
  EXPECT_STREQ("RIriCSAB+", hilbert.getLabelOut(SourceDef::AUDIO));
}

TEST(Declarations, EmptyModule)
{
  ModuleConfig& c = declared(ModuleConfig::MOD_OSCILLATOR);
  c.master = 1;
  c.set(&plug(), 3, ModuleConfig::MOD_EMPTY);
  EXPECT_EQ(0, c.category);
  EXPECT_EQ(1, c.master); // kept
  for (SourceDef::SourceType t : kInputTypes) EXPECT_EQ(0, c.getNumberOfInputs(t));
  for (SourceDef::SourceType t : kInputTypes) EXPECT_EQ(0, c.getNumberOfOutputs(t));
  EXPECT_FALSE(c.hasAudioOutputs || c.hasModOutputs || c.hasGateOutputs || c.hasSyncOutputs);
  EXPECT_TRUE(c.inputParams.empty());
  EXPECT_STREQ("Empty", c.label);
  EXPECT_STREQ("Empty", c.shortLabel);
  c.master = 0;
  // The slot's parameters are the neutral ones.
  for (int p = 0; p < 16; ++p) {
    IParam* param = plug().GetParam(3 * 16 + p);
    EXPECT_EQ("M:3 P:" + std::to_string(p), param->GetNameForHost());
    EXPECT_EQ(IParam::kTypeDouble, param->Type());
    EXPECT_EQ(0.0, param->GetMin());
    EXPECT_EQ(1.0, param->GetMax());
    EXPECT_EQ(0.001, param->GetStep());
    EXPECT_EQ(0.0, param->GetDefault());
    EXPECT_EQ(0, param->GetNDisplayTexts());
  }
}

TEST(Declarations, OutOfRangeIdChangesNothing)
{
  ModuleConfig& c = declared(ModuleConfig::MOD_LFO);
  for (int id : {45, 100, -1}) {
    c.set(&plug(), 7, (ModuleConfig::ModuleID)id);
    EXPECT_EQ(7, c.slot);
    EXPECT_EQ(ModuleConfig::MOD_LFO, c.moduleID);
    EXPECT_EQ(2, c.numModOutputs);
  }
  declared(0, 7);
}

TEST(Declarations, SlotParametersDependOnlyOnTheNewType)
{
  // What a slot's 16 parameters look like after a type change, as one text per parameter.
  auto describe = [](int slot) {
    std::vector<std::string> out;
    for (int p = 0; p < 16; ++p) {
      const IParam* q = plug().GetParam(slot * 16 + p);
      char shown[IParam::kDisplayBufferSize];
      q->GetDisplayForHost(shown);
      out.push_back(std::to_string(q->Type()) + " " + std::to_string(q->GetMin()) + ".." + std::to_string(q->GetMax()) +
                    " /" + std::to_string(q->GetStep()) + " default " + std::to_string(q->GetDefault()) + " " + shown +
                    (q->mDisplayFunc ? " func " : " ") + std::to_string(q->GetNDisplayTexts()));
    }
    return out;
  };
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    declared(0);
    declared(id);
    const std::vector<std::string> fresh = describe(3);
    for (int before = 0; before < ModuleConfig::kNumModuleIDs; ++before) {
      declared(before);
      for (int p = 0; p < 16; ++p) plug().GetParam(3 * 16 + p)->Set(1e9); // each at its maximum
      declared(id);
      const std::vector<std::string> now = describe(3);
      for (int p = 0; p < 16; ++p)
        ASSERT_EQ(fresh[p], now[p]) << "type " << id << " after type " << before << ", parameter " << p;
    }
  }
  declared(0);
}

TEST(Declarations, WavetableRecordFollowsTheType)
{
  ModuleConfig& c = declared(ModuleConfig::MOD_OSCILLATOR);
  c.sharedData.name.Set("/some/table.wav");
  c.sharedData.set(SharedBytes::Make(4 * sizeof(double)));
  c.sharedData.changed = true;
  c.set(&plug(), 3, ModuleConfig::MOD_OSCWAVETABLE);
  EXPECT_TRUE(c.wavetableSaved);
  EXPECT_EQ(0u, c.sharedData.count);
  EXPECT_EQ(nullptr, c.sharedData.data);
  EXPECT_FALSE(c.sharedData.changed);
  EXPECT_STREQ("", c.sharedData.name.Get());

  c.sharedData.set(SharedBytes::Make(2 * sizeof(double)));
  c.set(&plug(), 3, ModuleConfig::MOD_NOISE);
  EXPECT_FALSE(c.wavetableSaved);
  EXPECT_EQ(nullptr, c.sharedData.data);
  declared(0);
}

TEST(Declarations, ConsumingParamsReadExactlyTheInputCount)
{
  ModuleConfig c;
  c.numModInputs = 3;
  c.addConsumingParams(SourceDef::MODULATION, {4, 9, 2, 99}); // the fourth is not read
  EXPECT_EQ((std::vector<int>{4, 9, 2}), c.modInputParams);
  c.numGateInputs = 1;
  c.addConsumingParams(SourceDef::GATE, {11});
  EXPECT_EQ((std::vector<int>{4, 9, 2, 11}), c.inputParams);
  c.addConsumingParams((SourceDef::SourceType)9, {1, 2});
  c.addConsumingParams(SourceDef::OFF, {1});
  EXPECT_EQ(4u, c.inputParams.size());
  // A list shorter than the input count is never read past its end.
  c.numAudioInputs = 3;
  c.addConsumingParams(SourceDef::AUDIO, {7});
  EXPECT_EQ((std::vector<int>{7}), c.audioInputParams);
  EXPECT_EQ((std::vector<int>{4, 9, 2, 11, 7}), c.inputParams);
  // Getters outside the table.
  for (int t : {0, 6, -1}) {
    EXPECT_EQ(0, c.getNumberOfInputs((SourceDef::SourceType)t));
    EXPECT_EQ(0, c.getNumberOfOutputs((SourceDef::SourceType)t));
    EXPECT_EQ(nullptr, c.getInputParams((SourceDef::SourceType)t));
    EXPECT_EQ(nullptr, c.getLabelOut((SourceDef::SourceType)t));
    EXPECT_TRUE(c.getTextOut((SourceDef::SourceType)t).empty());
  }
}

TEST(ModuleMenu, EveryTypeOnceUnderItsCategory)
{
  ModuleConfig first; // the first configuration of the process fills the menu order
  ASSERT_TRUE(ModuleConfig::isModuleTypeMapInitialized);
  const char* names[] = {"None",       "Oscillators", "Filters", "Amplifiers", "Processors",
                         "Modulators", "Sequencers",  "Effects", "Tools"};
  std::map<int, int> seen;
  for (int cat = 0; cat < ModuleConfig::kNumCategories; ++cat) {
    EXPECT_STREQ(names[cat], ModuleConfig::labelModuleType[cat]);
    for (ModuleConfig::ModuleID id : ModuleConfig::ModuleTypeMap[cat]) {
      ++seen[id];
      EXPECT_EQ(cat, declarations[id].category) << id;
    }
  }
  EXPECT_EQ(45u, seen.size());
  for (auto& [id, n] : seen) EXPECT_EQ(1, n) << id;
  EXPECT_EQ((std::vector<ModuleConfig::ModuleID>{ModuleConfig::MOD_EMPTY}), ModuleConfig::ModuleTypeMap[0]);
  // Menu order within a category, first and last entries.
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, ModuleConfig::ModuleTypeMap[1].front());
  EXPECT_EQ(ModuleConfig::MOD_NOISE, ModuleConfig::ModuleTypeMap[1].back());
  EXPECT_EQ(ModuleConfig::MOD_ENVELOPE, ModuleConfig::ModuleTypeMap[5].front());
  EXPECT_EQ(ModuleConfig::MOD_GATETOOLS, ModuleConfig::ModuleTypeMap[8].back());
  // Filling happens once per process.
  ModuleConfig another;
  size_t total = 0;
  for (auto& v : ModuleConfig::ModuleTypeMap) total += v.size();
  EXPECT_EQ(45u, total);
}

TEST(ModuleLabels, ShortIdsSharedOnlyWithinTheirFamilies)
{
  std::map<std::string, std::set<int>> byShortId;
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) byShortId[ModuleConfig::labelModuleID[id]].insert(id);
  const std::map<std::string, std::set<int>> shared = {{"Osc-", {1, 2, 19, 25, 26}},
                                                       {"Flt-", {3, 4, 27, 40, 41, 42}},
                                                       {"Rez", {30, 43}},
                                                       {"EQ", {39, 44}},
                                                       {"Env", {12, 28, 37}},
                                                       {"LFO", {13, 31}},
                                                       {"Dly", {32, 34}}};
  for (auto& [shortId, ids] : byShortId) {
    auto it = shared.find(shortId);
    if (it == shared.end())
      EXPECT_EQ(1u, ids.size()) << shortId;
    else
      EXPECT_EQ(it->second, ids) << shortId;
    // Types sharing a short ID share a category, so they share one numbering.
    for (int id : ids) EXPECT_EQ(declarations[*ids.begin()].category, declarations[id].category) << id;
  }
  EXPECT_STREQ("Empty", ModuleConfig::labelModuleID[0]);
  EXPECT_STREQ("Empty", ModuleConfig::labelModuleName[0]);
}

TEST(ModuleLabels, InstanceNumbers)
{
  struct Case
  {
    int id, instance;
    const char *label, *shortLabel;
  };
  const Case cases[] = {
      {ModuleConfig::MOD_K35, 2, "Filter (K35) 2", "Flt-2"},
      {ModuleConfig::MOD_OSCILLATOR, 1, "Oscillator 1", "Osc-1"},
      {ModuleConfig::MOD_OSCILLATOR2, 2, "Dual Oscillator 2", "Osc-2"},
      {ModuleConfig::MOD_OSCILLATOR, 12, "Oscillator 12", "Osc-12"},
      {ModuleConfig::MOD_STEREOCOMB, 18, "St.Filter (Comb) 18", "Flt-18"},
      {ModuleConfig::MOD_LINENVELOPE, 18, "Dual Linear Env. 18", "Env18"},
      {ModuleConfig::MOD_GATETOOLS, 3, "Gate Tools 3", "GT3"},
      {ModuleConfig::MOD_EMPTY, 0, "Empty", "Empty"},
  };
  for (const Case& c : cases) {
    ModuleConfig& config = declared(c.id);
    config.setInstance(c.instance);
    EXPECT_STREQ(c.label, config.label);
    EXPECT_STREQ(c.shortLabel, config.shortLabel);
    config.updateStrings();
    EXPECT_STREQ(c.shortLabel, config.shortLabel);
    EXPECT_EQ(c.instance, config.instance);
  }
  // The longest short label of any type and instance fits.
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    ModuleConfig& config = declared(id);
    config.setInstance(18);
    EXPECT_EQ(std::string(ModuleConfig::labelModuleID[id]) + "18", config.shortLabel);
    EXPECT_EQ(std::string(ModuleConfig::labelModuleName[id]) + " 18", config.label);
  }
  declared(0);
}

TEST(ModuleCompatibility, OnlyFiltersOfOneFamilyInOneSection)
{
  const int mono[] = {3, 4, 27}, stereo[] = {40, 41, 42};
  for (int from = 0; from < ModuleConfig::kNumModuleIDs; ++from)
    for (int to = 0; to < ModuleConfig::kNumModuleIDs; ++to) {
      ModuleConfig& c = declared(from);
      const bool bothMono = std::count(mono, mono + 3, from) && std::count(mono, mono + 3, to);
      const bool bothStereo = std::count(stereo, stereo + 3, from) && std::count(stereo, stereo + 3, to);
      for (int master = 0; master < 2; ++master) {
        c.master = master;
        EXPECT_EQ(bothMono || bothStereo, ModuleConfig::areCompatible(&c, to, master != 0)) << from << " " << to;
        EXPECT_FALSE(ModuleConfig::areCompatible(&c, to, master == 0)) << from << " " << to;
      }
      c.master = 0;
    }
  declared(0);
}

TEST(ModuleFactory, EveryTypeMakesAModuleSizedByItsDeclaration)
{
  Veltrane& v = plug();
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    ModuleConfig& c = declared(id);
    for (Voice* voice : {(Voice*)nullptr, &v.voices[5]}) {
      std::unique_ptr<Module> m(c.createModule(voice));
      ASSERT_NE(nullptr, m);
      EXPECT_EQ(&c, m->config);
      EXPECT_EQ(voice, m->voice);
      EXPECT_EQ(&v, m->owner);
      EXPECT_EQ((size_t)c.numAudioOutputs, m->audioOut.size());
      EXPECT_EQ((size_t)c.numAudioOutputs, m->nextAudioOut.size());
      EXPECT_EQ((size_t)c.numModOutputs, m->modOut.size());
      EXPECT_EQ((size_t)c.numModOutputs, m->nextModOut.size());
      EXPECT_EQ((size_t)c.numGateOutputs, m->gateOut.size());
      EXPECT_EQ((size_t)c.numGateOutputs, m->nextGateOut.size());
      EXPECT_EQ((size_t)c.numSyncOutputs, m->syncOut.size());
      EXPECT_EQ((size_t)c.numSyncOutputs, m->nextSyncOut.size());
      for (double x : m->audioOut) EXPECT_EQ(0.0, x);
      m->setSampleRate(44100.0);
      m->update(true);
      m->process();
    }
  }
  ModuleConfig& c = declared(0);
  c.moduleID = (ModuleConfig::ModuleID)77; // an ID outside the catalogue makes a plain module
  std::unique_ptr<Module> m(c.createModule(nullptr));
  EXPECT_TRUE(m->audioOut.empty());
  declared(0);
}

TEST(ModuleFactory, SpecialControlsAndPanels)
{
  class Dummy : public IControl
  {
  public:
    Dummy() : IControl(nullptr, IRECT()) {}
    bool Draw(IGraphics*) override { return true; }
  };
  Veltrane& v = plug();
  ModuleConfig& c = declared(ModuleConfig::MOD_LFO);
  const int before = v.GetGUI()->GetNControls();
  Dummy* d = new Dummy;
  c.addSpecialControl(v.GetGUI(), d);
  EXPECT_EQ(before + 1, v.GetGUI()->GetNControls());
  ASSERT_EQ(1u, c.specialControls.size());
  EXPECT_EQ(d, c.specialControls[0]);
  c.addSpecialControl(v.GetGUI(), nullptr);
  EXPECT_EQ(1u, c.specialControls.size());
  // The LFO's panel: its background and rows, its lamp appended to the list after the control already there.
  c.createModuleGraphics(10, 20);
  const PanelLayout* lfo = panelLayoutOf(ModuleConfig::MOD_LFO);
  ASSERT_NE(nullptr, lfo);
  EXPECT_EQ(before + 2 + lfo->count, v.GetGUI()->GetNControls());
  ASSERT_EQ(2u, c.specialControls.size());
  EXPECT_EQ(d, c.specialControls[0]);
  const int built = v.GetGUI()->GetNControls();
  c.moduleID = (ModuleConfig::ModuleID)45; // outside 1..44: no panel
  c.createModuleGraphics(10, 20);
  EXPECT_EQ(built, v.GetGUI()->GetNControls());
  declared(0); // every declaration empties the list (the surface keeps the control)
  EXPECT_TRUE(c.specialControls.empty());
}

// A program built aside hands its slot configurations over by exchange: everything a type and an instance
// decide goes with it (a field left behind would leave the slot half the old type); slot and owner stay.
TEST(Catalogue, SlotConfigurationsExchangeEverythingTheirTypeDecides)
{
  auto describe = [](ModuleConfig& c) {
    std::string d = std::to_string(c.moduleID) + "/" + std::to_string(c.category) + "/" + std::to_string(c.master) +
                    "/" + std::to_string(c.instance) + "/" + std::to_string(c.numParams) + "/" + c.name + "/" +
                    c.shortID + "/" + c.label + "/" + c.shortLabel + "/" + c.audioLetters + "/" + c.modLetters + "/" +
                    c.gateLetters + "/" + std::to_string(c.wavetableSaved) + "/" + c.sharedData.name.Get();
    for (SourceDef::SourceType t : kInputTypes) {
      d += "/in" + std::to_string(c.getNumberOfInputs(t)) + ":";
      for (int p : *c.getInputParams(t)) d += std::to_string(p) + ",";
    }
    for (SourceDef::SourceType t : {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE, SourceDef::SYNC}) {
      d += "/out" + std::to_string(c.getNumberOfOutputs(t)) + ":";
      for (const char* text : c.getTextOut(t)) d += std::string(text) + ",";
    }
    for (int p = 0; p < 16; ++p) d += c.isInputParam(p) ? "i" : "-";
    return d + (c.hasAudioOutputs ? "A" : "") + (c.hasModOutputs ? "M" : "") + (c.hasGateOutputs ? "G" : "") +
           (c.hasSyncOutputs ? "S" : "");
  };
  for (int id = 0; id < ModuleConfig::kNumModuleIDs; ++id) {
    ModuleConfig typed, empty, typedRef, emptyRef;
    for (ModuleConfig* c : {&typed, &typedRef}) {
      ModuleCatalogue::declare(c, (ModuleConfig::ModuleID)id);
      c->master = 1;
      c->setInstance(2);
      c->sharedData.name.Set("waves.wav");
    }
    ModuleCatalogue::declare(&empty, ModuleConfig::MOD_EMPTY);
    ModuleCatalogue::declare(&emptyRef, ModuleConfig::MOD_EMPTY);
    typed.slot = 5;
    empty.slot = 5;
    typed.sharedData.set(SharedBytes::Make(4 * sizeof(double)));
    const double* const data = typed.sharedData.data;
    empty.swapPatch(typed);
    EXPECT_EQ(describe(typedRef), describe(empty)) << id;
    EXPECT_EQ(describe(emptyRef), describe(typed)) << id;
    EXPECT_EQ(data, empty.sharedData.data) << id;
    EXPECT_EQ(4u, empty.sharedData.count) << id;
    EXPECT_EQ(nullptr, typed.sharedData.data) << id;
    EXPECT_EQ(5, empty.slot);
  }
}
