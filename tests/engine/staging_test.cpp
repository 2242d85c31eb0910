// Programs built aside: the host's program changes, program chunks and banks, and MIDI program changes never
// read a program through the live engine (they are built in the staging engine and taken over); a program
// built before the host changed the sample rate is built again for the new rate; an editor replacement
// whose modules no longer fit its slot (a program change came between the post and the block) gets modules
// built again for the slot as it is.
#include "Envelope.h"
#include "K35.h"
#include "ModuleConventions.h"
#include "OscWavetable.h"
#include "ProgramStage.h"
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {
// Counts the program states the live engine itself reads.
class CountingLoads : public Veltrane
{
public:
  explicit CountingLoads(IPlugInstanceInfo info) : Veltrane(info) {}
  int UnserializeState(ByteChunk* chunk, int pos) override
  {
    ++liveLoads;
    return Veltrane::UnserializeState(chunk, pos);
  }
  int liveLoads = 0;
};

IPlugVST* makeCounting(IPlugInstanceInfo info)
{
  return new CountingLoads(info);
}

// Program 3 holds a wavetable oscillator in slot 0 of every voice and an LFO in the master section's slot 12
// (and a K35 filter in slot 1 with withFilter); program 0 is current afterwards.
void makeProgram3(Veltrane& v, bool withFilter = false)
{
  v.changePreset(3);
  v.replaceModule(0, ModuleConfig::MOD_OSCWAVETABLE, false, false);
  v.replaceModule(12, ModuleConfig::MOD_LFO, true, false);
  if (withFilter) v.replaceModule(1, ModuleConfig::MOD_K35, false, false);
  v.ModifyCurrentPreset("Staged");
  v.changePreset(0);
}

// A MIDI program change to program 3 in the next block, and the staging engine's build of it finished.
void midiProgramChange3(HostedVeltrane& h)
{
  h.midi(0, 0xC0, 3, 0);
  h.sendEvents();
  h.plug->stage->waitUntilReady();
}

// The patch of program makeProgram made, as the live engine runs it: every voice holds its modules, those
// beyond the voice count too.
void expectProgramInPlace(Veltrane& v)
{
  EXPECT_EQ(ModuleConfig::MOD_OSCWAVETABLE, v.slotConfig[0].moduleID);
  ASSERT_LT(v.activeVoices, Veltrane::kNumVoices);
  for (int voice : {0, v.activeVoices - 1, v.activeVoices}) {
    const Module* m = v.voices[voice].modules[0];
    ASSERT_NE(nullptr, m);
    EXPECT_NE(nullptr, dynamic_cast<const OscWavetable*>(m));
    EXPECT_EQ(&v.slotConfig[0], m->config);
    EXPECT_EQ(&v.voices[voice], m->voice);
    EXPECT_EQ(&v, m->owner);
  }
  ASSERT_TRUE(v.slotConfig[12].master);
  ASSERT_NE(nullptr, v.masterModules[12]);
  EXPECT_EQ(&v.slotConfig[12], v.masterModules[12]->config);
  EXPECT_EQ(&v, v.masterModules[12]->owner);
}
} // namespace

TEST(ProgramStage, HostLoadsAndMidiProgramChangesNeverReadAProgramThroughTheLiveEngine)
{
  HostedVeltrane h(44100, 64, makeCounting);
  auto& v = *static_cast<CountingLoads*>(h.plug);
  makeProgram3(v);
  std::vector<unsigned char> bank = h.bank();
  bank.pop_back(); // the index the harness appends
  h.dispatch(effSetProgram, 0, 3);
  const std::vector<unsigned char> program3 = h.programChunk();
  h.dispatch(effSetProgram, 0, 0);
  v.liveLoads = 0;

  h.dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(3, h.dispatch(effGetProgram));
  expectProgramInPlace(v);

  h.dispatch(effSetProgram, 0, 0);
  ASSERT_EQ(1, h.dispatch(effSetChunk, 1, (VstIntPtr)program3.size(), (void*)program3.data()));
  expectProgramInPlace(v);

  // A bank: its programs are read as state; the current one (0) is put in place.
  ASSERT_EQ(1, h.dispatch(effSetChunk, 0, (VstIntPtr)bank.size(), (void*)bank.data()));
  EXPECT_STREQ("Staged", v.GetPresetName(3));
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[0].moduleID);

  // A MIDI program change: the block after the event still plays program 0 unless the program was built.
  midiProgramChange3(h);
  h.run(64);
  EXPECT_EQ(3, h.dispatch(effGetProgram));
  expectProgramInPlace(v);
  EXPECT_EQ(0, v.liveLoads);
}

