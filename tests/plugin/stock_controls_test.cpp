// The framework's stock controls driven through the headless surface's entry points: knobs turned by drags
// and the wheel with and without the fine modifiers, switches and contacts stepping and reaching their
// parameter, the file selector's cycle, and the rest of the stock set (frame zones, radio buttons, faders,
// overlays, captions, links).
#include "IControlStock.h"
#include "IGraphicsLinux.h"
#include "IParam.h"
#include "IPlugVST.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Four plain 0..1 parameters (doubles with a fine step, so values arrive unrounded) and one enum.
class StockPlug : public IPlugVST
{
public:
  StockPlug()
      : IPlugVST(IPlugInstanceInfo{nullptr}, 5, "2-2", 1, "Stock", "", "Tests", 0x00010001,
                 VstFourCC('s', 't', 'c', 'k'), VstFourCC('T', 'e', 's', 't'), 0, false, false, false)
  {
    for (int i = 0; i < 4; ++i) GetParam(i)->InitDouble("P", 0.0, 0.0, 1.0, 1e-6, "dB");
    GetParam(4)->InitEnum("Mode", 0, 3);
    GetParam(4)->SetDisplayText(0, "A");
    GetParam(4)->SetDisplayText(1, "B");
    GetParam(4)->SetDisplayText(2, "C");
    mGUI = new IGraphicsLinux(this, 300, 200);
    AttachGraphics(mGUI);
  }
  double norm(int i) { return GetParam(i)->GetNormalized(); }
  IGraphicsLinux* mGUI; // owned by the plug-in
};

// An image strip of n frames, w x h each, whose pixels the tests never look at.
struct Strip
{
  Strip(int w, int h, int n) : bm(w, h * n), bitmap(&bm, w, h * n, n) {}
  LICE_MemBitmap bm;
  IBitmap bitmap;
};

// IKnobControl leaves drawing to subclasses.
class Knob : public IKnobControl
{
public:
  using IKnobControl::IKnobControl;
  bool Draw(IGraphics*) override { return true; }
};

const IMouseMod kLeft(true), kShift(true, false, true), kCtrl(true, false, false, true), kRight(false, true);

void Click(IGraphicsLinux* g, int x, int y, const IMouseMod& m = kLeft, bool dbl = false)
{
  g->MouseDown(x, y, m, dbl);
  g->MouseUp(x, y, m);
}

} // namespace

TEST(StockControls, FrameOfAValue)
{
  struct Case
  {
    int frames;
    double value;
    int frame;
  } cases[] = {
      {5, 0.0, 1},   {5, 0.1249, 1}, {5, 0.125, 2}, {5, 0.375, 3},   {5, 0.625, 4}, {5, 0.875, 5}, {5, 1.0, 5},
      {65, 0.5, 33}, {65, 1.0, 65},  {65, -0.2, 1}, {65, 1.7, 65},   {1, 0.9, 1},   {2, 0.49, 1},  {2, 0.5, 2},
      {65, NAN, 1},  {10, 1e300, 10},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.frame, FrameForValue(c.frames, c.value)) << c.frames << " frames at " << c.value;
}

