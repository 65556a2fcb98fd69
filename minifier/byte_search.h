// Byte searches, 64-byte block masks and the small encoding shared by the stages. They look
// at sixteen bytes at a time where the processor has SSE2 (every x86-64 does) and go byte
// by byte elsewhere, with the same results; the benchmark numbers that justified each one
// are where a stage uses it, or beside it. Internal to minifier/: the processor test is the
// only #if.
#ifndef MINIFIER_BYTE_SEARCH_H_
#define MINIFIER_BYTE_SEARCH_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define CSSQUEEZE_SSE2 1
#endif

constexpr std::size_t not_found = std::string_view::npos;

// True when text[position] stands behind an odd number of consecutive backslashes, looking
// no further back than floor: callers pass 0, or a floor whose previous byte is a quote.
inline bool is_escaped_after(std::string_view text, std::size_t floor, std::size_t position) {
  std::size_t count = 0;
  while (position - count > floor && text[position - count - 1] == '\\') ++count;
  return count % 2 == 1;
}

template <char... Bytes>
constexpr bool is_any_of(char byte) {
  return ((byte == Bytes) || ...);
}

#ifdef CSSQUEEZE_SSE2
// Bit k set: at[k] is one of Bytes. Reads sixteen bytes from at.
template <char... Bytes>
unsigned match_mask(const char* at) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(Bytes)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The first of Bytes in text[from, size), or size: sixteen bytes at a time where the
// processor allows.
template <char... Bytes>
std::size_t find_any_of(const char* text, std::size_t size, std::size_t from) {
#ifdef CSSQUEEZE_SSE2
  for (; from + 16 <= size; from += 16) {
    const unsigned mask = match_mask<Bytes...>(text + from);
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  while (from < size && !is_any_of<Bytes...>(text[from])) ++from;
  return from;
}

// The first byte at or after from, or not_found. Looks at the next few bytes, then the next
// sixteen, itself before calling memchr: inside short comments the call costs more than
// the search. comments_bench, best of 5 on
// 16 MiB, scan_quotes+remove_comments: only_empty_comments 156 -> 312 MB/s.
inline std::size_t find_byte(std::string_view text, std::size_t from, char byte) {
  const std::size_t size = text.size();
  // The byte is often right there: a few plain compares answer before any setup.
  const std::size_t near_end = std::min(size, from + 4);
  for (; from < near_end; ++from) {
    if (text[from] == byte) return from;
  }
  if (from >= size) return not_found;
#ifdef CSSQUEEZE_SSE2
  if (from + 16 <= size) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
    from += 16;
    if (from == size) return not_found;
  }
#endif
  const void* found = std::memchr(text.data() + from, byte, size - from);
  return found == nullptr ? not_found
                          : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

// Copies count bytes from source to destination, front to back; the two may overlap when
// destination is the lower. With wide, the caller promises that sixteen bytes may be read
// at source and written at destination whatever count is, and a count up to sixteen then
// takes one load and one store: no loop whose length the processor cannot guess, which
// between short strings of varying length costs more than the copy.
inline void copy_forward(char* destination, const char* source, std::size_t count,
                         [[maybe_unused]] bool wide) {
#ifdef CSSQUEEZE_SSE2
  if (wide && count <= 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(source)));
    return;
  }
#endif
  if (count > 16) {
    std::memmove(destination, source, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) destination[i] = source[i];
}

// Sixty-four bytes of a text looked at together, for stages that follow quotes through
// texts dense in them: bit k of a mask stands for the byte at from + k. Near the end the
// bytes past the text read as zero, which none of the searched bytes is.
class byte_block {
 public:
  byte_block(std::string_view text, std::size_t from) {
    const char* at = text.data() + from;
    char padded[64];
    if (from + 64 > text.size()) {
      std::memset(padded, 0, sizeof padded);
      std::memcpy(padded, at, text.size() - from);
      at = padded;
    }
#ifdef CSSQUEEZE_SSE2
    for (int i = 0; i < 4; ++i) {
      parts_[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
    }
#else
    std::memcpy(bytes_, at, sizeof bytes_);
#endif
    following_ = from + 64 < text.size() ? text[from + 64] : '\0';
  }

  // Bit k set: byte k is the given byte.
  std::uint64_t equal_to(char byte) const {
#ifdef CSSQUEEZE_SSE2
    const __m128i wanted = _mm_set1_epi8(byte);
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      const unsigned part =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(parts_[i], wanted)));
      mask |= static_cast<std::uint64_t>(part) << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
      mask |= static_cast<std::uint64_t>(bytes_[i] == byte) << i;
    }
    return mask;
#endif
  }

  // Bit k set: byte k is one of Bytes.
  template <char... Bytes>
  std::uint64_t any_of() const {
#ifdef CSSQUEEZE_SSE2
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      __m128i hits = _mm_setzero_si128();
      ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(parts_[i], _mm_set1_epi8(Bytes)))), ...);
      mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)))
              << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
      mask |= static_cast<std::uint64_t>(is_any_of<Bytes...>(bytes_[i])) << i;
    }
    return mask;
#endif
  }

  // The 64 bytes, into out[0, 64).
  void copy_to(char* out) const {
#ifdef CSSQUEEZE_SSE2
    for (int i = 0; i < 4; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), parts_[i]);
    }
