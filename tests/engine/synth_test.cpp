// The synth layer as the host and the product see it: identity, control period, MIDI queueing and the
// held-key buffer.
#include "engine_harness.h"

#include "IGraphicsLinux.h"

#include <gtest/gtest.h>

#include <limits>

#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

namespace {
std::vector<IMidiMsg> drain(IMidiQueue& q)
{
  std::vector<IMidiMsg> out;
  while (!q.Empty()) {
    out.push_back(*q.Peek());
    q.Remove();
  }
  return out;
}

// A note-on at velocity 100 and a sample offset, into the synth's MIDI input.
void noteOn(TestSynth& s, int key, int offset)
{
  IMidiMsg m;
  m.MakeNoteOnMsg(key, 100, offset);
  s.ProcessMidiMsg(&m);
}

std::vector<int> heldKeys(const Synth& s)
{
  return std::vector<int>(s.pressedKeys, s.pressedKeys + s.numPressedKeys);
}
} // namespace

TEST(SynthIdentity, WhatTheHostSees)
{
  TestSynth s;
  EXPECT_STREQ("Veltrane", s.GetEffectName());
  EXPECT_STREQ("", s.GetProductName());
  EXPECT_STREQ("Tarnwell Music", s.GetMfrName());
  EXPECT_EQ(300, s.NParams());
  EXPECT_EQ(64, s.NPresets());
  EXPECT_EQ(('t' << 24) | ('w' << 16) | ('V' << 8) | 'L', s.GetUniqueID());
  EXPECT_EQ(('T' << 24) | ('a' << 16) | ('W' << 8) | 'e', s.GetMfrID());
  EXPECT_EQ(10001, s.GetEffectVersion(true));
  EXPECT_TRUE(s.DoesMIDI());
  EXPECT_TRUE(s.DoesStateChunks());
  EXPECT_TRUE(s.IsInstrument());
  EXPECT_EQ(0, s.GetLatency());
  EXPECT_TRUE(s.LegalIO(1, 1));
  EXPECT_TRUE(s.LegalIO(2, 2));
  EXPECT_FALSE(s.LegalIO(1, 2));
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ("Veltrane ", s.GetInputLabel(i));
    EXPECT_STREQ("Veltrane ", s.GetOutputLabel(i));
  }
}

TEST(SynthIdentity, EditorSurfaceAndStartingState)
{
  TestSynth s;
  ASSERT_NE(nullptr, s.graphics);
  EXPECT_EQ(s.graphics, s.GetGUI());
  EXPECT_EQ(1280, s.graphics->Width());
  EXPECT_EQ(650, s.graphics->Height());
  EXPECT_GT(s.graphics->mBundleID.GetLength(), 0);
  // The dialog folder starts as the folder that holds the code, ending in "/".
  ASSERT_GT(s.dialogFolder.GetLength(), 0);
  EXPECT_EQ('/', s.dialogFolder.Get()[s.dialogFolder.GetLength() - 1]);
  EXPECT_EQ(-1, s.copiedPreset);
  EXPECT_EQ(0, s.controlPeriod);
  EXPECT_FALSE(s.midiLearnArmed);
  EXPECT_EQ(-1, s.midiLearnCC);
  EXPECT_EQ(-1, s.midiLearnParam);
  for (int p : s.midiLearnMap) EXPECT_EQ(-1, p);
  EXPECT_STREQ("Equal (Standard)", s.tuningName);
  EXPECT_FALSE(s.isCustomTuning());
}

TEST(SynthControlPeriod, OneMillisecondInWholeSamples)
{
  struct Case
  {
    double rate;
    int period;
  };
  const Case cases[] = {{44100.0, 44},   {48000.0, 48}, {96000.0, 96}, {88200.0, 88}, {22050.0, 22},
                        {192000.0, 192}, {1000.0, 1},   {1999.0, 1},   {999.0, 1},    {8.0, 1}};
  for (const Case& c : cases) {
    TestSynth s;
    s.resetAt(c.rate);
    EXPECT_EQ(c.period, s.controlPeriod) << c.rate;
    EXPECT_EQ(0, s.tickCountdown) << c.rate;
  }
}

