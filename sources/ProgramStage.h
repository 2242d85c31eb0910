// ProgramStage: programs built aside. A program load must not stop the audio thread for the time it takes
// to build 64 voices of modules with their delay memory and tables. So a second engine of the product, the
// stage (a Veltrane without editor or programs, whose modules read the live engine's voice and common
// values), loads the program's state off the audio thread and without the live engine's mutex; the live
// engine then takes the built patch over under its mutex in a moment (Veltrane::takeProgramFrom, which
// allocates and frees nothing), and the stage is left with the patch it replaced, to be freed off the audio
// thread.
//
// Two ways in:
// - A thread that loads a state (a host's program change, a bank, a chunk, the editor's menus) builds it
//   itself: hold(), build(), commit() under the live mutex, end(). The framework decides under that same hold
//   whether the build may still go in place (nothing else went in place since the load began) and which
//   program changes it supersedes: those requested before the load began (supersede).
// - A program change the audio thread takes (a MIDI program change, or the host's effSetProgram on a thread
//   that processes audio), where nothing may build or wait: request() hands the program number to the
//   stage's worker thread, which builds it and leaves it ready; the audio thread takes it over
//   (takeReady()) once it has handled the MIDI events queued before the change, and the worker frees what
//   it replaced. Changes that come while one is being built do not restart it: it lands, then the worker
//   builds the latest. Offline, or without a worker, the request is left to the audio loop, which puts it in
//   place itself where it reaches it (buildHere(seq, program)): either way a change not in place yet is one
//   record, the request, whatever puts it in place.
// - Host calls that come after such a change act on its program: a thread that may wait settles it
//   (settle(): waits for the build and takes it over itself; buildHere() when the worker does not get the
//   processor). The change stays pending until its program is in place, so that what the host sets
//   meanwhile is set again on it.
//
// A build depends on a few things of the live engine (its sample rate and tuning): they are copied into the
// stage when a build starts, and a build is taken over only while they still hold.
//
// At process exit, or when the library is unloaded with instances still open, every worker is stopped before
// the shared tables its builds use are destroyed (stopAllWorkers).
//
// Threads: one build at a time; a thread holds the stage from hold() to end(), the worker from the start of
// a build until it is ready. The lock order is the stage's mutex, then the live engine's: a thread that
// holds the live engine's mutex, or that processes audio, only takes a stage that is free (or loads in
// place). The audio thread takes no lock here: it exchanges a ready build through an atomic state.
#pragma once

#include "IPlugBase.h"
#include "mutex.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore.h>
#include <thread>

class ByteChunk;
class Veltrane;

class ProgramStage
{
public:
  explicit ProgramStage(Veltrane& live);
  ~ProgramStage(); // stops and joins the worker
  ProgramStage(const ProgramStage&) = delete;
  ProgramStage& operator=(const ProgramStage&) = delete;

  // ---- a build on the caller's thread ----
  // Takes the stage for the calling thread. mayWait: waits for a build on another thread to end; else (a
  // thread that processes audio) takes it only when it is free. A caller that holds the live engine's
  // mutex, or already holds the stage, gets it only when that needs no waiting. A program the worker left
  // ready is dropped (built again once the stage is free, should it still be pending); with keepBuild the
  // stage is not taken while it holds one (ready, or left to be freed). False: the caller loads in place.
  bool hold(bool mayWait = true, bool keepBuild = false);
  // After hold(): the program in chunk from pos built in the stage. Its end position, or -1 (nothing built).
  int build(const ByteChunk* chunk, int pos);
  // Under the live engine's mutex: the live engine takes the built program over. False when nothing was
  // built, or when the live engine changed since in a way the build depends on (it must be built again).
  bool commit();
  // What the stage holds (the replaced patch, or an unused build) freed and the stage let go; without the
  // live engine's mutex. Nothing when the caller does not hold the stage.
  void end();
  // The state in chunk from pos read in the stage, without modules, with the host's values sets set on it,
  // and written again in the current state format (a bank's programs; a pending program as it will be): the
  // end position, -1, or IPlugBase::kNotPrepared when the stage cannot be had now (see hold). Takes and lets
  // go of the stage itself. keepBuild (a read, which must not cost a program change its build): see hold.
  // emptied: the state written is that state emptied as Init Program empties it (Veltrane::emptyProgram).
  int normalize(const ByteChunk* chunk, int pos, ByteChunk* out, bool mayWait,
                const IPlugBase::HostSet* sets = nullptr, int nSets = 0, bool keepBuild = false, bool emptied = false);

