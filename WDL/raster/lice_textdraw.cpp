// Drawing and measuring text with a cached font: the choice between native drawing and cached glyphs,
// layout with the alignment flags, and compositing one glyph's coverage with the font's colours, alpha
// and combine mode.
#include "lice_combine.h"
#include "lice_text.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>

LICE_SysBitmap*& LICE_CachedFont_NativeTemp();

namespace {

int gdiColour(LICE_pixel p)
{
  return (int)(LICE_GETR(p) << 16 | LICE_GETG(p) << 8 | LICE_GETB(p));
}

// One renderer family per combine class: every covered pixel takes a source of alpha 255.
template <class COMB> struct GlyphRenderer
{
  static void Mono(const unsigned char* cov, int covSpan, LICE_pixel* dst, int span, int w, int h, int r, int g, int b,
                   int wt)
  {
    for (; h > 0; --h, cov += covSpan, dst += span)
      for (int x = 0; x < w; ++x)
        if (cov[x]) COMB::doPix(reinterpret_cast<LICE_pixel_chan*>(dst + x), r, g, b, 255, wt);
  }
  static void Effect(const unsigned char* cov, int covSpan, LICE_pixel* dst, int span, int w, int h, int r, int g,
                     int b, int er, int eg, int eb, int wt)
  {
    for (; h > 0; --h, cov += covSpan, dst += span)
      for (int x = 0; x < w; ++x) {
        const int c = cov[x];
        if (!c) continue;
        if (c == 255)
          COMB::doPix(reinterpret_cast<LICE_pixel_chan*>(dst + x), r, g, b, 255, wt);
        else
          COMB::doPix(reinterpret_cast<LICE_pixel_chan*>(dst + x), er, eg, eb, 255, wt);
      }
  }
  static void Normal(const unsigned char* cov, int covSpan, LICE_pixel* dst, int span, int w, int h, int r, int g,
                     int b, int wt)
  {
    for (; h > 0; --h, cov += covSpan, dst += span)
      for (int x = 0; x < w; ++x) {
        const int c = cov[x];
        if (!c) continue;
        const int weight = wt == 256 ? c + 1 : std::min(c * wt / 256, 256);
        COMB::doPix(reinterpret_cast<LICE_pixel_chan*>(dst + x), r, g, b, 255, weight);
      }
  }
};

} // namespace

namespace {
// The glyph store keys characters by 16 bits: characters beyond (4-byte sequences) are drawn as spaces.
unsigned short glyphKey(unsigned cp)
{
  return cp > 0xFFFF ? (unsigned short)' ' : (unsigned short)cp;
}
} // namespace

int LICE_CachedFont::utf8char(const char* text, unsigned short* out)
{
  unsigned cp;
  const int used = WDL_DecodeUTF8(text, &cp);
  *out = glyphKey(cp);
  return used;
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags)
{
  return DrawTextImpl(bm, text, length, rect, flags);
}

LICE_CachedFont::charEnt* LICE_CachedFont::glyphFor(unsigned short ch)
{
  charEnt* e = findChar(ch);
  if (!e) {
    RenderGlyph(ch);
    e = findChar(ch);
    if (!e) return nullptr;
  }
  if (e->base_offset < 0) return nullptr;
  if (e->base_offset == 0) {
    RenderGlyph(ch);
    e = findChar(ch);
    if (!e || e->base_offset <= 0) return nullptr;
  }
  return e;
}

namespace {
// Walks the characters of text: calls glyph(ch) for each drawable character and newline() for a line
// feed (without DT_SINGLELINE); carriage returns are skipped.
template <class G, class N> void walk(const char* text, int length, unsigned int flags, G glyph, N newline)
{
  if (!text) return;
  // A positive length bounds every read: a sequence it cuts counts as its single bytes.
  while (length != 0 && *text) {
    unsigned cp;
    const int used = WDL_DecodeUTF8(reinterpret_cast<const unsigned char*>(text), length > 0 ? (size_t)length : (size_t)-1, &cp);
    unsigned short ch = glyphKey(cp);
    text += used;
    if (length > 0) length -= used;
    if (ch == '\r') continue;
    if (ch == '\n') {
      if (!(flags & DT_SINGLELINE)) {
        newline();
        continue;
      }
      ch = ' ';
    }
    glyph(ch);
  }
}
} // namespace

