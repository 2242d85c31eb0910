// Popup menus on the Linux surface: opened by a right click on an enum value or by a button, drawn over
// the controls below the control, chosen by clicks (also in a submenu and in a menu wrapped into columns),
// dismissed by a click outside, Escape or an empty script, and answered by script paths.
#include "gui_support.h"

#include "IParam.h"

namespace {

// Right-clicks the control at r; the steps run inside the menu's loop.
void RightClick(OpenEditor& e, const IRECT& r)
{
  e.g->MouseDown(MidX(r), MidY(r), OpenEditor::Right());
  e.g->MouseUp(MidX(r), MidY(r), OpenEditor::Right());
}

} // namespace

TEST(PopupMenu, RightClickOnAnEnumValueOpensItsMenuBelowTheControlAndAClickChooses)
{
  OpenEditor e;
  const std::vector<LICE_pixel> before = e.Snapshot();
  IRECT first, third;
  bool panel = false, checkedFirst = false;
  // Step 1 is the release of the opening click (the menu keeps open); step 2 clicks entry 2 ("Noise").
  e.g->steps.push_back([&](SteppedGraphics& g) {
    first = g.MenuItemRect(0, 0);
    third = g.MenuItemRect(0, 2);
    panel = IsMenuPanel(g.GetPoint(third.R - 4, third.T + 2));
    // The current value's entry carries a tick: pixels in its left margin differ from the panel.
    int lit = 0;
    for (int x = first.L + 2; x < first.L + 20; ++x)
      for (int y = first.T; y < first.B; ++y) lit += !IsMenuPanel(g.GetPoint(x, y));
    checkedFirst = lit > 6;
    const IRECT r = GuiPlug::ModeRect();
    g.MouseUp(MidX(r), MidY(r), OpenEditor::Right());
  });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    EXPECT_TRUE(g.ModalOpen()); // the release of the opening click chose nothing
    g.ClickAt(g.MenuItemRect(0, 2));
  });
  const IRECT r = GuiPlug::ModeRect();
  e.g->MouseDown(MidX(r), MidY(r), OpenEditor::Right());
  EXPECT_FALSE(e.g->ModalOpen());
  EXPECT_EQ(e.plug.GetParam(GuiPlug::kMode)->Int(), 2);
  // The press told the host a gesture began; the release that the menu handed on ended it.
  EXPECT_EQ(e.plug.mGestureBegins, 1);
  EXPECT_EQ(e.plug.mGestureEnds, 1);
  // Placed like a context menu: left edges aligned, just below the control.
  EXPECT_EQ(first.L, r.L);
  EXPECT_GE(first.T, r.B);
  EXPECT_LT(first.T, r.B + 12);
  EXPECT_GT(third.T, first.T);
  EXPECT_TRUE(panel);
  EXPECT_TRUE(checkedFirst);
  // Closing put back the pixels under the menu (the value box itself is redrawn at the next tick).
  const std::vector<LICE_pixel> after = e.Snapshot();
  int changed = 0;
  for (int y = r.B; y < GuiPlug::kHeight; ++y)
    for (int x = 0; x < GuiPlug::kWidth; ++x)
      changed += before[y * GuiPlug::kWidth + x] != after[y * GuiPlug::kWidth + x];
  EXPECT_EQ(changed, 0);
}

