// Start-up bank programs of the effect and processor modules (programs 20..29): reverb, BBD delay, dual
// delay line, frequency shifter, audio sample and hold, saturator, bit reducer and ring modulator, each
// played the way a musician would use it: the delays and reverbs mostly in master slots fed by the voice
// sums, the processors inside each voice.
#include "BankBuilder.h"

namespace {
enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3, kFx = 4, kFx2 = 5, kOsc2 = 6 };

// A playable voice in slots 0..3: oscillator -> ladder low-pass -> amplifier with an envelope on its VCA.
struct VoiceShape
{
  int waveform = 1; // 0 sine, 1 saw, 2 pulse
  int semitones = 0;
  double cutoff = 0.62;
  double resonance = 0.2;
  double attack = 0.0, decay = 0.45, sustain = 0.6, release = 0.35;
  double gain = 1.0; // amplifier gain A: room for what the effects add
  // Velocity plays louder (the depth of VCA 2) and brighter: the cutoff above is the one at velocity 127.
  double velocityDepth = 0.5;
  double velocityOpening = 1536.0; // 1/128 semitone
};

void buildVoice(BankBuilder& b, const VoiceShape& s, int ampSource = kFilter)
{
  b.module(kOsc, ModuleConfig::MOD_OSCILLATOR);
  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);
  b.setSlot(kOsc, 0, s.waveform);
  b.setSlot(kOsc, 4, s.semitones);
  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.velocityToCutoff(kFilter, 7, s.cutoff, s.velocityOpening);
  b.setSlot(kFilter, 2, s.resonance);
  b.setSlot(kFilter, 12, 0.5); // half key tracking
  b.noteEnvelope(kEnv, s.attack, s.decay, s.sustain, s.release);
  if (ampSource == kFilter) b.connect(kAmp, 1, SourceDef::AUDIO, kFilter, 0); // else once that module exists
  b.connect(kAmp, 11, SourceDef::MODULATION, kEnv, 0);
  b.setSlot(kAmp, 10, 1.0);
  b.setSlot(kAmp, 0, s.gain);
  b.velocityToLevel(kAmp, s.velocityDepth);
  b.set(Veltrane::kParamVoices, 5); // 16 voices
  b.set(Veltrane::kParamOutRelease, 0.4);
}

int positionOf(BankBuilder& b, int slot)
{
  for (int p = 0; p < (int)b.v->displayOrder.size(); ++p)
    if (b.v->displayOrder[p] == slot) return p;
  return slot;
}

// The slot's first two audio outputs become the voice sums (voice slot) or the master outputs (master slot).
void plug(BankBuilder& b, int slot)
{
  b.v->plugToCommon(positionOf(b, slot));
}

void fromVoiceSums(BankBuilder& b, int slot, int left, int right)
{
  b.connectMaster(slot, left, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumLeft);
  if (right >= 0) b.connectMaster(slot, right, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumRight);
}

// Master reverb: a slow saw pad in a hall of about two seconds.
void reverbHallPad(BankBuilder& b)
{
  b.begin(kRangeEffects + 0);
  VoiceShape s;
  s.cutoff = 0.58;
  s.attack = 0.35;
  s.sustain = 0.8;
  s.release = 0.4;
  s.gain = 0.6;
  buildVoice(b, s);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_REVERB, true);
  fromVoiceSums(b, kFx, 1, 3);
  b.setSlot(kFx, 4, 20.0); // predelay, ms
  b.setSlot(kFx, 5, 0.6);  // size
  b.setSlot(kFx, 6, 0.4);  // damping
  b.setSlot(kFx, 7, 0.5);  // decay
  b.setSlot(kFx, 8, 0.7);  // width
  b.setSlot(kFx, 9, 0.35); // wet
  b.setSlot(kFx, 10, 1);   // stereo
  plug(b, kFx);
  b.level(0.36);
  b.finish("Reverb Hall Pad");
}

// A reverb in every voice: each pluck gets its own small room, which ends with the voice.
void voiceRoomPluck(BankBuilder& b)
{
  b.begin(kRangeEffects + 1);
  VoiceShape s;
  s.cutoff = 0.66;
  s.decay = 0.35;
  s.sustain = 0.0;
  s.release = 0.3;
  buildVoice(b, s);
  b.module(kFx, ModuleConfig::MOD_REVERB);
  b.connect(kFx, 1, SourceDef::AUDIO, kAmp, 0);
  b.connect(kFx, 3, SourceDef::AUDIO, kAmp, 1);
  b.setSlot(kFx, 5, 0.3);
  b.setSlot(kFx, 7, 0.3);
  b.setSlot(kFx, 8, 0.5);
  b.setSlot(kFx, 9, 0.4);
  b.setSlot(kFx, 10, 1);
  plug(b, kFx);
  b.set(Veltrane::kParamOutRelease, 0.5); // the voice (and its room) rings on for about a second
  b.level(0.35);
  b.finish("Voice Room Pluck");
}

