// The editor surface: controls, parameter exchange, hit testing and input dispatch, the dirty check and
// redraw, and value prompts.
#include "IGraphics.h"

#include "IControl.h"
#include "IParam.h"
#include "IPlugBase.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {
// The leading decimal number of a text as atof reads it, in the "C" locale whatever the host has set;
// 0 when the text starts with no number.
double leadingNumber(const char* text)
{
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  double v = 0.0;
  const auto r = std::from_chars(text, text + std::strlen(text), v);
  return r.ec == std::errc() ? v : 0.0;
}
} // namespace

const IColor COLOR_TRANSPARENT(0, 0, 0, 0), COLOR_BLACK(255, 0, 0, 0), COLOR_GRAY(255, 127, 127, 127),
    COLOR_WHITE(255, 255, 255, 255), COLOR_RED(255, 255, 0, 0), COLOR_GREEN(255, 0, 255, 0),
    COLOR_BLUE(255, 0, 0, 255), COLOR_YELLOW(255, 255, 255, 0), COLOR_ORANGE(255, 255, 127, 0);
const IColor DEFAULT_TEXT_COLOR = COLOR_BLACK, DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE,
             DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int fps)
    : mPlug(plug), mWidth(width), mHeight(height), mFPS(fps > 0 ? fps : 25)
{
  mNQueued = plug ? plug->NParams() : 0;
  if (mNQueued > 0) mQueued.reset(new QueuedValue[mNQueued]);
}

IGraphics::~IGraphics()
{
  delete mKeyCatcher;
  mKeyCatcher = nullptr;
  deleteControls();
}

void IGraphics::deleteControls()
{
  for (int i = mControls.GetSize() - 1; i >= 0; --i) mControls.Delete(i, true);
  mMouseCapture = mMouseOver = -1;
}

void IGraphics::PrepDraw()
{
  mDrawBitmap.reset(new LICE_SysBitmap(mWidth, mHeight));
  mTmpBitmap.reset(new LICE_MemBitmap(0, 0, 4));
}

int IGraphics::AttachControl(IControl* control)
{
  mControls.Add(control);
  return mControls.GetSize() - 1;
}

void IGraphics::AttachBackground(int id, const char* name)
{
  IBitmap bg = LoadIBitmap(id, name, 1);
  IControl* c = new IBitmapControl(mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber);
  mControls.Insert(0, c);
}

void IGraphics::AttachPanelBackground(const IColor* color)
{
  IControl* c = new IPanelControl(mPlug, IRECT(0, 0, mWidth, mHeight), color);
  mControls.Insert(0, c);
}

void IGraphics::AttachKeyCatcher(IControl* control)
{
  if (mKeyCatcher != control) delete mKeyCatcher;
  mKeyCatcher = control;
}

IControl* IGraphics::DetachControl(int idx)
{
  IControl* c = mControls.Get(idx);
  if (!c) return nullptr;
  // Indexes from idx on name other controls now: a gesture in progress on them ends here.
  if (mMouseCapture >= idx) {
    IControl* captured = mControls.Get(mMouseCapture);
    if (captured && mPlug && captured->ParamIdx() >= 0) mPlug->EndInformHostOfParamChange(captured->ParamIdx());
    ReleaseMouseCapture();
  }
  if (mMouseOver >= idx) mMouseOver = -1;
  mControls.Delete(idx, false);
  return c;
}

// ---- parameter exchange ----

template <class F> void IGraphics::forEachControlOf(int paramIdx, F f)
{
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) f(c);
  }
}

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized)
{
  if (!normalized) {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = param->GetNormalized(value);
  }
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
    const int aux = c->AuxParamIdx(paramIdx);
    if (aux >= 0) c->SetAuxParamValueFromPlug(aux, value);
  }
}

void IGraphics::SetParametersFromPlug()
{
  if (!mPlug) return;
  const int n = mPlug->NParams();
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    const int p = c->ParamIdx();
    if (p >= 0 && p < n) c->SetValueFromPlug(mPlug->GetParam(p)->GetNormalized());
    for (int a = 0; a < c->NAuxParams(); ++a) {
      // Only the first aux entry bound to a parameter takes its value, as in SetParameterFromPlug.
      const int q = c->GetAuxParam(a)->mParamIdx;
      if (q >= 0 && q < n && c->AuxParamIdx(q) == a) c->SetAuxParamValueFromPlug(a, mPlug->GetParam(q)->GetNormalized());
    }
  }
}

void IGraphics::QueueParameterFromPlug(int paramIdx, double normalizedValue)
{
  if (paramIdx < 0 || paramIdx >= mNQueued) return;
  mQueued[paramIdx].value.store(normalizedValue, std::memory_order_relaxed);
  mQueued[paramIdx].pending.store(true, std::memory_order_release);
  mAnyQueued.store(true, std::memory_order_release);
}

