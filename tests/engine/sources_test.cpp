// Source lists: what every selector offers for sample patches, their order and labels, and what a
// selection resolves to for master and voice modules.
#include "engine_harness.h"

#include "Module.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {
std::vector<std::string> labels(const SourceDefCol& col)
{
  std::vector<std::string> out;
  for (const SourceDef* s : col.sources) out.push_back(s->label);
  return out;
}

// Labels offered to a selector of type t, "off" first.
std::vector<std::string> offered(const SourceDefCol& col, SourceDef::SourceType t)
{
  std::vector<std::string> out;
  for (int i = 0; i < col.getSize(t); ++i) out.push_back(col.getSource(i, t)->label);
  return out;
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts)
{
  std::vector<std::string> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<std::string> kCommonMod = {"On",    "PBend", "PBnd+", "MW",    "MW+",
                                             "PolyA", "ChAft", "Note",  "Note+", "Velo"};
const std::vector<std::string> kMasterCommonMod = {"On",    "PBend", "PBnd+", "MW",  "MW+",
                                                   "ChAft", "Note",  "Note+", "Velo"};

std::vector<std::string> midiSources()
{
  std::vector<std::string> out;
  for (int k = 1; k <= 16; ++k) out.push_back("MID" + std::to_string(k));
  return out;
}

std::vector<std::string> clockOutputs()
{
  std::vector<std::string> out(Clock::labelSyncRate, Clock::labelSyncRate + Clock::kNumRates);
  return out;
}

// Puts a type in a slot as the product's patch editing does: declaration, master flag, instance.
void place(Veltrane& v, int slot, ModuleConfig::ModuleID id, bool master, int instance)
{
  v.slotConfig[slot].set(&v, slot, id);
  v.slotConfig[slot].master = master ? 1 : 0;
  v.slotConfig[slot].setInstance(instance);
}

bool sorted(const SourceDefCol& col)
{
  for (size_t i = 1; i < col.sources.size(); ++i)
    if (!(*col.sources[i - 1] < *col.sources[i])) return false;
  return true;
}
} // namespace

TEST(SourceLists, EmptyPatchVoiceList)
{
  auto v = MakeVeltrane();
  v->updateSources();
  EXPECT_EQ(52, v->voiceSources.size());
  EXPECT_EQ(concat({{"off"}, kCommonMod, midiSources(), {"Single", "Multi", "Voice", "Start", "Stop"}, clockOutputs()}),
            labels(v->voiceSources));
  EXPECT_EQ(10, v->voiceSources.numCommonMod);
  EXPECT_EQ(5, v->voiceSources.numTriggers);
  EXPECT_EQ(1, v->voiceSources.getSize(SourceDef::AUDIO));
  EXPECT_EQ(27, v->voiceSources.getSize(SourceDef::MODULATION));
  EXPECT_EQ(26, v->voiceSources.getSize(SourceDef::GATE));
  EXPECT_EQ(1, v->voiceSources.getSize(SourceDef::SYNC));
  EXPECT_EQ(27, v->voiceSources.getSize(SourceDef::AUDIO_OR_MOD));
  // The voice-sum selectors offer "off" alone.
  for (int p : {Veltrane::kParamSumLeft, Veltrane::kParamSumRight}) {
    IParam* param = v->GetParam(p);
    EXPECT_EQ(0.0, param->GetMin());
    EXPECT_EQ(1.0, param->GetMax()); // an enumeration of one value still spans 0..1
    ASSERT_EQ(1, param->GetNDisplayTexts());
    EXPECT_STREQ("off", param->GetDisplayText(0));
    EXPECT_EQ(0.0, param->Value());
  }
}

