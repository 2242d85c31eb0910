// Host calls after a MIDI program change: whatever the host does next acts on the new program, even while
// that program is still being built aside; MIDI held back for it waits a bounded time and never loses a
// note's end; rate and block size changes between blocks keep what the program set.
#include "K35.h"
#include "OscWavetable.h"
#include "ProgramStage.h"
#include "../support/host_thread.h"
#include "../support/thread_state.h"
#include "../support/unload_cycle.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace {
// The change goes to program 0: an answer or a build that passed over program 0 would show.
constexpr int kFirst = 21, kTarget = 0, kOther = 7;
constexpr double kVolume[] = {0.2, 0.6, 0.8}; // of programs kFirst, kOther, kTarget (normalised / 2)

// Three programs that differ in their volume, name and first two slots (a ladder's list of types where the
// others have a plain value); program kFirst is current afterwards.
void makePrograms(Veltrane& v)
{
  const struct
  {
    int program;
    const char* name;
    double volume;
    ModuleConfig::ModuleID slot0, slot1;
  } programs[] = {{kOther, "Other", kVolume[1], ModuleConfig::MOD_OSCILLATOR, ModuleConfig::MOD_EMPTY},
                  {kTarget, "Target", kVolume[2], ModuleConfig::MOD_EMPTY, ModuleConfig::MOD_LADDER},
                  {kFirst, "First", kVolume[0], ModuleConfig::MOD_LADDER, ModuleConfig::MOD_EMPTY}};
  for (const auto& p : programs) {
    v.changePreset(p.program);
    v.replaceModule(0, p.slot0, false, false);
    v.replaceModule(1, p.slot1, false, false);
    v.SetParameterFromGUI(Veltrane::kParamVolume, p.volume / 2.0);
    v.ModifyCurrentPreset(p.name);
  }
}

