// Shared by the GUI tests: a GuiPlug with its editor open and drawn, and pixel helpers.
#pragma once

#include "GuiPlug.h"

#include <gtest/gtest.h>

#include <memory>

struct OpenEditor
{
  GuiPlug plug{IPlugInstanceInfo{nullptr}};
  SteppedGraphics* g = plug.Editor();
  OpenEditor()
  {
    g->OpenWindow(nullptr);
    g->Tick(); // draws everything once
  }
  IColor Pixel(int x, int y) { return g->GetPoint(x, y); }
  // A copy of the draw bitmap's pixels, to compare before and after.
  std::vector<LICE_pixel> Snapshot()
  {
    LICE_IBitmap* bm = g->GetDrawBitmap();
    std::vector<LICE_pixel> out;
    for (int y = 0; y < bm->getHeight(); ++y)
      for (int x = 0; x < bm->getWidth(); ++x) out.push_back(bm->getBits()[y * bm->getRowSpan() + x]);
    return out;
  }
  static IMouseMod Left() { return IMouseMod(true); }
  static IMouseMod Right() { return IMouseMod(false, true); }
};

// The middle of a rectangle.
inline int MidX(const IRECT& r)
{
  return (r.L + r.R) / 2;
}
inline int MidY(const IRECT& r)
{
  return (r.T + r.B) / 2;
}

// The menu's panel colour, which no control of GuiPlug uses.
inline bool IsMenuPanel(const IColor& c)
{
  return c.R < 70 && c.G < 70 && c.B < 75 && c.R > 30;
}
