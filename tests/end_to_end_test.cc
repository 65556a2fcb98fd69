// Runs the built tool as a user would, on copies of stylesheets in a temporary folder, with
// standard input at end of file so that the wait for Enter returns at once; checks the
// console lines after the banner, the bytes left on disk, the exit status and silence on
// standard error.
#include <gtest/gtest.h>

#if defined(_WIN32)

TEST(EndToEnd, NeedsPosix) { GTEST_SKIP() << "these runs start the tool with posix_spawn"; }

#else

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* tool_path = CSSQUEEZE_EXE;
constexpr const char* test_data = CSSQUEEZE_TEST_DATA;
constexpr const char* setpriv_path = "/usr/bin/setpriv";

// The Overview's typical stylesheet and what becomes of it.
const std::string typical_file = "a {\n  color : red ;\n}\n";
const std::string typical_result = "a{color:red}";
const std::string typical_lines =
    "no comment found.\n"
    "no string found.\n"
    "9 useless charachters removed.\n"
    "total: 9 useless charachters removed.\n"
    "42% compressed.\n";
const std::string nothing_to_change_lines =
    "no comment found.\n"
    "no string found.\n"
    "no useless charachter found.\n"
    "there is nothing to change.\n";
const std::string cannot_open_line = "We don't access to that file.\n";

struct run_result {
  bool finished = false;
  int exit_status = -1;
  std::string banner;  // the first three lines
  std::string lines;   // everything after them
  std::string errors;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> folder_names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

timespec modification_time(const fs::path& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mtim;
}

// Each test gets a folder open to everyone (a run as nobody must reach it): the captured
// console output sits at its top, the stylesheets in work/ so that a stray temporary file
// left by the tool would show in work/'s listing.
class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "cssqueeze-end-to-end-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    folder_ = name;
    work_ = folder_ / "work";
    fs::create_directory(work_);
    const fs::perms open_folder = fs::perms::owner_all | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read |
                                  fs::perms::others_exec;
    fs::permissions(folder_, open_folder);
    fs::permissions(work_, open_folder);
  }

  void TearDown() override {
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(work_, ignored)) {
      if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(folder_, ignored);
  }

  // Whether a run as an unprivileged user is possible: root ignores permission bits, so
  // root runs the tool through setpriv as nobody.
  static bool can_run_unprivileged() {
    return ::geteuid() != 0 || ::access(setpriv_path, X_OK) == 0;
  }

  run_result run(const std::vector<std::string>& arguments, bool unprivileged = false) {
    std::vector<std::string> command;
    if (unprivileged && ::geteuid() == 0) {
      // A copy of the tool in the test's folder, where nobody may run it whatever the
      // rights on the build folder.
      const fs::path tool_copy = folder_ / "cssqueeze";
      fs::copy_file(tool_path, tool_copy, fs::copy_options::overwrite_existing);
      fs::permissions(tool_copy, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
      command = {setpriv_path, "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                 tool_copy.string()};
    } else {
      command = {tool_path};
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : command) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const std::string out_path = (folder_ / "stdout").string();
    const std::string err_path = (folder_ / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = -1;
    const int spawn_error = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    run_result result;
    if (spawn_error != 0) return result;

    // A tool that hangs (on a FIFO, say) must fail the test, not stall the whole run.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return result;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.finished = true;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::string out = read_file(out_path);
    std::size_t banner_end = 0;
    for (int line = 0; line < 3 && banner_end != std::string::npos; ++line) {
      banner_end = out.find('\n', banner_end);
      if (banner_end != std::string::npos) ++banner_end;
    }
    if (banner_end == std::string::npos) banner_end = out.size();
    result.banner = out.substr(0, banner_end);
    result.lines = out.substr(banner_end);
    result.errors = read_file(err_path);
    return result;
  }

  // What every run must show whatever happened: status 0, the banner, nothing on stderr.
  static void expect_clean_run(const run_result& result) {
    ASSERT_TRUE(result.finished) << "the tool did not start or did not end";
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.errors, "");
    // Two lines of credits and an empty line.
    ASSERT_GE(result.banner.size(), 4u);
    EXPECT_EQ(result.banner.substr(result.banner.size() - 2), "\n\n");
    EXPECT_EQ(std::count(result.banner.begin(), result.banner.end(), '\n'), 3);
    EXPECT_NE(result.banner[0], '\n');
  }

  fs::path folder_;
  fs::path work_;
};

TEST_F(EndToEnd, MinifiesInPlaceAndReportsEachStage) {
  struct row {
    const char* name;
    std::string before;
    std::string lines;
    std::string after;
  };
  const row rows[] = {
      {"typical", typical_file, typical_lines, typical_result},
      {"already minified", "a{color:red}\n", nothing_to_change_lines, "a{color:red}\n"},
      {"empty", "", nothing_to_change_lines, ""},
      {"one line feed", "\n", nothing_to_change_lines, "\n"},
      {"one change",
       "a\n\nb\n",
       "no comment found.\n"
       "no string found.\n"
       "1 useless charachter removed.\n"
       "total: 1 useless charachter removed.\n"
       "25% compressed.\n",
       "a\nb"},
      // No line-end translation on this platform: CR is layout space like any other.
      {"CR LF line ends",
       "a {\r\n  color : red ;\r\n}\r\n",
       "no comment found.\n"
       "no string found.\n"
       "12 useless charachters removed.\n"
       "total: 12 useless charachters removed.\n"
       "50% compressed.\n",
       typical_result},
      {"comments around a string",
       "/**/a{b:\"xx\"}/*c*/",
       "2 comments removed.\n"
       "1 string still untouched.\n"
       "no useless charachter found.\n"
       "total: 9 useless charachters removed.\n"
       "50% compressed.\n",
       "a{b:\"xx\"}"},
  };
  // Far enough in the past that any rewrite would show.
  const timespec old_times[2] = {{978307200, 0}, {978307200, 0}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const fs::path path = work_ / "site.css";
    write_file(path, r.before);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old_times, 0), 0);
    const run_result result = run({path.string()});
    expect_clean_run(result);
    EXPECT_EQ(result.lines, r.lines);
    EXPECT_EQ(read_file(path), r.after);
    if (r.after == r.before) {
      const timespec after = modification_time(path);
      EXPECT_EQ(after.tv_sec, old_times[1].tv_sec);
      EXPECT_EQ(after.tv_nsec, old_times[1].tv_nsec);
    }
    EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
  }
}

