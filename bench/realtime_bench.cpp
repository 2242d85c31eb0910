// What structural changes cost the audio thread, at 48 kHz in blocks of 256 samples (5.33 ms each), with the
// start-up bank's heaviest program ("Full Rack Pad", program 50) playing 64 voices. The audio thread is paced
// as a host paces it: each block starts at its deadline.
//
// - MidiProgramChange/P: a MIDI Program Change to program P arrives with effProcessEvents. Its cost is the
//   time of that call plus what the block in which P takes effect takes beyond the block after it (the same
//   program and voices, nothing changing); both blocks are one sample long, so that the cost is that of the
//   change, not of rendering. "late_ms" is the longest wall time from the event to the start of the block
//   in which the program took effect.
// - EditorModuleReplacement/T: the editor replaces the voice slot 9 (a saturator in every voice) by module
//   type T. The cost is what the block that carries the replacement out takes beyond the block after it,
//   both one sample long.
// - BankLoadLockWait: the host's thread loads the start-up bank (effSetChunk of the whole bank) every 200 ms
//   while the audio thread renders. The iteration time is the load; "worst_ms" is the longest time a block
//   waited for the instance mutex, "call_worst_ms" the longest process call in wall time (the wait
//   included, as the host sees it), "missed" the blocks that ended after their deadline.
// - InitProgramLockWait: the editor's Init Program (on the benchmark's thread) of the heavy program, which the
//   host's thread puts back (effSetChunk of its program chunk) 100 ms before each, while the audio thread renders
//   as in BankLoadLockWait. The iteration time is Init Program; "worst_ms" the longest wait for the mutex.
// - LockWaitUnderLoad/editor_idle: everything at once on a machine with every core busy with other work (one
//   spinning thread a core, at normal priority): the audio thread plays the heavy program at a real-time
//   priority, sends a MIDI program change every 20 blocks and automates the voice count; the host's main
//   thread replaces a module every 10 ms (with editor_idle 1 it also runs the editor's idle calls, which
//   rebuild the panels after each replacement) and another host thread loads the bank (effSetChunk) and a
//   program (effSetProgram) every 100 ms, while the plug-in's worker (below normal priority) builds.
//   "worst_ms" is the longest time a block waited for the instance mutex: a thread that holds it runs at the
//   priority of the audio thread waiting for it, so the wait is what is left of its work under the mutex.
// - FileCommandsLockWait/commands/busy_disk: the editor's file commands on a busy disk, while the audio thread plays
//   as in BankLoadLockWait. With commands 1, on the editor's thread (the benchmark's, with the editor open headless
//   and each file dialog answered with a path) an iteration saves the bank and the current program, loads them back
//   and loads a tuning; with commands 0 it waits 100 ms instead. With busy_disk 1 another thread keeps the disk busy
//   in the same folder: it writes a 128 MiB file there in 1 MiB pieces, flushed to the disk every 16 MiB, over and
//   over. The iteration time is the round of five commands (or the wait); "call_worst_ms" is the longest process
//   call, "worst_ms" the longest wait for the mutex, "failed" the commands that ended in an error box, "disk_mb_s"
//   what the busy thread wrote. On a virtual machine the disk's work can keep even a real-time thread from its
//   processor (the wall time of a call then passes its processor time), commands or not.
//
// - MidiFlood/note_offs: a list of N note-offs (9,000 or 20,000) arrives with effProcessEvents after a list that
//   filled the queue with note-ons (8,192): what the queue cannot take evicts the latest note-on, then acts at once.
//   The cost is that of the call with the N note-offs; it grows with N, never with N times the queue.
// - BankLoad/after_change: the host's bank load (effSetChunk, on its main thread) alone (0), and right after a
//   MIDI program change it sent (1), at 768 kHz: the change is not built once per program of the bank.
// - AudioThreadHostCalls/pool: the host's parameter and program calls made on a thread that processes audio
//   (pool 0: the thread of the blocks; 1: a pool thread that processed an earlier block only) while the
//   worker builds without pause (a MIDI program change every 4 blocks, between the heavy program and
//   another) and the host's main thread loads the bank every 100 ms: getParameter, setParameter,
//   effString2Parameter, effGetParamDisplay, effGetProgram, effSetProgramName and effSetProgram. None may
//   wait for a build: "worst_ms" is the longest wall time of any of them, "<call>_ms" each one's longest.
// - SaveLockWait/call: the host saves while the audio thread renders as in BankLoadLockWait, with a table of
//   1,024 waves (16 MiB of spectra) loaded into the program in place (a wavetable program): each iteration loads a
//   new such table, then makes the call on the host's main thread: the bank chunk read (call 0), the program chunk
//   read (1), the program chunk loaded back (2), a rename (3), or the bank chunk read on a new thread each time,
//   as a background save makes it (4, with a table of 4,096 waves: the chunk of the thread before, 64 MiB and
//   more, is let go). The iteration time is the call; "worst_ms" the longest wait for the mutex, which the
//   table's size must not lengthen.
// - AudioThreadChunk/bank: a MIDI program change arrives (between the heavy program and another), its build gets
//   ready, and before the block that reaches it the host asks on the audio thread for the program chunk (bank 0)
//   or the bank chunk (1). The iteration time is that call; "late" counts the changes not in place at the end of
//   the block that reaches them (the call must leave the ready build alone).
//
// Costs are the audio thread's own processor time (CLOCK_THREAD_CPUTIME_ID), so that other processes on a
// shared machine do not count; "worst_wall_ms" gives the same in wall time. Each benchmark keeps its worst
// case in "worst_ms" (Google Benchmark's mean hides it). The audio thread runs at a real-time priority
// (SCHED_FIFO) where the system allows it, as hosts run theirs ("fifo" is 1 then): otherwise the plug-in's
// worker, woken by a program change, may take the processor from it in the middle of a block.
#include "../tests/support/host_thread.h"
#include "../tests/support/plugin_host.h"
#include "../tests/support/temp_dir.h"
#include "IGraphicsLinux.h"
#include "OscWavetable.h"
#include "ProgramStage.h"
#include "Veltrane.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kHeavyProgram = 50;
constexpr int kReplacedSlot = 9;
using Clock = std::chrono::steady_clock;
const auto kPeriod = std::chrono::nanoseconds((long long)(kBlock * 1e9 / kRate));

