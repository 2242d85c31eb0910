// A hostile host: long random series of dispatcher requests (any opcode, index and value, null pointers,
// damaged chunks and event lists), parameter calls and process calls of any length. The plug-in must answer
// all of them without crashing, reading or writing outside what it was given, or leaking.
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

class HostileHost
{
public:
  explicit HostileHost(unsigned seed) : rng(seed), buf(kBufBytes) {}

  void Run(Harness& h, int calls)
  {
    for (int i = 0; i < calls; ++i) {
      int what = Pick(100);
      if (what < 75)
        Dispatch(h);
      else if (what < 85)
        Parameter(h);
      else
        Process(h);
    }
  }

private:
  static constexpr size_t kBufBytes = 16384;
  std::mt19937 rng;
  std::vector<unsigned char> buf;

  int Pick(int n) { return (int)(rng() % (unsigned)n); }

  int AnyIndex()
  {
    const int choices[] = {0, 1, 2, 3, 4, 7, -1, INT_MIN, INT_MAX, 1 << 20, (int)rng()};
    return choices[Pick(sizeof choices / sizeof choices[0])];
  }

  VstIntPtr AnyValue()
  {
    const VstIntPtr choices[] = {
        0, 1, 2, -1, Pick(5000), INT_MAX, (VstIntPtr)1 << 40, -((VstIntPtr)1 << 50), (VstIntPtr)kBufBytes};
    return choices[Pick(sizeof choices / sizeof choices[0])];
  }

  float AnyFloat()
  {
    const float choices[] = {
        0.0f, 0.5f, 1.0f, -1.0f, 2.0f, NAN, INFINITY, -INFINITY, 44100.0f, 1e30f, (float)rng() / (float)UINT_MAX};
    return choices[Pick(sizeof choices / sizeof choices[0])];
  }

  void FillRandom(size_t n)
  {
    for (size_t i = 0; i < n; ++i) buf[i] = (unsigned char)rng();
    buf[kBufBytes - 1] = 0; // host strings end somewhere
  }

  // An event list in buf whose entries and SysEx dumps all point into buf.
  void FillEvents()
  {
    std::memset(buf.data(), 0, kBufBytes);
    const int n = Pick(9) - (Pick(10) == 0 ? 5 : 0); // now and then a negative count
    auto* list = reinterpret_cast<VstEvents*>(buf.data());
    list->numEvents = n;
    VstEvent** entries = list->events;
    unsigned char* events = buf.data() + 256;
    for (int i = 0; i < std::max(0, n); ++i) {
      if (Pick(8) == 0) {
        entries[i] = nullptr;
        continue;
      }
      auto* e = reinterpret_cast<VstMidiSysexEvent*>(events + 64 * i);
      const int types[] = {kVstMidiType, kVstSysExType, 3, 0, -7};
      e->type = types[Pick(5)];
      e->byteSize = (VstInt32)rng();
      e->deltaFrames = (VstInt32)rng() % 5000 - 100;
      if (e->type == kVstSysExType) {
        e->dumpBytes = Pick(4) == 0 ? -Pick(100) : Pick(4096);
        e->sysexDump = Pick(6) == 0 ? nullptr : reinterpret_cast<char*>(buf.data() + 8192);
      } else {
        auto* m = reinterpret_cast<VstMidiEvent*>(e);
        for (char& d : m->midiData) d = (char)rng();
      }
      entries[i] = reinterpret_cast<VstEvent*>(e);
    }
  }

