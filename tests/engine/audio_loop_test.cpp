// The audio and control loop as a host drives it: silence before the first reset, the 1 ms tick grid across
// blocks, when queued MIDI takes effect, controllers, transport gates, the mute after an editor command and
// the master output (voice sums by default, the host's input when selected).
#include "engine_harness.h"

#include "IControl.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
// The first sample of a rendered stretch that is not 0, -1 when all are.
int firstSound(const std::vector<float>& x, int from = 0)
{
  for (int i = from; i < (int)x.size(); ++i)
    if (x[i] != 0.0f) return i;
  return -1;
}

// Samples at which a master tick counter rises (each one is a control tick).
std::vector<int> tickSamples(const std::vector<float>& counter)
{
  std::vector<int> at;
  float last = 0.0f;
  for (int i = 0; i < (int)counter.size(); ++i) {
    if (counter[i] != last) at.push_back(i);
    last = counter[i];
  }
  return at;
}
} // namespace

TEST(AudioLoop, SilentBeforeTheFirstReset)
{
  auto v = MakeVeltrane(); // never reset: no control period yet
  ASSERT_EQ(0, v->controlPeriod);
  v->voiceL = 1.0; // whatever the master outputs would read
  std::vector<double> l(64, 7.0), r(64, 7.0), in(64, 0.5);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {l.data(), r.data()};
  v->ProcessDoubleReplacing(ins, outs, 64);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(0.0, l[i]);
    EXPECT_EQ(0.0, r[i]);
  }
  v->postCommand(Veltrane::kCommandReplace, 3, ModuleConfig::MOD_LFO);
  v->ProcessDoubleReplacing(ins, outs, 64);
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v->slotConfig[3].moduleID); // nothing runs without a tick period
  v->ProcessDoubleReplacing(ins, nullptr, 64);                   // no outputs: nothing at all
}

TEST(AudioLoop, TicksStayOneMillisecondApartAcrossBlocks)
{
  struct Case
  {
    double rate;
    int block;
  };
  for (const Case& c : {Case{44100, 32}, Case{44100, 64}, Case{48000, 7}, Case{96000, 1000}, Case{44100, 44}}) {
    HostedVeltrane h(c.rate, c.block);
    InstallMasterProbe(*h.plug, 5);
    const int period = (int)c.rate / 1000;
    ASSERT_EQ(period, h.plug->controlPeriod);
    // The counter output lags its tick by nothing: the first tick is the block's first sample.
    const std::vector<float> out = h.render(10 * period + 3, c.block);
    const std::vector<int> at = tickSamples(out);
    ASSERT_GE(at.size(), 10u) << c.rate << "/" << c.block;
    for (size_t k = 0; k < at.size(); ++k)
      EXPECT_EQ((int)k * period, at[k]) << c.rate << "/" << c.block << " tick " << k;
  }
}

TEST(AudioLoop, TickPositionsInBlocksOf32)
{
  // 44 samples a tick: ticks at sample 0 of the first block, 12 of the second, 24 of the third.
  HostedVeltrane h(44100, 32);
  InstallMasterProbe(*h.plug, 0);
  const int expected[] = {0, 12, 24};
  for (int b = 0; b < 3; ++b) {
    h.run(32);
    const std::vector<int> at = tickSamples(h.outL);
    // The counter holds its value across blocks, so the first change in a block is its tick.
    int first = -1;
    for (int i = 0; i < 32; ++i) {
      const float before = i == 0 ? 0.5f * b : h.outL[i - 1]; // volume 0.5 times the tick count
      if (h.outL[i] != before) {
        first = i;
        break;
      }
    }
    EXPECT_EQ(expected[b], first) << "block " << b;
  }
}

TEST(AudioLoop, NotesStartAtTheirTick)
{
  struct Case
  {
    int offset; // of the note on within the block
    int sample; // where the voice starts sounding
  };
  // A note plays at the first tick (every 44 samples from the block's first) at or after its own sample,
  // never before it.
  const Case cases[] = {{0, 0}, {1, 44}, {10, 44}, {44, 44}, {45, 88}, {100, 132}, {130, 132}, {200, 220}, {300, 308}};
  for (const Case& c : cases) {
    HostedVeltrane h(44100, 512);
    InstallVoiceProbe(*h.plug, 2);
    h.midi(c.offset, 0x90, 60, 100);
    h.run(512);
    EXPECT_EQ(c.sample, firstSound(h.outL)) << "offset " << c.offset;
  }
}

