// The surface's drawing operations (into its draw bitmap, through the raster library) and the two
// process-wide caches behind images and text: images are loaded once per process and shared by every
// instance, fonts made once per face, size, style and orientation.
#include "IGraphics.h"

#include "IPlugBase.h"
#include "raster/lice_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The pixels of a rectangle of another (unflipped) bitmap as a bitmap of their own: what is drawn into it
// lands in the parent and stays inside the rectangle.
class WindowBitmap : public LICE_IBitmap
{
public:
  WindowBitmap(LICE_IBitmap* parent, const IRECT& r) : mParent(parent), mArea(r) {}
  LICE_pixel* getBits() override
  {
    LICE_pixel* bits = mParent->getBits();
    return bits ? bits + (size_t)mArea.T * mParent->getRowSpan() + mArea.L : nullptr;
  }
  int getWidth() override { return mArea.W(); }
  int getHeight() override { return mArea.H(); }
  int getRowSpan() override { return mParent->getRowSpan(); }
  bool resize(int, int) override { return false; }

private:
  LICE_IBitmap* mParent;
  IRECT mArea;
};

struct BitmapRecord
{
  int id;
  LICE_IBitmap* bitmap;
};

// The bitmap cache. Images that could not be loaded get one placeholder each (and one message), keyed by
// their name, so a missing file is reported once and never leaves a null image behind.
class BitmapStorage
{
public:
  ~BitmapStorage()
  {
    for (int i = 0; i < mBitmaps.GetSize(); ++i) delete mBitmaps.Get(i)->bitmap;
    mBitmaps.Empty(true);
    for (int i = 0; i < mMissing.GetSize(); ++i) delete mMissing.Get(i)->bitmap;
    mMissing.Empty(true);
    mMissingNames.Empty(true);
  }
  LICE_IBitmap* Find(int id)
  {
    WDL_MutexLock lock(&mMutex);
    for (int i = 0; i < mBitmaps.GetSize(); ++i) {
      BitmapRecord* r = mBitmaps.Get(i);
      if (r->id == id) return r->bitmap;
    }
    return nullptr;
  }
  void Add(LICE_IBitmap* bitmap, int id = -1)
  {
    WDL_MutexLock lock(&mMutex);
    mBitmaps.Add(new BitmapRecord{id, bitmap});
  }
  void Remove(LICE_IBitmap* bitmap)
  {
    WDL_MutexLock lock(&mMutex);
    for (int i = 0; i < mBitmaps.GetSize(); ++i)
      if (mBitmaps.Get(i)->bitmap == bitmap) {
        delete bitmap;
        mBitmaps.Delete(i, true);
        return;
      }
  }
  // The placeholder of a name that could not be loaded: a small magenta and black check, made once.
  LICE_IBitmap* Placeholder(const char* name)
  {
    WDL_MutexLock lock(&mMutex);
    const std::string key = name ? name : "";
    for (int i = 0; i < mMissingNames.GetSize(); ++i)
      if (key == mMissingNames.Get(i)->Get()) return mMissing.Get(i)->bitmap;
    std::fprintf(stderr, "Veltrane: cannot load the image \"%s\"\n", key.c_str());
    LICE_MemBitmap* bm = new LICE_MemBitmap(16, 16);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        LICE_SetPixel(bm, x, y, ((x / 4 + y / 4) & 1) ? LICE_RGBA(255, 0, 255, 255) : LICE_RGBA(0, 0, 0, 255));
    mMissing.Add(new BitmapRecord{-1, bm});
    mMissingNames.Add(new WDL_String(key.c_str()));
    return bm;
  }

private:
  WDL_Mutex mMutex;
  WDL_PtrList<BitmapRecord> mBitmaps;
  WDL_PtrList<BitmapRecord> mMissing;
  WDL_PtrList<WDL_String> mMissingNames;
};

struct FontRecord
{
  int size, orientation, style;
  char face[32];
  LICE_IFont* font;
};