TEST(SynthControlPeriod, ZeroUntilTheFirstResetThenNeverBelowOne)
{
  TestSynth s;
  EXPECT_EQ(0, s.controlPeriod);
  s.tickCountdown = 17;
  s.resetAt(0.0);
  EXPECT_EQ(1, s.controlPeriod);
  EXPECT_EQ(0, s.tickCountdown);
  s.resetAt(-5.0);
  EXPECT_EQ(1, s.controlPeriod);
}

// Room for at least 8192 messages, more for a longer block, in whole pages of 512.
TEST(SynthReset, QueueSizedInWholePagesForTheBlock)
{
  struct Case
  {
    int block, capacity;
  };
  const Case cases[] = {{512, 8192}, {64, 8192}, {8192, 8192}, {8193, 8704}, {20000, 20480}};
  for (const Case& c : cases) {
    TestSynth s;
    s.resetAt(44100.0, c.block);
    EXPECT_EQ(c.capacity, s.midiQueue.GetSize()) << c.block;
  }
}

TEST(SynthReset, KeepsQueuedMessagesAndClearsKeysAndLearn)
{
  TestSynth s;
  s.resetAt(44100.0);
  noteOn(s, 60, 5);
  s.addPressedKey(60);
  s.doMidiUnlearn(true);
  s.midiLearnParam = 12;
  s.resetAt(48000.0, 1000);
  EXPECT_EQ(1, s.midiQueue.Pending());
  EXPECT_EQ(0, s.numPressedKeys);
  EXPECT_EQ(Synth::kNoKey, s.pressedKeys[0]);
  EXPECT_FALSE(s.midiLearnArmed);
  EXPECT_TRUE(s.midiUnlearnMode); // only disarmed
  EXPECT_EQ(12, s.midiLearnParam);
}

TEST(SynthMidi, EventsAreQueuedAtTheirOwnOffset)
{
  // Also those beyond the first tick of the block: moving them would tie their timing to the block grid.
  TestSynth s;
  s.resetAt(44100.0); // P = 44
  for (int offset : {0, 10, 44, 45, 100, 511, 5000}) {
    noteOn(s, 60, offset);
    const auto q = drain(s.midiQueue);
    ASSERT_EQ(1u, q.size());
    EXPECT_EQ(offset, q[0].mOffset);
  }
}

TEST(SynthMidi, QueueKeepsOffsetOrder)
{
  TestSynth s;
  s.resetAt(48000.0); // P = 48
  const int offsets[] = {100, 3, 40, 3};
  for (int i = 0; i < 4; ++i) noteOn(s, 60 + i, offsets[i]);
  const auto q = drain(s.midiQueue);
  ASSERT_EQ(4u, q.size());
  const int expectedOffsets[] = {3, 3, 40, 100};
  const int expectedNotes[] = {61, 63, 62, 60}; // equal offsets in arrival order
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(expectedOffsets[i], q[i].mOffset);
    EXPECT_EQ(expectedNotes[i], q[i].NoteNumber());
  }
}

TEST(SynthMidi, WhichKindsAreQueued)
{
  TestSynth s;
  s.resetAt(44100.0);
  struct Case
  {
    uint8_t status, d1, d2;
    bool queued;
  };
  const Case cases[] = {
      {0x80, 60, 0, true}, {0x93, 60, 90, true}, {0xA0, 60, 20, true}, {0xD5, 30, 0, true},
      {0xE0, 0, 64, true}, {0xB0, 1, 64, true},  {0xB0, 120, 0, true}, {0xB0, 122, 0, true},
      {0xF0, 0, 0, false}, {0xF8, 0, 0, false},  {0x40, 1, 1, false},  {0xFF, 0, 0, false},
  };
  for (const Case& c : cases) {
    IMidiMsg m(7, c.status, c.d1, c.d2);
    s.ProcessMidiMsg(&m);
    EXPECT_EQ(c.queued ? 1 : 0, s.midiQueue.Pending()) << std::hex << (int)c.status;
    s.midiQueue.Clear();
  }
  EXPECT_EQ(0, s.allNotesOffCalls);
  s.ProcessMidiMsg(nullptr);
}

