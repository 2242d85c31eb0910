// Programs built aside: the product's side of the framework's two-step state loads (ProgramStage.h), program
// changes in the MIDI stream, host calls after such a change, and the take-over of a patch built in a staging
// engine.
//
// Threads (THREADS.md): the take-over runs under the instance mutex, on the thread that loads or on the audio
// thread at a control tick; it only exchanges pointers and copies values.
#include "Veltrane.h"

#include "Module.h"
#include "ProgramStage.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>

int Veltrane::PrepareState(const ByteChunk* chunk, int pos)
{
#ifdef VELTRANE_REFERENCE_RENDER
  // The reference build puts every state in place the plain way, which a program built aside must match
  // (the render identity test compares the two after effSetProgram). Banks it reads aside all the same:
  // reading them builds no module, and both builds then make their modules in the same order (each dual
  // noise generator takes its seed from a count of those its instance made).
  (void)chunk;
  (void)pos;
  return kNotPrepared;
#else
  // A thread that processes audio waits for no build on another thread: it loads in place when the stage
  // is busy (the time a load takes there is the host's choice).
  if (!stage || !stage->hold(!OnRealtimeThread())) return kNotPrepared; // a staging engine loads in place
  return stage->build(chunk, pos);
#endif
}

bool Veltrane::CommitPreparedState()
{
  // Within a read that may still be undone, the read as a whole supersedes the changes when it succeeds.
  if (!stage || !stage->commit(!SupersedeHeld())) return false;
  if (SupersedeHeld()) return true;
  // The changes taken before this load are done with, and what the host set after them: the load replaced
  // their state.
  dropDeferredParams();
  supersedeChangesAtPlace();
  return true;
}

void Veltrane::supersedeChangesAtPlace()
{
  if (!reachingChangeAtPlace)
    changesAtPlaceSuperseded.store(changesAtPlaceQueued.load(std::memory_order_acquire), std::memory_order_release);
}

void Veltrane::EndPreparedState()
{
  if (stage) stage->end();
}

void Veltrane::HoldProgramBuilds(bool hold)
{
  if (stage) stage->holdBuilds(hold);
}

int Veltrane::NormalizeState(const ByteChunk* chunk, int pos, ByteChunk* out)
{
  return stage ? stage->normalize(chunk, pos, out, !OnRealtimeThread()) : kNotPrepared;
}

// ---- program changes in the MIDI stream ----

int Veltrane::programChangeFromMidi(int program)
{
  if (program < 0 || program >= NPresets()) return kChangeDone; // no such program: nothing changes
  if (!changesBuiltAside()) {
    latestChangeAtPlace.store(program, std::memory_order_relaxed);
    changesAtPlaceQueued.fetch_add(1, std::memory_order_release);
    return kChangeAtItsPlace;
  }
  stage->request(program);
  ++stagedChangesQueued;
  return kChangeStaged;
}

bool Veltrane::changesBuiltAside()
{
#ifdef VELTRANE_REFERENCE_RENDER
  return false;
#else
  // Offline the audio thread may take its time, and a render keeps the change where the host put it.
  // Without a worker (the process could not have another thread) nothing would build it.
  return stage && stage->hasWorker() && !IsRenderingOffline();
#endif
}

bool Veltrane::StageProgramChange(int program)
{
  WDL_MutexLock lock(&mMutex);
  if (!changesBuiltAside()) return false;
  if (program < 0 || program >= NPresets()) return true; // no such program: nothing changes
  // After every event queued so far: they came before this call.
  const IMidiMsg* last = midiQueue.Last();
  IMidiMsg change(last && last->mOffset > 0 ? last->mOffset : 0, IMidiMsg::kProgramChange << 4, (uint8_t)program,
                  0);
  ProcessMidiMsg(&change);
  return true;
}

unsigned Veltrane::changesReached() const
{
  return stage ? stage->requestCount() - (unsigned)stagedChangesQueued : 0;
}

bool Veltrane::reachProgramChange(const IMidiMsg& change)
{
  if (change.mData2 == kChangeAtItsPlace) {
    const unsigned reached = changesAtPlaceReached.fetch_add(1, std::memory_order_acq_rel) + 1;
    // A load since it was sent replaced it.
    if ((int)(reached - changesAtPlaceSuperseded.load(std::memory_order_acquire)) > 0) {
      reachingChangeAtPlace = true;
      RestorePreset(change.mData1);
      reachingChangeAtPlace = false;
    }
    return false;
  }
  if (change.mData2 != kChangeStaged || stagedChangesQueued < 1) return false;
  --stagedChangesQueued;
  if (!stage) return false;
  stage->takeReady(changesReached()); // built already: in place from this tick
  return stage->willLand(changesReached()) && changesReached() != midiHoldExpiredAt;
}

