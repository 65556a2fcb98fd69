// The few integer tricks the text stages use on 64-bit masks, where bit k stands for byte
// k of a 64-byte block. Each is explained here once; minifier/bit_tricks_test.cc checks
// each against a byte-by-byte loop. Nothing here looks at text.
#ifndef MINIFIER_BIT_TRICKS_H_
#define MINIFIER_BIT_TRICKS_H_

#include <bit>
#include <cstddef>
#include <cstdint>

constexpr std::uint64_t all_bits = ~std::uint64_t{0};

// The bits from bit `first` on; none when first is 64 or more.
constexpr std::uint64_t bits_from(std::size_t first) {
  return first >= 64 ? 0 : all_bits << first;
}

// The bits below bit `end`; all when end is 64 or more.
constexpr std::uint64_t bits_below(std::size_t end) { return ~bits_from(end); }

// The index of the highest set bit of x, which is not 0.
constexpr std::size_t highest_bit(std::uint64_t x) {
  return 63 - static_cast<std::size_t>(std::countl_zero(x));
}

// The index of the lowest set bit of x, which is not 0: no test for 0 is made.
inline std::size_t lowest_bit(std::uint64_t x) { return static_cast<unsigned>(__builtin_ctzll(x)); }

// The first bit of every run of set bits.
constexpr std::uint64_t run_starts(std::uint64_t runs) { return runs & ~(runs << 1); }

// Of the runs of set bits in `runs`, marks the bit just after the end of those whose first
// bit is in `chosen` (a subset of the runs' first bits). Adding a run's first bit to the
// mask carries through the run and lands on the bit after it, and nothing else moves.
// A run that reaches bit 63 carries out of the word and marks nothing.
constexpr std::uint64_t after_runs(std::uint64_t runs, std::uint64_t chosen) {
  return (runs + chosen) & ~runs;
}

// Bit k set: an odd number of the bits 0 to k of x are set. Given the quotes that open and
// close strings, this marks the bytes inside strings: the opening quote and the contents,
// not the closing quote.
constexpr std::uint64_t prefix_xor(std::uint64_t x) {
  for (int shift = 1; shift < 64; shift *= 2) x ^= x << shift;
  return x;
}

// The bytes of a block that stand right after an odd-length run of backslashes, given the
// block's backslashes: a quote there is escaped. odd_run_before says whether the bytes
// before the block end in an odd run, and is set to say the same of the block's end, so
// that no byte before the block is ever read again (a stage may have overwritten it).
//
// A run from bit s up to bit e - 1 has odd length exactly when s and e differ in parity.
// So the runs are split by the parity of their first bit, and after_runs() finds each
// run's end bit; an even start with an odd end, or an odd start with an even end, marks
// an escape. A run that goes on from the block before, with an odd part there, counts as
// starting on the opposite parity to its bit 0 (as if it began one bit earlier); when bit
// 0 is not a backslash, that odd run escapes bit 0 itself. A run that reaches the end of
// the block carries out of the addition; among the runs started on odd bits, exactly the
// odd-length ones do, which gives the next block's odd_run_before.
inline std::uint64_t escaped_bits(std::uint64_t backslashes, bool& odd_run_before) {
  constexpr std::uint64_t even_bits = 0x5555555555555555;
  const std::uint64_t carried = odd_run_before ? 1 : 0;
  const std::uint64_t starts = run_starts(backslashes);
  const std::uint64_t even_parity_starts = even_bits ^ carried;  // bit 0 flips with a carry
  const std::uint64_t even_starts = starts & even_parity_starts;
  const std::uint64_t odd_starts = starts & ~even_parity_starts;
  const std::uint64_t odd_sum = backslashes + odd_starts;
  odd_run_before = odd_sum < backslashes;  // the addition carried out of bit 63
  const std::uint64_t even_ends = (backslashes + even_starts) & ~backslashes;
  const std::uint64_t odd_ends = (odd_sum | carried) & ~backslashes;
  return (even_ends & ~even_bits) | (odd_ends & even_bits);
}

#endif  // MINIFIER_BIT_TRICKS_H_
