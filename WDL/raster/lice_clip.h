// Clipping and addressing shared by the blits. Private to WDL/raster.
#pragma once

#include "lice.h"

#include <cstdint>

// Address of logical row y, column x of a bitmap whose pixels are at bits; rows advance by
// span pixels, negative for a flipped bitmap.
static inline LICE_pixel* _LICE_RowStart(LICE_IBitmap* bm, LICE_pixel* bits, int64_t x, int64_t y, int64_t& span)
{
  const int64_t rowSpan = bm->getRowSpan();
  const bool flip = bm->isFlipped();
  span = flip ? -rowSpan : rowSpan;
  return bits + (flip ? int64_t(bm->getHeight()) - 1 - y : y) * rowSpan + x;
}

// A same-scale copy of the source columns [left, right) and rows [top, bottom) to (dx, dy) in a
// destination of dw x dh pixels: a start left of or above the destination drops as many source
// columns or rows, and the rectangle is cut to what fits. False when nothing is left. 64-bit, so
// that coordinates anywhere in the int range clip without overflowing.
static inline bool _LICE_ClipCopyRect(int64_t& left, int64_t& top, int64_t& right, int64_t& bottom, int64_t& dx,
                                      int64_t& dy, int64_t dw, int64_t dh)
{
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (dx >= dw || bottom <= top || right <= left || dy >= dh) return false;
  if (right > left + dw - dx) right = left + dw - dx;
  if (bottom > top + dh - dy) bottom = top + dh - dy;
  return true;
}

// A negative destination size moves the start d to the other edge, and the source start s with
// it; the source size changes sign too, so that stepping by ssize / size still mirrors.
static inline void _LICE_StartAtLowEdge(int64_t& d, int64_t& size, float& s, float& ssize)
{
  if (size >= 0) return;
  d += size;
  size = -size;
  s += ssize;
  ssize = -ssize;
}
