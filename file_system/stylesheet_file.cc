// Load and save of the stylesheet: the line-end handling and the length limit. The disk
// itself is reached only through file_system.h, so this file is the same on every platform.
#include "file_system/stylesheet_file.h"

#include <optional>
#include <string_view>
#include <utility>

read_result load_stylesheet(const std::string& path, std::size_t limit, std::string& working_text,
                            std::int32_t& loaded_length, bool* line_end_dropped) {
  std::string bytes;
  // One byte over the limit is still read, since the final LF it may end with is dropped
  // below; the loaded text is what must fit the 32-bit counts.
  const read_result result = read_whole_file(path, limit + 1, bytes);
  if (result != read_result::ok) return result;
  const bool dropped = to_working_text(bytes, platform_uses_crlf());
  if (bytes.size() > limit) return read_result::too_large;
  if (line_end_dropped != nullptr) *line_end_dropped = dropped;
  working_text = std::move(bytes);
  loaded_length = static_cast<std::int32_t>(working_text.size());  // fits: checked above
  return read_result::ok;
}

write_result save_stylesheet(const std::string& path, const std::string& working_text,
                             std::string* kept_copy, new_file_contents* early) {
  if (early != nullptr) {
    if (const std::optional<write_result> result = early->finish()) return *result;
  }
  std::string unused;
  std::string& copy = kept_copy != nullptr ? *kept_copy : unused;
  // No copy of the text where the file holds exactly the working text.
  return platform_uses_crlf() ? replace_file_contents(path, to_file_text(working_text), copy)
                              : replace_file_contents(path, working_text, copy);
}

void append_stylesheet_text(new_file_contents& early, std::string_view part) {
  if (platform_uses_crlf()) {
    early.append(to_file_text(part));
  } else {
    early.append(part);
  }
}

bool to_working_text(std::string& bytes, bool fold_crlf) {
  if (fold_crlf) {
    // Each CR directly before a LF is dropped, as a text-mode read does; a lone CR stays.
    const std::size_t size = bytes.size();
    std::size_t write = 0;  // bytes[0, write) is the kept prefix
    for (std::size_t read = 0; read < size; ++read) {
      if (bytes[read] == '\r' && read + 1 < size && bytes[read + 1] == '\n') continue;
      bytes[write++] = bytes[read];
    }
    bytes.resize(write);
  }
  // Reading line by line and joining the lines with LF loses exactly the last line's LF.
  if (bytes.empty() || bytes.back() != '\n') return false;
  bytes.pop_back();
  return true;
}

std::string to_file_text(std::string_view working_text) {
  std::string file_text;
  std::size_t line_ends = 0;
  for (const char byte : working_text) {
    if (byte == '\n') ++line_ends;
  }
  file_text.reserve(working_text.size() + line_ends);
  for (const char byte : working_text) {
    if (byte == '\n') file_text += '\r';
    file_text += byte;
  }
  return file_text;
}
