// The editor's X11 window in a Linux host, the host-driven timer, and the desktop services that start other
// programs (file dialogs, the web browser). See IGraphicsLinuxX11.h.
#include "IGraphicsLinuxX11.h"

#include "IGraphicsLinuxOverlay.h"
#include "mutex.h"
#include "utf8.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

using linux_surface::ExpandHome;

namespace {

long long MonotonicMs()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// ---- Xlib errors ----
// The error handlers are one per process. While views exist ours are installed: the error handler records
// errors of the views' connections (a host may destroy its window, and ours with it, before it closes the
// editor; the next request on our window then fails harmlessly), the IO error handler marks a view's broken
// connection dead (the X server went away) instead of ending the host, and both hand every other
// connection's errors to the handlers they replaced.
struct OwnDisplay
{
  Display* display;
  int lastError; // error code of the latest failed request, 0 none
  bool dead;     // the connection failed
};
// Guards the list and the saved handlers. Xlib calls the handlers on any thread that uses a connection, the
// host's included, at any time up to the process's end: the lock is never destroyed.
WDL_Mutex& DisplayMutex()
{
  static WDL_LastingMutex m;
  return m.Get();
}
std::vector<OwnDisplay> sDisplays;
XErrorHandler sPreviousHandler = nullptr;
XIOErrorHandler sPreviousIOHandler = nullptr;

int OnXError(Display* display, XErrorEvent* event)
{
  {
    std::lock_guard<WDL_Mutex> lock(DisplayMutex());
    for (OwnDisplay& d : sDisplays)
      if (d.display == display) {
        d.lastError = event->error_code;
        return 0;
      }
  }
  return sPreviousHandler ? sPreviousHandler(display, event) : 0;
}

// Returning from here lets Xlib go on to the connection's exit handler below, which does not exit.
int OnXIOError(Display* display)
{
  {
    std::lock_guard<WDL_Mutex> lock(DisplayMutex());
    for (OwnDisplay& d : sDisplays)
      if (d.display == display) {
        d.dead = true;
        return 0;
      }
  }
  return sPreviousIOHandler ? sPreviousIOHandler(display) : 0;
}

// Instead of exiting the host when our connection breaks: the view stops using it.
void OnIOErrorExit(Display* display, void*)
{
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  for (OwnDisplay& d : sDisplays)
    if (d.display == display) d.dead = true;
}

// Puts our handlers first again when the host installed its own since (they then come next in line).
// Caller holds DisplayMutex().
void InstallHandlersLocked()
{
  const XErrorHandler previous = XSetErrorHandler(OnXError);
  if (previous != OnXError) sPreviousHandler = previous;
  const XIOErrorHandler previousIO = XSetIOErrorHandler(OnXIOError);
  if (previousIO != OnXIOError) sPreviousIOHandler = previousIO;
}

void InstallHandlers()
{
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  if (!sDisplays.empty()) InstallHandlersLocked();
}

void RegisterDisplay(Display* display)
{
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  InstallHandlersLocked();
  sDisplays.push_back({display, 0, false});
  XSetIOErrorExitHandler(display, OnIOErrorExit, nullptr);
}

void UnregisterDisplay(Display* display)
{
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  sDisplays.erase(std::remove_if(sDisplays.begin(), sDisplays.end(),
                                 [&](const OwnDisplay& d) { return d.display == display; }),
                  sDisplays.end());
  if (sDisplays.empty()) {
    // Give the handlers back, unless the host has installed others since.
    const XErrorHandler current = XSetErrorHandler(sPreviousHandler);
    if (current != OnXError) XSetErrorHandler(current);
    const XIOErrorHandler currentIO = XSetIOErrorHandler(sPreviousIOHandler);
    if (currentIO != OnXIOError) XSetIOErrorHandler(currentIO);
    // The previous handlers stay known: a host that saved ours while an editor was open and puts it back
    // later still has its errors handed on to them.
  }
}

bool DisplayDead(Display* display)
{
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  for (const OwnDisplay& d : sDisplays)
    if (d.display == display) return d.dead;
  return true;
}

// Waits for the replies of everything sent so far; the error code of the latest failure since the last call.
int SyncAndTakeError(Display* display)
{
  if (DisplayDead(display)) return BadImplementation;
  XSync(display, False);
  std::lock_guard<WDL_Mutex> lock(DisplayMutex());
  for (OwnDisplay& d : sDisplays)
    if (d.display == display) {
      const int e = d.dead ? BadImplementation : d.lastError;
      d.lastError = 0;
      return e;
    }
  return BadImplementation;
}

// ---- pixels ----

// Where a visual's channel mask puts an 8-bit channel: shift of the lowest bit and the number of bits.
struct ChannelPlace
{
  int shift = 0, bits = 0;
  explicit ChannelPlace(unsigned long mask)
  {
    if (!mask) return;
    while (!(mask & 1)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1) {
      mask >>= 1;
      ++bits;
    }
  }
  unsigned long Put(unsigned c) const { return bits >= 8 ? (unsigned long)c << (shift + bits - 8) : (unsigned long)(c >> (8 - bits)) << shift; }
};

// ---- keys ----

// The code point of a key symbol, 0 when it is not a character.
unsigned CodePoint(KeySym sym)
{
  if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) return (unsigned)sym;
  if ((sym & 0xff000000) == 0x01000000) return (unsigned)(sym & 0x00ffffff);
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return '0' + (unsigned)(sym - XK_KP_0);
  if (sym == XK_KP_Space) return ' ';
  return 0;
}

