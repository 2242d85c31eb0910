// The cached bitmap font: its records, their lookup, and rendering a glyph once into a coverage map.
#include "lice_text.h"

#include <cstdlib>
#include <utility>
#include <cstring>

namespace {
// Shared by every cached font: glyphs are rendered into s_tempbitmap, native text for bitmaps
// without a drawing context goes through s_nativerender_tempbitmap.
LICE_SysBitmap* s_tempbitmap;
LICE_SysBitmap* s_nativerender_tempbitmap;
int s_tempbitmap_refcnt;

int _charSortFunc(const void* a, const void* b)
{
  return static_cast<const LICE_CachedFont::charEnt*>(a)->charid -
         static_cast<const LICE_CachedFont::charEnt*>(b)->charid;
}

// The temporary bitmap at least size x size, white text on opaque black.
void prepareTemp(int size)
{
  if (!s_tempbitmap) s_tempbitmap = new LICE_SysBitmap(0, 0);
  if (s_tempbitmap->getWidth() < size || s_tempbitmap->getHeight() < size) {
    s_tempbitmap->resize(size, size);
    HDC dc = s_tempbitmap->getDC();
    SetTextColor(dc, 0xFFFFFF);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, 0);
  }
}
} // namespace

int LICE_CachedFont::padFor(int lineHeight)
{
  return lineHeight < 16 ? 2 : lineHeight / 16 + 2;
}

LICE_SysBitmap*& LICE_CachedFont_NativeTemp()
{
  return s_nativerender_tempbitmap;
}

LICE_CachedFont::LICE_CachedFont()
    : m_fg(0), m_bg(0xFFFFFFFF), m_effectcol(0xFFFFFFFF), m_bgmode(0), m_comb(0), m_alpha(1.0f), m_flags(0),
      m_line_height(0), m_lowchars(), m_font(nullptr), m_renders(0)
{
  ++s_tempbitmap_refcnt;
}

LICE_CachedFont::~LICE_CachedFont()
{
  if ((m_flags & LICE_FONT_FLAG_OWNS_HFONT) && m_font) DeleteObject(m_font);
  if (--s_tempbitmap_refcnt == 0) {
    delete s_tempbitmap;
    delete s_nativerender_tempbitmap;
    s_tempbitmap = nullptr;
    s_nativerender_tempbitmap = nullptr;
  }
}

LICE_pixel LICE_CachedFont::SetTextColor(LICE_pixel colour)
{
  return std::exchange(m_fg, colour);
}

LICE_pixel LICE_CachedFont::SetBkColor(LICE_pixel colour)
{
  return std::exchange(m_bg, colour);
}

LICE_pixel LICE_CachedFont::SetEffectColor(LICE_pixel colour)
{
  return std::exchange(m_effectcol, colour);
}

int LICE_CachedFont::SetBkMode(int mode)
{
  return std::exchange(m_bgmode, mode);
}

void LICE_CachedFont::SetCombineMode(int mode, float alpha)
{
  m_comb = mode;
  m_alpha = alpha;
}

void LICE_CachedFont::SetFromHFont(HGDIOBJ font, int flags)
{
  if ((m_flags & LICE_FONT_FLAG_OWNS_HFONT) && m_font && m_font != font) DeleteObject(m_font);
  m_flags = flags;
  m_font = font;
  if (font) {
    prepareTemp(256);
    HDC dc = s_tempbitmap->getDC();
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    m_line_height = tm.tmHeight;
  }
  std::memset(m_lowchars, 0, sizeof(m_lowchars));
  m_extracharlist.Resize(0, false);
  m_cachestore.Resize(0);
  m_renders = 0;
  if (flags & LICE_FONT_FLAG_PRECALCALL)
    for (int c = 0; c < 128; ++c) RenderGlyph((unsigned short)c);
}

