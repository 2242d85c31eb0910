// Value types of the GUI framework: rectangles, colours, text styles, image strips, mouse modifiers, blend
// settings and key codes. Plain structures copied by value; none owns anything.
#pragma once

#include "raster/lice.h"

#include <cstring>

class LICE_IFont;

// A rectangle of the editor surface in pixels, y growing downward; R and B are exclusive for hit tests.
struct IRECT
{
  int L = 0, T = 0, R = 0, B = 0;

  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  int W() const { return R - L; }
  int H() const { return B - T; }
  // Only (0, 0, 0, 0) is empty: a zero-width rectangle elsewhere is not.
  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  bool Contains(int x, int y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
  // Asymmetric on purpose: touching the other's left or top edge with our right or bottom edge counts.
  bool Intersects(const IRECT& o) const { return !Empty() && !o.Empty() && R >= o.L && L < o.R && B >= o.T && T < o.B; }
  IRECT Intersect(const IRECT& o) const
  {
    if (!Intersects(o)) return IRECT();
    return IRECT(L > o.L ? L : o.L, T > o.T ? T : o.T, R < o.R ? R : o.R, B < o.B ? B : o.B);
  }
  IRECT Union(const IRECT& o) const
  {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }
  float MW() const { return (L + R) * 0.5f; }
  float MH() const { return (T + B) * 0.5f; }
  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }
};

// Colour components A, R, G, B, each 0..255.
struct IColor
{
  int A = 255, R = 0, G = 0, B = 0;
  IColor() = default;
  IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
  bool operator!=(const IColor& o) const { return !(*this == o); }
};

extern const IColor COLOR_TRANSPARENT, COLOR_BLACK, COLOR_GRAY, COLOR_WHITE, COLOR_RED, COLOR_GREEN, COLOR_BLUE,
    COLOR_YELLOW, COLOR_ORANGE;
extern const IColor DEFAULT_TEXT_COLOR, DEFAULT_TEXT_ENTRY_BGCOLOR, DEFAULT_TEXT_ENTRY_FGCOLOR;

// The raster pixel word of a colour (bytes A, R, G, B in memory), and back.
inline LICE_pixel LiceColor(const IColor* c)
{
  return LICE_RGBA(c->R, c->G, c->B, c->A);
}
inline IColor IColorOfPixel(LICE_pixel p)
{
  return IColor((int)LICE_GETA(p), (int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p));
}

struct IText
{
  enum EStyle { kStyleNormal = 0, kStyleBold = 1, kStyleItalic = 2 };
  enum EAlign { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };
  enum EQuality { kQualityDefault = 0, kQualityNonAntiAliased = 1, kQualityAntiAliased = 2, kQualityClearType = 3 };

  char mFont[32] = "Monaco";
  int mSize = 10;
  IColor mColor = IColor(255, 0, 0, 0);
  IColor mTextEntryBGColor = IColor(255, 255, 255, 255);
  IColor mTextEntryFGColor = IColor(255, 0, 0, 0);
  int mStyle = kStyleNormal;
  int mAlign = kAlignCenter;
  int mOrientation = 0; // degrees
  int mQuality = kQualityDefault;
  LICE_IFont* mCached = nullptr; // made by the surface's font cache, which owns it

  IText() = default;
  explicit IText(int size, const IColor* color = nullptr, const char* font = nullptr, int style = kStyleNormal,
                 int align = kAlignCenter, int orientation = 0, int quality = kQualityDefault)
      : mSize(size), mStyle(style), mAlign(align), mOrientation(orientation), mQuality(quality)
  {
    if (color) mColor = *color;
    if (font) {
      std::strncpy(mFont, font, sizeof(mFont) - 1);
      mFont[sizeof(mFont) - 1] = 0;
    }
  }
};

// A loaded image strip: N frames side by side or stacked. The pixels belong to the bitmap cache.
struct IBitmap
{
  LICE_IBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;
  bool mFramesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(LICE_IBitmap* data, int w, int h, int n = 1, bool horizontal = false)
      : mData(data), W(w), H(h), N(n), mFramesAreHorizontal(horizontal)
  {
  }
  // Width and height of one frame.
  int frameWidth() const { return mFramesAreHorizontal && N > 1 ? W / N : W; }
  int frameHeight() const { return !mFramesAreHorizontal && N > 1 ? H / N : H; }
  // Source offset of 1-based frame k.
  void frameOffset(int k, int* x, int* y) const
  {
    *x = *y = 0;
    if (k < 2 || N < 2) return;
    if (mFramesAreHorizontal)
      *x = (int)((double)(k - 1) * W / N + 0.5);
    else
      *y = (int)((double)(k - 1) * H / N + 0.5);
  }
};

// Mouse buttons and modifier keys at a mouse event: left, right, shift, control, alt.
struct IMouseMod
{
  bool L = false, R = false, S = false, C = false, A = false;
  IMouseMod() = default;
  IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false) : L(l), R(r), S(s), C(c), A(a) {}
};

struct IChannelBlend
{
  enum EBlendMethod { kBlendNone = 0, kBlendClobber = 1, kBlendAdd = 2, kBlendColorDodge = 3 };
  int mMethod = kBlendNone;
  float mWeight = 1.0f;
  IChannelBlend() = default;
  explicit IChannelBlend(int method, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// The combine mode word and alpha a blend draws with (null: copy weighted by source alpha, at 1.0).
inline int LiceBlendMode(const IChannelBlend* b)
{
  if (!b) return LICE_BLIT_USE_ALPHA;
  switch (b->mMethod) {
  case IChannelBlend::kBlendClobber:
    return LICE_BLIT_MODE_COPY;
  case IChannelBlend::kBlendAdd:
    return LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_ADD;
  case IChannelBlend::kBlendColorDodge:
    return LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_DODGE;
  default:
    return LICE_BLIT_USE_ALPHA;
  }
}
inline float LiceWeight(const IChannelBlend* b)
{
  return b ? b->mWeight : 1.0f;
}

// Key codes of IControl::OnKeyDown.
enum EKey {
  KEY_SPACE = 0,
  KEY_UPARROW = 1,
  KEY_DOWNARROW = 2,
  KEY_LEFTARROW = 3,
  KEY_RIGHTARROW = 4,
  KEY_DIGIT_0 = 5, // .. KEY_DIGIT_9 = 14
  KEY_ALPHA_A = 15, // .. KEY_ALPHA_Z = 40
};

enum EFileAction { kFileOpen = 0, kFileSave = 1 };
