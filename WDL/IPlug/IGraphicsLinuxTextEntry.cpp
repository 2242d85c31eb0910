// The one-line text field of the Linux surface (value prompts, renaming, typed paths), drawn by us over the
// rectangle it edits in the control's text-entry colours: a parameter's field takes only the characters a
// number of its kind can hold and at most the control's text-entry length. The field opens with all its
// text selected (drawn in the two colours swapped): a character typed or pasted, Backspace and Delete
// replace the selection; Left, Right, Home, End and a click in the field drop it and place the caret (Left
// and Home at its start, Right and End at its end; a long text scrolls). Return confirms, Escape cancels,
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
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

using namespace linux_surface;

namespace {

// The byte offset of the character after the one at i of UTF-8 text (its size at the end), as the text
// drawing reads characters: a malformed byte is a character of its own.
size_t NextCodePoint(const std::string& s, size_t i)
{
  if (i >= s.size()) return s.size();
  unsigned ch;
  return i + (size_t)WDL_DecodeUTF8(reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i, &ch);
}

// The byte offset of the character before offset i (0 at the start).
size_t PrevCodePoint(const std::string& s, size_t i)
{
  size_t at = 0;
  for (size_t next; at < i && (next = NextCodePoint(s, at)) < i;) at = next;
  return at;
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
    // The text is placed by the field (aligned as the style says, or scrolled), then drawn from there.
    if (mStyle.mAlign >= IText::kAlignNear && mStyle.mAlign <= IText::kAlignFar) mAlign = mStyle.mAlign;
    mStyle.mAlign = IText::kAlignNear;
    mText = str ? str : "";
    // All of it selected, as a field opened to be answered is: what is typed replaces it.
    mAnchor = 0;
    mCaret = mText.size();
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

  // Hands the text to the control (through the parameter when there is one) and closes; nothing when another
  // program was put in place since the field opened (the text was typed for the one shown then).
  void Confirm()
  {
    if (mDone) return;
    mDone = true;
    if (ProgramReplaced()) return;
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
      placeCaret(x);
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
    const size_t from = std::min(mAnchor, mCaret), to = std::max(mAnchor, mCaret);
    switch (key) {
    case IGraphicsLinux::kReturn:
      Confirm();
      return;
    case IGraphicsLinux::kEscape:
      Cancel();
      return;
    case IGraphicsLinux::kBackspace:
    case IGraphicsLinux::kDelete:
      // The selection goes, else the character before (Backspace) or after (Delete) the caret.
      if (from == to)
        mAnchor = key == IGraphicsLinux::kBackspace ? PrevCodePoint(mText, mCaret) : NextCodePoint(mText, mCaret);
      replaceSelection("");
      break;
    // Moves keep the text: from a selection to its start or end, else a character or to an end of the text.
    case IGraphicsLinux::kLeft:
      mCaret = from != to ? from : PrevCodePoint(mText, mCaret);
      mAnchor = mCaret;
      break;
    case IGraphicsLinux::kRight:
      mCaret = from != to ? to : NextCodePoint(mText, mCaret);
      mAnchor = mCaret;
      break;
    case IGraphicsLinux::kHome:
      mCaret = mAnchor = 0;
      break;
    case IGraphicsLinux::kEnd:
      mCaret = mAnchor = mText.size();
      break;
    case IGraphicsLinux::kChar: {
      if (!accepts(ch)) return;
      char bytes[4];
      if (!replaceSelection(std::string(bytes, (size_t)WDL_EncodeUTF8(ch, bytes)))) return;
      break;
    }
    default:
      return;
    }
    Redraw(0);
  }
  // The characters of the clipboard the field takes, in place of the selection and as many as its length
  // leaves room for.
  void Paste(const char* clip) override
  {
    int room = INT_MAX;
    if (mMaxLength > 0) {
      const size_t from = std::min(mAnchor, mCaret), to = std::max(mAnchor, mCaret);
      room = mMaxLength - countCodePoints(mText) + countCodePoints(mText.substr(from, to - from));
    }
    std::string with;
    for (const char* p = clip; *p && room > 0;) {
      unsigned ch;
      p += WDL_DecodeUTF8(p, &ch);
      if (!accepts(ch)) continue;
      char bytes[4];
      with.append(bytes, (size_t)WDL_EncodeUTF8(ch, bytes));
      --room;
    }
    if (!with.empty() && replaceSelection(with)) Redraw(0);
  }
  void AnswerDefault() override { Confirm(); }

  void DrawArea(int) override
  {
    fill(mStyle.mTextEntryBGColor, mRect);
    const IRECT in = inner();
    const int x0 = layout();
    text(&mStyle, mText.c_str() + mFirst, IRECT(x0, mRect.T, in.R, mRect.B));
    if (mAnchor != mCaret) {
      // The selection in the field's two colours swapped, so that it reads as what typing will replace.
      const size_t from = std::max(std::min(mAnchor, mCaret), mFirst), to = std::max(mAnchor, mCaret);
      const IRECT sel(xAt(x0, from), mRect.T + 1, std::min(xAt(x0, to), in.R), mRect.B - 1);
      if (sel.R > sel.L) {
        fill(mStyle.mTextEntryFGColor, sel);
        IText inverse = mStyle;
        inverse.mColor = mStyle.mTextEntryBGColor;
        text(&inverse, mText.substr(from, to - from).c_str(), sel);
      }
      return;
    }
    const int cx = std::min(xAt(x0, mCaret), mRect.R - 1);
    const IColor caret = mStyle.mTextEntryFGColor;
    mG->DrawVerticalLine(&caret, cx, mRect.T + 2, mRect.B - 3);
  }

protected:
  // Puts the caret at the character boundary nearest to x, with nothing selected.
  void placeCaret(int x)
  {
    const int x0 = layout();
    size_t best = mFirst;
    int bestAt = x0;
    for (size_t i = mFirst; i < mText.size();) {
      i = NextCodePoint(mText, i);
      const int at = xAt(x0, i);
      if (std::abs(at - x) < std::abs(bestAt - x)) {
        best = i;
        bestAt = at;
      }
      if (at >= x) break;
    }
    mCaret = mAnchor = best;
    Redraw(0);
  }

  bool mPressedInside = false;

private:
  static int countCodePoints(const std::string& s)
  {
    int n = 0;
    for (size_t i = 0; i < s.size(); i = NextCodePoint(s, i)) ++n;
    return n;
  }
  bool accepts(unsigned ch) const
  {
    if (ch < 32 || ch == 127) return false;
    return !mFiltered || (ch < 128 && std::strchr(mFilter, (int)ch));
  }
  // Puts `with` in place of the selection, the caret after it; false (nothing changed) when the field's
  // length would be passed. Taking characters away is always allowed.
  bool replaceSelection(const std::string& with)
  {
    const size_t from = std::min(mAnchor, mCaret), to = std::max(mAnchor, mCaret);
    std::string next = mText;
    next.replace(from, to - from, with);
    if (mMaxLength > 0 && !with.empty() && countCodePoints(next) > mMaxLength) return false;
    mText = next;
    mCaret = mAnchor = from + with.size();
    return true;
  }

  IRECT inner() const { return IRECT(mRect.L + 2, mRect.T, mRect.R - 2, mRect.B); }
  // The width in pixels of the text between two byte offsets.
  int widthOf(size_t from, size_t to)
  {
    if (from >= to) return 0;
    IRECT m(0, 0, 1 << 20, mRect.H());
    mG->MeasureIText(&mStyle, mText.substr(from, to - from).c_str(), &m);
    return m.W();
  }
  // Places the text: the first byte shown (mFirst) and the x of its left edge. Text that fits is aligned as
  // the style says; longer text starts at the left, scrolled no further than it takes to show the caret.
  int layout()
  {
    const IRECT in = inner();
    const int room = in.W() - 1; // the caret's column after the last character too
    const int whole = widthOf(0, mText.size());
    if (whole <= room) {
      mFirst = 0;
      return mAlign == IText::kAlignCenter ? in.L + (in.W() - whole) / 2
             : mAlign == IText::kAlignFar  ? in.R - whole
                                           : in.L;
    }
    if (mCaret < mFirst) mFirst = mCaret;
    while (mFirst < mCaret && widthOf(mFirst, mCaret) > room) mFirst = NextCodePoint(mText, mFirst);
    while (mFirst > 0 && widthOf(PrevCodePoint(mText, mFirst), mText.size()) <= room)
      mFirst = PrevCodePoint(mText, mFirst);
    return in.L;
  }
  // The x of the boundary at byte offset i (not before mFirst) when the shown text starts at x0.
  int xAt(int x0, size_t i) { return x0 + widthOf(mFirst, i); }

  IControl* mControl;
  IParam* mParam;
  IRECT mRect;
  IText mStyle;                   // drawn from the left edge the field works out
  int mAlign = IText::kAlignNear; // where text that fits goes
  std::string mText;
  // Byte offsets into mText: the caret, the other end of the selection (the same when nothing is selected),
  // and the first byte shown.
  size_t mCaret = 0, mAnchor = 0, mFirst = 0;
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
      if (Inside(Rect(), x, y)) placeCaret(x);
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
  // The command that asked for the path decides what a program put in place meanwhile means for it.
  bool ActsOnProgram() const override { return false; }
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
    if (path.empty()) break;
    // A name alone, or a path relative to it, is taken in the folder the field proposed.
    if (path[0] != '/') {
      const std::string proposed = start ? ExpandHome(start) : "";
      const size_t slash = proposed.rfind('/');
      path = (slash == std::string::npos ? std::string("/") : proposed.substr(0, slash + 1)) + path;
    }
    // A folder goes back as typed: the command says it is not a file it can read or write.
    if (path.back() == '/') break;
    if (save) path = WithExtension(path, extensions);
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
