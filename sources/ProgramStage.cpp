#include "ProgramStage.h"

#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "Veltrane.h"

#include <chrono>
#include <cstring>
#include <system_error>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Whether request count a comes after b (both wrap).
bool later(unsigned a, unsigned b)
{
  return (int)(a - b) > 0;
}

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

// The process's stages. Never destroyed (the lock lives in static storage, the rest is constant-initialised):
// a stage may be closed after the exit handlers have run.
WDL_Mutex& stagesLock()
{
  static WDL_LastingMutex lock;
  return lock.Get();
}
ProgramStage* gStages = nullptr;
// At exit or unloading: no worker starts any more. Read without the list's lock: a thread that starts a worker
// may hold an instance mutex, which the workers being stopped may need.
std::atomic<bool> gWorkersStopped{false};

// Stops the workers when the process exits or the library is unloaded with instances open. Made after every
// shared table a build uses (see armStopAtExit), so that it is destroyed, and the workers stopped, before
// any of them.
struct StopWorkersAtExit
{
  ~StopWorkersAtExit() { ProgramStage::stopAllWorkers(); }
};

// The shared tables the module types make on first use (wave tables, per-rate tables, the delay memory's
// reclaimer), made now by making one module of every type, outside any instance (no instance's seeds
// advance).
void makeSharedTables()
{
  for (int id = ModuleConfig::MOD_EMPTY + 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    ModuleConfig config;
    ModuleCatalogue::declare(&config, (ModuleConfig::ModuleID)id);
    config.master = 1;
    std::unique_ptr<Module> m(config.createModule(nullptr));
    if (m) m->setSampleRate(44100.0);
  }
}

// Before the first worker of the process starts (any thread but the audio thread).
void armStopAtExit()
{
  // Function statics are destroyed in the reverse order of their making: the tables made in the
  // initialiser outlive this object.
  static const StopWorkersAtExit stop = (makeSharedTables(), StopWorkersAtExit());
  (void)stop;
}
} // namespace

bool ProgramStage::Basis::operator==(const Basis& other) const
{
  return sampleRate == other.sampleRate && customTuning == other.customTuning &&
         !std::memcmp(tuning, other.tuning, sizeof(tuning));
}

ProgramStage::ProgramStage(Veltrane& live) : live(live)
{
  sem_init(&wakeWorker, 0, 0);
  std::lock_guard<WDL_Mutex> hold(stagesLock());
  nextStage = gStages;
  if (gStages) gStages->previousStage = this;
  gStages = this;
}

ProgramStage::~ProgramStage()
{
  {
    std::lock_guard<WDL_Mutex> hold(stagesLock());
    if (previousStage) previousStage->nextStage = nextStage;
    if (nextStage) nextStage->previousStage = previousStage;
    if (gStages == this) gStages = nextStage;
  }
  stopWorker();
  sem_destroy(&wakeWorker);
}

void ProgramStage::stopWorker()
{
  // The worker is joined without workerStart held: it may wait for an instance mutex whose holder is about to
  // ask for workerStart (a reset starting a worker).
  std::thread ending;
  {
    std::lock_guard<WDL_Mutex> hold(workerStart);
    stopping.store(true);
    ending = std::move(worker);
  }
  wake();
  if (ending.joinable()) ending.join();
  workerRunning.store(false, std::memory_order_release);
}

void ProgramStage::stopAllWorkers()
{
  std::lock_guard<WDL_Mutex> hold(stagesLock());
  gWorkersStopped.store(true);
  for (ProgramStage* s = gStages; s; s = s->nextStage) s->stopWorker();
}

ProgramStage::Basis ProgramStage::basisOf(const Veltrane& v) const
{
  Basis b;
  b.sampleRate = v.GetSampleRate();
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
  b.customTuning = requestedCustomTuning.load(std::memory_order_relaxed);
  for (int n = 0; n < 128; ++n) b.tuning[n] = requestedTuning[n].load(std::memory_order_relaxed);
  return b;
}

// ---- builds on the caller's thread ----

