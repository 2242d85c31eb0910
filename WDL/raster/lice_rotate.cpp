// Rotated, delta and transform blits: a source point stepped in 16.16 fixed point across the
// destination rectangle.
#include "lice_clip.h"
#include "lice_templates.h"

#include <cmath>
#include <cstdint>

namespace {

// Source window of the mapped blits: the source rectangle within the bitmap, or the whole
// bitmap; in source pixels.
struct Window
{
  float left, top, right, bottom;
};

Window sourceWindow(LICE_IBitmap* src, float srcx, float srcy, float srcw, float srch, bool clip)
{
  const float sw = (float)src->getWidth(), sh = (float)src->getHeight();
  if (!clip) return {0.0f, 0.0f, sw, sh};
  return {srcx > 0.0f ? srcx : 0.0f, srcy > 0.0f ? srcy : 0.0f, srcx + srcw < sw ? srcx + srcw : sw,
          srcy + srch < sh ? srcy + srch : sh};
}

// Everything the pixel loops need once the destination rectangle is clipped.
struct Setup
{
  LICE_pixel_chan* dest;
  const LICE_pixel_chan* src; // the window's top-left pixel
  int dspan, sspan;           // bytes, negative for flipped bitmaps
  int L, T;
  unsigned int W, H;
  int w, h;
};

// Limits the destination rectangle (already moved to non-negative x and y) to the bitmap and
// finds both start pixels. False when nothing is left to draw.
bool finishSetup(LICE_IBitmap* dest, LICE_IBitmap* src, int64_t dstx, int64_t dsty, int64_t dstw, int64_t dsth,
                 const Window& win, Setup& s)
{
  const int64_t dw = dest->getWidth(), dh = dest->getHeight();
  if (dstw <= 0 || dsth <= 0 || dstx >= dw || dsty >= dh) return false;
  if (dstw > dw - dstx) dstw = dw - dstx;
  if (dsth > dh - dsty) dsth = dh - dsty;

  LICE_pixel* dbits = dest->getBits();
  LICE_pixel* sbits = src->getBits();
  if (!dbits || !sbits) return false;

  const int64_t L = _LICE_TruncToInt(win.left), T = _LICE_TruncToInt(win.top);
  const int64_t W = _LICE_TruncToInt(win.right) - L, H = _LICE_TruncToInt(win.bottom) - T;
  if (W <= 0 || H <= 0) return false;

  int64_t dspan, sspan;
  s.dest = reinterpret_cast<LICE_pixel_chan*>(_LICE_RowStart(dest, dbits, dstx, dsty, dspan));
  s.src = reinterpret_cast<const LICE_pixel_chan*>(_LICE_RowStart(src, sbits, L, T, sspan));
  s.dspan = (int)(dspan * 4);
  s.sspan = (int)(sspan * 4);
  s.L = (int)L;
  s.T = (int)T;
  s.W = (unsigned int)W;
  s.H = (unsigned int)H;
  s.w = (int)dstw;
  s.h = (int)dsth;
  return true;
}

// A destination start left of or above the bitmap moves to 0; the source point (s, t) and the
// opacity a advance by the steps per destination pixel along that axis.
void clipLowEdge(int64_t& d, int64_t& size, float& s, float& t, float& a, double ds, double dt, double da)
{
  if (d >= 0) return;
  s = (float)(s - d * ds);
  t = (float)(t - d * dt);
  a = (float)(a - d * da);
  size += d;
  d = 0;
}

int fix16(double v)
{
  return _LICE_TruncToInt(v * 65536.0);
}

// A mapping with a NaN or infinite term has no meaning: such calls draw nothing.
template <class... V> bool allFinite(V... v)
{
  return (std::isfinite((double)v) && ...);
}

// The per-pixel function of the rotated and delta blits for mode & 0x100ff and weight ia.
LICE_DoPixFunc deltaBlitFunc(int mode, int ia)
{
  LICE_DoPixFunc f = nullptr;
  LICE_WithBlitCombineClass(mode, ia, [&](auto tag) { f = &decltype(tag)::type::doPix; });
  return f;
}

// The start shared by the delta blits: the destination rectangle clipped, the source point
// and the opacity moved to its first pixel. False when nothing is to be drawn.
bool deltaSetup(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float& srcx, float& srcy,
                float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy, bool cliptosourcerect,
                float& alpha, double dadx, double dady, Setup& s)
{
  const Window win = sourceWindow(src, srcx, srcy, srcw, srch, cliptosourcerect);
  // A negative size only moves the start; mirroring needs negative steps from the caller.
  int64_t dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  _LICE_StartAtLowEdge(dx, dw, srcx, srcw);
  _LICE_StartAtLowEdge(dy, dh, srcy, srch);
  clipLowEdge(dx, dw, srcx, srcy, alpha, dsdx, dtdx, dadx);
  clipLowEdge(dy, dh, srcx, srcy, alpha, dsdy, dtdy, dady);
  return finishSetup(dest, src, dx, dy, dw, dh, win, s);
}

} // namespace

