// Pixel loops of the raster routines, one instance per combine class. Private to WDL/raster.
//
// Pointers address the first pixel to draw as bytes (or LICE_pixel for the whole-pixel loops);
// spans are signed, in bytes (pixels for the whole-pixel loops), so a flipped bitmap passes its
// last memory row and a negative span. Positions and steps are 16.16 fixed point; they are
// stepped in unsigned arithmetic so that extreme arguments wrap instead of overflowing, and
// source coordinates are compared with their limits as unsigned numbers, so that negative ones
// lie outside.
#pragma once

#include "lice_combine.h"

typedef void (*LICE_DoPixFunc)(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha);

// Integer part of a 16.16 position held in an unsigned accumulator.
static inline int _LICE_FixInt(unsigned int v)
{
  return (int)v >> 16;
}

// Bilinear mix of the 2 x 2 neighbourhood of source pixel (sx, sy) at fraction (xf, yf),
// 0..65535, within the source window of W x H pixels at src: in the last column only the
// pixel below, in the last row only the pixel to the right is mixed in. Writes r, g, b, a into
// out; false (nothing read) when the pixel lies outside the window.
static inline bool _LICE_BilinearSample(const LICE_pixel_chan* src, int src_span, int sx, int sy, unsigned int W,
                                        unsigned int H, unsigned int xf, unsigned int yf, int out[4])
{
  static const int order[4] = {LICE_PIXEL_R, LICE_PIXEL_G, LICE_PIXEL_B, LICE_PIXEL_A};
  const unsigned int usx = (unsigned int)sx, usy = (unsigned int)sy;
  if (!W || !H || usy > H - 1 || usx > W - 1) return false;
  const LICE_pixel_chan* p00 = src + sy * src_span + sx * 4;
  if (usy < H - 1) {
    const LICE_pixel_chan* p01 = p00 + src_span;
    if (usx < W - 1) {
      const unsigned int w11 = (xf * yf) >> 16;
      const unsigned int w10 = xf - w11, w01 = yf - w11, w00 = 65536 - xf - yf + w11;
      for (int i = 0; i < 4; ++i) {
        const int c = order[i];
        out[i] = (int)((p00[c] * w00 + p00[4 + c] * w10 + p01[c] * w01 + p01[4 + c] * w11) >> 16);
      }
      return true;
    }
    for (int i = 0; i < 4; ++i) {
      const int c = order[i];
      out[i] = (int)((p01[c] * yf + p00[c] * (65536 - yf)) >> 16);
    }
    return true;
  } else {
    if (usx < W - 1) {
      for (int i = 0; i < 4; ++i) {
        const int c = order[i];
        out[i] = (int)((p00[4 + c] * xf + p00[c] * (65536 - xf)) >> 16);
      }
      return true;
    }
    for (int i = 0; i < 4; ++i) out[i] = p00[order[i]];
    return true;
  }
}

// Whole-pixel loops for the FAST classes.
template <class COMBFUNC> class _LICE_Template_Blit0
{
public:
  // Fills w x h pixels with a prepared colour word; span in pixels.
  static void solidBlitFAST(LICE_pixel* dest, int w, int h, LICE_pixel color, int span)
  {
    for (; h > 0; --h, dest += span) {
      LICE_pixel* p = dest;
      for (int i = 0; i < w; ++i) COMBFUNC::doPixFAST(p++, color);
    }
  }

  // Nearest-pixel scaling; spans in bytes.
  static void scaleBlitFAST(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int icurx, int icury,
                            int idx, int idy, unsigned int clipright, unsigned int clipbottom, int src_span,
                            int dest_span)
  {
    unsigned int y = (unsigned int)icury;
    for (; h > 0; --h, y += (unsigned int)idy, dest += dest_span) {
      const unsigned int sy = (unsigned int)_LICE_FixInt(y);
      if (sy >= clipbottom) continue;
      const LICE_pixel* srow = reinterpret_cast<const LICE_pixel*>(src + (int)sy * src_span);
      LICE_pixel* p = reinterpret_cast<LICE_pixel*>(dest);
      unsigned int x = (unsigned int)icurx;
      for (int i = 0; i < w; ++i, ++p, x += (unsigned int)idx) {
        const unsigned int sx = (unsigned int)_LICE_FixInt(x);
        if (sx < clipright) COMBFUNC::doPixFAST(p, srow[sx]);
      }
    }
  }
};

