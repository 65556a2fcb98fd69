// Rows for comment removal. The hard cases are the ones where a quote and a comment
// interfere: quotes inside comments, comment openers inside strings, escaped quotes,
// unterminated strings, and openers that a previous deletion moved.
#include "minifier/comments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace std::string_literals;

struct removal_row {
  std::string before;
  std::string after;
  std::int32_t count;
};

void check_removal_rows(const removal_row* rows, std::size_t row_count) {
  for (std::size_t i = 0; i < row_count; ++i) {
    const removal_row& row = rows[i];
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    EXPECT_EQ(remove_comments(working_text), row.count);
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
      // A comment between bytes that would join into one token, or a new opener, shrinks.
      {"a//* x */*b*/", "a//**/*b*/", 0},
      {"a/*b*/c", "a/**/c", 0},
      {"1/**/2", "1/**/2", 0},
      {"red/* CDC */-->", "red/**/-->", 0},
      {"|/**/|", "|/**/|", 0},
      {"~/**/=", "~/**/=", 0},
      {"a/*x*/(", "a/**/(", 0},
      {"+/**/.5", "+/**/.5", 0},
      {"u/**/+1", "u/**/+1", 0},
      {"@/**/x #/**/-", "@/**/x #/**/-", 0},
      {".\\31/* x */ p", ".\\31/**/ p", 0},  // the escape would take the space
      {".\\31/**/{ \\31/**/-", ".\\31{ \\31/**/-", 1},
      {"a/*x*//*y*/b", "a/**/b", 1},
      {"a/*x*/ b;/*y*/c:/*z*/{", "a b;c:{", 3},
      // A closer never shares its opener's asterisk.
      {"a/*/b*/c", "a/**/c", 0},
      {"a/*/", "a/*/", 0},
      {"/*/*/", "", 1},
      {"a{b:c}/*/ x */d{e:f}", "a{b:c}d{e:f}", 1},
      {"/*////////*/\na{color:red}", "\na{color:red}", 1},
      {"/* /* */ */", " */", 1},
      {"a*/b/*c*/d", "a*/b/**/d", 0},
      {"*/*x*/", "*", 1},
      {"a{}/* open", "a{}/* open", 0},
      // An escaped '/' is part of a name.
      {R"(a\/*x*/b)", R"(a\/*x*/b)", 0},
      {R"(.x\/*y{} a{b:c}/* z */)", R"(.x\/*y{} a{b:c})", 1},
      {R"(\\/**/a)", R"(\\/**/a)", 0},
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
      {R"(/*/'*/'x')", R"('x')", 1},
      {R"(a{content:"it's"}/*c*/)", R"(a{content:"it's"})", 1},
      // Escaped quotes neither open nor close a string.
      {R"(p{content:'a\'b'}/*c*/)", R"(p{content:'a\'b'})", 1},
      {R"('\\'/*c*/)", R"('\\')", 1},
      {R"(a{content:"\"/*x*/"})", R"(a{content:"\"/*x*/"})", 0},
      {R"("\\\"/*"/*c*/)", R"("\\\"/*")", 1},
      // A string ends at a line break that no backslash escapes.
      {"'a\n/*c*/'", "'a\n'", 1},
      {"// Don't\n.c{content:\"/* x */\"}", "// Don't\n.c{content:\"/* x */\"}", 0},
      {"'a\\\n/*c*/'", "'a\\\n/*c*/'", 0},
      {"'a\\\r\n/*c*/'", "'a\\\r\n/*c*/'", 0},
      {"\"a\r/*c*/\"b\f/*d*/", "\"a\r\"b\f", 2},
      // A comment closed across two 64-byte blocks ('*' at 63, '/' at 64), a block with
      // no quote, then a string at the next block's first byte.
      {"/*" + std::string(61, ' ') + "*/" + std::string(63, 'x') + R"("a/*b*/c")",
       std::string(63, 'x') + R"("a/*b*/c")", 1},
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
  // Comments of every length, so that openers and closers fall on every byte of a block.
  std::string varied_comments;
  for (int i = 0; i < 300; ++i) varied_comments += "/*" + std::string(i % 131, 'x') + "*/";
  // A comment kept between a slash and an asterisk, then a string the end of the text
  // closes, which hides the closer after it.
  const std::string joined_in_string =
      "a//**/*'" + std::string(130, 'x') + "*/" + std::string(100, 'y');
  const removal_row rows[] = {
      {joined_in_string, joined_in_string, 0},
      {many_comments, "", 20000},
      {varied_comments, "", 300},
      {comments_between_strings, strings_only, 20000},
      {comments_inside_strings, comments_inside_strings, 0},
  };
  check_removal_rows(rows, std::size(rows));
}

}  // namespace
