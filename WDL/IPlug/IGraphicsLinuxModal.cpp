// The modal elements of the Linux surface: popup menus, message boxes, the text field of value prompts and
// tooltips, drawn by us into the draw bitmap over the controls, with the nested input loop that serves them
// and the script that drives them headless.
//
// Every element keeps a copy of the pixels it covers (one per area: a menu has one per open level) and puts
// them back when it closes, so closing never asks the controls to redraw. When controls redraw while an
// element is open, the element first puts its saved pixels back, the controls draw, and the element saves
// what lies beneath anew and is drawn again on top, before the frame is presented.
#include "IGraphicsLinux.h"

#include "IControl.h"
#include "IParam.h"
#include "swell/swell-gdi.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The look of a dark desktop menu (colours A, R, G, B).
const IColor kPanel(255, 46, 47, 51), kPanelLight(255, 58, 60, 65), kBorder(255, 96, 98, 106),
    kText(255, 232, 232, 235), kTextDisabled(255, 122, 124, 130), kHighlight(255, 52, 101, 164),
    kSeparator(255, 78, 80, 86), kButton(255, 72, 74, 80), kButtonDefault(255, 52, 101, 164),
    kTooltipPanel(255, 250, 246, 214), kTooltipText(255, 20, 20, 20), kTooltipBorder(255, 120, 116, 90);

constexpr const char* kFace = "Arial";
constexpr int kMenuTextSize = 14;
constexpr int kItemH = 20, kSeparatorH = 7, kMenuPad = 4; // pixels
constexpr int kTickW = 22, kTitleIndent = 12, kArrowW = 22, kMinMenuW = 90;
constexpr int kBoxTextSize = 14, kButtonW = 84, kButtonH = 24, kCaptionH = 26;
constexpr int kTipTextSize = 12;

// Only (0, 0, 0, 0) is an empty IRECT: a rectangle at the origin gets its own test.
bool Inside(const IRECT& r, int x, int y)
{
  return x >= r.L && x < r.R && y >= r.T && y < r.B;
}

// The next code point of UTF-8 text (invalid bytes stand for themselves).
unsigned NextCodePoint(const char** p)
{
  const unsigned char* s = reinterpret_cast<const unsigned char*>(*p);
  unsigned c = *s++;
  int more = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
  if (more) {
    unsigned v = c & (0x3f >> more);
    int k = 0;
    for (; k < more && (s[k] & 0xc0) == 0x80; ++k) v = (v << 6) | (s[k] & 0x3f);
    if (k == more) {
      c = v;
      s += more;
    }
  }
  *p = reinterpret_cast<const char*>(s);
  return c;
}

void AppendUTF8(std::string* out, unsigned c)
{
  if (c < 0x80) {
    out->push_back((char)c);
  } else if (c < 0x800) {
    out->push_back((char)(0xc0 | (c >> 6)));
    out->push_back((char)(0x80 | (c & 0x3f)));
  } else if (c < 0x10000) {
    out->push_back((char)(0xe0 | (c >> 12)));
    out->push_back((char)(0x80 | ((c >> 6) & 0x3f)));
    out->push_back((char)(0x80 | (c & 0x3f)));
  } else {
    out->push_back((char)(0xf0 | (c >> 18)));
    out->push_back((char)(0x80 | ((c >> 12) & 0x3f)));
    out->push_back((char)(0x80 | ((c >> 6) & 0x3f)));
    out->push_back((char)(0x80 | (c & 0x3f)));
  }
}

// Removes the last code point of UTF-8 text.
void PopCodePoint(std::string* s)
{
  while (!s->empty()) {
    const unsigned char c = (unsigned char)s->back();
    s->pop_back();
    if ((c & 0xc0) != 0x80) return;
  }
}

} // namespace

