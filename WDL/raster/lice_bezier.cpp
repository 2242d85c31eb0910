// Quadratic and cubic Bezier curves as chains of chords, and fills between a cubic curve and a
// row or a column.
#include "lice_lines.h"

#include <cmath>
#include <initializer_list>
#include <utility>

namespace {

// More chords than this add nothing a bitmap can show and would let an absurd tolerance stall
// the caller.
constexpr int kMaxChords = 65536;

bool allFinite(std::initializer_list<float> v)
{
  for (float f : v)
    if (!std::isfinite(f)) return false;
  return true;
}

// Chords for a control polygon of length len over the parameter range trange: one per tol
// pixels (tol <= 0 counts as 1), at least 1.
int chordCount(double len, double trange, float tol)
{
  if (!(tol > 0)) tol = 1.0f;
  const double n = std::trunc(len * trange / tol);
  if (!(n >= 1)) return 1;
  return n > kMaxChords ? kMaxChords : (int)n;
}

// Length of one leg of a control polygon: the sum of squares in single precision, the root in
// double.
double legLength(float ax, float ay, float bx, float by)
{
  const float dx = bx - ax, dy = by - ay;
  return std::sqrt((double)(dx * dx + dy * dy));
}

// A cubic in power form, X(t) = ax t^3 + bx t^2 + cx t + dx and the same in y, from its start,
// controls and end; coordinate differences in single precision, the rest in double.
struct Cubic
{
  double ax, bx, cx, dx, ay, by, cy, dy;

