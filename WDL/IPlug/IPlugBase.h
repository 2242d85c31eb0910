// IPlugBase: the host-independent base of every plug-in object. It owns the parameters, the program slots,
// the channel layout and per-channel buffers, the instance mutex, the plug-in's and the host's identity and
// the attached editor surface; it serialises state into chunks and reads and writes .fxp/.fxb files. A host
// binding (IPlugVST) supplies the pure host notifications; a concrete plug-in overrides the hooks.
//
// Threads (THREADS.md): the host's threads enter through the host binding, which holds the instance mutex
// (recursive) for every call but program changes, state loads and reads, and the editor's: loads build the state
// aside where the plug-in can (PrepareState) and take the mutex only to put it in place, together with its program
// slot; a read takes the state under it with its shared blocks by reference (ByteChunk runs) and writes their
// bytes without it. Editor edits enter through SetParameterFromGUI, which takes it too.
//
// One rule keeps the program slots right: the live state knows the slot it was put in place from and which
// state that slot held then (its stamp, IPreset::mStored); it is stored back only into that slot, and only
// while the slot still holds that state (ModifyCurrentPreset). A load records what it began from (LoadTicket)
// and puts its state in place only while nothing else was put in place since and the slot it read is unchanged;
// else it begins again.
#pragma once

#include "ByteChunk.h"
#include "Hosts.h"
#include "IParam.h"
#include "IPlugStructs.h"
#include "heapbuf.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

