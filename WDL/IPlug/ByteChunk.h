// ByteChunk: the growable byte buffer a plug-in's state travels in (host chunks, program slots, .fxp/.fxb).
//
// Values are appended with Put* and read back with Get* at an explicit byte position. Readers return the
// position after what they read, or -1 when it does not fit; callers stop at the first -1 and pass it on.
// Integers and doubles are stored in the processor's byte order (little-endian here), without padding; a bool
// is one byte; a string is an int32 length followed by that many bytes, without a terminator.
//
// A chunk never holds more than MaxSize() bytes (2^31 - 1, the most an int counts and a host chunk can
// hold). A write that does not fit (that limit, or memory) appends nothing and marks the chunk failed;
// the mark stays until Clear or Empty, so a writer may check once, at the end, that everything went in:
// a state with a piece missing is never taken for a whole one.
#pragma once

#include "heapbuf.h"
#include "wdlstring.h"

#include <atomic>
#include <climits>
#include <cstring>

class ByteChunk
{
public:
  ByteChunk() : mBytes(4096) {}

  // The most bytes a chunk may hold. Tests lower it (process-wide) to reach the limit without filling
  // 2 GB; 0 or less restores the default.
  static int MaxSize() { return sMaxSize.load(std::memory_order_relaxed); }
  static void SetMaxSize(int n) { sMaxSize.store(n > 0 ? n : INT_MAX, std::memory_order_relaxed); }

  // A write did not fit since the last Clear or Empty: the contents lack something.
  bool Failed() const { return mFailed; }

  // Appends the value's bytes; returns the new size.
  template <class T> int Put(const T* value) { return PutBytes(value, (int)sizeof(T)); }

  // Reads a value at pos; returns pos + sizeof(T), or -1 (value unchanged) when it does not fit.
  template <class T> int Get(T* value, int pos) const { return GetBytes(value, (int)sizeof(T), pos); }

  // Bools are stored as one byte 0 or 1; any non-zero byte reads as true.
  int Put(const bool* value)
  {
    unsigned char b = *value ? 1 : 0;
    return PutBytes(&b, 1);
  }
  int Get(bool* value, int pos) const
  {
    unsigned char b;
    pos = GetBytes(&b, 1, pos);
    if (pos >= 0) *value = b != 0;
    return pos;
  }

  // Appends n raw bytes; returns the new size (the old size, nothing appended and the chunk failed, when
  // they do not fit).
  int PutBytes(const void* data, int n)
  {
    const int size = Size();
    if (n == 0) return size;
    if (n < 0 || !data || n > MaxSize() - size) return fail();
    unsigned char* p = mBytes.Resize(size + n, false);
    if (!p || mBytes.GetSize() != size + n) return fail();
    // Within the bytes it held before a Rewrite the memory is the same, and still holds them.
    if (mUnchanged && (n > mBefore - size || std::memcmp(p + size, data, (size_t)n) != 0)) mUnchanged = false;
    std::memmove(p + size, data, (size_t)n);
    return size + n;
  }

  // Copies n bytes at pos into data; returns pos + n, or -1 when they do not all lie inside the chunk.
  int GetBytes(void* data, int n, int pos) const
  {
    if (pos < 0 || n < 0 || n > Size() - pos) return -1;
    if (n > 0) std::memcpy(data, mBytes.Get() + pos, (size_t)n);
    return pos + n;
  }

  int PutStr(const char* str)
  {
    int length = str ? (int)std::strlen(str) : 0;
    Put(&length);
    return PutBytes(str, length);
  }

  // Reads a length-prefixed string at pos into str (up to the first NUL within it); returns the position after
  // it, or -1 (str unchanged) when the length is negative or the bytes run past the end.
  int GetStr(WDL_String* str, int pos) const
  {
    int length = 0;
    pos = Get(&length, pos);
    if (pos < 0 || length < 0 || length > Size() - pos) return -1;
    if (length == 0)
      str->Set("");
    else
      str->Set(reinterpret_cast<const char*>(mBytes.Get() + pos), length);
    return pos + length;
  }

  // Appends all bytes of another chunk (without a length); returns the new size. A failed chunk copied
  // leaves this one failed too.
  int PutChunk(const ByteChunk* other)
  {
    if (other->Failed()) mFailed = true;
    return PutBytes(other->GetBytes(), other->Size());
  }

  void Clear()
  {
    mBytes.Resize(0, true);
    mFailed = mUnchanged = false;
  }
  // Size 0 with the memory kept for the next fill (a chunk written again at every save).
  void Empty()
  {
    mBytes.Resize(0, false);
    mFailed = mUnchanged = false;
  }
  // Empty, to be written again with what may be the same bytes (a program stored again): each write is
  // compared with the bytes it overwrites, in the same memory, and Unchanged() then tells whether the chunk
  // holds just what it held before. Nothing is allocated while the new bytes take no more room than the old.
  void Rewrite()
  {
    const int before = Size();
    Empty();
    mBefore = before;
    mUnchanged = true;
  }
  bool Unchanged() const { return mUnchanged && Size() == mBefore && !mFailed; }
  // Makes room for n bytes in all without changing the contents, so that appending up to there moves the
  // bytes at most once (a bank of 64 programs grew page by page, copying itself at every step).
  void Reserve(int n)
  {
    const int size = Size();
    if (n > size && mBytes.Resize(n, false)) mBytes.Resize(size, false);
  }
  // Exchanges the bytes (and failure marks) of two chunks; nothing is allocated or copied.
  void Swap(ByteChunk& other)
  {
    mBytes.Swap(other.mBytes);
    std::swap(mFailed, other.mFailed);
    mUnchanged = other.mUnchanged = false;
  }
  int Size() const { return mBytes.GetSize(); }

  // Sets the size; bytes added at the end are zero. Returns the new size (the old one, and the chunk
  // failed, when n does not fit).
  int Resize(int n)
  {
    const int old = Size();
    mUnchanged = false;
    if (n < 0) n = 0;
    if (n > MaxSize()) return fail();
    unsigned char* p = mBytes.Resize(n, true);
    if (n > 0 && (!p || Size() != n)) return fail();
    if (Size() > old) std::memset(p + old, 0, (size_t)(Size() - old));
    return Size();
  }

  // The bytes, null when the chunk is empty.
  unsigned char* GetBytes() const { return mBytes.Get(); }

  bool IsEqual(const ByteChunk* other) const
  {
    return other && Size() == other->Size() && (Size() == 0 || !std::memcmp(GetBytes(), other->GetBytes(), Size()));
  }

private:
  int fail()
  {
    mFailed = true;
    return Size();
  }

  WDL_TypedBuf<unsigned char> mBytes;
  bool mFailed = false;
  bool mUnchanged = false; // since Rewrite, every write repeated the bytes mBefore held
  int mBefore = 0;
  static inline std::atomic<int> sMaxSize{INT_MAX};
};
