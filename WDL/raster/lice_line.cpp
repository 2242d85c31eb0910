// Integer lines: clipped to the bitmap, classified as horizontal, vertical, 45-degree or general,
// and drawn by the loop made for that shape and combine class.
#include "lice_lines.h"
#include "lice_templates.h"

#include <cmath>

namespace {

// Copy at alpha exactly 1, 0.5, 0.25 or 0.75 on whole pixels: w x h pixels from p, rows step
// apart. False for any other alpha.
bool fastCopy(LICE_pixel* p, int w, int h, int step, LICE_pixel c, float alpha)
{
  if (alpha == 1.0f)
    _LICE_Template_Blit0<_LICE_CombinePixelsClobberFAST>::solidBlitFAST(p, w, h, c, step);
  else if (alpha == 0.5f)
    _LICE_Template_Blit0<_LICE_CombinePixelsHalfMixFAST>::solidBlitFAST(p, w, h, c, step);
  else if (alpha == 0.25f)
    _LICE_Template_Blit0<_LICE_CombinePixelsQuarterMix2FAST>::solidBlitFAST(p, w, h, _LICE_FastCopy::quarter(c), step);
  else if (alpha == 0.75f)
    _LICE_Template_Blit0<_LICE_CombinePixelsThreeQuarterMix2FAST>::solidBlitFAST(
        p, w, h, _LICE_FastCopy::threeQuarters(c), step);
  else
    return false;
  return true;
}

} // namespace

bool _LICE_ClipLine64(int64_t* px1, int64_t* py1, int64_t* px2, int64_t* py2, int64_t w, int64_t h)
{
  int64_t x1 = *px1, y1 = *py1, x2 = *px2, y2 = *py2;
  auto code = [w, h](int64_t x, int64_t y) { return _LICE_OutCode(x, y, w, h); };
  // The point moved is never level with the other on the edge it crosses, so no quotient below
  // divides by zero; the crossing lies between the two points.
  auto cross = [w, h](int c, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t& x, int64_t& y) {
    const double dx = (double)x2 - (double)x1, dy = (double)y2 - (double)y1;
    if (c & 8) {
      x = x1 + (int64_t)std::trunc(dx * ((double)h - (double)y1) / dy);
      y = h - 1;
    } else if (c & 4) {
      x = x1 + (int64_t)std::trunc(dx * (0.0 - (double)y1) / dy);
      y = 0;
    } else if (c & 2) {
      y = y1 + (int64_t)std::trunc(dy * ((double)w - (double)x1) / dx);
      x = w - 1;
    } else {
      y = y1 + (int64_t)std::trunc(dy * (0.0 - (double)x1) / dx);
      x = 0;
    }
  };
  const bool ok = _LICE_ClipSegment(x1, y1, x2, y2, code, cross);
  *px1 = x1, *py1 = y1, *px2 = x2, *py2 = y2;
  return ok;
}

bool ClipLine(int* x1, int* y1, int* x2, int* y2, int w, int h)
{
  int64_t a = *x1, b = *y1, c = *x2, d = *y2;
  const bool ok = _LICE_ClipLine64(&a, &b, &c, &d, w, h);
  // Every moved coordinate lies between the end points or on an edge inside 0..w-1, 0..h-1.
  *x1 = _LICE_SatInt(a), *y1 = _LICE_SatInt(b), *x2 = _LICE_SatInt(c), *y2 = _LICE_SatInt(d);
  return ok;
}

