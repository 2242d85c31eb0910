// Text through the GDI emulation and the cached bitmap font, pinned to Debian's font files: metrics and
// widths against FreeType's own figures for the same face and size, the text flags, native and cached
// drawing agreeing pixel for pixel, the glyph cache, UTF-8, the GDI object rules and clipping, and a
// specimen sheet written as a PNG for a person to look at.
#include "raster/lice_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
const char* kSansFile = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
const char* kMonoFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

HGDIOBJ font(const char* face, int size, int weight = FW_NORMAL, int quality = 0)
{
  return CreateFont(size, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, (char)quality, 0, face);
}

// FreeType's own figures for a face file at a pixel size: rounded size metrics and lightly hinted advances.
struct Reference
{
  explicit Reference(const char* file, int size)
  {
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, file, 0, &face);
    FT_Set_Char_Size(face, 0, size * 64, 72, 72);
  }
  ~Reference()
  {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  double ascent() const { return face->size->metrics.ascender / 64.0; }
  double descent() const { return -face->size->metrics.descender / 64.0; }
  double leading() const { return std::max(0.0, face->size->metrics.height / 64.0 - ascent() - descent()); }
  double width(const std::u32string& s) const
  {
    double w = 0;
    for (char32_t c : s) {
      FT_Load_Char(face, c, FT_LOAD_TARGET_LIGHT);
      w += face->glyph->advance.x / 64.0;
    }
    return w;
  }
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
};

// The ink of a bitmap: pixels whose red byte differs from the background's.
struct Ink
{
  int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1, count = 0;
};
Ink inkOf(LICE_IBitmap* bm, LICE_pixel background)
{
  Ink ink;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
      if (LICE_GETR(LICE_GetPixel(bm, x, y)) != LICE_GETR(background)) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

// Draws text with the GDI in white on black into a fresh context and returns its pixels as a copy.
std::vector<LICE_pixel> gdiPixels(HGDIOBJ f, const char* text, int flags, RECT r = {0, 0, 200, 60})
{
  LICE_SysBitmap bm(200, 60);
  HDC dc = bm.getDC();
  SetTextColor(dc, 0xFFFFFF);
  HGDIOBJ old = SelectObject(dc, f);
  SWELL_DrawText(dc, text, -1, &r, flags);
  SelectObject(dc, old);
  std::vector<LICE_pixel> out;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) out.push_back(LICE_GetPixel(&bm, x, y) & 0xFFFFFF00u);
  return out;
}

// The four ways a text reaches a bitmap, in white: through the GDI, and the cached font's glyph and native
// paths, the native one into a bitmap with a drawing context and into one without. Arial 14.
struct TextPaths
{
  struct Path
  {
    const char* name;
    bool withContext; // the bitmap has a drawing context
    std::function<void(LICE_IBitmap*, RECT*, int)> draw;
  };
  explicit TextPaths(const char* text)
  {
    glyphs.SetFromHFont(font("Arial", 14), LICE_FONT_FLAG_OWNS_HFONT);
    native.SetFromHFont(font("Arial", 14), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
    for (LICE_CachedFont* cf : {&glyphs, &native}) cf->SetTextColor(LICE_RGBA(255, 255, 255, 255));
    const auto cached = [text](LICE_CachedFont* cf) {
      return [cf, text](LICE_IBitmap* bm, RECT* r, int flags) { cf->DrawText(bm, text, -1, r, flags); };
    };
    paths = {{"gdi", true,
              [this, text](LICE_IBitmap* bm, RECT* r, int flags) {
                HDC dc = bm->getDC();
                SetTextColor(dc, 0xFFFFFF);
                HGDIOBJ old = SelectObject(dc, gdi);
                SWELL_DrawText(dc, text, -1, r, flags);
                SelectObject(dc, old);
              }},
             {"cached glyphs", false, cached(&glyphs)},
             {"cached native", true, cached(&native)},
             {"cached native, no context", false, cached(&native)}};
  }
  ~TextPaths() { DeleteObject(gdi); }
  // A black bitmap of the path's kind.
  static std::unique_ptr<LICE_IBitmap> bitmap(const Path& path, int w, int h)
  {
    std::unique_ptr<LICE_IBitmap> bm;
    if (path.withContext)
      bm = std::make_unique<LICE_SysBitmap>(w, h);
    else
      bm = std::make_unique<LICE_MemBitmap>(w, h);
    LICE_Clear(bm.get(), 0);
    return bm;
  }
  HGDIOBJ gdi = font("Arial", 14);
  LICE_CachedFont glyphs, native;
  std::vector<Path> paths;
};
} // namespace

