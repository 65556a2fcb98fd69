// String lifting and restoration, each a single forward pass over working_text.
//
// Extraction moves the kept bytes forward over the lifted contents (two cursors), and
// restoration first slides the text to the end of its enlarged buffer and then merges the
// entries back in from the front, so neither shifts the rest of the text per string.
#include "minifier/string_protection.h"

#include <cstring>

#include "minifier/text_limits.h"

namespace {

constexpr std::size_t not_found = std::string_view::npos;

// Counts the backslashes right before position, looking no further back than floor: the
// callers know that the byte before floor is a quote or the start of the text.
bool is_escaped_after(std::string_view text, std::size_t floor, std::size_t position) {
  std::size_t count = 0;
  while (position - count > floor && text[position - count - 1] == '\\') ++count;
  return count % 2 == 1;
}

std::size_t find_either_quote(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\'' || text[i] == '"') return i;
  }
  return not_found;
}

// The first unescaped quote of the given kind at or after from.
std::size_t find_closing_quote(std::string_view text, std::size_t from, char kind) {
  const std::size_t floor = from;  // text[from - 1] is the opening quote
  while (from < text.size()) {
    const std::size_t quote = text.find(kind, from);
    if (quote == not_found) return not_found;
    if (!is_escaped_after(text, floor, quote)) return quote;
    from = quote + 1;
  }
  return not_found;
}

// The first '' or "" in text[from, end) whose first quote is unescaped: an emptied pair.
std::size_t find_emptied_pair(std::string_view text, std::size_t from, std::size_t end) {
  const std::string_view window = text.substr(0, end);
  for (std::size_t i = find_either_quote(window, from); i != not_found && i + 1 < end;
       i = find_either_quote(window, i + 1)) {
    if (text[i + 1] == text[i] && !is_escaped_after(text, from, i)) return i;
  }
  return not_found;
}

}  // namespace

bool is_escaped(std::string_view text, std::size_t position) {
  return is_escaped_after(text, 0, position);
}

std::int32_t extract_strings(std::string& working_text, lifted_strings& protected_strings) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  const std::string_view view(working_text);
  std::size_t write = 0;  // text[0, write) is kept
  std::size_t read = 0;   // text[read, size) is unread and untouched
  std::size_t from = 0;   // where the search for the next opening quote goes on
  while (true) {
    const std::size_t open = find_either_quote(view, from);
    if (open == not_found) break;
    if (is_escaped_after(view, read, open)) {
      from = open + 1;
      continue;
    }
    const std::size_t close = find_closing_quote(view, open + 1, text[open]);
    if (close == not_found) break;  // unterminated: left to compaction as it is
    protected_strings.bytes.append(view.substr(open + 1, close - open - 1));
    protected_strings.ends.push_back(protected_strings.bytes.size());
    // Keep everything up to the opening quote, then the closing quote right after it.
    if (write != read) std::memmove(text + write, text + read, open + 1 - read);
    write += open + 1 - read;
    text[write++] = text[close];
    read = from = close + 1;
  }
  if (write != read) std::memmove(text + write, text + read, size - read);
  working_text.resize(write + (size - read));
  return to_count(protected_strings.size());
}

bool restore_strings(std::string& working_text, const lifted_strings& protected_strings,
                     std::int32_t string_count) {
  if (string_count <= 0) return true;
  const std::size_t entries = static_cast<std::size_t>(string_count);
  if (entries > protected_strings.size()) return false;

  // First make sure every entry has its pair, so that a failure leaves the text as it was.
  // Each search starts just past the previous pair's closing quote: touching pairs ("""")
  // then each get their own entry.
  const std::size_t old_size = working_text.size();
  std::size_t from = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t pair = find_emptied_pair(working_text, from, old_size);
    if (pair == not_found) return false;
    from = pair + 2;
  }

  // Slide the text to the end of the enlarged buffer, then merge forward: the write cursor
  // trails the read cursor by exactly the bytes still to insert, so nothing unread is
  // overwritten.
  const std::size_t inserted = protected_strings.ends[entries - 1];
  working_text.resize(old_size + inserted);
  char* const text = working_text.data();
  const std::string_view view(working_text);
  std::memmove(text + inserted, text, old_size);
  std::size_t read = inserted;
  std::size_t write = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t pair = find_emptied_pair(view, read, view.size());
    std::memmove(text + write, text + read, pair + 1 - read);
    write += pair + 1 - read;
    const std::string_view entry = protected_strings.entry(i);
    std::memcpy(text + write, entry.data(), entry.size());
    write += entry.size();
    text[write++] = text[pair + 1];
    read = pair + 2;
  }
  std::memmove(text + write, text + read, view.size() - read);
  return true;
}
