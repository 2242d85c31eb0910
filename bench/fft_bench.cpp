// The two transforms that matter to the instrument, each beside FFTW doing the same job in
// place: the 2048-point real transform (wavetable spectra, both directions) and the
// 32768-point complex transform (the largest size). Every iteration first restores the input
// with a copy (both sides alike), so values never grow across iterations.
// After the table, one line per job gives our time divided by FFTW's.
//
// Usage: fft_bench [--benchmark_repetitions=N ...]; with repetitions the medians are compared.
#include "fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

constexpr int kRealSize = 2048;
constexpr int kComplexSize = 32768;

// One buffer of doubles from FFTW's allocator (aligned for its vector code; ours only needs
// double alignment), with the input kept beside it.
struct Buffers
{
  explicit Buffers(std::size_t doubles) : count(doubles)
  {
    work = fftw_alloc_real(doubles);
    input = fftw_alloc_real(doubles);
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t i = 0; i < doubles; ++i) input[i] = u(rng);
    std::memcpy(work, input, doubles * sizeof(double));
  }
  ~Buffers()
  {
    fftw_free(work);
    fftw_free(input);
  }
  void restore() { std::memcpy(work, input, count * sizeof(double)); }
  std::size_t count;
  double* work;
  double* input;
};

// Times run on the input restored before each iteration, the same for both sides.
template <class Run> void timeInPlace(benchmark::State& state, Buffers& b, Run run)
{
  for (auto _ : state) {
    b.restore();
    run();
    benchmark::DoNotOptimize(b.work);
    benchmark::ClobberMemory();
  }
}

void realOurs(benchmark::State& state, int inverse)
{
  WDL_fft_init();
  Buffers b(kRealSize);
  timeInPlace(state, b, [&] { WDL_real_fft(b.work, kRealSize, inverse); });
}

void realFftw(benchmark::State& state, int inverse)
{
  Buffers b(kRealSize + 2); // in place: n/2 + 1 complex values
  auto* spectrum = reinterpret_cast<fftw_complex*>(b.work);
  fftw_plan plan = inverse ? fftw_plan_dft_c2r_1d(kRealSize, spectrum, b.work, FFTW_MEASURE)
                           : fftw_plan_dft_r2c_1d(kRealSize, b.work, spectrum, FFTW_MEASURE);
  timeInPlace(state, b, [&] { fftw_execute(plan); });
  fftw_destroy_plan(plan);
}

void complexOurs(benchmark::State& state, int inverse)
{
  WDL_fft_init();
  Buffers b(2 * kComplexSize);
  timeInPlace(state, b, [&] { WDL_fft(reinterpret_cast<WDL_FftComplex*>(b.work), kComplexSize, inverse); });
}

void complexFftw(benchmark::State& state, int inverse)
{
  Buffers b(2 * kComplexSize);
  auto* data = reinterpret_cast<fftw_complex*>(b.work);
  fftw_plan plan = fftw_plan_dft_1d(kComplexSize, data, data, inverse ? FFTW_BACKWARD : FFTW_FORWARD, FFTW_MEASURE);
  timeInPlace(state, b, [&] { fftw_execute(plan); });
  fftw_destroy_plan(plan);
}

// Console output as usual, plus the time of every job per implementation ("job/impl"),
// taking medians when repetitions are asked for.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
  void ReportRuns(const std::vector<Run>& runs) override
  {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.run_type == Run::RT_Aggregate && !median) continue;
      const std::string& name = r.run_name.function_name;
      if (median || !medianSeen_.count(name)) timesNs_[name] = r.GetAdjustedRealTime();
      if (median) medianSeen_[name] = true;
    }
  }

  void PrintRatios() const
  {
    std::printf("\n%-24s %14s %14s %10s\n", "transform", "ours (ns)", "FFTW (ns)", "ours/FFTW");
    for (const auto& [name, ns] : timesNs_) {
      const std::string::size_type slash = name.rfind('/');
      if (name.compare(slash + 1, std::string::npos, "ours") != 0) continue;
      const std::string job = name.substr(0, slash);
      const auto fftw = timesNs_.find(job + "/FFTW");
      if (fftw == timesNs_.end()) continue;
      std::printf("%-24s %14.1f %14.1f %10.2f\n", job.c_str(), ns, fftw->second, ns / fftw->second);
    }
  }

private:
  std::map<std::string, double> timesNs_;
  std::map<std::string, bool> medianSeen_;
};

} // namespace

int main(int argc, char** argv)
{
  const struct
  {
    const char* job;
    void (*ours)(benchmark::State&, int);
    void (*fftw)(benchmark::State&, int);
    int inverse;
  } jobs[] = {
      {"real2048_forward", realOurs, realFftw, 0},
      {"real2048_inverse", realOurs, realFftw, 1},
      {"complex32768_forward", complexOurs, complexFftw, 0},
      {"complex32768_inverse", complexOurs, complexFftw, 1},
  };
  for (const auto& j : jobs) {
    benchmark::RegisterBenchmark((std::string(j.job) + "/ours").c_str(), j.ours, j.inverse)
        ->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark((std::string(j.job) + "/FFTW").c_str(), j.fftw, j.inverse)
        ->Unit(benchmark::kNanosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
