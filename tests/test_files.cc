#include "tests/test_files.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#if !defined(_WIN32)
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace fs = std::filesystem;

temporary_folder::temporary_folder(const std::string& prefix) {
  // Making the folder fails when the name is taken, so a name that some other process
  // already uses is never shared.
#if defined(_WIN32)
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / (prefix + "-" + std::to_string(random()) + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) path_ = candidate;
  }
#else
  std::string name = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(name.data()) != nullptr) path_ = name;
#endif
  if (path_.empty()) throw std::runtime_error("no temporary folder could be made for " + prefix);
  path_ = fs::canonical(path_);
}

temporary_folder::~temporary_folder() {
  std::error_code ignored;
  fs::recursive_directory_iterator entry(path_, ignored);
  for (; !ignored && entry != fs::recursive_directory_iterator(); entry.increment(ignored)) {
    // Before the iterator steps into it, so that a folder that was locked can be listed.
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) {
      fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

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

#if !defined(_WIN32)

timespec modification_time(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return timespec{};
  return status.st_mtim;
}

void open_to_everyone(const fs::path& path) {
  fs::permissions(path, fs::perms::others_read | fs::perms::others_exec |
                            fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::owner_all,
                  fs::perm_options::add);
}

bool find_nobody(uid_t& uid, gid_t& gid) {
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == 0) return false;
  uid = nobody->pw_uid;
  gid = nobody->pw_gid;
  return true;
}

bool become(uid_t uid, gid_t gid) {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
         ::setresuid(uid, uid, uid) == 0;
}

int run_in_child(const std::function<int()>& body, bool as_nobody) {
  // Looked up before the fork: the child only makes system calls before body runs.
  uid_t uid = 0;
  gid_t gid = 0;
  const bool drop_root = as_nobody && ::geteuid() == 0;
  const bool found = drop_root && find_nobody(uid, gid);
  const pid_t child = ::fork();
  if (child == 0) {
    if (drop_root && (!found || !become(uid, gid))) ::_exit(cannot_become_nobody);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif  // !defined(_WIN32)
