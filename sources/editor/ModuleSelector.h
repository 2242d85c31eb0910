// The header of a slot position: shows the label of the module there and whether the slot is a master
// slot, and is the user's way to change the patch structure. A click on the label opens the module menu (a
// right click the utility menu: moves, or removing an empty slot), a click on the master indicator switches
// between voice and master, and dragging the header moves the module to the block it is dropped on (on the
// global panel or outside the editor: routes its audio outputs to the global output selectors). Every
// change is posted to the plug-in as a structural command; the panels are rebuilt after it is carried out.
//
//   gui->AttachControl(new ITWModuleSelector(plug, IRECT(256, 0, 384, 24), 0));
//
// Threads: the editor's (main) thread. The slot labels and the display order are read under the instance
// mutex (the audio thread's commands change them).
#pragma once

#include "IControl.h"

class ITWInfoArea;
class Veltrane;

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
