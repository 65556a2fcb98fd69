// Whole runs whose disk fails: each case fails one system call of the file layer (or
// changes the file behind the tool's back) and checks the console transcript, the exit
// status and what is left on disk: the original bytes, or the complete new text, never a
// mix, never an empty file, never a temporary file or a copy left behind (unless the copy is
// all that is left of the original, and the console says where it is).
//
// The seam: this executable is linked with --wrap for the calls below, so every reference
// the file layer makes to, say, write() reaches __wrap_write() here, which passes the call
// on to the C library unless a test armed a fault for it. Only descriptors and paths inside
// the test's folder are ever failed; the product's code has no test hook of its own. Two
// more cases use a real file system: a file size limit, and a full tmpfs where one can be
// mounted.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <string>
#include <vector>

#include "driver/run_cssqueeze.h"
#include "tests/test_files.h"

namespace fs = std::filesystem;

// ---- The seam -------------------------------------------------------------------------

namespace {

enum class call { open, read, write, fsync, truncate, close, fchmod, make_temporary, rename };

// What a descriptor of the watched folder was opened for; decided when it is opened.
enum class role { reading, writing, temporary, folder };

struct fault {
  call at;
  role on = role::temporary;  // ignored for rename, which is matched by its destination
  int error = 0;              // errno of a failing call; 0: no call fails
  int passing_calls = 0;      // matching calls that go through before the failures start
  int failing_calls = INT_MAX;
  std::size_t most_bytes = SIZE_MAX;  // a read or write that goes through moves at most this
  // Runs once on the stylesheet's path, at the first matching call: before it, or after it
  // when it went through.
  void (*action)(const fs::path& stylesheet) = nullptr;
  bool action_after_call = false;
};

struct seam_state {
  std::string watched;  // the folder whose files (and itself) may be failed
  bool armed = false;
  fault armed_fault{call::open};
  int matching_calls = 0;
  bool action_done = false;
  std::map<int, role> descriptors;  // open descriptors of the watched folder
  fs::path stylesheet;              // what the armed action works on
};

seam_state& seam() {
  static seam_state state;
  return state;
}

bool watched(const char* path) {
  const std::string& folder = seam().watched;
  if (folder.empty() || path == nullptr) return false;
  const std::string_view name = path;
  return name.substr(0, folder.size()) == folder &&
         (name.size() == folder.size() || name[folder.size()] == '/');
}

// Whether the armed fault is about this kind of call on a descriptor of this role.
bool matches(call at, const role* r) {
  seam_state& state = seam();
  if (!state.armed || state.armed_fault.at != at) return false;
  if (r != nullptr && *r != state.armed_fault.on) return false;
  return true;
}

// Called around each matching call: before it, counts the call, runs the armed action if
// it goes first, and says whether the call is to fail (errno set); after it, runs the
// armed action if it goes after.
bool fails_now(bool before_call) {
  seam_state& state = seam();
  fault& f = state.armed_fault;
  if (before_call) {
    if (f.action && !f.action_after_call && !state.action_done) {
      state.action_done = true;
      f.action(state.stylesheet);
    }
    const int n = state.matching_calls++;
    const bool failing = f.error != 0 && n >= f.passing_calls &&
                         n - f.passing_calls < f.failing_calls;
    if (failing) errno = f.error;
    return failing;
  }
  if (f.action && f.action_after_call && !state.action_done) {
    state.action_done = true;
    f.action(state.stylesheet);
  }
  return false;
}

const role* role_of(int fd) {
  const auto found = seam().descriptors.find(fd);
  return found == seam().descriptors.end() ? nullptr : &found->second;
}

std::size_t capped(std::size_t count) {
  return count < seam().armed_fault.most_bytes ? count : seam().armed_fault.most_bytes;
}

void arm(const fault& f) {
  seam_state& state = seam();
  state.armed_fault = f;
  state.armed = true;
  state.matching_calls = 0;
  state.action_done = false;
}

void disarm() {
  seam().armed = false;
  seam().armed_fault = fault{call::open};
}

}  // namespace