class FontStorage
{
public:
  ~FontStorage()
  {
    for (int i = 0; i < mFonts.GetSize(); ++i) delete mFonts.Get(i)->font;
    mFonts.Empty(true);
  }
  LICE_IFont* Find(const IText* t)
  {
    WDL_MutexLock lock(&mMutex);
    for (int i = 0; i < mFonts.GetSize(); ++i) {
      FontRecord* r = mFonts.Get(i);
      if (r->size == t->mSize && r->orientation == t->mOrientation && r->style == t->mStyle &&
          !std::strncmp(r->face, t->mFont, sizeof(r->face)))
        return r->font;
    }
    return nullptr;
  }
  void Add(const IText* t, LICE_IFont* font)
  {
    FontRecord* r = new FontRecord{t->mSize, t->mOrientation, t->mStyle, {}, font};
    std::snprintf(r->face, sizeof(r->face), "%.*s", (int)sizeof(r->face) - 1, t->mFont);
    WDL_MutexLock lock(&mMutex);
    mFonts.Add(r);
  }

private:
  WDL_Mutex mMutex;
  WDL_PtrList<FontRecord> mFonts;
};

BitmapStorage s_bitmapCache;
FontStorage s_fontCache;

// Text drawing of every surface of the process, one at a time. The cached fonts are shared by all
// instances, and drawing with one sets its colour, fills its glyph store and renders new glyphs through
// one temporary bitmap and the font engine's faces, none of which may be used from two threads at once: a
// host may drive two instances' editors from two threads. It lives in this library's own storage and is
// never destroyed: the font cache may be freed after it at unloading or exit, in no set order.
WDL_Mutex& textMutex()
{
  static WDL_LastingMutex m;
  return m.Get();
}

HGDIOBJ requestFont(const IText* t, int height)
{
  static const char kQuality[4] = {0, 3, 4, 4};
  const char quality = t->mQuality >= 0 && t->mQuality < 4 ? kQuality[t->mQuality] : 3;
  return CreateFont(height, 0, t->mOrientation * 10, t->mOrientation * 10,
                    t->mStyle == IText::kStyleBold ? FW_BOLD : FW_NORMAL, t->mStyle == IText::kStyleItalic ? 1 : 0, 0,
                    0, 0, 0, 0, quality, 0, t->mFont);
}

} // namespace

// ---- images ----

IBitmap IGraphics::LoadIBitmap(int id, const char* name, int nStates, bool framesAreHoriz)
{
  LICE_IBitmap* bm = s_bitmapCache.Find(id);
  if (!bm) {
    bm = OSLoadBitmap(id, name);
    if (bm)
      s_bitmapCache.Add(bm, id);
    else
      bm = s_bitmapCache.Placeholder(name);
  }
  return IBitmap(bm, bm->getWidth(), bm->getHeight(), nStates, framesAreHoriz);
}

void IGraphics::RetainBitmap(IBitmap* bitmap)
{
  if (bitmap && bitmap->mData) s_bitmapCache.Add(bitmap->mData);
}

void IGraphics::ReleaseBitmap(IBitmap* bitmap)
{
  if (bitmap && bitmap->mData) s_bitmapCache.Remove(bitmap->mData);
}

IBitmap IGraphics::ScaleBitmap(IBitmap* bitmap, int w, int h)
{
  LICE_MemBitmap* dest = new LICE_MemBitmap(w, h, 4);
  LICE_ScaledBlit(dest, bitmap->mData, 0, 0, w, h, 0.0f, 0.0f, (float)bitmap->W, (float)bitmap->H, 1.0f,
                  LICE_BLIT_MODE_COPY | LICE_BLIT_FILTER_BILINEAR);
  IBitmap result(dest, w, h, bitmap->N, false);
  RetainBitmap(&result);
  return result;
}

