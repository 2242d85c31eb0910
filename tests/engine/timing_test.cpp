// When MIDI events and the transport take effect, whatever blocks the host cuts the stream into: the same
// notes played through a real patch come out identical for every block size and leave no voice sounding,
// and a transport start reaches a control tick even when the block that carries it holds none.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Saw oscillator -> 24 dB ladder low pass -> amplifier whose level follows an envelope started by the
// voice's gate; the amplifier's two outputs into the voice sums; 16 voices.
void buildSawPatch(Veltrane& v)
{
  enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3 };
  auto set = [&](int slot, int p, double plain) {
    IParam* param = v.GetParam(slot * Module::kNumParams + p);
    v.SetParameterFromGUI(slot * Module::kNumParams + p, param->GetNormalized(plain));
  };
  auto connect = [&](int slot, int p, SourceDef::SourceType t, int module, int index) {
    const int position = v.voiceSources.getPosition(t, t, module, index);
    ASSERT_GT(position, 0) << slot << "/" << p;
    set(slot, p, position);
  };
  v.replaceModule(kOsc, ModuleConfig::MOD_OSCILLATOR, false, false);
  v.replaceModule(kFilter, ModuleConfig::MOD_LADDER, false, false);
  v.replaceModule(kEnv, ModuleConfig::MOD_ENVELOPE, false, false);
  v.replaceModule(kAmp, ModuleConfig::MOD_AMPLIFIER, false, false);
  set(kOsc, 0, 1); // saw
  set(kFilter, 0, 1);
  connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  set(kFilter, 3, 1.0);
  set(kFilter, 1, 0.62);
  set(kFilter, 2, 0.25);
  connect(kEnv, 0, SourceDef::GATE, SourceDef::kGroupTriggers, Veltrane::kTriggerVoice);
  set(kEnv, 5, 0.45);
  set(kEnv, 8, 0.6);
  set(kEnv, 11, 0.35);
  connect(kAmp, 1, SourceDef::AUDIO, kFilter, 0);
  connect(kAmp, 11, SourceDef::MODULATION, kEnv, 0);
  set(kAmp, 10, 1.0);
  v.plugToCommon(kAmp);
  v.SetParameterFromGUI(Veltrane::kParamVoices, 0.5);     // 16 voices
  v.SetParameterFromGUI(Veltrane::kParamOutRelease, 0.4); // about a third of a second
  ASSERT_EQ(16, v.activeVoices);
}

struct Event
{
  int sample; // from the start of the stream
  int status, data1, data2;
};

struct Rendered
{
  std::vector<float> left, right;
  int activeVoices = 0; // voices still sounding at the end
};

// The events handed to the host block that holds their sample, at their offset in it.
Rendered renderInBlocks(const std::vector<Event>& events, int frames, int blockSize)
{
  HostedVeltrane h(44100, blockSize);
  buildSawPatch(*h.plug);
  Rendered r;
  size_t next = 0;
  for (int start = 0; start < frames; start += blockSize) {
    const int n = std::min(blockSize, frames - start);
    for (; next < events.size() && events[next].sample < start + n; ++next)
      h.midi(events[next].sample - start, events[next].status, events[next].data1, events[next].data2);
    h.inL.clear();
    h.inR.clear();
    h.run(n);
    r.left.insert(r.left.end(), h.outL.begin(), h.outL.end());
    r.right.insert(r.right.end(), h.outR.begin(), h.outR.end());
  }
  for (const Voice& voice : h.plug->voices) r.activeVoices += voice.active ? 1 : 0;
  return r;
}

int firstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return (int)i;
  return a.size() == b.size() ? -1 : (int)std::min(a.size(), b.size());
}
} // namespace