// What the host changes between the build and the next block, and how a module built for the engine as it is
// now shows it.
TEST(ProgramStage, AProgramBuiltBeforeTheHostChangedTheEngineIsBuiltAgainForIt)
{
  struct Change
  {
    const char* what;
    void (*apply)(HostedVeltrane&);
  };
  const Change changes[] = {
      {"the sample rate",
       [](HostedVeltrane& h) {
         h.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
         h.dispatch(effMainsChanged, 0, 1);
       }},
      // A table a quarter tone up is there from the start; only its use is switched on.
      {"custom tuning on", [](HostedVeltrane& h) { h.plug->SetParameterFromGUI(Veltrane::kParamCustomTuning, 1.0); }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    HostedVeltrane h(44100, 64);
    Veltrane& v = *h.plug;
    makeProgram3(v, true);
    for (int n = 0; n < Synth::kNumNotes; ++n) v.tuningTable[n] = n * 128 + 64;
    h.run(64);
    midiProgramChange3(h); // built for the engine as it was
    change.apply(h);
    h.run(64); // refused: it was built for another engine
    EXPECT_EQ(0, v.GetCurrentPresetIdx());
    v.stage->waitUntilReady();
    h.run(64);
    EXPECT_EQ(3, v.GetCurrentPresetIdx());
    expectProgramInPlace(v);
    // The filters key to the tuning the program plays with.
    const int reference = v.getFrequency(48);
    for (int voice : {0, v.activeVoices - 1}) {
      EXPECT_EQ(ModuleConventions::phaseIncrementTable(v.GetSampleRate()),
                static_cast<const OscWavetable*>(v.voices[voice].modules[0])->freq2PhInc);
      EXPECT_EQ(reference, static_cast<const K35*>(v.voices[voice].modules[1])->referencePitch);
    }
  }
}

TEST(ProgramStage, AReplacementThatMeetsAnotherTuningGetsModulesBuiltForIt)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  makeProgram3(v);
  v.postCommand(Veltrane::kCommandReplace, 12, ModuleConfig::MOD_ENVELOPE); // modules built for this tuning
  for (int n = 0; n < Synth::kNumNotes; ++n) v.tuningTable[n] = n * 128 + 64;
  v.SetParameterFromGUI(Veltrane::kParamCustomTuning, 1.0); // another when the block comes
  h.run(64); // the modules do not fit: the command waits for the worker
  EXPECT_NE(v.commandHead.load(), v.commandTail.load()) << "carried out with modules made for another tuning";
  v.serviceCommands(); // the worker's build (it may have run already)
  h.run(64);
  EXPECT_EQ(v.commandHead.load(), v.commandTail.load());
  EXPECT_EQ(ModuleConfig::MOD_ENVELOPE, v.slotConfig[12].moduleID);
  for (int voice : {0, Veltrane::kNumVoices - 1}) {
    const Module* m = v.voices[voice].modules[12];
    ASSERT_NE(nullptr, dynamic_cast<const Envelope*>(m));
    EXPECT_EQ(&v.slotConfig[12], m->config);
    EXPECT_EQ(&v.voices[voice], m->voice);
  }
}

// A program put in place from the staging engine leaves the live engine as a load in place leaves it: the
// values the take-over copies, and notes that stop when the voice count changes.
TEST(ProgramStage, AProgramTakenOverLeavesTheEngineAsALoadInPlaceDoes)
{
  const std::vector<unsigned char> program = [] {
    HostedVeltrane source(44100, 64);
    Veltrane& v = *source.plug;
    v.replaceModule(0, ModuleConfig::MOD_OSCILLATOR, false, false);
    const std::pair<int, float> values[] = {{Veltrane::kParamVoices, 0.0f},   {Veltrane::kParamPortaLegato, 1.0f},
                                            {Veltrane::kParamPortamento, 0.4f}, {Veltrane::kParamPBRange, 0.8f},
                                            {Veltrane::kParamVolume, 0.3f},    {Veltrane::kParamCustomTuning, 1.0f}};
    for (const auto& [param, value] : values) v.SetParameterFromGUI(param, value);
    v.midiSourceCC[2] = 7;
    return source.programChunk();
  }();
  HostedVeltrane staged(44100, 64), plain(44100, 64);
  plain.plug->stage.reset(); // no staging engine: the program is read in place
  for (HostedVeltrane* h : {&staged, &plain}) {
    h->effect->setParameter(h->effect, Veltrane::kParamVoices, 0.3f); // 8 voices, then the program's 1
    for (int note : {48, 52, 55, 60}) h->midi(0, 0x90, note, 100);
    h->run(256);
    ASSERT_EQ(1, h->dispatch(effSetChunk, 1, (VstIntPtr)program.size(), (void*)program.data()));
    h->run(256);
  }
  const Veltrane &s = *staged.plug, &p = *plain.plug;
  ASSERT_EQ(1, p.activeVoices);
  EXPECT_TRUE(p.portaLegatoOn);
  EXPECT_EQ(7, s.midiSourceCC[2]);
  const auto taken = [](const Veltrane& v) {
    std::vector<double> values = {(double)v.activeVoices, (double)v.portaLegatoOn, v.portamentoTime,
                                  (double)v.pitchBendRange, v.volume, (double)v.customTuningOn};
    for (const auto& voice : v.voices) values.push_back(voice.keyDown);
    return values;
  };
  EXPECT_EQ(taken(p), taken(s)) << "active voices, legato, portamento, bend range, volume, tuning, keys down";
}

