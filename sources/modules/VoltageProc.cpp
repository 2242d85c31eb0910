#include "VoltageProc.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

namespace {
// A multiplier: nothing without its first input; a missing second input leaves its factor out.
inline double product(const double* first, const double* second, double level)
{
  if (!first) return 0.0;
  return second ? *first * *second * level : *first * level;
}
} // namespace

VoltageProc::VoltageProc(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), inputA(nullptr), scaleA(0.0), offsetA(0.0), inputB(nullptr), scaleB(0.0),
      offsetB(0.0), firstC(nullptr), secondC(nullptr), levelC(0.0), firstD(nullptr), secondD(nullptr), levelD(0.0)
{
}

void VoltageProc::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int p : {0, 3}) {
    declareSelector(synth, base + p);
    declareDouble(synth, base + p + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareDouble(synth, base + p + 2, 0.0, -1.0, 1.0, 0.01, 1.0);
  }
  for (int p : {6, 9}) {
    declareSelector(synth, base + p);
    declareDouble(synth, base + p + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p + 2);
  }
}

void VoltageProc::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_VOLTAGEPROC);
}

void VoltageProc::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    inputA = getSource((int)value, SourceDef::MODULATION);
    break;
  case 1:
    scaleA = value;
    break;
  case 2:
    offsetA = value;
    break;
  case 3:
    inputB = getSource((int)value, SourceDef::MODULATION);
    break;
  case 4:
    scaleB = value;
    break;
  case 5:
    offsetB = value;
    break;
  case 6:
    firstC = getSource((int)value, SourceDef::MODULATION);
    break;
  case 7:
    levelC = value;
    break;
  case 8:
    secondC = getSource((int)value, SourceDef::MODULATION);
    break;
  case 9:
    firstD = getSource((int)value, SourceDef::MODULATION);
    break;
  case 10:
    levelD = value;
    break;
  case 11:
    secondD = getSource((int)value, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void VoltageProc::update(bool active)
{
  if (!active) return;
  for (int k = 0; k < 4; ++k) modOut[k] = nextModOut[k];
  // A source that carried a NaN or an infinity gives 0 for that tick rather than passing it on.
  nextModOut[0] = finiteOrZero(additive(inputA, scaleA) + offsetA);
  nextModOut[1] = finiteOrZero(additive(inputB, scaleB) + offsetB);
  nextModOut[2] = finiteOrZero(product(firstC, secondC, levelC));
  nextModOut[3] = finiteOrZero(product(firstD, secondD, levelD));
}

// ---- panel ----

namespace {
// A and B: input menu, scale, offset, in two columns. C and D below: the first input's menu, the level and
// the second input's menu.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 32, 0, SourceDef::MODULATION, {"IN A"}),
  sources(80, 32, 3, SourceDef::MODULATION, {"IN B"}),
  knob(16, 56, 1, {"SCALE"}),
  knob(80, 56, 4, {"SCALE"}),
  knob(16, 116, 2, {"OFFSET"}),
  knob(80, 116, 5, {"OFFSET"}),
  sources(16, 202, 6, SourceDef::MODULATION, {"MULT C"}),
  sources(80, 202, 9, SourceDef::MODULATION, {"MULT D"}),
  knob(16, 232, 7, {"LEVEL"}),
  knob(80, 232, 10, {"LEVEL"}),
  sources(16, 280, 8, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout VoltageProc::panel = {kImageModuleVp, kPanelRows};

void VoltageProc::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
