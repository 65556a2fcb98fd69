// Runs the built tool as a user would, on copies of stylesheets in a temporary folder, with
// standard input at end of file so that the wait for Enter returns at once; checks the
// console lines after the banner, the bytes left on disk, the exit status and silence on
// standard error.
#include <gtest/gtest.h>

#if defined(_WIN32)

TEST(EndToEnd, NeedsPosix) { GTEST_SKIP() << "these runs start the tool with posix_spawn"; }

#else

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* test_data = CSSQUEEZE_TEST_DATA;

const std::string nothing_to_change_lines =
    "no comment found.\n"
    "no string found.\n"
    "no useless charachter found.\n"
    "there is nothing to change.\n";

using EndToEnd = ToolRunTest;

const std::string png_like("\x89PNG\r\n\x1a\n\0\0\0\rIHDR  ;  \n\t;;}", 26);
const std::string not_text_line =
    "That file is not a text stylesheet (it holds a NUL byte); it was left untouched.\n";

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
      // A mis-click on an image: whitespace and ';' that compaction would take, and NUL bytes.
      {"PNG-like binary", png_like, not_text_line, png_like},
  };
  // Far enough in the past that any rewrite would show.
  const timespec old_times[2] = {{978307200, 0}, {978307200, 0}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const fs::path path = work_ / "site.css";
    write_file(path, r.before);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old_times, 0), 0);
    const tool_run result = run({path.string()});
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
  const tool_run result = run({path.string()});
  expect_clean_run(result);
  EXPECT_EQ(result.lines,
            "4 comments removed.\n"
            "8 strings still untouched.\n"
            "136 useless charachters removed.\n"
            "total: 334 useless charachters removed.\n"
            "36% compressed.\n");
  EXPECT_EQ(read_file(path), read_file(fs::path(test_data) / "site.min.css"));
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Its own output needs nothing more: the strings are found again and left alone, and
  // the space that keeps '@charset' off the first byte stays.
  const tool_run again = run({path.string()});
  expect_clean_run(again);
  EXPECT_EQ(again.lines,
            "no comment found.\n"
            "8 strings still untouched.\n"
            "no useless charachter found.\n"
            "there is nothing to change.\n");
  EXPECT_EQ(read_file(path), read_file(fs::path(test_data) / "site.min.css"));
}

// What a save must not change about a file: who owns it, who may use it, its links.
struct file_identity {
  struct stat status;
  std::string acl;         // getfacl's listing
  std::string attributes;  // getfattr's dump of every attribute, the ACL's among them
};

// What a shell command printed; empty when it could not run.
std::string output_of(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      output.append(buffer, got);
    }
    ::pclose(pipe);
  }
  return output;
}

file_identity identity_of(const fs::path& path) {
  file_identity identity{};
  ::stat(path.c_str(), &identity.status);
  std::string quoted = "'";
  quoted += path.string();
  quoted += "'";
  identity.acl = output_of("getfacl -p " + quoted);
  identity.attributes = output_of("getfattr -d -m - -e hex --absolute-names " + quoted);
  return identity;
}

TEST_F(EndToEnd, SaveKeepsOwnerAccessAttributesAndLinks) {
  // Root prepares each file with Debian's acl and attr tools; the save is made by root or,
  // where the case is about another user's rights, by nobody.
  if (::geteuid() != 0 || !can_run_unprivileged()) {
    GTEST_SKIP() << "only root may set up files of other users, and run as nobody";
  }
  if (output_of("command -v setfacl getfacl setfattr getfattr").empty()) {
    GTEST_SKIP() << "needs setfacl and getfacl (Debian's acl), setfattr and getfattr (attr)";
  }
  struct row {
    const char* name;
    const char* folder_mode;
    const char* prepare;  // run in the folder on s.css
    bool by_nobody;
    bool same_file;  // overwritten in place; otherwise a rename may give it a new inode
  };
  const row rows[] = {
      {"an ACL and an attribute of the user's", "755",
       "chmod 600 s.css && setfacl -m u:nobody:r s.css && setfattr -n user.note -v keep s.css",
       false, false},
      {"root's file written by nobody through its group", "777",
       "chgrp nogroup s.css && chmod 664 s.css", true, true},
      {"a second name", "755", "ln s.css other.css", false, true},
      {"a writable file in a folder nobody may not write", "755", "chmod 666 s.css", true,
       true},
      // A new file there inherits the folder's default ACL; the file has none of its own.
      {"a folder whose default ACL would open a new file", "755",
       "setfacl -d -m u:nobody:rw . && setfacl -b s.css && chmod 640 s.css", false, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const fs::path folder = work_ / "case";
    const fs::path path = folder / "s.css";
    fs::remove_all(folder);
    fs::create_directory(folder);
    write_file(path, typical_file);
    ASSERT_EQ(output_of(std::string("cd '") + folder.string() + "' && chmod " +
                        r.folder_mode + " . && " + r.prepare + " && echo ok"),
              "ok\n");
    const file_identity before = identity_of(path);
    const tool_run result = run({path.string()}, {.unprivileged = r.by_nobody});
    expect_clean_run(result);
    EXPECT_EQ(result.lines, typical_lines);
    EXPECT_EQ(read_file(path), typical_result);
    const file_identity after = identity_of(path);
    if (r.same_file) {
      EXPECT_EQ(after.status.st_ino, before.status.st_ino);
    }
    EXPECT_EQ(after.status.st_uid, before.status.st_uid);
    EXPECT_EQ(after.status.st_gid, before.status.st_gid);
    EXPECT_EQ(after.status.st_mode, before.status.st_mode);
    EXPECT_EQ(after.status.st_nlink, before.status.st_nlink);
    EXPECT_EQ(after.acl, before.acl);
    EXPECT_EQ(after.attributes, before.attributes);
    std::vector<std::string> names = folder_names(folder);
    if (before.status.st_nlink > 1) {
      EXPECT_EQ(read_file(folder / "other.css"), typical_result);
      names.erase(std::remove(names.begin(), names.end(), "other.css"), names.end());
    }
    EXPECT_EQ(names, std::vector<std::string>{"s.css"});
  }
}

TEST_F(EndToEnd, ArgumentsAfterTheFirstAreIgnored) {
  write_file(work_ / "first.css", typical_file);
  write_file(work_ / "second.css", typical_file);
  const tool_run result = run({(work_ / "first.css").string(), (work_ / "second.css").string(),
                                 "--help", ""});
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines);
  EXPECT_EQ(read_file(work_ / "first.css"), typical_result);
  EXPECT_EQ(read_file(work_ / "second.css"), typical_file);
}

