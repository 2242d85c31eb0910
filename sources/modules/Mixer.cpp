#include "Mixer.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

Mixer::Mixer(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), input{}, level{}, pan{}, master(0.0)
{
}

void Mixer::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int ch = 0; ch < kChannels; ++ch) {
    declareDouble(synth, base + 3 * ch, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
    declareSelector(synth, base + 3 * ch + 1);
    declareDouble(synth, base + 3 * ch + 2, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForMix);
  }
  declareDouble(synth, base + 12, 1.0, 0.0, 2.0, 0.01, 1.0, setDisplayTextForDB);
}

void Mixer::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_MIXER);
}

void Mixer::setParameter(int index, double value)
{
  if (index == 12) {
    master = value;
    return;
  }
  if (index < 0 || index >= 3 * kChannels) return;
  const int ch = index / 3;
  switch (index % 3) {
  case 0:
    level[ch] = value;
    break;
  case 1:
    input[ch] = getSource((int)value, SourceDef::AUDIO);
    break;
  default:
    pan[ch] = value;
    break;
  }
}

void Mixer::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  double left = 0.0, right = 0.0;
  for (int ch = 0; ch < kChannels; ++ch) {
    if (!input[ch]) continue;
    const double v = level[ch] * *input[ch];
    left += (1.0 - pan[ch]) * v;
    right += pan[ch] * v;
  }
  nextAudioOut[0] = left * master;
  nextAudioOut[1] = right * master;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(8, 24, 0, {"LEVEL"}),
  knob(88, 24, 2, {"PAN"}),
  sources(48, 34, 1, SourceDef::AUDIO, {"IN 1"}),
  knob(8, 80, 3),
  knob(88, 80, 5),
  sources(48, 90, 4, SourceDef::AUDIO, {"IN 2"}),
  knob(8, 136, 6),
  knob(88, 136, 8),
  sources(48, 146, 7, SourceDef::AUDIO, {"IN 3"}),
  knob(8, 192, 9),
  knob(88, 192, 11),
  sources(48, 202, 10, SourceDef::AUDIO, {"IN 4"}),
  knob(48, 248, 12, {"MASTER"}),
};
// clang-format on
} // namespace

const PanelLayout Mixer::panel = {kImageModuleMix, kPanelRows};

void Mixer::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
