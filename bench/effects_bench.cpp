// Set-up cost and memory of the effect and processor modules at 48 kHz:
//  Make/<type>: one instance made by the factory, given its rate, pitch and 16 parameters, then deleted.
//  Replace/<type>: a voice slot goes from empty to the type in all 64 voices (the audio thread does this
//    when the editor replaces a slot's module); Replace/first/<type> is the process's first such change.
//  AudioSHWindows: building the audio sample and hold's window tables (once per process, at load).
//  ReverbSlotMemory: resident memory of a patch with a reverb in a voice slot at 64 voices, made, then
//    with 8 and with 64 notes held for two seconds; reported in MB, with the process's peak, and the time to
//    replace that slot's 64 played reverbs with fresh ones.
//  Rest/<type>/<voices>: at 96 kHz, a voice slot's played modules (their whole memory written) in that many
//    voices brought back to rest, as the audio thread does at one control tick when a feedback loop through
//    the slot runs away in every voice; "blocks" is the time in 64-sample blocks at 96 kHz (0.67 ms each).
#include "AudioSH.h"
#include "DelayLine.h"
#include "DelayMemory.h"
#include "Module.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "Reverb.h"
#include "Veltrane.h"

#include "../tests/support/plugin_host.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr double kRate = 48000.0;
const ModuleConfig::ModuleID kTypes[] = {ModuleConfig::MOD_RING,       ModuleConfig::MOD_AUDIOSH,
                                         ModuleConfig::MOD_HILBERT,    ModuleConfig::MOD_BBDDELAY,
                                         ModuleConfig::MOD_BITREDUCER, ModuleConfig::MOD_DELAYLINE,
                                         ModuleConfig::MOD_REVERB,     ModuleConfig::MOD_SATURATOR};

std::unique_ptr<Veltrane> makeInstance()
{
  auto v = std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});
  v->SetSampleRate(kRate);
  v->Reset();
  return v;
}

void Make(benchmark::State& state, ModuleConfig::ModuleID id)
{
  std::unique_ptr<Veltrane> v = makeInstance();
  v->replaceModule(0, id, false, false);
  ModuleConfig& config = v->slotConfig[0];
  int pitch = 60 * 128;
  for (auto _ : state) {
    Module* m = config.createModule(&v->voices[0]);
    m->setSampleRate(kRate);
    m->setFrequencySource(&pitch);
    for (int p = 0; p < Module::kNumParams; ++p) m->setParameter(p, v->GetParam(p)->Value());
    benchmark::DoNotOptimize(m);
    delete m;
  }
}

void Replace(benchmark::State& state, ModuleConfig::ModuleID id)
{
  std::unique_ptr<Veltrane> v = makeInstance();
  for (auto _ : state) {
    v->replaceModule(0, id, false, false);
    state.PauseTiming();
    v->replaceModule(0, ModuleConfig::MOD_EMPTY, false, false);
    state.ResumeTiming();
  }
}

// The first replacement of the process for each type (tables shared by all instances get built here if
// they are not built yet), timed once.
void ReplaceFirst(benchmark::State& state, ModuleConfig::ModuleID id)
{
  std::unique_ptr<Veltrane> v = makeInstance();
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    v->replaceModule(0, id, false, false);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}

// The audio sample and hold's 42 window tables, built as the plug-in does once per process at load.
void AudioSHWindows(benchmark::State& state)
{
  std::unique_ptr<AudioSH::Windows> w(new AudioSH::Windows);
  for (auto _ : state) {
    AudioSH::fillWindows(w.get());
    benchmark::DoNotOptimize(w->square[0][1]);
  }
}

double residentMB()
{
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (double)sysconf(_SC_PAGESIZE) / (1 << 20);
}