// What a packaging tool or a user at a shell asks; a file that holds the option's name in
// the working folder is still minified. (The usage text is checked in the driver's tests.)
TEST_F(EndToEnd, VersionUnlessAFileHasThatName) {
  const tool_run version = run({"--version"}, {.working_folder = work_});
  EXPECT_TRUE(version.finished);
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.banner + version.lines, "cssqueeze " CSSQUEEZE_VERSION "\n");
  EXPECT_EQ(version.errors, "");

  write_file(work_ / "--version", typical_file);
  const tool_run file = run({"--version"}, {.working_folder = work_});
  expect_clean_run(file);
  EXPECT_EQ(file.lines, typical_lines);
  EXPECT_EQ(read_file(work_ / "--version"), typical_result);
}

TEST_F(EndToEnd, ReadOnlyFileIsReportedAndLeftAlone) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "root, and no user nobody to run as";
  const fs::path path = work_ / "site.css";
  write_file(path, typical_file);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const tool_run result = run({path.string()}, {.unprivileged = true});
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines + "we couldn't access the file again.\n");
  EXPECT_EQ(read_file(path), typical_file);
  EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
}

TEST_F(EndToEnd, FileSizeLimitEndsTheRunNormally) {
  // `ulimit -f` as a user may have set it: the write of the new text stops at the limit.
  const fs::path path = work_ / "site.css";
  std::string big;
  for (int i = 0; i < 1000; ++i) big += typical_file;
  write_file(path, big);
  const tool_run result = run({path.string()}, {.file_size_limit = 4096});
  expect_clean_run(result);
  EXPECT_EQ(result.lines,
            "no comment found.\n"
            "no string found.\n"
            "9999 useless charachters removed.\n"
            "total: 9999 useless charachters removed.\n"
            "45% compressed.\n"
            "we couldn't write the file; it was left as it was.\n");
  EXPECT_EQ(read_file(path), big);
  EXPECT_EQ(folder_names(work_), std::vector<std::string>{"site.css"});
}

// Register mode on Linux: the script stands for the registry key, in a data folder of the
// test's own, never the real home.
class RegisterMode : public EndToEnd {
 protected:
  tool_run register_run(bool unprivileged = false) const {
    return run({}, {.unprivileged = unprivileged,
                    .environment = {{"XDG_DATA_HOME", data_.string()},
                                    {"HOME", (work_ / "home").string()}}});
  }

  const fs::path data_ = work_ / "data";
  const fs::path scripts_ = data_ / "nautilus" / "scripts";
  const fs::path script_ = scripts_ / "Compress (css style)";
};

const std::string success_lines =
    "Success: Key created.\n"
    "From now, you can use right click context-menu to access this tool.\n";
const std::string from_now_line =
    "From now, you can use right click context-menu to access this tool.\n";
const std::string unable_to_open_line = "Unable to open registry key.\n";
const std::string create_refused_lines =
    "Error: Could not create registry key *\\shell\\Compress (css style)\\command\n"
    "\tERROR: 5\n"
    "Run this program as adminstrator for once.\n"
    "Unable to change registry.\n"
    "ERROR: 6\n";

TEST_F(RegisterMode, FirstRunCreatesTheScriptAndTheNextRewritesIt) {
  const tool_run first = register_run();
  expect_clean_run(first);
  EXPECT_EQ(first.lines, success_lines);
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(script_)));
  const std::string script_text = read_file(script_);
  EXPECT_NE(script_text.find("\n# \"" + fs::canonical(tool_path()).string() + "\" %1\n"),
            std::string::npos)
      << script_text;

  const tool_run second = register_run();
  expect_clean_run(second);
  EXPECT_EQ(second.lines, from_now_line);
  EXPECT_EQ(read_file(script_), script_text);
  EXPECT_EQ(folder_names(scripts_), std::vector<std::string>{"Compress (css style)"});
}

