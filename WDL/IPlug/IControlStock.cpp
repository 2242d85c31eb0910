#include "IControlStock.h"

#include "IGraphics.h"
#include "IParam.h"
#include "IPlugBase.h"

#include <cmath>
#include <cstring>

// ---- switches ----

void ISwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  mValue += mBitmap.N > 1 ? 1.0 / (double)(mBitmap.N - 1) : 1.0;
  if (mValue > 1.001) mValue = 0.0;
  SetDirty(true);
}

void IContactControl::OnMouseUp(int, int, IMouseMod*)
{
  mValue = 0.0;
  SetDirty(true);
}

// ---- knobs ----

void IKnobControl::OnMouseDrag(int, int, int dX, int dY, IMouseMod* mod)
{
  double gearing = mGearing;
  if (mod && (mod->C || mod->S)) gearing *= 10.0;
  if (mDirection == kVertical) {
    const int extent = mRECT.T - mRECT.B; // negative: moving up (dY < 0) raises the value
    if (extent != 0) mValue += (double)dY / (double)extent / gearing;
  } else {
    const int extent = mRECT.R - mRECT.L;
    if (extent != 0) mValue += (double)dX / (double)extent / gearing;
  }
  SetDirty(true);
}

void IKnobControl::OnMouseWheel(int, int, IMouseMod* mod, int d)
{
  mValue += d * ((mod && (mod->C || mod->S)) ? 0.001 : 0.01);
  SetDirty(true);
}

// ---- file selector ----

IFileSelectorControl::IFileSelectorControl(IPlugBase* plug, IRECT r, int paramIdx, EFileAction action,
                                           const char* dir, const char* extensions)
    : IControl(plug, r, paramIdx), mFileAction(action)
{
  if (dir) mDir.Set(dir);
  if (extensions) mExtensions.Set(extensions);
}

void IFileSelectorControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* graphics = mPlug ? mPlug->GetGUI() : nullptr;
  if (!graphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  graphics->PromptForFile(&mFile, mFileAction, &mDir, mExtensions.Get());
  mValue += 1.0;
  if (mValue > 1.0) mValue = 0.0;
  mState = kFSDone;
  SetDirty(true);
}

bool IFileSelectorControl::Draw(IGraphics* graphics)
{
  if (mState == kFSSelecting && mBitmap.mData) return graphics->DrawBitmap(&mBitmap, &mRECT, 0, 0, nullptr);
  return true;
}

bool IFileSelectorControl::IsDirty()
{
  if (mDirty) return true;
  if (mState == kFSDone) {
    mState = kFSNone;
    return true;
  }
  return false;
}

// ---- the rest of the stock set ----

void ISwitchPopUpControl::OnMouseDown(int, int, IMouseMod*)
{
  PromptUserInput();
  SetDirty(true);
}

ISwitchFramesControl::ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                           bool imagesAreHorizontal, int blendMethod)
    : ISwitchControl(plug, x, y, paramIdx, bitmap, blendMethod)
{
  mDisablePrompt = false;
  const int n = bitmap->N > 0 ? bitmap->N : 1;
  for (int i = 0; i < n; ++i) {
    IRECT z = mRECT;
    if (imagesAreHorizontal) {
      const float size = (float)mRECT.W();
      z.L = mRECT.L + (int)((float)i * size / (float)n);
      z.R = z.L + (int)(size / (float)n);
    } else {
      const float size = (float)mRECT.H();
      z.T = mRECT.T + (int)((float)i * size / (float)n);
      z.B = z.T + (int)(size / (float)n);
    }
    mZones.Add(z);
  }
}

void ISwitchFramesControl::OnMouseDown(int x, int y, IMouseMod*)
{
  const int n = mZones.GetSize();
  for (int i = 0; i < n; ++i)
    if (mZones.Get()[i].Contains(x, y)) {
      // One zone only: 0 / 0 would be undefined, so the value stays where it is.
      if (n > 1) mValue = (double)i / (double)(n - 1);
      break;
    }
  SetDirty(true);
}

void IInvisibleSwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  mValue = mValue < 0.5 ? 1.0 : 0.0;
  SetDirty(true);
}

