#include "OscLinFM.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

const char* const OscLinFM::labelWaveform[3] = {"Sine", "Saw", "Square"};

OscLinFM::OscLinFM(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : OscBase(config, voice, owner), fmSource(nullptr), fmLevel(0.0), fmLevelModSource(nullptr), fmLevelModAmount(0.0), fmDepth(0.0)
{
}

void OscLinFM::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, kSine, 3, labelWaveform);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 2);
  declareDouble(synth, base + 3, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 4);
  declarePitchParams(synth, base + 5);
  declareSelector(synth, base + 11);
  declareStartPhaseParams(synth, base + 12);
}

void OscLinFM::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_OSCLINFM);
}

void OscLinFM::setSampleRate(double rate)
{
  OscBase::setSampleRate(rate);
  // 2 kHz stays far below Nyquist at every supported rate; the bound only guards odd host rates.
  if (rate > 0.0 && std::isfinite(rate)) fmFilter.set(std::fmin(kFMFilterHz, 0.45 * rate), 0.0, rate);
  previousReset = 0.0;
}

void OscLinFM::setParameter(int index, double value)
{
  if (setPitchParameter(index, 5, value) || setStartPhaseParameter(index, 12, value)) return;
  switch (index) {
  case 0:
    waveform = clampToInt(std::floor(value), kSine, kSquare);
    break;
  case 1:
    fmLevel = value;
    break;
  case 2:
    fmSource = getSource((int)value, SourceDef::AUDIO_OR_MOD);
    break;
  case 3:
    fmLevelModAmount = value;
    break;
  case 4:
    fmLevelModSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 11:
    syncSource = getSource((int)value, SourceDef::SYNC);
    break;
  default:
    break;
  }
}

void OscLinFM::update(bool active)
{
  if (!active) return;
  phaseIncrement = pitchIncrement();
  // The square is a saw minus itself half a cycle behind.
  secondPhase = waveform == kSquare ? (phase - half) & mask : phase;
  wave = waveTables() + (waveform == kSine ? topTable : tableLevel(phaseIncrement)) * kTableSize;

  armReset();
  if (fmSource) fmDepth = range * fmLevel * depthFactor(fmLevelModSource, fmLevelModAmount);
}

int64_t OscLinFM::fmOffset(double y, double depth)
{
  const double product = y * depth;
  if (!(std::fabs(product) < 4611686018427387904.0)) return 0; // 2^62; also NaN and infinities
  int64_t fm = (int64_t)product % range;
  if (fm < 0) fm += range;
  return fm;
}

void OscLinFM::process()
{
  if (!wave) {
    nextAudioOut[0] = audioOut[0] = 0.0;
    nextSyncOut[0] = syncOut[0] = 0.0;
    return;
  }
  audioOut[0] = nextAudioOut[0];
  syncOut[0] = nextSyncOut[0];

  syncOrReset();

  int p1 = phase, p2 = secondPhase;
  if (fmSource) {
    double y = fmFilter.filter(*fmSource);
    if (stateBroken(y)) { // a NaN or an infinity reached the filter: it starts again from rest
      fmFilter.s1 = fmFilter.s2 = fmFilter.s3 = fmFilter.s4 = 0.0;
      y = 0.0;
    }
    const int64_t fm = fmOffset(y, fmDepth);
    // Reduced by the mask value (2^28 - 1), as stored patches have always sounded; both sums stay below 2^29.
    p1 = (int)((phase + fm) % mask);
    p2 = (int)((secondPhase + fm) % mask);
  }
  nextAudioOut[0] = waveform == kSquare ? wave[p1 >> shift] - wave[p2 >> shift] : 1.5 * wave[p1 >> shift];

  phase += phaseIncrement;
  if (phase >= range) {
    phase &= mask;
    nextSyncOut[0] = 1.0;
  } else {
    nextSyncOut[0] = 0.0;
  }
  secondPhase = (secondPhase + phaseIncrement) & mask;
}

// ---- panel ----

namespace {
// The oscillator's layout, with the linear FM input (level over its audio menu) and the modulation of its
// level in the middle rows.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(18, 24, 0, 0, {"WAVE"}),
  sources(84, 25, 11, SourceDef::SYNC, {"SYNC"}),
  knob(16, 64, 5, {"SEMI"}),
  knob(80, 64, 6, {"FINE"}),
  smallKnob(52, 120, 12, {"PHASE"}),
  sources(12, 129, 14, SourceDef::GATE, {"RESET"}),
  sources(84, 129, 13, SourceDef::MODULATION, {"PM"}),
  knob(16, 164, 1, {"LIN FM"}),
  sources(16, 212, 2, SourceDef::AUDIO),
  knob(80, 164, 3, {"MOD"}),
  sources(80, 212, 4, SourceDef::MODULATION),
  knob(16, 232, 7, {"FM 1", kRight, 0, -6}),
  knob(80, 232, 9, {"FM 2", kLeft, 0, 6}),
  sources(16, 280, 8, SourceDef::MODULATION),
  sources(80, 280, 10, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout OscLinFM::panel = {kImageModuleOsclinfm, kPanelRows};

void OscLinFM::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
