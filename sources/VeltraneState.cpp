// The product's state chunk: the whole sound of a program as one byte string (module types and sections,
// wavetables, display order, the 300 host and 3 private parameter values, custom tuning, MIDI source
// assignments and the MIDI-learn map). Little-endian, no padding. Layout version 1001; 601, 900 and 901
// are still read, each with exactly the fields its number gates:
//
//   int32 version
//   18 x { int32 module ID; uint8 master (>= 900); wavetable record (module ID 26) }
//   18 x int32 display order
//   300 x double host parameters
//   double Porta Legato (>= 901); 2 x double Master Out Left, Right (>= 900)
//   uint8 custom tuning; [256 bytes tuning name; 128 x int32 tuning table]
//   16 x int32 MIDI source controllers
//   uint8 controller map flag; [120 x int32 map]
//   int32 extra length; extra bytes (>= 601)
//
// Wavetable record: int32 path length L, L bytes, int32 count N, N x double. A chunk that keeps runs (a program
// slot, a state taken under the instance mutex) holds the N doubles as the table's own block, by reference.
//
// Chunks come from hosts and files: a chunk that is merely short is applied as far as it goes and reported
// as -1 (the framework then puts the previous state back); one whose contents cannot be a saved state (a
// display order that is not a permutation of the slots, a negative path length, a path or a wavetable that
// runs past the end, a tuning name without its terminator) is refused as -1 before anything changes.
// Values are held to what this version makes of them, as the parameters hold theirs: a version number
// beyond 1001 reads (and is saved again) as 1001, a tuning entry as a pitch of 0 to 17280, and wavetables
// as waves within full scale.
#include "Veltrane.h"

#include "Module.h"
#include "ModuleCatalogue.h"
#include "OscWavetable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kVersionExtraLength = 601; // the extra-length field
constexpr int kVersionMaster = 900;      // master flags and the master outputs
constexpr int kVersionLegato = 901;      // Porta Legato
constexpr int kNumMapEntries = Synth::kNumLearnControllers;

template <class T> int get(const ByteChunk* chunk, T* value, int pos)
{
  return pos < 0 ? -1 : chunk->Get(value, pos);
}

// Skips n bytes; -1 when they are not all there.
int skip(const ByteChunk* chunk, int64_t n, int pos)
{
  if (pos < 0 || n < 0 || n > (int64_t)chunk->Size() - pos) return -1;
  return pos + (int)n;
}

bool hasWavetableRecord(int moduleID)
{
  return moduleID == ModuleConfig::MOD_OSCWAVETABLE &&
         ModuleCatalogue::declarations[ModuleConfig::MOD_OSCWAVETABLE].wavetableSaved;
}

// A wavetable record that fits: its end, -1 when the chunk ends inside its fields, -2 when it must be refused.
int checkWavetableRecord(const ByteChunk* chunk, int pos)
{
  int32_t length = 0;
  pos = get(chunk, &length, pos);
  if (pos < 0) return -1;
  if (length < 0) return -2;
  pos = skip(chunk, length, pos);
  if (pos < 0) return -2;
  int32_t count = 0;
  pos = get(chunk, &count, pos);
  if (pos < 0) return -1;
  const int64_t bytes = (int64_t)(uint32_t)count * (int64_t)sizeof(double);
  // Held by reference (a program slot's own table): the doubles are its block, which has exactly as many.
  if (const SharedBytes* run = bytes > 0 ? chunk->RunAt(pos) : nullptr) return (int64_t)run->Size() == bytes ? pos : -2;
  pos = skip(chunk, bytes, pos);
  return pos < 0 ? -2 : pos;
}

