#include "GateTools.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "ModulatorCommon.h"

#include <cmath>

using namespace ModuleConventions;


GateTools::GateTools(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), triggerA(nullptr), triggerB(nullptr), clockC(nullptr), clockD(nullptr), join{},
      previousA(0.0), previousB(0.0), previousC(0.0), previousD(0.0), lengthModA(nullptr), lengthModB(nullptr),
      lengthModAmountA(0.0), lengthModAmountB(0.0), lengthA(0.0), lengthB(0.0), dividerC(0), dividerD(0), remainingA(0),
      remainingB(0), counterC(0), counterD(0)
{
}

void GateTools::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int p : {0, 4}) {
    declareSelector(synth, base + p);
    declareDouble(synth, base + p + 1, 0.1, 0.0, 5.0, 0.01, 4.0);
    declareDouble(synth, base + p + 2, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p + 3);
  }
  for (int p : {8, 10}) {
    declareSelector(synth, base + p);
    declareEnum(synth, base + p + 1, kMaxDivider, kMaxDivider + 1, ModulatorCommon::labelSteps);
  }
  for (int p = 12; p < 16; ++p) declareSelector(synth, base + p);
}

void GateTools::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_GATETOOLS);
}

void GateTools::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    triggerA = getSource((int)value, SourceDef::GATE);
    break;
  case 4:
    triggerB = getSource((int)value, SourceDef::GATE);
    break;
  case 8:
    clockC = getSource((int)value, SourceDef::GATE);
    break;
  case 10:
    clockD = getSource((int)value, SourceDef::GATE);
    break;
  case 12:
  case 13:
  case 14:
  case 15:
    join[index - 12] = getSource((int)value, SourceDef::GATE);
    break;
  case 3:
    lengthModA = getSource((int)value, SourceDef::MODULATION);
    break;
  case 7:
    lengthModB = getSource((int)value, SourceDef::MODULATION);
    break;
  case 1:
    lengthA = value * 1000.0;
    break;
  case 5:
    lengthB = value * 1000.0;
    break;
  case 2:
    lengthModAmountA = value * 1000.0;
    break;
  case 6:
    lengthModAmountB = value * 1000.0;
    break;
  // A new divider restarts only its own count.
  case 9:
    dividerC = counterC = clampToInt(std::floor(value), 0, kMaxDivider);
    break;
  case 11:
    dividerD = counterD = clampToInt(std::floor(value), 0, kMaxDivider);
    break;
  default:
    break;
  }
}

void GateTools::pulse(double* trigger, double* previous, double length, const double* mod, double amount,
                      int* remaining, int out)
{
  if (!trigger) return;
  const double v = *trigger;
  if (v > *previous) {
    // The length comes from a modulation value: held to 0..5 s before it becomes a tick count (a NaN gives 0).
    const double ms = mod ? length + *mod * amount : length;
    *remaining = clampToInt(ms, 0, kMaxLengthTicks);
    nextGateOut[out] = 1.0;
  } else if (*remaining > 0) {
    --*remaining;
    nextGateOut[out] = 1.0;
  }
  *previous = v;
}

void GateTools::divide(double* clock, double* previous, int divider, int* counter, int out)
{
  if (!clock) return;
  const double v = *clock;
  if (v > *previous) {
    if (*counter <= 0) {
      *counter = divider;
      nextGateOut[out] = 1.0;
    } else {
      --*counter;
    }
  }
  *previous = v;
}

void GateTools::update(bool)
{
  ModulatorCommon::publishGates(gateOut, nextGateOut);
  pulse(triggerA, &previousA, lengthA, lengthModA, lengthModAmountA, &remainingA, kGateA);
  pulse(triggerB, &previousB, lengthB, lengthModB, lengthModAmountB, &remainingB, kGateB);
  divide(clockC, &previousC, dividerC, &counterC, kDivC);
  divide(clockD, &previousD, dividerD, &counterD, kDivD);
  double sum = 0.0;
  for (const double* in : join)
    if (in) sum += *in;
  nextGateOut[kJoinE] = finiteOrZero(sum); // a NaN or an infinity on an input gives 0 for that tick
}

// ---- panel ----

namespace {
// Pulses A and B in two columns (trigger, length, length modulation and its source), the dividers' clocks
// with their division as plain text below, and the four join inputs at the bottom. One "MOD" caption
// between the columns names both modulation amounts, one "JOIN" in the middle of the four join menus.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 34, 0, SourceDef::GATE, {"TRIG A"}),
  sources(80, 34, 4, SourceDef::GATE, {"TRIG B"}),
  knob(16, 56, 1, {"LENGTH", kAbove, 0, 1}),
  knob(80, 56, 5, {"LENGTH", kAbove, 0, 1}),
  knob(16, 108, 2, {"MOD", kRight}),
  knob(80, 108, 6),
  sources(16, 156, 3, SourceDef::MODULATION),
  sources(80, 156, 7, SourceDef::MODULATION),
  sources(16, 206, 8, SourceDef::GATE, {"DIVIDE C"}),
  sources(80, 206, 10, SourceDef::GATE, {"DIVIDE D"}),
  popUp(3, 225, 9),
  popUp(67, 225, 11),
  sources(16, 258, 12, SourceDef::GATE, {"JOIN", kRight, 0, 6}),
  sources(80, 258, 13, SourceDef::GATE),
  sources(16, 280, 14, SourceDef::GATE),
  sources(80, 280, 15, SourceDef::GATE),
};
// clang-format on
} // namespace

const PanelLayout GateTools::panel = {kImageModuleGate, kPanelRows};

void GateTools::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
