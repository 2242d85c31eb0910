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

struct Panel : EditorRig
{
  explicit Panel(bool opened = false)
  {
    if (opened) open();
  }
  // The centre of the header menu area and of the master indicator of a display position.
  static IRECT header(int p)
  {
    return p < 8 ? IRECT(256 + 128 * p, 0, 384 + 128 * p, 24) : IRECT(128 * (p - 8), 326, 128 * (p - 7), 350);
  }
  void clickHeader(int p, IMouseMod mod = kLeft) { click(header(p).L + 70, header(p).T + 12, mod); }
  int slot(int p) const { return v->displayOrder[p]; }
  // With the window open and no audio running, the next idle call carries out posted commands.
  void settle() { v->OnIdle(); }
};

int paramValue(Veltrane* v, int idx)
{
  return (int)v->getAnyParam(idx)->Value();
}

// The first display position holding an empty slot; -1 when none does.
int firstEmpty(const Veltrane& v)
{
  for (int q = 0; q < 18; ++q)
    if (v.slotConfig[v.displayOrder[q]].moduleID == ModuleConfig::MOD_EMPTY) return q;
  return -1;
}

} // namespace

TEST(EditorPanel, GlobalSectionAndHeadersInAttachOrder)
{
  Panel p;
  ASSERT_EQ(43, p.v->firstModuleControl); // background, 24 global controls, 18 headers
  IControl* back = p.g->GetControl(0);
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
    IControl* c = p.g->GetControl(r.index);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(r.param, c->ParamIdx()) << r.index;
    if (!r.rect.Empty()) {
      EXPECT_EQ(r.rect, *c->GetRECT()) << r.index;
    }
  }
  EXPECT_EQ(p.v->presetMenu, p.g->GetControl(1));
  EXPECT_EQ(p.v->droneControl, p.g->GetControl(24));
  for (int pos = 0; pos < 18; ++pos) {
    EXPECT_EQ((IControl*)p.v->moduleSelectors[pos], p.g->GetControl(25 + pos));
    EXPECT_EQ(Panel::header(pos), *p.g->GetControl(25 + pos)->GetRECT()) << pos;
  }
}

TEST(EditorPanel, BlockUnderAPoint)
{
  struct Case
  {
    int x, y, block;
  };
  const Case cases[] = {{0, 0, -2},      {200, 100, -1}, {256, 0, 0},  {1279, 324, 7}, {0, 325, 8},
                        {1279, 649, 17}, {1280, 0, -1},  {0, 650, -1}, {-1, 0, -1},    {700, 400, 13}};
  for (const Case& c : cases) EXPECT_EQ(c.block, Veltrane::getBlockFromPosition(c.x, c.y)) << c.x << "," << c.y;
}

