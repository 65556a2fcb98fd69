#include "minifier/minify_text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <thread>
#include <vector>

#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/shared_work.h"

work_sharing sharing_for_this_machine() {
  const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
  return {std::max<std::size_t>(16, 4 * threads), std::size_t{4} << 20, threads};
}

minify_counts minify_text(std::string& working_text, bool line_end_dropped,
                          work_sharing sharing,
                          const std::function<void(std::string_view)>& final_parts) {
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
  bool charset_after_comments = false;
  // The first part alone tells whether the label came to the front: it ends with the '}'
  // before the first cut, which the label does not hold.
  bool first_part = true;
  const auto pass_on = [&](std::string_view part) {
    if (first_part && !began_with_charset && part.starts_with(charset)) final_parts(" ");
    first_part = false;
    final_parts(part);
  };
  const std::function<void(std::string_view)> hand_on =
      final_parts ? std::function<void(std::string_view)>(pass_on)
                  : std::function<void(std::string_view)>();
  // A large text is cut for both stages at once where no comment can be open across a cut.
  // Where it cannot be, comments go in one piece and compaction looks for cuts of its own
  // in what is left; its pieces, or its text as it goes where it finds none, are then
  // handed on instead, as they become final.
  const std::vector<std::size_t> cuts =
      find_cuts(working_text, sharing.pieces, sharing.smallest_piece, true);
  std::vector<minify_counts> parts(cuts.size());
  std::size_t size = working_text.size();
  if (line_end_dropped) working_text.push_back('\n');  // room for the one it may put back
  const auto minify_piece = [&](std::size_t k, char* bytes, std::size_t& length) {
    const bool last = k + 1 == cuts.size();
    parts[k].comment_count =
        remove_comment_bytes(bytes, length, last && line_end_dropped ? &ends_open : nullptr);
    if (k == 0) charset_after_comments = std::string_view(bytes, length).starts_with(charset);
    if (last && ends_open) bytes[length++] = '\n';
    const compaction_result compaction =
        cuts.size() > 1
            ? compact_bytes(bytes, length)
            : compact_text_shared(bytes, length, sharing.pieces, sharing.smallest_piece,
                                  sharing.threads, hand_on);
    parts[k].string_count = compaction.string_count;
    parts[k].removal_count = compaction.removal_count;
  };
  share_work(working_text.data(), cuts, sharing.threads, size, minify_piece,
             cuts.size() > 1 ? hand_on : std::function<void(std::string_view)>());
  working_text.resize(size);
  for (const minify_counts& part : parts) {
    counts.comment_count += part.comment_count;
    counts.string_count += part.string_count;
    counts.removal_count += part.removal_count;
  }
  counts.line_end_kept = ends_open;
  if (!began_with_charset && working_text.starts_with(charset)) {
    working_text.insert(0, 1, ' ');
    // The space stands in for one of the layout bytes compaction took from before the label,
    // so a second run over the output reports nothing removed.
    if (!charset_after_comments) counts.removal_count -= 1;
  }
  return counts;
}
