#include "Noise.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <atomic>

using namespace ModuleConventions;

namespace {
// Indexes into the per-output arrays, and the slot parameters of each (level, depth, source).
enum { kLevelWhiteA = 0, kLevelWhiteB = 1, kLevelPinkA = 2, kLevelPinkB = 3 };
struct ParamSet
{
  int level, depth, source, slot;
};
constexpr ParamSet kParams[4] = {{0, 2, 4, kLevelWhiteA}, {1, 3, 5, kLevelPinkA}, {6, 8, 10, kLevelWhiteB},
                                 {7, 9, 11, kLevelPinkB}};

// One pink filter over three states: the parallel one-poles plus the direct share, scaled by 1/4.
inline double pinkStep(double* b, double white)
{
  b[0] = 0.99765 * b[0] + 0.099046 * white;
  b[1] = 0.963 * b[1] + 0.2965164 * white;
  b[2] = 0.57 * b[2] + 1.0526913 * white;
  return (b[0] + b[1] + b[2] + 0.1848 * white) * 0.25;
}
} // namespace

uint32_t Noise::nextSeed(RandomSeeds& seeds)
{
  // A 32-bit mix of the count, so neighbouring generators start far apart in the generator's cycle.
  uint32_t x = seeds.noiseModules.fetch_add(0x9e3779b9u, std::memory_order_relaxed) + 0x9e3779b9u;
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x | 1u; // an odd seed keeps the multiplicative generator on its longest cycle
}

Noise::Noise(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), level{}, depth{}, modSource{}, pink{}, effectiveLevel{}, seed(nextSeed(randomSeeds()))
{
}

void Noise::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (const ParamSet& p : kParams) {
    declareDouble(synth, base + p.level, 0.0, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
    declareDouble(synth, base + p.depth, 0.0, 0.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p.source);
  }
}

void Noise::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_NOISE);
}

void Noise::setParameter(int index, double value)
{
  for (const ParamSet& p : kParams) {
    if (index == p.level) level[p.slot] = value;
    if (index == p.depth) depth[p.slot] = value;
    if (index == p.source) modSource[p.slot] = getSource((int)value, SourceDef::MODULATION);
  }
}

void Noise::update(bool active)
{
  if (!active) return;
  // A modulation that is not a number silences its output until the next tick.
  for (int k = 0; k < 4; ++k) effectiveLevel[k] = finiteOrZero(level[k] * depthFactor(modSource[k], depth[k]));
}

void Noise::process()
{
  for (int k = 0; k < 5; ++k) audioOut[k] = nextAudioOut[k];

  const double r1 = drawNoise(&seed);
  const double r2 = drawNoise(&seed);
  const double r3 = drawNoise(&seed);
  const double r4 = drawNoise(&seed);
  const double pinkA = pinkStep(pink, r2);
  const double pinkB = pinkStep(pink + 3, r4);

  const double whiteA = r1 * effectiveLevel[kLevelWhiteA];
  const double pA = pinkA * effectiveLevel[kLevelPinkA];
  const double whiteB = r3 * effectiveLevel[kLevelWhiteB];
  const double pB = pinkB * effectiveLevel[kLevelPinkB];
  nextAudioOut[kWhiteA] = whiteA;
  nextAudioOut[kPinkA] = pA;
  nextAudioOut[kWhiteB] = whiteB;
  nextAudioOut[kPinkB] = pB;
  nextAudioOut[kSum] = whiteA + pA + whiteB + pB;
}

// ---- panel ----

namespace {
// Generator A in the upper half, B in the lower; white noise left, pink right, each level over the depth
// of its modulation and that modulation's source.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"WHITE A"}),
  knob(80, 24, 1, {"PINK A"}),
  knob(16, 84, 2, {"MOD"}),
  knob(80, 84, 3, {"MOD"}),
  sources(16, 130, 4, SourceDef::MODULATION),
  sources(80, 130, 5, SourceDef::MODULATION),
  knob(16, 172, 6, {"WHITE B"}),
  knob(80, 172, 7, {"PINK B"}),
  knob(16, 232, 8, {"MOD"}),
  knob(80, 232, 9, {"MOD"}),
  sources(16, 280, 10, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Noise::panel = {kImageModuleNoise, kPanelRows};

void Noise::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
