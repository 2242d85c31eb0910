// Screenshot sheets for a person to look at the artwork at once, written to build/test-output/:
// artwork_sheet.png holds every image with every frame (both knob strips frame by frame), and
// editor_screenshot.png an editor laid out as the panels place their controls, with knobs, switches and
// buttons at several values. The test checks that both were written and that the drawn controls show.
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IGraphicsLinux.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "editor_test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

VstIntPtr silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

std::string outputPath(const char* name)
{
  mkdir(VELTRANE_TEST_OUTPUT, 0755);
  return std::string(VELTRANE_TEST_OUTPUT) + "/" + name;
}

// One frame of an image as a plain bitmap control (frame chosen by the value).
IControl* frameOf(IPlugBase* p, int x, int y, int id, int frame)
{
  IBitmap* b = BitmapStore::getBitmap(id);
  IBitmapControl* c = new IBitmapControl(p, x, y, -1, b);
  c->SetValueFromUserInput(b->N > 1 ? (double)(frame - 1) / (b->N - 1) : 0.0);
  return c;
}

IControl* label(IPlugBase* p, int x, int y, int w, const char* text, int size = 10, int a = 200)
{
  const IColor color(a, 200, 204, 212);
  IText style(size, &color, "Arial", IText::kStyleNormal, IText::kAlignCenter, 0, IText::kQualityClearType);
  return new ITextControl(p, IRECT(x, y, x + w, y + size + 4), &style, text);
}

struct Knob
{
  int x, y;
  double value;
  const char* text;
  bool small = false;
};

struct Menu
{
  int x, y, id;
  const char* text; // null: unlit
};

} // namespace

