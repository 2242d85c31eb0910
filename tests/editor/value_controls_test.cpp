// The bitmap store after init, and the editor's value controls driven through the headless surface: knobs
// turned by drags and the wheel reaching their parameter and showing the frame of their value, value texts,
// switches that toggle and remember the click, the custom-tuning switch, and the voice-count digits.
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IGraphicsLinux.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "editor_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

VstIntPtr silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

std::unique_ptr<Veltrane> makeVeltrane()
{
  useBuiltResources();
  return std::make_unique<Veltrane>(IPlugInstanceInfo{silentHost});
}

const IMouseMod kLeft(true), kShift(true, false, true), kCtrl(true, false, false, true);

void click(IGraphicsLinux* g, int x, int y)
{
  g->MouseDown(x, y, kLeft);
  g->MouseUp(x, y, kLeft);
}

// The frame of a strip that the screen shows at (x, y): the one whose opaque pixels all match. -1 when
// none or more than one does.
int shownFrame(LICE_IBitmap* screen, const IBitmap& strip, int x, int y)
{
  const int w = strip.W, h = strip.H / strip.N;
  int found = -1;
  for (int f = 0; f < strip.N; ++f) {
    bool match = true;
    int opaque = 0;
    for (int j = 0; j < h && match; ++j)
      for (int i = 0; i < w && match; ++i) {
        const LICE_pixel p = LICE_GetPixel(strip.mData, i, f * h + j);
        if (LICE_GETA(p) < 255) continue;
        ++opaque;
        match = (LICE_GetPixel(screen, x + i, y + j) & 0xffffff00) == (p & 0xffffff00);
      }
    if (match && opaque > 0) {
      if (found >= 0) return -1;
      found = f + 1;
    }
  }
  return found;
}

// A plug-in of plain test parameters: 0 an enumeration of eleven voice-count entries, 1 a delay in ms.
class PanelPlug : public IPlugVST
{
public:
  PanelPlug()
      : IPlugVST(IPlugInstanceInfo{nullptr}, 2, "2-2", 1, "Panel", "", "Tests", 0x00010001, VstFourCC('p', 'n', 'l', 't'),
                 VstFourCC('T', 'e', 's', 't'), 0, false, false, false)
  {
    GetParam(0)->InitEnum("Voices", 0, 11);
    for (int i = 0; i < 11; ++i) GetParam(0)->SetDisplayText(i, Veltrane::labelVoices[i]);
    GetParam(1)->InitDouble("Delay", 12.0, 0.0, 500.0, 1.0, "ms");
  }
};

// Answers every menu with the entry the test sets.
class AnsweringSurface : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT*) override
  {
    shownItems = menu->GetNItems();
    if (choice < 0) return nullptr;
    menu->SetChosenItemIdx(choice);
    return menu;
  }
  int choice = -1;
  int shownItems = 0;
};

} // namespace

