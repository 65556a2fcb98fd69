// The text stages of a minify run in their order, over a loaded stylesheet, with what
// the file's two ends need from them. Prints nothing: the driver reports each count.
#ifndef MINIFIER_MINIFY_TEXT_H_
#define MINIFIER_MINIFY_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct minify_counts {
  std::int32_t comment_count = 0;
  std::int32_t string_count = 0;
  std::int32_t removal_count = 0;
  bool line_end_kept = false;  // the final LF loading dropped was put back (one byte more)
  bool refused = false;        // the text holds a NUL byte and was left as it was
};

// How the stages may share their work among threads: the text cut into up to `pieces`
// pieces of at least smallest_piece bytes, on up to `threads` threads.
struct work_sharing {
  std::size_t pieces = 1;
  std::size_t smallest_piece = 0;
  std::size_t threads = 1;
};

// A thread per processor of this machine, and four pieces a thread (at least 16) of 4 MiB
// or more: below that a thread's start costs more than its share saves. More pieces than
// threads let the first pieces be saved while the last are still worked on.
work_sharing sharing_for_this_machine();

// Removes the comments, then compacts, in place; refuses a text holding a NUL byte and
// leaves it untouched (see minify_text.cc). line_end_dropped: loading dropped the
// file's final LF; it is put back where the text ends inside a string or right after an
// unescaped backslash, since a line break there means something. A '@charset "' that the
// text did not begin with never comes to: a space stays before it.
// For a text cut into pieces, or still longer than sharing.smallest_piece once its comments
// are gone and losing a byte to compaction, with more than one thread, final_parts (when
// given) gets the text the run ends with, part after part in its order, each as soon as it
// is final, one call at a time on any of the threads; it must not throw. Any other text,
// or one refused, never reaches it: working_text alone holds the result then, as it always
// does at the end.
minify_counts minify_text(std::string& working_text, bool line_end_dropped,
                          work_sharing sharing = sharing_for_this_machine(),
                          const std::function<void(std::string_view)>& final_parts = {});

#endif  // MINIFIER_MINIFY_TEXT_H_
