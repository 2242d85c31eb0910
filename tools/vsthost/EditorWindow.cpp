#include "EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vsthost {

namespace {

volatile sig_atomic_t gStop = 0;
void OnStopSignal(int)
{
  gStop = 1;
}

double NowSeconds()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The editor's size from effEditGetRect; false when the plug-in gives none.
bool EditorSize(Plugin& plugin, int* width, int* height)
{
  ERect* rect = nullptr;
  plugin.Dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return false;
  const int w = rect->right - rect->left, h = rect->bottom - rect->top;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
  *width = w;
  *height = h;
  return true;
}

void FixSize(Display* display, Window window, int width, int height)
{
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  hints->flags = PMinSize | PMaxSize;
  hints->min_width = hints->max_width = width;
  hints->min_height = hints->max_height = height;
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
}

} // namespace

bool RunEditor(Plugin& plugin, const EditorOptions& options, std::string* error)
{
  if (!(plugin.Effect()->flags & effFlagsHasEditor)) {
    *error = "the plug-in has no editor";
    return false;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    *error = name && *name ? std::string("cannot open the X display \"") + name + "\""
                           : std::string("cannot open the X display: DISPLAY is not set (edit needs a screen)");
    return false;
  }
  int width = 400, height = 300; // until the plug-in tells its size
  EditorSize(plugin, &width, &height);

  const int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, (unsigned)width, (unsigned)height,
                                      0, BlackPixel(display, screen), BlackPixel(display, screen));
  const std::string title = "vsthost: " + plugin.Info().effectName;
  XStoreName(display, window, title.c_str());
  XClassHint* cls = XAllocClassHint();
  if (cls) {
    char name[] = "vsthost", klass[] = "Vsthost";
    cls->res_name = name;
    cls->res_class = klass;
    XSetClassHint(display, window, cls);
    XFree(cls);
  }
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &deleteWindow, 1);
  FixSize(display, window, width, height);
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  // Plug-ins expect a parent that is on screen.
  for (XEvent e;;) {
    XNextEvent(display, &e);
    if (e.type == MapNotify && e.xmap.window == window) break;
  }

  plugin.onSizeWindow = [&](int w, int h) {
    XResizeWindow(display, window, (unsigned)w, (unsigned)h);
    FixSize(display, window, w, h);
    XFlush(display);
    return true;
  };
  if (!plugin.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window)))
    std::fprintf(stderr, "vsthost: the plug-in answered 0 to effEditOpen\n");
  int w2 = width, h2 = height;
  if (EditorSize(plugin, &w2, &h2) && (w2 != width || h2 != height)) plugin.onSizeWindow(w2, h2);

  struct sigaction sa = {}, oldInt = {}, oldTerm = {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  gStop = 0;

  const double start = NowSeconds(), period = 1.0 / std::max(1, options.idleHz);
  double nextIdle = start;
  bool open = true, destroyed = false;
  while (open && !gStop) {
    while (XPending(display) > 0) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == deleteWindow) open = false;
      if (e.type == DestroyNotify && e.xdestroywindow.window == window) {
        destroyed = true;
        open = false;
      }
    }
    if (!open) break;
    const double now = NowSeconds();
    if (options.closeAfterSeconds >= 0 && now - start >= options.closeAfterSeconds) break;
    if (now >= nextIdle) {
      plugin.Dispatch(effEditIdle);
      nextIdle = std::max(nextIdle + period, now);
      continue;
    }
    pollfd p = {ConnectionNumber(display), POLLIN, 0};
    poll(&p, 1, std::max(1, (int)((nextIdle - now) * 1000.0)));
  }

  plugin.Dispatch(effEditClose);
  plugin.onSizeWindow = nullptr;
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  if (!destroyed) XDestroyWindow(display, window);
  XCloseDisplay(display);
  return true;
}

} // namespace vsthost
