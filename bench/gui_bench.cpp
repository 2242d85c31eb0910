// The editor's 25 Hz tick on the Linux surface (headless): one that redraws a single knob-sized control,
// and one that redraws the whole 1280 x 650 editor full of panels and texts. Microseconds per tick.
#include "IControl.h"
#include "IGraphicsLinux.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A 48 x 48 knob: a filled disc, a ring and a pointer at the value's angle.
class Knob : public IControl
{
public:
  Knob(IRECT r) : IControl(nullptr, r) {}
  bool Draw(IGraphics* g) override
  {
    const IColor body(255, 60, 64, 72), ring(255, 200, 200, 210), pointer(255, 255, 190, 60);
    const float cx = mRECT.MW(), cy = mRECT.MH(), r = mRECT.W() * 0.5f - 2.0f;
    g->FillIRect(&body, &mRECT);
    g->FillCircle(&ring, (int)cx, (int)cy, r, nullptr, true);
    g->FillCircle(&body, (int)cx, (int)cy, r - 3.0f, nullptr, true);
    const float angle = (float)(-2.4 + 4.8 * mValue);
    g->DrawRadialLine(&pointer, cx, cy, angle, 4.0f, r - 2.0f, nullptr, true);
    return true;
  }
  void Turn(double v)
  {
    mValue = v;
    SetDirty(false);
  }
};

// The editor's background, repainted only inside the area being redrawn, as an image background is.
class Background : public IControl
{
public:
  Background(IRECT r) : IControl(nullptr, r) {}
  bool Draw(IGraphics* g) override
  {
    const IColor bg(255, 92, 98, 108);
    IRECT area = mRECT.Intersect(g->mDrawRECT);
    return area.Empty() || g->FillIRect(&bg, &area);
  }
};

std::unique_ptr<IGraphicsLinux> MakeSurface(Knob** knob)
{
  std::unique_ptr<IGraphicsLinux> g(new IGraphicsLinux(nullptr, 1280, 650));
  g->PrepDraw();
  g->AttachControl(new Background(IRECT(0, 0, 1280, 650)));
  // 150 panels with a text each: a grid of 15 x 10 cells of 85 x 65 pixels.
  IText style(12, &COLOR_BLACK, "Arial");
  for (int i = 0; i < 150; ++i) {
    const int x = (i % 15) * 85, y = (i / 15) * 65;
    const IColor c(255, 120 + i % 100, 140, 160);
    g->AttachControl(new IPanelControl(nullptr, IRECT(x + 2, y + 2, x + 83, y + 63), &c));
    char name[32];
    std::snprintf(name, sizeof name, "Module %d", i);
    g->AttachControl(new ITextControl(nullptr, IRECT(x + 4, y + 40, x + 81, y + 58), &style, name));
  }
  *knob = new Knob(IRECT(400, 300, 448, 348));
  g->AttachControl(*knob);
  g->OpenWindow(nullptr);
  g->Tick();
  return g;
}

void BM_TickOneDirtyKnob(benchmark::State& state)
{
  Knob* knob = nullptr;
  std::unique_ptr<IGraphicsLinux> g = MakeSurface(&knob);
  double v = 0.0;
  for (auto _ : state) {
    v = v > 0.99 ? 0.0 : v + 0.01;
    knob->Turn(v);
    benchmark::DoNotOptimize(g->Tick());
  }
}
BENCHMARK(BM_TickOneDirtyKnob)->Unit(benchmark::kMicrosecond);

void BM_TickWholeEditor(benchmark::State& state)
{
  Knob* knob = nullptr;
  std::unique_ptr<IGraphicsLinux> g = MakeSurface(&knob);
  for (auto _ : state) {
    g->SetAllControlsDirty();
    benchmark::DoNotOptimize(g->Tick());
  }
}
BENCHMARK(BM_TickWholeEditor)->Unit(benchmark::kMicrosecond);

void BM_TickNothingDirty(benchmark::State& state)
{
  Knob* knob = nullptr;
  std::unique_ptr<IGraphicsLinux> g = MakeSurface(&knob);
  for (auto _ : state) benchmark::DoNotOptimize(g->Tick());
}
BENCHMARK(BM_TickNothingDirty)->Unit(benchmark::kMicrosecond);

} // namespace
