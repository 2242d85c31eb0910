// The product class as a host and the editor meet it: where parameter changes go, what a reset and a
// resume do, the start-up bank, private parameters, and that an instance takes all its modules with it.
#include "engine_harness.h"
#include "OscBase.h"
#include "Oscillator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <typeinfo>

namespace {
int gDeleted = 0;
class CountedModule : public ProbeModule
{
public:
  using ProbeModule::ProbeModule;
  ~CountedModule() override { ++gDeleted; }
};
} // namespace

TEST(Product, SlotParametersReachTheirSection)
{
  HostedVeltrane h;
  Veltrane& v = *h.plug;
  const std::vector<ProbeModule*> voiceProbes = InstallVoiceProbe(v, 4);
  ProbeModule* master = InstallMasterProbe(v, 9);
  v.SetParameterFromGUI(Veltrane::kParamVoices, 0.2); // 4 voices
  ASSERT_EQ(4, v.activeVoices);
  for (ProbeModule* p : voiceProbes) p->lastParam[12] = -1.0;
  v.GetParam(4 * 16 + 12)->Set(0.75);
  v.OnParamChange(4 * 16 + 12);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(i < 4 ? 0.75 : -1.0, voiceProbes[i]->lastParam[12]) << i;
  v.GetParam(9 * 16 + 2)->Set(0.5);
  v.OnParamChange(9 * 16 + 2);
  EXPECT_EQ(0.5, master->lastParam[2]);
  // Global parameters go to the active voices too.
  v.GetParam(Veltrane::kParamOutAttack)->Set(0.3);
  v.OnParamChange(Veltrane::kParamOutAttack);
  EXPECT_EQ(0.3, v.voices[3].envelope.attack);
  EXPECT_NE(0.3, v.voices[4].envelope.attack);
  v.OnParamChange(300); // no such parameter
  v.OnParamChange(-3);
  // Out-of-range voice counts are ignored (a parameter redefined wider than the table).
  v.GetParam(Veltrane::kParamVoices)->InitInt("Voices", 0, 0, 20, "", "");
  v.GetParam(Veltrane::kParamVoices)->Set(15);
  v.OnParamChange(Veltrane::kParamVoices);
  EXPECT_EQ(4, v.activeVoices);
}

TEST(Product, ResetAndResume)
{
  HostedVeltrane h(48000, 256);
  Veltrane& v = *h.plug;
  v.SetParameterFromGUI(Veltrane::kParamVoices, 0.5); // 16 voices
  h.midi(0, 0x90, 60, 100);
  h.run(256);
  EXPECT_EQ(48, v.controlPeriod);
  EXPECT_EQ(48, v.sumBufferLength);
  EXPECT_EQ(1, v.noteOnCounter);
  // The host switches processing off (reset) and changes the rate: the notes end, the voice count stays.
  h.dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(16, v.activeVoices);
  EXPECT_EQ(0, v.noteOnCounter);
  EXPECT_EQ(48, v.voices[0].noteNumber);
  EXPECT_FALSE(v.voices[0].keyDown);
  h.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(96, v.controlPeriod);
  EXPECT_EQ(96, v.sumBufferLength);
  h.dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(16, v.activeVoices);
  h.run(256); // with the new period
}

TEST(Product, PrivateParametersStayWithTheProduct)
{
  HostedVeltrane h;
  Veltrane& v = *h.plug;
  const int automations = h.automations;
  v.SetParameterFromGUI(Veltrane::kParamMasterOutLeft, 1.0); // last master audio entry: Ext.R
  v.SetParameterFromGUI(Veltrane::kParamPortaLegato, 1.0);
  EXPECT_EQ(automations, h.automations);
  EXPECT_EQ(&v.extR, v.masterOutputLeft);
  EXPECT_TRUE(v.portaLegatoOn);
  EXPECT_TRUE(v.voices[0].legato);
  v.SetParameterFromGUI(Veltrane::kParamVolume, 0.75);
  EXPECT_GT(h.automations, automations); // host parameters are reported
}

TEST(Product, ProgramChangesByTheHostStopNotes)
{
  HostedVeltrane h;
  Veltrane& v = *h.plug;
  InstallVoiceProbe(v, 0);
  h.midi(0, 0x90, 60, 100);
  h.run(64);
  ASSERT_TRUE(v.voices[0].keyDown);
  v.PresetsChangedByHost();
  EXPECT_FALSE(v.voices[0].keyDown);
  EXPECT_EQ(0, v.numPressedKeys);
}

TEST(Product, StartupBankIsAppliedToEveryVoice)
{
  // A bank whose program 0 holds voice and master modules, found through the resources folder.
  TempDir dir;
  {
    auto source = MakeVeltrane();
    source->EnsureDefaultPreset();
    source->replaceModule(2, ModuleConfig::MOD_LFO, false, false);
    source->replaceModule(3, ModuleConfig::MOD_MIXER, true, false);
    source->SetParameterFromGUI(Veltrane::kParamVolume, 0.75);
    source->ModifyCurrentPreset("Start Here");
    WDL_String path((dir.dir() + "/init.fxb").c_str());
    ASSERT_TRUE(source->SaveBankAsFXB(&path));
  }
  setenv("VELTRANE_RESOURCES", dir.dir().c_str(), 1);
  auto v = MakeVeltrane();
  unsetenv("VELTRANE_RESOURCES");
  EXPECT_STREQ("Start Here", v->GetPresetName(0));
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[2].moduleID);
  EXPECT_EQ(1, v->slotConfig[3].master);
  EXPECT_DOUBLE_EQ(1.5, v->volume);
  for (const Voice& voice : v->voices) {
    ASSERT_EQ(1u, voice.processList.size());
    EXPECT_EQ(&v->slotConfig[2], voice.processList[0]->config);
  }
  EXPECT_EQ(1u, v->masterProcessList.size());
  EXPECT_FALSE(v->loadingStartupBank);
  EXPECT_FALSE(v->suspended);
  EXPECT_TRUE(v->panelRebuild);

  // While the bank loads, parameter changes reach no module.
  v->loadingStartupBank = true;
  const double before = v->volume;
  v->GetParam(Veltrane::kParamVolume)->Set(2.0);
  v->OnParamChange(Veltrane::kParamVolume);
  EXPECT_EQ(before, v->volume);
  v->loadingStartupBank = false;
}

