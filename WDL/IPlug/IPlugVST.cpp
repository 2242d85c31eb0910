#include "IPlugVST.h"

#include "IGraphics.h"
#include "utf8.h"
#include "IGraphicsLinux.h"
#include "cnumbers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <memory>
#include <new>
#include <thread>

namespace {

// Capacities of host buffers, terminator included: program names as the interface publishes them; parameter
// texts as the parameters hold them; effect, vendor, product, pin and key names as published.
constexpr size_t kProgramNameCapacity = kVstMaxProgNameLen;
constexpr size_t kParamTextCapacity = IParam::kTextSize;
constexpr size_t kEffectNameCapacity = kVstMaxEffectNameLen;
constexpr size_t kVendorCapacity = kVstMaxVendorStrLen;
constexpr size_t kProductCapacity = kVstMaxProductStrLen;
constexpr size_t kPinLabelCapacity = kVstMaxLabelLen;
constexpr size_t kKeyNameCapacity = kVstMaxNameLen;

// Block sizes a host may set; anything else is a host error and is ignored (the buffers stay as they are).
constexpr VstIntPtr kMaxBlockSize = 1 << 20;

// Text cut to fit keeps whole characters: a host shows a name cut inside a character as garbage (or
// refuses it as invalid UTF-8).
void CopyBounded(void* dest, const char* src, size_t capacity)
{
  WDL_UTF8CopyBounded(static_cast<char*>(dest), src, capacity);
}

bool FitsInt(VstIntPtr v)
{
  return v >= INT_MIN && v <= INT_MAX;
}

} // namespace

int VSTSpkrArrType(int nchan)
{
  return nchan < 3 ? nchan - 1 : kSpeakerArrUserDefined;
}

IPlugVST::IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
                   const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
                   int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                   int /*plugScChans*/)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID, mfrID,
                latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST2),
      mHostCallback(instanceInfo.mVSTHostCallback)
{
  std::memset(&mAEffect, 0, sizeof mAEffect);
  mAEffect.magic = kEffectMagic;
  mAEffect.object = this;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;
  mAEffect.numPrograms = nPresets;
  mAEffect.numParams = nParams;
  mAEffect.numInputs = NInChannels();
  mAEffect.numOutputs = NOutChannels();
  mAEffect.uniqueID = uniqueID;
  mAEffect.version = GetDecimalVersion(vendorVersion);
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (plugDoesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  if (plugIsInst) mAEffect.flags |= effFlagsIsSynth;

  std::memset(&mEditRect, 0, sizeof mEditRect);
  std::memset(&mInputSpkrArr, 0, sizeof mInputSpkrArr);
  std::memset(&mOutputSpkrArr, 0, sizeof mOutputSpkrArr);
  mInputSpkrArr.type = VSTSpkrArrType(NInChannels());
  mInputSpkrArr.numChannels = NInChannels();
  mOutputSpkrArr.type = VSTSpkrArrType(NOutChannels());
  mOutputSpkrArr.numChannels = NOutChannels();

  SetInputChannelConnections(0, NInChannels(), true);
  SetOutputChannelConnections(0, NOutChannels(), true);
  SetBlockSize(1024);
}

namespace {
// What a call the host makes inside its answer to one of our callbacks tells it: kept on the outermost callback's
// frame, and told once the host has answered that callback. Parameters and the program display only; a query gets
// no answer there.
struct Notice
{
  int opcode, idx;
  float opt;
};
bool IsNotice(int opcode)
{
  return opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit ||
         opcode == audioMasterUpdateDisplay;
}
// The callbacks the calling thread is in, innermost first, of every instance (the host may answer one instance's
// callback with a call of another, which is no nesting of that one's).
struct Callback;
thread_local Callback* tCallback = nullptr;
struct Callback
{
  // The most notices told after one outermost callback, those its answers make included: a host that answers
  // every notice with a call that makes another ends there.
  static constexpr int kMaxNotices = 1024;
  explicit Callback(const IPlugVST* plug) : plug(plug), outer(tCallback) { tCallback = this; }
  ~Callback() { tCallback = outer; } // also when the host's answer throws
  Callback(const Callback&) = delete;
  Callback& operator=(const Callback&) = delete;
  const IPlugVST* const plug;
  Callback* const outer;
  int noticesKept = 0;
  Notice notices[kMaxNotices]; // (not cleared: only the first noticesKept are read)
};
} // namespace

VstIntPtr IPlugVST::HostCallback(int opcode, int idx, VstIntPtr value, void* ptr, float opt)
{
  if (!mHostCallback) return 0;
  // A host may answer a callback by calling us (a chunk read, a load, the editor closed), and what that call
  // asks or tells the host (its process level, a parameter's notice) may be answered the same way, for ever.
  // So a call the host makes inside its answer asks the host nothing, and goes on as with a host that gives no
  // answer; what it tells the host is kept, and told in its order once the outermost callback is answered. The
  // answers to those notices nest no deeper: what they tell is told after them, in the same loop.
  for (Callback* c = tCallback; c; c = c->outer) {
    if (c->plug != this) continue;
    if (IsNotice(opcode) && c->noticesKept < Callback::kMaxNotices)
      c->notices[c->noticesKept++] = Notice{opcode, idx, opt};
    return 0;
  }
  Callback callback(this);
  const VstIntPtr answer = mHostCallback(&mAEffect, opcode, idx, value, ptr, opt);
  for (int i = 0; i < callback.noticesKept; ++i) {
    const Notice n = callback.notices[i];
    mHostCallback(&mAEffect, n.opcode, n.idx, 0, nullptr, n.opt);
  }
  return answer;
}

// ---- host notifications and queries --------------------------------------------------------------------------

void IPlugVST::BeginInformHostOfParamChange(int paramIdx)
{
  HostCallback(audioMasterBeginEdit, paramIdx);
}

void IPlugVST::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
  HostCallback(audioMasterAutomate, paramIdx, 0, nullptr, (float)normalizedValue);
}

