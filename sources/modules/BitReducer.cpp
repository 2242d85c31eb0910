#include "BitReducer.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>
#include <cstdio>

using namespace ModuleConventions;

BitReducer::BitReducer(ModuleConfig* config, Voice* voice, Veltrane* owner) : Module(config, voice, owner) {}

void BitReducer::setDisplayTextForResolution(double v, char* text)
{
  std::snprintf(text, 32, "%.2f", std::exp2(4.0 * v));
}

void BitReducer::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int ch = 0; ch < 2; ++ch) {
    const int p = base + 6 * ch;
    declareDouble(synth, p + 0, 1.0, 0.0, 2.0, 0.01, 1.0, setDisplayTextForDB);
    declareSelector(synth, p + 1);
    declareDouble(synth, p + 2, 1.0, 0.0625, 2.0, 0.01, 1.0, setDisplayTextForDB);
    declareDouble(synth, p + 3, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForResolution);
    declareDouble(synth, p + 4, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, p + 5);
  }
}

void BitReducer::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_BITREDUCER);
}

void BitReducer::setParameter(int index, double v)
{
  if (index < 0 || index >= 12) return;
  Channel& c = channel[index / 6];
  switch (index % 6) {
  case 0:
    c.level = v;
    break;
  case 1:
    c.input = getSource((int)v, SourceDef::AUDIO);
    break;
  case 2:
    c.range = v;
    c.reciprocalRange = 1.0 / v;
    break;
  case 3:
    c.resolution = v;
    break;
  case 4:
    c.modAmount = v;
    break;
  default:
    c.modSource = getSource((int)v, SourceDef::MODULATION);
    break;
  }
}

void BitReducer::update(bool active)
{
  if (!active) return;
  for (Channel& c : channel) {
    double r = c.resolution;
    if (c.modSource) r = clampValue(c.resolution + c.modAmount * *c.modSource, 0.0, 1.0);
    c.steps = std::exp2(std::exp2(4.0 * r)) - 1.0; // 2^bits - 1
    c.reciprocalSteps = 1.0 / c.steps;
  }
}

void BitReducer::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  for (int ch = 0; ch < 2; ++ch) {
    Channel& c = channel[ch];
    if (!c.input) continue; // the output keeps its last value
    // -1 .. 1 across the range; the nearest step, halves away from zero. The count stays a double, so
    // inputs far beyond the range quantise without any integer conversion; one that is not a number
    // comes out as silence.
    const double u = c.level * finiteOrZero(*c.input) * c.reciprocalRange;
    const double x = (u + 1.0) * 0.5 * c.steps;
    const double q = x < 0.0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5);
    nextAudioOut[ch] = (q * c.reciprocalSteps - 0.5) * 2.0 * c.range;
  }
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 36, 0, {"LEVEL A"}),
  knob(80, 36, 6, {"LEVEL B"}),
  sources(16, 84, 1, SourceDef::AUDIO),
  sources(80, 84, 7, SourceDef::AUDIO),
  knob(16, 108, 2, {"RANGE"}),
  knob(80, 108, 8, {"RANGE"}),
  knob(16, 168, 3, {"BITS"}),
  knob(80, 168, 9, {"BITS"}),
  knob(16, 232, 4, {"BITS MOD"}),
  knob(80, 232, 10, {"BITS MOD"}),
  sources(16, 280, 5, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout BitReducer::panel = {kImageModuleBitreducer, kPanelRows};

void BitReducer::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
