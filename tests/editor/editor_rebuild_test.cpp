// The editor after its slot panels were rebuilt: every gesture a user makes on the slot headers and on the
// info area (double click, click, drag) after a module was chosen, a module moved or the program changed;
// a header dropped on each kind of block; and the global section after the host loads a state.
// These tests are run under AddressSanitizer by test.sh: a control kept across a rebuild shows there.
#include "IParam.h"
#include "Veltrane.h"
#include "editor_rig.h"
#include "engine_harness.h"
#include "scripted_surface.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const IMouseMod kLeft(true);

struct RebuiltEditor : testing::Test, EditorRig
{
  int slot(int p) const { return v->displayOrder[p]; }
  // A host's idle call with the window open and no audio running: posted commands are carried out, the
  // panels rebuilt when asked for, and the controls of earlier panels deleted.
  void idle() { v->OnIdle(); }
  void dblclick(int x, int y)
  {
    g->MouseDown(x, y, kLeft, true);
    g->MouseUp(x, y, kLeft);
  }
  void drag(int x0, int y0, int x1, int y1)
  {
    g->MouseDown(x0, y0, kLeft);
    g->MouseMove((x0 + x1) / 2, (y0 + y1) / 2, kLeft);
    g->MouseMove(x1, y1, kLeft);
    g->MouseUp(x1, y1, kLeft);
  }
  // A point on the label of a header, and one inside the block of a display position (below its header).
  static int labelX(int p) { return header(p).L + 70; }
  static int labelY(int p) { return header(p).T + 12; }
  static int blockY(int p) { return header(p).B + 100; }
  // The first display position holding an empty slot; -1 when none does.
  int firstEmpty() const
  {
    for (int p = 0; p < 18; ++p)
      if (v->slotConfig[slot(p)].moduleID == ModuleConfig::MOD_EMPTY) return p;
    return -1;
  }
  // The module menu was opened (and dismissed) by the last gesture.
  bool moduleMenuShown(int before) const
  {
    return g->menusShown == before + 1 && !g->shown.empty() && g->shown[0] == "None";
  }
};
using HeaderGestures = RebuiltEditor;

} // namespace

TEST_F(HeaderGestures, EveryHeaderAndTheInfoAreaAfterEachKindOfRebuild)
{
  open();
  struct Cause
  {
    const char* name;
    std::function<void()> run;
    std::function<bool()> happened;
  };
  int target = -1, moved = -1;
  unsigned posted = 0;
  double played = 0.0;
  const Cause causes[] = {
      {"a module chosen in a header's menu",
       [&] {
         target = firstEmpty();
         ASSERT_GE(target, 0);
         g->answers.push_back({5, 4}); // Modulators, LFO
         click(labelX(target), labelY(target));
       },
       [&] { return v->slotConfig[slot(target)].moduleID == ModuleConfig::MOD_LFO; }},
      {"a module moved by dragging its header",
       [&] {
         moved = slot(0);
         drag(labelX(0) - 10, labelY(0), labelX(11), blockY(11));
       },
       [&] { return slot(11) == moved; }},
      {"a program chosen in the program menu",
       [&] {
         g->answers.push_back({0, 3});
         click(50, 65);
       },
       [&] { return v->GetCurrentPresetIdx() == 3; }},
      {"a program put in place by another thread while a header's menu was open, with LEARN armed",
       [&] {
         target = firstEmpty();
         posted = v->commandHead.load();
         click(195, 58); // LEARN armed, then a reset on another thread disarms it
         std::thread([&] { v->Reset(); }).join();
         g->answers.push_back({5, 4});
         g->whileOpen = [&] { std::thread([&] { v->RestorePreset(12); }).join(); };
         click(labelX(target), labelY(target));
         g->entries.push_back("Typed"); // then a name typed for program 12 while program 5 comes
         g->whileOpen = [&] { std::thread([&] { v->RestorePreset(5); }).join(); };
         click(100, 105);
         g->whileOpen = nullptr;
         std::thread([&] { v->RestorePreset(12); }).join();
         played = v->GetParam(Veltrane::kParamVolume)->GetNormalized();
         g->MouseWheel(154, 218, kLeft, 1); // VOLUME, before any tick: one notch of 0.01
         g->Tick();
         idle(); // the rebuild the other thread asked for
       },
       [&] {
         return v->commandHead.load() == posted && v->midiLearnSwitch->GetValue() == 0.0 &&
                std::string(v->GetPresetName(12)) == "Typed" && std::string(v->GetPresetName(5)) != "Typed" &&
                std::abs(v->GetParam(Veltrane::kParamVolume)->GetNormalized() - std::min(1.0, played + 0.01)) < 0.002;
       }},
  };
  for (const Cause& cause : causes) {
    SCOPED_TRACE(cause.name);
    // Every header has seen a gesture begin and end on the panels about to go.
    for (int p = 0; p < 18; ++p) click(labelX(p), labelY(p));
    IControl* before = v->infoArea;
    cause.run();
    idle();
    ASSERT_TRUE(cause.happened());
    ASSERT_NE(before, v->infoArea);
    ASSERT_EQ(0, v->controlTrash.GetSize()); // the old panels are gone

    for (int p = 0; p < 18; ++p) {
      SCOPED_TRACE(p);
      // A double click is a click of its own: the release after it opens the module menu.
      int menus = g->menusShown;
      dblclick(labelX(p), labelY(p));
      EXPECT_TRUE(moduleMenuShown(menus));
      menus = g->menusShown;
      click(labelX(p), labelY(p));
      EXPECT_TRUE(moduleMenuShown(menus));
      // Dragged into the next block: that is where its module goes, and the panels are rebuilt once more.
      const int q = p == 17 ? 0 : p + 1, s = slot(p);
      IControl* info = v->infoArea;
      drag(labelX(p) - 10, labelY(p), labelX(q), blockY(q));
      EXPECT_TRUE(info->IsHidden()); // the drag label went with the release
      idle();
      EXPECT_EQ(s, slot(q));
      EXPECT_NE(info, v->infoArea);
      EXPECT_FALSE(g->ModalOpen());
    }

    // The info box: a click, a double click and a drag on it each hide it and post nothing.
    const std::function<void(int, int)> gestures[] = {[&](int x, int y) { click(x, y); },
                                                      [&](int x, int y) { dblclick(x, y); },
                                                      [&](int x, int y) { drag(x, y, x + 40, y + 30); }};
    for (const auto& gesture : gestures) {
      v->infoArea->showInfo(600, 420, "This is a single cycle waveform file\nwith 2048 samples.");
      ASSERT_FALSE(v->infoArea->IsHidden());
      const IRECT box = *v->infoArea->GetRECT();
      const std::vector<int> order = v->displayOrder;
      const int menus = g->menusShown;
      gesture(box.MW(), box.MH());
      EXPECT_TRUE(v->infoArea->IsHidden());
      EXPECT_FALSE(v->commandPending.load());
      EXPECT_EQ(menus, g->menusShown);
      idle();
      EXPECT_EQ(order, v->displayOrder);
    }
  }
}

