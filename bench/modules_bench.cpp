// One benchmark per module type: a single instance at 48 kHz, every input connected to a playing source
// (a 220 Hz sine, a modulation ramp, a gate every 20 ms), defaults for the rest. Reports ns per sample,
// control-tick updates included.
#include "ModuleCatalogue.h"

#include "../tests/support/module_drive.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {
void RunModule(benchmark::State& state, ModuleConfig::ModuleID id)
{
  moduledrive::Drive d;
  if (!d.make(id, 48000.0)) {
    state.SkipWithError("no source for an input");
    return;
  }
  d.play(4800); // past start-up transients
  constexpr int kBlock = 480;
  for (auto _ : state) {
    d.play(kBlock);
    benchmark::DoNotOptimize(d.m->nextAudioOut.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns/sample"] =
      benchmark::Counter((double)state.iterations() * kBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct Registrar
{
  Registrar()
  {
    for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
      if (!ModuleCatalogue::classes[id].create) continue;
      const std::string name = std::string("Module/") + std::to_string(id) + "/" + ModuleConfig::labelModuleName[id];
      benchmark::RegisterBenchmark(name.c_str(), RunModule, (ModuleConfig::ModuleID)id);
    }
  }
} registrar;
} // namespace
