// The file operations over fake_files(). Reading goes through the same loop as the real
// platforms, in pieces of at most seven bytes, so that its growing buffer is exercised too.
#include "file_system/file_system_fake.h"

#include <algorithm>
#include <cstring>

#include "file_system/read_loop.h"

bool fake_platform_uses_crlf = false;

std::map<std::string, fake_file>& fake_files() {
  static std::map<std::string, fake_file> files;
  return files;
}

read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes) {
  const auto found = fake_files().find(path);
  if (found == fake_files().end()) return read_result::cannot_open;
  if (found->second.read != read_result::ok) return found->second.read;
  const std::string& contents = found->second.bytes;
  std::size_t offset = 0;
  const auto read_some = [&](char* into, std::size_t room) {
    const std::size_t count = std::min({room, contents.size() - offset, std::size_t{7}});
    std::memcpy(into, contents.data() + offset, count);
    offset += count;
    return static_cast<long long>(count);
  };
  return read_until_end(contents.size(), limit, bytes, read_some, [](char*, std::size_t) {});
}

write_result replace_file_contents(const std::string& path, std::string_view bytes,
                                   std::string& kept_copy) {
  const auto found = fake_files().find(path);
  if (found == fake_files().end()) return write_result::cannot_open;
  fake_file& file = found->second;
  if (file.write == write_result::original_kept_aside) kept_copy = path + ".original";
  if (file.write != write_result::ok) return file.write;
  file.bytes = std::string(bytes);
  ++file.writes;
  return write_result::ok;
}

bool path_exists(const std::string& path) { return fake_files().count(path) != 0; }

bool file_opens_for_reading(const std::string& path) {
  const auto found = fake_files().find(path);
  return found != fake_files().end() && found->second.read != read_result::cannot_open;
}

bool platform_uses_crlf() { return fake_platform_uses_crlf; }

// The driver's tests save whole texts: a save begun early never begins here, so each one
// reaches replace_file_contents above.
struct new_file_contents::state {};

new_file_contents::new_file_contents(const std::string&) {}

new_file_contents::~new_file_contents() = default;

void new_file_contents::append(std::string_view) {}

std::optional<write_result> new_file_contents::finish() { return std::nullopt; }