TEST(GdiText, MetricsAndWidthsAreTheFacesOwn)
{
  for (int size : {9, 12, 15, 32}) {
    Reference ref(kSansFile, size);
    HGDIOBJ f = font("Arial", size);
    LICE_SysBitmap bm(8, 8);
    HDC dc = bm.getDC();
    SelectObject(dc, f);
    char face[64];
    GetTextFace(dc, sizeof(face), face);
    EXPECT_STREQ("Liberation Sans", face);
    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_EQ((int)ref.ascent(), tm.tmAscent) << size;
    EXPECT_EQ((int)ref.descent(), tm.tmDescent) << size;
    const int h = (int)ref.ascent() + (int)ref.descent() + (int)ref.leading();
    EXPECT_EQ(h + 1, tm.tmHeight) << size;
    RECT r = {5, 7, 5, 7};
    const int height = SWELL_DrawText(dc, "Cutoff 1.25 kHz", -1, &r, DT_CALCRECT);
    EXPECT_EQ(5 + (int)std::floor(ref.width(U"Cutoff 1.25 kHz") + 0.5), r.right) << size;
    EXPECT_EQ((int)std::floor(ref.ascent() + ref.descent() + ref.leading() + 1.5) + 1, height) << size;
    EXPECT_EQ(7 + height, r.bottom);
    SelectObject(dc, (HGDIOBJ)3);
    DeleteObject(f);
  }
  // The editor's monospace face: every character as wide as every other.
  Reference mono(kMonoFile, 10);
  HGDIOBJ m = font("Monaco", 10, FW_BOLD);
  LICE_SysBitmap bm(8, 8);
  SelectObject(bm.getDC(), m);
  RECT a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
  SWELL_DrawText(bm.getDC(), "iiii", -1, &a, DT_CALCRECT);
  SWELL_DrawText(bm.getDC(), "MMMM", -1, &b, DT_CALCRECT);
  EXPECT_EQ(a.right, b.right);
  EXPECT_GT(a.right, 0);
  DeleteObject(m);
}

TEST(GdiText, PrefixesLineBreaksAndAlignment)
{
  HGDIOBJ f = font("Arial", 14);
  EXPECT_EQ(gdiPixels(f, "AB", 0), gdiPixels(f, "A&B", 0));
  EXPECT_EQ(gdiPixels(f, "A&B", DT_NOPREFIX), gdiPixels(f, "A&&B", 0));
  EXPECT_NE(gdiPixels(f, "A&B", DT_NOPREFIX), gdiPixels(f, "AB", 0));
  EXPECT_EQ(gdiPixels(f, "a b", 0), gdiPixels(f, "a\r\nb", DT_SINGLELINE));

  LICE_SysBitmap bm(200, 60);
  HDC dc = bm.getDC();
  SelectObject(dc, f);
  RECT one = {0, 0, 0, 0}, two = {0, 0, 0, 0}, none = {0, 0, 0, 0};
  const int h1 = SWELL_DrawText(dc, "a", -1, &one, DT_CALCRECT);
  const int h2 = SWELL_DrawText(dc, "a\r\nb", -1, &two, DT_CALCRECT);
  EXPECT_EQ(2 * (h1 - 1) + 1, h2); // two line boxes and the one extra pixel
  EXPECT_EQ(0, SWELL_DrawText(dc, "\r\r", -1, &none, DT_CALCRECT));
  EXPECT_EQ(0, SWELL_DrawText(dc, "", -1, &none, 0));

  // Right wins over centre; bottom over vertical centre.
  SetTextColor(dc, 0xFFFFFF);
  RECT box = {20, 5, 180, 55};
  SWELL_DrawText(dc, "Wq", -1, &box, DT_RIGHT | DT_CENTER | DT_BOTTOM | DT_VCENTER);
  const Ink ink = inkOf(&bm, 0);
  EXPECT_GE(ink.right, 176);
  EXPECT_LE(ink.right, 179);
  EXPECT_GE(ink.bottom, 48);
  EXPECT_LE(ink.bottom, 54);
  DeleteObject(f);
}

