// Circle rasterisers, one instance per combine class. Private to WDL/raster.
//
// Rows are stored rows (the callers mirror a flipped bitmap's centre first). The clip rectangle
// is left, top, right, bottom with right and bottom exclusive; with doclip false nothing is
// tested, and the callers promise that every pixel the drawer can reach lies in the bitmap.
#pragma once

#include "lice_combine.h"

#include <cmath>
#include <cstdint>

// Draws the outline (filled false) or the disc about (cx, cy) in stored rows with the combine
// class chosen for bits 0-7 of mode at weight ia, the anti-aliased or the plain drawer.
void __DrawCircleClipped(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, int ia, bool aa,
                         bool filled, int mode, const int* clip, bool doclip);

// Every pixel a circle step i touches lies in column X - i or X + i or in row Y - i or Y + i.
// The steps that can reach the clip rectangle therefore form at most four runs of i; the drawers
// skip the others, which keeps huge circles crossing a small bitmap cheap without changing a
// single pixel.
class _LICE_CircleSteps
{
public:
  _LICE_CircleSteps(int X, int Y, const int* clip)
  {
    set(0, (int64_t)X - clip[2] + 1, (int64_t)X - clip[0]);
    set(1, (int64_t)clip[0] - X, (int64_t)clip[2] - 1 - X);
    set(2, (int64_t)Y - clip[3] + 1, (int64_t)Y - clip[1]);
    set(3, (int64_t)clip[1] - Y, (int64_t)clip[3] - 1 - Y);
  }
  // The first step at or after i that can touch the clip rectangle; -1 when none can.
  int64_t next(int64_t i) const
  {
    int64_t best = -1;
    for (int k = 0; k < 4; ++k)
      if (m_hi[k] >= i && m_lo[k] <= m_hi[k]) {
        const int64_t c = m_lo[k] > i ? m_lo[k] : i;
        if (best < 0 || c < best) best = c;
      }
    return best;
  }

private:
  void set(int k, int64_t lo, int64_t hi) { m_lo[k] = lo, m_hi[k] = hi; }
  int64_t m_lo[4], m_hi[4];
};

