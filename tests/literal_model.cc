// Step-by-step models of the text stages: erase, insert and search on std::string, one step
// at a time, in the order the stage rules give. Slow on purpose; the only goal is to be
// plainly right so that the fast stages can be compared with it on many inputs.
#include "tests/literal_model.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <numeric>

namespace literal_model {
namespace {

constexpr std::size_t not_found = std::string::npos;

// Spelled out here again rather than taken from the fast code, so that a slip in the
// shared byte classes cannot hide from the comparison.
bool is_layout_space(char byte) {
  return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

bool is_tight_delimiter(char byte) {
  return byte == ';' || byte == ':' || byte == '{' || byte == '}' || byte == '(' ||
         byte == ')' || byte == ',' || byte == '/';
}

bool is_quote(char byte) { return byte == '\'' || byte == '"'; }

bool is_line_break(char byte) { return byte == '\n' || byte == '\r' || byte == '\f'; }

bool is_hex_digit(char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f') ||
         (byte >= 'A' && byte <= 'F');
}

// What CSS takes for whitespace: layout space and FF.
bool is_css_space(char byte) { return is_layout_space(byte) || byte == '\f'; }

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// A byte that may go on a name or a number: letters, digits, '_', '-', a backslash (it
// starts an escape) and every byte from 0x80 up.
bool is_name_byte(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || is_digit(byte) ||
         byte == '_' || byte == '-' || byte == '\\' || value >= 0x80;
}

bool is_one_of(char byte, const char* bytes) {
  return byte != '\0' && std::strchr(bytes, byte) != nullptr;
}

// An odd number of consecutive backslashes directly before position.
bool is_escaped(const std::string& text, std::size_t position) {
  std::size_t backslashes = 0;
  while (backslashes < position && text[position - 1 - backslashes] == '\\') ++backslashes;
  return backslashes % 2 == 1;
}

// The byte at p is a hex escape's last digit: one of one to six hex digits right after an
// unescaped backslash.
bool ends_hex_digits(const std::string& text, std::size_t p) {
  for (std::size_t k = 0; k < 6 && k < p && is_hex_digit(text[p - k]); ++k) {
    if (text[p - k - 1] == '\\' && !is_escaped(text, p - k - 1)) return true;
  }
  return false;
}

// The byte at p is the whitespace that ends a hex escape (a CR LF counts as one).
bool ends_hex_escape(const std::string& text, std::size_t p) {
  if (!is_css_space(text[p]) || p == 0) return false;
  if (ends_hex_digits(text, p - 1)) return true;
  return text[p] == '\n' && p >= 2 && text[p - 1] == '\r' && ends_hex_digits(text, p - 2);
}

// Whether the byte at p of the loaded text, the last one kept before a comment, and the
// byte after the comment would read as one token, or as a new comment opener, once the
// comment between them is gone. The byte before is read as it stands in the loaded text.
bool would_join(const std::string& loaded, std::size_t p, char after) {
  const char before = loaded[p];
  const bool name_before =
      is_name_byte(before) || is_escaped(loaded, p) || ends_hex_escape(loaded, p);
  if (name_before && (is_name_byte(after) || after == '(')) return true;
  if (ends_hex_digits(loaded, p) && is_css_space(after)) return true;
  if (is_digit(before) && (after == '%' || after == '.')) return true;
  if (is_one_of(before, "@#") && is_name_byte(after)) return true;
  if (is_one_of(before, "+-.") && is_digit(after)) return true;
  if (is_one_of(before, "+-") && after == '.') return true;
  if (is_one_of(before, "~|^$*") && after == '=') return true;
  if (is_one_of(before, "uUeE") && after == '+') return true;
  return (before == '/' && after == '*') || (before == '|' && after == '|') ||
         (before == '<' && after == '!') || (before == '!' && after == '-') ||
         (before == '-' && (after == '-' || after == '>'));
}

// The first occurrence of needle at or after from whose first byte is not escaped.
std::size_t find_unescaped(const std::string& text, const std::string& needle,
                           std::size_t from) {
  std::size_t found = text.find(needle, from);
  while (found != not_found && is_escaped(text, found)) found = text.find(needle, found + 1);
  return found;
}

// Where the string of the given kind whose contents begin at from ends: at the first
// quote of its kind, or, with css_safe, at the first line break, neither escaped. Read left
// to right: a backslash escapes the byte after it, and both bytes of a CR LF. not_found
// when the text ends first.
std::size_t find_string_end(const std::string& text, char kind, std::size_t from,
                            rule_set rules) {
  if (rules != rule_set::css_safe) return find_unescaped(text, std::string(1, kind), from);
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && is_hex_digit(text[i + 1])) {
      // A hex escape: up to six digits and one whitespace byte after them (CR LF as one),
      // which is the escape's own and ends no string.
      std::size_t digits = 0;
      while (digits < 6 && i + 1 + digits < text.size() && is_hex_digit(text[i + 1 + digits])) {
        ++digits;
      }
      i += digits;
      if (i + 1 < text.size() && is_css_space(text[i + 1])) {
        i += text.compare(i + 1, 2, "\r\n") == 0 ? 2 : 1;
      }
    } else if (text[i] == '\\') {
      i += text.compare(i + 1, 2, "\r\n") == 0 ? 2 : 1;
    } else if (text[i] == kind || is_line_break(text[i])) {
      return i;
    }
  }
  return not_found;
}

// The nearest string at or after from that extraction emptied: a pair of quotes, or a
// quote and the line break that ended its string. Neither quote is escaped.
std::size_t find_emptied_string(const std::string& text, std::size_t from, rule_set rules) {
  std::size_t nearest =
      std::min(find_unescaped(text, "''", from), find_unescaped(text, "\"\"", from));
  if (rules == rule_set::css_safe) {
    for (const char quote : {'\'', '"'}) {
      for (const char line_break : {'\n', '\r', '\f'}) {
        nearest = std::min(nearest, find_unescaped(text, {quote, line_break}, from));
      }
    }
  }
  return nearest;
}

// A byte that compaction keeps as it is and that counts as no delimiter, space or ';' to
// the bytes beside it, in a text whose strings are emptied (css_safe only):
//  - the byte after a backslash that is not itself escaped: CSS reads it as part of a name;
//  - the layout byte right after a backslash and one to six hex digits: it ends the escape;
//  - a line break right after a quote that opens a string: it ended that string. Quotes of
//    a kind that stand together pair up from the left, so the quote before it opens one
//    when an odd number of unescaped quotes of its kind stand together there.
bool is_kept_as_is(const std::string& text, std::size_t m) {
  if (is_escaped(text, m)) return true;
  if (is_layout_space(text[m]) && m > 0 && ends_hex_digits(text, m - 1)) return true;
  if ((text[m] == '\n' || text[m] == '\r') && m > 0 && is_quote(text[m - 1])) {
    std::size_t quotes = 0;
    while (quotes < m && text[m - 1 - quotes] == text[m - 1] && !is_escaped(text, m - 1 - quotes)) {
      ++quotes;
    }
    if (quotes % 2 == 1) return true;
  }
  return false;
}

// Inside a pair (a, b) with a < p < b, or after the unpaired last quote (an unterminated
// string runs to the end of the text).
bool is_inside_string(std::int32_t position, const std::vector<std::int32_t>& quote_positions) {
  const std::size_t size = quote_positions.size();
  for (std::size_t k = 0; k + 1 < size; k += 2) {
    if (quote_positions[k] < position && position < quote_positions[k + 1]) return true;
  }
  return size % 2 == 1 && position > quote_positions[size - 1];
}

// A ':' at colon whose first '{', ';' or '}' after it, unescaped with css_safe, is '{': it
// stands in a selector or an at-rule's prelude, where a space before it separates
// (".a :hover").
bool is_selector_colon(const std::string& text, std::size_t colon, rule_set rules) {
  std::size_t terminator = text.find_first_of("{;}", colon + 1);
  while (rules == rule_set::css_safe && terminator != not_found && is_escaped(text, terminator)) {
    terminator = text.find_first_of("{;}", terminator + 1);
  }
  return terminator != not_found && text[terminator] == '{';
}

// Whether layout space after the byte at previous may go before the byte at next: CSS
// reads the space after ')' as a separator ("...) td"), and so the space after a kept
// comment's closer (a comment stays only between bytes that would join), and "/*" would
// open a comment.
bool pulls_space_after(const std::string& text, std::size_t previous, std::size_t next,
                       rule_set rules, bool closes_comment) {
  if (rules != rule_set::byte_only && text[previous] == ')') return false;
  if (rules == rule_set::css_safe) {
    if (is_kept_as_is(text, previous) || closes_comment) return false;
    if (text[previous] == '/' && next < text.size() && text[next] == '*') return false;
  }
  return is_tight_delimiter(text[previous]);
}

// Whether layout space before the byte at next may go: CSS reads the space before '(' as
// a separator ("and (", "- ("), and so the space before a selector's ':'.
bool pulls_space_before(const std::string& text, std::size_t next, rule_set rules) {
  if (rules != rule_set::byte_only) {
    if (text[next] == '(') return false;
    if (text[next] == ':' && is_selector_colon(text, next, rules)) return false;
  }
  return is_tight_delimiter(text[next]);
}

// The ';' at m may end an at-rule without a block: the statement it ends, from the last
// '{', '}' or ';' before it (neither escaped), holds an unescaped '@'. An at-rule begins
// with one; a statement that only holds one elsewhere keeps its ';' too, which is harmless.
bool ends_statement_at_rule(const std::string& text, std::size_t m) {
  for (std::size_t i = m; i > 0 && !(is_one_of(text[i - 1], "{};") && !is_kept_as_is(text, i - 1));
       --i) {
    if (text[i - 1] == '@' && !is_kept_as_is(text, i - 1)) return true;
  }
  return false;
}

// The seven removal rules for the byte at m of the current text; previous_closes: the byte
// before m is the '/' of a "*/" that compaction was given.
bool removal_rule_holds(const std::string& text, std::size_t m, rule_set rules,
                        bool previous_closes) {
  const std::size_t length = text.size();
  const char byte = text[m];
  const bool has_previous = m > 0;
  const bool has_next = m + 1 < length;
  if (rules == rule_set::css_safe && is_kept_as_is(text, m)) return false;
  if (is_layout_space(byte)) {
    if (has_next && is_layout_space(text[m + 1])) return true;                  // rule 1
    if (m == length - 1) return true;                                            // rule 2
    if (m == 0) return true;                                                     // rule 3
    if (has_previous && pulls_space_after(text, m - 1, m + 1, rules, previous_closes)) {
      return true;  // rule 4
    }
    if (has_next && pulls_space_before(text, m + 1, rules)) return true;         // rule 5
  }
  if (byte == ';') {
    // The ';' that ends an at-rule without a block stays, and so does a ';' right after it,
    // which starts a rule that CSS drops.
    const bool safe = rules == rule_set::css_safe;
    if (safe && ends_statement_at_rule(text, m)) return false;
    if (has_next && text[m + 1] == '}') return true;  // rule 6
    if (has_previous && text[m - 1] == ';' &&
        !(safe && (is_kept_as_is(text, m - 1) || ends_statement_at_rule(text, m - 1)))) {
      return true;  // rule 7
    }
  }
  return false;
}

// The comments CSS sees in the text, left to right: outside strings, an unescaped "/*" up
// to the first "*/" after its asterisk. Each goes, or shrinks to "/**/" where the bytes
// on either side would otherwise join; only those that go are counted. An unclosed one
// stays, with everything after it.
std::int32_t remove_comments_as_css_reads_them(std::string& text) {
  std::string kept;
  std::size_t last_kept = not_found;  // where the last byte kept stood in text
  std::int32_t count = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (is_quote(text[i]) && !is_escaped(text, i)) {
      const std::size_t end = find_string_end(text, text[i], i + 1, rule_set::css_safe);
      const std::size_t next = end == not_found ? text.size() : end + 1;
      kept.append(text, i, next - i);
      last_kept = next - 1;
      i = next;
    } else if (text.compare(i, 2, "/*") == 0 && !is_escaped(text, i) &&
               text.find("*/", i + 2) != not_found) {
      const std::size_t after = text.find("*/", i + 2) + 2;
      if (after < text.size() && last_kept != not_found && would_join(text, last_kept, text[after])) {
        kept += "/**/";
        last_kept = after - 1;
      } else {
        count += 1;
      }
      i = after;
    } else if (text.compare(i, 2, "/*") == 0 && !is_escaped(text, i)) {
      kept.append(text, i);  // unclosed
      i = text.size();
    } else {
      kept += text[i];
      last_kept = i;
      i += 1;
    }
  }
  text = kept;
  return count;
}

}  // namespace

