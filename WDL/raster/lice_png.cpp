// PNG decoding into 32-bit bitmaps, from files, memory and the plug-in's resources folder.
//
// libpng reports errors by longjmp to the jump buffer of its read structure; everything a load
// creates is reachable from a LoadState so that the landing point can release it. No object
// with a destructor lives across the setjmp.
#include "lice.h"

#include <png.h>

#include "fileread.h"
#include "modulepath.h"

#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Everything one load owns; released on success and on every failure.
struct LoadState
{
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE* file = nullptr;
  LICE_IBitmap* created = nullptr; // a bitmap this load made, deleted on failure
  LICE_IBitmap* target = nullptr;  // the bitmap decoded into
  png_bytep* rows = nullptr;
};

void release(LoadState& st, bool failed)
{
  if (st.png) png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
  if (st.file) std::fclose(st.file);
  std::free(st.rows);
  if (failed) delete st.created;
  st = LoadState();
}

// Errors end the load (the message is not shown); warnings are ignored.
void pngError(png_structp png, png_const_charp)
{
  png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// An image in memory, consumed as libpng reads it.
struct MemorySource
{
  const unsigned char* data;
  int left;
};

// A read past the end is an error, as it is from a file. (Padding with zeros instead would let a
// chunk that claims a length of up to 2 GB make libpng checksum that many zeros.)
void staticPngReadFunc(png_structp png, png_bytep out, png_size_t length)
{
  MemorySource* src = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (length > (size_t)src->left) png_error(png, "unexpected end of data");
  std::memcpy(out, src->data, length);
  src->data += length;
  src->left -= (int)length;
}

// Decodes into bmp (or a new LICE_MemBitmap) once the source is attached to st.png. With
// honourFlip, a flipped bitmap receives the image upright. Returns null on any failure, with
// everything released.
LICE_IBitmap* decode(LoadState& st, LICE_IBitmap* given, bool honourFlip)
{
  st.target = given;
  // Locals written after setjmp would be unreliable after the jump: all state is in st, which
  // lives in the caller's frame.
  if (setjmp(png_jmpbuf(st.png))) {
    release(st, true);
    return nullptr;
  }

  png_read_info(st.png, st.info);
  png_uint_32 width, height;
  int bitDepth, colorType, interlace, compression, filter;
  png_get_IHDR(st.png, st.info, &width, &height, &bitDepth, &colorType, &interlace, &compression, &filter);

  // Every colour type and depth becomes 8-bit alpha, red, green, blue.
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(st.png);
  if (png_get_valid(st.png, st.info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(st.png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16) png_set_strip_16(st.png);
  if (bitDepth < 8) png_set_packing(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(st.png);
  if (colorType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(st.png);
  else
    png_set_filler(st.png, 0xff, PNG_FILLER_BEFORE);
  png_set_interlace_handling(st.png);
  png_read_update_info(st.png, st.info);
  // The rows are written straight into the bitmap: they must be exactly 4 bytes per pixel.
  if (png_get_rowbytes(st.png, st.info) != (png_size_t)width * 4) png_error(st.png, "unexpected row size");
  if (width > 0x7fffffff || height > 0x7fffffff) png_error(st.png, "image too large");
  const int w = (int)width, h = (int)height;

  if (st.target) {
    st.target->resize(w, h);
  } else {
    st.created = new (std::nothrow) LICE_MemBitmap(w, h, 4);
    if (!st.created) png_error(st.png, "out of memory");
    st.target = st.created;
  }
  LICE_IBitmap* bmp = st.target;
  if (bmp->getWidth() != w || bmp->getHeight() != h || !bmp->getBits()) png_error(st.png, "bitmap size");

  st.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * (size_t)h));
  if (!st.rows) png_error(st.png, "out of memory");
  const long span = bmp->getRowSpan();
  LICE_pixel* bits = bmp->getBits();
  const bool upright = honourFlip && bmp->isFlipped();
  for (int y = 0; y < h; ++y)
    st.rows[y] = reinterpret_cast<png_bytep>(bits + (upright ? (long)(h - 1 - y) : (long)y) * span);

  png_read_image(st.png, st.rows);
  release(st, false);
  return bmp;
}

bool createReader(LoadState& st)
{
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!st.png) return false;
  st.info = png_create_info_struct(st.png);
  return st.info != nullptr;
}

bool hasPngExtension(const char* name)
{
  const char* ext = name;
  for (const char* p = name; *p; ++p)
    if (*p == '.' || *p == '/' || *p == '\\') ext = p;
  if (std::strlen(ext) != 4 || ext[0] != '.') return false;
  return std::tolower((unsigned char)ext[1]) == 'p' && std::tolower((unsigned char)ext[2]) == 'n' &&
         std::tolower((unsigned char)ext[3]) == 'g';
}

// The resources folder: $VELTRANE_RESOURCES, or Veltrane.vst/Contents/Resources in the folder
// of the file this code was loaded from (the plug-in, or a program linking the library).
std::string resourcesFolder()
{
  const char* env = std::getenv("VELTRANE_RESOURCES");
  if (env && *env) return env;
  const std::string folder = WDL_ModuleFolder(); // absolute, ends in "/"
  if (folder.empty()) return "";
  return folder + "Veltrane.vst/Contents/Resources";
}

} // namespace

LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp)
{
  if (!filename) return nullptr;
  // Regular files only, opened without blocking; the size from the open file, before libpng reads a byte.
  const int fd = WDL_OpenRegularFile(filename);
  if (fd < 0) return nullptr;
  struct stat info;
  LoadState st;
  if (fstat(fd, &info) == 0 && info.st_size <= LICE_PNG_MAX_FILE_BYTES) st.file = fdopen(fd, "rb");
  if (!st.file) {
    close(fd);
    return nullptr;
  }
  if (!createReader(st)) {
    release(st, true);
    return nullptr;
  }
  png_init_io(st.png, st.file);
  return decode(st, bmp, true);
}

LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp)
{
  if (!data || len < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8)) return nullptr;
  LoadState st;
  if (!createReader(st)) {
    release(st, true);
    return nullptr;
  }
  MemorySource src = {static_cast<const unsigned char*>(data), len};
  png_set_read_fn(st.png, &src, staticPngReadFunc);
  return decode(st, bmp, false);
}

LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp)
{
  if (!name || std::strlen(name) > 400) return nullptr;
  const std::string folder = resourcesFolder();
  if (folder.empty() || folder.size() > 1536) return nullptr;
  return LICE_LoadPNG((folder + "/" + name).c_str(), bmp);
}

LICE_IBitmap* LICE_LoadPNGFromResource(void*, int, LICE_IBitmap*)
{
  return nullptr;
}

class LICE_PNGLoader
{
public:
  static LICE_IBitmap* loadfunc(const char* filename, bool checkFileName, LICE_IBitmap* bmp)
  {
    if (checkFileName && (!filename || !hasPngExtension(filename))) return nullptr;
    return LICE_LoadPNG(filename, bmp);
  }
  static const char* get_extlist() { return "PNG files (*.PNG)\0*.PNG\0\0"; }
};

_LICE_ImageLoader_rec* LICE_ImageLoader_list;

// Registered while the program (or plug-in) is loaded.
static _LICE_ImageLoader_rec LICE_pngldr = {LICE_PNGLoader::loadfunc, LICE_PNGLoader::get_extlist, nullptr};
static const bool s_pngRegistered = [] {
  LICE_pngldr._next = LICE_ImageLoader_list;
  LICE_ImageLoader_list = &LICE_pngldr;
  return true;
}();
