// The editor's structural commands: queued by the editor (postCommand), carried out in order by the audio
// thread at the start of its next block (handleRequestedCommand), by the editor's idle call when no block
// runs, and before anything replaces the program they were made on (RunQueuedEditorCommands). A replacement's modules
// are built by the posting thread (ModuleBatch.h); the audio thread puts them in place, and the batch, then holding
// what they replaced, is freed by the editor thread.
//
// Threads: postCommand on the editor thread (serialised by commandPostMutex; it takes the instance mutex
// only for a moment, or to carry the commands out itself when the queue is full). The queue is read under
// the instance mutex. The staging engine's worker builds a replacement's modules again when the rate or the
// tuning changed between the post and the block, so that they no longer fit.
#include "Veltrane.h"

#include "Module.h"
#include "ModuleBatch.h"
#include "ModuleCatalogue.h"
#include "ProgramStage.h"

#include <cstring>
#include <mutex>
#include <thread>

thread_local const Veltrane::TuningCopy* Veltrane::tBuildTuning = nullptr;

ModuleBatch::~ModuleBatch()
{
  delete masterModule;
  for (Module* m : voiceModules) delete m;
}

namespace {
bool validSlot(int slot)
{
  return slot >= 0 && slot < Veltrane::kNumSlots;
}
} // namespace

bool Veltrane::commandTarget(int code, int arg1, int arg2, int slotType, bool slotMaster, int* moduleID,
                             bool* master)
{
  if (!validSlot(arg1)) return false;
  switch (code) {
  case kCommandReplace:
    // A type the catalogue does not know leaves the slot's type (ModuleConfig::set ignores it).
    *moduleID = arg2 >= ModuleConfig::MOD_EMPTY && arg2 < ModuleConfig::kNumModuleIDs ? arg2 : slotType;
    *master = slotMaster;
    return true;
  case kCommandToggleMaster:
    *moduleID = slotType;
    *master = arg2 != 0;
    return true;
  default:
    return false;
  }
}

std::unique_ptr<ModuleBatch> Veltrane::buildModules(int slot, int moduleID, bool master)
{
  auto batch = std::make_unique<ModuleBatch>();
  TuningCopy tuning;
  {
    WDL_MutexLock lock(&mMutex);
    batch->sampleRate = GetSampleRate();
    tuning.custom = customTuningOn;
    std::memcpy(tuning.table, tuningTable, sizeof(tuning.table));
  }
  batch->slot = slot;
  batch->moduleID = (ModuleConfig::ModuleID)moduleID;
  batch->master = master;
  ModuleConfig& c = batch->config;
  ModuleCatalogue::declare(&c, batch->moduleID);
  c.owner = this;
  c.slot = slot;
  c.master = master ? 1 : 0;
  // What the modules read of the tuning while they are made comes from the copy (another thread may be
  // changing the live table).
  const TuningCopy* outer = tBuildTuning;
  tBuildTuning = &tuning;
  batch->referencePitch = getFrequency(48);
  if (master) {
    Module* m = c.createModule(nullptr);
    m->setSampleRate(batch->sampleRate);
    m->setFrequencySource(&masterPitch);
    batch->masterModule = m;
  } else {
    for (int v = 0; v < kNumVoices; ++v) {
      Module* m = c.createModule(&voices[v]);
      m->setSampleRate(batch->sampleRate);
      m->setFrequencySource(&voices[v].pitch);
      batch->voiceModules[v] = m;
    }
  }
  tBuildTuning = outer;
  return batch;
}

bool Veltrane::batchFits(const ModuleBatch* batch, int slot, int moduleID, bool master)
{
  return batch && !batch->used && batch->slot == slot && batch->moduleID == moduleID && batch->master == master &&
         batch->sampleRate == GetSampleRate() && batch->referencePitch == getFrequency(48);
}

void Veltrane::sweepCommandBatches()
{
  // Batches of carried-out commands hold what their replacements replaced.
  const unsigned tail = commandTail.load(std::memory_order_acquire);
  for (; batchesSwept != tail; ++batchesSwept)
    delete commandQueue[batchesSwept % kCommandQueueSize].batch.exchange(nullptr, std::memory_order_acq_rel);
}

bool Veltrane::enterPostLock(bool spin)
{
  if (!mMutex.HeldByCaller()) {
    commandPostMutex.Enter();
    return true;
  }
  while (!commandPostMutex.TryEnter()) {
    if (!spin) return false;
    std::this_thread::yield();
  }
  return true;
}

