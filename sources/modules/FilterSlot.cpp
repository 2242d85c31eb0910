#include "FilterSlot.h"

#include "FilterTables.h"
#include "Module.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

double FilterSlot::keyTrackedPitch(int basePitch, int voicePitch, int referencePitch) const
{
  return basePitch + FilterTables::roundAway(((double)voicePitch - referencePitch) * keyTracking);
}

int FilterSlot::modulatedPitch(double tracked) const
{
  double sum = tracked;
  sum += additive(mod1Source, mod1Amount) + additive(mod2Source, mod2Amount);
  return clampToInt(sum, -2147483647, 2147483647);
}

double FilterSlot::modulatedParam2(double value) const
{
  double r = value + additive(param2ModSource, param2ModAmount);
  if (param2ModSource) r = clampValue(r, 0.0, 1.0);
  return r;
}

bool FilterSlot::setShared(Module* module, int index, double value)
{
  switch (index) {
  case 3:
    inputALevel = value;
    return true;
  case 4:
    inputA = module->getSource((int)value, SourceDef::AUDIO);
    return true;
  case 5:
    inputBLevel = value;
    return true;
  case 6:
    inputB = module->getSource((int)value, SourceDef::AUDIO);
    return true;
  case 7:
    mod1Amount = value;
    return true;
  case 8:
    mod1Source = module->getSource((int)value, SourceDef::MODULATION);
    return true;
  case 9:
    mod2Amount = value;
    return true;
  case 10:
    mod2Source = module->getSource((int)value, SourceDef::MODULATION);
    return true;
  case 11:
    drive = value;
    reciprocalDrive = 1.0 / value;
    return true;
  case 12:
    keyTracking = value;
    return true;
  case 13:
    param2ModAmount = value;
    return true;
  case 14:
    param2ModSource = module->getSource((int)value, SourceDef::MODULATION);
    return true;
  default:
    return false;
  }
}

void FilterSlot::declareShared(int base, Synth* synth)
{
  declareDouble(synth, base + 3, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 4);
  declareDouble(synth, base + 5, 0.5, 0.0, 1.0, 0.01, 1.0, setDisplayTextForDB);
  declareSelector(synth, base + 6);
  declareDouble(synth, base + 7, 0.0, -12289.0, 12289.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 8);
  declareDouble(synth, base + 9, 0.0, -12289.0, 12289.0, 0.01, 1.0, setDisplayTextForFreqMod);
  declareSelector(synth, base + 10);
  declareDouble(synth, base + 11, 1.0, 1.0, 16.0, 0.01, 1.0, setDisplayTextForDB);
  declareDouble(synth, base + 12, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareDouble(synth, base + 13, 0.0, -1.0, 1.0, 0.01, 1.0);
  declareSelector(synth, base + 14);
}

// Inputs A and B at the top with the drive between them, the type and the resonance, the cutoff with key
// tracking below it, the resonance modulation, and the two frequency modulations at the bottom.
// clang-format off
const PanelControl FilterSlot::panelRows[15] = {
  knob(16, 24, 3, {"IN A"}),
  smallKnob(52, 46, 11, {"DRIVE"}),
  knob(80, 24, 5, {"IN B"}),
  sources(16, 72, 4, SourceDef::AUDIO),
  sources(80, 72, 6, SourceDef::AUDIO),
  popUp(3, 90, 0),
  knob(80, 104, 2, {"RES"}),
  knob(16, 124, 1, {"CUTOFF"}),
  knob(80, 160, 13, {"RES MOD"}),
  smallKnob(20, 188, 12, {"KEY TRACK"}),
  sources(80, 208, 14, SourceDef::MODULATION),
  knob(16, 232, 7, {"FM 1", kRight}),
  knob(80, 232, 9, {"FM 2"}),
  sources(16, 280, 8, SourceDef::MODULATION),
  sources(80, 280, 10, SourceDef::MODULATION),
};
// clang-format on