template <class COMBFUNC> class _LICE_CircleDrawer
{
public:
  // What every primitive needs: the pixels, the clip, and the colour's channels.
  struct Target
  {
    LICE_pixel* bits;
    int span;
    const int* clip;
    bool doclip;
    int r, g, b, a;
  };

  static void DrawClippedPt(const Target& t, int x, int y, int ia)
  {
    if (t.doclip && (x < t.clip[0] || y < t.clip[1] || x >= t.clip[2] || y >= t.clip[3])) return;
    COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(t.bits + (int64_t)y * t.span + x), t.r, t.g, t.b, t.a, ia);
  }

  // Column x, rows y1 to y2 inclusive.
  static void DrawClippedVertLine(const Target& t, int x, int y1, int y2, int ia)
  {
    if (t.doclip) {
      if (x < t.clip[0] || x >= t.clip[2]) return;
      if (y1 < t.clip[1]) y1 = t.clip[1];
      if (y2 > t.clip[3] - 1) y2 = t.clip[3] - 1;
    }
    LICE_pixel* p = t.bits + (int64_t)y1 * t.span + x;
    for (int y = y1; y <= y2; ++y, p += t.span)
      COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(p), t.r, t.g, t.b, t.a, ia);
  }

  // Row y, columns x1 to x2 inclusive.
  static void DrawClippedHorzLine(const Target& t, int y, int x1, int x2, int ia)
  {
    if (t.doclip) {
      if (y < t.clip[1] || y >= t.clip[3]) return;
      if (x1 < t.clip[0]) x1 = t.clip[0];
      if (x2 > t.clip[2] - 1) x2 = t.clip[2] - 1;
    }
    LICE_pixel* p = t.bits + (int64_t)y * t.span + x1;
    for (int x = x1; x <= x2; ++x, ++p) COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(p), t.r, t.g, t.b, t.a, ia);
  }

  // Anti-aliased: in each column (and, mirrored, each row) up to the diagonal, the pixel one
  // beyond the whole part of the exact distance gets the weight of its fraction and the pixel at
  // the whole part the rest (an outline) or the whole weight (the disc's runs reach it).
  static void DrawClippedCircleAA(LICE_IBitmap* dest, float cx, float cy, float r, const int* clip, LICE_pixel color,
                                  int ia, bool filled, bool doclip)
  {
    const Target t = target(dest, clip, doclip, color);
    if (!t.bits) return;
    const int X = (int)(cx + 0.5f), Y = (int)(cy + 0.5f), R = (int)r;
    const int f0 = (int)(((double)r - std::floor((double)r)) * ia);
    DrawClippedPt(t, X, Y - R - 1, f0);
    DrawClippedPt(t, X, Y + R + 1, f0);
    DrawClippedPt(t, X - R - 1, Y, f0);
    DrawClippedPt(t, X + R + 1, Y, f0);
    if (filled) {
      DrawClippedVertLine(t, X, Y - R, Y - 1, ia);
      DrawClippedVertLine(t, X, Y + 1, Y + R, ia);
      DrawClippedHorzLine(t, Y, X - R, X + R, ia);
    } else {
      DrawClippedPt(t, X, Y - R, ia - f0);
      DrawClippedPt(t, X + R, Y, ia - f0);
      DrawClippedPt(t, X, Y + R, ia - f0);
      DrawClippedPt(t, X - R, Y, ia - f0);
    }

    const float rr = r * r;
    const _LICE_CircleSteps steps(X, Y, clip);
    for (int64_t i64 = 1;; ++i64) {
      if (doclip && (i64 = steps.next(i64)) < 0) break;
      const double rad = (double)rr - (double)(i64 * i64);
      if (rad < 0) break;
      const double h = std::sqrt(rad);
      const int i = (int)i64, n = (int)(h + 0.5);
      if (n < i) break;
      const int yi = (int)h;
      const int f = (int)((h - std::floor(h)) * ia);
      const bool both = n != i;

      DrawClippedPt(t, X - i, Y - yi - 1, f);
      DrawClippedPt(t, X - i, Y + yi + 1, f);
      DrawClippedPt(t, X + i, Y - yi - 1, f);
      DrawClippedPt(t, X + i, Y + yi + 1, f);
      if (both) {
        DrawClippedPt(t, X - yi - 1, Y - i, f);
        DrawClippedPt(t, X + yi + 1, Y - i, f);
        DrawClippedPt(t, X - yi - 1, Y + i, f);
        DrawClippedPt(t, X + yi + 1, Y + i, f);
      }
      if (filled) {
        runs(t, X, Y, i, yi, ia);
      } else {
        const int wi = ia - f;
        DrawClippedPt(t, X - yi, Y - i, wi);
        DrawClippedPt(t, X + yi, Y - i, wi);
        DrawClippedPt(t, X - i, Y + yi, wi);
        DrawClippedPt(t, X + i, Y + yi, wi);
        if (both) {
          DrawClippedPt(t, X - i, Y - yi, wi);
          DrawClippedPt(t, X + i, Y - yi, wi);
          DrawClippedPt(t, X - yi, Y + i, wi);
          DrawClippedPt(t, X + yi, Y + i, wi);
        }
      }
    }
  }

  // Plain: the midpoint walk over the first octant with the radius rounded, every pixel at ia.
  static void DrawClippedCircle(LICE_IBitmap* dest, float cx, float cy, float r, const int* clip, LICE_pixel color,
                                int ia, bool filled, bool doclip)
  {
    const Target t = target(dest, clip, doclip, color);
    if (!t.bits) return;
    const int X = (int)(cx + 0.5f), Y = (int)(cy + 0.5f), R = (int)(r + 0.5f);
    if (filled) {
      DrawClippedVertLine(t, X, Y - R, Y - 1, ia);
      DrawClippedVertLine(t, X, Y + 1, Y + R, ia);
      DrawClippedHorzLine(t, Y, X - R, X + R, ia);
    } else {
      DrawClippedPt(t, X, Y - R, ia);
      DrawClippedPt(t, X + R, Y, ia);
      DrawClippedPt(t, X, Y + R, ia);
      DrawClippedPt(t, X - R, Y, ia);
    }
    if (R < 2) return;

    // Before the test of step x the error is F(x, y) = x^2 + y^2 - y - R^2 - 1, y being the row
    // carried in; so the walk can resume at any step from the y it would have reached there.
    const int64_t R2 = (int64_t)R * R;
    const _LICE_CircleSteps steps(X, Y, clip);
    int64_t err = -R, y = R, step = 3;
    for (int64_t x = 1;;) {
      if (err >= 0) {
        --y;
        err -= 2 * y;
      }
      if (filled)
        runs(t, X, Y, (int)x, (int)y, ia);
      else {
        const int xi = (int)x, yi = (int)y;
        DrawClippedPt(t, X - xi, Y - yi, ia);
        DrawClippedPt(t, X - xi, Y + yi, ia);
        DrawClippedPt(t, X + xi, Y - yi, ia);
        DrawClippedPt(t, X + xi, Y + yi, ia);
        if (xi != yi) {
          DrawClippedPt(t, X - yi, Y - xi, ia);
          DrawClippedPt(t, X - yi, Y + xi, ia);
          DrawClippedPt(t, X + yi, Y - xi, ia);
          DrawClippedPt(t, X + yi, Y + xi, ia);
        }
      }
      err += step;
      step += 2;
      if (!(x + 1 < y)) break;
      ++x;
      if (doclip) {
        const int64_t nx = steps.next(x);
        if (nx < 0) break;
        if (nx > x) {
          // y after step nx - 1 is the largest y with y (y - 1) < R^2 + 1 - (nx - 1)^2; the walk
          // reaches step nx only while nx < that y.
          const int64_t K = R2 + 1 - (nx - 1) * (nx - 1);
          int64_t yy = K > 0 ? (int64_t)std::sqrt((double)K) + 1 : 0;
          while (yy > 0 && yy * (yy - 1) >= K) --yy;
          while ((yy + 1) * yy < K) ++yy;
          if (!(nx < yy)) break;
          x = nx;
          y = yy;
          err = x * x + y * y - y - R2 - 1;
          step = 2 * x + 1;
        }
      }
    }
  }

private:
  static Target target(LICE_IBitmap* dest, const int* clip, bool doclip, LICE_pixel color)
  {
    return Target{
        dest->getBits(),       dest->getRowSpan(),   clip, doclip, (int)LICE_GETR(color), (int)LICE_GETG(color),
        (int)LICE_GETB(color), (int)LICE_GETA(color)};
  }

  // The disc's runs of one step: columns X -+ i above and below the diagonal, rows Y -+ i out to
  // the edge y, in an order that touches each pixel once.
  static void runs(const Target& t, int X, int Y, int i, int y, int ia)
  {
    DrawClippedVertLine(t, X - i, Y - y, Y - i - 1, ia);
    DrawClippedVertLine(t, X - i, Y + i + 1, Y + y, ia);
    DrawClippedHorzLine(t, Y - i, X - y, X - i, ia);
    DrawClippedHorzLine(t, Y - i, X + i, X + y, ia);
    DrawClippedHorzLine(t, Y + i, X - y, X - i, ia);
    DrawClippedHorzLine(t, Y + i, X + i, X + y, ia);
    DrawClippedVertLine(t, X + i, Y - y, Y - i - 1, ia);
    DrawClippedVertLine(t, X + i, Y + i + 1, Y + y, ia);
  }
};
