// Text of arbitrary bytes through the GDI's SWELL_DrawText and the cached font, measured and drawn with
// the flags and font flags the first two bytes choose, into a small bitmap at a rectangle that may reach
// outside it. Nothing may read or write outside a buffer, whatever the bytes (malformed UTF-8, prefixes,
// line feeds, characters without glyphs).
#include "raster/lice_text.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 2) return 0;
  static HGDIOBJ font = CreateFont(11, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  static LICE_SysBitmap bm(64, 24);
  const int flags = data[0] & (DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  const int fontFlags = (data[1] & 0x7F) | ((data[1] & 0x80) ? LICE_FONT_FLAG_FORCE_NATIVE : 0);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  RECT r = {(int)(data[0] >> 6) - 2, -3, 60 + (data[1] & 7), 30};

  HDC dc = bm.getDC();
  HGDIOBJ old = SelectObject(dc, font);
  RECT m = r;
  SWELL_DrawText(dc, text.data(), (int)text.size(), &m, flags | DT_CALCRECT);
  SWELL_DrawText(dc, text.c_str(), -1, &r, flags);
  SelectObject(dc, old);

  LICE_CachedFont cf;
  cf.SetFromHFont(font, fontFlags & ~LICE_FONT_FLAG_PRECALCALL);
  cf.SetTextColor(LICE_RGBA(200, 100, 50, data[0]));
  cf.SetCombineMode(data[1] % 6, 0.75f);
  RECT c = r;
  cf.DrawText(nullptr, text.data(), (int)text.size(), &c, (unsigned)flags | DT_CALCRECT);
  cf.DrawText(&bm, text.data(), (int)text.size(), &r, (unsigned)flags | LICE_DT_USEFGALPHA);
  LICE_MemBitmap plain(40, 20);
  cf.DrawText(&plain, text.data(), (int)text.size(), &r, (unsigned)flags);
  return 0;
}