TEST(SourceLists, EmptyPatchMasterList)
{
  auto v = MakeVeltrane();
  v->updateSources();
  EXPECT_EQ(54, v->masterSources.size());
  EXPECT_EQ(concat({{"off", "VoiceL", "VoiceR", "Ext.L", "Ext.R"},
                    kMasterCommonMod,
                    midiSources(),
                    {"Single", "Multi", "Start", "Stop"},
                    clockOutputs()}),
            labels(v->masterSources));
  EXPECT_EQ(9, v->masterSources.numCommonMod);
  EXPECT_EQ(4, v->masterSources.numTriggers);
  // Master outputs default to the voice sums.
  EXPECT_EQ(1.0, v->masterOutLeft.Value());
  EXPECT_EQ(2.0, v->masterOutRight.Value());
  EXPECT_EQ(&v->voiceL, v->getSourceForMaster((int)v->masterOutLeft.Value(), SourceDef::AUDIO));
  EXPECT_EQ(&v->voiceR, v->getSourceForMaster((int)v->masterOutRight.Value(), SourceDef::AUDIO));
  EXPECT_EQ((std::vector<std::string>{"off", "VoiceL", "VoiceR", "Ext.L", "Ext.R"}),
            offered(v->masterSources, SourceDef::AUDIO));
  ASSERT_EQ(5, v->masterOutLeft.GetNDisplayTexts());
  EXPECT_STREQ("Ext.R", v->masterOutLeft.GetDisplayText(4));
}

TEST(SourceLists, AllListKeepsCreationOrder)
{
  auto v = MakeVeltrane();
  place(*v, 4, ModuleConfig::MOD_LFO, false, 1);
  v->updateSources();
  std::vector<std::string> expected = concat({{"off", "VoiceL", "VoiceR", "Ext.L", "Ext.R"},
                                              kCommonMod,
                                              midiSources(),
                                              clockOutputs(),
                                              {"Single", "Multi", "Voice", "Start", "Stop"},
                                              {"LFO1", "LFO1+", "LFO1"}});
  EXPECT_EQ(expected, labels(v->allSources));
  EXPECT_TRUE(sorted(v->voiceSources));
  EXPECT_TRUE(sorted(v->masterSources));
}

