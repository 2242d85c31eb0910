// What the modulation inputs and the quieter controls of every module type do to what a user hears. Each
// probe renders one master instance twice, the second time with one more input connected or one control
// turned, and checks that the output moves the way the control says: up, down, by a ratio, or at least
// somewhere. The probes must reach every modulation input that the catalogue declares.
#include "ModuleCatalogue.h"
#include "OscWavetable.h"
#include "signal_analysis.h"

#include "../support/module_drive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {
using moduledrive::Drive;
using M = ModuleConfig;
constexpr double kRate = 48000.0;
constexpr double kOn = -1e9; // a selector set to the instance's source of its input type

struct Out
{
  SourceDef::SourceType type;
  int index;
};
constexpr Out A0{SourceDef::AUDIO, 0}, A1{SourceDef::AUDIO, 1}, A2{SourceDef::AUDIO, 2}, A3{SourceDef::AUDIO, 3},
    A4{SourceDef::AUDIO, 4}, M0{SourceDef::MODULATION, 0}, M1{SourceDef::MODULATION, 1}, M2{SourceDef::MODULATION, 2},
    M3{SourceDef::MODULATION, 3}, G0{SourceDef::GATE, 0}, G1{SourceDef::GATE, 1}, S0{SourceDef::SYNC, 0};

enum Measure { kRms, kMean, kCrossings, kLevels, kSecondHarmonic };
// kRises, kFalls: by more than 5 % (or past bound times the first value when bound is set); kRatio: second
// over first within 2 % of bound; kOver: the second value above bound; kSame: within 2 %.
enum Expect { kRises, kFalls, kRatio, kOver, kDiffers, kSame };

struct Set
{
  int p;
  double v;
};

struct Probe
{
  M::ModuleID id;
  std::vector<Set> base, change;
  Measure measure;
  Out out;
  Expect expect;
  double bound = 0.0;
  double hz = 1000.0, amp = 0.5, mod = 0.5; // audio sources: a sine; modulation sources: a constant
  int ms = 200;
};

