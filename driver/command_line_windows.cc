// The driver's Windows side. The shell's context-menu command leaves %1 unquoted, so a path
// with spaces reaches the CRT's argv in pieces, while GetCommandLineW keeps the raw command
// line exactly as the shell wrote it. Windows users also ask for help with /?.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "driver/command_line.h"
#include "driver/help_and_version.h"
#include "file_system/file_system.h"
#include "platform/utf16_windows.h"

std::optional<std::string> openable_rest_of_command_line() {
  const std::wstring_view rest = text_after_program_name(GetCommandLineW());
  if (rest.empty()) return std::nullopt;
  // Only a file the load can read is worth preferring to the first argument. As UTF-8 the
  // file layer turns the path back into exactly these characters.
  std::optional<std::string> path = to_utf8(rest, lone_surrogates::refused);
  if (!path || !file_opens_for_reading(*path)) return std::nullopt;
  return path;
}

bool is_platform_help_option(std::string_view argument) { return argument == "/?"; }
