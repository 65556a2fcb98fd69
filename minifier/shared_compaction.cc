// Compaction shared among threads. What compaction does at a byte depends only on the bytes
// near it, on the strings open there and, for a ':', on the first '{', ';' or '}' after it.
// So a text cut at the right places compacts piece by piece, each piece alone and all at
// once, into the same bytes as the whole, and the pieces are then put back together. A
// right place is right before a byte that begins a selector or an at-rule (a letter, '.',
// '#', '@' or '['), when only layout space stands between it and a '}' outside strings and
// unescaped:
//   - that byte is kept, and it deletes nothing before it;
//   - the space before it goes whole either way, since it follows the '}';
//   - the '}' ends the statement, and every ':' before it finds its terminator by then;
//   - no string, escape or "*/" is open across the cut.
// Whether a '}' stands outside strings is read from the last line break before it. A
// string ends at a line break that no escape takes, and no escape takes one whose
// byte before is no backslash and no hex digit, so none is open after such a line break.
// The rest of the line then tells. Cuts are looked for near each even share of the text,
// in a bounded span; where none is found the piece before grows instead.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "minifier/compact_text.h"

namespace {

// How far past each even share a cut is looked for. Real stylesheets end a rule every few
// hundred bytes; a text with no place to cut (one long line, say) is not read twice.
constexpr std::size_t search_span = std::size_t{1} << 20;

bool is_layout(char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' '; }

bool is_line_break(char byte) { return byte == '\n' || byte == '\r' || byte == '\f'; }

bool is_hex_digit(char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f') ||
         (byte >= 'A' && byte <= 'F');
}

bool begins_rule(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '.' ||
         byte == '#' || byte == '@' || byte == '[';
}

// Whether no string is open after the line break at text[at]: it is a LF, alone or after a
// CR, and the byte before it is no backslash and no hex digit, so no escape takes it.
bool closes_strings(const char* text, std::size_t at) {
  if (text[at] != '\n') return false;
  const std::size_t begin = at > 0 && text[at - 1] == '\r' ? at - 1 : at;
  return begin == 0 || (text[begin - 1] != '\\' && !is_hex_digit(text[begin - 1]));
}

// The first cut in text[from, until), or 0 when there is none. Reads the text left to right
// from a line break that closes every string, tracking quotes and escapes; after any other
// line break it knows nothing until the next such one.
std::size_t find_cut(const char* text, std::size_t size, std::size_t from, std::size_t until) {
  bool known = false;   // the string state is known
  char quote = '\0';    // the quote of the open string, or '\0' outside strings
  for (std::size_t at = from; at < until; ++at) {
    const char byte = text[at];
    if (is_line_break(byte)) {
      known = closes_strings(text, at);
      quote = '\0';
    } else if (!known) {
      continue;
    } else if (byte == '\\') {
      ++at;  // the byte after it is the escape's (a line break it takes included)
    } else if (quote != '\0') {
      if (byte == quote) quote = '\0';
    } else if (byte == '"' || byte == '\'') {
      quote = byte;
    } else if (byte == '}') {
      std::size_t next = at + 1;
      while (next < size && is_layout(text[next])) ++next;
      if (next < size && begins_rule(text[next])) return next;
    }
  }
  return 0;
}

struct piece {
  std::size_t begin = 0;
  std::size_t size = 0;  // before compaction, then after
  compaction_result result;
  void compact(char* text) { result = compact_bytes(text + begin, size); }
};

}  // namespace

compaction_result compact_text_shared(std::string& working_text, std::size_t pieces,
                                      std::size_t smallest_piece) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  std::vector<piece> cut{piece{}};
  for (std::size_t k = 1; k < pieces; ++k) {
    const std::size_t from = std::max(size / pieces * k, cut.back().begin + smallest_piece);
    if (from >= size) break;
    const std::size_t at = find_cut(text, size, from, std::min(size, from + search_span));
    if (at != 0) cut.push_back(piece{at, 0, {}});
  }
  for (std::size_t k = 0; k < cut.size(); ++k) {
    cut[k].size = (k + 1 < cut.size() ? cut[k + 1].begin : size) - cut[k].begin;
  }

  // A thread the system will not start leaves its piece to this one.
  std::vector<std::thread> helpers;
  helpers.reserve(cut.size());  // no allocation may fail once a thread runs
  std::vector<bool> started(cut.size(), false);
  for (std::size_t k = 1; k < cut.size(); ++k) {
    try {
      helpers.emplace_back([&cut, text, k] { cut[k].compact(text); });
      started[k] = true;
    } catch (const std::system_error&) {
    }
  }
  for (std::size_t k = 0; k < cut.size(); ++k) {
    if (!started[k]) cut[k].compact(text);
  }
  for (std::thread& helper : helpers) helper.join();

  compaction_result total;
  std::size_t length = 0;
  for (const piece& part : cut) {
    if (part.begin != length) std::memmove(text + length, text + part.begin, part.size);
    length += part.size;
    total.string_count += part.result.string_count;
    total.removal_count += part.result.removal_count;
  }
  working_text.resize(length);
  return total;
}