TEST(ArtworkSheet, EveryImageAndEveryKnobFrame)
{
  useBuiltResources();
  std::unique_ptr<Veltrane> v = std::make_unique<Veltrane>(IPlugInstanceInfo{silentHost});
  // A surface of its own, large enough for everything side by side.
  const int W = 1330, H = 1660;
  IGraphicsLinux* g = new IGraphicsLinux(v.get(), W, H);
  g->PrepDraw();
  BitmapStore::init(g);
  const IColor ground(255, 13, 14, 16);
  g->AttachPanelBackground(&ground);
  const EditorImage* images = editorImages();

  // Pieces 2..20 with all their frames, then the digits.
  int x = 10, y = 10;
  for (int id = 2; id <= 20; ++id) {
    IBitmap* b = BitmapStore::getBitmap(id);
    const int fh = b->frameHeight();
    const int need = b->N * (b->W + 4) + 8;
    if (id == kImageDigits || id == kImageMasterHead || id == kImageMasterBack) continue; // shown below
    if (x + need > W) x = 10, y += 64;
    for (int f = 1; f <= b->N; ++f) g->AttachControl(frameOf(v.get(), x + (f - 1) * (b->W + 4), y + (30 - fh) / 2, id, f));
    const char* name = std::strrchr(images[id - 1].name, '/') + 1;
    g->AttachControl(label(v.get(), x - 10, y + 34, need + 10, name, 9));
    x += need + 16;
  }
  x = 10, y += 64;
  for (int f = 1; f <= 10; ++f) g->AttachControl(frameOf(v.get(), x + (f - 1) * 14, y, kImageDigits, f));
  g->AttachControl(label(v.get(), x, y + 20, 140, "digits.png", 9));
  g->AttachControl(frameOf(v.get(), 170, y, kImageMasterHead, 1));
  g->AttachControl(frameOf(v.get(), 172, y + 5, kImageMasterOn, 1));
  g->AttachControl(label(v.get(), 170, y + 28, 128, "master_head + master_on", 9));
  g->AttachControl(frameOf(v.get(), 320, y + 6, kImageLed, 1));
  g->AttachControl(label(v.get(), 300, y + 28, 48, "led.png", 9));

  // Every frame of both knob strips, in rows.
  y += 50;
  for (int id : {kImageKnob, kImageKnobSmall}) {
    IBitmap* b = BitmapStore::getBitmap(id);
    const int pitch = b->W + 8, perRow = (W - 20) / pitch;
    for (int f = 1; f <= 65; ++f) {
      const int col = (f - 1) % perRow, row = (f - 1) / perRow;
      g->AttachControl(frameOf(v.get(), 10 + col * pitch, y + row * (b->frameHeight() + 8), id, f));
    }
    y += ((64 / perRow) + 1) * (b->frameHeight() + 8) + 6;
  }

  // The module backgrounds and the master background, ten a row.
  y += 8;
  for (int id = kImageFirstModule - 13; id <= 61; ++id) {
    if (id > kImageMasterBack && id < kImageFirstModule) continue;
    const int k = id == kImageMasterBack ? 0 : id - kImageFirstModule + 1;
    g->AttachControl(frameOf(v.get(), 10 + (k % 10) * 131, y + (k / 10) * 318, id, 1));
    g->AttachControl(label(v.get(), 10 + (k % 10) * 131, y + (k / 10) * 318 + 301, 128,
                           std::strrchr(images[id - 1].name, '/') + 1, 9));
  }

  g->OpenWindow(nullptr);
  IRECT all(0, 0, W, H);
  g->SetAllControlsDirty();
  g->Draw(&all);
  const std::string path = outputPath("artwork_sheet.png");
  ASSERT_TRUE(g->SaveScreenshot(path.c_str()));
  std::unique_ptr<LICE_IBitmap> back(LICE_LoadPNG(path.c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(W, back->getWidth());
  delete g;
}

namespace {

// Places controls the way the panels do, at panel offsets.
struct Panel
{
  IPlugBase* p;
  IGraphics* g;
  int ox, oy;
  ITWKnobMultiControlText* knob(int x, int y, double value, const char* text, bool small = false)
  {
    ITWKnobMultiControlText* k = new ITWKnobMultiControlText(
        p, g, ox + x, oy + y, -1, BitmapStore::getBitmap(small ? kImageKnobSmall : kImageKnob), false);
    k->SetValueFromUserInput(value);
    k->setOverrideText(text);
    g->AttachControl(k);
    return k;
  }
  void knobs(std::initializer_list<Knob> list)
  {
    for (const Knob& k : list) knob(k.x, k.y, k.value, k.text, k.small);
  }
  void menus(std::initializer_list<Menu> list)
  {
    for (const Menu& m : list) menu(m.x, m.y, m.id, m.text);
  }
  // A source menu: its image 1 left and 2 up of the point, its text 3 pixels lower (dark when lit).
  void menu(int x, int y, int id, const char* text)
  {
    g->AttachControl(frameOf(p, ox + x - 1, oy + y - 2, id, text ? 2 : 1));
    if (!text) return;
    IBitmap* b = BitmapStore::getBitmap(id);
    const IColor ink(192, 0, 0, 0);
    IText style(11, &ink, "Arial", IText::kStyleNormal, IText::kAlignCenter, 0, IText::kQualityClearType);
    g->AttachControl(new ITextControl(p, IRECT(ox + x - 1, oy + y + 1, ox + x - 1 + b->W, oy + y - 2 + b->frameHeight()),
                                      &style, text));
  }
  // A list field without image: light text.
  void list(int x, int y, const char* text)
  {
    const IColor ink(192, 255, 255, 255);
    IText style(11, &ink, "Arial", IText::kStyleNormal, IText::kAlignCenter, 0, IText::kQualityClearType);
    g->AttachControl(new ITextControl(p, IRECT(ox + x, oy + y + 1, ox + x + 58, oy + y + 12), &style, text));
  }
  void image(int x, int y, int id, int frame) { g->AttachControl(frameOf(p, ox + x, oy + y, id, frame)); }
  void text(int l, int t, int r, int b, const char* str, int size, int a, int rgb, bool bold = false)
  {
    const IColor ink(a, rgb >> 16 & 255, rgb >> 8 & 255, rgb & 255);
    IText style(size, &ink, "Arial", bold ? IText::kStyleBold : IText::kStyleNormal, IText::kAlignCenter, 0,
                IText::kQualityClearType);
    g->AttachControl(new ITextControl(p, IRECT(ox + l, oy + t, ox + r, oy + b), &style, str));
  }
};

int slotX(int pos)
{
  return pos < 8 ? 256 + 128 * pos : 128 * (pos - 8);
}
int slotY(int pos)
{
  return pos < 8 ? 24 : 350;
}

} // namespace

TEST(ArtworkSheet, EditorWithControlsAtSeveralValues)
{
  useBuiltResources();
  std::unique_ptr<Veltrane> v = std::make_unique<Veltrane>(IPlugInstanceInfo{silentHost});
  IGraphicsLinux* g = static_cast<IGraphicsLinux*>(v->GetGUI());
  BitmapStore::init(g);
  Veltrane* p = v.get();
  g->AttachBackground(kImageBack, editorImages()[kImageBack - 1].name);

  // The global section as the editor panel places it, with real parameters where the controls exist.
  Panel gl{p, g, 0, 0};
  gl.image(16, 55, kImagePrev, 1);
  gl.image(66, 55, kImageNext, 2);
  gl.text(40, 58, 64, 74, "07", 15, 160, 0xffffff);
  gl.text(16, 98, 240, 114, "Glass Pad Sweep", 15, 160, 0xffffff);
  gl.text(94, 60, 134, 72, "v1.0.1", 9, 128, 0xffffff);
  gl.image(191, 54, kImageLearn, 1);
  p->GetParam(Veltrane::kParamPBRange)->SetNormalized(0.4);
  p->GetParam(Veltrane::kParamPortamento)->SetNormalized(0.15);
  p->GetParam(Veltrane::kParamVoices)->Set(6);
  p->GetParam(Veltrane::kParamVolume)->SetNormalized(0.5);
  const int globalKnobs[][3] = {{16, 140, Veltrane::kParamPBRange}, {68, 140, Veltrane::kParamPortamento},
                                {144, 208, Veltrane::kParamVolume}, {40, 272, Veltrane::kParamOutAttack},
                                {96, 272, Veltrane::kParamOutDecay}, {152, 272, Veltrane::kParamOutSustain},
                                {208, 272, Veltrane::kParamOutRelease}};
  for (const auto& k : globalKnobs)
    g->AttachControl(new ITWKnobMultiControlText(p, g, k[0], k[1], k[2], BitmapStore::getBitmap(kImageKnob), false));
  p->getAnyParam(Veltrane::kParamPortaLegato)->Set(1.0);
  g->AttachControl(new ITWSwitchControl(p, 110, 146, Veltrane::kParamPortaLegato, BitmapStore::getBitmap(kImageSwitch2Orange)));
  g->AttachControl(new ITWCustomTuningControl(p, 143, 149, Veltrane::kParamCustomTuning, BitmapStore::getBitmap(kImageButtonRed)));
  gl.image(207, 149, kImageButtonRed, 2);
  gl.text(207, 152, 241, 181, "On", 11, 192, 0xffffff);
  g->AttachControl(new ITWDigitsPopUpMenu(p, g, IRECT(19, 212, 43, 228), Veltrane::kParamVoices));
  g->AttachControl(new ITWSwitchControl(p, 14, 278, Veltrane::kParamOutTrigger, BitmapStore::getBitmap(kImageSwitch2Orange)));
  gl.menus({{80, 208, kImageButtonOutput, "Osc 1"}, {80, 236, kImageButtonOutput, "Filter 1"},
            {208, 208, kImageButtonOutput, "Voices L"}, {208, 236, kImageButtonOutput, nullptr}});
  gl.image(16, 234, kImageButtonRed, 2);
  gl.text(16, 237, 50, 252, "C3", 11, 192, 0xffffff);

  // Headers: the selectors' labels; position 10 and 12 are master slots.
  const char* names[18] = {"Oscillator 1", "Filter (Ladder) 1", "", "Envelope 1", "LFO 1", "Beat Seq. 1", "", "",
                           "Mixer 1", "Equalizer 1", "", "", "Hilbert 1", "", "", "", "", ""};
  for (int pos = 0; pos < 18; ++pos) {
    Panel h{p, g, slotX(pos), slotY(pos) - 24};
    if (pos == 10 || pos == 12) {
      h.image(0, 0, kImageMasterHead, 1);
      h.image(2, 5, kImageMasterOn, 1);
    }
    h.text(0, 6, 128, 24, names[pos], 12, 192, 0xffffff, true);
  }

  // Panels with their controls where the layouts place them, at assorted values.
  const int bg[18] = {23, 28, 0, 40, 43, 48, 0, 0, 32, 57, 0, 0, 37, 0, 0, 0, 0, 0};
  for (int pos = 0; pos < 18; ++pos)
    if (bg[pos]) g->AttachControl(frameOf(p, slotX(pos), slotY(pos), bg[pos], 1));
  g->AttachControl(frameOf(p, slotX(10), slotY(10), kImageMasterBack, 1));

  Panel osc{p, g, slotX(0), slotY(0)};
  osc.list(18, 24, "Saw");
  osc.knobs({{16, 64, 0.5, "0"}, {80, 64, 0.62, "+31"}, {52, 120, 0.25, "90deg", true}, {16, 164, 0.8, "0.80"},
             {80, 164, 0.35, "-0.30"}, {16, 232, 0.0, "0"}, {80, 232, 1.0, "6145"}});
  osc.menus({{84, 25, kImageButtonBlue, nullptr}, {12, 129, kImageButtonOrange, "Gate"},
             {84, 129, kImageButton, nullptr}, {80, 212, kImageButton, "LFO 1"}, {16, 280, kImageButton, "Env 1"},
             {80, 280, kImageButton, nullptr}});

  Panel flt{p, g, slotX(1), slotY(1)};
  flt.knobs({{16, 24, 1.0, "1.00"}, {52, 46, 0.1, "2.5", true}, {80, 24, 0.0, "0.00"}, {80, 104, 0.7, "0.70"},
             {16, 124, 0.45, "1.2 kHz"}, {80, 160, 0.5, "0.00"}, {20, 188, 0.75, "0.50", true}, {16, 232, 0.6, "2458"},
             {80, 232, 0.5, "0"}});
  flt.menus({{16, 72, kImageButtonBlue, "Osc 1"}, {80, 72, kImageButtonBlue, nullptr}, {80, 208, kImageButton, nullptr},
             {16, 280, kImageButton, "Env 1"}, {80, 280, kImageButton, nullptr}});
  flt.list(3, 90, "LP 24");

  Panel env{p, g, slotX(3), slotY(3)};
  env.menus({{16, 22, kImageButtonOrange, "Gate"}, {80, 22, kImageButtonOrange, nullptr}});
  const double envValues[4] = {0.05, 0.4, 0.7, 0.3};
  const char* envTexts[4] = {"5 ms", "400 ms", "0.70", "300 ms"};
  for (int r = 0; r < 4; ++r) {
    env.knob(16, 56 + 64 * r, envValues[r], envTexts[r]);
    env.knob(80, 56 + 64 * r, 0.5, "0.00");
    env.menu(48, 88 + 64 * r, kImageButton, r == 1 ? "Velo" : nullptr);
  }
  env.image(60, 25, kImageLed, 1);

  Panel lfo{p, g, slotX(4), slotY(4)};
  lfo.list(35, 24, "Triangle");
  lfo.knobs({{16, 72, 0.5, "0.50"}, {80, 72, 0.0, "0deg"}, {16, 136, 0.55, "2.4 Hz"}, {80, 136, 1.0, "1.00"},
             {16, 198, 0.5, "0.00"}, {80, 198, 0.5, "0.00"}});
  lfo.menus({{16, 246, kImageButton, nullptr}, {80, 246, kImageButton, nullptr}, {16, 280, kImageButton, "1/8"},
             {80, 280, kImageButtonOrange, "Gate"}});
  lfo.image(60, 148, kImageLed, 1);

  Panel beat{p, g, slotX(5), slotY(5)};
  beat.menus({{16, 24, kImageButtonOrange, "Clk"}, {16, 54, kImageButtonOrange, nullptr}});
  beat.image(60, 34, kImageSwitch2Orange, 2);
  beat.list(67, 24, "1/16");
  beat.list(67, 54, "16");
  const unsigned masks[4] = {0x1111, 0x4444, 0xaaaa, 0x8421};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 16; ++i)
      beat.image(19 + 25 * c, 83 + 13 * i, i % 4 ? kImageButtonLight : kImageButtonLight2, (masks[c] >> i & 1) ? 2 : 1);
  beat.image(8, 87 + 13 * 5, kImageLed, 1);

  Panel mix{p, g, slotX(8), slotY(8)};
  for (int r = 0; r < 4; ++r) {
    mix.knob(8, 24 + 56 * r, 0.25 * (r + 1), "-6 dB");
    mix.knob(88, 24 + 56 * r, 0.5, "50%");
    mix.menu(48, 34 + 56 * r, kImageButtonBlue, r < 2 ? "Osc 1" : nullptr);
  }
  mix.knob(48, 248, 0.5, "0.0 dB");

  Panel eq{p, g, slotX(9), slotY(9)};
  eq.knobs({{16, 24, 0.5, "0.0 dB"}, {80, 24, 0.5, "0.0 dB"}});
  eq.image(60, 32, kImageSwitch2Orange, 2);
  eq.menus({{16, 72, kImageButtonBlue, "Mix 1"}, {80, 72, kImageButtonBlue, nullptr}});
  for (int r = 0; r < 5; ++r) {
    eq.knob(12, 92 + 42 * r, 0.1 + 0.2 * r, "+3.0", true);
    eq.knob(92, 92 + 42 * r, 0.9 - 0.2 * r, "-3.0", true);
  }

  Panel hil{p, g, slotX(12), slotY(12)};
  hil.knobs({{16, 122, 0.55, "80 Hz"}, {80, 122, 0.5, "0.50"}});
  hil.image(22, 169, kImageSwitch2Horiz, 2);
  hil.menus({{80, 34, kImageButtonBlue, "Osc 1"}, {80, 56, kImageButtonBlue, nullptr}, {80, 168, kImageButton, nullptr},
             {16, 234, kImageButtonBlue, nullptr}, {80, 234, kImageButtonBlue, nullptr},
             {16, 272, kImageButtonBlue, nullptr}, {80, 272, kImageButtonBlue, nullptr}});

  g->OpenWindow(nullptr);
  g->SetAllControlsDirty();
  IRECT all(0, 0, 1280, 650);
  g->Draw(&all);
  const std::string path = outputPath("editor_screenshot.png");
  ASSERT_TRUE(g->SaveScreenshot(path.c_str()));
  // The digits show 20 voices (entry 6), and the volume knob its frame (0.5: frame 33, the arc half way).
  std::unique_ptr<LICE_IBitmap> shot(LICE_LoadPNG(path.c_str()));
  ASSERT_TRUE(shot);
  EXPECT_EQ(1280, shot->getWidth());
  EXPECT_EQ(650, shot->getHeight());
  EXPECT_EQ(20, Veltrane::nVoices[6]);
}
