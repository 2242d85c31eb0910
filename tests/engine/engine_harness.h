// Helpers for the engine tests: a host callback that answers like a quiet host, a synth-layer subclass that
// records the product hooks it calls, and temporary files.
#pragma once

#include "../support/plugin_host.h"
#include "../support/temp_dir.h"
#include "Module.h"
#include "Synth.h"
#include "Veltrane.h"

#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <functional>
#include <memory>
#include <string>

// The synth layer alone, with its editor surface attached as the product attaches it.
class TestSynth : public Synth
{
public:
  TestSynth();
  void allNotesOff() override { ++allNotesOffCalls; }
  void OnParamChange(int paramIdx) override
  {
    ++paramChanges;
    Synth::OnParamChange(paramIdx);
  }

  // Sets the sample rate and block size as the adapter does, then resets.
  void resetAt(double sampleRate, int blockSize = 512)
  {
    SetSampleRate(sampleRate);
    SetBlockSize(blockSize);
    Reset();
  }

  int allNotesOffCalls = 0;
  int paramChanges = 0;
};

std::unique_ptr<Veltrane> MakeVeltrane();


// ---- a plug-in instance driven as a host drives it ----

// Made by the body of the plug-in's entry point (IPlugVSTEntry, which VSTPluginMain runs), opened, given a
// sample rate and block size and switched on. Blocks are processed through the record's processReplacing
// (or processDoubleReplacing) with the queued MIDI events and a transport the test controls.
class HostedVeltrane
{
public:
  // make: the plug-in object the entry point creates (a subclass of Veltrane), Veltrane itself by default.
  explicit HostedVeltrane(double sampleRate = 44100.0, int blockSize = 512,
                          IPlugVST* (*make)(IPlugInstanceInfo) = nullptr);
  ~HostedVeltrane();
  HostedVeltrane(const HostedVeltrane&) = delete;
  HostedVeltrane& operator=(const HostedVeltrane&) = delete;

  VstIntPtr dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
  // A MIDI message for the next block, at a sample offset within it.
  void midi(int offset, int status, int data1, int data2 = 0);
  // The queued MIDI messages handed to the plug-in now (run() does it before its block).
  void sendEvents();
  // One block of frames; the input channels hold `input` (both sides) unless the vectors were filled.
  void run(int frames, bool useDouble = false);
  // Blocks of blockSize until frames samples have been rendered; the output of all of them is kept.
  std::vector<float> render(int frames, int blockSize);
  // The bank as the host stores it (effGetChunk, bank), with the current program index appended.
  std::vector<unsigned char> bank();
  std::vector<unsigned char> programChunk();

  AEffect* effect = nullptr;
  Veltrane* plug = nullptr;
  bool playing = true;   // transport running
  double position = 0.0; // samples since the song start, advanced by every block
  double tempo = 120.0;
  std::vector<float> inL, inR, outL, outR;
  float input = 0.0f;
  int automations = 0;  // audioMasterAutomate notices
  std::function<void()> onAutomate; // what the host does from inside each such notice
  std::function<void()> onGetTime;  // what the host does from inside each audioMasterGetTime, before it answers
  bool offline = false; // the process level answered: offline rendering, else real time
  // The process level answered for the calling thread: real-time on a thread that has run a block of this
  // instance, user on any other (offline for all while `offline`), unless processLevel answers instead.
  std::function<VstIntPtr()> processLevel;

  VstIntPtr callback(int opcode, int index, VstIntPtr value, void* ptr, float opt);

private:
  std::vector<unsigned char> chunk(int index); // effGetChunk: 0 the bank, 1 the current program

  VstTimeInfo mTime{};
  std::vector<VstMidiEvent> mEvents;
  std::mutex mAudioThreadsMutex;
  std::set<std::thread::id> mAudioThreads;
};

// ---- test modules ----

// A module whose first audio output holds a fixed value (or, for a master probe, the number of control
// ticks it has seen), so that the voice sums and the master outputs become observable before the module
// classes exist. Its first modulation output likewise holds the value.
class ProbeModule : public Module
{
public:
  ProbeModule(ModuleConfig* config, Voice* voice, Veltrane* owner, double value, bool countTicks = false);
  void update(bool active) override;
  void process() override;
  void setParameter(int p, double value) override { lastParam[p & 15] = value; }

  double value;
  bool countTicks;
  int ticks = 0;
  int samples = 0;
  double lastParam[16] = {};
};

// Gives a voice slot a type with one audio output and replaces every voice's module by a probe holding
// value; the voice sums (289, 290) select the slot's output. Returns the probes of voices 0..63.
std::vector<ProbeModule*> InstallVoiceProbe(Veltrane& v, int slot, double value = 1.0);
// The same for a master slot: the master outputs (302, 303) select its output, which counts ticks. With
// make, the probe (of a subclass) is made by it for the slot's configuration once the slot has its outputs.
ProbeModule* InstallMasterProbe(Veltrane& v, int slot,
                                const std::function<ProbeModule*(ModuleConfig*)>& make = nullptr);
// Sets a selector (host or private parameter) to the entry with these keys in its list.
void SelectSource(Veltrane& v, int paramIdx, bool master, SourceDef::SourceType type, int module, int index);
// The plug-in's whole state as one byte string: every program's chunk, names, the current index and the live state.
std::vector<unsigned char> WholeState(Veltrane& v);
