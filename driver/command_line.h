// Where minify mode finds its stylesheet. The context-menu command puts the clicked file's
// path after the program unquoted ("<module path>" %1), so the shell hands a path with
// spaces over as several arguments; the raw command line, on a system that keeps one,
// still holds that path whole, spaces as the shell passed them.
#ifndef DRIVER_COMMAND_LINE_H_
#define DRIVER_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <string_view>

// The path to minify, from argv as main() receives it (argv[1] not null): argv[1], unless
// more arguments follow and the rest of the raw command line names a file that can be
// opened; then that text, so that right-clicking "x y.css" never reaches a file "x" beside
// it. Prints nothing.
std::string choose_stylesheet_path(const char* const* argv);

// What follows the program name of a Windows command line and the spaces and tabs after
// it, unchanged. The name is split off as Windows splits it: one that opens with a double
// quote ends at the next double quote, any other at the first space or tab.
std::wstring_view text_after_program_name(std::wstring_view command_line);

// The rest of the process's raw command line after the program name (as above), as UTF-8,
// when it names a file that can be opened for reading; nothing otherwise, and always
// nothing where the system keeps no raw command line. One file per platform implements it.
std::optional<std::string> openable_rest_of_command_line();

#endif  // DRIVER_COMMAND_LINE_H_
