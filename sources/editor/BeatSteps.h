// The beat sequencer's step column: 16 lamp buttons, top to bottom steps 1..16, whose on/off states are the
// bits of one line's step mask (a slot parameter, bit k = step k + 1). The column lies over its lamps and
// takes every click on them.
//
//   gui->AttachControl(new ITWBeatStepControl(plug, x + 19, y + 83, base + 5));   // line A
//
// Also the reading of a sequencer's current step for its step LEDs.
//
// Threads: the editor's (main) thread only; the mask reaches the plug-in through SetParameterFromGUI.
#pragma once

#include "ValueControls.h"

class BeatSeq;

class ITWBeatStepControl : public IControl
{
public:
  static constexpr int kSteps = 16;
  static constexpr int kPitch = 13; // pixels from one lamp to the next
  static constexpr int kWidth = 26;
  static constexpr int kHeight = 210; // the last two rows select no step

  // Creates the 16 lamps and attaches them to the plug-in's editor surface (which owns them) at once, so
  // that the column, attached after this, lies on top of them.
  ITWBeatStepControl(IPlugBase* plug, int x, int y, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  // The parameter's step mask (0..65535 used; bits above 15 have no step).
  int mask() const;
  ITWSwitchControl* lamp(int i) const { return (i >= 0 && i < kSteps) ? mSteps[i] : nullptr; }

protected:
  IBitmap mLamp, mAccentLamp;
  ITWSwitchControl* mSteps[kSteps] = {};
};

// The current step the sequencer published at the end of its last tick (0-based), read without a lock
// and without tearing; -1 without a module.
int beatSeqShownStep(const BeatSeq* module);

// Shows exactly the LED of the current step (leds[k] for step k; none when the step is out of range).
void showStepLeds(IControl* const* leds, int count, int currentStep);
