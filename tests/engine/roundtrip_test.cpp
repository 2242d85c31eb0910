// What a host saves it gets back: program and bank chunks taken from one instance and handed to a fresh one
// give the same bytes, parameters, display texts, program names, current program and sound; values a host's
// automation leaves between the steps of a switch travel as they are; chunks of another size are refused
// with nothing changed; names cut to fit a host's buffer or a file's name field keep whole characters.
#include "OscWavetable.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<unsigned char>;
constexpr int kBlock = 256;

bool setChunk(HostedVeltrane& h, Bytes b, bool program)
{
  return h.dispatch(effSetChunk, program ? 1 : 0, (VstIntPtr)b.size(), b.data()) == 1;
}

// effGetChunk of the bank, without the index the harness appends.
Bytes bankChunk(HostedVeltrane& h)
{
  Bytes b = h.bank();
  b.pop_back();
  return b;
}

// A text the host asks for (a parameter's display, a program's name) by its index.
std::string text(HostedVeltrane& h, int opcode, int index)
{
  char text[64] = {};
  h.dispatch(opcode, index, 0, text);
  return text;
}
std::string display(HostedVeltrane& h, int param) { return text(h, effGetParamDisplay, param); }
std::string programName(HostedVeltrane& h, int index) { return text(h, effGetProgramNameIndexed, index); }

// What the host reads of the current program: every parameter's value and display text.
std::vector<std::string> hostView(HostedVeltrane& h)
{
  std::vector<std::string> view;
  for (int i = 0; i < Synth::kNumParams; ++i)
    view.push_back(std::to_string(h.effect->getParameter(h.effect, i)) + " " + display(h, i));
  return view;
}

// A C3-E3-G3 chord held for 60 ms and released for 30 ms.
std::vector<float> chord(HostedVeltrane& h)
{
  for (int n : {48, 52, 55}) h.midi(0, 0x90, n, 100);
  std::vector<float> out = h.render(kBlock * 10, kBlock);
  for (int n : {48, 52, 55}) h.midi(0, 0x80, n, 0);
  const std::vector<float> tail = h.render(kBlock * 5, kBlock);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

// Modules whose instances draw their own random numbers (seeded by a count of the instances made): two
// instances play them differently whatever their state.
bool drawsRandomNumbers(const Veltrane& v)
{
  for (const ModuleConfig& c : v.slotConfig)
    for (int id : {ModuleConfig::MOD_NOISE, ModuleConfig::MOD_SHNOISE, ModuleConfig::MOD_LFO, ModuleConfig::MOD_LFO2})
      if (c.moduleID == id) return true;
  return false;
}

// The whole characters of text that fit in n bytes, worked out from the lead bytes.
std::string wholeCharacters(const std::string& text, size_t n)
{
  size_t end = 0;
  while (end < text.size()) {
    const unsigned char c = (unsigned char)text[end];
    const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (end + length > n) break;
    end += length;
  }
  return text.substr(0, end);
}

// 128 ASCII letters and 70 two-byte characters: byte 255 is a character's second byte.
std::string longName()
{
  std::string name(128, 'b');
  for (int i = 0; i < 70; ++i) name += "\xC3\xA4";
  return name;
}

// A scale whose note 48 lies away from its equal-tempered pitch.
const char* const kScale = SCALA_DIR "/12-intune.scl";

struct RoundTrip : testing::Test
{
  void SetUp() override { UseGeneratedStartupBank(); }
};
} // namespace

// Every start-up program, with the tuning switch and a module selector left between steps by the host's
// automation: its chunk in a fresh instance (on another program) gives the same bytes, values, texts and
// sound.
TEST_F(RoundTrip, EveryProgramThroughItsChunk)
{
  auto edit = [](HostedVeltrane& h, int program) {
    h.dispatch(effSetProgram, 0, program);
    h.effect->setParameter(h.effect, Veltrane::kParamCustomTuning, 0.51f); // on, in equal temperament
    h.effect->setParameter(h.effect, 2, 0.37f);                             // slot 0's third parameter
  };
  HostedVeltrane a, b; // b takes each program over the one before
  for (int p = 0; p < Synth::kNumPrograms; ++p) {
    SCOPED_TRACE("program " + std::to_string(p));
    edit(a, p);
    const Bytes saved = a.programChunk();
    b.dispatch(effSetProgram, 0, (p + 1) % Synth::kNumPrograms);
    ASSERT_TRUE(setChunk(b, saved, true));
    EXPECT_EQ(saved, b.programChunk());
    EXPECT_EQ(hostView(a), hostView(b));
    // The sound, from fresh instances (a sample of the bank: making instances takes its time).
    if (p % 4 == 0 && !drawsRandomNumbers(*a.plug)) {
      HostedVeltrane edited, loaded;
      edit(edited, p);
      ASSERT_TRUE(setChunk(loaded, saved, true));
      EXPECT_EQ(chord(edited), chord(loaded));
    }
  }
}

