#include "IPopupMenu.h"

IPopupMenu::~IPopupMenu()
{
  for (int i = mItems.GetSize() - 1; i >= 0; --i) mItems.Delete(i, true);
}

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* item, int index)
{
  const int n = mItems.GetSize();
  if (index == -1 || index > n) index = n;
  if (index < 0) index = 0;
  mItems.Insert(index, item);
  return item;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int flags)
{
  return AddItem(new IPopupMenuItem(text, flags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* submenu)
{
  return AddItem(new IPopupMenuItem(text, submenu), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu)
{
  return AddItem(new IPopupMenuItem(text, submenu), -1);
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index)
{
  return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

void IPopupMenu::GetDisplayText(int index, WDL_String* out) const
{
  const IPopupMenuItem* item = GetItem(index);
  static const char* const kFormats[4] = {nullptr, "%1d: ", "%02d: ", "%03d: "};
  out->Set("");
  if (mPrefix > 0) out->SetFormatted(16, kFormats[mPrefix], index + 1);
  if (item) out->Append(item->GetText());
}

bool IPopupMenu::CheckItem(int index, bool checked)
{
  IPopupMenuItem* item = GetItem(index);
  if (!item) return false;
  item->SetChecked(checked);
  return true;
}

void IPopupMenu::CheckItemAlone(int index)
{
  for (int i = 0; i < mItems.GetSize(); ++i) mItems.Get(i)->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const IPopupMenuItem* item = GetItem(index);
  return item && item->GetChecked();
}