// A host's program change after a MIDI program change that is still being built: the host's comes last and
// stays (the MIDI one is done with, not put in place a block later).
TEST(ProgramStage, AHostProgramChangeAfterAMidiOneStays)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  makeProgram3(v);
  h.run(64);
  h.midi(0, 0xC0, 3, 0);
  h.sendEvents();
  h.dispatch(effSetProgram, 0, 5);
  v.stage->waitUntilReady();
  for (int block = 0; block < 4; ++block) h.run(64);
  EXPECT_EQ(5, h.dispatch(effGetProgram));
  EXPECT_EQ(ModuleConfig::MOD_EMPTY, v.slotConfig[0].moduleID);
  // The same with a program that holds nothing (an instance made without the entry's factory programs): it
  // takes the live state, and the MIDI change before it is done with (the stage is held: nothing builds it).
  auto bare = MakeVeltrane();
  bare->SetSampleRate(44100.0);
  bare->Reset();
  ASSERT_FALSE(bare->IsPresetInitialized(9));
  ASSERT_TRUE(bare->stage->hold());
  IMidiMsg change(0, 0xC0, 3, 0);
  bare->ProcessMidiMsg(&change);
  ASSERT_TRUE(bare->stage->pending());
  bare->RestorePreset(9);
  EXPECT_FALSE(bare->stage->pending()) << "the MIDI change lands after the program chosen later";
  bare->stage->end();
  // A MIDI change to a program that holds nothing: the live state comes from it afterwards, so edits go in.
  ASSERT_FALSE(bare->IsPresetInitialized(10));
  IMidiMsg toEmpty(0, 0xC0, 10, 0);
  bare->ProcessMidiMsg(&toEmpty);
  bare->SettlePendingProgram();
  ASSERT_EQ(10, bare->GetCurrentPresetIdx());
  bare->SetParameterFromGUI(Veltrane::kParamVolume, 0.3);
  EXPECT_TRUE(bare->ModifyCurrentPreset()) << "the live state is not taken for the program it was put in";
}

// A build for a program change stops between slots once the change is done with or left to another thread
// (a load after it need not wait for the whole build), and goes on while it is not.
TEST(ProgramStage, ABuildStopsOnceItsChangeIsLeft)
{
  HostedVeltrane h(44100, 64);
  makeProgram3(*h.plug);
  ByteChunk state;
  ASSERT_TRUE(h.plug->CopyPresetState(3, &state));
  std::unique_ptr<Veltrane> stage = Veltrane::makeStage(*h.plug);
  stage->SetSampleRate(44100.0);
  stage->Reset();
  for (const unsigned left : {6u, 7u, 8u}) { // the change is request 7
    const std::atomic<unsigned> mark{left};
    stage->abandonWhenDone = &mark;
    stage->abandonAt = 7;
    EXPECT_EQ(left >= 7, stage->UnserializeState(&state, 0) < 0) << "left up to request " << left;
  }
  stage->abandonWhenDone = nullptr;
}

// Commands queued one after another: a replacement's modules are made for the slot as the commands before
// it leave it (here a master slot), so the block carries out both.
TEST(ProgramStage, AReplacementQueuedAfterAMoveToTheMasterSectionFitsIt)
{
  HostedVeltrane h(44100, 64);
  Veltrane& v = *h.plug;
  h.run(64);
  v.postCommand(Veltrane::kCommandToggleMaster, 5, 1);
  v.postCommand(Veltrane::kCommandReplace, 5, ModuleConfig::MOD_LFO);
  h.run(64);
  EXPECT_EQ(v.commandHead.load(), v.commandTail.load());
  EXPECT_TRUE(v.slotConfig[5].master);
  EXPECT_EQ(ModuleConfig::MOD_LFO, v.slotConfig[5].moduleID);
}

// The host automates the voice count on the audio thread while its main thread loads programs: every load is
// still built aside (a program sets its own voice count), none is read in place under the mutex the audio
// thread waits for.
TEST(ProgramStage, VoiceCountAutomationDuringLoadsRefusesNoBuild)
{
  HostedVeltrane h(44100, 64, makeCounting);
  auto& v = *static_cast<CountingLoads*>(h.plug);
  makeProgram3(v);
  v.liveLoads = 0;
  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < 20; ++i) h.dispatch(effSetProgram, 0, i % 2 ? 3 : 0);
    done.store(true);
  });
  for (int b = 0; !done.load(); ++b) {
    h.effect->setParameter(h.effect, Veltrane::kParamVoices, b % 2 ? 0.9f : 1.0f);
    h.run(64);
  }
  host.join();
  EXPECT_EQ(0, v.liveLoads);
}