// The surface's key for a symbol without modifiers; kChar for characters.
int KeyOf(KeySym sym)
{
  switch (sym) {
  case XK_Up:
  case XK_KP_Up:
    return IGraphicsLinux::kUp;
  case XK_Down:
  case XK_KP_Down:
    return IGraphicsLinux::kDown;
  case XK_Left:
  case XK_KP_Left:
    return IGraphicsLinux::kLeft;
  case XK_Right:
  case XK_KP_Right:
    return IGraphicsLinux::kRight;
  case XK_Return:
  case XK_KP_Enter:
    return IGraphicsLinux::kReturn;
  case XK_Escape:
    return IGraphicsLinux::kEscape;
  case XK_BackSpace:
    return IGraphicsLinux::kBackspace;
  case XK_Delete:
  case XK_KP_Delete:
    return IGraphicsLinux::kDelete;
  case XK_Tab:
  case XK_ISO_Left_Tab:
    return IGraphicsLinux::kTab;
  case XK_Home:
  case XK_KP_Home:
    return IGraphicsLinux::kHome;
  case XK_End:
  case XK_KP_End:
    return IGraphicsLinux::kEnd;
  default:
    return CodePoint(sym) ? IGraphicsLinux::kChar : IGraphicsLinux::kOther;
  }
}

// ---- child processes ----
// Programs started for the user (the browser) are reaped by later idle calls; their ids wait here.
WDL_Mutex& ChildMutex()
{
  static WDL_LastingMutex m;
  return m.Get();
}
std::vector<pid_t> sChildren;

void ReapChildren()
{
  std::lock_guard<WDL_Mutex> lock(ChildMutex());
  sChildren.erase(std::remove_if(sChildren.begin(), sChildren.end(),
                                 [](pid_t pid) {
                                   int status;
                                   const pid_t r = waitpid(pid, &status, WNOHANG);
                                   return r == pid || (r < 0 && errno == ECHILD);
                                 }),
                  sChildren.end());
}

// Starts a program found on PATH, without a shell: stdin from /dev/null, stdout into *outFd (a pipe,
// non-blocking read end) or /dev/null when outFd is null. False when it cannot be started.
bool Spawn(const std::vector<std::string>& args, pid_t* pid, int* outFd)
{
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  if (outFd && pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outFd)
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Nothing else of the host (its sockets, its pipes) goes along into a browser that may outlive it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  // The child gets the default signal dispositions and an empty mask, whatever the host set.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL); // these two cannot be set; some C libraries refuse the whole set with them
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawnp(pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (outFd) {
    close(pipeFds[1]);
    if (rc != 0) {
      close(pipeFds[0]);
      return false;
    }
    fcntl(pipeFds[0], F_SETFL, fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
    *outFd = pipeFds[0];
  }
  return rc == 0;
}

// Runs a dialog program to its end while the editor keeps presenting itself. False when it cannot be
// started; else *status is its exit status (-1 when killed) and *out what it printed.
bool RunDialog(IGraphicsX11View* view, const std::vector<std::string>& args, std::string* out, int* status)
{
  pid_t pid;
  int fd = -1;
  if (!Spawn(args, &pid, &fd)) return false;
  out->clear();
  bool open = true;
  for (;;) {
    if (open) {
      char buf[4096];
      for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0 && out->size() < (1u << 20)) out->append(buf, (size_t)n);
        if (n > 0) continue;
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) open = false;
        break;
      }
    }
    int st = 0;
    const pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) {
      *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      break;
    }
    if (r < 0 && errno != EINTR) {
      *status = -1;
      break;
    }
    const int waitFd = open ? fd : -1;
    if (view && view->Alive()) {
      view->WaitWhileBusy(waitFd, 40);
    } else {
      pollfd p = {waitFd, POLLIN, 0};
      poll(&p, waitFd >= 0 ? 1 : 0, 40);
    }
  }
  if (fd >= 0) {
    // What is left after the program ended.
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 && out->size() < (1u << 20)) out->append(buf, (size_t)n);
    close(fd);
  }
  return true;
}