// Every parameter at values between the steps of the switches: what the host reads back after the chunk
// went through a fresh instance is what it read before.
TEST_F(RoundTrip, HostValuesBetweenStepsTravel)
{
  HostedVeltrane a, b;
  for (float x : {0.37f, 0.51f}) {
    for (int i = 0; i < Synth::kNumParams; ++i) {
      SCOPED_TRACE("parameter " + std::to_string(i) + " at " + std::to_string(x));
      const float before = a.effect->getParameter(a.effect, i);
      a.effect->setParameter(a.effect, i, x);
      const Bytes saved = a.programChunk();
      ASSERT_TRUE(setChunk(b, saved, true));
      EXPECT_EQ(a.effect->getParameter(a.effect, i), b.effect->getParameter(b.effect, i));
      EXPECT_EQ(display(a, i), display(b, i));
      EXPECT_EQ(saved, b.programChunk());
      a.effect->setParameter(a.effect, i, before);
    }
  }
}

// The bank as a project stores it: a fresh instance takes the same programs and names and plays the program
// the project was saved on; a bank stored before the current program travelled with it still loads. Program 8
// is saved with a table of 1,024 waves beyond full scale the editor loaded into it (twice: the second table, of
// the same name and size, is another state of the slot), also through program and bank files.
TEST_F(RoundTrip, BankChunkKeepsTheCurrentProgram)
{
  for (int current : {0, 37, 63, 8}) {
    SCOPED_TRACE("saved on program " + std::to_string(current));
    HostedVeltrane a, b;
    a.dispatch(effSetProgram, 0, current);
    unsigned stored = 0;
    for (int table = 0; table < 2 && current == 8; ++table) {
      std::vector<double> waves(1024 * 2048);
      for (size_t i = 0; i < waves.size(); ++i) waves[i] = 1.5 * std::sin(i * (1.0 + i / 2048 % 5 + table) * 0.0031);
      ASSERT_EQ(ModuleConfig::MOD_OSCWAVETABLE, a.plug->slotConfig[0].moduleID);
      ASSERT_TRUE(OscWavetable::setWavetable(a.plug, 0, waves.data(), 1024, "/tables/large.wav"));
      a.dispatch(effSetProgramName, 0, 0, (void*)"Edited");
      EXPECT_NE(stored, a.plug->PresetStored(8));
      stored = a.plug->PresetStored(8);
    }
    a.dispatch(effSetProgramName, 0, 0, (void*)"Edited");
    a.effect->setParameter(a.effect, Veltrane::kParamVolume, 0.3f);
    const Bytes bank = bankChunk(a);
    b.dispatch(effSetProgram, 0, 12);
    ASSERT_TRUE(setChunk(b, bank, false));
    EXPECT_EQ(current, b.dispatch(effGetProgram));
    EXPECT_EQ(a.programChunk(), b.programChunk());
    EXPECT_EQ(bank, bankChunk(b));
    if (current == 8) {
      TempDir dir;
      WDL_String fxp(dir.path("p.fxp").c_str()), fxb(dir.path("b.fxb").c_str());
      ASSERT_TRUE(a.plug->SaveProgramAsFXP(&fxp) && a.plug->SaveBankAsFXB(&fxb));
      HostedVeltrane c;
      c.dispatch(effSetProgram, 0, 8); // a bank file leaves the current program where it is
      ASSERT_TRUE(c.plug->LoadBankFromFXB(&fxb));
      EXPECT_EQ(bank, bankChunk(c));
      c.dispatch(effSetProgram, 0, 3);
      ASSERT_TRUE(c.plug->LoadProgramFromFXP(&fxp));
      EXPECT_EQ(a.programChunk(), c.programChunk());
    }
    for (int p = 0; p < Synth::kNumPrograms; ++p) EXPECT_EQ(programName(a, p), programName(b, p)) << p;
    for (int p : {5, 50}) {
      a.dispatch(effSetProgram, 0, p);
      b.dispatch(effSetProgram, 0, p);
      EXPECT_EQ(a.programChunk(), b.programChunk()) << p;
    }

    // Without the current program (as stored before it travelled), or with one the bank does not have: the
    // programs load and the instance stays on its own.
    Bytes beyond = bank;
    const int32_t index = Synth::kNumPrograms; // little-endian at the end
    std::memcpy(beyond.data() + beyond.size() - 4, &index, 4);
    for (const Bytes& other : {Bytes(bank.begin(), bank.end() - 8), beyond}) {
      HostedVeltrane c;
      c.dispatch(effSetProgram, 0, 9);
      ASSERT_TRUE(setChunk(c, other, false));
      EXPECT_EQ(9, c.dispatch(effGetProgram));
      EXPECT_EQ(programName(a, current), programName(c, current));
    }
  }
}

