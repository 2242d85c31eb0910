// The product's state from outside: host chunks (program and bank), .fxp and .fxb file contents and the
// bare state reader, on arbitrary bytes. The first byte chooses the door: 0 a program chunk, 1 a bank chunk,
// 2 a program file, 3 a bank file, 4 the state reader alone. Whatever is refused must leave the programs,
// the current program and the live patch exactly as they were; what is taken must come back out as a chunk
// that is taken again; and nothing may crash.
#include "../support/plugin_host.h"
#include "Veltrane.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// One instance for the whole run, made and opened as a host does (an instance is costly to make).
AEffect* Instance()
{
  static AEffect* e = [] {
    AEffect* made = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new Veltrane(info); });
    if (!made) std::abort();
    made->dispatcher(made, effOpen, 0, 0, nullptr, 0.0f);
    made->dispatcher(made, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    made->dispatcher(made, effSetBlockSize, 0, 64, nullptr, 0.0f);
    made->dispatcher(made, effMainsChanged, 0, 1, nullptr, 0.0f);
    return made;
  }();
  return e;
}

// A chunk as the plug-in hands it out: its bytes stay valid until the plug-in saves that kind again.
struct Saved
{
  const unsigned char* bytes;
  size_t size;
};

Saved Save(AEffect* e, int index)
{
  void* data = nullptr;
  const VstIntPtr size = e->dispatcher(e, effGetChunk, index, 0, &data, 0.0f);
  if (size <= 0 || !data) std::abort();
  return {static_cast<const unsigned char*>(data), (size_t)size};
}

std::vector<unsigned char> Chunk(AEffect* e, int index)
{
  const Saved s = Save(e, index);
  return std::vector<unsigned char>(s.bytes, s.bytes + s.size);
}

// Every program, the live patch and the current program's index.
struct Everything
{
  std::vector<unsigned char> bank, live;
  VstIntPtr program = -1;

  void take(AEffect* e)
  {
    bank = Chunk(e, 0);
    live = Chunk(e, 1);
    program = e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f);
  }
  // Compared where the plug-in saved it, without copying a bank of 64 programs.
  bool same(AEffect* e) const
  {
    const Saved b = Save(e, 0);
    if (b.size != bank.size() || std::memcmp(b.bytes, bank.data(), b.size)) return false;
    const Saved l = Save(e, 1);
    if (l.size != live.size() || std::memcmp(l.bytes, live.data(), l.size)) return false;
    return e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f) == program;
  }
};

// A block with a few notes through whatever patch is loaded now.
void Render(AEffect* e)
{
  VstMidiEvent notes[2] = {};
  for (int i = 0; i < 2; ++i) {
    notes[i].type = kVstMidiType;
    notes[i].byteSize = sizeof(VstMidiEvent);
    notes[i].deltaFrames = 10 * i;
    notes[i].midiData[0] = (char)0x90;
    notes[i].midiData[1] = (char)(60 + 7 * i);
    notes[i].midiData[2] = 100;
  }
  std::vector<char> storage(sizeof(VstEvents) + 2 * sizeof(VstEvent*));
  VstEvents* events = reinterpret_cast<VstEvents*>(storage.data());
  VstEvent** list = events->events;
  events->numEvents = 2;
  for (int i = 0; i < 2; ++i) list[i] = reinterpret_cast<VstEvent*>(&notes[i]);
  e->dispatcher(e, effProcessEvents, 0, 0, events, 0.0f);
  float in[2][64] = {}, out[2][64] = {};
  float* ins[2] = {in[0], in[1]};
  float* outs[2] = {out[0], out[1]};
  for (int b = 0; b < 3; ++b) e->processReplacing(e, ins, outs, 64);
}

// What the last input left, once saved: an input that is refused leaves it as it was (checked below), so
// only after one that is taken must it be saved again.
Everything gBefore;
bool gBeforeKnown = false;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  AEffect* e = Instance();
  Veltrane* v = static_cast<Veltrane*>(static_cast<IPlugVST*>(e->object));
  const int door = data[0] % 5;
  std::vector<unsigned char> bytes(data + 1, data + size);
  if (!gBeforeKnown) {
    // Saving once settles an older layout the last input may have left pending (the next save writes the
    // layout of the chunk last read, later ones the current layout).
    Save(e, 1);
    gBefore.take(e);
    gBeforeKnown = true;
  }

  bool taken;
  switch (door) {
  case 0:
  case 1:
    taken = e->dispatcher(e, effSetChunk, door == 0 ? 1 : 0, (VstIntPtr)bytes.size(), bytes.data(), 0.0f) != 0;
    break;
  case 2:
  case 3: {
    ByteChunk file;
    file.Resize((int)bytes.size());
    if (!bytes.empty()) std::memcpy(file.GetBytes(), bytes.data(), bytes.size());
    WDL_MutexLock lock(v->GetMutex());
    taken = door == 2 ? v->LoadProgramFromFXPData(&file) : v->LoadBankFromFXBData(&file);
    break;
  }
  default: {
    // The reader alone applies a short chunk as far as it goes; it must not crash or stay suspended.
    ByteChunk chunk;
    chunk.Resize((int)bytes.size());
    if (!bytes.empty()) std::memcpy(chunk.GetBytes(), bytes.data(), bytes.size());
    WDL_MutexLock lock(v->GetMutex());
    const int pos = v->UnserializeState(&chunk, 0);
    if (v->suspended || pos > chunk.Size()) std::abort();
    taken = true;
    break;
  }
  }
  if (!taken) {
    if (!gBefore.same(e)) std::abort();
  } else {
    gBeforeKnown = false;
    if (door < 2) {
      const std::vector<unsigned char> again = Chunk(e, door == 0 ? 1 : 0);
      if (!e->dispatcher(e, effSetChunk, door == 0 ? 1 : 0, (VstIntPtr)again.size(), (void*)again.data(), 0.0f))
        std::abort();
    }
  }
  Render(e);
  return 0;
}
