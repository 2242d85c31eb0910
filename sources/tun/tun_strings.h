// String tools of the tuning library: trimming, case folding, number scanning, the escape
// and quoting rules of tuning-file string values, and the recognisers that classify one
// trimmed line of a tuning file.
//
// Everything works on bytes (no multi-byte awareness). Character classes, case folding and
// numbers follow the "C" locale whatever locale the process runs in.
//
// Typical use (what the .tun reader does with one line):
//   std::string key, value;
//   if (TUN::strx::EvalKeyAndValue(line, key, value) && TUN::strx::EvalString(value)) ...
#pragma once

#include <list>
#include <string>

namespace TUN {
namespace strx {

// Tab, line feed, vertical tab, form feed, carriage return and space, in that order.
const std::string& WhiteSpaceChars();

std::string ToLower(std::string s);
std::string GetAsLower(const std::string& s);

// s without leading and trailing whitespace bytes (WhiteSpaceChars).
std::string Trim(std::string s);

// Removes every whitespace byte anywhere in s; returns s.
std::string& RemoveSpaces(std::string& s);

// Backslash escapes of tuning-file strings: "\n", "\"", "\x0hh" and so on.
// Unescape(Escape(s)) == s for every byte string s.
std::string Escape(std::string s);
std::string Unescape(std::string s);

// Scan a number at index pos the way strtod / strtol (base 10) do, leading white space
// included. On success pos moves past the consumed bytes; false (pos unchanged) when
// nothing could be read.
bool Eval(const std::string& s, std::string::size_type& pos, double& value);
bool Eval(const std::string& s, std::string::size_type& pos, long& value);

// 'Key = Value' with a letter or "_" as first byte: key lower-cased and trimmed, value
// trimmed (it keeps its quotes or brackets). Key and value are untouched on false.
bool EvalKeyAndValue(const std::string& line, std::string& key, std::string& value);

// "[" name "]": s becomes the trimmed, lower-cased name.
bool EvalSection(std::string& s);
// "(" text ")": s becomes the text between the brackets, untrimmed.
bool EvalFunctionParam(std::string& s);
// '"' text '"': s becomes the unescaped text between the quotes.
bool EvalString(std::string& s);

// Pieces of s between separator bytes, optionally trimmed, optionally without empty ones.
void Split(const std::string& s, char separator, std::list<std::string>& pieces, bool bTrim, bool bSkipEmpty);

std::string ltostr(long n);                        // "%li"
std::string dtostr(double x);                      // 20 significant digits, %g style
std::string GetAsSection(const std::string& name); // "[" name "]"
std::string GetAsString(const std::string& s);     // quoted and escaped

} // namespace strx
} // namespace TUN