IBitmap IGraphics::CropBitmap(IBitmap* bitmap, IRECT* r)
{
  LICE_MemBitmap* dest = new LICE_MemBitmap(r->W(), r->H(), 4);
  LICE_Blit(dest, bitmap->mData, 0, 0, r->L, r->T, r->W(), r->H(), 1.0f, LICE_BLIT_MODE_COPY);
  IBitmap result(dest, r->W(), r->H(), bitmap->N, false);
  RetainBitmap(&result);
  return result;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* r, int srcX, int srcY, const IChannelBlend* blend)
{
  const IRECT d = r->Intersect(mDrawRECT);
  if (d.Empty() || !bitmap) return true;
  LICE_Blit(mDrawBitmap.get(), bitmap->mData, d.L, d.T, srcX + d.L - r->L, srcY + d.T - r->T, d.W(), d.H(),
            LiceWeight(blend), LiceBlendMode(blend));
  return true;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* r, int bmpState, const IChannelBlend* blend)
{
  if (!bitmap) return true;
  int x, y;
  bitmap->frameOffset(bmpState, &x, &y);
  return DrawBitmap(bitmap, r, x, y, blend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int cx, int cy, double angle, int yOffsetZeroDeg,
                                  const IChannelBlend* blend)
{
  const int W = bitmap->W, H = bitmap->H;
  LICE_RotatedBlit(mDrawBitmap.get(), bitmap->mData, cx - W / 2, cy - H / 2, W, H, 0.0f, 0.0f, (float)W, (float)H,
                   (float)angle, false, LiceWeight(blend), LiceBlendMode(blend) | LICE_BLIT_FILTER_BILINEAR, 0.0f,
                   (float)yOffsetZeroDeg);
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                                const IChannelBlend* blend)
{
  if (!mTmpBitmap) mTmpBitmap.reset(new LICE_MemBitmap(0, 0, 4));
  const int W = base->W, H = base->H;
  LICE_Copy(mTmpBitmap.get(), base->mData);
  LICE_ClearRect(mTmpBitmap.get(), 0, 0, W, H, 0xFFFFFF00u, 0);
  const float radians = (float)(angle * M_PI / 180.0);
  const float cxo = (W & 1) ? -0.5f : 0.0f;
  LICE_RotatedBlit(mTmpBitmap.get(), mask->mData, 0, 0, W, H, 0.0f, 0.0f, (float)W, (float)H, radians, true, 1.0f,
                   LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_ADD | LICE_BLIT_FILTER_BILINEAR, cxo, 0.0f);
  LICE_RotatedBlit(mTmpBitmap.get(), top->mData, 0, 0, W, H, 0.0f, 0.0f, (float)W, (float)H, radians, true, 1.0f,
                   LICE_BLIT_USE_ALPHA | LICE_BLIT_FILTER_BILINEAR, cxo, 0.0f);
  const IRECT d = IRECT(x, y, x + W, y + H).Intersect(mDrawRECT);
  if (d.Empty()) return true;
  LICE_Blit(mDrawBitmap.get(), mTmpBitmap.get(), d.L, d.T, d.L - x, d.T - y, d.W(), d.H(), LiceWeight(blend),
            LiceBlendMode(blend));
  return true;
}

// ---- shapes ----

bool IGraphics::DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend, bool)
{
  LICE_PutPixel(mDrawBitmap.get(), (int)(x + 0.5f), (int)(y + 0.5f), LiceColor(color), LiceWeight(blend),
                LiceBlendMode(blend));
  return true;
}

bool IGraphics::ForcePixel(const IColor* color, int x, int y)
{
  LICE_SysBitmap* bm = mDrawBitmap.get();
  if (x < 0 || y < 0 || x >= bm->getWidth() || y >= bm->getHeight()) return true;
  bm->getBits()[(size_t)y * bm->getRowSpan() + x] = LiceColor(color);
  return true;
}

bool IGraphics::DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend,
                         bool aa)
{
  LICE_Line(mDrawBitmap.get(), (int)x1, (int)y1, (int)x2, (int)y2, LiceColor(color), LiceWeight(blend),
            LiceBlendMode(blend), aa);
  return true;
}

bool IGraphics::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
                        const IChannelBlend* blend, bool aa)
{
  LICE_Arc(mDrawBitmap.get(), cx, cy, r, minAngle, maxAngle, LiceColor(color), LiceWeight(blend), LiceBlendMode(blend),
           aa);
  return true;
}