void IPlugVST::EndInformHostOfParamChange(int paramIdx)
{
  HostCallback(audioMasterEndEdit, paramIdx);
}

void IPlugVST::InformHostOfProgramChange()
{
  HostCallback(audioMasterUpdateDisplay);
}

bool IPlugVST::IsRenderingOffline()
{
  const VstIntPtr level = HostCallback(audioMasterGetCurrentProcessLevel);
  if (level == kVstProcessLevelOffline) return true;
  if (level == kVstProcessLevelRealtime) return false;
  // A host that answers for the process call only (between blocks it says "user"): a thread of ours that
  // processes offline renders offline.
  return mProcessingOffline.load(std::memory_order_relaxed) && OnAudioThread();
}

int IPlugVST::GetSamplePos()
{
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(HostCallback(audioMasterGetTime, 0, 0));
  if (t && t->samplePos >= 0.0 && t->samplePos < (double)INT_MAX) return (int)(t->samplePos + 0.5);
  return 0;
}

double IPlugVST::GetTempo()
{
  if (!mHostCallback) return 0.0;
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(HostCallback(audioMasterGetTime, 0, kVstTempoValid));
  if (t && (t->flags & kVstTempoValid) && t->tempo >= 0.0) return t->tempo;
  return 0.0;
}

void IPlugVST::GetTimeSig(int* numerator, int* denominator)
{
  *numerator = *denominator = 0;
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(HostCallback(audioMasterGetTime, 0, kVstTimeSigValid));
  if (t && (t->flags & kVstTimeSigValid) && t->timeSigNumerator >= 0 && t->timeSigDenominator >= 0) {
    *numerator = t->timeSigNumerator;
    *denominator = t->timeSigDenominator;
  }
}

void IPlugVST::GetTime(ITimeInfo* timeInfo)
{
  const int wanted = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(HostCallback(audioMasterGetTime, 0, wanted));
  if (!t || !(t->flags & wanted)) return;
  timeInfo->mSamplePos = t->samplePos;
  if ((t->flags & kVstPpqPosValid) && t->ppqPos >= 0.0) timeInfo->mPPQPos = t->ppqPos;
  if ((t->flags & kVstTempoValid) && t->tempo > 0.0) timeInfo->mTempo = t->tempo;
  if ((t->flags & kVstBarsValid) && t->barStartPos >= 0.0) timeInfo->mLastBar = t->barStartPos;
  if ((t->flags & kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0) {
    timeInfo->mCycleStart = t->cycleStartPos;
    timeInfo->mCycleEnd = t->cycleEndPos;
  }
  if ((t->flags & kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0) {
    timeInfo->mNumerator = t->timeSigNumerator;
    timeInfo->mDenominator = t->timeSigDenominator;
  }
  timeInfo->mTransportIsRunning = (t->flags & kVstTransportPlaying) != 0;
  timeInfo->mTransportLoopEnabled = (t->flags & kVstTransportCycleActive) != 0;
}

EHost IPlugVST::GetHost()
{
  if (mHost == kHostUninit) {
    char product[256] = {};
    HostCallback(audioMasterGetProductString, 0, 0, product);
    product[sizeof product - 1] = 0;
    int version = 0;
    if (product[0]) {
      // The host answers a decimal version (50203 is 5.2.3); it is kept packed.
      VstIntPtr d = HostCallback(audioMasterGetVendorVersion);
      if (d > 0 && d <= INT_MAX) version = (int)((d / 10000) << 16 | ((d % 10000) / 100) << 8 | (d % 100));
    }
    SetHost(product, version);
  }
  return mHost;
}

void IPlugVST::HostSpecificInit()
{
  if (mHostSpecificInitDone) return;
  mHostSpecificInitDone = true;
  EHost host = GetHost();
  if (host == kHostForte || host == kHostAudition || host == kHostOrion || host == kHostSAWStudio) LimitToStereoIO();
  mAEffect.numInputs = mInputSpkrArr.numChannels = NInChannels();
  mAEffect.numOutputs = mOutputSpkrArr.numChannels = NOutChannels();
  OnHostIdentified();
}

void IPlugVST::AttachGraphics(IGraphics* graphics)
{
  if (!graphics) return;
  IPlugBase::AttachGraphics(graphics);
  mAEffect.flags |= effFlagsHasEditor;
  mEditRect.top = mEditRect.left = 0;
  mEditRect.bottom = (VstInt16)graphics->Height();
  mEditRect.right = (VstInt16)graphics->Width();
}

void IPlugVST::ResizeGraphics(int, int)
{
  if (!mGraphics) return;
  mEditRect.top = mEditRect.left = 0;
  mEditRect.bottom = (VstInt16)mGraphics->Height();
  mEditRect.right = (VstInt16)mGraphics->Width();
  OnWindowResize();
}

void IPlugVST::SetLatency(int samples)
{
  mAEffect.initialDelay = samples;
  IPlugBase::SetLatency(samples);
}

bool IPlugVST::SendVSTEvent(VstEvent* event)
{
  VstEvents events;
  std::memset(&events, 0, sizeof events);
  events.numEvents = 1;
  events.events[0] = event;
  return HostCallback(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPlugVST::SendMidiMsg(IMidiMsg* msg)
{
  VstMidiEvent ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = kVstMidiType;
  ev.byteSize = sizeof(VstMidiEvent);
  ev.deltaFrames = msg->mOffset;
  ev.midiData[0] = (char)msg->mStatus;
  ev.midiData[1] = (char)msg->mData1;
  ev.midiData[2] = (char)msg->mData2;
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&ev));
}

bool IPlugVST::SendSysEx(ISysEx* msg)
{
  VstMidiSysexEvent ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = kVstSysExType;
  ev.byteSize = sizeof(VstMidiSysexEvent);
  ev.deltaFrames = msg->mOffset;
  ev.dumpBytes = msg->mSize;
  ev.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(msg->mData));
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&ev));
}

