// IPlugBase: state chunks, program slots, factory-program makers and development dumps.
#include "IPlugBase.h"
#include "cnumbers.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// ---- framework header and parameters as state -----------------------------------------------------------------

void IPlugBase::InitChunkWithIPlugVer(ByteChunk* chunk)
{
  chunk->Empty();
  int magic = kMagic, version = kIPlugVersion;
  chunk->Put(&magic);
  chunk->Put(&version);
}

int IPlugBase::GetIPlugVerFromChunk(ByteChunk* chunk, int* position)
{
  int magic = 0, version = 0;
  int pos = chunk->Get(&magic, *position);
  if (pos < 0 || magic != kMagic) return 0;
  pos = chunk->Get(&version, pos);
  *position = pos;
  return pos < 0 ? 0 : version;
}

bool IPlugBase::SerializeParams(ByteChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < NParams(); ++i) {
    double v = GetParam(i)->Value();
    chunk->Put(&v);
  }
  return !chunk->Failed();
}

int IPlugBase::UnserializeParams(ByteChunk* chunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  int pos = startPos;
  if (pos >= 0) {
    for (int i = 0; i < NParams(); ++i) {
      double v = 0.0;
      pos = chunk->Get(&v, pos);
      IParam* param = GetParam(i);
      param->Set(v);
      if (pos < 0) break;
    }
  }
  OnParamReset();
  return pos;
}

// ---- program slots -------------------------------------------------------------------------------------------

const char* IPlugBase::GetPresetName(int idx) const
{
  const IPreset* p = mPresets.Get(idx);
  return p ? p->mName : "";
}

bool IPlugBase::IsPresetInitialized(int idx) const
{
  const IPreset* p = mPresets.Get(idx);
  return p && p->mInitialized;
}

bool IPlugBase::CopyPresetState(int idx, ByteChunk* out, unsigned* stored)
{
  ByteChunk state(ByteChunk::kKeepsRuns); // its tables by reference: their bytes are written after the lock
  int64_t size = 0;
  {
    WDL_MutexLock lock(&mPresetsMutex);
    const IPreset* p = mPresets.Get(idx);
    if (!p || !p->mInitialized) return false;
    if (stored) *stored = p->mStored;
    size = p->mChunk.FlatSize();
    state.PutChunk(&p->mChunk);
  }
  const int64_t before = out->FlatSize();
  out->PutChunk(&state);
  return state.FlatSize() == size && out->FlatSize() == before + size;
}

const ByteChunk* IPlugBase::GetPresetChunk(int idx) const
{
  const IPreset* p = mPresets.Get(idx);
  return p ? &p->mChunk : nullptr;
}

void IPlugBase::BeginLoad(LoadTicket* ticket)
{
  ticket->program = ProgramForHost();
  ticket->changes = ProgramChangesTaken();
  ticket->putInPlace = StatesPutInPlace();
}

bool IPlugBase::LoadStillHolds(const LoadTicket& ticket) const
{
  if (ticket.putInPlace != StatesPutInPlace() || (ticket.slot >= 0 && PresetStored(ticket.slot) != ticket.stored))
    return false;
  for (int i = 0; i < ticket.nStamps; ++i)
    if (PresetStored(i) != ticket.stamps[i]) return false;
  return true;
}

bool IPlugBase::LoadGoesOnOver(LoadTicket* ticket, const LoadTicket& over) const
{
  if (!LoadStillHolds(over)) return false;
  // The load began where its read did: a program change taken since lands after it.
  ticket->changes = over.changes;
  ticket->slot = over.slot;
  ticket->stored = over.stored;
  ticket->stamps = over.stamps;
  ticket->nStamps = over.nStamps;
  return true;
}

bool IPlugBase::RestorePreset(int idx)
{
  {
    WDL_MutexLock lock(&mMutex);
    IPreset* preset = mPresets.Get(idx);
    if (!preset) return false;
    if (!preset->mInitialized) {
      RunQueuedEditorCommands(); // (a load does so itself)
      StoreLiveStateAsNewProgram(idx); // an empty program chosen: it takes the sound in place, edits and all
      if (!SupersedeHeld()) SupersedePendingProgram(ProgramChangesTaken()); // none taken before lands after it
      SelectPreset(idx, preset->mStored);
      return true;
    }
  }
  // The program's state is copied out under the mutex each time the load begins (its tables by reference): a
  // bank load or a store on another thread may replace it, and the load then begins again with what the slot
  // holds then.
  ByteChunk state(ByteChunk::kKeepsRuns);
  bool selected = false;
  LoadState(
      [&](LoadTicket* ticket, const ByteChunk** chunk, int* pos) {
        state.Clear();
        ticket->slot = idx;
        if (!CopyPresetState(idx, &state, &ticket->stored)) return false;
        *chunk = &state;
        *pos = 0;
        return true;
      },
      false,
      [&](const LoadTicket& ticket, int) {
        SelectPreset(idx, ticket.stored);
        selected = true;
      });
  return selected;
}