double msSince(Clock::time_point t0)
{
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The calling thread's processor time, in milliseconds.
double cpuMs()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// How long one audio-thread call took: processor time and wall time (ms).
struct Took
{
  double cpu = 0.0, wall = 0.0;
  Clock::time_point start;
};

template <class Call> Took timed(Call call)
{
  const double c0 = cpuMs();
  const Clock::time_point t0 = Clock::now();
  call();
  return {cpuMs() - c0, msSince(t0), t0};
}

// The calling thread at a real-time priority while this lives, where the system allows it.
struct AudioPriority
{
  int policy = SCHED_OTHER;
  sched_param was{};
  bool raised = false;
  AudioPriority()
  {
    pthread_getschedparam(pthread_self(), &policy, &was);
    sched_param fifo{};
    fifo.sched_priority = 70;
    raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) == 0;
  }
  ~AudioPriority()
  {
    if (raised) pthread_setschedparam(pthread_self(), policy, &was);
  }
  void report(benchmark::State& state) const { state.counters["fifo"] = raised ? 1.0 : 0.0; }
};

struct Host
{
  AEffect* e = nullptr;
  Veltrane* plug = nullptr;
  std::vector<float> inL = std::vector<float>(kBlock), inR = std::vector<float>(kBlock),
                     outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);
  Clock::time_point deadline = Clock::now();

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

  // MIDI messages (status, data 1, data 2) at the start of the next block.
  Took midi(const std::vector<std::array<int, 3>>& messages)
  {
    HostEvents events((int)messages.size());
    for (const std::array<int, 3>& m : messages) events.add(0, m[0], m[1], m[2]);
    return timed([&] { events.send(e); });
  }

  // Waits for the next block's deadline (the one after it is a period later).
  void waitForDeadline()
  {
    std::this_thread::sleep_until(deadline);
    deadline = std::max(deadline + kPeriod, Clock::now());
  }

  Took process(int frames)
  {
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    return timed([&] { e->processReplacing(e, ins, outs, frames); });
  }

  // One block at its deadline.
  Took block(int frames = kBlock)
  {
    waitForDeadline();
    return process(frames);
  }

  std::vector<std::array<int, 3>> heldNotes() const
  {
    std::vector<std::array<int, 3>> notes;
    for (int n = 0; n < 64; ++n) notes.push_back({0x90, 30 + n, 100});
    return notes;
  }

  // From the host's main thread: on a thread that processes audio the change would be built aside.
  template <class Call> void onMainThread(Call call) { std::thread(call).join(); }
  void setProgram(int program)
  {
    onMainThread([this, program] { dispatch(effSetProgram, 0, program); });
  }

  // The heavy program, freshly loaded, with 64 voices sounding.
  void playHeavyProgram()
  {
    setProgram(kHeavyProgram);
    midi(heldNotes());
    for (int b = 0; b < 8; ++b) block();
  }

  // Whether a change handed to the plug-in has taken effect: a MIDI program change is built off the audio
  // thread and taken over at a block's start; an editor command is carried out at a block's start.
  bool changeDone() const
  {
    return !plug->stage->pending() && plug->commandHead.load() == plug->commandTail.load();
  }
  // Whether the next block will carry a change out.
  bool changeDue() const
  {
    return plug->stage->readyToTake() || plug->commandHead.load() != plug->commandTail.load();
  }

  // Blocks until the change is due, then the one-sample block that carries it out: its cost beyond the
  // one-sample block after it. *start: when the block that carried it out began. False when a whole block
  // carried it out (it became due just after the test): nothing was measured.
  bool blocksUntilDone(Clock::time_point* start, Took* cost)
  {
    Took swap;
    for (int blocks = 0; blocks < 100000; ++blocks) {
      waitForDeadline();
      if (!changeDue()) {
        process(kBlock);
        if (changeDone()) return false;
        continue;
      }
      swap = process(1);
      *start = swap.start;
      if (changeDone()) break;
    }
    const Took steady = block(1);
    *cost = {std::max(0.0, swap.cpu - steady.cpu), std::max(0.0, swap.wall - steady.wall), swap.start};
    return true;
  }
};

