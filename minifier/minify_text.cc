#include "minifier/minify_text.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <thread>

#include "minifier/comments.h"
#include "minifier/compact_text.h"

work_sharing sharing_for_this_machine() {
  return {std::max(1u, std::thread::hardware_concurrency()), std::size_t{4} << 20};
}

minify_counts minify_text(std::string& working_text, bool line_end_dropped,
                          work_sharing sharing) {
  // The one encoding label a browser reads, and only at the very first byte.
  constexpr std::string_view charset = "@charset \"";
  const bool began_with_charset = working_text.starts_with(charset);
  minify_counts counts;
  // The verb is on every file type, so a mis-click can load an image, an archive or UTF-16
  // text, which compaction would ruin in place. Stylesheets never hold a NUL byte; those
  // files nearly always do. No other test: the bytes of a stylesheet are otherwise free.
  if (std::memchr(working_text.data(), '\0', working_text.size()) != nullptr) {
    counts.refused = true;
    return counts;
  }
  bool ends_open = false;
  counts.comment_count = remove_comments(working_text, line_end_dropped ? &ends_open : nullptr);
  const bool charset_after_comments = working_text.starts_with(charset);
  if (line_end_dropped && ends_open) {
    working_text += '\n';
    counts.line_end_kept = true;
  }
  const compaction_result compaction =
      compact_text_shared(working_text, sharing.pieces, sharing.smallest_piece);
  counts.string_count = compaction.string_count;
  counts.removal_count = compaction.removal_count;
  if (!began_with_charset && working_text.starts_with(charset)) {
    working_text.insert(0, 1, ' ');
    // The space stands in for one of the layout bytes compaction took from before the label,
    // so a second run over the output reports nothing removed.
    if (!charset_after_comments) counts.removal_count -= 1;
  }
  return counts;
}
