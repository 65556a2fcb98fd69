// Finds the quoted strings of the stylesheet as loaded and deletes the /* */ comments that
// begin outside them. Strings are judged on the loaded text once, so deleting one comment
// never changes which of the others counts as inside a string.
#ifndef MINIFIER_COMMENTS_H_
#define MINIFIER_COMMENTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads the first loaded_length bytes left to right and returns the positions of the quotes
// that open and close strings, ascending: outside strings and comments an unescaped ' or "
// opens a string that the next unescaped quote of the same kind closes; a quote behind an
// odd number of backslashes is escaped; quotes inside a comment are ordinary bytes. An
// unterminated string leaves its opening quote as the unpaired last entry. Linear.
std::vector<std::int32_t> scan_quotes(std::string_view working_text, std::int32_t loaded_length);

// Deletes, in place, every comment from "/*" through the first "*/" after it whose opener
// lies outside the strings that quote_positions gives (positions in the text as loaded; an
// opener after an unpaired last quote is inside). An unclosed comment stays. After each
// deletion the search resumes one byte before it, so "/" + comment + "*" forms a new opener.
// Returns the number of comments deleted; prints nothing. Linear.
std::int32_t remove_comments(std::string& working_text,
                             const std::vector<std::int32_t>& quote_positions);

#endif  // MINIFIER_COMMENTS_H_
