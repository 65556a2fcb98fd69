// Times every text stage of a run in order, in memory, as the tool runs them between
// loading and saving: what the whole tool costs apart from the disk.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"

namespace {

bool run_pipeline(std::string& text) {
  benchmark::DoNotOptimize(remove_comments(text));
  benchmark::DoNotOptimize(compact_text(text));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv, {{"whole_pipeline", nullptr, run_pipeline}});
}
