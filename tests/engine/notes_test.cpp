// Notes and voice allocation as a host plays them: which voice takes a note, stealing, single-voice play
// returning to held keys, sustain, all notes off, polyphonic aftertouch, the common note values and gates,
// the drone note and program changes.
#include "ProgramStage.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
// Voice count parameter 288 at the entry for n voices.
void setVoiceCount(Veltrane& v, int n)
{
  for (int k = 0; k < 11; ++k)
    if (Veltrane::nVoices[k] == n) v.SetParameterFromGUI(Veltrane::kParamVoices, k / 10.0);
  ASSERT_EQ(n, v.activeVoices);
}

// One control tick per block of 44 samples at 44100 Hz.
struct Player
{
  HostedVeltrane h{44100, 44};
  Veltrane& v = *h.plug;
  Player(int voices = 4)
  {
    InstallVoiceProbe(v, 0);
    setVoiceCount(v, voices);
  }
  void on(int note, int velocity = 100)
  {
    h.midi(0, 0x90, note, velocity);
    h.run(44);
  }
  void off(int note)
  {
    h.midi(0, 0x80, note, 0);
    h.run(44);
  }
  int voiceOf(int note) const
  {
    for (int i = 0; i < v.activeVoices; ++i)
      if (v.voices[i].noteNumber == note && v.voices[i].keyDown) return i;
    return -1;
  }
};
} // namespace

TEST(Notes, EachNoteTakesTheFirstIdleVoice)
{
  Player p(4);
  const int notes[] = {60, 64, 67, 71};
  for (int i = 0; i < 4; ++i) {
    p.on(notes[i]);
    EXPECT_EQ(i, p.voiceOf(notes[i]));
    EXPECT_EQ(i + 1, p.v.voices[i].noteOnCounter);
  }
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(p.v.voices[i].active);
  EXPECT_FALSE(p.v.voices[4].active); // beyond the voice count
}

TEST(Notes, AFifthNoteStealsTheOldest)
{
  Player p(4);
  for (int n : {60, 64, 67, 71}) p.on(n);
  p.on(74);
  EXPECT_EQ(0, p.voiceOf(74)); // 60 was the oldest
  p.on(76);
  EXPECT_EQ(1, p.voiceOf(76));
  // A note one of them played last goes back to that voice instead.
  p.on(67);
  EXPECT_EQ(2, p.voiceOf(67));
  EXPECT_EQ(7, p.v.voices[2].noteOnCounter);
  // A note off for a note whose voice was stolen leaves the stealing voice alone.
  p.off(60);
  EXPECT_TRUE(p.v.voices[0].keyDown);
  EXPECT_EQ(74, p.v.voices[0].noteNumber);
}

TEST(Notes, ARepeatedNoteRetriggersItsVoice)
{
  Player p(8);
  p.on(60);
  p.on(62);
  p.off(60);
  p.on(60);
  EXPECT_EQ(0, p.voiceOf(60));
  // After a reset every voice's note is 48, so note 48 goes to voice 0.
  Player q(8);
  q.on(48);
  EXPECT_EQ(0, q.voiceOf(48));
  q.on(50);
  EXPECT_EQ(1, q.voiceOf(50));
}

TEST(Notes, OneVoiceReturnsToTheHighestHeldKey)
{
  Player p(1);
  p.v.SetParameterFromGUI(Veltrane::kParamOutTrigger, 0.0); // single trigger: no new attack
  for (int n : {60, 67, 64}) p.on(n);
  for (int t = 0; t < 10; ++t) p.h.run(44); // past the attack
  Voice& voice = p.v.voices[0];
  ASSERT_EQ(ADSR::kDecay, voice.envelope.state);
  EXPECT_EQ(64, voice.noteNumber);
  const int counter = voice.noteOnCounter;
  const double gate = voice.gate;
  p.off(64); // back to 67, the highest still held
  EXPECT_EQ(67, voice.noteNumber);
  EXPECT_EQ(67 * 128, voice.targetPitch);
  EXPECT_EQ(counter, voice.noteOnCounter);
  EXPECT_GT(voice.gate, gate);
  EXPECT_EQ(ADSR::kDecay, voice.envelope.state); // not restarted
  p.off(60);                                     // not the sounding key: nothing audible changes
  EXPECT_EQ(67, voice.noteNumber);
  EXPECT_TRUE(voice.keyDown);
  p.off(67); // the last key: released
  EXPECT_FALSE(voice.keyDown);
  EXPECT_EQ(ADSR::kRelease, voice.envelope.state);
}

