#include "OscBase.h"

#include "ModuleConventions.h"

#include <cmath>
#include <memory>

namespace {
// Built once, on first use, by whichever thread gets there first (a function-local static).
std::unique_ptr<double[]> buildWaveTables()
{
  const int n = OscBase::kTableSize;
  std::unique_ptr<double[]> sine(new double[n]);
  for (int i = 0; i < n; ++i) sine[i] = std::sin(6.283185307179586 * i / n);

  std::unique_ptr<double[]> tables(new double[OscBase::kNumTables * n]);
  for (int k = 0; k < OscBase::kNumTables; ++k) {
    double* t = tables.get() + k * n;
    const int harmonics = (int)std::lround(2048.0 / std::pow(std::sqrt(2.0), k));
    for (int i = 0; i < n; ++i) t[i] = 0.5 * sine[i];
    // The taper falls from 1 at the fundamental to 0.54 at the top harmonic, not to 0.
    for (int h = 2; h <= harmonics; ++h) {
      const double a = (0.54 + 0.46 * std::cos((h - 1) * (1.5707963267948966) / (harmonics - 1))) * 0.5 / h;
      // sin(2 pi h i / n) = sine[(h * i) mod n]: whole periods of the table's own sine.
      for (int i = 0, j = 0; i < n; ++i, j = (j + h) & (n - 1)) t[i] += a * sine[j];
    }
  }
  return tables;
}
} // namespace

const double* OscBase::waveTables()
{
  static const std::unique_ptr<double[]> tables = buildWaveTables();
  return tables.get();
}

int OscBase::tableLevel(int increment)
{
  const int s = increment >> shift;
  if (s < 2) return 0;
  double x = s;
  int m = 0;
  while (x > 1.0) {
    x *= 0.7071067811865476;
    ++m;
  }
  return m <= topTable ? m : topTable;
}

OscBase::OscBase(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), frequencySource(nullptr), pitchMod1Source(nullptr), pitchMod1Amount(0.0),
      pitchMod2Source(nullptr), pitchMod2Amount(0.0), waveform(0), pitch(0), tune(0), wave(nullptr), pitchSum(0),
      phase(0), secondPhase(0), phaseIncrement(0), freq2PhInc(ModuleConventions::phaseIncrementTable(0.0))
{
  waveTables();
}

void OscBase::setSampleRate(double rate)
{
  freq2PhInc = ModuleConventions::phaseIncrementTable(rate);
  phase = secondPhase = phaseIncrement = 0;
}

void OscBase::setPitch(int semitones)
{
  pitch = semitones;
  pitchSum = semitones * 128 + tune;
}

void OscBase::setTune(int steps)
{
  tune = steps;
  pitchSum = pitch * 128 + steps;
}

bool OscBase::setPitchParameter(int index, int first, double value)
{
  using ModuleConventions::clampToInt;
  switch (index - first) {
  case 0:
    setPitch(clampToInt(std::floor(value), -24, 24));
    return true;
  case 1:
    setTune(clampToInt(std::floor(value), -128, 128));
    return true;
  case 2:
    pitchMod1Amount = value;
    return true;
  case 3:
    pitchMod1Source = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    return true;
  case 4:
    pitchMod2Amount = value;
    return true;
  case 5:
    pitchMod2Source = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    return true;
  default:
    return false;
  }
}

bool OscBase::setStartPhaseParameter(int index, int first, double value)
{
  using ModuleConventions::clampToInt;
  switch (index - first) {
  case 0:
    startPhase = value;
    return true;
  case 1:
    startPhaseModSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::MODULATION);
    return true;
  case 2:
    resetSource = getSource(clampToInt(value, 0, 1 << 20), SourceDef::GATE);
    return true;
  default:
    return false;
  }
}

int OscBase::incrementForPitch(double pitchValue) const
{
  return freq2PhInc[ModuleConventions::pitchStep(pitchValue)];
}

int OscBase::pitchIncrement() const
{
  double p = (double)voicePitch() + pitchSum;
  p += ModuleConventions::additive(pitchMod1Source, pitchMod1Amount);
  p += ModuleConventions::additive(pitchMod2Source, pitchMod2Amount);
  return incrementForPitch(p);
}

int OscBase::shapedSecondPhase(int phase, double shape, bool pulse)
{
  if (!(shape >= 0.0 && shape <= 1.0)) return phase;
  const double offset = (pulse ? 1.0 - shape : shape) * half;
  return (int)((double)phase + offset) & mask;
}

int OscBase::startPhaseToPhase(double cycles)
{
  double p = std::floor(range * cycles);
  if (!std::isfinite(p)) return 0;
  p = std::fmod(p, (double)range); // one reduction, whatever the number of whole cycles
  if (p < 0.0) p += range;
  return (int)p & mask;
}
