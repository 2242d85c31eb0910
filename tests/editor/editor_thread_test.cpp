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
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

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

  std::atomic<bool> running{true};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::mt19937 rng(3);
    while (running.load()) {
      for (int n = (int)(rng() % 3); n > 0; --n) {
        const int offset = (int)(rng() % 64), kind = (int)(rng() % 7);
        // Notes, and now and then controller 123 (all notes off), which resets the drone display, a
        // program change, or a controller that completes a learn the editor armed.
        if (kind < 4)
          h.midi(offset, kind < 2 ? 0x90 : 0x80, 48 + (int)(rng() % 24), 100);
        else if (kind == 4)
          h.midi(offset, 0xB0, 123);
        else if (kind == 5)
          h.midi(offset, 0xC0, (int)(rng() % 8));
        else
          h.midi(offset, 0xB0, 20 + (int)(rng() % 4), 64);
      }
      h.run(64);
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
        h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), bank.data());
      else
        h.dispatch(effSetProgram, 0, (VstIntPtr)(rng() % 8));
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
  // The host answers the editor's notices with an idle call, which runs inside the drag that holds the instance
  // mutex: no lock the idle call takes may be taken in the other order elsewhere.
  const std::thread::id editorThread = std::this_thread::get_id();
  h.onAutomate = [&] {
    if (std::this_thread::get_id() == editorThread) h.dispatch(effEditIdle);
  };
  while (blocks.load() == 0) std::this_thread::yield(); // the audio thread renders before the editor begins
  const unsigned postedBefore = v.commandHead.load();
  for (int step = 0; step < 240; ++step) {
    const int pos = (int)(rng() % 18);
    const int x = pos < 8 ? 256 + 128 * pos : 128 * (pos - 8), y = pos < 8 ? 0 : 326;
    switch (step % 7) {
    case 0: {
      // The first module of a category: posted, unless the slot holds it already (its entry is disabled) or
      // another program was put in place while the menu was open (the choice is dropped).
      const unsigned states = v.StatesPutInPlace(), head = v.commandHead.load();
      const int menus = g->menusShown;
      g->answers.push_back({1 + (int)(rng() % 8), 0});
      click(x + 70, y + 12, left);
      if (g->menusShown == menus + 1 && g->picked && v.StatesPutInPlace() == states) {
        EXPECT_EQ(head + 1, v.commandHead.load()) << "a module chosen from the menu was not posted";
        ++posted;
      }
      break;
    }
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
    case 5:
      g->answers.push_back({(int)(rng() % 4), (int)(rng() % 16)});
      click(50, 65, left); // program menu
      break;
    default:
      click(195, 58, left); // LEARN, which the next parameter moved and a controller complete
      break;
    }
    g->Tick();
    h.dispatch(effEditIdle);
  }
  g->whileOpen = nullptr;
  h.onAutomate = nullptr;
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

// A host that makes an instance on another thread than its GUI thread (its audio thread here, which then
// plays a MIDI program change) and later opens the editor on the GUI thread: the controls the making
// thread drew until then are handed over by the open itself. The two threads share nothing else (the flags
// are relaxed), so ThreadSanitizer sees any access the open does not order.
TEST(EditorThreads, EditorOpenedOnTheGuiThreadAfterTheAudioThreadMadeTheInstance)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  std::atomic<HostedVeltrane*> made{nullptr};
  std::atomic<bool> played{false}, opened{false};
  std::thread audio([&] {
    HostedVeltrane h(44100, 64);
    made.store(&h, std::memory_order_release);
    const VstIntPtr before = h.dispatch(effGetProgram);
    h.midi(0, 0xC0, (int)(before + 1) % 64);
    // The staging worker runs at a low priority: on a loaded machine it may take a while to get its turn.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (h.dispatch(effGetProgram) == before && std::chrono::steady_clock::now() < deadline) {
      h.run(64);
      std::this_thread::yield();
    }
    EXPECT_NE(before, h.dispatch(effGetProgram));
    played.store(true, std::memory_order_relaxed);
    while (!opened.load(std::memory_order_acquire)) std::this_thread::yield(); // the GUI thread is done
    h.run(64);
  });
  while (!played.load(std::memory_order_relaxed)) std::this_thread::yield();
  HostedVeltrane* h = made.load(std::memory_order_acquire);
  EXPECT_EQ(1, h->dispatch(effEditOpen));
  scripted(h->plug)->Tick();
  h->dispatch(effEditClose);
  opened.store(true, std::memory_order_release);
  audio.join();
}

// Two instances whose editors are driven from two host threads at once (each opened, ticked and idled on
// its own): what the editors share (the image and font caches, the glyph stores, the temporary bitmap the
// glyphs are rendered into, the font engine) must be safe from two threads.
TEST(EditorThreads, TwoEditorsDrawnOnTwoThreadsAtOnce)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  HostedVeltrane first(44100, 64), second(44100, 64);
  auto drive = [](HostedVeltrane* h, int seed) {
    std::mt19937 rng(seed);
    EXPECT_EQ(1, h->dispatch(effEditOpen));
    for (int step = 0; step < 12; ++step) {
      h->dispatch(effSetProgram, 0, (VstIntPtr)(rng() % 64)); // new panels, new texts
      scripted(h->plug)->Tick();
      h->dispatch(effEditIdle);
    }
    h->dispatch(effEditClose);
  };
  std::thread a(drive, &first, 1), b(drive, &second, 2);
  a.join();
  b.join();
}

