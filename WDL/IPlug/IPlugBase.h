// IPlugBase: the host-independent base of every plug-in object. It owns the parameters, the program slots,
// the channel layout and per-channel buffers, the instance mutex, the plug-in's and the host's identity and
// the attached editor surface; it serialises state into chunks and reads and writes .fxp/.fxb files. A host
// binding (IPlugVST) supplies the pure host notifications; a concrete plug-in overrides the hooks.
//
// Threads (THREADS.md): the host's threads enter through the host binding, which holds the instance mutex
// (recursive) for every call but program changes, state loads and the editor's: loads build the state aside
// where the plug-in can (PrepareState) and take the mutex only to put it in place, together with its program
// slot. Editor edits enter through SetParameterFromGUI, which takes it too.
#pragma once

#include "ByteChunk.h"
#include "Hosts.h"
#include "IParam.h"
#include "IPlugStructs.h"
#include "heapbuf.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

class IGraphics;

// Plug-in interface kinds.
enum EAPI {
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIRTAS = 3,
  kAPIAAX = 4,
  kAPISA = 5,
};

// Versions are packed: major in bits 16-31, minor in bits 8-15, revision in bits 0-7 (1.0.1 is 0x10001).
void GetVersionParts(int version, int* major, int* minor, int* revision);
int GetDecimalVersion(int version);         // major * 10000 + minor * 100 + revision
void GetVersionStr(int version, char* str); // "v1.0.1"; str holds at least 40 bytes

// Four characters packed as a big-endian int, the first in the top byte: plug-in and vendor IDs and the
// tags of program and bank files ("CcnK").
constexpr int FourCC(const char* tag)
{
  return (int)(((unsigned)(unsigned char)tag[0] << 24) | ((unsigned)(unsigned char)tag[1] << 16) |
               ((unsigned)(unsigned char)tag[2] << 8) | (unsigned)(unsigned char)tag[3]);
}

// One program slot.
struct IPreset
{
  static constexpr int kNameSize = 256; // names of up to 255 characters; longer ones are cut

  bool mInitialized = false;
  char mName[kNameSize];
  ByteChunk mChunk; // the program's state as SerializeState writes it
  // Which state the slot holds: the count of whole states put into slots when it took this one (0: none).
  unsigned mStored = 0;

  IPreset();
  void SetName(const char* name);
};

// The host's transport as the plug-in last saw it; each field keeps its last valid value.
struct ITimeInfo
{
  double mTempo = 120.0; // beats per minute
  double mSamplePos = -1.0;
  double mPPQPos = -1.0;                       // position in quarter notes
  double mLastBar = -1.0;                      // start of the last bar, quarter notes
  double mCycleStart = -1.0, mCycleEnd = -1.0; // quarter notes
  int mNumerator = 4, mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

// First slot that is not initialised, or null.
IPreset* GetNextUninitializedPreset(WDL_PtrList<IPreset>* presets);
// Writes "user preset N", N being 1 + the number of slots whose name contains "user preset".
void MakeDefaultUserPresetName(WDL_PtrList<IPreset>* presets, char* str);

class IPlugBase
{
public:
  struct ChannelIO
  {
    int mIn, mOut;
  };
  struct InChannel
  {
    bool mConnected = false;
    double** mSrc; // this channel's entry in the input data pointers
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
    InChannel() : mScratchBuf(4096) {}
  };
  struct OutChannel
  {
    bool mConnected = false;
    double** mDest;          // this channel's entry in the output data pointers
    float* mFDest = nullptr; // the host's single-precision output of the current block
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
    OutChannel() : mScratchBuf(4096) {}
  };

  // The framework's chunk header: 'pfft' and the framework version, little-endian.
  static constexpr int kMagic = 0x70666674;
  static constexpr int kIPlugVersion = 0x00010000;
  // After the programs of a bank handed to a host: 'curp' and the current program's index (int32), so that
  // a project reopened plays the program it was saved with. Readers that do not know it stop before it.
  static constexpr int kCurrentProgramTag = 0x70727563;

  IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName, const char* productName,
            const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, EAPI plugAPI);
  virtual ~IPlugBase();

  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ---- hooks a plug-in overrides ----
  virtual void Reset();
  virtual void OnParamChange(int paramIdx);
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  virtual void ProcessFloatReplacing(float** /*inputs*/, float** /*outputs*/, int /*nFrames*/) {}
  // Under the instance mutex, on the host's GUI thread, before the editor's window is opened (and whether or
  // not it then opens): from here on the editor's controls belong to this thread.
  virtual void OnGUIOpening() {}
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  virtual void OnIdle() {}
  virtual void OnActivate(bool active);
  virtual void ProcessMidiMsg(IMidiMsg* msg) { SendMidiMsg(msg); }
  virtual void ProcessSysEx(ISysEx* /*msg*/) {}
  // Writes the name of a note into name (at most 63 characters); true when the note has one.
  virtual bool MidiNoteName(int noteNumber, char* name);
  virtual bool SerializeState(ByteChunk* chunk) { return SerializeParams(chunk); }
  virtual int UnserializeState(ByteChunk* chunk, int startPos) { return UnserializeParams(chunk, startPos); }
  virtual bool CompareState(const unsigned char* data, int startPos);
  virtual void OnWindowResize() {}
  virtual bool HostRequestingAboutBox() { return false; }
  virtual void OnHostIdentified() {}
  virtual void PopupHostContextMenuForParam(int /*paramIdx*/, int /*x*/, int /*y*/) {}
  virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);

  // ---- states built aside ----
  // Putting a state in place may be costly (a product may build a whole engine for it). A plug-in that can
  // build a state aside, on the calling thread and without the instance mutex, overrides these four; the
  // framework's loads (programs, banks, host chunks, program files) then hold the mutex only for the moment
  // it takes to put a built state in place, so that the audio thread never waits long for it. Without them
  // every load unserializes in place under the mutex.
  //
  // PrepareState builds the state of chunk from pos aside (any thread but the audio thread): the end
  // position, -1 when the chunk cannot be read (nothing is built), or kNotPrepared when the plug-in does
  // not build states aside, or cannot now (the caller then loads in place). Whatever it answers, the same
  // thread calls EndPreparedState next, without the mutex; CommitPreparedState, under the mutex, may come
  // between and puts the built state in place: false when the plug-in changed meanwhile in a way the
  // state was not built for (the caller then prepares again).
  static constexpr int kNotPrepared = -2;
  static constexpr int kPrepareAttempts = 4; // builds refused by commits; then the load is done in place
  virtual int PrepareState(const ByteChunk* /*chunk*/, int /*pos*/) { return kNotPrepared; }
  virtual bool CommitPreparedState() { return false; }
  virtual void EndPreparedState() {}
  // Around a bank's programs read one after another (NormalizeState): a plug-in that builds program changes
  // on a thread of its own may hold that back until the bank is in place, which supersedes them.
  virtual void HoldProgramBuilds(bool /*hold*/) {}
  // Appends to out the state of chunk from pos as SerializeState would write it once that state is loaded,
  // without touching the live state (any thread but the audio thread, without the mutex): the end position,
  // -1, or kNotPrepared when the plug-in cannot (a bank is then read through the live plug-in).
  virtual int NormalizeState(const ByteChunk* /*chunk*/, int /*pos*/, ByteChunk* /*out*/) { return kNotPrepared; }

  // ---- a program change not in place yet ----
  // A plug-in may put a program change in place some time after it takes it (one taken on the audio thread
  // and built aside). Host calls made after the change act on its program; the host binding asks:
  // PendingProgram: the program of the latest change not in place yet, or -1 (any thread).
  virtual int PendingProgram() { return -1; }
  // The program host calls act on: a pending change's, else the current one (any thread).
  int ProgramForHost()
  {
    const int pending = PendingProgram();
    return pending >= 0 ? pending : mCurrentPresetIdx;
  }
  // SettlePendingProgram: before a host call that needs the change in place, without the mutex: the change is
  // put in place, waiting a bounded time for it, on a thread that may wait; others take what is ready.
  virtual void SettlePendingProgram() {}
  // SyncPendingProgram: under the mutex, on any thread without waiting: a change that is ready goes in place.
  virtual void SyncPendingProgram() {}
  // SupersedePendingProgram: under the mutex, once a load put a whole state in place: the changes taken
  // before it are done with (loads built aside tell the plug-in through CommitPreparedState).
  virtual void SupersedePendingProgram() {}
  // OnHostParamWhilePending: under the mutex, after the host set a parameter while a change is pending: the
  // plug-in sets it again once the change is in place, with what the host sent (the normalised value, or
  // text when the host sent text).
  virtual void OnHostParamWhilePending(int /*paramIdx*/, double /*normalizedValue*/, const char* /*text*/) {}
  // StageProgramChange: the host changes the program on a thread that processes audio, which must not wait
  // for a build: true when the plug-in takes the change as it takes one in the MIDI stream.
  virtual bool StageProgramChange(int /*program*/) { return false; }

  // ---- host notifications, supplied by the host binding ----
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() { return false; }
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0; // beats per minute
  virtual void GetTimeSig(int* numerator, int* denominator) = 0;
  virtual void GetTime(ITimeInfo* timeInfo) = 0;
  virtual EHost GetHost() { return mHost; }
  virtual EAPI GetAPI() { return mAPI; }
  virtual void ResizeGraphics(int width, int height) = 0;
  virtual void HostSpecificInit() {}
  virtual void AttachGraphics(IGraphics* graphics);
  virtual void SetLatency(int samples) { mLatency = samples; }
  virtual bool SendMidiMsg(IMidiMsg* msg) = 0;
  virtual bool SendSysEx(ISysEx* /*msg*/) { return false; }
  virtual void RedrawParamControls();
  // A bank's programs pass through UnserializeState one after another only to be saved again in the
  // current layout (true), before the current one is applied (false): a plug-in may skip work that only
  // the playing program needs.
  virtual void OnPresetsRead(bool /*reading*/) {}
  virtual void DirtyPTCompareState() {}
  virtual void PresetsChangedByHost() {}
  virtual void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  virtual void SetBlockSize(int blockSize);

  // ---- identity and environment ----
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  int GetEffectVersion(bool decimal) const;
  void GetEffectVersionStr(char* str) const;
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* str);
  void SetHost(const char* host, int version);
  const char* GetAPIString();
  const char* GetArchString() const { return "x64"; }
  double GetSampleRate() const { return mSampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int GetTailSize() const { return mTailSize; }
  double GetSamplesPerBeat();
  bool DoesMIDI() const { return mDoesMIDI; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInstrument() const { return mIsInst; }
  IGraphics* GetGUI() const { return mGraphics; }
  WDL_Mutex* GetMutex() { return &mMutex; }

  // ---- parameters ----
  int NParams() const { return mParams.GetSize(); }
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  void OnParamReset();    // OnParamChange for every parameter, index 0 first
  void DirtyParameters(); // the host is told every parameter's value

  // ---- channels and buffers ----
  bool LegalIO(int nIn, int nOut) const; // a negative count matches any
  void LimitToStereoIO();
  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  int NChannelIO() const { return mChannelIO.GetSize(); }
  const ChannelIO* GetChannelIO(int idx) const { return mChannelIO.Get(idx); }
  bool IsInChannelConnected(int idx) const;
  bool IsOutChannelConnected(int idx) const;
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  void SetInputLabel(int idx, const char* label);
  void SetOutputLabel(int idx, const char* label);
  const char* GetInputLabel(int idx) const;
  const char* GetOutputLabel(int idx) const;
  void SetInputBusLabel(int idx, const char* label);
  void SetOutputBusLabel(int idx, const char* label);
  const char* GetInputBusLabel(int idx) const;
  const char* GetOutputBusLabel(int idx) const;
  void AttachInputBuffers(int idx, int n, double** data, int nFrames);
  void AttachInputBuffers(int idx, int n, float** data, int nFrames);
  void AttachOutputBuffers(int idx, int n, double** data);
  void AttachOutputBuffers(int idx, int n, float** data);
  void ProcessBuffers(double, int nFrames);
  void ProcessBuffers(float, int nFrames);
  void ProcessBuffersAccumulating(float, int nFrames);
  void PassThroughBuffers(double, int nFrames);
  void PassThroughBuffers(float, int nFrames);
  // The float forms: up to the scratch length rendered (by the plug-in, or as pass-through) into
  // the scratch buffers, then stored into or added onto the float outputs.
  void RenderToFloat(int nFrames, bool passThrough, bool accumulate);
  void ZeroScratchBuffers();
  // The smallest scratch buffer of any channel, in samples: the most a block attached from float may hold.
  int ScratchFrames() const;
  bool SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* msgs);

  // ---- state chunks and programs ----
  static void InitChunkWithIPlugVer(ByteChunk* chunk);
  static int GetIPlugVerFromChunk(ByteChunk* chunk, int* position);
  bool SerializeParams(ByteChunk* chunk);
  int UnserializeParams(ByteChunk* chunk, int startPos);

  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* GetPresetName(int idx) const;
  bool IsPresetInitialized(int idx) const;
  const ByteChunk* GetPresetChunk(int idx) const;
  // A copy of a program's state appended to out under the programs' own lock only, for a thread that must
  // not wait for the instance mutex (one that builds states beside the audio thread). False for a slot that
  // is missing or holds no state.
  bool CopyPresetState(int idx, ByteChunk* out);
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  // The current program takes the live state (and the name, unless null or empty); it counts as initialised.
  void ModifyCurrentPreset(const char* name = nullptr);
  // Program idx takes the name (unless null or empty), its stored state untouched.
  void RenamePreset(int idx, const char* name);
  // A program's stored state changed in place by a thread that may neither wait nor allocate (the audio
  // thread): PresetStored names the state a slot holds now (read under the instance mutex, which every
  // store holds); TryRewritePreset then hands that state's chunk to rewrite(ByteChunk*), which may change
  // its bytes but not its size and answers whether it could, under the programs' lock taken only if free.
  enum ERewrite { kRewritten, kRewriteBusy, kRewriteReplaced, kRewriteRefused };
  unsigned PresetStored(int idx) const;
  template <class Rewrite> ERewrite TryRewritePreset(int idx, unsigned stored, Rewrite rewrite)
  {
    if (!mPresetsMutex.TryEnter()) return kRewriteBusy;
    IPreset* preset = mPresets.Get(idx);
    ERewrite result = kRewriteReplaced; // the slot took another state since (or is gone): not this one's
    if (preset && preset->mStored == stored)
      result = preset->mInitialized && rewrite(&preset->mChunk) ? kRewritten : kRewriteRefused;
    mPresetsMutex.Leave();
    return result;
  }
  bool SerializePresets(ByteChunk* chunk);
  // The bytes SerializePresets writes for the programs (only: for that program alone).
  int64_t PresetsSize(int only = -1) const;
  int UnserializePresets(ByteChunk* chunk, int startPos);
  void EnsureDefaultPreset();
  void PruneUninitializedPresets();

  // Factory-program makers: each fills the first slot that is not initialised (nothing when there is none).
  void MakeDefaultPreset(const char* name = nullptr, int nPresets = 1);
  // One value per parameter in index order: an int for bool, int and enum parameters, a double otherwise.
  void MakePreset(const char* name, ...);
  // nParamsNamed pairs of parameter index and value (int or double by type); other parameters keep their value.
  void MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  void MakePresetFromChunk(const char* name, ByteChunk* chunk);
  void MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);

  // Development dumps: text that recreates programs through the makers. False when the file cannot be written.
  bool DumpPresetSrcCode(const char* path, const char** paramEnumNames);
  bool DumpPresetBlob(const char* path);
  bool DumpBankBlob(const char* path);

  // ---- program and bank files (.fxp, .fxb) ----
  // Save: false for an empty name, a state past the chunk limit, a file that cannot be created, a write-protected
  // file, or a failed write (a full disk, say); a file that was there then stays as it was. The new file replaces
  // it only once written and flushed; one with other names (hard links), someone else's, or one in a folder that
  // may not be written to is written in place, its old bytes put back should the write fail. A symbolic link,
  // even to a file not there yet, has the file it names written.
  bool SaveProgramAsFXP(WDL_String* fileName);
  bool SaveBankAsFXB(WDL_String* fileName);
  // Load: false for an empty name, an unreadable, short, damaged or foreign file, or state that cannot be read;
  // the plug-in's state, programs and current program are then as they were.
  bool LoadProgramFromFXP(WDL_String* fileName);
  bool LoadBankFromFXB(WDL_String* fileName);
  // The same for the bytes of a whole file already in memory.
  bool LoadProgramFromFXPData(ByteChunk* file);
  bool LoadBankFromFXBData(ByteChunk* file);
  // Whether a bank file's bytes hold at least one initialised program (a bank of none, or of uninitialised
  // ones only, would leave every program empty).
  bool BankFileHoldsPrograms(ByteChunk* file);