int IPlugBase::LoadStateIntoProgram(const ByteChunk* chunk, int pos, const char* name, bool whole,
                                     const LoadTicket* over, bool asEdit)
{
  bool outdated = false;
  const int end = LoadState(
      [&](LoadTicket* ticket, const ByteChunk** bytes, int* from) {
        // Made over what the program held: only while it is still the program host calls act on (an empty
        // slot's state was the live one).
        if (over && (ticket->program != over->program || !LoadGoesOnOver(ticket, *over))) {
          outdated = true;
          return false;
        }
        *bytes = chunk;
        *from = pos;
        return true;
      },
      true,
      [&](const LoadTicket& ticket, int) {
        // The state comes from the host, not from a slot: the program host calls act on takes it. An edit of
        // the live state goes in only as ModifyCurrentPreset stores one: while the state it replaces came
        // from the slot; else the slot takes the name alone, and the new state comes from no slot.
        unsigned stored = 0;
        {
          WDL_MutexLock presets(&mPresetsMutex);
          IPreset* preset = mPresets.Get(ticket.program);
          if (!asEdit || LiveStateCameFrom(preset)) {
            StoreLiveState(ticket.program, name);
            stored = PresetStored(ticket.program);
          } else if (preset && name && *name) {
            preset->SetName(name);
          }
        }
        SelectPreset(ticket.program, stored);
      },
      whole);
  return outdated ? kNotPrepared : end;
}

void IPlugBase::SelectPreset(int idx, unsigned stored)
{
  mCurrentPresetIdx.store(idx, std::memory_order_release);
  mLiveStored = stored;
  mLiveHoldsOthers = false;
  mStatesPutInPlace.fetch_add(1, std::memory_order_acq_rel);
  PresetsChangedByHost();
  RedrawParamControls();
}

bool IPlugBase::RestorePreset(const char* name)
{
  if (!name || !*name) return false;
  for (int i = 0; i < mPresets.GetSize(); ++i)
    if (!std::strcmp(mPresets.Get(i)->mName, name)) return RestorePreset(i);
  return false;
}

bool IPlugBase::ModifyCurrentPreset(const char* name)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  const int idx = GetCurrentPresetIdx();
  IPreset* preset = mPresets.Get(idx);
  if (!preset) return false;
  // The live state may go only into the slot it came from, and only while that slot holds what it came from:
  // anything else would give one program another's state.
  if (!LiveStateCameFrom(preset)) {
    if (name && *name) preset->SetName(name);
    return false;
  }
  StoreLiveState(idx, name, true);
  return true;
}

unsigned IPlugBase::PresetStored(int idx) const
{
  const IPreset* p = mPresets.Get(idx);
  return p ? p->mStored : 0;
}

void IPlugBase::RenamePreset(int idx, const char* name)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  IPreset* preset = mPresets.Get(idx);
  if (preset && name && *name) preset->SetName(name);
}

void IPlugBase::StoreLiveStateAsNewProgram(int idx)
{
  WDL_MutexLock presets(&mPresetsMutex);
  char name[IPreset::kNameSize];
  MakeDefaultUserPresetName(&mPresets, name);
  StoreLiveState(idx, name);
}