TEST(AudioLoop, QueuedNotesWaitAcrossBlocks)
{
  HostedVeltrane h(44100, 64);
  InstallVoiceProbe(*h.plug, 2);
  h.midi(600, 0x90, 60, 100); // far beyond this block
  std::vector<float> all;
  for (int b = 0; b < 12; ++b) {
    h.run(64);
    all.insert(all.end(), h.outL.begin(), h.outL.end());
  }
  // The first tick at or after sample 600: 14 * 44 = 616, in the tenth block.
  EXPECT_EQ(14 * 44, firstSound(all));
}

TEST(AudioLoop, FloatAndDoubleRenderAlike)
{
  std::vector<float> results[2];
  for (int d = 0; d < 2; ++d) {
    HostedVeltrane h(48000, 100);
    InstallVoiceProbe(*h.plug, 1, 0.5);
    h.midi(0, 0x90, 64, 90);
    h.run(100, d == 1);
    h.run(100, d == 1);
    results[d] = h.outL;
  }
  ASSERT_EQ(results[0].size(), results[1].size());
  for (size_t i = 0; i < results[0].size(); ++i) EXPECT_FLOAT_EQ(results[0][i], results[1][i]);
  EXPECT_NE(0.0f, results[0][99]);
}

TEST(AudioLoop, MasterOutputIsVolumeTimesTheSelectedSource)
{
  HostedVeltrane h(44100, 128);
  Veltrane& v = *h.plug;
  // Defaults: the voice sums; with no voice module they are silent whatever comes in.
  EXPECT_EQ(&v.voiceL, v.masterOutputLeft);
  EXPECT_EQ(&v.voiceR, v.masterOutputRight);
  h.input = 0.25f;
  h.run(128);
  for (float x : h.outL) EXPECT_EQ(0.0f, x);

  // The external input passes through, scaled by the volume (0.5 by default).
  SelectSource(v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3);
  SelectSource(v, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 4);
  h.inL.assign(128, 0.0f);
  h.inR.assign(128, 0.0f);
  for (int i = 0; i < 128; ++i) {
    h.inL[i] = (float)std::sin(i * 0.1);
    h.inR[i] = (float)(i / 128.0);
  }
  h.run(128);
  for (int i = 0; i < 128; ++i) {
    EXPECT_FLOAT_EQ(0.5f * h.inL[i], h.outL[i]) << i;
    EXPECT_FLOAT_EQ(0.5f * h.inR[i], h.outR[i]) << i;
  }
  v.SetParameterFromGUI(Veltrane::kParamVolume, 1.0); // 2.0
  h.run(128);
  for (int i = 0; i < 128; ++i) EXPECT_FLOAT_EQ(2.0f * h.inL[i], h.outL[i]);
  // "off" reads the constant zero.
  v.SetParameterFromGUI(Veltrane::kParamMasterOutLeft, 0.0);
  h.run(128);
  for (float x : h.outL) EXPECT_EQ(0.0f, x);
}

TEST(AudioLoop, ReplaceCommandMutesUntilTheNextTick)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  SelectSource(v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3);
  h.input = 1.0f;
  h.run(64); // ticks at 0 and 44; the next is due at 88
  h.run(4);
  ASSERT_EQ(20, v.tickCountdown);
  v.postCommand(Veltrane::kCommandReplace, 7, ModuleConfig::MOD_LFO);
  h.run(64); // no tick at its first sample: silent throughout, although a tick was due at 20
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[7].moduleID);
  EXPECT_EQ(-1, firstSound(h.outL));
  h.run(64); // begins with a tick: plays again
  EXPECT_EQ(0, firstSound(h.outL));

  // A command when a tick falls on the block's first sample does not mute at all.
  while (v.tickCountdown != 0) h.run(v.tickCountdown);
  v.postCommand(Veltrane::kCommandReplace, 7, ModuleConfig::MOD_EMPTY);
  h.run(64);
  EXPECT_EQ(0, firstSound(h.outL));
}

TEST(AudioLoop, StructuralCommandsMuteTheirBlock)
{
  struct Case
  {
    int code, arg1, arg2;
    bool mutes;
  };
  // Replace, move and toggle master silence the block; removing an empty block and plugging to the
  // master output do not.
  const Case cases[] = {{1, 4, ModuleConfig::MOD_MIXER, true},
                        {2, 0, 5, true},
                        {4, 4, 1, true},
                        {3, 0, 0, false},
                        {5, 0, 0, false},
                        {9, 0, 0, false}};
  for (const Case& c : cases) {
    HostedVeltrane h(44100, 30);
    Veltrane& v = *h.plug;
    SelectSource(v, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, 3);
    h.input = 1.0f;
    h.run(30); // tick at 0; 14 samples to the next
    ASSERT_EQ(14, v.tickCountdown);
    v.postCommand(c.code, c.arg1, c.arg2);
    h.run(30);
    EXPECT_FALSE(v.commandPending) << c.code;
    EXPECT_EQ(c.mutes ? -1 : 0, firstSound(h.outL)) << c.code;
    h.run(30);
    EXPECT_EQ(0, firstSound(h.outL)) << c.code;
  }
}

