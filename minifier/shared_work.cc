// The text stages shared among threads. What compaction does at a byte depends only on the
// bytes near it, on the strings open there and, for a ':', on the first '{', ';' or '}'
// after it; what comment removal does, on the bytes near it, on the strings and the comment
// open there. So a text cut at the right places goes through both, piece by piece, each
// piece alone and all at once, into the same bytes as the whole, and the pieces are then
// put back together. A right place is right before a byte that begins a selector or an
// at-rule (a letter, '.', '#', '@' or '['), when only layout space stands between it and a
// '}' outside strings and comments and unescaped (with comments still in the text, whole
// comments may stand between them too):
//   - that byte is kept, and it deletes nothing before it;
//   - the space before it goes whole either way, since it follows the '}';
//   - the '}' ends the statement, and every ':' before it finds its terminator by then;
//   - no string, escape or comment is open across the cut, and no comment's neighbour
//     lies on its other side.
// Whether a '}' stands outside strings is read from the last line break before it. A
// string ends at a line break that no escape takes, and no escape takes one whose byte
// before is no backslash and no hex digit, so none is open after such a line break. The
// rest of the line then tells. With comments still in the text, that line break must lie
// outside them too, which the comment marks before it tell (comments_closed_before).
// Cuts are looked for near each even share of the text, in a bounded span; where none is
// found the piece before grows instead.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "minifier/compact_text.h"
#include "minifier/shared_work.h"

namespace {

// How far past the even shares, all together, cuts are looked for, and at least how far
// past each. Real stylesheets end a rule every few hundred bytes; a text with no place to
// cut (one long line, say) is read byte by byte no more than about this far.
constexpr std::size_t search_span = std::size_t{1} << 20;
constexpr std::size_t shortest_span = std::size_t{64} << 10;

bool is_layout(char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' '; }

bool is_line_break(char byte) { return byte == '\n' || byte == '\r' || byte == '\f'; }

bool is_hex_digit(char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f') ||
         (byte >= 'A' && byte <= 'F');
}

bool begins_rule(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '.' ||
         byte == '#' || byte == '@' || byte == '[';
}

// Whether no string is open after the line break at text[at]: it is a LF, alone or after a
// CR, and the byte before it is no backslash and no hex digit, so no escape takes it.
bool closes_strings(const char* text, std::size_t at) {
  if (text[at] != '\n') return false;
  const std::size_t begin = at > 0 && text[at - 1] == '\r' ? at - 1 : at;
  return begin == 0 || (text[begin - 1] != '\\' && !is_hex_digit(text[begin - 1]));
}

// Whether text[at] is the '*' of a comment mark: 1 for a "*/" that no '/' before it makes
// a "/*", -1 for a "/*", 0 for neither.
int comment_mark(const char* text, std::size_t size, std::size_t at) {
  if (text[at] != '*') return 0;
  if (at > 0 && text[at - 1] == '/') return -1;
  return at + 1 < size && text[at + 1] == '/' ? 1 : 0;
}

// Whether the last comment mark before `at` (looked for in a short span, byte by byte) is
// a "*/" that no '/' before it makes a "/*". Then every comment that opens before `at` has
// closed by then: its opener lies two bytes or more before that "*/".
bool comments_closed_before(const char* text, std::size_t size, std::size_t at) {
  constexpr std::size_t span = std::size_t{64} << 10;
  const std::size_t lowest = at > span ? at - span : 0;
  while (at > lowest) {
    if (const int mark = comment_mark(text, size, --at); mark != 0) return mark > 0;
  }
  return false;
}

// The first cut in text[from, until), or 0 when there is none. Reads the text left to right
// from a line break that closes every string, tracking quotes, escapes and, with_comments,
// comments; such a line break lies outside comments where the last comment mark before
// it is a "*/" that no '/' before it makes a "/*" (the marks are counted whatever they
// stand in). Until then it knows nothing, nor again after a line break in a string that
// it cannot tell ends it.
std::size_t find_cut(const char* text, std::size_t size, std::size_t from, std::size_t until,
                     bool with_comments) {
  bool closed = !with_comments || comments_closed_before(text, size, from);
  if (!closed) {  // nothing tells before the next "*/"
    from = std::string_view(text, until).find("*/", from);
    if (from == std::string_view::npos) return 0;
  }
  bool known = false;   // the string and comment state is known
  bool in_comment = false;
  char quote = '\0';    // the quote of the open string, or '\0' outside strings
  for (std::size_t at = from; at < until; ++at) {
    const char byte = text[at];
    if (with_comments && byte == '*') {
      if (const int mark = comment_mark(text, size, at); mark != 0) closed = mark > 0;
    }
    if (in_comment) {
      if (byte == '*' && at + 1 < size && text[at + 1] == '/') {
        in_comment = false;
        ++at;
      }
    } else if (is_line_break(byte)) {
      if (known && quote == '\0') continue;  // nothing changes outside strings
      known = closed && closes_strings(text, at);
      quote = '\0';
    } else if (!known) {
      continue;
    } else if (byte == '\\') {
      ++at;  // the byte after it is the escape's (a line break it takes included)
    } else if (quote != '\0') {
      if (byte == quote) quote = '\0';
    } else if (byte == '"' || byte == '\'') {
      quote = byte;
    } else if (with_comments && byte == '/' && at + 1 < size && text[at + 1] == '*') {
      in_comment = true;
      ++at;
    } else if (byte == '}') {
      // Whole comments may stand in the layout space too ("}\n/* Buttons */\n.btn"): none
      // of them can join its neighbours, so each goes whole, as the space does.
      std::size_t next = at + 1;
      while (true) {
        while (next < size && is_layout(text[next])) ++next;
        const bool opens = next + 1 < until && text[next] == '/' && text[next + 1] == '*';
        if (!with_comments || !opens) break;
        const std::size_t closer = std::string_view(text, until).find("*/", next + 2);
        if (closer == std::string_view::npos) break;
        next = closer + 2;
      }
      if (next < size && begins_rule(text[next])) return next;
    }
  }
  return 0;
}

}  // namespace

