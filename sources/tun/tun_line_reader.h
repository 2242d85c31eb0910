// The line reader shared by the .tun reader and the Scala importer.
#pragma once

#include <istream>
#include <string>

namespace TUN {

// Reads one line at a time from a byte stream and trims it. The first line terminator met
// (byte 0, LF or CR) decides which kind is counted, so a file with CR LF ends numbers its
// lines like the same file with LF ends. One parser per stream.
class CStringParser
{
public:
  CStringParser() = default;
  virtual ~CStringParser() = default;

  // The next line, trimmed, into m_strLine; lineNo (counted from 0) is set when the line
  // ends with the counted terminator. False once the stream had already ended or failed.
  bool GetLineAndTrim(std::istream& stream, long& lineNo);

  char m_cLineEnd = '@'; // '@' until the first line has ended
  long m_lLineCounter = -1;
  std::string m_strLine;
};

} // namespace TUN
