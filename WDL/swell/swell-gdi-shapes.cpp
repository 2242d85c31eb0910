// GDI emulation: pens, brushes, outline and filled shapes, pixel copies, images and image lists, all
// drawn with the raster library into a context's pixels, clipped to the context's clip rectangle.
// Nothing in the plug-in calls these; they complete the Win32-style interface.
#include "swell-gdi-internal.h"

#include "heapbuf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace swell;

namespace {

HGDIOBJ makeColourObject(int type, int width, int colour, float alpha)
{
  HGDIOBJ obj = newObject(type);
  if (!obj) return nullptr;
  obj->colour = colour;
  obj->alpha = alpha < 0.0f ? 0.0f : alpha > 1.0f ? 1.0f : alpha;
  obj->wid = width;
  return obj;
}

// A live pen or brush that draws (the stock null objects have width -1).
HGDIOBJ drawing(HGDIOBJ obj, int type)
{
  return isLiveObject(obj, type) && obj->wid >= 0 ? obj : nullptr;
}

LICE_pixel pixelOf(HGDIOBJ obj)
{
  return toPixel(obj->colour);
}

// A segment of the given width between context points, as a filled quadrilateral (a plain line for
// width 1).
void strokeSegment(ClipView& v, double x1, double y1, double x2, double y2, double width, HGDIOBJ pen)
{
  x1 -= v.x0, x2 -= v.x0, y1 -= v.y0, y2 -= v.y0;
  if (width <= 1.0) {
    LICE_FLine(&v, (float)x1, (float)y1, (float)x2, (float)y2, pixelOf(pen), pen->alpha, LICE_BLIT_MODE_COPY, false);
    return;
  }
  const double dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
  if (!(len > 0.0)) return;
  const double nx = -dy / len * width / 2, ny = dx / len * width / 2;
  const int xs[4] = {(int)std::lround(x1 + nx), (int)std::lround(x2 + nx), (int)std::lround(x2 - nx),
                     (int)std::lround(x1 - nx)};
  const int ys[4] = {(int)std::lround(y1 + ny), (int)std::lround(y2 + ny), (int)std::lround(y2 - ny),
                     (int)std::lround(y1 - ny)};
  LICE_FillConvexPolygon(&v, xs, ys, 4, pixelOf(pen), pen->alpha, LICE_BLIT_MODE_COPY);
}

// Even-odd scanline fill of a closed polygon (any shape), sampling at pixel centres.
void fillPolygon(ClipView& v, const std::vector<double>& xs, const std::vector<double>& ys, HGDIOBJ brush)
{
  const size_t n = xs.size();
  if (n < 3) return;
  const double top = *std::min_element(ys.begin(), ys.end()), bottom = *std::max_element(ys.begin(), ys.end());
  std::vector<double> cross;
  for (int row = std::max(0, (int)std::floor(top) - v.y0); row < v.h && row + v.y0 <= bottom; ++row) {
    const double yc = row + v.y0 + 0.5;
    cross.clear();
    for (size_t i = 0; i < n; ++i) {
      const double ax = xs[i], ay = ys[i], bx = xs[(i + 1) % n], by = ys[(i + 1) % n];
      if ((ay <= yc) != (by <= yc)) cross.push_back(ax + (yc - ay) * (bx - ax) / (by - ay));
    }
    std::sort(cross.begin(), cross.end());
    for (size_t k = 0; k + 1 < cross.size(); k += 2) {
      const int from = (int)std::ceil(cross[k] - 0.5) - v.x0, to = (int)std::ceil(cross[k + 1] - 0.5) - v.x0;
      if (to > from) LICE_FillRect(&v, from, row, to - from, 1, pixelOf(brush), brush->alpha, LICE_BLIT_MODE_COPY);
    }
  }
}

void strokePath(ClipView& v, const std::vector<double>& xs, const std::vector<double>& ys, bool closed, double width,
                HGDIOBJ pen)
{
  const size_t n = xs.size();
  for (size_t i = 0; i + 1 < n; ++i) strokeSegment(v, xs[i], ys[i], xs[i + 1], ys[i + 1], width, pen);
  if (closed && n > 2) strokeSegment(v, xs[n - 1], ys[n - 1], xs[0], ys[0], width, pen);
}

void ellipsePoints(int l, int t, int r, int b, std::vector<double>* xs, std::vector<double>* ys)
{
  const double cx = (l + r) / 2.0, cy = (t + b) / 2.0, rx = (r - l) / 2.0, ry = (b - t) / 2.0;
  const int steps = std::max(16, (int)(std::fabs(rx) + std::fabs(ry)) * 2);
  for (int i = 0; i < steps; ++i) {
    const double a = 2 * M_PI * i / steps;
    xs->push_back(cx + rx * std::cos(a));
    ys->push_back(cy + ry * std::sin(a));
  }
}

} // namespace

