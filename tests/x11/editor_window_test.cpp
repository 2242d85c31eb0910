// The editor in a host's X11 window, under a private Xvfb: the window is a child of the host's, its pixels
// equal the headless frame of the same state, input sent with XTest reaches the controls the way the entry
// points describe, unused keys go back to the host, modal elements read the window's events, file dialogs
// and the browser are other programs started without a shell (else a typed path that only Return takes), and
// opening and closing leaves nothing behind.
// Careless hosts too: unusable parents, no server or one that dies, handlers set and put back, the editor or
// the instance closed under an open menu, exposure storms.
// Xlib's macros (None, Bool, Status) must come after GoogleTest and the framework's headers.
#include <gtest/gtest.h>

#include "IControl.h"
#include "IGraphicsLinux.h"
#include "IPlugVST.h"

#include "XServer.h"
#include "../support/sanitized.h"
#include "../support/unload_cycle.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

enum { kKnob = 0, kSwitch, kNumParams };
constexpr int kW = 320, kH = 200;
constexpr double kDragPerPixel = 0.005; // the knob's gearing: value per pixel of upward drag
constexpr double kWheelStep = 0.05;     // the knob's value per wheel step
const IRECT kKnobRect(20, 20, 100, 100), kSwitchRect(120, 20, 160, 60), kProbeRect(180, 20, 300, 180);

std::vector<std::string> gLog; // what the probe received

std::string ModText(const IMouseMod* m)
{
  std::ostringstream s;
  s << m->L << ' ' << m->R << ' ' << m->S << ' ' << m->C << ' ' << m->A;
  return s.str();
}

// The background, drawn only where the surface redraws (as an image background is).
class Backdrop : public IControl
{
public:
  Backdrop(IPlugBase* p) : IControl(p, IRECT(0, 0, kW, kH)) {}
  bool Draw(IGraphics* g) override
  {
    IColor c(255, 25, 30, 35);
    IRECT r = mRECT.Intersect(g->mDrawRECT);
    return r.Empty() || g->FillIRect(&c, &r);
  }
};

// Vertical drag and wheel change the value; drawn as a level bar and a pointer line.
class Knob : public IControl
{
public:
  Knob(IPlugBase* p) : IControl(p, kKnobRect, kKnob) {}
  bool Draw(IGraphics* g) override
  {
    IColor back(255, 40, 40, 60), bar(255, 220, 180, 40), line(255, 250, 250, 250);
    IRECT r = mRECT;
    g->FillIRect(&back, &r);
    IRECT level(r.L, r.B - (int)(mValue * r.H()), r.R, r.B);
    g->FillIRect(&bar, &level);
    return g->DrawRadialLine(&line, r.MW(), r.MH(), (float)(mValue * 5.0 - 2.5), 5.0f, 35.0f, nullptr, true);
  }
  void OnMouseDrag(int, int, int, int dY, IMouseMod*) override
  {
    mValue -= dY * kDragPerPixel;
    SetDirty();
  }
  void OnMouseWheel(int, int, IMouseMod*, int d) override
  {
    mValue += d * kWheelStep;
    SetDirty();
  }
};

class Switch : public IControl
{
public:
  Switch(IPlugBase* p) : IControl(p, kSwitchRect, kSwitch) {}
  bool Draw(IGraphics* g) override
  {
    IColor on(255, 30, 200, 90), off(255, 90, 30, 30);
    return g->FillIRect(mValue > 0.5 ? &on : &off, &mRECT);
  }
  void OnMouseDown(int, int, IMouseMod*) override
  {
    mValue = mValue > 0.5 ? 0.0 : 1.0;
    SetDirty();
  }
};

// Records every input it gets.
class Probe : public IControl
{
public:
  Probe(IPlugBase* p) : IControl(p, kProbeRect) {}
  bool Draw(IGraphics* g) override
  {
    IColor c(255, 70, 110, 160);
    return g->FillIRect(&c, &mRECT);
  }
  void OnMouseDown(int, int, IMouseMod* m) override { gLog.push_back("down " + ModText(m)); }
  void OnMouseDblClick(int, int, IMouseMod* m) override { gLog.push_back("dbl " + ModText(m)); }
  void OnMouseUp(int, int, IMouseMod*) override { gLog.push_back("up"); }
  void OnMouseWheel(int, int, IMouseMod*, int d) override { gLog.push_back("wheel " + std::to_string(d)); }
  bool OnKeyDown(int, int, int key) override
  {
    gLog.push_back("key " + std::to_string(key));
    return true;
  }
};

// Opens a menu of three entries when pressed, in the host's idle call that delivers the press.
class MenuButton : public IControl
{
public:
  MenuButton(IPlugBase* p, IRECT r) : IControl(p, r) {}
  bool Draw(IGraphics* g) override
  {
    IColor c(255, 160, 90, 40);
    return g->FillIRect(&c, &mRECT);
  }
  void OnMouseDown(int, int, IMouseMod*) override
  {
    IPopupMenu menu;
    for (const char* item : {"Copy", "Paste", "Init"}) menu.AddItem(item);
    chosen = mPlug->GetGUI()->CreateIPopupMenu(&menu, &mRECT) ? 1 : 0;
    ++opened;
  }
  int opened = 0;
  int chosen = -1;
};

// The surface with the hook a test needs: a user action when a modal loop first asks for input.
class TestSurface : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;
  bool RunModalStep() override
  {
    if (++modalSteps == 1) {
      firstStep = Clock::now();
      if (onFirstModalStep) onFirstModalStep();
    }
    // Never hang a test: after 20 s the element is dismissed, and gaveUp tells it was not the editor's doing.
    gaveUp = Clock::now() - firstStep > std::chrono::seconds(20);
    return !gaveUp && WindowModalStep();
  }
  // The next modal element runs `f` when it first asks for input.
  void OnFirstStep(std::function<void()> f)
  {
    modalSteps = 0;
    onFirstModalStep = std::move(f);
  }
  using Clock = std::chrono::steady_clock;
  std::function<void()> onFirstModalStep;
  int modalSteps = 0;
  Clock::time_point firstStep;
  bool gaveUp = false;
};

class EditorPlug : public IPlugVST
{
public:
  EditorPlug()
      : IPlugVST(IPlugInstanceInfo{nullptr}, kNumParams, "2-2", 1, "X11 Editor", "", "Tests", 0x00010000,
                 VstFourCC('x', '1', '1', 'e'), VstFourCC('T', 'e', 's', 't'), 0, false, false, false)
  {
    GetParam(kKnob)->InitDouble("Knob", 0.5, 0.0, 1.0, 0.0001);
    GetParam(kSwitch)->InitBool("Switch", false);
    surface = new TestSurface(this, kW, kH);
    surface->AttachControl(new Backdrop(this));
    surface->AttachControl(new Knob(this));
    surface->AttachControl(new Switch(this));
    surface->AttachControl(new Probe(this));
    IText style;
    style.mSize = 14;
    style.mColor = IColor(255, 230, 230, 230);
    surface->AttachControl(new ITextControl(this, IRECT(20, 120, 160, 150), &style, "Cutoff 440 Hz"));
    AttachGraphics(surface);
  }
  VstIntPtr Dispatch(int op, int idx = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    return VSTDispatcher(GetAEffect(), op, idx, value, ptr, opt);
  }
  TestSurface* surface; // owned by the plug-in
};

