// The VST 2.4 adapter as a host sees it, through the entry point of TestPlug: the record, every dispatcher
// request, parameters with their host notifications, the three process calls, chunks and the host callback.
#include "IControl.h"
#include "PlugHarness.h"
#include "../support/child_deadline.h"
#include "../support/thread_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

class SpyControl : public IControl
{
public:
  SpyControl(IPlugBase* plug, int paramIdx) : IControl(plug, IRECT(), paramIdx) {}
  bool Draw(IGraphics*) override { return true; }
};

// A plug-in with a chosen channel layout, chunk use and kind, to read the record's flags.
class FlagsPlug : public IPlugVST
{
public:
  FlagsPlug(const char* channels, bool midi, bool chunks, bool instrument)
      : IPlugVST(IPlugInstanceInfo{nullptr}, 1, channels, 1, "Flags", "", "Tests", 0x00020304, 1, 1, 0, midi, chunks,
                 instrument)
  {
  }
};

std::string Text(const char* buf)
{
  return std::string(buf);
}

} // namespace

TEST(VstRecord, FieldsOfTheTestPlugin)
{
  Harness h;
  AEffect* e = h.effect;
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->object, h.plug);
  EXPECT_TRUE(e->dispatcher && e->process && e->setParameter && e->getParameter && e->processReplacing &&
              e->processDoubleReplacing);
  EXPECT_EQ(e->numPrograms, TestPlug::kNumPrograms);
  EXPECT_EQ(e->numParams, TestPlug::kNumParams);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->uniqueID, VstFourCC('t', 'P', 'l', 'g'));
  EXPECT_EQ(e->version, 10203);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  // replacing, double replacing, chunks, the old mono bit ("1-1" is legal), editor; not a synth
  EXPECT_EQ(e->flags, 0x1039);
}

TEST(VstRecord, FlagsFollowLayoutChunksKindAndEditor)
{
  struct Case
  {
    const char* channels;
    bool chunks, instrument;
    int flags;
  };
  const Case cases[] = {{"2-2", false, false, 0x1010},
                        {"2-2", true, false, 0x1030},
                        {"1-1 2-2", true, true, 0x1138},
                        {"0-2", false, true, 0x1110},
                        {"1-2", false, false, 0x1018}};
  for (const Case& c : cases) {
    FlagsPlug p(c.channels, true, c.chunks, c.instrument);
    EXPECT_EQ(p.GetAEffect()->flags, c.flags) << c.channels;
    EXPECT_EQ(p.GetAEffect()->version, 20304);
  }
  FlagsPlug withEditor("1-1 2-2", true, true, true);
  withEditor.AttachGraphics(new IGraphicsLinux(&withEditor, 1280, 650));
  EXPECT_EQ(withEditor.GetAEffect()->flags, 0x1139);
  EXPECT_EQ(VSTSpkrArrType(0), -1);
  EXPECT_EQ(VSTSpkrArrType(1), 0);
  EXPECT_EQ(VSTSpkrArrType(2), 1);
  EXPECT_EQ(VSTSpkrArrType(6), -2);
}