std::vector<std::int32_t> scan_quotes(const std::string& text, std::int32_t loaded_length,
                                      rule_set rules) {
  std::vector<std::int32_t> quote_positions;
  if (loaded_length <= 0) return quote_positions;
  const std::string loaded =
      text.substr(0, std::min(text.size(), static_cast<std::size_t>(loaded_length)));

  bool in_string = false;
  char kind = 0;
  std::size_t i = 0;
  while (i < loaded.size()) {
    const char byte = loaded[i];
    if (in_string) {
      // Only the same kind or a line break ends it; the other kind and "/*" are contents.
      const std::size_t end = find_string_end(loaded, kind, i, rules);
      if (end == not_found) break;
      quote_positions.push_back(static_cast<std::int32_t>(end));
      in_string = false;
      i = end + 1;
    } else if (byte == '/' && i + 1 < loaded.size() && loaded[i + 1] == '*' &&
               !(rules == rule_set::css_safe && is_escaped(loaded, i))) {
      // A comment: everything inside is ordinary bytes; an unclosed one runs to the end.
      // CSS looks for its closer past the opener's asterisk, the old rules from it on.
      const std::size_t closer = loaded.find("*/", rules == rule_set::css_safe ? i + 2 : i + 1);
      if (closer == not_found) break;
      i = closer + 2;
    } else if (is_quote(byte) && !is_escaped(loaded, i)) {
      quote_positions.push_back(static_cast<std::int32_t>(i));
      in_string = true;
      kind = byte;
      i += 1;
    } else {
      i += 1;
    }
  }
  return quote_positions;
}