// ---- the element base: saved areas and drawing helpers ----

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
  // A scripted answer (kButton, kChoose); ignored by elements it is not meant for.
  virtual void Answer(const ScriptEvent&) {}
  // The script is used up: answer the way a user pressing Return would.
  virtual void AnswerDefault() { mDone = true; }
  // Draws area k (areas are opaque, so drawing twice gives the same pixels).
  virtual void DrawArea(int k) = 0;

  // Saves what lies under r and draws the new area over it.
  void AddArea(const IRECT& r)
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
  // Puts back the pixels under areas k and later, the last first.
  void RemoveAreasFrom(int k)
  {
    while ((int)mAreas.size() > k && k >= 0) {
      Area& a = mAreas.back();
      LICE_IBitmap* bm = mG->mDrawBitmap.get();
      if (bm && a.under) LICE_Blit(bm, a.under.get(), a.r.L, a.r.T, 0, 0, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
      mG->present(a.r);
      mAreas.pop_back();
    }
  }
  void Close() { RemoveAreasFrom(0); }
  // Controls were redrawn in u: take their pixels as the new background, then draw the areas again.
  // Takes the element off the picture (its saved pixels back in place), keeping its areas, so that controls
  // can redraw beneath it; Lay() puts it back on top of what they drew.
  void Lift()
  {
    LICE_IBitmap* bm = mG->mDrawBitmap.get();
    for (int k = (int)mAreas.size() - 1; k >= 0; --k) {
      Area& a = mAreas[k];
      if (bm && a.under) LICE_Blit(bm, a.under.get(), a.r.L, a.r.T, 0, 0, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
    }
  }
  void Lay()
  {
    LICE_IBitmap* bm = mG->mDrawBitmap.get();
    for (int k = 0; k < (int)mAreas.size(); ++k) {
      Area& a = mAreas[k];
      if (bm && a.under) LICE_Blit(a.under.get(), bm, 0, 0, a.r.L, a.r.T, a.r.W(), a.r.H(), 1.0f, LICE_BLIT_MODE_COPY);
      drawArea(k);
    }
  }
  // Draws every area again over what it covers now.
  void Repaint()
  {
    for (int k = 0; k < (int)mAreas.size(); ++k) drawArea(k);
  }
  // The union of the areas.
  IRECT Bounds() const
  {
    IRECT u;
    for (const Area& a : mAreas) u = u.Union(a.r);
    return u;
  }
  void Redraw(int k)
  {
    if (k < 0 || k >= (int)mAreas.size()) return;
    drawArea(k);
    mG->present(mAreas[k].r);
  }
  int NAreas() const { return (int)mAreas.size(); }
  const IRECT& AreaRect(int k) const { return mAreas[k].r; }
  // Whether (x, y) lies in any area.
  bool Hit(int x, int y) const
  {
    for (const Area& a : mAreas)
      if (Inside(a.r, x, y)) return true;
    return false;
  }

  bool mDone = false;

protected:
  void drawArea(int k)
  {
    if (!mG->mDrawBitmap) return;
    const IRECT saved = mG->mDrawRECT;
    mG->mDrawRECT = mAreas[k].r;
    DrawArea(k);
    mG->mDrawRECT = saved;
  }
  void fill(const IColor& c, IRECT r) { mG->FillIRect(&c, &r); }
  void frame(const IColor& c, const IRECT& r)
  {
    // DrawRect's right and bottom edges lie on R and B: one pixel in keeps the frame inside the area.
    IRECT in(r.L, r.T, r.R - 1, r.B - 1);
    mG->DrawRect(&c, &in);
  }
  void text(IText* style, const char* str, IRECT r, unsigned fmt = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX)
  {
    mG->DrawIText(style, str, &r, fmt);
  }
  int textWidth(IText* style, const char* str)
  {
    if (!str || !*str) return 0;
    IRECT m(0, 0, 10000, 100);
    IText near = *style;
    near.mAlign = IText::kAlignNear;
    near.mCached = nullptr;
    if (!mG->MeasureIText(&near, str, &m)) return 0;
    return m.W();
  }
  int lineHeight(IText* style)
  {
    IRECT m(0, 0, 10000, 100);
    IText near = *style;
    near.mAlign = IText::kAlignNear;
    if (!mG->MeasureIText(&near, "Ag", &m)) return style->mSize + 4;
    return m.H() > 0 ? m.H() : style->mSize + 4;
  }

  void swallowUp() { mG->mSwallowUp = true; }
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

namespace {
IText Style(int size, const IColor& color, int align = IText::kAlignNear, int style = IText::kStyleNormal)
{
  return IText(size, &color, kFace, style, align, 0, IText::kQualityAntiAliased);
}
} // namespace

// ---- popup menus ----

class MenuOverlay : public IGraphicsLinux::Overlay
{
public:
  MenuOverlay(IGraphicsLinux* g, IPopupMenu* menu, const IRECT& anchor) : Overlay(g)
  {
    mText = Style(kMenuTextSize, kText);
    mGrey = Style(kMenuTextSize, kTextDisabled);
    mLight = Style(kMenuTextSize, COLOR_WHITE);
    // Like a context menu: the top-left corner just below the rectangle the menu belongs to.
    openLevel(menu, anchor.L, anchor.B + 4, -1);
  }

  IPopupMenu* Result() const { return mResult; }

  // The rectangle of entry `index` of level `level`.
  IRECT ItemRect(int level, int index) const
  {
    if (level < 0 || level >= (int)mLevels.size()) return IRECT();
    const Level& l = mLevels[level];
    if (index < 0 || index >= (int)l.items.size()) return IRECT();
    return l.items[index];
  }

  void MouseMove(int x, int y) override
  {
    int level, index;
    if (!find(x, y, &level, &index)) return;
    hover(level, index, true);
  }

  void MouseDown(int x, int y, const IMouseMod&) override
  {
    int level, index;
    if (!Hit(x, y)) {
      // A click outside dismisses the menu; its release belongs to no one.
      swallowUp();
      dismiss();
      return;
    }
    mPressed = true;
    mOpeningReleased = true;
    if (find(x, y, &level, &index)) hover(level, index, true);
  }

  void MouseUp(int x, int y, const IMouseMod& mod) override
  {
    // Only a release that follows a press inside the menu chooses. The release of the click that opened
    // the menu goes to the surface, which ends the host's gesture that the press began.
    if (!mPressed) {
      if (!mOpeningReleased) {
        mOpeningReleased = true;
        IMouseMod m = mod;
        mG->OnMouseUp(x, y, &m);
      }
      return;
    }
    mPressed = false;
    int level, index;
    if (!find(x, y, &level, &index)) return;
    IPopupMenuItem* item = mLevels[level].menu->GetItem(index);
    if (choosable(item) && !item->GetSubmenu()) choose(level, index);
  }

  void Key(int key, unsigned) override
  {
    Level& deepest = mLevels.back();
    const int level = (int)mLevels.size() - 1;
    switch (key) {
    case IGraphicsLinux::kEscape:
      dismiss();
      break;
    case IGraphicsLinux::kUp:
    case IGraphicsLinux::kDown: {
      const int n = deepest.menu->GetNItems(), step = key == IGraphicsLinux::kDown ? 1 : n - 1;
      int i = deepest.hover;
      for (int tries = 0; tries < n; ++tries) {
        i = i < 0 ? (key == IGraphicsLinux::kDown ? 0 : n - 1) : (i + step) % n;
        if (choosable(deepest.menu->GetItem(i))) {
          hover(level, i, false);
          break;
        }
      }
      break;
    }
    case IGraphicsLinux::kRight:
      if (deepest.hover >= 0 && deepest.menu->GetItem(deepest.hover)->GetSubmenu()) hover(level, deepest.hover, true);
      break;
    case IGraphicsLinux::kLeft:
      if (level > 0) RemoveLevelsFrom(level);
      break;
    case IGraphicsLinux::kReturn: {
      const int i = deepest.hover;
      IPopupMenuItem* item = deepest.menu->GetItem(i);
      if (!choosable(item)) break;
      if (item->GetSubmenu())
        hover(level, i, true);
      else
        choose(level, i);
      break;
    }
    default:
      break;
    }
  }

  void Answer(const IGraphicsLinux::ScriptEvent& e) override
  {
    if (e.kind != IGraphicsLinux::ScriptEvent::kChoose) return;
    // A path of entry indexes: "3/1" is entry 1 of the submenu of entry 3.
    IPopupMenu* menu = mLevels.front().menu;
    const char* p = e.text.c_str();
    while (*p == ' ') ++p;
    if (!*p) {
      dismiss();
      return;
    }
    for (;;) {
      char* end = nullptr;
      errno = 0;
      const long i = std::strtol(p, &end, 10);
      IPopupMenuItem* item =
          end != p && errno == 0 && i >= 0 && i < menu->GetNItems() ? menu->GetItem((int)i) : nullptr;
      if (!item) break;
      if (*end == '/' && item->GetSubmenu()) {
        menu = item->GetSubmenu();
        p = end + 1;
        continue;
      }
      if (*end || !choosable(item) || item->GetSubmenu()) break;
      menu->SetChosenItemIdx((int)i);
      mResult = menu;
      mDone = true;
      return;
    }
    dismiss();
  }

  void DrawArea(int k) override
  {
    Level& l = mLevels[k];
    fill(kPanel, AreaRect(k));
    frame(kBorder, AreaRect(k));
    WDL_String title;
    for (int i = 0; i < (int)l.items.size(); ++i) {
      IPopupMenuItem* item = l.menu->GetItem(i);
      const IRECT& r = l.items[i];
      if (item->GetIsSeparator() && !item->GetSubmenu()) {
        const IColor c = kSeparator;
        mG->DrawHorizontalLine(&c, r.T + r.H() / 2, r.L + 6, r.R - 7);
        continue;
      }
      const bool lit = i == l.hover && choosable(item);
      if (lit) fill(kHighlight, IRECT(r.L + 2, r.T, r.R - 2, r.B));
      const bool enabled = item->GetEnabled();
      IText* style = lit ? &mLight : enabled ? &mText : &mGrey;
      const IColor& mark = style->mColor;
      if (item->GetChecked()) {
        // A tick drawn with two thick strokes in the left margin.
        const int cx = r.L + 11, cy = r.T + r.H() / 2;
        for (int t = 0; t < 2; ++t) {
          mG->DrawLine(&mark, (float)(cx - 5), (float)(cy + t - 1), (float)(cx - 2), (float)(cy + t + 2), nullptr,
                       true);
          mG->DrawLine(&mark, (float)(cx - 2), (float)(cy + t + 2), (float)(cx + 4), (float)(cy + t - 5), nullptr,
                       true);
        }
      }
      l.menu->GetDisplayText(i, &title);
      const int indent = item->GetIsTitle() ? kTitleIndent : 0;
      text(style, title.Get(), IRECT(r.L + kTickW + indent, r.T, r.R - kArrowW, r.B));
      if (item->GetSubmenu()) {
        const int ax = r.R - 12, ay = r.T + r.H() / 2;
        mG->FillTriangle(&mark, ax - 3, ay - 4, ax - 3, ay + 4, ax + 2, ay, nullptr);
      }
    }
  }

private:
  struct Level
  {
    IPopupMenu* menu;
    std::vector<IRECT> items;
    int hover = -1;
    int parentIndex = -1; // the entry of the level above that opened this one
  };

  static bool choosable(IPopupMenuItem* item)
  {
    return item && item->GetEnabled() && (!item->GetIsSeparator() || item->GetSubmenu());
  }

  // Lays out a menu level with its top-left corner near (x, y), kept on the surface. A menu taller than the
  // surface continues in further columns to the right.
  void openLevel(IPopupMenu* menu, int x, int y, int leftEdge)
  {
    Level l;
    l.menu = menu;
    const int n = menu->GetNItems();
    int textW = 0;
    WDL_String title;
    for (int i = 0; i < n; ++i) {
      IPopupMenuItem* item = menu->GetItem(i);
      if (item->GetIsSeparator() && !item->GetSubmenu()) continue;
      menu->GetDisplayText(i, &title);
      const int w = textWidth(&mText, title.Get()) + (item->GetIsTitle() ? kTitleIndent : 0);
      if (w > textW) textW = w;
    }
    int colW = kTickW + textW + kArrowW;
    if (colW < kMinMenuW) colW = kMinMenuW;
    const int maxH = mG->Height() - 2 * kMenuPad;
    // Columns of entries, relative to the menu's corner.
    int col = 0, cy = 0, tallest = 0;
    for (int i = 0; i < n; ++i) {
      IPopupMenuItem* item = menu->GetItem(i);
      const int h = item->GetIsSeparator() && !item->GetSubmenu() ? kSeparatorH : kItemH;
      if (cy > 0 && cy + h > maxH) {
        ++col;
        cy = 0;
      }
      l.items.push_back(IRECT(col * colW, kMenuPad + cy, (col + 1) * colW, kMenuPad + cy + h));
      cy += h;
      if (cy > tallest) tallest = cy;
    }
    const int w = (col + 1) * colW, h = tallest + 2 * kMenuPad;
    // A submenu that would leave the surface on the right opens to the left of its parent instead.
    if (x + w > mG->Width() && leftEdge >= 0 && leftEdge - w >= 0) x = leftEdge - w;
    if (x + w > mG->Width()) x = mG->Width() - w;
    if (x < 0) x = 0;
    if (y + h > mG->Height()) y = mG->Height() - h;
    if (y < 0) y = 0;
    for (IRECT& r : l.items) r = IRECT(r.L + x, r.T + y, r.R + x, r.B + y);
    mLevels.push_back(std::move(l));
    AddArea(IRECT(x, y, x + w, y + h));
  }

  void RemoveLevelsFrom(int level)
  {
    if (level < 1) level = 1;
    if (level >= (int)mLevels.size()) return;
    RemoveAreasFrom(level);
    mLevels.resize(level);
  }

  // Lights entry `index` of `level`, closes deeper levels that belong to other entries, and opens the
  // submenu of the entry when asked to.
  void hover(int level, int index, bool openSubmenu)
  {
    Level& l = mLevels[level];
    IPopupMenuItem* item = l.menu->GetItem(index);
    if (!choosable(item)) index = -1;
    const bool sameOpen = level + 1 < (int)mLevels.size() && mLevels[level + 1].parentIndex == index;
    if (!sameOpen) RemoveLevelsFrom(level + 1);
    if (mLevels[level].hover != index) {
      mLevels[level].hover = index;
      Redraw(level);
    }
    if (index >= 0 && openSubmenu && !sameOpen && item->GetSubmenu() && item->GetSubmenu()->GetNItems() > 0) {
      const IRECT r = mLevels[level].items[index];
      openLevel(item->GetSubmenu(), r.R - 2, r.T - kMenuPad, r.L + 2);
      mLevels.back().parentIndex = index;
    }
  }

  // The deepest level and entry under (x, y); false when none.
  bool find(int x, int y, int* level, int* index) const
  {
    for (int k = (int)mLevels.size() - 1; k >= 0; --k) {
      if (!Inside(AreaRect(k), x, y)) continue;
      *level = k;
      *index = -1;
      const Level& l = mLevels[k];
      for (int i = 0; i < (int)l.items.size(); ++i)
        if (Inside(l.items[i], x, y)) *index = i;
      return *index >= 0;
    }
    return false;
  }

  void choose(int level, int index)
  {
    mLevels[level].menu->SetChosenItemIdx(index);
    mResult = mLevels[level].menu;
    mDone = true;
  }
  void dismiss()
  {
    mResult = nullptr;
    mDone = true;
  }

  std::vector<Level> mLevels;
  IPopupMenu* mResult = nullptr;
  bool mPressed = false;
  bool mOpeningReleased = false;
  IText mText, mGrey, mLight;
};

// ---- message boxes ----

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

// ---- the text field of value prompts ----

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
      std::string next = mText;
      AppendUTF8(&next, ch);
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
    for (const char* p = s.c_str(); *p;) {
      NextCodePoint(&p);
      ++n;
    }
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

// ---- tooltips ----

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

// ---- the surface's side ----

IGraphicsLinux::~IGraphicsLinux()
{
  delete mTooltip;
  mTooltip = nullptr;
  CloseWindow();
  mFilePromptScript.Empty(true);
  mMessageBoxes.Empty(true);
  mFilePrompts.Empty(true);
}

void IGraphicsLinux::present(const IRECT& r)
{
  if (mHoldPresent) return;
  IRECT area = r;
  DrawScreen(&area);
}

void IGraphicsLinux::hideTooltip()
{
  mRestTicks = 0;
  if (!mTooltip) return;
  delete mTooltip; // puts back what it covered
  mTooltip = nullptr;
}

void IGraphicsLinux::ScriptMessageBoxButton(int position)
{
  ScriptEvent e;
  e.kind = ScriptEvent::kButton;
  e.d = position;
  mScript.push_back(e);
}

void IGraphicsLinux::runModal(Overlay* overlay)
{
  mModal.push_back(overlay);
  while (!overlay->mDone) {
    if (!RunModalStep()) {
      // Nothing more will come: the picture asked for is taken with the element open, then it answers.
      if (mScreenshotAtScriptEnd.GetLength()) {
        mScreenshotWritten = SaveScreenshot(mScreenshotAtScriptEnd.Get());
        mScreenshotAtScriptEnd.Set("");
      }
      overlay->AnswerDefault();
      break;
    }
    if (mDrawBitmap && !overlay->mDone) Tick();
  }
  // Another element opened inside this one's loop has finished by now: this one is the innermost.
  if (!mModal.empty() && mModal.back() == overlay) mModal.pop_back();
  overlay->Close();
  // Events the element handed on (a click outside a text field) reach what lies beneath it now.
  std::vector<ScriptEvent> deferred;
  deferred.swap(mDeferred);
  for (const ScriptEvent& e : deferred) deliver(e);
}

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

IPopupMenu* IGraphicsLinux::CreateIPopupMenu(IPopupMenu* menu, IRECT* r)
{
  ReleaseMouseCapture();
  if (!mWindowOpen || !menu || menu->GetNItems() <= 0) return nullptr;
  hideTooltip();
  MenuOverlay overlay(this, menu, r ? *r : IRECT(mLastX, mLastY, mLastX, mLastY));
  runModal(&overlay);
  return overlay.Result();
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
    if (TextFieldOverlay* field = dynamic_cast<TextFieldOverlay*>(o)) field->Confirm();
}

void IGraphicsLinux::UpdateTooltips()
{
  mTooltipAreas.clear();
  if (!mWindowOpen || !mEnableTooltips) return;
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (!c->IsHidden() && !c->GetTargetRECT()->Empty()) mTooltipAreas.push_back(i);
  }
}

void IGraphicsLinux::tickTooltip()
{
  if (!mEnableTooltips || !mWindowOpen || !mModal.empty() || mButtonHeld || mTooltip) return;
  // The control under the resting pointer among those registered by UpdateTooltips.
  const int c = hitTest(mLastX, mLastY, true);
  bool registered = false;
  for (int i : mTooltipAreas)
    if (i == c) registered = true;
  IControl* control = registered ? mControls.Get(c) : nullptr;
  if (!control || !control->GetTooltip()[0] || !control->GetTargetRECT()->Contains(mLastX, mLastY)) {
    mRestTicks = 0;
    mRestControl = -1;
    return;
  }
  if (c != mRestControl) {
    mRestControl = c;
    mRestTicks = 0;
  }
  // About half a second of ticks.
  if (++mRestTicks >= (FPS() + 1) / 2 && mDrawBitmap)
    mTooltip = new TooltipOverlay(this, control->GetTooltip(), mLastX, mLastY);
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

IRECT IGraphicsLinux::MenuItemRect(int level, int index) const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const MenuOverlay* m = dynamic_cast<const MenuOverlay*>(*it)) return m->ItemRect(level, index);
  return IRECT();
}

