// Shows a plug-in's editor the way a Linux DAW does: a top-level X11 window of the editor's size whose id
// goes to effEditOpen, effEditIdle about 30 times a second, and the editor closed when the window is.
#pragma once

#include "Host.h"

#include <string>

namespace vsthost {

struct EditorOptions
{
  double closeAfterSeconds = -1.0; // >= 0: close the window by itself after this time
  int idleHz = 30;                 // effEditIdle calls a second
};

// Runs until the user closes the window (or the time runs out, or SIGINT/SIGTERM arrives), then closes the
// editor: at once, with a menu, text field or message box of the plug-in open too (hiding the window dismisses
// it). False with a reason when there is no display or the plug-in has no editor.
bool RunEditor(Plugin& plugin, const EditorOptions& options, std::string* error);

} // namespace vsthost
