// The value text field, message boxes and tooltips of the Linux surface, driven through its entry points.
#include "gui_support.h"

#include "IParam.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace {

// Opens the value field of the control at r with a right click; the steps run inside its loop.
void PromptAt(OpenEditor& e, const IRECT& r)
{
  e.g->MouseDown(MidX(r), MidY(r), OpenEditor::Right());
}

void Type(SteppedGraphics& g, const char* text)
{
  for (const char* p = text; *p; ++p) g.KeyDown(IGraphicsLinux::kChar, (unsigned char)*p);
}

} // namespace

TEST(TextEntry, TypedNumberConfirmedWithReturnSetsTheParameter)
{
  OpenEditor e;
  IRECT field;
  std::string shown;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    field = g.TextEntryRect();
    shown = g.TextEntryText();
    // Empty the field, type, and look at what it holds before confirming.
    for (int i = 0; i < 10; ++i) g.KeyDown(IGraphicsLinux::kBackspace);
    Type(g, "12.5");
  });
  e.g->steps.push_back([&](SteppedGraphics& g) {
    EXPECT_STREQ(g.TextEntryText(), "12.5");
    g.KeyDown(IGraphicsLinux::kReturn);
  });
  PromptAt(e, GuiPlug::CutoffRect());
  EXPECT_FALSE(e.g->ModalOpen());
  // A 40 x 16 field centred on the control, starting with the current value's text.
  const IRECT c = GuiPlug::CutoffRect();
  EXPECT_EQ(field.W(), 40);
  EXPECT_EQ(field.H(), 16);
  EXPECT_EQ(MidX(field), MidX(c));
  EXPECT_EQ(MidY(field), MidY(c));
  EXPECT_EQ(std::atof(shown.c_str()), 50.0);
  EXPECT_DOUBLE_EQ(e.plug.GetParam(GuiPlug::kCutoff)->Value(), 12.5);
}

TEST(TextEntry, FilterAndLengthByParameterKind)
{
  struct Case
  {
    int param;
    const char* typed;
    const char* held;    // what the field holds after typing into an emptied field
    bool pasted = false; // pasted at once instead, without emptying
  };
  // Doubles take digits, a point and signs; ints (and enums, bools) no point; a parameter without a kind
  // takes nothing; the control's text-entry length (7) caps every field.
  const Case cases[] = {
      {GuiPlug::kCutoff, "1a2b.3", "12.3"},
      {GuiPlug::kCutoff, "-+9x", "-+9"},
      {GuiPlug::kCutoff, "12345678", "1234567"},
      {GuiPlug::kSteps, "7.5", "75"},
      {GuiPlug::kSteps, "abc-3", "-3"},
      {GuiPlug::kPlain, "123abc", ""},
      {GuiPlug::kCutoff, "1x2\t3456789", "1234567", true},
      {GuiPlug::kSteps, "-a5\n", "-5", true},
  };
  const IRECT rects[] = {IRECT(), GuiPlug::CutoffRect(), GuiPlug::StepsRect(), GuiPlug::PlainRect()};
  for (const Case& c : cases) {
    OpenEditor e;
    std::string held = "?";
    e.g->steps.push_back([&](SteppedGraphics& g) {
      for (int i = 0; i < 10 && !c.pasted; ++i) g.KeyDown(IGraphicsLinux::kBackspace);
      c.pasted ? g.PasteText(c.typed) : Type(g, c.typed);
      held = g.TextEntryText();
      g.KeyDown(IGraphicsLinux::kEscape);
    });
    PromptAt(e, rects[c.param]);
    EXPECT_EQ(held, c.held) << c.typed;
  }
}

