// Render speed of the synthesizer against a Debian instrument (amsynth): each plug-in loaded by our host at
// 48 kHz, blocks of 512, rendering 4 s in which 8 or 64 notes are held from the start. Veltrane plays
// program 0 of its start-up bank with its voice count set to 64. Each benchmark reports the speed as a
// multiple of real time; at exit the ratio Veltrane / amsynth is printed per note count.
// HeavyProgram plays the bank's "Full Rack Pad" (all 18 slots in use) the same way with 64 notes. Where the
// tests' reference build (every shortcut of the audio path off) exists, it plays the same, as "before".
#include "../tests/support/plugin_host.h"
#include "Host.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {
constexpr double kRate = 48000.0;
constexpr double kSeconds = 4.0;

std::map<std::pair<std::string, int>, double>& speeds()
{
  // Never destroyed: the report below reads it while static objects go.
  static auto* s = new std::map<std::pair<std::string, int>, double>;
  return *s;
}

struct RatioReport
{
  ~RatioReport()
  {
    for (int notes : {8, 64}) {
      auto v = speeds().find({"Veltrane", notes}), a = speeds().find({"amsynth", notes});
      if (v == speeds().end() || a == speeds().end()) continue;
      std::printf("%2d held notes at 48 kHz: Veltrane %.1fx real time, amsynth %.1fx real time, ratio "
                  "Veltrane/amsynth %.2f\n",
                  notes, v->second, a->second, v->second / a->second);
    }
    const std::pair<const char*, const char*> pairs[] = {{"Veltrane", "Veltrane reference"},
                                                         {"Veltrane heavy", "Veltrane heavy reference"}};
    for (const auto& p : pairs)
      for (int notes : {8, 64}) {
        auto f = speeds().find({p.first, notes}), r = speeds().find({p.second, notes});
        if (f == speeds().end() || r == speeds().end()) continue;
        std::printf("%s, %d notes: %.2fx real time, reference build %.2fx, speed-up %.2f\n", p.first, notes,
                    f->second, r->second, f->second / r->second);
      }
  }
} report;

vsthost::RenderRequest heldNotes(int count)
{
  vsthost::RenderRequest r;
  r.seconds = kSeconds;
  for (int i = 0; i < count; ++i) {
    vsthost::MidiEvent on;
    on.seconds = 0.0;
    on.bytes = {0x90, (uint8_t)(36 + i), 100};
    r.events.push_back(on);
  }
  return r;
}

void Render(benchmark::State& state, const char* name, const char* path, const char* program = nullptr)
{
  const int notes = (int)state.range(0);
  UseGeneratedStartupBank();
  vsthost::HostSettings settings;
  settings.sampleRate = kRate;
  settings.blockSize = 512;
  std::string error;
  std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::Load(path, settings, &error);
  if (!plugin) {
    state.SkipWithError(error.c_str());
    return;
  }
  plugin->Open();
  if (program) {
    int index = -1;
    for (int i = 0; i < 64 && index < 0; ++i)
      if (plugin->ProgramName(i) == program) index = i;
    if (index < 0) {
      state.SkipWithError("program not in the start-up bank");
      return;
    }
    plugin->Dispatch(effSetProgram, 0, index);
  }
  if (std::string(name).rfind("Veltrane", 0) == 0) plugin->SetParameter(288, 1.0f); // 64 voices
  const vsthost::RenderRequest request = heldNotes(notes);
  double speed = 0;
  for (auto _ : state) {
    vsthost::RenderResult result;
    if (!vsthost::Render(*plugin, request, &result, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    speed = std::max(speed, result.SpeedFactor(kRate)); // the best run: the least disturbed by other work
    state.SetIterationTime(result.wallSeconds);
    plugin->Suspend(); // a fresh start for the next render: notes released, voices idle
  }
  state.counters["xRealTime"] = speed;
  speeds()[{name, notes}] = speed;
}

void Veltrane(benchmark::State& state)
{
  Render(state, "Veltrane", VELTRANE_SO);
}
void HeavyProgram(benchmark::State& state)
{
  Render(state, "Veltrane heavy", VELTRANE_SO, "Full Rack Pad");
}
#ifdef VELTRANE_REFERENCE_SO
void Reference(benchmark::State& state)
{
  Render(state, "Veltrane reference", VELTRANE_REFERENCE_SO);
}
void HeavyReference(benchmark::State& state)
{
  Render(state, "Veltrane heavy reference", VELTRANE_REFERENCE_SO, "Full Rack Pad");
}
#endif
void Amsynth(benchmark::State& state)
{
  Render(state, "amsynth", AMSYNTH_SO);
}
} // namespace

BENCHMARK(Veltrane)->Arg(8)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(HeavyProgram)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
#ifdef VELTRANE_REFERENCE_SO
BENCHMARK(Reference)->Arg(8)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(HeavyReference)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
#endif
BENCHMARK(Amsynth)->Arg(8)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
