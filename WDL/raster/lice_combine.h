// Combine rules of the raster library.
//
// One stateless class per rule. doPix(dest, r, g, b, a, alpha) combines the source channels
// r, g, b, a into the four bytes of one destination pixel (dest[0] alpha, dest[1] red,
// dest[2] green, dest[3] blue) at the integer weight alpha (256 = whole). Unless a rule says
// otherwise it treats all four bytes alike, the alpha byte with source a. Divisions truncate
// towards zero; "NoClamp" rules store the low byte of what they compute, the others limit it
// to 0..255. The source-alpha rules weigh by sa = trunc((a + 1) x alpha / 256).
//
// The FAST classes combine a whole packed pixel with shifts and masks (each byte halved or
// quartered, truncated, so no byte carries into the next): doPixFAST(dest, src).
//
// Drawing routines are templates over these classes, so each rule is inlined into its loop;
// LICE_WithCombineClass and LICE_WithBlitCombineClass pick the class once per call.
#pragma once

#include "lice.h"

#include <array>

#define LICE_COMBINE_INLINE static inline __attribute__((always_inline))

// Reciprocals for the RGB to HSV conversion: [0] = 0, [i] = floor(65536 / i) - 1.
constexpr std::array<unsigned short, 256> _LICE_MakeRGB2HSVInvTab()
{
  std::array<unsigned short, 256> t{};
  for (int i = 1; i < 256; ++i) t[i] = (unsigned short)(65536 / i - 1);
  return t;
}
inline constexpr std::array<unsigned short, 256> _LICE_RGB2HSV_invtab = _LICE_MakeRGB2HSVInvTab();

static inline int _LICE_Clamp255(int v)
{
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

// Shifts the hue, saturation and value of the destination's colour by the source channels
// r, g, b (each neutral at 128) at weight alpha; the alpha byte becomes a. Hue counts 384 per
// turn, six sectors of 64.
static inline void _LICE_HSVAdjustPixel(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
{
  const int R = dest[LICE_PIXEL_R], G = dest[LICE_PIXEL_G], B = dest[LICE_PIXEL_B];
  int V, m, n, base;
  if (R >= G && R > B) {
    V = R;
    m = G < B ? G : B;
    n = G - B;
    base = G >= B ? 0 : 383;
  } else if (G > R && G > B) {
    V = G;
    m = R < B ? R : B;
    n = B - R;
    base = 128;
  } else { // blue wins every tie with it, grey included
    V = B;
    m = R < G ? R : G;
    n = R - G;
    base = 256;
  }
  const int delta = V - m;
  int hue = base + (_LICE_RGB2HSV_invtab[delta] + 1) * n / 1024;
  int S = delta * _LICE_RGB2HSV_invtab[V] / 256;

  hue += (r + r / 2 - 192) * alpha / 256;
  if (hue < 0)
    hue += 384;
  else if (hue > 383)
    hue -= 384;
  if (hue < 0 || hue > 383) hue = ((hue % 384) + 384) % 384; // only weights far above 256 get here

  S = _LICE_Clamp255(S + (g - 128) * alpha / 128);
  const int v = _LICE_Clamp255(V + (b - 128) * alpha / 128);

  const int p = (256 - S) * v / 256;
  auto q = [S, v](int x) { return (16384 - x * S) * v / 16384; };
  int outR, outG, outB;
  switch (hue >> 6) {
  case 0:
    outR = v, outG = q(64 - hue), outB = p;
    break;
  case 1:
    outR = q(hue - 64), outG = v, outB = p;
    break;
  case 2:
    outR = p, outG = v, outB = q(192 - hue);
    break;
  case 3:
    outR = p, outG = q(hue - 192), outB = v;
    break;
  case 4:
    outR = q(320 - hue), outG = p, outB = v;
    break;
  default:
    outR = v, outG = p, outB = q(hue - 320);
    break;
  }
  dest[LICE_PIXEL_R] = (LICE_pixel_chan)outR;
  dest[LICE_PIXEL_G] = (LICE_pixel_chan)outG;
  dest[LICE_PIXEL_B] = (LICE_pixel_chan)outB;
  dest[LICE_PIXEL_A] = (LICE_pixel_chan)_LICE_Clamp255(a);
}

// ---------------------------------------------------------------------------------------------
// Per-channel rules

class _LICE_CombinePixelsClobberNoClamp
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)r;
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)g;
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)b;
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)a;
  }
};

