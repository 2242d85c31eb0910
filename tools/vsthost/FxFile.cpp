#include "FxFile.h"
#include "ByteChunk.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>

namespace vsthost {

namespace {

// A bank file's header in front of its chunk, the larger of the two chunk headers (a program's is 60 bytes).
constexpr int64_t kBankHeaderBytes = 160;

constexpr uint32_t Tag(const char* t)
{
  return ((uint32_t)(uint8_t)t[0] << 24) | ((uint32_t)(uint8_t)t[1] << 16) | ((uint32_t)(uint8_t)t[2] << 8) |
         (uint32_t)(uint8_t)t[3];
}

uint32_t BE32(const uint8_t* p)
{
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

float BEFloat(const uint8_t* p)
{
  uint32_t bits = BE32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

void PutBE32(std::vector<uint8_t>* out, uint32_t v)
{
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back((uint8_t)(v >> shift));
}

void PutBEFloat(std::vector<uint8_t>* out, float f)
{
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  PutBE32(out, bits);
}

// A 28-byte name field: at most 27 bytes, cut between characters, and a NUL, zero padded.
void PutName(std::vector<uint8_t>* out, const std::string& name)
{
  const size_t n = WDL_UTF8Prefix(name.c_str(), 27);
  out->insert(out->end(), name.begin(), name.begin() + n);
  out->insert(out->end(), 28 - n, 0);
}

std::string NameField(const uint8_t* p)
{
  size_t n = 0;
  while (n < 28 && p[n]) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string CurrentProgramName(Plugin& plugin)
{
  char buf[512] = {};
  plugin.Dispatch(effGetProgramName, 0, 0, buf);
  buf[sizeof buf - 1] = 0;
  return buf;
}

void SetProgramName(Plugin& plugin, const std::string& name)
{
  char buf[kVstMaxProgNameLen];
  WDL_UTF8CopyBounded(buf, name.c_str(), sizeof buf);
  plugin.Dispatch(effSetProgramName, 0, 0, buf);
}

// Hands a chunk to the plug-in and tells whether it took it. An answer of 1 says so; several plug-ins answer 0
// whatever happened, so 0 counts as a refusal only when the plug-in's state stayed as it was and is not the chunk.
bool HandChunk(Plugin& plugin, const std::vector<uint8_t>& chunk, bool isProgram)
{
  const std::vector<uint8_t> before = plugin.GetChunk(isProgram);
  if (plugin.SetChunk(chunk, isProgram) == 1) return true;
  const std::vector<uint8_t> after = plugin.GetChunk(isProgram);
  return after != before || after == chunk;
}

// The plug-in's chunk, or false with the reason when it gives none: a plug-in that answers no chunk could
// not save its state (one too large for a chunk, say), and an empty file would be no save of it.
bool ChunkOf(Plugin& plugin, bool isProgram, std::vector<uint8_t>* chunk, std::string* error)
{
  *chunk = plugin.GetChunk(isProgram);
  if (!chunk->empty()) return true;
  *error = std::string("the plug-in gave no ") + (isProgram ? "program" : "bank") +
           " chunk: it could not save its state, so nothing was written";
  return false;
}

// The common program header: magic, byte size, file magic, format version, ID, version, parameter count.
void PutProgramHeader(std::vector<uint8_t>* out, const char* fxMagic, uint32_t byteSize, AEffect* e)
{
  PutBE32(out, Tag("CcnK"));
  PutBE32(out, byteSize);
  PutBE32(out, Tag(fxMagic));
  PutBE32(out, 1);
  PutBE32(out, (uint32_t)e->uniqueID);
  PutBE32(out, (uint32_t)e->version);
  PutBE32(out, (uint32_t)e->numParams);
}

} // namespace

bool LoadFxFile(Plugin& plugin, const std::string& path, std::string* what, std::string* error)
{
  error->clear();
  std::vector<uint8_t> f;
  if (!ReadWholeFile(path, &f, error, ByteChunk::MaxSize() + kBankHeaderBytes)) return false;
  AEffect* e = plugin.Effect();
  auto fail = [&](const std::string& why) {
    *error = path + ": " + why;
    return false;
  };
  if (f.size() < 28 || BE32(&f[0]) != Tag("CcnK")) return fail("not a program or bank file (no CcnK header)");
  const uint32_t fxMagic = BE32(&f[8]);
  if ((int32_t)BE32(&f[16]) != e->uniqueID) return fail("made for another plug-in (its ID differs)");
  const bool chunks = (e->flags & effFlagsProgramChunks) != 0;

  if (fxMagic == Tag("FPCh") || fxMagic == Tag("FBCh")) {
    const bool isProgram = fxMagic == Tag("FPCh");
    const size_t headerBytes = isProgram ? 60 : kBankHeaderBytes;
    if (!chunks) return fail("holds a chunk, but the plug-in does not take chunks");
    if (f.size() < headerBytes) return fail("shorter than its header");
    size_t chunkSize = BE32(&f[headerBytes - 4]);
    if (chunkSize > f.size() - headerBytes) return fail("its chunk runs past the end of the file");
    std::vector<uint8_t> chunk(f.begin() + headerBytes, f.begin() + headerBytes + chunkSize);
    if (!HandChunk(plugin, chunk, isProgram))
      return fail(std::string("the plug-in refused its ") + (isProgram ? "program" : "bank") + " chunk");
    if (isProgram) {
      // The program's name is in the file, not in the chunk.
      const std::string name = NameField(&f[28]);
      if (!name.empty()) SetProgramName(plugin, name);
    } else {
      // So is the program that was current when the bank was saved.
      const int current = (int)BE32(&f[28]);
      if (current >= 0 && current < e->numPrograms) plugin.Dispatch(effSetProgram, 0, current);
    }
    *what = std::string(isProgram ? "program \"" + NameField(&f[28]) + "\" (FPCh" : "bank (FBCh") + ", " +
            std::to_string(chunkSize) + " bytes of chunk)";
    return true;
  }
  if (fxMagic == Tag("FxCk")) {
    if (f.size() < 56) return fail("shorter than its header");
    size_t count = BE32(&f[24]);
    if (count > (f.size() - 56) / 4) return fail("holds fewer parameter values than it declares");
    plugin.Dispatch(effBeginSetProgram);
    SetProgramName(plugin, NameField(&f[28]));
    for (size_t i = 0; i < count && (int)i < e->numParams; ++i) plugin.SetParameter((int)i, BEFloat(&f[56 + 4 * i]));
    plugin.Dispatch(effEndSetProgram);
    *what = "program \"" + NameField(&f[28]) + "\" (FxCk, " + std::to_string(count) + " parameters)";
    return true;
  }
  if (fxMagic == Tag("FxBk")) {
    if (f.size() < 156) return fail("shorter than its header");
    size_t programs = BE32(&f[24]);
    int current = (int)BE32(&f[28]);
    size_t pos = 156;
    size_t applied = 0;
    for (size_t p = 0; p < programs; ++p) {
      if (f.size() - pos < 56) return fail("program " + std::to_string(p) + " is cut short");
      const uint8_t* r = &f[pos];
      if (BE32(r) != Tag("CcnK") || BE32(r + 8) != Tag("FxCk"))
        return fail("program " + std::to_string(p) + " is not an FxCk record");
      size_t count = BE32(r + 24);
      if (count > (f.size() - pos - 56) / 4) return fail("program " + std::to_string(p) + " is cut short");
      if ((int)p < e->numPrograms) {
        plugin.Dispatch(effSetProgram, 0, (VstIntPtr)p);
        SetProgramName(plugin, NameField(r + 28));
        for (size_t i = 0; i < count && (int)i < e->numParams; ++i)
          plugin.SetParameter((int)i, BEFloat(r + 56 + 4 * i));
        ++applied;
      }
      pos += 56 + 4 * count;
    }
    if (current >= 0 && current < e->numPrograms) plugin.Dispatch(effSetProgram, 0, current);
    *what = "bank (FxBk, " + std::to_string(applied) + " programs)";
    return true;
  }
  return fail("unknown file magic (neither FxCk, FPCh, FxBk nor FBCh)");
}

bool LoadRawChunk(Plugin& plugin, const std::string& path, bool isProgram, std::string* error)
{
  std::vector<uint8_t> chunk;
  if (!ReadWholeFile(path, &chunk, error, ByteChunk::MaxSize())) return false;
  if (!(plugin.Effect()->flags & effFlagsProgramChunks)) {
    *error = "the plug-in does not take chunks";
    return false;
  }
  if (HandChunk(plugin, chunk, isProgram)) return true;
  *error = path + ": the plug-in refused it as a " + (isProgram ? "program" : "bank") + " chunk";
  return false;
}

bool SaveFxp(Plugin& plugin, const std::string& path, std::string* error)
{
  AEffect* e = plugin.Effect();
  std::vector<uint8_t> out;
  if (e->flags & effFlagsProgramChunks) {
    std::vector<uint8_t> chunk;
    if (!ChunkOf(plugin, true, &chunk, error)) return false;
    PutProgramHeader(&out, "FPCh", (uint32_t)(52 + chunk.size()), e);
    PutName(&out, CurrentProgramName(plugin));
    PutBE32(&out, (uint32_t)chunk.size());
    out.insert(out.end(), chunk.begin(), chunk.end());
  } else {
    PutProgramHeader(&out, "FxCk", (uint32_t)(48 + 4 * e->numParams), e);
    PutName(&out, CurrentProgramName(plugin));
    for (int i = 0; i < e->numParams; ++i) PutBEFloat(&out, plugin.GetParameter(i));
  }
  return WriteWholeFile(path, out.data(), out.size(), error);
}

bool SaveFxb(Plugin& plugin, const std::string& path, std::string* error)
{
  AEffect* e = plugin.Effect();
  const int current = (int)plugin.Dispatch(effGetProgram);
  const bool chunks = (e->flags & effFlagsProgramChunks) != 0;
  std::vector<uint8_t> body;
  if (chunks) {
    std::vector<uint8_t> chunk;
    if (!ChunkOf(plugin, false, &chunk, error)) return false;
    PutBE32(&body, (uint32_t)chunk.size());
    body.insert(body.end(), chunk.begin(), chunk.end());
  } else {
    for (int p = 0; p < e->numPrograms; ++p) {
      plugin.Dispatch(effSetProgram, 0, p);
      PutProgramHeader(&body, "FxCk", (uint32_t)(48 + 4 * e->numParams), e);
      PutName(&body, CurrentProgramName(plugin));
      for (int i = 0; i < e->numParams; ++i) PutBEFloat(&body, plugin.GetParameter(i));
    }
    plugin.Dispatch(effSetProgram, 0, current);
  }
  std::vector<uint8_t> out;
  PutBE32(&out, Tag("CcnK"));
  PutBE32(&out, (uint32_t)(148 + body.size()));
  PutBE32(&out, Tag(chunks ? "FBCh" : "FxBk"));
  PutBE32(&out, 2);
  PutBE32(&out, (uint32_t)e->uniqueID);
  PutBE32(&out, (uint32_t)e->version);
  PutBE32(&out, (uint32_t)e->numPrograms);
  PutBE32(&out, (uint32_t)current);
  out.resize(156, 0); // reserved bytes up to the chunk size (FBCh) or the first program record (FxBk)
  out.insert(out.end(), body.begin(), body.end());
  return WriteWholeFile(path, out.data(), out.size(), error);
}

} // namespace vsthost
