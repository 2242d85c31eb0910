// IPlugBase: program (.fxp) and bank (.fxb) files. Header integers are big-endian; the chunk variants
// "FPCh" and "FBCh" are written, and all four variants ("FxCk", "FPCh", "FxBk", "FBCh") are read.
//
// A load reads the whole file first (only a regular file, no larger than any bank) and checks its header and the
// sizes it records before anything changes; the state is then built aside and put in place as any load is. A
// load that fails after that puts the previous state, programs and current program back. A save takes the
// plug-in's bytes under the instance mutex and builds the whole file in memory (a state past the chunk limit
// fails there, before any file is touched), then writes it without the mutex (WDL_WriteWholeFile): a failed save
// leaves the previous file whole, and a slow disk never holds up the audio.
#include "IPlugBase.h"
#include "fileread.h"
#include "filewrite.h"
#include "utf8.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

const int kCcnK = FourCC("CcnK"), kFxCk = FourCC("FxCk"), kFPCh = FourCC("FPCh"), kFxBk = FourCC("FxBk"),
          kFBCh = FourCC("FBCh");

// Fixed header sizes: a program record up to its values or chunk size, a bank up to its first record or chunk
// size; the chunk variants add the 4-byte chunk size.
constexpr int kProgramHeader = 56, kBankHeader = 156, kNameBytes = 28;

void PutBE(ByteChunk* c, int v)
{
  unsigned char b[4] = {(unsigned char)(v >> 24), (unsigned char)(v >> 16), (unsigned char)(v >> 8), (unsigned char)v};
  c->PutBytes(b, 4);
}

void PutBEFloat(ByteChunk* c, float f)
{
  int bits;
  std::memcpy(&bits, &f, 4);
  PutBE(c, bits);
}

// The caller has checked that the 4 bytes lie inside the chunk.
int GetBE(const ByteChunk* c, int pos)
{
  const unsigned char* b = c->GetBytes() + pos;
  return (int)(((unsigned)b[0] << 24) | ((unsigned)b[1] << 16) | ((unsigned)b[2] << 8) | (unsigned)b[3]);
}

float GetBEFloat(const ByteChunk* c, int pos)
{
  int bits = GetBE(c, pos);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// A 28-byte name: at most 27 bytes written, NUL padded, cut between characters. Read back, a name without
// NUL has 28 bytes.
void PutName(ByteChunk* c, const char* name)
{
  char field[kNameBytes] = {};
  std::memcpy(field, name, WDL_UTF8Prefix(name, kNameBytes - 1));
  c->PutBytes(field, kNameBytes);
}

// A program record's header: byteSize is the count stored after the magic (0 in the value
// variant), the format version 1.
void PutProgramHeader(ByteChunk* c, int byteSize, int fxMagic, int id, int version, int nParams, const char* name)
{
  PutBE(c, kCcnK);
  PutBE(c, byteSize);
  PutBE(c, fxMagic);
  PutBE(c, 1);
  PutBE(c, id);
  PutBE(c, version);
  PutBE(c, nParams);
  PutName(c, name);
}

void GetName(const ByteChunk* c, int pos, char* name)
{
  std::memcpy(name, c->GetBytes() + pos, kNameBytes);
  name[kNameBytes] = 0;
}

// Where the state starts in a chunk-variant file: after the framework header when the chunk has one.
int StateStart(ByteChunk* file, int chunkStart)
{
  int magic = 0;
  if (file->Get(&magic, chunkStart) > 0 && magic == IPlugBase::kMagic) return chunkStart + 8;
  return chunkStart;
}

} // namespace

bool IPlugBase::ReadFile(const WDL_String* fileName, ByteChunk* chunk, int* err)
{
  chunk->Clear();
  // Told from its size before a byte is read: a file larger than any bank (a sparse file of a gigabyte, say),
  // which is read into one chunk, header and all.
  const auto room = [chunk](int size) -> void* { return chunk->Resize(size) == size ? chunk->GetBytes() : nullptr; };
  return WDL_ReadWholeFile(fileName ? fileName->Get() : nullptr, ByteChunk::MaxSize(), room, err);
}

bool IPlugBase::WriteFile(const char* path, ByteChunk* chunk, int* err)
{
  if (chunk->Failed()) {
    if (err) *err = EFBIG;
    return false;
  }
  return WDL_WriteWholeFile(path, chunk->GetBytes(), (size_t)chunk->Size(), err);
}