int LICE_CachedFont::measureGlyphs(const char* text, int length, RECT* rect, unsigned int flags)
{
  const bool vertical = (m_flags & LICE_FONT_FLAG_VERTICAL) != 0;
  int x = 0, y = 0, X = 0, Y = 0;
  walk(
      text, length, flags,
      [&](unsigned short ch) {
        charEnt* e = glyphFor(ch);
        if (!e) return;
        if (!vertical) {
          X = std::max({X, x + e->advance, x + e->width - e->left_extra});
          Y = std::max(Y, y + e->height);
          x += e->advance;
        } else {
          X = std::max(X, x + e->width);
          Y = std::max({Y, y + e->advance, y + e->height - e->left_extra});
          y += e->advance;
        }
      },
      [&] {
        if (!vertical) {
          x = 0;
          y += m_line_height;
        } else {
          y = 0;
          x += m_line_height;
        }
      });
  rect->right = rect->left + X;
  rect->bottom = rect->top + Y;
  return vertical ? X : Y;
}

int LICE_CachedFont::drawNative(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags)
{
  const int gdiFlags = (int)(flags & ~LICE_DT_NEEDALPHA) | DT_NOPREFIX;
  HDC dc = bm ? bm->getDC() : nullptr;
  if (dc || (flags & DT_CALCRECT && !bm)) {
    if (!dc) {
      LICE_SysBitmap*& temp = LICE_CachedFont_NativeTemp();
      if (!temp) temp = new LICE_SysBitmap(4, 4);
      dc = temp->getDC();
    }
    HGDIOBJ old = SelectObject(dc, m_font);
    ::SetTextColor(dc, gdiColour(m_fg));
    ::SetBkMode(dc, m_bgmode);
    if (m_bgmode == OPAQUE) ::SetBkColor(dc, gdiColour(m_bg));
    RECT r = *rect;
    const int result = SWELL_DrawText(dc, text, length, &r, gdiFlags);
    if (flags & DT_CALCRECT) *rect = r;
    SelectObject(dc, old);
    return result;
  }

  // A bitmap without a drawing context: draw into the shared temporary bitmap over a copy of the area.
  LICE_SysBitmap*& temp = LICE_CachedFont_NativeTemp();
  if (!temp) temp = new LICE_SysBitmap(4, 4);
  if (temp->getWidth() < 4 || temp->getHeight() < 4) temp->resize(std::max(4, temp->getWidth()), std::max(4, temp->getHeight()));
  HDC tdc = temp->getDC();
  HGDIOBJ old = SelectObject(tdc, m_font);
  const int align = DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT;
  RECT m = {0, 0, 0, 0};
  SWELL_DrawText(tdc, text, length, &m, (int)((flags & ~(unsigned)align & ~LICE_DT_NEEDALPHA) | DT_CALCRECT | DT_NOPREFIX));
  const int W = m.right, H = m.bottom;
  if (flags & DT_CALCRECT) {
    rect->right = rect->left + W;
    rect->bottom = rect->top + H;
    SelectObject(tdc, old);
    return H;
  }
  const int bx = (flags & DT_RIGHT) ? rect->right - W : (flags & DT_CENTER) ? (rect->left + rect->right - W) / 2 : rect->left;
  const int by = (flags & DT_BOTTOM) ? rect->bottom - H : (flags & DT_VCENTER) ? (rect->top + rect->bottom - H) / 2 : rect->top;
  const bool noclip = (flags & DT_NOCLIP) != 0;
  const int lx = noclip ? 0 : std::max(rect->left, 0), ly = noclip ? 0 : std::max(rect->top, 0);
  int ax = std::max(bx, lx), ay = std::max(by, ly);
  int ax2 = std::min(bx + W, bm->getWidth()), ay2 = std::min(by + H, bm->getHeight());
  if (!noclip) {
    ax2 = std::min(ax2, rect->right);
    ay2 = std::min(ay2, rect->bottom);
  }
  if (ax2 <= ax || ay2 <= ay) {
    SelectObject(tdc, old);
    return H;
  }
  const int p = std::min(ax, padFor(m_line_height));
  ax -= p;
  const int aw = ax2 - ax, ah = ay2 - ay;
  if (temp->getWidth() < aw || temp->getHeight() < ah) {
    SelectObject(tdc, old);
    temp->resize(std::max(aw, temp->getWidth()), std::max(ah, temp->getHeight()));
    tdc = temp->getDC();
    old = SelectObject(tdc, m_font);
  }
  LICE_Blit(temp, bm, 0, 0, ax, ay, aw, ah, 1.0f, LICE_BLIT_MODE_COPY);
  ::SetTextColor(tdc, gdiColour(m_fg));
  ::SetBkMode(tdc, m_bgmode);
  if (m_bgmode == OPAQUE) ::SetBkColor(tdc, gdiColour(m_bg));
  RECT dr = {bx - ax, by - ay, ax2 - ax, ay2 - ay};
  SWELL_DrawText(tdc, text, length, &dr, (int)((flags & ~(unsigned)align & ~LICE_DT_NEEDALPHA) | DT_NOPREFIX));
  LICE_Blit(bm, temp, ax, ay, 0, 0, aw, ah, m_alpha, LICE_BLIT_MODE_COPY);
  SelectObject(tdc, old);
  return H;
}

