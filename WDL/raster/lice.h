// Raster graphics: 32-bit bitmaps in memory and the routines that fill, copy, scale, rotate,
// blur, compare and colour them.
//
// Pixels are LICE_pixel: four bytes in memory, byte 0 alpha, 1 red, 2 green, 3 blue, not
// premultiplied. As a little-endian integer a pixel is A | R << 8 | G << 16 | B << 24.
//
// Every drawing routine takes the destination bitmap first, returns nothing, clips silently
// to the bitmaps involved and draws nothing for a null bitmap, an empty area, a zero weight
// or a mode outside its table. Opacity is a float alpha, 1.0 opaque; the combine rules use
// the integer weight trunc(alpha x 256). The mode word selects the combine rule:
//   bits 0-7   0 copy, 1 add, 2 colour dodge, 3 multiply, 4 overlay, 5 HSV adjust
//   0x10000    weight each pixel by the source pixel's (or the fill colour's) alpha
//   0xf0       with (mode & 0xf0) == 0xf0, LICE_Blit copies one byte of each pixel:
//              bits 0-1 the source byte index, bits 2-3 the destination byte index
//   0x100      in bits 8-15 of scaled, rotated and delta blits: bilinear filtering
//
// Bitmaps belong to one thread at a time; nothing here locks.
#pragma once

#include <cstdint>

#include "swell/swell-types.h"

typedef unsigned int LICE_pixel;
typedef unsigned char LICE_pixel_chan;

// Byte index of each channel within a pixel in memory.
#define LICE_PIXEL_A 0
#define LICE_PIXEL_R 1
#define LICE_PIXEL_G 2
#define LICE_PIXEL_B 3

#define LICE_RGBA(r, g, b, a)                                                                                          \
  ((LICE_pixel)(((a)&0xff) | (((r)&0xff) << 8) | (((g)&0xff) << 16) | ((LICE_pixel)((b)&0xff) << 24)))
#define LICE_GETA(p) ((p)&0xff)
#define LICE_GETR(p) (((p) >> 8) & 0xff)
#define LICE_GETG(p) (((p) >> 16) & 0xff)
#define LICE_GETB(p) (((p) >> 24) & 0xff)

#define LICE_BLIT_MODE_MASK 0xff
#define LICE_BLIT_MODE_COPY 0
#define LICE_BLIT_MODE_ADD 1
#define LICE_BLIT_MODE_DODGE 2
#define LICE_BLIT_MODE_MUL 3
#define LICE_BLIT_MODE_OVERLAY 4
#define LICE_BLIT_MODE_HSVADJ 5
#define LICE_BLIT_MODE_CHANCOPY 0xf0
#define LICE_BLIT_FILTER_MASK 0xff00
#define LICE_BLIT_FILTER_BILINEAR 0x100
#define LICE_BLIT_USE_ALPHA 0x10000

// ---------------------------------------------------------------------------------------------
// Bitmaps

// The abstract bitmap every raster call draws into. Row y starts at getBits() + y x getRowSpan()
// pixels, or at getBits() + (getHeight() - 1 - y) x getRowSpan() when isFlipped().
class LICE_IBitmap
{
public:
  virtual ~LICE_IBitmap() {}
  virtual LICE_pixel* getBits() = 0; // null when the bitmap holds no pixels
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  virtual int getRowSpan() = 0; // pixels from one memory row to the next, at least the width
  virtual bool isFlipped() { return false; }
  virtual bool resize(int w, int h) = 0; // true when anything changed; pixels are not cleared
  virtual HDC getDC() { return nullptr; }
  virtual intptr_t Extended(int, void*) { return 0; }
};

// Pixels on the heap, 64-byte aligned, rows padded to the line alignment. The block grows by a
// quarter more than needed and never shrinks until the bitmap is emptied. Sizes whose bytes do
// not fit in an int leave the bitmap empty (0 x 0).
class LICE_MemBitmap : public LICE_IBitmap
{
public:
  LICE_MemBitmap(int w = 0, int h = 0, unsigned int linealign = 4);
  ~LICE_MemBitmap() override;

  LICE_pixel* getBits() override;
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override;
  bool resize(int w, int h) override { return __resize(w, h); }

  // Usable bytes of the current block (not counting the alignment slack); 0 without one.
  int getAllocatedSize() const { return m_allocsize; }

private:
  bool __resize(int w, int h);

