#include "filewrite.h"
#include "fileread.h"

#include "fileerror.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Symbolic links followed before a save gives up with ELOOP (the kernel's own limit for a path).
const int kMaxLinkHops = 40;

// The temporary name is "." + stem + "." + PID + "-" + N + ".part" in the target's folder: 28 bytes besides
// the stem at most (PID and N below 2^32, so 10 digits each), and a name has at most NAME_MAX (255) bytes.
const size_t kMaxStem = NAME_MAX - 28;
// A longer target name is cut to this many bytes (whole UTF-8 characters) and followed by "~" and 8 hex
// digits of a hash of the whole name, so that the stem stays within kMaxStem.
const size_t kCutStem = kMaxStem - 9;

// The stem of the temporary names for a target named `name` (its last path component).
std::string temporaryStem(const std::string& name)
{
  if (name.size() <= kMaxStem) return name;
  size_t cut = kCutStem;
  while (cut > 0 && ((unsigned char)name[cut] & 0xC0) == 0x80) --cut; // not inside a character
  // 32-bit FNV-1a of the whole name
  uint32_t hash = 2166136261u;
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char tail[10];
  std::snprintf(tail, sizeof tail, "~%08x", (unsigned)hash);
  return name.substr(0, cut) + tail;
}

// Skips a number as std::to_string writes one below 2^32: digits, no leading zero unless it is "0".
const char* skipNumber(const char* p)
{
  uint64_t value = 0;
  const char* start = p;
  while (*p >= '0' && *p <= '9' && p - start < 11) value = value * 10 + (uint64_t)(*p++ - '0');
  if (p == start || (*start == '0' && p - start > 1) || value > UINT32_MAX) return nullptr;
  return p;
}

// Whether `entry` is exactly a name that a save to the target with this stem makes, and nothing similar.
bool isTemporaryOf(const char* entry, const std::string& stem)
{
  if (entry[0] != '.' || std::strncmp(entry + 1, stem.c_str(), stem.size()) != 0 || entry[1 + stem.size()] != '.')
    return false;
  const char* p = skipNumber(entry + stem.size() + 2);
  if (p && *p == '-') p = skipNumber(p + 1);
  return p && std::strcmp(p, ".part") == 0;
}

