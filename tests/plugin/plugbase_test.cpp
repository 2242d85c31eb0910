// The plug-in base: channel layouts and buffers, versions, identity and parameter exchange with the editor.
#include "IControl.h"
#include "IGraphicsLinux.h"
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ChannelLayout, LegalIOFollowsTheChannelString)
{
  BarePlug p(1, 1, false, "1-1 2-2");
  struct Case
  {
    int in, out;
    bool legal;
  };
  const Case cases[] = {{1, 1, true}, {2, 2, true}, {1, 2, false}, {-1, 2, true}, {3, -1, false}, {-1, -1, true}};
  for (const Case& c : cases) EXPECT_EQ(p.LegalIO(c.in, c.out), c.legal) << c.in << "," << c.out;
  EXPECT_EQ(p.NInChannels(), 2);
  EXPECT_EQ(p.NOutChannels(), 2);
}

TEST(ChannelLayout, TrailingBlankAddsAnEmptyPairAndNoStringGivesNone)
{
  BarePlug trailing(1, 1, false, "1-1 ");
  ASSERT_EQ(trailing.NChannelIO(), 2);
  EXPECT_EQ(trailing.GetChannelIO(1)->mIn, 0);
  EXPECT_EQ(trailing.GetChannelIO(1)->mOut, 0);
  BarePlug none(1, 1, false, nullptr);
  EXPECT_EQ(none.NChannelIO(), 0);
  EXPECT_FALSE(none.LegalIO(-1, -1));
  EXPECT_EQ(none.NInChannels(), 0);
}

TEST(ChannelBuffers, CopyThroughCopiesMatchingChannelsAndZeroesTheRest)
{
  double a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, o1[4], o2[4];
  {
    BarePlug p(0, 1, false, "2-1");
    double* in[2] = {a, b};
    double* out[1] = {o1};
    p.IPlugBase::ProcessDoubleReplacing(in, out, 4);
    EXPECT_EQ(std::memcmp(o1, a, sizeof a), 0);
  }
  {
    BarePlug p(0, 1, false, "1-2");
    double* in[1] = {a};
    double* out[2] = {o1, o2};
    std::fill(o2, o2 + 4, 9.0);
    p.IPlugBase::ProcessDoubleReplacing(in, out, 4);
    EXPECT_EQ(std::memcmp(o1, a, sizeof a), 0);
    for (double v : o2) EXPECT_EQ(v, 0.0);
  }
}

TEST(ChannelBuffers, UnconnectedChannelsConsumeNoHostPointer)
{
  BarePlug p(0, 1, false, "2-2");
  p.SetInputChannelConnections(0, 1, false);
  float host0[8] = {}, host1[8];
  for (int i = 0; i < 8; ++i) host1[i] = 0.5f * i;
  float* in[2] = {host0, host1};
  p.AttachInputBuffers(0, 2, in, 8);
  // Channel 1 took the first pointer: its scratch buffer now holds host0's zeros, not host1.
  float out0[8], out1[8];
  float* out[2] = {out0, out1};
  p.AttachOutputBuffers(0, 2, out);
  p.ProcessBuffers(0.0f, 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(out0[i], 0.0f); // channel 0 reads its own (zeroed) scratch buffer
    EXPECT_EQ(out1[i], 0.0f);
  }
  p.SetInputChannelConnections(0, 1, true);
  p.AttachInputBuffers(0, 2, in, 8);
  p.ProcessBuffers(0.0f, 8);
  EXPECT_EQ(out1[3], 1.5f);
  EXPECT_FALSE(p.IsInChannelConnected(5));
  EXPECT_TRUE(p.IsOutChannelConnected(1));
}

TEST(ChannelBuffers, AccumulatingAddsToTheHostOutput)
{
  BarePlug p(0, 1, false, "1-1");
  float in0[4] = {1, 2, 3, 4}, out0[4] = {10, 10, 10, 10};
  float* in[1] = {in0};
  float* out[1] = {out0};
  p.AttachInputBuffers(0, 1, in, 4);
  p.AttachOutputBuffers(0, 1, out);
  p.ProcessBuffersAccumulating(0.0f, 4);
  EXPECT_EQ(out0[0], 11.0f);
  EXPECT_EQ(out0[3], 14.0f);
}

