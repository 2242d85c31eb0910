#include "filewrite.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Symbolic links followed before a save gives up with ELOOP (the kernel's own limit for a path).
const int kMaxLinkHops = 40;

// Writes all bytes to fd at its offset, through short writes and interruptions; *done counts the bytes
// that reached the file, also when it fails.
bool writeAll(int fd, const void* data, size_t size, size_t* done)
{
  const char* p = static_cast<const char*>(data);
  *done = 0;
  while (*done < size) {
    const ssize_t n = write(fd, p + *done, size - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO; // (a write of nothing that reports no error)
    if (n <= 0) return false;
    *done += (size_t)n;
  }
  return true;
}

// Closes fd after its writes: ok unless they failed (*err already says why) or the close does (*err then
// takes its errno).
bool closeAfter(int fd, bool ok, int* err)
{
  if (close(fd) != 0 && ok) {
    *err = errno;
    return false;
  }
  return ok;
}

// Reads fd from its offset into *bytes, as much as it holds up to bytes->size() (the rest is cut off).
bool readAll(int fd, std::vector<char>* bytes)
{
  size_t got = 0;
  while (got < bytes->size()) {
    const ssize_t n = read(fd, bytes->data() + got, bytes->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += (size_t)n;
  }
  bytes->resize(got);
  return true;
}

// The file a path names, through symbolic links whether their targets exist or not (a link to a file that is
// not there yet names the file to create). A relative link is read from the link's own folder.
bool followLinks(std::string* path, int* err)
{
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st;
    if (lstat(path->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    char to[PATH_MAX];
    const ssize_t n = readlink(path->c_str(), to, sizeof to);
    if (n <= 0 || (size_t)n >= sizeof to) {
      *err = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    const size_t slash = path->rfind('/');
    *path = (to[0] == '/' || slash == std::string::npos ? "" : path->substr(0, slash + 1)) + std::string(to, (size_t)n);
  }
  *err = ELOOP;
  return false;
}

// Removes the temporary files ".name.PID-N.part" that saves to this name left in the folder when their
// process ended before it could remove them (a crash, a kill). A file whose PID runs (again, perhaps as
// another program) is kept: it may be a save under way, and a later save clears it once that PID is gone.
void clearLeftovers(const std::string& folder, const std::string& name)
{
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  const std::string prefix = "." + name + ".";
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    const char* digits = entry->d_name + prefix.size();
    char* end = nullptr;
    const long pid = std::isdigit((unsigned char)*digits) ? std::strtol(digits, &end, 10) : 0;
    if (pid <= 0 || pid > INT_MAX || *end != '-' || !std::isdigit((unsigned char)end[1])) continue;
    std::strtoul(end + 1, &end, 10);
    if (std::strcmp(end, ".part") == 0 && kill((pid_t)pid, 0) != 0 && errno == ESRCH)
      unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

// Writes a regular file in place, for when it cannot be replaced by a new file: its folder may not be
// written to, the file has other names (hard links) that must all see the new bytes, or it is someone else's
// and a new file could not be theirs. The old bytes are read into memory first and put back when the write
// fails part way (a full disk, a file-size limit), so that a failed save leaves the file as it was. This is
// not one step like a rename: a crash in the middle can leave the file half written, and two saves in place
// to one file at the same moment can mix their bytes.
bool writeInPlace(const std::string& target, const void* data, size_t size, int* err)
{
  const int fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  std::vector<char> old;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  try {
    if (ok) old.resize((size_t)st.st_size);
  } catch (const std::bad_alloc&) {
    ok = false;
    errno = ENOMEM;
  }
  ok = ok && readAll(fd, &old) && lseek(fd, 0, SEEK_SET) == 0;
  if (!ok) {
    *err = errno;
    close(fd);
    return false;
  }
  size_t done = 0;
  ok = writeAll(fd, data, size, &done);
  const bool cut = ok && size < old.size();
  ok = ok && ftruncate(fd, (off_t)size) == 0 && fsync(fd) == 0;
  if (!ok) {
    *err = errno;
    // Only the bytes overwritten go back (past them the file still holds the old ones, and a file-size limit
    // would refuse a write there), then the old length. Should this fail too, the first error is reported.
    const size_t back = cut ? old.size() : std::min(done, old.size());
    if (lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, old.data(), back, &done) && ftruncate(fd, (off_t)old.size()) == 0)
      fsync(fd);
  }
  return closeAfter(fd, ok, err);
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
  if (!followLinks(&target, err)) return false;
  struct stat st;
  const bool present = stat(target.c_str(), &st) == 0;
  if (present && !S_ISREG(st.st_mode)) {
    // A device or a pipe cannot be replaced, only written.
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    size_t done = 0;
    const bool ok = fd >= 0 && writeAll(fd, data, size, &done);
    if (!ok) *err = errno;
    return fd >= 0 && closeAfter(fd, ok, err);
  }

  // The temporary file beside the target: a rename within one file system replaces it in one step.
  static std::atomic<unsigned> counter{0};
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // (A long name is cut so that the temporary one stays within the 255 bytes a name may have.)
  const std::string name = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
  clearLeftovers(folder, name);
  // A rename would replace a file that its permissions protect: the folder's, not the file's, allow that.
  if (present && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    *err = errno;
    return false;
  }
  // A rename would part a file from its other names, which would keep the old bytes.
  if (present && st.st_nlink > 1) return writeInPlace(target, data, size, err);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = folder + "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, present ? (st.st_mode & 07777) : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    // A file the user may write in a folder they may not.
    if ((errno == EACCES || errno == EPERM) && present) return writeInPlace(target, data, size, err);
    *err = errno;
    return false;
  }
  // The old file's owner and group: replaced by the saver's, a file that root saves would shut out its owner,
  // and one shared in a group its group. Where they may not be given (someone else's file), in place.
  if (present && fchown(fd, st.st_uid, st.st_gid) != 0) {
    close(fd);
    unlink(temporary.c_str());
    return writeInPlace(target, data, size, err);
  }
  if (present) fchmod(fd, st.st_mode & 07777); // exactly the old bits, whatever the umask took away
  // The bytes reach the disk before the name points to them: a crash leaves the old file or the new one.
  size_t done = 0;
  bool ok = writeAll(fd, data, size, &done) && fsync(fd) == 0;
  if (!ok) *err = errno;
  ok = closeAfter(fd, ok, err);
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    *err = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself is recorded in the folder. Its flush is not checked: the new file is in place by then,
  // and a save reported as failed would say the old one still is.
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}
