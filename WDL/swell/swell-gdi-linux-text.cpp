// GDI emulation on Linux: font objects resolved through fontconfig and rasterised with FreeType, the
// process-wide cache of resolved names, text metrics and SWELL_DrawText.
//
// Glyphs are loaded with light hinting (vertical only, so shapes stay true) and their advances are whole
// pixels, so a string measures the sum of its characters' widths and text drawn glyph by glyph (the
// raster library's cached font) lands where whole strings drawn here land.
#include "swell-gdi-internal.h"

#include "assocarray.h"
#include "mutex.h"
#include "utf8.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// A font object's face, and the glyphs it has rasterised so far: the editor redraws the same labels at
// 25 Hz, and FreeType's loading and hinting costs far more than compositing a stored coverage map.
struct SwellFont
{
  struct Glyph
  {
    double advance; // pixels
    int left, top;  // bitmap origin relative to the pen on the baseline
    int width, height;
    std::vector<unsigned char> coverage; // 0..255, row by row
  };
  static constexpr size_t kMaxCachedGlyphs = 1024;

  FT_Face face;
  float size; // pixels per em
  std::unordered_map<unsigned, Glyph> glyphs[2]; // [0] antialiased, [1] monochrome
};

namespace {

// Face names the editor asks for, and the installed faces that stand for them.
struct Alias
{
  const char* name;
  const char* family;
};
const Alias kAliases[] = {{"Arial", "Liberation Sans"}, {"Helvetica", "Liberation Sans"}, {"Monaco", "DejaVu Sans Mono"}};
const char* kDefaultFamily = "Liberation Sans";
constexpr float kDefaultSize = 10.0f;

// The font engine: the FreeType library and a fontconfig configuration of our own (a host may use
// fontconfig's default configuration itself, so it is neither made nor finished here), both made on first
// use. When the library is unloaded they are released together with the resolved names and the default font,
// so that loading and unloading the plug-in again and again grows nothing; font objects still held by
// other static caches (destroyed at unloading in no set order) release them when the last face goes.
struct Engine
{
  FT_Library library = nullptr;
  FcConfig* config = nullptr;
  SwellFont* defaultFont = nullptr;
  bool defaultTried = false;
  int faces = 0;        // open faces, the default font's included
  bool closing = false; // the library is being unloaded
};
Engine s_engine;

// One lock for the engine (faces are made and freed under it). It lives in this library's own storage and
// is never destroyed: the static caches that free font objects at unloading may run after everything else.
WDL_Mutex& engineMutex()
{
  static WDL_LastingMutex m;
  return m.Get();
}

// Under engineMutex.
FT_Library library()
{
  if (!s_engine.library && FT_Init_FreeType(&s_engine.library)) s_engine.library = nullptr;
  return s_engine.library;
}

// Under engineMutex. The fontconfig library is kept loaded from its first use to the end of the process:
// it keeps process-wide defaults of its own (languages, program name, cache registry) that only finishing
// its default configuration frees, which a host using it must be left to do; unloaded with the plug-in, it
// would lose and make them anew at every load.
FcConfig* fontConfig()
{
  if (s_engine.config) return s_engine.config;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&FcInitLoadConfigAndFonts), &info) && info.dli_fname)
    if (void* self = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(self);
  s_engine.config = FcInitLoadConfigAndFonts();
  return s_engine.config;
}

// Under engineMutex: once unloading has begun and no face is open, the library and the configuration go.
void releaseEngineWhenUnused()
{
  if (!s_engine.closing || s_engine.faces > 0) return;
  if (s_engine.library) FT_Done_FreeType(s_engine.library);
  if (s_engine.config) FcConfigDestroy(s_engine.config);
  s_engine.library = nullptr;
  s_engine.config = nullptr;
}

void closeFace(FT_Face face)
{
  WDL_MutexLock lock(&engineMutex());
  FT_Done_Face(face);
  --s_engine.faces;
  releaseEngineWhenUnused();
}

// Resolved look-ups: key (face name, " Bold", " Italic") -> "path\nindex". Values are malloc'd strings.
WDL_Mutex s_fontnamecache_mutex;
WDL_StringKeyedArray<char*> s_fontnamecache(true, [](char* v) { std::free(v); });

