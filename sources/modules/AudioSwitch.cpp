#include "AudioSwitch.h"

#include "ModuleCatalogue.h"

AudioSwitch::AudioSwitch(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : SeqSwitch(config, voice, owner), active{}, fadeIncrement(0.0), gain{}
{
  signalType = SourceDef::AUDIO;
}

void AudioSwitch::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_AUDIOSWITCH);
}

void AudioSwitch::setSampleRate(double rate)
{
  // A rate that cannot be divided by switches at once instead.
  fadeIncrement = rate > 1000.0 ? 1000.0 / rate : 1.0;
}

void AudioSwitch::update(bool)
{
  step();
  // All eight: an input left past the last step by a lower step count fades out like any other.
  for (int k = 0; k < kSteps; ++k) active[k] = k == currentStep && k <= lastStep;
}

void AudioSwitch::process()
{
  audioOut[0] = nextAudioOut[0];
  if (stopSource && stopped) {
    nextAudioOut[0] = *stopSource;
    return;
  }
  double sum = 0.0;
  for (int k = 0; k < kSteps; ++k) {
    if (active[k]) {
      if (gain[k] < 1.0) gain[k] += fadeIncrement;
    } else {
      if (gain[k] >= 0.0) gain[k] -= fadeIncrement;
      if (gain[k] < 0.0) continue;
    }
    if (inputs[k]) sum += gain[k] * *inputs[k];
  }
  nextAudioOut[0] = sum;
}

void AudioSwitch::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