std::string FirstLine(const std::string& text)
{
  return text.substr(0, text.find('\n'));
}

} // namespace

// ---- the view ----

namespace {
// Counts a call of the view in progress (see Busy()).
struct BusyScope
{
  explicit BusyScope(int& n) : n(n) { ++n; }
  ~BusyScope() { --n; }
  int& n;
};
} // namespace

IGraphicsX11View* IGraphicsX11View::Open(IGraphicsLinux* surface, unsigned long parent, int width, int height)
{
  if (!parent || width <= 0 || height <= 0) return nullptr;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return nullptr;
  Display* display = XOpenDisplay(name);
  if (!display) return nullptr;
  RegisterDisplay(display);

  XWindowAttributes parentAttributes;
  if (!XGetWindowAttributes(display, parent, &parentAttributes) || SyncAndTakeError(display) ||
      parentAttributes.c_class != InputOutput) {
    UnregisterDisplay(display);
    XCloseDisplay(display);
    return nullptr;
  }
  XSetWindowAttributes a;
  std::memset(&a, 0, sizeof a);
  a.background_pixmap = None; // every pixel comes from the bitmap: no flash of a background
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                 KeyReleaseMask | LeaveWindowMask | StructureNotifyMask | FocusChangeMask;
  const Window window = XCreateWindow(display, parent, 0, 0, (unsigned)width, (unsigned)height, 0, CopyFromParent,
                                      InputOutput, CopyFromParent, CWBackPixmap | CWBitGravity | CWEventMask, &a);
  XMapWindow(display, window);
  XWindowAttributes own;
  if (!window || SyncAndTakeError(display) || !XGetWindowAttributes(display, window, &own) ||
      SyncAndTakeError(display)) {
    if (window) XDestroyWindow(display, window);
    SyncAndTakeError(display);
    UnregisterDisplay(display);
    XCloseDisplay(display);
    return nullptr;
  }
  IGraphicsX11View* view = new IGraphicsX11View;
  view->mSurface = surface;
  view->mDisplay = display;
  view->mWindow = window;
  view->mParent = parent;
  view->mGC = XCreateGC(display, window, 0, nullptr);
  view->mVisual = own.visual;
  view->mDepth = own.depth;
  view->mWidth = width;
  view->mHeight = height;
  XFlush(display);
  return view;
}

void IGraphicsX11View::Retire()
{
  Release();
  if (!mGone && !DisplayDead(mDisplay)) {
    XDestroyWindow(mDisplay, mWindow);
    SyncAndTakeError(mDisplay);
  }
  mGone = true;
}

IGraphicsX11View::~IGraphicsX11View()
{
  if (!mDisplay) return;
  Retire();
  if (!DisplayDead(mDisplay)) {
    if (mGC) XFreeGC(mDisplay, static_cast<GC>(mGC));
    SyncAndTakeError(mDisplay); // a window the host destroyed already fails here, quietly
  }
  UnregisterDisplay(mDisplay);
  XCloseDisplay(mDisplay);
}

