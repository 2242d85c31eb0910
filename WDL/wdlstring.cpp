#include "wdlstring.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int TextLength(const char* text, int maxLength)
{
  if (!text) return 0;
  if (maxLength <= 0) return int(std::min<size_t>(std::strlen(text), INT_MAX));
  return int(strnlen(text, size_t(maxLength)));
}

bool PointsInto(const char* p, const void* block, int bytes)
{
  const auto a = reinterpret_cast<uintptr_t>(p);
  const auto b = reinterpret_cast<uintptr_t>(block);
  return block && a >= b && a < b + uintptr_t(bytes);
}

} // namespace

char* WDL_String::Get() const
{
  char* p = static_cast<char*>(mHeapBuf.Get());
  if (p) return p;
  // Callers may write into what Get() returns, so the empty text is reset when one did. Each string has its
  // own and an untouched one is only read, so threads reading unset strings never write a shared byte (and
  // the plug-in needs no thread-local storage, which a library loaded by dlopen reaches only through slow
  // lookups).
  if (mEmpty) mEmpty = 0;
  return &mEmpty;
}

int WDL_String::GetLength() const
{
  const char* p = static_cast<const char*>(mHeapBuf.Get());
  return p ? int(strnlen(p, size_t(mHeapBuf.GetSize()))) : 0;
}

void WDL_String::Set(const char* text, int maxLength)
{
  __doSet(0, text, TextLength(text, maxLength), 0);
}

void WDL_String::Append(const char* text, int maxLength)
{
  __doSet(GetLength(), text, TextLength(text, maxLength), 0);
}

void WDL_String::Insert(const char* text, int position, int maxLength)
{
  const int length = GetLength();
  position = std::clamp(position, 0, length);
  __doSet(position, text, TextLength(text, maxLength), length - position);
}

void WDL_String::DeleteSub(int position, int length)
{
  const int cur = GetLength();
  if (position < 0) {
    length += position;
    position = 0;
  }
  if (position >= cur || length <= 0) return;
  length = std::min(length, cur - position);
  char* p = Get();
  std::memmove(p + position, p + position + length, size_t(cur - position - length + 1));
  mHeapBuf.Resize(cur - length + 1, false);
}

void WDL_String::SetLen(int length, bool resizeDown)
{
  if (length < 0) length = 0;
  if (length == INT_MAX) return;
  const int cur = GetLength();
  char* p = static_cast<char*>(mHeapBuf.Resize(length + 1, resizeDown));
  if (!p || mHeapBuf.GetSize() != length + 1) return;
  if (length > cur) std::memset(p + cur, ' ', size_t(length - cur));
  p[length] = 0;
}

void WDL_String::__doSet(int offset, const char* text, int length, int keep)
{
  if (offset == 0 && length == 0 && keep == 0) {
    char* p = static_cast<char*>(mHeapBuf.Resize(1, false));
    if (p && mHeapBuf.GetSize() == 1) p[0] = 0;
    return;
  }
  if (offset < 0 || length < 1 || keep < 0) return;

  const int oldSize = mHeapBuf.GetSize();
  const int oldLength = oldSize > 0 ? oldSize - 1 : 0;
  if (int64_t(offset) + keep > oldLength) return; // the kept bytes (and the offset) must exist
  const int64_t wanted = int64_t(offset) + length + keep + 1;
  if (wanted > INT_MAX) return;
  const int newSize = int(wanted);

  // Text taken from this very string would move under the writes below (growth may move the whole
  // buffer, insertion shifts the tail): work from a copy of it then.
  char* copy = nullptr;
  if (text && PointsInto(text, mHeapBuf.Get(), oldSize)) {
    copy = static_cast<char*>(std::malloc(size_t(length)));
    if (!copy) return;
    std::memcpy(copy, text, size_t(length));
    text = copy;
  }

  if (oldSize < newSize) mHeapBuf.Resize(newSize, false);
  if (mHeapBuf.GetSize() >= newSize) {
    char* p = static_cast<char*>(mHeapBuf.Get());
    if (keep > 0) std::memmove(p + offset + length, p + offset, size_t(keep));
    if (text) std::memmove(p + offset, text, size_t(length));
    p[offset + length + keep] = 0;
    if (newSize < oldSize) mHeapBuf.Resize(newSize, false);
  }
  std::free(copy);
}

void WDL_String::Formatted(int offset, int maxLength, const char* format, va_list args)
{
  if (maxLength < 0) maxLength = 0;
  if (!format) format = "";
  va_list measure;
  va_copy(measure, args);
  const int written = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (written < 0) {
    if (offset == 0) __doSet(0, nullptr, 0, 0);
    return;
  }
  const int length = std::min(written, maxLength);

  // Formatting goes to a scratch block first: the arguments may point into this string.
  char local[512];
  char* text = length < int(sizeof(local)) ? local : static_cast<char*>(std::malloc(size_t(length) + 1));
  if (!text) return;
  std::vsnprintf(text, size_t(length) + 1, format, args);

  const int64_t room = int64_t(offset) + maxLength + 1;
  if (room <= INT_MAX) {
    // Reserve the whole maximum first, as growth by the largest possible text keeps repeated
    // formatting into one string free of reallocations.
    if (mHeapBuf.GetSize() < room) mHeapBuf.Resize(int(room), false);
    if (mHeapBuf.GetSize() >= room) {
      char* p = static_cast<char*>(mHeapBuf.Get());
      std::memcpy(p + offset, text, size_t(length));
      p[offset + length] = 0;
      mHeapBuf.Resize(offset + length + 1, false);
    }
  }
  if (text != local) std::free(text);
}

void WDL_String::SetFormatted(int maxLength, const char* format, ...)
{
  va_list args;
  va_start(args, format);
  Formatted(0, maxLength, format, args);
  va_end(args);
}

void WDL_String::AppendFormatted(int maxLength, const char* format, ...)
{
  va_list args;
  va_start(args, format);
  Formatted(GetLength(), maxLength, format, args);
  va_end(args);
}
