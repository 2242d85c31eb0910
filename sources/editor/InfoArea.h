// The editor's one floating box: a framed message of one or more lines near a control (the wavetable
// loader's), or the translucent label that follows a header while it is dragged. The editor panel makes a
// new one, hidden, at every rebuild of the slot panels and keeps it as the last control; whoever shows it
// asks the plug-in for the current one (Veltrane::infoArea) at that moment and keeps no pointer to it.
//
// Threads: the editor's (main) thread.
#pragma once

#include "IControl.h"

class ITWInfoArea : public IControl
{
public:
  static constexpr int kTextSize = 1024;
  ITWInfoArea(IPlugBase* plug, IRECT rect);
  void OnMouseDown(int, int, IMouseMod*) override { Hide(true); }
  bool Draw(IGraphics* graphics) override;
  void showInfo(int x, int y, const char* text);
  void showDrag(int x, int y, const char* text);

  IRECT textRect, boxRect, innerRect;
  char text[kTextSize] = {};
  bool dragMode = false;
  IColor dragColor = IColor(96, 255, 255, 255);
};
