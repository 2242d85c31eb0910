// Veltrane: the product plug-in class. It owns the whole patch engine: the tempo clock, 64 voices, 18 slot
// configurations with one master module per slot, the source lists (all, voice, master), the common source
// values that modules read, three parameters the host never sees (Porta Legato, Master Out Left and Right,
// numbered 301 to 303 past the host's 0..299) and the editor's command mailbox.
//
// Host parameters: 0..287 belong to the slots (16 each), 288..299 are global.
//
// Threads: see THREADS.md. Host calls arrive on the host's audio and main threads; the adapter holds the
// instance mutex (recursive) for most of them, but program and state loads build aside in a staging engine
// (ProgramStage.h) without it and take it only to put the state in place. Structural and parameter changes
// take the same mutex. A program change taken on the audio thread (MIDI, or the host's on a thread that
// processes audio) is built by the staging engine's worker thread and taken over by the audio thread once it
// has reached the change's place in the MIDI stream; a replacement's modules are built by the editor thread
// before its command is queued.
#pragma once

#include "Clock.h"
#include "DelayMemory.h"
#include "IParam.h"
#include "Module.h"
#include "ModuleConfig.h"
#include "SourceDef.h"
#include "Synth.h"
#include "Voice.h"
#include "VoiceBlock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class IControl;
class ITWInfoArea;
class ITWModuleSelector;
class ProgramStage;
struct ModuleBatch;

class Veltrane : public Synth
{
public:
  static constexpr int kNumVoices = 64;
  static constexpr int kNumSlots = 18;
  static constexpr int kNumMidiSources = 16;
  static constexpr int kStateVersion = 1001;

  // Global host parameters and the private ones.
  enum EParams {
    kParamVoices = 288,
    kParamSumLeft = 289,
    kParamSumRight = 290,
    kParamVolume = 291,
    kParamOutTrigger = 292,
    kParamOutAttack = 293,
    kParamOutDecay = 294,
    kParamOutSustain = 295,
    kParamOutRelease = 296,
    kParamPBRange = 297,
    kParamPortamento = 298,
    kParamCustomTuning = 299,
    kParamPortaLegato = 301,
    kParamMasterOutLeft = 302,
    kParamMasterOutRight = 303,
  };

  // Items of the trigger group (-3) and of the voice-sum and external-input group (-6).
  enum ETriggers { kTriggerSingle = 0, kTriggerMulti = 1, kTriggerVoice = 2, kTriggerStart = 3, kTriggerStop = 4 };
  enum EMasterAudio { kVoiceSumLeft = 1, kVoiceSumRight = 2, kExternalLeft = 3, kExternalRight = 4 };

  static const int nVoices[11]; // voice counts of parameter 288's entries
  static const char* const labelVoices[11];
  static const char* const labelTrigger[2];
  static const char* const labelOffOn[2];
  static const char* const labelPortaLegato[2];

  explicit Veltrane(IPlugInstanceInfo instanceInfo);
  ~Veltrane() override;

  // A staging engine for home: no editor, no programs of its own, no modules until a program is loaded into
  // it; the modules it builds read home's voice and common values (ProgramStage.h).
  static std::unique_ptr<Veltrane> makeStage(Veltrane& home);

  // Identities of the global-section controls that edit no parameter (their parameter index field).
  enum EControlId {
    kControlPrevious = -305,
    kControlNext = -306,
    kControlProgramMenu = -307,
    kControlMidiLearn = -308,
    kControlTuningMenu = -309,
    kControlMidiSources = -310,
    kControlDrone = -311,
  };
  static constexpr const char* kWebSite = "https://www.tarnwellmusic.com/";
  // "000    Bank Select" .. "119    Undefined": number and name of every controller a MIDI source can follow.
  static const char* const* const labelCC;

  // Raised while the editor shows a menu, a text field or a dialog: idle calls then neither rebuild the
  // panels nor empty the control trash (a control of the old panels may still be inside its handler).
  struct ModalScope
  {
    explicit ModalScope(Veltrane* v) : v(v)
    {
      if (v) v->modalDepth.fetch_add(1);
    }
    ~ModalScope()
    {
      if (v) v->modalDepth.fetch_sub(1);
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    Veltrane* v;
  };

