// Deletes redundant layout space and semicolons in one left-to-right sweep.
//
// The deletion rules only ever remove layout bytes and ';', so every other byte survives
// and splits the text into gaps: maximal runs of layout bytes and ';' between two kept
// bytes (or an end of the text). Repeating the rules until nothing changes leaves each gap
// in a state that depends only on the gap and the two bytes around it:
//   - a gap holding a ';' loses all its layout space (every run touches a ';' or the
//     delimiter beside it), then its later semicolons (';' after ';'); the one ';' left
//     goes too when the next byte is '}';
//   - a gap of layout space only disappears when it touches an end of the text or a
//     delimiter that pulls space away from that side, and otherwise shrinks to its last
//     byte. CSS reads some of that space as a separator, so '(' keeps the space before it
//     ("and (max-width..."), ')' the space after it ("...(2n) td"), and a ':' in a selector
//     or an at-rule's prelude (the first '{', ';' or '}' after it is '{') the space before
//     it (".a :hover"). Deletions never change which of those a ':' is: a ';' goes only
//     after another ';' or before '}'.
// So one sweep that rewrites each gap to that state reaches the same text, and the same
// count, as the repeated passes; the tests compare the two on generated inputs.
#include "minifier/compact_text.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "minifier/byte_search.h"
#include "minifier/text_limits.h"

namespace {

constexpr std::array<bool, 256> table_of(bool (*predicate)(unsigned char)) {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 256; ++byte) table[byte] = predicate(static_cast<unsigned char>(byte));
  return table;
}

// Bytes that can belong to a gap: the only bytes the rules may delete.
constexpr std::array<bool, 256> gap_bytes =
    table_of([](unsigned char byte) { return is_layout_space(byte) || byte == ';'; });
// Delimiters that delete the layout space after them: all but ')'.
constexpr std::array<bool, 256> space_after_goes =
    table_of([](unsigned char byte) { return is_tight_delimiter(byte) && byte != ')'; });
// Delimiters that delete the layout space before them: all but '(' (and a selector's ':').
constexpr std::array<bool, 256> space_before_goes =
    table_of([](unsigned char byte) { return is_tight_delimiter(byte) && byte != '('; });

bool is_gap_byte(char byte) { return gap_bytes[static_cast<unsigned char>(byte)]; }

// Whether a gap after the last kept byte, text[write - 1], loses its layout space: that
// byte is missing or a delimiter that pulls the space after it away.
bool gap_after_kept_end_goes(const char* text, std::size_t write) {
  return write == 0 || space_after_goes[static_cast<unsigned char>(text[write - 1])];
}

// Tells whether a ':' stands in a selector or an at-rule's prelude, that is whether the
// first '{', ';' or '}' after it is '{', looking into the unread text. The colons asked
// about come in ascending order, so the terminator found for one answers every colon
// before it, and each byte is searched at most once: 100 MB of "a :b " with no '{' at all
// takes one search.
class selector_colons {
 public:
  selector_colons(const char* text, std::size_t size) : text_(text), size_(size) {}

  bool contains(std::size_t colon) {
    if (!searched_ || terminator_ < colon) {
      terminator_ = find_any_of<'{', ';', '}'>(text_, size_, colon + 1);
      is_brace_ = terminator_ < size_ && text_[terminator_] == '{';
      searched_ = true;
    }
    return is_brace_;
  }

 private:
  const char* text_;
  std::size_t size_;
  std::size_t terminator_ = 0;  // the first terminator after the last colon searched from
  bool is_brace_ = false;       // it is '{' (false when there is none)
  bool searched_ = false;
};

// Whether a layout gap before text[at], an unread byte, loses its space.
bool gap_before_goes(const char* text, std::size_t at, selector_colons& colons) {
  const char byte = text[at];
  if (!space_before_goes[static_cast<unsigned char>(byte)]) return false;
  return byte != ':' || !colons.contains(at);
}

