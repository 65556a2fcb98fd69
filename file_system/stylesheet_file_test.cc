// Load and save: the line-end handling on its own, then real files in a temporary folder,
// above all the ways a save can be refused or fail, where the original must survive whole.
#include "file_system/stylesheet_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "minifier/text_limits.h"
#include "tests/test_files.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
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

// Saves text as the tool saves a large one: begun before the text is whole, in parts.
write_result save_in_parts(const std::string& path, const std::string& text) {
  new_file_contents early(path);
  for (std::size_t at = 0; at < text.size(); at += 4096) {
    append_stylesheet_text(early, std::string_view(text).substr(at, 4096));
  }
  return save_stylesheet(path, text, nullptr, &early);
}

write_result save(const std::string& path, const std::string& text, bool in_parts) {
  return in_parts ? save_in_parts(path, text) : save_stylesheet(path, text);
}

class StylesheetFile : public testing::Test {
 protected:
  std::string make_file(const std::string& name, const std::string& bytes) const {
    write_file(folder_ / name, bytes);
    return (folder_ / name).string();
  }

  temporary_folder temporary_{"cssqueeze-file-test"};
  const fs::path folder_ = temporary_.path();
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
    ASSERT_EQ(load_stylesheet(path, max_text_length, working_text, loaded_length), read_result::ok);
    EXPECT_EQ(working_text, r.expected);
    EXPECT_EQ(loaded_length, static_cast<std::int32_t>(r.expected.size()));
  }
}

TEST_F(StylesheetFile, PathsThatAreNoReadableFileAreRefused) {
  fs::create_directory(folder_ / "folder");
  std::vector<std::string> paths = {"", (folder_ / "missing.css").string(),
                                    (folder_ / "folder").string(),
                                    (folder_ / "missing" / "site.css").string()};
  std::vector<std::string> names = {"folder"};
#if !defined(_WIN32)
  // A FIFO without a writer: opening it to read would wait for one.
  paths.push_back((folder_ / "pipe.css").string());
  names.push_back("pipe.css");
  ASSERT_EQ(::mkfifo(paths.back().c_str(), 0644), 0);
  ::alarm(10);  // a blocking open would hang the test run; this ends it instead
#endif
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string working_text = "left over";
    std::int32_t loaded_length = -1;
    EXPECT_EQ(load_stylesheet(path, max_text_length, working_text, loaded_length), read_result::cannot_open);
    EXPECT_EQ(working_text, "left over");
  }
#if !defined(_WIN32)
  ::alarm(0);
#endif
  EXPECT_EQ(folder_names(folder_), names);
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
  const std::string long_text(10000, 'x');
  for (const bool in_parts : {false, true}) {
    SCOPED_TRACE(in_parts ? "in parts" : "whole");
    EXPECT_EQ(save(path, "a{color:red}", in_parts), write_result::ok);
    EXPECT_EQ(read_file(path), "a{color:red}");
    EXPECT_EQ(save(path, "a\nb", in_parts), write_result::ok);
    EXPECT_EQ(read_file(path), platform_uses_crlf() ? "a\r\nb" : "a\nb");
    EXPECT_EQ(save(path, long_text, in_parts), write_result::ok);
    EXPECT_EQ(read_file(path), long_text);
    EXPECT_EQ(save(path, "", in_parts), write_result::ok);
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"site.css"});
  }
}

TEST_F(StylesheetFile, SaveBegunEarlyAndGivenUpLeavesTheOriginal) {
  // The text did not get shorter, or its last part never came: the save is not finished.
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  {
    new_file_contents early(path);
    append_stylesheet_text(early, "a{color:red}");
  }
  EXPECT_EQ(read_file(path), "a {\n  color : red ;\n}\n");
  EXPECT_EQ(folder_names(folder_), std::vector<std::string>{"site.css"});
}

TEST_F(StylesheetFile, LinkedFileIsWrittenInPlaceUnderEveryName) {
  // A file of its own renamed over one name would leave the other with the old text.
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  fs::create_hard_link(path, folder_ / "other.css");
  for (const bool in_parts : {false, true}) {
    SCOPED_TRACE(in_parts ? "in parts" : "whole");
    const std::string text = in_parts ? "b{color:red}" : "a{color:red}";
    EXPECT_EQ(save(path, text, in_parts), write_result::ok);
    EXPECT_EQ(read_file(path), text);
    EXPECT_EQ(read_file(folder_ / "other.css"), text);
    EXPECT_EQ(folder_names(folder_), (std::vector<std::string>{"other.css", "site.css"}));
  }
}

TEST_F(StylesheetFile, LongestFileNamesCanBeSaved) {
  // The new text is written under a longer name first; that name must still be legal.
  for (const std::size_t length : {std::size_t{200}, std::size_t{238}, std::size_t{255}}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".css";
    const std::string path = make_file(name, "a {\n  color : red ;\n}\n");
    EXPECT_EQ(save_stylesheet(path, "a{color:red}"), write_result::ok);
    EXPECT_EQ(read_file(path), "a{color:red}");
    EXPECT_EQ(folder_names(folder_), std::vector<std::string>{name});
    fs::remove(path);
  }
}

#if !defined(_WIN32)

