// The text stages of a minify run in their order, over a loaded stylesheet, with what
// the file's two ends need from them. Prints nothing: the driver reports each count.
#ifndef MINIFIER_MINIFY_TEXT_H_
#define MINIFIER_MINIFY_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

struct minify_counts {
  std::int32_t comment_count = 0;
  std::int32_t string_count = 0;
  std::int32_t removal_count = 0;
  bool line_end_kept = false;  // the final LF loading dropped was put back (one byte more)
  bool refused = false;        // the text holds a NUL byte and was left as it was
};

// How compaction may share its work among threads (compact_text_shared).
struct work_sharing {
  std::size_t pieces = 1;
  std::size_t smallest_piece = 0;
};

// One piece per processor of this machine, none under 4 MiB: below that a thread's start
// costs more than its share saves.
work_sharing sharing_for_this_machine();

// Removes the comments, then compacts, in place; refuses a text holding a NUL byte and
// leaves it untouched (see minify_text.cc). line_end_dropped: loading dropped the
// file's final LF; it is put back where the text ends inside a string or right after an
// unescaped backslash, since a line break there means something. A '@charset "' that the
// text did not begin with never comes to: a space stays before it.
minify_counts minify_text(std::string& working_text, bool line_end_dropped,
                          work_sharing sharing = sharing_for_this_machine());

#endif  // MINIFIER_MINIFY_TEXT_H_