// Master BBD delays: a square lead with dark, slightly pitch-bending echoes, 325 ms later on the left and
// 435 ms later on the right, the longer one fed back less so that both die away alike; a master amplifier
// puts each delay's output on its side.
void bbdEchoLead(BankBuilder& b)
{
  enum { kSides = kOsc2 };
  b.begin(kRangeEffects + 2);
  VoiceShape s;
  s.waveform = 2;
  s.cutoff = 0.7;
  s.sustain = 0.7;
  s.release = 0.3;
  s.gain = 0.6;
  buildVoice(b, s);
  plug(b, kAmp);
  const double times[2] = {0.6, 0.85};     // 62.5 + t x 437.5 ms in "63 - 500"
  const double feedback[2] = {0.45, 0.35}; // 0.45 ^ (435 / 325) = 0.34
  for (int side = 0; side < 2; ++side) {
    const int fx = side ? kFx2 : kFx;
    b.module(fx, ModuleConfig::MOD_BBDDELAY, true);
    fromVoiceSums(b, fx, 1, 3);
    b.setSlot(fx, 4, times[side]);
    b.setSlot(fx, 6, feedback[side]);
    b.setSlot(fx, 7, 0.02); // a touch of wheel on the time: tape-like bends
    b.connectMaster(fx, 8, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW);
    b.setSlot(fx, 9, 0.55); // tone
    b.setSlot(fx, 10, 0.35);
  }
  b.module(kSides, ModuleConfig::MOD_AMPLIFIER, true);
  b.connectMaster(kSides, 1, SourceDef::AUDIO, kFx, 0);
  b.connectMaster(kSides, 3, SourceDef::AUDIO, kFx2, 0);
  b.setSlot(kSides, 4, 0.0); // A left
  b.setSlot(kSides, 7, 1.0); // B right
  plug(b, kSides);
  b.level(0.29);
  b.finish("BBD Echo Lead");
}

// Master dual delay line: left and right repeat at a dotted eighth and an eighth of 120 BPM; the
// feed-forward carries the dry signal.
void pingPongKeys(BankBuilder& b)
{
  b.begin(kRangeEffects + 3);
  VoiceShape s;
  s.cutoff = 0.68;
  s.decay = 0.4;
  s.sustain = 0.3;
  s.gain = 0.8;
  buildVoice(b, s);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_DELAYLINE, true);
  fromVoiceSums(b, kFx, 0, 5);
  b.setSlot(kFx, 2, 375.0);
  b.setSlot(kFx, 3, 0.7);
  b.setSlot(kFx, 4, 0.4);
  b.setSlot(kFx, 7, 250.0);
  b.setSlot(kFx, 8, 0.7);
  b.setSlot(kFx, 9, 0.4);
  plug(b, kFx);
  b.level(0.31);
  b.finish("Dual Delay Keys");
}

// Frequency shifter in each voice: a saw shifted up by 205 Hz, so its partials no longer line up into a
// harmonic series (a metallic, bell-like chord).
void shiftedBells(BankBuilder& b)
{
  b.begin(kRangeEffects + 4);
  VoiceShape s;
  s.cutoff = 0.6;
  s.decay = 0.5;
  s.sustain = 0.2;
  s.release = 0.4;
  s.gain = 0.8;
  buildVoice(b, s, kFx);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_HILBERT);
  b.connect(kFx, 0, SourceDef::AUDIO, kFilter, 0);
  b.setSlot(kFx, 2, 1);   // oscillator on
  b.setSlot(kFx, 3, 0.45); // 0.45^4 x 5000 = 205 Hz
  b.connect(kFx, 6, SourceDef::AUDIO, kFx, 0); // A Real x Cosine
  b.connect(kFx, 7, SourceDef::AUDIO, kFx, 4);
  b.connect(kFx, 8, SourceDef::AUDIO, kFx, 1); // A Imag. x Sine
  b.connect(kFx, 9, SourceDef::AUDIO, kFx, 5);
  // The amplifier reads "Ring A + B", the ninth output.
  b.connect(kAmp, 1, SourceDef::AUDIO, kFx, 8);
  b.level(0.32);
  b.finish("Frequency Shifted Bells");
}

// Audio sample and hold an octave above the note: the saw turns into a grainy, stepped tone.
void sampleHoldGrit(BankBuilder& b)
{
  b.begin(kRangeEffects + 5);
  VoiceShape s;
  s.cutoff = 0.7;
  s.resonance = 0.3;
  buildVoice(b, s);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_AUDIOSH);
  b.connect(kFx, 0, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFx, 1, 0.3); // mostly square windows: clear steps
  b.setSlot(kFx, 2, 12);
  b.setSlot(kFx, 3, 9); // slightly off the octave, so the steps beat
  b.connect(kFilter, 4, SourceDef::AUDIO, kFx, 0);
  b.level(0.48);
  b.finish("Audio S/H Grit");
}