// A program chunk a few bytes shorter or longer than the state it holds is not one we wrote: refused
// (answer 0), the current program and the bank as they were.
TEST_F(RoundTrip, ProgramChunkOfAnotherSizeIsRefused)
{
  HostedVeltrane a, b;
  a.dispatch(effSetProgram, 0, 5);
  const Bytes saved = a.programChunk();
  b.dispatch(effSetProgram, 0, 3);
  const Bytes program = b.programChunk(), bank = bankChunk(b);
  for (int delta : {-8, -1, 1, 3, 8}) {
    SCOPED_TRACE("size changed by " + std::to_string(delta));
    Bytes chunk = saved;
    chunk.resize(chunk.size() + delta, 0);
    // The same without the framework header (how a host may hand a bare program state).
    const Bytes bare(chunk.begin() + 8, chunk.end());
    for (const Bytes& c : {chunk, bare}) {
      EXPECT_FALSE(setChunk(b, c, true));
      EXPECT_EQ(3, b.dispatch(effGetProgram));
      EXPECT_EQ(program, b.programChunk());
      EXPECT_EQ(bank, bankChunk(b));
    }
  }
  // Older layouts whose size is right load: 900 (without Porta Legato) and 600 (without master flags and
  // outputs, and without the extra-length field).
  for (const ModuleConfig& c : a.plug->slotConfig) ASSERT_NE(ModuleConfig::MOD_OSCWAVETABLE, c.moduleID);
  constexpr size_t kSlots = 8 + 4, kLegato = kSlots + 18 * 5 + 18 * 4 + 300 * 8;
  Bytes v900 = saved, v600 = saved;
  v900.erase(v900.begin() + kLegato, v900.begin() + kLegato + 8);
  v600.erase(v600.end() - 4, v600.end());
  v600.erase(v600.begin() + kLegato, v600.begin() + kLegato + 24);
  for (int slot = 17; slot >= 0; --slot) v600.erase(v600.begin() + kSlots + slot * 5 + 4);
  for (auto [version, chunk] : {std::make_pair(900, v900), std::make_pair(600, v600)}) {
    std::memcpy(chunk.data() + 8, &version, 4);
    b.dispatch(effSetProgram, 0, 3);
    EXPECT_TRUE(setChunk(b, chunk, true)) << version;
    EXPECT_NE(program, b.programChunk()) << version;
  }
  EXPECT_TRUE(setChunk(b, saved, true));
  EXPECT_EQ(saved, b.programChunk());
}

