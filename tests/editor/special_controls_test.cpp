// The beat sequencer's step columns and the wavetable loader, driven through the headless surface: clicks
// toggle the step bits of the right line's parameter and reach the module, the step LEDs follow the step
// the module published, and the loader takes good .wav and .syx files and refuses bad ones with a message
// box while the loaded table stays.
#include "BeatSeq.h"
#include "BeatSteps.h"
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IParam.h"
#include "OscWavetable.h"
#include "Veltrane.h"
#include "WavetableLoader.h"
#include "editor_rig.h"
#include "editor_test_util.h"
#include "engine_harness.h"
#include "scripted_surface.h"
#include "veltrane_controls.h"
#include "../support/thread_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const IMouseMod kLeft(true), kRight(false, true);

struct Editor : EditorRig
{
  Editor() { open(); }
  double plain(int idx) { return v->GetParam(idx)->Value(); }
};

// ---- beat steps ----

constexpr int kSeqSlot = 3, kColumnX = 600, kColumnY = 380;

TEST(BeatSteps, ClicksToggleTheStepBitsOfTheirLine)
{
  Editor e;
  e.v->replaceModule(kSeqSlot, ModuleConfig::MOD_BEATSEQ, true, false);
  auto* seq = static_cast<BeatSeq*>(e.v->masterModules[kSeqSlot]);
  ASSERT_NE(nullptr, seq);
  const int base = kSeqSlot * Module::kNumParams;
  ITWBeatStepControl* columns[4];
  for (int line = 0; line < 4; ++line) {
    columns[line] = new ITWBeatStepControl(e.v.get(), kColumnX + 25 * line, kColumnY, base + 5 + line);
    e.g->AttachControl(columns[line]);
  }
  // (line, y offset in the column, step expected; -1: the two bottom rows select nothing)
  struct Press
  {
    int line, dy, step;
  } presses[] = {{0, 0, 0},    {0, 30, 2},  {0, 38, 2},   {1, 12, 0},  {1, 13, 1},
                 {2, 207, 15}, {3, 100, 7}, {3, 208, -1}, {3, 209, -1}};
  int expected[4] = {0, 0, 0, 0};
  for (const Press& p : presses) {
    for (int round = 0; round < 2; ++round) { // a second click takes the step back
      const int x = kColumnX + 25 * p.line + 13;
      e.click(x, kColumnY + p.dy);
      if (p.step >= 0) expected[p.line] ^= 1 << p.step;
      for (int line = 0; line < 4; ++line) {
        SCOPED_TRACE(::testing::Message() << "line " << p.line << " dy " << p.dy << " round " << round);
        EXPECT_EQ(expected[line], (int)e.plain(base + 5 + line)) << "line " << line;
        EXPECT_EQ(expected[line], columns[line]->mask());
        for (int k = 0; k < 16; ++k) {
          EXPECT_EQ((expected[line] >> k) & 1, (int)seq->lines[line][k]) << "module, step " << k;
          EXPECT_EQ((expected[line] >> k) & 1, (int)columns[line]->lamp(k)->GetValue()) << "lamp " << k;
        }
      }
      if (round == 0 && p.step >= 0) e.click(x, kColumnY + p.dy); // leave it set for one more check below
      if (round == 0 && p.step >= 0) expected[p.line] ^= 1 << p.step;
    }
  }
  // The lamps follow a mask the host sets, at the column's next drawing.
  IParam* param = e.v->GetParam(base + 6);
  param->Set(0x8421);
  e.g->SetParameterFromPlug(base + 6, param->GetNormalized(), true);
  columns[1]->Draw(e.g);
  for (int k = 0; k < 16; ++k) EXPECT_EQ((0x8421 >> k) & 1, (int)columns[1]->lamp(k)->GetValue()) << k;
}

