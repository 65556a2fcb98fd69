// Rows for the report lines: the singular and plural forms at every site, the none-messages,
// and the totals' percentage, which truncates and must not overflow on large files.
#include "driver/console_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

namespace {

// A string buffer that remembers how often it was flushed, so that a test can tell that
// each line reached the console before the run went on.
class flush_counting_buffer : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

struct stage_words {
  std::string_view noun;
  std::string_view tail;
  std::string_view none_message;
};

constexpr stage_words comment_words = {" comment", " removed.", "no comment found."};
constexpr stage_words string_words = {" string", " still untouched.", "no string found."};
constexpr stage_words compaction_words = {" useless charachter", " removed.",
                                          "no useless charachter found."};

TEST(ReportCount, OneLinePerStage) {
  const struct {
    const stage_words* words;
    std::int32_t count;
    std::string line;
  } rows[] = {
      {&comment_words, 0, "no comment found.\n"},
      {&comment_words, 1, "1 comment removed.\n"},
      {&comment_words, 2, "2 comments removed.\n"},
      {&comment_words, -1, "no comment found.\n"},
      {&string_words, 0, "no string found.\n"},
      {&string_words, 1, "1 string still untouched.\n"},
      {&string_words, 2, "2 strings still untouched.\n"},
      {&string_words, -1, "no string found.\n"},
      {&compaction_words, 0, "no useless charachter found.\n"},
      {&compaction_words, 1, "1 useless charachter removed.\n"},
      {&compaction_words, 2, "2 useless charachters removed.\n"},
      {&compaction_words, -1, "no useless charachter found.\n"},
      {&compaction_words, 2147483647, "2147483647 useless charachters removed.\n"},
      {&comment_words, -2147483647 - 1, "no comment found.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.words->noun) + " " + std::to_string(row.count));
    flush_counting_buffer buffer;
    std::ostream out(&buffer);
    report_count(out, row.count, row.words->noun, row.words->tail, row.words->none_message);
    EXPECT_EQ(buffer.str(), row.line);
    EXPECT_EQ(buffer.flushes, 1);
  }
}

TEST(ReportTotals, TotalsAndPercentage) {
  const struct {
    std::int32_t loaded_length;
    std::int32_t final_length;
    std::string lines;
    bool changed;
  } rows[] = {
      {1000, 700, "total: 300 useless charachters removed.\n30% compressed.\n", true},
      // Truncated toward zero, never rounded up.
      {3, 1, "total: 2 useless charachters removed.\n66% compressed.\n", true},
      {1000, 999, "total: 1 useless charachter removed.\n0% compressed.\n", true},
      {21, 12, "total: 9 useless charachters removed.\n42% compressed.\n", true},
      {5, 0, "total: 5 useless charachters removed.\n100% compressed.\n", true},
      {1, 0, "total: 1 useless charachter removed.\n100% compressed.\n", true},
      {42, 42, "there is nothing to change.\n", false},
      {0, 0, "there is nothing to change.\n", false},
      // Removed totals whose product by 100 no longer fits 32 bits.
      {30000000, 8525163, "total: 21474837 useless charachters removed.\n71% compressed.\n",
       true},
      {100000000, 50000000, "total: 50000000 useless charachters removed.\n50% compressed.\n",
       true},
      {2147483647, 0, "total: 2147483647 useless charachters removed.\n100% compressed.\n",
       true},
      {2147483647, 2147483646, "total: 1 useless charachter removed.\n0% compressed.\n", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.loaded_length) + " -> " + std::to_string(row.final_length));
    flush_counting_buffer buffer;
    std::ostream out(&buffer);
    EXPECT_EQ(report_totals(out, row.loaded_length, row.final_length), row.changed);
    EXPECT_EQ(buffer.str(), row.lines);
    EXPECT_EQ(buffer.flushes, row.changed ? 2 : 1);
  }
}

TEST(WaitForEnter, ReadsOneCharacter) {
  std::istringstream in("\nrest");
  wait_for_enter(in);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "rest");
}

TEST(WaitForEnter, ReturnsAtEndOfInput) {
  std::istringstream in("");
  wait_for_enter(in);
  EXPECT_TRUE(in.eof());
}

}  // namespace