void Veltrane::postCommand(int code, int arg1, int arg2)
{
  // Also from inside a call that holds the instance mutex (a click an idle call dispatches while the host answers
  // one of ours).
  enterPostLock(true);
  std::lock_guard<WDL_Mutex> post(commandPostMutex, std::adopt_lock);
  const unsigned head = commandHead.load(std::memory_order_relaxed);
  if (head - commandTail.load(std::memory_order_acquire) >= kCommandQueueSize) {
    // Full: nobody takes commands (no block runs). Carry them out here rather than lose one.
    WDL_MutexLock lock(&mMutex);
    handleRequestedCommand(true);
  }
  sweepCommandBatches();

  // A replacement's modules, for the slot as the commands still queued before it will leave it.
  std::unique_ptr<ModuleBatch> batch;
  int slotType = 0, moduleID = 0;
  bool slotMaster = false, master = false;
  if (validSlot(arg1)) {
    WDL_MutexLock lock(&mMutex); // the queue and the slot as the audio thread leaves them between blocks
    slotType = slotConfig[arg1].moduleID;
    slotMaster = slotConfig[arg1].master != 0;
    for (unsigned i = commandTail.load(std::memory_order_acquire); i != head; ++i) {
      const QueuedCommand& q = commandQueue[i % kCommandQueueSize];
      int type = 0;
      bool inMaster = false;
      if (q.arg1.load(std::memory_order_relaxed) == arg1 &&
          commandTarget(q.code.load(std::memory_order_relaxed), arg1, q.arg2.load(std::memory_order_relaxed),
                        slotType, slotMaster, &type, &inMaster)) {
        slotType = type;
        slotMaster = inMaster;
      }
    }
  }
  if (commandTarget(code, arg1, arg2, slotType, slotMaster, &moduleID, &master))
    batch = buildModules(arg1, moduleID, master);

  QueuedCommand& c = commandQueue[head % kCommandQueueSize];
  c.code.store(code, std::memory_order_relaxed);
  c.arg1.store(arg1, std::memory_order_relaxed);
  c.arg2.store(arg2, std::memory_order_relaxed);
  c.needsBatch.store(false, std::memory_order_relaxed);
  delete c.batch.exchange(batch.release(), std::memory_order_acq_rel); // swept already: null
  commandHead.store(head + 1, std::memory_order_release);
  commandPending.store(true, std::memory_order_seq_cst);
}