TEST(SourceLists, SamplePatch)
{
  auto v = MakeVeltrane();
  place(*v, 2, ModuleConfig::MOD_OSCILLATOR, false, 1);  // voice: audio and sync
  place(*v, 9, ModuleConfig::MOD_OSCILLATOR2, false, 2); // voice: two audio, two sync
  place(*v, 5, ModuleConfig::MOD_LFO, true, 1);          // master: modulation and gate
  place(*v, 7, ModuleConfig::MOD_AMPLIFIER, true, 1);    // master: audio
  place(*v, 12, ModuleConfig::MOD_ENVELOPE2, false, 1);  // voice: modulation
  v->updateSources();

  // Voice list: voice slots' outputs of every type, master slots' modulation and gate outputs.
  EXPECT_EQ((std::vector<std::string>{"off", "Osc-1", "Osc-2A", "Osc-2B"}), offered(v->voiceSources, SourceDef::AUDIO));
  EXPECT_EQ(concat({{"off"}, kCommonMod, midiSources(), {"LFO1", "LFO1+", "Env1A", "Env1B"}}),
            offered(v->voiceSources, SourceDef::MODULATION));
  EXPECT_EQ(concat({{"off", "Single", "Multi", "Voice", "Start", "Stop"}, clockOutputs(), {"LFO1"}}),
            offered(v->voiceSources, SourceDef::GATE));
  EXPECT_EQ((std::vector<std::string>{"off", "Osc-1", "Osc-2A", "Osc-2B"}), offered(v->voiceSources, SourceDef::SYNC));
  EXPECT_EQ(
      concat({{"off", "Osc-1", "Osc-2A", "Osc-2B"}, kCommonMod, midiSources(), {"LFO1", "LFO1+", "Env1A", "Env1B"}}),
      offered(v->voiceSources, SourceDef::AUDIO_OR_MOD));

  // Master list: master slots' outputs and the master built-ins only.
  EXPECT_EQ((std::vector<std::string>{"off", "VoiceL", "VoiceR", "Ext.L", "Ext.R", "Amp1L", "Amp1R"}),
            offered(v->masterSources, SourceDef::AUDIO));
  EXPECT_EQ(concat({{"off"}, kMasterCommonMod, midiSources(), {"LFO1", "LFO1+"}}),
            offered(v->masterSources, SourceDef::MODULATION));
  EXPECT_EQ((std::vector<std::string>{"off"}), offered(v->masterSources, SourceDef::SYNC));

  // Texts: label and output text, with the master tag for master slots.
  EXPECT_STREQ("Oscillator 1", v->voiceSources.getSourceText("Osc-1"));
  EXPECT_STREQ("Dual Oscillator 2 B", v->voiceSources.getSourceText("Osc-2B"));
  EXPECT_STREQ("LFO 1  [Master]", v->voiceSources.getSourceText("LFO1"));
  EXPECT_STREQ("LFO 1 (positive) [Master]", v->voiceSources.getSourceText("LFO1+"));
  EXPECT_STREQ("Amplifier 1 Right [Master]", v->masterSources.getSourceText("Amp1R"));
  EXPECT_STREQ("Dual Envelope 1 A", v->voiceSources.getSourceText("Env1A"));
  // A master audio output never reaches the voice list.
  EXPECT_EQ(nullptr, v->voiceSources.getSource("Amp1L"));

  // The voice-sum selectors now offer the voice slots' audio outputs.
  IParam* sum = v->GetParam(Veltrane::kParamSumLeft);
  ASSERT_EQ(4, sum->GetNDisplayTexts());
  EXPECT_STREQ("Osc-2A", sum->GetDisplayText(2));
  EXPECT_EQ(3.0, sum->GetMax());

  // Every input selector of a slot offers its list: slot 9's modulation selectors the voice list,
  // slot 7's audio selectors the master list.
  IParam* oscMod = v->GetParam(9 * 16 + 9);
  EXPECT_EQ(v->voiceSources.getSize(SourceDef::MODULATION), oscMod->GetNDisplayTexts());
  IParam* ampIn = v->GetParam(7 * 16 + 1);
  EXPECT_EQ(7, ampIn->GetNDisplayTexts());
  EXPECT_STREQ("Amp1R", ampIn->GetDisplayText(6));
  EXPECT_EQ("M:7 P:1", std::string(ampIn->GetNameForHost())); // the name stays
}

TEST(SourceLists, OneOutputListedUnderTheShortLabel)
{
  auto v = MakeVeltrane();
  place(*v, 1, ModuleConfig::MOD_ENVELOPE, false, 2); // one modulation output
  place(*v, 3, ModuleConfig::MOD_LFO, false, 2);      // one gate output, first modulation output without letter
  v->updateSources();
  EXPECT_STREQ("Envelope 2", v->voiceSources.getSourceText("Env2"));
  EXPECT_EQ(27, v->voiceSources.getSize(SourceDef::GATE)); // off, 5 triggers, 20 clock outputs, LFO2
  const std::vector<std::string> gates = offered(v->voiceSources, SourceDef::GATE);
  EXPECT_EQ("LFO2", gates.back());
  const std::vector<std::string> mods = offered(v->voiceSources, SourceDef::MODULATION);
  EXPECT_EQ((std::vector<std::string>{"Env2", "LFO2", "LFO2+"}), std::vector<std::string>(mods.end() - 3, mods.end()));
}

