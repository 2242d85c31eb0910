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

template <bool CLAMP> LICE_COMBINE_INLINE int _LICE_Fin(int v)
{
  return CLAMP ? _LICE_Clamp255(v) : v;
}

// Stores f(destination byte, source channel) into the red, green and blue bytes, in that order.
template <class F> LICE_COMBINE_INLINE void _LICE_EachColour(LICE_pixel_chan* dest, int r, int g, int b, F f)
{
  dest[LICE_PIXEL_R] = (LICE_pixel_chan)f(dest[LICE_PIXEL_R], r);
  dest[LICE_PIXEL_G] = (LICE_pixel_chan)f(dest[LICE_PIXEL_G], g);
  dest[LICE_PIXEL_B] = (LICE_pixel_chan)f(dest[LICE_PIXEL_B], b);
}

// The same for all four bytes, the alpha byte with source a.
template <class F> LICE_COMBINE_INLINE void _LICE_EachChannel(LICE_pixel_chan* dest, int r, int g, int b, int a, F f)
{
  _LICE_EachColour(dest, r, g, b, f);
  dest[LICE_PIXEL_A] = (LICE_pixel_chan)f(dest[LICE_PIXEL_A], a);
}

template <bool CLAMP> class _LICE_CombinePixelsClobberT
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    _LICE_EachChannel(dest, r, g, b, a, [](int, int c) { return _LICE_Fin<CLAMP>(c); });
  }
};
typedef _LICE_CombinePixelsClobberT<false> _LICE_CombinePixelsClobberNoClamp;
typedef _LICE_CombinePixelsClobberT<true> _LICE_CombinePixelsClobberClamp;

class _LICE_CombinePixelsHalfMixNoClamp
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    _LICE_EachChannel(dest, r, g, b, a, [](int d, int c) { return (d + c) >> 1; });
  }
};

template <bool CLAMP> class _LICE_CombinePixelsCopyT
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    const int inv = 256 - alpha;
    _LICE_EachChannel(dest, r, g, b, a, [inv](int d, int c) { return _LICE_Fin<CLAMP>(c + (d - c) * inv / 256); });
  }
};
typedef _LICE_CombinePixelsCopyT<false> _LICE_CombinePixelsCopyNoClamp;
typedef _LICE_CombinePixelsCopyT<true> _LICE_CombinePixelsCopyClamp;

// Copy with source alpha: colours at weight sa, the alpha byte adds sa (at most 255). The
// whole-weight form (IGNORE_WEIGHT, used at weight 256) takes sa = a: it copies an opaque
// source's colour whole and mixes any other by 255 - a.
template <bool CLAMP, bool IGNORE_WEIGHT> class _LICE_CombinePixelsCopySourceAlphaT
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    if (IGNORE_WEIGHT && a == 255) {
      _LICE_EachColour(dest, r, g, b, [](int, int c) { return _LICE_Fin<CLAMP>(c); });
      dest[LICE_PIXEL_A] = 255;
      return;
    }
    const int sa = IGNORE_WEIGHT ? a : (a + 1) * alpha / 256;
    const int inv = IGNORE_WEIGHT ? 255 - a : 256 - sa;
    _LICE_EachColour(dest, r, g, b, [inv](int d, int c) { return _LICE_Fin<CLAMP>(c + (d - c) * inv / 256); });
    const int na = dest[LICE_PIXEL_A] + sa;
    dest[LICE_PIXEL_A] = (LICE_pixel_chan)_LICE_Fin<CLAMP>(na < 255 ? na : 255);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaT<false, false> _LICE_CombinePixelsCopySourceAlphaNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<true, false> _LICE_CombinePixelsCopySourceAlphaClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<false, true> _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<true, true> _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp;

class _LICE_CombinePixelsAdd
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_EachChannel(dest, r, g, b, a, [alpha](int d, int c) { return _LICE_Clamp255(d + c * alpha / 256); });
  }
};

class _LICE_CombinePixelsColorDodge
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_EachChannel(dest, r, g, b, a, [alpha](int d, int c) {
      const int k = 256 - c * alpha / 256;
      unsigned int t = (unsigned int)(d * 256);
      if (k >= 2) t /= (unsigned int)k;
      return t < 255 ? (int)t : 255;
    });
  }
};

