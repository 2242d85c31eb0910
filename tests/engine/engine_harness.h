// Helpers for the engine tests: a host callback that answers like a quiet host, a synth-layer subclass that
// records the product hooks it calls, and temporary files.
#pragma once

#include "Synth.h"
#include "Veltrane.h"

#include <memory>
#include <string>

VstIntPtr QuietHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

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

// A file in a fresh temporary folder, removed with the folder when the object goes.
class TempDir
{
public:
  TempDir();
  ~TempDir();
  std::string path(const char* name) const { return mDir + "/" + name; }
  std::string write(const char* name, const std::string& content) const;
  const std::string& dir() const { return mDir; }

private:
  std::string mDir;
};
