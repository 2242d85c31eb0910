#include "BeatSeq.h"

#include "BeatSteps.h"
#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

const char* const* const BeatSeq::labelBeatSteps = ModulatorCommon::labelSteps;

BeatSeq::BeatSeq(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), divider(0), lastStep(0), clockSource(nullptr), resetSource(nullptr),
      loop(false), lines{}, dividerCountdown(0), previousClock(0.0), previousReset(0.0), currentStep(0), stopped(false)
{
}

void BeatSeq::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareEnum(synth, base + 1, 0, kSteps, labelBeatSteps);
  declareSelector(synth, base + 2);
  ModulatorCommon::declareBool(synth, base + 3, true);
  declareEnum(synth, base + 4, kSteps - 1, kSteps, labelBeatSteps);
  for (int p = 5; p <= 8; ++p) declareInt(synth, base + p, 0, 0, 65536);
}

void BeatSeq::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_BEATSEQ);
}

void BeatSeq::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    clockSource = getSource((int)value, SourceDef::GATE);
    break;
  case 1:
    divider = clampToInt(std::floor(value), 0, kSteps - 1);
    dividerCountdown = divider;
    break;
  case 2:
    resetSource = getSource((int)value, SourceDef::GATE);
    break;
  case 3:
    loop = value >= 0.5;
    break;
  case 4:
    lastStep = clampToInt(value, 0, kSteps - 1);
    break;
  default:
    if (index >= 5 && index <= 8) setSteps(index - 5, clampToInt(std::floor(value), 0, 65536));
    break;
  }
}

void BeatSeq::setSteps(int line, int mask)
{
  if (line < 0 || line >= kLines) return;
  for (int k = 0; k < kSteps; ++k) lines[line][k] = (mask >> k) & 1;
}

bool BeatSeq::isClockTriggered()
{
  return gateRose(clockSource, &previousClock);
}

bool BeatSeq::isResetTriggered()
{
  return gateRose(resetSource, &previousReset);
}

void BeatSeq::setLineTriggers()
{
  for (int l = 0; l < kLines; ++l)
    if (lines[l][currentStep]) nextGateOut[kLineA + l] = 1.0;
}

void BeatSeq::reset()
{
  currentStep = 0;
  stopped = false;
  dividerCountdown = divider;
  nextGateOut[kClock] = nextGateOut[kClockDiv] = nextGateOut[kReset] = 1.0;
  setLineTriggers();
}

void BeatSeq::nextStep()
{
  if (currentStep < lastStep) {
    ++currentStep;
    nextGateOut[kClockDiv] = 1.0;
  } else if (loop) {
    reset();
    return;
  } else {
    currentStep = lastStep;
    if (!stopped) nextGateOut[kStop] = 1.0;
    stopped = true;
  }
  setLineTriggers();
}

void BeatSeq::clock()
{
  const int d = dividerCountdown--;
  if (d <= 0) {
    dividerCountdown = divider;
    nextStep();
  }
  nextGateOut[stopped ? kClockLink : kClock] = 1.0;
}

void BeatSeq::update(bool)
{
  ModulatorCommon::publishGates(gateOut, nextGateOut);
  const bool resetFired = isResetTriggered();
  const bool clockFired = isClockTriggered();
  if (resetFired)
    reset();
  else if (clockFired)
    clock();
  publishedStep.store(currentStep, std::memory_order_relaxed);
}

// ---- panel ----

namespace {
// The step columns of lines A-D stand 25 pixels apart; the lamp of step k sits left of the columns' row k,
// 4 pixels below the top of its toggles.
constexpr int kColumnsY = 83;
constexpr int kLedY = kColumnsY + 4;
constexpr int kRow = ITWBeatStepControl::kPitch;
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 24, 0, SourceDef::GATE, {"CLOCK"}),
  sources(16, 54, 2, SourceDef::GATE, {"RESET"}),
  switchControl(60, 34, 3, kImageSwitch2Orange, {"LOOP", kRight}),
  popUp(67, 24, 1, 0, {"CLK DIV"}),
  popUp(67, 54, 4, 0, {"STEPS", kBelow}),
  beatSteps(19, kColumnsY, 5),
  beatSteps(44, kColumnsY, 6),
  beatSteps(69, kColumnsY, 7),
  beatSteps(94, kColumnsY, 8),
  led(8, kLedY + 0 * kRow),  led(8, kLedY + 1 * kRow),  led(8, kLedY + 2 * kRow),  led(8, kLedY + 3 * kRow),
  led(8, kLedY + 4 * kRow),  led(8, kLedY + 5 * kRow),  led(8, kLedY + 6 * kRow),  led(8, kLedY + 7 * kRow),
  led(8, kLedY + 8 * kRow),  led(8, kLedY + 9 * kRow),  led(8, kLedY + 10 * kRow), led(8, kLedY + 11 * kRow),
  led(8, kLedY + 12 * kRow), led(8, kLedY + 13 * kRow), led(8, kLedY + 14 * kRow), led(8, kLedY + 15 * kRow),
};
// clang-format on
} // namespace

const PanelLayout BeatSeq::panel = {kImageModuleBeat, kPanelRows};

void BeatSeq::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void BeatSeq::updateGraphics()
{
  if (IControl* const* leds = panelSpecials(config, kSteps)) showStepLeds(leds, kSteps, beatSeqShownStep(this));
}