// Keeps the staging engine busy on a thread of its own, as a long build keeps it, for `ms` or until let go (at
// its end at the latest): a MIDI program change sent meanwhile stays pending, and a host call that waits for it
// waits that long.
class BusyStage
{
public:
  static constexpr int kUntilLetGo = 30000; // a call that waits for the stage then fails rather than hangs
  explicit BusyStage(Veltrane& v, int ms = 60)
      : thread([this, &v, ms] {
          v.stage->hold();
          held.store(true);
          taken.store(true);
          const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
          while (!goes.load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          held.store(false);
          v.stage->end();
        })
  {
    while (!taken.load()) std::this_thread::yield();
  }
  ~BusyStage()
  {
    letGo();
    thread.join();
  }
  bool busy() const { return held.load(); }
  void letGo() { goes.store(true); }

private:
  std::atomic<bool> held{false}, taken{false}, goes{false};
  std::thread thread;
};

// Whether `reached` comes to hold within 30 s (a busy machine may keep another thread from running that long).
bool within30s(const std::function<bool()>& reached)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!reached()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The note's key is down, or the pedal holds it.
bool sounding(const Veltrane& v, int note)
{
  for (const Voice& voice : v.voices)
    if (voice.gate > 0.0 && voice.noteNumber == note) return true;
  return false;
}

// A host thread's call, the host's main thread by default, waited for.
template <class Call> void onAnotherThread(Call call)
{
  std::thread(call).join();
}

// `load` on a host thread whose host answers its process level late, once `late` holds there: `beside` runs on
// this thread meanwhile (or once the load ended without asking late). A load asks just before it would wait for
// the stage. Other threads get no answer: one that ran a block is an audio thread.
void besideALoad(HostedVeltrane& h, std::function<bool()> late, std::function<void()> load, std::function<void()> beside)
{
  static thread_local bool loader = false;
  std::atomic<bool> waiting{false}, done{false}, loaded{false};
  h.processLevel = [&] {
    if (!loader) return (VstIntPtr)0;
    if (late()) {
      waiting.store(true);
      while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return (VstIntPtr)kVstProcessLevelUser;
  };
  std::thread thread([&] {
    loader = true;
    load();
    loaded.store(true);
  });
  while (!waiting.load() && !loaded.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  beside();
  done.store(true);
  thread.join();
  h.processLevel = nullptr;
}

std::vector<unsigned char> presetBytes(Veltrane& v, int program)
{
  const ByteChunk* c = v.GetPresetChunk(program);
  return std::vector<unsigned char>(c->GetBytes(), c->GetBytes() + c->Size());
}

float getParam(HostedVeltrane& h, int idx)
{
  return h.effect->getParameter(h.effect, idx);
}

// A bank of the test programs, with program kOther's volume at 0.35 and kFirst current; and kOther as it holds it.
std::pair<std::vector<unsigned char>, std::vector<unsigned char>> bankWithOtherEdited()
{
  HostedVeltrane source(44100, 64);
  makePrograms(*source.plug);
  source.plug->changePreset(kOther);
  source.plug->SetParameterFromGUI(Veltrane::kParamVolume, 0.35);
  source.plug->ModifyCurrentPreset();
  source.plug->changePreset(kFirst);
  return {source.bank(), presetBytes(*source.plug, kOther)};
}
// A program file of parameter values (the format without chunks): the live values, the volume at `volume`; with
// bank, a bank file of that one program.
ByteChunk valueProgramFile(Veltrane& v, const char* name, float volume, bool bank = false)
{
  std::string b;
  const auto be = [&b](uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8) b += (char)(x >> shift);
  };
  if (bank) {
    b = "CcnK____FxBk";
    for (const int field : {2, v.GetUniqueID(), 1, 1, 0}) be((uint32_t)field);
    b.resize(156, '\0');
  }
  const size_t record = b.size();
  b += "CcnK";
  be(48 + 4 * v.NParams());
  b += "FxCk";
  for (const int field : {1, v.GetUniqueID(), 1, v.NParams()}) be((uint32_t)field);
  b += name;
  b.resize(record + 56, '\0');
  for (int i = 0; i < v.NParams(); ++i) {
    const float value = i == Veltrane::kParamVolume ? volume : (float)v.GetParam(i)->GetNormalized();
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    be(bits);
  }
  ByteChunk file;
  file.PutBytes(b.data(), (int)b.size());
  return file;
}
} // namespace

TEST(HostOrder, CallsAfterAMidiProgramChangeActOnItsProgram)
{
  // What a row keeps between its call and its check; the bank is taken before the change.
  struct Kept
  {
    std::vector<unsigned char> bank, bytes, first;
    float value = 0.0f;
    unsigned builds = 0;
    BusyStage* busy = nullptr;
    HostThread other; // a host thread of the row's own
  };
  struct Row
  {
    const char* what;
    // Made while the change is pending (the test thread is the audio thread); then checked once blocks ran.
    std::function<void(HostedVeltrane&, Kept&)> call;
    std::function<void(HostedVeltrane&, const Kept&)> check = [](HostedVeltrane&, const Kept&) {};
    double volume = kVolume[2]; // in place at the end
    int program = kTarget;
    int busyMs = 60;
    std::function<void(HostedVeltrane&, Kept&)> before = [](HostedVeltrane&, Kept&) {}; // before the change
    int changeAt = 0; // the change's sample offset
  };
  const Row rows[] = {
      {"a parameter set on the audio thread",
       [](HostedVeltrane& h, Kept&) { h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f); },
       [](HostedVeltrane& h, const Kept&) { EXPECT_FLOAT_EQ(0.123f, getParam(h, Veltrane::kParamVolume)); },
       0.246},
      {"a parameter read on another thread",
       [](HostedVeltrane& h, Kept& k) { std::thread([&] { k.value = getParam(h, Veltrane::kParamVolume); }).join(); },
       [](HostedVeltrane&, const Kept& k) { EXPECT_FLOAT_EQ((float)kVolume[2] / 2, k.value); }},
      {"a program chunk after a parameter set, both on the audio thread: read in place, superseding the change",
       [](HostedVeltrane& h, Kept& k) {
         k.bytes = presetBytes(*h.plug, kFirst);
         h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f); // for the change: dropped with it
         ByteChunk chunk;
         IPlugBase::InitChunkWithIPlugVer(&chunk);
         chunk.PutChunk(h.plug->GetPresetChunk(kOther));
         EXPECT_EQ(1, h.dispatch(effSetChunk, 1, chunk.Size(), chunk.GetBytes()));
         EXPECT_TRUE(k.busy->busy()) << "it waited for the stage";
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(k.bytes, presetBytes(*h.plug, kFirst)) << "the program before the change was overwritten";
         EXPECT_EQ(presetBytes(*h.plug, kOther), presetBytes(*h.plug, kTarget));
       },
       kVolume[1], kTarget, BusyStage::kUntilLetGo},
      {"a damaged program chunk",
       [](HostedVeltrane& h, Kept&) {
         const unsigned char junk[] = {1, 2, 3};
         EXPECT_EQ(0, h.dispatch(effSetChunk, 1, sizeof junk, (void*)junk));
       }},
      {"a program name",
       [](HostedVeltrane& h, Kept&) { h.dispatch(effSetProgramName, 0, 0, (void*)"Renamed"); },
       [](HostedVeltrane& h, const Kept&) {
         EXPECT_STREQ("Renamed", h.plug->GetPresetName(kTarget));
         EXPECT_STREQ("First", h.plug->GetPresetName(kFirst));
       }},
      {"the program and its name asked",
       [](HostedVeltrane& h, Kept&) {
         EXPECT_EQ(kTarget, h.dispatch(effGetProgram));
         char name[kVstMaxProgNameLen] = {};
         h.dispatch(effGetProgramName, 0, 0, name);
         EXPECT_STREQ("Target", name);
       }},
      {"a program change to a program that is not there", [](HostedVeltrane& h, Kept&) { h.dispatch(effSetProgram, 0, 99); }},
      {"a damaged bank chunk",
       [](HostedVeltrane& h, Kept& k) {
         k.bank.resize(k.bank.size() * 2 / 3);
         EXPECT_EQ(0, h.dispatch(effSetChunk, 0, (VstIntPtr)k.bank.size(), (void*)k.bank.data()));
       }},
      {"a damaged program file the editor loads once the change is built (its build dropped, then rebuilt)",
       [](HostedVeltrane& h, Kept&) {
         TempDir dir;
         WDL_String path(dir.path("p.fxp").c_str());
         ASSERT_TRUE(h.plug->SaveProgramAsFXP(&path));
         std::ifstream in(path.Get(), std::ios::binary);
         const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         ByteChunk file;
         file.PutBytes(bytes.data(), (int)bytes.size() * 2 / 3);
         ASSERT_TRUE(h.plug->stage->waitUntilReady()); // the worker has built the change
         EXPECT_FALSE(h.plug->LoadProgramFromFXPData(&file));
       }},
      {"a program chunk read",
       [](HostedVeltrane& h, Kept& k) {
         k.bytes = h.programChunk();
         k.bytes.erase(k.bytes.begin(), k.bytes.begin() + 8); // the framework's header
       },
       [](HostedVeltrane& h, const Kept& k) { EXPECT_EQ(presetBytes(*h.plug, kTarget), k.bytes); }},
      {"the program set on the host's main thread while another thread saves the bank",
       [](HostedVeltrane& h, Kept& k) {
         k.bytes = presetBytes(*h.plug, kTarget);
         k.first = presetBytes(*h.plug, kFirst);
         int asked = 0;
         besideALoad(
             h, [&] { return ++asked > 1; }, // it asks once before the load begins, then before the stage
             [&] { h.dispatch(effSetProgram, 0, kOther); }, [&] { onAnotherThread([&] { k.bank = h.bank(); }); });
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(k.bytes, presetBytes(*h.plug, kTarget)) << "the program of the change was overwritten";
         EXPECT_EQ(k.first, presetBytes(*h.plug, kFirst));
       },
       kVolume[1], kOther},
      {"the program set on the audio thread after notes queued there, which play before it",
       [](HostedVeltrane& h, Kept&) {
         h.midi(10, 0x90, 62, 100);
         h.midi(40, 0x90, 60, 100);
         h.sendEvents();
         h.dispatch(effSetProgram, 0, kOther); // overtakes the change, whose build has not begun
         h.run(64);
         EXPECT_TRUE(sounding(*h.plug, 60)) << "the note queued before the change waited for it";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[1], kOther, BusyStage::kUntilLetGo},
      {"the program set on the audio thread, taken as a MIDI program change",
       [](HostedVeltrane& h, Kept& k) {
         h.dispatch(effSetProgram, 0, kOther);
         EXPECT_TRUE(k.busy->busy()) << "it waited for the build";
         EXPECT_EQ(kFirst, h.plug->GetCurrentPresetIdx()) << "built on the audio thread";
         h.dispatch(effSetProgram, 0, kTarget);
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[2], kTarget, BusyStage::kUntilLetGo},
      {"a list entry by text and a value the program before rounds, set on the audio thread",
       [](HostedVeltrane& h, Kept&) {
         EXPECT_EQ(1, h.dispatch(effString2Parameter, 16, 0, (void*)"HP 24"));
         h.effect->setParameter(h.effect, 0, 0.52f); // slot 0 holds a list of 15 entries until the change
       },
       [](HostedVeltrane& h, const Kept&) {
         char text[kVstMaxParamStrLen + 8] = {};
         h.dispatch(effGetParamDisplay, 16, 0, text);
         EXPECT_STREQ("HP 24", text);
         EXPECT_NEAR(0.52, h.plug->GetParam(0)->Value(), 1e-6);
       }},
      {"calls on a pool thread that processed an earlier block, which wait for no build",
       [](HostedVeltrane& h, Kept& k) {
         k.other.call([&] {
           k.value = getParam(h, Veltrane::kParamVolume);
           k.bytes = h.programChunk();
           h.dispatch(effSetProgramName, 0, 0, (void*)"Pool");
         });
         EXPECT_TRUE(k.busy->busy()) << "a call waited for the build";
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(presetBytes(*h.plug, kTarget), std::vector<unsigned char>(k.bytes.begin() + 8, k.bytes.end()));
         EXPECT_STREQ("Pool", h.plug->GetPresetName(kTarget));
         EXPECT_STREQ("First", h.plug->GetPresetName(kFirst));
       },
       kVolume[2], kTarget, BusyStage::kUntilLetGo,
       [](HostedVeltrane& h, Kept& k) { k.other.call([&] { h.run(64); }); }},
      {"a note-on before the change in its event list, and one after",
       [](HostedVeltrane& h, Kept&) {
         h.midi(0, 0x90, 64, 100);
         h.run(64);
         EXPECT_TRUE(sounding(*h.plug, 60)) << "the note sent before the change waited for it";
         EXPECT_FALSE(sounding(*h.plug, 64)) << "the note sent after the change played with the program before";
       },
       [](HostedVeltrane& h, const Kept&) { EXPECT_TRUE(sounding(*h.plug, 64)); }, kVolume[2], kTarget,
       BusyStage::kUntilLetGo, [](HostedVeltrane& h, Kept&) { h.midi(0, 0x90, 60, 100); }},
      {"a note-on after the change, whose build takes longer than the 100 ms the note waits",
       [](HostedVeltrane& h, Kept&) {
         h.midi(0, 0x90, 64, 100);
         for (int b = 0; b < 44100 / 10 / 64 + 2; ++b) h.run(64);
         EXPECT_TRUE(sounding(*h.plug, 64)) << "it still waits for the build";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[2], kTarget, BusyStage::kUntilLetGo},
      {"a change taken while builds are held (a bank's programs read), built once they are let go",
       [](HostedVeltrane& h, Kept& k) {
         const unsigned looks = h.plug->stage->lookCount();
         h.plug->stage->wake();
         h.plug->stage->wake(); // a look for each: at least one of the next two begins after the change
         ASSERT_TRUE(within30s([&] { return h.plug->stage->lookCount() - looks >= 2; })) << "the worker never looked";
         EXPECT_EQ(k.builds, h.plug->stage->buildCount()) << "built while held";
         h.plug->HoldProgramBuilds(false);
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[2], kTarget, 1,
       [](HostedVeltrane& h, Kept& k) {
         h.plug->HoldProgramBuilds(true);
         k.builds = h.plug->stage->buildCount();
       }},
      {"a change sent once the worker has slept for a second, nothing else asking for it",
       [](HostedVeltrane&, Kept&) {}, [](HostedVeltrane&, const Kept&) {}, kVolume[2], kTarget, 1,
       [](HostedVeltrane& h, Kept&) {
         ASSERT_TRUE(within30s([&] { return h.plug->stage->asleepUntilWoken(); })) << "the worker never slept";
       }},
      {"a note-on before the change in its event list, when the change is built before its place is reached",
       [](HostedVeltrane& h, Kept&) {
         ASSERT_TRUE(h.plug->stage->waitUntilReady());
         h.run(64);
         EXPECT_EQ(kTarget, h.plug->GetCurrentPresetIdx());
         EXPECT_FALSE(sounding(*h.plug, 60)) << "the program was put in place before the note sent ahead of it";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[2], kTarget, 60,
       [](HostedVeltrane& h, Kept&) { h.midi(90, 0x90, 60, 100); }, 100},
      {"the program saved from the editor's menu",
       [](HostedVeltrane& h, Kept& k) {
         TempDir dir;
         const std::string path = dir.path("saved.fxp");
         h.plug->graphics->OpenWindow(nullptr);
         h.plug->graphics->ScriptFilePrompt(path.c_str());
         onAnotherThread([&] { h.plug->runFileCommand(File::kSaveProgram); });
         std::ifstream in(path, std::ios::binary);
         k.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
       },
       [](HostedVeltrane&, const Kept& k) {
         ASSERT_GT(k.bytes.size(), 34u);
         EXPECT_EQ("Target", std::string((const char*)k.bytes.data() + 28, 6));
       }},
      {"a parameter and a program chunk read on the host's main thread once the worker took too long",
       [](HostedVeltrane& h, Kept& k) {
         std::atomic<pid_t> reader{0};
         std::thread host([&] {
           reader = gettid();
           k.value = getParam(h, Veltrane::kParamVolume);
           k.bytes = h.programChunk();
         });
         // The stage stays busy until the read has given up waiting for the worker: it then waits for the stage.
         while (!reader.load()) std::this_thread::yield();
         EXPECT_TRUE(ThreadComesToWaitForALock(reader)) << "the read never waited for the stage";
         k.busy->letGo();
         host.join();
         EXPECT_FLOAT_EQ((float)kVolume[2] / 2, k.value) << "read before the program was in place";
         k.bytes.erase(k.bytes.begin(), k.bytes.begin() + 8);
       },
       [](HostedVeltrane& h, const Kept& k) { EXPECT_EQ(presetBytes(*h.plug, kTarget), k.bytes); }, kVolume[2],
       kTarget, BusyStage::kUntilLetGo},
      {"a bank chunk kept by one host thread while another asks for one",
       [](HostedVeltrane& h, Kept& k) {
         void* kept = nullptr;
         VstIntPtr size = 0;
         k.other.call([&] { size = h.dispatch(effGetChunk, 0, 0, &kept); });
         ASSERT_GT(size, 0);
         k.bytes.assign((unsigned char*)kept, (unsigned char*)kept + size);
         onAnotherThread([&] {
           h.dispatch(effSetProgramName, 0, 0, (void*)"Tarzet"); // as long as "Target": the same room
           h.bank();
         });
         EXPECT_TRUE(std::equal(k.bytes.begin(), k.bytes.end(), (unsigned char*)kept)) << "it changed under the host";
       }},
      {"a parameter set and the bank asked on the audio thread, the change not built yet",
       [](HostedVeltrane& h, Kept& k) {
         while (!h.plug->stage->hold(false)) std::this_thread::yield(); // the stage free, builds held
         h.plug->stage->end();
         k.first = presetBytes(*h.plug, kFirst);
         h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f);
         k.bank = h.bank();
         h.plug->HoldProgramBuilds(false);
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(k.first, presetBytes(*h.plug, kFirst)) << "the program in place took a value set for the change";
         HostedVeltrane other(44100, 64);
         ASSERT_EQ(1, other.dispatch(effSetChunk, 0, (VstIntPtr)k.bank.size() - 1, (void*)k.bank.data()));
         EXPECT_EQ(kTarget, other.plug->GetCurrentPresetIdx());
         EXPECT_NEAR(0.246, other.plug->volume, 1e-6) << "the bank's program of the change lacks the value";
       },
       0.246, kTarget, 1, [](HostedVeltrane& h, Kept&) { h.plug->HoldProgramBuilds(true); }},
      {"a parameter set offline before the audio loop reaches the change",
       [](HostedVeltrane& h, Kept&) {
         h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f);
         h.run(64);
         h.offline = false;
       },
       [](HostedVeltrane&, const Kept&) {}, 0.246, kTarget, 60, [](HostedVeltrane& h, Kept&) { h.offline = true; },
       100},
      {"the program set on a host thread that processed once, which the host answers as a user's",
       [](HostedVeltrane& h, Kept& k) {
         h.processLevel = [] { return (VstIntPtr)kVstProcessLevelUser; };
         k.other.call([&] {
           h.dispatch(effSetProgram, 0, kOther);
           k.value = getParam(h, Veltrane::kParamVolume);
         });
         h.processLevel = nullptr;
         EXPECT_FLOAT_EQ((float)kVolume[1] / 2, k.value) << "staged as if on an audio thread";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[1], kOther, 60,
       [](HostedVeltrane& h, Kept& k) { k.other.call([&] { h.run(64); }); }},
      {"the program set on a new host thread after an audio thread ended, from a host that answers no level",
       [](HostedVeltrane& h, Kept& k) {
         std::thread([&] {
           h.dispatch(effSetProgram, 0, kOther);
           k.value = getParam(h, Veltrane::kParamVolume);
         }).join();
         EXPECT_FLOAT_EQ((float)kVolume[1] / 2, k.value) << "taken for the ended audio thread";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[1], kOther, 60,
       [](HostedVeltrane& h, Kept&) {
         h.processLevel = [] { return (VstIntPtr)0; };
         std::thread([&] { h.run(64); }).join(); // its identity is free for the next thread
       }},
      {"a program chunk loaded on a host thread while another program change comes",
       [](HostedVeltrane& h, Kept& k) {
         k.bytes = presetBytes(*h.plug, kOther);
         ByteChunk chunk;
         IPlugBase::InitChunkWithIPlugVer(&chunk);
         chunk.PutChunk(h.plug->GetPresetChunk(kOther));
         besideALoad(
             h, [] { return true; }, // its ticket taken, before the stage
             [&] { EXPECT_EQ(1, h.dispatch(effSetChunk, 1, chunk.Size(), chunk.GetBytes())); },
             [&] {
               h.midi(0, 0xC0, kFirst);
               h.sendEvents();
             });
       },
       [](HostedVeltrane& h, const Kept& k) { EXPECT_EQ(k.bytes, presetBytes(*h.plug, kTarget)); }, kVolume[0],
       kFirst},
      {"a bank without a current program, from the host's main thread, which builds as much as alone",
       [](HostedVeltrane& h, Kept& k) {
         h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f); // for the change the bank supersedes
         k.bytes = presetBytes(*h.plug, kFirst);
         const unsigned before = h.plug->stage->buildCount();
         // The stage is let go once the bank holds builds (it asks before it waits for the stage): the worker,
         // nudged for the change before, builds nothing then.
         besideALoad(
             h, [] { return true; },
             [&] { EXPECT_EQ(1, h.dispatch(effSetChunk, 0, (VstIntPtr)k.bank.size(), (void*)k.bank.data())); },
             [&] { k.busy->letGo(); });
         k.builds = h.plug->stage->buildCount() - before;
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(1u, k.builds) << "the current program, once";
         EXPECT_EQ(k.bytes, presetBytes(*h.plug, kFirst));
       },
       kVolume[2], kTarget, BusyStage::kUntilLetGo},
      {"a bank and a program chunk asked on the audio thread once the change is built, before its place",
       [](HostedVeltrane& h, Kept& k) {
         ASSERT_TRUE(h.plug->stage->waitUntilReady());
         k.builds = h.plug->stage->buildCount();
         k.bank = h.bank();
         k.bytes = h.programChunk();
         h.run(64);
         EXPECT_EQ(kTarget, h.plug->GetCurrentPresetIdx()) << "not in place at the block that reaches it";
         EXPECT_EQ(k.builds, h.plug->stage->buildCount()) << "the ready build was dropped and built again";
       },
       [](HostedVeltrane& h, const Kept& k) {
         EXPECT_EQ(presetBytes(*h.plug, kTarget), std::vector<unsigned char>(k.bytes.begin() + 8, k.bytes.end()));
       },
       kVolume[2], kTarget, 60, [](HostedVeltrane&, Kept&) {}, 100},
      {"a bank chunk and a rename on the audio thread once a change to the program in place is built, before its place",
       [](HostedVeltrane& h, Kept& k) {
         ASSERT_TRUE(h.plug->stage->waitUntilReady());
         k.builds = h.plug->stage->buildCount();
         h.bank();
         h.dispatch(effSetProgramName, 0, 0, (void*)"Renamed");
         h.run(64);
         EXPECT_FALSE(h.plug->stage->pending()) << "not in place at the block that reaches it";
         EXPECT_EQ(k.builds, h.plug->stage->buildCount()) << "the ready build was dropped and built again";
       },
       [](HostedVeltrane& h, const Kept&) { EXPECT_STREQ("Renamed", h.plug->GetPresetName(kTarget)); }, kVolume[2],
       kTarget, 60, [](HostedVeltrane& h, Kept&) { h.plug->changePreset(kTarget); }, 64},
      {"a second change reached in real time, then a block rendered offline on another thread at once, the stage busy",
       [](HostedVeltrane& h, Kept&) {
         h.midi(0, 0xC0, kOther);
         h.run(64);
         h.offline = true;
         onAnotherThread([&] { h.run(64); });
         h.offline = false;
         EXPECT_EQ(kOther, h.plug->GetCurrentPresetIdx()) << "not in place at the offline block";
       },
       [](HostedVeltrane&, const Kept&) {}, kVolume[1], kOther, BusyStage::kUntilLetGo},
      {"a program file of parameter values loaded on the host's main thread after a value set for the change, while "
       "a bank loaded on the audio thread gives the program another module",
       [](HostedVeltrane& h, Kept& k) {
         h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.123f); // the live state is no longer its own
         ByteChunk file = valueProgramFile(*h.plug, "Values", 0.35f);
         std::vector<unsigned char> bank;
         {
           HostedVeltrane source(44100, 64);
           makePrograms(*source.plug);
           source.plug->changePreset(kTarget);
           source.plug->replaceModule(2, ModuleConfig::MOD_OSCILLATOR, false, false);
           source.plug->ModifyCurrentPreset();
           bank = source.bank();
           bank.resize(bank.size() - 9); // the program host calls act on stays current
         }
         besideALoad(
             h, [] { return true; }, // it read the program, before the stage
             [&] { EXPECT_TRUE(h.plug->LoadProgramFromFXPData(&file)); },
             [&] {
               EXPECT_EQ(1, h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data()));
               k.busy->letGo();
             });
       },
       [](HostedVeltrane& h, const Kept&) {
         EXPECT_STREQ("Values", h.plug->GetPresetName(kTarget));
         EXPECT_STREQ("First", h.plug->GetPresetName(kFirst));
         EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, h.plug->slotConfig[2].moduleID) << "over the program before the bank";
       },
       0.7, kTarget, BusyStage::kUntilLetGo},
      {"a program file of parameter values loaded on the audio thread while the stage is busy: read in place",
       [](HostedVeltrane& h, Kept& k) {
         h.dispatch(effSetProgram, 0, kOther); // staged: a second change, to a program other than 0
         ByteChunk file = valueProgramFile(*h.plug, "Values", 0.35f);
         EXPECT_TRUE(h.plug->LoadProgramFromFXPData(&file));
         EXPECT_TRUE(k.busy->busy()) << "it waited for the stage";
       },
       [](HostedVeltrane& h, const Kept&) {
         EXPECT_STREQ("Values", h.plug->GetPresetName(kOther));
         EXPECT_STREQ("Target", h.plug->GetPresetName(kTarget));
       },
       0.7, kOther, BusyStage::kUntilLetGo},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostedVeltrane h(44100, 64);
    Veltrane& v = *h.plug;
    makePrograms(v);
    Kept kept;
    kept.bank = h.bank();
    kept.bank.resize(kept.bank.size() - 9); // the host's order decides the current program, not the bank
    h.run(64);
    {
      BusyStage busy(v, row.busyMs);
      kept.busy = &busy;
      row.before(h, kept);
      h.midi(row.changeAt, 0xC0, kTarget);
      h.sendEvents();
      h.run(64);
      row.call(h, kept);
    }
    EXPECT_TRUE(v.stage->waitUntilReady()) << "the change was never built";
    for (int b = 0; b < 4; ++b) h.run(64);
    EXPECT_EQ(row.program, v.GetCurrentPresetIdx());
    EXPECT_EQ(row.program, h.dispatch(effGetProgram));
    EXPECT_NEAR(row.volume, v.volume, 1e-6);
    row.check(h, kept);
  }
}