void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha, int mode, bool aa)
{
  if (!dest) return;
  const int W = dest->getWidth(), H = dest->getHeight();
  int64_t X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
  if (dest->isFlipped()) {
    Y1 = (int64_t)H - 1 - Y1;
    Y2 = (int64_t)H - 1 - Y2;
  }
  if (!_LICE_ClipLine64(&X1, &Y1, &X2, &Y2, W, H)) return;
  LICE_pixel* bits = dest->getBits();
  if (!bits) return;
  const int span = dest->getRowSpan();
  const int ax = (int)X1, ay = (int)Y1, bx = (int)X2, by = (int)Y2;
  const int op = mode & LICE_BLIT_MODE_MASK;
  const bool copy = op == LICE_BLIT_MODE_COPY;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  const int adx = bx > ax ? bx - ax : ax - bx, ady = by > ay ? by - ay : ay - by;

  if (ay == by || ax == bx) {
    // Horizontal or vertical: every pixel from the smaller to the larger coordinate.
    const bool horiz = ay == by;
    LICE_pixel* p =
        horiz ? bits + (int64_t)ay * span + (ax < bx ? ax : bx) : bits + (int64_t)(ay < by ? ay : by) * span + ax;
    const int n = (horiz ? adx : ady) + 1;
    if (copy && (horiz ? fastCopy(p, n, 1, span, color, alpha) : fastCopy(p, 1, n, span, color, alpha))) return;
    _LICE_WithLineClass(op, ia, true, [&](auto tag) {
      typedef __LICE_LineClassSimple<typename decltype(tag)::type> L;
      if (horiz)
        L::LICE_HorizLine(p, n, color, ia);
      else
        L::LICE_VertLine(p, span, n, color, ia);
    });
    return;
  }

  LICE_pixel* p1 = bits + (int64_t)ay * span + ax;
  if (adx == ady) {
    // 45 degrees from the first end point.
    const int xstep = bx > ax ? 1 : -1, ystep = by > ay ? span : -span;
    if (copy && alpha == 1.0f) {
      if (!aa) {
        _LICE_Template_Blit0<_LICE_CombinePixelsClobberFAST>::solidBlitFAST(p1, 1, adx + 1, color, xstep + ystep);
      } else {
        const LICE_pixel q = _LICE_FastCopy::quarter(color), tq = _LICE_FastCopy::threeQuarters(color);
        _LICE_Template_Blit0<_LICE_CombinePixelsThreeQuarterMix2FAST>::solidBlitFAST(p1, 1, adx + 1, tq, xstep + ystep);
        _LICE_Template_Blit0<_LICE_CombinePixelsQuarterMix2FAST>::solidBlitFAST(p1 + xstep, 1, adx, q, xstep + ystep);
        _LICE_Template_Blit0<_LICE_CombinePixelsQuarterMix2FAST>::solidBlitFAST(p1 + ystep, 1, adx, q, xstep + ystep);
      }
      return;
    }
    _LICE_WithLineClass(op, ia, !aa, [&](auto tag) {
      typedef __LICE_LineClassSimple<typename decltype(tag)::type> L;
      if (aa)
        L::LICE_DiagLineAA(p1, adx, xstep, ystep, color, ia);
      else
        L::LICE_DiagLine(p1, adx, xstep, ystep, color, ia);
    });
    return;
  }

  // General line: the end with the smaller major coordinate starts; the minor step leads toward
  // the other end.
  const bool xmajor = adx > ady;
  const int da = xmajor ? adx : ady;
  const bool firstStarts = xmajor ? ax < bx : ay < by;
  const int sx = firstStarts ? ax : bx, sy = firstStarts ? ay : by;
  const int ex = firstStarts ? bx : ax, ey = firstStarts ? by : ay;
  const int majorstep = xmajor ? 1 : span;
  const int dstep = xmajor ? (ey > sy ? span : -span) : (ex > sx ? 1 : -1);
  const int derr = (int)((double)(xmajor ? ady : adx) / (double)da * 65536.0);
  LICE_pixel* start = bits + (int64_t)sy * span + sx;
  LICE_pixel* end = bits + (int64_t)ey * span + ex;
  _LICE_WithLineClass(op, ia, !aa, [&](auto tag) {
    __LICE_LineClass<typename decltype(tag)::type>::LICE_LineImpl(start, end, derr, majorstep, da, dstep, color, ia,
                                                                  aa);
  });
}
