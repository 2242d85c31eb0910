// Coverage-map glyphs: one colour painted through a map of coverage bytes.
#include "lice_combine.h"

#include <cstdint>

namespace {

// One loop per combine class; coverage 0 leaves its pixel untouched, other coverage c draws at
// weight trunc(c x ia / 256).
template <class COMBFUNC> class GlyphDrawImpl
{
public:
  static void DrawGlyph(const LICE_pixel_chan* frameptr, LICE_pixel* outptr, int w, int h, LICE_pixel color, int span,
                        int src_span, int ia)
  {
    const int r = LICE_GETR(color), g = LICE_GETG(color), b = LICE_GETB(color), a = LICE_GETA(color);
    for (; h > 0; --h, frameptr += src_span, outptr += span)
      for (int x = 0; x < w; ++x) {
        const int c = frameptr[x];
        if (c) COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(outptr + x), r, g, b, a, c * ia / 256);
      }
  }
};

} // namespace

void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                      int glyph_span, int glyph_h, float alpha, int mode)
{
  if (!dest || !alphas) return;
  int64_t gx = x, gy = y, gw = glyph_w, gh = glyph_h;
  if (gx <= -gw || gy <= -gh) return;
  if (gx < 0) {
    alphas += -gx;
    gw += gx;
    gx = 0;
  }
  if (gy < 0) {
    alphas += -gy * (int64_t)glyph_span;
    gh += gy;
    gy = 0;
  }
  const int64_t bw = dest->getWidth(), bh = dest->getHeight();
  if (gw < 0 || gh < 0 || gx >= bw || gy >= bh) return;
  if (gw > bw - gx) gw = bw - gx;
  if (gh > bh - gy) gh = bh - gy;
  if (gw <= 0 || gh <= 0) return;

  const int ia = _LICE_Weight(alpha * 256.0f);
  LICE_pixel* bits = dest->getBits();
  // A bitmap that reports a size but has no pixels draws nothing.
  if (!bits) return;
  const int span = dest->getRowSpan();
  const bool flip = dest->isFlipped();
  LICE_pixel* out = bits + (flip ? bh - 1 - gy : gy) * span + gx;
  const int op = mode & LICE_BLIT_MODE_MASK;
  if (ia == 0 || (op == LICE_BLIT_MODE_COPY && ia < 1)) return;
  LICE_WithCombineClass(op, [&](auto tag) {
    GlyphDrawImpl<typename decltype(tag)::type>::DrawGlyph(alphas, out, (int)gw, (int)gh, color, flip ? -span : span,
                                                           glyph_span, ia);
  });
}

void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                    int glyph_h, float alpha, int mode)
{
  LICE_DrawGlyphEx(dest, x, y, color, alphas, glyph_w, glyph_w, glyph_h, alpha, mode);
}
