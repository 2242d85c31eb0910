// Start-up bank programs 30..35: the tool modules patched between modulators and sound the way a player
// would use them (a lag for glide, gate tools dividing the tempo clock to retrigger envelopes, a blender and
// a signal processor mixing oscillators, a modulation delay echoing a filter envelope, a voltage processor
// shaping velocity). Every voice is oscillator(s) -> filter -> amplifier with an envelope on its level.
#include "BankBuilder.h"

namespace {
using ID = ModuleConfig;

constexpr SourceDef::SourceType kAudio = SourceDef::AUDIO;
constexpr SourceDef::SourceType kMod = SourceDef::MODULATION;
constexpr SourceDef::SourceType kGate = SourceDef::GATE;

// Clock divisions (the order of Clock::labelSyncRate).
constexpr int kClockEighth = 12;    // "1/8"
constexpr int kClockSixteenth = 15; // "1/16"

// Envelope segment values: a whole segment takes about 10^(4.5 t - 2.3) s.
struct Adsr
{
  double attack, decay, sustain, release;
};

void envelope(BankBuilder& b, int slot, const Adsr& s)
{
  b.setSlot(slot, 2, s.attack);
  b.setSlot(slot, 5, s.decay);
  b.setSlot(slot, 8, s.sustain);
  b.setSlot(slot, 11, s.release);
}

void common(BankBuilder& b, int slot, int p, int item)
{
  b.connect(slot, p, kMod, SourceDef::kGroupCommonMod, item);
}

// A low-pass ladder on one audio output, cutoff 0..1, resonance, half key tracking.
void lowpass(BankBuilder& b, int slot, int source, int output, double cutoff, double resonance)
{
  b.setSlot(slot, 0, 1); // LP 24
  b.connect(slot, 4, kAudio, source, output);
  b.setSlot(slot, 3, 1.0);
  b.setSlot(slot, 1, cutoff);
  b.setSlot(slot, 2, resonance);
  b.setSlot(slot, 12, 0.5);
}

// Amplifier on one audio output, its level following an envelope and, by velocityDepth, the velocity, into
// the voice sums.
void amplifier(BankBuilder& b, int slot, int source, int output, int env, double gain, double velocityDepth)
{
  b.connect(slot, 1, kAudio, source, output);
  b.setSlot(slot, 0, gain);
  b.connect(slot, 11, kMod, env, 0);
  b.setSlot(slot, 10, 1.0);
  if (velocityDepth > 0.0) b.velocityToLevel(slot, velocityDepth);
  b.v->plugToCommon(slot);
}

void voices(BankBuilder& b)
{
  b.set(Veltrane::kParamVoices, 5);       // 16 voices
  b.set(Veltrane::kParamOutRelease, 0.4); // the voice outlives its module envelopes' release
}

// 30: each voice glides into its new note from its last one. A lag smooths the note value, an adder takes
// the note away again, and what is left (the glide still to go) bends the oscillators' pitch. Lag B
// smooths the modulation wheel into the cutoff, so a stepping MIDI wheel sweeps without zipper steps.
void glideLead(BankBuilder& b)
{
  b.begin(kRangeTools + 0);
  enum { kOscA, kOscB, kFilter, kEnv, kAmp, kLag, kFilterEnv };
  b.module(kOscA, ID::MOD_OSCILLATOR);
  b.module(kOscB, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kLag, ID::MOD_LAGADDER);
  b.module(kFilterEnv, ID::MOD_ENVELOPE);

  common(b, kLag, 0, SourceDef::MOD_NOTE); // note value: 1 per 48 semitones
  b.setSlot(kLag, 1, 0.5);                 // about 60 ms to half way
  common(b, kLag, 2, SourceDef::MOD_MW_POS);
  b.setSlot(kLag, 3, 0.6); // a quarter of a second to half way
  b.connect(kLag, 4, kMod, kLag, 0);
  b.setSlot(kLag, 5, 1.0);
  common(b, kLag, 6, SourceDef::MOD_NOTE);
  b.setSlot(kLag, 7, -1.0); // adder C: lagged note - note

  for (int osc : {kOscA, kOscB}) {
    b.setSlot(osc, 0, 1);             // Saw
    b.connect(osc, 7, kMod, kLag, 2); // the glide still to go
    b.setSlot(osc, 6, 6144.0);        // 1 unit = 48 semitones
  }
  b.setSlot(kOscB, 5, 9); // a few cents up: a slow beat

  lowpass(b, kFilter, kOscA, 0, 0.55, 0.3);
  b.connect(kFilter, 6, kAudio, kOscB, 0);
  b.setSlot(kFilter, 5, 1.0);
  b.connect(kFilter, 8, kMod, kLag, 1); // smoothed wheel opens the filter by up to three octaves
  b.setSlot(kFilter, 7, 4608.0);
  b.connect(kFilter, 10, kMod, kFilterEnv, 0);
  b.setSlot(kFilter, 9, 3072.0);

  b.voiceTrigger(kFilterEnv, 0);
  envelope(b, kFilterEnv, {0.0, 0.4, 0.2, 0.35});
  b.voiceTrigger(kEnv, 0);
  envelope(b, kEnv, {0.05, 0.45, 0.75, 0.3});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.5, 0.4);
  voices(b);
  b.level(0.35);
  b.finish("Glide Lead (Lag)");
}