HGDIOBJ CreatePen(int, int width, int colour)
{
  return makeColourObject(kPen, std::max(width, 0), colour, 1.0f);
}

HGDIOBJ CreatePenAlpha(int, int width, int colour, float alpha)
{
  return makeColourObject(kPen, std::max(width, 0), colour, alpha);
}

HGDIOBJ CreateSolidBrush(int colour)
{
  return makeColourObject(kBrush, 0, colour, 1.0f);
}

HGDIOBJ CreateSolidBrushAlpha(int colour, float alpha)
{
  return makeColourObject(kBrush, 0, colour, alpha);
}

void SWELL_FillRect(HDC ctx, const RECT* r, HGDIOBJ brush)
{
  ClipView v;
  if (!r || !drawing(brush, kBrush) || !makeView(ctx, nullptr, &v)) return;
  LICE_FillRect(&v, r->left - v.x0, r->top - v.y0, r->right - r->left, r->bottom - r->top, pixelOf(brush),
                brush->alpha, LICE_BLIT_MODE_COPY);
}

void Rectangle(HDC ctx, int l, int t, int r, int b)
{
  ClipView v;
  if (!makeView(ctx, nullptr, &v)) return;
  if (HGDIOBJ brush = drawing(ctx->curbrush, kBrush))
    LICE_FillRect(&v, l - v.x0, t - v.y0, r - l, b - t, pixelOf(brush), brush->alpha, LICE_BLIT_MODE_COPY);
  if (HGDIOBJ pen = drawing(ctx->curpen, kPen)) {
    const int w = pen->wid < 2 ? 1 : pen->wid;
    ctx->linewidth = (float)w;
    // Bands of w pixels centred on the rectangle's edges: the left band covers l - in .. l + out - 1, the
    // right band r - out .. r + in - 1, so the top and bottom bands span l - in .. r + in - 1.
    const int in = w / 2, out = w - in;
    LICE_FillRect(&v, l - in - v.x0, t - in - v.y0, r - l + 2 * in, w, pixelOf(pen), pen->alpha);
    LICE_FillRect(&v, l - in - v.x0, b - out - v.y0, r - l + 2 * in, w, pixelOf(pen), pen->alpha);
    LICE_FillRect(&v, l - in - v.x0, t + out - v.y0, w, b - t - w, pixelOf(pen), pen->alpha);
    LICE_FillRect(&v, r - out - v.x0, t + out - v.y0, w, b - t - w, pixelOf(pen), pen->alpha);
  }
}

void Ellipse(HDC ctx, int l, int t, int r, int b)
{
  ClipView v;
  if (!makeView(ctx, nullptr, &v)) return;
  std::vector<double> xs, ys;
  ellipsePoints(l, t, r, b, &xs, &ys);
  if (HGDIOBJ brush = drawing(ctx->curbrush, kBrush)) fillPolygon(v, xs, ys, brush);
  if (HGDIOBJ pen = drawing(ctx->curpen, kPen)) strokePath(v, xs, ys, true, ctx->linewidth, pen);
}

