// The product's state chunk as hosts and files see it: its size and byte-exact re-save, chunks of the older
// layouts 600 to 1001 built here field by field, custom tunings, MIDI assignments and wavetable records,
// short and damaged chunks, and program and bank files.
#include "engine_harness.h"

#include "OscWavetable.h"
#include "fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace {
using Bytes = std::vector<unsigned char>;

// What a saved program holds, written by a writer of our own in the layout of any version.
struct Saved
{
  int version = 1001;
  int ids[18] = {};
  int master[18] = {};
  struct Wavetable
  {
    std::string path;
    std::vector<double> data;
  };
  Wavetable wavetables[18];
  int order[18] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  double params[300] = {};
  double legato = 0, outLeft = 1, outRight = 2;
  bool custom = false;
  char tuningName[256] = {};
  int table[128] = {};
  int midiCC[16];
  bool hasMap = false;
  int map[120];
  Bytes extra;
  Saved()
  {
    for (int& c : midiCC) c = -1;
    for (int& m : map) m = -1;
  }
};

struct Writer
{
  Bytes b;
  template <class T> void put(T v)
  {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T)); // little-endian target
    b.insert(b.end(), raw, raw + sizeof(T));
  }
  void bytes(const void* p, size_t n) { b.insert(b.end(), (const unsigned char*)p, (const unsigned char*)p + n); }
};

Bytes write(const Saved& s)
{
  Writer w;
  w.put<int32_t>(s.version);
  for (int i = 0; i < 18; ++i) {
    w.put<int32_t>(s.ids[i]);
    if (s.version >= 900) w.put<uint8_t>((uint8_t)s.master[i]);
    if (s.ids[i] == 26) {
      w.put<int32_t>((int32_t)s.wavetables[i].path.size());
      w.bytes(s.wavetables[i].path.data(), s.wavetables[i].path.size());
      w.put<int32_t>((int32_t)s.wavetables[i].data.size());
      for (double d : s.wavetables[i].data) w.put<double>(d);
    }
  }
  for (int o : s.order) w.put<int32_t>(o);
  for (double p : s.params) w.put<double>(p);
  if (s.version >= 901) w.put<double>(s.legato);
  if (s.version >= 900) {
    w.put<double>(s.outLeft);
    w.put<double>(s.outRight);
  }
  w.put<uint8_t>(s.custom ? 1 : 0);
  if (s.custom) {
    w.bytes(s.tuningName, 256);
    for (int t : s.table) w.put<int32_t>(t);
  }
  for (int c : s.midiCC) w.put<int32_t>(c);
  w.put<uint8_t>(s.hasMap ? 1 : 0);
  if (s.hasMap)
    for (int m : s.map) w.put<int32_t>(m);
  if (s.version >= 601) {
    w.put<int32_t>((int32_t)s.extra.size());
    w.bytes(s.extra.data(), s.extra.size());
  }
  return w.b;
}

std::unique_ptr<Veltrane> instance()
{
  auto v = MakeVeltrane();
  v->SetSampleRate(44100.0);
  v->SetBlockSize(128);
  v->Reset();
  return v;
}

Bytes save(Veltrane& v)
{
  ByteChunk c;
  EXPECT_TRUE(v.SerializeState(&c));
  return Bytes(c.GetBytes(), c.GetBytes() + c.Size());
}

int load(Veltrane& v, const Bytes& b)
{
  ByteChunk c;
  c.Resize((int)b.size());
  if (!b.empty()) std::memcpy(c.GetBytes(), b.data(), b.size());
  return v.UnserializeState(&c, 0);
}

