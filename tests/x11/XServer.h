// A private X server for one test: Xvfb on a display it picks itself (-displayfd), stopped by the destructor.
// Also the few X requests the tests make as "the host" and "the user" on a connection of their own.
#pragma once

#include <X11/Xlib.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class XServer
{
public:
  XServer() = default;
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // Starts Xvfb (screen 1024 x 768, 24 bits) and waits up to 10 s for it; false with a reason when Xvfb is
  // not installed or does not come up. On success DISPLAY names it.
  bool Start(std::string* why);
  const std::string& Name() const { return name_; }
  // Ends the server at once (SIGKILL), as a crash would; every client's connection breaks.
  void Kill();

private:
  pid_t pid_ = -1;
  std::string name_;
};

// Runs `step` until `done` answers true or `seconds` pass (a guard against what never comes: a busy machine
// may be slow); the answer of `done` at the end.
bool PumpUntil(const std::function<void()>& step, const std::function<bool()>& done, double seconds = 10.0);

// A top-level InputOutput window at (x, y) on the root, mapped and waited for; selects `events`.
Window MakeHostWindow(Display* display, int x, int y, int width, int height, long events = StructureNotifyMask);

// The children of a window.
std::vector<Window> Children(Display* display, Window window);

// The window's pixels as 0xRRGGBB, row by row.
std::vector<unsigned> ReadPixels(Display* display, Window window, int width, int height);

// Processes of this one that ended but were not waited for; with running, all of its child processes.
int ZombieChildren(bool running = false);

// Open file descriptors of this process.
int OpenFileCount();

// Threads of this process.
int ThreadCount();
