// Start-up bank programs of the sound sources that need no files (programs 1..7): the dual oscillator, the
// linear FM oscillator, the formant oscillator and the dual noise, each played the way a musician would
// set it up: sources into a filter or straight into an amplifier whose VCA follows a voice envelope.
//
// Envelope segment values t in 0..1 take about 10^(4.5 t - 2.3) seconds (0.45: 0.5 s, 0.6: 2 s).
#include "BankBuilder.h"

namespace {

struct Adsr
{
  double attack, decay, sustain, release;
};

// An envelope in slot started by each voice's note.
void voiceEnvelope(BankBuilder& b, int slot, const Adsr& e)
{
  b.module(slot, ModuleConfig::MOD_ENVELOPE);
  b.noteEnvelope(slot, e.attack, e.decay, e.sustain, e.release);
}

// An amplifier in slot: input A (and B when bModule >= 0) at the given gains, its VCA following the
// envelope in envSlot, velocity shaping the level by velocityDepth; its outputs go to the voice sums.
void outputAmplifier(BankBuilder& b, int slot, int aModule, int aIndex, double gainA, int bModule, int bIndex,
                     double gainB, int envSlot, double velocityDepth)
{
  b.module(slot, ModuleConfig::MOD_AMPLIFIER);
  b.connect(slot, 1, SourceDef::AUDIO, aModule, aIndex);
  b.setSlot(slot, 0, gainA);
  if (bModule >= 0) {
    b.connect(slot, 3, SourceDef::AUDIO, bModule, bIndex);
    b.setSlot(slot, 2, gainB);
  }
  b.connect(slot, 11, SourceDef::MODULATION, envSlot, 0);
  b.setSlot(slot, 10, 1.0);
  if (velocityDepth > 0.0) b.velocityToLevel(slot, velocityDepth);
  b.v->plugToCommon(slot);
}

// The linear FM oscillator's FM input accepts audio and modulation: its list holds both kinds.
void fmFromAudio(BankBuilder& b, int slot, int module, int index)
{
  b.setSlot(slot, 2, b.v->voiceSources.getPosition(SourceDef::AUDIO_OR_MOD, SourceDef::AUDIO, module, index));
}

void finishVoices(BankBuilder& b, const char* name)
{
  b.set(Veltrane::kParamVoices, 5);       // 16 voices
  b.set(Veltrane::kParamOutRelease, 0.4); // the voice outlives the module envelope's release
  b.finish(name);
}

// Two saws a few cents apart, one on each side, through the stereo low-pass that opens with the attack: a
// string section spread across the stereo field.
void dualSawStrings(BankBuilder& b)
{
  enum { kOsc, kFilter, kFilterEnv, kEnv, kAmp };
  b.begin(kRangeOscillators + 0);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kFilterEnv, {0.5, 0.55, 0.4, 0.45});
  voiceEnvelope(b, kEnv, {0.45, 0.5, 0.85, 0.45});
  b.module(kOsc, ModuleConfig::MOD_OSCILLATOR2);
  b.setSlot(kOsc, 6, -9); // A 7 cents flat
  b.setSlot(kOsc, 7, 9);  // B 7 cents sharp
  b.setSlot(kOsc, 3, 0.2);

  b.module(kFilter, ModuleConfig::MOD_STEREOLADDER);
  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.connect(kFilter, 6, SourceDef::AUDIO, kOsc, 1);
  b.setSlot(kFilter, 1, 0.52);
  b.setSlot(kFilter, 2, 0.15);
  b.setSlot(kFilter, 12, 0.6);
  b.connect(kFilter, 8, SourceDef::MODULATION, kFilterEnv, 0);
  b.setSlot(kFilter, 7, 3072); // two octaves of opening

  outputAmplifier(b, kAmp, kFilter, 0, 1.0, kFilter, 1, 1.0, kEnv, 0.5);
  b.setSlot(kAmp, 4, 0.2); // A mostly left, B mostly right
  b.setSlot(kAmp, 7, 0.8);
  b.level(0.39);
  finishVoices(b, "Dual Saw Strings");
}

