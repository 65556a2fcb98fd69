// Looking at a text 64 bytes at a time, and the reading of quotes, escapes and line breaks
// that both text stages share. Bit k of a mask stands for byte k of a block.
//
// The lanes are the one platform choice of the stages: 32 bytes where this copy of the
// stages is built for AVX2, 16 with SSE2 (every x86-64 has it), one byte at a time
// elsewhere, all with the same results. Everything else is built on the lane operations.
// Included once per code path (minifier/code_path.h), inside that path's namespace.
#ifndef MINIFIER_BLOCK_SCANNER_H_
#define MINIFIER_BLOCK_SCANNER_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "minifier/bit_tricks.h"
#include "minifier/byte_classes.h"

#if defined(CSSQUEEZE_AVX2_PATH)
#include <immintrin.h>
#elif defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "minifier/code_path_begin.h"

using byte_class::just;

#if defined(CSSQUEEZE_AVX2_PATH)

struct byte_lane {
  __m256i bytes;
};
inline byte_lane load_lane(const char* at) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))};
}
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  __m256i hits = _mm256_setzero_si256();
  ((hits = _mm256_or_si256(hits, _mm256_cmpeq_epi8(lane.bytes, _mm256_set1_epi8(Bytes)))), ...);
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(hits));
}
// The carry-less product with all ones is the prefix XOR in one instruction.
inline std::uint64_t running_xor(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)),
                                               _mm_set1_epi8(-1), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

#elif defined(__SSE2__) || defined(_M_X64)

struct byte_lane {
  __m128i bytes;
};
inline byte_lane load_lane(const char* at) {
  return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
}
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(lane.bytes, _mm_set1_epi8(Bytes)))), ...);
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}
inline std::uint64_t running_xor(std::uint64_t x) { return prefix_xor(x); }

#else

struct byte_lane {
  char bytes[16];
};
inline byte_lane load_lane(const char* at) {
  byte_lane lane;
  std::memcpy(lane.bytes, at, sizeof lane.bytes);
  return lane;
}
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  std::uint32_t mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    mask |= static_cast<std::uint32_t>(((lane.bytes[i] == Bytes) || ...)) << i;
  }
  return mask;
}
inline std::uint64_t running_xor(std::uint64_t x) { return prefix_xor(x); }

#endif

constexpr std::size_t lane_size = sizeof(byte_lane);
constexpr std::size_t not_found = std::string_view::npos;

// Bit k set: byte k of the lane is in the class (a list of bytes of byte_classes.h).
template <const auto& Class>
std::uint32_t lane_matches_class(byte_lane lane) {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return lane_matches<Class[I]...>(lane);
  }(std::make_index_sequence<Class.size()>{});
}

// The first byte of text[from, size) that is in the class (with In false: that is not),
// or size.
template <const auto& Class, bool In = true>
std::size_t find_in_class(const char* text, std::size_t size, std::size_t from) {
  constexpr auto flip = static_cast<std::uint32_t>(In ? 0 : bits_below(lane_size));
  for (; from + lane_size <= size; from += lane_size) {
    const std::uint32_t mask = lane_matches_class<Class>(load_lane(text + from)) ^ flip;
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
  while (from < size && byte_class::contains({Class.data(), Class.size()},
                                               static_cast<unsigned char>(text[from])) != In) {
    ++from;
  }
  return from;
}

#if defined(CSSQUEEZE_AVX2_PATH)
// The classes of the layout (byte_classes.h) each byte of the lane is in, as a byte of bits:
// one byte shuffle looks up the low half of every byte, one the high half.
inline __m256i both_halves(const std::array<unsigned char, 16>& table) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}
template <const byte_class::nibble_layout& Layout>
__m256i lane_classes(byte_lane lane) {
  // A byte from 0x80 up finds 0 in the low table: the shuffle gives 0 for such an index.
  const __m256i lows = _mm256_shuffle_epi8(both_halves(Layout.low), lane.bytes);
  const __m256i high_halves = _mm256_and_si256(_mm256_srli_epi16(lane.bytes, 4), _mm256_set1_epi8(15));
  return _mm256_and_si256(lows, _mm256_shuffle_epi8(both_halves(Layout.high), high_halves));
}

