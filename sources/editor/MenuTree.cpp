#include "MenuTree.h"

#include "ControlKit.h"
#include "IGraphics.h"
#include "Veltrane.h"

int MenuTree::indexOf(const IPopupMenu* menu) const
{
  for (size_t i = 0; i < mSubmenus.size(); ++i)
    if (mSubmenus[i].get() == menu) return (int)i;
  return -1;
}

IPopupMenu* showMenu(IPlugBase* plug, IPopupMenu* menu, IRECT* r)
{
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  if (!gui) return nullptr;
  Veltrane* v = veltraneOf(plug);
  Veltrane::ModalScope modal(v);
  // Every menu of the editor acts on the program in place when it opened: with another put in place since
  // (a MIDI program change, the host), the choice is dropped. The surface closes an open menu then; this
  // catches a change that lands as the choice is made.
  const unsigned shown = plug->StatesPutInPlace();
  IPopupMenu* chosen = gui->CreateIPopupMenu(menu, r);
  return plug->StatesPutInPlace() == shown ? chosen : nullptr;
}
