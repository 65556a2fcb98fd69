// The two answers a user expects from any installed command: a short usage text and the
// version. They end the run at once, before the banner, with nothing else printed and no
// wait for Enter, so that a shell or a package tool can ask without a keyboard.
#ifndef DRIVER_HELP_AND_VERSION_H_
#define DRIVER_HELP_AND_VERSION_H_

#include <ostream>
#include <string>
#include <string_view>

// The tool's name, version and purpose: the first line of the banner and of the usage text.
inline constexpr std::string_view title_line =
    "cssqueeze " CSSQUEEZE_VERSION " - compresses a CSS file in place";

// When argument is --help or -h (or /? on Windows) and nothing of that name exists in the
// working folder, prints the usage text; when it is --version, likewise, prints
// "cssqueeze <version>". Returns whether it printed: a file literally named --help is still
// a stylesheet to minify, and any other argument is a path, as it always was.
bool answer_help_or_version(const std::string& argument, std::ostream& out);

// Whether argument is the platform's own spelling of the help option: /? on Windows, none
// elsewhere. The driver's platform file (command_line_windows.cc or _posix.cc) says.
bool is_platform_help_option(std::string_view argument);

#endif  // DRIVER_HELP_AND_VERSION_H_
