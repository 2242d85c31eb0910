// Start-up bank programs of the modulators and sequencers (programs 38..49): each plays a simple voice,
// oscillator -> ladder filter -> amplifier, with the family's modulators doing what a musician uses them
// for: vibrato, a tempo-locked wobble, plucks and swells, random steps, arpeggios, rhythmic gates and
// patterns that follow the host's tempo.
#include "BankBuilder.h"
#include "LFO.h"
#include "LFO2.h"
#include "Oscillator.h"
#include "Sequencer.h"

#include <cstring>

namespace {
using ID = ModuleConfig;
using SD = SourceDef;

// Slots of the voice every program starts from; the modulators take slots from 3 on.
enum { kOsc = 0, kFilter = 1, kAmp = 2 };

// Pitch modulation of the oscillators and filters is in 1/128 semitone per unit of the source.
constexpr double kSemitone = 128.0;
constexpr double kOctave = 12.0 * kSemitone;

// Oscillator -> LP 24 ladder at a cutoff -> amplifier into the voice sums. VCA 1 of the amplifier is left
// for the program's envelope; VCA 2 follows the velocity. A stereo program takes the stereo ladder, whose
// right side the program feeds and takes to the amplifier's input B.
void voice(BankBuilder& b, int waveform, double cutoff, double resonance, bool stereo = false)
{
  b.module(kOsc, ID::MOD_OSCILLATOR);
  b.module(kFilter, stereo ? ID::MOD_STEREOLADDER : ID::MOD_LADDER);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.setSlot(kOsc, 0, waveform);
  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SD::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.setSlot(kFilter, 1, cutoff);
  b.setSlot(kFilter, 2, resonance);
  b.setSlot(kFilter, 12, 0.5); // half key tracking
  b.connect(kAmp, 1, SD::AUDIO, kFilter, 0);
  b.setSlot(kAmp, 10, 1.0); // VCA 1 depth: the program's envelope alone sets the level
  b.velocityToLevel(kAmp, 0.5);
  if (stereo) {
    b.connect(kAmp, 3, SD::AUDIO, kFilter, 1);
    b.setSlot(kAmp, 4, 0.0); // A left
    b.setSlot(kAmp, 7, 1.0); // B right
  }
  b.v->plugToCommon(kAmp);
  b.set(Veltrane::kParamVoices, 5);       // 16 voices
  b.set(Veltrane::kParamOutRelease, 0.4); // the voice outlives the module envelopes' releases
}

// An audio output into an input that takes audio or modulation.
void connectAudioOrMod(BankBuilder& b, int slot, int p, int module, int index)
{
  b.setSlot(slot, p, b.v->voiceSources.getPosition(SD::AUDIO_OR_MOD, SD::AUDIO, module, index));
}

int division(const char* label)
{
  for (int d = 0; d < Clock::kNumRates; ++d)
    if (!std::strcmp(Clock::labelSyncRate[d], label)) return d;
  return 0;
}

void clockGate(BankBuilder& b, int slot, int p, const char* label)
{
  b.connect(slot, p, SD::GATE, SD::kGroupClock, division(label));
}

// An Envelope on the voice's gate driving the amplifier's VCA 1 (segment values 0..1).
void ampEnvelope(BankBuilder& b, int slot, double attack, double decay, double sustain, double release)
{
  b.module(slot, ID::MOD_ENVELOPE);
  b.noteEnvelope(slot, attack, decay, sustain, release);
  b.connect(kAmp, 11, SD::MODULATION, slot, 0);
}

// 38: a saw lead with a 5.5 Hz vibrato, a quarter semitone deep, to more than half a semitone with the
// modulation wheel.
void vibratoLead(BankBuilder& b)
{
  enum { kLfo = 3, kEnv = 4 };
  b.begin(kRangeModulators + 0);
  voice(b, Oscillator::kSaw, 0.66, 0.2);
  ampEnvelope(b, kEnv, 0.1, 0.4, 0.8, 0.3);
  b.module(kLfo, ID::MOD_LFO);
  b.setSlot(kLfo, 3, 5.5);
  b.setSlot(kLfo, 6, 1.0);
  b.setSlot(kLfo, 7, 0.6); // the wheel at 0 leaves 0.4 of the level
  b.connect(kLfo, 8, SD::MODULATION, SD::kGroupCommonMod, SD::MOD_MW_POS);
  b.setSlot(kOsc, 6, 0.6 * kSemitone);
  b.connect(kOsc, 7, SD::MODULATION, kLfo, 0);
  b.level(0.33);
  b.finish("LFO Vibrato Lead");
}

// 39: a resonant bass whose filter swings with a triangle locked to eighth notes of the host's tempo, one
// LFO in the master section for every voice.
void wobbleBass(BankBuilder& b)
{
  enum { kLfo = 3, kEnv = 4 };
  b.begin(kRangeModulators + 1);
  voice(b, Oscillator::kSaw, 0.4, 0.55);
  b.setSlot(kOsc, 4, -12);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.9, 0.25);
  b.module(kLfo, ID::MOD_LFO, true);
  b.setSlot(kLfo, 0, LFO::kTrapezoid);
  b.setSlot(kLfo, 10, division("1/8") + 1);
  b.setSlot(kFilter, 7, 2.5 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kLfo, 1); // positive output: the filter opens upward from its cutoff
  b.level(0.29);
  b.finish("LFO Tempo Wobble Bass");
}

