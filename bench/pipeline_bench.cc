// Times every text stage of a run in order, in memory, as the tool runs them between
// loading and saving: what the whole tool costs apart from the disk.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/minify_text.h"

namespace {

bool run_pipeline(std::string& text) {
  const minify_counts counts = minify_text(text, false);
  benchmark::DoNotOptimize(counts);
  return !counts.refused;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv, {{"whole_pipeline", nullptr, run_pipeline}});
}
