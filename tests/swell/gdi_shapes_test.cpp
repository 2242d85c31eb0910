// Shapes of the GDI emulation drawn into a memory context.
#include "raster/lice.h"
#include "swell/swell-gdi.h"

#include <gtest/gtest.h>

#include <utility>

// A pen of w pixels strokes bands of w pixels centred on the edges; the top and bottom bands reach exactly
// as far as the outer edges of the side bands, for odd and even widths alike.
TEST(GdiShapes, RectangleBandsMeetAtTheCorners)
{
  const int l = 10, t = 10, r = 30, b = 25, mid = (t + b) / 2;
  for (int w = 1; w <= 5; ++w) {
    LICE_SysBitmap bm(40, 40);
    LICE_Clear(&bm, LICE_RGBA(0, 0, 0, 255));
    HDC dc = bm.getDC();
    HGDIOBJ pen = CreatePen(0, w, 0xFF0000);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, l, t, r, b);
    auto inked = [&](int x, int y) { return LICE_GETR(LICE_GetPixel(&bm, x, y)) != 0; };
    // First and last inked column of a row, and the first inked row of the middle column.
    auto row = [&](int y) {
      int first = -1, last = -1;
      for (int x = 0; x < 40; ++x) {
        if (!inked(x, y)) continue;
        if (first < 0) first = x;
        last = x;
      }
      return std::make_pair(first, last);
    };
    int top = 0, bottom = 39;
    while (top < 40 && !inked((l + r) / 2, top)) ++top;
    while (bottom >= 0 && !inked((l + r) / 2, bottom)) --bottom;
    EXPECT_EQ(row(mid), row(top)) << "top band, pen " << w;
    EXPECT_EQ(row(mid), row(bottom)) << "bottom band, pen " << w;
    // w pixels thick on every side; a one-pixel pen stays inside l..r-1, t..b-1.
    int left = 0, upper = 0;
    while (inked(row(mid).first + left, mid)) ++left;
    while (inked((l + r) / 2, top + upper)) ++upper;
    EXPECT_EQ(w, left);
    EXPECT_EQ(w, upper);
    if (w == 1) {
      EXPECT_EQ(std::make_pair(l, r - 1), row(mid));
      EXPECT_EQ(std::make_pair(t, b - 1), std::make_pair(top, bottom));
    }
    SelectObject(dc, GetStockObject(NULL_PEN));
    DeleteObject(pen);
  }
}
