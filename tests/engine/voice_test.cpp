// One voice: portamento and legato, single and multiple trigger, the gate, the sustain pedal, forced
// release, its per-voice sources and its contribution to the voice sums.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
struct VoiceRig
{
  std::unique_ptr<Veltrane> v = MakeVeltrane();
  Voice* voice = nullptr;
  std::vector<ProbeModule*> probes;
  VoiceRig()
  {
    v->SetSampleRate(48000.0);
    v->SetBlockSize(256);
    v->Reset();
    probes = InstallVoiceProbe(*v, 3, 0.5);
    voice = &v->voices[0];
  }
  void ticks(int n)
  {
    for (int i = 0; i < n; ++i) voice->update();
  }
};
} // namespace

TEST(Voice, SampleRateResetsItToSilence)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  voice.setNoteOn(70, 9, 0.7);
  voice.setSustain(true);
  voice.polyA = 0.3;
  voice.setSampleRate();
  EXPECT_FALSE(voice.active);
  EXPECT_FALSE(voice.keyDown);
  EXPECT_FALSE(voice.sustain);
  EXPECT_EQ(48, voice.noteNumber);
  EXPECT_EQ(0, voice.noteOnCounter);
  EXPECT_EQ(48 * 128, voice.glidePitch);
  EXPECT_EQ(0.0, voice.gate);
  EXPECT_EQ(0.0, voice.polyA);
  EXPECT_EQ(0.0, voice.velo);
  EXPECT_EQ(ADSR::kIdle, voice.envelope.state);
  EXPECT_EQ(&r.v->pBend, voice.pitchBendSource);
}

TEST(Voice, PortamentoGlidesOrJumps)
{
  struct Case
  {
    double seconds;
    bool legato;
    bool keyHeld;      // a key of this voice still down (gate above 0) at the second note
    int ticksToTarget; // 0: jumps at once
  };
  const Case cases[] = {
      {0.0, false, false, 0},   {0.0005, false, true, 0},                         // 0.5 ms truncates to no tick
      {0.05, false, false, 50}, {0.05, false, true, 50},  {0.05, true, false, 0}, // legato: released keys jump
      {0.05, true, true, 50},   {0.003, true, true, 3},
  };
  for (const Case& c : cases) {
    VoiceRig r;
    Voice& voice = *r.voice;
    voice.setNoteOn(48, 1, 1.0); // no portamento yet
    voice.setVoiceParam(Veltrane::kParamPortamento, c.seconds);
    voice.setVoiceParam(Veltrane::kParamPortaLegato, c.legato ? 1.0 : 0.0);
    if (!c.keyHeld) voice.setNoteOff(false);
    voice.setNoteOn(60, 2, 1.0);
    const std::string what = std::to_string(c.seconds) + (c.legato ? " legato" : "") + (c.keyHeld ? " held" : "");
    if (c.ticksToTarget == 0) {
      EXPECT_EQ(60 * 128, voice.glidePitch) << what;
      EXPECT_EQ(0, voice.glideCountdown) << what;
      continue;
    }
    EXPECT_EQ(c.ticksToTarget, voice.glideCountdown) << what;
    r.ticks(c.ticksToTarget - 1);
    EXPECT_LT(voice.pitch, 60 * 128) << what;
    EXPECT_GT(voice.pitch, 48 * 128) << what;
    r.ticks(1);
    EXPECT_EQ(60 * 128, voice.pitch) << what; // lands exactly
    r.ticks(5);
    EXPECT_EQ(60 * 128, voice.pitch) << what;
  }
}

TEST(Voice, GateRisesAtEveryNoteOn)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  voice.setVoiceParam(Veltrane::kParamOutTrigger, 0.0); // single trigger
  voice.setNoteOn(60, 1, 1.0);
  EXPECT_EQ(1.0, voice.gate);
  for (int i = 0; i < 600; ++i) voice.envelope.update(); // into the decay
  ASSERT_EQ(ADSR::kDecay, voice.envelope.state);
  r.ticks(1);
  voice.setNoteOn(62, 2, 1.0); // legato: the envelope keeps running, the gate still rises
  EXPECT_EQ(2.0, voice.gate);
  EXPECT_EQ(ADSR::kDecay, voice.envelope.state);
  voice.setNoteOn(64, 3, 1.0);
  EXPECT_EQ(2.0, voice.gate); // counts from the gate as of the last tick
  r.ticks(1);
  voice.setNoteOn(64, 3, 1.0);
  EXPECT_EQ(3.0, voice.gate);
  voice.setNoteOff(false);
  EXPECT_EQ(0.0, voice.gate);
  voice.setNoteOn(65, 4, 1.0); // no key down: the envelope starts again
  EXPECT_EQ(ADSR::kAttack, voice.envelope.state);
  // Multiple trigger restarts it at every note.
  voice.setVoiceParam(Veltrane::kParamOutTrigger, 1.0);
  for (int i = 0; i < 600; ++i) voice.envelope.update();
  voice.setNoteOn(67, 5, 1.0);
  EXPECT_EQ(ADSR::kAttack, voice.envelope.state);
}

