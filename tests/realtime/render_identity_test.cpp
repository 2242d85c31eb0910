// What a user hears does not depend on the shortcuts of the audio path: every built program of the
// start-up bank, played at 44.1 and 48 kHz, renders bit for bit the same in the plug-in as in a reference
// build of the same sources with every shortcut off (VELTRANE_REFERENCE_RENDER), where each module works
// out everything at every sample and the voices render one after the other. Both builds are loaded into
// this process as a host loads them and driven through the same calls in the same order, so that even
// their noise generators' seeds agree.
#include "../support/bank_render.h"
#include "Veltrane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {
constexpr int kParamVoices = 288;

// A short performance: a chord, pitch bend, modulation wheel and aftertouch while it sounds, five more
// notes (voices stolen in programs with few), the sustain pedal, a release and its tail.
struct Cue
{
  int block;
  BankRender::Message message;
};
const Cue kPerformance[] = {
  {0, {0, 0x90, 48, 100}},   {0, {100, 0x90, 55, 90}},  {0, {300, 0x90, 64, 110}}, {8, {17, 0xE0, 0, 80}},
  {8, {40, 0xB0, 1, 70}},    {8, {200, 0xD0, 60, 0}},   {8, {300, 0xA0, 55, 90}},  {16, {0, 0x90, 60, 60}},
  {16, {61, 0x90, 63, 70}},  {16, {122, 0x90, 66, 80}}, {16, {183, 0x90, 69, 90}}, {16, {244, 0x90, 72, 100}},
  {16, {400, 0xB0, 64, 127}}, {40, {5, 0x80, 48, 0}},   {40, {5, 0x80, 55, 0}},    {40, {5, 0x80, 64, 0}},
  {40, {5, 0x80, 60, 0}},    {40, {5, 0x80, 63, 0}},    {40, {5, 0x80, 66, 0}},    {40, {5, 0x80, 69, 0}},
  {40, {5, 0x80, 72, 0}},    {40, {30, 0xE0, 0, 64}},   {50, {250, 0xB0, 64, 0}},
};
constexpr int kPerformanceBlocks = 110;

// The performance on the program as it stands.
std::vector<double> perform(BankRender& r)
{
  std::vector<double> out;
  for (int b = 0; b < kPerformanceBlocks; ++b) {
    std::vector<BankRender::Message> m;
    for (const Cue& c : kPerformance)
      if (c.block == b) m.push_back(c.message);
    if (!m.empty()) r.midi(m);
    r.block(&out);
  }
  return out;
}

// Both renders bit for bit alike, and not silent.
void expectSameRender(const std::vector<double>& got, const std::vector<double>& want, const std::string& what)
{
  ASSERT_EQ(got.size(), want.size());
  double peak = 0.0;
  for (double x : want) peak = std::max(peak, std::fabs(x));
  EXPECT_GT(peak, 1e-4) << what << ": the reference is silent, nothing was compared";
  if (std::memcmp(got.data(), want.data(), got.size() * sizeof(double)) == 0) return;
  size_t i = 0;
  while (std::memcmp(&got[i], &want[i], sizeof(double)) == 0) ++i;
  ADD_FAILURE() << what << ": sample " << i / 2 << (i % 2 ? " right" : " left") << " is " << got[i]
                << ", the reference " << want[i] << " (difference " << got[i] - want[i] << ")";
}

class RenderIdentity : public ::testing::TestWithParam<int>
{
};

TEST_P(RenderIdentity, MatchesTheReferenceBuildBitForBit)
{
  const int program = GetParam();
  UseGeneratedStartupBank();
  for (double rate : {44100.0, 48000.0}) {
    BankRender fast(VELTRANE_SO, rate), reference(VELTRANE_REFERENCE_SO, rate);
    ASSERT_TRUE(fast && reference) << dlerror();
    const std::string name = fast.programName(program);
    ASSERT_EQ(name, reference.programName(program));
    if (name == "Init") GTEST_SKIP() << "program " << program << " is not built";
    fast.dispatch(effSetProgram, 0, program);
    reference.dispatch(effSetProgram, 0, program);
    expectSameRender(perform(fast), perform(reference), name + " at " + std::to_string((int)rate) + " Hz");
  }
}

