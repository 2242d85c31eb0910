#include "OscFormant.h"

#include "EditorImages.h"
#include "IControl.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"
#include "SourceDef.h"
#include "Synth.h"

#include <cmath>
#include <cstdio>
#include <memory>

using namespace ModuleConventions;

const char* const OscFormant::labelMode[3] = {"Fixed", "Partial", "Ring"};

namespace {
// Pitch steps of formant modulation per unit of amount times source: 60 semitones.
constexpr double kFormantModSteps = 7681.0;
// The ratio modulation multiplies the ratio by 50 per unit; beyond 50^20 every formant is above the top.
constexpr double kRatioModLimit = 20.0;

template <class F> std::unique_ptr<double[]> buildTable(F f)
{
  std::unique_ptr<double[]> t(new double[OscFormant::kTableSize]);
  for (int i = 0; i < OscFormant::kTableSize; ++i) t[i] = f(i);
  return t;
}

// trunc(phase * multiplier) within one cycle. While the formant sounds the product is below 2^43 and
// exact; a multiplier left from a silent setting is kept out of the integer conversion.
inline int phaseTimes(int phase, double multiplier)
{
  const double p = (double)phase * multiplier;
  if (!(std::fabs(p) < 4611686018427387904.0)) return 0;
  return (int)((int64_t)p & OscBase::mask);
}
} // namespace

const double* OscFormant::carrierTable()
{
  static const std::unique_ptr<double[]> t = buildTable([](int i) {
    const double s = std::sin(3.141592653589793 * i / kTableSize);
    return 4095.0 * s * s;
  });
  return t.get();
}

const double* OscFormant::waveShapeTable()
{
  static const std::unique_ptr<double[]> t = buildTable([](int i) { return std::exp(-10.0 * i / kTableSize); });
  return t.get();
}

const double* OscFormant::sineTable()
{
  static const std::unique_ptr<double[]> t =
      buildTable([](int i) { return std::sin(6.283185307179586 * i / kTableSize); });
  return t.get();
}

OscFormant::OscFormant(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : OscBase(config, voice, owner), mode(kFixed), shownMode(kFixed), formantPitch(0.0), ratio(0.0), width(0.0),
      formantMod1Source(nullptr), formantMod1PitchAmount(0.0), formantMod1RatioAmount(0.0),
      formantMod2Source(nullptr), formantMod2PitchAmount(0.0), formantMod2RatioAmount(0.0), updatePending(false),
      effectiveRatio(0.0), multiplier(0.0), formantPhase(0), formantIncrement(0), gainLower(0.0), gainUpper(0.0),
      tfCarrier(carrierTable()), tfWaveShape(waveShapeTable()), tfSine(sineTable())
{
}

void OscFormant::setDisplayTextForRange(double value, char* text)
{
  const int step = clampToInt(std::floor(value * 15873 + 0.5), -20000, 20000);
  std::snprintf(text, IParam::kDisplayBufferSize, "%d", (int)Synth::convert2Hz(step));
}

void OscFormant::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, kFixed, 3, labelMode);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.001, 0.5, setDisplayTextForRange);
  declareDouble(synth, base + 2, 1.0, 1.0, 50.0, 0.01, 2.0);
  declareDouble(synth, base + 3, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 4, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 5);
  declareDouble(synth, base + 6, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 7);
  declarePitchParams(synth, base + 8);
}

void OscFormant::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_OSCFORMANT);
}

void OscFormant::setParameter(int index, double value)
{
  if (setPitchParameter(index, 8, value)) return;
  switch (index) {
  case 0:
    mode = clampToInt(std::floor(value), kFixed, kRing);
    shownMode.store(mode, std::memory_order_relaxed);
    break;
  case 1:
    formantPitch = std::floor(clampValue(value, 0.0, 1.0) * kMaxFormantStep);
    break;
  case 2:
    ratio = clampValue(value, 0.0, 50.0);
    break;
  case 3:
    width = clampValue(value, 0.0, 1.0);
    break;
  case 4:
    formantMod1PitchAmount = value * kFormantModSteps;
    formantMod1RatioAmount = value;
    break;
  case 5:
    formantMod1Source = getSource((int)value, SourceDef::MODULATION);
    break;
  case 6:
    formantMod2PitchAmount = value * kFormantModSteps;
    formantMod2RatioAmount = value;
    break;
  case 7:
    formantMod2Source = getSource((int)value, SourceDef::MODULATION);
    break;
  default:
    break;
  }
}

void OscFormant::update(bool)
{
  if (phaseIncrement == 0)
    phaseAlignedUpdate();
  else
    updatePending = true;
}