// ---- host entry points ---------------------------------------------------------------------------------------

// ---- host calls in progress, and effClose --------------------------------------------------------------------

namespace {
thread_local IPlugVST::HostCall* tInnermostCall = nullptr;
// The calling thread plays audio: it has run a process call or effProcessEvents of any instance, or a host has
// answered it is real-time or prefetch. It stays so: such a thread frees no table let go of, whatever instance its
// call is for, and however many instances it serves.
thread_local bool tPlaysAudio = false;
} // namespace

IPlugVST::HostCall::HostCall(IPlugVST* plug) : mPlug(plug), mOuter(tInnermostCall)
{
  mPlug->mCallsInProgress.fetch_add(1, std::memory_order_acq_rel);
  tInnermostCall = this;
}

IPlugVST::HostCall::~HostCall()
{
  tInnermostCall = mOuter;
  IPlugVST* plug = mPlug;
  // A close requested from inside this thread's calls: the outermost of them deletes the plug-in. Only this
  // thread can have asked for it (a close from another thread waits for this call), so what it decides now
  // holds. Otherwise, once the call has counted itself out, a close on another thread may delete the
  // plug-in at once: nothing here reads it after that.
  const bool finish = plug->mCloseRequested.load(std::memory_order_acquire) &&
                      pthread_equal(plug->mCloseRequestedBy, pthread_self()) && OnThisThread(plug) == 0 &&
                      plug->mCloseRequested.exchange(false);
  // The tables let go of (by any instance, on any thread) are freed once this thread holds no lock of ours: here,
  // but on a thread that plays audio (a host may run everything on one), which wakes the reclaimer to free them (or
  // frees them itself should none have started).
  const bool release = !mOuter && SharedBytes::AnyReleased();
  plug->mCallsInProgress.fetch_sub(1, std::memory_order_acq_rel);
  if (finish) plug->FinishClose();
  if (release && (!tPlaysAudio || !SharedBytes::WakeFreer())) SharedBytes::FreeReleased();
}

int IPlugVST::HostCall::OnThisThread(const IPlugVST* plug)
{
  int n = 0;
  for (const HostCall* c = tInnermostCall; c; c = c->mOuter) n += c->mPlug == plug;
  return n;
}

void IPlugVST::Close()
{
  if (HostCall::OnThisThread(this) > 0) {
    // The host closes the instance from inside a call of ours (a callback made while a menu or a box waits
    // for the user, or while a load runs): the editor closes now, which ends such a loop, and the instance
    // goes when the call has returned, not under its feet.
    mCloseRequestedBy = pthread_self();
    mCloseRequested.store(true, std::memory_order_release);
    if (mGraphics) mGraphics->CloseWindow();
    return;
  }
  FinishClose();
}