// A patch of a few modules as this version can hold it, with parameter values the modules accept (taken
// from an instance given the same modules) and every optional field in use.
Saved richPatch(int version)
{
  Saved s;
  s.version = version;
  s.ids[2] = ModuleConfig::MOD_LFO;
  s.ids[5] = ModuleConfig::MOD_MIXER;
  s.ids[7] = ModuleConfig::MOD_OSCILLATOR;
  s.ids[11] = ModuleConfig::MOD_ENVELOPE;
  if (version >= 900) s.master[5] = 1;
  const int order[18] = {7, 2, 0, 5, 1, 3, 4, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  std::memcpy(s.order, order, sizeof(order));
  auto v = instance();
  for (int i = 0; i < 18; ++i)
    if (s.ids[i]) v->replaceModule(i, s.ids[i], s.master[i] != 0, false);
  for (int i = 0; i < 300; ++i) s.params[i] = v->GetParam(i)->Value();
  s.params[291] = 1.25; // volume
  s.params[288] = 3;    // 8 voices
  s.params[297] = -7;   // bend range
  s.params[299] = 1;    // custom tuning on
  if (version >= 901) s.legato = 1;
  if (version >= 900) {
    s.outLeft = 3;  // Ext.L
    s.outRight = 5; // the master mixer's left output
  }
  s.custom = true;
  std::snprintf(s.tuningName, sizeof(s.tuningName), "Seventeen tone");
  s.tuningName[200] = 'x'; // bytes after the terminator travel too
  for (int n = 0; n < 128; ++n) s.table[n] = n * 90 + 11;
  s.midiCC[0] = 20;
  s.midiCC[15] = 7;
  s.hasMap = true;
  s.map[21] = 291;
  s.map[74] = 5 * 16 + 1;
  return s;
}

constexpr int kDefaultPayload = 4 + 18 * (4 + 1) + 18 * 4 + 300 * 8 + 8 + 2 * 8 + 1 + 16 * 4 + 1 + 4;
} // namespace

TEST(StateChunk, DefaultPatchSizeAndExactResave)
{
  auto v = instance();
  const Bytes first = save(*v);
  EXPECT_EQ(2660, kDefaultPayload);
  EXPECT_EQ((size_t)kDefaultPayload, first.size());
  int32_t version = 0;
  std::memcpy(&version, first.data(), 4);
  EXPECT_EQ(1001, version);
  EXPECT_EQ(kDefaultPayload, load(*v, first));
  EXPECT_EQ(first, save(*v));
  // The host's program chunk carries the framework header in front.
  HostedVeltrane h;
  const Bytes chunk = h.programChunk();
  ASSERT_EQ((size_t)kDefaultPayload + 8, chunk.size());
  const unsigned char header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(0, std::memcmp(header, chunk.data(), 8));
  EXPECT_EQ(1, h.dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), (void*)chunk.data()));
  EXPECT_EQ(chunk, h.programChunk());
}

TEST(StateChunk, EveryLayoutVersionLoadsAndResavesExactly)
{
  for (int version : {600, 601, 899, 900, 901, 1001}) {
    const Saved s = richPatch(version);
    const Bytes bytes = write(s);
    auto v = instance();
    ASSERT_EQ((int)bytes.size(), load(*v, bytes)) << version;
    EXPECT_EQ(version, v->stateVersion);
    for (int i = 0; i < 18; ++i) {
      EXPECT_EQ(s.ids[i], v->slotConfig[i].moduleID) << version << " slot " << i;
      EXPECT_EQ(s.master[i], v->slotConfig[i].master) << version << " slot " << i;
      EXPECT_EQ(s.order[i], v->displayOrder[i]) << version;
    }
    EXPECT_STREQ("Osc-1", v->slotConfig[7].shortLabel); // numbered by the display order
    EXPECT_EQ(1.25, v->volume);
    EXPECT_EQ(8, v->activeVoices);
    EXPECT_EQ(-7.0, v->pitchBendRange);
    EXPECT_EQ(version >= 901, v->portaLegatoOn) << version;
    EXPECT_EQ(version >= 900 ? 3.0 : 1.0, v->masterOutLeft.Value()) << version;
    EXPECT_EQ(version >= 900 ? 5.0 : 2.0, v->masterOutRight.Value()) << version;
    EXPECT_EQ(version >= 900 ? &v->extL : &v->voiceL, v->masterOutputLeft) << version;
    if (version >= 900) {
      EXPECT_EQ(&v->masterModules[5]->audioOut[0], v->masterOutputRight);
    }
    EXPECT_STREQ("Seventeen tone", v->tuningName);
    EXPECT_EQ(60 * 90 + 11, v->getFrequency(60));
    EXPECT_EQ(20, v->midiSourceCC[0]);
    EXPECT_EQ(7, v->midiSourceCC[15]);
    EXPECT_EQ(291, v->midiLearnMap[21]);
    EXPECT_EQ(81, v->midiLearnMap[74]);
    EXPECT_EQ(-1, v->midiLearnMap[20]);
    EXPECT_FALSE(v->suspended);

    // Saved at once: the same layout, the same bytes; saved again: the current layout.
    EXPECT_EQ(bytes, save(*v)) << version;
    EXPECT_EQ(1001, v->stateVersion);
    Saved current = s;
    current.version = 1001;
    current.legato = version >= 901 ? 1 : 0;
    current.outLeft = version >= 900 ? 3 : 1;
    current.outRight = version >= 900 ? 5 : 2;
    EXPECT_EQ(write(current), save(*v)) << version;
  }
}