bool ProgramStage::hold(bool mayWait, bool keepBuild)
{
  // Holding it already: a load within a load (nothing here does that) is done in place.
  if (mutex.HeldByCaller()) return false;
  if (!mayWait || live.GetMutex()->HeldByCaller()) {
    if (!mutex.TryEnter()) return false;
  } else {
    mutex.Enter();
  }
  // The worker sets a build ready only while it holds the stage: what this reads stays so until it lets go.
  if (keepBuild && ready.load(std::memory_order_acquire) != kNone) {
    mutex.Leave();
    return false;
  }
  dropReady();
  built = false;
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
  builds.fetch_add(1, std::memory_order_relaxed);
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
  return true;
}

void ProgramStage::holdBuilds(bool hold)
{
  if (hold) {
    buildsHeld.fetch_add(1, std::memory_order_acq_rel);
  } else if (buildsHeld.fetch_sub(1, std::memory_order_acq_rel) == 1 && pending()) {
    nudge();
  }
}

void ProgramStage::markDone(unsigned seq)
{
  advance(doneSeq, seq);
  advance(leftSeq, seq);
}

void ProgramStage::supersede(unsigned upTo)
{
  markDone(upTo);
}

int ProgramStage::pendingProgram() const
{
  // The count first: a request made after it shows its program as well, which is the later one.
  const unsigned seq = requestSeq.load(std::memory_order_acquire);
  const int program = requested.load(std::memory_order_acquire);
  return seq != doneSeq.load(std::memory_order_acquire) ? program : -1;
}

void ProgramStage::latestRequest(unsigned* seq, int* program, Basis* forBasis)
{
  do { // the latest request's program and basis, read whole
    *seq = requestSeq.load(std::memory_order_acquire);
    *program = requested.load(std::memory_order_relaxed);
    if (forBasis) *forBasis = requestedBasis();
  } while (*seq != requestSeq.load(std::memory_order_acquire));
}

void ProgramStage::end()
{
  if (!mutex.HeldByCaller()) return;
  built = false;
  if (engine) engine->releaseModules();
  mutex.Leave();
  if (pending()) nudge(); // a MIDI program change waits, and its build may have been dropped
}

int ProgramStage::normalize(const ByteChunk* chunk, int pos, ByteChunk* out, bool mayWait,
                            const IPlugBase::HostSet* sets, int nSets, bool keepBuild, bool emptied)
{
  if (!hold(mayWait, keepBuild)) return IPlugBase::kNotPrepared;
  // What a state writes does not depend on the live basis (no modules are made): the live mutex, which a
  // bank's 64 programs would take 64 times, is left alone.
  if (!engine) engine = Veltrane::makeStage(live);
  Veltrane& e = *engine;
  e.stateOnly = true; // no modules: the state is only read to be written again
  int end = e.UnserializeState(const_cast<ByteChunk*>(chunk), pos);
  // The host's values go on as the live program takes them: a text is read in this program's lists.
  for (int i = 0; end > 0 && i < nSets; ++i) {
    IParam* param = e.GetParam(sets[i].paramIdx);
    double value;
    if (!param) continue;
    if (!sets[i].text)
      param->SetNormalized(sets[i].value);
    else if (param->ParseHostText(sets[i].text, &value))
      param->Set(value);
  }
  if (end > 0 && emptied) e.emptyProgram();
  if (end > 0 && !e.SerializeState(out)) end = -1;
  e.stateOnly = false;
  mutex.Leave();
  if (pending()) nudge();
  return end;
}

// ---- MIDI program changes ----

void ProgramStage::startWorker()
{
  if (hasWorker()) return;
  armStopAtExit();
  if (gWorkersStopped.load()) return; // the process is ending
  // stopAllWorkers stops this stage too (stopping, under workerStart) should it run from here on.
  std::lock_guard<WDL_Mutex> hold(workerStart);
  if (worker.joinable() || stopping.load()) return;
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
  requestedCustomTuning.store(live.customTuningOn, std::memory_order_relaxed);
  for (int n = 0; n < 128; ++n) requestedTuning[n].store(live.tuningTable[n], std::memory_order_relaxed);
}

void ProgramStage::request(int program, bool leftToAudioLoop)
{
  publishBasis();
  requested.store(program, std::memory_order_release);
  const unsigned seq = requestSeq.fetch_add(1, std::memory_order_acq_rel) + 1;
  if (leftToAudioLoop) {
    advance(leftSeq, seq); // the worker builds none of it, nor what came before
    return;
  }
  nudge();
}

