// Deletes redundant layout space and semicolons from working_text in place, outside quoted
// strings. It never inserts a byte and never deletes anything but TAB, LF, CR, SPACE and
// ';', and never one inside a string.
#ifndef MINIFIER_COMPACT_TEXT_H_
#define MINIFIER_COMPACT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct compaction_result {
  std::int32_t string_count = 0;   // complete strings, whose contents were left alone
  std::int32_t removal_count = 0;  // bytes deleted
};

// Finds the strings left to right (an unescaped ' or " up to the next unescaped quote of
// the same kind or line break; an unterminated quote protects nothing, nor anything after
// it) and, outside them, deletes until none is left: layout space that is doubled, at
// either end of the text, or next to one of ; : { } ( ) , / ; a ';' before '}' and a ';'
// after ';'. A run of layout space between two other bytes keeps its last byte. Where CSS
// reads the space as a separator it stays: before '(', after ')', before a ':' whose first
// '{', ';' or '}' after it, outside strings and unescaped, is '{' (".a :hover", "and (",
// "...(2n) td"), and between '/' and '*'. Bytes CSS reads as part of a name or of an
// escape stay as they are and count as no delimiter or ';': the byte after a backslash, the
// layout byte after a backslash and one to six hex digits, and the line break that ends a
// string. Prints nothing. Linear in the length of the text.
compaction_result compact_text(std::string& working_text);

// compact_text over text[0, size): the bytes kept move to the front, and size becomes
// their number.
compaction_result compact_bytes(char* text, std::size_t& size);

// compact_bytes that, after each `step` bytes read, calls finished(n, r): text[0, n) has
// become final (the sweep never writes there again), and is what text[0, r) came to.
// Called on this thread.
compaction_result compact_bytes(char* text, std::size_t& size, std::size_t step,
                                const std::function<void(std::size_t, std::size_t)>& finished);

// compact_bytes with the work cut into up to `pieces` pieces, each at least smallest_piece
// bytes long, shared among up to `threads` threads. The text is cut only where each piece
// compacts alone exactly as it does inside the whole (see shared_work.cc); where no such
// place is near enough, fewer pieces are made, down to one. The result is compact_bytes's,
// byte for byte. done_piece (when given) gets the text as it becomes final, part after
// part, one call at a time: the pieces of a cut text as share_work hands them on
// (shared_work.h); a text left whole but longer than smallest_piece, with more than one
// thread, from a second thread while the first compacts it, from the first part that has
// lost a byte on. A text of one smallest piece or less, or one left whole that loses no
// byte, never reaches it.
compaction_result compact_text_shared(
    char* text, std::size_t& size, std::size_t pieces, std::size_t smallest_piece,
    std::size_t threads, const std::function<void(std::string_view)>& done_piece = {});

#endif  // MINIFIER_COMPACT_TEXT_H_