namespace {
bool Refuse(int* err, int e)
{
  if (err) *err = e;
  return false;
}

// A file's byte count (after its tag) against its length: we write the whole length, others the length after
// the count; a hand-made file may leave it 0. The chunk size, checked beside it, is exact.
bool ByteCountFits(int byteSize, int fileSize)
{
  return byteSize == 0 || byteSize == fileSize || byteSize == fileSize - 8;
}
} // namespace

bool IPlugBase::SaveProgramAsFXP(WDL_String* fileName, int* err)
{
  if (!fileName || !fileName->GetLength()) return Refuse(err, ENOENT);
  ByteChunk file;
  // The state is taken under the mutex, its tables by reference; their bytes and the disk are written without it.
  ByteChunk state(ByteChunk::kKeepsRuns);
  char name[IPreset::kNameSize];
  {
    WDL_MutexLock lock(&mMutex);
    std::snprintf(name, sizeof name, "%s", GetPresetName(GetCurrentPresetIdx()));
    if (DoesStateChunks()) {
      InitChunkWithIPlugVer(&state);
      if (!SerializeState(&state) || state.FlatSize() > ByteChunk::MaxSize() - 60) return Refuse(err, EFBIG);
    } else {
      PutProgramHeader(&file, 0, kFxCk, mUniqueID, GetEffectVersion(true), NParams(), name);
      for (int i = 0; i < NParams(); ++i) PutBEFloat(&file, (float)GetParam(i)->GetNormalized());
    }
  }
  if (DoesStateChunks()) {
    const int size = (int)state.FlatSize();
    // The byte count is the whole file's length.
    PutProgramHeader(&file, size + 60, kFPCh, mUniqueID, GetEffectVersion(true), NParams(), name);
    PutBE(&file, size);
    file.PutChunk(&state);
  }
  return WriteFile(fileName->Get(), &file, err); // refuses a file that lacks anything
}

bool IPlugBase::SaveBankAsFXB(WDL_String* fileName, int* err)
{
  if (!fileName || !fileName->GetLength()) return Refuse(err, ENOENT);
  ByteChunk file;
  // The programs are taken under the mutex, their tables by reference; their bytes and the disk are written
  // without it.
  ByteChunk bank(ByteChunk::kKeepsRuns);
  const bool chunks = DoesStateChunks();
  {
    WDL_MutexLock lock(&mMutex);
    if (chunks) {
      InitChunkWithIPlugVer(&bank);
      if (!SerializePresets(&bank) || bank.FlatSize() > ByteChunk::MaxSize() - 160) return Refuse(err, EFBIG);
    }
    PutBE(&file, kCcnK);
    PutBE(&file, chunks ? (int)bank.FlatSize() + 160 : 0); // the whole file's length in the chunk variant
    PutBE(&file, chunks ? kFBCh : kFxBk);
    PutBE(&file, 2);
    PutBE(&file, mUniqueID);
    PutBE(&file, GetEffectVersion(true));
    PutBE(&file, NPresets());
    PutBE(&file, GetCurrentPresetIdx());
    file.Resize(kBankHeader); // reserved bytes, zero
    if (chunks) {
      PutBE(&file, (int)bank.FlatSize());
    } else {
      for (int p = 0; p < NPresets(); ++p) {
        const IPreset* preset = mPresets.Get(p);
        PutProgramHeader(&file, 0, kFxCk, mUniqueID, GetEffectVersion(true), NParams(), preset->mName);
        // The slot's stored values are its chunk's doubles in order; a value it does not hold counts as 0.
        int pos = 0;
        for (int i = 0; i < NParams(); ++i) {
          double v = 0.0;
          if (pos >= 0) pos = preset->mChunk.Get(&v, pos);
          if (pos < 0) v = 0.0;
          PutBEFloat(&file, (float)GetParam(i)->GetNormalized(v));
        }
      }
    }
  }
  file.PutChunk(&bank);
  return WriteFile(fileName->Get(), &file, err); // refuses a file that lacks anything
}

bool IPlugBase::LoadProgramFromFXP(WDL_String* fileName, int* err)
{
  ByteChunk file;
  return ReadFile(fileName, &file, err) && LoadProgramFromFXPData(&file, err);
}