  // Editor command codes (the module selector posts them; the audio thread carries them out).
  enum ECommand {
    kCommandReplace = 1,      // slot, module ID (keeps the slot's master flag)
    kCommandMove = 2,         // display position, target display position
    kCommandRemoveEmpty = 3,  // display position
    kCommandToggleMaster = 4, // slot, new master flag
    kCommandPlugToCommon = 5, // display position
  };

  // ---- processing (audio thread; VeltraneAudio.cpp) ----
  void Reset() override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void ProcessFloatReplacing(float** inputs, float** outputs, int nFrames) override;
  // One host block: editor command, transport gates, then sub-blocks that end at the 1 ms control ticks;
  // at its end the MIDI events still waiting are counted from the next block (processBlock is the block).
  template <class T> void process(T** inputs, T** outputs, int nFrames);
  template <class T> void processBlock(T** inputs, T** outputs, int nFrames);
  // The queued events due at a tick that falls on this sample of the block: those whose offset is not above it.
  void handleMidiEvents(int sample);
  void update(); // control tick of clock, voices and master section
  void handleSync2Host(); // transport record, Start and Stop gates, clock phase
  void setMidiSourceValue(int cc, double value);

  // ---- editor commands (VeltraneCommands.cpp) ----
  // Queues a structural command for the audio thread's next block (editor thread). A replacement's modules
  // are built here first, for the slot as the commands queued before it will leave it; the instance mutex
  // is taken only for a moment, or to carry the queue out when it is full. Commands run in post order.
  void postCommand(int code, int arg1, int arg2);
  // Carries out the queued commands in order, under the instance mutex. mayBuild: on a thread that may build
  // modules (the editor's); the audio thread stops at a replacement whose modules no longer fit (the rate or
  // the tuning changed since) and has the worker build them for a later block. A call made from inside a
  // run under way (a host answering our notice) leaves the queue to that run.
  void handleRequestedCommand(bool mayBuild = false);
  void runQueue(bool mayBuild);
  void runCommand(int code, int arg1, int arg2, ModuleBatch* batch = nullptr);
  // The module type and section a replace or toggle command gives its slot, whose type and section are
  // given; false for the other commands and for a slot out of range.
  static bool commandTarget(int code, int arg1, int arg2, int slotType, bool slotMaster, int* moduleID, bool* master);
  // A slot's new modules built here (any thread but the audio thread), with the live sample rate and tuning.
  std::unique_ptr<ModuleBatch> buildModules(int slot, int moduleID, bool master);
  // Whether a batch is unused and was built for this replacement at the live sample rate and tuning.
  bool batchFits(const ModuleBatch* batch, int slot, int moduleID, bool master);
  // Frees the batches of carried-out commands (editor thread, under commandPostMutex).
  void sweepCommandBatches();
  // Takes commandPostMutex. A post takes the instance mutex inside it, so a thread that holds that mutex only tries:
  // false when it is busy, unless `spin`, which tries until it is free (its holders let it go without the mutex).
  bool enterPostLock(bool spin);
  // The staging engine's worker: builds the modules a waiting command needs (off the audio thread).
  void serviceCommands();
  // Before a load, a program change or a chunk read: the commands queued so far, and one being posted where this
  // thread may wait for it, carried out on the program they were made on (on an audio thread as at a block's
  // start, freeing nothing).
  void RunQueuedEditorCommands() override;

  // ---- notes (VeltraneNotes.cpp) ----
  void setNoteOn(int note, int velocity);
  void setNoteOff(int note);
  void setPolyAftertouch(int note, int value);
  void allNotesOff() override;
  // The editor's drone note: 0..127 queues a note on (velocity 100), a negative note stops every voice.
  void startDroneMode(int note);
  // The voice a note (or its aftertouch) goes to among the active voices.
  int chooseVoice(int note);

