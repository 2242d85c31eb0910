#include "SeqSwitch.h"

#include "AudioSwitch.h"
#include "BeatSteps.h"
#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

SeqSwitch::SeqSwitch(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), divider(0), lastStep(0), clockSource(nullptr), resetSource(nullptr),
      stopSource(nullptr), inputs{}, loop(false), period(0), counter(0), previousCounter(0), dividerCountdown(0),
      previousClock(0.0), previousReset(0.0), currentStep(0), stopped(false), signalType(SourceDef::MODULATION)
{
}

void SeqSwitch::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareDouble(synth, base + 0, 5.5, 0.001, 100.0, 0.01, 4.0);
  declareSelector(synth, base + 1);
  declareEnum(synth, base + 2, 7, 8, ModulatorCommon::labelSteps);
  declareSelector(synth, base + 3);
  ModulatorCommon::declareBool(synth, base + 4, true);
  declareSelector(synth, base + 5);
  declareEnum(synth, base + 6, 7, 8, ModulatorCommon::labelSteps);
  for (int p = 7; p <= 14; ++p) declareSelector(synth, base + p);
}

void SeqSwitch::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SEQSWITCH);
}

void SeqSwitch::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    setRate(value);
    break;
  case 1:
    clockSource = getSource((int)value, SourceDef::GATE);
    break;
  case 2:
    divider = clampToInt(std::floor(value), 0, kSteps - 1);
    dividerCountdown = divider;
    break;
  case 3:
    resetSource = getSource((int)value, SourceDef::GATE);
    break;
  case 4:
    loop = value >= 0.5;
    break;
  case 5:
    stopSource = getSource((int)value, signalType);
    break;
  case 6:
    lastStep = clampToInt(std::floor(value), 0, kSteps - 1);
    break;
  default:
    if (index >= 7 && index <= 14) inputs[index - 7] = getSource((int)value, signalType);
    break;
  }
}

void SeqSwitch::setRate(double rate)
{
  const int next = ModulatorCommon::periodForRate(rate);
  counter = ModulatorCommon::rescaleCounter(counter, period, next);
  period = next;
}

bool SeqSwitch::isClockTriggered()
{
  if (clockSource) return gateRose(clockSource, &previousClock);
  const bool fired = counter > previousCounter;
  previousCounter = counter;
  return fired;
}

bool SeqSwitch::isResetTriggered()
{
  return gateRose(resetSource, &previousReset);
}

void SeqSwitch::reset()
{
  currentStep = 0;
  stopped = false;
  counter = previousCounter = period;
  dividerCountdown = divider;
  nextGateOut[kClock] = nextGateOut[kClockDiv] = nextGateOut[kReset] = nextGateOut[kStep1] = 1.0;
  // Shown in this tick already; the next tick's publication clears it.
  gateOut[kStepActive] = inputs[0] ? 1.0 : 0.0;
}

void SeqSwitch::nextStep()
{
  if (currentStep < lastStep) {
    ++currentStep;
    nextGateOut[kClockDiv] = 1.0;
    nextGateOut[kStep1 + currentStep] = 1.0;
    gateOut[kStepActive] = inputs[currentStep] ? 1.0 : 0.0;
  } else if (loop) {
    reset();
  } else {
    currentStep = lastStep;
    if (!stopped) nextGateOut[kStop] = 1.0;
    stopped = true;
  }
}

void SeqSwitch::clock()
{
  const int d = dividerCountdown--;
  if (d <= 0) {
    dividerCountdown = divider;
    nextStep();
    if (clockSource) counter = period = kGatePeriod;
  }
  nextGateOut[stopped ? kClockLink : kClock] = 1.0;
}

void SeqSwitch::step()
{
  ModulatorCommon::publishGates(gateOut, nextGateOut);
  const bool resetFired = isResetTriggered();
  const bool clockFired = isClockTriggered();
  if (resetFired)
    reset();
  else if (clockFired)
    clock();
  counter = ModulatorCommon::countDown(counter, period);
  publishedStep.store(currentStep, std::memory_order_relaxed);
  publishedCounter.store(counter, std::memory_order_relaxed);
  publishedPeriod.store(period, std::memory_order_relaxed);
}

void SeqSwitch::update(bool)
{
  modOut[0] = nextModOut[0];
  step();
  const double* in = stopSource && stopped ? stopSource : inputs[currentStep];
  // Held for a whole tick: an input that is not a number for one sample passes as 0.
  nextModOut[0] = in ? finiteOrZero(*in) : 0.0;
}

// ---- panel ----

namespace {
// One table for both switches, which differ only in the type of their nine signal menus (the stop input
// and inputs 1-8): their captions, drawn into the background image they share, stay the same. Each step's
// lamp stands over its input's menu, the rate lamp at the top right of the rate knob.
// clang-format off
template <int signal>
const PanelControl kPanelRows[24] = {
  knob(16, 26, 0, {"RATE"}),
  sources(16, 88, 1, SourceDef::GATE, {"CLOCK"}),
  sources(80, 34, 3, SourceDef::GATE, {"RESET"}),
  switchControl(60, 98, 4, kImageSwitch2Orange, {"LOOP"}),
  sources(80, 88, 5, signal, {"STOP IN"}),
  popUp(3, 118, 2, 0, {"CLK DIV"}),
  popUp(67, 118, 6, 0, {"STEPS"}),
  sources(16, 164, 7, signal),
  sources(16, 202, 8, signal),
  sources(16, 240, 9, signal),
  sources(16, 278, 10, signal),
  sources(80, 164, 11, signal),
  sources(80, 202, 12, signal),
  sources(80, 240, 13, signal),
  sources(80, 278, 14, signal),
  led(16, 154, {"IN 1", kRight, 0, -1}),
  led(16, 192, {"IN 2", kRight, 0, -1}),
  led(16, 230, {"IN 3", kRight, 0, -1}),
  led(16, 268, {"IN 4", kRight, 0, -1}),
  led(80, 154, {"IN 5", kRight, 0, -1}),
  led(80, 192, {"IN 6", kRight, 0, -1}),
  led(80, 230, {"IN 7", kRight, 0, -1}),
  led(80, 268, {"IN 8", kRight, 0, -1}),
  led(50, 16),
};
// clang-format on
} // namespace

const PanelLayout SeqSwitch::panel = {kImageModuleSeqsw, kPanelRows<SourceDef::MODULATION>};
// The audio switch's panel is this one with audio menus; its table lives here beside the other.
const PanelLayout AudioSwitch::panel = {kImageModuleSeqsw, kPanelRows<SourceDef::AUDIO>};

void SeqSwitch::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void SeqSwitch::updateGraphics()
{
  IControl* const* leds = panelSpecials(config, kSteps + 1);
  if (!leds) return;
  showStepLeds(leds, kSteps, publishedStep.load(std::memory_order_relaxed));
  // Lit in the first half of each period: dark while the countdown is below half of it.
  const int countdown = publishedCounter.load(std::memory_order_relaxed);
  showLamp(leds[kSteps], countdown >= publishedPeriod.load(std::memory_order_relaxed) / 2);
}
