// The editor panel as a user and a host meet it: its layout, the menus of the global section and the slot
// headers (contents and what a choice does to the plug-in), the rebuild rules (editor thread only, window
// open, no menu open), screenshots of whole editors, and a session driven through the host's dispatcher.
#include "BitmapStore.h"
#include "EditorImages.h"
#include "IParam.h"
#include "ValueControls.h"
#include "Veltrane.h"
#include "editor_rig.h"
#include "editor_test_util.h"
#include "engine_harness.h"
#include "scripted_surface.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

std::string outputPath(const char* name)
{
  mkdir(VELTRANE_TEST_OUTPUT, 0755);
  return std::string(VELTRANE_TEST_OUTPUT) + "/" + name;
}

const IMouseMod kLeft(true), kRight(false, true);

// The fixture of the tests that drive one plug-in's editor; each opens the window when it needs it.
struct Panel : testing::Test, EditorRig
{
  void clickHeader(int p, IMouseMod mod = kLeft) { click(header(p).L + 70, header(p).T + 12, mod); }
  int slot(int p) const { return v->displayOrder[p]; }
  // With the window open and no audio running, the next idle call carries out posted commands.
  void settle() { v->OnIdle(); }
  int paramValue(int idx) const { return (int)v->getAnyParam(idx)->Value(); }
  // Every slot empty and shown in slot order.
  void clearPatch()
  {
    for (int s = 0; s < 18; ++s) v->replaceModule(s, ModuleConfig::MOD_EMPTY, false, false);
    v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  }
  // A modulation-source selector of parameter idx at (600, 600).
  void attachModulationMenu(int idx)
  {
    g->AttachControl(new ITWSourcesMenuControl(v.get(), 600, 600, idx, SourceDef::MODULATION, false,
                                               BitmapStore::getBitmap(kImageButton)));
  }
};
using EditorPanel = Panel;
using ProgramMenus = Panel;
using ModuleSelector = Panel;
using SourceMenus = Panel;
using MidiSourcesAndDrone = Panel;
using EditorScreenshots = Panel;
using ModulePanelFrame = Panel;
using EditorControls = Panel;

// The first display position holding an empty slot; -1 when none does.
int firstEmpty(const Veltrane& v)
{
  for (int q = 0; q < 18; ++q)
    if (v.slotConfig[v.displayOrder[q]].moduleID == ModuleConfig::MOD_EMPTY) return q;
  return -1;
}

} // namespace

TEST_F(EditorPanel, GlobalSectionAndHeadersInAttachOrder)
{
  ASSERT_EQ(43, v->firstModuleControl); // background, 24 global controls, 18 headers
  IControl* back = g->GetControl(0);
  EXPECT_EQ(IRECT(0, 0, 1280, 650), *back->GetRECT());
  struct Row
  {
    int index, param;
    IRECT rect = IRECT(); // empty: not checked
  };
  // Places follow from the image sizes the store reports: knob 21 and the two-frame buttons.
  IBitmap* knob = BitmapStore::getBitmap(kImageKnob);
  IBitmap* out = BitmapStore::getBitmap(kImageButtonOutput);
  const Row rows[] = {
      {1, -1, IRECT(16, 58, 240, 114)}, // number and name rectangles united
      {2, -305}, {3, -306}, {4, -307, IRECT(136, 55, 184, 75)}, {5, -308}, {6, -1, IRECT(94, 60, 134, 72)},
      {7, 297, IRECT(12, 140, 16 + knob->W + 4, 140 + knob->frameHeight() + 16)}, {8, 298}, {9, 301}, {10, 299},
      {11, -309, IRECT(144, 167, 176, 181)}, {12, -310, IRECT(207, 149, 241, 181)},
      {13, 288, IRECT(19, 212, 43, 228)}, {14, 292}, {15, 291},
      {16, 289, IRECT(79, 206, 79 + out->W, 206 + out->frameHeight())}, {17, 290}, {18, 293}, {19, 294}, {20, 295},
      {21, 296}, {22, 302, IRECT(207, 206, 207 + out->W, 206 + out->frameHeight())}, {23, 303}, {24, -311},
  };
  for (const Row& r : rows) {
    IControl* c = g->GetControl(r.index);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(r.param, c->ParamIdx()) << r.index;
    if (!r.rect.Empty()) {
      EXPECT_EQ(r.rect, *c->GetRECT()) << r.index;
    }
  }
  EXPECT_EQ(v->presetMenu, g->GetControl(1));
  EXPECT_EQ(v->droneControl, g->GetControl(24));
  for (int pos = 0; pos < 18; ++pos) {
    EXPECT_EQ((IControl*)v->moduleSelectors[pos], g->GetControl(25 + pos));
    EXPECT_EQ(header(pos), *g->GetControl(25 + pos)->GetRECT()) << pos;
  }
}

TEST_F(EditorPanel, BlockUnderAPoint)
{
  struct Case
  {
    int x, y, block;
  };
  const Case cases[] = {{0, 0, -2},      {200, 100, -1}, {256, 0, 0},  {1279, 324, 7}, {0, 325, 8},
                        {1279, 649, 17}, {1280, 0, -1},  {0, 650, -1}, {-1, 0, -1},    {700, 400, 13}};
  for (const Case& c : cases) EXPECT_EQ(c.block, Veltrane::getBlockFromPosition(c.x, c.y)) << c.x << "," << c.y;
}