void IPlugVST::FinishClose()
{
  if (mClosing.exchange(true)) return; // a host that closes twice: the first close deletes it
  // Calls in progress on other threads end first: loads run mostly outside the mutex, so holding it is not
  // enough. Then the mutex is let go before it is destroyed.
  while (mCallsInProgress.load(std::memory_order_acquire) > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
  {
    WDL_MutexLock lock(&mMutex);
  }
  delete this;
}

namespace {
// The instances (by serial number, never reused) whose process calls this thread has run, latest first. Kept
// by the thread itself, so a thread that ends is forgotten with it, and a new thread is never taken for an
// ended one whose identity it happens to reuse.
constexpr int kProcessedKept = 64;
thread_local uint64_t tProcessed[kProcessedKept];
thread_local int tProcessedCount = 0;
std::atomic<uint64_t> sNextSerial{1};
} // namespace

uint64_t IPlugVST::NewSerial()
{
  return sNextSerial.fetch_add(1, std::memory_order_relaxed);
}

void IPlugVST::NoteAudioThread()
{
  tPlaysAudio = true;
  if (OnAudioThread()) return;
  // Beyond kProcessedKept instances on one thread the oldest is forgotten.
  const int n = tProcessedCount < kProcessedKept ? tProcessedCount++ : kProcessedKept - 1;
  for (int i = n; i > 0; --i) tProcessed[i] = tProcessed[i - 1];
  tProcessed[0] = mSerial;
}

bool IPlugVST::OnAudioThread() const
{
  for (int i = 0; i < tProcessedCount; ++i)
    if (tProcessed[i] == mSerial) return true;
  return false;
}

bool IPlugVST::OnRealtimeThread()
{
  // The host's answer for the calling thread decides; only a host that gives none leaves it to whether the
  // thread has processed audio.
  switch (HostCallback(audioMasterGetCurrentProcessLevel)) {
  case kVstProcessLevelRealtime:
  case kVstProcessLevelPrefetch:
    tPlaysAudio = true;
    return true;
  case kVstProcessLevelUser:
  case kVstProcessLevelOffline:
    return false;
  default:
    return OnAudioThread();
  }
}

void IPlugVST::SettleForCall()
{
  // An audio thread may not wait: it answers and acts on what is in place (and what the host set since).
  if (PendingProgram() >= 0) SettlePendingProgram();
}

// ---- host entry points ---------------------------------------------------------------------------------------

VstIntPtr IPlugVST::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 idx, VstIntPtr value, void* ptr, float opt)
{
  IPlugVST* plug = effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
  if (!plug) return 0;
  if (opcode == effClose) {
    plug->Close();
    if (!tInnermostCall && !SharedBytes::WakeFreer()) SharedBytes::FreeReleased(); // the instance's tables
    return 0;
  }
  const HostCall call(plug); // its end may delete plug: nothing below touches it after the answer
  if (opcode == effProcessEvents) tPlaysAudio = true;
  if (IsEditorOpcode(opcode)) return plug->DispatchEditor(opcode, idx, value, ptr, opt);

  // Program and state loads take the mutex themselves, only for as long as it takes to put a state in place:
  // the audio thread waits on it. Calls that act on the program come after a MIDI program change the host
  // sent before them, which may still be built aside: they act on its program.
  switch (opcode) {
  case effSetProgram:
    if (!FitsInt(value)) return 0;
    // On a thread that processes audio the change is taken as a MIDI program change is: built aside, in
    // place once the events sent before it have played. Elsewhere the program is loaded now; a load
    // supersedes a change taken before it.
    if (plug->OnRealtimeThread() && plug->StageProgramChange((int)value)) return 0;
    if (!plug->DoesStateChunks()) {
      // A plug-in without chunks first stores the live state into the current program: it must be in place.
      plug->SettleForCall();
      WDL_MutexLock lock(&plug->mMutex);
      plug->ModifyCurrentPreset();
    }
    plug->RestorePreset((int)value);
    return 0;
  case effSetChunk:
    return plug->SetChunk(idx, value, ptr);
  case effGetChunk:
    plug->RunQueuedEditorCommands(); // a save right after an edit holds it
    plug->SettleForCall();
    return plug->GetChunk(idx, ptr); // takes the mutex for as long as it takes to copy the state's references
  case effVendorSpecific:
    // The headless screenshot plays an editor session: as the editor's calls, without the mutex (its controls
    // take it where they act), and its picture is written to the disk without it.
    if (idx == kVendorHeadlessScreenshot) {
      const char* png = static_cast<const char*>(ptr);
      return png && plug->mGraphics ? plug->mGraphics->HeadlessScreenshot(png, reinterpret_cast<const char*>(value))
                                    : 0;
    }
    plug->SettleForCall();
    break;
  case effSetProgramName:
  case effGetParamLabel:
  case effGetParamDisplay:
  case effGetParamName:
    plug->SettleForCall();
    break;
  default:
    break;
  }
  WDL_MutexLock lock(&plug->mMutex);
  return plug->Dispatch(opcode, idx, value, ptr, opt);
}

bool IPlugVST::IsEditorOpcode(int opcode)
{
  switch (opcode) {
  case effEditOpen:
  case effEditClose:
  case effEditIdle:
  case effIdle:
  case effEditKeyDown:
  case effEditKeyUp:
    return true;
  default:
    return false;
  }
}

VstIntPtr IPlugVST::DispatchEditor(int opcode, int idx, VstIntPtr value, void* ptr, float)
{
  IGraphicsLinux* linuxGUI = dynamic_cast<IGraphicsLinux*>(mGraphics);
  switch (opcode) {
  case effEditOpen:
    if (!mGraphics) return 0;
    {
      // Opening the window marks every control dirty: a thread that drew until now (the one that made the
      // instance may be the host's audio thread) hands them over first.
      WDL_MutexLock lock(&mMutex);
      OnGUIOpening();
    }
    if (!mGraphics->OpenWindow(ptr)) return 0;
    {
      WDL_MutexLock lock(&mMutex);
      OnGUIOpen();
    }
    return 1;
  case effEditClose:
    if (!mGraphics) return 0;
    RunQueuedEditorCommands(); // no idle call may come to carry them out
    {
      WDL_MutexLock lock(&mMutex);
      OnGUIClose();
    }
    mGraphics->CloseWindow();
    return 1;
  case effEditIdle:
  case effIdle:
    // The window's events and the timer first, then the plug-in's idle hook, all without the mutex: an idle
    // call may show a menu or a dialog for as long as the user likes, and the audio thread must not wait for
    // it. OnIdle takes the mutex itself for its work on the plug-in's state.
    if (linuxGUI) linuxGUI->HostIdle();
    OnIdle();
    return 0;
  case effEditKeyDown: {
    // A key the host took from its own window: index the character, value the virtual key. 1 when the
    // editor used it, 0 gives it back to the host.
    if (!linuxGUI || !linuxGUI->WindowIsOpen()) return 0;
    int key = IGraphicsLinux::kOther;
    unsigned ch = 0;
    switch (value) {
    case VKEY_UP:
      key = IGraphicsLinux::kUp;
      break;
    case VKEY_DOWN:
      key = IGraphicsLinux::kDown;
      break;
    case VKEY_LEFT:
      key = IGraphicsLinux::kLeft;
      break;
    case VKEY_RIGHT:
      key = IGraphicsLinux::kRight;
      break;
    case VKEY_RETURN:
    case VKEY_ENTER:
      key = IGraphicsLinux::kReturn;
      break;
    case VKEY_ESCAPE:
      key = IGraphicsLinux::kEscape;
      break;
    case VKEY_BACK:
      key = IGraphicsLinux::kBackspace;
      break;
    case VKEY_DELETE:
      key = IGraphicsLinux::kDelete;
      break;
    case VKEY_TAB:
      key = IGraphicsLinux::kTab;
      break;
    case VKEY_SPACE:
      key = IGraphicsLinux::kChar;
      ch = ' ';
      break;
    default:
      if (value == 0 && idx > 0 && idx < 0x110000) {
        key = IGraphicsLinux::kChar;
        ch = (unsigned)idx;
      }
      break;
    }
    return linuxGUI->KeyDown(key, ch) ? 1 : 0;
  }
  default: // effEditKeyUp: the editor takes no key releases
    return 0;
  }
}