void IGraphicsX11View::Present(LICE_IBitmap* bitmap, IRECT r)
{
  if (mGone || !bitmap || DisplayDead(mDisplay)) return;
  InstallHandlers(); // a large image may read the connection's replies, errors included, while it is sent
  const int w = std::min(mWidth, bitmap->getWidth()), h = std::min(mHeight, bitmap->getHeight());
  r = IRECT(std::max(r.L, 0), std::max(r.T, 0), std::min(r.R, w), std::min(r.B, h));
  if (r.R <= r.L || r.B <= r.T) return;
  const int rw = r.R - r.L, rh = r.B - r.T;
  Visual* visual = static_cast<Visual*>(mVisual);
  XImage* image = XCreateImage(mDisplay, visual, (unsigned)mDepth, ZPixmap, 0, nullptr, (unsigned)rw, (unsigned)rh,
                               32, 0);
  if (!image) return;
  mImageBytes.resize((size_t)image->bytes_per_line * (size_t)rh);
  image->data = mImageBytes.data();
  const ChannelPlace red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask);
  // A 32-bit parent (a compositing host) gives the window an alpha channel: the editor is opaque.
  const unsigned long opaque =
      mDepth == 32 ? 0xffffffffUL & ~(visual->red_mask | visual->green_mask | visual->blue_mask) : 0;
  const LICE_pixel* bits = bitmap->getBits();
  const int span = bitmap->getRowSpan();
  // 32-bit pixels are written as this machine's words; Xlib reorders them for a server of the other order.
  const bool direct32 = image->bits_per_pixel == 32;
  if (direct32) {
    const uint16_t one = 1;
    image->byte_order = *reinterpret_cast<const unsigned char*>(&one) ? LSBFirst : MSBFirst;
  }
  for (int y = 0; y < rh; ++y) {
    const LICE_pixel* src = bits + (size_t)(r.T + y) * (size_t)span + r.L;
    uint32_t* row32 = reinterpret_cast<uint32_t*>(image->data + (size_t)y * (size_t)image->bytes_per_line);
    for (int x = 0; x < rw; ++x) {
      const LICE_pixel p = src[x];
      const unsigned long v = red.Put(LICE_GETR(p)) | green.Put(LICE_GETG(p)) | blue.Put(LICE_GETB(p)) | opaque;
      if (direct32)
        row32[x] = (uint32_t)v;
      else
        XPutPixel(image, x, y, v);
    }
  }
  XPutImage(mDisplay, mWindow, static_cast<GC>(mGC), image, 0, 0, r.L, r.T, (unsigned)rw, (unsigned)rh);
  ++mPresentations;
  image->data = nullptr; // the bytes belong to the view
  XDestroyImage(image);
  XFlush(mDisplay);
}

void IGraphicsX11View::Resize(int width, int height)
{
  if (mGone || width <= 0 || height <= 0 || DisplayDead(mDisplay)) return;
  mWidth = width;
  mHeight = height;
  XResizeWindow(mDisplay, mWindow, (unsigned)width, (unsigned)height);
  XFlush(mDisplay);
}

void IGraphicsX11View::flushExposed()
{
  if (mExposed.Empty()) return;
  const IRECT r = mExposed;
  mExposed = IRECT();
  Present(mSurface->GetDrawBitmap(), r);
}

IMouseMod IGraphicsX11View::modifiers(unsigned state, bool left, bool right) const
{
  // Super (Mod4) plays the desktop's command key: with the left button it counts as a right click too.
  return IMouseMod(left, right || (left && (state & Mod4Mask)), (state & ShiftMask) != 0, (state & ControlMask) != 0,
                   (state & Mod1Mask) != 0);
}

void IGraphicsX11View::forwardKeyToHost(XEvent& event)
{
  XKeyEvent k = event.xkey;
  k.window = mParent;
  k.subwindow = None;
  k.send_event = True;
  XSendEvent(mDisplay, mParent, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask,
             reinterpret_cast<XEvent*>(&k));
  XFlush(mDisplay);
}

