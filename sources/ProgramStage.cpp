#include "ProgramStage.h"

#include "Veltrane.h"

#include <chrono>
#include <cstring>
#include <system_error>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// counter takes value when value is later (both count requests, which may wrap).
void advance(std::atomic<unsigned>& counter, unsigned value)
{
  unsigned current = counter.load(std::memory_order_acquire);
  while ((int)(value - current) > 0 &&
         !counter.compare_exchange_weak(current, value, std::memory_order_acq_rel, std::memory_order_acquire)) {
  }
}

// The worker is background work: below the host's threads, so that waking it never delays the audio
// thread of a host that runs it at normal priority (a real-time audio thread is above it anyway).
void lowerWorkerPriority()
{
  sched_param none{};
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &none);
  setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), 10);
}
} // namespace

bool ProgramStage::Basis::operator==(const Basis& other) const
{
  return sampleRate == other.sampleRate && activeVoices == other.activeVoices && customTuning == other.customTuning &&
         !std::memcmp(tuning, other.tuning, sizeof(tuning));
}

ProgramStage::ProgramStage(Veltrane& live) : live(live)
{
  sem_init(&wakeWorker, 0, 0);
}

ProgramStage::~ProgramStage()
{
  stopping.store(true);
  wake();
  if (worker.joinable()) worker.join();
  sem_destroy(&wakeWorker);
}

ProgramStage::Basis ProgramStage::basisOf(const Veltrane& v) const
{
  Basis b;
  b.sampleRate = v.GetSampleRate();
  b.activeVoices = v.activeVoices;
  b.customTuning = v.customTuningOn;
  std::memcpy(b.tuning, v.tuningTable, sizeof(b.tuning));
  return b;
}

ProgramStage::Basis ProgramStage::liveBasis()
{
  WDL_MutexLock lock(live.GetMutex());
  return basisOf(live);
}

ProgramStage::Basis ProgramStage::requestedBasis()
{
  Basis b;
  b.sampleRate = requestedRate.load(std::memory_order_relaxed);
  b.activeVoices = requestedVoices.load(std::memory_order_relaxed);
  b.customTuning = requestedCustomTuning.load(std::memory_order_relaxed);
  for (int n = 0; n < 128; ++n) b.tuning[n] = requestedTuning[n].load(std::memory_order_relaxed);
  return b;
}

// ---- builds on the caller's thread ----

bool ProgramStage::hold()
{
  // Holding it already: a load within a load (nothing here does that) is done in place.
  if (mutex.HeldByCaller()) return false;
  if (live.GetMutex()->HeldByCaller()) {
    if (!mutex.TryEnter()) return false;
  } else {
    mutex.Enter();
  }
  dropReady();
  built = false;
  seqAtHold = requestSeq.load(std::memory_order_acquire);
  return true;
}

void ProgramStage::dropReady()
{
  for (;;) {
    int state = ready.load(std::memory_order_acquire);
    if (state == kNone) return;
    if (state == kTaking) {
      // The audio thread is exchanging it (a moment; it holds the live mutex, which this caller does not).
      std::this_thread::yield();
      continue;
    }
    if (!ready.compare_exchange_weak(state, kNone, std::memory_order_acq_rel)) continue;
    if (engine) engine->releaseModules();
    return;
  }
}

void ProgramStage::prepareEngine(const Basis& forBasis)
{
  if (!engine) engine = Veltrane::makeStage(live);
  basis = forBasis;
  Veltrane& e = *engine;
  if (e.GetSampleRate() != basis.sampleRate || e.controlPeriod < 1) {
    e.SetSampleRate(basis.sampleRate);
    e.Reset();
  }
  e.activeVoices = basis.activeVoices;
  e.customTuningOn = basis.customTuning;
  std::memcpy(e.tuningTable, basis.tuning, sizeof(basis.tuning));
}

int ProgramStage::build(const ByteChunk* chunk, int pos)
{
  if (!mutex.HeldByCaller()) return -1;
  prepareEngine(liveBasis());
  return buildPrepared(chunk, pos);
}

int ProgramStage::buildPrepared(const ByteChunk* chunk, int pos)
{
  built = false;
  Veltrane& e = *engine;
  e.stateOnly = false;
  e.releaseModules();
  // The reader only reads the chunk.
  const int end = e.UnserializeState(const_cast<ByteChunk*>(chunk), pos);
  if (end < 0) {
    e.releaseModules();
    return -1;
  }
  built = true;
  return end;
}

bool ProgramStage::commit()
{
  if (!built || !mutex.HeldByCaller() || !(basisOf(live) == basis)) return false;
  live.takeProgramFrom(*engine);
  built = false;
  advance(doneSeq, seqAtHold); // MIDI program changes from before this load are done with
  return true;
}