VstIntPtr IPlugVST::Dispatch(int opcode, int idx, VstIntPtr value, void* ptr, float opt)
{
  IParam* param = GetParam(idx); // null for requests whose index is not a parameter, or out of range
  switch (opcode) {
  case effOpen:
    HostSpecificInit();
    OnParamReset();
    return 0;
  // effSetProgram and effSetChunk: VSTDispatcher, outside the mutex.
  case effGetProgram:
    return ProgramForHost();
  case effSetProgramName:
    if (ptr) {
      char name[IPreset::kNameSize];
      // Reads no further than a slot holds, and cuts between characters.
      WDL_UTF8CopyBounded(name, static_cast<const char*>(ptr), sizeof name);
      const int program = ProgramForHost();
      if (program != GetCurrentPresetIdx()) {
        // A change not in place yet (on a thread that may not wait for it): its program takes the name; the
        // live state is not its state.
        RenamePreset(program, name);
        return 0;
      }
      ModifyCurrentPreset(name);
      PresetsChangedByHost();
    }
    return 0;
  case effGetProgramName:
    if (ptr) CopyBounded(ptr, GetPresetName(ProgramForHost()), kProgramNameCapacity);
    return 0;
  case effGetParamLabel:
    if (param && ptr) CopyBounded(ptr, param->GetLabelForHost(), kParamTextCapacity);
    return 0;
  case effGetParamDisplay:
    if (param && ptr) {
      char text[256] = {};
      param->GetDisplayForHost(param->Value(), false, text, true);
      text[sizeof text - 1] = 0;
      CopyBounded(ptr, text, kParamTextCapacity);
    }
    return 0;
  case effGetParamName:
    if (param && ptr) CopyBounded(ptr, param->GetNameForHost(), kParamTextCapacity);
    return 0;
  case effSetSampleRate:
    // The rate already in place changes nothing (a reset would end the sounding notes).
    if (std::isfinite(opt) && opt > 0.0f) {
      if (mBlockUnderWay) {
        mRateAfterBlock = opt;
        return 0;
      }
      const double before = GetSampleRate();
      SetSampleRate(opt);
      if (GetSampleRate() != before || !mResetDone) ResetForHost();
    }
    return 0;
  case effSetBlockSize:
    if (value >= 1 && value <= kMaxBlockSize && mBlockUnderWay) {
      mBlockSizeAfterBlock = (int)value;
      return 0;
    }
    if (value >= 1 && value <= kMaxBlockSize && (value != GetBlockSize() || !mResetDone)) {
      SetBlockSize((int)value);
      ResetForHost();
    }
    return 0;
  case effMainsChanged:
    if (value) {
      OnActivate(true);
    } else {
      OnActivate(false);
      ResetForHost();
    }
    return 0;
  case effEditGetRect:
    if (ptr && mGraphics) {
      *static_cast<ERect**>(ptr) = &mEditRect;
      return 1;
    }
    return 0;
  // effEditOpen, effEditClose, effEditIdle, effIdle and the keys: DispatchEditor.
  case effIdentify:
    return VstFourCC('N', 'v', 'E', 'f');
  // effGetChunk: VSTDispatcher, outside the mutex.
  case effProcessEvents: {
    const VstEvents* events = static_cast<const VstEvents*>(ptr);
    if (!events) return 0;
    // The record declares two entries but holds numEvents of them: read them through a plain pointer.
    VstEvent* const* list = events->events;
    for (int i = 0; i < events->numEvents; ++i) {
      const VstEvent* e = list[i];
      if (!e) continue;
      if (e->type == kVstMidiType) {
        const VstMidiEvent* m = reinterpret_cast<const VstMidiEvent*>(e);
        // Data bytes carry 7 bits; a host's stray high bit would put a value beyond its range (a bend of +3).
        IMidiMsg msg(m->deltaFrames, (uint8_t)m->midiData[0], (uint8_t)(m->midiData[1] & 0x7F),
                     (uint8_t)(m->midiData[2] & 0x7F));
        ProcessMidiMsg(&msg);
      } else if (e->type == kVstSysExType) {
        const VstMidiSysexEvent* s = reinterpret_cast<const VstMidiSysexEvent*>(e);
        if (!s->sysexDump || s->dumpBytes < 0) continue; // nothing a handler could read
        ISysEx msg(s->deltaFrames, reinterpret_cast<const uint8_t*>(s->sysexDump), s->dumpBytes);
        ProcessSysEx(&msg);
      }
    }
    return 1;
  }
  case effCanBeAutomated:
    return 1;
  case effString2Parameter:
    return param ? String2Parameter(idx, static_cast<const char*>(ptr)) : 0;
  case effGetProgramNameIndexed:
    if (!ptr) return 0;
    CopyBounded(ptr, GetPresetName(idx), kProgramNameCapacity);
    return *static_cast<char*>(ptr) ? 1 : 0;
  case effGetInputProperties:
    return GetPinProperties(true, idx, static_cast<VstPinProperties*>(ptr));
  case effGetOutputProperties:
    return GetPinProperties(false, idx, static_cast<VstPinProperties*>(ptr));
  case effGetPlugCategory:
    return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
  case effSetSpeakerArrangement: {
    const VstSpeakerArrangement* in = reinterpret_cast<const VstSpeakerArrangement*>(value);
    const VstSpeakerArrangement* out = static_cast<const VstSpeakerArrangement*>(ptr);
    if (in) {
      int n = std::max(0, std::min(in->numChannels, NInChannels()));
      SetInputChannelConnections(0, n, true);
      SetInputChannelConnections(n, NInChannels() - n, false);
    }
    if (out) {
      int n = std::max(0, std::min(out->numChannels, NOutChannels()));
      SetOutputChannelConnections(0, n, true);
      SetOutputChannelConnections(n, NOutChannels() - n, false);
    }
    return 1;
  }
  case effGetEffectName:
    if (!ptr) return 0;
    CopyBounded(ptr, mEffectName, kEffectNameCapacity);
    return 1;
  case effGetVendorString:
    if (!ptr) return 0;
    CopyBounded(ptr, mMfrName, kVendorCapacity);
    return 1;
  case effGetProductString:
    if (!ptr) return 0;
    CopyBounded(ptr, mProductName, kProductCapacity);
    return 1;
  case effGetVendorVersion:
    return GetEffectVersion(true);
  case effVendorSpecific:
    return VendorSpecific(idx, value, ptr, opt);
  case effCanDo:
    return CanDo(static_cast<const char*>(ptr));
  case effGetTailSize:
    return mTailSize;
  case effGetVstVersion:
    return 2400;
  case effGetMidiKeyName: {
    MidiKeyName* key = static_cast<MidiKeyName*>(ptr);
    if (!key) return 0;
    key->keyName[0] = 0;
    char name[256] = {};
    bool named = MidiNoteName(key->thisKeyNumber, name);
    name[sizeof name - 1] = 0;
    CopyBounded(key->keyName, name, kKeyNameCapacity);
    return named ? 1 : 0;
  }
  case effGetSpeakerArrangement:
    if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputSpkrArr;
    if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputSpkrArr;
    return 1;
  default:
    return 0;
  }
}

