// Fuzzes the Scala keyboard-mapping reader over a fixed scale and builds the 128-note scale.
#include "tun_fuzz_check.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  TUN::CSCL_Import scala;
  {
    std::istringstream scl("seven notes\n7\n204.\n386.3\n4/3\n3/2\n5/3\n15/8\n2/1\n");
    TUN::CStringParser parser;
    if (!scala.ReadSCL(scl, parser)) std::abort();
  }
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TUN::CStringParser parser;
  const bool ok = scala.ReadKBM(in, parser);
  if (ok) {
    if (scala.m_lMapSize < 0 || scala.m_lMapSize > 127) std::abort(); // 0: linear
    if (!(scala.m_lFirstNote < scala.m_lLastNote) || scala.m_lMiddleNote + scala.m_lMapSize > 127) std::abort();
    if (!(scala.m_dblRefFreqHz >= 0.001 && scala.m_dblRefFreqHz <= 100000)) std::abort();
  }
  TUN::CSingleScale scale;
  scala.SetSingleScale(scale);
  CheckScale(scale);
  return 0;
}