TEST(CachedFont, NativeAndGlyphDrawingAgreeAndGlyphsAreRenderedOnce)
{
  for (int size : {9, 12, 15}) {
    LICE_CachedFont cf;
    cf.SetFromHFont(font("Arial", size), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
    cf.SetTextColor(LICE_RGBA(255, 255, 255, 255));
    const char* text = "Filter (Ladder) 1.25 kHz -12 dB";
    LICE_SysBitmap native(260, 40), glyphs(260, 40);
    LICE_Clear(&native, LICE_RGBA(20, 30, 40, 255));
    LICE_Clear(&glyphs, LICE_RGBA(20, 30, 40, 255));
    RECT r = {3, 4, 250, 36};
    cf.DrawText(&native, text, -1, &r, DT_SINGLELINE);
    EXPECT_EQ(0, cf.renderCount()) << "the native path caches nothing";
    cf.DrawText(&glyphs, text, -1, &r, DT_SINGLELINE | LICE_DT_NEEDALPHA);
    const int rendered = cf.renderCount();
    EXPECT_GT(rendered, 10);
    int worst = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 260; ++x) {
        const LICE_pixel a = LICE_GetPixel(&native, x, y), b = LICE_GetPixel(&glyphs, x, y);
        worst = std::max({worst, std::abs((int)LICE_GETR(a) - (int)LICE_GETR(b)),
                          std::abs((int)LICE_GETB(a) - (int)LICE_GETB(b))});
      }
    EXPECT_LE(worst, 2) << "size " << size;
    EXPECT_GT(inkOf(&glyphs, LICE_RGBA(20, 30, 40, 255)).count, 100);
    cf.DrawText(&glyphs, text, -1, &r, DT_SINGLELINE | LICE_DT_NEEDALPHA);
    EXPECT_EQ(rendered, cf.renderCount()) << "a second draw renders nothing new";

    // Measuring on the glyph path agrees with the native measure.
    RECT mn = {0, 0, 0, 0}, mg = {0, 0, 0, 0};
    cf.DrawText(nullptr, text, -1, &mn, DT_CALCRECT | DT_SINGLELINE);
    cf.DrawText(nullptr, text, -1, &mg, DT_CALCRECT | DT_SINGLELINE | LICE_DT_NEEDALPHA);
    EXPECT_NEAR(mn.right, mg.right, 2);
  }
}

TEST(CachedFont, Utf8TranslucentTextAndLineFeeds)
{
  LICE_CachedFont cf;
  cf.SetFromHFont(font("Arial", 14), LICE_FONT_FLAG_OWNS_HFONT);
  LICE_MemBitmap bm(120, 60);
  RECT m1 = {0, 0, 0, 0}, m2 = {0, 0, 0, 0}, m3 = {0, 0, 0, 0}, m4 = {0, 0, 0, 0};
  cf.DrawText(nullptr, "\xC3\xA9t\xC3\xA9", -1, &m1, DT_CALCRECT); // "été"
  cf.DrawText(nullptr, "e", -1, &m2, DT_CALCRECT);
  cf.DrawText(nullptr, "x\xF0\x9F\x98\x80y", -1, &m3, DT_CALCRECT); // a 4-byte character counts as a space
  cf.DrawText(nullptr, "x y", -1, &m4, DT_CALCRECT);
  EXPECT_GT(m1.right, 2 * m2.right);
  EXPECT_EQ(m4.right, m3.right);
  const LICE_CachedFont::charEnt* e = cf.findChar(0xE9);
  ASSERT_NE(nullptr, e);
  EXPECT_GT(e->base_offset, 0);

  // Translucent text: drawn at the colour's own alpha, and nothing at alpha 0.
  LICE_Clear(&bm, LICE_RGBA(0, 0, 0, 255));
  cf.SetTextColor(LICE_RGBA(255, 255, 255, 0));
  RECT r = {0, 0, 120, 60};
  EXPECT_EQ(0, cf.DrawText(&bm, "\xC3\xA9t\xC3\xA9", -1, &r, LICE_DT_USEFGALPHA));
  EXPECT_EQ(0, inkOf(&bm, LICE_RGBA(0, 0, 0, 255)).count);
  cf.SetTextColor(LICE_RGBA(255, 255, 255, 128));
  cf.DrawText(&bm, "\xC3\xA9t\xC3\xA9\nl", -1, &r, LICE_DT_USEFGALPHA);
  int brightest = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) brightest = std::max(brightest, (int)LICE_GETR(LICE_GetPixel(&bm, x, y)));
  EXPECT_GE(brightest, 120);
  EXPECT_LE(brightest, 130);
  // The second line starts exactly one line height lower.
  const Ink ink = inkOf(&bm, LICE_RGBA(0, 0, 0, 255));
  EXPECT_GE(ink.bottom, cf.GetLineHeight());
  EXPECT_LT(ink.bottom, 2 * cf.GetLineHeight());
}

