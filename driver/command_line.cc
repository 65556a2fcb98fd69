// The choice of the stylesheet's path and the program-name split it needs, apart from the
// platform so that both are checked everywhere.
#include "driver/command_line.h"

std::string choose_stylesheet_path(const char* const* argv) {
  // With one argument the shell split nothing, and typed arguments after the first keep
  // being ignored unless together they are the name of a file.
  if (argv[2] != nullptr) {
    if (std::optional<std::string> whole = openable_rest_of_command_line()) return *whole;
  }
  return argv[1];
}

std::wstring_view text_after_program_name(std::wstring_view command_line) {
  std::size_t at = 0;
  if (!command_line.empty() && command_line.front() == L'"') {
    // Nothing escapes a quote in a program name, since no file name may hold one.
    const std::size_t closing = command_line.find(L'"', 1);
    if (closing == std::wstring_view::npos) return {};
    at = closing + 1;
  } else {
    at = command_line.find_first_of(L" \t");
    if (at == std::wstring_view::npos) return {};
  }
  const std::size_t rest = command_line.find_first_not_of(L" \t", at);
  return rest == std::wstring_view::npos ? std::wstring_view() : command_line.substr(rest);
}