bool IPlugBase::LoadProgramFromFXPData(ByteChunk* file, int* err)
{
  // The file is the caller's: the mutex is taken only where the plug-in's state changes.
  if (file->Size() < kProgramHeader) return Refuse(err, EBADMSG);
  const int magic = GetBE(file, 0), byteSize = GetBE(file, 4), fxMagic = GetBE(file, 8),
            formatVersion = GetBE(file, 12), id = GetBE(file, 16);
  char name[kNameBytes + 1];
  GetName(file, 28, name);
  if (magic != kCcnK || formatVersion != 1 || id != mUniqueID) return Refuse(err, EBADMSG);

  if (fxMagic == kFPCh && DoesStateChunks()) {
    // The sizes the file records are its own: a file cut short or padded is not the program it was.
    if (file->Size() < kProgramHeader + 4 || GetBE(file, kProgramHeader) != file->Size() - kProgramHeader - 4 ||
        !ByteCountFits(byteSize, file->Size()))
      return Refuse(err, EBADMSG);
    if (LoadStateIntoProgram(file, StateStart(file, kProgramHeader + 4), name, false) < 0) return Refuse(err, EBADMSG);
  } else if (fxMagic == kFxCk) {
    if (GetBE(file, 24) != NParams() || file->Size() != kProgramHeader + 4 * NParams() ||
        !LoadValueProgram(file, name))
      return Refuse(err, EBADMSG);
  } else {
    return Refuse(err, EBADMSG);
  }
  InformHostOfProgramChange();
  return true;
}

bool IPlugBase::BankFileHoldsPrograms(ByteChunk* file)
{
  if (file->Size() < kBankHeader) return false;
  const int fxMagic = GetBE(file, 8);
  if (fxMagic == kFxBk) return GetBE(file, 24) != 0;
  if (fxMagic != kFBCh || file->Size() < kBankHeader + 4) return false;
  // Records of name and flag; an uninitialised program's record ends with its flag.
  WDL_String name;
  for (int i = 0, pos = StateStart(file, kBankHeader + 4); i < NPresets() && pos >= 0; ++i) {
    bool initialized = false;
    pos = file->GetStr(&name, pos);
    if (pos >= 0) pos = file->Get(&initialized, pos);
    if (pos >= 0 && initialized) return true;
  }
  return false;
}

bool IPlugBase::LoadBankFromFXB(WDL_String* fileName, int* err)
{
  ByteChunk file;
  return ReadFile(fileName, &file, err) && LoadBankFromFXBData(&file, err);
}

bool IPlugBase::LoadBankFromFXBData(ByteChunk* file, int* err)
{
  if (file->Size() < kBankHeader) return Refuse(err, EBADMSG);
  const int magic = GetBE(file, 0), byteSize = GetBE(file, 4), fxMagic = GetBE(file, 8), id = GetBE(file, 16);
  const int nPrograms = GetBE(file, 24), currentProgram = GetBE(file, 28);
  if (magic != kCcnK || id != mUniqueID) return Refuse(err, EBADMSG);

  if (fxMagic == kFBCh && DoesStateChunks()) {
    // The byte count (the whole file's length as we write it; the length after it as others do) and the chunk
    // size must both be the file's: a bank cut by a few bytes loses its current program's record.
    if (file->Size() < kBankHeader + 4 || GetBE(file, kBankHeader) != file->Size() - kBankHeader - 4 ||
        !ByteCountFits(byteSize, file->Size()) || currentProgram < 0 || currentProgram >= NPresets())
      return Refuse(err, EBADMSG);
    if (LoadPresets(file, StateStart(file, kBankHeader + 4)) < 0) return Refuse(err, EBADMSG);
    InformHostOfProgramChange();
    return true;
  }
  if (fxMagic != kFxBk) return Refuse(err, EBADMSG);

  // Every record is checked before the first one is applied. Records beyond the plug-in's programs are
  // ignored (selecting them would fail and pour their values into the last program).
  const int recordBytes = kProgramHeader + 4 * NParams();
  if (nPrograms < 1 || currentProgram < 0 || currentProgram >= nPrograms || currentProgram >= NPresets() ||
      (int64_t)file->Size() != kBankHeader + (int64_t)nPrograms * recordBytes)
    return Refuse(err, EBADMSG);
  const int applied = nPrograms < NPresets() ? nPrograms : NPresets();
  for (int p = 0; p < applied; ++p) {
    const int r = kBankHeader + p * recordBytes;
    if (GetBE(file, r + 12) != 1 || GetBE(file, r) != kCcnK || GetBE(file, r + 8) != kFxCk ||
        GetBE(file, r + 24) != NParams())
      return Refuse(err, EBADMSG);
  }
  if (!LoadValueBank(file, applied, currentProgram)) return Refuse(err, EBADMSG);
  InformHostOfProgramChange();
  return true;
}