// Names cut to fit keep whole characters: the host's 24-byte buffer and the 28-byte name field of program
// files (written, then read back by a fresh instance).
TEST_F(RoundTrip, NamesAreCutBetweenCharacters)
{
  TempDir dir;
  const std::string names[] = {
      "",
      "abcdefghijklmnopqrstuvw",          // 23 bytes: fits the host's buffer
      "abcdefghijklmnopqrstuvwx",         // 24
      "abcdefghijklmnopqrstuvwxy",        // 25
      "Grüße aus Köln, Straße 7",         // 2-byte characters
      std::string(22, 'x') + "äääää",    // 2-byte characters across bytes 23 and 27
      "Pad \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x91\xE3\x83\x83\xE3\x83\x89\xE3\x81\xA7", // 3-byte
      "Keys \xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9", // 4-byte
      longName(),                         // past the 255 bytes a slot holds, inside a character
  };
  HostedVeltrane a;
  for (const std::string& name : names) {
    a.dispatch(effSetProgram, 0, 2);
    a.dispatch(effSetProgramName, 0, 0, (void*)"Before");
    a.dispatch(effSetProgramName, 0, 0, (void*)name.c_str());
    const std::string stored = a.plug->GetPresetName(2);
    // A slot holds 255 bytes; an empty name renames nothing.
    EXPECT_EQ(name.empty() ? "Before" : wholeCharacters(name, IPreset::kNameSize - 1), stored);
    char host[kVstMaxProgNameLen + 8];
    std::memset(host, 'Z', sizeof host);
    a.dispatch(effGetProgramName, 0, 0, host);
    EXPECT_EQ(wholeCharacters(stored, kVstMaxProgNameLen - 1), std::string(host)) << name;
    EXPECT_EQ(wholeCharacters(stored, kVstMaxProgNameLen - 1), programName(a, 2)) << name;

    WDL_String path(dir.path("p.fxp").c_str());
    ASSERT_TRUE(a.plug->SaveProgramAsFXP(&path));
    HostedVeltrane b;
    b.dispatch(effSetProgram, 0, 6);
    const std::string before = b.plug->GetPresetName(6);
    ASSERT_TRUE(b.plug->LoadProgramFromFXP(&path));
    const std::string field = wholeCharacters(stored, 27);
    EXPECT_EQ(field.empty() ? before : field, b.plug->GetPresetName(6)) << name; // an empty name renames nothing
    EXPECT_EQ(a.programChunk(), b.programChunk());
  }
}

// The key-tracking filters track around the pitch of note 48 under the tuning in use: a tuning loaded,
// switched off or reset after the filter was made is heard as the program plays when it is loaded again.
TEST_F(RoundTrip, KeyTrackingFollowsTheTuningOfTheProgram)
{
  // The stereo variants inherit what they read of the tuning.
  const int filters[] = {ModuleConfig::MOD_LADDER, ModuleConfig::MOD_K35, ModuleConfig::MOD_COMB};
  const std::pair<const char*, std::function<void(HostedVeltrane&)>> changes[] = {
      {"loaded", [](HostedVeltrane&) {}},
      {"switched off", [](HostedVeltrane& h) { h.effect->setParameter(h.effect, Veltrane::kParamCustomTuning, 0.0f); }},
      {"switched off and on",
       [](HostedVeltrane& h) {
         h.effect->setParameter(h.effect, Veltrane::kParamCustomTuning, 0.0f);
         h.effect->setParameter(h.effect, Veltrane::kParamCustomTuning, 1.0f);
       }},
      {"reset", [](HostedVeltrane& h) { h.plug->resetTuning(); }},
  };
  constexpr int kSlot = 1; // program 0's ladder, between its oscillator and its amplifier
  for (int type : filters) {
    for (const auto& change : changes) {
      HostedVeltrane a, b;
      a.dispatch(effSetProgram, 0, 0);
      ASSERT_EQ(ModuleConfig::MOD_LADDER, a.plug->slotConfig[kSlot].moduleID);
      a.plug->replaceModule(kSlot, type, false, false);
      a.effect->setParameter(a.effect, kSlot * 16 + 12, 1.0f); // key tracking: full
      ASSERT_EQ(0, a.plug->loadTuning(kScale));
      change.second(a);
      ASSERT_TRUE(setChunk(b, a.programChunk(), true));
      // Loaded twice, the second time over the program's own tuning: the filters are made under it.
      b.dispatch(effSetProgram, 0, b.dispatch(effGetProgram));
      const std::vector<float> ra = chord(a), rb = chord(b);
      EXPECT_GT(*std::max_element(ra.begin(), ra.end()), 0.01f) << type; // the filter is heard
      EXPECT_EQ(ra, rb) << type << ", tuning " << change.first;
    }
  }
}
