// The public single-pixel operations.
#include "lice_combine.h"

namespace {

// Applies the rule of the mode (mode & 0x100ff) to one pixel; Clobber and the Copy, Mul and
// source-alpha copy classes are the plain or clamping forms.
template <class Clobber, class Copy, class CopySA, class CopySAIgnore, class Mul, class MulSA>
void combineInPlace(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (ia == 0) return;
  LICE_pixel_chan* d = reinterpret_cast<LICE_pixel_chan*>(dest);
  switch (mode & (LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_MASK)) {
  case LICE_BLIT_MODE_COPY:
    if (ia < 1) return;
    if (ia == 256)
      Clobber::doPix(d, r, g, b, a, ia);
    else
      Copy::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_MODE_ADD:
    _LICE_CombinePixelsAdd::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_MODE_DODGE:
    _LICE_CombinePixelsColorDodge::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_MODE_MUL:
    Mul::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_MODE_OVERLAY:
    _LICE_CombinePixelsOverlay::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_MODE_HSVADJ:
    _LICE_CombinePixelsHSVAdjust::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_COPY:
    if (ia == 256)
      CopySAIgnore::doPix(d, r, g, b, a, ia);
    else
      CopySA::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_ADD:
    _LICE_CombinePixelsAddSourceAlpha::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_DODGE:
    _LICE_CombinePixelsColorDodgeSourceAlpha::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_MUL:
    MulSA::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_OVERLAY:
    _LICE_CombinePixelsOverlaySourceAlpha::doPix(d, r, g, b, a, ia);
    break;
  case LICE_BLIT_USE_ALPHA | LICE_BLIT_MODE_HSVADJ:
    _LICE_CombinePixelsHSVAdjustSourceAlpha::doPix(d, r, g, b, a, ia);
    break;
  default:
    break;
  }
}

} // namespace

LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode)
{
  const int ia = _LICE_Weight(alpha * 256.0f);
  if (ia == 0) return dest;
  combineInPlace<_LICE_CombinePixelsClobberNoClamp, _LICE_CombinePixelsCopyNoClamp,
                 _LICE_CombinePixelsCopySourceAlphaNoClamp, _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp,
                 _LICE_CombinePixelsMulNoClamp, _LICE_CombinePixelsMulSourceAlphaNoClamp>(
      &dest, LICE_GETR(src), LICE_GETG(src), LICE_GETB(src), LICE_GETA(src), ia, mode);
  return dest;
}

void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (!dest) return;
  combineInPlace<_LICE_CombinePixelsClobberNoClamp, _LICE_CombinePixelsCopyNoClamp,
                 _LICE_CombinePixelsCopySourceAlphaNoClamp, _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp,
                 _LICE_CombinePixelsMulNoClamp, _LICE_CombinePixelsMulSourceAlphaNoClamp>(dest, r, g, b, a, ia, mode);
}

void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (!dest) return;
  combineInPlace<_LICE_CombinePixelsClobberClamp, _LICE_CombinePixelsCopyClamp, _LICE_CombinePixelsCopySourceAlphaClamp,
                 _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp, _LICE_CombinePixelsMulClamp,
                 _LICE_CombinePixelsMulSourceAlphaClamp>(dest, r, g, b, a, ia, mode);
}