// The voice count as the program sets it, and all 64 voices of program 0 with a 40-note cluster.
TEST(RenderIdentity, SixtyFourVoicesOfProgramZero)
{
  UseGeneratedStartupBank();
  BankRender fast(VELTRANE_SO, 48000.0), reference(VELTRANE_REFERENCE_SO, 48000.0);
  ASSERT_TRUE(fast && reference) << dlerror();
  std::vector<double> out[2];
  BankRender* r[2] = {&fast, &reference};
  for (int k = 0; k < 2; ++k) {
    r[k]->effect->setParameter(r[k]->effect, kParamVoices, 1.0f);
    for (int b = 0; b < 60; ++b) {
      std::vector<BankRender::Message> m;
      if (b < 40) m.push_back({(b * 13) % BankRender::kBlock, 0x90, (unsigned char)(30 + b), 100});
      if (b == 45)
        for (int n = 30; n < 70; ++n) m.push_back({0, 0x80, (unsigned char)n, 0});
      if (!m.empty()) r[k]->midi(m);
      r[k]->block(&out[k]);
    }
  }
  expectSameRender(out[0], out[1], "64 voices of program 0");
}

// Control ticks longer than a run of VoiceBlock (64 samples), which voices then process in several runs.
TEST(RenderIdentity, ProgramZeroAtHighRates)
{
  UseGeneratedStartupBank();
  for (double rate : {96000.0, 192000.0}) {
    BankRender fast(VELTRANE_SO, rate), reference(VELTRANE_REFERENCE_SO, rate);
    ASSERT_TRUE(fast && reference) << dlerror();
    expectSameRender(perform(fast), perform(reference), "program 0 at " + std::to_string((int)rate) + " Hz");
  }
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, RenderIdentity, ::testing::Range(0, 64));

// Program 0 (oscillator, ladder, envelope, amplifier in slots 0 to 3) changed as a host changes it, so that
// voices processed module by module in runs meet what the bank's programs hardly ask of them. Parameters
// are set by their texts; a module that no parameter can add comes with program 0's own chunk, one slot's
// type changed, as a host restores a project.
struct Change
{
  int param;
  const char* text;
};
struct RunCase
{
  const char* name;
  int oscillatorSlot; // a slot given an oscillator first, -1 none
  std::vector<Change> changes;
};
const RunCase kRunCases[] = {
    {"the amplifier panned hard right: the right sum reads its second output", -1, {{52, "1"}}},
    {"the left voice sum off", -1, {{289, "off"}}},
    // The oscillator reads its pitch modulation at ticks, from an envelope whose voices run together.
    {"the envelope on the oscillator's pitch", -1, {{7, "Env1"}, {6, "1536"}}},
    {"a second oscillator synced by the first, on the left sum",
     4,
     {{64, "Saw"}, {68, "7"}, {74, "Osc-1"}, {289, "Osc-2"}}},
};

// The program chunk of the current program with slot's module type replaced (state layout: the framework's
// magic and version, then the product's version and, per slot, an int32 type and a master byte).
std::vector<char> withModule(BankRender& r, int slot, int32_t type)
{
  void* data = nullptr;
  const VstIntPtr size = r.dispatch(effGetChunk, 1, 0, &data);
  std::vector<char> chunk((const char*)data, (const char*)data + (size > 0 ? size : 0));
  const size_t at = 12 + 5 * (size_t)slot;
  if (chunk.size() >= at + 4) std::memcpy(&chunk[at], &type, 4);
  return chunk;
}

// The product object behind the record, as the plug-in's entry made it.
const Veltrane& engine(BankRender& r)
{
  return *static_cast<const Veltrane*>(static_cast<IPlugVST*>(r.effect->object));
}

TEST(RenderIdentity, ProgramZeroChangedByTheHostStillTakesTheRuns)
{
  UseGeneratedStartupBank();
  for (const RunCase& c : kRunCases) {
    BankRender fast(VELTRANE_SO, 48000.0), reference(VELTRANE_REFERENCE_SO, 48000.0);
    ASSERT_TRUE(fast && reference) << dlerror();
    for (BankRender* r : {&fast, &reference}) {
      if (c.oscillatorSlot >= 0) {
        std::vector<char> chunk = withModule(*r, c.oscillatorSlot, ModuleConfig::MOD_OSCILLATOR);
        ASSERT_EQ(r->dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), chunk.data()), 1) << c.name;
      }
      for (const Change& change : c.changes)
        ASSERT_EQ(r->dispatch(effString2Parameter, change.param, 0, (void*)change.text), 1)
            << c.name << ": parameter " << change.param << " takes no \"" << change.text << "\"";
    }
    expectSameRender(perform(fast), perform(reference), c.name);
    EXPECT_EQ(engine(fast).voiceBlocksBySample, 0u) << c.name << ": voices left the runs";
    EXPECT_GT(engine(fast).voiceBlocksInRuns, 0u) << c.name;
  }
}
} // namespace
