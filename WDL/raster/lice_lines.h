// Line loops of the raster library, one instance per combine class, and the integer line
// clipper they share. Private to WDL/raster.
//
// Pointers address pixels in memory order (rows already mirrored for a flipped bitmap); steps
// are in pixels, a row being the row span. Weights are the integer weights of the combine rules
// (256 whole); the colour's four channels are the source channels.
#pragma once

#include "lice_combine.h"

#include <cstdint>

// Clips the segment in place to 0 <= x < w, 0 <= y < h: Cohen-Sutherland, at most 33 moves, the
// crossing with the right and bottom edges computed on the line one past the last column or
// row. The points are written back in every case; true when something is left.
bool ClipLine(int* x1, int* y1, int* x2, int* y2, int w, int h);
// The same over 64-bit coordinates, for callers that shift or mirror points first.
bool _LICE_ClipLine64(int64_t* x1, int64_t* y1, int64_t* x2, int64_t* y2, int64_t w, int64_t h);

// Cohen-Sutherland outcode of (x, y) against 0 <= x < xe, 0 <= y < ye: 1 left, 2 right,
// 4 above, 8 below.
template <class T> inline int _LICE_OutCode(T x, T y, T xe, T ye)
{
  int c = x < 0 ? 1 : x >= xe ? 2 : 0;
  if (y < 0)
    c |= 4;
  else if (y >= ye)
    c |= 8;
  return c;
}

// The Cohen-Sutherland walk of the clippers: while an end point lies outside (and not both
// beyond one edge), cross(c, x1, y1, x2, y2, x, y) places the point of outcode c where the
// segment crosses the edge named by its highest bit; code(x, y) is the outcode. At most 33
// moves; true when both points end inside.
template <class T, class Code, class Cross> bool _LICE_ClipSegment(T& x1, T& y1, T& x2, T& y2, Code code, Cross cross)
{
  int c1 = code(x1, y1), c2 = code(x2, y2);
  for (int moves = 0; moves < 33; ++moves) {
    if (!(c1 | c2)) return true;
    if (c1 & c2) return false;
    const bool first = c1 != 0;
    T x, y;
    cross(first ? c1 : c2, x1, y1, x2, y2, x, y);
    if (first) {
      x1 = x, y1 = y;
      c1 = code(x1, y1);
    } else {
      x2 = x, y2 = y;
      c2 = code(x2, y2);
    }
  }
  return false;
}

// A value narrowed to int, saturating at the int range.
static inline int _LICE_SatInt(int64_t v)
{
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int)v;
}

// Calls f(tag) with the combine class a line shape uses for operation op at weight ia. Copy
// draws nothing at a negative weight; shapes with exact copies take the half mix at 128 and
// plain replacement at 256.
template <class F> inline void _LICE_WithLineClass(int op, int ia, bool exactCopies, F&& f)
{
  if (ia == 0 || op > LICE_BLIT_MODE_HSVADJ) return;
  if (op == LICE_BLIT_MODE_COPY) {
    if (ia < 0) return;
    if (exactCopies && ia == 128) return f(LICE_CombineTag<_LICE_CombinePixelsHalfMixNoClamp>());
    if (exactCopies && ia == 256) return f(LICE_CombineTag<_LICE_CombinePixelsClobberNoClamp>());
  }
  LICE_WithCombineClass(op, f);
}

template <class COMBFUNC> class __LICE_LineClassSimple
{
public:
  LICE_COMBINE_INLINE void pix(LICE_pixel* p, LICE_pixel color, int aw)
  {
    COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(p), LICE_GETR(color), LICE_GETG(color), LICE_GETB(color),
                    LICE_GETA(color), aw);
  }

  // n pixels from px to the right.
  static void LICE_HorizLine(LICE_pixel* px, int n, LICE_pixel color, int aw)
  {
    for (; n > 0; --n) pix(px++, color, aw);
  }
  // n pixels from px downward in memory.
  static void LICE_VertLine(LICE_pixel* px, int span, int n, LICE_pixel color, int aw)
  {
    for (; n > 0; --n, px += span) pix(px, color, aw);
  }
  // n + 1 pixels of a 45-degree line; xstep is +-1, ystep +-span.
  static void LICE_DiagLine(LICE_pixel* px, int n, int xstep, int ystep, LICE_pixel color, int aw)
  {
    const int step = xstep + ystep;
    for (int i = 0; i <= n; ++i, px += step) pix(px, color, aw);
  }
  // The 45-degree line at three quarters of the weight, and the two pixels beside each step
  // (the ones touching both line pixels) at a quarter.
  static void LICE_DiagLineAA(LICE_pixel* px, int n, int xstep, int ystep, LICE_pixel color, int aw)
  {
    const int step = xstep + ystep, wl = aw * 3 / 4, ws = aw / 4;
    pix(px, color, wl);
    for (int i = 0; i < n; ++i, px += step) {
      pix(px + xstep, color, ws);
      pix(px + ystep, color, ws);
      pix(px + step, color, wl);
    }
  }
};