  // ---- product hooks ----
  void OnParamChange(int paramIdx) override;
  // ---- program changes in the MIDI stream (VeltraneStage.cpp; audio thread, under the mutex) ----
  // Handed to the staging engine's worker (staged); the program takes effect once the audio loop has reached
  // the change's place in the stream and the program is built (the events after it wait for it). Offline,
  // or without a worker, the audio loop restores it where it reaches it.
  int programChangeFromMidi(int program) override;
  // The host's effSetProgram on a thread that processes audio: staged as a MIDI program change after the
  // events queued so far. False when it cannot be staged (the adapter then restores the program itself).
  bool StageProgramChange(int program) override;
  // Whether program changes taken on the audio thread are built aside by the worker now, else put in place
  // where the audio loop reaches them (offline, without a worker, in the reference build).
  bool changesBuiltAside();
  // The audio loop reached a queued program change: true when the events after it wait for its program.
  bool reachProgramChange(const IMidiMsg& change);
  // Audio loop: the latest change reached, built aside but not in place, put in place now when the host renders
  // offline (or the worker is gone).
  void landReachedChangeOffline();
  // A note's or the pedal's end, or a program change, that a full queue could not take: acted on now.
  void actOnUnqueued(const IMidiMsg& msg) override;
  // The latest staged change (request count) whose place in the stream the audio loop has reached.
  unsigned changesReached() const;
  // A program built for program change number seq (ProgramStage's request count) from its slot's state with
  // stamp stored was taken over: it is the current one, and the host's parameter sets made after that change
  // are set again (under the mutex).
  void programTaken(int program, unsigned seq, unsigned stored);
  // Under the mutex: program change seq put in place on this thread, in place, from what the program's slot
  // holds now (an empty slot takes the live state, which changes nothing to build).
  void putProgramInPlace(int program, unsigned seq);
  // Whether states are built in the staging engine (else, in the reference build, loaded in place).
  bool buildsAside() const;
  // ---- host calls after such a change (VeltraneStage.cpp) ----
  int PendingProgram() override;
  unsigned ProgramChangesTaken() override;
  void SettlePendingProgram() override;
  void SyncPendingProgram() override;
  void SupersedePendingProgram(unsigned upTo) override;
  void OnHostParamWhilePending(int paramIdx, double normalizedValue, const char* text) override;
  bool PendingProgramState(ByteChunk* out) override;
  // How long a host call waits for a program change's build before it builds the program itself.
  static constexpr int kSettleTimeoutMs = 2000;
  // Whether the MIDI events due at this tick wait for a pending program change (audio thread, once a tick):
  // those after the change's place wait until its program is in place, but never longer than kMaxMidiHoldMs.
  bool midiHeldBack();
  static constexpr int kMaxMidiHoldMs = 100;
  void changePreset(int index) override;
  // Init Program: the live state emptied aside (emptyProgram on the stage, which builds it), then put in place
  // as a load puts a program in place and stored as an edit of the program; in place only without a stage.
  void initPreset() override;
  // Every slot empty and every parameter (the private ones too) at its default, under the instance mutex.
  void emptyProgram();
  void PresetsChangedByHost() override;
  // With custom tuning on, the tuning table's pitch (0 beyond notes 0..127); else note * 128. On a thread
  // that builds modules (buildModules), from the copy of the tuning the build took.
  int getFrequency(int note) override;
  struct TuningCopy
  {
    bool custom = false;
    int table[kNumNotes] = {};
  };
  static thread_local const TuningCopy* tBuildTuning;
  // Also turns custom tuning on, shows the tuning in the editor and retunes every module.
  void applyTuning(const TuningRead& read) override;
  void resetTuning() override;
  // Every module reads the tuning again (Module::retune), after the table or the switch changed.
  void retuneModules();
  // The custom-tuning switch's value and tooltip (the tuning's name), from any thread.
  void showTuningInEditor(double normalized);
  // The current program takes the live state in the current layout (state version 1001 first), while the live
  // state still comes from it (IPlugBase::ModifyCurrentPreset).
  virtual bool ModifyCurrentPreset(const char* name = nullptr);

  // ---- state chunk (VeltraneState.cpp) ----
  bool SerializeState(ByteChunk* chunk) override;
  int UnserializeState(ByteChunk* chunk, int startPos) override;
  // Overwrites a stored state's display order with order (18 slots) in place: nothing moves and nothing is
  // allocated. False, and the state unchanged, for one not in this version's layout or too short.
  static bool writeDisplayOrder(ByteChunk* state, const int32_t* order);

