// Circles, discs, arcs and rounded rectangles.
#include "lice_circle.h"
#include "lice_lines.h"

#include <cmath>

namespace {

// Coverage masks of the six small outline radii, (2r + 1) bytes square, row by row: the
// anti-aliased and the plain one of each. The anti-aliased masks of radii 3 and 4 are not
// symmetric about the diagonal; they are used as they stand.
// clang-format off
const LICE_pixel_chan kMask15AA[] = {
  0x4f, 0xff, 0xff, 0x4f,
  0xff, 0x0f, 0x0f, 0xff,
  0xff, 0x0f, 0x0f, 0xff,
  0x4f, 0xff, 0xff, 0x4f,
};
const LICE_pixel_chan kMask15[] = {
  0x00, 0xff, 0xff, 0x00,
  0xff, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0xff,
  0x00, 0xff, 0xff, 0x00,
};
const LICE_pixel_chan kMask20AA[] = {
  0x0f, 0xbf, 0xff, 0xbf, 0x0f,
  0xbf, 0xd1, 0x4f, 0xd1, 0xbf,
  0xff, 0x4f, 0x00, 0x4f, 0xff,
  0xbf, 0xd1, 0x4f, 0xd1, 0xbf,
  0x0f, 0xbf, 0xff, 0xbf, 0x0f,
};
const LICE_pixel_chan kMask20[] = {
  0x00, 0x00, 0xff, 0x00, 0x00,
  0x00, 0xff, 0x00, 0xff, 0x00,
  0xff, 0x00, 0x00, 0x00, 0xff,
  0x00, 0xff, 0x00, 0xff, 0x00,
  0x00, 0x00, 0xff, 0x00, 0x00,
};
const LICE_pixel_chan kMask25AA[] = {
  0x0f, 0xbf, 0xff, 0xff, 0xbf, 0x0f,
  0xbf, 0xd1, 0x4f, 0x4f, 0xd1, 0xbf,
  0xff, 0x4f, 0x00, 0x00, 0x4f, 0xff,
  0xff, 0x4f, 0x00, 0x00, 0x4f, 0xff,
  0xbf, 0xd1, 0x4f, 0x4f, 0xd1, 0xbf,
  0x0f, 0xbf, 0xff, 0xff, 0xbf, 0x0f,
};
const LICE_pixel_chan kMask25[] = {
  0x00, 0x00, 0xff, 0xff, 0x00, 0x00,
  0x00, 0xff, 0x00, 0x00, 0xff, 0x00,
  0xff, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0xff,
  0x00, 0xff, 0x00, 0x00, 0xff, 0x00,
  0x00, 0x00, 0xff, 0xff, 0x00, 0x00,
};
const LICE_pixel_chan kMask30AA[] = {
  0x00, 0x8f, 0xff, 0xff, 0xff, 0x8f, 0x00,
  0x8f, 0xff, 0x61, 0x40, 0x61, 0xff, 0x8f,
  0xff, 0x70, 0x00, 0x00, 0x00, 0x70, 0xff,
  0xff, 0x30, 0x00, 0x00, 0x00, 0x30, 0xff,
  0xff, 0x70, 0x00, 0x00, 0x00, 0x70, 0xff,
  0x8f, 0xff, 0x61, 0x40, 0x61, 0xff, 0x8f,
  0x00, 0x8f, 0xff, 0xff, 0xff, 0x8f, 0x00,
};
const LICE_pixel_chan kMask30[] = {
  0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00,
  0x00, 0xff, 0x00, 0x00, 0x00, 0xff, 0x00,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0x00, 0xff, 0x00, 0x00, 0x00, 0xff, 0x00,
  0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00,
};
const LICE_pixel_chan kMask35AA[] = {
  0x00, 0x4f, 0xde, 0xff, 0xff, 0xde, 0x4f, 0x00,
  0x4f, 0xff, 0xb0, 0x40, 0x40, 0xb0, 0xff, 0x4f,
  0xde, 0xb0, 0x00, 0x00, 0x00, 0x00, 0xb0, 0xde,
  0xff, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xff,
  0xff, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xff,
  0xde, 0xb0, 0x00, 0x00, 0x00, 0x00, 0xb0, 0xde,
  0x4f, 0xff, 0xb0, 0x40, 0x40, 0xb0, 0xff, 0x4f,
  0x00, 0x4f, 0xde, 0xff, 0xff, 0xde, 0x4f, 0x00,
};
const LICE_pixel_chan kMask35[] = {
  0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00,
  0x00, 0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00,
  0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
  0x00, 0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00,
  0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00,
};
const LICE_pixel_chan kMask40AA[] = {
  0x00, 0x1f, 0xb0, 0xff, 0xff, 0xff, 0xb0, 0x1f, 0x00,
  0x1f, 0xf0, 0xd1, 0x4f, 0x40, 0x4f, 0xd1, 0xf0, 0x1f,
  0xb0, 0xd1, 0x0f, 0x00, 0x00, 0x00, 0x0f, 0xd1, 0xb0,
  0xff, 0x4f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4f, 0xff,
  0xff, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0xff,
  0xff, 0x4f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4f, 0xff,
  0xb0, 0xd1, 0x0f, 0x00, 0x00, 0x00, 0x0f, 0xd1, 0xb0,
  0x1f, 0xf0, 0xd1, 0x4f, 0x40, 0x4f, 0xd1, 0xf0, 0x1f,
  0x00, 0x1f, 0xb0, 0xff, 0xff, 0xff, 0xb0, 0x1f, 0x00,
};
const LICE_pixel_chan kMask40[] = {
  0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00,
  0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff, 0x00,
  0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
  0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
  0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff, 0x00,
  0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00,
};
// clang-format on

struct Mask
{
  float r;
  const LICE_pixel_chan* aa;
  const LICE_pixel_chan* plain;
};
const Mask kMasks[] = {{1.5f, kMask15AA, kMask15}, {2.0f, kMask20AA, kMask20}, {2.5f, kMask25AA, kMask25},
                       {3.0f, kMask30AA, kMask30}, {3.5f, kMask35AA, kMask35}, {4.0f, kMask40AA, kMask40}};

// Beyond 2^24 pixels a float has no fraction left, and no bitmap is that large.
constexpr float kFar = 16777216.0f;

bool circleArgsOk(float cx, float cy, float r)
{
  return std::isfinite(cx) && std::isfinite(cy) && std::isfinite(r) && std::fabs(cx) <= kFar && std::fabs(cy) <= kFar &&
         std::fabs(r) <= kFar;
}

// True when the circle lies wholly outside a w x h bitmap with a margin of 2.
bool whollyOutside(float cx, float cy, float r, int w, int h)
{
  const int64_t icx = (int)cx, icy = (int)cy, ir = (int)r;
  return icx + ir < -2 || icy + ir < -2 || icx - ir > (int64_t)w + 2 || icy - ir > (int64_t)h + 2;
}

// True when every pixel either drawer can touch lies at least a pixel inside the bitmap.
bool needsClip(float cx, float cy, float r, int w, int h)
{
  return !(cx - r - 2 >= 0 && cy - r - 2 >= 0 && (float)w > cx + r + 2 && (float)h > cy + r + 2);
}

constexpr float kPi = 3.1415927f, kTwoPi = 6.2831855f, kHalfPi = 1.5707964f;

} // namespace