// Bit k set: byte k of the lane has one of the bits of its classes.
template <unsigned Bits>
std::uint32_t lane_has_bits(__m256i classes) {
  if constexpr (std::has_single_bit(Bits)) {
    // The one bit moved to the top of its byte: a 16-bit shift never carries a bit of the
    // low byte into the top of the high one.
    constexpr int shift = 7 - std::countr_zero(Bits);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(classes, shift)));
  } else {
    // Any of the bits lifts the byte to 0x80 or more.
    const __m256i chosen = _mm256_and_si256(classes, _mm256_set1_epi8(static_cast<char>(Bits)));
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_adds_epu8(chosen, _mm256_set1_epi8(0x7F))));
  }
}
#endif

// Sixty-four bytes of a text, looked at together. At the end of the text the block is
// padded with `padding`, which the caller picks so that it reads as the end of the text
// does. With AVX2 each byte is classified once into the eight classes of the stage's layout;
// a class no union of those is (or every class, with no layout) is looked for byte by byte,
// as on the other paths. Classes is void, or a type whose `layout` is the stage's layout.
template <typename Classes = void>
class byte_block {
 public:
  byte_block(std::string_view text, std::size_t from, char padding = '\0') {
    const char* at = text.data() + from;
    char padded[64];
    if (from + 64 > text.size()) {
      std::memset(padded, padding, sizeof padded);
      std::memcpy(padded, at, text.size() - from);
      at = padded;
    }
    for (std::size_t i = 0; i < lane_count; ++i) lanes_[i] = load_lane(at + lane_size * i);
#if defined(CSSQUEEZE_AVX2_PATH)
    if constexpr (!std::is_void_v<Classes>) {
      for (std::size_t i = 0; i < lane_count; ++i) {
        classes_[i] = lane_classes<Classes::layout>(lanes_[i]);
      }
    }
#endif
    following_ = from + 64 < text.size() ? text[from + 64] : padding;
  }

  // Bit k set: byte k is in the class.
  template <const auto& Class>
  std::uint64_t any_in() const {
    std::uint64_t mask = 0;
#if defined(CSSQUEEZE_AVX2_PATH)
    constexpr unsigned bits = layout_bits<Class>();
    if constexpr (bits != 0) {
      for (std::size_t i = 0; i < lane_count; ++i) {
        mask |= static_cast<std::uint64_t>(lane_has_bits<bits>(classes_[i])) << (lane_size * i);
      }
      return mask;
    }
#endif
    for (std::size_t i = 0; i < lane_count; ++i) {
      mask |= static_cast<std::uint64_t>(lane_matches_class<Class>(lanes_[i])) << (lane_size * i);
    }
    return mask;
  }

  // The bits of the layout that make up the class, or 0 to compare byte by byte.
  template <const auto& Class>
  static constexpr unsigned layout_bits() {
    if constexpr (std::is_void_v<Classes>) {
      return 0;
    } else {
      return byte_class::bits_of(Classes::layout, Class);
    }
  }

  // The byte after the block (the padding at the end of the text).
  char following() const { return following_; }

  // The 64 bytes, loaded already, stored at `to` (which may overlap where they came from).
  void store_to(char* to) const {
    for (std::size_t i = 0; i < lane_count; ++i) std::memcpy(to + lane_size * i, &lanes_[i], lane_size);
  }

  // The 64 bytes into out[0, 64), and zeros after them, where the last wide load of
  // move_kept() may read.
  void copy_to(char (&out)[96]) const {
    store_to(out);
    std::memset(out + 64, 0, 32);
  }

 private:
  static constexpr std::size_t lane_count = 64 / lane_size;
  byte_lane lanes_[lane_count];
#if defined(CSSQUEEZE_AVX2_PATH)
  __m256i classes_[lane_count];
#endif
  char following_;
};

#if defined(CSSQUEEZE_AVX2_PATH)
// For each way to keep some of eight bytes (bit k: byte k stays), the byte shuffle that
// packs the kept ones to the front.
constexpr std::array<std::array<char, 8>, 256> pack_orders = [] {
  std::array<std::array<char, 8>, 256> orders{};
  for (unsigned pattern = 0; pattern < 256; ++pattern) {
    unsigned next = 0;
    for (unsigned k = 0; k < 8; ++k) {
      if (((pattern >> k) & 1) != 0) orders[pattern][next++] = static_cast<char>(k);
    }
  }
  return orders;
}();
#endif

