// PNG loading: fixtures written here with libpng's write side in every colour type and bit
// depth, with and without transparency, plain and interlaced; truncated and corrupt files;
// loading into given bitmaps; the resources folder and the loader list.
#include "raster_test_util.h"

#include "../support/child_deadline.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace rt;
namespace fs = std::filesystem;

namespace {

struct Format
{
  int colorType, depth;
  bool trns;
  bool interlaced;
};

std::string describe(const Format& f)
{
  return "type " + std::to_string(f.colorType) + " depth " + std::to_string(f.depth) + (f.trns ? " tRNS" : "") +
         (f.interlaced ? " interlaced" : "");
}

int channelsOf(int colorType)
{
  switch (colorType) {
  case PNG_COLOR_TYPE_GRAY:
    return 1;
  case PNG_COLOR_TYPE_GRAY_ALPHA:
    return 2;
  case PNG_COLOR_TYPE_RGB:
    return 3;
  case PNG_COLOR_TYPE_RGB_ALPHA:
    return 4;
  default:
    return 1; // palette index
  }
}

// Sample value of channel c of pixel (x, y) at the given depth, varied over the image.
int sample(int x, int y, int c, int depth)
{
  const int max = (1 << depth) - 1;
  const unsigned v = (unsigned)(x * 37 + y * 91 + c * 53 + x * y * 7) * 2654435761u;
  return (int)((v >> 11) % (unsigned)(max + 1));
}

constexpr int kPaletteSize = 13;

// The palette entry of index i, and its transparency (for the first 7 entries only).
void paletteEntry(int i, int& r, int& g, int& b)
{
  r = (i * 19) & 255, g = (255 - i * 7) & 255, b = (i * i * 3) & 255;
}
int paletteAlpha(int i)
{
  return i < 7 ? i * 40 : 255;
}

// Colour used as the transparent key: the sample of pixel (1, 0), so that some pixels match.
int keySample(int c, int depth)
{
  return sample(1, 0, c, depth);
}

int paletteIndex(int x, int y, int depth)
{
  return sample(x, y, 0, depth) % std::min(kPaletteSize, 1 << depth);
}

// Writes an image of w x h in the format to a PNG held in memory.
std::vector<uint8_t> writePng(const Format& f, int w, int h)
{
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "writing the fixture failed";
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, w, h, f.depth, f.colorType, f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[kPaletteSize];
  png_byte trans[7];
  if (f.colorType == PNG_COLOR_TYPE_PALETTE) {
    // A palette holds at most 2^depth entries.
    const int entries = std::min(kPaletteSize, 1 << f.depth);
    for (int i = 0; i < entries; ++i) {
      int r, g, b;
      paletteEntry(i, r, g, b);
      palette[i] = {(png_byte)r, (png_byte)g, (png_byte)b};
    }
    png_set_PLTE(png, info, palette, entries);
    if (f.trns) {
      const int n = std::min(7, entries);
      for (int i = 0; i < n; ++i) trans[i] = (png_byte)paletteAlpha(i);
      png_set_tRNS(png, info, trans, n, nullptr);
    }
  } else if (f.trns) {
    png_color_16 key = {};
    key.gray = (png_uint_16)keySample(0, f.depth);
    key.red = (png_uint_16)keySample(0, f.depth);
    key.green = (png_uint_16)keySample(1, f.depth);
    key.blue = (png_uint_16)keySample(2, f.depth);
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);

  // Rows packed by hand: sub-byte samples from the high bits, 16-bit samples big-endian.
  const int ch = channelsOf(f.colorType);
  const size_t rowBytes = ((size_t)w * ch * f.depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(h, std::vector<png_byte>(rowBytes, 0));
  for (int y = 0; y < h; ++y) {
    size_t bit = 0;
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < ch; ++c) {
        const int v = f.colorType == PNG_COLOR_TYPE_PALETTE ? paletteIndex(x, y, f.depth) : sample(x, y, c, f.depth);
        if (f.depth == 16) {
          rows[y][bit / 8] = (png_byte)(v >> 8);
          rows[y][bit / 8 + 1] = (png_byte)v;
        } else {
          rows[y][bit / 8] |= (png_byte)(v << (8 - f.depth - bit % 8));
        }
        bit += f.depth;
      }
  }
  std::vector<png_bytep> ptrs(h);
  for (int y = 0; y < h; ++y) ptrs[y] = rows[y].data();
  png_write_image(png, ptrs.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// What the loader should make of pixel (x, y): 8-bit channels, alpha 255 without transparency.
LICE_pixel expected(const Format& f, int x, int y)
{
  auto to8 = [&](int v) {
    switch (f.depth) {
    case 1:
      return v * 255;
    case 2:
      return v * 85;
    case 4:
      return v * 17;
    case 16:
      return v >> 8;
    default:
      return v;
    }
  };
  switch (f.colorType) {
  case PNG_COLOR_TYPE_PALETTE: {
    const int i = paletteIndex(x, y, f.depth);
    int r, g, b;
    paletteEntry(i, r, g, b);
    return px(r, g, b, f.trns ? paletteAlpha(i) : 255);
  }
  case PNG_COLOR_TYPE_GRAY: {
    const int v = sample(x, y, 0, f.depth);
    const int a = f.trns && v == keySample(0, f.depth) ? 0 : 255;
    return px(to8(v), to8(v), to8(v), a);
  }
  case PNG_COLOR_TYPE_GRAY_ALPHA: {
    const int v = to8(sample(x, y, 0, f.depth));
    return px(v, v, v, to8(sample(x, y, 1, f.depth)));
  }
  case PNG_COLOR_TYPE_RGB: {
    const int r = sample(x, y, 0, f.depth), g = sample(x, y, 1, f.depth), b = sample(x, y, 2, f.depth);
    const bool key = f.trns && r == keySample(0, f.depth) && g == keySample(1, f.depth) && b == keySample(2, f.depth);
    return px(to8(r), to8(g), to8(b), key ? 0 : 255);
  }
  default:
    return px(to8(sample(x, y, 0, f.depth)), to8(sample(x, y, 1, f.depth)), to8(sample(x, y, 2, f.depth)),
              to8(sample(x, y, 3, f.depth)));
  }
}

std::vector<Format> allFormats()
{
  std::vector<Format> v;
  const std::pair<int, std::vector<int>> types[] = {
      {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},   {PNG_COLOR_TYPE_RGB, {8, 16}},
      {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},     {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
  };
  for (const auto& [type, depths] : types)
    for (int depth : depths)
      for (bool interlaced : {false, true}) {
        v.push_back({type, depth, false, interlaced});
        if (!(type & PNG_COLOR_MASK_ALPHA)) v.push_back({type, depth, true, interlaced});
      }
  return v;
}

// A scratch folder for this test process, removed with it.
struct TempDir
{
  fs::path path;
  TempDir()
  {
    path = fs::temp_directory_path() / ("veltrane-png-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const
  {
    const fs::path p = path / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    return p.string();
  }
};

void expectImage(LICE_IBitmap* bm, const Format& f, int w, int h, bool flippedUpright = true)
{
  ASSERT_NE(bm, nullptr) << describe(f);
  ASSERT_EQ(bm->getWidth(), w);
  ASSERT_EQ(bm->getHeight(), h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int row = bm->isFlipped() && flippedUpright ? h - 1 - y : y;
      const LICE_pixel got = bm->getBits()[row * bm->getRowSpan() + x];
      ASSERT_EQ(got, expected(f, x, y)) << describe(f) << " at " << x << "," << y << " got " << str(got) << " want "
                                        << str(expected(f, x, y));
    }
}

// Offset of the first chunk of the given type, or npos.
size_t findChunk(const std::vector<uint8_t>& png, const char* type)
{
  for (size_t pos = 8; pos + 8 <= png.size();) {
    const uint32_t len = (uint32_t)png[pos] << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 | png[pos + 3];
    if (std::memcmp(&png[pos + 4], type, 4) == 0) return pos;
    pos += 12 + len;
  }
  return std::string::npos;
}

// Recomputes the CRC of the chunk at pos after its contents were changed.
void fixCrc(std::vector<uint8_t>& png, size_t pos)
{
  const uint32_t len = (uint32_t)png[pos] << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 | png[pos + 3];
  const uLong crc = crc32(0, &png[pos + 4], 4 + len);
  for (int i = 0; i < 4; ++i) png[pos + 8 + len + i] = (uint8_t)(crc >> (24 - 8 * i));
}

} // namespace

TEST(PngLoad, EveryColourTypeAndDepthFromMemory)
{
  for (const Format& f : allFormats()) {
    const auto bytes = writePng(f, 13, 7);
    LICE_IBitmap* bm = LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), nullptr);
    expectImage(bm, f, 13, 7);
    if (bm) {
      EXPECT_EQ(bm->getRowSpan(), 16); // rows padded to 4 pixels
    }
    delete bm;
  }
}

TEST(PngLoad, EveryColourTypeAndDepthFromFiles)
{
  TempDir dir;
  for (const Format& f : allFormats()) {
    const std::string file = dir.write("img.png", writePng(f, 9, 11));
    LICE_IBitmap* bm = LICE_LoadPNG(file.c_str(), nullptr);
    expectImage(bm, f, 9, 11);
    delete bm;
  }
}

TEST(PngLoad, WorkedExamples)
{
  // Grey 1-bit: opaque black and white.
  const Format grey1 = {PNG_COLOR_TYPE_GRAY, 1, false, false};
  const auto bytes = writePng(grey1, 8, 2);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size()));
  ASSERT_TRUE(bm);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      const LICE_pixel p = pix(*bm, x, y);
      EXPECT_TRUE(p == px(0, 0, 0, 255) || p == px(255, 255, 255, 255)) << str(p);
    }
  // Palette with tRNS: per-pixel alpha from the palette's transparency; without: 255.
  const Format pal = {PNG_COLOR_TYPE_PALETTE, 8, true, false};
  const auto pb = writePng(pal, 16, 4);
  bm.reset(LICE_LoadPNGFromMemory(pb.data(), (int)pb.size()));
  ASSERT_TRUE(bm);
  bool sawTransparent = false;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; ++x) sawTransparent |= chA(pix(*bm, x, y)) < 255;
  EXPECT_TRUE(sawTransparent);
}