void Veltrane::actOnUnqueued(const IMidiMsg& msg)
{
  // The queue then holds nothing that starts a note or presses the pedal (such an event would have given up
  // its room), so nothing queued undoes what is done here.
  switch (msg.StatusMsg()) {
  case IMidiMsg::kProgramChange:
    reachProgramChange(msg);
    return;
  case IMidiMsg::kControlChange: // the sustain pedal let go
    setMidiSourceValue(IMidiMsg::kSustainOnOff, 0.0);
    for (Voice& voice : voices) voice.setSustain(false);
    return;
  default: // a note's end
    setNoteOff(msg.mData1);
    return;
  }
}

bool Veltrane::midiHeldBack()
{
  // Only for a change that will land: one overtaken by a later change before its build began never does,
  // and the events after it play with the program in place until the later one's place is reached.
  const unsigned reached = changesReached();
  if (!stage || !stage->willLand(reached)) {
    midiHeldSamples = 0;
    return false;
  }
  if (reached == midiHoldExpiredAt) return false; // this change held them long enough
  if (midiHeldSamples >= (int)(GetSampleRate() * kMaxMidiHoldMs / 1000.0)) {
    midiHoldExpiredAt = reached; // they play with the program in place; a later change holds them again
    midiHeldSamples = 0;
    return false;
  }
  midiHeldSamples += controlPeriod;
  return true;
}

void Veltrane::programTaken(int program, unsigned seq)
{
  SelectPreset(program);
  replayDeferredParams(&seq);
}

// ---- host calls after a program change taken on the audio thread ----

void Veltrane::applyDeferredParam(const DeferredParam& d)
{
  IParam* param = GetParam(d.paramIdx);
  if (!param) return;
  if (d.isText) {
    // Read again in this program: a list parameter's entries may differ from the program it was sent in.
    double value;
    if (!param->ParseHostText(d.text, &value)) return;
    param->Set(value);
  } else {
    param->SetNormalized(d.value);
  }
  pushParamToEditor(d.paramIdx, param->GetNormalized());
  OnParamChange(d.paramIdx);
}

void Veltrane::replayDeferredParams(const unsigned* taken)
{
  if (!numDeferredParams || !stage) return;
  const unsigned upTo = taken ? *taken : stage->doneCount();
  int kept = 0;
  for (int i = 0; i < numDeferredParams; ++i) {
    const DeferredParam& d = deferredParams[i];
    if ((int)(d.seq - upTo) > 0) {
      if (kept != i) deferredParams[kept] = d;
      ++kept; // made after a change still pending: it waits for that one
    } else if (!taken || d.seq == *taken) {
      applyDeferredParam(d);
    }
  }
  numDeferredParams = kept;
}

void Veltrane::dropDeferredParams()
{
  if (!stage) return;
  const unsigned done = stage->doneCount();
  numDeferredParams = (int)(std::remove_if(deferredParams, deferredParams + numDeferredParams,
                                           [done](const DeferredParam& d) { return (int)(d.seq - done) <= 0; }) -
                            deferredParams);
}

int Veltrane::PendingProgram()
{
  const int staged = stage ? stage->pendingProgram() : -1;
  if (staged >= 0) return staged;
  // A change the audio loop puts in place where it reaches it (offline), not reached yet nor replaced.
  const unsigned queued = changesAtPlaceQueued.load(std::memory_order_acquire);
  const unsigned reached = changesAtPlaceReached.load(std::memory_order_acquire);
  const unsigned superseded = changesAtPlaceSuperseded.load(std::memory_order_acquire);
  if ((int)(queued - reached) > 0 && (int)(queued - superseded) > 0)
    return latestChangeAtPlace.load(std::memory_order_relaxed);
  return -1;
}

void Veltrane::SyncPendingProgram()
{
  WDL_MutexLock lock(&mMutex);
  if (!stage) return;
  stage->takeReady(changesReached());
  replayDeferredParams(nullptr);
}

void Veltrane::SupersedePendingProgram()
{
  supersedeChangesAtPlace();
  if (!stage) return;
  stage->supersede();
  dropDeferredParams();
}

void Veltrane::OnHostParamWhilePending(int paramIdx, double normalizedValue, const char* text)
{
  if (!stage || paramIdx < 0 || paramIdx >= kNumParams || !stage->pending()) return;
  WDL_MutexLock lock(&mMutex);
  // One entry a parameter: a later set replaces an earlier one, and goes last.
  int n = (int)(std::remove_if(deferredParams, deferredParams + numDeferredParams,
                               [paramIdx](const DeferredParam& d) { return d.paramIdx == paramIdx; }) -
                deferredParams);
  DeferredParam& d = deferredParams[n++];
  d.paramIdx = paramIdx;
  d.seq = stage->requestCount();
  d.value = normalizedValue;
  d.isText = text != nullptr;
  if (text) WDL_UTF8CopyBounded(d.text, text, sizeof d.text);
  numDeferredParams = n;
}