TEST_F(StylesheetFile, FileOverTheLimitIsRefusedWithoutReading) {
  // Sparse: it takes no space and is refused on its size before any byte is read.
  const std::string path = make_file("huge.css", "");
  fs::resize_file(path, std::uintmax_t{1} << 31 | 1);
  std::string working_text;
  std::int32_t loaded_length = -1;
  EXPECT_EQ(load_stylesheet(path, max_text_length, working_text, loaded_length), read_result::too_large);
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
  EXPECT_EQ(load_stylesheet("/proc/self/mem", max_text_length, working_text, loaded_length),
            read_result::read_failed);
  EXPECT_EQ(working_text, "left over");
}

TEST_F(StylesheetFile, SaveUnderRefusalsAndLimits) {
  // Each row runs the save in a child, so that what it changes about the process stays
  // there; an unprivileged row's child becomes nobody when the test runs as root, since root
  // may write any file. A refused save leaves the original whole.
  const std::string original = "a {\n  color : red ;\n}\n";
  const fs::path locked = folder_ / "locked";
  struct row {
    const char* name;
    bool unprivileged;
    fs::path path;
    std::string new_text;
    void (*prepare)(const fs::path& path);  // in the child, before the save
    write_result result;
  };
  const row rows[] = {
      {"read-only file", true, folder_ / "site.css", "a{color:red}", nullptr,
       write_result::cannot_open},
      // The file may be written but no new file made beside it: it is written in place.
      {"folder that refuses the new file", true, locked / "site.css", "a{color:red}", nullptr,
       write_result::ok},
      // A file size limit makes the write of the new contents fail after the first bytes,
      // as a full disk would.
      {"write failing part way", false, folder_ / "written.css", std::string(100000, 'x'),
       [](const fs::path&) {
         std::signal(SIGXFSZ, SIG_IGN);
         const rlimit limit{4096, 4096};
         if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
       },
       write_result::write_failed},
  };
  open_to_everyone(folder_);
  fs::create_directory(locked);
  for (const row& r : rows) write_file(r.path, original);
  fs::permissions(rows[0].path,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(rows[1].path, fs::perms::all & ~fs::perms::owner_exec &
                                    ~fs::perms::group_exec & ~fs::perms::others_exec);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec |
                              fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  std::string not_run;
  for (const bool in_parts : {false, true}) {
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(r.name) + (in_parts ? ", in parts" : ", whole"));
      if (read_file(r.path) != original) write_file(r.path, original);
      const int status = run_in_child([&] {
        if (r.prepare != nullptr) r.prepare(r.path);
        return save(r.path.string(), r.new_text, in_parts) == r.result ? 0 : 1;
      }, r.unprivileged);
      if (status == cannot_become_nobody) {
        if (!in_parts) not_run += std::string(" ") + r.name + ";";
        continue;
      }
      EXPECT_EQ(status, 0);
      EXPECT_EQ(read_file(r.path), r.result == write_result::ok ? r.new_text : original);
    }
  }
  EXPECT_EQ(folder_names(folder_),
            (std::vector<std::string>{"locked", "site.css", "written.css"}));
  EXPECT_EQ(folder_names(locked), std::vector<std::string>{"site.css"});
  if (!not_run.empty()) GTEST_SKIP() << "no unprivileged user to run as for:" << not_run;
}

TEST_F(StylesheetFile, SymbolicLinkStaysALinkAndItsTargetChanges) {
  const std::string target = make_file("real.css", "a {\n  color : red ;\n}\n");
  fs::create_directory(folder_ / "links");
  const fs::path link = folder_ / "links" / "site.css";
  fs::create_symlink(fs::path("..") / "real.css", link);
  for (const bool in_parts : {false, true}) {
    SCOPED_TRACE(in_parts ? "in parts" : "whole");
    const std::string text = in_parts ? "b{color:red}" : "a{color:red}";
    EXPECT_EQ(save(link.string(), text, in_parts), write_result::ok);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(fs::read_symlink(link), fs::path("..") / "real.css");
    EXPECT_EQ(read_file(target), text);
    EXPECT_EQ(folder_names(folder_ / "links"), std::vector<std::string>{"site.css"});
    EXPECT_EQ(folder_names(folder_), (std::vector<std::string>{"links", "real.css"}));
  }
}

TEST_F(StylesheetFile, SaveKeepsPermissionBits) {
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  const mode_t modes[] = {0600, 0640, 0664, 0604, 0755};
  for (const mode_t mode : modes) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    EXPECT_EQ(save(path, "a{color:red}", (mode & 04) != 0), write_result::ok);
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
  }
}

TEST_F(StylesheetFile, SaveByRootKeepsAnotherUsersFile) {
  // The new file is root's until the save gives it back to the owner the old one had.
  uid_t uid = 0;
  gid_t gid = 0;
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  if (!find_nobody(uid, gid)) GTEST_SKIP() << "no user nobody to give the file to";
  const std::string path = make_file("site.css", "a {\n  color : red ;\n}\n");
  ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
  for (const bool in_parts : {false, true}) {
    SCOPED_TRACE(in_parts ? "in parts" : "whole");
    const std::string text = in_parts ? "c{}" : "b{}";
    EXPECT_EQ(save(path, text, in_parts), write_result::ok);
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, uid);
    EXPECT_EQ(status.st_gid, gid);
    EXPECT_EQ(read_file(path), text);
  }
}

#endif  // !defined(_WIN32)

}  // namespace
