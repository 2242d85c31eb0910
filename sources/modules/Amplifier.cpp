#include "Amplifier.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "VoiceBlock.h"

using namespace ModuleConventions;

const char* const Amplifier::labelVolModMode[2] = {"A+B", "A|B"};

Amplifier::Amplifier(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), inputA(nullptr), gainA(0.0), inputB(nullptr), gainB(0.0), panA(0.0),
      panAModSource(nullptr), panAModAmount(0.0), panB(0.0), panBModSource(nullptr), panBModAmount(0.0),
      vca1Source(nullptr), vca1Depth(0.0), vca2Source(nullptr), vca2Depth(0.0), separate(false)
{
}

void Amplifier::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  declareLevelInputs(synth, base);
  for (int p : {4, 7}) {
    declareDouble(synth, base + p, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForMix);
    declareDouble(synth, base + p + 1, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p + 2);
  }
  for (int p : {10, 12}) {
    declareDouble(synth, base + p, 0.0, 0.0, 1.0, 0.01, 1.0);
    declareSelector(synth, base + p + 1);
  }
  declareEnum(synth, base + 14, 0, 2, labelVolModMode);
}

void Amplifier::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_AMPLIFIER);
}

void Amplifier::setParameter(int index, double value)
{
  switch (index) {
  case 0:
    gainA = value;
    break;
  case 1:
    inputA = getSource((int)value, SourceDef::AUDIO);
    break;
  case 2:
    gainB = value;
    break;
  case 3:
    inputB = getSource((int)value, SourceDef::AUDIO);
    break;
  case 4:
    panA = value;
    break;
  case 5:
    panAModAmount = value;
    break;
  case 6:
    panAModSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 7:
    panB = value;
    break;
  case 8:
    panBModAmount = value;
    break;
  case 9:
    panBModSource = getSource((int)value, SourceDef::MODULATION);
    break;
  case 10:
    vca1Depth = value;
    break;
  case 11:
    vca1Source = getSource((int)value, SourceDef::MODULATION);
    break;
  case 12:
    vca2Depth = value;
    break;
  case 13:
    vca2Source = getSource((int)value, SourceDef::MODULATION);
    break;
  case 14:
    separate = value >= 0.5;
    break;
  default:
    break;
  }
}

bool Amplifier::prepareBlock(const VoiceBlock& block)
{
  if (audioOut.size() != 2 || !modOut.empty() || !gateOut.empty() || !syncOut.empty()) return false;
  const double* const sources[6] = {inputA, inputB, panAModSource, panBModSource, vca1Source, vca2Source};
  for (int j = 0; j < 6; ++j)
    if (!block.resolve(sources[j], &streams[j])) return false;
  return true;
}

void Amplifier::processBlock(int n, double* __restrict record)
{
  const bool vca1Moves = streams[4].step != 0, vca2Moves = streams[5].step != 0;
  const bool panMoves = streams[2].step != 0 || streams[3].step != 0;
  switch ((vca1Moves ? 4 : 0) + (vca2Moves ? 2 : 0) + (panMoves ? 1 : 0)) {
  case 0:
    run<false, false, false>(n, record);
    break;
  case 1:
    run<false, false, true>(n, record);
    break;
  case 2:
    run<false, true, false>(n, record);
    break;
  case 3:
    run<false, true, true>(n, record);
    break;
  case 4:
    run<true, false, false>(n, record);
    break;
  case 5:
    run<true, false, true>(n, record);
    break;
  case 6:
    run<true, true, false>(n, record);
    break;
  default:
    run<true, true, true>(n, record);
    break;
  }
}