// Moves the kept bytes of a block below `limit` (bit k of keep: bytes[k], copied out by
// byte_block::copy_to from text[at + k]) to text[write] on, and returns the new write.
// Once the kept prefix trails the block far enough, stores are wider than what they keep:
// each ends at or before the place its first byte came from, so it overwrites only bytes
// already copied out, never a byte past `limit`.
inline std::size_t move_kept(char* text, std::size_t write, std::size_t at, const char* bytes,
                             std::uint64_t keep, std::size_t limit) {
  keep &= bits_below(limit);
#if defined(CSSQUEEZE_AVX2_PATH)
  // With a byte shuffle at hand, the kept bytes of each eight are packed to the front of a
  // register in one step and stored at once, whatever the number of runs.
  if (at - write >= 8) {
    for (std::size_t first = 0; first < limit; first += 8) {
      const unsigned pattern = static_cast<unsigned>(keep >> first) & 0xFF;
      const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + first));
      const __m128i order =
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pack_orders[pattern].data()));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(text + write), _mm_shuffle_epi8(eight, order));
      write += static_cast<std::size_t>(_mm_popcnt_u32(pattern));
    }
    return write;
  }
#endif
  // Otherwise run by run: once 32 bytes behind, each run with two sixteen-byte stores
  // whatever its length (most runs are shorter), so the processor need not guess a loop's
  // length; before that byte by byte, and nothing at all while the bytes are in place.
  std::uint64_t lasts = keep & ~(keep >> 1);
  const bool wide = at - write >= 32;
  std::uint64_t firsts = run_starts(keep);
  for (; firsts != 0; firsts &= firsts - 1, lasts &= lasts - 1) {
    const std::size_t first = static_cast<std::size_t>(std::countr_zero(firsts));
    const std::size_t length = static_cast<std::size_t>(std::countr_zero(lasts)) + 1 - first;
    if (wide) {
      std::memcpy(text + write, bytes + first, 16);
      std::memcpy(text + write + 16, bytes + first + 16, 16);
      for (std::size_t i = 32; i < length; i += 16) {
        std::memcpy(text + write + i, bytes + first + i, 16);
      }
    } else if (write != at + first) {
      for (std::size_t i = 0; i < length; ++i) text[write + i] = bytes[first + i];
    }
    write += length;
  }
  return write;
}

// Just past the hex digits of an escape whose first byte is at `first`: CSS takes one to
// six; `first` itself when it is no hex digit.
inline constexpr std::array<bool, 256> hex_digit_bytes = byte_class::table(byte_class::hex_digits);
inline std::size_t hex_digits_end(std::string_view text, std::size_t first) {
  std::size_t end = first;
  while (end < text.size() && end - first < 6 && hex_digit_bytes[static_cast<unsigned char>(text[end])]) {
    ++end;
  }
  return end;
}

// What the reading of a text is inside of at a byte. After an unterminated quote (one that
// no quote of its kind or line break ends) nothing opens any more, where the reader looks
// ahead to know it.
enum class reading { outside, in_apostrophes, in_double_quotes, in_comment, finished };

inline bool is_in_string(reading state) {
  return state == reading::in_apostrophes || state == reading::in_double_quotes;
}

// What the reading says of a block (bit k: byte k): the bytes that can change the reading
// (its escapes, and what they leave of its quotes and line breaks), and the quotes and line
// breaks the reading found to open or end strings.
struct reading_events {
  std::uint64_t backslashes;
  std::uint64_t escaped;        // bytes after an odd run of backslashes
  std::uint64_t apostrophes;    // unescaped
  std::uint64_t double_quotes;  // unescaped
  std::uint64_t line_breaks;    // LF, CR, FF that would end a string they stand in
  std::uint64_t quotes = 0;  // that open strings, and the quotes or line breaks that end them
};

