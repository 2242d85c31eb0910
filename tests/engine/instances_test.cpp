// Instances of the plug-in side by side in one process, as a multi-core host runs them: what one plays must
// not depend on the others.
#include "ProgramStage.h"
#include "engine_harness.h"
#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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
    EXPECT_TRUE(std::any_of(alone.begin(), alone.end(), [](float x) { return x != 0.0f; })) << p;
    EXPECT_TRUE(alone == first) << p;
    EXPECT_TRUE(alone == second) << p;
  }
}

// A host at its limit of threads (or of address space for a thread's stack): the instance gets no worker
// to build MIDI program changes, so it puts them in place where the audio loop reaches them instead of
// holding its notes back for good, and nothing escapes into the host.
TEST(Instances, WithoutAWorkerAMidiProgramChangeTakesEffectAtOnce)
{
  SKIP_IF_SANITIZED();
  UseGeneratedStartupBank();
  // A fresh process: one that ran threads before keeps their stacks for new ones.
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr int kWorkerStarted = 2;
  int code = -1;
  EXPECT_EXIT(
      {
        std::unique_ptr<Veltrane> v = MakeVeltrane(); // no worker before the first reset
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
          long pages = 0;
          if (std::fscanf(f, "%ld", &pages) == 1) // room for small allocations, not for a thread's stack
            limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(6) << 20);
          std::fclose(f);
        }
        setrlimit(RLIMIT_AS, &limit);
        v->SetSampleRate(44100.0);
        v->Reset();
        if (v->stage && v->stage->hasWorker()) std::exit(kWorkerStarted); // the limit did not bite here
        IMidiMsg change(0, 0xC0, 1, 0);
        v->ProcessMidiMsg(&change);
        v->handleMidiEvents(0); // the loop reaches it
        std::exit(v->GetCurrentPresetIdx() == 1 ? 0 : 1);
      },
      [&](int status) {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return code == 0 || code == kWorkerStarted;
      },
      "");
  GTEST_FLAG_SET(death_test_style, style);
  if (code == kWorkerStarted) GTEST_SKIP() << "a thread could still be started under the address-space limit";
}
