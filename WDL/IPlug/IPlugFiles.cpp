// IPlugBase: program (.fxp) and bank (.fxb) files. Header integers are big-endian; the chunk variants
// "FPCh" and "FBCh" are written, and all four variants ("FxCk", "FPCh", "FxBk", "FBCh") are read.
//
// A load reads the whole file first and checks its header and size before anything changes; a load that
// fails after that puts the previous state, programs and current program back. A save builds the whole file
// in memory (a state past the chunk limit fails there, before any file is touched), then writes it under a
// temporary name and puts it in place only once every byte and the close are checked: a failed save leaves
// the previous file whole.
#include "IPlugBase.h"
#include "filewrite.h"
#include "utf8.h"

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

bool IPlugBase::ReadFile(const WDL_String* fileName, ByteChunk* chunk)
{
  chunk->Clear();
  if (!fileName || !fileName->GetLength()) return false;
  FILE* f = std::fopen(fileName->Get(), "rb");
  if (!f) return false;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  bool ok = size >= 0 && size < INT_MAX && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok && size > 0)
    ok = chunk->Resize((int)size) == (int)size && std::fread(chunk->GetBytes(), 1, size, f) == (size_t)size;
  std::fclose(f);
  if (!ok) chunk->Clear();
  return ok;
}

bool IPlugBase::WriteFile(const char* path, ByteChunk* chunk)
{
  return !chunk->Failed() && WDL_WriteWholeFile(path, chunk->GetBytes(), (size_t)chunk->Size());
}

bool IPlugBase::SaveProgramAsFXP(WDL_String* fileName)
{
  if (!fileName || !fileName->GetLength()) return false;
  WDL_MutexLock lock(&mMutex);
  ByteChunk file;
  if (DoesStateChunks()) {
    ByteChunk state;
    InitChunkWithIPlugVer(&state);
    if (!SerializeState(&state) || state.Size() > ByteChunk::MaxSize() - 60) return false;
    // The byte count is the whole file's length.
    PutProgramHeader(&file, state.Size() + 60, kFPCh, mUniqueID, GetEffectVersion(true), NParams(),
                     GetPresetName(mCurrentPresetIdx));
    PutBE(&file, state.Size());
    file.PutChunk(&state);
  } else {
    PutProgramHeader(&file, 0, kFxCk, mUniqueID, GetEffectVersion(true), NParams(), GetPresetName(mCurrentPresetIdx));
    for (int i = 0; i < NParams(); ++i) PutBEFloat(&file, (float)GetParam(i)->GetNormalized());
  }
  return WriteFile(fileName->Get(), &file); // refuses a file that lacks anything
}

bool IPlugBase::SaveBankAsFXB(WDL_String* fileName)
{
  if (!fileName || !fileName->GetLength()) return false;
  WDL_MutexLock lock(&mMutex);
  ByteChunk file;
  const bool chunks = DoesStateChunks();
  ByteChunk bank;
  if (chunks) {
    InitChunkWithIPlugVer(&bank);
    if (!SerializePresets(&bank) || bank.Size() > ByteChunk::MaxSize() - 160) return false;
  }
  PutBE(&file, kCcnK);
  PutBE(&file, chunks ? bank.Size() + 160 : 0); // the whole file's length in the chunk variant
  PutBE(&file, chunks ? kFBCh : kFxBk);
  PutBE(&file, 2);
  PutBE(&file, mUniqueID);
  PutBE(&file, GetEffectVersion(true));
  PutBE(&file, NPresets());
  PutBE(&file, mCurrentPresetIdx);
  file.Resize(kBankHeader); // reserved bytes, zero
  if (chunks) {
    PutBE(&file, bank.Size());
    file.PutChunk(&bank);
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
  return WriteFile(fileName->Get(), &file); // refuses a file that lacks anything
}

bool IPlugBase::LoadProgramFromFXP(WDL_String* fileName)
{
  ByteChunk file;
  return ReadFile(fileName, &file) && LoadProgramFromFXPData(&file);
}

bool IPlugBase::LoadProgramFromFXPData(ByteChunk* file)
{
  // The file is the caller's: the mutex is taken only where the plug-in's state changes.
  if (file->Size() < kProgramHeader) return false;
  const int magic = GetBE(file, 0), fxMagic = GetBE(file, 8), formatVersion = GetBE(file, 12), id = GetBE(file, 16);
  char name[kNameBytes + 1];
  GetName(file, 28, name);
  if (magic != kCcnK || formatVersion != 1 || id != mUniqueID) return false;

  int current;
  if (fxMagic == kFPCh && DoesStateChunks()) {
    if (file->Size() < kProgramHeader + 4) return false; // the chunk size field is missing
    if (LoadState(file, StateStart(file, kProgramHeader + 4), true, [&](int) { ModifyCurrentPreset(name); }) < 0)
      return false;
    WDL_MutexLock lock(&mMutex);
    current = mCurrentPresetIdx;
  } else if (fxMagic == kFxCk) {
    if ((file->Size() - kProgramHeader) / 4 < NParams()) return false; // not every value is there
    WDL_MutexLock lock(&mMutex);
    for (int i = 0; i < NParams(); ++i) GetParam(i)->SetNormalized(GetBEFloat(file, kProgramHeader + 4 * i));
    ModifyCurrentPreset(name);
    current = mCurrentPresetIdx;
  } else {
    return false;
  }
  RestorePreset(current);
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

bool IPlugBase::LoadBankFromFXB(WDL_String* fileName)
{
  ByteChunk file;
  return ReadFile(fileName, &file) && LoadBankFromFXBData(&file);
}

bool IPlugBase::LoadBankFromFXBData(ByteChunk* file)
{
  if (file->Size() < kBankHeader) return false;
  const int magic = GetBE(file, 0), fxMagic = GetBE(file, 8), id = GetBE(file, 16);
  const int nPrograms = GetBE(file, 24), currentProgram = GetBE(file, 28);
  if (magic != kCcnK || id != mUniqueID) return false;

  if (fxMagic == kFBCh && DoesStateChunks()) {
    if (file->Size() < kBankHeader + 4) return false;
    if (LoadPresets(file, StateStart(file, kBankHeader + 4)) < 0) return false;
    InformHostOfProgramChange();
    return true;
  }
  if (fxMagic != kFxBk) return false;
  WDL_MutexLock lock(&mMutex);

  // Every record is checked before the first one is applied. Records beyond the plug-in's programs are
  // ignored (selecting them would fail and pour their values into the last program).
  const int recordBytes = kProgramHeader + 4 * NParams();
  if (nPrograms < 0) return false;
  const int applied = nPrograms < NPresets() ? nPrograms : NPresets();
  if (applied > (file->Size() - kBankHeader) / recordBytes) return false;
  for (int p = 0; p < applied; ++p) {
    const int r = kBankHeader + p * recordBytes;
    if (GetBE(file, r + 12) != 1 || GetBE(file, r) != kCcnK || GetBE(file, r + 8) != kFxCk ||
        GetBE(file, r + 24) != NParams())
      return false;
  }
  for (int p = 0; p < applied; ++p) {
    const int r = kBankHeader + p * recordBytes;
    char name[kNameBytes + 1];
    GetName(file, r + 28, name);
    RestorePreset(p);
    for (int i = 0; i < NParams(); ++i) GetParam(i)->SetNormalized(GetBEFloat(file, r + kProgramHeader + 4 * i));
    ModifyCurrentPreset(name);
  }
  RestorePreset(currentProgram);
  InformHostOfProgramChange();
  return true;
}
