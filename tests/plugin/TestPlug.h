// TestPlug: a small effect built on the framework, used by the tests through its VST 2.4 entry point.
// It passes audio through with a gain, has four parameters of the four kinds, uses state chunks, takes MIDI
// (and sends each message back to the host), names its notes, and has a headless editor surface.
#pragma once

#include "IGraphicsLinux.h"
#include "IPlugVST.h"

class TestPlug : public IPlugVST
{
public:
  enum EParams { kGain = 0, kMode, kBypass, kSteps, kNumParams };
  static constexpr int kNumPrograms = 8;
  static constexpr int kUniqueID = VstFourCC('t', 'P', 'l', 'g');
  static constexpr int kEditorWidth = 400, kEditorHeight = 300;

  explicit TestPlug(IPlugInstanceInfo info);

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void ProcessFloatReplacing(float** inputs, float** outputs, int nFrames) override;
  void OnParamChange(int paramIdx) override;
  void Reset() override;
  void OnActivate(bool active) override;
  void OnIdle() override { ++mIdleCalls; }
  void OnGUIOpen() override { ++mGUIOpens; }
  void OnGUIClose() override { ++mGUICloses; }
  void ProcessSysEx(ISysEx* msg) override;
  bool MidiNoteName(int noteNumber, char* name) override;

  IGraphicsLinux* Editor() { return static_cast<IGraphicsLinux*>(GetGUI()); }

  // What the hooks saw, for white-box tests.
  int mParamChanges = 0, mResets = 0, mActivations = 0, mDeactivations = 0, mIdleCalls = 0;
  int mGUIOpens = 0, mGUICloses = 0, mSysExBytes = 0, mSysExSum = 0;
  int mLastParamChange = -1;

private:
  template <class T> void Process(T** inputs, T** outputs, int nFrames);
  double mGain = 1.0;
};
