// Drawing primitives at the sizes the editor uses them: knob arcs and pointers, discs, panel
// frames, polygons and curves, on a 1280 x 650 window; one item per primitive drawn.
#include "raster/lice.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

LICE_MemBitmap& window()
{
  static LICE_MemBitmap bm(1280, 650);
  return bm;
}

// Positions that walk over the window so that no case runs from a warm corner only.
float px(int i)
{
  return 40.0f + (float)((i * 97) % 1200);
}
float py(int i)
{
  return 40.0f + (float)((i * 61) % 570);
}

// One item per iteration: draw(i) with the iteration's index i.
template <class Draw> void drawEach(benchmark::State& state, Draw draw)
{
  int i = 0;
  for (auto _ : state) draw(i++);
  state.SetItemsProcessed(state.iterations());
}

void BM_LineAA(benchmark::State& state)
{
  drawEach(state, [](int i) {
    LICE_Line(&window(), (int)px(i), (int)py(i), (int)px(i) + 37, (int)py(i) + 23, 0xffc08040u, 1.0f, 0, true);
  });
}

void BM_FLineAA(benchmark::State& state)
{
  drawEach(state, [](int i) {
    const float a = (float)i * 0.37f;
    LICE_FLine(&window(), px(i), py(i), px(i) + 18 * std::sin(a), py(i) - 18 * std::cos(a), 0xffffffffu, 0.8f, 0, true);
  });
}

void BM_Circle(benchmark::State& state)
{
  const bool aa = state.range(0) != 0;
  drawEach(state, [aa](int i) { LICE_Circle(&window(), px(i), py(i), 20.5f, 0xff808080u, 1.0f, 0, aa); });
}

void BM_FillCircle(benchmark::State& state)
{
  const bool aa = state.range(0) != 0;
  drawEach(state, [aa](int i) { LICE_FillCircle(&window(), px(i), py(i), 20.5f, 0xff306090u, 0.7f, 0, aa); });
}

void BM_KnobArc(benchmark::State& state)
{
  drawEach(state, [](int i) { LICE_Arc(&window(), px(i), py(i), 22.0f, -2.4f, 1.7f, 0xff40c0ffu, 1.0f, 0, true); });
}

void BM_Triangle(benchmark::State& state)
{
  drawEach(state, [](int i) {
    const int x = (int)px(i), y = (int)py(i);
    LICE_FillTriangle(&window(), x, y, x + 30, y + 8, x + 9, y + 28, 0xff202020u, 0.5f, 0);
  });
}

void BM_RoundRect(benchmark::State& state)
{
  drawEach(state, [](int i) { LICE_RoundRect(&window(), px(i), py(i), 60, 30, 6, 0xff909090u, 1.0f, 0, true); });
}

void BM_CBezier(benchmark::State& state)
{
  drawEach(state, [](int i) {
    const float x = px(i), y = py(i);
    LICE_DrawCBezier(&window(), x - 30, y, x - 10, y - 30, x + 10, y + 30, x + 30, y, 0xffffff00u, 1.0f, 0, true, 1.0f);
  });
}

} // namespace

BENCHMARK(BM_LineAA);
BENCHMARK(BM_FLineAA);
BENCHMARK(BM_Circle)->Arg(0)->Arg(1);
BENCHMARK(BM_FillCircle)->Arg(0)->Arg(1);
BENCHMARK(BM_KnobArc);
BENCHMARK(BM_Triangle);
BENCHMARK(BM_RoundRect);
BENCHMARK(BM_CBezier);