// Loads, saves and program changes from several host threads at once: every slot keeps its own program, and the
// live state is that of the current program's slot.
TEST(HostOrder, LoadsAndSavesOnSeveralThreadsKeepEverySlotItsOwn)
{
  const std::function<void(HostedVeltrane&)> rows[] = {
      [](HostedVeltrane& h) { // banks loaded while another thread saves the bank over and over
        h.plug->changePreset(kFirst);
        const std::vector<unsigned char> banks[2] = {h.bank(), (h.plug->SetParameterFromGUI(Veltrane::kParamVolume, 0.45),
                                                                h.plug->ModifyCurrentPreset(), h.bank())};
        std::atomic<bool> saving{true};
        std::thread saver([&] {
          while (saving.load()) h.bank();
        });
        for (int round = 0; round < 20; ++round) {
          const std::vector<unsigned char>& bank = banks[round % 2];
          h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size() - 1, (void*)bank.data());
          EXPECT_EQ(kFirst, h.plug->GetCurrentPresetIdx());
          EXPECT_NEAR(round % 2 ? 0.9 : kVolume[0], h.plug->volume, 1e-6) << round;
        }
        saving.store(false);
        saver.join();
      },
      [](HostedVeltrane& h) { // a program restored on one thread while another loads a bank that replaces it
        const auto edited = bankWithOtherEdited();
        const std::vector<unsigned char>& bank = edited.first;
        const std::vector<unsigned char>& banksOther = edited.second;
        // The restoring thread's host answers late once the restore has begun (its slot copied): the bank lands
        // in between.
        int asked = 0;
        besideALoad(
            h, [&] { return ++asked > 1; }, // effSetProgram asks once before the restore begins
            [&] { h.dispatch(effSetProgram, 0, kOther); },
            [&] { h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size() - 1, (void*)bank.data()); });
        EXPECT_EQ(banksOther, presetBytes(*h.plug, kOther));
      },
      [](HostedVeltrane& h) { // a program chosen once a bank's programs are in place is not undone by the bank
        const auto edited = bankWithOtherEdited();
        const std::vector<unsigned char>& bank = edited.first;
        const std::vector<unsigned char>& banksOther = edited.second;
        // The loading thread's host answers late once the bank's programs are in place.
        besideALoad(
            h, [&] { return presetBytes(*h.plug, kOther) == banksOther; },
            [&] { h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size() - 1, (void*)bank.data()); },
            [&] { h.dispatch(effSetProgram, 0, kOther); });
        EXPECT_EQ(kOther, h.plug->GetCurrentPresetIdx()) << "the bank's current program was put in place after it";
        EXPECT_NEAR(0.7, h.plug->volume, 1e-6);
      },
      [](HostedVeltrane& h) { // a program chunk whose load began before a program change was loaded lands after it
        ByteChunk chunk;
        IPlugBase::InitChunkWithIPlugVer(&chunk);
        chunk.PutChunk(h.plug->GetPresetChunk(kTarget));
        besideALoad(
            h, [] { return true; }, // asked once the load has begun
            [&] { h.dispatch(effSetChunk, 1, chunk.Size(), chunk.GetBytes()); },
            [&] { h.dispatch(effSetProgram, 0, kOther); });
        EXPECT_EQ(kOther, h.plug->GetCurrentPresetIdx()) << "the chunk landed in the program before";
        EXPECT_EQ(presetBytes(*h.plug, kTarget), presetBytes(*h.plug, kOther));
      },
      [](HostedVeltrane& h) { // a program chosen again by MIDI while the audio thread stores the edited one
        h.plug->changePreset(kFirst);
        h.run(64); // this thread processes audio from now on
        h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.35f);
        h.midi(64, 0xC0, kFirst); // reached in the next block but one
        h.sendEvents();
        ASSERT_TRUE(h.plug->stage->waitUntilReady()); // built from the program as it was stored
        h.bank();                                   // stores the edit into the program
        for (int b = 0; b < 4; ++b) h.run(64);
        ASSERT_TRUE(h.plug->stage->waitUntilReady()); // built again from what it holds now
        for (int b = 0; b < 4; ++b) h.run(64);
        EXPECT_NEAR(0.7, h.plug->volume, 1e-6) << "the build of the program as it was stored landed";
      },
      [](HostedVeltrane& h) { // the current program reloaded on one thread while another stores an edit into it
        int asked = 0;
        besideALoad(
            h, [&] { return ++asked > 1; }, // it copied the slot, before the stage
            [&] { h.dispatch(effSetProgram, 0, kFirst); },
            [&] {
              h.plug->SetParameterFromGUI(Veltrane::kParamVolume, 0.45);
              EXPECT_TRUE(h.plug->ModifyCurrentPreset());
            });
        EXPECT_NEAR(0.9, h.plug->volume, 1e-6) << "the program as it was before the edit was put in place";
      },
      [](HostedVeltrane& h) { // a bank of parameter values read while the host's program chunk lands beside it,
                              // then while an edit is stored into the program it read, then beside a program change
        h.plug->changePreset(kTarget);
        ByteChunk file = valueProgramFile(*h.plug, "Values", 0.35f, true), chunk;
        IPlugBase::InitChunkWithIPlugVer(&chunk);
        chunk.PutChunk(h.plug->GetPresetChunk(kOther));
        const auto loadBank = [&] { EXPECT_TRUE(h.plug->LoadBankFromFXBData(&file)); };
        besideALoad(h, [] { return true; }, loadBank, // late once its program is read
                    [&] { EXPECT_EQ(1, h.dispatch(effSetChunk, 1, chunk.Size(), chunk.GetBytes())); });
        EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, h.plug->slotConfig[0].moduleID) << "the chunk was undone";
        EXPECT_NEAR(0.7, h.plug->volume, 1e-6);
        besideALoad(h, [] { return true; }, loadBank, [&] {
          h.plug->postCommand(Veltrane::kCommandReplace, 6, ModuleConfig::MOD_LFO);
          h.plug->RunQueuedEditorCommands();
          WDL_MutexLock lock(h.plug->GetMutex());
          EXPECT_TRUE(h.plug->ModifyCurrentPreset());
        });
        EXPECT_EQ(ModuleConfig::MOD_LFO, h.plug->slotConfig[6].moduleID) << "the edit was undone";
        // Then while a MIDI program change is taken, the host's chunk after it: the change lands after the bank, and
        // the chunk in the change's program.
        besideALoad(h, [] { return true; }, loadBank, [&] { h.midi(0, 0xC0, kFirst), h.sendEvents(); });
        onAnotherThread([&] { EXPECT_EQ(1, h.dispatch(effSetChunk, 1, chunk.Size(), chunk.GetBytes())); });
        EXPECT_EQ(presetBytes(*h.plug, kOther), presetBytes(*h.plug, kFirst)) << "the chunk went into another program";
      },
      [](HostedVeltrane& h) { // modules chosen in the editor just before a chunk read and a program change
        h.run(64); // then the audio stops
        h.plug->postCommand(Veltrane::kCommandReplace, 2, ModuleConfig::MOD_OSCILLATOR);
        h.programChunk();
        EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, h.plug->slotConfig[2].moduleID) << "the chunk lacks the choice";
        h.plug->postCommand(Veltrane::kCommandReplace, 5, ModuleConfig::MOD_OSCILLATOR);
        h.bank();
        EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, h.plug->slotConfig[5].moduleID) << "the bank lacks the choice";
        const auto asStored = [&h](const char* where) { // the live state is its slot's, once queued commands ran
          const std::vector<unsigned char> live = h.programChunk();
          EXPECT_EQ(presetBytes(*h.plug, h.plug->GetCurrentPresetIdx()),
                    std::vector<unsigned char>(live.begin() + 8, live.end()))
              << where;
        };
        h.plug->postCommand(Veltrane::kCommandReplace, 3, ModuleConfig::MOD_OSCILLATOR);
        onAnotherThread([&] { h.dispatch(effSetProgram, 0, kOther); });
        h.run(64);
        asStored("carried out in the program loaded next");
        // And before a MIDI change built meanwhile is taken over at a block's start, or by a host call.
        for (const bool hostCall : {false, true}) {
          {
            const BusyStage busy(*h.plug);
            h.midi(0, 0xC0, hostCall ? kOther : kFirst);
            h.run(64);
          }
          ASSERT_TRUE(h.plug->stage->waitUntilReady());
          h.plug->postCommand(Veltrane::kCommandReplace, 4, ModuleConfig::MOD_OSCILLATOR);
          if (hostCall) {
            char text[64];
            onAnotherThread([&] { h.dispatch(effGetParamDisplay, Veltrane::kParamVolume, 0, text); });
          } else {
            h.run(64);
          }
          asStored("carried out in the program taken over");
        }
      },
      [](HostedVeltrane& h) { // a host that reads the program from inside the notices of the editor's commands,
                              // which its chunk read carries out on the audio thread, then on its main thread
        h.run(64); // then the audio stops
        int depth = 0, automations = h.automations;
        h.onAutomate = [&] {
          if (depth++ < 2) h.programChunk(); // a host gone wrong would nest for ever
          --depth;
        };
        for (const bool audio : {true, false}) { // a choice, then a move there and back
          SelectSource(*h.plug, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // set "off" by the choice
          h.plug->postCommand(Veltrane::kCommandReplace, 0, audio ? ModuleConfig::MOD_OSCWAVETABLE : ModuleConfig::MOD_OSCILLATOR);
          h.plug->postCommand(Veltrane::kCommandMove, audio ? 2 : 5, audio ? 5 : 2);
          audio ? (void)h.programChunk() : onAnotherThread([&] { h.programChunk(); });
        }
        h.onAutomate = nullptr;
        EXPECT_GT(h.automations, automations);
        EXPECT_EQ(std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}), h.plug->displayOrder);
        h.bank(); // which stores the edits made off the editor's thread
      },
      [](HostedVeltrane& h) { // a host that answers the process level and every notice with a chunk read, a read and
                              // load, or the editor closed, a choice and a move queued: from the editor's idle call,
                              // then from a block (a move there and back); its answers nest one deep
        std::function<void()> answer;
        int depth = 0, deepest = 0;
        const auto answering = [&] {
          deepest = std::max(deepest, ++depth);
          if (answer) answer();
          --depth;
        };
        h.onAutomate = answering;
        h.processLevel = [&] { return answering(), (VstIntPtr)kVstProcessLevelUnknown; };
        const std::function<void()> answers[] = {[&] { h.programChunk(); },
                                                 [&] {
                                                   const std::vector<unsigned char> chunk = h.programChunk();
                                                   h.dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), (void*)chunk.data());
                                                 },
                                                 [&] { h.dispatch(effEditClose); }};
        for (const auto& each : answers)
          for (const bool block : {false, true}) {
            h.dispatch(effEditOpen);
            SelectSource(*h.plug, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // set "off" by the choice
            h.plug->postCommand(Veltrane::kCommandReplace, 0, block ? ModuleConfig::MOD_OSCWAVETABLE : ModuleConfig::MOD_OSCILLATOR);
            h.plug->postCommand(Veltrane::kCommandMove, block ? 5 : 2, block ? 2 : 5);
            answer = each;
            block ? h.run(64) : (void)(h.dispatch(effEditIdle), h.dispatch(effEditIdle)); // the first sees blocks before
            answer = nullptr;
            EXPECT_FALSE(h.plug->commandPending) << "a command was left queued";
            EXPECT_TRUE(!block || std::is_sorted(h.plug->displayOrder.begin(), h.plug->displayOrder.end())) << "moved twice";
          }
        h.processLevel = nullptr;
        h.onAutomate = nullptr;
        EXPECT_EQ(1, deepest);
      },
      [](HostedVeltrane& h) { // a command whose notice throws out of the block (the host's memory ran out), which
                              // the host catches: the commands after it still run
        SelectSource(*h.plug, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // set "off" by the choice
        bool thrown = false;
        h.onAutomate = [&] {
          if (!std::exchange(thrown, true)) throw std::bad_alloc();
        };
        h.plug->postCommand(Veltrane::kCommandReplace, 0, ModuleConfig::MOD_OSCWAVETABLE);
        EXPECT_THROW(h.run(64), std::bad_alloc);
        h.plug->postCommand(Veltrane::kCommandMove, 2, 5);
        onAnotherThread([&] { h.programChunk(); }); // carries the queue out, building what no longer fits
        h.onAutomate = nullptr;
        EXPECT_FALSE(h.plug->commandPending) << "the commands stayed queued";
        EXPECT_EQ(2, h.plug->displayOrder[5]);
        h.bank(); // which stores the edits made off the editor's thread
      },
      [](HostedVeltrane& h) { // a move carried out at a block's start once a change to the program in place (program
                              // 0) is built
        h.plug->changePreset(kTarget);
        h.plug->editorThread = std::thread::id(); // the host's main thread runs the editor, not this audio thread
        h.run(64);
        h.midi(64, 0xC0, kTarget); // reached in the next block but one
        h.sendEvents();
        ASSERT_TRUE(h.plug->stage->waitUntilReady()); // built from the program before the move
        h.plug->postCommand(Veltrane::kCommandMove, 1, 5);
        for (int b = 0; b < 4; ++b) h.run(64);
        ASSERT_TRUE(h.plug->stage->waitUntilReady()); // built again, with the move
        for (int b = 0; b < 4; ++b) h.run(64);
        EXPECT_EQ(ModuleConfig::MOD_LADDER, h.plug->slotConfig[h.plug->displayOrder[5]].moduleID);
        h.plug->postCommand(Veltrane::kCommandMove, 5, 1); // and back, then an edit the bank stores with it
        h.run(64);
        h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.35f);
        h.bank();
      },
      [](HostedVeltrane& h) { // bank chunks kept by nine host threads at once
        std::vector<std::pair<const unsigned char*, std::vector<unsigned char>>> kept(9);
        std::vector<std::unique_ptr<HostThread>> threads;
        for (size_t t = 0; t < kept.size(); ++t) {
          threads.push_back(std::make_unique<HostThread>());
          h.dispatch(effSetProgramName, 0, 0, (void*)("Name " + std::to_string(t)).c_str());
          threads.back()->call([&] {
            void* data = nullptr;
            const VstIntPtr size = h.dispatch(effGetChunk, 0, 0, &data);
            kept[t] = {(const unsigned char*)data, std::vector<unsigned char>((unsigned char*)data, (unsigned char*)data + size)};
          });
        }
        for (const auto& [bytes, copy] : kept)
          EXPECT_TRUE(std::equal(copy.begin(), copy.end(), bytes)) << "a chunk changed before its thread asked again";
      },
      [](HostedVeltrane& h) { // the editor's commands carried out inside the host's answer to a parameter's notice
                              // (a chunk read, an idle call): all their notices reach the host, as without it
        const auto told = [](HostedVeltrane& x, int answer) { // 0: the queue carried out after the notice
          x.dispatch(effEditOpen);
          SelectSource(*x.plug, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // set "off" by the choice
          x.plug->postCommand(Veltrane::kCommandReplace, 0, ModuleConfig::MOD_OSCWAVETABLE);
          const int before = x.automations;
          x.onAutomate = [&] {
            if (const int a = std::exchange(answer, 0)) a == 1 ? (void)x.programChunk() : (void)x.dispatch(effEditIdle);
          };
          x.plug->SetParameterFromGUI(Veltrane::kParamVolume, 0.35);
          x.onAutomate = nullptr;
          x.bank(); // carries out what is still queued, and stores the edits made off the editor's thread
          return x.automations - before;
        };
        HostedVeltrane plain(44100, 64), idle(44100, 64);
        makePrograms(*plain.plug), makePrograms(*idle.plug);
        const int all = told(plain, 0);
        EXPECT_EQ(all, told(h, 1)) << "inside a chunk read";
        EXPECT_EQ(all, told(idle, 2)) << "inside an idle call";
      },
      [](HostedVeltrane& h) { // one thread for everything, no process level answered: the tables its program loads let
                              // go of are given back while it goes on
        h.processLevel = [] { return (VstIntPtr)0; };
        const std::vector<unsigned char> without = h.programChunk();
        h.plug->replaceModule(0, ModuleConfig::MOD_OSCWAVETABLE, false, false);
        ASSERT_TRUE(OscWavetable::setWavetable(h.plug, 0, std::vector<double>(64 * 2048, 0.5).data(), 64, "1 MiB"));
        const std::vector<unsigned char> chunk = h.programChunk(); // its table read anew by each load
        const size_t before = AllocatedBytes();
        for (int load = 0; load < 64; ++load) h.run(64), h.dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), (void*)chunk.data());
        EXPECT_TRUE(within30s([&] { return AllocatedBytes() < before + (16u << 20); })) << "64 MiB let go of stays taken";
        h.dispatch(effSetChunk, 1, (VstIntPtr)without.size(), (void*)without.data()); // a slot the check compares
        h.processLevel = nullptr;
      },
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    HostedVeltrane h(44100, 64);
    makePrograms(*h.plug);
    row(h);
    // Whatever came first, the live state is its program's: storing it changes nothing.
    const std::vector<unsigned char> stored = presetBytes(*h.plug, h.plug->GetCurrentPresetIdx());
    std::vector<unsigned char> live = h.programChunk();
    live.erase(live.begin(), live.begin() + 8);
    EXPECT_EQ(stored, live) << "the live state is not its slot's";
  }
}