// clang-format off
const Probe kProbes[] = {
  // Oscillators: pitch modulation moves the pitch, shape and start phase reshape the wave.
  {M::MOD_OSCILLATOR, {{0, 0}}, {{7, kOn}, {6, 1536}}, kCrossings, A0, kRises},
  {M::MOD_OSCILLATOR, {{0, 0}}, {{9, kOn}, {8, -1536}}, kCrossings, A0, kFalls},
  {M::MOD_OSCILLATOR, {}, {{3, kOn}, {2, 0.8}}, kRms, A0, kDiffers},
  {M::MOD_OSCILLATOR, {}, {{12, kOn}}, kRms, A0, kDiffers},
  {M::MOD_OSCLINFM, {}, {{8, kOn}, {7, 1536}}, kCrossings, A0, kRises},
  {M::MOD_OSCLINFM, {}, {{10, kOn}, {9, -1536}}, kCrossings, A0, kFalls},
  {M::MOD_OSCLINFM, {{1, 0.5}}, {{4, kOn}, {3, 1}}, kRms, A0, kDiffers},
  {M::MOD_OSCLINFM, {}, {{13, kOn}}, kRms, A0, kDiffers},
  {M::MOD_OSCILLATOR2, {{0, 0}, {1, 0}}, {{9, kOn}, {8, 1536}}, kCrossings, A0, kRises},
  {M::MOD_OSCILLATOR2, {{0, 0}, {1, 0}}, {{11, kOn}, {10, -1536}}, kCrossings, A1, kFalls},
  {M::MOD_OSCFORMANT, {{0, 1}, {2, 2}}, {{5, kOn}, {4, 0.2}}, kCrossings, A0, kRises},
  {M::MOD_OSCFORMANT, {{0, 1}, {2, 2}}, {{7, kOn}, {6, -0.4}}, kCrossings, A0, kFalls},
  {M::MOD_OSCFORMANT, {{0, 0}, {1, 0.8}}, {{5, kOn}, {4, 0.2}}, kCrossings, A0, kRises}, // "Fixed": formant pitch
  {M::MOD_OSCFORMANT, {{0, 0}, {1, 0.8}}, {{7, kOn}, {6, -0.4}}, kCrossings, A0, kFalls},
  {M::MOD_OSCFORMANT, {{0, 1}, {2, 2}}, {{11, kOn}, {10, 1536}}, kCrossings, A0, kRises},
  {M::MOD_OSCFORMANT, {{0, 1}, {2, 2}}, {{13, kOn}, {12, -1536}}, kCrossings, A0, kFalls},
  {M::MOD_OSCWAVETABLE, {}, {{7, kOn}, {6, 1536}}, kCrossings, A0, kRises},
  {M::MOD_OSCWAVETABLE, {}, {{9, kOn}, {8, -1536}}, kCrossings, A0, kFalls},
  {M::MOD_OSCWAVETABLE, {}, {{3, kOn}, {2, 1}}, kRms, A0, kDiffers},
  {M::MOD_OSCWAVETABLE, {}, {{13, kOn}}, kRms, A0, kDiffers},
  {M::MOD_NOISE, {{0, 1}}, {{4, kOn}, {2, 1}}, kRms, A0, kFalls},
  {M::MOD_NOISE, {{1, 1}}, {{5, kOn}, {3, 1}}, kRms, A1, kFalls},
  {M::MOD_NOISE, {{6, 1}}, {{10, kOn}, {8, 1}}, kRms, A2, kFalls},
  {M::MOD_NOISE, {{7, 1}}, {{11, kOn}, {9, 1}}, kRms, A3, kFalls},
  // Filters, a 1 kHz sine far above a 185 Hz cutoff: cutoff modulation opens or closes them, resonance
  // raises a sine at the cutoff.
  {M::MOD_LADDER, {{1, 0.4}}, {{8, kOn}, {7, 3072}}, kRms, A0, kRises},
  {M::MOD_LADDER, {{1, 0.4}}, {{10, kOn}, {9, -3072}}, kRms, A0, kFalls},
  {M::MOD_LADDER, {{1, 0.4}}, {{14, kOn}, {13, 1}}, kRms, A0, kRises, 0, 185},
  {M::MOD_K35, {{1, 0.4}}, {{8, kOn}, {7, 3072}}, kRms, A0, kRises},
  {M::MOD_K35, {{1, 0.4}}, {{10, kOn}, {9, -3072}}, kRms, A0, kFalls},
  {M::MOD_K35, {{1, 0.4}}, {{14, kOn}, {13, 1}}, kRms, A0, kRises, 0, 185},
  // K35: key tracking follows the note (two octaves above the reference), the drive moves only where the
  // feedback clips, and the feedback's lopsided halves put out even harmonics of a sine.
  {M::MOD_K35, {{1, 0.4}}, {{12, 1}}, kRms, A0, kRises},
  {M::MOD_K35, {{1, 0.4}}, {{12, -0.5}}, kRms, A0, kFalls},
  {M::MOD_K35, {{1, 0.4}, {2, 1}}, {{11, 16}}, kRms, A0, kFalls, 0, 185},
  {M::MOD_K35, {{1, 0.4}}, {{2, 1}}, kSecondHarmonic, A0, kOver, 0.01, 180},
  {M::MOD_COMB, {{1, 0.3}, {2, 0.5}}, {{8, kOn}, {7, 1536}}, kRms, A0, kDiffers},
  {M::MOD_COMB, {{1, 0.3}, {2, 0.5}}, {{10, kOn}, {9, -1536}}, kRms, A0, kDiffers},
  {M::MOD_COMB, {{1, 0.3}, {2, 0.5}}, {{14, kOn}, {13, 1}}, kRms, A0, kDiffers},
  {M::MOD_RESONATORS, {}, {{9, kOn}, {8, 1536}}, kRms, A0, kDiffers},
  {M::MOD_RESONATORS, {}, {{11, kOn}, {10, -1536}}, kRms, A0, kDiffers},
  // Amplifiers and processors.
  {M::MOD_AMPLIFIER, {}, {{6, kOn}, {5, 1}}, kRms, A1, kRises},
  {M::MOD_AMPLIFIER, {}, {{9, kOn}, {8, -1}}, kRms, A1, kFalls},
  {M::MOD_AMPLIFIER, {}, {{11, kOn}, {10, 1}}, kRms, A0, kRatio, 0.5},
  {M::MOD_AMPLIFIER, {{14, 1}}, {{13, kOn}, {12, 1}}, kRms, A0, kRatio, 0.75}, // "A|B": only B halves
  {M::MOD_SIGNALPROC, {{1, 1}}, {{2, kOn}}, kRms, A0, kRatio, 0.5},
  {M::MOD_SIGNALPROC, {{4, 1}}, {{5, kOn}}, kRms, A1, kRatio, 0.5},
  {M::MOD_SIGNALPROC, {{7, 1}}, {{8, kOn}}, kRms, A2, kRatio, 0.5},
  {M::MOD_SIGNALPROC, {{10, 1}}, {{11, kOn}}, kRms, A3, kRatio, 0.5},
  {M::MOD_BLENDER, {{1, 0}, {2, 0.8}}, {{3, kOn}}, kRms, A0, kRatio, 3},
  {M::MOD_BLENDER, {{5, 0}, {6, 0.8}}, {{7, kOn}}, kRms, A1, kRatio, 3},
  {M::MOD_RING, {}, {{6, kOn}, {5, 1}}, kRms, A0, kRises},
  {M::MOD_RING, {}, {{8, kOn}, {7, 1}}, kRms, A1, kRises},
  {M::MOD_AUDIOSH, {}, {{7, kOn}, {6, 1536}}, kMean, S0, kRises},
  {M::MOD_AUDIOSH, {}, {{9, kOn}, {8, -1536}}, kMean, S0, kFalls},
  {M::MOD_AUDIOSH, {}, {{1, 0}}, kRms, A0, kDiffers},
  // The shifter's oscillator: modulation raises its frequency up to the 5 kHz clamp on either side.
  {M::MOD_HILBERT, {{2, 1}, {3, 0.5}}, {{5, kOn}, {4, 0.2}}, kCrossings, A4, kRises},
  {M::MOD_HILBERT, {{2, 1}, {3, 1}}, {{5, kOn}, {4, 1}}, kCrossings, A4, kSame, 0, 1000, 0.5, 1},
  {M::MOD_HILBERT, {{2, 1}, {3, -1}}, {{5, kOn}, {4, 1}}, kCrossings, A4, kSame, 0, 1000, 0.5, -1},
  {M::MOD_BITREDUCER, {{3, 0.25}}, {{5, kOn}, {4, 1}}, kLevels, A0, kRises},
  {M::MOD_BITREDUCER, {{9, 0.75}}, {{11, kOn}, {10, -1}}, kLevels, A1, kFalls},
  {M::MOD_SATURATOR, {{10, 1}}, {{6, kOn}, {5, 1}}, kRms, A0, kRises},
  {M::MOD_SATURATOR, {{11, 1}}, {{9, kOn}, {8, 1}}, kRms, A1, kRises},
  // Compensation lowers the pre-filter with the output level: a quiet 6 kHz sine at full drive falls far
  // more than the 1/12 of the level alone.
  {M::MOD_SATURATOR, {{4, 11}, {10, 1}}, {{10, 0}}, kRms, A0, kFalls, 0.01, 6000, 1e-4},
  // Effects: the BBD's tone closes its filters and its mix keeps the power (the echo is 500 ms away);
  // reverb damping darkens the tail, and cross-feed reaches the side whose input is silent.
  {M::MOD_BBDDELAY, {{4, 0}, {10, 1}, {11, 0}}, {{8, kOn}, {7, 1}}, kRms, A0, kDiffers, 0, 1000, 0.5, 0.5, 300},
  {M::MOD_BBDDELAY, {{4, 0}, {10, 1}, {11, 0}}, {{9, 0}}, kRms, A0, kFalls, 0, 1000, 0.5, 0.5, 300},
  {M::MOD_BBDDELAY, {{4, 1}, {10, 0}}, {{10, 0.5}}, kRms, A0, kRatio, 0.7071},
  {M::MOD_REVERB, {{9, 1}, {6, 0}}, {{6, 1}}, kRms, A0, kFalls, 0, 1000, 0.5, 0.5, 300},
  {M::MOD_REVERB, {{9, 1}, {10, 1}, {3, 0}, {8, 1}}, {{8, 0}}, kRms, A1, kRises},
  // Modulators.
  {M::MOD_LFO, {{9, 0}}, {{5, kOn}, {4, 1}}, kCrossings, M0, kRises, 0, 1000, 0.5, 0.5, 2000},
  {M::MOD_LFO, {}, {{8, kOn}, {7, 1}}, kRms, M0, kRatio, 0.5},
  {M::MOD_LFO, {}, {{8, kOn}, {7, -1}}, kRms, M0, kRatio, 0.5},
  {M::MOD_LFO2, {}, {{8, kOn}, {6, 1}}, kRms, M0, kRatio, 0.5},
  {M::MOD_LFO2, {}, {{9, kOn}, {7, -1}}, kRms, M2, kRatio, 0.5},
  {M::MOD_SHNOISE, {}, {{6, kOn}}, kRms, M0, kRises, 0, 330},
  {M::MOD_SHNOISE, {}, {{7, kOn}}, kRms, M1, kRises, 0, 330},
  {M::MOD_ENVELOPE, {{2, 0.3}}, {{4, kOn}, {3, 1}}, kMean, M0, kFalls},
  {M::MOD_ENVELOPE, {}, {{7, kOn}, {6, 1}}, kMean, M0, kRises},
  {M::MOD_ENVELOPE, {}, {{10, kOn}, {9, 1}}, kMean, M0, kRises},
  {M::MOD_ENVELOPE, {{8, 1}}, {{13, kOn}, {12, 1}}, kMean, M0, kRises},
  // Sequencers: the stop input replaces the last step once stopped (no reset, no loop, one step).
  {M::MOD_SEQUENCER, {{1, 0}, {2, 0}, {4, 0}, {5, 0.3}}, {{3, kOn}}, kMean, M0, kRises},
  {M::MOD_SEQSWITCH, {{2, 0}, {3, 0}, {4, 0}, {6, 0}}, {{5, kOn}}, kMean, M0, kRises},
  // Tools.
  {M::MOD_VOLTAGEPROC, {{1, 1}}, {{0, kOn}}, kMean, M0, kRises},
  {M::MOD_VOLTAGEPROC, {{4, -1}}, {{3, kOn}}, kMean, M1, kFalls},
  {M::MOD_VOLTAGEPROC, {{7, 1}}, {{6, kOn}}, kMean, M2, kRises},
  {M::MOD_VOLTAGEPROC, {{7, 1}, {6, kOn}}, {{8, kOn}}, kMean, M2, kRatio, 0.5},
  {M::MOD_VOLTAGEPROC, {{10, 1}}, {{9, kOn}}, kMean, M3, kRises},
  {M::MOD_VOLTAGEPROC, {{10, 1}, {9, kOn}}, {{11, kOn}}, kMean, M3, kRatio, 0.5},
  {M::MOD_LAGADDER, {}, {{0, kOn}}, kMean, M0, kRises},
  {M::MOD_LAGADDER, {}, {{2, kOn}}, kMean, M1, kRises},
  {M::MOD_LAGADDER, {{5, 1}}, {{4, kOn}}, kMean, M2, kRises},
  {M::MOD_LAGADDER, {{7, -1}}, {{6, kOn}}, kMean, M2, kFalls},
  {M::MOD_LAGADDER, {{9, 1}}, {{8, kOn}}, kMean, M3, kRises},
  {M::MOD_LAGADDER, {{11, -1}}, {{10, kOn}}, kMean, M3, kFalls},
  {M::MOD_GATETOOLS, {{1, 0.01}}, {{3, kOn}, {2, 0.02}}, kMean, G0, kRises},
  {M::MOD_GATETOOLS, {{5, 0.01}}, {{7, kOn}, {6, -0.02}}, kMean, G1, kFalls},
  {M::MOD_MODDELAY, {{4, 10}}, {{0, kOn}}, kMean, M0, kRises},
  {M::MOD_MODDELAY, {{4, 10}, {3, -1}}, {{1, kOn}}, kMean, M0, kFalls},
  {M::MOD_MODDELAY, {{8, 1}}, {{6, kOn}}, kMean, M1, kRises},
  {M::MOD_MODDELAY, {{9, -1}}, {{7, kOn}}, kMean, M1, kFalls},
  {M::MOD_MODDELAY, {{12, 0.25}}, {{10, kOn}}, kMean, G0, kRises},
  {M::MOD_MODDELAY, {{13, 0.25}}, {{11, kOn}}, kMean, G1, kRises},
};
// clang-format on

