// Writing a bitmap as a PNG file (8-bit RGBA, rows top first), for screenshots and generated images.
#include "../filewrite.h"
#include "lice.h"

#include <png.h>

#include <new>
#include <vector>

namespace {
void AppendBytes(png_structp png, png_bytep data, png_size_t size)
{
  bool added = true;
  try {
    auto* out = static_cast<std::vector<png_byte>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
  } catch (const std::bad_alloc&) {
    added = false;
  }
  if (!added) png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

// Encodes the image into `out`, a row at a time through `row`. (Out of line, and nothing but plain pointers in
// its frame: the PNG library's error handling jumps back into it.)
__attribute__((noinline)) bool Encode(LICE_IBitmap* bmp, bool wantAlpha, png_byte* row, std::vector<png_byte>* out)
{
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  const int w = bmp->getWidth(), h = bmp->getHeight(), channels = wantAlpha ? 4 : 3;
  png_set_write_fn(png, out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, w, h, 8, wantAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const LICE_pixel p = LICE_GetPixel(bmp, x, y);
      png_byte* o = row + (size_t)x * channels;
      o[0] = (png_byte)LICE_GETR(p), o[1] = (png_byte)LICE_GETG(p), o[2] = (png_byte)LICE_GETB(p);
      if (wantAlpha) o[3] = (png_byte)LICE_GETA(p);
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}
} // namespace

// The image is encoded whole in memory, then saved as every file is: only over a regular file (a pipe or a
// device is refused at once), and a failed save keeps the old file.
bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp, bool wantAlpha)
{
  if (!filename || !bmp || bmp->getWidth() < 1 || bmp->getHeight() < 1 || !bmp->getBits()) return false;
  std::vector<png_byte> row, bytes;
  try {
    row.resize((size_t)bmp->getWidth() * (wantAlpha ? 4 : 3));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return Encode(bmp, wantAlpha, row.data(), &bytes) && WDL_WriteWholeFile(filename, bytes.data(), bytes.size());
}
