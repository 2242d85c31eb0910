// What loading, editing and unloading the plug-in file leaves in the process, as a host that scans plug-ins
// or reloads sessions does it: five cycles to warm up, then 50 of them (load, an instance, its editor drawn,
// both closed, unloaded and gone from the process, else the benchmark fails), headless and, when DISPLAY
// names an X server, in a window of its own. Counters: resident and heap growth per cycle (KB, after the C
// library gave its free pages back).
#include "../tests/support/unload_cycle.h"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <fstream>

namespace {
constexpr int kWarmUp = 5, kCycles = 50;

// Resident bytes, after the C library has given its free pages back.
long residentBytes()
{
  malloc_trim(0);
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

void Cycles(benchmark::State& state, bool window)
{
  Display* display = nullptr;
  Window parent = 0;
  if (window) {
    display = std::getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    if (!display) {
      state.SkipWithError("no X server (DISPLAY)");
      return;
    }
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1200, 900, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
  }
  for (auto _ : state) {
    long resident = 0;
    size_t heap = 0;
    for (int i = 0; i < kWarmUp + kCycles; ++i) {
      if (i == kWarmUp) {
        resident = residentBytes();
        heap = AllocatedBytes();
      }
      const std::string failed = LoadEditUnload(VELTRANE_SO, reinterpret_cast<void*>(parent), 5, window ? 10 : 0);
      if (!failed.empty()) {
        state.SkipWithError(failed.c_str());
        break;
      }
    }
    state.counters["KB resident/cycle"] = (double)(residentBytes() - resident) / kCycles / 1024.0;
    state.counters["KB heap/cycle"] = ((double)AllocatedBytes() - (double)heap) / kCycles / 1024.0;
  }
  if (display) XCloseDisplay(display);
}
} // namespace

BENCHMARK_CAPTURE(Cycles, headless, false)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Cycles, window, true)->Iterations(1)->Unit(benchmark::kMillisecond);
