// The audio path of the plug-in while notes play: the host's process calls allocate nothing and take no
// lock but the instance mutex (which the adapter holds for each host call), for every waveform of the
// start-up bank's program 0 and with all 64 voices sounding.
#include "../support/plugin_host.h"
#include "FlushDenormals.h"
#include "Veltrane.h"
#include "counting_allocator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
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
