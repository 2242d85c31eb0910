// Tooltips of the Linux surface: when the pointer rests about half a second over a control that has a
// tooltip, its text shows in a small box below and right of the pointer; any input hides it.
#include "IGraphicsLinuxOverlay.h"

#include "IControl.h"

#include <string>

using namespace linux_surface;

namespace {

const IColor kTooltipPanel(255, 250, 246, 214), kTooltipText(255, 20, 20, 20), kTooltipBorder(255, 120, 116, 90);
constexpr int kTipTextSize = 12;

class TooltipOverlay : public IGraphicsLinux::Overlay
{
public:
  TooltipOverlay(IGraphicsLinux* g, const char* tip, int x, int y) : Overlay(g), mTip(tip)
  {
    mStyle = Style(kTipTextSize, kTooltipText);
    const int w = textWidth(&mStyle, tip) + 12, h = lineHeight(&mStyle) + 6;
    // Below and right of the pointer, kept on the surface.
    int l = x + 10, t = y + 18;
    if (l + w > mG->Width()) l = mG->Width() - w;
    if (t + h > mG->Height()) t = y - h - 4;
    if (l < 0) l = 0;
    if (t < 0) t = 0;
    AddArea(IRECT(l, t, l + w, t + h));
  }
  const char* Tip() const { return mTip.c_str(); }
  void DrawArea(int) override
  {
    const IRECT r = AreaRect(0);
    fill(kTooltipPanel, r);
    frame(kTooltipBorder, r);
    text(&mStyle, mTip.c_str(), IRECT(r.L + 6, r.T, r.R - 6, r.B));
  }

private:
  std::string mTip;
  IText mStyle;
};

} // namespace

void IGraphicsLinux::hideTooltip()
{
  mRestTicks = 0;
  if (!mTooltip) return;
  delete mTooltip; // puts back what it covered
  mTooltip = nullptr;
}

void IGraphicsLinux::UpdateTooltips()
{
  // Nothing to register: tooltips follow the controls as they are at each tick, so the panels a rebuild
  // makes after the window opened have theirs at once.
}

void IGraphicsLinux::tickTooltip()
{
  if (!mEnableTooltips || !mWindowOpen || !mModal.empty() || mButtonHeld || mTooltip) return;
  // The control under the resting pointer now (hidden ones and those without a target area excluded).
  const int c = hitTest(mLastX, mLastY, true);
  IControl* control = mControls.Get(c);
  if (!control || control->GetTargetRECT()->Empty() || !control->GetTargetRECT()->Contains(mLastX, mLastY) ||
      !control->GetTooltip()[0]) {
    mRestTicks = 0;
    mRestControl = nullptr;
    return;
  }
  if (control != mRestControl) {
    mRestControl = control;
    mRestTicks = 0;
  }
  // About half a second of ticks.
  if (++mRestTicks >= (FPS() + 1) / 2 && mDrawBitmap)
    mTooltip = new TooltipOverlay(this, control->GetTooltip(), mLastX, mLastY);
}

const char* IGraphicsLinux::TooltipText() const
{
  const TooltipOverlay* t = dynamic_cast<const TooltipOverlay*>(mTooltip);
  return t ? t->Tip() : "";
}
