// IGraphicsX11View: the editor's window inside a Linux host, standing where a desktop view would.
//
// The host hands an X11 window id to effEditOpen; the view makes a child window of it, of the surface's
// size, on an X connection of its own (so nothing of the host's toolkit is touched), presents the draw
// bitmap with XPutImage, and turns the window's events into the surface's entry points:
//   button 1 -> left button (R too while Super, the desktop's command key, is held), button 3 -> right
//   button, buttons 4 and 5 -> wheel steps +1 and -1, 6 and 7 (sideways) -> a wheel call of 0 steps;
//   a second left press within kDoubleClickMs and kDoubleClickDistance pixels of the first -> double click;
//   Shift, Control and Alt -> S, C and A; keys -> the surface's Key codes, and a key the editor does not take
//   goes on to the host's window. While an element is open, Ctrl+V and Shift+Insert ask the clipboard's owner
//   for its text (as UTF-8, else Latin-1), which reaches the surface as PasteText when the answer comes.
// While a menu, message box or text field is open the view grabs the pointer and the keyboard, as desktop
// menus do: a press anywhere on the screen reaches the element (outside the window with coordinates outside
// the surface), so a click on the host closes a menu instead of leaving the host waiting for an answer.
// The plug-in makes no thread: everything runs in the host's idle calls and in modal loops, on the host's
// main thread. Xlib errors on the view's own connections are caught (a host may destroy its window before it
// closes the editor), and a broken connection (the X server went away) ends the view, not the host; errors
// on any other connection go to the handlers that were installed before (also ones the host installs while
// the editor is open: ours are put first again before the view reads or sends).
#pragma once

#include "IGraphicsStructs.h"

#include <vector>

class IGraphicsLinux;
struct _XDisplay;
union _XEvent;

class IGraphicsX11View
{
public:
  static constexpr int kDoubleClickMs = 400;     // longest time between the two presses
  static constexpr int kDoubleClickDistance = 4; // largest move, in pixels along either axis

  // Opens the display named by DISPLAY and a width x height child window of parent, mapped. Null when the
  // display or the parent window cannot be reached.
  static IGraphicsX11View* Open(IGraphicsLinux* surface, unsigned long parent, int width, int height);
  ~IGraphicsX11View(); // destroys the window and closes the connection
  IGraphicsX11View(const IGraphicsX11View&) = delete;
  IGraphicsX11View& operator=(const IGraphicsX11View&) = delete;

  unsigned long WindowID() const { return mWindow; }
  unsigned long Parent() const { return mParent; }
  // False once the window was destroyed from outside or the connection failed.
  bool Alive() const { return !mGone; }

  // Copies the area r of the bitmap (clipped to the window) to the window.
  void Present(LICE_IBitmap* bitmap, IRECT r);
  // Images copied to the window since it opened.
  int Presentations() const { return mPresentations; }
  // Grabs the pointer and the keyboard for the window (again when an earlier grab was refused); true while
  // the pointer is grabbed. Release() gives both back; the destructor does too.
  bool Grab();
  void Release();
  // The host's top-level window that holds the editor (dialogs of other programs are attached to it).
  unsigned long TopLevel();
  // Gives the window the keyboard focus (nothing while it is hidden); its loss then reaches the surface
  // (IGraphicsLinux::FocusLost) as a FocusOut event.
  void TakeFocus();
  // Gives the window a new size (the editor's, after a resize).
  void Resize(int width, int height);
  // Translates the events already queued or readable without waiting; false when the window is gone.
  bool DispatchPending();
  // True when the window was seen on the screen and is not any more (the host's window unmapped or
  // iconified under it). Asks the server.
  bool Hidden();
  // True while one of the three calls above or below runs (a menu's loop may close the editor from inside).
  bool Busy() const { return mBusy > 0; }
  // Takes the window off the screen and gives back the grabs at once, for a view that is Busy(): it is
  // deleted later, when its calls have returned (they see the window gone).
  void Retire();
  // Waits up to timeoutMs for an input event and delivers the first one (other events on the way are
  // handled); false when the window is gone.
  bool DispatchNextInput(int timeoutMs);
  // Runs while a child process works (a file dialog): presents exposed areas, drops input. Waits at most
  // timeoutMs for something on the connection or on extraFd (-1: none); true when extraFd became readable.
  bool WaitWhileBusy(int extraFd, int timeoutMs);

private:
  IGraphicsX11View() = default;
  // Handles one event; true when it was input that reached the surface.
  bool translate(_XEvent& event, bool inputAllowed);
  void forwardKeyToHost(_XEvent& event);
  // Asks for the clipboard's text as target (an atom; 0: UTF-8), answered by a SelectionNotify event.
  void requestPaste(unsigned long time, unsigned long target = 0);
  IMouseMod modifiers(unsigned state, bool left, bool right) const;
  void flushExposed();
  bool waitReadable(int extraFd, int timeoutMs, bool* extraReady);

  IGraphicsLinux* mSurface = nullptr;
  _XDisplay* mDisplay = nullptr;
  unsigned long mWindow = 0, mParent = 0;
  void* mGC = nullptr;     // the window's graphics context
  void* mVisual = nullptr; // the window's visual
  int mDepth = 0;
  int mWidth = 0, mHeight = 0;
  int mPresentations = 0;
  bool mGone = false;
  int mBusy = 0; // calls in progress that read events
  bool mWasViewable = false;
  bool mPointerGrabbed = false, mKeyboardGrabbed = false;
  IRECT mExposed; // exposed area waiting to be presented
  std::vector<char> mImageBytes;
  // Double clicks: the last left press.
  unsigned long mLastPressTime = 0;
  int mLastPressX = 0, mLastPressY = 0;
  bool mHaveLastPress = false;
  // Keys whose press went to the host: their release follows it.
  std::vector<unsigned char> mForwardedKeys;
};