void IGraphics::DrainQueuedParameters()
{
  if (!mAnyQueued.exchange(false, std::memory_order_acq_rel)) return;
  for (int i = 0; i < mNQueued; ++i)
    if (mQueued[i].pending.exchange(false, std::memory_order_acq_rel))
      SetParameterFromPlug(i, mQueued[i].value.load(std::memory_order_relaxed), true);
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue)
{
  if (IControl* c = mControls.Get(controlIdx)) c->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  forEachControlOf(paramIdx, [&](IControl* c) { c->SetValueFromUserInput(normalizedValue); });
}

void IGraphics::SetAllControlsDirty()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized)
{
  if (!normalized) {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    lo = param->GetNormalized(lo);
    hi = param->GetNormalized(hi);
  }
  forEachControlOf(paramIdx, [&](IControl* c) { c->SetClamp(lo, hi); });
}

void IGraphics::HideControl(int paramIdx, bool hide)
{
  forEachControlOf(paramIdx, [&](IControl* c) { c->Hide(hide); });
}

void IGraphics::GrayOutControl(int paramIdx, bool gray)
{
  forEachControlOf(paramIdx, [&](IControl* c) { c->GrayOut(gray); });
}

// ---- input ----

int IGraphics::hitTest(int x, int y, bool mouseOver) const
{
  for (int i = mControls.GetSize() - 1; i >= 0; --i) {
    IControl* c = mControls.Get(i);
    if (c->IsHidden()) continue;
    if (c->IsGrayed() && !(mouseOver && c->GetMOWhenGrayed())) continue;
    if (c->IsHit(x, y)) return i;
  }
  return -1;
}

int IGraphics::GetMouseControlIdx(int x, int y, bool mouseOver)
{
  if (mMouseCapture >= 0) return mMouseCapture;
  return hitTest(x, y, mouseOver);
}

void IGraphics::ReleaseMouseCapture()
{
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* mod)
{
  ReleaseMouseCapture();
  const int c = hitTest(x, y, false);
  if (c < 0) return;
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  IControl* control = mControls.Get(c);
  const int paramIdx = control->ParamIdx();
  if (paramIdx >= 0 && mPlug) mPlug->BeginInformHostOfParamChange(paramIdx);
  control->OnMouseDown(x, y, mod);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* mod)
{
  const int c = mMouseCapture >= 0 ? mMouseCapture : hitTest(x, y, false);
  ReleaseMouseCapture();
  IControl* control = mControls.Get(c);
  if (!control) return;
  // The gesture ends for the parameter it began with: the release may replace or delete the control (a
  // panel rebuild), so the control is not asked again afterwards.
  const int paramIdx = control->ParamIdx();
  control->OnMouseUp(x, y, mod);
  if (paramIdx >= 0 && mPlug) mPlug->EndInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* mod)
{
  IControl* control = mControls.Get(mMouseCapture);
  if (mMouseCapture < 0 || !control) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  if (dX == 0 && dY == 0) return;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDrag(x, y, dX, dY, mod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* mod)
{
  ReleaseMouseCapture();
  const int c = hitTest(x, y, false);
  if (c < 0) return false;
  IControl* control = mControls.Get(c);
  if (control->GetDblAsSingleClick()) {
    mMouseCapture = c;
    mMouseX = x;
    mMouseY = y;
    control->OnMouseDown(x, y, mod);
    return true;
  }
  control->OnMouseDblClick(x, y, mod);
  return false;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* mod, int d)
{
  const int c = mMouseCapture >= 0 ? mMouseCapture : hitTest(x, y, false);
  if (IControl* control = mControls.Get(c)) control->OnMouseWheel(x, y, mod, d);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* mod)
{
  if (!mHandleMouseOver) return false;
  const int c = mMouseCapture >= 0 ? mMouseCapture : hitTest(x, y, true);
  IControl* control = mControls.Get(c);
  if (c < 0 || !control) return true;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseOver(x, y, mod);
  if (mMouseOver >= 0 && mMouseOver != c)
    if (IControl* previous = mControls.Get(mMouseOver)) previous->OnMouseOut();
  mMouseOver = c;
  return true;
}

void IGraphics::OnMouseOut()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnMouseOut();
  mMouseOver = -1;
}