struct Worst
{
  double cpu = 0.0, wall = 0.0;
  void add(const Took& t)
  {
    cpu = std::max(cpu, t.cpu);
    wall = std::max(wall, t.wall);
  }
  void report(benchmark::State& state) const
  {
    state.counters["worst_ms"] = cpu;
    state.counters["worst_wall_ms"] = wall;
  }
};

void MidiProgramChange(benchmark::State& state)
{
  const int program = (int)state.range(0);
  Host h;
  const AudioPriority audio; // after the plug-in's worker started: it must not take the priority over
  Worst worst;
  double late = 0.0;
  for (auto _ : state) {
    Took events, swap;
    Clock::time_point sent, end;
    do {
      h.playHeavyProgram();
      h.block(); // the event arrives right after a block, as a host sends it before the next
      sent = Clock::now();
      events = h.midi({{0xC0, program, 0}});
    } while (!h.blocksUntilDone(&end, &swap));
    const Took cost{events.cpu + swap.cpu, events.wall + swap.wall, swap.start};
    state.SetIterationTime(cost.cpu / 1000.0);
    worst.add(cost);
    late = std::max(late, std::chrono::duration<double, std::milli>(end - sent).count());
  }
  worst.report(state);
  audio.report(state);
  state.counters["late_ms"] = late;
}

void MidiFlood(benchmark::State& state)
{
  const int noteOffs = (int)state.range(0);
  Host h;
  std::vector<std::array<int, 3>> ons, offs;
  for (int i = 0; i < Synth::kMidiQueueRoom; ++i) ons.push_back({0x90, 30 + i % 64, 100});
  for (int i = 0; i < noteOffs; ++i) offs.push_back({0x80, 30 + i % 64, 0});
  Worst worst;
  for (auto _ : state) {
    h.block();
    h.midi(ons);
    const Took cost = h.midi(offs);
    state.SetIterationTime(cost.cpu / 1000.0);
    worst.add(cost);
    for (int b = 0; b < 4; ++b) h.block();
  }
  worst.report(state);
}

