#include "ParaEQ5.h"

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
  sampleRate = rate;
  for (int b = 0; b < kNumBands; ++b) {
    bands[b][0].set(initialCentres[b], rate);
    bands[b][1].set(initialCentres[b], rate);
  }
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