#else
    std::memcpy(out, bytes_, sizeof bytes_);
#endif
  }

  // Bit k set: byte k is first and byte k + 1 second (the byte after the block counts).
  std::uint64_t pairs_of(char first, char second) const {
    const std::uint64_t next_is_second =
        (equal_to(second) >> 1) | (static_cast<std::uint64_t>(following_ == second) << 63);
    return equal_to(first) & next_is_second;
  }

 private:
#ifdef CSSQUEEZE_SSE2
  __m128i parts_[4];
#else
  char bytes_[64];
#endif
  char following_;
};

// True when the 64 bytes at text[from] are all there and none of them is one of Bytes: the
// common block of a real stylesheet, with no quote in it, is passed over at about a third
// of the cost of making its masks. On only_spaces, 16 MiB: comments_bench, scan_quotes
// about 6700 -> 18000 MB/s; string_protection_bench, extract_strings 6300 -> 23000.
template <char... Bytes>
bool has_none_of(std::string_view text, std::size_t from) {
  if (from + 64 > text.size()) return false;
  const char* at = text.data() + from;
#ifdef CSSQUEEZE_SSE2
  __m128i hits = _mm_setzero_si128();
  for (int i = 0; i < 4; ++i) {
    const __m128i part = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(part, _mm_set1_epi8(Bytes)))), ...);
  }
  return _mm_movemask_epi8(hits) == 0;
#else
  for (int i = 0; i < 64; ++i) {
    if (is_any_of<Bytes...>(at[i])) return false;
  }
  return true;
#endif
}

// The bits of a block whose byte is not a backslash and stands behind an odd run of
// backslashes, given the block's backslashes. odd_run_before says whether the text before the block ends in an odd run,
// and is updated to say the same of the block's end: the test thus never looks back into
// bytes that a stage may already have overwritten.
inline std::uint64_t escaped_bits(std::uint64_t backslashes, bool& odd_run_before) {
  if (backslashes == 0) {
    const std::uint64_t escaped = odd_run_before ? 1 : 0;
    odd_run_before = false;
    return escaped;
  }
  // A run of backslashes escapes the byte after it when its length is odd, that is when
  // it starts and ends on bits of different parity. Adding a run's first bit to the mask
  // clears the run and sets the bit after it, so one addition per parity of start finds
  // every run's end. A run that goes on from the block before counts as starting on an
  // odd bit when that part was odd. Against a loop over the runs, 16 MiB, mean of 5, on
  // backslash_before_every_quote: string_protection_bench, extract_strings 1290 -> 3440
  // MB/s; comments_bench, scan_quotes 1520 -> 4870.
  constexpr std::uint64_t even_bits = 0x5555555555555555;
  const bool carried = odd_run_before;
  const std::uint64_t starts = backslashes & ~(backslashes << 1);
  std::uint64_t even_starts = starts & even_bits;
  std::uint64_t odd_starts = starts & ~even_bits;
  std::uint64_t escaped = 0;
  if (carried) {
    if ((backslashes & 1) != 0) {
      even_starts &= ~std::uint64_t{1};
      odd_starts |= 1;
    } else {
      escaped = 1;
    }
  }
  const std::uint64_t after_even_starts = (backslashes + even_starts) & ~backslashes;
  const std::uint64_t after_odd_starts = (backslashes + odd_starts) & ~backslashes;
  escaped |= (after_even_starts & ~even_bits) | (after_odd_starts & even_bits);
  // A run that reaches the block's end escapes the next block's first byte when odd.
  odd_run_before = false;
  if ((backslashes >> 63) != 0) {
    const unsigned run = static_cast<unsigned>(std::countl_one(backslashes));
    odd_run_before = ((run & 1) != 0) != (run == 64 && carried);
  }
  return escaped;
}

// Bit k set: an odd number of the bits 0 to k of x are set. Turns a block's string-quote
// bits into the bits inside strings, opening quotes included, closing ones not.
inline std::uint64_t prefix_xor(std::uint64_t x) {
  for (int shift = 1; shift < 64; shift *= 2) x ^= x << shift;
  return x;
}

// Whether an odd number of the bits of x are set. Folds the word instead of counting its
// bits: without a processor option for it, std::popcount is a library call.
inline bool has_odd_bit_count(std::uint64_t x) {
  for (int shift = 32; shift > 0; shift /= 2) x ^= x >> shift;
  return (x & 1) != 0;
}

// The bits from bit `first` on; none when first is 64 or more.
inline std::uint64_t bits_from(std::size_t first) {
  return first >= 64 ? 0 : ~std::uint64_t{0} << first;
}

// Numbers in a variable number of bytes: seven bits per byte, low bits first, the high bit
// set on every byte but the last. Small numbers, the common case, take one byte.
inline void write_varint(char*& out, std::size_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>(0x80 | (value & 0x7F));
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
}

// Reads one number written by write_varint from the front of in, and drops its bytes.
inline std::size_t read_varint(std::string_view& in) {
  std::size_t value = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
    value |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return value;
  }
}

#endif  // MINIFIER_BYTE_SEARCH_H_
