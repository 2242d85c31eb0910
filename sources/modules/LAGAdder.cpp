#include "LAGAdder.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

void LAGAdder::Lag::setAmount(double amount)
{
  const double v = clampValue(amount, 0.0, 1.0);
  const double down = 1.0 - v;
  double w = down * down * down;
  w = w * w * (M_PI / 2);
  const double c = std::cos(w);
  double newW0 = w;
  if (c >= 1.0) {
    // No input can enter any more (b0 = b1 = 0): rather than running on along its last slope for ever, the
    // output holds.
    c1 = 1.0;
    c2 = 0.0;
    b0 = b1 = 0.0;
    newW0 = 0.0;
  } else {
    const double alpha = std::sin(w) / 1.414213562373095;
    const double a = 1.0 / (1.0 + alpha);
    c1 = 2.0 * c * a;
    c2 = (alpha - 1.0) * a;
    b1 = (1.0 - c) * a;
    b0 = b1 * 0.5;
  }
  // The state holds the output's slope per tick; a lower corner gets a proportionally lower slope, which a
  // lag at rest (no slope) does not notice.
  if (newW0 < w0) y2 = y1 - (y1 - y2) * (w0 > 0.0 ? newW0 / w0 : 0.0);
  w0 = newW0;
}

double LAGAdder::Lag::step(double x)
{
  double y = b0 * (x + x2) + b1 * x1 + c1 * y1 + c2 * y2;
  if (stateBroken(y) || !isFinite(x)) {
    // A non-finite input or state starts the lag again from rest.
    x1 = x2 = y1 = y2 = 0.0;
    return 0.0;
  }
  x2 = x1;
  x1 = x;
  y2 = y1;
  y1 = y;
  return y;
}

LAGAdder::LAGAdder(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), lagInputA(nullptr), lagInputB(nullptr), adderC1(nullptr), adderAmountC1(0.0),
      adderC2(nullptr), adderAmountC2(0.0), adderD1(nullptr), adderAmountD1(0.0), adderD2(nullptr),
      adderAmountD2(0.0), lag{}
{
  // Until its amount arrives a lag puts out 0 (all coefficients 0).
}

void LAGAdder::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int p : {0, 2}) {
    declareSelector(synth, base + p);
    declareDouble(synth, base + p + 1, 0.0, 0.0, 1.0, 0.01, 1.0);
  }
  for (int p = 4; p < 12; p += 2) {
    declareSelector(synth, base + p);
    declareDouble(synth, base + p + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
  }
}

void LAGAdder::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_LAGADDER);
}

void LAGAdder::setParameter(int index, double value)
{
  double** const inputs[6] = {&lagInputA, &lagInputB, &adderC1, &adderC2, &adderD1, &adderD2};
  double* const amounts[4] = {&adderAmountC1, &adderAmountC2, &adderAmountD1, &adderAmountD2};
  if (index < 0 || index >= 12) return;
  if (index % 2 == 0) {
    *inputs[index / 2] = getSource((int)value, SourceDef::MODULATION);
  } else if (index < 4) {
    lag[index / 2].setAmount(value);
  } else {
    *amounts[(index - 4) / 2] = value;
  }
}

void LAGAdder::update(bool)
{
  for (int k = 0; k < 4; ++k) modOut[k] = nextModOut[k];
  const double* const lagInputs[2] = {lagInputA, lagInputB};
  for (int k = 0; k < 2; ++k) nextModOut[k] = lagInputs[k] ? lag[k].step(*lagInputs[k]) : 0.0;
  // A source that carried a NaN or an infinity gives 0 for that tick rather than passing it on.
  nextModOut[2] = finiteOrZero(additive(adderC1, adderAmountC1) + additive(adderC2, adderAmountC2));
  nextModOut[3] = finiteOrZero(additive(adderD1, adderAmountD1) + additive(adderD2, adderAmountD2));
}

// ---- panel ----

namespace {
// The lags' menus stand above their amounts; in the adders each amount stands above its input's menu.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 34, 0, SourceDef::MODULATION, {"LAG A"}),
  sources(80, 34, 2, SourceDef::MODULATION, {"LAG B"}),
  knob(16, 56, 1, {"AMOUNT", kAbove, 0, 1}),
  knob(80, 56, 3, {"AMOUNT", kAbove, 0, 1}),
  sources(16, 194, 4, SourceDef::MODULATION),
  sources(80, 194, 8, SourceDef::MODULATION),
  knob(16, 146, 5, {"C IN 1"}),
  knob(80, 146, 9, {"D IN 1"}),
  sources(16, 280, 6, SourceDef::MODULATION),
  sources(80, 280, 10, SourceDef::MODULATION),
  knob(16, 232, 7, {"C IN 2"}),
  knob(80, 232, 11, {"D IN 2"}),
};
// clang-format on
} // namespace

const PanelLayout LAGAdder::panel = {kImageModuleLag, kPanelRows};

void LAGAdder::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
