// Shapes of the GDI emulation drawn into a memory context.
#include "raster/lice.h"
#include "swell/swell-gdi.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The first and last inked column of a row (-1, -1 when it has none).
std::pair<int, int> InkOfRow(LICE_IBitmap* bm, int y)
{
  int first = -1, last = -1;
  for (int x = 0; x < bm->getWidth(); ++x)
    if (LICE_GETR(LICE_GetPixel(bm, x, y))) {
      if (first < 0) first = x;
      last = x;
    }
  return {first, last};
}

} // namespace

// A pen of w pixels strokes bands of w pixels centred on the edges; the top and bottom bands reach exactly
// as far as the outer edges of the side bands, for odd and even widths alike.
TEST(GdiShapes, RectangleBandsMeetAtTheCorners)
{
  const int l = 10, t = 10, r = 30, b = 25;
  for (int w = 1; w <= 5; ++w) {
    LICE_SysBitmap bm(40, 40);
    LICE_Clear(&bm, LICE_RGBA(0, 0, 0, 255));
    HDC dc = bm.getDC();
    HGDIOBJ pen = CreatePen(0, w, 0xFF0000);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, l, t, r, b);
    const std::pair<int, int> middle = InkOfRow(&bm, (t + b) / 2);
    int top = 40, bottom = -1;
    for (int y = 0; y < 40; ++y)
      if (InkOfRow(&bm, y).first >= 0) top = std::min(top, y), bottom = std::max(bottom, y);
    EXPECT_EQ(middle, InkOfRow(&bm, top)) << "top band, pen " << w;
    EXPECT_EQ(middle, InkOfRow(&bm, bottom)) << "bottom band, pen " << w;
    // The frame is w pixels thick on every side.
    auto inked = [&](int x, int y) { return LICE_GETR(LICE_GetPixel(&bm, x, y)) != 0; };
    int left = 0, upper = 0;
    while (inked(middle.first + left, (t + b) / 2)) ++left;
    while (inked((l + r) / 2, top + upper)) ++upper;
    EXPECT_EQ(w, left) << w;
    EXPECT_EQ(w, upper) << w;
    // A one-pixel pen stays inside l..r-1, t..b-1.
    if (w == 1) {
      EXPECT_EQ(std::make_pair(l, r - 1), middle);
      EXPECT_EQ(t, top);
      EXPECT_EQ(b - 1, bottom);
    }
    SelectObject(dc, GetStockObject(NULL_PEN));
    DeleteObject(pen);
  }
}
