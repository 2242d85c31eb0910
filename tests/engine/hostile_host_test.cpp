// A careless host's MIDI through the plug-in's event call: data bytes with the high bit set, and events far
// beyond the block. The controls the events drive stay in their ranges and the queue holds only what a
// block can play.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <type_traits>
#include <vector>

namespace {
struct Bank
{
  Bank() { UseGeneratedStartupBank(); }
} bank;
} // namespace

// MIDI data bytes are 7 bits; a host that passes 0xFF where 0x7F belongs must not drive a control beyond its
// range (a pitch bend of +3, a velocity or controller of 2).
TEST(HostileMidi, DataBytesWithTheHighBitSetStayInRange)
{
  const struct
  {
    int status, data1, data2;
  } cases[] = {
      {0x90, 60, 0xFF},   // note on, velocity
      {0x90, 0xBC, 100},  // note on, key 188 (60 with the high bit)
      {0xE0, 0xFF, 0xFF}, // pitch bend
      {0xE0, 0x80, 0x80}, // pitch bend, 0 with the high bits
      {0xB0, 1, 0xFF},    // mod wheel
      {0xD0, 0xFF, 0},    // channel aftertouch
      {0xA0, 60, 0xFF},   // poly aftertouch
  };
  for (const auto& c : cases) {
    HostedVeltrane h;
    h.midi(0, 0x90, 60, 100);
    h.midi(0, c.status, c.data1, c.data2);
    h.run(512);
    const Veltrane& v = *h.plug;
    const auto at = [&] { return ::testing::Message() << std::hex << c.status << " " << c.data1 << " " << c.data2; };
    EXPECT_TRUE(v.pBend >= -1.0 && v.pBend <= 1.0) << at() << ": bend " << v.pBend;
    EXPECT_LE(v.masterVelo, 1.0) << at();
    EXPECT_LE(v.mwPos, 1.0) << at();
    EXPECT_LE(v.chAft, 1.0) << at();
    for (const Voice& voice : v.voices) EXPECT_LE(voice.polyA, 1.0) << at();
    // Key 188 is key 60 again: one voice sounds.
    int sounding = 0;
    for (const Voice& voice : v.voices) sounding += voice.active;
    EXPECT_EQ(1, sounding) << at();
  }
}

// Events timed far beyond the block, block after block: the queue keeps the room sized for the host's block
// (it would otherwise grow by a page every few blocks, on the audio thread, up to 2 GB), and once the host's
// offsets are right again its notes play.
TEST(HostileMidi, EventsFarBeyondTheBlockLeaveTheQueueWithinASecond)
{
  HostedVeltrane h(44100.0, 512);
  const int room = h.plug->midiQueue.GetSize();
  for (int b = 0; b < 100; ++b) {
    for (int i = 0; i < 50; ++i) h.midi(i % 2 ? INT_MAX : 1 << 30, 0x90, 60 + i % 12, 100);
    h.run(512);
  }
  EXPECT_EQ(room, h.plug->midiQueue.GetSize());
  const double last = h.position;
  while (h.position < last + 44100.0 + 512) h.run(512); // a second after the last of them, the queue is empty
  EXPECT_EQ(0, h.plug->midiQueue.Pending());
  h.dispatch(effMainsChanged, 0, 0); // the notes stop
  h.dispatch(effMainsChanged, 0, 1);
  h.midi(0, 0x90, 72, 100);
  h.run(512);
  EXPECT_TRUE(h.plug->voices[0].active);
}

namespace {
enum class Buffers { kSeparate, kShared, kNoInputList, kNoLeftInput };

// One block of the host's input (a sine) with the master outputs on that input, the buffers arranged as a host
// may arrange them; the left output as the host finds it afterwards (its buffers held 99 before).
template <class T> std::vector<double> renderWith(Buffers b)
{
  HostedVeltrane h;
  SelectSource(*h.plug, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3);
  SelectSource(*h.plug, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 4);
  const int n = 300;
  std::vector<T> l(n), r(n), outL(n, (T)99), outR(n, (T)99);
  for (int i = 0; i < n; ++i) l[i] = r[i] = (T)(0.5 * std::sin(0.05 * i));
  T* in[2] = {b == Buffers::kNoLeftInput ? nullptr : l.data(), r.data()};
  T* out[2] = {outL.data(), outR.data()};
  T** inputs = b == Buffers::kNoInputList ? nullptr : in;
  T** outputs = b == Buffers::kShared ? in : out;
  if constexpr (std::is_same_v<T, float>)
    h.effect->processReplacing(h.effect, inputs, outputs, n);
  else
    h.effect->processDoubleReplacing(h.effect, inputs, outputs, n);
  return std::vector<double>(outputs[0], outputs[0] + n);
}

template <class T> void expectEveryArrangementReplacesTheOutput(const char* type)
{
  // In place (the input buffers as the outputs), the output is what separate buffers give.
  const std::vector<double> separate = renderWith<T>(Buffers::kSeparate);
  ASSERT_GT(*std::max_element(separate.begin(), separate.end()), 0.1) << type;
  EXPECT_EQ(separate, renderWith<T>(Buffers::kShared)) << type;
  // Input channels missing (a host that gives an instrument none): the host must not hear what its buffers
  // held before.
  for (Buffers b : {Buffers::kNoInputList, Buffers::kNoLeftInput})
    for (double x : renderWith<T>(b)) ASSERT_NE(99.0, x) << type << " " << (int)b;
}
} // namespace

TEST(HostileProcess, EveryBufferArrangementReplacesTheOutput)
{
  expectEveryArrangementReplacesTheOutput<float>("float");
  expectEveryArrangementReplacesTheOutput<double>("double");
}
