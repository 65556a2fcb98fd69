// The one left-to-right reading of quotes that both text stages use: outside, a ' or "
// that no odd run of backslashes escapes opens a string, which the next unescaped quote of
// the same kind closes, or else the next unescaped line break (LF, CR or FF), as CSS ends a
// string there; where comments count, "/*" outside strings opens a comment that the first
// "*/" from its '*' on closes, and quotes inside it are ordinary bytes. It goes 64 bytes
// at a time on the masks of minifier/byte_block.h.
#ifndef MINIFIER_QUOTE_READING_H_
#define MINIFIER_QUOTE_READING_H_

#include <bit>
#include <cstddef>
#include <cstdint>

#include "minifier/bit_tricks.h"
#include "minifier/byte_block.h"

// What the reading is inside of at a byte.
enum class reading : unsigned char { outside, in_apostrophes, in_double_quotes, in_comment };

// The bytes of a block that can change the reading: unescaped quotes, comment openers and
// closers (bit k: the pair begins at byte k), and the line breaks that end a string they
// stand in. Without comments both pair masks are 0.
struct reading_events {
  std::uint64_t apostrophes;
  std::uint64_t double_quotes;
  std::uint64_t openers;
  std::uint64_t closers;
  std::uint64_t line_breaks;
};

// The line breaks of a block that end a string they stand in: LF, CR and FF that no
// backslash escapes, where a backslash before CR LF escapes both bytes. `escaped` is the
// block's escaped bytes (escaped_bits). escaped_cr_before says whether the bytes before the
// block end in an escaped CR, and is set to say the same of the block's end. Without a
// string open at the block's start or a quote in it (`string_may_open`), no line break can
// end one, and none is looked for: most blocks of a stylesheet are such.
inline std::uint64_t string_ending_breaks(const byte_block& block, std::uint64_t escaped,
                                          bool string_may_open, bool& escaped_cr_before) {
  if (!string_may_open) {
    escaped_cr_before = false;  // no string is open after the block either
    return 0;
  }
  const std::uint64_t breaks = block.any_of<'\n', '\r', '\f'>();
  std::uint64_t ending = breaks & ~escaped;
  if ((breaks & escaped) != 0 || escaped_cr_before) {  // rare: a backslash before a break
    const std::uint64_t escaped_crs = block.any_of<'\r'>() & escaped;
    const std::uint64_t after_escaped_cr = (escaped_crs << 1) | (escaped_cr_before ? 1 : 0);
    ending &= ~(after_escaped_cr & block.any_of<'\n'>());
    escaped_cr_before = (escaped_crs >> 63) != 0;
  }
  return ending;
}

inline bool is_in_string(reading state) {
  return state == reading::in_apostrophes || state == reading::in_double_quotes;
}

// Reads a block from bit `from` on, starting in `state`, and returns the quotes that open
// strings and the quotes or line breaks that end them. `state` becomes the reading at the
// block's end, and `from` the first bit of the next block still to read (1 when a closer's
// '/' was that block's first byte).
inline std::uint64_t read_quotes(const reading_events& events, reading& state,
                                 std::size_t& from) {
  const std::uint64_t quotes = events.apostrophes | events.double_quotes;
  if (from == 0 && state != reading::in_comment) {
    // Each kind of quote alone marks the strings it would make if no string held a quote
    // of the other kind (prefix_xor, with a string open at the block's start counted as
    // opened before it). When the two sets do not overlap, that is so, and if no comment
    // opener lies outside them and no line break inside them, every quote of the block
    // opens or closes a string in turn.
    // Most blocks with quotes are read this way, in a few steps whatever their number:
    // 100 MB of '' costs no more than typical text.
    const std::uint64_t in_apostrophes =
        prefix_xor(events.apostrophes) ^ (state == reading::in_apostrophes ? all_bits : 0);
    const std::uint64_t in_double_quotes =
        prefix_xor(events.double_quotes) ^ (state == reading::in_double_quotes ? all_bits : 0);
    const std::uint64_t inside = in_apostrophes | in_double_quotes;
    if ((in_apostrophes & in_double_quotes) == 0 && (events.openers & ~inside) == 0 &&
        (events.line_breaks & inside) == 0) {
      state = (in_apostrophes >> 63) != 0    ? reading::in_apostrophes
              : (in_double_quotes >> 63) != 0 ? reading::in_double_quotes
                                              : reading::outside;
      return quotes;
    }
  }
  // Otherwise from one event to the next.
  std::uint64_t found = 0;
  while (from < 64) {
    std::uint64_t next = events.closers;
    if (state == reading::outside) next = quotes | events.openers;
    if (state == reading::in_apostrophes) next = events.apostrophes | events.line_breaks;
    if (state == reading::in_double_quotes) next = events.double_quotes | events.line_breaks;
    next &= bits_from(from);
    if (next == 0) break;
    const std::size_t at = static_cast<std::size_t>(std::countr_zero(next));
    const std::uint64_t bit = std::uint64_t{1} << at;
    from = at + 1;
    if (state == reading::in_comment) {
      state = reading::outside;
      from = at + 2;  // past the closer's '/'
    } else if (state != reading::outside) {
      found |= bit;
      state = reading::outside;
    } else if ((events.openers & bit) != 0) {
      state = reading::in_comment;  // its closer may begin at the opener's '*'
    } else {
      found |= bit;
      state = (events.apostrophes & bit) != 0 ? reading::in_apostrophes
                                               : reading::in_double_quotes;
    }
  }
  from = from > 64 ? from - 64 : 0;
  return found;
}

#endif  // MINIFIER_QUOTE_READING_H_
