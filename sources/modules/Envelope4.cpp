#include "Envelope4.h"

#include "ADSR.h"
#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

Envelope4::Envelope4(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), coefficientBase(0.0)
{
  for (int i = 0; i < kCount; ++i) {
    gate[i] = nullptr;
    attack[i] = decay[i] = 0.0;
    state[i] = kIdle;
    target[i] = coef[i] = previousGate[i] = 0.0;
  }
}

void Envelope4::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int p = 0; p < 4; ++p) declareSelector(synth, base + p);
  for (int p = 4; p < 12; ++p) declareDouble(synth, base + p, 0.0, 0.0, 1.0, 0.01, 1.0);
}

void Envelope4::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_ENVELOPE4);
}

double Envelope4::coefficient(double t) const
{
  return ADSR::rateCoefficient(t, coefficientBase);
}

void Envelope4::setParameter(int index, double value)
{
  if (index >= 0 && index < 4)
    gate[index] = getSource((int)value, SourceDef::GATE);
  else if (index >= 4 && index < 8)
    setAttack((unsigned char)(index - 4), clampValue(value, 0.0, 1.0));
  else if (index >= 8 && index < 12)
    setDecay((unsigned char)(index - 8), clampValue(value, 0.0, 1.0));
}

void Envelope4::setAttack(unsigned char env, double value)
{
  attack[env] = value;
  if (state[env] == kAttack) coef[env] = coefficient(value);
}

void Envelope4::setDecay(unsigned char env, double value)
{
  decay[env] = value;
  if (state[env] == kDecay) coef[env] = coefficient(value);
}

void Envelope4::setSampleRate(double rate)
{
  coefficientBase = rate > 0.0 ? ADSR::kLn10 / rate : 0.0;
  for (int i = 0; i < kCount; ++i) {
    state[i] = kIdle;
    nextModOut[i] = 0.0;
    previousGate[i] = 0.0;
  }
}

void Envelope4::update(bool)
{
  for (int i = 0; i < kCount; ++i) {
    const ModulatorCommon::GateChange change = ModulatorCommon::readGate(gate[i], &previousGate[i]);
    gateLamp[i].publish(gate[i] != nullptr, previousGate[i] > 0.0);
    if (change == ModulatorCommon::kNoChange) continue;
    if (change == ModulatorCommon::kRise) {
      state[i] = kAttack;
      target[i] = ADSR::kAttackTarget;
      coef[i] = coefficient(attack[i]);
      gateLamp[i].rise();
    } else if (change == ModulatorCommon::kFall) {
      state[i] = kDecay;
      target[i] = ADSR::kReleaseTarget;
      coef[i] = coefficient(decay[i]);
    }
    process();
  }
}

void Envelope4::process()
{
  for (int i = 0; i < kCount; ++i) {
    modOut[i] = nextModOut[i];
    if (state[i] <= kIdle) continue;
    double level = nextModOut[i];
    level = ModulatorCommon::flushSilent(level + (target[i] - level) * coef[i]);
    if (stateBroken(level)) {
      level = 0.0;
      state[i] = kIdle;
    } else if (state[i] == kAttack) {
      if (level >= 1.0) {
        level = 1.0;
        state[i] = kDecay;
        coef[i] = coefficient(decay[i]);
        target[i] = 0.0;
      }
    } else if (level <= 0.0) {
      level = 0.0;
      // Only the fall after the gate closed ends the envelope; the held decay stays at 0 until then.
      if (target[i] < 0.0) state[i] = kIdle;
    }
    nextModOut[i] = level;
  }
}

// ---- panel ----

namespace {
// Two pairs of envelopes, 1 and 2 above, 3 and 4 below, each pair with its gates on top, then attacks and
// decays; a row's caption sits between its two knobs. Each lamp is in its envelope's outer corner.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 24, 0, SourceDef::GATE, {"GATE 1", kAbove, 4}),
  sources(80, 24, 1, SourceDef::GATE, {"GATE 2", kAbove, -4}),
  knob(16, 44, 4, {"ATK", kRight}),
  knob(80, 44, 5),
  knob(16, 96, 8, {"DEC", kRight}),
  knob(80, 96, 9),
  sources(16, 176, 2, SourceDef::GATE, {"GATE 3", kAbove, 4}),
  sources(80, 176, 3, SourceDef::GATE, {"GATE 4", kAbove, -4}),
  knob(16, 196, 6, {"ATK", kRight}),
  knob(80, 196, 7),
  knob(16, 248, 10, {"DEC", kRight}),
  knob(80, 248, 11),
  led(8, 11),
  led(112, 11),
  led(8, 163),
  led(112, 163),
};
// clang-format on
} // namespace

const PanelLayout Envelope4::panel = {kImageModuleEnv4, kPanelRows};

void Envelope4::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void Envelope4::updateGraphics()
{
  ModulatorLamps::refreshGateLamps(config, gateLamp, kCount);
}