// The 18 slot records from pos, walked as UnserializeState reads them: their end (the display order's
// start), -1 when the chunk ends inside them, -2 when a wavetable record must be refused.
int skipSlotRecords(const ByteChunk* chunk, int pos, int version)
{
  for (int s = 0; s < Veltrane::kNumSlots; ++s) {
    int32_t id = 0;
    uint8_t master = 0;
    pos = get(chunk, &id, pos);
    if (version >= kVersionMaster) pos = get(chunk, &master, pos);
    if (pos < 0) return -1;
    if (hasWavetableRecord(id)) {
      pos = checkWavetableRecord(chunk, pos);
      if (pos < 0) return pos;
    }
  }
  return pos;
}

// Walks a chunk as UnserializeState reads it and tells whether its contents may be applied: false for a
// chunk to refuse. A chunk that ends early is fine here (its readable part is applied).
bool wellFormed(const ByteChunk* chunk, int pos, int version)
{
  int32_t v = 0;
  pos = get(chunk, &v, pos);
  if (pos >= 0) version = v;
  pos = skipSlotRecords(chunk, pos, version);
  if (pos == -2) return false;
  if (pos < 0) return true;
  bool seen[Veltrane::kNumSlots] = {};
  for (int i = 0; i < Veltrane::kNumSlots; ++i) {
    int32_t slot = 0;
    pos = get(chunk, &slot, pos);
    if (pos < 0) return true;
    if (slot < 0 || slot >= Veltrane::kNumSlots || seen[slot]) return false;
    seen[slot] = true;
  }
  int64_t fixed = (int64_t)Synth::kNumParams * (int64_t)sizeof(double);
  if (version >= kVersionLegato) fixed += sizeof(double);
  if (version >= kVersionMaster) fixed += 2 * sizeof(double);
  pos = skip(chunk, fixed, pos);
  uint8_t custom = 0;
  pos = get(chunk, &custom, pos);
  if (pos < 0) return true;
  if (custom) {
    if (pos + Synth::kTuningNameSize <= chunk->Size() &&
        !std::memchr(chunk->GetBytes() + pos, 0, Synth::kTuningNameSize))
      return false;
  }
  return true;
}

} // namespace

// ---- wavetable record ----

bool SharedData::serializeState(ByteChunk* chunk) const
{
  const int64_t start = chunk->FlatSize();
  const int32_t length = name.GetLength();
  const uint32_t n = data ? count : 0;
  chunk->Put(&length);
  chunk->PutBytes(name.Get(), length);
  chunk->Put(&n);
  if (n > 0) chunk->PutShared(spectra);
  const int64_t expected = 4 + (int64_t)length + 4 + (int64_t)n * (int64_t)sizeof(double);
  return chunk->FlatSize() - start == expected;
}

int SharedData::unserializeState(ByteChunk* chunk, int pos)
{
  if (!chunk || checkWavetableRecord(chunk, pos) < 0) return -1;
  int32_t length = 0;
  pos = chunk->Get(&length, pos);
  if (length > 0) {
    const char* path = reinterpret_cast<const char*>(chunk->GetBytes() + pos);
    name.Set(path, (int)strnlen(path, (size_t)length));
  }
  pos += length;
  int32_t n = 0;
  pos = chunk->Get(&n, pos);
  const size_t bytes = (size_t)(uint32_t)n * sizeof(double);
  SharedBytesRef block;
  if (const SharedBytes* run = bytes > 0 ? chunk->RunAt(pos) : nullptr) {
    block = SharedBytesRef::To(run);
  } else if (bytes > 0) {
    block = SharedBytes::Make(bytes); // without memory the oscillator has no table; the position still moves on
    if (block) {
      double* spectraRead = reinterpret_cast<double*>(block->Bytes());
      std::memcpy(spectraRead, chunk->GetBytes() + pos, bytes);
      OscWavetable::holdSpectraToFullScale(spectraRead, (uint32_t)n);
    }
    pos += (int)bytes;
  }
  set(std::move(block));
  changed = false;
  return pos;
}

// ---- the product's state ----

