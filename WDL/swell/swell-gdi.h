// GDI emulation: memory drawing contexts.
//
// A memory context owns a zeroed 32-bit pixel buffer whose start is aligned to 64 bytes.
// Each pixel is four bytes A (ignored by system drawing), R, G, B: byte for byte the raster
// library's LICE_pixel, so LICE_SysBitmap uses the buffer directly as its pixels. Row 0 is
// the top of the picture and a row is exactly width pixels long.
//
// Context records are recycled through a process-wide pool guarded by a recursive mutex, so
// contexts may be created and deleted from any thread; a single context is used by one thread
// at a time.
#pragma once

#include "swell-types.h"

// Creates a memory context of width x height pixels (the reference context is ignored).
// Returns null when either size is below 1, when width x height x 4 bytes does not fit in an
// int (the raster library indexes pixels with ints), or when memory runs out.
HDC SWELL_CreateMemContext(HDC refctx, int width, int height);

// The 64-byte-aligned first pixel of a memory context's buffer; its row span is the width the
// context was created with. Null for a null or deleted context.
void* SWELL_GetCtxFrameBuffer(HDC ctx);

// Releases a context made by SWELL_CreateMemContext together with its pixels. Null and
// already deleted contexts are ignored while the record waits in the pool.
void SWELL_DeleteGfxContext(HDC ctx);

// Text colour of a context (red in bits 16-23, green 8-15, blue 0-7); -1 for a null or
// deleted context. New memory contexts start with black.
int GetTextColor(HDC ctx);