TEST(Notes, SingleAndMultiGates)
{
  Player p(4);
  Veltrane& v = p.v;
  EXPECT_EQ(0.0, v.single);
  // Two note ons in one tick share one Multi value.
  p.h.midi(0, 0x90, 60, 100);
  p.h.midi(1, 0x90, 64, 100);
  p.h.run(44);
  EXPECT_EQ(1.0, v.single);
  EXPECT_EQ(1.0, v.multi);
  p.on(67);
  EXPECT_EQ(2.0, v.multi);
  p.off(60);
  p.off(64);
  EXPECT_EQ(1.0, v.single);
  p.off(67);
  EXPECT_EQ(0.0, v.single);
  EXPECT_EQ(0.0, v.multi);
}

TEST(Notes, CommonNoteValues)
{
  Player p(2);
  Veltrane& v = p.v;
  p.on(72, 127);
  EXPECT_DOUBLE_EQ(72 * 128 / 6144.0, v.masterNotePos);
  EXPECT_DOUBLE_EQ(24 * 128 / 6144.0, v.masterNote);
  EXPECT_DOUBLE_EQ(1.0, v.masterVelo);
  EXPECT_EQ(72 * 128, v.masterTargetPitch);
  const Voice& voice = v.voices[p.voiceOf(72)];
  EXPECT_DOUBLE_EQ(1.5, voice.notePos);
  EXPECT_DOUBLE_EQ(0.5, voice.note);
  EXPECT_DOUBLE_EQ(1.0, voice.velo);
}

TEST(Notes, PolyAftertouchFindsItsVoice)
{
  Player p(4);
  p.on(60);
  p.on(62);
  p.h.midi(0, 0xA0, 62, 127);
  p.h.run(44);
  EXPECT_DOUBLE_EQ(1.0, p.v.voices[1].polyA);
  // A note no voice plays lands where a note on would: the first idle voice.
  p.h.midi(0, 0xA0, 90, 64);
  p.h.run(44);
  EXPECT_DOUBLE_EQ(64 / 127.0, p.v.voices[2].polyA);
  EXPECT_FALSE(p.v.voices[2].active);
}

TEST(Notes, SustainHoldsReleasedNotes)
{
  // A continuous pedal: down from 64, up below it.
  for (const auto& [down, up] : {std::pair{127, 0}, std::pair{64, 63}}) {
    Player p(4);
    p.h.midi(0, 0xB0, 64, down);
    p.on(60);
    p.off(60);
    Voice& voice = p.v.voices[0];
    EXPECT_FALSE(voice.keyDown);
    EXPECT_GT(voice.gate, 0.0) << down;
    EXPECT_NE(ADSR::kRelease, voice.envelope.state);
    p.h.midi(0, 0xB0, 64, up);
    p.h.run(44);
    EXPECT_EQ(0.0, voice.gate) << up;
    EXPECT_EQ(ADSR::kRelease, voice.envelope.state);
  }
}

TEST(Notes, LiftingThePedalOverAHeldKeyKeepsTheNote)
{
  Player p(4);
  p.on(60);
  for (int b = 0; b < 20; ++b) p.h.run(44); // past the attack: sustaining at full level
  p.h.midi(0, 0xB0, 64, 127);
  p.h.run(44);
  const float held = p.h.outL[43];
  ASSERT_GT(held, 0.0f);
  p.h.midi(0, 0xB0, 64, 0); // the key is still down
  for (int b = 0; b < 5; ++b) p.h.run(44);
  Voice& voice = p.v.voices[0];
  EXPECT_TRUE(voice.keyDown);
  EXPECT_GT(voice.gate, 0.0);
  EXPECT_NE(ADSR::kRelease, voice.envelope.state);
  EXPECT_EQ(held, p.h.outL[43]); // sustaining at full level as before
  p.off(60);                     // the key, not the pedal, ends it
  EXPECT_EQ(ADSR::kRelease, voice.envelope.state);
  EXPECT_LT(p.h.outL[43], held);
}

TEST(Notes, ANoteOffReachesAVoiceWithoutModules)
{
  // A voice that holds no modules is never active after its first tick; the note off must still let go of
  // its key, or in single trigger mode its envelope would never start again once it has modules.
  Player p(4);
  p.v.SetParameterFromGUI(Veltrane::kParamOutTrigger, 0.0); // single
  Voice& voice = p.v.voices[0];
  ASSERT_FALSE(voice.multipleTrigger);
  voice.processList.clear();
  voice.hasModules = false;
  p.on(60);
  p.h.run(44);
  ASSERT_EQ(60, voice.noteNumber);
  ASSERT_FALSE(voice.active);
  ASSERT_TRUE(voice.keyDown);
  p.off(60);
  EXPECT_FALSE(voice.keyDown);
  EXPECT_EQ(0.0, voice.gate);
  EXPECT_EQ(ADSR::kIdle, voice.envelope.state);
  EXPECT_EQ(0, p.v.numPressedKeys);

  voice.rebuildProcessList(); // its modules back: the released note stays silent...
  p.h.run(44);
  EXPECT_FALSE(voice.active);
  EXPECT_EQ(-1, p.voiceOf(60));
  p.on(60); // ...and the next one starts its envelope
  EXPECT_TRUE(voice.active);
  EXPECT_EQ(ADSR::kAttack, voice.envelope.state);
  EXPECT_GT(p.h.outL[43], 0.0f);
}

