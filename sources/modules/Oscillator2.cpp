#include "Oscillator2.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

const char* const Oscillator2::labelWaveform[3] = {"Sine", "Saw", "Pulse"};

Oscillator2::Oscillator2(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : OscBase(config, voice, owner), waveformB(0), pitchB(0), tuneB(0), shapeA(0.0), shapeB(0.0), waveB(nullptr),
      pitchSumB(0), phaseB(0), secondPhaseB(0), phaseIncrementB(0)
{
}

void Oscillator2::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, kSaw, 3, labelWaveform);
  declareEnum(synth, base + 1, kSaw, 3, labelWaveform);
  declareDouble(synth, base + 2, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 3, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareInt(synth, base + 4, 0, -24, 24);
  declareInt(synth, base + 5, 0, -24, 24);
  declareInt(synth, base + 6, 0, -128, 128, setDisplayTextForTune);
  declareInt(synth, base + 7, 0, -128, 128, setDisplayTextForTune);
  declareDouble(synth, base + 8, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 9);
  declareDouble(synth, base + 10, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 11);
}

void Oscillator2::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_OSCILLATOR2);
}

void Oscillator2::setSampleRate(double rate)
{
  OscBase::setSampleRate(rate);
  phaseB = secondPhaseB = phaseIncrementB = 0;
}

void Oscillator2::setPitch2(int semitones)
{
  pitchB = semitones;
  pitchSumB = semitones * 128 + tuneB;
}

void Oscillator2::setTune2(int steps)
{
  tuneB = steps;
  pitchSumB = pitchB * 128 + steps;
}

void Oscillator2::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    waveform = clampToInt(std::floor(value), kSine, kPulse);
    break;
  case 1:
    waveformB = clampToInt(std::floor(value), kSine, kPulse);
    break;
  case 2:
    shapeA = value;
    break;
  case 3:
    shapeB = value;
    break;
  case 4:
    setPitch(clampToInt(std::floor(value), -24, 24));
    break;
  case 5:
    setPitch2(clampToInt(std::floor(value), -24, 24));
    break;
  case 6:
    setTune(clampToInt(std::floor(value), -128, 128));
    break;
  case 7:
    setTune2(clampToInt(std::floor(value), -128, 128));
    break;
  case 8:
    pitchMod1Amount = value;
    break;
  case 9:
    pitchMod1Source = getSource((int)value, SourceDef::MODULATION);
    break;
  case 10:
    pitchMod2Amount = value;
    break;
  case 11:
    pitchMod2Source = getSource((int)value, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void Oscillator2::update(bool active)
{
  if (!active) return;
  const double voice = voicePitch();
  phaseIncrement = incrementForPitch(voice + pitchSum + additive(pitchMod1Source, pitchMod1Amount));
  phaseIncrementB = incrementForPitch(voice + pitchSumB + additive(pitchMod2Source, pitchMod2Amount));

  secondPhase = shapedSecondPhase(phase, shapeA, waveform == kPulse);
  secondPhaseB = shapedSecondPhase(phaseB, shapeB, waveformB == kPulse);

  const double* tables = waveTables();
  wave = tables + (waveform == kSine ? topTable : tableLevel(phaseIncrement)) * kTableSize;
  waveB = tables + (waveformB == kSine ? topTable : tableLevel(phaseIncrementB)) * kTableSize;
}

namespace {
// One sample of one oscillator: the output of the two read points, then both phases advanced; returns
// whether the phase wrapped.
inline double step(const double* table, bool pulse, int* phase, int* secondPhase, int increment, bool* wrapped)
{
  const double a = table[*phase >> OscBase::shift];
  const double b = table[*secondPhase >> OscBase::shift];
  *phase += increment;
  *wrapped = *phase >= OscBase::range;
  if (*wrapped) *phase &= OscBase::mask;
  *secondPhase = (*secondPhase + increment) & OscBase::mask;
  return pulse ? a - b : a + 0.5 * b;
}
} // namespace

void Oscillator2::process()
{
  if (!wave) {
    nextAudioOut[0] = audioOut[0] = 0.0;
    nextSyncOut[0] = syncOut[0] = 0.0;
    return;
  }
  bool wrapped = false;
  audioOut[0] = nextAudioOut[0];
  syncOut[0] = nextSyncOut[0];
  nextAudioOut[0] = step(wave, waveform == kPulse, &phase, &secondPhase, phaseIncrement, &wrapped);
  nextSyncOut[0] = wrapped ? 1.0 : 0.0;

  if (!waveB) {
    nextAudioOut[1] = audioOut[1] = 0.0;
    nextSyncOut[1] = syncOut[1] = 0.0;
    return;
  }
  audioOut[1] = nextAudioOut[1];
  syncOut[1] = nextSyncOut[1];
  nextAudioOut[1] = step(waveB, waveformB == kPulse, &phaseB, &secondPhaseB, phaseIncrementB, &wrapped);
  nextSyncOut[1] = wrapped ? 1.0 : 0.0;
}

// ---- panel ----

namespace {
// Oscillator A in the left column, B in the right.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(4, 24, 0, 0, {"OSC A"}),
  popUp(68, 24, 1, 0, {"OSC B"}),
  knob(16, 64, 4, {"SEMI"}),
  knob(80, 64, 5, {"SEMI"}),
  knob(16, 120, 6, {"FINE"}),
  knob(80, 120, 7, {"FINE"}),
  knob(16, 176, 2, {"SHAPE"}),
  knob(80, 176, 3, {"SHAPE"}),
  knob(16, 232, 8, {"FM"}),
  knob(80, 232, 10, {"FM"}),
  sources(16, 280, 9, SourceDef::MODULATION),
  sources(80, 280, 11, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Oscillator2::panel = {kImageModuleOsc2, kPanelRows};

void Oscillator2::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
