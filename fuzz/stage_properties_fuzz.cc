// Checks, on the fuzzer's bytes, what must hold for every input whatever the exact rules:
// each deleting stage never lengthens the text and its count matches what it took out;
// compaction deletes only layout space and ';', never the byte after a backslash, nothing
// more from its own result, opens no new comment, and leaves as many strings as it found.
// Linear stages only, so inputs may be longer than in the differential target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "minifier/byte_classes.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/text_limits.h"

namespace {

constexpr std::size_t max_input = 1 << 16;

using fuzz_check::fail;
using fuzz_check::print_escaped;

bool is_subsequence(std::string_view part, std::string_view whole) {
  std::size_t read = 0;
  for (const char byte : part) {
    while (read < whole.size() && whole[read] != byte) ++read;
    if (read == whole.size()) return false;
    ++read;
  }
  return true;
}

// The text without the bytes compaction may delete: compaction must leave this unchanged.
// A backslash and the byte after it, read left to right, stay together: CSS reads that byte
// as part of a name, or of a string.
std::string without_deletable(std::string_view text) {
  std::string kept;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\' && i + 1 < text.size()) {
      kept += text.substr(i, 2);
      ++i;
    } else if (!byte_class::contains(byte_class::layout, byte) && byte != ';') {
      kept.push_back(text[i]);
    }
  }
  return kept;
}

std::size_t count_comment_openers(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = text.find("/*"); at != std::string_view::npos;
       at = text.find("/*", at + 1)) {
    ++count;
  }
  return count;
}

void check_remove_comments(const std::string& before, const std::string& after,
                           std::int32_t count) {
  if (count < 0) fail("remove_comments returned a negative count");
  if (after.size() > before.size()) fail("remove_comments lengthened the text");
  // The shortest comment, "/**/", is four bytes.
  if (before.size() - after.size() < 4 * static_cast<std::size_t>(count)) {
    fail("remove_comments counted more comments than the bytes it removed allow");
  }
  // A comment that is not counted shrinks to the "/**/" that stays.
  if (count == 0 && after != before && after.find("/**/") == std::string::npos) {
    fail("remove_comments changed the text but counted none");
  }
  if (!is_subsequence(after, before)) fail("remove_comments did more than delete bytes");
}

void check_compaction(const std::string& before, const std::string& after,
                      const compaction_result& result) {
  const std::int32_t count = result.removal_count;
  if (count < 0 || before.size() - after.size() != static_cast<std::size_t>(count) ||
      after.size() > before.size()) {
    fail("compact_text's count is not the number of bytes it removed");
  }
  if (!is_subsequence(after, before)) fail("compact_text did more than delete bytes");
  if (without_deletable(after) != without_deletable(before)) {
    fail("compact_text deleted a byte other than layout space or ';', or an escaped one");
  }
  if (count_comment_openers(after) != count_comment_openers(before)) {
    fail("compact_text joined a '/' and a '*'");
  }
  // Strings are read the same way in the result: none is lost, split or joined.
  std::string again = after;
  const compaction_result second = compact_text(again);
  if (second.removal_count != 0 || again != after) {
    print_escaped("first result ", after);
    print_escaped("second result", again);
    fail("compact_text deleted something from its own result");
  }
  if (second.string_count != result.string_count) {
    fail("compact_text's result holds another number of strings");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return -1;
  const std::string_view loaded(reinterpret_cast<const char*>(data), size);

  // Compaction on the raw bytes, then both stages in the order of a run.
  {
    const std::string before(loaded);
    std::string text = before;
    const compaction_result result = compact_text(text);
    check_compaction(before, text, result);
  }
  std::string text(loaded);
  const std::int32_t comment_count = remove_comments(text);
  check_remove_comments(std::string(loaded), text, comment_count);
  const std::string before_compaction = text;
  const compaction_result result = compact_text(text);
  check_compaction(before_compaction, text, result);
  return 0;
}
