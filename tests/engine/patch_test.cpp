// Patch editing: replacing a slot's module (compatible types keep their values, others take their own
// defaults), switching between voice and master, instance numbers, every source selector staying on its
// source while slots change, and the display-order edits.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

namespace {
using Key = std::tuple<int, int, int>; // type, module, index

// What a selector names now.
Key named(Veltrane& v, int paramIdx, bool master, SourceDef::SourceType type)
{
  const SourceDefCol& list = master ? v.masterSources : v.voiceSources;
  const SourceDef* d = list.getSource(v.getAnyParam(paramIdx)->Int(), type);
  return d ? Key{d->type, d->module, d->index} : Key{-1, -1, -1};
}

const Key kOff{SourceDef::OFF, SourceDef::kGroupOff, 0};

std::unique_ptr<Veltrane> patch()
{
  auto v = MakeVeltrane();
  v->SetSampleRate(44100.0);
  v->SetBlockSize(64);
  v->Reset();
  return v;
}

// An instance whose programs' lock a test may hold, as a thread that copies a program out holds it.
class LockablePrograms : public Veltrane
{
public:
  using Veltrane::Veltrane;
  WDL_Mutex& programsLock() { return mPresetsMutex; }
};

double clamp(double x, const IParam* p)
{
  return x < p->GetMin() ? p->GetMin() : (x > p->GetMax() ? p->GetMax() : x);
}
} // namespace

TEST(PatchEditing, CompatibleFiltersKeepTheirValues)
{
  auto v = patch();
  v->replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
  v->replaceModule(6, ModuleConfig::MOD_LADDER, false, false);
  const int base = 6 * 16;
  double values[16];
  for (int p = 0; p < 16; ++p) {
    IParam* param = v->GetParam(base + p);
    if (v->slotConfig[6].isInputParam(p)) continue;
    param->Set(param->GetMin() + 0.37 * (param->GetMax() - param->GetMin()));
    v->OnParamChange(base + p);
  }
  SelectSource(*v, base + 4, false, SourceDef::AUDIO, 0, 0); // the filter's first audio input: the oscillator
  for (int p = 0; p < 16; ++p) values[p] = v->GetParam(base + p)->Value();

  for (int id : {ModuleConfig::MOD_K35, ModuleConfig::MOD_COMB, ModuleConfig::MOD_LADDER}) {
    v->replaceModule(6, id, false, false);
    EXPECT_EQ(id, v->slotConfig[6].moduleID);
    // Each value is kept, clamped into the new type's range (input selectors keep their source, below).
    for (int p = 0; p < 16; ++p) {
      const IParam* param = v->GetParam(base + p);
      if (!v->slotConfig[6].isInputParam(p)) {
        EXPECT_DOUBLE_EQ(clamp(values[p], param), param->Value()) << id << " parameter " << p;
      }
      values[p] = param->Value();
    }
    EXPECT_EQ((Key{SourceDef::AUDIO, 0, 0}), named(*v, base + 4, false, SourceDef::AUDIO)) << id;
  }
  EXPECT_FALSE(v->suspended);
}

TEST(PatchEditing, OtherTypesStartFromTheirDefaults)
{
  auto v = patch();
  v->replaceModule(6, ModuleConfig::MOD_LADDER, false, false);
  for (int p = 0; p < 16; ++p) {
    IParam* param = v->GetParam(6 * 16 + p);
    param->Set(param->GetMax());
  }
  // The stereo ladder is not compatible with the mono one, nor a filter with an amplifier.
  for (int id : {ModuleConfig::MOD_STEREOLADDER, ModuleConfig::MOD_AMPLIFIER}) {
    v->replaceModule(6, id, false, false);
    // Every parameter the new type uses (a parameter it leaves unused keeps whatever it held).
    for (int p = 0; p < v->slotConfig[6].numParams; ++p) {
      const IParam* param = v->GetParam(6 * 16 + p);
      EXPECT_EQ(param->GetDefault(), param->Value()) << id << " parameter " << p;
    }
    for (int p = 0; p < 16; ++p) v->GetParam(6 * 16 + p)->Set(v->GetParam(6 * 16 + p)->GetMax());
  }
}

