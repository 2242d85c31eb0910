// Halving with a 2 x 2 box filter, and bitmap comparison.
#include "lice.h"

#include <cstdint>
#include <cstring>

void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src) return;
  int w = src->getWidth() / 2, h = src->getHeight() / 2;
  if (w > dest->getWidth()) w = dest->getWidth();
  if (h > dest->getHeight()) h = dest->getHeight();
  if (h <= 0 || w <= 0) return;
  const LICE_pixel* sp = src->getBits();
  LICE_pixel* dp = dest->getBits();
  if (!sp || !dp) return; // a bitmap that reports a size but has no pixels
  const int64_t sspan = src->getRowSpan(), dspan = dest->getRowSpan();
  // Each byte divided by 4, rounded down, so the four quarters never carry into the next byte.
  auto q = [](LICE_pixel p) { return (p >> 2) & 0x3f3f3f3f; };
  for (int y = 0; y < h; ++y, sp += sspan * 2, dp += dspan) {
    const LICE_pixel* s2 = sp + sspan;
    int x = 0;
    for (; x + 1 < w; x += 2) {
      dp[x] = q(sp[2 * x]) + q(sp[2 * x + 1]) + q(s2[2 * x]) + q(s2[2 * x + 1]);
      dp[x + 1] = q(sp[2 * x + 2]) + q(sp[2 * x + 3]) + q(s2[2 * x + 2]) + q(s2[2 * x + 3]);
    }
    if (x < w) dp[x] = q(sp[2 * x]) + q(sp[2 * x + 1]) + q(s2[2 * x]) + q(s2[2 * x + 1]);
  }
}

int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut)
{
  return LICE_BitmapCmpEx(a, b, 0xffffffff, coordsOut);
}

int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask, int* coordsOut)
{
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  const int w = a->getWidth(), h = a->getHeight();
  if (w != b->getWidth()) return b->getWidth() - w;
  if (h != b->getHeight()) return b->getHeight() - h;

  if (w > 0 && h > 0) { // sizes with no pixels behind them compare like null bitmaps
    if (!a->getBits()) return b->getBits() ? -1 : 0;
    if (!b->getBits()) return 1;
  }
  // Rows in logical order: a flipped bitmap is walked from its last memory row.
  auto rowOf = [h](LICE_IBitmap* bm) {
    const int64_t span = bm->getRowSpan();
    LICE_pixel* bits = bm->getBits();
    return [=](int y) -> const LICE_pixel* { return bits + (bm->isFlipped() ? h - 1 - y : y) * span; };
  };
  const auto rowA = rowOf(a), rowB = rowOf(b);
  auto differ = [mask](LICE_pixel p, LICE_pixel q) { return ((p ^ q) & mask) != 0; };

  if (!coordsOut) {
    for (int y = 0; y < h; ++y) {
      const LICE_pixel *pa = rowA(y), *pb = rowB(y);
      if (mask == 0xffffffff) {
        const int c = std::memcmp(pa, pb, size_t(w) * 4);
        if (c) return c;
      } else {
        for (int x = 0; x < w; ++x)
          if (differ(pa[x], pb[x])) return 1;
      }
    }
    return 0;
  }

  // First differing pixel from the top, the rightmost one of that row.
  int y0 = 0, minx = -1, maxx = -1;
  for (; y0 < h && minx < 0; ++y0) {
    const LICE_pixel *pa = rowA(y0), *pb = rowB(y0);
    for (int x = 0; x < w; ++x)
      if (differ(pa[x], pb[x])) {
        minx = x;
        break;
      }
  }
  if (minx < 0) {
    coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
    return 0;
  }
  --y0;
  {
    const LICE_pixel *pa = rowA(y0), *pb = rowB(y0);
    for (int x = w - 1; x >= minx; --x)
      if (differ(pa[x], pb[x])) {
        maxx = x;
        break;
      }
  }
  // Last differing row from the bottom; widen by its first and last difference.
  int y1 = y0;
  for (int y = h - 1; y > y0; --y) {
    const LICE_pixel *pa = rowA(y), *pb = rowB(y);
    int first = -1;
    for (int x = 0; x < w; ++x)
      if (differ(pa[x], pb[x])) {
        first = x;
        break;
      }
    if (first < 0) continue;
    y1 = y;
    if (first < minx) minx = first;
    for (int x = w - 1; x > maxx; --x)
      if (differ(pa[x], pb[x])) {
        maxx = x;
        break;
      }
    break;
  }
  // Rows in between only need scanning outside the columns found so far.
  for (int y = y0 + 1; y < y1 && (minx > 0 || maxx < w - 1); ++y) {
    const LICE_pixel *pa = rowA(y), *pb = rowB(y);
    for (int x = 0; x < minx; ++x)
      if (differ(pa[x], pb[x])) {
        minx = x;
        break;
      }
    for (int x = w - 1; x > maxx; --x)
      if (differ(pa[x], pb[x])) {
        maxx = x;
        break;
      }
  }
  coordsOut[0] = minx;
  coordsOut[1] = y0;
  coordsOut[2] = maxx - minx + 1;
  coordsOut[3] = y1 - y0 + 1;
  return 1;
}
