// Starts the built tool as a user would, for the tests that run it on real files: standard
// input at end of file (the wait for Enter returns at once), the console captured, a
// deadline so that a hang fails the test instead of stalling the run. POSIX only.
#ifndef TESTS_TOOL_RUNNER_H_
#define TESTS_TOOL_RUNNER_H_

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_files.h"

// A typical small stylesheet, what the tool makes of it and the lines it prints for it.
inline const std::string typical_file = "a {\n  color : red ;\n}\n";
inline const std::string typical_result = "a{color:red}";
inline const std::string typical_lines =
    "no comment found.\n"
    "no string found.\n"
    "9 useless charachters removed.\n"
    "total: 9 useless charachters removed.\n"
    "42% compressed.\n";
// The one line for a path that is no readable file.
inline const std::string cannot_open_line = "We don't access to that file.\n";

struct tool_run_options {
  std::vector<std::string> arguments{};  // after the program name
  // Where the captured console goes (stdout, stderr) and, for an unprivileged run, where a
  // copy of the tool is put: it must be a folder nobody may enter.
  std::filesystem::path scratch_folder{};
  std::filesystem::path working_folder{};  // empty: the test's own
  bool unprivileged = false;               // as nobody when the test runs as root
  long long file_size_limit = -1;          // bytes, as ulimit -f; -1: none
  std::vector<std::pair<std::string, std::string>> environment{};  // set for the run
  std::chrono::seconds timeout{30};
};

struct tool_run {
  bool finished = false;  // false: it could not start, or was killed at the deadline
  int exit_status = -1;   // -1 when ended by a signal
  int signal = 0;         // the signal that ended it, if any
  std::string banner;     // the first three lines
  std::string lines;      // everything after them
  std::string errors;     // standard error
  std::chrono::steady_clock::duration elapsed{};
};

tool_run run_tool(const tool_run_options& options);

// The built tool that run_tool starts (unless it runs a copy as nobody).
std::filesystem::path tool_path();

// Whether a run as a user whom permission bits bind is possible: root becomes nobody.
bool can_run_unprivileged();

// What every run must show whatever happened: it ended by itself with status 0, the
// banner's two lines and an empty line came first, nothing went to standard error.
void expect_clean_run(const tool_run& result);

// A folder per test, open to everyone so that a run as nobody reaches it: the captured
// console sits at its top, the test's files in work/, so that a stray temporary file left by
// the tool shows in work/'s listing.
class ToolRunTest : public testing::Test {
 protected:
  ToolRunTest();

  // Runs the tool with these arguments and the other fields of options.
  tool_run run(std::vector<std::string> arguments, tool_run_options options = {}) const;

  temporary_folder temporary_{"cssqueeze-tool"};
  const std::filesystem::path folder_ = temporary_.path();
  const std::filesystem::path work_ = folder_ / "work";
};

#endif  // TESTS_TOOL_RUNNER_H_
