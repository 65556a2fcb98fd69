// Rows of text before and after compaction with the number of bytes deleted. The repeated
// passes matter here: several rows only reach their result through a deletion that makes
// the byte before it deletable (a ';' that a removed space had kept from its '}').
#include "minifier/compact_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/compaction_examples.h"

namespace {

using namespace std::string_literals;

struct compaction_row {
  std::string before;
  std::string after;
  std::int32_t count;
};

void check_rows(const compaction_row* rows, std::size_t row_count) {
  for (std::size_t i = 0; i < row_count; ++i) {
    const compaction_row& row = rows[i];
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    EXPECT_EQ(compact_text(working_text).removal_count, row.count);
    EXPECT_EQ(working_text, row.after);
    // What compaction leaves has nothing left to compact.
    EXPECT_EQ(compact_text(working_text).removal_count, 0);
    EXPECT_EQ(working_text, row.after);
  }
}

TEST(CompactText, WorkedExamples) {
  for (const compaction_example& example : compaction_examples) {
    const compaction_row row{example.before, example.after, example.count};
    check_rows(&row, 1);
  }
}

TEST(CompactText, EdgeCases) {
  const compaction_row rows[] = {
      {"", "", 0},
      {" ", "", 1},
      {" \t\r\n \n", "", 6},
      {";", ";", 0},
      {"a;", "a;", 0},
      {";}", "}", 1},
      {";;a", ";a", 1},
      {";;}", "}", 2},
      {"; ; ;", ";", 4},
      {"} ;", "};", 1},
      {"a;\n", "a;", 1},
      // The ';' that ends an at-rule without a block stays, and so does one right after it.
      {"@import \"x.css\";;\na{color:red}", "@import \"x.css\";;a{color:red}", 1},
      {"@layer base, theme;}", "@layer base,theme;}", 1},
      {"a{@x y ; ;;} b{c:d;}", "a{@x y;}b{c:d}", 6},
      // A run of layout space keeps its last byte, whatever kind it is.
      {"a \t\nb", "a\nb", 2},
      {"a\r\nb", "a\nb", 1},
      {"a\n\r b", "a b", 2},
      // VT, FF, NUL and bytes from 0x80 up are ordinary bytes.
      {"a\x0B b", "a\x0B b", 0},
      {"a \x0B b", "a \x0B b", 0},
      {"a\x0C  b", "a\x0C b", 1},
      {" \x0C ", "\x0C", 2},
      {"\x0B", "\x0B", 0},
      {" \xA0 ", "\xA0", 2},
      {"a\xA0\xA0;}", "a\xA0\xA0}", 1},
      {"\0  \0"s, "\0 \0"s, 1},
      {"a\0;\0}"s, "a\0;\0}"s, 0},
      // Only the eight delimiters pull the space next to them away.
      {"a  >  b", "a > b", 2},
      {"a + b ~ c ! d = e [ f ] g * h @ i . j", "a + b ~ c ! d = e [ f ] g * h @ i . j", 0},
      {"a / b", "a/b", 2},
      {"a\t(b) , c", "a\t(b),c", 2},
      {"'' ''", "'' ''", 0},
      {"\"\" ;\"\"", "\"\";\"\"", 1},
      {"and (", "and (", 0},
      // A ':' keeps the space before it only when '{' comes before any ';' or '}'.
      {"a :b", "a:b", 1},
      {"a :b;c{", "a:b;c{", 1},
      {"a :b}{", "a:b}{", 1},
      {"a :b :c{", "a :b :c{", 0},
      {"a\t\n:b{", "a\n:b{", 1},
      {"( :a{", "(:a{", 1},
      {") :a{", ") :a{", 0},
      {") (", ") (", 0},
      {"( )", "()", 1},
      // An escaped byte stays, whatever it is, and pulls no space away.
      {"\\", "\\", 0},
      {"a ;\\", "a;\\", 1},
      {"\\ ", "\\ ", 0},
      {" \\ ", "\\ ", 1},
      {"a\\;;;b", "a\\;;b", 1},
      {"a\\( b\\, c\\: d", "a\\( b\\, c\\: d", 0},
      {"a\\\n {", "a\\\n{", 1},
      {"a\\\\ {", "a\\\\{", 1},
      {"a :b\\{;c{", "a:b\\{;c{", 1},
      // One layout byte ends a hex escape; the run after it is compacted as usual.
      {"\\31   p", "\\31  p", 1},
      {"\\31\t\n p", "\\31\t p", 1},
      {"\\abcdef {", "\\abcdef {", 0},
      {"\\31 ;", "\\31 ;", 0},
      {"\\31 ", "\\31 ", 0},
      {".\\31\r\n\r\n.p{}", ".\\31\r\n\n.p{}", 1},
      {"\\\\31 {", "\\\\31{", 1},
      {"\\g {", "\\g{", 1},
      // '/' and '*' never meet.
      {"/ *", "/ *", 0},
      {"/ \n*", "/\n*", 1},
      {"/ ; *", "/;*", 2},
      // Nor do the two sides of a comment that stays.
      {".\\31/**/  p{", ".\\31/**/ p{", 1},
      {"a/**/ {", "a/**/{", 1},
      {"* /  p", "*/p", 3},
      {"\\/ *", "\\/ *", 0},
  };
  check_rows(rows, std::size(rows));
}

// Long runs stress the look-back across the kept prefix: every deletion makes the byte
// before it a candidate again.
TEST(CompactText, LongRuns) {
  const compaction_row rows[] = {
      {std::string(10000, ' '), "", 10000},
      {"a" + std::string(10000, ';') + "b", "a;b", 9999},
      {"a" + std::string(10000, ';') + "}", "a}", 10000},
      {"a" + std::string(5000, ' ') + "b", "a b", 4999},
      {"x" + std::string(3000, ';') + std::string(3000, ' ') + "}", "x}", 6000},
      {std::string("a;").append(3000, ' ').append("b"), "a;b", 3000},
      {std::string("a").append(300, '\t').append(":b{"), "a\t:b{", 299},
      // An at-rule's ';' and the one after it, in a gap long enough to be passed over.
      {std::string("@;;").append(61, '\t').append(" "), "@;;", 62},
      {std::string("@x;").append(300, ' ').append(";a"), "@x;;a", 300},
  };
  check_rows(rows, std::size(rows));
}

// Strings are read left to right (an escaped quote neither opens nor closes one) and left
// whole; the quotes are what the space around a string sees. An unterminated quote
// protects nothing after it, complete strings of the other kind included.
TEST(CompactText, StringsStayWhole) {
  const struct {
    std::string before;
    std::string after;
    std::int32_t strings;
  } rows[] = {
      {"", "", 0},
      {R"(a { content : "x  y" ; })", R"(a{content:"x  y"})", 1},
      {R"(url('a b.png') "q")", R"(url('a b.png') "q")", 2},
      {R"("a" ; "b")", R"("a";"b")", 2},
      {R"(a{content:"\"" ; }  b { content : "x ; }" })", R"(a{content:"\""}b{content:"x ; }"})", 2},
      {R"("a'b" 'c"d')", R"("a'b" 'c"d')", 2},
      // A string ends at an unescaped line break, which stays as it is; a backslash before
      // one, or before CR LF, carries the string on.
      {"a{content:'x  y\n  ;b:c}", "a{content:'x  y\n;b:c}", 1},
      {"a{content:'x  y\r\n  }", "a{content:'x  y\r}", 1},
      {"// it's\n  b{}", "//it's\n b{}", 1},
      {"'a\n", "'a\n", 1},
      {"'a\f  b", "'a\f b", 1},
      {"'a ;\\\n\"b' ;", "'a ;\\\n\"b';", 1},
      {"'a ;\\\r\n\"b' ;", "'a ;\\\r\n\"b';", 1},
      {"'a\\\\\n ;", "'a\\\\\n;", 1},
      {"'\0 \xA0 '"s, "'\0 \xA0 '"s, 1},
      {R"("a""b")", R"("a""b")", 2},
      {R"('a''b''c')", R"('a''b''c')", 3},
      {"'' ''", "'' ''", 2},
      // Escaped quotes.
      {R"(p{content:'it\'s  ok'})", R"(p{content:'it\'s  ok'})", 1},
      {R"('\\' ; 'x')", R"('\\';'x')", 2},
      {R"("a\\"b  ")", R"("a\\"b ")", 2},
      {R"(\ 'x  y')", R"(\ 'x  y')", 1},
      {R"(\'a  b')", R"(\'a b')", 1},
      // A string the end of the text closes is a string.
      {"a ; 'b  c", "a;'b  c", 1},
      {R"("a  b" 'c "d  e")", R"("a  b" 'c "d  e")", 2},
      {R"('a  b''c  )", R"('a  b''c  )", 2},
      // What follows a ':' decides on the first '{', ';' or '}' outside strings.
      {R"(a :b "{" ;)", R"(a:b "{";)", 1},
      {R"(a :b ";" {)", R"(a :b ";"{)", 1},
      {R"(' a :b "{" ;)", R"(' a :b "{" ;)", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    EXPECT_EQ(compact_text(working_text).string_count, row.strings);
    EXPECT_EQ(working_text, row.after);
  }
}

// Many tiny strings in a row, and one string longer than many blocks.
TEST(CompactText, LongAndManyStrings) {
  std::string many;
  for (int i = 0; i < 50000; ++i) many += i % 2 == 0 ? "'a'" : R"("\"")";
  std::string working_text = many;
  EXPECT_EQ(compact_text(working_text).string_count, 50000);
  EXPECT_EQ(working_text, many);

  const std::string long_string = "a : '" + std::string(1000, ' ') + "' ;";
  working_text = long_string;
  const compaction_result result = compact_text(working_text);
  EXPECT_EQ(result.string_count, 1);
  EXPECT_EQ(working_text, "a:'" + std::string(1000, ' ') + "';");
}

}  // namespace