  void* m_fb; // raw allocation, 63 bytes larger than m_allocsize
  int m_width, m_height;
  int m_allocsize;
  unsigned int m_linealign; // mask of low one-bits (or 16) that rows are rounded up with
};

// Pixels of a GDI memory context (getDC), so that system drawing and raster calls share them.
// The context is as wide as the width rounded up to 4 pixels and is kept for every later size
// that fits inside it. Negative sizes are taken as 0.
class LICE_SysBitmap : public LICE_IBitmap
{
public:
  LICE_SysBitmap(int w = 0, int h = 0);
  ~LICE_SysBitmap() override;

  LICE_pixel* getBits() override { return m_bits; }
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return m_allocw; }
  bool resize(int w, int h) override { return __resize(w, h); }
  HDC getDC() override { return m_dc; }

private:
  bool __resize(int w, int h);

  int m_width, m_height;
  HDC m_dc;
  LICE_pixel* m_bits;
  int m_allocw, m_alloch;
};

// ---------------------------------------------------------------------------------------------
// Single pixels combined by the mode word (mode & 0x100ff)

// Combines src into dest at trunc(alpha x 256) and returns the result.
LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode);
// The same in place with the source channels given one by one and the weight ia (0 to 256).
void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);
// As LICE_CombinePixels2 for source channels that may lie outside 0..255: every result byte is
// limited to 0..255.
void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);

// ---------------------------------------------------------------------------------------------
// Fills and pixels

// Stores the colour into every pixel.
void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color);
// Combines the colour into columns x..x+w-1 and rows y..y+h-1. With LICE_BLIT_USE_ALPHA the
// alpha is first scaled by the colour's alpha byte / 255.
void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha = 1.0f, int mode = 0);
// Every pixel p of the rectangle becomes (p & keepmask) | setbits.
void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel keepmask = 0, LICE_pixel setbits = 0);
// The pixel at (x, y); 0 outside the bitmap.
LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y);
// Combines the colour (its alpha byte is the alpha-channel source) into the pixel at (x, y).
void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode);
// Stores the pixel word at (x, y) without blending; does nothing outside the bitmap. This is
// the direct pixel write for callers that would otherwise poke the bits themselves.
void LICE_SetPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color);
// Each channel (0..255) becomes channel x scale + offset, limited to 0..255.
void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                          float radd, float gadd, float badd, float aadd);
// Calls procFunc(pixel, parm) for every pixel of the rectangle.
void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h, void (*procFunc)(LICE_pixel* p, void* parm),
                      void* parm);
// Pixels whose colour (alpha byte cleared) equals colorMask get alpha 0, all others alpha 255.
void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel colorMask);
// Span fill through column x from the seed (x, y): matching pixels ((p & cmpmask) equal to the
// seed's) become (p & keepmask) | newcolor.
void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask = 0xffffffff,
                     LICE_pixel keepmask = 0);

// ---------------------------------------------------------------------------------------------
// Blits

// Copies the source rectangle (the whole source when null) so that its top-left pixel lands
// at (dstx, dsty).
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode);
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
               float alpha, int mode);
// Makes dest an exact copy of src (resized to its size).
void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src);

// Draws the source rectangle (fractional source pixels) stretched onto the destination
// rectangle; negative dstw or dsth mirror. Nearest-pixel sampling, or with
// LICE_BLIT_FILTER_BILINEAR bilinear filtering (an averaging filter when shrinking by 1.7 or more
// on both axes).
void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float alpha, int mode);

// Draws the source rectangle scaled onto the destination rectangle and turned by angle
// (radians, clockwise with rows growing downward) about the source point at the rectangle's
// centre plus (rotxcent, rotycent), which lands on the destination rectangle's centre. With
// cliptosourcerect no pixel outside the source rectangle is read.
void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                      float srcy, float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode,
                      float rotxcent = 0.0f, float rotycent = 0.0f);

// Draws with an explicit mapping: (srcx, srcy) is the source point of destination pixel
// (dstx, dsty); the steps give the change of the source point per destination pixel (dsdx,
// dtdx), per destination row (dsdy, dtdy) and the change of the in-row steps per row
// (dsdxdy, dtdxdy).
void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                    double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode);
// LICE_DeltaBlit with an opacity that starts at alpha and changes by dadx per pixel, dady per
// row and dadxdy per row in its per-pixel change.
void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                         float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                         double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, double dadx,
                         double dady, double dadxdy);