IRadioButtonsControl::IRadioButtonsControl(IPlugBase* plug, IRECT r, int paramIdx, int nButtons, IBitmap* bitmap,
                                           EDirection direction, bool reverse)
    : IControl(plug, r, paramIdx), mBitmap(*bitmap)
{
  if (nButtons < 1) nButtons = 1;
  const int w = bitmap->W;
  const int h = (int)((double)bitmap->H / (double)(bitmap->N > 0 ? bitmap->N : 1));
  const int extent = direction == kHorizontal ? r.W() : r.H();
  const int size = direction == kHorizontal ? w : h;
  const int gap = nButtons > 1 ? (extent - nButtons * size) / (nButtons - 1) : 0;
  int x = reverse && direction == kHorizontal ? r.R - w - gap : r.L;
  int y = reverse && direction == kVertical ? r.B - h - gap : r.T;
  for (int i = 0; i < nButtons; ++i) {
    mRECTs.Add(IRECT(x, y, x + w, y + h));
    const int step = (size + gap) * (reverse ? -1 : 1);
    if (direction == kHorizontal)
      x += step;
    else
      y += step;
  }
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (mod && mod->R) {
    PromptUserInput();
    return;
  }
  const int n = mRECTs.GetSize();
  for (int i = 0; i < n; ++i)
    if (mRECTs.Get()[i].Contains(x, y)) {
      mValue = n > 1 ? (double)i / (double)(n - 1) : 0.0;
      break;
    }
  SetDirty(true);
}

bool IRadioButtonsControl::Draw(IGraphics* graphics)
{
  const int n = mRECTs.GetSize();
  int selected = (int)((double)(n - 1) * mValue + 0.5);
  if (!(mValue >= 0.0)) selected = 0;
  selected = selected < 0 ? 0 : selected > n - 1 ? n - 1 : selected;
  for (int i = 0; i < n; ++i) graphics->DrawBitmap(&mBitmap, &mRECTs.Get()[i], i == selected ? 2 : 1, &mBlend);
  return true;
}

IFaderControl::IFaderControl(IPlugBase* plug, int x, int y, int len, int paramIdx, IBitmap* bitmap,
                             EDirection direction, bool onlyHandle)
    : IControl(plug, IRECT(), paramIdx), mLen(len), mHandleBitmap(*bitmap), mDirection(direction),
      mOnlyHandle(onlyHandle)
{
  if (direction == kVertical) {
    mHandleHeadroom = bitmap->H;
    mRECT = mTargetRECT = IRECT(x, y, x + bitmap->W, y + len);
  } else {
    mHandleHeadroom = bitmap->W;
    mRECT = mTargetRECT = IRECT(x, y, x + len, y + bitmap->H);
  }
}

IRECT IFaderControl::GetHandleRECT(double value) const
{
  if (value < 0.0) value = mValue;
  const int travel = mLen - mHandleHeadroom;
  if (mDirection == kVertical) {
    const int offset = (int)((double)travel * (1.0 - value));
    return IRECT(mRECT.L, mRECT.T + offset, mRECT.L + mHandleBitmap.W, mRECT.T + offset + mHandleBitmap.H);
  }
  const int offset = (int)(value * (double)travel);
  return IRECT(mRECT.L + offset, mRECT.T, mRECT.L + offset + mHandleBitmap.W, mRECT.T + mHandleBitmap.H);
}

