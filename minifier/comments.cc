// Comment removal in one left-to-right pass, 64 bytes at a time.
//
// Two readings go side by side. The quote reading follows the text as loaded and tells
// whether a byte lies inside a string. The deletion finds each opener in the text as it
// is being shortened: past the bytes it has kept, that text is still the loaded text, so
// its openers are the loaded ones, except that a kept '/' and the '*' after a deleted
// comment form one more. Kept bytes are moved forward over deleted ones (two cursors): a
// block's at once, with the comments closed in it marked on a mask, and a stretch without
// deletions only when the next deletion comes, so a file of many comments stays linear.
#include "minifier/comments.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "minifier/bit_tricks.h"
#include "minifier/block_scanner.h"
#include "minifier/code_path.h"

#include "minifier/code_path_begin.h"
namespace {

using namespace byte_class;

// What ends a passed-over stretch outside strings and comments.
constexpr auto outside_events = either<quotes, just<'\\'>, just<'/'>>;

class comment_deletion {
 public:
  explicit comment_deletion(std::string& working_text)
      : text_(working_text.data()), size_(working_text.size()) {}

  // Follows the deletion through the block at `start`, given its openers outside strings
  // and its closers. The comments closed in it are marked, then the block's kept bytes are
  // moved at once (a file of "/**/" has sixteen to a block).
  void read_block(const byte_block& block, std::size_t start, std::uint64_t openers,
                  std::uint64_t closers) {
    if ((openers | closers) == 0) return;
    const std::uint64_t done = read_ > start ? bits_below(read_ - start) : 0;
    std::uint64_t deleted = done;
    if (!take_turns(start, openers, closers, deleted)) {
      follow_events(start, openers, closers, deleted);
    }
    if (deleted == done) return;  // nothing deleted: the bytes stay where they are, unread
    const std::size_t length = std::min<std::size_t>(64, size_ - start);
    // An open comment may yet stay, unclosed: it is left unread, untouched.
    const std::size_t limit = in_comment_ ? std::min(length, comment_start_ - start) : length;
    char bytes[96];
    block.copy_to(bytes);
    write_ = move_kept(text_, write_, start, bytes, ~deleted, limit);
    read_ = in_comment_ ? comment_start_ : std::max(start + length, resume_);
  }

  bool seeks_closer() const { return in_comment_; }

  // Ends the pass: an unclosed comment stays, with everything after it. Returns the
  // length of the text left.
  std::size_t finish() {
    if (in_comment_ && joined_) text_[write_++] = '/';  // the '/' taken for its opener
    keep_until(size_);
    return write_;
  }

  std::int32_t count() const { return count_; }

 private:
  // Most blocks with comments are read at once: when no search resumes inside the block,
  // every opener opens a comment and every closer closes one, in turns, and no closer's
  // '/' begins an opener or is the block's last byte (so no '*' after a closer could join a
  // comment to a kept '/'). Then the bytes in comments are those after an odd number of
  // openers and closers (prefix XOR), and the closers themselves. Returns false, with
  // nothing changed, for any other block.
  bool take_turns(std::size_t start, std::uint64_t openers, std::uint64_t closers,
                  std::uint64_t& deleted) {
    if (joined_ || resume_ > start || ((openers & (closers << 1)) | (closers >> 63)) != 0) {
      return false;
    }
    const std::uint64_t inside = running_xor(openers | closers) ^ (in_comment_ ? all_bits : 0);
    if (((openers & ~inside) | (closers & inside)) != 0) return false;
    if (closers != 0) {
      before_close(start);
      count_ += std::popcount(closers);
      deleted |= inside | closers | (closers << 1);
    }
    in_comment_ = (inside >> 63) != 0;
    if (in_comment_ && openers != 0) {
      comment_start_ = start + 63 - static_cast<std::size_t>(std::countl_zero(openers));
      resume_ = comment_start_ + 1;
    }
    return true;
  }

