// String lifting and restoration, each a single forward pass over working_text.
//
// Extraction moves the kept bytes forward over the lifted contents (two cursors), and
// restoration first slides the text to the end of its enlarged buffer and then merges the
// entries back in from the front, so neither shifts the rest of the text per string.
#include "minifier/string_protection.h"

#include <cstring>

#include "minifier/byte_search.h"
#include "minifier/text_limits.h"

namespace {

// Finds the quotes of a text left to right, sixteen bytes at a time where SSE2 is there:
// string_protection_bench, best of 5 on 16 MiB, against a byte loop, extract_strings on
// the typical input 1300 -> 2300 MB/s; keeping the last block's matches helps texts dense
// in quotes (only_empty_strings 52 -> 219 MB/s, with find_byte).
using quote_finder = byte_finder<'\'', '"'>;

// The first unescaped quote of the given kind at or after from.
std::size_t find_closing_quote(std::string_view text, std::size_t from, char kind) {
  const std::size_t floor = from;  // text[from - 1] is the opening quote
  while (from < text.size()) {
    const std::size_t quote = find_byte(text, from, kind);
    if (quote == not_found) return not_found;
    if (!is_escaped_after(text, floor, quote)) return quote;
    from = quote + 1;
  }
  return not_found;
}

// The first '' or "" in text[from, end) whose first quote is unescaped: an emptied pair.
std::size_t find_emptied_pair(std::string_view text, std::size_t from, std::size_t end) {
  // Pairs often touch: the one right at from needs no search (nor an escape test, which
  // looks no further back than from).
  const bool quote_at_from = from + 1 < end && (text[from] == '\'' || text[from] == '"');
  if (quote_at_from && text[from + 1] == text[from]) return from;
  quote_finder quotes(text.substr(0, end));
  for (std::size_t i = quotes.find(from); i != not_found && i + 1 < end;
       i = quotes.find(i + 1)) {
    if (text[i + 1] == text[i] && !is_escaped_after(text, from, i)) return i;
  }
  return not_found;
}

// Moves count bytes from source down to destination (destination <= source). Most moves
// between short strings are a few bytes long, where a plain loop beats the call to
// memmove; with the touching-pair shortcut of find_emptied_pair, restore_strings on
// only_empty_strings went from 161 to 251 MB/s (16 MiB, best of 7, side by side).
void move_down(char* destination, const char* source, std::size_t count) {
  if (count > 16) {
    std::memmove(destination, source, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) destination[i] = source[i];
}

}  // namespace

void lifted_strings::append(std::string_view entry) {
  append_varint(records, entry.size());
  records.append(entry);
  ++count;
}

std::string_view lifted_reader::next() {
  const std::size_t length = read_varint(rest_);
  const std::string_view entry = rest_.substr(0, length);
  rest_.remove_prefix(length);
  return entry;
}

bool is_escaped(std::string_view text, std::size_t position) {
  return is_escaped_after(text, 0, position);
}

std::int32_t extract_strings(std::string& working_text, lifted_strings& protected_strings) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  const std::string_view view(working_text);
  // The records never outgrow the text (plus three bytes per 16 KiB string), so one
  // reservation spares the copies and the doubled peak of a growing buffer; the pages
  // reserved but never written cost no memory. On a 100 MB file of '' the whole run's
  // peak went from 1016 MB (an offset per entry, in a growing vector) to under 200 MB.
  protected_strings.records.reserve(protected_strings.records.size() + size + size / 4096 + 8);
  std::size_t write = 0;  // text[0, write) is kept
  std::size_t read = 0;   // text[read, size) is unread and untouched
  std::size_t from = 0;   // where the search for the next opening quote goes on
  // The finder only ever looks at unread bytes, which the moves below never touch.
  quote_finder quotes(view);
  while (true) {
    const std::size_t open = quotes.find(from);
    if (open == not_found) break;
    if (is_escaped_after(view, read, open)) {
      from = open + 1;
      continue;
    }
    const std::size_t close = find_closing_quote(view, open + 1, text[open]);
    if (close == not_found) break;  // unterminated: left to compaction as it is
    protected_strings.append(view.substr(open + 1, close - open - 1));
    // Keep everything up to the opening quote, then the closing quote right after it.
    if (write != read) move_down(text + write, text + read, open + 1 - read);
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

  // First make sure every entry has its pair, so that a failure leaves the text as it was,
  // and add up the bytes to insert. Each search starts just past the previous pair's
  // closing quote: touching pairs ("""") then each get their own entry.
  const std::size_t old_size = working_text.size();
  std::size_t from = 0;
  std::size_t inserted = 0;
  lifted_reader sizes(protected_strings);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t pair = find_emptied_pair(working_text, from, old_size);
    if (pair == not_found) return false;
    from = pair + 2;
    inserted += sizes.next().size();
  }

  // Slide the text to the end of the enlarged buffer, then merge forward: the write cursor
  // trails the read cursor by exactly the bytes still to insert, so nothing unread is
  // overwritten.
  working_text.resize(old_size + inserted);
  char* const text = working_text.data();
  const std::string_view view(working_text);
  std::memmove(text + inserted, text, old_size);
  std::size_t read = inserted;
  std::size_t write = 0;
  lifted_reader reader(protected_strings);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t pair = find_emptied_pair(view, read, view.size());
    move_down(text + write, text + read, pair + 1 - read);
    write += pair + 1 - read;
    const std::string_view entry = reader.next();
    std::memcpy(text + write, entry.data(), entry.size());
    write += entry.size();
    text[write++] = text[pair + 1];
    read = pair + 2;
  }
  std::memmove(text + write, text + read, view.size() - read);
  return true;
}
