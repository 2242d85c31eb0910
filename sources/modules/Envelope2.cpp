#include "Envelope2.h"

#include "ADSR.h"
#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

Envelope2::Envelope2(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), gate{nullptr, nullptr}, attack{0.0, 0.0}, decay{0.0, 0.0}, sustain{0.0, 0.0},
      release{0.0, 0.0}, state{kIdle, kIdle},
      coefficientBase(0.0), target{0.0, 0.0}, coef{0.0, 0.0}, previousGate{0.0, 0.0}
{
}

void Envelope2::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  for (int p = 2; p <= 9; ++p) declareDouble(synth, base + p, 0.0, 0.0, 1.0, 0.01, 1.0);
}

void Envelope2::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_ENVELOPE2);
}

double Envelope2::coefficient(double t) const
{
  return ADSR::rateCoefficient(t, coefficientBase);
}

void Envelope2::setParameter(int index, double value)
{
  if (index == 0 || index == 1) {
    gate[index] = getSource((int)value, SourceDef::GATE);
    return;
  }
  if (index < 2 || index > 9) return;
  const unsigned char env = (unsigned char)(index & 1);
  const double v = clampValue(value, 0.0, 1.0);
  switch ((index - 2) >> 1) {
  case 0:
    setAttack(env, v);
    break;
  case 1:
    setDecay(env, v);
    break;
  case 2:
    setSustain(env, v);
    break;
  default:
    setRelease(env, v);
    break;
  }
}

void Envelope2::setAttack(unsigned char env, double value)
{
  attack[env] = value;
  if (state[env] == kAttack) coef[env] = coefficient(value);
}

void Envelope2::setDecay(unsigned char env, double value)
{
  decay[env] = value;
  if (state[env] == kDecay) coef[env] = coefficient(value);
}

void Envelope2::setSustain(unsigned char env, double value)
{
  sustain[env] = value;
  if (state[env] == kDecay) target[env] = value;
}

void Envelope2::setRelease(unsigned char env, double value)
{
  release[env] = value;
  if (state[env] == kRelease) coef[env] = coefficient(value);
}

void Envelope2::setSampleRate(double rate)
{
  coefficientBase = rate > 0.0 ? ADSR::kLn10 / rate : 0.0;
  for (int i = 0; i < 2; ++i) {
    state[i] = kIdle;
    nextModOut[i] = 0.0;
    previousGate[i] = 0.0;
  }
}

void Envelope2::update(bool)
{
  for (int i = 0; i < 2; ++i) {
    const ModulatorCommon::GateChange change = ModulatorCommon::readGate(gate[i], &previousGate[i]);
    gateLamp[i].publish(gate[i] != nullptr, previousGate[i] > 0.0);
    if (change == ModulatorCommon::kNoChange) continue;
    if (change == ModulatorCommon::kRise) {
      state[i] = kAttack;
      target[i] = ADSR::kAttackTarget;
      coef[i] = coefficient(attack[i]);
      gateLamp[i].rise();
    } else if (change == ModulatorCommon::kFall) {
      state[i] = kRelease;
      target[i] = ADSR::kReleaseTarget;
      coef[i] = coefficient(release[i]);
    }
    // The change shows in the published output at once.
    process();
  }
}

void Envelope2::process()
{
  modOut[0] = nextModOut[0];
  modOut[1] = nextModOut[1];
  for (int i = 0; i < 2; ++i)
    nextModOut[i] =
        ModulatorCommon::stepEnvelope(nextModOut[i], target[i], coef[i], state[i], [this, i](double* c, double* t) {
          *c = coefficient(decay[i]);
          *t = sustain[i];
        });
}

// ---- panel ----

namespace {
constexpr DualEnvelopePanelRows kPanelRows = dualEnvelopePanelRows(11);
}

const PanelLayout Envelope2::panel = {kImageModuleEnv2, kPanelRows.rows};

void Envelope2::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void Envelope2::updateGraphics()
{
  ModulatorLamps::refreshGateLamps(config, gateLamp, 2);
}