TEST(StateChunk, ExtraBytesAreSkipped)
{
  Saved s = richPatch(1001);
  s.extra = {1, 2, 3, 4, 5, 6, 7};
  const Bytes bytes = write(s);
  auto v = instance();
  EXPECT_EQ((int)bytes.size(), load(*v, bytes));
  s.extra.clear();
  EXPECT_EQ(write(s), save(*v));
  // A negative extra length counts as none.
  Bytes negative = write(s);
  const int32_t minus = -40;
  std::memcpy(negative.data() + negative.size() - 4, &minus, 4);
  EXPECT_EQ((int)negative.size(), load(*v, negative));
}

TEST(StateChunk, StandardTuningNamesAreNotCustom)
{
  auto v = instance();
  std::snprintf(v->tuningName, sizeof(v->tuningName), "EQUAL (standard)");
  const Bytes b = save(*v);
  EXPECT_EQ((size_t)kDefaultPayload, b.size()); // flag 0, no name, no table
  const size_t flagAt = 4 + 18 * 5 + 18 * 4 + 300 * 8 + 24;
  EXPECT_EQ(0, b[flagAt]);
  // Loading a chunk without custom tuning resets the table; parameter 299 keeps the chunk's value (on plays
  // equal temperament all the same), so that a host reads back what it set.
  v->tuningTable[60] = 5;
  v->GetParam(299)->Set(1.0);
  std::snprintf(v->tuningName, sizeof(v->tuningName), "Something");
  Saved s = richPatch(1001);
  s.custom = false;
  load(*v, write(s));
  EXPECT_STREQ("Equal (Standard)", v->tuningName);
  EXPECT_EQ(60 * 128, v->tuningTable[60]);
  EXPECT_EQ(s.params[299], v->GetParam(299)->Value());
  EXPECT_EQ(s.params[299] >= 0.5, v->customTuningOn);
}

TEST(StateChunk, ATuningThatDiffersFromEqualTemperamentTravels)
{
  // A mapping alone (A at 432 Hz over the default scale), and the same table under the standard name.
  TempDir dir;
  const std::string kbm =
      dir.write("a432.kbm", "! A = 432\n12\n0\n127\n60\n69\n432.0\n12\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");
  auto v = instance();
  ASSERT_EQ(0, v->loadTuning(kbm.c_str()));
  EXPECT_NE(nullptr, std::strstr(v->tuningName, "a432.kbm")) << v->tuningName;
  for (bool standardName : {false, true}) {
    if (standardName) std::snprintf(v->tuningName, sizeof(v->tuningName), "Equal (Standard)");
    auto w = instance();
    const Bytes bytes = save(*v);
    ASSERT_EQ((int)bytes.size(), load(*w, bytes));
    EXPECT_STREQ(v->tuningName, w->tuningName);
    EXPECT_NEAR(432.0, Synth::convert2Hz(w->getFrequency(69)), 0.2);
    EXPECT_TRUE(w->customTuningOn);
    EXPECT_EQ(1.0, w->GetParam(Veltrane::kParamCustomTuning)->Value()) << "the tuning switch shows on";
    EXPECT_TRUE(w->isCustomTuning()) << "the tuning switch can be clicked";
  }
}

TEST(StateChunk, AnUnknownModuleTypeLoadsAsAnEmptySlot)
{
  // A later version's types in slots 0 and 1, over a program with a wavetable oscillator in slot 0.
  auto v = instance();
  v->replaceModule(0, ModuleConfig::MOD_OSCWAVETABLE, false, false);
  Saved s = richPatch(1001);
  s.ids[0] = ModuleConfig::kNumModuleIDs; // the first type past this version's
  s.ids[1] = -1;
  ASSERT_EQ((int)write(s).size(), load(*v, write(s)));
  for (int slot : {0, 1}) {
    EXPECT_EQ(ModuleConfig::MOD_EMPTY, v->slotConfig[slot].moduleID) << slot;
    EXPECT_EQ(nullptr, dynamic_cast<OscWavetable*>(v->voices[0].modules[slot])) << slot;
  }
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[2].moduleID); // the rest as usual
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, v->slotConfig[7].moduleID);
  s.ids[0] = s.ids[1] = 0;
  EXPECT_EQ(write(s), save(*v));
}

