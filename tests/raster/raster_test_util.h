// Helpers shared by the raster tests: pixels built from their bytes, a flipped bitmap, and a
// reference of the combine rules written from their arithmetic, apart from the library's
// classes.
#pragma once

#include "raster/lice.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace rt {

// A pixel from its channel values, laid out in memory as bytes alpha, red, green, blue.
inline LICE_pixel px(int r, int g, int b, int a)
{
  const uint8_t bytes[4] = {(uint8_t)a, (uint8_t)r, (uint8_t)g, (uint8_t)b};
  LICE_pixel p;
  std::memcpy(&p, bytes, 4);
  return p;
}
inline int chA(LICE_pixel p)
{
  return reinterpret_cast<const uint8_t*>(&p)[0];
}
inline int chR(LICE_pixel p)
{
  return reinterpret_cast<const uint8_t*>(&p)[1];
}
inline int chG(LICE_pixel p)
{
  return reinterpret_cast<const uint8_t*>(&p)[2];
}
inline int chB(LICE_pixel p)
{
  return reinterpret_cast<const uint8_t*>(&p)[3];
}

inline std::string str(LICE_pixel p)
{
  return "(r" + std::to_string(chR(p)) + " g" + std::to_string(chG(p)) + " b" + std::to_string(chB(p)) + " a" +
         std::to_string(chA(p)) + ")";
}

// Integer division rounding towards zero, spelled out by sign.
inline int tdiv(int n, int d)
{
  const bool neg = (n < 0) != (d < 0);
  const int q = (n < 0 ? -n : n) / (d < 0 ? -d : d);
  return neg ? -q : q;
}
inline int lim(int v)
{
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// A bitmap that stores its rows bottom-up, with a row span wider than its width; the padding is
// filled with a guard value that the tests check is never touched.
class FlippedBitmap : public LICE_IBitmap
{
public:
  static constexpr LICE_pixel kGuard = 0xdeadbeef;
  FlippedBitmap(int w, int h, int pad = 3) : m_w(w), m_h(h), m_span(w + pad), m_px(size_t(m_span) * h, kGuard)
  {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) m_px[size_t(y) * m_span + x] = 0;
  }
  LICE_pixel* getBits() override { return m_px.empty() ? nullptr : m_px.data(); }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_span; }
  bool isFlipped() override { return true; }
  bool resize(int, int) override { return false; }

  // Pixel at logical (x, y), that is memory row height - 1 - y.
  LICE_pixel& at(int x, int y) { return m_px[size_t(m_h - 1 - y) * m_span + x]; }
  LICE_pixel& memAt(int x, int memrow) { return m_px[size_t(memrow) * m_span + x]; }
  bool guardIntact() const
  {
    for (int y = 0; y < m_h; ++y)
      for (int x = m_w; x < m_span; ++x)
        if (m_px[size_t(y) * m_span + x] != kGuard) return false;
    return true;
  }

private:
  int m_w, m_h, m_span;
  std::vector<LICE_pixel> m_px;
};

// Pixel at (x, y) of a top-down bitmap, read through the interface.
inline LICE_pixel& pix(LICE_IBitmap& bm, int x, int y)
{
  return bm.getBits()[y * bm.getRowSpan() + x];
}

// Copies the pixels of src into dst of the same size, row by row through the interface.
inline void copyPixels(LICE_IBitmap& dst, LICE_IBitmap& src)
{
  for (int y = 0; y < src.getHeight(); ++y)
    std::memcpy(dst.getBits() + y * dst.getRowSpan(), src.getBits() + y * src.getRowSpan(), size_t(src.getWidth()) * 4);
}

inline void fillPattern(LICE_IBitmap& bm, unsigned seed)
{
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) {
      seed = seed * 1103515245u + 12345u;
      LICE_pixel v = seed ^ (seed >> 13) * 2654435761u;
      if (bm.isFlipped())
        bm.getBits()[(bm.getHeight() - 1 - y) * bm.getRowSpan() + x] = v;
      else
        pix(bm, x, y) = v;
    }
}

// ---------------------------------------------------------------------------------------------
// Reference combine rules. One channel at a time: d the destination byte, c the source value,
// w the weight (256 whole).

enum Op { Copy = 0, Add = 1, Dodge = 2, Mul = 3, Overlay = 4, Hsv = 5 };

inline int refCopy(int d, int c, int w)
{
  return (c + tdiv((d - c) * (256 - w), 256)) & 0xff;
}
inline int refAdd(int d, int c, int w)
{
  return lim(d + tdiv(c * w, 256));
}
inline int refDodge(int d, int c, int w)
{
  const int k = 256 - tdiv(c * w, 256);
  const unsigned t = (unsigned)d * 256u;
  const unsigned q = k >= 2 ? t / (unsigned)k : t;
  return q > 255u ? 255 : (int)q;
}
inline int refMul(int d, int c, int w)
{
  return (((c * w + (256 - w) * 256) * d) >> 16) & 0xff;
}
inline int refOverlay(int d, int c, int w)
{
  const int s = c * w + (256 - w) * 128;
  const int t = tdiv((32768 - s) * d, 256) + s;
  return lim((t * d) >> 15);
}