TEST(BeatSteps, AccentLampsMarkEveryFourthStep)
{
  Editor e;
  const int before = e.g->GetNControls();
  auto* column = new ITWBeatStepControl(e.v.get(), kColumnX, kColumnY, 5);
  EXPECT_EQ(before + 16, e.g->GetNControls()) << "the lamps are attached before the column";
  e.g->AttachControl(column);
  EXPECT_EQ(IRECT(kColumnX, kColumnY, kColumnX + 26, kColumnY + 210), *column->GetRECT());
  IBitmap* lamp = BitmapStore::getBitmap(kImageButtonLight);
  IBitmap* accent = BitmapStore::getBitmap(kImageButtonLight2);
  ASSERT_TRUE(lamp && accent && lamp->mData && accent->mData);
  ASSERT_NE(lamp->mData, accent->mData);
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(e.g->GetControl(before + k), column->lamp(k)) << k;
    EXPECT_EQ(kColumnY + 13 * k, column->lamp(k)->GetRECT()->T) << k;
    EXPECT_EQ(k % 4 == 0 ? accent->mData : lamp->mData, column->lamp(k)->GetBitmap().mData) << k;
  }
}

TEST(BeatSteps, LedsFollowTheStepPublishedPerTick)
{
  Editor e;
  e.v->replaceModule(kSeqSlot, ModuleConfig::MOD_BEATSEQ, true, false);
  auto* seq = static_cast<BeatSeq*>(e.v->masterModules[kSeqSlot]);
  ASSERT_NE(nullptr, seq);
  seq->setParameter(1, 0); // every clock a step
  seq->setParameter(3, 1); // loop
  seq->setParameter(4, 5); // 6 steps
  IBitmap* led = BitmapStore::getBitmap(kImageLed);
  IControl* leds[16];
  for (int k = 0; k < 16; ++k) {
    leds[k] = new IBitmapControl(e.v.get(), 8, 87 + 13 * k, -1, led);
    e.g->AttachControl(leds[k]);
  }
  int step = 0; // worked out here: 6 steps, then back to the first
  for (int tick = 0; tick < 20; ++tick) {
    seq->clock();
    // Until the tick ends the editor still sees the step before.
    EXPECT_EQ(step, beatSeqShownStep(seq)) << tick;
    seq->update(true);
    step = (step + 1) % 6;
    ASSERT_EQ(step, beatSeqShownStep(seq)) << tick;
    showStepLeds(leds, 16, beatSeqShownStep(seq));
    for (int k = 0; k < 16; ++k) EXPECT_EQ(k != step, leds[k]->IsHidden()) << "tick " << tick << " led " << k;
  }
  showStepLeds(leds, 16, 16); // out of range: none lit
  for (int k = 0; k < 16; ++k) EXPECT_TRUE(leds[k]->IsHidden());
  EXPECT_EQ(-1, beatSeqShownStep(nullptr));
}

// ---- wavetable loader ----

constexpr int kWaveSlot = 4;
const IRECT kLoaderRect(700, 400, 800, 416);

using Bytes = std::vector<unsigned char>;

void put(Bytes& b, uint32_t v, int bytes)
{
  for (int i = 0; i < bytes; ++i) b.push_back((v >> (8 * i)) & 255);
}

// A mono 16-bit PCM file of n frames of a sine with `cycles` cycles per 2048 samples.
Bytes wavFile(int n, int cycles = 1)
{
  Bytes b;
  const char* riff = "RIFF";
  b.insert(b.end(), riff, riff + 4);
  put(b, 36 + 2 * n, 4);
  const char* ids = "WAVEfmt ";
  b.insert(b.end(), ids, ids + 8);
  // (value, bytes): format size, PCM, mono, rate, bytes per second, block, bits
  const std::pair<uint32_t, int> format[] = {{16, 4}, {1, 2}, {1, 2}, {44100, 4}, {88200, 4}, {2, 2}, {16, 2}};
  for (const auto& [value, bytes] : format) put(b, value, bytes);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put(b, 2 * n, 4);
  for (int i = 0; i < n; ++i)
    put(b, (uint16_t)(int16_t)std::lround(16000 * std::sin(2 * M_PI * cycles * i / 2048.0)), 2);
  return b;
}

