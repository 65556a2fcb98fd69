// Checks, on the fuzzer's bytes, what must hold for every input whatever the exact rules:
// each deleting stage never lengthens the text and its count matches what it took out;
// compaction deletes only layout space and ';', and nothing more from its own result;
// strings lifted out and put straight back give the text unchanged; the quote positions
// ascend and point at quotes. Linear stages only, so inputs may be longer than in the
// differential target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/string_protection.h"
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
std::string without_deletable(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!is_layout_space(byte) && byte != ';') kept.push_back(c);
  }
  return kept;
}

void check_quote_positions(std::string_view loaded,
                           const std::vector<std::int32_t>& quote_positions) {
  for (std::size_t i = 0; i < quote_positions.size(); ++i) {
    const std::int32_t position = quote_positions[i];
    if (position < 0 || static_cast<std::size_t>(position) >= loaded.size()) {
      fail("scan_quotes gave a position outside the text");
    }
    if (i > 0 && position <= quote_positions[i - 1]) {
      fail("scan_quotes positions do not ascend strictly");
    }
    const char byte = loaded[static_cast<std::size_t>(position)];
    if (byte != '\'' && byte != '"') fail("scan_quotes gave a position that is not a quote");
    // A string closes with the quote that opened it.
    if (i % 2 == 1 && byte != loaded[static_cast<std::size_t>(quote_positions[i - 1])]) {
      fail("scan_quotes paired two quotes of different kinds");
    }
  }
}

void check_remove_comments(const std::string& before, const std::string& after,
                           std::int32_t count) {
  if (count < 0) fail("remove_comments returned a negative count");
  if (after.size() > before.size()) fail("remove_comments lengthened the text");
  // The shortest comment, "/*/", is three bytes.
  if (before.size() - after.size() < 3 * static_cast<std::size_t>(count)) {
    fail("remove_comments counted more comments than the bytes it removed allow");
  }
  if (count == 0 && after != before) fail("remove_comments changed the text but counted none");
  if (!is_subsequence(after, before)) fail("remove_comments did more than delete bytes");
}

void check_compaction(const std::string& before, const std::string& after, std::int32_t count) {
  if (count < 0 || before.size() - after.size() != static_cast<std::size_t>(count) ||
      after.size() > before.size()) {
    fail("compact_text's count is not the number of bytes it removed");
  }
  if (!is_subsequence(after, before)) fail("compact_text did more than delete bytes");
  if (without_deletable(after) != without_deletable(before)) {
    fail("compact_text deleted a byte other than layout space or ';'");
  }
  std::string again = after;
  if (compact_text(again) != 0 || again != after) {
    print_escaped("first result ", after);
    print_escaped("second result", again);
    fail("compact_text deleted something from its own result");
  }
}

// Lifts the strings out and puts them straight back; the text must come back as it was.
void check_lift_and_restore(const std::string& before) {
  std::string text = before;
  lifted_strings protected_strings;
  const std::int32_t string_count = extract_strings(text, protected_strings);
  if (string_count < 0 || static_cast<std::size_t>(string_count) != protected_strings.size()) {
    fail("extract_strings' count is not the number of entries");
  }
  std::size_t lifted_bytes = 0;
  lifted_reader reader(protected_strings);
  for (std::size_t i = 0; i < protected_strings.size(); ++i) lifted_bytes += reader.next().size();
  if (text.size() > before.size() || before.size() - text.size() != lifted_bytes) {
    fail("extract_strings removed other bytes than the entries hold");
  }
  if (!restore_strings(text, protected_strings, string_count)) {
    fail("restore_strings found no pair right after extract_strings");
  }
  if (text != before) {
    print_escaped("before", before);
    print_escaped("after ", text);
    fail("lifting the strings and putting them back changed the text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > max_input) return -1;
  const std::string_view loaded(reinterpret_cast<const char*>(data), size);

  // Each stage on its own, on the raw bytes.
  check_lift_and_restore(std::string(loaded));
  {
    const std::string before(loaded);
    std::string text = before;
    check_compaction(before, text, compact_text(text));
  }

  // The stages in the order of a run.
  const quote_list quote_positions = scan_quotes(loaded, to_count(size));
  check_quote_positions(loaded, quote_positions.list());
  std::string text(loaded);
  const std::int32_t comment_count = remove_comments(text, quote_positions);
  check_remove_comments(std::string(loaded), text, comment_count);

  check_lift_and_restore(text);
  lifted_strings protected_strings;
  const std::int32_t string_count = extract_strings(text, protected_strings);

  const std::string before_compaction = text;
  check_compaction(before_compaction, text, compact_text(text));

  // Compaction keeps every quote, so each entry still finds its own emptied pair.
  if (!restore_strings(text, protected_strings, string_count)) {
    fail("restore_strings found no pair for an entry after compaction");
  }
  if (text.size() > size) fail("the run lengthened the text");
  return 0;
}
