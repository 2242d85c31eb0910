#include "ADSR.h"

#include <cmath>

ADSR::ADSR()
    : level(0.0), attack(0.0), decay(0.0), sustain(0.0), release(0.0), state(kIdle), target(0.0), previousLevel(0.0),
      coefficient(0.0), coefficientBase(kLn10 / 1000.0)
{
}

double ADSR::rateCoefficient(double setting, double base)
{
  return std::pow(10.0, 2.3 - 4.5 * setting) * base;
}

void ADSR::setSampleRate(float sampleRate)
{
  state = kIdle;
  // A rate the host cannot mean keeps the previous base rather than turning every level into NaN.
  if (sampleRate > 0.0f && std::isfinite(sampleRate)) coefficientBase = kLn10 / sampleRate;
  level = 0.0;
}

void ADSR::start()
{
  state = kAttack;
  target = kAttackTarget;
  coefficient = rateCoefficient(attack, coefficientBase);
}

void ADSR::stop(bool cut)
{
  state = kRelease;
  target = kReleaseTarget;
  if (cut) {
    level = 0.0;
    coefficient = 0.0;
    state = kIdle;
    return;
  }
  coefficient = rateCoefficient(release, coefficientBase);
  if (level <= 0.0) state = kIdle;
}

void ADSR::setAttack(double a)
{
  attack = a < 0.0 ? 0.0 : (a > 1.0 ? 1.0 : a);
  if (state == kAttack) coefficient = rateCoefficient(attack, coefficientBase);
}

void ADSR::setDecay(double d)
{
  decay = 0.8 * d + 0.2;
  if (state == kDecay) coefficient = rateCoefficient(decay, coefficientBase);
}

void ADSR::setSustain(double s)
{
  sustain = s;
  if (state == kDecay) target = sustain;
}

void ADSR::setRelease(double r)
{
  release = r;
  if (state == kRelease) coefficient = rateCoefficient(release, coefficientBase);
}