void __DrawCircleClipped(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, int ia, bool aa,
                         bool filled, int mode, const int* clip, bool doclip)
{
  // Anti-aliased copy has no exact-weight classes; the plain drawer takes the half mix at 128
  // and plain replacement at 256, as lines do.
  _LICE_WithLineClass(mode & LICE_BLIT_MODE_MASK, ia, !aa, [&](auto tag) {
    typedef _LICE_CircleDrawer<typename decltype(tag)::type> D;
    if (aa)
      D::DrawClippedCircleAA(dest, cx, cy, r, clip, color, ia, filled, doclip);
    else
      D::DrawClippedCircle(dest, cx, cy, r, clip, color, ia, filled, doclip);
  });
}

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa)
{
  if (!dest || !circleArgsOk(cx, cy, r)) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  if (r < 0 || w <= 0 || h <= 0 || whollyOutside(cx, cy, r, w, h)) return;
  for (const Mask& m : kMasks)
    if (r == m.r) {
      const int n = (int)(2 * r + 1);
      LICE_DrawGlyph(dest, (int)(cx - r), (int)(cy - r), color, aa ? m.aa : m.plain, n, n, alpha, mode);
      return;
    }
  if (dest->isFlipped()) cy = (float)(h - 1) - cy;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (!ia) return;
  const int clip[4] = {0, 0, w, h};
  __DrawCircleClipped(dest, cx, cy, r, color, ia, aa, false, mode, clip, needsClip(cx, cy, r, w, h));
}

void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa)
{
  if (!dest || !circleArgsOk(cx, cy, r)) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  if (dest->isFlipped()) cy = (float)(h - 1) - cy;
  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (!ia) return;
  if (r < 0 || w <= 0 || h <= 0 || whollyOutside(cx, cy, r, w, h)) return;
  const int clip[4] = {0, 0, w, h};
  __DrawCircleClipped(dest, cx, cy, r, color, ia, aa, true, mode, clip, needsClip(cx, cy, r, w, h));
}