// Writes what is left of a gap that has just been read, at text[write]: a ';' unless the
// next byte is '}', when the gap holds one; else its last layout byte, unless a neighbour
// is an end of the text or a delimiter that pulls the space away (before_goes and
// after_goes tell); else nothing. The byte is stored whatever the choice and kept by
// moving the cursor, so the choice, unpredictable on real text, costs no branch;
// text[write] is free, since the gap held at least one byte.
std::size_t write_gap_rest(char* text, std::size_t write, bool before_goes, bool has_semicolon,
                           char last_layout, bool has_after, char after, bool after_goes) {
  const unsigned keeps_semicolon =
      static_cast<unsigned>(has_semicolon) & static_cast<unsigned>(!has_after || after != '}');
  const unsigned keeps_layout =
      static_cast<unsigned>(!has_semicolon) & static_cast<unsigned>(!before_goes) &
      static_cast<unsigned>(has_after) & static_cast<unsigned>(!after_goes);
  text[write] = has_semicolon ? ';' : last_layout;
  return write + (keeps_semicolon | keeps_layout);
}

// The first gap byte at or after from, or size.
std::size_t find_gap_byte(const char* text, std::size_t size, std::size_t from) {
  return find_any_of<';', ' ', '\t', '\n', '\r'>(text, size, from);
}

// One run of kept bytes and the gap after it, byte by byte, from text[read]. Until the
// first deletion the run is already in place and is only skipped.
void compact_run_and_gap(char* text, std::size_t size, std::size_t& write_cursor,
                         std::size_t& read_cursor, selector_colons& colons) {
  // Copies in locals: stores through text could otherwise alias the cursors and force
  // the compiler to reload them after every byte.
  std::size_t write = write_cursor;
  std::size_t read = read_cursor;
  if (write == read) {
    read = write = find_gap_byte(text, size, read);
  } else {
    while (read < size && !is_gap_byte(text[read])) text[write++] = text[read++];
  }
  if (read < size) {
    const bool before_goes = gap_after_kept_end_goes(text, write);
    bool has_semicolon = false;
#ifdef CSSQUEEZE_SSE2
    // A long gap sixteen bytes at a time: only_spaces in compact_text_bench, 16 MiB, best
    // of 5, byte by byte -> this: 1270 -> 2260 MB/s.
    while (read + 16 <= size) {
      const unsigned gap = match_mask<';', ' ', '\t', '\n', '\r'>(text + read);
      const unsigned length = static_cast<unsigned>(std::countr_one(gap));
      has_semicolon = has_semicolon || (match_mask<';'>(text + read) & ((1u << length) - 1)) != 0;
      read += length;
      if (length < 16) break;
    }
#endif
    while (read < size && is_gap_byte(text[read])) {
      has_semicolon = has_semicolon || text[read] == ';';
      ++read;
    }
    const bool has_after = read < size;
    const bool after_goes = has_after && !has_semicolon && !before_goes &&
                            gap_before_goes(text, read, colons);
    write = write_gap_rest(text, write, before_goes, has_semicolon, text[read - 1], has_after,
                           has_after ? text[read] : '\0', after_goes);
  }
  write_cursor = write;
  read_cursor = read;
}

