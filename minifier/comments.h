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

// The positions, in the text as loaded, of the quotes that open and close strings: one bit
// per byte of the text, set where such a quote stands. An eighth of the text whatever the
// quotes, and made and read 64 bytes at a time, where a list of numbers costs a step per
// quote (and four times the text, as 32-bit positions, on a text made only of quotes).
struct quote_list {
  std::vector<std::uint64_t> bits;  // bit k of bits[w] stands for position 64 * w + k
  std::size_t count = 0;

  // Marks a position greater than every one added before.
  void add(std::size_t position);
  // The positions in ascending order: for tests and diagnostics.
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