TEST(BitmapStore, EntriesAfterInitOutOfRangeAndASecondInit)
{
  testing::internal::CaptureStderr();
  if (BitmapStore::size() == 0) {
    IBitmap* early = BitmapStore::getBitmap(21);
    ASSERT_NE(nullptr, early) << "before init every id gets an empty entry";
    EXPECT_EQ(nullptr, early->mData);
    EXPECT_EQ(0, early->W);
  }
  std::unique_ptr<Veltrane> first = makeVeltrane();
  BitmapStore::init(first->GetGUI());
  ASSERT_EQ(62, BitmapStore::size());

  IBitmap* empty = BitmapStore::getBitmap(0);
  EXPECT_EQ(nullptr, empty->mData);
  EXPECT_EQ(0, empty->W);
  EXPECT_EQ(0, empty->H);
  EXPECT_EQ(1, empty->N);
  EXPECT_FALSE(empty->mFramesAreHorizontal);
  // Ids outside the store get the empty entry instead of an exception, and the fault is told once.
  for (int id : {62, -1, 1000, -2147483647 - 1}) EXPECT_EQ(empty, BitmapStore::getBitmap(id)) << id;
  const std::string log = testing::internal::GetCapturedStderr();
  size_t reports = 0;
  for (size_t at = log.find("no editor image"); at != std::string::npos; at = log.find("no editor image", at + 1))
    ++reports;
  EXPECT_EQ(1u, reports) << log;

  // Frame counts: ten digits, 65 knob positions, two states for buttons and switches, else one.
  for (int id = 1; id <= 61; ++id) {
    IBitmap* b = BitmapStore::getBitmap(id);
    const int frames = id == 6 ? 10 : (id == 21 || id == 22) ? 65 : ((id >= 2 && id <= 5) || (id >= 11 && id <= 20)) ? 2 : 1;
    EXPECT_EQ(frames, b->N) << id;
    EXPECT_FALSE(b->mFramesAreHorizontal);
    ASSERT_NE(nullptr, b->mData) << id;
    std::unique_ptr<LICE_IBitmap> file = loadResource(editorImages()[id - 1].name);
    ASSERT_TRUE(file) << id;
    EXPECT_EQ(file->getWidth(), b->W) << id;
    EXPECT_EQ(file->getHeight(), b->H) << id;
    EXPECT_EQ(0, b->H % b->N) << id;
  }
  EXPECT_EQ(28, BitmapStore::getBitmap(kImageKnob)->frameHeight());
  EXPECT_EQ(128, BitmapStore::getBitmap(61)->W) << "module_para5: a slot area wide";

  // A second instance's init loads nothing; the records outlive the instance that filled the store.
  std::vector<IBitmap> before;
  for (int id = 0; id < 62; ++id) before.push_back(*BitmapStore::getBitmap(id));
  IBitmap* knob = BitmapStore::getBitmap(kImageKnob);
  first.reset();
  std::unique_ptr<Veltrane> second = makeVeltrane();
  BitmapStore::init(second->GetGUI());
  ASSERT_EQ(62, BitmapStore::size());
  EXPECT_EQ(knob, BitmapStore::getBitmap(kImageKnob)) << "the same record";
  for (int id = 0; id < 62; ++id) {
    EXPECT_EQ(before[id].mData, BitmapStore::getBitmap(id)->mData) << id;
    EXPECT_EQ(before[id].H, BitmapStore::getBitmap(id)->H) << id;
  }
  EXPECT_EQ(LICE_GetPixel(knob->mData, 14, 14), LICE_GetPixel(knob->mData, 14, 14)); // pixels still readable
  EXPECT_EQ(28, knob->mData->getWidth());
}

TEST(ValueControls, KnobDragWheelDoubleClickAndTheFrameShown)
{
  std::unique_ptr<Veltrane> v = makeVeltrane();
  IGraphicsLinux* g = static_cast<IGraphicsLinux*>(v->GetGUI());
  BitmapStore::init(g);
  g->OpenWindow(nullptr);
  IBitmap* strip = BitmapStore::getBitmap(kImageKnob);
  IParam* volume = v->GetParam(Veltrane::kParamVolume); // 0..2, default 0.5
  ITWKnobMultiControlText* knob = new ITWKnobMultiControlText(v.get(), g, 144, 208, Veltrane::kParamVolume, strip, false);
  g->AttachControl(knob);
  EXPECT_EQ(IRECT(140, 208, 176, 252), *knob->GetRECT()) << "the image widened by 4 each side, 16 taller";
  EXPECT_EQ(IRECT(144, 208, 172, 236), knob->getKnobRect());
  EXPECT_EQ(IRECT(140, 238, 176, 248), knob->getTextRect());
  EXPECT_DOUBLE_EQ(volume->GetNormalized(), knob->GetValue());
  EXPECT_DOUBLE_EQ(0.001, knob->getWheelStep());

  // Eleven pixels up over a 44-pixel control at gearing 4 raise the value by 11 / 176.
  knob->SetValueFromUserInput(0.5);
  g->MouseDown(158, 230, kLeft);
  g->MouseMove(158, 219, kLeft);
  g->MouseUp(158, 219, kLeft);
  EXPECT_NEAR(0.5 + 11.0 / 176, knob->GetValue(), 1e-12);
  EXPECT_NEAR(0.5 + 11.0 / 176, volume->GetNormalized(), 1e-9);

  // One wheel notch moves 0.01, with Shift or Control 0.001.
  knob->SetValueFromUserInput(0.5);
  g->MouseWheel(158, 220, IMouseMod(), 1);
  EXPECT_NEAR(0.51, knob->GetValue(), 1e-12);
  g->MouseWheel(158, 220, kShift, -1);
  EXPECT_NEAR(0.509, knob->GetValue(), 1e-12);
  g->MouseWheel(158, 220, kCtrl, -9);
  EXPECT_NEAR(0.5, volume->GetNormalized(), 1e-9);

  // The frame drawn: 1 at 0, 33 at 0.5 (s = 32), 65 at 1.
  for (double value : {0.0, 0.5, 1.0, 0.25}) {
    knob->SetValueFromUserInput(value);
    g->Tick();
    EXPECT_EQ(1 + (int)(64 * value + 0.5), shownFrame(g->GetDrawBitmap(), *strip, 144, 208)) << value;
  }

  // A double click restores the default: (0.5 - 0) / (2 - 0) = 0.25 with shape 1.
  g->MouseDown(158, 220, kLeft, true);
  g->MouseUp(158, 220, kLeft);
  EXPECT_DOUBLE_EQ(0.25, volume->GetNormalized());

  // A shaped parameter: portamento 0..5 s, shape 4, default 0: the default is 0 in either form.
  ITWKnobMultiControlText porta(v.get(), g, 68, 140, Veltrane::kParamPortamento, strip, true);
  EXPECT_DOUBLE_EQ(0.0, porta.GetDefaultValue());
  EXPECT_DOUBLE_EQ(0.001, porta.getWheelStep()) << "the parameter's own step";
  // A right click opens no prompt: knobs keep prompting disabled.
  EXPECT_TRUE(knob->mDisablePrompt);
}