// Saturator after a resonant filter, its drive following the envelope: a bass that growls as it starts.
// Clipping the uneven resonant wave leaves DC, which a high-pass takes off.
void saturatedBass(BankBuilder& b)
{
  b.begin(kRangeEffects + 6);
  VoiceShape s;
  s.semitones = -12;
  s.cutoff = 0.55;
  s.resonance = 0.55;
  s.decay = 0.4;
  s.sustain = 0.5;
  buildVoice(b, s, kFx);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_SATURATOR);
  b.connect(kFx, 1, SourceDef::AUDIO, kFilter, 0);
  b.setSlot(kFx, 0, 0.8);
  b.setSlot(kFx, 4, 2.0);  // drive
  b.setSlot(kFx, 5, 0.45); // the envelope pushes it toward 11
  b.connect(kFx, 6, SourceDef::MODULATION, kEnv, 0);
  b.setSlot(kFx, 10, 0.4);
  b.dcBlocker(kFx2, kFx, 0);
  b.connect(kAmp, 1, SourceDef::AUDIO, kFx2, 0);
  b.level(1.17);
  b.finish("Saturated Bass");
}

// Bit reducer on a pulse: three bits of crunch, the wheel opening it up toward sixteen. Its levels lie
// unevenly about 0 at a fractional bit count, so a high-pass takes off the DC.
void bitCrushedKeys(BankBuilder& b)
{
  b.begin(kRangeEffects + 7);
  VoiceShape s;
  s.waveform = 2;
  s.cutoff = 0.75;
  s.decay = 0.4;
  s.sustain = 0.4;
  buildVoice(b, s, kFx);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_BITREDUCER);
  b.connect(kFx, 1, SourceDef::AUDIO, kFilter, 0);
  b.setSlot(kFx, 2, 0.8);  // range
  b.setSlot(kFx, 3, 0.4);  // 2^1.6 = 3 bits
  b.setSlot(kFx, 4, 0.6);
  b.connect(kFx, 5, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW_POS);
  b.dcBlocker(kFx2, kFx, 0);
  b.connect(kAmp, 1, SourceDef::AUDIO, kFx2, 0);
  b.level(0.43);
  b.finish("Bit Crushed Keys");
}

// Ring modulator: a sine carrier times a sine a fifth and a bit above, struck like a bell.
void ringModBells(BankBuilder& b)
{
  b.begin(kRangeEffects + 8);
  VoiceShape s;
  s.waveform = 0;
  s.cutoff = 0.9;
  s.resonance = 0.0;
  s.decay = 0.55;
  s.sustain = 0.0;
  s.release = 0.45;
  buildVoice(b, s, kFx);
  plug(b, kAmp);
  b.module(kOsc2, ModuleConfig::MOD_OSCILLATOR);
  b.setSlot(kOsc2, 0, 0); // sine
  b.setSlot(kOsc2, 4, 19);
  b.setSlot(kOsc2, 5, 40);
  b.module(kFx, ModuleConfig::MOD_RING);
  b.connect(kFx, 0, SourceDef::AUDIO, kFilter, 0);
  b.connect(kFx, 1, SourceDef::AUDIO, kOsc2, 0);
  b.setSlot(kFx, 4, 0.85); // a little of the carrier stays
  b.connect(kAmp, 1, SourceDef::AUDIO, kFx, 0);
  b.level(0.68);
  b.finish("Ring Mod Bells");
}

// Two master effects in a row: tape-style echoes of a pluck, then a stereo room around them.
void echoIntoHall(BankBuilder& b)
{
  b.begin(kRangeEffects + 9);
  VoiceShape s;
  s.cutoff = 0.64;
  s.decay = 0.3;
  s.sustain = 0.0;
  s.release = 0.3;
  buildVoice(b, s);
  plug(b, kAmp);
  b.module(kFx, ModuleConfig::MOD_BBDDELAY, true);
  fromVoiceSums(b, kFx, 1, 3);
  b.setSlot(kFx, 4, 0.35);
  b.setSlot(kFx, 6, 0.4);
  b.setSlot(kFx, 9, 0.7);
  b.setSlot(kFx, 10, 0.4);
  b.module(kFx2, ModuleConfig::MOD_REVERB, true);
  b.connectMaster(kFx2, 1, SourceDef::AUDIO, kFx, 0);
  b.setSlot(kFx2, 5, 0.5);
  b.setSlot(kFx2, 6, 0.5);
  b.setSlot(kFx2, 7, 0.4);
  b.setSlot(kFx2, 8, 0.6);
  b.setSlot(kFx2, 9, 0.3);
  plug(b, kFx2);
  b.level(0.32);
  b.finish("Echo Into Hall");
}
} // namespace

void buildEffectPrograms(BankBuilder& b)
{
  reverbHallPad(b);
  voiceRoomPluck(b);
  bbdEchoLead(b);
  pingPongKeys(b);
  shiftedBells(b);
  sampleHoldGrit(b);
  saturatedBass(b);
  bitCrushedKeys(b);
  ringModBells(b);
  echoIntoHall(b);
}
