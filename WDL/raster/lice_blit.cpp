// Blits at the same scale and scaled blits.
#include "lice_clip.h"
#include "lice_templates.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Byte address of logical row y, column x; rows advance by the returned span (bytes), which
// is negative for a flipped bitmap.
LICE_pixel_chan* rowStart(LICE_IBitmap* bm, LICE_pixel* bits, int x, int y, int& spanBytes)
{
  int64_t span;
  LICE_pixel* p = _LICE_RowStart(bm, bits, x, y, span);
  spanBytes = (int)(span * 4);
  return reinterpret_cast<LICE_pixel_chan*>(p);
}

} // namespace

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode)
{
  if (!dest || !src || alpha == 0.0f) return;

  int64_t left, top, right, bottom, dx = dstx, dy = dsty;
  const int64_t sw = src->getWidth(), sh = src->getHeight();
  if (!srcrect) {
    left = top = 0;
    right = sw;
    bottom = sh;
  } else {
    left = srcrect->left;
    top = srcrect->top;
    right = srcrect->right;
    bottom = srcrect->bottom;
    if (left < 0) {
      dx -= left;
      left = 0;
    }
    if (top < 0) {
      dy -= top;
      top = 0;
    }
    if (right > sw) right = sw;
    if (bottom > sh) bottom = sh;
  }
  if (!_LICE_ClipCopyRect(left, top, right, bottom, dx, dy, dest->getWidth(), dest->getHeight())) return;
  const int w = (int)(right - left), h = (int)(bottom - top);
  if (w <= 0 || h <= 0) return;

  LICE_pixel* sbits = src->getBits();
  LICE_pixel* dbits = dest->getBits();
  if (!sbits || !dbits) return;
  int sspan, dspan;
  const LICE_pixel_chan* sp = rowStart(src, sbits, (int)left, (int)top, sspan);
  LICE_pixel_chan* dp = rowStart(dest, dbits, (int)dx, (int)dy, dspan);

  if ((mode & LICE_BLIT_MODE_CHANCOPY) == LICE_BLIT_MODE_CHANCOPY) {
    const int from = mode & 3, to = (mode >> 2) & 3;
    for (int y = 0; y < h; ++y, sp += sspan, dp += dspan)
      for (int x = 0; x < w; ++x) dp[x * 4 + to] = sp[x * 4 + from];
    return;
  }

  const int comb = mode & (LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_MASK);
  if (comb == LICE_BLIT_MODE_COPY && alpha == 1.0f) {
    // Rows are block copies; when a bitmap is blitted onto itself and the destination lies
    // below the source, rows are taken from the bottom so that none is read after it was
    // overwritten.
    if (src == dest && sspan > 0 && dp > sp && dp < sp + int64_t(h) * sspan) {
      sp += int64_t(h - 1) * sspan;
      dp += int64_t(h - 1) * dspan;
      sspan = -sspan;
      dspan = -dspan;
    }
    for (int y = 0; y < h; ++y, sp += sspan, dp += dspan) std::memmove(dp, sp, size_t(w) * 4);
    return;
  }
  if (comb == LICE_BLIT_MODE_COPY && alpha == 0.5f) {
    for (int y = 0; y < h; ++y, sp += sspan, dp += dspan) {
      const LICE_pixel* s = reinterpret_cast<const LICE_pixel*>(sp);
      LICE_pixel* d = reinterpret_cast<LICE_pixel*>(dp);
      for (int x = 0; x < w; ++x) _LICE_CombinePixelsHalfMixFAST::doPixFAST(d + x, s[x]);
    }
    return;
  }

  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (ia == 0) return;
  if (comb == (LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_COPY) && ia == 256) {
    // Source over at full weight, the way images are drawn: an opaque pixel replaces the destination
    // whole and a clear one leaves it, so runs of opaque pixels are block copies and only the edges mix.
    typedef _LICE_CombinePixelsCopySourceAlphaT<false, true> Mix;
    for (int y = 0; y < h; ++y, sp += sspan, dp += dspan) {
      const LICE_pixel* s = reinterpret_cast<const LICE_pixel*>(sp);
      LICE_pixel* d = reinterpret_cast<LICE_pixel*>(dp);
      for (int x = 0; x < w;) {
        const int a = (int)LICE_GETA(s[x]);
        if (a == 255) {
          int e = x + 1;
          while (e + 8 <= w && LICE_GETA(s[e] & s[e + 1] & s[e + 2] & s[e + 3] & s[e + 4] & s[e + 5] & s[e + 6] & s[e + 7]) == 255)
            e += 8;
          while (e < w && LICE_GETA(s[e]) == 255) ++e;
          std::memmove(d + x, s + x, size_t(e - x) * 4);
          x = e;
          continue;
        }
        if (a) {
          const LICE_pixel_chan* c = sp + x * 4;
          Mix::doPix(dp + x * 4, c[LICE_PIXEL_R], c[LICE_PIXEL_G], c[LICE_PIXEL_B], a, ia);
        }
        ++x;
      }
    }
    return;
  }
  LICE_WithBlitCombineClass(mode, ia, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    _LICE_Template_Blit2<C>::blit(dp, sp, w, h, sspan, dspan, ia);
  });
}

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
               float alpha, int mode)
{
  auto sat = [](int64_t v) { return (int)(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v); };
  const RECT r = {srcx, srcy, sat(int64_t(srcx) + srcw), sat(int64_t(srcy) + srch)};
  LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src) return;
  dest->resize(src->getWidth(), src->getHeight());
  LICE_Blit(dest, src, 0, 0, nullptr, 1.0f, 0);
}

