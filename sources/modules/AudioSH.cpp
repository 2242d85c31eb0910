#include "AudioSH.h"

#include "DeclareSwitch.h"
#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "fft.h"

#include <cmath>
#include <memory>
#include <mutex>

using namespace ModuleConventions;

namespace {
constexpr int kPhaseMask = (1 << 28) - 1;
constexpr int kQuarter = 1 << 26;

// Owned here, so that unloading the plug-in (a host closing it) frees them too.
std::unique_ptr<AudioSH::Windows> windowTables;
std::once_flag windowsOnce;

// Each window is a Fourier series of at most 2048 harmonics sampled at 4096 points: one inverse real FFT
// per table (milliseconds for all 42) instead of a sum of sines per entry and harmonic (about 43 million
// sine and cosine calls). sineCoeff[n] and cosineCoeff[n] are the series' coefficients, dc its mean.
void synthesise(double* out, double dc, const double* sineCoeff, const double* cosineCoeff, int count)
{
  constexpr int N = AudioSH::kTableSize;
  // Slot 0 holds the mean and the Nyquist term (none: harmonic 2048 is a sine, zero at every sample point);
  // harmonic k's slot holds (cos - i sin) / 2 so that the transform's 2 Re(Z e^{i k phi}) gives the series.
  double* spectrum = out;
  for (int i = 0; i < N; ++i) spectrum[i] = 0.0;
  spectrum[0] = dc;
  for (int n = 1; n <= count && n < N / 2; ++n) {
    const int slot = WDL_fft_permute(N / 2, n);
    spectrum[2 * slot] = 0.5 * cosineCoeff[n];
    spectrum[2 * slot + 1] = -0.5 * sineCoeff[n];
  }
  WDL_real_fft(spectrum, N, 1);
}

void buildWindows()
{
  std::unique_ptr<AudioSH::Windows> w(new AudioSH::Windows);
  AudioSH::fillWindows(w.get());
  windowTables = std::move(w);
}

// Built while the plug-in loads, so that the first instance, which may be made on the audio thread when a
// slot's module is replaced, finds them ready.
const struct WindowsAtLoad
{
  WindowsAtLoad() { AudioSH::windows(); }
} windowsAtLoad;
} // namespace

void AudioSH::fillWindows(Windows* w)
{
  std::unique_ptr<double[]> a(new double[AudioSH::kTableSize / 2 + 1]);
  std::unique_ptr<double[]> b(new double[AudioSH::kTableSize / 2 + 1]);
  for (int k = 0; k < AudioSH::kLevels; ++k) {
    const int count = AudioSH::harmonics(k);
    // Square: 0.5 + sum over odd n of t_n 0.5 / n sin(n phi).
    for (int n = 0; n <= AudioSH::kTableSize / 2; ++n) a[n] = b[n] = 0.0;
    for (int n = 1; n <= count; n += 2) a[n] = AudioSH::taper(n, count) * 0.5 / n;
    synthesise(w->square[k], 0.5, a.get(), b.get(), count);
    // Sawtooth train: -0.25 - sum over odd n of t_n (sin(n phi) / (n pi) + 2 cos(n phi) / (n pi)^2)
    // + sum over even n of t_n sin(n phi) / (n pi).
    for (int n = 1; n <= count; ++n) {
      const double t = AudioSH::taper(n, count);
      const double npi = n * M_PI;
      if (n & 1) {
        a[n] = -t / npi;
        b[n] = -t * 2.0 / (npi * npi);
      } else {
        a[n] = t / npi;
        b[n] = 0.0;
      }
    }
    synthesise(w->sawtrain[k], -0.25, a.get(), b.get(), count);
  }
}

const AudioSH::Windows& AudioSH::windows()
{
  std::call_once(windowsOnce, buildWindows);
  return *windowTables;
}

int AudioSH::harmonics(int level)
{
  return (int)std::floor(2048.0 / std::pow(std::sqrt(2.0), level));
}

double AudioSH::taper(int n, int count)
{
  if (n < 2) return 1.0;
  return 0.54 + 0.46 * std::cos((n - 1) * (M_PI / 2.0) / (count - 1));
}

AudioSH::AudioSH(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), pitchSource(nullptr), input(nullptr), blend(0.0), mod1Source(nullptr),
      mod1Amount(0.0), mod2Source(nullptr), mod2Amount(0.0), semitones(0), tune(0), fixedPitch(0), fixed(false),
      square(nullptr), sawtrain(nullptr), offset(0), phase1(0), phase2(0), increment(0), held1(0.0), held2(0.0),
      armed1(false), armed2(false), freq2PhInc(phaseIncrementTable(0.0))
{
  windows();
}

