// Three threads as a host, its audio engine and a user at the editor use them at once: the audio thread
// renders blocks with notes, "all notes off" and program changes and carries out the structural commands the
// editor posts; the host's thread changes programs and restores banks; the editor thread ticks and draws,
// opens menus and chooses from them, and gets idle calls through the dispatcher; the staging engine's worker
// builds the MIDI program changes. Built with -DVELTRANE_TSAN=ON this is the ThreadSanitizer check
// of the editor's rebuild path; in any build it must not crash, must keep the control list whole, and every
// command the editor posted must have been carried out.
#include "Veltrane.h"
#include "editor_test_util.h"
#include "engine_harness.h"
#include "scripted_surface.h"
#include "veltrane_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

TEST(EditorThreads, MenusTicksProgramChangesAndCommandsAtOnce)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  ScriptedSurface* g = scripted(&v);
  ASSERT_EQ(1, h.dispatch(effEditOpen));
  h.dispatch(effEditIdle);
  const int globalControls = v.firstModuleControl;

  std::vector<float> inL(64, 0.0f), inR(64, 0.0f), outL(64), outR(64);
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  std::atomic<bool> running{true};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::mt19937 rng(3);
    VstMidiEvent events[2] = {};
    std::vector<char> storage(sizeof(VstEvents) + 2 * sizeof(VstEvent*));
    VstEvents* list = reinterpret_cast<VstEvents*>(storage.data());
    while (running.load()) {
      const int n = (int)(rng() % 3);
      for (int i = 0; i < n; ++i) {
        VstMidiEvent& e = events[i];
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = (int)(rng() % 64);
        const int kind = (int)(rng() % 6);
        // Notes, and now and then controller 123 (all notes off), which resets the drone display, or a
        // program change.
        e.midiData[0] = (char)(kind < 2 ? 0x90 : kind < 4 ? 0x80 : kind == 4 ? 0xB0 : 0xC0);
        e.midiData[1] = (char)(kind == 4 ? 123 : kind == 5 ? rng() % 8 : 48 + rng() % 24);
        e.midiData[2] = (char)(kind >= 4 ? 0 : 100);
        list->events[i] = reinterpret_cast<VstEvent*>(&e);
      }
      list->numEvents = n;
      if (n) h.effect->dispatcher(h.effect, effProcessEvents, 0, 0, list, 0.0f);
      h.effect->processReplacing(h.effect, ins, outs, 64);
      blocks.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::vector<unsigned char> bank = h.bank();
  bank.pop_back(); // the chunk alone
  std::thread host([&] {
    std::mt19937 rng(5);
    for (int k = 0; running.load(); ++k) {
      if (k % 16 == 15)
        h.effect->dispatcher(h.effect, effSetChunk, 0, (VstIntPtr)bank.size(), bank.data(), 0.0f);
      else
        h.effect->dispatcher(h.effect, effSetProgram, 0, (VstIntPtr)(rng() % 8), nullptr, 0.0f);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });

  // The editor: the user picks modules for headers, switches slots, drags, opens source and drone menus.
  std::mt19937 rng(9);
  const IMouseMod left(true), right(false, true);
  auto click = [&](int x, int y, IMouseMod mod) {
    g->MouseDown(x, y, mod);
    g->MouseUp(x, y, mod);
  };
  int posted = 0;
  // While a menu is open the editor keeps ticking and the host keeps sending idle calls.
  g->whileOpen = [&] {
    g->Tick();
    h.dispatch(effEditIdle);
  };
  const unsigned postedBefore = v.commandHead.load();
  for (int step = 0; step < 240; ++step) {
    const int pos = (int)(rng() % 18);
    const int x = pos < 8 ? 256 + 128 * pos : 128 * (pos - 8), y = pos < 8 ? 0 : 326;
    switch (step % 6) {
    case 0:
      g->answers.push_back({1 + (int)(rng() % 8), 0});
      click(x + 70, y + 12, left);
      ++posted;
      break;
    case 1:
      g->answers.push_back({(int)(rng() % 18)});
      click(x + 70, y + 12, right); // utility menu: a move, or "Remove Block" for an empty slot
      break;
    case 2:
      g->answers.push_back({(int)(rng() % 3)});
      click(90, 212, left); // voice sum
      break;
    case 3:
      g->answers.push_back({1 + (int)(rng() % 11), (int)(rng() % 8)});
      click(25, 240, left); // drone note
      break;
    case 4:
      g->MouseDown(x + 60, y + 10, left);
      g->MouseMove((int)(rng() % 1280), (int)(rng() % 650), left);
      g->MouseUp((int)(rng() % 1280), (int)(rng() % 650), left);
      break;
    default:
      g->answers.push_back({(int)(rng() % 4), (int)(rng() % 16)});
      click(50, 65, left); // program menu
      break;
    }
    g->Tick();
    h.dispatch(effEditIdle);
  }
  g->whileOpen = nullptr;
  // Every post is taken: by the audio thread, or by idle once no block runs.
  running = false;
  audio.join();
  host.join();
  for (int i = 0; i < 3; ++i) h.dispatch(effEditIdle);
  EXPECT_GE((int)(v.commandHead.load() - postedBefore), posted);
  EXPECT_EQ(v.commandHead.load(), v.commandTail.load());
  EXPECT_FALSE(v.commandPending.load());
  EXPECT_GT(blocks.load(), 0);

  // The control list is whole: the global section and headers, then the panels, the info area last.
  EXPECT_FALSE(v.panelRebuild.load());
  ASSERT_GE(g->GetNControls(), globalControls + 1);
  EXPECT_EQ((IControl*)v.infoArea, g->GetControl(g->GetNControls() - 1));
  for (int p = 0; p < 18; ++p) EXPECT_EQ((IControl*)v.moduleSelectors[p], g->GetControl(25 + p));
  // The display order is still a permutation of the slots.
  std::vector<int> order = v.displayOrder;
  std::sort(order.begin(), order.end());
  for (int i = 0; i < 18; ++i) EXPECT_EQ(i, order[i]);
  h.dispatch(effEditClose);
}

int main(int argc, char** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
