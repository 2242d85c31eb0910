#include "ValueControls.h"

#include "ControlKit.h"
#include "EditorImages.h"
#include "IGraphics.h"
#include "IParam.h"
#include "Veltrane.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// "<display text><label>" of the parameter's current value, cut to size - 1 characters.
void valueText(IPlugBase* plug, IParam* param, bool spaced, char* out, int size)
{
  out[0] = 0;
  if (!param || size < 1) return;
  // Drawing runs on the editor thread; program changes and state loads write the values on the host's.
  WDL_MutexLock lock(plug ? plug->GetMutex() : nullptr);
  char display[IParam::kDisplayBufferSize] = {};
  param->GetDisplayForHost(param->Value(), false, display, true);
  std::snprintf(out, size, spaced ? "%s %s" : "%s%s", display, param->GetLabelForHost());
}

} // namespace

IParam* editorParam(IPlugBase* plug, int paramIdx)
{
  if (!plug || paramIdx < 0) return nullptr;
  if (Veltrane* v = dynamic_cast<Veltrane*>(plug)) return v->getAnyParam(paramIdx);
  return plug->GetParam(paramIdx);
}

// ---- knob ----

ITWKnobMultiControlText::ITWKnobMultiControlText(IPlugBase* plug, IGraphics*, int x, int y, int paramIdx,
                                                 IBitmap* knob, bool paramStep)
    : IKnobControl(plug, IRECT(x - 4, y, x + knob->W + 4, y + knob->frameHeight() + 16), paramIdx, kVertical, 4.0),
      mKnob(*knob), mWheelStep(0.001)
{
  const int w = knob->W, h = knob->frameHeight();
  mTextRect = IRECT(x - 4, y + h + 2, x + w + 4, y + h + 12);
  mKnobRect = IRECT(x, y, x + w, y + h);
  mText = productText(11, 160, 255, 255, 192);
  if (IParam* param = editorParam(plug, paramIdx)) {
    if (paramStep) mWheelStep = param->GetStep();
    mValue = param->GetNormalized();
    const double range = param->GetMax() - param->GetMin();
    const double shape = param->GetShape() > 0.0 ? param->GetShape() : 1.0;
    double x0 = range != 0.0 ? (param->GetDefault() - param->GetMin()) / range : 0.0;
    x0 = x0 < 0.0 ? 0.0 : x0 > 1.0 ? 1.0 : x0;
    mDefaultValue = std::pow(x0, 1.0 / shape);
  }
}

void ITWKnobMultiControlText::OnMouseWheel(int, int, IMouseMod* mod, int d)
{
  if (mod && (mod->S || mod->C))
    mValue += d * mWheelStep;
  else
    mValue += d * mWheelStep * 10.0;
  SetDirty(true);
}

void ITWKnobMultiControlText::setOverrideText(const char* text)
{
  std::snprintf(mOverrideText, sizeof(mOverrideText), "%s", text ? text : "");
}

void ITWKnobMultiControlText::getText(char* out, int size)
{
  if (size < 1) return;
  char text[kOverrideTextSize] = {};
  if (mOverrideText[0])
    std::snprintf(text, sizeof(text), "%s", mOverrideText);
  else
    valueText(mPlug, editorParam(mPlug, mParamIdx), false, text, sizeof(text));
  std::snprintf(out, size, "%s", text);
}

bool ITWKnobMultiControlText::Draw(IGraphics* graphics)
{
  graphics->DrawBitmap(&mKnob, &mKnobRect, FrameForValue(mKnob.N, mValue), &mBlend);
  char text[kOverrideTextSize];
  getText(text, sizeof(text));
  if (text[0]) graphics->DrawIText(&mText, text, &mTextRect, kCentredText, false);
  return true;
}

// ---- switches ----

ITWSwitchControl::ITWSwitchControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* image)
    : ISwitchControl(plug, x, y, paramIdx, image)
{
  IParam* param = editorParam(plug, paramIdx);
  mValue = param ? param->Value() : 0.0;
}

void ITWSwitchControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  clicked = true;
  ISwitchControl::OnMouseDown(x, y, mod);
}

ITWCustomTuningControl::ITWCustomTuningControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* image)
    : ITWSwitchControl(plug, x, y, paramIdx, image)
{
  mTextRect = mRECT;
  mTextRect.T += 3;
  mText = productText(11, 192, 255, 255, 255);
  if (Synth* synth = dynamic_cast<Synth*>(plug)) SetTooltip(synth->tuningName);
}

void ITWCustomTuningControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  Synth* synth = dynamic_cast<Synth*>(mPlug);
  if (!synth || !synth->isCustomTuning()) return;
  ITWSwitchControl::OnMouseDown(x, y, mod);
}

bool ITWCustomTuningControl::Draw(IGraphics* graphics)
{
  IBitmapControl::Draw(graphics);
  char text[2 * IParam::kDisplayBufferSize];
  valueText(mPlug, editorParam(mPlug, mParamIdx), false, text, sizeof(text));
  if (text[0]) graphics->DrawIText(&mText, text, &mTextRect, kCentredText, false);
  return true;
}

// ---- voice count ----

ITWDigitsPopUpMenu::ITWDigitsPopUpMenu(IPlugBase* plug, IGraphics* gui, IRECT rect, int paramIdx)
    : IControl(plug, rect, paramIdx)
{
  const EditorImage& digits = editorImages()[kImageDigits - 1];
  if (gui) mDigits = gui->LoadIBitmap(digits.id, digits.name, digits.frames, false);
  mTensRect = IRECT(rect.L + 2, rect.T, rect.R + (rect.R - rect.L) / 2, rect.B);
  mUnitsRect = IRECT(rect.L + (rect.R - rect.L) / 2, rect.T, rect.R, rect.B);
  mDisablePrompt = false;
  if (IParam* param = editorParam(plug, paramIdx)) mValue = param->GetNormalized();
}

int ITWDigitsPopUpMenu::voiceCount()
{
  IParam* param = editorParam(mPlug, mParamIdx);
  WDL_MutexLock lock(mPlug ? mPlug->GetMutex() : nullptr);
  const double v = param ? param->Value() : 0.0;
  // The entry index, kept inside the table whatever the parameter holds (NaN included).
  const int k = v >= 10.0 ? 10 : v >= 0.0 ? (int)v : 0;
  return Veltrane::nVoices[k];
}

void ITWDigitsPopUpMenu::OnMouseDown(int, int, IMouseMod*)
{
  PromptUserInput();
  mRedraw = true;
  SetDirty(true);
}

bool ITWDigitsPopUpMenu::Draw(IGraphics* graphics)
{
  if (!mDigits.mData) return true;
  const int count = voiceCount();
  graphics->DrawBitmap(&mDigits, &mTensRect, count / 10 % 10 + 1, &mBlend);
  graphics->DrawBitmap(&mDigits, &mUnitsRect, count % 10 + 1, &mBlend);
  return true;
}