TEST(EditorPanel, RebuildsOnlyOnTheEditorThreadWithTheWindowOpen)
{
  Panel p;
  Veltrane* v = p.v.get();
  const int global = v->firstModuleControl;
  // Window closed: program changes only ask for a rebuild; nothing is detached or parked.
  for (int i = 0; i < 5; ++i) v->changePreset(i % 2);
  EXPECT_TRUE(v->panelRebuild);
  EXPECT_EQ(0, v->controlTrash.GetSize());
  v->OnIdle();
  EXPECT_TRUE(v->panelRebuild);

  p.open();
  EXPECT_FALSE(v->panelRebuild);
  const int afterFirst = p.g->GetNControls();
  EXPECT_EQ((IControl*)v->infoArea, p.g->GetControl(afterFirst - 1));
  EXPECT_TRUE(v->infoArea->IsHidden());

  // An empty master slot shows the master background, at the panel origin of its position.
  v->replaceModule(p.slot(3), ModuleConfig::MOD_EMPTY, true, true);
  bool found = false;
  for (int i = global; i < p.g->GetNControls(); ++i)
    found = found || *p.g->GetControl(i)->GetRECT() == IRECT(640, 24, 640 + BitmapStore::getBitmap(kImageMasterBack)->W,
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
  const int before = p.g->GetNControls();
  IControl* info = v->infoArea;
  std::thread host([&] { v->changePreset(2); });
  host.join();
  EXPECT_TRUE(v->panelRebuild);
  EXPECT_EQ(before, p.g->GetNControls());
  EXPECT_EQ(info, v->infoArea);
  v->OnIdle();
  EXPECT_FALSE(v->panelRebuild);
  EXPECT_NE(info, v->infoArea);
}

TEST(EditorPanel, NothingIsRebuiltOrDeletedWhileAMenuIsOpen)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // While the module menu of a header is open the host changes the program twice and idle calls arrive.
  int trashDuring = -1, countDuring = -1;
  IControl* infoBefore = v->infoArea;
  p.g->whileOpen = [&] {
    v->changePreset(1);
    v->OnIdle();
    v->changePreset(0);
    v->OnIdle();
    trashDuring = v->controlTrash.GetSize();
    countDuring = p.g->GetNControls();
  };
  const int before = p.g->GetNControls();
  p.clickHeader(0);
  p.g->whileOpen = nullptr;
  EXPECT_EQ(0, trashDuring);
  EXPECT_EQ(before, countDuring);
  EXPECT_EQ(infoBefore, v->infoArea);
  EXPECT_TRUE(v->panelRebuild);
  p.settle();
  EXPECT_FALSE(v->panelRebuild);
  EXPECT_NE(infoBefore, v->infoArea);
}

TEST(ProgramMenus, ProgramMenuPreviousNextAndRename)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // Four submenus of 16; the current program ticked; the fourth item of "32 - 47" is program 35.
  p.g->answers.push_back({2, 3});
  p.click(50, 65);
  ASSERT_EQ(68u, p.g->shown.size());
  EXPECT_EQ("00 - 15>", p.g->shown[0]);
  EXPECT_EQ("48 - 63>", p.g->shown[51]);
  // Shown while program 0 was current.
  EXPECT_EQ("  " + ("00: " + std::string(v->GetPresetName(0))).substr(0, 27) + "*", p.g->shown[1]);
  EXPECT_EQ("  " + ("35: " + std::string(v->GetPresetName(35))).substr(0, 27), p.g->shown[2 * 17 + 1 + 3]);
  EXPECT_EQ(35, v->GetCurrentPresetIdx());

  // Next from 63 wraps to 0, previous from 0 to 63.
  v->changePreset(63);
  for (const auto& [x, program] : {std::pair{70, 0}, {20, 63}, {20, 62}}) {
    p.click(x, 60);
    EXPECT_EQ(program, v->GetCurrentPresetIdx()) << x;
  }

  // A 40-character name: stored whole, drawn and listed cut to 27 characters.
  const std::string longName = "A program name of forty characters long.";
  ASSERT_EQ(40u, longName.size());
  p.g->entries.push_back(longName);
  p.click(100, 105);
  EXPECT_EQ(IRECT(16, 98, 240, 114), p.g->entryRect);
  EXPECT_EQ(longName.substr(0, 23), std::string(v->GetPresetName(62)).substr(0, 23));
  p.g->answers.push_back({});
  p.click(50, 65);
  const std::string item = p.g->shown[p.g->indexOf("48 - 63>") + 1 + 62 - 48];
  EXPECT_EQ("  " + ("62: " + std::string(v->GetPresetName(62))).substr(0, 27) + "*", item);

  // An empty name keeps the old one.
  const std::string kept = v->GetPresetName(62);
  p.g->entries.push_back("");
  p.click(100, 105);
  EXPECT_EQ(kept, v->GetPresetName(62));
}