bool IGraphics::OnKeyDown(int x, int y, int key)
{
  const int c = mMouseCapture >= 0 ? mMouseCapture : hitTest(x, y, false);
  if (c > 0) {
    if (IControl* control = mControls.Get(c)) return control->OnKeyDown(x, y, key);
    return false;
  }
  return mKeyCatcher ? mKeyCatcher->OnKeyDown(x, y, key) : false;
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y)
{
  const int c = mMouseCapture >= 0 ? mMouseCapture : hitTest(x, y, false);
  IControl* control = c > 0 ? mControls.Get(c) : nullptr;
  mLastClickedParam = control ? control->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation()
{
  const int p = mLastClickedParam;
  mLastClickedParam = -1;
  return p;
}

// ---- redraw ----

bool IGraphics::IsDirty(IRECT* r)
{
  bool dirty = false;
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (c->IsDirty()) {
      *r = r->Union(*c->GetRECT());
      dirty = true;
    }
  }
  if (dirty) {
    mIdleTicks = 0;
    return true;
  }
  if (mIdleTicks++ >= 20) {
    if (mPlug) mPlug->OnIdle();
    mIdleTicks = 0;
  }
  return false;
}

bool IGraphics::Draw(IRECT* r)
{
  const int n = mControls.GetSize();
  if (!n) return true;
  // A control drawn again because it meets another's area must not draw its text over itself outside that
  // area: anti-aliased glyph edges drawn twice grow bolder.
  mDrawingControls = true;
  if (mStrict) {
    mDrawRECT = *r;
    for (int i = 0; i < n; ++i) {
      IControl* c = mControls.Get(i);
      if (!c->IsHidden() && r->Intersects(*c->GetRECT())) c->Draw(this);
      c->SetClean();
    }
  } else {
    IControl* bg = mControls.Get(0);
    if (bg->IsDirty()) {
      mDrawRECT = *bg->GetRECT();
      for (int i = 0; i < n; ++i) {
        IControl* c = mControls.Get(i);
        if (i == 0 || !c->IsHidden()) c->Draw(this);
        c->SetClean();
      }
    } else {
      for (int i = 1; i < n; ++i) {
        IControl* ci = mControls.Get(i);
        if (!ci->IsDirty()) continue;
        mDrawRECT = *ci->GetRECT();
        for (int j = 0; j < n; ++j) {
          IControl* cj = mControls.Get(j);
          if (cj->IsHidden()) continue;
          if (j == i || cj->GetRECT()->Intersects(mDrawRECT)) cj->Draw(this);
        }
        ci->SetClean();
      }
    }
  }
  mDrawingControls = false;
  DrawScreen(r);
  return true;
}

void IGraphics::SetStrictDrawing(bool strict)
{
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::OnGUIIdle()
{
  if (mPlug) mPlug->OnIdle();
}

// ---- prompts ----

void IGraphics::PromptUserInput(IControl* control, IParam* param, IRECT* r)
{
  if (!control || !param || !r) return;
  // A program load may redefine the parameter on another thread: it is read under the plug-in's lock, but
  // the lock is not held while the menu or the text field waits for the user.
  WDL_Mutex* mutex = mPlug ? mPlug->GetMutex() : nullptr;
  char current[64] = {};
  IPopupMenu menu;
  bool list;
  {
    WDL_MutexLock lock(mutex);
    const int type = param->Type();
    list = type == IParam::kTypeEnum || (type == IParam::kTypeBool && param->GetNDisplayTexts() > 0);
    param->GetDisplayForHost(param->Value(), false, current, list);
    if (list) {
      for (int i = 0; i < param->GetNDisplayTexts(); ++i) {
        const char* text = param->GetDisplayTextAtIdx(i);
        menu.AddItem(text, -1, std::strcmp(text, current) ? 0 : IPopupMenuItem::kChecked);
      }
    }
  }
  if (!list) {
    CreateTextEntry(control, control->GetText(), r, current, param);
    return;
  }
  if (IPopupMenu* chosen = CreateIPopupMenu(&menu, r)) {
    double value;
    {
      WDL_MutexLock lock(mutex);
      value = param->GetNormalized((double)chosen->GetChosenItemIdx());
    }
    control->SetValueFromUserInput(value);
  }
}

void IGraphics::SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text)
{
  if (!param || !control) return;
  double value;
  {
    WDL_MutexLock lock(mPlug ? mPlug->GetMutex() : nullptr);
    const int type = param->Type();
    if (type == IParam::kTypeBool || type == IParam::kTypeEnum) {
      int mapped = 0;
      param->MapDisplayText(text ? text : "", &mapped);
      value = mapped;
    } else {
      value = leadingNumber(text ? text : "");
      if (param->GetNegateDisplay()) value = -value;
    }
    value = param->GetNormalized(value);
  }
  control->SetValueFromUserInput(value);
}

// ---- other ----

void* IGraphics::OpenWindow(void*, void*, short, short)
{
  return nullptr;
}

void IGraphics::Resize(int w, int h)
{
  mWidth = w;
  mHeight = h;
  ReleaseMouseCapture();
  deleteControls();
  mDrawBitmap.reset();
  mTmpBitmap.reset();
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}
