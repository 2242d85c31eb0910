// The editor surface driven through its entry points: hit testing in attach order, gestures and capture,
// dirty tracking and the area redrawn, wheel and key routing, values both ways between controls and
// parameters, value prompts, rebuilds during a gesture, the drawing operations' geometry, images that
// cannot be loaded, the popup menu model and bitmap text.
#include "IControl.h"
#include "IGraphicsLinux.h"
#include "IParam.h"
#include "PlugHarness.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A plug-in that counts the host gesture notices and idle calls.
class GesturePlug : public IPlugVST
{
public:
  // Parameters: 0 and 3 plain, 1 a double of -10..10 dB shown negated, 2 an enum A, B, C.
  GesturePlug()
      : IPlugVST(IPlugInstanceInfo{nullptr}, 4, "2-2", 1, "Gestures", "", "Tests", 0x00010001,
                 VstFourCC('g', 'e', 's', 't'), VstFourCC('T', 'e', 's', 't'), 0, false, false, false)
  {
    GetParam(0)->InitDouble("P0", 0.0, 0.0, 1.0, 0.001);
    GetParam(1)->InitDouble("Cutoff", 0.0, -10.0, 10.0, 0.1, "dB");
    GetParam(1)->SetDisplayNegated(true);
    GetParam(2)->InitEnum("Mode", 1, 3);
    GetParam(2)->SetDisplayText(0, "A");
    GetParam(2)->SetDisplayText(1, "B");
    GetParam(2)->SetDisplayText(2, "C");
    GetParam(3)->InitDouble("P3", 0.0, 0.0, 1.0, 0.001);
  }
  void BeginInformHostOfParamChange(int idx) override { events.push_back("begin " + std::to_string(idx)); }
  void EndInformHostOfParamChange(int idx) override { events.push_back("end " + std::to_string(idx)); }
  void OnIdle() override { ++idles; }
  std::vector<std::string> events;
  int idles = 0;
};

// Records what reaches it; draws a fill of its colour.
class Probe : public IControl
{
public:
  Probe(IPlugBase* p, IRECT r, int param = -1, const char* name = "") : IControl(p, r, param), mName(name) {}
  bool Draw(IGraphics* g) override
  {
    ++draws;
    return g->FillIRect(&mColor, &mRECT);
  }
  void OnMouseDown(int x, int y, IMouseMod* m) override
  {
    log.push_back(mName + " down");
    IControl::OnMouseDown(x, y, m);
  }
  void OnMouseUp(int, int, IMouseMod*) override { log.push_back(mName + " up"); }
  void OnMouseDrag(int, int, int dX, int dY, IMouseMod*) override
  {
    log.push_back(mName + " drag " + std::to_string(dX) + "," + std::to_string(dY));
  }
  void OnMouseWheel(int, int, IMouseMod*, int d) override { log.push_back(mName + " wheel " + std::to_string(d)); }
  bool OnKeyDown(int, int, int key) override
  {
    log.push_back(mName + " key " + std::to_string(key));
    return true;
  }
  static std::vector<std::string> log;
  std::string mName;
  IColor mColor = COLOR_RED;
  int draws = 0;
};
std::vector<std::string> Probe::log;

// A surface whose menus and text fields are answered by the test.
class AnsweringSurface : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT*) override
  {
    shown.clear();
    for (int i = 0; i < menu->GetNItems(); ++i)
      shown.push_back(std::string(menu->GetItemText(i)) + (menu->IsItemChecked(i) ? "*" : ""));
    if (choice < 0) return nullptr;
    menu->SetChosenItemIdx(choice);
    return menu;
  }
  void CreateTextEntry(IControl*, IText*, IRECT* r, const char* str, IParam*) override
  {
    entryText = str;
    entryRect = *r;
  }
  std::vector<std::string> shown;
  int choice = -1;
  std::string entryText;
  IRECT entryRect;
};