extern "C" {

int __real_open(const char* path, int flags, ...);
ssize_t __real_read(int fd, void* buffer, size_t count);
ssize_t __real_write(int fd, const void* buffer, size_t count);
int __real_fsync(int fd);
int __real_ftruncate(int fd, off_t length);
int __real_close(int fd);
int __real_fchmod(int fd, mode_t mode);
int __real_mkostemp(char* name_template, int flags);
int __real_rename(const char* from, const char* to);

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  if (!watched(path)) return __real_open(path, flags, mode);
  const role r = (flags & O_DIRECTORY) != 0          ? role::folder
                 : (flags & O_ACCMODE) == O_RDONLY ? role::reading
                                                   : role::writing;
  if (matches(call::open, &r) && fails_now(true)) return -1;
  const int fd = __real_open(path, flags, mode);
  if (fd >= 0) seam().descriptors[fd] = r;
  if (matches(call::open, &r)) fails_now(false);
  return fd;
}

int __wrap_mkostemp(char* name_template, int flags) {
  if (!watched(name_template)) return __real_mkostemp(name_template, flags);
  const role r = role::temporary;
  if (matches(call::make_temporary, &r) && fails_now(true)) return -1;
  const int fd = __real_mkostemp(name_template, flags);
  if (fd >= 0) seam().descriptors[fd] = r;
  return fd;
}

ssize_t __wrap_read(int fd, void* buffer, size_t count) {
  const role* r = role_of(fd);
  if (r == nullptr || !matches(call::read, r)) return __real_read(fd, buffer, count);
  if (fails_now(true)) return -1;
  const ssize_t result = __real_read(fd, buffer, capped(count));
  fails_now(false);
  return result;
}

ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
  const role* r = role_of(fd);
  if (r == nullptr || !matches(call::write, r)) return __real_write(fd, buffer, count);
  if (fails_now(true)) return -1;
  const ssize_t result = __real_write(fd, buffer, capped(count));
  fails_now(false);
  return result;
}

int __wrap_fsync(int fd) {
  const role* r = role_of(fd);
  if (r == nullptr || !matches(call::fsync, r)) return __real_fsync(fd);
  if (fails_now(true)) return -1;
  const int result = __real_fsync(fd);
  fails_now(false);
  return result;
}

int __wrap_ftruncate(int fd, off_t length) {
  const role* r = role_of(fd);
  if (r == nullptr || !matches(call::truncate, r)) return __real_ftruncate(fd, length);
  if (fails_now(true)) return -1;
  const int result = __real_ftruncate(fd, length);
  fails_now(false);
  return result;
}

int __wrap_fchmod(int fd, mode_t mode) {
  const role* r = role_of(fd);
  if (r == nullptr || !matches(call::fchmod, r)) return __real_fchmod(fd, mode);
  if (fails_now(true)) return -1;
  const int result = __real_fchmod(fd, mode);
  fails_now(false);
  return result;
}

int __wrap_close(int fd) {
  const role* r = role_of(fd);
  if (r == nullptr) return __real_close(fd);
  const bool armed = matches(call::close, r);
  seam().descriptors.erase(fd);
  // Linux releases the descriptor even when close reports an error, so a failing close
  // really closes it: the file layer must not close it again.
  const bool failing = armed && fails_now(true);
  const int saved = errno;
  const int result = __real_close(fd);
  if (failing) {
    errno = saved;
    return -1;
  }
  if (armed) fails_now(false);
  return result;
}

int __wrap_rename(const char* from, const char* to) {
  if (!watched(to) || !matches(call::rename, nullptr)) return __real_rename(from, to);
  if (fails_now(true)) return -1;
  const int result = __real_rename(from, to);
  fails_now(false);
  return result;
}

}  // extern "C"

// ---- The cases ------------------------------------------------------------------------