TEST(VstIdentity, NamesVersionsAndCategory)
{
  Harness h;
  char buf[256];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(h.Dispatch(effGetEffectName, 0, 0, buf), 1);
  EXPECT_EQ(Text(buf), "TestPlug");
  EXPECT_EQ(h.Dispatch(effGetVendorString, 0, 0, buf), 1);
  EXPECT_EQ(Text(buf), "Veltrane");
  EXPECT_EQ(h.Dispatch(effGetProductString, 0, 0, buf), 1);
  EXPECT_EQ(Text(buf), "Veltrane Test");
  EXPECT_EQ(h.Dispatch(effGetVendorVersion), 10203);
  EXPECT_EQ(h.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(h.Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(h.Dispatch(effIdentify), VstFourCC('N', 'v', 'E', 'f'));
  EXPECT_EQ(h.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(h.Dispatch(effCanBeAutomated, 9999), 1);
  for (int op : {effGetEffectName, effGetVendorString, effGetProductString}) EXPECT_EQ(h.Dispatch(op), 0);
  FlagsPlug synth("0-2", true, true, true);
  EXPECT_EQ(IPlugVST::VSTDispatcher(synth.GetAEffect(), effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategSynth);
}

TEST(VstPrograms, SelectNameAndBoundedNames)
{
  Harness h;
  EXPECT_EQ(h.Dispatch(effGetProgram), 0);
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  h.Dispatch(effGetProgramName, 0, 0, buf);
  EXPECT_EQ(std::strlen(buf), 23u); // 24 bytes with the terminator
  EXPECT_EQ(buf[24], '#');
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(h.Dispatch(effGetProgramNameIndexed, 0, -1, buf), 1);
  EXPECT_EQ(std::strlen(buf), 23u);
  EXPECT_EQ(h.Dispatch(effGetProgramNameIndexed, 1, -1, buf), 1);
  EXPECT_EQ(Text(buf), "Unity");
  EXPECT_EQ(h.Dispatch(effGetProgramNameIndexed, 99, -1, buf), 0);
  EXPECT_EQ(Text(buf), "");
  EXPECT_EQ(h.Dispatch(effGetProgramNameIndexed, 1, -1, nullptr), 0);

  h.Dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(h.Dispatch(effGetProgram), 1);
  EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kGain)->Value(), 1.0);
  h.Dispatch(effSetProgram, 0, 99); // no such program: nothing changes
  h.Dispatch(effSetProgram, 0, (VstIntPtr)1 << 40);
  EXPECT_EQ(h.Dispatch(effGetProgram), 1);

  char name[] = "Renamed";
  h.Dispatch(effSetProgramName, 0, 0, name);
  h.Dispatch(effGetProgramName, 0, 0, buf);
  EXPECT_EQ(Text(buf), "Renamed");
}

TEST(VstParameters, NamesLabelsAndDisplaysAreBounded)
{
  Harness h;
  h.Dispatch(effSetProgram, 0, 0); // gain 0.5, mode Warm, bypass off, steps 3
  struct Case
  {
    int opcode, param;
    const char* text;
  };
  const Case cases[] = {
      {effGetParamName, TestPlug::kGain, "Gain"},     {effGetParamLabel, TestPlug::kGain, "x"},
      {effGetParamDisplay, TestPlug::kMode, "Warm"},  {effGetParamLabel, TestPlug::kMode, ""},
      {effGetParamDisplay, TestPlug::kBypass, "off"}, {effGetParamLabel, TestPlug::kBypass, ""},
      {effGetParamDisplay, TestPlug::kSteps, "3"},    {effGetParamLabel, TestPlug::kSteps, "st"},
      {effGetParamName, TestPlug::kSteps, "Steps"},   {effGetParamName, 99, "untouched"},
  };
  for (const Case& c : cases) {
    char buf[64] = "untouched";
    EXPECT_EQ(h.Dispatch(c.opcode, c.param, 0, buf), 0);
    EXPECT_EQ(Text(buf), c.text) << c.opcode << " " << c.param;
  }
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  h.Dispatch(effGetParamDisplay, TestPlug::kGain, 0, buf);
  EXPECT_EQ(Text(buf), "0.50 gain units, deliberately l"); // 31 characters and the terminator
  EXPECT_EQ(buf[32], '#');
  for (int op : {effGetParamName, effGetParamLabel, effGetParamDisplay}) EXPECT_EQ(h.Dispatch(op, 0), 0);
}

TEST(VstParameters, HostChangesReachPluginAndEditorButAreNotEchoed)
{
  Harness h;
  SpyControl* control = new SpyControl(h.plug, TestPlug::kGain);
  h.plug->GetGUI()->AttachControl(control);
  const size_t before = h.host.calls.size();
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.75f);
  EXPECT_FLOAT_EQ(h.effect->getParameter(h.effect, TestPlug::kGain), 0.75f);
  EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kGain)->Value(), 1.5);
  EXPECT_EQ(h.plug->mLastParamChange, TestPlug::kGain);
  h.plug->GetGUI()->DrainQueuedParameters(); // the editor takes host values at its next tick
  EXPECT_DOUBLE_EQ(control->GetValue(), 0.75);
  EXPECT_EQ(h.host.calls.size(), before); // nothing sent back to the host

  h.effect->setParameter(h.effect, 99, 0.5f);
  h.effect->setParameter(h.effect, -1, 0.5f);
  h.effect->setParameter(h.effect, TestPlug::kGain, NAN);
  EXPECT_FLOAT_EQ(h.effect->getParameter(h.effect, TestPlug::kGain), 0.75f);
  EXPECT_EQ(h.effect->getParameter(h.effect, 99), 0.0f);
  EXPECT_EQ(h.effect->getParameter(h.effect, -5), 0.0f);
  h.effect->setParameter(h.effect, TestPlug::kSteps, 0.55f); // an int parameter 0..10 rounds to 6
  EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kSteps)->Value(), 6.0);
}

