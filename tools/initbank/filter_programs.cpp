// Start-up bank programs of this family (see BankBuilder.h for the program numbers they may use): the K35
// filter, the comb filter, the resonators and the two equalisers, each in a patch a player would start
// from. Every voice ends in an amplifier whose VCA follows an envelope started by the voice's note.
#include "BankBuilder.h"

#include "Comb.h"

#include <cmath>

namespace {
// Envelope segment values: a segment of value t takes about 10^(4.5 t - 2.3) seconds.
struct Segments
{
  double attack, decay, sustain, release;
};

void envelope(BankBuilder& b, int slot, const Segments& s)
{
  b.module(slot, ModuleConfig::MOD_ENVELOPE);
  b.noteEnvelope(slot, s.attack, s.decay, s.sustain, s.release);
}

// An amplifier whose VCA 1 follows the envelope in envSlot: input A from (source, output a), input B from
// (source, output bOut) when bOut >= 0, A panned left and B right when both are given.
void vca(BankBuilder& b, int slot, int source, int a, int bOut, int envSlot, double gain)
{
  b.module(slot, ModuleConfig::MOD_AMPLIFIER);
  b.connect(slot, 1, SourceDef::AUDIO, source, a);
  b.setSlot(slot, 0, gain);
  if (bOut >= 0) {
    b.connect(slot, 3, SourceDef::AUDIO, source, bOut);
    b.setSlot(slot, 2, gain);
    b.setSlot(slot, 4, 0.0); // A left
    b.setSlot(slot, 7, 1.0); // B right
  }
  b.connect(slot, 11, SourceDef::MODULATION, envSlot, 0);
  b.setSlot(slot, 10, 1.0);
}

void oscillator(BankBuilder& b, int slot, int waveform, int semitones, double fine)
{
  b.module(slot, ModuleConfig::MOD_OSCILLATOR);
  b.setSlot(slot, 0, waveform);
  b.setSlot(slot, 4, semitones);
  b.setSlot(slot, 5, fine);
}

// A 0..1 frequency parameter (pitch step floor(x * 17280)) for a frequency in Hz.
double cutoffFor(double hz)
{
  return std::log2(hz / 8.1757989156) * 1536.0 / 17280.0;
}

// The comb's 0..1 frequency parameter that puts it on the voice's note when key tracking is 1.
double combOnNote48()
{
  const int lo = Comb::iMinFreq();
  return (48 * 128 - lo) / (double)(17280 - lo);
}

// Voice count as the index of the voices parameter (2: 4 voices, 3: 8), and the output envelope's release.
void voices(BankBuilder& b, int countIndex, double release)
{
  b.set(Veltrane::kParamVoices, countIndex);
  b.set(Veltrane::kParamOutRelease, release);
}

// 12: a saw an octave down through the low-pass K35, its cutoff swept down by a snappy envelope. The K35's
// feedback, stronger on its positive half, leaves DC at this resonance: a high-pass takes it off.
void k35Bass(BankBuilder& b)
{
  b.begin(kRangeFilters + 0);
  enum { kOsc = 0, kFilterEnv = 1, kFilter = 2, kEnv = 3, kAmp = 4, kDcBlock = 5 };
  oscillator(b, kOsc, 1, -12, 0);
  envelope(b, kFilterEnv, {0.0, 0.32, 0.15, 0.3});
  b.module(kFilter, ModuleConfig::MOD_K35);
  b.setSlot(kFilter, 0, 1); // Lowpass
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.velocityToCutoff(kFilter, 9, cutoffFor(180), 1536);
  b.setSlot(kFilter, 2, 0.65); // resonance: the feedback growls as it saturates
  b.setSlot(kFilter, 11, 2.0); // drive
  b.setSlot(kFilter, 12, 0.5);
  b.connect(kFilter, 8, SourceDef::MODULATION, kFilterEnv, 0);
  b.setSlot(kFilter, 7, 4608); // three octaves of envelope
  b.dcBlocker(kDcBlock, kFilter, 0);
  envelope(b, kEnv, {0.0, 0.45, 0.7, 0.3});
  vca(b, kAmp, kDcBlock, 0, -1, kEnv, 1.0);
  b.velocityToLevel(kAmp, 0.4);
  b.v->plugToCommon(kAmp);
  voices(b, 2, 0.35);
  b.level(0.19);
  b.finish("K35 Growl Bass");
}

// 13: two detuned saws, one per side, through the stereo K35 low-pass opening slowly, the mod wheel
// adding resonance.
void k35StereoPad(BankBuilder& b)
{
  b.begin(kRangeFilters + 1);
  enum { kOscL = 0, kOscR = 1, kFilterEnv = 2, kFilter = 3, kEnv = 4, kAmp = 5 };
  oscillator(b, kOscL, 1, 0, -10);
  oscillator(b, kOscR, 1, 0, 10);
  envelope(b, kFilterEnv, {0.62, 0.6, 0.5, 0.5});
  b.module(kFilter, ModuleConfig::MOD_STEREOK35);
  b.setSlot(kFilter, 0, 1); // Lowpass
  b.connect(kFilter, 4, SourceDef::AUDIO, kOscL, 0);
  b.connect(kFilter, 6, SourceDef::AUDIO, kOscR, 0);
  b.setSlot(kFilter, 3, 0.8);
  b.setSlot(kFilter, 5, 0.8);
  b.setSlot(kFilter, 1, cutoffFor(400));
  b.setSlot(kFilter, 2, 0.3);
  b.setSlot(kFilter, 12, 0.7);
  b.connect(kFilter, 8, SourceDef::MODULATION, kFilterEnv, 0);
  b.setSlot(kFilter, 7, 3072);
  b.connect(kFilter, 14, SourceDef::MODULATION, SourceDef::kGroupCommonMod, 4); // MW+
  b.setSlot(kFilter, 13, 0.6);
  envelope(b, kEnv, {0.55, 0.5, 0.8, 0.55});
  vca(b, kAmp, kFilter, 0, 1, kEnv, 1.0);
  b.velocityToLevel(kAmp, 0.45);
  b.v->plugToCommon(kAmp);
  voices(b, 3, 0.6);
  b.level(0.2);
  b.finish("K35 Stereo Pad");
}

// 14: a plucked string: a short saw burst rings in a positive comb that follows the keyboard; each note
// clears the comb so it starts clean. A positive comb rings at 0 Hz too, so the DC the burst leaves would
// ring with the note: a high-pass takes it off.
//
// The comb sums what the burst gives it over one period after another, so a burst of fixed length rings
// louder the higher the note (by 17 dB from C3 to C7). As on a string, the burst follows the keyboard
// instead: it falls to a tenth in about 110 ms at C3 and half as long each octave up, and the feedback
// falls a little up the keyboard, so chords ring within 2 dB of one level from C2 to C7. Velocity plays
// the burst louder and opens a gentle low-pass on it: soft notes are duller.
void combPluck(BankBuilder& b)
{
  b.begin(kRangeFilters + 2);
  enum { kOsc = 0, kBurstEnv = 1, kBurst = 2, kTone = 3, kComb = 4, kEnv = 5, kAmp = 6, kDcBlock = 7 };
  oscillator(b, kOsc, 1, -12, 0); // an octave down: the comb keeps only the partials of the note
  envelope(b, kBurstEnv, {0.0, 0.3, 0.0, 0.1});
  b.common(kBurstEnv, 6, SourceDef::MOD_NOTE, -0.3); // the decay's value 0.075 lower per octave
  vca(b, kBurst, kOsc, 0, -1, kBurstEnv, 1.0);
  b.velocityToLevel(kBurst, 0.5);
  b.module(kTone, ModuleConfig::MOD_LADDER);
  b.setSlot(kTone, 0, 4); // LP 6
  b.connect(kTone, 4, SourceDef::AUDIO, kBurst, 0);
  b.setSlot(kTone, 3, 1.0);
  b.velocityToCutoff(kTone, 7, cutoffFor(4800), 3072); // 1.2 kHz at velocity 0
  b.module(kComb, ModuleConfig::MOD_COMB);
  b.setSlot(kComb, 0, 1); // Positive
  b.connect(kComb, 4, SourceDef::AUDIO, kTone, 0);
  b.setSlot(kComb, 3, 1.0);
  b.setSlot(kComb, 1, combOnNote48());
  b.setSlot(kComb, 12, 1.0); // the comb plays the note
  b.setSlot(kComb, 2, 0.96); // feedback: a long ring
  b.common(kComb, 13, SourceDef::MOD_NOTE, -0.03);
  b.voiceTrigger(kComb, 15);
  b.dcBlocker(kDcBlock, kComb, 0);
  envelope(b, kEnv, {0.0, 0.62, 0.0, 0.3});
  vca(b, kAmp, kDcBlock, 0, -1, kEnv, 1.0);
  b.v->plugToCommon(kAmp);
  voices(b, 3, 0.3);
  b.level(0.45);
  b.finish("Comb Pluck");
}

// 15: detuned pulses through the stereo comb in its negative form, an octave below the note: a hollow,
// clarinet-like tone; the mod wheel raises the feedback.
void combHollowStereo(BankBuilder& b)
{
  b.begin(kRangeFilters + 3);
  enum { kOscL = 0, kOscR = 1, kComb = 2, kEnv = 3, kAmp = 4 };
  oscillator(b, kOscL, 2, 0, -6);
  oscillator(b, kOscR, 2, 0, 6);
  b.setSlot(kOscL, 1, 0.3);
  b.setSlot(kOscR, 1, 0.3);
  b.module(kComb, ModuleConfig::MOD_STEREOCOMB);
  b.setSlot(kComb, 0, 2); // Negative: rings at odd multiples of half its frequency
  b.connect(kComb, 4, SourceDef::AUDIO, kOscL, 0);
  b.connect(kComb, 6, SourceDef::AUDIO, kOscR, 0);
  b.setSlot(kComb, 3, 0.7);
  b.setSlot(kComb, 5, 0.7);
  b.setSlot(kComb, 1, combOnNote48());
  b.setSlot(kComb, 12, 1.0);
  b.setSlot(kComb, 2, 0.5);
  b.connect(kComb, 14, SourceDef::MODULATION, SourceDef::kGroupCommonMod, 4); // MW+
  b.setSlot(kComb, 13, 0.45);
  envelope(b, kEnv, {0.3, 0.5, 0.85, 0.35});
  vca(b, kAmp, kComb, 0, 1, kEnv, 1.8);
  b.velocityToLevel(kAmp, 0.45);
  b.v->plugToCommon(kAmp);
  voices(b, 3, 0.4);
  b.level(0.28);
  b.finish("Hollow Comb Stereo");
}

// 16: a saw through three resonators on the formants of an "ah"; the mod wheel moves them up towards an
// "ee"-like brightness.
void resonatorVowel(BankBuilder& b)
{
  b.begin(kRangeFilters + 4);
  enum { kOsc = 0, kRes = 1, kEnv = 2, kAmp = 3 };
  oscillator(b, kOsc, 1, 0, 0);
  b.module(kRes, ModuleConfig::MOD_RESONATORS);
  b.connect(kRes, 5, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kRes, 4, 0.8);
  b.setSlot(kRes, 0, 0.85); // mostly resonators
  b.setSlot(kRes, 1, cutoffFor(700));
  b.setSlot(kRes, 2, cutoffFor(1150));
  b.setSlot(kRes, 3, cutoffFor(2700));
  b.connect(kRes, 9, SourceDef::MODULATION, SourceDef::kGroupCommonMod, 4); // MW+
  b.setSlot(kRes, 8, 768);                                                  // half an octave
  envelope(b, kEnv, {0.25, 0.5, 0.8, 0.35});
  vca(b, kAmp, kRes, 0, -1, kEnv, 1.0);
  b.velocityToLevel(kAmp, 0.45);
  b.v->plugToCommon(kAmp);
  voices(b, 3, 0.4);
  b.level(0.45);
  b.finish("Resonator Vowel Ah");
}

// 17: two narrow pulses a little apart, one per side, through the stereo resonators tuned to the
// inharmonic partials of a struck bar: glassy keys that fade to a soft sustain.
void resonatorGlassKeys(BankBuilder& b)
{
  b.begin(kRangeFilters + 5);
  enum { kOscL = 0, kOscR = 1, kRes = 2, kEnv = 3, kAmp = 4 };
  oscillator(b, kOscL, 2, 12, -4);
  oscillator(b, kOscR, 2, 12, 4);
  b.setSlot(kOscL, 1, 0.75); // narrow pulses: many partials
  b.setSlot(kOscR, 1, 0.75);
  b.module(kRes, ModuleConfig::MOD_STEREORESONATORS);
  b.connect(kRes, 5, SourceDef::AUDIO, kOscL, 0);
  b.connect(kRes, 7, SourceDef::AUDIO, kOscR, 0);
  b.setSlot(kRes, 4, 1.0);
  b.setSlot(kRes, 6, 1.0);
  b.setSlot(kRes, 0, 0.9);
  b.setSlot(kRes, 1, cutoffFor(523));
  b.setSlot(kRes, 2, cutoffFor(523 * 2.76));
  b.setSlot(kRes, 3, cutoffFor(523 * 5.40));
  envelope(b, kEnv, {0.0, 0.55, 0.25, 0.4});
  vca(b, kAmp, kRes, 0, 1, kEnv, 0.8);
  b.velocityToLevel(kAmp, 0.5);
  b.v->plugToCommon(kAmp);
  voices(b, 3, 0.45);
  b.level(0.29);
  b.finish("Resonator Glass Keys");
}

// 18: a bright saw voice through the ladder, shaped in the master section by the ten-band equaliser in
// stereo: a warm low end, a scooped middle and an airy top.
void tenBandBrightSaw(BankBuilder& b)
{
  b.begin(kRangeFilters + 6);
  enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3, kEQ = 4 };
  oscillator(b, kOsc, 1, 0, 0);
  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.setSlot(kFilter, 0, 3); // LP 12
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.velocityToCutoff(kFilter, 7, cutoffFor(3000), 1536);
  b.setSlot(kFilter, 12, 0.5);
  envelope(b, kEnv, {0.05, 0.5, 0.7, 0.35});
  vca(b, kAmp, kFilter, 0, -1, kEnv, 1.0);
  b.velocityToLevel(kAmp, 0.4);
  b.v->plugToCommon(kAmp);

