// Pitch in 1/128 semitone to hertz, the tuning table loaded from .tun, .scl and .kbm files, and MIDI learn.
#include "engine_harness.h"

#include "../support/child_deadline.h"
#include "IControl.h"
#include "tun_scala.h"
#include "tun_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <string>
#include <thread>

namespace {
// An AnaMark file of version 200 around the given sections.
std::string tun200(const std::string& body)
{
  return "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n" + body + "[Scale End]\n";
}

double equalHz(double semitonesFromNote0)
{
  return 440.0 * std::pow(2.0, (semitonesFromNote0 - 69.0) / 12.0);
}

// The table keeps three decimals of the equal-tempered frequency (two for notes 124 to 127).
double tolerance(int note)
{
  return note >= 124 && note <= 127 ? 0.005 : 0.0005 + 1e-9;
}

// Where a loaded note landed, the target frequency lies between it and its neighbour on the search side.
void expectBracketed(int note, double targetHz, int pitch)
{
  const double t = targetHz < 8.176 ? 8.176 : (targetHz > 19912.127 ? 19912.127 : targetHz);
  if (Synth::convert2Hz(note * 128) > t) {
    EXPECT_LE(pitch, note * 128) << note;
    EXPECT_LE(Synth::convert2Hz(pitch), t) << note;
    EXPECT_GT(Synth::convert2Hz(pitch + 1), t) << note;
  } else {
    EXPECT_GT(pitch, note * 128) << note;
    EXPECT_GE(Synth::convert2Hz(pitch), t) << note;
    if (pitch - 1 > note * 128) {
      EXPECT_LT(Synth::convert2Hz(pitch - 1), t) << note;
    }
  }
}

class RecordingControl : public IControl
{
public:
  RecordingControl() : IControl(nullptr, IRECT()) {}
  bool Draw(IGraphics*) override { return true; }
  void SetValueFromPlug(double value) override
  {
    lastValue = value;
    ++fromPlug;
    IControl::SetValueFromPlug(value);
  }
  void SetDirty(bool pushToPlug) override
  {
    ++dirty;
    lastPush = pushToPlug;
    mDirty = true;
  }
  double lastValue = -1.0;
  int fromPlug = 0, dirty = 0;
  bool lastPush = false;
};

void sendCC(Synth& s, int cc, int value = 64)
{
  IMidiMsg m(0, 0xB0, (uint8_t)cc, (uint8_t)value);
  s.ProcessMidiMsg(&m);
}
} // namespace

TEST(Pitch, TablePointsAreSemitones)
{
  for (int k = 0; k <= 135; ++k) EXPECT_NEAR(equalHz(k), Synth::convert2Hz(k * 128), tolerance(k)) << k;
  for (int k = 1; k <= 135; ++k) {
    const double expected = 8.176 * std::pow(2.0, -k / 12.0);
    EXPECT_NEAR(expected, Synth::convert2Hz(-k * 128), 0.5e-10 + 1e-13) << k;
  }
}

TEST(Pitch, KnownValues)
{
  EXPECT_EQ(8.176, Synth::convert2Hz(0));
  EXPECT_DOUBLE_EQ(440.0, Synth::convert2Hz(8832));
  EXPECT_DOUBLE_EQ(8.419, Synth::convert2Hz(64));
  EXPECT_DOUBLE_EQ(19912.127, Synth::convert2Hz(17280));
  EXPECT_DOUBLE_EQ(7.7171163805, Synth::convert2Hz(-128));
  EXPECT_DOUBLE_EQ(0.0033570162, Synth::convert2Hz(-17280));
  // Beyond the tables the conversion clamps.
  for (int x : {17280, 17281, 20000, 1 << 30}) EXPECT_DOUBLE_EQ(19912.127, Synth::convert2Hz(x)) << x;
  for (int x : {-17280, -17281, -20000, -(1 << 30)}) EXPECT_DOUBLE_EQ(0.0033570162, Synth::convert2Hz(x)) << x;
}

