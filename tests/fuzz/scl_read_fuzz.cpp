// Fuzzes the Scala scale reader and builds the 128-note scale from what it read.
#include "tun_fuzz_check.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TUN::CStringParser parser;
  TUN::CSCL_Import scala;
  const bool ok = scala.ReadSCL(in, parser);
  if (ok && (scala.m_lScaleSize < 1 || scala.m_lScaleSize > 127)) std::abort();
  if (!ok && scala.m_err.m_strLastError.empty()) std::abort();
  TUN::CSingleScale scale;
  scala.SetSingleScale(scale);
  CheckScale(scale);
  return 0;
}
