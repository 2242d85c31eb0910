// The modal elements' common ground: the saved areas of an element (IGraphicsLinuxOverlay.h) and the nested
// input loop that runs while a menu, message box or text field waits for the user. The elements themselves
// are in IGraphicsLinuxMenu.cpp, IGraphicsLinuxMessageBox.cpp, IGraphicsLinuxTextEntry.cpp and
// IGraphicsLinuxTooltip.cpp.
#include "IGraphicsLinuxOverlay.h"

#include "IPlugBase.h"

#include <algorithm>

using namespace linux_surface;

// ---- saved areas ----

void IGraphicsLinux::Overlay::AddArea(const IRECT& r)
{
  Area a;
  a.r = r;
  LICE_IBitmap* bm = mG->mDrawBitmap.get();
  if (bm && r.W() > 0 && r.H() > 0) {
    a.under.reset(new LICE_MemBitmap(r.W(), r.H()));
    LICE_Blit(a.under.get(), bm, 0, 0, r.L, r.T, r.W(), r.H(), 1.0f, LICE_BLIT_MODE_COPY);
  }
  mAreas.push_back(std::move(a));
  drawArea((int)mAreas.size() - 1);
  mG->present(r);
}

void IGraphicsLinux::Overlay::RemoveAreasFrom(int k)
{
  while ((int)mAreas.size() > k && k >= 0) {
    Area& a = mAreas.back();
    LICE_IBitmap* bm = mG->mDrawBitmap.get();
    if (bm && a.under) LICE_Blit(bm, a.under.get(), a.r.L, a.r.T, 0, 0, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
    mG->present(a.r);
    mAreas.pop_back();
  }
}

void IGraphicsLinux::Overlay::Lift()
{
  LICE_IBitmap* bm = mG->mDrawBitmap.get();
  for (int k = (int)mAreas.size() - 1; k >= 0; --k) {
    Area& a = mAreas[k];
    if (bm && a.under) LICE_Blit(bm, a.under.get(), a.r.L, a.r.T, 0, 0, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
  }
}

void IGraphicsLinux::Overlay::Lay()
{
  LICE_IBitmap* bm = mG->mDrawBitmap.get();
  for (int k = 0; k < (int)mAreas.size(); ++k) {
    Area& a = mAreas[k];
    if (bm && a.under) LICE_Blit(a.under.get(), bm, 0, 0, a.r.L, a.r.T, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
    drawArea(k);
  }
}

IRECT IGraphicsLinux::Overlay::Bounds() const
{
  IRECT u;
  for (const Area& a : mAreas) u = u.Union(a.r);
  return u;
}

void IGraphicsLinux::Overlay::Redraw(int k)
{
  if (k < 0 || k >= (int)mAreas.size()) return;
  drawArea(k);
  mG->present(mAreas[k].r);
}

bool IGraphicsLinux::Overlay::Hit(int x, int y) const
{
  for (const Area& a : mAreas)
    if (Inside(a.r, x, y)) return true;
  return false;
}

bool IGraphicsLinux::Overlay::ProgramReplaced() const
{
  const IPlugBase* plug = mG->GetPlug();
  return mBound && plug && plug->StatesPutInPlace() != mStatesAtOpen;
}

void IGraphicsLinux::Overlay::drawArea(int k)
{
  if (!mG->mDrawBitmap) return;
  const IRECT saved = mG->mDrawRECT;
  mG->mDrawRECT = mAreas[k].r;
  DrawArea(k);
  mG->mDrawRECT = saved;
}

void IGraphicsLinux::Overlay::frame(const IColor& c, const IRECT& r)
{
  // DrawRect's right and bottom edges lie on R and B: one pixel in keeps the frame inside the area.
  IRECT in(r.L, r.T, r.R - 1, r.B - 1);
  mG->DrawRect(&c, &in);
}

int IGraphicsLinux::Overlay::textWidth(IText* style, const char* str)
{
  if (!str || !*str) return 0;
  IRECT m(0, 0, 10000, 100);
  IText near = *style;
  near.mAlign = IText::kAlignNear;
  near.mCached = nullptr;
  if (!mG->MeasureIText(&near, str, &m)) return 0;
  return m.W();
}

int IGraphicsLinux::Overlay::lineHeight(IText* style)
{
  IRECT m(0, 0, 10000, 100);
  IText near = *style;
  near.mAlign = IText::kAlignNear;
  if (!mG->MeasureIText(&near, "Ag", &m)) return style->mSize + 4;
  return m.H() > 0 ? m.H() : style->mSize + 4;
}

// ---- the modal loop ----

void IGraphicsLinux::present(const IRECT& r)
{
  if (mHoldPresent) return;
  IRECT area = r;
  DrawScreen(&area);
}

void IGraphicsLinux::runModal(Overlay* overlay)
{
  // The window holds the input for as long as any element is open: in a host's window a press elsewhere
  // then reaches the element instead of a host that waits for this loop to end.
  mModal.push_back(overlay);
  overlay->mBound = std::all_of(mModal.begin(), mModal.end(), [](const Overlay* o) { return o->ActsOnProgram(); });
  overlay->mStatesAtOpen = mPlug ? mPlug->StatesPutInPlace() : 0;
  const bool inWindow = X11WindowID() != 0;
  while (!overlay->mDone) {
    // Checked before each wait for input too: a window's step returns after a timer period without input.
    if (overlay->ProgramReplaced()) {
      overlay->Withdraw();
      break;
    }
    holdX11Input(true); // [X11] asked again while refused
    if (!RunModalStep()) {
      // The window went (the host closed the editor or destroyed its window, or the server ended) before
      // the user answered: the element is dismissed, never taken as a choice nobody saw.
      if (inWindow) {
        overlay->Dismiss();
        break;
      }
      // Nothing more will come: the picture asked for is taken with the element open. Then a preview's
      // element closes acting on nothing (a box as Escape closes it: never an overwrite nobody answered);
      // else it answers as Return would.
      if (mScreenshotAtScriptEnd.GetLength()) {
        mScreenshotWritten = SaveScreenshot(mScreenshotAtScriptEnd.Get());
        mScreenshotAtScriptEnd.Set("");
      }
      if (mPreviewing)
        overlay->Withdraw();
      else
        overlay->AnswerDefault();
      break;
    }
    if (mDrawBitmap && !overlay->mDone) Tick();
  }
  // An answer given as another program was put in place is dropped too (a text field checks before it acts).
  if (overlay->ProgramReplaced()) overlay->Withdraw();
  // Another element opened inside this one's loop has finished by now: this one is the innermost.
  if (!mModal.empty() && mModal.back() == overlay) mModal.pop_back();
  if (mModal.empty()) holdX11Input(false); // [X11]
  overlay->Close();
  // Events the element handed on (a click outside a text field) reach what lies beneath it now.
  std::vector<ScriptEvent> deferred;
  deferred.swap(mDeferred);
  for (const ScriptEvent& e : deferred) deliver(e);
}

bool IGraphicsLinux::RunModalStep()
{
  // In a host's window the user answers: the next event of the window's connection.
  if (X11WindowID()) return WindowModalStep();
  if (mScript.empty()) return false;
  const ScriptEvent e = mScript.front();
  mScript.pop_front();
  deliver(e);
  return true;
}

bool IGraphicsLinux::ModalOpen() const
{
  return !mModal.empty();
}
