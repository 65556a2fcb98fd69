// String lifting and restoration, each a single forward pass over working_text.
//
// Extraction moves the kept bytes forward over the lifted contents (two cursors), and
// restoration first slides the text to the end of its enlarged buffer and then merges the
// entries back in from the front, so neither shifts the rest of the text per string.
#include "minifier/string_protection.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <utility>

#include "minifier/byte_search.h"
#include "minifier/text_limits.h"

namespace {

// What extraction is inside of, at the byte it has reached.
enum class reading { outside, in_apostrophes, in_double_quotes };

// The greedy choice of emptied pairs among candidates, where bit k says that bytes k and
// k + 1 are the same quote, the first unescaped. Taken from the lowest, a pair uses up its
// second quote, so in a run of touching candidates (four quotes in a row and more) every
// other one is taken, from the run's first. Adding a run's lowest bit clears the whole
// run, which picks out at once the runs that start on an odd bit.
std::uint64_t first_quotes_of_pairs(std::uint64_t candidates) {
  constexpr std::uint64_t even_bits = 0x5555555555555555;
  const std::uint64_t run_starts = candidates & ~(candidates << 1);
  const std::uint64_t odd_runs = candidates & ~(candidates + (run_starts & ~even_bits));
  return ((candidates & ~odd_runs) & even_bits) | (odd_runs & ~even_bits);
}

// Finds the emptied pairs ('' or "" whose first quote is unescaped) of a text left to
// right, each search going on past the second quote of the pair found before: a block of
// 64 bytes at a time, so a text dense in pairs costs a few steps per pair. The text must
// not change at or after the bytes not yet reported on.
class emptied_pair_finder {
 public:
  // Pairs from text[from] on; the byte before from, if any, must not be a backslash.
  emptied_pair_finder(std::string_view text, std::size_t from) : text_(text), start_(from) {
    load();
  }

  // The first quote of the next pair, or not_found.
  std::size_t next() {
    while (pairs_ == 0) {
      if (!advance()) return not_found;
    }
    const std::size_t pair = start_ + static_cast<std::size_t>(std::countr_zero(pairs_));
    pairs_ &= pairs_ - 1;
    // The next block is read now: the caller may write up to the pair's second quote,
    // which can be that block's first byte.
    if (pairs_ == 0) advance();
    return pair;
  }

  // Counts the pairs not yet reported, stopping as soon as there are at least enough;
  // next() reports none of them afterwards.
  std::size_t count(std::size_t enough) {
    std::size_t found = 0;
    while (true) {
      found += static_cast<std::size_t>(std::popcount(pairs_));
      pairs_ = 0;
      if (found >= enough || !advance()) return found;
    }
  }

 private:
  // Moves on to the next block; false at the end of the text.
  bool advance() {
    if (start_ >= text_.size()) return false;
    start_ += 64;
    load();
    return start_ < text_.size();
  }

  void load() {
    if (start_ >= text_.size()) {
      pairs_ = 0;
      return;
    }
    if (has_none_of<'\'', '"', '\\'>(text_, start_)) {
      pairs_ = 0;
      odd_run_ = false;
      second_taken_ = false;
      return;
    }
    const byte_block block(text_, start_);
    const std::uint64_t escaped = escaped_bits(block.equal_to('\\'), odd_run_);
    std::uint64_t candidates =
        (block.pairs_of('\'', '\'') | block.pairs_of('"', '"')) & ~escaped;
    // A pair taken at the block's last byte uses up the next block's first.
    if (second_taken_) candidates &= ~std::uint64_t{1};
    pairs_ = first_quotes_of_pairs(candidates);
    second_taken_ = (pairs_ >> 63) != 0;
  }

  std::string_view text_;
  std::size_t start_;
  std::uint64_t pairs_ = 0;  // bit k: a pair at start_ + k not yet reported
  bool odd_run_ = false;     // the bytes before the block end in an odd run of backslashes
  bool second_taken_ = false;
};

}  // namespace

void lifted_strings::reserve(std::size_t bytes) {
  if (bytes <= capacity_) return;
  // Uninitialized: pages that are never written take no memory.
  std::unique_ptr<char[]> larger = std::make_unique_for_overwrite<char[]>(bytes);
  if (used_ > 0) std::memcpy(larger.get(), buffer_.get(), used_);
  buffer_ = std::move(larger);
  capacity_ = bytes;
}

void lifted_strings::append(std::string_view entry) {
  const std::size_t needed = used_ + entry.size() + 10;
  if (needed > capacity_) reserve(std::max(needed, capacity_ * 2));
  char* out = buffer_.get() + used_;
  write_varint(out, entry.size());
  if (!entry.empty()) std::memcpy(out, entry.data(), entry.size());
  used_ = static_cast<std::size_t>(out - buffer_.get()) + entry.size();
  content_bytes += entry.size();
  ++count;
}

