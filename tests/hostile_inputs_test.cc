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

const std::string typical_file = "a {\n  color : red ;\n}\n";
const std::string typical_result = "a{color:red}";
const std::string typical_lines =
    "no comment found.\n"
    "no string found.\n"
    "9 useless charachters removed.\n"
    "total: 9 useless charachters removed.\n"
    "42% compressed.\n";
const std::string cannot_open_line = "We don't access to that file.\n";

class HostileInputs : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "cssqueeze-hostile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    folder_ = name;
    work_ = folder_ / "work";
    fs::create_directory(work_);
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  tool_run run(const std::string& argument, const fs::path& working_folder = {}) {
    tool_run_options options;
    options.arguments = {argument};
    options.scratch_folder = folder_;
    options.working_folder = working_folder;
    options.timeout = 20s;
    return run_tool(options);
  }

  fs::path folder_;
  fs::path work_;
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

    const tool_run result = run(path.string());
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

TEST_F(HostileInputs, DevicesAndFifosAreRefusedWithoutWaiting) {
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

  const std::string paths[] = {"/dev/null",          "/dev/zero",         "/dev/full",
                               "/dev/urandom",       quiet_fifo.string(), busy_fifo.string(),
                               (work_ / "zero.css").string()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const tool_run result = run(path);
    expect_clean_run(result);
    EXPECT_EQ(result.lines, cannot_open_line);
    EXPECT_LT(result.elapsed, 5s);
  }
  char left[8] = {};
  EXPECT_EQ(::read(writer, left, sizeof left), 5) << "the tool took bytes from the FIFO";
  ::close(writer);
  EXPECT_EQ(folder_names(work_), (std::vector<std::string>{"busy.css", "quiet.css", "zero.css"}));
}

TEST_F(HostileInputs, SymbolicLinksLeadToTheirTargetAndStayLinks) {
  // Saving through a link writes the target's folder and leaves every link as it was.
  const fs::path real_folder = work_ / "real";
  fs::create_directory(real_folder);
  const fs::path target = real_folder / "site.css";
  fs::create_symlink("real/site.css", work_ / "one.css");
  fs::create_symlink("one.css", work_ / "two.css");  // a link to a link
  fs::create_symlink("real", work_ / "folder link");  // a link on the way
  struct row {
    const char* name;
    fs::path argument;
  };
  const row rows[] = {
      {"link", work_ / "one.css"},
      {"chain of links", work_ / "two.css"},
      {"link to the folder", work_ / "folder link" / "site.css"},
      {"dot-dot after a link", work_ / "folder link" / ".." / "real" / "site.css"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    write_file(target, typical_file);
    const tool_run result = run(r.argument.string());
    expect_clean_run(result);
    EXPECT_EQ(result.lines, typical_lines);
    EXPECT_EQ(read_file(target), typical_result);
    EXPECT_EQ(fs::read_symlink(work_ / "one.css"), fs::path("real/site.css"));
    EXPECT_EQ(fs::read_symlink(work_ / "two.css"), fs::path("one.css"));
    EXPECT_EQ(fs::read_symlink(work_ / "folder link"), fs::path("real"));
    EXPECT_EQ(folder_names(real_folder), std::vector<std::string>{"site.css"});
    EXPECT_EQ(folder_names(work_),
              (std::vector<std::string>{"folder link", "one.css", "real", "two.css"}));
  }
}

TEST_F(HostileInputs, BrokenLinksAreRefusedAndCreateNothing) {
  fs::create_symlink("missing.css", work_ / "dangling.css");
  fs::create_symlink("loop-b.css", work_ / "loop-a.css");
  fs::create_symlink("loop-a.css", work_ / "loop-b.css");
  for (const char* name : {"dangling.css", "loop-a.css"}) {
    SCOPED_TRACE(name);
    const tool_run result = run((work_ / name).string());
    expect_clean_run(result);
    EXPECT_EQ(result.lines, cannot_open_line);
  }
  EXPECT_EQ(folder_names(work_),
            (std::vector<std::string>{"dangling.css", "loop-a.css", "loop-b.css"}));
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
    const tool_run result = run(name, work_);
    expect_clean_run(result);
    EXPECT_EQ(result.lines, typical_lines);
    EXPECT_EQ(read_file(work_ / name), typical_result);
    EXPECT_EQ(folder_names(work_), std::vector<std::string>{name});
    fs::remove(work_ / name);
  }
}

TEST_F(HostileInputs, HardLinkedFileGetsTheNewTextUnderItsNameOnly) {
  // The new text is written to a new file that then replaces the name given, so the name
  // given gets the new text and a file of its own, and every other name of the old file
  // keeps the old text: saving never writes into a file that other names share.
  const fs::path given = work_ / "site.css";
  const fs::path other = work_ / "other name.css";
  write_file(given, typical_file);
  fs::create_hard_link(given, other);
  ASSERT_EQ(fs::hard_link_count(given), 2u);

  const tool_run result = run(given.string());
  expect_clean_run(result);
  EXPECT_EQ(result.lines, typical_lines);
  EXPECT_EQ(read_file(given), typical_result);
  EXPECT_EQ(read_file(other), typical_file);
  EXPECT_EQ(fs::hard_link_count(given), 1u);
  EXPECT_EQ(fs::hard_link_count(other), 1u);
  EXPECT_EQ(folder_names(work_), (std::vector<std::string>{"other name.css", "site.css"}));
}

}  // namespace