// 31: gate tools divide the sixteenth-note clock: every second clock and the note itself (joined) pluck
// the filter envelope; every third clock starts a 40 ms pulse whose gate swells the resonance.
void clockDividedPluck(BankBuilder& b)
{
  b.begin(kRangeTools + 1);
  enum { kOsc, kFilter, kEnv, kAmp, kGates, kPluck, kAccent };
  b.module(kOsc, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kGates, ID::MOD_GATETOOLS);
  b.module(kPluck, ID::MOD_ENVELOPE);
  b.module(kAccent, ID::MOD_ENVELOPE);

  b.connect(kGates, 8, kGate, SourceDef::kGroupClock, kClockSixteenth);
  b.setSlot(kGates, 9, 1); // "2": eighth notes
  b.connect(kGates, 10, kGate, SourceDef::kGroupClock, kClockSixteenth);
  b.setSlot(kGates, 11, 2);                // "3": a three-against-two accent
  b.voiceTrigger(kGates, 12);             // join: the note ...
  b.connect(kGates, 13, kGate, kGates, 2); // ... and the divided clock C
  b.connect(kGates, 4, kGate, kGates, 3);  // divider D starts pulse B ...
  b.setSlot(kGates, 5, 0.04);              // ... 40 ms long, for the accent envelope
  b.setSlot(kOsc, 0, 2);                   // Pulse
  b.setSlot(kOsc, 1, 0.3);

  lowpass(b, kFilter, kOsc, 0, 0.35, 0.45);
  b.connect(kFilter, 8, kMod, kPluck, 0);
  b.setSlot(kFilter, 7, 6144.0); // the pluck opens four octaves
  b.connect(kFilter, 14, kMod, kAccent, 0);
  b.setSlot(kFilter, 13, 0.4);

  b.connect(kPluck, 0, kGate, kGates, 4); // join E
  envelope(b, kPluck, {0.0, 0.3, 0.0, 0.3});
  b.connect(kAccent, 0, kGate, kGates, 1); // pulse B
  envelope(b, kAccent, {0.0, 0.35, 0.0, 0.35});
  b.voiceTrigger(kEnv, 0);
  envelope(b, kEnv, {0.0, 0.5, 0.8, 0.3});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.6, 0.5);
  voices(b);
  b.level(0.31);
  b.finish("Div Pluck (Gate Tools)");
}

// 32: stabs in time: pulse A, started by the eighth-note clock, gates the level envelope for 90 ms (the
// modulation wheel stretches it to legato); pulse B, started by the note, gives the filter a 250 ms bite.
void gatedStabs(BankBuilder& b)
{
  b.begin(kRangeTools + 2);
  enum { kOscA, kOscB, kFilter, kEnv, kAmp, kGates, kFilterEnv };
  b.module(kOscA, ID::MOD_OSCILLATOR);
  b.module(kOscB, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kGates, ID::MOD_GATETOOLS);
  b.module(kFilterEnv, ID::MOD_ENVELOPE);

  b.connect(kGates, 0, kGate, SourceDef::kGroupClock, kClockEighth);
  b.setSlot(kGates, 1, 0.09);
  b.setSlot(kGates, 2, 0.15); // up to 240 ms with the wheel full
  common(b, kGates, 3, SourceDef::MOD_MW_POS);
  b.voiceTrigger(kGates, 4);
  b.setSlot(kGates, 5, 0.25);

  b.setSlot(kOscA, 0, 1); // Saw
  b.setSlot(kOscB, 0, 1);
  b.setSlot(kOscB, 4, 7); // a fifth above
  lowpass(b, kFilter, kOscA, 0, 0.45, 0.35);
  b.connect(kFilter, 6, kAudio, kOscB, 0);
  b.setSlot(kFilter, 5, 0.7);
  b.connect(kFilter, 8, kMod, kFilterEnv, 0);
  b.setSlot(kFilter, 7, 4608.0);

  b.connect(kFilterEnv, 0, kGate, kGates, 1); // pulse B
  envelope(b, kFilterEnv, {0.1, 0.35, 0.3, 0.35});
  b.connect(kEnv, 0, kGate, kGates, 0); // pulse A
  envelope(b, kEnv, {0.0, 0.4, 0.9, 0.2});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.5, 0.5);
  voices(b);
  b.level(0.43);
  b.finish("Clock Stabs (Gates)");
}

