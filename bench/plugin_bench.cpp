// Cost of the VST 2.4 adapter around a trivial plug-in (TestPlug): one block through each process call,
// event delivery, and the chunks a host saves and restores with a project.
#include "../tests/support/plugin_host.h"
#include "TestPlug.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Instance
{
  AEffect* e;
  Instance()
  {
    e = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new TestPlug(info); });
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  }
  ~Instance() { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }
};

template <class T> struct Buffers
{
  std::vector<T> mem = std::vector<T>(4 * 512, (T)0.25);
  T* in[2] = {&mem[0], &mem[512]};
  T* out[2] = {&mem[1024], &mem[1536]};
};

// One 512-sample block per iteration through process(e, in, out, frames).
template <class T, class Process> void timeBlocks(benchmark::State& state, Process process)
{
  Instance p;
  Buffers<T> b;
  for (auto _ : state) {
    process(p.e, b.in, b.out, 512);
    benchmark::DoNotOptimize(b.out[0][0]);
  }
  state.SetItemsProcessed(state.iterations() * 512);
}

void ProcessReplacing(benchmark::State& state)
{
  timeBlocks<float>(state, [](AEffect* e, float** in, float** out, int n) { e->processReplacing(e, in, out, n); });
}
BENCHMARK(ProcessReplacing);

void ProcessDoubleReplacing(benchmark::State& state)
{
  timeBlocks<double>(state,
                     [](AEffect* e, double** in, double** out, int n) { e->processDoubleReplacing(e, in, out, n); });
}
BENCHMARK(ProcessDoubleReplacing);

void ProcessAccumulating(benchmark::State& state)
{
  timeBlocks<float>(state, [](AEffect* e, float** in, float** out, int n) { e->process(e, in, out, n); });
}
BENCHMARK(ProcessAccumulating);

void ProcessEvents(benchmark::State& state)
{
  Instance p;
  std::vector<VstMidiEvent> events(64);
  std::vector<VstIntPtr> storage(2 + events.size());
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  list->numEvents = (VstInt32)events.size();
  VstEvent** entries = list->events;
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    events[i].deltaFrames = (VstInt32)i;
    events[i].midiData[0] = (char)0x90;
    events[i].midiData[1] = (char)(i % 128);
    events[i].midiData[2] = 100;
    entries[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }
  for (auto _ : state) benchmark::DoNotOptimize(p.e->dispatcher(p.e, effProcessEvents, 0, 0, list, 0.0f));
  state.SetItemsProcessed(state.iterations() * (int64_t)events.size());
}
BENCHMARK(ProcessEvents);

void BankChunkRoundTrip(benchmark::State& state)
{
  Instance p;
  for (auto _ : state) {
    void* data = nullptr;
    VstIntPtr size = p.e->dispatcher(p.e, effGetChunk, 0, 0, &data, 0.0f);
    std::vector<unsigned char> copy(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    benchmark::DoNotOptimize(p.e->dispatcher(p.e, effSetChunk, 0, size, copy.data(), 0.0f));
  }
}
BENCHMARK(BankChunkRoundTrip);

} // namespace