// Draws through a grid of div_w x div_h source points spread evenly over the destination
// rectangle, interpolated bilinearly inside each cell. srcpoints holds (x, y) pairs row by row;
// for the Alpha form (x, y, opacity) triples.
void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                        const float* srcpoints, int div_w, int div_h, float alpha, int mode);
void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                         const double* srcpoints, int div_w, int div_h, float alpha, int mode);
void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                              const double* srcpoints, int div_w, int div_h, int mode);

// Softens the source rectangle with a five-point kernel into (dstx, dsty); source and
// destination may be the same bitmap.
void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch);

// Fills a rectangle with a linear gradient: colour channels 0..1 and alpha (the opacity) at the
// top-left pixel, their changes per pixel to the right and per row downward.
void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig, float ib, float ia,
                   float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady,
                   int mode);

// Paints colour through a map of coverage bytes (0 none, 255 full), rows glyph_span bytes
// apart, its top-left byte at (x, y).
void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                      int glyph_span, int glyph_h, float alpha, int mode);
void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                    int glyph_h, float alpha, int mode);

// Writes the 2 x 2 box-filtered half-size source into the top-left corner of dest.
void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src);

// 0 when the bitmaps are equal (under the mask, (a ^ b) & mask), else non-zero: b's width or
// height minus a's for different sizes. With coordsOut (left, top, width, height) the smallest
// rectangle holding every difference is written and the result is 1 when there is one.
int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut = nullptr);
int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask, int* coordsOut = nullptr);

// ---------------------------------------------------------------------------------------------
// PNG images (lice_png.cpp)

// Decodes a PNG file into bmp (resized to the image) or, when bmp is null, into a new
// LICE_MemBitmap the caller owns. Null on any failure, and at once for anything but a regular file
// (opened without blocking: a FIFO, a device) or a file longer than LICE_PNG_MAX_FILE_BYTES.
LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp = nullptr);
// The longest PNG file loaded, bytes: the largest editor image, the 1280 x 650 background, is 3.3 MB
// even uncompressed; 64 MiB leaves room for any skin yet stops a huge file before it is decoded.
constexpr long long LICE_PNG_MAX_FILE_BYTES = 64LL << 20;
LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp = nullptr);
// Loads a file of the plug-in's resources folder: $VELTRANE_RESOURCES when set, else
// Veltrane.vst/Contents/Resources beside the plug-in (or program) file.
LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp = nullptr);
// Writes the bitmap as an 8-bit PNG file (RGB, or RGBA with wantAlpha); false when it cannot be written.
bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp, bool wantAlpha = false);
// Numbered resources do not exist on this platform: always null.
LICE_IBitmap* LICE_LoadPNGFromResource(void* hInst, int resid, LICE_IBitmap* bmp = nullptr);

// The process-wide list of image loaders.
struct _LICE_ImageLoader_rec
{
  LICE_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, LICE_IBitmap* bmp);
  const char* (*get_extlist)(); // "description\0pattern\0...\0\0"
  _LICE_ImageLoader_rec* _next;
};
extern _LICE_ImageLoader_rec* LICE_ImageLoader_list;

// ---------------------------------------------------------------------------------------------
// Lines, curves and shapes (lice_line.cpp, lice_fline.cpp, lice_shapes.cpp, lice_arc.cpp,
// lice_bezier.cpp)
//
// Coordinates are the caller's: x to the right, y downward; on a flipped bitmap every call
// mirrors the rows itself. Both end points of a line, and both ends of every span, are drawn.
// Lines, circles and polygon fills read bits 0-7 of the mode only: the source-alpha flag has
// no effect on them, and the colour's alpha byte is only the source of the alpha channel.
// Floating-point arguments that are not finite draw nothing. Circles and arcs whose centre or
// radius lies beyond 2^24 pixels draw nothing (a float has no fraction there).

// A line from (x1, y1) to (x2, y2). Anti-aliasing splits each step's coverage between the two
// pixels nearest the exact line; it does not change horizontal and vertical lines.
void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha = 1.0f, int mode = 0,
               bool aa = true);
// A line between sub-pixel end points. Without aa it is LICE_Line of the truncated points; the
// anti-aliased form keeps one pixel off the last column and row so every step has its pair.
void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha = 1.0f,
                int mode = 0, bool aa = true);
