// PNG loader on arbitrary bytes: into a new bitmap and into an existing one. Whatever the input,
// the loader returns a bitmap of the size it reports or null, and never reads or writes outside
// its buffers.
#include "raster/lice.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1u << 20)) return 0;
  LICE_IBitmap* bm = LICE_LoadPNGFromMemory(data, (int)size, nullptr);
  if (bm) {
    const int w = bm->getWidth(), h = bm->getHeight(), span = bm->getRowSpan();
    if (w < 1 || h < 1 || span < w || !bm->getBits()) std::abort();
    // Touch the last pixel: the bitmap really holds the image it reports.
    volatile LICE_pixel last = bm->getBits()[(h - 1) * span + (w - 1)];
    (void)last;
    delete bm;
  }
  LICE_MemBitmap given(3, 2);
  LICE_IBitmap* got = LICE_LoadPNGFromMemory(data, (int)size, &given);
  if (got && got != &given) std::abort();
  return 0;
}