namespace {

const std::string banner_lines =
    "cssqueeze " CSSQUEEZE_VERSION " - compresses a CSS file in place\n"
    "by the cssqueeze developers, 2026\n"
    "\n";

// A stylesheet large enough that "half way" means something: 21,999 bytes loaded,
// 12,000 written back.
std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}
const std::string original = repeated("a {\n  color : red ;\n}\n", 1000);
const std::string minified = repeated("a{color:red}", 1000);
const std::string stage_lines =
    "no comment found.\n"
    "no string found.\n"
    "9999 useless charachters removed.\n"
    "total: 9999 useless charachters removed.\n"
    "45% compressed.\n";

const std::string cannot_open_line = "We don't access to that file.\n";
const std::string read_failed_line = "We couldn't read the whole file; it was left untouched.\n";
const std::string cannot_reopen_line = "we couldn't access the file again.\n";
const std::string write_failed_line = "we couldn't write the file; it was left as it was.\n";

struct whole_run {
  int status;
  std::string lines;  // after the banner
};

// A run as main() makes it, with standard input at its end.
whole_run run_on(const std::string& path) {
  const char* argv[] = {"cssqueeze", path.c_str(), nullptr};
  std::ostringstream out;
  std::istringstream in;
  const int status = run_cssqueeze(argv, out, in);
  std::string transcript = out.str();
  if (transcript.compare(0, banner_lines.size(), banner_lines) != 0) return {status, transcript};
  return {status, transcript.substr(banner_lines.size())};
}

class FileFaults : public testing::Test {
 protected:
  void SetUp() override {
    seam().watched = folder_.string();
    // A file layer that loops for ever on a failing call would stall the whole test run.
    ::alarm(120);
  }

  void TearDown() override {
    ::alarm(0);
    disarm();
    seam().watched.clear();
    seam().descriptors.clear();
  }

  temporary_folder temporary_{"cssqueeze-faults"};
  const fs::path folder_ = temporary_.path();
};

// What someone else does to the stylesheet while the tool works on it.
void remove_file(const fs::path& path) { fs::remove(path); }
void folder_instead(const fs::path& path) {
  fs::remove(path);
  fs::create_directory(path);
}
void fifo_instead(const fs::path& path) {
  fs::remove(path);
  ::mkfifo(path.c_str(), 0644);
}

// kept_aside: the file holds neither text whole, and the copy the console names holds the
// original.
enum class left_on_disk { original, minified, nothing, empty_folder, fifo, kept_aside };

struct fault_row {
  const char* name;
  fault injected;
  std::string lines;
  left_on_disk left;
  // A second name for the file, so that the save must overwrite it in place.
  bool linked = false;
};

const std::string kept_aside_start =
    "we couldn't write the file, nor put it back as it was; its original bytes are in ";