TEST_F(EditorPanel, RebuildsOnlyOnTheEditorThreadWithTheWindowOpen)
{
  const int global = v->firstModuleControl;
  // Window closed: program changes only ask for a rebuild; nothing is detached or parked.
  for (int i = 0; i < 5; ++i) v->changePreset(i % 2);
  EXPECT_TRUE(v->panelRebuild);
  EXPECT_EQ(0, v->controlTrash.GetSize());
  v->OnIdle();
  EXPECT_TRUE(v->panelRebuild);

  open();
  EXPECT_FALSE(v->panelRebuild);
  const int afterFirst = g->GetNControls();
  EXPECT_EQ((IControl*)v->infoArea, g->GetControl(afterFirst - 1));
  EXPECT_TRUE(v->infoArea->IsHidden());

  // An empty master slot shows the master background, at the panel origin of its position.
  v->replaceModule(slot(3), ModuleConfig::MOD_EMPTY, true, true);
  bool found = false;
  for (int i = global; i < g->GetNControls(); ++i)
    found = found || *g->GetControl(i)->GetRECT() == IRECT(640, 24, 640 + BitmapStore::getBitmap(kImageMasterBack)->W,
                                                             24 + BitmapStore::getBitmap(kImageMasterBack)->H);
  EXPECT_TRUE(found);

  // Two rebuilds on the editor thread leave both detached sets in the trash; one idle call deletes them.
  v->controlTrash.Empty(true);
  v->RedrawParamControls();
  const int oneSet = v->controlTrash.GetSize();
  v->RedrawParamControls();
  EXPECT_EQ(2 * oneSet, v->controlTrash.GetSize());
  EXPECT_GE(oneSet, 2); // the master background and the info area at least
  v->OnIdle();
  EXPECT_EQ(0, v->controlTrash.GetSize());

  // From another thread: only the flag; the control list is untouched until the editor's idle call.
  const int before = g->GetNControls();
  IControl* info = v->infoArea;
  std::thread host([&] { v->changePreset(2); });
  host.join();
  EXPECT_TRUE(v->panelRebuild);
  EXPECT_EQ(before, g->GetNControls());
  EXPECT_EQ(info, v->infoArea);
  v->OnIdle();
  EXPECT_FALSE(v->panelRebuild);
  EXPECT_NE(info, v->infoArea);
}

TEST_F(EditorPanel, NothingIsRebuiltOrDeletedWhileAMenuIsOpen)
{
  open();
  // While the module menu of a header is open the host changes the program twice and idle calls arrive.
  int trashDuring = -1, countDuring = -1;
  IControl* infoBefore = v->infoArea;
  g->whileOpen = [&] {
    v->changePreset(1);
    v->OnIdle();
    v->changePreset(0);
    v->OnIdle();
    trashDuring = v->controlTrash.GetSize();
    countDuring = g->GetNControls();
  };
  const int before = g->GetNControls();
  clickHeader(0);
  g->whileOpen = nullptr;
  EXPECT_EQ(0, trashDuring);
  EXPECT_EQ(before, countDuring);
  EXPECT_EQ(infoBefore, v->infoArea);
  EXPECT_TRUE(v->panelRebuild);
  settle();
  EXPECT_FALSE(v->panelRebuild);
  EXPECT_NE(infoBefore, v->infoArea);
}

TEST_F(ProgramMenus, ProgramMenuPreviousNextAndRename)
{
  open();
  // Four submenus of 16; the current program ticked; the fourth item of "32 - 47" is program 35.
  g->answers.push_back({2, 3});
  click(50, 65);
  ASSERT_EQ(68u, g->shown.size());
  EXPECT_EQ("00 - 15>", g->shown[0]);
  EXPECT_EQ("48 - 63>", g->shown[51]);
  // Shown while program 0 was current.
  EXPECT_EQ("  " + ("00: " + std::string(v->GetPresetName(0))).substr(0, 27) + "*", g->shown[1]);
  EXPECT_EQ("  " + ("35: " + std::string(v->GetPresetName(35))).substr(0, 27), g->shown[2 * 17 + 1 + 3]);
  EXPECT_EQ(35, v->GetCurrentPresetIdx());

  // Next from 63 wraps to 0, previous from 0 to 63.
  v->changePreset(63);
  for (const auto& [x, program] : {std::pair{70, 0}, {20, 63}, {20, 62}}) {
    click(x, 60);
    EXPECT_EQ(program, v->GetCurrentPresetIdx()) << x;
  }

  // A 40-character name: stored whole, drawn and listed cut to 27 characters.
  const std::string longName = "A program name of forty characters long.";
  ASSERT_EQ(40u, longName.size());
  g->entries.push_back(longName);
  click(100, 105);
  EXPECT_EQ(IRECT(16, 98, 240, 114), g->entryRect);
  EXPECT_EQ(longName.substr(0, 23), std::string(v->GetPresetName(62)).substr(0, 23));
  g->answers.push_back({});
  click(50, 65);
  const std::string item = g->shown[g->indexOf("48 - 63>") + 1 + 62 - 48];
  EXPECT_EQ("  " + ("62: " + std::string(v->GetPresetName(62))).substr(0, 27) + "*", item);

  // An empty name keeps the old one.
  const std::string kept = v->GetPresetName(62);
  g->entries.push_back("");
  click(100, 105);
  EXPECT_EQ(kept, v->GetPresetName(62));
}

