#include "GuiPlug.h"

#include "IParam.h"

#include <cstdio>

namespace {

const IColor kBackground(255, 92, 98, 108), kBox(255, 200, 204, 210), kButtonColor(255, 150, 170, 200);

// The editor's background colour, repainted only inside the area being redrawn (as an image background
// is), so that a control redrawn alone leaves its neighbours alone.
class Background : public IControl
{
public:
  Background(IPlugBase* plug, IRECT r) : IControl(plug, r) {}
  bool Draw(IGraphics* g) override
  {
    IRECT area = mRECT.Intersect(g->mDrawRECT);
    return area.Empty() || g->FillIRect(&kBackground, &area);
  }
};

// A value box: the parameter's display text on a light panel; a right click prompts for a value.
class ValueBox : public IControl
{
public:
  ValueBox(IPlugBase* plug, IRECT r, int paramIdx) : IControl(plug, r, paramIdx)
  {
    mDisablePrompt = false;
    mText = IText(14, &COLOR_BLACK, "Arial");
  }
  bool Draw(IGraphics* g) override
  {
    g->FillIRect(&kBox, &mRECT);
    char text[64] = {};
    if (IParam* p = mPlug->GetParam(mParamIdx)) p->GetDisplayForHost(text, true);
    IRECT r = mRECT;
    g->DrawIText(&mText, text, &r, 0x100 | 2 | 64);
    return true;
  }
};

// A button that runs an action on a left click.
class Button : public IControl
{
public:
  Button(IPlugBase* plug, IRECT r, const char* label, std::function<void(Button*)> action)
      : IControl(plug, r), mLabel(label), mAction(std::move(action))
  {
    mText = IText(14, &COLOR_BLACK, "Arial");
  }
  void OnMouseDown(int, int, IMouseMod* mod) override
  {
    if (mod->L) mAction(this);
  }
  void TextFromTextEntry(const char* text) override
  {
    if (mOnText) mOnText(text);
  }
  bool Draw(IGraphics* g) override
  {
    g->FillIRect(&kButtonColor, &mRECT);
    IRECT r = mRECT;
    g->DrawIText(&mText, mLabel.c_str(), &r, 0x100 | 2 | 64);
    return true;
  }
  std::string mLabel;
  std::function<void(Button*)> mAction;
  std::function<void(const char*)> mOnText;
};

} // namespace

GuiPlug::GuiPlug(IPlugInstanceInfo info)
    : IPlugVST(info, kNumParams, "2-2", 1, "GuiPlug", "Veltrane GUI Test", "Veltrane", 0x00010000,
               VstFourCC('g', 'u', 'i', 'P'), VstFourCC('V', 'e', 'l', 't'), 0, false, false, false)
{
  GetParam(kMode)->InitEnum("Wave", 0, 3);
  GetParam(kMode)->SetDisplayText(0, "Saw");
  GetParam(kMode)->SetDisplayText(1, "Square");
  GetParam(kMode)->SetDisplayText(2, "Noise");
  GetParam(kCutoff)->InitDouble("Cutoff", 50.0, 0.0, 100.0, 0.01);
  GetParam(kSteps)->InitInt("Steps", 5, 0, 10);

  // The menus: a submenu, ticks, separators, a disabled entry and a title; a menu too tall for the editor.
  mSubmenu.AddItem("Saw");
  mSubmenu.AddItem("Square", -1, IPopupMenuItem::kChecked);
  mSubmenu.AddItem("Triangle");
  mMenu.AddItem("Init");
  mMenu.AddSeparator();
  mMenu.AddItem("Waves", &mSubmenu);
  mMenu.AddItem("Locked", -1, IPopupMenuItem::kDisabled);
  mMenu.AddItem("Banks", -1, IPopupMenuItem::kTitle);
  mMenu.AddItem("Mono", -1, IPopupMenuItem::kChecked);
  mTall.SetPrefix(2);
  for (int i = 0; i < kTallEntries; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Program %d", i);
    mTall.AddItem(name);
  }

  SteppedGraphics* g = new SteppedGraphics(this, kWidth, kHeight);
  g->mBundleID.Set("org.veltrane.guiplug");
  g->AttachControl(new Background(this, IRECT(0, 0, kWidth, kHeight)));
  g->AttachControl(new ValueBox(this, ModeRect(), kMode));
  g->AttachControl(new ValueBox(this, CutoffRect(), kCutoff));
  g->AttachControl(new ValueBox(this, StepsRect(), kSteps));
  g->AttachControl(new ValueBox(this, PlainRect(), kPlain));
  g->GetControl(1)->SetTooltip("Oscillator wave");
  g->AttachControl(new Button(this, SubmenuRect(), "Menu", [this](Button* b) {
    ++mMenuCalls;
    mMenuResult = GetGUI()->CreateIPopupMenu(&mMenu, b->GetRECT());
  }));
  g->AttachControl(new Button(this, TallMenuRect(), "Programs", [this](Button* b) {
    ++mMenuCalls;
    mMenuResult = GetGUI()->CreateIPopupMenu(&mTall, b->GetRECT());
  }));
  Button* name = new Button(this, NameRect(), "Name", [this](Button* b) {
    GetGUI()->CreateTextEntry(b, b->GetText(), b->GetRECT(), mName.c_str(), nullptr);
  });
  name->mText.mAlign = IText::kAlignNear;
  name->mText.mTextEntryBGColor = IColor(255, 20, 30, 60);
  name->mText.mTextEntryFGColor = IColor(255, 255, 220, 120);
  name->mOnText = [this](const char* text) { mName = text; };
  g->AttachControl(name);
  g->AttachControl(new Button(this, BoxRect(), "Box", [this](Button*) {
    mBoxAnswer = GetGUI()->ShowMessageBox("Replace the program?\nThe edits are lost.", "Paste", mBoxType);
  }));
  g->AttachControl(new Button(this, CounterRect(), "Count", [this](Button*) { ++mCounterClicks; }));
  g->mEnableTooltips = true;
  AttachGraphics(g);
}
