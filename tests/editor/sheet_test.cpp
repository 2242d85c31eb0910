// Screenshot sheets for a person to look at the artwork at once, written to build/test-output/:
// artwork_sheet.png holds every image with every frame (both knob strips frame by frame), and
// editor_screenshot.png the editor itself with a panel of every family and every parameter at a value of
// its own. The tests check that both were written and that the editor's controls show their parameters.
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IGraphicsLinux.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "editor_test_util.h"
#include "engine_harness.h"

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
    for (int f = 1; f <= b->N; ++f)
      g->AttachControl(frameOf(v.get(), x + (f - 1) * (b->W + 4), y + (30 - fh) / 2, id, f));
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

TEST(ArtworkSheet, TheEditorWithEveryKindOfControlAtSeveralValues)
{
  useBuiltResources();
  std::unique_ptr<Veltrane> v = MakeVeltrane();
  // A panel of every family in the editor's own order, two of them master slots; the rest stay empty.
  const int modules[] = {ModuleConfig::MOD_OSCILLATOR, ModuleConfig::MOD_LADDER,       ModuleConfig::MOD_EMPTY,
                         ModuleConfig::MOD_ENVELOPE,   ModuleConfig::MOD_LFO,          ModuleConfig::MOD_BEATSEQ,
                         ModuleConfig::MOD_EMPTY,      ModuleConfig::MOD_OSCWAVETABLE, ModuleConfig::MOD_MIXER,
                         ModuleConfig::MOD_EQ10,       ModuleConfig::MOD_REVERB,       ModuleConfig::MOD_EMPTY,
                         ModuleConfig::MOD_HILBERT,    ModuleConfig::MOD_SEQSWITCH,    ModuleConfig::MOD_EMPTY,
                         ModuleConfig::MOD_GATETOOLS,  ModuleConfig::MOD_EMPTY,        ModuleConfig::MOD_EMPTY};
  for (int s = 0; s < 18; ++s) v->replaceModule(s, modules[s], s == 10 || s == 12, false);
  v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  v->updateInstances();
  IGraphicsLinux* g = v->graphics;
  g->OpenWindow(nullptr);
  v->OnGUIOpen();
  // Every parameter at a value of its own, as a host's automation sets it: knobs across their arcs,
  // switches on and off, lists and source buttons on assorted entries.
  AEffect* e = v->GetAEffect();
  for (int p = 0; p <= Veltrane::kParamMasterOutRight; ++p) {
    IParam* param = v->getAnyParam(p);
    if (!param) continue;
    // A value the parameter holds exactly (a host sends what the parameter reported, a stepped one's steps).
    const double saved = param->Value();
    param->SetNormalized((p * 37 % 101) / 100.0);
    const double value = param->GetNormalized();
    param->Set(saved);
    if (p < v->NParams())
      e->setParameter(e, p, (float)value);
    else
      v->SetParameterFromGUI(p, value); // the private ones only the editor edits
  }
  v->OnIdle(); // builds the panels
  g->Tick();
  const std::string path = outputPath("editor_screenshot.png");
  ASSERT_TRUE(g->SaveScreenshot(path.c_str()));
  std::unique_ptr<LICE_IBitmap> shot(LICE_LoadPNG(path.c_str()));
  ASSERT_TRUE(shot);
  EXPECT_EQ(1280, shot->getWidth());
  EXPECT_EQ(650, shot->getHeight());

  // What the picture shows is what the plug-in holds: every control of a parameter shows its value.
  int shown = 0;
  for (int i = 0; i < g->GetNControls(); ++i) {
    IControl* c = g->GetControl(i);
    IParam* param = c->ParamIdx() >= 0 ? v->getAnyParam(c->ParamIdx()) : nullptr;
    if (!param) continue;
    EXPECT_NEAR(param->GetNormalized(), c->GetValue(), 1e-6) << "control " << i << ", parameter " << c->ParamIdx();
    ++shown;
  }
  EXPECT_GT(shown, 150);
}
