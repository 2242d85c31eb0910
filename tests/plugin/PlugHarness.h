// Test harness: a host callback that records what a plug-in asks of its host and answers like a simple host,
// and helpers to create plug-ins through the VST entry.
#pragma once

#include "IPlugVST.h"
#include "TestPlug.h"

#include <string>
#include <vector>

struct HostCall
{
  int opcode, index;
  VstIntPtr value;
  float opt;
};

// The host side of one plug-in instance.
struct FakeHost
{
  std::vector<HostCall> calls;
  std::vector<std::vector<uint8_t>> eventsIn; // MIDI and SysEx the plug-in sent
  std::string productString = "Harness Host";
  VstIntPtr vendorVersion = 10203;
  int processLevel = kVstProcessLevelRealtime;
  bool answerTime = true; // false: audioMasterGetTime answers null
  VstTimeInfo time{};
  VstIntPtr eventsAnswer = 1;

  FakeHost();
  int Count(int opcode) const;
  const HostCall* Last(int opcode) const;
  VstIntPtr Answer(int opcode, int index, VstIntPtr value, void* ptr, float opt);
};

// The callback handed to entry points; finds the FakeHost of the calling plug-in.
VstIntPtr FakeHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

// A TestPlug made through the VST entry with a FakeHost; closes it (effClose) unless the test did.
struct Harness
{
  FakeHost host;
  AEffect* effect = nullptr;
  TestPlug* plug = nullptr;

  Harness();
  ~Harness();
  VstIntPtr Dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
  void Close(); // effClose through the dispatcher
};

// A plug-in with nParams double parameters 0..1 (defaults 0), for tests that need a particular shape.
class BarePlug : public IPlugVST
{
public:
  BarePlug(int nParams, int nPresets, bool chunks, const char* channels = "2-2",
           int uniqueID = VstFourCC('b', 'a', 'r', 'e'), audioMasterCallback callback = nullptr);
};
