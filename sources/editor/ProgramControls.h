// The program area and the option menus of the global section: the program number and name (a menu of the
// 64 programs, a text field for the name), the previous and next buttons, the program menu (copy, paste,
// init, files, the online update) and the tuning menu, and the MIDI learn switch.
//
//   ITWPresetMenu* programs = new ITWPresetMenu(plug, IRECT(40, 58, 64, 74), IRECT(16, 98, 240, 114));
//
// Threads: the editor's (main) thread. The program names and the current program are changed by the host
// on its own thread too, so they are read under the instance mutex, which is never held while a menu, a
// text field or a dialog is open.
#pragma once

#include "IControlStock.h"
#include "MenuTree.h"

#include <memory>

class Synth;
class Veltrane;

class ITWPresetMenu : public IControl
{
public:
  static constexpr int kNameLength = 27;
  ITWPresetMenu(IPlugBase* plug, IRECT numberRect, IRECT nameRect);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  void TextFromTextEntry(const char* text) override;
  // Builds the 64-program menu into tree; the current program ticked.
  void buildProgramMenu(MenuTree* tree);
  // The program a choice in tree stands for, -1 for none.
  static int programOfChoice(MenuTree* tree, IPopupMenu* chosen);

  WDL_String numberText, nameText;
  IRECT numberRect, nameRect;
  // The program the name field was opened for, and StatesPutInPlace() then.
  int namedProgram = 0;
  unsigned namedStates = 0;
};

class ITWOptionMenu : public IControl
{
public:
  ITWOptionMenu(IPlugBase* plug, IRECT rect, int id, Synth* synth);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics*) override { return true; }
  void doPopupMenu();
  IPopupMenu menu;
  // The "Go Online..." submenu of the program menu: made once, kept for the control's life.
  std::unique_ptr<IPopupMenu> online;
  Synth* synth;
};

class ITWUtilityKick : public IContactControl
{
public:
  ITWUtilityKick(IPlugBase* plug, int x, int y, int id, IBitmap* image, Veltrane* veltrane);
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
  Veltrane* veltrane;
};

class ITWSwitchMidiLearn : public ISwitchControl
{
public:
  ITWSwitchMidiLearn(IPlugBase* plug, int x, int y, IBitmap* image, bool learnMode);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // Shows off once the synth says learn was disarmed other than by this switch (Synth::learnDisarmed).
  bool IsDirty() override;
  bool learnMode;
  Synth* synth; // null on another plug-in
};