// The draw bitmap as 0xRRGGBB, as the window should show it.
std::vector<unsigned> FrameOf(IGraphicsLinux* g)
{
  LICE_IBitmap* b = g->GetDrawBitmap();
  std::vector<unsigned> out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const LICE_pixel p = b->getBits()[(size_t)y * b->getRowSpan() + x];
      out.push_back(LICE_GETR(p) << 16 | LICE_GETG(p) << 8 | LICE_GETB(p));
    }
  return out;
}

class EditorWindow : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string why;
    if (!server.Start(&why)) GTEST_SKIP() << why;
    display = XOpenDisplay(server.Name().c_str());
    ASSERT_NE(display, nullptr);
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(display, &ev, &err, &major, &minor));
    host = MakeHostWindow(display, kHostX, kHostY, 500, 300, KeyPressMask | KeyReleaseMask);
    gLog.clear();
  }
  void TearDown() override
  {
    plug.reset();
    if (display) XCloseDisplay(display);
  }
  void OpenEditor()
  {
    plug = std::make_unique<EditorPlug>();
    ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    ASSERT_NE(plug->surface->X11WindowID(), 0u);
    plug->surface->Tick();
  }
  void Idle() { plug->Dispatch(effEditIdle); }
  bool PumpFor(const std::function<bool()>& done, double seconds = 10.0)
  {
    return PumpUntil([&] { Idle(); }, done, seconds);
  }

  // The user, through XTest; positions in editor pixels (the editor sits at the host window's origin).
  void Move(int x, int y)
  {
    XTestFakeMotionEvent(display, DefaultScreen(display), kHostX + x, kHostY + y, CurrentTime);
    XSync(display, False);
  }
  void Button(unsigned button, bool press, unsigned long delayMs = 0)
  {
    XTestFakeButtonEvent(display, button, press, delayMs);
    XSync(display, False);
  }
  void Click(unsigned button, int x, int y, unsigned long delayMs = 0)
  {
    Move(x, y);
    Button(button, true, delayMs);
    Button(button, false);
  }
  void ClickCentre(const IRECT& r) { Click(1, (int)r.MW(), (int)r.MH()); }
  bool KnobReaches(double v)
  {
    return PumpFor([&] { return std::fabs(plug->GetParam(kKnob)->GetNormalized() - v) < 1e-9; });
  }
  void Key(KeySym sym, bool press)
  {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), press, CurrentTime);
    XSync(display, False);
  }
  void Tap(KeySym sym, KeySym held = NoSymbol)
  {
    if (held != NoSymbol) Key(held, true);
    Key(sym, true);
    Key(sym, false);
    if (held != NoSymbol) Key(held, false);
  }
  bool LogHas(size_t n)
  {
    return PumpFor([&] { return gLog.size() >= n; });
  }

  static constexpr int kHostX = 40, kHostY = 30;
  XServer server; // declared first: it outlives every connection
  Display* display = nullptr;
  Window host = 0;
  std::unique_ptr<EditorPlug> plug;
};

TEST_F(EditorWindow, PixelsEqualTheHeadlessFrameOfTheSameState)
{
  OpenEditor();
  const Window view = plug->surface->X11WindowID();
  std::vector<Window> kids = Children(display, host);
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(kids[0], view);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(display, view, &a));
  EXPECT_EQ(a.width, kW);
  EXPECT_EQ(a.height, kH);
  EXPECT_EQ(a.map_state, IsViewable);

  EditorPlug twin; // headless: drawn into its bitmap only
  twin.surface->OpenWindow(nullptr);
  twin.surface->Tick();
  auto matches = [&] { return ReadPixels(display, view, kW, kH) == FrameOf(twin.surface); };
  EXPECT_TRUE(PumpFor(matches));

  // A new state on both sides: only the changed area is drawn and presented.
  for (EditorPlug* p : {plug.get(), &twin}) {
    p->surface->SetParameterFromPlug(kKnob, 0.85, true);
    p->surface->SetParameterFromPlug(kSwitch, 1.0, true);
    p->surface->Tick();
  }
  EXPECT_TRUE(PumpFor(matches));
  // The comparison tells frames apart.
  for (double knob : {0.2, 0.85}) {
    twin.surface->SetParameterFromPlug(kKnob, knob, true);
    twin.surface->Tick();
    EXPECT_EQ(matches(), knob == 0.85) << knob;
  }

  // Covered by another window and uncovered: what was exposed is presented again from the bitmap.
  Window cover = MakeHostWindow(display, kHostX + 10, kHostY + 10, 200, 150);
  XDestroyWindow(display, cover);
  XSync(display, False);
  EXPECT_TRUE(PumpFor(matches));
}

TEST_F(EditorWindow, SeveralExposeEventsOfOneBatchAreAllPresentedAgain)
{
  OpenEditor();
  const Window view = plug->surface->X11WindowID();
  EditorPlug twin; // headless: the frame the window should show
  twin.surface->OpenWindow(nullptr);
  twin.surface->Tick();
  const std::vector<unsigned> frame = FrameOf(twin.surface);
  // Whether the window shows the frame everywhere outside `hole` (where another window may lie).
  auto showsFrameAround = [&](const IRECT& hole) {
    const std::vector<unsigned> shown = ReadPixels(display, view, kW, kH);
    if (shown.size() != frame.size()) return false;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (!hole.Contains(x, y) && shown[(size_t)y * kW + x] != frame[(size_t)y * kW + x]) return false;
    return true;
  };
  ASSERT_TRUE(PumpFor([&] { return showsFrameAround(IRECT()); }));
  // The exposure of the window's first mapping is taken first: presenting all of it would hide what follows.
  XSync(display, False);
  int idles = 0;
  PumpFor([&] { return ++idles > 5; });

  // A cover over most of the editor and a small window on top of it: when the cover goes, the area it leaves
  // is a ring around the small window, which the server reports as several Expose events in one batch.
  XSelectInput(display, view, ExposureMask); // the test hears the view's exposures too, to count them
  Window cover = MakeHostWindow(display, kHostX + 10, kHostY + 10, 280, 170);
  Window pin = MakeHostWindow(display, kHostX + 120, kHostY + 70, 40, 40);
  const IRECT hole(120, 70, 160, 110);
  XEvent e;
  while (XCheckWindowEvent(display, view, ExposureMask, &e)) {
  }
  XDestroyWindow(display, cover);
  XSync(display, False);
  int parts = 0, last = -1;
  while (last != 0 && PumpUntil([] {}, [&] { return XCheckWindowEvent(display, view, ExposureMask, &e) != 0; }, 1.0)) {
    ++parts;
    last = e.xexpose.count;
  }
  EXPECT_GE(parts, 2);
  EXPECT_TRUE(PumpFor([&] { return showsFrameAround(hole); }));
  XDestroyWindow(display, pin);
  XSync(display, False);
  EXPECT_TRUE(PumpFor([&] { return showsFrameAround(IRECT()); }));
}

