// The usage text and the version line. The version comes from the build (CSSQUEEZE_VERSION,
// set from the CMake project), the one place it is kept.
#include "driver/help_and_version.h"

#include <string_view>

#include "file_system/file_system.h"

namespace {

// The lines after title_line; they fit a console 80 columns wide.
constexpr std::string_view usage_text =
    "\n"
    "Usage: cssqueeze FILE       minify FILE in place\n"
    "       cssqueeze            register the right-click verb\n"
    "       cssqueeze --help     print this text (also -h, and /? on Windows)\n"
    "       cssqueeze --version  print the version\n"
    "\n"
    "Minify mode deletes the comments and the whitespace and semicolons that CSS does\n"
    "not need, leaves quoted strings as they are, and writes FILE back only when it\n"
    "got shorter. It prints one line per stage and the bytes saved.\n"
    "\n"
    "Register mode adds the verb \"Compress (css style)\" to every file's right-click\n"
    "menu; choosing it runs cssqueeze on that file. The verb goes to\n"
    "  Windows  the key HKEY_CLASSES_ROOT\\*\\shell\\Compress (css style)\\command\n"
    "           (run cssqueeze once as administrator);\n"
    "  Linux    the GNOME Files script nautilus/scripts/Compress (css style) in\n"
    "           $XDG_DATA_HOME (by default ~/.local/share).\n"
    "\n"
    "Both modes end by waiting for Enter. An option whose name is also a file in the\n"
    "working folder is taken as that file.\n"
    "\n"
    "Exit status: 0, always; every failure is reported as a line of output.\n";

bool is_help_option(std::string_view argument) {
  return argument == "--help" || argument == "-h" || is_platform_help_option(argument);
}

}  // namespace

bool answer_help_or_version(const std::string& argument, std::ostream& out) {
  const bool help = is_help_option(argument);
  if (!help && argument != "--version") return false;
  if (path_exists(argument)) return false;
  if (help) {
    out << title_line << '\n' << usage_text << std::flush;
  } else {
    out << "cssqueeze " CSSQUEEZE_VERSION << std::endl;
  }
  return true;
}