TEST(PopupMenu, DismissedMenusChooseNothing)
{
  struct Case
  {
    const char* how;
    std::function<void(SteppedGraphics&)> act;
  };
  bool answered = false; // the menu was still open for an answer
  const Case cases[] = {
      {"click outside", [](SteppedGraphics& g) { g.ClickAt(GuiPlug::CounterRect()); }},
      {"escape", [](SteppedGraphics& g) { g.KeyDown(IGraphicsLinux::kEscape); }},
      {"empty script", nullptr},
      {"another program put in place (the host's program change): closed before any answer",
       [&answered](SteppedGraphics& g) {
         g.GetPlug()->RestorePreset(0);
         g.steps.push_back([&answered](SteppedGraphics& s) { answered = s.ModalOpen(); });
       }},
      {"another program put in place as an entry is clicked",
       [](SteppedGraphics& g) {
         g.GetPlug()->RestorePreset(0);
         g.ClickAt(g.MenuItemRect(0, 2));
       }},
  };
  for (const Case& c : cases) {
    OpenEditor e;
    if (c.act) e.g->steps.push_back(c.act);
    RightClick(e, GuiPlug::ModeRect());
    EXPECT_FALSE(answered) << c.how;
    EXPECT_FALSE(e.g->ModalOpen()) << c.how;
    EXPECT_EQ(e.plug.GetParam(GuiPlug::kMode)->Int(), 0) << c.how;
    // The click that dismissed the menu reached no control.
    EXPECT_EQ(e.plug.mCounterClicks, 0);
  }
}

TEST(PopupMenu, SubmenuOpensBesideItsEntryAndAChoiceInItReturnsTheSubmenu)
{
  OpenEditor e;
  IRECT waves, sub0, sub1;
  bool disabledKeptOpen = false, separatorKeptOpen = false;
  e.g->steps.push_back([&](SteppedGraphics& g) { g.ClickAt(g.MenuItemRect(0, 3)); }); // "Locked": disabled
  e.g->steps.push_back([&](SteppedGraphics& g) {
    disabledKeptOpen = g.ModalOpen();
    g.ClickAt(g.MenuItemRect(0, 1)); // the separator
  });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    separatorKeptOpen = g.ModalOpen();
    waves = g.MenuItemRect(0, 2);
    g.MouseMove(MidX(waves), MidY(waves), IMouseMod()); // hovering opens the submenu
  });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    sub0 = g.MenuItemRect(1, 0);
    sub1 = g.MenuItemRect(1, 1);
    g.MouseMove(MidX(sub1), MidY(sub1), IMouseMod());
  });
  e.g->steps.push_back([&](SteppedGraphics& g) { g.ClickAt(g.MenuItemRect(1, 2)); });
  const IRECT b = GuiPlug::SubmenuRect();
  e.g->ClickAt(b);
  EXPECT_TRUE(disabledKeptOpen);
  EXPECT_TRUE(separatorKeptOpen);
  ASSERT_FALSE(sub0.Empty());
  EXPECT_GE(sub0.L, waves.R - 4); // to the right of its entry
  EXPECT_LE(std::abs(sub0.T - waves.T), 6);
  EXPECT_EQ(sub1.T, sub0.B);
  ASSERT_EQ(e.plug.mMenuResult, &e.plug.mSubmenu);
  EXPECT_EQ(e.plug.mSubmenu.GetChosenItemIdx(), 2);
}

TEST(PopupMenu, ClickingTheEntryOfASubmenuOpensItAndMovingToAnotherEntryClosesIt)
{
  OpenEditor e;
  bool openedByClick = false, closedByHover = false;
  e.g->steps.push_back([&](SteppedGraphics& g) { g.ClickAt(g.MenuItemRect(0, 2)); });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    openedByClick = !g.MenuItemRect(1, 0).Empty();
    const IRECT mono = g.MenuItemRect(0, 5);
    g.MouseMove(MidX(mono), MidY(mono), IMouseMod());
  });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    closedByHover = g.MenuItemRect(1, 0).Empty();
    g.ClickAt(g.MenuItemRect(0, 4)); // the title entry is choosable
  });
  e.g->ClickAt(GuiPlug::SubmenuRect());
  EXPECT_TRUE(openedByClick);
  EXPECT_TRUE(closedByHover);
  ASSERT_EQ(e.plug.mMenuResult, &e.plug.mMenu);
  EXPECT_EQ(e.plug.mMenu.GetChosenItemIdx(), 4);
}