TEST(SynthMidi, ChannelModeControllersStopAllNotesAtOnce)
{
  TestSynth s;
  s.resetAt(44100.0);
  for (int cc = 123; cc <= 127; ++cc) {
    IMidiMsg m(0, 0xB0, (uint8_t)cc, 0);
    s.ProcessMidiMsg(&m);
  }
  EXPECT_EQ(5, s.allNotesOffCalls);
  EXPECT_EQ(0, s.midiQueue.Pending());
  // Also while learn waits for a controller.
  s.doMidiLearn(true);
  IMidiMsg m(0, 0xB0, 123, 0);
  s.ProcessMidiMsg(&m);
  EXPECT_EQ(6, s.allNotesOffCalls);
  EXPECT_TRUE(s.midiLearnArmed);
  EXPECT_EQ(-1, s.midiLearnCC);
}

TEST(SynthMidi, ProgramChangeSwitchesAtOnce)
{
  TestSynth s;
  s.resetAt(44100.0);
  noteOn(s, 60, 0);
  IMidiMsg pc(10, 0xC0, 5, 0);
  s.ProcessMidiMsg(&pc);
  EXPECT_EQ(5, s.GetCurrentPresetIdx());
  EXPECT_EQ(1, s.midiQueue.Pending()); // the program change itself is not queued
  IMidiMsg beyond(0, 0xC0, 100, 0);    // no program 100
  s.ProcessMidiMsg(&beyond);
  EXPECT_EQ(5, s.GetCurrentPresetIdx());
}

TEST(SynthKeys, AscendingWithoutDuplicates)
{
  TestSynth s;
  for (int k : {64, 60, 62, 60}) s.addPressedKey(k);
  EXPECT_EQ((std::vector<int>{60, 62, 64}), heldKeys(s));
  s.removePressedKey(62);
  EXPECT_EQ((std::vector<int>{60, 64}), heldKeys(s));
  EXPECT_EQ(Synth::kNoKey, s.pressedKeys[2]);
  s.removePressedKey(61); // not held
  EXPECT_EQ((std::vector<int>{60, 64}), heldKeys(s));
  s.removePressedKey(64);
  s.removePressedKey(60);
  EXPECT_EQ(0, s.numPressedKeys);
  s.removePressedKey(60); // empty
  EXPECT_EQ(0, s.numPressedKeys);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(Synth::kNoKey, s.pressedKeys[i]);
}

TEST(SynthKeys, HighestHeldKeyIsLast)
{
  TestSynth s;
  const int keys[] = {40, 90, 12, 77, 90, 0, 127};
  for (int k : keys) s.addPressedKey(k);
  EXPECT_EQ((std::vector<int>{0, 12, 40, 77, 90, 127}), heldKeys(s));
  EXPECT_EQ(127, s.pressedKeys[s.numPressedKeys - 1]);
  s.clearKeyBuffer();
  EXPECT_EQ(0, s.numPressedKeys);
  EXPECT_EQ(Synth::kNoKey, s.pressedKeys[0]);
}

TEST(SynthKeys, FullBufferIgnoresFurtherKeys)
{
  TestSynth s;
  for (int k = 0; k < 128; ++k) s.addPressedKey(2 * k); // 128 different keys
  EXPECT_EQ(128, s.numPressedKeys);
  s.addPressedKey(1); // a 129th
  EXPECT_EQ(128, s.numPressedKeys);
  EXPECT_EQ(0, s.pressedKeys[0]);
  EXPECT_EQ(2, s.pressedKeys[1]);
  s.removePressedKey(254);
  EXPECT_EQ(127, s.numPressedKeys);
  EXPECT_EQ(Synth::kNoKey, s.pressedKeys[127]);
}

TEST(SynthParams, ActivationReappliesEveryParameter)
{
  TestSynth s;
  s.paramChanges = 0;
  s.OnActivate(false);
  EXPECT_EQ(0, s.paramChanges);
  s.OnActivate(true);
  EXPECT_EQ(300, s.paramChanges);
}

