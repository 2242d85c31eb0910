// Records behind the GDI emulation's handles. Private to WDL/swell.
#pragma once

#include "swell-types.h"

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
};