TEST(PngLoad, IntoAGivenBitmap)
{
  const Format f = {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false};
  const auto bytes = writePng(f, 13, 7);
  LICE_MemBitmap mem(2, 2);
  EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), &mem), &mem);
  expectImage(&mem, f, 13, 7);

  LICE_SysBitmap sys(40, 40);
  EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), &sys), &sys);
  expectImage(&sys, f, 13, 7);

  TempDir dir;
  const std::string file = dir.write("i.png", bytes);
  LICE_MemBitmap mem2(1, 1);
  EXPECT_EQ(LICE_LoadPNG(file.c_str(), &mem2), &mem2);
  expectImage(&mem2, f, 13, 7);
}

TEST(PngLoad, FlippedBitmapFromAFileStaysUpright)
{
  // A bitmap that cannot change its size only takes images of its own size.
  const Format f = {PNG_COLOR_TYPE_RGB, 8, false, true};
  const auto bytes = writePng(f, 6, 5);
  TempDir dir;
  const std::string file = dir.write("f.png", bytes);
  FlippedBitmap fromFile(6, 5), fromMemory(6, 5);
  EXPECT_EQ(LICE_LoadPNG(file.c_str(), &fromFile), &fromFile);
  expectImage(&fromFile, f, 6, 5, true);
  EXPECT_TRUE(fromFile.guardIntact());
  // From memory the rows go in memory order whatever the flag.
  EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), &fromMemory), &fromMemory);
  expectImage(&fromMemory, f, 6, 5, false);
  FlippedBitmap wrongSize(4, 4);
  EXPECT_EQ(LICE_LoadPNG(file.c_str(), &wrongSize), nullptr);
}