TEST_F(ProgramMenus, OptionMenusAndLearnSwitch)
{
  open();
  // Paste is disabled until the first copy.
  g->answers.push_back({});
  click(150, 60);
  for (const char* item : {"Paste Program!", "Go Online...>", "  Check Online for Update"})
    EXPECT_TRUE(g->showed(item)) << item;
  g->answers.push_back({0}); // Copy Program
  click(150, 60);
  EXPECT_GT(v->copyBuffer.Size(), 0);
  g->answers.push_back({});
  click(150, 60);
  EXPECT_TRUE(g->showed("Paste Program"));
  // The web-site item opens the address.
  g->answers.push_back({9, 1});
  click(150, 60);
  ASSERT_EQ(1u, g->OpenedURLs().size());
  EXPECT_EQ(Veltrane::kWebSite, g->OpenedURLs()[0]);
  // Tuning menu: "Reset Tuning" asks first.
  g->answers.push_back({1});
  g->ScriptMessageBoxButton(1);
  click(150, 170);
  EXPECT_EQ(1, g->NMessageBoxes());

  // The learn switch: left arms and disarms learn; right only while off switches to unlearn.
  click(195, 58);
  EXPECT_TRUE(v->midiLearnArmed);
  EXPECT_FALSE(v->midiUnlearnMode);
  click(195, 58, kRight); // armed: nothing
  EXPECT_TRUE(static_cast<ITWSwitchMidiLearn*>(v->midiLearnSwitch)->learnMode);
  click(195, 58);
  EXPECT_FALSE(v->midiLearnArmed);
  click(195, 58, kRight);
  EXPECT_FALSE(static_cast<ITWSwitchMidiLearn*>(v->midiLearnSwitch)->learnMode);
  click(195, 58);
  EXPECT_TRUE(v->midiLearnArmed);
  EXPECT_TRUE(v->midiUnlearnMode);
}

TEST_F(ModuleSelector, MenusAndTheCommandsTheyPost)
{
  open();
  // Put an LFO (Modulators, fifth) into position 2 through the module menu.
  g->answers.push_back({5, 4});
  clickHeader(2);
  EXPECT_EQ("None", g->shown[0]);
  EXPECT_EQ("Oscillators>", g->shown[1]);
  for (const char* item : {"  Dual Noise", "Tools>"}) EXPECT_TRUE(g->showed(item)) << item;
  settle();
  const int s2 = slot(2);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[s2].moduleID);
  // Its own item is now ticked and disabled.
  g->answers.push_back({});
  clickHeader(2);
  EXPECT_TRUE(g->showed("  LFO*!"));

  // Utility menu of a filled slot: 18 moves, its own position disabled; move it to position 12.
  g->answers.push_back({12});
  clickHeader(2, kRight);
  int moves = 0;
  for (const std::string& s : g->shown) moves += s.rfind("Move to position", 0) == 0;
  EXPECT_EQ(18, moves);
  EXPECT_TRUE(g->showed(std::string("Move to position 2 (") + v->slotConfig[s2].label + ")*!"));
  settle();
  EXPECT_EQ(s2, slot(12));

  // Utility menu of an empty slot: only "Remove Block".
  g->answers.push_back({0});
  const int e0 = firstEmpty(*v);
  ASSERT_GE(e0, 0);
  const int s0 = slot(e0);
  clickHeader(e0, kRight);
  EXPECT_EQ(std::vector<std::string>{"Remove Block"}, g->shown);
  settle();
  EXPECT_EQ(s0, slot(17));

  // The master indicator of an empty slot switches at once; of a filled one it opens the master menu.
  const int e1 = firstEmpty(*v);
  ASSERT_GE(e1, 0);
  const int s1 = slot(e1);
  click(header(e1).L + 5, header(e1).T + 10);
  EXPECT_TRUE(v->commandPending.load());
  settle();
  EXPECT_EQ(1, v->slotConfig[s1].master);
  int pos = 0;
  while (slot(pos) != s2) ++pos;
  g->answers.push_back({1});
  click(header(pos).L + 5, header(pos).T + 10);
  EXPECT_EQ((std::vector<std::string>{"Change to Voice Module!", "Change to Master Module"}), g->shown);
  settle();
  EXPECT_EQ(1, v->slotConfig[s2].master);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[s2].moduleID);

  // Dragging the header of position 3 over x 700 of the bottom row moves it to 13 (8 + 700 / 128).
  const int s3 = slot(3);
  g->MouseDown(header(3).L + 60, 10, kLeft);
  g->MouseMove(700, 400, kLeft);
  EXPECT_FALSE(v->infoArea->IsHidden()); // the drag label follows
  g->MouseUp(700, 400, kLeft);
  EXPECT_TRUE(v->infoArea->IsHidden());
  settle();
  EXPECT_EQ(s3, slot(13));
}

