// The loop that reads a file to its end, shared by every implementation of
// read_whole_file: only opening the file and one read differ between them.
#ifndef FILE_SYSTEM_READ_LOOP_H_
#define FILE_SYSTEM_READ_LOOP_H_

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "file_system/file_system.h"

// Reads through read_some(into, room), which returns the bytes it read, 0 at the end of
// the file, or a negative number on an error. announced_size is what the file claims to
// hold, only a hint (it may grow or shrink meanwhile, and files under /proc claim 0).
// prepare(data, size) sees the text's memory before it is first touched. Never holds more
// than limit bytes: one more is enough to tell the file is too large. bytes changes only on
// ok.
//
// The file is read in pieces of a size that stays in the cache, each appended to the text:
// growing a string with resize() would first fill it with zeros, a pass over memory that
// the read then writes again (a tenth of the whole run's instructions on a 10 MB sheet).
template <typename ReadSome, typename Prepare>
read_result read_until_end(std::size_t announced_size, std::size_t limit, std::string& bytes,
                           ReadSome read_some, Prepare prepare) {
  if (announced_size > limit) return read_result::too_large;
  std::string buffer;
  buffer.reserve(announced_size + 1);
  prepare(buffer.data(), announced_size + 1);
  constexpr std::size_t piece_size = 256 * 1024;
  const auto piece = std::make_unique_for_overwrite<char[]>(piece_size);
  while (true) {
    const auto got = read_some(piece.get(), piece_size);
    if (got < 0) return read_result::read_failed;
    if (got == 0) break;
    if (static_cast<std::size_t>(got) > limit - buffer.size()) return read_result::too_large;
    buffer.append(piece.get(), static_cast<std::size_t>(got));
  }
  bytes = std::move(buffer);
  return read_result::ok;
}

#endif  // FILE_SYSTEM_READ_LOOP_H_