TEST(Notes, AllNotesOffCutsEveryVoice)
{
  Player p(8);
  for (int n : {60, 62, 64}) p.on(n);
  p.h.midi(0, 0xB0, 64, 127);
  p.h.midi(0, 0xB0, 123, 0); // all notes off acts at once, before the block
  p.h.run(44);
  for (const Voice& voice : p.v.voices) {
    EXPECT_FALSE(voice.keyDown);
    EXPECT_EQ(0.0, voice.envelope.level);
    EXPECT_EQ(ADSR::kIdle, voice.envelope.state);
  }
  EXPECT_EQ(0, p.v.numPressedKeys);
  EXPECT_EQ(0.0, p.v.single);
  // The pedal was queued; the all-notes-off acted when the block was delivered, so the pedal, applied at
  // the tick, is down again.
  EXPECT_TRUE(p.v.voices[0].sustain);
}

TEST(Notes, VoiceCountChangeStopsNotesAndReappliesParameters)
{
  Player p(4);
  p.on(60);
  p.v.SetParameterFromGUI(Veltrane::kParamOutAttack, 0.5);
  p.v.SetParameterFromGUI(Veltrane::kParamVoices, 0.4); // 12 voices
  EXPECT_EQ(12, p.v.activeVoices);
  EXPECT_FALSE(p.v.voices[0].keyDown);
  EXPECT_EQ(0.5, p.v.voices[11].envelope.attack);
  EXPECT_EQ(0.0, p.v.voices[12].envelope.attack); // beyond the count: untouched
  // The same count again changes nothing: notes keep playing.
  p.on(62);
  p.v.SetParameterFromGUI(Veltrane::kParamVoices, 0.4);
  EXPECT_TRUE(p.v.voices[p.voiceOf(62)].keyDown);
}

TEST(Notes, DroneNote)
{
  Player p(4);
  p.v.startDroneMode(60);
  p.v.startDroneMode(60);
  EXPECT_EQ(2, p.v.midiQueue.Pending());
  p.h.run(44);
  EXPECT_EQ(0, p.voiceOf(60)); // the second note on re-triggers the same voice
  EXPECT_EQ(2, p.v.voices[0].noteOnCounter);
  EXPECT_FALSE(p.v.voices[1].active);
  p.v.startDroneMode(-1);
  EXPECT_FALSE(p.v.voices[0].keyDown);
  EXPECT_EQ(0.0, p.v.voices[0].envelope.level);
}

TEST(Notes, MidiProgramChangeTakesEffectOnceBuiltAndLaterNotesWaitForIt)
{
  Player p(4);
  p.v.changePreset(3);
  p.v.SetParameterFromGUI(Veltrane::kParamVolume, 0.5); // 1.0
  p.v.changePreset(0);                                  // program 3 keeps its edit
  EXPECT_EQ(0, p.h.dispatch(effGetProgram));
  EXPECT_DOUBLE_EQ(0.5, p.v.volume);
  p.on(60);
  // The stage is busy (held here): the program cannot be built yet. Blocks play the old program and hold
  // back the note that came after the change.
  ASSERT_TRUE(p.v.stage->hold());
  p.h.midi(0, 0xC0, 3, 0);
  p.h.midi(1, 0x90, 64, 100);
  for (int b = 0; b < 3; ++b) p.h.run(44);
  EXPECT_EQ(0, p.v.GetCurrentPresetIdx()); // in place (the host is answered the program it asked for)
  EXPECT_DOUBLE_EQ(0.5, p.v.volume);
  EXPECT_NE(-1, p.voiceOf(60));
  EXPECT_EQ(-1, p.voiceOf(64));
  p.v.stage->end();
  p.v.stage->waitUntilReady();
  p.h.run(44); // the change takes effect at the block's start; the late note at its first tick
  EXPECT_EQ(3, p.v.GetCurrentPresetIdx());
  EXPECT_DOUBLE_EQ(1.0, p.v.volume);
  EXPECT_EQ(-1, p.voiceOf(60)); // the switch stopped the notes
  EXPECT_NE(-1, p.voiceOf(64));
  EXPECT_EQ(1, p.v.numPressedKeys);
}

TEST(Notes, MidiProgramChangeOfAnOfflineRenderSwitchesAtOnce)
{
  Player p(4);
  p.h.offline = true;
  p.on(60);
  p.h.midi(0, 0xC0, 3, 0);
  p.h.midi(1, 0x90, 64, 100); // queued behind the switch; its tick is the next block's first sample
  p.h.run(44);
  EXPECT_EQ(3, p.h.dispatch(effGetProgram));
  EXPECT_EQ(-1, p.voiceOf(60));
  p.h.run(44);
  EXPECT_NE(-1, p.voiceOf(64));
}