void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float alpha, int mode)
{
  if (!dest || !src || !dstw || !dsth || alpha == 0.0f) return;

  const bool bilinearFlag = (mode & LICE_BLIT_FILTER_MASK) == LICE_BLIT_FILTER_BILINEAR;

  // Unscaled requests are plain blits from the nearest whole source position, unless
  // filtering is asked for at a fractional position.
  if (std::fabs((double)(srcw - (float)dstw)) < 0.001 && std::fabs((double)(srch - (float)dsth)) < 0.001) {
    if (!bilinearFlag ||
        (std::fabs(srcx - std::floor(srcx + 0.5)) < 0.03 && std::fabs(srcy - std::floor(srcy + 0.5)) < 0.03)) {
      const int l = _LICE_TruncToInt(srcx + 0.5), t = _LICE_TruncToInt(srcy + 0.5);
      LICE_Blit(dest, src, dstx, dsty, l, t, dstw, dsth, alpha, mode);
      return;
    }
  }

  // A negative size mirrors: start from the other edge and step backwards through the source.
  int64_t dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  _LICE_StartAtLowEdge(dx, dw, srcx, srcw);
  _LICE_StartAtLowEdge(dy, dh, srcy, srch);
  // The source limits come from the rectangle as given: clipping the destination below must not
  // let the image read further into the source than its rectangle reaches.
  const float limitx = srcx, limity = srcy;
  const double xadvance = srcw / (float)dw;
  const double yadvance = srch / (float)dh;

  if (dx < 0) {
    srcx = (float)(srcx - (double)dx * xadvance);
    dw += dx;
    dx = 0;
  }
  if (dy < 0) {
    srcy = (float)(srcy - (double)dy * yadvance);
    dh += dy;
    dy = 0;
  }
  const int destw = dest->getWidth(), desth = dest->getHeight();
  if (dw <= 0 || dh <= 0 || dx >= destw || dy >= desth) return;
  if (dw > destw - dx) dw = destw - dx;
  if (dh > desth - dy) dh = desth - dy;

  const int idx = _LICE_TruncToInt(xadvance * 65536.0);
  const int idy = _LICE_TruncToInt(yadvance * 65536.0);
  int64_t icurx = _LICE_TruncToInt(srcx * 65536.0);
  int64_t icury = _LICE_TruncToInt(srcy * 65536.0);

  // Drop destination columns and rows whose samples lie before the source's first or past its
  // last pixel, so that the loops need no more than their unsigned limit tests.
  const int64_t sw = src->getWidth(), sh = src->getHeight();
  auto trim = [](int64_t& d0, int64_t& dsize, int64_t& icur, int64_t step, int64_t srcsize) {
    if (step <= 0) return;
    if (icur < 0) {
      const int64_t n = (step - 1 - icur) / step;
      dsize -= n;
      d0 += n;
      icur += n * step;
    }
    if (((dsize - 1) * step + icur) / 65536 >= srcsize) {
      const int64_t lim = (srcsize * 65536 - 65536 - icur) / step;
      if (lim < dsize) dsize = lim;
    }
  };
  trim(dx, dw, icurx, idx, sw);
  trim(dy, dh, icury, idy, sh);
  if (dw <= 0 || dh <= 0) return;

  LICE_pixel* sbits = src->getBits();
  LICE_pixel* dbits = dest->getBits();
  if (!sbits || !dbits) return;
  int sspan, dspan;
  const LICE_pixel_chan* sp = rowStart(src, sbits, 0, 0, sspan);
  LICE_pixel_chan* dp = rowStart(dest, dbits, (int)dx, (int)dy, dspan);

  // Source limits: the pixels that the rectangle touches, within the bitmap.
  int64_t clipr = _LICE_TruncToInt((double)(limitx + (srcw > 0 ? srcw : 0.0f)) + 0.999999);
  int64_t clipb = _LICE_TruncToInt((double)(limity + (srch > 0 ? srch : 0.0f)) + 0.999999);
  if (clipr > sw) clipr = sw;
  if (clipb > sh) clipb = sh;
  if (clipr <= 0 || clipb <= 0) return;
  const unsigned int clipright = (unsigned int)clipr, clipbottom = (unsigned int)clipb;
  const int w = (int)dw, h = (int)dh, cx = (int)icurx, cy = (int)icury;

  const int ia = _LICE_Weight((double)alpha * 256.0);
  if ((mode & (LICE_BLIT_USE_ALPHA | LICE_BLIT_FILTER_MASK | LICE_BLIT_MODE_MASK)) == 0 && ia == 256) {
    _LICE_Template_Blit0<_LICE_CombinePixelsClobberFAST>::scaleBlitFAST(dp, sp, w, h, cx, cy, idx, idy, clipright,
                                                                        clipbottom, sspan, dspan);
    return;
  }
  if ((mode & (LICE_BLIT_USE_ALPHA | LICE_BLIT_FILTER_MASK | LICE_BLIT_MODE_MASK)) == 0 && ia == 128) {
    _LICE_Template_Blit0<_LICE_CombinePixelsHalfMixFAST>::scaleBlitFAST(dp, sp, w, h, cx, cy, idx, idy, clipright,
                                                                        clipbottom, sspan, dspan);
    return;
  }
  if (ia == 0) return;

  if (bilinearFlag && xadvance >= 1.7 && yadvance >= 1.7) {
    // Strong reduction: average the neighbourhood of each nearest source pixel.
    const int m = idx > idy ? idx : idy;
    const int filtsz = m > 0x30000 ? 5 : 3;
    const int half = filtsz / 2;
    int filter[25];
    for (int j = 0; j < filtsz; ++j)
      for (int i = 0; i < filtsz; ++i) {
        const int ddx = i - half, ddy = j - half;
        int wt = 65536;
        if (ddx || ddy) {
          const double v = (m - 1.0) / std::sqrt((double)(ddx * ddx + ddy * ddy));
          wt = v < 0.0 ? 0 : v > 1.0 ? 65536 : (int)(v * 65536.0);
        }
        filter[j * filtsz + i] = wt;
      }
    LICE_WithBlitCombineClass(mode, ia, [&](auto tag) {
      typedef typename decltype(tag)::type C;
      _LICE_Template_Blit2<C>::scaleBlitFilterDown(dp, sp, w, h, cx, cy, idx, idy, (int)clipright, (int)clipbottom,
                                                   sspan, dspan, ia, filter, -half, filtsz);
    });
    return;
  }

  LICE_WithBlitCombineClass(mode, ia, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    _LICE_Template_Blit2<C>::scaleBlit(dp, sp, w, h, cx, cy, idx, idy, clipright, clipbottom, sspan, dspan, ia,
                                       mode & LICE_BLIT_FILTER_MASK);
  });
}