TEST(PngLoad, TruncatedImagesGiveNull)
{
  for (bool interlaced : {false, true}) {
    const Format f = {PNG_COLOR_TYPE_RGB_ALPHA, 16, false, interlaced};
    const auto bytes = writePng(f, 21, 17);
    TempDir dir;
    const size_t idat = findChunk(bytes, "IDAT");
    ASSERT_NE(idat, std::string::npos);
    // Once the image data is cut short, decoding fails. The last few bytes of the compressed
    // stream (its end code and checksum) and the chunk's CRC are not needed for the pixels,
    // so cuts there may still give the complete image, never a wrong one.
    const uint32_t idatLen =
        (uint32_t)bytes[idat] << 24 | bytes[idat + 1] << 16 | bytes[idat + 2] << 8 | bytes[idat + 3];
    const size_t dataEnd = idat + 8 + idatLen;
    for (size_t len = 0; len < bytes.size() - 12; ++len) { // the last 12 bytes are IEND
      LICE_IBitmap* bm = LICE_LoadPNGFromMemory(bytes.data(), (int)len, nullptr);
      if (len + 16 < dataEnd) {
        EXPECT_EQ(bm, nullptr) << len;
      } else if (bm) {
        expectImage(bm, f, 21, 17);
      }
      delete bm;
      // A given bitmap is not deleted; once the header was read it has the image's size.
      LICE_MemBitmap given(3, 3);
      LICE_IBitmap* got = LICE_LoadPNGFromMemory(bytes.data(), (int)len, &given);
      EXPECT_TRUE(got == nullptr || got == &given);
      if (len + 16 < dataEnd) {
        EXPECT_EQ(got, nullptr);
      }
      if (len >= idat + 8) {
        EXPECT_EQ(given.getWidth(), 21);
        EXPECT_EQ(given.getHeight(), 17);
      } else {
        EXPECT_EQ(given.getWidth(), 3);
      }
      if (len % 7 == 0 && len + 16 < dataEnd) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + (long)len);
        const std::string file = dir.write("t.png", part);
        EXPECT_EQ(LICE_LoadPNG(file.c_str(), nullptr), nullptr) << len;
      }
    }
    // Without its end chunk the image itself is complete and still loads.
    std::unique_ptr<LICE_IBitmap> whole(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size() - 12));
    expectImage(whole.get(), f, 21, 17);
  }
}

