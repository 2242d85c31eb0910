// What a user hears does not depend on the shortcuts of the audio path: every built program of the
// start-up bank, played at 44.1 and 48 kHz, renders bit for bit the same in the plug-in as in a reference
// build of the same sources with every shortcut off (VELTRANE_REFERENCE_RENDER), where each module works
// out everything at every sample and the voices render one after the other. Both builds are loaded into
// this process as a host loads them and driven through the same calls in the same order, so that even
// their noise generators' seeds agree.
#include "../support/bank_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {
constexpr int kParamVoices = 288;

// A short performance: a chord, pitch bend, modulation wheel and aftertouch while it sounds, five more
// notes (voices stolen in programs with few), the sustain pedal, a release and its tail.
std::vector<double> perform(BankRender& r, int program)
{
  r.dispatch(effSetProgram, 0, program);
  std::vector<double> out;
  for (int b = 0; b < 110; ++b) {
    std::vector<BankRender::Message> m;
    switch (b) {
    case 0:
      m = {{0, 0x90, 48, 100}, {100, 0x90, 55, 90}, {300, 0x90, 64, 110}};
      break;
    case 8:
      m = {{17, 0xE0, 0, 80}, {40, 0xB0, 1, 70}, {200, 0xD0, 60, 0}, {300, 0xA0, 55, 90}};
      break;
    case 16:
      for (int k = 0; k < 5; ++k) m.push_back({k * 61, 0x90, (unsigned char)(60 + 3 * k), (unsigned char)(60 + 10 * k)});
      m.push_back({400, 0xB0, 64, 127});
      break;
    case 40:
      for (int note : {48, 55, 64, 60, 63, 66, 69, 72}) m.push_back({5, 0x80, (unsigned char)note, 0});
      m.push_back({30, 0xE0, 0, 64});
      break;
    case 50:
      m = {{250, 0xB0, 64, 0}};
      break;
    default:
      break;
    }
    if (!m.empty()) r.midi(m);
    r.block(&out);
  }
  return out;
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
    const std::vector<double> got = perform(fast, program), want = perform(reference, program);
    ASSERT_EQ(got.size(), want.size());
    double peak = 0.0;
    for (double x : want) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 1e-4) << name << " at " << rate << " Hz: the reference is silent, nothing was compared";
    if (std::memcmp(got.data(), want.data(), got.size() * sizeof(double)) == 0) continue;
    size_t i = 0;
    while (std::memcmp(&got[i], &want[i], sizeof(double)) == 0) ++i;
    ADD_FAILURE() << name << " at " << rate << " Hz: sample " << i / 2 << (i % 2 ? " right" : " left") << " is "
                  << got[i] << ", the reference " << want[i] << " (difference " << got[i] - want[i] << ")";
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
  ASSERT_EQ(out[0].size(), out[1].size());
  EXPECT_EQ(std::memcmp(out[0].data(), out[1].data(), out[0].size() * sizeof(double)), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, RenderIdentity, ::testing::Range(0, 64));
} // namespace
