// Load and save: the line-end handling on its own, then real files in a temporary folder,
// above all the ways a save can be refused or fail, where the original must survive whole.
#include "minifier/stylesheet_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "minifier/file_system.h"

#if !defined(_WIN32)
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(ToWorkingText, DropsOneFinalLineEndAndFoldsOnlyWhenAsked) {
  struct row {
    std::string file_bytes;
    bool fold_crlf;
    std::string expected;
  };
  const row rows[] = {
      {"a\n\nb\n", false, "a\n\nb"},
      {"", false, ""},
      {"\n", false, ""},
      {"\n\n", false, "\n"},
      {"\n\nb", false, "\n\nb"},
      {"a", false, "a"},
      {"a\r\nb\r\n", false, "a\r\nb\r"},
      {"a\r\nb\r\n", true, "a\nb"},
      {"\r\n", true, ""},
      {"a\rb\r", true, "a\rb\r"},
      {"\r\r\n", true, "\r"},
      {"a\n\r", true, "a\n\r"},
      {"\r\n\r\n", true, "\n"},
      {"x\x1a\0\xff\n"s, false, "x\x1a\0\xff"s},
      {"x\x1a\0\xff\r\n"s, true, "x\x1a\0\xff"s},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.file_bytes) + (r.fold_crlf ? " folded" : ""));
    std::string bytes = r.file_bytes;
    to_working_text(bytes, r.fold_crlf);
    EXPECT_EQ(bytes, r.expected);
  }
}

TEST(ToFileText, WritesEachLineFeedAsCrLfAndFoldsBack) {
  struct row {
    std::string working_text;
    std::string expected;
  };
  const row rows[] = {
      {"", ""},
      {"a", "a"},
      {"a\nb", "a\r\nb"},
      {"\n\n", "\r\n\r\n"},
      {"a\r", "a\r"},
      {"\r\n", "\r\r\n"},
      {"\x1a\0\xff\n"s, "\x1a\0\xff\r\n"s},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.working_text));
    const std::string file_text = to_file_text(r.working_text);
    EXPECT_EQ(file_text, r.expected);
    // A Windows save followed by a Windows load must give the text back; the saved file
    // has no final line end, so one is added as an editor would.
    std::string reloaded = file_text + "\r\n";
    to_working_text(reloaded, true);
    EXPECT_EQ(reloaded, r.working_text);
  }
}

// A fresh folder per test, removed with everything in it afterwards.
class StylesheetFile : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() /
              ("cssqueeze-file-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directory(folder_);
  }

  void TearDown() override {
    std::error_code ignored;
    // Tests take rights away from folders; give them back so that everything can go.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ignored)) {
      if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(folder_, ignored);
  }

  std::string make_file(const std::string& name, const std::string& bytes) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::vector<std::string> folder_names(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

TEST_F(StylesheetFile, LoadGivesTheLinesWithoutTheFinalLineEnd) {
  struct row {
    std::string file_bytes;
    std::string expected;
  };
  const row rows[] = {
      {"a\n\nb\n", "a\n\nb"},
      {"", ""},
      {"\n", ""},
      {"\n\n", "\n"},
      {"a {\n  color : red ;\n}", "a {\n  color : red ;\n}"},
      {"\xef\xbb\xbf" "a\0b\xff\n"s, "\xef\xbb\xbf" "a\0b\xff"s},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.file_bytes));
    const std::string path = make_file("site.css", r.file_bytes);
    std::string working_text = "left over";
    std::int32_t loaded_length = -1;
    std::ostringstream out;
    ASSERT_TRUE(load_stylesheet(path, working_text, loaded_length, out));
    EXPECT_EQ(working_text, r.expected);
    EXPECT_EQ(loaded_length, static_cast<std::int32_t>(r.expected.size()));
    EXPECT_EQ(out.str(), "");
  }
}

TEST_F(StylesheetFile, PathsThatAreNoReadableFileAreRefused) {
  fs::create_directory(folder_ / "folder");
  const std::string paths[] = {"", (folder_ / "missing.css").string(),
                               (folder_ / "folder").string(),
                               (folder_ / "missing" / "site.css").string()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string working_text = "left over";
    std::int32_t loaded_length = -1;
    std::ostringstream out;
    EXPECT_FALSE(load_stylesheet(path, working_text, loaded_length, out));
    EXPECT_EQ(out.str(), "We don't access to that file.\n");
    EXPECT_EQ(working_text, "left over");
  }
  EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"folder"});
}