// A horizontal or vertical line (anything else draws nothing) of pxon pixels drawn and pxoff
// skipped, starting with a dash at the smaller coordinate; the larger end point itself is not
// drawn. pxon <= 0 draws nothing; a period pxon + pxoff <= 0 draws a solid line. aa is ignored.
void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color,
                     float alpha = 1.0f, int mode = 0, bool aa = false);
// Clip a segment in place to xLo <= x < xHi, yLo <= y < yHi; true when something is left. The
// points are written back in every case, partly moved ones included. The float form keeps the
// clipped points a pixel inside the right and bottom edges, as the anti-aliased line needs.
bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xLo, int yLo, int xHi, int yHi);
bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xLo, float yLo, float xHi, float yHi);

// Outline of columns x to x + w and rows y to y + h (four lines; the corners are drawn twice).
void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha = 1.0f, int mode = 0);
// The outline of LICE_DrawRect in fgcolor around an interior fill in bgcolor.
void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor, LICE_pixel fgcolor,
                       float alpha = 1.0f, int mode = 0);
// Fills the rows between the span x1a..x1b on row y1 and the span x2a..x2b on row y2, both
// spans and rows in either order, each pixel once.
void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color,
                        float alpha = 1.0f, int mode = 0);
// Fills the convex polygon of the npoints points (x[i], y[i]), given in any order, each pixel
// once; fewer than 3 points draw nothing.
void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints, LICE_pixel color,
                            float alpha = 1.0f, int mode = 0);
void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3, LICE_pixel color,
                       float alpha = 1.0f, int mode = 0);

// A circle about the pixel nearest (cx, cy). Radii 1.5, 2, 2.5, 3, 3.5 and 4 are drawn from
// stored coverage masks. The anti-aliased outline may combine a few pixels twice (on the axes
// and the diagonals); the disc combines each pixel once.
void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha = 1.0f, int mode = 0,
                 bool aa = true);
void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha = 1.0f,
                     int mode = 0, bool aa = true);
// The outline between two angles in radians, either order: 0 at 12 o'clock, growing clockwise
// on screen, so the point at angle a is (cx + r sin a, cy - r cos a). A span of 2 pi or more is
// the whole circle. The arc is drawn quarter by quarter; pixels where two quarters meet may be
// combined twice.
void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float angle1, float angle2, LICE_pixel color,
              float alpha = 1.0f, int mode = 0, bool aa = true);
// Outline of the rectangle with corners (x, y) and (x + w, y + h) and quarter-circle corners of
// cornerradius (at most half of w and of h); below a radius of 2 a plain LICE_DrawRect.
void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius, LICE_pixel color,
                    float alpha = 1.0f, int mode = 0, bool aa = true);

// Bezier curves, drawn as chains of LICE_FLine chords: about one chord per tol pixels of control
// polygon (tol <= 0 counts as 1), at most 65536. Only the part within the bitmap's columns is
// stepped through.
void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl, float xend, float yend,
                      LICE_pixel color, float alpha = 1.0f, int mode = 0, bool aa = true, float tol = 0.0f);
void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, LICE_pixel color, float alpha = 1.0f, int mode = 0,
                      bool aa = true, float tol = 0.0f);
// Fills between a cubic curve and the row yfill (the curve taken with x growing), or the column
// xfill (the curve taken with y growing).
void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, int yfill, LICE_pixel color, float alpha = 1.0f,
                      int mode = 0, float tol = 0.0f);
void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                       float yctl2, float xend, float yend, int xfill, LICE_pixel color, float alpha = 1.0f,
                       int mode = 0, float tol = 0.0f);
// The y of the quadratic with x control values x1, x2, x3 and y control values y1, y2, y3 where
// it reaches x (x growing along the curve); *t receives the curve parameter. Instantiated for
// float and double.
template <class T> T LICE_Bezier_GetY(T x1, T x2, T x3, T y1, T y2, T y3, T x, double* t = nullptr);
// The y of the cubic (start x1/y1, controls 2 and 3, end x4/y4) at x, from 8 rounds of
// bisection of the curve parameter: the chord between the two bracketing samples. Optional
// outputs: the x of the upper sample, the chord's slope, and the bracket's parameters.
template <class T>
T LICE_CBezier_GetY(T x1, T x2, T x3, T x4, T y1, T y2, T y3, T y4, T x, T* nextx = nullptr, T* dydx = nullptr,
                    double* tlo = nullptr, double* thi = nullptr);