// A sine carrier modulated by a sine at the same pitch; the modulation index falls after the strike and
// velocity plays louder. At 1:1 the lower sideband lands on 0 Hz: the FM input's filter puts the modulator a
// little behind the carrier, so that sideband is DC, which a high-pass takes off before the amplifier.
void fmElectricPiano(BankBuilder& b)
{
  enum { kModulator, kCarrier, kIndexEnv, kEnv, kAmp, kDcBlock };
  b.begin(kRangeOscillators + 1);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kIndexEnv, {0.0, 0.45, 0.15, 0.35});
  voiceEnvelope(b, kEnv, {0.0, 0.62, 0.25, 0.35});
  b.module(kModulator, ModuleConfig::MOD_OSCILLATOR);
  b.setSlot(kModulator, 0, 0); // sine, ratio 1

  b.module(kCarrier, ModuleConfig::MOD_OSCLINFM);
  fmFromAudio(b, kCarrier, kModulator, 0);
  b.setSlot(kCarrier, 1, 0.3);
  b.connect(kCarrier, 4, SourceDef::MODULATION, kIndexEnv, 0);
  b.setSlot(kCarrier, 3, 0.8);
  b.dcBlocker(kDcBlock, kCarrier, 0);

  outputAmplifier(b, kAmp, kDcBlock, 0, 1.0, -1, 0, 0.0, kEnv, 0.6);
  b.level(0.35);
  finishVoices(b, "FM Electric Piano");
}

// A modulator at 3.5 times the carrier gives inharmonic partials; everything decays like a struck bell.
void fmBell(BankBuilder& b)
{
  enum { kModulator, kCarrier, kIndexEnv, kEnv, kAmp };
  b.begin(kRangeOscillators + 2);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kIndexEnv, {0.0, 0.55, 0.0, 0.4});
  voiceEnvelope(b, kEnv, {0.0, 0.68, 0.0, 0.45});
  b.module(kModulator, ModuleConfig::MOD_OSCILLATOR);
  b.setSlot(kModulator, 0, 0);
  b.setSlot(kModulator, 4, 21);
  b.setSlot(kModulator, 5, 88); // 21 + 88/128 semitones: a ratio of 3.5

  b.module(kCarrier, ModuleConfig::MOD_OSCLINFM);
  fmFromAudio(b, kCarrier, kModulator, 0);
  b.setSlot(kCarrier, 1, 0.25);
  b.connect(kCarrier, 4, SourceDef::MODULATION, kIndexEnv, 0);
  b.setSlot(kCarrier, 3, 0.7);

  outputAmplifier(b, kAmp, kCarrier, 0, 1.0, -1, 0, 0.0, kEnv, 0.5);
  finishVoices(b, "FM Bell");
}

// Two fixed formants near 730 and 1090 Hz (an open "ah") that stay put whatever the note; the mod wheel
// raises both towards a brighter vowel.
void formantVowelPad(BankBuilder& b)
{
  enum { kFormant1, kFormant2, kEnv, kAmp };
  b.begin(kRangeOscillators + 3);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kEnv, {0.5, 0.5, 0.9, 0.5});
  const struct
  {
    int slot;
    double formant, width, wheel; // formant: pitch step / 15872
  } formants[] = {{kFormant1, 0.627, 0.6, 0.12}, {kFormant2, 0.683, 0.7, 0.08}};
  for (const auto& f : formants) {
    b.module(f.slot, ModuleConfig::MOD_OSCFORMANT);
    b.setSlot(f.slot, 0, 0); // Fixed
    b.setSlot(f.slot, 1, f.formant);
    b.setSlot(f.slot, 3, f.width);
    b.connect(f.slot, 5, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW_POS);
    b.setSlot(f.slot, 4, f.wheel);
  }
  outputAmplifier(b, kAmp, kFormant1, 0, 0.8, kFormant2, 0, 0.5, kEnv, 0.45);
  b.setSlot(kAmp, 4, 0.35); // formant 1 left of centre, formant 2 right
  b.setSlot(kAmp, 7, 0.65);
  b.level(0.3);
  finishVoices(b, "Formant Vowel Pad");
}