  Cubic(float sx, float sy, float c1x, float c1y, float c2x, float c2y, float ex, float ey)
  {
    cx = 3.0 * (double)(c1x - sx);
    bx = 3.0 * (double)(c2x - c1x) - cx;
    ax = (double)(ex - sx) - cx - bx;
    dx = sx;
    cy = 3.0 * (double)(c1y - sy);
    by = 3.0 * (double)(c2y - c1y) - cy;
    ay = (double)(ey - sy) - cy - by;
    dy = sy;
  }
  double X(double t) const { return ((ax * t + bx) * t + cx) * t + dx; }
  double Y(double t) const { return ((ay * t + by) * t + cy) * t + dy; }
};

int tr(double v)
{
  return _LICE_TruncToInt(v);
}
int plus1(int v)
{
  return _LICE_SatInt((int64_t)v + 1);
}

// A cubic ordered so that x grows (xbasis) or y grows from start to end, with its parameter
// range and end points clipped to the bitmap's columns (x basis only). Returns the number of
// parameter steps, 0 when nothing is left to draw.
struct CubicPrep
{
  Cubic c{0, 0, 0, 0, 0, 0, 0, 0};
  float xstart = 0, xend = 0, ystart = 0, yend = 0;
  double tlo = 0, thi = 1;
};

int CBezPrep(LICE_IBitmap* dest, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
             float tol, bool xbasis, CubicPrep& p)
{
  if (!dest || !allFinite({x0, y0, x1, y1, x2, y2, x3, y3})) return 0;
  const int W = dest->getWidth();
  if (xbasis ? x0 > x3 : y0 > y3) {
    std::swap(x0, x3), std::swap(y0, y3);
    std::swap(x1, x2), std::swap(y1, y2);
  }
  p.c = Cubic(x0, y0, x1, y1, x2, y2, x3, y3);
  p.xstart = x0, p.xend = x3, p.ystart = y0, p.yend = y3;
  p.tlo = 0, p.thi = 1;
  if (xbasis) {
    // The start takes the upper end of its bisection bracket and the end the lower one, so the
    // stepped range stays inside the columns.
    if (p.xstart < 0) {
      p.xstart = 0;
      p.ystart = LICE_CBezier_GetY<float>(x0, x1, x2, x3, y0, y1, y2, y3, 0.0f, nullptr, nullptr, nullptr, &p.tlo);
    }
    if (p.xend > (float)W) {
      p.xend = (float)W;
      p.yend = LICE_CBezier_GetY<float>(x0, x1, x2, x3, y0, y1, y2, y3, (float)W, nullptr, nullptr, &p.thi, nullptr);
    }
    if (p.xstart > p.xend) return 0;
  } else if (p.ystart > p.yend)
    return 0;
  const double len = legLength(x0, y0, x1, y1) + legLength(x1, y1, x2, y2) + legLength(x2, y2, x3, y3);
  return chordCount(len, p.thi - p.tlo, tol);
}

// One step of a fill toward row yfill: the columns x1..x2 between the chord (x1, y1)-(x2, y2)
// and the base row.
void DoBezierFillSegment(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int yfill, LICE_pixel color, float alpha,
                         int mode)
{
  if (x2 < x1) return;
  if (x2 == x1) {
    const int top = y1 < yfill ? y1 : yfill;
    int bottom = y2 > yfill ? y2 : yfill;
    if (bottom != yfill) --bottom;
    LICE_Line(dest, x1, top, x1, bottom, color, alpha, mode, false);
    return;
  }
  if ((yfill > y1) != (yfill > y2)) {
    // The chord crosses the base row at xc: a triangle on each side.
    const int xc = _LICE_SatInt((int64_t)x1 + tr(((double)x2 - x1) * ((double)yfill - y1) / ((double)y2 - y1)));
    const int e = y1 < yfill ? plus1(yfill) : yfill, f = y2 < yfill ? plus1(yfill) : yfill;
    LICE_FillTriangle(dest, x1, y1, x1, e, xc, e, color, alpha, mode);
    LICE_FillTriangle(dest, xc, f, x2, f, x2, y2, color, alpha, mode);
    return;
  }
  const int b = y1 < yfill ? plus1(yfill) : yfill;
  const int xs[4] = {x1, x1, x2, x2}, ys[4] = {y1, b, y2, b};
  LICE_FillConvexPolygon(dest, xs, ys, 4, color, alpha, mode);
}

// The same toward column xfill, for the rows y1..y2.
void DoBezierFillSegmentX(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int xfill, LICE_pixel color, float alpha,
                          int mode)
{
  if (y2 < y1) return;
  if (y2 == y1) {
    const int left = x1 < xfill ? x1 : xfill;
    int right = x2 > xfill ? x2 : xfill;
    if (right != xfill) --right;
    LICE_Line(dest, left, y1, right, y1, color, alpha, mode, false);
    return;
  }
  if ((xfill > x1) != (xfill > x2)) {
    const int yc = _LICE_SatInt((int64_t)y1 + tr(((double)y2 - y1) * ((double)xfill - x1) / ((double)x2 - x1)));
    const int e = x1 < xfill ? plus1(xfill) : xfill, f = x2 < xfill ? plus1(xfill) : xfill;
    LICE_FillTriangle(dest, x1, y1, e, y1, e, yc, color, alpha, mode);
    LICE_FillTriangle(dest, f, yc, f, y2, x2, y2, color, alpha, mode);
    return;
  }
  const int c = x1 < xfill ? plus1(xfill) : xfill, yb = plus1(y2);
  const int xs[4] = {x1, c, x2, c}, ys[4] = {y1, y1, yb, yb};
  LICE_FillConvexPolygon(dest, xs, ys, 4, color, alpha, mode);
}

} // namespace

