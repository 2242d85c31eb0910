// GDI emulation: drawing contexts, pens, brushes, fonts, text and shapes in the Win32 style.
//
// A memory context owns a zeroed 32-bit pixel buffer whose start is aligned to 64 bytes.
// Each pixel is four bytes A (ignored by system drawing), R, G, B: byte for byte the raster
// library's LICE_pixel, so LICE_SysBitmap uses the buffer directly as its pixels. Row 0 is
// the top of the picture and a row is exactly width pixels long. Coordinates grow right and
// down from the top-left pixel.
//
// A context carries the selected pen, brush and font, the text and background colours, the
// background mode, a current position and a clip rectangle (the whole buffer until narrowed).
// Everything drawn into it (text, shapes, pixel copies) is clipped to that rectangle.
//
// Colours are ints with red in bits 16-23, green 8-15 and blue 0-7.
//
// Fonts are resolved by face name, weight and slant through fontconfig and rasterised with
// FreeType. "Arial" and "Helvetica" resolve to Liberation Sans, "Monaco" to DejaVu Sans Mono;
// other names go to fontconfig as they are.
//
// Context and object records are recycled through process-wide pools guarded by a recursive
// mutex, so they may be created and deleted from any thread; a single context or object is
// used by one thread at a time. Every operation does nothing (or returns null, 0 or -1) for a
// null or deleted context or object.
#pragma once

#include "swell-types.h"

struct POINT
{
  int x, y;
};

// Metrics of a context's font: five ints.
struct TEXTMETRIC
{
  int tmHeight;          // ascent + descent + leading + 1
  int tmAscent;          // pixels above the baseline
  int tmDescent;         // pixels below it
  int tmInternalLeading; // the face's line gap
  int tmAveCharWidth;    // two thirds of ascent + descent + leading
};

struct LOGFONT
{
  int lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
  char lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
  char lfFaceName[32];
};

struct ICONINFO
{
  bool fIcon;
  int xHotspot, yHotspot;
  HGDIOBJ hbmMask;
  HGDIOBJ hbmColor;
};

// Text flags of SWELL_DrawText (combinable; left and top alignment are 0).
enum {
  DT_CALCRECT = 1,    // measure only: set the rectangle's right and bottom
  DT_VCENTER = 2,     // centre the block vertically
  DT_CENTER = 4,      // centre the block horizontally
  DT_BOTTOM = 16,     // align with the bottom (before DT_VCENTER)
  DT_RIGHT = 32,      // align with the right (before DT_CENTER)
  DT_SINGLELINE = 64, // line feeds become spaces
  DT_NOPREFIX = 128,  // '&' is an ordinary character
  DT_NOCLIP = 256,    // do not clip to the rectangle
};

// Font quality of CreateFont.
enum { DEFAULT_QUALITY = 0, NONANTIALIASED_QUALITY = 3, ANTIALIASED_QUALITY = 4 };
enum { FW_NORMAL = 400, FW_BOLD = 700 };
// GetStockObject
enum { NULL_PEN = 1, NULL_BRUSH = 2 };
// Background modes
enum { TRANSPARENT = 0, OPAQUE = 1 };
// StretchBlt mode that takes the source's first byte as alpha (not premultiplied).
constexpr unsigned int SRCCOPY_USEALPHACHAN = 0xDEADBEEF;
constexpr int SRCCOPY = 0xCC0020;

// ---- contexts ----

// Creates a memory context of width x height pixels (the reference context is ignored).
// Returns null when either size is below 1, when width x height x 4 bytes does not fit in an
// int (the raster library indexes pixels with ints), or when memory runs out.
HDC SWELL_CreateMemContext(HDC refctx, int width, int height);

// The 64-byte-aligned first pixel of a memory context's buffer; its row span is the width the
// context was created with. Null for a null or deleted context.
void* SWELL_GetCtxFrameBuffer(HDC ctx);

// Releases a context together with its pixels. Null and already deleted contexts are ignored
// while the record waits in the pool.
void SWELL_DeleteGfxContext(HDC ctx);

// Text colour of a context; -1 for a null or deleted context. New memory contexts start with black.
int GetTextColor(HDC ctx);
void SetTextColor(HDC ctx, int colour);
void SetBkColor(HDC ctx, int colour);
void SetBkMode(HDC ctx, int mode); // TRANSPARENT or OPAQUE (text over a background fill)