TEST_F(HeaderGestures, ADropMovesTheModuleToTheBlockUnderThePointer)
{
  open();
  // Into each row's first and last block, from a position of the other row; block 0 is the first of all.
  struct Drop
  {
    int from, x, y, to;
  };
  const Drop drops[] = {{9, 300, 100, 0}, {9, 1279, 324, 7}, {2, 0, 325, 8}, {2, 1279, 649, 17}, {12, 257, 1, 0}};
  for (const Drop& d : drops) {
    SCOPED_TRACE(d.to);
    const int s = slot(d.from);
    drag(labelX(d.from), labelY(d.from), d.x, d.y);
    idle();
    EXPECT_EQ(s, slot(d.to));
  }
}

TEST(GlobalSection, EveryGlobalControlShowsTheLoadedStateOfItsParameter)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  const int globals[] = {Veltrane::kParamVoices,      Veltrane::kParamSumLeft,       Veltrane::kParamSumRight,
                         Veltrane::kParamVolume,      Veltrane::kParamOutTrigger,    Veltrane::kParamOutAttack,
                         Veltrane::kParamOutDecay,    Veltrane::kParamOutSustain,    Veltrane::kParamOutRelease,
                         Veltrane::kParamPBRange,     Veltrane::kParamPortamento,    Veltrane::kParamCustomTuning,
                         Veltrane::kParamPortaLegato, Veltrane::kParamMasterOutLeft, Veltrane::kParamMasterOutRight};
  // The host loads the state on the editor's thread, then on a thread of its own.
  for (bool ownThread : {false, true}) {
    SCOPED_TRACE(ownThread ? "loaded on the host's own thread" : "loaded on the editor's thread");
    HostedVeltrane h(44100, 64);
    Veltrane& v = *h.plug;
    ScriptedSurface* g = scripted(&v);
    ASSERT_EQ(1, h.dispatch(effEditOpen));
    h.dispatch(effEditIdle);
    // The voice sums need a slot with two audio outputs to choose from.
    v.replaceModule(v.displayOrder[0], ModuleConfig::MOD_MIXER, false, true);
    h.dispatch(effEditIdle);

    // State A is stored; state B, another value for every global parameter, is shown; then A is loaded.
    auto setAll = [&](double normalized) {
      for (int idx : globals) v.SetParameterFromGUI(idx, normalized);
    };
    // What each global control shows, in the order of `globals`; -1 for a parameter without a control.
    auto shown = [&] {
      std::vector<double> values(std::size(globals), -1.0);
      for (int i = 1; i < v.firstModuleControl; ++i)
        for (size_t k = 0; k < std::size(globals); ++k)
          if (g->GetControl(i)->ParamIdx() == globals[k]) values[k] = g->GetControl(i)->GetValue();
      return values;
    };
    auto stored = [&] {
      std::vector<double> values;
      for (int idx : globals) values.push_back(v.getAnyParam(idx)->GetNormalized());
      return values;
    };
    setAll(0.25);
    const std::vector<double> a = stored();
    const std::vector<unsigned char> stateA = h.programChunk();
    setAll(0.75);
    v.RedrawParamControls(); // as a program change would
    h.dispatch(effEditIdle);
    const std::vector<double> b = stored();
    ASSERT_EQ(b, shown());
    for (size_t k = 0; k < a.size(); ++k) ASSERT_NE(a[k], b[k]) << globals[k];

    auto load = [&] { h.dispatch(effSetChunk, 1, (VstIntPtr)stateA.size(), (void*)stateA.data()); };
    if (ownThread) {
      std::thread host(load);
      host.join();
    } else {
      load();
    }
    h.dispatch(effEditIdle); // rebuilds the panels
    g->Tick();               // the editor's timer takes what the host queued from its thread
    EXPECT_EQ(a, stored());
    const std::vector<double> now = shown();
    for (size_t k = 0; k < a.size(); ++k) EXPECT_EQ(a[k], now[k]) << "the control of parameter " << globals[k];
    h.dispatch(effEditClose);
  }
}
