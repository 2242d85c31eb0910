// The wavetable SysEx loader on arbitrary file contents: a dump is taken whole or refused, and a taken one
// is one wave of numbers per 410-byte message, up to the loader's bound.
#include "OscWavetable.h"
#include "scratch_folder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const std::string path = ScratchPath("input.syx");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  WaveSpectra s;
  if (OscWavetable::readBlofeldSYX(path.c_str(), &s)) {
    const size_t messages = size / 410;
    const uint32_t waves = s.count / 2048;
    if (!s.data || s.count % 2048 != 0 || waves < 1 || waves != messages || waves > OscWavetable::kMaxWaves)
      std::abort();
    for (uint32_t i = 0; i < s.count; ++i)
      if (!std::isfinite(s.data[i])) std::abort();
  } else if (s.data) {
    std::abort();
  }
  return 0;
}
