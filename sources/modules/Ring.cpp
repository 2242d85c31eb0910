#include "Ring.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

Ring::Ring(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), carrierA(nullptr), modulatorA(nullptr), carrierB(nullptr), modulatorB(nullptr),
      depth(0.0), mod1Source(nullptr), mod1Amount(0.0), mod2Source(nullptr), mod2Amount(0.0), effectiveDepth(0.0),
      updated(false)
{
}

void Ring::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int i = 0; i < 4; ++i) declareSelector(synth, base + i);
  declareDouble(synth, base + 4, 1.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 5, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 6);
  declareDouble(synth, base + 7, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 8);
}

void Ring::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_RING);
}

void Ring::setParameter(int index, double v)
{
  switch (index) {
  case 0:
    carrierA = getSource((int)v, SourceDef::AUDIO);
    break;
  case 1:
    modulatorA = getSource((int)v, SourceDef::AUDIO);
    break;
  case 2:
    carrierB = getSource((int)v, SourceDef::AUDIO);
    break;
  case 3:
    modulatorB = getSource((int)v, SourceDef::AUDIO);
    break;
  case 4:
    depth = v;
    if (!updated) effectiveDepth = v;
    break;
  case 5:
    mod1Amount = v;
    break;
  case 6:
    mod1Source = getSource((int)v, SourceDef::MODULATION);
    break;
  case 7:
    mod2Amount = v;
    break;
  case 8:
    mod2Source = getSource((int)v, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void Ring::update(bool active)
{
  if (!active) return;
  updated = true;
  effectiveDepth = depth * depthFactor(mod1Source, mod1Amount) * depthFactor(mod2Source, mod2Amount);
}

void Ring::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double e = effectiveDepth;
  const double a = carrierA ? *carrierA : 0.0, b = modulatorA ? *modulatorA : 0.0;
  const double c = carrierB ? *carrierB : 0.0, d = modulatorB ? *modulatorB : 0.0;
  nextAudioOut[0] = a * ((b - 1.0) * e + 1.0);
  nextAudioOut[1] = c * ((d - 1.0) * e + 1.0);
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 36, 0, SourceDef::AUDIO, {"CARRIER A"}),
  sources(80, 36, 1, SourceDef::AUDIO, {"MOD A"}),
  sources(16, 90, 2, SourceDef::AUDIO, {"CARRIER B"}),
  sources(80, 90, 3, SourceDef::AUDIO, {"MOD B"}),
  knob(48, 152, 4, {"DEPTH"}),
  knob(16, 232, 5, {"DEPTH 1"}),
  knob(80, 232, 7, {"DEPTH 2"}),
  sources(16, 280, 6, SourceDef::MODULATION),
  sources(80, 280, 8, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Ring::panel = {kImageModuleRing, kPanelRows};

void Ring::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
