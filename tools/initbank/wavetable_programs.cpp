// Start-up bank programs of the wavetable oscillator (programs 8..11). Each carries its own wavetable in
// its state chunk: the waves are made here by additive synthesis (harmonic amplitudes and phases worked out
// per wave, every partial below the wave's own Nyquist), not read from any file.
#include "BankBuilder.h"

#include "OscWavetable.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr int kWave = OscWavetable::kWaveSize;

// waves cycles of 2048 samples; amplitude(w, k) gives the sine amplitude of harmonic k (1..maxHarmonic) in
// wave w. Each wave is scaled to a peak of 0.8 so that morphing keeps a steady level.
std::vector<double> additiveTable(int waves, int maxHarmonic, const std::function<double(int, int)>& amplitude)
{
  std::vector<double> sine(kWave);
  for (int i = 0; i < kWave; ++i) sine[i] = std::sin(kTwoPi * i / kWave);
  std::vector<double> table((size_t)waves * kWave, 0.0);
  for (int w = 0; w < waves; ++w) {
    double* x = table.data() + (size_t)w * kWave;
    for (int k = 1; k <= maxHarmonic && k < kWave / 2; ++k) {
      const double a = amplitude(w, k);
      if (a == 0.0) continue;
      for (int i = 0, j = 0; i < kWave; ++i, j = (j + k) & (kWave - 1)) x[i] += a * sine[j];
    }
    double peak = 0.0;
    for (int i = 0; i < kWave; ++i) peak = std::max(peak, std::fabs(x[i]));
    if (peak > 0.0)
      for (int i = 0; i < kWave; ++i) x[i] *= 0.8 / peak;
  }
  return table;
}

// A resonance of a vocal tract or a body: gain of harmonic k of a 110 Hz tone at a formant of centre hz.
double formant(int k, double hz, double width)
{
  const double d = (k * 110.0 - hz) / width;
  return std::exp(-0.5 * d * d);
}

void giveTable(BankBuilder& b, int slot, const std::vector<double>& table, const char* name)
{
  if (!OscWavetable::setWavetable(b.v.get(), slot, table.data(), (int)(table.size() / kWave), name)) {
    std::fprintf(stderr, "initbank: cannot give slot %d its wavetable\n", slot);
    std::exit(1);
  }
}

// Amplifier in slot amp: input A from source slot, its VCA following envelope slot env, into the voice sums.
void voiceAmplifier(BankBuilder& b, int amp, int source, int env)
{
  b.connect(amp, 1, SourceDef::AUDIO, source, 0);
  b.connect(amp, 11, SourceDef::MODULATION, env, 0);
  b.setSlot(amp, 10, 1.0);
  b.v->plugToCommon(amp);
}