TEST(PngLoad, CorruptImagesGiveNull)
{
  const Format f = {PNG_COLOR_TYPE_PALETTE, 4, true, false};
  const auto good = writePng(f, 30, 20);
  const size_t ihdr = findChunk(good, "IHDR"), idat = findChunk(good, "IDAT");
  ASSERT_NE(idat, std::string::npos);
  std::vector<std::function<void(std::vector<uint8_t>&)>> damage = {
      [&](auto& b) { b[idat + 10] ^= 0x55; },                  // bad CRC
      [&](auto& b) { b[idat + 10] ^= 0x55, fixCrc(b, idat); }, // bad deflate header
      [&](auto& b) { std::fill(b.begin() + (long)idat + 12, b.end() - 16, 0xff), fixCrc(b, idat); },  // bad data
      [&](auto& b) { b[ihdr + 8] = b[ihdr + 9] = b[ihdr + 10] = b[ihdr + 11] = 0, fixCrc(b, ihdr); }, // width 0
      [&](auto& b) { b[ihdr + 8] = 0x7f, fixCrc(b, ihdr); }, // width 2^31 - ...
      [&](auto& b) { b[ihdr + 16] = 3, fixCrc(b, ihdr); },   // bit depth 3
      [&](auto& b) { b[ihdr + 17] = 7, fixCrc(b, ihdr); },   // colour type 7
      [&](auto& b) { b[ihdr + 20] = 2, fixCrc(b, ihdr); },   // interlace method 2
      [&](auto& b) { b[1] = 'Q'; },                          // signature
      [&](auto& b) { b.erase(b.begin() + (long)findChunk(b, "PLTE"), b.begin() + (long)findChunk(b, "tRNS")); },
  };
  TempDir dir;
  for (size_t i = 0; i < damage.size(); ++i) {
    auto bytes = good;
    damage[i](bytes);
    LICE_IBitmap* bm = LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), nullptr);
    EXPECT_EQ(bm, nullptr) << "damage " << i;
    delete bm;
    const std::string file = dir.write("c.png", bytes);
    bm = LICE_LoadPNG(file.c_str(), nullptr);
    EXPECT_EQ(bm, nullptr) << "damage " << i;
    delete bm;
  }
}