TEST(StateChunk, TwoSavesOfOneProgramGiveTheSameBytes)
{
  // A parameter the new type does not use, left at the previous type's maximum.
  auto v = instance();
  v->replaceModule(4, ModuleConfig::MOD_OSCILLATOR, false, false);
  IParam* unused = v->GetParam(4 * 16 + 13);
  ASSERT_GT(unused->GetMax(), 1.0);
  unused->Set(unused->GetMax());
  v->replaceModule(4, ModuleConfig::MOD_BBDDELAY, false, false);
  const Bytes first = save(*v);
  auto w = instance();
  ASSERT_EQ((int)first.size(), load(*w, first));
  EXPECT_EQ(first, save(*w));
}

TEST(StateChunk, WavetableRecords)
{
  auto v = instance();
  v->replaceModule(4, ModuleConfig::MOD_OSCWAVETABLE, false, false);
  ASSERT_TRUE(v->slotConfig[4].wavetableSaved);
  const Bytes empty = save(*v);
  EXPECT_EQ((size_t)kDefaultPayload + 8, empty.size()); // path length 0 and count 0
  int32_t length = -1, count = -1;
  std::memcpy(&length, empty.data() + 4 + 5 * 5, 4);
  std::memcpy(&count, empty.data() + 4 + 5 * 5 + 4, 4);
  EXPECT_EQ(0, length);
  EXPECT_EQ(0, count);

  Saved s = richPatch(1001);
  s.ids[9] = ModuleConfig::MOD_OSCWAVETABLE;
  s.wavetables[9].path = "/home/user/tables/glass.wav";
  s.wavetables[9].data = {0.5, -0.25, 1e-9, 3.0};
  auto w = instance();
  w->replaceModule(9, ModuleConfig::MOD_OSCWAVETABLE, false, false);
  for (int p = 0; p < 16; ++p) s.params[9 * 16 + p] = w->GetParam(9 * 16 + p)->Value();
  const Bytes bytes = write(s);
  ASSERT_EQ((int)bytes.size(), load(*v, bytes));
  const SharedData& table = v->slotConfig[9].sharedData;
  EXPECT_STREQ("/home/user/tables/glass.wav", table.name.Get());
  ASSERT_EQ(4u, table.count);
  EXPECT_EQ(-0.25, table.data[1]);
  EXPECT_FALSE(table.changed);
  EXPECT_EQ(bytes, save(*v));
  // Other types carry no record, and declaring one clears it.
  v->replaceModule(9, ModuleConfig::MOD_LFO, false, false);
  EXPECT_EQ(0u, v->slotConfig[9].sharedData.count);
  EXPECT_FALSE(v->slotConfig[9].wavetableSaved);
}

TEST(StateChunk, ShortChunkAppliesWhatItHolds)
{
  // Ends right after the host parameters.
  Saved s = richPatch(1001);
  Bytes bytes = write(s);
  const size_t afterParams = 4 + 18 * 5 + 18 * 4 + 300 * 8;
  bytes.resize(afterParams);
  auto v = instance();
  v->portaLegato.Set(1.0);
  v->midiLearnMap[3] = 4;
  EXPECT_EQ(-1, load(*v, bytes));
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[2].moduleID);
  EXPECT_EQ(7, v->displayOrder[0]);
  EXPECT_EQ(1.25, v->volume);
  EXPECT_EQ(0.0, v->portaLegato.Value());
  EXPECT_EQ(1.0, v->masterOutLeft.Value());
  EXPECT_EQ(2.0, v->masterOutRight.Value());
  EXPECT_STREQ("Equal (Standard)", v->tuningName);
  for (int m : v->midiLearnMap) EXPECT_EQ(-1, m);
  EXPECT_FALSE(v->suspended);
  // Ends inside the module records: the unread slots are empty voice slots.
  bytes.resize(4 + 5 * 5 + 2);
  EXPECT_EQ(-1, load(*v, bytes));
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[2].moduleID);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v->slotConfig[7].moduleID);
  EXPECT_EQ(0, v->slotConfig[5].master);
}

