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
//
// Shared runs: a chunk made to keep them (ByteChunk(kKeepsRuns): program slots, and states taken under the
// instance mutex to be written out without it) holds the long blocks a state shares with the engine (PutShared:
// a wavetable's spectra) by reference, not by copy. Such a run sits between two bytes of the chunk, at a position:
// it is part of the chunk's contents (FlatSize, the limit, IsEqual, Rewrite) but not of its bytes (Size, GetBytes).
// A reader that meets a run where a block's bytes would start finds it with RunAt. PutChunk into a chunk that does
// not keep runs writes their bytes in place: what a host or a file receives is always whole.
#pragma once

#include "SharedBytes.h"
#include "heapbuf.h"
#include "wdlstring.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

class ByteChunk
{
public:
  ByteChunk() : mBytes(4096) {}
  enum KeepsRuns { kKeepsRuns };
  explicit ByteChunk(KeepsRuns) : mBytes(4096), mKeepsRuns(true) {}
  // Room for n runs, kept through Rewrite, Empty and Clear: a state of no more runs is stored again without
  // allocating.
  void ReserveRuns(int n)
  {
    mRuns.reserve((size_t)n);
    mRunsBefore.reserve((size_t)n);
  }

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
    if (n < 0 || !data || n > MaxSize() - FlatSize()) return fail();
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

  // Appends all contents of another chunk (without a length); returns the new size. Its runs stay runs here when
  // this chunk keeps them, else their bytes are written in their places. A failed chunk copied leaves this one
  // failed too.
  int PutChunk(const ByteChunk* other)
  {
    if (other->Failed()) mFailed = true;
    const int64_t whole = FlatSize() + other->FlatSize();
    if (!mKeepsRuns && other->HasRuns() && whole <= MaxSize()) Reserve((int)whole); // its blocks' bytes: one move
    int from = 0;
    for (const Run& run : other->mRuns) {
      PutBytes(other->GetBytes() + from, run.at - from);
      PutShared(run.bytes);
      from = run.at;
    }
    return PutBytes(other->GetBytes() + from, other->Size() - from);
  }

  // Appends a shared block: a run when this chunk keeps runs, else its bytes. Returns the new size.
  int PutShared(const SharedBytesRef& block)
  {
    if (!block || block->Size() == 0) return Size();
    if (!mKeepsRuns) return block->Size() > (size_t)INT_MAX ? fail() : PutBytes(block->Bytes(), (int)block->Size());
    if ((int64_t)block->Size() > (int64_t)MaxSize() - FlatSize()) return fail();
    const size_t k = mRuns.size();
    // Since a Rewrite, the same block at the same place is the same contents (a block never changes).
    if (mUnchanged &&
        (k >= mRunsBefore.size() || mRunsBefore[k].at != Size() || mRunsBefore[k].bytes.Get() != block.Get()))
      mUnchanged = false;
    mRuns.push_back(Run{Size(), block});
    mRunBytes += (int64_t)block->Size();
    return Size();
  }
  // The run at byte position pos (where its block's bytes would start), or null.
  const SharedBytes* RunAt(int pos) const
  {
    for (const Run& run : mRuns)
      if (run.at == pos) return run.bytes.Get();
    return nullptr;
  }
  bool HasRuns() const { return !mRuns.empty(); }
  int NRuns() const { return (int)mRuns.size(); }
  bool KeepsRunsShared() const { return mKeepsRuns; }
  // The contents' length: the bytes and the runs' bytes (what PutChunk writes into a chunk that keeps none).
  int64_t FlatSize() const { return (int64_t)Size() + mRunBytes; }

  void Clear()
  {
    mBytes.Resize(0, true);
    dropRuns();
    mFailed = mUnchanged = false;
  }
  // Size 0 with the memory kept for the next fill (a chunk written again at every save).
  void Empty()
  {
    mBytes.Resize(0, false);
    dropRuns();
    mFailed = mUnchanged = false;
  }
  // Empty, to be written again with what may be the same bytes (a program stored again): each write is
  // compared with the bytes it overwrites, in the same memory, and Unchanged() then tells whether the chunk
  // holds just what it held before. Nothing is allocated while the new bytes take no more room than the old.
  // Runs are compared by their blocks; the blocks the chunk held before are let go by EndRewrite.
  void Rewrite()
  {
    const int before = Size();
    mRunsBefore.clear();
    mRuns.swap(mRunsBefore);
    mRunBytes = 0;
    mBytes.Resize(0, false);
    mFailed = false;
    mBefore = before;
    mUnchanged = true;
  }
  bool Unchanged() const { return mUnchanged && Size() == mBefore && mRuns.size() == mRunsBefore.size() && !mFailed; }
  // After a Rewrite: lets go of the blocks the chunk held before (freed off an audio thread only).
  void EndRewrite() { mRunsBefore.clear(); }
  // Makes room for n bytes in all without changing the contents, so that appending up to there moves the
  // bytes at most once (a bank of 64 programs grew page by page, copying itself at every step).
  void Reserve(int n)
  {
    const int size = Size();
    if (n > size && mBytes.Resize(n, false)) mBytes.Resize(size, false);
  }
  // Exchanges the contents (and failure marks) of two chunks; nothing is allocated or copied. Each keeps its own
  // way with runs; the room for runs goes with the contents, so a chunk swapped into one that reserved room (a
  // program slot, stored again on an audio thread) must have reserved as much.
  void Swap(ByteChunk& other)
  {
    mBytes.Swap(other.mBytes);
    mRuns.swap(other.mRuns);
    std::swap(mRunBytes, other.mRunBytes);
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
    if (n > MaxSize() - mRunBytes) return fail();
    while (!mRuns.empty() && mRuns.back().at > n) {
      mRunBytes -= (int64_t)mRuns.back().bytes->Size();
      mRuns.pop_back();
    }
    unsigned char* p = mBytes.Resize(n, true);
    if (n > 0 && (!p || Size() != n)) return fail();
    if (Size() > old) std::memset(p + old, 0, (size_t)(Size() - old));
    return Size();
  }

  // The bytes, null when the chunk is empty.
  unsigned char* GetBytes() const { return mBytes.Get(); }

  // The same contents: the same bytes, and runs of the very same blocks at the same places (a block made again with
  // equal bytes counts as other contents).
  bool IsEqual(const ByteChunk* other) const
  {
    if (!other || Size() != other->Size() || mRuns.size() != other->mRuns.size()) return false;
    for (size_t i = 0; i < mRuns.size(); ++i)
      if (mRuns[i].at != other->mRuns[i].at || mRuns[i].bytes.Get() != other->mRuns[i].bytes.Get()) return false;
    return Size() == 0 || !std::memcmp(GetBytes(), other->GetBytes(), Size());
  }

private:
  struct Run
  {
    int at; // the byte position its block's bytes stand at
    SharedBytesRef bytes;
  };

  int fail()
  {
    mFailed = true;
    return Size();
  }
  void dropRuns()
  {
    mRuns.clear();
    mRunsBefore.clear();
    mRunBytes = 0;
  }

  WDL_TypedBuf<unsigned char> mBytes;
  std::vector<Run> mRuns, mRunsBefore; // in order of position; mRunsBefore: those a Rewrite compares with
  int64_t mRunBytes = 0;
  bool mKeepsRuns = false;
  bool mFailed = false;
  bool mUnchanged = false; // since Rewrite, every write repeated the contents mBefore and mRunsBefore held
  int mBefore = 0;
  static inline std::atomic<int> sMaxSize{INT_MAX};
};
