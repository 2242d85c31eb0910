// Lines between sub-pixel end points, dashed lines, and the public segment clippers.
#include "lice_lines.h"

#include <cmath>
#include <utility>

namespace {

bool finite4(float a, float b, float c, float d)
{
  return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

// Cohen-Sutherland for float points against 0..w-1, 0..h-1 with a margin of one pixel on the
// far edges: a crossing is computed on the last column or row but the point is placed one pixel
// inside it, so an anti-aliased step still has room for its second pixel. Quotients are taken
// in double; the crossing always lies between the two points.
bool ClipFLine(float* px1, float* py1, float* px2, float* py2, int w, int h)
{
  const double xm = (double)w - 1.0, ym = (double)h - 1.0;
  auto code = [xm, ym](double x, double y) { return _LICE_OutCode(x, y, xm, ym); };
  // Points are stored as floats between moves, as the caller's variables hold them.
  auto cross = [xm, ym](int c, double x1, double y1, double x2, double y2, double& x, double& y) {
    if (c & 8) {
      x = x1 + (x2 - x1) * (ym - y1) / (y2 - y1);
      y = ym - 1;
    } else if (c & 4) {
      x = x1 + (x2 - x1) * y1 / (y1 - y2);
      y = 0;
    } else if (c & 2) {
      y = y1 + (y2 - y1) * (xm - x1) / (x2 - x1);
      x = xm - 1;
    } else {
      y = y1 + (y2 - y1) * x1 / (x1 - x2);
      x = 0;
    }
    x = (float)x, y = (float)y;
  };
  double x1 = *px1, y1 = *py1, x2 = *px2, y2 = *py2;
  const bool ok = _LICE_ClipSegment(x1, y1, x2, y2, code, cross);
  *px1 = (float)x1, *py1 = (float)y1, *px2 = (float)x2, *py2 = (float)y2;
  return ok;
}

} // namespace

void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha, int mode,
                bool aa)
{
  if (!dest || !finite4(x1, y1, x2, y2)) return;
  if (!aa) {
    LICE_Line(dest, _LICE_TruncToInt(x1), _LICE_TruncToInt(y1), _LICE_TruncToInt(x2), _LICE_TruncToInt(y2), color,
              alpha, mode, false);
    return;
  }
  const int w = dest->getWidth(), h = dest->getHeight();
  if (dest->isFlipped()) {
    y1 = (float)(h - 1) - y1;
    y2 = (float)(h - 1) - y2;
  }
  if (!ClipFLine(&x1, &y1, &x2, &y2, w, h)) return;
  if (x1 == x2 && y1 == y2) return;
  LICE_pixel* bits = dest->getBits();
  if (!bits) return;
  const int span = dest->getRowSpan();

  // Ties go to y as the major axis. The start is the end with the smaller major coordinate.
  const float dx = x2 - x1, dy = y2 - y1;
  const bool xmajor = std::fabs(dx) > std::fabs(dy);
  double smaj = xmajor ? x1 : y1, smin = xmajor ? y1 : x1, emaj = xmajor ? x2 : y2;
  double dmaj = xmajor ? dx : dy, dmin = xmajor ? dy : dx;
  if (dmaj < 0) {
    smaj = xmajor ? x2 : y2;
    smin = xmajor ? y2 : x2;
    emaj = xmajor ? x1 : y1;
    dmaj = -dmaj;
    dmin = -dmin;
  }
  const double slope = dmin / dmaj;
  const double a = std::ceil(smaj), b = std::floor(emaj);
  const double nd = std::trunc(b - a);
  if (nd < 0) return;

  // Minor coordinate and 16-bit fraction at the first major position; a falling line starts one
  // pixel higher and counts its fraction from the other side.
  const double m0 = smin + (a - smaj) * slope;
  int frac = (int)((m0 - std::floor(m0)) * 65536.0);
  const int step = (int)(std::fabs(slope) * 65536.0);
  int minor = (int)std::trunc(m0);
  const int dir = dmin < 0 ? -1 : 1;
  if (dir < 0) {
    minor += 1;
    frac = 0xffff - frac;
  }
  const int major = (int)a, n = (int)nd;
  const int majorstep = xmajor ? 1 : span, minorstep = xmajor ? dir * span : dir;
  LICE_pixel* px = xmajor ? bits + (int64_t)minor * span + major : bits + (int64_t)major * span + minor;

  const int ia = _LICE_Weight((double)alpha * 256.0);
  const int op = mode & LICE_BLIT_MODE_MASK;
  if (ia == 0 || op > LICE_BLIT_MODE_HSVADJ || (op == LICE_BLIT_MODE_COPY && ia <= 0)) return;
  LICE_WithCombineClass(op, [&](auto tag) {
    __LICE_LineClass<typename decltype(tag)::type>::LICE_FLineImpl(px, n, frac, step, majorstep, minorstep, minor, dir,
                                                                   xmajor ? h : w, color, ia);
  });
}

void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color,
                     float alpha, int mode, bool)
{
  if (!dest) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  // Clipped, sorted and walked in the caller's rows, so that on a flipped bitmap the dash pattern
  // is the mirror image of the unflipped one.
  int64_t X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
  if (!_LICE_ClipLine64(&X1, &Y1, &X2, &Y2, w, h)) return;
  if (Y1 > Y2) std::swap(Y1, Y2);
  if (X1 > X2) std::swap(X1, X2);
  LICE_pixel* bits = dest->getBits();
  if (!bits) return;
  int span = dest->getRowSpan();
  if (dest->isFlipped()) {
    bits += (int64_t)(h - 1) * span;
    span = -span;
  }
  const int op = mode & LICE_BLIT_MODE_MASK;

  if (pxon == 1 && pxoff == 1 && X1 == X2 && alpha == 1.0f && op == LICE_BLIT_MODE_COPY) {
    if (Y2 == Y1) return;
    LICE_pixel* p = bits + Y1 * span + X1;
    for (int64_t i = (Y2 - Y1 + 1) / 2; i > 0; --i, p += 2 * (int64_t)span) *p = color;
    return;
  }

  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (pxon <= 0) return;
  // A period of zero or less would never advance: the dashes then join into a solid line.
  if ((int64_t)pxon + pxoff <= 0) pxoff = 0;
  _LICE_WithLineClass(op, ia, true, [&](auto tag) {
    __LICE_LineClass<typename decltype(tag)::type>::DashedLine(bits, span, (int)X1, (int)Y1, (int)X2, (int)Y2, pxon,
                                                               pxoff, color, ia);
  });
}

bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xLo, int yLo, int xHi, int yHi)
{
  int64_t a = (int64_t)*x1 - xLo, b = (int64_t)*y1 - yLo, c = (int64_t)*x2 - xLo, d = (int64_t)*y2 - yLo;
  const bool ok = _LICE_ClipLine64(&a, &b, &c, &d, (int64_t)xHi - xLo, (int64_t)yHi - yLo);
  *x1 = _LICE_SatInt(a + xLo), *y1 = _LICE_SatInt(b + yLo), *x2 = _LICE_SatInt(c + xLo), *y2 = _LICE_SatInt(d + yLo);
  return ok;
}

bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xLo, float yLo, float xHi, float yHi)
{
  float a = *x1 - xLo, b = *y1 - yLo, c = *x2 - xLo, d = *y2 - yLo;
  const bool ok = ClipFLine(&a, &b, &c, &d, _LICE_TruncToInt(xHi - xLo), _LICE_TruncToInt(yHi - yLo));
  *x1 = a + xLo, *y1 = b + yLo, *x2 = c + xLo, *y2 = d + yLo;
  return ok;
}
