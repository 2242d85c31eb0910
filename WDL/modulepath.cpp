#include "modulepath.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

std::string WorkingFolder()
{
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return "";
  std::string folder = cwd;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Resolve()
{
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&Resolve), &info) || !info.dli_fname || !*info.dli_fname) return "";
  std::string file = info.dli_fname;
  const std::string::size_type slash = file.rfind('/');
  if (slash == std::string::npos) {
    // A bare name: the program as started through PATH (its real file then names the folder), or a
    // library found in the working directory.
    char exe[PATH_MAX];
    if (realpath("/proc/self/exe", exe)) {
      const std::string real = exe;
      const std::string::size_type exeSlash = real.rfind('/');
      if (exeSlash != std::string::npos && real.compare(exeSlash + 1, std::string::npos, file) == 0)
        return real.substr(0, exeSlash + 1);
    }
    return WorkingFolder();
  }
  std::string folder = file.substr(0, slash + 1);
  if (folder[0] == '/') return folder;
  while (folder.compare(0, 2, "./") == 0) folder.erase(0, 2);
  const std::string cwd = WorkingFolder();
  return cwd.empty() ? "" : cwd + folder;
}

const std::string& Folder()
{
  static const std::string folder = Resolve();
  return folder;
}

// Worked out during the file's static initialisation, before the host can change directory.
const bool kResolvedAtLoad = !Folder().empty();

} // namespace

const char* WDL_ModuleFolder()
{
  (void)kResolvedAtLoad;
  return Folder().c_str();
}