TEST(VstParameters, EditorEditsAreAutomatedWithBeginAndEnd)
{
  Harness h;
  h.plug->BeginInformHostOfParamChange(TestPlug::kMode);
  h.plug->SetParameterFromGUI(TestPlug::kMode, 1.0);
  h.plug->EndInformHostOfParamChange(TestPlug::kMode);
  ASSERT_EQ(h.host.calls.size(), 3u);
  EXPECT_EQ(h.host.calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(h.host.calls[0].index, TestPlug::kMode);
  EXPECT_EQ(h.host.calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(h.host.calls[1].index, TestPlug::kMode);
  EXPECT_FLOAT_EQ(h.host.calls[1].opt, 1.0f);
  EXPECT_EQ(h.host.calls[2].opcode, audioMasterEndEdit);
  EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kMode)->Value(), 2.0);
  h.plug->DirtyParameters();
  EXPECT_EQ(h.host.Count(audioMasterAutomate), 1 + TestPlug::kNumParams);
  h.plug->InformHostOfProgramChange();
  EXPECT_EQ(h.host.Count(audioMasterUpdateDisplay), 1);
}

TEST(VstParameters, TextEntryForParameters)
{
  Harness h;
  struct Case
  {
    int param;
    const char* text;
    VstIntPtr answer;
    double value; // after the call
  };
  const Case cases[] = {
      {TestPlug::kBypass, "on", 1, 1.0},   {TestPlug::kBypass, "ON", 0, 1.0}, {TestPlug::kBypass, "off", 1, 0.0},
      {TestPlug::kMode, "Hot", 1, 2.0},    {TestPlug::kMode, "hot", 0, 2.0},  {TestPlug::kGain, "5", 1, 2.0},
      {TestPlug::kGain, "0.25x", 1, 0.25}, {TestPlug::kGain, "abc", 1, 0.0},  {TestPlug::kGain, "-3", 1, 0.0},
      {TestPlug::kGain, "nan", 0, 0.0},    {TestPlug::kSteps, "7", 1, 7.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(h.Dispatch(effString2Parameter, c.param, 0, const_cast<char*>(c.text)), c.answer) << c.text;
    EXPECT_DOUBLE_EQ(h.plug->GetParam(c.param)->Value(), c.value) << c.text;
  }
  EXPECT_EQ(h.Dispatch(effString2Parameter, TestPlug::kGain, 0, nullptr), 1);
  EXPECT_EQ(h.Dispatch(effString2Parameter, 99, 0, const_cast<char*>("1")), 0);
  EXPECT_EQ(h.host.Count(audioMasterAutomate), 0);
}

TEST(VstProcessing, ThreeProcessCallsWithGain)
{
  Harness h;
  h.Dispatch(effOpen);
  h.Dispatch(effMainsChanged, 0, 1);
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.25f); // gain 0.5
  float inL[8], inR[8], outL[8], outR[8];
  for (int i = 0; i < 8; ++i) {
    inL[i] = (float)i;
    inR[i] = -(float)i;
  }
  float* in[2] = {inL, inR};
  float* out[2] = {outL, outR};
  h.effect->processReplacing(h.effect, in, out, 8);
  EXPECT_FLOAT_EQ(outL[6], 3.0f);
  EXPECT_FLOAT_EQ(outR[6], -3.0f);

  double dL[8], dR[8], doL[8], doR[8];
  for (int i = 0; i < 8; ++i) dL[i] = dR[i] = 0.5 * i;
  double* din[2] = {dL, dR};
  double* dout[2] = {doL, doR};
  h.effect->processDoubleReplacing(h.effect, din, dout, 8);
  EXPECT_DOUBLE_EQ(doL[4], 1.0);

  std::fill(outL, outL + 8, 1.0f);
  std::fill(outR, outR + 8, 1.0f);
  h.effect->process(h.effect, in, out, 8); // accumulating: adds to what the buffers hold
  EXPECT_FLOAT_EQ(outL[6], 4.0f);
  EXPECT_FLOAT_EQ(outR[6], -2.0f);
  EXPECT_EQ(h.host.Count(audioMasterWantMidi), 3);
}

TEST(VstProcessing, AccumulatingBlocksLongerThanTheBlockSize)
{
  Harness h;
  h.Dispatch(effSetBlockSize, 0, 64);
  std::vector<float> inL(200), inR(200), outL(200, 0.0f), outR(200, 0.0f);
  for (int i = 0; i < 200; ++i) inL[i] = inR[i] = 0.001f * i;
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.5f); // gain 1
  float* in[2] = {inL.data(), inR.data()};
  float* out[2] = {outL.data(), outR.data()};
  h.effect->process(h.effect, in, out, 200);
  for (int i = 0; i < 200; ++i) ASSERT_FLOAT_EQ(outL[i], inL[i]) << i;
}