// The probes of a mono filter hold for its stereo variant on the left output; the switch's inputs each
// sound while the clock (every 40 ms, divider 1) passes their step.
std::vector<Probe> allProbes()
{
  const std::pair<M::ModuleID, M::ModuleID> stereo[] = {{M::MOD_LADDER, M::MOD_STEREOLADDER},
                                                        {M::MOD_K35, M::MOD_STEREOK35},
                                                        {M::MOD_COMB, M::MOD_STEREOCOMB},
                                                        {M::MOD_RESONATORS, M::MOD_STEREORESONATORS}};
  std::vector<Probe> probes(std::begin(kProbes), std::end(kProbes));
  for (const Probe& p : kProbes)
    for (const auto& s : stereo)
      if (p.id == s.first) {
        probes.push_back(p);
        probes.back().id = s.second;
      }
  for (int k = 0; k < 8; ++k)
    probes.push_back({M::MOD_SEQSWITCH, {{2, 0}, {3, 0}}, {{7 + k, kOn}}, kMean, M0, kRises, 0, 1000, 0.5, 0.5, 800});
  return probes;
}

struct Take
{
  std::vector<std::vector<double>> outs[4]; // audio, modulation, gate, sync: one series per output
  const std::vector<double>& of(Out o) const { return outs[slotOf(o.type)].at(o.index); }
  static int slotOf(SourceDef::SourceType t)
  {
    return t == SourceDef::AUDIO ? 0 : t == SourceDef::MODULATION ? 1 : t == SourceDef::GATE ? 2 : 3;
  }
};