std::string resolveWithFontconfig(const char* name, bool bold, bool italic)
{
  const char* family = name;
  for (const Alias& a : kAliases)
    if (!strcasecmp(a.name, name)) family = a.family;
  WDL_MutexLock lock(&engineMutex());
  FcConfig* config = fontConfig();
  if (!config) return std::string();
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::string();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(*family ? family : kDefaultFamily));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  std::string out;
  FcChar8* file = nullptr;
  int index = 0;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    out = std::string(reinterpret_cast<const char*>(file)) + "\n" + std::to_string(index);
  }
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return out;
}

// The file and face index for a key, from the cache or fontconfig (one look-up per key).
std::string lookUp(const std::string& key, const char* face, bool bold, bool italic)
{
  if (!key.empty()) {
    WDL_MutexLock lock(&s_fontnamecache_mutex);
    if (char* hit = s_fontnamecache.Get(key.c_str())) return hit;
  }
  const std::string found = resolveWithFontconfig(face, bold, italic);
  if (!key.empty() && !found.empty()) {
    WDL_MutexLock lock(&s_fontnamecache_mutex);
    s_fontnamecache.Insert(key.c_str(), strdup(found.c_str()));
  }
  return found;
}

SwellFont* openFont(const std::string& location, float size)
{
  if (location.empty()) return nullptr;
  const size_t nl = location.rfind('\n');
  const std::string path = location.substr(0, nl);
  const long index = nl == std::string::npos ? 0 : std::atol(location.c_str() + nl + 1);
  FT_Face face = nullptr;
  {
    WDL_MutexLock lock(&engineMutex());
    if (!library() || FT_New_Face(library(), path.c_str(), index, &face)) return nullptr;
    ++s_engine.faces;
  }
  if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(size * 64.0f), 72, 72)) {
    closeFace(face);
    return nullptr;
  }
  return new SwellFont{face, size, {}};
}

SwellFont* defaultFont()
{
  {
    WDL_MutexLock lock(&engineMutex());
    if (s_engine.defaultTried) return s_engine.defaultFont;
  }
  SwellFont* font = openFont(lookUp(kDefaultFamily, kDefaultFamily, false, false), kDefaultSize);
  WDL_MutexLock lock(&engineMutex());
  if (s_engine.defaultTried) { // another thread got there first
    if (font) swell::freeFont(font);
    return s_engine.defaultFont;
  }
  s_engine.defaultTried = true;
  s_engine.defaultFont = font;
  return font;
}

// Runs when the library is unloaded (or the process ends).
struct EngineCloser
{
  ~EngineCloser()
  {
    WDL_MutexLock lock(&engineMutex());
    s_engine.closing = true;
    if (SwellFont* font = std::exchange(s_engine.defaultFont, nullptr)) swell::freeFont(font);
    s_engine.defaultTried = false;
    releaseEngineWhenUnused();
  }
} s_engineCloser;

// The font text operations use: the context's live font object's face, else the default font.
SwellFont* contextFont(HDC ctx, HGDIOBJ* fontObj = nullptr)
{
  HGDIOBJ obj = ctx->curfont;
  if (swell::isLiveObject(obj, swell::kFont) && obj->font) {
    if (fontObj) *fontObj = obj;
    return obj->font;
  }
  if (fontObj) *fontObj = nullptr;
  return defaultFont();
}

struct LineMetrics
{
  double ascent, descent, leading;
};

LineMetrics metricsOf(const SwellFont* f)
{
  const FT_Size_Metrics& m = f->face->size->metrics;
  const double ascent = m.ascender / 64.0, descent = -m.descender / 64.0;
  double leading = m.height / 64.0 - ascent - descent;
  if (leading < 0.0) leading = 0.0;
  return {ascent, descent, leading};
}

FT_Int32 loadFlags(bool mono)
{
  return mono ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_LIGHT;
}

