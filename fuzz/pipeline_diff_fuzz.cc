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
#include <vector>

#include "fuzz/fuzz_check.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/string_protection.h"
#include "minifier/text_limits.h"
#include "tests/literal_model.h"

namespace {

// The model erases and inserts one byte at a time, so its cost grows with the square of the
// length; past a few KiB the fuzzer would spend its time there rather than on new inputs.
constexpr std::size_t max_input = 4096;

struct fast_result {
  std::vector<std::int32_t> quote_positions;
  std::string after_comments;
  std::vector<std::string> entries;
  std::string after_compaction;
  std::string final_text;
  std::int32_t comment_count = 0;
  std::int32_t string_count = 0;
  std::int32_t removal_count = 0;
  bool restored = false;
};

fast_result run_fast(std::string_view loaded) {
  fast_result result;
  // scan_quotes reads the fuzzer's own buffer, which has no byte past its end: any read
  // beyond loaded_length is caught by AddressSanitizer.
  const quote_list quote_positions = scan_quotes(loaded, to_count(loaded.size()));
  result.quote_positions = quote_positions.list();
  std::string text(loaded);
  result.comment_count = remove_comments(text, quote_positions);
  result.after_comments = text;
  lifted_strings protected_strings;
  result.string_count = extract_strings(text, protected_strings);
  lifted_reader reader(protected_strings);
  for (std::size_t i = 0; i < protected_strings.size(); ++i) {
    result.entries.emplace_back(reader.next());
  }
  result.removal_count = compact_text(text);
  result.after_compaction = text;
  result.restored = restore_strings(text, protected_strings, result.string_count);
  result.final_text = text;
  return result;
}

void print_positions(const char* label, const std::vector<std::int32_t>& positions) {
  std::fprintf(stderr, "  %s:", label);
  for (const std::int32_t position : positions) std::fprintf(stderr, " %d", position);
  std::fputc('\n', stderr);
}

// Only on a mismatch: replays the model stage by stage to find where the two part.
[[noreturn]] void report_mismatch(const std::string& loaded, const fast_result& fast,
                                  const literal_model::pipeline_result& model) {
  fuzz_check::print_escaped("input", loaded);
  std::fprintf(stderr,
               "  counts fast/model: comments %d/%d, strings %d/%d, removed %d/%d, "
               "restored %d/%d\n",
               fast.comment_count, model.comment_count, fast.string_count, model.string_count,
               fast.removal_count, model.removal_count, fast.restored, model.restored);
  fuzz_check::print_escaped("fast final ", fast.final_text);
  fuzz_check::print_escaped("model final", model.final_text);

  std::string text = loaded;
  const std::vector<std::int32_t> quote_positions =
      literal_model::scan_quotes(text, to_count(text.size()));
  if (quote_positions != fast.quote_positions) {
    print_positions("fast scan_quotes ", fast.quote_positions);
    print_positions("model scan_quotes", quote_positions);
    fuzz_check::fail("scan_quotes differs from the model");
  }
  literal_model::remove_comments(text, quote_positions);
  if (text != fast.after_comments) {
    fuzz_check::print_escaped("fast after remove_comments ", fast.after_comments);
    fuzz_check::print_escaped("model after remove_comments", text);
    fuzz_check::fail("remove_comments differs from the model");
  }
  std::vector<std::string> entries;
  literal_model::extract_strings(text, entries);
  if (entries != fast.entries) {
    std::fprintf(stderr, "  entries fast/model: %zu/%zu\n", fast.entries.size(),
                 entries.size());
    fuzz_check::fail("extract_strings differs from the model");
  }
  literal_model::compact_text(text);
  if (text != fast.after_compaction) {
    fuzz_check::print_escaped("fast after compact_text ", fast.after_compaction);
    fuzz_check::print_escaped("model after compact_text", text);
    fuzz_check::fail("compact_text differs from the model");
  }
  fuzz_check::fail("the whole run differs from the model (in restore_strings or a count)");
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
      fast.string_count != model.string_count || fast.removal_count != model.removal_count ||
      fast.restored != model.restored) {
    report_mismatch(loaded_text, fast, model);
  }
  return 0;
}