void IPlugBase::StoreLiveState(int idx, const char* name, bool keepSame)
{
  IPreset* preset = mPresets.Get(idx);
  if (!preset) return;
  // Written over the slot's own bytes, in its own memory (a state no larger needs no more: a rename on an audio
  // thread allocates nothing); its tables are taken by reference, never copied. keepSame: the live state came from
  // this slot's state, and the very bytes it held written again (the same tables) are that state and keep its
  // stamp (a program change built from them still lands).
  preset->mChunk.Rewrite();
  SerializeState(&preset->mChunk);
  if (!keepSame || !preset->mInitialized || !preset->mChunk.Unchanged()) PresetReplaced(preset);
  preset->mChunk.EndRewrite(); // the tables it held, unless the live state still holds them
  if (name && *name) preset->SetName(name);
  // The slot now holds a state: without the flag a saved bank would drop it (and its name) again.
  preset->mInitialized = true;
  if (idx == GetCurrentPresetIdx()) {
    mLiveStored = preset->mStored;
    mLiveHoldsOthers = false;
  }
}

int64_t IPlugBase::PresetsSize(int only, bool tables) const
{
  int64_t total = 0;
  for (int i = 0; i < mPresets.GetSize(); ++i) {
    const IPreset* preset = mPresets.Get(i);
    if (only >= 0 && i != only) continue;
    total += 5 + (int64_t)std::strlen(preset->mName);
    if (preset->mInitialized) total += tables ? preset->mChunk.FlatSize() : preset->mChunk.Size();
  }
  return total;
}

bool IPlugBase::SerializePresets(ByteChunk* chunk, int pending, const ByteChunk* pendingState)
{
  // Into a chunk that keeps runs only the slots' bytes are copied (the tables by reference).
  const int64_t total = chunk->Size() + PresetsSize(-1, !chunk->KeepsRunsShared());
  if (total < INT_MAX) chunk->Reserve((int)total);
  if (chunk->KeepsRunsShared()) { // the references' list made at once: grown, it would free under the caller's lock
    int runs = chunk->NRuns() + (pendingState ? pendingState->NRuns() : 0);
    for (int i = 0; i < mPresets.GetSize(); ++i) runs += mPresets.Get(i)->mChunk.NRuns();
    chunk->ReserveRuns(runs);
  }
  for (int i = 0; i < mPresets.GetSize(); ++i) {
    IPreset* preset = mPresets.Get(i);
    const bool replaced = i == pending && pendingState;
    const bool initialized = preset->mInitialized || replaced;
    chunk->PutStr(preset->mName);
    chunk->Put(&initialized);
    if (initialized) chunk->PutChunk(replaced ? pendingState : &preset->mChunk);
  }
  return !chunk->Failed(); // a bank past the chunk limit lacks programs: never a whole bank
}

int IPlugBase::UnserializePresets(ByteChunk* chunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  int pos = startPos;
  WDL_String name;
  OnPresetsRead(true);
  for (int i = 0; pos >= 0 && i < mPresets.GetSize(); ++i) {
    IPreset* preset = mPresets.Get(i);
    pos = chunk->GetStr(&name, pos);
    if (pos < 0) break;
    preset->SetName(name.Get());
    bool initialized = false;
    pos = chunk->Get(&initialized, pos);
    if (pos < 0) break;
    if (initialized) {
      // Each program goes through the live plug-in, so that every slot ends up in the current state format.
      pos = UnserializeState(chunk, pos);
      if (pos > 0) {
        preset->mInitialized = true;
        preset->mChunk.Empty();
        PresetReplaced(preset);
        SerializeState(&preset->mChunk);
      }
    }
  }
  OnPresetsRead(false);
  RestorePreset(ProgramForHost());
  return pos;
}

bool IPlugBase::PutCurrentProgram(ByteChunk* chunk)
{
  const int before = chunk->Size();
  const int32_t tag = kCurrentProgramTag, current = ProgramForHost();
  chunk->Put(&tag);
  chunk->Put(&current);
  return chunk->Size() == before + 8;
}

int IPlugBase::GetCurrentProgram(const ByteChunk* chunk, int pos)
{
  int32_t tag = 0, current = -1;
  if (pos < 0 || (pos = chunk->Get(&tag, pos)) < 0 || tag != kCurrentProgramTag) return -1;
  if (chunk->Get(&current, pos) < 0 || current < 0 || current >= NPresets()) return -1;
  return current;
}

