// Message boxes of the Linux surface, drawn by us in the middle of the editor: the caption, the text by lines
// and the buttons of the box type (0 OK; 1 OK, Cancel; 3 Yes, No, Cancel; 4 Yes, No), the default button on
// the right. The answer goes by button position: 1 the first, 7 the second, 2 the third, 0 closed without a
// button (Escape, or a press on another window).
#include "IGraphicsLinuxOverlay.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace linux_surface;

namespace {

const IColor kButton(255, 72, 74, 80), kButtonDefault(255, 52, 101, 164);
constexpr int kBoxTextSize = 14, kButtonW = 84, kButtonH = 24, kCaptionH = 26;

class MessageBoxOverlay : public IGraphicsLinux::Overlay
{
public:
  MessageBoxOverlay(IGraphicsLinux* g, const char* message, const char* caption, int type) : Overlay(g)
  {
    mStyle = Style(kBoxTextSize, kText);
    mCaptionStyle = Style(kBoxTextSize, kText, IText::kAlignNear, IText::kStyleBold);
    mButtonStyle = Style(kBoxTextSize, kText, IText::kAlignCenter);
    mCaption = caption ? caption : "";
    // Buttons by position: 0 the default, 1 the alternate, 2 the other.
    switch (type) {
    case 1:
      mButtons = {"OK", "Cancel"};
      break;
    case 3:
      mButtons = {"Yes", "No", "Cancel"};
      break;
    case 4:
      mButtons = {"Yes", "No"};
      break;
    default:
      mButtons = {"OK"};
      break;
    }
    const char* p = message ? message : "";
    for (;;) {
      const char* nl = std::strchr(p, '\n');
      std::string line(p, nl ? (size_t)(nl - p) : std::strlen(p));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      mLines.push_back(line);
      if (!nl) break;
      p = nl + 1;
    }
    // Size: wide enough for the longest line, the caption and the buttons, within the surface.
    int w = 300;
    for (const std::string& line : mLines) w = std::max(w, textWidth(&mStyle, line.c_str()) + 40);
    w = std::max(w, textWidth(&mCaptionStyle, mCaption.c_str()) + 40);
    w = std::max(w, (int)mButtons.size() * (kButtonW + 10) + 20);
    w = std::max(1, std::min(w, mG->Width() - 20));
    mLineH = lineHeight(&mStyle) + 2;
    int h = kCaptionH + 16 + (int)mLines.size() * mLineH + 16 + kButtonH + 14;
    h = std::max(1, std::min(h, mG->Height() - 20));
    const int x = std::max(0, (mG->Width() - w) / 2), y = std::max(0, (mG->Height() - h) / 2);
    mBox = IRECT(x, y, x + w, y + h);
    // The default button on the right, then leftwards the alternate and the other.
    for (int i = 0; i < (int)mButtons.size(); ++i) {
      const int r = mBox.R - 12 - i * (kButtonW + 10);
      mButtonRects.push_back(IRECT(r - kButtonW, mBox.B - 12 - kButtonH, r, mBox.B - 12));
    }
    AddArea(mBox);
  }

  int Answer() const { return mAnswer; }
  IRECT ButtonRect(int position) const
  {
    return position >= 0 && position < (int)mButtonRects.size() ? mButtonRects[position] : IRECT();
  }

  void MouseDown(int x, int y, const IMouseMod&) override
  {
    // A press on another window closes the box as Escape does (answer 0, which no caller takes for a Yes):
    // the host, which waits for the box, is never left without a way out.
    if (offSurface(x, y)) {
      swallowUp();
      answer(-1);
      return;
    }
    mPressed = buttonAt(x, y);
    if (mPressed >= 0) Redraw(0);
  }
  void MouseUp(int x, int y, const IMouseMod&) override
  {
    const int pressed = mPressed;
    mPressed = -1;
    if (pressed >= 0 && buttonAt(x, y) == pressed)
      answer(pressed);
    else if (pressed >= 0)
      Redraw(0);
  }
  void Key(int key, unsigned) override
  {
    if (key == IGraphicsLinux::kReturn) answer(0);
    if (key == IGraphicsLinux::kEscape) answer(-1);
  }
  void Answer(const IGraphicsLinux::ScriptEvent& e) override
  {
    if (e.kind != IGraphicsLinux::ScriptEvent::kButton) return;
    // A position the box does not have answers with the default button.
    answer(e.d < 0 ? -1 : e.d >= (int)mButtons.size() ? 0 : e.d);
  }
  void AnswerDefault() override { answer(0); }
  void Dismiss() override { answer(-1); }
  void Withdraw() override { answer(-1); }
  bool ActsOnProgram() const override { return mButtons.size() > 1; } // OK alone asks nothing

  void DrawArea(int) override
  {
    fill(kPanel, mBox);
    fill(kPanelLight, IRECT(mBox.L, mBox.T, mBox.R, mBox.T + kCaptionH));
    frame(kBorder, mBox);
    text(&mCaptionStyle, mCaption.c_str(), IRECT(mBox.L + 12, mBox.T, mBox.R - 12, mBox.T + kCaptionH));
    int y = mBox.T + kCaptionH + 16;
    for (const std::string& line : mLines) {
      if (y + mLineH > mBox.B - kButtonH - 20) break;
      text(&mStyle, line.c_str(), IRECT(mBox.L + 20, y, mBox.R - 20, y + mLineH));
      y += mLineH;
    }
    for (int i = 0; i < (int)mButtons.size(); ++i) {
      const IRECT& r = mButtonRects[i];
      fill(i == mPressed ? kHighlight : i == 0 ? kButtonDefault : kButton, r);
      frame(kBorder, r);
      text(&mButtonStyle, mButtons[i], r);
    }
  }

private:
  int buttonAt(int x, int y) const
  {
    for (int i = 0; i < (int)mButtonRects.size(); ++i)
      if (Inside(mButtonRects[i], x, y)) return i;
    return -1;
  }
  void answer(int position)
  {
    static const int kAnswerOfPosition[3] = {1, 7, 2};
    mAnswer = position < 0 || position > 2 ? 0 : kAnswerOfPosition[position];
    mDone = true;
  }

  IText mStyle, mCaptionStyle, mButtonStyle;
  std::string mCaption;
  std::vector<std::string> mLines;
  std::vector<const char*> mButtons;
  std::vector<IRECT> mButtonRects;
  IRECT mBox;
  int mLineH = 18;
  int mPressed = -1;
  int mAnswer = 0;
};

} // namespace

int IGraphicsLinux::ShowMessageBox(const char* text, const char* caption, int type)
{
  MessageBoxCall* call = new MessageBoxCall;
  call->text.Set(text ? text : "");
  call->caption.Set(caption ? caption : "");
  call->type = type;
  call->answer = 0;
  mMessageBoxes.Add(call);
  hideTooltip();
  MessageBoxOverlay box(this, text, caption, type);
  runModal(&box);
  call->answer = box.Answer();
  return call->answer;
}

void IGraphicsLinux::ScriptMessageBoxButton(int position)
{
  ScriptEvent e;
  e.kind = ScriptEvent::kButton;
  e.d = position;
  mScript.push_back(e);
}

IRECT IGraphicsLinux::MessageBoxButtonRect(int position) const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const MessageBoxOverlay* b = dynamic_cast<const MessageBoxOverlay*>(*it)) return b->ButtonRect(position);
  return IRECT();
}