TEST(VstProcessing, MissingBuffersAreNotTouched)
{
  Harness h;
  float a[4] = {}, b[4] = {};
  float* partial[2] = {a, nullptr};
  float* good[2] = {a, b};
  h.effect->processReplacing(h.effect, nullptr, good, 4);
  h.effect->processReplacing(h.effect, good, nullptr, 4);
  h.effect->processReplacing(h.effect, good, partial, 4);
  h.effect->process(h.effect, partial, good, 4);
  h.effect->processDoubleReplacing(h.effect, nullptr, nullptr, 4);
  h.effect->processReplacing(h.effect, good, good, 0);
  h.effect->processReplacing(h.effect, good, good, -5);
  SUCCEED();
}

TEST(VstChunks, ProgramAndBankChunksCarryTheFrameworkHeader)
{
  Harness h;
  void* data = nullptr;
  VstIntPtr size = h.Dispatch(effGetChunk, 1, 0, &data);
  ASSERT_EQ(size, 8 + 4 * 8);
  const unsigned char header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(data, header, 8), 0);
  double gain;
  std::memcpy(&gain, static_cast<char*>(data) + 8, 8);
  EXPECT_DOUBLE_EQ(gain, 0.5);

  size = h.Dispatch(effGetChunk, 0, 0, &data);
  ByteChunk expected;
  IPlugBase::InitChunkWithIPlugVer(&expected);
  h.plug->SerializePresets(&expected);
  const int32_t tag = IPlugBase::kCurrentProgramTag, current = h.plug->GetCurrentPresetIdx();
  expected.Put(&tag); // then the current program
  expected.Put(&current);
  ASSERT_EQ(size, expected.Size());
  EXPECT_EQ(std::memcmp(data, expected.GetBytes(), size), 0);
  EXPECT_EQ(h.Dispatch(effGetChunk, 0, 0, nullptr), 0);
}

TEST(VstChunks, BankChunkRoundTripAndCurrentProgramStored)
{
  Harness h;
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.1f); // live edit of program 0
  void* data = nullptr;
  VstIntPtr size = h.Dispatch(effGetChunk, 0, 0, &data);
  std::vector<unsigned char> bank(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);

  Harness other;
  EXPECT_EQ(other.Dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), bank.data()), 1);
  EXPECT_NEAR(other.effect->getParameter(other.effect, TestPlug::kGain), 0.1f, 1e-6);
  char name[64];
  other.Dispatch(effGetProgramNameIndexed, 1, -1, name);
  EXPECT_EQ(Text(name), "Unity");
}

TEST(VstChunks, ProgramChunksAndHeaderlessBanksAreOneProgramState)
{
  Harness h;
  double values[4] = {1.8, 2.0, 1.0, 9.0};
  // A program chunk without the framework header, and a "bank" without it: both are one program's state.
  for (int index : {1, 0}) {
    h.Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(h.Dispatch(effSetChunk, index, sizeof values, values), 1) << index;
    EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kGain)->Value(), 1.8);
    EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kSteps)->Value(), 9.0);
    double stored = 0;
    h.plug->GetPresetChunk(1)->Get(&stored, 0);
    EXPECT_DOUBLE_EQ(stored, 1.8) << "the current program's slot keeps the state";
  }
}

TEST(VstChunks, UnreadableChunksAnswerZeroAndChangeNothing)
{
  Harness h;
  h.Dispatch(effSetProgram, 0, 1);
  h.effect->setParameter(h.effect, TestPlug::kGain, 0.3f);
  const double gain = h.plug->GetParam(TestPlug::kGain)->Value();
  const unsigned char header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  unsigned char shortProgram[8 + 12];
  std::memcpy(shortProgram, header, 8);
  std::memset(shortProgram + 8, 0, 12);
  unsigned char badBank[8 + 6] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00, 200, 0, 0, 0, 'a', 'b'};
  struct Case
  {
    const char* what;
    int index;
    const void* data;
    VstIntPtr size;
  };
  const Case cases[] = {
      {"program state cut short", 1, shortProgram, sizeof shortProgram},
      {"bank whose first name runs past the end", 0, badBank, sizeof badBank},
      {"empty program chunk", 1, header, 0},
      {"header without a version", 1, header, 4},
      {"null pointer", 1, nullptr, 8},
      {"negative size", 1, header, -8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(h.Dispatch(effSetChunk, c.index, c.size, const_cast<void*>(c.data)), 0) << c.what;
    EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kGain)->Value(), gain) << c.what;
    EXPECT_EQ(h.Dispatch(effGetProgram), 1) << c.what;
    char name[64];
    h.Dispatch(effGetProgramNameIndexed, 1, -1, name);
    EXPECT_EQ(Text(name), "Unity") << c.what;
  }
}