class _LICE_CombinePixelsClobberClamp
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)_LICE_Clamp255(r);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)_LICE_Clamp255(g);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)_LICE_Clamp255(b);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)_LICE_Clamp255(a);
  }
};

class _LICE_CombinePixelsHalfMixNoClamp
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)((dest[LICE_PIXEL_R] + r) >> 1);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)((dest[LICE_PIXEL_G] + g) >> 1);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)((dest[LICE_PIXEL_B] + b) >> 1);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)((dest[LICE_PIXEL_A] + a) >> 1);
  }
};

class _LICE_CombinePixelsCopyNoClamp
{
public:
  LICE_COMBINE_INLINE int chan(int d, int c, int inv) { return c + (d - c) * inv / 256; }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    const int inv = 256 - alpha;
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_R], r, inv);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_G], g, inv);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_B], b, inv);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_A], a, inv);
  }
};

class _LICE_CombinePixelsCopyClamp
{
public:
  LICE_COMBINE_INLINE int chan(int d, int c, int inv) { return _LICE_Clamp255(c + (d - c) * inv / 256); }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    const int inv = 256 - alpha;
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_R], r, inv);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_G], g, inv);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_B], b, inv);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_A], a, inv);
  }
};

template <bool CLAMP> class _LICE_CombinePixelsCopySourceAlphaT
{
public:
  LICE_COMBINE_INLINE int fin(int v) { return CLAMP ? _LICE_Clamp255(v) : v; }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    const int sa = (a + 1) * alpha / 256;
    const int inv = 256 - sa;
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)fin(r + (dest[LICE_PIXEL_R] - r) * inv / 256);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)fin(g + (dest[LICE_PIXEL_G] - g) * inv / 256);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)fin(b + (dest[LICE_PIXEL_B] - b) * inv / 256);
    const int na = dest[LICE_PIXEL_A] + sa;
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)fin(na < 255 ? na : 255);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaT<false> _LICE_CombinePixelsCopySourceAlphaNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<true> _LICE_CombinePixelsCopySourceAlphaClamp;

// The whole-weight form of copy with source alpha: the weight argument is not used.
template <bool CLAMP> class _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT
{
public:
  LICE_COMBINE_INLINE int fin(int v) { return CLAMP ? _LICE_Clamp255(v) : v; }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    if (a == 0) return;
    if (a == 255) {
      dest[LICE_PIXEL_R] = (LICE_pixel_chan)fin(r);
      dest[LICE_PIXEL_G] = (LICE_pixel_chan)fin(g);
      dest[LICE_PIXEL_B] = (LICE_pixel_chan)fin(b);
      dest[LICE_PIXEL_A] = 255;
      return;
    }
    const int inv = 255 - a;
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)fin(r + (dest[LICE_PIXEL_R] - r) * inv / 256);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)fin(g + (dest[LICE_PIXEL_G] - g) * inv / 256);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)fin(b + (dest[LICE_PIXEL_B] - b) * inv / 256);
    const int na = dest[LICE_PIXEL_A] + a;
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)fin(na < 255 ? na : 255);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<false>
    _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<true> _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp;

class _LICE_CombinePixelsAdd
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)_LICE_Clamp255(dest[LICE_PIXEL_R] + r * alpha / 256);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)_LICE_Clamp255(dest[LICE_PIXEL_G] + g * alpha / 256);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)_LICE_Clamp255(dest[LICE_PIXEL_B] + b * alpha / 256);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)_LICE_Clamp255(dest[LICE_PIXEL_A] + a * alpha / 256);
  }
};

class _LICE_CombinePixelsAddSourceAlpha
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    _LICE_CombinePixelsAdd::doPix(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};

class _LICE_CombinePixelsColorDodge
{
public:
  LICE_COMBINE_INLINE int chan(int d, int c, int alpha)
  {
    const int k = 256 - c * alpha / 256;
    unsigned int t = (unsigned int)(d * 256);
    if (k >= 2) t /= (unsigned int)k;
    return t < 255 ? (int)t : 255;
  }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_R], r, alpha);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_G], g, alpha);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_B], b, alpha);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_A], a, alpha);
  }
};

