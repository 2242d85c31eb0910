#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

TestSynth::TestSynth() : Synth(IPlugInstanceInfo{QuietHost})
{
  AttachGraphics(graphics);
}

std::unique_ptr<Veltrane> MakeVeltrane()
{
  return std::make_unique<Veltrane>(IPlugInstanceInfo{QuietHost});
}

// ---- HostedVeltrane ----

namespace {
// Instances may be made, played and closed on several threads at once (the many-instances tests).
std::mutex sHostsMutex;
std::map<AEffect*, HostedVeltrane*>& hosts()
{
  static std::map<AEffect*, HostedVeltrane*> map;
  return map;
}
thread_local HostedVeltrane* sMaking = nullptr; // the instance whose entry call runs on this thread

HostedVeltrane* hostOf(AEffect* effect)
{
  std::lock_guard<std::mutex> lock(sHostsMutex);
  auto it = hosts().find(effect);
  return it != hosts().end() ? it->second : nullptr;
}

VstIntPtr HostedCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  HostedVeltrane* host = hostOf(effect);
  if (!host) host = sMaking;
  if (!host) return QuietHost(effect, opcode, index, value, ptr, opt);
  return host->callback(opcode, index, value, ptr, opt);
}
} // namespace

HostedVeltrane::HostedVeltrane(double sampleRate, int blockSize, IPlugVST* (*make)(IPlugInstanceInfo))
{
  sMaking = this;
  effect = IPlugVSTEntry(HostedCallback,
                         make ? make : [](IPlugInstanceInfo info) -> IPlugVST* { return new Veltrane(info); });
  sMaking = nullptr;
  if (!effect) return;
  {
    std::lock_guard<std::mutex> lock(sHostsMutex);
    hosts()[effect] = this;
  }
  plug = static_cast<Veltrane*>(static_cast<IPlugVST*>(effect->object));
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, (float)sampleRate);
  dispatch(effSetBlockSize, 0, blockSize);
  dispatch(effMainsChanged, 0, 1);
  dispatch(effStartProcess);
}

HostedVeltrane::~HostedVeltrane()
{
  if (!effect) return;
  dispatch(effStopProcess);
  dispatch(effMainsChanged, 0, 0);
  dispatch(effClose);
  std::lock_guard<std::mutex> lock(sHostsMutex);
  hosts().erase(effect);
}