void EditorModuleReplacement(benchmark::State& state)
{
  const int type = (int)state.range(0);
  Host h;
  const AudioPriority audio;
  Worst worst;
  for (auto _ : state) {
    Took cost;
    Clock::time_point end;
    do {
      h.playHeavyProgram();
      h.plug->postCommand(Veltrane::kCommandReplace, kReplacedSlot, type);
    } while (!h.blocksUntilDone(&end, &cost));
    state.SetIterationTime(cost.cpu / 1000.0);
    worst.add(cost);
  }
  worst.report(state);
  audio.report(state);
}

// The audio thread of the lock-wait benchmarks: blocks at their deadlines at a real-time priority, each
// timing its wait for the instance mutex and the whole process call as the host sees it (the wait and the
// block); perBlock(b) runs before block b (MIDI, automation).
class LockWaitAudio
{
public:
  template <class PerBlock>
  LockWaitAudio(Host& h, PerBlock perBlock)
      : thread([this, &h, perBlock] {
          const AudioPriority priority;
          fifo.store(priority.raised);
          auto* mutex = reinterpret_cast<pthread_mutex_t*>(h.plug->GetMutex());
          h.deadline = Clock::now();
          for (long b = 0; running.load(); ++b) {
            if (b % 40 == 0) h.midi(h.heldNotes()); // the loads stop the notes: play them again
            perBlock(b);
            std::this_thread::sleep_until(h.deadline);
            const Clock::time_point due = h.deadline + kPeriod;
            const Clock::time_point t0 = Clock::now();
            pthread_mutex_lock(mutex); // recursive: the block takes it again, as the adapter does
            const double wait = msSince(t0);
            h.deadline = Clock::now(); // block() sleeps no more
            const Took took = h.block();
            pthread_mutex_unlock(mutex);
            worstWait = std::max(worstWait, wait);
            worstCall = std::max(worstCall, wait + took.wall);
            missed += Clock::now() > due;
            ++blocks;
            h.deadline = due;
          }
        })
  {
  }
  // Stops it and reports its counters.
  void stop(benchmark::State& state)
  {
    running.store(false);
    thread.join();
    state.counters["worst_ms"] = worstWait;
    state.counters["call_worst_ms"] = worstCall;
    state.counters["blocks"] = (double)blocks;
    state.counters["missed"] = (double)missed;
    state.counters["fifo"] = fifo.load() ? 1.0 : 0.0;
  }

private:
  std::atomic<bool> running{true}, fifo{false};
  long blocks = 0, missed = 0;             // the audio thread's until it is joined
  double worstWait = 0.0, worstCall = 0.0; // ms: the wait for the mutex, and the whole call, wait included
  std::thread thread;
};

std::vector<unsigned char> bankOf(Host& h)
{
  void* data = nullptr;
  const VstIntPtr size = h.dispatch(effGetChunk, 0, 0, &data);
  return std::vector<unsigned char>((unsigned char*)data, (unsigned char*)data + size);
}

void BankLoadLockWait(benchmark::State& state)
{
  Host h;
  h.playHeavyProgram();
  const std::vector<unsigned char> bank = bankOf(h);
  LockWaitAudio audio(h, [](long) {});
  double worstLoad = 0.0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Clock::time_point t0 = Clock::now();
    h.onMainThread([&] { h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data()); });
    const double load = msSince(t0);
    state.SetIterationTime(load / 1000.0);
    worstLoad = std::max(worstLoad, load);
  }
  audio.stop(state);
  state.counters["load_worst_ms"] = worstLoad;
}

