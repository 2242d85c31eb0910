// Writing a bitmap as a PNG file (8-bit RGBA, rows top first), for screenshots and generated images.
#include "lice.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace {
// Closes a file written whole; one that does not close cleanly is removed. (Out of line: nothing of it lives
// in the frame that the PNG library's error handling jumps back into.)
__attribute__((noinline)) bool CloseWritten(FILE* fp, const char* filename)
{
  const bool ok = std::fclose(fp) == 0;
  if (!ok) std::remove(filename);
  return ok;
}
} // namespace

bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp, bool wantAlpha)
{
  if (!filename || !bmp || bmp->getWidth() < 1 || bmp->getHeight() < 1 || !bmp->getBits()) return false;
  FILE* fp = std::fopen(filename, "wb");
  if (!fp) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(fp);
    std::remove(filename);
    return false;
  }
  const int w = bmp->getWidth(), h = bmp->getHeight(), channels = wantAlpha ? 4 : 3;
  png_init_io(png, fp);
  png_set_IHDR(png, info, w, h, 8, wantAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row((size_t)w * channels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const LICE_pixel p = LICE_GetPixel(bmp, x, y);
      png_byte* o = &row[(size_t)x * channels];
      o[0] = (png_byte)LICE_GETR(p), o[1] = (png_byte)LICE_GETG(p), o[2] = (png_byte)LICE_GETB(p);
      if (wantAlpha) o[3] = (png_byte)LICE_GETA(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return CloseWritten(fp, filename);
}
