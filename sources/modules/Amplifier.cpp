#include "Amplifier.h"

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
  declareDouble(synth, base + 0, 1.0, 0.0, 2.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 1);
  declareDouble(synth, base + 2, 1.0, 0.0, 2.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 3);
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
  double* const left = record;
  double* const right = record + VoiceBlock::kLength;
  const double* at[6];
  for (int j = 0; j < 6; ++j) at[j] = streams[j].at;
  double nextLeft = nextAudioOut[0];
  double nextRight = nextAudioOut[1];
  // process(), n times, each source read through its stream.
  for (int i = 0; i < n; ++i) {
    left[i] = nextLeft;
    right[i] = nextRight;
    const double k1 = depthFactor(at[4], vca1Depth);
    const double k2 = depthFactor(at[5], vca2Depth);
    const double gA = separate ? gainA * k1 : gainA * k1 * k2;
    const double gB = separate ? gainB * k2 : gainB * k1 * k2;
    const double pA = panA + additive(at[2], panAModAmount);
    const double pB = panB + additive(at[3], panBModAmount);
    const double a = at[0] ? *at[0] : 0.0;
    const double b = at[1] ? *at[1] : 0.0;
    nextLeft = gB * (1.0 - pB) * b + gA * (1.0 - pA) * a;
    nextRight = gB * pB * b + gA * pA * a;
    for (int j = 0; j < 6; ++j)
      if (at[j]) at[j] += streams[j].step;
  }
  audioOut[0] = left[n - 1];
  audioOut[1] = right[n - 1];
  nextAudioOut[0] = nextLeft;
  nextAudioOut[1] = nextRight;
}