TEST(TextEntry, EscapeCancelsAndAClickOutsideConfirmsAndReachesTheSurface)
{
  {
    OpenEditor e;
    e.g->steps.push_back([](SteppedGraphics& g) {
      g.KeyDown(IGraphicsLinux::kBackspace);
      Type(g, "9");
      g.KeyDown(IGraphicsLinux::kEscape);
    });
    PromptAt(e, GuiPlug::CutoffRect());
    EXPECT_DOUBLE_EQ(e.plug.GetParam(GuiPlug::kCutoff)->Value(), 50.0);
  }
  {
    OpenEditor e;
    e.g->steps.push_back([](SteppedGraphics& g) {
      for (int i = 0; i < 10; ++i) g.KeyDown(IGraphicsLinux::kBackspace);
      Type(g, "8");
      g.ClickAt(GuiPlug::CounterRect());
    });
    PromptAt(e, GuiPlug::StepsRect());
    EXPECT_EQ(e.plug.GetParam(GuiPlug::kSteps)->Int(), 8);
    EXPECT_EQ(e.plug.mCounterClicks, 1);
  }
  {
    // An empty script confirms what the field holds; ForceEndUserEdit confirms too.
    OpenEditor e;
    e.g->steps.push_back([](SteppedGraphics& g) {
      g.KeyDown(IGraphicsLinux::kBackspace);
      Type(g, "3");
    });
    PromptAt(e, GuiPlug::StepsRect());
    EXPECT_EQ(e.plug.GetParam(GuiPlug::kSteps)->Int(), 3);
    e.g->steps.push_back([](SteppedGraphics& g) {
      g.KeyDown(IGraphicsLinux::kBackspace);
      Type(g, "4");
      g.ForceEndUserEdit();
    });
    e.g->steps.push_back([](SteppedGraphics&) { ADD_FAILURE() << "the field stayed open"; });
    PromptAt(e, GuiPlug::StepsRect());
    EXPECT_EQ(e.plug.GetParam(GuiPlug::kSteps)->Int(), 4);
  }
}

TEST(TextEntry, FreeTextGoesToTheControlInItsEntryColours)
{
  OpenEditor e;
  IColor bg, glyphs;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    const IRECT f = g.TextEntryRect();
    bg = g.GetPoint(f.R - 3, f.B - 3);
    // The brightest pixel over the text: the style's entry foreground (255, 220, 120) blended in.
    int best = -1;
    for (int x = f.L; x < f.L + 40; ++x)
      for (int y = f.T; y < f.B; ++y) {
        const IColor p = g.GetPoint(x, y);
        if (p.R > best) {
          best = p.R;
          glyphs = p;
        }
      }
    for (int i = 0; i < 4; ++i) g.KeyDown(IGraphicsLinux::kBackspace);
    Type(g, "Pad two!");
    g.KeyDown(IGraphicsLinux::kReturn);
  });
  e.g->ClickAt(GuiPlug::NameRect());
  EXPECT_EQ(e.plug.mName, "Pad two!"); // no filter and no length limit without a parameter
  EXPECT_EQ(bg, IColor(255, 20, 30, 60));
  EXPECT_GT(glyphs.R, 200);
  EXPECT_GT(glyphs.R, glyphs.B + 60);
}

