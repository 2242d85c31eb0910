// The editor's value controls: the knob with its value text, the two-state switch that remembers a click,
// the custom-tuning switch and the voice-count digits.
//
//   IBitmap* knob = BitmapStore::getBitmap(kImageKnob);
//   gui->AttachControl(new ITWKnobMultiControlText(plug, gui, x + 16, y + 64, base + 4, knob, false));
//
// Threads: the editor's (main) thread only; values reach the plug-in through IControl::SetDirty.
#pragma once

#include "IControlStock.h"

class IParam;

// The parameter of an index as the editor sees it: the plug-in's own private parameters (301..303) too.
IParam* editorParam(IPlugBase* plug, int paramIdx);

// A knob strip with the parameter's value and unit written below it. Rectangle: the knob image widened by 4
// pixels on each side and 16 pixels taller for the text. Vertical drag with gearing 4; the wheel moves
// 10 steps a notch (one with Shift or Control); a double click restores the parameter's default.
class ITWKnobMultiControlText : public IKnobControl
{
public:
  static constexpr int kOverrideTextSize = 24;

  // paramStep: the wheel step is the parameter's own step, else 0.001.
  ITWKnobMultiControlText(IPlugBase* plug, IGraphics* gui, int x, int y, int paramIdx, IBitmap* knob,
                          bool paramStep);
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d) override;
  bool Draw(IGraphics* graphics) override;

  // A text shown instead of the value text (a module's computed value); empty or null returns to the value.
  void setOverrideText(const char* text);
  const char* getOverrideText() const { return mOverrideText; }
  // The text the knob shows now: the override text, else display text and label (at most 23 characters).
  void getText(char* out, int size);
  const IRECT& getTextRect() const { return mTextRect; }
  const IRECT& getKnobRect() const { return mKnobRect; }
  double getWheelStep() const { return mWheelStep; }

protected:
  IRECT mTextRect, mKnobRect;
  IBitmap mKnob;
  double mWheelStep;
  char mOverrideText[kOverrideTextSize] = {};
};

// A two-state image switch that remembers that it was clicked until a module's panel update reads and
// clears the flag. Its first value is the parameter's plain value (0 without a parameter).
class ITWSwitchControl : public ISwitchControl
{
public:
  ITWSwitchControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* image);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // Several clicks between two reads count as one.
  bool takeClicked()
  {
    const bool c = clicked;
    clicked = false;
    return c;
  }
  bool clicked = false;
};

// The custom-tuning switch: toggles only while a tuning other than the equal-tempered default is loaded,
// writes its parameter's value text over its image and shows the tuning's name as its tooltip.
class ITWCustomTuningControl : public ITWSwitchControl
{
public:
  ITWCustomTuningControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* image);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

protected:
  IRECT mTextRect;
};

// The voice count (1..64 voices of parameter 288's eleven entries) as two digit images; any click opens
// the parameter's list.
class ITWDigitsPopUpMenu : public IControl
{
public:
  ITWDigitsPopUpMenu(IPlugBase* plug, IGraphics* gui, IRECT rect, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  // The voice count the parameter's value stands for.
  int voiceCount();

protected:
  IBitmap mDigits;
  IRECT mTensRect, mUnitsRect;
};