// Many instances in one process, as a multi-core host runs them: each made, played and closed on a thread of
// its own (notes and MIDI program changes), the first made again while the others play; the host's GUI
// thread meanwhile changes their programs, moves chunks between them, opens their headless editors, ticks
// them and sends idle calls. Under ThreadSanitizer this is the check of everything the instances share
// (tables and seeds, the image and font caches, the glyph stores, the delay memory's reclaimer).
TEST(EditorThreads, InstancesOnTheirOwnThreadsWithOneGuiThread)
{
  useBuiltResources();
  UseScriptedSurfaces surfaces;
  constexpr int kInstances = 4;
  struct Slot
  {
    std::mutex guard; // held by the GUI thread while it uses the instance, and to close it
    HostedVeltrane* plug = nullptr;
    std::atomic<bool> editorOpen{false};
    // The audio thread took a MIDI program change over (which redraws the controls). Relaxed: the GUI
    // thread's open must be ordered after it by the instance itself, not by the test.
    std::atomic<bool> tookProgram{false};
  } slots[kInstances];
  std::atomic<int> guiSteps{0}, finished{0}, sounding{0};
  std::vector<std::thread> audio;
  for (int i = 0; i < kInstances; ++i)
    audio.emplace_back([&, i] {
      std::mt19937 rng(20 + i);
      for (int life = 0; life < (i == 0 ? 2 : 1); ++life) {
        auto h = std::make_unique<HostedVeltrane>(44100, 64);
        {
          std::lock_guard<std::mutex> lock(slots[i].guard);
          slots[i].plug = h.get();
          slots[i].editorOpen = false;
          slots[i].tookProgram.store(false, std::memory_order_relaxed);
        }
        const VstIntPtr firstProgram = h->dispatch(effGetProgram);
        const int start = guiSteps.load();
        // A MIDI program change holds the notes back until its program is built, by a worker of low priority:
        // on two busy cores under ThreadSanitizer that may take seconds. Once its part is played, an instance
        // that has not sounded yet waits for its notes by time (a minute at most), sending no more program
        // changes and leaving the processor between blocks, as an audio thread does.
        bool sounded = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        for (int block = 0;; ++block) {
          const bool playing = block < 8 * (i + 1) || guiSteps.load() < start + 3 || !slots[i].editorOpen.load();
          if (!playing && (sounded || std::chrono::steady_clock::now() > deadline)) break;
          const int kind = (int)(rng() % 16);
          if (kind < 6) h->midi((int)(rng() % 64), 0x90, 48 + (int)(rng() % 24), 100);
          if (kind == 6) h->midi((int)(rng() % 64), 0x80, 48 + (int)(rng() % 24), 0);
          if ((kind == 7 && playing) || block == 0) h->midi(0, 0xC0, (int)(rng() % 64)); // built by its worker
          if (!playing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          h->run(64);
          for (float x : h->outL)
            if (x != 0.0f) {
              sounding.fetch_add(1);
              sounded = true;
              break;
            }
          if (block > 200 || h->dispatch(effGetProgram) != firstProgram)
            slots[i].tookProgram.store(true, std::memory_order_relaxed);
        }
        std::lock_guard<std::mutex> lock(slots[i].guard);
        slots[i].plug = nullptr;
        h.reset(); // closed with its editor open, while the others play
      }
      finished.fetch_add(1);
    });

  std::mt19937 rng(31);
  while (finished.load() < kInstances) {
    for (int i = 0; i < kInstances; ++i) {
      std::vector<unsigned char> chunk;
      Slot& other = slots[(i + 1) % kInstances];
      if (rng() % 3 == 0) { // another instance's program
        std::lock_guard<std::mutex> lock(other.guard);
        if (other.plug && other.editorOpen) chunk = other.plug->programChunk();
      }
      std::lock_guard<std::mutex> lock(slots[i].guard);
      HostedVeltrane* h = slots[i].plug;
      if (!h) continue;
      // The host's first call to an instance opens its editor, once the instance played a while.
      if (!slots[i].editorOpen) {
        if (!slots[i].tookProgram.load(std::memory_order_relaxed)) continue;
        EXPECT_EQ(1, h->dispatch(effEditOpen));
        slots[i].editorOpen = true;
      }
      if (!chunk.empty())
        h->dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), chunk.data());
      else if (rng() % 2)
        h->dispatch(effSetProgram, 0, (VstIntPtr)(rng() % 64));
      else
        h->plug->SetParameterFromGUI((int)(rng() % 288), (rng() % 100) / 100.0);
      scripted(h->plug)->Tick();
      h->dispatch(effEditIdle);
    }
    guiSteps.fetch_add(1);
  }
  for (std::thread& t : audio) t.join();
  EXPECT_GE(guiSteps.load(), 3);
  EXPECT_GT(sounding.load(), 0);
}

int main(int argc, char** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