VstIntPtr HostedVeltrane::dispatch(int opcode, int index, VstIntPtr value, void* ptr, float opt)
{
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

VstIntPtr HostedVeltrane::callback(int opcode, int, VstIntPtr, void*, float)
{
  switch (opcode) {
  case audioMasterVersion:
    return 2400;
  case audioMasterAutomate:
    ++automations;
    if (onAutomate) onAutomate();
    return 0;
  case audioMasterGetCurrentProcessLevel: { // as a host answers: for the thread that asks
    if (processLevel) return processLevel();
    if (offline) return kVstProcessLevelOffline;
    std::lock_guard<std::mutex> lock(mAudioThreadsMutex);
    return mAudioThreads.count(std::this_thread::get_id()) ? kVstProcessLevelRealtime : kVstProcessLevelUser;
  }
  case audioMasterGetTime: {
    if (onGetTime) onGetTime();
    const double rate = plug ? plug->GetSampleRate() : 44100.0;
    mTime = VstTimeInfo{};
    mTime.samplePos = position;
    mTime.sampleRate = rate;
    mTime.tempo = tempo;
    mTime.ppqPos = position / rate * tempo / 60.0;
    mTime.timeSigNumerator = mTime.timeSigDenominator = 4;
    mTime.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | (playing ? kVstTransportPlaying : 0);
    return (VstIntPtr)&mTime;
  }
  default:
    return 0;
  }
}

void HostedVeltrane::midi(int offset, int status, int data1, int data2)
{
  mEvents.push_back(MidiEvent(offset, status, data1, data2));
}

void HostedVeltrane::sendEvents()
{
  if (!mEvents.empty()) {
    std::vector<char> storage(sizeof(VstEvents) + mEvents.size() * sizeof(VstEvent*));
    VstEvents* events = reinterpret_cast<VstEvents*>(storage.data());
    events->numEvents = (VstInt32)mEvents.size();
    VstEvent** list = events->events; // declared with two entries, holds numEvents
    for (size_t i = 0; i < mEvents.size(); ++i) list[i] = reinterpret_cast<VstEvent*>(&mEvents[i]);
    dispatch(effProcessEvents, 0, 0, events);
    mEvents.clear();
  }
}

void HostedVeltrane::run(int frames, bool useDouble)
{
  {
    std::lock_guard<std::mutex> lock(mAudioThreadsMutex);
    mAudioThreads.insert(std::this_thread::get_id()); // from now on this instance's audio thread
  }
  sendEvents();
  if ((int)inL.size() != frames) inL.assign(frames, input);
  if ((int)inR.size() != frames) inR.assign(frames, input);
  outL.assign(frames, 99.0f); // the plug-in must overwrite every sample
  outR.assign(frames, 99.0f);
  if (useDouble) {
    std::vector<double> il(inL.begin(), inL.end()), ir(inR.begin(), inR.end()), ol(frames), orr(frames);
    double* in[2] = {il.data(), ir.data()};
    double* out[2] = {ol.data(), orr.data()};
    effect->processDoubleReplacing(effect, in, out, frames);
    for (int i = 0; i < frames; ++i) {
      outL[i] = (float)ol[i];
      outR[i] = (float)orr[i];
    }
  } else {
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    effect->processReplacing(effect, in, out, frames);
  }
  position += frames;
}

std::vector<float> HostedVeltrane::render(int frames, int blockSize)
{
  std::vector<float> all;
  while ((int)all.size() < frames) {
    const int n = std::min(blockSize, frames - (int)all.size());
    inL.clear();
    inR.clear();
    run(n);
    all.insert(all.end(), outL.begin(), outL.end());
  }
  return all;
}

std::vector<unsigned char> HostedVeltrane::bank()
{
  std::vector<unsigned char> bytes = chunk(0);
  bytes.push_back((unsigned char)dispatch(effGetProgram));
  return bytes;
}

std::vector<unsigned char> HostedVeltrane::programChunk()
{
  return chunk(1);
}

std::vector<unsigned char> HostedVeltrane::chunk(int index)
{
  void* data = nullptr;
  const VstIntPtr size = dispatch(effGetChunk, index, 0, &data);
  std::vector<unsigned char> bytes;
  if (size > 0 && data) bytes.assign((unsigned char*)data, (unsigned char*)data + size);
  return bytes;
}

// ---- test modules ----

ProbeModule::ProbeModule(ModuleConfig* config, Voice* voice, Veltrane* owner, double value, bool countTicks)
    : Module(config, voice, owner), value(value), countTicks(countTicks)
{
  if (!audioOut.empty()) audioOut[0] = countTicks ? 0.0 : value;
  if (!modOut.empty()) modOut[0] = value;
}

void ProbeModule::update(bool)
{
  ++ticks;
  if (countTicks && !audioOut.empty()) audioOut[0] = ticks;
}

void ProbeModule::process()
{
  ++samples;
}

void SelectSource(Veltrane& v, int paramIdx, bool master, SourceDef::SourceType type, int module, int index)
{
  const SourceDefCol& list = master ? v.masterSources : v.voiceSources;
  int position = 0;
  for (size_t i = 1; i < list.sources.size(); ++i) {
    const SourceDef* d = list.sources[i];
    const bool match = type == SourceDef::AUDIO_OR_MOD
                           ? (d->type == SourceDef::AUDIO || d->type == SourceDef::MODULATION)
                           : d->type == type;
    if (!match) continue;
    ++position;
    if (d->module == module && d->index == index) {
      IParam* p = v.getAnyParam(paramIdx);
      v.SetParameterFromGUI(paramIdx, p->GetNormalized(position));
      return;
    }
  }
  ADD_FAILURE() << "no source " << type << "/" << module << "/" << index << " for parameter " << paramIdx;
}

std::vector<ProbeModule*> InstallVoiceProbe(Veltrane& v, int slot, double value)
{
  v.replaceModule(slot, ModuleConfig::MOD_OSCILLATOR, false, false);
  std::vector<ProbeModule*> probes;
  for (Voice& voice : v.voices) {
    delete voice.modules[slot];
    ProbeModule* p = new ProbeModule(&v.slotConfig[slot], &voice, &v, value);
    p->setFrequencySource(&voice.pitch);
    voice.modules[slot] = p;
    voice.rebuildProcessList();
    probes.push_back(p);
  }
  v.voiceSlotsPresent = true;
  SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, slot, 0);
  SelectSource(v, Veltrane::kParamSumRight, false, SourceDef::AUDIO, slot, 0);
  return probes;
}

ProbeModule* InstallMasterProbe(Veltrane& v, int slot, const std::function<ProbeModule*(ModuleConfig*)>& make)
{
  v.replaceModule(slot, ModuleConfig::MOD_OSCILLATOR, true, false);
  delete v.masterModules[slot];
  ProbeModule* p = make ? make(&v.slotConfig[slot]) : new ProbeModule(&v.slotConfig[slot], nullptr, &v, 0.0, true);
  p->setFrequencySource(&v.masterPitch);
  v.masterModules[slot] = p;
  v.masterProcessList.clear();
  for (int s = 0; s < Veltrane::kNumSlots; ++s)
    if (v.slotConfig[s].master && v.slotConfig[s].category != 0) v.masterProcessList.push_back(v.masterModules[s]);
  v.masterModulesPresent = true;
  SelectSource(v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, slot, 0);
  SelectSource(v, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, slot, 0);
  return p;
}

std::vector<unsigned char> WholeState(Veltrane& v)
{
  ByteChunk all;
  v.SerializePresets(&all);
  const int current = v.GetCurrentPresetIdx();
  all.Put(&current);
  v.SerializeState(&all);
  return std::vector<unsigned char>(all.GetBytes(), all.GetBytes() + all.Size());
}
