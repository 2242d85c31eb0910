// Programs built aside: the product's side of the framework's two-step state loads (ProgramStage.h), and
// the take-over of a patch built in a staging engine.
//
// Threads: the take-over runs under the instance mutex, on the thread that loads or on the audio thread at
// a block boundary; it only exchanges pointers and copies values.
#include "Veltrane.h"

#include "Module.h"
#include "ProgramStage.h"

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
  if (!stage || !stage->hold()) return kNotPrepared; // a staging engine loads in place
  return stage->build(chunk, pos);
#endif
}

bool Veltrane::CommitPreparedState()
{
  return stage && stage->commit();
}

void Veltrane::EndPreparedState()
{
  if (stage) stage->end();
}

int Veltrane::NormalizeState(const ByteChunk* chunk, int pos, ByteChunk* out)
{
  return stage ? stage->normalize(chunk, pos, out) : kNotPrepared;
}

void Veltrane::programChangeFromMidi(int program)
{
  if (program < 0 || program >= NPresets()) return; // no such program: nothing changes
  // Offline the audio thread may take its time, and a render keeps the change where the host put it.
  // Without a worker (the process could not have another thread) nothing would build it.
  bool atOnce = !stage || !stage->hasWorker() || IsRenderingOffline();
#ifdef VELTRANE_REFERENCE_RENDER
  atOnce = true;
#endif
  if (atOnce) {
    RestorePreset(program);
    return;
  }
  stage->request(program);
}

void Veltrane::programTaken(int program, unsigned seq)
{
  SelectPreset(program);
  replayDeferredParams(&seq);
}

void Veltrane::applyDeferredParam(const DeferredParam& d)
{
  IParam* param = GetParam(d.paramIdx);
  if (!param) return;
  param->SetNormalized(d.value);
  pushParamToEditor(d.paramIdx, param->GetNormalized());
  OnParamChange(d.paramIdx);
}

void Veltrane::replayDeferredParams(const unsigned* taken)
{
  if (!numDeferredParams || !stage) return;
  const unsigned upTo = taken ? *taken : stage->doneCount();
  int kept = 0;
  for (int i = 0; i < numDeferredParams; ++i) {
    const DeferredParam d = deferredParams[i];
    if ((int)(d.seq - upTo) > 0)
      deferredParams[kept++] = d; // made after a change still pending: it waits for that one
    else if (!taken || d.seq == *taken)
      applyDeferredParam(d);
  }
  numDeferredParams = kept;
}

// ---- host calls after a MIDI program change ----

int Veltrane::PendingProgram()
{
  return stage ? stage->pendingProgram() : -1;
}

void Veltrane::SyncPendingProgram()
{
  WDL_MutexLock lock(&mMutex);
  if (!stage) return;
  stage->takeReady();
  replayDeferredParams(nullptr);
}

void Veltrane::OnHostParamWhilePending(int paramIdx, double normalizedValue)
{
  if (!stage || paramIdx < 0 || paramIdx >= kNumParams) return;
  WDL_MutexLock lock(&mMutex);
  // One entry a parameter: a later set replaces an earlier one, and goes last.
  int n = 0;
  for (int i = 0; i < numDeferredParams; ++i)
    if (deferredParams[i].paramIdx != paramIdx) deferredParams[n++] = deferredParams[i];
  deferredParams[n++] = DeferredParam{paramIdx, normalizedValue, stage->requestCount()};
  numDeferredParams = n;
}

bool Veltrane::SettlePendingProgram(bool selectOnly)
{
  if (!stage) return false;
  // A call made from inside one of ours (the host answering a callback) holds the mutex, which the worker
  // may need: it takes what is ready, and waits for nothing.
  if (mMutex.HeldByCaller() || !stage->pending()) {
    SyncPendingProgram();
    return false;
  }
  if (selectOnly) {
    WDL_MutexLock lock(&mMutex);
    replayDeferredParams(nullptr);
    const int program = stage->cancel();
    if (program < 0) return false;
    numDeferredParams = 0; // what the host set since belongs to a state the load replaces
    programTaken(program, 0);
    return true;
  }
  if (stage->settle(kSettleTimeoutMs)) {
    SyncPendingProgram();
    return false;
  }
  // The worker did not build it in time (starved of the processor): this thread builds the program. What
  // the host set since the change is set again on it.
  DeferredParam saved[kNumParams];
  int numSaved;
  int program;
  {
    WDL_MutexLock lock(&mMutex);
    program = stage->cancel();
    numSaved = numDeferredParams;
    std::copy(deferredParams, deferredParams + numSaved, saved);
    numDeferredParams = 0;
  }
  if (program >= 0) RestorePreset(program);
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < numSaved; ++i) applyDeferredParam(saved[i]);
  return false;
}

bool Veltrane::midiHeldBack()
{
  if (!stage || !stage->pending()) {
    midiHeldSamples = 0;
    return false;
  }
  const unsigned latest = stage->requestCount();
  if (latest == midiHoldExpiredAt) return false; // this change held them long enough
  if (midiHeldSamples >= (int)(GetSampleRate() * kMaxMidiHoldMs / 1000.0)) {
    midiHoldExpiredAt = latest; // they play with the program in place; a later change holds them again
    midiHeldSamples = 0;
    return false;
  }
  midiHeldSamples += controlPeriod;
  return true;
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