TEST_F(FileFaults, EveryFailureLeavesTheOriginalOrTheWholeNewText) {
  const fs::path path = folder_ / "site.css";
  seam().stylesheet = path;
  const fault_row rows[] = {
      // Loading.
      {"open for reading refused", {.at = call::open, .on = role::reading, .error = EACCES},
       cannot_open_line, left_on_disk::original},
      {"open for reading: I/O error", {.at = call::open, .on = role::reading, .error = EIO},
       cannot_open_line, left_on_disk::original},
      {"open for reading: no descriptor left",
       {.at = call::open, .on = role::reading, .error = EMFILE}, cannot_open_line,
       left_on_disk::original},
      {"read fails at once", {.at = call::read, .on = role::reading, .error = EIO},
       read_failed_line, left_on_disk::original},
      {"read fails half way",
       {.at = call::read, .on = role::reading, .error = EIO, .passing_calls = 1,
        .most_bytes = original.size() / 2},
       read_failed_line, left_on_disk::original},
      {"read fails near the end",
       {.at = call::read, .on = role::reading, .error = EIO, .passing_calls = 3,
        .most_bytes = 7000},
       read_failed_line, left_on_disk::original},
      {"read comes in small pieces", {.at = call::read, .on = role::reading, .most_bytes = 7},
       stage_lines, left_on_disk::minified},
      {"read interrupted once",
       {.at = call::read, .on = role::reading, .error = EINTR, .failing_calls = 1}, stage_lines,
       left_on_disk::minified},
      {"close after reading fails", {.at = call::close, .on = role::reading, .error = EIO},
       stage_lines, left_on_disk::minified},
      // Between load and save, someone else changes the file.
      {"file deleted after loading",
       {.at = call::close, .on = role::reading, .action = remove_file, .action_after_call = true},
       stage_lines + cannot_reopen_line, left_on_disk::nothing},
      {"file replaced by a folder after loading",
       {.at = call::close, .on = role::reading, .action = folder_instead,
        .action_after_call = true},
       stage_lines + cannot_reopen_line, left_on_disk::empty_folder},
      {"file replaced by a FIFO after loading",
       {.at = call::close, .on = role::reading, .action = fifo_instead, .action_after_call = true},
       stage_lines + cannot_reopen_line, left_on_disk::fifo},
      // Saving: the file may not be written.
      {"open for writing refused", {.at = call::open, .on = role::writing, .error = EACCES},
       stage_lines + cannot_reopen_line, left_on_disk::original},
      {"read-only file system", {.at = call::open, .on = role::writing, .error = EROFS},
       stage_lines + cannot_reopen_line, left_on_disk::original},
      {"file busy", {.at = call::open, .on = role::writing, .error = ETXTBSY},
       stage_lines + cannot_reopen_line, left_on_disk::original},
      // Saving: writing the new text fails.
      // A folder that takes no new file: the file is overwritten in place, its copy kept
      // in the temporary folder meanwhile.
      {"no room for a new file", {.at = call::make_temporary, .error = ENOSPC}, stage_lines,
       left_on_disk::minified},
      {"quota reached for a new file", {.at = call::make_temporary, .error = EDQUOT},
       stage_lines, left_on_disk::minified},
      {"disk fills half way",
       {.at = call::write, .error = ENOSPC, .passing_calls = 1, .most_bytes = minified.size() / 2},
       stage_lines + write_failed_line, left_on_disk::original},
      {"I/O error on the first write", {.at = call::write, .error = EIO},
       stage_lines + write_failed_line, left_on_disk::original},
      {"file size limit part way",
       {.at = call::write, .error = EFBIG, .passing_calls = 1, .most_bytes = 4096},
       stage_lines + write_failed_line, left_on_disk::original},
      {"write takes nothing and says nothing", {.at = call::write, .most_bytes = 0},
       stage_lines + write_failed_line, left_on_disk::original},
      {"flush to disk fails", {.at = call::fsync, .error = EIO},
       stage_lines + write_failed_line, left_on_disk::original},
      {"close of the new file fails", {.at = call::close, .error = EIO},
       stage_lines + write_failed_line, left_on_disk::original},
      {"close of the new file interrupted", {.at = call::close, .error = EINTR},
       stage_lines + write_failed_line, left_on_disk::original},
      // The new file cannot be made the same as the old one, or cannot take its place: the
      // file is overwritten in place instead.
      {"permission bits refused", {.at = call::fchmod, .error = EPERM}, stage_lines,
       left_on_disk::minified},
      {"replacing fails", {.at = call::rename, .error = EIO}, stage_lines,
       left_on_disk::minified},
      {"replacing crosses file systems", {.at = call::rename, .error = EXDEV}, stage_lines,
       left_on_disk::minified},
      {"file replaced by a folder just before replacing",
       {.at = call::rename, .action = folder_instead}, stage_lines + write_failed_line,
       left_on_disk::empty_folder},
      // Saving: what must not stop it.
      {"writes go through a byte at a time", {.at = call::write, .most_bytes = 1}, stage_lines,
       left_on_disk::minified},
      {"write interrupted once", {.at = call::write, .error = EINTR, .failing_calls = 1},
       stage_lines, left_on_disk::minified},
      {"flush of the folder fails", {.at = call::fsync, .on = role::folder, .error = EIO},
       stage_lines, left_on_disk::minified},
      // The rename puts the complete new text where the file was.
      {"file deleted just before replacing", {.at = call::rename, .action = remove_file},
       stage_lines, left_on_disk::minified},
      // A linked file is overwritten in place, after a copy of it has been made durable.
      {"in place: pieces of 4096 bytes", {.at = call::write, .on = role::writing,
       .most_bytes = 4096}, stage_lines, left_on_disk::minified, true},
      {"in place: reading the original for its copy fails",
       {.at = call::read, .on = role::writing, .error = EIO}, stage_lines + write_failed_line,
       left_on_disk::original, true},
      {"in place: the copy finds no room", {.at = call::write, .error = ENOSPC},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: the copy cannot be flushed", {.at = call::fsync, .error = EIO},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: the first write fails",
       {.at = call::write, .on = role::writing, .error = EIO, .failing_calls = 1},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: a write half way fails",
       {.at = call::write, .on = role::writing, .error = ENOSPC, .passing_calls = 1,
        .failing_calls = 1, .most_bytes = minified.size() / 2},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: the flush after writing fails",
       {.at = call::fsync, .on = role::writing, .error = EIO, .failing_calls = 1},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: cutting to length fails",
       {.at = call::truncate, .on = role::writing, .error = EIO, .failing_calls = 1},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: the flush after cutting fails",
       {.at = call::fsync, .on = role::writing, .error = EIO, .passing_calls = 1,
        .failing_calls = 1},
       stage_lines + write_failed_line, left_on_disk::original, true},
      {"in place: the original cannot be put back either",
       {.at = call::write, .on = role::writing, .error = EIO, .passing_calls = 1,
        .most_bytes = 4096},
       stage_lines + kept_aside_start, left_on_disk::kept_aside, true},
  };
  for (const fault_row& row : rows) {
    SCOPED_TRACE(row.name);
    std::error_code ignored;
    const fs::path other = folder_ / "other.css";
    fs::remove_all(path, ignored);
    fs::remove(other, ignored);
    write_file(path, original);
    if (row.linked) fs::create_hard_link(path, other);
    arm(row.injected);
    const whole_run result = run_on(path.string());
    disarm();
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> names;
    if (row.left == left_on_disk::kept_aside) {
      // The console names the copy; it holds the original, and is the one thing left.
      ASSERT_EQ(result.lines.substr(0, row.lines.size()), row.lines);
      const fs::path copy = result.lines.substr(row.lines.size(),
                                                result.lines.size() - row.lines.size() - 1);
      EXPECT_EQ(copy.parent_path(), folder_);
      EXPECT_EQ(read_file(copy), original);
      EXPECT_NE(read_file(path), original);
      names.push_back(copy.filename().string());
    } else {
      EXPECT_EQ(result.lines, row.lines);
    }
    if (row.linked) {
      EXPECT_EQ(read_file(other), read_file(path)) << "the link was broken";
      names.push_back("other.css");
    }
    EXPECT_GT(seam().matching_calls, 0) << "the fault was never reached";
    EXPECT_TRUE(seam().descriptors.empty()) << "a descriptor was left open";
    seam().descriptors.clear();
    switch (row.left) {
      case left_on_disk::original:
        EXPECT_EQ(read_file(path), original);
        break;
      case left_on_disk::minified:
        EXPECT_EQ(read_file(path), minified);
        break;
      case left_on_disk::nothing:
        EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
        break;
      case left_on_disk::empty_folder:
        EXPECT_TRUE(fs::is_directory(path));
        EXPECT_TRUE(fs::is_empty(path));
        break;
      case left_on_disk::fifo:
        EXPECT_TRUE(fs::is_fifo(path));
        break;
      case left_on_disk::kept_aside:
        break;
    }
    // No temporary file or copy is ever left beside it, but the one the console names.
    if (row.left != left_on_disk::nothing) names.push_back("site.css");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(folder_names(folder_), names);
    for (const std::string& name : names) fs::remove(folder_ / name, ignored);
  }
}