TEST_F(ModuleSelector, InfoAreaGeometry)
{
  ITWInfoArea info(v.get(), IRECT());
  info.showInfo(100, 50, "abc");
  EXPECT_EQ(IRECT(100, 50, 131, 82), info.boxRect);
  EXPECT_EQ(IRECT(102, 52, 129, 80), info.innerRect);
  EXPECT_EQ(IRECT(108, 58, 123, 74), info.textRect);
  info.showInfo(0, 0, "ab\ncdef");
  EXPECT_EQ(IRECT(0, 0, 36, 44), info.boxRect);
  info.showInfo(1270, 10, "abcdef");
  EXPECT_EQ(1280, info.boxRect.R);
  EXPECT_EQ(1270 - 36, info.boxRect.L);
  info.showInfo(0, 0, "a\n\nb"); // empty pieces are skipped: two lines
  EXPECT_EQ(0 + 10 * 2 + 2 + 22, info.boxRect.B);
  info.showDrag(300, 200, "x");
  EXPECT_EQ(IRECT(0, 0, 1280, 650), *info.GetRECT());
  EXPECT_EQ(IRECT(240, 194, 360, 210), *info.GetTargetRECT());
}

TEST_F(SourceMenus, GroupsTicksAndChoices)
{
  open();
  // Two modules: a Mixer (two audio outputs) and an LFO in voice slots.
  v->replaceModule(slot(0), ModuleConfig::MOD_MIXER, false, true);
  v->replaceModule(slot(1), ModuleConfig::MOD_OSCILLATOR, false, true);
  const std::string mixer = v->slotConfig[slot(0)].label;
  // Voice-sum selector: "off" then the voice slots' audio outputs, the Mixer's gathered under its label.
  g->answers.push_back({});
  click(90, 212);
  ASSERT_FALSE(g->shown.empty());
  EXPECT_TRUE(g->shown[0] == "off" || g->shown[0] == "off*");
  EXPECT_TRUE(g->showed(mixer + ">"));
  // Choose the oscillator's output: the item after the Mixer's submenu and its two entries.
  const int oscItem = 2;
  g->answers.push_back({oscItem});
  click(90, 212);
  const SourceDef* chosen = v->voiceSources.getSource(paramValue(Veltrane::kParamSumLeft), SourceDef::AUDIO);
  ASSERT_NE(nullptr, chosen);
  EXPECT_EQ(slot(1), chosen->module);
  EXPECT_STREQ(chosen->text, g->GetControl(16)->GetTooltip());
  // Choosing "off" sets 0, and the tooltip reads "off".
  g->answers.push_back({0});
  click(90, 212);
  EXPECT_EQ(0, paramValue(Veltrane::kParamSumLeft));
  EXPECT_STREQ("off", g->GetControl(16)->GetTooltip());

  // Master output selector: the voice sums and the external input in their groups.
  g->answers.push_back({});
  click(215, 212);
  EXPECT_EQ("Voices Sum>", g->shown[1].substr(0, 11));
  EXPECT_TRUE(g->showed("External Input>"));

  // A modulation selector: no "MIDI Sources" group until a MIDI source has a controller.
  int mod = -1;
  for (int i = 0; i < 16 && mod < 0; ++i) {
    const int idx = slot(1) * 16 + i;
    if (v->GetParam(idx)->GetNDisplayTexts() > 1 &&
        v->voiceSources.getSize(SourceDef::MODULATION) == v->GetParam(idx)->GetNDisplayTexts())
      mod = idx;
  }
  ASSERT_GE(mod, 0);
  attachModulationMenu(mod);
  g->answers.push_back({});
  click(610, 602);
  EXPECT_TRUE(g->showed("Controls>"));
  EXPECT_FALSE(g->showed("MIDI Sources>"));
  v->midiSourceCC[2] = 74;
  g->answers.push_back({});
  click(610, 602);
  const int controls = g->indexOf("Controls>"), midi = g->indexOf("MIDI Sources>");
  const int modulators = g->indexOf("Modulators>");
  EXPECT_LT(controls, midi);
  EXPECT_EQ(midi + 17, modulators);
}

TEST_F(MidiSourcesAndDrone, AssignmentFaceAndNames)
{
  open();
  // Controller 74 to MIDI source 3: submenu 3 (index 2), range "060 - 089" (item 3), entry 14.
  g->answers.push_back({2, 3, 14});
  click(220, 160);
  EXPECT_EQ(74, v->midiSourceCC[2]);
  g->answers.push_back({});
  click(220, 160);
  for (const char* item :
       {"MIDI Source 3 [074    Sound Controller 5]>", "    074    Sound Controller 5*", "MIDI Source 1>"})
    EXPECT_TRUE(g->showed(item)) << item;
  // "Off" in that source's submenu clears it.
  g->answers.push_back({2, 0});
  click(220, 160);
  EXPECT_EQ(-1, v->midiSourceCC[2]);

  // Controller labels: number, four spaces, name.
  struct Label
  {
    int cc;
    const char* text;
  };
  const Label labels[] = {{0, "000    Bank Select"},           {7, "007    Channel Volume"},
                          {17, "017    GP Controller 2"},      {40, "040    LSB for Control 8"},
                          {64, "064    Sustain Pedal On/Off"}, {81, "081    GP Controller 6"},
                          {91, "091    Effects 1 Depth "},     {92, "092    Effects 2 Depth"},
                          {99, "099    NRPN - MSB"},           {119, "119    Undefined"}};
  for (const Label& l : labels) EXPECT_STREQ(l.text, Veltrane::labelCC[l.cc]);

  // Note names.
  char name[8];
  const std::pair<int, const char*> notes[] = {{0, "C-2"},  {60, "C3"},   {61, "C#3"},
                                               {127, "G8"}, {128, "Off"}, {-1, "Off"}};
  for (const auto& n : notes) {
    ITWDroneControl::setNoteName(name, n.first);
    EXPECT_STREQ(n.second, name);
  }
}