TEST(VstEvents, MidiAndSysExReachThePluginInOrder)
{
  Harness h;
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 12;
  note.midiData[0] = (char)0x91;
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  char dump[5] = {(char)0xF0, 0x7E, 0x01, 0x02, (char)0xF7};
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof sysex;
  sysex.dumpBytes = 5;
  sysex.sysexDump = dump;
  VstMidiSysexEvent noDump = sysex;
  noDump.sysexDump = nullptr;
  VstEvent other{};
  other.type = 3;
  struct
  {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[5];
  } list = {5, 0, {(VstEvent*)&note, nullptr, (VstEvent*)&sysex, (VstEvent*)&noDump, &other}};
  EXPECT_EQ(h.Dispatch(effProcessEvents, 0, 0, &list), 1);
  // TestPlug sends every MIDI message back to the host, and every SysEx message it was able to read.
  ASSERT_EQ(h.host.eventsIn.size(), 2u);
  EXPECT_EQ(h.host.eventsIn[0], (std::vector<uint8_t>{0x91, 60, 100}));
  EXPECT_EQ(h.host.eventsIn[1].size(), 5u);
  EXPECT_EQ(h.plug->mSysExBytes, 5);
  EXPECT_EQ(h.Dispatch(effProcessEvents, 0, 0, nullptr), 0);
  list.numEvents = 0;
  EXPECT_EQ(h.Dispatch(effProcessEvents, 0, 0, &list), 1);
  list.numEvents = -3;
  EXPECT_EQ(h.Dispatch(effProcessEvents, 0, 0, &list), 1);

  IMidiMsg msg(3, 0x80, 60, 0);
  EXPECT_TRUE(h.plug->SendMidiMsg(&msg));
  h.host.eventsAnswer = 0;
  EXPECT_FALSE(h.plug->SendMidiMsg(&msg));
}

TEST(VstCanDo, AnswersInOrder)
{
  Harness h;
  FlagsPlug noMidi("2-2", false, false, false);
  struct Case
  {
    const char* what;
    VstIntPtr midiPlug, plainPlug;
  };
  const Case cases[] = {
      {"receiveVstTimeInfo", 1, 1},
      {"receiveVstMidiEvent", 1, 0},
      {"receiveVstEvents", 1, 0},
      {"sendVstEvents", 1, 0},
      {"sendVstMidiEvent", 1, 0},
      {"hasCockosExtensions", 0xbeef0000, 0xbeef0000},
      {"hasCockosViewAsConfig", 0xbeef0000, 0xbeef0000},
      {"bypass", 0, 0},
      {"ReceiveVstMidiEvent", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(h.Dispatch(effCanDo, 0, 0, const_cast<char*>(c.what)), c.midiPlug) << c.what;
    EXPECT_EQ(IPlugVST::VSTDispatcher(noMidi.GetAEffect(), effCanDo, 0, 0, const_cast<char*>(c.what), 0), c.plainPlug)
        << c.what;
  }
  EXPECT_EQ(h.Dispatch(effCanDo), 0);
}

TEST(VstVendorSpecific, ValueTextsAndSteppedParameters)
{
  Harness h;
  char buf[64] = "untouched";
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamDisplay, TestPlug::kMode, buf, 1.0f), 0xbeef);
  EXPECT_EQ(Text(buf), "Hot");
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamDisplay, TestPlug::kGain, buf, 0.5f), 0xbeef);
  EXPECT_EQ(Text(buf).substr(0, 4), "1.00");
  std::strcpy(buf, "untouched");
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamDisplay, 9999, buf, 0.5f), 0xbeef);
  EXPECT_EQ(Text(buf), "untouched");
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamDisplay, 0, nullptr, 0.5f), 0);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamName, TestPlug::kMode), 0xbeef);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamName, TestPlug::kSteps), 0xbeef);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamName, TestPlug::kGain), 0);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, effGetParamName, 99), 0);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, 3, 0, buf), 0);
}

