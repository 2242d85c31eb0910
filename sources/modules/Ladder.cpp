#include "Ladder.h"

#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Synth.h"
#include "Veltrane.h"
#include "VoiceBlock.h"

#include <cmath>
#include <emmintrin.h>

using namespace ModuleConventions;

const char* const Ladder::labelType[15] = {"Bypass", "LP 24", "LP 18", "LP 12", "LP 6",  "HP 24", "HP 18", "HP 12",
                                           "HP 6",   "BP 12", "BP 6",  "AP 24", "AP 18", "AP 12", "AP 6"};

namespace {
// Kind of stage and output tap of each type (type 0, the bypass, never filters).
struct TypeRoute
{
  int kind;
  int tap;
};
const TypeRoute kRoutes[15] = {{0, 0}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2},
                               {1, 3}, {2, 0}, {2, 2}, {3, 0}, {3, 1}, {3, 2}, {3, 3}};

// What an input without a source reads in a run.
const double kSilence = 0.0;

inline double clip(double v)
{
#ifdef VELTRANE_REFERENCE_RENDER
  return v < -1.0 ? -1.0 : (v < 1.0 ? v : 1.0);
#else
  // The same value without branches: minsd gives v < 1 ? v : 1 (1 for a NaN), maxsd then u > -1 ? u : -1.
  const __m128d upper = _mm_min_sd(_mm_set_sd(v), _mm_set_sd(1.0));
  return _mm_cvtsd_f64(_mm_max_sd(upper, _mm_set_sd(-1.0)));
#endif
}
} // namespace

Ladder::Ladder(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), pitchSource(nullptr), referencePitch(0), type(0), cutoffPitch(0), resonance(0.0), trackedPitch(0), cutoffSum(0.0), kind(0), tap(0), g(0.0), gh(0.0), a(0.0), G4(0.0), k(0.0), n(0.0), c(0.0), coeffsSettled(false), cachedPitch(0), cachedResonance(0.0), guard(0.0), s{0.0, 0.0, 0.0, 0.0}, freq2rad(radiansTable(0.0))
{
}

void Ladder::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareEnum(synth, base + 0, 1, 15, labelType);
  declareDouble(synth, base + 1, 1.0, 0.0, 1.0, 0.001, 0.5, setDisplayTextForFrequency);
  declareDouble(synth, base + 2, 0.0, 0.0, 1.0, 0.01, 1.0);
  declareShared(base, synth);
}

void Ladder::setSampleRate(double rate)
{
  freq2rad = radiansTable(rate);
  referencePitch = owner ? static_cast<Synth*>(owner)->getFrequency(48) : 48 * 128;
  trackPitch(trackedPitch);
  guard = kGuardStart;
  reset();
}

void Ladder::setFrequencySource(int* pitch)
{
  coeffsSettled = false;
  pitchSource = pitch;
  trackPitch(pitch ? *pitch : 0);
}

void Ladder::trackPitch(int voicePitch)
{
  trackedPitch = voicePitch;
  cutoffSum = keyTrackedPitch(cutoffPitch, voicePitch, referencePitch);
}

void Ladder::startStages(double* st)
{
  st[0] = 0.0;
  st[1] = 1.0;
  st[2] = 0.0;
  st[3] = -1.0;
}

void Ladder::reset()
{
  startStages(s);
  g = gh = a = G4 = 0.0;
  coeffsSettled = false;
  cachedPitch = -1;
  cachedResonance = -1.0;
}

void Ladder::setParameter(int index, double value)
{
  coeffsSettled = false;
  switch (index) {
  case 0:
    type = (int)value;
    kind = type >= 0 && type < 15 ? kRoutes[type].kind : 0;
    tap = type >= 0 && type < 15 ? kRoutes[type].tap : 0;
    reset();
    break;
  case 1:
    cutoffPitch = (int)std::floor(value * kMaxPitchStep);
    trackPitch(trackedPitch);
    break;
  case 2:
    resonance = value;
    cachedPitch = -1;
    break;
  default:
    if (setShared(this, index, value) && index == 12) trackPitch(trackedPitch);
    break;
  }
}

