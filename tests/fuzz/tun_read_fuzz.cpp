// Fuzzes the .tun reader, then writes what it read and reads that back.
#include "tun_fuzz_check.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TUN::CStringParser parser;
  TUN::CSingleScale scale;
  const long result = scale.Read(in, parser);
  if (result < -1 || result > 1) std::abort();
  if ((result == 1) != scale.m_err.m_strLastError.empty()) std::abort();
  CheckScale(scale);

  std::ostringstream out;
  if (!scale.Write(out, 0, 200, false)) std::abort();
  std::istringstream again(out.str());
  TUN::CStringParser parser2;
  TUN::CSingleScale back;
  const long backResult = back.Read(again, parser2);
  // What was read whole is written so that it reads again (no "inf" among the numbers).
  if (result == 1 && backResult != 1) std::abort();
  CheckScale(back);
  return 0;
}
