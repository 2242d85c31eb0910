// The base of the Linux surface's modal elements (menus, message boxes, the text field, tooltips), the look
// they share, and small helpers of the surface's files. Private to those files: nothing else includes it.
//
// Every element keeps a copy of the pixels it covers (one per area: a menu has one per open level) and puts
// them back when it closes, so closing never asks the controls to redraw. When controls redraw while an
// element is open, the element first puts its saved pixels back (Lift), the controls draw, and the element
// saves what lies beneath anew and is drawn again on top (Lay), before the frame is presented.
#pragma once

#include "IGraphicsLinux.h"

#include "swell/swell-gdi.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace linux_surface {

// The look of a dark desktop menu (colours A, R, G, B), shared by menus, message boxes and the text field.
const IColor kPanel(255, 46, 47, 51), kPanelLight(255, 58, 60, 65), kBorder(255, 96, 98, 106),
    kText(255, 232, 232, 235), kTextDisabled(255, 122, 124, 130), kHighlight(255, 52, 101, 164);
constexpr const char* kFace = "Arial";

// Only (0, 0, 0, 0) is an empty IRECT: a rectangle at the origin gets its own test.
inline bool Inside(const IRECT& r, int x, int y)
{
  return x >= r.L && x < r.R && y >= r.T && y < r.B;
}

inline IText Style(int size, const IColor& color, int align = IText::kAlignNear, int style = IText::kStyleNormal)
{
  return IText(size, &color, kFace, style, align, 0, IText::kQualityAntiAliased);
}

// "~" or "~/..." with the home folder in place of the tilde; other paths as they are.
inline std::string ExpandHome(const std::string& path)
{
  if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
    const char* home = std::getenv("HOME");
    if (home && *home) return home + path.substr(1);
  }
  return path;
}

// The name with one of the extensions ("fxp fxb": single blanks between types written without dots): kept
// when its last component ends in one of them (in any case), else followed by "." and the first type, as a
// desktop save panel of a file type adds it.
std::string WithExtension(const std::string& name, const char* extensions);

} // namespace linux_surface

class IGraphicsLinux::Overlay
{
public:
  explicit Overlay(IGraphicsLinux* g) : mG(g) {}
  virtual ~Overlay() { Close(); }

  virtual void MouseDown(int, int, const IMouseMod&) {}
  virtual void MouseUp(int, int, const IMouseMod&) {}
  virtual void MouseMove(int, int) {}
  virtual void Wheel(int, int, const IMouseMod&, int) {}
  virtual void Key(int, unsigned) {}
  // Clipboard text (UTF-8); only the text field takes it.
  virtual void Paste(const char*) {}
  // A scripted answer (kButton, kChoose); ignored by elements it is not meant for.
  virtual void Answer(const ScriptEvent&) {}
  // The script is used up: answer the way a user pressing Return would.
  virtual void AnswerDefault() { mDone = true; }
  // The window went before the user answered: closed as by Escape (a text field keeps what was typed, as
  // when the editor closes under it).
  virtual void Dismiss() { AnswerDefault(); }
  // The window lost the keyboard to another window; only the path prompt's field cares.
  virtual void FocusLost() {}
  // Whether the element's answer acts on the program in place (a box with only OK does not; the path prompt
  // leaves it to the command that asked). Elements opened inside one that does not are not bound either.
  virtual bool ActsOnProgram() const { return true; }
  // Another program was put in place since the element opened: it closes without acting (a menu chooses
  // nothing, a box answers as closed, a field keeps nothing).
  virtual void Withdraw() { mDone = true; }
  // Whether the element is bound to the program in place when runModal opened it and another has been put
  // in place since: its answer must not act.
  bool ProgramReplaced() const;
  // Draws area k (areas are opaque, so drawing twice gives the same pixels).
  virtual void DrawArea(int k) = 0;

  // Saves what lies under r and draws the new area over it.
  void AddArea(const IRECT& r);
  // Puts back the pixels under areas k and later, the last first.
  void RemoveAreasFrom(int k);
  void Close() { RemoveAreasFrom(0); }
  // Takes the element off the picture (its saved pixels back in place), keeping its areas, so that controls
  // can redraw beneath it; Lay() puts it back on top of what they drew.
  void Lift();
  void Lay();
  // The union of the areas.
  IRECT Bounds() const;
  // Draws area k again and presents it.
  void Redraw(int k);
  int NAreas() const { return (int)mAreas.size(); }
  const IRECT& AreaRect(int k) const { return mAreas[k].r; }
  // Whether (x, y) lies in any area.
  bool Hit(int x, int y) const;

  bool mDone = false;
  // Set by runModal when it opens the element.
  bool mBound = false;
  unsigned mStatesAtOpen = 0; // IPlugBase::StatesPutInPlace() then

protected:
  void drawArea(int k);
  void fill(const IColor& c, IRECT r) { mG->FillIRect(&c, &r); }
  void frame(const IColor& c, const IRECT& r);
  void text(IText* style, const char* str, IRECT r, unsigned fmt = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX)
  {
    mG->DrawIText(style, str, &r, fmt);
  }
  int textWidth(IText* style, const char* str);
  int lineHeight(IText* style);

  // Whether (x, y) lies outside the editor: a press there is the user's on another window, which reaches an
  // open element only while the window holds the pointer.
  bool offSurface(int x, int y) const { return x < 0 || y < 0 || x >= mG->Width() || y >= mG->Height(); }
  // The release of the press being handled goes nowhere.
  void swallowUp() { mG->mSwallowUp = true; }
  // Input this element hands on, delivered to what lies beneath once it has closed.
  void defer(const ScriptEvent& e) { mG->mDeferred.push_back(e); }

  IGraphicsLinux* mG;

private:
  struct Area
  {
    IRECT r;
    std::unique_ptr<LICE_MemBitmap> under;
  };
  std::vector<Area> mAreas;
};
