// WDL_FileRead: a read-only file with block buffering, or the whole file in memory (a private copy or a
// read-only mapping) when it is small enough. Used for files read from start to end in small pieces, such as
// wavetable SysEx dumps.
//
//   WDL_FileRead f(path, -1, 8192, 4, 0, 0);   // plain buffered reading
//   if (!f.IsOpen()) ...                       // an unopenable file reads 0 bytes on every call
//   unsigned char msg[410];
//   while (f.Read(msg, sizeof(msg)) == (int)sizeof(msg)) ...
//
// While open, the file holds a shared advisory lock when it could get one; without it the file may be
// growing, and its size is read again before each buffered read.
//
// Threads: one object belongs to one thread; nothing is shared between objects.
#pragma once

#include "heapbuf.h"

#include <cstdint>
#include <functional>

// Opens path for reading (with forWriting, for reading and writing) only if it names a regular file (through
// symbolic links): the open never blocks (a FIFO without a writer, a device) and anything else is closed again
// at once. The descriptor (close-on-exec, blocking reads and writes), or -1 with *err (when given) the errno:
// WDL_ENOTREGULAR for a folder, pipe, device or socket.
int WDL_OpenRegularFile(const char* path, int* err = nullptr, bool forWriting = false);

// The largest file WDL_ReadWholeFile reads, whatever the caller allows: what one read can take.
constexpr int64_t WDL_MAX_WHOLE_FILE = (int64_t{1} << 31) - 2;

// A whole regular file into memory the caller gives: room(size) answers where its `size` bytes go (null when
// there is no memory for them); it is not asked for an empty file. False with *err set for a file that cannot
// be opened (as above), one larger than maxBytes or WDL_MAX_WHOLE_FILE (EFBIG, told from its size before
// anything is read), no room (ENOMEM) or a failed read (EIO): what room gave may then hold part of the file.
bool WDL_ReadWholeFile(const char* path, int64_t maxBytes, const std::function<void*(int size)>& room,
                       int* err = nullptr);

class WDL_FileRead
{
public:
  // allow_async 1 or -1: the platform's read cache is told not to keep the pages. bufsize (rounded up to
  // 8192) times nbufs is the buffer space of block reading. A file smaller than mmap_maxsize is held whole:
  // mapped when it is at least mmap_minsize bytes, else copied with one read.
  WDL_FileRead(const char* path, int allow_async = 1, int bufsize = 8192, int nbufs = 4, unsigned int mmap_minsize = 0,
               unsigned int mmap_maxsize = 0);
  ~WDL_FileRead();
  WDL_FileRead(const WDL_FileRead&) = delete;
  WDL_FileRead& operator=(const WDL_FileRead&) = delete;

  bool IsOpen() const { return mFd >= 0; }
  int64_t GetSize() const { return mFsize; }
  int64_t GetPosition() const { return mPosition; }

  // Copies up to len bytes at the read position and advances it; the bytes copied (0 at the end of the
  // file, for a closed file or for len < 1).
  int Read(void* buf, int len);

private:
  int ReadBuffered(unsigned char* out, int len);
  void RefreshSize();

  WDL_HeapBuf mBuffer;             // block buffer, aligned blocks start inside it
  int mWindowSize = 0;             // bytes of the current block that hold file data
  int mWindowPos = 0;              // next byte of the block to hand out
  int64_t mFsize = 0;              // file size in bytes
  unsigned char* mWhole = nullptr; // mapped view or private copy of the whole file
  bool mMapped = false;
  int64_t mFilePos = 0;  // file offset of the next block to read
  int64_t mPosition = 0; // read position reported to callers
  int mFd = -1;
  bool mLocked = false;
  bool mSizeMayChange = false;
  bool mUncached = false;
  int mBlockSize = 0;              // bytes read per block; 0 reads straight into the caller's buffer
  unsigned char* mBlock = nullptr; // the block start, on an 8192-byte boundary inside mBuffer
};
