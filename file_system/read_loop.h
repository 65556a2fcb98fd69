// The loop that reads a file to its end, shared by every implementation of
// read_whole_file: only opening the file and one read differ between them.
#ifndef FILE_SYSTEM_READ_LOOP_H_
#define FILE_SYSTEM_READ_LOOP_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "file_system/file_system.h"

// Makes the buffer `size` bytes long. Where the library can, the new bytes are left as they
// are instead of being set to zero first: the read overwrites them at once, and the zero-fill
// of a 100 MB file cost a tenth of a whole run (an extra pass over memory just allocated).
inline void grow_for_read(std::string& buffer, std::size_t size) {
#if defined(__cpp_lib_string_resize_and_overwrite)
  buffer.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
#else
  buffer.resize(size);
#endif
}

// A first read that reads nothing: the loop does it all.
struct no_first_read {
  std::size_t operator()(char*, std::size_t) const { return 0; }
};

// Reads through read_some(into, room), which returns the bytes it read, 0 at the end of
// the file, or a negative number on an error. announced_size is what the file claims to
// hold, only a hint (it may grow or shrink meanwhile, and files under /proc claim 0); one
// spare byte is read for so that meeting the end needs no larger buffer. prepare(data,
// size) sees the buffer before it is first touched. first_read(data, announced_size) may
// then fill the buffer's start its own way, and returns how many bytes it read, after
// which read_some goes on. Never holds more than limit + 1 bytes: that is enough to tell
// the file is too large. bytes changes only on ok.
template <typename ReadSome, typename Prepare, typename FirstRead = no_first_read>
read_result read_until_end(std::size_t announced_size, std::size_t limit, std::string& bytes,
                           ReadSome read_some, Prepare prepare, FirstRead first_read = {}) {
  if (announced_size > limit) return read_result::too_large;
  std::string buffer;
  buffer.reserve(announced_size + 1);
  prepare(buffer.data(), announced_size + 1);
  grow_for_read(buffer, announced_size + 1);
  std::size_t filled = first_read(buffer.data(), announced_size);
  while (true) {
    if (filled == buffer.size()) {
      if (filled > limit) return read_result::too_large;
      grow_for_read(buffer, std::min(limit + 1, filled + std::max<std::size_t>(filled / 2, 65536)));
    }
    const auto got = read_some(buffer.data() + filled, buffer.size() - filled);
    if (got < 0) return read_result::read_failed;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > limit) return read_result::too_large;
  buffer.resize(filled);
  bytes = std::move(buffer);
  return read_result::ok;
}

#endif  // FILE_SYSTEM_READ_LOOP_H_