void IFaderControl::SnapToMouse(int x, int y)
{
  const int travel = mLen - mHandleHeadroom;
  if (travel != 0) {
    if (mDirection == kVertical)
      mValue = 1.0 - (double)(y - mRECT.T - mHandleHeadroom / 2) / (double)travel;
    else
      mValue = (double)(x - mRECT.L - mHandleHeadroom / 2) / (double)travel;
  }
  SetDirty(true);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (mod && mod->R) {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseWheel(int, int, IMouseMod* mod, int d)
{
  mValue += d * ((mod && (mod->C || mod->S)) ? 0.001 : 0.01);
  SetDirty(true);
}

bool IFaderControl::Draw(IGraphics* graphics)
{
  IRECT r = GetHandleRECT();
  return graphics->DrawBitmap(&mHandleBitmap, &r, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y)
{
  if (mOnlyHandle) return GetHandleRECT().Contains(x, y);
  return mTargetRECT.Contains(x, y);
}

IKnobLineControl::IKnobLineControl(IPlugBase* plug, IRECT r, int paramIdx, const IColor* color, double innerRadius,
                                   double outerRadius, double minAngle, double maxAngle, EDirection direction,
                                   double gearing)
    : IKnobControl(plug, r, paramIdx, direction, gearing), mColor(*color), mMinAngle((float)minAngle),
      mMaxAngle((float)maxAngle), mInnerRadius((float)innerRadius), mOuterRadius((float)outerRadius)
{
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * (float)r.W();
  mBlend = IChannelBlend(IChannelBlend::kBlendClobber);
}

bool IKnobLineControl::Draw(IGraphics* graphics)
{
  const double a = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  const float cx = (mRECT.L + mRECT.R) / 2.0f, cy = (mRECT.T + mRECT.B) / 2.0f;
  const float s = (float)std::sin(a), c = (float)std::cos(a);
  return graphics->DrawLine(&mColor, cx + mInnerRadius * s, cy - mInnerRadius * c, cx + mOuterRadius * s,
                            cy - mOuterRadius * c, &mBlend, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                         double minAngle, double maxAngle, int yOffsetZeroDeg, EDirection direction,
                                         double gearing)
    : IKnobControl(plug, IRECT(x, y, x + bitmap->W, y + bitmap->H), paramIdx, direction, gearing), mBitmap(*bitmap),
      mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg)
{
}

bool IKnobRotaterControl::Draw(IGraphics* graphics)
{
  const int cx = (mRECT.L + mRECT.R) / 2, cy = (mRECT.T + mRECT.B) / 2;
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return graphics->DrawRotatedBitmap(&mBitmap, cx, cy, angle, mYOffset, &mBlend);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                     EDirection direction, double gearing)
    : IKnobControl(plug, IRECT(x, y, x + bitmap->W, y + bitmap->frameHeight()), paramIdx, direction, gearing),
      mBitmap(*bitmap)
{
}

bool IKnobMultiControl::Draw(IGraphics* graphics)
{
  return graphics->DrawBitmap(&mBitmap, &mRECT, FrameForValue(mBitmap.N, mValue), &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* base,
                                                   IBitmap* mask, IBitmap* top, double minAngle, double maxAngle,
                                                   EDirection direction, double gearing)
    : IKnobControl(plug, IRECT(x, y, x + base->W, y + base->H), paramIdx, direction, gearing), mBase(*base),
      mMask(*mask), mTop(*top), mMinAngle(minAngle), mMaxAngle(maxAngle)
{
}

bool IKnobRotatingMaskControl::Draw(IGraphics* graphics)
{
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return graphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.L, mRECT.T, angle, &mBlend);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                             IRECT targetArea)
    : ISwitchControl(plug, x, y, paramIdx, bitmap), mTargetArea(targetArea)
{
}

bool IBitmapOverlayControl::Draw(IGraphics* graphics)
{
  if (mValue < 0.5) {
    mTargetRECT = mTargetArea;
    return true;
  }
  mTargetRECT = mRECT;
  return IBitmapControl::Draw(graphics);
}

ICaptionControl::ICaptionControl(IPlugBase* plug, IRECT r, int paramIdx, IText* text, bool showParamLabel)
    : ITextControl(plug, r, text, ""), mShowParamLabel(showParamLabel)
{
  mParamIdx = paramIdx;
}

void ICaptionControl::OnMouseDown(int, int, IMouseMod*)
{
  PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int, int, IMouseMod*)
{
  PromptUserInput();
}

bool ICaptionControl::Draw(IGraphics* graphics)
{
  IParam* param = mPlug ? mPlug->GetParam(mParamIdx) : nullptr;
  if (param) {
    char display[IParam::kDisplayBufferSize] = {};
    param->GetDisplayForHost(param->Value(), false, display, true);
    mStr.Set(display);
    if (mShowParamLabel) {
      mStr.Append(" ");
      mStr.Append(param->GetLabelForHost());
    }
  }
  return ITextControl::Draw(graphics);
}

namespace {
void copyBounded(char* out, int size, const char* in)
{
  if (!in || !*in) return;
  std::strncpy(out, in, size - 1);
  out[size - 1] = 0;
}
} // namespace

IURLControl::IURLControl(IPlugBase* plug, IRECT r, const char* url, const char* backupURL, const char* errMsgOnFailure)
    : IControl(plug, r)
{
  copyBounded(mURL, sizeof(mURL), url);
  copyBounded(mBackupURL, sizeof(mBackupURL), backupURL);
  copyBounded(mErrMsg, sizeof(mErrMsg), errMsgOnFailure);
}

void IURLControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* graphics = mPlug ? mPlug->GetGUI() : nullptr;
  if (!graphics) return;
  bool opened = false;
  if (mURL[0]) opened = graphics->OpenURL(mURL, nullptr, nullptr, mErrMsg);
  if (!opened && mBackupURL[0]) graphics->OpenURL(mBackupURL, nullptr, nullptr, mErrMsg);
}
