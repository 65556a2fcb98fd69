// Rows for lifting strings out and putting them back. Each extraction row is also a round
// trip: restoring its entries into the emptied text must give the original back. Escaped
// quotes and touching strings are where a pairing mistake shows.
#include "minifier/string_protection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "minifier/compact_text.h"

namespace {

using namespace std::string_literals;

std::vector<std::string> entries_of(const lifted_strings& protected_strings) {
  std::vector<std::string> entries;
  lifted_reader reader(protected_strings);
  for (std::size_t i = 0; i < protected_strings.size(); ++i) entries.emplace_back(reader.next());
  return entries;
}

lifted_strings lifted_from(const std::vector<std::string>& entries) {
  lifted_strings protected_strings;
  for (const std::string& entry : entries) protected_strings.append(entry);
  return protected_strings;
}

TEST(IsEscaped, CountsTheBackslashesRightBeforeTheQuote) {
  const struct {
    std::string text;
    std::size_t position;
    bool escaped;
  } rows[] = {
      {"'", 0, false},
      {"a'", 1, false},
      {R"(\')", 1, true},
      {R"(\\')", 2, false},
      {R"(\\\')", 3, true},
      {R"(\\\\')", 4, false},
      {R"(a\")", 2, true},
      {R"(\a')", 2, false},
      {R"('\'')", 2, true},
      {R"('\'')", 3, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text) + " at " + std::to_string(row.position));
    EXPECT_EQ(is_escaped(row.text, row.position), row.escaped);
  }
}

struct extraction_row {
  std::string before;
  std::string after;
  std::vector<std::string> entries;
};

TEST(ExtractStrings, LiftsContentsAndRestoresThemBack) {
  const extraction_row rows[] = {
      {"", "", {}},
      {"a{color:red}", "a{color:red}", {}},
      {"a{content:'x'}", "a{content:''}", {"x"}},
      {R"(url('a b.png') "q")", R"(url('') "")", {"a b.png", "q"}},
      {R"("a'b")", R"("")", {"a'b"}},
      {R"(a'b"c'd)", "a''d", {R"(b"c)"}},
      {R"("it''s" 'z')", R"("" '')", {"it''s", "z"}},
      {"''", "''", {""}},
      {R"("")", R"("")", {""}},
      {R"("a" 'b)", R"("" 'b)", {"a"}},
      {R"(a'b "c")", R"(a'b "c")", {}},
      {"a'", "a'", {}},
      {R"("a" 'b "c")", R"("" 'b "c")", {"a"}},
      {"'a''", "'''", {"a"}},
      {"'a;\n\"b'", "''", {"a;\n\"b"}},
      {R"('x'"y")", R"(''"")", {"x", "y"}},
      {"'\0\xA0'"s, "''", {"\0\xA0"s}},
      // Touching strings: each entry must go back between its own quotes.
      {R"("a""b")", R"("""")", {"a", "b"}},
      {R"('a''b''c')", "''''''", {"a", "b", "c"}},
      // Escaped quotes neither open nor close a string.
      {R"(p{content:'it\'s  ok'})", "p{content:''}", {R"(it\'s  ok)"}},
      {R"('it\'s')", "''", {R"(it\'s)"}},
      {R"('\\')", "''", {R"(\\)"}},
      {R"('\\''x')", "''''", {R"(\\)", "x"}},
      {R"('a\\\'b')", "''", {R"(a\\\'b)"}},
      {R"("\"")", R"("")", {R"(\")"}},
      {R"("\\\"")", R"("")", {R"(\\\")"}},
      {R"("a\\"b")", R"(""b")", {R"(a\\)"}},
      {R"(a\"b)", R"(a\"b)", {}},
      {R"(\''x')", R"(\''')", {"x"}},
      {R"(\""y")", R"(\""")", {"y"}},
  };
  for (const extraction_row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    lifted_strings protected_strings;
    const std::int32_t string_count = extract_strings(working_text, protected_strings);
    EXPECT_EQ(string_count, static_cast<std::int32_t>(row.entries.size()));
    EXPECT_EQ(working_text, row.after);
    EXPECT_EQ(entries_of(protected_strings), row.entries);

    EXPECT_TRUE(restore_strings(working_text, protected_strings, string_count));
    EXPECT_EQ(working_text, row.before);
  }
}

struct restoration_row {
  std::string before;
  std::vector<std::string> entries;
  std::int32_t string_count;
  bool restored;
  std::string after;
};

TEST(RestoreStrings, FillsTheNextEmptiedPair) {
  const restoration_row rows[] = {
      {R"(url('') "")", {"a b.png", "q"}, 2, true, R"(url('a b.png') "q")"},
      // An emptied pair inside a restored entry is not a later entry's pair.
      {R"("" '')", {"it''s", "z"}, 2, true, R"("it''s" 'z')"},
      {R"("""")", {"a", "b"}, 2, true, R"("a""b")"},
      {R"("""")", {"", "b"}, 2, true, R"("""b")"},
      {"''''", {"", ""}, 2, true, "''''"},
      // An escaped quote before an emptied pair is no quote of a pair.
      {R"(\''')", {"x"}, 1, true, R"(\''x')"},
      {R"(\\''')", {"x"}, 1, true, R"(\\'x'')"},
      {R"(a{content:""}b{content:""})", {R"(\")", "x  y"}, 2, true,
       R"(a{content:"\""}b{content:"x  y"})"},
      {"a{}", {}, 0, true, "a{}"},
      // Only the first string_count entries go back.
      {"''", {"x"}, 0, true, "''"},
      // Nowhere to put an entry: nothing is changed.
      {"a{}", {"x"}, 1, false, "a{}"},
      {"''", {"x", "y"}, 2, false, "''"},
      {R"(\'')", {"x"}, 1, false, R"(\'')"},
  };
  for (const restoration_row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before) + " with " +
                 testing::PrintToString(row.entries));
    std::string working_text = row.before;
    EXPECT_EQ(restore_strings(working_text, lifted_from(row.entries), row.string_count),
              row.restored);
    EXPECT_EQ(working_text, row.after);
  }
}