double peakMB()
{
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

void ReverbSlotMemory(benchmark::State& state)
{
  for (auto _ : state) {
    const double base = residentMB();
    std::unique_ptr<Veltrane> v = makeInstance();
    v->SetParameterFromGUI(Veltrane::kParamVoices, v->GetParam(Veltrane::kParamVoices)->GetNormalized(10)); // 64
    v->replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
    v->replaceModule(1, ModuleConfig::MOD_REVERB, false, false);
    const int pos = v->voiceSources.getPosition(SourceDef::AUDIO, SourceDef::AUDIO, 0, 0);
    v->SetParameterFromGUI(16 + 1, v->GetParam(16 + 1)->GetNormalized(pos));
    v->plugToCommon(1);
    const double made = residentMB() - base;
    std::vector<double> left(512), right(512);
    double* outs[2] = {left.data(), right.data()};
    auto play = [&](int notes) {
      for (int n = 0; n < notes; ++n) v->setNoteOn(30 + n, 100);
      for (int b = 0; b < (int)(2 * kRate) / 512; ++b) v->ProcessDoubleReplacing(nullptr, outs, 512);
    };
    play(8);
    const double eight = residentMB() - base;
    play(56);
    const double all = residentMB() - base;
    state.counters["MB made"] = made;
    state.counters["MB 8 notes"] = eight;
    state.counters["MB 64 notes"] = all;
    state.counters["MB process peak"] = peakMB();
    // Replacing the played slot gives all its touched pages back to the system.
    const auto t0 = std::chrono::steady_clock::now();
    v->replaceModule(1, ModuleConfig::MOD_REVERB, false, false);
    state.counters["ms to replace the played slot"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
}

void Rest(benchmark::State& state, ModuleConfig::ModuleID id)
{
  constexpr double kRestRate = 96000.0;
  constexpr double kBlockSeconds = 64 / kRestRate;
  const int voices = (int)state.range(0);
  std::unique_ptr<Veltrane> v = makeInstance();
  v->SetSampleRate(kRestRate);
  v->Reset();
  v->SetParameterFromGUI(Veltrane::kParamVoices, 1.0); // 64 voices
  v->replaceModule(0, id, false, false);
  std::vector<Module*> slot;
  for (int i = 0; i < voices; ++i) slot.push_back(v->voices[i].modules[0]);
  // The memory a played module has written: every page resident and holding samples.
  const auto play = [&] {
    for (Module* m : slot) {
      const DelayBlock& memory = id == ModuleConfig::MOD_REVERB ? static_cast<Reverb*>(m)->memory
                                                                : static_cast<DelayLine*>(m)->memory;
      std::fill(memory.data(), memory.data() + memory.count(), 1e-3);
    }
  };
  double worst = 0.0, total = 0.0;
  for (auto _ : state) {
    play();
    const auto t0 = std::chrono::steady_clock::now();
    for (Module* m : slot) m->rest();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    worst = std::max(worst, took);
    total += took;
    state.SetIterationTime(took);
  }
  state.counters["blocks"] = total / (double)state.iterations() / kBlockSeconds;
  state.counters["worst_blocks"] = worst / kBlockSeconds;
}

struct Registrar
{
  Registrar()
  {
    for (ModuleConfig::ModuleID id : kTypes) {
      const std::string name = ModuleConfig::labelModuleName[id];
      benchmark::RegisterBenchmark(("Replace/first/" + name).c_str(), ReplaceFirst, id)
          ->Iterations(1)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    }
    for (ModuleConfig::ModuleID id : kTypes) {
      const std::string name = ModuleConfig::labelModuleName[id];
      benchmark::RegisterBenchmark(("Make/" + name).c_str(), Make, id)->Unit(benchmark::kMicrosecond);
    }
    for (ModuleConfig::ModuleID id : kTypes) {
      const std::string name = ModuleConfig::labelModuleName[id];
      benchmark::RegisterBenchmark(("Replace/" + name).c_str(), Replace, id)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("AudioSHWindows", AudioSHWindows)->Unit(benchmark::kMillisecond);
    for (ModuleConfig::ModuleID id : {ModuleConfig::MOD_DELAYLINE, ModuleConfig::MOD_REVERB}) {
      const std::string name = ModuleConfig::labelModuleName[id];
      benchmark::RegisterBenchmark(("Rest/" + name).c_str(), Rest, id)
          ->Arg(1)
          ->Arg(64)
          ->Iterations(20) // each rewrites up to 100 MB untimed
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("ReverbSlotMemory", ReverbSlotMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
  }
} registrar;
} // namespace
