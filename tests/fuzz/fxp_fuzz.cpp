// The program-file reader on arbitrary bytes: a file it refuses leaves every program and the live state as
// they were.
#include "plugfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  return FuzzFileReader(data, size, [](TestPlug* plug, ByteChunk* file) { return plug->LoadProgramFromFXPData(file); });
}