TEST(MidiTiming, OutputDoesNotDependOnTheHostsBlockSize)
{
  // Sorted by sample; at 44100 Hz a control tick falls every 44 samples from sample 0.
  const std::vector<Event> events = {
      {20, 0x90, 60, 100}, // a note on in one 32-sample block and its note off in the next
      {34, 0x80, 60, 0},
      {242, 0x90, 64, 90}, // two notes late in a 64-sample block, the second one's off at the next one's start
      {252, 0x90, 67, 80},
      {256, 0x80, 67, 0},
      {1000, 0x90, 72, 110}, // a quickly repeated note
      {1010, 0x80, 72, 0},
      {1030, 0x90, 72, 70},
      {2567, 0xE0, 0, 0x60}, // pitch wheel inside the first tick period of a 512-sample block
      {3000, 0xB0, 64, 127}, // sustain pedal down
      {3500, 0x80, 64, 0},   // held on by the pedal
      {4099, 0x90, 48, 127}, // inside the first period of a 4096-sample block
      {5000, 0x90, 76, 100}, // at one sample: in arrival order
      {5000, 0x80, 76, 0},
      {5000, 0x90, 79, 60},
      {6000, 0xE0, 0, 0x40},
      {8193, 0xB0, 64, 0}, // pedal up just after a block start
      {9000, 0x80, 72, 0},
      {12000, 0x80, 48, 0},
      {15000, 0x80, 79, 0},
      {15001, 0x80, 64, 0}, // already released
  };
  const int frames = 44100; // the last note off releases within a third of a second
  const Rendered reference = renderInBlocks(events, frames, 4096);

  // A real sound, which starts no earlier than the first tick at or after the first note on (sample 44);
  // notes 60 and 67 end at the tick that starts them. Note 64 sounds from its tick at 264.
  float peak = 0.0f;
  int first = -1;
  for (int i = 0; i < frames; ++i) {
    peak = std::max(peak, std::fabs(reference.left[i]));
    if (first < 0 && reference.left[i] != 0.0f) first = i;
  }
  EXPECT_GT(peak, 0.05f);
  EXPECT_GE(first, 44);
  EXPECT_LT(first, 264 + 44);
  // Silent at the end: every note has ended.
  for (int i = frames - 100; i < frames; ++i) EXPECT_EQ(0.0f, reference.left[i]) << i;
  EXPECT_EQ(0, reference.activeVoices);

  for (int block : {1, 32, 37, 64, 512}) {
    const Rendered r = renderInBlocks(events, frames, block);
    EXPECT_EQ(-1, firstDifference(reference.left, r.left)) << "left, blocks of " << block;
    EXPECT_EQ(-1, firstDifference(reference.right, r.right)) << "right, blocks of " << block;
    EXPECT_EQ(0, r.activeVoices) << "blocks of " << block;
  }
}

TEST(MidiTiming, TransportGatesReachATickInBlocksWithoutOne)
{
  // 48 samples a tick in blocks of 32: ticks at samples 0, 48, 96, ...; one block in three holds none.
  class GateProbe : public ProbeModule
  {
  public:
    GateProbe(ModuleConfig* c, Veltrane* v) : ProbeModule(c, nullptr, v, 0.0, true), v(v) {}
    void update(bool active) override
    {
      ProbeModule::update(active);
      startTicks += v->start > 0.0 ? 1 : 0;
      stopTicks += v->stop > 0.0 ? 1 : 0;
    }
    Veltrane* v;
    int startTicks = 0, stopTicks = 0;
  };
  // The transport starts, and later stops, at each phase of the three-block cycle.
  for (int startBlock = 3; startBlock < 6; ++startBlock) {
    HostedVeltrane h(48000, 32);
    GateProbe* probe = nullptr;
    InstallMasterProbe(*h.plug, 0, [&](ModuleConfig* c) { return probe = new GateProbe(c, h.plug); });
    h.playing = false;
    int tickBlocksWithStart = 0; // blocks in which a tick saw the gate
    for (int b = 0; b < 24; ++b) {
      if (b == startBlock) h.playing = true;
      if (b == startBlock + 10) h.playing = false;
      const int before = probe->startTicks;
      h.run(32);
      if (probe->startTicks > before) ++tickBlocksWithStart;
      // Once a tick has seen a gate, it falls with the next block.
      if (b > startBlock && probe->startTicks > 0 && probe->startTicks == before) {
        EXPECT_EQ(0.0, h.plug->start) << b;
      }
    }
    EXPECT_EQ(1, probe->startTicks) << "transport started in block " << startBlock;
    EXPECT_EQ(1, probe->stopTicks) << "transport stopped in block " << startBlock + 10;
    EXPECT_EQ(1, tickBlocksWithStart);
    EXPECT_EQ(0.0, h.plug->start);
    EXPECT_EQ(0.0, h.plug->stop);
  }
}