// Wave messages of 410 bytes: F0 3E 13 device 12, wave, 128 samples as three 7-bit bytes, checksum, F7.
Bytes syxFile(int waves = 64)
{
  Bytes b;
  for (int w = 0; w < waves; ++w) {
    Bytes m(410, 0);
    m[0] = 0xF0, m[1] = 0x3E, m[2] = 0x13, m[3] = 0x00, m[4] = 0x12, m[5] = 0x00, m[6] = w, m[7] = 0;
    for (int i = 0; i < 128; ++i) {
      const long v = std::lround(0.5 * std::sin(2 * M_PI * i / 128.0) * 1048575.0) & 0x1FFFFF;
      m[8 + 3 * i] = (v >> 14) & 127, m[9 + 3 * i] = (v >> 7) & 127, m[10 + 3 * i] = v & 127;
    }
    m[409] = 0xF7;
    b.insert(b.end(), m.begin(), m.end());
  }
  return b;
}

struct Fixture
{
  explicit Fixture(const char* name, const Bytes& bytes)
  {
    char dir[] = "/tmp/veltrane_loader_XXXXXX";
    folder = mkdtemp(dir);
    path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  ~Fixture()
  {
    unlink(path.c_str());
    rmdir(folder.c_str());
  }
  std::string folder, path;
};

struct LoaderEditor : Editor
{
  LoaderEditor()
  {
    v->replaceModule(kWaveSlot, ModuleConfig::MOD_OSCWAVETABLE, true, false);
    loader = new ITWLoadWavetableControl(v.get(), kLoaderRect, kWaveSlot * Module::kNumParams,
                                         &v->slotConfig[kWaveSlot], kFileOpen, "", "wav syx");
    g->AttachControl(loader);
  }
  void choose(const std::string& path)
  {
    g->ScriptFilePrompt(path.c_str());
    click(kLoaderRect.L + 10, kLoaderRect.T + 5);
  }
  SharedData& record() { return v->slotConfig[kWaveSlot].sharedData; }
  OscWavetable* osc() { return static_cast<OscWavetable*>(v->masterModules[kWaveSlot]); }
  ITWLoadWavetableControl* loader;
};

TEST(WavetableLoader, GoodFilesAreLoadedAndDescribed)
{
  struct Row
  {
    const char* name;
    Bytes bytes;
    int waves;
    const char* message;
  } rows[] = {
      {"single.wav", wavFile(2048), 1, "This is a single cycle waveform file\nwith 2048 samples."},
      {"Two Tables.WAV", wavFile(4096), 2, "This is assumed to be a wave table file\nwith 2 tables of 2048 samples."},
      {"odd.wav", wavFile(5000), 2,
       "This file does not have the correct Veltrane wave table format.\nHowever, it is treated as a wave table "
       "with 2 tables of 2048 samples."},
      {"long.wav", wavFile(140000), 64,
       "This file does not have the correct Veltrane wave table format.\nHowever, it is treated as a wave table "
       "with 64 tables of 2048 samples."},
      {"dump.syx", syxFile(), 64, "This is assumed to be a Blofield\nwave table file with 64 wave tables."},
      // Whole waves and messages beyond 64 all count.
      {"hundred.wav", wavFile(204800), 100,
       "This is assumed to be a wave table file\nwith 100 tables of 2048 samples."},
      {"hundred.syx", syxFile(100), 100, "This is assumed to be a Blofield\nwave table file with 100 wave tables."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    LoaderEditor e;
    ASSERT_NE(nullptr, e.v->infoArea);
    ASSERT_NE(nullptr, e.osc());
    Fixture f(r.name, r.bytes);
    const double before = e.loader->GetValue();
    e.choose(f.path);
    EXPECT_EQ(0, e.g->NMessageBoxes());
    EXPECT_STREQ(r.message, e.loader->lastMessage());
    EXPECT_STREQ(r.message, e.v->infoArea->text);
    EXPECT_FALSE(e.v->infoArea->IsHidden());
    EXPECT_STREQ(f.path.c_str(), e.record().name.Get());
    EXPECT_EQ((uint32_t)r.waves * 2048, e.record().count);
    EXPECT_EQ(r.waves, e.osc()->waveCount) << "the instance took the new table";
    EXPECT_NE(before, e.loader->GetValue()) << "the host sees an edit";
    WDL_String shown;
    e.loader->shownName(&shown);
    std::string stem(r.name);
    EXPECT_EQ(stem.substr(0, stem.rfind('.')), shown.Get());
    // A right click tells what is loaded now.
    e.click(kLoaderRect.L + 10, kLoaderRect.T + 5, kRight);
    const std::string said = r.waves > 1 ? "This is a wave table with " + std::to_string(r.waves) + " tables."
                                         : "This is a single cycle wave.";
    EXPECT_EQ(said, e.v->infoArea->text);
  }
}

TEST(WavetableLoader, BadFilesAreRefusedAndTheTableStays)
{
  Bytes badHead = syxFile();
  badHead[0] = 0xF1;
  Bytes longer = syxFile();
  longer.push_back(0xF7);
  Bytes noSamples = wavFile(0);
  Bytes notWave = {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'};
  const char* invalid = "Invalid file format! Cannot load\n";
  struct Row
  {
    const char* name;
    Bytes bytes;
    const char* message = nullptr; // the box's text before the quoted name, when it is fixed
  } rows[] = {{"empty.wav", noSamples},
              {"text.wav", notWave},
              {"one.wav", wavFile(1)},
              {"bad head.syx", badHead, invalid},
              {"longer.syx", longer, invalid},
              {"short.syx", Bytes(409, 0xF0), invalid},
              {"huge.syx", syxFile(4097), "Too many wave tables (4097, at most 4096)! Cannot load\n"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    LoaderEditor e;
    Fixture good("good.wav", wavFile(4096));
    e.choose(good.path);
    ASSERT_EQ(4096u, e.record().count);
    const double* data = e.record().data;
    const double value = e.loader->GetValue();
    Fixture f(r.name, r.bytes);
    e.choose(f.path);
    ASSERT_EQ(1, e.g->NMessageBoxes());
    const std::string quoted = std::string("\"") + r.name + "\".";
    const std::string text = e.g->GetMessageBox(0)->text.Get();
    EXPECT_NE(std::string::npos, text.find(quoted)) << text;
    if (r.message) {
      EXPECT_EQ(r.message + quoted, text);
    }
    EXPECT_STREQ(good.path.c_str(), e.record().name.Get());
    EXPECT_EQ(4096u, e.record().count);
    EXPECT_EQ(data, e.record().data) << "the table was not replaced";
    EXPECT_EQ(2, e.osc()->waveCount);
    EXPECT_EQ(value, e.loader->GetValue());
  }
}

// Another program put in place once the file is chosen, while its 1,024 waves are read: the table goes nowhere,
// unannounced.
TEST(WavetableLoader, AFileReadWhileAnotherProgramComesInGoesNowhere)
{
  LoaderEditor e;
  e.v->ModifyCurrentPreset(); // the program put in place again has the oscillator too
  Fixture f("pad.wav", wavFile(1024 * 2048));
  std::thread host;
  std::atomic<bool> held{false};
  e.g->whileOpen = [&] {
    host = std::thread([&, editor = gettid()] {
      WDL_MutexLock lock(e.v->GetMutex()); // the table read waits for it
      held.store(true);
      ThreadComesToSleep(editor); // the dialog has answered: the editor waits for the mutex
      e.v->RestorePreset(e.v->GetCurrentPresetIdx());
    });
    while (!held.load()) std::this_thread::yield();
  };
  e.choose(f.path);
  host.join();
  EXPECT_EQ(0, e.g->NMessageBoxes());
  EXPECT_STREQ("", e.record().name.Get()) << "the program put in place took the table";
}

TEST(WavetableLoader, CancelChangesNothingAndRightClickOnEmptyRecord)
{
  LoaderEditor e;
  e.choose("");
  EXPECT_EQ(0, e.g->NMessageBoxes());
  EXPECT_STREQ("", e.record().name.Get());
  EXPECT_EQ(0u, e.record().count);
  e.click(kLoaderRect.L + 10, kLoaderRect.T + 5, kRight);
  EXPECT_STREQ("No wave data loaded!", e.v->infoArea->text);
}

TEST(WavetableLoader, ShownNameDropsFolderAndExtension)
{
  const char* rows[][2] = {{"/a/b/Pad.syx", "Pad"},
                           {"C:\\x\\y.z\\Bells.v2.wav", "Bells.v2"},
                           {"/a.b/noext", "noext"},
                           {"/d/.wav", ""},
                           {"", ""}};
  for (auto& r : rows) {
    WDL_String out;
    wavetableDisplayName(r[0], &out);
    EXPECT_STREQ(r[1], out.Get()) << r[0];
  }
}

} // namespace
