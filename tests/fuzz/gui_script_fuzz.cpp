// Scripts of user actions for the headless editor, from arbitrary text: the parser takes a script whole or
// queues nothing, and playing it on a surface whose controls open menus, text fields and message boxes
// always ends with every modal element closed.
#include "IControl.h"
#include "IGraphicsLinux.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Left click: a menu with a submenu; right click: a free text field; double click: a message box.
class Prompter : public IControl
{
public:
  Prompter(IGraphics* g, IRECT r) : IControl(nullptr, r), mG(g)
  {
    mSub.AddItem("a");
    mSub.AddItem("b", -1, IPopupMenuItem::kChecked);
    mMenu.AddItem("one");
    mMenu.AddSeparator();
    mMenu.AddItem("sub", &mSub);
    mMenu.AddItem("off", -1, IPopupMenuItem::kDisabled);
  }
  void OnMouseDown(int, int, IMouseMod* mod) override
  {
    if (mod->R)
      mG->CreateTextEntry(this, &mText, &mRECT, "text", nullptr);
    else
      mG->CreateIPopupMenu(&mMenu, &mRECT);
  }
  void OnMouseDblClick(int, int, IMouseMod*) override { mG->ShowMessageBox("Sure?\nReally?", "Ask", 3); }
  bool Draw(IGraphics* g) override
  {
    const IColor c(255, 100, 100, 100);
    return g->FillIRect(&c, &mRECT);
  }

private:
  IGraphics* mG;
  IPopupMenu mMenu, mSub;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > 1024) return 0; // keeps the ticks a script may ask for within a fuzzing run's time
  const std::string text(reinterpret_cast<const char*>(data), size);
  IGraphicsLinux g(nullptr, 200, 120);
  g.PrepDraw();
  const IColor bg(255, 20, 20, 20);
  g.AttachPanelBackground(&bg);
  g.AttachControl(new Prompter(&g, IRECT(10, 10, 60, 30)));
  g.AttachControl(new Prompter(&g, IRECT(150, 90, 200, 120)));
  g.mEnableTooltips = true;
  g.GetControl(1)->SetTooltip("tip");
  g.OpenWindow(nullptr);
  std::string error;
  if (!g.ScriptText(text.c_str(), &error)) {
    if (g.QueuedEvents() != 0 || error.empty()) std::abort();
    return 0;
  }
  g.PlayScript();
  if (g.ModalOpen() || g.QueuedEvents() != 0) std::abort();
  return 0;
}