void SWELL_Polygon(HDC ctx, const POINT* points, int n)
{
  ClipView v;
  if (!points || n < 2 || !makeView(ctx, nullptr, &v)) return;
  HGDIOBJ brush = drawing(ctx->curbrush, kBrush), pen = drawing(ctx->curpen, kPen);
  if (!brush && !pen) return;
  std::vector<double> xs, ys;
  for (int i = 0; i < n; ++i) {
    xs.push_back(points[i].x);
    ys.push_back(points[i].y);
  }
  if (brush) fillPolygon(v, xs, ys, brush);
  if (pen) {
    ctx->linewidth = pen->wid ? (float)pen->wid : 1.0f;
    strokePath(v, xs, ys, false, ctx->linewidth, pen);
  }
}

void RoundRect(HDC ctx, int l, int t, int r, int b, int ew, int eh)
{
  const int dx = ew / 3, dy = eh / 3;
  const POINT pts[10] = {{l, t + dy}, {l + dx, t}, {r - dx, t}, {r, t + dy}, {r, b - dy},
                         {r - dx, b}, {l + dx, b}, {l, b - dy}, {l, t + dy}, {l + dx, t}};
  SWELL_Polygon(ctx, pts, 10);
}

void MoveToEx(HDC ctx, int x, int y, POINT* old)
{
  if (!isLive(ctx)) return;
  if (old) *old = POINT{(int)ctx->lastpos_x, (int)ctx->lastpos_y};
  ctx->lastpos_x = (float)x;
  ctx->lastpos_y = (float)y;
}

void SWELL_LineTo(HDC ctx, int x, int y)
{
  if (!isLive(ctx)) return;
  ClipView v;
  HGDIOBJ pen = drawing(ctx->curpen, kPen);
  if (pen && makeView(ctx, nullptr, &v)) {
    const double w = pen->wid ? pen->wid : 1;
    ctx->linewidth = (float)w;
    // Shifted by half the width, so a one-pixel line covers the pixels from its end points.
    strokeSegment(v, ctx->lastpos_x + w / 2 - 0.5, ctx->lastpos_y + w / 2 - 0.5, x + w / 2 - 0.5, y + w / 2 - 0.5, w,
                  pen);
  }
  ctx->lastpos_x = (float)x;
  ctx->lastpos_y = (float)y;
}

void PolyBezierTo(HDC ctx, const POINT* points, int n)
{
  ClipView v;
  HGDIOBJ pen = isLive(ctx) ? drawing(ctx->curpen, kPen) : nullptr;
  if (!pen || !points || n < 3 || !makeView(ctx, nullptr, &v)) return;
  const double w = std::max(pen->wid, 1);
  ctx->linewidth = (float)w;
  double px = ctx->lastpos_x, py = ctx->lastpos_y;
  for (int i = 0; i + 2 < n; i += 3) {
    const POINT &c1 = points[i], &c2 = points[i + 1], &e = points[i + 2];
    const int steps = 32;
    for (int k = 1; k <= steps; ++k) {
      const double t = (double)k / steps, u = 1 - t;
      const double qx = u * u * u * px + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * e.x;
      const double qy = u * u * u * py + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * e.y;
      const double ox = k == 1 ? px : ctx->lastpos_x, oy = k == 1 ? py : ctx->lastpos_y;
      strokeSegment(v, ox, oy, qx, qy, w, pen);
      ctx->lastpos_x = (float)qx;
      ctx->lastpos_y = (float)qy;
    }
    px = e.x;
    py = e.y;
    ctx->lastpos_x = (float)e.x;
    ctx->lastpos_y = (float)e.y;
  }
}

void PolyPolyline(HDC ctx, const POINT* points, const int* counts, int nCounts)
{
  ClipView v;
  HGDIOBJ pen = isLive(ctx) ? drawing(ctx->curpen, kPen) : nullptr;
  if (!pen || !points || !counts || nCounts <= 0 || !makeView(ctx, nullptr, &v)) return;
  const double w = std::max(pen->wid, 1), half = w / 2;
  ctx->linewidth = (float)w;
  for (int c = 0; c < nCounts; ++c) {
    const int k = counts[c];
    if (k >= 2) {
      std::vector<double> xs, ys;
      for (int i = 0; i < k; ++i) {
        xs.push_back(points[i].x + half - 0.5);
        ys.push_back(points[i].y + half - 0.5);
      }
      strokePath(v, xs, ys, false, w, pen);
    }
    points += k > 0 ? k : 0;
  }
}