void set(Drive& d, const std::vector<Set>& sets)
{
  for (const Set& s : sets) {
    const SourceDef::SourceType t = d.inputType(s.p);
    ASSERT_TRUE(s.v != kOn || t != SourceDef::OFF) << "parameter " << s.p << " selects no input";
    d.set(s.p, s.v == kOn ? d.sourcePosition(t) : s.v);
  }
}

// A master instance of the type at the note two octaves above the filters' key-tracking reference, with
// audio inputs on a sine, gate inputs on a gate that rises every 40 ms and falls 20 ms later, and every
// modulation and sync input off; a wavetable oscillator plays a sine and a third harmonic as two waves.
Drive prepared(M::ModuleID id)
{
  Drive d;
  EXPECT_TRUE(d.make(id, kRate)) << M::labelModuleName[id];
  d.v->masterPitch = 72 * 128;
  for (SourceDef::SourceType t : {SourceDef::MODULATION, SourceDef::AUDIO_OR_MOD, SourceDef::SYNC})
    if (const std::vector<int>* params = d.config().getInputParams(t))
      for (int p : *params) d.set(p, 0);
  if (id == M::MOD_OSCWAVETABLE) {
    std::vector<double> waves(2 * 2048);
    for (int i = 0; i < 2048; ++i) {
      waves[i] = std::sin(2 * M_PI * i / 2048);
      waves[2048 + i] = std::sin(6 * M_PI * i / 2048);
    }
    EXPECT_TRUE(OscWavetable::setWavetable(d.v.get(), moduledrive::kSlot, waves.data(), 2, "two"));
    d.m->setParameter(0, 0.0); // as the editor's file control tells every instance of the slot
  }
  return d;
}

