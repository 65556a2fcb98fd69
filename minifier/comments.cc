// Quote reading and comment removal over the text as loaded.
//
// Both work left to right in one pass each. remove_comments keeps the deleted comments out
// of the text with two cursors (a kept prefix and an unread rest) instead of erasing each
// comment and shifting the rest, which would make a file of many comments quadratic.
#include "minifier/comments.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "minifier/text_limits.h"

namespace {

constexpr std::size_t not_found = std::string_view::npos;

// True when text[position] stands behind an odd number of consecutive backslashes.
bool follows_odd_backslashes(std::string_view text, std::size_t position) {
  std::size_t count = 0;
  while (count < position && text[position - 1 - count] == '\\') ++count;
  return count % 2 == 1;
}

// The '*' of the first "*/" whose '*' is at or after from, or not_found.
std::size_t find_closer(std::string_view text, std::size_t from) {
  return from >= text.size() ? not_found : text.find("*/", from);
}

// The '/' of the first "/*" at or after from, or not_found.
std::size_t find_opener(std::string_view text, std::size_t from) {
  return from >= text.size() ? not_found : text.find("/*", from);
}

// The first ', " or "/*" at or after from: the only bytes that change the reading's state.
std::size_t find_quote_or_opener(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char byte = text[i];
    if (byte == '\'' || byte == '"') return i;
    if (byte == '/' && i + 1 < text.size() && text[i + 1] == '*') return i;
  }
  return not_found;
}

}  // namespace

std::vector<std::int32_t> scan_quotes(std::string_view working_text, std::int32_t loaded_length) {
  std::vector<std::int32_t> quote_positions;
  if (loaded_length <= 0) return quote_positions;
  const std::string_view text =
      working_text.substr(0, std::min<std::size_t>(working_text.size(), loaded_length));

  std::size_t i = 0;
  while (true) {
    i = find_quote_or_opener(text, i);
    if (i == not_found) break;
    if (text[i] == '/') {
      // A comment: quotes inside it are ordinary bytes. Its closer may share the opener's
      // '*', as comment removal does; an unclosed comment hides the rest of the text.
      const std::size_t closer = find_closer(text, i + 1);
      if (closer == not_found) break;
      i = closer + 2;
      continue;
    }
    if (follows_odd_backslashes(text, i)) {
      ++i;
      continue;
    }
    // An opening quote: the string runs to the next unescaped quote of the same kind.
    quote_positions.push_back(to_count(i));
    const char kind = text[i];
    std::size_t close = i + 1;
    while (true) {
      close = close >= text.size() ? not_found : text.find(kind, close);
      if (close == not_found || !follows_odd_backslashes(text, close)) break;
      ++close;
    }
    if (close == not_found) break;  // unterminated: the string runs to the end
    quote_positions.push_back(to_count(close));
    i = close + 1;
  }
  return quote_positions;
}

std::int32_t remove_comments(std::string& working_text,
                             const std::vector<std::int32_t>& quote_positions) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  const std::string_view view(working_text);

  // Unread bytes have not moved, so an opener found there sits at its loaded position. The
  // openers met there come in ascending order, and so one cursor over quote_positions
  // answers "inside a string?": an odd number of quotes before the opener means inside
  // (after an unpaired last quote too: an unterminated string runs to the end).
  std::size_t quotes_before = 0;
  const auto is_inside_string = [&](std::size_t loaded_position) {
    while (quotes_before < quote_positions.size() &&
           static_cast<std::size_t>(quote_positions[quotes_before]) < loaded_position) {
      ++quotes_before;
    }
    return quotes_before % 2 == 1;
  };

  std::int32_t count = 0;
  std::size_t write = 0;  // text[0, write) is kept
  std::size_t read = 0;   // text[read, size) is unread and untouched
  // After a deletion the search steps back one byte: a '/' kept just before the deleted
  // comment and a '*' just after it form a new opener.
  bool slash_before_deletion = false;
  while (read < size) {
    bool opener_in_kept = false;
    std::size_t opener_star;  // where the search for the closer begins
    if (slash_before_deletion && text[read] == '*') {
      // Such a slash is never inside a string: the deleted comment began outside every
      // string, and only deleted bytes stand between the two, so no string can hold the
      // slash without holding that comment's opener too.
      opener_in_kept = true;
      opener_star = read;
    } else {
      const std::size_t opener = find_opener(view, read);
      if (opener == not_found) break;
      if (write != read) std::memmove(text + write, text + read, opener - read);
      write += opener - read;
      read = opener;
      if (is_inside_string(opener)) {
        // Kept as string content; the search goes on with the '*', so this opener is not
        // found again.
        text[write++] = text[read++];
        slash_before_deletion = false;
        continue;
      }
      opener_star = opener + 1;
    }
    const std::size_t closer = find_closer(view, opener_star);
    if (closer == not_found) break;  // an unclosed comment stays, with all that follows
    if (opener_in_kept) --write;
    read = closer + 2;
    ++count;
    slash_before_deletion = write > 0 && text[write - 1] == '/';
  }
  if (write != read) std::memmove(text + write, text + read, size - read);
  working_text.resize(write + (size - read));
  return count;
}