struct Rig
{
  Rig() : g(new AnsweringSurface(&plug, 200, 100))
  {
    plug.AttachGraphics(g);
    Probe::log.clear();
  }
  Probe* add(IRECT r, int param = -1, const char* name = "")
  {
    Probe* p = new Probe(&plug, r, param, name);
    g->AttachControl(p);
    return p;
  }
  GesturePlug plug;
  AnsweringSurface* g; // owned by the plug-in
  IMouseMod left{true};
  std::unique_ptr<IControl> trash; // a control a test took out of the list
};

} // namespace

TEST(SurfaceInput, LaterControlsWinAndGesturesTellTheHostOnce)
{
  Rig r;
  Probe* under = r.add(IRECT(0, 0, 100, 100), 1, "under");
  Probe* over = r.add(IRECT(50, 50, 150, 100), 2, "over");
  r.g->MouseDown(60, 60, r.left);
  r.g->MouseMove(60, 60, r.left); // no movement: not delivered
  r.g->MouseMove(70, 55, r.left);
  r.g->MouseUp(190, 95, r.left); // released elsewhere: the captured control still gets it
  EXPECT_EQ((std::vector<std::string>{"over down", "over drag 10,-5", "over up"}), Probe::log);
  EXPECT_EQ((std::vector<std::string>{"begin 2", "end 2"}), r.plug.events);

  Probe::log.clear();
  over->GrayOut(true);
  r.g->MouseDown(60, 60, r.left);
  over->GrayOut(false);
  over->Hide(true);
  r.g->MouseUp(60, 60, r.left);
  r.g->MouseDown(60, 60, r.left);
  EXPECT_EQ((std::vector<std::string>{"under down", "under up", "under down"}), Probe::log);
  EXPECT_FALSE(under->GetTargetRECT()->Contains(100, 50)) << "R is exclusive";

  // Wheel goes to the captured control, keys over the background go to the key catcher or nowhere.
  Probe::log.clear();
  r.g->MouseWheel(190, 10, r.left, -3);
  r.g->MouseUp(60, 60, r.left);
  r.g->MouseWheel(10, 10, r.left, 2);
  r.g->MouseWheel(190, 10, r.left, 2); // no control there
  EXPECT_EQ((std::vector<std::string>{"under wheel -3", "under up", "under wheel 2"}), Probe::log);
  Probe::log.clear();
  r.g->MouseMove(10, 10, IMouseMod());
  EXPECT_FALSE(r.g->KeyDown(IGraphicsLinux::kChar, 'q')) << "index 0 is the background: no catcher, not handled";
  Probe* catcher = new Probe(&r.plug, IRECT(), -1, "catcher");
  r.g->AttachKeyCatcher(catcher);
  EXPECT_TRUE(r.g->KeyDown(IGraphicsLinux::kChar, 'Q'));
  EXPECT_FALSE(r.g->KeyDown(IGraphicsLinux::kTab));
  r.g->MouseMove(120, 80, IMouseMod());
  over->Hide(false);
  EXPECT_TRUE(r.g->KeyDown(IGraphicsLinux::kChar, '7'));
  EXPECT_EQ((std::vector<std::string>{"catcher key 31", "over key 12"}), Probe::log);
}

TEST(SurfaceRedraw, DirtyUnionStrictAreaAndIdleHook)
{
  Rig r;
  r.g->OpenWindow(nullptr);
  Probe* a = r.add(IRECT(0, 0, 10, 10));
  Probe* b = r.add(IRECT(10, 0, 20, 10)); // touches a's right edge
  Probe* c = r.add(IRECT(-5, 0, 0, 10));  // touches a's left edge
  Probe* d = r.add(IRECT(100, 50, 120, 60));
  IRECT u;
  ASSERT_TRUE(r.g->IsDirty(&u));
  EXPECT_EQ(IRECT(-5, 0, 120, 60), u);
  IRECT area(0, 0, 10, 10);
  r.g->Draw(&area);
  EXPECT_EQ((std::vector<int>{1, 1, 0, 0}), (std::vector<int>{a->draws, b->draws, c->draws, d->draws}))
      << "touching the area's right edge counts (b), touching its left edge does not (c)";
  EXPECT_FALSE(r.g->IsDirty(&u)) << "every control is cleaned";

  // A value change redraws the control once more on the tick after (its redraw request).
  d->SetValueFromPlug(0.2);
  d->SetValueFromPlug(0.7);
  EXPECT_TRUE(r.g->Tick());
  EXPECT_TRUE(r.g->Tick());
  EXPECT_FALSE(r.g->Tick());
  EXPECT_EQ(2, d->draws);

  // The idle hook runs on the 21st clean tick in a row, and a dirty tick restarts the count.
  const int before = r.plug.idles;
  for (int i = 0; i < 19; ++i) r.g->Tick();
  EXPECT_EQ(before, r.plug.idles);
  d->SetDirty(false);
  for (int i = 0; i < 21; ++i) r.g->Tick();
  EXPECT_EQ(before, r.plug.idles);
  r.g->Tick();
  EXPECT_EQ(before + 1, r.plug.idles);
}