  void Dispatch(Harness& h)
  {
    int op;
    int r = Pick(100);
    if (r < 80)
      op = Pick(80);
    else if (r < 90)
      op = 80 + Pick(200);
    else
      op = AnyIndex();
    if (op == effClose) op = effIdle;
    int index = AnyIndex();
    VstIntPtr value = AnyValue();
    float opt = AnyFloat();
    void* ptr = Pick(4) == 0 ? nullptr : buf.data();

    switch (op) {
    case effProcessEvents:
      FillEvents();
      break;
    case effSetChunk:
      value = Pick(10) == 0 ? AnyValue() : Pick((int)kBufBytes);
      if (value < 0 || value > (VstIntPtr)kBufBytes) value = Pick(64); // a host passes its own buffer's size
      FillRandom(kBufBytes);
      if (Pick(2)) { // a plausible framework header in front of random state
        const unsigned char header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
        std::memcpy(buf.data(), header, 8);
      }
      break;
    case effSetSpeakerArrangement:
    case effGetSpeakerArrangement: {
      std::memset(buf.data(), 0, kBufBytes);
      auto* in = reinterpret_cast<VstSpeakerArrangement*>(buf.data() + 4096);
      in->numChannels = (VstInt32)rng() % 20 - 5;
      auto* out = reinterpret_cast<VstSpeakerArrangement*>(buf.data() + 8192);
      out->numChannels = (VstInt32)rng() % 20 - 5;
      value = Pick(3) == 0 ? 0 : reinterpret_cast<VstIntPtr>(in);
      ptr = Pick(3) == 0 ? nullptr : out;
      break;
    }
    case effSetBlockSize:
      if (value > 65536) value = Pick(8192); // large blocks are legal, but slow to test in bulk
      break;
    default:
      FillRandom(512);
      break;
    }
    h.Dispatch(op, index, value, ptr, opt);
  }

  void Parameter(Harness& h)
  {
    int index = Pick(3) == 0 ? AnyIndex() : Pick(TestPlug::kNumParams);
    if (Pick(2))
      h.effect->setParameter(h.effect, index, AnyFloat());
    else
      (void)h.effect->getParameter(h.effect, index);
  }

  void Process(Harness& h)
  {
    const int frames = Pick(10) == 0 ? -Pick(10) : Pick(3000);
    static float f[4][3000];
    static double d[4][3000];
    float* fin[2] = {f[0], f[1]};
    float* fout[2] = {f[2], f[3]};
    double* din[2] = {d[0], d[1]};
    double* dout[2] = {d[2], d[3]};
    if (Pick(10) == 0) fin[1] = nullptr;
    switch (Pick(3)) {
    case 0:
      h.effect->processReplacing(h.effect, fin, fout, frames);
      break;
    case 1:
      h.effect->processDoubleReplacing(h.effect, din, dout, frames);
      break;
    default:
      h.effect->process(h.effect, fin, fout, frames);
      break;
    }
  }
};

} // namespace

TEST(HostileHost, RandomCallSeriesDoNotCrash)
{
  for (unsigned seed : {1u, 2u, 3u, 20261207u}) {
    Harness h;
    HostileHost host(seed);
    host.Run(h, 4000);
    // Still a working plug-in afterwards.
    EXPECT_EQ(h.Dispatch(effGetVstVersion), 2400) << seed;
    EXPECT_EQ(h.effect->numParams, TestPlug::kNumParams) << seed;
    char name[64];
    EXPECT_EQ(h.Dispatch(effGetEffectName, 0, 0, name), 1);
    EXPECT_STREQ(name, "TestPlug");
  }
}

TEST(HostileHost, ChunksFromOneInstanceAlwaysLoadIntoAnother)
{
  // Whatever a random series did to the state, what the plug-in hands out it reads back.
  for (unsigned seed : {5u, 6u, 7u}) {
    Harness a;
    HostileHost host(seed);
    host.Run(a, 2000);
    for (int index : {0, 1}) {
      void* data = nullptr;
      VstIntPtr size = a.Dispatch(effGetChunk, index, 0, &data);
      ASSERT_GT(size, 0);
      std::vector<unsigned char> copy(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
      Harness b;
      EXPECT_EQ(b.Dispatch(effSetChunk, index, size, copy.data()), 1) << seed << " " << index;
      if (index == 0) b.Dispatch(effSetProgram, 0, a.Dispatch(effGetProgram)); // a bank restores program 0
      for (int p = 0; p < TestPlug::kNumParams; ++p)
        EXPECT_EQ(a.effect->getParameter(a.effect, p), b.effect->getParameter(b.effect, p)) << seed;
    }
  }
}