TEST_F(RegisterMode, WhatStandsAtTheScriptsNameIsNeverFollowedOrWrittenInto) {
  const fs::path elsewhere = work_ / "elsewhere";
  struct row {
    const char* name;
    void (*place)(const fs::path& script, const fs::path& elsewhere);
  };
  const row rows[] = {
      {"folder",
       [](const fs::path& script, const fs::path&) {
         fs::create_directory(script);
         write_file(script / "inside", "keep me");
       }},
      {"link to a file",
       [](const fs::path& script, const fs::path& elsewhere) {
         write_file(elsewhere, "keep me");
         fs::create_symlink(elsewhere, script);
       }},
      {"link to a folder",
       [](const fs::path& script, const fs::path& elsewhere) {
         fs::create_directory(elsewhere);
         write_file(elsewhere / "inside", "keep me");
         fs::create_symlink(elsewhere, script);
       }},
      {"dangling link",
       [](const fs::path& script, const fs::path& elsewhere) {
         fs::create_symlink(elsewhere, script);
       }},
      {"FIFO", [](const fs::path& script, const fs::path&) {
         ASSERT_EQ(::mkfifo(script.c_str(), 0644), 0);
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::error_code ignored;
    fs::remove_all(data_, ignored);
    fs::remove_all(elsewhere, ignored);
    fs::create_directories(scripts_);
    r.place(script_, elsewhere);
    const fs::file_status before = fs::symlink_status(script_);

    const tool_run result = register_run();
    expect_clean_run(result);
    EXPECT_EQ(result.lines, unable_to_open_line);
    EXPECT_EQ(fs::symlink_status(script_).type(), before.type());
    EXPECT_EQ(folder_names(scripts_), std::vector<std::string>{"Compress (css style)"});
    if (fs::is_directory(fs::symlink_status(script_))) {
      EXPECT_EQ(folder_names(script_), std::vector<std::string>{"inside"});
      EXPECT_EQ(read_file(script_ / "inside"), "keep me");
    }
    if (fs::is_regular_file(elsewhere)) {
      EXPECT_EQ(read_file(elsewhere), "keep me");
    } else if (fs::is_directory(elsewhere)) {
      EXPECT_EQ(folder_names(elsewhere), std::vector<std::string>{"inside"});
      EXPECT_EQ(read_file(elsewhere / "inside"), "keep me");
    } else {
      EXPECT_FALSE(fs::exists(fs::symlink_status(elsewhere))) << "the link was followed";
    }
  }
}

TEST_F(RegisterMode, FileWhereAFolderShouldBeFailsTheOpen) {
  fs::create_directories(data_);
  write_file(data_ / "nautilus", "not a folder");
  const tool_run result = register_run();
  expect_clean_run(result);
  EXPECT_EQ(result.lines, unable_to_open_line);
  EXPECT_EQ(read_file(data_ / "nautilus"), "not a folder");
}

TEST_F(RegisterMode, UnwritableDataFolderIsReportedAndLeftAlone) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "root, and no user nobody to run as";
  // Rows: how far the folders exist, all of them readable but not writable by the runner.
  struct row {
    const char* name;
    bool scripts_exist;
    bool script_exists;
    std::string lines;
  };
  const row rows[] = {
      {"data folder without the scripts folder", false, false, create_refused_lines},
      {"scripts folder without the script", true, false, create_refused_lines},
      // Windows too refuses to open a key for writing to someone who may not change it.
      {"script in a folder that may not be changed", true, true, unable_to_open_line},
  };
  const fs::perms read_only = fs::perms::owner_read | fs::perms::owner_exec |
                              fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::error_code ignored;
    fs::remove_all(data_, ignored);
    fs::create_directories(r.scripts_exist ? scripts_ : data_);
    if (r.script_exists) write_file(script_, "#!/bin/sh\nexit 0\n");
    for (fs::path folder = r.scripts_exist ? scripts_ : data_; folder != work_;
         folder = folder.parent_path()) {
      fs::permissions(folder, read_only);
    }

    const tool_run result = register_run(true);
    expect_clean_run(result);
    EXPECT_EQ(result.lines, r.lines);
    if (r.scripts_exist) {
      EXPECT_EQ(folder_names(scripts_), r.script_exists
                                            ? std::vector<std::string>{"Compress (css style)"}
                                            : std::vector<std::string>{});
    } else {
      EXPECT_TRUE(fs::is_empty(data_));
    }
    if (r.script_exists) {
      EXPECT_EQ(read_file(script_), "#!/bin/sh\nexit 0\n");
    }
    for (fs::path folder = r.scripts_exist ? scripts_ : data_; folder != work_;
         folder = folder.parent_path()) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    }
  }
}

}  // namespace

#endif  // defined(_WIN32)