// 40: a plucked saw: dual envelope A shapes the level, B a faster filter pluck.
void dualEnvelopePluck(BankBuilder& b)
{
  enum { kEnv2 = 3 };
  b.begin(kRangeModulators + 2);
  voice(b, Oscillator::kSaw, 0.35, 0.3);
  b.module(kEnv2, ID::MOD_ENVELOPE2);
  b.voiceTrigger(kEnv2, 0);
  b.voiceTrigger(kEnv2, 1);
  b.setSlot(kEnv2, 2, 0.0);  // attack A: 5 ms
  b.setSlot(kEnv2, 4, 0.5);  // decay A: 0.6 s
  b.setSlot(kEnv2, 6, 0.2);  // sustain A
  b.setSlot(kEnv2, 8, 0.35); // release A
  b.setSlot(kEnv2, 3, 0.0);  // attack B
  b.setSlot(kEnv2, 5, 0.35); // decay B: 0.19 s
  b.setSlot(kEnv2, 7, 0.1);
  b.setSlot(kEnv2, 9, 0.3);
  b.connect(kAmp, 11, SD::MODULATION, kEnv2, 0);
  b.setSlot(kFilter, 7, 4.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kEnv2, 1);
  b.level(0.33);
  b.finish("Dual Envelope Pluck");
}

// 41: chords pulsing in eighth notes: quad envelope A is struck by the eighths and shapes the level, B by
// the quarters and accents the filter, C by the note itself and drops the pitch an octave into place.
void quadEnvelopePulse(BankBuilder& b)
{
  enum { kEnv4 = 3 };
  b.begin(kRangeModulators + 3);
  voice(b, Oscillator::kPulse, 0.45, 0.35);
  b.module(kEnv4, ID::MOD_ENVELOPE4);
  clockGate(b, kEnv4, 0, "1/8");
  clockGate(b, kEnv4, 1, "1/4");
  b.voiceTrigger(kEnv4, 2);
  b.setSlot(kEnv4, 4, 0.0); // attacks
  b.setSlot(kEnv4, 5, 0.0);
  b.setSlot(kEnv4, 6, 0.0);
  b.setSlot(kEnv4, 8, 0.4);  // decay A: 0.3 s
  b.setSlot(kEnv4, 9, 0.3);  // decay B
  b.setSlot(kEnv4, 10, 0.2); // decay C: 40 ms
  b.connect(kAmp, 11, SD::MODULATION, kEnv4, 0);
  b.setSlot(kFilter, 7, 3.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kEnv4, 1);
  b.setSlot(kOsc, 6, kOctave);
  b.connect(kOsc, 7, SD::MODULATION, kEnv4, 2);
  b.level(0.44);
  b.finish("Quad Envelope Pulse");
}

