// Five-point blur on whole pixels: centre 1/2, each neighbour 1/8, a missing neighbour's weight
// moved to the opposite one. Each term is shifted and masked per byte, so no byte carries into
// the next and all four bytes, alpha included, are blurred alike.
#include "lice_clip.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

inline LICE_pixel half(LICE_pixel p)
{
  return (p >> 1) & 0x7f7f7f7f;
}
inline LICE_pixel quarter(LICE_pixel p)
{
  return (p >> 2) & 0x3f3f3f3f;
}
inline LICE_pixel eighth(LICE_pixel p)
{
  return (p >> 3) & 0x1f1f1f1f;
}

// One row: p the row itself, a the one neighbour row of an edge row (weight 1/4), or q and n
// the previous and next rows (1/8 each). The left neighbour and the pixel itself are read
// before the output pixel is written, so out may be p.
void blurRow(LICE_pixel* out, const LICE_pixel* p, const LICE_pixel* a, const LICE_pixel* q, const LICE_pixel* n, int w)
{
  auto vert = [&](int c) { return a ? quarter(a[c]) : eighth(q[c]) + eighth(n[c]); };
  LICE_pixel prev = p[0], cur = p[0];
  for (int c = 0; c < w; ++c) {
    const LICE_pixel next = c + 1 < w ? p[c + 1] : 0;
    LICE_pixel v;
    if (c == 0)
      v = half(cur) + quarter(next);
    else if (c == w - 1)
      v = quarter(prev) + half(cur);
    else
      v = eighth(prev) + half(cur) + eighth(next);
    v += vert(c);
    out[c] = v;
    prev = cur;
    cur = next;
  }
}

} // namespace

void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch)
{
  if (!dest || !src) return;
  const int64_t sw = src->getWidth(), sh = src->getHeight();
  int64_t left = srcx > 0 ? srcx : 0, top = srcy > 0 ? srcy : 0;
  int64_t right = int64_t(srcx) + srcw, bottom = int64_t(srcy) + srch;
  if (right > sw) right = sw;
  if (bottom > sh) bottom = sh;
  int64_t dx = dstx, dy = dsty;
  if (!_LICE_ClipCopyRect(left, top, right, bottom, dx, dy, dest->getWidth(), dest->getHeight())) return;
  if (right <= left + 1 || bottom <= top + 1) return; // a single column or row stays as it is

  LICE_pixel* sbits = src->getBits();
  LICE_pixel* dbits = dest->getBits();
  if (!sbits || !dbits) return;
  const int w = (int)(right - left), h = (int)(bottom - top);
  int64_t sspan, dspan;
  const LICE_pixel* sp = _LICE_RowStart(src, sbits, left, top, sspan);
  LICE_pixel* dp = _LICE_RowStart(dest, dbits, dx, dy, dspan);

  // Blurring in place overwrites each row before the next one reads it as its previous row:
  // keep the unblurred rows in two alternating halves of a working copy.
  LICE_pixel stackbuf[2 * 1024];
  LICE_pixel* work = nullptr;
  LICE_pixel* heapbuf = nullptr;
  if (src == dest) {
    if (w <= 1024)
      work = stackbuf;
    else
      work = heapbuf = new (std::nothrow) LICE_pixel[size_t(w) * 2];
  }

  for (int y = 0; y < h; ++y, sp += sspan, dp += dspan) {
    if (work) std::memcpy(work + (y & 1) * w, sp, size_t(w) * 4);
    if (y == 0)
      blurRow(dp, sp, sp + sspan, nullptr, nullptr, w);
    else if (y == h - 1)
      blurRow(dp, sp, sp - sspan, nullptr, nullptr, w); // in place: the row as already blurred
    else
      blurRow(dp, sp, nullptr, work ? work + ((y & 1) ^ 1) * w : sp - sspan, sp + sspan, w);
  }
  delete[] heapbuf;
}
