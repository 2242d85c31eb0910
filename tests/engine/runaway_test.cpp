// Feedback and extreme settings reach the host only as ordinary numbers: every module type fed from its own
// output (and, where it has two audio inputs, two of it feeding each other) with its parameters at their
// ends, and programs of the start-up bank with every host parameter at 0, 0.5 and 1: every sample the host
// receives is finite and at most 64 in magnitude. When the loop's gain drops, the modules are back at rest
// and play as before.
#include "ModuleCatalogue.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {
constexpr double kRate = 44100.0;
constexpr int kBlock = 256;
constexpr double kLimit = 64.0; // what the host may receive at most, in magnitude

// What the host received: how many samples were not numbers, and the largest magnitude of the others.
struct Heard
{
  int nonFinite = 0;
  double peak = 0.0;
  bool withinLimit() const { return nonFinite == 0 && peak <= kLimit; }
};

std::ostream& operator<<(std::ostream& o, const Heard& h)
{
  return o << h.nonFinite << " samples not finite, peak " << h.peak;
}

// seconds of blocks through the host's single-precision process call, a 220 Hz sine at half scale on both
// host inputs; what the host hears is added to `heard`.
Heard play(HostedVeltrane& h, double seconds, Heard heard = {})
{
  for (int done = 0; done < seconds * kRate; done += kBlock) {
    h.inL.resize(kBlock);
    h.inR.resize(kBlock);
    for (int i = 0; i < kBlock; ++i)
      h.inL[i] = h.inR[i] = (float)(0.5 * std::sin(2.0 * M_PI * 220.0 * (h.position + i) / kRate));
    h.run(kBlock);
    for (const std::vector<float>* out : {&h.outL, &h.outR})
      for (float x : *out) {
        if (!std::isfinite(x))
          ++heard.nonFinite;
        else
          heard.peak = std::max(heard.peak, (double)std::fabs(x));
      }
  }
  return heard;
}

// The parameters of the slots that are not input selectors, through the host's parameter call: every one at
// the normalised value `end` but parameter `odd` at the other end; every one at its default when end is
// negative.
void setParameters(HostedVeltrane& h, const std::vector<int>& slots, float end, int odd = -1)
{
  for (int slot : slots) {
    const ModuleConfig& c = h.plug->slotConfig[slot];
    for (int p = 0; p < c.numParams; ++p) {
      if (c.isInputParam(p)) continue;
      const int index = slot * Module::kNumParams + p;
      const IParam* param = h.plug->GetParam(index);
      const float value = end < 0.0f ? (float)param->GetNormalized(param->GetDefault()) : p == odd ? 1.0f - end : end;
      h.effect->setParameter(h.effect, index, value);
    }
  }
}

// Audio input k of a master slot reads the first audio output of another master slot, or the host's left
// input (from < 0), chosen as the editor chooses it.
void connect(HostedVeltrane& h, int slot, int k, int from)
{
  const int param = slot * Module::kNumParams + (*h.plug->slotConfig[slot].getInputParams(SourceDef::AUDIO))[k];
  if (from < 0)
    SelectSource(*h.plug, param, true, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kExternalLeft);
  else
    SelectSource(*h.plug, param, true, SourceDef::AUDIO, from, 0);
}

bool finiteOutputs(const Module& m)
{
  for (const std::vector<double>* out : {&m.audioOut, &m.modOut, &m.nextAudioOut, &m.nextModOut})
    for (double x : *out)
      if (!std::isfinite(x)) return false;
  return true;
}

// After a loop: a while more, then whether the host hears anything but a module left at the limit (or out of
// numbers, which reaches the host as silence).
void expectBack(HostedVeltrane& h, const std::vector<int>& loop, const std::string& what)
{
  play(h, 0.1);
  const Heard after = play(h, 0.02);
  EXPECT_TRUE(after.withinLimit() && after.peak < kLimit) << what << ": " << after;
  for (int slot : loop) EXPECT_TRUE(finiteOutputs(*h.plug->masterModules[slot])) << what;
}

// New modules of the type in the master slots of `loop`, fed from the host, their parameters at an end (one
// of them at the other end); then each slot's first audio input reads the slot before it (the first the
// last); then the loop opens again, first with the parameters as they are (a delay line's feedback at 1
// would keep what it holds for good), then with every parameter back at its default. The host hears the
// last slot.
void expectLoopHeldThenLeft(HostedVeltrane& h, ModuleConfig::ModuleID id, const std::vector<int>& loop, int odd)
{
  const std::string what = std::string(ModuleConfig::labelModuleName[id]) +
                           (loop.size() > 1 ? ", two feeding each other" : ", fed from itself") + ", parameters at " +
                           (odd < -1 ? "maximum" : "minimum") +
                           (odd >= 0 ? " but " + std::to_string(odd) + " at maximum" : "");
  for (int slot : loop) h.plug->replaceModule(slot, id, true, false);
  const int last = loop.back();
  const ModuleConfig& c = h.plug->slotConfig[last];
  SelectSource(*h.plug, Veltrane::kParamMasterOutLeft, true, SourceDef::AUDIO, last, 0);
  SelectSource(*h.plug, Veltrane::kParamMasterOutRight, true, SourceDef::AUDIO, last, c.numAudioOutputs > 1 ? 1 : 0);
  for (int slot : loop)
    for (int k = 0; k < c.numAudioInputs; ++k) connect(h, slot, k, -1);
  setParameters(h, loop, odd < -1 ? 1.0f : 0.0f, odd);
  play(h, 0.01);

  for (size_t i = 0; i < loop.size(); ++i) connect(h, loop[i], 0, loop[(i + loop.size() - 1) % loop.size()]);
  const Heard looped = play(h, 0.06);
  EXPECT_TRUE(looped.withinLimit()) << what << ": " << looped;

  for (int slot : loop) connect(h, slot, 0, -1);
  expectBack(h, loop, what + ", loop opened");
  setParameters(h, loop, -1.0f);
  expectBack(h, loop, what + ", loop opened, parameters at their defaults");
}

