// The Linux surface's input entry points and its timer tick. The window layer (or a test, or the script)
// calls them; an open menu, field or box takes the input first, else it goes to the controls the way the
// editor surface dispatches it. Each entry point first hands the queued parameter values to the controls:
// a value put in place since the last tick (a program taken over on the audio thread) is the one a wheel
// step or a drag starts from, not the one the control showed.
#include "IGraphicsLinuxOverlay.h"

void IGraphicsLinux::MouseDown(int x, int y, IMouseMod mod, bool doubleClick)
{
  DrainQueuedParameters();
  mLastX = x;
  mLastY = y;
  mButtonHeld = true;
  mSwallowUp = false;
  hideTooltip();
  if (!mModal.empty()) {
    mModal.back()->MouseDown(x, y, mod);
    return;
  }
  if (doubleClick && mod.L && !mod.R)
    OnMouseDblClick(x, y, &mod);
  else
    OnMouseDown(x, y, &mod);
}

void IGraphicsLinux::MouseUp(int x, int y, IMouseMod mod)
{
  DrainQueuedParameters();
  mLastX = x;
  mLastY = y;
  mButtonHeld = false;
  if (mSwallowUp) {
    mSwallowUp = false;
    return;
  }
  if (!mModal.empty()) {
    mModal.back()->MouseUp(x, y, mod);
    return;
  }
  OnMouseUp(x, y, &mod);
}

void IGraphicsLinux::MouseMove(int x, int y, IMouseMod mod)
{
  DrainQueuedParameters();
  const bool moved = x != mLastX || y != mLastY;
  mLastX = x;
  mLastY = y;
  if (moved) hideTooltip();
  if (!mModal.empty()) {
    mModal.back()->MouseMove(x, y);
    return;
  }
  if (mButtonHeld)
    OnMouseDrag(x, y, &mod);
  else
    OnMouseOver(x, y, &mod);
}

void IGraphicsLinux::MouseWheel(int x, int y, IMouseMod mod, int d)
{
  DrainQueuedParameters();
  mLastX = x;
  mLastY = y;
  hideTooltip();
  if (!mModal.empty()) {
    mModal.back()->Wheel(x, y, mod, d);
    return;
  }
  OnMouseWheel(x, y, &mod, d);
}

bool IGraphicsLinux::KeyDown(int key, unsigned ch)
{
  DrainQueuedParameters();
  hideTooltip();
  if (!mModal.empty()) {
    mModal.back()->Key(key, ch);
    return true;
  }
  int code = -1;
  switch (key) {
  case kUp:
    code = KEY_UPARROW;
    break;
  case kDown:
    code = KEY_DOWNARROW;
    break;
  case kLeft:
    code = KEY_LEFTARROW;
    break;
  case kRight:
    code = KEY_RIGHTARROW;
    break;
  case kChar:
    if (ch == ' ')
      code = KEY_SPACE;
    else if (ch >= '0' && ch <= '9')
      code = KEY_DIGIT_0 + (int)(ch - '0');
    else if (ch >= 'A' && ch <= 'Z')
      code = KEY_ALPHA_A + (int)(ch - 'A');
    else if (ch >= 'a' && ch <= 'z')
      code = KEY_ALPHA_A + (int)(ch - 'a');
    break;
  default:
    break;
  }
  if (code < 0) return false;
  return OnKeyDown(mLastX, mLastY, code);
}

void IGraphicsLinux::PasteText(const char* text)
{
  if (!mModal.empty() && text) mModal.back()->Paste(text);
}

// ---- the tick ----

bool IGraphicsLinux::Tick()
{
  DrainQueuedParameters();
  IRECT r;
  bool drawn = false;
  if (IsDirty(&r) && mDrawBitmap) {
    const bool covered = !mModal.empty() || mTooltip;
    if (!covered) {
      Draw(&r);
    } else {
      // Controls may paint anywhere inside the rectangles of those they redraw: the open elements step
      // aside (innermost first), the controls draw, and the elements return on top, all in one frame.
      IRECT shown = r;
      if (mTooltip) {
        shown = shown.Union(mTooltip->Bounds());
        mTooltip->Lift();
      }
      for (auto it = mModal.rbegin(); it != mModal.rend(); ++it) {
        shown = shown.Union((*it)->Bounds());
        (*it)->Lift();
      }
      mHoldPresent = true;
      Draw(&r);
      mHoldPresent = false;
      for (Overlay* o : mModal) o->Lay();
      if (mTooltip) mTooltip->Lay();
      present(shown);
    }
    drawn = true;
  }
  tickTooltip();
  return drawn;
}
