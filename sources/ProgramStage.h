// ProgramStage: programs built aside. A program load must not stop the audio thread for the time it takes
// to build 64 voices of modules with their delay memory and tables. So a second engine of the product, the
// stage (a Veltrane without editor or programs, whose modules read the live engine's voice and common
// values), loads the program's state on the thread that asks for it, without the live engine's mutex; the
// live engine then takes the built patch over under its mutex in a moment (Veltrane::takeProgramFrom, which
// allocates and frees nothing), and the stage is left with the patch it replaced, which the building thread
// frees once the mutex is let go.
//
// A build depends on a few things of the live engine (its sample rate, voice count and tuning): they are
// copied into the stage when a build starts, and a build is taken over only while they still hold.
//
// Threads: one build at a time; a thread holds the stage from hold() to end(). The lock order is the
// stage's mutex, then the live engine's: a thread that holds the live engine's mutex only takes a stage
// that is free (or loads in place).
#pragma once

#include "mutex.h"

#include <memory>

class ByteChunk;
class Veltrane;

class ProgramStage
{
public:
  explicit ProgramStage(Veltrane& live);
  ~ProgramStage();
  ProgramStage(const ProgramStage&) = delete;
  ProgramStage& operator=(const ProgramStage&) = delete;

  // ---- a build on the caller's thread (any thread but the audio thread) ----
  // Takes the stage for the calling thread, waiting for a build on another thread to end; a caller that
  // holds the live engine's mutex, or already holds the stage, gets it only when that needs no waiting.
  // False: the caller loads in place.
  bool hold();
  // After hold(): the program in chunk from pos built in the stage. Its end position, or -1 (nothing built).
  int build(const ByteChunk* chunk, int pos);
  // Under the live engine's mutex: the live engine takes the built program over. False when nothing was
  // built, or when the live engine changed since in a way the build depends on (it must be built again).
  bool commit();
  // What the stage holds (the replaced patch, or an unused build) freed and the stage let go; without the
  // live engine's mutex. Nothing when the caller does not hold the stage.
  void end();
  // The state in chunk from pos read in the stage, without modules, and written again in the current state
  // format (a bank's programs): the end position, -1, or IPlugBase::kNotPrepared when the stage cannot be
  // had now. Takes and lets go of the stage itself.
  int normalize(const ByteChunk* chunk, int pos, ByteChunk* out);

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
  Basis basisOf(const Veltrane& v) const; // under v's mutex
  void prepareEngine();                   // the stage's engine, made on first use, with the live basis

  Veltrane& live;
  std::unique_ptr<Veltrane> engine; // the stage's engine
  WDL_Mutex mutex;                  // held from hold() to end()
  Basis basis;                      // of the last build
  bool built = false;               // a build waits to be taken over
};