bool Veltrane::writeDisplayOrder(ByteChunk* state, const int32_t* order)
{
  // Only this version's layout is walked: a state in another one (or one that ends before its order does)
  // is for a whole store, which brings it to this version.
  int32_t version = 0;
  int pos = get(state, &version, 0);
  if (version != kStateVersion) return false;
  pos = skipSlotRecords(state, pos, version);
  if (pos < 0 || skip(state, kNumSlots * (int)sizeof(int32_t), pos) < 0) return false;
  std::memcpy(state->GetBytes() + pos, order, kNumSlots * sizeof(int32_t));
  return true;
}

bool Veltrane::SerializeState(ByteChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk) return false;
  const int version = stateVersion;
  const int64_t start = chunk->FlatSize();
  int64_t expected = 0;
  bool ok = true;
  auto put = [&](const auto& value) {
    chunk->Put(&value);
    expected += sizeof(value);
  };

  put((int32_t)version);
  for (int s = 0; s < kNumSlots; ++s) {
    const ModuleConfig& c = slotConfig[s];
    put((int32_t)c.moduleID);
    if (version >= kVersionMaster) put((uint8_t)(c.master ? 1 : 0));
    if (c.wavetableSaved && c.moduleID == ModuleConfig::MOD_OSCWAVETABLE) {
      const int64_t before = chunk->FlatSize();
      ok = c.sharedData.serializeState(chunk) && ok;
      expected += chunk->FlatSize() - before;
    }
  }
  for (int s = 0; s < kNumSlots; ++s) put((int32_t)(s < (int)displayOrder.size() ? displayOrder[s] : s));
  SerializeParams(chunk);
  expected += (int64_t)NParams() * (int64_t)sizeof(double);
  if (version >= kVersionLegato) put(portaLegato.Value());
  if (version >= kVersionMaster) {
    put(masterOutLeft.Value());
    put(masterOutRight.Value());
  }
  const bool custom = isCustomTuning();
  put((uint8_t)(custom ? 1 : 0));
  if (custom) {
    chunk->PutBytes(tuningName, kTuningNameSize);
    expected += kTuningNameSize;
    for (int n = 0; n < kNumNotes; ++n) put((int32_t)tuningTable[n]);
  }
  for (int k = 0; k < kNumMidiSources; ++k) put((int32_t)midiSourceCC[k]);
  const bool map = hasMidiControllerMap();
  put((uint8_t)(map ? 1 : 0));
  if (map)
    for (int cc = 0; cc < kNumMapEntries; ++cc) put((int32_t)midiLearnMap[cc]);
  if (version >= kVersionExtraLength) put((int32_t)0);

  stateVersion = kStateVersion;
  return ok && !chunk->Failed() && chunk->FlatSize() - start == expected;
}