// A control drawn again because it meets a dirty one draws its text inside the dirty area only: glyph edges
// drawn over themselves outside it would grow bolder with every redraw around them.
TEST(SurfaceRedraw, AnOverlappedTextIsDrawnOnlyInsideTheArea)
{
  Rig r;
  r.g->SetStrictDrawing(false);
  LICE_MemBitmap grey(200, 100);
  LICE_Clear(&grey, LICE_RGBA(40, 44, 50, 255));
  IBitmap back(&grey, 200, 100);
  r.g->AttachControl(new IBitmapControl(&r.plug, 0, 0, -1, &back));
  IText style(14, &COLOR_WHITE, "Arial");
  r.g->AttachControl(new ITextControl(&r.plug, IRECT(10, 40, 190, 60), &style, "Overlapped text 0123"));
  Probe* over = r.add(IRECT(60, 30, 80, 50)); // meets the left half of the text
  r.g->OpenWindow(nullptr);
  r.g->Tick();
  auto pixels = [&] {
    LICE_IBitmap* bm = r.g->GetDrawBitmap();
    return std::vector<LICE_pixel>(bm->getBits(), bm->getBits() + bm->getRowSpan() * bm->getHeight());
  };
  const std::vector<LICE_pixel> first = pixels();
  for (int i = 0; i < 3; ++i) {
    over->SetDirty(false);
    r.g->Tick();
  }
  EXPECT_EQ(first, pixels());
}

TEST(SurfaceValues, BothWaysWithClampDisplaysQueueAndPrompts)
{
  Rig r;
  Probe* knob = r.add(IRECT(0, 0, 40, 40), 1);
  Probe* mode = r.add(IRECT(50, 0, 90, 20), 2);
  IText style;
  ITextControl* display = new ITextControl(&r.plug, IRECT(0, 50, 80, 70), &style);
  r.g->AttachControl(display);
  knob->SetValueDisplayControl(display);
  r.plug.RedrawParamControls();
  EXPECT_DOUBLE_EQ(0.5, knob->GetValue());
  EXPECT_DOUBLE_EQ(0.5, knob->GetDefaultValue());

  knob->SetClamp(0.2, 0.8);
  knob->SetValueFromUserInput(0.9);
  EXPECT_DOUBLE_EQ(0.8, knob->GetValue());
  EXPECT_NEAR(6.0, r.plug.GetParam(1)->Value(), 1e-9);
  EXPECT_STREQ("6.0 dB", display->GetTextString());

  // From another thread: the value waits for the tick.
  r.g->QueueParameterFromPlug(1, 0.25);
  EXPECT_DOUBLE_EQ(0.8, knob->GetValue());
  r.g->Tick();
  EXPECT_DOUBLE_EQ(0.25, knob->GetValue());

  // A right click prompts: a menu of the enum's texts with the current one ticked.
  knob->mDisablePrompt = mode->mDisablePrompt = false;
  r.g->choice = 2;
  IMouseMod right(false, true);
  r.g->MouseDown(60, 10, right);
  r.g->MouseUp(60, 10, right);
  EXPECT_EQ((std::vector<std::string>{"A", "B*", "C"}), r.g->shown);
  EXPECT_DOUBLE_EQ(2.0, r.plug.GetParam(2)->Value());
  r.g->choice = -1; // dismissed: unchanged
  mode->PromptUserInput();
  EXPECT_DOUBLE_EQ(2.0, r.plug.GetParam(2)->Value());

  // A double parameter opens a 40 x 16 text field centred on the control; typed text is read back negated
  // and clamped to the range ("12.5 dB": -10).
  knob->SetClamp(0.0, 1.0);
  knob->PromptUserInput();
  EXPECT_EQ(IRECT(0, 12, 40, 28), r.g->entryRect);
  const struct { Probe* control; int param; const char* typed; double expected; } typed[] = {
      {knob, 1, "12.5 dB", -10.0}, {knob, 1, "3", -3.0}, {mode, 2, "B", 1.0}};
  for (const auto& t : typed) {
    r.g->SetFromStringAfterPrompt(t.control, r.plug.GetParam(t.param), t.typed);
    EXPECT_NEAR(t.expected, r.plug.GetParam(t.param)->Value(), 1e-9) << t.typed;
  }
}

