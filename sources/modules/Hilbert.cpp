#include "Hilbert.h"

#include "DeclareSwitch.h"
#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

using namespace ModuleConventions;

const double Hilbert::realCoeff[2][2] = {{1.94632, 0.94657}, {0.83774, 0.06338}};
const double Hilbert::imagCoeff[2][2] = {{-0.02569, -0.260502}, {1.8685, 0.870686}};

namespace {
constexpr int kPhaseMask = (1 << 28) - 1;
constexpr int kPhaseToIndex = 16; // top 12 of the 28 phase bits

double sineValues[Hilbert::kSineSize];
std::once_flag sineOnce;

void buildSine()
{
  for (int k = 0; k < Hilbert::kSineSize; ++k) sineValues[k] = std::sin(k * 6.283185307179586 / Hilbert::kSineSize);
}

// Built while the plug-in loads rather than by the first instance, which may be made on the audio thread.
const struct SineAtLoad
{
  SineAtLoad() { Hilbert::sineTable(); }
} sineAtLoad;

// y = c2 (x - y2) + c1 (y1 - x1) + x2 + d, d the guard of this sample.
inline double section(Hilbert::Section& s, const double* c, double x, double d)
{
  const double y = c[1] * (x - s.y2) + c[0] * (s.y1 - s.x1) + s.x2 + d;
  s.x2 = s.x1;
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}
} // namespace

const double* Hilbert::sineTable()
{
  std::call_once(sineOnce, buildSine);
  return sineValues;
}

Hilbert::Hilbert(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), inputA(nullptr), inputB(nullptr), modSource(nullptr), depth(0.0), shift(0.0),
      on(false), ring{nullptr, nullptr, nullptr, nullptr}, phase1(0), phase2(0), increment(0), sampleRate(0.0),
      guard(kGuardStart), sine(sineTable())
{
  std::memset(state, 0, sizeof(state));
}

void Hilbert::setDisplayTextForFreq(double v, char* text)
{
  const double f = std::fabs(v) * v * v * v * 5000.0;
  std::snprintf(text, 32, std::fabs(f) >= 1000.0 ? "%.0f" : "%.1f", f);
}

void Hilbert::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  declareSwitch(synth, base + 2, false);
  declareDouble(synth, base + 3, 0.0, -1.0, 1.0, 0.1, 1.0, setDisplayTextForFreq);
  declareDouble(synth, base + 4, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 5);
  for (int i = 6; i <= 9; ++i) declareSelector(synth, base + i);
}

void Hilbert::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_HILBERT);
}

void Hilbert::setSampleRate(double rate)
{
  sampleRate = rate;
  phase1 = phase2 = increment = 0;
  guard = kGuardStart;
  std::memset(state, 0, sizeof(state));
}

void Hilbert::setParameter(int index, double v)
{
  switch (index) {
  case 0:
    inputA = getSource((int)v, SourceDef::AUDIO);
    break;
  case 1:
    inputB = getSource((int)v, SourceDef::AUDIO);
    break;
  case 2:
    on = v >= 0.5;
    break;
  case 3:
    shift = std::fabs(v) * v * v * v * 5000.0;
    break;
  case 4:
    depth = v * 5000.0;
    break;
  case 5:
    modSource = getSource((int)v, SourceDef::MODULATION);
    break;
  case 6:
  case 7:
  case 8:
  case 9:
    ring[index - 6] = getSource((int)v, SourceDef::AUDIO);
    break;
  default:
    break;
  }
}

void Hilbert::update(bool active)
{
  if (!active || !on) return;
  const double m = modSource ? finiteOrZero(*modSource) : 0.0;
  const double f = clampValue(shift + depth * m, -5000.0, 5000.0);
  // A quarter of a cycle per sample at most from 20 kHz up; held below a cycle for any rate.
  increment = sampleRate > 0.0 ? clampToInt(std::floor(f * 268435456.0 / sampleRate), -kPhaseMask, kPhaseMask) : 0;
  phase2 = (phase1 + 3 * (1 << 26)) & kPhaseMask;
}

void Hilbert::process()
{
  for (int k = 0; k < 9; ++k) audioOut[k] = nextAudioOut[k];

  const double d = nextGuard(&guard);
  double* const inputs[2] = {inputA, inputB};
  for (int ch = 0; ch < 2; ++ch) {
    if (!inputs[ch]) {
      nextAudioOut[2 * ch] = nextAudioOut[2 * ch + 1] = 0.0;
      continue;
    }
    const double x = *inputs[ch];
    Section* s = state[ch];
    const double re = section(s[1], realCoeff[1], section(s[0], realCoeff[0], x, d), d);
    const double im = section(s[3], imagCoeff[1], section(s[2], imagCoeff[0], x, d), d);
    if (stateBroken(re + im)) { // a sample that is not a number: this input's network starts from rest
      std::memset(s, 0, 4 * sizeof(Section));
      nextAudioOut[2 * ch] = nextAudioOut[2 * ch + 1] = 0.0;
      continue;
    }
    nextAudioOut[2 * ch] = re;
    nextAudioOut[2 * ch + 1] = im;
  }

  if (on) {
    nextAudioOut[4] = sine[phase1 >> kPhaseToIndex];
    nextAudioOut[5] = sine[phase2 >> kPhaseToIndex];
    phase1 = (phase1 + increment) & kPhaseMask;
    phase2 = (phase2 + increment) & kPhaseMask;
  }

  const double a = ring[0] && ring[1] ? *ring[0] * *ring[1] : 0.0;
  const double b = ring[2] && ring[3] ? *ring[2] * *ring[3] : 0.0;
  nextAudioOut[6] = a;
  nextAudioOut[7] = b;
  nextAudioOut[8] = a + b;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(80, 34, 0, SourceDef::AUDIO, {"IN A", kLeft}),
  sources(80, 56, 1, SourceDef::AUDIO, {"IN B", kLeft}),
  knob(16, 122, 3, {"SHIFT"}),
  knob(80, 122, 4, {"FM"}),
  switchControl(22, 169, 2, kImageSwitch2Horiz, {"OSC", kBelow}),
  sources(80, 168, 5, SourceDef::MODULATION),
  sources(16, 234, 6, SourceDef::AUDIO, {"RING A", kAbove, 32}),
  sources(80, 234, 7, SourceDef::AUDIO),
  sources(16, 272, 8, SourceDef::AUDIO, {"RING B", kAbove, 32}),
  sources(80, 272, 9, SourceDef::AUDIO),
};
// clang-format on
} // namespace

const PanelLayout Hilbert::panel = {kImageModuleHilbert, kPanelRows};

void Hilbert::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