bool IGraphics::DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend, bool aa)
{
  LICE_Circle(mDrawBitmap.get(), cx, cy, r, LiceColor(color), LiceWeight(blend), LiceBlendMode(blend), aa);
  return true;
}

bool IGraphics::RoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cornerRadius, bool aa)
{
  LICE_RoundRect(mDrawBitmap.get(), (float)r->L, (float)r->T, (float)r->W(), (float)r->H(), cornerRadius,
                 LiceColor(color), LiceWeight(blend), LiceBlendMode(blend), aa);
  return true;
}

bool IGraphics::FillRoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cr, bool aa)
{
  LICE_IBitmap* bm = mDrawBitmap.get();
  const LICE_pixel p = LiceColor(color);
  const float a = LiceWeight(blend);
  const int mode = LiceBlendMode(blend);
  const int W = r->W(), H = r->H();
  LICE_FillRect(bm, r->L + cr, r->T, W - 2 * cr, H, p, a, mode);
  LICE_FillRect(bm, r->L, r->T + cr, cr, H - 2 * cr, p, a, mode);
  LICE_FillRect(bm, r->R - cr, r->T + cr, cr, H - 2 * cr, p, a, mode);
  LICE_FillCircle(bm, (float)(r->L + cr), (float)(r->T + cr), (float)cr, p, a, mode, aa);
  LICE_FillCircle(bm, (float)(r->L + W - cr - 1), (float)(r->T + H - cr - 1), (float)cr, p, a, mode, aa);
  LICE_FillCircle(bm, (float)(r->L + W - cr - 1), (float)(r->T + cr), (float)cr, p, a, mode, aa);
  LICE_FillCircle(bm, (float)(r->L + cr), (float)(r->T + H - cr - 1), (float)cr, p, a, mode, aa);
  return true;
}

bool IGraphics::FillIRect(const IColor* color, IRECT* r, const IChannelBlend* blend)
{
  LICE_FillRect(mDrawBitmap.get(), r->L, r->T, r->W(), r->H(), LiceColor(color), LiceWeight(blend),
                LiceBlendMode(blend));
  return true;
}

bool IGraphics::FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend, bool aa)
{
  LICE_FillCircle(mDrawBitmap.get(), (float)cx, (float)cy, r, LiceColor(color), LiceWeight(blend),
                  LiceBlendMode(blend), aa);
  return true;
}

bool IGraphics::FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3, IChannelBlend* blend)
{
  LICE_FillTriangle(mDrawBitmap.get(), x1, y1, x2, y2, x3, y3, LiceColor(color), LiceWeight(blend),
                    LiceBlendMode(blend));
  return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* color, int* x, int* y, int n, const IChannelBlend* blend)
{
  LICE_FillConvexPolygon(mDrawBitmap.get(), x, y, n, LiceColor(color), LiceWeight(blend), LiceBlendMode(blend));
  return true;
}

IColor IGraphics::GetPoint(int x, int y)
{
  return IColorOfPixel(LICE_GetPixel(mDrawBitmap.get(), x, y));
}