TEST(Pitch, LinearBetweenSemitones)
{
  const int semitones[] = {-100, -1, 0, 1, 45, 69, 100, 134};
  for (int k : semitones) {
    const double a = Synth::convert2Hz(k * 128), b = Synth::convert2Hz((k + (k < 0 ? -1 : 1)) * 128);
    for (int f : {1, 32, 64, 100, 127}) {
      const int x = k < 0 ? k * 128 - f : k * 128 + f;
      EXPECT_NEAR(a + (b - a) * f / 128.0, Synth::convert2Hz(x), 1e-9) << x;
    }
  }
}

TEST(Pitch, RisesWithPitchOverTheWholeRange)
{
  double previous = 0.0;
  for (int x = -17280; x <= 17280; ++x) {
    const double hz = Synth::convert2Hz(x);
    ASSERT_GT(hz, previous) << x;
    previous = hz;
  }
}

TEST(Tuning, EqualTemperamentAtStartAndAfterReset)
{
  TestSynth s;
  for (int n = 0; n < 128; ++n) EXPECT_EQ(n * 128, s.getFrequency(n));
  EXPECT_EQ(0, s.getFrequency(-1));
  EXPECT_EQ(0, s.getFrequency(128));
  EXPECT_EQ(0, s.getFrequency(130));
  s.tuningTable[5] = 1;
  std::snprintf(s.tuningName, sizeof(s.tuningName), "Other");
  s.resetTuning();
  EXPECT_EQ(5 * 128, s.getFrequency(5));
  EXPECT_STREQ("Equal (Standard)", s.tuningName);
}

TEST(Tuning, CustomIsDecidedByNameIgnoringCase)
{
  TestSynth s;
  struct Case
  {
    const char* name;
    bool custom;
  };
  const Case cases[] = {{"Equal (Standard)", false}, {"equal (standard)", false}, {"EQUAL (STANDARD)", false},
                        {"Equal (Standard) ", true}, {"Meantone", true},          {"", true}};
  for (const Case& c : cases) {
    std::snprintf(s.tuningName, sizeof(s.tuningName), "%s", c.name);
    EXPECT_EQ(c.custom, s.isCustomTuning()) << c.name;
  }
}

TEST(Tuning, TunFileExactFrequencies)
{
  TempDir dir;
  struct Case
  {
    const char* body;
    int note, pitch; // a note whose pitch the rule fixes
  };
  const Case cases[] = {
      // Exactly the equal-tempered frequency: the upward search moves at least once.
      {"[Info]\nDescription = \"Test Tuning\"\n[Exact Tuning]\nBaseFreq = 440\nNote 69 = 0\n", 69, 8833},
      // At or below 8.176 Hz: note 0 goes up once, any other note stops at pitch 0.
      {"[Info]\nDescription = \"Test Tuning\"\n[Exact Tuning]\nBaseFreq = 5\n", 0, 1},
      {"[Info]\nDescription = \"Test Tuning\"\n[Exact Tuning]\nBaseFreq = 5\n", 1, 0},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write("a.tun", tun200(c.body));
    TUN::CSingleScale scale;
    ASSERT_EQ(1, scale.Read(path.c_str()));
    TestSynth s;
    EXPECT_EQ(0, s.loadTuning(path.c_str()));
    EXPECT_STREQ("Test Tuning", s.tuningName);
    EXPECT_TRUE(s.isCustomTuning());
    EXPECT_EQ(c.pitch, s.getFrequency(c.note)) << c.body;
    for (int n = 0; n < 128; ++n)
      expectBracketed(n, scale.m_vdblNoteFrequenciesHz[scale.MapMIDI2Scale(n)], s.getFrequency(n));
  }
}

TEST(Tuning, JustBelowTheEqualTemperedFrequency)
{
  TempDir dir;
  const std::string path = dir.write("b.tun", tun200("[Exact Tuning]\nBaseFreq = 439.9\nNote 69 = 0\n"));
  TestSynth s;
  ASSERT_EQ(0, s.loadTuning(path.c_str()));
  // The highest pitch not above 439.9 Hz, a little under 8832.
  EXPECT_LT(s.getFrequency(69), 8832);
  EXPECT_GT(s.getFrequency(69), 8832 - 8);
  expectBracketed(69, 439.9, s.getFrequency(69));
}