// 33: a pad that turns from a saw into a hollow pulse an octave down as the note is held: a slow envelope
// moves the blender; a signal processor adds a copy of the saw delayed by 15 samples, inverted, for a
// comb-filtered shimmer that the modulation wheel brings in. A slow LFO sways each voice across the stereo
// field.
void blendPad(BankBuilder& b)
{
  b.begin(kRangeTools + 3);
  enum { kSaw, kPulse, kFilter, kEnv, kAmp, kBlend, kDelay, kMix, kMorph, kSway };
  b.module(kSaw, ID::MOD_OSCILLATOR);
  b.module(kPulse, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kBlend, ID::MOD_BLENDER);
  b.module(kDelay, ID::MOD_SAMPLEDELAY);
  b.module(kMix, ID::MOD_SIGNALPROC);
  b.module(kMorph, ID::MOD_ENVELOPE);
  b.module(kSway, ID::MOD_LFO);

  b.setSlot(kSaw, 0, 1);
  b.setSlot(kPulse, 0, 2);
  b.setSlot(kPulse, 1, 0.4);
  b.setSlot(kPulse, 4, -12);

  b.connect(kBlend, 0, kAudio, kSaw, 0);
  b.connect(kBlend, 1, kAudio, kPulse, 0);
  b.setSlot(kBlend, 2, 1.0);
  b.connect(kBlend, 3, kMod, kMorph, 0); // the morph envelope sets the blend
  b.voiceTrigger(kMorph, 0);
  envelope(b, kMorph, {0.55, 0.5, 1.0, 0.4}); // about 1.5 s from saw to pulse

  b.connect(kDelay, 0, kAudio, kSaw, 0);
  b.setSlot(kDelay, 6, 14); // "15" samples

  b.connect(kMix, 0, kAudio, kBlend, 0);
  b.setSlot(kMix, 1, 0.8);
  b.connect(kMix, 3, kAudio, kDelay, 0);
  b.setSlot(kMix, 4, -0.5);
  common(b, kMix, 5, SourceDef::MOD_MW_POS); // at rest the wheel keeps the comb out

  lowpass(b, kFilter, kMix, 4, 0.6, 0.15); // the summed output
  b.voiceTrigger(kEnv, 0);
  envelope(b, kEnv, {0.45, 0.5, 0.85, 0.45});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.5, 0.4);
  b.setSlot(kSway, 3, 0.2); // Hz
  b.connect(kAmp, 6, kMod, kSway, 0);
  b.setSlot(kAmp, 5, 0.35); // the pan moves from 0.15 to 0.85 and back
  voices(b);
  b.level(0.54);
  b.finish("Morph Pad (Blender)");
}