std::string_view lifted_reader::next() {
  const std::size_t length = read_varint(rest_);
  const std::string_view entry = rest_.substr(0, length);
  rest_.remove_prefix(length);
  return entry;
}

bool is_escaped(std::string_view text, std::size_t position) {
  return is_escaped_after(text, 0, position);
}

std::int32_t extract_strings(std::string& working_text, lifted_strings& protected_strings) {
  const std::size_t size = working_text.size();
  char* const text = working_text.data();
  const std::string_view view(working_text);
  // The records never outgrow the text (an entry under 16 KiB takes no more room than its
  // string with its quotes, a longer one at most three bytes more), so room for the whole
  // text is reserved once and written without checks; the pages never written cost no
  // memory. On a 100 MB file of '' the whole run's peak went from 1016 MB (an offset per
  // entry, in a growing vector) to under 200 MB.
  // The last 16 bytes are room for the wide copies below.
  protected_strings.reserve(protected_strings.used_ + size + size / 4096 + 32);
  char* const records = protected_strings.buffer_.get();
  char* out = records + protected_strings.used_;
  std::size_t count = 0;
  std::size_t content_bytes = 0;

  // Sixty-four bytes at a time: the block's unescaped quotes become bit masks, and the
  // reading steps from one to the next. Moves only ever write below the read cursor and a
  // block's masks are made before any of its bytes is written, so escapes are judged on
  // the text as it came. string_protection_bench, extract_strings, 16 MiB, best of 5,
  // against one search per quote: only_empty_strings 377 -> 5510 MB/s, many_short_strings
  // 540 -> 1300, typical 3410 -> 3700; with restore_strings after it, 161 -> 3270, 231 ->
  // 671 and 1320 -> 1530.
  reading state = reading::outside;
  std::size_t write = 0;  // text[0, write) is kept
  std::size_t read = 0;   // text[read, size) is unread and untouched
  std::size_t next = 0;   // where the reading goes on; everything before it is decided
  std::size_t open = 0;   // the opening quote of the string being read
  bool odd_run = false;   // the bytes before the block end in an odd run of backslashes

  // Lifts the whole string text[open, close]: its contents go to the records, and
  // everything up to the opening quote stays, with the closing quote right after it.
  const auto lift = [&](std::size_t opening, std::size_t close) {
    const std::size_t length = close - opening - 1;
    write_varint(out, length);
    copy_forward(out, text + opening + 1, length, opening + 17 <= size);
    out += length;
    content_bytes += length;
    ++count;
    // Sixteen bytes may be stored at write once they all lie below read.
    if (write != read) {
      copy_forward(text + write, text + read, opening + 1 - read,
                   read - write >= 16 && read + 16 <= size);
    }
    write += opening + 1 - read;
    text[write++] = text[close];
    read = close + 1;
  };

  for (std::size_t start = 0; start < size; start += 64) {
    if (has_none_of<'\'', '"', '\\'>(view, start)) {
      odd_run = false;
      continue;
    }
    const byte_block block(view, start);
    const std::uint64_t escaped = escaped_bits(block.equal_to('\\'), odd_run);
    const std::uint64_t apostrophes = block.equal_to('\'') & ~escaped;
    const std::uint64_t double_quotes = block.equal_to('"') & ~escaped;
    const std::uint64_t quotes = apostrophes | double_quotes;
    if (start + 64 <= size) {
      // Each kind of quote alone marks the strings it would make if no string held a quote
      // of the other kind (a string open at the block's start counts as opened before
      // it); when the two sets do not overlap, that is so, and they are the block's
      // strings.
      const std::uint64_t in_apostrophes =
          prefix_xor(apostrophes) ^ (state == reading::in_apostrophes ? ~std::uint64_t{0} : 0);
      const std::uint64_t in_double_quotes =
          prefix_xor(double_quotes) ^
          (state == reading::in_double_quotes ? ~std::uint64_t{0} : 0);
      if ((in_apostrophes & in_double_quotes) == 0) {
        const std::uint64_t inside = in_apostrophes | in_double_quotes;
        std::uint64_t openings = quotes & inside;
        std::uint64_t closings = quotes & ~inside;
        if (state == reading::outside && (inside & ~quotes) == 0 && (inside >> 63) == 0) {
          // Only empty strings (a text of '' is all of them): the block keeps every byte.
          const std::size_t empty_strings = static_cast<std::size_t>(std::popcount(closings));
          std::memset(out, 0, empty_strings);  // each entry is its length: zero
          out += empty_strings;
          count += empty_strings;
          if (write != read) std::memmove(text + write, text + read, start + 64 - read);
          write += start + 64 - read;
          read = next = start + 64;
          continue;
        }
        if (state != reading::outside && closings != 0) {
          // The string open at the block's start closes at the first closing quote.
          lift(open, start + static_cast<std::size_t>(std::countr_zero(closings)));
          closings &= closings - 1;
          state = reading::outside;
        }
        if (state == reading::outside) {
          for (; closings != 0; closings &= closings - 1, openings &= openings - 1) {
            lift(start + static_cast<std::size_t>(std::countr_zero(openings)),
                 start + static_cast<std::size_t>(std::countr_zero(closings)));
          }
          if (openings != 0) {  // a string that goes on into the next block
            const unsigned at = static_cast<unsigned>(std::countr_zero(openings));
            open = start + at;
            state = ((apostrophes >> at) & 1) != 0 ? reading::in_apostrophes
                                                   : reading::in_double_quotes;
          }
        }
        next = start + 64;
        continue;
      }
    }
    while (true) {
      std::uint64_t events = quotes;
      if (state == reading::in_apostrophes) events = apostrophes;
      if (state == reading::in_double_quotes) events = double_quotes;
      if (next > start) events &= bits_from(next - start);
      if (events == 0) break;
      const std::size_t at = start + static_cast<std::size_t>(std::countr_zero(events));
      next = at + 1;
      if (state == reading::outside) {
        open = at;
        state = ((apostrophes >> (at - start)) & 1) != 0 ? reading::in_apostrophes
                                                        : reading::in_double_quotes;
      } else {
        lift(open, at);
        state = reading::outside;
      }
    }
  }
  // An unterminated string is left to compaction as it is, with all that follows it.
  if (write != read) std::memmove(text + write, text + read, size - read);
  working_text.resize(write + (size - read));
  protected_strings.used_ = static_cast<std::size_t>(out - records);
  protected_strings.count += count;
  protected_strings.content_bytes += content_bytes;
  return to_count(protected_strings.size());
}