template <class COMBFUNC> class __LICE_LineClass
{
public:
  LICE_COMBINE_INLINE void pix(LICE_pixel* p, LICE_pixel color, int aw)
  {
    __LICE_LineClassSimple<COMBFUNC>::pix(p, color, aw);
  }

  // A general line of major extent da (at least 2) and slope derr (minor over major, 16.16,
  // below 65536), drawn from both ends at once: A walks from start, B from end, mirrored.
  // dstep is the signed minor step that leads from start toward end.
  static void LICE_LineImpl(LICE_pixel* start, LICE_pixel* end, int derr, int majorstep, int da, int dstep,
                            LICE_pixel color, int aw, bool aa)
  {
    const int n = (da + 1) / 2;
    LICE_pixel* A = start;
    LICE_pixel* B = end;
    int e;
    // Both ends one step along the major axis, and one along the minor axis as well once the
    // error passes limit.
    auto advance = [&](int limit) {
      const int t = e + derr;
      if (t > limit) {
        A += dstep;
        B -= dstep;
        e = t - 65536;
      } else
        e = t;
      A += majorstep;
      B -= majorstep;
    };
    if (!aa) {
      // Midpoint rule: the minor coordinate moves when the error passes half a pixel.
      e = 0;
      for (int i = 0; i < n; ++i) {
        pix(A, color, aw);
        pix(B, color, aw);
        advance(32767);
      }
      if (!(da & 1)) pix(A, color, aw);
      return;
    }

    // Coverage of each column split between the pixel at the whole part of the exact offset
    // (255 - f) and the next one toward the other end (f), f the upper 8 bits of the fraction.
    auto weights = [aw](int f, int& wm, int& ws) {
      if (aw == 256) {
        wm = 255 - f;
        ws = f;
      } else {
        wm = ((255 - f) * aw) >> 8;
        ws = (f * aw) >> 8;
      }
    };
    pix(A, color, aw);
    pix(B, color, aw);
    A += majorstep;
    B -= majorstep;
    e = derr;
    int wm, ws;
    if (da >= 3)
      for (int i = 1; i < n; ++i) {
        weights(e >> 8, wm, ws);
        pix(A, color, wm);
        pix(A + dstep, color, ws);
        pix(B, color, wm);
        pix(B - dstep, color, ws);
        advance(65535);
      }
    if (!(da & 1)) {
      weights(e >> 8, wm, ws);
      pix(A, color, wm);
      pix(A + dstep, color, ws);
    }
  }

  // The anti-aliased float line: n + 1 positions from px, each combining the pixel at px and the
  // one a minor step beyond, split by the 16-bit fraction err that grows by derr per position.
  // minor counts the minor coordinate of px, and pixels whose minor coordinate falls outside
  // 0..minorlimit - 1 are skipped (the clipper keeps them inside; this only guards rounding).
  static void LICE_FLineImpl(LICE_pixel* px, int n, int err, int derr, int majorstep, int minorstep, int minor,
                             int minordir, int minorlimit, LICE_pixel color, int aw)
  {
    for (int i = 0; i <= n; ++i) {
      const int g = err >> 8;
      if ((unsigned int)minor < (unsigned int)minorlimit) pix(px, color, ((255 - g) * aw) >> 8);
      if ((unsigned int)(minor + minordir) < (unsigned int)minorlimit) pix(px + minorstep, color, (g * aw) >> 8);
      err += derr;
      if (err >= 65536) {
        err -= 65536;
        px += minorstep;
        minor += minordir;
      }
      px += majorstep;
    }
  }

  // Dashes along a horizontal (y1 == y2) or vertical (x1 == x2) line over start <= p < end:
  // pxon pixels drawn, pxoff skipped. The caller keeps pxon > 0 and pxon + pxoff > 0.
  static void DashedLine(LICE_pixel* bits, int span, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                         LICE_pixel color, int aw)
  {
    LICE_pixel* row;
    int step;
    int64_t p, end;
    if (y1 == y2) {
      row = bits + (int64_t)y1 * span;
      step = 1;
      p = x1;
      end = x2;
    } else if (x1 == x2) {
      row = bits + x1;
      step = span;
      p = y1;
      end = y2;
    } else
      return;
    auto dash = [&](int64_t from, int64_t count) {
      LICE_pixel* q = row + from * step;
      for (; count > 0; --count, q += step) pix(q, color, aw);
    };
    for (; p < end - pxon; p += (int64_t)pxon + pxoff) dash(p, pxon);
    const int64_t last = end - p < pxon ? end - p : pxon;
    if (last >= 1) dash(p, last);
  }
};

// A colour prepared for the whole-pixel mixes at the weights 0.25, 0.5 and 0.75 (each byte
// quartered or halved, truncated).
struct _LICE_FastCopy
{
  static LICE_pixel quarter(LICE_pixel c) { return (c >> 2) & 0x3f3f3f3f; }
  static LICE_pixel half(LICE_pixel c) { return (c >> 1) & 0x7f7f7f7f; }
  static LICE_pixel threeQuarters(LICE_pixel c) { return half(c) + quarter(c); }
};
