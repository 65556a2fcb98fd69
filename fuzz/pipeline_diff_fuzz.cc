// Runs the fuzzer's bytes, as a loaded stylesheet, through the fast stages in the order of a
// minify run and through the step-by-step model of the tests, and aborts on any difference in
// the final text, a count, or whether the strings could be put back. On a difference it
// names the first stage that parts from the model, so the report points at the culprit.
// Bytes holding a NUL are refused by a run before any stage, and by the model the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/text_limits.h"
#include "tests/literal_model.h"

namespace {

// The model erases and inserts one byte at a time, so its cost grows with the square of the
// length; past a few KiB the fuzzer would spend its time there rather than on new inputs.
constexpr std::size_t max_input = 4096;

struct fast_result {
  std::string after_comments;
  std::string final_text;
  std::int32_t comment_count = 0;
  compaction_result compaction;
};

fast_result run_fast(std::string_view loaded) {
  fast_result result;
  std::string text(loaded);
  result.comment_count = remove_comments(text);
  result.after_comments = text;
  result.compaction = compact_text(text);
  result.final_text = text;
  return result;
}

// Only on a mismatch: replays the model stage by stage to find where the two part.
[[noreturn]] void report_mismatch(const std::string& loaded, const fast_result& fast,
                                  const literal_model::pipeline_result& model) {
  fuzz_check::print_escaped("input", loaded);
  std::fprintf(stderr,
               "  counts fast/model: comments %d/%d, strings %d/%d, removed %d/%d, "
               "model put the strings back: %d\n",
               fast.comment_count, model.comment_count, fast.compaction.string_count,
               model.string_count, fast.compaction.removal_count, model.removal_count,
               model.restored);
  fuzz_check::print_escaped("fast final ", fast.final_text);
  fuzz_check::print_escaped("model final", model.final_text);

  std::string text = loaded;
  literal_model::remove_comments(text, literal_model::scan_quotes(text, to_count(text.size())));
  if (text != fast.after_comments) {
    fuzz_check::print_escaped("fast after remove_comments ", fast.after_comments);
    fuzz_check::print_escaped("model after remove_comments", text);
    fuzz_check::fail("remove_comments differs from the model");
  }
  fuzz_check::fail("compact_text, with its strings, differs from the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return -1;  // -1: not worth keeping in the corpus
  const std::string_view loaded(reinterpret_cast<const char*>(data), size);
  const std::string loaded_text(loaded);
  const literal_model::pipeline_result model = literal_model::run_pipeline(loaded_text);
  // A run refuses a text holding a NUL byte before any stage; the stages alone meet such
  // bytes in the other target.
  const bool refused = std::memchr(loaded.data(), '\0', loaded.size()) != nullptr;
  if (refused != model.refused || (refused && model.final_text != loaded_text)) {
    fuzz_check::print_escaped("input", loaded_text);
    fuzz_check::print_escaped("model final", model.final_text);
    fuzz_check::fail("the refusal of a text holding a NUL byte differs from the model");
  }
  if (refused) return 0;
  const fast_result fast = run_fast(loaded);
  if (fast.final_text != model.final_text || fast.comment_count != model.comment_count ||
      fast.compaction.string_count != model.string_count ||
      fast.compaction.removal_count != model.removal_count || !model.restored) {
    report_mismatch(loaded_text, fast, model);
  }
  return 0;
}