IRECT IGraphicsLinux::MessageBoxButtonRect(int position) const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const MessageBoxOverlay* b = dynamic_cast<const MessageBoxOverlay*>(*it)) return b->ButtonRect(position);
  return IRECT();
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

const char* IGraphicsLinux::TooltipText() const
{
  const TooltipOverlay* t = dynamic_cast<const TooltipOverlay*>(mTooltip);
  return t ? t->Tip() : "";
}

// ---- the entry points: an open element takes the input first ----

void IGraphicsLinux::MouseDown(int x, int y, IMouseMod mod, bool doubleClick)
{
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

void IGraphicsLinux::drawOverlays()
{
  for (Overlay* o : mModal) o->Repaint();
  if (mTooltip) mTooltip->Repaint();
  IRECT all(0, 0, Width(), Height());
  present(all);
}

// ---- scripts ----

void IGraphicsLinux::deliver(const ScriptEvent& e)
{
  switch (e.kind) {
  case ScriptEvent::kMouseDown:
    MouseDown(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseUp:
    MouseUp(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseDrag:
    mButtonHeld = true;
    MouseMove(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kMouseMove:
    mButtonHeld = false;
    MouseMove(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kDblClick:
    MouseDown(e.x, e.y, e.mod, true);
    MouseUp(e.x, e.y, e.mod);
    break;
  case ScriptEvent::kWheel:
    MouseWheel(e.x, e.y, e.mod, e.d);
    break;
  case ScriptEvent::kKeyPress:
    KeyDown(e.key, e.ch);
    break;
  case ScriptEvent::kType:
    for (const char* p = e.text.c_str(); *p;) KeyDown(kChar, NextCodePoint(&p));
    break;
  case ScriptEvent::kButton:
  case ScriptEvent::kChoose:
    if (!mModal.empty()) mModal.back()->Answer(e);
    break;
  case ScriptEvent::kTicks:
    for (int i = 0; i < e.d; ++i) Tick();
    break;
  }
}

void IGraphicsLinux::PlayScript()
{
  while (!mScript.empty()) {
    const ScriptEvent e = mScript.front();
    mScript.pop_front();
    deliver(e);
    Tick();
  }
}

namespace {

// Reads a whole decimal int within lo..hi.
bool ReadInt(const std::string& word, int lo, int hi, int* out)
{
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(word.c_str(), &end, 10);
  if (errno || *end || v < lo || v > hi) return false;
  *out = (int)v;
  return true;
}

struct KeyName
{
  const char* name;
  int key;
  unsigned ch;
};
const KeyName kKeyNames[] = {
    {"up", IGraphicsLinux::kUp, 0},
    {"down", IGraphicsLinux::kDown, 0},
    {"left", IGraphicsLinux::kLeft, 0},
    {"right", IGraphicsLinux::kRight, 0},
    {"return", IGraphicsLinux::kReturn, 0},
    {"enter", IGraphicsLinux::kReturn, 0},
    {"escape", IGraphicsLinux::kEscape, 0},
    {"esc", IGraphicsLinux::kEscape, 0},
    {"backspace", IGraphicsLinux::kBackspace, 0},
    {"delete", IGraphicsLinux::kDelete, 0},
    {"tab", IGraphicsLinux::kTab, 0},
    {"space", IGraphicsLinux::kChar, ' '},
};

} // namespace

bool IGraphicsLinux::ScriptText(const char* text, std::string* error, int* lineNumber)
{
  if (!text) return true;
  // Coordinates may lie off the surface (a pointer outside the editor) but within a sane range.
  constexpr int kFar = 100000;
  std::vector<ScriptEvent> events;
  const char* p = text;
  int number = 0;
  while (*p) {
    ++number;
    const char* eol = std::strchr(p, '\n');
    std::string line(p, eol ? (size_t)(eol - p) : std::strlen(p));
    p = eol ? eol + 1 : p + line.size();
    const std::string original = line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t hash = line.find('#');
    // '#' starts a comment, except as the text typed or the key named.
    std::vector<std::string> words;
    size_t i = 0;
    auto skip = [&]() {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    };
    skip();
    const size_t cmdStart = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    const std::string cmd = line.substr(cmdStart, i - cmdStart);
    if (cmd.empty() || cmd[0] == '#') continue;
    skip();
    std::string rest = line.substr(i);
    if (cmd != "type" && cmd != "key") {
      hash = rest.find('#');
      if (hash != std::string::npos) rest.resize(hash);
    }
    {
      size_t j = 0;
      while (j < rest.size()) {
        while (j < rest.size() && (rest[j] == ' ' || rest[j] == '\t')) ++j;
        const size_t s = j;
        while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t') ++j;
        if (j > s) words.push_back(rest.substr(s, j - s));
      }
    }
    auto fail = [&]() {
      if (error) *error = original;
      if (lineNumber) *lineNumber = number;
      return false;
    };
    ScriptEvent e;
    auto xy = [&](size_t n) {
      return words.size() == n && ReadInt(words[0], -kFar, kFar, &e.x) && ReadInt(words[1], -kFar, kFar, &e.y);
    };
    if (cmd == "click" || cmd == "rclick") {
      if (!xy(2)) return fail();
      e.mod = cmd == "click" ? IMouseMod(true) : IMouseMod(false, true);
      e.kind = ScriptEvent::kMouseDown;
      events.push_back(e);
      e.kind = ScriptEvent::kMouseUp;
      events.push_back(e);
    } else if (cmd == "down" || cmd == "up" || cmd == "drag" || cmd == "move" || cmd == "dblclick") {
      if (!xy(2)) return fail();
      e.mod = IMouseMod(cmd != "move");
      e.kind = cmd == "down"   ? ScriptEvent::kMouseDown
               : cmd == "up"   ? ScriptEvent::kMouseUp
               : cmd == "drag" ? ScriptEvent::kMouseDrag
               : cmd == "move" ? ScriptEvent::kMouseMove
                               : ScriptEvent::kDblClick;
      events.push_back(e);
    } else if (cmd == "wheel") {
      if (words.size() != 3 || !ReadInt(words[0], -kFar, kFar, &e.x) || !ReadInt(words[1], -kFar, kFar, &e.y) ||
          !ReadInt(words[2], -1000, 1000, &e.d))
        return fail();
      e.kind = ScriptEvent::kWheel;
      events.push_back(e);
    } else if (cmd == "key") {
      // A single character (which may be '#'), or a key's name.
      while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
      e.kind = ScriptEvent::kKeyPress;
      const char* r = rest.c_str();
      bool found = false;
      for (const KeyName& k : kKeyNames)
        if (rest == k.name) {
          e.key = k.key;
          e.ch = k.ch;
          found = true;
        }
      if (!found) {
        if (rest.empty()) return fail();
        const unsigned c = NextCodePoint(&r);
        if (*r || c < 32) return fail();
        e.key = kChar;
        e.ch = c;
      }
      events.push_back(e);
    } else if (cmd == "type") {
      if (rest.empty()) return fail();
      e.kind = ScriptEvent::kType;
      e.text = rest;
      events.push_back(e);
    } else if (cmd == "button") {
      if (words.size() != 1 || !ReadInt(words[0], -1, 2, &e.d)) return fail();
      e.kind = ScriptEvent::kButton;
      events.push_back(e);
    } else if (cmd == "choose") {
      if (words.size() > 1) return fail();
      e.kind = ScriptEvent::kChoose;
      e.text = words.empty() ? "" : words[0];
      for (char c : e.text)
        if (!(c >= '0' && c <= '9') && c != '/') return fail();
      events.push_back(e);
    } else if (cmd == "ticks") {
      if (words.size() != 1 || !ReadInt(words[0], 0, 25 * 60, &e.d)) return fail();
      e.kind = ScriptEvent::kTicks;
      events.push_back(e);
    } else {
      return fail();
    }
  }
  for (const ScriptEvent& e : events) mScript.push_back(e);
  return true;
}

int IGraphicsLinux::HeadlessScreenshot(const char* png, const char* script)
{
  if (!png || !*png || !mDrawBitmap || !mWindowOpen) return 0;
  int badLine = 0;
  if (script && !ScriptText(script, nullptr, &badLine)) return -badLine;
  // A modal element the script leaves open is in the picture: it is taken when the script runs out.
  ScreenshotWhenScriptEnds(png);
  Tick();
  PlayScript();
  Tick();
  const bool pending = mScreenshotAtScriptEnd.GetLength() > 0;
  mScreenshotAtScriptEnd.Set("");
  if (!pending) return mScreenshotWritten ? 1 : 0; // taken inside a modal loop
  return SaveScreenshot(png) ? 1 : 0;
}

void IGraphicsLinux::ScreenshotWhenScriptEnds(const char* png)
{
  mScreenshotAtScriptEnd.Set(png ? png : "");
  mScreenshotWritten = false;
}
