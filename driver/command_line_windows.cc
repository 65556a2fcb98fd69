// The driver's Windows side. The shell's context-menu command leaves %1 unquoted, so a path
// with spaces reaches the CRT's argv in pieces, while GetCommandLineW keeps the raw command
// line exactly as the shell wrote it. Windows users also ask for help with /?.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "driver/command_line.h"
#include "driver/help_and_version.h"
#include "file_system/file_system.h"

namespace {

// UTF-8, which the file layer turns back into exactly these characters (the executable
// runs with the UTF-8 code page). Nothing for text with a lone surrogate, which no UTF-8
// spells.
std::optional<std::string> to_utf8(const std::wstring& wide) {
  if (wide.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const DWORD flags = WC_ERR_INVALID_CHARS;
  const int length = WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, nullptr, 0,
                                         nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, narrow.data(), length, nullptr,
                          nullptr) != length) {
    return std::nullopt;
  }
  return narrow;
}

}  // namespace

std::optional<std::string> openable_rest_of_command_line() {
  const std::wstring rest(text_after_program_name(GetCommandLineW()));
  if (rest.empty()) return std::nullopt;
  // Only a file the load can read is worth preferring to the first argument.
  std::optional<std::string> path = to_utf8(rest);
  if (!path || !file_opens_for_reading(*path)) return std::nullopt;
  return path;
}

bool is_platform_help_option(std::string_view argument) { return argument == "/?"; }