void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                      float srcy, float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode,
                      float rotxcent, float rotycent)
{
  if (!dest || !src || !dstw || !dsth) return;
  const Window win = sourceWindow(src, srcx, srcy, srcw, srch, cliptosourcerect);

  int64_t dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  _LICE_StartAtLowEdge(dx, dw, srcx, srcw);
  _LICE_StartAtLowEdge(dy, dh, srcy, srch);

  const double cs = std::cos((double)angle), sn = std::sin((double)angle);
  const float dsdxf = srcw / (float)dw, dtdyf = srch / (float)dh;
  const double dsdx = dsdxf, dtdy = dtdyf;
  const double sdx = dsdx * cs, tdx = -dtdy * sn, sdy = dsdx * sn, tdy = dtdy * cs;

  // Source point of destination pixel (dstx, dsty): the pivot lands on the rectangle's centre.
  float s0 = (float)(srcx - ((dw * dsdx * cs + dh * dsdx * sn - srcw) * 0.5 - rotxcent));
  float t0 = (float)(srcy - ((dh * dtdy * cs - dw * dtdy * sn - srch) * 0.5 - rotycent));

  float unused = 0.0f;
  clipLowEdge(dx, dw, s0, t0, unused, sdx, tdx, 0.0);
  clipLowEdge(dy, dh, s0, t0, unused, sdy, tdy, 0.0);

  Setup s;
  if (!allFinite(s0, t0, sdx, tdx, sdy, tdy) || !finishSetup(dest, src, dx, dy, dw, dh, win, s)) return;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (ia == 0) return;
  const LICE_DoPixFunc f = deltaBlitFunc(mode, ia);
  if (!f) return;
  _LICE_Template_Blit3::deltaBlit(s.dest, s.src, s.w, s.h, fix16((double)s0 - s.L), fix16((double)t0 - s.T), fix16(sdx),
                                  fix16(tdx), fix16(sdy), fix16(tdy), 0, 0, s.W, s.H, s.sspan, s.dspan, ia,
                                  mode & LICE_BLIT_FILTER_MASK, f);
}

void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                    double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode)
{
  if (!dest || !src || !dstw || !dsth) return;
  Setup s;
  float unused = 0.0f;
  if (!deltaSetup(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, cliptosourcerect,
                  unused, 0.0, 0.0, s) ||
      !allFinite(srcx, srcy, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy))
    return;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (ia == 0) return;
  const LICE_DoPixFunc f = deltaBlitFunc(mode, ia);
  if (!f) return;
  _LICE_Template_Blit3::deltaBlit(s.dest, s.src, s.w, s.h, fix16((double)srcx - s.L), fix16((double)srcy - s.T),
                                  fix16(dsdx), fix16(dtdx), fix16(dsdy), fix16(dtdy), fix16(dsdxdy), fix16(dtdxdy), s.W,
                                  s.H, s.sspan, s.dspan, ia, mode & LICE_BLIT_FILTER_MASK, f);
}

void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                         float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                         double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, double dadx,
                         double dady, double dadxdy)
{
  if (!dest || !src || !dstw || !dsth) return;
  // An opacity that barely changes over the rectangle is a constant one.
  if (std::fabs(dstw * dadx) < 0.0001 && std::fabs(dsth * dady) < 0.0001 && std::fabs(dsth * dadxdy) < 0.0001) {
    LICE_DeltaBlit(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy,
                   cliptosourcerect, alpha, mode);
    return;
  }
  Setup s;
  if (!deltaSetup(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, cliptosourcerect,
                  alpha, dadx, dady, s) ||
      !allFinite(srcx, srcy, alpha, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy, dadx, dady, dadxdy))
    return;
  LICE_DoPixFunc f = nullptr;
  if (!LICE_WithCombineClass<true>(mode & LICE_BLIT_MODE_MASK, [&](auto tag) { f = &decltype(tag)::type::doPix; }))
    return;
  _LICE_Template_Blit4::deltaBlitAlpha(s.dest, s.src, s.w, s.h, fix16((double)srcx - s.L), fix16((double)srcy - s.T),
                                       fix16(dsdx), fix16(dtdx), fix16(dsdy), fix16(dtdy), fix16(dsdxdy), fix16(dtdxdy),
                                       s.W, s.H, s.sspan, s.dspan, fix16(alpha), fix16(dadx), fix16(dady),
                                       fix16(dadxdy), mode & LICE_BLIT_FILTER_MASK, f);
}

