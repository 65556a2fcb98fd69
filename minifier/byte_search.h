// Byte searches and the small encoding shared by the stages. Searches look at sixteen
// bytes at a time where the processor has SSE2 (every x86-64 does) and go byte by byte
// elsewhere; the benchmark numbers that justified each one are where a stage uses it.
// Internal to minifier/: the processor test below is the only #if.
#ifndef MINIFIER_BYTE_SEARCH_H_
#define MINIFIER_BYTE_SEARCH_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>
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

// The first byte at or after from, or not_found. Looks at the next few bytes, then the next
// sixteen, itself before calling memchr: between the quotes of short strings, or inside
// short comments, the call costs more than the search. comments_bench, best of 5 on
// 16 MiB, scan_quotes+remove_comments: only_empty_comments 156 -> 312 MB/s;
// string_protection_bench, extract_strings on only_empty_strings 52 -> 219 MB/s.
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

// Finds, left to right, any of Bytes, keeping the last loaded block's matches so that a
// text dense in them costs one load per sixteen bytes, not one per match. The text must
// not change at or after the positions asked for (bytes before them may).
template <char... Bytes>
class byte_finder {
 public:
  explicit byte_finder(std::string_view text) : text_(text) {}

  // The first of Bytes at or after from, or not_found.
  std::size_t find(std::size_t from) {
    const std::size_t size = text_.size();
#ifdef CSSQUEEZE_SSE2
    if (has_block_ && from >= block_ && from < block_ + 16) {
      const unsigned rest = matches_ & ~((1u << (from - block_)) - 1);
      if (rest != 0) return block_ + static_cast<std::size_t>(std::countr_zero(rest));
      from = block_ + 16;
    }
    for (; from + 16 <= size; from += 16) {
      const unsigned matches = match_mask<Bytes...>(text_.data() + from);
      if (matches != 0) {
        has_block_ = true;
        block_ = from;
        matches_ = matches;
        return from + static_cast<std::size_t>(std::countr_zero(matches));
      }
    }
#endif
    for (; from < size; ++from) {
      if (is_any_of<Bytes...>(text_[from])) return from;
    }
    return not_found;
  }

 private:
  std::string_view text_;
  bool has_block_ = false;
  std::size_t block_ = 0;  // where the last block with matches begins
  unsigned matches_ = 0;   // bit k set: text_[block_ + k] is a match
};

// Numbers in a variable number of bytes: seven bits per byte, low bits first, the high bit
// set on every byte but the last. Small numbers, the common case, take one byte.
inline void append_varint(std::string& out, std::size_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(0x80 | (value & 0x7F)));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

// Reads one number written by append_varint from the front of in, and drops its bytes.
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