int IPlugBase::LoadPresets(ByteChunk* chunk, int startPos)
{
  // Each stored program is taken aside into the current state format; only then are the slots replaced,
  // together with the current program's state, in one hold of the mutex.
  // Program changes taken meanwhile are not built until the bank is in place, which supersedes those taken
  // before it began.
  const HeldProgramBuilds held(this);
  const int n = NPresets();
  std::vector<BankSlot> slots((size_t)(n > 0 ? n : 0));
  int pos = startPos;
  bool aside = true;
  for (int i = 0; pos >= 0 && i < n && aside; ++i) {
    BankSlot& slot = slots[(size_t)i];
    pos = chunk->GetStr(&slot.name, pos);
    if (pos < 0) break;
    slot.named = true;
    bool initialized = false;
    pos = chunk->Get(&initialized, pos);
    if (pos < 0 || !initialized) continue;
    pos = NormalizeState(chunk, pos, &slot.state);
    if (pos == kNotPrepared) aside = false;
    slot.initialized = pos > 0;
  }
  if (!aside) {
    // The plug-in reads programs only through its live state: all of it in one hold of the mutex.
    WDL_MutexLock lock(&mMutex);
    int end = -1;
    if (!ReadOrKeepState([&] { return end = UnserializePresets(chunk, startPos); }, ProgramChangesTaken())) return -1;
    const int saved = GetCurrentProgram(chunk, end);
    if (saved >= 0 && saved != ProgramForHost()) RestorePreset(saved);
    return end;
  }
  if (pos < 0) return -1;
  return PutBankInPlace(slots, GetCurrentProgram(chunk, pos)) ? pos : -1;
}

bool IPlugBase::PutBankInPlace(std::vector<BankSlot>& slots, int saved, const LoadTicket* over, bool* outdated)
{
  ByteChunk copy(ByteChunk::kKeepsRuns);
  int current = -1;
  return LoadState(
             [&](LoadTicket* ticket, const ByteChunk** chunk, int* pos) {
               if (over && !LoadGoesOnOver(ticket, *over)) { // read over what the programs held
                 if (outdated) *outdated = true;
                 return false;
               }
               current = saved >= 0 ? saved : ticket->program;
               if (current < 0 || current >= NPresets()) return false;
               *pos = 0;
               if (current < (int)slots.size() && slots[(size_t)current].initialized) {
                 *chunk = &slots[(size_t)current].state;
                 return true;
               }
               // A program the bank leaves as it was: its stored state, or the live one for an empty slot.
               copy.Clear(); // (keeps runs: the tables by reference)
               *chunk = &copy;
               ticket->slot = current;
               if (CopyPresetState(current, &copy, &ticket->stored)) return true;
               return SerializeState(&copy);
             },
             false,
             [&](const LoadTicket&, int) {
               {
                 WDL_MutexLock presets(&mPresetsMutex);
                 for (int i = 0; i < (int)slots.size() && i < mPresets.GetSize(); ++i) {
                   BankSlot& slot = slots[(size_t)i];
                   IPreset* preset = mPresets.Get(i);
                   if (slot.named) preset->SetName(slot.name.Get());
                   if (!slot.initialized) continue;
                   preset->mInitialized = true;
                   preset->mChunk.Swap(slot.state);
                   PresetReplaced(preset);
                 }
                 if (!mPresets.Get(current)->mInitialized) StoreLiveStateAsNewProgram(current);
               }
               SelectPreset(current, PresetStored(current));
             }) >= 0;
}

void IPlugBase::EnsureDefaultPreset()
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  while (IPreset* preset = GetNextUninitializedPreset(&mPresets)) StoreLiveState(mPresets.Find(preset), "Empty");
}

void IPlugBase::PruneUninitializedPresets()
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  for (int i = 0; i < mPresets.GetSize();) {
    if (!mPresets.Get(i)->mInitialized)
      mPresets.Delete(i, true);
    else
      ++i;
  }
}

bool IPlugBase::BackUpState(StateBackup* backup)
{
  backup->mLive.Clear();
  if (!SerializeState(&backup->mLive)) return false;
  backup->mPresets.Empty(true);
  for (int i = 0; i < mPresets.GetSize(); ++i) {
    const IPreset* from = mPresets.Get(i);
    IPreset* copy = new IPreset;
    copy->mInitialized = from->mInitialized;
    copy->SetName(from->mName);
    copy->mChunk.PutChunk(&from->mChunk);
    copy->mStored = from->mStored;
    backup->mPresets.Add(copy);
  }
  backup->mCurrentPresetIdx = GetCurrentPresetIdx();
  backup->mLiveStored = mLiveStored;
  backup->mLiveHoldsOthers = mLiveHoldsOthers;
  return backup->mPresets.GetSize() == mPresets.GetSize();
}