TEST_F(FileFaults, RunKilledHalfWayThroughAnOverwriteLeavesTheCopy) {
  // Killed while the new text goes over a linked file: the file holds a mix, and the copy
  // beside it, under a name that says whose it is, holds the original whole.
  const fs::path path = folder_ / "site.css";
  write_file(path, original);
  fs::create_hard_link(path, folder_ / "other.css");
  const int status = run_in_child([&] {
    seam().stylesheet = path;
    arm({.at = call::write, .on = role::writing, .most_bytes = minified.size() / 2,
         .action = [](const fs::path&) { ::raise(SIGKILL); }, .action_after_call = true});
    run_on(path.string());
    return 0;
  });
  EXPECT_EQ(status, 128 + SIGKILL);
  const std::vector<std::string> names = folder_names(folder_);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0].rfind(".site.css.cssqueeze-original-", 0), 0u) << names[0];
  EXPECT_EQ(read_file(folder_ / names[0]), original);
  EXPECT_EQ(read_file(path).substr(0, minified.size() / 2), minified.substr(0, minified.size() / 2));
}

constexpr int cannot_set_up = 77;

TEST_F(FileFaults, FileSizeLimitIsReportedNotFatal) {
  // As with `ulimit -f`: the kernel stops the write at the limit and, unless the process
  // ignores it, kills the process with SIGXFSZ, which would leave the temporary file behind
  // and say nothing. The tool must end normally with its line.
  const fs::path path = folder_ / "site.css";
  write_file(path, original);
  const fs::path transcript = folder_ / "transcript";
  const int status = run_in_child([&] {
    std::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return cannot_set_up;
    const whole_run result = run_on(path.string());
    write_file(transcript, result.lines);
    return result.status;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(transcript), stage_lines + write_failed_line);
  EXPECT_EQ(read_file(path), original);
  EXPECT_EQ(folder_names(folder_), (std::vector<std::string>{"site.css", "transcript"}));
}

// A mount namespace of the child's own, as root or else through a user namespace; false
// when neither is allowed here.
bool own_mount_namespace() {
  if (::unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST_F(FileFaults, FullFileSystemLeavesTheOriginal) {
  // A 64 KiB tmpfs holding the stylesheet and a filler that leaves one page free: the new
  // text (three pages) runs out of room part way. Once the filler is gone, the same run
  // succeeds.
  const fs::path mount_point = folder_ / "small";
  fs::create_directory(mount_point);
  const fs::path report = folder_ / "report";
  const int status = run_in_child([&] {
    if (!own_mount_namespace() ||
        ::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
      return cannot_set_up;
    }
    std::ostringstream found;
    const fs::path path = mount_point / "site.css";
    const fs::path filler = mount_point / "filler";
    write_file(path, original);
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
    const std::string page(4096, 'x');
    while (::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) {
    }
    ::close(fd);
    fs::resize_file(filler, fs::file_size(filler) / 4096 * 4096 - 4096);

    const whole_run full = run_on(path.string());
    found << "full: " << full.status << "\n" << full.lines
          << (read_file(path) == original ? "original kept\n" : "original lost\n");
    for (const std::string& name : folder_names(mount_point)) found << name << "\n";

    fs::remove(filler);
    const whole_run room = run_on(path.string());
    found << "room: " << room.status << "\n" << room.lines
          << (read_file(path) == minified ? "minified\n" : "not minified\n");
    for (const std::string& name : folder_names(mount_point)) found << name << "\n";
    ::umount(mount_point.c_str());
    write_file(report, found.str());
    return 0;
  });
  if (status == cannot_set_up) GTEST_SKIP() << "mounting a tmpfs needs root or a user namespace, and neither is allowed here";
  ASSERT_EQ(status, 0);
  EXPECT_EQ(read_file(report), "full: 0\n" + stage_lines + write_failed_line +
                                   "original kept\nfiller\nsite.css\n"
                                   "room: 0\n" + stage_lines + "minified\nsite.css\n");
}

}  // namespace
