// Comment removal in one left-to-right pass, 64 bytes at a time.
//
// Only the blocks that hold a "/*" (in a comment, a "*/") are looked at; a search for the
// pair passes over the rest. Two readings go side by side there. The quote reading follows
// the text as loaded and tells whether a byte lies inside a string; it catches up from the
// last line break that surely ends a string, so the strings of a sheet are read here only
// around its comments. The deletion finds each opener in the text as it is being
// shortened: past the bytes it has kept, that text is still the loaded text, so its
// openers are the loaded ones, except that a kept '/' and the '*' after a deleted comment
// form one more. Kept bytes are moved forward over deleted ones (two cursors): a
// block's at once, with the comments closed in it marked on a mask, and a stretch without
// deletions only when the next deletion comes, so a file of many comments stays linear.
#include "minifier/comments.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "minifier/bit_tricks.h"
#include "minifier/block_scanner.h"
#include "minifier/byte_block.h"
#include "minifier/kept_bytes.h"
#include "minifier/path_stages.h"

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH {
namespace {

using namespace byte_class;

// A byte's part in the tokens a comment may separate.
constexpr std::array<bool, 256> name_bytes = [] {
  std::array<bool, 256> entries = table("_-\\");
  for (int byte = 0; byte < 256; ++byte) {
    entries[byte] = entries[byte] || (byte >= 'a' && byte <= 'z') ||
                    (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte >= 0x80;
  }
  return entries;
}();
constexpr std::array<bool, 256> space_bytes = table(css_space);
// The pairs of bytes that a comment between them keeps apart, as CSS reads tokens: the
// first is in `firsts`, the second in `seconds` or, with any_name, any name byte. A byte
// that goes on a name joins a name byte or '(' besides, and a hex escape's digit joins a
// space, which the escape would take (would_join).
struct joining_pair {
  std::string_view firsts;
  std::string_view seconds;
  bool any_name = false;
};
constexpr joining_pair joining_pairs[] = {
    {"0123456789", "%."},  // a number and its unit or fraction
    {"@#", "", true},      // an at-keyword or hash
    {"+-.", "0123456789"}, // a signed or fractional number
    {"+-", "."},
    {"~|^$*", "="},  // an attribute matcher
    {"uUeE", "+"},   // a unicode range, an exponent
    {"/", "*"},      // a new comment
    {"|", "|"},      // a column
    {"<", "!"},      // <!--
    {"!", "-"},
    {"-", "->"},  // -->
};
// Bit k: the byte is a first (second) of joining_pairs[k].
using pair_roles = std::array<std::uint16_t, 256>;
constexpr pair_roles first_roles = [] {
  pair_roles roles{};
  for (std::size_t k = 0; k < std::size(joining_pairs); ++k) {
    for (const char byte : joining_pairs[k].firsts) {
      roles[static_cast<unsigned char>(byte)] |= static_cast<std::uint16_t>(1u << k);
    }
  }
  return roles;
}();
constexpr pair_roles second_roles = [] {
  pair_roles roles{};
  for (std::size_t k = 0; k < std::size(joining_pairs); ++k) {
    for (int byte = 0; byte < 256; ++byte) {
      if (contains(joining_pairs[k].seconds, static_cast<unsigned char>(byte)) ||
          (joining_pairs[k].any_name && name_bytes[byte])) {
        roles[byte] |= static_cast<std::uint16_t>(1u << k);
      }
    }
  }
  return roles;
}();

// The last byte kept before a comment, as the tokens see it.
struct neighbour {
  bool present = false;
  unsigned char byte = 0;
  bool name = false;  // goes on a name: a name byte, escaped, or a hex escape's space
  bool hex = false;   // a hex escape's digit: the escape would take a space after it
};

// Whether erasing the comment between `before` and the byte `after` would join two tokens
// into one, or make a new opener.
bool would_join(const neighbour& before, unsigned char after) {
  if (!before.present) return false;
  if (before.name && (name_bytes[after] || after == '(')) return true;
  if (before.hex && space_bytes[after]) return true;
  return (first_roles[before.byte] & second_roles[after]) != 0;
}

// The bytes around the block being read, as loaded: the block itself and the last eight
// bytes of the block before it (which a move may have written over), with their escapes.
class surroundings {
 public:
  // Before any byte of the block at `start` moves. A block before it that was passed over
  // is still as loaded; escaped_before are its escapes as the quote reading found them,
  // which is right from the line break it took up again at on (before() never looks
  // back past such a break: it is no hex digit and not escaped).
  void enter(const char* text, std::size_t start, std::size_t length, std::uint64_t escaped,
             std::uint64_t escaped_before) {
    if (start == start_ + block_size) {
      std::memcpy(tail_, next_tail_, 8);
      tail_escaped_ = escaped_ >> 56;
    } else if (start != 0) {
      std::memcpy(tail_, text + start - 8, 8);
      tail_escaped_ = escaped_before >> 56;
    }
    start_ = start;
    block_ = text + start;
    escaped_ = escaped;
    if (length == block_size) std::memcpy(next_tail_, block_ + 56, 8);
  }

  // The last byte kept before an opener at `at` (past the text's start), looked at up to
  // eight bytes back.
  neighbour before(std::size_t at) const {
    const std::size_t p = at - 1;
    neighbour found;
    found.present = true;
    found.byte = byte(p);
    if (name_bytes[found.byte] || escaped(p)) {
      found.name = true;
      found.hex = hex_digit_bytes[found.byte] && ends_hex_digits(p);
    } else if (space_bytes[found.byte] && p > 0) {  // the space that ends a hex escape
      found.name = ends_hex_digits(p - 1) ||
                   (found.byte == '\n' && p > 1 && byte(p - 1) == '\r' && ends_hex_digits(p - 2));
    }
    return found;
  }

 private:
  unsigned char byte(std::size_t p) const {
    return static_cast<unsigned char>(p >= start_ ? block_[p - start_] : tail_[p + 8 - start_]);
  }
  bool escaped(std::size_t p) const {
    return p >= start_ ? ((escaped_ >> (p - start_)) & 1) != 0
                       : ((tail_escaped_ >> (p + 8 - start_)) & 1) != 0;
  }
  // The byte at p is one of one to six hex digits after an unescaped backslash, the last.
  bool ends_hex_digits(std::size_t p) const {
    for (std::size_t k = 0; k < 6 && k <= p && p - k + 8 >= start_ && hex_digit_bytes[byte(p - k)]; ++k) {
      if (escaped(p - k)) return true;
    }
    return false;
  }

  std::size_t start_ = not_found - block_size;  // of the block entered last: none yet
  const char* block_ = nullptr;
  std::uint64_t escaped_ = 0;
  char tail_[8] = {};
  std::uint64_t tail_escaped_ = 0;
  char next_tail_[8] = {};
};

// The quote reading, brought up to date only at the blocks where a comment may open or
// close: most blocks hold neither, and a sheet full of strings would otherwise have each
// of them read here and again in compaction. Outside comments, the reading takes up again
// after the last line break before the block that surely ends any string (one that no
// backslash escapes and no hex escape ends; CSS goes on with a string past those), and
// reads only from there; with none since the last block read, it reads every block
// between. Inside a comment nothing but its closer counts, so the blocks between are
// passed over. Every block it reads lies past those the deletion has moved bytes into.
class quote_reading {
 public:
  explicit quote_reading(std::string_view text) : text_(text) {}

  struct block_read {
    reading_events events;
    std::uint64_t in_strings;      // the opening quotes and the contents of strings
    std::uint64_t escaped_before;  // of the block before, where it was read; else none
  };

  // Reads the block at `start`, on the 64-byte grid past the last one read, given its
  // openers and closers and where its first pair lies. The blocks passed over since hold
  // no opener, nor does the block before that pair.
  block_read read(const byte_block<>& block, std::size_t start, std::size_t pair,
                  std::uint64_t openers, std::uint64_t closers) {
    block_read read;
    const std::size_t resume = read_until_ == start ? start : catch_up(start, pair);
    read.escaped_before = last_escaped_;
    const bool open_before = is_in_string(scanner_.state());
    if (resume == start) {
      read.events = scanner_.read(text_, start, block, openers, closers);
    } else {  // a string surely ends in the block, before the pair
      read.events = scanner_.read(text_, start, blanked_before(resume), openers, closers);
    }
    read.in_strings = running_xor(read.events.bounds) ^ (open_before ? all_bits : 0);
    last_escaped_ = read.events.escaped;
    read_until_ = start + block_size;
    return read;
  }

  // The reading at the text's end.
  reading state_at_end() {
    catch_up((text_.size() + block_size - 1) / block_size * block_size, text_.size());
    return scanner_.state();
  }

 private:
  // Brings the reading up to the block at `to`, or just past a line break that ends any
  // string before `limit`, which is returned: the block at `to` is then read from there.
  [[gnu::noinline]] std::size_t catch_up(std::size_t to, std::size_t limit) {
    if (read_until_ == to) return to;
    last_escaped_ = 0;
    std::size_t from = read_until_;
    read_until_ = to;
    if (scanner_.state() == reading::in_comment) {
      scanner_.restart(reading::in_comment);
      return to;
    }
    const std::size_t resume = after_last_string_end(from, std::min(limit, text_.size()));
    if (resume != not_found) {
      scanner_.restart(reading::outside);
      if (resume > to) return resume;
      from = resume / block_size * block_size;
      if (from != resume) {
        read_passed_over(blanked_before(resume), from);
        from += block_size;
      }
    }
    for (; from < to; from += block_size) read_passed_over(byte_block<>(text_, from, ' '), from);
    return to;
  }

  // The block holding `resume`, with the bytes before it read as spaces.
  byte_block<> blanked_before(std::size_t resume) const {
    const std::size_t from = resume / block_size * block_size;
    char bytes[block_size];
    std::memset(bytes, ' ', block_size);
    const std::size_t length = std::min(block_size, text_.size() - from);
    std::memcpy(bytes + (resume - from), text_.data() + resume, length - (resume - from));
    return byte_block<>(std::string_view(bytes, block_size), 0);
  }

  void read_passed_over(const byte_block<>& block, std::size_t start) {
    last_escaped_ = scanner_.pass_over(block) ? 0 : scanner_.read(text_, start, block).escaped;
  }

  // Just past the last line break in text_[from, to) that ends any string it stands in, or
  // not_found. The byte before it (before the CR of a CR LF) is no backslash and no hex
  // digit, and lies in the range: bytes before `from` may have been moved over.
  std::size_t after_last_string_end(std::size_t from, std::size_t to) const {
    std::size_t end = to;
    while (end > from) {
      const std::size_t begin = end - std::min(lane_size, end - from);
      std::uint32_t breaks = 0;
      if (end - begin == lane_size) {
        breaks = lane_matches_class<byte_class::string_breaks>(load_lane(text_.data() + begin));
      } else {
        for (std::size_t i = begin; i < end; ++i) {
          if (byte_class::contains(byte_class::string_breaks, static_cast<unsigned char>(text_[i]))) {
            breaks |= std::uint32_t{1} << (i - begin);
          }
        }
      }
      for (; breaks != 0; breaks &= ~(std::uint32_t{1} << highest_bit(breaks))) {
        const std::size_t at = begin + highest_bit(breaks);
        std::size_t first = at;
        if (text_[at] == '\n' && at > from && text_[at - 1] == '\r') --first;
        if (first <= from) continue;
        const auto before = static_cast<unsigned char>(text_[first - 1]);
        if (before != '\\' && !hex_digit_bytes[before]) return at + 1;
      }
      end = begin;
    }
    return not_found;
  }

  std::string_view text_;
  block_scanner scanner_;
  std::size_t read_until_ = 0;     // the blocks before it are read or passed over
  std::uint64_t last_escaped_ = 0;  // of the last block read, if it ends at read_until_
};

class comment_deletion {
 public:
  comment_deletion(char* text, std::size_t size) : text_(text), size_(size) {}

  // Follows the deletion through the block at `start`, given its openers outside strings
  // and its closers. The comments closed in it are marked, then the block's kept bytes are
  // moved at once (a file of "/**/" has sixteen to a block).
  void read_block(const byte_block<>& block, std::size_t start, std::uint64_t openers,
                  std::uint64_t closers, const surroundings& around) {
    if ((openers | closers) == 0) return;
    const std::uint64_t done = read_ > start ? bits_below(read_ - start) : 0;
    std::uint64_t deleted = done;
    if (!take_turns(start, openers, closers, deleted, around)) {
      follow_events(start, openers, closers, deleted, around);
    }
    if (deleted == done) return;  // nothing deleted: the bytes stay where they are, unread
    const std::size_t length = std::min(block_size, size_ - start);
    // An open comment may yet stay, unclosed: it is left unread, untouched.
    const std::size_t limit = in_comment_ ? std::min(length, comment_start_ - start) : length;
    block_bytes bytes;
    block.copy_to(bytes);
    write_ = move_kept(text_, write_, start, bytes, ~deleted, limit);
    read_ = in_comment_ ? comment_start_ : std::max(start + length, deleted_until_);
  }

  bool seeks_closer() const { return in_comment_; }

  // Ends the pass: an unclosed comment stays, with everything after it. Returns the
  // length of the text left.
  std::size_t finish() {
    keep_until(size_);
    return write_;
  }

  std::int32_t count() const { return count_; }

 private:
  // Most blocks with comments are read at once: when no search resumes inside the block,
  // every opener opens a comment and every closer closes one, in turns, no closer shares
  // its opener's '*', none ends past the block, and no comment's neighbours would join.
  // Then the bytes in comments are those after an odd number of openers and closers
  // (prefix XOR), and the closers themselves. Returns false, with nothing changed, for any
  // other block.
  bool take_turns(std::size_t start, std::uint64_t openers, std::uint64_t closers,
                  std::uint64_t& deleted, const surroundings& around) {
    if (resume_ > start || (closers >> 63) != 0 ||
        (openers & ((closers << 1) | (closers >> 1))) != 0) {
      return false;
    }
    const std::uint64_t inside = running_xor(openers | closers) ^ (in_comment_ ? all_bits : 0);
    if (((openers & ~inside) | (closers & inside)) != 0) return false;
    // In a run of comments that touch, all go, so only the first has a byte of its own
    // before it and only the last a byte after it ("/**//**/" has one run a block).
    const std::uint64_t touching = openers & ((closers << 2) | (last_end_ == start ? 1 : 0));
    neighbour before = in_comment_ ? before_ : last_before_;
    neighbour last_before = last_before_;
    for (std::uint64_t rest = (openers & ~touching) | (closers & ~(openers >> 2)); rest != 0;
         rest &= rest - 1) {
      const std::size_t at = start + static_cast<std::size_t>(std::countr_zero(rest));
      if (((openers >> (at - start)) & 1) != 0) {
        before = at == 0 ? neighbour{} : around.before(at);
      } else if (at + 2 < size_ && would_join(before, static_cast<unsigned char>(text_[at + 2]))) {
        return false;
      } else {
        last_before = before;
      }
    }
    if (closers != 0) {
      before_close(start, comment_start_);
      count_ += count_bits(closers);
      deleted |= inside | closers | (closers << 1);
      last_before_ = last_before;
      last_end_ = start + highest_bit(closers) + 2;
      deleted_until_ = last_end_;
    }
    in_comment_ = (inside >> 63) != 0;
    if (in_comment_ && openers != 0) {
      comment_start_ = start + highest_bit(openers);
      resume_ = comment_start_ + 2;
      before_ = before;
    }
    return true;
  }

  // Any other block, from one opener or closer to the next.
  void follow_events(std::size_t start, std::uint64_t openers, std::uint64_t closers,
                     std::uint64_t& deleted, const surroundings& around) {
    while (true) {
      const std::uint64_t live = resume_ > start ? bits_from(resume_ - start) : all_bits;
      const std::uint64_t found = (in_comment_ ? closers : openers) & live;
      if (found == 0) return;
      const std::size_t at = start + static_cast<std::size_t>(std::countr_zero(found));
      if (!in_comment_) {
        comment_start_ = at;
        in_comment_ = true;
        resume_ = at + 2;  // its closer begins past the opener's '*'
        before_ = neighbour_before(at, around, last_end_, last_before_);
        continue;
      }
      // Where the neighbours would join, "/**/" stays between them.
      const bool shrinks =
          at + 2 < size_ && would_join(before_, static_cast<unsigned char>(text_[at + 2]));
      const std::size_t cut_from = shrinks ? comment_start_ + 2 : comment_start_;
      deleted_until_ = shrinks ? at : at + 2;
      before_close(start, cut_from);
      deleted |= bits_from(cut_from - std::min(cut_from, start)) & bits_below(deleted_until_ - start);
      if (!shrinks) ++count_;
      last_before_ = before_;
      last_end_ = shrinks ? 0 : at + 2;
      resume_ = at + 2;
      in_comment_ = false;
    }
  }

  // The last byte kept before an opener at `at`: none at the text's start, the one kept
  // before the comment erased just before it, or the byte before it.
  static neighbour neighbour_before(std::size_t at, const surroundings& around,
                                    std::size_t last_end, const neighbour& last_before) {
    if (at == 0) return {};
    if (at == last_end) return last_before;
    return around.before(at);
  }

  // Before the first comment closed in the block is deleted, the bytes kept before it are
  // moved, and those of it before the block, from cut_from on, dropped.
  void before_close(std::size_t start, std::size_t cut_from) {
    if (in_comment_ && comment_start_ < start) {  // open since an earlier block, unmoved
      keep_until(std::min(cut_from, start));
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

  char* text_;
  std::size_t size_;
  std::size_t write_ = 0;   // text_[0, write_) is kept
  std::size_t read_ = 0;    // text_[read_, size_) is unread and untouched
  std::size_t resume_ = 0;  // the search for the next opener or closer begins here
  std::size_t deleted_until_ = 0;  // the end of the last comment's deleted bytes
  std::size_t comment_start_ = 0;  // of the open comment
  bool in_comment_ = false;
  neighbour before_;       // the last byte kept before the open comment
  std::size_t last_end_ = 0;  // just past the last comment erased whole
  neighbour last_before_;  // and the last byte kept before it
  std::int32_t count_ = 0;
};

}  // namespace

std::int32_t remove_comment_bytes(char* bytes, std::size_t& size, bool* ends_open) {
  const std::string_view text(bytes, size);
  comment_deletion deletion(bytes, size);
  quote_reading quotes(text);
  surroundings around;
  for (std::size_t start = 0; start < text.size(); start += block_size) {
    // Only a block where a comment may open (or, in one, close) is looked at.
    const std::size_t pair = deletion.seeks_closer() ? find_pair<'*', '/'>(text.data(), text.size(), start)
                                                     : find_pair<'/', '*'>(text.data(), text.size(), start);
    if (pair == text.size()) break;
    start = pair / block_size * block_size;
    const byte_block<> block(text, start, ' ');
    const std::size_t length = std::min(block_size, text.size() - start);
    const std::uint64_t slashes = block.any_in<just<'/'>>();
    const std::uint64_t asterisks = block.any_in<just<'*'>>();
    const char following = byte_after_block(text, start, ' ');
    const std::uint64_t openers =
        slashes & ((asterisks >> 1) | (std::uint64_t{following == '*'} << 63));
    const std::uint64_t closers =
        asterisks & ((slashes >> 1) | (std::uint64_t{following == '/'} << 63));
    const quote_reading::block_read read = quotes.read(block, start, pair, openers, closers);
    around.enter(bytes, start, length, read.events.escaped, read.escaped_before);
    deletion.read_block(block, start, openers & ~read.in_strings & ~read.events.escaped, closers,
                        around);
  }
  // Read before the bytes left unread move.
  const bool ends_in_string = ends_open != nullptr && is_in_string(quotes.state_at_end());
  size = deletion.finish();
  if (ends_open != nullptr) {
    // The blocks are padded, so the scanner's backslash run does not reach the text's end;
    // a deleted comment never ends in one, so the text left ends as the loaded one did.
    const std::string_view left(bytes, size);
    const std::size_t last_other = left.find_last_not_of('\\');
    const std::size_t backslashes =
        size - (last_other == std::string_view::npos ? 0 : last_other + 1);
    *ends_open = ends_in_string || backslashes % 2 == 1;
  }
  return deletion.count();
}

}  // namespace CSSQUEEZE_CODE_PATH
#include "minifier/code_path_end.h"
