#include "Canvas.h"

#include "raster/lice_text.h"

#include <cstring>
#include <map>
#include <utility>

namespace art {

namespace {

// One raster font per (size, bold), made the way the editor makes its fonts: the requested height first,
// then once more scaled so that the line height matches the size asked for.
LICE_CachedFont* fontFor(int size, bool bold)
{
  static std::map<std::pair<int, bool>, std::unique_ptr<LICE_CachedFont>> fonts;
  auto& slot = fonts[{size, bold}];
  if (slot) return slot.get();
  auto make = [&](int h) {
    return CreateFont(h, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, 0, 0, 0, 4, 0, "Arial");
  };
  HGDIOBJ hf = make(size);
  if (!hf) return nullptr;
  slot.reset(new LICE_CachedFont());
  slot->SetFromHFont(hf, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  const int lh = slot->GetLineHeight();
  if (lh > 0 && lh != size) {
    const int h2 = (int)((double)size * size / lh + 0.5);
    if (HGDIOBJ second = make(h2 < 2 ? 2 : h2))
      slot->SetFromHFont(second, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  }
  return slot.get();
}
} // namespace

float sdArc(float px, float py, float cx, float cy, float r, float a0, float a1, float hw)
{
  const float dx = px - cx, dy = py - cy;
  float a = std::atan2(dx, -dy); // 0 up, clockwise positive, -pi..pi
  if (a >= a0 && a <= a1) return std::fabs(std::hypot(dx, dy) - r) - hw;
  // Outside the sweep: the nearer round end.
  const float e0 = std::hypot(px - (cx + r * std::sin(a0)), py - (cy - r * std::cos(a0)));
  const float e1 = std::hypot(px - (cx + r * std::sin(a1)), py - (cy - r * std::cos(a1)));
  return (e0 < e1 ? e0 : e1) - hw;
}

Canvas::Canvas(int w, int h) : mW(w), mH(h), mPx((size_t)w * h * 4, 0.0f) {}

void Canvas::blend(int x, int y, const Color& c, float cov)
{
  if (x < 0 || y < 0 || x >= mW || y >= mH) return;
  const float a = c.a * cov;
  if (a <= 0) return;
  float* p = &mPx[((size_t)y * mW + x) * 4];
  const float k = 1.0f - a;
  p[0] = c.r * a + p[0] * k;
  p[1] = c.g * a + p[1] * k;
  p[2] = c.b * a + p[2] * k;
  p[3] = a + p[3] * k;
}

void Canvas::fillRect(int x, int y, int w, int h, const Color& c)
{
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) blend(i, j, c, 1.0f);
}

void Canvas::gradRect(int x, int y, int w, int h, const Color& top, const Color& bottom)
{
  for (int j = 0; j < h; ++j) {
    const Color c = top.mix(bottom, h > 1 ? (float)j / (float)(h - 1) : 0.0f);
    for (int i = x; i < x + w; ++i) blend(i, y + j, c, 1.0f);
  }
}

void Canvas::roundRect(float x, float y, float w, float h, float radius, const Color& c)
{
  shape(x, y, x + w, y + h, [=](float px, float py) { return sdRoundRect(px, py, x, y, w, h, radius); }, c);
}

void Canvas::gradRoundRect(float x, float y, float w, float h, float radius, const Color& top, const Color& bottom)
{
  shape(
      x, y, x + w, y + h, [=](float px, float py) { return sdRoundRect(px, py, x, y, w, h, radius); },
      [=](float, float py) {
        float t = h > 1 ? (py - y) / h : 0;
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        return top.mix(bottom, t);
      });
}

void Canvas::roundRectEdge(float x, float y, float w, float h, float radius, const Color& c, float width)
{
  shape(
      x, y, x + w, y + h,
      [=](float px, float py) {
        const float d = sdRoundRect(px, py, x, y, w, h, radius);
        return std::fabs(d + width * 0.5f) - width * 0.5f;
      },
      c);
}

void Canvas::disc(float cx, float cy, float r, const Color& c)
{
  shape(cx - r, cy - r, cx + r, cy + r, [=](float px, float py) { return sdCircle(px, py, cx, cy, r); }, c);
}

void Canvas::glow(float cx, float cy, float r0, float r1, const Color& c)
{
  for (int y = (int)(cy - r1) - 1; y <= (int)(cy + r1) + 1; ++y)
    for (int x = (int)(cx - r1) - 1; x <= (int)(cx + r1) + 1; ++x) {
      const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
      if (d >= r1) continue;
      float t = d <= r0 ? 1.0f : 1.0f - (d - r0) / (r1 - r0);
      blend(x, y, c, t * t);
    }
}

void Canvas::line(float x1, float y1, float x2, float y2, float width, const Color& c)
{
  const float hw = width * 0.5f;
  shape((x1 < x2 ? x1 : x2) - hw, (y1 < y2 ? y1 : y2) - hw, (x1 > x2 ? x1 : x2) + hw, (y1 > y2 ? y1 : y2) + hw,
        [=](float px, float py) { return sdSegment(px, py, x1, y1, x2, y2, hw); }, c);
}

int Canvas::textWidth(const char* str, int size, bool bold)
{
  LICE_CachedFont* font = fontFor(size, bold);
  if (!font || !str || !*str) return 0;
  RECT r = {0, 0, 0, 0};
  font->DrawText(nullptr, str, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  return r.right - r.left;
}

int Canvas::text(const char* str, int x, int y, int w, int h, int size, bool bold, const Color& c, int align)
{
  LICE_CachedFont* font = fontFor(size, bold);
  if (!font || !str || !*str || w <= 0 || h <= 0) return 0;
  // White ink on black gives the coverage in every colour byte.
  LICE_SysBitmap ink(w, h);
  LICE_Clear(&ink, LICE_RGBA(0, 0, 0, 255));
  font->SetTextColor(LICE_RGBA(255, 255, 255, 255));
  font->SetBkMode(TRANSPARENT);
  RECT r = {0, 0, w, h};
  unsigned flags = DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER;
  if (align == 1) flags |= DT_CENTER;
  if (align == 2) flags |= DT_RIGHT;
  font->DrawText(&ink, str, -1, &r, flags);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const LICE_pixel p = LICE_GetPixel(&ink, i, j);
      const float cov = LICE_GETG(p) / 255.0f;
      if (cov > 0) blend(x + i, y + j, c, cov);
    }
  return textWidth(str, size, bold);
}

std::unique_ptr<LICE_MemBitmap> Canvas::toBitmap() const
{
  std::unique_ptr<LICE_MemBitmap> bm(new LICE_MemBitmap(mW, mH));
  auto byte = [](float v) {
    const int b = (int)(v * 255.0f + 0.5f);
    return b < 0 ? 0 : b > 255 ? 255 : b;
  };
  for (int y = 0; y < mH; ++y)
    for (int x = 0; x < mW; ++x) {
      const float* p = &mPx[((size_t)y * mW + x) * 4];
      const float a = p[3];
      if (a <= 0.0f) {
        LICE_SetPixel(bm.get(), x, y, LICE_RGBA(0, 0, 0, 0));
        continue;
      }
      LICE_SetPixel(bm.get(), x, y, LICE_RGBA(byte(p[0] / a), byte(p[1] / a), byte(p[2] / a), byte(a)));
    }
  return bm;
}

} // namespace art
