// One opening of a menu: the top menu and every submenu made for it, freed together (a menu item never
// owns its submenu), and the call that shows it on the plug-in's surface.
//
//   MenuTree tree;
//   IPopupMenu* octave = tree.submenu();
//   tree.top()->AddItem("C3 - B3", octave);
//   IPopupMenu* chosen = showMenu(plug, tree.top(), &rect);
//   const int k = tree.indexOf(chosen); // which submenu answered, -1 the top menu
//
// Threads: the editor's (main) thread.
#pragma once

#include "IPopupMenu.h"

#include <memory>
#include <vector>

class IPlugBase;
struct IRECT;

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
// rebuild the panels nor empty the control trash). Null when dismissed, without a surface, or when another
// program was put in place while it was open (the choice was made for the one shown).
IPopupMenu* showMenu(IPlugBase* plug, IPopupMenu* menu, IRECT* r);