inline void Ladder::refreshCoeff()
{
#ifndef VELTRANE_REFERENCE_RENDER
  if (coeffsSettled && (pitchSource ? *pitchSource : 0) == trackedPitch) return;
#endif
  calculateCoeff();
}

void Ladder::calculateCoeff()
{
  const int voicePitch = pitchSource ? *pitchSource : 0;
  if (voicePitch != trackedPitch) trackPitch(voicePitch);
  // The table index is clamped below, the cache compares the unclamped pitch.
  const int p = modulatedPitch(cutoffSum);
  const double r = modulatedParam2(resonance);

  // Without modulation sources only the voice pitch moves the coefficients, and it moves at control ticks.
  coeffsSettled = !mod1Source && !mod2Source && !param2ModSource;
  if (p == cachedPitch && r == cachedResonance) return;
  cachedPitch = p;
  cachedResonance = r;

  k = 4.1 * r;
  c = 2.0 - (1.0 - r) * (1.0 - r);
  const double w = freq2rad[clampPitchStep(p)];
  const double m = 1.0 / (2.0 + w);
  a = (w - 2.0) * m;
  switch (kind) {
  case kLowpass:
    g = w * m;
    G4 = (g * g) * (g * g);
    n = 1.0 / (1.0 + k * G4);
    break;
  case kHighpass:
    g = 2.0 * m;
    G4 = (g * g) * (g * g);
    n = 1.0 / (1.0 + k * G4);
    break;
  case kBandpass:
    g = w * m;
    gh = 2.0 * m;
    G4 = (gh * g) * (gh * g);
    n = 1.0 / (1.0 - k * G4);
    break;
  default: // all-pass
    G4 = (a * a) * (a * a);
    k = r;
    n = 1.0 / (1.0 + r * G4);
    c = 1.0;
    break;
  }
}

__attribute__((always_inline)) inline double Ladder::filterSample(double in, double d, double* st) const
{
  return filterSample(in, d, st, kind, tap);
}

__attribute__((always_inline)) inline double Ladder::filterSample(double in, double d, double* st, int kindOf,
                                                                  int tapOf) const
{
  const double x = drive * in - d;
  const double t1 = st[0] - d, t2 = st[1] - d, t3 = st[2] - d, t4 = st[3] - d;
  double y, y1, y2, y3, v;
  // A high-pass stage differs only in the sign of the input's share of its state (a constant in each case
  // below, so that neither multiplies by it).
  const auto lowOrHighPass = [&](const double sign) {
    const double S = ((t1 * g + t2) * g + t3) * g + t4;
    y = (G4 * x + S) * n;
    const double u = x - k * clip(y);
    v = g * u;
    y1 = t1 + v;
    st[0] = sign * v - a * y1;
    v = g * y1;
    y2 = t2 + v;
    st[1] = sign * v - a * y2;
    v = g * y2;
    y3 = t3 + v;
    st[2] = sign * v - a * y3;
    v = g * y3;
    const double y4 = t4 + v;
    st[3] = sign * v - a * y4;
  };
  switch (kindOf) {
  case kLowpass:
    lowOrHighPass(1.0);
    break;
  case kHighpass:
    lowOrHighPass(-1.0);
    break;
  case kBandpass: {
    // Low-pass stages 1 and 3 (gain g), high-pass stages 2 and 4 (gain gh); the feedback is added.
    const double S = ((t1 * gh + t2) * g + t3) * gh + t4;
    y = (G4 * x + S) * n;
    const double u = x + k * clip(y);
    v = g * u;
    y1 = t1 + v;
    st[0] = v - a * y1;
    v = gh * y1;
    y2 = t2 + v;
    st[1] = -v - a * y2;
    v = g * y2;
    y3 = t3 + v;
    st[2] = v - a * y3;
    v = gh * y3;
    const double y4 = t4 + v;
    st[3] = -v - a * y4;
    break;
  }
  default: { // all-pass stages (a + z^-1) / (1 + a z^-1)
    const double S = ((t1 * a + t2) * a + t3) * a + t4;
    y = (G4 * x + S) * n;
    const double u = x - k * clip(y);
    y1 = a * u + t1;
    st[0] = u - a * y1;
    y2 = a * y1 + t2;
    st[1] = y1 - a * y2;
    y3 = a * y2 + t3;
    st[2] = y2 - a * y3;
    const double y4 = a * y3 + t4;
    st[3] = y3 - a * y4;
    break;
  }
  }
  // Tap 0 is the loop's four-stage output as solved with the unclipped feedback.
  const double out = tapOf == 0 ? y : tapOf == 1 ? y3 : tapOf == 2 ? y2 : y1;
  return out * reciprocalDrive * c;
}