std::int32_t remove_comments(std::string& text, const std::vector<std::int32_t>& quote_positions,
                             rule_set rules) {
  if (rules == rule_set::css_safe) return remove_comments_as_css_reads_them(text);
  // loaded_position[j] is where the byte now at j stood in the loaded text; it is erased
  // together with the text so the two always line up.
  std::vector<std::int32_t> loaded_position(text.size());
  std::iota(loaded_position.begin(), loaded_position.end(), 0);

  std::int32_t count = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t opener = text.find("/*", start);
    if (opener == not_found) break;
    const std::size_t closer = text.find("*/", opener);
    if (closer == not_found) break;
    if (is_inside_string(loaded_position[opener], quote_positions)) {
      start = opener + 1;
      continue;
    }
    const std::size_t length = closer - opener + 2;
    text.erase(opener, length);
    loaded_position.erase(loaded_position.begin() + static_cast<std::ptrdiff_t>(opener),
                          loaded_position.begin() + static_cast<std::ptrdiff_t>(opener + length));
    count += 1;
    start = opener == 0 ? 0 : opener - 1;
  }
  return count;
}

std::int32_t extract_strings(std::string& text, std::vector<std::string>& protected_strings,
                             rule_set rules) {
  std::int32_t count = 0;
  std::size_t s = 0;
  while (true) {
    // Seeking an opening quote.
    const std::size_t apostrophe = find_unescaped(text, "'", s);
    const std::size_t double_quote = find_unescaped(text, "\"", s);
    if (apostrophe == not_found && double_quote == not_found) break;
    const std::size_t o = std::min(apostrophe, double_quote);
    s = o + 1;

    // Seeking the end of the string: the closing quote of that kind, or a line break.
    std::size_t c = find_string_end(text, text[o], s, rules);
    if (c == not_found && rules != rule_set::css_safe) break;
    if (c == not_found) c = text.size();  // the end of the text closes it
    protected_strings.push_back(text.substr(s, c - s));
    text.erase(s, c - s);
    count += 1;
    s = s + 1;
  }
  return count;
}