// Extraction, compaction and restoration in the order of a run: what lies inside a string
// survives, what lies between strings is compacted.
TEST(StringProtection, StringsSurviveCompaction) {
  const struct {
    std::string before;
    std::string after;
  } rows[] = {
      {R"(a { content : "x  y" ; })", R"(a{content:"x  y"})"},
      {R"("a" "b")", R"("a" "b")"},
      {R"("a" ; "b")", R"("a";"b")"},
      {R"(a{content:"\"" ; }  b { content : "x ; }" })", R"(a{content:"\""}b{content:"x ; }"})"},
      {R"(p{content:'it\'s  ok'})", R"(p{content:'it\'s  ok'})"},
      {R"(\ 'x  y')", R"(\ 'x  y')"},
      {"a { content : 'x  y ;\n' ; b : \"\" ; }", "a{content:'x  y ;\n';b:\"\"}"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before));
    std::string working_text = row.before;
    lifted_strings protected_strings;
    const std::int32_t string_count = extract_strings(working_text, protected_strings);
    compact_text(working_text);
    EXPECT_TRUE(restore_strings(working_text, protected_strings, string_count));
    EXPECT_EQ(working_text, row.after);
  }
}

// Many tiny strings in a row: each lift and each restoration must not move the whole text.
TEST(StringProtection, ManyTouchingStrings) {
  std::string original;
  std::string emptied;
  for (int i = 0; i < 50000; ++i) {
    original += i % 2 == 0 ? "'a'" : "\"\\\"\"";
    emptied += i % 2 == 0 ? "''" : "\"\"";
  }
  std::string working_text = original;
  lifted_strings protected_strings;
  const std::int32_t string_count = extract_strings(working_text, protected_strings);
  EXPECT_EQ(string_count, 50000);
  EXPECT_EQ(working_text, emptied);
  ASSERT_EQ(protected_strings.size(), 50000u);
  lifted_reader reader(protected_strings);
  EXPECT_EQ(reader.next(), "a");
  EXPECT_EQ(reader.next(), "\\\"");
  EXPECT_TRUE(restore_strings(working_text, protected_strings, string_count));
  EXPECT_EQ(working_text, original);
}

}  // namespace
