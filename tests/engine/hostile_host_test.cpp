// A careless host's MIDI through the plug-in's event call: data bytes with the high bit set, and events far
// beyond the block. The controls the events drive stay in their ranges and the queue holds only what a
// block can play.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
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

// Hosts may hand the same buffers as input and output (processing in place). With the master outputs on the
// host's input, the output is what separate buffers give: the input at the volume.
TEST(HostileProcess, BuffersSharedByInputAndOutput)
{
  const int n = 300;
  std::vector<float> in(n);
  for (int i = 0; i < n; ++i) in[i] = 0.5f * std::sin(0.05f * i);
  for (bool useDouble : {false, true}) {
    std::vector<float> heard[2]; // separate buffers, shared ones
    for (int shared = 0; shared < 2; ++shared) {
      HostedVeltrane h;
      SelectSource(*h.plug, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3);
      SelectSource(*h.plug, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 4);
      std::vector<double> l(in.begin(), in.end()), r(l), outL(n), outR(n);
      std::vector<float> fl(in), fr(in), foutL(n), foutR(n);
      double* dIn[2] = {l.data(), r.data()};
      double* dOut[2] = {outL.data(), outR.data()};
      float* fIn[2] = {fl.data(), fr.data()};
      float* fOut[2] = {foutL.data(), foutR.data()};
      if (useDouble) {
        h.effect->processDoubleReplacing(h.effect, dIn, shared ? dIn : dOut, n);
        heard[shared].assign((shared ? l : outL).begin(), (shared ? l : outL).end());
      } else {
        h.effect->processReplacing(h.effect, fIn, shared ? fIn : fOut, n);
        heard[shared] = shared ? fl : foutL;
      }
    }
    ASSERT_GT(*std::max_element(heard[0].begin(), heard[0].end()), 0.1f);
    EXPECT_EQ(heard[0], heard[1]) << (useDouble ? "double" : "float");
  }
}

// A replacing call whose input channels are missing (a host that gives an instrument none) still replaces
// every output sample: the host must not hear what its buffers held before.
TEST(HostileProcess, MissingInputChannelsStillReplaceTheOutput)
{
  for (int missing : {0, 1, 2}) // the whole list, the left channel, the right one
    for (bool useDouble : {false, true}) {
      HostedVeltrane h;
      const int n = 128;
      std::vector<float> fl(n), fr(n), fo[2] = {std::vector<float>(n, 99.0f), std::vector<float>(n, 99.0f)};
      std::vector<double> dl(n), dr(n), dout[2] = {std::vector<double>(n, 99.0), std::vector<double>(n, 99.0)};
      float* fin[2] = {missing == 1 ? nullptr : fl.data(), missing == 2 ? nullptr : fr.data()};
      double* din[2] = {missing == 1 ? nullptr : dl.data(), missing == 2 ? nullptr : dr.data()};
      float* fout[2] = {fo[0].data(), fo[1].data()};
      double* dOut[2] = {dout[0].data(), dout[1].data()};
      if (useDouble)
        h.effect->processDoubleReplacing(h.effect, missing ? din : nullptr, dOut, n);
      else
        h.effect->processReplacing(h.effect, missing ? fin : nullptr, fout, n);
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < n; ++i) {
          const double x = useDouble ? dout[c][i] : fo[c][i];
          ASSERT_NE(99.0, x) << "missing " << missing << (useDouble ? " double" : " float") << " channel " << c;
        }
    }
}
