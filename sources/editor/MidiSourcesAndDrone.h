// The MIDI controls of the global section: the assignment of a MIDI controller to each of the 16 MIDI
// sources (a menu per source, "On" while any is assigned), and the drone note, held until it is switched
// off (a menu of the notes by octave; the plug-in resets it on "all notes off" from any thread).
//
// Threads: the editor's (main) thread; a drone reset asked for on another thread is applied at the next
// editor tick.
#pragma once

#include "IControl.h"

class IGraphics;
class Veltrane;

class ITWMidiSourcesControl : public IControl
{
public:
  ITWMidiSourcesControl(IPlugBase* plug, IGraphics* gui, IRECT rect, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  Veltrane* veltrane;
  IBitmap image;
  IRECT imageRect, textRect;
};

class ITWDroneControl : public IControl
{
public:
  static constexpr int kDroneId = -311;
  ITWDroneControl(IPlugBase* plug, int x, int y, IBitmap* image);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  // Also applies a reset the plug-in asked for from another thread (polled on every editor tick).
  bool IsDirty() override;
  void set(int note);
  void reset() { set(-1); }
  static void setNoteName(char* out, int note); // out: at least 8 characters
  void createTooltip();

  Veltrane* veltrane;
  IRECT textRect;
  IBitmap* image;
  int note = -1;
  char noteName[8] = {};
};