template <bool CLAMP> class _LICE_CombinePixelsMulT
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    const int inv256 = (256 - alpha) * 256;
    _LICE_EachChannel(dest, r, g, b, a,
                      [alpha, inv256](int d, int c) { return _LICE_Fin<CLAMP>(((c * alpha + inv256) * d) >> 16); });
  }
};
typedef _LICE_CombinePixelsMulT<false> _LICE_CombinePixelsMulNoClamp;
typedef _LICE_CombinePixelsMulT<true> _LICE_CombinePixelsMulClamp;

class _LICE_CombinePixelsOverlay
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_EachChannel(dest, r, g, b, a, [alpha](int d, int c) {
      const int s = c * alpha + (256 - alpha) * 128;
      const int t = (32768 - s) * d / 256 + s;
      return _LICE_Clamp255((t * d) >> 15);
    });
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

// The source-alpha form of rule C: C at weight sa. SKIP_CLEAR leaves the pixel as it is where
// the source is fully transparent (the rules that skip it do so at any weight).
template <class C, bool SKIP_CLEAR> class _LICE_CombineSourceAlpha
{
public:
  LICE_COMBINE_INLINE void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int alpha)
  {
    if (SKIP_CLEAR && a == 0) return;
    C::doPix(dest, r, g, b, a, (a + 1) * alpha / 256);
  }
};
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsAdd, true> _LICE_CombinePixelsAddSourceAlpha;
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsColorDodge, false> _LICE_CombinePixelsColorDodgeSourceAlpha;
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsMulNoClamp, true> _LICE_CombinePixelsMulSourceAlphaNoClamp;
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsMulClamp, true> _LICE_CombinePixelsMulSourceAlphaClamp;
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsOverlay, false> _LICE_CombinePixelsOverlaySourceAlpha;
typedef _LICE_CombineSourceAlpha<_LICE_CombinePixelsHSVAdjust, false> _LICE_CombinePixelsHSVAdjustSourceAlpha;

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
// dodge, multiply, overlay, HSV adjust; CLAMP picks the limiting forms of copy and multiply.
// Returns false (and calls nothing) for any other op.
template <bool CLAMP = false, class F> inline bool LICE_WithCombineClass(int op, F&& f)
{
  switch (op) {
  case LICE_BLIT_MODE_COPY:
    f(LICE_CombineTag<_LICE_CombinePixelsCopyT<CLAMP>>());
    return true;
  case LICE_BLIT_MODE_ADD:
    f(LICE_CombineTag<_LICE_CombinePixelsAdd>());
    return true;
  case LICE_BLIT_MODE_DODGE:
    f(LICE_CombineTag<_LICE_CombinePixelsColorDodge>());
    return true;
  case LICE_BLIT_MODE_MUL:
    f(LICE_CombineTag<_LICE_CombinePixelsMulT<CLAMP>>());
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
template <bool CLAMP = false, class F> inline bool LICE_WithBlitCombineClass(int mode, int ia, F&& f)
{
  const int op = mode & LICE_BLIT_MODE_MASK;
  if (!(mode & LICE_BLIT_USE_ALPHA)) {
    if (op == LICE_BLIT_MODE_COPY) {
      if (ia < 1) return false;
      if (ia == 256) {
        f(LICE_CombineTag<_LICE_CombinePixelsClobberT<CLAMP>>());
        return true;
      }
    }
    return LICE_WithCombineClass<CLAMP>(op, f);
  }
  switch (op) {
  case LICE_BLIT_MODE_COPY:
    if (ia == 256)
      f(LICE_CombineTag<_LICE_CombinePixelsCopySourceAlphaT<CLAMP, true>>());
    else
      f(LICE_CombineTag<_LICE_CombinePixelsCopySourceAlphaT<CLAMP, false>>());
    return true;
  case LICE_BLIT_MODE_ADD:
    f(LICE_CombineTag<_LICE_CombinePixelsAddSourceAlpha>());
    return true;
  case LICE_BLIT_MODE_DODGE:
    f(LICE_CombineTag<_LICE_CombinePixelsColorDodgeSourceAlpha>());
    return true;
  case LICE_BLIT_MODE_MUL:
    f(LICE_CombineTag<_LICE_CombineSourceAlpha<_LICE_CombinePixelsMulT<CLAMP>, true>>());
    return true;
  case LICE_BLIT_MODE_OVERLAY:
    f(LICE_CombineTag<_LICE_CombinePixelsOverlaySourceAlpha>());
    return true;
  case LICE_BLIT_MODE_HSVADJ:
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