namespace {
// Whether the calling thread is still running: set while it lives, cleared by its exit. The chunks handed to a
// thread are kept until it asks again or has ended.
struct ThreadLife
{
  std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
  ~ThreadLife() { alive->store(false, std::memory_order_release); }
};
thread_local ThreadLife tLife;
} // namespace

ByteChunk* IPlugVST::HostChunkForThisThread(bool bank, ByteChunk* ended)
{
  const std::shared_ptr<std::atomic<bool>>& self = tLife.alive;
  HostChunk* free = nullptr;
  for (const std::unique_ptr<HostChunk>& c : mHostChunks) {
    if (c->owner == self && c->bank == bank) return &c->bytes;
    if (!free && !c->owner->load(std::memory_order_acquire)) free = c.get(); // its thread has ended
  }
  if (!free) {
    mHostChunks.push_back(std::make_unique<HostChunk>());
    free = mHostChunks.back().get();
  }
  free->owner = self;
  free->bank = bank;
  free->bytes.Swap(*ended); // a bank's bytes, hundreds of megabytes with large tables: freed without the mutex
  return &free->bytes;
}

VstIntPtr IPlugVST::GetChunk(int idx, void* ptr)
{
  if (!ptr) return 0;
  const bool bank = idx == 0;
  // A change not in place yet, on a thread that may not wait for it: its program as it will be (the stored
  // state with what the host set since), else as it is stored. Made without the mutex.
  const int pendingProgram = ProgramForHost();
  ByteChunk pending(ByteChunk::kKeepsRuns);
  const bool pendingKnown = pendingProgram != GetCurrentPresetIdx() && PendingProgramState(&pending);
  // The state is taken under the mutex with its tables by reference; their bytes (megabytes a table) go into
  // the host's chunk without it. The chunk is this thread's: no other thread writes it.
  ByteChunk state(ByteChunk::kKeepsRuns), ended;
  if (!bank) state.ReserveRuns(IPreset::kRunsReserved); // nothing freed under the mutex as the references come
  ByteChunk* chunk = nullptr;
  bool ok;
  {
    WDL_MutexLock lock(&mMutex);
    chunk = HostChunkForThisThread(bank, &ended);
    const int program = ProgramForHost();
    const ByteChunk* planned = pendingKnown && PendingProgram() == pendingProgram ? &pending : nullptr;
    if (bank) {
      ModifyCurrentPreset(); // the program in place holds the live state, if it is still its own
      ok = SerializePresets(&state, program, planned) && PutCurrentProgram(&state);
    } else if (planned) {
      ok = state.PutChunk(planned) > 0;
    } else if (program != GetCurrentPresetIdx()) {
      ok = CopyPresetState(program, &state);
    } else {
      ok = SerializeState(&state);
    }
  }
  InitChunkWithIPlugVer(chunk);
  chunk->PutChunk(&state);
  if (!ok || chunk->Failed() || state.FlatSize() <= 0) return 0; // no chunk rather than a part of one (state's too)
  *static_cast<void**>(ptr) = chunk->GetBytes();
  return chunk->Size();
}

