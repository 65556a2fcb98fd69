// POSIX keeps no raw command line: execve hands every argument over on its own, and the
// GNOME Files script registered for the context menu quotes the clicked path, so argv[1]
// is already the whole path and nothing needs joining.
#include "driver/command_line.h"

std::optional<std::string> openable_rest_of_command_line() { return std::nullopt; }
