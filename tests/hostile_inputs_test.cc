// The built tool on paths that are no ordinary stylesheet: a sparse file past the size
// limit, devices and FIFOs, symbolic links of every kind, names a shell or a terminal
// would trip over, a file with a second name. Each run is checked for its console lines
// and for what it leaves on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;


class HostileInputs : public ToolRunTest {
 protected:
  tool_run run_on(const std::string& argument, const fs::path& working_folder = {}) const {
    return run({argument}, {.working_folder = working_folder, .timeout = 20s});
  }
};

TEST_F(HostileInputs, SparseFileOverTheLimitIsRefusedAtOnce) {
  // One byte over 2 GiB, and one over 4 GiB, whose size cut to 32 bits would be 1.
  const std::uint64_t sizes[] = {(std::uint64_t{1} << 31) + 1, (std::uint64_t{1} << 32) + 1};
  for (const std::uint64_t size : sizes) {
    SCOPED_TRACE(size);
    const fs::path path = work_ / "huge.css";
    write_file(path, "");
    fs::resize_file(path, size);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    const tool_run result = run_on(path.string());
    expect_clean_run(result);
    EXPECT_EQ(result.lines,
              "That file is too large (over 2147483647 bytes); it was left untouched.\n");
    EXPECT_LT(result.elapsed, 5s) << "the file was read before being refused";
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(after.st_size), size);
    EXPECT_EQ(after.st_blocks, before.st_blocks);  // still sparse: nothing written
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(folder_names(work_), std::vector<std::string>{"huge.css"});
    fs::remove(path);
  }
}

TEST_F(HostileInputs, PathsThatAreNoReadableFileAreRefusedWithoutWaiting) {
  fs::create_directory(work_ / "folder");
  const fs::path quiet_fifo = work_ / "quiet.css";
  const fs::path busy_fifo = work_ / "busy.css";
  ASSERT_EQ(::mkfifo(quiet_fifo.c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(busy_fifo.c_str(), 0644), 0);
  // A writer that keeps its end open and has sent a little: a tool that read the FIFO
  // would take the bytes and then wait for an end of file that never comes.
  const int writer = ::open(busy_fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "a { }", 5), 5);
  fs::create_symlink("/dev/zero", work_ / "zero.css");
  fs::create_symlink("missing.css", work_ / "dangling.css");
  fs::create_symlink("loop-b.css", work_ / "loop-a.css");
  fs::create_symlink("loop-a.css", work_ / "loop-b.css");

  const std::string paths[] = {(work_ / "missing.css").string(),
                               (work_ / "folder").string(),
                               "",
                               "/dev/null",
                               "/dev/zero",
                               "/dev/full",
                               "/dev/urandom",
                               quiet_fifo.string(),
                               busy_fifo.string(),
                               (work_ / "zero.css").string(),
                               (work_ / "dangling.css").string(),
                               (work_ / "loop-a.css").string()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(testing::PrintToString(path));
    const tool_run result = run_on(path);
    expect_clean_run(result);
    EXPECT_EQ(result.lines, cannot_open_line);
    EXPECT_LT(result.elapsed, 5s);
    EXPECT_EQ(folder_names(work_),
              (std::vector<std::string>{"busy.css", "dangling.css", "folder", "loop-a.css",
                                        "loop-b.css", "quiet.css", "zero.css"}));
    EXPECT_TRUE(fs::is_empty(work_ / "folder"));
  }
  char left[8] = {};
  EXPECT_EQ(::read(writer, left, sizeof left), 5) << "the tool took bytes from the FIFO";
  ::close(writer);
}

TEST_F(HostileInputs, SymbolicLinksLeadToTheirTargetAndStayLinks) {
  // Saving through a link writes the target's folder and leaves every link as it was.
  const fs::path real_folder = work_ / "real";
  fs::create_directory(real_folder);
  const fs::path target = real_folder / "site.css";
  fs::create_symlink("real/site.css", work_ / "one.css");
  fs::create_symlink("one.css", work_ / "two.css");  // a link to a link
  fs::create_symlink("real", work_ / "folder link");  // a link on the way
  fs::create_symlink("site.css", real_folder / "beside.css");  // in the target's own folder
  struct row {
    const char* name;
    fs::path argument;
  };
  const row rows[] = {
      {"link", work_ / "one.css"},
      {"link beside its target", real_folder / "beside.css"},
      {"chain of links", work_ / "two.css"},
      {"link to the folder", work_ / "folder link" / "site.css"},
      {"dot-dot after a link", work_ / "folder link" / ".." / "real" / "site.css"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    write_file(target, typical_file);
    const tool_run result = run_on(r.argument.string());
    expect_clean_run(result);
    EXPECT_EQ(result.lines, typical_lines);
    EXPECT_EQ(read_file(target), typical_result);
    for (const fs::path& link : {work_ / "one.css", work_ / "two.css", work_ / "folder link",
                                 real_folder / "beside.css"}) {
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link))) << link;
    }
    EXPECT_EQ(fs::read_symlink(real_folder / "beside.css"), fs::path("site.css"));
    EXPECT_EQ(fs::read_symlink(work_ / "one.css"), fs::path("real/site.css"));
    EXPECT_EQ(fs::read_symlink(work_ / "two.css"), fs::path("one.css"));
    EXPECT_EQ(fs::read_symlink(work_ / "folder link"), fs::path("real"));
    EXPECT_EQ(folder_names(real_folder), (std::vector<std::string>{"beside.css", "site.css"}));
    EXPECT_EQ(folder_names(work_),
              (std::vector<std::string>{"folder link", "one.css", "real", "two.css"}));
  }
}

TEST_F(HostileInputs, NamesThatShellsAndTerminalsTripOver) {
  // Given as relative paths from the file's own folder, so that an option-like name is the
  // whole argument, as a file manager or a careless script would pass it.
  const std::string names[] = {
      "-rf.css",
      "--help",
      "-",
      "a b  c.css",
      " leading and trailing space ",
      "it's \"quoted\" `id` $HOME.css",
      "tab\there.css",
      "line\nbreak.css",
      "caf\xc3\xa9 \xe2\x98\x83 \xe6\x97\xa5\xe6\x9c\xac.css",  // café ☃ 日本
      "not utf-8 \xff\xfe\x80.css",
      "%1 %s %n.css",
      "*?[a].css",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(testing::PrintToString(name));
    write_file(work_ / name, typical_file);
    const tool_run result = run_on(name, work_);
    expect_clean_run(result);
    EXPECT_EQ(result.lines, typical_lines);
    EXPECT_EQ(read_file(work_ / name), typical_result);
    EXPECT_EQ(folder_names(work_), std::vector<std::string>{name});
    fs::remove(work_ / name);
  }
}

TEST_F(HostileInputs, HardLinkedFileGetsTheNewTextUnderEveryName) {
  // A new file renamed over the name given would leave every other name with the old text:
  // a linked file is overwritten where it stands, so all its names show the new text.
  const fs::path given = work_ / "site.css";
  const fs::path other = work_ / "other name.css";
  write_file(given, typical_file);
  fs::create_hard_link(given, other);
  ASSERT_EQ(fs::hard_link_count(given), 2u);

  const tool_run result = run_on(given.string());
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines);
  EXPECT_EQ(read_file(given), typical_result);
  EXPECT_EQ(read_file(other), typical_result);
  EXPECT_EQ(fs::hard_link_count(given), 2u);
  EXPECT_EQ(folder_names(work_), (std::vector<std::string>{"other name.css", "site.css"}));
}

}  // namespace