TEST(ProgramMenus, OptionMenusAndLearnSwitch)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // Paste is disabled until the first copy.
  p.g->answers.push_back({});
  p.click(150, 60);
  for (const char* item : {"Paste Program!", "Go Online...>", "  Check Online for Update"})
    EXPECT_TRUE(p.g->showed(item)) << item;
  p.g->answers.push_back({0}); // Copy Program
  p.click(150, 60);
  EXPECT_GT(v->copyBuffer.Size(), 0);
  p.g->answers.push_back({});
  p.click(150, 60);
  EXPECT_TRUE(p.g->showed("Paste Program"));
  // The web-site item opens the address.
  p.g->answers.push_back({9, 1});
  p.click(150, 60);
  ASSERT_EQ(1u, p.g->OpenedURLs().size());
  EXPECT_EQ(Veltrane::kWebSite, p.g->OpenedURLs()[0]);
  // Tuning menu: "Reset Tuning" asks first.
  p.g->answers.push_back({1});
  p.g->ScriptMessageBoxButton(1);
  p.click(150, 170);
  EXPECT_EQ(1, p.g->NMessageBoxes());

  // The learn switch: left arms and disarms learn; right only while off switches to unlearn.
  p.click(195, 58);
  EXPECT_TRUE(v->midiLearnArmed);
  EXPECT_FALSE(v->midiUnlearnMode);
  p.click(195, 58, kRight); // armed: nothing
  EXPECT_TRUE(static_cast<ITWSwitchMidiLearn*>(v->midiLearnSwitch)->learnMode);
  p.click(195, 58);
  EXPECT_FALSE(v->midiLearnArmed);
  p.click(195, 58, kRight);
  EXPECT_FALSE(static_cast<ITWSwitchMidiLearn*>(v->midiLearnSwitch)->learnMode);
  p.click(195, 58);
  EXPECT_TRUE(v->midiLearnArmed);
  EXPECT_TRUE(v->midiUnlearnMode);
}

TEST(ModuleSelector, MenusAndTheCommandsTheyPost)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // Put an LFO (Modulators, fifth) into position 2 through the module menu.
  p.g->answers.push_back({5, 4});
  p.clickHeader(2);
  EXPECT_EQ("None", p.g->shown[0]);
  EXPECT_EQ("Oscillators>", p.g->shown[1]);
  for (const char* item : {"  Dual Noise", "Tools>"}) EXPECT_TRUE(p.g->showed(item)) << item;
  p.settle();
  const int s2 = p.slot(2);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[s2].moduleID);
  // Its own item is now ticked and disabled.
  p.g->answers.push_back({});
  p.clickHeader(2);
  EXPECT_TRUE(p.g->showed("  LFO*!"));

  // Utility menu of a filled slot: 18 moves, its own position disabled; move it to position 12.
  p.g->answers.push_back({12});
  p.clickHeader(2, kRight);
  int moves = 0;
  for (const std::string& s : p.g->shown) moves += s.rfind("Move to position", 0) == 0;
  EXPECT_EQ(18, moves);
  EXPECT_TRUE(p.g->showed(std::string("Move to position 2 (") + v->slotConfig[s2].label + ")*!"));
  p.settle();
  EXPECT_EQ(s2, p.slot(12));

  // Utility menu of an empty slot: only "Remove Block".
  p.g->answers.push_back({0});
  const int e0 = firstEmpty(*v);
  ASSERT_GE(e0, 0);
  const int s0 = p.slot(e0);
  p.clickHeader(e0, kRight);
  EXPECT_EQ(std::vector<std::string>{"Remove Block"}, p.g->shown);
  p.settle();
  EXPECT_EQ(s0, p.slot(17));

  // The master indicator of an empty slot switches at once; of a filled one it opens the master menu.
  const int e1 = firstEmpty(*v);
  ASSERT_GE(e1, 0);
  const int s1 = p.slot(e1);
  p.click(Panel::header(e1).L + 5, Panel::header(e1).T + 10);
  EXPECT_TRUE(v->commandPending.load());
  p.settle();
  EXPECT_EQ(1, v->slotConfig[s1].master);
  int pos = 0;
  while (p.slot(pos) != s2) ++pos;
  p.g->answers.push_back({1});
  p.click(Panel::header(pos).L + 5, Panel::header(pos).T + 10);
  EXPECT_EQ((std::vector<std::string>{"Change to Voice Module!", "Change to Master Module"}), p.g->shown);
  p.settle();
  EXPECT_EQ(1, v->slotConfig[s2].master);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v->slotConfig[s2].moduleID);

  // Dragging the header of position 3 over x 700 of the bottom row moves it to 13 (8 + 700 / 128).
  const int s3 = p.slot(3);
  p.g->MouseDown(Panel::header(3).L + 60, 10, kLeft);
  p.g->MouseMove(700, 400, kLeft);
  EXPECT_FALSE(v->infoArea->IsHidden()); // the drag label follows
  p.g->MouseUp(700, 400, kLeft);
  EXPECT_TRUE(v->infoArea->IsHidden());
  p.settle();
  EXPECT_EQ(s3, p.slot(13));
}