bool IGraphics::DrawVerticalLine(const IColor* color, int x, int yLo, int yHi)
{
  LICE_Line(mDrawBitmap.get(), x, yLo, x, yHi, LiceColor(color), 1.0f, LICE_BLIT_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int y, int xLo, int xHi)
{
  LICE_Line(mDrawBitmap.get(), xLo, y, xHi, y, LiceColor(color), 1.0f, LICE_BLIT_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawRect(const IColor* color, IRECT* r)
{
  DrawHorizontalLine(color, r->T, r->L, r->R);
  DrawHorizontalLine(color, r->B, r->L, r->R);
  DrawVerticalLine(color, r->L, r->T, r->B);
  DrawVerticalLine(color, r->R, r->T, r->B);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, IRECT* r, float x)
{
  x = x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
  return DrawVerticalLine(color, r->L + (int)(r->W() * x), r->T, r->B);
}

bool IGraphics::DrawHorizontalLine(const IColor* color, IRECT* r, float y)
{
  y = y < 0.0f ? 0.0f : y > 1.0f ? 1.0f : y;
  return DrawHorizontalLine(color, r->B - (int)(r->H() * y), r->L, r->R);
}

bool IGraphics::DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                               const IChannelBlend* blend, bool aa)
{
  const float s = std::sin(angle), c = std::cos(angle);
  LICE_Line(mDrawBitmap.get(), (int)(cx + rMin * s), (int)(cy - rMin * c), (int)(cx + rMax * s), (int)(cy - rMax * c),
            LiceColor(color), LiceWeight(blend), LiceBlendMode(blend), aa);
  return true;
}

LICE_pixel* IGraphics::GetBits()
{
  return mDrawBitmap ? mDrawBitmap->getBits() : nullptr;
}

// ---- text ----

LICE_IFont* IGraphics::CacheFont(IText* text)
{
  WDL_MutexLock lock(&textMutex());
  if (LICE_IFont* found = s_fontCache.Find(text)) {
    text->mCached = found;
    return found;
  }
  const int h = text->mSize < 2 ? 2 : text->mSize;
  HGDIOBJ hf = requestFont(text, h);
  if (!hf) return nullptr;
  LICE_CachedFont* font = new LICE_CachedFont();
  font->SetFromHFont(hf, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  const int lh = font->GetLineHeight();
  if (lh > 0 && lh != h) {
    int h2 = (int)((double)h * h / lh + 0.5);
    if (h2 < 2) h2 = 2;
    if (HGDIOBJ second = requestFont(text, h2)) font->SetFromHFont(second, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  }
  s_fontCache.Add(text, font);
  text->mCached = font;
  return font;
}

bool IGraphics::DrawIText(IText* text, const char* str, IRECT* r, unsigned int fmt, bool measure)
{
  if (!str || !*str) return true;
  WDL_MutexLock lock(&textMutex());
  LICE_IFont* font = text->mCached ? text->mCached : CacheFont(text);
  if (!font) return false;
  font->SetTextColor(LiceColor(&text->mColor));
  if (text->mColor.A < 255) fmt |= LICE_DT_USEFGALPHA;
  if (text->mAlign == IText::kAlignCenter)
    fmt |= DT_CENTER;
  else if (text->mAlign == IText::kAlignFar)
    fmt |= DT_RIGHT;
  if (measure) {
    RECT m = {0, 0, 0, 0};
    font->DrawText(nullptr, str, -1, &m, fmt | DT_CALCRECT);
    const int w = m.right, h = m.bottom;
    if (text->mAlign == IText::kAlignCenter) {
      r->L = (int)((r->L + r->R) * 0.5) - w / 2;
      r->R = r->L + w;
    } else if (text->mAlign == IText::kAlignFar) {
      r->L = r->R - w;
    } else {
      r->R = r->L + w;
    }
    r->B = r->T + h;
    return true;
  }
  RECT rr = {r->L, r->T, r->R, r->B};
  LICE_SysBitmap* dest = mDrawBitmap.get();
  if (mDrawingControls && dest && !dest->isFlipped()) {
    // Inside the area being drawn only; the text keeps its place.
    const IRECT area = mDrawRECT.Intersect(IRECT(0, 0, dest->getWidth(), dest->getHeight()));
    if (area.Empty() || !area.Intersects(*r)) return true;
    if (area.L > r->L || area.T > r->T || area.R < r->R || area.B < r->B) {
      WindowBitmap window(dest, area);
      RECT shifted = {rr.left - area.L, rr.top - area.T, rr.right - area.L, rr.bottom - area.T};
      font->DrawText(&window, str, -1, &shifted, fmt);
      return true;
    }
  }
  font->DrawText(dest, str, -1, &rr, fmt);
  return true;
}

bool IGraphics::MeasureIText(IText* text, const char* str, IRECT* r)
{
  return DrawIText(text, str, r, 0x100, true);
}