void Ladder::process()
{
  audioOut[0] = nextAudioOut[0];
#ifndef VELTRANE_REFERENCE_RENDER
  // The same steps, with the coefficients brought up to date before the inputs are read: nothing is held
  // across that call, so the per-sample path saves nothing on the stack.
  if (type != 0) {
    if (!coeffsSettled || (pitchSource ? *pitchSource : 0) != trackedPitch) calculateCoeff();
    const double inA = inputA ? *inputA : 0.0;
    const double inB = inputB ? *inputB : 0.0;
    const double d = nextGuard(&guard);
    const double y = filterSample(inputALevel * inA + inputBLevel * inB, d, s);
    if (stateBroken(y)) {
      startStages(s);
      nextAudioOut[0] = 0.0;
      return;
    }
    nextAudioOut[0] = y;
    return;
  }
#endif
  const double inA = inputA ? *inputA : 0.0;
  const double inB = inputB ? *inputB : 0.0;
  if (type == 0) {
    nextAudioOut[0] = inputALevel * inA + inputBLevel * inB;
    return;
  }
  refreshCoeff();
  const double d = nextGuard(&guard);
  const double y = filterSample(inputALevel * inA + inputBLevel * inB, d, s);
  if (stateBroken(y)) {
    startStages(s);
    nextAudioOut[0] = 0.0;
    return;
  }
  nextAudioOut[0] = y;
}

bool Ladder::prepareBlock(const VoiceBlock& block)
{
  if (audioOut.size() != 1 || !modOut.empty() || !gateOut.empty() || !syncOut.empty()) return false;
  // The coefficients read their modulation through the sources themselves: only values that hold still
  // during the run will do.
  for (const double* source : {mod1Source, mod2Source, param2ModSource}) {
    Stream modulation;
    if (!block.resolve(source, &modulation) || modulation.step != 0) return false;
  }
  return block.resolve(inputA, &streamA) && block.resolve(inputB, &streamB);
}

void Ladder::processBlock(int n, double* __restrict record)
{
  const double* a = streamA.at;
  const double* b = streamB.at;
  double next = nextAudioOut[0];
  if (type == 0) {
    for (int i = 0; i < n; ++i) {
      record[i] = next;
      next = inputALevel * (a ? *a : 0.0) + inputBLevel * (b ? *b : 0.0);
      if (a) a += streamA.step;
      if (b) b += streamB.step;
    }
  } else {
    // process(), n times: the coefficients' inputs hold still during the run, so the first sample's refresh
    // is the only one that can change them.
    if (!coeffsSettled || (pitchSource ? *pitchSource : 0) != trackedPitch) calculateCoeff();
    double st[4] = {s[0], s[1], s[2], s[3]};
    double d = guard;
    for (int i = 0; i < n; ++i) {
      record[i] = next;
      const double inA = a ? *a : 0.0;
      const double inB = b ? *b : 0.0;
      const double y = filterSample(inputALevel * inA + inputBLevel * inB, d, st);
      d = -d;
      if (stateBroken(y)) {
        startStages(st);
        next = 0.0;
      } else {
        next = y;
      }
      if (a) a += streamA.step;
      if (b) b += streamB.step;
    }
    for (int j = 0; j < 4; ++j) s[j] = st[j];
    guard = d;
  }
  audioOut[0] = record[n - 1];
  nextAudioOut[0] = next;
}

