// The INI-file emulation on arbitrary file contents: reading never fails or overruns, and a file it
// rewrites reads back exactly as the cache that wrote it.
#include "scratch_folder.h"
#include "swell/swell-ini.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string NewPath()
{
  static unsigned long count = 0;
  return ScratchPath(("f" + std::to_string(count++) + ".ini").c_str()); // a fresh name: never a stale cache entry
}

void WriteFile(const std::string& path, const void* data, size_t size)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

std::string ReadFile(const std::string& path)
{
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

// Every section with its entries, as the reading functions report them.
std::string Describe(const std::string& path)
{
  static char names[1 << 16], entries[1 << 16];
  const int n = GetPrivateProfileString(nullptr, nullptr, "", names, sizeof(names), path.c_str());
  if (n < 0 || n > int(sizeof(names)) - 2) std::abort();
  std::string out;
  for (const char* s = names; *s; s += std::strlen(s) + 1) {
    const unsigned int m = GetPrivateProfileSection(s, entries, sizeof(entries), path.c_str());
    if (m > sizeof(entries) - 2) std::abort();
    out += std::string("[") + s + "]" + std::string(entries, m) + "|";
  }
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string original = NewPath();
  WriteFile(original, data, size);

  char value[64];
  GetPrivateProfileString("a", "b", "", value, sizeof(value), original.c_str());
  GetPrivateProfileInt("a", "b", 0, original.c_str());
  unsigned char bytes[8];
  GetPrivateProfileStruct("a", "b", bytes, sizeof(bytes), original.c_str());

  // Rewrite it through the cache, then read the rewritten file under a fresh name.
  if (WritePrivateProfileString("fuzz", "key", "value", original.c_str()) != 1) std::abort();
  const std::string cached = Describe(original);
  const std::string copy = NewPath();
  const std::string rewritten = ReadFile(original);
  WriteFile(copy, rewritten.data(), rewritten.size());
  if (Describe(copy) != cached) std::abort();
  if (GetPrivateProfileString("fuzz", "key", "", value, sizeof(value), copy.c_str()) != 5) std::abort();

  unlink(original.c_str());
  unlink(copy.c_str());
  return 0;
}
