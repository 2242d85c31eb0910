// What structural changes cost the audio thread, at 48 kHz in blocks of 256 samples (5.33 ms each), with the
// start-up bank's heaviest program ("Full Rack Pad", program 50) playing 64 voices:
//
// - MidiProgramChange/P: a MIDI Program Change to program P arrives with effProcessEvents. The cost is the
//   time of that call plus what the block in which P takes effect takes beyond the block after it (the same
//   program and voices, nothing changing). "late_ms" is how long after the event P took effect, in audio
//   time (whole blocks).
// - EditorModuleReplacement/T: the editor replaces the voice slot 9 (a saturator in every voice) by module
//   type T. The cost is what the block that carries the replacement out takes beyond the block after it.
// - BankLoadLockWait: an audio thread paced in real time renders the program while the host's thread loads
//   the start-up bank (effSetChunk of the whole bank) every 200 ms. The iteration time is the load; the
//   counters give the longest time a block waited for the instance mutex and the deadlines missed.
//
// Each benchmark keeps its worst case in the counter "worst_ms" (Google Benchmark's mean hides it).
#include "../tests/support/plugin_host.h"
#include "Veltrane.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kHeavyProgram = 50;
constexpr int kReplacedSlot = 9;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Host
{
  AEffect* e = nullptr;
  Veltrane* plug = nullptr;
  std::vector<float> inL = std::vector<float>(kBlock), inR = std::vector<float>(kBlock),
                     outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);

  Host()
  {
    UseGeneratedStartupBank();
    e = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new Veltrane(info); });
    plug = static_cast<Veltrane*>(static_cast<IPlugVST*>(e->object));
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, (float)kRate);
    dispatch(effSetBlockSize, 0, kBlock);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
  }
  ~Host() { dispatch(effClose); }

  VstIntPtr dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
  }

  // MIDI messages (status, data 1, data 2) at the start of the next block; the time the call took (ms).
  double midi(const std::vector<std::array<int, 3>>& messages)
  {
    std::vector<VstMidiEvent> events(messages.size());
    std::vector<char> buf(sizeof(VstEvents) + messages.size() * sizeof(VstEvent*));
    VstEvents* list = reinterpret_cast<VstEvents*>(buf.data());
    list->numEvents = (VstInt32)messages.size();
    VstEvent** slots = list->events;
    for (size_t i = 0; i < messages.size(); ++i) {
      events[i] = VstMidiEvent{};
      events[i].type = kVstMidiType;
      events[i].byteSize = sizeof(VstMidiEvent);
      for (int k = 0; k < 3; ++k) events[i].midiData[k] = (char)messages[i][k];
      slots[i] = reinterpret_cast<VstEvent*>(&events[i]);
    }
    const Clock::time_point t0 = Clock::now();
    e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);
    return msSince(t0);
  }

  // One block; the time it took (ms).
  double block()
  {
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    const Clock::time_point t0 = Clock::now();
    e->processReplacing(e, ins, outs, kBlock);
    return msSince(t0);
  }

  std::vector<std::array<int, 3>> heldNotes(bool on) const
  {
    std::vector<std::array<int, 3>> notes;
    for (int n = 0; n < 64; ++n) notes.push_back({on ? 0x90 : 0x80, 30 + n, 100});
    return notes;
  }

  // The heavy program, freshly loaded, with 64 voices sounding.
  void playHeavyProgram()
  {
    dispatch(effSetProgram, 0, kHeavyProgram);
    midi(heldNotes(true));
    for (int b = 0; b < 8; ++b) block();
  }

  // Whether a change handed to the plug-in has taken effect (before the change to the engine: at once).
  bool changeDone() const { return true; }
};

void reportWorst(benchmark::State& state, double worst)
{
  state.counters["worst_ms"] = benchmark::Counter(worst, benchmark::Counter::kAvgThreads);
}

void MidiProgramChange(benchmark::State& state)
{
  const int program = (int)state.range(0);
  Host h;
  double worst = 0.0, latest = 0.0;
  for (auto _ : state) {
    h.playHeavyProgram();
    const double events = h.midi({{0xC0, program, 0}});
    int blocks = 0;
    double swap = 0.0;
    do {
      swap = h.block();
      ++blocks;
    } while (!h.changeDone() && blocks < 10000);
    const double steady = h.block();
    const double cost = events + std::max(0.0, swap - steady);
    state.SetIterationTime(cost / 1000.0);
    worst = std::max(worst, cost);
    latest = std::max(latest, (blocks - 1) * kBlock * 1000.0 / kRate);
  }
  reportWorst(state, worst);
  state.counters["late_ms"] = latest;
}

void EditorModuleReplacement(benchmark::State& state)
{
  const int type = (int)state.range(0);
  Host h;
  double worst = 0.0;
  for (auto _ : state) {
    h.playHeavyProgram();
    h.plug->postCommand(Veltrane::kCommandReplace, kReplacedSlot, type);
    int blocks = 0;
    double swap = 0.0;
    do {
      swap = h.block();
      ++blocks;
    } while (!h.changeDone() && blocks < 10000);
    const double steady = h.block();
    const double cost = std::max(0.0, swap - steady);
    state.SetIterationTime(cost / 1000.0);
    worst = std::max(worst, cost);
  }
  reportWorst(state, worst);
}

void BankLoadLockWait(benchmark::State& state)
{
  Host h;
  h.playHeavyProgram();
  void* data = nullptr;
  const VstIntPtr size = h.dispatch(effGetChunk, 0, 0, &data);
  const std::vector<unsigned char> bank((unsigned char*)data, (unsigned char*)data + size);

  std::atomic<bool> running{true};
  std::atomic<long> blocks{0}, missed{0};
  std::atomic<double> worstWait{0.0};
  std::thread audio([&] {
    auto* mutex = reinterpret_cast<pthread_mutex_t*>(h.plug->GetMutex());
    const auto period = std::chrono::nanoseconds((long long)(kBlock * 1e9 / kRate));
    Clock::time_point deadline = Clock::now() + period;
    while (running.load()) {
      if (blocks.load() % 40 == 0) h.midi(h.heldNotes(true)); // the loads stop the notes: play them again
      const Clock::time_point t0 = Clock::now();
      pthread_mutex_lock(mutex); // recursive: the block takes it again as the adapter does
      const double wait = msSince(t0);
      h.block();
      pthread_mutex_unlock(mutex);
      if (wait > worstWait.load()) worstWait.store(wait);
      if (Clock::now() > deadline) missed.fetch_add(1);
      blocks.fetch_add(1);
      std::this_thread::sleep_until(deadline);
      deadline += period;
    }
  });
  double worst = 0.0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Clock::time_point t0 = Clock::now();
    h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data());
    const double load = msSince(t0);
    state.SetIterationTime(load / 1000.0);
    worst = std::max(worst, load);
  }
  running.store(false);
  audio.join();
  state.counters["load_worst_ms"] = worst;
  reportWorst(state, worstWait.load());
  state.counters["blocks"] = (double)blocks.load();
  state.counters["missed"] = (double)missed.load();
}
} // namespace

BENCHMARK(MidiProgramChange)->DenseRange(0, 63)->Iterations(3)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(EditorModuleReplacement)->DenseRange(0, 44)->Iterations(3)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BankLoadLockWait)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