Take render(const Probe& pr, bool changed)
{
  Drive d = prepared(pr.id);
  set(d, pr.base);
  if (changed) set(d, pr.change);
  Take take;
  const std::vector<double>* published[4] = {&d.m->audioOut, &d.m->modOut, &d.m->gateOut, &d.m->syncOut};
  for (int k = 0; k < 4; ++k) take.outs[k].resize(published[k]->size());
  const int n = pr.ms * d.period;
  for (int i = 0; i < n; ++i) {
    const double gate = (i / (20 * d.period)) % 2 ? 1.0 : 0.0;
    d.step(pr.amp * std::sin(2 * M_PI * pr.hz * i / kRate), pr.mod, gate);
    for (int k = 0; k < 4; ++k)
      for (size_t j = 0; j < published[k]->size(); ++j) take.outs[k][j].push_back((*published[k])[j]);
  }
  return take;
}

// Over the second half of a run, after the start's transients.
double measure(Measure m, const std::vector<double>& run, double hz)
{
  const std::vector<double> x(run.begin() + run.size() / 2, run.end());
  double sum = 0.0, squares = 0.0;
  int crossings = 0;
  std::set<double> levels;
  for (size_t i = 0; i < x.size(); ++i) {
    sum += x[i];
    squares += x[i] * x[i];
    crossings += i > 0 && x[i - 1] <= 0.0 && x[i] > 0.0;
    levels.insert(x[i]);
  }
  switch (m) {
  case kRms:
    return std::sqrt(squares / x.size());
  case kMean:
    return sum / x.size();
  case kCrossings:
    return crossings;
  case kLevels:
    return (double)levels.size();
  case kSecondHarmonic:
    return sineAmplitude(x, 2 * hz, kRate) / sineAmplitude(x, hz, kRate);
  }
  return 0.0;
}

