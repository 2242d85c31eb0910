#include "LFO2.h"

#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Veltrane.h"

#include <cmath>

using namespace ModuleConventions;
using namespace ModulatorCommon;

const char* const LFO2::labelLfoWaveform[6] = {"Sine", "Triangle", "Saw Dn", "Saw Up", "Square", "Random"};
const char* const* const LFO2::labelLfoSync = ModulatorCommon::labelLfoSync;

LFO2::LFO2(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), lfoRandSeed(&randomSeeds().lfo2), wave{0, 0}, syncDivision{-1, -1}, rate{0.0, 0.0}, level{0.0, 0.0},
      levelModAmount{0.0, 0.0}, levelModSource{nullptr, nullptr}, resetSource{nullptr, nullptr}, previousReset{0.0,
                                                                                                               0.0},
      counter{0, 0}, period{0, 0}, heldRandom{0.0, 0.0}, previousPosition{0.0, 0.0}, sync{false, false}
{
}

void LFO2::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int i = 0; i < 2; ++i) {
    declareEnum(synth, base + 0 + i, kSine, 6, labelLfoWaveform);
    declareDouble(synth, base + 2 + i, 5.5, 0.001, 100.0, 0.01, 4.0);
    declareDouble(synth, base + 4 + i, 1.0, 0.0, 1.0, 0.01, 1.0);
    declareDouble(synth, base + 6 + i, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + 8 + i);
    declareSelector(synth, base + 10 + i);
    declareEnum(synth, base + 12 + i, 0, 21, labelLfoSync);
  }
}

void LFO2::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_LFO2);
}

void LFO2::setParameter(int index, double value)
{
  if (index < 0 || index > 13) return;
  const int i = index & 1;
  switch (index >> 1) {
  case 0:
    wave[i] = clampToInt(std::floor(value), -1, 6);
    break;
  case 1:
    rate[i] = value;
    setPeriod(i);
    break;
  case 2:
    level[i] = finiteOrZero(value);
    break;
  case 3:
    levelModAmount[i] = finiteOrZero(value);
    break;
  case 4:
    levelModSource[i] = getSource((int)value, SourceDef::MODULATION);
    break;
  case 5:
    resetSource[i] = getSource((int)value, SourceDef::GATE);
    break;
  default:
    setSync(i, clampToInt(std::floor(value), 0, 21));
    break;
  }
}

void LFO2::setSync(int lfo, int value)
{
  sync[lfo] = value >= 1;
  syncDivision[lfo] = value - 1;
  if (!sync[lfo]) setPeriod(lfo);
}

void LFO2::setPeriod(int lfo)
{
  if (sync[lfo]) return;
  const int next = periodForRate(rate[lfo]);
  counter[lfo] = rescaleCounter(counter[lfo], period[lfo], next);
  period[lfo] = next;
}

void LFO2::update(bool)
{
  for (int k = 0; k < 4; ++k) modOut[k] = nextModOut[k];
  gateOut[0] = nextGateOut[0];
  gateOut[1] = nextGateOut[1];

  for (int i = 0; i < 2; ++i) {
    if (resetSource[i]) {
      const double v = *resetSource[i];
      if (v > previousReset[i]) counter[i] = period[i];
      previousReset[i] = v;
    }
    const bool running = period[i] >= 2;
    const double x = running ? 1.0 - 2.0 * (double)counter[i] / (double)(period[i] - 1) : 1.0;
    nextGateOut[i] = running && x < 0.0 ? 1.0 : 0.0;

    double w = 0.0;
    switch (wave[i]) {
    case kSine:
      w = std::sin(-M_PI * x);
      break;
    case kTriangle:
      w = x < 0.0 ? 2.0 * x + 1.0 : 1.0 - 2.0 * x;
      break;
    case kSawDown:
      w = -x;
      break;
    case kSawUp:
      w = x;
      break;
    case kSquare:
      w = running && x < 0.0 ? 1.0 : -1.0;
      break;
    case kRandom:
      if (previousPosition[i] > x) heldRandom[i] = drawShared(lfoRandSeed);
      w = heldRandom[i];
      previousPosition[i] = x;
      break;
    default:
      break;
    }

    double l = level[i];
    if (levelModSource[i]) {
      const double m = *levelModSource[i];
      const double a = levelModAmount[i];
      l = a >= 0.0 ? l * (1.0 + a * (m - 1.0)) : l * (1.0 + a * m);
    }
    // Held for a whole tick, so a source that is not a number for one sample must not reach them.
    nextModOut[2 * i] = finiteOrZero(l * w);
    nextModOut[2 * i + 1] = finiteOrZero(l * 0.5 * (1.0 + w));

    const int d = syncDivision[i];
    if (sync[i]) {
      if (owner && d >= 0 && d < Clock::kNumRates) {
        counter[i] = 2 * owner->clock.countdown[d];
        period[i] = 2 * owner->clock.period[d];
      }
    } else {
      counter[i] = countDown(counter[i], period[i]);
    }
    shownCycle[i].publish(counter[i], period[i]);
  }
}

// ---- panel ----

namespace {
// LFO A left, B right: wave, rate, level, level modulation, sync and reset gate; each lamp beside its rate.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(4, 24, 0, 0, {"WAVE A"}),
  popUp(68, 24, 1, 0, {"WAVE B"}),
  knob(16, 64, 2, {"RATE", kAbove, 3}),
  knob(80, 64, 3, {"RATE", kAbove, -3}),
  knob(16, 120, 4, {"LEVEL"}),
  knob(80, 120, 5, {"LEVEL"}),
  knob(16, 176, 6, {"MOD"}),
  knob(80, 176, 7, {"MOD"}),
  sources(16, 222, 8, SourceDef::MODULATION),
  sources(80, 222, 9, SourceDef::MODULATION),
  popUp(16, 251, 12, kImageButton, {"SYNC"}),
  popUp(80, 251, 13, kImageButton, {"SYNC"}),
  sources(16, 280, 10, SourceDef::GATE, {"RESET"}),
  sources(80, 280, 11, SourceDef::GATE, {"RESET"}),
  led(12, 60),
  led(108, 60),
};
// clang-format on
} // namespace

const PanelLayout LFO2::panel = {kImageModuleLfo2, kPanelRows};

void LFO2::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void LFO2::updateGraphics()
{
  IControl* const* lamps = panelSpecials(config, 2);
  if (!lamps) return;
  const ModulatorLamps::CyclePosition::Value a = shownCycle[0].load(), b = shownCycle[1].load();
  // Opposite halves: A's lamp from the start of its cycle to the middle, B's from the middle to the end
  // (both at the middle itself).
  showLamp(lamps[0], a.countdown >= a.half());
  showLamp(lamps[1], b.countdown <= b.half());
}
