// The editor surface as the framework uses it: values pushed to controls, control edits pushed to the
// plug-in, and the headless Linux surface's window state, message boxes, file prompts and paths.
#include "IControl.h"
#include "IGraphicsLinux.h"
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<int>* gDestroyed = nullptr;

class TestControl : public IControl
{
public:
  TestControl(IPlugBase* plug, int paramIdx, int id = 0) : IControl(plug, IRECT(), paramIdx), mId(id) {}
  ~TestControl() override
  {
    if (gDestroyed) gDestroyed->push_back(mId);
  }
  bool Draw(IGraphics*) override { return true; }
  bool Redraw() const { return mRedraw; }
  int mId;
};

} // namespace

TEST(EditorSurface, SizeRateAndControlsDeletedLastFirst)
{
  std::vector<int> destroyed;
  gDestroyed = &destroyed;
  {
    BarePlug p(2, 1, false);
    IGraphicsLinux* g = new IGraphicsLinux(&p, 1280, 650);
    EXPECT_EQ(g->Width(), 1280);
    EXPECT_EQ(g->Height(), 650);
    EXPECT_EQ(g->FPS(), 25);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(g->AttachControl(new TestControl(&p, -1, i)), i - 1);
    p.AttachGraphics(g); // the plug-in owns and deletes it
  }
  gDestroyed = nullptr;
  EXPECT_EQ(destroyed, (std::vector<int>{3, 2, 1}));
  BarePlug q(1, 1, false);
  IGraphicsLinux g(&q, 10, 10, 60);
  EXPECT_EQ(g.FPS(), 60);
}

TEST(EditorSurface, ValuesFromThePluginReachBoundAndAuxControls)
{
  BarePlug p(3, 1, false);
  p.GetParam(2)->InitDouble("wide", 0.0, -10.0, 10.0, 0.1);
  IGraphicsLinux* g = new IGraphicsLinux(&p, 100, 100);
  TestControl* bound = new TestControl(&p, 1);
  TestControl* aux = new TestControl(&p, 0);
  aux->AddAuxParam(2);
  aux->AddAuxParam(1);
  g->AttachControl(bound);
  g->AttachControl(aux);
  p.AttachGraphics(g);
  EXPECT_EQ(aux->AuxParamIdx(1), 1);
  EXPECT_EQ(bound->AuxParamIdx(1), -1);

  g->SetParameterFromPlug(2, 5.0, false); // normalised by the parameter: 0.75
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue, 0.75);
  EXPECT_TRUE(aux->IsDirty());
  g->SetParameterFromPlug(1, 0.25, true);
  EXPECT_DOUBLE_EQ(bound->GetValue(), 0.25);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(1)->mValue, 0.25);
  g->SetControlFromPlug(0, 0.5);
  EXPECT_DOUBLE_EQ(bound->GetValue(), 0.5);
  g->SetControlFromPlug(7, 0.5); // no such control: nothing
  g->SetControlFromPlug(-1, 0.5);

  // All parameters at once (a program load): every bound and aux control shows its parameter's value.
  p.GetParam(0)->SetNormalized(0.125);
  p.GetParam(1)->SetNormalized(0.375);
  p.GetParam(2)->Set(-5.0);
  p.RedrawParamControls();
  EXPECT_DOUBLE_EQ(aux->GetValue(), 0.125);
  EXPECT_DOUBLE_EQ(bound->GetValue(), 0.375);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(0)->mValue, 0.25);
  EXPECT_DOUBLE_EQ(aux->GetAuxParam(1)->mValue, 0.375);
}

TEST(EditorSurface, FirstValueSetsTheDefaultThenChangesAskForRedraw)
{
  BarePlug p(1, 1, false);
  TestControl c(&p, 0);
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromPlug(0.3);
  EXPECT_DOUBLE_EQ(c.GetDefaultValue(), 0.3);
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromPlug(0.3);
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromPlug(0.4);
  EXPECT_TRUE(c.IsDirty());
  EXPECT_TRUE(c.Redraw());
  c.SetClean();
  EXPECT_TRUE(c.IsDirty()); // the redraw request keeps it dirty for one more tick
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());
}

TEST(EditorSurface, UserEditsAreClampedAndReachTheHost)
{
  Harness h;
  TestControl* c = new TestControl(h.plug, TestPlug::kGain);
  h.plug->GetGUI()->AttachControl(c);
  c->SetClamp(0.2, 0.8);
  c->SetValueFromUserInput(0.9);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.8);
  EXPECT_DOUBLE_EQ(h.plug->GetParam(TestPlug::kGain)->Value(), 1.6);
  ASSERT_TRUE(h.host.Last(audioMasterAutomate));
  EXPECT_FLOAT_EQ(h.host.Last(audioMasterAutomate)->opt, 0.8f);
  TestControl unbound(h.plug, -1);
  unbound.SetValueFromUserInput(0.5);
  EXPECT_EQ(h.host.Count(audioMasterAutomate), 1);
}

