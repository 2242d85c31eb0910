// Drawing one editor-sized line of text (30 characters, 12 px) into a 1280 x 650 system bitmap through
// the cached font, after the first draw has cached what it caches.
#include "raster/lice_text.h"

#include <benchmark/benchmark.h>

namespace {
const char* kLine = "Filter (Ladder) Cutoff 1.25kHz"; // 30 characters

void DrawLine(benchmark::State& state, unsigned int flags, LICE_pixel colour)
{
  LICE_SysBitmap bm(1280, 650);
  LICE_CachedFont font;
  font.SetFromHFont(CreateFont(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"),
                    LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  font.SetTextColor(colour);
  RECT r = {100, 100, 400, 120};
  font.DrawText(&bm, kLine, -1, &r, flags);
  for (auto _ : state) benchmark::DoNotOptimize(font.DrawText(&bm, kLine, -1, &r, flags));
}
} // namespace

BENCHMARK_CAPTURE(DrawLine, Native, 0u, LICE_RGBA(230, 230, 230, 255))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DrawLine, CachedGlyphs, LICE_DT_USEFGALPHA, LICE_RGBA(230, 230, 230, 200))
    ->Unit(benchmark::kMicrosecond);
