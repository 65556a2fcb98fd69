// Times lifting the strings out alone, and lifting them out and putting them back, on the
// text after comment removal as a run gives it to them.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/string_protection.h"
#include "minifier/text_limits.h"

namespace {

void remove_comments_only(std::string& text) {
  remove_comments(text, scan_quotes(text, to_count(text.size())));
}

bool run_extract_strings(std::string& text) {
  lifted_strings lifted;
  benchmark::DoNotOptimize(extract_strings(text, lifted));
  return true;
}

bool run_extract_and_restore_strings(std::string& text) {
  lifted_strings lifted;
  const std::int32_t count = extract_strings(text, lifted);
  return restore_strings(text, lifted, count);
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(
      argc, argv,
      {{"extract_strings", remove_comments_only, run_extract_strings},
       {"extract_strings+restore_strings", remove_comments_only,
        run_extract_and_restore_strings}});
}
