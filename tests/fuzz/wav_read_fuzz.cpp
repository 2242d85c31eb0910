// The wave file reader and the wavetable loader on arbitrary file contents: never a read outside the data,
// never more samples than the data chunk holds, and a loaded wavetable is 1 to kMaxWaves whole waves of numbers.
#include "OscWavetable.h"
#include "WaveReader.h"
#include "scratch_folder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// One scratch file, rewritten for every input.
const char* scratchPath()
{
  static const std::string path = ScratchPath("input.wav");
  return path.c_str();
}

void writeScratch(const uint8_t* data, size_t size)
{
  FILE* f = std::fopen(scratchPath(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  writeScratch(data, size);
  WaveReader r;
  if (r.Open(scratchPath())) {
    if (r.frames < 0 || r.channels < 1 || (int64_t)size < r.frames * r.channels * (r.bitsPerSample / 8)) std::abort();
    double buf[1024];
    int64_t total = 0;
    unsigned int n;
    while ((n = r.ReadDoubles(buf, 1024)) > 0) {
      total += n;
      if (r.formatTag == 1)
        for (unsigned int i = 0; i < n; ++i)
          if (!(buf[i] >= -1.0 && buf[i] < 1.0)) std::abort();
    }
    if (total > r.frames * r.channels) std::abort();
  }
  WaveSpectra s;
  if (OscWavetable::readWAV(scratchPath(), &s)) {
    if (!s.data || s.count == 0 || s.count % 2048 != 0 || s.count > (uint32_t)OscWavetable::kMaxWaves * 2048)
      std::abort();
    for (uint32_t i = 0; i < s.count; ++i)
      if (!std::isfinite(s.data[i])) std::abort();
  } else if (s.data) {
    std::abort();
  }
  return 0;
}