namespace {
// A record's values (its header at r), as the host's values.
std::vector<IPlugBase::HostSet> RecordValues(const IPlugBase& plug, const ByteChunk* file, int r)
{
  std::vector<IPlugBase::HostSet> sets((size_t)plug.NParams());
  for (int i = 0; i < plug.NParams(); ++i) sets[(size_t)i] = {i, GetBEFloat(file, r + kProgramHeader + 4 * i), nullptr};
  return sets;
}

// What a record's values go over: program p's stored state, or the live state for an empty program; with the
// stamp of the slot as read.
bool StoredOrLiveState(IPlugBase& plug, int p, ByteChunk* base, unsigned* stored = nullptr)
{
  if (plug.CopyPresetState(p, base, stored)) return true;
  WDL_MutexLock lock(plug.GetMutex());
  if (plug.CopyPresetState(p, base, stored)) return true; // filled meanwhile
  if (stored) *stored = plug.PresetStored(p);
  return plug.SerializeState(base);
}

// Read in place, under the mutex: program p put in place, the record's values set on it, and stored under the
// record's name.
bool ValuesIntoProgramInPlace(IPlugBase& plug, int p, const ByteChunk* file, int r)
{
  char name[kNameBytes + 1];
  GetName(file, r + 28, name);
  if (!plug.RestorePreset(p)) return false;
  for (const IPlugBase::HostSet& set : RecordValues(plug, file, r)) plug.GetParam(set.paramIdx)->SetNormalized(set.value);
  return plug.ModifyCurrentPreset(name);
}
} // namespace

bool IPlugBase::LoadValueProgram(const ByteChunk* file, const char* name)
{
  // The values go over the program's slot state (the live one for an empty slot).
  const std::vector<HostSet> sets = RecordValues(*this, file, 0);
  const int loaded = LoadOverProgram(
      [this](int program, ByteChunk* base) { return StoredOrLiveState(*this, program, base); },
      [&](const ByteChunk& base, ByteChunk* state) { return NormalizeState(&base, 0, state, sets.data(), NParams()); },
      name);
  if (loaded != kNotPrepared) return loaded >= 0;
  // A plug-in that reads states only through its live state, or one that kept changing: in one hold, the program
  // stored with the values then put in place as the bank's current program is (the values alone reach the
  // parameters, not what the plug-in makes of them).
  WDL_MutexLock lock(&mMutex);
  const int program = ProgramForHost();
  return ReadOrKeepState(
      [&] { return ValuesIntoProgramInPlace(*this, program, file, 0) && RestorePreset(program) ? 0 : -1; },
      ProgramChangesTaken());
}

bool IPlugBase::LoadValueBank(const ByteChunk* file, int applied, int currentProgram)
{
  // Each record's values go onto its program's stored state, read aside, and the slots are replaced together
  // with the current program's state: the 64 programs are never built under the mutex. The ticket is taken
  // before the first slot is read, and the bank goes in place only while nothing was put in place since and
  // every slot still holds what was read: else it is read again (a load beside it lands wholly before or after).
  const int recordBytes = kProgramHeader + 4 * NParams();
  const HeldProgramBuilds held(this);
  for (int attempt = 0; attempt < kPrepareAttempts; ++attempt) {
    LoadTicket over;
    {
      WDL_MutexLock lock(&mMutex);
      BeginLoad(&over);
    }
    std::vector<BankSlot> slots((size_t)NPresets());
    std::vector<unsigned> stamps((size_t)applied);
    bool aside = true;
    for (int p = 0; p < applied && aside; ++p) {
      const int r = kBankHeader + p * recordBytes;
      BankSlot& slot = slots[(size_t)p];
      char name[kNameBytes + 1];
      GetName(file, r + 28, name);
      slot.name.Set(name);
      slot.named = true;
      ByteChunk base(ByteChunk::kKeepsRuns); // the tables by reference
      if (!StoredOrLiveState(*this, p, &base, &stamps[(size_t)p])) return false;
      const int end = NormalizeState(&base, 0, &slot.state, RecordValues(*this, file, r).data(), NParams());
      if (end < 0 && end != kNotPrepared) return false;
      aside = end != kNotPrepared;
      slot.initialized = true;
    }
    if (!aside) break;
    over.stamps = stamps.data();
    over.nStamps = applied;
    bool outdated = false;
    if (PutBankInPlace(slots, currentProgram, &over, &outdated)) return true;
    if (!outdated) return false;
  }
  // A plug-in that reads states only through its live state, or programs that kept changing: one program after
  // another, in one hold.
  WDL_MutexLock lock(&mMutex);
  return ReadOrKeepState(
      [&] {
        for (int p = 0; p < applied; ++p) ValuesIntoProgramInPlace(*this, p, file, kBankHeader + p * recordBytes);
        return RestorePreset(currentProgram) ? 0 : -1;
      },
      ProgramChangesTaken());
}