TEST(Tuning, TunFileVersion100)
{
  TempDir dir;
  std::string text = "[Tuning]\n";
  for (int n = 0; n < 128; ++n) text += "Note " + std::to_string(n) + " = " + std::to_string(n * 100 + 50) + "\n";
  const std::string path = dir.write("quarter.TUN", text);
  TestSynth s;
  ASSERT_EQ(0, s.loadTuning(path.c_str()));
  // Every note a quarter tone sharp: between the table's semitones.
  for (int n = 0; n < 128; ++n) {
    const double hz = 8.175798915643707 * std::pow(2.0, (n + 0.5) / 12.0);
    expectBracketed(n, hz, s.getFrequency(n));
    if (n < 127) {
      EXPECT_NEAR(n * 128 + 64, s.getFrequency(n), 2) << n;
    }
  }
}

TEST(Tuning, ScalaScaleAndMapping)
{
  TempDir dir;
  const std::string scl =
      dir.write("five.scl", "! five.scl\nFive equal steps\n 5\n!\n 240.0\n 480.0\n 720.0\n 960.0\n 2/1\n");
  const std::string kbm = dir.write("map.kbm", "! map.kbm\n0\n0\n127\n60\n69\n400.0\n0\n");
  // The same files through an importer of the test's own: the scale the table must follow.
  TUN::CSCL_Import reference;
  auto expectTable = [&](const Synth& s) {
    TUN::CSingleScale scale;
    reference.SetSingleScale(scale);
    for (int n = 0; n < 128; ++n)
      expectBracketed(n, scale.m_vdblNoteFrequenciesHz[scale.MapMIDI2Scale(n)], s.tuningTable[n]);
  };

  TestSynth s;
  ASSERT_EQ(0, s.loadTuning(scl.c_str()));
  EXPECT_STREQ("Five equal steps", s.tuningName);
  ASSERT_TRUE(reference.ReadSCL(scl.c_str()));
  expectTable(s);
  EXPECT_NE(61 * 128, s.tuningTable[61]); // no longer equal-tempered

  // A mapping file maps the last scale; the name tells both.
  ASSERT_EQ(0, s.loadTuning(kbm.c_str()));
  EXPECT_STREQ("Five equal steps / map.kbm", s.tuningName);
  ASSERT_TRUE(reference.ReadKBM(kbm.c_str()));
  expectTable(s);

  // And a scale read later is mapped by the last mapping.
  const std::string scl2 = dir.write("seven.SCL", "Seven\n 7\n 171.4\n 342.9\n 514.3\n 685.7\n 857.1\n 1028.6\n 2/1\n");
  ASSERT_EQ(0, s.loadTuning(scl2.c_str()));
  EXPECT_STREQ("Seven", s.tuningName);
  ASSERT_TRUE(reference.ReadSCL(scl2.c_str()));
  expectTable(s);

  // Reset forgets both.
  s.resetTuning();
  for (int n = 0; n < 128; ++n) EXPECT_EQ(n * 128, s.tuningTable[n]);
}

TEST(Tuning, FailedReadsReportEight)
{
  TempDir dir;
  TestSynth s;
  ASSERT_EQ(0, s.loadTuning(dir.write("five.scl", "Five\n 5\n 240.0\n 480.0\n 720.0\n 960.0\n 2/1\n").c_str()));
  const std::vector<int> table(s.tuningTable, s.tuningTable + 128);
  EXPECT_EQ(8, s.loadTuning(dir.path("missing.tun").c_str()));
  EXPECT_EQ(8, s.loadTuning(dir.path("missing.scl").c_str()));
  EXPECT_EQ(8, s.loadTuning(dir.path("missing.kbm").c_str()));
  EXPECT_EQ(8, s.loadTuning(nullptr));
  EXPECT_EQ(8, s.loadTuning(""));
  const std::string bad = dir.write("bad.scl", "! bad\nBad\n not a number\n");
  EXPECT_EQ(8, s.loadTuning(bad.c_str()));
  // Nothing changed: the table, its name, and the scale that a mapping file still maps.
  EXPECT_EQ(table, std::vector<int>(s.tuningTable, s.tuningTable + 128));
  EXPECT_STREQ("Five", s.tuningName);
  ASSERT_EQ(0, s.loadTuning(dir.write("map.kbm", "0\n0\n127\n60\n69\n440.0\n0\n").c_str()));
  EXPECT_STREQ("Five / map.kbm", s.tuningName);
}

