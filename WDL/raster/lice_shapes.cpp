// Rectangle outlines, trapezoid fills and convex polygons built from trapezoids.
#include "lice_lines.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace {

// Edge positions are 64-bit so that slopes of up to 8192 pixels per row, accumulated over the
// rows of any bitmap from any int start, cannot overflow.
typedef int64_t EdgeX;

// The fill between two edges stepped row by row in 16.16: each row gets the pixels
// max(xl, 0) .. min(xr, wid) - 1 (xr is exclusive); then each edge adds its slope magnitude to
// its fraction and moves by the whole pixels, in the direction of its sign. With both slopes
// 0, px already points at the first pixel and xr is the number of pixels per row.
template <class ROW>
void fillRows(int wid, int span, LICE_pixel* px, int rows, EdgeX xl, EdgeX xr, int stepl, int stepr, int accl, int accr,
              int signl, int signr, ROW&& row)
{
  if (!stepl && !stepr) {
    for (; rows > 0; --rows, px += span) row(px, (int)xr);
    return;
  }
  for (; rows > 0; --rows, px += span) {
    const EdgeX l = xl > 0 ? xl : 0, r = xr < wid ? xr : wid;
    if (r > l) row(px + l, (int)(r - l));
    accl += stepl;
    if (accl >= 65536) {
      xl += signl * (EdgeX)(accl >> 16);
      accl &= 0xffff;
    }
    accr += stepr;
    if (accr >= 65536) {
      xr += signr * (EdgeX)(accr >> 16);
      accr &= 0xffff;
    }
  }
}

// Row loops of the trapezoid fill: whole-pixel classes take a prepared source value,
// per-channel classes the colour's channels and the weight.
template <class COMBFUNC> class _LICE_FillFast
{
public:
  static void FillClippedTrapezoidFAST(int wid, int span, LICE_pixel* px, int rows, EdgeX xl, EdgeX xr, int stepl,
                                       int stepr, int accl, int accr, int signl, int signr, LICE_pixel src)
  {
    fillRows(wid, span, px, rows, xl, xr, stepl, stepr, accl, accr, signl, signr, [src](LICE_pixel* p, int n) {
      for (; n > 0; --n) COMBFUNC::doPixFAST(p++, src);
    });
  }
};

template <class COMBFUNC> class _LICE_Fill
{
public:
  static void FillClippedTrapezoid(int wid, int span, LICE_pixel* px, int rows, EdgeX xl, EdgeX xr, int stepl,
                                   int stepr, int accl, int accr, int signl, int signr, int r, int g, int b, int a,
                                   int ia)
  {
    fillRows(wid, span, px, rows, xl, xr, stepl, stepr, accl, accr, signl, signr, [=](LICE_pixel* p, int n) {
      for (; n > 0; --n) COMBFUNC::doPix(reinterpret_cast<LICE_pixel_chan*>(p++), r, g, b, a, ia);
    });
  }
};