// The rasterised glyph of a character, from the font's store or FreeType. Null when FreeType has no
// glyph for it (it then draws nothing and moves the pen by nothing).
const SwellFont::Glyph* glyphOf(SwellFont* f, unsigned ch, bool mono)
{
  auto& store = f->glyphs[mono ? 1 : 0];
  auto hit = store.find(ch);
  if (hit != store.end()) return &hit->second;
  if (FT_Load_Char(f->face, ch, loadFlags(mono) | FT_LOAD_RENDER)) return nullptr;
  const FT_GlyphSlot g = f->face->glyph;
  const FT_Bitmap& bm = g->bitmap;
  SwellFont::Glyph glyph{g->advance.x / 64.0, g->bitmap_left, g->bitmap_top, (int)bm.width, (int)bm.rows, {}};
  glyph.coverage.assign((size_t)glyph.width * glyph.height, 0);
  for (int row = 0; row < glyph.height; ++row) {
    const unsigned char* src = bm.buffer + (ptrdiff_t)row * bm.pitch;
    unsigned char* dst = glyph.coverage.data() + (size_t)row * glyph.width;
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (int col = 0; col < glyph.width; ++col) dst[col] = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
    } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      const int levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
      for (int col = 0; col < glyph.width; ++col) dst[col] = (unsigned char)(src[col] * 255 / levels);
    }
  }
  if (store.size() >= SwellFont::kMaxCachedGlyphs) store.clear();
  return &store.emplace(ch, std::move(glyph)).first->second;
}

double lineWidth(SwellFont* f, const std::vector<unsigned>& line, bool mono)
{
  double w = 0.0;
  for (unsigned ch : line)
    if (const SwellFont::Glyph* g = glyphOf(f, ch, mono)) w += g->advance;
  return w;
}

// Draws a line with its pen starting at (x, baseline) in context coordinates into the view.
void drawLine(SwellFont* f, const std::vector<unsigned>& line, double x, int baseline, bool mono, LICE_pixel colour,
              swell::ClipView* view)
{
  for (unsigned ch : line) {
    const SwellFont::Glyph* g = glyphOf(f, ch, mono);
    if (!g) continue;
    if (g->width > 0 && g->height > 0) {
      const int gx = (int)std::floor(x) + g->left - view->x0;
      const int gy = baseline - g->top - view->y0;
      LICE_DrawGlyphEx(view, gx, gy, colour, g->coverage.data(), g->width, g->width, g->height, 1.0f,
                       LICE_BLIT_MODE_COPY);
    }
    x += g->advance;
  }
}

} // namespace

namespace swell {
void freeFont(SwellFont* font)
{
  if (!font) return;
  closeFace(font->face);
  delete font;
}
} // namespace swell

HGDIOBJ CreateFont(int height, int width, int, int, int weight, char italic, char, char, char, char, char,
                   char quality, char, const char* face)
{
  HGDIOBJ obj = swell::newObject(swell::kFont);
  if (!obj) return nullptr;
  float size = (float)std::abs(height ? height : width);
  if (size < 2.0f || size > 8192.0f) size = kDefaultSize;
  const bool bold = weight >= FW_BOLD, slanted = italic != 0;
  std::string name = face ? std::string(face, strnlen(face, 899)) : std::string();
  std::string key = name;
  if (bold) key += " Bold";
  if (slanted) key += " Italic";
  SwellFont* font = openFont(lookUp(key, name.c_str(), bold, slanted), size);
  if (!font) font = openFont(lookUp(kDefaultFamily, kDefaultFamily, false, false), size);
  obj->font = font;
  obj->fontquality = quality == NONANTIALIASED_QUALITY ? 3 : quality == ANTIALIASED_QUALITY ? 4 : 0;
  return obj;
}

HGDIOBJ CreateFontIndirect(const LOGFONT* lf)
{
  if (!lf) return nullptr;
  char face[sizeof(lf->lfFaceName) + 1] = {};
  std::memcpy(face, lf->lfFaceName, sizeof(lf->lfFaceName));
  return CreateFont(lf->lfHeight, lf->lfWidth, 0, lf->lfOrientation, lf->lfWeight, lf->lfItalic, 0, 0, 0, 0, 0,
                    lf->lfQuality, 0, face);
}

bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm)
{
  if (!tm) return false;
  *tm = TEXTMETRIC{16, 12, 4, 3, 10};
  if (!swell::isLive(ctx)) return false;
  SwellFont* f = contextFont(ctx);
  if (!f) return true;
  const LineMetrics m = metricsOf(f);
  tm->tmAscent = (int)m.ascent;
  tm->tmDescent = (int)m.descent;
  tm->tmInternalLeading = (int)m.leading;
  const int h = tm->tmAscent + tm->tmDescent + tm->tmInternalLeading;
  tm->tmAveCharWidth = h * 2 / 3;
  tm->tmHeight = h ? h + 1 : 0;
  return true;
}