TEST(StockControls, KnobDragAndWheelReachTheParameter)
{
  // Dragged from the centre: a vertical knob 40 high with gearing 4 rises by 10/160 for ten pixels up, the
  // modifiers gear down tenfold; a horizontal one 100 wide with gearing 2 sweeps the range over 200 pixels.
  const IRECT v(10, 10, 50, 50), h(0, 0, 100, 20);
  struct Case
  {
    IRECT r;
    EDirection dir;
    double gearing, start;
    IMouseMod mod;
    int dX, dY;
    double expected;
  } cases[] = {{v, kVertical, 4, 0.5, kLeft, 0, -10, 0.5 + 10.0 / 160}, {v, kVertical, 4, 0.5, kLeft, 0, 400, 0.0},
               {v, kVertical, 4, 0.5, kShift, 0, -10, 0.5 + 10.0 / 1600}, {v, kVertical, 4, 0.5, kLeft, 0, -400, 1.0},
               {v, kVertical, 4, 0.5, kCtrl, 0, 16, 0.5 - 16.0 / 1600},   {h, kHorizontal, 2, 0.0, kLeft, 50, 0, 0.25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dX << "," << c.dY << " gearing " << c.gearing);
    StockPlug p;
    Knob* knob = new Knob(&p, c.r, 1, c.dir, c.gearing);
    p.mGUI->AttachControl(knob);
    knob->SetValueFromUserInput(c.start);
    const int x = (int)c.r.MW(), y = (int)c.r.MH();
    p.mGUI->MouseDown(x, y, c.mod);
    p.mGUI->MouseMove(x + c.dX, y + c.dY, c.mod);
    p.mGUI->MouseUp(x + c.dX, y + c.dY, c.mod);
    EXPECT_NEAR(c.expected, knob->GetValue(), 1e-12);
    EXPECT_NEAR(c.expected, p.norm(1), 1e-9) << "the parameter follows the drag";
  }

  // The wheel: 0.01 a step, 0.001 with Control or Shift, clamped to 0..1.
  const struct { double start; IMouseMod mod; int steps; double expected; } wheels[] = {
      {0.02, IMouseMod(), -3, 0.0}, {0.02, kCtrl, -3, 0.017}, {0.02, kShift, 2, 0.022},
      {0.017, IMouseMod(), 5, 0.067}, {0.99, IMouseMod(), 3, 1.0}};
  StockPlug p;
  Knob* w = new Knob(&p, IRECT(150, 0, 190, 40), 3);
  p.mGUI->AttachControl(w);
  for (const auto& c : wheels) {
    SCOPED_TRACE(testing::Message() << c.start << " by " << c.steps);
    w->SetValueFromUserInput(c.start);
    p.mGUI->MouseWheel(160, 10, c.mod, c.steps);
    EXPECT_NEAR(c.expected, w->GetValue(), 1e-12);
    EXPECT_NEAR(c.expected, p.norm(3), 1e-9);
  }
}

TEST(StockControls, SwitchesStepWrapAndContactsSpring)
{
  struct Case
  {
    int frames;
    std::vector<double> values; // after each click
  } cases[] = {{2, {1, 0, 1}}, {3, {0.5, 1, 0, 0.5}}, {4, {1.0 / 3, 2.0 / 3, 1, 0}}, {1, {1, 0, 1}}};
  for (const Case& c : cases) {
    StockPlug p;
    Strip s(10, 10, c.frames);
    ISwitchControl* sw = new ISwitchControl(&p, 5, 5, 0, &s.bitmap);
    p.mGUI->AttachControl(sw);
    EXPECT_EQ(IRECT(5, 5, 15, 15), *sw->GetRECT()) << "one frame high";
    for (double v : c.values) {
      Click(p.mGUI, 8, 8);
      EXPECT_NEAR(v, sw->GetValue(), 1e-12) << c.frames << " frames";
      EXPECT_NEAR(v, p.norm(0), 1e-9);
    }
  }
  // A double click is one more click.
  StockPlug p;
  Strip two(10, 10, 2);
  ISwitchControl* sw = new ISwitchControl(&p, 0, 0, 0, &two.bitmap);
  p.mGUI->AttachControl(sw);
  Click(p.mGUI, 1, 1);
  Click(p.mGUI, 1, 1, kLeft, true);
  EXPECT_EQ(0.0, sw->GetValue());

  // A contact is 1 while held and 0 after, and both reach the parameter.
  IContactControl* contact = new IContactControl(&p, 50, 0, 2, &two.bitmap);
  p.mGUI->AttachControl(contact);
  p.mGUI->MouseDown(55, 5, kLeft);
  EXPECT_EQ(1.0, p.norm(2));
  p.mGUI->MouseUp(55, 5, kLeft);
  EXPECT_EQ(0.0, p.norm(2));
  EXPECT_EQ(0.0, contact->GetValue());
}