namespace {
// Whether the last tuning was put in place under the instance mutex.
struct ApplyProbe : TestSynth
{
  bool underMutex = false;
  void applyTuning(const TuningRead& read) override
  {
    underMutex = GetMutex()->HeldByCaller();
    TestSynth::applyTuning(read);
  }
};
} // namespace

TEST(Tuning, ReadWithoutTheMutexAndPutInPlaceUnderIt)
{
  TempDir dir;
  const std::string scl = dir.write("five.scl", "Five\n 5\n 240.0\n 480.0\n 720.0\n 960.0\n 2/1\n");
  ApplyProbe s;
  std::promise<void> held, release;
  std::thread holder([&] {
    WDL_MutexLock lock(s.GetMutex());
    held.set_value();
    release.get_future().wait();
  });
  held.get_future().wait();
  // In the child the holder is gone and the mutex cannot be taken: a read that took it would not end well.
  TuningRead read;
  EXPECT_EQ(0, inChildWithin30s(
                   [&] { return s.readTuning(scl.c_str(), s.sclImport, &read) || read.name != std::string("Five"); }));
  release.set_value();
  holder.join();
  ASSERT_EQ(0, s.loadTuning(scl.c_str()));
  EXPECT_TRUE(s.underMutex);
}

TEST(Tuning, NonFiniteFrequenciesKeepEqualPitch)
{
  TempDir dir;
  // Cents so large that the frequency overflows; whatever the reader makes of them, loading ends.
  const std::string path = dir.write("huge.tun", "[Exact Tuning]\nBaseFreq = 440\nNote 5 = 1e308\nNote 6 = -1e308\n"
                                                 "Note 7 = 1e30\n");
  TestSynth s;
  s.loadTuning(path.c_str());
  for (int n = 0; n < 128; ++n) {
    EXPECT_GE(s.getFrequency(n), 0) << n;
    EXPECT_LE(s.getFrequency(n), 17280) << n;
  }
}

TEST(Tuning, LongNamesAreCut)
{
  TempDir dir;
  const std::string longName(400, 'x');
  const std::string path =
      dir.write("long.tun", tun200("[Info]\nDescription = \"" + longName + "\"\n[Tuning]\nNote 1 = 100\n"));
  TestSynth s;
  ASSERT_EQ(0, s.loadTuning(path.c_str()));
  EXPECT_EQ(std::string(255, 'x'), s.tuningName);
}

TEST(MidiLearn, LearnAssignsAndTheSwitchShowsOff)
{
  TestSynth s;
  RecordingControl* sw = new RecordingControl;
  s.graphics->AttachControl(sw);
  s.midiLearnSwitch = sw;
  s.resetAt(44100.0);

  s.doMidiLearn(true);
  s.OnParamChange(5);
  EXPECT_TRUE(s.midiLearnArmed); // waits for a controller
  sendCC(s, 20);
  EXPECT_EQ(5, s.midiLearnMap[20]);
  EXPECT_FALSE(s.midiLearnArmed);
  EXPECT_TRUE(s.hasMidiControllerMap());
  // The switch is the editor thread's alone: the learn only tells it (its next tick shows it off).
  EXPECT_TRUE(s.learnDisarmed.load());
  EXPECT_EQ(0, sw->fromPlug + sw->dirty) << "the switch was written where the learn completed";
  EXPECT_EQ(0, s.midiQueue.Pending()); // the learning controller is not queued

  // Re-learning controller 20 for parameter 7; a controller that drove 7 loses it.
  s.midiLearnMap[33] = 7;
  s.doMidiLearn(true);
  s.OnParamChange(7);
  sendCC(s, 20);
  EXPECT_EQ(7, s.midiLearnMap[20]);
  EXPECT_EQ(-1, s.midiLearnMap[33]);
  for (int cc = 0; cc < 120; ++cc)
    if (cc != 20) {
      EXPECT_NE(5, s.midiLearnMap[cc]);
    }

  // A controller before any parameter moves takes the parameter pending from the last learn.
  s.doMidiLearn(true);
  sendCC(s, 30);
  EXPECT_EQ(7, s.midiLearnMap[30]);
  EXPECT_EQ(-1, s.midiLearnMap[20]);
}

