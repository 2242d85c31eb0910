// Shared by the editor tests that drive a whole plug-in: a Veltrane whose editor opens on the scripted
// surface, with the built images, and a click of the mouse on that surface.
#pragma once

#include "Veltrane.h"
#include "editor_test_util.h"
#include "engine_harness.h"
#include "scripted_surface.h"

#include <memory>

struct EditorRig
{
  EditorRig()
  {
    useBuiltResources();
    v = MakeVeltrane();
    g = scripted(v.get());
  }
  // Opens the window; the first idle builds the panels.
  void open()
  {
    g->OpenWindow(nullptr);
    v->OnGUIOpen();
    v->OnIdle();
  }
  void click(int x, int y, IMouseMod mod = IMouseMod(true))
  {
    g->MouseDown(x, y, mod);
    g->MouseUp(x, y, mod);
  }
  // The header rectangle of a display position: the top row right of the global section, then the bottom row.
  static IRECT header(int p)
  {
    return p < 8 ? IRECT(256 + 128 * p, 0, 384 + 128 * p, 24) : IRECT(128 * (p - 8), 326, 128 * (p - 7), 350);
  }

  UseScriptedSurfaces surfaces;
  std::unique_ptr<Veltrane> v;
  ScriptedSurface* g;
};