TEST(StockControls, FileSelectorCycleAndCancel)
{
  StockPlug p;
  p.mGUI->OpenWindow(nullptr);
  IFileSelectorControl* fs = new IFileSelectorControl(&p, IRECT(0, 0, 50, 20), 0, kFileOpen, "/tmp/", "wav syx");
  p.mGUI->AttachControl(fs);
  p.mGUI->Tick();
  EXPECT_FALSE(fs->IsDirty());

  // Two cancelled uses toggle the value twice and leave the file empty.
  for (int i = 0; i < 2; ++i) Click(p.mGUI, 5, 5);
  WDL_String file;
  fs->GetLastSelectedFileForPlug(&file);
  EXPECT_STREQ("", file.Get());
  EXPECT_EQ(0.0, fs->GetValue());
  ASSERT_EQ(2, p.mGUI->NFilePrompts());
  EXPECT_STREQ("wav syx", p.mGUI->GetFilePrompt(0)->extensions.Get());
  EXPECT_STREQ("/tmp/", p.mGUI->GetFilePrompt(0)->folder.Get());

  // A chosen file: value 1, the file kept, and one extra redraw after the dialog.
  p.mGUI->ScriptFilePrompt("/data/tables/pad.wav");
  Click(p.mGUI, 5, 5);
  fs->GetLastSelectedFileForPlug(&file);
  EXPECT_STREQ("/data/tables/pad.wav", file.Get());
  EXPECT_EQ(1.0, p.norm(0));
  EXPECT_EQ(IFileSelectorControl::kFSDone, fs->GetState());
  EXPECT_TRUE(p.mGUI->Tick());
  EXPECT_TRUE(fs->IsDirty()) << "the chosen state asks for one more redraw";
  EXPECT_EQ(IFileSelectorControl::kFSNone, fs->GetState());
  EXPECT_FALSE(fs->IsDirty());

  // Without a surface nothing happens.
  IFileSelectorControl lone(nullptr, IRECT(0, 0, 5, 5), -1, kFileOpen);
  IMouseMod m(true);
  lone.OnMouseDown(1, 1, &m);
  EXPECT_EQ(0.0, lone.GetValue());
  EXPECT_EQ(IFileSelectorControl::kFSNone, lone.GetState());
}

TEST(StockControls, ZonesRadioButtonsFaderOverlayCaptionAndLink)
{
  StockPlug p;
  // Four frames of 10 x 10: the control is one frame high, cut into four zones of 10 / 4 pixels each,
  // starting at trunc(i * 10 / 4): 100, 102, 105, 107. A click sets i / 3.
  Strip four(20, 10, 4);
  ISwitchFramesControl* zones = new ISwitchFramesControl(&p, 0, 100, 0, &four.bitmap);
  p.mGUI->AttachControl(zones);
  ASSERT_EQ(4, zones->NZones());
  EXPECT_EQ(IRECT(0, 105, 20, 107), zones->Zone(2));
  Click(p.mGUI, 5, 103);
  EXPECT_NEAR(1.0 / 3, zones->GetValue(), 1e-12);
  Click(p.mGUI, 5, 108);
  EXPECT_NEAR(1.0, p.norm(0), 1e-9);
  EXPECT_FALSE(zones->mDisablePrompt);

  // Three radio buttons 10 high spread over 50: gap (50 - 30) / 2 = 10.
  Strip radio(10, 10, 2);
  IRadioButtonsControl* rb = new IRadioButtonsControl(&p, IRECT(100, 0, 110, 50), 1, 3, &radio.bitmap);
  p.mGUI->AttachControl(rb);
  EXPECT_EQ(IRECT(100, 20, 110, 30), rb->Button(1));
  EXPECT_EQ(IRECT(100, 40, 110, 50), rb->Button(2));
  Click(p.mGUI, 105, 45);
  EXPECT_EQ(1.0, p.norm(1));
  IRadioButtonsControl reversed(&p, IRECT(0, 0, 10, 50), -1, 3, &radio.bitmap, kVertical, true);
  EXPECT_EQ(IRECT(0, 30, 10, 40), reversed.Button(0)) << "reversed: one gap in from the far edge";

  // A vertical fader of length 100 with a 10-high handle: travel 90.
  Strip handle(12, 10, 1);
  IFaderControl* fader = new IFaderControl(&p, 200, 0, 100, 2, &handle.bitmap);
  p.mGUI->AttachControl(fader);
  EXPECT_EQ(IRECT(200, 45, 212, 55), fader->GetHandleRECT(0.5));
  p.mGUI->MouseDown(205, 5 + 45, kLeft); // y - top - 5 = 45: value 1 - 45 / 90
  EXPECT_NEAR(0.5, p.norm(2), 1e-9);
  p.mGUI->MouseMove(205, 5, kLeft);
  p.mGUI->MouseUp(205, 5, kLeft);
  EXPECT_EQ(1.0, p.norm(2));

  // An overlay is hit only in its target area until it shows.
  IBitmapOverlayControl* overlay =
      new IBitmapOverlayControl(&p, 250, 100, -1, &radio.bitmap, IRECT(250, 100, 252, 102));
  p.mGUI->AttachControl(overlay);
  p.mGUI->OpenWindow(nullptr);
  p.mGUI->Tick();
  EXPECT_FALSE(overlay->IsHit(255, 105));
  EXPECT_TRUE(overlay->IsHit(251, 101));
  overlay->SetValueFromUserInput(1.0);
  p.mGUI->Tick();
  EXPECT_TRUE(overlay->IsHit(255, 105));

  // A caption shows the display text and label; a link falls back to its backup address.
  IText style(11);
  ICaptionControl* cap = new ICaptionControl(&p, IRECT(0, 150, 100, 165), 4, &style, true);
  p.mGUI->AttachControl(cap);
  p.GetParam(4)->Set(2);
  cap->SetDirty(false);
  p.mGUI->Tick();
  EXPECT_STREQ("C ", cap->GetTextString()) << "a display text has no label";
  IURLControl* link = new IURLControl(&p, IRECT(150, 150, 200, 170), "", "https://example.org/backup");
  p.mGUI->AttachControl(link);
  Click(p.mGUI, 160, 160);
  ASSERT_EQ(1u, p.mGUI->OpenedURLs().size());
  EXPECT_EQ("https://example.org/backup", p.mGUI->OpenedURLs()[0]);

  // An invisible switch flips around 0.5.
  IInvisibleSwitchControl* inv = new IInvisibleSwitchControl(&p, IRECT(120, 150, 140, 170), 3);
  p.mGUI->AttachControl(inv);
  Click(p.mGUI, 125, 155, kRight);
  EXPECT_EQ(1.0, p.norm(3));
  Click(p.mGUI, 125, 155);
  EXPECT_EQ(0.0, p.norm(3));
}

