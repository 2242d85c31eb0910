// Full-window (1280 x 650) blits and fills in the common combine modes, beside a memcpy of the
// same bytes, the physical limit of a pass over the window. After the runs a table gives each
// case's time as a multiple of the memcpy time.
#include "raster/lice.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1280, kH = 650;
constexpr int64_t kBytes = int64_t(kW) * kH * 4;

struct Window
{
  LICE_MemBitmap dest{kW, kH}, src{kW, kH};
  Window()
  {
    LICE_pixel* d = dest.getBits();
    LICE_pixel* s = src.getBits();
    for (int i = 0; i < dest.getRowSpan() * kH; ++i) {
      d[i] = 0x80604020u + (unsigned)i * 2654435761u;
      s[i] = (unsigned)i * 40503u ^ 0x5a5a5a5au;
    }
  }
};

Window& window()
{
  static Window w;
  return w;
}

void BM_Memcpy(benchmark::State& state)
{
  Window& w = window();
  for (auto _ : state) {
    std::memcpy(w.dest.getBits(), w.src.getBits(), size_t(kBytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);

void BM_Blit(benchmark::State& state, float alpha, int mode)
{
  Window& w = window();
  for (auto _ : state) {
    LICE_Blit(&w.dest, &w.src, 0, 0, nullptr, alpha, mode);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK_CAPTURE(BM_Blit, copy_1 .0, 1.0f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, copy_0 .5, 0.5f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, copy_0 .3, 0.3f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, srcalpha_1 .0, 1.0f, 0x10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, srcalpha_0 .5, 0.5f, 0x10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, add_0 .5, 0.5f, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Blit, multiply_1 .0, 1.0f, 3)->Unit(benchmark::kMicrosecond);

void BM_Fill(benchmark::State& state, float alpha, int mode)
{
  Window& w = window();
  for (auto _ : state) {
    LICE_FillRect(&w.dest, 0, 0, kW, kH, 0xc0804020u, alpha, mode);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK_CAPTURE(BM_Fill, copy_1 .0, 1.0f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fill, copy_0 .5, 0.5f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fill, copy_0 .25, 0.25f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fill, copy_0 .3, 0.3f, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fill, add_0 .5, 0.5f, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fill, srcalpha_1 .0, 1.0f, 0x10000)->Unit(benchmark::kMicrosecond);

void BM_ScaledBlit(benchmark::State& state, int mode)
{
  // Half-size source stretched over the whole window.
  Window& w = window();
  for (auto _ : state) {
    LICE_ScaledBlit(&w.dest, &w.src, 0, 0, kW, kH, 0, 0, kW / 2, kH / 2, 1.0f, mode);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK_CAPTURE(BM_ScaledBlit, nearest, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ScaledBlit, bilinear, 0x100)->Unit(benchmark::kMicrosecond);

// Console output as usual, then each case's time relative to memcpy.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
  void ReportRuns(const std::vector<Run>& runs) override
  {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        const std::string name = r.benchmark_name();
        if (!m_times.count(name)) m_order.push_back(name);
        m_times[name] = r.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override
  {
    ConsoleReporter::Finalize();
    const auto base = m_times.find("BM_Memcpy");
    if (base == m_times.end()) return;
    std::printf("\n%-34s %12s %10s %12s\n", "full window 1280x650", "time (us)", "GB/s", "x memcpy");
    for (const std::string& name : m_order) {
      const double us = m_times[name];
      std::printf("%-34s %12.1f %10.2f %12.2f\n", name.c_str(), us, kBytes / (us * 1e3), us / base->second);
    }
  }

private:
  std::map<std::string, double> m_times;
  std::vector<std::string> m_order;
};

} // namespace

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
