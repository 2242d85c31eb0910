#include "filewrite.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all bytes to fd, through short writes and interruptions.
bool writeAll(int fd, const void* data, size_t size)
{
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= (size_t)n;
  }
  return true;
}

// Writes and closes fd; errno of the first step that failed in *err.
bool writeAndClose(int fd, const void* data, size_t size, int* err)
{
  bool ok = writeAll(fd, data, size);
  if (!ok) *err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    *err = errno;
  }
  return ok;
}

} // namespace

bool WDL_WriteWholeFile(const char* path, const void* data, size_t size, int* err)
{
  int ignored = 0;
  if (!err) err = &ignored;
  *err = 0;
  if (!path || !*path || (size > 0 && !data)) {
    *err = EINVAL;
    return false;
  }
  std::string target = path;
  struct stat st;
  const bool exists = lstat(path, &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* real = realpath(path, nullptr);
    if (real) {
      target = real;
      std::free(real);
    }
  }
  const bool present = stat(target.c_str(), &st) == 0;
  auto inPlace = [&] {
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
      *err = errno;
      return false;
    }
    return writeAndClose(fd, data, size, err);
  };
  if (present && !S_ISREG(st.st_mode)) return inPlace();

  // The temporary file beside the target: a rename within one file system replaces it in one step.
  static std::atomic<unsigned> counter{0};
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // (A long name is cut so that the temporary one stays within the 255 bytes a name may have.)
  const std::string name = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = folder + "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, present ? (st.st_mode & 07777) : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    // A file the user may write in a folder they may not: only in place (the one case without a spare).
    if ((errno == EACCES || errno == EPERM) && present && access(target.c_str(), W_OK) == 0) return inPlace();
    *err = errno;
    return false;
  }
  if (present) fchmod(fd, st.st_mode & 07777); // exactly the old bits, whatever the umask took away
  if (!writeAndClose(fd, data, size, err) || rename(temporary.c_str(), target.c_str()) != 0) {
    if (!*err) *err = errno;
    unlink(temporary.c_str());
    return false;
  }
  return true;
}