bool Ladder::processBlockGroup(Module* const* modules, int count, int n, double* const* records)
{
  if (count < 2 || count > VoiceBlock::kGroup) return false;
  Ladder* group[VoiceBlock::kGroup];
  for (int j = 0; j < count; ++j) {
    group[j] = static_cast<Ladder*>(modules[j]);
    if (group[j]->type == 0 || group[j]->kind != group[0]->kind || group[j]->tap != group[0]->tap) return false;
  }
  for (int j = 0; j < count; ++j) {
    Ladder& f = *group[j];
    if (!f.coeffsSettled || (f.pitchSource ? *f.pitchSource : 0) != f.trackedPitch) f.calculateCoeff();
  }
  switch (count * 4 + group[0]->kind) {
#define VELTRANE_LADDER_GROUP(c)                                                                                       \
  case c * 4 + kLowpass:                                                                                               \
    filterGroup<c, kLowpass>(group, n, records);                                                                       \
    return true;                                                                                                       \
  case c * 4 + kHighpass:                                                                                              \
    filterGroup<c, kHighpass>(group, n, records);                                                                      \
    return true;                                                                                                       \
  case c * 4 + kBandpass:                                                                                              \
    filterGroup<c, kBandpass>(group, n, records);                                                                      \
    return true;                                                                                                       \
  case c * 4 + kAllpass:                                                                                               \
    filterGroup<c, kAllpass>(group, n, records);                                                                       \
    return true;
    VELTRANE_LADDER_GROUP(2)
    VELTRANE_LADDER_GROUP(3)
    VELTRANE_LADDER_GROUP(4)
#undef VELTRANE_LADDER_GROUP
  default:
    return false;
  }
}

template <int count, int kindOf> void Ladder::filterGroup(Ladder* const* group, int n, double* const* records)
{
  // processBlock's loop for each filter, the filters taking turns at every sample.
  const int tapOf = group[0]->tap;
  double st[count][4], d[count], next[count];
  const double *a[count], *b[count];
  int stepA[count], stepB[count];
  double* out[count];
  for (int j = 0; j < count; ++j) {
    const Ladder& f = *group[j];
    for (int e = 0; e < 4; ++e) st[j][e] = f.s[e];
    d[j] = f.guard;
    next[j] = f.nextAudioOut[0];
    // An input without a source reads 0.0 from kSilence, as process() takes 0.0 for it.
    a[j] = f.streamA.at ? f.streamA.at : &kSilence;
    b[j] = f.streamB.at ? f.streamB.at : &kSilence;
    stepA[j] = f.streamA.step;
    stepB[j] = f.streamB.step;
    out[j] = records[j];
  }
  for (int i = 0; i < n; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < count; ++j) {
      const Ladder& f = *group[j];
      out[j][i] = next[j];
      const double y = f.filterSample(f.inputALevel * *a[j] + f.inputBLevel * *b[j], d[j], st[j], kindOf, tapOf);
      d[j] = -d[j];
      if (stateBroken(y)) {
        startStages(st[j]);
        next[j] = 0.0;
      } else {
        next[j] = y;
      }
      a[j] += stepA[j]; // a null source has step 0
      b[j] += stepB[j];
    }
  }
  for (int j = 0; j < count; ++j) {
    Ladder& f = *group[j];
    for (int e = 0; e < 4; ++e) f.s[e] = st[j][e];
    f.guard = d[j];
    f.audioOut[0] = out[j][n - 1];
    f.nextAudioOut[0] = next[j];
  }
}

// ---- stereo ----

StereoLadder::StereoLadder(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Ladder(config, voice, owner), sLeft{0.0, 0.0, 0.0, 0.0}, sRight{0.0, 0.0, 0.0, 0.0}
{
}

void StereoLadder::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_STEREOLADDER);
}

void StereoLadder::reset()
{
  Ladder::reset();
  startStages(sLeft);
  startStages(sRight);
}

void StereoLadder::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double inA = inputA ? *inputA : 0.0;
  const double inB = inputB ? *inputB : 0.0;
  if (type == 0) {
    nextAudioOut[0] = inputALevel * inA;
    nextAudioOut[1] = inputBLevel * inB;
    return;
  }
  refreshCoeff();
  const double d = nextGuard(&guard);
  const double l = filterSample(inputALevel * inA, d, sLeft);
  const double r = filterSample(inputBLevel * inB, d, sRight);
  if (stateBroken(l + r)) {
    startStages(sLeft);
    startStages(sRight);
    nextAudioOut[0] = nextAudioOut[1] = 0.0;
    return;
  }
  nextAudioOut[0] = l;
  nextAudioOut[1] = r;
}
