// IPlugVST: binds IPlugBase to the VST 2.4 interface. It owns the AEffect record the host holds, answers every
// dispatcher request, parameter call and process call, and implements the base's host notifications through
// the host callback.
//
// Host calls may arrive in any order and with null pointers: every dispatcher request is safe before effOpen,
// before and after effMainsChanged, and every string copied into a host buffer is bounded.
#pragma once

#include "IPlugBase.h"
#include "VST24Linux.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>
#include <pthread.h>

// What the entry point hands to a new plug-in object.
struct IPlugInstanceInfo
{
  audioMasterCallback mVSTHostCallback;
};

// Speaker-arrangement type of a channel count: -1 empty, 0 mono, 1 stereo, -2 user-defined for 3 and more.
int VSTSpkrArrType(int nchan);

class IPlugVST : public IPlugBase
{
public:
  IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
           const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency = 0,
           bool plugDoesMidi = false, bool plugDoesChunks = false, bool plugIsInst = false, int plugScChans = 0);

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override;
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* numerator, int* denominator) override;
  void GetTime(ITimeInfo* timeInfo) override;
  EHost GetHost() override;
  void ResizeGraphics(int width, int height) override;
  void HostSpecificInit() override;
  void AttachGraphics(IGraphics* graphics) override;
  void SetLatency(int samples) override;
  bool SendMidiMsg(IMidiMsg* msg) override;
  bool SendSysEx(ISysEx* msg) override;

  bool SendVSTEvent(VstEvent* event);
  audioMasterCallback GetHostCallback() const { return mHostCallback; }
  AEffect* GetAEffect() { return &mAEffect; }

  // The record's entry points; each finds its plug-in through the record's object field.
  static VstIntPtr VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 idx, VstIntPtr value, void* ptr, float opt);
  static float VSTGetParameter(AEffect* effect, VstInt32 idx);
  static void VSTSetParameter(AEffect* effect, VstInt32 idx, float value);
  static void VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs, VstInt32 nFrames);

  // Whether the calling thread is one of the host's audio threads, which never wait for a build or for a
  // thread of lower priority (any thread): the host's answer to audioMasterGetCurrentProcessLevel for it
  // decides (real-time or prefetch: yes; user or offline: no); a host that gives no answer leaves it to
  // whether the thread has run a process call of this instance.
  bool OnRealtimeThread();