TEST(PatchEditing, SwitchingSectionsKeepsKnobsButNotInputs)
{
  auto v = patch();
  v->replaceModule(2, ModuleConfig::MOD_LFO, false, false);
  v->replaceModule(5, ModuleConfig::MOD_OSCILLATOR, false, false);
  const int base = 5 * 16;
  for (int p = 0; p < 16; ++p) {
    if (v->slotConfig[5].isInputParam(p)) continue;
    IParam* param = v->GetParam(base + p);
    param->Set(param->GetMin() + 0.6 * (param->GetMax() - param->GetMin()));
  }
  SelectSource(*v, base + 3, false, SourceDef::MODULATION, 2, 0); // an oscillator modulation input on the LFO
  double before[16];
  for (int p = 0; p < 16; ++p) before[p] = v->GetParam(base + p)->Value();

  v->replaceModule(5, ModuleConfig::MOD_OSCILLATOR, true, false);
  EXPECT_EQ(1, v->slotConfig[5].master);
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, v->slotConfig[5].moduleID);
  for (int p = 0; p < 16; ++p) {
    const IParam* param = v->GetParam(base + p);
    if (v->slotConfig[5].isInputParam(p))
      EXPECT_EQ(0, param->Int()) << p;
    else
      EXPECT_DOUBLE_EQ(before[p], param->Value()) << p;
  }
  // The master module runs; no voice processes the slot any more.
  ASSERT_EQ(1u, v->masterProcessList.size());
  EXPECT_EQ(v->masterModules[5], v->masterProcessList[0]);
  EXPECT_TRUE(v->masterModulesPresent);
  for (const Voice& voice : v->voices)
    for (const Module* m : voice.processList) EXPECT_NE(&v->slotConfig[5], m->config);

  // And back.
  v->replaceModule(5, ModuleConfig::MOD_OSCILLATOR, false, false);
  EXPECT_TRUE(v->masterProcessList.empty());
  EXPECT_FALSE(v->masterModulesPresent);
  EXPECT_TRUE(v->voiceSlotsPresent);
}

TEST(PatchEditing, InstancesFollowTheDisplayOrder)
{
  auto v = patch();
  // Oscillator types sharing "Osc-" at display positions 3 and 7 (slots 10 and 1), a filter between.
  v->displayOrder = {5, 6, 7, 10, 8, 2, 9, 1, 0, 3, 4, 11, 12, 13, 14, 15, 16, 17};
  v->replaceModule(1, ModuleConfig::MOD_OSCILLATOR2, false, false);
  v->replaceModule(10, ModuleConfig::MOD_OSCILLATOR, false, false);
  v->replaceModule(8, ModuleConfig::MOD_LADDER, false, false);
  v->replaceModule(9, ModuleConfig::MOD_NOISE, false, false); // "Nz-": numbered apart
  EXPECT_EQ(1, v->slotConfig[10].instance);
  EXPECT_STREQ("Osc-1", v->slotConfig[10].shortLabel);
  EXPECT_STREQ("Oscillator 1", v->slotConfig[10].label);
  EXPECT_EQ(2, v->slotConfig[1].instance);
  EXPECT_STREQ("Dual Oscillator 2", v->slotConfig[1].label);
  EXPECT_EQ(1, v->slotConfig[8].instance);
  EXPECT_EQ(1, v->slotConfig[9].instance);
  EXPECT_EQ(0, v->slotConfig[0].instance);
  EXPECT_STREQ("Empty", v->slotConfig[0].label);
  // Twelve oscillators count to 12.
  for (int s = 0; s < 12; ++s) v->slotConfig[s].set(v.get(), s, ModuleConfig::MOD_OSCILLATOR);
  v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  v->updateInstances();
  EXPECT_STREQ("Osc-12", v->slotConfig[11].shortLabel);
}

