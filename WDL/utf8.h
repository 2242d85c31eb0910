// UTF-8 in one place: the decoder that text drawing, measuring and typing all read characters with, and
// the encoder of typed characters.
//
//   unsigned ch;
//   const int used = WDL_DecodeUTF8(bytes, bytesLeft, &ch); // never reads past bytesLeft
//
// A character is a lead byte 0xC2-0xDF, 0xE0-0xEF or 0xF0-0xF4 followed by one, two or three continuation
// bytes (0x80-0xBF) within the bytes that may be read. Anything else (ASCII, a stray continuation byte,
// a lead byte without its continuation, a sequence cut short by the length) is one byte standing for
// itself, so malformed text still draws as something and decoding always moves on.
#pragma once

#include <cstddef>

// Decodes the character at s, reading at most n bytes (n >= 1); answers the number of bytes used (1 to 4)
// and stores the code point in *cp.
inline int WDL_DecodeUTF8(const unsigned char* s, size_t n, unsigned* cp)
{
  const unsigned c = s[0];
  auto cont = [&](size_t i) { return i < n && (s[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF && cont(1)) {
    *cp = ((c & 31) << 6) | (s[1] & 63);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2)) {
    *cp = ((c & 15) << 12) | ((s[1] & 63) << 6) | (s[2] & 63);
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    *cp = ((c & 7) << 18) | ((s[1] & 63) << 12) | ((s[2] & 63) << 6) | (s[3] & 63);
    return 4;
  }
  *cp = c;
  return 1;
}

// Zero-terminated text: the terminator is no continuation byte, so decoding stops at it.
inline int WDL_DecodeUTF8(const char* s, unsigned* cp)
{
  return WDL_DecodeUTF8(reinterpret_cast<const unsigned char*>(s), (size_t)-1, cp);
}

// Writes the UTF-8 bytes of code point cp (at most 0x1FFFFF) to out; answers their number (1 to 4).
inline int WDL_EncodeUTF8(unsigned cp, char out[4])
{
  if (cp < 0x80) {
    out[0] = (char)cp;
    return 1;
  }
  if (cp < 0x800) {
    out[0] = (char)(0xC0 | (cp >> 6));
    out[1] = (char)(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = (char)(0xE0 | (cp >> 12));
    out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
    out[2] = (char)(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = (char)(0xF0 | ((cp >> 18) & 0x07));
  out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
  out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
  out[3] = (char)(0x80 | (cp & 0x3F));
  return 4;
}

// The length of s cut to at most maxBytes bytes so that no character is cut in half: where text must be cut
// to fit a field, a character that would not fit whole is left out. Reads no byte beyond maxBytes (the text
// may be a host's buffer without a terminator).
inline size_t WDL_UTF8Prefix(const char* s, size_t maxBytes)
{
  const unsigned char* b = reinterpret_cast<const unsigned char*>(s);
  size_t n = 0;
  while (n < maxBytes && b[n]) ++n;
  if (n < maxBytes) return n; // the whole text fits
  // The last character before the cut: its lead byte and the continuation bytes it has before the cut.
  size_t lead = n, continuations = 0;
  while (lead > 0 && continuations < 3 && (b[lead - 1] & 0xC0) == 0x80) {
    --lead;
    ++continuations;
  }
  if (lead == 0) return n;
  const unsigned c = b[lead - 1];
  const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
  return length > continuations + 1 ? lead - 1 : n;
}

// Copies src into dest (capacity bytes, at least 1) cut by WDL_UTF8Prefix, and terminates it.
inline void WDL_UTF8CopyBounded(char* dest, const char* src, size_t capacity)
{
  const size_t n = WDL_UTF8Prefix(src, capacity - 1);
  for (size_t i = 0; i < n; ++i) dest[i] = src[i];
  dest[n] = 0;
}
