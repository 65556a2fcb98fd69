// The bit tricks and block masks the stages share, each against a plain byte-by-byte
// reading. A wrong carry from one block to the next shows only where a run or a string
// crosses a block boundary, so the texts cross many.
#include "minifier/bit_tricks.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>

#include "minifier/block_scanner.h"

namespace {

using namespace baseline;
using namespace byte_class;

// Texts of backslashes, quotes and letters, with runs of every length (whole blocks of
// backslashes included), read block by block: each bit must say what counting back says
// (for every byte but a backslash, which the stages never ask about).
TEST(EscapedBits, AgreeWithCountingBackAtEveryPosition) {
  std::mt19937_64 engine(20261207);
  for (int round = 0; round < 20000; ++round) {
    const std::size_t size = 1 + engine() % 300;
    const unsigned backslash_share = static_cast<unsigned>(engine() % 101);
    std::string text;
    while (text.size() < size) {
      const bool backslashes = engine() % 100 < backslash_share;
      const std::size_t run = engine() % 8 == 0 ? 1 + engine() % 140 : 1 + engine() % 4;
      text.append(run, backslashes ? '\\' : (engine() % 2 == 0 ? '\'' : 'a'));
    }
    bool odd_run = false;
    for (std::size_t start = 0; start < text.size(); start += 64) {
      const byte_block block(text, start);
      const std::uint64_t escaped = escaped_bits(block.any_in<just<'\\'>>(), odd_run);
      for (std::size_t k = 0; k < 64 && start + k < text.size(); ++k) {
        if (text[start + k] == '\\') continue;  // only the byte after a run counts
        std::size_t run = 0;
        while (run < start + k && text[start + k - 1 - run] == '\\') ++run;
        ASSERT_EQ((escaped >> k) & 1, run % 2) << "position " << start + k << " of "
                                               << testing::PrintToString(text);
      }
    }
  }
}

// The bit count the SSE2 copy sums inline, and the lowest bit, at the ends the stages'
// comparisons never reach (a count of 64, bit 63).
TEST(CountBits, AgreesWithTheLibraryAtTheEnds) {
  for (const std::uint64_t x : {std::uint64_t{1}, std::uint64_t{1} << 63, all_bits,
                                std::uint64_t{0x8000000100000002}, std::uint64_t{0xAAAAAAAAAAAAAAAA}}) {
    EXPECT_EQ(count_bits(x), std::popcount(x)) << x;
    EXPECT_EQ(lowest_bit(x), static_cast<std::size_t>(std::countr_zero(x))) << x;
  }
  EXPECT_EQ(count_bits(0), 0);
}

TEST(PrefixXor, MarksOpeningQuotesAndContents) {
  EXPECT_EQ(prefix_xor(0), 0u);
  EXPECT_EQ(prefix_xor(0b1), all_bits);
  EXPECT_EQ(prefix_xor(0b1001), 0b0111u);
  EXPECT_EQ(prefix_xor(0b110110), 0b010010u);
}

TEST(AfterRuns, MarksTheBitAfterEachChosenRun) {
  const struct {
    std::uint64_t runs;
    std::uint64_t chosen;
    std::uint64_t after;
  } rows[] = {
      {0b0110, 0b0010, 0b1000},
      {0b1101, 0b0101, 0b10010},
      {0b1101, 0b0001, 0b00010},
      {0b1101, 0, 0},
      {all_bits, 1, 0},  // a run to bit 63 carries out of the word
  };
  for (const auto& row : rows) {
    EXPECT_EQ(run_starts(row.runs) & row.chosen, row.chosen);
    EXPECT_EQ(after_runs(row.runs, row.chosen), row.after);
  }
}

TEST(ByteBlock, MasksFollowingByteAndPadding) {
  const struct {
    std::string text;
    std::size_t from;
    char padding;
    std::uint64_t slashes;
    char following;  // the byte after the block
  } rows[] = {
      {"/*", 0, ' ', 0b1, ' '},
      {std::string(63, 'a') + "/*", 0, ' ', std::uint64_t{1} << 63, '*'},
      {std::string(64, 'a') + "/", 0, ' ', 0, '/'},
      {std::string(64, 'a') + "x/*", 64, ' ', 0b10, ' '},
      // Past the end the block reads the padding, also as the byte after it.
      {"a/", 0, '/', ~std::uint64_t{0b01}, '/'},
      {std::string(63, 'a') + "/", 0, '*', std::uint64_t{1} << 63, '*'},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    const byte_block block(row.text, row.from, row.padding);
    EXPECT_EQ(block.any_in<just<'/'>>(), row.slashes);
    EXPECT_EQ(byte_after_block(row.text, row.from, row.padding), row.following);
  }
}

TEST(FindInClass, FirstMatchOrTheEnd) {
  const std::string text = std::string(40, 'a') + "{" + std::string(5, 'b') + ";";
  EXPECT_EQ((find_in_class<rule_ends>(text.data(), text.size(), 0)), 40u);
  EXPECT_EQ((find_in_class<rule_ends>(text.data(), text.size(), 41)), 46u);
  EXPECT_EQ((find_in_class<just<'}'>>(text.data(), text.size(), 0)), text.size());
  EXPECT_EQ((find_in_class<just<'}'>>(text.data(), text.size(), text.size())), text.size());
}

}  // namespace