void OscFormant::phaseAlignedUpdate()
{
  updatePending = false;
  phaseIncrement = pitchIncrement();
  const double top = freq2PhInc[kMaxPitchStep];
  const double increment = phaseIncrement;
  if (!(increment > 0.0)) { // no usable sample rate: nothing can sound
    gainLower = gainUpper = 0.0;
    return;
  }

  double r;
  if (mode == kFixed) {
    const double f = formantPitch + additive(formantMod1Source, formantMod1PitchAmount) +
                     additive(formantMod2Source, formantMod2PitchAmount);
    r = freq2PhInc[clampToInt(f, 0, kMaxFormantStep)] / increment;
  } else {
    const double e = additive(formantMod1Source, formantMod1RatioAmount) +
                     additive(formantMod2Source, formantMod2RatioAmount);
    r = ratio * std::pow(50.0, clampValue(e, -kRatioModLimit, kRatioModLimit));
  }
  effectiveRatio = r;

  if (mode == kRing) {
    const double inc = increment * r;
    if (inc <= top) {
      formantIncrement = (int)inc;
      multiplier = r;
      gainLower = 1.0;
    } else {
      gainLower = 0.0; // above the top: silent, the multiplier stays as it was
    }
    gainUpper = 0.0;
    return;
  }

  const double n = std::floor(r);
  const double inc = increment * n; // compared with the top before it becomes an int
  if (inc > top) {
    gainLower = gainUpper = 0.0;
    formantIncrement = 0;
    multiplier = 0.0;
    return;
  }
  formantIncrement = (int)inc;
  multiplier = n;
  if (increment + inc > top) { // harmonic n + 1 would pass the top
    gainLower = 1.0;
    gainUpper = 0.0;
  } else if (r < 1.0) {
    gainLower = 0.0;
    gainUpper = r < 0.5 ? 0.0 : 2.0 * r - 1.0;
  } else {
    gainUpper = r - n;
    gainLower = 1.0 - gainUpper;
  }
}

void OscFormant::process()
{
  audioOut[0] = nextAudioOut[0];
  nextAudioOut[0] = 0.0;

  double s = gainLower * tfSine[formantPhase >> shift];
  // Harmonic n + 1: the lower partial's phase plus the fundamental's.
  if (mode != kRing) s += gainUpper * tfSine[((phase + formantPhase) & mask) >> shift];
  if (s != 0.0) nextAudioOut[0] = s * tfWaveShape[(int)(width * tfCarrier[phase >> shift])];

  phase += phaseIncrement;
  if (phase >= range) {
    phase &= mask;
    if (updatePending) phaseAlignedUpdate();
    // The partials restart in step with the fundamental. The ring sine runs free: it advances in this
    // sample like in any other, or it would lose one sample per cycle and play flat by f0 / rate.
    if (mode != kRing) {
      formantPhase = phaseTimes(phase, multiplier);
      return;
    }
  }
  formantPhase = (formantPhase + formantIncrement) & mask;
}

// ---- panel ----

namespace {
// The formant frequency (Fixed) and the ratio (Partial, Ring) share one place at the top left; the module
// shows the one its mode uses, so both are special controls, in this order, and the ratio starts hidden.
// clang-format off
const PanelControl kPanelRows[] = {
  popUp(3, 11, 0), // no room for a caption beside the width's; its texts name the modes
  knob(80, 28, 3, {"WIDTH"}),
  knob(16, 86, 4, {"MOD 1"}),
  knob(80, 86, 6, {"MOD 2"}),
  sources(16, 132, 5, SourceDef::MODULATION),
  sources(80, 132, 7, SourceDef::MODULATION),
  knob(16, 168, 8, {"SEMI"}),
  knob(80, 168, 9, {"FINE"}),
  knob(16, 232, 10, {"FM 1"}),
  knob(80, 232, 12, {"FM 2"}),
  sources(16, 280, 11, SourceDef::MODULATION),
  sources(80, 280, 13, SourceDef::MODULATION),
  special(knob(16, 28, 1, {"FREQ", kRight})),
  hidden(special(knob(16, 28, 2, {"FREQ", kRight}))),
};
// clang-format on
constexpr int kSpecialKnobs = 2;
} // namespace

const PanelLayout OscFormant::panel = {kImageModuleOscformant, kPanelRows};

void OscFormant::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void OscFormant::updateGraphics()
{
  IControl* const* knobs = panelSpecials(config, kSpecialKnobs);
  if (!knobs) return;
  const bool fixed = shownMode.load(std::memory_order_relaxed) == kFixed;
  knobs[0]->Hide(!fixed);
  knobs[1]->Hide(fixed);
}