class _LICE_CombinePixelsColorDodgeSourceAlpha
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_CombinePixelsColorDodge::doPix(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};

template <bool CLAMP> class _LICE_CombinePixelsMulT
{
public:
  LICE_COMBINE_INLINE int chan(int d, int c, int alpha, int inv256)
  {
    const int v = ((c * alpha + inv256) * d) >> 16;
    return CLAMP ? _LICE_Clamp255(v) : v;
  }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    const int inv256 = (256 - alpha) * 256;
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_R], r, alpha, inv256);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_G], g, alpha, inv256);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_B], b, alpha, inv256);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_A], a, alpha, inv256);
  }
};
typedef _LICE_CombinePixelsMulT<false> _LICE_CombinePixelsMulNoClamp;
typedef _LICE_CombinePixelsMulT<true> _LICE_CombinePixelsMulClamp;

template <bool CLAMP> class _LICE_CombinePixelsMulSourceAlphaT
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    _LICE_CombinePixelsMulT<CLAMP>::doPix(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};
typedef _LICE_CombinePixelsMulSourceAlphaT<false> _LICE_CombinePixelsMulSourceAlphaNoClamp;
typedef _LICE_CombinePixelsMulSourceAlphaT<true> _LICE_CombinePixelsMulSourceAlphaClamp;

class _LICE_CombinePixelsOverlay
{
public:
  LICE_COMBINE_INLINE int chan(int d, int c, int alpha)
  {
    const int s = c * alpha + (256 - alpha) * 128;
    const int t = (32768 - s) * d / 256 + s;
    return _LICE_Clamp255((t * d) >> 15);
  }
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    dest[LICE_PIXEL_R] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_R], r, alpha);
    dest[LICE_PIXEL_G] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_G], g, alpha);
    dest[LICE_PIXEL_B] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_B], b, alpha);
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)chan(dest[LICE_PIXEL_A], a, alpha);
  }
};

class _LICE_CombinePixelsOverlaySourceAlpha
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_CombinePixelsOverlay::doPix(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};

class _LICE_CombinePixelsHSVAdjust
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_HSVAdjustPixel(dest, r, g, b, a, alpha);
  }
};

class _LICE_CombinePixelsHSVAdjustSourceAlpha
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_HSVAdjustPixel(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};

// ---------------------------------------------------------------------------------------------
// Whole-pixel rules

class _LICE_CombinePixelsClobberFAST
{
public:
  LICE_COMBINE_INLINE void doPixFAST(LICE_pixel* dest, LICE_pixel src) { *dest = src; }
};

class _LICE_CombinePixelsHalfMixFAST
{
public:
  LICE_COMBINE_INLINE void doPixFAST(LICE_pixel* dest, LICE_pixel src)
  {
    *dest = ((*dest >> 1) & 0x7f7f7f7f) + ((src >> 1) & 0x7f7f7f7f);
  }
};

// src is the colour already halved: (colour >> 1) & 0x7f7f7f7f.
class _LICE_CombinePixelsHalfMix2FAST
{
public:
  LICE_COMBINE_INLINE void doPixFAST(LICE_pixel* dest, LICE_pixel src) { *dest = ((*dest >> 1) & 0x7f7f7f7f) + src; }
};

// Weight 0.25; src is a quarter of the colour: (colour >> 2) & 0x3f3f3f3f.
class _LICE_CombinePixelsQuarterMix2FAST
{
public:
  LICE_COMBINE_INLINE void doPixFAST(LICE_pixel* dest, LICE_pixel src)
  {
    const LICE_pixel d = *dest;
    *dest = ((d >> 1) & 0x7f7f7f7f) + ((d >> 2) & 0x3f3f3f3f) + src;
  }
};

// Weight 0.75; src is three quarters of the colour:
// ((colour >> 1) & 0x7f7f7f7f) + ((colour >> 2) & 0x3f3f3f3f).
class _LICE_CombinePixelsThreeQuarterMix2FAST
{
public:
  LICE_COMBINE_INLINE void doPixFAST(LICE_pixel* dest, LICE_pixel src) { *dest = ((*dest >> 2) & 0x3f3f3f3f) + src; }
};

// ---------------------------------------------------------------------------------------------
// Choosing a class once per call

