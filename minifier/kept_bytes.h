// Moving the kept bytes of a block forward over the deleted ones, the one move both stages
// make. The text shrinks from its front: what is written never passes what is still to read.
#ifndef MINIFIER_KEPT_BYTES_H_
#define MINIFIER_KEPT_BYTES_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "minifier/bit_tricks.h"
#include "minifier/byte_lanes.h"
#include "minifier/path_stages.h"

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH {

// Moves the kept bytes of a block below `limit` (bit k of keep: bytes[k], copied out by
// byte_block::copy_to from text[at + k]) to text[write] on, and returns the new write.
// Once the kept prefix trails the block far enough, stores are wider than what they keep:
// each ends at or before the place its first byte came from, so it overwrites only bytes
// already copied out, never a byte past `limit`.
inline std::size_t move_kept(char* text, std::size_t write, std::size_t at, const char* bytes,
                             std::uint64_t keep, std::size_t limit) {
  keep &= bits_below(limit);
  // With a byte shuffle at hand, the kept bytes of each eight are packed to the front of a
  // register in one step and stored at once, whatever the number of runs.
  if constexpr (packs_by_shuffle) {
    if (at - write >= 8) {
      if (limit == block_size) {  // most blocks: eight groups, unrolled
#pragma GCC unroll 8
        for (std::size_t first = 0; first < block_size; first += 8) {
          write += pack_eight(text + write, bytes + first, static_cast<unsigned>(keep >> first) & 0xFF);
        }
        return write;
      }
      for (std::size_t first = 0; first < limit; first += 8) {
        write += pack_eight(text + write, bytes + first, static_cast<unsigned>(keep >> first) & 0xFF);
      }
      return write;
    }
  } else if (at - write >= 32) {
    // Without one, run by run, each run with two sixteen-byte stores whatever its length
    // (most runs are shorter), so the processor need not guess a loop's length. A loop of
    // its own, with no test in each run for an empty mask or for the distance behind
    // (callgrind, 10 MB of the strings file, SSE2: 27 -> 23 instructions a run).
    std::uint64_t lasts = keep & ~(keep >> 1);
    std::uint64_t firsts = run_starts(keep);
    for (; firsts != 0; firsts &= firsts - 1, lasts &= lasts - 1) {
      const std::size_t first = lowest_bit(firsts);
      const std::size_t length = lowest_bit(lasts) + 1 - first;
      std::memcpy(text + write, bytes + first, 16);
      std::memcpy(text + write + 16, bytes + first + 16, 16);
      for (std::size_t i = 32; i < length; i += 16) {
        std::memcpy(text + write + i, bytes + first + i, 16);
      }
      write += length;
    }
    return write;
  }
  // Otherwise byte by byte while the bytes trail the block by less, and nothing at all
  // while they are in place.
  std::uint64_t lasts = keep & ~(keep >> 1);
  std::uint64_t firsts = run_starts(keep);
  for (; firsts != 0; firsts &= firsts - 1, lasts &= lasts - 1) {
    const std::size_t first = static_cast<std::size_t>(std::countr_zero(firsts));
    const std::size_t length = static_cast<std::size_t>(std::countr_zero(lasts)) + 1 - first;
    if (write != at + first) {
      for (std::size_t i = 0; i < length; ++i) text[write + i] = bytes[first + i];
    }
    write += length;
  }
  return write;
}

}  // namespace CSSQUEEZE_CODE_PATH
#include "minifier/code_path_end.h"

#endif  // MINIFIER_KEPT_BYTES_H_