TEST(VstPins, PropertiesAndLabels)
{
  Harness h;
  struct Case
  {
    int opcode, index;
    VstIntPtr answer;
    int flags;
    const char* label;
  };
  const Case cases[] = {
      {effGetInputProperties, 0, 1, 3, "TestPlug In L"}, {effGetInputProperties, 1, 1, 1, "TestPlug In R"},
      {effGetInputProperties, 2, 0, -1, "unchanged"},    {effGetInputProperties, -1, 0, -1, "unchanged"},
      {effGetOutputProperties, 0, 1, 3, "Output 1"},     {effGetOutputProperties, 1, 1, 1, "Output 2"},
  };
  for (const Case& c : cases) {
    VstPinProperties pin;
    std::memset(&pin, 0, sizeof pin);
    pin.flags = -1;
    pin.arrangementType = 77;
    std::strcpy(pin.label, "unchanged");
    EXPECT_EQ(h.Dispatch(c.opcode, c.index, 0, &pin), c.answer) << c.index;
    EXPECT_EQ(pin.flags, c.flags) << c.index;
    EXPECT_EQ(Text(pin.label), c.label) << c.index;
    EXPECT_EQ(pin.arrangementType, 77); // fields not named are left as the host passed them
  }
  EXPECT_EQ(h.Dispatch(effGetInputProperties, 0, 0, nullptr), 0);
  h.plug->SetOutputLabel(0, std::string(100, 'L').c_str());
  VstPinProperties pin;
  h.Dispatch(effGetOutputProperties, 0, 0, &pin);
  EXPECT_EQ(std::strlen(pin.label), 63u);
}

TEST(VstSpeakers, ArrangementsConnectAndDisconnectChannels)
{
  Harness h;
  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(h.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->numChannels, 2);

  VstSpeakerArrangement mono{}, many{};
  mono.numChannels = 1;
  many.numChannels = 6;
  EXPECT_EQ(h.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &many), 1);
  EXPECT_TRUE(h.plug->IsInChannelConnected(0));
  EXPECT_FALSE(h.plug->IsInChannelConnected(1));
  EXPECT_TRUE(h.plug->IsOutChannelConnected(1));
  VstSpeakerArrangement negative{};
  negative.numChannels = -4;
  EXPECT_EQ(h.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&negative), nullptr), 1);
  EXPECT_FALSE(h.plug->IsInChannelConnected(0));
  EXPECT_EQ(h.Dispatch(effSetSpeakerArrangement), 1);
}

TEST(VstEditor, RectangleOpenAndClose)
{
  Harness h;
  ERect* rect = nullptr;
  EXPECT_EQ(h.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, TestPlug::kEditorHeight);
  EXPECT_EQ(rect->right, TestPlug::kEditorWidth);
  EXPECT_EQ(h.Dispatch(effEditGetRect), 0);

  // An X11 window id that no server holds: refused, nothing opened.
  EXPECT_EQ(h.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x2a00001)), 0);
  EXPECT_EQ(h.plug->mGUIOpens, 0);
  EXPECT_FALSE(h.plug->Editor()->WindowIsOpen());
  // Without a parent the editor opens headless.
  EXPECT_EQ(h.Dispatch(effEditOpen, 0, 0, nullptr), 1);
  EXPECT_EQ(h.plug->mGUIOpens, 1);
  EXPECT_TRUE(h.plug->Editor()->WindowIsOpen());
  EXPECT_EQ(h.plug->Editor()->LastParent(), nullptr);
  EXPECT_EQ(h.Dispatch(effEditIdle), 0);
  EXPECT_EQ(h.Dispatch(effIdle), 0);
  EXPECT_EQ(h.plug->mIdleCalls, 2);
  EXPECT_EQ(h.Dispatch(effEditClose), 1);
  EXPECT_EQ(h.plug->mGUICloses, 1);
  EXPECT_FALSE(h.plug->Editor()->WindowIsOpen());
  EXPECT_EQ(h.Dispatch(effEditClose), 1); // closing again is harmless

  FlagsPlug noEditor("2-2", false, false, false);
  for (int op : {effEditGetRect, effEditOpen, effEditClose})
    EXPECT_EQ(IPlugVST::VSTDispatcher(noEditor.GetAEffect(), op, 0, 0, &rect, 0), 0);
}