// The generated start-up bank: each of the 44 module types is in some program, and no program's name is
// longer than the 23 characters a host shows (a longer one would reach the player cut mid-word). Made,
// opened and switched on with it, the plug-in has told the host of no parameter change (a host writing
// automation would record them all); an edit afterwards is reported.
TEST(StartupBank, EveryModuleTypeIsInSomeProgramNamesFitAndNoAutomationIsSent)
{
  UseGeneratedStartupBank();
  HostedVeltrane h;
  unsetenv("VELTRANE_RESOURCES");
  ASSERT_STREQ("First Sound", h.plug->GetPresetName(0));
  EXPECT_EQ(0, h.automations);
  h.plug->SetParameterFromGUI(Veltrane::kParamVolume, 0.3);
  EXPECT_EQ(1, h.automations);
  std::set<int> used;
  for (int p = 0; p < Synth::kNumPrograms; ++p) {
    h.dispatch(effSetProgram, 0, p);
    for (const ModuleConfig& c : h.plug->slotConfig) used.insert(c.moduleID);
    EXPECT_LT(std::strlen(h.plug->GetPresetName(p)), (size_t)kVstMaxProgNameLen) << h.plug->GetPresetName(p);
  }
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id)
    EXPECT_EQ(1u, used.count(id)) << ModuleConfig::labelModuleName[id] << " is in no program";
}

// Voices beyond the voice count hold the slots' modules too, so that a growing voice count builds nothing:
// four notes sound the same as when the four voices played all along, also after a change made with one
// voice over voices that had been playing.
TEST(Product, VoicesBeyondTheVoiceCountHoldTheirModulesBeforeTheyPlay)
{
  auto play = [](int order) {
    HostedVeltrane h(48000, 64);
    Veltrane& v = *h.plug;
    auto voices = [&](int index) {
      v.SetParameterFromGUI(Veltrane::kParamVoices, v.GetParam(Veltrane::kParamVoices)->GetNormalized(index));
    };
    if (order != 1) voices(2); // 4 voices
    v.replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
    SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0);
    if (order == 2) voices(0);
    v.replaceModule(1, ModuleConfig::MOD_LFO, false, false);
    if (order != 0) {
      EXPECT_EQ(typeid(Oscillator), typeid(*v.voices[1].modules[0])) << "voice 2 holds its oscillator";
      voices(2);
    }
    EXPECT_EQ(typeid(Oscillator), typeid(*v.voices[3].modules[0]));
    for (int note : {48, 52, 55, 60}) h.midi(0, 0x90, note, 100);
    return h.render(2400, 64);
  };
  const std::vector<float> along = play(0);
  EXPECT_GT(*std::max_element(along.begin(), along.end()), 1.0f); // four saws at full level
  EXPECT_EQ(along, play(1));
  EXPECT_EQ(along, play(2));
}

// A chunk that is refused before anything changed leaves the modules as they play: the oscillator's phase
// runs on instead of starting again in a module made anew.
TEST(Product, ARefusedChunkLeavesThePlayingModulesInPlace)
{
  HostedVeltrane h;
  Veltrane& v = *h.plug;
  v.replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
  h.midi(0, 0x90, 60, 100);
  h.run(256);
  const OscBase* osc = static_cast<const OscBase*>(v.voices[0].modules[0]);
  const int phase = osc->phase;
  ASSERT_NE(0, phase);
  const std::vector<unsigned char> before = h.programChunk();
  // The display order (after the 8-byte header, the state version and 18 slots of type and master flag)
  // names slot 99.
  std::vector<unsigned char> bad = before;
  const int32_t slot99 = 99;
  std::memcpy(bad.data() + 8 + 4 + 18 * 5, &slot99, 4);
  EXPECT_EQ(0, h.dispatch(effSetChunk, 1, (VstIntPtr)bad.size(), bad.data()));
  EXPECT_EQ(before, h.programChunk());
  ASSERT_EQ(osc, v.voices[0].modules[0]);
  EXPECT_EQ(phase, osc->phase);
}

TEST(Product, AnInstanceTakesItsModulesWithIt)
{
  gDeleted = 0;
  {
    auto v = MakeVeltrane();
    v->replaceModule(6, ModuleConfig::MOD_OSCILLATOR, false, false);
    for (Voice& voice : v->voices) {
      delete voice.modules[6];
      voice.modules[6] = new CountedModule(&v->slotConfig[6], &voice, v.get(), 0.0);
      voice.rebuildProcessList();
    }
    delete v->masterModules[11];
    v->masterModules[11] = new CountedModule(&v->slotConfig[11], nullptr, v.get(), 0.0);
  }
  EXPECT_EQ(65, gDeleted);
}