int Veltrane::UnserializeState(ByteChunk* chunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk || startPos < 0 || !wellFormed(chunk, startPos, stateVersion)) return -1;
  suspended = true;

  int pos = startPos;
  int32_t v = 0;
  pos = get(chunk, &v, pos);
  // A later version's program is read as the newest layout this version knows, and saved again as what it
  // then is: that layout, under its own number.
  if (pos >= 0) stateVersion = v > kStateVersion ? kStateVersion : v;
  const int version = stateVersion;

  for (int s = 0; s < kNumSlots; ++s) {
    if (abandonWhenDone && (int)(abandonAt - abandonWhenDone->load(std::memory_order_acquire)) <= 0) {
      suspended = false;
      return -1;
    }
    int32_t id = 0;
    uint8_t master = 0;
    pos = get(chunk, &id, pos);
    // A type this version does not know (a later version's file) would leave the slot's previous module in
    // place: the slot is emptied instead, and the rest of the program loads as usual.
    if (pos < 0 || id < ModuleConfig::MOD_EMPTY || id >= ModuleConfig::kNumModuleIDs) id = ModuleConfig::MOD_EMPTY;
    if (version >= kVersionMaster) {
      pos = get(chunk, &master, pos);
      if (pos < 0) master = 0;
    }
    slotConfig[s].master = master ? 1 : 0;
    setModuleConfig(s, id, master != 0);
    if (slotConfig[s].wavetableSaved && id == ModuleConfig::MOD_OSCWAVETABLE)
      pos = pos < 0 ? -1 : slotConfig[s].sharedData.unserializeState(chunk, pos);
  }

  // The order is taken whole (the check above made it a permutation) or, from a short chunk, not at all.
  std::vector<int> order(kNumSlots);
  for (int i = 0; i < kNumSlots; ++i) {
    int32_t slot = 0;
    pos = get(chunk, &slot, pos);
    order[i] = slot;
  }
  if (pos >= 0) displayOrder = order;

  updateInstances();
  updateSources();
  pos = UnserializeParams(chunk, pos);

  // Private parameters: defaults, then what this version holds.
  double privates[3];
  IParam* privateParams[3] = {&portaLegato, &masterOutLeft, &masterOutRight};
  for (int i = 0; i < 3; ++i) privates[i] = privateParams[i]->GetDefault();
  if (version >= kVersionLegato) {
    double value = 0.0;
    pos = get(chunk, &value, pos);
    if (pos >= 0) privates[0] = value;
  }
  if (version >= kVersionMaster) {
    for (int i = 1; i < 3; ++i) {
      double value = 0.0;
      pos = get(chunk, &value, pos);
      if (pos >= 0) privates[i] = value;
    }
  }
  for (int i = 0; i < 3; ++i) privateParams[i]->Set(privates[i]);
  for (int i = 0; i < 3; ++i) OnParamChange(kParamPortaLegato + i);

  uint8_t custom = 0;
  pos = get(chunk, &custom, pos);
  if (pos >= 0 && custom) {
    // The name is whole and terminated (checked above); a short table counts as no custom tuning.
    const int namePos = pos;
    pos = skip(chunk, kTuningNameSize, pos);
    int table[kNumNotes];
    for (int n = 0; n < kNumNotes; ++n) {
      int32_t pitch = 0;
      pos = get(chunk, &pitch, pos);
      // The pitches a tuning file can give (8.176 Hz to 19912 Hz), as loadTuning holds them.
      table[n] = pitch < 0 ? 0 : pitch > kMaxPitch ? kMaxPitch : pitch;
    }
    if (pos >= 0) {
      std::memcpy(tuningName, chunk->GetBytes() + namePos, kTuningNameSize);
      std::memcpy(tuningTable, table, sizeof(tuningTable));
    } else {
      resetTuning();
    }
  } else if (pos >= 0) {
    // Equal temperament saved: the table goes back to it, but the switch keeps the program's value (on
    // plays the same table), so that the host reads back what it set.
    Synth::resetTuning();
    showTuningInEditor(GetParam(kParamCustomTuning)->GetNormalized());
  } else {
    resetTuning();
  }

  retuneModules(); // the modules were made before the program's tuning was read

  for (int k = 0; k < kNumMidiSources; ++k) {
    int32_t cc = -1;
    pos = get(chunk, &cc, pos);
    midiSourceCC[k] = pos >= 0 ? cc : -1;
  }

  uint8_t map = 0;
  pos = get(chunk, &map, pos);
  for (int cc = 0; cc < kNumMapEntries; ++cc) {
    int32_t paramIdx = -1;
    if (pos >= 0 && map) pos = get(chunk, &paramIdx, pos);
    midiLearnMap[cc] = pos >= 0 && map ? paramIdx : -1;
  }

  if (version >= kVersionExtraLength) {
    int32_t extra = 0;
    pos = get(chunk, &extra, pos);
    if (pos >= 0 && extra > 0) pos = skip(chunk, extra, pos);
  }

  suspended = false;
  tickCountdown = 0; // the new modules' first update comes before their first sample (takeProgramFrom)
  return pos;
}