void AudioSH::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareDouble(synth, base + 1, 1.0, 0.0, 1.0, 0.01, 1.0);
  declareInt(synth, base + 2, 0, -24, 24);
  declareInt(synth, base + 3, 0, -128, 128, setDisplayTextForTune);
  declareSwitch(synth, base + 4, false);
  declareDouble(synth, base + 5, 1.0, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 6, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 7);
  declareDouble(synth, base + 8, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 9);
}

void AudioSH::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_AUDIOSH);
}

void AudioSH::setSampleRate(double rate)
{
  freq2PhInc = phaseIncrementTable(rate);
  phase1 = phase2 = increment = 0;
}

void AudioSH::setFrequencySource(int* pitch)
{
  pitchSource = pitch;
}

void AudioSH::setPitch(int s)
{
  semitones = s;
  offset = semitones * 128 + tune;
}

void AudioSH::setTune(int t)
{
  tune = t;
  offset = semitones * 128 + tune;
}

void AudioSH::setParameter(int index, double v)
{
  switch (index) {
  case 0:
    input = getSource((int)v, SourceDef::AUDIO);
    break;
  case 1:
    blend = v;
    break;
  case 2:
    setPitch(clampToInt(std::floor(v), -24, 24));
    break;
  case 3:
    setTune(clampToInt(std::floor(v), -128, 128));
    break;
  case 4:
    fixed = v > 0.5;
    break;
  case 5:
    fixedPitch = clampToInt(std::floor(v * kMaxPitchStep), 0, kMaxPitchStep);
    break;
  case 6:
    mod1Amount = v;
    break;
  case 7:
    mod1Source = getSource((int)v, SourceDef::MODULATION);
    break;
  case 8:
    mod2Amount = v;
    break;
  case 9:
    mod2Source = getSource((int)v, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void AudioSH::update(bool active)
{
  if (!active) return;
  const double p = fixed ? fixedPitch : offset + (pitchSource ? *pitchSource : 0);
  const double m = additive(mod1Source, mod1Amount) + additive(mod2Source, mod2Amount);
  increment = freq2PhInc[pitchStep(p + m)];
  phase2 = (phase1 + 2 * kQuarter) & kPhaseMask;

  // Fewer harmonics as the table is read in larger strides: one level per half octave above two entries
  // per sample.
  double s = increment >> 16;
  int level = 0;
  if (s >= 2.0)
    while (s > 1.0 && level < kLevels - 1) {
      s *= 0.7071067811865476;
      ++level;
    }
  const Windows& w = windows();
  square = w.square[level];
  sawtrain = w.sawtrain[level];
}

void AudioSH::process()
{
  if (!input || !square) {
    audioOut[0] = nextAudioOut[0] = 0.0;
    syncOut[0] = nextSyncOut[0] = 0.0;
    return;
  }
  audioOut[0] = nextAudioOut[0];
  syncOut[0] = nextSyncOut[0];

  const int i1 = phase1 >> 16, i2 = phase2 >> 16;
  const double w1 = square[i1] + blend * (sawtrain[i2] - square[i1]);
  const double w2 = square[i2] + blend * (sawtrain[i1] - square[i2]);

  // Each stage arms in the middle half of its cycle and samples once past three quarters, where its
  // square window is near its low end. A sample that is not a number is held as silence.
  if (!armed1 && phase1 > kQuarter && phase1 < 3 * kQuarter) {
    armed1 = true;
  } else if (phase1 > 3 * kQuarter && armed1) {
    held1 = finiteOrZero(*input);
    armed1 = false;
  }
  if (!armed2 && phase2 > kQuarter && phase2 < 3 * kQuarter) {
    armed2 = true;
  } else if (phase2 > 3 * kQuarter && armed2) {
    held2 = finiteOrZero(*input);
    armed2 = false;
  }
  nextAudioOut[0] = w1 * held1 + w2 * held2;

  phase1 += increment;
  if (phase1 > kPhaseMask) {
    phase1 &= kPhaseMask;
    nextSyncOut[0] = 1.0;
  } else {
    nextSyncOut[0] = 0.0;
  }
  phase2 = (phase2 + increment) & kPhaseMask;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 24, 0, SourceDef::AUDIO, {"IN"}),
  knob(80, 24, 1, {"BLEND"}),
  knob(16, 88, 2, {"SEMI"}),
  knob(80, 88, 3, {"FINE"}),
  switchControl(24, 175, 4, kImageSwitch2Orange, {"FIXED"}),
  knob(80, 164, 5, {"FREQ"}),
  knob(16, 232, 6, {"FM 1"}),
  knob(80, 232, 8, {"FM 2"}),
  sources(16, 280, 7, SourceDef::MODULATION),
  sources(80, 280, 9, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout AudioSH::panel = {kImageModuleAudiosh, kPanelRows};

void AudioSH::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