bool IGraphicsX11View::translate(XEvent& e, bool inputAllowed)
{
  switch (e.type) {
  case Expose:
    // Presented once for everything read in one go (every caller flushes after its batch): a storm of
    // exposures (a window dragged across ours) costs one copy, not one per event.
    mExposed = mExposed.Union(
        IRECT(e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height));
    return false;
  case DestroyNotify:
    if (e.xdestroywindow.window == mWindow) mGone = true;
    return false;
  case MappingNotify:
    XRefreshKeyboardMapping(&e.xmapping);
    return false;
  case ButtonPress: {
    if (!inputAllowed) return false;
    const XButtonEvent& b = e.xbutton;
    // Keys go to the window the user last clicked, as to a view that became first responder (a press
    // elsewhere arrives here only while the view grabs the pointer).
    const bool inside = b.x >= 0 && b.y >= 0 && b.x < mWidth && b.y < mHeight;
    if (inside) XSetInputFocus(mDisplay, mWindow, RevertToParent, b.time);
    if (b.button >= 4 && b.button <= 7) {
      // Sideways steps (6, 7) have no vertical part: they arrive as steps of 0.
      const int d = b.button == 4 ? 1 : b.button == 5 ? -1 : 0;
      mSurface->MouseWheel(b.x, b.y, modifiers(b.state, true, false), d);
      return true;
    }
    if (b.button == 1) {
      const bool dbl = mHaveLastPress && b.time - mLastPressTime <= (unsigned long)kDoubleClickMs &&
                       std::abs(b.x - mLastPressX) <= kDoubleClickDistance &&
                       std::abs(b.y - mLastPressY) <= kDoubleClickDistance;
      mHaveLastPress = true;
      mLastPressTime = b.time;
      mLastPressX = b.x;
      mLastPressY = b.y;
      mSurface->MouseDown(b.x, b.y, modifiers(b.state, true, false), dbl);
      return true;
    }
    if (b.button == 3) {
      mSurface->MouseDown(b.x, b.y, modifiers(b.state, false, true), false);
      return true;
    }
    return false;
  }
  case ButtonRelease: {
    if (!inputAllowed) return false;
    const XButtonEvent& b = e.xbutton;
    if (b.button != 1 && b.button != 3) return false;
    mSurface->MouseUp(b.x, b.y, modifiers(b.state, b.button == 1, b.button == 3));
    return true;
  }
  case MotionNotify: {
    if (!inputAllowed) return false;
    // Only the latest of consecutive moves matters: a drag reports positions, not steps.
    while (XEventsQueued(mDisplay, QueuedAlready)) {
      XEvent next;
      XPeekEvent(mDisplay, &next);
      if (next.type != MotionNotify || next.xmotion.window != mWindow) break;
      XNextEvent(mDisplay, &e);
    }
    const XMotionEvent& m = e.xmotion;
    const bool rightOnly = (m.state & Button3Mask) && !(m.state & Button1Mask);
    mSurface->MouseMove(m.x, m.y, modifiers(m.state, !rightOnly, rightOnly));
    return true;
  }
  case FocusOut:
    // The keyboard went to another window (another program or the host took it). Focus moves that grabs
    // make (ours too) and moves within the window are no loss.
    if (!inputAllowed || (e.xfocus.mode != NotifyNormal && e.xfocus.mode != NotifyWhileGrabbed) ||
        e.xfocus.detail == NotifyInferior || e.xfocus.detail == NotifyPointer)
      return false;
    mSurface->FocusLost();
    return true;
  case LeaveNotify:
    if (inputAllowed && e.xcrossing.mode == NotifyNormal && !(e.xcrossing.state & (Button1Mask | Button3Mask)))
      mSurface->OnMouseOut();
    return false;
  case KeyPress:
  case KeyRelease: {
    if (!inputAllowed) return false;
    const unsigned char code = (unsigned char)e.xkey.keycode;
    if (e.type == KeyRelease) {
      auto it = std::find(mForwardedKeys.begin(), mForwardedKeys.end(), code);
      if (it != mForwardedKeys.end()) {
        mForwardedKeys.erase(it);
        forwardKeyToHost(e);
      }
      return false;
    }
    KeySym typed = NoSymbol;
    char text[16];
    XLookupString(&e.xkey, text, sizeof text, &typed, nullptr);
    const KeySym plain = XLookupKeysym(&e.xkey, 0);
    // The keypad's keys are digits or moves as Num Lock says, which only the looked-up symbol knows.
    const int key = KeyOf(plain != NoSymbol && !IsKeypadKey(typed) ? plain : typed);
    if (mSurface->ModalOpen() && (e.xkey.state & ControlMask)) {
      // Control with a character types nothing into an open field; Ctrl+V pastes.
      if (plain == XK_v) requestPaste(e.xkey.time);
      if (key == IGraphicsLinux::kChar) return true;
    }
    if (mSurface->ModalOpen() && plain == XK_Insert && (e.xkey.state & ShiftMask)) {
      requestPaste(e.xkey.time);
      return true;
    }
    // Controls take keys as their unshifted character; an open text field takes what was typed.
    unsigned ch = 0;
    if (key == IGraphicsLinux::kChar) ch = mSurface->ModalOpen() ? CodePoint(typed) : CodePoint(plain);
    if (key == IGraphicsLinux::kChar && !ch) ch = CodePoint(typed);
    if (mSurface->KeyDown(key, ch)) return true;
    if (mForwardedKeys.size() < 64) mForwardedKeys.push_back(code);
    forwardKeyToHost(e);
    return true;
  }
  case SelectionNotify: {
    // The clipboard's text that a paste asked for, in the property named in the request.
    const XSelectionEvent& answer = e.xselection;
    if (answer.requestor != mWindow) return false;
    const Atom utf8 = XInternAtom(mDisplay, "UTF8_STRING", False);
    if (answer.property == None) {
      // An owner that has no UTF-8 may still have Latin-1 text.
      if (answer.target == utf8) requestPaste(answer.time, XA_STRING);
      return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    // At most 256 KB; a path is far shorter. A transfer in pieces (INCR) is not taken.
    if (XGetWindowProperty(mDisplay, mWindow, answer.property, 0, 1 << 16, True, AnyPropertyType, &type, &format, &n,
                           &after, &data) == Success &&
        data && format == 8) {
      if (type == utf8) {
        text.assign(reinterpret_cast<const char*>(data), n);
      } else if (type == XA_STRING) {
        for (unsigned long i = 0; i < n; ++i) {
          char bytes[4];
          text.append(bytes, (size_t)WDL_EncodeUTF8(data[i], bytes));
        }
      }
    }
    if (data) XFree(data);
    if (!inputAllowed || text.empty()) return false;
    mSurface->PasteText(text.c_str());
    return true;
  }
  default:
    return false;
  }
}

void IGraphicsX11View::requestPaste(unsigned long time, unsigned long target)
{
  if (mGone || DisplayDead(mDisplay)) return;
  if (!target) target = XInternAtom(mDisplay, "UTF8_STRING", False);
  XConvertSelection(mDisplay, XInternAtom(mDisplay, "CLIPBOARD", False), target,
                    XInternAtom(mDisplay, "EDITOR_PASTE", False), mWindow, time);
  XFlush(mDisplay);
}

bool IGraphicsX11View::waitReadable(int extraFd, int timeoutMs, bool* extraReady)
{
  pollfd p[2] = {{ConnectionNumber(mDisplay), POLLIN, 0}, {extraFd, POLLIN, 0}};
  const int n = poll(p, extraFd >= 0 ? 2 : 1, std::max(timeoutMs, 0));
  if (extraReady) *extraReady = n > 0 && extraFd >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR));
  if (n > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) mGone = true;
  return n > 0 && (p[0].revents & POLLIN);
}