  // Any other block, from one opener or closer to the next.
  void follow_events(std::size_t start, std::uint64_t openers, std::uint64_t closers,
                     std::uint64_t& deleted) {
    while (true) {
      const std::uint64_t live = resume_ > start ? bits_from(resume_ - start) : all_bits;
      const std::uint64_t found = (in_comment_ ? closers : openers) & live;
      if (found == 0) return;
      const std::size_t at = start + static_cast<std::size_t>(std::countr_zero(found));
      if (!in_comment_) {
        comment_start_ = at;
        in_comment_ = true;
        resume_ = at + 1;  // its closer may begin at the opener's '*'
        continue;
      }
      before_close(start);
      const std::size_t first = comment_start_ - std::min(comment_start_, start);
      deleted |= bits_from(first) & bits_below(at + 2 - start);
      ++count_;
      resume_ = at + 2;
      in_comment_ = joins(start, at + 2, deleted);
    }
  }

  // Before the first comment closed in the block is deleted, the bytes kept before it are
  // moved, and those of it before the block dropped.
  void before_close(std::size_t start) {
    if (in_comment_ && comment_start_ < start) {  // open since an earlier block, unmoved
      keep_until(comment_start_);
      read_ = start;
    } else if (read_ < start) {
      keep_until(start);
    }
  }

  // Moves the unread bytes before `end` to the kept prefix.
  void keep_until(std::size_t end) {
    if (write_ != read_ && end != read_) std::memmove(text_ + write_, text_ + read_, end - read_);
    write_ += end - read_;
    read_ = end;
  }

  // After the comment that ends before `end` is deleted, whether a kept '/' before it and
  // a '*' after it open a new one. That '/' is taken from the kept bytes, and given back if
  // the comment stays unclosed; it is never inside a string, as the deleted comment began
  // outside. The kept bytes of the block are not moved yet, and those before it are; no
  // byte from the block on has been written over.
  bool joins(std::size_t start, std::size_t end, std::uint64_t& deleted) {
    joined_ = false;
    if (end >= size_ || text_[end] != '*') return false;
    const std::uint64_t kept_before =
        ~deleted & bits_below(comment_start_ - std::min(comment_start_, start));
    if (kept_before != 0) {
      const std::size_t last = 63 - static_cast<std::size_t>(std::countl_zero(kept_before));
      if (text_[start + last] != '/') return false;
      deleted |= std::uint64_t{1} << last;
    } else {
      if (write_ == 0 || text_[write_ - 1] != '/') return false;
      --write_;
    }
    comment_start_ = end;
    joined_ = true;
    return true;
  }

  char* text_;
  std::size_t size_;
  std::size_t write_ = 0;   // text_[0, write_) is kept
  std::size_t read_ = 0;    // text_[read_, size_) is unread and untouched
  std::size_t resume_ = 0;  // the search for the next opener or closer begins here
  std::size_t comment_start_ = 0;  // of the open comment
  bool in_comment_ = false;
  bool joined_ = false;  // the open comment's opener is a '/' taken from the kept bytes
  std::int32_t count_ = 0;
};

}  // namespace

std::int32_t remove_comments(std::string& working_text) {
  const std::string_view text(working_text);
  comment_deletion deletion(working_text);
  block_scanner scanner;
  for (std::size_t start = 0; start < text.size(); start += 64) {
    // Outside strings and comments most blocks hold nothing either reading looks for.
    const byte_block block(text, start, ' ');
    if (!deletion.seeks_closer() && scanner.state() == reading::outside &&
        block.any_in<outside_events>() == 0) {
      scanner.pass_over();
      continue;
    }
    const std::uint64_t slashes = block.any_in<just<'/'>>();
    const std::uint64_t asterisks = block.any_in<just<'*'>>();
    const std::uint64_t openers =
        slashes & ((asterisks >> 1) | (std::uint64_t{block.following() == '*'} << 63));
    const std::uint64_t closers =
        asterisks & ((slashes >> 1) | (std::uint64_t{block.following() == '/'} << 63));
    const bool in_string = is_in_string(scanner.state());
    const reading_events read = scanner.read(block, openers, closers);
    const std::uint64_t in_strings = running_xor(read.quotes) ^ (in_string ? all_bits : 0);
    deletion.read_block(block, start, openers & ~in_strings, closers);
  }
  working_text.resize(deletion.finish());
  return deletion.count();
}
#include "minifier/code_path_end.h"
