// The product's parameters as a host and the editor see them: the global and private parameters, the
// neutral slot parameters, the display texts of module parameters, and the product's starting state.
#include "engine_harness.h"

#include "IControl.h"
#include "Module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {
Veltrane& plug()
{
  static std::unique_ptr<Veltrane> v = MakeVeltrane();
  return *v;
}

std::string display(IParam* p, double value)
{
  char text[IParam::kDisplayBufferSize];
  p->GetDisplayForHost(value, false, text);
  return text;
}

std::string format(void (*f)(double, char*), double value)
{
  char text[IParam::kDisplayBufferSize];
  std::memset(text, 'x', sizeof(text));
  f(value, text);
  return text;
}
} // namespace

TEST(GlobalParameters, Definitions)
{
  struct Case
  {
    int index;
    const char* name;
    double min, max, def, step, shape;
  };
  const Case cases[] = {
      {288, "Voices", 0, 10, 0, 1, 1},          {289, "Voices Sum Left", 0, 1, 0, 1, 1},
      {290, "Voices Sum Right", 0, 1, 0, 1, 1}, {291, "Volume", 0, 2, 0.5, 0.01, 1},
      {292, "Out Trigger", 0, 1, 1, 1, 1},      {293, "Out Attack", 0, 1, 0, 0.01, 1},
      {294, "Out Decay", 0, 1, 0, 0.01, 1},     {295, "Out Sustain", 0, 1, 1, 0.01, 1},
      {296, "Out Release", 0, 1, 0, 0.01, 1},   {297, "PB Range", -24, 24, 2, 1, 1},
      {298, "Portamnt", 0, 5, 0, 0.001, 4},     {299, "Custom Tun", 0, 1, 0, 1, 1},
      {301, "Porta Legato", 0, 1, 0, 1, 1},     {302, "Master Out Left", 0, 1, 1, 1, 1},
      {303, "Master Out Right", 0, 1, 2, 1, 1},
  };
  auto v = MakeVeltrane();
  v->initParameters(); // the definitions themselves, before the source lists widen the selectors
  for (const Case& c : cases) {
    IParam* p = v->getAnyParam(c.index);
    ASSERT_NE(nullptr, p) << c.index;
    EXPECT_STREQ(c.name, p->GetNameForHost()) << c.index;
    EXPECT_EQ(c.min, p->GetMin()) << c.index;
    EXPECT_EQ(c.max, p->GetMax()) << c.index;
    EXPECT_EQ(c.def, p->GetDefault()) << c.index;
    EXPECT_DOUBLE_EQ(c.step, p->GetStep()) << c.index;
    EXPECT_DOUBLE_EQ(c.shape, p->GetShape()) << c.index;
    EXPECT_STREQ("", p->GetParamGroupForHost()) << c.index;
  }
  EXPECT_EQ(nullptr, v->getAnyParam(300));
  EXPECT_EQ(nullptr, v->getAnyParam(304));
  EXPECT_EQ(nullptr, v->getAnyParam(-1));
  // Kinds: enumerations, an int, doubles; untyped selectors and private parameters are bools.
  EXPECT_EQ(IParam::kTypeEnum, v->GetParam(288)->Type());
  EXPECT_EQ(IParam::kTypeEnum, v->GetParam(292)->Type());
  EXPECT_EQ(IParam::kTypeEnum, v->GetParam(299)->Type());
  EXPECT_EQ(IParam::kTypeInt, v->GetParam(297)->Type());
  EXPECT_EQ(IParam::kTypeDouble, v->GetParam(291)->Type());
  EXPECT_EQ(IParam::kTypeBool, v->GetParam(289)->Type());
  EXPECT_EQ(IParam::kTypeBool, v->portaLegato.Type());
  EXPECT_EQ(IParam::kTypeBool, v->masterOutLeft.Type());
}

