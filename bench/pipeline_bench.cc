// Times every text stage of a run in order, in memory, as the tool runs them between
// loading and saving: what the whole tool costs apart from the disk.
#include <cstdint>
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/string_protection.h"
#include "minifier/text_limits.h"

namespace {

bool run_pipeline(std::string& text) {
  const quote_list quote_positions = scan_quotes(text, to_count(text.size()));
  benchmark::DoNotOptimize(remove_comments(text, quote_positions));
  lifted_strings lifted;
  const std::int32_t string_count = extract_strings(text, lifted);
  benchmark::DoNotOptimize(compact_text(text));
  return restore_strings(text, lifted, string_count);
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv, {{"whole_pipeline", nullptr, run_pipeline}});
}
