// The file operations of load and save on POSIX systems. Reading refuses anything but a
// regular file without ever blocking on it; replacing writes the new contents completely
// into a temporary file beside the original and renames it over the original, so a full
// disk or an I/O error part way leaves the original byte for byte as it was.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "file_system/file_system.h"
#include "file_system/posix_io.h"
#include "file_system/read_loop.h"

namespace {

// Removes the temporary file on every path that does not rename it into place.
class scoped_temporary_file {
 public:
  explicit scoped_temporary_file(std::string path) : path_(std::move(path)) {}
  scoped_temporary_file(const scoped_temporary_file&) = delete;
  scoped_temporary_file& operator=(const scoped_temporary_file&) = delete;
  ~scoped_temporary_file() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::string path_;
};

// A file name may be 255 bytes long; the temporary file's name adds a dot and a suffix to
// it, so a long name is cut short there, or creating the temporary file would fail and the
// stylesheet could never be saved. The cut may split a multi-byte character: the name is
// only ever used as bytes and never shown.
constexpr std::size_t longest_kept_name = 200;

// The canonical path of the file, so that saving through a symbolic link updates its
// target and leaves the link in place. Empty when the path cannot be resolved.
std::string resolve_path(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                        &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// Makes the rename itself durable; a failure here cannot undo the save and is not reported.
void sync_directory(const std::string& directory) {
  const int fd = open_retrying(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Asks for 2 MiB pages on the page-aligned inside of a large buffer before it is first
// touched: with 4 KiB pages, faulting in a whole-file buffer cost more than reading the
// file (100 MB: 0.46-0.55 s to load before, 0.02-0.24 s after, on a 2-core VM). Only a
// hint; where the kernel says no, nothing changes.
void ask_for_huge_pages(char* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t page = 4096;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
  const std::uintptr_t last = (begin + size) & ~(page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

// Opens path for reading without ever waiting (O_NONBLOCK: a FIFO without a writer would
// otherwise wait for one forever), and keeps it open only if it is a regular file.
int open_regular_file(const std::string& path, struct stat& status) {
  const int fd = open_retrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  // Regular files ignore O_NONBLOCK on Linux; clearing it keeps reads blocking elsewhere too.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace

read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes) {
  struct stat status;
  scoped_fd file(open_regular_file(path, status));
  if (file.get() < 0) return read_result::cannot_open;
  if (status.st_size < 0) return read_result::too_large;
  const auto read_some = [&file](char* into, std::size_t room) {
    ssize_t result;
    do {
      result = ::read(file.get(), into, room);
    } while (result < 0 && errno == EINTR);
    return result;
  };
  return read_until_end(static_cast<std::size_t>(status.st_size), limit, bytes, read_some,
                        ask_for_huge_pages);
}

write_result replace_file_contents(const std::string& path, std::string_view bytes) {
  const std::string target = resolve_path(path);
  if (target.empty()) return write_result::cannot_open;

  // May the file be written at all? Opened without O_TRUNC and never written through, so a
  // refusal leaves it exactly as it was. O_NONBLOCK keeps a FIFO put there since the load
  // from blocking the open; it is then refused as not regular.
  struct stat status;
  {
    scoped_fd original(
        open_retrying(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (original.get() < 0) return write_result::cannot_open;
    if (::fstat(original.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
      return write_result::cannot_open;
    }
  }

  // The temporary file must sit in the original's directory, or rename() cannot replace the
  // original atomically. When that directory refuses it, the save fails: truncating the
  // original in place instead would bring back the very risk this function exists to avoid.
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == 0 ? std::string("/") : target.substr(0, slash);
  std::string name_template = target.substr(0, slash + 1) + "." +
                              target.substr(slash + 1, longest_kept_name) + ".cssqueeze-XXXXXX";
  const int temporary_fd = ::mkostemp(name_template.data(), O_CLOEXEC);
  if (temporary_fd < 0) return write_result::write_failed;
  scoped_fd temporary(temporary_fd);
  scoped_temporary_file temporary_name(name_template);

  const scoped_ignored_file_size_signal file_size_limit_fails_the_write;
  if (!write_all(temporary.get(), bytes) || ::fsync(temporary.get()) != 0) {
    return write_result::write_failed;
  }
  // Owner and group first: changing them may clear the set-user-ID and set-group-ID bits,
  // which the fchmod() after it puts back. Only a privileged user can give the file away,
  // so a refused fchown() leaves the new file with the saving user as its owner.
  if (::fchown(temporary.get(), status.st_uid, status.st_gid) != 0 &&
      ::fchown(temporary.get(), static_cast<uid_t>(-1), status.st_gid) != 0) {
    // Best effort only: the contents matter more than who owns them.
  }
  if (::fchmod(temporary.get(), status.st_mode & 07777) != 0) return write_result::write_failed;
  if (!temporary.close()) return write_result::write_failed;

  if (::rename(temporary_name.path().c_str(), target.c_str()) != 0) {
    return write_result::write_failed;
  }
  temporary_name.keep();
  sync_directory(directory);
  return write_result::ok;
}

bool path_exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

bool file_opens_for_reading(const std::string& path) {
  struct stat status;
  return scoped_fd(open_regular_file(path, status)).get() >= 0;
}

bool platform_uses_crlf() { return false; }