// Loops that combine one colour per pixel.
template <class COMBFUNC> class _LICE_Template_Blit1
{
public:
  // The colour r, g, b with alpha-channel source ia at weight ia; span in bytes.
  static void solidBlit(LICE_pixel_chan* dest, int w, int h, int ir, int ig, int ib, int ia, int span)
  {
    for (; h > 0; --h, dest += span) {
      LICE_pixel_chan* p = dest;
      for (int i = 0; i < w; ++i, p += 4) COMBFUNC::doPix(p, ir, ig, ib, ia, ia);
    }
  }

  // Channels and weight stepped in 16.16 per pixel and per row; the alpha value is both the
  // alpha-channel source and the weight. Values are held within -512..512 and the weight
  // within -4096..4096, far outside what callers produce but inside what the rules can compute.
  static void gradBlit(LICE_pixel_chan* dest, int w, int h, int ir, int ig, int ib, int ia, int drdx, int dgdx,
                       int dbdx, int dadx, int drdy, int dgdy, int dbdy, int dady, int span)
  {
    auto chan = [](unsigned int v, int lim) {
      const int c = (int)v / 65536;
      return c < -lim ? -lim : c > lim ? lim : c;
    };
    unsigned int r0 = (unsigned int)ir, g0 = (unsigned int)ig, b0 = (unsigned int)ib, a0 = (unsigned int)ia;
    for (; h > 0; --h, dest += span) {
      unsigned int r = r0, g = g0, b = b0, a = a0;
      LICE_pixel_chan* p = dest;
      for (int i = 0; i < w; ++i, p += 4) {
        const int av = chan(a, 4096);
        COMBFUNC::doPix(p, chan(r, 512), chan(g, 512), chan(b, 512), av, av);
        r += (unsigned int)drdx;
        g += (unsigned int)dgdx;
        b += (unsigned int)dbdx;
        a += (unsigned int)dadx;
      }
      r0 += (unsigned int)drdy;
      g0 += (unsigned int)dgdy;
      b0 += (unsigned int)dbdy;
      a0 += (unsigned int)dady;
    }
  }
};

// Loops that combine source pixels.
template <class COMBFUNC> class _LICE_Template_Blit2
{
public:
  static void blit(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int src_span, int dest_span, int ia)
  {
    for (; h > 0; --h, dest += dest_span, src += src_span) {
      LICE_pixel_chan* p = dest;
      const LICE_pixel_chan* s = src;
      for (int i = 0; i < w; ++i, p += 4, s += 4)
        COMBFUNC::doPix(p, s[LICE_PIXEL_R], s[LICE_PIXEL_G], s[LICE_PIXEL_B], s[LICE_PIXEL_A], ia);
    }
  }

  // Nearest-pixel or (filtermode 0x100) bilinear scaling.
  static void scaleBlit(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int icurx, int icury, int idx,
                        int idy, unsigned int clipright, unsigned int clipbottom, int src_span, int dest_span, int ia,
                        int filtermode)
  {
    const bool bilinear = filtermode == LICE_BLIT_FILTER_BILINEAR;
    unsigned int y = (unsigned int)icury;
    for (; h > 0; --h, y += (unsigned int)idy, dest += dest_span) {
      const int sy = _LICE_FixInt(y);
      if ((unsigned int)sy >= clipbottom) continue;
      const LICE_pixel_chan* srow = src + sy * src_span;
      LICE_pixel_chan* p = dest;
      unsigned int x = (unsigned int)icurx;
      for (int i = 0; i < w; ++i, p += 4, x += (unsigned int)idx) {
        const int sx = _LICE_FixInt(x);
        if (bilinear) {
          int c[4];
          if (_LICE_BilinearSample(src, src_span, sx, sy, clipright, clipbottom, x & 0xffff, y & 0xffff, c))
            COMBFUNC::doPix(p, c[0], c[1], c[2], c[3], ia);
        } else if ((unsigned int)sx < clipright) {
          const LICE_pixel_chan* s = srow + sx * 4;
          COMBFUNC::doPix(p, s[LICE_PIXEL_R], s[LICE_PIXEL_G], s[LICE_PIXEL_B], s[LICE_PIXEL_A], ia);
        }
      }
    }
  }

  // Averages the filtsz x filtsz source pixels around the nearest source pixel with the weights
  // of filter (row by row), over the pixels inside the clip limits only.
  static void scaleBlitFilterDown(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int icurx, int icury,
                                  int idx, int idy, int clipright, int clipbottom, int src_span, int dest_span, int ia,
                                  const int* filter, int filter_start_offs, int filtsz)
  {
    unsigned int y = (unsigned int)icury;
    for (; h > 0; --h, y += (unsigned int)idy, dest += dest_span) {
      const int sy = _LICE_FixInt(y);
      if (sy < 0 || sy >= clipbottom || sy + filter_start_offs >= clipbottom) continue;
      LICE_pixel_chan* p = dest;
      unsigned int x = (unsigned int)icurx;
      for (int i = 0; i < w; ++i, p += 4, x += (unsigned int)idx) {
        const int sx = _LICE_FixInt(x);
        if (sx < 0 || sx >= clipright) continue;
        int sr = 0, sg = 0, sb = 0, sa = 0, wsum = 0;
        for (int fy = 0; fy < filtsz; ++fy) {
          const int row = sy + filter_start_offs + fy;
          if (row >= clipbottom) break;
          if (row < 0) continue;
          const LICE_pixel_chan* srow = src + row * src_span;
          const int* wrow = filter + fy * filtsz;
          for (int fx = 0; fx < filtsz; ++fx) {
            const int col = sx + filter_start_offs + fx;
            if (col < 0 || col >= clipright) continue;
            const LICE_pixel_chan* s = srow + col * 4;
            const int wt = wrow[fx];
            sr += s[LICE_PIXEL_R] * wt;
            sg += s[LICE_PIXEL_G] * wt;
            sb += s[LICE_PIXEL_B] * wt;
            sa += s[LICE_PIXEL_A] * wt;
            wsum += wt;
          }
        }
        if (wsum > 0) COMBFUNC::doPix(p, sr / wsum, sg / wsum, sb / wsum, sa / wsum, ia);
      }
    }
  }
};

