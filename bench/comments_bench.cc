// Times the quote reading alone, and the quote reading followed by comment removal as a run
// does them, on the text as loaded.
#include <cstdint>
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/text_limits.h"

namespace {

bool run_scan_quotes(std::string& text) {
  const quote_list quote_positions = scan_quotes(text, to_count(text.size()));
  benchmark::DoNotOptimize(quote_positions.bits.data());
  return true;
}

bool run_scan_quotes_and_remove_comments(std::string& text) {
  const quote_list quote_positions = scan_quotes(text, to_count(text.size()));
  benchmark::DoNotOptimize(remove_comments(text, quote_positions));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(
      argc, argv,
      {{"scan_quotes", nullptr, run_scan_quotes},
       {"scan_quotes+remove_comments", nullptr, run_scan_quotes_and_remove_comments}});
}