// The formant as a ratio to the note, swept up from the third harmonic by an envelope and the mod wheel.
void formantSweepLead(BankBuilder& b)
{
  enum { kFormant, kSweepEnv, kEnv, kAmp };
  b.begin(kRangeOscillators + 4);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kSweepEnv, {0.3, 0.5, 0.2, 0.4});
  voiceEnvelope(b, kEnv, {0.1, 0.5, 0.8, 0.35});
  b.module(kFormant, ModuleConfig::MOD_OSCFORMANT);
  b.setSlot(kFormant, 0, 1); // Partial
  b.setSlot(kFormant, 2, 3.0);
  b.setSlot(kFormant, 3, 0.4);
  b.connect(kFormant, 5, SourceDef::MODULATION, kSweepEnv, 0);
  b.setSlot(kFormant, 4, 0.5); // the envelope's peak multiplies the ratio by 7
  b.connect(kFormant, 7, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW_POS);
  b.setSlot(kFormant, 6, 0.3);

  outputAmplifier(b, kAmp, kFormant, 0, 1.0, -1, 0, 0.0, kEnv, 0.4);
  b.level(0.4);
  finishVoices(b, "Formant Sweep Lead");
}

// A ring-mode sine at 2.76 times the note, windowed by each cycle of the note: a metallic, decaying tone
// that brightens with velocity.
void ringFormantBell(BankBuilder& b)
{
  enum { kFormant, kEnv, kAmp };
  b.begin(kRangeOscillators + 5);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kEnv, {0.0, 0.62, 0.0, 0.4});
  b.module(kFormant, ModuleConfig::MOD_OSCFORMANT);
  b.setSlot(kFormant, 0, 2); // Ring
  b.setSlot(kFormant, 2, 2.76);
  b.setSlot(kFormant, 3, 0.7);
  b.connect(kFormant, 5, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_VELO);
  b.setSlot(kFormant, 4, 0.1);

  outputAmplifier(b, kAmp, kFormant, 0, 1.6, -1, 0, 0.0, kEnv, 0.5);
  b.level(0.23);
  finishVoices(b, "Ring Formant Bell");
}

// A sine with its octave, and pink noise band-passed around the octave (the filter follows the note): the
// breath of a flute.
void breathyNoiseFlute(BankBuilder& b)
{
  enum { kOsc, kNoise, kFilter, kEnv, kAmp };
  b.begin(kRangeOscillators + 6);
  // Envelopes first: the modules that read them choose them from the source list.
  voiceEnvelope(b, kEnv, {0.35, 0.4, 0.85, 0.35});
  b.module(kOsc, ModuleConfig::MOD_OSCILLATOR2);
  b.setSlot(kOsc, 0, 0); // sine
  b.setSlot(kOsc, 1, 0); // sine
  b.setSlot(kOsc, 5, 12);

  b.module(kNoise, ModuleConfig::MOD_NOISE);
  b.setSlot(kNoise, 1, 1.0); // pink A

  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.setSlot(kFilter, 0, 9); // BP 12
  b.connect(kFilter, 4, SourceDef::AUDIO, kNoise, 1);
  b.setSlot(kFilter, 3, 0.7);
  b.connect(kFilter, 6, SourceDef::AUDIO, kOsc, 1);
  b.setSlot(kFilter, 5, 0.25);
  b.setSlot(kFilter, 1, 7680.0 / 17280.0); // an octave above note 48
  b.setSlot(kFilter, 2, 0.45);
  b.setSlot(kFilter, 12, 1.0); // follows the note

  outputAmplifier(b, kAmp, kOsc, 0, 0.8, kFilter, 0, 1.0, kEnv, 0.4);
  b.level(0.46);
  finishVoices(b, "Breathy Noise Flute");
}
} // namespace

void buildOscillatorPrograms(BankBuilder& b)
{
  dualSawStrings(b);
  fmElectricPiano(b);
  fmBell(b);
  formantVowelPad(b);
  formantSweepLead(b);
  ringFormantBell(b);
  breathyNoiseFlute(b);
}
