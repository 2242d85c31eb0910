// Costs on the audio path: queueing a block's MIDI events, and string building in host calls.
#include "IMidiQueue.h"
#include "wdlstring.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

// One block's worth of events arriving out of order, queued and drained, as the synth layer does.
static void BM_MidiQueueBlock(benchmark::State& state)
{
  const int events = int(state.range(0));
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> offset(0, 511);
  std::vector<IMidiMsg> input(events);
  for (int i = 0; i < events; ++i) input[i].MakeNoteOnMsg(i & 0x7F, 100, offset(rng), 0);
  IMidiQueue queue(512);
  for (auto _ : state) {
    for (const IMidiMsg& m : input) queue.Add(&m);
    while (!queue.Empty()) {
      benchmark::DoNotOptimize(queue.Peek()->mData1);
      queue.Remove();
    }
    queue.Flush(512);
  }
  state.SetItemsProcessed(state.iterations() * events);
}
BENCHMARK(BM_MidiQueueBlock)->Arg(16)->Arg(256);

static void BM_StringAppendFormatted(benchmark::State& state)
{
  for (auto _ : state) {
    WDL_String s;
    for (int i = 0; i < 64; ++i) s.AppendFormatted(16, "%d,", i);
    benchmark::DoNotOptimize(s.Get());
  }
}
BENCHMARK(BM_StringAppendFormatted);