TEST(HeadlessSurface, MessageBoxesRecordAndAnswerFromTheScript)
{
  BarePlug p(0, 1, false);
  IGraphicsLinux g(&p, 10, 10);
  struct Case
  {
    int type, scriptedPosition, answer;
  };
  // Answers by button position: 1 the first (default), 7 the second, 2 the third; -1 closes the box: 0.
  const Case cases[] = {{0, 0, 1}, {0, 1, 1}, {1, 1, 7}, {4, 1, 7}, {4, 2, 1}, {3, 2, 2}, {3, 1, 7}, {3, -1, 0}};
  for (const Case& c : cases) g.ScriptMessageBoxButton(c.scriptedPosition);
  for (const Case& c : cases) EXPECT_EQ(g.ShowMessageBox("text", "Caption", c.type), c.answer) << c.type;
  EXPECT_EQ(g.ShowMessageBox("Cannot load file!", "Error", 4), 1); // script used up: the default
  ASSERT_EQ(g.NMessageBoxes(), 9);
  EXPECT_STREQ(g.GetMessageBox(8)->text.Get(), "Cannot load file!");
  EXPECT_STREQ(g.GetMessageBox(8)->caption.Get(), "Error");
  EXPECT_EQ(g.GetMessageBox(8)->type, 4);
  g.ShowMessageBox(nullptr, nullptr, 0);
  EXPECT_STREQ(g.GetMessageBox(9)->text.Get(), "");
}

TEST(HeadlessSurface, FilePromptsNeedAnOpenWindowAndFollowTheScript)
{
  BarePlug p(0, 1, false);
  IGraphicsLinux g(&p, 10, 10);
  WDL_String file("old"), folder("/start/");
  char ext[] = "fxp fxb";
  g.ScriptFilePrompt("/data/banks/mine.fxb");
  g.PromptForFile(&file, kFileOpen, &folder, ext); // window closed: only emptied
  EXPECT_STREQ(file.Get(), "");
  EXPECT_STREQ(folder.Get(), "/start/");
  EXPECT_EQ(g.NFilePrompts(), 0);

  EXPECT_TRUE(g.OpenWindow(nullptr));
  g.PromptForFile(&file, kFileOpen, &folder, ext);
  EXPECT_STREQ(file.Get(), "/data/banks/mine.fxb");
  EXPECT_STREQ(folder.Get(), "/data/banks/");
  ASSERT_EQ(g.NFilePrompts(), 1);
  EXPECT_EQ(g.GetFilePrompt(0)->action, kFileOpen);
  EXPECT_STREQ(g.GetFilePrompt(0)->folder.Get(), "/start/");
  EXPECT_STREQ(g.GetFilePrompt(0)->extensions.Get(), "fxp fxb");

  g.ScriptFilePrompt(""); // the user cancels
  g.PromptForFile(&file, kFileSave, &folder, ext);
  EXPECT_STREQ(file.Get(), "");
  EXPECT_STREQ(folder.Get(), "/data/banks/");
  EXPECT_EQ(g.GetFilePrompt(1)->action, kFileSave);

  WDL_String emptyFolder;
  g.PromptForFile(&file, kFileSave, &emptyFolder, ext); // no script left: cancelled
  EXPECT_STREQ(emptyFolder.Get(), "~/Desktop");
  EXPECT_STREQ(g.GetFilePrompt(2)->folder.Get(), "~/Desktop");
  g.PromptForFile(nullptr, kFileOpen, &folder, ext);
  g.PromptForFile(&file, kFileOpen, nullptr, nullptr);
}

TEST(HeadlessSurface, WindowOpenAndCloseOnlyRecordState)
{
  BarePlug p(0, 1, false);
  IGraphicsLinux g(&p, 10, 10);
  EXPECT_FALSE(g.WindowIsOpen());
  g.CloseWindow(); // nothing open: nothing happens
  // An X11 window id that cannot be used (no X server, or no such window on it): refused.
  EXPECT_EQ(g.OpenWindow(reinterpret_cast<void*>(0x400007)), nullptr);
  EXPECT_FALSE(g.WindowIsOpen());
  EXPECT_EQ(g.NWindowOpens(), 0);
  void* view = g.OpenWindow(nullptr);
  EXPECT_NE(view, nullptr);
  EXPECT_EQ(g.GetWindow(), view);
  EXPECT_EQ(g.LastParent(), nullptr);
  EXPECT_TRUE(g.OpenWindow(nullptr)); // reopening closes the old view first
  EXPECT_EQ(g.NWindowOpens(), 2);
  g.CloseWindow();
  EXPECT_FALSE(g.WindowIsOpen());
  EXPECT_EQ(g.GetWindow(), nullptr);
}