// More events than the queue holds: the note-offs among them all stay. Then program
// changes faster than their programs build (one a block, alternating), with notes among them: no event waits
// much longer than 100 ms, builds land rather than start again, and every note ends.
TEST(HostOrder, AStormOfProgramChangesHoldsEventsBrieflyAndEndsEveryNote)
{
  constexpr int kBlock = 256;
  HostedVeltrane h(44100, kBlock);
  Veltrane& v = *h.plug;
  makePrograms(v);
  h.run(kBlock);
  // What ends a note is never lost: it takes another event's room, else acts at once.
  const auto othersOff = [&h](int count) {
    for (int i = 0; i < count; ++i) h.midi(0, 0x80, 62 + i % 60, 0);
  };
  const std::function<void()> floods[] = {
      [&] { // note-ons filling the queue, then their ends (note-offs, velocity-0 note-ons)
        for (int i = 0; i < v.midiQueue.GetSize(); ++i) h.midi(0, 0x90, 30 + i % 64, 100);
        for (int n = 30; n < 94; ++n) h.midi(1, n % 2 ? 0x80 : 0x90, n, 0);
      },
      [&] { // a program change after note-ons filling the queue (its program stops them)
        for (int i = 0; i < v.midiQueue.GetSize(); ++i) h.midi(0, 0x90, 30 + i % 64, 100);
        h.midi(1, 0xC0, kTarget);
        h.run(kBlock);
        ASSERT_TRUE(v.stage->waitUntilReady());
        h.run(kBlock);
        EXPECT_EQ(kTarget, v.GetCurrentPresetIdx()) << "the program change was lost";
      },
      [&] { // one note-off more than a queue of note-ons holds: it takes the latest one's room (a key none ends)
        for (int i = 0; i < v.midiQueue.GetSize(); ++i) h.midi(0, 0x90, i + 1 < v.midiQueue.GetSize() ? 60 : 100, 100);
        h.midi(1, 0x80, 60, 0);
      },
      [&] { // 20,000 note-offs after a queue full of note-ons: each search for room goes on where the last ended
        for (int i = 0; i < v.midiQueue.GetSize(); ++i) h.midi(0, 0x90, 30 + i % 64, 100);
        for (int i = 0; i < 20000; ++i) h.midi(1, 0x80, 30 + i % 64, 0);
      },
      [&] { // a sounding note's own note-off after 10,000 of other keys
        h.midi(0, 0x90, 60, 100);
        h.run(kBlock);
        othersOff(10000);
        h.midi(0, 0x80, 60, 0);
      },
      [&] { // a note-on first in a queue of note-offs, then its note-off
        h.midi(0, 0x90, 60, 100);
        othersOff(v.midiQueue.GetSize() - 1);
        h.midi(0, 0x80, 60, 0);
      },
      [&] { // the pedal let go, then 10,000 note-offs of other keys; and let go after a queue of them
        for (const bool last : {false, true}) {
          h.midi(0, 0xB0, 64, 127);
          h.midi(0, 0x90, 61, 100);
          h.midi(1, 0x80, 61, 0);
          h.run(kBlock);
          if (last) othersOff(v.midiQueue.GetSize());
          h.midi(0, 0xB0, 64, 0);
          if (!last) othersOff(10000);
          h.run(kBlock);
          ASSERT_FALSE(sounding(v, 61)) << "the pedal still holds it; let go after a full queue: " << last;
        }
      },
      [&] { // all notes off after note-ons queued ahead of it in the same list, one at its own offset
        h.midi(10, 0x90, 60, 100);
        h.midi(20, 0x90, 62, 100);
        h.midi(20, 0xB0, 123, 0);
      },
  };
  for (const auto& flood : floods) {
    flood();
    for (int b = 0; b < 40; ++b) h.run(kBlock);
    for (int n = 0; n < 128; ++n) ASSERT_FALSE(sounding(v, n)) << "note " << n << " of flood " << (&flood - floods);
  }
  // The storm's change in block b is request first + b + 1; a take-over marks its request done (doneCount).
  const auto programOf = [](int b) { return b % 2 ? kTarget : kOther; };
  const unsigned first = v.stage->requestCount();
  unsigned done = v.stage->doneCount();
  int samples = 0, sentAt = -1, note = 0, notes = 0, longest = 0, landed = 0;
  bool buildWaiting = false;
  for (int b = 0; b < 400; ++b) {
    h.midi(0, 0xC0, programOf(b));
    if (sentAt < 0 && b % 25 == 0 && b < 300) {
      note = 40 + b % 40;
      h.midi(1, 0x90, note, 100);
      sentAt = samples;
    }
    h.run(kBlock);
    samples += kBlock;
    if (sentAt >= 0 && sounding(v, note)) {
      longest = std::max(longest, samples - sentAt);
      h.midi(0, 0x80, note, 0);
      sentAt = -1;
      ++notes;
    }
    if (v.stage->doneCount() != done) { // nothing but a take-over puts a change in place here
      done = v.stage->doneCount();
      ++landed;
      EXPECT_EQ(programOf((int)(done - first) - 1), v.GetCurrentPresetIdx()) << "block " << b;
    } else {
      EXPECT_FALSE(buildWaiting) << "a build ready before block " << b << " did not land in it";
    }
    // Blocks far faster than real time (5.8 ms of sound in 0.2 ms), so that builds land between changes when
    // the worker gets the processor. And now and then the host is slow between two blocks, for as long as the
    // worker needs however busy the machine is: the build it left ready lands in the next block.
    buildWaiting = b % 50 == 40 && v.stage->pending();
    if (buildWaiting) {
      ASSERT_TRUE(v.stage->waitUntilReady(30000)) << "the worker built nothing in 30 s";
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  EXPECT_EQ(12, notes) << "notes that sounded";
  EXPECT_LE(longest, 44100 / 10 + 2 * kBlock) << "samples a note waited";
  EXPECT_GE(landed, 8) << "program changes that landed while they kept coming";
  for (int b = 0; b < 44100 / kBlock; ++b) h.run(kBlock);
  for (int n = 0; n < 128; ++n) EXPECT_FALSE(sounding(v, n)) << "note " << n;
}

// A host may set the block size or the rate between blocks without switching processing off and on: the
// voice count and the program's values stay.
TEST(HostOrder, RateAndBlockSizeChangesBetweenBlocksKeepTheProgram)
{
  const struct
  {
    int opcode;
    VstIntPtr value;
    float rate;
    bool same; // the value in place already: changes nothing, the sounding note goes on
    // Set from inside a block's callbacks, not between blocks: 1 its time query, 2 its first (the process level),
    // 3 its time query, the host then throwing out of the block.
    int inBlock = 0;
  } changes[] = {{effSetBlockSize, 441, 0, false},     {effSetBlockSize, 8192, 0, false},
                 {effSetSampleRate, 0, 48000, false},  {effSetSampleRate, 0, 96000, false},
                 {effSetBlockSize, 1024, 0, true},     {effSetSampleRate, 0, 44100, true},
                 {effSetSampleRate, 0, 32000, false, 1}, {effSetSampleRate, 0, 22050, false, 2},
                 {effSetSampleRate, 0, 32000, false, 3}};
  for (const auto& change : changes) {
    SCOPED_TRACE(testing::Message() << change.opcode << " " << change.value << " " << change.rate);
    // The same values set again: those the plug-in starts with, which the host's first set must still apply.
    HostedVeltrane h(44100, change.same ? 1024 : 64);
    Veltrane& v = *h.plug;
    v.replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
    h.effect->setParameter(h.effect, Veltrane::kParamVoices, 0.5f); // 16 voices
    h.effect->setParameter(h.effect, Veltrane::kParamVolume, 0.3f);
    h.midi(0, 0x90, 40, 100);
    h.run(64);
    if (!change.inBlock) {
      h.dispatch(change.opcode, 0, change.value, nullptr, change.rate);
    } else { // in the host's answer to the block's time query, then (set back) to a command's notice at its start
      bool armed = false;
      const auto ask = [&] {
        if (std::exchange(armed, false)) h.dispatch(change.opcode, 0, change.value, nullptr, change.rate);
      };
      h.onGetTime = h.onAutomate = ask;
      if (change.inBlock == 2) h.processLevel = [&] { return ask(), (VstIntPtr)kVstProcessLevelRealtime; };
      if (change.inBlock == 3) h.onGetTime = [&] { ask(), throw std::bad_alloc(); };
      SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // the note heard
      for (const bool notice : {false, true}) {
        if (notice) {
          h.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
          SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0); // set "off" by the command
          v.postCommand(Veltrane::kCommandReplace, 0, ModuleConfig::MOD_OSCWAVETABLE);
        }
        armed = true;
        if (change.inBlock == 3) {
          EXPECT_THROW(h.run(64), std::bad_alloc);
        } else {
          h.run(64);
          EXPECT_TRUE(notice || std::any_of(h.outL.begin(), h.outL.end(), [](float x) { return x != 0.0f; }))
              << "the note stopped within the block that asked";
          for (float x : h.outL) ASSERT_LT(std::fabs(x), 1.0f); // finite
        }
        EXPECT_FALSE(armed || change.rate != v.GetSampleRate()) << "not asked, or not in place after the block";
      }
      h.onGetTime = h.onAutomate = nullptr;
      h.processLevel = nullptr;
    }
    h.run(64);
    EXPECT_EQ(change.same, sounding(v, 40)) << "a reset ends the sounding note, and only a reset";
    for (int n = 0; n < 8; ++n) h.midi(0, 0x90, 48 + n, 100);
    h.run(64);
    EXPECT_EQ(16, v.activeVoices);
    EXPECT_NEAR(0.6, v.volume, 1e-6);
    int held = 0;
    for (int n = 0; n < 8; ++n) held += sounding(v, 48 + n);
    EXPECT_EQ(8, held);
  }
}

// A program put in place while notes still sound, by each way a host has: the notes played next do not depend
// on where in a control tick the change came. (New modules that a sounding voice ran before their first
// tick started from their reset state: a bit reducer quantised to one step, and a high-pass charged to a DC
// far above the signal, +14 dB in a chord.)
TEST(HostOrder, AProgramPutInPlaceWhileNotesSoundPlaysTheSameAnywhereInATick)
{
  const auto crushed = [](Veltrane& v) { // a pulse through a ladder, a bit reducer and a DC-blocking high-pass
    const ModuleConfig::ModuleID slots[] = {ModuleConfig::MOD_OSCILLATOR, ModuleConfig::MOD_LADDER,
                                            ModuleConfig::MOD_BITREDUCER, ModuleConfig::MOD_K35};
    for (int slot = 0; slot < 4; ++slot) v.replaceModule(slot, slots[slot], false, false);
    // Pulse; 24 dB low-pass; three bits over +-0.8; high-pass at the lowest cutoff.
    const std::pair<int, double> values[] = {{0, 2},  {16, 1},   {17, 0.75}, {19, 1}, {34, 0.8}, {35, 0.4},
                                             {48, K35::kHighpassType}, {49, 0}, {51, 1}};
    for (const auto& [param, value] : values) v.SetParameterFromGUI(param, v.GetParam(param)->GetNormalized(value));
    for (int slot = 1; slot < 4; ++slot) SelectSource(v, slot * 16 + (slot == 2 ? 1 : 4), false, SourceDef::AUDIO, slot - 1, 0);
    SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 3, 0);
    v.SetParameterFromGUI(Veltrane::kParamVoices, 0.5); // 16 voices
    v.ModifyCurrentPreset("Crushed");
  };
  const std::function<void(HostedVeltrane&, const std::vector<unsigned char>&)> ways[] = {
      [](HostedVeltrane& h, const auto&) { h.dispatch(effSetProgram, 0, 0); },
      [](HostedVeltrane& h, const auto& chunk) { h.dispatch(effSetChunk, 1, (VstIntPtr)chunk.size(), (void*)chunk.data()); },
      [](HostedVeltrane& h, const auto&) {
        h.midi(0, 0xC0, 0);
        h.sendEvents();
        h.plug->stage->waitUntilReady();
      },
  };
  const int chord[] = {84, 88, 91, 96};
  for (const auto& putInPlace : ways) {
    double peaks[2] = {};
    for (int phase : {0, 1}) {
      HostedVeltrane h(44100, 64);
      crushed(*h.plug);
      const std::vector<unsigned char> chunk = h.programChunk();
      for (int n : chord) h.midi(0, 0x90, n, 127);
      h.run(100);
      while (h.plug->tickCountdown != (phase ? 30 : 0)) h.run(1); // on a tick, or early in one
      putInPlace(h, chunk);
      for (int n : chord) h.midi(0, 0x90, n, 127);
      for (int b = 0; b < 100; ++b) {
        h.run(64);
        for (float x : h.outL) peaks[phase] = std::max(peaks[phase], (double)std::fabs(x));
      }
    }
    // Within what the oscillators' phases at the change give (the chunk keeps the notes sounding).
    EXPECT_NEAR(peaks[0], peaks[1], peaks[0] * 0.25) << "a change on a tick against one early in a tick";
  }
}