bool IPlugBase::StateUnchanged(StateBackup* backup)
{
  if (GetCurrentPresetIdx() != backup->mCurrentPresetIdx || mPresets.GetSize() != backup->mPresets.GetSize())
    return false;
  for (int i = 0; i < mPresets.GetSize(); ++i) {
    const IPreset* now = mPresets.Get(i);
    const IPreset* then = backup->mPresets.Get(i);
    if (!now || !then) return false;
    if (now->mInitialized != then->mInitialized || std::strcmp(now->mName, then->mName) ||
        !now->mChunk.IsEqual(&then->mChunk))
      return false;
  }
  ByteChunk live(ByteChunk::kKeepsRuns);
  return SerializeState(&live) && live.IsEqual(&backup->mLive);
}

void IPlugBase::RestoreState(StateBackup* backup)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  // Most failed reads fail on the header, before anything changed: applying the backup again would only
  // give every slot new modules in every voice.
  if (StateUnchanged(backup)) return;
  for (int i = 0; i < mPresets.GetSize() && i < backup->mPresets.GetSize(); ++i) {
    IPreset* to = mPresets.Get(i);
    const IPreset* from = backup->mPresets.Get(i);
    to->mInitialized = from->mInitialized;
    to->SetName(from->mName);
    to->mChunk.Clear();
    to->mChunk.PutChunk(&from->mChunk);
    to->mStored = from->mStored; // the very state it held then: a rewrite meant for it still applies
  }
  mCurrentPresetIdx.store(backup->mCurrentPresetIdx, std::memory_order_release);
  mLiveStored = backup->mLiveStored;
  mLiveHoldsOthers = backup->mLiveHoldsOthers;
  UnserializeState(&backup->mLive, 0);
  RedrawParamControls();
}

// ---- factory-program makers ----------------------------------------------------------------------------------

namespace {

bool TakesIntArgument(const IParam* param)
{
  IParam::EParamType t = param->Type();
  return t == IParam::kTypeBool || t == IParam::kTypeInt || t == IParam::kTypeEnum;
}

// Standard base64 alphabet; decoding stops at the first other character (so "=" padding ends it).
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c)
{
  const char* p = c ? std::strchr(kBase64, c) : nullptr;
  return p ? (int)(p - kBase64) : -1;
}

void Base64Encode(const unsigned char* data, int size, WDL_String* out)
{
  out->Set("");
  char quad[5] = {};
  for (int i = 0; i < size; i += 3) {
    unsigned v = (unsigned)data[i] << 16;
    if (i + 1 < size) v |= (unsigned)data[i + 1] << 8;
    if (i + 2 < size) v |= data[i + 2];
    quad[0] = kBase64[(v >> 18) & 63];
    quad[1] = kBase64[(v >> 12) & 63];
    quad[2] = i + 1 < size ? kBase64[(v >> 6) & 63] : '=';
    quad[3] = i + 2 < size ? kBase64[v & 63] : '=';
    out->Append(quad);
  }
}

} // namespace

void IPlugBase::MakeDefaultPreset(const char* name, int nPresets)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  for (int i = 0; i < nPresets; ++i) {
    IPreset* preset = GetNextUninitializedPreset(&mPresets);
    if (!preset) return;
    StoreLiveState(mPresets.Find(preset), name ? name : "Empty");
  }
}

void IPlugBase::MakePreset(const char* name, ...)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  IPreset* preset = GetNextUninitializedPreset(&mPresets);
  if (!preset) return;
  preset->mInitialized = true;
  preset->SetName(name);
  preset->mChunk.Clear();
  PresetReplaced(preset);
  va_list args;
  va_start(args, name);
  for (int i = 0; i < NParams(); ++i) {
    double v = TakesIntArgument(GetParam(i)) ? (double)va_arg(args, int) : va_arg(args, double);
    preset->mChunk.Put(&v);
  }
  va_end(args);
}

void IPlugBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  IPreset* preset = GetNextUninitializedPreset(&mPresets);
  if (!preset) return;
  preset->mInitialized = true;
  preset->SetName(name);

  WDL_TypedBuf<double> values;
  double* v = values.Resize(NParams());
  for (int i = 0; i < NParams() && v; ++i) v[i] = GetParam(i)->Value();

  static const double kNotNamed = 9.999e-8;
  va_list args;
  va_start(args, nParamsNamed);
  for (int i = 0; i < nParamsNamed; ++i) {
    int idx = va_arg(args, int);
    IParam* param = GetParam(idx);
    // The value's type follows the parameter; for an index outside the list it is taken as a double.
    double value = param && TakesIntArgument(param) ? (double)va_arg(args, int) : va_arg(args, double);
    if (param && v && value != kNotNamed) v[idx] = value;
  }
  va_end(args);

  preset->mChunk.Clear();
  PresetReplaced(preset);
  for (int i = 0; i < NParams() && v; ++i) preset->mChunk.Put(v + i);
}

void IPlugBase::MakePresetFromChunk(const char* name, ByteChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  IPreset* preset = GetNextUninitializedPreset(&mPresets);
  if (!preset) return;
  preset->mInitialized = true;
  preset->SetName(name);
  preset->mChunk.Clear();
  PresetReplaced(preset);
  preset->mChunk.PutChunk(chunk);
}

void IPlugBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk)
{
  WDL_MutexLock lock(&mMutex);
  WDL_MutexLock presets(&mPresetsMutex);
  if (sizeOfChunk < 0) sizeOfChunk = 0;
  ByteChunk decoded;
  decoded.Resize(sizeOfChunk);
  unsigned char* out = decoded.GetBytes();
  int written = 0;
  unsigned bits = 0;
  int nBits = 0;
  for (const char* p = blob; p && *p; ++p) {
    int v = Base64Value(*p);
    if (v < 0) break;
    bits = (bits << 6) | (unsigned)v;
    nBits += 6;
    if (nBits >= 8) {
      nBits -= 8;
      if (written < sizeOfChunk) out[written] = (unsigned char)(bits >> nBits);
      ++written;
    }
  }
  MakePresetFromChunk(name, &decoded);
}

// ---- development dumps ---------------------------------------------------------------------------------------

namespace {

bool CloseChecked(FILE* f, bool ok)
{
  ok = std::ferror(f) == 0 && ok;
  return std::fclose(f) == 0 && ok;
}

bool PutBlobLine(FILE* f, const char* name, const ByteChunk* state)
{
  ByteChunk chunk; // the state whole, its tables' bytes in place
  chunk.PutChunk(state);
  WDL_String text;
  Base64Encode(chunk.GetBytes(), chunk.Size(), &text);
  return std::fprintf(f, "MakePresetFromBlob(\"%s\", \"%s\", %d);\n", name, text.Get(), chunk.Size()) > 0;
}

} // namespace

bool IPlugBase::DumpPresetSrcCode(const char* path, const char** paramEnumNames)
{
  if (!path || !paramEnumNames) return false;
  FILE* f = std::fopen(path, "w");
  if (!f) return false;
  bool ok = std::fprintf(f, "  MakePresetFromNamedParams(\"name\", %d", NParams()) > 0;
  for (int i = 0; i < NParams() && ok; ++i) {
    const IParam* param = GetParam(i);
    char value[64];
    switch (param->Type()) {
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
      std::snprintf(value, sizeof value, "%d", param->Int());
      break;
    case IParam::kTypeBool:
      std::snprintf(value, sizeof value, "%s", param->Value() >= 0.5 ? "true" : "false");
      break;
    default:
      WDL_snprintf_C(value, sizeof value, "%.6f", param->Value()); // C source: a point
      break;
    }
    ok = std::fprintf(f, ",\n    %s, %s", paramEnumNames[i] ? paramEnumNames[i] : "", value) > 0;
  }
  ok = ok && std::fprintf(f, ");\n") > 0;
  return CloseChecked(f, ok);
}

bool IPlugBase::DumpPresetBlob(const char* path)
{
  const IPreset* preset = mPresets.Get(GetCurrentPresetIdx());
  if (!preset || !path) return false;
  FILE* f = std::fopen(path, "w");
  if (!f) return false;
  return CloseChecked(f, PutBlobLine(f, "name", &preset->mChunk));
}

bool IPlugBase::DumpBankBlob(const char* path)
{
  if (!path) return false;
  FILE* f = std::fopen(path, "w");
  if (!f) return false;
  bool ok = true;
  for (int i = 0; i < mPresets.GetSize() && ok; ++i)
    ok = PutBlobLine(f, mPresets.Get(i)->mName, &mPresets.Get(i)->mChunk);
  return CloseChecked(f, ok);
}
