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
  // A thread that processes audio waits for no build on another thread: it loads in place when the stage
  // is busy (the time a load takes there is the host's choice).
  if (!buildsAside() || !stage || !stage->hold(!OnRealtimeThread()))
    return kNotPrepared; // a staging engine loads in place
  return stage->build(chunk, pos);
}

bool Veltrane::CommitPreparedState()
{
  return stage && stage->commit();
}

bool Veltrane::buildsAside() const
{
#ifdef VELTRANE_REFERENCE_RENDER
  // The reference build puts every state in place the plain way, which a program built aside must match
  // (the render identity test compares the two after effSetProgram). Banks it reads aside all the same:
  // reading them builds no module, and both builds then make their modules in the same order (each dual
  // noise generator takes its seed from a count of those its instance made).
  return false;
#else
  return true;
#endif
}

void Veltrane::EndPreparedState()
{
  if (stage) stage->end();
}

void Veltrane::HoldProgramBuilds(bool hold)
{
  if (stage) stage->holdBuilds(hold);
}

int Veltrane::NormalizeState(const ByteChunk* chunk, int pos, ByteChunk* out, const HostSet* sets, int nSets)
{
  return stage ? stage->normalize(chunk, pos, out, !OnRealtimeThread(), sets, nSets) : kNotPrepared;
}

// ---- program changes in the MIDI stream ----

int Veltrane::programChangeFromMidi(int program)
{
  if (program < 0 || program >= NPresets()) return kChangeDone; // no such program: nothing changes
  if (!stage) return Synth::programChangeFromMidi(program);
  // One record of a change not in place yet, whoever puts it in place: the worker builds it, or (offline,
  // without a worker) the audio loop puts it in place where it reaches it.
  const bool aside = changesBuiltAside();
  stage->request(program, !aside);
  ++stagedChangesQueued;
  return aside ? kChangeStaged : kChangeAtItsPlace;
}

bool Veltrane::changesBuiltAside()
{
  // Offline the audio thread may take its time, and a render keeps the change where the host put it.
  // Without a worker (the process could not have another thread) nothing would build it.
  return buildsAside() && stage && stage->hasWorker() && !IsRenderingOffline();
}

bool Veltrane::StageProgramChange(int program)
{
  WDL_MutexLock lock(&mMutex);
  if (!changesBuiltAside()) return false;
  if (program < 0 || program >= NPresets()) return true; // no such program: nothing changes
  // After every event queued so far: they came before this call.
  const IMidiMsg* last = midiQueue.Last();
  IMidiMsg change(last && last->mOffset > 0 ? last->mOffset : 0, IMidiMsg::kProgramChange << 4, (uint8_t)program, 0);
  ProcessMidiMsg(&change);
  return true;
}

unsigned Veltrane::changesReached() const
{
  return stage ? stage->requestCount() - (unsigned)stagedChangesQueued : 0;
}

bool Veltrane::reachProgramChange(const IMidiMsg& change)
{
  if ((change.mData2 != kChangeStaged && change.mData2 != kChangeAtItsPlace) || stagedChangesQueued < 1 || !stage)
    return false;
  --stagedChangesQueued;
  const unsigned reached = changesReached();
  reachedProgram = change.mData1;
  if (commandPending.load(std::memory_order_acquire)) handleRequestedCommand(); // made on the program in place
  if (change.mData2 == kChangeAtItsPlace) {
    // Put in place here (unless a load or a later change made it done with), and the values the host set
    // for it set again.
    stage->buildHere(reached, change.mData1);
    return false;
  }
  stage->takeReady(reached); // built already: in place from this tick
  landReachedChangeOffline();
  return stage->willLand(reached) && reached != midiHoldExpiredAt;
}

void Veltrane::landReachedChangeOffline()
{
  // Taken in real time and built aside, but now rendered offline, where the render may wait for it and
  // nothing else builds it in time: put in place here, at its place, rather than after the hold.
  const unsigned reached = changesReached();
  if (stage->willLand(reached) && !changesBuiltAside()) stage->buildHere(reached, reachedProgram);
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
    setMidiSourceValue(IMidiMsg::kSustainOnOff, msg.mData2 / 127.0);
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

void Veltrane::programTaken(int program, unsigned seq, unsigned stored)
{
  SelectPreset(program, stored);
  replayDeferredParams(&seq);
}

void Veltrane::putProgramInPlace(int program, unsigned seq)
{
  WDL_MutexLock lock(&mMutex);
  ByteChunk state(ByteChunk::kKeepsRuns);
  unsigned stored = 0;
  if (CopyPresetState(program, &state, &stored)) {
    if (UnserializeState(&state, 0) > 0) programTaken(program, seq, stored);
    return; // a program that cannot be read: the live one stays
  }
  if (!GetPresetChunk(program)) return; // no such slot
  // An empty slot takes the live state, as when it is chosen in the editor.
  StoreLiveStateAsNewProgram(program);
  programTaken(program, seq, PresetStored(program));
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
  // Values of changes done with without being put in place went to the live program: they are its own now.
  if (!kept) LiveStateHoldsOwn();
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
  return stage ? stage->pendingProgram() : -1;
}

unsigned Veltrane::ProgramChangesTaken()
{
  return stage ? stage->requestCount() : 0;
}

bool Veltrane::PendingProgramState(ByteChunk* out)
{
  // The stored state (its tables by reference) and the values the host set for the latest change, as it will
  // set them again on its program, are taken under the mutex; the state is made without it.
  ByteChunk stored(ByteChunk::kKeepsRuns);
  DeferredParam values[kNumParams];
  int n = 0;
  {
    WDL_MutexLock lock(&mMutex);
    const int program = PendingProgram();
    if (program < 0 || !CopyPresetState(program, &stored)) return false;
    const unsigned latest = stage->requestCount();
    for (int i = 0; i < numDeferredParams; ++i)
      if (deferredParams[i].seq == latest) values[n++] = deferredParams[i];
  }
  HostSet sets[kNumParams];
  for (int i = 0; i < n; ++i)
    sets[i] = {values[i].paramIdx, values[i].value, values[i].isText ? values[i].text : nullptr};
  // A read costs the change no build and frees nothing of the stage's (only its own copy of the stored state):
  // with a build in the stage, or a patch it replaced not freed yet, it gives the stored state.
  return stage->normalize(&stored, 0, out, false, sets, n, true) > 0;
}

void Veltrane::SyncPendingProgram()
{
  WDL_MutexLock lock(&mMutex);
  if (!stage) return;
  if (stage->readyToTake()) RunQueuedEditorCommands();
  stage->takeReady(changesReached());
  replayDeferredParams(nullptr);
}

void Veltrane::SupersedePendingProgram(unsigned upTo)
{
  if (!stage) return;
  stage->supersede(upTo);
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
  LiveStateHoldsOthers(); // the live state is no longer its slot's alone: no store into that slot
}

void Veltrane::SettlePendingProgram()
{
  if (!stage) return;
  if (stage->pending()) RunQueuedEditorCommands();
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
constexpr int kVoiceParams[] = {Veltrane::kParamSumLeft,    Veltrane::kParamSumRight, Veltrane::kParamOutTrigger,
                                Veltrane::kParamOutAttack,  Veltrane::kParamOutDecay, Veltrane::kParamOutSustain,
                                Veltrane::kParamOutRelease, Veltrane::kParamPBRange,  Veltrane::kParamPortamento,
                                Veltrane::kParamPortaLegato};
} // namespace

void Veltrane::takeProgramFrom(Veltrane& staged)
{
  const int voicesBefore = activeVoices;

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