// The 64 bytes at text[read], up to the gap that reaches their end (kept for the next
// call): every decision for the block's complete gaps is made on 64-bit masks at once, and
// the kept runs are then moved with sixteen-byte stores. A gap's start flags (a ';' in it,
// a delimiter or nothing kept before it) are carried to the byte after its end by one
// addition each, since adding a run's lowest bit clears the run and sets the bit after it.
// The byte after the block must be in the text.
//
// compact_text_bench, best of 5 on 16 MiB, against sixteen bytes at a time with a step per
// gap: typical 815 -> 1090 MB/s, spaces_semicolons_before_brace 1430 -> 2920; texts with
// nothing to delete (many_short_strings, whose strings are lifted,
// backslash_before_every_quote) 710-790 -> 3400-5000, as nothing is moved. Texts with a
// gap every two or three bytes lose a little (semicolon_space_brace 810 -> 750-850,
// comment_per_rule 1500 -> 1340). On the 100 MB framework file, 69 -> 64 ms. Kept runs
// are moved with up to four sixteen-byte stores: with memmove for runs over sixteen
// bytes, that file took 73 ms.
void compact_window(char* text, std::size_t size, std::size_t& write_cursor,
                    std::size_t& read_cursor, selector_colons& colons) {
  std::size_t write = write_cursor;
  const std::size_t read = read_cursor;
  const byte_block block(std::string_view(text, size), read);
  const std::uint64_t all_gaps = block.any_of<' ', '\t', '\n', '\r', ';'>();
  if (all_gaps == 0 && write == read) {  // nothing to delete, and nothing to move
    write_cursor = read_cursor = read + 64;
    return;
  }
  // A gap that reaches the block's end may go on past it: it is left for the next call,
  // which begins with it. So every gap taken ends by bit 62, and the byte after it is
  // kept and in the block.
  const std::size_t limit =
      (all_gaps >> 63) != 0 ? 64 - static_cast<std::size_t>(std::countl_one(all_gaps)) : 64;
  if (limit == 0) {  // one gap over the whole block: byte by byte
    compact_run_and_gap(text, size, write_cursor, read_cursor, colons);
    return;
  }
  const std::uint64_t in_reach = limit == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << limit) - 1;
  const std::uint64_t gaps = all_gaps & in_reach;
  const std::uint64_t starts = gaps & ~(gaps << 1);
  const std::uint64_t after_gaps = (gaps + starts) & ~gaps;  // the byte after each gap
  const std::uint64_t layout = gaps & ~block.equal_to(';');
  const std::uint64_t without_semicolon = (layout + (starts & layout)) & after_gaps;
  const std::uint64_t tight = block.any_of<':', '{', '}', '(', ')', ',', '/'>();
  const std::uint64_t opening = block.equal_to('(');
  const std::uint64_t closing = block.equal_to(')');
  std::uint64_t goes_before_starts = ((tight & ~closing) << 1) & starts;
  if ((starts & 1) != 0 && gap_after_kept_end_goes(text, write)) goes_before_starts |= 1;
  const std::uint64_t goes_for_before = (gaps + goes_before_starts) & ~gaps & after_gaps;
  // Marked at the byte after the gap, like everything below.
  const std::uint64_t may_keep_layout = without_semicolon & ~goes_for_before;
  std::uint64_t goes_for_after = tight & ~opening;
  // Only a ':' after a gap that would otherwise keep its space is worth the look-ahead:
  // few of them in real stylesheets.
  for (std::uint64_t rest = may_keep_layout & block.equal_to(':'); rest != 0; rest &= rest - 1) {
    const unsigned at = static_cast<unsigned>(std::countr_zero(rest));
    if (colons.contains(read + at)) goes_for_after &= ~(std::uint64_t{1} << at);
  }

  // What is left of each gap.
  const std::uint64_t keeps_semicolon =
      after_gaps & ~without_semicolon & ~block.equal_to('}');
  const std::uint64_t keeps_layout = may_keep_layout & ~goes_for_after;
  const std::uint64_t keep = (~gaps & in_reach) | ((keeps_semicolon | keeps_layout) >> 1);

  char bytes[80];  // the block, and zeros for the last sixteen-byte load to read
  block.copy_to(bytes);
  std::memset(bytes + 64, 0, 16);
  for (std::uint64_t rest = keeps_semicolon >> 1; rest != 0; rest &= rest - 1) {
    bytes[std::countr_zero(rest)] = ';';
  }
  // Until the first deletion the kept bytes are already in place. After sixteen, a store
  // of sixteen bytes at write ends at or before read + offset, on bytes copied out above.
  const bool wide = read - write >= 16;
  std::size_t offset = 0;  // bytes of the block handled so far
  while (true) {
    const std::size_t run = static_cast<std::size_t>(std::countr_one(keep >> offset));
    if (write != read + offset) {
      if (wide) {
        // Runs of up to 64 bytes: a few stores beat the call to memmove.
        for (std::size_t i = 0; i < run; i += 16) {
          copy_forward(text + write + i, bytes + offset + i, 16, true);
        }
      } else {
        copy_forward(text + write, bytes + offset, run, false);
      }
    }
    write += run;
    offset += run;
    if (offset >= limit) break;
    offset += static_cast<std::size_t>(std::countr_zero(keep >> offset));
  }
  write_cursor = write;
  read_cursor = read + limit;
}

}  // namespace

std::int32_t compact_text(std::string& working_text) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  std::size_t write = 0;  // text[0, write) is the finished prefix; it never ends inside a gap
  std::size_t read = 0;   // text[read, size) is unread and untouched
  selector_colons colons(text, size);
  while (read < size) {
    if (read + 64 < size) {
      compact_window(text, size, write, read, colons);
      continue;
    }
    compact_run_and_gap(text, size, write, read, colons);
  }
  working_text.resize(write);
  return to_count(size - write);
}
