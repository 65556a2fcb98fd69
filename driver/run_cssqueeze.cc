// The fixed order of a run: banner, mode, the stages with their report lines, totals, the
// save only when the text got shorter, and the wait for Enter. The exit status is 0 on
// every path; whatever went wrong has been said on the console.
#include "driver/run_cssqueeze.h"

#include <cstdint>
#include <new>
#include <string>

#include "driver/console_report.h"
#include "driver/help_and_version.h"
#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/string_protection.h"
#include "minifier/stylesheet_file.h"
#include "minifier/text_limits.h"
#include "shell_menu/register_context_menu.h"

namespace {

constexpr const char* banner =
    "cssqueeze " CSSQUEEZE_VERSION " - compresses a CSS file in place\n"
    "by the cssqueeze developers, 2026";

void minify(const std::string& path, std::ostream& out) {
  std::string working_text;
  std::int32_t loaded_length = 0;
  if (!load_stylesheet(path, working_text, loaded_length, out)) return;

  // Each stage's working data lives in its own block and is freed as soon as the last
  // stage that needs it is done, so that the peak stays near the text plus the lifted
  // strings however the file is made.
  {
    const quote_list quote_positions = scan_quotes(working_text, loaded_length);
    report_count(out, remove_comments(working_text, quote_positions), " comment", " removed.",
                 "no comment found.");
  }

  {
    lifted_strings protected_strings;
    const std::int32_t string_count = extract_strings(working_text, protected_strings);
    report_count(out, string_count, " string", " still untouched.", "no string found.");

    report_count(out, compact_text(working_text), " useless charachter", " removed.",
                 "no useless charachter found.");

    if (!restore_strings(working_text, protected_strings, string_count)) {
      // Cannot happen while compaction keeps every quote; if it ever does, writing the text
      // back would lose string contents, so the file is left alone.
      out << "A string could not be put back; the file was left untouched." << std::endl;
      return;
    }
  }

  if (report_totals(out, loaded_length, to_count(working_text.size()))) {
    save_stylesheet(path, working_text, out);
  }
}

}  // namespace

int run_cssqueeze(const char* const* argv, std::ostream& out, std::istream& in) {
  if (argv[0] != nullptr && argv[1] != nullptr && answer_help_or_version(argv[1], out)) return 0;
  out << banner << std::endl << std::endl;
  if (argv[0] != nullptr && argv[1] != nullptr) {
    try {
      minify(argv[1], out);
    } catch (const std::bad_alloc&) {
      // Nothing has been written before the save, and the save writes beside the file.
      out << "Not enough memory to compress that file; it was left untouched." << std::endl;
    }
  } else {
    register_context_menu(out);
  }
  wait_for_enter(in);
  return 0;
}
