// The slot parameters the ladder, K35 and comb filters share, so that a slot may switch between them and
// keep its values: 3/4 input A level/source, 5/6 input B level/source, 7/8 and 9/10 frequency modulation
// amount (1/128 semitone per unit)/source, 11 drive (1..16), 12 key tracking (-1..1, relative to MIDI
// note 48), 13/14 the amount/source of the modulation of parameter 2 (resonance or feedback).
#pragma once

#include "ModulePanel.h"

class Module;
class Synth;

struct FilterSlot
{
  double* inputA = nullptr;
  double inputALevel = 0.0;
  double* inputB = nullptr;
  double inputBLevel = 0.0;
  double* mod1Source = nullptr;
  double mod1Amount = 0.0;
  double* mod2Source = nullptr;
  double mod2Amount = 0.0;
  double drive = 1.0;
  double reciprocalDrive = 1.0;
  double keyTracking = 0.0;
  double* param2ModSource = nullptr;
  double param2ModAmount = 0.0;

  // Takes parameters 3..14 of the module's slot; false for any other index.
  bool setShared(Module* module, int index, double value);
  // The base pitch (steps) moved by key tracking of the voice pitch around referencePitch (MIDI note 48).
  double keyTrackedPitch(int basePitch, int voicePitch, int referencePitch) const;
  // A key-tracked pitch plus both frequency modulations, truncated toward zero; not yet held to a table.
  int modulatedPitch(double tracked) const;
  // Parameter 2 (resonance or feedback) plus its modulation, held to 0..1 while a source is connected.
  double modulatedParam2(double value) const;
  // Declares parameters 3..14.
  static void declareShared(int base, Synth* synth);

  // The controls of the ladder and K35 panels, mono and stereo alike: one table, since the two types put
  // the same controls at the same places and differ only in the type list behind the pop-up.
  static const PanelControl panelRows[15];
};