TEST(VstLifecycle, OpenRatesAndActivation)
{
  Harness h;
  const int changesBefore = h.plug->mParamChanges;
  h.Dispatch(effOpen);
  EXPECT_EQ(h.plug->mParamChanges, changesBefore + TestPlug::kNumParams);
  h.Dispatch(effOpen); // the host-specific set-up runs once
  EXPECT_EQ(h.host.Count(audioMasterGetProductString), 1);

  const int first = h.plug->mResets;
  h.Dispatch(effSetBlockSize, 0, 1024); // the size it starts with, set before any rate: it still resets
  h.Dispatch(effSetBlockSize, 0, 1024); // set again unchanged: nothing
  EXPECT_EQ(h.plug->mResets, first + 1);
  const int resets = h.plug->mResets;
  h.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(h.plug->GetSampleRate(), 48000.0);
  h.Dispatch(effSetBlockSize, 0, 256);
  EXPECT_EQ(h.plug->GetBlockSize(), 256);
  EXPECT_EQ(h.plug->mResets, resets + 2);
  for (float bad : {0.0f, -44100.0f, NAN, INFINITY}) h.Dispatch(effSetSampleRate, 0, 0, nullptr, bad);
  for (VstIntPtr bad : {(VstIntPtr)0, (VstIntPtr)-1, (VstIntPtr)1 << 40}) h.Dispatch(effSetBlockSize, 0, bad);
  EXPECT_EQ(h.plug->GetSampleRate(), 48000.0);
  EXPECT_EQ(h.plug->GetBlockSize(), 256);
  EXPECT_EQ(h.plug->mResets, resets + 2);

  h.Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(h.plug->mActivations, 1);
  h.Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(h.plug->mDeactivations, 1);
  EXPECT_EQ(h.plug->mResets, resets + 3);
}

namespace {
// The instance a host closes twice at once: from inside a call of its own (a process call's callback), and from
// another thread meanwhile, whose close waits for that call.
std::atomic<AEffect*> gCloseTwice{nullptr};
std::atomic<pid_t> gClosingElsewhere{0};
std::atomic<bool> gClosedElsewhere{false};
VstIntPtr CloseTwiceHost(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  if (opcode != audioMasterGetCurrentProcessLevel || !e || !gCloseTwice.compare_exchange_strong(e, nullptr)) return 0;
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  std::thread([e] {
    gClosingElsewhere = gettid();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    gClosedElsewhere = true;
  }).detach();
  while (!gClosingElsewhere.load()) std::this_thread::yield();
  ThreadComesToSleep(gClosingElsewhere); // its close waits for this call (nothing else puts it to sleep)
  return 0;
}
} // namespace

TEST(VstLifecycle, ClosedFromInsideACallAndFromAnotherThreadAtOnceIsDeletedOnce)
{
  EXPECT_EQ(0, inChildWithin30s([] {
    AEffect* e = IPlugVSTEntry(CloseTwiceHost, [](IPlugInstanceInfo info) -> IPlugVST* {
      return new BarePlug(2, 1, true, "2-2", 1, info.mVSTHostCallback);
    });
    gCloseTwice = e;
    float a[16] = {}, b[16] = {};
    float* io[2] = {a, b};
    e->processReplacing(e, io, io, 16);
    while (!gClosedElsewhere.load()) std::this_thread::yield();
    return 0;
  }));
}