// Whether fd is the file that `name` in the folder dir names now (not one removed or replaced meanwhile).
bool isNamed(int fd, int dir, const char* name)
{
  struct stat opened, named;
  return fstat(fd, &opened) == 0 && fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Removes the temporary files that saves to the target with this stem left in the folder when their process
// ended before it could remove them (a crash, a kill). A save holds an exclusive lock on its temporary file
// from its creation to its rename, so one that can be locked here is dead, whatever process or PID namespace
// made it; one that cannot is a save under way and is kept.
void clearLeftovers(int dir, const std::string& stem)
{
  const int listed = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listed >= 0 ? fdopendir(listed) : nullptr;
  if (!entries) {
    if (listed >= 0) close(listed);
    return; // a folder the user may not list keeps its leftovers
  }
  while (const dirent* entry = readdir(entries)) {
    struct stat st;
    if (!isTemporaryOf(entry->d_name, stem) || fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    const int fd = openat(dir, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    // Still the file locked once the lock is held: its save may have renamed it and ended just before.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && isNamed(fd, dir, entry->d_name)) unlinkat(dir, entry->d_name, 0);
    close(fd);
  }
  closedir(entries);
}

// Creates and locks a new temporary file in the folder dir; its descriptor, or -1 with errno. A clean-up by
// another save may remove a file in the moment between its creation and its lock: then another name is tried.
int createTemporary(int dir, const std::string& stem, mode_t mode, std::string* name)
{
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = "." + stem + "." + std::to_string((unsigned)getpid()) + "-" + std::to_string(counter++) + ".part";
    const int fd = openat(dir, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return -1;
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && isNamed(fd, dir, name->c_str())) return fd;
    close(fd);
  }
  errno = EEXIST;
  return -1;
}

// Blocks SIGXFSZ and SIGPIPE in the calling thread while it lives, so that a write past the file-size limit
// (or to a closed pipe) fails with EFBIG (EPIPE) instead of ending the process; the process's dispositions are
// not touched. On leaving, a signal of the two that became pending meanwhile was raised by these writes and
// is taken away before the mask is restored; one already pending is left alone.
class QuietWrites
{
public:
  QuietWrites()
  {
    sigset_t quiet;
    sigemptyset(&quiet);
    sigaddset(&quiet, SIGXFSZ);
    sigaddset(&quiet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &quiet, &mMask);
    sigpending(&mBefore);
  }
  ~QuietWrites()
  {
    const int error = errno; // of the last write, for the caller
    sigset_t now;
    sigpending(&now);
    for (int sig : {SIGXFSZ, SIGPIPE}) {
      if (!sigismember(&now, sig) || sigismember(&mBefore, sig)) continue;
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, sig);
      const timespec zero{0, 0};
      while (sigtimedwait(&one, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &mMask, nullptr);
    errno = error;
  }
  QuietWrites(const QuietWrites&) = delete;
  QuietWrites& operator=(const QuietWrites&) = delete;

private:
  sigset_t mMask;   // the thread's mask before, restored on leaving
  sigset_t mBefore; // the signals already pending then
};

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

// Reads fd from offset 0 into *bytes, as much as it holds up to bytes->size() (the rest is cut off).
bool readAll(int fd, std::vector<char>* bytes)
{
  size_t got = 0;
  while (got < bytes->size()) {
    const ssize_t n = pread(fd, bytes->data() + got, bytes->size() - got, (off_t)got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += (size_t)n;
  }
  bytes->resize(got);
  return true;
}

// Whether `size` new bytes fit into the room left on fd's file system, `reusable` bytes of it (the old file's
// blocks, when it is overwritten) counted as free. A file system that tells no sizes (f_blocks 0) is trusted.
bool fits(int fd, size_t size, uint64_t reusable)
{
  struct statvfs vfs;
  if (fstatvfs(fd, &vfs) != 0 || vfs.f_blocks == 0 || vfs.f_frsize == 0) return true;
  const uint64_t block = vfs.f_frsize;
  return (uint64_t)size / block + ((uint64_t)size % block != 0) <= (uint64_t)vfs.f_bavail + reusable / block;
}

// The errno for a save of `size` bytes that the process's file-size limit forbids (EFBIG), else 0.
int sizeLimitError(size_t size)
{
  struct rlimit limit;
  return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && (uint64_t)size > limit.rlim_cur
             ? EFBIG
             : 0;
}

// Reads a list or value of attributes whose length is known only by asking: get(nullptr, 0) tells the length,
// get(buffer, size) fills the buffer. Asked again when it grew between the two calls (ERANGE). Its length,
// with *out that long, or -1 with errno.
template <class Get> ssize_t readSized(Get get, std::vector<char>* out)
{
  for (;;) {
    const ssize_t n = get(nullptr, 0);
    if (n < 0) return n;
    try {
      out->resize((size_t)n);
    } catch (const std::bad_alloc&) {
      errno = ENOMEM;
      return -1;
    }
    const ssize_t got = n > 0 ? get(out->data(), out->size()) : 0;
    if (got >= 0) {
      out->resize((size_t)got);
      return got;
    }
    if (errno != ERANGE) return got;
  }
}

// The names of fd's extended attributes, each ended by a NUL, into *names; false with errno when they cannot
// be listed (ENOTSUP: the file system keeps none).
bool listAttributes(int fd, std::vector<char>* names)
{
  return readSized([fd](char* buf, size_t size) { return flistxattr(fd, buf, size); }, names) >= 0;
}

// The value of fd's attribute `name` into *value; its length, or -1 with errno.
ssize_t attributeValue(int fd, const char* name, std::vector<char>* value)
{
  return readSized([fd, name](char* buf, size_t size) { return fgetxattr(fd, name, buf, size); }, value);
}

bool hasName(const std::vector<char>& names, const char* name)
{
  for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1)
    if (std::strcmp(names.data() + at, name) == 0) return true;
  return false;
}

// Gives the temporary file `to` every extended attribute of the old file `from` (its ACL among them, stored
// as system.posix_acl_access) and no other, but for the security labels the system gives it. False when one
// of them cannot be read or set as it is (not allowed, or not kept by the temporary file's file system).
bool copyAttributes(int from, int to)
{
  std::vector<char> names, value, given;
  if (!listAttributes(from, &names)) return errno == ENOTSUP; // none kept where the old file is
  for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
    const char* name = names.data() + at;
    const ssize_t n = attributeValue(from, name, &value);
    if (n < 0 && errno == ENODATA) continue; // removed meanwhile
    if (n < 0) return false;
    if (fsetxattr(to, name, value.data(), (size_t)n, 0) == 0) continue;
    // A label the new file already carries may be refused where it is not needed.
    if (attributeValue(to, name, &given) != n || !std::equal(given.begin(), given.begin() + n, value.begin()))
      return false;
  }
  // What the folder gave the new file (its default ACL) but the old one did not carry.
  std::vector<char> own;
  if (!listAttributes(to, &own)) return true;
  for (size_t at = 0; at < own.size(); at += std::strlen(own.data() + at) + 1) {
    const char* name = own.data() + at;
    if (!hasName(names, name) && std::strncmp(name, "security.", 9) != 0 && fremovexattr(to, name) != 0) return false;
  }
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

// Writes the regular file open as fd (read and write) in place, for when it cannot be replaced by a new file:
// its folder may not be written to, the file has other names (hard links) that must all see the new bytes,
// it is someone else's and a new file could not be theirs, or it carries attributes a new file could not.
// The old bytes are read into memory first and put back when the write fails part way (a full disk, a
// file-size limit), so that a failed save leaves the file as it was. This is not one step like a rename: a
// crash in the middle can leave the file half written, and two saves in place to one file at the same moment
// can mix their bytes.
bool writeInPlace(int fd, const struct stat& st, const void* data, size_t size, int* err)
{
  // The old blocks are overwritten, so they count as room.
  if (!fits(fd, size, (uint64_t)st.st_blocks * 512)) {
    *err = ENOSPC;
    return false;
  }
  std::vector<char> old;
  bool ok = true;
  try {
    old.resize((size_t)st.st_size);
  } catch (const std::bad_alloc&) {
    ok = false;
    errno = ENOMEM;
  }
  if (!ok || !readAll(fd, &old)) {
    *err = errno;
    return false;
  }
  QuietWrites quiet;
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
  return ok;
}

// Writes the new file through a temporary one in the folder dir (named after `stem`) and renames it over `name`
// there; the old file (when there is one) is open as old, with its status st. 1 when saved, 0 when it failed
// (*err set), -1 when the old file must be written in place instead (nothing was written and no temporary file
// is left).
int writeReplacing(int dir, const std::string& name, const std::string& stem, int old, const struct stat* st,
                   const void* data, size_t size, int* err)
{
  std::string temporary;
  const int fd = createTemporary(dir, stem, st ? (st->st_mode & 07777) : 0666, &temporary);
  if (fd < 0) {
    // A file the user may write in a folder they may not.
    if ((errno == EACCES || errno == EPERM) && st) return -1;
    *err = errno;
    return 0;
  }
  auto drop = [&](int result) {
    unlinkat(dir, temporary.c_str(), 0); // before the close, while it is still locked
    close(fd);
    return result;
  };
  if (st) {
    // The old file's owner and group: replaced by the saver's, a file that root saves would shut out its
    // owner, and one shared in a group its group. Where they may not be given (someone else's file), in place.
    if (fchown(fd, st->st_uid, st->st_gid) != 0) return drop(-1);
    fchmod(fd, st->st_mode & 07777); // exactly the old bits, whatever the umask took away
    if (!copyAttributes(old, fd)) return drop(-1);
  }
  if (!fits(fd, size, 0)) {
    *err = ENOSPC;
    return drop(0);
  }
  // The bytes reach the disk before the name points to them: a crash leaves the old file or the new one.
  // The lock is held through a second descriptor of the same open file until the rename, after the close of
  // the first has told whether the bytes are stored.
  bool ok;
  {
    QuietWrites quiet;
    size_t done = 0;
    ok = writeAll(fd, data, size, &done) && fsync(fd) == 0;
  }
  if (!ok) {
    *err = errno;
    return drop(0);
  }
  const int held = dup(fd);
  if (held < 0) {
    *err = errno;
    return drop(0);
  }
  ok = closeAfter(fd, true, err);
  if (ok && renameat(dir, temporary.c_str(), dir, name.c_str()) != 0) {
    ok = false;
    *err = errno;
  }
  if (!ok) unlinkat(dir, temporary.c_str(), 0);
  close(held);
  if (!ok) return 0;
  // The rename itself is recorded in the folder. Its flush is not checked: the new file is in place by then,
  // and a save reported as failed would say the old one still is.
  fsync(dir);
  return 1;
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
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

  // Anything but a regular file (a folder, a pipe, a device, a socket) is refused untouched: a pipe without a
  // reader would block the save for ever, and a device cannot keep the old bytes for a failure. Opening does
  // not block either, and what was opened is checked again, whatever the name pointed to a moment before.
  struct stat st;
  const bool present = stat(target.c_str(), &st) == 0;
  if (!present && errno != ENOENT) {
    *err = errno;
    return false;
  }
  if (name.empty() || (present && !S_ISREG(st.st_mode))) {
    *err = WDL_ENOTREGULAR;
    return false;
  }
  if ((*err = sizeLimitError(size)) != 0) return false;
  int old = -1;
  if (present) {
    // Read and write: a write-protected file (0444) is refused with EACCES, though its folder would allow a
    // rename over it, and the old bytes (in place) and attributes (replaced) must be readable.
    old = WDL_OpenRegularFile(target.c_str(), err, true);
    if (old < 0) return false;
    if (fstat(old, &st) != 0) { // what was opened: another file may have taken the name since
      *err = errno;
      close(old);
      return false;
    }
  }
  // The folder by descriptor: names within it stay short however long the path to it is.
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) dir = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); // one the user may not list
  int result = 0;
  if (dir < 0) {
    *err = errno;
  } else {
    const std::string stem = temporaryStem(name);
    clearLeftovers(dir, stem);
    if (present && st.st_nlink > 1)
      result = -1; // a rename would part a file from its other names, which would keep the old bytes
    else
      result = writeReplacing(dir, name, stem, old, present ? &st : nullptr, data, size, err);
    close(dir);
  }
  if (result < 0) return closeAfter(old, writeInPlace(old, st, data, size, err), err);
  if (old >= 0) close(old); // only read from: its close tells nothing about the save
  return result == 1;
}
