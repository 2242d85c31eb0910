#include "BbdDelay.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConfig.h"
#include "ModuleConventions.h"
#include "ValueControls.h"

#include <cmath>
#include <cstdio>

using namespace ModuleConventions;

const char* const BbdDelay::labelDelayRange[4] = {"1 - 8", "4 - 31", "16 - 125", "63 - 500"};

namespace {
constexpr double kButterworthQ = 0.7071067811865476;

inline double clip3(double v)
{
  return v < -3.0 ? -3.0 : (v < 3.0 ? v : 3.0);
}
} // namespace

BbdDelay::BbdDelay(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), sampleRate(0.0), cutoff(6000.0), q(0.0), hold(false), range(0), time(0.0),
      feedback(0.0), tone(0.0), inputA(nullptr), levelA(0.0), inputB(nullptr), levelB(0.0), modSource(nullptr),
      modAmount(0.0), triggerSource(nullptr), previousTrigger(0.0), buffer(nullptr), dry(0.0), wet(0.0), size(0),
      stages(0), writeIndex(0), phase(0.0), step(0.0), previousInput(0.0), shortestMs(0.0), longestMs(0.0), shownMs(0.0)
{
  BbdDelay::setSampleRate(0.0);
}

void BbdDelay::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareLevelInputs(synth, base);
  declareDouble(synth, base + 4, 0.5, 0.0, 1.0, 0.001, 1.0);
  declareEnum(synth, base + 5, 3, 4, labelDelayRange);
  declareDouble(synth, base + 6, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 7, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 8);
  declareDouble(synth, base + 9, 1.0, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 10, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDryWet);
  declareSelector(synth, base + 11);
}

void BbdDelay::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_BBDDELAY);
}

void BbdDelay::setSampleRate(double rate)
{
  sampleRate = rate;
  const int n = delaySamples(500.0, rate);
  buffer = memory.allocate((size_t)n);
  size = buffer ? n : 0;
  stages = 0;
  writeIndex = 0;
  range = 0;
  phase = 0.0;
  previousInput = 0.0;
  // Before parameter 9 arrives q is 0; the filters are set again from it before any sample runs. A q of 0
  // would divide by zero in the filter's set-up, so the set-up waits for a usable q.
  if (q > 0.0) {
    inputFilter.set(belowNyquist(cutoff, rate), q, rate);
    outputFilter.set(belowNyquist(cutoff, rate), q, rate);
  }
}

void BbdDelay::setParameter(int index, double v)
{
  switch (index) {
  case 0:
    levelA = v;
    break;
  case 1:
    inputA = getSource((int)v, SourceDef::AUDIO);
    break;
  case 2:
    levelB = v;
    break;
  case 3:
    inputB = getSource((int)v, SourceDef::AUDIO);
    break;
  case 4:
    time = v;
    shownMs.store(shortestMs + (longestMs - shortestMs) * time, std::memory_order_relaxed);
    break;
  case 5:
    range = 3 - clampToInt(std::floor(v), 0, 3);
    stages = size >> (2 * range);
    longestMs = 500.0 / (double)(1 << (2 * range));
    shortestMs = longestMs * 0.125;
    shownMs.store(shortestMs + (longestMs - shortestMs) * time, std::memory_order_relaxed);
    break;
  case 6:
    feedback = v;
    break;
  case 7:
    modAmount = v;
    break;
  case 8:
    modSource = getSource((int)v, SourceDef::MODULATION);
    break;
  case 9: {
    tone = v;
    cutoff = clampValue(6000.0 * v, 60.0, 6000.0);
    q = clampValue(kButterworthQ + (1.0 - v) * 0.19289321881345245, kButterworthQ, 0.9);
    inputFilter.set(belowNyquist(cutoff, sampleRate), q, sampleRate);
    outputFilter.set(belowNyquist(cutoff, sampleRate), q, sampleRate);
    break;
  }
  case 10: {
    const double mix = clampValue(v, 0.0, 1.0);
    dry = std::sqrt(1.0 - mix);
    wet = std::sqrt(mix);
    break;
  }
  case 11:
    triggerSource = getSource((int)v, SourceDef::GATE);
    break;
  default:
    break;
  }
}