// Contents no saved state can have are refused with nothing changed; values beyond their ranges are held
// to them as the parameters are (a later version's number, pitches no tuning gives, wavetables far beyond
// full scale or not numbers).
TEST(StateChunk, ContentsThatCannotBeStateAreRefusedUntouched)
{
  const Saved good = richPatch(1001);
  struct Case
  {
    const char* what;
    void (*spoil)(Saved*);
    void (*held)(Veltrane&) = nullptr; // checks a chunk that loads; none: refused
  };
  const Case cases[] = {
      {"slot shown twice", [](Saved* s) { s->order[4] = s->order[9]; }},
      {"slot 18 shown", [](Saved* s) { s->order[17] = 18; }},
      {"negative slot shown", [](Saved* s) { s->order[0] = -1; }},
      {"tuning name without terminator", [](Saved* s) { std::memset(s->tuningName, 'a', 256); }},
      {"a later version's number", [](Saved* s) { s->version = 0x7fffffff; },
       [](Veltrane& v) { EXPECT_EQ(write(richPatch(1001)), save(v)); }}, // saved again as this version
      {"tuning entries no tuning gives", [](Saved* s) { s->table[5] = INT_MIN, s->table[6] = INT_MAX; },
       [](Veltrane& v) {
         EXPECT_EQ(0, v.tuningTable[5]);
         EXPECT_EQ(Synth::kMaxPitch, v.tuningTable[6]);
       }},
      {"wavetable spectra of 1e3 and 1e6, and not numbers",
       [](Saved* s) {
         s->ids[9] = ModuleConfig::MOD_OSCWAVETABLE;
         std::vector<double>& d = s->wavetables[9].data;
         d.assign(2 * 2048, 0.0);
         d[2 * WDL_fft_permute(1024, 1)] = 1e3;            // wave 0: harmonic 1, peak 2e3
         d[2048 + 2 * WDL_fft_permute(1024, 3) + 1] = 1e6; // wave 1: harmonic 3, peak 2e6
         d[2048 + 7] = std::nan("");
       },
       [](Veltrane& v) { // the loudest wave at full scale, the other as much quieter as it was
         const SharedData& r = v.slotConfig[9].sharedData;
         for (int w = 0; w < 2; ++w) {
           std::vector<double> x(r.data + w * 2048, r.data + (w + 1) * 2048);
           WDL_real_fft(x.data(), 2048, 1);
           EXPECT_NEAR(w ? 1.0 : 1e-3, *std::max_element(x.begin(), x.end()), 1e-9) << w;
         }
       }},
  };
  for (const Case& c : cases) {
    Saved s = good;
    c.spoil(&s);
    auto v = instance();
    v->replaceModule(3, ModuleConfig::MOD_AMPLIFIER, false, false);
    const Bytes before = WholeState(*v);
    const Bytes bytes = write(s);
    if (c.held) {
      EXPECT_EQ((int)bytes.size(), load(*v, bytes)) << c.what;
      c.held(*v);
      continue;
    }
    EXPECT_EQ(-1, load(*v, bytes)) << c.what;
    EXPECT_EQ(before, WholeState(*v)) << c.what;
    EXPECT_FALSE(v->suspended) << c.what;
  }
  // Wavetable records: a negative path length, a path or a table running past the end.
  Saved s = good;
  s.ids[9] = ModuleConfig::MOD_OSCWAVETABLE;
  s.wavetables[9].path = "abc";
  s.wavetables[9].data = {1.0, 2.0};
  const Bytes base = write(s);
  const size_t record = 4 + 10 * 5; // slot 9's record follows its ID and master flag
  struct Patch
  {
    const char* what;
    size_t at;
    int32_t value;
  };
  const Patch patches[] = {{"negative path length", record, -3},
                           {"path past the end", record, 1 << 30},
                           {"table past the end", record + 4 + 3, 1 << 26},
                           {"table count negative", record + 4 + 3, -1}};
  for (const Patch& p : patches) {
    Bytes bytes = base;
    std::memcpy(bytes.data() + p.at, &p.value, 4);
    auto v = instance();
    const Bytes before = WholeState(*v);
    EXPECT_EQ(-1, load(*v, bytes)) << p.what;
    EXPECT_EQ(before, WholeState(*v)) << p.what;
  }
}