TEST_F(StylesheetFile, ReadLimitCountsTheFileBytes) {
  const std::string path = make_file("site.css", "abcd");
  std::string bytes = "left over";
  EXPECT_EQ(read_whole_file(path, 3, bytes), read_result::too_large);
  EXPECT_EQ(bytes, "left over");
  EXPECT_EQ(read_whole_file(path, 4, bytes), read_result::ok);
  EXPECT_EQ(bytes, "abcd");
}

TEST_F(StylesheetFile, SaveReplacesTheContentsAndLeavesNothingBehind) {
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  std::ostringstream out;
  save_stylesheet(path, "a{color:red}", out);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(read_file(path), "a{color:red}");
  save_stylesheet(path, "a\nb", out);
  EXPECT_EQ(read_file(path), platform_uses_crlf() ? "a\r\nb" : "a\nb");
  save_stylesheet(path, "", out);
  EXPECT_EQ(read_file(path), "");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"site.css"});
}

TEST_F(StylesheetFile, LongestFileNamesCanBeSaved) {
  // The new text is written under a longer name first; that name must still be legal.
  for (const std::size_t length : {std::size_t{200}, std::size_t{238}, std::size_t{255}}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".css";
    const std::string path = make_file(name, "a {\n  color : red ;\n}\n");
    std::ostringstream out;
    save_stylesheet(path, "a{color:red}", out);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(read_file(path), "a{color:red}");
    EXPECT_EQ(folder_names(folder_), std::vector<std::string>{name});
    fs::remove(path);
  }
}

#if !defined(_WIN32)

// Runs check in a child process, so that what it changes about the process stays there;
// with unprivileged set, a child of root first becomes nobody, since root may write any
// file. Returns the child's exit status: 0 when check returned true, 1 when false, 77 when
// no unprivileged user could be had.
constexpr int cannot_drop_privileges = 77;
int run_in_child(const std::function<bool()>& check, bool unprivileged) {
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 0;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 0;
  const pid_t child = ::fork();
  if (child == 0) {
    if (unprivileged && ::geteuid() == 0) {
      if (nobody == nullptr || uid == 0 || ::setgroups(0, nullptr) != 0 ||
          ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0) {
        ::_exit(cannot_drop_privileges);
      }
    }
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The child's folder and file must be reachable by nobody.
void open_to_everyone(const fs::path& folder) {
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

TEST_F(StylesheetFile, FifoIsRefusedWithoutWaitingForAWriter) {
  const std::string path = (folder_ / "pipe.css").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  std::string working_text;
  std::int32_t loaded_length = -1;
  std::ostringstream out;
  ::alarm(10);  // a blocking open would hang the test run; this ends it instead
  EXPECT_FALSE(load_stylesheet(path, working_text, loaded_length, out));
  ::alarm(0);
  EXPECT_EQ(out.str(), "We don't access to that file.\n");
}

TEST_F(StylesheetFile, FileOverTheLimitIsRefusedWithoutReading) {
  // Sparse: it takes no space and is refused on its size before any byte is read.
  const std::string path = make_file("huge.css", "");
  fs::resize_file(path, std::uintmax_t{1} << 31 | 1);
  std::string working_text;
  std::int32_t loaded_length = -1;
  std::ostringstream out;
  EXPECT_FALSE(load_stylesheet(path, working_text, loaded_length, out));
  EXPECT_EQ(out.str(),
            "That file is too large (over 2147483647 bytes); it was left untouched.\n");
  EXPECT_EQ(fs::file_size(path), std::uintmax_t{1} << 31 | 1);
}

TEST(ReadWholeFile, ReadsToTheEndWhateverSizeTheFileClaims) {
  // Files under /proc claim a size of 0 and hold text all the same.
  std::string bytes;
  if (!fs::exists("/proc/self/status")) GTEST_SKIP() << "no /proc";
  ASSERT_EQ(read_whole_file("/proc/self/status", 1 << 20, bytes), read_result::ok);
  EXPECT_NE(bytes.find("Pid:"), std::string::npos);
  EXPECT_EQ(read_whole_file("/proc/self/status", 10, bytes), read_result::too_large);
}

TEST(LoadStylesheet, ReadErrorAbandonsTheLoad) {
  // A regular file whose first read fails: offset 0 of a process's memory is never mapped.
  std::string bytes;
  if (read_whole_file("/proc/self/mem", 1 << 20, bytes) != read_result::read_failed) {
    GTEST_SKIP() << "this system lets /proc/self/mem be read from offset 0";
  }
  std::string working_text = "left over";
  std::int32_t loaded_length = -1;
  std::ostringstream out;
  EXPECT_FALSE(load_stylesheet("/proc/self/mem", working_text, loaded_length, out));
  EXPECT_EQ(out.str(), "We couldn't read the whole file; it was left untouched.\n");
  EXPECT_EQ(working_text, "left over");
}

TEST_F(StylesheetFile, ReadOnlyFileIsNotTouched) {
  open_to_everyone(folder_);
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const int status = run_in_child([&] {
    std::ostringstream out;
    save_stylesheet(path, "a{color:red}", out);
    return out.str() == "we couldn't access the file again.\n";
  }, true);
  if (status == cannot_drop_privileges) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(path), "a {\n  color : red ;\n}\n");
  EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"site.css"});
}