// 42: a pad that swells in linearly: A (0.8 s attack, 0.8 s release) sets the level, B opens the filter over
// 1.5 s. Two saws a few cents apart, one on each side of the stereo filter.
void linearSwellPad(BankBuilder& b)
{
  enum { kOsc2 = 3, kLin = 4 };
  b.begin(kRangeModulators + 4);
  voice(b, Oscillator::kSaw, 0.45, 0.15, true);
  b.module(kOsc2, ID::MOD_OSCILLATOR);
  b.setSlot(kOsc2, 0, Oscillator::kSaw);
  b.setSlot(kOsc2, 5, 9); // 7 cents up
  b.connect(kFilter, 6, SD::AUDIO, kOsc2, 0);
  b.setSlot(kFilter, 3, 0.6);
  b.setSlot(kFilter, 5, 0.6);
  b.module(kLin, ID::MOD_LINENVELOPE);
  b.voiceTrigger(kLin, 0);
  b.voiceTrigger(kLin, 1);
  b.setSlot(kLin, 2, 0.8); // attack A (s)
  b.setSlot(kLin, 4, 1.0); // decay A
  b.setSlot(kLin, 6, 0.7); // sustain A
  b.setSlot(kLin, 8, 0.8); // release A
  b.setSlot(kLin, 3, 1.5); // attack B
  b.setSlot(kLin, 5, 2.0); // decay B
  b.setSlot(kLin, 7, 0.5);
  b.setSlot(kLin, 9, 0.8);
  b.connect(kAmp, 11, SD::MODULATION, kLin, 0);
  b.setSlot(kFilter, 7, 2.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kLin, 1);
  b.level(0.3);
  b.finish("Linear Env Swell Pad");
}

// 43: two saws drifting against each other, one on each side of the stereo filter, each bent by one LFO of a
// dual LFO (slow triangle and sine), while the sine also breathes in the filter.
void dualLfoEnsemble(BankBuilder& b)
{
  enum { kOsc2 = 3, kLfo2 = 4, kEnv = 5 };
  b.begin(kRangeModulators + 5);
  voice(b, Oscillator::kSaw, 0.5, 0.2, true);
  b.module(kOsc2, ID::MOD_OSCILLATOR);
  b.setSlot(kOsc2, 0, Oscillator::kSaw);
  b.connect(kFilter, 6, SD::AUDIO, kOsc2, 0);
  b.setSlot(kFilter, 3, 0.6);
  b.setSlot(kFilter, 5, 0.6);
  ampEnvelope(b, kEnv, 0.3, 0.5, 0.85, 0.35);
  b.module(kLfo2, ID::MOD_LFO2);
  b.setSlot(kLfo2, 0, LFO2::kTriangle);
  b.setSlot(kLfo2, 1, LFO2::kSine);
  b.setSlot(kLfo2, 2, 0.7);
  b.setSlot(kLfo2, 3, 0.45);
  b.setSlot(kOsc, 6, 0.15 * kSemitone);
  b.connect(kOsc, 7, SD::MODULATION, kLfo2, 0);
  b.setSlot(kOsc2, 6, -0.15 * kSemitone);
  b.connect(kOsc2, 7, SD::MODULATION, kLfo2, 2);
  b.setSlot(kFilter, 7, 1.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kLfo2, 3);
  b.level(0.3);
  b.finish("Dual LFO Ensemble");
}

// 44: the classic random filter: channel A of the sample and hold takes a new value of its own white
// noise eight times a second and sets the filter; channel B, struck by the sixteenths, moves the pulse
// width. A breath of pink noise joins the oscillator in the filter.
void randomFilter(BankBuilder& b)
{
  enum { kSH = 3, kEnv = 4 };
  b.begin(kRangeModulators + 6);
  voice(b, Oscillator::kPulse, 0.45, 0.6);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.8, 0.3);
  b.module(kSH, ID::MOD_SHNOISE);
  b.setSlot(kSH, 0, 1.0);  // white level: the source of the random steps
  b.setSlot(kSH, 1, 0.05); // pink level: a little air in the filter
  b.setSlot(kSH, 2, 8.0);  // rate A
  connectAudioOrMod(b, kSH, 6, kSH, 0);
  clockGate(b, kSH, 5, "1/16");
  connectAudioOrMod(b, kSH, 7, kSH, 1);
  b.connect(kFilter, 6, SD::AUDIO, kSH, 1);
  b.setSlot(kFilter, 5, 1.0);
  b.setSlot(kFilter, 7, 2.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kSH, 0);
  b.setSlot(kOsc, 1, 0.3); // pulse width, moved by channel B
  b.setSlot(kOsc, 2, 0.8);
  b.connect(kOsc, 3, SD::MODULATION, kSH, 1);
  b.level(0.25);
  b.finish("S+H Random Filter");
}

