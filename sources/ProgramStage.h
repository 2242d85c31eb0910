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
//   itself: hold(), build(), commit() under the live mutex, end().
// - A MIDI program change arrives on the audio thread, which may neither build nor wait: request() hands
//   the program number to the stage's worker thread, which builds it and leaves it ready; the audio thread
//   takes it over at the start of the first block after it is ready (takeReady()), and the worker frees what
//   it replaced. Until then the live engine holds its MIDI events back (pending()), so that notes played
//   after the change sound with the new program, as if it had been in place at once.
//
// A build depends on a few things of the live engine (its sample rate, voice count and tuning): they are
// copied into the stage when a build starts, and a build is taken over only while they still hold.
//
// Threads: one build at a time; a thread holds the stage from hold() to end(), the worker from the start of
// a build until it is ready. The lock order is the stage's mutex, then the live engine's: a thread that
// holds the live engine's mutex only takes a stage that is free (or loads in place). The audio thread takes
// no lock here: it exchanges a ready build through an atomic state.
#pragma once

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

  // ---- a build on the caller's thread (any thread but the audio thread) ----
  // Takes the stage for the calling thread, waiting for a build on another thread to end; a caller that
  // holds the live engine's mutex, or already holds the stage, gets it only when that needs no waiting.
  // A program the worker left ready is dropped (this load comes after it). False: the caller loads in place.
  bool hold();
  // After hold(): the program in chunk from pos built in the stage. Its end position, or -1 (nothing built).
  int build(const ByteChunk* chunk, int pos);
  // Under the live engine's mutex: the live engine takes the built program over. False when nothing was
  // built, or when the live engine changed since in a way the build depends on (it must be built again).
  // MIDI program changes that arrived before the build began are done with.
  bool commit();
  // What the stage holds (the replaced patch, or an unused build) freed and the stage let go; without the
  // live engine's mutex. Nothing when the caller does not hold the stage.
  void end();
  // The state in chunk from pos read in the stage, without modules, and written again in the current state
  // format (a bank's programs): the end position, -1, or IPlugBase::kNotPrepared when the stage cannot be
  // had now. Takes and lets go of the stage itself.
  int normalize(const ByteChunk* chunk, int pos, ByteChunk* out);

  // ---- MIDI program changes ----
  // Starts the worker unless it runs (any thread but the audio thread). A process that cannot have another
  // thread (a host at its limit) gets none: MIDI program changes are then put in place at once.
  void startWorker();
  // The worker runs (any thread).
  bool hasWorker() const { return workerRunning.load(std::memory_order_acquire); }
  // Audio thread, under the live engine's mutex (no lock taken, nothing allocated): program becomes the
  // program to build and take over; an earlier request not yet taken over is dropped. The live engine's
  // basis goes with it, so that the worker never waits for the live mutex.
  void request(int program);
  // A requested program has not been taken over (nor dropped by a later load) yet.
  bool pending() const
  {
    return requestSeq.load(std::memory_order_acquire) != doneSeq.load(std::memory_order_acquire);
  }
  // Audio thread, under the live engine's mutex, at the start of a block: takes a ready build of the latest
  // request over. True when it did (the program is then the current one).
  bool takeReady();
  // The latest request is built and waits for the audio thread.
  bool readyToTake() const;
  // Waits until the latest request is built or done with (tests; never the audio thread).
  void waitUntilReady();
  // Any thread, the audio thread included: the worker looks for work (programs to build or free, modules a
  // waiting editor command needs: Veltrane::serviceCommands).
  void wake() { sem_post(&wakeWorker); }

private:
  // What a build takes from the live engine.
  struct Basis
  {
    double sampleRate = 0.0;
    int activeVoices = 0;
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

  Veltrane& live;
  std::unique_ptr<Veltrane> engine; // the stage's engine
  WDL_Mutex mutex;                  // held from hold() to end(), and by the worker while it builds
  Basis basis;                      // of the last build
  bool built = false;               // a holder's build waits to be taken over
  unsigned seqAtHold = 0;           // the latest request when the holder took the stage

  // The latest request: program, and the live basis when it came (each value an atomic: the worker may read
  // while a later request writes; a mixed read is caught by the sequence check at take-over).
  std::atomic<int> requested{-1};
  std::atomic<double> requestedRate{0.0};
  std::atomic<int> requestedVoices{0};
  std::atomic<bool> requestedCustomTuning{false};
  std::atomic<int> requestedTuning[128] = {};
  std::atomic<unsigned> requestSeq{0}; // counts requests
  std::atomic<unsigned> doneSeq{0};    // the latest request taken over or dropped
  std::atomic<int> ready{kNone};
  unsigned readySeq = 0; // the request the ready build is of (written before ready becomes kReady)
  int readyProgram = -1;

  std::mutex workerStart;
  std::atomic<bool> workerRunning{false};
  std::thread worker;
  sem_t wakeWorker;
  std::atomic<bool> stopping{false};
};