template <bool vca1Moves, bool vca2Moves, bool panMoves> void Amplifier::run(int n, double* __restrict record)
{
  double* const left = record;
  double* const right = record + VoiceBlock::kLength;
  // process(), n times, on local copies, each source read through its stream. An audio input without a
  // source reads 0.0 from silence, as process() takes 0.0 for it. A value whose sources hold still during
  // the run (step 0) is worked out once, by the same operations, before the loop.
  static const double silence = 0.0;
  const double* a = streams[0].at ? streams[0].at : &silence;
  const double* b = streams[1].at ? streams[1].at : &silence;
  const double* panAMod = streams[2].at;
  const double* panBMod = streams[3].at;
  const double* vca1 = streams[4].at;
  const double* vca2 = streams[5].at;
  const int stepA = streams[0].step, stepB = streams[1].step, stepPanA = streams[2].step,
            stepPanB = streams[3].step, stepVca1 = streams[4].step, stepVca2 = streams[5].step;
  const double gA0 = gainA, gB0 = gainB, panA0 = panA, panB0 = panB, panAAmount = panAModAmount,
               panBAmount = panBModAmount, depth1 = vca1Depth, depth2 = vca2Depth;
  const bool apart = separate;
  const double k1Held = depthFactor(vca1, depth1);
  const double k2Held = depthFactor(vca2, depth2);
  const double pAHeld = panA0 + additive(panAMod, panAAmount);
  const double pBHeld = panB0 + additive(panBMod, panBAmount);
  const double leftAHeld = 1.0 - pAHeld, leftBHeld = 1.0 - pBHeld;
  double nextLeft = nextAudioOut[0];
  double nextRight = nextAudioOut[1];
  for (int i = 0; i < n; ++i) {
    left[i] = nextLeft;
    right[i] = nextRight;
    const double k1 = vca1Moves ? depthFactor(vca1, depth1) : k1Held;
    const double k2 = vca2Moves ? depthFactor(vca2, depth2) : k2Held;
    const double gA = apart ? gA0 * k1 : gA0 * k1 * k2;
    const double gB = apart ? gB0 * k2 : gB0 * k1 * k2;
    const double pA = panMoves ? panA0 + additive(panAMod, panAAmount) : pAHeld;
    const double pB = panMoves ? panB0 + additive(panBMod, panBAmount) : pBHeld;
    const double leftA = panMoves ? 1.0 - pA : leftAHeld;
    const double leftB = panMoves ? 1.0 - pB : leftBHeld;
    nextLeft = gB * leftB * *b + gA * leftA * *a;
    nextRight = gB * pB * *b + gA * pA * *a;
    // A null source has step 0.
    a += stepA;
    b += stepB;
    if (panMoves) {
      panAMod += stepPanA;
      panBMod += stepPanB;
    }
    if (vca1Moves) vca1 += stepVca1;
    if (vca2Moves) vca2 += stepVca2;
  }
  audioOut[0] = left[n - 1];
  audioOut[1] = right[n - 1];
  nextAudioOut[0] = nextLeft;
  nextAudioOut[1] = nextRight;
}

void Amplifier::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  const double k1 = depthFactor(vca1Source, vca1Depth);
  const double k2 = depthFactor(vca2Source, vca2Depth);
  const double gA = separate ? gainA * k1 : gainA * k1 * k2;
  const double gB = separate ? gainB * k2 : gainB * k1 * k2;
  const double pA = panA + additive(panAModSource, panAModAmount);
  const double pB = panB + additive(panBModSource, panBModAmount);
  const double a = inputA ? *inputA : 0.0;
  const double b = inputB ? *inputB : 0.0;
  nextAudioOut[0] = gB * (1.0 - pB) * b + gA * (1.0 - pA) * a;
  nextAudioOut[1] = gB * pB * b + gA * pA * a;
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  knob(16, 24, 0, {"LEVEL A"}),
  knob(80, 24, 2, {"LEVEL B"}),
  sources(16, 72, 1, SourceDef::AUDIO),
  sources(80, 72, 3, SourceDef::AUDIO),
  knob(16, 92, 4, {"PAN", kRight, 8}),
  knob(16, 148, 5, {"PAN MOD"}),
  sources(16, 196, 6, SourceDef::MODULATION),
  knob(80, 92, 7),
  knob(80, 148, 8, {"PAN MOD"}),
  sources(80, 196, 9, SourceDef::MODULATION),
  knob(16, 232, 10, {"VCA 1"}),
  switchControl(60, 238, 14, kImageSwitch2Orange, {"A|B", kBelow}),
  knob(80, 232, 12, {"VCA 2"}),
  sources(16, 280, 11, SourceDef::MODULATION),
  sources(80, 280, 13, SourceDef::MODULATION),
};
// clang-format on
} // namespace

const PanelLayout Amplifier::panel = {kImageModuleAmp, kPanelRows};

void Amplifier::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
