// The plug-in file as a host loads it: exported entries and the identity of the record they return; instances
// opened and closed, and the file loaded and unloaded, again and again.
#include "VST24Linux.h"
#include "../support/plugin_host.h"
#include "../support/sanitized.h"
#include "../support/unload_cycle.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {
// An instance the host closes from inside the next call the plug-in makes to it from a process call.
std::atomic<AEffect*> gCloseInProcess{nullptr};
// A thread that loads while the instance closes: inside its call once it asks the host anything.
thread_local bool tLoader = false;
std::atomic<bool> gLoaderInside{false};

VstIntPtr Host(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  if (tLoader) gLoaderInside = true;
  if (opcode == audioMasterWantMidi && e && gCloseInProcess.compare_exchange_strong(e, nullptr))
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  return opcode == 1 ? 2400 : 0;
}

struct Library
{
  void* handle = dlopen(VELTRANE_SO, RTLD_NOW | RTLD_LOCAL);
  ~Library()
  {
    if (handle) dlclose(handle);
  }
};
} // namespace

TEST(PluginFile, EntriesAndIdentity)
{
  Library lib;
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto entry = (VstPluginEntryProc)dlsym(lib.handle, "VSTPluginMain");
  auto legacy = (VstPluginEntryProc)dlsym(lib.handle, "main");
  ASSERT_NE(nullptr, entry);
  ASSERT_NE(nullptr, legacy);
  // Nothing of the engine leaks out of the file.
  EXPECT_EQ(nullptr, dlsym(lib.handle, "_ZN5Synth10convert2HzEi"));

  for (VstPluginEntryProc make : {entry, legacy}) {
    AEffect* e = make(Host);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(kEffectMagic, e->magic);
    EXPECT_EQ(300, e->numParams);
    EXPECT_EQ(64, e->numPrograms);
    EXPECT_EQ(2, e->numInputs);
    EXPECT_EQ(2, e->numOutputs);
    EXPECT_EQ(0x1139, e->flags);
    EXPECT_EQ(('t' << 24) | ('w' << 16) | ('V' << 8) | 'L', e->uniqueID);
    EXPECT_EQ(10001, e->version);
    char name[64] = {};
    e->dispatcher(e, effGetEffectName, 0, 0, name, 0.0f);
    EXPECT_STREQ("Veltrane", name);
    char vendor[64] = {};
    e->dispatcher(e, effGetVendorString, 0, 0, vendor, 0.0f);
    EXPECT_STREQ("Tarnwell Music", vendor);
    EXPECT_EQ(2400, e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f));
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
}

namespace {
// Threads of this process now (the entries of /proc/self/task).
int threadCount()
{
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return (int)std::distance(begin(tasks), end(tasks));
}

// The thread count once it has fallen to `expected`, or after 30 s: a thread just joined may still be listed for
// a moment while the system takes it down (longer on a busy machine).
int threadCountSettlingAt(int expected)
{
  int n = threadCount();
  for (int wait = 0; n > expected && wait < 3000; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    n = threadCount();
  }
  return n;
}

AEffect* openInstance(VstPluginEntryProc make)
{
  AEffect* e = make(Host);
  if (!e) return nullptr;
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  e->dispatcher(e, effSetBlockSize, 0, 64, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  return e;
}

// Blocks of 64 frames with a note, and a MIDI program change in the first, whose program the instance's
// worker builds while the blocks go on.
void play(AEffect* e, int blocks, int program)
{
  HostEvents events(2);
  events.add(0, 0xC0, program, 0);
  events.add(10, 0x90, 60, 100);
  events.send(e);
  std::vector<float> l(64), r(64);
  float* io[2] = {l.data(), r.data()};
  for (int b = 0; b < blocks; ++b) e->processReplacing(e, io, io, 64);
}
} // namespace

// A host scanning plug-ins, or a session with many instances opened and closed: every instance lets go of
// every thread it started, closed with a program change still being built, with its editor open, from
// another thread than the one that made it, while another thread loads a program, or from inside a callback
// of a process call (the instance goes once the call has returned).
TEST(PluginFile, InstancesOpenedAndClosedInARowLeaveNoThreadBehind)
{
  Library lib;
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto make = (VstPluginEntryProc)dlsym(lib.handle, "VSTPluginMain");
  ASSERT_NE(nullptr, make);
#ifdef VELTRANE_SANITIZED
  constexpr int kInstances = 20; // about 60 ms each under AddressSanitizer
#else
  constexpr int kInstances = 200;
#endif
  const int before = threadCount();
  for (int i = 0; i < kInstances; ++i) {
    AEffect* e = openInstance(make);
    ASSERT_NE(nullptr, e);
    play(e, 3, i % 64);
    if (i % 10 == 1) {
      EXPECT_EQ(1, e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f));
    }
    const auto close = [e] { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); };
    if (i % 10 == 2) {
      std::thread(close).join();
    } else if (i % 10 == 4) {
      gCloseInProcess = e;
      std::vector<float> l(64), r(64);
      float* io[2] = {l.data(), r.data()};
      e->processReplacing(e, io, io, 64);
      EXPECT_EQ(nullptr, gCloseInProcess.load());
    } else if (i % 10 == 3) { // while another thread is inside a load, which runs mostly outside the mutex
      gLoaderInside = false;
      std::thread load([&] {
        tLoader = true;
        e->dispatcher(e, effSetProgram, 0, 50, nullptr, 0.0f);
      });
      while (!gLoaderInside) std::this_thread::yield();
      close();
      load.join();
    } else {
      close();
    }
  }
  EXPECT_EQ(before, threadCountSettlingAt(before));
}

// A host loading the plug-in, opening an instance and its editor, closing both and unloading the file, again
// and again (a plug-in scan, sessions reloaded): the file goes at every unload, and what the editor made
// (fonts, the font engine, image caches, locks) goes with it.
TEST(PluginFile, LoadingEditingAndUnloadingAgainAndAgainLeavesNothingBehind)
{
  size_t heap = 0;
  for (int i = 0; i < 10; ++i) {
    if (i == 3) heap = AllocatedBytes();
    ASSERT_EQ("", LoadEditUnload(VELTRANE_SO)) << "cycle " << i;
  }
  EXPECT_LT(((double)AllocatedBytes() - (double)heap) / 7, 8e3) << "heap bytes kept per cycle";
}

// A host that exits, or unloads the plug-in's file, with instances still open while their workers build
// programs: the workers stop before anything they use is destroyed or unmapped.
TEST(PluginFileDeathTest, ExitAndUnloadWithInstancesOpenWhileWorkersBuild)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const bool unload : {false, true}) {
    SCOPED_TRACE(unload ? "unload" : "exit");
    EXPECT_EXIT(
        {
          const int threads = threadCount();
          void* handle = dlopen(VELTRANE_SO, RTLD_NOW | RTLD_LOCAL);
          if (!handle) std::_Exit(2);
          auto make = (VstPluginEntryProc)dlsym(handle, "VSTPluginMain");
          static AEffect* open[2]; // reachable to the end: not a leak
          for (AEffect*& e : open) {
            e = openInstance(make);
            for (int change = 0; change < 8; ++change) play(e, 1, 50 - change % 3);
          }
          if (unload) {
            dlclose(handle);
            std::_Exit(threadCountSettlingAt(threads) == threads ? 0 : 3); // no worker left to run unmapped code
          }
          std::exit(0);
        },
        testing::ExitedWithCode(0), "");
  }
}
