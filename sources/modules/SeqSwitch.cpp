#include "SeqSwitch.h"

#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
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
}

void SeqSwitch::update(bool)
{
  modOut[0] = nextModOut[0];
  step();
  const double* in = stopSource && stopped ? stopSource : inputs[currentStep];
  // Held for a whole tick: an input that is not a number for one sample passes as 0.
  nextModOut[0] = in ? finiteOrZero(*in) : 0.0;
}