TEST_F(EditorWindow, XTestDragWheelAndClicksChangeTheParameters)
{
  OpenEditor();
  const double start = plug->GetParam(kKnob)->GetNormalized();
  const int cx = (kKnobRect.L + kKnobRect.R) / 2, cy = (kKnobRect.T + kKnobRect.B) / 2;
  Move(cx, cy);
  Button(1, true);
  for (int i = 1; i <= 4; ++i) Move(cx + i, cy - 10 * i); // 40 pixels up in four moves
  Button(1, false);
  const double dragged = start + 40 * kDragPerPixel;
  EXPECT_TRUE(KnobReaches(dragged)) << plug->GetParam(kKnob)->GetNormalized();

  // Three steps away from the user, one towards: buttons 4 and 5.
  for (unsigned b : {4u, 4u, 4u, 5u}) Click(b, cx, cy);
  EXPECT_TRUE(KnobReaches(dragged + 2 * kWheelStep)) << plug->GetParam(kKnob)->GetNormalized();

  // Sideways steps (6, 7) carry no vertical part: the wheel call has 0 steps.
  Click(6, 200, 100);
  Click(7, 200, 100);
  ASSERT_TRUE(LogHas(2));
  EXPECT_EQ(gLog, (std::vector<std::string>{"wheel 0", "wheel 0"}));

  ClickCentre(kSwitchRect);
  EXPECT_TRUE(PumpFor([&] { return plug->GetParam(kSwitch)->GetNormalized() > 0.5; }));
  EXPECT_TRUE(PumpFor([&] { return !plug->surface->GetControl(2)->IsDirty(); }));
}

TEST_F(EditorWindow, ButtonsAndModifiersMapToTheMouseFlags)
{
  OpenEditor();
  // Columns L R S C A. Super plays the command key: a left click with it counts as a right click too.
  const struct
  {
    unsigned button;
    KeySym held;
    const char* expected;
  } cases[] = {
      {1, NoSymbol, "down 1 0 0 0 0"},  {3, NoSymbol, "down 0 1 0 0 0"},  {1, XK_Shift_L, "down 1 0 1 0 0"},
      {3, XK_Shift_L, "down 0 1 1 0 0"}, {1, XK_Control_L, "down 1 0 0 1 0"}, {1, XK_Alt_L, "down 1 0 0 0 1"},
      {1, XK_Super_L, "down 1 1 0 0 0"},
  };
  int x = kProbeRect.L + 5;
  for (const auto& c : cases) {
    gLog.clear();
    if (c.held != NoSymbol) Key(c.held, true);
    Click(c.button, x, 60); // each click further right than a double click reaches
    if (c.held != NoSymbol) Key(c.held, false);
    ASSERT_TRUE(LogHas(2)) << c.expected;
    EXPECT_EQ(gLog[0], c.expected);
    EXPECT_EQ(gLog[1], "up");
    x += 2 * 4 + 3;
  }
}

TEST_F(EditorWindow, DoubleClicksAreTwoLeftPressesCloseInTimeAndPlace)
{
  OpenEditor();
  const std::string left = "down 1 0 0 0 0", dbl = "dbl 1 0 0 0 0", right = "down 0 1 0 0 0";
  const struct
  {
    const char* what;
    unsigned button;
    int dx;                // second press this far to the right of the first
    unsigned long delayMs; // server-side delay before the second press
    std::vector<std::string> expected;
  } cases[] = {
      {"quick, same place", 1, 0, 0, {left, "up", dbl, "up"}},
      {"quick, within the distance", 1, 4, 0, {left, "up", dbl, "up"}},
      {"quick, too far apart", 1, 5, 0, {left, "up", left, "up"}},
      {"too slow", 1, 0, 500, {left, "up", left, "up"}},
      {"right button", 3, 0, 0, {right, "up", right, "up"}},
  };
  int y = 30;
  for (const auto& c : cases) {
    gLog.clear();
    Click(c.button, 200, y);
    Click(c.button, 200 + c.dx, y, c.delayMs);
    ASSERT_TRUE(LogHas(4)) << c.what;
    EXPECT_EQ(gLog, c.expected) << c.what;
    y += 20; // the next pair starts far from this one
  }
}

TEST_F(EditorWindow, KeysReachTheControlsAndUnusedKeysGoToTheHost)
{
  OpenEditor();
  Click(1, 240, 100); // the editor takes the keyboard focus, the pointer rests on the probe
  ASSERT_TRUE(LogHas(2));
  gLog.clear();
  // Codes: space 0, arrows 1-4, digits 5 + d, letters 15 + position in the alphabet (either case). Num Lock,
  // pressed last, stays on: the keypad's keys are digits.
  const struct
  {
    KeySym sym, held;
    int code;
  } cases[] = {
      {XK_q, NoSymbol, 15 + ('q' - 'a')}, {XK_q, XK_Shift_L, 15 + ('q' - 'a')}, {XK_7, NoSymbol, 5 + 7},
      {XK_7, XK_Shift_L, 5 + 7},          {XK_space, NoSymbol, 0},             {XK_Up, NoSymbol, 1},
      {XK_Right, NoSymbol, 4},            {XK_A, NoSymbol, 15},                {XK_KP_8, XK_Num_Lock, 5 + 8},
  };
  for (const auto& c : cases) Tap(c.sym, c.held);
  ASSERT_TRUE(LogHas(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(gLog[i], "key " + std::to_string(cases[i].code)) << i;

  // F5 means nothing to the editor: the host's window gets it, press and release.
  XSync(display, True); // drop what the host saw so far
  Tap(XK_F5);
  const KeyCode f5 = XKeysymToKeycode(display, XK_F5);
  std::vector<int> seen;
  PumpFor([&] {
    XEvent e;
    while (XCheckWindowEvent(display, host, KeyPressMask | KeyReleaseMask, &e))
      if (e.xkey.keycode == f5 && e.xkey.send_event) seen.push_back(e.type);
    return seen.size() >= 2;
  });
  EXPECT_EQ(seen, (std::vector<int>{KeyPress, KeyRelease}));
  EXPECT_EQ(gLog.size(), std::size(cases)) << "no control saw F5";
}

// Tooltips follow the controls as they are: a control attached after the window opened (as a panel
// rebuild does) shows its tooltip when the pointer rests on it, and so does its replacement.
TEST_F(EditorWindow, TooltipsOfControlsAddedAfterOpeningShowUnderThePointer)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  g->mEnableTooltips = true;
  const IRECT spot(200, 30, 260, 60); // on the probe
  for (const char* tip : {"Oscillator 1 Sine", "LFO 2 Triangle"}) {
    if (g->GetNControls() > 5) delete g->DetachControl(g->GetNControls() - 1);
    IControl* added = new Probe(plug.get());
    added->SetTargetArea(spot);
    added->SetTooltip(tip);
    g->AttachControl(added);
    Move(0, 190);
    EXPECT_TRUE(PumpFor([&] { return !*g->TooltipText(); }));
    Move((int)spot.MW(), (int)spot.MH());
    EXPECT_TRUE(PumpFor([&] { return std::string(g->TooltipText()) == tip; })) << tip;
  }
}

TEST_F(EditorWindow, ModalMenuAndMessageBoxReadTheWindowsEvents)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  IPopupMenu menu;
  for (const char* item : {"Sine", "Saw", "Square", "Noise"}) menu.AddItem(item);
  g->onFirstModalStep = [&] { ClickCentre(g->MenuItemRect(0, 2)); };
  IRECT anchor(20, 20, 100, 40);
  IPopupMenu* chosen = g->CreateIPopupMenu(&menu, &anchor);
  if (g->modalSteps == 0) GTEST_SKIP() << "this build's menus answer without a modal loop";
  ASSERT_EQ(chosen, &menu);
  EXPECT_EQ(menu.GetChosenItemIdx(), 2);

  g->OnFirstStep([&] { ClickCentre(g->MessageBoxButtonRect(1)); });
  EXPECT_EQ(g->ShowMessageBox("Replace the program?", "Question", 4), 7) << "No";
  EXPECT_GT(g->modalSteps, 0);
}

