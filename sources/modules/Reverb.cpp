#include "Reverb.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

#include <cmath>

using namespace ModuleConventions;

const double Reverb::nominalMs[kNumRecords] = {200, 200, 98, 100, 33, 32, 11, 10, 37, 39, 43, 41, 49, 47, 53, 51};

namespace {
constexpr double kQ = 0.7071067811865476;

// Buffer size of each record at a rate: the predelays hold their nominal 200 ms, the others twice theirs.
int recordSize(int r, double rate)
{
  return delaySamples(r < Reverb::kAllpass1 ? Reverb::nominalMs[r] : 2.0 * Reverb::nominalMs[r], rate);
}

// Every buffer is read and written through the lazy clear (DelayRecord::getFilled), so that a rest empties
// them all without a pass over their memory on the audio thread.

// Diffuser: d = buf[read]; w = y - g d stored; g w + d out. A missing buffer reads 0 and stores nothing.
inline double allpass(DelayRecord& r, double y, double g)
{
  const double d = r.size ? r.getFilled() : 0.0;
  const double w = y - g * d;
  if (r.size) r.putFilled(w);
  return g * w + d;
}

// One line: its read r is returned; the damped feedback plus the diffused input is stored.
inline double line(DelayRecord& r, Biquad& damping, double fb, double a)
{
  const double v = r.size ? r.getFilled() : 0.0;
  const double f = damping.filter(fb * v);
  if (r.size) r.putFilled(f + a);
  return v;
}

// Predelay: y stored, and what was stored `delay` samples ago returned (y itself for a delay of 0). A
// missing buffer returns 0.
inline double predelay(DelayRecord& r, double y)
{
  if (!r.size) return 0.0;
  const double out = r.delay == 0 ? y : r.getFilled();
  r.putFilled(y);
  return out;
}
} // namespace

Reverb::Reverb(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), sampleRate(0.0), inputA(nullptr), levelA(0.0), inputB(nullptr), levelB(0.0),
      g(0.0), fb{0.0, 0.0, 0.0, 0.0}, cross(0.0), dry(0.0), wet(0.0), stereo(false), predelayOn(false)
{
  Reverb::setSampleRate(0.0);
}

void Reverb::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareLevelInputs(synth, base);
  declareDouble(synth, base + 4, 0.0, 0.0, 200.0, 1.0, 1.0);
  declareDouble(synth, base + 5, 0.5, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 6, 0.5, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 7, 0.5, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 8, 0.5, 0.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 9, 0.1, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDryWet);
  declareEnum(synth, base + 10, 0, 2, labelStereo);
}

void Reverb::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_REVERB);
}

void Reverb::setSampleRate(double rate)
{
  sampleRate = rate;
  int sizes[kNumRecords];
  size_t total = 0;
  for (int r = 0; r < kNumRecords; ++r) {
    sizes[r] = recordSize(r, rate);
    total += (size_t)sizes[r];
  }
  double* block = memory.allocate(total);
  for (int r = 0; r < kNumRecords; ++r) {
    rec[r].attach(block, block ? sizes[r] : 0);
    if (block) block += sizes[r];
  }
  for (Biquad& f : lowpass) f.set(belowNyquist(5000.0, rate), kQ, rate);
}

void Reverb::rest()
{
  Module::rest();
  // On the audio thread, at a control tick: the buffers (1.3 MB at 96 kHz, in every voice) are emptied
  // lazily rather than written over.
  for (DelayRecord& r : rec) r.clearLazily();
  for (Biquad& f : lowpass) f.x1 = f.x2 = f.y1 = f.y2 = 0.0;
}

