// Rows for the quote reading and for comment removal. The hard cases are the ones where a
// quote and a comment interfere: quotes inside comments, comment openers inside strings,
// escaped quotes, unterminated strings, and openers that a previous deletion moved.
#include "minifier/comments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct quote_row {
  std::string text;
  std::vector<std::int32_t> positions;
};

TEST(ScanQuotes, RecordsOpeningAndClosingQuotesOfStrings) {
  const quote_row rows[] = {
      {"", {}},
      {"a{color:red}", {}},
      {R"(a{content:"/*"})", {10, 13}},
      {R"(a{b:"/*"}/*c*/d{e:"x"})", {4, 7, 18, 20}},
      {R"('a' "b")", {0, 2, 4, 6}},
      {R"("/*" '*/')", {0, 3, 5, 8}},
      // The other kind of quote is content.
      {R"("a'b")", {0, 4}},
      {R"(a{content:"it's"})", {10, 15}},
      {R"("/*'*/")", {0, 6}},
      // Quotes inside a comment are ordinary bytes.
      {R"(/* it's */a{})", {}},
      {R"(/**/a{b:"xx"}/*c*/)", {8, 11}},
      {R"(/* don't */a{b:'x'}/*c*/)", {15, 17}},
      {R"(/*xxxxxxxxxx*/a{content:"/*x*/"})", {24, 30}},
      {R"(/**/'a')", {4, 6}},
      {R"(/*\*/'a')", {5, 7}},
      // "/*/" is a whole comment: its closer shares the opener's asterisk.
      {R"(/*/'*/'x')", {3, 6, 8}},
      // An unclosed comment runs to the end.
      {R"(/* 'a' )", {}},
      // An unterminated string leaves its opening quote unpaired.
      {R"(a{content:"x)", {10}},
      {R"(a{content:"x /*c*/)", {10}},
      // Odd runs of backslashes escape a quote, even runs do not.
      {R"(p{content:'a\'b'}/*c*/)", {10, 15}},
      {R"('\\')", {0, 3}},
      {R"("a\"b")", {0, 5}},
      {R"("a\\"b")", {0, 4, 6}},
      {R"("\\\"/*"/*c*/)", {0, 7}},
      {R"(\'a')", {3}},
      {R"(a\"b")", {4}},
      {"'\0\xA0'"s, {0, 3}},
  };
  for (const quote_row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    EXPECT_EQ(scan_quotes(row.text, static_cast<std::int32_t>(row.text.size())).list(),
              row.positions);
  }
}

TEST(ScanQuotes, ReadsOnlyTheLoadedLength) {
  const struct {
    std::string text;
    std::int32_t loaded_length;
    std::vector<std::int32_t> positions;
  } rows[] = {
      {"'a'", 0, {}},
      {"'a'", 2, {0}},
      {"'a' 'b'", 5, {0, 2, 4}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text) + " loaded_length " +
                 std::to_string(row.loaded_length));
    EXPECT_EQ(scan_quotes(row.text, row.loaded_length).list(), row.positions);
  }
}

struct removal_row {
  std::string before;
  std::string after;
  std::int32_t count;
};

// Runs the two stages as a run does: the quote reading of the loaded text, then removal.
void check_removal_rows(const removal_row* rows, std::size_t row_count) {
  for (std::size_t i = 0; i < row_count; ++i) {
    const removal_row& row = rows[i];
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    const quote_list quote_positions =
        scan_quotes(working_text, static_cast<std::int32_t>(working_text.size()));
    EXPECT_EQ(remove_comments(working_text, quote_positions), row.count);
    EXPECT_EQ(working_text, row.after);
  }
}

TEST(RemoveComments, CommentsOutsideStrings) {
  const removal_row rows[] = {
      {"", "", 0},
      {"a{color:red}", "a{color:red}", 0},
      {"a{color:red}/* note */b{}", "a{color:red}b{}", 1},
      {"/**/", "", 1},
      {"/*a*//*b*/", "", 2},
      // The byte before a deleted comment and the one after it may form a new opener.
      {"a//* x */*b*/", "a", 2},
      {"a//**/*b*/", "a", 2},
      {"a/*/b*/c", "ab*/c", 1},
      {"a/*/", "a", 1},
      {"/*/*/", "*/", 1},
      {"/* /* */ */", " */", 1},
      {"a*/b/*c*/d", "a*/bd", 1},
      {"*/*x*/", "*", 1},
      {"a{}/* open", "a{}/* open", 0},
      {R"(a\/*x*/b)", R"(a\b)", 1},
      {"a\0/*\xA0\0*/b"s, "a\0b"s, 1},
  };
  check_removal_rows(rows, std::size(rows));
}

TEST(RemoveComments, StringsKeepTheirComments) {
  const removal_row rows[] = {
      {R"(a{content:"/*"})", R"(a{content:"/*"})", 0},
      {R"(a{b:"/*"}/*c*/d{e:"x"})", R"(a{b:"/*"}d{e:"x"})", 1},
      {R"(/*xxxxxxxxxx*/a{content:"/*x*/"})", R"(a{content:"/*x*/"})", 1},
      {R"(/*x*/a{b:"/* y */"})", R"(a{b:"/* y */"})", 1},
      {R"('/*'/**/'*/')", R"('/*''*/')", 1},
      {R"("a"/**/"b")", R"("a""b")", 1},
      {R"(/*x*/"a"/*y*/"b")", R"("a""b")", 2},
      // Quotes inside comments do not pair with anything.
      {R"(/**/a{b:"xx"}/*c*/)", R"(a{b:"xx"})", 2},
      {R"(/* don't */a{b:'x'}/*c*/)", R"(a{b:'x'})", 2},
      {R"(/* it's */a{})", "a{}", 1},
      {R"(/*'*/a{b:"/*"}/*c*/)", R"(a{b:"/*"})", 2},
      {R"(/*/'*/'x')", R"('*/'x')", 1},
      {R"(a{content:"it's"}/*c*/)", R"(a{content:"it's"})", 1},
      // Escaped quotes neither open nor close a string.
      {R"(p{content:'a\'b'}/*c*/)", R"(p{content:'a\'b'})", 1},
      {R"('\\'/*c*/)", R"('\\')", 1},
      {R"(a{content:"\"/*x*/"})", R"(a{content:"\"/*x*/"})", 0},
      {R"("\\\"/*"/*c*/)", R"("\\\"/*")", 1},
      // An unterminated string runs to the end of the text.
      {R"(a{content:"x /*c*/)", R"(a{content:"x /*c*/)", 0},
      {R"(/*c*/a{content:"x /*d*/)", R"(a{content:"x /*d*/)", 1},
  };
  check_removal_rows(rows, std::size(rows));
}

// Inputs made of nothing but the constructs that repeat: a stage that rescans after each
// deletion would take far too long on them.
TEST(RemoveComments, LongRepetitions) {
  std::string many_comments;
  std::string comments_between_strings;
  std::string comments_inside_strings;
  for (int i = 0; i < 20000; ++i) {
    many_comments += "/**/";
    comments_between_strings += "''/**/";
    comments_inside_strings += "'/**/'";
  }
  std::string strings_only;
  for (int i = 0; i < 20000; ++i) strings_only += "''";
  // Each deletion joins the slash before it and the asterisk after it into a new comment.
  const std::string nested = std::string(20000, '/') + "/**/" + [] {
    std::string closers;
    for (int i = 0; i < 20000; ++i) closers += "*/";
    return closers;
  }();
  const removal_row rows[] = {
      {many_comments, "", 20000},
      {comments_between_strings, strings_only, 20000},
      {comments_inside_strings, comments_inside_strings, 0},
      {nested, "", 20001},
  };
  check_removal_rows(rows, std::size(rows));
}

// The inside test takes the list as given, with positions in the text as loaded, so the
// opener a deletion has moved is still judged where it stood at first.
TEST(RemoveComments, JudgesOpenersByTheirLoadedPosition) {
  const struct {
    std::string before;
    std::vector<std::int32_t> quote_positions;
    std::string after;
    std::int32_t count;
  } rows[] = {
      {"ab/*c*/", {}, "ab", 1},
      {"ab/*c*/", {1, 5}, "ab/*c*/", 0},
      {"ab/*c*/", {0, 1}, "ab", 1},
      // An opener after an unpaired last quote is inside; one before it is not.
      {"ab/*c*/", {1}, "ab/*c*/", 0},
      {"ab/*c*/", {3}, "ab", 1},
      // The second opener stands at 0 after the first deletion but was loaded at 5.
      {"/*x*//*y*/", {4, 7}, "/*y*/", 1},
      {"/*x*//*y*/", {7, 9}, "", 2},
      // The opener formed by the step back is judged by its slash (loaded at 1), not by
      // the asterisk that joined it (loaded at 9).
      {"a//* x */*b*/", {5, 20}, "a", 2},
      {"a//* x */*b*/", {5}, "a", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before) + " with " +
                 testing::PrintToString(row.quote_positions));
    std::string working_text = row.before;
    EXPECT_EQ(remove_comments(working_text, quote_list::from_list(row.quote_positions)),
              row.count);
    EXPECT_EQ(working_text, row.after);
  }
}

}  // namespace