TEST(GlobalParameters, DisplayTexts)
{
  Veltrane& v = plug();
  const char* voices[] = {"1", "2", "4", "8", "12", "16", "20", "24", "32", "48", "64"};
  const int counts[] = {1, 2, 4, 8, 12, 16, 20, 24, 32, 48, 64};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(voices[i], display(v.GetParam(288), i));
    EXPECT_EQ(counts[i], Veltrane::nVoices[i]);
  }
  EXPECT_EQ("Single", display(v.GetParam(292), 0));
  EXPECT_EQ("Multiple", display(v.GetParam(292), 1));
  EXPECT_EQ("Off", display(v.GetParam(299), 0));
  EXPECT_EQ("On", display(v.GetParam(299), 1));
  EXPECT_EQ("On", display(&v.portaLegato, 0));
  EXPECT_EQ("Legato", display(&v.portaLegato, 1));
  EXPECT_EQ("HOLD", display(v.GetParam(296), 1.0));
  EXPECT_EQ("0.50", display(v.GetParam(296), 0.5));
  EXPECT_EQ("0.00", display(v.GetParam(296), 0.0));
  EXPECT_EQ("-6.0", display(v.GetParam(291), 0.5)); // the default halves the amplitude
  EXPECT_EQ("0.0", display(v.GetParam(291), 1.0));
  EXPECT_EQ("6.0", display(v.GetParam(291), 2.0));
  EXPECT_EQ("-oo", display(v.GetParam(291), 0.0));
}

TEST(GlobalParameters, HostValues)
{
  auto v = MakeVeltrane();
  IParam* porta = v->GetParam(298);
  porta->SetNormalized(0.5);
  EXPECT_DOUBLE_EQ(0.3125, porta->Value()); // 5 * 0.5^4 seconds
  IParam* bend = v->GetParam(297);
  bend->SetNormalized(0.0);
  EXPECT_EQ(-24.0, bend->Value());
  bend->SetNormalized(1.0);
  EXPECT_EQ(24.0, bend->Value());
  IParam* voices = v->GetParam(288);
  voices->SetNormalized(0.4);
  EXPECT_EQ(4.0, voices->Value());
  EXPECT_EQ(12, Veltrane::nVoices[voices->Int()]);
}

TEST(GlobalParameters, PrivateParametersStayOffTheHost)
{
  auto v = MakeVeltrane();
  v->updateSources();
  v->SetParameterFromGUI(Veltrane::kParamPortaLegato, 1.0);
  EXPECT_EQ(1.0, v->portaLegato.Value());
  v->SetParameterFromGUI(Veltrane::kParamMasterOutLeft, 0.75); // 4 entries after "off": entry 3
  EXPECT_EQ(3.0, v->masterOutLeft.Value());
  EXPECT_EQ(300, v->NParams());
  // A host parameter goes through the framework.
  v->SetParameterFromGUI(293, 0.25);
  EXPECT_DOUBLE_EQ(0.25, v->GetParam(293)->Value());
}

TEST(SlotParameters, NeutralDefinition)
{
  Veltrane& v = plug();
  Module::initParams(32, &v);
  for (int p = 0; p < 16; ++p) {
    IParam* param = v.GetParam(32 + p);
    EXPECT_EQ("M:2 P:" + std::to_string(p), param->GetNameForHost());
    EXPECT_EQ(0.0, param->GetDefault());
    EXPECT_EQ(0.001, param->GetStep());
    EXPECT_STREQ("", param->GetLabelForHost());
  }
  Module::initParams(272, &v); // slot 17 ends at parameter 287; 288 and up stay global
  EXPECT_STREQ("M:17 P:15", v.GetParam(287)->GetNameForHost());
  EXPECT_STREQ("Voices", v.GetParam(288)->GetNameForHost());
  Module::initParams(0, nullptr); // no synth: nothing to do
  // Every slot's parameters start neutral.
  for (int s = 0; s < 18; ++s) EXPECT_EQ("M:" + std::to_string(s) + " P:0", v.GetParam(s * 16)->GetNameForHost());
}