// While a menu is open the window holds the pointer and the keyboard: a click on the host's window closes
// the menu as Escape does, and the host's idle call that ran the menu returns; the grab goes with the menu.
TEST_F(EditorWindow, AClickOnTheHostClosesAMenuAndTheHostsIdleCallReturns)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  MenuButton* button = new MenuButton(plug.get(), IRECT(200, 150, 300, 190));
  g->AttachControl(button);
  g->onFirstModalStep = [&] {
    EXPECT_TRUE(g->ModalOpen());
    Click(1, 450, 250); // on the host's window, outside the editor (320 x 200 at the host's origin)
  };
  ClickCentre(*button->GetRECT());
  // The press reaches the editor in one of the host's idle calls, which runs the menu until it closes.
  PumpUntil([&] { Idle(); }, [&] { return button->opened > 0; });
  ASSERT_EQ(1, button->opened);
  EXPECT_EQ(0, button->chosen) << "dismissed";
  EXPECT_FALSE(g->gaveUp) << "by the click";
  EXPECT_FALSE(g->ModalOpen());
  // The grab went with the menu: the host can grab the pointer and the keyboard itself.
  EXPECT_EQ(GrabSuccess, XGrabPointer(display, host, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                                      None, CurrentTime));
  EXPECT_EQ(GrabSuccess, XGrabKeyboard(display, host, False, GrabModeAsync, GrabModeAsync, CurrentTime));
  XUngrabPointer(display, CurrentTime);
  XUngrabKeyboard(display, CurrentTime);
  XSync(display, False);

  // Escape reaches the menu even when the keyboard focus is on the host's window.
  g->OnFirstStep([&] {
    XSetInputFocus(display, host, RevertToParent, CurrentTime);
    Tap(XK_Escape);
  });
  ClickCentre(*button->GetRECT());
  PumpUntil([&] { Idle(); }, [&] { return button->opened > 1; });
  EXPECT_EQ(2, button->opened);
  EXPECT_EQ(0, button->chosen);
  EXPECT_FALSE(g->gaveUp);
}

// A press on another window closes a message box as Escape does (0: no caller takes it for a Yes), so a host
// waiting for it always has a way out. (That a box still answers its buttons after such a dismissal is checked
// with a hidden window below.)
TEST_F(EditorWindow, APressOnAnotherWindowClosesAMessageBox)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  const int presses[][2] = {{410, 250}, {-20, 40}}; // editor pixels: on the host's window, left of both
  for (const auto& at : presses) {
    g->OnFirstStep([&] { Click(1, at[0], at[1]); });
    EXPECT_EQ(0, g->ShowMessageBox("Replace the program?", "Question", 4)) << at[0];
    EXPECT_FALSE(g->gaveUp) << at[0];
  }
}

// A resize to another size gives the window that size.
TEST_F(EditorWindow, AResizeResizesTheWindow)
{
  OpenEditor();
  plug->surface->Resize(kW + 40, kH - 20);
  // The editor sends the resize on its own connection: the server may take this connection's question first.
  XWindowAttributes a = {};
  PumpUntil([] {},
            [&] {
              return XGetWindowAttributes(display, plug->surface->X11WindowID(), &a) && a.width == kW + 40 &&
                     a.height == kH - 20;
            },
            10.0);
  EXPECT_EQ(kW + 40, a.width);
  EXPECT_EQ(kH - 20, a.height);
}

// Bytes the heap holds for the program; 0 under a sanitizer, whose allocator does not report them.
size_t HeapInUse()
{
#ifdef VELTRANE_SANITIZED
  return 0;
#else
  return mallinfo2().uordblks;
#endif
}

int gHostErrors = 0;
int CountHostError(Display*, XErrorEvent*)
{
  ++gHostErrors;
  return 0;
}

TEST_F(EditorWindow, HostWindowDestroyedFirstIsSurvivedAndErrorsStayapart)
{
  OpenEditor();
  // The host installs its handler after the editor opened: the editor's errors still never reach it.
  XErrorHandler before = XSetErrorHandler(CountHostError);
  gHostErrors = 0;
  XDestroyWindow(display, host); // the host tears its window down before it closes the editor
  XSync(display, False);
  plug->surface->SetParameterFromPlug(kKnob, 0.9, true);
  plug->surface->Tick(); // presents into the window that is gone, before the editor learns of it
  EXPECT_TRUE(PumpFor([&] { return plug->surface->X11WindowID() == 0; }));
  plug->surface->SetParameterFromPlug(kKnob, 0.2, true);
  plug->surface->Tick(); // presenting into a window that is gone does nothing
  Idle();
  EXPECT_EQ(gHostErrors, 0);
  // While the editor's handler is installed, the host's own errors still reach the host's handler.
  XMapWindow(display, host);
  XSync(display, False);
  EXPECT_EQ(gHostErrors, 1);
  EXPECT_EQ(plug->Dispatch(effEditClose), 1);
  EXPECT_EQ(XSetErrorHandler(before), CountHostError) << "the host's handler is back";

  // A parent that does not exist any more is refused.
  EXPECT_EQ(plug->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 0);
  EXPECT_FALSE(plug->surface->WindowIsOpen());
}

int IgnoreXError(Display*, XErrorEvent*);

// A host that sets a handler for a while and puts back the one it found, the editor's, only after the editor
// closed: the host's errors still reach the host's own handler instead of vanishing.
TEST_F(EditorWindow, AHandlerPutBackAfterTheEditorClosedStillReachesTheHosts)
{
  XErrorHandler before = XSetErrorHandler(CountHostError);
  OpenEditor();
  const XErrorHandler found = XSetErrorHandler(IgnoreXError);
  EXPECT_EQ(plug->Dispatch(effEditClose), 1);
  XSetErrorHandler(found);
  gHostErrors = 0;
  XMapWindow(display, 0x1ffffe01); // no such window
  XSync(display, False);
  EXPECT_EQ(gHostErrors, 1);
  XSetErrorHandler(before);
}

