// The bank-file reader on arbitrary bytes: a file it refuses leaves every program and the live state as they
// were.
#include "plugfuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AEffect* e = MakeTestPlug();
  TestPlug* plug = static_cast<TestPlug*>(e->object);
  ByteChunk file;
  file.PutBytes(data, (int)size);
  const std::vector<unsigned char> before = BankOf(e);
  if (!plug->LoadBankFromFXBData(&file) && BankOf(e) != before) std::abort();
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