template <class T> T LICE_Bezier_GetY(T x1, T x2, T x3, T y1, T y2, T y3, T x, double* t)
{
  if (x1 >= x) {
    if (t) *t = 0.0;
    return y1;
  }
  if (x >= x3) {
    if (t) *t = 1.0;
    return y3;
  }
  const double a = (double)x3 + (double)(T)(-2 * x2) + (double)x1;
  double tv;
  if (a != 0.0) {
    // The root of the quadratic formula with the positive square root: the crossing when x
    // grows along the curve.
    const double b = (double)x2 - (double)x1;
    tv = (std::sqrt(b * b - ((double)x1 - (double)x) * a) - b) / a;
  } else
    tv = x1 != x3 ? (double)(T)((x - x1) / (x3 - x1)) : 0.0;
  if (t) *t = tv;
  const double it = 1.0 - tv;
  return (T)(((double)y3 * tv + (double)y2 * 2.0 * it) * tv + (double)y1 * it * it);
}

template <class T>
T LICE_CBezier_GetY(T x1, T x2, T x3, T x4, T y1, T y2, T y3, T y4, T x, T* nextx, T* dydx, double* tlo, double* thi)
{
  if (x1 > x) {
    if (nextx) *nextx = x1;
    if (dydx) *dydx = 0;
    return y1;
  }
  if (x >= x4) {
    if (nextx) *nextx = x4;
    if (dydx) *dydx = 0;
    return y4;
  }
  const double cx = 3.0 * (double)(T)(x2 - x1), bx = 3.0 * (double)(T)(x3 - x2) - cx,
               ax = (double)(T)(x4 - x1) - cx - bx;
  const double cy = 3.0 * (double)(T)(y2 - y1), by = 3.0 * (double)(T)(y3 - y2) - cy,
               ay = (double)(T)(y4 - y1) - cy - by;
  auto X = [&](double t) { return ((ax * t + bx) * t + cx) * t + (double)x1; };
  auto Y = [&](double t) { return ((ay * t + by) * t + cy) * t + (double)y1; };

  // Eight rounds of bisection at most: the bracket ends 1/256 of the parameter range apart.
  double lo = 0.0, hi = 1.0, xlo = 0.0, xhi = 0.0;
  for (int i = 0; i < 8; ++i) {
    const double t = (lo + hi) * 0.5, xt = X(t);
    if (xt < x) {
      lo = t;
      xlo = xt;
    } else if (xt > x) {
      hi = t;
      xhi = xt;
    } else if (xt == x) {
      lo = t;
      xlo = xt;
      hi = t + 1.0 / 256.0 < 1.0 ? t + 1.0 / 256.0 : 1.0;
      xhi = X(hi);
      break;
    }
  }
  if (lo == 0.0) xlo = X(0.0);
  if (hi == 1.0) xhi = (double)x1 + cx + bx + ax;
  const double ylo = Y(lo);
  const double slope = xhi == xlo ? 0.0 : (Y(hi) - ylo) / (xhi - xlo);
  if (nextx) *nextx = (T)xhi;
  if (dydx) *dydx = (T)slope;
  if (tlo) *tlo = lo;
  if (thi) *thi = hi;
  return (T)(ylo + ((double)x - xlo) * slope);
}

template float LICE_Bezier_GetY<float>(float, float, float, float, float, float, float, double*);
template double LICE_Bezier_GetY<double>(double, double, double, double, double, double, double, double*);
template float LICE_CBezier_GetY<float>(float, float, float, float, float, float, float, float, float, float*, float*,
                                        double*, double*);
template double LICE_CBezier_GetY<double>(double, double, double, double, double, double, double, double, double,
                                          double*, double*, double*, double*);