  b.module(kEQ, ModuleConfig::MOD_EQ10, true);
  b.connectMaster(kEQ, 1, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumLeft);
  b.connectMaster(kEQ, 3, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumRight);
  b.setSlot(kEQ, 4, 1); // Stereo
  // Gains from the top band (16 kHz) down to 30 Hz.
  const double gains[10] = {6.0, 4.0, 2.0, -2.0, -4.0, -5.0, -1.0, 3.0, 5.0, 0.0};
  for (int i = 0; i < 10; ++i) b.setSlot(kEQ, 5 + i, gains[i]);
  b.v->plugToCommon(kEQ);
  voices(b, 3, 0.4);
  b.level(0.23);
  b.finish("Saw Ten-Band EQ");
}

// 19: the high-pass K35 on a pulse for a thin, nasal lead, with the five-band parametric equaliser in the
// master section adding body at 180 Hz and presence at 3.2 kHz and taking out harshness at 7 kHz. A second
// K35 takes off the DC that the resonant one's uneven feedback leaves.
void paraEqLead(BankBuilder& b)
{
  b.begin(kRangeFilters + 7);
  enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3, kEQ = 4, kDcBlock = 5 };
  oscillator(b, kOsc, 2, 0, 0);
  b.setSlot(kOsc, 1, 0.35);
  b.module(kFilter, ModuleConfig::MOD_K35);
  b.setSlot(kFilter, 0, 2); // Highpass
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.setSlot(kFilter, 1, cutoffFor(300));
  b.setSlot(kFilter, 2, 0.55);
  b.setSlot(kFilter, 12, 1.0);
  b.dcBlocker(kDcBlock, kFilter, 0);
  envelope(b, kEnv, {0.02, 0.45, 0.75, 0.3});
  vca(b, kAmp, kDcBlock, 0, -1, kEnv, 0.6);
  b.velocityToLevel(kAmp, 0.45);
  b.v->plugToCommon(kAmp);

  b.module(kEQ, ModuleConfig::MOD_PARAEQ5, true);
  b.connectMaster(kEQ, 1, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumLeft);
  b.connectMaster(kEQ, 3, SourceDef::AUDIO, SourceDef::kGroupMasterAudio, Veltrane::kVoiceSumRight);
  b.setSlot(kEQ, 4, 1); // Stereo
  const double bands[5][2] = {{70, -6.0}, {180, 5.0}, {1000, 0.0}, {3200, 4.0}, {7000, -5.0}};
  for (int i = 0; i < 5; ++i) {
    b.setSlot(kEQ, 5 + 2 * i, bands[i][0]);
    b.setSlot(kEQ, 6 + 2 * i, bands[i][1]);
  }
  b.v->plugToCommon(kEQ);
  voices(b, 3, 0.35);
  b.level(0.26);
  b.finish("K35 Lead Para EQ");
}
} // namespace

void buildFilterPrograms(BankBuilder& b)
{
  k35Bass(b);
  k35StereoPad(b);
  combPluck(b);
  combHollowStereo(b);
  resonatorVowel(b);
  resonatorGlassKeys(b);
  tenBandBrightSaw(b);
  paraEqLead(b);
}
