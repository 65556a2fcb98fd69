// The reading of strings that compaction and its look-ahead share: where each string of a
// text lies, read block after block on the block scanner (a string the end of the text
// closes included); and whether a ':' stands in a selector.
#ifndef MINIFIER_STRING_READING_H_
#define MINIFIER_STRING_READING_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "minifier/bit_tricks.h"
#include "minifier/block_scanner.h"
#include "minifier/byte_block.h"
#include "minifier/byte_classes.h"
#include "minifier/byte_lanes.h"
#include "minifier/path_stages.h"

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH::string_reading {

using namespace byte_class;

// The layout byte that ends the hex escape whose first digit is at `first`, or not_found:
// CSS takes one to six hex digits and one whitespace byte after them as part of the escape.
inline std::size_t hex_escape_end(std::string_view text, std::size_t first) {
  const std::size_t end = hex_digits_end(text, first);
  if (end == first || end == text.size()) return not_found;
  return contains(layout, static_cast<unsigned char>(text[end])) ? end : not_found;
}

// Every class compaction and its look-ahead ask of each block, in one layout: the layout
// bytes, ';', ':', '{}', the tight delimiters in one row, the quotes and '\\'. ('(', ')', '/',
// '}' and the rest are looked for byte by byte.)
struct compaction_classes {
  static constexpr nibble_layout layout =
      make_layout({"\t\n\r", " ", ";", ":", "{}", "(),/", "'\"", "\\"});
};
using compaction_block = byte_block<compaction_classes>;

// What the reading of strings says of a block (bit k: byte k).
struct string_marks {
  std::uint64_t contents;    // inside complete strings, quotes not included
  std::uint64_t kept_as_is;  // outside strings: escaped bytes, and the layout byte that
                             // ends a hex escape or a string (contents may have some too)
};

// Reads the strings of a text block after block, left to right, on the text as it was
// before any byte of it was moved: every block is read before the sweep writes into it. A
// string that the end of the text closes is a string like any other.
class string_reader {
 public:
  // Blocks are read in order. One may begin inside the last one read, or past bytes that no
  // read looked at, where the bytes left out hold no quote or backslash (the text's gaps).
  [[gnu::always_inline]] string_marks read_block(std::string_view text,
                                                 const compaction_block& block, std::size_t at) {
    if (scanner_.pass_over(block)) {
      return {is_in_string(scanner_.state()) ? all_bits : 0, carried_bits(at)};
    }
    return read_strings(text, block, at);
  }

  // The strings read so far, one the end of the text closes included.
  std::size_t count() const { return count_ + (is_in_string(scanner_.state()) ? 1 : 0); }

 private:
  [[gnu::always_inline]] string_marks read_strings(std::string_view text,
                                                   const compaction_block& block, std::size_t at) {
    const bool open_before = is_in_string(scanner_.state());
    const reading_events read = scanner_.read(text, at, block);
    const std::uint64_t found = read.bounds;
    const std::uint64_t inside = running_xor(found) ^ (open_before ? all_bits : 0);
    count_ += static_cast<std::size_t>(count_bits(found & ~inside));
    std::uint64_t kept = carried_bits(at) | read.escaped | (found & read.line_breaks);
    // Escapes outside strings whose first byte is a hex digit may end in a layout byte, or
    // in a CR LF, which counts as one. (An escaped quote is no hex digit: masked out here,
    // a text of \' and \" is not looked at byte by byte.)
    std::uint64_t outside_escapes = read.escaped & ~read.backslashes & ~inside;
    if (outside_escapes != 0) outside_escapes &= ~block.any_in<quotes>();
    for (std::uint64_t rest = outside_escapes; rest != 0; rest &= rest - 1) {
      const std::size_t first = at + static_cast<std::size_t>(std::countr_zero(rest));
      if (first >= text.size()) break;  // a backslash was the text's last byte
      const std::size_t end = hex_escape_end(text, first);
      if (end == not_found) continue;
      pending_begin_ = end;  // only the block's last escape can end past it
      pending_end_ =
          text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? end + 2 : end + 1;
      kept |= carried_bits(at);
    }
    return {inside & ~found, kept};
  }

  // The bytes of the block at `at` that an escape before them keeps as they are.
  std::uint64_t carried_bits(std::size_t at) {
    if (pending_end_ <= pending_begin_) return 0;  // most blocks: nothing carried
    std::uint64_t bits = 0;
    for (; pending_begin_ < pending_end_ && pending_begin_ < at + block_size; ++pending_begin_) {
      if (pending_begin_ >= at) bits |= std::uint64_t{1} << (pending_begin_ - at);
    }
    return bits;
  }

  block_scanner scanner_;
  // Bytes from a hex escape's end on that are kept as they are: [pending_begin_, pending_end_).
  std::size_t pending_begin_ = 0;
  std::size_t pending_end_ = 0;
  std::size_t count_ = 0;  // strings ended
};

// Tells whether a ':' stands in a selector or an at-rule's prelude: whether the first '{',
// ';' or '}' after it, outside strings, is '{'. The colons asked about come in ascending
// order, so the terminator found for one answers every colon before it, and each byte is
// looked at once: 100 MB of "a :b " with no '{' at all takes one search. An escaped one
// is part of a name. The colon lies outside strings.
class selector_colons {
 public:
  bool in_selector(std::string_view text, std::size_t colon) {
    // Most colons are answered by the terminator found for an earlier one, at the cost of a
    // compare: the search stays out of line.
    if (terminator_ <= colon) terminator_ = first_terminator(text, colon);
    return terminator_ < text.size() && text[terminator_] == '{';
  }

 private:
  [[gnu::noinline]] static std::size_t first_terminator(std::string_view text, std::size_t colon) {
    // The byte after the colon is neither escaped nor inside a string.
    string_reader strings;
    for (std::size_t at = colon + 1; at < text.size(); at += block_size) {
      const compaction_block block(text, at, ' ');
      const string_marks read = strings.read_block(text, block, at);
      const std::uint64_t terminators = block.any_in<rule_ends>() & ~read.contents &
                                        ~read.kept_as_is & bits_below(text.size() - at);
      if (terminators != 0) return at + static_cast<std::size_t>(std::countr_zero(terminators));
    }
    return text.size();
  }

  std::size_t terminator_ = 0;  // lies past the colon it was found for
};

}  // namespace CSSQUEEZE_CODE_PATH::string_reading
#include "minifier/code_path_end.h"

#endif  // MINIFIER_STRING_READING_H_
