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
#include <cstddef>
#include <cstring>

#include "minifier/text_limits.h"

namespace {

// Bytes that can belong to a gap: the only bytes the rules may delete.
constexpr std::array<bool, 256> gap_bytes = [] {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    table[byte] = is_layout_space(static_cast<unsigned char>(byte)) || byte == ';';
  }
  return table;
}();

bool is_gap_byte(char byte) { return gap_bytes[static_cast<unsigned char>(byte)]; }

}  // namespace

std::int32_t compact_text(std::string& working_text) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  std::size_t write = 0;  // text[0, write) is the finished prefix; it never ends inside a gap
  std::size_t read = 0;
  while (read < size) {
    // Most bytes are copied one by one: runs between gaps are a few bytes long in real
    // stylesheets, too short for a block copy to pay (compact_text_bench, typical input:
    // 330 MB/s with memmove per run).
    const char byte = text[read];
    if (!is_gap_byte(byte)) {
      text[write++] = byte;
      ++read;
      continue;
    }
    bool has_semicolon = false;
    while (read < size && is_gap_byte(text[read])) {
      has_semicolon = has_semicolon || text[read] == ';';
      ++read;
    }
    // Neighbours of the gap: the last kept byte and the next unread one; neither is a gap byte.
    const bool has_before = write > 0;
    const bool has_after = read < size;
    const unsigned char after = has_after ? static_cast<unsigned char>(text[read]) : 0;
    if (has_semicolon) {
      if (!(has_after && after == '}')) text[write++] = ';';
    } else {
      const unsigned char before = has_before ? static_cast<unsigned char>(text[write - 1]) : 0;
      if (has_before && has_after && !is_tight_delimiter(before) && !is_tight_delimiter(after)) {
        text[write++] = text[read - 1];  // a run of layout space keeps its last byte
      }
    }
  }
  working_text.resize(write);
  return to_count(size - write);
}
