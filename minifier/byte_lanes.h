// The lanes: the one place where the stages differ by processor. 32 bytes at a time where
// this copy of the stages is built for AVX2, 16 with a byte shuffle where it is built for
// SSSE3, 16 with SSE2 (every x86-64 has it), one byte at a time elsewhere, all with the
// same results. Everything else of the stages is built on what this file offers, and has
// no per-processor branch of its own.
#ifndef MINIFIER_BYTE_LANES_H_
#define MINIFIER_BYTE_LANES_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "minifier/bit_tricks.h"
#include "minifier/byte_classes.h"
#include "minifier/path_stages.h"

#if defined(CSSQUEEZE_AVX2_PATH) || defined(CSSQUEEZE_SSSE3_PATH)
#include <immintrin.h>
#elif defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH {

// A byte repeated across a lane, kept in memory and never written. Not a constant: the
// compiler would build a constant anew in every block (three instructions on AVX2), where
// a value it must read is read by the compare itself.
template <char Byte, std::size_t Size>
alignas(32) inline std::array<char, Size> repeated = [] {
  std::array<char, Size> bytes;
  bytes.fill(Byte);
  return bytes;
}();

#if defined(CSSQUEEZE_AVX2_PATH) || defined(CSSQUEEZE_SSSE3_PATH)

// The few vector operations the lanes below are made of: 32 bytes wide on AVX2, 16 on SSSE3.
#if defined(CSSQUEEZE_AVX2_PATH)
using lane_vector = __m256i;
inline lane_vector load_vector(const void* at) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(at));
}
// VEX instructions read any address, so a table needs no aligned load.
inline lane_vector read_table(const void* at) { return load_vector(at); }
inline lane_vector no_bytes() { return _mm256_setzero_si256(); }
inline lane_vector or_bits(lane_vector a, lane_vector b) { return _mm256_or_si256(a, b); }
inline lane_vector and_bits(lane_vector a, lane_vector b) { return _mm256_and_si256(a, b); }
inline lane_vector equal_bytes(lane_vector a, lane_vector b) { return _mm256_cmpeq_epi8(a, b); }
inline lane_vector look_up(lane_vector table, lane_vector at) {
  return _mm256_shuffle_epi8(table, at);
}
inline lane_vector add_saturating(lane_vector a, lane_vector b) { return _mm256_adds_epu8(a, b); }
template <int Bits>
lane_vector shift_words_left(lane_vector a) {
  return _mm256_slli_epi16(a, Bits);
}
template <int Bits>
lane_vector shift_words_right(lane_vector a) {
  return _mm256_srli_epi16(a, Bits);
}
inline std::uint32_t top_bits(lane_vector a) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(a));
}
#else
using lane_vector = __m128i;
inline lane_vector load_vector(const void* at) {
  return _mm_loadu_si128(static_cast<const __m128i*>(at));
}
// Aligned, so that the compare or shuffle reads the table itself, with no load of its own.
inline lane_vector read_table(const void* at) {
  return _mm_load_si128(static_cast<const __m128i*>(at));
}
inline lane_vector no_bytes() { return _mm_setzero_si128(); }
inline lane_vector or_bits(lane_vector a, lane_vector b) { return _mm_or_si128(a, b); }
inline lane_vector and_bits(lane_vector a, lane_vector b) { return _mm_and_si128(a, b); }
inline lane_vector equal_bytes(lane_vector a, lane_vector b) { return _mm_cmpeq_epi8(a, b); }
inline lane_vector look_up(lane_vector table, lane_vector at) {
  return _mm_shuffle_epi8(table, at);
}
inline lane_vector add_saturating(lane_vector a, lane_vector b) { return _mm_adds_epu8(a, b); }
template <int Bits>
lane_vector shift_words_left(lane_vector a) {
  return _mm_slli_epi16(a, Bits);
}
template <int Bits>
lane_vector shift_words_right(lane_vector a) {
  return _mm_srli_epi16(a, Bits);
}
inline std::uint32_t top_bits(lane_vector a) {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(a));
}
#endif
// Bytes a lane holds.
constexpr std::size_t lane_size = sizeof(lane_vector);

struct byte_lane {
  lane_vector bytes;
};
inline byte_lane load_lane(const char* at) { return {load_vector(at)}; }
template <typename Byte>
lane_vector read_lane(const std::array<Byte, lane_size>& bytes) {
  return read_table(bytes.data());
}
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  lane_vector hits = no_bytes();
  ((hits = or_bits(hits, equal_bytes(lane.bytes, read_lane(repeated<Bytes, lane_size>)))), ...);
  return top_bits(hits);
}
// The carry-less product with all ones is the prefix XOR in one instruction.
inline std::uint64_t running_xor(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)),
                                               _mm_set1_epi8(-1), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}
inline int count_bits(std::uint64_t x) { return std::popcount(x); }