TEST(PopupMenu, AMenuTallerThanTheEditorWrapsIntoColumnsOnTheSurface)
{
  OpenEditor e;
  std::vector<IRECT> rects;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    for (int i = 0; i < GuiPlug::kTallEntries; ++i) rects.push_back(g.MenuItemRect(0, i));
    g.ClickAt(g.MenuItemRect(0, 45));
  });
  e.g->ClickAt(GuiPlug::TallMenuRect());
  ASSERT_EQ((int)rects.size(), GuiPlug::kTallEntries);
  int columns = 1;
  for (int i = 1; i < GuiPlug::kTallEntries; ++i) {
    const IRECT& a = rects[i - 1];
    const IRECT& b = rects[i];
    if (b.L != a.L) {
      ++columns;
      EXPECT_EQ(b.L, a.R) << i; // the next column starts right of the last
      EXPECT_LT(b.T, a.T);
    } else {
      EXPECT_EQ(b.T, a.B) << i;
    }
  }
  // 60 entries of equal height need more than one 650-pixel column, and every entry lies on the surface.
  const int perColumn = GuiPlug::kHeight / rects[0].H();
  EXPECT_EQ(columns, (GuiPlug::kTallEntries + perColumn - 1) / perColumn);
  for (const IRECT& r : rects) {
    EXPECT_GE(r.L, 0);
    EXPECT_LE(r.R, GuiPlug::kWidth);
    EXPECT_GE(r.T, 0);
    EXPECT_LE(r.B, GuiPlug::kHeight);
  }
  ASSERT_EQ(e.plug.mMenuResult, &e.plug.mTall);
  EXPECT_EQ(e.plug.mTall.GetChosenItemIdx(), 45);
}

TEST(PopupMenu, KeysMoveThroughEnabledEntriesAndReturnChooses)
{
  OpenEditor e;
  // Down: "Init"; down skips the separator: "Waves"; right opens it; down twice: "Square"; return.
  for (int key : {IGraphicsLinux::kDown, IGraphicsLinux::kDown, IGraphicsLinux::kRight, IGraphicsLinux::kDown,
                  IGraphicsLinux::kDown, IGraphicsLinux::kReturn})
    e.g->steps.push_back([key](SteppedGraphics& g) { g.KeyDown(key); });
  e.g->ClickAt(GuiPlug::SubmenuRect());
  ASSERT_EQ(e.plug.mMenuResult, &e.plug.mSubmenu);
  EXPECT_EQ(e.plug.mSubmenu.GetChosenItemIdx(), 1);
}

TEST(PopupMenu, ScriptedChoicesFollowEntryPaths)
{
  struct Case
  {
    const char* path;
    int level; // 0 the menu, 1 the submenu, -1 nothing chosen
    int index;
  };
  const Case cases[] = {{"0", 0, 0},  {"2/2", 1, 2}, {"5", 0, 5},    {"3", -1, 0}, {"1", -1, 0},
                        {"2", -1, 0}, {"9", -1, 0},  {"2/7", -1, 0}, {"", -1, 0},  {"0/1", -1, 0}};
  for (const Case& c : cases) {
    OpenEditor e;
    IGraphicsLinux::ScriptEvent ev;
    ev.kind = IGraphicsLinux::ScriptEvent::kChoose;
    ev.text = c.path;
    e.g->Script(ev);
    e.g->ClickAt(GuiPlug::SubmenuRect());
    if (c.level < 0) {
      EXPECT_EQ(e.plug.mMenuResult, nullptr) << c.path;
      continue;
    }
    IPopupMenu* expected = c.level == 0 ? &e.plug.mMenu : &e.plug.mSubmenu;
    ASSERT_EQ(e.plug.mMenuResult, expected) << c.path;
    EXPECT_EQ(expected->GetChosenItemIdx(), c.index) << c.path;
  }
}

TEST(PopupMenu, NoMenuWithoutAnOpenEditor)
{
  GuiPlug plug{IPlugInstanceInfo{nullptr}};
  IPopupMenu menu;
  menu.AddItem("One");
  IRECT r(0, 0, 10, 10);
  EXPECT_EQ(plug.Editor()->CreateIPopupMenu(&menu, &r), nullptr);
}
