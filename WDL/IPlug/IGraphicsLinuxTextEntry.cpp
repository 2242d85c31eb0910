// The one-line text field of the Linux surface (value prompts, renaming, typed paths), drawn by us over the
// rectangle it edits in the control's text-entry colours: a parameter's field takes only the characters a
// number of its kind can hold and at most the control's text-entry length. Return confirms, Escape cancels,
// and a click or a wheel step elsewhere confirms and then goes on to what lies beneath. Also the path prompt:
// the field in a box that says what it asks and how to answer, for a file chosen without a dialog program.
// A path names a file to write over or to read, so only Return takes it: a click or a wheel step outside
// the box, the keyboard going to another window, the window closing or its connection failing, and a
// script that runs out all cancel. A save over a file that is there asks first (Yes, or No to go back to
// the field).
#include "IGraphicsLinuxOverlay.h"

#include "IControl.h"
#include "IParam.h"
#include "utf8.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

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

  // Ends the field from outside (the editor rebuilds or closes under it): a value field takes what it holds.
  virtual void ForceEnd() { Confirm(); }

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
    // A click elsewhere ends the entry and then goes on to the surface; one on another window ends it only.
    Confirm();
    if (offSurface(x, y)) {
      swallowUp();
      return;
    }
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

protected:
  bool mPressedInside = false;

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
};

// The path prompt's field: only Return takes the path; anything else that ends it cancels.
class PathFieldOverlay : public TextFieldOverlay
{
public:
  PathFieldOverlay(IGraphicsLinux* g, IControl* control, IText* style, const IRECT& r, const char* str,
                   const IRECT& box)
      : TextFieldOverlay(g, control, style, r, str, nullptr), mBox(box)
  {
  }
  void MouseDown(int x, int y, const IMouseMod&) override
  {
    // The box is the prompt's own: a press on it keeps the field. One anywhere else (the editor, the host,
    // another window) cancels and does nothing more.
    if (Inside(mBox, x, y)) {
      mPressedInside = true;
      return;
    }
    Cancel();
    swallowUp();
  }
  void Wheel(int x, int y, const IMouseMod&, int) override
  {
    if (!Inside(mBox, x, y)) Cancel();
  }
  void AnswerDefault() override { Cancel(); }
  void FocusLost() override { Cancel(); }
  void ForceEnd() override { Cancel(); }

private:
  IRECT mBox;
};

// The box around the path prompt's field: the question above it and the hint below, drawn under the field.
// It takes no input of its own: the field, opened on top of it, answers.
class PathPromptOverlay : public IGraphicsLinux::Overlay
{
public:
  static constexpr int kTextSize = 14, kPad = 12, kFieldH = 22;
  static const IColor kFieldBack;

  PathPromptOverlay(IGraphicsLinux* g, const char* question, const char* hint) : Overlay(g)
  {
    mStyle = Style(kTextSize, kText);
    mFieldStyle = FieldStyle();
    mFieldStyle.mSize = mFieldStyle.mSize * 9 / 10; // as the field shows it
    mFieldStyle.mColor = mFieldStyle.mTextEntryFGColor;
    mHintStyle = Style(kTextSize - 2, kTextDisabled);
    mQuestion = question ? question : "";
    mHint = hint ? hint : "";
    mLineH = lineHeight(&mStyle) + 2;
    const int w = std::max(1, std::min(620, mG->Width() - 20));
    const int h = std::min(mG->Height(), kPad + mLineH + 6 + kFieldH + 6 + mLineH + kPad);
    const int x = std::max(0, (mG->Width() - w) / 2), y = std::max(0, (mG->Height() - h) / 2);
    mBox = IRECT(x, y, x + w, y + h);
    const int fy = y + kPad + mLineH + 6;
    mField = IRECT(x + kPad, fy, x + w - kPad, fy + kFieldH);
    AddArea(mBox);
  }
  const IRECT& Field() const { return mField; }
  std::string Text() const { return mQuestion + "\n" + mHint; }
  // What the field's place shows while no field is open on it (a question asked about the typed path).
  void ShowPath(const std::string& path)
  {
    mPath = path;
    Redraw(0);
  }