void ProgramStage::end()
{
  if (!mutex.HeldByCaller()) return;
  built = false;
  if (engine) engine->releaseModules();
  mutex.Leave();
  if (pending()) wake(); // a MIDI program change waits, and its build may have been dropped
}

int ProgramStage::normalize(const ByteChunk* chunk, int pos, ByteChunk* out)
{
  if (!hold()) return IPlugBase::kNotPrepared;
  // What a state writes does not depend on the live basis (no modules are made): the live mutex, which a
  // bank's 64 programs would take 64 times, is left alone.
  if (!engine) engine = Veltrane::makeStage(live);
  Veltrane& e = *engine;
  e.stateOnly = true; // no modules: the state is only read to be written again
  int end = e.UnserializeState(const_cast<ByteChunk*>(chunk), pos);
  if (end > 0 && !e.SerializeState(out)) end = -1;
  e.stateOnly = false;
  mutex.Leave();
  if (pending()) wake();
  return end;
}

// ---- MIDI program changes ----

void ProgramStage::startWorker()
{
  if (hasWorker()) return;
  std::lock_guard<std::mutex> hold(workerStart);
  if (worker.joinable()) return;
  try {
    worker = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    return; // tried again at the next reset
  }
  workerRunning.store(true, std::memory_order_release);
}

void ProgramStage::publishBasis()
{
  requestedRate.store(live.GetSampleRate(), std::memory_order_relaxed);
  requestedVoices.store(live.activeVoices, std::memory_order_relaxed);
  requestedCustomTuning.store(live.customTuningOn, std::memory_order_relaxed);
  for (int n = 0; n < 128; ++n) requestedTuning[n].store(live.tuningTable[n], std::memory_order_relaxed);
}

void ProgramStage::request(int program)
{
  publishBasis();
  requested.store(program, std::memory_order_relaxed);
  requestSeq.fetch_add(1, std::memory_order_acq_rel);
  wake();
}

bool ProgramStage::takeReady()
{
  int state = kReady;
  if (ready.load(std::memory_order_acquire) != kReady ||
      !ready.compare_exchange_strong(state, kTaking, std::memory_order_acq_rel))
    return false;
  // A later request, or a live engine that changed since the build began: the worker builds again, for the
  // engine as it is now.
  if (readySeq != requestSeq.load(std::memory_order_acquire) || !(basisOf(live) == basis)) {
    publishBasis();
    ready.store(kLeft, std::memory_order_release);
    wake();
    return false;
  }
  live.takeProgramFrom(*engine);
  live.programTaken(readyProgram);
  advance(doneSeq, readySeq);
  ready.store(kLeft, std::memory_order_release); // the replaced patch, for the worker to free
  wake();
  return true;
}

bool ProgramStage::readyToTake() const
{
  return ready.load(std::memory_order_acquire) == kReady && readySeq == requestSeq.load(std::memory_order_acquire);
}

void ProgramStage::waitUntilReady()
{
  startWorker();
  while (pending() && !readyToTake()) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void ProgramStage::work()
{
  lowerWorkerPriority();
  for (;;) {
    while (sem_wait(&wakeWorker) != 0) {
    }
    if (stopping.load()) return;
    buildRequest();
    live.serviceCommands();
  }
}

void ProgramStage::buildRequest()
{
  const int now = ready.load(std::memory_order_acquire);
  if (now == kTaking || (now == kReady && readySeq == requestSeq.load(std::memory_order_acquire))) return;
  WDL_MutexLock holding(&mutex); // the worker holds nothing else: it may wait for another build
  dropReady();                    // frees a patch the audio thread left, or an outdated build
  const unsigned seq = requestSeq.load(std::memory_order_acquire);
  if (seq == doneSeq.load(std::memory_order_acquire)) return;
  const int program = requested.load(std::memory_order_relaxed);
  const Basis forBasis = requestedBasis();

  // The program's state, copied under the programs' lock: the live mutex is the audio thread's.
  ByteChunk state;
  if (!live.CopyPresetState(program, &state)) {
    // A slot that holds no program takes the live state, which changes nothing to build.
    if (live.GetPresetChunk(program)) live.RestorePreset(program);
    advance(doneSeq, seq);
    return;
  }
  prepareEngine(forBasis);
  const int end = buildPrepared(&state, 0);
  built = false; // the worker's build goes to the audio thread, not to a holder's commit
  if (end < 1) {
    engine->releaseModules();
    advance(doneSeq, seq); // a program that cannot be read: the live one stays
    return;
  }
  readySeq = seq;
  readyProgram = program;
  ready.store(kReady, std::memory_order_release);
}
