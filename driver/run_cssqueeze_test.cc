// Whole runs on string streams and files kept in memory (file_system_fake.h): the complete
// console transcript, the exit status, the file afterwards, and that the run ends by
// reading one character of input.
#include "driver/run_cssqueeze.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "file_system/file_system_fake.h"
#include "shell_menu/registry_fake.h"

namespace {

using namespace std::string_literals;

// The two banner lines and the empty line that follows them open every run.
const std::string banner_lines =
    "cssqueeze " CSSQUEEZE_VERSION " - compresses a CSS file in place\n"
    "by the cssqueeze developers, 2026\n"
    "\n";

const std::string cannot_open_line = "We don't access to that file.\n";
const std::string not_text_line =
    "That file is not a text stylesheet (it holds a NUL byte); it was left untouched.\n";

struct run_outcome {
  int status;
  std::string transcript;
  std::string unread_input;
};

class RunCssqueeze : public testing::Test {
 protected:
  void SetUp() override {
    fake_files().clear();
    fake_platform_uses_crlf = false;
  }

  static std::string make_file(const std::string& name, const std::string& bytes) {
    fake_files()[name] = {bytes};
    return name;
  }
  static const fake_file& file(const std::string& name) { return fake_files().at(name); }

  // Runs the tool with the arguments after the program name; the input holds one line
  // end for the wait and a marker that must stay unread.
  static run_outcome run(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {"cssqueeze"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::istringstream in("\nunread");
    const int status = run_cssqueeze(argv.data(), out, in);
    return {status, out.str(), std::string(std::istreambuf_iterator<char>(in), {})};
  }
};

TEST_F(RunCssqueeze, MinifiesAndWritesBack) {
  const struct {
    std::string before;
    std::string lines;
    std::string after;
  } rows[] = {
      {"a {\n  color : red ;\n}\n",
       "no comment found.\nno string found.\n9 useless charachters removed.\n"
       "total: 9 useless charachters removed.\n42% compressed.\n",
       "a{color:red}"},
      {"/*a*/b{}",
       "1 comment removed.\nno string found.\nno useless charachter found.\n"
       "total: 5 useless charachters removed.\n62% compressed.\n",
       "b{}"},
      {"/*a*/b{}/*c*/",
       "2 comments removed.\nno string found.\nno useless charachter found.\n"
       "total: 10 useless charachters removed.\n76% compressed.\n",
       "b{}"},
      {"/**/a{content:'x y'} ",
       "1 comment removed.\n1 string still untouched.\n1 useless charachter removed.\n"
       "total: 5 useless charachters removed.\n23% compressed.\n",
       "a{content:'x y'}"},
      {"/*a*/p{a:'x  y';b:\"z\" ;}/*b*/",
       "2 comments removed.\n2 strings still untouched.\n2 useless charachters removed.\n"
       "total: 12 useless charachters removed.\n41% compressed.\n",
       "p{a:'x  y';b:\"z\"}"},
      {"a{b:c;}",
       "no comment found.\nno string found.\n1 useless charachter removed.\n"
       "total: 1 useless charachter removed.\n14% compressed.\n",
       "a{b:c}"},
      {"a  b\n",
       "no comment found.\nno string found.\n1 useless charachter removed.\n"
       "total: 1 useless charachter removed.\n25% compressed.\n",
       "a b"},
      {"   \n",
       "no comment found.\nno string found.\n3 useless charachters removed.\n"
       "total: 3 useless charachters removed.\n100% compressed.\n",
       ""},
      {"/*xxxxxxxxxx*/a{content:\"/*x*/\"}",
       "1 comment removed.\n1 string still untouched.\nno useless charachter found.\n"
       "total: 14 useless charachters removed.\n43% compressed.\n",
       "a{content:\"/*x*/\"}"},
      {"/**/a{b:\"xx\"}/*c*/\n",
       "2 comments removed.\n1 string still untouched.\nno useless charachter found.\n"
       "total: 9 useless charachters removed.\n50% compressed.\n",
       "a{b:\"xx\"}"},
      // A string ends at a line break: the apostrophe of a "//" note opens no string that
      // runs on to the next line.
      {".a{}\n// Don't touch\n.x{}\n.c::before { content: \" / \" }\n",
       "no comment found.\n2 strings still untouched.\n7 useless charachters removed.\n"
       "total: 7 useless charachters removed.\n12% compressed.\n",
       ".a{}//Don't touch\n.x{}.c::before{content:\" / \"}"},
      // A comment between '/' and '*' leaves one space: "/*" would open another.
      {"x/ /* c */ *y\n",
       "1 comment removed.\nno string found.\n1 useless charachter removed.\n"
       "total: 8 useless charachters removed.\n61% compressed.\n",
       "x/ *y"},
      // The file's final line feed stays where it ends a string or follows a backslash, and
      // '@charset' never comes to stand at the first byte.
      {"a { content:'x\n",
       "no comment found.\n1 string still untouched.\n2 useless charachters removed.\n"
       "total: 2 useless charachters removed.\n13% compressed.\n",
       "a{content:'x\n"},
      {"url( \\\n",
       "no comment found.\nno string found.\n1 useless charachter removed.\n"
       "total: 1 useless charachter removed.\n14% compressed.\n",
       "url(\\\n"},
      {"/* licence */\n@charset \"x\";\n.a{}\n",
       "1 comment removed.\n1 string still untouched.\n1 useless charachter removed.\n"
       "total: 14 useless charachters removed.\n43% compressed.\n",
       " @charset \"x\";.a{}"},
      {"\xEF\xBB\xBF" "a { }\xA0\n",
       "no comment found.\nno string found.\n2 useless charachters removed.\n"
       "total: 2 useless charachters removed.\n22% compressed.\n",
       "\xEF\xBB\xBF" "a{}\xA0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before));
    const std::string path = make_file("site.css", row.before);
    const run_outcome outcome = run({path});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.transcript, banner_lines + row.lines);
    EXPECT_EQ(outcome.unread_input, "unread");
    EXPECT_EQ(file(path).bytes, row.after);
  }
}

TEST_F(RunCssqueeze, LeavesAFileWithNothingToChangeOrHoldingANulByteAlone) {
  const struct {
    std::string bytes;
    std::string lines;
  } rows[] = {
      {"a{color:red}\n",
       "no comment found.\nno string found.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      {"a{content:'x  y'}\n",
       "no comment found.\n1 string still untouched.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      {"a{content:\"/*\"}",
       "no comment found.\n1 string still untouched.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      {"a{}/* open",
       "no comment found.\nno string found.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      {"",
       "no comment found.\nno string found.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      {"\n",
       "no comment found.\nno string found.\nno useless charachter found.\n"
       "there is nothing to change.\n"},
      // No stylesheet: refused before any stage, wherever the NUL byte stands.
      {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR ; \t ;  \n"s, not_text_line},
      {"a\0 \0{\0 \0}\0"s, not_text_line},  // "a { }" in UTF-16LE
      {"a {\n  color : red ;\n}\n\0"s, not_text_line},
      {"\0"s, not_text_line},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.bytes));
    const std::string path = make_file("site.css", row.bytes);
    const run_outcome outcome = run({path});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.transcript, banner_lines + row.lines);
    EXPECT_EQ(outcome.unread_input, "unread");
    EXPECT_EQ(file(path).bytes, row.bytes);
    EXPECT_EQ(file(path).writes, 0);
  }
}

// Each way the file layer can refuse, in the words the console gives it; the file keeps
// its bytes.
TEST_F(RunCssqueeze, FilesThatCannotBeUsed) {
  const std::string needs_change = "a  b";
  const std::string stage_lines =
      "no comment found.\nno string found.\n1 useless charachter removed.\n"
      "total: 1 useless charachter removed.\n25% compressed.\n";
  const struct {
    const char* name;
    read_result read;
    write_result write;
    std::string lines;
  } rows[] = {
      {"cannot be opened", read_result::cannot_open, write_result::ok, cannot_open_line},
      {"too large", read_result::too_large, write_result::ok,
       "That file is too large (over 2147483647 bytes); it was left untouched.\n"},
      {"read fails part way", read_result::read_failed, write_result::ok,
       "We couldn't read the whole file; it was left untouched.\n"},
      {"cannot be opened again", read_result::ok, write_result::cannot_open,
       stage_lines + "we couldn't access the file again.\n"},
      {"write fails", read_result::ok, write_result::write_failed,
       stage_lines + "we couldn't write the file; it was left as it was.\n"},
      {"write fails and so does putting the original back", read_result::ok,
       write_result::original_kept_aside,
       stage_lines + "we couldn't write the file, nor put it back as it was; its original "
                     "bytes are in site.css.original\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fake_file& given = fake_files()["site.css"];
    given = {needs_change};
    given.read = row.read;
    given.write = row.write;
    const run_outcome outcome = run({"site.css"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.transcript, banner_lines + row.lines);
    EXPECT_EQ(outcome.unread_input, "unread");
    EXPECT_EQ(file("site.css").bytes, needs_change);
  }
  for (const std::string path : {"missing.css", ""}) {
    SCOPED_TRACE(testing::PrintToString(path));
    EXPECT_EQ(run({path}).transcript, banner_lines + cannot_open_line);
    EXPECT_EQ(fake_files().count(path), 0u);
  }
}

// Where text files end their lines with CR LF, a loaded CR LF is one LF and a saved LF
// goes back as CR LF.
TEST_F(RunCssqueeze, CrLfLineEnds) {
  fake_platform_uses_crlf = true;
  make_file("site.css", "a {\r\n\r\n}\r\nb\r\n\r\nc\r\n");
  const run_outcome outcome = run({"site.css"});
  EXPECT_EQ(outcome.transcript,
            banner_lines +
                "no comment found.\nno string found.\n5 useless charachters removed.\n"
                "total: 5 useless charachters removed.\n45% compressed.\n");
  EXPECT_EQ(file("site.css").bytes, "a{}b\r\nc");
}

TEST_F(RunCssqueeze, IgnoresArgumentsAfterTheFirst) {
  const std::string first = make_file("first.css", "a {\n  color : red ;\n}\n");
  const std::string second = make_file("second.css", "b { }\n");
  const run_outcome outcome = run({first, second, "--third"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.transcript,
            banner_lines +
                "no comment found.\nno string found.\n9 useless charachters removed.\n"
                "total: 9 useless charachters removed.\n42% compressed.\n");
  EXPECT_EQ(file(first).bytes, "a{color:red}");
  EXPECT_EQ(file(second).bytes, "b { }\n");
}

// Without a file argument the run registers the context-menu verb (here with the scripted
// registry) and runs none of the minify stages.
TEST_F(RunCssqueeze, NoArgumentSelectsRegisterMode) {
  fake_registry_script key_present;
  fake_registry_script key_absent;
  key_absent.open = {registry_status::absent, 2};
  const struct {
    const fake_registry_script* script;
    std::string lines;
  } rows[] = {
      {&key_present, "From now, you can use right click context-menu to access this tool.\n"},
      {&key_absent,
       "Success: Key created.\n"
       "From now, you can use right click context-menu to access this tool.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script->open.code);
    reset_fake_registry(*row.script, nullptr);
    const run_outcome outcome = run({});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.transcript, banner_lines + row.lines);
    EXPECT_EQ(outcome.unread_input, "unread");
  }
}

// The answers end the run before the banner and read no input. A file may hold an option's
// name: that file is minified like any other.
TEST_F(RunCssqueeze, HelpAndVersionUnlessAFileHasThatName) {
  const std::string usage_start =
      "cssqueeze " CSSQUEEZE_VERSION " - compresses a CSS file in place\n\nUsage: ";
  const std::string minified = banner_lines +
                               "no comment found.\nno string found.\n"
                               "1 useless charachter removed.\n"
                               "total: 1 useless charachter removed.\n25% compressed.\n";
#ifdef _WIN32
  const bool slash_question_is_help = true;
#else
  const bool slash_question_is_help = false;
#endif
  enum answer { usage, version, minify, cannot_open };
  const struct {
    std::string argument;
    bool file_exists;
    answer expected;
  } rows[] = {
      {"--help", false, usage},       {"-h", false, usage},
      {"--version", false, version},  {"/?", false, slash_question_is_help ? usage : cannot_open},
      {"--help", true, minify},       {"-h", true, minify},
      {"--version", true, minify},    {"--HELP", false, cannot_open},
      {"-help", false, cannot_open},  {"--version=1", false, cannot_open},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.argument + (row.file_exists ? " (a file)" : ""));
    if (row.file_exists) make_file(row.argument, "a  b\n");
    const run_outcome outcome = run({row.argument});
    EXPECT_EQ(outcome.status, 0);
    switch (row.expected) {
      case usage:
        EXPECT_EQ(outcome.transcript.rfind(usage_start, 0), 0u) << outcome.transcript;
        EXPECT_NE(outcome.transcript.find("\nExit status: 0"), std::string::npos);
        EXPECT_EQ(outcome.unread_input, "\nunread");
        break;
      case version:
        EXPECT_EQ(outcome.transcript, "cssqueeze " CSSQUEEZE_VERSION "\n");
        EXPECT_EQ(outcome.unread_input, "\nunread");
        break;
      case minify:
        EXPECT_EQ(outcome.transcript, minified);
        EXPECT_EQ(file(row.argument).bytes, "a b");
        EXPECT_EQ(outcome.unread_input, "unread");
        break;
      case cannot_open:
        EXPECT_EQ(outcome.transcript, banner_lines + cannot_open_line);
        EXPECT_EQ(outcome.unread_input, "unread");
        break;
    }
    fake_files().clear();
  }
}

TEST_F(RunCssqueeze, EndsAtOnceWhenInputIsAtItsEnd) {
  const std::string path = make_file("site.css", "a  b");
  const char* const argv[] = {"cssqueeze", path.c_str(), nullptr};
  std::ostringstream out;
  std::istringstream in("");
  EXPECT_EQ(run_cssqueeze(argv, out, in), 0);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(file(path).bytes, "a b");
}

}  // namespace
