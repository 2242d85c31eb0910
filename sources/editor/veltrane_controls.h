// The product's controls of the global section and the slot headers: the program display with its menu and
// rename field, the previous/next buttons, the two option menus (program file commands, tuning), the MIDI
// learn switch, the slot headers (module selector) with the floating info box, the source selectors and
// list pop-ups of every input, the MIDI-source assignment and the drone note.
//
// Menus are built at each click and shown through the surface's CreateIPopupMenu. Every submenu of an
// opening is owned by a MenuTree for the life of that opening (an item never owns its submenu).
//
// Threads: the editor's (main) thread only. What these controls read of the patch (slot labels, display
// order, source lists) is changed by the audio thread's structural commands under the instance mutex, so
// they read it under that mutex; they never hold it while a menu, a text field or a dialog is open.
#pragma once

#include "IControlStock.h"
#include "IPopupMenu.h"
#include "SourceDef.h"

#include <memory>
#include <vector>

class IGraphics;
class IParam;
class Synth;
class Veltrane;

// The Veltrane behind a control's plug-in pointer (null for any other plug-in).
Veltrane* veltraneOf(IPlugBase* plug);

// One opening of a menu: the top menu and every submenu made for it, freed together.
class MenuTree
{
public:
  IPopupMenu* top() { return &mTop; }
  IPopupMenu* submenu()
  {
    mSubmenus.emplace_back(new IPopupMenu);
    return mSubmenus.back().get();
  }
  // Index of a submenu in creation order, -1 for the top menu or an unknown one.
  int indexOf(const IPopupMenu* menu) const;

private:
  IPopupMenu mTop;
  std::vector<std::unique_ptr<IPopupMenu>> mSubmenus;
};

// Shows a menu on the plug-in's surface with the plug-in's modal count raised (idle calls then neither
// rebuild the panels nor empty the control trash). Null when dismissed or without a surface.
IPopupMenu* showMenu(IPlugBase* plug, IPopupMenu* menu, IRECT* r);

// ---- program area ----

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
  bool learnMode;
};

// ---- slot headers ----

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

class ITWModuleSelector : public IControl
{
public:
  ITWModuleSelector(IPlugBase* plug, IRECT rect, int position);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  void doPopupModuleMenu();
  void doPopupUtilityMenu();
  void doPopupMasterMenu();

  // The editor's info area as it is now: every panel rebuild replaces it, so no header keeps it.
  ITWInfoArea* infoArea() const;

  Veltrane* veltrane;
  IBitmap masterOn, masterHead;
  IRECT masterRect, menuRect, textRect;
  int position;
  int dropTarget = -4;
  bool leftButton = false, rightButton = false;
};

// ---- source selectors ----

struct SourceElement
{
  SourceDef* source;
  int value;
  int position;
  bool operator<(const SourceElement& other) const;
};

class ITWSourcesMenuControl : public IControl
{
public:
  ITWSourcesMenuControl(IPlugBase* plug, int x, int y, int paramIdx, SourceDef::SourceType type, bool master,
                        IBitmap* button);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  void SetValueFromPlug(double value) override;
  void createTooltip();
  // Builds the grouped menu of the control's list into tree and returns the sorted elements.
  std::vector<SourceElement> buildMenu(MenuTree* tree);
  // Label that gathers a source's entries in a submenu; empty for built-ins and single-output modules.
  void getSubmenuLabel(SourceDef* source, char* out, int size);
  SourceDefCol* list();

  Veltrane* veltrane;
  IParam* param;
  IRECT textRect;
  SourceDef::SourceType type;
  IBitmap button;
  bool master;
};

class ITWPopUpMenuControl : public IControl
{
public:
  ITWPopUpMenuControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmap* button, bool alwaysLit);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  IRECT textRect;
  IBitmap button; // no pixels: a plain text field
  bool alwaysLit;
};

// ---- MIDI sources and drone ----

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