// The trapezoid fill on stored rows (no mirroring of a flipped bitmap): the polygon fill mirrors
// its points once and then fills through here.
void fillTrapezoidStored(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color,
                         float alpha, int mode)
{
  if (!dest) return;
  if (y1 > y2) {
    std::swap(y1, y2);
    std::swap(x1a, x2a);
    std::swap(x1b, x2b);
  }
  EdgeX Lt = x1a < x1b ? x1a : x1b, Rt = x1a < x1b ? x1b : x1a;
  EdgeX Lb = x2a < x2b ? x2a : x2b, Rb = x2a < x2b ? x2b : x2a;
  const int yt = y1, yb = y2;
  const int w = dest->getWidth(), h = dest->getHeight();
  if ((Rt < 0 && Rb < 0) || (Lt >= w && Lb >= w) || yb < 0 || yt >= h) return;
  LICE_pixel* bits = dest->getBits();
  if (!bits) return;

  const int ia = _LICE_Weight((double)alpha * 256.0);
  const int op = mode & LICE_BLIT_MODE_MASK;
  if (ia == 0 || op > LICE_BLIT_MODE_HSVADJ || (op == LICE_BLIT_MODE_COPY && ia < 0)) return;

  // An edge wholly beyond the left or right side becomes that side, straight down.
  if (Lt <= 0 && Lb <= 0) Lt = Lb = 0;
  if (Rt >= w - 1 && Rb >= w - 1) Rt = Rb = w - 1;
  const double s = yb == yt ? 0.0 : 65536.0 / ((double)yb - (double)yt);
  auto slope = [s](EdgeX from, EdgeX to) {
    double v = (double)(to - from) * s;
    v = v < -536870912.0 ? -536870912.0 : v > 536870912.0 ? 536870912.0 : v;
    return (int)v;
  };
  const int sl = slope(Lt, Lb), sr = slope(Rt, Rb);
  const int stepl = sl < 0 ? -sl : sl, stepr = sr < 0 ? -sr : sr;
  const int signl = sl < 0 ? -1 : 1, signr = sr < 0 ? -1 : 1;

  int first = yt, accl = 0, accr = 0;
  EdgeX xl = Lt, xr = Rt;
  if (yt < 0) {
    // Rows above the bitmap: both edges advance by their slope times the skipped rows.
    const int64_t advl = (int64_t)stepl * -(int64_t)yt, advr = (int64_t)stepr * -(int64_t)yt;
    xl += signl * (advl >> 16);
    accl = (int)(advl & 0xffff);
    xr += signr * (advr >> 16);
    accr = (int)(advr & 0xffff);
    first = 0;
  }
  const int last = yb < h - 1 ? yb : h - 1;
  const int rows = last - first + 1;
  const int span = dest->getRowSpan();
  LICE_pixel* px = bits + (int64_t)first * span;

  EdgeX right = xr + 1;
  if (!stepl && !stepr) {
    // A rectangle: one counted run per row.
    const EdgeX l = xl > 0 ? xl : 0, r = right < w ? right : w;
    if (r <= l) return;
    px += l;
    right = r - l;
  }

  const int r = LICE_GETR(color), g = LICE_GETG(color), b = LICE_GETB(color), a = LICE_GETA(color);
  if (op == LICE_BLIT_MODE_COPY) {
    switch (ia) {
    case 256:
      return _LICE_FillFast<_LICE_CombinePixelsClobberFAST>::FillClippedTrapezoidFAST(
          w, span, px, rows, xl, right, stepl, stepr, accl, accr, signl, signr, color);
    case 128:
      return _LICE_FillFast<_LICE_CombinePixelsHalfMix2FAST>::FillClippedTrapezoidFAST(
          w, span, px, rows, xl, right, stepl, stepr, accl, accr, signl, signr, _LICE_FastCopy::half(color));
    case 64:
      return _LICE_FillFast<_LICE_CombinePixelsQuarterMix2FAST>::FillClippedTrapezoidFAST(
          w, span, px, rows, xl, right, stepl, stepr, accl, accr, signl, signr, _LICE_FastCopy::quarter(color));
    case 192:
      return _LICE_FillFast<_LICE_CombinePixelsThreeQuarterMix2FAST>::FillClippedTrapezoidFAST(
          w, span, px, rows, xl, right, stepl, stepr, accl, accr, signl, signr, _LICE_FastCopy::threeQuarters(color));
    default:
      break;
    }
  }
  LICE_WithCombineClass(op, [&](auto tag) {
    _LICE_Fill<typename decltype(tag)::type>::FillClippedTrapezoid(w, span, px, rows, xl, right, stepl, stepr, accl,
                                                                   accr, signl, signr, r, g, b, a, ia);
  });
}

// Orders (x, y) pairs by y, then x.
int _ysort(const void* p, const void* q)
{
  const int* a = static_cast<const int*>(p);
  const int* b = static_cast<const int*>(q);
  if (a[1] != b[1]) return a[1] < b[1] ? -1 : 1;
  if (a[0] != b[0]) return a[0] < b[0] ? -1 : 1;
  return 0;
}

// The next vertex of a chain from point from of the sorted list: among the later points not on
// from's row, the one whose edge slope (dx per row) is smallest (dir < 0, the left chain) or
// largest (dir > 0, the right chain), the farthest of equal slopes. from itself when there is
// none: the chain has reached the bottom.
int FindNextEdgeVertex(int* pts, int from, int n, int dir)
{
  const int fx = pts[2 * from], fy = pts[2 * from + 1];
  int best = from;
  float bestSlope = 0.0f;
  for (int i = from + 1; i < n; ++i) {
    const int x = pts[2 * i], y = pts[2 * i + 1];
    if (y == fy) continue;
    const float sl = (float)((int64_t)x - fx) / (float)((int64_t)y - fy);
    if (best == from || sl == bestSlope || (dir < 0 ? sl < bestSlope : sl > bestSlope)) {
      best = i;
      bestSlope = sl;
    }
  }
  return best;
}