std::vector<std::size_t> find_cuts(std::string_view text, std::size_t pieces,
                                   std::size_t smallest_piece, bool with_comments) {
  const std::size_t end = text.size();
  const std::size_t span =
      std::max(search_span / std::max<std::size_t>(pieces - 1, 1), shortest_span);
  std::vector<std::size_t> cuts{0};
  for (std::size_t k = 1; k < pieces; ++k) {
    const std::size_t from = std::max(end / pieces * k, cuts.back() + smallest_piece);
    if (from >= end) break;
    const std::size_t at =
        find_cut(text.data(), end, from, std::min(end, from + span), with_comments);
    if (at != 0) cuts.push_back(at);
  }
  return cuts;
}

void share_work(char* text, const std::vector<std::size_t>& cuts, std::size_t threads,
                std::size_t& size,
                const std::function<void(std::size_t, char*, std::size_t&)>& work,
                const std::function<void(std::string_view)>& done_piece) {
  const std::size_t count = cuts.size();
  std::vector<std::size_t> sizes(count);
  for (std::size_t k = 0; k < count; ++k) {
    sizes[k] = (k + 1 < count ? cuts[k + 1] : size) - cuts[k];
  }
  std::vector<std::atomic<bool>> done(count);
  std::atomic<std::size_t> next_piece{0};
  std::mutex turn;
  std::size_t passed_on = 0;  // under turn, as is placed: the pieces moved together at the
  std::size_t placed = 0;     // front, and their length
  // The thread that holds the turn moves every piece that is ready behind those before it
  // and passes it on. One that finds the turn taken goes back to work instead of waiting,
  // and whatever it leaves is taken by the next thread to finish a piece, or by the last
  // pass below. A piece never moves into one after it, which may still be worked on.
  const auto pass_on_ready = [&] {
    const std::unique_lock<std::mutex> mine(turn, std::try_to_lock);
    if (!mine.owns_lock()) return;
    for (; passed_on < count && done[passed_on].load(std::memory_order_acquire); ++passed_on) {
      const std::size_t length = sizes[passed_on];
      if (cuts[passed_on] != placed) std::memmove(text + placed, text + cuts[passed_on], length);
      if (done_piece) done_piece(std::string_view(text + placed, length));
      placed += length;
    }
  };
  const auto run = [&] {
    for (std::size_t k; (k = next_piece.fetch_add(1)) < count;) {
      work(k, text + cuts[k], sizes[k]);
      done[k].store(true, std::memory_order_release);
      pass_on_ready();
    }
  };
  // A thread the system will not start leaves its pieces to the others.
  std::vector<std::thread> helpers;
  helpers.reserve(threads);  // no allocation may fail once a thread runs
  for (std::size_t k = 1; k < std::min(threads, count); ++k) {
    try {
      helpers.emplace_back(run);
    } catch (const std::system_error&) {
      break;
    }
  }
  run();
  for (std::thread& helper : helpers) helper.join();
  pass_on_ready();
  size = placed;
}