void Reverb::setParameter(int index, double v)
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
  case 4: {
    predelayOn = v > 0.0;
    const int d = delaySamples(v, sampleRate);
    rec[kPredelay].setDelay(d);
    rec[kPredelay + 1].setDelay(d);
    break;
  }
  case 5: {
    // Samples per nominal ms: the diffusers follow the square of the size, the lines the size itself;
    // both run from half (0) to twice (1) the nominal length.
    const double fA = std::exp2(2.0 * v * v - 1.0) * sampleRate / 1000.0;
    const double fL = std::exp2(2.0 * v - 1.0) * sampleRate / 1000.0;
    for (int r = kAllpass1; r < kLine1; ++r) rec[r].setDelay(clampToInt(nominalMs[r] * fA, 0, 1 << 26));
    for (int r = kLine1; r < kNumRecords; ++r) rec[r].setDelay(clampToInt(nominalMs[r] * fL, 0, 1 << 26));
    break;
  }
  case 6: {
    const double cutoff = 5000.0 * (1.0 - 0.98 * std::sqrt(clampValue(v, 0.0, 1.0)));
    for (Biquad& f : lowpass) f.set(belowNyquist(cutoff, sampleRate), kQ, sampleRate);
    break;
  }
  case 7:
    g = 0.5 + 0.45 * v;
    fb[0] = 0.76 + 0.2 * v;
    fb[1] = 0.73 + 0.2 * v;
    fb[2] = 0.70 + 0.2 * v;
    fb[3] = 0.67 + 0.2 * v;
    break;
  case 8:
    cross = 1.0 - v;
    break;
  case 9:
    dry = 1.0 - v;
    wet = v;
    break;
  case 10:
    stereo = v >= 0.5;
    break;
  default:
    break;
  }
}

void Reverb::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  if (!inputA && !inputB) {
    nextAudioOut[0] = nextAudioOut[1] = 0.0;
    return;
  }
  // A sample that is not a number would circulate in the lines for good: it enters as silence.
  const double xA = inputA ? finiteOrZero(levelA * *inputA) : 0.0;
  const double xB = inputB ? finiteOrZero(levelB * *inputB) : 0.0;
  if (stereo)
    processStereo(xA, xB);
  else
    processMono(xA, xB);
}

void Reverb::processStereo(double xA, double xB)
{
  double sum[2];
  const double x[2] = {xA, xB};
  for (int side = 0; side < 2; ++side) {
    DelayRecord& pre = rec[kPredelay + side];
    double y = x[side];
    if (predelayOn) y = predelay(pre, y);
    for (int k = 0; k < 3; ++k) y = allpass(rec[kAllpass1 + 2 * k + side], y, g);
    double s = 0.0;
    for (int j = 0; j < 4; ++j) s += line(rec[kLine1 + 2 * j + side], lowpass[2 * j + side], fb[j], y);
    sum[side] = s;
    pre.step();
    for (int k = 0; k < 3; ++k) rec[kAllpass1 + 2 * k + side].step();
    for (int j = 0; j < 4; ++j) rec[kLine1 + 2 * j + side].step();
  }
  nextAudioOut[0] = (sum[0] + cross * sum[1]) * wet + xA * dry;
  nextAudioOut[1] = (sum[1] + cross * sum[0]) * wet + xB * dry;
}

void Reverb::processMono(double xA, double xB)
{
  const double x = xA + xB;
  DelayRecord& pre = rec[kPredelay];
  double y = x;
  if (predelayOn) y = predelay(pre, y);
  for (int k = 0; k < 3; ++k) y = allpass(rec[kAllpass1 + 2 * k], y, g);
  double sumL = 0.0, sumR = 0.0;
  for (int j = 0; j < 4; ++j) {
    sumL += line(rec[kLine1 + 2 * j], lowpass[2 * j], fb[j], y);
    sumR += line(rec[kLine1 + 2 * j + 1], lowpass[2 * j + 1], fb[j], y);
  }
  // The right predelay and diffusers stand still until stereo mode uses them again.
  pre.step();
  for (int k = 0; k < 3; ++k) rec[kAllpass1 + 2 * k].step();
  for (int r = kLine1; r < kNumRecords; ++r) rec[r].step();
  nextAudioOut[0] = (sumL + cross * sumR) * wet + x * dry;
  nextAudioOut[1] = (sumR + cross * sumL) * wet + x * dry;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"IN A"}),
  switchControl(60, 32, 10, kImageSwitch2Orange, {"STEREO", kAbove, 0, -18}),
  knob(80, 24, 2, {"IN B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  knob(16, 104, 4, {"PREDELAY"}),
  knob(80, 104, 5, {"SIZE"}),
  knob(16, 176, 6, {"DAMP"}),
  knob(80, 176, 7, {"DECAY"}),
  knob(16, 248, 8, {"WIDTH"}),
  knob(80, 248, 9, {"MIX"}),
};
// clang-format on
} // namespace

const PanelLayout Reverb::panel = {kImageModuleReverb, kPanelRows};

void Reverb::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