TEST(SourceLists, SelectionsKeepTheirValueWhereItFits)
{
  auto v = MakeVeltrane();
  place(*v, 6, ModuleConfig::MOD_OSCILLATOR, false, 1);
  v->updateSources();
  // A modulation selector of the oscillator on entry 15 of 27 (MID5): exactly 15 after every rebuild.
  const int param = 6 * 16 + 3;
  v->SetParameterFromGUI(param, v->GetParam(param)->GetNormalized(15.0));
  EXPECT_EQ(15.0, v->GetParam(param)->Value());
  EXPECT_STREQ("MID5", v->voiceSources.getSource(15, SourceDef::MODULATION)->label);
  for (int i = 0; i < 3; ++i) {
    v->updateSources();
    EXPECT_EQ(15.0, v->GetParam(param)->Value());
  }
  // Host values land on whole entries.
  for (int k = 0; k < 27; ++k) {
    v->SetParameterFromGUI(param, (float)(k / 26.0));
    EXPECT_EQ((double)k, v->GetParam(param)->Value()) << k;
  }
  // A value beyond a shorter list is clamped to its last entry.
  v->SetParameterFromGUI(Veltrane::kParamMasterOutRight, 1.0);
  EXPECT_EQ(4.0, v->masterOutRight.Value());
  place(*v, 6, ModuleConfig::MOD_EMPTY, false, 0);
  v->updateSources();
  EXPECT_EQ(4.0, v->masterOutRight.Value());
  v->changeSourceParam(param, SourceDef::AUDIO, false); // now a list of "off" alone
  EXPECT_EQ(0.0, v->GetParam(param)->Value());
  v->changeSourceParam(1000, SourceDef::AUDIO, false); // no such parameter
  v->changeSourceParam(300, SourceDef::AUDIO, false);
}

TEST(SourceResolution, MasterSelectionsReachTheirValues)
{
  auto v = MakeVeltrane();
  place(*v, 5, ModuleConfig::MOD_LFO2, true, 1);
  place(*v, 8, ModuleConfig::MOD_SHNOISE, true, 1);
  place(*v, 10, ModuleConfig::MOD_OSCILLATOR2, true, 1);
  for (int s : {5, 8, 10}) {
    delete v->masterModules[s];
    v->masterModules[s] = v->slotConfig[s].createModule(nullptr);
  }
  v->updateSources();

  std::map<std::string, double*> expected = {
      {"VoiceL", &v->voiceL},   {"VoiceR", &v->voiceR}, {"Ext.L", &v->extL},      {"Ext.R", &v->extR},
      {"On", &v->on},           {"PBend", &v->pBend},   {"PBnd+", &v->pBendPos},  {"MW", &v->mw},
      {"MW+", &v->mwPos},       {"ChAft", &v->chAft},   {"Note", &v->masterNote}, {"Note+", &v->masterNotePos},
      {"Velo", &v->masterVelo}, {"Single", &v->single}, {"Multi", &v->multi},     {"Start", &v->start},
      {"Stop", &v->stop},
  };
  for (int k = 0; k < 16; ++k) expected["MID" + std::to_string(k + 1)] = &v->midiSourceValue[k];
  for (int k = 0; k < Clock::kNumRates; ++k) expected[Clock::labelSyncRate[k]] = &v->clock.output[k];
  Module* lfo = v->masterModules[5];
  Module* sh = v->masterModules[8];
  Module* osc = v->masterModules[10];
  expected["LFO1A"] = &lfo->modOut[0];
  expected["LFO1+"] = &lfo->modOut[1];
  expected["LFO1B"] = &lfo->modOut[2];
  expected["LFO1#"] = &lfo->modOut[3];
  expected["SH-1W"] = &sh->audioOut[0];
  expected["SH-1P"] = &sh->audioOut[1];
  expected["SH-1A"] = &sh->modOut[0];
  expected["SH-1B"] = &sh->modOut[1];
  expected["Osc-1A"] = &osc->audioOut[0];
  expected["Osc-1B"] = &osc->audioOut[1];

  int resolved = 0;
  for (SourceDef::SourceType t :
       {SourceDef::AUDIO, SourceDef::MODULATION, SourceDef::GATE, SourceDef::SYNC, SourceDef::AUDIO_OR_MOD}) {
    EXPECT_EQ(&v->zero, v->getSourceForMaster(0, t)); // "off"
    const int n = v->masterSources.getSize(t);
    for (int i = 1; i < n; ++i) {
      const SourceDef* d = v->masterSources.getSource(i, t);
      double* p = v->getSourceForMaster(i, t);
      if (d->type == SourceDef::GATE && d->module == 5) {
        EXPECT_EQ(&lfo->gateOut[d->index], p);
      } else if (d->type == SourceDef::SYNC) {
        EXPECT_EQ(&osc->syncOut[d->index], p);
      } else {
        ASSERT_TRUE(expected.count(d->label)) << d->label;
        EXPECT_EQ(expected[d->label], p) << d->label;
      }
      ++resolved;
    }
    // Beyond the list: the constant zero, never null.
    EXPECT_EQ(&v->zero, v->getSourceForMaster(n, t));
    EXPECT_EQ(&v->zero, v->getSourceForMaster(1 << 20, t));
    EXPECT_EQ(&v->zero, v->getSourceForMaster(-1, t));
  }
  EXPECT_GT(resolved, 100);
  // A master module asks through the master list.
  EXPECT_EQ(&v->voiceR, lfo->getSource(2, SourceDef::AUDIO));
  EXPECT_EQ(&v->zero, lfo->getSource(99, SourceDef::AUDIO));
}