TEST(ChannelBuffers, BlockSizeResizesAndZeroesScratchBuffers)
{
  BarePlug p(0, 1, false, "1-1");
  EXPECT_EQ(p.GetBlockSize(), 1024);
  EXPECT_EQ(p.ScratchFrames(), 1024);
  float in0[4] = {1, 2, 3, 4};
  float* in[1] = {in0};
  p.AttachInputBuffers(0, 1, in, 4);
  p.SetBlockSize(1024); // unchanged: nothing happens, the converted input stays
  p.SetInputChannelConnections(0, 1, false);
  p.SetBlockSize(16);
  EXPECT_EQ(p.ScratchFrames(), 16);
  double o[16];
  double* out[1] = {o};
  p.AttachOutputBuffers(0, 1, out);
  p.ProcessBuffers(0.0, 16); // the unconnected input reads its new scratch buffer: zeros
  for (double v : o) EXPECT_EQ(v, 0.0);
}

TEST(Versions, PackedAndDecimalForms)
{
  int major, minor, revision;
  GetVersionParts(0x20305, &major, &minor, &revision);
  EXPECT_EQ(major * 100 + minor * 10 + revision, 235);
  EXPECT_EQ(GetDecimalVersion(0x10001), 10001);
  EXPECT_EQ(GetDecimalVersion(0x20305), 20305);
  char text[40];
  GetVersionStr(0x10001, text);
  EXPECT_STREQ(text, "v1.0.1");
  BarePlug p(0, 1, false);
  p.SetHost("Some Host", 0x20305);
  p.GetHostVersionStr(text);
  EXPECT_STREQ(text, "v2.3.5");
  EXPECT_EQ(p.GetHostVersion(true), 20305);
  p.GetEffectVersionStr(text);
  EXPECT_STREQ(text, "v1.0.1");
}

TEST(Identity, ApiArchitectureAndSamplesPerBeat)
{
  Harness h;
  EXPECT_STREQ(h.plug->GetAPIString(), "VST2");
  EXPECT_STREQ(h.plug->GetArchString(), "x64");
  h.host.time.tempo = 120.0;
  h.plug->SetSampleRate(48000.0);
  EXPECT_DOUBLE_EQ(h.plug->GetSamplesPerBeat(), 24000.0);
  h.host.answerTime = false;
  EXPECT_EQ(h.plug->GetSamplesPerBeat(), 0.0);
}

namespace {

class ApiPlug : public BarePlug
{
public:
  ApiPlug() : BarePlug(0, 1, false) {}
  EAPI GetAPI() override { return (EAPI)7; }
};

// A control that only records what reaches it.
class RecordingControl : public IControl
{
public:
  RecordingControl(IPlugBase* plug, int paramIdx) : IControl(plug, IRECT(), paramIdx) {}
  bool Draw(IGraphics*) override { return true; }
};

} // namespace

TEST(Identity, UnknownApiHasNoName)
{
  ApiPlug p;
  EXPECT_STREQ(p.GetAPIString(), "");
}

TEST(EditorExchange, AttachingPushesEveryValueAndPreparesDrawing)
{
  BarePlug p(3, 1, false);
  p.GetParam(1)->Set(0.25);
  IGraphicsLinux* g = new IGraphicsLinux(&p, 100, 50);
  RecordingControl* c = new RecordingControl(&p, 1);
  g->AttachControl(c);
  p.AttachGraphics(nullptr);
  EXPECT_EQ(p.GetGUI(), nullptr);
  p.AttachGraphics(g);
  EXPECT_EQ(p.GetGUI(), g);
  EXPECT_TRUE(g->GetDrawBitmap() != nullptr);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.25);
  EXPECT_DOUBLE_EQ(c->GetDefaultValue(), 0.25);

  // A later change from the plug-in side redraws the control; an editor edit reaches the parameter.
  p.GetParam(1)->Set(0.75);
  p.RedrawParamControls();
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.75);
  c->SetValueFromUserInput(0.5);
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 0.5);
}

TEST(BusLabels, InsertedAtTheirIndex)
{
  BarePlug p(0, 1, false);
  p.SetInputBusLabel(0, "main");
  p.SetInputBusLabel(1, "side");
  p.SetInputBusLabel(2, "ignored");
  p.SetInputBusLabel(0, "main 2");
  EXPECT_STREQ(p.GetInputBusLabel(0), "main 2");
  EXPECT_STREQ(p.GetInputBusLabel(1), "side");
  EXPECT_STREQ(p.GetInputBusLabel(2), "");
  p.SetOutputBusLabel(5, "far"); // clamped to the end of the list
  EXPECT_STREQ(p.GetOutputBusLabel(0), "far");
}
