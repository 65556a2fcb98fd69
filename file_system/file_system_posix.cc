// The file operations of load and save on POSIX systems. Reading refuses anything but a
// regular file without ever blocking on it. Replacing keeps the file what it was (owner,
// group, mode, ACL and other extended attributes, hard links): a new file is renamed over
// the original only when it can be given all of that; otherwise the original is copied
// aside and overwritten where it stands. Either way a full disk or an I/O error part way
// leaves the original byte for byte as it was.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include "file_system/file_system.h"
#include "platform/posix_io.h"
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

// What the rename path came to: the new contents are in place, or writing them failed (the
// original is untouched and no other way is worth trying), or the new file could not be
// made to match the original, so that only overwriting in place keeps the file what it is.
enum class rename_outcome { done, failed, not_possible };

// The extended attribute names of a file, from the buffer flistxattr fills. Empty on a file
// system without extended attributes; false when they cannot be listed.
bool list_attributes(int fd, std::set<std::string>& names) {
  names.clear();
  std::string buffer;
  for (;;) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    buffer.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == ERANGE) continue;  // one was added meanwhile
    if (got < 0) return false;
    buffer.resize(static_cast<std::size_t>(got));
    break;
  }
  for (std::size_t begin = 0; begin < buffer.size();) {
    const std::size_t end = buffer.find('\0', begin);
    names.insert(buffer.substr(begin, end - begin));
    begin = end == std::string::npos ? buffer.size() : end + 1;
  }
  return true;
}

// Gives to every extended attribute that from has and the process may read (the POSIX ACL
// is one: system.posix_acl_access), and takes from to any that from lacks, such as an ACL
// the new file inherited from its folder. False when any of that is refused.
bool copy_attributes(int from, int to) {
  std::set<std::string> wanted;
  std::set<std::string> present;
  if (!list_attributes(from, wanted) || !list_attributes(to, present)) return false;
  std::string value;
  for (const std::string& name : wanted) {
    const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::fgetxattr(from, name.c_str(), value.data(), value.size());
    if (got < 0 || ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got),
                               0) != 0) {
      return false;
    }
  }
  for (const std::string& name : present) {
    if (wanted.count(name) == 0 && ::fremovexattr(to, name.c_str()) != 0) return false;
  }
  return true;
}

// Gives the new file the original's owner, group, extended attributes and mode, in an
// order that leaves each right at the end: a change of owner may clear the set-ID bits and
// the file capability, and setting the ACL rewrites the group bits, so the mode comes
// last (with an ACL, its group bits are the ACL's mask). False when anything differs.
bool give_metadata(int original, int temporary, const struct stat& status) {
  struct stat now;
  if (::fstat(temporary, &now) != 0) return false;
  if ((now.st_uid != status.st_uid || now.st_gid != status.st_gid) &&
      ::fchown(temporary, status.st_uid, status.st_gid) != 0) {
    return false;
  }
  if (!copy_attributes(original, temporary) ||
      ::fchmod(temporary, status.st_mode & 07777) != 0 || ::fstat(temporary, &now) != 0) {
    return false;
  }
  // Whoever is not in the file's group loses its set-group-ID bit silently.
  return now.st_uid == status.st_uid && now.st_gid == status.st_gid &&
         (now.st_mode & 07777) == (status.st_mode & 07777);
}

// Whether path still names the file that is open as fd.
bool names_file(const std::string& path, int fd) {
  struct stat named;
  struct stat opened;
  return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

std::string folder_of(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  return slash == 0 ? std::string("/") : target.substr(0, slash);
}

std::string name_of(const std::string& target) {
  return target.substr(target.rfind('/') + 1, longest_kept_name);
}

// Writes the new contents into a temporary file beside the original, gives it everything
// the original has, and renames it over the original.
rename_outcome replace_by_rename(const std::string& target, std::string_view bytes,
                                 int original, const struct stat& status) {
  std::string name_template =
      folder_of(target) + "/." + name_of(target) + ".cssqueeze-XXXXXX";
  const int temporary_fd = ::mkostemp(name_template.data(), O_CLOEXEC);
  // A folder that refuses a new file may still let the file itself be written.
  if (temporary_fd < 0) return rename_outcome::not_possible;
  scoped_fd temporary(temporary_fd);
  scoped_temporary_file temporary_name(name_template);

  if (!write_all(temporary.get(), bytes)) return rename_outcome::failed;
  if (!give_metadata(original, temporary.get(), status)) return rename_outcome::not_possible;
  if (::fsync(temporary.get()) != 0 || !temporary.close()) return rename_outcome::failed;
  if (::rename(temporary_name.path().c_str(), target.c_str()) != 0) {
    // Refused (a file mounted on its own, a sticky folder, another file system), yet the
    // file is still there to be overwritten.
    return names_file(target, original) ? rename_outcome::not_possible : rename_outcome::failed;
  }
  temporary_name.keep();
  sync_directory(folder_of(target));
  return rename_outcome::done;
}

// Copies everything from's descriptor reads from its current offset to its end into to, and
// counts the bytes. On EINTR the read is made again.
bool copy_to_end(int from, int to, off_t& copied) {
  std::string buffer(std::size_t{1} << 20, '\0');
  copied = 0;
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!write_all(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
      return false;
    }
    copied += got;
  }
}

