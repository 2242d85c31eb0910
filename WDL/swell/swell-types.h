// Win32-shaped value types shared by the GDI emulation and the raster library.
#pragma once

// Rectangle in pixels; right and bottom are exclusive.
typedef struct tagRECT
{
  int left, top, right, bottom;
} RECT;

// Drawing context of the GDI emulation (see swell-gdi.h).
struct HDC__;
typedef HDC__* HDC;

// Pen, brush, font or image object of the GDI emulation.
struct HGDIOBJ__;
typedef HGDIOBJ__* HGDIOBJ;