  // ---- states built aside (VeltraneStage.cpp) ----
  // Program loads build the new patch in the staging engine and take it over under the mutex.
  int PrepareState(const ByteChunk* chunk, int pos) override;
  bool CommitPreparedState() override;
  void EndPreparedState() override;
  int NormalizeState(const ByteChunk* chunk, int pos, ByteChunk* out, const HostSet* sets = nullptr,
                     int nSets = 0) override;
  void HoldProgramBuilds(bool hold) override;
  // Takes over the patch a staging engine has built (modules, slot configurations, source lists, display
  // order, parameters, tuning, MIDI assignments) and leaves it the patch it replaces, under the mutex.
  // Nothing is allocated or freed: the audio thread may do it at a block boundary.
  void takeProgramFrom(Veltrane& staged);
  // Deletes every module but the voices' plain ones (a staging engine between builds): the other slots then
  // hold none.
  void releaseModules();
  bool isStage() const { return valueHome != this; }

  // ---- patch editing (VeltranePatch.cpp) ----
  // Gives a slot a module type in the master section or in all 64 voices, with the type's default values.
  // Voices beyond the voice count hold the slot's modules too, so that a voice count that grows (which a
  // host may automate on the audio thread) builds nothing. The modules come from batch when it is given
  // (built off the audio thread; it keeps what they replace), else they are made here.
  void setModuleConfig(int slot, int moduleID, bool master, ModuleBatch* batch = nullptr);
  void updateInstances();
  // The master process list (master slots holding a module, in slot order) and whether voices and master
  // section have modules to run, from the slots and voice 0's process list.
  void updateProcessLists();
  void replaceModule(int slot, int moduleID, bool master, bool rebuildPanel, ModuleBatch* batch = nullptr);
  // On the editor thread the current program then takes the live state whole; on any other (the audio
  // thread) only the new display order is written into it (staleOrder, storeDisplayOrder).
  void moveModule(int from, int to);
  // Writes staleOrder into its program in place, unless the programs' lock is busy (currentProgramStale
  // then stays set for a later block) or the program took another state since. A state that cannot be
  // walked is left for the editor to store whole (wholeStoreWanted).
  void storeDisplayOrder();
  // The editor's idle call: the program a move could not write into takes the live state whole, if that
  // still comes from it.
  void storeWantedProgram();
  void removeEmptyBlock(int position);
  // Keep every selector on its source while a slot's outputs leave the lists and new ones enter them.
  void removeSourcesFromParamLists(int slot);
  void addSourcesToParamLists(int slot);
  void removeSourcesFromParamList(int paramIdx, SourceDef::SourceType type, bool master, int slot);
  void addSourcesToParamList(int paramIdx, SourceDef::SourceType type, bool master, int slot);
  // Calls fn(paramIdx, type, master, slot) for every selector parameter: each slot's input selectors by
  // slot and type, then the voice sums (289, 290) and the master outputs (302, 303) with slot -1.
  template <class Fn> void forEachSelector(Fn fn);

  // ---- parameters ----
  // Defines the twelve global host parameters and the three private ones.
  void initParameters() override;
  // Host parameter 0..299 or private parameter 301..303; null for any other index.
  IParam* getAnyParam(int paramIdx);
  // Private parameters take the value here (the host never sees them); the others go to the framework.
  void SetParameterFromGUI(int paramIdx, double normalizedValue) override;
  // The host hears of parameter changes, except those the constructor makes (defaults, the start-up bank,
  // program 0): a host in a writing automation mode would record them and mark its project changed.
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  // Parameter changes reach no module and a slot gets its module in voice 0 only while the programs pass.
  void OnPresetsRead(bool reading) override { readingPrograms = reading; }

