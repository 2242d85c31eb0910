#include "K35.h"

#include "EditorImages.h"
#include "FilterTables.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Synth.h"
#include "Veltrane.h"

#include <cmath>

using namespace ModuleConventions;

const char* const K35::labelType[3] = {"Bypass", "Lowpass", "Highpass"};

namespace {
// The feedback sum: its positive half amplified by 1.17, the whole held to +-4. A NaN passes through and
// is caught by the caller's state check.
inline double shapeFeedback(double f)
{
  if (f > 0.0) f *= 1.17;
  return f > 4.0 ? 4.0 : (f < -4.0 ? -4.0 : f);
}
} // namespace

K35::K35(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), pitchSource(nullptr), referencePitch(0), type(0), cutoffPitch(0), resonance(0.0), alpha0(0.0), G(0.0), beta2(0.0), beta3(0.0), k(0.0), cachedPitch(0), cachedK(0.0), coeffsStale(true), guard(0.0), s{0.0, 0.0, 0.0}, freq2tanW(FilterTables::tangentTable(0.0))
{
}

void K35::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, 1, 3, labelType);
  declareDouble(synth, base + 1, 1.0, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 2, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareShared(base, synth);
}

void K35::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_K35);
}

void K35::retune()
{
  referencePitch = static_cast<Synth*>(owner)->getFrequency(48);
}

void K35::setSampleRate(double rate)
{
  freq2tanW = FilterTables::tangentTable(rate);
  referencePitch = owner ? static_cast<Synth*>(owner)->getFrequency(48) : 48 * 128;
  guard = kGuardStart;
  reset();
}

void K35::setFrequencySource(int* pitch)
{
  pitchSource = pitch;
}

void K35::reset()
{
  guard = kGuardStart;
  resonance = 0.0;
  k = 0.01;
  beta2 = beta3 = 1.0;
  alpha0 = 0.0;
  G = 1.0;
  s[0] = s[1] = s[2] = 0.0;
  cachedPitch = -1;
  cachedK = 0.0;
  coeffsStale = true;
}

void K35::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    type = clampToInt(std::floor(value), 0, 2);
    coeffsStale = true; // the next tick works out the new type's feedback taps, whatever the cutoff sum
    break;
  case 1:
    cutoffPitch = clampToInt(std::floor(value * kMaxPitchStep), 0, kMaxPitchStep);
    break;
  case 2:
    resonance = value;
    break;
  default:
    setShared(this, index, value);
    break;
  }
}

void K35::update(bool active)
{
  if (!active) return;
  const int voicePitch = pitchSource ? *pitchSource : 0;
  // The cache compares the unclamped pitch, the table index is clamped.
  const int p = modulatedPitch(keyTrackedPitch(cutoffPitch, voicePitch, referencePitch));
  k = 1.7 * modulatedParam2(resonance) + 0.01;

  if (!coeffsStale && p == cachedPitch && k == cachedK) return;
  coeffsStale = false;
  cachedPitch = p;
  cachedK = k;

  const double t = freq2tanW[clampPitchStep(p)];
  const double m = 1.0 / (1.0 + t);
  G = t * m;
  alpha0 = 1.0 / (1.0 - k * G + k * G * G);
  if (type == kLowpassType) {
    beta2 = (k - k * G) * m;
    beta3 = -m;
  } else if (type == kHighpassType) {
    beta2 = m;
    beta3 = -G * m;
  }
}

double K35::filterSample(double x, double* st) const
{
  const double f = shapeFeedback(beta2 * st[1] + beta3 * st[2]);
  // Stage 1, a low-pass on the input: its low-pass output l1, its high-pass output x - l1.
  const double d1 = (x - st[0]) * G;
  const double l1 = st[0] + d1;
  st[0] = l1 + d1;
  if (type == kLowpassType) {
    const double u = (l1 + f) * alpha0;
    const double d2 = (u - st[1]) * G;
    const double y = st[1] + d2;
    st[1] = y + d2;
    const double d3 = (k * y - st[2]) * G; // stage 3 only feeds back
    st[2] += d3 + d3;
    return y * reciprocalDrive;
  }
  const double u = (x - l1 + f) * alpha0;
  const double ku = k * u;
  const double d3 = (ku - st[2]) * G;
  const double l3 = st[2] + d3;
  st[2] = l3 + d3;
  const double d2 = (ku - l3 - st[1]) * G; // stage 2 takes stage 3's high-pass output
  const double l2 = st[1] + d2;
  st[1] = l2 + d2;
  return u * reciprocalDrive;
}

void K35::process()
{
  audioOut[0] = nextAudioOut[0];
  const double in = inputALevel * (inputA ? *inputA : 0.0) + inputBLevel * (inputB ? *inputB : 0.0);
  if (type == kBypass) {
    nextAudioOut[0] = in;
    return;
  }
  const double d = nextGuard(&guard);
  s[0] -= d;
  s[1] -= d;
  s[2] -= d;
  const double y = filterSample(drive * in - d, s);
  if (stateBroken(y) || stateBroken(s[0] + s[1] + s[2])) {
    s[0] = s[1] = s[2] = 0.0;
    nextAudioOut[0] = 0.0;
    return;
  }
  nextAudioOut[0] = y;
}

// ---- stereo ----

StereoK35::StereoK35(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : K35(config, voice, owner), sLeft{0.0, 0.0, 0.0}, sRight{0.0, 0.0, 0.0}
{
}

void StereoK35::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_STEREOK35);
}

void StereoK35::reset()
{
  K35::reset();
  for (int i = 0; i < 3; ++i) sLeft[i] = sRight[i] = 0.0;
}

void StereoK35::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double inL = inputALevel * (inputA ? *inputA : 0.0);
  const double inR = inputBLevel * (inputB ? *inputB : 0.0);
  if (type == kBypass) {
    nextAudioOut[0] = inL;
    nextAudioOut[1] = inR;
    return;
  }
  // Only the inputs carry the guard here, not the stage states.
  const double d = nextGuard(&guard);
  const double l = filterSample(drive * inL - d, sLeft);
  const double r = filterSample(drive * inR - d, sRight);
  if (stateBroken(l + r) || stateBroken(sLeft[0] + sLeft[1] + sLeft[2] + sRight[0] + sRight[1] + sRight[2])) {
    for (int i = 0; i < 3; ++i) sLeft[i] = sRight[i] = 0.0;
    nextAudioOut[0] = nextAudioOut[1] = 0.0;
    return;
  }
  nextAudioOut[0] = l;
  nextAudioOut[1] = r;
}

// ---- panel ----

// The ladder's controls and background: a slot switched between the two keeps its panel but for the type list.
const PanelLayout K35::panel = {kImageModuleFilter, FilterSlot::panelRows};
const PanelLayout StereoK35::panel = {kImageModuleStfilter, FilterSlot::panelRows};

void K35::createCommonGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelControls(config, x, y, base, panel);
}

void K35::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  createCommonGraphics(config, x, y, base);
}

void StereoK35::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  K35::createCommonGraphics(config, x, y, base);
}