// The reading of a text's quotes that both stages share, block after block, left to right:
// outside, a ' or " that no odd run of backslashes escapes opens a string, which the next
// unescaped quote of the same kind closes, or else the next unescaped line break (LF, CR
// or FF), as CSS ends a string there; where comments count, "/*" outside strings opens a
// comment that the first "*/" from its '*' on closes, and quotes inside it are ordinary
// bytes. The scanner holds all that carries from one block to the next: whether the bytes
// read end in an odd run of backslashes or an escaped CR (whose LF is escaped too), what
// the reading is inside of, and the bit of the next block it resumes at. So no byte before
// a block is read again: a stage may have overwritten it.
class block_scanner {
 public:
  // Reads the next block, given its comment openers and closers (bit k: the pair begins at
  // byte k) where comments count.
  // The block begins at `at` in text, whose bytes from there on are as loaded. An opener
  // behind an odd run of backslashes is part of a name and opens nothing.
  // Kept inline in both stages: callgrind on 10 MB of the frameworks file, whole run,
  // AVX2 104.0 -> 101.0 M instructions (SSE2 149.1 -> 150.7 M).
  template <typename Block>
  [[gnu::always_inline]] reading_events read(std::string_view text, std::size_t at,
                                             const Block& block, std::uint64_t openers = 0,
                                             std::uint64_t closers = 0) {
    reading_events found;
    found.backslashes = block.template any_in<just<'\\'>>();
    found.escaped = escaped_bits(found.backslashes, odd_run_);
    found.apostrophes = block.template any_in<just<'\''>>() & ~found.escaped;
    found.double_quotes = block.template any_in<just<'"'>>() & ~found.escaped;
    const std::uint64_t breaks = block.template any_in<byte_class::string_breaks>();
    found.line_breaks = breaks & ~found.escaped;
    if ((breaks & found.escaped) != 0 || escaped_cr_) {  // rare: a backslash before a break
      const std::uint64_t escaped_crs = block.template any_in<just<'\r'>>() & found.escaped;
      const std::uint64_t after_escaped_cr = (escaped_crs << 1) | (escaped_cr_ ? 1 : 0);
      found.line_breaks &= ~(after_escaped_cr & block.template any_in<just<'\n'>>());
      escaped_cr_ = (escaped_crs >> 63) != 0;
    }
    // A line break that ends a hex escape begun in an earlier block is the escape's own.
    if (carried_break_end_ > at) found.line_breaks &= ~carried_break(at);
    if ((found.escaped >> 57) != 0) carry_break_past(text, at, found.escaped);
    if (state_ != reading::finished) {
      found.quotes = read_quotes(text, at, found, openers & ~found.escaped, closers);
    }
    return found;
  }

  // After a block passed over with no backslash in it.
  void pass_over() {
    odd_run_ = false;
    escaped_cr_ = false;
  }

  // For a reader that looks ahead: the string open ends before the next block, or never.
  void set_state(reading state) { state_ = state; }

  reading state() const { return state_; }
  // Whether the bytes read end in an odd run of backslashes.
  bool ends_in_escape() const { return odd_run_; }

