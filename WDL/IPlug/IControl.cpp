#include "IControl.h"

#include "IGraphics.h"
#include "IParam.h"
#include "IPlugBase.h"

#include <cstring>

IControl::IControl(IPlugBase* plug, IRECT r, int paramIdx, int blendMethod)
    : mPlug(plug), mRECT(r), mTargetRECT(r), mParamIdx(paramIdx), mBlend(blendMethod, 1.0f)
{
}

void IControl::OnMouseDown(int, int, IMouseMod* mod)
{
  if (mod && mod->R) PromptUserInput();
}

void IControl::OnMouseDblClick(int, int, IMouseMod*)
{
  if (mDefaultValue < 0.0) return;
  mValue = mDefaultValue;
  SetDirty(true);
}

void IControl::SetValueFromPlug(double value)
{
  if (mDefaultValue < 0.0) {
    mValue = mDefaultValue = value;
    return;
  }
  if (value == mValue) return;
  mValue = value;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetValueFromUserInput(double value)
{
  if (value == mValue) return;
  mValue = value;
  SetDirty(true);
  mRedraw = true;
}

void IControl::Hide(bool hide)
{
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray)
{
  mGrayed = gray;
  mBlend.mWeight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

void IControl::SetDirty(bool pushToPlug)
{
  mValue = mClampLo > mValue ? mClampLo : (mClampHi < mValue ? mClampHi : mValue);
  mDirty = true;
  if (!pushToPlug || !mPlug || mParamIdx < 0) return;
  mPlug->SetParameterFromGUI(mParamIdx, mValue);
  // Program loads may redefine the parameter on another thread.
  WDL_MutexLock lock(mPlug->GetMutex());
  IParam* param = mPlug->GetParam(mParamIdx);
  if (!param) return;
  if (ITextControl* display = dynamic_cast<ITextControl*>(mValDisplayControl)) {
    char value[IParam::kDisplayBufferSize] = {};
    param->GetDisplayForHost(param->Value(), false, value, true);
    WDL_String text;
    text.SetFormatted(72, "%.32s %.32s", value, param->GetLabelForHost());
    display->SetTextFromPlug(text.Get());
  }
  if (ITextControl* name = dynamic_cast<ITextControl*>(mNameDisplayControl)) name->SetTextFromPlug(param->GetNameForHost());
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value)
{
  AuxParam* aux = GetAuxParam(auxParamIdx);
  if (aux->mValue == value) return;
  aux->mValue = value;
  SetDirty(false);
  mRedraw = true;
}

void IControl::PromptUserInput()
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* param = mPlug->GetParam(mParamIdx);
  if (!param) return;
  bool list;
  {
    WDL_MutexLock lock(mPlug->GetMutex());
    list = param->GetNDisplayTexts() > 0;
  }
  if (list) {
    PromptUserInput(&mRECT);
    return;
  }
  const int cx = (int)mRECT.MW(), cy = (int)mRECT.MH();
  IRECT field(cx - 20, cy - 8, cx + 20, cy + 8);
  PromptUserInput(&field);
}

void IControl::PromptUserInput(IRECT* r)
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IGraphics* graphics = mPlug->GetGUI();
  IParam* param = mPlug->GetParam(mParamIdx);
  if (graphics && param) graphics->PromptUserInput(this, param, r);
  mRedraw = true;
}

void IControl::AddAuxParam(int paramIdx)
{
  const AuxParam entry = {0.0, paramIdx};
  mAuxParams.Add(entry);
}