TEST(Runaway, EveryModuleTypeInAFeedbackLoopStaysWithinTheLimitAndComesBack)
{
  int types = 0;
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    const ModuleCatalogue::ModuleDecl& d = ModuleCatalogue::declarations[id];
    if (!ModuleCatalogue::classes[id].create || d.audioIn.count < 1 || d.audioOut.count < 1) continue;
    ++types;
    HostedVeltrane h(kRate, kBlock);
    // odd: -2 every parameter at its maximum, -1 every one at its minimum, else that one at its maximum.
    for (int odd = -2; odd < d.numParams; ++odd) {
      expectLoopHeldThenLeft(h, (ModuleConfig::ModuleID)id, {0}, odd);
      if (d.audioIn.count >= 2) expectLoopHeldThenLeft(h, (ModuleConfig::ModuleID)id, {0, 1}, odd);
    }
  }
  EXPECT_GE(types, 20);
}

// A voice's amplifier fed from itself at gain 2 climbs to infinity; its gain back to 0 with the loop kept,
// the amplifier plays the oscillator on its other input again (0 times a NaN would stay a NaN for good).
TEST(Runaway, AVoiceAmplifierLoopPlaysAgainWhenItsGainDrops)
{
  enum { kOsc = 0, kAmp = 1 };
  HostedVeltrane h(kRate, kBlock);
  h.plug->replaceModule(kOsc, ModuleConfig::MOD_OSCILLATOR, false, false);
  h.plug->replaceModule(kAmp, ModuleConfig::MOD_AMPLIFIER, false, false);
  Veltrane& v = *h.plug;
  const int amp = kAmp * Module::kNumParams;
  SelectSource(v, amp + 1, false, SourceDef::AUDIO, kAmp, 0); // input A: its own left output
  SelectSource(v, amp + 3, false, SourceDef::AUDIO, kOsc, 0); // input B: the oscillator
  SelectSource(v, Veltrane::kParamSumLeft, false, SourceDef::AUDIO, kAmp, 0);
  SelectSource(v, Veltrane::kParamSumRight, false, SourceDef::AUDIO, kAmp, 1);
  h.effect->setParameter(h.effect, amp + 0, 1.0f); // gain A: 2
  h.effect->setParameter(h.effect, amp + 4, 0.0f); // pan A: left
  h.midi(0, 0x90, 60, 100);
  const Heard looped = play(h, 0.1);
  EXPECT_TRUE(looped.withinLimit()) << looped;
  EXPECT_EQ(looped.peak, kLimit) << "the loop did not run away: nothing was tried";

  h.effect->setParameter(h.effect, amp + 0, 0.0f);
  play(h, 0.01);
  const Heard after = play(h, 0.05);
  EXPECT_GT(after.peak, 0.05) << "the oscillator is not heard again";
  EXPECT_LT(after.peak, 1.0);
  EXPECT_TRUE(finiteOutputs(*v.voices[0].modules[kAmp]));
}

// What a host's "every parameter to ..." does to programs of the start-up bank while a chord plays.
TEST(Runaway, BankProgramsWithEveryParameterAtOneValue)
{
  UseGeneratedStartupBank();
  for (int program : {0, 14, 50})
    for (float value : {0.0f, 0.5f, 1.0f}) {
      HostedVeltrane h(kRate, kBlock);
      char name[64] = {};
      h.dispatch(effGetProgramNameIndexed, program, 0, name);
      ASSERT_STRNE(name, "Init") << "the start-up bank is not there";
      h.dispatch(effSetProgram, 0, program);
      for (int p = 0; p < Synth::kNumParams; ++p) h.effect->setParameter(h.effect, p, value);
      for (int note : {48, 55, 64, 72}) h.midi(0, 0x90, note, 100);
      const Heard held = play(h, 0.6);
      for (int note : {48, 55, 64, 72}) h.midi(0, 0x80, note, 0);
      const Heard heard = play(h, 0.4, held);
      EXPECT_TRUE(heard.withinLimit()) << "program " << program << ", every parameter at " << value << ": " << heard;
    }
}
} // namespace