TEST_F(EndToEnd, SampleStylesheetKeepsItsStringsAndPermissionBits) {
  const fs::path path = work_ / "site.css";
  fs::copy_file(fs::path(test_data) / "site.css", path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const run_result result = run({path.string()});
  expect_clean_run(result);
  EXPECT_EQ(result.lines,
            "4 comments removed.\n"
            "8 strings still untouched.\n"
            "139 useless charachters removed.\n"
            "total: 337 useless charachters removed.\n"
            "37% compressed.\n");
  EXPECT_EQ(read_file(path), read_file(fs::path(test_data) / "site.min.css"));
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Its own output needs nothing more: the strings are found again and left alone.
  const run_result again = run({path.string()});
  expect_clean_run(again);
  EXPECT_EQ(again.lines,
            "no comment found.\n"
            "8 strings still untouched.\n"
            "no useless charachter found.\n"
            "there is nothing to change.\n");
  EXPECT_EQ(read_file(path), read_file(fs::path(test_data) / "site.min.css"));
}

TEST_F(EndToEnd, PathsThatAreNoReadableFileGetOneLine) {
  fs::create_directory(work_ / "folder");
  ASSERT_EQ(::mkfifo((work_ / "pipe.css").c_str(), 0644), 0);
  struct row {
    const char* name;
    std::string path;
  };
  const row rows[] = {
      {"missing file", (work_ / "missing.css").string()},
      {"folder", (work_ / "folder").string()},
      {"FIFO without a writer", (work_ / "pipe.css").string()},
      {"empty argument", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const run_result result = run({r.path});
    expect_clean_run(result);
    EXPECT_EQ(result.lines, cannot_open_line);
    EXPECT_EQ(folder_names(work_), (std::vector<std::string>{"folder", "pipe.css"}));
    EXPECT_TRUE(fs::is_empty(work_ / "folder"));
  }
}

TEST_F(EndToEnd, ArgumentsAfterTheFirstAreIgnored) {
  write_file(work_ / "first.css", typical_file);
  write_file(work_ / "second.css", typical_file);
  const run_result result = run({(work_ / "first.css").string(), (work_ / "second.css").string(),
                                 "--help", ""});
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines);
  EXPECT_EQ(read_file(work_ / "first.css"), typical_result);
  EXPECT_EQ(read_file(work_ / "second.css"), typical_file);
}

TEST_F(EndToEnd, SymbolicLinkStaysALinkAndItsTargetIsMinified) {
  write_file(work_ / "real.css", typical_file);
  fs::create_symlink("real.css", work_ / "link.css");
  const run_result result = run({(work_ / "link.css").string()});
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(work_ / "link.css")));
  EXPECT_EQ(fs::read_symlink(work_ / "link.css"), fs::path("real.css"));
  EXPECT_EQ(read_file(work_ / "real.css"), typical_result);
  EXPECT_EQ(folder_names(work_), (std::vector<std::string>{"link.css", "real.css"}));
}

TEST_F(EndToEnd, ReadOnlyFileIsReportedAndLeftAlone) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "root, and no setpriv to run as nobody";
  const fs::path path = work_ / "site.css";
  write_file(path, typical_file);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const run_result result = run({path.string()}, true);
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines + "we couldn't access the file again.\n");
  EXPECT_EQ(read_file(path), typical_file);
  EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
}

}  // namespace

#endif  // defined(_WIN32)