TEST(MidiLearn, WaitsForAParameterAfterConstruction)
{
  TestSynth s;
  s.resetAt(44100.0);
  s.doMidiLearn(true);
  sendCC(s, 30);
  EXPECT_TRUE(s.midiLearnArmed);
  EXPECT_EQ(30, s.midiLearnCC);
  EXPECT_FALSE(s.hasMidiControllerMap());
  s.OnParamChange(100);
  EXPECT_EQ(100, s.midiLearnMap[30]);
  EXPECT_FALSE(s.midiLearnArmed);
}

TEST(MidiLearn, ControllersWithoutAMapEntryKeepLearnWaiting)
{
  TestSynth s;
  s.resetAt(44100.0);
  s.doMidiLearn(true);
  s.OnParamChange(9);
  for (int cc = 120; cc <= 122; ++cc) {
    sendCC(s, cc);
    EXPECT_TRUE(s.midiLearnArmed) << cc;
    EXPECT_FALSE(s.hasMidiControllerMap()) << cc;
  }
  EXPECT_EQ(3, s.midiQueue.Pending()); // queued as usual
  s.setMidiLearnCC(200);
  s.setMidiLearnCC(-3);
  EXPECT_TRUE(s.midiLearnArmed);
  sendCC(s, 119);
  EXPECT_EQ(9, s.midiLearnMap[119]);
}

TEST(MidiLearn, Unlearn)
{
  TestSynth s;
  RecordingControl* sw = new RecordingControl;
  s.graphics->AttachControl(sw);
  s.midiLearnSwitch = sw;
  s.resetAt(44100.0);
  s.midiLearnMap[20] = 4;
  s.midiLearnMap[21] = 8;
  s.midiLearnMap[22] = 8;

  s.doMidiUnlearn(true);
  sendCC(s, 20);
  EXPECT_EQ(-1, s.midiLearnMap[20]);
  EXPECT_FALSE(s.midiLearnArmed);
  EXPECT_FALSE(s.midiUnlearnMode);

  // Unlearn by parameter: every controller driving it.
  s.doMidiUnlearn(true);
  s.OnParamChange(8);
  EXPECT_EQ(-1, s.midiLearnMap[21]);
  EXPECT_EQ(-1, s.midiLearnMap[22]);
  EXPECT_FALSE(s.hasMidiControllerMap());

  // Unlearning a controller that drives nothing leaves the map alone and ends the mode.
  s.midiLearnMap[40] = 3;
  s.doMidiUnlearn(true);
  sendCC(s, 41);
  EXPECT_EQ(3, s.midiLearnMap[40]);
  EXPECT_FALSE(s.midiLearnArmed);
  EXPECT_EQ(0, sw->fromPlug + sw->dirty) << "the switch was written where an unlearn completed";
}

TEST(MidiLearn, SwitchingOffDisarmsWithoutChange)
{
  TestSynth s;
  s.resetAt(44100.0);
  s.doMidiLearn(true);
  s.doMidiLearn(false);
  s.OnParamChange(5);
  sendCC(s, 20);
  EXPECT_EQ(-1, s.midiLearnMap[20]);
  EXPECT_EQ(1, s.midiQueue.Pending()); // an ordinary controller again
  EXPECT_FALSE(s.hasMidiControllerMap());
}
