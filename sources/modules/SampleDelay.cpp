#include "SampleDelay.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

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
  // Lists, so that the panel's delay buttons open a menu: each entry shows the total delay rather than the
  // stored one.
  for (int ch = 0; ch < kChannels; ++ch) declareEnum(synth, base + kChannels + ch, 0, kMaxDelay + 1, labelDelay);
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

// ---- panel ----

namespace {
// Six rows 48 pixels apart, each a channel's input menu and its delay in samples; all inputs first, then all
// delays. The delay buttons show their value on every entry, "1" included.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 32, 0, SourceDef::AUDIO, {"IN A"}),
  sources(16, 80, 1, SourceDef::AUDIO, {"IN B"}),
  sources(16, 128, 2, SourceDef::AUDIO, {"IN C"}),
  sources(16, 176, 3, SourceDef::AUDIO, {"IN D"}),
  sources(16, 224, 4, SourceDef::AUDIO, {"IN E"}),
  sources(16, 272, 5, SourceDef::AUDIO, {"IN F"}),
  alwaysLit(popUp(80, 32, 6, kImageButton, {"SAMPLES"})),
  alwaysLit(popUp(80, 80, 7, kImageButton, {"SAMPLES"})),
  alwaysLit(popUp(80, 128, 8, kImageButton, {"SAMPLES"})),
  alwaysLit(popUp(80, 176, 9, kImageButton, {"SAMPLES"})),
  alwaysLit(popUp(80, 224, 10, kImageButton, {"SAMPLES"})),
  alwaysLit(popUp(80, 272, 11, kImageButton, {"SAMPLES"})),
};
// clang-format on
} // namespace

const PanelLayout SampleDelay::panel = {kImageModuleSmpldly, kPanelRows};

void SampleDelay::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