TEST_F(EditorScreenshots, ProgramZeroAndAFullProgram)
{
  open();
  g->Tick();
  ASSERT_TRUE(g->SaveScreenshot(outputPath("editor_program0.png").c_str()));
  // Program 0's headers carry its module labels: some pixel of a filled header differs from an empty one.
  std::unique_ptr<LICE_IBitmap> shot0(LICE_LoadPNG(outputPath("editor_program0.png").c_str()));
  ASSERT_TRUE(shot0);

  // Every slot filled, every third one a master slot.
  const int ids[18] = {1, 25, 3, 5, 37, 13, 6, 35, 32, 17, 23, 39, 44, 21, 15, 31, 12, 9};
  for (int s = 0; s < 18; ++s) v->replaceModule(s, ids[s], s % 3 == 2, true);
  v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  v->updateInstances();
  v->RedrawParamControls();
  g->Tick();
  ASSERT_TRUE(g->SaveScreenshot(outputPath("editor_full_program.png").c_str()));
  std::unique_ptr<LICE_IBitmap> full(LICE_LoadPNG(outputPath("editor_full_program.png").c_str()));
  ASSERT_TRUE(full);
  ASSERT_EQ(1280, full->getWidth());
  std::unique_ptr<LICE_IBitmap> masterBack = loadResource(editorImages()[kImageMasterBack - 1].name);
  std::unique_ptr<LICE_IBitmap> back = loadResource(editorImages()[kImageBack - 1].name);
  ASSERT_TRUE(masterBack && back);
  // Every header has label text: pixels of the text row differ from the empty editor of program 0's empty slots.
  for (int pos = 0; pos < 18; ++pos) {
    const IRECT h = header(pos);
    int differing = 0;
    for (int x = h.L + 20; x < h.R - 4; ++x)
      for (int y = h.T + 8; y < h.B - 2; ++y)
        differing += LICE_GetPixel(full.get(), x, y) != LICE_GetPixel(back.get(), x, y);
    EXPECT_GT(differing, 20) << pos;
  }
  // Without a module panel over it, a master slot's panel area shows the master background, a voice slot's the
  // plain back image: empty position 2 (slot 2, master, panel origin (512, 24)) and 3 (voice, (640, 24)).
  v->replaceModule(2, ModuleConfig::MOD_EMPTY, true, true);
  v->replaceModule(3, ModuleConfig::MOD_EMPTY, false, true);
  v->RedrawParamControls();
  g->Tick();
  LICE_IBitmap* emptied = g->GetDrawBitmap();
  ASSERT_TRUE(emptied);
  int sameAsMaster = 0, sameAsBack = 0;
  for (int y = 40; y < 300; y += 13)
    for (int x = 4; x < 124; x += 11) {
      sameAsMaster += LICE_GetPixel(emptied, 512 + x, 24 + y) == LICE_GetPixel(masterBack.get(), x, y);
      sameAsBack += LICE_GetPixel(emptied, 640 + x, 24 + y) == LICE_GetPixel(back.get(), 640 + x, 24 + y);
    }
  EXPECT_GT(sameAsMaster, 150);
  EXPECT_GT(sameAsBack, 150);
}