TEST(SynthParams, ListParameter)
{
  TestSynth s;
  const char* labels[] = {"Alpha", "Beta", "Gamma"};
  s.initListParameter(7, "Choice", 2, 3, labels);
  IParam* p = s.GetParam(7);
  EXPECT_STREQ("Choice", p->GetNameForHost());
  EXPECT_EQ(0.0, p->GetMin());
  EXPECT_EQ(2.0, p->GetMax());
  EXPECT_EQ(2.0, p->GetDefault());
  ASSERT_EQ(3, p->GetNDisplayTexts());
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(labels[i], p->GetDisplayText(i));
  s.initListParameter(400, "Nothing", 0, 3, labels); // no such parameter: ignored
}

// The bank beside the plug-in wins; one that cannot be read or brings no program (none at all, or only
// uninitialised ones, with which the plug-in would start as 64 empty programs) gives way to init.fxb in the
// resources folder, as a damaged one does.
TEST(SynthStartupBank, ProductBankBesideThePluginElseInitInResources)
{
  TempDir dir;
  // A bank from another synth instance: program names tell the banks apart.
  auto makeBank = [&](const char* file, const char* name) {
    TestSynth maker;
    if (name) maker.MakeDefaultPreset(name, 1);
    WDL_String path(dir.path(file).c_str());
    EXPECT_TRUE(maker.SaveBankAsFXB(&path));
  };
  std::filesystem::create_directories(dir.path("res"));
  makeBank("res/init.fxb", "InitBank");
  // A bank of parameter values that holds no program: the file header alone, with a count of 0.
  std::string none = "CcnK----FxBk---\2";
  for (int shift = 24; shift >= 0; shift -= 8) none += (char)(TestSynth().GetUniqueID() >> shift);
  none.resize(156, '\0');
  const struct
  {
    const char* what;
    std::function<void()> make; // the bank beside the plug-in
    const char* first;          // the first program's name after the start
  } cases[] = {
      {"a bank of its own", [&] { makeBank("Veltrane.fxb", "UserBank"); }, "UserBank"},
      {"none", [&] { std::filesystem::remove(dir.path("Veltrane.fxb")); }, "InitBank"},
      {"one of uninitialised programs only", [&] { makeBank("Veltrane.fxb", nullptr); }, "InitBank"},
      {"one of no program", [&] { dir.write("Veltrane.fxb", none); }, "InitBank"},
  };
  setenv("VELTRANE_RESOURCES", dir.path("res").c_str(), 1);
  for (const auto& c : cases) {
    c.make();
    TestSynth s;
    s.dialogFolder.Set((dir.dir() + "/").c_str());
    s.initState();
    EXPECT_STREQ(c.first, s.GetPresetName(0)) << c.what;
    const bool own = !std::strcmp(c.first, "UserBank");
    EXPECT_EQ(own ? dir.path("Veltrane.fxb") : "", s.startupBankPath.Get()) << c.what;
  }
  std::filesystem::remove(dir.path("Veltrane.fxb"));
  std::filesystem::remove(dir.path("res/init.fxb"));
  {
    TestSynth s;
    s.dialogFolder.Set((dir.dir() + "/").c_str());
    s.initState(); // neither bank: the programs stay as they were
    EXPECT_FALSE(s.IsPresetInitialized(0));
  }
  unsetenv("VELTRANE_RESOURCES");
}

TEST(SynthSampleRate, AHostRateOutsideTheUsableRangeIsTakenAsTheNearest)
{
  // Refused (the rate stays 44100 Hz), clamped to 1 kHz .. 768 kHz, or taken as it is.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct
  {
    double host, taken;
  } cases[] = {{0.0, 44100.0},     {-48000.0, 44100.0}, {nan, 44100.0},     {1.0, 1000.0},
               {999.0, 1000.0},    {8000.0, 8000.0},    {384000.0, 384000.0}, {1.0e7, 768000.0},
               {1.0e9, 768000.0}};
  for (const auto& c : cases) {
    HostedVeltrane h(44100.0, 256);
    h.dispatch(effSetSampleRate, 0, 0, nullptr, (float)c.host);
    EXPECT_EQ(c.taken, h.plug->GetSampleRate()) << c.host;
    EXPECT_EQ((int)c.taken / 1000, h.plug->controlPeriod) << c.host;
  }
}