int GetTextFace(HDC ctx, int size, char* out)
{
  if (!swell::isLive(ctx) || !out || size < 1) return 0;
  SwellFont* f = contextFont(ctx);
  const char* name = f && f->face->family_name ? f->face->family_name : "";
  const int n = (int)strnlen(name, (size_t)size - 1);
  std::memcpy(out, name, n);
  out[n] = 0;
  return n;
}

int AddFontResourceEx(const char* path, int, void*)
{
  if (!path) return 0;
  WDL_MutexLock lock(&engineMutex());
  FcConfig* config = fontConfig();
  return config && FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path)) ? 1 : 0;
}

int SWELL_DrawText(HDC ctx, const char* text, int length, RECT* rect, int flags)
{
  if (!swell::isLive(ctx) || !text || !rect) return 0;

  // The working text: at most 4095 bytes, '&' prefixes and carriage returns taken out.
  char buf[4096];
  int n = 0;
  for (int i = 0; (length < 0 || i < length) && text[i] && n < 4095; ++i) {
    char c = text[i];
    if (c == '&' && !(flags & DT_NOPREFIX)) {
      ++i;
      if ((length >= 0 && i >= length) || !text[i]) break;
      c = text[i];
    }
    if (c == '\r') continue;
    if (c == '\n' && (flags & DT_SINGLELINE)) c = ' ';
    buf[n++] = c;
  }
  if (!n) return 0;

  HGDIOBJ fontObj = nullptr;
  SwellFont* f = contextFont(ctx, &fontObj);
  if (!f) return 0;
  const bool mono = fontObj && fontObj->fontquality == 3;

  std::vector<std::vector<unsigned>> lines(1);
  const unsigned char* u = reinterpret_cast<const unsigned char*>(buf);
  for (size_t i = 0; i < (size_t)n;) {
    unsigned ch;
    i += (size_t)WDL_DecodeUTF8(u + i, (size_t)n - i, &ch);
    if (ch == '\n')
      lines.emplace_back();
    else
      lines.back().push_back(ch);
  }

  const LineMetrics m = metricsOf(f);
  const double lineBox = m.ascent + m.descent + m.leading;
  std::vector<double> widths;
  int W = 0, H = 0;
  for (const auto& line : lines) {
    widths.push_back(lineWidth(f, line, mono));
    W = std::max(W, (int)std::floor(widths.back() + 0.5));
    H += (int)std::floor(lineBox + 1.5);
  }
  if (H) ++H;

  if (flags & DT_CALCRECT) {
    rect->right = rect->left + W;
    rect->bottom = rect->top + H;
    return H;
  }

  int x = rect->left, y = rect->top;
  if (flags & DT_RIGHT)
    x = rect->right - W;
  else if (flags & DT_CENTER)
    x = rect->left + (rect->right - rect->left) / 2 - W / 2;
  if (flags & DT_BOTTOM)
    y = rect->bottom - H;
  else if (flags & DT_VCENTER)
    y = rect->top + (rect->bottom - rect->top) / 2 - H / 2;

  swell::ClipView view;
  if (!swell::makeView(ctx, (flags & DT_NOCLIP) ? nullptr : rect, &view)) return H;
  const LICE_pixel colour = swell::toPixel(ctx->curtextcol);
  const LICE_pixel background = swell::toPixel(ctx->curbkcol);
  const bool opaque = ctx->curbkmode == OPAQUE;
  if (lines.size() == 1) {
    if (opaque) LICE_FillRect(&view, x - view.x0, y - view.y0, W, H, background, 1.0f, LICE_BLIT_MODE_COPY);
    drawLine(f, lines[0], x, y + (int)std::lround(m.ascent), mono, colour, &view);
  } else {
    double ly = y;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (opaque)
        LICE_FillRect(&view, x - view.x0, (int)ly - view.y0, (int)std::floor(widths[i] + 0.5), (int)std::ceil(lineBox),
                      background, 1.0f, LICE_BLIT_MODE_COPY);
      drawLine(f, lines[i], x, (int)ly + (int)std::lround(m.ascent), mono, colour, &view);
      ly += std::floor(lineBox + 0.5);
    }
  }
  return H;
}