int LICE_CachedFont::DrawTextImpl(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags)
{
  if (!rect || !text) return 0;
  if (!bm && !(flags & DT_CALCRECT)) return 0;
  if (length == 0) {
    if (flags & DT_CALCRECT) {
      rect->right = rect->left;
      rect->bottom = rect->top;
    }
    return 0;
  }

  const int noNative = LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP | LICE_FONT_FLAG_PRECALCALL |
                       LICE_FONT_FLAG_FX_BLUR | LICE_FONT_FLAG_FX_INVERT | LICE_FONT_FLAG_FX_MONO |
                       LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE;
  const bool native = ((m_flags & LICE_FONT_FLAG_FORCE_NATIVE) && !(m_flags & noNative) &&
                       !(flags & (LICE_DT_USEFGALPHA | LICE_DT_NEEDALPHA)) && m_font) ||
                      (m_line_height >= 256 && m_font);
  if (native) return drawNative(bm, text, length, rect, flags);

  if (flags & DT_CALCRECT) return measureGlyphs(text, length, rect, flags);

  const float savedAlpha = m_alpha;
  if (flags & LICE_DT_USEFGALPHA) m_alpha *= LICE_GETA(m_fg) / 255.0f;
  if (m_alpha == 0.0f) {
    m_alpha = savedAlpha;
    return 0;
  }
  const bool vertical = (m_flags & LICE_FONT_FLAG_VERTICAL) != 0;
  const bool bottomUp = vertical && (m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
  int x0 = rect->left, y0 = rect->top;
  const unsigned int alignFlags = DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT;
  if ((flags & alignFlags) || bottomUp) {
    RECT mr = {0, 0, 0, 0};
    measureGlyphs(text, length, &mr, flags & (DT_SINGLELINE | LICE_DT_NEEDALPHA));
    const int W = mr.right, H = mr.bottom;
    // Right wins over centre and bottom over vertical centre, as on the native path.
    if (flags & DT_RIGHT)
      x0 = rect->right - W;
    else if (flags & DT_CENTER)
      x0 += (rect->right - rect->left - W) / 2;
    if (flags & DT_BOTTOM)
      y0 = rect->bottom - H;
    else if (flags & DT_VCENTER)
      y0 += (rect->bottom - rect->top - H) / 2;
    if (bottomUp) y0 += H;
  }
  RECT clip = {0, 0, bm->getWidth(), bm->getHeight()};
  if (!(flags & DT_NOCLIP)) {
    clip.left = std::max(rect->left, 0);
    clip.top = std::max(rect->top, 0);
    clip.right = std::min(rect->right, clip.right);
    clip.bottom = std::min(rect->bottom, clip.bottom);
  }
  if (clip.right <= clip.left || clip.bottom <= clip.top) {
    m_alpha = savedAlpha;
    return 0;
  }
  int x = x0, y = y0, X = x0, Y = y0;
  walk(
      text, length, flags,
      [&](unsigned short ch) {
        charEnt* e = glyphFor(ch);
        if (!e) return;
        const int gw = e->width, gh = e->height, adv = e->advance;
        const int gy = bottomUp ? y - gh : y;
        const bool drawn = DrawGlyph(bm, ch, x, gy, &clip);
        if (!vertical) {
          x += adv;
          if (drawn) Y = std::max(Y, y + gh);
        } else {
          y = bottomUp ? gy + gh - adv : gy + adv;
          if (drawn) X = std::max(X, x + gw);
        }
      },
      [&] {
        if (!vertical) {
          x = x0;
          y += m_line_height;
        } else {
          y = y0;
          x += m_line_height;
        }
      });
  m_alpha = savedAlpha;
  return vertical ? X - x0 : Y - y0;
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bm, unsigned short ch, int x, int y, RECT* clip)
{
  charEnt* e = findChar(ch);
  if (!e || !bm || !clip) return false;
  const unsigned char* cov = coverage(e);
  if (!cov) return false;
  const bool vertical = (m_flags & LICE_FONT_FLAG_VERTICAL) != 0;
  const bool bottomUp = vertical && (m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
  int bx = x - e->left_extra, by = y;
  if (vertical) {
    bx = x;
    by = bottomUp ? y - e->left_extra : y + e->left_extra;
  }
  const int gw = e->width, gh = e->height;
  if (bx >= clip->right || by >= clip->bottom || bx + gw <= clip->left || by + gh <= clip->top) return false;
  int sx = 0, sy = 0;
  if (bx < clip->left) sx = clip->left - bx;
  if (by < clip->top) sy = clip->top - by;
  const int w = std::min(gw, clip->right - bx) - sx, h = std::min(gh, clip->bottom - by) - sy;
  if (w < 1 || h < 1) return false;

  LICE_pixel* bits = bm->getBits();
  if (!bits) return false;
  int span = bm->getRowSpan();
  const int dx = bx + sx, dy = by + sy;
  LICE_pixel* dst;
  if (bm->isFlipped()) {
    dst = bits + (size_t)(bm->getHeight() - 1 - dy) * span + dx;
    span = -span;
  } else {
    dst = bits + (size_t)dy * span + dx;
  }
  const int mode = m_comb & 0xFF;
  if (m_bgmode == OPAQUE) LICE_FillRect(bm, dx, dy, w, h, m_bg, m_alpha, m_comb & ~LICE_BLIT_USE_ALPHA);

  const unsigned char* src = cov + sy * gw + sx;
  const int r = LICE_GETR(m_fg), g = LICE_GETG(m_fg), b = LICE_GETB(m_fg);
  int wt = (int)(m_alpha * 256.0f);
  const int wtLimited = std::min(wt, 256);
  const bool plainCopy = m_alpha == 1.0f && mode == 0;

  auto setEach = [&](auto pick) {
    LICE_pixel* row = dst;
    const unsigned char* c = src;
    for (int yy = 0; yy < h; ++yy, row += span, c += gw)
      for (int xx = 0; xx < w; ++xx)
        if (c[xx]) row[xx] = pick(c[xx]);
  };
  if (m_flags & LICE_FONT_FLAG_FX_MONO) {
    if (plainCopy) {
      setEach([&](int) { return m_fg; });
    } else if (wtLimited > 0 && mode <= 5) {
      LICE_WithCombineClass(mode, [&](auto tag) {
        GlyphRenderer<typename decltype(tag)::type>::Mono(src, gw, dst, span, w, h, r, g, b, wtLimited);
      });
    }
  } else if (!(m_flags & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE))) {
    if (wt > 0 && mode <= 5) {
      LICE_WithCombineClass(mode, [&](auto tag) {
        GlyphRenderer<typename decltype(tag)::type>::Normal(src, gw, dst, span, w, h, r, g, b, wt);
      });
    }
  } else if (plainCopy) {
    setEach([&](int c) { return c == 255 ? m_fg : m_effectcol; });
  } else if (wtLimited > 0 && mode <= 5) {
    const int er = LICE_GETR(m_effectcol), eg = LICE_GETG(m_effectcol), eb = LICE_GETB(m_effectcol);
    LICE_WithCombineClass(mode, [&](auto tag) {
      GlyphRenderer<typename decltype(tag)::type>::Effect(src, gw, dst, span, w, h, r, g, b, er, eg, eb, wtLimited);
    });
  }
  return true;
}
