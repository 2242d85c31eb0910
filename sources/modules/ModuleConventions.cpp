#include "ModuleConventions.h"

#include "Module.h"
#include "PitchTableRegistry.h"
#include "Synth.h"

#include <cmath>
#include <cstdio>

namespace ModuleConventions {

const int* phaseIncrementTable(double sampleRate)
{
  static PitchTableRegistry<int> registry;
  return registry.get(sampleRate, [](double hz, double rate) {
    if (rate <= 0.0) return 0;
    // Below a cycle per sample, so that phase + increment stays inside an int (only pitches above the
    // sample rate itself reach the limit).
    const double inc = 268435456.0 * hz / rate;
    return inc >= 268435455.0 ? 268435455 : (int)inc;
  });
}

const double* radiansTable(double sampleRate)
{
  static PitchTableRegistry<double> registry;
  return registry.get(sampleRate,
                      [](double hz, double rate) { return rate > 0.0 ? hz * 6.283185307179586 / rate : 0.0; });
}

int pitchTablesBuilt()
{
  return pitchTableBuiltCount();
}

// ---- parameter declarations ----

void clearParams(int base, Synth* synth)
{
  if (!synth) return;
  for (int i = 0; i < 16; ++i) {
    IParam* p = synth->GetParam(base + i);
    if (!p) continue;
    p->mDisplayTexts.Resize(0, false); // its memory stays for the next type (no allocation on the audio thread)
    p->mDisplayFunc = nullptr;
  }
}

namespace {
IParam* param(Synth* synth, int index)
{
  return synth ? synth->GetParam(index) : nullptr;
}

// The parameter's current name, copied out so that the Init call does not copy a text onto itself.
struct KeptName
{
  explicit KeptName(const IParam* p) { std::snprintf(text, sizeof(text), "%s", p->GetNameForHost()); }
  char text[IParam::kTextSize];
};
} // namespace

void declareEnum(Synth* synth, int index, int defaultIdx, int count, const char* const* labels)
{
  IParam* p = param(synth, index);
  if (!p) return;
  p->mType = IParam::kTypeEnum;
  p->InitInt(KeptName(p).text, defaultIdx, 0, count - 1, "", "");
  for (int i = 0; i < count; ++i) p->SetDisplayText(i, labels[i]);
}

void declareSelector(Synth* synth, int index)
{
  static const char* const kOff[1] = {"off"};
  declareEnum(synth, index, 0, 1, kOff);
}

void declareLevelInputs(Synth* synth, int first)
{
  for (int p : {first, first + 2}) {
    declareDouble(synth, p, 1.0, 0.0, 2.0, 0.01, 1.0, setDisplayTextForDB);
    declareSelector(synth, p + 1);
  }
}

void declareInt(Synth* synth, int index, int defaultVal, int minVal, int maxVal, IParam::DisplayFunc display)
{
  IParam* p = param(synth, index);
  if (!p) return;
  p->mType = IParam::kTypeInt;
  p->InitInt(KeptName(p).text, defaultVal, minVal, maxVal, "", "");
  p->mDisplayFunc = display;
}

void declareDouble(Synth* synth, int index, double defaultVal, double minVal, double maxVal, double step, double shape,
                   IParam::DisplayFunc display)
{
  IParam* p = param(synth, index);
  if (!p) return;
  p->mType = IParam::kTypeDouble;
  p->InitDouble(KeptName(p).text, defaultVal, minVal, maxVal, step, "", "", shape);
  p->mDisplayFunc = display;
}

void declarePitchParams(Synth* synth, int first)
{
  declareInt(synth, first + 0, 0, -24, 24);
  declareInt(synth, first + 1, 0, -128, 128, setDisplayTextForTune);
  declareDouble(synth, first + 2, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, first + 3);
  declareDouble(synth, first + 4, 0.0, -6145.0, 6145.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, first + 5);
}

void declareStartPhaseParams(Synth* synth, int first)
{
  declareDouble(synth, first + 0, 0.0, 0.0, 1.0, 1.0 / 360.0, 1.0, setDisplayTextForDegree);
  declareSelector(synth, first + 1);
  declareSelector(synth, first + 2);
}

} // namespace ModuleConventions