// Combines the source at the 16.16 position (s, t) into p at weight wt: the bilinear mix of its
// neighbourhood or the nearest pixel, nothing where it lies outside the W x H window.
static inline void _LICE_SampleInto(LICE_pixel_chan* p, const LICE_pixel_chan* src, int src_span, unsigned int s,
                                    unsigned int t, unsigned int W, unsigned int H, bool bilinear, int wt,
                                    LICE_DoPixFunc func)
{
  const int sx = _LICE_FixInt(s), sy = _LICE_FixInt(t);
  if (bilinear) {
    int c[4];
    if (_LICE_BilinearSample(src, src_span, sx, sy, W, H, s & 0xffff, t & 0xffff, c))
      func(p, c[0], c[1], c[2], c[3], wt);
  } else if ((unsigned int)sx < W && (unsigned int)sy < H) {
    const LICE_pixel_chan* sp = src + sy * src_span + sx * 4;
    func(p, sp[LICE_PIXEL_R], sp[LICE_PIXEL_G], sp[LICE_PIXEL_B], sp[LICE_PIXEL_A], wt);
  }
}

// The affine and bilinear mapping loop of the rotated and delta blits: the combine rule comes
// as a function pointer. The source window (W x H pixels from src) bounds every read.
class _LICE_Template_Blit3
{
public:
  static void deltaBlit(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int icurx, int icury,
                        int idsdx, int idtdx, int idsdy, int idtdy, int idsdxdy, int idtdxdy, unsigned int W,
                        unsigned int H, int src_span, int dest_span, int ia, int filtermode, LICE_DoPixFunc func)
  {
    const bool bilinear = filtermode == LICE_BLIT_FILTER_BILINEAR;
    unsigned int s0 = (unsigned int)icurx, t0 = (unsigned int)icury;
    unsigned int dsdx = (unsigned int)idsdx, dtdx = (unsigned int)idtdx;
    for (; h > 0; --h, dest += dest_span) {
      unsigned int s = s0, t = t0;
      LICE_pixel_chan* p = dest;
      for (int i = 0; i < w; ++i, p += 4, s += dsdx, t += dtdx) {
        _LICE_SampleInto(p, src, src_span, s, t, W, H, bilinear, ia, func);
      }
      dsdx += (unsigned int)idsdxdy;
      dtdx += (unsigned int)idtdxdy;
      s0 += (unsigned int)idsdy;
      t0 += (unsigned int)idtdy;
    }
  }
};

// deltaBlit with a running opacity (16.16, 65536 opaque); each pixel's weight is a >> 8.
class _LICE_Template_Blit4
{
public:
  static void deltaBlitAlpha(LICE_pixel_chan* dest, const LICE_pixel_chan* src, int w, int h, int icurx, int icury,
                             int idsdx, int idtdx, int idsdy, int idtdy, int idsdxdy, int idtdxdy, unsigned int W,
                             unsigned int H, int src_span, int dest_span, int ia, int idadx, int idady, int idadxdy,
                             int filtermode, LICE_DoPixFunc func)
  {
    const bool bilinear = filtermode == LICE_BLIT_FILTER_BILINEAR;
    unsigned int s0 = (unsigned int)icurx, t0 = (unsigned int)icury, a0 = (unsigned int)ia;
    unsigned int dsdx = (unsigned int)idsdx, dtdx = (unsigned int)idtdx, dadx = (unsigned int)idadx;
    for (; h > 0; --h, dest += dest_span) {
      unsigned int s = s0, t = t0, a = a0;
      LICE_pixel_chan* p = dest;
      for (int i = 0; i < w; ++i, p += 4, s += dsdx, t += dtdx, a += dadx) {
        // The weight is held within +-4096 like every call's weight.
        int wt = (int)a >> 8;
        wt = wt < -4096 ? -4096 : wt > 4096 ? 4096 : wt;
        _LICE_SampleInto(p, src, src_span, s, t, W, H, bilinear, wt, func);
      }
      dsdx += (unsigned int)idsdxdy;
      dtdx += (unsigned int)idtdxdy;
      dadx += (unsigned int)idadxdy;
      s0 += (unsigned int)idsdy;
      t0 += (unsigned int)idtdy;
      a0 += (unsigned int)idady;
    }
  }
};
