// IPopupMenu: the platform-neutral description of a popup menu: entries with a text, flags and an optional
// submenu, a numbering mode, and the index of the entry the user chose (set by the presentation). The
// menu owns its entries; submenus belong to whoever made them.
#pragma once

#include "ptrlist.h"
#include "wdlstring.h"

class IPopupMenu;

class IPopupMenuItem
{
public:
  enum Flags { kNoFlags = 0, kDisabled = 1, kTitle = 2, kChecked = 4, kSeparator = 8 };

  IPopupMenuItem(const char* text, int flags = kNoFlags) : mText(text ? text : ""), mFlags(flags) {}
  IPopupMenuItem(const char* text, IPopupMenu* submenu) : mText(text ? text : ""), mSubmenu(submenu) {}

  const char* GetText() const { return mText.Get(); }
  void SetText(const char* text) { mText.Set(text ? text : ""); }
  int GetFlags() const { return mFlags; }
  void SetFlags(int flags) { mFlags = flags; }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
  void SetChecked(bool checked) { mFlags = checked ? (mFlags | kChecked) : (mFlags & ~kChecked); }

private:
  WDL_String mText;
  IPopupMenu* mSubmenu = nullptr; // not owned
  int mFlags = kNoFlags;
};

class IPopupMenu
{
public:
  IPopupMenu() = default;
  ~IPopupMenu();
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // index -1 appends; any other index is clamped to 0..count and the entries from there move back.
  IPopupMenuItem* AddItem(IPopupMenuItem* item, int index = -1);
  IPopupMenuItem* AddItem(const char* text, int index = -1, int flags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* submenu);
  IPopupMenuItem* AddItem(const char* text, IPopupMenu* submenu);
  IPopupMenuItem* AddSeparator(int index = -1);

  IPopupMenuItem* GetItem(int index) const { return index >= 0 ? mItems.Get(index) : nullptr; }
  const char* GetItemText(int index) const { return mItems.Get(index)->GetText(); }
  int GetNItems() const { return mItems.GetSize(); }

  // 0 titles as they are; 1, 2, 3: "%1d: ", "%02d: ", "%03d: " before each (1-based position).
  void SetPrefix(int mode)
  {
    if (mode >= 0 && mode <= 3) mPrefix = mode;
  }
  int GetPrefix() const { return mPrefix; }
  // The title an entry shows, with its number prefix.
  void GetDisplayText(int index, WDL_String* out) const;

  bool CheckItem(int index, bool checked);
  void CheckItemAlone(int index);
  bool IsItemChecked(int index) const;

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }

private:
  int mPrefix = 0;
  int mChosenItemIdx = -1;
  WDL_PtrList<IPopupMenuItem> mItems;
};
