// Deletes the /* */ comments of the stylesheet as loaded, except those that open inside a
// quoted string. Which openers lie inside a string is judged on the text as loaded, so
// deleting one comment never changes which of the others counts as inside.
#ifndef MINIFIER_COMMENTS_H_
#define MINIFIER_COMMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Deletes, in place and left to right, the comments CSS reads in the text: outside strings
// (an unescaped quote up to the next one of its kind or line break, or the text's end), an
// unescaped "/*" up to the first "*/" after its '*'. Where the bytes on either side of a
// comment would join into one token or a new opener ("a/*x*/b"), it shrinks to "/**/"
// instead and is not counted. An unclosed comment stays, with all that follows it.
// Returns the number of comments deleted; with ends_open, also whether the text ends
// inside a string or right after an unescaped backslash. Prints nothing. Linear.
std::int32_t remove_comments(std::string& working_text, bool* ends_open = nullptr);

// remove_comments over text[0, size): the bytes kept move to the front, and size becomes
// their number.
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open = nullptr);

#endif  // MINIFIER_COMMENTS_H_