// A file chosen without a dialog program: the path is typed into a field under the question, with the
// answer keys said below it; Return takes an absolute path ("~/" expanded), Escape cancels. A press on the
// box (the field, or the margin around it) keeps the field open with its text; one outside it cancels.
TEST(TextEntry, ThePathPromptSaysWhatItAsksAndHowToCancel)
{
  const char* home = std::getenv("HOME");
  const std::string homeDir = home ? home : "";
  enum Press { kNone, kOnField, kOnMargin, kOutside };
  using K = IGraphicsLinux;
  // Backspace once a character of the start; a click at the field's left or right end.
  constexpr int kEmptied = -1, kClickAtStart = -2, kClickAtEnd = -3;
  const char* save = "Press Return to save, or Escape to cancel.";
  const struct
  {
    EFileAction action;
    const char* typed; // typed after the keys
    int key;
    std::string answer;
    const char* hint;
    Press press = kNone; // a press and release after typing, before the key
    std::vector<int> keys = {kEmptied};
    const char* held = nullptr; // what the field holds before the key, when it is not what was typed
    const char* pasted = "";    // before typing
  } cases[] = {
      {kFileSave, "/no/such/folder/Veltrane", K::kReturn, "/no/such/folder/Veltrane", save, kNone, {}},
      {kFileSave, "/x", K::kReturn, "/x/data/First Sound.fxp", save, kNone, {K::kLeft}, "/x/data/First Sound.fxp"},
      {kFileSave, "/x", K::kReturn, "/x/data/First Sound.fxp", save, kNone, {K::kHome}, "/x/data/First Sound.fxp"},
      {kFileSave, "2", K::kReturn, "/data/First Sound.fxp2", save, kNone, {K::kRight}, "/data/First Sound.fxp2"},
      {kFileSave, "b", K::kEscape, "", save, kNone, {K::kEnd, K::kBackspace}, "/data/First Sound.fxb"},
      {kFileSave, "D", K::kEscape, "", save, kNone, {K::kHome, K::kRight, K::kDelete}, "/Data/First Sound.fxp"},
      {kFileSave, "", K::kReturn, "", save, kNone, {K::kBackspace}},
      {kFileSave, "/d", K::kReturn, "/d", save, kNone, {K::kDelete}},
      {kFileSave, "/y", K::kReturn, "/y/data/First Sound.fxp", save, kNone, {kClickAtStart}, "/y/data/First Sound.fxp"},
      {kFileSave, "2", K::kReturn, "/data/First Sound.fxp2", save, kNone, {kClickAtEnd}, "/data/First Sound.fxp2"},
      {kFileSave, "", K::kReturn, "/pasted/x", save, kNone, {}, "/pasted/x", "/pasted/x\n"},
      {kFileSave, "/tmp/First Sound.fxp", IGraphicsLinux::kReturn, "/tmp/First Sound.fxp",
       "Press Return to save, or Escape to cancel."},
      {kFileSave, "/tmp/x.fxp", IGraphicsLinux::kEscape, "", "Press Return to save, or Escape to cancel."},
      {kFileOpen, "~/bank.fxb", IGraphicsLinux::kReturn, homeDir.empty() ? "" : homeDir + "/bank.fxb",
       "Press Return to open, or Escape to cancel."},
      {kFileOpen, "relative.fxb", IGraphicsLinux::kReturn, "/data/relative.fxb", "Press Return to open, or Escape to cancel."},
      {kFileSave, "/tmp/", K::kReturn, "/tmp/", save}, // a folder: the command says it is no file
      {kFileSave, "/tmp/y.fxp", IGraphicsLinux::kReturn, "/tmp/y.fxp", "Press Return to save, or Escape to cancel.",
       kOnField},
      {kFileSave, "/tmp/y.fxp", IGraphicsLinux::kReturn, "/tmp/y.fxp", "Press Return to save, or Escape to cancel.",
       kOnMargin},
      {kFileSave, "/tmp/y.fxp", IGraphicsLinux::kReturn, "", "Press Return to save, or Escape to cancel.", kOutside},
  };
  for (const auto& c : cases) {
    OpenEditor e;
    const std::vector<LICE_pixel> before = e.Snapshot();
    std::string prompt, start, held = "?";
    e.g->steps.push_back([&](SteppedGraphics& g) {
      prompt = g.PathPromptText();
      start = g.TextEntryText();
      const IRECT f = g.TextEntryRect();
      // The start selected: drawn in the field's colours swapped (its light text colour behind it).
      EXPECT_EQ(g.GetPoint(f.L + 3, f.T + 2), IColor(255, 232, 232, 235)) << c.typed;
      if (&c == cases) g.SaveScreenshot((mkdir(GUI_TEST_OUTPUT, 0755), GUI_TEST_OUTPUT "/gui_path_field.png"));
      for (int k : c.keys) {
        for (size_t i = 0; k == kEmptied && i < start.size(); ++i) g.KeyDown(IGraphicsLinux::kBackspace);
        const int x = k == kClickAtStart ? f.L + 2 : f.R - 3;
        if (k <= kClickAtStart) g.ClickAt(IRECT(x, f.T + 2, x + 1, f.T + 3));
        if (k >= 0) g.KeyDown(k);
      }
      g.PasteText(c.pasted);
      Type(g, c.typed);
      const int x = c.press == kOnField ? MidX(f) : c.press == kOnMargin ? f.L - 6 : 5, y = MidY(f);
      if (c.press != kNone) g.ClickAt(IRECT(x, y, x + 1, y + 1));
    });
    e.g->steps.push_back([&](SteppedGraphics& g) {
      held = g.TextEntryText();
      g.KeyDown(c.key);
    });
    EXPECT_EQ(c.answer, e.g->AskForPath(c.action, "Save program as:", "/data/First Sound.fxp")) << c.typed;
    const char* shown = c.held ? c.held : c.typed; // what the field held before the key
    EXPECT_EQ(c.press == kOutside ? "?" : shown, held) << "the field stays open after a press on its box";
    EXPECT_EQ(std::string("Save program as:\n") + c.hint, prompt);
    EXPECT_EQ("/data/First Sound.fxp", start);
    EXPECT_FALSE(e.g->ModalOpen());
    EXPECT_EQ("", e.g->PathPromptText());
    EXPECT_TRUE(e.Snapshot() == before) << "the box is gone";
  }
}

