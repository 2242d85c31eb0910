// A heavy program: all 18 voice slots in use (oscillators, filters, amplifier, mixer and every modulator
// and sequencer type), 64 voices holding 64 notes at 48 kHz, the host's transport at 120 BPM. Reports the
// render speed as a multiple of real time on one core, and ns per voice and sample.
#include "../tests/support/plugin_host.h"
#include "LFO.h"
#include "LFO2.h"
#include "Veltrane.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
using ID = ModuleConfig;
using SD = SourceDef;

struct Patch
{
  std::unique_ptr<Veltrane> v = std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});

  void set(int slot, int p, double value)
  {
    const int idx = slot * Module::kNumParams + p;
    v->SetParameterFromGUI(idx, v->GetParam(idx)->GetNormalized(value));
  }
  void connect(int slot, int p, SD::SourceType selector, SD::SourceType t, int module, int index)
  {
    set(slot, p, v->voiceSources.getPosition(selector, t, module, index));
  }
  void connect(int slot, int p, SD::SourceType t, int module, int index) { connect(slot, p, t, t, module, index); }

  void build()
  {
    const ID::ModuleID types[18] = {ID::MOD_OSCILLATOR, ID::MOD_OSCILLATOR, ID::MOD_LADDER,      ID::MOD_LADDER,
                                    ID::MOD_AMPLIFIER,  ID::MOD_ENVELOPE,   ID::MOD_LFO,         ID::MOD_LFO2,
                                    ID::MOD_ENVELOPE2,  ID::MOD_ENVELOPE4,  ID::MOD_LINENVELOPE, ID::MOD_SHNOISE,
                                    ID::MOD_SEQUENCER,  ID::MOD_SEQSWITCH,  ID::MOD_AUDIOSWITCH, ID::MOD_BEATSEQ,
                                    ID::MOD_MIXER,      ID::MOD_OSCILLATOR};
    for (int s = 0; s < 18; ++s) v->replaceModule(s, types[s], false, false);
    const int voiceGate = Veltrane::kTriggerVoice, sixteenth = 15;
    set(1, 0, 2);                        // pulse
    connect(0, 7, SD::MODULATION, 6, 0); // LFO vibrato
    set(0, 6, 30);
    connect(1, 7, SD::MODULATION, 7, 0); // dual LFO A
    set(1, 6, 30);
    connect(0, 9, SD::MODULATION, 12, 0); // sequencer steps
    set(0, 8, 1536);
    connect(1, 3, SD::MODULATION, 11, 0); // sample and hold on the pulse width
    connect(2, 4, SD::AUDIO, 0, 0);
    connect(2, 6, SD::AUDIO, 1, 0);
    set(2, 1, 0.5);
    connect(2, 8, SD::MODULATION, 8, 0); // dual envelope
    set(2, 7, 3000);
    connect(2, 10, SD::MODULATION, 7, 3); // dual LFO B
    set(2, 9, 1000);
    connect(3, 4, SD::AUDIO, 14, 0); // the audio switch through the second filter
    set(3, 1, 0.55);
    connect(3, 8, SD::MODULATION, 9, 0); // quad envelope
    set(3, 7, 3000);
    connect(3, 10, SD::MODULATION, 13, 0); // sequenced switch
    set(3, 9, 1500);
    connect(4, 1, SD::AUDIO, 2, 0);
    connect(4, 3, SD::AUDIO, 3, 0);
    connect(4, 11, SD::MODULATION, 5, 0);
    set(4, 10, 1.0);
    connect(4, 13, SD::MODULATION, 10, 0);
    set(4, 12, 0.5);
    connect(5, 0, SD::GATE, SD::kGroupTriggers, voiceGate);
    set(5, 8, 0.8);
    set(5, 11, 0.3);
    set(7, 0, LFO2::kTriangle);
    set(7, 1, LFO2::kRandom);
    set(7, 13, 10); // B locked to a division
    for (int p : {0, 1}) connect(8, p, SD::GATE, SD::kGroupTriggers, voiceGate);
    for (int p = 2; p <= 9; ++p) set(8, p, 0.4);
    for (int line = 0; line < 4; ++line) connect(9, line, SD::GATE, 15, 5 + line); // beat lines
    for (int p = 8; p < 12; ++p) set(9, p, 0.3);
    for (int p : {0, 1}) connect(10, p, SD::GATE, SD::kGroupTriggers, voiceGate);
    for (int p = 2; p <= 9; ++p) set(10, p, 0.5);
    set(11, 0, 0.1);
    set(11, 1, 0.1);
    connect(11, 6, SD::AUDIO_OR_MOD, SD::AUDIO, 11, 0);
    connect(11, 5, SD::GATE, SD::kGroupClock, sixteenth);
    connect(11, 7, SD::AUDIO_OR_MOD, SD::AUDIO, 11, 1);
    connect(12, 0, SD::GATE, SD::kGroupClock, sixteenth);
    for (int k = 0; k < 8; ++k) set(12, 5 + k, k / 24.0);
    connect(13, 1, SD::GATE, SD::kGroupClock, sixteenth);
    for (int k = 0; k < 4; ++k) connect(13, 7 + k, SD::MODULATION, 7, k);
    set(13, 2, 0);
    connect(14, 1, SD::GATE, SD::kGroupClock, sixteenth);
    connect(14, 7, SD::AUDIO, 0, 0);
    connect(14, 8, SD::AUDIO, 1, 0);
    connect(14, 9, SD::AUDIO, 17, 0);
    connect(14, 10, SD::AUDIO, 11, 1);
    set(14, 2, 0);
    connect(15, 0, SD::GATE, SD::kGroupClock, sixteenth);
    for (int p = 5; p <= 8; ++p) set(15, p, 0x1111 << (p - 5));
    connect(16, 1, SD::AUDIO, 4, 0);
    connect(16, 4, SD::AUDIO, 4, 1);
    connect(16, 7, SD::AUDIO, 14, 0);
    set(17, 0, 0); // sine
    set(17, 4, 12);
    v->plugToCommon(16);
    v->SetParameterFromGUI(Veltrane::kParamVoices, 1.0); // 64 voices
  }
};

void HeavyProgram(benchmark::State& state)
{
  Patch patch;
  Veltrane& v = *patch.v;
  v.SetSampleRate(kRate);
  v.SetBlockSize(kBlock);
  v.Reset();
  patch.build();
  for (int n = 0; n < 64; ++n) v.setNoteOn(36 + n, 100);
  std::vector<double> in(2 * kBlock, 0.0), out(2 * kBlock, 0.0);
  double* ins[2] = {in.data(), in.data() + kBlock};
  double* outs[2] = {out.data(), out.data() + kBlock};
  double peak = 0.0;
  for (int i = 0; i < 20; ++i) {
    v.ProcessDoubleReplacing(ins, outs, kBlock);
    for (double x : out) peak = std::max(peak, std::fabs(x));
  }
  if (!(peak > 1e-3)) {
    state.SkipWithError("the heavy program is silent");
    return;
  }
  for (auto _ : state) {
    v.ProcessDoubleReplacing(ins, outs, kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  const double seconds = (double)state.iterations() * kBlock / kRate;
  state.counters["xRealTime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
  state.counters["ns/voice/sample"] = benchmark::Counter((double)state.iterations() * kBlock * 64,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak"] = peak;
}
} // namespace

BENCHMARK(HeavyProgram)->Unit(benchmark::kMillisecond);