// The copy of the original that an overwrite in place keeps until it is done: beside the
// file where its folder allows, else in the user's temporary folder. Its name says whose
// copy it is, so that one left by a run that was killed can be recognised. Readable by its
// creator alone, who could read the original.
int create_copy_file(const std::string& target, std::string& copy_path) {
  copy_path = folder_of(target) + "/." + name_of(target) + ".cssqueeze-original-XXXXXX";
  const int fd = ::mkostemp(copy_path.data(), O_CLOEXEC);
  if (fd >= 0) return fd;
  const char* temporary_folder = std::getenv("TMPDIR");
  if (temporary_folder == nullptr || *temporary_folder == '\0') temporary_folder = "/tmp";
  copy_path = std::string(temporary_folder) + "/." + name_of(target) + ".cssqueeze-original-XXXXXX";
  return ::mkostemp(copy_path.data(), O_CLOEXEC);
}

// Puts the copy's bytes back over the original and makes them durable.
bool put_back(int copy, int original, off_t length) {
  off_t copied = 0;
  return ::lseek(copy, 0, SEEK_SET) == 0 && ::lseek(original, 0, SEEK_SET) == 0 &&
         copy_to_end(copy, original, copied) && copied == length &&
         ::ftruncate(original, length) == 0 && ::fsync(original) == 0;
}

// Overwrites the file itself, so that it keeps its inode and with it every link, its owner
// and its ACL. Since the contents are rewritten from the first byte, a durable copy of the
// original comes first; any failure puts the original back from it. The new text is never
// longer than the old one, so the file is truncated last, once the new bytes are safe.
write_result overwrite_in_place(const std::string& target, std::string_view bytes,
                                int original, std::string& kept_copy) {
  std::string copy_path;
  const int copy_fd = create_copy_file(target, copy_path);
  if (copy_fd < 0) return write_result::write_failed;
  scoped_fd copy(copy_fd);
  scoped_temporary_file copy_name(copy_path);
  off_t length = 0;
  if (::lseek(original, 0, SEEK_SET) != 0 || !copy_to_end(original, copy.get(), length) ||
      ::fsync(copy.get()) != 0) {
    return write_result::write_failed;
  }
  sync_directory(folder_of(copy_path));

  if (::lseek(original, 0, SEEK_SET) == 0 && write_all(original, bytes) &&
      ::fsync(original) == 0 && ::ftruncate(original, static_cast<off_t>(bytes.size())) == 0 &&
      ::fsync(original) == 0) {
    return write_result::ok;
  }
  if (put_back(copy.get(), original, length)) return write_result::write_failed;
  // The file holds neither text whole: the copy is all that is left of the original.
  copy_name.keep();
  kept_copy = copy_path;
  return write_result::original_kept_aside;
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

write_result replace_file_contents(const std::string& path, std::string_view bytes,
                                   std::string& kept_copy) {
  const std::string target = resolve_path(path);
  if (target.empty()) return write_result::cannot_open;

  // May the file be written at all? Opened without O_TRUNC, so a refusal leaves it exactly
  // as it was. Read access too where we have it: overwriting in place needs a copy of the
  // bytes. O_NONBLOCK keeps a FIFO put there since the load from blocking the open; it is
  // then refused as not regular.
  constexpr int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  bool readable = true;
  int fd = open_retrying(target.c_str(), O_RDWR | flags);
  if (fd < 0 && errno == EACCES) {
    readable = false;
    fd = open_retrying(target.c_str(), O_WRONLY | flags);
  }
  scoped_fd original(fd);
  struct stat status;
  if (original.get() < 0 || ::fstat(original.get(), &status) != 0 ||
      !S_ISREG(status.st_mode)) {
    return write_result::cannot_open;
  }

  const scoped_ignored_file_size_signal file_size_limit_fails_the_write;
  if (status.st_nlink == 1) {
    switch (replace_by_rename(target, bytes, original.get(), status)) {
      case rename_outcome::done:
        return write_result::ok;
      case rename_outcome::failed:
        return write_result::write_failed;
      case rename_outcome::not_possible:
        break;
    }
  }
  if (!readable) return write_result::write_failed;
  return overwrite_in_place(target, bytes, original.get(), kept_copy);
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