void Veltrane::handleRequestedCommand(bool mayBuild)
{
  // Under the instance mutex (audio block, or the editor's idle call), so one reader at a time. A command
  // tells the host of the selectors it moves, and a host may answer from inside that call with one that
  // carries the queue out (a chunk read, a load, the editor closed): the run under way goes on afterwards.
  if (runningCommands) return;
  // Cleared on every way out: a run that throws (memory ran out building a replacement, in a host that
  // catches it) would otherwise leave every later command queued for good.
  struct Running
  {
    explicit Running(bool* flag) : flag(flag) { *flag = true; }
    ~Running() { *flag = false; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    bool* const flag;
  } running(&runningCommands);
  runQueue(mayBuild);
}

void Veltrane::runQueue(bool mayBuild)
{
  for (;;) {
    const unsigned tail = commandTail.load(std::memory_order_relaxed);
    if (tail == commandHead.load(std::memory_order_acquire)) {
      commandPending.store(false, std::memory_order_seq_cst);
      // A post between the test and the store keeps its flag.
      if (tail == commandHead.load(std::memory_order_seq_cst)) return;
      commandPending.store(true, std::memory_order_seq_cst);
      continue;
    }
    QueuedCommand& c = commandQueue[tail % kCommandQueueSize];
    const int code = c.code.load(std::memory_order_relaxed);
    const int arg1 = c.arg1.load(std::memory_order_relaxed);
    const int arg2 = c.arg2.load(std::memory_order_relaxed);
    ModuleBatch* batch = c.batch.load(std::memory_order_acquire);
    int moduleID = 0;
    bool master = false;
    if (commandTarget(code, arg1, arg2, validSlot(arg1) ? slotConfig[arg1].moduleID : 0,
                      validSlot(arg1) && slotConfig[arg1].master, &moduleID, &master) &&
        !batchFits(batch, arg1, moduleID, master)) {
      if (!mayBuild) {
        // The modules no longer fit (the rate or the tuning changed since the post): the worker builds them
        // again, and this command and the ones after it wait for a later block.
        c.needsBatch.store(true, std::memory_order_release);
        if (stage) stage->nudge();
        return;
      }
      batch = nullptr; // made here
    }
    runCommand(code, arg1, arg2, batch);
    commandTail.store(tail + 1, std::memory_order_release);
  }
}

void Veltrane::RunQueuedEditorCommands()
{
  if (isStage()) return;
  // Nothing queued and no post under way: the usual case, which asks the host nothing.
  if (commandPostMutex.TryEnter()) {
    const bool pending = commandPending.load(std::memory_order_acquire);
    commandPostMutex.Leave();
    if (!pending) return;
  }
  const bool audio = OnRealtimeThread();
  // A post under way (its modules being built) is waited for where this thread may wait: not an audio thread,
  // nor one that holds the instance mutex, which the post takes. The post lock is let go before the instance
  // mutex is taken: whoever holds it never waits for the instance mutex but a post itself.
  const bool mayWait = !audio && !mMutex.HeldByCaller();
  if (mayWait) {
    commandPostMutex.Enter();
    commandPostMutex.Leave();
  }
  if (commandPending.load(std::memory_order_acquire)) {
    WDL_MutexLock lock(&mMutex);
    handleRequestedCommand(!audio);
  }
  if (mayWait) {
    WDL_MutexLock post(&commandPostMutex);
    sweepCommandBatches(); // what the replacements replaced
  }
}

void Veltrane::serviceCommands()
{
  // A command waits for modules that fit the slot as it is now. The worker runs below the audio thread's
  // priority: it looks without the instance mutex first, so that it never holds what the audio thread
  // waits for, unless there is work.
  unsigned tail = commandTail.load(std::memory_order_acquire);
  if (tail == commandHead.load(std::memory_order_acquire) ||
      !commandQueue[tail % kCommandQueueSize].needsBatch.load(std::memory_order_acquire))
    return;
  int code, arg1, arg2, moduleID = 0;
  bool master = false;
  {
    WDL_MutexLock lock(&mMutex);
    tail = commandTail.load(std::memory_order_acquire);
    if (tail == commandHead.load(std::memory_order_acquire)) return;
    const QueuedCommand& c = commandQueue[tail % kCommandQueueSize];
    if (!c.needsBatch.load(std::memory_order_acquire)) return;
    code = c.code.load(std::memory_order_relaxed);
    arg1 = c.arg1.load(std::memory_order_relaxed);
    arg2 = c.arg2.load(std::memory_order_relaxed);
    if (!commandTarget(code, arg1, arg2, slotConfig[arg1].moduleID, slotConfig[arg1].master != 0, &moduleID, &master))
      return;
  }
  std::unique_ptr<ModuleBatch> batch = buildModules(arg1, moduleID, master);
  ModuleBatch* replaced = nullptr;
  {
    WDL_MutexLock lock(&mMutex); // the audio thread reads the entry only under it
    if (commandTail.load(std::memory_order_acquire) != tail) return; // carried out meanwhile (by idle)
    QueuedCommand& c = commandQueue[tail % kCommandQueueSize];
    replaced = c.batch.exchange(batch.release(), std::memory_order_acq_rel);
    c.needsBatch.store(false, std::memory_order_release);
  }
  delete replaced;
}

void Veltrane::runCommand(int code, int arg1, int arg2, ModuleBatch* batch)
{
  switch (code) {
  case kCommandReplace:
    if (!validSlot(arg1)) break;
    replaceModule(arg1, arg2, slotConfig[arg1].master != 0, true, batch);
    muteUntilNextTick = true;
    break;
  case kCommandMove:
    moveModule(arg1, arg2);
    muteUntilNextTick = true;
    break;
  case kCommandRemoveEmpty:
    removeEmptyBlock(arg1);
    break;
  case kCommandToggleMaster:
    if (!validSlot(arg1)) break;
    replaceModule(arg1, slotConfig[arg1].moduleID, arg2 != 0, true, batch);
    muteUntilNextTick = true;
    break;
  case kCommandPlugToCommon:
    plugToCommon(arg1);
    break;
  default:
    break;
  }
}