  // ---- sources ----
  // Rebuilds the three lists from the built-ins and the slots' outputs, then every selector's range.
  void updateSources();
  // Turns a selector parameter into an enumeration over its list, keeping its value where it still fits.
  void changeSourceParam(int paramIdx, SourceDef::SourceType type, bool master);
  // A master module's (or master output's) selector value as the address of the value it reads; the
  // constant zero when it names nothing.
  double* getSourceForMaster(int index, SourceDef::SourceType type);
  // A new entry of the "all" list, also in the voice and master lists as asked.
  void addSource(bool voice, bool master, SourceDef::SourceType type, int module, int index, const char* label,
                 const char* text);
  // The most entries the "all" list can hold: the built-ins and every slot's outputs.
  static int maxSources();
  // Addresses of the common values: On, PBend, PBnd+, MW, MW+, ChAft (null for the per-voice items).
  double* getModSource(SourceDef::ModCommonSources source);
  double* getModSource(SourceDef* source);  // MIDI sources and common modulation
  double* getGateSource(SourceDef* source); // Single, Multi, Start, Stop and the clock outputs

  // ---- editor panel (sources/editor/veltrane_editor.cpp) ----
  // Builds the background, the global section and the 18 slot headers once.
  void createGraphics();
  // Rebuilds all 18 slot panels (editor thread, under the instance mutex).
  void createModuleGraphics();
  void removeModuleControls();
  void emptyControlTrash();
  // The modules' shown state (the controls of a mode, lamps) brought up to date: at each idle call, and right
  // after the panels are built, so that the first frame after a rebuild shows what later ones do.
  void updateModuleGraphics();
  void showModuleStates(); // under the instance mutex, the window open
  // Raises the drone control's reset; the control applies it on the editor thread at its next tick.
  void resetDroneMode();
  // On the editor thread with the window open and no modal element: rebuilds the panels at once; on any
  // other thread, or with the window closed: only raises the rebuild flag and queues the values.
  void RedrawParamControls() override;
  // Editor thread, without the instance mutex (it takes it for the work on the patch): runs commands the
  // audio thread has not taken, rebuilds when asked, else refreshes the modules' panels and empties the trash.
  void OnIdle() override;
  void OnGUIOpening() override;
  void OnGUIOpen() override;
  // The display position under an editor point: -2 and -1 over the global section, 0..17, -1 outside.
  static int getBlockFromPosition(int x, int y);
  // The slot shown at a display position (slot 0 for a position outside the order).
  int slotAt(int position) const
  {
    return position >= 0 && position < (int)displayOrder.size() && displayOrder[position] >= 0 &&
                   displayOrder[position] < kNumSlots
               ? displayOrder[position]
               : 0;
  }
  bool isEditorThread() const { return std::this_thread::get_id() == editorThread.load(); }
  bool editorBusy() const;
  // A parameter value for the editor's controls from any thread (queued unless on the editor thread).
  void pushParamToEditor(int paramIdx, double normalized);
  // Plugs a block's first two audio outputs into the voice sums (voice slot) or master outputs (master slot).
  void plugToCommon(int position);

