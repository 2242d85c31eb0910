// Text in raster bitmaps: LICE_CachedFont draws UTF-8 strings into any LICE_IBitmap with a colour, an
// optional background, an alpha and a combine mode, either natively (the whole string through the GDI
// emulation's SWELL_DrawText) or by compositing glyph coverage maps rendered once and cached.
//
// Threads: all cached fonts of a process share two temporary bitmaps and are used from one thread at a
// time (the editor's).
#pragma once

#include "lice.h"
#include "swell/swell-gdi.h"

#include "heapbuf.h"

// Font flags of SetFromHFont.
enum {
  LICE_FONT_FLAG_VERTICAL = 1,          // glyphs turned 90 degrees clockwise, lines advance along y
  LICE_FONT_FLAG_VERTICAL_BOTTOMUP = 2, // with 1: counter-clockwise, text runs bottom to top
  LICE_FONT_FLAG_PRECALCALL = 4,        // render characters 0..127 at once; never render others
  LICE_FONT_FLAG_FX_BLUR = 16,
  LICE_FONT_FLAG_FX_INVERT = 32,
  LICE_FONT_FLAG_FX_MONO = 64,     // coverage below 131 off, the rest on
  LICE_FONT_FLAG_FX_SHADOW = 128,  // mono plus effect pixels below and to the right of the ink
  LICE_FONT_FLAG_FX_OUTLINE = 256, // mono plus effect pixels around the ink
  LICE_FONT_FLAG_OWNS_HFONT = 512, // deletes its font object when replaced or destroyed
  LICE_FONT_FLAG_FORCE_NATIVE = 1024,
};

// DrawText flags beyond the GDI ones.
constexpr unsigned int LICE_DT_USEFGALPHA = 0x40000000; // scale the alpha by the text colour's alpha byte
constexpr unsigned int LICE_DT_NEEDALPHA = 0x80000000;  // never draw natively

class LICE_IFont
{
public:
  virtual ~LICE_IFont() {}
  virtual void SetFromHFont(HGDIOBJ font, int flags = 0) = 0;
  virtual LICE_pixel SetTextColor(LICE_pixel colour) = 0;
  virtual LICE_pixel SetBkColor(LICE_pixel colour) = 0;
  virtual LICE_pixel SetEffectColor(LICE_pixel colour) = 0;
  virtual int SetBkMode(int mode) = 0;
  virtual void SetCombineMode(int mode, float alpha = 1.0f) = 0;
  virtual int DrawText(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags) = 0;
  virtual LICE_pixel GetTextColor() = 0;
  virtual HGDIOBJ GetHFont() = 0;
  virtual int GetLineHeight() = 0;
};

class LICE_CachedFont : public LICE_IFont
{
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  void SetFromHFont(HGDIOBJ font, int flags = 0) override;
  LICE_pixel SetTextColor(LICE_pixel colour) override;
  LICE_pixel SetBkColor(LICE_pixel colour) override;
  LICE_pixel SetEffectColor(LICE_pixel colour) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int mode, float alpha = 1.0f) override;
  // Draws or measures (DT_CALCRECT) text; returns its height (its width for vertical fonts). length
  // below 0 reads to the terminating zero, 0 draws nothing.
  int DrawText(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags) override;
  LICE_pixel GetTextColor() override { return m_fg; }
  HGDIOBJ GetHFont() override { return m_font; }
  int GetLineHeight() override { return m_line_height; }

  // Composites one rendered glyph with its pen position at (x, y) inside the clip; true when some of
  // it was inside.
  virtual bool DrawGlyph(LICE_IBitmap* bm, unsigned short ch, int x, int y, RECT* clip);

  // One glyph: coverage at offset - 1 in the store (0 not rendered yet, -1 nothing to draw), its box,
  // how far the pen moves, the character, and the distance from the pen back to the box's first column.
  struct charEnt
  {
    int base_offset;
    int width, height;
    int advance;
    int charid;
    int left_extra;
  };

  // Record of a character, null when it has none yet.
  charEnt* findChar(unsigned short ch);
  // Renders a character's glyph into the store; false when nothing could be rendered.
  bool RenderGlyph(unsigned short ch);
  // Rendered glyphs so far in this generation (tests watch the cache).
  int renderCount() const { return m_renders; }
  const unsigned char* coverage(const charEnt* e) const;

  // Decodes one character of zero-terminated UTF-8 (4-byte sequences give a space); returns the bytes used.
  static int utf8char(const char* text, unsigned short* out);

private:
  // Margin in pixels kept beside a glyph for ink outside its advance (italics, overhangs).
  static int padFor(int lineHeight);
  int DrawTextImpl(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags);
  int drawNative(LICE_IBitmap* bm, const char* text, int length, RECT* rect, unsigned int flags);
  int measureGlyphs(const char* text, int length, RECT* rect, unsigned int flags);
  charEnt* glyphFor(unsigned short ch); // rendered record or null when the character draws nothing

  LICE_pixel m_fg, m_bg, m_effectcol;
  int m_bgmode;
  int m_comb;
  float m_alpha;
  int m_flags;
  int m_line_height;
  charEnt m_lowchars[128];
  WDL_HeapBuf m_extracharlist{4096};
  WDL_HeapBuf m_cachestore{65536};
  HGDIOBJ m_font;
  int m_renders;
};