VstIntPtr IPlugVST::SetChunk(int idx, VstIntPtr size, void* ptr)
{
  if (!ptr || size < 0 || size > INT_MAX) return 0;
  const bool bank = idx == 0;
  // A copy of the host's bytes of our own (the chunk buffers belong to effGetChunk and its threads).
  ByteChunk chunk;
  if (chunk.Resize((int)size) != (int)size) return 0;
  if (size > 0) std::memcpy(chunk.GetBytes(), ptr, (size_t)size);

  // A chunk that cannot be read leaves the state, the programs and the current program as they were (a
  // program change taken before it then lands as it would have). A program chunk goes into the program host
  // calls act on when the load begins (that of a program change taken before it), which becomes the current
  // one together with the state, in one hold of the mutex; the load supersedes that change, and one taken
  // after it began lands after it.
  int pos = 0;
  const int version = GetIPlugVerFromChunk(&chunk, &pos);
  const bool loaded = (bank && version >= kIPlugVersion ? LoadPresets(&chunk, pos)
                                                        : LoadStateIntoProgram(&chunk, pos, nullptr, true)) >= 0;
  if (!loaded) return 0;
  WDL_MutexLock lock(&mMutex);
  RedrawParamControls();
  return 1;
}

VstIntPtr IPlugVST::String2Parameter(int idx, const char* text)
{
  if (!text) return 1; // the parameter takes text
  IParam* param = GetParam(idx);
  double value;
  if (!param->ParseHostText(text, &value)) return 0;
  SyncPendingProgram();
  param->Set(value); // clamped into the parameter's range
  HostSetParameter(idx, param->GetNormalized(), text);
  return 1;
}

void IPlugVST::HostSetParameter(int idx, double shown, const char* text)
{
  // Hosts call this from any thread, the audio thread included: the editor takes the value at its next tick.
  if (mGraphics) mGraphics->QueueParameterFromPlug(idx, shown);
  OnParamChange(idx);
  // After a program change not in place yet: set again on its program once it is, as the host sent it.
  if (PendingProgram() >= 0) OnHostParamWhilePending(idx, shown, text);
}

VstIntPtr IPlugVST::GetPinProperties(bool input, int idx, VstPinProperties* pin)
{
  const int count = input ? NInChannels() : NOutChannels();
  if (idx < 0 || !pin || idx >= count) return 0;
  pin->flags = kVstPinIsActive;
  if (idx % 2 == 0 && idx + 1 < count) pin->flags |= kVstPinIsStereo;
  const char* label = input ? GetInputLabel(idx) : GetOutputLabel(idx);
  if (label[0]) {
    CopyBounded(pin->label, label, kPinLabelCapacity);
  } else {
    std::snprintf(pin->label, kPinLabelCapacity, "%s %d", input ? "Input" : "Output", idx + 1);
  }
  return 1;
}

VstIntPtr IPlugVST::VendorSpecific(int idx, VstIntPtr value, void* ptr, float opt)
{
  // Extensions of one host: the text of any normalised value, and whether a parameter moves in steps.
  if (idx == effGetParamDisplay && ptr) {
    IParam* param = FitsInt(value) ? GetParam((int)value) : nullptr;
    if (param) {
      char text[256] = {};
      param->GetDisplayForHost(opt, true, text, true);
      text[sizeof text - 1] = 0;
      CopyBounded(ptr, text, kParamTextCapacity);
    }
    return 0xbeef;
  }
  if (idx == effGetParamName) {
    IParam* param = FitsInt(value) ? GetParam((int)value) : nullptr;
    return param && param->Type() != IParam::kTypeDouble ? 0xbeef : 0;
  }
  return 0; // the headless screenshot: VSTDispatcher, outside the mutex
}

