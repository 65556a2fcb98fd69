// Finds the quoted strings of the stylesheet as loaded and deletes the /* */ comments that
// begin outside them. Strings are judged on the loaded text once, so deleting one comment
// never changes which of the others counts as inside a string.
#ifndef MINIFIER_COMMENTS_H_
#define MINIFIER_COMMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The positions, in the text as loaded, of the quotes that open and close strings, in
// ascending order. Each is kept as its distance from the byte after the one before, in a
// variable number of bytes (seven bits per byte, low bits first, the high bit set on every
// byte but the last): real stylesheets hold few quotes, so the list is a small part of
// the text, and one made only of quotes costs a byte per quote, where 32-bit positions
// would cost four times the text.
struct quote_list {
  std::string gaps;
  std::size_t count = 0;
  std::size_t next_free = 0;  // one past the last position added

  // Appends a position greater than every one added before.
  void add(std::size_t position);
  // The positions as plain numbers: for tests and diagnostics.
  std::vector<std::int32_t> list() const;
  // The list of distinct non-negative positions given in ascending order.
  static quote_list from_list(const std::vector<std::int32_t>& positions);
};

// Reads the first loaded_length bytes left to right and returns the positions of the quotes
// that open and close strings: outside strings and comments an unescaped ' or " opens a
// string that the next unescaped quote of the same kind closes; a quote behind an odd
// number of backslashes is escaped; quotes inside a comment are ordinary bytes. An
// unterminated string leaves its opening quote as the unpaired last entry. Linear.
quote_list scan_quotes(std::string_view working_text, std::int32_t loaded_length);

// Deletes, in place, every comment from "/*" through the first "*/" after it whose opener
// lies outside the strings that quote_positions gives (positions in the text as loaded; an
// opener after an unpaired last quote is inside). An unclosed comment stays. After each
// deletion the search resumes one byte before it, so "/" + comment + "*" forms a new opener.
// Returns the number of comments deleted; prints nothing. Linear.
std::int32_t remove_comments(std::string& working_text, const quote_list& quote_positions);

#endif  // MINIFIER_COMMENTS_H_