bool restore_strings(std::string& text, const std::vector<std::string>& protected_strings,
                     std::int32_t string_count, rule_set rules) {
  // Worked on a copy so that a failing step leaves the caller's text as it was.
  std::string work = text;
  std::size_t n = 0;
  for (std::int32_t m = 0; m < string_count; ++m) {
    if (static_cast<std::size_t>(m) >= protected_strings.size()) return false;  // no entry m
    const std::string& entry = protected_strings[static_cast<std::size_t>(m)];
    std::size_t p = find_emptied_string(work, n, rules);
    // The last string may be one the end of the text closed: a lone quote, last of all.
    if (p == not_found && rules == rule_set::css_safe && m + 1 == string_count &&
        work.size() > n && is_quote(work.back())) {
      p = work.size() - 1;
    }
    if (p == not_found) return false;
    work.insert(p + 1, entry);
    n = p + 2 + entry.size();  // past its end: touching pairs each get their own
  }
  text = work;
  return true;
}

std::int32_t compact_text(std::string& text, rule_set rules) {
  // The LF of a CR LF that ends a hex escape is the escape's too, and a '/' after a '*'
  // closes a comment: only those that stood so before any deletion, as deletions may bring
  // a CR and a LF, or a '*' and a '/', together.
  std::vector<bool> pinned(text.size());
  std::vector<bool> closes(text.size());
  for (std::size_t m = 1; rules == rule_set::css_safe && m < text.size(); ++m) {
    pinned[m] = m >= 2 && text[m] == '\n' && text[m - 1] == '\r' && ends_hex_digits(text, m - 2);
    closes[m] = text[m] == '/' && text[m - 1] == '*';
  }
  std::int32_t count = 0;
  while (true) {
    const std::size_t starting_length = text.size();
    std::size_t m = 0;
    while (m < text.size()) {
      if (!pinned[m] && removal_rule_holds(text, m, rules, m > 0 && closes[m - 1])) {
        text.erase(m, 1);  // the byte that moves in is examined next, m unchanged
        pinned.erase(pinned.begin() + static_cast<std::ptrdiff_t>(m));
        closes.erase(closes.begin() + static_cast<std::ptrdiff_t>(m));
        count += 1;
      } else {
        m += 1;
      }
    }
    if (text.size() == starting_length) break;
  }
  return count;
}

