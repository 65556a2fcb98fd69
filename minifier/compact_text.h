// Deletes redundant layout space and semicolons from working_text in place. It never
// inserts a byte and never deletes anything but TAB, LF, CR, SPACE and ';', so quotes and
// the emptied string pairs survive for restoration.
#ifndef MINIFIER_COMPACT_TEXT_H_
#define MINIFIER_COMPACT_TEXT_H_

#include <cstdint>
#include <string>

// Deletes, until none is left: layout space that is doubled, at either end of the text, or
// next to one of ; : { } ( ) , / ; a ';' before '}' and a ';' after ';'. A run of layout
// space between two other bytes keeps its last byte. Where CSS reads the space as a
// separator it stays: before '(', after ')', and before a ':' whose first '{', ';' or '}'
// after it is '{' (".a :hover", "and (", "...(2n) td"). Returns the number of bytes
// deleted; prints nothing. Linear in the length of the text.
std::int32_t compact_text(std::string& working_text);

// The byte classes the rules use.
constexpr bool is_layout_space(unsigned char byte) {
  return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}
constexpr bool is_tight_delimiter(unsigned char byte) {
  return byte == ';' || byte == ':' || byte == '{' || byte == '}' || byte == '(' ||
         byte == ')' || byte == ',' || byte == '/';
}

#endif  // MINIFIER_COMPACT_TEXT_H_
