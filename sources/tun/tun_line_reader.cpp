#include "tun_line_reader.h"

#include "tun_strings.h"

namespace TUN {

bool CStringParser::GetLineAndTrim(std::istream& stream, long& lineNo)
{
  m_strLine.clear();
  m_strLine.reserve(1000); // typical lines fit; longer ones grow the string
  if (!stream.good()) {
    lineNo = m_lLineCounter;
    return false;
  }
  for (;;) {
    // get() turns a read error (a folder, a failing disk) into the stream's state instead of
    // an exception; either reads as byte 0 and ends the line.
    const std::istream::int_type in = stream.get();
    const char c = std::istream::traits_type::eq_int_type(in, std::istream::traits_type::eof())
                       ? '\0'
                       : std::istream::traits_type::to_char_type(in);
    if (c == '\0' || c == '\n' || c == '\r') {
      if (m_cLineEnd == '@') m_cLineEnd = c;
      if (c == m_cLineEnd) lineNo = ++m_lLineCounter;
      break;
    }
    m_strLine += c;
  }
  m_strLine = strx::Trim(m_strLine);
  return true;
}

} // namespace TUN
