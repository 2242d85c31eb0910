#include "Files.h"

#include "fileerror.h"
#include "fileread.h"
#include "filewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace vsthost {

namespace {
// "not a regular file (a pipe, a device or a socket)" for the error the readers and the writer give such a
// path, the system's text for any other errno.
std::string FileErrorText(int err)
{
  return err == WDL_ENOTREGULAR ? "not a regular file (a pipe, a device or a socket)" : std::strerror(err);
}
} // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error, int64_t limit)
{
  bytes->clear();
  int err = 0;
  const auto room = [bytes](int size) -> void* {
    try {
      bytes->resize((size_t)size);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return bytes->data();
  };
  if (WDL_ReadWholeFile(path.c_str(), limit, room, &err)) return true;
  bytes->clear();
  struct stat st;
  const bool known = stat(path.c_str(), &st) == 0;
  if (err == WDL_ENOTREGULAR && known && S_ISDIR(st.st_mode)) {
    *error = path + " is a folder, not a file";
  } else if (err == EFBIG) {
    // The reader also refuses 2 GiB and more, whatever the limit: one read takes less.
    const int64_t most = std::min<int64_t>(limit, WDL_MAX_WHOLE_FILE);
    *error = "cannot read " + path + ": too large (" + (known ? std::to_string((int64_t)st.st_size) + " bytes, " : "") +
             "at most " + std::to_string(most) + ")";
  } else {
    // What the open refused (missing, no permission) or what went wrong once it was open.
    *error =
        std::string(err == EIO || err == ENOMEM ? "cannot read " : "cannot open ") + path + ": " + FileErrorText(err);
  }
  return false;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string* error)
{
  int err = 0;
  if (WDL_WriteWholeFile(path.c_str(), data, size, &err)) return true;
  *error = "cannot write " + path + ": " + FileErrorText(err) + " (a file that was there is left as it was)";
  return false;
}

bool CanWrite(const std::string& path, std::string* error)
{
  struct stat st;
  const bool present = stat(path.c_str(), &st) == 0;
  if (present && S_ISDIR(st.st_mode)) {
    *error = "cannot write " + path + ": it is a folder";
    return false;
  }
  if (present && !S_ISREG(st.st_mode)) {
    *error = "cannot write " + path + ": " + FileErrorText(WDL_ENOTREGULAR);
    return false;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "cannot write " + path + ": there is no folder " + folder;
    return false;
  }
  if (access(folder.c_str(), W_OK) != 0 || (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

} // namespace vsthost