// A folder of its own, removed with everything in it.
class TempDir
{
public:
  TempDir()
  {
    char tmpl[] = "/tmp/x11test.XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  const std::string& Dir() const { return dir_; }

protected:
  std::string dir_;
};

// Programs on a private PATH that log their arguments (one a line, to <name>.args) and answer as told.
class FakePrograms : public TempDir
{
public:
  FakePrograms()
  {
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  ~FakePrograms() { setenv("PATH", oldPath_.c_str(), 1); }
  // refusing: an option the program does not know, which it answers with status 255 and nothing printed.
  void Add(const std::string& name, const std::string& printed, int status, const char* refusing = nullptr)
  {
    const std::string path = dir_ + "/" + name;
    std::ofstream f(path);
    f << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n";
    if (refusing) f << "for a in \"$@\"; do case \"$a\" in " << refusing << "*) exit 255;; esac; done\n";
    if (!printed.empty()) f << "printf '%s\\n' '" << printed << "'\n";
    f << "exit " << status << "\n";
    f.close();
    chmod(path.c_str(), 0755);
  }
  void Remove(const std::string& name)
  {
    unlink((dir_ + "/" + name).c_str());
    unlink((dir_ + "/" + name + ".args").c_str());
  }
  std::vector<std::string> Args(const std::string& name) const
  {
    std::ifstream f(dir_ + "/" + name + ".args");
    std::vector<std::string> out;
    for (std::string line; std::getline(f, line);) out.push_back(line);
    return out;
  }
private:
  std::string oldPath_;
};

TEST_F(EditorWindow, FileDialogsAreTheDesktopsProgramsStartedWithoutAShell)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  FakePrograms fake;
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  // The dialogs belong to the host's window (a top-level window without a window manager).
  const std::string owner = std::to_string(host);
  char types[] = "fxp fxb";
  char scl[] = "scl";
  const struct
  {
    const char* what;
    const char* program; // the one installed (nullptr: none)
    const char* printed;
    int status;
    const char* refusing; // an option the installed program does not know
    const char* question;
    EFileAction action;
    const char* folder;
    const char* proposed;
    char* extensions;
    const char* typed; // typed into the editor's own field over its start text, then Return (no program)
    const char* expectedFile;
    const char* expectedFolder;
    std::vector<std::string> expectedArgs;
  } cases[] = {
      {"zenity, open", "zenity", "/chosen/dir/bank.fxb", 0, nullptr, "Load bank:", kFileOpen, "/data/", "", types, "",
       "/chosen/dir/bank.fxb", "/chosen/dir/",
       {"--file-selection", "--title=Load bank", "--filename=/data/", "--file-filter=*.fxp *.FXP *.fxb *.FXB",
        "--attach=" + owner}},
      {"zenity, save cancelled", "zenity", "", 1, nullptr, nullptr, kFileSave, "/data", "mine.fxp", types, "", "",
       "/data",
       {"--file-selection", "--title=Save file as", "--filename=/data/mine.fxp", "--save", "--confirm-overwrite",
        "--file-filter=*.fxp *.FXP *.fxb *.FXB", "--attach=" + owner}},
      {"zenity, save: the extension is proposed and added", "zenity", "/chosen/mine", 0, nullptr, "Save program as:",
       kFileSave, "/data", "mine", types, "", "/chosen/mine.fxp", "/chosen/",
       {"--file-selection", "--title=Save program as", "--filename=/data/mine.fxp", "--save", "--confirm-overwrite",
        "--file-filter=*.fxp *.FXP *.fxb *.FXB", "--attach=" + owner}},
      {"zenity answers a relative path", "zenity", "bank.fxb", 0, nullptr, nullptr, kFileOpen, "/data/", "", types,
       "", "", "/data/",
       {"--file-selection", "--title=Open file", "--filename=/data/", "--file-filter=*.fxp *.FXP *.fxb *.FXB",
        "--attach=" + owner}},
      {"zenity without --attach is asked again", "zenity", "/z/t.scl", 0, "--attach", nullptr, kFileOpen, "/data/",
       "", scl, "", "/z/t.scl", "/z/",
       {"--file-selection", "--title=Open file", "--filename=/data/", "--file-filter=*.scl *.SCL"}},
      {"kdialog when zenity is missing", "kdialog", "/k/tuning.scl", 0, nullptr, "Load tuning:", kFileOpen, "", "",
       scl, "", "/k/tuning.scl", "/k/",
       {"--title", "Load tuning", "--attach", owner, "--getopenfilename", home + "/Desktop/", "*.scl *.SCL"}},
      {"neither: the editor's own field", nullptr, "", 0, nullptr, "Save program as:", kFileSave, "/data/", "x",
       types, "/typed/y", "/typed/y.fxp", "/typed/", {}},
  };
  for (const auto& c : cases) {
    fake.Remove("zenity");
    fake.Remove("kdialog");
    if (c.program) fake.Add(c.program, c.printed, c.status, c.refusing);
    std::string entryStart, entryPrompt;
    g->OnFirstStep([&] {
      entryStart = g->TextEntryText();
      entryPrompt = g->PathPromptText();
      for (size_t i = 0; i < entryStart.size(); ++i) g->KeyDown(IGraphicsLinux::kBackspace);
      for (const char* ch = c.typed; *ch; ++ch) g->KeyDown(IGraphicsLinux::kChar, (unsigned char)*ch);
      g->KeyDown(IGraphicsLinux::kReturn);
    });
    WDL_String file(c.proposed), folder(c.folder);
    g->PromptForFile(&file, c.action, &folder, c.extensions, c.question);
    EXPECT_STREQ(file.Get(), c.expectedFile) << c.what;
    EXPECT_STREQ(folder.Get(), c.expectedFolder) << c.what;
    if (c.program) {
      EXPECT_EQ(fake.Args(c.program), c.expectedArgs) << c.what;
    } else {
      EXPECT_EQ(entryStart, "/data/x.fxp") << c.what;
      EXPECT_EQ(entryPrompt, "Save program as:\nPress Return to save, or Escape to cancel.") << c.what;
    }
  }
  EXPECT_EQ(ZombieChildren(), 0);
}

namespace {
// Owns the clipboard with `text` on a connection of its own to DISPLAY; a thread answers the first request
// for it (within 20 s, a guard) and then presses Return, as a user who pasted would.
std::thread ServeClipboardThenReturn(std::string text)
{
  Display* d = XOpenDisplay(nullptr);
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), w, CurrentTime);
  XSync(d, False);
  return std::thread([d, text] {
    XEvent e{};
    for (int i = 0; i < 4000 && e.type != SelectionRequest; ++i) XPending(d) ? XNextEvent(d, &e) : usleep(5000);
    if (e.type == SelectionRequest) {
      const XSelectionRequestEvent& r = e.xselectionrequest;
      XChangeProperty(d, r.requestor, r.property, r.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data()), (int)text.size());
      XEvent n{};
      n.xselection = {SelectionNotify, 0, True, d, r.requestor, r.selection, r.target, r.property, r.time};
      XSendEvent(d, r.requestor, False, 0, &n);
      for (Bool press : {True, False}) XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Return), press, CurrentTime);
    }
    XCloseDisplay(d);
  });
}
} // namespace

// The editor's own path field in a window (its other answers are in the headless session of
// tests/gui): Return takes the path; a click on the host's window, the keyboard given to another window and
// the editor closing cancel. End and Backspace edit what it proposes; Ctrl+V puts the clipboard in its place.
TEST_F(EditorWindow, TheTypedPathIsTakenOnlyOnReturn)
{
  FakePrograms fake; // neither zenity nor kdialog
  std::thread clipboard;
  const struct
  {
    const char* what;
    std::function<void()> act;
    const char* file = "";
  } cases[] = {{"Return", [&] { Tap(XK_Return); }, "/data/new.fxb"},
               {"End, Backspace, a", [&] { for (KeySym k : {XK_End, XK_BackSpace, XK_a, XK_Return}) Tap(k); },
                "/data/new.fxa.fxb"},
               {"Ctrl+V", [&] { clipboard = ServeClipboardThenReturn("/pasted/p"); Tap(XK_v, XK_Control_L); },
                "/pasted/p.fxb"},
               {"a click on the host's window", [&] { Click(1, 450, 250); }},
               {"the keyboard given to the host",
                [&] {
                  XSetInputFocus(display, host, RevertToParent, CurrentTime);
                  XSync(display, False);
                }},
               {"the editor closed", [&] { plug->Dispatch(effEditClose); }}};
  char fxb[] = "fxb";
  for (const auto& c : cases) {
    OpenEditor();
    plug->surface->OnFirstStep(c.act);
    WDL_String file("new"), folder("/data/");
    plug->surface->PromptForFile(&file, kFileSave, &folder, fxb, "Save bank as:");
    if (clipboard.joinable()) clipboard.join();
    EXPECT_STREQ(c.file, file.Get()) << c.what;
    EXPECT_FALSE(plug->surface->gaveUp) << c.what;
  }
}