  // ---- program changes taken on the audio thread ----
  // Starts the worker unless it runs (any thread but the audio thread). A process that cannot have another
  // thread (a host at its limit) gets none: program changes are then put in place where the audio loop
  // reaches them.
  void startWorker();
  // The worker runs (any thread).
  bool hasWorker() const { return workerRunning.load(std::memory_order_acquire); }
  // Audio thread, under the live engine's mutex (no lock taken, nothing allocated): program becomes the
  // program to build and take over. A build of an earlier request under way lands first; one not begun is
  // skipped. The live engine's basis goes with it, so that the worker never waits for the live mutex.
  // leftToAudioLoop: the worker builds none of it; the audio loop puts it in place where it reaches it.
  void request(int program, bool leftToAudioLoop = false);
  // A requested program has not been put in place (nor been done with by a later load) yet.
  bool pending() const
  {
    return requestSeq.load(std::memory_order_acquire) != doneSeq.load(std::memory_order_acquire);
  }
  // Under the live engine's mutex: takes a ready build over, that of the latest request or of an earlier
  // one still pending, provided its request is not later than upTo (the audio thread passes the latest
  // change whose place in the MIDI stream it has reached). True when it did (the program is then the
  // current one). Allocates and frees nothing.
  bool takeReady(unsigned upTo);
  bool takeReady() { return takeReady(requestCount()); }
  // A build of a pending request waits to be taken over.
  bool readyToTake() const;
  // Request seq is pending and will be put in place unless a load supersedes it: it is the latest, or the
  // worker is building it or has built it. (One that a later request overtook before its build began is
  // never built.) Any thread.
  bool willLand(unsigned seq) const;
  // Waits until the latest request is built or done with (tests; never the audio thread): false when that
  // took longer than timeoutMs (nothing builds it; the worker, at nice 10, may be starved that long on a busy
  // machine before).
  bool waitUntilReady(int timeoutMs = 30000);
  // Patches built so far (programs read with their modules), by any thread.
  unsigned buildCount() const { return builds.load(std::memory_order_relaxed); }
  // Where the worker got to (tests): the looks for a build it made so far (one for each nudge or wake it
  // took), and whether it sleeps until it is woken (no work for kAwakeMs).
  unsigned lookCount() const { return looks.load(std::memory_order_acquire); }
  bool asleepUntilWoken() const { return asleep.load(); }
  // Counts the program changes requested so far (wraps).
  unsigned requestCount() const { return requestSeq.load(std::memory_order_acquire); }
  // Counts those put in place or done with.
  unsigned doneCount() const { return doneSeq.load(std::memory_order_acquire); }
  // The program of the latest request while one is pending, else -1.
  int pendingProgram() const;
  // Any thread that may wait, without the live mutex: waits until the requests made so far are in place or
  // done with, taking ready builds over itself (under the live mutex). False when that took longer than
  // timeoutMs (a worker that does not get the processor).
  bool settle(int timeoutMs);
  // A thread that may wait (without the live mutex), or the audio loop offline (with it): the latest request's
  // program, or request seq's, built on this thread and put in place, unless it is done with already (the
  // worker leaves it alone from here on). The request stays pending until then, so that parameters the host
  // sets meanwhile are set again on its program. A program that cannot be read leaves the live one, and the
  // request is done with. The build is taken over only while the slot still holds the state it read.
  void buildHere();
  void buildHere(unsigned seq, int program);
  // Under the live mutex: the first upTo requests are done with, without being put in place (a load that
  // replaced the whole state came after them).
  void supersede(unsigned upTo);
  // While a bank's programs are read (holds nest): the worker starts no build between them, which would make
  // each one wait for it; the bank, once in place, supersedes what it would build (a bank of values: what was
  // asked before its read began). Any thread.
  void holdBuilds(bool hold);
  // Any thread: the worker looks for work (programs to build or free, modules a waiting editor command
  // needs: Veltrane::serviceCommands). The audio thread nudges it instead: no system call while the worker
  // has been at work lately (it then looks every kLookMs by itself); only a worker asleep for good is woken.
  void wake() { sem_post(&wakeWorker); }
  void nudge();
  static constexpr int kLookMs = 2;     // between the worker's looks while it has been at work lately
  static constexpr int kAwakeMs = 1000; // lately: since its last work
  // Stops every stage's worker and lets no new one start (process exit, or the library unloading with
  // instances open). Runs by itself then; callable directly.
  static void stopAllWorkers();

private:
  // What a build takes from the live engine. (Not the voice count: a program sets its own, and the voices
  // beyond the count it sets take every parameter again when the count grows.)
  struct Basis
  {
    double sampleRate = 0.0;
    bool customTuning = false;
    int tuning[128] = {};
    bool operator==(const Basis& other) const;
  };
  // The worker's build, between it and the audio thread.
  enum Ready : int {
    kNone,   // the stage holds no build of a request
    kReady,  // a build of request readySeq waits for the audio thread
    kTaking, // the audio thread is taking it over
    kLeft,   // taken over or refused by the audio thread: the stage holds a patch to free
  };

