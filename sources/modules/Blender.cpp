#include "Blender.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

namespace {
// One crossfader: from first (level 0) to second (level 1); a modulated level is held to 0..1, a NaN giving 0.
inline double crossfade(const double* first, const double* second, double blend, const double* mod)
{
  const double a = first ? *first : 0.0;
  const double b = second ? *second : 0.0;
  const double m = mod ? clampValue(blend * *mod, 0.0, 1.0) : blend;
  return a + (b - a) * m;
}
} // namespace

Blender::Blender(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), inputA1(nullptr), inputA2(nullptr), inputB1(nullptr), inputB2(nullptr),
      blendModA(nullptr), blendA(0.0), blendModB(nullptr), blendB(0.0)
{
}

void Blender::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int p : {0, 4}) {
    declareSelector(synth, base + p);
    declareSelector(synth, base + p + 1);
    declareDouble(synth, base + p + 2, 0.0, 0.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p + 3);
  }
}

void Blender::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_BLENDER);
}

void Blender::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    inputA1 = getSource((int)value, SourceDef::AUDIO);
    break;
  case 1:
    inputA2 = getSource((int)value, SourceDef::AUDIO);
    break;
  case 2:
    blendA = value;
    break;
  case 3:
    blendModA = getSource((int)value, SourceDef::MODULATION);
    break;
  case 4:
    inputB1 = getSource((int)value, SourceDef::AUDIO);
    break;
  case 5:
    inputB2 = getSource((int)value, SourceDef::AUDIO);
    break;
  case 6:
    blendB = value;
    break;
  case 7:
    blendModB = getSource((int)value, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void Blender::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  nextAudioOut[0] = crossfade(inputA1, inputA2, blendA, blendModA);
  nextAudioOut[1] = crossfade(inputB1, inputB2, blendB, blendModB);
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 30, 0, SourceDef::AUDIO, {"IN A1"}),
  sources(80, 30, 1, SourceDef::AUDIO, {"IN A2"}),
  knob(80, 72, 2, {"BLEND A"}),
  sources(80, 118, 3, SourceDef::MODULATION, {"MOD", kLeft}),
  sources(16, 182, 4, SourceDef::AUDIO, {"IN B1"}),
  sources(80, 182, 5, SourceDef::AUDIO, {"IN B2"}),
  knob(80, 224, 6, {"BLEND B"}),
  sources(80, 270, 7, SourceDef::MODULATION, {"MOD", kLeft}),
};
// clang-format on
} // namespace

const PanelLayout Blender::panel = {kImageModuleBlend, kPanelRows};

void Blender::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