TEST(PatchEditing, SelectorsStayOnTheirSources)
{
  auto v = patch();
  v->replaceModule(9, ModuleConfig::MOD_MIXER, false, false);      // audio outputs L, R
  v->replaceModule(12, ModuleConfig::MOD_AMPLIFIER, false, false); // audio inputs at parameters 1 and 3
  const int ampIn = 12 * 16 + 1, ampIn2 = 12 * 16 + 3;
  SelectSource(*v, ampIn, false, SourceDef::AUDIO, 9, 1);
  SelectSource(*v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 12, 0);
  SelectSource(*v, Veltrane::kParamSumRight, false, SourceDef::AUDIO, 9, 0);
  const Key mixR{SourceDef::AUDIO, 9, 1}, ampL{SourceDef::AUDIO, 12, 0}, mixL{SourceDef::AUDIO, 9, 0};

  struct Step
  {
    int slot, id;
  };
  // Slot 4 (below both) gets outputs, loses them, gets others; slot 15 (above) likewise.
  const Step steps[] = {{4, ModuleConfig::MOD_NOISE},      {4, ModuleConfig::MOD_EMPTY},
                        {4, ModuleConfig::MOD_RESONATORS}, {15, ModuleConfig::MOD_SAMPLEDELAY},
                        {4, ModuleConfig::MOD_LFO},        {15, ModuleConfig::MOD_EMPTY}};
  for (const Step& s : steps) {
    v->replaceModule(s.slot, s.id, false, false);
    EXPECT_EQ(mixR, named(*v, ampIn, false, SourceDef::AUDIO)) << s.slot << "/" << s.id;
    EXPECT_EQ(ampL, named(*v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO)) << s.slot << "/" << s.id;
    EXPECT_EQ(mixL, named(*v, Veltrane::kParamSumRight, false, SourceDef::AUDIO)) << s.slot << "/" << s.id;
    // The voices' modules read what the selector names.
    const double* read = v->voices[0].getSource(v->GetParam(ampIn)->Int(), SourceDef::AUDIO);
    EXPECT_EQ(&v->voices[0].modules[9]->audioOut[1], read);
    EXPECT_EQ(&v->voices[0].modules[12]->audioOut[0], v->voices[0].sumSourceLeft);
  }
  // A selector on one of slot 4's own outputs becomes "off" when slot 4 changes type.
  v->replaceModule(4, ModuleConfig::MOD_NOISE, false, false);
  SelectSource(*v, ampIn2, false, SourceDef::AUDIO, 4, 2);
  v->replaceModule(4, ModuleConfig::MOD_SHNOISE, false, false);
  EXPECT_EQ(kOff, named(*v, ampIn2, false, SourceDef::AUDIO));
  EXPECT_EQ(mixR, named(*v, ampIn, false, SourceDef::AUDIO));
  // So does the voice sum on an output of the slot.
  SelectSource(*v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 4, 1);
  v->replaceModule(4, ModuleConfig::MOD_EMPTY, false, false);
  EXPECT_EQ(kOff, named(*v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO));
  EXPECT_EQ(&v->voices[0].zero, v->voices[0].sumSourceLeft);
}

TEST(PatchEditing, AudioOrModulationSelectorsCountAudioFirst)
{
  auto v = patch();
  v->replaceModule(12, ModuleConfig::MOD_LFO, false, false);
  v->replaceModule(14, ModuleConfig::MOD_SHNOISE, false, false); // parameters 6 and 7: audio or modulation
  const int shIn = 14 * 16 + 6;
  SelectSource(*v, shIn, false, SourceDef::AUDIO_OR_MOD, 12, 1); // LFO+ (modulation)
  const Key lfoPlus{SourceDef::MODULATION, 12, 1};
  // Slot 2 gains an audio output, which comes before every modulation entry.
  v->replaceModule(2, ModuleConfig::MOD_OSCILLATOR, false, false);
  EXPECT_EQ(lfoPlus, named(*v, shIn, false, SourceDef::AUDIO_OR_MOD));
  // Slot 13 (above the LFO) gains both kinds.
  v->replaceModule(13, ModuleConfig::MOD_SHNOISE, false, false);
  EXPECT_EQ(lfoPlus, named(*v, shIn, false, SourceDef::AUDIO_OR_MOD));
  v->replaceModule(2, ModuleConfig::MOD_EMPTY, false, false);
  v->replaceModule(13, ModuleConfig::MOD_EMPTY, false, false);
  EXPECT_EQ(lfoPlus, named(*v, shIn, false, SourceDef::AUDIO_OR_MOD));
  // On an audio output below the change.
  v->replaceModule(3, ModuleConfig::MOD_MIXER, false, false);
  SelectSource(*v, shIn, false, SourceDef::AUDIO_OR_MOD, 3, 1);
  v->replaceModule(1, ModuleConfig::MOD_NOISE, false, false);
  EXPECT_EQ((Key{SourceDef::AUDIO, 3, 1}), named(*v, shIn, false, SourceDef::AUDIO_OR_MOD));
}

