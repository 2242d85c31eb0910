#include "XServer.h"

#include <X11/Xutil.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace {
double Now()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}
} // namespace

bool XServer::Start(std::string* why)
{
  int fds[2];
  if (pipe(fds) != 0) {
    *why = "no pipe";
    return false;
  }
  // The server gets the pipe as descriptor 3 and nothing else of ours: a server left behind by a killed
  // test must not hold the test runner's output open.
  const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
                        nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addclosefrom_np(&actions, 4);
  const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    pid_ = -1;
    *why = "Xvfb is not installed";
    return false;
  }
  // Xvfb writes the display number and a newline once it accepts clients.
  std::string number;
  const double deadline = Now() + 10.0;
  while (Now() < deadline && number.find('\n') == std::string::npos) {
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, (size_t)n);
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    *why = "Xvfb did not start";
    return false;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", name_.c_str(), 1);
  return true;
}

XServer::~XServer()
{
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status;
  for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (waitpid(pid_, &status, WNOHANG) == 0) Kill();
}

void XServer::Kill()
{
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

bool PumpUntil(const std::function<void()>& step, const std::function<bool()>& done, double seconds)
{
  const double deadline = Now() + seconds;
  while (!done()) {
    if (Now() > deadline) return done();
    step();
    usleep(2000);
  }
  return true;
}

Window MakeHostWindow(Display* display, int x, int y, int width, int height, long events)
{
  const int screen = DefaultScreen(display);
  XSetWindowAttributes a = {};
  a.background_pixel = 0x203040;
  a.event_mask = events | StructureNotifyMask;
  Window w = XCreateWindow(display, RootWindow(display, screen), x, y, (unsigned)width, (unsigned)height, 0,
                           CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &a);
  XMapWindow(display, w);
  for (XEvent e;;) {
    XWindowEvent(display, w, StructureNotifyMask, &e);
    if (e.type == MapNotify) break;
  }
  XSync(display, False);
  return w;
}

std::vector<Window> Children(Display* display, Window window)
{
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(display, window, &root, &parent, &children, &n)) out.assign(children, children + n);
  if (children) XFree(children);
  return out;
}

std::vector<unsigned> ReadPixels(Display* display, Window window, int width, int height)
{
  std::vector<unsigned> out;
  XImage* image = XGetImage(display, window, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
  if (!image) return out;
  // Channel positions from the image's own masks, 8 bits each on the 24-bit test screen.
  auto shiftOf = [](unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
      mask >>= 1;
      ++s;
    }
    return s;
  };
  const int rs = shiftOf(image->red_mask), gs = shiftOf(image->green_mask), bs = shiftOf(image->blue_mask);
  out.reserve((size_t)width * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      out.push_back((unsigned)(((p >> rs) & 0xff) << 16 | ((p >> gs) & 0xff) << 8 | ((p >> bs) & 0xff)));
    }
  XDestroyImage(image);
  return out;
}

int ZombieChildren(bool running)
{
  int zombies = 0;
  const pid_t self = getpid();
  DIR* proc = opendir("/proc");
  if (!proc) return -1;
  while (dirent* d = readdir(proc)) {
    if (d->d_name[0] < '0' || d->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + d->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid ...: the command may hold blanks and parentheses, the last ')' ends it.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self &&
        (running || state == 'Z'))
      ++zombies;
  }
  closedir(proc);
  return zombies;
}

namespace {
// Entries of a folder other than "." and "..", -1 when it cannot be read.
int EntryCount(const char* folder)
{
  int n = 0;
  DIR* dir = opendir(folder);
  if (!dir) return -1;
  while (dirent* d = readdir(dir))
    if (d->d_name[0] != '.') ++n;
  closedir(dir);
  return n;
}
} // namespace

int OpenFileCount()
{
  const int n = EntryCount("/proc/self/fd");
  return n < 0 ? n : n - 1; // the directory's own descriptor
}

int ThreadCount()
{
  return EntryCount("/proc/self/task");
}