// Selects a pen, brush or font and returns the previous one of that type, or the type number
// (1 pen, 2 brush, 3 font) when there was none; passing the result back restores the earlier
// state. The values 1, 2 and 3 clear that selection. Null for anything that is not a live pen,
// brush or font.
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);
// Drops one reference; the last one frees the object. Stock objects are never freed.
void DeleteObject(HGDIOBJ obj);

// Saves the clip rectangle, narrows it to a rectangle (never widens it), and restores the one
// saved by the matching push.
void SWELL_PushClipRegion(HDC ctx);
void SWELL_SetClipRegion(HDC ctx, const RECT* r);
void SWELL_PopClipRegion(HDC ctx);

// ---- fonts and text ----

// A font of |height| pixels (|width| when height is 0; 10 outside 2..8192). Weight 700 or more
// asks for bold, a nonzero italic for italic; quality 3 draws without antialiasing, 4 with.
// The other arguments are accepted and ignored. Always returns a font object.
HGDIOBJ CreateFont(int height, int width, int escapement, int orientation, int weight, char italic, char underline,
                   char strikeOut, char charSet, char outPrecision, char clipPrecision, char quality,
                   char pitchAndFamily, const char* face);
HGDIOBJ CreateFontIndirect(const LOGFONT* lf);
// Metrics of the context's font (a default font of size 10 when none is selected).
bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm);
// The family name of the context's font, at most size - 1 bytes; returns the copied length.
int GetTextFace(HDC ctx, int size, char* out);
// Measures (DT_CALCRECT) or draws UTF-8 text in the rectangle with the context's font, text
// colour and background; returns the block's height, 0 when nothing could be laid out. length
// below 0 reads to the terminating zero. Without DT_NOPREFIX '&' marks the next character as
// literal ("&&" draws one '&'); carriage returns are dropped; line feeds break lines.
int SWELL_DrawText(HDC ctx, const char* text, int length, RECT* rect, int flags);
// Makes a font file known to the font look-up; returns 1 on success.
int AddFontResourceEx(const char* path, int flags, void* reserved);

// ---- pens, brushes and shapes ----

HGDIOBJ CreatePen(int style, int width, int colour);
HGDIOBJ CreatePenAlpha(int style, int width, int colour, float alpha);
HGDIOBJ CreateSolidBrush(int colour);
HGDIOBJ CreateSolidBrushAlpha(int colour, float alpha);
HGDIOBJ GetStockObject(int which);        // NULL_PEN or NULL_BRUSH, which draw nothing
HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj); // one more reference

void SWELL_FillRect(HDC ctx, const RECT* r, HGDIOBJ brush);
void Rectangle(HDC ctx, int l, int t, int r, int b);
void Ellipse(HDC ctx, int l, int t, int r, int b);
void SWELL_Polygon(HDC ctx, const POINT* points, int n);
void RoundRect(HDC ctx, int l, int t, int r, int b, int ew, int eh);
void MoveToEx(HDC ctx, int x, int y, POINT* old);
void SWELL_LineTo(HDC ctx, int x, int y);
void PolyBezierTo(HDC ctx, const POINT* points, int n);
void PolyPolyline(HDC ctx, const POINT* points, const int* counts, int nCounts);
void SWELL_SetPixel(HDC ctx, int x, int y, int colour);
// The drawing target of a context: on this platform the context itself (null when deleted).
void* SWELL_GetCtxGC(HDC ctx);

// ---- pixel copies, images and image lists ----

void StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, unsigned int mode);
void BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, unsigned int mode);

HGDIOBJ CreateBitmap(int width, int height, int planes, int bitsPerPixel, const unsigned char* bits);
// A PNG file by path; with magentaToAlpha pure magenta pixels become transparent.
HGDIOBJ LoadNamedImage(const char* name, bool magentaToAlpha);
HGDIOBJ CreateIconIndirect(const ICONINFO* info);
// For a live image object and size 8: its width and height as two ints.
bool GetObject(HGDIOBJ obj, int size, void* out);
void DrawImageInRect(HDC ctx, HGDIOBJ image, const RECT* r);

struct HIMAGELIST__;
typedef HIMAGELIST__* HIMAGELIST;
HIMAGELIST ImageList_CreateEx();
int ImageList_Add(HIMAGELIST list, HGDIOBJ image, HGDIOBJ mask);
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HGDIOBJ icon);
bool ImageList_Remove(HIMAGELIST list, int index);
void ImageList_Destroy(HIMAGELIST list);

// ---- queries ----

int GetSysColor(int index);
bool SWELL_IsRetinaDC(HDC ctx); // always false: contexts map one pixel to one pixel
