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
  return gui->CreateIPopupMenu(menu, r);
}
