#include "fileread.h"

#include "fileerror.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kAlign = 8192;

// A positional read that survives interruptions; the bytes read, 0 at the end or on an error.
int64_t readAt(int fd, void* buf, int64_t len, int64_t offset)
{
  int64_t done = 0;
  while (done < len) {
    const ssize_t r = pread(fd, (char*)buf + done, (size_t)(len - done), (off_t)(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += r;
  }
  return done;
}
} // namespace

int WDL_OpenRegularFile(const char* path, int* err, bool forWriting)
{
  int e = ENOENT;
  int fd = -1;
  if (path && *path) {
    fd = open(path, (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    e = errno == ENXIO || errno == EISDIR ? WDL_ENOTREGULAR : errno; // a socket, or a folder opened to write
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      e = WDL_ENOTREGULAR;
      close(fd);
      fd = -1;
    }
    // Reads of a regular file never wait on O_NONBLOCK anyway; cleared so that callers see plain reads.
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (fd < 0 && err) *err = e;
  return fd;
}

bool WDL_ReadWholeFile(const char* path, int64_t maxBytes, const std::function<void*(int size)>& room, int* err)
{
  int e = 0;
  const int fd = WDL_OpenRegularFile(path, &e);
  if (fd < 0) {
    if (err) *err = e;
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (!ok) e = errno;
  if (ok && (st.st_size > maxBytes || st.st_size > WDL_MAX_WHOLE_FILE)) {
    ok = false;
    e = EFBIG;
  }
  if (ok && st.st_size > 0) {
    const int size = (int)st.st_size;
    void* to = room(size);
    ok = to != nullptr;
    if (!ok) e = ENOMEM;
    // A file that shrank meanwhile reads short: refused as a failed read.
    if (ok && readAt(fd, to, size, 0) != size) {
      ok = false;
      e = EIO;
    }
  }
  close(fd);
  if (!ok && err) *err = e;
  return ok;
}

WDL_FileRead::WDL_FileRead(const char* path, int allow_async, int bufsize, int nbufs, unsigned int mmap_minsize,
                           unsigned int mmap_maxsize)
    : mBuffer(4096)
{
  if (!path) return;
  mFd = WDL_OpenRegularFile(path);
  if (mFd < 0) return;
  mLocked = flock(mFd, LOCK_SH | LOCK_NB) == 0;
  mSizeMayChange = !mLocked;
  if (allow_async == 1 || allow_async == -1) {
    // The pages are read once, front to back: no point in keeping them cached.
    posix_fadvise(mFd, 0, 0, POSIX_FADV_NOREUSE);
    mUncached = true;
  }
  const off_t end = lseek(mFd, 0, SEEK_END);
  mFsize = end > 0 ? (int64_t)end : 0;
  lseek(mFd, 0, SEEK_SET);

  if (mFsize < (int64_t)mmap_maxsize) {
    if (mFsize > 0 && mFsize >= (int64_t)mmap_minsize) {
      void* view = mmap(nullptr, (size_t)mFsize, PROT_READ, MAP_SHARED, mFd, 0);
      if (view != MAP_FAILED) {
        mWhole = (unsigned char*)view;
        mMapped = true;
      }
    }
    if (!mWhole && mFsize > 0) {
      mWhole = (unsigned char*)std::malloc((size_t)mFsize);
      if (mWhole && readAt(mFd, mWhole, mFsize, 0) != mFsize) {
        std::free(mWhole);
        mWhole = nullptr;
      }
    }
    if (mWhole || mFsize == 0) {
      mSizeMayChange = false;
      return;
    }
  }

  if (bufsize < 1) bufsize = 1;
  const int64_t rounded = ((int64_t)bufsize + kAlign - 1) / kAlign * kAlign;
  const int64_t space = nbufs > 0 ? rounded * nbufs : 0;
  if (space >= kAlign && space + kAlign - 1 < (1 << 30)) {
    if (mBuffer.Resize((int)(space + kAlign - 1), false) && mBuffer.GetSize() == (int)(space + kAlign - 1)) {
      const uintptr_t at = ((uintptr_t)mBuffer.Get() + kAlign - 1) & ~(uintptr_t)(kAlign - 1);
      mBlock = (unsigned char*)at;
      mBlockSize = (int)space;
    }
  }
}

WDL_FileRead::~WDL_FileRead()
{
  if (mWhole) {
    if (mMapped)
      munmap(mWhole, (size_t)mFsize);
    else
      std::free(mWhole);
  }
  if (mFd >= 0) {
    if (mLocked) flock(mFd, LOCK_UN);
    close(mFd);
  }
}

void WDL_FileRead::RefreshSize()
{
  struct stat st;
  if (fstat(mFd, &st) == 0 && st.st_size >= 0) mFsize = (int64_t)st.st_size;
}

int WDL_FileRead::Read(void* buf, int len)
{
  if (mFd < 0 || len < 1 || !buf) return 0;
  if (mWhole || (mFsize == 0 && !mSizeMayChange)) {
    const int64_t left = mFsize - mPosition;
    const int n = left <= 0 ? 0 : (left < len ? (int)left : len);
    if (n > 0) std::memcpy(buf, mWhole + mPosition, (size_t)n);
    mPosition += n;
    return n;
  }
  return ReadBuffered((unsigned char*)buf, len);
}

int WDL_FileRead::ReadBuffered(unsigned char* out, int len)
{
  if (mSizeMayChange) RefreshSize();
  if (!mBlock || mBlockSize < 2 * kAlign - 1) {
    const int64_t got = readAt(mFd, out, len, mFilePos);
    mFilePos += got;
    mPosition += got;
    return (int)got;
  }
  int done = 0;
  while (done < len) {
    if (mWindowPos < mWindowSize) {
      const int n = mWindowSize - mWindowPos < len - done ? mWindowSize - mWindowPos : len - done;
      std::memcpy(out + done, mBlock + mWindowPos, (size_t)n);
      mWindowPos += n;
      done += n;
      continue;
    }
    const int64_t got = readAt(mFd, mBlock, mBlockSize, mFilePos);
    if (got <= 0) break;
    mFilePos += got;
    mWindowSize = (int)got;
    mWindowPos = 0;
  }
  mPosition += done;
  return done;
}