TEST(MessageBox, EachTypeAnswersByTheButtonPressed)
{
  // Answers: the default button 1, the alternate 7, the other 2, a box closed without a button 0.
  struct Case
  {
    int type, buttons;
  };
  const Case cases[] = {{0, 1}, {1, 2}, {3, 3}, {4, 2}};
  const int kAnswer[3] = {1, 7, 2};
  for (const Case& c : cases) {
    for (int position = 0; position < c.buttons; ++position) {
      OpenEditor e;
      e.plug.mBoxType = c.type;
      int nButtons = 0;
      e.g->steps.push_back([&](SteppedGraphics& g) {
        for (int i = 0; i < 4; ++i) nButtons += !g.MessageBoxButtonRect(i).Empty();
        // A press that leaves the button before its release answers nothing.
        const IRECT b = g.MessageBoxButtonRect(position);
        g.MouseDown(MidX(b), MidY(b), OpenEditor::Left());
        g.MouseUp(b.L - 30, b.T - 30, OpenEditor::Left());
      });
      e.g->steps.push_back([&](SteppedGraphics& g) {
        EXPECT_TRUE(g.ModalOpen());
        g.ClickAt(g.MessageBoxButtonRect(position));
      });
      e.g->ClickAt(GuiPlug::BoxRect());
      EXPECT_EQ(nButtons, c.buttons) << c.type;
      EXPECT_EQ(e.plug.mBoxAnswer, kAnswer[position]) << c.type << " " << position;
      ASSERT_EQ(e.g->NMessageBoxes(), 1);
      EXPECT_EQ(e.g->GetMessageBox(0)->answer, kAnswer[position]);
    }
    // Return presses the default button, Escape closes the box without one; a click outside does nothing.
    for (int key : {IGraphicsLinux::kReturn, IGraphicsLinux::kEscape}) {
      OpenEditor e;
      e.plug.mBoxType = c.type;
      e.g->steps.push_back([](SteppedGraphics& g) { g.ClickAt(IRECT(5, 5, 6, 6)); });
      e.g->steps.push_back([key](SteppedGraphics& g) {
        EXPECT_TRUE(g.ModalOpen());
        g.KeyDown(key);
      });
      e.g->ClickAt(GuiPlug::BoxRect());
      EXPECT_EQ(e.plug.mBoxAnswer, key == IGraphicsLinux::kReturn ? 1 : 0) << c.type;
    }
  }
}

TEST(MessageBox, DrawnCentredWithItsTextAndRestoredAfter)
{
  OpenEditor e;
  const std::vector<LICE_pixel> before = e.Snapshot();
  int darkCentre = 0, textPixels = 0;
  IRECT yes;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    yes = g.MessageBoxButtonRect(0);
    for (int x = 600; x < 680; ++x) darkCentre += IsMenuPanel(g.GetPoint(x, yes.T - 4));
    // Light glyph pixels on the dark panel between the caption and the buttons.
    for (int y = 300; y < yes.T - 8; ++y)
      for (int x = 440; x < 840; ++x) textPixels += g.GetPoint(x, y).R > 150;
    g.KeyDown(IGraphicsLinux::kReturn);
  });
  e.g->ClickAt(GuiPlug::BoxRect());
  EXPECT_GT(darkCentre, 40);
  EXPECT_GT(textPixels, 50);
  EXPECT_GT(yes.L, GuiPlug::kWidth / 2); // the default button on the right
  e.g->Tick();
  EXPECT_TRUE(e.Snapshot() == before);
}

