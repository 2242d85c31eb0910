// Gradient rectangles: colour and opacity stepped linearly across and down a rectangle.
#include "lice_templates.h"

#include <cstdint>

void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig, float ib, float ia,
                   float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady,
                   int mode)
{
  if (!dest) return;
  // Colour channels count 255 for 1.0, the opacity 256 (the whole weight).
  ir *= 255.0f, ig *= 255.0f, ib *= 255.0f, ia *= 256.0f;
  drdx *= 255.0f, dgdx *= 255.0f, dbdx *= 255.0f, dadx *= 256.0f;
  drdy *= 255.0f, dgdy *= 255.0f, dbdy *= 255.0f, dady *= 256.0f;

  // Clipping the top-left corner keeps the gradient anchored where the caller put it.
  int64_t x = dstx, y = dsty, w = dstw, h = dsth;
  if (x < 0) {
    const float n = (float)x;
    ir -= n * drdx, ig -= n * dgdx, ib -= n * dbdx, ia -= n * dadx;
    w += x;
    x = 0;
  }
  if (y < 0) {
    const float n = (float)y;
    ir -= n * drdy, ig -= n * dgdy, ib -= n * dbdy, ia -= n * dady;
    h += y;
    y = 0;
  }
  LICE_pixel* bits = dest->getBits();
  const int span = dest->getRowSpan();
  const int64_t bw = dest->getWidth(), bh = dest->getHeight();
  if (!bits || !span || w <= 0 || h <= 0 || x >= bw || y >= bh) return;
  if (w > bw - x) w = bw - x;
  if (h > bh - y) h = bh - y;

  const bool flip = dest->isFlipped();
  LICE_pixel_chan* first = reinterpret_cast<LICE_pixel_chan*>(bits + (flip ? bh - 1 - y : y) * span + x);
  const int spanBytes = flip ? -span * 4 : span * 4;

  auto fix = [](float v) { return _LICE_TruncToInt((double)v * 65536.0); };
  const int r0 = fix(ir), g0 = fix(ig), b0 = fix(ib), a0 = fix(ia);
  const int rdx = fix(drdx), gdx = fix(dgdx), bdx = fix(dbdx), adx = fix(dadx);
  const int rdy = fix(drdy), gdy = fix(dgdy), bdy = fix(dbdy), ady = fix(dady);

  const int op = mode & LICE_BLIT_MODE_MASK;
  if (op == LICE_BLIT_MODE_COPY && adx == 0 && ady == 0 && a0 == 256 * 65536) {
    // Opaque copy: store the limited colour without reading the destination.
    _LICE_Template_Blit1<_LICE_CombinePixelsClobberClamp>::gradBlit(first, (int)w, (int)h, r0, g0, b0, a0, rdx, gdx,
                                                                    bdx, adx, rdy, gdy, bdy, ady, spanBytes);
    return;
  }
  auto run = [&](auto tag) {
    typedef typename decltype(tag)::type C;
    _LICE_Template_Blit1<C>::gradBlit(first, (int)w, (int)h, r0, g0, b0, a0, rdx, gdx, bdx, adx, rdy, gdy, bdy, ady,
                                      spanBytes);
  };
  LICE_WithCombineClass<true>(op, run);
}
