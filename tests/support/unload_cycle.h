// A host's load, edit and unload cycle of a plug-in file, and the heap around it.
#pragma once

#include "plugin_host.h"
#include "sanitized.h"

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <string>
#include <utility>
#ifdef VELTRANE_SANITIZED
#include <sanitizer/allocator_interface.h>
#endif

// Heap bytes in use: the sanitizer's count in its builds, the C library's otherwise.
inline size_t AllocatedBytes()
{
#ifdef VELTRANE_SANITIZED
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks + mallinfo2().hblkhd;
#endif
}

// The file loaded, an instance opened, its editor opened in `parent` (null: headless) and given `idles` idle
// calls `gapMs` apart (it draws on them), both closed, the file unloaded and gone from the process. Empty
// when all went so, else what did not.
inline std::string LoadEditUnload(const char* path, void* parent = nullptr, int idles = 3, int gapMs = 0)
{
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) return dlerror();
  auto make = (VstPluginEntryProc)dlsym(library, "VSTPluginMain");
  AEffect* e = make ? make(QuietHost) : nullptr;
  std::string failed = e ? "" : "no instance";
  if (e) {
    for (auto [opcode, value] : {std::pair{effOpen, 0}, {effSetBlockSize, 64}, {effMainsChanged, 1}})
      e->dispatcher(e, opcode, 0, value, nullptr, 0.0f);
    if (e->dispatcher(e, effEditOpen, 0, 0, parent, 0.0f) != 1) failed = "the editor did not open";
    for (int i = 0; i < idles && failed.empty(); ++i) {
      usleep(1000 * gapMs);
      e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    }
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
  if (dlclose(library) != 0) return dlerror();
  if (void* still = dlopen(path, RTLD_NOW | RTLD_NOLOAD)) { // the loader keeps it (a unique symbol, say)
    dlclose(still);
    return "the file stays loaded";
  }
  return failed;
}