bool IGraphicsX11View::Grab()
{
  if (mGone || DisplayDead(mDisplay)) return false;
  // Owner events: presses in the window arrive as usual, presses elsewhere arrive relative to the window.
  if (!mPointerGrabbed)
    mPointerGrabbed = XGrabPointer(mDisplay, mWindow, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                   GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
  if (!mKeyboardGrabbed)
    mKeyboardGrabbed = XGrabKeyboard(mDisplay, mWindow, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
  mWasViewable = mWasViewable || mPointerGrabbed; // a grab needs a window on the screen
  return mPointerGrabbed;
}

void IGraphicsX11View::Release()
{
  if ((mPointerGrabbed || mKeyboardGrabbed) && !DisplayDead(mDisplay)) {
    if (mPointerGrabbed) XUngrabPointer(mDisplay, CurrentTime);
    if (mKeyboardGrabbed) XUngrabKeyboard(mDisplay, CurrentTime);
    XFlush(mDisplay);
  }
  mPointerGrabbed = mKeyboardGrabbed = false;
}

unsigned long IGraphicsX11View::TopLevel()
{
  if (mGone || DisplayDead(mDisplay)) return mParent;
  // Up from the parent: the first window the window manager manages (it carries WM_STATE), else the last
  // one below the root (no window manager).
  const Atom wmState = XInternAtom(mDisplay, "WM_STATE", True);
  Window w = mParent, below = mParent;
  for (int depth = 0; depth < 64; ++depth) {
    if (wmState != None) {
      Atom type = None;
      int format = 0;
      unsigned long n = 0, after = 0;
      unsigned char* data = nullptr;
      const int got = XGetWindowProperty(mDisplay, w, wmState, 0, 0, False, AnyPropertyType, &type, &format, &n,
                                         &after, &data);
      if (data) XFree(data);
      if (got == Success && type != None) return w;
    }
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned nKids = 0;
    if (!XQueryTree(mDisplay, w, &root, &parent, &kids, &nKids)) break;
    if (kids) XFree(kids);
    if (!parent || parent == root) {
      below = w;
      break;
    }
    w = parent;
    below = w;
  }
  SyncAndTakeError(mDisplay); // a window that went away on the way up fails quietly
  return below;
}

void IGraphicsX11View::TakeFocus()
{
  if (mGone || DisplayDead(mDisplay) || Hidden()) return; // only a window on the screen can have it
  XSetInputFocus(mDisplay, mWindow, RevertToParent, CurrentTime);
  SyncAndTakeError(mDisplay);
}

bool IGraphicsX11View::Hidden()
{
  if (mGone || DisplayDead(mDisplay)) return true;
  XWindowAttributes a;
  const bool viewable = XGetWindowAttributes(mDisplay, mWindow, &a) && a.map_state == IsViewable;
  mWasViewable = mWasViewable || viewable;
  return mWasViewable && !viewable;
}

bool IGraphicsX11View::DispatchPending()
{
  BusyScope busy(mBusy);
  if (mGone || DisplayDead(mDisplay)) return !(mGone = true);
  InstallHandlers();
  // Bounded: a flood of events never keeps the host's idle call from returning.
  for (int budget = 4096; budget > 0 && !mGone && XPending(mDisplay) > 0; --budget) {
    XEvent e;
    XNextEvent(mDisplay, &e);
    translate(e, true);
  }
  if (DisplayDead(mDisplay)) mGone = true;
  if (!mGone) flushExposed();
  return !mGone;
}

bool IGraphicsX11View::DispatchNextInput(int timeoutMs)
{
  BusyScope busy(mBusy);
  const long long deadline = MonotonicMs() + timeoutMs;
  InstallHandlers();
  for (;;) {
    if (mGone || DisplayDead(mDisplay)) return !(mGone = true);
    while (!mGone && XPending(mDisplay) > 0) {
      XEvent e;
      XNextEvent(mDisplay, &e);
      if (translate(e, true)) {
        flushExposed();
        return !mGone;
      }
    }
    if (DisplayDead(mDisplay)) return !(mGone = true);
    flushExposed();
    const long long left = deadline - MonotonicMs();
    if (left <= 0) return !mGone;
    waitReadable(-1, (int)left, nullptr);
  }
}

bool IGraphicsX11View::WaitWhileBusy(int extraFd, int timeoutMs)
{
  BusyScope busy(mBusy);
  if (!mGone && !DisplayDead(mDisplay)) {
    while (XPending(mDisplay) > 0) {
      XEvent e;
      XNextEvent(mDisplay, &e);
      translate(e, false);
    }
    flushExposed();
  }
  if (mGone || DisplayDead(mDisplay)) {
    pollfd p = {extraFd, POLLIN, 0};
    return poll(&p, extraFd >= 0 ? 1 : 0, timeoutMs) > 0;
  }
  bool extraReady = false;
  waitReadable(extraFd, timeoutMs, &extraReady);
  return extraReady;
}

// ---- the surface's window hooks ----

void IGraphicsLinux::X11ViewSlot::DeleteRetired()
{
  for (auto it = retired.begin(); it != retired.end();)
    if ((*it)->Busy()) {
      ++it;
    } else {
      delete *it;
      it = retired.erase(it);
    }
}

IGraphicsLinux::X11ViewSlot::~X11ViewSlot()
{
  delete view;
  for (IGraphicsX11View* v : retired) delete v;
}

bool IGraphicsLinux::openX11View(unsigned long parent)
{
  closeX11View();
  mX11.view = IGraphicsX11View::Open(this, parent, Width(), Height());
  return mX11.view != nullptr;
}

void IGraphicsLinux::closeX11View()
{
  if (mX11.view && mX11.view->Busy()) {
    // Closed from inside one of the view's own calls: it must outlive them.
    mX11.view->Retire();
    mX11.retired.push_back(mX11.view);
  } else {
    delete mX11.view;
  }
  mX11.view = nullptr;
  mX11.DeleteRetired();
}

void IGraphicsLinux::holdX11Input(bool hold)
{
  if (!mX11.view) return;
  if (hold)
    mX11.view->Grab();
  else
    mX11.view->Release();
}

void IGraphicsLinux::focusX11()
{
  if (mX11.view) mX11.view->TakeFocus();
}

void IGraphicsLinux::presentX11(const IRECT* r)
{
  if (!mX11.view || !mDrawBitmap) return;
  mX11.view->Present(mDrawBitmap.get(), r && !r->Empty() ? *r : IRECT(0, 0, Width(), Height()));
}

void IGraphicsLinux::resizeX11()
{
  if (mX11.view) mX11.view->Resize(Width(), Height());
}

int IGraphicsLinux::X11Presentations() const
{
  return mX11.view ? mX11.view->Presentations() : 0;
}

unsigned long IGraphicsLinux::X11WindowID() const
{
  return mX11.view && mX11.view->Alive() ? mX11.view->WindowID() : 0;
}

void IGraphicsLinux::HostIdle()
{
  ReapChildren();
  if (mX11.view) mX11.view->DispatchPending();
  mX11.DeleteRetired();
  if (!mWindowOpen) return;
  // A tick every 1 / FPS seconds on average, whatever rate the host idles at; after a stall the timer
  // starts afresh instead of catching up.
  const long long now = MonotonicMs(), period = 1000 / (FPS() > 0 ? FPS() : 25);
  if (now < mNextTickMs) return;
  mNextTickMs = now - mNextTickMs > period ? now + period : mNextTickMs + period;
  Tick();
}

bool IGraphicsLinux::WindowModalStep()
{
  if (!mX11.view) return false;
  // A hidden window lost its grabs with its visibility: a click elsewhere would never reach the element,
  // and the host waits for it, so the element goes as if the window had.
  if (mX11.view->Hidden()) return false;
  return mX11.view->DispatchNextInput(1000 / (FPS() > 0 ? FPS() : 25));
}

bool IGraphicsLinux::openURLWithDesktop(const char* url)
{
  ReapChildren();
  pid_t pid;
  if (!Spawn({"xdg-open", url}, &pid, nullptr)) return false;
  std::lock_guard<WDL_Mutex> lock(ChildMutex());
  sChildren.push_back(pid);
  return true;
}

std::string IGraphicsLinux::AskForFile(EFileAction action, const char* question, const char* folder,
                                       const char* proposedName, const char* extensions)
{
  const bool save = action == kFileSave;
  std::string start = ExpandHome(folder ? folder : "");
  if (!start.empty() && start.back() != '/') start += '/';
  start += proposedName ? proposedName : "";
  // Headless, where no dialog program can show, the script types the path.
  if (!mX11.view) return AskForPath(action, question, start.c_str(), extensions);
  // The question is the dialog's title, without its colon.
  std::string title = question && *question ? question : save ? "Save" : "Open";
  while (!title.empty() && (title.back() == ':' || title.back() == ' ')) title.pop_back();

  // Types are separated by single blanks and written without dots; file systems are case-sensitive, so
  // both cases are offered.
  std::string patterns;
  for (const char* p = extensions ? extensions : ""; *p;) {
    const char* end = std::strchr(p, ' ');
    const std::string type(p, end ? (size_t)(end - p) : std::strlen(p));
    if (!type.empty()) {
      std::string upper = type;
      for (char& c : upper) c = (char)std::toupper((unsigned char)c);
      patterns += (patterns.empty() ? "" : " ") + ("*." + type);
      if (upper != type) patterns += " *." + upper;
    }
    if (!end) break;
    p = end + 1;
  }

  // The dialogs stay above the host's window, which they belong to.
  const std::string owner = std::to_string(mX11.view->TopLevel());
  std::string out;
  int status = 0;
  std::vector<std::string> zenity = {"zenity", "--file-selection", "--title=" + title, "--filename=" + start};
  if (save) {
    zenity.push_back("--save");
    zenity.push_back("--confirm-overwrite");
  }
  if (!patterns.empty()) zenity.push_back("--file-filter=" + patterns);
  std::vector<std::string> attached = zenity;
  attached.push_back("--attach=" + owner);
  bool ran = RunDialog(mX11.view, attached, &out, &status);
  // A zenity that does not know --attach refuses its options with an error (status 255): asked again
  // without it.
  if (ran && status != 0 && status != 1 && out.empty()) ran = RunDialog(mX11.view, zenity, &out, &status);
  if (!ran) {
    std::vector<std::string> kdialog = {"kdialog", "--title", title, "--attach", owner,
                                        save ? "--getsavefilename" : "--getopenfilename", start};
    if (!patterns.empty()) kdialog.push_back(patterns);
    ran = RunDialog(mX11.view, kdialog, &out, &status);
  }
  if (ran) {
    const std::string path = FirstLine(out);
    return status == 0 && !path.empty() && path[0] == '/' ? path : "";
  }
  // Neither program: the path is typed into the editor's own field.
  return AskForPath(action, question, start.c_str(), extensions);
}