template <class T> struct LICE_CombineTag
{
  typedef T type;
};

// Calls f(LICE_CombineTag<class>()) for operation op (mode & 0xff) 0..5: copy, add, colour
// dodge, multiply, overlay, HSV adjust. Returns false (and calls nothing) for any other op.
template <class F> inline bool LICE_WithCombineClass(int op, F&& f)
{
  switch (op) {
  case LICE_BLIT_MODE_COPY:
    f(LICE_CombineTag<_LICE_CombinePixelsCopyNoClamp>());
    return true;
  case LICE_BLIT_MODE_ADD:
    f(LICE_CombineTag<_LICE_CombinePixelsAdd>());
    return true;
  case LICE_BLIT_MODE_DODGE:
    f(LICE_CombineTag<_LICE_CombinePixelsColorDodge>());
    return true;
  case LICE_BLIT_MODE_MUL:
    f(LICE_CombineTag<_LICE_CombinePixelsMulNoClamp>());
    return true;
  case LICE_BLIT_MODE_OVERLAY:
    f(LICE_CombineTag<_LICE_CombinePixelsOverlay>());
    return true;
  case LICE_BLIT_MODE_HSVADJ:
    f(LICE_CombineTag<_LICE_CombinePixelsHSVAdjust>());
    return true;
  default:
    return false;
  }
}

// The table of the blits: mode & 0x100ff selects the rule, the source-alpha flag its
// source-alpha form; a plain copy draws nothing below weight 1 and becomes a clobber at 256,
// copy with source alpha the weight-ignoring form at 256. Returns false for any other mode.
template <class F> inline bool LICE_WithBlitCombineClass(int mode, int ia, F&& f)
{
  switch (mode & (LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_MASK)) {
  case LICE_BLIT_MODE_COPY:
    if (ia < 1) return false;
    if (ia == 256)
      f(LICE_CombineTag<_LICE_CombinePixelsClobberNoClamp>());
    else
      f(LICE_CombineTag<_LICE_CombinePixelsCopyNoClamp>());
    return true;
  case LICE_BLIT_MODE_ADD:
    f(LICE_CombineTag<_LICE_CombinePixelsAdd>());
    return true;
  case LICE_BLIT_MODE_DODGE:
    f(LICE_CombineTag<_LICE_CombinePixelsColorDodge>());
    return true;
  case LICE_BLIT_MODE_MUL:
    f(LICE_CombineTag<_LICE_CombinePixelsMulNoClamp>());
    return true;
  case LICE_BLIT_MODE_OVERLAY:
    f(LICE_CombineTag<_LICE_CombinePixelsOverlay>());
    return true;
  case LICE_BLIT_MODE_HSVADJ:
    f(LICE_CombineTag<_LICE_CombinePixelsHSVAdjust>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_COPY:
    if (ia == 256)
      f(LICE_CombineTag<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>());
    else
      f(LICE_CombineTag<_LICE_CombinePixelsCopySourceAlphaNoClamp>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_ADD:
    f(LICE_CombineTag<_LICE_CombinePixelsAddSourceAlpha>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_DODGE:
    f(LICE_CombineTag<_LICE_CombinePixelsColorDodgeSourceAlpha>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_MUL:
    f(LICE_CombineTag<_LICE_CombinePixelsMulSourceAlphaNoClamp>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_OVERLAY:
    f(LICE_CombineTag<_LICE_CombinePixelsOverlaySourceAlpha>());
    return true;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_HSVADJ:
    f(LICE_CombineTag<_LICE_CombinePixelsHSVAdjustSourceAlpha>());
    return true;
  default:
    return false;
  }
}

// The integer weight trunc(alpha x 256) of a call. Callers pass alpha within 0..1; weights are
// held within +-4096 (alpha +-16) so that no combine rule can overflow its int arithmetic.
static inline int _LICE_Weight(double alpha256)
{
  if (!(alpha256 == alpha256)) return 0;
  if (alpha256 > 4096.0) return 4096;
  if (alpha256 < -4096.0) return -4096;
  return (int)alpha256;
}

// trunc(v) as an int, saturating at the int range (NaN gives 0), so that absurd float
// arguments cannot make a conversion undefined.
static inline int _LICE_TruncToInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return (int)v;
}