  // ---- members ----
  // Declared first, so destroyed last: the delay memory of every module this engine held is handed in.
  ReclaimerUse reclaimerUse;
  RandomSeeds seeds; // of this instance's modules (a staging engine's modules use the live engine's)
  // The engine whose values (common sources, master pitch, zero) this engine's modules read: this one, or
  // for a staging engine the live engine its programs are built for.
  Veltrane* valueHome;
  // A staging engine that only reads states to write them again (bank loads): it builds no modules.
  bool stateOnly = false;
  // A staging engine's build for a MIDI program change stops between slots (the state then counts as not
  // read) once that change is done with: a load that came after it needs the engine.
  const std::atomic<unsigned>* abandonWhenDone = nullptr;
  unsigned abandonAt = 0; // the change's request count
  std::unique_ptr<ProgramStage> stage; // programs built aside (null in a staging engine)
  int stateVersion;
  Clock clock;
  // The configurations outlive the modules made from them: they are declared (and so destroyed) first.
  ModuleConfig slotConfig[kNumSlots];
  Voice voices[kNumVoices];
  VoiceBlock voiceBlocks[VoiceBlock::kGroup]; // the records of the voices processing a sub-block in runs
  // Sounding voices' sub-blocks since construction by the way they were processed: module by module in runs,
  // or sample by sample (Voice::processVoices; the reference build counts neither). Audio thread; tests
  // read them to know which path a patch takes.
  unsigned voiceBlocksInRuns = 0;
  unsigned voiceBlocksBySample = 0;
  Module* masterModules[kNumSlots]; // owned; processed only while the slot is master
  std::vector<Module*> masterProcessList;
  std::vector<int> displayOrder; // slot shown at each of the editor's 18 positions
  SourceDefCol allSources;       // owns the entries
  SourceDefCol voiceSources;     // selectable by voice modules and parameters 289, 290
  SourceDefCol masterSources;    // selectable by master modules and parameters 302, 303
  IParam portaLegato;            // private parameter 301
  IParam masterOutLeft;          // private parameter 302
  IParam masterOutRight;         // private parameter 303
  int sumBufferLength;           // control period the sum buffers were allocated for
  double* voiceSumLeft;          // one control period of the summed voices
  double* voiceSumRight;
  // Editor command queue: one writer (postCommand, serialised by commandPostMutex), read under the instance
  // mutex by the audio thread at the start of a block, or by the editor's idle call when no block runs.
  static constexpr unsigned kCommandQueueSize = 64;
  struct QueuedCommand
  {
    std::atomic<int> code{0}, arg1{0}, arg2{0};
    std::atomic<ModuleBatch*> batch{nullptr}; // a replacement's modules (owned), then what they replaced
    std::atomic<bool> needsBatch{false};      // the audio thread found batch not fitting: the worker builds it
  };
  QueuedCommand commandQueue[kCommandQueueSize];
  std::atomic<unsigned> commandHead{0}; // next to write
  std::atomic<unsigned> commandTail{0}; // next to run
  std::atomic<bool> commandPending;     // the queue may hold commands
  WDL_Mutex commandPostMutex;
  unsigned batchesSwept = 0; // commands whose batches are freed (under commandPostMutex)
  // A command is being carried out (under the instance mutex): a host call it makes reaches the queue again
  // on the same thread, which then leaves the queue to the run under way.
  bool runningCommands = false;
  // Host parameter sets made while a program change was pending, one per parameter in the order set, each
  // with the request count when it came (it belongs to that change's program) and exactly what the host
  // sent: a normalised value, or a text (read again in the new program). Under the mutex.
  struct DeferredParam
  {
    int paramIdx;
    unsigned seq;
    double value;
    bool isText;
    char text[64];
  };
  DeferredParam deferredParams[kNumParams];
  int numDeferredParams = 0;
  // Sets again the deferred values whose change is done with. taken: the change just put in place, whose
  // sets go to its program (those of earlier changes went with the program it replaced); without it, the
  // sets of changes done with without being put in place (a program that could not be read) go to the live
  // program. Those of changes still pending wait.
  void replayDeferredParams(const unsigned* taken);
  void applyDeferredParam(const DeferredParam& d);
  // Drops the sets whose changes are done with: a load replaced the state they were made for.
  void dropDeferredParams();
  // Program changes requested of the stage and still in the MIDI queue, and the program of the latest one reached
  // (audio thread, under the mutex).
  int stagedChangesQueued = 0;
  int reachedProgram = 0;
  // MIDI held back for a program change: samples held so far, and the request count whose hold ran out.
  int midiHeldSamples = 0;
  unsigned midiHoldExpiredAt = 0;
  // A program still lacks the display order of a move carried out on the audio thread (the programs' lock
  // was busy then): staleOrder is written at a later block. Under the mutex.
  bool currentProgramStale = false;
  // A move's order and where the moved state came from: the program, the stamp of the slot state the live
  // state came from (LiveStateStored) and StatesPutInPlace at the move.
  struct StaleOrder
  {
    int program = 0;
    unsigned stored = 0, loads = 0;
    int32_t order[kNumSlots] = {};
  };
  StaleOrder staleOrder;
  // The editor's next idle call stores the live state whole into program wholeStoreProgram, if it still
  // comes from there (current, StatesPutInPlace still wholeStoreLoads). Program and count under the mutex.
  std::atomic<bool> wholeStoreWanted{false};
  int wholeStoreProgram = 0;
  unsigned wholeStoreLoads = 0;
  std::atomic<unsigned> blocksProcessed{0}; // audio blocks since construction
  unsigned blocksAtLastIdle = 0;            // editor thread
  int activeVoices;
  double volume;
  double portamentoTime; // seconds
  double pitchBendRange; // semitones
  bool portaLegatoOn;
  bool customTuningOn;
  bool suspended;         // output silent while a structural change or state load runs
  bool muteUntilNextTick; // output silent until the next control tick has run
  // The editor rebuilds the slot panels at its next idle call (set by structural edits on the audio thread,
  // read and cleared by the editor thread).
  std::atomic<bool> panelRebuild;
  bool loadingStartupBank;
  bool readingPrograms; // a bank's programs pass through to be saved again: as while loading the start-up bank
  bool constructing; // true until the constructor has applied program 0: no automation notices
  bool lastTransportRunning;
  bool transportGatesSeen; // a control tick has run since Start or Stop last rose
  bool voiceSlotsPresent;
  bool masterModulesPresent;
  int masterTargetPitch; // 1/128 semitone
  int masterPitch;       // frequency source of every master module
  int glideCountdown;    // 1 ms steps of master portamento left
  double glideCurrent;
  double glideStep;
  int noteOnCounter;
  double zero; // every unconnected master input reads it
  double on;   // common modulation source "On", always 1.0
  double masterNote, masterNotePos, masterVelo;
  double pBend, pBendPos, mw, mwPos, chAft;
  double single, multi, start, stop; // common gates
  double voiceL, voiceR, extL, extR; // master audio sources of the current sample
  double* masterOutputLeft;          // resolved sources of parameters 302 and 303
  double* masterOutputRight;
  int midiSourceCC[kNumMidiSources]; // controller of each MIDI source, -1 none
  double midiSourceValue[kNumMidiSources];
  double multiAtLastTick;

