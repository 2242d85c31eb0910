#include "Envelope.h"

#include "EditorImages.h"
#include "ModulatorCommon.h"
#include "ModuleConventions.h"
#include "VoiceBlock.h"

using namespace ModuleConventions;

Envelope::Envelope(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), gateA(nullptr),
      gateB(nullptr), attack{0.0, 0.0, nullptr}, decay{0.0, 0.0, nullptr}, sustain{0.0, 0.0, nullptr}, release{0.0, 0.0,
                                                                                                               nullptr},
      state(kIdle), effAttack(0.0), effDecay(0.0), effSustain(0.0), effRelease(0.0), coefficientBase(0.0), target(0.0),
      coef(0.0), previousGateA(0.0), previousGateB(0.0)
{
}

void Envelope::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareSelector(synth, base + 0);
  declareSelector(synth, base + 1);
  for (int segment = 0; segment < 4; ++segment) {
    const int p = base + 2 + segment * 3;
    declareDouble(synth, p, 0.0, 0.0, 1.0, 0.01, 1.0);
    declareDouble(synth, p + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, p + 2);
  }
}

void Envelope::setParameter(int index, double value)
{
  if (index == 0 || index == 1) {
    (index == 0 ? gateA : gateB) = getSource((int)value, SourceDef::GATE);
    return;
  }
  if (index < 2 || index > 13) return;
  Segment* seg[4] = {&attack, &decay, &sustain, &release};
  Segment& s = *seg[(index - 2) / 3];
  switch ((index - 2) % 3) {
  case 0:
    s.value = value;
    break;
  case 1:
    s.amount = value;
    break;
  default:
    s.source = getSource((int)value, SourceDef::MODULATION);
    break;
  }
}

void Envelope::setSampleRate(double rate)
{
  // A rate that cannot be divided by leaves the envelope standing rather than jumping by infinite steps.
  coefficientBase = rate > 0.0 ? ADSR::kLn10 / rate : 0.0;
  state = kIdle;
  nextModOut[0] = 0.0;
  previousGateA = previousGateB = 0.0;
}

void Envelope::setAttack()
{
  if (state == kAttack) coef = coefficient(effAttack);
}

void Envelope::setDecay()
{
  if (state == kDecay) coef = coefficient(effDecay);
}

void Envelope::setSustain()
{
  if (state == kDecay) target = effSustain;
}

void Envelope::setRelease()
{
  if (state == kRelease) coef = coefficient(effRelease);
}

namespace {
double effective(const Envelope::Segment& s)
{
  if (!s.source) return s.value;
  return clampValue(s.value + s.amount * *s.source, 0.0, 1.0);
}
} // namespace

void Envelope::update(bool)
{
  using namespace ModulatorCommon;
  effAttack = effective(attack);
  setAttack();
  effDecay = effective(decay);
  setDecay();
  effSustain = effective(sustain);
  setSustain();
  effRelease = effective(release);
  setRelease();

  const GateChange a = readGate(gateA, &previousGateA);
  const GateChange b = readGate(gateB, &previousGateB);
  gateLamp.publish(gateA || gateB, previousGateA > 0.0 || previousGateB > 0.0);
  if (a == kNoChange && b == kNoChange) return;
  if (a == kRise || b == kRise) {
    gateLamp.rise();
    state = kAttack;
    target = kAttackTarget;
    coef = coefficient(effAttack);
  } else if (a == kFall || b == kFall) {
    state = kRelease;
    target = kReleaseTarget;
    coef = coefficient(effRelease);
  }
  // The change shows in the published output at once.
  process();
}

namespace {
// One sample of an envelope from its running values. The attack hands over to an unmodulated decay until
// the next tick replaces it with the effective values.
inline double advance(const Envelope& e, double next, double& target, double& coef, int& state)
{
  return ModulatorCommon::stepEnvelope(next, target, coef, state, [&e](double* c, double* t) {
    *c = e.coefficient(e.decay.value);
    *t = e.sustain.value;
  });
}
} // namespace

bool Envelope::prepareBlock(const VoiceBlock&)
{
  // Its gates are read at ticks: nothing to resolve.
  return modOut.size() == 1 && audioOut.empty() && gateOut.empty() && syncOut.empty();
}

void Envelope::processBlock(int n, double* __restrict record)
{
  // process(), n times.
  double next = nextModOut[0];
  for (int i = 0; i < n; ++i) {
    record[i] = next;
    next = advance(*this, next, target, coef, state);
  }
  modOut[0] = record[n - 1];
  nextModOut[0] = next;
}

namespace {
// Envelope::process on a copy of the running values, for the group loop.
struct Run
{
  double next, target, coef;
  int state;
  double* record;
};

template <int count> void runGroup(Envelope* const* group, int n, double* const* records)
{
  Run run[count];
  for (int j = 0; j < count; ++j) {
    const Envelope& e = *group[j];
    run[j] = {e.nextModOut[0], e.target, e.coef, e.state, records[j]};
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < count; ++j) {
      Run& r = run[j];
      r.record[i] = r.next;
      r.next = advance(*group[j], r.next, r.target, r.coef, r.state);
    }
  for (int j = 0; j < count; ++j) {
    Envelope& e = *group[j];
    e.nextModOut[0] = run[j].next;
    e.modOut[0] = run[j].record[n - 1];
    e.target = run[j].target;
    e.coef = run[j].coef;
    e.state = run[j].state;
  }
}
} // namespace

bool Envelope::processBlockGroup(Module* const* modules, int count, int n, double* const* records)
{
  Envelope* group[VoiceBlock::kGroup];
  for (int j = 0; j < count && j < VoiceBlock::kGroup; ++j) group[j] = static_cast<Envelope*>(modules[j]);
  switch (count) {
  case 2:
    runGroup<2>(group, n, records);
    return true;
  case 3:
    runGroup<3>(group, n, records);
    return true;
  case 4:
    runGroup<4>(group, n, records);
    return true;
  default:
    return false;
  }
}

void Envelope::process()
{
  modOut[0] = nextModOut[0];
  nextModOut[0] = advance(*this, nextModOut[0], target, coef, state);
}

// ---- panel ----

namespace {
// Each segment a row: its value, its modulation amount and, between them below, the modulation source.
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 22, 0, SourceDef::GATE, {"GATE A"}),
  sources(80, 22, 1, SourceDef::GATE, {"GATE B"}),
  knob(16, 56, 2, {"ATTACK"}),
  knob(80, 56, 3, {"MOD"}),
  sources(48, 88, 4, SourceDef::MODULATION),
  knob(16, 120, 5, {"DECAY"}),
  knob(80, 120, 6, {"MOD"}),
  sources(48, 152, 7, SourceDef::MODULATION),
  knob(16, 184, 8, {"SUSTAIN"}),
  knob(80, 184, 9, {"MOD"}),
  sources(48, 216, 10, SourceDef::MODULATION),
  knob(16, 248, 11, {"RELEASE"}),
  knob(80, 248, 12, {"MOD"}),
  sources(48, 280, 13, SourceDef::MODULATION),
  led(60, 25),
};
// clang-format on
} // namespace

const PanelLayout Envelope::panel = {kImageModuleEnv, kPanelRows};

void Envelope::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void Envelope::updateGraphics()
{
  ModulatorLamps::refreshGateLamps(config, &gateLamp, 1);
}
