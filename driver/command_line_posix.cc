// The driver's POSIX side. POSIX keeps no raw command line: execve hands every argument
// over on its own, and the GNOME Files script registered for the context menu quotes the
// clicked path, so argv[1] is already the whole path and nothing needs joining. Options
// start with a dash only.
#include "driver/command_line.h"
#include "driver/help_and_version.h"

std::optional<std::string> openable_rest_of_command_line() { return std::nullopt; }

bool is_platform_help_option(std::string_view) { return false; }
