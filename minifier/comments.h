// Deletes the /* */ comments of the stylesheet as loaded, except those that open inside a
// quoted string. Which openers lie inside a string is judged on the text as loaded, so
// deleting one comment never changes which of the others counts as inside.
#ifndef MINIFIER_COMMENTS_H_
#define MINIFIER_COMMENTS_H_

#include <cstdint>
#include <string>

// Deletes, in place and left to right, every comment from "/*" through the first "*/"
// from its '*' on, whose opener lies outside the strings of the text as loaded (read left
// to right: an unescaped quote opens a string that the next unescaped quote of its kind
// or line break ends; quotes inside comments do not count; after a quote that neither
// ends, everything is inside). An unclosed comment stays, with all that follows it. After
// a deletion, a '/' kept just before it and a '*' just after it open a new comment.
// Returns the number of comments deleted; prints nothing. Linear.
std::int32_t remove_comments(std::string& working_text);

#endif  // MINIFIER_COMMENTS_H_