// 34: a filter envelope with echoes: the modulation delay repeats the envelope every 180 ms with feedback,
// its adder puts the envelope and its echoes together on the cutoff, and comparator A turns each echo
// above 0.3 into a gate that flicks the pulse width.
void echoWah(BankBuilder& b)
{
  b.begin(kRangeTools + 4);
  enum { kOsc, kFilter, kEnv, kAmp, kEcho, kFilterEnv, kWidthEnv };
  b.module(kOsc, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kEcho, ID::MOD_MODDELAY);
  b.module(kFilterEnv, ID::MOD_ENVELOPE);
  b.module(kWidthEnv, ID::MOD_ENVELOPE);

  b.voiceTrigger(kFilterEnv, 0);
  envelope(b, kFilterEnv, {0.05, 0.3, 0.0, 0.3});

  b.connect(kEcho, 0, kMod, kFilterEnv, 0);
  b.setSlot(kEcho, 2, 0.8);
  b.setSlot(kEcho, 4, 180.0); // ticks of 1 ms
  b.setSlot(kEcho, 5, 0.55);
  b.connect(kEcho, 6, kMod, kFilterEnv, 0);
  b.setSlot(kEcho, 8, 1.0);
  b.connect(kEcho, 7, kMod, kEcho, 0); // the echoes
  b.setSlot(kEcho, 9, 0.9);
  b.connect(kEcho, 10, kMod, kEcho, 0);
  b.setSlot(kEcho, 12, 0.3);

  b.setSlot(kOsc, 0, 2); // Pulse
  b.setSlot(kOsc, 1, 0.2);
  b.connect(kOsc, 3, kMod, kWidthEnv, 0);
  b.setSlot(kOsc, 2, 0.5);
  b.connect(kWidthEnv, 0, kGate, kEcho, 0); // M2G A
  envelope(b, kWidthEnv, {0.1, 0.3, 0.5, 0.35});

  lowpass(b, kFilter, kOsc, 0, 0.3, 0.55);
  b.connect(kFilter, 8, kMod, kEcho, 1); // the adder: envelope and echoes
  b.setSlot(kFilter, 7, 5376.0);
  b.voiceTrigger(kEnv, 0);
  envelope(b, kEnv, {0.0, 0.5, 0.8, 0.35});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.6, 0.5);
  voices(b);
  b.level(0.39);
  b.finish("Echo Wah (Mod Delay)");
}

// 35: playing harder opens the filter and deepens its envelope: the voltage processor offsets the scaled
// velocity into the cutoff (A), multiplies the filter envelope by the velocity (C), and by the wheel the
// envelope also narrows the pulse (D).
void velocityFilter(BankBuilder& b)
{
  b.begin(kRangeTools + 5);
  enum { kOsc, kFilter, kEnv, kAmp, kShape, kFilterEnv };
  b.module(kOsc, ID::MOD_OSCILLATOR);
  b.module(kFilter, ID::MOD_LADDER);
  b.module(kEnv, ID::MOD_ENVELOPE);
  b.module(kAmp, ID::MOD_AMPLIFIER);
  b.module(kShape, ID::MOD_VOLTAGEPROC);
  b.module(kFilterEnv, ID::MOD_ENVELOPE);

  common(b, kShape, 0, SourceDef::MOD_VELO);
  b.setSlot(kShape, 1, 0.8);
  b.setSlot(kShape, 2, -0.4); // soft notes close the filter, hard ones open it
  b.connect(kShape, 6, kMod, kFilterEnv, 0);
  b.setSlot(kShape, 7, 1.0);
  common(b, kShape, 8, SourceDef::MOD_VELO);
  b.connect(kShape, 9, kMod, kFilterEnv, 0);
  b.setSlot(kShape, 10, 0.6);
  common(b, kShape, 11, SourceDef::MOD_MW_POS);

  b.voiceTrigger(kFilterEnv, 0);
  envelope(b, kFilterEnv, {0.0, 0.42, 0.25, 0.35});

  b.setSlot(kOsc, 0, 2); // Pulse
  b.setSlot(kOsc, 1, 0.1);
  b.connect(kOsc, 3, kMod, kShape, 3);
  b.setSlot(kOsc, 2, 1.0);

  lowpass(b, kFilter, kOsc, 0, 0.4, 0.35);
  b.connect(kFilter, 8, kMod, kShape, 0);
  b.setSlot(kFilter, 7, 3072.0);
  b.connect(kFilter, 10, kMod, kShape, 2);
  b.setSlot(kFilter, 9, 6144.0);
  b.voiceTrigger(kEnv, 0);
  envelope(b, kEnv, {0.0, 0.45, 0.7, 0.35});
  amplifier(b, kAmp, kFilter, 0, kEnv, 0.6, 0.0);
  voices(b);
  b.level(0.65);
  b.finish("Vel Filter (Volt Proc)");
}
} // namespace

void buildToolPrograms(BankBuilder& b)
{
  glideLead(b);
  clockDividedPluck(b);
  gatedStabs(b);
  blendPad(b);
  echoWah(b);
  velocityFilter(b);
}
