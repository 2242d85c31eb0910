// Runs of a voice's sub-block (VoiceBlock.h): where a module reads during a run, and the ladder filters of a
// group of voices processed together, which must give every voice what its own sample-by-sample processing
// gives, bit for bit, states that break down or run away in some voices included.
#include "Ladder.h"
#include "VoiceBlock.h"
#include "module_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {
bool sameBits(double a, double b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(VoiceRuns, InputsReadRecordsOfEarlierModulesOnly)
{
  ModuleRig rig;
  rig.make<Ladder>(ModuleConfig::MOD_LADDER, 48000.0);
  ModuleConfig& config = rig.plug->slotConfig[0];
  std::unique_ptr<Module> first(config.createModule(nullptr)), second(config.createModule(nullptr));
  Module* const list[2] = {first.get(), second.get()};
  auto block = std::make_unique<VoiceBlock>();
  ASSERT_TRUE(block->plan(list, 2));

  Module::Stream s{nullptr, 7};
  block->setReader(1);
  ASSERT_TRUE(block->resolve(&first->audioOut[0], &s));
  EXPECT_EQ(s.at, block->record(0));
  EXPECT_EQ(s.step, 1);
  EXPECT_FALSE(block->resolve(&second->audioOut[0], &s)); // its own output
  block->setReader(0);
  EXPECT_FALSE(block->resolve(&first->audioOut[0], &s));
  EXPECT_FALSE(block->resolve(&second->audioOut[0], &s)); // a later module's

  double elsewhere = 0.25;
  ASSERT_TRUE(block->resolve(&elsewhere, &s));
  EXPECT_EQ(s.at, &elsewhere);
  EXPECT_EQ(s.step, 0);
  ASSERT_TRUE(block->resolve(nullptr, &s));
  EXPECT_EQ(s.at, nullptr);
  EXPECT_EQ(s.step, 0);
}

// count ladders of one type processed together against count more processed sample by sample, each voice
// at its own pitch with its own input; voice 1's input turns infinite for one sample.
void expectGroupMatches(int type, int count)
{
  SCOPED_TRACE(testing::Message() << "type " << type << ", " << count << " voices");
  constexpr int kRun = VoiceBlock::kLength;
  ModuleRig rig;
  rig.make<Ladder>(ModuleConfig::MOD_LADDER, 48000.0);
  ModuleConfig& config = rig.plug->slotConfig[0];
  const double params[][2] = {{0, (double)type}, {1, 0.55}, {2, 0.9}, {3, 1.0}, {11, 4.0}, {12, 0.5}};
  int pitches[VoiceBlock::kGroup];
  std::vector<std::unique_ptr<Ladder>> grouped, single;
  for (int j = 0; j < count; ++j) {
    pitches[j] = (48 + 7 * j) * 128;
    for (auto* set : {&grouped, &single}) {
      set->emplace_back(static_cast<Ladder*>(config.createModule(nullptr)));
      Ladder& f = *set->back();
      f.setSampleRate(48000.0);
      f.setFrequencySource(&pitches[j]);
      for (const auto& p : params) f.setParameter((int)p[0], p[1]);
    }
  }
  std::vector<std::vector<double>> input(count, std::vector<double>(2 * kRun));
  for (int j = 0; j < count; ++j)
    for (int i = 0; i < 2 * kRun; ++i) input[j][i] = 0.8 * std::sin(0.05 * (j + 1) * i);
  input[1][20] = std::numeric_limits<double>::infinity();
  input[0][30] = 1e12; // finite, but a state it drives has run away as surely

  std::vector<std::vector<double>> records(count, std::vector<double>(kRun));
  double afterInfinity = 1.0, afterRunaway = 1.0;
  for (int run = 0; run < 2; ++run) {
    Module* modules[VoiceBlock::kGroup];
    double* recordOf[VoiceBlock::kGroup];
    for (int j = 0; j < count; ++j) {
      grouped[j]->streamA = {input[j].data() + run * kRun, 1};
      modules[j] = grouped[j].get();
      recordOf[j] = records[j].data();
    }
    ASSERT_TRUE(modules[0]->processBlockGroup(modules, count, kRun, recordOf));
    if (run == 0) {
      afterInfinity = records[1][21];
      afterRunaway = records[0][31];
    }
    for (int j = 0; j < count; ++j) {
      Ladder& f = *single[j];
      double in = 0.0;
      f.inputA = &in;
      for (int i = 0; i < kRun; ++i) {
        in = input[j][run * kRun + i];
        f.process();
        ASSERT_TRUE(sameBits(records[j][i], f.audioOut[0])) << "voice " << j << ", sample " << run * kRun + i;
      }
      const Ladder& g = *grouped[j];
      EXPECT_TRUE(sameBits(g.nextAudioOut[0], f.nextAudioOut[0])) << "voice " << j;
      EXPECT_TRUE(sameBits(g.guard, f.guard)) << "voice " << j;
      for (int e = 0; e < 4; ++e) EXPECT_TRUE(sameBits(g.s[e], f.s[e])) << "voice " << j << ", stage " << e;
    }
  }
  // The infinite input broke voice 1's state, the huge one voice 0's: the output published next is 0, then
  // each starts again.
  EXPECT_TRUE(sameBits(afterInfinity, 0.0));
  EXPECT_TRUE(sameBits(afterRunaway, 0.0));
}

TEST(VoiceRuns, LadderGroupsMatchSampleBySample)
{
  for (int count = 2; count <= VoiceBlock::kGroup; ++count)
    for (int type : {1, 6, 9, 12}) expectGroupMatches(type, count); // LP 24, HP 18, BP 12, AP 18
}
} // namespace
