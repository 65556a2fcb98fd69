// The one left-to-right reading of quotes that both text stages use: outside, a ' or "
// that no odd run of backslashes escapes opens a string, which the next unescaped quote of
// the same kind closes; where comments count, "/*" outside strings opens a comment that
// the first "*/" from its '*' on closes, and quotes inside it are ordinary bytes. It goes
// 64 bytes at a time on the masks of minifier/byte_block.h.
#ifndef MINIFIER_QUOTE_READING_H_
#define MINIFIER_QUOTE_READING_H_

#include <bit>
#include <cstddef>
#include <cstdint>

#include "minifier/bit_tricks.h"

// What the reading is inside of at a byte.
enum class reading : unsigned char { outside, in_apostrophes, in_double_quotes, in_comment };

// The bytes of a block that can change the reading: unescaped quotes, and comment openers
// and closers (bit k: the pair begins at byte k). Without comments both pair masks are 0.
struct reading_events {
  std::uint64_t apostrophes;
  std::uint64_t double_quotes;
  std::uint64_t openers;
  std::uint64_t closers;
};

inline bool is_in_string(reading state) {
  return state == reading::in_apostrophes || state == reading::in_double_quotes;
}

// Reads a block from bit `from` on, starting in `state`, and returns the quotes that open
// or close strings. `state` becomes the reading at the block's end, and `from` the first
// bit of the next block still to read (1 when a closer's '/' was that block's first byte).
inline std::uint64_t read_quotes(const reading_events& events, reading& state,
                                 std::size_t& from) {
  const std::uint64_t quotes = events.apostrophes | events.double_quotes;
  if (from == 0 && state != reading::in_comment) {
    // Each kind of quote alone marks the strings it would make if no string held a quote
    // of the other kind (prefix_xor, with a string open at the block's start counted as
    // opened before it). When the two sets do not overlap, that is so, and if no comment
    // opener lies outside them, every quote of the block opens or closes a string in turn.
    // Most blocks with quotes are read this way, in a few steps whatever their number:
    // 100 MB of '' costs no more than typical text.
    const std::uint64_t in_apostrophes =
        prefix_xor(events.apostrophes) ^ (state == reading::in_apostrophes ? all_bits : 0);
    const std::uint64_t in_double_quotes =
        prefix_xor(events.double_quotes) ^ (state == reading::in_double_quotes ? all_bits : 0);
    const std::uint64_t inside = in_apostrophes | in_double_quotes;
    if ((in_apostrophes & in_double_quotes) == 0 && (events.openers & ~inside) == 0) {
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
    if (state == reading::in_apostrophes) next = events.apostrophes;
    if (state == reading::in_double_quotes) next = events.double_quotes;
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
