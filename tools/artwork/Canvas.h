// Canvas: the artwork generator's drawing surface. Shapes are given as signed distance functions and
// painted with one pixel of anti-aliasing, composited source-over in premultiplied floating point; text
// comes from the editor's own font path (LICE_CachedFont over the GDI emulation). The result converts to
// a raster bitmap with straight alpha, the form the PNG writer and the editor's loader use.
//
// Everything is pure arithmetic on the inputs, so the same program writes the same bytes every run.
#pragma once

#include "raster/lice.h"

#include <cmath>
#include <memory>
#include <vector>

namespace art {

// A colour with straight alpha, components 0..1.
struct Color
{
  float r = 0, g = 0, b = 0, a = 1;
  Color() = default;
  constexpr Color(float r_, float g_, float b_, float a_ = 1.0f) : r(r_), g(g_), b(b_), a(a_) {}
  Color withAlpha(float alpha) const { return Color(r, g, b, a * alpha); }
  // Mixed toward other by t (0 = this).
  Color mix(const Color& o, float t) const
  {
    return Color(r + (o.r - r) * t, g + (o.g - g) * t, b + (o.b - b) * t, a + (o.a - a) * t);
  }
  Color scaled(float k) const { return Color(r * k > 1 ? 1 : r * k, g * k > 1 ? 1 : g * k, b * k > 1 ? 1 : b * k, a); }
};

// #rrggbb
constexpr Color hex(unsigned rgb, float a = 1.0f)
{
  return Color(((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, a);
}

// Signed distances (negative inside) of the shapes the artwork is made of; coordinates in pixels.
inline float sdCircle(float px, float py, float cx, float cy, float r)
{
  return std::hypot(px - cx, py - cy) - r;
}
inline float sdRoundRect(float px, float py, float x, float y, float w, float h, float radius)
{
  const float hx = w * 0.5f, hy = h * 0.5f;
  const float qx = std::fabs(px - (x + hx)) - hx + radius, qy = std::fabs(py - (y + hy)) - hy + radius;
  const float ox = qx > 0 ? qx : 0, oy = qy > 0 ? qy : 0;
  const float inside = qx > qy ? qx : qy;
  return std::hypot(ox, oy) + (inside < 0 ? inside : 0) - radius;
}
// A stroke of half-width hw along the segment (round ends).
inline float sdSegment(float px, float py, float x1, float y1, float x2, float y2, float hw)
{
  const float dx = x2 - x1, dy = y2 - y1;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((px - x1) * dx + (py - y1) * dy) / len2 : 0;
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy)) - hw;
}
// A stroke of half-width hw along the circle of radius r from angle a0 to a1 (radians, 0 pointing up,
// growing clockwise, a0 <= a1), with round ends.
float sdArc(float px, float py, float cx, float cy, float r, float a0, float a1, float hw);

class Canvas
{
public:
  Canvas(int w, int h);
  int width() const { return mW; }
  int height() const { return mH; }

  // Source-over of colour c at coverage cov (0..1) onto one pixel; pixels outside are ignored.
  void blend(int x, int y, const Color& c, float cov);
  // Paints a shape: dist(px, py) its signed distance at the pixel centre, colour(px, py) its paint.
  template <class Dist, class Paint> void shape(float x0, float y0, float x1, float y1, Dist dist, Paint colour)
  {
    const int ix0 = (int)std::floor(x0) - 1, iy0 = (int)std::floor(y0) - 1;
    const int ix1 = (int)std::ceil(x1) + 1, iy1 = (int)std::ceil(y1) + 1;
    for (int y = iy0 < 0 ? 0 : iy0; y < (iy1 > mH ? mH : iy1); ++y)
      for (int x = ix0 < 0 ? 0 : ix0; x < (ix1 > mW ? mW : ix1); ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        const float d = dist(px, py);
        float cov = 0.5f - d;
        if (cov <= 0) continue;
        blend(x, y, colour(px, py), cov > 1 ? 1 : cov);
      }
  }
  template <class Dist> void shape(float x0, float y0, float x1, float y1, Dist dist, const Color& c)
  {
    shape(x0, y0, x1, y1, dist, [&](float, float) { return c; });
  }

  // Solid and vertically graded rectangles on whole pixels.
  void fillRect(int x, int y, int w, int h, const Color& c);
  void gradRect(int x, int y, int w, int h, const Color& top, const Color& bottom);
  void roundRect(float x, float y, float w, float h, float radius, const Color& c);
  void gradRoundRect(float x, float y, float w, float h, float radius, const Color& top, const Color& bottom);
  // A one-pixel outline just inside the rounded rectangle.
  void roundRectEdge(float x, float y, float w, float h, float radius, const Color& c, float width = 1.0f);
  void disc(float cx, float cy, float r, const Color& c);
  // A soft halo: colour c fading from radius r0 (full) to r1 (none).
  void glow(float cx, float cy, float r0, float r1, const Color& c);
  void line(float x1, float y1, float x2, float y2, float width, const Color& c);
  void hline(int x0, int x1, int y, const Color& c) { fillRect(x0, y, x1 - x0, 1, c); }

  // Text in the editor's sans face ("Arial"), size in pixels, bold or not, placed in the box (x, y, w, h):
  // align 0 left, 1 centre, 2 right; vertically centred on the box. Returns the text's width.
  int text(const char* str, int x, int y, int w, int h, int size, bool bold, const Color& c, int align = 1);
  static int textWidth(const char* str, int size, bool bold);

  // Straight-alpha raster bitmap of the canvas.
  std::unique_ptr<LICE_MemBitmap> toBitmap() const;

private:
  int mW, mH;
  std::vector<float> mPx; // premultiplied r, g, b, a per pixel
};

} // namespace art
