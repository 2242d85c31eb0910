#include "ParaEQ5.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"

using namespace ModuleConventions;

const double ParaEQ5::initialCentres[5] = {60, 250, 1000.5, 2500, 8000};

ParaEQ5::ParaEQ5(ModuleConfig* config, Voice* voice, Veltrane* owner) : Equaliser<5>(config, voice, owner) {}

void ParaEQ5::initParams(int base, Synth* synth)
{
  declareCommonParams(base, synth);
  for (int b = 0; b < kNumBands; ++b) {
    declareDouble(synth, base + 5 + 2 * b, initialCentres[b], 16.0, 16000.0, 1.0, 2.0);
    declareDouble(synth, base + 6 + 2 * b, 0.0, -18.0, 18.0, 0.1, 1.0);
  }
}

void ParaEQ5::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_PARAEQ5);
}

void ParaEQ5::setSampleRate(double rate)
{
  // The frequency parameters come again after creation and on every activation.
  setCentres(initialCentres, rate);
}

void ParaEQ5::setParameter(int index, double value)
{
  if (setCommonParameter(index, value) || index < 5 || index > 14) return;
  // Bands counted from 0: 5/6 are band 0, 13/14 band 4.
  const int band = (index - 5) / 2;
  if ((index & 1) != 0) {
    // A retune keeps the band's gain and its history.
    bands[band][0].set(value, sampleRate);
    bands[band][1].set(value, sampleRate);
  } else {
    bands[band][0].setGain(value);
    bands[band][1].setGain(value);
  }
}

// ---- panel ----

namespace {
// The equaliser's top; below it one row per band, top down, its frequency left and its gain right, the
// band's number between them.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"IN A"}),
  switchControl(60, 32, 4, kImageSwitch2Orange, {"STEREO", kAbove, -5, -8}),
  knob(80, 24, 2, {"IN B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  smallKnob(20, 92, 5, {"BAND 1", kRight, 2}),
  smallKnob(20, 134, 7, {"BAND 2", kRight, 2}),
  smallKnob(20, 176, 9, {"BAND 3", kRight, 2}),
  smallKnob(20, 218, 11, {"BAND 4", kRight, 2}),
  smallKnob(20, 260, 13, {"BAND 5", kRight, 2}),
  smallKnob(84, 92, 6),
  smallKnob(84, 134, 8),
  smallKnob(84, 176, 10),
  smallKnob(84, 218, 12),
  smallKnob(84, 260, 14),
};
// clang-format on
} // namespace

const PanelLayout ParaEQ5::panel = {kImageModulePara5, kPanelRows};

void ParaEQ5::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