// 8: two wavetable oscillators a few cents apart, one to each side, sweep slowly through a bright, bell-like
// table as the note is held; a soft stereo low-pass and a slow envelope make it a wide pad.
void glassPad(BankBuilder& b)
{
  b.begin(kRangeWavetables + 0);
  enum { kOscA = 0, kOscB = 1, kMix = 2, kFilter = 3, kMorph = 4, kEnv = 5, kAmp = 6 };
  // 16 waves: a formant-like bump of harmonics moving from the fundamental up to harmonic 40, over a soft
  // fundamental that is always there.
  const std::vector<double> glass = additiveTable(16, 64, [](int w, int k) {
    const double centre = 1.0 + w * 2.5;
    const double d = (k - centre) / (2.0 + w * 0.2);
    return (k == 1 ? 0.6 : 0.0) + std::exp(-0.5 * d * d) / std::sqrt((double)k);
  });
  b.module(kOscA, ModuleConfig::MOD_OSCWAVETABLE);
  b.module(kOscB, ModuleConfig::MOD_OSCWAVETABLE);
  giveTable(b, kOscA, glass, "Glass Morph");
  giveTable(b, kOscB, glass, "Glass Morph");
  b.module(kMix, ModuleConfig::MOD_MIXER);
  b.module(kFilter, ModuleConfig::MOD_STEREOLADDER);
  b.module(kMorph, ModuleConfig::MOD_ENVELOPE);
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.noteEnvelope(kMorph, 0.62, 0.7, 0.7, 0.5); // about 3 s up through the table, then back to 70 %
  for (int osc : {kOscA, kOscB}) {
    b.setSlot(osc, 1, 0.05);
    b.connect(osc, 3, SourceDef::MODULATION, kMorph, 0);
    b.setSlot(osc, 2, 0.9);
  }
  b.setSlot(kOscB, 5, 9); // 7 cents up

  b.connect(kMix, 1, SourceDef::AUDIO, kOscA, 0);
  b.connect(kMix, 4, SourceDef::AUDIO, kOscB, 0);
  b.setSlot(kMix, 0, 1.0);
  b.setSlot(kMix, 3, 1.0);
  b.setSlot(kMix, 2, 0.2); // A mostly left, B mostly right
  b.setSlot(kMix, 5, 0.8);

  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kMix, 0);
  b.connect(kFilter, 6, SourceDef::AUDIO, kMix, 1);
  b.setSlot(kFilter, 3, 1.0);
  b.setSlot(kFilter, 5, 1.0);
  b.setSlot(kFilter, 1, 0.72);
  b.setSlot(kFilter, 2, 0.15);
  b.setSlot(kFilter, 12, 0.5);

  b.noteEnvelope(kEnv, 0.45, 0.5, 0.8, 0.42);
  voiceAmplifier(b, kAmp, kFilter, kEnv);
  b.connect(kAmp, 3, SourceDef::AUDIO, kFilter, 1); // the right side
  b.setSlot(kAmp, 4, 0.0);
  b.setSlot(kAmp, 7, 1.0);
  b.velocityToLevel(kAmp, 0.4);
  b.set(Veltrane::kParamVoices, 5);
  b.set(Veltrane::kParamOutRelease, 0.45);
  b.level(0.44);
  b.finish("WT Glass Pad");
}

// 9: an octave-down bass whose wave snaps from a square-ish wave towards a bright saw at each note and falls
// back, like a plucked envelope on the table position, through a resonant low-pass.
void morphBass(BankBuilder& b)
{
  b.begin(kRangeWavetables + 1);
  enum { kOsc = 0, kFilter = 1, kMorph = 2, kEnv = 3, kAmp = 4 };
  // 16 waves from a square (odd harmonics) to a saw (all harmonics), the even ones faded in.
  const std::vector<double> table = additiveTable(16, 200, [](int w, int k) {
    const double even = w / 15.0;
    return (k % 2 ? 1.0 : even) / k;
  });
  b.module(kOsc, ModuleConfig::MOD_OSCWAVETABLE);
  giveTable(b, kOsc, table, "Square to Saw");
  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.module(kMorph, ModuleConfig::MOD_ENVELOPE);
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.noteEnvelope(kMorph, 0.0, 0.42, 0.0, 0.3); // a fall of about 0.4 s
  b.setSlot(kOsc, 4, -12);
  b.setSlot(kOsc, 1, 0.1);
  b.connect(kOsc, 3, SourceDef::MODULATION, kMorph, 0);
  b.setSlot(kOsc, 2, 0.9);

  b.setSlot(kFilter, 0, 1); // LP 24
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.velocityToCutoff(kFilter, 9, 0.55, 1536);
  b.setSlot(kFilter, 2, 0.45);
  b.setSlot(kFilter, 12, 0.4);
  b.connect(kFilter, 8, SourceDef::MODULATION, kMorph, 0);
  b.setSlot(kFilter, 7, 2400); // the pluck also opens the filter by up to 1.5 octaves

  b.noteEnvelope(kEnv, 0.0, 0.55, 0.55, 0.3);
  voiceAmplifier(b, kAmp, kFilter, kEnv);
  b.velocityToLevel(kAmp, 0.4);
  b.set(Veltrane::kParamVoices, 3);
  b.set(Veltrane::kParamOutRelease, 0.35);
  b.finish("WT Morph Bass");
}