// HSV adjustment: the destination's colour turned to hue (384 per turn), saturation and value,
// shifted by r (hue), g (saturation), b (value), each neutral at 128, and turned back.
inline LICE_pixel refHsv(LICE_pixel dest, int r, int g, int b, int a, int w)
{
  auto inv = [](int i) { return i == 0 ? 0 : 65536 / i - 1; };
  const int R = chR(dest), G = chG(dest), B = chB(dest);
  int top, low, diff, base;
  if (R >= G && R > B)
    top = R, low = std::min(G, B), diff = G - B, base = (G < B) ? 383 : 0;
  else if (G > R && G > B)
    top = G, low = std::min(R, B), diff = B - R, base = 128;
  else
    top = B, low = std::min(R, G), diff = R - G, base = 256;
  int hue = base + tdiv((inv(top - low) + 1) * diff, 1024);
  int sat = tdiv((top - low) * inv(top), 256);
  hue += tdiv((r + tdiv(r, 2) - 192) * w, 256);
  if (hue < 0)
    hue += 384;
  else if (hue > 383)
    hue -= 384;
  sat = lim(sat + tdiv((g - 128) * w, 128));
  const int val = lim(top + tdiv((b - 128) * w, 128));
  const int p = tdiv((256 - sat) * val, 256);
  auto q = [&](int x) { return tdiv((16384 - x * sat) * val, 16384); };
  // Sector table: which of v, p, q(...) each of red, green, blue takes.
  const int sector = hue / 64;
  int out[3];
  switch (sector) {
  case 0:
    out[0] = val, out[1] = q(64 - hue), out[2] = p;
    break;
  case 1:
    out[0] = q(hue - 64), out[1] = val, out[2] = p;
    break;
  case 2:
    out[0] = p, out[1] = val, out[2] = q(192 - hue);
    break;
  case 3:
    out[0] = p, out[1] = q(hue - 192), out[2] = val;
    break;
  case 4:
    out[0] = q(320 - hue), out[1] = p, out[2] = val;
    break;
  default:
    out[0] = val, out[1] = p, out[2] = q(hue - 320);
    break;
  }
  return px(out[0], out[1], out[2], lim(a)); // a fill passes its weight, up to 256, as a
}

// One rule applied to all four bytes (the alpha byte with source a).
inline LICE_pixel refPlain(LICE_pixel dest, int r, int g, int b, int a, int w, int op)
{
  if (op == Hsv) return refHsv(dest, r, g, b, a, w);
  int (*f)(int, int, int) = op == Copy    ? refCopy
                            : op == Add   ? refAdd
                            : op == Dodge ? refDodge
                            : op == Mul   ? refMul
                                          : refOverlay;
  return px(f(chR(dest), r, w), f(chG(dest), g, w), f(chB(dest), b, w), f(chA(dest), a, w));
}

// The source-alpha form of a rule: weight (a + 1) x w / 256; copy, add and multiply skip a
// source alpha of 0; copy adds the weight to the destination alpha.
inline LICE_pixel refSourceAlpha(LICE_pixel dest, int r, int g, int b, int a, int w, int op)
{
  const int sa = tdiv((a + 1) * w, 256);
  if (a == 0 && (op == Copy || op == Add || op == Mul)) return dest;
  if (op == Copy)
    return px(refCopy(chR(dest), r, sa), refCopy(chG(dest), g, sa), refCopy(chB(dest), b, sa),
              std::min(chA(dest) + sa, 255));
  return refPlain(dest, r, g, b, a, sa, op);
}

// What a blit, a single-pixel combine or a fill does with one source pixel at weight w under
// mode & 0x100ff, whole-weight special cases included. Modes outside the table change nothing.
inline LICE_pixel refMode(LICE_pixel dest, LICE_pixel src, int w, int mode)
{
  const int r = chR(src), g = chG(src), b = chB(src), a = chA(src);
  const int op = mode & 0xff;
  const bool sa = (mode & 0x10000) != 0;
  if (op > 5 || w == 0) return dest;
  if (!sa) {
    if (op == Copy && w < 1) return dest;
    if (op == Copy && w == 256) return src;
    return refPlain(dest, r, g, b, a, w, op);
  }
  if (op == Copy && w == 256) {
    if (a == 0) return dest;
    if (a == 255) return px(r, g, b, 255);
    auto ch = [a](int d, int c) { return (c + tdiv((d - c) * (255 - a), 256)) & 0xff; };
    return px(ch(chR(dest), r), ch(chG(dest), g), ch(chB(dest), b), std::min(chA(dest) + a, 255));
  }
  return refSourceAlpha(dest, r, g, b, a, w, op);
}

// Copy of a colour at the weights 64, 128, 192 and 256 on whole pixels: each term per byte with
// its low bits dropped, the colour's alpha byte mixed like the others.
inline bool isFastWeight(int w)
{
  return w == 64 || w == 128 || w == 192 || w == 256;
}
inline LICE_pixel refFastCopy(LICE_pixel d, LICE_pixel c, int w)
{
  auto q = [w](int dv, int cv) {
    switch (w) {
    case 64:
      return dv / 2 + dv / 4 + cv / 4;
    case 128:
      return dv / 2 + cv / 2;
    case 192:
      return dv / 4 + cv / 2 + cv / 4;
    default:
      return cv;
    }
  };
  return px(q(chR(d), chR(c)), q(chG(d), chG(c)), q(chB(d), chB(c)), q(chA(d), chA(c)));
}

} // namespace rt
