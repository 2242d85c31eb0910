// The audio path of the plug-in: the host's process calls (effProcessEvents, processReplacing) allocate
// nothing and take no lock but the instance mutex (which the adapter holds for each host call), while notes
// play for every waveform of the start-up bank's program 0 with all 64 voices sounding, across MIDI program
// changes to every program and editor replacements by every module type (and moves of the blocks) carried
// out in a block, and while the host's thread changes programs and loads banks.
#include "../support/plugin_host.h"
#include "FlushDenormals.h"
#include "OscWavetable.h"
#include "ProgramStage.h"
#include "Veltrane.h"
#include "counting_allocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {
struct Host
{
  AEffect* e;
  Veltrane* plug;
  explicit Host(double rate)
  {
    // The generated start-up bank, as the plug-in finds it in its resources folder.
    UseGeneratedStartupBank();
    e = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new Veltrane(info); });
    plug = static_cast<Veltrane*>(static_cast<IPlugVST*>(e->object));
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, (float)rate);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->dispatcher(e, effStartProcess, 0, 0, nullptr, 0.0f);
  }
  ~Host() { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }

  // Note-ons (or offs) for the given notes at the start of the next block.
  void notes(const std::vector<int>& keys, bool on)
  {
    std::vector<VstMidiEvent> midi(keys.size());
    std::vector<char> buf(sizeof(VstEvents) + keys.size() * sizeof(VstEvent*));
    VstEvents* events = reinterpret_cast<VstEvents*>(buf.data());
    events->numEvents = (VstInt32)keys.size();
    for (size_t i = 0; i < keys.size(); ++i) {
      midi[i] = VstMidiEvent{};
      midi[i].type = kVstMidiType;
      midi[i].byteSize = sizeof(VstMidiEvent);
      midi[i].deltaFrames = (VstInt32)(i % 64);
      midi[i].midiData[0] = (char)(on ? 0x90 : 0x80);
      midi[i].midiData[1] = (char)keys[i];
      midi[i].midiData[2] = (char)100;
      events->events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, events, 0.0f);
  }

  void send(HostEvents& events) { events.send(e); }
  // From the host's main thread: on this one, which processes audio, the change would be built aside.
  void setProgram(int program)
  {
    std::thread([this, program] { e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f); }).join();
  }

  // One block of frames, its buffers made in advance.
  std::vector<double> il = std::vector<double>(512), ir = std::vector<double>(512), ol = std::vector<double>(512),
                      orr = std::vector<double>(512);
  void block(int frames = 64)
  {
    double* in[2] = {il.data(), ir.data()};
    double* out[2] = {ol.data(), orr.data()};
    e->processDoubleReplacing(e, in, out, frames);
  }
  pthread_mutex_t* mutex() { return reinterpret_cast<pthread_mutex_t*>(plug->GetMutex()); }

  // The start-up bank's 64-voice program with every voice sounding (keys 30 to 93).
  HostEvents chord = [] {
    HostEvents c;
    for (int k = 0; k < 64; ++k) c.add(0, 0x90, 30 + k, 100);
    return c;
  }();
  void playSixtyFourVoices()
  {
    setProgram(kSixtyFourVoices);
    ASSERT_EQ(64, plug->activeVoices);
    send(chord);
    for (int b = 0; b < 4; ++b) block();
  }
  static constexpr int kSixtyFourVoices = 50;

  // Blocks through processDoubleReplacing, counting what the audio path does; the peak output level.
  double render(int blocks, counting::Counts* counts)
  {
    std::vector<double> l(512), r(512), il(512, 0.0), ir(512, 0.0);
    double* in[2] = {il.data(), ir.data()};
    double* out[2] = {l.data(), r.data()};
    double peak = 0;
    counting::start(reinterpret_cast<pthread_mutex_t*>(plug->GetMutex()));
    for (int b = 0; b < blocks; ++b) {
      e->processDoubleReplacing(e, in, out, 512);
      for (int i = 0; i < 512; ++i) peak = std::max(peak, std::max(std::fabs(l[i]), std::fabs(r[i])));
    }
    *counts = counting::stop();
    return peak;
  }
};
} // namespace

