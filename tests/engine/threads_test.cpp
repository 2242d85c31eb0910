// Two threads as a host and an editor use them: the audio thread renders blocks with MIDI (program changes
// among it) and parameter automation through the plug-in's record while the editor thread posts structural
// commands, asks and sets what follows a program change, switches and loads programs and banks (files and
// host chunks), edits parameters, holds a drone note and arms MIDI learn; the staging engine's worker builds the MIDI program changes and the modules of replacements that
// meet another program. Built with -DVELTRANE_TSAN=ON this is the ThreadSanitizer check of the instance
// mutex, the command mailbox and the staging engine; in any build it must not crash and must leave a
// consistent patch behind.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

TEST(Threads, EditsAndLoadsWhileTheAudioThreadRenders)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  TempDir dir;
  // A program and a bank to load, saved before the threads start.
  v.replaceModule(1, ModuleConfig::MOD_OSCILLATOR, false, false);
  v.replaceModule(2, ModuleConfig::MOD_LADDER, false, false);
  v.replaceModule(3, ModuleConfig::MOD_MIXER, true, false);
  const std::string fxp = dir.path("p.fxp"), fxb = dir.path("b.fxb");
  WDL_String fxpPath(fxp.c_str()), fxbPath(fxb.c_str());
  ASSERT_TRUE(v.SaveProgramAsFXP(&fxpPath));
  ASSERT_TRUE(v.SaveBankAsFXB(&fxbPath));
  const std::vector<unsigned char> bankChunk = h.bank();
  v.GetGUI()->OpenWindow(nullptr);
  // The audio thread sets its own blocks' inputs; the editor thread alone uses the dialogs.
  std::vector<float> inL(64, 0.1f), inR(64, -0.1f), outL(64), outR(64);
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};

  std::atomic<bool> editing{true};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::mt19937 rng(7);
    VstMidiEvent events[4] = {};
    std::vector<char> storage(sizeof(VstEvents) + 4 * sizeof(VstEvent*));
    VstEvents* list = reinterpret_cast<VstEvents*>(storage.data());
    VstEvent** slots = list->events;
    while (editing.load() || blocks.load() < 200) {
      const int n = (int)(rng() % 4);
      for (int i = 0; i < n; ++i) {
        VstMidiEvent& e = events[i];
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = (int)(rng() % 64);
        const int kind = (int)(rng() % 9);
        if (kind == 8) { // now and then a program change, built by the worker
          e.midiData[0] = (char)0xC0;
          e.midiData[1] = (char)(rng() % 8);
          e.midiData[2] = 0;
          slots[i] = reinterpret_cast<VstEvent*>(&e);
          continue;
        }
        e.midiData[0] = (char)(kind % 4 == 0 ? 0x90 : kind % 4 == 1 ? 0x80 : kind % 4 == 2 ? 0xB0 : 0xE0);
        e.midiData[1] = (char)(kind % 4 == 2 ? (rng() % 2 ? 64 : 7) : 40 + rng() % 40);
        e.midiData[2] = (char)(rng() % 128);
        slots[i] = reinterpret_cast<VstEvent*>(&e);
      }
      list->numEvents = n;
      if (n) h.effect->dispatcher(h.effect, effProcessEvents, 0, 0, list, 0.0f);
      if (rng() % 4 == 0) h.effect->setParameter(h.effect, Veltrane::kParamVolume, (rng() % 100) / 100.0f);
      (void)h.plug->ProgramForHost(); // as the adapter reads it before taking the mutex
      h.effect->processReplacing(h.effect, ins, outs, 64);
      blocks.fetch_add(1);
    }
  });

  std::mt19937 rng(11);
  IGraphicsLinux* gui = v.graphics;
  for (int step = 0; step < 160; ++step) {
    const int slot = (int)(rng() % 18);
    const int id = (int)(rng() % 45);
    switch (step % 13) {
    case 0:
      v.postCommand(Veltrane::kCommandReplace, slot, id);
      break;
    case 1:
      v.postCommand(Veltrane::kCommandToggleMaster, slot, (int)(rng() % 2));
      break;
    case 2:
      v.postCommand(Veltrane::kCommandMove, slot, (int)(rng() % 18));
      break;
    case 3:
      v.postCommand((int)(rng() % 2) ? Veltrane::kCommandRemoveEmpty : Veltrane::kCommandPlugToCommon, slot, 0);
      break;
    case 4:
      h.effect->dispatcher(h.effect, effSetProgram, 0, (VstIntPtr)(rng() % 64), nullptr, 0.0f);
      break;
    case 5:
      gui->ScriptFilePrompt(fxp.c_str());
      v.runFileCommand(File::kLoadProgram);
      break;
    case 6:
      gui->ScriptFilePrompt(fxb.c_str());
      v.runFileCommand(File::kLoadBank);
      break;
    case 7:
      v.changePreset((int)(rng() % 64));
      v.SetParameterFromGUI(Veltrane::kParamMasterOutLeft, (rng() % 5) / 4.0);
      break;
    case 8:
      // Bursts of the editor calls that touch what the audio thread reads, with blocks rendered in
      // between and no other call that would order the two threads.
      for (int k = 0; k < 6; ++k) {
        if (step % 24 == 8)
          v.startDroneMode(48 + k);
        else
          v.doMidiLearn(k % 2 == 0);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
      break;
    case 9:
      h.effect->setParameter(h.effect, slot * 16 + (int)(rng() % 16), (rng() % 100) / 100.0f);
      v.SetParameterFromGUI(Veltrane::kParamVoices, (rng() % 11) / 10.0);
      { // what a host's main thread asks and sets right after the audio thread's MIDI program changes
        char text[kVstMaxProgNameLen + 64] = {};
        h.effect->getParameter(h.effect, slot * 16 + (int)(rng() % 16));
        h.effect->dispatcher(h.effect, effGetParamDisplay, slot * 16, 0, text, 0.0f);
        h.effect->dispatcher(h.effect, effSetProgramName, 0, 0, (void*)"Threaded", 0.0f);
      }
      break;
    case 10: {
      void* data = nullptr;
      const VstIntPtr size = h.effect->dispatcher(h.effect, effGetChunk, 1, 0, &data, 0.0f);
      std::vector<unsigned char> chunk((unsigned char*)data, (unsigned char*)data + size);
      h.effect->dispatcher(h.effect, effSetChunk, 1, (VstIntPtr)chunk.size(), chunk.data(), 0.0f);
      if (step % 26 == 10) // the host restores a bank: programs read aside, the current one swapped in
        h.effect->dispatcher(h.effect, effSetChunk, 0, (VstIntPtr)bankChunk.size() - 1, (void*)bankChunk.data(), 0.0f);
      break;
    }
    case 11:
      for (int k = 0; k < 6; ++k) {
        v.postCommand(Veltrane::kCommandReplace, (slot + k) % 18, (id + k) % 45);
        v.OnIdle();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
      break;
    default:
      v.runFileCommand(File::kCopyProgram);
      gui->ScriptMessageBoxButton(0);
      v.runFileCommand(File::kPasteProgram);
      v.OnIdle();
      break;
    }
    std::this_thread::yield();
  }
  editing.store(false);
  audio.join();
  EXPECT_GE(blocks.load(), 200);

  // What is left is a consistent patch: each slot's running modules were made for its current type, and
  // the process lists hold exactly the non-empty slots of their section.
  WDL_MutexLock lock(v.GetMutex());
  size_t masters = 0, voiceSlots = 0;
  for (int s = 0; s < Veltrane::kNumSlots; ++s) {
    const ModuleConfig& c = v.slotConfig[s];
    const Module* m = c.master ? v.masterModules[s] : v.voices[0].modules[s];
    EXPECT_EQ(&c, m->config) << s;
    EXPECT_EQ((size_t)c.numAudioOutputs, m->audioOut.size()) << s;
    EXPECT_EQ((size_t)c.numModOutputs, m->modOut.size()) << s;
    EXPECT_EQ((size_t)c.numGateOutputs, m->gateOut.size()) << s;
    if (c.category != 0) ++(c.master ? masters : voiceSlots);
  }
  EXPECT_EQ(masters, v.masterProcessList.size());
  EXPECT_EQ(voiceSlots, v.voices[0].processList.size());
  std::vector<int> order = v.displayOrder;
  std::sort(order.begin(), order.end());
  for (int i = 0; i < 18; ++i) EXPECT_EQ(i, order[i]);
  for (float x : outL) EXPECT_TRUE(std::isfinite(x));
}

TEST(Threads, ProgramChangeStopsNotesAndSwitchesUnderOneHold)
{
  // Whether another thread (the host's audio thread) could take the instance mutex right after the notes
  // were stopped: had it, a block would run with the notes stopped but the old program still in place.
  class Probed : public Veltrane
  {
  public:
    Probed() : Veltrane(IPlugInstanceInfo{QuietHost}) {}
    void allNotesOff() override
    {
      Veltrane::allNotesOff();
      if (!probing) return;
      std::thread([this] {
        auto* mutex = reinterpret_cast<pthread_mutex_t*>(GetMutex());
        const bool free = pthread_mutex_trylock(mutex) == 0;
        if (free) pthread_mutex_unlock(mutex);
        (free ? freeAfterNotesOff : heldAfterNotesOff)++;
      }).join();
    }
    bool probing = false;
    int freeAfterNotesOff = 0, heldAfterNotesOff = 0;
  };
  Probed v;
  v.probing = true;
  v.changePreset(4);
  v.changePreset(0);
  v.probing = false;
  EXPECT_EQ(0, v.freeAfterNotesOff);
  EXPECT_GE(v.heldAfterNotesOff, 2); // the program's voice count may stop them once more
  EXPECT_EQ(0, v.GetCurrentPresetIdx());
}
