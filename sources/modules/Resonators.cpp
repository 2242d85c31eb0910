#include "Resonators.h"

#include "EditorImages.h"
#include "FilterTables.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

// ---- one resonator ----

void Resonator::setSampleRate(double rate)
{
  freq2rad = radiansTable(rate);
  basePitch = 0;
  g = c1 = c2 = 0.0;
  cachedPitch = -1;
  coeffsStale = true;
  reset();
}

void Resonator::update(double offset)
{
  const int p = clampToInt(std::floor(offset) + basePitch, -2147483647, 2147483647);
  if ((!coeffsStale && p == cachedPitch) || !freq2rad) return;
  coeffsStale = false;
  cachedPitch = p;
  // Held below Nyquist (0.49 of the rate): above it the pole would leave the unit circle.
  const double wMax = FilterTables::kMaxCentreRatio * 6.283185307179586;
  double w = freq2rad[clampPitchStep(p)];
  if (w > wMax) w = wMax;
  const double alpha = 0.25 * std::sin(w);
  const double n = 1.0 / (1.0 + alpha);
  g = 2.0 * alpha * n;
  c1 = 2.0 * std::cos(w) * n;
  c2 = (alpha - 1.0) * n;
}

// ---- the module ----

namespace {
void setSampleRates(Resonator* r, int count, double rate)
{
  for (int i = 0; i < count; ++i) r[i].setSampleRate(rate);
}

void updateAll(Resonator* r, int count, double offset)
{
  for (int i = 0; i < count; ++i) r[i].update(offset);
}

void resetAll(Resonator* r, int count)
{
  for (int i = 0; i < count; ++i) r[i].reset();
}

int basePitchOf(double value)
{
  return clampToInt(std::floor(value * kMaxPitchStep), 0, kMaxPitchStep);
}
} // namespace

Resonators::Resonators(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), active(false), mix(0.0), inputA(nullptr), inputALevel(0.0), inputB(nullptr),
      inputBLevel(0.0), mod1Source(nullptr), mod1Amount(0.0), mod2Source(nullptr), mod2Amount(0.0)
{
}

void Resonators::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareDouble(synth, base + 0, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForMix);
  declareDouble(synth, base + 1, 0.3, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 2, 0.5, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 3, 0.7, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 4, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 5);
  declareDouble(synth, base + 6, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 7);
  declareDouble(synth, base + 8, 0.0, -12289.0, 12289.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 9);
  declareDouble(synth, base + 10, 0.0, -12289.0, 12289.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 11);
}

void Resonators::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_RESONATORS);
}

void Resonators::setSampleRate(double rate)
{
  setSampleRates(resonator, 3, rate);
  active = false;
}

void Resonators::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    mix = value;
    break;
  case 1:
  case 2:
  case 3:
    resonator[index - 1].basePitch = basePitchOf(value);
    break;
  case 4:
    inputALevel = value;
    break;
  case 5:
    inputA = getSource((int)value, SourceDef::AUDIO);
    break;
  case 6:
    inputBLevel = value;
    break;
  case 7:
    inputB = getSource((int)value, SourceDef::AUDIO);
    break;
  case 8:
    mod1Amount = value;
    break;
  case 9:
    mod1Source = getSource((int)value, SourceDef::MODULATION);
    break;
  case 10:
    mod2Amount = value;
    break;
  case 11:
    mod2Source = getSource((int)value, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

double Resonators::modulation() const
{
  return additive(mod1Source, mod1Amount) + additive(mod2Source, mod2Amount);
}

double Resonators::inputLeft() const
{
  return inputALevel * (inputA ? *inputA : 0.0);
}

double Resonators::inputRight() const
{
  return inputBLevel * (inputB ? *inputB : 0.0);
}

void Resonators::update(bool isActive)
{
  if (isActive) {
    active = true;
    updateAll(resonator, 3, modulation());
  } else {
    // A voice that falls idle starts its next note from silent resonators; the tuning stays.
    if (active) resetAll(resonator, 3);
    active = false;
  }
}

void Resonators::process()
{
  for (int i = 0; i < 4; ++i) audioOut[i] = nextAudioOut[i];
  const double in = inputLeft() + inputRight();
  const double a = resonator[0].process(in);
  const double b = resonator[1].process(in);
  const double c = resonator[2].process(in);
  if (stateBroken(a + b + c)) {
    resetAll(resonator, 3);
    for (int i = 0; i < 4; ++i) nextAudioOut[i] = 0.0;
    return;
  }
  nextAudioOut[0] = (1.0 - mix) * in + 0.3 * mix * (a + b + c);
  nextAudioOut[1] = a;
  nextAudioOut[2] = b;
  nextAudioOut[3] = c;
}

// ---- stereo ----

StereoResonators::StereoResonators(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Resonators(config, voice, owner)
{
}

void StereoResonators::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_STEREORESONATORS);
}

void StereoResonators::setSampleRate(double rate)
{
  Resonators::setSampleRate(rate);
  setSampleRates(left, 3, rate);
  setSampleRates(right, 3, rate);
}

void StereoResonators::setParameter(int index, double value)
{
  if (index >= 1 && index <= 3) {
    left[index - 1].basePitch = right[index - 1].basePitch = basePitchOf(value);
    return;
  }
  Resonators::setParameter(index, value);
}

void StereoResonators::update(bool isActive)
{
  if (isActive) {
    active = true;
    const double m = modulation();
    updateAll(left, 3, m);
    updateAll(right, 3, m);
  } else {
    if (active) {
      resetAll(left, 3);
      resetAll(right, 3);
    }
    active = false;
  }
}

void StereoResonators::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double inL = inputLeft(), inR = inputRight();
  const double l = left[0].process(inL) + left[1].process(inL) + left[2].process(inL);
  const double r = right[0].process(inR) + right[1].process(inR) + right[2].process(inR);
  if (stateBroken(l + r)) {
    resetAll(left, 3);
    resetAll(right, 3);
    nextAudioOut[0] = nextAudioOut[1] = 0.0;
    return;
  }
  nextAudioOut[0] = (1.0 - mix) * inL + 0.3 * mix * l;
  nextAudioOut[1] = (1.0 - mix) * inR + 0.3 * mix * r;
}

// ---- panel ----

namespace {
// Inputs at the top, the mix between them, the three frequencies in a triangle, the modulations below.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 4, {"IN A"}),
  knob(80, 24, 6, {"IN B"}),
  sources(16, 72, 5, SourceDef::AUDIO),
  sources(80, 72, 7, SourceDef::AUDIO),
  knob(48, 88, 0, {"MIX"}),
  knob(16, 128, 1, {"FREQ A"}),
  knob(48, 168, 2, {"FREQ B"}),
  knob(80, 128, 3, {"FREQ C"}),
  knob(16, 232, 8, {"FM 1"}),
  knob(80, 232, 10, {"FM 2"}),
  sources(16, 280, 9, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Resonators::panel = {kImageModuleReso, kPanelRows};
const PanelLayout StereoResonators::panel = {kImageModuleStreso, kPanelRows};

void Resonators::createCommonGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelControls(config, x, y, base, panel);
}

void Resonators::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  createCommonGraphics(config, x, y, base);
}

void StereoResonators::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  Resonators::createCommonGraphics(config, x, y, base);
}
