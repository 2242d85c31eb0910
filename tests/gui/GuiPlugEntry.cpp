// The exported entry points of GuiPlug.so.
#include "GuiPlug.h"

IPLUG_VST_ENTRY(GuiPlug)