bool ProgramStage::takeReady(unsigned upTo)
{
  int state = kReady;
  // A build of a change whose place in the MIDI stream the audio loop has not reached waits: the events
  // before it act on the program in place.
  if (ready.load(std::memory_order_acquire) != kReady || later(readySeq, upTo) ||
      !ready.compare_exchange_strong(state, kTaking, std::memory_order_acq_rel))
    return false;
  // A request done with meanwhile (a load came after it), a live engine that changed since the build began,
  // or a slot that took another state since it was copied: the worker builds the latest request, if one is
  // pending, for the engine and the slot as they are now. A later request does not refuse it: this one lands,
  // and the latest is built next.
  const bool current = later(readySeq, doneSeq.load(std::memory_order_acquire));
  if (!current || !(basisOf(live) == basis) || live.PresetStored(readyProgram) != readyStored) {
    if (current) publishBasis();
    ready.store(kLeft, std::memory_order_release);
    nudge();
    return false;
  }
  live.takeProgramFrom(*engine);
  live.programTaken(readyProgram, readySeq, readyStored);
  markDone(readySeq);
  ready.store(kLeft, std::memory_order_release); // the replaced patch, for the worker to free
  nudge();
  return true;
}

bool ProgramStage::willLand(unsigned seq) const
{
  if (!later(seq, doneSeq.load(std::memory_order_acquire))) return false;
  if (seq == requestSeq.load(std::memory_order_acquire)) return true;
  if (building.load(std::memory_order_acquire) && buildingSeq.load(std::memory_order_acquire) == seq) return true;
  return ready.load(std::memory_order_acquire) == kReady && readySeq == seq;
}

bool ProgramStage::readyToTake() const
{
  return ready.load(std::memory_order_acquire) == kReady && later(readySeq, doneSeq.load(std::memory_order_acquire));
}

