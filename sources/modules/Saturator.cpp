#include "Saturator.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cfloat>
#include <cmath>

using namespace ModuleConventions;

Saturator::Saturator(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), sampleRate(0.0)
{
}

void Saturator::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareLevelInputs(synth, base);
  for (int ch = 0; ch < 2; ++ch) {
    declareDouble(synth, base + 4 + 3 * ch, 0.0, 0.0, 11.0, 0.01, 1.0);
    declareDouble(synth, base + 5 + 3 * ch, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + 6 + 3 * ch);
  }
  declareDouble(synth, base + 10, 0.5, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 11, 0.5, 0.0, 1.0, 0.01, 1.0);
}

void Saturator::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SATURATOR);
}

double Saturator::softClip(double x)
{
  if (x < -3.0) return -1.0;
  if (x > 3.0) return 1.0;
  return x * (x * x + 27.0) / (9.0 * x * x + 27.0);
}

void Saturator::setSampleRate(double rate)
{
  sampleRate = rate;
  // 15 kHz lies above 0.45 of the rate at 22.05 kHz.
  if (rate > 0.0)
    for (Channel& c : channel) c.filter.set(belowNyquist(15000.0, rate), 0.0, rate);
}

void Saturator::setParameter(int index, double v)
{
  switch (index) {
  case 0:
  case 2:
    channel[index / 2].level = v;
    break;
  case 1:
  case 3:
    channel[index / 2].input = getSource((int)v, SourceDef::AUDIO);
    break;
  case 4:
  case 7:
    channel[(index - 4) / 3].drive = v;
    break;
  case 5:
  case 8:
    channel[(index - 5) / 3].modAmount = v;
    break;
  case 6:
  case 9:
    channel[(index - 6) / 3].modSource = getSource((int)v, SourceDef::MODULATION);
    break;
  case 10:
  case 11:
    channel[index - 10].k = 1.0 - v;
    break;
  default:
    break;
  }
}

void Saturator::update(bool active)
{
  if (!active) return;
  for (Channel& c : channel) {
    double d = c.drive;
    // The modulation, scaled to 0..11, replaces the knob by the amount. d is held to 0..1023: from 1024 on
    // 2^d is infinite, and infinity times a silent input is not a number.
    if (c.modSource) d = clampValue(c.drive + c.modAmount * (11.0 * *c.modSource - c.drive), 0.0, 1023.0);
    // 2^1023 times a level above 1 would still overflow; any gain that large clips every non-zero sample.
    c.preGain = clampValue(std::exp2(d) * c.level, 0.0, DBL_MAX);
    c.postGain = 1.0 / (d * c.k + 1.0);
    if (sampleRate > 0.0) c.filter.set(belowNyquist(15000.0 * c.postGain, sampleRate), 0.0, sampleRate);
  }
}

void Saturator::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  for (int ch = 0; ch < 2; ++ch) {
    Channel& c = channel[ch];
    if (!c.input) {
      nextAudioOut[ch] = 0.0;
      continue;
    }
    const double f = c.filter.filter(*c.input);
    if (stateBroken(f)) { // a sample that is not a number: the filter starts again from rest
      c.filter.s1 = c.filter.s2 = c.filter.s3 = c.filter.s4 = 0.0;
      nextAudioOut[ch] = 0.0;
      continue;
    }
    nextAudioOut[ch] = softClip(f * c.preGain) * c.postGain;
  }
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"LEVEL A"}),
  knob(80, 24, 2, {"LEVEL B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  knob(16, 100, 4, {"DRIVE"}),
  knob(16, 164, 5, {"DRIVE MOD"}),
  sources(16, 212, 6, SourceDef::MODULATION),
  knob(80, 100, 7, {"DRIVE"}),
  knob(80, 164, 8, {"DRIVE MOD"}),
  sources(80, 212, 9, SourceDef::MODULATION),
  knob(16, 248, 10, {"COMP"}),
  knob(80, 248, 11, {"COMP"}),
};
// clang-format on
} // namespace

const PanelLayout Saturator::panel = {kImageModuleSaturate, kPanelRows};

void Saturator::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
