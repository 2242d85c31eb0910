// The source selectors of every module input and of the global output selectors: a button with the short
// label of the chosen source and a menu of the plug-in's sorted source list in groups (built-in sources,
// then module outputs in the order of the slots' display positions, a module with several outputs of a kind
// in a submenu of its own); and the list pop-up of list parameters (waveforms, modes, divisions).
//
//   gui->AttachControl(new ITWSourcesMenuControl(plug, x + 16, y + 280, base + 7, SourceDef::MODULATION,
//                                                master, BitmapStore::getBitmap(kImageButton)));
//
// Threads: the editor's (main) thread. The source lists are rebuilt by the audio thread's structural
// commands, so they are read under the instance mutex, never while a menu is open.
#pragma once

#include "IControl.h"
#include "MenuTree.h"
#include "SourceDef.h"

#include <vector>

class IParam;
class Veltrane;

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
