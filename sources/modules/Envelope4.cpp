#include "Envelope4.h"

#include "ADSR.h"
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
    gateIndicator[i] = 0;
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
    if (change == ModulatorCommon::kNoChange) continue;
    if (change == ModulatorCommon::kRise) {
      state[i] = kAttack;
      target[i] = ADSR::kAttackTarget;
      coef[i] = coefficient(attack[i]);
      gateIndicator[i] = 1;
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