TEST(AudioLoop, ControllersAtTheirTick)
{
  HostedVeltrane h(44100, 256);
  Veltrane& v = *h.plug;
  v.midiSourceCC[0] = 20;
  v.midiSourceCC[1] = 20; // only the first source of a controller takes it
  v.midiSourceCC[2] = 1;
  h.midi(0, 0xB3, 20, 127);
  h.midi(0, 0xB0, 1, 127);  // modulation wheel
  h.midi(0, 0xD0, 64, 0);   // channel aftertouch
  h.midi(0, 0xE0, 0, 0x60); // pitch wheel: (0x60 * 128 - 8192) / 8192
  h.run(256);
  EXPECT_EQ(1.0, v.midiSourceValue[0]);
  EXPECT_EQ(0.0, v.midiSourceValue[1]);
  EXPECT_EQ(1.0, v.midiSourceValue[2]);
  EXPECT_EQ(1.0, v.mwPos);
  EXPECT_EQ(1.0, v.mw);
  EXPECT_DOUBLE_EQ(64 / 127.0, v.chAft);
  EXPECT_DOUBLE_EQ(0.5, v.pBend);
  EXPECT_DOUBLE_EQ(0.75, v.pBendPos);
  // Controllers 120 to 122 are queued but change nothing; the channel-mode ones act at once.
  const double before = v.GetParam(291)->Value();
  v.midiLearnMap[100] = 291;
  h.midi(0, 0xB0, 120, 100);
  h.midi(0, 0xB0, 121, 100);
  h.midi(0, 0xB0, 122, 100);
  h.run(64);
  EXPECT_EQ(0, v.midiQueue.Pending());
  EXPECT_EQ(before, v.GetParam(291)->Value());
}

TEST(AudioLoop, LearnedControllerMovesItsParameterAndTheEditor)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  class Knob : public IControl
  {
  public:
    Knob(IPlugBase* p) : IControl(p, IRECT()) { mParamIdx = 291; }
    bool Draw(IGraphics*) override { return true; }
  };
  Knob* knob = new Knob(&v);
  v.GetGUI()->AttachControl(knob);
  v.midiLearnMap[7] = 291;
  v.midiLearnMap[64] = 293; // sustain and the modulation wheel keep their own roles
  v.midiLearnMap[1] = 294;
  const int automations = h.automations;
  h.midi(5, 0xB0, 7, 64);
  h.midi(5, 0xB0, 64, 127);
  h.midi(5, 0xB0, 1, 127);
  h.run(64);
  EXPECT_DOUBLE_EQ(64 / 127.0, v.GetParam(291)->GetNormalized());
  EXPECT_DOUBLE_EQ(2.0 * 64 / 127.0, v.volume);
  EXPECT_NE(64 / 127.0, knob->GetValue()) << "the audio thread only queues the value for the editor";
  v.GetGUI()->DrainQueuedParameters(); // the editor's next tick
  EXPECT_DOUBLE_EQ(64 / 127.0, knob->GetValue());
  EXPECT_GT(h.automations, automations); // the host hears of it
  EXPECT_EQ(0.0, v.GetParam(293)->Value());
  EXPECT_EQ(0.0, v.GetParam(294)->Value());
  // The controller's value is normalised: 127 takes Volume (0..2) from 1.0 to its top.
  v.GetParam(291)->Set(1.0);
  h.midi(0, 0xB0, 7, 127);
  h.run(64);
  EXPECT_DOUBLE_EQ(2.0, v.volume);
  // A map entry outside the parameters does nothing.
  v.midiLearnMap[8] = 300;
  v.midiLearnMap[9] = -5;
  h.midi(0, 0xB0, 8, 3);
  h.midi(0, 0xB0, 9, 3);
  h.run(64);
}

TEST(AudioLoop, SustainPedalReachesEveryVoice)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  h.midi(0, 0xB0, 64, 127);
  h.run(64);
  for (const Voice& voice : v.voices) EXPECT_TRUE(voice.sustain);
  // A voice beyond the voice count, held by the pedal, is released too.
  v.voices[40].keyDown = false;
  v.voices[40].gate = 3.0;
  v.voices[40].envelope.start();
  v.voices[40].envelope.level = 0.5;
  h.midi(0, 0xB0, 64, 0);
  h.run(64);
  for (const Voice& voice : v.voices) EXPECT_FALSE(voice.sustain);
  EXPECT_EQ(0.0, v.voices[40].gate);
  EXPECT_EQ(ADSR::kRelease, v.voices[40].envelope.state);
}

