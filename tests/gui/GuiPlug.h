// GuiPlug: a small plug-in whose 1280 x 650 editor holds a few controls of every prompt kind: value boxes
// of an enum, a double, an int and a parameter of type none (right click: menu or text field), a button
// with a menu that has a submenu, ticks, separators, a disabled entry and a title, a button with a menu too
// tall for the editor, a free-text field, a message-box button and a click counter. Used in process by the
// GUI tests and as GuiPlug.so by the screenshot test through the command-line host.
#pragma once

#include "IControl.h"
#include "IGraphicsLinux.h"
#include "IPlugVST.h"

#include <deque>
#include <functional>
#include <string>

// A surface whose modal loop first runs the test's steps (each may look at the open element and deliver
// input through the entry points), then the script.
class SteppedGraphics : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;
  std::deque<std::function<void(SteppedGraphics&)>> steps;
  bool RunModalStep() override
  {
    if (steps.empty()) return IGraphicsLinux::RunModalStep();
    auto step = steps.front();
    steps.pop_front();
    step(*this);
    return true;
  }
  // A left click (press and release) at the middle of r.
  void ClickAt(const IRECT& r, bool right = false)
  {
    const int x = (r.L + r.R) / 2, y = (r.T + r.B) / 2;
    MouseDown(x, y, IMouseMod(!right, right));
    MouseUp(x, y, IMouseMod(!right, right));
  }
};

class GuiPlug : public IPlugVST
{
public:
  enum EParams { kMode = 0, kCutoff, kSteps, kPlain, kNumParams };
  static constexpr int kWidth = 1280, kHeight = 650;
  // Control rectangles.
  static IRECT ModeRect() { return IRECT(100, 100, 220, 124); }
  static IRECT CutoffRect() { return IRECT(300, 100, 420, 124); }
  static IRECT StepsRect() { return IRECT(500, 100, 620, 124); }
  static IRECT PlainRect() { return IRECT(700, 100, 820, 124); }
  static IRECT SubmenuRect() { return IRECT(100, 300, 220, 324); }
  static IRECT TallMenuRect() { return IRECT(1100, 40, 1220, 64); }
  static IRECT NameRect() { return IRECT(300, 300, 500, 324); }
  static IRECT BoxRect() { return IRECT(600, 300, 720, 324); }
  static IRECT CounterRect() { return IRECT(800, 300, 920, 324); }
  static constexpr int kTallEntries = 60;

  explicit GuiPlug(IPlugInstanceInfo info);
  SteppedGraphics* Editor() { return static_cast<SteppedGraphics*>(GetGUI()); }
  // Gestures the host was told of: begins and ends must pair up.
  void BeginInformHostOfParamChange(int paramIdx) override
  {
    ++mGestureBegins;
    IPlugVST::BeginInformHostOfParamChange(paramIdx);
  }
  void EndInformHostOfParamChange(int paramIdx) override
  {
    ++mGestureEnds;
    IPlugVST::EndInformHostOfParamChange(paramIdx);
  }
  int mGestureBegins = 0, mGestureEnds = 0;

  // What the controls saw.
  IPopupMenu mSubmenu, mMenu, mTall;
  IPopupMenu* mMenuResult = nullptr;
  int mMenuCalls = 0;
  std::string mName = "Init";
  int mBoxType = 3, mBoxAnswer = -1;
  int mCounterClicks = 0;
};
