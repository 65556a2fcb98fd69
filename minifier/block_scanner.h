// The reading of quotes, escapes and line breaks that both text stages share, block after
// block: what a byte lies inside of, with nothing before a block ever read again.
#ifndef MINIFIER_BLOCK_SCANNER_H_
#define MINIFIER_BLOCK_SCANNER_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "minifier/bit_tricks.h"
#include "minifier/byte_block.h"
#include "minifier/byte_classes.h"
#include "minifier/byte_lanes.h"
#include "minifier/path_stages.h"

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH {

using byte_class::just;

// Just past the hex digits of an escape whose first byte is at `first`: CSS takes one to
// six; `first` itself when it is no hex digit.
inline constexpr std::array<bool, 256> hex_digit_bytes = byte_class::table(byte_class::hex_digits);
inline std::size_t hex_digits_end(std::string_view text, std::size_t first) {
  std::size_t end = first;
  while (end < text.size() && end - first < 6 && hex_digit_bytes[static_cast<unsigned char>(text[end])]) {
    ++end;
  }
  return end;
}

// The bytes that can change the reading outside comments.
inline constexpr auto quotes_and_escapes = byte_class::either<byte_class::quotes, just<'\\'>>;

// What the reading of a text is inside of at a byte.
enum class reading { outside, in_apostrophes, in_double_quotes, in_comment };

inline bool is_in_string(reading state) {
  return state == reading::in_apostrophes || state == reading::in_double_quotes;
}

// What the reading says of a block (bit k: byte k): the bytes that can change the reading
// (its escapes, and what they leave of its quotes and line breaks), and the quotes and line
// breaks the reading found to open or end strings.
struct reading_events {
  std::uint64_t backslashes;
  std::uint64_t escaped;        // bytes after an odd run of backslashes
  std::uint64_t apostrophes;    // unescaped
  std::uint64_t double_quotes;  // unescaped
  std::uint64_t line_breaks;    // LF, CR, FF that would end a string they stand in
  std::uint64_t bounds = 0;  // quotes that open strings, and the quotes or line breaks that end them
};

// The reading of a text's quotes that both stages share, block after block, left to right:
// outside, a ' or " that no odd run of backslashes escapes opens a string, which the next
// unescaped quote of the same kind closes, or else the next unescaped line break (LF, CR
// or FF), as CSS ends a string there; where comments count, "/*" outside strings opens a
// comment that the first "*/" from its '*' on closes, and quotes inside it are ordinary
// bytes. The scanner holds all that carries from one block to the next: whether the bytes
// read end in an odd run of backslashes or an escaped CR (whose LF is escaped too), what
// the reading is inside of, and the bit of the next block it resumes at. So no byte before
// a block is read again: a stage may have overwritten it.
class block_scanner {
 public:
  // Reads the next block, given its comment openers and closers (bit k: the pair begins at
  // byte k) where comments count.
  // The block begins at `at` in text, whose bytes from there on are as loaded. An opener
  // behind an odd run of backslashes is part of a name and opens nothing.
  // Kept inline in both stages: callgrind on 10 MB of the frameworks file, whole run,
  // AVX2 104.0 -> 101.0 M instructions (SSE2 149.1 -> 150.7 M).
  template <typename Block>
  [[gnu::always_inline]] reading_events read(std::string_view text, std::size_t at,
                                             const Block& block, std::uint64_t openers = 0,
                                             std::uint64_t closers = 0) {
    reading_events found;
    found.backslashes = block.template any_in<just<'\\'>>();
    // Most blocks read have quotes but no backslash, and nothing escaped.
    found.escaped = found.backslashes == 0 && !odd_run_ ? 0 : escaped_bits(found.backslashes, odd_run_);
    found.apostrophes = block.template any_in<just<'\''>>() & ~found.escaped;
    found.double_quotes = block.template any_in<just<'"'>>() & ~found.escaped;
    const std::uint64_t breaks = block.template any_in<byte_class::string_breaks>();
    found.line_breaks = breaks & ~found.escaped;
    if ((breaks & found.escaped) != 0 || escaped_cr_) {  // rare: a backslash before a break
      const std::uint64_t escaped_crs = block.template any_in<just<'\r'>>() & found.escaped;
      const std::uint64_t after_escaped_cr = (escaped_crs << 1) | (escaped_cr_ ? 1 : 0);
      found.line_breaks &= ~(after_escaped_cr & block.template any_in<just<'\n'>>());
      escaped_cr_ = (escaped_crs >> 63) != 0;
    }
    // A line break that ends a hex escape begun in an earlier block is the escape's own.
    if (carried_break_end_ > at) found.line_breaks &= ~carried_break(at);
    if ((found.escaped >> 57) != 0) carry_break_past(text, at, found.escaped);
    found.bounds = read_quotes(text, at, found, openers & ~found.escaped, closers);
    return found;
  }

  // Passes over a block that leaves the reading as it was, and says whether it did: one
  // with no quote or backslash in it nor an odd backslash run before it, and inside a
  // string no line break either. Most blocks are such: outside strings, or in the middle
  // of a long string (a data URI).
  template <typename Block>
  [[gnu::always_inline]] bool pass_over(const Block& block) {
    if (odd_run_ || block.template any_in<quotes_and_escapes>() != 0) return false;
    if (is_in_string(state_) && block.template any_in<byte_class::string_breaks>() != 0) {
      return false;
    }
    escaped_cr_ = false;
    // A closer's '/' may have been this block's first byte; the next block is read whole.
    from_ = 0;
    return true;
  }

  // Takes up the reading again at a block in `state`, where nothing before the block carries
  // into it: no backslash run, escaped CR or hex escape goes on into it.
  void restart(reading state) {
    *this = block_scanner();
    state_ = state;
  }

  reading state() const { return state_; }

 private:
  // Reads a block from bit from_ on, and returns the quotes that open strings and the quotes
  // or line breaks that end them. state_ becomes the reading at the block's end, and from_
  // the first bit of the next block still to read (1 when a closer's '/' was that block's
  // first byte).
  std::uint64_t read_quotes(std::string_view text, std::size_t block_at,
                            const reading_events& events, std::uint64_t openers,
                            std::uint64_t closers) {
    const std::uint64_t quotes = events.apostrophes | events.double_quotes;
    if (from_ == 0 && state_ != reading::in_comment) {
      // Each kind of quote alone marks the strings it would make if no string held a quote
      // of the other kind (prefix_xor, with a string open at the block's start counted as
      // opened before it). When the two sets do not overlap, that is so, and if no comment
      // opener lies outside them and no line break inside them, every quote of the block
      // opens or closes a string in turn.
      // Most blocks with quotes are read this way, in a few steps whatever their number:
      // 100 MB of '' costs no more than typical text.
      const std::uint64_t in_apostrophes =
          running_xor(events.apostrophes) ^ (state_ == reading::in_apostrophes ? all_bits : 0);
      const std::uint64_t in_double_quotes =
          running_xor(events.double_quotes) ^ (state_ == reading::in_double_quotes ? all_bits : 0);
      const std::uint64_t inside = in_apostrophes | in_double_quotes;
      if ((in_apostrophes & in_double_quotes) == 0 && (openers & ~inside) == 0 &&
          (events.line_breaks & inside) == 0) {
        state_ = (in_apostrophes >> 63) != 0    ? reading::in_apostrophes
                : (in_double_quotes >> 63) != 0 ? reading::in_double_quotes
                                                : reading::outside;
        return quotes;
      }
    }
    // A block of comments and no quote, outside strings: where its openers and closers take
    // turns, none shares a byte with the one before and none reaches into the next block,
    // the comments it opens and closes are read off at once too. A file of "/**/" has
    // thirty-two of them a block; read one at a time, they took nearly half of its run.
    if (from_ == 0 && quotes == 0 && !is_in_string(state_)) {
      const std::uint64_t marks = openers | closers;
      const std::uint64_t inside =
          running_xor(marks) ^ (state_ == reading::in_comment ? all_bits : 0);
      if (((openers & ~inside) | (closers & inside)) == 0 &&
          (openers & ((closers << 1) | (closers >> 1))) == 0 && (marks >> 63) == 0) {
        state_ = (inside >> 63) != 0 ? reading::in_comment : reading::outside;
        return 0;
      }
    }
    // Otherwise from one event to the next.
    std::uint64_t found = 0;
    while (from_ < block_size) {
      std::uint64_t next = closers;
      if (state_ == reading::outside) next = quotes | openers;
      if (state_ == reading::in_apostrophes) next = events.apostrophes | events.line_breaks;
      if (state_ == reading::in_double_quotes) next = events.double_quotes | events.line_breaks;
      next &= bits_from(from_);
      if (next == 0) break;
      const std::size_t at = static_cast<std::size_t>(std::countr_zero(next));
      const std::uint64_t bit = std::uint64_t{1} << at;
      from_ = at + 1;
      if (state_ == reading::in_comment) {
        state_ = reading::outside;
        from_ = at + 2;  // past the closer's '/'
      } else if (state_ != reading::outside) {
        // Rare: a line break in a string that ends a hex escape goes on with the string.
        if ((events.line_breaks & bit) != 0 && ends_hex_escape(text, block_at, events.escaped, at)) {
          continue;
        }
        found |= bit;
        state_ = reading::outside;
      } else if ((openers & bit) != 0) {
        state_ = reading::in_comment;
        from_ = at + 2;  // its closer begins past the opener's '*'
      } else {
        found |= bit;
        state_ = (events.apostrophes & bit) != 0 ? reading::in_apostrophes
                                                 : reading::in_double_quotes;
      }
    }
    from_ = from_ > block_size ? from_ - block_size : 0;
    return found;
  }

  // Whether the line break at bit k of the block at `at` ends a hex escape in the block:
  // one to six hex digits before it (before the CR of a CR LF) after an escaped byte.
  static bool ends_hex_escape(std::string_view text, std::size_t at, std::uint64_t escaped,
                              std::size_t k) {
    if (text[at + k] == '\n' && k > 0 && text[at + k - 1] == '\r') --k;
    for (std::size_t digits = 1; digits <= 6 && digits <= k; ++digits) {
      if (!hex_digit_bytes[static_cast<unsigned char>(text[at + k - digits])]) return false;
      if (((escaped >> (k - digits)) & 1) != 0) return true;
    }
    return false;
  }

  // When the block's last escape, begun in its last seven bytes, ends in a line break past
  // the block, keeps that break for the blocks that hold it.
  void carry_break_past(std::string_view text, std::size_t at, std::uint64_t escaped) {
    const std::size_t first = at + highest_bit(escaped);
    const std::size_t end = hex_digits_end(text, first);
    if (end == first || end >= text.size() ||
        !byte_class::contains(byte_class::string_breaks, static_cast<unsigned char>(text[end]))) {
      return;
    }
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    if (end + (crlf ? 1 : 0) < at + block_size) return;  // in the block: found where it is met
    carried_break_begin_ = end;
    carried_break_end_ = end + (crlf ? 2 : 1);
  }

  // The bits of the block at `at` that the carried break covers.
  std::uint64_t carried_break(std::size_t at) const {
    std::uint64_t bits = 0;
    for (std::size_t i = std::max(carried_break_begin_, at); i < carried_break_end_ && i < at + block_size; ++i) {
      bits |= std::uint64_t{1} << (i - at);
    }
    return bits;
  }

  bool odd_run_ = false;
  bool escaped_cr_ = false;
  // The line break of a hex escape from an earlier block: [begin, end).
  std::size_t carried_break_begin_ = 0;
  std::size_t carried_break_end_ = 0;
  reading state_ = reading::outside;
  std::size_t from_ = 0;
};

}  // namespace CSSQUEEZE_CODE_PATH
#include "minifier/code_path_end.h"

#endif  // MINIFIER_BLOCK_SCANNER_H_
