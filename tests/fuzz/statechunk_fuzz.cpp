// Host chunks (effSetChunk) on arbitrary bytes. The first byte chooses a bank (even) or a program (odd) chunk.
// A chunk the plug-in refuses must leave its state exactly as it was; one it accepts must come back out in a
// form it accepts again.
#include "plugfuzz.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  const int index = data[0] & 1;
  std::vector<unsigned char> chunk(data + 1, data + size);
  AEffect* e = MakeTestPlug();
  const std::vector<unsigned char> before = BankOf(e);
  VstIntPtr ok = e->dispatcher(e, effSetChunk, index, (VstIntPtr)chunk.size(), chunk.data(), 0.0f);
  if (!ok) {
    if (BankOf(e) != before) std::abort();
  } else {
    void* out = nullptr;
    VstIntPtr n = e->dispatcher(e, effGetChunk, index, 0, &out, 0.0f);
    std::vector<unsigned char> again(static_cast<unsigned char*>(out), static_cast<unsigned char*>(out) + n);
    if (n <= 0 || !e->dispatcher(e, effSetChunk, index, n, again.data(), 0.0f)) std::abort();
  }
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
