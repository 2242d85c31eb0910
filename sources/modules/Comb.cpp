#include "Comb.h"

#include "EditorImages.h"
#include "FilterTables.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Synth.h"
#include "Veltrane.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace ModuleConventions;

const char* const Comb::labelType[3] = {"Bypass", "Positive", "Negative"};

namespace {
constexpr int kMaxDelaySize = 1 << 20; // a rate of 16.7 MHz; beyond it the lowest frequency rises

inline double clip3(double v)
{
  return v < -3.0 ? -3.0 : (v < 3.0 ? v : 3.0);
}
} // namespace

Comb::Comb(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), minimumFrequency(kMinFrequency), pitchSource(nullptr), referencePitch(0), type(0), frequencyPitch(0), feedback(0.0), triggerSource(nullptr), cachedPitch(-1), coeffsStale(true), previousTrigger(0.0), writePos(0), readPos(0), readPos2(0), line(nullptr), numLines(1), effectiveFeedback(0.0), weight0(1.0), weight1(0.0), guard(0.0), delaySize(0), validCount(0), freq2period(FilterTables::periodTable(0.0))
{
}

Comb::~Comb()
{
  std::free(line);
}

int Comb::iMinFreq()
{
  static const int step = [] {
    int i = 0;
    while (i < kMaxPitchStep && Synth::convert2Hz(i) < kMinFrequency) ++i;
    return i;
  }();
  return step;
}

int Comb::delaySizeFor(double rate)
{
  return clampToInt(std::ceil(rate / kMinFrequency), 2, kMaxDelaySize);
}

void Comb::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, 1, 3, labelType);
  declareDouble(synth, base + 1, 0.0, 0.0, 1.0, 0.001, 0.5, setDisplayTextForCombFrequency);
  declareDouble(synth, base + 2, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareShared(base, synth);
  declareSelector(synth, base + 15);
}

void Comb::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_COMB);
}

void Comb::setDisplayTextForCombFrequency(double value, char* text)
{
  const int lo = iMinFreq();
  const double step = std::floor(lo + clampValue(value, 0.0, 1.0) * (kNumPitchSteps - lo) + 0.5);
  std::snprintf(text, IParam::kDisplayBufferSize, "%d", (int)Synth::convert2Hz((int)step));
}

void Comb::retune()
{
  referencePitch = static_cast<Synth*>(owner)->getFrequency(48);
}

void Comb::setSampleRate(double rate)
{
  freq2period = FilterTables::periodTable(rate);
  const int size = delaySizeFor(rate);
  if (!line || size != delaySize) {
    std::free(line);
    line = static_cast<double*>(std::calloc((size_t)size * numLines, sizeof(double)));
    delaySize = line ? size : 0;
  }
  // A line of the same length is reused: it reads as zeros until written again.
  clearLines();
  referencePitch = owner ? static_cast<Synth*>(owner)->getFrequency(48) : 48 * 128;
  guard = kGuardStart;
  writePos = readPos = readPos2 = 0;
  cachedPitch = -1;
  coeffsStale = true; // the read positions were reset, so they are worked out again whatever the pitch
  previousTrigger = 0.0;
}

void Comb::setFrequencySource(int* pitch)
{
  pitchSource = pitch;
}

void Comb::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    type = clampToInt(std::floor(value), 0, 2);
    break;
  case 1: {
    const int lo = iMinFreq();
    frequencyPitch = clampToInt(std::floor(lo + value * (kMaxPitchStep - lo)), lo, kMaxPitchStep);
    break;
  }
  case 2:
    feedback = value;
    break;
  case 15:
    triggerSource = getSource((int)value, SourceDef::GATE);
    break;
  default:
    setShared(this, index, value);
    break;
  }
}

void Comb::update(bool active)
{
  if (!active) return;
  const int voicePitch = pitchSource ? *pitchSource : 0;
  const int p = modulatedPitch(keyTrackedPitch(frequencyPitch, voicePitch, referencePitch));
  effectiveFeedback = modulatedParam2(feedback);
  if (gateRose(triggerSource, &previousTrigger)) clearLines();

  if ((!coeffsStale && p == cachedPitch) || delaySize < 2) return;
  coeffsStale = false;
  cachedPitch = p;
  const int lo = iMinFreq();
  const double P = freq2period[p < lo ? lo : p > kMaxPitchStep ? kMaxPitchStep : p];
  // From 16 Hz up the period is below the line's length; the clamp only guards a rate without a table.
  const int n = clampToInt(P, 1, delaySize - 1);
  double f = P - n;
  if (!(f >= 0.0)) f = 0.0;
  if (f > 1.0) f = 1.0;
  weight0 = 1.0 - f;
  weight1 = f;
  readPos = writePos + n;
  if (readPos >= delaySize) readPos -= delaySize;
  readPos2 = readPos + 1;
  if (readPos2 >= delaySize) readPos2 -= delaySize;
}

