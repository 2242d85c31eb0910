// What in-process tests, fuzz targets and benchmarks of the plug-ins need of a host.
#pragma once

#include "VST24Linux.h"

#include <cstdlib>
#include <string>

// The host callback of a plug-in made without a host: it reports version 2.4 and answers
// nothing else.
inline VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

#ifdef VELTRANE_INIT_BANK
// Makes the folder of the generated start-up bank the resources folder of every Veltrane made
// afterwards in this process.
inline void UseGeneratedStartupBank()
{
  std::string folder = VELTRANE_INIT_BANK;
  folder.resize(folder.rfind('/') + 1);
  setenv("VELTRANE_RESOURCES", folder.c_str(), 1);
}
#endif