TEST(PngLoad, AChunkLongerThanTheDataEndsTheLoadAtOnce)
{
  // After a good header, a chunk that claims 1.5 GB and has nothing behind it: the end of the
  // data ends the load, rather than libpng checksumming 1.5 GB that are not there.
  const Format f = {PNG_COLOR_TYPE_GRAY, 4, false, false};
  const auto good = writePng(f, 7, 6);
  const size_t ihdr = findChunk(good, "IHDR");
  std::vector<uint8_t> bytes(good.begin(), good.begin() + (long)ihdr + 12 + 13);
  bytes.insert(bytes.end(), {0x59, 0x59, 0x59, 0x59, 'a', 'b', 'C', 'd', 1, 2, 3});
  // A thousand loads take milliseconds; checksumming takes about half a second each: the bound is only a guard
  // against that, far above what a busy machine makes of the milliseconds.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 500; ++i) {
    LICE_MemBitmap given(3, 2);
    EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), nullptr), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), &given), nullptr);
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
}

TEST(PngLoad, NotAPng)
{
  const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  EXPECT_EQ(LICE_LoadPNGFromMemory(sig, 7, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromMemory(sig, 8, nullptr), nullptr); // signature only
  const uint8_t text[8] = {'n', 'o', 't', ' ', 'p', 'n', 'g', '!'};
  EXPECT_EQ(LICE_LoadPNGFromMemory(text, 8, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromMemory(nullptr, 100, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromMemory(sig, -5, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNG("/nonexistent/file.png", nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNG(nullptr, nullptr), nullptr);
  TempDir dir;
  EXPECT_EQ(LICE_LoadPNG(dir.path.c_str(), nullptr), nullptr); // a folder
  EXPECT_EQ(LICE_LoadPNG(dir.write("empty.png", {}).c_str(), nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromResource(nullptr, 101, nullptr), nullptr);
  // Refused at once: a FIFO nobody writes, a device, a sparse file beyond 64 MiB after a whole image.
  const std::string fifo = (dir.path / "fifo.png").string();
  const std::string big = dir.write("big.png", writePng({PNG_COLOR_TYPE_RGB, 8, false, false}, 3, 2));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(truncate(big.c_str(), (64 << 20) + 1), 0);
  for (const std::string& p : {fifo, std::string("/dev/zero"), big})
    EXPECT_EQ(inChildWithin30s([&] { return LICE_LoadPNG(p.c_str()) != nullptr; }), 0) << p;
  // Nor written: a FIFO nobody reads.
  EXPECT_EQ(inChildWithin30s([&] {
              LICE_MemBitmap image(3, 2);
              return LICE_WritePNG(fifo.c_str(), &image) ? 1 : 2;
            }),
            2);
  ASSERT_EQ(truncate(big.c_str(), 64 << 20), 0);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(big.c_str()));
  EXPECT_NE(bm, nullptr);
}

TEST(PngLoad, ImagesTooLargeForABitmapGiveNull)
{
  // A header claiming 40000 x 40000 pixels: more bytes than a bitmap may hold.
  const Format f = {PNG_COLOR_TYPE_GRAY, 8, false, false};
  auto bytes = writePng(f, 4, 4);
  const size_t ihdr = findChunk(bytes, "IHDR");
  for (int i = 0; i < 2; ++i) {
    bytes[ihdr + 8 + 4 * i] = 0;
    bytes[ihdr + 9 + 4 * i] = 0;
    bytes[ihdr + 10 + 4 * i] = 0x9c;
    bytes[ihdr + 11 + 4 * i] = 0x40;
  }
  fixCrc(bytes, ihdr);
  EXPECT_EQ(LICE_LoadPNGFromMemory(bytes.data(), (int)bytes.size(), nullptr), nullptr);
}

TEST(PngResources, FoundThroughTheResourcesFolder)
{
  const Format f = {PNG_COLOR_TYPE_RGB, 8, true, false};
  TempDir dir;
  dir.write("knob.png", writePng(f, 5, 3));
  ASSERT_EQ(setenv("VELTRANE_RESOURCES", dir.path.c_str(), 1), 0);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromNamedResource("knob.png"));
  expectImage(bm.get(), f, 5, 3);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource("missing.png"), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource(std::string(401, 'a').c_str()), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource(nullptr), nullptr);
  LICE_MemBitmap given;
  EXPECT_EQ(LICE_LoadPNGFromNamedResource("knob.png", &given), &given);
  unsetenv("VELTRANE_RESOURCES");
}

TEST(PngResources, DefaultFolderIsBesideTheLoadedFile)
{
  // Without the variable: Veltrane.vst/Contents/Resources beside the file holding the code,
  // here the test program.
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  const fs::path res = exe.parent_path() / "Veltrane.vst" / "Contents" / "Resources";
  const std::string name = "png-test-" + std::to_string(getpid()) + ".png";
  fs::create_directories(res);
  const Format f = {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false};
  const auto bytes = writePng(f, 3, 3);
  std::ofstream(res / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), (long)bytes.size());
  unsetenv("VELTRANE_RESOURCES");
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromNamedResource(name.c_str()));
  fs::remove(res / name);
  expectImage(bm.get(), f, 3, 3);
}

TEST(PngLoader, RegisteredInTheLoaderList)
{
  ASSERT_NE(LICE_ImageLoader_list, nullptr);
  const _LICE_ImageLoader_rec* rec = LICE_ImageLoader_list;
  const char want[] = "PNG files (*.PNG)\0*.PNG\0";
  EXPECT_EQ(std::memcmp(rec->get_extlist(), want, sizeof(want)), 0); // sizeof counts the final zero

  TempDir dir;
  const auto bytes = writePng({PNG_COLOR_TYPE_RGB, 8, false, false}, 2, 2);
  struct Case
  {
    std::string name;
    bool accepted;
  };
  const Case cases[] = {{"a.PNG", true}, {"b.png", true}, {"c.png.bak", false}, {"dir.png/x", false},
                        {"png", false},  {"d.Png", true}, {"e.pn", false},      {"f.pngx", false}};
  for (const Case& c : cases) {
    const std::string file = dir.write(c.name, bytes);
    LICE_IBitmap* bm = rec->loadfunc(file.c_str(), true, nullptr);
    EXPECT_EQ(bm != nullptr, c.accepted) << c.name;
    delete bm;
    // Without the check every readable PNG loads.
    bm = rec->loadfunc(file.c_str(), false, nullptr);
    EXPECT_NE(bm, nullptr) << c.name;
    delete bm;
  }
  EXPECT_EQ(rec->loadfunc("png", true, nullptr), nullptr);
}

TEST(PngLoad, FuzzSeedFilesLoad)
{
  // The fuzz target's seeds are real PNG files written apart from libpng; each decodes.
  const fs::path dir = fs::path(VELTRANE_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "png_load";
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue; // found/: inputs the fuzzer found, not images
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(e.path().c_str()));
    ASSERT_TRUE(bm) << e.path();
    EXPECT_GT(bm->getWidth(), 0);
    ++n;
  }
  EXPECT_GE(n, 10);
}