void Comb::prepareRead(double* w0, double* w1)
{
  if (writePos < 0) writePos = delaySize - 1;
  if (readPos < 0) readPos = delaySize - 1;
  if (readPos2 < 0) readPos2 = delaySize - 1;
  *w0 = weight0;
  *w1 = weight1;
  if (validCount < delaySize) {
    // Age of a position: how many samples ago it was written (delaySize for the write position itself).
    int age = readPos - writePos;
    if (age <= 0) age += delaySize;
    if (age > validCount) *w0 = 0.0;
    age = readPos2 - writePos;
    if (age <= 0) age += delaySize;
    if (age > validCount) *w1 = 0.0;
  }
}

double Comb::combSample(double in, double d, const double* ln, double w0, double w1) const
{
  const double x = drive * in - d;
  const double D = w0 * ln[readPos] + w1 * ln[readPos2];
  const double F = clip3(effectiveFeedback * D);
  return type == kPositive ? 0.5 * (x + F + D) : 0.5 * (x - F - D);
}

void Comb::advance()
{
  --writePos;
  --readPos;
  --readPos2;
  if (validCount < delaySize) ++validCount;
}

void Comb::process()
{
  audioOut[0] = nextAudioOut[0];
  const double in = inputALevel * (inputA ? *inputA : 0.0) + inputBLevel * (inputB ? *inputB : 0.0);
  if (type == kBypass) {
    nextAudioOut[0] = in;
    return;
  }
  if (!line) {
    nextAudioOut[0] = 0.0;
    return;
  }
  double w0, w1;
  prepareRead(&w0, &w1);
  const double d = nextGuard(&guard);
  double y = combSample(in, d, line, w0, w1);
  const bool broken = stateBroken(y);
  if (broken) y = 0.0;
  line[writePos] = y;
  advance();
  if (broken) clearLines(); // the line only ever holds finite samples
  nextAudioOut[0] = y * reciprocalDrive;
}

// ---- stereo ----

StereoComb::StereoComb(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Comb(config, voice, owner), lineRight(nullptr)
{
  numLines = 2;
}

void StereoComb::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_STEREOCOMB);
}

void StereoComb::setSampleRate(double rate)
{
  Comb::setSampleRate(rate);
  lineRight = line ? line + delaySize : nullptr;
}

void StereoComb::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double inL = inputALevel * (inputA ? *inputA : 0.0);
  const double inR = inputBLevel * (inputB ? *inputB : 0.0);
  if (type == kBypass) {
    nextAudioOut[0] = inL;
    nextAudioOut[1] = inR;
    return;
  }
  if (!line) {
    nextAudioOut[0] = nextAudioOut[1] = 0.0;
    return;
  }
  double w0, w1;
  prepareRead(&w0, &w1);
  const double d = nextGuard(&guard);
  double l = combSample(inL, d, line, w0, w1);
  double r = combSample(inR, d, lineRight, w0, w1);
  const bool broken = stateBroken(l + r);
  if (broken) l = r = 0.0;
  line[writePos] = l;
  lineRight[writePos] = r;
  advance();
  if (broken) clearLines();
  nextAudioOut[0] = l * reciprocalDrive;
  nextAudioOut[1] = r * reciprocalDrive;
}

// ---- panel ----

namespace {
// The ladder's layout down to the frequency; then the feedback modulation as a small knob with its source
// and the clearing trigger stacked below it, key tracking, and the frequency modulations.
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 3, {"IN A"}),
  smallKnob(52, 46, 11, {"DRIVE"}),
  knob(80, 24, 5, {"IN B"}),
  sources(16, 72, 4, SourceDef::AUDIO),
  sources(80, 72, 6, SourceDef::AUDIO),
  popUp(3, 90, 0),
  knob(80, 104, 2, {"FEEDBACK"}),
  knob(16, 124, 1, {"FREQ"}),
  smallKnob(84, 156, 13, {"FB MOD", kLeft}),
  sources(80, 194, 14, SourceDef::MODULATION),
  sources(80, 208, 15, SourceDef::GATE, {"CLEAR", kLeft}),
  smallKnob(20, 188, 12, {"KEY TRACK"}),
  knob(16, 232, 7, {"FM 1", kRight}),
  knob(80, 232, 9, {"FM 2"}),
  sources(16, 280, 8, SourceDef::MODULATION),
  sources(80, 280, 10, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Comb::panel = {kImageModuleComb, kPanelRows};
const PanelLayout StereoComb::panel = {kImageModuleStcomb, kPanelRows};

void Comb::createCommonGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelControls(config, x, y, base, panel);
}

void Comb::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  createCommonGraphics(config, x, y, base);
}

void StereoComb::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  Comb::createCommonGraphics(config, x, y, base);
}