bool differs(const Take& a, const Take& b)
{
  for (int k = 0; k < 4; ++k)
    for (size_t j = 0; j < a.outs[k].size(); ++j)
      for (size_t i = 0; i < a.outs[k][j].size(); ++i)
        if (std::fabs(a.outs[k][j][i] - b.outs[k][j][i]) > 1e-9) return true;
  return false;
}
} // namespace

TEST(ModulationInputs, EveryInputAndQuietControlMovesTheOutputItsWay)
{
  std::set<std::pair<int, int>> reached;
  for (const Probe& pr : allProbes()) {
    std::string what = std::string(M::labelModuleName[pr.id]) + ":";
    for (const Set& s : pr.change) {
      what += " P" + std::to_string(s.p) + (s.v == kOn ? "=source" : "=" + std::to_string(s.v));
      if (s.v == kOn) reached.insert({pr.id, s.p});
    }
    const Take a = render(pr, false), b = render(pr, true);
    if (HasFatalFailure()) return;
    const double x = measure(pr.measure, a.of(pr.out), pr.hz), y = measure(pr.measure, b.of(pr.out), pr.hz);
    const double margin = std::max(0.05 * std::fabs(x), 1e-9);
    switch (pr.expect) {
    case kRises:
      EXPECT_GT(y, pr.bound ? pr.bound * x : x + margin) << what << " from " << x;
      break;
    case kFalls:
      EXPECT_LT(y, pr.bound ? pr.bound * x : x - margin) << what << " from " << x;
      break;
    case kRatio:
      EXPECT_NEAR(pr.bound, y / x, 0.02 * pr.bound) << what << " from " << x << " to " << y;
      break;
    case kOver:
      EXPECT_GT(y, pr.bound) << what;
      break;
    case kSame:
      EXPECT_NEAR(x, y, 0.02 * std::fabs(x)) << what;
      break;
    case kDiffers:
      break;
    }
    if (pr.expect != kSame) {
      EXPECT_TRUE(differs(a, b)) << what << " changes nothing";
    }
  }
  // Every modulation input of the catalogue is probed.
  for (int id = 1; id < M::kNumModuleIDs; ++id) {
    ModuleConfig config;
    ModuleCatalogue::declare(&config, (M::ModuleID)id);
    for (SourceDef::SourceType t : {SourceDef::MODULATION, SourceDef::AUDIO_OR_MOD})
      if (const std::vector<int>* params = config.getInputParams(t)) {
        for (int p : *params) EXPECT_TRUE(reached.count({id, p})) << M::labelModuleName[id] << " input P" << p;
      }
  }
}