void SWELL_SetPixel(HDC ctx, int x, int y, int colour)
{
  ClipView v;
  if (!makeView(ctx, nullptr, &v)) return;
  LICE_PutPixel(&v, x - v.x0, y - v.y0, toPixel(colour), 1.0f, LICE_BLIT_MODE_COPY);
}

// ---- pixel copies ----

namespace {
// The pixels of a memory context as a raster bitmap.
struct ContextBitmap : LICE_IBitmap
{
  explicit ContextBitmap(HDC c) : ctx(c) {}
  LICE_pixel* getBits() override { return static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(ctx)); }
  int getWidth() override { return ctx->width; }
  int getHeight() override { return ctx->height; }
  int getRowSpan() override { return ctx->width; }
  bool resize(int, int) override { return false; }
  HDC ctx;
};

void drawBitmap(HDC dst, int x, int y, int w, int h, LICE_IBitmap* src, double sx, double sy, double sw, double sh,
                bool useAlpha)
{
  ClipView v;
  if (!src || w <= 0 || h <= 0 || !makeView(dst, nullptr, &v)) return;
  // The source rectangle limited to the source bitmap, the destination shrunk in proportion.
  const double fx = w / sw, fy = h / sh;
  double dx = x, dy = y;
  if (sx < 0) dx -= sx * fx, sw += sx, sx = 0;
  if (sy < 0) dy -= sy * fy, sh += sy, sy = 0;
  if (sx + sw > src->getWidth()) sw = src->getWidth() - sx;
  if (sy + sh > src->getHeight()) sh = src->getHeight() - sy;
  if (sw <= 0 || sh <= 0) return;
  const int mode = useAlpha ? LICE_BLIT_USE_ALPHA : LICE_BLIT_MODE_COPY;
  LICE_ScaledBlit(&v, src, (int)std::lround(dx) - v.x0, (int)std::lround(dy) - v.y0, (int)std::lround(sw * fx),
                  (int)std::lround(sh * fy), (float)sx, (float)sy, (float)sw, (float)sh, 1.0f, mode);
}
} // namespace

void StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, unsigned int mode)
{
  if (!isLive(src) || !SWELL_GetCtxFrameBuffer(src) || sw <= 0 || sh <= 0) return;
  ContextBitmap bm(src);
  drawBitmap(dst, x, y, w, h, &bm, sx, sy, sw, sh, mode == SRCCOPY_USEALPHACHAN);
}

void BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, unsigned int mode)
{
  StretchBlt(dst, x, y, w, h, src, sx, sy, w, h, mode);
}

// ---- images and image lists ----

namespace {
HGDIOBJ imageObject(LICE_IBitmap* bm, bool owns)
{
  if (!bm) return nullptr;
  HGDIOBJ obj = newObject(kImage);
  if (!obj) {
    if (owns) delete bm;
    return nullptr;
  }
  obj->image = bm;
  obj->wid = owns ? 1 : 0;
  return obj;
}

LICE_IBitmap* copyOf(LICE_IBitmap* bm)
{
  LICE_MemBitmap* copy = new LICE_MemBitmap();
  LICE_Copy(copy, bm);
  return copy;
}
} // namespace

HGDIOBJ CreateBitmap(int width, int height, int, int bitsPerPixel, const unsigned char* bits)
{
  if (width < 1 || height < 1 || !bits || bitsPerPixel < 24) return nullptr;
  LICE_MemBitmap* bm = new LICE_MemBitmap(width, height);
  if (bm->getWidth() != width) {
    delete bm;
    return nullptr;
  }
  const bool alpha = bitsPerPixel == 32;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = bits + ((size_t)y * width + x) * 4; // alpha first, then red, green, blue
      LICE_SetPixel(bm, x, y, LICE_RGBA(p[1], p[2], p[3], alpha ? p[0] : 255));
    }
  return imageObject(bm, true);
}