TEST(AudioLoop, TransportGatesLastOneBlock)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  h.playing = false;
  h.run(64);
  EXPECT_EQ(0.0, v.start);
  EXPECT_EQ(0.0, v.stop);
  h.playing = true;
  h.run(64);
  EXPECT_EQ(1.0, v.start);
  EXPECT_EQ(0.0, v.stop);
  h.run(64);
  EXPECT_EQ(0.0, v.start);
  h.playing = false;
  h.run(64);
  EXPECT_EQ(0.0, v.start);
  EXPECT_EQ(1.0, v.stop);
  h.run(64);
  EXPECT_EQ(0.0, v.stop);
}

TEST(AudioLoop, SuspendedEngineStaysSilentAndStill)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  ProbeModule* probe = InstallMasterProbe(v, 3);
  h.run(64);
  const int ticks = probe->ticks;
  v.suspended = true;
  h.midi(0, 0x90, 60, 100);
  h.run(64);
  h.run(64);
  EXPECT_EQ(ticks, probe->ticks);
  EXPECT_EQ(1, v.midiQueue.Pending()); // MIDI stays queued
  EXPECT_EQ(-1, firstSound(h.outL));
  v.suspended = false;
  h.run(64); // still muted: its first sample has no tick, and the mute ends only at one
  EXPECT_EQ(ticks, probe->ticks);
  EXPECT_EQ(-1, firstSound(h.outL));
  h.run(64);
  EXPECT_GT(probe->ticks, ticks);
  EXPECT_EQ(0, v.midiQueue.Pending());
}

TEST(AudioLoop, MasterPortamentoGlidesInTicks)
{
  HostedVeltrane h(44100, 44);
  Veltrane& v = *h.plug;
  InstallMasterProbe(v, 0);
  h.midi(0, 0x90, 60, 100); // no portamento yet: jumps
  h.run(44);
  EXPECT_EQ(60 * 128, v.masterPitch);
  v.GetParam(Veltrane::kParamPortamento)->Set(0.1); // 100 ticks
  v.OnParamChange(Veltrane::kParamPortamento);
  h.midi(0, 0x90, 72, 100);
  h.run(44);
  EXPECT_EQ(99, v.glideCountdown);
  const int halfway = v.masterPitch;
  EXPECT_GT(halfway, 60 * 128);
  EXPECT_LT(halfway, 72 * 128);
  for (int t = 0; t < 99; ++t) h.run(44);
  EXPECT_EQ(72 * 128, v.masterPitch);
  EXPECT_EQ(0, v.glideCountdown);
  // 0.4 ms truncates to no tick at all: the next note jumps.
  v.GetParam(Veltrane::kParamPortamento)->Set(0.0004);
  v.OnParamChange(Veltrane::kParamPortamento);
  h.midi(0, 0x90, 48, 100);
  h.run(44);
  EXPECT_EQ(48 * 128, v.masterPitch);
  // The pitch wheel bends the master pitch by the bend range (2 semitones).
  h.midi(0, 0xE0, 0x7F, 0x7F);
  h.run(44);
  h.run(44);
  EXPECT_EQ((int)std::floor(2 * 128 * (8191 / 8192.0) + 48 * 128), v.masterPitch);
}

TEST(AudioLoop, AnOscillatorSoundsFromItsNotesTick)
{
  // A real module: an oscillator per voice into both voice sums.
  for (int offset : {0, 100, 130}) {
    HostedVeltrane h(44100, 256);
    Veltrane& v = *h.plug;
    v.replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
    SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, 0, 0);
    SelectSource(v, Veltrane::kParamSumRight, false, SourceDef::AUDIO, 0, 0);
    h.run(256); // nothing plays
    EXPECT_EQ(-1, firstSound(h.outL));
    h.midi(offset, 0x90, 69, 127);
    h.run(256);
    // The block starts 256 samples into the tick grid: ticks at 8, 52, 96, 140, ...; the note plays at the
    // first of them at or after its offset, and the oscillator's output lags one sample behind its first step.
    int tick = 8;
    while (tick < offset) tick += 44;
    const int first = firstSound(h.outL);
    EXPECT_GE(first, tick) << offset;
    EXPECT_LE(first, tick + 2) << offset;
  }
}
