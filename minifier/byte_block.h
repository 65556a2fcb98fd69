// Looking at many bytes of a text at once: sixteen at a time where the processor has SSE2
// (every x86-64 does), one at a time elsewhere, with the same results. The processor test
// below is the only platform choice in the text stages; everything else is built on the
// four lane operations it defines.
#ifndef MINIFIER_BYTE_BLOCK_H_
#define MINIFIER_BYTE_BLOCK_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

// Sixteen bytes in one register.
struct byte_lane {
  __m128i bytes;
};
inline byte_lane load_lane(const char* at) {
  return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
}
inline void store_lane(char* at, byte_lane lane) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), lane.bytes);
}
// Bit k set: byte k of the lane is one of Bytes.
template <char... Bytes>
unsigned lane_matches(byte_lane lane) {
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(lane.bytes, _mm_set1_epi8(Bytes)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

#else

struct byte_lane {
  char bytes[16];
};
inline byte_lane load_lane(const char* at) {
  byte_lane lane;
  std::memcpy(lane.bytes, at, sizeof lane.bytes);
  return lane;
}
inline void store_lane(char* at, byte_lane lane) { std::memcpy(at, lane.bytes, 16); }
template <char... Bytes>
unsigned lane_matches(byte_lane lane) {
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    mask |= static_cast<unsigned>(((lane.bytes[i] == Bytes) || ...)) << i;
  }
  return mask;
}

#endif

constexpr std::size_t not_found = std::string_view::npos;

// The first of Bytes in text[from, size), or size.
template <char... Bytes>
std::size_t find_any_of(const char* text, std::size_t size, std::size_t from) {
  for (; from + 16 <= size; from += 16) {
    const unsigned mask = lane_matches<Bytes...>(load_lane(text + from));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
  while (from < size && !((text[from] == Bytes) || ...)) ++from;
  return from;
}

// Sixty-four bytes of a text, looked at together: bit k of a mask stands for byte k. At
// the end of the text the block is padded with `padding`, which the caller picks so that
// it reads as the end of the text does.
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
    for (int i = 0; i < 4; ++i) lanes_[i] = load_lane(at + 16 * i);
    following_ = from + 64 < text.size() ? text[from + 64] : padding;
  }

  // Bit k set: byte k is one of Bytes.
  template <char... Bytes>
  std::uint64_t any_of() const {
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      mask |= static_cast<std::uint64_t>(lane_matches<Bytes...>(lanes_[i])) << (16 * i);
    }
    return mask;
  }

  // Bit k set: byte k is First and the byte after it Second (the byte after the block
  // counts for bit 63).
  template <char First, char Second>
  std::uint64_t pairs() const {
    const std::uint64_t seconds = any_of<Second>();
    const std::uint64_t next_is_second =
        (seconds >> 1) | (static_cast<std::uint64_t>(following_ == Second) << 63);
    return any_of<First>() & next_is_second;
  }

  // The 64 bytes, into out[0, 64).
  void copy_to(char* out) const {
    for (int i = 0; i < 4; ++i) store_lane(out + 16 * i, lanes_[i]);
  }

 private:
  byte_lane lanes_[4];
  char following_;
};

// True when the 64 bytes at text[from] are all there and none is one of Bytes: most
// blocks of a real stylesheet hold no quote, backslash or slash, and this test passes
// over them at about a third of the cost of making their masks.
template <char... Bytes>
bool has_none_of(std::string_view text, std::size_t from) {
  if (from + 64 > text.size()) return false;
  unsigned hits = 0;
  for (int i = 0; i < 4; ++i) hits |= lane_matches<Bytes...>(load_lane(text.data() + from + 16 * i));
  return hits == 0;
}

#endif  // MINIFIER_BYTE_BLOCK_H_