// The grid walk of the transform blits: each cell of the destination is one delta blit whose
// per-row change of the row step interpolates bilinearly between the cell's corners. T is the
// grid's number type; the opacity form reads (x, y, opacity) triples.
template <class T> class LICE_TransformBlit_class
{
public:
  static void blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, const T* srcpoints,
                   int div_w, int div_h, float alpha, int mode)
  {
    walk<false>(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
  }

  template <bool WITH_ALPHA>
  static void walk(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, const T* srcpoints,
                   int div_w, int div_h, float alpha, int mode)
  {
    if (!dest || !src || !srcpoints || dstw <= 0 || dsth <= 0 || div_w < 2 || div_h < 2) return;
    const int stride = WITH_ALPHA ? 3 : 2;
    const double xstep = (float)dstw / (float)(div_w - 1);
    const double ystep = (float)dsth / (float)(div_h - 1);
    double yacc = dsty;
    int ycur = dsty;
    for (int j = 0; j < div_h - 1; ++j, srcpoints += div_w * stride) {
      yacc += ystep;
      const int ynext = _LICE_TruncToInt(yacc + 0.5);
      const int h = ynext - ycur;
      if (h) {
        const double ih = 1.0 / h;
        double xacc = dstx;
        int xcur = dstx;
        for (int i = 0; i < div_w - 1; ++i) {
          xacc += xstep;
          const int xnext = _LICE_TruncToInt(xacc + 0.5);
          const int w = xnext - xcur;
          if (w) {
            const double iw = 1.0 / w;
            const T* p00 = srcpoints + i * stride;
            const T* p10 = p00 + stride;
            const T* p01 = p00 + div_w * stride;
            const T* p11 = p01 + stride;
            // The lower edge's differences in the grid's own precision.
            const double lowx = (T)(p11[0] - p01[0]), lowy = (T)(p11[1] - p01[1]);
            const double topx = (double)p10[0] - (double)p00[0], topy = (double)p10[1] - (double)p00[1];
            const double dsdx = topx * iw, dtdx = topy * iw;
            const double dsdy = ((double)p01[0] - (double)p00[0]) * ih;
            const double dtdy = ((double)p01[1] - (double)p00[1]) * ih;
            const double dsdxdy = (lowx * iw - dsdx) * ih, dtdxdy = (lowy * iw - dtdx) * ih;
            if (WITH_ALPHA) {
              const double dadx = ((double)p10[2] - (double)p00[2]) * iw;
              const double dady = ((double)p01[2] - (double)p00[2]) * ih;
              const double dadxdy = (((double)p11[2] - (double)p01[2]) * iw - dadx) * ih;
              LICE_DeltaBlitAlpha(dest, src, xcur, ycur, w, h, (float)p00[0], (float)p00[1], (float)topx, (float)topy,
                                  dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy, false, (float)p00[2], mode, dadx, dady,
                                  dadxdy);
            } else {
              LICE_DeltaBlit(dest, src, xcur, ycur, w, h, (float)p00[0], (float)p00[1], (float)topx, (float)topy, dsdx,
                             dtdx, dsdy, dtdy, dsdxdy, dtdxdy, false, alpha, mode);
            }
          }
          xcur = xnext;
        }
      }
      ycur = ynext;
    }
  }
};

template <class T> class LICE_TransformBlitAlpha_class
{
public:
  static void blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, const T* srcpoints,
                   int div_w, int div_h, int mode)
  {
    LICE_TransformBlit_class<T>::template walk<true>(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, 1.0f,
                                                     mode);
  }
};

void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                        const float* srcpoints, int div_w, int div_h, float alpha, int mode)
{
  LICE_TransformBlit_class<float>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                         const double* srcpoints, int div_w, int div_h, float alpha, int mode)
{
  LICE_TransformBlit_class<double>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                              const double* srcpoints, int div_w, int div_h, int mode)
{
  LICE_TransformBlitAlpha_class<double>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, mode);
}