void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float angle1, float angle2, LICE_pixel color,
              float alpha, int mode, bool aa)
{
  if (!dest || !circleArgsOk(cx, cy, r) || !std::isfinite(angle1) || !std::isfinite(angle2)) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  const float callercy = cy;
  if (dest->isFlipped()) {
    cy = (float)(h - 1) - cy;
    angle1 = kPi - angle1;
    angle2 = kPi - angle2;
  }
  float lo = angle1 < angle2 ? angle1 : angle2, hi = angle1 < angle2 ? angle2 : angle1;
  if (hi - lo >= kTwoPi) {
    LICE_Circle(dest, cx, callercy, r, color, alpha, mode, aa);
    return;
  }
  // Bring the angles within one turn either side of 0, keeping their difference.
  if (hi >= kTwoPi) {
    const float h2 = (float)std::fmod((double)hi, (double)kTwoPi);
    lo = lo - (hi - h2);
    hi = h2;
  } else if (lo <= -kTwoPi) {
    const float l2 = (float)std::fmod((double)lo, (double)kTwoPi);
    hi = hi - (lo - l2);
    lo = l2;
  }
  const int ia = _LICE_Weight((double)alpha * 256.0);
  if (!ia) return;

  const double twoPi = kTwoPi, halfPi = kHalfPi;
  const double a = lo + twoPi, end = hi + twoPi;
  if (end <= a) return;
  auto px = [&](double ang) { return _LICE_TruncToInt(cx + r * std::sin(ang) + 0.5); };
  auto py = [&](double ang) { return _LICE_TruncToInt(cy - r * std::cos(ang) + 0.5); };
  // Within one quarter the arc runs monotonically in x and y, so the box of its end points
  // (one more pixel on the far side unless that side is the centre's own column or row) holds
  // it; the whole circle is drawn clipped to each quarter's box.
  int x0 = px(a), y0 = py(a);
  double q = a - std::fmod(a, halfPi), next;
  do {
    next = end < q + halfPi ? end : q + halfPi;
    const int x1 = px(next), y1 = py(next);
    const int mx = x0 > x1 ? x0 : x1, my = y0 > y1 ? y0 : y1;
    const int64_t right = (int64_t)mx + 1 + ((float)mx != cx ? 1 : 0);
    const int64_t bottom = (int64_t)my + 1 + ((float)my != cy ? 1 : 0);
    const int clip[4] = {x0 < x1 ? (x0 > 0 ? x0 : 0) : (x1 > 0 ? x1 : 0),
                         y0 < y1 ? (y0 > 0 ? y0 : 0) : (y1 > 0 ? y1 : 0), right < w ? (int)right : w,
                         bottom < h ? (int)bottom : h};
    __DrawCircleClipped(dest, cx, cy, r, color, ia, aa, false, mode, clip, true);
    x0 = x1, y0 = y1, q = next;
  } while (end > next);
}

void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius, LICE_pixel color,
                    float alpha, int mode, bool aa)
{
  if (!dest || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) return;
  if (cornerradius > 0) {
    float k = (float)cornerradius;
    if ((double)k > (double)w * 0.5) k = (float)((double)w * 0.5);
    if ((double)k > (double)h * 0.5) k = (float)((double)h * 0.5);
    k = std::floor(k);
    if (k >= 2) {
      auto T = [](float v) { return _LICE_TruncToInt(v); };
      LICE_Line(dest, T(x + k), T(y), T(x + w - k), T(y), color, alpha, mode, aa);
      LICE_Line(dest, T(x + k - 1), T(y + h), T(x + w - k), T(y + h), color, alpha, mode, aa);
      LICE_Line(dest, T(x + w), T(y + k), T(x + w), T(y + h - k), color, alpha, mode, aa);
      LICE_Line(dest, T(x), T(y + k - 1), T(x), T(y + h - k), color, alpha, mode, aa);
      LICE_Arc(dest, x + k, y + k, k, -kHalfPi, 0.0f, color, alpha, mode, aa);
      LICE_Arc(dest, x + w - k, y + k, k, 0.0f, kHalfPi, color, alpha, mode, aa);
      LICE_Arc(dest, x + w - k, y + h - k, k, kHalfPi, kPi, color, alpha, mode, aa);
      LICE_Arc(dest, x + k, y + h - k, k, kPi, 4.712389f, color, alpha, mode, aa);
      return;
    }
  }
  LICE_DrawRect(dest, _LICE_TruncToInt(x), _LICE_TruncToInt(y), _LICE_TruncToInt(w), _LICE_TruncToInt(h), color, alpha,
                mode);
}