TEST(ValueControls, KnobTextIsValueAndLabelOrTheOverride)
{
  PanelPlug p;
  AnsweringSurface* g = new AnsweringSurface(&p, 300, 200);
  useBuiltResources();
  p.AttachGraphics(g);
  BitmapStore::init(g);
  g->OpenWindow(nullptr);
  ITWKnobMultiControlText* knob = new ITWKnobMultiControlText(&p, g, 20, 20, 1, BitmapStore::getBitmap(kImageKnobSmall), false);
  g->AttachControl(knob);
  // Value text and label joined without a space; an override cut to 23 characters; an empty one gives it back.
  const std::pair<const char*, const char*> texts[] = {
      {nullptr, "12ms"}, {"3.50 s", "3.50 s"}, {"a text longer than the field holds", "a text longer than the "},
      {"", "12ms"}};
  for (const auto& t : texts) {
    SCOPED_TRACE(t.second);
    if (t.first) knob->setOverrideText(t.first);
    char text[64];
    knob->getText(text, sizeof(text));
    EXPECT_STREQ(t.second, text);
  }

  // The text is drawn below the knob in its light colour.
  g->Tick();
  const IRECT& tr = knob->getTextRect();
  int light = 0;
  for (int y = tr.T; y < tr.B + 3; ++y)
    for (int x = tr.L; x < tr.R; ++x)
      if (LICE_GETR(LICE_GetPixel(g->GetDrawBitmap(), x, y)) > 60) ++light;
  EXPECT_GT(light, 15) << "four characters of ink";
}

TEST(ValueControls, SwitchesToggleRememberTheClickAndReachPrivateParameters)
{
  std::unique_ptr<Veltrane> v = makeVeltrane();
  IGraphicsLinux* g = static_cast<IGraphicsLinux*>(v->GetGUI());
  BitmapStore::init(g);
  g->OpenWindow(nullptr);
  IBitmap* image = BitmapStore::getBitmap(kImageSwitch2Orange);
  IParam* legato = v->getAnyParam(Veltrane::kParamPortaLegato);
  ASSERT_NE(nullptr, legato);
  legato->Set(0.0);
  ITWSwitchControl* sw = new ITWSwitchControl(v.get(), 110, 146, Veltrane::kParamPortaLegato, image);
  g->AttachControl(sw);
  EXPECT_EQ(IRECT(110, 146, 126, 166), *sw->GetRECT());
  EXPECT_EQ(0.0, sw->GetValue());

  // Two clicks before the panel update reads the flag count as one; the value toggles each time.
  for (int on : {1, 0}) {
    click(g, 115, 150);
    EXPECT_EQ(on, legato->Value());
    EXPECT_EQ(on == 1, v->portaLegatoOn);
    g->Tick();
    EXPECT_EQ(on + 1, shownFrame(g->GetDrawBitmap(), *image, 110, 146));
  }
  EXPECT_TRUE(sw->takeClicked());
  EXPECT_FALSE(sw->takeClicked());

  // A plain value at creation: a switch made while the parameter is on starts lit.
  legato->Set(1.0);
  ITWSwitchControl lit(v.get(), 0, 0, Veltrane::kParamPortaLegato, image);
  EXPECT_EQ(1.0, lit.GetValue());
  // Without a parameter: starts at 0, toggles, pushes nothing.
  ITWSwitchControl* hold = new ITWSwitchControl(v.get(), 20, 40, -1, BitmapStore::getBitmap(kImageButtonFreeze));
  g->AttachControl(hold);
  EXPECT_EQ(0.0, hold->GetValue());
  click(g, 25, 45);
  EXPECT_EQ(1.0, hold->GetValue());
  EXPECT_TRUE(hold->takeClicked());
}

