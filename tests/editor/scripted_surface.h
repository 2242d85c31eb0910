// A headless editor surface whose menus and text fields answer from a script, for driving the editor
// panel as a user would. Menus answer with a path of item indexes through the submenus ({4, 2}: the third
// item of the submenu at item 4); an empty script dismisses. Every menu shown is kept as a text dump.
#pragma once

#include "IControl.h"
#include "IGraphicsLinux.h"
#include "Synth.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ScriptedSurface : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;

  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT*) override
  {
    ReleaseMouseCapture();
    picked = false;
    shown.clear();
    dump(menu, 0);
    ++menusShown;
    if (whileOpen) whileOpen();
    if (answers.empty()) return nullptr;
    const std::vector<int> path = answers.front();
    answers.pop_front();
    if (path.empty()) return nullptr;
    IPopupMenu* m = menu;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      IPopupMenuItem* item = m->GetItem(path[i]);
      if (!item || !item->GetSubmenu()) return nullptr;
      m = item->GetSubmenu();
    }
    IPopupMenuItem* chosen = m->GetItem(path.back());
    if (!chosen || !chosen->GetEnabled()) return nullptr; // a user cannot pick a disabled entry
    m->SetChosenItemIdx(path.back());
    picked = true;
    return m;
  }

  void CreateTextEntry(IControl* control, IText*, IRECT* r, const char* str, IParam*) override
  {
    entryShown = str ? str : "";
    entryRect = *r;
    if (entries.empty()) return;
    if (whileOpen) whileOpen();
    const std::string text = entries.front();
    entries.pop_front();
    control->TextFromTextEntry(text.c_str());
  }

  using IGraphicsLinux::PromptForFile;
  void PromptForFile(WDL_String* fileName, EFileAction action, WDL_String* folder, char* extensions) override
  {
    if (whileOpen) whileOpen();
    IGraphicsLinux::PromptForFile(fileName, action, folder, extensions);
  }

  // The menu as lines: two spaces per level, ">" after a submenu's name, "*" ticked, "!" disabled.
  void dump(IPopupMenu* m, int depth)
  {
    for (int i = 0; i < m->GetNItems(); ++i) {
      IPopupMenuItem* item = m->GetItem(i);
      std::string line(2 * depth, ' ');
      line += item->GetIsSeparator() ? "-" : item->GetText();
      if (item->GetSubmenu()) line += ">";
      if (item->GetChecked()) line += "*";
      if (!item->GetEnabled()) line += "!";
      shown.push_back(line);
      if (item->GetSubmenu()) dump(item->GetSubmenu(), depth + 1);
    }
  }
  bool showed(const std::string& line) const
  {
    for (const std::string& s : shown)
      if (s == line) return true;
    return false;
  }
  int indexOf(const std::string& line) const
  {
    for (size_t i = 0; i < shown.size(); ++i)
      if (shown[i] == line) return (int)i;
    return -1;
  }

  std::deque<std::vector<int>> answers;
  std::deque<std::string> entries;
  std::vector<std::string> shown;
  std::function<void()> whileOpen; // runs while a menu, field or file dialog is open (not answered yet)
  std::string entryShown;
  IRECT entryRect;
  int menusShown = 0;
  bool picked = false; // the last menu shown was answered with an entry
};

// New instances get a scripted surface while one of these lives.
struct UseScriptedSurfaces
{
  UseScriptedSurfaces()
  {
    Synth::surfaceFactory = [](IPlugBase* plug, int w, int h) -> IGraphicsLinux* {
      ScriptedSurface* s = new ScriptedSurface(plug, w, h);
      s->mBundleID.Set(Synth::kBundleID);
      return s;
    };
  }
  ~UseScriptedSurfaces() { Synth::surfaceFactory = nullptr; }
};

inline ScriptedSurface* scripted(Synth* synth)
{
  return static_cast<ScriptedSurface*>(synth->graphics);
}