TEST(HeadlessSurface, PluginPathIsTheFolderOfTheModule)
{
  BarePlug p(0, 1, false);
  IGraphicsLinux g(&p, 10, 10);
  char exe[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  std::string expected(exe);
  expected.resize(expected.rfind('/') + 1);
  WDL_String path;
  g.PluginPath(&path);
  EXPECT_EQ(std::string(path.Get()), expected);

  const char* saved = std::getenv("VELTRANE_RESOURCES");
  std::string savedValue = saved ? saved : "";
  unsetenv("VELTRANE_RESOURCES");
  WDL_String res;
  g.ResourcesPath(&res, "Veltrane");
  EXPECT_EQ(std::string(res.Get()), expected + "Veltrane.vst/Contents/Resources/");
  setenv("VELTRANE_RESOURCES", "/elsewhere/res", 1);
  g.ResourcesPath(&res, "Veltrane");
  EXPECT_STREQ(res.Get(), "/elsewhere/res/");
  setenv("VELTRANE_RESOURCES", "/with/slash/", 1);
  g.ResourcesPath(&res, "Veltrane");
  EXPECT_STREQ(res.Get(), "/with/slash/");
  if (saved)
    setenv("VELTRANE_RESOURCES", savedValue.c_str(), 1);
  else
    unsetenv("VELTRANE_RESOURCES");
}

// Images are resources looked up by name and type: any case of the extension "png" names the file with
// the lower-case extension, and only the last path component counts.
TEST(HeadlessSurface, ImagesAreFoundByNameWhateverTheCaseOfTheirExtension)
{
  char folder[] = "/tmp/veltrane_res_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  LICE_MemBitmap pixel(3, 2);
  ASSERT_TRUE(LICE_WritePNG((std::string(folder) + "/knob.png").c_str(), &pixel));
  const char* saved = std::getenv("VELTRANE_RESOURCES");
  const std::string savedValue = saved ? saved : "";
  setenv("VELTRANE_RESOURCES", folder, 1);
  BarePlug p(0, 1, false);
  IGraphicsLinux g(&p, 10, 10);
  const struct
  {
    const char* name;
    bool found;
  } cases[] = {{"knob.png", true}, {"img/knob.PNG", true}, {"resources/img/knob.Png", true},
               {"knob.jpg", false}, {"knob", false},       {".png", false}};
  for (const auto& c : cases) {
    std::unique_ptr<LICE_IBitmap> bm(g.OSLoadBitmap(0, c.name));
    EXPECT_EQ(c.found, bm != nullptr) << c.name;
    if (bm) {
      EXPECT_EQ(3, bm->getWidth()) << c.name;
    }
  }
  if (saved)
    setenv("VELTRANE_RESOURCES", savedValue.c_str(), 1);
  else
    unsetenv("VELTRANE_RESOURCES");
  std::remove((std::string(folder) + "/knob.png").c_str());
  rmdir(folder);
}

// A resize to the size the editor has changes nothing; another size rebuilds it: the controls go and the
// plug-in is asked for the new ones (here it only takes the new editor size for the host).
TEST(HeadlessSurface, AResizeToTheCurrentSizeKeepsTheControls)
{
  BarePlug p(1, 1, false);
  IGraphicsLinux* g = new IGraphicsLinux(&p, 40, 30);
  g->AttachControl(new TestControl(&p, 0, 1));
  g->AttachControl(new TestControl(&p, -1, 2));
  p.AttachGraphics(g);
  g->Resize(40, 30);
  EXPECT_EQ(2, g->GetNControls());
  ERect* rect = nullptr;
  p.GetAEffect()->dispatcher(p.GetAEffect(), effEditGetRect, 0, 0, &rect, 0.0f);
  ASSERT_NE(nullptr, rect);
  EXPECT_EQ(40, rect->right);
  g->Resize(60, 30);
  EXPECT_EQ(0, g->GetNControls());
  EXPECT_EQ(60, g->Width());
  EXPECT_EQ(60, g->GetDrawBitmap()->getWidth());
  p.GetAEffect()->dispatcher(p.GetAEffect(), effEditGetRect, 0, 0, &rect, 0.0f);
  EXPECT_EQ(60, rect->right);
}
