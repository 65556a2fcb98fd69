// The block helpers that the quote-following stages share. Their answers for a 64-byte
// block must agree with the plain reading of the whole text, at every block boundary: a
// wrong carry from one block to the next shows only where a run or string crosses one.
#include "minifier/byte_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

// Texts of backslashes, quotes and letters, with runs of every length (whole blocks of
// backslashes included), read block by block: each bit must say what the byte-by-byte
// backward count says (for every byte but a backslash, which the stages never ask about).
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
      const std::uint64_t escaped = escaped_bits(byte_block(text, start).equal_to('\\'), odd_run);
      for (std::size_t k = 0; k < 64 && start + k < text.size(); ++k) {
        if (text[start + k] == '\\') continue;  // only the byte after a run counts
        ASSERT_EQ((escaped >> k) & 1, is_escaped_after(text, 0, start + k) ? 1u : 0u)
            << "position " << start + k << " of " << testing::PrintToString(text);
      }
    }
  }
}

TEST(ByteBlock, MasksPairsAndTheEnd) {
  const struct {
    std::string text;
    std::size_t from;
    std::uint64_t slashes;
    std::uint64_t openers;  // "/*", the byte after the block included
  } rows[] = {
      {"/*", 0, 0b1, 0b1},
      {"a/", 0, 0b10, 0},
      {std::string(63, 'a') + "/*", 0, std::uint64_t{1} << 63, std::uint64_t{1} << 63},
      {std::string(64, 'a') + "/", 0, 0, 0},
      {std::string(64, 'a') + "x/*", 64, 0b10, 0b10},
      // Past the end the bytes read as zero: a NUL in the text is still a byte of it.
      {std::string("/\0/*", 4), 0, 0b101, 0b100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    const byte_block block(row.text, row.from);
    EXPECT_EQ(block.equal_to('/'), row.slashes);
    EXPECT_EQ(block.pairs_of('/', '*'), row.openers);
  }
}

TEST(HasNoneOf, OnlyWholeBlocksWithoutTheBytes) {
  const std::string plain(64, 'a');
  EXPECT_TRUE((has_none_of<'\'', '"'>(plain, 0)));
  EXPECT_FALSE((has_none_of<'\'', '"'>(plain, 1)));  // not 64 bytes left: never skipped
  EXPECT_FALSE((has_none_of<'\'', '"'>(plain + "'", 1)));
  EXPECT_TRUE((has_none_of<'\'', '"'>(plain + "'", 0)));
  EXPECT_FALSE((has_none_of<'\'', '"'>(std::string(63, 'a') + "\"", 0)));
}

TEST(PrefixXor, MarksOpeningQuotesAndContents) {
  EXPECT_EQ(prefix_xor(0), 0u);
  EXPECT_EQ(prefix_xor(0b1), ~std::uint64_t{0});
  EXPECT_EQ(prefix_xor(0b1001), 0b0111u);
  EXPECT_EQ(prefix_xor(0b110110), 0b010010u);
}

}  // namespace
