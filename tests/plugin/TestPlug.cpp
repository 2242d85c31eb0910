#include "TestPlug.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kModeNames[] = {"Clean", "Warm", "Hot"};

// A display text longer than a host's parameter field, to show that copies to the host are bounded.
void GainDisplay(double value, char* text)
{
  std::snprintf(text, 40, "%.2f gain units, deliberately long", value);
}

} // namespace

TestPlug::TestPlug(IPlugInstanceInfo info)
    : IPlugVST(info, kNumParams, "1-1 2-2", kNumPrograms, "TestPlug", "Veltrane Test", "Veltrane", 0x00010203,
               kUniqueID, VstFourCC('V', 'e', 'l', 't'), 0, true, true, false)
{
  GetParam(kGain)->InitDouble("Gain", 1.0, 0.0, 2.0, 0.01, "x");
  GetParam(kGain)->mDisplayFunc = GainDisplay;
  GetParam(kMode)->InitEnum("Mode", 0, 3);
  for (int i = 0; i < 3; ++i) GetParam(kMode)->SetDisplayText(i, kModeNames[i]);
  GetParam(kBypass)->InitBool("Bypass", false);
  GetParam(kSteps)->InitInt("Steps", 5, 0, 10, "st");

  SetInputLabel(0, "TestPlug In L");
  SetInputLabel(1, "TestPlug In R");

  // Program 0 with a name longer than the interface's 24-byte program names.
  MakePreset("A program name that is much longer than twenty-four bytes", 0.5, 1, 0, 3);
  MakeDefaultPreset("Unity", 1);

  IGraphicsLinux* editor = new IGraphicsLinux(this, kEditorWidth, kEditorHeight);
  editor->mBundleID.Set("org.veltrane.testplug");
  AttachGraphics(editor);
  RestorePreset(0);
}

template <class T> void TestPlug::Process(T** inputs, T** outputs, int nFrames)
{
  const double gain = GetParam(kBypass)->Bool() ? 1.0 : mGain;
  const int nIn = NInChannels(), nOut = NOutChannels();
  for (int c = 0; c < nOut; ++c) {
    const T* in = inputs[c < nIn ? c : nIn - 1];
    T* out = outputs[c];
    for (int s = 0; s < nFrames; ++s) out[s] = (T)(in[s] * gain);
  }
}

void TestPlug::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  Process(inputs, outputs, nFrames);
}

void TestPlug::ProcessFloatReplacing(float** inputs, float** outputs, int nFrames)
{
  Process(inputs, outputs, nFrames);
}

void TestPlug::OnParamChange(int paramIdx)
{
  IPlugVST::OnParamChange(paramIdx);
  ++mParamChanges;
  mLastParamChange = paramIdx;
  if (paramIdx == kGain) mGain = GetParam(kGain)->Value();
}

void TestPlug::Reset()
{
  IPlugVST::Reset();
  ++mResets;
}

void TestPlug::OnActivate(bool active)
{
  IPlugVST::OnActivate(active);
  ++(active ? mActivations : mDeactivations);
}

void TestPlug::ProcessSysEx(ISysEx* msg)
{
  // Reads every byte, so that a wrong size shows up under the address sanitizer.
  for (int i = 0; i < msg->mSize; ++i) {
    mSysExSum += msg->mData[i];
    ++mSysExBytes;
  }
  SendSysEx(msg);
}

bool TestPlug::MidiNoteName(int noteNumber, char* name)
{
  static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  if (noteNumber < 0 || noteNumber > 127) return IPlugVST::MidiNoteName(noteNumber, name);
  if (noteNumber == 127) { // longer than a key-name field, to show that it is cut
    std::memset(name, 'k', 200);
    name[200] = 0;
    return true;
  }
  std::sprintf(name, "%s%d", kNames[noteNumber % 12], noteNumber / 12 - 1);
  return true;
}