void Veltrane::SettlePendingProgram()
{
  if (!stage) return;
  // A call made from inside one of ours (the host answering a callback) holds the mutex, which the worker
  // may need, and a thread that processes audio waits for nothing: they take what is ready.
  if (mMutex.HeldByCaller() || OnRealtimeThread() || !stage->pending()) {
    SyncPendingProgram();
    return;
  }
  // The worker did not build it in time (starved of the processor): this thread builds the program. It
  // stays pending until it is in place, so that what the host sets meanwhile is set again on it.
  if (!stage->settle(kSettleTimeoutMs)) stage->buildHere();
  SyncPendingProgram();
}

void Veltrane::releaseModules()
{
  for (Module*& m : masterModules) {
    delete m;
    m = nullptr;
  }
  // A voice's plain modules (its empty slots) stay: they hold no state, and the next build keeps them for the
  // slots it leaves empty instead of making 64 voices of them again.
  for (int v = 0; v < kNumVoices; ++v) {
    for (int s = 0; s < kNumSlots; ++s) {
      Module*& m = voices[v].modules[s];
      if (m && m->plain()) {
        m->rehome(&slotConfig[s], &voices[v], this);
        continue;
      }
      delete m;
      m = nullptr;
    }
    voices[v].rebuildProcessList();
  }
  updateProcessLists();
}

namespace {
// The parameters a voice takes itself (Voice::setVoiceParam).
constexpr int kVoiceParams[] = {Veltrane::kParamSumLeft,     Veltrane::kParamSumRight,   Veltrane::kParamOutTrigger,
                                Veltrane::kParamOutAttack,   Veltrane::kParamOutDecay,   Veltrane::kParamOutSustain,
                                Veltrane::kParamOutRelease,  Veltrane::kParamPBRange,    Veltrane::kParamPortamento,
                                Veltrane::kParamPortaLegato};
} // namespace

void Veltrane::takeProgramFrom(Veltrane& staged)
{
  const int voicesBefore = activeVoices;
  ++statesPutInPlace;

  // The patch: exchanged, so that the staging engine is left holding what this engine held.
  for (int s = 0; s < kNumSlots; ++s) {
    std::swap(masterModules[s], staged.masterModules[s]);
    slotConfig[s].swapPatch(staged.slotConfig[s]);
    slotConfig[s].specialControls.clear(); // the panel's controls were made for the old module type
  }
  for (int v = 0; v < kNumVoices; ++v)
    for (int s = 0; s < kNumSlots; ++s) std::swap(voices[v].modules[s], staged.voices[v].modules[s]);
  allSources.swap(staged.allSources);
  voiceSources.swap(staged.voiceSources);
  masterSources.swap(staged.masterSources);
  displayOrder.swap(staged.displayOrder);
  for (int i = 0; i < NParams(); ++i) GetParam(i)->Swap(*staged.GetParam(i));
  portaLegato.Swap(staged.portaLegato);
  masterOutLeft.Swap(staged.masterOutLeft);
  masterOutRight.Swap(staged.masterOutRight);

  // The program's values.
  stateVersion = staged.stateVersion;
  activeVoices = staged.activeVoices;
  volume = staged.volume;
  portamentoTime = staged.portamentoTime;
  pitchBendRange = staged.pitchBendRange;
  portaLegatoOn = staged.portaLegatoOn;
  customTuningOn = staged.customTuningOn;
  std::memcpy(tuningName, staged.tuningName, sizeof(tuningName));
  std::memcpy(tuningTable, staged.tuningTable, sizeof(tuningTable));
  std::memcpy(midiSourceCC, staged.midiSourceCC, sizeof(midiSourceCC));
  std::memcpy(midiLearnMap, staged.midiLearnMap, sizeof(midiLearnMap));

  // The modules belong to this engine now; their inputs already read its values.
  for (int s = 0; s < kNumSlots; ++s) {
    if (masterModules[s]) masterModules[s]->rehome(&slotConfig[s], nullptr, this);
    for (int v = 0; v < kNumVoices; ++v)
      if (Module* m = voices[v].modules[s]) m->rehome(&slotConfig[s], &voices[v], this);
  }
  for (Voice& v : voices) v.rebuildProcessList();
  updateProcessLists();

  // What the parameters give the voices and the master outputs, resolved in this engine's lists: the
  // voices that play take the program's settings; the others read nothing until the count grows (which
  // applies every parameter again).
  if (activeVoices != voicesBefore) allNotesOff();
  for (int v = 0; v < kNumVoices; ++v) {
    Voice& voice = voices[v];
    if (v >= activeVoices) {
      voice.sumSourceLeft = voice.sumSourceRight = &voice.zero;
      continue;
    }
    for (int p : kVoiceParams) voice.setVoiceParam(p, getAnyParam(p)->Value());
  }
  masterOutputLeft = getSourceForMaster((int)masterOutLeft.Value(), SourceDef::AUDIO);
  masterOutputRight = getSourceForMaster((int)masterOutRight.Value(), SourceDef::AUDIO);
  suspended = false;
  // A control tick comes first: the new modules work out their coefficients (update) before a voice still
  // sounding runs them, which would otherwise drive them for up to a tick from their reset state.
  tickCountdown = 0;
}