TEST(HostSession, ScriptedThroughTheDispatcher)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  ScriptedSurface* g = scripted(&v);
  ASSERT_EQ(1, h.dispatch(effEditOpen, 0, 0, nullptr));
  h.dispatch(effEditIdle);
  auto click = [&](int x, int y, IMouseMod mod = kLeft) {
    g->MouseDown(x, y, mod);
    g->MouseUp(x, y, mod);
  };
  auto step = [&](const char* name) {
    h.run(64); // the audio thread takes the posted commands
    h.dispatch(effEditIdle);
    g->Tick();
    g->SaveScreenshot(outputPath((std::string("session_") + name + ".png").c_str()).c_str());
  };

  // 1. Choose program 3 from the program menu.
  g->answers.push_back({0, 3});
  click(50, 65);
  step("1_program");
  EXPECT_EQ(3, v.GetCurrentPresetIdx());
  EXPECT_EQ(3, h.dispatch(effGetProgram));

  // 2. Rename it.
  g->entries.push_back("Session Patch");
  click(100, 105);
  step("2_rename");
  EXPECT_STREQ("Session Patch", v.GetPresetName(3));

  // 3. An oscillator into the first empty position.
  const int pos = firstEmpty(v);
  ASSERT_GE(pos, 0);
  const int slot = v.displayOrder[pos];
  g->answers.push_back({1, 0});
  click(Panel::header(pos).L + 70, Panel::header(pos).T + 12);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[slot].moduleID); // posted, not yet carried out
  step("3_module");
  ASSERT_EQ(ModuleConfig::MOD_OSCILLATOR, v.slotConfig[slot].moduleID);

  // 4. Connect its output to the left voice sum from the source menu: find the entry by its text.
  const int audioIdx = v.voiceSources.getPosition(SourceDef::AUDIO, SourceDef::AUDIO, slot, 0);
  ASSERT_GT(audioIdx, 0);
  g->answers.push_back({});
  click(90, 212);
  const std::string text = v.voiceSources.getSource(audioIdx, SourceDef::AUDIO)->text;
  int item = -1, topItem = -1;
  for (size_t i = 0; i < g->shown.size(); ++i) {
    if (g->shown[i][0] != ' ') ++topItem;
    if (g->shown[i] == text || g->shown[i] == text + "*") item = topItem;
  }
  ASSERT_GE(item, 0) << "a single-output module is listed at the top level";
  g->answers.push_back({item});
  click(90, 212);
  step("4_connect");
  EXPECT_EQ(audioIdx, (int)v.GetParam(Veltrane::kParamSumLeft)->Value());

  // 5. Move it to position 9 by dragging its header. The label's box lightens what lies under it: white at
  // 96 of 255 (a corner of the box, beside its text).
  const int target = pos == 9 ? 10 : 9;
  const int cornerX = Panel::header(target).L + 40 - 62, cornerY = Panel::header(target).T + 100 - 8;
  const IColor under = g->GetPoint(cornerX, cornerY);
  g->MouseDown(Panel::header(pos).L + 60, Panel::header(pos).T + 10, kLeft);
  g->MouseMove(Panel::header(target).L + 40, Panel::header(target).T + 100, kLeft);
  g->Tick(); // the drag label over the editor
  g->SaveScreenshot(outputPath("session_5_dragging.png").c_str());
  const IColor label = g->GetPoint(cornerX, cornerY);
  const int channels[3][2] = {{under.R, label.R}, {under.G, label.G}, {under.B, label.B}};
  for (const auto& c : channels) EXPECT_NEAR(c[0] + (255 - c[0]) * 96 / 255.0, c[1], 2);
  g->MouseUp(Panel::header(target).L + 40, Panel::header(target).T + 100, kLeft);
  step("5_move");
  EXPECT_EQ(slot, v.displayOrder[target]);
  // The voice sum still names the oscillator.
  EXPECT_EQ(slot,
            v.voiceSources.getSource((int)v.GetParam(Veltrane::kParamSumLeft)->Value(), SourceDef::AUDIO)->module);

  // 6. Switch it to master through the master menu.
  g->answers.push_back({1});
  click(Panel::header(target).L + 5, Panel::header(target).T + 10);
  step("6_master");
  EXPECT_EQ(1, v.slotConfig[slot].master);
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, v.slotConfig[slot].moduleID);

  // 7. Assign controller 1 to MIDI source 1.
  g->answers.push_back({0, 1, 1});
  click(220, 160);
  step("7_midi");
  EXPECT_EQ(1, v.midiSourceCC[0]);

  // 7b. Twelve voices from the voice count's list (entry 4 of 1, 2, 4, 8, 12, ...).
  g->answers.push_back({4});
  click(30, 220);
  step("7b_voices");
  EXPECT_EQ(4, (int)v.GetParam(Veltrane::kParamVoices)->Value());
  EXPECT_EQ(12, v.activeVoices);

  // 8. Hold the drone note C3 (octave submenu 6, item 0), then release it.
  g->answers.push_back({6, 0});
  click(25, 240);
  h.run(64);
  bool held = false;
  for (const Voice& voice : v.voices) held = held || (voice.noteNumber == 60 && voice.active);
  EXPECT_TRUE(held);
  EXPECT_STREQ("Drone Mode: Note C3", v.droneControl->GetTooltip());
  step("8_drone");
  g->answers.push_back({0});
  click(25, 240);
  h.run(64);
  EXPECT_EQ(0, v.numPressedKeys);
  EXPECT_STREQ("Drone Mode: Off", v.droneControl->GetTooltip());

  h.dispatch(effEditClose);
}

TEST_F(ModulePanelFrame, SpecialControlsLiveUntilTheNextRebuild)
{
  open();
  class Led : public IControl
  {
  public:
    explicit Led(IPlugBase* plug) : IControl(plug, IRECT(300, 100, 310, 110)) {}
    bool Draw(IGraphics*) override { return true; }
  };
  Led* a = new Led(v.get());
  Led* b = new Led(v.get());
  v->slotConfig[5].addSpecialControl(g, a);
  v->slotConfig[5].addSpecialControl(g, b);
  EXPECT_EQ((std::vector<IControl*>{a, b}), v->slotConfig[5].specialControls);
  EXPECT_EQ(b, g->GetControl(g->GetNControls() - 1));

  // The rebuild empties the list and parks the controls; they are deleted by the next idle call only.
  v->controlTrash.Empty(true);
  v->RedrawParamControls();
  EXPECT_TRUE(v->slotConfig[5].specialControls.empty());
  bool parked = false;
  for (int i = 0; i < v->controlTrash.GetSize(); ++i) parked = parked || v->controlTrash.Get(i) == a;
  EXPECT_TRUE(parked);
  for (int i = 0; i < g->GetNControls(); ++i) EXPECT_NE((IControl*)a, g->GetControl(i));
  v->OnIdle();
  EXPECT_EQ(0, v->controlTrash.GetSize());

  // A type outside 1..44 builds nothing; an empty voice slot neither.
  const int n = g->GetNControls();
  v->slotConfig[7].moduleID = (ModuleConfig::ModuleID)45;
  v->slotConfig[7].createModuleGraphics(0, 350);
  v->slotConfig[7].moduleID = ModuleConfig::MOD_EMPTY;
  v->slotConfig[7].createModuleGraphics(0, 350);
  EXPECT_EQ(n, g->GetNControls());
}