// x of the edge from point p to point q at row v: the upper point's x above it, the lower
// point's x below it, else interpolated in single precision.
int edgeX(const int* p, const int* q, int v)
{
  const int* t = p;
  const int* b = q;
  if (q[1] < p[1]) t = q, b = p;
  if (v <= t[1]) return t[0];
  if (v >= b[1]) return b[0];
  const float dx = (float)((int64_t)b[0] - t[0]), dy = (float)((int64_t)b[1] - t[1]);
  const float off = (float)((int64_t)v - t[1]) * (dx / dy);
  return _LICE_SatInt((int64_t)t[0] + _LICE_TruncToInt(off));
}

} // namespace

void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color,
                        float alpha, int mode)
{
  if (!dest) return;
  if (dest->isFlipped()) {
    const int h = dest->getHeight();
    y1 = _LICE_SatInt((int64_t)h - 1 - y1);
    y2 = _LICE_SatInt((int64_t)h - 1 - y2);
  }
  fillTrapezoidStored(dest, x1a, x1b, y1, x2a, x2b, y2, color, alpha, mode);
}

void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints, LICE_pixel color, float alpha,
                            int mode)
{
  if (!dest || npoints < 3 || !x || !y) return;
  int buf[512 * 2];
  int* pts = buf;
  if (npoints > 512) {
    pts = new (std::nothrow) int[(size_t)npoints * 2];
    if (!pts) return; // no room for the sorted point list: nothing is drawn
  }
  const bool flip = dest->isFlipped();
  const int h = dest->getHeight();
  int minx = x[0], maxx = x[0];
  for (int i = 0; i < npoints; ++i) {
    pts[2 * i] = x[i];
    pts[2 * i + 1] = flip ? _LICE_SatInt((int64_t)h - 1 - y[i]) : y[i];
    if (x[i] < minx) minx = x[i];
    if (x[i] > maxx) maxx = x[i];
  }
  qsort(pts, (size_t)npoints, 2 * sizeof(int), _ysort);

  const int n = npoints;
  if (pts[1] == pts[2 * n - 1]) {
    // Every point on one row.
    const int row = pts[1];
    if (row >= 0 && row < h) fillTrapezoidStored(dest, minx, maxx, row, minx, maxx, row, color, alpha, mode);
  } else {
    // The left chain starts at the last point of the top run still at the first point's x, the
    // right chain at the last point of the top run.
    int a = 0, b = 0;
    while (b + 1 < n && pts[2 * (b + 1) + 1] == pts[1]) {
      ++b;
      if (pts[2 * b] == pts[0]) a = b;
    }
    int a2 = FindNextEdgeVertex(pts, a, n, -1), b2 = FindNextEdgeVertex(pts, b, n, 1);
    int row = pts[1];
    // Each trapezoid covers rows row..yn and the next starts below it, so no row is filled
    // twice; a chain whose next vertex is itself stays a vertical edge at its last point.
    do {
      const int* A = pts + 2 * a;
      const int* A2 = pts + 2 * a2;
      const int* B = pts + 2 * b;
      const int* B2 = pts + 2 * b2;
      const int yn = A2[1] < B2[1] ? A2[1] : B2[1];
      fillTrapezoidStored(dest, edgeX(A, A2, row), edgeX(B, B2, row), row, edgeX(A, A2, yn), edgeX(B, B2, yn), yn,
                          color, alpha, mode);
      if (A2[1] == yn) {
        a = a2;
        a2 = FindNextEdgeVertex(pts, a2, n, -1);
      }
      if (B2[1] == yn) {
        b = b2;
        b2 = FindNextEdgeVertex(pts, b2, n, 1);
      }
      row = _LICE_SatInt((int64_t)yn + 1);
    } while (a2 != a || b2 != b);
  }
  if (pts != buf) delete[] pts;
}

void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3, LICE_pixel color,
                       float alpha, int mode)
{
  const int x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  LICE_FillConvexPolygon(dest, x, y, 3, color, alpha, mode);
}

void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  if (!dest) return;
  const int r = _LICE_SatInt((int64_t)x + w), b = _LICE_SatInt((int64_t)y + h);
  LICE_Line(dest, x, y, r, y, color, alpha, mode, false);
  LICE_Line(dest, r, y, r, b, color, alpha, mode, false);
  LICE_Line(dest, r, b, x, b, color, alpha, mode, false);
  LICE_Line(dest, x, b, x, y, color, alpha, mode, false);
}

void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor, LICE_pixel fgcolor,
                       float alpha, int mode)
{
  if (!dest) return;
  LICE_FillRect(dest, _LICE_SatInt((int64_t)x + 1), _LICE_SatInt((int64_t)y + 1), _LICE_SatInt((int64_t)w - 1),
                _LICE_SatInt((int64_t)h - 1), bgcolor, alpha, mode);
  LICE_DrawRect(dest, x, y, w, h, fgcolor, alpha, mode);
}