TEST_F(EditorWindow, OpenURLStartsTheBrowserAndReapsIt)
{
  OpenEditor();
  FakePrograms fake;
  fake.Add("xdg-open", "", 0);
  ASSERT_TRUE(plug->surface->OpenURL("https://example.org/update?v=1"));
  EXPECT_EQ(plug->surface->OpenedURLs().back(), "https://example.org/update?v=1");
  EXPECT_TRUE(PumpFor([&] { return fake.Args("xdg-open").size() == 1 && ZombieChildren() == 0; }));
  EXPECT_EQ(fake.Args("xdg-open"), std::vector<std::string>{"https://example.org/update?v=1"});

  // Without an X11 window (headless) the address is only recorded.
  fake.Remove("xdg-open");
  fake.Add("xdg-open", "", 0);
  EditorPlug headless;
  headless.surface->OpenWindow(nullptr);
  const int children = ZombieChildren(true); // nothing reaps a child meanwhile: no idle call runs
  EXPECT_TRUE(headless.surface->OpenURL("https://example.org/"));
  EXPECT_EQ(ZombieChildren(true), children) << "no program started";
  EXPECT_TRUE(fake.Args("xdg-open").empty());
}

// The key a host takes from its own window and hands over with effEditKeyDown.
TEST_F(EditorWindow, HostKeysGoToTheControlUnderThePointer)
{
  plug = std::make_unique<EditorPlug>();
  ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, nullptr), 1); // headless is enough here
  plug->surface->MouseMove(240, 100, IMouseMod());
  const struct
  {
    int index;       // the character
    VstIntPtr value; // the virtual key
    int answer;
    const char* logged; // nullptr: nothing
  } cases[] = {
      {'q', 0, 1, "key 31"}, {'Q', 0, 1, "key 31"}, {'3', 0, 1, "key 8"},        {0, VKEY_UP, 1, "key 1"},
      {0, VKEY_SPACE, 1, "key 0"}, {0, VKEY_HOME, 0, nullptr}, {'#', 0, 0, nullptr},
  };
  for (const auto& c : cases) {
    gLog.clear();
    EXPECT_EQ(plug->Dispatch(effEditKeyDown, c.index, c.value), c.answer) << c.index << "/" << c.value;
    EXPECT_EQ(gLog, c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
  }
  plug->surface->MouseMove(5, 190, IMouseMod()); // over the background: nobody takes keys
  EXPECT_EQ(plug->Dispatch(effEditKeyDown, 'q', 0), 0);
  EXPECT_EQ(plug->Dispatch(effEditKeyUp, 'q', 0), 0);
}

int IgnoreXError(Display*, XErrorEvent*)
{
  return 0;
}

std::string WindowName(Display* d, Window w)
{
  char* name = nullptr;
  std::string out;
  if (XFetchName(d, w, &name) && name) out = name;
  if (name) XFree(name);
  return out;
}

// Whether another client holds the pointer: a modal element of an editor grabs it while it is open.
bool PointerHeldElsewhere(Display* d)
{
  const int got = XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                               None, CurrentTime);
  if (got == GrabSuccess) XUngrabPointer(d, CurrentTime);
  XSync(d, False);
  return got == AlreadyGrabbed;
}

// `vsthost edit` on our editor and on third-party ones, ended the ways a user ends it: the window closed, Ctrl-C
// (SIGINT), SIGTERM or --seconds. It ends, and well (status 0, no window left), also while our editor has its
// program menu, its typed path field (no file dialog program on PATH) or a message box open; with --seconds
// not before the time counted from its window showing (after the start, the load and the editor's opening).
TEST_F(EditorWindow, VsthostShowsEditorsUntilTheyAreClosed)
{
  enum End { kClose, kInterrupt, kTerminate, kTimeUp };
  enum State { kIdle, kMenu, kPathField, kBox };
  struct Case
  {
    const char* plugin;
    const char* title;
    const char* program;
    int width, height; // the editor's size, 0: whatever the plug-in says
    bool ours;         // third-party code is not checked for leaks (it leaks from libraries it unloads)
    End end;
    State state;
    double seconds = 4; // --seconds with kTimeUp, doubled while the state comes only after the time is up
  };
  std::vector<Case> cases = {
      {TESTPLUG_SO, "vsthost: TestPlug", "1", 400, 300, true, kClose, kIdle},
      {"/usr/lib/vst/3BandEQ-vst.so", "vsthost: 3 Band EQ", "0", 0, 0, false, kClose, kIdle},
      {"/usr/lib/vst/amsynth_vst.so", "vsthost: amsynth", "0", 0, 0, false, kClose, kIdle},
  };
  for (End end : {kClose, kInterrupt, kTerminate, kTimeUp})
    for (State state : {kIdle, kMenu, kPathField, kBox})
      cases.push_back({VELTRANE_SO, "vsthost: Veltrane", "0", 1280, 650, true, end, state});
  const Window root = DefaultRootWindow(display);
  // Plug-ins may write their settings below HOME: a throw-away one, which is also the PATH (no file dialogs).
  TempDir home;
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "PATH=", 5) != 0) envText.push_back(*e);
  envText.push_back("HOME=" + home.Dir());
  envText.push_back("PATH=" + home.Dir());
  std::vector<char*> env, theirEnv;
  for (std::string& e : envText) env.push_back(e.data());
  for (char* e : env)
    if (std::strncmp(e, "LSAN_OPTIONS=", 13) != 0) theirEnv.push_back(e);
  std::string noLeakCheck = "LSAN_OPTIONS=detect_leaks=0";
  theirEnv.push_back(noLeakCheck.data());
  env.push_back(nullptr);
  theirEnv.push_back(nullptr);
  // Third-party editors make and replace windows while the test looks at them: a window gone between two
  // requests is not an error here.
  XErrorHandler before = XSetErrorHandler(IgnoreXError);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case c = cases[i]; // a copy: a case run again is added at the end
    if (access(c.plugin, R_OK) != 0) continue;
    const std::string what = std::string(c.title) + ", end " + std::to_string(c.end) + ", state " +
                             std::to_string(c.state);
    const std::string seconds = std::to_string(c.seconds);
    std::vector<const char*> argv = {VSTHOST_EXE, "edit", c.plugin, "--program", c.program};
    if (c.end == kTimeUp) argv.insert(argv.end(), {"--seconds", seconds.c_str()});
    argv.push_back(nullptr);
    // Output to a file, nothing else of ours inherited: a host left behind never holds the runner's pipes.
    const std::string log = home.Dir() + "/vsthost.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid;
    const auto started = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid, VSTHOST_EXE, &actions, nullptr, const_cast<char**>(argv.data()),
                                    c.ours ? env.data() : theirEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    // The editor fills the window the host made for it (third-party editors may size themselves late).
    Window top = 0;
    auto fills = [&](Window w) {
      std::vector<Window> kids = Children(display, w);
      XWindowAttributes topA, editorA;
      if (kids.size() != 1 || !XGetWindowAttributes(display, w, &topA) ||
          !XGetWindowAttributes(display, kids[0], &editorA))
        return false;
      return editorA.width == topA.width && editorA.height == topA.height &&
             (!c.width || (editorA.width == c.width && editorA.height == c.height));
    };
    PumpUntil([] {},
              [&] {
                for (Window w : Children(display, root))
                  if (WindowName(display, w) == c.title && fills(w)) top = w;
                return top != 0;
              },
              30.0);
    // The state: the program menu (its button at 136..184 x 55..75), then with the keys "Init Program" (a
    // message box) or "Save Program" (the path field), both in the middle of the editor.
    bool reached = c.state == kIdle;
    if (top && !reached) {
      int x = 0, y = 0;
      Window child;
      XTranslateCoordinates(display, top, root, 0, 0, &x, &y, &child);
      auto middle = [&] { // rows 300 to 349 as far as the 1024-pixel screen shows them
        const std::vector<unsigned> all = ReadPixels(display, top, 1000, 350);
        return all.empty() ? all : std::vector<unsigned>(all.begin() + 300 * 1000, all.end());
      };
      const std::vector<unsigned> plain = middle();
      Click(1, x + 160 - kHostX, y + 65 - kHostY); // Click counts from the test's host window
      reached = PumpUntil([] {}, [&] { return PointerHeldElsewhere(display); }, 10.0);
      if (reached && c.state != kMenu) {
        for (int down = c.state == kBox ? 2 : 4; down > 0; --down) Tap(XK_Down); // Paste is disabled
        Tap(XK_Return);
        reached = PumpUntil([] {}, [&] { return middle() != plain && PointerHeldElsewhere(display); }, 10.0);
      }
    }
    if (top && c.end == kClose) {
      // Closing the window the way a window manager asks for it.
      XEvent e = {};
      e.xclient.type = ClientMessage;
      e.xclient.window = top;
      e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
      e.xclient.format = 32;
      e.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
      e.xclient.data.l[1] = CurrentTime;
      XSendEvent(display, top, False, NoEventMask, &e);
      XSync(display, False);
    }
    if (c.end == kInterrupt || c.end == kTerminate) kill(pid, c.end == kInterrupt ? SIGINT : SIGTERM);
    // Only a guard against a host that never ends: how soon it ends after it was asked, or after its time is up
    // (which comes at most c.seconds after the editor filled the window), depends on the machine's load.
    int status = -1;
    const bool ended = PumpUntil([] {}, [&] { return waitpid(pid, &status, WNOHANG) == pid; }, c.seconds + 20);
    // At least the time it ran: its clock starts later than the spawn.
    const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    if (c.end == kTimeUp && status == 0 && ran >= c.seconds && !(top && reached) && c.seconds < 60) {
      cases.push_back(c); // the time was up before the state could be reached: again with more time
      cases.back().seconds *= 2;
      continue;
    }
    EXPECT_TRUE(c.end != kTimeUp || ran >= c.seconds) << what << ": ended before its time was up, " << ran << " s";
    EXPECT_NE(top, 0u) << what << ": no window filled by an editor of the expected size";
    EXPECT_TRUE(reached) << what;
    EXPECT_TRUE(ended) << what;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what << " " << status;
    for (Window w : Children(display, root)) EXPECT_NE(WindowName(display, w), c.title);
    if (HasFailure()) {
      std::ifstream f(log);
      std::cout << what << " said:\n" << f.rdbuf() << "\n";
    }
  }
  XSetErrorHandler(before);
}


