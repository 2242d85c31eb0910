#include "Ladder.h"

#include "EditorImages.h"
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
  return v < -1.0 ? -1.0 : (v < 1.0 ? v : 1.0);
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

void Ladder::retune()
{
  referencePitch = static_cast<Synth*>(owner)->getFrequency(48);
  trackPitch(trackedPitch);
}

void Ladder::setFrequencySource(int* pitch)
{
  // The voice's pitch is read when the coefficients are next worked out (they are unsettled now), not here:
  // modules are built off the audio thread while their voice plays.
  coeffsSettled = false;
  pitchSource = pitch;
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
  // Low- and high-pass filters of two or four voices: two voices to a register.
  if (count == 2 || count == 4) switch (group[0]->kind) {
    case kLowpass:
      count == 2 ? filterPairs<1, kLowpass>(group, n, records) : filterPairs<2, kLowpass>(group, n, records);
      return true;
    case kHighpass:
      count == 2 ? filterPairs<1, kHighpass>(group, n, records) : filterPairs<2, kHighpass>(group, n, records);
      return true;
    default:
      break;
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

template <int pairs, int kindOf> void Ladder::filterPairs(Ladder* const* group, int n, double* const* records)
{
  // filterGroup's loop for low- or high-pass stages, the two voices of a pair in the two halves of each
  // register: every packed operation does for each half what filterSample does for its voice, in the same
  // order, so each voice gets the same values.
  constexpr int count = 2 * pairs;
  const int tapOf = group[0]->tap;
  struct Pair
  {
    __m128d g, a, G4, k, n, c, drive, reciprocalDrive, levelA, levelB;
  };
  Pair co[pairs];
  __m128d st[pairs][4], d[pairs], next[pairs];
  const double *inA[count], *inB[count];
  int stepA[count], stepB[count];
  double* out[count];
  for (int p = 0; p < pairs; ++p) {
    const Ladder& l = *group[2 * p];
    const Ladder& h = *group[2 * p + 1];
    co[p] = {_mm_set_pd(h.g, l.g),
             _mm_set_pd(h.a, l.a),
             _mm_set_pd(h.G4, l.G4),
             _mm_set_pd(h.k, l.k),
             _mm_set_pd(h.n, l.n),
             _mm_set_pd(h.c, l.c),
             _mm_set_pd(h.drive, l.drive),
             _mm_set_pd(h.reciprocalDrive, l.reciprocalDrive),
             _mm_set_pd(h.inputALevel, l.inputALevel),
             _mm_set_pd(h.inputBLevel, l.inputBLevel)};
    for (int e = 0; e < 4; ++e) st[p][e] = _mm_set_pd(h.s[e], l.s[e]);
    d[p] = _mm_set_pd(h.guard, l.guard);
    next[p] = _mm_set_pd(h.nextAudioOut[0], l.nextAudioOut[0]);
  }
  for (int j = 0; j < count; ++j) {
    const Ladder& f = *group[j];
    inA[j] = f.streamA.at ? f.streamA.at : &kSilence;
    inB[j] = f.streamB.at ? f.streamB.at : &kSilence;
    stepA[j] = f.streamA.step;
    stepB[j] = f.streamB.step;
    out[j] = records[j];
  }
  const __m128d one = _mm_set1_pd(1.0), minusOne = _mm_set1_pd(-1.0);
  const __m128d signBit = _mm_set1_pd(-0.0);
  const __m128d runawayLevel = _mm_set1_pd(Module::kRunawayLevel);
  for (int i = 0; i < n; ++i) {
#pragma GCC unroll 2
    for (int p = 0; p < pairs; ++p) {
      const Pair& c = co[p];
      _mm_storel_pd(out[2 * p] + i, next[p]);
      _mm_storeh_pd(out[2 * p + 1] + i, next[p]);
      const __m128d a = _mm_loadh_pd(_mm_load_sd(inA[2 * p]), inA[2 * p + 1]);
      const __m128d b = _mm_loadh_pd(_mm_load_sd(inB[2 * p]), inB[2 * p + 1]);
      const __m128d in = _mm_add_pd(_mm_mul_pd(c.levelA, a), _mm_mul_pd(c.levelB, b));
      const __m128d dp = d[p];
      const __m128d x = _mm_sub_pd(_mm_mul_pd(c.drive, in), dp);
      const __m128d t1 = _mm_sub_pd(st[p][0], dp), t2 = _mm_sub_pd(st[p][1], dp);
      const __m128d t3 = _mm_sub_pd(st[p][2], dp), t4 = _mm_sub_pd(st[p][3], dp);
      const __m128d S =
        _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(t1, c.g), t2), c.g), t3), c.g), t4);
      const __m128d y = _mm_mul_pd(_mm_add_pd(_mm_mul_pd(c.G4, x), S), c.n);
      // clip: minpd gives y < 1 ? y : 1 (1 for a NaN, as clip gives), maxpd then m > -1 ? m : -1.
      const __m128d clipped = _mm_max_pd(_mm_min_pd(y, one), minusOne);
      const __m128d u = _mm_sub_pd(x, _mm_mul_pd(c.k, clipped));
      // sign * v: v itself for the low-pass, -1.0 * v for the high-pass.
      const auto signed_ = [&](__m128d v) { return kindOf == kLowpass ? v : _mm_mul_pd(minusOne, v); };
      __m128d v = _mm_mul_pd(c.g, u);
      const __m128d y1 = _mm_add_pd(t1, v);
      st[p][0] = _mm_sub_pd(signed_(v), _mm_mul_pd(c.a, y1));
      v = _mm_mul_pd(c.g, y1);
      const __m128d y2 = _mm_add_pd(t2, v);
      st[p][1] = _mm_sub_pd(signed_(v), _mm_mul_pd(c.a, y2));
      v = _mm_mul_pd(c.g, y2);
      const __m128d y3 = _mm_add_pd(t3, v);
      st[p][2] = _mm_sub_pd(signed_(v), _mm_mul_pd(c.a, y3));
      v = _mm_mul_pd(c.g, y3);
      const __m128d y4 = _mm_add_pd(t4, v);
      st[p][3] = _mm_sub_pd(signed_(v), _mm_mul_pd(c.a, y4));
      const __m128d tapped = tapOf == 0 ? y : tapOf == 1 ? y3 : tapOf == 2 ? y2 : y1;
      const __m128d result = _mm_mul_pd(_mm_mul_pd(tapped, c.reciprocalDrive), c.c);
      d[p] = _mm_xor_pd(dp, signBit);
      // stateBroken for each half: |y| not at or below the runaway level (a NaN compares false).
      const __m128d magnitude = _mm_andnot_pd(signBit, result);
      const int broken = _mm_movemask_pd(_mm_cmpnle_pd(magnitude, runawayLevel));
      if (broken) {
        double lanes[2], states[4][2];
        _mm_storeu_pd(lanes, result);
        for (int e = 0; e < 4; ++e) _mm_storeu_pd(states[e], st[p][e]);
        for (int h = 0; h < 2; ++h) {
          if (!(broken & (1 << h))) continue;
          double start[4];
          startStages(start);
          for (int e = 0; e < 4; ++e) states[e][h] = start[e];
          lanes[h] = 0.0;
        }
        next[p] = _mm_loadu_pd(lanes);
        for (int e = 0; e < 4; ++e) st[p][e] = _mm_loadu_pd(states[e]);
      } else {
        next[p] = result;
      }
      for (int h = 2 * p; h < 2 * p + 2; ++h) {
        inA[h] += stepA[h]; // a null source has step 0
        inB[h] += stepB[h];
      }
    }
  }
  for (int p = 0; p < pairs; ++p) {
    double lanes[2], states[4][2], guards[2];
    _mm_storeu_pd(lanes, next[p]);
    _mm_storeu_pd(guards, d[p]);
    for (int e = 0; e < 4; ++e) _mm_storeu_pd(states[e], st[p][e]);
    for (int h = 0; h < 2; ++h) {
      Ladder& f = *group[2 * p + h];
      for (int e = 0; e < 4; ++e) f.s[e] = states[e][h];
      f.guard = guards[h];
      f.audioOut[0] = out[2 * p + h][n - 1];
      f.nextAudioOut[0] = lanes[h];
    }
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

// ---- panel ----

const PanelLayout Ladder::panel = {kImageModuleFilter, FilterSlot::panelRows};
const PanelLayout StereoLadder::panel = {kImageModuleStfilter, FilterSlot::panelRows};

void Ladder::createCommonGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelControls(config, x, y, base, panel);
}

void Ladder::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  createCommonGraphics(config, x, y, base);
}

void StereoLadder::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanelBackground(config, x, y, panel.background);
  Ladder::createCommonGraphics(config, x, y, base);
}
