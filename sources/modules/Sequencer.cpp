#include "Sequencer.h"

#include "BeatSteps.h"
#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

Sequencer::Sequencer(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), lastStep(0), clockSource(nullptr), resetSource(nullptr),
      stopSource(nullptr), stepValue{}, loop(false), previousClock(0.0), previousReset(0.0), currentStep(0),
      stopped(false)
{
}

void Sequencer::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  ModulatorCommon::declareBool(synth, base + 2, true);
  declareSelector(synth, base + 3);
  declareEnum(synth, base + 4, 7, 8, ModulatorCommon::labelSteps);
  for (int p = 5; p <= 12; ++p)
    declareDouble(synth, base + p, 0.0, -1.0, 1.0, 1.0 / 12000.0, 1.0, setDisplayTextForNotes);
}

void Sequencer::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SEQUENCER);
}

void Sequencer::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    clockSource = getSource((int)value, SourceDef::GATE);
    break;
  case 1:
    resetSource = getSource((int)value, SourceDef::GATE);
    break;
  case 2:
    loop = value >= 0.5;
    break;
  case 3:
    stopSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 4:
    lastStep = clampToInt(value, 0, kSteps - 1);
    break;
  default:
    if (index >= 5 && index <= 12) stepValue[index - 5] = finiteOrZero(value);
    break;
  }
}

bool Sequencer::isClockTriggered()
{
  return gateRose(clockSource, &previousClock);
}

bool Sequencer::isResetTriggered()
{
  return gateRose(resetSource, &previousReset);
}

void Sequencer::reset()
{
  currentStep = 0;
  stopped = false;
  nextGateOut[kClock] = nextGateOut[kReset] = nextGateOut[kStep1] = 1.0;
}

void Sequencer::nextStep()
{
  if (currentStep < lastStep) {
    ++currentStep;
    nextGateOut[kClock] = 1.0;
    nextGateOut[kStep1 + currentStep] = 1.0;
  } else if (loop) {
    reset();
  } else {
    currentStep = lastStep;
    nextGateOut[kClockLink] = 1.0;
    if (!stopped) nextGateOut[kStop] = 1.0;
    stopped = true;
  }
}

void Sequencer::update(bool)
{
  modOut[0] = nextModOut[0];
  ModulatorCommon::publishGates(gateOut, nextGateOut);
  const bool resetFired = isResetTriggered();
  const bool clockFired = isClockTriggered();
  if (resetFired)
    reset();
  else if (clockFired)
    nextStep();
  // Held for a whole tick: a stop input that is not a number for one sample passes as 0.
  nextModOut[0] = stopSource && stopped ? finiteOrZero(*stopSource) : stepValue[currentStep];
  publishedStep.store(currentStep, std::memory_order_relaxed);
}

// ---- panel ----

namespace {
// Steps 1-4 run down the left column, 5-8 down the right; each step's lamp stands at the top right of its
// knob. The mouse wheel moves a step knob by its parameter's own step.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 24, 0, SourceDef::GATE, {"CLOCK"}),
  sources(16, 54, 1, SourceDef::GATE, {"RESET"}),
  switchControl(60, 34, 2, kImageSwitch2Orange, {"LOOP"}),
  sources(80, 24, 3, SourceDef::MODULATION, {"STOP IN"}),
  popUp(67, 54, 4, 0, {"STEPS"}),
  wheelByStep(knob(16, 80, 5, {"STEP 1"})),
  wheelByStep(knob(16, 136, 6, {"STEP 2"})),
  wheelByStep(knob(16, 192, 7, {"STEP 3"})),
  wheelByStep(knob(16, 248, 8, {"STEP 4"})),
  wheelByStep(knob(80, 80, 9, {"STEP 5"})),
  wheelByStep(knob(80, 136, 10, {"STEP 6"})),
  wheelByStep(knob(80, 192, 11, {"STEP 7"})),
  wheelByStep(knob(80, 248, 12, {"STEP 8"})),
  led(48, 75),
  led(48, 131),
  led(48, 187),
  led(48, 243),
  led(112, 75),
  led(112, 131),
  led(112, 187),
  led(112, 243),
};
// clang-format on
} // namespace

const PanelLayout Sequencer::panel = {kImageModuleSeq, kPanelRows};

void Sequencer::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void Sequencer::updateGraphics()
{
  if (IControl* const* leds = panelSpecials(config, kSteps))
    showStepLeds(leds, kSteps, publishedStep.load(std::memory_order_relaxed));
}
