#include "SignalProc.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

SignalProc::SignalProc(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), input{}, modulation{}, gain{}
{
}

void SignalProc::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int ch = 0; ch < kChannels; ++ch) {
    declareSelector(synth, base + 3 * ch);
    declareDouble(synth, base + 3 * ch + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + 3 * ch + 2);
  }
}

void SignalProc::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SIGNALPROC);
}

void SignalProc::setParameter(int index, double value)
{
  if (index < 0 || index >= 3 * kChannels) return;
  const int ch = index / 3;
  switch (index % 3) {
  case 0:
    input[ch] = getSource((int)value, SourceDef::AUDIO);
    break;
  case 1:
    gain[ch] = value;
    break;
  default:
    modulation[ch] = getSource((int)value, SourceDef::MODULATION);
    break;
  }
}

void SignalProc::process()
{
  for (int k = 0; k <= kSumOutput; ++k) audioOut[k] = nextAudioOut[k];
  double sum = 0.0;
  for (int ch = 0; ch < kChannels; ++ch) {
    double y = 0.0;
    if (input[ch]) {
      const double x = modulation[ch] ? *input[ch] * *modulation[ch] : *input[ch];
      y = x * gain[ch];
    }
    nextAudioOut[ch] = y;
    sum += y;
  }
  nextAudioOut[kSumOutput] = sum;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 42, 0, SourceDef::AUDIO, {"IN A"}),
  sources(80, 42, 3, SourceDef::AUDIO, {"IN B"}),
  knob(16, 80, 1, {"GAIN"}),
  knob(80, 80, 4, {"GAIN"}),
  sources(16, 128, 2, SourceDef::MODULATION, {"MOD", kRight, 8}),
  sources(80, 128, 5, SourceDef::MODULATION),
  sources(16, 194, 6, SourceDef::AUDIO, {"IN C"}),
  sources(80, 194, 9, SourceDef::AUDIO, {"IN D"}),
  knob(16, 232, 7, {"GAIN"}),
  knob(80, 232, 10, {"GAIN"}),
  sources(16, 280, 8, SourceDef::MODULATION, {"MOD", kRight, 8}),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout SignalProc::panel = {kImageModuleSp, kPanelRows};

void SignalProc::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