TEST(VstKeyNames, NamedNotesAndBoundedNames)
{
  Harness h;
  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "stale");
  EXPECT_EQ(h.Dispatch(effGetMidiKeyName, 0, 0, &key), 1);
  EXPECT_EQ(Text(key.keyName), "C4");
  key.thisKeyNumber = 127;
  EXPECT_EQ(h.Dispatch(effGetMidiKeyName, 0, 0, &key), 1);
  EXPECT_EQ(std::strlen(key.keyName), 63u);
  key.thisKeyNumber = 500;
  EXPECT_EQ(h.Dispatch(effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_EQ(Text(key.keyName), "");
  EXPECT_EQ(h.Dispatch(effGetMidiKeyName, 0, 0, nullptr), 0);
}

TEST(VstTransport, TimeInfoKeepsTheLastValidValues)
{
  Harness h;
  ITimeInfo t;
  h.plug->GetTime(&t);
  EXPECT_EQ(t.mTempo, 140.0);
  EXPECT_EQ(t.mSamplePos, 4410.0);
  EXPECT_EQ(t.mPPQPos, 0.2);
  EXPECT_EQ(t.mCycleStart, 1.0);
  EXPECT_EQ(t.mCycleEnd, 5.0);
  EXPECT_EQ(t.mNumerator, 7);
  EXPECT_EQ(t.mDenominator, 8);
  EXPECT_TRUE(t.mTransportIsRunning);
  EXPECT_TRUE(t.mTransportLoopEnabled);

  h.host.time.tempo = 0.0; // not a tempo: the last one stays
  h.host.time.timeSigNumerator = 0;
  h.host.time.flags &= ~(kVstTransportPlaying | kVstTransportCycleActive);
  h.plug->GetTime(&t);
  EXPECT_EQ(t.mTempo, 140.0);
  EXPECT_EQ(t.mNumerator, 7);
  EXPECT_FALSE(t.mTransportIsRunning);

  h.host.time.flags = kVstTransportPlaying; // none of the wanted flags: nothing changes
  h.plug->GetTime(&t);
  EXPECT_FALSE(t.mTransportIsRunning);
  h.host.answerTime = false;
  ITimeInfo fresh;
  h.plug->GetTime(&fresh);
  EXPECT_EQ(fresh.mTempo, 120.0);
  EXPECT_EQ(fresh.mSamplePos, -1.0);
}

TEST(VstTransport, TempoTimeSignatureSamplePositionAndOfflineRendering)
{
  Harness h;
  EXPECT_EQ(h.plug->GetTempo(), 140.0);
  int num, den;
  h.plug->GetTimeSig(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
  EXPECT_EQ(h.plug->GetSamplePos(), 4410);
  h.host.time.samplePos = 99.5;
  EXPECT_EQ(h.plug->GetSamplePos(), 100);
  h.host.time.flags = 0;
  EXPECT_EQ(h.plug->GetTempo(), 0.0);
  h.plug->GetTimeSig(&num, &den);
  EXPECT_EQ(num, 0);
  EXPECT_FALSE(h.plug->IsRenderingOffline());
  h.host.processLevel = kVstProcessLevelOffline;
  EXPECT_TRUE(h.plug->IsRenderingOffline());
  h.host.answerTime = false;
  EXPECT_EQ(h.plug->GetSamplePos(), 0);
  BarePlug noHost(1, 1, true);
  EXPECT_EQ(noHost.GetTempo(), 0.0);
  EXPECT_EQ(noHost.GetSamplePos(), 0);
}

TEST(VstLatency, SetLatencyUpdatesTheRecord)
{
  Harness h;
  h.plug->SetLatency(64);
  EXPECT_EQ(h.effect->initialDelay, 64);
  EXPECT_EQ(h.plug->GetLatency(), 64);
  h.plug->ResizeGraphics(1, 1);
  ERect* rect = nullptr;
  h.Dispatch(effEditGetRect, 0, 0, &rect);
  EXPECT_EQ(rect->right, TestPlug::kEditorWidth); // taken from the editor, not the arguments
}

TEST(VstAnyOrder, EveryOpcodeIsSafeBeforeOpenAfterSuspendAndWithNullPointers)
{
  // Each phase calls every opcode with index 0, value 0 and a null pointer (effClose excepted).
  for (int phase = 0; phase < 3; ++phase) {
    Harness h;
    if (phase >= 1) {
      h.Dispatch(effOpen);
      h.Dispatch(effMainsChanged, 0, 1);
    }
    if (phase == 2) h.Dispatch(effMainsChanged, 0, 0);
    for (int op = 0; op < 128; ++op) {
      if (op == effClose) continue;
      h.Dispatch(op, 0, 0, nullptr, 0.0f);
      h.Dispatch(op, -1, 0, nullptr, 0.0f);
      h.Dispatch(op, 1 << 30, 0, nullptr, 0.0f);
    }
    float a[16] = {}, b[16] = {};
    float* bufs[2] = {a, b};
    h.effect->processReplacing(h.effect, bufs, bufs, 16);
    h.effect->process(h.effect, bufs, bufs, 16);
  }
  AEffect orphan{};
  EXPECT_EQ(IPlugVST::VSTDispatcher(&orphan, effGetVstVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(IPlugVST::VSTDispatcher(nullptr, effOpen, 0, 0, nullptr, 0), 0);
  IPlugVST::VSTSetParameter(&orphan, 0, 0.5f);
  EXPECT_EQ(IPlugVST::VSTGetParameter(nullptr, 0), 0.0f);
  IPlugVST::VSTProcess(&orphan, nullptr, nullptr, 16);
  IPlugVST::VSTProcessReplacing(nullptr, nullptr, nullptr, 16);
  IPlugVST::VSTProcessDoubleReplacing(&orphan, nullptr, nullptr, 16);
}

TEST(VstEntry, EveryInstanceHasAtLeastOneProgramAndFilledSlots)
{
  AEffect* e = IPlugVSTEntry(nullptr, [](IPlugInstanceInfo info) -> IPlugVST* {
    return new BarePlug(2, 0, true, "2-2", 1, info.mVSTHostCallback);
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->numPrograms, 1);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
  Harness h;
  for (int i = 0; i < TestPlug::kNumPrograms; ++i) EXPECT_TRUE(h.plug->IsPresetInitialized(i)) << i;
  EXPECT_EQ(IPlugVSTEntry(nullptr, [](IPlugInstanceInfo) -> IPlugVST* { return nullptr; }), nullptr);
}
