// Fills and single pixels: whole-bitmap clears, rectangle fills under a combine mode, masks,
// channel arithmetic, per-pixel callbacks, colour keys and the span seed fill.
#include "lice_templates.h"

#include <cstdint>

namespace {

// A rectangle clipped to a bitmap: its first pixel in memory and the rows to walk downward.
// For a flipped bitmap the same set of logical rows is walked from its lowest memory row.
struct ClippedRect
{
  LICE_pixel* first;
  int w, h, span;
};

bool clipRect(LICE_IBitmap* bm, int x, int y, int w, int h, ClippedRect& out)
{
  if (!bm) return false;
  int64_t x0 = x, y0 = y, w0 = w, h0 = h;
  if (x0 < 0) {
    w0 += x0;
    x0 = 0;
  }
  if (y0 < 0) {
    h0 += y0;
    y0 = 0;
  }
  LICE_pixel* bits = bm->getBits();
  const int span = bm->getRowSpan();
  const int bw = bm->getWidth(), bh = bm->getHeight();
  if (!bits || !span || w0 <= 0 || h0 <= 0 || x0 >= bw || y0 >= bh) return false;
  if (w0 > bw - x0) w0 = bw - x0;
  if (h0 > bh - y0) h0 = bh - y0;
  const int64_t row = bm->isFlipped() ? bh - y0 - h0 : y0;
  out.first = bits + row * span + x0;
  out.w = (int)w0;
  out.h = (int)h0;
  out.span = span;
  return true;
}

// The pixel at caller coordinates (x, y), or null outside the bitmap.
LICE_pixel* pixelAt(LICE_IBitmap* bm, int x, int y)
{
  if (!bm) return nullptr;
  LICE_pixel* bits = bm->getBits();
  const int bw = bm->getWidth(), bh = bm->getHeight();
  if (!bits || x < 0 || y < 0 || x >= bw || y >= bh) return nullptr;
  const int row = bm->isFlipped() ? bh - 1 - y : y;
  return bits + int64_t(row) * bm->getRowSpan() + x;
}

// Copy at the weights 0.25, 0.5, 0.75 and 1, on whole pixels (the colour's alpha byte included).
// Returns false for any other weight.
bool fastCopyFill(LICE_pixel* first, int w, int h, int span, LICE_pixel c, int ia)
{
  switch (ia) {
  case 64:
    _LICE_Template_Blit0<_LICE_CombinePixelsQuarterMix2FAST>::solidBlitFAST(first, w, h, (c >> 2) & 0x3f3f3f3f, span);
    return true;
  case 128:
    _LICE_Template_Blit0<_LICE_CombinePixelsHalfMix2FAST>::solidBlitFAST(first, w, h, (c >> 1) & 0x7f7f7f7f, span);
    return true;
  case 192:
    _LICE_Template_Blit0<_LICE_CombinePixelsThreeQuarterMix2FAST>::solidBlitFAST(
        first, w, h, ((c >> 1) & 0x7f7f7f7f) + ((c >> 2) & 0x3f3f3f3f), span);
    return true;
  case 256:
    _LICE_Template_Blit0<_LICE_CombinePixelsClobberFAST>::solidBlitFAST(first, w, h, c, span);
    return true;
  default:
    return false;
  }
}

} // namespace

void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color)
{
  if (!dest) return;
  LICE_pixel* bits = dest->getBits();
  const int w = dest->getWidth(), h = dest->getHeight(), span = dest->getRowSpan();
  if (!bits || w < 1 || h < 1 || !span) return;
  for (int y = 0; y < h; ++y, bits += span)
    for (int x = 0; x < w; ++x) bits[x] = color;
}

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  if (!dest) return;
  if (mode & LICE_BLIT_USE_ALPHA) alpha *= (float)LICE_GETA(color) / 255.0f;
  ClippedRect r;
  if (!clipRect(dest, x, y, w, h, r) || alpha == 0.0f) return;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  const int op = mode & LICE_BLIT_MODE_MASK;

  if (op == LICE_BLIT_MODE_COPY) {
    if (ia == 0) return;
    if (fastCopyFill(r.first, r.w, r.h, r.span, color, ia)) return;
  }
  if (ia == 0) return;
  if (op == LICE_BLIT_MODE_COPY && ia < 1) return;
  LICE_WithCombineClass(op, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    _LICE_Template_Blit1<C>::solidBlit(reinterpret_cast<LICE_pixel_chan*>(r.first), r.w, r.h, LICE_GETR(color),
                                       LICE_GETG(color), LICE_GETB(color), ia, r.span * 4);
  });
}

void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel keepmask, LICE_pixel setbits)
{
  ClippedRect r;
  if (!clipRect(dest, x, y, w, h, r)) return;
  for (LICE_pixel* row = r.first; r.h > 0; --r.h, row += r.span)
    for (int i = 0; i < r.w; ++i) row[i] = (row[i] & keepmask) | setbits;
}

LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y)
{
  const LICE_pixel* p = pixelAt(bm, x, y);
  return p ? *p : 0;
}

void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode)
{
  LICE_pixel* p = pixelAt(bm, x, y);
  if (!p) return;
  const int ia = _LICE_Weight(alpha * 256.0f);
  const int op = mode & LICE_BLIT_MODE_MASK;
  if (op == LICE_BLIT_MODE_COPY) {
    if (ia == 0) return;
    if (fastCopyFill(p, 1, 1, 0, color, ia)) return;
  }
  if (ia == 0) return;
  if (op == LICE_BLIT_MODE_COPY && ia < 1) return;
  LICE_WithCombineClass(op, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    C::doPix(reinterpret_cast<LICE_pixel_chan*>(p), LICE_GETR(color), LICE_GETG(color), LICE_GETB(color),
             LICE_GETA(color), ia);
  });
}

void LICE_SetPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color)
{
  LICE_pixel* p = pixelAt(bm, x, y);
  if (p) *p = color;
}

void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                          float radd, float gadd, float badd, float aadd)
{
  ClippedRect r;
  if (!clipRect(dest, x, y, w, h, r)) return;
  // Scales and offsets in 1/256 units; held within +-2^20 so that channel x scale + offset
  // stays inside an int.
  auto fix = [](float v) {
    const int i = _LICE_TruncToInt((double)v * 256.0);
    return i < -(1 << 20) ? -(1 << 20) : i > (1 << 20) ? (1 << 20) : i;
  };
  int sc[4], add[4];
  sc[LICE_PIXEL_R] = fix(rsc), sc[LICE_PIXEL_G] = fix(gsc), sc[LICE_PIXEL_B] = fix(bsc), sc[LICE_PIXEL_A] = fix(asc);
  add[LICE_PIXEL_R] = fix(radd), add[LICE_PIXEL_G] = fix(gadd), add[LICE_PIXEL_B] = fix(badd),
  add[LICE_PIXEL_A] = fix(aadd);
  for (LICE_pixel* row = r.first; r.h > 0; --r.h, row += r.span) {
    LICE_pixel_chan* p = reinterpret_cast<LICE_pixel_chan*>(row);
    for (int i = 0; i < r.w * 4; i += 4)
      for (int k = 0; k < 4; ++k) p[i + k] = (LICE_pixel_chan)_LICE_Clamp255((p[i + k] * sc[k] + add[k]) >> 8);
  }
}

void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h, void (*procFunc)(LICE_pixel* p, void* parm),
                      void* parm)
{
  ClippedRect r;
  if (!procFunc || !clipRect(dest, x, y, w, h, r)) return;
  for (LICE_pixel* row = r.first; r.h > 0; --r.h, row += r.span)
    for (int i = 0; i < r.w; ++i) procFunc(row + i, parm);
}

void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel colorMask)
{
  if (!dest) return;
  LICE_pixel* bits = dest->getBits();
  const int w = dest->getWidth(), h = dest->getHeight(), span = dest->getRowSpan();
  if (!bits || w < 1 || h < 1 || span < 1) return;
  for (int y = 0; y < h; ++y, bits += span)
    for (int x = 0; x < w; ++x) {
      const LICE_pixel c = bits[x] & 0xffffff00;
      bits[x] = c == colorMask ? c : bits[x] | 0xff;
    }
}

void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask, LICE_pixel keepmask)
{
  if (!dest) return;
  const int w = dest->getWidth(), h = dest->getHeight(), span = dest->getRowSpan();
  LICE_pixel* bits = dest->getBits();
  if (x < 0 || y < 0 || x >= w || y >= h || !bits) return;
  auto row = [&](int r) { return bits + int64_t(r) * span; };
  const LICE_pixel target = row(y)[x] & comparemask;
  auto matches = [&](LICE_pixel p) { return (p & comparemask) == target; };
  auto fillRow = [&](LICE_pixel* p) {
    p[x] = (p[x] & keepmask) | newcolor;
    for (int c = x + 1; c < w && matches(p[c]); ++c) p[c] = (p[c] & keepmask) | newcolor;
    for (int c = x - 1; c >= 0 && matches(p[c]); --c) p[c] = (p[c] & keepmask) | newcolor;
  };
  // Downward from the seed row, then upward from the row above it, while column x matches.
  for (int r = y; r < h; ++r) {
    LICE_pixel* p = row(r);
    if (r != y && !matches(p[x])) break;
    fillRow(p);
  }
  for (int r = y - 1; r >= 0; --r) {
    LICE_pixel* p = row(r);
    if (!matches(p[x])) break;
    fillRow(p);
  }
}