TEST(PatchEditing, MasterSelectorsStayOnTheirSources)
{
  auto v = patch();
  v->replaceModule(10, ModuleConfig::MOD_MIXER, true, false);
  v->replaceModule(11, ModuleConfig::MOD_LFO, true, false);
  SelectSource(*v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, 10, 1);
  SelectSource(*v, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 4);
  // A voice module on the master LFO's modulation output (master outputs feed voices).
  v->replaceModule(14, ModuleConfig::MOD_AMPLIFIER, false, false);
  const int ampMod = 14 * 16 + 6;
  SelectSource(*v, ampMod, false, SourceDef::MODULATION, 11, 0);
  const Key mixR{SourceDef::AUDIO, 10, 1}, extR{SourceDef::AUDIO, -6, 4}, lfo{SourceDef::MODULATION, 11, 0};

  // Slot 5 enters the master section as a new module, then switches sections.
  v->replaceModule(5, ModuleConfig::MOD_OSCILLATOR, true, false);
  EXPECT_EQ(mixR, named(*v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO));
  EXPECT_EQ(extR, named(*v, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO));
  v->replaceModule(5, ModuleConfig::MOD_OSCILLATOR, false, false);
  EXPECT_EQ(mixR, named(*v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO));
  v->replaceModule(7, ModuleConfig::MOD_LFO, false, false);
  v->replaceModule(7, ModuleConfig::MOD_LFO, true, false); // a master LFO below: its outputs join both lists
  EXPECT_EQ(mixR, named(*v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO));
  EXPECT_EQ(lfo, named(*v, ampMod, false, SourceDef::MODULATION));
  EXPECT_EQ(&v->masterModules[10]->audioOut[1], v->masterOutputLeft);
  EXPECT_EQ(&v->extR, v->masterOutputRight);
  EXPECT_EQ(&v->masterModules[11]->modOut[0],
            v->voices[0].getSource(v->GetParam(ampMod)->Int(), SourceDef::MODULATION));
  // The master mixer itself leaving the master section leaves the output "off", reading zero.
  v->replaceModule(10, ModuleConfig::MOD_MIXER, false, false);
  EXPECT_EQ(kOff, named(*v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO));
  EXPECT_EQ(&v->zero, v->masterOutputLeft);
}