TEST(AudioPath, NoAllocationAndNoOtherLockWhileNotesPlay)
{
  for (double rate : {44100.0, 48000.0}) {
    Host host(rate);
    // All 64 voices, every waveform of the oscillator: a note-on, held notes, note-offs and release tails.
    host.e->setParameter(host.e, Veltrane::kParamVoices, 1.0f);
    for (int waveform = 0; waveform < 3; ++waveform) {
      host.e->setParameter(host.e, 0, waveform / 2.0f);
      std::vector<int> keys;
      for (int k = 0; k < 64; ++k) keys.push_back(30 + k);
      counting::Counts c;
      host.render(4, &c); // the parameter changes settle outside the counted blocks
      host.notes(keys, true);
      const double peak = host.render(40, &c);
      EXPECT_GT(peak, 0.01) << "notes sound";
      EXPECT_EQ(0, c.allocations) << "rate " << rate << " waveform " << waveform;
      EXPECT_EQ(0, c.locks);
      EXPECT_EQ(0, c.lockWaits);
      host.notes(keys, false);
      host.render(40, &c);
      EXPECT_EQ(0, c.allocations);
      EXPECT_EQ(0, c.locks);
    }
  }
}

TEST(AudioPath, MidiProgramChangesToEveryProgramAllocateNothingOnTheAudioThread)
{
  Host host(48000);
  for (int program = 0; program < 64; ++program) {
    host.playSixtyFourVoices();
    HostEvents change(1);
    change.add(0, 0xC0, program, 0);
    // From the event to the block that puts the program in place (the worker builds it meanwhile).
    counting::start(host.mutex());
    host.send(change);
    host.plug->stage->waitUntilReady();
    host.block();
    host.block();
    const counting::Counts c = counting::stop();
    EXPECT_EQ(program, host.plug->GetCurrentPresetIdx());
    EXPECT_EQ(0, c.allocations) << "program " << program;
    EXPECT_EQ(0, c.locks) << "program " << program;
  }
}

// A host that floods one block with 10,000 note-ons (each key many times over, voices stolen): the events
// call and the block allocate nothing (the queue keeps the room sized for the block).
TEST(AudioPath, AFloodOfEventsInOneBlockAllocatesNothing)
{
  Host host(48000);
  HostEvents flood(10000);
  for (int i = 0; i < 10000; ++i) flood.add(i % 512, 0x90, i % 128, 1 + i % 127);
  host.block();
  counting::start(host.mutex());
  host.send(flood);
  host.block(512);
  const counting::Counts c = counting::stop();
  EXPECT_EQ(0, c.allocations);
  int sounding = 0;
  for (const Voice& v : host.plug->voices) sounding += v.active;
  EXPECT_GT(sounding, 0);
}