TEST(Tooltip, AppearsAfterHalfASecondOfRestAndGoesWhenTheMouseMoves)
{
  OpenEditor e;
  e.g->UpdateTooltips();
  const std::vector<LICE_pixel> before = e.Snapshot();
  const IRECT m = GuiPlug::ModeRect();
  e.g->MouseMove(MidX(m), MidY(m), IMouseMod());
  int ticks = 0;
  while (!*e.g->TooltipText() && ticks < 100) {
    e.g->Tick();
    ++ticks;
  }
  EXPECT_STREQ(e.g->TooltipText(), "Oscillator wave");
  // 25 ticks a second: about half a second.
  EXPECT_GE(ticks, 11);
  EXPECT_LE(ticks, 14);
  EXPECT_FALSE(e.Snapshot() == before);
  e.g->MouseMove(MidX(m) + 1, MidY(m), IMouseMod());
  EXPECT_STREQ(e.g->TooltipText(), "");
  EXPECT_TRUE(e.Snapshot() == before);
  // A control without a tooltip shows none.
  const IRECT s = GuiPlug::StepsRect();
  e.g->MouseMove(MidX(s), MidY(s), IMouseMod());
  for (int i = 0; i < 40; ++i) e.g->Tick();
  EXPECT_STREQ(e.g->TooltipText(), "");
  // Without tooltips enabled, none either.
  e.g->mEnableTooltips = false;
  e.g->MouseMove(MidX(m), MidY(m), IMouseMod());
  for (int i = 0; i < 40; ++i) e.g->Tick();
  EXPECT_STREQ(e.g->TooltipText(), "");
}

TEST(MessageBox, ControlsRedrawnUnderAnOpenBoxStayUnderIt)
{
  OpenEditor e;
  const std::vector<LICE_pixel> before = e.Snapshot();
  bool same = false, presentedOnce = false;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    OpenEditor* self = &e;
    const std::vector<LICE_pixel> open = self->Snapshot();
    // The name field lies partly, the box button wholly under the box: both redraw at the next tick.
    g.GetControl(7)->SetDirty(false);
    g.GetControl(8)->SetDirty(false);
    const int presents = g.NScreenPresents();
    EXPECT_TRUE(g.Tick());
    presentedOnce = g.NScreenPresents() == presents + 1; // no frame without the box on top
    const std::vector<LICE_pixel> after = self->Snapshot();
    same = after == open;
    g.KeyDown(IGraphicsLinux::kEscape);
  });
  e.g->ClickAt(GuiPlug::BoxRect());
  EXPECT_TRUE(same);
  EXPECT_TRUE(presentedOnce);
  e.g->Tick();
  EXPECT_TRUE(e.Snapshot() == before);
}

TEST(TextEntry, AValueArrivingWhileTheFieldIsOpenIsDrawnUnderItAndShowsWhenItCloses)
{
  OpenEditor e;
  bool fieldKept = false;
  e.g->steps.push_back([&](SteppedGraphics& g) {
    const IRECT f = g.TextEntryRect();
    std::vector<IColor> field;
    for (int x = f.L; x < f.R; ++x) field.push_back(g.GetPoint(x, MidY(f)));
    // The host moves the parameter (from any thread: the value waits for the tick).
    g.QueueParameterFromPlug(GuiPlug::kCutoff, 0.25);
    e.plug.GetParam(GuiPlug::kCutoff)->SetNormalized(0.25);
    EXPECT_TRUE(g.Tick());
    fieldKept = true;
    for (int x = f.L; x < f.R; ++x) fieldKept = fieldKept && g.GetPoint(x, MidY(f)) == field[x - f.L];
    g.KeyDown(IGraphicsLinux::kEscape);
  });
  PromptAt(e, GuiPlug::CutoffRect());
  EXPECT_TRUE(fieldKept);
  e.g->Tick();
  const std::vector<LICE_pixel> closed = e.Snapshot();
  // What a full redraw of the editor shows now.
  e.g->SetAllControlsDirty();
  e.g->Tick();
  EXPECT_TRUE(e.Snapshot() == closed);
}