TEST(PatchEditing, MovingBlocks)
{
  auto v = patch();
  for (int s : {2, 5, 6, 9}) v->replaceModule(s, ModuleConfig::MOD_LFO, false, false);
  using Order = std::vector<int>;
  const Order identity{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  struct Case
  {
    int from, to;
    Order expected;
  };
  const Case cases[] = {
      {5, 6, {0, 1, 2, 3, 4, 6, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},  // neighbours swap
      {2, 9, {0, 1, 3, 4, 5, 6, 7, 8, 9, 2, 10, 11, 12, 13, 14, 15, 16, 17}},  // onto a module: shift
      {9, 2, {0, 1, 9, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17}},  // and back the other way
      {2, 10, {0, 1, 10, 3, 4, 5, 6, 7, 8, 9, 2, 11, 12, 13, 14, 15, 16, 17}}, // onto an empty block: swap
      {3, 7, {0, 1, 2, 4, 5, 6, 7, 3, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},  // an empty block moves too
      {4, 4, identity},
      {-1, 3, identity},
      {3, 18, identity}, // nothing
  };
  for (const Case& c : cases) {
    v->displayOrder = identity;
    v->panelRebuild = false;
    v->moveModule(c.from, c.to);
    EXPECT_EQ(c.expected, v->displayOrder) << c.from << " -> " << c.to;
    EXPECT_EQ(c.expected != identity, v->panelRebuild);
    EXPECT_FALSE(v->suspended);
  }
  // The current program keeps the new order, in the current layout: with the rest of the live state (a
  // volume set since) after a move on the editor's thread, alone after one a block carries out.
  HostedVeltrane h(44100, 64);
  h.plug->editorThread = std::thread::id(); // the editor's thread is another
  for (Veltrane* p : {v.get(), h.plug}) {
    const bool audio = p == h.plug;
    p->displayOrder = identity;
    p->stateVersion = 900;
    p->GetParam(Veltrane::kParamVolume)->Set(0.75);
    if (audio) {
      p->postCommand(Veltrane::kCommandMove, 0, 1);
      h.run(64);
    } else {
      p->moveModule(0, 1);
    }
    const ByteChunk* stored = p->GetPresetChunk(p->GetCurrentPresetIdx());
    int version = 0, firstShown = -1;
    double volume = 0.0;
    stored->Get(&version, 0);
    stored->Get(&firstShown, 4 + 18 * 5);
    stored->Get(&volume, 4 + 18 * 5 + 18 * 4 + Veltrane::kParamVolume * 8);
    EXPECT_EQ(1001, version);
    EXPECT_EQ(1, firstShown);
    EXPECT_EQ(!audio, volume == 0.75) << volume;
  }
  // A block that finds the programs' lock taken writes the order at a later block, unless the program took
  // another state meanwhile (a program chunk, whose order stays).
  for (const bool replaced : {false, true}) {
    HostedVeltrane b(44100, 64, [](IPlugInstanceInfo info) -> IPlugVST* { return new LockablePrograms(info); });
    b.plug->editorThread = std::thread::id();
    const std::vector<unsigned char> chunk = b.programChunk();
    std::atomic<int> step{0};
    std::thread holder([&] {
      WDL_MutexLock lock(&static_cast<LockablePrograms*>(b.plug)->programsLock());
      step = 1;
      while (step.load() != 2) std::this_thread::yield();
    });
    while (step.load() != 1) std::this_thread::yield();
    b.plug->postCommand(Veltrane::kCommandMove, 0, 1);
    b.run(64);
    step = 2;
    holder.join();
    if (replaced) std::thread([&] { b.dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), (void*)chunk.data()); }).join();
    b.run(64);
    int firstShown = -1;
    b.plug->GetPresetChunk(b.plug->GetCurrentPresetIdx())->Get(&firstShown, 4 + 18 * 5);
    EXPECT_EQ(replaced ? 0 : 1, firstShown) << "the program took another state since the move: " << replaced;
  }
}

TEST(PatchEditing, RemovingEmptyBlocks)
{
  auto v = patch();
  v->replaceModule(3, ModuleConfig::MOD_LFO, false, false);
  const std::vector<int> before = v->displayOrder;
  v->removeEmptyBlock(3); // holds a module: nothing
  v->removeEmptyBlock(-1);
  v->removeEmptyBlock(18);
  EXPECT_EQ(before, v->displayOrder);
  v->slotConfig[4].master = 1; // an empty master block
  v->removeEmptyBlock(4);
  EXPECT_EQ(0, v->slotConfig[4].master);
  EXPECT_EQ(4, v->displayOrder[17]);
  EXPECT_EQ(5, v->displayOrder[4]);
}

TEST(PatchEditing, CommandsRunAtTheNextBlock)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  v.postCommand(Veltrane::kCommandReplace, 3, ModuleConfig::MOD_AMPLIFIER);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[3].moduleID);
  h.run(64);
  EXPECT_EQ(ModuleConfig::MOD_AMPLIFIER, v.slotConfig[3].moduleID);
  EXPECT_TRUE(v.panelRebuild);
  // A second command posted before the block is carried out after the first; neither is lost.
  v.postCommand(Veltrane::kCommandReplace, 4, ModuleConfig::MOD_LFO);
  v.postCommand(Veltrane::kCommandToggleMaster, 3, 1);
  h.run(64);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[4].moduleID);
  v.postCommand(Veltrane::kCommandReplace, 4, ModuleConfig::MOD_EMPTY);
  h.run(64);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[4].moduleID);
  EXPECT_EQ(1, v.slotConfig[3].master);
  EXPECT_EQ(ModuleConfig::MOD_AMPLIFIER, v.slotConfig[3].moduleID);
  v.postCommand(Veltrane::kCommandMove, 3, 0);
  h.run(64);
  EXPECT_EQ(3, v.displayOrder[0]);
  v.postCommand(Veltrane::kCommandPlugToCommon, 0, 0);
  h.run(64);
  EXPECT_EQ((Key{SourceDef::AUDIO, 3, 0}), named(v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO));
  EXPECT_EQ((Key{SourceDef::AUDIO, 3, 1}), named(v, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO));
  v.postCommand(Veltrane::kCommandRemoveEmpty, 1, 0);
  h.run(64);
  EXPECT_EQ(1, v.displayOrder[17]);
  // Bad arguments change nothing and crash nothing.
  const std::vector<unsigned char> state = WholeState(v);
  for (int code = -1; code <= 6; ++code)
    for (int arg : {-1, 18, 1000, -1000000}) {
      v.postCommand(code, arg, arg);
      h.run(64);
    }
  v.postCommand(Veltrane::kCommandReplace, 5, 45);
  h.run(64);
  EXPECT_EQ(state, WholeState(v));
}

TEST(PatchEditing, StartupBankGivesVoiceSlotsToVoiceZeroOnly)
{
  auto v = patch();
  v->loadingStartupBank = true;
  v->setModuleConfig(8, ModuleConfig::MOD_LFO, false);
  v->loadingStartupBank = false;
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->voices[0].modules[8]->config->moduleID);
  EXPECT_EQ(1u, v->voices[0].processList.size());
  EXPECT_TRUE(v->voices[1].processList.empty());
  EXPECT_TRUE(v->voiceSlotsPresent);
  // A master module starts from the slot's default values.
  v->setModuleConfig(9, ModuleConfig::MOD_LFO, true);
  ASSERT_NE(nullptr, v->masterModules[9]);
  EXPECT_EQ(nullptr, v->masterModules[9]->voice);
  EXPECT_EQ(&v->slotConfig[9], v->masterModules[9]->config);
  EXPECT_EQ(1, v->slotConfig[9].master);
}
