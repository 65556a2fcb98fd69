// Files and folders for the tests that work on a real disk: a private temporary folder per
// test, a file's bytes, a folder's listing; on POSIX also modification times, rights that let
// nobody in, and child processes that drop root, since root ignores permission bits.
#ifndef TESTS_TEST_FILES_H_
#define TESTS_TEST_FILES_H_

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/types.h>

#include <ctime>
#endif

// A new folder of the test's own under the system's temporary folder, named by its real path
// (no link on the way), removed with everything in it when the object goes; rights that a
// test took away from folders inside are given back first. Throws std::runtime_error when no
// folder can be made, which GoogleTest reports as a failure of the test.
class temporary_folder {
 public:
  explicit temporary_folder(const std::string& prefix);
  ~temporary_folder();
  temporary_folder(const temporary_folder&) = delete;
  temporary_folder& operator=(const temporary_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The file's bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);
// Creates or truncates the file and writes bytes into it as they are.
void write_file(const std::filesystem::path& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> folder_names(const std::filesystem::path& folder);

#if !defined(_WIN32)

// Zero when the file cannot be reached.
timespec modification_time(const std::filesystem::path& path);

// Adds the rights that let nobody enter and read a folder or file the test made.
void open_to_everyone(const std::filesystem::path& path);

// nobody's ids; false when this system has no such user (or it is root).
bool find_nobody(uid_t& uid, gid_t& gid);
// In a forked child: gives up root for nobody's ids for good; false when that was refused.
bool become(uid_t uid, gid_t gid);

// Runs body in a forked child, so that what it changes about the process (limits, mounts,
// signals, its user) stays there, and returns the child's exit status: what body returned,
// 128 + the signal that ended it, or -1 when no child could be started. With as_nobody, a
// child of root first becomes nobody, or exits with cannot_become_nobody.
constexpr int cannot_become_nobody = 77;
int run_in_child(const std::function<int()>& body, bool as_nobody = false);

#endif  // !defined(_WIN32)

#endif  // TESTS_TEST_FILES_H_