bool ends_open(const std::string& text) {
  return scan_quotes(text, static_cast<std::int32_t>(text.size())).size() % 2 == 1 ||
         is_escaped(text, text.size());
}

pipeline_result run_pipeline(const std::string& loaded_text, rule_set rules,
                             bool line_end_dropped) {
  pipeline_result result;
  if (loaded_text.find('\0') != std::string::npos) {
    result.refused = true;
    result.final_text = loaded_text;
    return result;
  }
  std::string text = loaded_text;
  if (rules == rule_set::css_safe && line_end_dropped && ends_open(text)) {
    text += '\n';
    result.line_end_kept = true;
  }
  const std::vector<std::int32_t> quote_positions =
      scan_quotes(text, static_cast<std::int32_t>(text.size()), rules);
  result.comment_count = remove_comments(text, quote_positions, rules);
  std::vector<std::string> protected_strings;
  result.string_count = extract_strings(text, protected_strings, rules);
  const bool charset_after_comments = text.starts_with("@charset \"");
  result.removal_count = compact_text(text, rules);
  result.restored = restore_strings(text, protected_strings, result.string_count, rules);
  // A '@charset' counts only at the first byte: one that did not stand there never comes to.
  const std::string charset = "@charset \"";
  if (rules == rule_set::css_safe && text.starts_with(charset) && !loaded_text.starts_with(charset)) {
    text.insert(0, 1, ' ');  // in place of a layout byte compaction removed, if any
    if (!charset_after_comments) result.removal_count -= 1;
  }
  result.final_text = text;
  return result;
}

}  // namespace literal_model
