// PNG loader on arbitrary bytes: into a new bitmap and into an existing one. Whatever the input,
// the loader returns a bitmap of the size it reports or null, and never reads or writes outside
// its buffers.
#include "raster/lice.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>

// libFuzzer's own mutation, present only in fuzzing builds.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize) __attribute__((weak));

// Mutates as libFuzzer would, then rewrites every chunk's CRC: nearly every mutation would
// otherwise stop at the first checksum, before the decoder sees the change.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int)
{
  if (!LLVMFuzzerMutate) return size;
  size = LLVMFuzzerMutate(data, size, maxSize);
  for (size_t pos = 8; pos + 12 <= size;) {
    const uint32_t len =
        (uint32_t)data[pos] << 24 | (uint32_t)data[pos + 1] << 16 | (uint32_t)data[pos + 2] << 8 | data[pos + 3];
    if (len > size - pos - 12) break;
    const uLong crc = crc32(0, data + pos + 4, (uInt)len + 4);
    for (int i = 0; i < 4; ++i) data[pos + 8 + len + i] = (uint8_t)(crc >> (24 - 8 * i));
    pos += 12 + len;
  }
  return size;
}

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
