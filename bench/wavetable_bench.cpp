// 64 voices of the wavetable oscillator on a 16-wave table at 48 kHz, each at its own note, the wave
// position swept by a 1 Hz sine (0.1 .. 0.9) as an LFO would. "Cached": the module as it is, blending the
// band-limited tables of the two waves around the position. "Rebuilt": the same voices, but every tick
// each play table is made again from the blended spectra by an inverse transform, as a plain rebuild does.
// Reports ns per sample for all 64 voices, and CPU seconds per second of audio.
#include "OscWavetable.h"
#include "Veltrane.h"
#include "fft.h"

#include "../tests/support/module_drive.h"
#include "../tests/support/plugin_host.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {
constexpr int kVoices = 64;
constexpr int kWaves = 16;
constexpr double kRate = 48000.0;
constexpr int kTick = 48;

struct Voices
{
  std::unique_ptr<Veltrane> plug;
  OscWavetable* osc[kVoices] = {};
  int pitch[kVoices] = {};
  double position = 0.0;
  int ticks = 0;

  Voices()
  {
    plug = std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});
    plug->SetSampleRate(kRate);
    plug->Reset();
    plug->replaceModule(0, ModuleConfig::MOD_OSCWAVETABLE, false, false);
    std::vector<double> samples((size_t)kWaves * 2048);
    for (int w = 0; w < kWaves; ++w)
      for (int i = 0; i < 2048; ++i)
        for (int k = 1; k <= 1 + 8 * w; ++k) samples[w * 2048 + i] += 0.4 / k * std::sin(2 * M_PI * k * i / 2048);
    OscWavetable::setWavetable(plug.get(), 0, samples.data(), kWaves, "bench");
    for (int v = 0; v < kVoices; ++v) {
      osc[v] = static_cast<OscWavetable*>(plug->voices[v].modules[0]);
      pitch[v] = (36 + (v * 7) % 48) * 128;
      osc[v]->setFrequencySource(&pitch[v]);
      osc[v]->setParameter(0, 0.0);
      osc[v]->setParameter(2, 0.8);
      osc[v]->positionModSource = &position;
    }
  }

  void tick()
  {
    position = 0.5 * std::sin(2 * M_PI * ++ticks / 1000.0) + 0.5; // 1 Hz; 0.1 + 0.8 * this
  }
};

// What a plain rebuild does each tick: blend the two spectra, taper, inverse transform.
void rebuildFromSpectra(OscWavetable* o)
{
  const SharedData& r = *o->record();
  const int waves = (int)(r.count / 2048);
  const double pos = std::min(1.0, std::max(0.0, o->position + o->positionModAmount * *o->positionModSource));
  const double x = (waves - 1) * pos;
  const int f = std::min(waves - 1, (int)x);
  const double t = x - f;
  const int bins = o->lastBins > 0 ? o->lastBins : 1024;
  double* table = o->table;
  std::memset(table, 0, sizeof(o->table));
  const double g = 1.0 / ((double)bins * bins);
  const double* a = r.data + f * 2048;
  const double* b = f + 1 < waves ? a + 2048 : a;
  for (int k = 0; k < bins; ++k) {
    const int j = 2 * WDL_fft_permute(1024, k);
    const double w = 1.0 - k * k * g;
    table[j] = (a[j] + (b[j] - a[j]) * t) * w;
    table[j + 1] = (a[j + 1] + (b[j + 1] - a[j + 1]) * t) * w;
  }
  WDL_real_fft(table, 2048, 1);
}

template <bool kCached> void ModulatedPosition64Voices(benchmark::State& state)
{
  Voices v;
  for (int i = 0; i < 200; ++i) { // settle
    v.tick();
    for (OscWavetable* o : v.osc) o->update(true);
  }
  double sink = 0.0;
  for (auto _ : state) {
    v.tick();
    for (OscWavetable* o : v.osc) {
      o->update(true);
      if (!kCached) rebuildFromSpectra(o);
      for (int s = 0; s < kTick; ++s) o->process();
      sink += o->nextAudioOut[0];
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations() * kTick);
  state.counters["ns/sample"] =
      benchmark::Counter((double)state.iterations() * kTick, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  // Seconds of CPU per second of audio: one iteration is one millisecond.
  state.counters["cpu s/s"] = benchmark::Counter((double)state.iterations() / 1000.0,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One instance with a loaded 16-wave table, every input connected and playing as in the per-type
// benchmark (which meets the type with an empty record).
void LoadedTableOneVoice(benchmark::State& state)
{
  moduledrive::Drive d;
  Voices table; // only for its samples' record
  const SharedData& r = table.plug->slotConfig[0].sharedData;
  std::vector<double> samples(r.count);
  for (int w = 0; w < (int)r.count / 2048; ++w) {
    std::memcpy(samples.data() + w * 2048, r.data + w * 2048, 2048 * sizeof(double));
    WDL_real_fft(samples.data() + w * 2048, 2048, 1);
  }
  if (!d.make(ModuleConfig::MOD_OSCWAVETABLE, 48000.0) ||
      !OscWavetable::setWavetable(d.v.get(), moduledrive::kSlot, samples.data(), kWaves, "bench")) {
    state.SkipWithError("no wavetable");
    return;
  }
  d.set(2, 0.5); // the modulation ramp moves the position
  d.play(4800);
  constexpr int kBlock = 480;
  for (auto _ : state) {
    d.play(kBlock);
    benchmark::DoNotOptimize(d.m->nextAudioOut.data());
  }
  state.counters["ns/sample"] = benchmark::Counter((double)state.iterations() * kBlock,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(LoadedTableOneVoice)->Name("Wavetable/LoadedTableOneVoice");
BENCHMARK_TEMPLATE(ModulatedPosition64Voices, true)->Name("Wavetable/ModulatedPosition64Voices/Cached");
BENCHMARK_TEMPLATE(ModulatedPosition64Voices, false)->Name("Wavetable/ModulatedPosition64Voices/Rebuilt");
} // namespace
