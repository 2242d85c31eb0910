#include "ProgramStage.h"

#include "Veltrane.h"

#include <cstring>

bool ProgramStage::Basis::operator==(const Basis& other) const
{
  return sampleRate == other.sampleRate && activeVoices == other.activeVoices && customTuning == other.customTuning &&
         !std::memcmp(tuning, other.tuning, sizeof(tuning));
}

ProgramStage::ProgramStage(Veltrane& live) : live(live) {}

ProgramStage::~ProgramStage() = default;

ProgramStage::Basis ProgramStage::basisOf(const Veltrane& v) const
{
  Basis b;
  b.sampleRate = v.GetSampleRate();
  b.activeVoices = v.activeVoices;
  b.customTuning = v.customTuningOn;
  std::memcpy(b.tuning, v.tuningTable, sizeof(b.tuning));
  return b;
}

bool ProgramStage::hold()
{
  // Holding it already: a load within a load (nothing here does that) is done in place.
  if (mutex.HeldByCaller()) return false;
  if (live.GetMutex()->HeldByCaller()) return mutex.TryEnter();
  mutex.Enter();
  return true;
}

void ProgramStage::prepareEngine()
{
  if (!engine) engine = Veltrane::makeStage(live);
  {
    WDL_MutexLock lock(live.GetMutex());
    basis = basisOf(live);
  }
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
  built = false;
  prepareEngine();
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

void ProgramStage::end()
{
  if (!mutex.HeldByCaller()) return;
  built = false;
  if (engine) engine->releaseModules();
  mutex.Leave();
}

int ProgramStage::normalize(const ByteChunk* chunk, int pos, ByteChunk* out)
{
  if (!hold()) return IPlugBase::kNotPrepared;
  prepareEngine();
  Veltrane& e = *engine;
  e.releaseModules(); // a state read without modules leaves none behind to be handed parameters
  e.stateOnly = true;
  int end = e.UnserializeState(const_cast<ByteChunk*>(chunk), pos);
  if (end > 0 && !e.SerializeState(out)) end = -1;
  e.stateOnly = false;
  built = false;
  mutex.Leave();
  return end;
}
