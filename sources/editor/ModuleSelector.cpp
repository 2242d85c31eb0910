#include "ModuleSelector.h"

#include "ControlKit.h"
#include "EditorImages.h"
#include "IGraphics.h"
#include "InfoArea.h"
#include "MenuTree.h"
#include "Veltrane.h"

#include <cstdio>

ITWModuleSelector::ITWModuleSelector(IPlugBase* plug, IRECT rect, int position_)
    : IControl(plug, rect), veltrane(veltraneOf(plug)), position(position_)
{
  masterOn = productImage(plug, kImageMasterOn);
  masterHead = productImage(plug, kImageMasterHead);
  masterRect = IRECT(rect.L + 2, rect.T + 5, rect.L + 2 + masterOn.W, rect.T + 5 + masterOn.frameHeight());
  menuRect = IRECT(rect.L + 16, rect.T, rect.R, rect.B);
  textRect = IRECT(rect.L, rect.T + 6, rect.R, rect.B);
  mText = productText(12, 192, 255, 255, 255, IText::kStyleBold);
  // A double click is a press of its own: its release then belongs to a gesture this header saw begin.
  mDblAsSingleClick = true;
}

ITWInfoArea* ITWModuleSelector::infoArea() const
{
  return veltrane ? veltrane->infoArea : nullptr;
}

void ITWModuleSelector::OnMouseDown(int x, int y, IMouseMod* mod)
{
  dropTarget = menuRect.Contains(x, y) ? -3 : -4;
  leftButton = mod && mod->L;
  rightButton = mod && mod->R;
  if (ITWInfoArea* info = infoArea()) info->Hide(true);
}

void ITWModuleSelector::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  if (!leftButton || dropTarget < -3 || !veltrane) return;
  // The surface hands over the pointer's new position: the drop target is the block under the pointer.
  const int px = x, py = y;
  dropTarget = veltrane->getBlockFromPosition(px, py);
  if (ITWInfoArea* info = infoArea()) {
    char label[ModuleConfig::kLabelSize];
    {
      WDL_MutexLock lock(veltrane->GetMutex());
      std::snprintf(label, sizeof label, "%s", veltrane->slotConfig[veltrane->slotAt(position)].label);
    }
    info->showDrag(px, py, label);
  }
}

void ITWModuleSelector::OnMouseUp(int x, int y, IMouseMod*)
{
  if (veltrane) {
    if (leftButton && dropTarget >= 0) {
      veltrane->postCommand(Veltrane::kCommandMove, position, dropTarget);
    } else if (leftButton && (dropTarget == -2 || dropTarget == -1)) {
      veltrane->postCommand(Veltrane::kCommandPlugToCommon, position, -1);
    } else if (menuRect.Contains(x, y)) {
      if (rightButton)
        doPopupUtilityMenu();
      else
        doPopupModuleMenu();
    } else if (masterRect.Contains(x, y)) {
      int slot, id, master;
      {
        WDL_MutexLock lock(veltrane->GetMutex());
        slot = veltrane->slotAt(position);
        id = veltrane->slotConfig[slot].moduleID;
        master = veltrane->slotConfig[slot].master;
      }
      if (id == ModuleConfig::MOD_EMPTY)
        veltrane->postCommand(Veltrane::kCommandToggleMaster, slot, master ? 0 : 1);
      else
        doPopupMasterMenu();
    }
  }
  dropTarget = -4;
  leftButton = rightButton = false;
  if (ITWInfoArea* info = infoArea()) info->Hide(true);
  mRedraw = true;
  SetDirty(false);
}

void ITWModuleSelector::doPopupModuleMenu()
{
  int slot, currentID, currentCategory;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    slot = veltrane->slotAt(position);
    currentID = veltrane->slotConfig[slot].moduleID;
    currentCategory = veltrane->slotConfig[slot].category;
  }
  MenuTree tree;
  IPopupMenu* sub[ModuleConfig::kNumCategories] = {};
  tree.top()->AddItem(ModuleConfig::labelModuleType[0]);
  for (int c = 1; c < ModuleConfig::kNumCategories; ++c) {
    sub[c] = tree.submenu();
    tree.top()->AddItem(ModuleConfig::labelModuleType[c], sub[c]);
    for (ModuleConfig::ModuleID id : ModuleConfig::ModuleTypeMap[c]) {
      const bool current = c == currentCategory && id == currentID;
      sub[c]->AddItem(ModuleConfig::labelModuleName[id], -1,
                      current ? IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked : 0);
    }
  }
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &menuRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  const int k = tree.indexOf(chosen);
  const int category = k < 0 ? 0 : k + 1;
  const std::vector<ModuleConfig::ModuleID>& ids = ModuleConfig::ModuleTypeMap[category];
  const int index = chosen->GetChosenItemIdx();
  if (index >= (int)ids.size()) return;
  veltrane->postCommand(Veltrane::kCommandReplace, slot, ids[index]);
}

void ITWModuleSelector::doPopupUtilityMenu()
{
  MenuTree tree;
  bool empty;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    empty = veltrane->slotConfig[veltrane->slotAt(position)].moduleID == ModuleConfig::MOD_EMPTY;
    if (!empty) {
      for (int i = 0; i < Veltrane::kNumSlots; ++i) {
        char item[128];
        std::snprintf(item, sizeof item, "Move to position %i (%s)", i,
                      veltrane->slotConfig[veltrane->slotAt(i)].label);
        tree.top()->AddItem(item, -1, i == position ? IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked : 0);
      }
    }
  }
  if (empty) tree.top()->AddItem("Remove Block");
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &menuRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  if (empty)
    veltrane->postCommand(Veltrane::kCommandRemoveEmpty, position, -1);
  else
    veltrane->postCommand(Veltrane::kCommandMove, position, chosen->GetChosenItemIdx());
}

void ITWModuleSelector::doPopupMasterMenu()
{
  int slot, master;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    slot = veltrane->slotAt(position);
    master = veltrane->slotConfig[slot].master;
  }
  MenuTree tree;
  tree.top()->AddItem("Change to Voice Module", -1, master ? 0 : IPopupMenuItem::kDisabled);
  tree.top()->AddItem("Change to Master Module", -1, master ? IPopupMenuItem::kDisabled : 0);
  IPopupMenu* chosen = showMenu(mPlug, tree.top(), &masterRect);
  if (!chosen || chosen->GetChosenItemIdx() < 0) return;
  veltrane->postCommand(Veltrane::kCommandToggleMaster, slot, chosen->GetChosenItemIdx());
}

bool ITWModuleSelector::Draw(IGraphics* graphics)
{
  if (!veltrane) return true;
  char label[ModuleConfig::kLabelSize];
  bool master;
  {
    WDL_MutexLock lock(veltrane->GetMutex());
    const ModuleConfig& c = veltrane->slotConfig[veltrane->slotAt(position)];
    master = c.master != 0;
    std::snprintf(label, sizeof label, "%s", c.label);
  }
  if (master) {
    graphics->DrawBitmap(&masterOn, &masterRect, 1, &mBlend);
    graphics->DrawBitmap(&masterHead, &mRECT, 1, &mBlend);
  }
  graphics->DrawIText(&mText, label, &textRect, kCentredText);
  return true;
}