// Hosts play automation from the audio thread: the voice count raised from one voice to 64 there, for every
// program of the start-up bank, builds nothing; nor does a rename there, which stores the edited program, also
// after a larger table went into a wavetable program. Automation sent from there to another instance, and MIDI
// a real-time thread of the host's sends it, free no table let go of meanwhile: that is left to the reclaimer.
TEST(AudioPath, AVoiceCountRaisedAndARenameOnTheAudioThreadAllocateNothing)
{
  Host host(48000);
  const std::vector<double> waves(256 * 2048, 0.25);
  for (int program = 0; program < 64; ++program) {
    host.setProgram(program);
    host.e->setParameter(host.e, Veltrane::kParamVoices, 0.0f);
    // A table more than the start-up bank's state of the program held: stored twice, each list of runs the slot
    // keeps must have room for it.
    host.plug->postCommand(Veltrane::kCommandReplace, Veltrane::kNumSlots - 1, ModuleConfig::MOD_OSCWAVETABLE);
    host.block();
    for (int s = 0; s < Veltrane::kNumSlots; ++s) {
      if (host.plug->slotConfig[s].moduleID == ModuleConfig::MOD_OSCWAVETABLE) {
        ASSERT_TRUE(OscWavetable::setWavetable(host.plug, s, waves.data(), 256, "grown"));
      }
    }
    host.block();
    counting::start(host.mutex());
    host.e->setParameter(host.e, Veltrane::kParamVoices, 1.0f);
    host.block();
    host.e->dispatcher(host.e, effSetProgramName, 0, 0, (void*)"Renamed", 0.0f);
    host.e->dispatcher(host.e, effSetProgramName, 0, 0, (void*)"Renamed again", 0.0f);
    const counting::Counts c = counting::stop();
    EXPECT_EQ(64, host.plug->activeVoices);
    EXPECT_EQ(0, c.allocations) << "program " << program;
  }
  Host other(48000);
  std::thread([&] { other.block(); }).join(); // played on a thread of its own
  const auto largeFrees = [](const std::function<void()>& call) {
    SharedBytes::Make(1 << 20); // a table let go of, listed
    counting::start(nullptr);
    call();
    return counting::stop().largeFrees;
  };
  EXPECT_EQ(0, largeFrees([&] { other.e->setParameter(other.e, Veltrane::kParamVolume, 0.5f); }));
  long onNewThread = -1;
  std::thread([&] { onNewThread = largeFrees([&] { other.notes({60}, true); }); }).join();
  EXPECT_EQ(0, onNewThread);
}

TEST(AudioPath, ModuleReplacementsCarriedOutInABlockAllocateNothingOnTheAudioThread)
{
  Host host(48000);
  host.playSixtyFourVoices();
  Veltrane& v = *host.plug;
  v.editorThread = std::thread::id(); // the host's main thread, not this audio thread, runs the editor
  // Every type in a voice slot and in a master slot, every type's move between the two, and a move of the
  // blocks beside every type (the wavetable oscillator holding 256 waves, 4 MB of the program).
  auto carriedOut = [&](int code, int slot, int arg, const char* what, int type) {
    v.postCommand(code, slot, arg); // the editor thread builds the modules
    counting::start(host.mutex());
    host.block();
    const counting::Counts c = counting::stop();
    EXPECT_EQ(v.commandHead.load(), v.commandTail.load()) << what << " " << type;
    EXPECT_EQ(0, c.allocations) << what << " " << type;
    EXPECT_EQ(0, c.locks) << what << " " << type;
  };
  constexpr int kVoiceSlot = 9, kMasterSlot = 15;
  ASSERT_FALSE(v.slotConfig[kVoiceSlot].master);
  ASSERT_TRUE(v.slotConfig[kMasterSlot].master);
  for (int type = 0; type < ModuleConfig::kNumModuleIDs; ++type) {
    carriedOut(Veltrane::kCommandReplace, kVoiceSlot, type, "voice slot", type);
    EXPECT_EQ(type, v.slotConfig[kVoiceSlot].moduleID);
    if (type == ModuleConfig::MOD_OSCWAVETABLE) {
      ASSERT_TRUE(OscWavetable::setWavetable(&v, kVoiceSlot, std::vector<double>(256 * 2048, 0.5).data(), 256, "256"));
    }
    carriedOut(Veltrane::kCommandMove, 0, Veltrane::kNumSlots - 1, "move", type);
    carriedOut(Veltrane::kCommandReplace, kMasterSlot, type, "master slot", type);
    carriedOut(Veltrane::kCommandToggleMaster, kVoiceSlot, 1, "to the master section", type);
    carriedOut(Veltrane::kCommandToggleMaster, kVoiceSlot, 0, "back to the voices", type);
    EXPECT_FALSE(v.slotConfig[kVoiceSlot].master);
  }

  // A replacement that meets another tuning: its modules are built again off the audio thread.
  v.postCommand(Veltrane::kCommandReplace, kVoiceSlot, ModuleConfig::MOD_REVERB);
  for (int n = 0; n < Synth::kNumNotes; ++n) v.tuningTable[n] = n * 128 + 64;
  v.SetParameterFromGUI(Veltrane::kParamCustomTuning, 1.0);
  counting::start(host.mutex());
  host.block(); // the modules do not fit: the command waits
  counting::Counts c = counting::stop();
  v.serviceCommands(); // the worker's build
  counting::start(host.mutex());
  host.block();
  const counting::Counts after = counting::stop();
  EXPECT_EQ(v.commandHead.load(), v.commandTail.load());
  EXPECT_EQ(ModuleConfig::MOD_REVERB, v.slotConfig[kVoiceSlot].moduleID);
  EXPECT_EQ(0, c.allocations + after.allocations);
  EXPECT_EQ(0, c.locks + after.locks);
}