TEST(StockControls, KnobLineAndMultiDraw)
{
  StockPlug p;
  p.mGUI->OpenWindow(nullptr);
  // A line knob at value 0.5 with angles -pi/2..pi/2 points straight up from the centre.
  const IColor white = COLOR_WHITE;
  IKnobLineControl* line = new IKnobLineControl(&p, IRECT(0, 0, 40, 40), 0, &white, 0.0, 18.0, -M_PI / 2, M_PI / 2);
  p.mGUI->AttachControl(line);
  line->SetValueFromUserInput(0.5);
  p.mGUI->Tick();
  LICE_IBitmap* screen = p.mGUI->GetDrawBitmap();
  EXPECT_GT(LICE_GETR(LICE_GetPixel(screen, 20, 8)), 100u) << "above the centre";
  EXPECT_LT(LICE_GETR(LICE_GetPixel(screen, 30, 20)), 40u) << "nothing to the right";

  // A multi-frame knob blits the frame of its value: frames filled with their own grey level.
  Strip s(8, 8, 5);
  for (int f = 0; f < 5; ++f) LICE_FillRect(&s.bm, 0, f * 8, 8, 8, LICE_RGBA(f * 50, f * 50, f * 50, 255));
  IKnobMultiControl* multi = new IKnobMultiControl(&p, 100, 100, 1, &s.bitmap);
  p.mGUI->AttachControl(multi);
  EXPECT_EQ(IRECT(100, 100, 108, 108), *multi->GetRECT());
  const std::pair<double, int> framesOfValues[] = {{0.0, 1}, {0.3, 2}, {0.6, 3}, {1.0, 5}};
  for (auto [value, frame] : framesOfValues) {
    multi->SetValueFromUserInput(value);
    p.mGUI->Tick();
    EXPECT_EQ((unsigned)((frame - 1) * 50), LICE_GETR(LICE_GetPixel(screen, 104, 104))) << value;
  }
}
