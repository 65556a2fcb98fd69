// Times comment removal, with its reading of quotes, on the text as loaded.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"

namespace {

bool run_remove_comments(std::string& text) {
  benchmark::DoNotOptimize(remove_comments(text));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv, {{"remove_comments", nullptr, run_remove_comments}});
}