TEST(ValueControls, CustomTuningSwitchOnlyWithACustomTuning)
{
  std::unique_ptr<Veltrane> v = makeVeltrane();
  IGraphicsLinux* g = static_cast<IGraphicsLinux*>(v->GetGUI());
  BitmapStore::init(g);
  g->OpenWindow(nullptr);
  ASSERT_FALSE(v->isCustomTuning());
  IParam* custom = v->GetParam(Veltrane::kParamCustomTuning);
  ITWCustomTuningControl* tuning =
      new ITWCustomTuningControl(v.get(), 143, 149, Veltrane::kParamCustomTuning, BitmapStore::getBitmap(kImageButtonRed));
  g->AttachControl(tuning);
  EXPECT_STREQ(v->tuningName, tuning->GetTooltip());
  EXPECT_EQ(IRECT(143, 149, 177, 167), *tuning->GetRECT());
  const double before = custom->Value();
  click(g, 150, 155);
  EXPECT_EQ(before, custom->Value()) << "equal temperament: clicks are ignored";
  EXPECT_FALSE(tuning->takeClicked());

  ASSERT_TRUE(v->loadTuning(VELTRANE_TESTDATA "/scala/31edo.scl") >= 0);
  ASSERT_TRUE(v->isCustomTuning());
  g->Tick();
  const double loaded = custom->Value();
  click(g, 150, 155);
  EXPECT_NE(loaded, custom->Value()) << "with a custom tuning it toggles";
  EXPECT_TRUE(tuning->takeClicked());
  click(g, 150, 155);
  EXPECT_EQ(loaded, custom->Value());
}

TEST(ValueControls, VoiceDigitsShowTheCountAndOpenTheList)
{
  PanelPlug p;
  AnsweringSurface* g = new AnsweringSurface(&p, 300, 300);
  useBuiltResources();
  p.AttachGraphics(g);
  g->OpenWindow(nullptr);
  ITWDigitsPopUpMenu* digits = new ITWDigitsPopUpMenu(&p, g, IRECT(19, 212, 43, 228), 0);
  g->AttachControl(digits);
  EXPECT_FALSE(digits->mDisablePrompt);
  const EditorImage& d = editorImages()[kImageDigits - 1];
  IBitmap strip = g->LoadIBitmap(d.id, d.name, d.frames);
  ASSERT_EQ(160, strip.H);

  struct Case
  {
    int choice, count;
  } cases[] = {{10, 64}, {0, 1}, {9, 48}, {4, 12}};
  for (const Case& c : cases) {
    g->choice = c.choice;
    click(g, 25, 220);
    EXPECT_EQ(11, g->shownItems) << "the eleven voice counts";
    EXPECT_EQ(c.choice, p.GetParam(0)->Int());
    EXPECT_EQ(c.count, digits->voiceCount());
    g->Tick();
    EXPECT_EQ(c.count / 10 + 1, shownFrame(g->GetDrawBitmap(), strip, 21, 212)) << "tens of " << c.count;
    EXPECT_EQ(c.count % 10 + 1, shownFrame(g->GetDrawBitmap(), strip, 31, 212)) << "units of " << c.count;
  }
  // A dismissed list changes nothing.
  g->choice = -1;
  click(g, 25, 220);
  EXPECT_EQ(4, p.GetParam(0)->Int());
}