// 45: an arpeggio: the step sequencer walks eight notes on the sixteenths, restarted by each new note, and
// its clock gate plucks the filter through a dual envelope.
void stepArpeggio(BankBuilder& b)
{
  enum { kSeq = 3, kEnv2 = 4, kEnv = 5 };
  b.begin(kRangeModulators + 7);
  voice(b, Oscillator::kSaw, 0.45, 0.4);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.8, 0.3);
  b.module(kSeq, ID::MOD_SEQUENCER);
  clockGate(b, kSeq, 0, "1/16");
  b.voiceTrigger(kSeq, 1);
  const int semitones[8] = {0, 7, 12, 7, 3, 10, 15, 10};
  for (int k = 0; k < 8; ++k) b.setSlot(kSeq, 5 + k, semitones[k] / 12.0 / 2.0); // value x 24 = semitones
  b.setSlot(kOsc, 6, 2.0 * kOctave);
  b.connect(kOsc, 7, SD::MODULATION, kSeq, 0);
  b.module(kEnv2, ID::MOD_ENVELOPE2);
  b.connect(kEnv2, 0, SD::GATE, kSeq, 0); // "Clock" of each step
  // The clock gate is a one-tick pulse, so the pluck is the release: 0.4 falls a decade in 0.3 s.
  b.setSlot(kEnv2, 4, 0.4);
  b.setSlot(kEnv2, 6, 0.0);
  b.setSlot(kEnv2, 8, 0.4);
  b.setSlot(kFilter, 7, 3.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kEnv2, 0);
  b.level(0.32);
  b.finish("Step Sequencer Arpeggio");
}

// 46: the sequenced switch hands the filter a different modulation on every eighth note: a fast sine, a
// random step, fully open, then closed.
void switchedModulation(BankBuilder& b)
{
  enum { kLfo2 = 3, kSwitch = 4, kEnv = 5 };
  b.begin(kRangeModulators + 8);
  voice(b, Oscillator::kSaw, 0.35, 0.5);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.85, 0.3);
  b.module(kLfo2, ID::MOD_LFO2);
  b.setSlot(kLfo2, 0, LFO2::kSine);
  b.setSlot(kLfo2, 2, 12.0);
  b.setSlot(kLfo2, 1, LFO2::kRandom);
  b.setSlot(kLfo2, 3, 16.0);
  b.module(kSwitch, ID::MOD_SEQSWITCH);
  clockGate(b, kSwitch, 1, "1/8");
  b.setSlot(kSwitch, 2, 0); // divider "1"
  b.voiceTrigger(kSwitch, 3);
  b.setSlot(kSwitch, 6, 3); // four steps
  b.connect(kSwitch, 7, SD::MODULATION, kLfo2, 1);
  b.connect(kSwitch, 8, SD::MODULATION, kLfo2, 3);
  b.connect(kSwitch, 9, SD::MODULATION, SD::kGroupCommonMod, SD::MOD_ON);
  b.setSlot(kFilter, 7, 3.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kSwitch, 0);
  b.level(0.29);
  b.finish("Seq Switch Filter Moves");
}

// 47: a trance gate: the audio switch steps on the sixteenths through the saw, a rest, the pulse an octave
// up and the saw again, with 1 ms fades between them.
void audioGate(BankBuilder& b)
{
  enum { kOsc2 = 3, kSwitch = 4, kEnv = 5 };
  b.begin(kRangeModulators + 9);
  voice(b, Oscillator::kSaw, 0.55, 0.3);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.9, 0.3);
  b.module(kOsc2, ID::MOD_OSCILLATOR);
  b.setSlot(kOsc2, 0, Oscillator::kPulse);
  b.setSlot(kOsc2, 4, 12);
  b.module(kSwitch, ID::MOD_AUDIOSWITCH);
  clockGate(b, kSwitch, 1, "1/16");
  b.setSlot(kSwitch, 2, 0);
  b.voiceTrigger(kSwitch, 3);
  b.setSlot(kSwitch, 6, 3);
  b.connect(kSwitch, 7, SD::AUDIO, kOsc, 0);
  b.connect(kSwitch, 9, SD::AUDIO, kOsc2, 0);
  b.connect(kSwitch, 10, SD::AUDIO, kOsc, 0);
  b.connect(kFilter, 4, SD::AUDIO, kSwitch, 0);
  b.level(0.33);
  b.finish("Audio Switch Gate");
}

