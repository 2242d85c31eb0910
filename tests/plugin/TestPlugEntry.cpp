// The exported entry points of the TestPlug plug-in (.so).
#include "TestPlug.h"

IPLUG_VST_ENTRY(TestPlug)
