// The built tool on very large stylesheets made of one repeated piece, the inputs that
// would make a stage superlinear or a count overflow: each run must end well within its
// deadline with the exact lines, and the bytes left on disk are checked by size and
// pattern. Each case writes a 256 MiB file and takes seconds; ctest labels them "slow".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t big_size = std::uint64_t{256} << 20;

// Writes piece repeated to exactly size bytes, a MiB at a time.
bool write_repeated(const fs::path& path, const std::string& piece, std::uint64_t size) {
  std::string chunk;
  while (chunk.size() < (std::size_t{1} << 20)) chunk += piece;
  chunk.resize((std::size_t{1} << 20) / piece.size() * piece.size());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = true;
  for (std::uint64_t left = size; ok && left > 0;) {
    const std::size_t now = left < chunk.size() ? static_cast<std::size_t>(left) : chunk.size();
    ok = std::fwrite(chunk.data(), 1, now, file) == now;
    left -= now;
  }
  return std::fclose(file) == 0 && ok;
}

// Whether the file holds exactly size bytes, each of them byte.
bool holds_only(const fs::path& path, char byte, std::uint64_t size) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> chunk(std::size_t{1} << 20);
  std::uint64_t total = 0;
  bool ok = true;
  for (std::size_t got; ok && (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
    for (std::size_t i = 0; i < got; ++i) ok = ok && chunk[i] == byte;
    total += got;
  }
  std::fclose(file);
  return ok && total == size;
}

class LargeInputs : public ToolRunTest {
 protected:
  tool_run run_on(const fs::path& path) const {
    const tool_run result = run({path.string()}, {.timeout = std::chrono::seconds(120)});
    std::printf("  the tool took %.1f s\n",
                std::chrono::duration<double>(result.elapsed).count());
    return result;
  }
};

std::string stage_lines(const std::string& comments, const std::string& strings,
                        const std::string& compaction, const std::string& totals) {
  return comments + "\n" + strings + "\n" + compaction + "\n" + totals;
}

struct repeated_byte_row {
  char byte;
  std::string lines;
  std::uint64_t size_after;  // the file then holds only the byte
};

void PrintTo(const repeated_byte_row& row, std::ostream* out) {
  *out << "byte '" << row.byte << "'";
}

class RepeatedByte : public LargeInputs,
                     public testing::WithParamInterface<repeated_byte_row> {};

TEST_P(RepeatedByte, WholeFileOfOneByte) {
  const repeated_byte_row& row = GetParam();
  const fs::path path = work_ / "site.css";
  ASSERT_TRUE(write_repeated(path, std::string(1, row.byte), big_size));
  const timespec before = modification_time(path);

  const tool_run result = run_on(path);
  expect_clean_run(result);
  EXPECT_EQ(result.lines, row.lines);
  EXPECT_TRUE(holds_only(path, row.byte, row.size_after));
  if (row.size_after == big_size) {
    const timespec after = modification_time(path);
    EXPECT_TRUE(after.tv_sec == before.tv_sec && after.tv_nsec == before.tv_nsec)
        << "a file with nothing to change was written";
  }
  EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
}

const std::string nothing_to_change = stage_lines(
    "no comment found.", "no string found.", "no useless charachter found.",
    "there is nothing to change.\n");

INSTANTIATE_TEST_SUITE_P(
    Bytes, RepeatedByte,
    testing::Values(
        // Layout space only: every byte goes (the first by rule 3, the rest as doubled).
        repeated_byte_row{' ',
                          stage_lines("no comment found.", "no string found.",
                                      "268435456 useless charachters removed.",
                                      "total: 268435456 useless charachters removed.\n"
                                      "100% compressed.\n"),
                          0},
        // Semicolons only: the first survives its run. 268435455 * 100 needs 64 bits.
        repeated_byte_row{';',
                          stage_lines("no comment found.", "no string found.",
                                      "268435455 useless charachters removed.",
                                      "total: 268435455 useless charachters removed.\n"
                                      "99% compressed.\n"),
                          1},
        // Quotes only: 2^27 empty strings, each read and left in place.
        repeated_byte_row{'\'',
                          stage_lines("no comment found.", "134217728 strings still untouched.",
                                      "no useless charachter found.",
                                      "there is nothing to change.\n"),
                          big_size},
        // A delimiter that is no layout space, and half of a comment opener: nothing to do.
        repeated_byte_row{'/', nothing_to_change, big_size},
        repeated_byte_row{'*', nothing_to_change, big_size}),
    [](const testing::TestParamInfo<repeated_byte_row>& info) {
      switch (info.param.byte) {
        case ' ': return std::string("Spaces");
        case ';': return std::string("Semicolons");
        case '\'': return std::string("Quotes");
        case '/': return std::string("Slashes");
        default: return std::string("Stars");
      }
    });

TEST_F(LargeInputs, TenMillionEmptyComments) {
  const fs::path path = work_ / "site.css";
  ASSERT_TRUE(write_repeated(path, "/**/", 40'000'000));
  const tool_run result = run_on(path);
  expect_clean_run(result);
  EXPECT_EQ(result.lines, stage_lines("10000000 comments removed.", "no string found.",
                                      "no useless charachter found.",
                                      "total: 40000000 useless charachters removed.\n"
                                      "100% compressed.\n"));
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
}

}  // namespace