TEST(StateChunk, DamagedChunksFromTheHostLeaveEverythingAsItWas)
{
  HostedVeltrane h;
  Veltrane& v = *h.plug;
  Bytes good(8);
  const unsigned char header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  std::memcpy(good.data(), header, 8);
  const Bytes payload = write(richPatch(1001));
  good.insert(good.end(), payload.begin(), payload.end());
  v.replaceModule(1, ModuleConfig::MOD_MIXER, false, false);
  v.changePreset(2);
  const Bytes before = h.bank();

  // Every short version of a program chunk (stepping through the fields), and every byte flipped in turn.
  std::vector<size_t> lengths;
  for (size_t n = 0; n < good.size(); n += n < 40 ? 1 : 53) lengths.push_back(n);
  for (size_t n : lengths) {
    EXPECT_EQ(0, h.dispatch(effSetChunk, 1, (VstIntPtr)n, (void*)good.data())) << n;
    ASSERT_EQ(before, h.bank()) << n;
  }
  for (size_t at = 8; at < 8 + 18 * 5 + 18 * 4; at += 3) {
    Bytes bad = good;
    bad[at] ^= 0xA5;
    if (h.dispatch(effSetChunk, 1, (VstIntPtr)bad.size(), bad.data()) == 0) {
      ASSERT_EQ(before, h.bank()) << at;
    } else {
      h.dispatch(effSetChunk, 0, (VstIntPtr)before.size() - 1, (void*)before.data()); // back to the start
    }
  }
  // The good one is taken.
  EXPECT_EQ(1, h.dispatch(effSetChunk, 1, (VstIntPtr)good.size(), good.data()));
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[2].moduleID);
}

TEST(StateChunk, ProgramAndBankFiles)
{
  TempDir dir;
  auto v = instance();
  ASSERT_EQ((int)write(richPatch(1001)).size(), load(*v, write(richPatch(1001))));
  v->ModifyCurrentPreset("Glass Pad");
  WDL_String fxp(dir.path("pad.fxp").c_str()), fxb(dir.path("all.fxb").c_str());
  ASSERT_TRUE(v->SaveProgramAsFXP(&fxp));
  ASSERT_TRUE(v->SaveBankAsFXB(&fxb));
  const Bytes state = save(*v);
  std::ifstream f(fxp.Get(), std::ios::binary | std::ios::ate);
  EXPECT_EQ((long)state.size() + 8 + 60, (long)f.tellg()); // header + 60 bytes of file header

  auto w = instance();
  ASSERT_TRUE(w->LoadProgramFromFXP(&fxp));
  EXPECT_EQ(state, save(*w));
  EXPECT_STREQ("Glass Pad", w->GetPresetName(w->GetCurrentPresetIdx()));
  auto b = instance();
  ASSERT_TRUE(b->LoadBankFromFXB(&fxb));
  EXPECT_EQ(state, save(*b));
  EXPECT_STREQ("Glass Pad", b->GetPresetName(0));

  // Damaged files: refused, and nothing changes.
  std::ifstream in(fxb.Get(), std::ios::binary);
  const Bytes bank((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto c = instance();
  c->replaceModule(6, ModuleConfig::MOD_LFO, false, false);
  const Bytes before = WholeState(*c);
  for (size_t n : {(size_t)0, (size_t)100, (size_t)170, bank.size() / 2, bank.size() - 1}) {
    ByteChunk file;
    file.Resize((int)n);
    if (n) std::memcpy(file.GetBytes(), bank.data(), n);
    EXPECT_FALSE(c->LoadBankFromFXBData(&file)) << n;
    EXPECT_EQ(before, WholeState(*c)) << n;
  }
  // The first program's state follows the 160-byte file header, the framework header, its name (length
  // and "Glass Pad") and its flag; a display order made impossible refuses the whole bank.
  const size_t program0 = 160 + 8 + 4 + 9 + 1;
  ByteChunk file;
  file.Resize((int)bank.size());
  std::memcpy(file.GetBytes(), bank.data(), bank.size());
  file.GetBytes()[program0 + 4 + 18 * 5] = 0x7F;
  EXPECT_FALSE(c->LoadBankFromFXBData(&file));
  EXPECT_EQ(before, WholeState(*c));
  file.GetBytes()[program0 + 4 + 18 * 5] = 7; // repaired: taken
  EXPECT_TRUE(c->LoadBankFromFXBData(&file));
  EXPECT_EQ(state, save(*c));
}