LICE_CachedFont::charEnt* LICE_CachedFont::findChar(unsigned short ch)
{
  if (ch < 128) return &m_lowchars[ch];
  const int n = m_extracharlist.GetSize() / (int)sizeof(charEnt);
  if (!n) return nullptr;
  charEnt key = {};
  key.charid = ch;
  return static_cast<charEnt*>(std::bsearch(&key, m_extracharlist.Get(), n, sizeof(charEnt), _charSortFunc));
}

const unsigned char* LICE_CachedFont::coverage(const charEnt* e) const
{
  if (!e || e->base_offset <= 0) return nullptr;
  const int at = e->base_offset - 1;
  if (at + e->width * e->height > m_cachestore.GetSize()) return nullptr;
  return static_cast<const unsigned char*>(m_cachestore.Get()) + at;
}

bool LICE_CachedFont::RenderGlyph(unsigned short ch)
{
  if (m_line_height > 1023) return false;

  bool isNew = false;
  if (ch >= 128 && !findChar(ch)) {
    if (m_flags & LICE_FONT_FLAG_PRECALCALL) return false;
    const int n = m_extracharlist.GetSize() / (int)sizeof(charEnt);
    if (!m_extracharlist.Resize((n + 1) * (int)sizeof(charEnt), false) ||
        m_extracharlist.GetSize() != (n + 1) * (int)sizeof(charEnt))
      return false;
    charEnt* e = static_cast<charEnt*>(m_extracharlist.Get()) + n;
    std::memset(e, 0, sizeof(*e));
    e->charid = ch;
    isNew = true;
  }
  // Records move when the table grows or is sorted: every write below looks the record up again.
  auto record = [&]() { return ch < 128 ? &m_lowchars[ch] : findChar(ch); };
  auto finish = [&]() {
    const int n = m_extracharlist.GetSize() / (int)sizeof(charEnt);
    if (isNew && n >= 2) std::qsort(m_extracharlist.Get(), n, sizeof(charEnt), _charSortFunc);
    return true;
  };
  if (isNew) {
    // Kept in order at once, so findChar (a binary search) finds the new record.
    finish();
    isNew = false;
  }
  charEnt* e = record();
  if (!e) return false;
  ++m_renders;

  const int lh = m_line_height > 1 ? m_line_height : 1;
  prepareTemp(2 * lh + 8);
  HDC dc = s_tempbitmap->getDC();
  HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;
  const int pad = padFor(m_line_height);

  char utf[4] = {};
  if (ch < 128) {
    utf[0] = (char)ch;
  } else if (ch < 2048) {
    utf[0] = (char)(0xC0 | (ch >> 6));
    utf[1] = (char)(0x80 | (ch & 63));
  } else {
    utf[0] = (char)(0xE0 | (ch >> 12));
    utf[1] = (char)(0x80 | ((ch >> 6) & 63));
    utf[2] = (char)(0x80 | (ch & 63));
  }
  const int len = (int)std::strlen(utf);
  RECT r = {0, 0, 0, 0};
  // A zero character measures nothing: strlen stops before it.
  if (len) SWELL_DrawText(dc, utf, len, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  int a = r.right, h = r.bottom, w = a + 2 * pad;
  LICE_FillRect(s_tempbitmap, 0, 0, w, h, 0, 1.0f, LICE_BLIT_MODE_COPY);
  RECT dr = {pad, 0, w, h};
  if (len && a > 0 && h > 0) SWELL_DrawText(dc, utf, len, &dr, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  const int bw = s_tempbitmap->getWidth(), bh = s_tempbitmap->getHeight();
  if (a > bw) a = bw;
  if (w > bw) w = bw;
  if (h > bh) h = bh;
  if (m_font) SelectObject(dc, oldFont);

  e = record();
  if (a < 1 || h < 1) {
    e->base_offset = -1;
    e->width = e->height = e->advance = e->left_extra = 0;
    return finish();
  }
  e->advance = a;
  if (m_flags & LICE_FONT_FLAG_FX_BLUR) LICE_Blur(s_tempbitmap, s_tempbitmap, 0, 0, 0, 0, w, h);

  const int oldSize = m_cachestore.GetSize();
  m_cachestore.Resize(oldSize + w * h, false);
  if (m_cachestore.GetSize() != oldSize + w * h) {
    e->base_offset = -1;
    e->width = e->height = e->advance = e->left_extra = 0;
    return finish();
  }
  e->base_offset = oldSize + 1;
  unsigned char* map = static_cast<unsigned char*>(m_cachestore.Get()) + oldSize;

  // Coverage is the red byte of the white-on-black rendering; the box keeps at least the columns
  // pad .. a + pad - 1 and grows to any ink outside them.
  const LICE_pixel* bits = s_tempbitmap->getBits();
  const int span = s_tempbitmap->getRowSpan();
  const bool invert = (m_flags & LICE_FONT_FLAG_FX_INVERT) != 0;
  int first = pad, last = a + pad;
  for (int y = 0; y < h; ++y) {
    const LICE_pixel* row = bits + (size_t)(s_tempbitmap->isFlipped() ? bh - 1 - y : y) * span;
    for (int x = 0; x < w; ++x) {
      int c = reinterpret_cast<const unsigned char*>(row + x)[LICE_PIXEL_R];
      if (invert) c = 255 - c;
      map[y * w + x] = (unsigned char)c;
      if (c) {
        if (x < first) first = x;
        if (x + 1 > last) last = x + 1;
      }
    }
  }
  if (last > w) last = w;
  int bwid = w;
  if (first > 0 || last < w) {
    bwid = last - first;
    for (int y = 0; y < h; ++y) std::memmove(map + y * bwid, map + y * w + first, (size_t)bwid);
    m_cachestore.Resize(oldSize + bwid * h, false);
    map = static_cast<unsigned char*>(m_cachestore.Get()) + oldSize;
  }
  int gw = bwid, gh = h;

  if (m_flags & LICE_FONT_FLAG_VERTICAL) {
    // Turned through the temporary bitmap's pixel memory: output row r, column k.
    unsigned char* scratch = reinterpret_cast<unsigned char*>(s_tempbitmap->getBits());
    std::memcpy(scratch, map, (size_t)gw * gh);
    const bool ccw = (m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP) != 0;
    for (int r2 = 0; r2 < gw; ++r2)
      for (int k = 0; k < gh; ++k)
        map[r2 * gh + k] = ccw ? scratch[k * gw + (gw - 1 - r2)] : scratch[(gh - 1 - k) * gw + r2];
    std::swap(gw, gh);
  }
  const bool shadow = (m_flags & LICE_FONT_FLAG_FX_SHADOW) != 0, outline = (m_flags & LICE_FONT_FLAG_FX_OUTLINE) != 0;
  if (m_flags & (LICE_FONT_FLAG_FX_MONO | LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE))
    for (int i = 0; i < gw * gh; ++i) map[i] = map[i] < 131 ? 0 : 255;
  if (shadow || outline) {
    auto at = [&](int x, int y) { return map[y * gw + x]; };
    for (int y = 0; y < gh; ++y)
      for (int x = 0; x < gw; ++x) {
        if (map[y * gw + x]) continue;
        bool effect;
        if (shadow)
          effect = (x >= 1 && at(x - 1, y) == 255) || (x >= 1 && y >= 1 && at(x - 1, y - 1) == 255) ||
                   (y >= 1 && at(x, y - 1) == 255);
        else
          effect = (y >= 1 && at(x, y - 1) == 255) || (y < gh - 1 && at(x, y + 1) == 255) ||
                   (x >= 1 && at(x - 1, y) == 255) || (x < gw - 1 && at(x + 1, y) == 255);
        if (effect) map[y * gw + x] = 128;
      }
  }
  e = record();
  e->width = gw;
  e->height = gh;
  e->left_extra = pad - first;
  return finish();
}
