// Comment removal in one left-to-right pass, 64 bytes at a time.
//
// Two readings go side by side. The quote reading follows the text as loaded and tells
// whether a byte lies inside a string. The deletion finds each opener in the text as it
// is being shortened: past the bytes it has kept, that text is still the loaded text, so
// its openers are the loaded ones, except that a kept '/' and the '*' after a deleted
// comment form one more. Kept bytes are moved forward over deleted ones (two cursors), a
// stretch at a time, so a file of many comments stays linear.
#include "minifier/comments.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "minifier/bit_tricks.h"
#include "minifier/block_scanner.h"
#include "minifier/code_path.h"
#include "minifier/text_limits.h"

#include "minifier/code_path_begin.h"
namespace {

using namespace byte_class;

// What ends a passed-over stretch: outside strings any quote, escape or '/', in a string
// its own quote, an escape or a line break, in a comment a '*'.
constexpr auto outside_events = either<quotes, backslash, slash>;
constexpr auto apostrophe_events = either<apostrophe, backslash, string_breaks>;
constexpr auto double_quote_events = either<double_quote, backslash, string_breaks>;

class comment_deletion {
 public:
  explicit comment_deletion(std::string& working_text)
      : text_(working_text.data()), size_(working_text.size()) {}

  // Follows the deletion through a block, given its openers and closers and the bytes
  // that lie inside strings.
  void read_block(std::size_t start, std::uint64_t openers, std::uint64_t closers,
                  std::uint64_t inside_strings) {
    while (true) {
      const std::uint64_t live = resume_ > start ? bits_from(resume_ - start) : all_bits;
      if (!in_comment_) {
        const std::uint64_t outside = openers & ~inside_strings & live;
        if (outside == 0) return;
        const std::size_t opener = start + static_cast<std::size_t>(std::countr_zero(outside));
        keep_until(opener);
        in_comment_ = true;
        resume_ = opener + 1;  // its closer may begin at the opener's '*'
      } else {
        const std::uint64_t found = closers & live;
        if (found == 0) return;
        delete_until(start + static_cast<std::size_t>(std::countr_zero(found)) + 2);
      }
    }
  }

  bool seeks_closer() const { return in_comment_; }

  // Ends the pass: an unclosed comment stays, with everything after it. Returns the
  // length of the text left.
  std::size_t finish() {
    if (in_comment_ && joined_) ++write_;  // the '/' taken for its opener stays too
    keep_until(size_);
    return write_;
  }

  std::int32_t count() const { return count_; }

 private:
  // Moves the unread bytes before `end` to the kept prefix. Between comments there are
  // often only a few: up to sixteen go with one load and one store where the store ends
  // before the unread bytes, instead of a call (comments_bench, only_empty_comments).
  void keep_until(std::size_t end) {
    const std::size_t length = end - read_;
    if (write_ != read_) {
      if (length <= 16 && read_ - write_ >= 16 && read_ + 16 <= size_) {
        copy_16(text_ + write_, text_ + read_);
      } else {
        std::memmove(text_ + write_, text_ + read_, length);
      }
    }
    write_ += length;
    read_ = end;
  }

  // Deletes the comment open from read_ (and the kept '/' before it, for a joined one)
  // through end - 1; the search then resumes one byte before the comment's opener, where
  // a kept '/' and a '*' after the comment make a new opener.
  void delete_until(std::size_t end) {
    read_ = end;
    ++count_;
    joined_ = write_ > 0 && text_[write_ - 1] == '/' && read_ < size_ && text_[read_] == '*';
    if (joined_) --write_;  // that '/' is never inside a string: the comment began outside
    in_comment_ = joined_;
    resume_ = read_;
  }

  char* text_;
  std::size_t size_;
  std::size_t write_ = 0;   // text_[0, write_) is kept
  std::size_t read_ = 0;    // text_[read_, size_) is unread and untouched
  std::size_t resume_ = 0;  // the search for the next opener or closer begins here
  bool in_comment_ = false;
  bool joined_ = false;  // the open comment's opener is a kept '/' and an unread '*'
  std::int32_t count_ = 0;
};

}  // namespace

std::int32_t remove_comments(std::string& working_text) {
  const std::string_view text(working_text);
  comment_deletion deletion(working_text);
  escape_scanner escapes;
  reading state = reading::outside;
  std::size_t from = 0;  // the first bit of the block still to read
  for (std::size_t start = 0; start < text.size(); start += 64) {
    // Most blocks hold nothing either reading looks for: passed over with one test.
    bool skip = false;
    if (state == reading::in_comment) {
      skip = deletion.seeks_closer() && has_none_in<asterisk>(text, start);
    } else if (deletion.seeks_closer()) {
      skip = false;  // a comment joined across a deleted one: its closer may be here
    } else if (state == reading::outside) {
      skip = has_none_in<outside_events>(text, start);
    } else {
      skip = state == reading::in_apostrophes ? has_none_in<apostrophe_events>(text, start)
                                              : has_none_in<double_quote_events>(text, start);
    }
    if (skip) {
      escapes.restart();
      continue;
    }
    const byte_block block(text, start, ' ');
    const escape_scan scan = escapes.scan(block, all_bits, is_in_string(state));
    const reading_events events{scan.apostrophes, scan.double_quotes,
                                block.pairs<slash, asterisk>(), block.pairs<asterisk, slash>(),
                                scan.line_breaks};
    const std::uint64_t open_at_start = is_in_string(state) ? all_bits : 0;
    const std::uint64_t quotes = read_quotes(events, state, from);
    deletion.read_block(start, events.openers, events.closers, running_xor(quotes) ^ open_at_start);
  }
  working_text.resize(deletion.finish());
  return deletion.count();
}
#include "minifier/code_path_end.h"
