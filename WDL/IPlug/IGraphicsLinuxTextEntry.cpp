// The one-line text field of the Linux surface (value prompts, renaming, typed paths), drawn by us over the
// rectangle it edits in the control's text-entry colours: a parameter's field takes only the characters a
// number of its kind can hold and at most the control's text-entry length. Return confirms, Escape cancels,
// and a click or a wheel step elsewhere confirms and then goes on to what lies beneath.
#include "IGraphicsLinuxOverlay.h"

#include "IControl.h"
#include "IParam.h"
#include "utf8.h"

#include <cstring>
#include <string>

using namespace linux_surface;

namespace {

// Removes the last character of UTF-8 text.
void PopCodePoint(std::string* s)
{
  while (!s->empty()) {
    const unsigned char c = (unsigned char)s->back();
    s->pop_back();
    if ((c & 0xc0) != 0x80) return;
  }
}

class TextFieldOverlay : public IGraphicsLinux::Overlay
{
public:
  TextFieldOverlay(IGraphicsLinux* g, IControl* control, IText* style, const IRECT& r, const char* str, IParam* param)
      : Overlay(g), mControl(control), mParam(param), mRect(r)
  {
    // The face of the control's style at nine tenths of its size, in its text-entry colours.
    mStyle = style ? *style : IText();
    mStyle.mSize = (int)(mStyle.mSize * 0.9);
    if (mStyle.mSize < 2) mStyle.mSize = 2;
    mStyle.mColor = mStyle.mTextEntryFGColor;
    mStyle.mOrientation = 0;
    mStyle.mCached = nullptr;
    if (mStyle.mAlign < IText::kAlignNear || mStyle.mAlign > IText::kAlignFar) mStyle.mAlign = IText::kAlignNear;
    mText = str ? str : "";
    if (param) {
      // The characters a number of the parameter's kind can hold; a parameter of type none takes none.
      const int type = param->Type();
      mFilter = type == IParam::kTypeDouble                                                          ? "0123456789.-+"
                : type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum ? "0123456789-+"
                                                                                                     : "";
      mFiltered = true;
      mMaxLength = control ? control->mTextEntryLength : 0;
    }
    AddArea(mRect);
  }

  const IRECT& Rect() const { return mRect; }
  const std::string& Text() const { return mText; }

  // Hands the text to the control (through the parameter when there is one) and closes.
  void Confirm()
  {
    if (mDone) return;
    mDone = true;
    if (mParam)
      mG->SetFromStringAfterPrompt(mControl, mParam, mText.c_str());
    else if (mControl)
      mControl->TextFromTextEntry(mText.c_str());
  }
  void Cancel() { mDone = true; }

  void MouseDown(int x, int y, const IMouseMod& mod) override
  {
    if (Inside(mRect, x, y)) {
      mPressedInside = true;
      return;
    }
    // A click elsewhere ends the entry and then goes on to the surface.
    Confirm();
    IGraphicsLinux::ScriptEvent e;
    e.kind = IGraphicsLinux::ScriptEvent::kMouseDown;
    e.x = x;
    e.y = y;
    e.mod = mod;
    defer(e);
  }
  void MouseUp(int x, int y, const IMouseMod& mod) override
  {
    // The release of the click that opened the field belongs to the surface.
    if (!mPressedInside) {
      IMouseMod m = mod;
      mG->OnMouseUp(x, y, &m);
    }
    mPressedInside = false;
  }
  void Wheel(int x, int y, const IMouseMod& mod, int d) override
  {
    Confirm();
    IGraphicsLinux::ScriptEvent e;
    e.kind = IGraphicsLinux::ScriptEvent::kWheel;
    e.x = x;
    e.y = y;
    e.d = d;
    e.mod = mod;
    defer(e);
  }
  void Key(int key, unsigned ch) override
  {
    switch (key) {
    case IGraphicsLinux::kReturn:
      Confirm();
      return;
    case IGraphicsLinux::kEscape:
      Cancel();
      return;
    case IGraphicsLinux::kBackspace:
      PopCodePoint(&mText);
      break;
    case IGraphicsLinux::kChar: {
      if (ch < 32 || ch == 127) return;
      if (mFiltered && (ch > 127 || !std::strchr(mFilter, (int)ch))) return;
      char bytes[4];
      const std::string next = mText + std::string(bytes, (size_t)WDL_EncodeUTF8(ch, bytes));
      if (mMaxLength > 0 && countCodePoints(next) > mMaxLength) return;
      mText = next;
      break;
    }
    default:
      return;
    }
    Redraw(0);
  }
  void AnswerDefault() override { Confirm(); }

  void DrawArea(int) override
  {
    fill(mStyle.mTextEntryBGColor, mRect);
    const IRECT inner(mRect.L + 2, mRect.T, mRect.R - 2, mRect.B);
    text(&mStyle, mText.c_str(), inner, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    // The caret after the last character.
    int cx;
    if (mText.empty()) {
      cx = mStyle.mAlign == IText::kAlignCenter ? (inner.L + inner.R) / 2
           : mStyle.mAlign == IText::kAlignFar  ? inner.R - 1
                                                : inner.L;
    } else {
      IRECT m = inner;
      mG->MeasureIText(&mStyle, mText.c_str(), &m);
      cx = m.R;
    }
    if (cx > mRect.R - 1) cx = mRect.R - 1;
    const IColor caret = mStyle.mTextEntryFGColor;
    mG->DrawVerticalLine(&caret, cx, mRect.T + 2, mRect.B - 3);
  }

private:
  static int countCodePoints(const std::string& s)
  {
    int n = 0;
    unsigned ch;
    for (const char* p = s.c_str(); *p; p += WDL_DecodeUTF8(p, &ch)) ++n;
    return n;
  }

  IControl* mControl;
  IParam* mParam;
  IRECT mRect;
  IText mStyle;
  std::string mText;
  const char* mFilter = "";
  bool mFiltered = false;
  int mMaxLength = 0;
  bool mPressedInside = false;
};

} // namespace

void IGraphicsLinux::CreateTextEntry(IControl* control, IText* text, IRECT* r, const char* str, IParam* param)
{
  if (!mWindowOpen || !control || !r) return;
  for (Overlay* o : mModal)
    if (dynamic_cast<TextFieldOverlay*>(o)) return; // one field at a time
  hideTooltip();
  TextFieldOverlay field(this, control, text, *r, str, param);
  runModal(&field);
  SetAllControlsDirty();
}

void IGraphicsLinux::ForceEndUserEdit()
{
  for (Overlay* o : mModal)
    if (TextFieldOverlay* field = dynamic_cast<TextFieldOverlay*>(o)) field->Confirm();
}

IRECT IGraphicsLinux::TextEntryRect() const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const TextFieldOverlay* f = dynamic_cast<const TextFieldOverlay*>(*it)) return f->Rect();
  return IRECT();
}

const char* IGraphicsLinux::TextEntryText() const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const TextFieldOverlay* f = dynamic_cast<const TextFieldOverlay*>(*it)) return f->Text().c_str();
  return "";
}