void InitProgramLockWait(benchmark::State& state)
{
  Host h;
  h.playHeavyProgram();
  h.plug->editorThread = std::this_thread::get_id();
  std::vector<unsigned char> heavy;
  h.onMainThread([&] {
    void* data = nullptr;
    const VstIntPtr size = h.dispatch(effGetChunk, 1, 0, &data);
    heavy.assign((unsigned char*)data, (unsigned char*)data + size);
  });
  LockWaitAudio audio(h, [](long) {});
  for (auto _ : state) {
    h.onMainThread([&] { h.dispatch(effSetChunk, 1, (VstIntPtr)heavy.size(), heavy.data()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Clock::time_point t0 = Clock::now();
    h.plug->initPreset();
    state.SetIterationTime(msSince(t0) / 1000.0);
  }
  audio.stop(state);
}

void BankLoad(benchmark::State& state)
{
  const bool afterChange = state.range(0) != 0;
  Host h;
  h.dispatch(effSetSampleRate, 0, 0, nullptr, 768000.0f);
  h.dispatch(effMainsChanged, 0, 1);
  const std::vector<unsigned char> bank = bankOf(h);
  for (auto _ : state) {
    h.process(kBlock);
    if (afterChange) h.midi({{0xC0, kHeavyProgram, 0}});
    double took = 0.0;
    h.onMainThread([&] {
      const Clock::time_point t0 = Clock::now();
      h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data());
      took = msSince(t0);
    });
    state.SetIterationTime(took / 1000.0);
    h.plug->stage->waitUntilReady();
  }
}

void LockWaitUnderLoad(benchmark::State& state)
{
  Host h;
  h.playHeavyProgram();
  const std::vector<unsigned char> bank = bankOf(h);
  std::atomic<bool> running{true};
  std::vector<std::thread> busy;
  for (unsigned c = 0; c < std::max(1u, std::thread::hardware_concurrency()); ++c)
    busy.emplace_back([&] {
      volatile double x = 1.0;
      while (running.load(std::memory_order_relaxed)) x = x * 1.0000001 + 1e-9;
    });
  LockWaitAudio audio(h, [&h](long b) {
    if (b % 20 == 10) h.midi({{0xC0, (int)(b / 20 % 2 ? kHeavyProgram : 14), 0}});
    if (b % 20 == 5) h.e->setParameter(h.e, Veltrane::kParamVoices, b / 20 % 2 ? 0.9f : 1.0f);
  });
  const bool editorIdles = state.range(0) != 0;
  std::thread editor([&] { // the host's main thread
    h.plug->editorThread = std::this_thread::get_id();
    if (editorIdles) h.plug->GetGUI()->OpenWindow(nullptr);
    for (int n = 0; running.load(); ++n) {
      h.plug->postCommand(Veltrane::kCommandReplace, kReplacedSlot, n % 2 ? 20 : 21);
      for (int idle = 0; idle < 10; ++idle) {
        if (editorIdles) h.plug->OnIdle(); // which rebuilds the panels after each replacement
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    if (editorIdles) h.plug->GetGUI()->CloseWindow();
  });
  double worstLoad = 0.0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Clock::time_point t0 = Clock::now();
    h.onMainThread([&] {
      h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data());
      h.dispatch(effSetProgram, 0, kHeavyProgram);
    });
    const double load = msSince(t0);
    state.SetIterationTime(load / 1000.0);
    worstLoad = std::max(worstLoad, load);
  }
  audio.stop(state);
  running.store(false);
  editor.join();
  for (std::thread& t : busy) t.join();
  state.counters["load_worst_ms"] = worstLoad;
}

// Keeps the disk busy while it lives: writes a 128 MiB file over and over in 1 MiB pieces, flushed to the
// disk every 16 MiB, so that the saves' own flushes and renames queue behind it.
class BusyDisk
{
public:
  explicit BusyDisk(const std::string& path)
      : start(Clock::now()), thread([this, path] {
          const std::vector<char> piece(1 << 20, 'x');
          while (running.load()) {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0) return;
            for (int i = 0; i < 128 && running.load(); ++i) {
              if (write(fd, piece.data(), piece.size()) != (ssize_t)piece.size()) break;
              written += piece.size();
              if (i % 16 == 15) fsync(fd);
            }
            close(fd);
          }
        })
  {
  }
  ~BusyDisk() { end(); }
  // Stops it and reports how fast it wrote.
  void stop(benchmark::State& state)
  {
    end();
    state.counters["disk_mb_s"] = (double)written / (1 << 20) / (msSince(start) / 1000.0);
  }

private:
  void end()
  {
    running.store(false);
    if (thread.joinable()) thread.join();
  }
  std::atomic<bool> running{true};
  size_t written = 0; // bytes, the thread's until it is joined
  Clock::time_point start;
  std::thread thread;
};

void FileCommandsLockWait(benchmark::State& state)
{
  const TempDir folder;
  if (folder.dir().empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string bankFile = folder.path("bench.fxb"), programFile = folder.path("bench.fxp");
  // Twelve equal steps of 100 cents: a tuning of the kind users load.
  std::string scl = "! bench.scl\nTwelve equal steps\n12\n!\n";
  for (int step = 1; step <= 12; ++step) scl += std::to_string(step * 100) + ".0\n";
  const std::string tuningFile = folder.write("bench.scl", scl);
  Host h; // made on this thread: it is the editor's
  IGraphicsLinux* gui = h.plug->graphics;
  gui->OpenWindow(nullptr); // the file commands show their prompts only with the editor open
  h.playHeavyProgram();
  const bool commands = state.range(0) != 0;
  std::unique_ptr<BusyDisk> disk(state.range(1) ? new BusyDisk(folder.path("busy.bin")) : nullptr);
  LockWaitAudio audio(h, [](long) {});
  const struct
  {
    File::Command command;
    const std::string& path;
  } round[] = {{File::kSaveBank, bankFile},
               {File::kSaveProgram, programFile},
               {File::kLoadBank, bankFile},
               {File::kLoadProgram, programFile},
               {File::kLoadTuning, tuningFile}};
  int failed = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    if (commands) {
      for (const auto& step : round) {
        const int boxes = gui->NMessageBoxes();
        gui->ScriptFilePrompt(step.path.c_str());
        h.plug->runFileCommand(step.command);
        failed += gui->NMessageBoxes() != boxes;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    state.SetIterationTime(msSince(t0) / 1000.0);
  }
  audio.stop(state);
  if (disk) disk->stop(state);
  gui->CloseWindow();
  state.counters["failed"] = failed;
}

void AudioThreadHostCalls(benchmark::State& state)
{
  const bool pool = state.range(0) != 0;
  Host h;
  h.playHeavyProgram();
  const std::vector<unsigned char> bank = bankOf(h);
  HostThread other; // the pool thread, real-time as the host's pool is
  std::unique_ptr<AudioPriority> otherPriority;
  if (pool) other.call([&] {
      otherPriority = std::make_unique<AudioPriority>();
      h.process(kBlock);
    });
  std::atomic<bool> running{true};
  std::thread loads([&] { // the host's main thread
    while (running.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data());
    }
  });
  const AudioPriority audio;
  const char* const names[] = {"getParameter",  "setParameter",   "effString2Parameter", "effGetParamDisplay",
                               "effGetProgram", "effSetProgramName", "effSetProgram"};
  double worstCall[7] = {};
  double worst = 0.0;
  long n = 0;
  for (auto _ : state) {
    double slowest = 0.0;
    for (int b = 0; b < 4; ++b, ++n) {
      if (b == 0) h.midi({{0xC0, n / 4 % 2 ? kHeavyProgram : 14, 0}});
      h.block();
    }
    const auto calls = [&] {
      char text[64] = "LP 24";
      const std::function<void()> call[] = {
          [&] { h.e->getParameter(h.e, Veltrane::kParamVolume); },
          [&] { h.e->setParameter(h.e, Veltrane::kParamVolume, 0.5f); },
          [&] { h.dispatch(effString2Parameter, 16, 0, text); },
          [&] { h.dispatch(effGetParamDisplay, 16, 0, text); },
          [&] { h.dispatch(effGetProgram); },
          [&] { h.dispatch(effSetProgramName, 0, 0, (void*)"Named"); },
          [&] { h.dispatch(effSetProgram, 0, n / 4 % 2 ? 14 : kHeavyProgram); },
      };
      for (int c = 0; c < 7; ++c) {
        const Took t = timed(call[c]);
        worstCall[c] = std::max(worstCall[c], t.wall);
        slowest = std::max(slowest, t.wall);
      }
    };
    if (pool)
      other.call(calls);
    else
      calls();
    worst = std::max(worst, slowest);
    state.SetIterationTime(slowest / 1000.0);
  }
  running.store(false);
  loads.join();
  if (pool) other.call([&] { otherPriority.reset(); });
  state.counters["worst_ms"] = worst;
  for (int c = 0; c < 7; ++c) state.counters[std::string(names[c]) + "_ms"] = worstCall[c];
  audio.report(state);
}

void AudioThreadChunk(benchmark::State& state)
{
  const bool bank = state.range(0) != 0;
  Host h;
  h.playHeavyProgram();
  const AudioPriority audio;
  Worst worst;
  int late = 0;
  long n = 0;
  for (auto _ : state) {
    h.midi({{0xC0, n++ % 2 ? kHeavyProgram : 14, 0}});
    while (!h.plug->stage->readyToTake()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    void* chunk = nullptr;
    const Took call = timed([&] { h.dispatch(effGetChunk, bank ? 0 : 1, 0, &chunk); });
    h.block();
    late += h.plug->stage->pending();
    while (h.plug->stage->pending()) h.block();
    state.SetIterationTime(call.cpu / 1000.0);
    worst.add(call);
  }
  worst.report(state);
  audio.report(state);
  state.counters["late"] = late;
}

void SaveLockWait(benchmark::State& state)
{
  const int call = (int)state.range(0);
  const int kWaves = call == 4 ? 4096 : 1024;
  Host h;
  h.setProgram(8); // a wavetable program
  int slot = 0;
  while (slot < Veltrane::kNumSlots && h.plug->slotConfig[slot].moduleID != ModuleConfig::MOD_OSCWAVETABLE) ++slot;
  if (slot == Veltrane::kNumSlots) {
    state.SkipWithError("no wavetable oscillator in program 8");
    return;
  }
  std::vector<double> waves((size_t)kWaves * 2048);
  std::vector<unsigned char> program;
  LockWaitAudio audio(h, [](long) {});
  long n = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < waves.size(); ++i) waves[i] = std::sin((double)i * (1 + n % 7) * 0.0031);
    OscWavetable::setWavetable(h.plug, slot, waves.data(), kWaves, ("table " + std::to_string(n++)).c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double took = 0.0;
    const auto save = [&] {
      void* data = nullptr;
      const Clock::time_point t0 = Clock::now();
      if (call == 0 || call == 1 || call == 4) {
        const VstIntPtr size = h.dispatch(effGetChunk, call % 4, 0, &data);
        if (call == 1 && program.empty()) program.assign((unsigned char*)data, (unsigned char*)data + size);
      } else if (call == 2) {
        if (program.empty()) {
          const VstIntPtr size = h.dispatch(effGetChunk, 1, 0, &data);
          program.assign((unsigned char*)data, (unsigned char*)data + size);
        }
        h.dispatch(effSetChunk, 1, (VstIntPtr)program.size(), program.data());
      } else {
        h.dispatch(effSetProgramName, 0, 0, (void*)"Renamed");
      }
      took = msSince(t0);
    };
    if (call == 4)
      std::thread(save).join();
    else
      h.onMainThread(save);
    state.SetIterationTime(took / 1000.0);
  }
  audio.stop(state);
}
} // namespace

BENCHMARK(MidiProgramChange)->DenseRange(0, 63)->Iterations(3)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(EditorModuleReplacement)->DenseRange(0, 44)->Iterations(3)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(MidiFlood)->ArgName("note_offs")->Arg(9000)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BankLoadLockWait)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InitProgramLockWait)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BankLoad)->ArgName("after_change")->DenseRange(0, 1)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LockWaitUnderLoad)->ArgName("editor_idle")->DenseRange(0, 1)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FileCommandsLockWait)->ArgNames({"commands", "busy_disk"})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(AudioThreadHostCalls)->ArgName("pool")->DenseRange(0, 1)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(AudioThreadChunk)->ArgName("bank")->DenseRange(0, 1)->Iterations(20)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveLockWait)->ArgName("call")->DenseRange(0, 4)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