TEST(SurfaceRebuild, DetachingDuringAGestureEndsItAndResetsTheMouseOver)
{
  Rig r;
  r.g->mHandleMouseOver = true;
  r.add(IRECT(0, 0, 50, 50), 1, "a");
  r.add(IRECT(50, 0, 100, 50), 3, "b");
  r.g->MouseMove(60, 10, IMouseMod());
  EXPECT_EQ(1, r.g->GetMouseOver());
  r.g->MouseDown(60, 10, r.left);
  delete r.g->DetachControl(0); // a panel rebuild removes the first control
  EXPECT_EQ(-1, r.g->GetMouseCapture());
  EXPECT_EQ(-1, r.g->GetMouseOver());
  r.g->MouseMove(70, 20, r.left);
  r.g->MouseUp(70, 20, r.left); // the release now finds "b" at index 0 by hit test
  EXPECT_EQ((std::vector<std::string>{"begin 3", "end 3", "end 3"}), r.plug.events);
  EXPECT_EQ((std::vector<std::string>{"b down", "b up"}), Probe::log);
}

// A release whose handler replaces its control (a panel rebuild) ends the gesture for the parameter the
// press began it for, not for the control that now stands at that index.
TEST(SurfaceRebuild, AReleaseThatReplacesItsControlEndsTheGestureItBegan)
{
  class Replacer : public Probe
  {
  public:
    Replacer(Rig* rig) : Probe(&rig->plug, IRECT(0, 0, 50, 50), 1, "old"), mRig(rig) {}
    void OnMouseUp(int x, int y, IMouseMod* m) override
    {
      Probe::OnMouseUp(x, y, m);
      mRig->g->DetachControl(0);
      mRig->add(IRECT(0, 0, 50, 50), 3, "new");
      mRig->trash.reset(this);
    }
    Rig* mRig;
  };
  Rig r;
  r.g->AttachControl(new Replacer(&r));
  r.g->MouseDown(10, 10, r.left);
  r.g->MouseUp(10, 10, r.left);
  EXPECT_EQ((std::vector<std::string>{"begin 1", "end 1"}), r.plug.events);
  EXPECT_EQ(3, r.g->GetControl(0)->ParamIdx());
}

