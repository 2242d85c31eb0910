#include "LFO.h"

#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Veltrane.h"

#include <cmath>

using namespace ModuleConventions;
using namespace ModulatorCommon;

const char* const LFO::labelLfoWaveform[4] = {"Sinoid", "Trapezoid", "Pulse", "Random"};
const char* const* const LFO::labelLfoSync = ModulatorCommon::labelLfoSync;

namespace {
constexpr double kTwoPi = 6.283185307179586;
} // namespace

LFO::LFO(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), lfoRandSeed(&randomSeeds().lfo), wave(0), syncDivision(-1), shape(0.0), phase(0.0), rate(0.0), rateModAmount(0.0),
      rateModSource(nullptr), level(0.0), levelModAmount(0.0), levelModSource(nullptr), resetSource(nullptr),
      previousReset(0.0), counter(0), period(0), heldRandom(0.0), previousPhase(0.0), sync(false)
{
}

void LFO::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, kSinoid, 4, labelLfoWaveform);
  declareDouble(synth, base + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 2, 0.0, 0.0, 1.0, 1.0 / 360.0, 1.0, setDisplayTextForDegree);
  declareDouble(synth, base + 3, 5.5, 0.001, 100.0, 0.01, 4.0);
  declareDouble(synth, base + 4, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 5);
  declareDouble(synth, base + 6, 1.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 7, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 8);
  declareSelector(synth, base + 9);
  declareEnum(synth, base + 10, 0, 21, labelLfoSync);
}

void LFO::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_LFO);
}

void LFO::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    wave = clampToInt(std::floor(value), -1, 4);
    break;
  case 1:
    shape = clampValue(value, -1.0, 1.0);
    break;
  case 2:
    phase = finiteOrZero(value);
    break;
  case 3:
    rate = value;
    setPeriod();
    break;
  case 4:
    rateModAmount = finiteOrZero(value);
    break;
  case 5:
    rateModSource = getSource((int)value, SourceDef::MODULATION);
    setPeriod();
    break;
  case 6:
    level = finiteOrZero(value);
    break;
  case 7:
    levelModAmount = finiteOrZero(value);
    break;
  case 8:
    levelModSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 9:
    resetSource = getSource((int)value, SourceDef::GATE);
    break;
  case 10:
    setSync(clampToInt(std::floor(value), 0, 21));
    break;
  default:
    break;
  }
}

void LFO::setSync(int value)
{
  sync = value >= 1;
  syncDivision = value - 1;
  if (!sync) setPeriod();
}

void LFO::setPeriod()
{
  if (sync) return;
  double m = 0.0;
  if (rateModSource) {
    const double x = *rateModSource * rateModAmount;
    m = 100.0 * x * x * x * x;
    if (rateModAmount < 0.0) m = -m;
  }
  const int next = periodForRate(rate + m);
  counter = rescaleCounter(counter, period, next);
  period = next;
}

void LFO::update(bool)
{
  modOut[0] = nextModOut[0];
  modOut[1] = nextModOut[1];
  gateOut[0] = nextGateOut[0];

  if (resetSource) {
    const double v = *resetSource;
    if (v > previousReset) counter = period;
    previousReset = v;
  }
  if (rateModSource && !sync) setPeriod();

  double p = phase;
  if (period >= 2) {
    p = 1.0 - (double)counter / (double)(period - 1) + phase;
    if (p > 1.0) p -= 1.0;
  }

  const double w = (shape + 1.0) * 0.5;
  nextGateOut[0] = p < w ? 1.0 : 0.0;

  double x = 0.0;
  switch (wave) {
  case kSinoid: {
    const double s = std::sin(kTwoPi * p);
    x = shape == 0.0 ? s : std::sin(kTwoPi * p - shape * s);
    break;
  }
  case kTrapezoid:
    if (shape <= -1.0)
      x = 1.0 - 2.0 * p;
    else if (shape >= 1.0)
      x = 2.0 * p - 1.0;
    else if (p < w)
      x = 2.0 * p / w - 1.0;
    else
      x = 1.0 - 2.0 * (p - w) / (1.0 - w);
    break;
  case kPulse:
    x = p < w ? 1.0 : -1.0;
    break;
  case kRandom:
    if (previousPhase > p) heldRandom = drawShared(lfoRandSeed);
    x = heldRandom;
    previousPhase = p;
    break;
  default:
    break;
  }

  double l = level;
  if (levelModSource) {
    const double m = *levelModSource;
    l = levelModAmount >= 0.0 ? level * (1.0 + levelModAmount * (m - 1.0)) : level * (1.0 + levelModAmount * m);
  }
  // Held for a whole tick, so a source that is not a number for one sample must not reach them.
  nextModOut[0] = finiteOrZero(l * x);
  nextModOut[1] = finiteOrZero(l * 0.5 * (1.0 + x));

  if (sync) {
    const Clock* clock = owner ? &owner->clock : nullptr;
    if (clock && syncDivision >= 0 && syncDivision < Clock::kNumRates) {
      counter = 2 * clock->countdown[syncDivision];
      period = 2 * clock->period[syncDivision];
    }
  } else {
    counter = countDown(counter, period);
  }
  shownCycle.publish(counter, period);
}

// ---- panel ----

namespace {
// The wave on top, its shape and start phase, then rate and level with their modulation below them; the
// lamp sits between rate and level.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(35, 24, 0, 0, {"WAVE"}),
  knob(16, 72, 1, {"SHAPE"}),
  knob(80, 72, 2, {"PHASE"}),
  knob(16, 136, 3, {"RATE"}),
  knob(80, 136, 6, {"LEVEL"}),
  knob(16, 198, 4, {"RATE MOD"}),
  knob(80, 198, 7, {"LEVEL MOD"}),
  sources(16, 246, 5, SourceDef::MODULATION),
  sources(80, 246, 8, SourceDef::MODULATION),
  popUp(16, 280, 10, kImageButton, {"SYNC"}),
  sources(80, 280, 9, SourceDef::GATE, {"RESET"}),
  led(60, 148),
};
// clang-format on
} // namespace

const PanelLayout LFO::panel = {kImageModuleLfo, kPanelRows};

void LFO::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void LFO::updateGraphics()
{
  IControl* const* lamps = panelSpecials(config, 1);
  if (!lamps) return;
  const ModulatorLamps::CyclePosition::Value c = shownCycle.load();
  showLamp(lamps[0], c.countdown >= c.half());
}