#include <atomic>
#include <vector>

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
  static constexpr int kRunsReserved = 32; // shared blocks a state stored again holds without allocating

  bool mInitialized = false;
  char mName[kNameSize];
  // The program's state as SerializeState writes it, its shared blocks (wavetables) kept by reference.
  ByteChunk mChunk{ByteChunk::kKeepsRuns};
  // Which state the slot holds (its stamp): the count of whole states put into slots when it took this one,
  // never 0 once the plug-in has given it one.
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
  // on a thread of its own may hold that back until the bank is in place, which supersedes those taken before
  // its ticket (a bank of values: before its programs were read; one taken since lands after it).
  virtual void HoldProgramBuilds(bool /*hold*/) {}
  // Appends to out the state of chunk from pos as SerializeState would write it once that state is loaded,
  // with the host's values sets set on it, without touching the live state (without the mutex): the end
  // position, -1, or kNotPrepared when the plug-in cannot (a bank is then read through the live plug-in).
  struct HostSet
  {
    int paramIdx;
    double value;     // normalised
    const char* text; // what the host sent instead, or null
  };
  virtual int NormalizeState(const ByteChunk* /*chunk*/, int /*pos*/, ByteChunk* /*out*/,
                             const HostSet* /*sets*/ = nullptr, int /*nSets*/ = 0)
  {
    return kNotPrepared;
  }

  // ---- a program change not in place yet ----
  // A plug-in may put a program change in place some time after it takes it (one taken on the audio thread
  // and built aside, or put in place where the audio loop reaches it). Host calls made after the change act on
  // its program; the host binding asks:
  // PendingProgram: the program of the latest change not in place yet, or -1 (any thread).
  virtual int PendingProgram() { return -1; }
  // ProgramChangesTaken: the count of program changes taken so far (it wraps). Changes are taken under the
  // mutex, so a load that reads it there knows which changes came before it.
  virtual unsigned ProgramChangesTaken() { return 0; }
  // The program host calls act on: a pending change's, else the current one (any thread).
  int ProgramForHost()
  {
    const int pending = PendingProgram();
    return pending >= 0 ? pending : mCurrentPresetIdx.load(std::memory_order_acquire);
  }
  // SettlePendingProgram: before a host call that needs the change in place, without the mutex: the change is
  // put in place, waiting a bounded time for it, on a thread that may wait; others take what is ready.
  virtual void SettlePendingProgram() {}
  // SyncPendingProgram: under the mutex, on any thread without waiting: a change that is ready goes in place.
  virtual void SyncPendingProgram() {}
  // SupersedePendingProgram: under the mutex, once a load put a whole state in place: the changes taken
  // before the load began (the first upTo of ProgramChangesTaken) are done with, and the values the host set
  // for them; later ones land after it.
  virtual void SupersedePendingProgram(unsigned /*upTo*/) {}
  // OnHostParamWhilePending: under the mutex, after the host set a parameter while a change is pending: the
  // plug-in sets it again once the change is in place, with what the host sent (the normalised value, or
  // text when the host sent text). The live state then holds a value meant for another program: it is no
  // longer its slot's (LiveStateHoldsOthers), and stores into that slot are refused until a state is put in
  // place.
  virtual void OnHostParamWhilePending(int /*paramIdx*/, double /*normalizedValue*/, const char* /*text*/) {}
  // PendingProgramState: the state the pending change's program will have once in place (its stored state
  // with the host's values set since) appended to out, on a thread that may not wait for the build (any
  // thread, without the mutex); false when it cannot be had now (the stored state is then what there is).
  virtual bool PendingProgramState(ByteChunk* /*out*/) { return false; }
  // StageProgramChange: the host changes the program on a thread that processes audio, which must not wait
  // for a build: true when the plug-in takes the change as it takes one in the MIDI stream.
  virtual bool StageProgramChange(int /*program*/) { return false; }
  // RunQueuedEditorCommands: before a state is put in place, a program changes or a chunk is read (any thread; it
  // takes the mutex itself): edits the editor queued on the program in place are carried out on it first.
  virtual void RunQueuedEditorCommands() {}

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
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx.load(std::memory_order_acquire); }
  const char* GetPresetName(int idx) const;
  bool IsPresetInitialized(int idx) const;
  const ByteChunk* GetPresetChunk(int idx) const;
  // A copy of a program's state appended to out under the programs' own lock only, for a thread that must
  // not wait for the instance mutex (one that builds states beside the audio thread), with the stamp of the
  // state copied. False for a slot that is missing or holds no state. Only references to its shared blocks are
  // copied under the lock: into a chunk that keeps no runs their bytes are written after it.
  bool CopyPresetState(int idx, ByteChunk* out, unsigned* stored = nullptr);
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  // The one way the live state goes into a slot: the current program takes the live state, only while the
  // live state still comes from it (it was put in place from that slot's present state, and holds no value
  // the host set for a change not in place yet); then it counts as initialised. The name (unless null or
  // empty) is set either way. True when the state was stored.
  bool ModifyCurrentPreset(const char* name = nullptr);
  // Program idx takes the name (unless null or empty), its stored state untouched.
  void RenamePreset(int idx, const char* name);
  // A program's stored state changed in place by a thread that may neither wait nor allocate (the audio
  // thread): PresetStored names the state a slot holds now (read under the instance mutex, which every
  // store holds); TryRewritePreset then hands that state's chunk to rewrite(ByteChunk*), which may change
  // its bytes but not its size and answers whether it could, under the programs' lock taken only if free.
  // A rewritten slot takes a new stamp, which the live state's origin follows when it named the old one.
  enum ERewrite { kRewritten, kRewriteBusy, kRewriteReplaced, kRewriteRefused };
  unsigned PresetStored(int idx) const;
  // The stamp of the slot the live state was put in place from, as it was then (0: none); under the mutex.
  unsigned LiveStateStored() const { return mLiveHoldsOthers ? 0 : mLiveStored; }
  // States put in place so far (loads and programs taken over; it wraps): written under the mutex, read by any
  // thread (the editor tells from it that the program it shows was replaced).
  unsigned StatesPutInPlace() const { return mStatesPutInPlace.load(std::memory_order_acquire); }
  template <class Rewrite> ERewrite TryRewritePreset(int idx, unsigned stored, Rewrite rewrite)
  {
    if (!mPresetsMutex.TryEnter()) return kRewriteBusy;
    IPreset* preset = mPresets.Get(idx);
    ERewrite result = kRewriteReplaced; // the slot took another state since (or is gone): not this one's
    if (preset && preset->mStored == stored)
      result = preset->mInitialized && rewrite(&preset->mChunk) ? kRewritten : kRewriteRefused;
    if (result == kRewritten) {
      // Other bytes, another state: a build copied before is not this one. The live state that the rewritten
      // state came from comes from the new one.
      PresetReplaced(preset);
      if (idx == GetCurrentPresetIdx() && LiveStateStored() == stored) mLiveStored = preset->mStored;
    }
    mPresetsMutex.Leave();
    return result;
  }
  // With pendingState, program `pending` is written with that state instead of its stored one.
  bool SerializePresets(ByteChunk* chunk, int pending = -1, const ByteChunk* pendingState = nullptr);
  // The bytes SerializePresets writes for the programs (only: for that program alone).
  int64_t PresetsSize(int only = -1, bool tables = true) const; // tables: with the bytes of the slots' tables
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
  // Files are read and written with the instance mutex held only to take the plug-in's bytes or to put a state
  // built aside in place: never across the disk, so that a slow disk, a pipe or a device never stops the audio.
  // Errors (err, when given): the errno of the step that failed (WDL_ENOTREGULAR, fileerror.h, for a path that
  // is not a regular file), EBADMSG for a file whose bytes are not a program or bank of this plug-in (damaged,
  // cut short or padded, another plug-in's).
  //
  // Save: false for an empty name, a state past the chunk limit (EFBIG), or a file that cannot be written (see
  // WDL_WriteWholeFile: a write-protected file, a full disk, a file-size limit); a file that was there then stays
  // as it was.
  bool SaveProgramAsFXP(WDL_String* fileName, int* err = nullptr);
  bool SaveBankAsFXB(WDL_String* fileName, int* err = nullptr);
  // Load: false for an empty name, an unreadable, short, damaged or foreign file, or state that cannot be read;
  // the plug-in's state, programs and current program are then as they were. Sizes recorded in the file are
  // checked against it, and a file larger than any bank is refused before it is read.
  bool LoadProgramFromFXP(WDL_String* fileName, int* err = nullptr);
  bool LoadBankFromFXB(WDL_String* fileName, int* err = nullptr);
  // The same for the bytes of a whole file already in memory.
  bool LoadProgramFromFXPData(ByteChunk* file, int* err = nullptr);
  bool LoadBankFromFXBData(ByteChunk* file, int* err = nullptr);
  // Whether a bank file's bytes hold at least one initialised program (a bank of none, or of uninitialised
  // ones only, would leave every program empty).
  bool BankFileHoldsPrograms(ByteChunk* file);