// A positive length is the end of what may be read: a lead byte at its end is decoded no further, on both
// paths, even when the next byte lies on a page that cannot be read.
TEST(CachedFont, ALengthEndsEveryReadBeforeAnUnreadablePage)
{
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  void* mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(MAP_FAILED, mem);
  char* guard = static_cast<char*>(mem) + page;
  ASSERT_EQ(0, mprotect(guard, page, PROT_NONE));
  LICE_CachedFont cf;
  cf.SetFromHFont(font("Arial", 14), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  cf.SetTextColor(LICE_RGBA(255, 255, 255, 255));
  LICE_SysBitmap bm(80, 30);
  // Lead bytes of two-, three- and four-byte characters, cut by the length at the page's end.
  for (const std::string bytes : {"\xC3", "x\xE2\x82", "\xF0\x9F\x98"}) {
    char* text = guard - bytes.size();
    std::memcpy(text, bytes.data(), bytes.size());
    for (unsigned flags : {0u, LICE_DT_NEEDALPHA, (unsigned)DT_CALCRECT | LICE_DT_NEEDALPHA, (unsigned)DT_CALCRECT}) {
      RECT r = {0, 0, 80, 30};
      cf.DrawText(&bm, text, (int)bytes.size(), &r, flags | DT_SINGLELINE);
    }
  }
  munmap(mem, 2 * page);
}

// Every alignment flag alone and with the others, on every path. The text's ink sits at the rectangle's left
// and top, or at its right and bottom; centred, half way between (to a pixel of rounding). Right wins over
// centre and bottom over vertical centre.
TEST(TextAlignment, EachFlagAloneAndCombinedOnEveryPath)
{
  TextPaths t("Wq");
  const RECT box = {20, 5, 180, 55};
  for (const TextPaths::Path& path : t.paths) {
    SCOPED_TRACE(path.name);
    auto inkWith = [&](int flags) {
      std::unique_ptr<LICE_IBitmap> bm = TextPaths::bitmap(path, 200, 60);
      RECT r = box;
      path.draw(bm.get(), &r, flags | DT_SINGLELINE);
      return inkOf(bm.get(), 0);
    };
    const Ink near = inkWith(0), far = inkWith(DT_RIGHT | DT_BOTTOM);
    ASSERT_GT(near.count, 0);
    EXPECT_GE(near.left, box.left);
    EXPECT_LE(near.left, box.left + 2);
    EXPECT_GE(near.top, box.top);
    EXPECT_LE(near.top, box.top + 6);
    EXPECT_GE(far.right, box.right - 4);
    EXPECT_LT(far.right, box.right);
    EXPECT_GE(far.bottom, box.bottom - 7);
    EXPECT_LT(far.bottom, box.bottom);
    // Per flag set, where the ink starts: 0 near, 1 centred, 2 far.
    for (int h : {0, (int)DT_CENTER, (int)DT_RIGHT, DT_RIGHT | DT_CENTER})
      for (int v : {0, (int)DT_VCENTER, (int)DT_BOTTOM, DT_BOTTOM | DT_VCENTER}) {
        const Ink ink = inkWith(h | v);
        const int x = (h & DT_RIGHT) ? 2 : (h & DT_CENTER) ? 1 : 0, y = (v & DT_BOTTOM) ? 2 : (v & DT_VCENTER) ? 1 : 0;
        EXPECT_NEAR(near.left + x * (far.left - near.left) / 2.0, ink.left, 1) << "flags " << (h | v);
        EXPECT_NEAR(near.top + y * (far.top - near.top) / 2.0, ink.top, 1) << "flags " << (h | v);
        EXPECT_EQ(near.count, ink.count) << "flags " << (h | v);
      }
  }
}

TEST(CachedFont, ManyCharactersKeepTheirRecordsAndEffectsStayInTheirValues)
{
  // Characters rendered in falling order make the table grow and re-sort under every new record.
  LICE_CachedFont cf;
  cf.SetFromHFont(font("Arial", 11), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FX_OUTLINE);
  for (unsigned short ch = 0x17F; ch >= 0xA0; --ch) ASSERT_TRUE(cf.RenderGlyph(ch));
  for (unsigned short ch = 0xA0; ch <= 0x17F; ++ch) {
    const LICE_CachedFont::charEnt* e = cf.findChar(ch);
    ASSERT_NE(nullptr, e) << ch;
    EXPECT_EQ(ch, e->charid);
    if (e->base_offset <= 0) continue;
    const unsigned char* c = cf.coverage(e);
    ASSERT_NE(nullptr, c);
    for (int i = 0; i < e->width * e->height; ++i) ASSERT_TRUE(c[i] == 0 || c[i] == 128 || c[i] == 255) << ch;
  }
  // Italic glyphs reach outside their advance: boxes grow, bearings stay non-negative.
  LICE_CachedFont it;
  it.SetFromHFont(CreateFont(20, 0, 0, 0, FW_NORMAL, 1, 0, 0, 0, 0, 0, 0, 0, "Arial"), LICE_FONT_FLAG_OWNS_HFONT);
  for (unsigned short ch : {'f', 'j', 'W', '/'}) {
    ASSERT_TRUE(it.RenderGlyph(ch));
    const LICE_CachedFont::charEnt* e = it.findChar(ch);
    EXPECT_GE(e->left_extra, 0);
    EXPECT_GE(e->width, 1);
  }
  // A character that draws nothing with precalculated fonts: no record, no advance.
  LICE_CachedFont pre;
  pre.SetFromHFont(font("Arial", 12), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_PRECALCALL);
  EXPECT_EQ(128, pre.renderCount());
  RECT m = {0, 0, 0, 0};
  pre.DrawText(nullptr, "\xC3\xA9", -1, &m, DT_CALCRECT);
  EXPECT_EQ(0, m.right);
}

TEST(GdiObjects, SelectionDeletionAndClipping)
{
  LICE_SysBitmap bm(40, 40);
  HDC dc = bm.getDC();
  HGDIOBJ f = font("Arial", 12);
  EXPECT_EQ((HGDIOBJ)3, SelectObject(dc, f));
  EXPECT_EQ(f, SelectObject(dc, (HGDIOBJ)3));
  HGDIOBJ brush = CreateSolidBrush(0xFF0000);
  SWELL_CloneGDIObject(brush);
  DeleteObject(brush); // the clone's reference
  SelectObject(dc, brush);
  Rectangle(dc, 2, 2, 10, 10);
  EXPECT_EQ(LICE_RGBA(255, 0, 0, 255) & 0xFFFFFF00u, LICE_GetPixel(&bm, 5, 5) & 0xFFFFFF00u);
  SelectObject(dc, (HGDIOBJ)2);
  DeleteObject(brush);

  // Two disjoint clips leave nothing drawable until the pop.
  HGDIOBJ green = CreateSolidBrush(0x00FF00);
  SWELL_PushClipRegion(dc);
  const RECT a = {0, 0, 10, 10}, b = {20, 20, 30, 30}, all = {0, 0, 40, 40};
  SWELL_SetClipRegion(dc, &a);
  SWELL_SetClipRegion(dc, &b);
  SWELL_FillRect(dc, &all, green);
  EXPECT_EQ(LICE_RGBA(255, 0, 0, 255) & 0xFFFFFF00u, LICE_GetPixel(&bm, 5, 5) & 0xFFFFFF00u);
  EXPECT_EQ(0u, LICE_GetPixel(&bm, 25, 25) & 0xFFFFFF00u);
  SWELL_PopClipRegion(dc);
  SWELL_FillRect(dc, &all, green);
  EXPECT_EQ(LICE_RGBA(0, 255, 0, 255) & 0xFFFFFF00u, LICE_GetPixel(&bm, 25, 25) & 0xFFFFFF00u);
  SWELL_FillRect(dc, &all, GetStockObject(NULL_BRUSH)); // draws nothing
  EXPECT_EQ(LICE_RGBA(0, 255, 0, 255) & 0xFFFFFF00u, LICE_GetPixel(&bm, 25, 25) & 0xFFFFFF00u);
  DeleteObject(green);
  DeleteObject(f);

  HDC ctx = SWELL_CreateMemContext(nullptr, 3, 2);
  SWELL_DeleteGfxContext(ctx);
  SWELL_DeleteGfxContext(ctx); // pooled: ignored
  EXPECT_EQ(nullptr, SWELL_CreateMemContext(nullptr, 65536, 65536));
}

TEST(TextClipping, NoClipDrawsPastTheRectangleAndOnlyThat)
{
  // A line wider and taller than its rectangle, through the GDI and the cached font's paths: glyphs, and
  // native text into a bitmap with a drawing context and into one without.
  const RECT box = {50, 10, 80, 16};
  TextPaths t("WWWWWWWW");
  for (const TextPaths::Path& path : t.paths) {
    SCOPED_TRACE(path.name);
    std::unique_ptr<LICE_IBitmap> clipped = TextPaths::bitmap(path, 200, 40), free = TextPaths::bitmap(path, 200, 40);
    RECT r1 = box, r2 = box;
    path.draw(clipped.get(), &r1, DT_SINGLELINE);
    path.draw(free.get(), &r2, DT_SINGLELINE | DT_NOCLIP);
    const Ink in = inkOf(clipped.get(), 0), out = inkOf(free.get(), 0);
    ASSERT_GT(in.count, 0);
    EXPECT_GE(in.left, box.left);
    EXPECT_LT(in.right, box.right);
    EXPECT_GE(in.top, box.top);
    EXPECT_LT(in.bottom, box.bottom);
    EXPECT_GT(out.right, box.right + 40); // eight W run far past the 30 pixels
    EXPECT_GE(out.bottom, box.bottom);
    // Inside the rectangle both draw the same.
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x)
        ASSERT_EQ(LICE_GetPixel(clipped.get(), x, y), LICE_GetPixel(free.get(), x, y)) << x << "," << y;
  }
}