// ---- careless and hostile hosts ----

// Parents a host may pass that cannot hold a window, and no X server to reach: the editor refuses to open
// (effEditOpen answers 0) at once, makes no window, keeps no connection, and leaves the host's error handler
// in place.
TEST_F(EditorWindow, UnusableParentsAreRefused)
{
  XErrorHandler before = XSetErrorHandler(CountHostError);
  const Window gone = MakeHostWindow(display, 0, 0, 10, 10);
  XDestroyWindow(display, gone);
  const Pixmap pixmap = XCreatePixmap(display, host, 8, 8, (unsigned)DefaultDepth(display, 0));
  XSetWindowAttributes a = {};
  const Window inputOnly = XCreateWindow(display, host, 0, 0, 50, 50, 0, 0, InputOnly, CopyFromParent, 0, &a);
  XSync(display, False);
  plug = std::make_unique<EditorPlug>();
  const int filesBefore = OpenFileCount();
  gHostErrors = 0;
  const std::string name = server.Name();
  const struct
  {
    unsigned long parent;
    const char* display; // DISPLAY, nullptr: unset
  } cases[] = {{0x1ffffe01, name.c_str()}, {gone, name.c_str()}, {pixmap, name.c_str()},
               {inputOnly, name.c_str()}, {DefaultRootWindow(display) + 1, name.c_str()}, {host, nullptr},
               {host, ""}, {host, ":4711"}, {host, "unix:4712.0"}};
  for (const auto& c : cases) {
    if (c.display)
      setenv("DISPLAY", c.display, 1);
    else
      unsetenv("DISPLAY");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plug->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(c.parent)), 0) << c.parent << c.display;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "a guard: it waits for nothing";
    EXPECT_FALSE(plug->surface->WindowIsOpen());
    EXPECT_EQ(plug->Dispatch(effEditIdle), 0);
    EXPECT_EQ(plug->Dispatch(effEditClose), 1);
  }
  setenv("DISPLAY", name.c_str(), 1);
  EXPECT_EQ(OpenFileCount(), filesBefore);
  EXPECT_EQ(Children(display, host), std::vector<Window>{inputOnly});
  EXPECT_EQ(gHostErrors, 0);
  EXPECT_EQ(XSetErrorHandler(before), CountHostError);
  // A parent that works still opens after those.
  EXPECT_EQ(plug->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
  EXPECT_NE(plug->surface->X11WindowID(), 0u);
}

Display* gHostDisplay = nullptr;
int HostIOError(Display* d)
{
  _exit(d == gHostDisplay ? 41 : 42); // 42: the editor's broken connection reached the host's handler
}

// The X server ends while the editor is open, idle or with a menu open: the editor's connection breaks
// without ending the host or calling the host's handler, whether the host left Xlib's default in place or
// set its own; the menu ends as dismissed; the host's own connection still goes to the host's handler.
TEST_F(EditorWindow, ServerGoneWhileOpenLeavesTheHostRunning)
{
  GTEST_FLAG_SET(death_test_style, "fast");
  for (bool hostHandler : {false, true})
    for (bool inMenu : {false, true})
      EXPECT_EXIT(
          {
            XServer own;
            std::string why;
            if (!own.Start(&why)) _exit(2);
            if (hostHandler) XSetIOErrorHandler(HostIOError);
            gHostDisplay = XOpenDisplay(own.Name().c_str());
            const Window w = MakeHostWindow(gHostDisplay, 0, 0, 400, 300);
            auto p = std::make_unique<EditorPlug>();
            if (p->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(w)) != 1) {
              own.Kill(); // _exit skips its destructor
              _exit(3);
            }
            p->surface->Tick();
            if (inMenu) {
              p->surface->onFirstModalStep = [&] { own.Kill(); };
              IPopupMenu menu;
              menu.AddItem("One");
              IRECT anchor(20, 20, 100, 40);
              if (p->surface->CreateIPopupMenu(&menu, &anchor)) _exit(7);
            } else {
              own.Kill();
            }
            for (int i = 0; i < 3; ++i) {
              p->Dispatch(effEditIdle);
              p->surface->SetParameterFromPlug(kKnob, 0.1 * i, true);
              p->surface->Tick();
            }
            if (p->surface->X11WindowID() != 0) _exit(4);
            p->Dispatch(effEditClose);
            if (p->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(w)) != 0) _exit(5);
            p.reset();
            if (!hostHandler) _exit(0);
            XSync(gHostDisplay, False);
            _exit(6);
          },
          ::testing::ExitedWithCode(hostHandler ? 41 : 0), "")
          << (hostHandler ? "the host's own handler" : "Xlib's default handler") << (inMenu ? ", menu open" : "");
}