protected:
  // A copy of everything a load may change, so that a failed load can put it back.
  struct StateBackup
  {
    ByteChunk mLive{ByteChunk::kKeepsRuns};
    WDL_PtrList<IPreset> mPresets;
    int mCurrentPresetIdx = 0;
    unsigned mLiveStored = 0;
    bool mLiveHoldsOthers = false;
    ~StateBackup() { mPresets.Empty(true); }
  };
  bool BackUpState(StateBackup* backup);
  // Puts the backup back, unless the programs, the current program and the live state (as saved) are
  // still what it holds.
  void RestoreState(StateBackup* backup);
  bool StateUnchanged(StateBackup* backup);
  // Runs read (the chunk position after what it read, negative when it fails) on a backed-up
  // state and puts the state back when it fails. True when the read succeeded.
  // Under the mutex. The program changes taken before the load began (upTo) are done with only when the whole
  // read succeeds (the loads within it leave that to this one).
  template <class Read> bool ReadOrKeepState(Read read, unsigned upTo)
  {
    StateBackup backup;
    if (!BackUpState(&backup)) return false;
    ++mSupersedeHeld;
    const bool ok = read() >= 0;
    --mSupersedeHeld;
    if (ok) {
      SupersedePendingProgram(upTo);
      return true;
    }
    RestoreState(&backup);
    return false;
  }
  // Loads within a read that may still be undone (ReadOrKeepState): they supersede no program change.
  bool SupersedeHeld() const { return mSupersedeHeld > 0; }

  // What a load began from, taken under the mutex: the program host calls acted on then, the program changes
  // taken so far (the load comes after them and supersedes them; later ones land after it), the states put in
  // place so far, and the slot whose stored state it reads, with that state's stamp (a bank read over its
  // programs: the stamps of the first nStamps slots, as read).
  struct LoadTicket
  {
    int program = 0;
    unsigned changes = 0;
    unsigned putInPlace = 0;
    int slot = -1;
    unsigned stored = 0;
    const unsigned* stamps = nullptr;
    int nStamps = 0;
  };
  void BeginLoad(LoadTicket* ticket); // under the mutex
  // Nothing was put in place since the load began, and the slots it read still hold what it read (under the
  // mutex): a load that began before another one was put in place never lands after it.
  bool LoadStillHolds(const LoadTicket& ticket) const;
  // A load read aside over what `over` saw goes on only while that still holds (under the mutex): its ticket
  // then is the read's: the same slots, which its commit checks again, and the program changes taken before the
  // read began, which it supersedes (one taken since lands after it).
  bool LoadGoesOnOver(LoadTicket* ticket, const LoadTicket& over) const;

  // Loads a state and puts it in place, then runs then(ticket, end position) under the same hold of the mutex
  // (which must select the program the state now belongs to, SelectPreset). source(&ticket, &chunk, &pos) runs
  // under the mutex each time the load (re)begins and names the bytes to read (it may copy a slot's state into
  // a buffer of its own, and name the slot in the ticket); false gives the load up.
  // The state is built aside first where the plug-in can (the mutex is then held only to put it in place), and
  // built again when something else was put in place meanwhile; else it is unserialized in place. A state that
  // cannot be read changes nothing when built aside, and with keepOnFailure also in place. With whole, a state
  // that ends before the chunk does (bytes the state does not account for: not a state we wrote) cannot be read
  // either. Returns the end position, or -1.
  template <class Source, class Then>
  int LoadState(Source source, bool keepOnFailure, Then then, bool whole = false)
  {
    LoadTicket ticket;
    const ByteChunk* chunk = nullptr;
    int pos = 0;
    const auto begin = [&] {
      ticket = LoadTicket();
      BeginLoad(&ticket);
      return source(&ticket, &chunk, &pos);
    };
    const auto read = [&](int end) {
      return whole && end >= 0 && end != chunk->Size() ? -1 : end;
    };
    RunQueuedEditorCommands();
    for (int attempt = 0; attempt < kPrepareAttempts; ++attempt) {
      {
        WDL_MutexLock lock(&mMutex);
        if (!begin()) return -1;
      }
      const int prepared = PrepareState(chunk, pos);
      if (prepared == kNotPrepared) {
        EndPreparedState();
        break;
      }
      const int end = read(prepared);
      bool committed = false;
      if (end >= 0) {
        WDL_MutexLock lock(&mMutex);
        RunQueuedEditorCommands(); // those queued while it was built
        committed = LoadStillHolds(ticket) && CommitPreparedState();
        if (committed) {
          if (!SupersedeHeld()) SupersedePendingProgram(ticket.changes);
          then(ticket, end);
        }
      }
      EndPreparedState();
      if (end < 0) return -1;
      if (committed) return end;
    }
    WDL_MutexLock lock(&mMutex);
    RunQueuedEditorCommands();
    if (!begin()) return -1;
    int end = -1;
    // The reader only reads the chunk.
    ByteChunk* bytes = const_cast<ByteChunk*>(chunk);
    if (keepOnFailure) {
      if (!ReadOrKeepState([&] { return end = read(UnserializeState(bytes, pos)); }, ticket.changes)) return -1;
    } else {
      end = read(UnserializeState(bytes, pos));
      if (end >= 0 && !SupersedeHeld()) SupersedePendingProgram(ticket.changes);
    }
    if (end >= 0) then(ticket, end);
    return end;
  }
  // A load of a state that is not a slot's (a host's program chunk, a program file, a pasted program) into the
  // program host calls act on: it becomes the current program, its slot takes the state (and the name, unless
  // null). Returns the end position, or -1. A state made over a program's (over: that program, its slot's
  // stamp and the states put in place, as read) loads only while they still hold, else kNotPrepared. With
  // asEdit, a state made over the live one (Init Program) is stored only as ModifyCurrentPreset stores.
  int LoadStateIntoProgram(const ByteChunk* chunk, int pos, const char* name, bool whole,
                           const LoadTicket* over = nullptr, bool asEdit = false);
  // A state made aside over the program host calls act on, loaded into it (LoadStateIntoProgram) while what it was
  // made over still holds, else made again. read(program, &base), under the mutex with the ticket, copies what it
  // goes over; make(base, &state) makes it without the mutex: an end position, -1, or kNotPrepared. Returns what
  // the load returned, -1 when nothing could be read or made, or kNotPrepared when it could not be made aside or
  // kept changing (the caller then does it in place).
  template <class Read, class Make> int LoadOverProgram(Read read, Make make, const char* name, bool asEdit = false)
  {
    for (int attempt = 0; attempt < kPrepareAttempts; ++attempt) {
      LoadTicket over;
      ByteChunk base(ByteChunk::kKeepsRuns), state(ByteChunk::kKeepsRuns);
      {
        WDL_MutexLock lock(&mMutex);
        BeginLoad(&over);
        over.slot = over.program;
        over.stored = PresetStored(over.program);
        if (!read(over.program, &base)) return -1;
      }
      const int end = make(base, &state);
      if (end == kNotPrepared) break;
      if (end < 0) return -1;
      const int loaded = LoadStateIntoProgram(&state, 0, name, true, &over, asEdit);
      if (loaded != kNotPrepared) return loaded;
    }
    return kNotPrepared;
  }

  // A bank's current program (the one host calls act on): appended after its programs, and read from where
  // they end (-1 when the bytes there are not one of ours).
  bool PutCurrentProgram(ByteChunk* chunk);
  int GetCurrentProgram(const ByteChunk* chunk, int pos);
  // Program idx becomes the current one, its state having just been put in place from the slot's state with
  // stamp stored (under the mutex): the live state comes from it now, the plug-in hears of it and the editor
  // shows it.
  void SelectPreset(int idx, unsigned stored);
  // Under the mutex: empty slot idx takes the live state under a name of its own, as an empty program does
  // when it is chosen.
  void StoreLiveStateAsNewProgram(int idx);
  // Under the mutex, in OnHostParamWhilePending: the live state holds a value meant for a pending change.
  void LiveStateHoldsOthers() { mLiveHoldsOthers = true; }
  // Under the mutex: the pending changes were done with without being put in place, and their values went to
  // the live program: the live state is its slot's again.
  void LiveStateHoldsOwn() { mLiveHoldsOthers = false; }

  // For its life, program changes taken are not built (HoldProgramBuilds).
  struct HeldProgramBuilds
  {
    IPlugBase* plug;
    explicit HeldProgramBuilds(IPlugBase* p) : plug(p) { plug->HoldProgramBuilds(true); }
    ~HeldProgramBuilds() { plug->HoldProgramBuilds(false); }
    HeldProgramBuilds(const HeldProgramBuilds&) = delete;
    HeldProgramBuilds& operator=(const HeldProgramBuilds&) = delete;
  };
  // One program of a bank, read aside before the slots are replaced; its state swapped into the slot brings the
  // room the slot keeps for runs.
  struct BankSlot
  {
    BankSlot() { state.ReserveRuns(IPreset::kRunsReserved); }
    WDL_String name;
    bool named = false;
    bool initialized = false;
    ByteChunk state{ByteChunk::kKeepsRuns};
  };
  // Reads a bank (SerializePresets' layout) and brings the current program back into the live plug-in:
  // every stored program is taken in the plug-in's current state format, built aside where it can. A
  // bank that cannot be read changes nothing. Without a current program of its own, the bank's current
  // program is the one host calls act on. Returns the end position, or -1.
  int LoadPresets(ByteChunk* chunk, int startPos);
  // Puts the slots of a bank read aside in place together with the state of its current program (saved, or
  // without one the program host calls act on), in one hold of the mutex. False when that state cannot be
  // read (nothing changes). A bank read over the programs' stored states (over) goes in place only while its
  // ticket holds; else false with *outdated set.
  bool PutBankInPlace(std::vector<BankSlot>& slots, int saved, const LoadTicket* over = nullptr,
                      bool* outdated = nullptr);
  // A bank of parameter values (the format without chunks), its records checked: the first `applied` programs
  // take their record's values over their stored state, and currentProgram becomes the current one.
  bool LoadValueBank(const ByteChunk* file, int applied, int currentProgram);
  // A program file of parameter values (its header checked): the values over the stored state of the program
  // host calls act on, read aside, and loaded into it as a program chunk is. False when it did not load.
  bool LoadValueProgram(const ByteChunk* file, const char* name);

  WDL_PtrList<ChannelIO> mChannelIO;
  WDL_Mutex mMutex;
  int mSupersedeHeld = 0; // under mMutex
  char mEffectName[128], mProductName[128], mMfrName[128];
  int mUniqueID, mMfrID, mVersion;
  EAPI mAPI;
  EHost mHost = kHostUninit;
  int mHostVersion = 0;
  bool mStateChunks, mIsInst, mDoesMIDI;
  // Written under mMutex; read by any thread.
  std::atomic<int> mCurrentPresetIdx{0};
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

  // Loads a whole file into chunk; false (with err, and what the chunk then holds means nothing) when the name
  // is missing or empty, the file cannot be opened or read, is not a regular file, or is larger than any
  // program or bank file.
  static bool ReadFile(const WDL_String* fileName, ByteChunk* chunk, int* err = nullptr);

private:
  // Slot idx takes the live state (and the name, unless null or empty): under both locks. The live state comes
  // from it afterwards when idx is the current program. keepSame: a store of the live state that came from the
  // slot, which keeps the slot's stamp when its bytes are those the slot holds.
  void StoreLiveState(int idx, const char* name, bool keepSame = false);
  // A slot took a whole state (under both locks): a rewrite meant for the one it held no longer applies.
  void PresetReplaced(IPreset* preset) { preset->mStored = ++mPresetsStored; }
  // The live state came from the slot's present state (under the mutex): an edit of it may go there.
  bool LiveStateCameFrom(const IPreset* preset) const
  {
    return preset && !mLiveHoldsOthers && preset->mStored == mLiveStored;
  }
  unsigned mPresetsStored = 0;
  // The live state's origin (under mMutex): the stamp the current program's slot had when the state was put in
  // place from it (or last stored into it), and whether it holds values meant for a pending change.
  unsigned mLiveStored = 0;
  bool mLiveHoldsOthers = false;
  std::atomic<unsigned> mStatesPutInPlace{0}; // written under mMutex
  static bool WriteFile(const char* path, ByteChunk* chunk, int* err);
};
