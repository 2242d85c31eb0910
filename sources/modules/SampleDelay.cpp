#include "SampleDelay.h"

#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Synth.h"

#include <cstring>

using namespace ModuleConventions;

const char* const SampleDelay::labelDelay[kMaxDelay + 1] = {"1", "2",  "3",  "4",  "5",  "6",  "7", "8",
                                                            "9", "10", "11", "12", "13", "14", "15"};

SampleDelay::SampleDelay(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), input{}, delay{}, ring{}, writeIndex{}
{
}

void SampleDelay::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int ch = 0; ch < kChannels; ++ch) declareSelector(synth, base + ch);
  for (int ch = 0; ch < kChannels; ++ch) {
    declareInt(synth, base + kChannels + ch, 0, 0, kMaxDelay);
    // An integer shown by its texts: the total delay rather than the stored one.
    if (IParam* p = synth ? synth->GetParam(base + kChannels + ch) : nullptr)
      for (int d = 0; d <= kMaxDelay; ++d) p->SetDisplayText(d, labelDelay[d]);
  }
}

void SampleDelay::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SAMPLEDELAY);
}

void SampleDelay::setParameter(int index, double value)
{
  if (index >= 0 && index < kChannels)
    input[index] = getSource((int)value, SourceDef::AUDIO);
  else if (index >= kChannels && index < 2 * kChannels)
    setDelay(index - kChannels, clampToInt(value, 0, kMaxDelay));
}

void SampleDelay::setDelay(int channel, int d)
{
  if (channel < 0 || channel >= kChannels) return;
  std::memset(ring[channel], 0, sizeof(ring[channel]));
  // Held to the ring: a longer delay would read values newer than the one it names.
  delay[channel] = d < 0 ? 0 : d > kMaxDelay ? kMaxDelay : d;
  writeIndex[channel] = 0;
}

void SampleDelay::process()
{
  for (int ch = 0; ch < kChannels; ++ch) audioOut[ch] = nextAudioOut[ch];
  for (int ch = 0; ch < kChannels; ++ch) {
    if (!input[ch]) {
      nextAudioOut[ch] = 0.0;
      continue;
    }
    const double x = *input[ch];
    const int d = delay[ch];
    if (d <= 0) {
      nextAudioOut[ch] = x;
      continue;
    }
    int w = writeIndex[ch];
    w = w <= 0 ? kRingSize - 1 : w - 1;
    writeIndex[ch] = w;
    nextAudioOut[ch] = ring[ch][(w + d) & (kRingSize - 1)];
    ring[ch][w] = x;
  }
}