TEST(AudioPath, ProgramChangesAndBankLoadsOnTheHostThreadLeaveTheAudioThreadAllocationFree)
{
  Host host(48000);
  host.playSixtyFourVoices();
  void* data = nullptr;
  const VstIntPtr size = host.e->dispatcher(host.e, effGetChunk, 0, 0, &data, 0.0f);
  const std::vector<unsigned char> bank((unsigned char*)data, (unsigned char*)data + size);

  std::atomic<bool> loading{true};
  std::atomic<long> blocks{0};
  counting::Counts audio;
  std::thread audioThread([&] {
    // Paced as a host paces it: a block of 64 samples every 1.33 ms.
    const auto period = std::chrono::microseconds(1333);
    auto due = std::chrono::steady_clock::now();
    counting::start(host.mutex());
    while (loading.load()) {
      if (blocks.load() % 16 == 0) host.send(host.chord); // loads stop the notes: play them again
      host.block();
      blocks.fetch_add(1);
      due += period;
      std::this_thread::sleep_until(due);
    }
    audio = counting::stop();
  });
  const auto waitForBlocks = [&](long n) { // however busy the machine, the loads fall between blocks
    while (blocks.load() < n) std::this_thread::yield();
  };
  waitForBlocks(1);
  for (int program : {8, 9, 27, 34, 0, Host::kSixtyFourVoices})
    host.setProgram(program);
  for (int k = 0; k < 2; ++k)
    EXPECT_EQ(1, host.e->dispatcher(host.e, effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data(), 0.0f));
  waitForBlocks(blocks.load() + 1);
  loading.store(false);
  audioThread.join();
  EXPECT_EQ(0, audio.allocations);
  EXPECT_EQ(0, audio.locks);
}

TEST(AudioPath, TheCounterSeesAnAllocation)
{
  counting::Counts c;
  counting::start(nullptr);
  std::string* s = new std::string(100, 'x');
  c = counting::stop();
  delete s;
  EXPECT_GE(c.allocations, 1);
}

TEST(AudioPath, TheHostsFloatingPointModeSurvivesAProcessCall)
{
  Host host(48000);
  host.notes({60, 64, 67}, true);
  const auto hostMode = ScopedFlushDenormals::current();
  counting::Counts c;
  host.render(8, &c);
  EXPECT_EQ(hostMode, ScopedFlushDenormals::current());
#if defined(__SSE__) || defined(__x86_64__)
  // A host running with its own rounding mode and without flushing gets exactly that back.
  const unsigned custom = (hostMode & ~(ScopedFlushDenormals::kFlushToZero | ScopedFlushDenormals::kDenormalsAreZero)) |
                          0x6000u; // round toward zero
  _mm_setcsr(custom);
  host.render(8, &c);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(hostMode);
  EXPECT_EQ(custom, after);
#endif
}