TEST(SurfaceDrawing, GeometryOfTheOperations)
{
  Rig r;
  r.g->mDrawRECT = IRECT(0, 0, 200, 100);
  LICE_IBitmap* bits = r.g->GetDrawBitmap();
  auto at = [&](int x, int y) { return IColorOfPixel(LICE_GetPixel(bits, x, y)); };
  // Frame 2 of a three-frame strip 40 x 120, clipped to the drawing rectangle (0, 0, 30, 30).
  LICE_MemBitmap strip(40, 120);
  for (int f = 0; f < 3; ++f) LICE_FillRect(&strip, 0, f * 40, 40, 40, LICE_RGBA(f * 100, 0, 0, 255), 1.0f, 0);
  IBitmap ib(&strip, 40, 120, 3);
  r.g->mDrawRECT = IRECT(0, 0, 30, 30);
  IRECT dest(10, 10, 50, 50);
  r.g->DrawBitmap(&ib, &dest, 2, nullptr);
  EXPECT_EQ(100, at(10, 10).R);
  EXPECT_EQ(100, at(29, 29).R);
  EXPECT_EQ(0, at(30, 30).R) << "clipped";
  IRECT box(100, 0, 200, 50);
  r.g->DrawHorizontalLine(&COLOR_WHITE, &box, 0.0f);
  r.g->DrawHorizontalLine(&COLOR_GREEN, &box, 1.5f);
  r.g->DrawRadialLine(&COLOR_BLUE, 50, 80, 0.0f, 10.0f, 20.0f);
  const struct { int x, y; IColor expected; } lines[] = {
      {150, 50, COLOR_WHITE}, {150, 0, COLOR_GREEN}, {50, 60, COLOR_BLUE}, {50, 70, COLOR_BLUE}};
  for (const auto& p : lines) EXPECT_EQ(p.expected, at(p.x, p.y)) << p.x << "," << p.y;
  EXPECT_NE(COLOR_BLUE, at(50, 71));
  IChannelBlend quarter(IChannelBlend::kBlendClobber, 0.25f), odd(7, 0.5f);
  EXPECT_EQ(LICE_BLIT_MODE_COPY, LiceBlendMode(&quarter));
  EXPECT_EQ(LICE_BLIT_USE_ALPHA, LiceBlendMode(&odd));
  EXPECT_EQ(0x0000FFFFu, LiceColor(&COLOR_RED));
  EXPECT_EQ(0xFF0000FFu, LiceColor(&COLOR_BLUE));

  // Measuring text: centred on the rectangle's middle, width and height of the text.
  IText t(12, &COLOR_BLACK, "Arial");
  IRECT m(100, 0, 200, 20);
  ASSERT_TRUE(r.g->MeasureIText(&t, "abc", &m));
  EXPECT_NEAR(150, (m.L + m.R) / 2, 1);
  EXPECT_GT(m.W(), 10);
  EXPECT_GT(m.B, 10);
  IText same(12, &COLOR_RED, "Arial", IText::kStyleNormal, IText::kAlignFar);
  IText bigger(13, &COLOR_BLACK, "Arial");
  EXPECT_EQ(r.g->CacheFont(&t), r.g->CacheFont(&same));
  EXPECT_NE(r.g->CacheFont(&t), r.g->CacheFont(&bigger));
}

TEST(SurfaceImages, AMissingImageIsOnePlaceholderNeverNull)
{
  Rig r;
  IBitmap a = r.g->LoadIBitmap(9001, "no-such-image.png");
  IBitmap b = r.g->LoadIBitmap(9001, "no-such-image.png");
  ASSERT_NE(nullptr, a.mData);
  EXPECT_EQ(a.mData, b.mData);
  EXPECT_GT(a.W, 0);
  r.g->AttachBackground(9002, "no-background.png");
  EXPECT_EQ(IRECT(0, 0, a.W, a.H), *r.g->GetControl(0)->GetRECT());
}

TEST(PopupMenuModel, InsertionTicksAndPrefixes)
{
  IPopupMenu m;
  m.AddItem("a");
  m.AddItem("b");
  m.AddItem("c");
  m.AddItem("d", 7);
  m.AddItem("front", -2);
  m.AddItem("second", 1);
  EXPECT_STREQ("front", m.GetItemText(0));
  EXPECT_STREQ("second", m.GetItemText(1));
  EXPECT_STREQ("d", m.GetItemText(5));
  IPopupMenu sub;
  m.AddItem("sub", &sub);
  m.AddSeparator(2);
  EXPECT_STREQ("", m.GetItemText(2));
  EXPECT_EQ(IPopupMenuItem::kSeparator, m.GetItem(2)->GetFlags());
  m.CheckItem(3, true);
  m.CheckItemAlone(4);
  for (int i = 0; i < m.GetNItems(); ++i) EXPECT_EQ(i == 4, m.IsItemChecked(i)) << i;
  m.CheckItemAlone(-1);
  EXPECT_FALSE(m.IsItemChecked(4));
  EXPECT_FALSE(m.CheckItem(m.GetNItems(), true));
  EXPECT_EQ(nullptr, m.GetItem(-1));
  m.SetPrefix(2);
  m.SetPrefix(4);
  WDL_String s;
  m.GetDisplayText(0, &s);
  EXPECT_STREQ("01: front", s.Get());
  m.SetPrefix(1);
  for (int i = m.GetNItems(); i < 10; ++i) m.AddItem("x");
  m.GetDisplayText(9, &s);
  EXPECT_STREQ("10: x", s.Get());
}