TEST(DisplayTexts, ModuleParameterFormatters)
{
  struct Case
  {
    void (*f)(double, char*);
    double value;
    const char* text;
  };
  const Case cases[] = {
      {setDisplayTextForFrequency, 0.0, "8"},      {setDisplayTextForFrequency, 8832.0 / 17281.0, "440"},
      {setDisplayTextForFrequency, 1.0, "19912"},  {setDisplayTextForFrequency, 5.0, "19912"},
      {setDisplayTextForFrequency, -1.0, "0"},     {setDisplayTextForDB, 1.0, "0.0"},
      {setDisplayTextForDB, 0.0, "-oo"},           {setDisplayTextForDB, -2.0, "-oo"},
      {setDisplayTextForDB, 0.1, "-20.0"},         {setDisplayTextForFreqMod, 1536.0, "1.00"},
      {setDisplayTextForFreqMod, -768.0, "-0.50"}, {setDisplayTextForMix, 0.3, "70:30"},
      {setDisplayTextForMix, 0.0, "100:0"},        {setDisplayTextForDryWet, 0.0, "Dry"},
      {setDisplayTextForDryWet, 1.0, "Wet"},       {setDisplayTextForDryWet, 0.25, "75:25"},
      {setDisplayTextForTune, 128.0, "100"},       {setDisplayTextForTune, -64.0, "-50"},
      {setDisplayTextForDegree, 0.5, "180"},       {setDisplayTextForNotes, 1.0, "12.00"},
      {setDisplayTextForNotes, 0.5, "6.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, format(c.f, c.value)) << c.value;
  // Absurd values stay inside the text buffer.
  for (auto f : {setDisplayTextForFreqMod, setDisplayTextForMix, setDisplayTextForDryWet, setDisplayTextForTune,
                 setDisplayTextForDegree, setDisplayTextForNotes, setDisplayTextForDB, setDisplayTextForFrequency})
    for (double x : {1e300, -1e300, std::nan("")}) EXPECT_LT(format(f, x).size(), (size_t)IParam::kDisplayBufferSize);
}

TEST(ProductState, AfterConstruction)
{
  auto v = MakeVeltrane();
  EXPECT_EQ(0, v->controlPeriod);
  EXPECT_EQ(1001, v->stateVersion);
  EXPECT_EQ(1, v->activeVoices);
  // Program 0 has been applied: the lists exist, the engine is no longer suspended, and the master
  // outputs read the voice sums.
  EXPECT_FALSE(v->suspended);
  EXPECT_TRUE(v->muteUntilNextTick);
  EXPECT_TRUE(v->panelRebuild);
  EXPECT_FALSE(v->loadingStartupBank);
  EXPECT_FALSE(v->commandPending);
  EXPECT_EQ(1.0, v->on);
  EXPECT_EQ(&v->voiceL, v->masterOutputLeft);
  EXPECT_EQ(&v->voiceR, v->masterOutputRight);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(i, v->displayOrder[i]);
    EXPECT_EQ(ModuleConfig::MOD_EMPTY, v->slotConfig[i].moduleID);
    EXPECT_EQ(i, v->slotConfig[i].slot);
    EXPECT_EQ(v.get(), v->slotConfig[i].owner);
    ASSERT_NE(nullptr, v->masterModules[i]);
    EXPECT_EQ(nullptr, v->masterModules[i]->voice);
    EXPECT_EQ(&v->slotConfig[i], v->masterModules[i]->config);
  }
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(-1, v->midiSourceCC[k]);
    EXPECT_EQ(0.0, v->midiSourceValue[k]);
  }
  for (Voice& voice : v->voices) {
    EXPECT_EQ(v.get(), voice.owner);
    EXPECT_EQ(&v->pBend, voice.pitchBendSource);
    EXPECT_EQ(&voice.zero, voice.sumSourceLeft);
    for (int s = 0; s < 18; ++s) {
      ASSERT_NE(nullptr, voice.modules[s]);
      EXPECT_EQ(&voice, voice.modules[s]->voice);
    }
  }
  // The editor surface is attached and its size is the panel's.
  ASSERT_NE(nullptr, v->GetGUI());
  EXPECT_EQ(1280, v->GetGUI()->Width());
  // Idle rebuilds only with the window open.
  v->OnIdle();
  EXPECT_TRUE(v->panelRebuild);
  v->GetGUI()->OpenWindow(nullptr);
  v->OnIdle();
  EXPECT_FALSE(v->panelRebuild);
  v->GetGUI()->CloseWindow();
}

