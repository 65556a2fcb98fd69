// Runs the fuzzer's bytes, as a loaded stylesheet, through the fast stages in the order of a
// minify run and through the step-by-step model of the tests, and aborts on any difference in
// the final text, a count, or whether the strings could be put back. On a difference it
// names the first stage that parts from the model, so the report points at the culprit.
// Bytes holding a NUL are refused by a run before any stage, and by the model the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/minify_text.h"
#include "minifier/shared_work.h"
#include "minifier/text_limits.h"
#include "tests/literal_model.h"

namespace {

// The model erases and inserts one byte at a time, so its cost grows with the square of the
// length; past a few KiB the fuzzer would spend its time there rather than on new inputs.
constexpr std::size_t max_input = 4096;

struct fast_result {
  std::string final_text;
  minify_counts counts;
};

fast_result run_fast(std::string_view loaded, bool line_end_dropped) {
  fast_result result;
  result.final_text = loaded;
  // Cut wherever the text allows, however short the pieces, as a large file is; the parts
  // handed on as they become final must make up the final text.
  std::string parts;
  result.counts = minify_text(result.final_text, line_end_dropped, work_sharing{4, 1, 2},
                              [&parts](std::string_view part) { parts.append(part); });
  std::string rest(loaded);
  remove_comments(rest);
  if (result.counts.line_end_kept) rest += '\n';
  // Cut for both stages, or for compaction in what the comments leave, or else handed on
  // as compaction goes, where that is longer than the smallest piece (a byte) and
  // compaction deletes a byte of it.
  std::string compacted = rest;
  compact_text(compacted);
  const bool handed_on =
      !result.counts.refused &&
      (find_cuts(loaded, 4, 1, true).size() > 1 || find_cuts(rest, 4, 1, false).size() > 1 ||
       (rest.size() > 1 && compacted.size() < rest.size()));
  if (parts != (handed_on ? result.final_text : std::string())) {
    fuzz_check::print_escaped("input", loaded);
    fuzz_check::print_escaped("parts", parts);
    fuzz_check::print_escaped("final", result.final_text);
    fuzz_check::fail("the parts handed on differ from the final text");
  }
  return result;
}

// Only on a mismatch: replays the model stage by stage to find where the two part.
[[noreturn]] void report_mismatch(const std::string& loaded, const fast_result& fast,
                                  const literal_model::pipeline_result& model) {
  fuzz_check::print_escaped("input", loaded);
  std::fprintf(stderr,
               "  counts fast/model: comments %d/%d, strings %d/%d, removed %d/%d, "
               "model put the strings back: %d\n",
               fast.counts.comment_count, model.comment_count, fast.counts.string_count,
               model.string_count, fast.counts.removal_count, model.removal_count,
               model.restored);
  fuzz_check::print_escaped("fast final ", fast.final_text);
  fuzz_check::print_escaped("model final", model.final_text);

  std::string text = loaded;
  literal_model::remove_comments(text, literal_model::scan_quotes(text, to_count(text.size())));
  std::string fast_text = loaded;
  remove_comments(fast_text);
  if (text != fast_text) {
    fuzz_check::print_escaped("fast after remove_comments ", fast_text);
    fuzz_check::print_escaped("model after remove_comments", text);
    fuzz_check::fail("remove_comments differs from the model");
  }
  fuzz_check::fail("compact_text, with its strings, or the text's two ends differ from the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return -1;  // -1: not worth keeping in the corpus
  const std::string_view loaded(reinterpret_cast<const char*>(data), size);
  const std::string loaded_text(loaded);
  // Half the inputs stand for a file whose final line feed loading dropped.
  const bool line_end_dropped = size % 2 == 1;
  const literal_model::pipeline_result model =
      literal_model::run_pipeline(loaded_text, literal_model::rule_set::css_safe, line_end_dropped);
  // A run refuses a text holding a NUL byte before any stage; the stages alone meet such
  // bytes in the other target.
  const fast_result fast = run_fast(loaded, line_end_dropped);
  if (fast.counts.refused != model.refused ||
      (model.refused && (model.final_text != loaded_text || fast.final_text != loaded_text))) {
    fuzz_check::print_escaped("input", loaded_text);
    fuzz_check::print_escaped("model final", model.final_text);
    fuzz_check::fail("the refusal of a text holding a NUL byte differs from the model");
  }
  if (model.refused) return 0;
  if (fast.final_text != model.final_text || fast.counts.comment_count != model.comment_count ||
      fast.counts.string_count != model.string_count ||
      fast.counts.removal_count != model.removal_count ||
      fast.counts.line_end_kept != model.line_end_kept || !model.restored) {
    report_mismatch(loaded_text, fast, model);
  }
  return 0;
}
