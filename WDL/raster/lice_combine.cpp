// The public single-pixel operations.
#include "lice_combine.h"

namespace {

// Applies the rule of the mode (mode & 0x100ff) to one pixel, in the plain or (CLAMP) the
// limiting forms.
template <bool CLAMP> void combineInPlace(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (ia == 0) return;
  LICE_pixel_chan* d = reinterpret_cast<LICE_pixel_chan*>(dest);
  LICE_WithBlitCombineClass<CLAMP>(mode, ia, [&](auto tag) { decltype(tag)::type::doPix(d, r, g, b, a, ia); });
}

} // namespace

LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode)
{
  const int ia = _LICE_Weight(alpha * 256.0f);
  if (ia == 0) return dest;
  combineInPlace<false>(&dest, LICE_GETR(src), LICE_GETG(src), LICE_GETB(src), LICE_GETA(src), ia, mode);
  return dest;
}

void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (!dest) return;
  combineInPlace<false>(dest, r, g, b, a, ia, mode);
}

void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (!dest) return;
  combineInPlace<true>(dest, r, g, b, a, ia, mode);
}