TEST(ModuleSelector, InfoAreaGeometry)
{
  Panel p;
  ITWInfoArea info(p.v.get(), IRECT());
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

TEST(SourceMenus, GroupsTicksAndChoices)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // Two modules: a Mixer (two audio outputs) and an LFO in voice slots.
  v->replaceModule(p.slot(0), ModuleConfig::MOD_MIXER, false, true);
  v->replaceModule(p.slot(1), ModuleConfig::MOD_OSCILLATOR, false, true);
  const std::string mixer = v->slotConfig[p.slot(0)].label;
  // Voice-sum selector: "off" then the voice slots' audio outputs, the Mixer's gathered under its label.
  p.g->answers.push_back({});
  p.click(90, 212);
  ASSERT_FALSE(p.g->shown.empty());
  EXPECT_TRUE(p.g->shown[0] == "off" || p.g->shown[0] == "off*");
  EXPECT_TRUE(p.g->showed(mixer + ">"));
  // Choose the oscillator's output: the item after the Mixer's submenu and its two entries.
  const int oscItem = 2;
  p.g->answers.push_back({oscItem});
  p.click(90, 212);
  const SourceDef* chosen = v->voiceSources.getSource(paramValue(v, Veltrane::kParamSumLeft), SourceDef::AUDIO);
  ASSERT_NE(nullptr, chosen);
  EXPECT_EQ(p.slot(1), chosen->module);
  EXPECT_STREQ(chosen->text, p.g->GetControl(16)->GetTooltip());
  // Choosing "off" sets 0, and the tooltip reads "off".
  p.g->answers.push_back({0});
  p.click(90, 212);
  EXPECT_EQ(0, paramValue(v, Veltrane::kParamSumLeft));
  EXPECT_STREQ("off", p.g->GetControl(16)->GetTooltip());

  // Master output selector: the voice sums and the external input in their groups.
  p.g->answers.push_back({});
  p.click(215, 212);
  EXPECT_EQ("Voices Sum>", p.g->shown[1].substr(0, 11));
  EXPECT_TRUE(p.g->showed("External Input>"));

  // A modulation selector: no "MIDI Sources" group until a MIDI source has a controller.
  ITWSourcesMenuControl* mod = nullptr;
  for (int i = 0; i < 16 && !mod; ++i) {
    const int idx = p.slot(1) * 16 + i;
    if (v->GetParam(idx)->GetNDisplayTexts() > 1 &&
        v->voiceSources.getSize(SourceDef::MODULATION) == v->GetParam(idx)->GetNDisplayTexts())
      mod = new ITWSourcesMenuControl(v, 600, 600, idx, SourceDef::MODULATION, false,
                                      BitmapStore::getBitmap(kImageButton));
  }
  ASSERT_NE(nullptr, mod);
  p.g->AttachControl(mod);
  p.g->answers.push_back({});
  p.click(610, 602);
  EXPECT_TRUE(p.g->showed("Controls>"));
  EXPECT_FALSE(p.g->showed("MIDI Sources>"));
  v->midiSourceCC[2] = 74;
  p.g->answers.push_back({});
  p.click(610, 602);
  const int controls = p.g->indexOf("Controls>"), midi = p.g->indexOf("MIDI Sources>");
  const int modulators = p.g->indexOf("Modulators>");
  EXPECT_LT(controls, midi);
  EXPECT_EQ(midi + 17, modulators);
}

