// Times the step-by-step model of the tests (tests/literal_model.cc) beside the fast stages
// on the same 1 MB typical stylesheet, so that the gap between the rules as written and
// the tool shows in one table. The model is quadratic on purpose: one run of it takes
// seconds here, so it is timed once. --smoke uses 16 KiB instead.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_harness.h"
#include "bench/stylesheet_generator.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "tests/literal_model.h"

namespace {

std::string fast_pipeline(std::string text) {
  remove_comments(text);
  compact_text(text);
  return text;
}

void report_rate(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  bool smoke = false;
  if (!initialize_benchmarks(argc, argv, smoke)) return 1;

  const std::string input =
      stylesheet_generator::make_typical(smoke ? std::size_t{16} << 10 : 1000000);
  // The two must agree, or the comparison means nothing.
  if (fast_pipeline(input) != literal_model::run_pipeline(input).final_text) return 1;

  benchmark::RegisterBenchmark("literal_model/whole_pipeline/typical_1MB",
                               [&input](benchmark::State& state) {
                                 for (auto _ : state) {
                                   benchmark::DoNotOptimize(literal_model::run_pipeline(input));
                                 }
                                 report_rate(state, input.size());
                               })
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("fast/whole_pipeline/typical_1MB",
                               [&input](benchmark::State& state) {
                                 for (auto _ : state) {
                                   benchmark::DoNotOptimize(fast_pipeline(input));
                                 }
                                 report_rate(state, input.size());
                               })
      ->Iterations(smoke ? 1 : 50)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