// Two instances on the one thread, opened and closed 200 times in turns (some opened again while open):
// each open makes one window, each close takes it, and nothing grows (connections, threads, memory).
TEST_F(EditorWindow, TwoEditorsOpenedAndClosedTwoHundredTimesLeaveNothingBehind)
{
  XErrorHandler before = XSetErrorHandler(CountHostError);
  const Window host2 = MakeHostWindow(display, 600, 400, 400, 300);
  auto a = std::make_unique<EditorPlug>();
  auto b = std::make_unique<EditorPlug>();
  const int files = OpenFileCount(), threads = ThreadCount();
  size_t heapAfterWarmUp = 0;
  for (int i = 0; i < 200; ++i) {
    if (i == 20) heapAfterWarmUp = HeapInUse();
    ASSERT_EQ(a->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    if (i % 3 == 0) { // opened again while open
      ASSERT_EQ(a->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    }
    ASSERT_EQ(b->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host2)), 1);
    ASSERT_EQ(Children(display, host), std::vector<Window>{a->surface->X11WindowID()}) << i;
    ASSERT_EQ(Children(display, host2), std::vector<Window>{b->surface->X11WindowID()}) << i;
    a->surface->Tick();
    b->surface->Tick();
    a->Dispatch(effEditIdle);
    b->Dispatch(effEditIdle);
    // Closed in both orders; the one left open keeps drawing.
    EditorPlug* first = i % 2 ? a.get() : b.get();
    EditorPlug* second = i % 2 ? b.get() : a.get();
    ASSERT_EQ(first->Dispatch(effEditClose), 1);
    EXPECT_EQ(first->surface->X11WindowID(), 0u);
    second->surface->SetParameterFromPlug(kKnob, (i % 10) / 10.0, true);
    second->surface->Tick();
    second->Dispatch(effEditIdle);
    ASSERT_EQ(second->Dispatch(effEditClose), 1);
    ASSERT_TRUE(Children(display, host).empty()) << i;
    ASSERT_TRUE(Children(display, host2).empty()) << i;
  }
  EXPECT_EQ(OpenFileCount(), files) << "every connection was closed";
  EXPECT_EQ(ThreadCount(), threads);
  if (HeapInUse() != 0) { // 0: the sanitizer build, where the leak checker looks instead
    EXPECT_LT((long)(HeapInUse() - heapAfterWarmUp), 64L << 10);
  }
  EXPECT_EQ(gHostErrors, 0);
  EXPECT_EQ(XSetErrorHandler(before), CountHostError);
}

// The plug-in file loaded, its editor opened in the host's window, closed, and the file unloaded, again and
// again: the file goes each time and the heap keeps nothing of the editor's window, images or fonts (a
// few kilobytes a cycle are the C library's own bookkeeping of the plug-in's threads, falling as it runs).
TEST_F(EditorWindow, ThePluginFileEditedInAWindowAndUnloadedLeavesNothingBehind)
{
  size_t heap = 0;
  for (int i = 0; i < 8; ++i) {
    if (i == 3) heap = AllocatedBytes();
    ASSERT_EQ("", LoadEditUnload(VELTRANE_SO, reinterpret_cast<void*>(host), 5, 10)) << "cycle " << i;
    ASSERT_TRUE(Children(display, host).empty()) << "cycle " << i;
  }
  EXPECT_LT(((double)AllocatedBytes() - (double)heap) / 5, 16e3) << "heap bytes kept per cycle";
}

// The host closes the editor (effEditClose) or the whole instance (effClose) while a menu or a message box
// of it is open, from a callback made inside the element's loop: the element answers as if dismissed (a box
// never as its default Yes), the window goes at once, the host gets its input back; the editor opens again,
// and a closed instance goes once the host's call that ran the menu has returned. The menu opens from a
// click, inside the host's idle call that reads the window's events, as a user opens it.
TEST_F(EditorWindow, EditorOrInstanceClosedWhileAMenuOrBoxIsOpen)
{
  enum { kMenu, kBox, kMenuInstance };
  for (int kind : {kMenu, kBox, kMenuInstance}) {
    OpenEditor();
    TestSurface* g = plug->surface;
    MenuButton* button = new MenuButton(plug.get(), IRECT(200, 150, 300, 190));
    g->AttachControl(button);
    AEffect* effect = plug->GetAEffect();
    EditorPlug* instance = kind == kMenuInstance ? plug.release() : plug.get(); // effClose deletes it
    auto dispatch = [&](int op) { return IPlugVST::VSTDispatcher(effect, op, 0, 0, nullptr, 0.0f); };
    bool closed = false, windowGone = false;
    g->onFirstModalStep = [&] {
      EXPECT_EQ(dispatch(kind == kMenuInstance ? effClose : effEditClose), kind == kMenuInstance ? 0 : 1);
      windowGone = Children(display, host).empty();
      closed = true;
    };
    if (kind == kBox) {
      EXPECT_EQ(g->ShowMessageBox("Replace?", "Question", 4), 0);
    } else {
      ClickCentre(*button->GetRECT());
      PumpUntil([&] { dispatch(effEditIdle); }, [&] { return closed; });
    }
    EXPECT_TRUE(closed) << kind;
    EXPECT_TRUE(windowGone) << kind;
    EXPECT_TRUE(Children(display, host).empty()) << kind;
    EXPECT_EQ(GrabSuccess, XGrabPointer(display, host, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                                        None, CurrentTime));
    XUngrabPointer(display, CurrentTime);
    XSync(display, False);
    if (kind == kMenuInstance) continue; // gone
    EXPECT_EQ(button->chosen, kind == kMenu ? 0 : -1) << "dismissed";
    EXPECT_FALSE(g->gaveUp) << kind;
    EXPECT_FALSE(g->ModalOpen());
    EXPECT_EQ(instance->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    EXPECT_NE(g->X11WindowID(), 0u);
    plug.reset();
  }
}

// The host's window hidden (unmapped, iconified) under an open menu or box takes the window's grabs away, so
// a click elsewhere could never close the element: it is dismissed at once, and the host's call returns.
// Shown again, the window's elements wait for the user as before.
TEST_F(EditorWindow, AnElementWhoseWindowIsHiddenIsDismissed)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  g->onFirstModalStep = [&] {
    XUnmapWindow(display, host);
    XSync(display, False);
  };
  IPopupMenu menu;
  menu.AddItem("One");
  IRECT anchor(20, 20, 100, 40);
  EXPECT_EQ(g->CreateIPopupMenu(&menu, &anchor), nullptr);
  EXPECT_FALSE(g->gaveUp);
  g->OnFirstStep(nullptr);
  EXPECT_EQ(g->ShowMessageBox("Replace?", "Question", 4), 0) << "not the default Yes";
  EXPECT_FALSE(g->gaveUp);

  XMapWindow(display, host);
  XSync(display, False);
  g->OnFirstStep([&] { ClickCentre(g->MessageBoxButtonRect(1)); });
  EXPECT_EQ(g->ShowMessageBox("Replace?", "Question", 4), 7) << "No, as clicked";
}

// A storm of exposures a host let pile up (a window dragged across the editor's) is presented once in the
// idle call that reads it, not once an event.
TEST_F(EditorWindow, AnExposeStormIsPresentedOnce)
{
  OpenEditor();
  TestSurface* g = plug->surface;
  Idle();
  const Window view = g->X11WindowID();
  for (int i = 0; i < 500; ++i) XClearArea(display, view, i % 2 ? 0 : 100, 0, 0, 0, True);
  XSync(display, False);
  const int before = g->X11Presentations();
  Idle();
  EXPECT_EQ(g->X11Presentations() - before, 1);
  EXPECT_EQ(ReadPixels(display, view, kW, kH), FrameOf(g));
}

} // namespace
