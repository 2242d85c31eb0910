// Records behind the GDI emulation's handles, and the helpers its files share. Private to WDL/swell.
#pragma once

#include "swell-gdi.h"

#include "raster/lice.h"

struct SwellFont;

struct HDC__
{
  void* ownedpixels; // raw allocation; the frame buffer is this rounded up to 64 bytes
  int width, height; // of the frame buffer, in pixels
  HGDIOBJ curpen, curbrush, curfont;
  int curtextcol; // red in bits 16-23, green 8-15, blue 0-7
  int curbkcol;   // same layout
  int curbkmode;  // 0 transparent, 1 opaque
  float lastpos_x, lastpos_y;
  bool _infreelist; // set while the record waits in the pool: every operation ignores it
  HDC__* _next;     // pool link
  float linewidth;  // the line width last used by a stroke (Ellipse strokes with it)
  // Clip: the current rectangle (clipped is false while it is the whole buffer) and the
  // rectangles saved by SWELL_PushClipRegion; pushes beyond the stack's depth are counted so that
  // their pops match, and keep the clip they found.
  bool clipped;
  RECT clip;
  static constexpr int kClipDepth = 16;
  RECT clipStack[kClipDepth];
  bool clipStackSet[kClipDepth];
  int clipDepth;
};

struct HGDIOBJ__
{
  int type;                // 1 pen, 2 brush, 3 font, 4 image
  int additional_refcnt;   // 0: one owner; SWELL_CloneGDIObject adds one
  int colour;              // pen or brush colour
  float alpha;             // pen or brush opacity, 0..1
  int wid;                 // pen width; 0 for a brush; -1 the stock null pen and brush; image: 1 owns it
  LICE_IBitmap* image;     // image object's pixels
  bool _infreelist;        // set while the record waits in the pool
  HGDIOBJ__* _next;        // pool link
  SwellFont* font;         // font object's face, owned
  char fontquality;        // 0 system default, 3 not antialiased, 4 antialiased
};

namespace swell {
enum { kPen = 1, kBrush = 2, kFont = 3, kImage = 4 };

bool isLive(HDC ctx);
bool isLiveObject(HGDIOBJ obj, int type); // any type when type is 0
// A cleared object record of the type, from the pool when it has one.
HGDIOBJ newObject(int type);
// The clip rectangle of a context, inside its buffer.
RECT clipRect(HDC ctx);

// The part of a context's pixels inside its clip rectangle (and inside a further limit), as a raster
// bitmap: raster calls draw into it at context coordinates minus (x0, y0) and so stay inside the clip.
class ClipView : public LICE_IBitmap
{
public:
  LICE_pixel* getBits() override { return bits; }
  int getWidth() override { return w; }
  int getHeight() override { return h; }
  int getRowSpan() override { return span; }
  bool resize(int, int) override { return false; }

  LICE_pixel* bits = nullptr;
  int w = 0, h = 0, span = 0;
  int x0 = 0, y0 = 0; // context position of the view's top-left pixel
};
// False when nothing of the context is drawable there.
bool makeView(HDC ctx, const RECT* limit, ClipView* view);
// Colour int to raster pixel with an alpha byte.
unsigned int toPixel(int colour, int alpha = 255);
// Releases what a font object owns (text layer).
void freeFont(SwellFont* font);
} // namespace swell
