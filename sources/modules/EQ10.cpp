#include "EQ10.h"

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
  sampleRate = rate;
  for (int i = 0; i < kNumBands; ++i) {
    bands[i][0].set(centres[i], rate);
    bands[i][1].set(centres[i], rate);
  }
}

void EQ10::setParameter(int index, double value)
{
  if (setCommonParameter(index, value) || index < 5 || index > 14) return;
  const int band = 14 - index; // the parameters run from the top band down
  bands[band][0].setGain(value);
  bands[band][1].setGain(value);
}