TEST(Voice, SustainPedalAndForcedRelease)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  voice.setNoteOn(60, 1, 1.0);
  for (int i = 0; i < 100; ++i) voice.envelope.update();
  voice.setSustain(true);
  voice.setNoteOff(false);
  EXPECT_GT(voice.gate, 0.0);
  EXPECT_NE(ADSR::kRelease, voice.envelope.state);
  voice.setSustain(false);
  EXPECT_EQ(0.0, voice.gate);
  EXPECT_EQ(ADSR::kRelease, voice.envelope.state);

  voice.setNoteOn(60, 2, 1.0);
  for (int i = 0; i < 100; ++i) voice.envelope.update();
  voice.setSustain(true);
  voice.setNoteOff(true); // forced: cut even with the pedal down
  EXPECT_EQ(0.0, voice.envelope.level);
  EXPECT_EQ(ADSR::kIdle, voice.envelope.state);
  // The pedal going down with no key does not release anything; going up releases even a silent voice.
  voice.setSustain(true);
  voice.setSustain(false);
  EXPECT_EQ(ADSR::kIdle, voice.envelope.state);
}

TEST(Voice, PerVoiceSourcesResolveToItsOwnValues)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  Veltrane& v = *r.v;
  auto position = [&](SourceDef::SourceType t, int module, int index) {
    int p = 0;
    for (size_t i = 1; i < v.voiceSources.sources.size(); ++i) {
      const SourceDef* d = v.voiceSources.sources[i];
      if (d->type != t) continue;
      ++p;
      if (d->module == module && d->index == index) return p;
    }
    return -1;
  };
  EXPECT_EQ(&voice.polyA, voice.getSource(position(SourceDef::MODULATION, -5, 5), SourceDef::MODULATION));
  EXPECT_EQ(&voice.note, voice.getSource(position(SourceDef::MODULATION, -5, 7), SourceDef::MODULATION));
  EXPECT_EQ(&voice.notePos, voice.getSource(position(SourceDef::MODULATION, -5, 8), SourceDef::MODULATION));
  EXPECT_EQ(&voice.velo, voice.getSource(position(SourceDef::MODULATION, -5, 9), SourceDef::MODULATION));
  EXPECT_EQ(&v.pBend, voice.getSource(position(SourceDef::MODULATION, -5, 1), SourceDef::MODULATION));
  EXPECT_EQ(&voice.gate, voice.getSource(position(SourceDef::GATE, -3, 2), SourceDef::GATE));
  EXPECT_EQ(&v.multi, voice.getSource(position(SourceDef::GATE, -3, 1), SourceDef::GATE));
  EXPECT_EQ(&r.probes[0]->audioOut[0], voice.getSource(position(SourceDef::AUDIO, 3, 0), SourceDef::AUDIO));
  EXPECT_EQ(nullptr, voice.getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, voice.getSource(999, SourceDef::MODULATION));
}

TEST(Voice, SumsAddTheEnvelopeTimesTheSelectedOutput)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  voice.setNoteOn(60, 1, 1.0);
  r.ticks(1);
  ASSERT_TRUE(voice.active);
  double left[8] = {1, 1, 1, 1, 1, 1, 1, 1}, right[8] = {};
  voice.process(left, right, 8);
  ADSR reference;
  reference.setSampleRate(48000.0f);
  reference.start();
  for (int i = 0; i < 8; ++i) {
    reference.update();
    EXPECT_DOUBLE_EQ(1.0 + 0.5 * reference.level, left[i]) << i;
    EXPECT_DOUBLE_EQ(0.5 * reference.level, right[i]) << i;
  }
  EXPECT_EQ(8, r.probes[0]->samples);
  // A sum source whose index no longer exists falls back to the voice's zero: nothing is added.
  voice.setVoiceParam(Veltrane::kParamSumLeft, 77.0);
  EXPECT_EQ(&voice.zero, voice.sumSourceLeft);
  double more[4] = {};
  voice.process(more, right, 4);
  for (double x : more) EXPECT_EQ(0.0, x);
}

TEST(Voice, SilentVoicesDoNothing)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  double left[4] = {}, right[4] = {};
  voice.process(left, right, 4); // not active
  EXPECT_EQ(0, r.probes[0]->samples);
  voice.setNoteOn(60, 1, 1.0);
  voice.process(left, right, 0);
  EXPECT_EQ(0, r.probes[0]->samples);
  // Without modules the voice falls inactive at its next tick.
  Voice& other = r.v->voices[5];
  other.processList.clear();
  other.hasModules = false;
  other.setNoteOn(60, 2, 1.0);
  EXPECT_TRUE(other.active);
  other.update();
  EXPECT_FALSE(other.active);
  EXPECT_EQ(0, r.probes[5]->ticks);
}

TEST(Voice, UpdateBendsThePitchAndRunsTheModules)
{
  VoiceRig r;
  Voice& voice = *r.voice;
  voice.setVoiceParam(Veltrane::kParamPBRange, -12.0);
  voice.setNoteOn(64, 1, 1.0);
  r.v->pBend = 0.25;
  r.ticks(1);
  EXPECT_EQ((int)std::floor(-12 * 128 * 0.25 + 64 * 128), voice.pitch);
  EXPECT_EQ(1, r.probes[0]->ticks);
  // Pitches no tuning can give still convert without overflow.
  voice.glidePitch = 1e300;
  voice.glideCountdown = 0;
  r.ticks(1);
  EXPECT_EQ(16777216, voice.pitch);
}
