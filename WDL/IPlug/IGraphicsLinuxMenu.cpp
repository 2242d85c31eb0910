// Popup menus of the Linux surface, drawn by us over the controls: submenus that open beside their entry,
// ticks, titles, separators and disabled entries; a menu too tall for the editor wraps into columns. The
// mouse and the arrow keys, Return and Escape answer it; a press outside it dismisses it.
#include "IGraphicsLinuxOverlay.h"

#include "IPopupMenu.h"

#include <cerrno>
#include <cstdlib>

using namespace linux_surface;

namespace {

const IColor kSeparator(255, 78, 80, 86);
constexpr int kMenuTextSize = 14;
constexpr int kItemH = 20, kSeparatorH = 7, kMenuPad = 4; // pixels
constexpr int kTickW = 22, kTitleIndent = 12, kArrowW = 22, kMinMenuW = 90;

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
  void Withdraw() override { dismiss(); }

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
      // A press outside dismisses the menu as Escape does, also one on another window (it arrives while the
      // window holds the pointer); its release belongs to no one.
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

} // namespace

IPopupMenu* IGraphicsLinux::CreateIPopupMenu(IPopupMenu* menu, IRECT* r)
{
  ReleaseMouseCapture();
  if (!mWindowOpen || !menu || menu->GetNItems() <= 0) return nullptr;
  hideTooltip();
  MenuOverlay overlay(this, menu, r ? *r : IRECT(mLastX, mLastY, mLastX, mLastY));
  runModal(&overlay);
  return overlay.Result();
}

IRECT IGraphicsLinux::MenuItemRect(int level, int index) const
{
  for (auto it = mModal.rbegin(); it != mModal.rend(); ++it)
    if (const MenuOverlay* m = dynamic_cast<const MenuOverlay*>(*it)) return m->ItemRect(level, index);
  return IRECT();
}
