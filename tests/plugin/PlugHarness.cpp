#include "PlugHarness.h"

#include <cstring>
#include <map>

namespace {

std::map<AEffect*, FakeHost*> gHosts;
FakeHost* gConstructing = nullptr; // the host of an entry call in progress

} // namespace

FakeHost::FakeHost()
{
  time.samplePos = 4410.0;
  time.sampleRate = 44100.0;
  time.ppqPos = 0.2;
  time.tempo = 140.0;
  time.barStartPos = 0.0;
  time.cycleStartPos = 1.0;
  time.cycleEndPos = 5.0;
  time.timeSigNumerator = 7;
  time.timeSigDenominator = 8;
  time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid |
               kVstTimeSigValid | kVstTransportCycleActive;
}

int FakeHost::Count(int opcode) const
{
  int n = 0;
  for (const HostCall& c : calls) n += c.opcode == opcode;
  return n;
}

const HostCall* FakeHost::Last(int opcode) const
{
  for (auto it = calls.rbegin(); it != calls.rend(); ++it)
    if (it->opcode == opcode) return &*it;
  return nullptr;
}

VstIntPtr FakeHost::Answer(int opcode, int index, VstIntPtr value, void* ptr, float opt)
{
  calls.push_back({opcode, index, value, opt});
  switch (opcode) {
  case audioMasterVersion:
    return 2400;
  case audioMasterGetTime:
    return answerTime ? reinterpret_cast<VstIntPtr>(&time) : 0;
  case audioMasterGetCurrentProcessLevel:
    return processLevel;
  case audioMasterGetProductString:
    if (ptr) {
      std::strncpy(static_cast<char*>(ptr), productString.c_str(), 63);
      static_cast<char*>(ptr)[63] = 0;
    }
    return 1;
  case audioMasterGetVendorVersion:
    return vendorVersion;
  case audioMasterProcessEvents: {
    const VstEvents* ev = static_cast<const VstEvents*>(ptr);
    VstEvent* const* list = ev ? ev->events : nullptr;
    for (int i = 0; ev && i < ev->numEvents; ++i) {
      const VstEvent* e = list[i];
      if (e->type == kVstMidiType) {
        const VstMidiEvent* m = reinterpret_cast<const VstMidiEvent*>(e);
        eventsIn.push_back({(uint8_t)m->midiData[0], (uint8_t)m->midiData[1], (uint8_t)m->midiData[2]});
      } else if (e->type == kVstSysExType) {
        const VstMidiSysexEvent* s = reinterpret_cast<const VstMidiSysexEvent*>(e);
        eventsIn.emplace_back(reinterpret_cast<const uint8_t*>(s->sysexDump),
                              reinterpret_cast<const uint8_t*>(s->sysexDump) + s->dumpBytes);
      }
    }
    return eventsAnswer;
  }
  default:
    return 0;
  }
}

VstIntPtr FakeHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  auto it = gHosts.find(effect);
  FakeHost* host = it != gHosts.end() ? it->second : gConstructing;
  return host ? host->Answer(opcode, index, value, ptr, opt) : 0;
}

Harness::Harness()
{
  gConstructing = &host;
  effect = IPlugVSTEntry(FakeHostCallback, [](IPlugInstanceInfo info) -> IPlugVST* { return new TestPlug(info); });
  gConstructing = nullptr;
  gHosts[effect] = &host;
  plug = static_cast<TestPlug*>(effect->object);
}

Harness::~Harness()
{
  if (effect) Close();
}

VstIntPtr Harness::Dispatch(int opcode, int index, VstIntPtr value, void* ptr, float opt)
{
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void Harness::Close()
{
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  gHosts.erase(effect);
  effect = nullptr;
  plug = nullptr;
}

BarePlug::BarePlug(int nParams, int nPresets, bool chunks, const char* channels, int uniqueID,
                   audioMasterCallback callback)
    : IPlugVST(IPlugInstanceInfo{callback}, nParams, channels, nPresets, "Bare", "", "Tests", 0x00010001, uniqueID,
               VstFourCC('T', 'e', 's', 't'), 0, false, chunks, false)
{
  for (int i = 0; i < nParams; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "P%d", i);
    GetParam(i)->InitDouble(name, 0.0, 0.0, 1.0, 0.001);
  }
}