// The classes of a nibble layout (byte_classes.h) each byte of a lane is in, as a byte of
// bits: one byte shuffle looks up the low half of every byte, one the high half.
struct lane_classes {
  lane_vector bits;
};
constexpr bool lanes_classify = true;
// A table of sixteen once for each sixteen bytes of a lane (the shuffle looks up within
// each); in memory, as repeated is.
template <std::array<unsigned char, 16> Table>
alignas(32) inline std::array<unsigned char, lane_size> table_lane = [] {
  std::array<unsigned char, lane_size> copies;
  for (std::size_t at = 0; at < lane_size; at += 16) {
    std::copy(Table.begin(), Table.end(), copies.begin() + at);
  }
  return copies;
}();
template <const byte_class::nibble_layout& Layout>
lane_classes classify_lane(byte_lane lane) {
  // A byte from 0x80 up finds 0 in the low table: the shuffle gives 0 for such an index.
  const lane_vector lows = look_up(read_lane(table_lane<Layout.low>), lane.bytes);
  const lane_vector high_halves =
      and_bits(shift_words_right<4>(lane.bytes), read_lane(repeated<15, lane_size>));
  return {and_bits(lows, look_up(read_lane(table_lane<Layout.high>), high_halves))};
}

// Bit k set: byte k of the lane is the entry of a low_half_table (byte_classes.h) for its
// low half. A byte from 0x80 up finds 0, which it is not.
template <std::array<unsigned char, 16> Members>
std::uint32_t lane_matches_low_halves(byte_lane lane) {
  return top_bits(equal_bytes(look_up(read_lane(table_lane<Members>), lane.bytes), lane.bytes));
}

// Bit k set: byte k of the lane has one of the bits of its classes.
template <unsigned Bits>
std::uint32_t lane_has_bits(lane_classes classes) {
  if constexpr (std::has_single_bit(Bits)) {
    // The one bit moved to the top of its byte: a 16-bit shift never carries a bit of the
    // low byte into the top of the high one.
    return top_bits(shift_words_left<7 - std::countr_zero(Bits)>(classes.bits));
  } else {
    // Any of the bits lifts the byte to 0x80 or more.
    const lane_vector chosen =
        and_bits(classes.bits, read_lane(repeated<static_cast<char>(Bits), lane_size>));
    return top_bits(add_saturating(chosen, read_lane(repeated<0x7F, lane_size>)));
  }
}

// For each way to keep some of eight bytes (bit k: byte k stays), the byte shuffle that
// packs the kept ones to the front.
constexpr bool packs_by_shuffle = true;
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
// The bytes of eight that the pattern keeps, packed to the front and stored at `to` in one
// eight-byte store; returns how many there are.
inline std::size_t pack_eight(char* to, const char* eight_bytes, unsigned pattern) {
  const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(eight_bytes));
  const __m128i order =
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pack_orders[pattern].data()));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(eight, order));
  return static_cast<std::size_t>(_mm_popcnt_u32(pattern));
}

#else

#if defined(__SSE2__) || defined(_M_X64)
struct byte_lane {
  __m128i bytes;
};
inline byte_lane load_lane(const char* at) {
  return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
}
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  __m128i hits = _mm_setzero_si128();
  const auto read_lane = [](const std::array<char, 16>& bytes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data()));
  };
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(lane.bytes, read_lane(repeated<Bytes, 16>)))), ...);
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
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
template <char... Bytes>
std::uint32_t lane_matches(byte_lane lane) {
  std::uint32_t mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    mask |= static_cast<std::uint32_t>(((lane.bytes[i] == Bytes) || ...)) << i;
  }
  return mask;
}
#endif
inline std::uint64_t running_xor(std::uint64_t x) { return prefix_xor(x); }
// Not every processor counts bits in one instruction, and without it std::popcount is a
// call into the runtime; summed pairwise, a dozen instructions inline.
inline int count_bits(std::uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555;
  x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
  return static_cast<int>((x * 0x0101010101010101) >> 56);
}

// No byte shuffle: every class is looked for byte by byte, and kept bytes move run by run.
// (Declared only, for the branches these paths never take.)
struct lane_classes {};
constexpr bool lanes_classify = false;
template <const byte_class::nibble_layout& Layout>
lane_classes classify_lane(byte_lane) {
  return {};
}
template <unsigned Bits>
std::uint32_t lane_has_bits(lane_classes);
template <std::array<unsigned char, 16> Members>
std::uint32_t lane_matches_low_halves(byte_lane lane);
constexpr bool packs_by_shuffle = false;
std::size_t pack_eight(char* to, const char* eight_bytes, unsigned pattern);

constexpr std::size_t lane_size = sizeof(byte_lane);

#endif

}  // namespace CSSQUEEZE_CODE_PATH
#include "minifier/code_path_end.h"

#endif  // MINIFIER_BYTE_LANES_H_