// 48: a groove on held chords: the beat sequencer's lines strike a quad envelope on the sixteenths:
// line A (eighths with a syncopated push) the level, B (beats 2 and 4) the filter, C (offbeat sixteenths) a
// short pitch blip an octave up.
void beatGroove(BankBuilder& b)
{
  enum { kBeat = 3, kEnv4 = 4 };
  b.begin(kRangeModulators + 10);
  voice(b, Oscillator::kSaw, 0.4, 0.45);
  b.module(kBeat, ID::MOD_BEATSEQ);
  clockGate(b, kBeat, 0, "1/16");
  b.voiceTrigger(kBeat, 2);
  b.setSlot(kBeat, 5, 0x5655); // steps 1 3 5 7 9 10 11 13 15
  b.setSlot(kBeat, 6, 0x1010); // steps 5 and 13
  b.setSlot(kBeat, 7, 0x8822); // steps 2 6 12 16
  b.module(kEnv4, ID::MOD_ENVELOPE4);
  for (int line = 0; line < 3; ++line) b.connect(kEnv4, line, SD::GATE, kBeat, 5 + line);
  b.setSlot(kEnv4, 8, 0.4);  // decay A
  b.setSlot(kEnv4, 9, 0.35); // decay B
  b.setSlot(kEnv4, 10, 0.1); // decay C
  b.connect(kAmp, 11, SD::MODULATION, kEnv4, 0);
  b.setSlot(kFilter, 7, 3.0 * kOctave);
  b.connect(kFilter, 8, SD::MODULATION, kEnv4, 1);
  b.setSlot(kOsc, 6, kOctave);
  b.connect(kOsc, 7, SD::MODULATION, kEnv4, 2);
  b.level(0.46);
  b.finish("Beat Sequencer Groove");
}
// 49: two four-step sequencers chained into an eight-step bass line. A plays its four notes on the eighths
// and stops; from then on its clocks pass to B through "Clock Link", A's "Stop" restarts B and A's output
// follows B through its stop input. When B stops in turn, its "Clock Link" restarts A.
void chainedSequencers(BankBuilder& b)
{
  enum { kSeqA = 3, kSeqB = 4, kEnv = 5 };
  b.begin(kRangeModulators + 11);
  voice(b, Oscillator::kSaw, 0.38, 0.5);
  b.setSlot(kOsc, 4, -12);
  ampEnvelope(b, kEnv, 0.0, 0.5, 0.85, 0.25);
  b.module(kSeqA, ID::MOD_SEQUENCER);
  b.module(kSeqB, ID::MOD_SEQUENCER);
  const int notesA[4] = {0, 0, 12, 10}, notesB[4] = {7, 7, 5, 3};
  for (int slot : {(int)kSeqA, (int)kSeqB}) {
    b.setSlot(slot, 2, 0); // loop off
    b.setSlot(slot, 4, 3); // four steps
    for (int k = 0; k < 4; ++k) b.setSlot(slot, 5 + k, (slot == kSeqA ? notesA[k] : notesB[k]) / 24.0);
  }
  clockGate(b, kSeqA, 0, "1/8");
  b.connect(kSeqA, 1, SD::GATE, kSeqB, Sequencer::kClockLink);
  b.connect(kSeqA, 3, SD::MODULATION, kSeqB, 0);
  b.connect(kSeqB, 0, SD::GATE, kSeqA, Sequencer::kClockLink);
  b.connect(kSeqB, 1, SD::GATE, kSeqA, Sequencer::kStop);
  b.setSlot(kOsc, 6, 2.0 * kOctave);
  b.connect(kOsc, 7, SD::MODULATION, kSeqA, 0);
  b.level(0.3);
  b.finish("Chained Sequencer Bass");
}
} // namespace

void buildModulatorPrograms(BankBuilder& b)
{
  vibratoLead(b);
  wobbleBass(b);
  dualEnvelopePluck(b);
  quadEnvelopePulse(b);
  linearSwellPad(b);
  dualLfoEnsemble(b);
  randomFilter(b);
  stepArpeggio(b);
  switchedModulation(b);
  audioGate(b);
  beatGroove(b);
  chainedSequencers(b);
}
