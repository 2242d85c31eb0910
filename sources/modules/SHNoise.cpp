#include "SHNoise.h"

#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

SHNoise::SHNoise(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), randSeed(&randomSeeds().sampleAndHold), whiteLevel(0.0), pinkLevel(0.0), gate{nullptr, nullptr}, input{nullptr, nullptr},
      previousGate{0.0, 0.0}, period{0, 0}, counter{0, 0}, previousCounter{0, 0}, b0(0.0), b1(0.0), b2(0.0)
{
}

void SHNoise::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareDouble(synth, base + 0, 0.0, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareDouble(synth, base + 2, 5.5, 0.001, 100.0, 0.01, 4.0);
  declareDouble(synth, base + 3, 5.5, 0.001, 100.0, 0.01, 4.0);
  for (int p = 4; p <= 7; ++p) declareSelector(synth, base + p);
}

void SHNoise::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_SHNOISE);
}

void SHNoise::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    whiteLevel = finiteOrZero(value);
    break;
  case 1:
    pinkLevel = finiteOrZero(value);
    break;
  case 2:
  case 3:
    setRate(index - 2, value);
    break;
  case 4:
  case 5:
    gate[index - 4] = getSource((int)value, SourceDef::GATE);
    break;
  case 6:
  case 7:
    input[index - 6] = getSource((int)value, SourceDef::AUDIO_OR_MOD);
    break;
  default:
    break;
  }
}

void SHNoise::setRate(int channel, double rate)
{
  const int next = ModulatorCommon::periodForRate(rate);
  counter[channel] = ModulatorCommon::rescaleCounter(counter[channel], period[channel], next);
  period[channel] = next;
}

void SHNoise::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  // Two steps of the shared seed per sample: the first is the white noise, the second feeds the pink filter.
  std::atomic<uint32_t>& seed = *randSeed;
  const uint32_t s1 = seed.load(std::memory_order_relaxed) * 16807u;
  const uint32_t s2 = s1 * 16807u;
  seed.store(s2, std::memory_order_relaxed);
  const double white = (double)(int32_t)s1 * 4.6566129e-10;
  const double n = (double)(int32_t)s2 * 4.6566129e-10;
  b0 = 0.99765 * b0 + 0.099046 * n;
  b1 = 0.963 * b1 + 0.2965164 * n;
  b2 = 0.57 * b2 + 1.0526913 * n;
  const double pink = (b0 + b1 + b2 + 0.1848 * n) * 0.25;
  nextAudioOut[0] = white * whiteLevel;
  nextAudioOut[1] = pink * pinkLevel;
}

void SHNoise::update(bool)
{
  modOut[0] = nextModOut[0];
  modOut[1] = nextModOut[1];
  for (int i = 0; i < 2; ++i) {
    if (!input[i]) continue;
    if (gate[i]) {
      const double v = *gate[i];
      if (v > previousGate[i]) {
        nextModOut[i] = finiteOrZero(*input[i]); // a held NaN would last until the next clock
        counter[i] = period[i] = kGatePeriod;
      } else if (counter[i] > 0) {
        --counter[i];
      }
      previousGate[i] = v;
    } else {
      const int c = counter[i];
      if (c > previousCounter[i]) nextModOut[i] = finiteOrZero(*input[i]); // a held NaN would last until the next clock
      previousCounter[i] = c;
      counter[i] = ModulatorCommon::countDown(c, period[i]);
    }
  }
  for (int i = 0; i < 2; ++i) shownCycle[i].publish(counter[i], period[i]);
}

// ---- panel ----

namespace {
// The noise levels on top; below, the two sample and hold channels side by side: lamp, rate, clock gate
// and the input sampled.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 40, 0, {"WHITE"}),
  knob(80, 40, 1, {"PINK"}),
  knob(16, 168, 2, {"RATE A"}),
  knob(80, 168, 3, {"RATE B"}),
  sources(16, 238, 4, SourceDef::GATE, {"CLOCK"}),
  sources(80, 238, 5, SourceDef::GATE, {"CLOCK"}),
  sources(16, 280, 6, SourceDef::AUDIO_OR_MOD, {"IN A"}),
  sources(80, 280, 7, SourceDef::AUDIO_OR_MOD, {"IN B"}),
  led(28, 142),
  led(92, 142),
};
// clang-format on
} // namespace

const PanelLayout SHNoise::panel = {kImageModuleShnoise, kPanelRows};

void SHNoise::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void SHNoise::updateGraphics()
{
  IControl* const* lamps = panelSpecials(config, 2);
  if (!lamps) return;
  for (int i = 0; i < 2; ++i) {
    const ModulatorLamps::CyclePosition::Value c = shownCycle[i].load();
    showLamp(lamps[i], c.countdown >= c.half());
  }
}
