// A small VST 2.4 host: loads a Linux plug-in (.so), opens it the way a DAW does, answers its host callbacks,
// feeds it MIDI and renders offline. Used by the command-line tool `vsthost`, the tests and the benchmarks.
//
// Threads: a Plugin is driven from one thread. The host callback finds its Plugin through a process-wide
// table (the plug-in's record) or, while the entry point runs and no record exists yet, through the loading
// thread's own pointer.
#pragma once

#include "MidiFile.h"
#include "VST24Linux.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vsthost {

// What the host tells the plug-in about itself and its transport.
struct HostSettings
{
  std::string productString = "Veltrane vsthost"; // answer to audioMasterGetProductString
  std::string vendorString = "Veltrane";
  int vendorVersion = 10001; // decimal, answer to audioMasterGetVendorVersion
  double sampleRate = 44100.0;
  int blockSize = 512;
  double tempo = 120.0; // beats per minute
  int timeSigNumerator = 4;
  int timeSigDenominator = 4;
  bool playing = true; // transport running; a stopped transport keeps its position
  bool cycleActive = false;
  double cycleStart = 0.0, cycleEnd = 0.0;    // quarter notes
  int processLevel = kVstProcessLevelOffline; // answered while a block is processed; user level otherwise
};

// A notification the plug-in sent: audioMasterAutomate, audioMasterBeginEdit, audioMasterEndEdit,
// audioMasterUpdateDisplay or audioMasterIOChanged, in arrival order.
struct HostNotification
{
  int opcode;
  int index;
  float value; // the normalised value of an automation notice, else 0
};

struct PluginInfo
{
  std::string effectName, vendor, product;
  int vendorVersion = 0;
  int uniqueID = 0;
  int version = 0;
  int flags = 0;
  int numInputs = 0, numOutputs = 0, numParams = 0, numPrograms = 0;
  int category = 0;
  int vstVersion = 0;
  int initialDelay = 0;
};

struct ParamInfo
{
  std::string name, label, display;
  float value = 0.0f; // normalised
};

// One event for the block being processed: MIDI bytes at a sample offset within the block.
struct BlockEvent
{
  int offset;
  const std::vector<uint8_t>* bytes;
};

class Plugin
{
public:
  // Loads the shared object, finds `VSTPluginMain` (else `main`) and calls it. Null with a reason on failure.
  static std::unique_ptr<Plugin> Load(const std::string& path, const HostSettings& settings, std::string* error);
  ~Plugin(); // suspends and closes the plug-in if needed (effClose) and unloads the library

  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* Effect() const { return effect_; }
  const std::string& Path() const { return path_; }
  const std::string& EntryName() const { return entryName_; }
  HostSettings& Settings() { return settings_; }

  VstIntPtr Dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

  // effOpen, effSetSampleRate, effSetBlockSize (from the settings). Once per instance.
  void Open();
  // effMainsChanged(1) then effStartProcess, as a DAW does on resume. Opens first when needed.
  void Resume();
  // effStopProcess then effMainsChanged(0).
  void Suspend();
  bool IsResumed() const { return resumed_; }

  PluginInfo Info();
  std::vector<ParamInfo> Params();
  std::string ProgramName(int index);
  bool CanDo(const char* what);

  void SetParameter(int index, float value);
  float GetParameter(int index);

  // Hands a chunk to the plug-in (effSetChunk; a program chunk inside effBeginSetProgram/effEndSetProgram).
  // Returns the plug-in's answer.
  VstIntPtr SetChunk(const std::vector<uint8_t>& chunk, bool isProgram);
  // Fetches the plug-in's chunk (effGetChunk). Empty when the plug-in gives none.
  std::vector<uint8_t> GetChunk(bool isProgram);

  // Sends the events (effProcessEvents, skipped when there are none), then runs one block through
  // processReplacing (processDoubleReplacing with `useDouble` and a plug-in that can, or the accumulating
  // process when the plug-in cannot replace). Inputs and outputs hold numInputs and numOutputs channels.
  void ProcessBlock(const std::vector<BlockEvent>& events, float** inputs, float** outputs, int frames);
  bool useDouble = false;

  // The transport position of the next block, in samples.
  int64_t SamplePosition() const { return samplePos_; }
  void SetSamplePosition(int64_t pos) { samplePos_ = pos; }

  // Answers audioMasterSizeWindow (the editor asks for a new size, width and height in pixels); unset: 0.
  std::function<bool(int width, int height)> onSizeWindow;

  const std::vector<HostNotification>& Notifications() const { return notifications_; }
  const std::vector<std::vector<uint8_t>>& MidiOut() const { return midiOut_; } // events the plug-in sent
  int TimeInfoRequests() const { return timeInfoRequests_; }

  // Answers one host callback. Public so that the process-wide callback can reach it.
  VstIntPtr OnCallback(int opcode, int index, VstIntPtr value, void* ptr, float opt);

private:
  Plugin() = default;
  void FillTimeInfo();

  std::string path_;
  std::string entryName_;
  void* library_ = nullptr;
  AEffect* effect_ = nullptr;
  HostSettings settings_;
  VstTimeInfo timeInfo_{};
  int64_t samplePos_ = 0;
  bool opened_ = false;
  bool resumed_ = false;
  bool inProcess_ = false;
  int timeInfoRequests_ = 0;
  std::vector<HostNotification> notifications_;
  std::vector<std::vector<uint8_t>> midiOut_;
  std::vector<double> doubleScratch_;
};

// An offline render request: what to play and for how long.
struct RenderRequest
{
  std::vector<MidiEvent> events; // sorted by time
  double seconds = 2.0;          // length of the output
  double toneHz = 0.0;           // > 0: every input gets a sine of this frequency at half scale, else silence
};

struct RenderResult
{
  int channels = 0;
  size_t frames = 0;
  std::vector<float> interleaved;
  double wallSeconds = 0.0;                    // time spent in the plug-in's process and event calls
  double peak = 0.0;                           // largest absolute sample
  double SpeedFactor(double sampleRate) const; // audio seconds per wall-clock second
};

// Resumes the plug-in if needed, renders the request block by block and leaves the plug-in resumed.
bool Render(Plugin& plugin, const RenderRequest& request, RenderResult* result, std::string* error);

// Opens the editor without a parent window, has the plug-in play `script` (one user action a line; empty: none)
// on it and save its picture to `png` (a private extension of our plug-ins), and closes the editor. False with
// the reason: no editor, a script line the plug-in cannot read (named with its number), or nothing written.
bool TakeScreenshot(Plugin& plugin, const std::string& png, const std::string& script, std::string* error);

} // namespace vsthost