TEST(ProductState, PlugToCommon)
{
  auto v = MakeVeltrane();
  // Voice slot with two audio outputs at display position 0; master slot with one at position 1.
  v->slotConfig[4].set(v.get(), 4, ModuleConfig::MOD_MIXER);
  v->slotConfig[4].setInstance(1);
  v->slotConfig[9].set(v.get(), 9, ModuleConfig::MOD_OSCILLATOR);
  v->slotConfig[9].master = 1;
  v->slotConfig[9].setInstance(1);
  v->slotConfig[11].set(v.get(), 11, ModuleConfig::MOD_LFO);
  v->displayOrder = {4, 9, 11, 0, 1, 2, 3, 5, 6, 7, 8, 10, 12, 13, 14, 15, 16, 17};
  v->updateSources();

  v->plugToCommon(0);
  EXPECT_STREQ("Mix1L", v->voiceSources.getSource((int)v->GetParam(289)->Value(), SourceDef::AUDIO)->label);
  EXPECT_STREQ("Mix1R", v->voiceSources.getSource((int)v->GetParam(290)->Value(), SourceDef::AUDIO)->label);

  v->plugToCommon(1); // one output: both sides take it
  EXPECT_STREQ("Osc-1", v->masterSources.getSource((int)v->masterOutLeft.Value(), SourceDef::AUDIO)->label);
  EXPECT_STREQ("Osc-1", v->masterSources.getSource((int)v->masterOutRight.Value(), SourceDef::AUDIO)->label);

  const double l = v->GetParam(289)->Value();
  v->plugToCommon(2); // no audio outputs: left alone
  v->plugToCommon(-1);
  v->plugToCommon(18);
  EXPECT_EQ(l, v->GetParam(289)->Value());
}

TEST(ProductState, EditorHooksWithoutAPanel)
{
  class Counting : public IControl
  {
  public:
    Counting() : IControl(nullptr, IRECT()) {}
    bool Draw(IGraphics*) override { return true; }
    void SetValueFromPlug(double value) override
    {
      last = value;
      IControl::SetValueFromPlug(value);
    }
    double last = -1.0;
  };
  auto v = MakeVeltrane();
  Counting* legato = new Counting;
  Counting* drone = new Counting;
  v->GetGUI()->AttachControl(legato);
  v->GetGUI()->AttachControl(drone);
  v->portaLegatoControl = legato;
  v->droneControl = drone;
  v->portaLegato.Set(1.0);
  v->RedrawParamControls();
  EXPECT_EQ(1.0, legato->last);
  // A reset of the drone display may come from the audio thread: it only raises a request that the drone
  // control takes on the editor's thread, and touches no control itself.
  drone->last = 5.0;
  v->droneResetRequested = false;
  v->resetDroneMode();
  EXPECT_EQ(5.0, drone->last);
  EXPECT_TRUE(v->droneResetRequested.load());
  // Controls detached by a rebuild are deleted with the trash.
  v->controlTrash.Add(new Counting);
  v->emptyControlTrash();
  EXPECT_EQ(0, v->controlTrash.GetSize());
}