protected:
  VstIntPtr HostCallback(int opcode, int idx = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

  ERect mEditRect;
  audioMasterCallback mHostCallback;
  VstSpeakerArrangement mInputSpkrArr, mOutputSpkrArr;
  bool mHostSpecificInitDone = false;
  AEffect mAEffect;

private:
  VstIntPtr Dispatch(int opcode, int idx, VstIntPtr value, void* ptr, float opt);
  // The editor's opcodes (open, close, idle, keys). They run on the host's main thread without the instance
  // mutex: reading the window's events and drawing touch only the surface, and the plug-in's own work they
  // lead to (parameter changes from the controls, the open, close and idle hooks) takes the mutex itself.
  // IsEditorOpcode tells which opcodes they are.
  static bool IsEditorOpcode(int opcode);
  VstIntPtr DispatchEditor(int opcode, int idx, VstIntPtr value, void* ptr, float opt);

  // ---- host calls in progress, and effClose ----
  // Every entry point counts its call for as long as it runs (loads run mostly outside the mutex). effClose
  // waits until the calls on other threads have returned; one made from inside a call of ours on the same
  // thread (a host answering a callback, or a menu's loop) closes the editor and leaves the deletion to the
  // outermost such call, when it returns.
public:
  class HostCall
  {
  public:
    explicit HostCall(IPlugVST* plug);
    ~HostCall(); // may delete the plug-in (a close requested inside)
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;
    // Calls of plug in progress on the calling thread.
    static int OnThisThread(const IPlugVST* plug);

  private:
    IPlugVST* mPlug;
    HostCall* mOuter; // the calling thread's enclosing call, of any instance
  };

private:
  void Close();
  void FinishClose(); // waits for the other threads' calls, then deletes the plug-in
  std::atomic<int> mCallsInProgress{0};
  std::atomic<bool> mCloseRequested{false};
  std::atomic<bool> mClosing{false}; // FinishClose runs once, whoever asks twice
  pthread_t mCloseRequestedBy{};

  // Which threads have run a process call of this instance (a host may process on a pool of threads) is kept
  // by each thread itself, under the instance's serial number: a thread that ends takes it along.
  static uint64_t NewSerial();
  const uint64_t mSerial = NewSerial();
  void NoteAudioThread(); // in a process call
  bool OnAudioThread() const; // the calling thread has run a process call of this instance
  std::atomic<bool> mProcessingOffline{false}; // the host rendered the latest block offline
  // The plug-in reset for a new rate or block size, or processing switched off; a rate or size the host sets
  // again unchanged resets nothing (a reset ends the sounding notes).
  void ResetForHost()
  {
    if (mBlockUnderWay) {
      mResetAfterBlock = true;
      return;
    }
    Reset();
    mResetDone = true;
  }
  bool mResetDone = false;
  // A rate, a block size or a reset the host asks for from inside a block, answering a callback the block made
  // (on its thread: the block holds the instance mutex throughout), waits for the block's end: the block runs
  // on the control period and buffers it began with. Then ApplyAfterBlock makes them as if asked there. Under
  // the instance mutex.
  bool mBlockUnderWay = false;
  float mRateAfterBlock = 0.0f; // 0: none asked
  int mBlockSizeAfterBlock = 0; // 0: none asked
  bool mResetAfterBlock = false;
  void ApplyAfterBlock();
  // Before a host call that acts on the program: a pending program change goes in place, waiting on threads
  // that may (SettlePendingProgram); a thread that processes audio takes only what is ready.
  void SettleForCall();
  // After the host set parameter idx (under the mutex, any thread): the editor takes shown at its next tick,
  // the plug-in applies it, and after a program change not in place yet it is set again on its program with
  // what the host sent (text, when it sent text).
  void HostSetParameter(int idx, double shown, const char* text = nullptr);

  // The chunks handed to the host, one per calling thread and kind (program or bank): each stays as it was
  // until the same thread asks again, however many threads ask; a thread's are reused once it has ended.
  // The list is under the instance mutex; a chunk's bytes are written by its thread alone, without it. An ended
  // thread's chunk taken over leaves its bytes in *ended, for the caller to free once it lets the mutex go.
  struct HostChunk
  {
    std::shared_ptr<std::atomic<bool>> owner; // the asking thread's life
    bool bank = false;
    ByteChunk bytes;
  };
  std::vector<std::unique_ptr<HostChunk>> mHostChunks;
  ByteChunk* HostChunkForThisThread(bool bank, ByteChunk* ended);

  VstIntPtr GetChunk(int idx, void* ptr);
  VstIntPtr SetChunk(int idx, VstIntPtr size, void* ptr);
  VstIntPtr String2Parameter(int idx, const char* text);
  VstIntPtr GetPinProperties(bool input, int idx, VstPinProperties* pin);
  VstIntPtr VendorSpecific(int idx, VstIntPtr value, void* ptr, float opt);
  VstIntPtr CanDo(const char* what);
  template <class T> bool ChannelBuffersValid(T** inputs, T** outputs) const;
  // What every process call does before it renders, under the instance mutex: MIDI asked for, then
  // render(plug) when the block has frames and every channel its buffer. A replacing call that cannot render
  // silences the output channels it was given.
  template <class T, class Render>
  static void ProcessCall(AEffect* effect, T** inputs, T** outputs, VstInt32 nFrames, bool replacing, Render render);
};

// Defines the plug-in's exported entry points `VSTPluginMain` and `main` (the old name of the same entry,
// which many Linux hosts look for): a new PLUG_CLASS (constructed from an IPlugInstanceInfo) per call,
// created under a process-wide recursive mutex, with every program slot filled and at least one program.
// Use once per plug-in, at file scope, in a library built with hidden visibility and the export list.
#define IPLUG_VST_ENTRY(PLUG_CLASS)                                                                                    \
  extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback hostCallback)           \
  {                                                                                                                    \
    return IPlugVSTEntry(hostCallback, [](IPlugInstanceInfo info) -> IPlugVST* { return new PLUG_CLASS(info); });      \
  }                                                                                                                    \
  extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMainLegacy(                                      \
      audioMasterCallback hostCallback) __asm__("main");                                                               \
  extern "C" AEffect* VSTPluginMainLegacy(audioMasterCallback hostCallback)                                            \
  {                                                                                                                    \
    return VSTPluginMain(hostCallback);                                                                                \
  }

// The body of the entry points: the new plug-in's record, or null when the object cannot be made.
AEffect* IPlugVSTEntry(audioMasterCallback hostCallback, IPlugVST* (*makePlug)(IPlugInstanceInfo));