HGDIOBJ LoadNamedImage(const char* name, bool magentaToAlpha)
{
  if (!name) return nullptr;
  LICE_IBitmap* bm = std::strchr(name, '/') ? LICE_LoadPNG(name) : nullptr;
  if (!bm) bm = LICE_LoadPNGFromNamedResource(name);
  if (!bm) return nullptr;
  if (magentaToAlpha)
    for (int y = 0; y < bm->getHeight(); ++y)
      for (int x = 0; x < bm->getWidth(); ++x)
        if ((LICE_GetPixel(bm, x, y) & 0xFFFFFF00u) == (LICE_RGBA(255, 0, 255, 0) & 0xFFFFFF00u))
          LICE_SetPixel(bm, x, y, 0);
  return imageObject(bm, true);
}

HGDIOBJ CreateIconIndirect(const ICONINFO* info)
{
  if (!info || !info->fIcon || !isLiveObject(info->hbmColor, kImage) || !info->hbmColor->image) return nullptr;
  return imageObject(copyOf(info->hbmColor->image), true);
}

bool GetObject(HGDIOBJ obj, int size, void* out)
{
  if (out && size > 0) std::memset(out, 0, (size_t)size);
  if (!out || size != 8 || !isLiveObject(obj, kImage) || !obj->image) return false;
  const int wh[2] = {obj->image->getWidth(), obj->image->getHeight()};
  std::memcpy(out, wh, 8);
  return true;
}

void DrawImageInRect(HDC ctx, HGDIOBJ image, const RECT* r)
{
  if (!r || !isLiveObject(image, kImage) || !image->image) return;
  LICE_IBitmap* bm = image->image;
  drawBitmap(ctx, r->left, r->top, r->right - r->left, r->bottom - r->top, bm, 0, 0, bm->getWidth(), bm->getHeight(),
             true);
}

struct HIMAGELIST__
{
  WDL_HeapBuf images{4096}; // HGDIOBJ entries; null where one was removed
  int count() const { return images.GetSize() / (int)sizeof(HGDIOBJ); }
  HGDIOBJ* at() const { return static_cast<HGDIOBJ*>(images.Get()); }
  bool append(HGDIOBJ obj)
  {
    const int n = count();
    if (!images.Resize((n + 1) * (int)sizeof(HGDIOBJ)) || count() != n + 1) return false;
    at()[n] = obj;
    return true;
  }
};

HIMAGELIST ImageList_CreateEx()
{
  return new HIMAGELIST__();
}

int ImageList_Add(HIMAGELIST list, HGDIOBJ image, HGDIOBJ)
{
  if (!list || !isLiveObject(image, kImage) || !image->image) return -1;
  HGDIOBJ copy = imageObject(copyOf(image->image), true);
  if (!copy || !list->append(copy)) {
    DeleteObject(copy);
    return -1;
  }
  return list->count();
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HGDIOBJ icon)
{
  if (!list || !isLiveObject(icon, kImage) || !icon->image) return -1;
  HGDIOBJ entry = imageObject(copyOf(icon->image), true);
  if (!entry) return -1;
  if (index >= 0 && index < list->count()) {
    DeleteObject(list->at()[index]);
    list->at()[index] = entry;
    return index;
  }
  if (!list->append(entry)) {
    DeleteObject(entry);
    return -1;
  }
  return list->count() - 1;
}

bool ImageList_Remove(HIMAGELIST list, int index)
{
  if (!list || index >= list->count()) return false;
  if (index < 0) {
    for (int i = 0; i < list->count(); ++i) DeleteObject(list->at()[i]);
    list->images.Resize(0);
    return true;
  }
  DeleteObject(list->at()[index]);
  list->at()[index] = nullptr;
  return true;
}

void ImageList_Destroy(HIMAGELIST list)
{
  if (!list) return;
  ImageList_Remove(list, -1);
  delete list;
}