VstIntPtr IPlugVST::CanDo(const char* what)
{
  if (!what) return 0;
  if (!std::strcmp(what, "receiveVstTimeInfo")) return 1;
  if (DoesMIDI()) {
    for (const char* midi : {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent"})
      if (!std::strcmp(what, midi)) return 1;
  }
  if (!std::strcmp(what, "hasCockosExtensions") || !std::strcmp(what, "hasCockosViewAsConfig")) return 0xbeef0000;
  return 0;
}

float IPlugVST::VSTGetParameter(AEffect* effect, VstInt32 idx)
{
  IPlugVST* plug = effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
  if (!plug) return 0.0f;
  const HostCall call(plug);
  plug->SettleForCall();
  WDL_MutexLock lock(&plug->mMutex);
  IParam* param = plug->GetParam(idx);
  return param ? (float)param->GetNormalized() : 0.0f;
}

void IPlugVST::VSTSetParameter(AEffect* effect, VstInt32 idx, float value)
{
  IPlugVST* plug = effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
  if (!plug || !std::isfinite(value)) return;
  const HostCall call(plug);
  WDL_MutexLock lock(&plug->mMutex);
  IParam* param = plug->GetParam(idx);
  if (!param) return;
  plug->SyncPendingProgram();
  param->SetNormalized(value);
  plug->HostSetParameter(idx, value);
}

template <class T> bool IPlugVST::ChannelBuffersValid(T** inputs, T** outputs) const
{
  if (mAEffect.numInputs > 0) {
    if (!inputs) return false;
    for (int i = 0; i < mAEffect.numInputs; ++i)
      if (!inputs[i]) return false;
  }
  if (mAEffect.numOutputs > 0) {
    if (!outputs) return false;
    for (int i = 0; i < mAEffect.numOutputs; ++i)
      if (!outputs[i]) return false;
  }
  return true;
}

template <class T, class Render>
void IPlugVST::ProcessCall(AEffect* effect, T** inputs, T** outputs, VstInt32 nFrames, bool replacing, Render render)
{
  IPlugVST* plug = effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
  if (!plug) return;
  const HostCall call(plug);
  WDL_MutexLock lock(&plug->mMutex);
  // From here to the block's end, a rate, block size or reset the host asks for from inside one of the block's
  // callbacks (its first ones included) waits for the end; a block the host runs from inside this one leaves it
  // to this one. A block that throws makes them before the exception goes on: nothing waits for a later block.
  const bool outermost = !plug->mBlockUnderWay;
  plug->mBlockUnderWay = true;
  const auto end = [plug, outermost] {
    if (!outermost) return;
    plug->mBlockUnderWay = false;
    plug->ApplyAfterBlock();
  };
  try {
    plug->NoteAudioThread();
    plug->mProcessingOffline.store(plug->HostCallback(audioMasterGetCurrentProcessLevel) ==
                                       kVstProcessLevelOffline,
                                   std::memory_order_relaxed);
    if (plug->DoesMIDI()) plug->HostCallback(audioMasterWantMidi);
    if (nFrames > 0 && plug->ChannelBuffersValid(inputs, outputs)) {
      render(plug);
    } else if (nFrames > 0 && replacing && outputs) {
      // Missing input channels (a host that gives an instrument none): the host must not hear what its output
      // buffers held before.
      for (int c = 0; c < plug->mAEffect.numOutputs; ++c)
        if (outputs[c]) std::memset(outputs[c], 0, sizeof(T) * (size_t)nFrames);
    }
  } catch (...) {
    end();
    throw;
  }
  end();
}

void IPlugVST::ApplyAfterBlock()
{
  if (mRateAfterBlock > 0.0f) {
    const float rate = mRateAfterBlock;
    mRateAfterBlock = 0.0f;
    Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
  }
  if (mBlockSizeAfterBlock > 0) {
    const int size = mBlockSizeAfterBlock;
    mBlockSizeAfterBlock = 0;
    Dispatch(effSetBlockSize, 0, size, nullptr, 0.0f);
  }
  if (mResetAfterBlock) {
    mResetAfterBlock = false;
    ResetForHost();
  }
}

void IPlugVST::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames)
{
  ProcessCall(effect, inputs, outputs, nFrames, false, [&](IPlugVST* plug) {
    // The block runs through the channel scratch buffers, so a block longer than they are runs in parts.
    const int step = plug->ScratchFrames();
    if (step <= 0) return;
    const int nIn = plug->mAEffect.numInputs, nOut = plug->mAEffect.numOutputs;
    float* in[64];
    float* out[64];
    if (nIn > 64 || nOut > 64) return;
    for (int done = 0; done < nFrames; done += step) {
      const int n = std::min(step, nFrames - done);
      for (int c = 0; c < nIn; ++c) in[c] = inputs[c] + done;
      for (int c = 0; c < nOut; ++c) out[c] = outputs[c] + done;
      plug->AttachInputBuffers(0, plug->NInChannels(), in, n);
      plug->AttachOutputBuffers(0, plug->NOutChannels(), out);
      plug->ProcessBuffersAccumulating(0.0f, n);
    }
  });
}

void IPlugVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames)
{
  ProcessCall(effect, inputs, outputs, nFrames, true,
              [&](IPlugVST* plug) { plug->ProcessFloatReplacing(inputs, outputs, nFrames); });
}

void IPlugVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs, VstInt32 nFrames)
{
  ProcessCall(effect, inputs, outputs, nFrames, true,
              [&](IPlugVST* plug) { plug->ProcessDoubleReplacing(inputs, outputs, nFrames); });
}

// ---- entry -----------------------------------------------------------------------------------------------------

AEffect* IPlugVSTEntry(audioMasterCallback hostCallback, IPlugVST* (*makePlug)(IPlugInstanceInfo))
{
  // Serialises the creation of instances across the process; lives until the process ends.
  static WDL_Mutex sEntryMutex;
  WDL_MutexLock lock(&sEntryMutex);
  IPlugVST* plug = nullptr;
  try {
    plug = makePlug(IPlugInstanceInfo{hostCallback});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!plug) return nullptr;
  plug->EnsureDefaultPreset();
  AEffect* effect = plug->GetAEffect();
  if (effect->numPrograms < 1) effect->numPrograms = 1;
  return effect;
}
