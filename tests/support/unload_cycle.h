// A host's load, edit and unload cycle of a plug-in file, and the process's memory around it: what tests and
// benchmarks of unloading measure.
#pragma once

#include "plugin_host.h"
#include "sanitized.h"

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>
#ifdef VELTRANE_SANITIZED
#include <sanitizer/allocator_interface.h>
#endif

// Heap bytes in use: the sanitizer's count in its builds, the C library's otherwise.
inline size_t AllocatedBytes()
{
#ifdef VELTRANE_SANITIZED
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
#endif
}

// Resident bytes of the process, after the C library has given its free pages back.
inline long ResidentBytes()
{
  malloc_trim(0);
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Whether a file (by its full path) is mapped into the process.
inline bool FileMapped(const std::string& path)
{
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find(path) != std::string::npos) return true;
  return false;
}

// The plug-in file loaded, an instance opened (44.1 kHz, blocks of 64), its editor opened in `parent` (null:
// headless), given `idles` idle calls `gapMs` apart (the editor draws on them; in a window, on the events and
// timer ticks they find), closed with the instance, and the file unloaded. An empty answer when all of it
// went; else what failed.
inline std::string LoadEditUnload(const char* path, void* parent = nullptr, int idles = 3, int gapMs = 0)
{
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) return dlerror();
  std::string failed;
  auto make = (VstPluginEntryProc)dlsym(library, "VSTPluginMain");
  AEffect* e = make ? make(QuietHost) : nullptr;
  if (!e) failed = "no instance";
  if (e) {
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, effSetBlockSize, 0, 64, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    if (e->dispatcher(e, effEditOpen, 0, 0, parent, 0.0f) == 1) {
      for (int i = 0; i < idles; ++i) {
        if (gapMs > 0) usleep(1000 * gapMs);
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
      }
      e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    } else {
      failed = "the editor did not open";
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
  if (dlclose(library) != 0) failed = dlerror();
  return failed;
}