TEST(MidiSourcesAndDrone, AssignmentFaceAndNames)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // Controller 74 to MIDI source 3: submenu 3 (index 2), range "060 - 089" (item 3), entry 14.
  p.g->answers.push_back({2, 3, 14});
  p.click(220, 160);
  EXPECT_EQ(74, v->midiSourceCC[2]);
  p.g->answers.push_back({});
  p.click(220, 160);
  for (const char* item :
       {"MIDI Source 3 [074    Sound Controller 5]>", "    074    Sound Controller 5*", "MIDI Source 1>"})
    EXPECT_TRUE(p.g->showed(item)) << item;
  // "Off" in that source's submenu clears it.
  p.g->answers.push_back({2, 0});
  p.click(220, 160);
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

TEST(EditorScreenshots, ProgramZeroAndAFullProgram)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  p.g->Tick();
  ASSERT_TRUE(p.g->SaveScreenshot(outputPath("editor_program0.png").c_str()));
  // Program 0's headers carry its module labels: some pixel of a filled header differs from an empty one.
  std::unique_ptr<LICE_IBitmap> shot0(LICE_LoadPNG(outputPath("editor_program0.png").c_str()));
  ASSERT_TRUE(shot0);

  // Every slot filled, every third one a master slot.
  const int ids[18] = {1, 25, 3, 5, 37, 13, 6, 35, 32, 17, 23, 39, 44, 21, 15, 31, 12, 9};
  for (int s = 0; s < 18; ++s) v->replaceModule(s, ids[s], s % 3 == 2, true);
  v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  v->updateInstances();
  v->RedrawParamControls();
  p.g->Tick();
  ASSERT_TRUE(p.g->SaveScreenshot(outputPath("editor_full_program.png").c_str()));
  std::unique_ptr<LICE_IBitmap> full(LICE_LoadPNG(outputPath("editor_full_program.png").c_str()));
  ASSERT_TRUE(full);
  ASSERT_EQ(1280, full->getWidth());
  std::unique_ptr<LICE_IBitmap> masterBack = loadResource(editorImages()[kImageMasterBack - 1].name);
  std::unique_ptr<LICE_IBitmap> back = loadResource(editorImages()[kImageBack - 1].name);
  ASSERT_TRUE(masterBack && back);
  // Every header has label text: pixels of the text row differ from the empty editor of program 0's empty slots.
  for (int pos = 0; pos < 18; ++pos) {
    const IRECT h = Panel::header(pos);
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
  p.g->Tick();
  LICE_IBitmap* emptied = p.g->GetDrawBitmap();
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

  // 5. Move it to position 9 by dragging its header.
  const int target = pos == 9 ? 10 : 9;
  g->MouseDown(Panel::header(pos).L + 60, Panel::header(pos).T + 10, kLeft);
  g->MouseMove(Panel::header(target).L + 40, Panel::header(target).T + 100, kLeft);
  g->Tick(); // the drag label over the editor
  g->SaveScreenshot(outputPath("session_5_dragging.png").c_str());
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

TEST(ModulePanelFrame, SpecialControlsLiveUntilTheNextRebuild)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  class Led : public IControl
  {
  public:
    explicit Led(IPlugBase* plug) : IControl(plug, IRECT(300, 100, 310, 110)) {}
    bool Draw(IGraphics*) override { return true; }
  };
  Led* a = new Led(v);
  Led* b = new Led(v);
  v->addSpecialControl(5, a);
  v->slotConfig[5].addSpecialControl(p.g, b);
  EXPECT_EQ((std::vector<IControl*>{a, b}), v->slotConfig[5].specialControls);
  EXPECT_EQ(b, p.g->GetControl(p.g->GetNControls() - 1));
  // A slot outside 0..17 takes nothing (and the control is not leaked).
  const int before = p.g->GetNControls();
  v->addSpecialControl(18, new Led(v));
  EXPECT_EQ(before, p.g->GetNControls());

  // The rebuild empties the list and parks the controls; they are deleted by the next idle call only.
  v->controlTrash.Empty(true);
  v->RedrawParamControls();
  EXPECT_TRUE(v->slotConfig[5].specialControls.empty());
  bool parked = false;
  for (int i = 0; i < v->controlTrash.GetSize(); ++i) parked = parked || v->controlTrash.Get(i) == a;
  EXPECT_TRUE(parked);
  for (int i = 0; i < p.g->GetNControls(); ++i) EXPECT_NE((IControl*)a, p.g->GetControl(i));
  v->OnIdle();
  EXPECT_EQ(0, v->controlTrash.GetSize());

  // A type outside 1..44 builds nothing; an empty voice slot neither.
  const int n = p.g->GetNControls();
  v->slotConfig[7].moduleID = (ModuleConfig::ModuleID)45;
  v->slotConfig[7].createModuleGraphics(0, 350);
  v->slotConfig[7].moduleID = ModuleConfig::MOD_EMPTY;
  v->slotConfig[7].createModuleGraphics(0, 350);
  EXPECT_EQ(n, p.g->GetNControls());
}