protected:
  // A copy of everything a load may change, so that a failed load can put it back.
  struct StateBackup
  {
    ByteChunk mLive;
    WDL_PtrList<IPreset> mPresets;
    int mCurrentPresetIdx = 0;
    ~StateBackup() { mPresets.Empty(true); }
  };
  bool BackUpState(StateBackup* backup);
  // Puts the backup back, unless the programs, the current program and the live state (as saved) are
  // still what it holds.
  void RestoreState(StateBackup* backup);
  bool StateUnchanged(StateBackup* backup);
  // Runs read (the chunk position after what it read, negative when it fails) on a backed-up
  // state and puts the state back when it fails. True when the read succeeded.
  // Under the mutex. A program change taken before it is done with only when the whole read succeeds (the
  // loads within it leave it to this one).
  template <class Read> bool ReadOrKeepState(Read read)
  {
    StateBackup backup;
    if (!BackUpState(&backup)) return false;
    ++mSupersedeHeld;
    const bool ok = read() >= 0;
    --mSupersedeHeld;
    if (ok) {
      SupersedePendingProgram();
      return true;
    }
    RestoreState(&backup);
    return false;
  }
  // Loads within a read that may still be undone (ReadOrKeepState): they supersede no program change.
  bool SupersedeHeld() const { return mSupersedeHeld > 0; }

  // Puts the state of chunk from pos in place and then, under the same hold of the mutex, runs
  // then(end position) when it was read: built aside first where the plug-in can (the mutex is then held
  // only to put it in place), else unserialized in place. A state that cannot be read changes nothing
  // when built aside, and with keepOnFailure also in place. With whole, a state that ends before the
  // chunk does (bytes the state does not account for: not a state we wrote) cannot be read either.
  // Returns the end position, or -1.
  template <class Then> int LoadState(ByteChunk* chunk, int pos, bool keepOnFailure, Then then, bool whole = false)
  {
    auto read = [&](int end) { return whole && end >= 0 && end != chunk->Size() ? -1 : end; };
    for (int attempt = 0; attempt < kPrepareAttempts; ++attempt) {
      const int prepared = PrepareState(chunk, pos);
      if (prepared == kNotPrepared) {
        EndPreparedState();
        break;
      }
      const int end = read(prepared);
      bool committed = false;
      if (end >= 0) {
        WDL_MutexLock lock(&mMutex);
        committed = CommitPreparedState();
        if (committed) then(end);
      }
      EndPreparedState();
      if (end < 0) return -1;
      if (committed) return end;
    }
    WDL_MutexLock lock(&mMutex);
    int end = -1;
    if (keepOnFailure) {
      if (!ReadOrKeepState([&] { return end = read(UnserializeState(chunk, pos)); })) return -1;
    } else {
      end = read(UnserializeState(chunk, pos));
    }
    if (end >= 0) {
      if (!SupersedeHeld()) SupersedePendingProgram();
      then(end);
    }
    return end;
  }
  // A bank's current program (the one host calls act on): appended after its programs, and read from where
  // they end (-1 when the bytes there are not one of ours).
  bool PutCurrentProgram(ByteChunk* chunk);
  int GetCurrentProgram(const ByteChunk* chunk, int pos);
  // Program idx becomes the current one, its state being in place (under the mutex): the plug-in hears of
  // it and the editor shows it.
  void SelectPreset(int idx);
  // Reads a bank (SerializePresets' layout) and brings the current program back into the live plug-in:
  // every stored program is taken in the plug-in's current state format, built aside where it can. A
  // bank that cannot be read changes nothing. Without a current program of its own, the bank's current
  // program is the one host calls act on. Returns the end position, or -1.
  int LoadPresets(ByteChunk* chunk, int startPos);

  WDL_PtrList<ChannelIO> mChannelIO;
  WDL_Mutex mMutex;
  int mSupersedeHeld = 0; // under mMutex
  char mEffectName[128], mProductName[128], mMfrName[128];
  int mUniqueID, mMfrID, mVersion;
  EAPI mAPI;
  EHost mHost = kHostUninit;
  int mHostVersion = 0;
  bool mStateChunks, mIsInst, mDoesMIDI;
  int mCurrentPresetIdx = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency;
  int mTailSize = 0;
  IGraphics* mGraphics = nullptr; // owned
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<IPreset> mPresets;
  // Held, after the instance mutex, wherever the program slots change; CopyPresetState reads under it alone.
  WDL_Mutex mPresetsMutex;
  WDL_TypedBuf<double*> mInData, mOutData;
  WDL_PtrList<InChannel> mInChannels;
  WDL_PtrList<OutChannel> mOutChannels;
  WDL_PtrList<WDL_String> mInputBusLabels, mOutputBusLabels;

  // Loads a whole file into chunk; false when the name is missing or empty, or the file cannot
  // be opened or read.
  static bool ReadFile(const WDL_String* fileName, ByteChunk* chunk);

private:
  void StoreCurrentPreset(const char* name); // under both locks
  // A slot took a whole state (under both locks): a rewrite meant for the one it held no longer applies.
  void PresetReplaced(IPreset* preset) { preset->mStored = ++mPresetsStored; }
  unsigned mPresetsStored = 0;
  static bool WriteFile(const char* path, ByteChunk* chunk);
};
