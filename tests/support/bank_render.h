// A plug-in file loaded in this process as a host loads it (dlopen, entry point, open, rate, block size,
// mains on), playing programs of its start-up bank: MIDI at block starts, blocks of 512 rendered through
// processDoubleReplacing. Each file keeps its own copies of its statics, so two builds of the plug-in run
// side by side without sharing anything.
#pragma once

#include "plugin_host.h"

#include <dlfcn.h>

#include <string>
#include <vector>

class BankRender
{
public:
  static constexpr int kBlock = 512;

  BankRender(const std::string& path, double rate)
  {
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    using Entry = AEffect* (*)(audioMasterCallback);
    Entry entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
    effect = entry ? entry(QuietHost) : nullptr;
    if (!effect) return;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, (float)rate);
    dispatch(effSetBlockSize, 0, kBlock);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
  }
  ~BankRender()
  {
    if (effect) dispatch(effClose);
    // The library stays loaded: a plug-in's process-wide tables may outlive its last instance.
  }
  BankRender(const BankRender&) = delete;
  BankRender& operator=(const BankRender&) = delete;

  explicit operator bool() const { return effect != nullptr; }

  VstIntPtr dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  std::string programName(int index)
  {
    char name[64] = {};
    dispatch(effGetProgramNameIndexed, index, 0, name);
    return name;
  }

  // MIDI messages (status, data 1, data 2) for the next block, at the given sample offsets within it.
  struct Message
  {
    int offset;
    unsigned char status, data1, data2;
  };
  void midi(const std::vector<Message>& messages)
  {
    HostEvents events((int)messages.size());
    for (const Message& m : messages) events.add(m.offset, m.status, m.data1, m.data2);
    events.send(effect);
  }

  // One block appended to out as left/right pairs.
  void block(std::vector<double>* out)
  {
    double* in[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};
    effect->processDoubleReplacing(effect, in, outs, kBlock);
    for (int i = 0; i < kBlock; ++i) {
      out->push_back(outL[i]);
      out->push_back(outR[i]);
    }
  }

  void* library = nullptr;
  AEffect* effect = nullptr;
  std::vector<double> inL = std::vector<double>(kBlock, 0.0), inR = std::vector<double>(kBlock, 0.0);
  std::vector<double> outL = std::vector<double>(kBlock), outR = std::vector<double>(kBlock);
};
