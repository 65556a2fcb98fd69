// Load and save of the stylesheet: the line-end handling and the console lines users see
// when the file cannot be used. The disk itself is reached only through file_system.h, so
// this file is the same on every platform.
#include "minifier/stylesheet_file.h"

#include <string_view>
#include <utility>

#include "minifier/file_system.h"
#include "minifier/text_limits.h"

namespace {

constexpr const char* cannot_open_message = "We don't access to that file.";
constexpr const char* read_failed_message =
    "We couldn't read the whole file; it was left untouched.";
constexpr const char* too_large_message =
    "That file is too large (over 2147483647 bytes); it was left untouched.";
constexpr const char* cannot_reopen_message = "we couldn't access the file again.";
constexpr const char* write_failed_message =
    "we couldn't write the file; it was left as it was.";

}  // namespace

bool load_stylesheet(const std::string& path, std::string& working_text,
                     std::int32_t& loaded_length, std::ostream& out) {
  std::string bytes;
  // One byte over the limit is still read, since the final LF it may end with is dropped
  // below; the loaded text is what must fit the 32-bit counts.
  switch (read_whole_file(path, max_text_length + 1, bytes)) {
    case read_result::ok:
      break;
    case read_result::cannot_open:
      out << cannot_open_message << std::endl;
      return false;
    case read_result::too_large:
      out << too_large_message << std::endl;
      return false;
    case read_result::read_failed:
      out << read_failed_message << std::endl;
      return false;
  }
  to_working_text(bytes, platform_uses_crlf());
  if (bytes.size() > max_text_length) {
    out << too_large_message << std::endl;
    return false;
  }
  working_text = std::move(bytes);
  loaded_length = to_count(working_text.size());
  return true;
}

void save_stylesheet(const std::string& path, const std::string& working_text,
                     std::ostream& out) {
  // No copy where the file holds exactly the working text.
  std::string file_text;
  std::string_view bytes = working_text;
  if (platform_uses_crlf()) {
    file_text = to_file_text(working_text);
    bytes = file_text;
  }
  switch (replace_file_contents(path, bytes)) {
    case write_result::ok:
      break;
    case write_result::cannot_open:
      out << cannot_reopen_message << std::endl;
      break;
    case write_result::write_failed:
      out << write_failed_message << std::endl;
      break;
  }
}

void to_working_text(std::string& bytes, bool fold_crlf) {
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
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
}

std::string to_file_text(const std::string& working_text) {
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