int IControl::AuxParamIdx(int paramIdx) const
{
  const AuxParam* a = mAuxParams.Get();
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
    if (a[i].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::SetAllAuxParamsFromGUI()
{
  if (!mPlug) return;
  for (int i = 0; i < NAuxParams(); ++i) mPlug->SetParameterFromGUI(GetAuxParam(i)->mParamIdx, GetAuxParam(i)->mValue);
}

// ---- stock controls ----

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap, int blendMethod)
    : IControl(plug, IRECT(x, y, x + bitmap->W, y + bitmap->H / (bitmap->N > 0 ? bitmap->N : 1)), paramIdx,
               blendMethod),
      mBitmap(*bitmap)
{
}

int FrameForValue(int nFrames, double value)
{
  if (nFrames < 2) return 1;
  // NaN or far out-of-range values land on the nearest end instead of an undefined conversion.
  const double s = (nFrames - 1) * value + 0.5;
  if (!(s >= 0.0)) return 1;
  if (s >= (double)nFrames) return nFrames;
  const int frame = (int)s + 1;
  return frame > nFrames ? nFrames : frame;
}

bool IBitmapControl::Draw(IGraphics* graphics)
{
  return graphics->DrawBitmap(&mBitmap, &mRECT, FrameForValue(mBitmap.N, mValue), &mBlend);
}

IPanelControl::IPanelControl(IPlugBase* plug, IRECT r, const IColor* color)
    : IControl(plug, r, -1, IChannelBlend::kBlendNone), mColor(*color)
{
}

bool IPanelControl::Draw(IGraphics* graphics)
{
  // Only the area being drawn: a background panel filled whole would wipe the controls outside that area,
  // which are not drawn again.
  IRECT area = mRECT.Intersect(graphics->mDrawRECT);
  if (area.Empty()) return true;
  return graphics->FillIRect(&mColor, &area, &mBlend);
}

ITextControl::ITextControl(IPlugBase* plug, IRECT r, IText* text, const char* str) : IControl(plug, r)
{
  if (text) mText = *text;
  mStr.Set(str ? str : "");
}

bool ITextControl::Draw(IGraphics* graphics)
{
  if (!mStr.GetLength()) return true;
  return graphics->DrawIText(&mText, mStr.Get(), &mRECT, 0x100, false);
}

void ITextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  if (!std::strcmp(mStr.Get(), str)) return;
  SetDirty(false);
  mStr.Set(str);
}

// ---- bitmap text ----

bool DrawBitmapedText(IGraphics* graphics, IBitmap* bitmap, IRECT* r, IText* text, IChannelBlend* blend,
                      const char* str, bool vCenter, bool multiline, int charWidth, int charHeight, int charOffset)
{
  if (!str || !*str || charWidth <= 0) return true;
  const int n = (int)std::strlen(str);
  int y0 = r->T;
  if (vCenter) y0 = r->T + (r->B - (r->T + charHeight)) / 2;
  const int sw = n * charWidth;
  int x0 = r->L;
  const int align = text ? text->mAlign : IText::kAlignNear;
  if (align == IText::kAlignFar)
    x0 = r->R - sw;
  else if (align == IText::kAlignCenter)
    x0 = r->L + (r->R - (sw + r->L)) / 2;
  const int rw = r->W();
  int perLine, lines = 1;
  if (multiline && sw > rw) {
    // Whole cells per line, and as many lines as the text needs (a width that is no multiple of the cell
    // width leaves part of a cell unused on every line).
    perLine = rw / charWidth;
    lines = perLine > 0 ? (n + perLine - 1) / perLine : 0;
  } else if (multiline) {
    perLine = n;
  } else {
    perLine = rw / charWidth;
  }
  if (perLine < 1) return true;
  int next = 0;
  for (int k = 0; k < lines; ++k) {
    const int y = y0 + k * charHeight;
    int x = x0;
    for (int i = 0; i < perLine; ++i) {
      if (next >= n) return true;
      const int frame = (unsigned char)str[next++] - 31;
      IRECT cell(x, y, x + charWidth, y + charHeight);
      graphics->DrawBitmap(bitmap, &cell, frame, blend);
      x += charWidth + charOffset;
    }
  }
  return true;
}

IBitmapTextControl::IBitmapTextControl(IPlugBase* plug, IRECT r, IBitmap* bitmap, const char* str, IText* text,
                                       int charWidth, int charHeight, int charOffset, bool multiline, bool vCenter)
    : IControl(plug, r), mCharWidth(charWidth), mCharHeight(charHeight), mCharOffset(charOffset),
      mTextBitmap(*bitmap), mMultiLine(multiline), mVCentre(vCenter)
{
  mStr.Set(str ? str : "");
  if (text) mText = *text;
}

bool IBitmapTextControl::Draw(IGraphics* graphics)
{
  if (!mStr.GetLength()) return true;
  return DrawBitmapedText(graphics, &mTextBitmap, &mRECT, &mText, &mBlend, mStr.Get(), mVCentre, mMultiLine,
                          mCharWidth, mCharHeight, mCharOffset);
}

void IBitmapTextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  if (!std::strcmp(mStr.Get(), str)) return;
  IControl::SetDirty(false);
  mStr.Set(str);
}
