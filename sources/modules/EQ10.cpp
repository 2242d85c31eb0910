#include "EQ10.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"

using namespace ModuleConventions;

const double EQ10::centres[10] = {30, 60, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

EQ10::EQ10(ModuleConfig* config, Voice* voice, Veltrane* owner) : Equaliser<10>(config, voice, owner) {}

void EQ10::initParams(int base, Synth* synth)
{
  declareCommonParams(base, synth);
  for (int i = 5; i <= 14; ++i) declareDouble(synth, base + i, 0.0, -18.0, 18.0, 0.1, 1.0);
}

void EQ10::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_EQ10);
}

void EQ10::setSampleRate(double rate)
{
  setCentres(centres, rate);
}

void EQ10::setParameter(int index, double value)
{
  if (setCommonParameter(index, value) || index < 5 || index > 14) return;
  const int band = 14 - index; // the parameters run from the top band down
  bands[band][0].setGain(value);
  bands[band][1].setGain(value);
}

// ---- panel ----

namespace {
// Inputs and the mono/stereo switch at the top; the band gains below in two columns, highest band first,
// each captioned with its centre toward the middle.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"IN A"}),
  switchControl(60, 32, 4, kImageSwitch2Orange, {"STEREO", kAbove, -5, -8}),
  knob(80, 24, 2, {"IN B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  smallKnob(12, 92, 5, {"16K", kRight}),
  smallKnob(12, 134, 6, {"8K", kRight}),
  smallKnob(12, 176, 7, {"4K", kRight}),
  smallKnob(12, 218, 8, {"2K", kRight}),
  smallKnob(12, 260, 9, {"1K", kRight}),
  smallKnob(92, 92, 10, {"500", kLeft}),
  smallKnob(92, 134, 11, {"250", kLeft}),
  smallKnob(92, 176, 12, {"125", kLeft}),
  smallKnob(92, 218, 13, {"60", kLeft}),
  smallKnob(92, 260, 14, {"30", kLeft}),
};
// clang-format on
} // namespace

const PanelLayout EQ10::panel = {kImageModuleEq10, kPanelRows};

void EQ10::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
