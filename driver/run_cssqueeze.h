// One whole run of the tool, from the banner to the wait for Enter, on the streams it is
// given, so that a test can drive a run exactly as main() does.
#ifndef DRIVER_RUN_CSSQUEEZE_H_
#define DRIVER_RUN_CSSQUEEZE_H_

#include <istream>
#include <ostream>

// argv as main() receives it: argv[1] null selects register mode; --help or --version, when
// no file has that name, prints its answer and ends the run at once; otherwise argv[1] is
// the stylesheet to minify in place. Later arguments are ignored, unless on Windows the raw
// command line after the program name names a file (a right-clicked path with spaces; see
// driver/command_line.h). A file holding a NUL byte is refused untouched. Returns the exit
// status, which is 0 on every path: failures are reported as console lines on out.
int run_cssqueeze(const char* const* argv, std::ostream& out, std::istream& in);

#endif  // DRIVER_RUN_CSSQUEEZE_H_