TEST(EditorPanel, PlugToCommonFromAHeaderDrop)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  // A Mixer (two audio outputs) at a voice position, dropped on the global panel: both voice sums take it.
  const int pos = firstEmpty(*v);
  ASSERT_GE(pos, 0);
  const int s = p.slot(pos);
  v->replaceModule(s, ModuleConfig::MOD_MIXER, false, true);
  const IRECT h = Panel::header(pos);
  p.g->MouseDown(h.L + 60, h.T + 10, kLeft);
  p.g->MouseMove(100, 100, kLeft);
  p.g->MouseUp(100, 100, kLeft);
  p.settle();
  const SourceDef* l = v->voiceSources.getSource(paramValue(v, Veltrane::kParamSumLeft), SourceDef::AUDIO);
  const SourceDef* r = v->voiceSources.getSource(paramValue(v, Veltrane::kParamSumRight), SourceDef::AUDIO);
  ASSERT_TRUE(l && r);
  EXPECT_EQ(s, l->module);
  EXPECT_EQ(0, l->index);
  EXPECT_EQ(s, r->module);
  EXPECT_EQ(1, r->index);
  // The selectors show it: their tooltips are the sources' long texts.
  EXPECT_STREQ(l->text, p.g->GetControl(16)->GetTooltip());
  EXPECT_STREQ(r->text, p.g->GetControl(17)->GetTooltip());
  // An LFO (no audio output) dropped outside the editor changes nothing.
  v->replaceModule(s, ModuleConfig::MOD_LFO, false, true);
  const double left = v->GetParam(Veltrane::kParamSumLeft)->Value();
  p.g->MouseDown(h.L + 60, h.T + 10, kLeft);
  p.g->MouseMove(1300, 700, kLeft);
  p.g->MouseUp(1300, 700, kLeft);
  p.settle();
  EXPECT_EQ(left, v->GetParam(Veltrane::kParamSumLeft)->Value());
}