  // What each selector named when a slot's outputs left the lists (patch editing), by parameter index:
  // 0..287 slot selectors, 289/290 voice sums, 302/303 master outputs.
  struct SelectedSource
  {
    bool valid = false;
    SourceDef::SourceType type = SourceDef::OFF;
    int module = 0, index = 0;
  };
  SelectedSource selectedSources[kParamMasterOutRight + 1];

  // Editor members: controls detached by the last panel rebuild, and the panel controls the engine updates.
  WDL_PtrList<IControl> controlTrash;
  int firstModuleControl = 0;
  ITWInfoArea* infoArea = nullptr;
  ITWModuleSelector* moduleSelectors[kNumSlots] = {};
  std::atomic<std::thread::id> editorThread;
  std::atomic<int> modalDepth{0};
  std::atomic<bool> droneResetRequested{false};
  IControl* tuningNameControl;
  IControl* droneControl;
  IControl* portaLegatoControl;
  IControl* masterOutLeftControl;
  IControl* masterOutRightControl;

private:
  // The engine itself; home is null for the plug-in, else the live engine a staging engine builds for.
  Veltrane(IPlugInstanceInfo instanceInfo, Veltrane* home);
};

template <class Fn> void Veltrane::forEachSelector(Fn fn)
{
  for (int s = 0; s < kNumSlots; ++s) {
    ModuleConfig& c = slotConfig[s];
    for (SourceDef::SourceType t : SourceDef::kSelectorTypes) {
      const std::vector<int>* params = c.getInputParams(t);
      for (int i = 0; i < c.getNumberOfInputs(t) && i < (int)params->size(); ++i) {
        const int p = (*params)[i];
        if (p >= 0 && p < Module::kNumParams) fn(s * Module::kNumParams + p, t, c.master != 0, s);
      }
    }
  }
  fn(kParamSumLeft, SourceDef::AUDIO, false, -1);
  fn(kParamSumRight, SourceDef::AUDIO, false, -1);
  fn(kParamMasterOutLeft, SourceDef::AUDIO, true, -1);
  fn(kParamMasterOutRight, SourceDef::AUDIO, true, -1);
}

// "HOLD" at 1.0 and above, else the value with two decimals.
void setDisplayTextForRelease(double value, char* text);