bool ProgramStage::settle(int timeoutMs)
{
  const unsigned target = requestSeq.load(std::memory_order_acquire);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (later(target, doneSeq.load(std::memory_order_acquire))) {
    if (readyToTake()) {
      WDL_MutexLock lock(live.GetMutex());
      if (takeReady()) continue;
    }
    // Nobody builds it: no worker, a change left to the audio loop, or a worker that does not get the processor.
    if (!hasWorker() || !later(target, leftSeq.load(std::memory_order_acquire)) ||
        std::chrono::steady_clock::now() > deadline)
      return false;
    wake(); // a lost wake costs a poll, not the wait
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

void ProgramStage::buildHere()
{
  unsigned seq;
  int program;
  latestRequest(&seq, &program);
  buildHere(seq, program);
}

void ProgramStage::buildHere(unsigned seq, int program)
{
  if (!later(seq, doneSeq.load(std::memory_order_acquire))) return;
  advance(leftSeq, seq); // the worker stops its build of it between slots and lets the stage go

  for (int attempt = 0; attempt < IPlugBase::kPrepareAttempts && live.buildsAside(); ++attempt) {
    ByteChunk state(ByteChunk::kKeepsRuns); // the slot's tables by reference: the build takes them as they are
    unsigned stored = 0;
    if (!live.CopyPresetState(program, &state, &stored) || !hold()) break;
    const int built = build(&state, 0);
    bool taken = false;
    {
      WDL_MutexLock lock(live.GetMutex());
      if (!later(seq, doneSeq.load(std::memory_order_acquire))) {
        taken = true; // put in place meanwhile (a build the worker had finished), or a load came after it
      } else if (built < 1) {
        markDone(seq); // a program that cannot be read: the live one stays
        taken = true;
      } else if (basisOf(live) == basis && live.PresetStored(program) == stored) {
        live.takeProgramFrom(*engine);
        this->built = false;
        live.programTaken(program, seq, stored);
        markDone(seq);
        taken = true;
      }
    }
    end();
    if (taken) return;
  }
  // The stage cannot be had, the live engine or the slot keeps changing under the build, or the slot holds
  // no program: in place, from what the slot holds now.
  WDL_MutexLock lock(live.GetMutex());
  if (!later(seq, doneSeq.load(std::memory_order_acquire))) return;
  live.putProgramInPlace(program, seq);
  markDone(seq);
}

bool ProgramStage::waitUntilReady(int timeoutMs)
{
  startWorker();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pending() && !readyToTake()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void ProgramStage::nudge()
{
  nudged.store(true);
  if (asleep.load()) wake(); // asleep for good: the one system call
}

void ProgramStage::work()
{
  lowerWorkerPriority();
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastWork = Clock::now();
  for (;;) {
    bool woken = nudged.exchange(false);
    if (!woken && Clock::now() - lastWork < std::chrono::milliseconds(kAwakeMs)) {
      // Lately at work: looks again every kLookMs for what the audio thread asks of it without a wake.
      timespec until;
      clock_gettime(CLOCK_MONOTONIC, &until);
      until.tv_nsec += kLookMs * 1000000L;
      if (until.tv_nsec >= 1000000000L) {
        until.tv_nsec -= 1000000000L;
        ++until.tv_sec;
      }
      woken = sem_clockwait(&wakeWorker, CLOCK_MONOTONIC, &until) == 0 || nudged.exchange(false);
    } else if (!woken) {
      asleep.store(true); // then the audio thread's next nudge wakes it (both sequentially consistent)
      if (!nudged.load())
        while (sem_wait(&wakeWorker) != 0) {
        }
      asleep.store(false);
      nudged.store(false);
      woken = true;
    }
    if (stopping.load()) return;
    if (!woken) continue;
    lastWork = Clock::now();
    buildRequest();
    looks.fetch_add(1, std::memory_order_release);
    live.serviceCommands();
    SharedBytes::FreeReleased(); // tables a replaced patch let go of
  }
}

void ProgramStage::buildRequest()
{
  // A build that waits for the audio thread lands first, whatever came since (taking it wakes the worker).
  if (ready.load(std::memory_order_acquire) == kTaking || readyToTake()) return;
  // While builds are held (a bank read program by program) the stage is left to the reader; the worker is
  // woken again when the bank is in place.
  if (buildsHeld.load(std::memory_order_acquire) > 0) return;
  WDL_MutexLock holding(&mutex); // the worker holds nothing else: it may wait for another build
  dropReady();                    // frees a patch the audio thread left, or an outdated build
  if (buildsHeld.load(std::memory_order_acquire) > 0) return;
  unsigned seq;
  int program;
  Basis forBasis;
  latestRequest(&seq, &program, &forBasis);
  // Done with, or a thread that settles it builds it itself.
  if (!later(seq, leftSeq.load(std::memory_order_acquire))) return;

  // The program's state, copied under the programs' lock (its tables by reference, which the build takes as they
  // are): the live mutex is the audio thread's.
  ByteChunk state(ByteChunk::kKeepsRuns);
  unsigned stored = 0;
  if (!live.CopyPresetState(program, &state, &stored)) {
    // A slot that holds no program takes the live state, which changes nothing to build (a moment under the
    // live mutex); one that took a program since is built at the next look, never loaded here in place.
    WDL_MutexLock lock(live.GetMutex());
    if (!later(seq, doneSeq.load(std::memory_order_acquire))) return;
    if (live.IsPresetInitialized(program)) {
      nudged.store(true);
      return;
    }
    live.putProgramInPlace(program, seq);
    markDone(seq);
    return;
  }
  prepareEngine(forBasis);
  engine->abandonWhenDone = &leftSeq; // a load or a settling thread need not wait for the whole build
  engine->abandonAt = seq;
  buildingSeq.store(seq, std::memory_order_release);
  building.store(true, std::memory_order_release);
  const int end = buildPrepared(&state, 0);
  engine->abandonWhenDone = nullptr;
  built = false; // the worker's build goes to the audio thread, not to a holder's commit
  if (end < 1) {
    building.store(false, std::memory_order_release);
    engine->releaseModules();
    // A program that cannot be read: the live one stays. (A build stopped because the request was left to
    // another thread, or done with, marks nothing.)
    if (!later(seq, leftSeq.load(std::memory_order_acquire))) return;
    markDone(seq);
    return;
  }
  readySeq = seq;
  readyProgram = program;
  readyStored = stored;
  ready.store(kReady, std::memory_order_release);
  building.store(false, std::memory_order_release);
}
