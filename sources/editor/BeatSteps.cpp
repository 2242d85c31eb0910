#include "BeatSteps.h"

#include "BeatSeq.h"
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPlugBase.h"
#include "ModulePanel.h"

#include <cmath>

namespace {

IBitmap imageOrEmpty(int id)
{
  IBitmap* b = BitmapStore::getBitmap(id);
  return b ? *b : IBitmap();
}

} // namespace

ITWBeatStepControl::ITWBeatStepControl(IPlugBase* plug, int x, int y, int paramIdx)
    : IControl(plug, IRECT(x, y, x + kWidth, y + kHeight), paramIdx), mLamp(imageOrEmpty(kImageButtonLight)),
      mAccentLamp(imageOrEmpty(kImageButtonLight2))
{
  if (IParam* param = editorParam(plug, paramIdx)) mValue = param->GetNormalized();
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  const int m = mask();
  for (int i = 0; i < kSteps; ++i) {
    mSteps[i] = new ITWSwitchControl(plug, x, y + kPitch * i, -1, (i % 4 == 0) ? &mAccentLamp : &mLamp);
    mSteps[i]->SetValueFromPlug((m >> i) & 1);
    if (gui) gui->AttachControl(mSteps[i]);
  }
  if (!gui) {
    // Nobody to own the lamps: the column works on its mask alone.
    for (ITWSwitchControl*& s : mSteps) {
      delete s;
      s = nullptr;
    }
  }
}

int ITWBeatStepControl::mask() const
{
  IParam* param = editorParam(mPlug, mParamIdx);
  if (!param) return 0;
  // Drawing runs on the editor thread; a program the audio thread takes over rewrites the value.
  WDL_MutexLock lock(mPlug ? mPlug->GetMutex() : nullptr);
  const double v = param->Value();
  if (!(v >= 0.0)) return 0; // NaN or negative
  return v >= 65535.0 ? 65535 : (int)std::floor(v);
}

bool ITWBeatStepControl::Draw(IGraphics*)
{
  // The lamps lie inside this rectangle and are drawn by the surface in the same pass.
  const int m = mask();
  for (int i = 0; i < kSteps; ++i)
    if (mSteps[i]) mSteps[i]->SetValueFromPlug((m >> i) & 1);
  return true;
}

void ITWBeatStepControl::OnMouseDown(int, int y, IMouseMod*)
{
  const int d = y - mRECT.T;
  if (d < 0 || d >= kSteps * kPitch) return; // the last two rows select no step
  const int k = d / kPitch;
  const int bit = 1 << k;
  int m = mask();
  const bool on = !(m & bit);
  if (mSteps[k]) {
    mSteps[k]->SetValueFromPlug(on ? 1.0 : 0.0);
    mSteps[k]->SetDirty(false);
  }
  m = on ? (m | bit) : (m & (65535 - bit));
  IParam* param = editorParam(mPlug, mParamIdx);
  if (!param || !mPlug) return;
  mValue = param->GetNormalized((double)m);
  mPlug->SetParameterFromGUI(mParamIdx, mValue);
  SetDirty(false);
}

int beatSeqShownStep(const BeatSeq* module)
{
  return module ? module->publishedStep.load(std::memory_order_relaxed) : -1;
}

void showStepLeds(IControl* const* leds, int count, int currentStep)
{
  for (int k = 0; k < count; ++k) showLamp(leds[k], currentStep == k);
}
