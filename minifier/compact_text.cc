// Deletes redundant layout space and semicolons in one left-to-right sweep.
//
// The deletion rules only ever remove layout bytes and ';', so every other byte survives
// and splits the text into gaps: maximal runs of layout bytes and ';' between two kept
// bytes (or an end of the text). Repeating the rules until nothing changes leaves each gap
// in a state that depends only on the gap and the two bytes around it:
//   - a gap holding a ';' loses all its layout space (every run touches a ';' or the
//     delimiter beside it), then its later semicolons (';' after ';'); the one ';' left
//     goes too when the next byte is '}';
//   - a gap of layout space only disappears when it touches a delimiter or an end of the
//     text, and otherwise shrinks to its last byte.
// So one sweep that rewrites each gap to that state reaches the same text, and the same
// count, as the repeated passes; the tests compare the two on generated inputs.
#include "minifier/compact_text.h"

#include <array>
#include <bit>
#include <cstddef>

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
constexpr std::array<bool, 256> tight_delimiters = table_of(is_tight_delimiter);

bool is_gap_byte(char byte) { return gap_bytes[static_cast<unsigned char>(byte)]; }
bool is_tight(char byte) { return tight_delimiters[static_cast<unsigned char>(byte)]; }

// Whether the last kept byte, text[write - 1], is a delimiter or missing.
bool kept_end_is_tight(const char* text, std::size_t write) {
  return write == 0 || is_tight(text[write - 1]);
}

// Writes what is left of a gap that has just been read, at text[write]: a ';' unless the
// next byte is '}', when the gap holds one; else its last layout byte, when neither
// neighbour is a delimiter or an end of the text; else nothing. The neighbours are the
// last kept byte (before_is_tight tells about it) and the next unread one (after, when
// has_after). The byte is stored whatever the choice and kept by moving the cursor, so the
// choice, unpredictable on real text, costs no branch; text[write] is free, since the gap
// held at least one byte.
std::size_t write_gap_rest(char* text, std::size_t write, bool before_is_tight,
                           bool has_semicolon, char last_layout, bool has_after, char after) {
  const unsigned keeps_semicolon =
      static_cast<unsigned>(has_semicolon) & static_cast<unsigned>(!has_after || after != '}');
  const unsigned keeps_layout =
      static_cast<unsigned>(!has_semicolon) & static_cast<unsigned>(!before_is_tight) &
      static_cast<unsigned>(has_after) & static_cast<unsigned>(!is_tight(after));
  text[write] = has_semicolon ? ';' : last_layout;
  return write + (keeps_semicolon | keeps_layout);
}

// The first gap byte at or after from, or size.
std::size_t find_gap_byte(const char* text, std::size_t size, std::size_t from) {
#ifdef CSSQUEEZE_SSE2
  for (; from + 16 <= size; from += 16) {
    const unsigned mask = match_mask<';', ' ', '\t', '\n', '\r'>(text + from);
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  while (from < size && !is_gap_byte(text[from])) ++from;
  return from;
}

// One run of kept bytes and the gap after it, byte by byte, from text[read]. Until the
// first deletion the run is already in place and is only skipped.
void compact_run_and_gap(char* text, std::size_t size, std::size_t& write_cursor,
                         std::size_t& read_cursor) {
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
    const bool before_is_tight = kept_end_is_tight(text, write);
    bool has_semicolon = false;
    while (read < size && is_gap_byte(text[read])) {
      has_semicolon = has_semicolon || text[read] == ';';
      ++read;
    }
    const bool has_after = read < size;
    write = write_gap_rest(text, write, before_is_tight, has_semicolon, text[read - 1],
                           has_after, has_after ? text[read] : '\0');
  }
  write_cursor = write;
  read_cursor = read;
}

#ifdef CSSQUEEZE_SSE2
// The sixteen bytes at text[read], and the whole of a gap that runs on past them. The
// bytes are classified once, with five compares; each kept run is then moved with one
// sixteen-byte store at the write cursor that only its first bytes count in, the rest
// being overwritten later. Callers make sure that such a store lands on bytes already
// read (read - write >= 16, which never shrinks) and that the loads stay in the text
// (read + 32 <= size).
//
// compact_text_bench, best of 5 on 16 MiB, the byte loop -> this: typical 580 -> 830 MB/s
// (and 1900 -> 16000 on long runs of kept bytes). Texts with a gap every three or four
// bytes lose (semicolon_space_brace 1360 -> 830, backslash_before_every_quote 1390 ->
// 730): their short period lets the byte loop predict every branch. A switch to the byte
// loop on dense blocks was tried and lost everywhere, so the slowest input got faster.
void compact_block(char* text, std::size_t size, std::size_t& write_cursor,
                   std::size_t& read_cursor) {
  std::size_t write = write_cursor;
  std::size_t read = read_cursor;
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + read));
  char bytes[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), block);
  const __m128i semicolons = _mm_cmpeq_epi8(block, _mm_set1_epi8(';'));
  const __m128i gaps = _mm_or_si128(
      _mm_or_si128(semicolons, _mm_cmpeq_epi8(block, _mm_set1_epi8(' '))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\t')),
                                _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))),
                   _mm_cmpeq_epi8(block, _mm_set1_epi8('\r'))));
  const unsigned gap_mask = static_cast<unsigned>(_mm_movemask_epi8(gaps));
  const unsigned semicolon_mask = static_cast<unsigned>(_mm_movemask_epi8(semicolons));
  unsigned offset = 0;  // bytes of the block handled so far
  while (true) {
    // The bit past the block stops a run that reaches its end.
    const unsigned run = static_cast<unsigned>(std::countr_zero((gap_mask | 0x10000u) >> offset));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(text + write),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + read + offset)));
    write += run;
    offset += run;
    if (offset == 16) break;
    const unsigned gap = static_cast<unsigned>(std::countr_zero(~(gap_mask >> offset)));
    if (offset + gap == 16) {
      // The gap may go on past the block: finish it byte by byte.
      read += offset;
      compact_run_and_gap(text, size, write, read);
      break;
    }
    // The byte before the gap is taken from the block when it is there, which keeps the
    // load off the chain of stores at the write cursor.
    const bool before_is_tight =
        offset > 0 ? is_tight(bytes[offset - 1]) : kept_end_is_tight(text, write);
    const bool has_semicolon = ((semicolon_mask >> offset) & ((1u << gap) - 1)) != 0;
    offset += gap;
    write = write_gap_rest(text, write, before_is_tight, has_semicolon, bytes[offset - 1],
                           true, bytes[offset]);
  }
  if (offset == 16) read += 16;
  write_cursor = write;
  read_cursor = read;
}
#endif

}  // namespace

std::int32_t compact_text(std::string& working_text) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  std::size_t write = 0;  // text[0, write) is the finished prefix; it never ends inside a gap
  std::size_t read = 0;   // text[read, size) is unread and untouched
  while (read < size) {
#ifdef CSSQUEEZE_SSE2
    if (read - write >= 16 && read + 32 <= size) {
      compact_block(text, size, write, read);
      continue;
    }
#endif
    compact_run_and_gap(text, size, write, read);
  }
  working_text.resize(write);
  return to_count(size - write);
}
