// The small POSIX helpers that every file the tool writes needs: a descriptor closed on
// every path, a write that goes on until all bytes are out, and a guard that turns the file
// size signal into an error. Shared by the file layer and the Linux registry stand-in, which
// is why it lives apart from both.
#ifndef PLATFORM_POSIX_IO_H_
#define PLATFORM_POSIX_IO_H_

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

#include "platform/scoped_handle.h"

struct descriptor_traits {
  using value_type = int;
  static int none() { return -1; }
  static bool valid(int fd) { return fd >= 0; }
  static bool close(int fd) { return ::close(fd) == 0; }
};

// Closes a descriptor on every early return.
using scoped_fd = scoped_handle<descriptor_traits>;

inline int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes every byte or returns false with errno set.
inline bool write_all(int fd, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (result < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    // A device that takes nothing and reports no error would keep this loop spinning for
    // ever; it has refused the bytes as surely as a full disk.
    if (result == 0) {
      errno = ENOSPC;
      return false;
    }
    written += static_cast<std::size_t>(result);
  }
  return true;
}

// While alive, a write past the process's file size limit (ulimit -f) fails with EFBIG
// instead of killing the tool with SIGXFSZ, which would leave a half-written file behind
// and say nothing on the console. The former disposition comes back afterwards.
class scoped_ignored_file_size_signal {
 public:
  scoped_ignored_file_size_signal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    restore_ = ::sigaction(SIGXFSZ, &ignore, &former_) == 0;
  }
  scoped_ignored_file_size_signal(const scoped_ignored_file_size_signal&) = delete;
  scoped_ignored_file_size_signal& operator=(const scoped_ignored_file_size_signal&) = delete;
  ~scoped_ignored_file_size_signal() {
    if (restore_) ::sigaction(SIGXFSZ, &former_, nullptr);
  }

 private:
  struct sigaction former_ {};
  bool restore_ = false;
};

#endif  // PLATFORM_POSIX_IO_H_