TEST_F(EditorPanel, PlugToCommonFromAHeaderDrop)
{
  open();
  // A Mixer (two audio outputs) at a voice position, dropped on the global panel: both voice sums take it.
  const int pos = firstEmpty(*v);
  ASSERT_GE(pos, 0);
  const int s = slot(pos);
  v->replaceModule(s, ModuleConfig::MOD_MIXER, false, true);
  const IRECT h = header(pos);
  g->MouseDown(h.L + 60, h.T + 10, kLeft);
  g->MouseMove(100, 100, kLeft);
  g->MouseUp(100, 100, kLeft);
  settle();
  const SourceDef* l = v->voiceSources.getSource(paramValue(Veltrane::kParamSumLeft), SourceDef::AUDIO);
  const SourceDef* r = v->voiceSources.getSource(paramValue(Veltrane::kParamSumRight), SourceDef::AUDIO);
  ASSERT_TRUE(l && r);
  EXPECT_EQ(s, l->module);
  EXPECT_EQ(0, l->index);
  EXPECT_EQ(s, r->module);
  EXPECT_EQ(1, r->index);
  // The selectors show it: their tooltips are the sources' long texts.
  EXPECT_STREQ(l->text, g->GetControl(16)->GetTooltip());
  EXPECT_STREQ(r->text, g->GetControl(17)->GetTooltip());
  // An LFO (no audio output) dropped outside the editor changes nothing.
  v->replaceModule(s, ModuleConfig::MOD_LFO, false, true);
  const double left = v->GetParam(Veltrane::kParamSumLeft)->Value();
  g->MouseDown(h.L + 60, h.T + 10, kLeft);
  g->MouseMove(1300, 700, kLeft);
  g->MouseUp(1300, 700, kLeft);
  settle();
  EXPECT_EQ(left, v->GetParam(Veltrane::kParamSumLeft)->Value());
}

TEST_F(SourceMenus, ModuleOutputsFollowTheDisplayOrderAndListsPopUpFlat)
{
  open();
  clearPatch();
  // An LFO whose rate input we open, an Envelope (one output) at 3 and a Dual LFO (two outputs) at 9.
  v->replaceModule(0, ModuleConfig::MOD_LFO, false, true);
  v->replaceModule(3, ModuleConfig::MOD_ENVELOPE, false, true);
  v->replaceModule(9, ModuleConfig::MOD_LFO2, false, true);
  attachModulationMenu(0 * 16 + 5);
  const std::string envText =
      v->voiceSources
          .getSource(v->voiceSources.getPosition(SourceDef::MODULATION, SourceDef::MODULATION, 3, 0),
                     SourceDef::MODULATION)
          ->text;
  const std::string dual = std::string("  ") + v->slotConfig[9].label + ">";
  g->answers.push_back({});
  click(610, 602);
  const int modulators = g->indexOf("Modulators>");
  ASSERT_GE(modulators, 0);
  const int env = g->indexOf("  " + envText), lfo2 = g->indexOf(dual);
  ASSERT_GT(env, modulators);
  ASSERT_GT(lfo2, modulators);
  EXPECT_LT(env, lfo2);
  EXPECT_EQ("    ", g->shown[lfo2 + 1].substr(0, 4)); // its two outputs inside its submenu
  EXPECT_EQ("    ", g->shown[lfo2 + 2].substr(0, 4));

  // Moved from position 9 to 2, the Dual LFO's outputs come first.
  v->moveModule(9, 2);
  // The rebuild parked the selector with the old panels: a new one, as the new panel would make.
  attachModulationMenu(0 * 16 + 5);
  g->answers.push_back({});
  click(610, 602);
  EXPECT_LT(g->indexOf(dual), g->indexOf("  " + envText));

  // The LFO's waveform list: one flat menu of its display texts, the current one ticked; a choice sets it.
  IParam* wave = v->GetParam(0);
  ITWPopUpMenuControl* list = new ITWPopUpMenuControl(v.get(), 600, 630, 0, nullptr, false);
  g->AttachControl(list);
  g->answers.push_back({2});
  click(610, 635);
  ASSERT_EQ((size_t)wave->GetNDisplayTexts(), g->shown.size());
  for (int i = 0; i < wave->GetNDisplayTexts(); ++i)
    EXPECT_EQ(std::string(wave->GetDisplayText(i)) + (i == 0 ? "*" : ""), g->shown[i]);
  EXPECT_EQ(2, (int)wave->Value());
  EXPECT_EQ(IRECT(600, 630, 658, 642), *list->GetTargetRECT());
}

