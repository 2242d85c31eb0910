#include "tun_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TUN {

const char* ReadWholeFile(const char* path, std::string& text)
{
  text.clear();
  if (!path || !*path) return fileerr::kOpen;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fileerr::kOpen;
  struct stat st;
  const char* error = nullptr;
  if (fstat(fd, &st) != 0)
    error = fileerr::kOpen;
  else if (!S_ISREG(st.st_mode))
    error = fileerr::kNotRegular;
  else if (st.st_size > MaxFileBytes)
    error = fileerr::kTooLarge;
  // The size fstat told: what a file still being written adds meanwhile is not read.
  text.resize(error ? 0 : static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (!error && done < text.size()) {
    const ssize_t got = read(fd, &text[done], text.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = fileerr::kOpen;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  close(fd);
  text.resize(error ? 0 : done);
  return error;
}

} // namespace TUN
