// Times compact_text alone, with its reading of strings, on the text it gets in a real run:
// comments removed.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"

namespace {

void prepare(std::string& text) { remove_comments(text); }

bool run_compact_text(std::string& text) {
  benchmark::DoNotOptimize(compact_text(text));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv, {{"compact_text", prepare, run_compact_text}});
}