TEST(SourceMenus, ModuleOutputsFollowTheDisplayOrderAndListsPopUpFlat)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  for (int s = 0; s < 18; ++s) v->replaceModule(s, ModuleConfig::MOD_EMPTY, false, false);
  v->displayOrder = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  // An LFO whose rate input we open, an Envelope (one output) at 3 and a Dual LFO (two outputs) at 9.
  v->replaceModule(0, ModuleConfig::MOD_LFO, false, true);
  v->replaceModule(3, ModuleConfig::MOD_ENVELOPE, false, true);
  v->replaceModule(9, ModuleConfig::MOD_LFO2, false, true);
  ITWSourcesMenuControl* rate = new ITWSourcesMenuControl(v, 600, 600, 0 * 16 + 5, SourceDef::MODULATION, false,
                                                          BitmapStore::getBitmap(kImageButton));
  p.g->AttachControl(rate);
  const std::string envText =
      v->voiceSources
          .getSource(v->voiceSources.getPosition(SourceDef::MODULATION, SourceDef::MODULATION, 3, 0),
                     SourceDef::MODULATION)
          ->text;
  const std::string dual = std::string("  ") + v->slotConfig[9].label + ">";
  p.g->answers.push_back({});
  p.click(610, 602);
  const int modulators = p.g->indexOf("Modulators>");
  ASSERT_GE(modulators, 0);
  const int env = p.g->indexOf("  " + envText), lfo2 = p.g->indexOf(dual);
  ASSERT_GT(env, modulators);
  ASSERT_GT(lfo2, modulators);
  EXPECT_LT(env, lfo2);
  EXPECT_EQ("    ", p.g->shown[lfo2 + 1].substr(0, 4)); // its two outputs inside its submenu
  EXPECT_EQ("    ", p.g->shown[lfo2 + 2].substr(0, 4));

  // Moved from position 9 to 2, the Dual LFO's outputs come first.
  v->moveModule(9, 2);
  // The rebuild parked the selector with the old panels: a new one, as the new panel would make.
  p.g->AttachControl(new ITWSourcesMenuControl(v, 600, 600, 0 * 16 + 5, SourceDef::MODULATION, false,
                                               BitmapStore::getBitmap(kImageButton)));
  p.g->answers.push_back({});
  p.click(610, 602);
  EXPECT_LT(p.g->indexOf(dual), p.g->indexOf("  " + envText));

  // The LFO's waveform list: one flat menu of its display texts, the current one ticked; a choice sets it.
  IParam* wave = v->GetParam(0);
  ITWPopUpMenuControl* list = new ITWPopUpMenuControl(v, 600, 630, 0, nullptr, false);
  p.g->AttachControl(list);
  p.g->answers.push_back({2});
  p.click(610, 635);
  ASSERT_EQ((size_t)wave->GetNDisplayTexts(), p.g->shown.size());
  for (int i = 0; i < wave->GetNDisplayTexts(); ++i)
    EXPECT_EQ(std::string(wave->GetDisplayText(i)) + (i == 0 ? "*" : ""), p.g->shown[i]);
  EXPECT_EQ(2, (int)wave->Value());
  EXPECT_EQ(IRECT(600, 630, 658, 642), *list->GetTargetRECT());
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
  h.dispatch(effEditClose);
}

TEST(EditorControls, MissingImagesAndOtherPlugInsDrawNothingAndCrashNothing)
{
  Panel p(true);
  Veltrane* v = p.v.get();
  ITWSourcesMenuControl* source = new ITWSourcesMenuControl(v, 600, 600, 5, SourceDef::MODULATION, false, nullptr);
  ITWDroneControl* drone = new ITWDroneControl(v, 620, 600, nullptr);
  p.g->AttachControl(source);
  p.g->AttachControl(drone);
  EXPECT_TRUE(source->GetRECT()->W() == 0 && drone->GetRECT()->W() == 0);
  p.g->SetAllControlsDirty();
  p.g->Tick();
  // A selector of a source type no list has: no menu beyond the off entry.
  ITWSourcesMenuControl odd(v, 650, 600, 5, (SourceDef::SourceType)9, false, BitmapStore::getBitmap(kImageButton));
  MenuTree tree;
  odd.buildMenu(&tree);
  EXPECT_LE(tree.top()->GetNItems(), 1);
}
