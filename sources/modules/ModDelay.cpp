#include "ModDelay.h"

#include "EditorImages.h"
#include "IControl.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"

#include <cstdlib>
#include <cstring>

using namespace ModuleConventions;

ModDelay::ModDelay(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), buffer(nullptr), size(0), delay(0), writeIndex(0), readIndex(0),
      delayInput1(nullptr), delayAmount1(0.0), delayInput2(nullptr), delayAmount2(0.0), feedback(0.0),
      adderInput1(nullptr), adderAmount1(0.0), adderInput2(nullptr), adderAmount2(0.0), comparatorA(nullptr),
      thresholdA(0.0), comparatorB(nullptr), thresholdB(0.0), written(false)
{
}

ModDelay::~ModDelay()
{
  std::free(buffer);
}

void ModDelay::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  declareDouble(synth, base + 2, 1.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 3, 1.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 4, 0.0, 0.0, (double)kLineSize, 1.0, 2.0);
  declareDouble(synth, base + 5, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 6);
  declareSelector(synth, base + 7);
  declareDouble(synth, base + 8, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 9, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 10);
  declareSelector(synth, base + 11);
  declareDouble(synth, base + 12, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 13, 0.0, -1.0, 1.0, 0.01, 1.0);
}

void ModDelay::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_MODDELAY);
}

void ModDelay::setSampleRate(double)
{
  // The line does not depend on the rate: one zeroed block for the module's life, emptied at each reset
  // (a line that was never written is still zero, and its pages stay untouched).
  if (!buffer) {
    buffer = static_cast<double*>(std::calloc(kLineSize, sizeof(double)));
  } else if (written) {
    std::memset(buffer, 0, kLineSize * sizeof(double));
  }
  written = false;
  size = buffer ? kLineSize : 0;
  delay = size - 1;
  writeIndex = readIndex = 0;
}

void ModDelay::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    delayInput1 = getSource((int)value, SourceDef::MODULATION);
    break;
  case 1:
    delayInput2 = getSource((int)value, SourceDef::MODULATION);
    break;
  case 2:
    delayAmount1 = value;
    break;
  case 3:
    delayAmount2 = value;
    break;
  case 4:
    if (size >= 1) {
      // Held to the line before it becomes an index: 0 reads at the write position (5000 ticks back), and
      // anything from size on is the longest delay, size - 1.
      delay = clampToInt(value, 0, size - 1);
      readIndex = writeIndex + delay;
      if (readIndex >= size) readIndex -= size;
    } else {
      delay = 0;
    }
    break;
  case 5:
    feedback = value;
    break;
  case 6:
    adderInput1 = getSource((int)value, SourceDef::MODULATION);
    break;
  case 7:
    adderInput2 = getSource((int)value, SourceDef::MODULATION);
    break;
  case 8:
    adderAmount1 = value;
    break;
  case 9:
    adderAmount2 = value;
    break;
  case 10:
    comparatorA = getSource((int)value, SourceDef::MODULATION);
    break;
  case 11:
    comparatorB = getSource((int)value, SourceDef::MODULATION);
    break;
  case 12:
    thresholdA = value;
    break;
  case 13:
    thresholdB = value;
    break;
  default:
    break;
  }
}

void ModDelay::update(bool active)
{
  if (!active) return;
  modOut[0] = nextModOut[0];
  modOut[1] = nextModOut[1];
  gateOut[0] = nextGateOut[0];
  gateOut[1] = nextGateOut[1];
  shownGate[0].store(gateOut[0], std::memory_order_relaxed);
  shownGate[1].store(gateOut[1], std::memory_order_relaxed);

  if (!delayInput1 && !delayInput2) {
    nextModOut[0] = 0.0; // the line stands still
  } else if (!buffer) {
    nextModOut[0] = 0.0;
  } else {
    const double x = additive(delayInput1, delayAmount1) + additive(delayInput2, delayAmount2);
    const double r = buffer[readIndex];
    // Whatever a source carried, the line keeps only finite values, so one bad tick cannot circulate.
    buffer[writeIndex] = finiteOrZero(feedback * r + x);
    written = true;
    nextModOut[0] = r;
    writeIndex = writeIndex <= 0 ? size - 1 : writeIndex - 1;
    readIndex = readIndex <= 0 ? size - 1 : readIndex - 1;
  }

  nextModOut[1] = finiteOrZero(additive(adderInput1, adderAmount1) + additive(adderInput2, adderAmount2));
  nextGateOut[0] = comparatorA && *comparatorA >= thresholdA ? 1.0 : 0.0;
  nextGateOut[1] = comparatorB && *comparatorB >= thresholdB ? 1.0 : 0.0;
}

void ModDelay::updateGraphics()
{
  IControl* const* lamps = panelSpecials(config, 2);
  if (!lamps) return;
  for (int k = 0; k < 2; ++k) showLamp(lamps[k], shownGate[k].load(std::memory_order_relaxed) >= 1.0);
}

// ---- panel ----

namespace {
// The delay (its two inputs with small amount knobs, length and feedback), the adder, and the comparators
// at the bottom: each threshold knob with its input's menu below and its gate's lamp outside, registered
// last, lamp A first.
// clang-format off
const PanelControl kPanelRows[] = {
  smallKnob(20, 22, 2, {"IN 1"}),
  smallKnob(84, 22, 3, {"IN 2"}),
  sources(16, 64, 0, SourceDef::MODULATION),
  sources(80, 64, 1, SourceDef::MODULATION),
  knob(16, 96, 4, {"DELAY"}),
  knob(80, 96, 5, {"FEEDBACK"}),
  knob(16, 152, 8, {"ADD 1"}),
  knob(80, 152, 9, {"ADD 2"}),
  sources(16, 200, 6, SourceDef::MODULATION),
  sources(80, 200, 7, SourceDef::MODULATION),
  knob(16, 232, 12, {"THRESH A", kAbove, 6, 0}),
  knob(80, 232, 13, {"THRESH B", kAbove, -6, 0}),
  sources(16, 280, 10, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
  led(8, 225),
  led(112, 225),
};
// clang-format on
} // namespace

const PanelLayout ModDelay::panel = {kImageModuleModdly, kPanelRows};

void ModDelay::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