TEST(SourceResolution, VoiceSelectionsReachTheirValues)
{
  auto v = MakeVeltrane();
  place(*v, 2, ModuleConfig::MOD_OSCILLATOR2, false, 1);
  place(*v, 5, ModuleConfig::MOD_LFO, true, 1);
  Voice& voice = v->voices[3];
  delete voice.modules[2];
  voice.modules[2] = v->slotConfig[2].createModule(&voice);
  delete v->masterModules[5];
  v->masterModules[5] = v->slotConfig[5].createModule(nullptr);
  v->updateSources();

  const SourceDefCol& list = v->voiceSources;
  auto at = [&](const char* label, SourceDef::SourceType t) {
    for (int i = 0; i < list.getSize(t); ++i)
      if (!std::strcmp(list.getSource(i, t)->label, label)) return voice.getSource(i, t);
    ADD_FAILURE() << label;
    return (double*)nullptr;
  };
  EXPECT_EQ(&voice.polyA, at("PolyA", SourceDef::MODULATION));
  EXPECT_EQ(&voice.note, at("Note", SourceDef::MODULATION));
  EXPECT_EQ(&voice.notePos, at("Note+", SourceDef::MODULATION));
  EXPECT_EQ(&voice.velo, at("Velo", SourceDef::MODULATION));
  EXPECT_EQ(&v->on, at("On", SourceDef::MODULATION));
  EXPECT_EQ(&v->chAft, at("ChAft", SourceDef::MODULATION));
  EXPECT_EQ(&v->midiSourceValue[15], at("MID16", SourceDef::MODULATION));
  EXPECT_EQ(&voice.gate, at("Voice", SourceDef::GATE));
  EXPECT_EQ(&v->multi, at("Multi", SourceDef::GATE));
  EXPECT_EQ(&v->clock.output[19], at("1/64", SourceDef::GATE));
  // The voice's own module for a voice slot; the master module for a master slot.
  EXPECT_EQ(&voice.modules[2]->audioOut[1], at("Osc-1B", SourceDef::AUDIO));
  EXPECT_EQ(&voice.modules[2]->syncOut[0], at("Osc-1A", SourceDef::SYNC));
  EXPECT_EQ(&v->masterModules[5]->modOut[1], at("LFO1+", SourceDef::MODULATION));
  EXPECT_EQ(&v->masterModules[5]->gateOut[0], at("LFO1", SourceDef::GATE));
  EXPECT_EQ(voice.modules[2], voice.getEffectiveModule(2));
  EXPECT_EQ(v->masterModules[5], voice.getEffectiveModule(5));
  // Nothing there: null for a voice.
  EXPECT_EQ(nullptr, voice.getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, voice.getSource(999, SourceDef::MODULATION));
  EXPECT_EQ(nullptr, voice.getSource(-4, SourceDef::GATE));
  // A voice module asks through its voice.
  EXPECT_EQ(&voice.modules[2]->audioOut[0], voice.modules[2]->getSource(1, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, voice.modules[2]->getSource(99, SourceDef::AUDIO));
}

TEST(SourceCollection, Lookups)
{
  SourceDefCol col;
  EXPECT_EQ(0, col.getSize(SourceDef::AUDIO));
  EXPECT_EQ(nullptr, col.getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, col.getSource("off"));
  col.addSource(new SourceDef(SourceDef::OFF, SourceDef::kGroupOff, 0, "off", "off"));
  EXPECT_STREQ("off", col.getSource(0, SourceDef::GATE)->label);
  EXPECT_EQ(nullptr, col.getSource(1, SourceDef::GATE));
  col.addSource(new SourceDef(SourceDef::GATE, 4, 0, "G", "gate"));
  col.addSource(new SourceDef(SourceDef::MODULATION, SourceDef::kGroupCommonMod, 0, "On", "On"));
  col.addSource(new SourceDef(SourceDef::AUDIO, 2, 1, "A1", "audio one"));
  col.addSource(new SourceDef(SourceDef::AUDIO, 2, 0, "A0", "audio zero"));
  col.addSource(new SourceDef(SourceDef::SYNC, 2, 0, "S0", "sync"));
  col.addSource(new SourceDef(SourceDef::GATE, SourceDef::kGroupTriggers, 0, "Single", "Single Trigger"));
  EXPECT_EQ(1, col.numCommonMod);
  EXPECT_EQ(1, col.numTriggers);
  col.sort();
  EXPECT_EQ((std::vector<std::string>{"off", "A0", "A1", "On", "Single", "G", "S0"}), labels(col));
  EXPECT_EQ(3, col.getSize(SourceDef::AUDIO));
  EXPECT_EQ(4, col.getSize(SourceDef::AUDIO_OR_MOD));
  EXPECT_EQ(3, col.getSize(SourceDef::GATE));
  EXPECT_EQ(2, col.getSize(SourceDef::SYNC));
  EXPECT_STREQ("On", col.getSource(3, SourceDef::AUDIO_OR_MOD)->label);
  EXPECT_STREQ("G", col.getSource(2, SourceDef::GATE)->label);
  EXPECT_EQ(nullptr, col.getSource(3, SourceDef::GATE));
  EXPECT_EQ(nullptr, col.getSource(-1, SourceDef::GATE));
  EXPECT_EQ(2, col.getSourceIndex(SourceDef::AUDIO, 2, 1));
  EXPECT_EQ(3, col.getSourceIndex(SourceDef::AUDIO_OR_MOD, SourceDef::kGroupCommonMod, 0));
  EXPECT_EQ(0, col.getSourceIndex(SourceDef::AUDIO, 3, 0));
  EXPECT_EQ(0, col.getSourceIndex(SourceDef::OFF, SourceDef::kGroupOff, 0)); // "off" itself is not searched
  // Selector values: positions among the entries a selector of the first type lists ("off" is 0).
  EXPECT_EQ(2, col.getPosition(SourceDef::GATE, SourceDef::GATE, 4, 0));
  EXPECT_EQ(1, col.getPosition(SourceDef::SYNC, SourceDef::SYNC, 2, 0));
  EXPECT_EQ(3, col.getPosition(SourceDef::AUDIO_OR_MOD, SourceDef::MODULATION, SourceDef::kGroupCommonMod, 0));
  EXPECT_EQ(0, col.getPosition(SourceDef::AUDIO_OR_MOD, SourceDef::SYNC, 2, 0)); // not listed by that selector
  EXPECT_EQ(1, col.getPosition(SourceDef::AUDIO, SourceDef::AUDIO, 2, 0));
  EXPECT_EQ(2, col.getPosition(SourceDef::AUDIO_OR_MOD, SourceDef::AUDIO, 2, 1));
  EXPECT_EQ(0, col.getPosition(SourceDef::GATE, SourceDef::GATE, 5, 0));
  EXPECT_STREQ("audio one", col.getSourceText("A1"));
  EXPECT_EQ(nullptr, col.getSourceText("nope"));
  EXPECT_EQ(nullptr, col.getSourceText(nullptr));
  EXPECT_STREQ("sync", col.getSource("S0")->text);
  EXPECT_EQ(col.sources[0], col.getSource("off"));

  // An entry added after the sort is found too (the lookups by type are made again at the next sort).
  col.addSource(new SourceDef(SourceDef::GATE, 5, 0, "G5", "late gate"));
  EXPECT_STREQ("G5", col.getSource(3, SourceDef::GATE)->label);

  SourceDefCol view;
  for (SourceDef* s : col.sources) view.addSource(s);
  view.clearSources(); // forgets without deleting
  EXPECT_EQ(0, view.size());
  EXPECT_EQ(0, view.numCommonMod);
  col.deleteSources();
  EXPECT_EQ(0, col.size());
  EXPECT_EQ(0, col.numTriggers);
}

// The product's list keeps its entries in reserved storage (rebuilt on the audio thread without allocating):
// they never move, a full storage refuses more, and two lists exchange entries and lookups whole.
TEST(SourceCollection, StoredEntriesStayPutAndTravelWithTheirList)
{
  SourceDefCol col;
  col.reserve(3);
  SourceDef* off = col.add(SourceDef::OFF, SourceDef::kGroupOff, 0, "off", "off");
  SourceDef* b = col.add(SourceDef::AUDIO, 2, 0, "B", "b");
  SourceDef* a = col.add(SourceDef::AUDIO, 1, 0, "A", "a");
  EXPECT_EQ(nullptr, col.add(SourceDef::AUDIO, 3, 0, "C", "c"));
  EXPECT_EQ(3, col.size());
  col.sort();
  EXPECT_EQ(off, col.getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(a, col.getSource(1, SourceDef::AUDIO));
  EXPECT_EQ(b, col.getSource(2, SourceDef::AUDIO));

  SourceDefCol other;
  other.swap(col);
  EXPECT_EQ(0, col.size());
  EXPECT_EQ(nullptr, col.getSource(1, SourceDef::AUDIO));
  EXPECT_EQ(b, other.getSource(2, SourceDef::AUDIO));
  EXPECT_STREQ("A", a->label); // still where it was made
  other.clearStored();
  EXPECT_EQ(0, other.size());
  EXPECT_NE(nullptr, other.add(SourceDef::GATE, 1, 0, "G", "g")); // the room is there again
}

TEST(SourceCollection, EntriesCutLongNames)
{
  const std::string longLabel(40, 'L'), longText(100, 'T');
  SourceDef d(SourceDef::AUDIO, 1, 2, longLabel.c_str(), longText.c_str());
  EXPECT_EQ(std::string(15, 'L'), d.label);
  EXPECT_EQ(std::string(63, 'T'), d.text);
  SourceDef n(SourceDef::AUDIO, 1, 2, nullptr, nullptr);
  EXPECT_STREQ("", n.label);
  // Ordered by type, module, index, as signed numbers.
  const SourceDef a(SourceDef::MODULATION, -5, 9, "", ""), b(SourceDef::MODULATION, -4, 0, "", ""),
      c(SourceDef::MODULATION, 0, 0, "", ""), e(SourceDef::GATE, -3, 0, "", "");
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(b < c);
  EXPECT_TRUE(c < e);
  EXPECT_FALSE(c < c);
}