  void DrawArea(int) override
  {
    fill(kPanel, mBox);
    fill(kFieldBack, mField);
    text(&mFieldStyle, mPath.c_str(), IRECT(mField.L + 2, mField.T, mField.R - 2, mField.B));
    frame(kBorder, mBox);
    text(&mStyle, mQuestion.c_str(), IRECT(mBox.L + kPad, mBox.T + kPad, mBox.R - kPad, mBox.T + kPad + mLineH));
    text(&mHintStyle, mHint.c_str(), IRECT(mBox.L + kPad, mField.B + 6, mBox.R - kPad, mField.B + 6 + mLineH));
  }

  // The field's style: it shows it at nine tenths.
  static IText FieldStyle()
  {
    IText style = Style(15, kText);
    style.mTextEntryBGColor = kFieldBack;
    style.mTextEntryFGColor = kText;
    return style;
  }

private:
  IText mStyle, mHintStyle, mFieldStyle;
  std::string mQuestion, mHint, mPath;
  IRECT mBox, mField;
  int mLineH = 18;
};
const IColor PathPromptOverlay::kFieldBack(255, 24, 25, 28);

// Receives the text of the path prompt's field.
class PathEntryControl : public IControl
{
public:
  using IControl::IControl;
  bool Draw(IGraphics*) override { return true; }
  void TextFromTextEntry(const char* text) override
  {
    mEntered = text ? text : "";
    mDone = true;
  }
  std::string mEntered;
  bool mDone = false;
};

} // namespace

std::string IGraphicsLinux::AskForPath(EFileAction action, const char* question, const char* start,
                                       const char* extensions)
{
  if (!mWindowOpen) return "";
  hideTooltip();
  const bool save = action == kFileSave;
  const char* hint = save ? "Press Return to save, or Escape to cancel." : "Press Return to open, or Escape to cancel.";
  PathPromptOverlay box(this, question, hint);
  mModal.push_back(&box);
  focusX11(); // [X11] the keyboard's going to another window then cancels
  IText style = PathPromptOverlay::FieldStyle();
  std::string typed = start ? start : "", path;
  for (;;) {
    IRECT r = box.Field();
    PathEntryControl entry(mPlug, r);
    {
      PathFieldOverlay field(this, &entry, &style, r, typed.c_str(), box.Bounds());
      runModal(&field);
    }
    path.clear();
    if (!entry.mDone || !mWindowOpen) break; // cancelled, or the editor closed under it
    typed = entry.mEntered;
    path = ExpandHome(typed);
    if (save) path = WithExtension(path, extensions);
    if (path.empty() || path[0] != '/' || path.back() == '/') {
      path.clear();
      break;
    }
    struct stat st;
    if (!save || stat(path.c_str(), &st) != 0) break;
    // Over a file that is there: Yes saves, No goes back to the field; a box closed without a button cancels.
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string text = "A file named \"" + name + "\" already exists.\n\nDo you want to replace it?";
    box.ShowPath(typed);
    const int answer = ShowMessageBox(text.c_str(), "Replace File", 4);
    box.ShowPath("");
    if (answer == 1) break;
    path.clear();
    if (answer != 7 || !mWindowOpen) break;
  }
  mModal.erase(std::remove(mModal.begin(), mModal.end(), &box), mModal.end());
  if (mModal.empty()) holdX11Input(false); // [X11]
  box.Close();
  SetAllControlsDirty();
  return path;
}

std::string IGraphicsLinux::PathPromptText() const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const PathPromptOverlay* p = dynamic_cast<const PathPromptOverlay*>(*it)) return p->Text();
  return "";
}

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
    if (TextFieldOverlay* field = dynamic_cast<TextFieldOverlay*>(o)) field->ForceEnd();
}

void IGraphicsLinux::FocusLost()
{
  for (Overlay* o : mModal) o->FocusLost();
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
