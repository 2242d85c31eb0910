#include "EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vsthost {

namespace {

// SIGINT and SIGTERM write a byte here for the watcher (a pipe: all a signal handler may safely do).
int gSignalPipe[2] = {-1, -1};
void OnStopSignal(int)
{
  const char byte = 's';
  const ssize_t written = write(gSignalPipe[1], &byte, 1);
  (void)written; // a full pipe already holds a request
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

// Watches the top-level window on a thread and a connection of its own. A plug-in's menu, text field or
// message box runs a loop inside the host's idle call, and while it is open the host's own loop does not run:
// the watcher still hears the window's close, SIGINT, SIGTERM and the end of the time. It then hides the
// window, which dismisses whatever element is open (an element without a window on screen cannot be answered)
// so that the plug-in's call returns, and tells the idle loop to close the editor.
class WindowWatcher
{
public:
  WindowWatcher(Display* display, Window window, Atom deleteWindow, double closeAfterSeconds)
      : display_(display), window_(window), deleteWindow_(deleteWindow), closeAfter_(closeAfterSeconds)
  {
    thread_ = std::thread([this] { watch(); });
  }
  ~WindowWatcher()
  {
    quit_ = true;
    OnStopSignal(0); // wakes the watcher's wait
    thread_.join();
  }
  bool Stopped() const { return stopped_.load(); }
  bool Destroyed() const { return destroyed_.load(); }

private:
  void watch()
  {
    const double start = NowSeconds();
    for (;;) {
      bool stop = false;
      while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == deleteWindow_) stop = true;
        if (e.type == DestroyNotify && e.xdestroywindow.window == window_) {
          destroyed_ = true;
          stop = true;
        }
      }
      const double left = closeAfter_ >= 0 ? start + closeAfter_ - NowSeconds() : 1.0;
      if (!stop && left > 0) {
        pollfd p[2] = {{ConnectionNumber(display_), POLLIN, 0}, {gSignalPipe[0], POLLIN, 0}};
        if (poll(p, 2, (int)std::ceil(std::min(left, 1.0) * 1000.0)) > 0 && (p[1].revents & POLLIN)) {
          char bytes[16];
          while (read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
          }
          stop = true;
        }
      }
      if (quit_.load()) return; // the editor is closed already
      if (stop || left <= 0) {
        if (!destroyed_) XUnmapWindow(display_, window_);
        XFlush(display_);
        stopped_ = true;
        return;
      }
    }
  }

  Display* display_;
  Window window_;
  Atom deleteWindow_;
  double closeAfter_;
  std::atomic<bool> stopped_{false}, destroyed_{false}, quit_{false};
  std::thread thread_;
};

} // namespace

bool RunEditor(Plugin& plugin, const EditorOptions& options, std::string* error)
{
  if (!(plugin.Effect()->flags & effFlagsHasEditor)) {
    *error = "the plug-in has no editor";
    return false;
  }
  // Two connections: the watcher's owns the window (its close request comes to the connection that made it),
  // this thread's resizes it when the plug-in asks.
  Display* watched = XOpenDisplay(nullptr);
  Display* display = watched ? XOpenDisplay(nullptr) : nullptr;
  if (!display) {
    if (watched) XCloseDisplay(watched);
    const char* name = std::getenv("DISPLAY");
    *error = name && *name ? std::string("cannot open the X display \"") + name + "\""
                           : std::string("cannot open the X display: DISPLAY is not set (edit needs a screen)");
    return false;
  }
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    XCloseDisplay(display);
    XCloseDisplay(watched);
    *error = "cannot make a pipe for the signals";
    return false;
  }
  int width = 400, height = 300; // until the plug-in tells its size
  EditorSize(plugin, &width, &height);

  const int screen = DefaultScreen(watched);
  Window window = XCreateSimpleWindow(watched, RootWindow(watched, screen), 0, 0, (unsigned)width, (unsigned)height,
                                      0, BlackPixel(watched, screen), BlackPixel(watched, screen));
  const std::string title = "vsthost: " + plugin.Info().effectName;
  XStoreName(watched, window, title.c_str());
  XClassHint* cls = XAllocClassHint();
  if (cls) {
    char name[] = "vsthost", klass[] = "Vsthost";
    cls->res_name = name;
    cls->res_class = klass;
    XSetClassHint(watched, window, cls);
    XFree(cls);
  }
  Atom deleteWindow = XInternAtom(watched, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(watched, window, &deleteWindow, 1);
  FixSize(watched, window, width, height);
  XSelectInput(watched, window, StructureNotifyMask);
  XMapWindow(watched, window);
  // Plug-ins expect a parent that is on screen.
  for (XEvent e;;) {
    XNextEvent(watched, &e);
    if (e.type == MapNotify && e.xmap.window == window) break;
  }

  struct sigaction sa = {}, oldInt = {}, oldTerm = {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  bool destroyed = false;
  {
    WindowWatcher watcher(watched, window, deleteWindow, options.closeAfterSeconds);
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

    const double period = 1.0 / std::max(1, options.idleHz);
    double nextIdle = NowSeconds();
    while (!watcher.Stopped()) {
      const double now = NowSeconds();
      if (now >= nextIdle) {
        plugin.Dispatch(effEditIdle);
        nextIdle = std::max(nextIdle + period, now);
        continue;
      }
      // At most a few milliseconds between looks at the watcher: a stop is carried out at once.
      const double wait = std::min(nextIdle - now, 0.005);
      timespec ts = {0, (long)(wait * 1e9)};
      nanosleep(&ts, nullptr);
    }
    plugin.Dispatch(effEditClose);
    plugin.onSizeWindow = nullptr;
    destroyed = watcher.Destroyed();
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  close(gSignalPipe[0]);
  close(gSignalPipe[1]);
  gSignalPipe[0] = gSignalPipe[1] = -1;
  if (!destroyed) XDestroyWindow(watched, window);
  XCloseDisplay(display);
  XCloseDisplay(watched);
  return true;
}

} // namespace vsthost