namespace {

// Compacts the text on this thread while another hands on what has become final, so that
// a text with no place to cut (one long line) is saved as it is compacted, not after.
// A part is handed on once a step has grown the final text by a step, and a block at the
// least (a write of a few bytes is not worth a wake-up; the first part then always holds
// enough of the text to tell how it begins), and the rest at the end. Nothing is handed on
// before the sweep has deleted a byte, and nothing at all when it deletes none: a text
// that comes out as long as it went in is often not saved, and its copy would be written
// for nothing (an already compact file with one long string in it).
compaction_result compact_handing_on(char* text, std::size_t& size, std::size_t step,
                                     const std::function<void(std::string_view)>& done_piece) {
  constexpr std::size_t smallest_part = 64;
  std::mutex turn;
  std::condition_variable grown;
  std::size_t final_length = 0;  // under turn, as is ended
  bool ended = false;
  const auto hand_on = [&] {
    std::size_t passed_on = 0;
    std::unique_lock<std::mutex> lock(turn);
    while (true) {
      grown.wait(lock, [&] { return final_length > passed_on || ended; });
      const std::size_t length = final_length;
      const bool last = ended;
      lock.unlock();
      if (length > passed_on) done_piece(std::string_view(text + passed_on, length - passed_on));
      passed_on = length;
      if (last) return;
      lock.lock();
    }
  };
  const std::size_t before = size;
  std::thread helper;
  try {
    helper = std::thread(hand_on);
  } catch (const std::system_error&) {  // then all of it at the end, on this thread
    const compaction_result result = compact_bytes(text, size);
    if (size < before) done_piece(std::string_view(text, size));
    return result;
  }
  std::size_t published = 0;
  const compaction_result result =
      compact_bytes(text, size, step, [&](std::size_t length, std::size_t read) {
        if (length == read || length - published < std::max(step, smallest_part)) return;
        published = length;
        const std::lock_guard<std::mutex> lock(turn);
        final_length = length;
        grown.notify_one();
      });
  {
    const std::lock_guard<std::mutex> lock(turn);
    if (published > 0 || size < before) final_length = size;
    ended = true;
    grown.notify_one();
  }
  helper.join();
  return result;
}

}  // namespace

compaction_result compact_text_shared(char* text, std::size_t& size, std::size_t pieces,
                                      std::size_t smallest_piece, std::size_t threads,
                                      const std::function<void(std::string_view)>& done_piece) {
  const std::vector<std::size_t> cuts =
      find_cuts(std::string_view(text, size), pieces, smallest_piece, false);
  if (cuts.size() == 1 && done_piece && threads > 1 && size > smallest_piece) {
    return compact_handing_on(text, size, smallest_piece, done_piece);
  }
  std::vector<compaction_result> results(cuts.size());
  share_work(
      text, cuts, threads, size,
      [&results](std::size_t k, char* bytes, std::size_t& length) {
        results[k] = compact_bytes(bytes, length);
      },
      cuts.size() > 1 ? done_piece : std::function<void(std::string_view)>());
  compaction_result total;
  for (const compaction_result& part : results) {
    total.string_count += part.string_count;
    total.removal_count += part.removal_count;
  }
  return total;
}
