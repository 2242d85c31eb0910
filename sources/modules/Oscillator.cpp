#include "Oscillator.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "SourceDef.h"
#include "VoiceBlock.h"

#include <cmath>

using namespace ModuleConventions;

const char* const Oscillator::labelWaveform[3] = {"Sine", "Saw", "Pulse"};

Oscillator::Oscillator(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : OscBase(config, voice, owner), shape(0.0), shapeModSource(nullptr), shapeModAmount(0.0)
{
}

void Oscillator::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, kSaw, 3, labelWaveform);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 2, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 3);
  declarePitchParams(synth, base + 4);
  declareSelector(synth, base + 10);
  declareStartPhaseParams(synth, base + 11);
}

void Oscillator::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_OSCILLATOR);
}

void Oscillator::setParameter(int index, double value)
{
  if (setPitchParameter(index, 4, value) || setStartPhaseParameter(index, 11, value)) return;
  switch (index) {
  case 0:
    waveform = (int)std::floor(value);
    break;
  case 1:
    shape = value;
    break;
  case 2:
    shapeModAmount = value;
    break;
  case 3:
    shapeModSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 10:
    syncSource = getSource((int)value, SourceDef::SYNC);
    break;
  default:
    break;
  }
}

void Oscillator::update(bool active)
{
  if (!active) return;
  phaseIncrement = pitchIncrement();

  // Shape: the distance of the second read point (half a cycle at most).
  secondPhase = shapedSecondPhase(phase, shape + additive(shapeModSource, shapeModAmount), waveform == kPulse);

  wave = waveTables() + (waveform == kSine ? topTable : tableLevel(phaseIncrement)) * kTableSize;

  armReset();
}

void Oscillator::process()
{
  if (!wave) {
    nextAudioOut[0] = audioOut[0] = 0.0;
    nextSyncOut[0] = syncOut[0] = 0.0;
    return;
  }
  audioOut[0] = nextAudioOut[0];
  syncOut[0] = nextSyncOut[0];

  syncOrReset();

  const double a = wave[phase >> shift];
  const double b = wave[secondPhase >> shift];
  nextAudioOut[0] = waveform == kPulse ? a - b : a + 0.5 * b;

  phase += phaseIncrement;
  if (phase >= range) {
    phase &= mask;
    nextSyncOut[0] = 1.0;
  } else {
    nextSyncOut[0] = 0.0;
  }
  secondPhase = (secondPhase + phaseIncrement) & mask;
}

bool Oscillator::prepareBlock(const VoiceBlock& block)
{
  if (audioOut.size() != 1 || syncOut.size() != 1 || !modOut.empty() || !gateOut.empty()) return false;
  return block.resolve(syncSource, &syncStream);
}

void Oscillator::processBlock(int n, double* record)
{
  double* const audioRecord = record;
  double* const syncRecord = record + VoiceBlock::kLength;
  if (!wave) {
    nextAudioOut[0] = audioOut[0] = 0.0;
    nextSyncOut[0] = syncOut[0] = 0.0;
    for (int i = 0; i < n; ++i) audioRecord[i] = syncRecord[i] = 0.0;
    return;
  }
  // process(), n times, on local copies of the state.
  const double* const table = wave;
  const bool pulse = waveform == kPulse;
  const int increment = phaseIncrement;
  const double* sync = syncStream.at;
  double nextAudio = nextAudioOut[0];
  double nextSync = nextSyncOut[0];
  int first = phase;
  int second = secondPhase;
  for (int i = 0; i < n; ++i) {
    audioRecord[i] = nextAudio;
    syncRecord[i] = nextSync;
    // syncOrReset
    if (sync && *sync > 0.0) {
      second = (second + range - first) & mask;
      first = 0;
    } else if (resetPending) {
      second = (second + range - first + resetPhase) & mask;
      first = resetPhase;
      resetPending = false;
    }
    if (sync) sync += syncStream.step;
    const double a = table[first >> shift];
    const double b = table[second >> shift];
    nextAudio = pulse ? a - b : a + 0.5 * b;
    first += increment;
    if (first >= range) {
      first &= mask;
      nextSync = 1.0;
    } else {
      nextSync = 0.0;
    }
    second = (second + increment) & mask;
  }
  audioOut[0] = audioRecord[n - 1];
  syncOut[0] = syncRecord[n - 1];
  nextAudioOut[0] = nextAudio;
  nextSyncOut[0] = nextSync;
  phase = first;
  secondPhase = second;
}

// ---- panel ----

namespace {
// The wavetable oscillator draws on this background too (its loader in the place of the waveform pop-up, its
// interpolation pop-up left above FM 1): the two tables caption their common places alike, and FM 1 takes
// its caption beside the knob, where neither panel has a control.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(18, 24, 0, 0, {"WAVE"}),
  sources(84, 25, 10, SourceDef::SYNC, {"SYNC"}),
  knob(16, 64, 4, {"SEMI"}),
  knob(80, 64, 5, {"FINE"}),
  smallKnob(52, 120, 11, {"PHASE"}),
  sources(12, 129, 13, SourceDef::GATE, {"RESET"}),
  sources(84, 129, 12, SourceDef::MODULATION, {"PM"}),
  knob(16, 164, 1, {"SHAPE"}),
  knob(80, 164, 2, {"MOD"}),
  sources(80, 212, 3, SourceDef::MODULATION),
  knob(16, 232, 6, {"FM 1", kRight, 0, -6}),
  knob(80, 232, 8, {"FM 2", kLeft, 0, 6}),
  sources(16, 280, 7, SourceDef::MODULATION),
  sources(80, 280, 9, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Oscillator::panel = {kImageModuleOsc, kPanelRows};

void Oscillator::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
