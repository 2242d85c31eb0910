// Shared by the plug-in framework's fuzz targets: a fresh TestPlug per input, made through the VST entry.
#pragma once

#include "../support/plugin_host.h"
#include "TestPlug.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

inline AEffect* MakeTestPlug()
{
  AEffect* e = IPlugVSTEntry(QuietHost, [](IPlugInstanceInfo info) -> IPlugVST* { return new TestPlug(info); });
  if (!e) std::abort();
  return e;
}

// The plug-in's whole state as a host would store it: the bank chunk (all programs, current one included).
inline std::vector<unsigned char> BankOf(AEffect* e)
{
  void* data = nullptr;
  VstIntPtr size = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f);
  if (size <= 0 || !data) std::abort();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> bank(bytes, bytes + size);
  bank.push_back((unsigned char)e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f));
  return bank;
}

// One input to a file reader of a fresh plug-in: read(plug, &file) returns whether it took the
// file. A file it refuses must leave every program and the live state as they were.
template <class Read> int FuzzFileReader(const uint8_t* data, size_t size, Read read)
{
  AEffect* e = MakeTestPlug();
  TestPlug* plug = static_cast<TestPlug*>(e->object);
  ByteChunk file;
  file.PutBytes(data, (int)size);
  const std::vector<unsigned char> before = BankOf(e);
  if (!read(plug, &file) && BankOf(e) != before) std::abort();
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
