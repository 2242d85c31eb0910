// WDL_String: a NUL-terminated heap string growing in steps of 128 bytes.
//
// Every operation may take its text from the string itself (a pointer into its own buffer), also
// when the buffer has to move. Out of memory leaves the string unchanged; nothing throws.
//
//   WDL_String s("Osc");
//   s.AppendFormatted(32, " %d", 2);     // "Osc 2"
//   s.Set(s.Get() + 4);                  // "2"
//   const char* text = s.Get();          // never null
#pragma once

#include "heapbuf.h"

#include <cstdarg>

#if defined(__GNUC__)
#define WDL_STRING_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define WDL_STRING_PRINTF(fmt, args)
#endif

class WDL_String
{
public:
  WDL_String() : mHeapBuf(kGranularity) {}
  // maxLength > 0 takes at most that many characters of text.
  explicit WDL_String(const char* text, int maxLength = 0) : mHeapBuf(kGranularity) { Set(text, maxLength); }
  WDL_String(const WDL_String& other) : mHeapBuf(kGranularity) { Set(other.Get()); }
  WDL_String& operator=(const WDL_String& other)
  {
    if (this != &other) Set(other.Get());
    return *this;
  }
  WDL_String& operator=(const char* text)
  {
    Set(text);
    return *this;
  }
  ~WDL_String() = default;

  // The text; an empty string (never null) while nothing has been set. The characters may be
  // written up to GetLength().
  char* Get() const;
  int GetLength() const;

  // Text lengths: maxLength <= 0 takes the whole text, otherwise at most maxLength characters
  // (fewer when a NUL comes first). A null text counts as "".
  void Set(const char* text, int maxLength = 0);
  void Append(const char* text, int maxLength = 0);
  // Inserts before position (clamped to 0..length).
  void Insert(const char* text, int position, int maxLength = 0);
  // Removes up to length characters from position on.
  void DeleteSub(int position, int length);
  // Cuts the string to length characters; a longer length pads with blanks.
  void SetLen(int length, bool resizeDown = false);

  // Formatted text of at most maxLength characters replaces / is appended to the string. A
  // formatting error leaves "" / appends nothing. Arguments may point into this string.
  void SetFormatted(int maxLength, const char* format, ...) WDL_STRING_PRINTF(3, 4);
  void AppendFormatted(int maxLength, const char* format, ...) WDL_STRING_PRINTF(3, 4);

  // The primitive behind every set, append and insert: writes length bytes of text at offset,
  // moving the keep bytes that stood at offset behind them, and terminates the string there.
  // offset, length and keep all 0 make the string empty.
  void __doSet(int offset, const char* text, int length, int keep);

  // Exchanges the texts of two strings; nothing is allocated or copied.
  void Swap(WDL_String& other) { mHeapBuf.Swap(other.mHeapBuf); }

private:
  static constexpr int kGranularity = 128;
  void Formatted(int offset, int maxLength, const char* format, va_list args);

  WDL_HeapBuf mHeapBuf; // characters and the terminating NUL; size = length + 1 once set
  mutable char mEmpty = 0; // what Get() answers while nothing is set
};