TEST(BitmapText, CellsFollowAlignmentCentringAndWrapping)
{
  Rig r;
  r.g->mDrawRECT = IRECT(0, 0, 200, 100);
  // A font strip of 95 frames 10 x 12: frame k filled with red k.
  LICE_MemBitmap strip(10, 95 * 12);
  for (int k = 0; k < 95; ++k) LICE_FillRect(&strip, 0, k * 12, 10, 12, LICE_RGBA(k + 1, 0, 0, 255), 1.0f, 0);
  IBitmap font(&strip, 10, 95 * 12, 95);
  IText centre;
  IRECT rect(0, 0, 100, 20);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  DrawBitmapedText(r.g, &font, &rect, &centre, &clobber, "ABC", true, false, 10, 12, 2);
  // Multi-line: 25 characters of width 10 in 100 pixels: three lines, 5 on the last.
  IText near;
  near.mAlign = IText::kAlignNear;
  IRECT wide(0, 40, 100, 100);
  DrawBitmapedText(r.g, &font, &wide, &near, &clobber, "abcdefghijklmnopqrstuvwxy", false, true, 10, 12, 0);
  // Centred: x0 = 35 (the offset is not counted), y0 = 4.
  const struct { int x, y, red; } cells[] = {{35, 4, 'A' - 31}, {47, 4, 'B' - 31}, {59, 15, 'C' - 31},
                                              {34, 4, 0},         {35, 3, 0},         {0, 40, 'a' - 31},
                                              {0, 52, 'k' - 31},  {40, 64, 'y' - 31}, {50, 64, 0}};
  for (const auto& c : cells)
    EXPECT_EQ(c.red, (int)LICE_GETR(LICE_GetPixel(r.g->GetDrawBitmap(), c.x, c.y))) << c.x << "," << c.y;

  // A width of 19 holds one whole 10-pixel cell a line: "ABCDE" takes five lines, every character drawn.
  IRECT narrow(120, 0, 139, 100);
  DrawBitmapedText(r.g, &font, &narrow, &near, &clobber, "ABCDE", false, true, 10, 12, 0);
  for (int k = 0; k < 5; ++k)
    EXPECT_EQ('A' + k - 31, (int)LICE_GETR(LICE_GetPixel(r.g->GetDrawBitmap(), 125, 12 * k + 6))) << k;
}

TEST(SurfaceRedraw, APanelBackgroundRepaintsOnlyTheAreaBeingDrawn)
{
  Rig r;
  r.g->OpenWindow(nullptr);
  r.g->AttachPanelBackground(&COLOR_GRAY);
  Probe* left = r.add(IRECT(10, 10, 30, 30));
  Probe* right = r.add(IRECT(100, 10, 120, 30));
  right->mColor = COLOR_BLUE;
  r.g->Tick(); // everything drawn once
  left->SetDirty(false);
  r.g->Tick(); // the background intersects the dirty area and is drawn again, the right probe is not
  EXPECT_EQ(COLOR_BLUE, r.g->GetPoint(110, 20)) << "a control outside the area keeps its pixels";
  EXPECT_EQ(COLOR_RED, r.g->GetPoint(20, 20));
  EXPECT_EQ(COLOR_GRAY, r.g->GetPoint(5, 5));
}