TEST_F(StylesheetFile, FolderThatRefusesTheNewFileLeavesTheOriginal) {
  open_to_everyone(folder_);
  const fs::path locked = folder_ / "locked";
  fs::create_directory(locked);
  const std::string path = (locked / "site.css").string();
  std::ofstream(path, std::ios::binary) << "a {\n  color : red ;\n}\n";
  fs::permissions(path, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                            ~fs::perms::others_exec);  // writable by anyone
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec |
                              fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  const int status = run_in_child([&] {
    std::ostringstream out;
    save_stylesheet(path, "a{color:red}", out);
    return out.str() == "we couldn't write the file; it was left as it was.\n";
  }, true);
  if (status == cannot_drop_privileges) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(path), "a {\n  color : red ;\n}\n");
  EXPECT_EQ(folder_names(locked), std::vector<std::string>{"site.css"});
}

TEST_F(StylesheetFile, WriteFailingPartWayLeavesTheOriginal) {
  // A file size limit makes the write of the new contents fail after the first bytes, as a
  // full disk would; the child process keeps the limit away from the test run.
  const std::string original = "a {\n  color : red ;\n}\n";
  const std::string path = make_file("site.css", original);
  const int status = run_in_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    std::ostringstream out;
    save_stylesheet(path, std::string(100000, 'x'), out);
    return out.str() == "we couldn't write the file; it was left as it was.\n";
  }, false);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(path), original);
  EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"site.css"});
}

TEST_F(StylesheetFile, SymbolicLinkStaysALinkAndItsTargetChanges) {
  const std::string target = make_file("real.css", "a {\n  color : red ;\n}\n");
  fs::create_directory(folder_ / "links");
  const fs::path link = folder_ / "links" / "site.css";
  fs::create_symlink(fs::path("..") / "real.css", link);
  std::ostringstream out;
  save_stylesheet(link.string(), "a{color:red}", out);
  EXPECT_EQ(out.str(), "");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(fs::read_symlink(link), fs::path("..") / "real.css");
  EXPECT_EQ(read_file(target), "a{color:red}");
  EXPECT_EQ(folder_names(folder_ / "links"), std::vector<std::string>{"site.css"});
  EXPECT_EQ(folder_names(folder_), (std::vector<std::string>{"links", "real.css"}));
}

TEST_F(StylesheetFile, SaveKeepsPermissionBitsAndOwner) {
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  const mode_t modes[] = {0600, 0640, 0664, 0604, 0755};
  for (const mode_t mode : modes) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    std::ostringstream out;
    save_stylesheet(path, "a{color:red}", out);
    EXPECT_EQ(out.str(), "");
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
  }
  // Only root may give a file away; it must get back the owner it had, not root.
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) return;
  ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  std::ostringstream out;
  save_stylesheet(path, "b{}", out);
  struct stat status;
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, nobody->pw_uid);
  EXPECT_EQ(status.st_gid, nobody->pw_gid);
  EXPECT_EQ(read_file(path), "b{}");
}

#endif  // !defined(_WIN32)

}  // namespace