bool restore_strings(std::string& working_text, const lifted_strings& protected_strings,
                     std::int32_t string_count) {
  if (string_count <= 0) return true;
  const std::size_t entries = static_cast<std::size_t>(string_count);
  if (entries > protected_strings.size()) return false;

  // First make sure every entry has its pair, so that a failure leaves the text as it was.
  // Each search starts just past the previous pair's second quote: touching pairs ("""")
  // then each get their own entry.
  const std::size_t old_size = working_text.size();
  if (emptied_pair_finder(working_text, 0).count(entries) < entries) return false;
  std::size_t inserted = protected_strings.content_bytes;
  if (entries < protected_strings.size()) {
    inserted = 0;
    lifted_reader sizes(protected_strings);
    for (std::size_t i = 0; i < entries; ++i) inserted += sizes.next().size();
  }

  // Slide the text to the end of the enlarged buffer, then merge forward: the write cursor
  // trails the read cursor by exactly the bytes still to insert, so nothing unread is
  // overwritten. Once the two meet, every entry left is empty and the rest of the text is
  // already in place (on a text of empty strings, at once).
  working_text.resize(old_size + inserted);
  char* const text = working_text.data();
  const std::string_view view(working_text);
  if (inserted > 0) std::memmove(text + inserted, text, old_size);
  std::size_t read = inserted;
  std::size_t write = 0;
  emptied_pair_finder pairs(view, inserted);
  // The records are read in place, a one-byte length (every entry under 128 bytes) without
  // a call.
  std::string_view records = protected_strings.records();
  const char* const records_end = records.data() + records.size();
  for (std::size_t i = 0; i < entries && write != read; ++i) {
    const std::size_t pair = pairs.next();
    // Sixteen bytes may be stored at write while they all lie below the pair's second quote,
    // which is read - write bytes ahead both before and after the first copy.
    const bool room_below = read - write >= 16;
    copy_forward(text + write, text + read, pair + 1 - read,
                 room_below && read + 16 <= view.size());
    write += pair + 1 - read;
    std::size_t length = static_cast<unsigned char>(records.front());
    if (length < 0x80) {
      records.remove_prefix(1);
    } else {
      length = read_varint(records);
    }
    copy_forward(text + write, records.data(), length,
                 room_below && records.data() + 16 <= records_end);
    records.remove_prefix(length);
    write += length;
    text[write++] = text[pair + 1];
    read = pair + 2;
  }
  if (write != read) std::memmove(text + write, text + read, view.size() - read);
  return true;
}
