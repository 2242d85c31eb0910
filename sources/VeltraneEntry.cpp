// The plug-in's exported entry points: one Veltrane per host instance.
#include "Veltrane.h"

IPLUG_VST_ENTRY(Veltrane)
