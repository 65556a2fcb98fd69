// Times compact_text alone, on the text it gets in a real run: comments removed and the
// strings lifted out, so only their empty quote pairs are left.
#include <string>

#include "bench/bench_harness.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/string_protection.h"
#include "minifier/text_limits.h"

namespace {

void remove_comments_and_strings(std::string& text) {
  remove_comments(text, scan_quotes(text, to_count(text.size())));
  lifted_strings lifted;
  extract_strings(text, lifted);
}

bool run_compact_text(std::string& text) {
  benchmark::DoNotOptimize(compact_text(text));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return run_stage_benchmarks(argc, argv,
                              {{"compact_text", remove_comments_and_strings, run_compact_text}});
}