TEST_F(SourceMenus, EachOutputOfAModuleWithBothKindsStaysInItsOwnGroup)
{
  open();
  clearPatch();
  // Sample + Hold has audio and modulation outputs under one label: its audio outputs are the last of the
  // signals and its modulation outputs the first of the modulators.
  v->replaceModule(0, ModuleConfig::MOD_SHNOISE, false, true);
  v->replaceModule(1, ModuleConfig::MOD_LFO, false, true);
  g->AttachControl(new ITWSourcesMenuControl(v.get(), 600, 600, 0 * 16 + 6, SourceDef::AUDIO_OR_MOD, false,
                                             BitmapStore::getBitmap(kImageButtonBlue)));
  g->answers.push_back({});
  click(610, 602);
  // The top-level group above each line of the menu.
  std::vector<std::string> groupOf;
  std::string group;
  for (const std::string& line : g->shown) {
    if (line[0] != ' ') group = line;
    groupOf.push_back(group);
  }
  int found = 0;
  for (SourceDef::SourceType type : {SourceDef::AUDIO, SourceDef::MODULATION})
    for (int i = 1; i < v->voiceSources.getSize(type); ++i) {
      const SourceDef* s = v->voiceSources.getSource(i, type);
      if (s->module != 0) continue;
      const int line = g->indexOf(std::string("    ") + s->text);
      ASSERT_GE(line, 0) << s->text << ": two outputs of a kind go into the module's submenu";
      EXPECT_EQ(type == SourceDef::AUDIO ? "Signals>" : "Modulators>", groupOf[line]) << s->text;
      ++found;
    }
  EXPECT_GE(found, 4);
}

TEST(EditorCommands, QueuedInOrderAndCarriedOutWhenTheHostStopsProcessing)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  ASSERT_EQ(1, h.dispatch(effEditOpen));
  h.dispatch(effEditIdle);
  const int a = v.displayOrder[10], b = v.displayOrder[11];
  // While blocks run between idle calls, idle leaves the commands to the audio thread.
  v.postCommand(Veltrane::kCommandReplace, a, ModuleConfig::MOD_LFO);
  h.run(64);
  h.dispatch(effEditIdle);
  v.postCommand(Veltrane::kCommandReplace, b, ModuleConfig::MOD_ENVELOPE);
  h.dispatch(effEditIdle); // a block ran since the last idle call: not here
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[b].moduleID);
  h.run(64);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[a].moduleID);
  EXPECT_EQ(ModuleConfig::MOD_ENVELOPE, v.slotConfig[b].moduleID);

  // The host switches processing off: three posts in a row, none lost, carried out in order by idle.
  h.dispatch(effStopProcess);
  h.dispatch(effMainsChanged, 0, 0);
  v.postCommand(Veltrane::kCommandReplace, a, ModuleConfig::MOD_MIXER);
  v.postCommand(Veltrane::kCommandToggleMaster, a, 1);
  v.postCommand(Veltrane::kCommandMove, 10, 0);
  h.dispatch(effEditIdle);
  h.dispatch(effEditIdle);
  EXPECT_EQ(ModuleConfig::MOD_MIXER, v.slotConfig[a].moduleID);
  EXPECT_EQ(1, v.slotConfig[a].master);
  EXPECT_EQ(a, v.displayOrder[0]);
  EXPECT_FALSE(v.commandPending.load());
  // More posts than the queue holds: the poster carries the queue out itself rather than drop one.
  for (int i = 0; i < 3 * (int)Veltrane::kCommandQueueSize; ++i)
    v.postCommand(Veltrane::kCommandReplace, b, i % 2 ? ModuleConfig::MOD_LFO : ModuleConfig::MOD_AMPLIFIER);
  h.dispatch(effEditIdle);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[b].moduleID); // the last post wins
  EXPECT_EQ(v.commandHead.load(), v.commandTail.load());
  // Chosen right before a copy, or before the editor's own program change: the copy, and the program left,
  // hold it.
  const int shown = v.GetCurrentPresetIdx();
  v.postCommand(Veltrane::kCommandReplace, a, ModuleConfig::MOD_REVERB);
  v.runFileCommand(File::kCopyProgram);
  v.changePreset(shown + 1);
  v.pastePreset();
  EXPECT_EQ(ModuleConfig::MOD_REVERB, v.slotConfig[a].moduleID);
  v.postCommand(Veltrane::kCommandReplace, a, ModuleConfig::MOD_LFO);
  v.changePreset(shown);
  v.changePreset(shown + 1);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[a].moduleID);
  // The editor closed right after a choice, no idle call to come: the choice is carried out.
  v.postCommand(Veltrane::kCommandReplace, b, ModuleConfig::MOD_ENVELOPE);
  h.dispatch(effEditClose);
  EXPECT_EQ(ModuleConfig::MOD_ENVELOPE, v.slotConfig[b].moduleID);
}

TEST_F(EditorControls, MissingImagesAndOtherPlugInsDrawNothingAndCrashNothing)
{
  open();
  auto* source = new ITWSourcesMenuControl(v.get(), 600, 600, 5, SourceDef::MODULATION, false, nullptr);
  ITWDroneControl* drone = new ITWDroneControl(v.get(), 620, 600, nullptr);
  g->AttachControl(source);
  g->AttachControl(drone);
  EXPECT_TRUE(source->GetRECT()->W() == 0 && drone->GetRECT()->W() == 0);
  g->SetAllControlsDirty();
  g->Tick();
  // A selector of a source type no list has: no menu beyond the off entry.
  ITWSourcesMenuControl odd(v.get(), 650, 600, 5, (SourceDef::SourceType)9, false,
                            BitmapStore::getBitmap(kImageButton));
  MenuTree tree;
  odd.buildMenu(&tree);
  EXPECT_LE(tree.top()->GetNItems(), 1);
}
