// Instances of the plug-in side by side in one process, as a multi-core host runs them: what one plays must
// not depend on the others.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
// A fresh instance plays a chord on the program for 8192 frames.
std::vector<float> play(int program)
{
  HostedVeltrane h(44100, 64);
  h.dispatch(effSetProgram, 0, program);
  h.midi(0, 0x90, 48, 100);
  h.midi(0, 0x90, 55, 90);
  return h.render(8192, 64);
}

// The programs of the start-up bank with a module type that draws random values.
std::vector<int> programsThatDraw()
{
  const ModuleConfig::ModuleID drawing[] = {ModuleConfig::MOD_NOISE, ModuleConfig::MOD_SHNOISE,
                                            ModuleConfig::MOD_LFO, ModuleConfig::MOD_LFO2};
  std::vector<int> programs;
  HostedVeltrane h;
  for (int p = 0; p < h.effect->numPrograms; ++p) {
    h.dispatch(effSetProgram, 0, p);
    bool draws = false;
    for (const ModuleConfig& c : h.plug->slotConfig)
      for (ModuleConfig::ModuleID id : drawing) draws = draws || c.moduleID == id;
    if (draws) programs.push_back(p);
  }
  return programs;
}
} // namespace

// Played alone, then by two instances at once on two threads: the same samples, to the bit.
TEST(Instances, PlayTheSameAloneAndSideBySide)
{
  UseGeneratedStartupBank();
  const std::vector<int> programs = programsThatDraw();
  ASSERT_GE(programs.size(), 3u);
  for (int p : programs) {
    const std::vector<float> alone = play(p);
    std::vector<float> first, second;
    std::thread a([&] { first = play(p); }), b([&] { second = play(p); });
    a.join();
    b.join();
    bool sounds = false;
    for (float x : alone) sounds = sounds || x != 0.0f;
    EXPECT_TRUE(sounds) << p;
    EXPECT_TRUE(alone == first) << p;
    EXPECT_TRUE(alone == second) << p;
  }
}