  Basis basisOf(const Veltrane& v) const; // under v's mutex
  // The stage's engine, made on first use, set to the basis a build is for.
  void prepareEngine(const Basis& forBasis);
  int buildPrepared(const ByteChunk* chunk, int pos); // build() in an engine set to its basis
  Basis liveBasis();     // under the live mutex, taken here
  Basis requestedBasis(); // the basis the latest request came with (or found at its refused take-over)
  void publishBasis();    // under the live mutex: the live basis, for the worker's next build
  void dropReady();                       // a stage holder: the worker's build, ready or left, freed
  void work();                            // the worker's loop
  void buildRequest();                    // the worker: builds the latest request
  // The latest request's count and program, read whole.
  void latestRequest(unsigned* seq, int* program, Basis* forBasis = nullptr);
  void markDone(unsigned seq); // requests up to seq are done with

  Veltrane& live;
  std::unique_ptr<Veltrane> engine; // the stage's engine
  WDL_Mutex mutex;                  // held from hold() to end(), and by the worker while it builds
  Basis basis;                      // of the last build
  bool built = false;               // a holder's build waits to be taken over

  // The latest request: program, and the live basis when it came (each value an atomic: the worker may read
  // while a later request writes; a mixed read is caught by the sequence check at take-over).
  std::atomic<int> requested{-1};
  std::atomic<double> requestedRate{0.0};
  std::atomic<bool> requestedCustomTuning{false};
  std::atomic<int> requestedTuning[128] = {};
  std::atomic<unsigned> requestSeq{0}; // counts requests
  std::atomic<unsigned> doneSeq{0};    // the latest request taken over or dropped
  // The latest request the worker leaves alone: done with, or being built by a thread that settles it. A
  // build of it under way stops between slots (Veltrane::abandonWhenDone).
  std::atomic<unsigned> leftSeq{0};
  std::atomic<int> ready{kNone};
  std::atomic<bool> building{false};   // the worker builds request buildingSeq
  std::atomic<int> buildsHeld{0};      // holdBuilds
  std::atomic<unsigned> buildingSeq{0};
  std::atomic<unsigned> builds{0};
  std::atomic<unsigned> looks{0};
  std::atomic<unsigned> readySeq{0}; // the request the ready build is of (written before ready becomes kReady)
  int readyProgram = -1;
  unsigned readyStored = 0; // the stamp of the slot state it was built from

  WDL_Mutex workerStart; // starting and stopping the worker
  std::atomic<bool> workerRunning{false};
  std::thread worker;
  sem_t wakeWorker;
  std::atomic<bool> stopping{false};
  std::atomic<bool> nudged{false}; // the audio thread has work for the worker
  std::atomic<bool> asleep{false}; // the worker waits until it is woken

  // The process's stages, for stopAllWorkers (an intrusive list under a lock that is never destroyed).
  ProgramStage* previousStage = nullptr;
  ProgramStage* nextStage = nullptr;
  void stopWorker();
};