// 10: a lead that sings the vowels a-e-i-o-u; the modulation wheel (0..1) moves through them.
void vowelLead(BankBuilder& b)
{
  b.begin(kRangeWavetables + 2);
  enum { kOsc = 0, kFilter = 1, kEnv = 2, kAmp = 3 };
  // Two formants per vowel (Hz), on a 110 Hz harmonic series with a gentle roll-off.
  const double formants[5][2] = {{730, 1090}, {530, 1840}, {270, 2290}, {570, 840}, {300, 870}};
  const std::vector<double> vowels = additiveTable(5, 60, [&](int w, int k) {
    const double f1 = formant(k, formants[w][0], 120.0), f2 = formant(k, formants[w][1], 180.0);
    return (0.15 + f1 + 0.6 * f2) / std::sqrt((double)k);
  });
  b.module(kOsc, ModuleConfig::MOD_OSCWAVETABLE);
  giveTable(b, kOsc, vowels, "Vowels AEIOU");
  b.module(kFilter, ModuleConfig::MOD_LADDER);
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.setSlot(kOsc, 1, 0.0);
  b.connect(kOsc, 3, SourceDef::MODULATION, SourceDef::kGroupCommonMod, SourceDef::MOD_MW_POS);
  b.setSlot(kOsc, 2, 1.0);

  b.setSlot(kFilter, 0, 1);
  b.connect(kFilter, 4, SourceDef::AUDIO, kOsc, 0);
  b.setSlot(kFilter, 3, 1.0);
  b.setSlot(kFilter, 1, 0.8);
  b.setSlot(kFilter, 2, 0.1);

  b.noteEnvelope(kEnv, 0.2, 0.5, 0.85, 0.38);
  voiceAmplifier(b, kAmp, kFilter, kEnv);
  b.velocityToLevel(kAmp, 0.4);
  b.set(Veltrane::kParamVoices, 2);
  b.set(Veltrane::kParamPortamento, 0.05);
  b.set(Veltrane::kParamOutRelease, 0.4);
  b.level(0.6);
  b.finish("WT Vowel Lead");
}

// 11: drawbar organ registrations as waves, played "Raw" so each position is one registration, with an
// organ's instant attack and full sustain.
void drawbarOrgan(BankBuilder& b)
{
  b.begin(kRangeWavetables + 3);
  enum { kOsc = 0, kEnv = 1, kAmp = 2 };
  // Drawbar footages 16', 8', 5 1/3', 4', 2 2/3', 2', 1 3/5', 1 1/3', 1' as harmonics of the 16' pipe.
  const int harmonic[9] = {1, 2, 3, 4, 6, 8, 10, 12, 16};
  const int registrations[8][9] = {{8, 8, 8, 0, 0, 0, 0, 0, 0}, {8, 8, 8, 8, 0, 0, 0, 0, 0},
                                   {8, 8, 6, 8, 0, 0, 0, 0, 8}, {8, 3, 8, 0, 0, 0, 0, 0, 0},
                                   {6, 8, 8, 6, 0, 0, 0, 0, 0}, {8, 8, 8, 8, 8, 8, 8, 8, 8},
                                   {0, 0, 8, 8, 8, 0, 0, 0, 0}, {8, 0, 0, 0, 0, 0, 0, 0, 8}};
  const std::vector<double> organ = additiveTable(8, 16, [&](int w, int k) {
    double a = 0.0;
    for (int d = 0; d < 9; ++d)
      if (harmonic[d] == k && registrations[w][d] > 0) a += std::pow(10.0, -(8 - registrations[w][d]) * 3.0 / 20.0);
    return a;
  });
  b.module(kOsc, ModuleConfig::MOD_OSCWAVETABLE);
  giveTable(b, kOsc, organ, "Drawbars");
  b.module(kEnv, ModuleConfig::MOD_ENVELOPE);
  b.module(kAmp, ModuleConfig::MOD_AMPLIFIER);

  b.setSlot(kOsc, 4, -12);       // the 16' pipe sounds an octave below the key
  b.setSlot(kOsc, 1, 3.0 / 7.0); // the fourth registration
  b.setSlot(kOsc, 11, 1);        // Raw

  b.noteEnvelope(kEnv, 0.0, 0.3, 1.0, 0.25);
  voiceAmplifier(b, kAmp, kOsc, kEnv);
  b.setSlot(kAmp, 0, 0.6);
  b.set(Veltrane::kParamVoices, 5);
  b.set(Veltrane::kParamOutRelease, 0.3);
  b.level(0.7);
  b.finish("WT Drawbar Organ");
}
} // namespace

void buildWavetablePrograms(BankBuilder& b)
{
  glassPad(b);
  morphBass(b);
  vowelLead(b);
  drawbarOrgan(b);
}