void BbdDelay::update(bool)
{
  double t = time;
  if (modSource) {
    // The exponent is held to +-64: beyond it 2^m - 1 would overflow, and inf x 0 (amount 0) is not a
    // number. Any amount on the parameter's grid saturates t long before, so finite results are unchanged.
    const double m = clampValue(*modSource, -64.0, 64.0);
    t += (std::exp2(m) - 1.0) * modAmount;
  }
  step = 0.125 + 0.875 * clampValue(t, 0.0, 1.0);
  if (gateRose(triggerSource, &previousTrigger)) toggleHold();
}

void BbdDelay::toggleHold()
{
  bool h = hold.load(std::memory_order_relaxed);
  while (!hold.compare_exchange_weak(h, !h, std::memory_order_relaxed)) {
  }
}

void BbdDelay::process()
{
  audioOut[0] = nextAudioOut[0];
  if (!buffer || !(step >= 0.125)) return;

  double x = additive(inputA, levelA) + additive(inputB, levelB);
  x = x != x ? 0.0 : clip3(x);
  // The filter runs on the difference of successive inputs; the line takes the input interpolated at
  // each step's clock phase.
  const double d = inputFilter.filter(x - previousInput);

  const bool held = hold.load(std::memory_order_relaxed);
  // One to eight clock steps: step >= 0.125, so the phase passes 1 after at most 8 (9 with rounding).
  double y = 0.0;
  for (int n = 0; n < 10; ++n) {
    writeIndex = writeIndex > 0 ? writeIndex - 1 : size - 1;
    const double s = previousInput + phase * d;
    int k = writeIndex + stages;
    if (k >= size) k -= size;
    y = clip3(outputFilter.filter(buffer[k]));
    buffer[writeIndex] = held ? buffer[k] : s + feedback * y;
    phase += step;
    if (!(phase < 1.0)) break;
  }
  phase -= std::floor(phase);
  previousInput = x;
  nextAudioOut[0] = x * dry + y * wet;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"LEVEL A"}),
  knob(80, 24, 2, {"LEVEL B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  popUp(68, 94, 5, 0, {"RANGE", kAbove, 0, 1}),
  sources(80, 133, 11, SourceDef::GATE, {"TRIG", kLeft}),
  knob(16, 168, 7, {"TIME MOD"}),
  sources(16, 216, 8, SourceDef::MODULATION),
  knob(80, 168, 6, {"FEEDBACK"}),
  knob(16, 248, 10, {"MIX"}),
  knob(80, 248, 9, {"TONE"}),
  // The module's own: the time knob shows milliseconds, the hold switch has no parameter.
  special(knob(16, 104, 4, {"TIME"})),
  special(switchControl(73, 115, -1, kImageButtonFreeze)),
};
// clang-format on
} // namespace

const PanelLayout BbdDelay::panel = {kImageModuleDelay, kPanelRows};

void BbdDelay::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}

void BbdDelay::updateGraphics()
{
  IControl* const* specials = panelSpecials(config, 2);
  if (!specials) return;
  auto* timeKnob = dynamic_cast<ITWKnobMultiControlText*>(specials[0]);
  auto* holdSwitch = dynamic_cast<ITWSwitchControl*>(specials[1]);
  if (!timeKnob || !holdSwitch) return;

  char text[ITWKnobMultiControlText::kOverrideTextSize];
  std::snprintf(text, sizeof text, "%.0f", shownMs.load(std::memory_order_relaxed));
  timeKnob->setOverrideText(text);
  timeKnob->SetDirty(false);

  // A click has already turned the switch; the hold follows it. Otherwise the switch follows the hold,
  // which a trigger may have turned.
  if (holdSwitch->takeClicked()) {
    toggleHold();
  } else {
    holdSwitch->SetValueFromPlug(hold.load(std::memory_order_relaxed) ? 1.0 : 0.0);
    holdSwitch->SetDirty(false);
  }
}