void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl, float xend, float yend,
                      LICE_pixel color, float alpha, int mode, bool aa, float tol)
{
  if (!dest || !allFinite({xstart, ystart, xctl, yctl, xend, yend})) return;
  const int W = dest->getWidth();
  if (xstart > xend) {
    std::swap(xstart, xend);
    std::swap(ystart, yend);
  }
  const float Ax = xstart, Ay = ystart, Cx = xctl, Cy = yctl, Bx = xend, By = yend;
  double t0 = 0.0, t1 = 1.0;
  float sx = Ax, sy = Ay, ex = Bx, ey = By;
  if (Ax < 0) {
    sx = 0;
    sy = LICE_Bezier_GetY<float>(Ax, Cx, Bx, Ay, Cy, By, 0.0f, &t0);
  }
  if (Bx >= (float)W) {
    ex = (float)(W - 1);
    ey = LICE_Bezier_GetY<float>(Ax, Cx, Bx, Ay, Cy, By, ex, &t1);
  }
  if (sx > ex) return;
  const int n = chordCount(legLength(Ax, Ay, Cx, Cy) + legLength(Cx, Cy, Bx, By), t1 - t0, tol);

  float px = sx, py = sy;
  if (n >= 2) {
    const double dt = (t1 - t0) / n;
    double t = t0;
    for (int i = 1; i < n; ++i) {
      t += dt;
      const double it = 1.0 - t;
      const float qx = (float)(it * it * Ax + 2.0 * t * it * Cx + t * t * Bx);
      const float qy = (float)(it * it * Ay + 2.0 * t * it * Cy + t * t * By);
      LICE_FLine(dest, px, py, qx, qy, color, alpha, mode, aa);
      px = qx, py = qy;
    }
  }
  LICE_FLine(dest, px, py, ex, ey, color, alpha, mode, aa);
}

void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, LICE_pixel color, float alpha, int mode, bool aa, float tol)
{
  CubicPrep p;
  const int n = CBezPrep(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, tol, true, p);
  if (!n) return;
  // n - 2 inner points: the last chord spans two parameter steps.
  float px = p.xstart, py = p.ystart;
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    double t = p.tlo;
    for (int i = 2; i < n; ++i) {
      t += dt;
      const float qx = (float)p.c.X(t), qy = (float)p.c.Y(t);
      LICE_FLine(dest, px, py, qx, qy, color, alpha, mode, aa);
      px = qx, py = qy;
    }
  }
  LICE_FLine(dest, px, py, p.xend, p.yend, color, alpha, mode, aa);
}

void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, int yfill, LICE_pixel color, float alpha, int mode,
                      float tol)
{
  CubicPrep p;
  const int n = CBezPrep(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, tol, true, p);
  if (!n) return;
  // Each column from trunc(xstart) to trunc(xend - 1) goes to exactly one step.
  int px = tr(p.xstart), py = tr(p.ystart + 0.5f);
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    double t = p.tlo;
    for (int i = 2; i < n; ++i) {
      t += dt;
      const int xi = tr((float)p.c.X(t));
      if (xi < px) continue;
      const int yi = tr((double)(float)p.c.Y(t) + 0.5);
      DoBezierFillSegment(dest, px, py, xi, yi, yfill, color, alpha, mode);
      px = plus1(xi);
      py = yi;
    }
  }
  const int xe = tr((double)p.xend - 1.0);
  if (xe >= px) DoBezierFillSegment(dest, px, py, xe, tr((double)p.yend + 0.5), yfill, color, alpha, mode);
}

void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                       float yctl2, float xend, float yend, int xfill, LICE_pixel color, float alpha, int mode,
                       float tol)
{
  CubicPrep p;
  const int n = CBezPrep(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, tol, false, p);
  if (!n) return;
  // Each row from trunc(ystart) to trunc(yend - 1) goes to exactly one step.
  int px = tr(p.xstart + 0.5f), py = tr(p.ystart);
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    double t = p.tlo;
    for (int i = 2; i < n; ++i) {
      t += dt;
      const int yi = tr((float)p.c.Y(t));
      if (yi < py) continue;
      const int xi = tr((double)(float)p.c.X(t) + 0.5);
      DoBezierFillSegmentX(dest, px, py, xi, yi, xfill, color, alpha, mode);
      py = plus1(yi);
      px = xi;
    }
  }
  const int ye = tr((double)p.yend - 1.0);
  if (ye >= py) DoBezierFillSegmentX(dest, px, py, tr((double)p.xend + 0.5), ye, xfill, color, alpha, mode);
}
