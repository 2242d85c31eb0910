#include "tun_strings.h"

#include "tun_numbers.h"

#include <cstddef>

namespace TUN {
namespace strx {

namespace {

// Character classes of the "C" locale, independent of the process locale.
bool IsSpace(unsigned char c)
{
  return c == ' ' || (c >= 9 && c <= 13);
}
bool IsAlpha(unsigned char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c)
{
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The escapes with a letter or symbol of their own, both ways.
struct NamedEscape
{
  unsigned char byte;
  char letter;
};
const NamedEscape kNamedEscapes[] = {{0, '0'},  {7, 'a'},  {8, 'b'},   {9, 't'},     {10, 'n'},  {11, 'v'},
                                     {12, 'f'}, {13, 'r'}, {'"', '"'}, {'\'', '\''}, {'?', '?'}, {'\\', '\\'}};

bool EnclosedBy(const std::string& s, char first, char last)
{
  return s.size() >= 2 && s.front() == first && s.back() == last;
}

// One number read by scan(text, &end) at s[pos]: pos moves past it and value takes it; both
// stay as they are when nothing there reads as a number.
template <class T, class Scan> bool EvalNumber(const std::string& s, std::string::size_type& pos, T& value, Scan scan)
{
  if (pos >= s.size()) return false;
  const char* start = s.c_str() + pos;
  const char* end = start;
  const T v = scan(start, &end);
  if (end == start) return false;
  value = v;
  pos += static_cast<std::string::size_type>(end - start);
  return true;
}

} // namespace

const std::string& WhiteSpaceChars()
{
  static const std::string chars("\t\n\v\f\r ");
  return chars;
}

std::string ToLower(std::string s)
{
  for (char& c : s) c = Lower(c);
  return s;
}

std::string GetAsLower(const std::string& s)
{
  return ToLower(s);
}

std::string Trim(std::string s)
{
  const std::string& ws = WhiteSpaceChars();
  const std::string::size_type first = s.find_first_not_of(ws);
  if (first == std::string::npos) return std::string();
  const std::string::size_type last = s.find_last_not_of(ws);
  return s.substr(first, last - first + 1);
}

std::string& RemoveSpaces(std::string& s)
{
  std::string::size_type out = 0;
  for (char c : s)
    if (!IsSpace(static_cast<unsigned char>(c))) s[out++] = c;
  s.resize(out);
  return s;
}

std::string Escape(std::string s)
{
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * s.size() + 1);
  for (char c : s) {
    const unsigned char b = static_cast<unsigned char>(c);
    bool named = false;
    for (const NamedEscape& e : kNamedEscapes) {
      if (e.byte == b) {
        out += '\\';
        out += e.letter;
        named = true;
        break;
      }
    }
    if (named) continue;
    if (b < 32 || b == 255) {
      out += "\\x0";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string s)
{
  const std::string::size_type size = s.size();
  std::string::size_type read = 0, write = 0;
  while (read < size) {
    char c = s[read++];
    if (c == '\\' && read < size) {
      const char d = s[read++];
      if (d == 'x') {
        // Exactly three characters follow the "x" (fewer at the end of the string); they are
        // read as hexadecimal behind "0x0", so anything that is not a digit reads as 0.
        char hex[8] = {'0', 'x', '0'};
        std::string::size_type n = 0;
        while (n < 3 && read < size) hex[3 + n++] = s[read++];
        hex[3 + n] = '\0';
        c = static_cast<char>(num::ScanLong(hex, nullptr, 16) & 0xff);
      } else {
        c = d; // quote, apostrophe, "?", backslash and any unknown letter stand for themselves
        for (const NamedEscape& e : kNamedEscapes) {
          if (e.letter == d) {
            c = static_cast<char>(e.byte);
            break;
          }
        }
      }
    }
    s[write++] = c;
  }
  s.resize(write);
  return s;
}

bool Eval(const std::string& s, std::string::size_type& pos, double& value)
{
  return EvalNumber(s, pos, value, [](const char* t, const char** e) { return num::ScanDouble(t, e); });
}

bool Eval(const std::string& s, std::string::size_type& pos, long& value)
{
  return EvalNumber(s, pos, value, [](const char* t, const char** e) { return num::ScanLong(t, e); });
}

bool EvalKeyAndValue(const std::string& line, std::string& key, std::string& value)
{
  const std::string::size_type eq = line.find('=');
  if (eq == std::string::npos) return false;
  const unsigned char first = static_cast<unsigned char>(line[0]);
  if (!IsAlpha(first) && first != '_') return false;
  key = ToLower(Trim(line.substr(0, eq)));
  value = Trim(line.substr(eq + 1));
  return true;
}

bool EvalSection(std::string& s)
{
  if (!EnclosedBy(s, '[', ']')) return false;
  s = ToLower(Trim(s.substr(1, s.size() - 2)));
  return true;
}

bool EvalFunctionParam(std::string& s)
{
  if (!EnclosedBy(s, '(', ')')) return false;
  s = s.substr(1, s.size() - 2);
  return true;
}

bool EvalString(std::string& s)
{
  if (!EnclosedBy(s, '"', '"')) return false;
  s = Unescape(s.substr(1, s.size() - 2));
  return true;
}

void Split(const std::string& s, char separator, std::list<std::string>& pieces, bool bTrim, bool bSkipEmpty)
{
  pieces.clear();
  std::string::size_type pos = 0;
  for (;;) {
    const std::string::size_type next = s.find(separator, pos);
    std::string piece = s.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    if (bTrim) piece = Trim(piece);
    if (!(bSkipEmpty && piece.empty())) pieces.push_back(piece);
    if (next == std::string::npos) break;
    pos = next + 1;
  }
}

std::string ltostr(long n)
{
  return std::to_string(n);
}

std::string dtostr(double x)
{
  return num::FormatG(x, 20);
}

std::string GetAsSection(const std::string& name)
{
  return "[" + name + "]";
}

std::string GetAsString(const std::string& s)
{
  return "\"" + Escape(s) + "\"";
}

} // namespace strx
} // namespace TUN