TEST(CachedFont, SpecimenSheet)
{
  const char* faces[] = {"Arial", "Helvetica", "Monaco"};
  LICE_SysBitmap sheet(760, 520);
  LICE_Clear(&sheet, LICE_RGBA(32, 34, 40, 255));
  LICE_FillRect(&sheet, 380, 0, 380, 520, LICE_RGBA(200, 190, 170, 255));
  int y = 6;
  for (const char* face : faces)
    for (int size = 9; size <= 15; ++size) {
      LICE_CachedFont cf;
      cf.SetFromHFont(font(face, size), LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
      char line[96];
      std::snprintf(line, sizeof(line), "%s %d: Cutoff 1.25 kHz, R\xC3\xA9sonance 70%%", face, size);
      cf.SetTextColor(LICE_RGBA(235, 235, 225, 255));
      RECT r = {8, y, 376, y + 30};
      cf.DrawText(&sheet, line, -1, &r, 0);
      // The combine modes on the light half, through the glyph path.
      const int modes[] = {LICE_BLIT_MODE_COPY, LICE_BLIT_MODE_ADD, LICE_BLIT_MODE_MUL, LICE_BLIT_MODE_OVERLAY};
      int x = 388;
      for (int mode : modes) {
        cf.SetTextColor(LICE_RGBA(150, 40, 30, 200));
        cf.SetCombineMode(mode, 1.0f);
        RECT m = {x, y, x + 92, y + 30};
        cf.DrawText(&sheet, "Osc-1 Saw", -1, &m, LICE_DT_USEFGALPHA);
        x += 92;
      }
      y += cf.GetLineHeight() + 6;
    }
  const std::string dir = std::string(VELTRANE_BINARY_DIR) + "/test-output";
  mkdir(dir.c_str(), 0755);
  EXPECT_TRUE(LICE_WritePNG((dir + "/text_specimen.png").c_str(), &sheet));
  EXPECT_LT(y, 520);
}
