// The fuzz targets' scratch files: in a folder of the process's own in the system's temporary folder (TMPDIR,
// else /tmp), made at first use and removed with what it holds when the process exits. Runs side by side never
// share a file, and none is left behind.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline const char* ScratchFolder()
{
  static char folder[4096]; // a plain array: it outlives every exit handler
  static const bool made = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(folder, sizeof folder, "%s/veltrane_fuzz_XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(folder)) std::abort();
    std::atexit([] {
      if (DIR* d = opendir(folder)) {
        while (dirent* e = readdir(d))
          if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            unlink((std::string(folder) + "/" + e->d_name).c_str());
        closedir(d);
      }
      rmdir(folder);
    });
    return true;
  }();
  (void)made;
  return folder;
}

// A file of the scratch folder.
inline std::string ScratchPath(const char* name)
{
  return std::string(ScratchFolder()) + "/" + name;
}
