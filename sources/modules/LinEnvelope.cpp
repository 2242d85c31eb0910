#include "LinEnvelope.h"

#include "EditorImages.h"
#include "Envelope2.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

LinEnvelope::LinEnvelope(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), gate{nullptr, nullptr}, attack{0.0, 0.0}, decay{0.0, 0.0}, sustain{0.0, 0.0},
      release{0.0, 0.0}, state{kIdle, kIdle}, samplesPer10s(0.0), increment{0.0, 0.0}, previousGate{0.0, 0.0}
{
}

void LinEnvelope::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  for (int p = 2; p <= 5; ++p) declareDouble(synth, base + p, 0.0, 0.0, 10.0, 0.01, 4.0);
  for (int p = 6; p <= 7; ++p) declareDouble(synth, base + p, 0.0, 0.0, 1.0, 0.01, 1.0);
  for (int p = 8; p <= 9; ++p) declareDouble(synth, base + p, 0.0, 0.0, 10.0, 0.01, 4.0);
}

void LinEnvelope::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_LINENVELOPE);
}

void LinEnvelope::setTiming(unsigned char env, double time, double from, double to)
{
  const double t = time * 0.1 * samplesPer10s;
  increment[env] = t > 0.0 ? (to - from) / t : to - from;
}

void LinEnvelope::setParameter(int index, double value)
{
  if (index == 0 || index == 1) {
    gate[index] = getSource((int)value, SourceDef::GATE);
    return;
  }
  if (index < 2 || index > 9) return;
  const unsigned char env = (unsigned char)(index & 1);
  switch ((index - 2) >> 1) {
  case 0:
    setAttack(env, clampValue(value, 0.0, 10.0));
    break;
  case 1:
    setDecay(env, clampValue(value, 0.0, 10.0));
    break;
  case 2:
    setSustain(env, clampValue(value, 0.0, 1.0));
    break;
  default:
    setRelease(env, clampValue(value, 0.0, 10.0));
    break;
  }
}

void LinEnvelope::setAttack(unsigned char env, double seconds)
{
  attack[env] = seconds;
  if (state[env] == kAttack) setTiming(env, seconds, 0.0, 1.0);
}

void LinEnvelope::setDecay(unsigned char env, double seconds)
{
  decay[env] = seconds;
  if (state[env] == kDecay) setTiming(env, seconds, 1.0, sustain[env]);
}

void LinEnvelope::setSustain(unsigned char env, double level)
{
  sustain[env] = level;
}

void LinEnvelope::setRelease(unsigned char env, double seconds)
{
  release[env] = seconds;
  if (state[env] != kRelease) return;
  setTiming(env, seconds, sustain[env], 0.0);
  // Measured from the sustain level, the step would stand still (or climb) whenever the release began
  // from above it, sustain 0 being the common case: then it runs from the level instead.
  const double level = nextModOut[env];
  if (increment[env] >= 0.0 && level > 0.0) setTiming(env, seconds, level, 0.0);
}

void LinEnvelope::setSampleRate(double rate)
{
  samplesPer10s = rate > 0.0 ? rate * 10.0 : 0.0;
  for (int i = 0; i < 2; ++i) {
    state[i] = kIdle;
    nextModOut[i] = 0.0;
    previousGate[i] = 0.0;
  }
}

void LinEnvelope::update(bool)
{
  for (unsigned char i = 0; i < 2; ++i) {
    const ModulatorCommon::GateChange change = ModulatorCommon::readGate(gate[i], &previousGate[i]);
    gateLamp[i].publish(gate[i] != nullptr, previousGate[i] > 0.0);
    if (change == ModulatorCommon::kNoChange) continue;
    if (change == ModulatorCommon::kRise) {
      state[i] = kAttack;
      setTiming(i, attack[i], 0.0, 1.0);
      gateLamp[i].rise();
    } else if (change == ModulatorCommon::kFall) {
      state[i] = kRelease;
      setTiming(i, release[i], nextModOut[i], 0.0);
    }
    process();
  }
}

void LinEnvelope::process()
{
  modOut[0] = nextModOut[0];
  modOut[1] = nextModOut[1];
  for (unsigned char i = 0; i < 2; ++i) {
    double level = nextModOut[i];
    switch (state[i]) {
    case kAttack:
      level += increment[i];
      if (level > 1.0) {
        level = 1.0;
        state[i] = kDecay;
        setTiming(i, decay[i], 1.0, sustain[i]);
      }
      break;
    case kDecay:
      level += increment[i];
      if (sustain[i] >= level) {
        level = sustain[i];
        state[i] = kSustain;
      }
      break;
    case kRelease:
      level += increment[i];
      if (level <= 0.0) {
        level = 0.0;
        state[i] = kIdle;
      }
      break;
    default:
      continue;
    }
    if (stateBroken(level)) {
      level = 0.0;
      state[i] = kIdle;
    }
    nextModOut[i] = level;
  }
}

// ---- panel ----

namespace {
// The dual envelope's panel on its background; only the second lamp sits a pixel higher.
constexpr DualEnvelopePanelRows kPanelRows = dualEnvelopePanelRows(10);
} // namespace

const PanelLayout LinEnvelope::panel = {kImageModuleEnv2, kPanelRows.rows};

void LinEnvelope::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void LinEnvelope::updateGraphics()
{
  ModulatorLamps::refreshGateLamps(config, gateLamp, 2);
}