 private:
  // Reads a block from bit from_ on, and returns the quotes that open strings and the quotes
  // or line breaks that end them. state_ becomes the reading at the block's end, and from_
  // the first bit of the next block still to read (1 when a closer's '/' was that block's
  // first byte).
  std::uint64_t read_quotes(std::string_view text, std::size_t block_at,
                            const reading_events& events, std::uint64_t openers,
                            std::uint64_t closers) {
    const std::uint64_t quotes = events.apostrophes | events.double_quotes;
    if (from_ == 0 && state_ != reading::in_comment) {
      // Each kind of quote alone marks the strings it would make if no string held a quote
      // of the other kind (prefix_xor, with a string open at the block's start counted as
      // opened before it). When the two sets do not overlap, that is so, and if no comment
      // opener lies outside them and no line break inside them, every quote of the block
      // opens or closes a string in turn.
      // Most blocks with quotes are read this way, in a few steps whatever their number:
      // 100 MB of '' costs no more than typical text.
      const std::uint64_t in_apostrophes =
          running_xor(events.apostrophes) ^ (state_ == reading::in_apostrophes ? all_bits : 0);
      const std::uint64_t in_double_quotes =
          running_xor(events.double_quotes) ^ (state_ == reading::in_double_quotes ? all_bits : 0);
      const std::uint64_t inside = in_apostrophes | in_double_quotes;
      if ((in_apostrophes & in_double_quotes) == 0 && (openers & ~inside) == 0 &&
          (events.line_breaks & inside) == 0) {
        state_ = (in_apostrophes >> 63) != 0    ? reading::in_apostrophes
                : (in_double_quotes >> 63) != 0 ? reading::in_double_quotes
                                                : reading::outside;
        return quotes;
      }
    }
    // Otherwise from one event to the next.
    std::uint64_t found = 0;
    while (from_ < 64) {
      std::uint64_t next = closers;
      if (state_ == reading::outside) next = quotes | openers;
      if (state_ == reading::in_apostrophes) next = events.apostrophes | events.line_breaks;
      if (state_ == reading::in_double_quotes) next = events.double_quotes | events.line_breaks;
      next &= bits_from(from_);
      if (next == 0) break;
      const std::size_t at = static_cast<std::size_t>(std::countr_zero(next));
      const std::uint64_t bit = std::uint64_t{1} << at;
      from_ = at + 1;
      if (state_ == reading::in_comment) {
        state_ = reading::outside;
        from_ = at + 2;  // past the closer's '/'
      } else if (state_ != reading::outside) {
        // Rare: a line break in a string that ends a hex escape goes on with the string.
        if ((events.line_breaks & bit) != 0 && ends_hex_escape(text, block_at, events.escaped, at)) {
          continue;
        }
        found |= bit;
        state_ = reading::outside;
      } else if ((openers & bit) != 0) {
        state_ = reading::in_comment;
        from_ = at + 2;  // its closer begins past the opener's '*'
      } else {
        found |= bit;
        state_ = (events.apostrophes & bit) != 0 ? reading::in_apostrophes
                                                 : reading::in_double_quotes;
      }
    }
    from_ = from_ > 64 ? from_ - 64 : 0;
    return found;
  }

  // Whether the line break at bit k of the block at `at` ends a hex escape in the block:
  // one to six hex digits before it (before the CR of a CR LF) after an escaped byte.
  static bool ends_hex_escape(std::string_view text, std::size_t at, std::uint64_t escaped,
                              std::size_t k) {
    if (text[at + k] == '\n' && k > 0 && text[at + k - 1] == '\r') --k;
    for (std::size_t digits = 1; digits <= 6 && digits <= k; ++digits) {
      if (!hex_digit_bytes[static_cast<unsigned char>(text[at + k - digits])]) return false;
      if (((escaped >> (k - digits)) & 1) != 0) return true;
    }
    return false;
  }

  // When the block's last escape, begun in its last seven bytes, ends in a line break past
  // the block, keeps that break for the blocks that hold it.
  void carry_break_past(std::string_view text, std::size_t at, std::uint64_t escaped) {
    const std::size_t first = at + 63 - static_cast<std::size_t>(std::countl_zero(escaped));
    const std::size_t end = hex_digits_end(text, first);
    if (end == first || end >= text.size() ||
        !byte_class::contains(byte_class::string_breaks, static_cast<unsigned char>(text[end]))) {
      return;
    }
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    if (end + (crlf ? 1 : 0) < at + 64) return;  // in the block: found where it is met
    carried_break_begin_ = end;
    carried_break_end_ = end + (crlf ? 2 : 1);
  }

  // The bits of the block at `at` that the carried break covers.
  std::uint64_t carried_break(std::size_t at) const {
    std::uint64_t bits = 0;
    for (std::size_t i = std::max(carried_break_begin_, at); i < carried_break_end_ && i < at + 64; ++i) {
      bits |= std::uint64_t{1} << (i - at);
    }
    return bits;
  }

  bool odd_run_ = false;
  bool escaped_cr_ = false;
  // The line break of a hex escape from an earlier block: [begin, end).
  std::size_t carried_break_begin_ = 0;
  std::size_t carried_break_end_ = 0;
  reading state_ = reading::outside;
  std::size_t from_ = 0;
};

#include "minifier/code_path_end.h"

#endif  // MINIFIER_BLOCK_SCANNER_H_
